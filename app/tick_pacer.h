// Paces a polling worker thread on the 10 ms tick grid.
//
// A worker runs one pass, then calls pace(n) with the number of ticks until
// it must look at its hardware again: 1 while it has work in hand, more when
// nothing is due sooner. Any other thread that hands the worker something to
// do (a raised flag, a request) calls wake(), and the next pass starts at once,
// so requests are served within a tick while an idle box wakes its CPU
// rarely. Wake-ups fall on the same 10 ms boundaries for every worker.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

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

// A worker thread that runs one pass after another, paced by a TickPacer,
// until it is stopped (the box never stops its workers; tests do).
class PacedWorker {
public:
    using Pass = std::function<void()>;
    using Due = std::function<int()>;  // ticks until the next pass is due

    ~PacedWorker() { stop(); }
    // Starts the thread under the kernel name `name`; false when it cannot
    // be started. A running worker is left as it is.
    bool start(const char* name, Pass pass, Due due);
    void stop();
    void wake() { pacer_.wake(); }
    bool running() const { return thread_.joinable(); }

private:
    TickPacer pacer_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};
