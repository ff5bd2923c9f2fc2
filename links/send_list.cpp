#include "links/send_list.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

send_list::send_list() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

send_list::~send_list()
{
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void send_list::wake()
{
    const uint64_t one = 1;
    ssize_t n = ::write(wakeFd_, &one, sizeof one);
    (void)n;  // a full counter is still a pending wake-up
}

void send_list::push(std::vector<uint8_t> frame, const LinkPeer& peer)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kMaxQueued) {
            queue_.pop_front();
            ++dropped_;
        }
        queue_.push_back({std::move(frame), peer});
        waiting_.store(true, std::memory_order_release);
    }
    wake();
}

void send_list::requestStop()
{
    stop_ = true;
    wake();
}

void send_list::clearWake()
{
    uint64_t count;
    ssize_t n = ::read(wakeFd_, &count, sizeof count);
    (void)n;  // EAGAIN: nothing was signalled
}

void send_list::take(std::deque<Queued>& into)
{
    std::lock_guard<std::mutex> lock(mutex_);
    into.swap(queue_);
    waiting_.store(false, std::memory_order_release);
}

void send_list::waitWake(int ms)
{
    pollfd p{wakeFd_, POLLIN, 0};
    while (::poll(&p, 1, ms) < 0 && errno == EINTR) {
    }
    clearWake();
}
