#include "Startup.h"

#include "Callbacks.h"
#include "ControlPanel.h"
#include "ImageSource.h"
#include "ViewerState.h"

#include <GL/glui.h>
#include <GL/glut.h>

#include <cstdio>
#include <string>
#include <vector>

ViewerState* viewerState = nullptr;
GLUI* panelWindow = nullptr;

namespace {

// A picture given on the command line whose header shows it cannot be loaded ends the program
// before any window opens, as a missing image would later, with the file and the reason on
// standard error. Only headers are read: a damaged picture whose header is sound fails when it is
// decoded.
void checkImageFiles(const std::vector<std::string>& imageFiles)
{
    for (const std::string& file : imageFiles) {
        std::string whyNot;
        if (!ImageSource::open(file, whyNot)) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), whyNot.c_str());
            TextureCatalogue::exitTextureNotFound();
        }
    }
}

} // namespace

void startViewer(int* argc, char** argv)
{
    glutInit(argc, argv);
    const std::vector<std::string> imageFiles(argv + 1, argv + *argc);
    checkImageFiles(imageFiles);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    glutInitWindowPosition(0, 0);
    const int mainWindow = glutCreateWindow("Complex Logarithmic Mapping");

    // Loads the first image into the main window's context, which is current.
    viewerState = new ViewerState(mainWindow, imageFiles);

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
