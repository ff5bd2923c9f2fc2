// The send list of a control link: frames that other threads (the FPGA
// manager with a receiving card's reply) hand to the link, each with the
// peer it goes to, and the wake-up through which the link's thread, blocked
// in poll(), learns of them or of a request to stop. The link's thread
// alone writes to its port.
#pragma once

#include "links/link_peer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

class send_list {
public:
    // Frames waiting beyond this are dropped, oldest first: a link nobody
    // reads must not hoard memory.
    static constexpr size_t kMaxQueued = 64;

    send_list();
    ~send_list();
    send_list(const send_list&) = delete;
    send_list& operator=(const send_list&) = delete;

    struct Queued {
        std::vector<uint8_t> frame;
        LinkPeer peer;
    };

    // Any thread: queues one encoded frame for `peer` and wakes the link's thread.
    void push(std::vector<uint8_t> frame, const LinkPeer& peer);
    // Any thread: asks the link's thread to end.
    void requestStop();
    bool stopping() const { return stop_.load(); }
    // Once the thread has ended: the list may serve a new thread.
    void clearStop() { stop_ = false; }
    // Link thread: the descriptor to poll for POLLIN.
    int wakeFd() const { return wakeFd_; }
    // Any thread: whether frames wait for take().
    bool waiting() const { return waiting_.load(std::memory_order_acquire); }
    // Link thread: moves every queued frame into `into`, which is empty;
    // the two lists trade their storage, so nothing is allocated.
    void take(std::deque<Queued>& into);
    // Link thread: clears the wake-up after poll() reported it. The loop then
    // looks at stopping() and take() again before it polls, so a wake-up is
    // never lost: push() and requestStop() change the state before they wake.
    void clearWake();
    // Link thread: sleeps until woken or `ms` milliseconds passed (-1: no
    // limit), and clears the wake-up; queued frames stay for take().
    void waitWake(int ms);
    // Frames dropped because the list was full.
    size_t dropped() const { return dropped_.load(); }

private:
    void wake();

    std::mutex mutex_;
    std::deque<Queued> queue_;
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> waiting_{false};
    std::atomic<size_t> dropped_{0};
};
