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
// Buffers from this size on (an upload's file, the overlay read from it)
// are mapped for themselves and given back when freed. By the allocator's
// own rule the size rises to the largest buffer freed so far, and later
// large buffers then stay in the heap of the thread that made them: a long
// run of requests with uploads left the box some 20 MB larger
// (bench/README.md, "Memory over a long run").
constexpr int kMappedFromBytes = 128 * 1024;

int main(int argc, char* argv[])
{
    ::mallopt(M_MMAP_THRESHOLD, kMappedFromBytes);
    // The console is written from every thread: each line leaves whole, so
    // no thread's output runs into another's line, whether the console is a
    // terminal, a pipe or a file shared with standard error.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (!platform::init(argc, argv))
        return 2;
    return kelR54N_main(argc, argv, StartupOptions{});
}
#endif
