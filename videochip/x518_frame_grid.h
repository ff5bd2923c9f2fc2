// When a frame source of the chip (an input channel, the output) turns its
// frames over, learnt from the frame waits.
//
// A frame wait arms the chip's frame request and reads the frame flag until
// the next frame has passed. The flag stays up once the frame has passed,
// so a read tells whether the frame end came between the arming and the
// read: a wait never ends before its frame, and a read a little late only
// ends the wait a little late. A wait that sees the flag go from clear to
// set between two reads knows that frame's end to within those reads, and
// with the frame period the ends after it: the next waits sleep until the
// latest moment their frame can have ended and read the flag once. A look
// that finds no frame where the grid says one has passed makes the wait
// forget the grid and learn it anew.
//
// The request takes effect somewhere in its write, which ends before the
// wait begins: a frame that ends meanwhile may raise the flag or not. So a
// flag up places the end after the arming, and a flag still clear at the
// end of a stretch places it before the wait began, not before the arming.
//
// A flag already up at a read made at once after the arming teaches nothing
// on its own (the frame may have ended as the request was armed). A grid
// holds for the frame period it was learnt with and until its owner
// forgets it (a new input or output timing). Our clock and the chip's may
// run kDriftPpm apart, so each frame of extrapolation widens where a frame
// end can lie; every sighting narrows it again and bounds the period as our
// clock sees it, the more tightly the more frames lie between two sightings
// (never below kSteadyPpm, what a crystal may wander meanwhile). A sighting
// counts the frames since the last one as long as it meets the stretch of
// one frame end only, even where the stretches of neighbouring ends have
// grown into each other. A read that woke so late that the next end may
// have come is such a sighting too, not one of the end its stretch placed;
// one that meets more stretches than one and is too wide to place the
// frames anew (a read woke late) leaves the grid as it was.
//
// A look at the end of a stretch wider than an eighth of a period that lies
// wholly after the arming goes to its middle first: half the time the wait
// ends sooner, and either way the end is placed twice as closely, so the
// stretch stays narrow enough for one look across the next pause. Where
// the frame end has become too uncertain for one look (after a long pause;
// from the arming on when the grid places no end), the wait reads the
// stretch where it can lie at even steps of at most kSparseStep of a
// period: a few reads, and the wait ends at most that long after its
// frame, as a look at the end of a stretch a quarter period wide may.
// Without a grid or a period, or once a frame is overdue, it reads once
// every kPollMs: a grid's first sighting is as close as it can be, so the
// sightings after it bound the period the sooner.
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
    static constexpr double kSparseStep = 0.2;  // of a period: the widest step of the reads across a stretch
    static constexpr int kPollMs = 1;

    // Where the frame end that a wait armed at `armed` waits for can lie,
    // the flag having been read clear at `clear` (the arming, before the
    // first read): between `from` and `to`, the grid's end `index`; -1 when
    // the grid places no end there, and `to` is a period after the arming
    // (or, without a grid or a period or once that has passed, a poll later).
    struct Stretch {
        Time from, to;
        int index = -1;
    };
    Stretch stretch(Time armed, Time clear, double periodMs) const;
    // When the next read of `s` comes: at its end when one look covers it,
    // else the first of even steps of at most kSparseStep of a period.
    static Time nextRead(const Stretch& s, double periodMs, bool split);
    // A read at or past the end of `s` found the flag clear: the end the
    // grid placed there came before the request took effect, at `inEffect`
    // at the latest (or the grid was wrong).
    void missed(const Stretch& s, Time inEffect);
    // A read at `to` found the flag up; it was clear (or not yet armed) at
    // `from`, and `s` was where the wait looked for it.
    void seen(const Stretch& s, Time from, Time to, double periodMs);
    // A wait saw a frame end between `from` and `to`.
    void learn(Time from, Time to, double periodMs);
    void forget()
    {
        known_ = false;
        periodUs_ = 0;
    }
    bool known() const { return known_; }

    struct SteadyTimer {
        Time now() const { return Clock::now(); }
        void sleepUntil(Time t) const { std::this_thread::sleep_until(t); }
    };

    // The reads of one wait armed at `armed` (as the request's write began;
    // the write has ended by the call) for frames of `periodMs`
    // (0: unknown), as `stretch` and `nextRead` place them; `atOnce`: the
    // first read comes at the arming. `read(first)` answers 1 when the
    // frame came, -1 when there is nothing to wait for, 0 when not yet. The
    // wait ends on 1 or -1, after `maxPolls` reads past the first, or once
    // `giveUp` has passed; it returns the last answer and counts the later
    // reads in `polls`. `timer` tells the time and sleeps.
    template <class Read, class Timer = SteadyTimer>
    int await(Time armed, double periodMs, Time giveUp, int maxPolls, bool atOnce, Read read, int& polls,
              Timer timer = {});

private:
    // The frame ends the grid places: index 0 lies in [lo_, hi_], index i
    // i periods (minUs_..maxUs_) after it. Times in us from hi_.
    double earliestUs(int index) const;
    double latestUs(int index) const;
    double widthUs(int index) const { return latestUs(index) - earliestUs(index); }
    bool tells(double periodUs) const;
    // Whether a sighting from `from` to `to` is narrow enough to place the
    // frames of `periodUs` on its own.
    static bool placesFrames(Time from, Time to, double periodUs);
    int firstAfter(Time t) const;
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
    double periodUs_ = 0;           // the period asked for
    double minUs_ = 0, maxUs_ = 0;  // the period as our clock sees it lies between
};

template <class Read, class Timer>
int X518FrameGrid::await(Time armed, double periodMs, Time giveUp, int maxPolls, bool atOnce, Read read, int& polls,
                         Timer timer)
{
    const Time inEffect = timer.now();  // the request's write has ended
    Time clear = armed;
    bool teaches = false;  // whether `clear` is a moment the flag was seen clear
    for (polls = 0;; ++polls) {
        const Stretch s = stretch(armed, clear, periodMs);
        const Time next = polls == 0 && atOnce ? armed : nextRead(s, periodMs, polls == 0 && s.from > armed);
        if (next > timer.now())
            timer.sleepUntil(std::min(next, giveUp));
        const Time before = timer.now();
        const int answer = read(polls == 0);
        const Time after = timer.now();
        if (answer > 0 && (teaches || next > armed || known_))
            seen(s, clear, after, periodMs);
        if (answer != 0 || polls >= maxPolls || after >= giveUp)
            return answer;
        if (s.index >= 0 && before >= s.to)
            missed(s, inEffect);
        teaches = true;
        clear = before;
    }
}
