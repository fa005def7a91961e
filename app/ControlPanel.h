// The control panel: a Wireframe checkbox and the choice among the four textures. No callbacks:
// the idle pass reads both settings on every pass.
#pragma once

#include <GL/glui.h>

extern GLUI* panelWindow;

// Fills panelWindow with its controls and binds it to the main window. Runs once, after the
// panel window exists and before the main window's callbacks are registered.
void buildControlPanel();
