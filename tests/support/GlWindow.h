// A real OpenGL context for tests: one GLUT window on the display the test runs under (a private
// Xvfb from scripts/test), made current. Mesa's software renderer serves it on a headless machine.
#pragma once

// Opens the window on first use; later calls make it current again and return its id.
int openGlWindow(int width = 64, int height = 64);
