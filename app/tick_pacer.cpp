#include "app/tick_pacer.h"

#include "platform/platform.h"

#include <chrono>
#include <system_error>

void TickPacer::wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    cv_.notify_one();
}

void TickPacer::pace(int ticks)
{
    using namespace std::chrono;
    const auto tick = milliseconds(kTickMs);
    const auto now = steady_clock::now().time_since_epoch();
    const auto boundary = duration_cast<milliseconds>(now) / tick * tick;
    const auto deadline = steady_clock::time_point(boundary + tick * (ticks < 1 ? 1 : ticks));
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_until(lock, deadline, [this] { return woken_; });
    woken_ = false;
}

bool PacedWorker::start(const char* name, Pass pass, Due due)
{
    if (thread_.joinable())
        return true;
    stop_ = false;
    try {
        thread_ = std::thread([this, name, pass = std::move(pass), due = std::move(due)] {
            platform::nameThread(name);
            while (!stop_.load()) {
                pass();
                pacer_.pace(due());
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void PacedWorker::stop()
{
    if (!thread_.joinable())
        return;
    stop_ = true;
    pacer_.wake();
    thread_.join();
}
