// How the picture is laid into the plane and the plane into the main window: the one place that
// the grid, its drawing, exact texturing's shader and picking all ask, so that they cannot
// disagree.
//
// A picture point p runs from -1 to 1 across the picture in each direction, from its left and its
// bottom edge. It lies at the plane point q = (Re p * a, Im p * b), a and b the picture's half
// extents, and the mapping takes z = turn * (q - focus's q). Its image w is drawn at the drawing
// coordinates x = mirror * Im w / scale, y = (offset + Re w) / scale, and the projection lays the
// drawing coordinates from -right to right and from -1 to 1 over the window. A zoom scales z, the
// picture about the focus before the mapping: 1 is the picture as a whole.
//
// Two views:
// - the square, the viewer's own: the picture squeezed into the square from -1 to 1, z = q - f,
//   and x = Im w / scale, so that the real axis runs up the window (a mirror image), stretched to
//   the window's shape; the view values are k lowered to 3.14159 and 2.
// - true proportions: the picture's longer side from -1 to 1 and the shorter in proportion,
//   z = -i (q - f), so that the cut runs from the focus straight down, and x = -Im w / scale: a
//   rotation, so that the picture is drawn upright and not mirrored. Drawing units are square in
//   the window, whose height spans -1 to 1. The view values move from fitting the whole picture
//   into the window at the widest angle to the logarithmic layout at the smallest: the full turn
//   around the focus across the window's width (where the rims of the cut meet the window's
//   bottom edge), twice the picture's half diagonal (the farthest any of it lies from a focus) at
//   the top edge.
#pragma once

#include <complex>
#include <utility>

class PlaneView {
public:
    // The square.
    PlaneView() = default;
    // True proportions for a picture of `aspect` (width over height) in a window of this size.
    static PlaneView trueProportions(double aspect, int windowWidth, int windowHeight);

    bool keepsProportions() const { return turned; }
    // The picture's half extents in the plane, a and b.
    double halfWidth() const { return extentX; }
    double halfHeight() const { return extentY; }

    // The same view with the picture scaled by `zoom` about the focus before the mapping.
    PlaneView zoomed(double zoom) const;
    double zoom() const { return scaling; }

    // z for the picture point p with the focus at picture point f.
    std::complex<double> zOf(std::complex<double> p, std::complex<double> f) const;
    // p - f for the point z: the inverse of zOf.
    std::complex<double> offsetOf(std::complex<double> z) const;

    // The view values (scale, offset) with which k's mapped picture is drawn.
    std::pair<double, double> viewValues(double k) const;
    // The square's view values: scale at most 3.14159 and offset at most 2, each lowered alone; a
    // value at or below its limit, or NaN, stays.
    static std::pair<double, double> lowered(double scale, double offset);
    // Drawing coordinates of w, and back, for the view values.
    std::complex<double> drawingOf(std::complex<double> w, double scale, double offset) const;
    std::complex<double> wAt(std::complex<double> drawing, double scale, double offset) const;
    // The drawing coordinates at the centre of window pixel (x, y), y growing downward.
    std::complex<double> drawingAt(int x, int y, int windowWidth, int windowHeight) const;
    // Multiplies Im w before the scale: 1, or -1 where the view turns rather than mirrors.
    double mirror() const { return turned ? -1.0 : 1.0; }

    // Loads the projection of the drawing coordinates onto the window, leaving the modelview
    // matrix current. Needs a GL context.
    void project() const;

    bool operator==(const PlaneView& other) const;
    bool operator!=(const PlaneView& other) const { return !(*this == other); }

private:
    bool turned = false;
    double extentX = 1.0, extentY = 1.0;
    double right = 1.0;   // the drawing coordinates' half width; their half height is 1
    double scaling = 1.0;   // the zoom
    // The view values at the widest angle and at the logarithmic layout; the square has none.
    double widestScale = 0.0, logScale = 0.0, logOffset = 0.0;
};
