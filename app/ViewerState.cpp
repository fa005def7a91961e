#include "ViewerState.h"

#include "Callbacks.h"
#include "Clipmap.h"
#include "PowerLogarithm.h"
#include "SavePicture.h"

#include <GL/glu.h>
#include <GL/glut.h>

#include <algorithm>
#include <cstdio>

namespace {

// The angle's limits, compared in double precision and stored as floats.
constexpr double greatestAngle = fullTurn;
constexpr double smallestAngle = 0.01;
constexpr double angleStep = 0.02;   // per 2 pixels of vertical drag

} // namespace

ViewerState::ViewerState(int mainWindow, std::unique_ptr<TextureCatalogue> catalogue)
    : morphAngle(static_cast<float>(greatestAngle)), mainWindow(mainWindow), currentTexture(0)
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
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);

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
    focusReal = static_cast<float>(std::clamp(point.real(), -1.0, 1.0));
    focusImaginary = static_cast<float>(std::clamp(point.imag(), -1.0, 1.0));
}

std::optional<std::complex<double>> ViewerState::sourcePointAt(int x, int y) const
{
    // The square from -1 to 1 fills the window, y growing upward.
    const double width = glutGet(GLUT_WINDOW_WIDTH), height = glutGet(GLUT_WINDOW_HEIGHT);
    return mappedGrid->sourceAt((x + 0.5) / width * 2 - 1, 1 - (y + 0.5) / height * 2);
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
    if (grid->focus() != focus())
        grid->setFocus(focus());
    // The rows are the same bits for the same angle and layout, so only a change is mapped.
    if (!mappedGrid->isCurrent(morphAngle))
        mappedGrid->recompute(morphAngle);
    // GLUT or the panel may have left another window current.
    glutSetWindow(mainWindow);
    polygonMode = wireframe == 1 ? GL_LINE : GL_FILL;
    const int selected = textureGroup->get_int_val();
    if (selected != currentTexture) {
        currentTexture = selected;
        grid->catalogue->selectTexture(static_cast<unsigned>(selected));
    }
    followBackgroundWork();
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
    const std::optional<PictureDepth> depth = catalogue.depth();
    if (!depth)
        return "";
    if (!catalogue.detailWanted)
        return "Shown from a " + sizeText(depth->copy) + " copy: this OpenGL has no shaders";
    const std::string failure = catalogue.detail() ? catalogue.detail()->failure() : catalogue.detailFailure;
    if (!failure.empty())
        return "Detail lost: " + failure;
    return "Depth: " + std::to_string(depth->levels) + " levels to " + sizeText(depth->full) +
           (catalogue.detailSettled() ? "" : ", coming");
}

} // namespace

bool ViewerState::followBackgroundWork()
{
    glutSetWindow(mainWindow);
    TextureCatalogue& catalogue = *grid->catalogue;
    bool changed = false;
    if (catalogue.loading() && catalogue.followDecoding()) {
        changed = true;
        // A picture deeper than one texture starts with exact texturing, which alone shows its depth.
        if (catalogue.detail())
            exactTexturing = 1;
    }
    changed |= catalogue.followDetail(grid->focus());
    const std::optional<Loading> loading = catalogue.loading();
    loadingText->set_text(loading && loading->seconds > 0.5
                              ? "Loading " + loading->label + ": " + std::to_string(int(loading->done * 100)) + "%"
                              : "");
    depthText->set_text(depthLine(catalogue));
    // Windows arrived go up a strip a millisecond; otherwise the threads are waited for.
    if ((loading || !catalogue.detailSettled()) && !backgroundTimerSet) {
        glutTimerFunc(catalogue.detailUploading() ? 1 : 5, onBackgroundTimer, 0);
        backgroundTimerSet = true;
    }
    return changed;
}

void ViewerState::drawPicture()
{
    // Wireframe keeps the grid's own colours.
    mappedGrid->exactTexturing = exactTexturing == 1 && polygonMode == GL_FILL ? exactProgram.get() : nullptr;
    glLoadIdentity();
    glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (grid->catalogue->hasPicture())
        mappedGrid->draw();
}
