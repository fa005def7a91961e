#include "Startup.h"

#include "Callbacks.h"
#include "ControlPanel.h"
#include "ViewerState.h"

#include <GL/glui.h>
#include <GL/freeglut.h>

#include <memory>
#include <string>
#include <vector>

ViewerState* viewerState = nullptr;
GLUI* panelWindow = nullptr;


void startViewer(int* argc, char** argv)
{
    glutInit(argc, argv);
    // Pictures given are checked before any window opens (their headers only), and the first one
    // is decoded meanwhile.
    const std::vector<std::string> imageFiles(argv + 1, argv + *argc);
    auto catalogue = std::make_unique<TextureCatalogue>(imageFiles);
    catalogue->checkFiles();
    if (!imageFiles.empty())
        catalogue->startDecoding(0);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    glutInitWindowPosition(0, 0);
    const int mainWindow = glutCreateWindow("Complex Logarithmic Mapping");

    // Loads the first image into the main window's context, which is current.
    viewerState = new ViewerState(mainWindow, std::move(catalogue));

    // GLUI makes the main window current again afterwards.
    panelWindow = GLUI_Master.create_glui("GLUI", 0, -1, -1);
    buildControlPanel();

    glutDisplayFunc(onDisplay);
    glutKeyboardFunc(onKeyboard);
    glutMouseFunc(onMouse);
    glutMouseWheelFunc(onWheel);
    glutMotionFunc(onMotion);
    glutSpecialFunc(onSpecialKey);
    glutReshapeFunc(onReshape);
    GLUI_Master.set_glutIdleFunc(onIdle);
}
