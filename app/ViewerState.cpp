#include "ViewerState.h"

#include "PowerLogarithm.h"
#include "SavePicture.h"

#include <GL/glu.h>
#include <GL/glut.h>

#include <cstdio>

namespace {

// The angle's limits, compared in double precision and stored as floats.
constexpr double greatestAngle = fullTurn;
constexpr double smallestAngle = 0.01;
constexpr double angleStep = 0.02;   // per 2 pixels of vertical drag

} // namespace

ViewerState::ViewerState(int mainWindow, const std::vector<std::string>& imageFiles)
    : morphAngle(static_cast<float>(greatestAngle)), mainWindow(mainWindow), currentTexture(0)
{
    grid = std::make_unique<PlaneGrid>(imageFiles);
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
}

void ViewerState::handleMotion(int x, int y)
{
    if (mouseButton != GLUT_RIGHT_BUTTON) {
        lastMouseX = x;
        lastMouseY = y;
        return;
    }
    // Truncated toward zero: the odd pixel of each event is dropped, not carried over.
    const int steps = (lastMouseY - y) / 2;
    morphAngle = static_cast<float>(steps * angleStep + static_cast<double>(morphAngle));
    if (static_cast<double>(morphAngle) >= greatestAngle)
        morphAngle = static_cast<float>(greatestAngle);
    lastMouseX = x;
    lastMouseY = y;
    if (static_cast<double>(morphAngle) <= smallestAngle)
        morphAngle = static_cast<float>(smallestAngle);
}

void ViewerState::updateFrame()
{
    // The rows are the same bits for the same angle, so only a new angle is mapped.
    if (morphAngle != mappedGrid->angle)
        mappedGrid->recompute(morphAngle);
    // GLUT or the panel may have left another window current.
    glutSetWindow(mainWindow);
    polygonMode = wireframe == 1 ? GL_LINE : GL_FILL;
    const int selected = textureGroup->get_int_val();
    if (selected != currentTexture) {
        currentTexture = selected;
        grid->catalogue->selectTexture(static_cast<unsigned>(selected));
    }
    if (pictureRequested) {
        pictureRequested = false;
        savePicture();
    }
    glutPostRedisplay();
}

void ViewerState::drawPicture()
{
    // Wireframe keeps the grid's own colours.
    mappedGrid->exactTexturing = exactTexturing == 1 && polygonMode == GL_FILL ? exactProgram.get() : nullptr;
    glLoadIdentity();
    glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    mappedGrid->draw();
}
