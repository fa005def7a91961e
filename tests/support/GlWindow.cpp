#include "GlWindow.h"

#include <GL/glut.h>
#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The GL driver unloads its modules at exit, before LeakSanitizer looks at the heap, and then the
// driver's lifetime allocations can't be traced to a module that the suppressions name. Pinning
// every module loaded so far keeps them mapped to the end.
void pinLoadedModules()
{
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            if (info->dlpi_name && info->dlpi_name[0])
                dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
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
        int argc = 1;
        char name[] = "test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(width, height);
        glutInitWindowPosition(0, 0);
        window = glutCreateWindow("test");
        pinLoadedModules();
    }
    glutSetWindow(window);
    return window;
}
