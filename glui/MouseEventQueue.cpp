#include "MouseEventQueue.h"

void MouseEventQueue::applyNextFrame(MouseState& state)
{
    while (!pending.empty()) {
        const MouseEvent event = pending.front();
        pending.pop_front();
        state.x = event.x;
        state.y = event.y;
        if (event.kind != MouseEvent::Move) {
            state.down[event.button] = event.kind == MouseEvent::Press;
            return;   // one button change per frame, seen where it happened
        }
    }
}
