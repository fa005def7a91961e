// The main window's GLUT callbacks, thin: each works on the global viewerState or forwards to it.
// They run with the main window current, except onIdle, whose updateFrame makes it current.
#pragma once

void onDisplay();
void onReshape(int width, int height);
void onKeyboard(unsigned char key, int x, int y);
void onSpecialKey(int key, int x, int y);
void onMouse(int button, int state, int x, int y);
void onMotion(int x, int y);
// A notch of the mouse wheel: up zooms in about the focus, down out.
void onWheel(int wheel, int direction, int x, int y);
void onIdle();
// While threads of their own decode a picture or read its detail: finishes their work on the main
// loop, and asks for an idle pass if that changed the picture.
void onBackgroundTimer(int);
