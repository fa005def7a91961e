// complex-log-viewer: the complex logarithmic mapping of an image, morphed live.
//
// Opens the main window, builds the viewer state, opens and fills the control panel, registers the
// callbacks, and hands over to the GLUT main loop, which never returns. Esc ends the program.
#include "Callbacks.h"
#include "ControlPanel.h"
#include "ViewerState.h"

#include <GL/glui.h>
#include <GL/glut.h>

ViewerState* viewerState = nullptr;
GLUI* panelWindow = nullptr;

int main(int argc, char** argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    glutInitWindowPosition(0, 0);
    const int mainWindow = glutCreateWindow("Complex Logarithmic Mapping");

    viewerState = new ViewerState(mainWindow);

    panelWindow = GLUI_Master.create_glui("GLUI", 0, -1, -1);
    buildControlPanel();

    glutDisplayFunc(onDisplay);
    glutKeyboardFunc(onKeyboard);
    glutMouseFunc(onMouse);
    glutMotionFunc(onMotion);
    glutSpecialFunc(onSpecialKey);
    glutReshapeFunc(onReshape);
    GLUI_Master.set_glutIdleFunc(onIdle);

    glutMainLoop();
    return 0;
}
