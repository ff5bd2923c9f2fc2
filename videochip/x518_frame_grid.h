// When a frame source of the chip (an input channel, the output) turns its
// frames over, learnt from the frame waits.
//
// A frame wait arms the chip's frame request and reads the frame flag until
// the next frame has passed. Read once a millisecond from the arming on, the
// flag costs a transfer for every millisecond of the frame. A wait that sees
// the flag go from clear to set between two reads knows that frame's end to
// within those reads, and with the frame period the ends after it: the next
// waits sleep until the latest moment their frame can have ended and read
// the flag once. The flag stays up once the frame has passed, so a look a
// little late only returns a little late; a look that finds no frame where
// the grid says one has passed makes the wait forget the grid and poll once
// a millisecond again, learning it anew.
//
// A flag already up at the first read after arming teaches nothing (the
// frame may have ended as the request was armed). A grid holds for the
// frame period it was learnt with, and for kKeptMs after a frame end was
// last seen between two reads: our clock and the chip's may run kDriftPpm
// apart, which each frame of extrapolation adds to the uncertainty.
#pragma once

#include <algorithm>
#include <chrono>
#include <thread>

class X518FrameGrid {
public:
    using Clock = std::chrono::steady_clock;
    using Time = Clock::time_point;
    static constexpr double kDriftPpm = 100;
    static constexpr int kKeptMs = 5000;

    // The latest moment at which the n-th frame end after `armed` (0: the
    // first) has come, for frames of `periodMs`; Time{} when the grid
    // cannot tell (not learnt, learnt with another period, or too long ago).
    Time latestEnd(Time armed, double periodMs, int n) const;
    // Whether the first frame end the grid places after `armed` may have
    // come just before it: then the wait's frame is the one after.
    bool mayPrecede(Time armed) const;
    // A polling wait read the flag clear at `from` and up at `to`.
    void learn(Time from, Time to, double periodMs);
    // The grid's n-th look after `armed` found the flag up at `to`; it was
    // last clear (or not yet armed) at `from`.
    void confirm(Time armed, int n, Time from, Time to);
    void forget() { known_ = false; }

    // The reads of one wait armed at `armed` for frames of `periodMs`: at
    // the grid's looks while it can tell, else at once and then
    // once a millisecond. `read(first)` answers 1 when the frame came, -1
    // when there is nothing to wait for, 0 when not yet. The wait ends on 1
    // or -1, after `maxPolls` reads past the first, or once `giveUp` has
    // passed; it returns the last answer and counts the later reads in
    // `polls`.
    template <class Read>
    int await(Time armed, double periodMs, Time giveUp, int maxPolls, Read read, int& polls);
    static constexpr int kPollMs = 1;
    bool known() const { return known_; }

private:
    // The frame ends the grid places: index 0 lies in [lo_, hi_].
    double earliestUs(int index) const;
    double latestUs(int index) const;
    int firstAfter(Time armed) const;
    double us(Time t) const { return std::chrono::duration<double, std::micro>(t - hi_).count(); }
    Time at(double usFromHi) const;

    bool known_ = false;
    Time lo_{}, hi_{};
    Time learnt_{};
    double periodUs_ = 0;
};

template <class Read>
int X518FrameGrid::await(Time armed, double periodMs, Time giveUp, int maxPolls, Read read, int& polls)
{
    int n = 0;
    Time look = latestEnd(armed, periodMs, n);
    bool byGrid = look != Time{};
    bool sawClear = false;
    Time clearAt = armed;
    for (polls = 0;; ++polls) {
        if (byGrid)
            std::this_thread::sleep_until(std::min(look, giveUp));
        else if (polls > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        const Time before = Clock::now();
        const int answer = read(polls == 0);
        const Time after = Clock::now();
        if (answer > 0 && byGrid)
            confirm(armed, n, clearAt, after);
        else if (answer > 0 && sawClear)
            learn(clearAt, after, periodMs);
        if (answer != 0 || polls >= maxPolls || after >= giveUp)
            return answer;
        sawClear = true;
        clearAt = before;
        if (byGrid && n == 0 && mayPrecede(armed)) {
            look = latestEnd(armed, periodMs, ++n);
        } else if (byGrid) {
            forget();
            byGrid = false;
        }
    }
}
