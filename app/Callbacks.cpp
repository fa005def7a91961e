#include "Callbacks.h"

#include "ViewerState.h"

#include <GL/glu.h>
#include <GL/glut.h>

#include <cstdlib>

namespace {

constexpr unsigned char escapeKey = 27;
constexpr unsigned char wireframeKey = 'f';

} // namespace

void onDisplay()
{
    glLoadIdentity();
    glPolygonMode(GL_FRONT_AND_BACK, viewerState->polygonMode);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    viewerState->mappedGrid->draw();
    glutSwapBuffers();
}

// The square from -1 to 1 always fills the whole window: the picture stretches with it.
void onReshape(int width, int height)
{
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
}

void onKeyboard(unsigned char key, int, int)
{
    if (key == escapeKey)
        std::exit(0);
    // 'f' flips the Wireframe checkbox itself, so the checkbox shows it and the two never disagree.
    if (key == wireframeKey) {
        viewerState->wireframe = viewerState->wireframe == 1 ? 0 : 1;
        viewerState->polygonMode = viewerState->wireframe == 1 ? GL_LINE : GL_FILL;
    }
    glutPostRedisplay();
}

// Arrow and function keys have no effect.
void onSpecialKey(int, int, int)
{
}

void onMouse(int button, int state, int x, int y)
{
    viewerState->lastMouseX = x;
    viewerState->lastMouseY = y;
    // A release leaves the button of the last press in charge.
    if (state == GLUT_DOWN)
        viewerState->mouseButton = button;
}

void onMotion(int x, int y)
{
    viewerState->handleMotion(x, y);
}

void onIdle()
{
    viewerState->updateFrame();
}
