#include "app/file_copy.h"

#include "platform/box_state.h"
#include "platform/platform.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace filecopy {

namespace {

struct Job {
    std::string from;
    std::string to;
    size_t largest = 0;
    QObject* context = nullptr;
    Done done;
};

// The copies waiting and the thread that makes them; it waits on its
// condition variable while there are none. The box never stops it; tests
// do, with every thread, and a copy not made by then is dropped.
struct Copier {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Job> jobs;
    std::thread thread;
    bool stopping = false;

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            jobs.clear();
        }
        cv.notify_all();
        if (thread.joinable())
            thread.join();
        std::lock_guard<std::mutex> lock(mutex);
        stopping = false;
    }
};

Copier& copier()
{
    static auto* c = new Copier;  // lives as long as the process
    return *c;
}

Result copy(const Job& job)
{
    std::string bytes;
    if (platform::readFileUpTo(job.from, bytes, job.largest) != platform::ReadResult::Read)
        return Result::NothingToCopy;
    const size_t slash = job.to.rfind('/');
    if (slash != std::string::npos && slash > 0)
        platform::makeDirs(job.to.substr(0, slash));
    return platform::writeFileAtomic(job.to, bytes) ? Result::Copied : Result::Failed;
}

void run(Copier& c)
{
    platform::nameThread("file-copy");
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(c.mutex);
            c.cv.wait(lock, [&] { return c.stopping || !c.jobs.empty(); });
            if (c.stopping)
                return;
            job = std::move(c.jobs.front());
            c.jobs.pop_front();
        }
        const Result result = copy(job);
        QMetaObject::invokeMethod(
            job.context, [done = std::move(job.done), result] { done(result); }, Qt::QueuedConnection);
    }
}

}  // namespace

void post(const std::string& from, const std::string& to, size_t largest, QObject* context, Done done)
{
    Copier& c = copier();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.jobs.push_back(Job{from, to, largest, context, std::move(done)});
    if (!c.thread.joinable()) {
        c.thread = std::thread(run, std::ref(c));
        boxstate::keepUntilPutBack(boxstate::Step::StopThreads, [] { copier().stop(); });
    }
    c.cv.notify_one();
}

}  // namespace filecopy
