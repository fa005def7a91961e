// The panel's mouse queue: clicks that arrive between two frames must still be clicks.
#include "MouseEventQueue.h"

#include <gtest/gtest.h>

namespace {

TEST(MouseEventQueue, APressAndReleaseBetweenTwoFramesSpanTwoFrames)
{
    MouseEventQueue queue;
    MouseState state;
    queue.push({MouseEvent::Move, 0, 10, 20});
    queue.push({MouseEvent::Press, 0, 10, 20});
    queue.push({MouseEvent::Release, 0, 10, 20});

    queue.applyNextFrame(state);
    EXPECT_TRUE(state.down[0]);
    EXPECT_EQ(state.x, 10);
    EXPECT_EQ(state.y, 20);
    queue.applyNextFrame(state);
    EXPECT_FALSE(state.down[0]);
    EXPECT_TRUE(queue.empty());
}

TEST(MouseEventQueue, AFrameSeesThePressWhereItHappened)
{
    MouseEventQueue queue;
    MouseState state;
    queue.push({MouseEvent::Press, 1, 5, 5});
    queue.push({MouseEvent::Move, 0, 50, 60});
    queue.push({MouseEvent::Move, 0, 70, 80});

    queue.applyNextFrame(state);
    EXPECT_TRUE(state.down[1]);
    EXPECT_EQ(state.x, 5);
    queue.applyNextFrame(state);
    EXPECT_EQ(state.x, 70);
    EXPECT_EQ(state.y, 80);
    EXPECT_TRUE(state.down[1]);
}

TEST(MouseEventQueue, MovesAloneAllLandInOneFrame)
{
    MouseEventQueue queue;
    MouseState state;
    for (int i = 0; i < 10; ++i)
        queue.push({MouseEvent::Move, 0, float(i), float(2 * i)});
    queue.applyNextFrame(state);
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(state.x, 9);
    EXPECT_EQ(state.y, 18);
}

} // namespace
