// Mouse events of a panel window, handed to the GUI one frame at a time.
//
// Dear ImGui 1.86 reads the mouse buttons once per frame, so a press and a release that arrive
// between two frames (a quick click, `xdotool click`, many touchpads) would cancel out and the
// click would be lost. The queue releases events frame by frame: a frame sees at most one button
// change, at the position where it happened; the events after it wait for the next frame.
#pragma once

#include <cfloat>
#include <deque>

struct MouseState {
    float x = -FLT_MAX;   // ImGui's "no pointer" until the pointer has been seen
    float y = -FLT_MAX;
    bool down[3] = {false, false, false};   // left, right, middle
};

struct MouseEvent {
    enum Kind { Move, Press, Release } kind;
    int button;   // 0 left, 1 right, 2 middle; ignored for Move
    float x, y;
};

class MouseEventQueue {
public:
    void push(const MouseEvent& event) { pending.push_back(event); }
    bool empty() const { return pending.empty(); }

    // Applies the events due for the next frame to state, in order.
    void applyNextFrame(MouseState& state);

private:
    std::deque<MouseEvent> pending;
};
