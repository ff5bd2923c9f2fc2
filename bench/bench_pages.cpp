// Key to repaint on the LCD: a route of front-panel keys through the pages,
// each key as the control pipe's `key` command posts it, from the home page
// of a box started afresh for every run (so each page opens for the first
// time, as after power-on). A key is timed from its posting until the GUI
// thread has nothing left to do: the key handled, the page opened or the
// focus moved, and the LCD's windows painted. The limit is a frame of the
// LCD's 60 Hz, 16.7 ms.
//
// `open_ms` is the route's last key (the one that opens the page named),
// `slowest_key_ms` the slowest key of the route; the iteration time is the
// last key's. Every run forks a child that starts the whole program
// in-process, offscreen, on a box root of its own.
#include "app/global.h"
#include "app/main.h"
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
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStartSettleMs = 500;  // after the event loop starts, before the first key
constexpr int kKeySettleMs = 150;    // after a key, before the next
constexpr int kChildWaitMs = 60000;

struct Route {
    const char* name;
    PAGE_FOCUS page;                // the page the route ends on
    std::vector<const char*> keys;  // from the home page; the last opens the page
};

// The main menu's entries lie in the order device information, input
// choice, user modes, options; the options page's in the order output
// settings, input crop, window layout, communication, picture quality,
// test patterns.
const Route kRoutes[] = {
    {"user_modes_by_mode_key", PAGE_USER_MODES, {"mode"}},
    {"main_menu", PAGE_MAIN_MENU, {"ok"}},
    {"device_info", PAGE_DEVICE_INFO, {"ok", "ok"}},
    {"input_choice", PAGE_INPUT_CHOICE, {"ok", "right", "ok"}},
    {"user_modes_from_menu", PAGE_USER_MODES, {"ok", "right", "right", "ok"}},
    {"options", PAGE_OPTIONS, {"ok", "right", "right", "right", "ok"}},
    {"output_settings", PAGE_OUTPUT_SETTINGS, {"ok", "right", "right", "right", "ok", "ok"}},
    {"input_crop", PAGE_INPUT_CROP, {"ok", "right", "right", "right", "ok", "right", "ok"}},
    {"window_layout", PAGE_WINDOW_LAYOUT, {"ok", "right", "right", "right", "ok", "right", "right", "ok"}},
    {"communication", PAGE_COMMUNICATION, {"ok", "right", "right", "right", "ok", "right", "right", "right", "ok"}},
    {"picture_quality", PAGE_PICTURE_QUALITY_MENU, {"ok", "right", "right", "right", "ok", "right", "right", "right", "right", "ok"}},
    {"test_patterns", PAGE_TEST_PATTERNS, {"ok", "right", "right", "right", "ok", "right", "right", "right", "right", "right", "ok"}},
};

// ---------------------------------------------------------------- the child: a box and its keys

// Watches the GUI thread: a key's release delivered, then the first moment
// the event loop has nothing left to do.
class KeyTimer : public QObject {
public:
    KeyTimer()
    {
        qApp->installEventFilter(this);
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                         [this] { idle(); });
    }
    void start()
    {
        posted_ = Clock::now();
        released_ = false;
        waiting_ = true;
    }
    // Milliseconds from the posting to idle; -1 while not idle yet.
    double took() const
    {
        return waiting_ ? -1 : std::chrono::duration<double, std::milli>(idleAt_ - posted_).count();
    }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (waiting_ && e->type() == QEvent::KeyRelease)
            released_ = true;
        return false;
    }

private:
    void idle()
    {
        if (!waiting_ || !released_)
            return;
        idleAt_ = Clock::now();
        waiting_ = false;
    }
    Clock::time_point posted_, idleAt_;
    bool waiting_ = false, released_ = false;
};

struct KeyScript {
    const Route* route;
    int out;
    KeyTimer* timer = nullptr;
    size_t next = 0;
    std::ostringstream report{};

    void step()
    {
        if (next > 0)
            report << route->keys[next - 1] << ' ' << timer->took() << '\n';
        if (next == route->keys.size()) {
            if (g_page_focus != route->page)
                report << "# the route ends on page " << int(g_page_focus) << ", not " << int(route->page) << '\n';
            const std::string text = report.str();
            ssize_t n = ::write(out, text.data(), text.size());
            (void)n;
            ::_exit(0);  // the box's threads go with the process
        }
        timer->start();
        const std::string outcome = platform::runControlLine(std::string("key ") + route->keys[next++]);
        if (outcome.rfind("ok", 0) != 0)
            report << "# " << outcome << '\n';
        QTimer::singleShot(kKeySettleMs, [this] { step(); });
    }
};

[[noreturn]] void runChild(const Route& route, const std::string& root, int out)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    platform::sim::resetBox(root);
    const unsigned pid = static_cast<unsigned>(::getpid());
    platform::sim::setBoxAddress("127.77." + std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(2 + pid % 250));
    platform::sim::setRebootHandler([] {});
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    g_debugSwitch = 0;
    static KeyScript script{&route, out};
    QTimer::singleShot(0, [] {
        script.timer = new KeyTimer;
        QTimer::singleShot(kStartSettleMs, [] { script.step(); });
    });
    int argc = 1;
    char name[] = "kelR54N";
    char* argv[] = {name, nullptr};
    kelR54N_main(argc, argv, StartupOptions{false});
    ::_exit(2);
}

// ---------------------------------------------------------------- the parent

// Per key of the route, its milliseconds; empty when the child failed.
std::vector<double> runRoute(const Route& route, std::string& why)
{
    char dir[] = "/tmp/kel-bench-pages-XXXXXX";
    int fds[2];
    if (!::mkdtemp(dir) || ::pipe(fds) != 0) {
        why = "no box root or pipe";
        return {};
    }
    const std::string root = dir;
    const pid_t child = ::fork();
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
    std::vector<double> ms;
    std::istringstream lines(text);
    std::string key;
    double value = 0;
    while (lines >> key) {
        if (key == "#") {
            std::getline(lines, why);
            return {};
        }
        lines >> value;
        ms.push_back(value);
    }
    if (ms.size() != route.keys.size() || std::any_of(ms.begin(), ms.end(), [](double v) { return v < 0; })) {
        why = "the box did not answer every key";
        return {};
    }
    return ms;
}

void BM_Route(benchmark::State& state, const Route* route)
{
    double open = 0, slowest = 0;
    for (auto _ : state) {
        std::string why;
        const std::vector<double> ms = runRoute(*route, why);
        if (ms.empty()) {
            state.SkipWithError(why.c_str());
            return;
        }
        state.SetIterationTime(ms.back() / 1000.0);
        open = std::max(open, ms.back());
        slowest = std::max(slowest, *std::max_element(ms.begin(), ms.end()));
    }
    state.counters["open_ms"] = open;
    state.counters["slowest_key_ms"] = slowest;
}

}  // namespace

int main(int argc, char** argv)
{
    for (const Route& r : kRoutes)
        benchmark::RegisterBenchmark((std::string("FirstOpen/") + r.name).c_str(), BM_Route, &r)
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
