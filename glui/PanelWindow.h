// One panel's GLUT window and the Dear ImGui context that draws in it.
//
// The window takes its GLUT events (mouse through the MouseEventQueue, keys through ImGui's GLUT
// backend), draws a frame when something happened, and resizes itself to fit what it drew. It
// knows nothing of controls: the frame's content comes from the function it was given.
// Like GLUI's windows it lives until the process ends: it is never closed or destroyed, since a
// teardown during exit would run after freeglut has closed its windows.
#pragma once

#include "MouseEventQueue.h"

#include <functional>
#include <string>

struct ImGuiContext;

class PanelWindow {
public:
    // Creates the window, which is current afterwards, at x, y (-1, -1: where the window system
    // puts it). drawContent draws the controls into each frame with ImGui.
    PanelWindow(const std::string& title, int x, int y, std::function<void()> drawContent);
    PanelWindow(const PanelWindow&) = delete;
    PanelWindow& operator=(const PanelWindow&) = delete;

    // Has a frame drawn soon, and one more after it so that hover and press states settle.
    void requestRedraw();

private:
    // The panel whose window GLUT has made current, with its ImGui context made current too.
    static PanelWindow* panelOfCurrentWindow();
    static void onDisplay();
    static void onReshape(int width, int height);
    static void onMouse(int button, int state, int x, int y);
    static void onMotion(int x, int y);
    static void onEntry(int state);
    // Hands a key to ImGui's GLUT backend function `handler`.
    template <auto handler, class Key> static void onKey(Key key, int x, int y);

    void drawFrame();
    void pushMouse(MouseEvent event);

    int windowId;
    ImGuiContext* context;
    std::function<void()> drawContent;
    MouseEventQueue mouseEvents;
    MouseState mouseState;
    int framesToDraw;
};
