// Everything the viewer does before its main loop: the main window, the viewer state, the control
// panel, and the callbacks. The entry point runs it and then enters the GLUT main loop.
#pragma once

// Takes the command line: GLUT's options go to GLUT, and the arguments it leaves are image files
// to show in place of the four images, each checked before any window opens.
void startViewer(int* argc, char** argv);
