// The whole program's start-up on a fresh simulated box: it reaches the
// event loop with the home page over the main window; change codes and the
// USB port work in the running box.
#include "app/kelrampara.h"
#include "app/lockwindow.h"
#include "app/mainwindow.h"
#include "app/numberkeyboard.h"
#include "app/syncupdate.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_uevent.h"
#include "platform/sim/sim_x518.h"
#include "tests/app/running_box.h"

#include <QApplication>
#include <QLoggingCategory>

namespace sim = platform::sim;

TEST_F(RunningBox, AFreshBoxReachesTheEventLoopShowingTheHomePage)
{
    sim::SimHidBus::instance().reset();
    bool loopRan = false, ticking = false;
    const int rc = runBox([&] {
        loopRan = true;
        EXPECT_EQ(G_timeTicks.load(), 0u);  // nothing ticked during start-up
        EXPECT_TRUE(g_mainwindow && g_mainwindow->isVisible());
        EXPECT_TRUE(g_lockwindow && g_lockwindow->isVisible());
        EXPECT_TRUE(g_lockwindow && g_mainwindow && g_lockwindow->pos() == g_mainwindow->pos());
        EXPECT_EQ(g_page_focus.load(), PAGE_HOME);
        // The tick runs once the loop does; end the loop when it has.
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, [&ticking, poll] {
            if (G_timeTicks.load() < 3)
                return;
            ticking = true;
            poll->stop();
            QApplication::exit(0);
        });
        poll->start(5);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(loopRan);
    EXPECT_TRUE(ticking);
    // The store made its file, the settings theirs.
    EXPECT_TRUE(platform::exists(KelRamPara::kParaFile));
    EXPECT_TRUE(platform::exists("/data/configs/tcpip.ini"));
    // The device managers were created and their threads started.
    EXPECT_NE(fpga_manage::p_fpga_manage, nullptr);
    EXPECT_NE(x518_manage::p_x518_manage, nullptr);
    EXPECT_NE(udpnetManage::p_udpnetManage, nullptr);
    EXPECT_NE(Zt_uart_inout_4G::p_Zt_uart_inout_4G, nullptr);
    // Without the key pad no LED report goes out.
    EXPECT_TRUE(sim::SimHidBus::instance().reports(0x28E9, 0x0380).empty());
}

TEST_F(RunningBox, ChangeCodesReachTheNotifierOnceStarted)
{
    runBox([] {
        KelRamPara::p_kelrampara_config->ram_para.brightness = 42;
        KelRamPara::test_signal(SYNC_PARA_CHANGED);
        QApplication::exit(0);
    });
    // The write-back ran: the file holds the new brightness.
    EXPECT_EQ(paraFileField(2176), 42);
}

TEST_F(RunningBox, WritesReachTheParameterFileWhileTheVideoChipIsAbsent)
{
    sim::setDeviceMissing(sim::SimX518::kDevicePath, true);
    bool written = false, saved = false;
    u8 applyFlag = 0;
    int looks = 0;  // at most 300 looks, 50 ms apart
    runBox([&] {
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            // Once the start-up's own change codes are over, a write as a
            // link makes it: the block under the chip manager's mutex, then
            // the apply, which nobody serves.
            if (!written) {
                if (G_timeTicks.load() < 300)
                    return;
                written = true;
                KelRamPara::editBlock([](KEL_RAM_PARA& b) { b.contrast = 44; });
                return;
            }
            saved = paraFileField(2178) == 44;
            if (!saved && ++looks < 300)
                return;
            applyFlag = x518_manage::apply_flag.load();
            poll->stop();
            QApplication::exit(0);
        });
        poll->start(50);
    });
    EXPECT_TRUE(saved);
    EXPECT_EQ(applyFlag, 1);  // the chip never took it
}

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

namespace {

// Longer than Qt keeps a font's engines that no font holds.
constexpr int kFontsLetGoMs = 3000;

// Counts the fonts Qt looks for in its database (its font-match log) while
// it lives.
class FontMatches {
public:
    FontMatches()
    {
        count_ = 0;
        QLoggingCategory::setFilterRules(QStringLiteral("qt.text.font.match.debug=true"));
        previous_ = qInstallMessageHandler(&FontMatches::note);
    }
    ~FontMatches()
    {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(QString());
    }
    int count() const { return count_; }

private:
    static void note(QtMsgType, const QMessageLogContext& context, const QString& text)
    {
        if (QLatin1String(context.category) == QLatin1String("qt.text.font.match") &&
            text.contains(QLatin1String("QFontDatabase::match")))
            ++count_;
    }
    static inline int count_ = 0;
    QtMessageHandler previous_ = nullptr;
};

}  // namespace

// The fonts warmed at start-up stay loaded: a page that fits its texts
// (the user modes, in every language's script) opens, and opens again
// after a while, without Qt looking for a font.
TEST_F(RunningBox, PagesOpenWithoutLookingForAFont)
{
    int first = -1, again = -1;
    runBox([&] {
        {
            FontMatches matches;
            platform::runControlLine("key mode");
            QCoreApplication::processEvents();
            first = matches.count();
        }
        platform::runControlLine("key back");
        QTimer::singleShot(kFontsLetGoMs, [&] {
            FontMatches matches;
            platform::runControlLine("key mode");
            QCoreApplication::processEvents();
            again = matches.count();
            platform::runControlLine("key back");
            QApplication::exit(0);
        });
    });
    EXPECT_EQ(first, 0);
    EXPECT_EQ(again, 0);
}
