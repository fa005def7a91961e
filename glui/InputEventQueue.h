// Mouse and key events of a panel window, handed to the GUI one frame at a time.
//
// Dear ImGui 1.86 reads the mouse buttons and the keys once per frame, so a press and a release
// that arrive between two frames (a quick click, a key typed while the program is busy, xdotool)
// would cancel out and be lost: a typed value whose Enter never counts. The queue releases events
// in the order they came, frame by frame: a frame sees at most one button or key change, the
// pointer where it happened; the events after it wait for the next frame.
#pragma once

#include <array>
#include <cfloat>
#include <deque>
#include <vector>

struct InputState {
    float x = -FLT_MAX;   // ImGui's "no pointer" until the pointer has been seen
    float y = -FLT_MAX;
    bool down[3] = {false, false, false};   // left, right, middle
    std::array<bool, 512> keys{};           // indexed as ImGui's GLUT backend indexes io.KeysDown
    bool ctrl = false, shift = false, alt = false;
    std::vector<unsigned> characters;       // typed, not yet handed to the GUI
};

struct InputEvent {
    enum Kind { Move, Press, Release, KeyDown, KeyUp } kind;
    int button;   // Press, Release: 0 left, 1 right, 2 middle. KeyDown, KeyUp: the key's index, a
                  // character from GLUT's keyboard callback, or 256 + a special key
    float x, y;   // Move, Press, Release
    bool ctrl, shift, alt;   // KeyDown, KeyUp: the modifiers held
};

class InputEventQueue {
public:
    void push(const InputEvent& event) { pending.push_back(event); }
    bool empty() const { return pending.empty(); }

    // Applies the events due for the next frame to state, in order.
    void applyNextFrame(InputState& state);

private:
    std::deque<InputEvent> pending;
};
