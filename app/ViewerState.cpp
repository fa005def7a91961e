#include "ViewerState.h"

#include "Callbacks.h"
#include "Clipmap.h"
#include "PowerLogarithm.h"
#include "SavePicture.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The angle's limits, compared in double precision and stored as floats.
constexpr double greatestAngle = fullTurn;
constexpr double angleStep = 0.02;   // per 2 pixels of vertical drag

} // namespace

ViewerState::ViewerState(int mainWindow, std::unique_ptr<TextureCatalogue> catalogue)
    : morphAngle(static_cast<float>(greatestAngle)), mainWindow(mainWindow), currentTexture(0),
      trueProportions(catalogue->filesGiven() ? 1 : 0)   // the user's own pictures are shown as they are
{
    grid = std::make_unique<PlaneGrid>(std::move(catalogue));
    mappedGrid = std::make_unique<MappedGrid>(grid.get(), grid->catalogue.get());
    mappedGrid->recompute(morphAngle);
    polygonMode = GL_FILL;
    windowWidth = glutGet(GLUT_WINDOW_WIDTH);
    windowHeight = glutGet(GLUT_WINDOW_HEIGHT);

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
    glViewport(0, 0, windowWidth, windowHeight);
    fitView(windowWidth, windowHeight);

    std::string whyNot;
    exactProgram = ExactTexturing::create(whyNot);
    if (!exactProgram)
        std::fprintf(stderr, "Exact texturing is not available: %s\n", whyNot.c_str());
    grid->catalogue->detailWanted = exactProgram && exactProgram->drawsDetail();
}

float ViewerState::clampedAngle(double angle)
{
    float clamped = static_cast<float>(angle);
    if (static_cast<double>(clamped) >= greatestAngle)
        clamped = static_cast<float>(greatestAngle);
    if (static_cast<double>(clamped) <= smallestAngle)
        clamped = static_cast<float>(smallestAngle);
    return clamped;
}

void ViewerState::setFocus(std::complex<double> point)
{
    focusPoint = {std::clamp(point.real(), -1.0, 1.0), std::clamp(point.imag(), -1.0, 1.0)};
    focusReal = static_cast<float>(focusPoint.real());
    focusImaginary = static_cast<float>(focusPoint.imag());
}

void ViewerState::takeFocusTyped()
{
    setFocus({focusReal == static_cast<float>(focusPoint.real()) ? focusPoint.real() : double(focusReal),
              focusImaginary == static_cast<float>(focusPoint.imag()) ? focusPoint.imag() : double(focusImaginary)});
}

void ViewerState::zoomBy(double factor)
{
    zoom = static_cast<float>(zoom * factor);
    keepZoomInLimits();
}

void ViewerState::keepZoomInLimits()
{
    zoom = static_cast<float>(std::clamp(double(zoom), 1.0, greatestZoom()));
}

double ViewerState::greatestZoom() const
{
    const Picture* picture = grid->catalogue->picture();
    if (!picture)
        return 1.0;
    // How far apart, in the plane, the points under two neighbouring pixels at the middle of the
    // window's bottom edge lie at the smallest angle; and the side of the picture's own pixels there.
    const PlaneView view = grid->view().zoomed(1.0);
    const double k = rootDegree(float(smallestAngle));
    const std::pair<double, double> values = view.viewValues(k);
    const int width = glutGet(GLUT_WINDOW_WIDTH), height = glutGet(GLUT_WINDOW_HEIGHT);
    const auto zAt = [&](int y) { return std::pow(1.0 + view.wAt(view.drawingAt(width / 2, y, width, height), values.first, values.second) / k, k); };
    const double screenPixel = std::abs(zAt(height - 1) - zAt(height - 2));
    const ImageSize own = picture->depth() ? picture->depth()->full : picture->size();
    const double ownPixel = std::min(2 * view.halfWidth() / own.width, 2 * view.halfHeight() / own.height);
    const double greatest = 8 * screenPixel / ownPixel;
    return std::isfinite(greatest) ? std::max(1.0, greatest) : 1.0;
}

std::optional<std::complex<double>> ViewerState::sourcePointAt(int x, int y) const
{
    const std::complex<double> drawing = grid->view().drawingAt(x, y, glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
    return mappedGrid->sourceAt(drawing.real(), drawing.imag());
}

void ViewerState::fitView(int width, int height)
{
    const Picture* picture = grid->catalogue->picture();
    const PlaneView view = trueProportions == 1 && picture ? PlaneView::trueProportions(picture->aspect(), width, height) : PlaneView();
    grid->setView(view.zoomed(zoom));
    view.project();
}

void ViewerState::toggleFullScreen()
{
    if (trueProportions != 1)
        return;
    if (!windowedPlace) {
        windowedPlace = {glutGet(GLUT_WINDOW_X), glutGet(GLUT_WINDOW_Y), glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT)};
        glutFullScreen();
        return;
    }
    glutLeaveFullScreen();
    glutPositionWindow((*windowedPlace)[0], (*windowedPlace)[1]);
    glutReshapeWindow((*windowedPlace)[2], (*windowedPlace)[3]);
    windowedPlace.reset();
}

void ViewerState::handleMotion(int x, int y)
{
    if (mouseButton == GLUT_LEFT_BUTTON && grabbed) {
        // f = p - z puts the grabbed point p at the z under the pointer.
        if (const auto z = sourcePointAt(x, y))
            setFocus(*grabbed - *z);
        grabMoved = true;
    }
    if (mouseButton != GLUT_RIGHT_BUTTON) {
        lastMouseX = x;
        lastMouseY = y;
        return;
    }
    // Truncated toward zero: the odd pixel of each event is dropped, not carried over.
    const int steps = (lastMouseY - y) / 2;
    morphAngle = clampedAngle(steps * angleStep + static_cast<double>(morphAngle));
    lastMouseX = x;
    lastMouseY = y;
}

bool ViewerState::handleGrab(int button, int state, bool shift, int x, int y)
{
    if (state == GLUT_DOWN) {
        grabbed.reset();
        const auto z = sourcePointAt(x, y);
        if (button == GLUT_LEFT_BUTTON && shift && z)
            grabbed = grid->focus() + *z;   // the point of the picture shown
        grabMoved = false;
        return false;
    }
    if (button != GLUT_LEFT_BUTTON || !grabbed)
        return false;
    const std::complex<double> point = *grabbed;
    grabbed.reset();
    // A click where no image is drawn does nothing.
    if (grabMoved || std::abs(point.real()) > 1 || std::abs(point.imag()) > 1)
        return false;
    setFocus(point);
    return true;
}

void ViewerState::updateFrame()
{
    // GLUT or the panel may have left another window current.
    glutSetWindow(mainWindow);
    polygonMode = wireframe == 1 ? GL_LINE : GL_FILL;
    const int selected = textureGroup->get_int_val();
    if (selected != currentTexture && selected >= 0) {
        currentTexture = selected;
        grid->catalogue->selectTexture(static_cast<unsigned>(selected));
    }
    if (grid->focus() != focus())
        grid->setFocus(focus());
    // The detail follows the focus; a picture decoded may come in.
    followBackgroundWork();
    // Laid out for the picture now shown, then mapped: the rows are the same bits for the same
    // angle and layout, so only a change is mapped. Another picture or window may allow less zoom.
    fitView(glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
    const float zoomBefore = zoom;
    keepZoomInLimits();
    if (zoom != zoomBefore)
        fitView(glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
    if (!mappedGrid->isCurrent(morphAngle))
        mappedGrid->recompute(morphAngle);
    if (pictureRequested) {
        pictureRequested = false;
        savePicture();
    }
    glutPostRedisplay();
}

namespace {

std::string sizeText(ImageSize size)
{
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

// What the panel says of the depth of the picture shown: nothing for one that fits one texture.
std::string depthLine(const TextureCatalogue& catalogue)
{
    const Picture* picture = catalogue.picture();
    if (!picture || !picture->depth())
        return "";
    const PictureDepth& depth = *picture->depth();
    if (!catalogue.detailWanted)
        return "Shown from a " + sizeText(depth.copy) + " copy: this OpenGL has no shaders";
    const std::string failure = picture->detailFailure();
    if (!failure.empty())
        return "Detail lost: " + failure;
    return "Depth: " + std::to_string(depth.levels) + " levels to " + sizeText(depth.full) + (picture->detailSettled() ? "" : ", coming");
}

// What the panel says of a picture being decoded, once that takes a while, of one refused, or of
// a damaged tile of the pyramid shown.
std::string loadingLine(const TextureCatalogue& catalogue)
{
    const std::optional<Loading> loading = catalogue.loading();
    if (loading)
        return loading->seconds > 0.5 ? "Loading " + loading->label + ": " + std::to_string(int(loading->done * 100)) + "%" : "";
    if (!catalogue.failure().empty())
        return "Cannot show " + catalogue.failure();
    // A damaged tile of a pyramid is told once, the first; coarser levels draw its place.
    const Picture* picture = catalogue.picture();
    const std::string damage = picture ? picture->detailDamage() : "";
    return damage.empty() ? "" : "Coarser levels stand in for " + damage;
}

} // namespace

bool ViewerState::followBackgroundWork()
{
    glutSetWindow(mainWindow);
    TextureCatalogue& catalogue = *grid->catalogue;
    bool changed = false;
    if (catalogue.followDecoding()) {
        changed = true;
        // A picture deeper than one texture starts with exact texturing, which alone shows its depth.
        if (catalogue.picture()->detail())
            exactTexturing = 1;
    }
    showChoice();
    Picture* picture = catalogue.picture();
    changed |= picture && picture->followDetail(grid->focus());
    // A damaged tile of a pyramid goes to standard error as a file refused does, once.
    if (picture && picture != damageTold && !picture->detailDamage().empty()) {
        std::fprintf(stderr, "%s: %s\n", catalogue.fileNames[std::size_t(catalogue.shownIndex())].c_str(), picture->detailDamage().c_str());
        damageTold = picture;
    }
    loadingText->set_text(loadingLine(catalogue));
    depthText->set_text(depthLine(catalogue));
    // Windows arrived go up a strip a millisecond; otherwise the threads are waited for.
    if ((catalogue.loading() || (picture && !picture->detailSettled())) && !backgroundTimerSet) {
        glutTimerFunc(picture && picture->detailUploading() ? 1 : 5, onBackgroundTimer, 0);
        backgroundTimerSet = true;
    }
    return changed;
}

void ViewerState::showChoice()
{
    // Only a choice already applied: one the user just made waits for the idle pass.
    const TextureCatalogue& catalogue = *grid->catalogue;
    if (catalogue.loading() || textureGroup->get_int_val() != currentTexture || currentTexture == catalogue.shownIndex())
        return;
    textureGroup->set_int_val(catalogue.shownIndex());
    currentTexture = catalogue.shownIndex();
}

void ViewerState::drawPicture()
{
    // Wireframe keeps the grid's own colours.
    mappedGrid->exactTexturing = exactTexturing == 1 && polygonMode == GL_FILL ? exactProgram.get() : nullptr;
    glLoadIdentity();
    glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (grid->catalogue->picture())
        mappedGrid->draw();
}
