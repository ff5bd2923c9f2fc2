#include "videochip/x518_frame_grid.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPpm = 1e-6;
constexpr double kUsPerMs = 1000.0;
constexpr double kSamePeriod = 1e-3;    // a period this close (relative) is the one learnt
constexpr double kWidestSight = 0.25;   // of a period: a wider stretch places no frame end for one look
constexpr int kFarthest = 1 << 30;      // frames: a grid this old places nothing anyway
constexpr double kSplitWidest = 0.125;  // of a period: a placed stretch wider than this is split by a first look
constexpr double kStepSlack = 1e-3;     // of a step: a stretch this much over a whole number of steps takes no more

int clampIndex(double n)
{
    return n < 0 ? 0 : n > double(kFarthest) ? kFarthest : int(n);
}

X518FrameGrid::Clock::duration toDuration(double us)
{
    return std::chrono::duration_cast<X518FrameGrid::Clock::duration>(std::chrono::duration<double, std::micro>(us));
}

}  // namespace

double X518FrameGrid::earliestUs(int index) const
{
    return us(lo_) + index * minUs_;
}

double X518FrameGrid::latestUs(int index) const
{
    return index * maxUs_;
}

X518FrameGrid::Time X518FrameGrid::at(double usFromHi) const
{
    return hi_ + toDuration(usFromHi);
}

bool X518FrameGrid::tells(double periodUs) const
{
    return known_ && periodUs > 0 && std::abs(periodUs - periodUs_) <= periodUs_ * kSamePeriod;
}

int X518FrameGrid::firstAfter(Time t) const
{
    return std::max(1, clampIndex(std::floor(us(t) / latestUs(1)) + 1));
}

X518FrameGrid::Stretch X518FrameGrid::stretch(Time armed, Time clear, double periodMs) const
{
    const double periodUs = periodMs * kUsPerMs;
    if (tells(periodUs)) {
        const int index = firstAfter(clear);
        if (widthUs(index) < minUs_)
            return {std::max(at(earliestUs(index)), clear), at(latestUs(index)), index};
    }
    const Time poll = clear + std::chrono::milliseconds(kPollMs);
    if (periodUs <= 0 || !known_)
        return {clear, poll, -1};
    // The first frame end after the arming comes within a period of it.
    const Time bound = armed + toDuration(periodUs * (1.0 + kDriftPpm * kPpm));
    return clear < bound ? Stretch{clear, bound, -1} : Stretch{clear, poll, -1};
}

X518FrameGrid::Time X518FrameGrid::nextRead(const Stretch& s, double periodMs, bool split)
{
    const double periodUs = periodMs * kUsPerMs;
    const double widthUs = std::chrono::duration<double, std::micro>(s.to - s.from).count();
    if (periodUs <= 0 || widthUs <= periodUs * kWidestSight)
        return split && s.index >= 0 && widthUs > periodUs * kSplitWidest ? s.from + toDuration(widthUs / 2) : s.to;
    const double steps = std::max(1.0, std::ceil(widthUs / (periodUs * kSparseStep) - kStepSlack));
    return s.from + toDuration(widthUs / steps);
}

void X518FrameGrid::missed(const Stretch& s, Time inEffect)
{
    if (!known_ || s.index < 0)
        return;
    if (at(earliestUs(s.index)) <= inEffect)
        place(s.index, earliestUs(s.index), us(inEffect));
    else
        forget();  // the grid placed an end after the request took effect, and none came
}

void X518FrameGrid::seen(const Stretch& s, Time from, Time to, double periodMs)
{
    // A read that came as late as the next end's earliest moment (it woke
    // late) may have seen that end: the sighting counts the frames itself.
    if (s.index >= 0 && known_ && us(to) < earliestUs(s.index + 1))
        place(s.index, us(from), us(to));
    else
        learn(from, to, periodMs);
}

bool X518FrameGrid::placesFrames(Time from, Time to, double periodUs)
{
    return periodUs > 0 && to >= from &&
           std::chrono::duration<double, std::micro>(to - from).count() <= periodUs * kWidestSight;
}

void X518FrameGrid::start(Time from, Time to, double periodUs)
{
    known_ = placesFrames(from, to, periodUs);
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
    // The frame ends whose stretches the sighting meets: the first whose
    // latest moment is not before it, the last whose earliest is not after it.
    const double fromUs = us(from), toUs = us(to);
    const int first = clampIndex(std::ceil(fromUs / maxUs_));
    const double lastEnd = std::floor((toUs - us(lo_)) / minUs_);
    const int last = lastEnd < 0 ? -1 : clampIndex(lastEnd);
    if (last < first) {
        forget();  // a frame end where the grid has none: its period is not ours either
        start(from, to, periodUs);
    } else if (last > first) {
        // It may be either: placed anew, the period kept. A sighting too
        // wide to place the frames (a read that woke late) agrees with the
        // grid and tells no more: the grid stays as it is.
        if (placesFrames(from, to, periodUs))
            start(from, to, periodUs);
    } else {
        place(first, fromUs, toUs);
    }
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
