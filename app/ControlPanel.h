// The control panel: a Wireframe checkbox, the choice among the images, and "Save picture". The
// idle pass reads the two settings; the button asks it to save the picture.
#pragma once

#include <GL/glui.h>

extern GLUI* panelWindow;

// Fills panelWindow with its controls and binds it to the main window. Runs once, after the
// panel window exists and before the main window's callbacks are registered.
void buildControlPanel();
