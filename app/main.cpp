// The box's control program: brings the box up in one fixed order and runs
// the event loop until the box reboots.
#include "app/main.h"

#include "app/config_engine.h"
#include "app/global.h"
#include "app/kel_keys.h"
#include "app/kelrampara.h"
#include "app/lockwindow.h"
#include "app/mainwindow.h"
#include "app/numberkeyboard.h"
#include "app/page_support.h"
#include "app/panel_control.h"
#include "app/syncupdate.h"
#include "app/usbserver.h"
#include "fpga/fpga_manage.h"
#include "links/networkmanage.h"
#include "links/r54_wifi_config.h"
#include "links/uart_inout.h"
#include "links/uart_inout_4G.h"
#include "links/udpnetmanage.h"
#include "platform/platform.h"
#include "videochip/x518_manage.h"
#include "videoio/tamixsource.h"

#include <QApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <malloc.h>
#include <memory>

namespace {

constexpr int kTickPeriodMs = 10;
constexpr unsigned long kSettleSeconds = 4;
// The box's own files: settings, modes, uploads, the program.
constexpr const char* kDataDir = "/data";

// The 10 ms tick. It fires only once the event loop runs, so G_timeTicks
// stays 0 for the whole start-up.
void startTick()
{
    g_timer = new QTimer(nullptr);
    QObject::connect(g_timer, SIGNAL(timeout()), g_mainwindow, SLOT(slot_update_timer_ticks()));
    g_timer->start(kTickPeriodMs);
}

// The main window, and over it the home page, which has focus.
void showHomePage()
{
    g_mainwindow->show();
    g_page_focus = PAGE_HOME;
    pages::placeOverMainWindow(g_lockwindow);
    g_lockwindow->show();
}

// The number keyboard takes the right half of the LCD.
void placeNumberKeyboard()
{
    const QPoint origin = g_mainwindow->pos();
    g_numberkeyboard->setGeometry(origin.x() + pages::kLcdWidth / 2, origin.y(), pages::kLcdWidth / 2,
                                  pages::kLcdHeight);
}

// Change codes reach the notifier from here on (queued from worker threads);
// codes emitted before are lost.
void connectChangeSignal()
{
    QObject::connect(KelRamPara::p_kelrampara_config, SIGNAL(sig_update_para(int)), SyncUpdate::p_SyncUpdate,
                     SLOT(para_sync(int)));
    SyncUpdate::p_SyncUpdate->startSaveWatch();
}

// A box switched off in the middle of a write leaves "<name>.new" beside
// the file; nothing reads it, so it goes before anything is written again.
void removeStaleWrites()
{
    const int removed = platform::removeStaleWrites(kDataDir, true);
    if (removed > 0)
        KEL_DBG("\n %d unfinished file writes removed from %s\n", removed, kDataDir);
}

}  // namespace

int kelR54N_main(int& argc, char** argv, const StartupOptions& options)
{
    // The GUI thread keeps the program's name, so ps and pidof find the program.
    platform::nameThread("kelR54N");
    removeStaleWrites();
    g_kel_keys = check_hiddev() == 1 ? 1 : 0;
    ConfigEngine::pInstance();
    KelRamPara::pInstance();
    SyncUpdate::pInstance();
    std::unique_ptr<QApplication> app(QApplication::instance() ? nullptr : new QApplication(argc, argv));
    pages::initPictures();
    g_mainwindow = new MainWindow(nullptr);
    startTick();
    tamixsource::pInstance();
    fpga_manage::pInstance();
    x518_manage::pInstance();
    fpga_manage::p_fpga_manage->initialize_start();
    tamixsource::p_tamix_source->initialize();
    // The fonts and the pictures are warmed within the settle wait, which
    // stays as long.
    const double fontsMs = pages::warmFonts();
    const double picturesMs = pages::warmPictures();
    const double warmMs = fontsMs + picturesMs;
    if (options.settleWait)
        QThread::msleep(kSettleSeconds * 1000 - static_cast<unsigned long>(std::min(warmMs, kSettleSeconds * 1000.0)));
    KEL_DBG("\n fonts warmed in %.1f ms, pictures in %.1f ms\n", fontsMs, picturesMs);
    panel::installControl();
    g_lockwindow = new LockWindow(nullptr);
    showHomePage();
    placeNumberKeyboard();
    connectChangeSignal();
    if (g_kel_keys == 1)
        SyncUpdate::p_SyncUpdate->update_usb_keyLed();
    UsbServer::pInstance();
    QObject::connect(UsbServer::p_UsbServer, SIGNAL(sig_usb_update(int)), SyncUpdate::p_SyncUpdate,
                     SLOT(para_sync(int)));
    // The control links, each starting its own threads.
    udpnetManage::pInstance();
    Zt_uart_inout::pInstance();
    networkManage::pInstance();
    Zt_uart_inout_4G::pInstance();
    R54_WIFI_CONFIG::pInstance();
    return QApplication::exec();
}

#ifndef KEL_NO_PROGRAM_ENTRY
namespace {

// Buffers from this size on (an upload's file, the overlay read from it)
// are mapped for themselves and given back when freed. By the allocator's
// own rule the size rises to the largest buffer freed so far, and later
// large buffers then stay in the heap of the thread that made them: a long
// run of requests with uploads left the box some 20 MB larger
// (bench/README.md, "Memory over a long run").
constexpr int kMappedFromBytes = 128 * 1024;

// How the program ends before the box comes up.
constexpr int kExitHelp = 0;
constexpr int kExitRootRefused = 1;
constexpr int kExitBadCommandLine = 2;

// Qt's own options, which the program passes on: those that take a value
// (the box itself is started with "-platform linuxfb"), and those that do
// not. Qt takes them with one dash or two.
constexpr const char* kQtValueOptions[] = {
    "platform",     "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowtitle", "qwindowicon",        "geometry",      "title",  "display",
    "style",        "stylesheet",         "session",
};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
// Qt's options that also take their value after "=".
constexpr const char* kQtJoinedOptions[] = {"style", "stylesheet"};

bool isHelp(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

template <size_t N>
bool listed(const char* const (&names)[N], const std::string& name)
{
    return std::find_if(std::begin(names), std::end(names), [&](const char* n) { return name == n; }) !=
           std::end(names);
}

// A Qt option's name without its dashes ("-platform", "--platform": "platform").
std::string qtName(const std::string& arg)
{
    if (arg.rfind("--", 0) == 0)
        return arg.substr(2);
    return arg.rfind('-', 0) == 0 ? arg.substr(1) : std::string();
}

const platform::Option* platformOption(const std::string& name)
{
    for (const platform::Option& o : platform::options())
        if (name == o.name)
            return &o;
    return nullptr;
}

// A value is missing when the line ends, or when an option stands in its
// place (a value of the box's own that begins with a dash is written
// "./-name").
bool valueMissing(int at, int argc, char** argv)
{
    return at >= argc || argv[at][0] == '\0' || argv[at][0] == '-';
}

// What the command line asks for: the box, the usage (--help), or nothing
// it can run (an unknown option, a value missing: `why` says which).
enum class CommandLine { Run, Help, Refused };

CommandLine checkCommandLine(int argc, char** argv, std::string& why)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (isHelp(arg))
            return CommandLine::Help;
        const size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        if (platformOption(name)) {
            if (eq != std::string::npos ? eq + 1 == arg.size() : valueMissing(++i, argc, argv)) {
                why = name + " needs a value";
                return CommandLine::Refused;
            }
            continue;
        }
        const std::string qt = qtName(name);
        if (eq != std::string::npos && listed(kQtJoinedOptions, qt))
            continue;
        if (eq == std::string::npos && listed(kQtValueOptions, qt)) {
            if (valueMissing(++i, argc, argv)) {
                why = arg + " needs a value";
                return CommandLine::Refused;
            }
            continue;
        }
        if (eq == std::string::npos && listed(kQtFlags, qt))
            continue;
        why = "unknown option " + arg;
        return CommandLine::Refused;
    }
    return CommandLine::Run;
}

void printUsage(FILE* out)
{
    std::fprintf(out, "usage: kelR54N [OPTION]...\n"
                      "Runs the box: its LCD pages and keys, its links, its video chip and FPGAs.\n");
    for (const platform::Option& o : platform::options()) {
        const std::string named = std::string(o.name) + " " + o.value;
        std::fprintf(out, "  %-22s %s\n", named.c_str(), o.meaning);
    }
    std::fprintf(out, "  %-22s %s\n  %-22s %s\n", "-platform NAME",
                 "Qt's platform plugin (the box: linuxfb; without a display: offscreen)", "--help",
                 "prints this and ends");
    std::fprintf(out, "Qt's other options (-style NAME, -geometry WxH+X+Y, -reverse, ...) are passed on.\n"
                      "Exit status: 0 after --help; 1 when the box root cannot be made or written, or another\n"
                      "box holds it; 2 when an option is unknown, lacks its value or has one refused.\n");
}

}  // namespace

int main(int argc, char* argv[])
{
    ::mallopt(M_MMAP_THRESHOLD, kMappedFromBytes);
    // The console is written from every thread: each line leaves whole, so
    // no thread's output runs into another's line, whether the console is a
    // terminal, a pipe or a file shared with standard error.
    platform::keepConsoleLinesWhole();
    std::string why;
    switch (checkCommandLine(argc, argv, why)) {
    case CommandLine::Help: printUsage(stdout); return kExitHelp;
    case CommandLine::Refused:
        std::fprintf(stderr, "kelR54N: %s\n", why.c_str());
        printUsage(stderr);
        return kExitBadCommandLine;
    case CommandLine::Run: break;
    }
    switch (platform::init(argc, argv)) {
    case platform::InitResult::BadValue: printUsage(stderr); return kExitBadCommandLine;
    case platform::InitResult::RootRefused: return kExitRootRefused;
    case platform::InitResult::Run: break;
    }
    return kelR54N_main(argc, argv, StartupOptions{});
}
#endif
