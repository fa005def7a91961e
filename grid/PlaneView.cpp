#include "PlaneView.h"

#include "PowerLogarithm.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

namespace {

// The square's limits: pi's stand-in, the five-decimal number, and 2.
constexpr double squareScaleLimit = 3.14159;
constexpr double squareOffsetLimit = 2.0;
constexpr double pi = M_PI;

// From 0 at k = 1 to 1 at k = `full`, linearly, and no further either way.
double share(double k, double full)
{
    return std::clamp((k - 1.0) / (full - 1.0), 0.0, 1.0);
}

} // namespace

PlaneView PlaneView::trueProportions(double aspect, int windowWidth, int windowHeight)
{
    PlaneView view;
    view.turned = true;
    view.extentX = aspect >= 1.0 ? 1.0 : aspect;
    view.extentY = aspect >= 1.0 ? 1.0 / aspect : 1.0;
    view.right = double(std::max(windowWidth, 1)) / std::max(windowHeight, 1);
    // All of the picture in view, filling the window one way.
    view.widestScale = std::max(view.extentX / view.right, view.extentY);
    // The full turn around the focus across the window's width, twice the picture's half diagonal
    // (the farthest any of it lies from a focus) at the top edge. At the smallest angle the
    // mapping is not quite the logarithm: the rims of its cut lie at Im w = k r^(1/k) sin(pi/k),
    // closer in the nearer they are to the focus, so the turn is widened to meet them at the
    // window's bottom edge, where ln r = -(2 scale - far), and the side edges show what lies
    // straight below the focus all the way down. A few rounds settle the scale.
    const double far = std::log(2.0 * std::hypot(view.extentX, view.extentY)), k = rootDegree(float(smallestAngle));
    view.logScale = pi / view.right;
    for (int round = 0; round < 4; ++round)
        view.logScale = k * std::sin(pi / k) * std::exp(-(2 * view.logScale - far) / k) / view.right;
    view.logOffset = view.logScale - far;
    return view;
}

PlaneView PlaneView::zoomed(double zoom) const
{
    PlaneView view = *this;
    view.scaling = zoom;
    return view;
}

std::complex<double> PlaneView::zOf(std::complex<double> p, std::complex<double> f) const
{
    const std::complex<double> q((p.real() - f.real()) * extentX * scaling, (p.imag() - f.imag()) * extentY * scaling);
    // -i q: up the picture is the positive real axis, straight down the cut.
    return turned ? std::complex<double>(q.imag(), -q.real()) : q;
}

std::complex<double> PlaneView::offsetOf(std::complex<double> z) const
{
    if (!turned)
        return z / scaling;
    return {-z.imag() / extentX / scaling, z.real() / extentY / scaling};
}

std::pair<double, double> PlaneView::lowered(double scale, double offset)
{
    return {scale > squareScaleLimit ? squareScaleLimit : scale, offset > squareOffsetLimit ? squareOffsetLimit : offset};
}

std::pair<double, double> PlaneView::viewValues(double k) const
{
    if (!turned)
        return lowered(k, k);
    // The square's pace: the scale reaches the logarithm's at k = pi, the offset at k = 2.
    return {widestScale + (logScale - widestScale) * share(std::min(k, pi), pi), 1.0 + (logOffset - 1.0) * share(std::min(k, 2.0), 2.0)};
}

std::complex<double> PlaneView::drawingOf(std::complex<double> w, double scale, double offset) const
{
    return {mirror() * w.imag() / scale, (offset + w.real()) / scale};
}

std::complex<double> PlaneView::wAt(std::complex<double> drawing, double scale, double offset) const
{
    return {drawing.imag() * scale - offset, mirror() * drawing.real() * scale};
}

std::complex<double> PlaneView::drawingAt(int x, int y, int windowWidth, int windowHeight) const
{
    return {((x + 0.5) / windowWidth * 2 - 1) * right, 1 - (y + 0.5) / windowHeight * 2};
}

void PlaneView::project() const
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-right, right, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
}

bool PlaneView::operator==(const PlaneView& other) const
{
    return turned == other.turned && extentX == other.extentX && extentY == other.extentY && right == other.right && scaling == other.scaling;
}
