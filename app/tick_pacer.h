// Paces a polling worker thread on the 10 ms tick grid.
//
// A worker runs one pass, then calls pace(n) with the number of ticks until
// it must look at its hardware again: 1 while it has work in hand, more when
// nothing is due sooner. Any other thread that hands the worker something to
// do (a raised flag, a request) calls wake(), and the next pass starts at once,
// so requests are served within a tick while an idle box wakes its CPU
// rarely. Wake-ups fall on the same 10 ms boundaries for every worker.
#pragma once

#include <condition_variable>
#include <mutex>

class TickPacer {
public:
    static constexpr int kTickMs = 10;

    // Any thread: start the worker's next pass now.
    void wake();
    // The worker: sleep until `ticks` tick boundaries have passed (at least
    // one) or until woken; a wake that came during the pass returns at once.
    void pace(int ticks);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool woken_ = false;
};
