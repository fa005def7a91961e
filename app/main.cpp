// complex-log-viewer: the complex logarithmic mapping of an image, morphed live.
//
// Opens the windows and hands over to the GLUT main loop, which never returns: Esc ends the
// program, and so does an image that cannot be loaded.
#include "HugePages.h"
#include "Startup.h"

#include <GL/glut.h>

int main(int argc, char** argv)
{
    startWithHugePages(argv);
    startViewer(&argc, argv);
    glutMainLoop();
    return 0;
}
