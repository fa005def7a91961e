#include "GlWindow.h"

#include <GL/glut.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// A busy X server may refuse a connection for a moment, and GLUT gives up at once; so wait, up to a
// limit, until it accepts one.
void waitForDisplay()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        if (Display* display = XOpenDisplay(nullptr)) {
            XCloseDisplay(display);
            return;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "Cannot connect to the X display %s.\n", std::getenv("DISPLAY"));
            std::exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace

int openGlWindow(int width, int height)
{
    static int window = 0;
    if (window == 0) {
        if (!std::getenv("DISPLAY")) {
            std::fprintf(stderr, "This test needs an X display; run it through scripts/test.\n");
            std::exit(1);
        }
        waitForDisplay();
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
