// A signal's life seen end to end: the simulated receiver and chip port,
// the input-source manager's record and report, and the chip manager's
// watch that re-programs the windows showing the input.
#include "tests/videochip/chip_test.h"

#include <QSignalSpy>

using platform::sim::SourceTiming;

namespace {

constexpr int kHdmi1 = 1;
constexpr int kPort = 1;    // HDMI1 enters on chip port 1 ...
constexpr int kWindow = 1;  // ... which window 1 shows

class SignalTest : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        g_x518_source_online = 0;
        codes = std::make_unique<QSignalSpy>(store, &KelRamPara::sig_update_para);
    }
    // The inputs polled, the chip's pass, then the report.
    void settle()
    {
        clearInputChanges();
        poll();
        testing::internal::CaptureStdout();
        m->runPass();
        out = testing::internal::GetCapturedStdout();
        G_timeTicks += tamixsource::kReportTicks;
        src->runPass();
    }
    bool reprogrammed() const { return out.find("[x518_main]PI_UPDATE[1]=1") != std::string::npos; }
    SOURCE_STATUS status() const { return store->ram_para.source_status[kHdmi1]; }

    std::unique_ptr<QSignalSpy> codes;
    std::string out;
};

}  // namespace

TEST_F(SignalTest, PluggedChangedLostAndRegainedReprogramsTheWindowsShowingIt)
{
    // The box's live input, found at power-up.
    inputsUp();
    clearInputChanges();
    testing::internal::CaptureStdout();
    m->runPass();
    out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(reprogrammed());
    EXPECT_EQ(m->model.g_chg_input[kWindow], 0);  // served by the programming pass
    EXPECT_EQ(m->ports.PI_STATE[kPort], 4);
    EXPECT_EQ(g_x518_source_online, 1u);
    G_timeTicks += tamixsource::kReportTicks;
    src->runPass();
    EXPECT_EQ(status().width, 1920);
    EXPECT_EQ(status().rate, 60);

    // Progressive to interlaced.
    platform::sim::plugSource(kHdmi1, SourceTiming::i1080_50());
    settle();
    EXPECT_TRUE(reprogrammed());
    EXPECT_EQ(m->ports.PI_STATE[kPort], 6);
    EXPECT_EQ(status().height, 1080);
    EXPECT_EQ(status().rate, 50);

    // Lost.
    platform::sim::pullSource(kHdmi1);
    settle();
    EXPECT_TRUE(reprogrammed());
    EXPECT_EQ(m->ports.PI_STATE[kPort], 0);
    EXPECT_EQ(status().width, 0);

    // Nothing more while it stays lost.
    settle();
    EXPECT_FALSE(reprogrammed());

    // Regained.
    platform::sim::plugSource(kHdmi1, SourceTiming::p1080_60());
    settle();
    EXPECT_TRUE(reprogrammed());
    EXPECT_EQ(m->ports.PI_STATE[kPort], 4);
    EXPECT_EQ(status().rate, 60);
    int timing = 0;
    for (const auto& c : *codes)
        timing += c.at(0).toInt() == SYNC_INPUT_TIMING;
    EXPECT_EQ(timing, 4);
}

TEST_F(SignalTest, BothManagersOnTheirThreadsFollowAPlug)
{
    inputsUp();
    clearInputChanges();
    ASSERT_EQ(m->startThread(), 0);
    ASSERT_EQ(src->startThread(), 0);
    platform::sim::plugSource(3, SourceTiming::p1080_60());
    const bool seen = waitUntil([&] {
        G_timeTicks += 1;
        return store->ram_para.source_status[3].width == 1920;
    });
    src->stopThread();
    m->stopThread();
    EXPECT_TRUE(seen);
    EXPECT_EQ(m->ports.PI_STATE[5], 4);
}
