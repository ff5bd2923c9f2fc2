// Key to repaint on the LCD: a route of front-panel keys through the pages,
// each key as the control pipe's `key` command posts it, from the home page
// of a box started afresh for every run (so each page opens for the first
// time, as after power-on). A key is timed from its posting until the GUI
// thread has nothing left to do: the key handled, the page opened or the
// focus moved, and the LCD's windows painted; as wall time and as the GUI
// thread's own CPU time over the same span (the CPU time counts only what
// the key made the GUI thread do, not what the machine's other work took
// from it). The limit is a frame of the LCD's 60 Hz, 16.7 ms.
//
// After the route's last key has opened its page, BACK closes it and the
// last key opens it again (the second opening), then a few ordinary keys
// act inside it: focus moves, and on the picture-quality page a value
// stepped (applied to the block at once).
//
// `open_ms` is the first opening (the route's last key), `reopen_ms` the
// second, `inside_ms` the slowest key inside the page, `slowest_key_ms`
// the slowest key of the whole run; each `_cpu_ms` the same in GUI-thread
// CPU time; every figure is the slowest of the runs. The iteration time is
// the first opening's. Every run forks a child that starts the whole
// program in-process, offscreen, on a box root of its own.
#include "app/global.h"
#include "app/main.h"
#include "bench/page_routes.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using page_routes::firstOpening;
using page_routes::kRoutes;
using page_routes::Route;
using page_routes::runKeys;
using page_routes::secondOpening;
using Clock = std::chrono::steady_clock;

constexpr int kStartSettleMs = 500;  // after the event loop starts, before the first key
constexpr int kKeySettleMs = 150;    // after a key, before the next
constexpr int kChildWaitMs = 60000;

// ---------------------------------------------------------------- the child: a box and its keys

// The CPU time the calling thread has run.
Clock::duration threadCpu()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

// Times a key on the GUI thread: from its posting to the first moment the
// event loop has nothing left to do once its release was delivered.
class KeyTimer {
public:
    void start()
    {
        posted_ = Clock::now();
        postedCpu_ = threadCpu();
        end_.arm();
    }
    // Milliseconds from the posting to idle, wall and GUI-thread CPU; -1
    // while not idle yet.
    double took() const { return end_.waiting() ? -1 : ms(idleAt_ - posted_); }
    double tookCpu() const { return end_.waiting() ? -1 : ms(idleCpu_ - postedCpu_); }

private:
    static double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
    Clock::time_point posted_, idleAt_;
    Clock::duration postedCpu_{}, idleCpu_{};
    page_routes::KeyEnd end_{[this] {
        idleAt_ = Clock::now();
        idleCpu_ = threadCpu();
    }};
};

struct KeyScript {
    const Route* route;
    int out;
    std::vector<const char*> keys = runKeys(*route);
    KeyTimer* timer = nullptr;
    size_t next = 0;
    std::ostringstream report{};

    void step()
    {
        if (next > 0) {
            report << keys[next - 1] << ' ' << timer->took() << ' ' << timer->tookCpu() << '\n';
            const bool opened = next - 1 == firstOpening(*route) || next - 1 == secondOpening(*route);
            if (opened && g_page_focus != route->page)
                report << "# key " << next - 1 << " leaves page " << int(g_page_focus) << ", not " << int(route->page)
                       << '\n';
        }
        if (next == keys.size()) {
            const std::string text = report.str();
            ssize_t n = ::write(out, text.data(), text.size());
            (void)n;
            ::_exit(0);  // the box's threads go with the process
        }
        timer->start();
        const std::string outcome = platform::runControlLine(std::string("key ") + keys[next++]);
        if (outcome.rfind("ok", 0) != 0)
            report << "# " << outcome << '\n';
        QTimer::singleShot(kKeySettleMs, [this] { step(); });
    }
};

[[noreturn]] void runChild(const Route& route, const std::string& root, int out)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    static KeyScript script{&route, out};
    page_routes::runRouteBox(root, [] {
        script.timer = new KeyTimer;
        QTimer::singleShot(kStartSettleMs, [] { page_routes::afterStartWarming([] { script.step(); }); });
    });
}

// ---------------------------------------------------------------- the parent

// Per key of a run, its wall and CPU milliseconds; empty when the child failed.
struct KeyTimes {
    std::vector<double> wall, cpu;
};

KeyTimes runRoute(const Route& route, std::string& why)
{
    char dir[] = "/tmp/kel-bench-pages-XXXXXX";
    int fds[2];
    if (!::mkdtemp(dir) || ::pipe(fds) != 0) {
        why = "no box root or pipe";
        return {};
    }
    const std::string root = dir;
    const pid_t child = ::fork();
    if (child < 0) {
        why = std::string("no child process: ") + std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
        return {};
    }
    if (child == 0) {
        ::close(fds[0]);
        runChild(route, root, fds[1]);
    }
    ::close(fds[1]);
    std::string text;
    char buf[4096];
    const auto deadline = Clock::now() + std::chrono::milliseconds(kChildWaitMs);
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (left <= 0 || ::poll(&p, 1, left) <= 0)
            break;
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, size_t(n));
    }
    ::close(fds[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    std::filesystem::remove_all(page_routes::runtimeFolder(root), ec);
    KeyTimes times;
    std::istringstream lines(text);
    std::string key;
    double wall = 0, cpu = 0;
    while (lines >> key) {
        if (key == "#") {
            std::getline(lines, why);
            return {};
        }
        lines >> wall >> cpu;
        times.wall.push_back(wall);
        times.cpu.push_back(cpu);
    }
    if (times.wall.size() != runKeys(route).size() ||
        std::any_of(times.wall.begin(), times.wall.end(), [](double v) { return v < 0; })) {
        why = "the box did not answer every key";
        return {};
    }
    return times;
}

// The slowest of `v` from `from` on.
double slowestFrom(const std::vector<double>& v, size_t from)
{
    return from < v.size() ? *std::max_element(v.begin() + long(from), v.end()) : 0;
}

void BM_Route(benchmark::State& state, const Route* route)
{
    std::map<std::string, double> slowest;
    const auto keep = [&](const std::string& name, double ms) { slowest[name] = std::max(slowest[name], ms); };
    for (auto _ : state) {
        std::string why;
        const KeyTimes t = runRoute(*route, why);
        if (t.wall.empty()) {
            state.SkipWithError(why.c_str());
            return;
        }
        state.SetIterationTime(t.wall[firstOpening(*route)] / 1000.0);
        for (const auto& [suffix, v] : {std::pair{"_ms", &t.wall}, std::pair{"_cpu_ms", &t.cpu}}) {
            keep(std::string("open") + suffix, (*v)[firstOpening(*route)]);
            keep(std::string("reopen") + suffix, (*v)[secondOpening(*route)]);
            keep(std::string("inside") + suffix, slowestFrom(*v, secondOpening(*route) + 1));
            keep(std::string("slowest_key") + suffix, slowestFrom(*v, 0));
        }
    }
    for (const auto& [name, ms] : slowest)
        state.counters[name] = ms;
}

}  // namespace

int main(int argc, char** argv)
{
    for (const Route& r : kRoutes)
        benchmark::RegisterBenchmark((std::string("Route/") + r.name).c_str(), BM_Route, &r)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
