#include "videochip/x518_frame_grid.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPpm = 1e-6;
constexpr double kUsPerMs = 1000.0;
constexpr double kSamePeriod = 1e-3;  // a period this close (relative) is the one learnt
constexpr double kWidestSight = 0.25; // of a period: a wider sight places no frame end

}  // namespace

double X518FrameGrid::earliestUs(int index) const
{
    return us(lo_) + index * periodUs_ * (1.0 - kDriftPpm * kPpm);
}

double X518FrameGrid::latestUs(int index) const
{
    return index * periodUs_ * (1.0 + kDriftPpm * kPpm);
}

X518FrameGrid::Time X518FrameGrid::at(double usFromHi) const
{
    return hi_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::micro>(usFromHi));
}

int X518FrameGrid::firstAfter(Time armed) const
{
    const double n = std::ceil(us(armed) / latestUs(1));
    return n < 1 ? 1 : int(n);
}

X518FrameGrid::Time X518FrameGrid::latestEnd(Time armed, double periodMs, int n) const
{
    const double periodUs = periodMs * kUsPerMs;
    if (!known_ || periodUs <= 0 || std::abs(periodUs - periodUs_) > periodUs_ * kSamePeriod ||
        armed - learnt_ > std::chrono::milliseconds(kKeptMs))
        return Time{};
    return at(latestUs(firstAfter(armed) + n));
}

bool X518FrameGrid::mayPrecede(Time armed) const
{
    return known_ && earliestUs(firstAfter(armed)) < us(armed);
}

void X518FrameGrid::learn(Time from, Time to, double periodMs)
{
    const double periodUs = periodMs * kUsPerMs;
    known_ = periodUs > 0 && to >= from &&
             std::chrono::duration<double, std::micro>(to - from).count() <= periodUs * kWidestSight;
    if (!known_)
        return;
    lo_ = from;
    hi_ = to;
    learnt_ = to;
    periodUs_ = periodUs;
}

void X518FrameGrid::confirm(Time armed, int n, Time from, Time to)
{
    if (!known_)
        return;
    const int index = firstAfter(armed) + n;
    const double lo = std::max(earliestUs(index), us(from));
    const double hi = std::min(latestUs(index), us(to));
    if (lo > hi) {
        known_ = false;  // the frame ended where the grid has none
        return;
    }
    const Time newLo = at(lo), newHi = at(hi);
    lo_ = newLo;
    hi_ = newHi;
}
