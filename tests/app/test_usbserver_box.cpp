// The USB port of the whole simulated box, brought up by the real start-up:
// a stick inserted into the running box is announced with 100 and then 102
// through the change notifier; a key pad present at start lights its LEDs;
// the number keyboard takes the right half of the LCD.
#include "app/kelrampara.h"
#include "app/main.h"
#include "app/mainwindow.h"
#include "app/numberkeyboard.h"
#include "app/syncupdate.h"
#include "app/usbserver.h"
#include "fpga/fpga_manage.h"
#include "links/networkmanage.h"
#include "links/uart_inout.h"
#include "links/uart_inout_4G.h"
#include "links/udpnetmanage.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_uevent.h"
#include "tests/support/box_test.h"
#include "videochip/x518_manage.h"
#include "videoio/tamixsource.h"

#include <QApplication>
#include <QTimer>

namespace sim = platform::sim;

class RunningBox : public BoxTest {
protected:
    void TearDown() override
    {
        if (UsbServer::p_UsbServer)
            UsbServer::p_UsbServer->stopThread();
        if (udpnetManage::p_udpnetManage)
            udpnetManage::p_udpnetManage->stop();
        if (Zt_uart_inout::p_Zt_uart_inout)
            Zt_uart_inout::p_Zt_uart_inout->stop();
        if (networkManage::p_networkManage)
            networkManage::p_networkManage->stop();
        if (Zt_uart_inout_4G::p_Zt_uart_inout_4G)
            Zt_uart_inout_4G::p_Zt_uart_inout_4G->stop();
        if (x518_manage::p_x518_manage)
            x518_manage::p_x518_manage->stopThread();
        if (tamixsource::p_tamix_source)
            tamixsource::p_tamix_source->stopThread();
        if (fpga_manage::p_fpga_manage)
            fpga_manage::p_fpga_manage->stop();
        BoxTest::TearDown();
    }
    // Runs the start-up with `inLoop` posted to its event loop.
    int runBox(const std::function<void()>& inLoop)
    {
        QTimer::singleShot(0, inLoop);
        int argc = 1;
        char name[] = "kelR54N";
        char* argv[] = {name, nullptr};
        return kelR54N_main(argc, argv, StartupOptions{false});
    }
};

TEST_F(RunningBox, AStickInsertedIntoTheRunningBoxIsAnnouncedWith100ThenWith102)
{
    std::vector<int> codes;
    bool gateWasShut = false;
    auto* seen = new QObject;
    runBox([&] {
        QObject::connect(UsbServer::p_UsbServer, &UsbServer::sig_usb_update, seen,
                         [&codes](int code) { codes.push_back(code); });
        gateWasShut = g_delay_usbserver.load() == 0;
        // The stick goes in during the first ten seconds: it waits for the gate.
        sim::usbStickInsert();
        G_timeTicks += MainWindow::kUsbGateTicks;  // the tick opens the gate on its next turn
        auto* step = new QTimer(qApp);
        QObject::connect(step, &QTimer::timeout, [&codes, step] {
            if (codes.size() == 2 && G_timeTicks.load() < MainWindow::kUsbGateTicks * 2)
                G_timeTicks += UsbServer::kMountSettleTicks + MainWindow::kUsbGateTicks;
            if (codes.size() == 3 || G_timeTicks.load() > 100000) {
                step->stop();
                QApplication::exit(0);
            }
        });
        step->start(5);
    });
    delete seen;
    // Start-up connected the watcher to the change notifier (a connection
    // that exists can be undone).
    EXPECT_TRUE(QObject::disconnect(UsbServer::p_UsbServer, SIGNAL(sig_usb_update(int)), SyncUpdate::p_SyncUpdate,
                                    SLOT(para_sync(int))));
    EXPECT_TRUE(gateWasShut);
    EXPECT_EQ(codes, (std::vector<int>{SYNC_USB_ADDED, SYNC_USB_ADDED, SYNC_USB_STORAGE}));
}

TEST_F(RunningBox, AKeyPadPresentAtStartIsFoundAndGetsItsLeds)
{
    sim::SimHidBus::instance().plug(0x1234, 0x0001);
    sim::SimHidBus::instance().plug(SyncUpdate::kKeypadVendor, SyncUpdate::kKeypadProduct);
    QRect keyboard;
    runBox([&keyboard] {
        keyboard = g_numberkeyboard->geometry();
        QApplication::exit(0);
    });
    EXPECT_EQ(g_kel_keys, 1);
    const auto reports = sim::SimHidBus::instance().reports(SyncUpdate::kKeypadVendor, SyncUpdate::kKeypadProduct);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().size(), 5u);
    // The number keyboard: the right half of the LCD, hidden until a page shows it.
    const QPoint origin = g_mainwindow->pos();
    EXPECT_EQ(keyboard, QRect(origin.x() + 160, origin.y(), 160, 240));
    EXPECT_FALSE(g_numberkeyboard->isVisible());
    EXPECT_TRUE(g_numberkeyboard->windowFlags() & Qt::FramelessWindowHint);
}
