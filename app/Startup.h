// Everything the viewer does before its main loop: the main window, the viewer state, the control
// panel, and the callbacks. The entry point runs it and then enters the GLUT main loop.
#pragma once

// Takes the command line, which goes to GLUT alone.
void startViewer(int* argc, char** argv);
