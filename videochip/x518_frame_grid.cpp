#include "videochip/x518_frame_grid.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPpm = 1e-6;
constexpr double kUsPerMs = 1000.0;
constexpr double kSamePeriod = 1e-3;  // a period this close (relative) is the one learnt
constexpr double kWidestSight = 0.25; // of a period: a wider stretch places no frame end for one look
constexpr int kFarthest = 1 << 30;  // frames: a grid this old places nothing anyway

}  // namespace

double X518FrameGrid::earliestUs(int index) const { return us(lo_) + index * minUs_; }

double X518FrameGrid::latestUs(int index) const { return index * maxUs_; }

X518FrameGrid::Time X518FrameGrid::at(double usFromHi) const
{
    return hi_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::micro>(usFromHi));
}

bool X518FrameGrid::tells(double periodUs) const
{
    return known_ && periodUs > 0 && std::abs(periodUs - periodUs_) <= periodUs_ * kSamePeriod;
}

int X518FrameGrid::firstAfter(Time armed) const
{
    const double n = std::ceil(us(armed) / latestUs(1));
    return n < 1 ? 1 : n > double(kFarthest) ? kFarthest : int(n);
}

X518FrameGrid::Time X518FrameGrid::latestEnd(Time armed, double periodMs, int n) const
{
    if (!tells(periodMs * kUsPerMs))
        return Time{};
    const int index = firstAfter(armed) + n;
    if (widthUs(index) > periodUs_ * kWidestSight)
        return Time{};
    return at(latestUs(index));
}

X518FrameGrid::Time X518FrameGrid::firstPoll(Time armed, double periodMs) const
{
    if (!tells(periodMs * kUsPerMs))
        return armed;
    const int index = firstAfter(armed);
    if (widthUs(index) >= minUs_)
        return armed;  // the stretches of two frame ends overlap: either may come next
    return std::max(armed, at(earliestUs(index)));
}

X518FrameGrid::Time X518FrameGrid::latestFirst(Time armed) const
{
    return known_ ? at(latestUs(firstAfter(armed))) : Time::max();
}

bool X518FrameGrid::mayPrecede(Time armed) const
{
    return known_ && earliestUs(firstAfter(armed)) < us(armed);
}

void X518FrameGrid::start(Time from, Time to, double periodUs)
{
    known_ = periodUs > 0 && to >= from &&
             std::chrono::duration<double, std::micro>(to - from).count() <= periodUs * kWidestSight;
    if (!known_)
        return;
    if (std::abs(periodUs - periodUs_) > periodUs_ * kSamePeriod) {
        periodUs_ = periodUs;
        minUs_ = periodUs * (1.0 - kDriftPpm * kPpm);
        maxUs_ = periodUs * (1.0 + kDriftPpm * kPpm);
    }
    lo_ = from;
    hi_ = to;
    firstLo_ = from;
    firstHi_ = to;
    periodsSinceFirst_ = 0;
}

void X518FrameGrid::learn(Time from, Time to, double periodMs)
{
    const double periodUs = periodMs * kUsPerMs;
    if (!tells(periodUs)) {
        forget();  // nothing of an earlier grid carries over
        start(from, to, periodUs);
        return;
    }
    // The frame end seen is the one whose stretch the sighting meets, when
    // the stretches lie far enough apart to tell which.
    const double fromUs = us(from), toUs = us(to);
    const double last = std::floor((toUs - us(lo_)) / minUs_);
    const int index = last < 0 ? -1 : last > double(kFarthest) ? kFarthest : int(last);
    if (index < 0 || widthUs(index) >= minUs_) {
        start(from, to, periodUs);  // too uncertain to say which: placed anew, the period kept
        return;
    }
    const bool meets = latestUs(index) >= fromUs;
    if (meets && (index == 0 || latestUs(index - 1) < fromUs)) {
        place(index, fromUs, toUs);
    } else if (!meets) {
        forget();  // a frame end where the grid has none: its period is not ours either
        start(from, to, periodUs);
    }
}

void X518FrameGrid::precede(Time armed)
{
    const int index = firstAfter(armed);
    if (known_ && widthUs(index) < minUs_)
        place(index, earliestUs(index), us(armed));
}

void X518FrameGrid::confirm(Time armed, int n, Time from, Time to)
{
    if (known_)
        place(firstAfter(armed) + n, us(from), us(to));
}

void X518FrameGrid::place(int index, double fromUs, double toUs)
{
    const double lo = std::max(earliestUs(index), fromUs);
    const double hi = std::min(latestUs(index), toUs);
    if (lo > hi) {
        forget();  // the frame ended where the grid has none
        return;
    }
    if (index > 0) {
        // Index 0 ended within [us(lo_), 0], this one within [lo, hi]; the
        // first end placed within [us(firstLo_), us(firstHi_)] `periods`
        // earlier.
        const double periods = periodsSinceFirst_ + index;
        double minUs = std::max({minUs_, lo / index, (lo - us(firstHi_)) / periods});
        double maxUs = std::min({maxUs_, (hi - us(lo_)) / index, (hi - us(firstLo_)) / periods});
        if (minUs > maxUs) {
            forget();  // no one period fits every sighting
            return;
        }
        const double steady = periodUs_ * kSteadyPpm * kPpm;
        if (maxUs - minUs < 2 * steady) {
            const double mid = (minUs + maxUs) / 2;
            minUs = mid - steady;
            maxUs = mid + steady;
        }
        minUs_ = minUs;
        maxUs_ = maxUs;
        periodsSinceFirst_ = periods;
    }
    const Time newLo = at(lo), newHi = at(hi);
    lo_ = newLo;
    hi_ = newHi;
}
