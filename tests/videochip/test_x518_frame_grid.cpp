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
    // Another period tells nothing.
    EXPECT_EQ(g.latestEnd(kT0 + milliseconds(5), 25.0, 0), Time{});
    EXPECT_EQ(X518FrameGrid{}.latestEnd(kT0, kPeriodMs, 0), Time{});
}

TEST(FrameGrid, AfterAPauseLooksOncePollsWhereTheEndCanLieOrFromTheArming)
{
    // Each frame of extrapolation widens where the end can lie by 200 ppm
    // of a period: one look while that stays within a quarter period, then
    // polls from the earliest moment, then (wider than a period) from the
    // arming.
    const X518FrameGrid g = learnt();
    const struct {
        double armedMs;
        double lookUs;  // -1: no look
        double pollUs;
    } cases[] = {
        {6005, 1000 + 301 * 20002.0, 301 * 19998.0}, // 6 s on: 2.2 ms wide
        {59990, -1, -1000 + 3000 * 19998.0 + 1000}, // a minute on: 13 ms wide
        {60005, -1, 60005000},                      //   armed inside that stretch
        {200000, -1, 200000000},                    // 200 s on: 41 ms wide
    };
    for (const auto& c : cases) {
        const Time armed = kT0 + microseconds(std::int64_t(c.armedMs * 1000));
        EXPECT_NEAR(after(g.latestEnd(armed, kPeriodMs, 0)), c.lookUs, 1) << c.armedMs;
        EXPECT_NEAR(after(g.firstPoll(armed, kPeriodMs)), c.pollUs, 1) << c.armedMs;
    }
}

TEST(FrameGrid, TwoSightingsAMinuteApartBoundThePeriod)
{
    // Frames of exactly 20 ms: a polling wait a minute on sees frame 3000
    // end between two reads. A minute after that the end is still placed
    // for one look; re-learnt from that sighting alone it is not.
    X518FrameGrid taught = learnt();
    const Time from = kT0 + microseconds(60000200), to = kT0 + microseconds(60001000);
    taught.learn(from, to, kPeriodMs);
    X518FrameGrid fresh;
    fresh.learn(from, to, kPeriodMs);
    const Time armed = kT0 + microseconds(120005000);
    EXPECT_NE(taught.latestEnd(armed, kPeriodMs, 0), Time{});
    EXPECT_EQ(fresh.latestEnd(armed, kPeriodMs, 0), Time{});
    // A sighting between the grid's stretches: a grid that was wrong.
    taught.learn(kT0 + microseconds(120010000), kT0 + microseconds(120010500), kPeriodMs);
    EXPECT_EQ(taught.latestEnd(kT0 + microseconds(120012000), kPeriodMs, 0) - kT0,
              microseconds(120010500 + 20002));
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
