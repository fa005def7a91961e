// One panel's GLUT window and the Dear ImGui context that draws in it.
//
// The window takes its GLUT events (mouse and keys through the InputEventQueue, in their order),
// draws a frame when something happened, and resizes itself to fit what it drew. It
// knows nothing of controls: the frame's content comes from the function it was given.
// Like GLUI's windows it lives until the process ends: it is never closed or destroyed, since a
// teardown during exit would run after freeglut has closed its windows.
#pragma once

#include "InputEventQueue.h"

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
    static void onCharacter(unsigned char key, int x, int y);
    static void onCharacterUp(unsigned char key, int x, int y);
    static void onSpecial(int key, int x, int y);
    static void onSpecialUp(int key, int x, int y);

    void drawFrame();
    void push(const InputEvent& event);
    void pushKey(InputEvent::Kind kind, int index);

    int windowId;
    ImGuiContext* context;
    std::function<void()> drawContent;
    InputEventQueue inputEvents;
    InputState inputState;
    int framesToDraw;
};
