// The pen velocity tracker: tap zone, held time, history window and speed.

#include <gtest/gtest.h>
#include "elements/pen_tracker.h"

TEST(PenTracker, StaysATapInsideTenPixels)
{
    PenTracker tracker;
    tracker.pen_down(100, 100, 0);
    tracker.pen_move(109, 91, 30);
    tracker.update(0.25);
    EXPECT_FALSE(tracker.is_dragging());
    EXPECT_DOUBLE_EQ(tracker.held(), 0.25);
    EXPECT_EQ(tracker.last_dy(), 0);
    tracker.pen_move(100, 110, 60);
    EXPECT_TRUE(tracker.is_dragging());
    EXPECT_EQ(tracker.held(), -1.0);
    tracker.update(0.5);
    EXPECT_EQ(tracker.held(), -1.0);
    tracker.pen_move(100, 125, 80);
    EXPECT_EQ(tracker.last_dy(), 15);
    tracker.pen_up(100, 125, 90);
    EXPECT_FALSE(tracker.is_down());
}

TEST(PenTracker, SpeedComesFromTheLastQuarterSecond)
{
    PenTracker tracker;
    tracker.pen_down(0, 0, 0);
    for (int time = 100, y = 20; time <= 1000; time += 50, y += 10)
        tracker.pen_move(0, y, time);
    tracker.pen_move(0, 400, 1050);
    tracker.pen_up(0, 600, 1100);
    // The oldest point kept is the one at 850 ms (y 170).
    EXPECT_EQ(tracker.velocity_y(), (170 - 600) * 1000 / 250);
    EXPECT_EQ(tracker.velocity_x(), 0.0);
}

TEST(PenTracker, KeepsAtMostTwentyFivePoints)
{
    PenTracker tracker;
    tracker.pen_down(0, 0, 0);
    for (int i = 1; i <= 100; ++i)
        tracker.pen_move(i < 80 ? i * 20 : 1000 + i * 20, 0, i * 4);
    tracker.pen_up(4000, 0, 400);
    // 25 points with the pen-up: the oldest is the move at 308 ms (x 1540),
    // although the 250 ms window alone would reach back to 152 ms.
    EXPECT_EQ(tracker.velocity_x(), (1540 - 4000) * 1000 / 92);
}

TEST(PenTracker, ShortFlickHasNoSpeed)
{
    PenTracker tracker;
    tracker.pen_down(0, 0, 0);
    tracker.pen_move(0, 50, 10);
    tracker.pen_move(0, 150, 40);
    tracker.pen_up(0, 160, 49);
    EXPECT_EQ(tracker.velocity_y(), 0.0);
}
