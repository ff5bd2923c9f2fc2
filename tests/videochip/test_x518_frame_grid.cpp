// The frame grid: where it places the frame ends after one seen between two
// reads, where a wait reads, and what makes it forget the ends.
#include "videochip/x518_frame_grid.h"

#include "tests/support/random_walk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using Time = X518FrameGrid::Time;
using Stretch = X518FrameGrid::Stretch;
using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr double kPeriodMs = 20.0;
const Time kT0 = Time{} + std::chrono::seconds(100);

// Microseconds after kT0.
double after(Time t)
{
    return std::chrono::duration<double, std::micro>(t - kT0).count();
}
Time at(double us)
{
    return kT0 + microseconds(std::llround(us));
}

X518FrameGrid learnt()
{
    X518FrameGrid g;
    g.learn(kT0, kT0 + milliseconds(1), kPeriodMs);  // a frame ended in the first millisecond
    return g;
}

// The time of a walk: a sleep wakes up to 150 us late (on time without `rng`).
struct FakeTimer {
    Time* clock;
    std::mt19937* rng;
    Time now() const { return *clock; }
    void sleepUntil(Time t) const
    {
        *clock = std::max(*clock, t) + microseconds(rng ? std::uniform_int_distribution<int>(0, 150)(*rng) : 0);
    }
};

// Where a wait armed at `armedUs` reads first.
double firstRead(const X518FrameGrid& g, double armedUs, double periodMs = kPeriodMs)
{
    const Stretch s = g.stretch(at(armedUs), at(armedUs), periodMs);
    return after(X518FrameGrid::nextRead(s, periodMs, s.from > at(armedUs)));
}

}  // namespace

TEST(FrameGrid, PlacesTheLatestEndOfEachFrameAfterTheArming)
{
    // A period and 100 ppm of drift after the latest moment the seen frame
    // can have ended, per frame of extrapolation.
    const X518FrameGrid g = learnt();
    const struct {
        int armedUs, clearUs;
        double latestUs;
    } cases[] = {
        {5000, 5000, 1000 + 20002},    // the next frame
        {5000, 21100, 1000 + 40004},   // read clear past it: the one after
        {45000, 45000, 1000 + 60006},  // two frames ended before the arming
    };
    for (const auto& c : cases) {
        const Stretch s = g.stretch(at(c.armedUs), at(c.clearUs), kPeriodMs);
        EXPECT_NEAR(after(s.to), c.latestUs, 1) << c.armedUs;
        EXPECT_GE(s.index, 1) << c.armedUs;
    }
    // Armed where the next end may already have passed, the stretch starts
    // at the arming.
    EXPECT_EQ(g.stretch(at(20500), at(20500), kPeriodMs).from, at(20500));
    EXPECT_NEAR(after(g.stretch(at(10000), at(10000), kPeriodMs).from), 19998, 1);
    // Another period places nothing: the end comes within a period (and its
    // drift) of the arming. No grid: a poll.
    const Stretch other = g.stretch(at(5000), at(5000), 25.0);
    EXPECT_EQ(other.index, -1);
    EXPECT_EQ(other.from, at(5000));
    EXPECT_NEAR(after(other.to), 5000 + 25002.5, 1);
    EXPECT_NEAR(after(X518FrameGrid{}.stretch(kT0, kT0, kPeriodMs).to), 1000, 1);
}

TEST(FrameGrid, AfterAPauseLooksOnceOrReadsTheStretchInStepsOfAFifthPeriodAtMost)
{
    // Each frame of extrapolation widens where the end can lie by 200 ppm
    // of a period: one look at its end while that stays within a quarter
    // period (its middle first, when wider than an eighth and wholly after
    // the arming), then even steps of at most a fifth of a period from its
    // earliest moment, or from the arming where the stretch began before it
    // or grew wider than a period.
    const X518FrameGrid g = learnt();
    const struct {
        double armedMs;
        double firstReadUs;
    } cases[] = {
        {5, 1000 + 20002},                                  // 1 ms wide: one look
        {6005, 1000 + 301 * 20002.0},                       // 6 s on: 2.2 ms wide
        {12005, 601 * 19998.0 + (1000 + 601 * 4.0) / 2},    // 12 s on: 3.4 ms wide, its middle
        {59990, 3000 * 19998.0 + (1000 + 3000 * 4.0) / 4},  // a minute on: 13 ms wide, 4 steps
        {60005, 1000 + 3000 * 20002.0},                     // armed inside that stretch
        {200000, 200000000 + 20002 / 5.0},                  // 200 s on: 41 ms wide
    };
    for (const auto& c : cases)
        EXPECT_NEAR(firstRead(g, c.armedMs * 1000), c.firstReadUs, 1) << c.armedMs;
    // Without a period or a grid, once a millisecond.
    EXPECT_NEAR(firstRead(X518FrameGrid{}, 0, 0), 1000, 1);
    EXPECT_NEAR(firstRead(X518FrameGrid{}, 0), 1000, 1);
}

TEST(FrameGrid, TwoSightingsAMinuteApartBoundThePeriod)
{
    // Frames of exactly 20 ms: a polling wait a minute on sees frame 3000
    // end between two reads. A minute after that the end is still placed
    // for one look; re-learnt from that sighting alone it is not (a wait
    // armed before the stretch).
    X518FrameGrid taught = learnt();
    const Time from = at(60000200), to = at(60001000);
    taught.learn(from, to, kPeriodMs);
    X518FrameGrid fresh;
    fresh.learn(from, to, kPeriodMs);
    const Time armed = at(119990000);
    const auto width = [&](const X518FrameGrid& g) {
        const Stretch s = g.stretch(armed, armed, kPeriodMs);
        return s.index < 0 ? 1e9 : after(s.to) - after(s.from);
    };
    EXPECT_LE(width(taught), kPeriodMs * 1000 / 4);
    EXPECT_GT(width(fresh), kPeriodMs * 1000 / 4);
    // A sighting between the grid's stretches: a grid that was wrong.
    taught.learn(at(120010000), at(120010500), kPeriodMs);
    EXPECT_EQ(taught.stretch(at(120012000), at(120012000), kPeriodMs).to - kT0, microseconds(120010500 + 20002));
}

TEST(FrameGrid, ASightingThatMeetsOneEndOnlyCountsTheFramesAcrossALongPause)
{
    // 140 s on, the stretches of neighbouring ends overlap (29 ms wide, a
    // period apart), yet a sighting in the middle of one meets no other:
    // it counts 7000 frames, so the period is bound to 0.2 us, and an end
    // as far on again is placed for one look. A sighting where two
    // stretches overlap cannot tell: placed anew.
    X518FrameGrid g = learnt();
    g.learn(at(140000200), at(140000800), kPeriodMs);
    const Time armed = at(280005000);
    const Stretch s = g.stretch(armed, armed, kPeriodMs);
    ASSERT_GE(s.index, 0);
    EXPECT_LE(after(s.to) - after(s.from), 5000);

    X518FrameGrid overlap = learnt();
    overlap.learn(at(139992000), at(139992500), kPeriodMs);
    EXPECT_TRUE(overlap.known());
    EXPECT_NEAR(after(overlap.stretch(at(139995000), at(139995000), kPeriodMs).to), 139992500 + 20002, 1);
}

TEST(FrameGrid, LearnsOnlyFromANarrowSightAndForgetsAFrameWhereItHasNone)
{
    X518FrameGrid wide;
    wide.learn(kT0, kT0 + milliseconds(6), kPeriodMs);  // more than a quarter period apart
    EXPECT_FALSE(wide.known());

    // A look that found the frame keeps the grid, the end placed where both say.
    X518FrameGrid g = learnt();
    const Time armed = kT0 + milliseconds(5);
    g.seen(g.stretch(armed, armed, kPeriodMs), armed, kT0 + milliseconds(22), kPeriodMs);
    EXPECT_NEAR(after(g.stretch(at(25000), at(25000), kPeriodMs).to), 1000 + 2 * 20002, 1);
    // A frame that ended before the grid's earliest end: the grid was wrong.
    g = learnt();
    g.seen(g.stretch(armed, armed, kPeriodMs), armed, kT0 + milliseconds(15), kPeriodMs);
    EXPECT_FALSE(g.known());
    // A look at the end of the stretch found no frame, and the grid placed
    // that end after the arming: wrong too.
    g = learnt();
    g.missed(g.stretch(armed, armed, kPeriodMs), armed);
    EXPECT_FALSE(g.known());
}

TEST(FrameGrid, AnEndThatCameWhileTheRequestWasWrittenIsPlacedBeforeTheWaitBegan)
{
    // Frames end at 60 us + k * 20 ms; the request takes effect as its
    // 100 us write ends, so the end at 20060 us raises no flag for a wait
    // armed just before it, whether the grid's earliest moment for it lies
    // after the arming or before. The look at the end of its stretch finds
    // the flag clear: the grid keeps the frames, and the wait looks once
    // more, just after the next end.
    constexpr double kWriteUs = 100, kNextEndUs = 40060, kReadUs = 10;
    for (const double armedUs : {19990.0, 20005.0}) {
        X518FrameGrid g = learnt();
        Time now = at(armedUs + kWriteUs);
        const auto read = [&](bool) {
            now += microseconds(std::llround(kReadUs));
            return after(now) >= kNextEndUs ? 1 : 0;
        };
        int polls = 0;
        ASSERT_EQ(g.await(at(armedUs), kPeriodMs, Time::max(), 100, false, read, polls, FakeTimer{&now, nullptr}), 1);
        EXPECT_TRUE(g.known()) << armedUs;
        EXPECT_EQ(polls + 1, 2) << armedUs;
        EXPECT_LE(after(now) - kNextEndUs, kWriteUs + 2 * kReadUs) << armedUs;
    }
}

// The time of a wait whose sleeps wake on time but for one, the
// `late`-th, which wakes `lateUs` late.
struct OneLateWakeUp {
    Time* clock;
    int* sleeps;
    int late;
    double lateUs;
    Time now() const { return *clock; }
    void sleepUntil(Time t) const
    {
        *clock = std::max(*clock, t) + microseconds(std::llround((*sleeps)++ == late ? lateUs : 0));
    }
};

TEST(FrameGrid, AReadThatWakesLateNeitherLosesNorShiftsTheFrames)
{
    // Frames of exactly 20 ms end at 500 us + k * 20 ms, as learnt() saw;
    // a read takes 10 us. Each case: a wait whose `late`-th sleep wakes
    // `lateUs` late, then a wait on time `gapUs` after it ends.
    constexpr double kEndUs = 500, kWriteUs = 100, kReadUs = 10, kQuarterUs = kPeriodMs * 1000 / 4;
    const auto endAfter = [&](double us) { return kEndUs + std::floor((us - kEndUs) / 20000 + 1) * 20000; };
    const struct {
        double armedUs;
        int late;
        double lateUs;
        double gapUs;
        const char* what;
    } cases[] = {
        // 180 s on the stretches of neighbouring ends overlap, so the wait
        // reads a period from its arming in steps of 4 ms; the fourth
        // wakes 1.6 ms late and sees the end from 5.6 ms, too wide to
        // place the frames anew and meeting two stretches: the grid stays
        // as it was, and the next wait reads in steps again, not once a
        // millisecond.
        {180003000, 3, 1600, 3000, "a wide sighting where stretches overlap"},
        // A minute on, armed after the end its stretch places had passed
        // (at 60000500 us); its look wakes 20 ms late and sees the next
        // end, which that stretch does not hold. Placed in that stretch it
        // would put the frames 6 ms late.
        {60006000, 0, 20000, 3000, "a look past the next end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        X518FrameGrid g = learnt();
        Time now = at(c.armedUs + kWriteUs);
        int sleeps = 0, polls = 0;
        double frameUs = endAfter(c.armedUs + kWriteUs);
        const auto read = [&](bool) {
            now += microseconds(std::llround(kReadUs));
            return after(now) >= frameUs ? 1 : 0;
        };
        ASSERT_EQ(g.await(at(c.armedUs), kPeriodMs, Time::max(), 100, false, read, polls,
                          OneLateWakeUp{&now, &sleeps, c.late, c.lateUs}),
                  1);
        const double armedUs = after(now) + c.gapUs;
        now = at(armedUs + kWriteUs);
        frameUs = endAfter(armedUs + kWriteUs);
        ASSERT_EQ(g.await(at(armedUs), kPeriodMs, Time::max(), 100, false, read, polls, FakeTimer{&now, nullptr}), 1);
        EXPECT_TRUE(g.known());
        EXPECT_LE(polls + 1, 5);
        EXPECT_LE(after(now) - frameUs, kQuarterUs + 2 * kReadUs);
    }
}

// A random walk of frame waits on one grid, against a source whose frames
// keep a period within the drift the grid allows: waits a frame apart,
// passes of a few frames, pauses from a second to five minutes, a read and
// a wake-up that each take a little time. Every wait ends after a frame
// end that came after its arming, at most a quarter period (and the time a
// read and a wake-up take) later, once the grid has learnt the frames in at
// most eight reads, and the grid never loses the frames. KEL_WALK_SEED and
// KEL_WALK_STEPS replay or widen the walk.
TEST(FrameGrid, WaitsOnASteadySourceEndAfterTheirFrameSoonAndInFewReads)
{
    RandomWalk walk("frame grid walk", 54, 400);
    std::mt19937& rng = walk.rng;
    const auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };

    constexpr double kMaxLateUs = kPeriodMs * 1000 / 4 + 400;  // a quarter period, a read and a wake-up
    constexpr int kMostReads = 8;
    const double periodUs = kPeriodMs * 1000 * (1 + uniform(-1, 1) * X518FrameGrid::kDriftPpm * 1e-6);
    const double phaseUs = uniform(0, periodUs);
    // Frame ends lie at phaseUs + k * periodUs after kT0.
    const auto endAfter = [&](Time t) { return phaseUs + std::floor((after(t) - phaseUs) / periodUs + 1) * periodUs; };

    Time now = kT0 + std::chrono::seconds(1);
    X518FrameGrid grid;
    bool learnt = false;
    for (int step = 0; step < walk.steps; ++step) {
        const double r = uniform(0, 1);
        const double gapUs = r < 0.6    ? uniform(50, 2000)
                             : r < 0.85 ? uniform(2000, 60000)
                                        : std::exp(uniform(std::log(1e6), std::log(3e8)));
        now += microseconds(std::llround(gapUs));
        const bool knew = grid.known();
        const Time armed = now;
        now += microseconds(30);  // the request takes effect as the arming write ends
        const double frameUs = endAfter(now);
        int polls = 0;
        const auto read = [&](bool) {
            now += microseconds(std::uniform_int_distribution<int>(10, 60)(rng));
            return after(now) >= frameUs ? 1 : 0;
        };
        const int answer = grid.await(armed, kPeriodMs, Time::max(), 1000, false, read, polls, FakeTimer{&now, &rng});
        SCOPED_TRACE(walk.step(step, "gap " + std::to_string(gapUs) + " us"));
        ASSERT_EQ(answer, 1);
        ASSERT_GE(after(now), frameUs);  // never before its frame
        EXPECT_LE(after(now) - frameUs, kMaxLateUs);
        if (knew) {
            EXPECT_LE(polls + 1, kMostReads);
        }
        learnt = learnt || grid.known();
        if (learnt) {
            ASSERT_TRUE(grid.known());
        }
    }
}
