// The panel's mouse queue: clicks that arrive between two frames must still be clicks, and each
// frame must see a button change where it happened.
#include "MouseEventQueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// What the GUI sees in each frame: the pointer and the left and right buttons.
struct Seen {
    float x, y;
    bool left, right;
};

std::vector<Seen> framesFor(const std::vector<MouseEvent>& events, int frames)
{
    MouseEventQueue queue;
    for (const MouseEvent& event : events)
        queue.push(event);
    MouseState state;
    std::vector<Seen> seen;
    for (int i = 0; i < frames; ++i) {
        queue.applyNextFrame(state);
        seen.push_back({state.x, state.y, state.down[0], state.down[1]});
    }
    EXPECT_TRUE(queue.empty());
    return seen;
}

TEST(MouseEventQueue, HandsEachFrameAtMostOneButtonChangeWhereItHappened)
{
    // A press and a release between two frames: down in one frame, up in the next.
    auto seen = framesFor({{MouseEvent::Move, 0, 10, 20}, {MouseEvent::Press, 0, 10, 20}, {MouseEvent::Release, 0, 10, 20}}, 2);
    EXPECT_TRUE(seen[0].left);
    EXPECT_EQ(seen[0].x, 10);
    EXPECT_FALSE(seen[1].left);

    // Moves after a press wait for the next frame; the press is seen where it happened.
    seen = framesFor({{MouseEvent::Press, 1, 5, 5}, {MouseEvent::Move, 0, 50, 60}, {MouseEvent::Move, 0, 70, 80}}, 2);
    EXPECT_TRUE(seen[0].right);
    EXPECT_EQ(seen[0].x, 5);
    EXPECT_TRUE(seen[1].right);
    EXPECT_EQ(seen[1].x, 70);
    EXPECT_EQ(seen[1].y, 80);

    // Moves alone all land in one frame.
    std::vector<MouseEvent> moves;
    for (int i = 0; i < 10; ++i)
        moves.push_back({MouseEvent::Move, 0, float(i), float(2 * i)});
    seen = framesFor(moves, 1);
    EXPECT_EQ(seen[0].x, 9);
    EXPECT_EQ(seen[0].y, 18);
}

} // namespace
