// The floor of the viewer's start-up: the same two windows, each finishing one empty frame, with
// nothing loaded, built or drawn.
#include <GL/glut.h>

namespace {

void clearAndSwap()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glutSwapBuffers();
}

} // namespace

int main(int argc, char** argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    glutInitWindowPosition(0, 0);
    glutCreateWindow("Complex Logarithmic Mapping");
    glutDisplayFunc(clearAndSwap);
    glutInitWindowPosition(-1, -1);
    glutInitWindowSize(151, 169);
    glutCreateWindow("GLUI");
    glutDisplayFunc(clearAndSwap);
    glutMainLoop();
    return 0;
}
