// The frame grid: where it places the frame ends after one seen between two
// reads, and what makes it forget them.
#include "videochip/x518_frame_grid.h"

#include <gtest/gtest.h>

namespace {

using Time = X518FrameGrid::Time;
using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr double kPeriodMs = 20.0;
const Time kT0 = Time{} + std::chrono::seconds(100);

// Microseconds after kT0 (Time{}: -1).
double after(Time t) { return t == Time{} ? -1 : std::chrono::duration<double, std::micro>(t - kT0).count(); }

X518FrameGrid learnt()
{
    X518FrameGrid g;
    g.learn(kT0, kT0 + milliseconds(1), kPeriodMs);  // a frame ended in the first millisecond
    return g;
}

}  // namespace

TEST(FrameGrid, PlacesTheLatestEndOfEachFrameAfterTheArming)
{
    // A period and 100 ppm of drift after the latest moment the seen frame
    // can have ended, per frame of extrapolation.
    const X518FrameGrid g = learnt();
    const struct {
        int armedUs, n;
        double latestUs;
    } cases[] = {
        {5000, 0, 1000 + 20002},   // the next frame
        {5000, 1, 1000 + 40004},   // the one after
        {45000, 0, 1000 + 60006},  // two frames ended before the arming
    };
    for (const auto& c : cases)
        EXPECT_NEAR(after(g.latestEnd(kT0 + microseconds(c.armedUs), kPeriodMs, c.n)), c.latestUs, 1) << c.armedUs;
    // Armed where the next end may already have passed, its frame may be the one after.
    EXPECT_TRUE(g.mayPrecede(kT0 + microseconds(20500)));
    EXPECT_FALSE(g.mayPrecede(kT0 + milliseconds(10)));
    // Another period, or a grid last seen too long ago, tells nothing.
    EXPECT_EQ(g.latestEnd(kT0 + milliseconds(5), 25.0, 0), Time{});
    EXPECT_EQ(g.latestEnd(kT0 + milliseconds(X518FrameGrid::kKeptMs + 2), kPeriodMs, 0), Time{});
    EXPECT_EQ(X518FrameGrid{}.latestEnd(kT0, kPeriodMs, 0), Time{});
}

TEST(FrameGrid, LearnsOnlyFromANarrowSightAndForgetsAFrameWhereItHasNone)
{
    X518FrameGrid wide;
    wide.learn(kT0, kT0 + milliseconds(6), kPeriodMs);  // more than a quarter period apart
    EXPECT_FALSE(wide.known());

    // A look that found the frame keeps the grid, the end placed where both say.
    X518FrameGrid g = learnt();
    const Time armed = kT0 + milliseconds(5);
    g.confirm(armed, 0, armed, kT0 + milliseconds(22));
    EXPECT_NEAR(after(g.latestEnd(kT0 + milliseconds(25), kPeriodMs, 0)), 1000 + 2 * 20002, 1);
    // A frame that ended before the grid's earliest end: the grid was wrong.
    g = learnt();
    g.confirm(armed, 0, armed, kT0 + milliseconds(15));
    EXPECT_FALSE(g.known());
}
