// The box's control program: brings the box up in one fixed order and runs
// the event loop until the box reboots.
#include "app/main.h"

#include "app/config_engine.h"
#include "app/global.h"
#include "app/kelrampara.h"
#include "app/lockwindow.h"
#include "app/mainwindow.h"
#include "app/page_support.h"
#include "app/syncupdate.h"
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
#include <memory>

namespace {

constexpr int kTickPeriodMs = 10;
constexpr unsigned long kSettleSeconds = 4;

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

// Change codes reach the notifier from here on (queued from worker threads);
// codes emitted before are lost.
void connectChangeSignal()
{
    QObject::connect(KelRamPara::p_kelrampara_config, SIGNAL(sig_update_para(int)), SyncUpdate::p_SyncUpdate,
                     SLOT(para_sync(int)));
}

}  // namespace

int kelR54N_main(int& argc, char** argv, const StartupOptions& options)
{
    // key pad: g_kel_keys := 1 when check_hiddev() finds it, once the key pad lands.
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
    if (options.settleWait)
        QThread::sleep(kSettleSeconds);
    g_lockwindow = new LockWindow(nullptr);
    showHomePage();
    // number keyboard: placed on the main window's right half (x + 160, y, 160 x 240) once it lands.
    connectChangeSignal();
    if (g_kel_keys == 1)
        SyncUpdate::p_SyncUpdate->update_usb_keyLed();
    // USB watcher: UsbServer::pInstance() and its sig_usb_update(int) to para_sync(int) once it lands.
    // The control links, each starting its own threads.
    udpnetManage::pInstance();
    Zt_uart_inout::pInstance();
    networkManage::pInstance();
    Zt_uart_inout_4G::pInstance();
    R54_WIFI_CONFIG::pInstance();
    return QApplication::exec();
}

#ifndef KEL_NO_PROGRAM_ENTRY
int main(int argc, char* argv[])
{
    platform::init(argc, argv);
    return kelR54N_main(argc, argv, StartupOptions{});
}
#endif
