// The 10 ms tick: the deferred reboot, the aging-log turn and the USB
// watcher's gate, driven tick by tick.
#include "app/aginglog.h"
#include "tests/app/test_mainwindow_fixture.h"

class Tick : public PageTest {
protected:
    int reboots() { return static_cast<int>(journalWith("reboot").size()); }
};

TEST_F(Tick, CountsOneTickPerTimerEvent)
{
    G_timeTicks = 41;
    tick(2);
    EXPECT_EQ(G_timeTicks.load(), 43u);
    G_timeTicks = 0xFFFFFFFFu;
    tick();
    EXPECT_EQ(G_timeTicks.load(), 0u);
}

TEST_F(Tick, RebootRuns300TicksAfterTheStampAndThenEveryTick)
{
    G_timeTicks = 5000;
    requestDeferredReboot();
    tick(299);
    EXPECT_EQ(reboots(), 0);
    tick();
    EXPECT_EQ(G_timeTicks.load(), 5300u);
    EXPECT_EQ(reboots(), 1);
    EXPECT_EQ(platform::sim::rebootCount(), 1);
    // The process would be gone; while it is not, every tick asks again.
    tick(2);
    EXPECT_EQ(reboots(), 3);
}

TEST_F(Tick, FlagWithoutNewStampRebootsOnceTheOldStampIs300TicksAway)
{
    G_reboot_tickTicks = 0;
    G_timeTicks = 280;
    g_app_reset_flag = 1;  // as the network command does when the TCP port changed
    tick(19);
    EXPECT_EQ(reboots(), 0);
    tick();
    EXPECT_EQ(reboots(), 1);
}

TEST_F(Tick, NoRequestNoReboot)
{
    tick(400);
    EXPECT_EQ(reboots(), 0);
}

TEST_F(Tick, UsbGateOpensAtTick1000AndStaysOpen)
{
    tick(999);
    EXPECT_EQ(g_delay_usbserver.load(), 0u);
    tick();
    EXPECT_EQ(g_delay_usbserver.load(), 1u);
    G_timeTicks = 3;  // after a wrap the gate stays open
    tick();
    EXPECT_EQ(g_delay_usbserver.load(), 1u);
}

TEST_F(Tick, AgingTurnComesAtTick18000AndEvery18000After)
{
    tick(17999);
    EXPECT_EQ(G_factoryage_ticks.load(), 0u);
    tick();
    EXPECT_EQ(G_factoryage_ticks.load(), 18000u);
    tick(17999);
    EXPECT_EQ(G_factoryage_ticks.load(), 18000u);
    tick();
    EXPECT_EQ(G_factoryage_ticks.load(), 36000u);
}

TEST_F(Tick, AgingTurnTakesNoSampleWithoutTheFpgaManager)
{
    tick(18000);
    EXPECT_EQ(G_factoryage_ticks.load(), 18000u);
    EXPECT_TRUE(factoryage_log.isEmpty());
}
