// The whole program's start-up on a fresh simulated box: it reaches the
// event loop with the home page over the main window.
#include "app/kelrampara.h"
#include "app/lockwindow.h"
#include "app/main.h"
#include "app/mainwindow.h"
#include "fpga/fpga_manage.h"
#include "links/networkmanage.h"
#include "links/uart_inout.h"
#include "links/uart_inout_4G.h"
#include "links/udpnetmanage.h"
#include "platform/sim/sim_hid.h"
#include "tests/support/box_test.h"
#include "videochip/x518_manage.h"
#include "videoio/tamixsource.h"

#include <QApplication>
#include <QTimer>

namespace {

struct Seen {
    bool loopRan = false;
    u32 ticksAtFirstEvent = 1;
    bool mainShown = false;
    bool homeShown = false;
    bool homeOverMain = false;
    u8 focus = 255;
    bool ticking = false;
};

}  // namespace

class Startup : public BoxTest {
protected:
    // The box never stops its device threads; a test does before it ends.
    void TearDown() override
    {
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
};

TEST_F(Startup, FreshBoxReachesTheEventLoopShowingTheHomePage)
{
    platform::sim::SimHidBus::instance().reset();
    Seen seen;
    // Posted now, delivered only by the event loop that start-up ends in.
    QTimer::singleShot(0, [&seen] {
        seen.loopRan = true;
        seen.ticksAtFirstEvent = G_timeTicks.load();
        seen.mainShown = g_mainwindow && g_mainwindow->isVisible();
        seen.homeShown = g_lockwindow && g_lockwindow->isVisible();
        seen.homeOverMain = g_lockwindow && g_mainwindow && g_lockwindow->pos() == g_mainwindow->pos();
        seen.focus = g_page_focus.load();
        // The tick runs once the loop does; end the loop when it has.
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, [&seen, poll] {
            if (G_timeTicks.load() < 3)
                return;
            seen.ticking = true;
            poll->stop();
            QApplication::exit(0);
        });
        poll->start(5);
    });
    int argc = 1;
    char name[] = "kelR54N";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(kelR54N_main(argc, argv, StartupOptions{false}), 0);

    EXPECT_TRUE(seen.loopRan);
    EXPECT_EQ(seen.ticksAtFirstEvent, 0u);  // nothing ticked during start-up
    EXPECT_TRUE(seen.mainShown);
    EXPECT_TRUE(seen.homeShown);
    EXPECT_TRUE(seen.homeOverMain);
    EXPECT_EQ(seen.focus, PAGE_HOME);
    EXPECT_TRUE(seen.ticking);
    // The store made its file, the settings theirs.
    EXPECT_TRUE(platform::exists(KelRamPara::kParaFile));
    EXPECT_TRUE(platform::exists("/data/configs/tcpip.ini"));
    // The device managers were created and their threads started.
    EXPECT_NE(fpga_manage::p_fpga_manage, nullptr);
    EXPECT_NE(x518_manage::p_x518_manage, nullptr);
    EXPECT_NE(udpnetManage::p_udpnetManage, nullptr);
    EXPECT_NE(Zt_uart_inout_4G::p_Zt_uart_inout_4G, nullptr);
    // Without the key pad no LED report goes out.
    EXPECT_TRUE(platform::sim::SimHidBus::instance().reports(0x28E9, 0x0380).empty());
}

TEST_F(Startup, ChangeCodesReachTheNotifierOnceStarted)
{
    QTimer::singleShot(0, [] {
        KelRamPara::p_kelrampara_config->ram_para.brightness = 42;
        KelRamPara::test_signal(SYNC_PARA_CHANGED);
        QApplication::exit(0);
    });
    int argc = 1;
    char name[] = "kelR54N";
    char* argv[] = {name, nullptr};
    kelR54N_main(argc, argv, StartupOptions{false});
    // The write-back ran: the file holds the new brightness.
    const std::string f = readBoxFile(KelRamPara::kParaFile);
    ASSERT_GT(f.size(), 2u + 2177 - 768);
    EXPECT_EQ(ram::loadU16(reinterpret_cast<const u8*>(f.data()) + 2 + 2176 - 768), 42);
}
