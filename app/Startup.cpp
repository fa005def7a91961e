#include "Startup.h"

#include "Callbacks.h"
#include "ControlPanel.h"
#include "ViewerState.h"

#include <GL/glui.h>
#include <GL/glut.h>

ViewerState* viewerState = nullptr;
GLUI* panelWindow = nullptr;

void startViewer(int* argc, char** argv)
{
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    glutInitWindowPosition(0, 0);
    const int mainWindow = glutCreateWindow("Complex Logarithmic Mapping");

    // Loads the first image into the main window's context, which is current.
    viewerState = new ViewerState(mainWindow);

    // GLUI makes the main window current again afterwards.
    panelWindow = GLUI_Master.create_glui("GLUI", 0, -1, -1);
    buildControlPanel();

    glutDisplayFunc(onDisplay);
    glutKeyboardFunc(onKeyboard);
    glutMouseFunc(onMouse);
    glutMotionFunc(onMotion);
    glutSpecialFunc(onSpecialKey);
    glutReshapeFunc(onReshape);
    GLUI_Master.set_glutIdleFunc(onIdle);
}
