// The routes of front-panel keys the page benches take (bench/bench_pages,
// bench/bench_counts): from the home page to a page, which then closes with
// BACK and opens again (its second opening), and a few keys inside it.
#pragma once

#include "app/global.h"
#include "app/main.h"
#include "platform/sim/sim.h"
#if __has_include("app/page_warming.h")
#include "app/page_warming.h"
#define KEL_PAGE_ROUTES_WARMING 1
#endif

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace page_routes {

struct Route {
    const char* name;
    PAGE_FOCUS page;                  // the page the route ends on
    std::vector<const char*> keys;    // from the home page; the last opens the page
    std::vector<const char*> inside;  // keys inside the page, after it was opened again
};

// Focus moves inside a page.
inline const std::vector<const char*> kMoves = {"right", "right", "left"};

// The main menu's entries lie in the order device information, input
// choice, user modes, options; the options page's in the order output
// settings, input crop, window layout, communication, picture quality,
// test patterns; the picture-quality menu's first entry is the picture
// quality page, whose first row is the brightness.
inline const Route kRoutes[] = {
    {"user_modes_by_mode_key", PAGE_USER_MODES, {"mode"}, kMoves},
    {"main_menu", PAGE_MAIN_MENU, {"ok"}, kMoves},
    {"device_info", PAGE_DEVICE_INFO, {"ok", "ok"}, kMoves},
    {"input_choice", PAGE_INPUT_CHOICE, {"ok", "right", "ok"}, kMoves},
    {"user_modes_from_menu", PAGE_USER_MODES, {"ok", "right", "right", "ok"}, kMoves},
    {"options", PAGE_OPTIONS, {"ok", "right", "right", "right", "ok"}, kMoves},
    {"output_settings", PAGE_OUTPUT_SETTINGS, {"ok", "right", "right", "right", "ok", "ok"}, kMoves},
    {"input_crop", PAGE_INPUT_CROP, {"ok", "right", "right", "right", "ok", "right", "ok"}, kMoves},
    {"window_layout", PAGE_WINDOW_LAYOUT, {"ok", "right", "right", "right", "ok", "right", "right", "ok"}, kMoves},
    // clang-format off
    {"communication", PAGE_COMMUNICATION, {"ok", "right", "right", "right", "ok", "right", "right", "right", "ok"}, kMoves},
    {"picture_quality", PAGE_PICTURE_QUALITY_MENU, {"ok", "right", "right", "right", "ok", "right", "right", "right", "right", "ok"}, kMoves},
    {"test_patterns", PAGE_TEST_PATTERNS, {"ok", "right", "right", "right", "ok", "right", "right", "right", "right", "right", "ok"}, kMoves},
    // clang-format on
    // The brightness edited: OK begins the edit, RIGHT steps the value
    // twice, BACK ends the edit.
    {"quality_value",
     PAGE_QUALITY,
     {"ok", "right", "right", "right", "ok", "right", "right", "right", "right", "ok", "ok"},
     {"right", "ok", "right", "right", "back"}},
};

// The keys of a run: the route, BACK, the route's last key again, then
// the keys inside the page.
inline std::vector<const char*> runKeys(const Route& route)
{
    std::vector<const char*> keys = route.keys;
    keys.push_back("back");
    keys.push_back(route.keys.back());
    keys.insert(keys.end(), route.inside.begin(), route.inside.end());
    return keys;
}

// Where the route's page is open: after its first opening and after the second.
inline size_t firstOpening(const Route& route)
{
    return route.keys.size() - 1;
}
inline size_t secondOpening(const Route& route)
{
    return route.keys.size() + 1;
}

// Watches the GUI thread for the end of a key: its release delivered, then
// the first moment the event loop has nothing queued. The loop says it is
// about to wait at every turn, whatever is still queued: the page's
// painting and its flush to the LCD often come in a later turn than the key.
class KeyEnd : public QObject {
public:
    explicit KeyEnd(std::function<void()> ended) : ended_(std::move(ended))
    {
        qApp->installEventFilter(this);
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                         [this] { idle(); });
    }
    // A key is about to be posted: its end is watched for.
    void arm()
    {
        released_ = false;
        waiting_ = true;
    }
    bool waiting() const { return waiting_; }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (waiting_ && e->type() == QEvent::KeyRelease)
            released_ = true;
        return false;
    }

private:
    void idle()
    {
        if (!waiting_ || !released_ || QAbstractEventDispatcher::instance()->hasPendingEvents())
            return;
        waiting_ = false;
        ended_();
    }
    std::function<void()> ended_;
    bool waiting_ = false, released_ = false;
};

// Calls `then` once what start-up leaves of its warming to the event loop
// (app/page_warming.h) is done, looked at every kWarmingPollMs, or at once in
// a build that warms nothing after start-up (the benches also build the
// tree before a change).
constexpr int kWarmingPollMs = 100;
inline void afterStartWarming(std::function<void()> then)
{
#ifdef KEL_PAGE_ROUTES_WARMING
    if (pages::warmingLanguage()) {
        QTimer::singleShot(kWarmingPollMs, [then] { afterStartWarming(then); });
        return;
    }
#endif
    then();
}

// Qt's runtime folder for a box on root `root`: beside the root, so that
// the box leaves nothing of its own in the temporary folder when both go
// (Qt makes one there otherwise, named after the user).
inline std::string runtimeFolder(const std::string& root)
{
    return root + ".runtime";
}

// Runs the whole box in this process for a route's keys, on the box root
// `root`: a loopback address of its own, no reboot, no debug lines, drawn
// on Qt's platform `qpa` (offscreen, or the board's linuxfb over
// bench/counting/fb_stand_in.cpp); `atFirstTurn` runs once its event loop
// turns. Never returns.
[[noreturn]] inline void runRouteBox(const std::string& root, void (*atFirstTurn)(), const char* qpa = "offscreen")
{
    platform::sim::resetBox(root);
    const unsigned pid = static_cast<unsigned>(::getpid());
    platform::sim::setBoxAddress("127.77." + std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(2 + pid % 250));
    platform::sim::setRebootHandler([] {});
    ::setenv("QT_QPA_PLATFORM", qpa, 1);
    const std::string runtime = runtimeFolder(root);
    ::mkdir(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    g_debugSwitch = 0;
    QTimer::singleShot(0, atFirstTurn);
    int argc = 1;
    char name[] = "kelR54N";
    char* argv[] = {name, nullptr};
    kelR54N_main(argc, argv, StartupOptions{false});
    ::_exit(2);
}

}  // namespace page_routes
