// Input ports: mapping tables, reported timing records, the chip's
// measurement and classification, loss of signal and the window source setter.
#include "tests/videochip/chip_test.h"

#include "app/utils.h"
#include "registers/x518_regs.h"

using platform::sim::SourceTiming;

namespace {

constexpr int kDvi = 0, kHdmi1 = 1, kHdmi3 = 3;
constexpr int kPortDvi = 2, kPortHdmi1 = 1, kPortHdmi3 = 5;

SourceTiming vbo1080(uint8_t lanes)
{
    SourceTiming t = SourceTiming::p1080_60();
    t.lanes = lanes;
    return t;
}

}  // namespace

TEST(InputPortTables, InputsPortsAndReceiverRecordsMapAsWired)
{
    const u32 none = x518_manage::kPortNone;
    const u32 ports[] = {2, 1, 0, 5, none, none};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(x518_manage::kelApi_inputCvtX518(i), ports[i]) << i;
    EXPECT_EQ(x518_manage::kelApi_inputCvtX518(-1), none);
    EXPECT_EQ(x518_manage::kelApi_inputCvtX518(6), none);
    const u32 devs[] = {2, 1, 0, none, none, 3};
    for (int p = 0; p < 6; ++p)
        EXPECT_EQ(x518_manage::kelApi_GetPortDevId(p), devs[p]) << p;
    EXPECT_EQ(x518_manage::kelApi_GetPortDevId(9), 2u);
}

TEST_F(ManagerTest, DotByDotCodesNameTheirPortSets)
{
    loadModel();
    int ports[6];
    m->model.PM_WIN_DBD_MODE[0] = 50;
    ASSERT_EQ(m->kelApi_GetWinDbdMultiPort(0, ports), 1u);
    EXPECT_EQ(ports[0], 5);
    EXPECT_EQ(ports[1], 4);
    EXPECT_EQ(ports[2], x518_manage::kNoPort);
    m->model.PM_WIN_DBD_MODE[0] = 30;
    ASSERT_EQ(m->kelApi_GetWinDbdMultiPort(0, ports), 1u);
    EXPECT_EQ(ports[2], 2);
    m->model.PM_WIN_DBD_MODE[0] = 1;
    EXPECT_EQ(m->kelApi_GetWinDbdMultiPort(0, ports), 0u);
    for (int p : ports)
        EXPECT_EQ(p, x518_manage::kNoPort);
}

TEST_F(RunningChipTest, ARecordNotYetPublishedIsIgnoredEvenWhenItDiffers)
{
    {
        QMutexLocker lock(&Utils::_source_hdminfo_mutex);
        src->hdminfo[kHdmi1].Hact = 1280;  // `changed` still 0
    }
    clearInputChanges();
    watchPorts();
    EXPECT_EQ(m->ports.PI_HDMI_INFO[kPortHdmi1].Hact, 0);
    EXPECT_EQ(m->ports.PI_STATE[kPortHdmi1], 0);
    for (int w = 0; w < x518_manage::kWindows; ++w)
        EXPECT_EQ(m->model.g_chg_input[w], 0) << w;
}

TEST_F(RunningChipTest, AReportedTimingFlagsTheWindowsOfItsPortAndIsClassified)
{
    inputsUp();
    clearInputChanges();
    m->load_hdmi();
    EXPECT_EQ(m->ports.PI_HDMI_INFO[kPortHdmi1].Hact, 1920);
    EXPECT_EQ(m->model.g_chg_input[1], 1);  // window 1 shows HDMI1
    EXPECT_EQ(m->model.g_chg_input[0], 0);
    m->check_input_port(fd);
    EXPECT_EQ(m->ports.PI_STATE[kPortHdmi1], 4);
    EXPECT_EQ(m->ports.PI_UPDATE[kPortHdmi1], 1);
    EXPECT_NEAR(m->ports.PI_FV[kPortHdmi1], 60.0, 0.01);
    EXPECT_EQ(m->ports.PI_ACT[kPortHdmi1][0], 192);
    EXPECT_EQ(m->ports.PI_ACT[kPortHdmi1][1], 1920);
    EXPECT_EQ(m->ports.PI_ACT[kPortHdmi1][2], 41);
    EXPECT_EQ(m->ports.PI_ACT[kPortHdmi1][3], 1080);
}

TEST_F(RunningChipTest, Interlaced1080IsClassifiedByFieldRate)
{
    inputsUp();
    platform::sim::plugSource(kHdmi1, SourceTiming::i1080_50());
    poll();
    watchPorts();
    EXPECT_EQ(m->ports.PI_STATE[kPortHdmi1], 6);
    EXPECT_EQ(m->ports.PI_PORT_INFO[kPortHdmi1].need_ich14, 1);
    EXPECT_EQ(m->ports.PI_SCAN_MODE[kPortHdmi1], 1);

    platform::sim::plugSource(kHdmi1, SourceTiming::i1080_60());
    poll();
    watchPorts();
    EXPECT_EQ(m->ports.PI_STATE[kPortHdmi1], 5);
    EXPECT_EQ(m->ports.PI_ACT[kPortHdmi1][3], 540);  // a field
}

TEST_F(RunningChipTest, AVByOneInputIsSingleOnFewLanesAndHalvedOnEight)
{
    inputsUp();
    platform::sim::plugSource(kHdmi3, vbo1080(2));
    poll();
    watchPorts();
    EXPECT_EQ(m->ports.PI_STATE[kPortHdmi3], 4);
    EXPECT_EQ(m->ports.PI_ACT[kPortHdmi3][1], 1920);
    EXPECT_EQ(chip->reg(0x02, 0x6B), 0xC0);  // lanes of receiver 1

    platform::sim::plugSource(kHdmi3, vbo1080(8));
    poll();
    watchPorts();
    EXPECT_EQ(m->ports.PI_STATE[kPortHdmi3], 1);
    EXPECT_EQ(m->ports.PI_ACT[kPortHdmi3][0], 96);
    EXPECT_EQ(m->ports.PI_ACT[kPortHdmi3][1], 960);
    EXPECT_EQ(m->ports.port_act[kPortHdmi3][1], 1920);
    EXPECT_EQ(chip->reg(0x02, 0x6B), 0xFF);
    EXPECT_EQ(m->ports.vbo_retry[1], 0);
}

TEST_F(RunningChipTest, SteadyInputsAreReadUnderOneHoldAndNothingIsWritten)
{
    platform::sim::plugSource(kDvi, SourceTiming::p1080_60());
    platform::sim::plugSource(kHdmi1, SourceTiming::p1080_60());
    platform::sim::plugSource(kHdmi3, vbo1080(8));
    inputsUp();
    watchPorts();
    clearInputChanges();
    chip->clearJournal();
    watchPorts();
    const std::vector<SimX518::JournalEntry> hold = {{0x00, 0x29, 0x80}, {0x00, 0x29, 0x00}};
    EXPECT_EQ(chip->journal(), hold);
    EXPECT_EQ(m->ports.PI_STATE[kPortHdmi3], 1);
    EXPECT_EQ(m->ports.vbo_retry[1], 0);  // all eight lanes counted
}

TEST_F(RunningChipTest, UnpluggingARunningInputRaisesTheUpdateOnceAndBlanksItsWindows)
{
    platform::sim::plugSource(kDvi, SourceTiming::p1080_60());
    inputsUp();
    watchPorts();
    ASSERT_EQ(m->ports.PI_STATE[kPortDvi], 4);
    platform::sim::pullSource(kDvi);
    poll();
    watchPorts();
    EXPECT_EQ(m->ports.PI_UPDATE[kPortDvi], 1);
    EXPECT_EQ(m->ports.PI_STATE[kPortDvi], 0);
    const i32 lost[4] = {16, 0, 16, 0};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(m->ports.PI_ACT[kPortDvi][i], lost[i]);
    EXPECT_EQ(m->ports.PI_FV[kPortDvi], 0);
    // Window 0 (port 2) is on output channel 0: its background covers it.
    EXPECT_EQ(chip->reg(0x08, 0x48), 1);

    m->ports.PI_UPDATE[kPortDvi] = 0;
    poll();
    watchPorts();
    EXPECT_EQ(m->ports.PI_UPDATE[kPortDvi], 0);  // still lost: nothing new
}

TEST_F(RunningChipTest, ALostVByOneReceiverIsResetEveryPassAndItsCountWraps)
{
    inputsUp();
    platform::sim::plugSource(kHdmi3, vbo1080(2));
    poll();
    watchPorts();
    platform::sim::pullSource(kHdmi3);
    poll();
    chip->clearJournal();
    watchPorts();
    std::vector<uint8_t> selects;
    for (const auto& e : chip->journal())
        if (e.bank == 0x02 && e.address == 0x7F)
            selects.push_back(e.value);
    EXPECT_EQ(selects, (std::vector<uint8_t>{0x0D, 0x0F}));
    EXPECT_EQ(chip->reg(0x02, 0x6B), 0x80);
    EXPECT_EQ(m->ports.vbo_retry[1], 1);
    for (int i = 0; i < 28; ++i)
        m->check_input_port(fd);
    EXPECT_EQ(m->ports.vbo_retry[1], 29);
    m->check_input_port(fd);
    EXPECT_EQ(m->ports.vbo_retry[1], 0);
}

TEST_F(RunningChipTest, TheSourceSetterMapsInputsAndTreatsANonInputAsNoInput)
{
    inputsUp();
    clearInputChanges();
    x518_manage::x518_SetInputsource(3, 6);  // input 6 acts as input 0 (DVI on port 2)
    EXPECT_EQ(m->model.PM_INPUT[3], 2);
    EXPECT_EQ(m->model.win_info[3].input, 0);
    ASSERT_GE(m->ich.win_ich[3][0], 0);
    EXPECT_EQ(chip->reg(0x00, u8(0x10 + m->ich.win_ich[3][0])), 4);  // its channel captures port 2

    // Window 0 holds channels; input 4 (no port) leaves it without input.
    m->ich.ich_win[0] = m->ich.ich_win[1] = 0;
    m->ich.ich_win[2] = 3;
    chip->clearJournal();
    x518_manage::x518_SetInputsource(0, 4);
    EXPECT_EQ(m->model.PM_INPUT[0], x518_manage::kNoPort);
    EXPECT_EQ(m->ich.ich_win[0], -1);
    EXPECT_EQ(m->ich.ich_win[1], -1);
    EXPECT_EQ(m->ich.ich_win[2], 3);
    EXPECT_EQ(m->ich.win_ich[0][0], -1);
    // Output channel 0 shows window 0: its background covers it, window 1's channel stays.
    EXPECT_EQ(chip->reg(0x08, 0x48), 1);
    EXPECT_TRUE(writesTo(0x18, 0x48).empty());
    EXPECT_EQ(chip->regValue(x518::kBkgColour), 0u);
    watchPorts();  // the window's port no longer indexes anything
    EXPECT_EQ(m->set_input(0, u32(m->model.PM_INPUT[0])), 2);
    EXPECT_EQ(m->ich.win_ich[0][0], -1);

    m->model.wincnt = 2;
    const i32 before = m->model.PM_INPUT[4];
    x518_manage::x518_SetInputsource(4, 1);
    EXPECT_EQ(m->model.PM_INPUT[4], before);  // beyond the windows in use
}
