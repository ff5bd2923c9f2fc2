// The 10 ms tick: the deferred reboot, the aging-log turn and the USB
// watcher's gate, driven tick by tick.
#include "app/aginglog.h"
#include "fpga/fpga_manage.h"
#include "platform/clock.h"
#include "platform/sim/sim_fpga.h"
#include "registers/fpga_regs.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <limits>

class Tick : public PageTest {
protected:
    int reboots() { return static_cast<int>(journalWith("reboot").size()); }
    // The FPGA manager with FPGA 0 up and running (its thread not started),
    // and the aging registers set on the simulated FPGA.
    bool fpgaRunningWith(u8 r42, u8 r40, u8 r43)
    {
        const bool up = fpgaZeroBroughtUp();
        setAgingRegisters(r42, r40, r43);
        return up;
    }
    void setAgingRegisters(u8 r42, u8 r40, u8 r43)
    {
        auto board = platform::sim::fpgaBoard();
        board->setReg(0, fpga::reg::kAgeCounter, r42);
        board->setReg(0, fpga::reg::kAgeStatus, r40);
        board->setReg(0, fpga::reg::kAgeStatus2, r43);
    }
};

TEST_F(Tick, RebootRuns300TicksAfterTheStampAndThenEveryTick)
{
    tick(400);  // no request, no reboot
    EXPECT_EQ(reboots(), 0);
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

TEST_F(Tick, AgingTurnComesAtTick18000AndEvery18000AfterWithoutASampleUnlessFpgaZeroRuns)
{
    tick(17999);
    EXPECT_EQ(G_factoryage_ticks.load(), 0u);
    tick();
    EXPECT_EQ(G_factoryage_ticks.load(), 18000u);
    // A manager whose FPGA 0 was never let out of reset takes no sample either.
    fpga_manage::pInstance();
    ASSERT_EQ(fpga_manage::p_fpga_manage->get_fpga_status(), 0);
    tick(17999);
    EXPECT_EQ(G_factoryage_ticks.load(), 18000u);
    tick();
    EXPECT_EQ(G_factoryage_ticks.load(), 36000u);
    EXPECT_TRUE(factoryage_log.isEmpty());
}

TEST_F(Tick, FirstAgingSampleAtTick18000FromFpgaZero)
{
    ASSERT_TRUE(fpgaRunningWith(118, 31, 0));
    const QString before = agingTimeStamp(platform::localNow());
    tick(17999);
    EXPECT_TRUE(factoryage_log.isEmpty());
    tick();
    ASSERT_EQ(factoryage_log.size(), 1);
    const QString after = agingTimeStamp(platform::localNow());
    const QString line = factoryage_log[0];
    EXPECT_TRUE(line.startsWith(before) || line.startsWith(after)) << line.toStdString();
    EXPECT_TRUE(line.endsWith(QStringLiteral(" 118 31 0"))) << line.toStdString();
    // the second one 18000 ticks later, with the counter's growth sorted
    setAgingRegisters(123, 30, 1);
    tick(18000);
    ASSERT_EQ(factoryage_log.size(), 2);
    EXPECT_TRUE(factoryage_log[1].endsWith(QStringLiteral(" 123 30 1")));
    EXPECT_EQ(factoryage_log_diff10, 1);
}

TEST_F(Tick, RecentPcCommandSkipsTheSampleButNotTheTurn)
{
    ASSERT_TRUE(fpgaRunningWith(1, 31, 0));
    tick(17990);
    pc_cmd_valid = 1;
    tick(10);
    EXPECT_EQ(G_factoryage_ticks.load(), 18000u);
    EXPECT_TRUE(factoryage_log.isEmpty());
    pc_cmd_valid = 0;
    tick(18000);
    EXPECT_EQ(factoryage_log.size(), 1);
}

// A time the calendar cannot hold (or a clock that cannot be read) is said
// on the console and shows as unknown, never as a date: it once read
// 1900-01-01 without a word.
TEST_F(Tick, ATimeTheCalendarCannotHoldIsToldAndShownUnknown)
{
    const platform::LocalTime far = platform::localTimeOf(std::numeric_limits<int64_t>::max());
    EXPECT_FALSE(far.known);
    EXPECT_EQ(far.year, 0);
    EXPECT_EQ(agingTimeStamp(far), QStringLiteral("----- --:--"));
    const platform::LocalTime past2038 = platform::localTimeOf(int64_t(1) << 31);
    EXPECT_TRUE(past2038.known);
    EXPECT_EQ(past2038.year, 2038);
}
