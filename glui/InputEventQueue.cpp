#include "InputEventQueue.h"

namespace {

// A key and the ones GLUT's character callback may report it as: a letter in both cases, and
// CTRL+A..CTRL+Z, which GLUT reports as 1..26, as that letter too.
void setKey(InputState& state, int index, bool down)
{
    if (index < 0 || index >= int(state.keys.size()))
        return;
    state.keys[std::size_t(index)] = down;
    if (index >= 1 && index <= 26)
        state.keys[std::size_t(index - 1 + 'a')] = state.keys[std::size_t(index - 1 + 'A')] = down;
    else if (index >= 'a' && index <= 'z')
        state.keys[std::size_t(index - 'a' + 'A')] = down;
    else if (index >= 'A' && index <= 'Z')
        state.keys[std::size_t(index - 'A' + 'a')] = down;
}

} // namespace

void InputEventQueue::applyNextFrame(InputState& state)
{
    while (!pending.empty()) {
        const InputEvent event = pending.front();
        pending.pop_front();
        switch (event.kind) {
        case InputEvent::Move:
            state.x = event.x;
            state.y = event.y;
            break;
        case InputEvent::Press:
        case InputEvent::Release:
            state.x = event.x;
            state.y = event.y;
            state.down[event.button] = event.kind == InputEvent::Press;
            return;   // one change per frame, seen where it happened
        case InputEvent::KeyDown:
        case InputEvent::KeyUp:
            setKey(state, event.button, event.kind == InputEvent::KeyDown);
            // Characters come from the character callback's keys, printable ones only.
            if (event.kind == InputEvent::KeyDown && event.button >= 32 && event.button < 256)
                state.characters.push_back(unsigned(event.button));
            state.ctrl = event.ctrl;
            state.shift = event.shift;
            state.alt = event.alt;
            return;
        }
    }
}
