#include "Callbacks.h"

#include "ViewerState.h"

#include <GL/glui.h>
#include <GL/freeglut.h>

#include <cstdlib>

namespace {

constexpr unsigned char escapeKey = 27;
constexpr unsigned char wireframeKey = 'f';
// A notch of the wheel, or a press of + or -, scales the picture about the focus by this.
constexpr double zoomStep = 1.25;

} // namespace

void onDisplay()
{
    viewerState->drawPicture();
    glutSwapBuffers();
}

// The square from -1 to 1 fills the whole window, the picture stretching with it; a picture in
// its true proportions keeps them in a window of any shape.
void onReshape(int width, int height)
{
    glViewport(0, 0, width, height);
    viewerState->fitView(width, height);
    // GLUT redraws after this, but a GL may learn the window's new size only from that frame's
    // swap (Mesa's software renderer does): the idle pass's redraw then draws at the new size.
    GLUI_Master.post_idle_pass();
}

void onKeyboard(unsigned char key, int, int)
{
    if (key == escapeKey)
        std::exit(0);
    // 'f' flips the Wireframe checkbox itself, so the checkbox shows it and the two never disagree;
    // the idle pass has the panel show the change.
    if (key == wireframeKey) {
        viewerState->wireframe = viewerState->wireframe == 1 ? 0 : 1;
        viewerState->polygonMode = viewerState->wireframe == 1 ? GL_LINE : GL_FILL;
        GLUI_Master.post_idle_pass();
    }
    // + (or =, the same key unshifted) and - zoom as the wheel does.
    if (key == '+' || key == '=' || key == '-') {
        viewerState->zoomBy(key == '-' ? 1.0 / zoomStep : zoomStep);
        GLUI_Master.post_idle_pass();
    }
    glutPostRedisplay();
}

void onWheel(int, int direction, int, int)
{
    viewerState->zoomBy(direction > 0 ? zoomStep : 1.0 / zoomStep);
    GLUI_Master.post_idle_pass();
}

// Arrow and function keys have no effect, but F11 for a picture in its true proportions: the
// main window fills the screen, or goes back to its place.
void onSpecialKey(int key, int, int)
{
    if (key == GLUT_KEY_F11)
        viewerState->toggleFullScreen();
}

void onMouse(int button, int state, int x, int y)
{
    viewerState->lastMouseX = x;
    viewerState->lastMouseY = y;
    // A release leaves the button of the last press in charge.
    if (state == GLUT_DOWN)
        viewerState->mouseButton = button;
    if (viewerState->handleGrab(button, state, (glutGetModifiers() & GLUT_ACTIVE_SHIFT) != 0, x, y))
        GLUI_Master.post_idle_pass();   // the idle pass lays the grid out around the new focus
}

void onMotion(int x, int y)
{
    viewerState->handleMotion(x, y);
    GLUI_Master.post_idle_pass();   // the idle pass maps the grid for the new angle or focus
}

void onIdle()
{
    viewerState->updateFrame();
}

void onBackgroundTimer(int)
{
    viewerState->backgroundTimerSet = false;
    if (viewerState->followBackgroundWork())
        GLUI_Master.post_idle_pass();   // the idle pass draws what changed
}
