// The control panel: a Wireframe checkbox, the choice among the images, "Exact texturing" (greyed
// out where the GL offers no shaders), "Save picture", the focus's two coordinates with "Centre",
// the angle, and "True proportions". The idle pass and the drawing read the settings; the button asks the idle pass to
// save the picture.
#pragma once

#include <GL/glui.h>

extern GLUI* panelWindow;

// Fills panelWindow with its controls and binds it to the main window. Runs once, after the
// panel window exists and before the main window's callbacks are registered.
void buildControlPanel();
