// A chip that stops answering: the bring-up starts again from the probe once
// a second, changes made meanwhile reach the chip once it answers, and the
// console and register 37 tell the outage once.
#include "tests/videochip/chip_test.h"

#include <QSignalSpy>
#include <climits>

namespace {

constexpr int kForever = INT_MAX;

int linesWith(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool shownRunning(const KelRamPara* store)
{
    return store->reg_image.chip_flags & ram::kChipFlagVideoChipRunning;
}

// Passes, each after the retry pause, until running mode or `limit` passes.
bool bringUpAfterPauses(x518_manage* m, int limit = 20)
{
    for (int i = 0; i < limit && m->init_state < x518_manage::kRunningState; ++i) {
        G_timeTicks += x518_manage::kRetryTicks;
        m->runPass();
    }
    return m->init_state == x518_manage::kRunningState;
}

}  // namespace

TEST_F(ManagerTest, ALoadWhoseTransfersFailIsRetriedFromTheProbeOnceASecondUntilTheChipAnswers)
{
    for (int i = 0; i < x518_manage::kProbeGoodReads; ++i)
        m->runPass();
    ASSERT_EQ(m->init_state, 5);
    chip->failTransfers(kForever, 300);  // the initial load fails part way
    testing::internal::CaptureStdout();
    m->runPass();
    EXPECT_EQ(m->init_state, 0);
    EXPECT_TRUE(x518_manage::chipDown());
    EXPECT_FALSE(shownRunning(store));

    // Nothing is tried before the pause is over; then one probe a pause.
    const uint64_t failed = chip->counters().failed;
    for (int i = 0; i < 50; ++i)
        m->runPass();
    EXPECT_EQ(chip->counters().failed, failed);
    EXPECT_GE(m->passDueTicks(), 1);
    for (int i = 0; i < 5; ++i) {
        G_timeTicks += x518_manage::kRetryTicks;
        m->runPass();
    }
    EXPECT_EQ(chip->counters().failed, failed + 5);
    EXPECT_EQ(m->init_state, 0);

    // Answering again, the chip is brought up whole.
    chip->failTransfers(0);
    chip->setReg(0x01, 0x08, 0);  // the memory controller, set by the initial load only
    EXPECT_TRUE(bringUpAfterPauses(m));
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(chip->reg(0x01, 0x08), 0x30);
    EXPECT_EQ(chip->reg(0x02, 0x18), 76);  // the last step of the load
    EXPECT_FALSE(x518_manage::chipDown());
    EXPECT_TRUE(shownRunning(store));
    // One line for the outage and at most one from the driver, not one a try.
    EXPECT_EQ(linesWith(console, "video chip not answering"), 1);
    EXPECT_LE(linesWith(console, "SPI message to the video chip failed"), 1);
    EXPECT_EQ(linesWith(console, "error x518_id"), 0);
    EXPECT_EQ(linesWith(console, "video chip up: running mode"), 1);
}

TEST_F(ManagerTest, AMissingChipIsProbedOnceAPause)
{
    platform::sim::setDeviceMissing(SimX518::kDevicePath, true);
    m->openChip();
    testing::internal::CaptureStdout();
    for (int i = 0; i < 100; ++i)
        m->runPass();
    G_timeTicks += x518_manage::kRetryTicks;
    for (int i = 0; i < 100; ++i)
        m->runPass();
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(m->init_state, 0);
    EXPECT_EQ(linesWith(console, "video chip not answering"), 1);
    EXPECT_EQ(linesWith(console, "error x518_id"), 0);
    platform::sim::setDeviceMissing(SimX518::kDevicePath, false);
}

TEST_F(RunningChipTest, ChangesMadeWhileTheChipDoesNotAnswerReachItOnceItDoes)
{
    ASSERT_TRUE(shownRunning(store));
    QSignalSpy codes(store, &KelRamPara::sig_update_para);
    chip->failTransfers(kForever);
    // One window, a test pattern on it and a contrast: the pattern is no
    // part of a bring-up, only of an apply pass.
    write([](KEL_RAM_PARA& b) {
        for (int i = 1; i < kShownWindows; ++i)
            b.image[i].enable = 0;
        b.test_pattern = 4;
        b.contrast = 70;
    });
    m->runPass();
    EXPECT_EQ(m->init_state, 0);
    EXPECT_FALSE(shownRunning(store));
    // The change is told (the block holds it) and stays pending for the chip.
    ASSERT_GE(codes.count(), 2);
    EXPECT_EQ(codes.at(0).at(0).toInt(), SYNC_PARA_CHANGED);
    EXPECT_EQ(codes.at(1).at(0).toInt(), SYNC_CHIP_STATE);
    EXPECT_EQ(x518_manage::apply_flag, 1);
    write([](KEL_RAM_PARA& b) { b.saturation = 20; });
    G_timeTicks += x518_manage::kRetryTicks;
    m->runPass();  // still failing
    EXPECT_EQ(m->init_state, 0);

    chip->failTransfers(0);
    ASSERT_TRUE(bringUpAfterPauses(m));
    EXPECT_TRUE(shownRunning(store));
    m->runPass();  // the pending pass
    EXPECT_EQ(x518_manage::apply_flag, 0);
    EXPECT_TRUE(m->kelApi_IsPatternGen());
    EXPECT_NE(chip->reg(0x08, 0x57), 0);
    for (u32 k = 0; k < u32(x518_manage::kChannels); ++k) {
        EXPECT_EQ(chip->regValue(x518::kContrast, 16 * k), 70u * 1023 / 100) << k;
        EXPECT_EQ(chip->regValue(x518::kSaturation, 16 * k), 20u * 1023 / 100) << k;
    }
}
