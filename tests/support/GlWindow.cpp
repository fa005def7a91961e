#include "GlWindow.h"

#include <GL/glut.h>

#include <cstdio>
#include <cstdlib>

int openGlWindow(int width, int height)
{
    static int window = 0;
    if (window == 0) {
        if (!std::getenv("DISPLAY")) {
            std::fprintf(stderr, "This test needs an X display; run it through scripts/test.\n");
            std::exit(1);
        }
        int argc = 1;
        char name[] = "test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(width, height);
        glutInitWindowPosition(0, 0);
        window = glutCreateWindow("test");
    }
    glutSetWindow(window);
    return window;
}
