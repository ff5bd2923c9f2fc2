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
// A flag already up at the first read after arming teaches nothing on its
// own (the frame may have ended as the request was armed). A grid holds for
// the frame period it was learnt with and until its owner forgets it (a new
// input or output timing). Our clock and the chip's may run kDriftPpm apart,
// so each frame of extrapolation widens where a frame end can lie; every
// sighting narrows it again and bounds the period as our clock sees it, the
// more tightly the more frames lie between two sightings (never below
// kSteadyPpm, what a crystal may wander meanwhile). After a long pause, when
// the frame end has become too uncertain for one look, the wait polls only
// across the stretch where it can lie; once that stretch spans a whole
// period, from the arming.
#pragma once

#include <algorithm>
#include <chrono>
#include <thread>

class X518FrameGrid {
public:
    using Clock = std::chrono::steady_clock;
    using Time = Clock::time_point;
    static constexpr double kDriftPpm = 100;
    static constexpr double kSteadyPpm = 5;

    // The latest moment at which the n-th frame end after `armed` (0: the
    // first) has come, for frames of `periodMs`; Time{} when the grid
    // cannot tell within one look (not learnt, learnt with another period,
    // or not seen for so long that the end has become too uncertain).
    Time latestEnd(Time armed, double periodMs, int n) const;
    // Where a wait the grid cannot serve with one look starts polling: the
    // earliest moment its frame can end, or `armed` when the grid cannot
    // tell which frame end comes next.
    Time firstPoll(Time armed, double periodMs) const;
    // Whether the first frame end the grid places after `armed` may have
    // come just before it: then the wait's frame is the one after.
    bool mayPrecede(Time armed) const;
    // The first frame end the grid places after `armed` came before it (a
    // look there found the flag still clear).
    void precede(Time armed);
    // A polling wait read the flag clear at `from` (or armed it then) and up
    // at `to`.
    void learn(Time from, Time to, double periodMs);
    // The grid's n-th look after `armed` found the flag up at `to`; it was
    // last clear (or not yet armed) at `from`.
    void confirm(Time armed, int n, Time from, Time to);
    void forget()
    {
        known_ = false;
        periodUs_ = 0;
    }

    // The reads of one wait armed at `armed` for frames of `periodMs`: at
    // the grid's looks while it can tell, else once a millisecond from
    // `firstPoll` on. `read(first)` answers 1 when the frame came, -1 when
    // there is nothing to wait for, 0 when not yet. The wait ends on 1 or
    // -1, after `maxPolls` reads past the first, or once `giveUp` has
    // passed; it returns the last answer and counts the later reads in
    // `polls`.
    template <class Read>
    int await(Time armed, double periodMs, Time giveUp, int maxPolls, Read read, int& polls);
    static constexpr int kPollMs = 1;
    bool known() const { return known_; }

private:
    // The frame ends the grid places: index 0 lies in [lo_, hi_], index i
    // i periods (minUs_..maxUs_) after it. Times in us from hi_.
    double earliestUs(int index) const;
    double latestUs(int index) const;
    double widthUs(int index) const { return latestUs(index) - earliestUs(index); }
    bool tells(double periodUs) const;
    int firstAfter(Time armed) const;
    Time latestFirst(Time armed) const;
    void place(int index, double fromUs, double toUs);
    void start(Time from, Time to, double periodUs);
    double us(Time t) const { return std::chrono::duration<double, std::micro>(t - hi_).count(); }
    Time at(double usFromHi) const;

    bool known_ = false;
    Time lo_{}, hi_{};
    // The first frame end placed since the grid was learnt, and how many
    // periods lie between it and index 0: the longer that span, the more
    // tightly two sightings bound the period.
    Time firstLo_{}, firstHi_{};
    double periodsSinceFirst_ = 0;
    double periodUs_ = 0;         // the period asked for
    double minUs_ = 0, maxUs_ = 0;  // the period as our clock sees it lies between
};

template <class Read>
int X518FrameGrid::await(Time armed, double periodMs, Time giveUp, int maxPolls, Read read, int& polls)
{
    Time look = latestEnd(armed, periodMs, 0);
    bool byGrid = look != Time{};
    Time pollFrom = byGrid ? armed : firstPoll(armed, periodMs);
    bool preceded = false;
    bool sawClear = false;
    Time clearAt = armed;
    for (polls = 0;; ++polls) {
        const Time next = byGrid ? look
                          : polls == 0 ? pollFrom
                                       : std::max(pollFrom, Clock::now() + std::chrono::milliseconds(kPollMs));
        if (next > armed)
            std::this_thread::sleep_until(std::min(next, giveUp));
        const Time before = Clock::now();
        const int answer = read(polls == 0);
        const Time after = Clock::now();
        if (answer > 0 && byGrid)
            confirm(armed, 0, clearAt, after);
        else if (answer > 0 && (sawClear || known_))
            learn(clearAt, after, periodMs);
        if (answer != 0 || polls >= maxPolls || after >= giveUp)
            return answer;
        sawClear = true;
        clearAt = before;
        if (!preceded && mayPrecede(armed) && before >= latestFirst(armed)) {
            // The frame end the grid placed first after the arming came
            // before it: the grid places it there now, and the wait's frame
            // is the next.
            precede(armed);
            preceded = true;
            look = latestEnd(armed, periodMs, 0);
            byGrid = look != Time{};
            pollFrom = firstPoll(armed, periodMs);
        } else if (byGrid) {
            forget();
            byGrid = false;
            pollFrom = armed;
        }
    }
}
