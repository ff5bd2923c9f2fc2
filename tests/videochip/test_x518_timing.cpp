// Timing blocks: backgrounds, input paths, V-by-One receivers, frame waits,
// the dot-by-dot memory pool and the window rectangles, at their boundaries.
#include "tests/videochip/chip_test.h"

#include "registers/x518_regs.h"

using x518::reg;

namespace {

class TimingTest : public ManagerTest {
protected:
    void SetUp() override
    {
        ManagerTest::SetUp();
        loadModel();
        for (int w = 0; w < x518_manage::kWindows; ++w)
            for (int k = 0; k < 2; ++k)
                m->model.PM_WIN_SHAPE[w][k] = 1;
    }
    void setPort(int p, i32 w, i32 h, i32 state = 4)
    {
        m->ports.PI_ACT[p][0] = 16;
        m->ports.PI_ACT[p][1] = w;
        m->ports.PI_ACT[p][2] = 16;
        m->ports.PI_ACT[p][3] = h;
        m->ports.port_act[p][1] = w;
        m->ports.port_act[p][3] = h;
        m->ports.PI_STATE[p] = state;
    }
    void plainWindow(int w, int port, int ich = 0)
    {
        m->model.PM_INPUT[w] = port;
        m->model.PM_WIN_DBD_MODE[w] = 0;
        m->ich.win_ich[w][0] = ich;
        m->model.PM_INPUT_OFFSET_EN[w] = 0;
    }
    // Output channel k's background switch.
    u32 bkg(u32 k) { return chip->regValue(reg(0x08, 0x48, 1), 16 * k); }
    int freeBlocks() const
    {
        int n = 0;
        for (int b = 0; b < x518_manage::kDbdBlocks; ++b)
            n += m->ich.dbd_pool[b] == -1;
        return n;
    }
};

using Rect = std::array<i32, 4>;  // start and size: h, w, v, h
Rect rect(const _ImageWindowDef_st& w)
{
    return {w.hst, w.hw, w.vst, w.vw};
}

}  // namespace

TEST_F(TimingTest, TheBackgroundCoversWindowsWithoutPictureButNeverADbdWindow)
{
    // Port 5 feeds window 1 on output channels 2 and 3 (default model).
    m->ports.PI_STATE[5] = 0;
    chip->clearJournal();
    m->set_input_bkg(fd, 5, 0);
    EXPECT_EQ(bkg(2), 1u);
    EXPECT_EQ(bkg(3), 1u);
    EXPECT_EQ(writesTo(0x48, 0x48).size(), 0u);     // channel 4 shows another window
    EXPECT_EQ(writesTo(0x00, 0x22).front(), 0xFF);  // held while it changes
    EXPECT_EQ(chip->reg(0x00, 0x22), 0x99);         // released after

    m->ports.PI_STATE[5] = 1;
    m->set_input_bkg(fd, 5, 0);
    EXPECT_EQ(bkg(2), 0u);
    m->set_input_bkg(fd, 5, 1);
    EXPECT_EQ(bkg(2), 1u);
    m->model.PM_WIN_DBD_MODE[1] = 1;
    m->set_input_bkg(fd, 5, 1);
    EXPECT_EQ(bkg(2), 1u);  // no input channel yet: nothing to show
    m->ich.win_ich[1][0] = 4;
    m->set_input_bkg(fd, 5, 1);
    EXPECT_EQ(bkg(2), 0u);  // it shows what its channels capture
}

TEST_F(TimingTest, ABlackWindowShowsTheBackgroundWhateverItsInput)
{
    m->ports.PI_STATE[5] = 1;
    m->set_input_bkg2(fd, 1, 0);
    EXPECT_EQ(bkg(2), 0u);
    m->model.win_info[1].output = 0x01;
    m->set_input_bkg2(fd, 1, 0);
    EXPECT_EQ(bkg(3), 1u);
    m->model.win_info[1].output = 0;
    m->ports.PI_STATE[5] = 0;
    m->set_input_bkg2(fd, 1, 0);
    EXPECT_EQ(bkg(2), 1u);
    m->pattern_gen = 1;  // a test pattern needs no picture behind it
    m->set_input_bkg2(fd, 1, 0);
    EXPECT_EQ(bkg(2), 0u);
}

TEST_F(TimingTest, InputPathsAreSwitchedBitByBit)
{
    chip->setRegValue(x518::kInputPathEnable, 0x0100);
    m->set_pict(fd, 1, 3);
    EXPECT_EQ(chip->regValue(x518::kInputPathEnable), 0x1100u);
    m->set_pict(fd, 0, 2);
    EXPECT_EQ(chip->regValue(x518::kInputPathEnable), 0x1000u);
    chip->resetCounters();
    m->set_pict(fd, 1, 4);
    EXPECT_EQ(chip->counters().transfers, 0u);
}

TEST_F(TimingTest, TheLowRangeBitSwitchesBelow50MHzAndAReceiverThatNeverLocksIsReported)
{
    chip->plug(4, SimX518::timing1080p60());
    m->set_VBORXfrange(fd, 0, 49999996.0f, 0);  // the float just below 50 MHz
    EXPECT_EQ(chip->reg(0x02, 0x4C) & 0x08, 0x08);
    m->set_VBORXfrange(fd, 0, 50000000.0f, 0);
    EXPECT_EQ(chip->reg(0x02, 0x4C) & 0x08, 0);
    m->set_VBORXfrange(fd, 1, 0, 1);  // toggle receiver 1
    EXPECT_EQ(chip->reg(0x02, 0x68) & 0x08, 0x08);
    chip->resetCounters();
    EXPECT_EQ(m->set_VBORXfrange(fd, 2, 0, 0), 0);
    EXPECT_EQ(chip->counters().transfers, 0u);

    auto t = SimX518::timing1080p60();
    t.locked = false;
    chip->plug(5, t);
    chip->resetCounters();
    EXPECT_EQ(m->set_VBORXfrange(fd, 1, 148500000.0f, 0), -1);
    // masked write (1 + 1), the lock check, then 250 polls of measure (3) and lock (1)
    EXPECT_EQ(chip->counters().reads, 1u + 1 + 250 * 4);
    t.locked = true;
    chip->plug(5, t);
    EXPECT_EQ(m->set_VBORXfrange(fd, 1, 148500000.0f, 0), 0);
    chip->pull(5);  // no signal reads as a measured (zero) frame: no wait
    EXPECT_EQ(m->set_VBORXfrange(fd, 1, 148500000.0f, 0), 0);
}

TEST_F(TimingTest, PolarityFieldsAreReplacedInPlace)
{
    chip->setRegValue(x518::kSyncPolCmos, 0x07070707);
    chip->setRegValue(x518::kSyncPolVbo, 0x33333333);
    m->ports.PI_HDMI_INFO[2].Hpol = 1;
    m->ports.PI_HDMI_INFO[2].Vpol = 0;
    m->set_sypol(fd, 0, 2);
    EXPECT_EQ(chip->regValue(x518::kSyncPolCmos), 0x07060707u);
    m->ports.PI_HDMI_INFO[5].Hpol = 0;
    m->ports.PI_HDMI_INFO[5].Vpol = 1;
    m->set_sypol(fd, 1, 1);
    EXPECT_EQ(chip->regValue(x518::kSyncPolVbo), 0x11113333u);
    EXPECT_EQ(chip->reg(0x00, 0x29), 0);  // the hold is released
    m->set_sypol(fd, 1, 2);               // no third receiver
    m->set_sypol(fd, 0, 4);
    EXPECT_EQ(chip->regValue(x518::kSyncPolVbo), 0x11113333u);
}

TEST_F(TimingTest, LaneCountsPickTheLaneWordAndBits)
{
    const std::tuple<int, u32, u32> cases[] = {{1, 0, 0}, {2, 1, 0x10}, {4, 0x11, 4}, {8, 0x0404, 2}};
    for (auto [lanes, word, bits] : cases) {
        chip->setRegValue(x518::kVboLaneBits, 0xAA55);
        m->ports.PI_HDMI_INFO[5].lane = lanes;
        m->set_VBOInput(fd, 1);
        EXPECT_EQ(chip->regValue(x518::regAt(x518::kVboLaneWord, 2)), word) << lanes;
        EXPECT_EQ(chip->regValue(x518::kVboLaneBits), (bits << 8) | 0x55) << lanes;
    }
}

TEST_F(TimingTest, FrameAndFieldWaitsEndOnTheFlagTheIdleStatusOrTheirBound)
{
    // The window wait uses the slowest changed input.
    for (int w = 0; w < x518_manage::kWindows; ++w)
        m->model.g_chg_input[w] = m->model.win_chg[w] = m->model.g_chg_dbd[w] = 0;
    plainWindow(0, 0, 1);
    plainWindow(1, 1, 2);
    m->model.g_chg_input[0] = m->model.g_chg_input[1] = 1;
    m->ports.PI_FV[0] = 60.0;
    m->ports.PI_FV[1] = 50.0;
    chip->clearJournal();
    EXPECT_EQ(m->wait1_pivs2(fd), 0);
    EXPECT_EQ(writesTo(0x05, 0x08).front(), 1u << 2);  // window 1's channel

    EXPECT_EQ(m->wait1_pivs(fd, 3), 0);
    EXPECT_EQ(chip->reg(0x05, 0x08), 0);  // request withdrawn
    EXPECT_EQ(chip->reg(0x00, 0x29), 0);
    int field = m->wait_ifld_change(fd, 2);
    EXPECT_GE(field, 0);
    EXPECT_LE(field, 3);

    chip->setStuck(SimX518::kStuckFrames);
    chip->resetCounters();
    EXPECT_EQ(m->wait1_pivs(fd, 3), -1);
    EXPECT_EQ(chip->counters().reads, 2u + 45);  // flag and status, then the flag alone
    chip->resetCounters();
    EXPECT_EQ(m->wait_ifld_change(fd, 2), -1);
    EXPECT_EQ(chip->counters().reads, 90u);
    EXPECT_EQ(m->wait_ofld_change(fd, 0), -1);

    chip->setReg(0xA8, 0x3F + 5 * 3, 0xFF);  // the channel has no input
    EXPECT_EQ(m->wait1_pivs(fd, 3), 0);
    chip->resetCounters();
    EXPECT_EQ(m->wait1_pivs(fd, 8), 0);
    EXPECT_EQ(m->wait1_pivs(fd, -1), 0);
    EXPECT_EQ(chip->counters().transfers, 0u);
}

// A channel whose port is known to carry a picture has frames: its wait
// looks at the frame flag alone.
TEST_F(TimingTest, AWaitOnAChannelOfALivePortReadsOnlyItsFrameFlag)
{
    setPort(1, 1920, 1080);
    m->ports.PI_FV[1] = 60.0;
    plainWindow(0, 1, 3);
    m->ich.ich_win[3] = 0;
    chip->setStuck(SimX518::kStuckFrames);
    chip->resetCounters();
    EXPECT_EQ(m->wait1_pivs(fd, 3), -1);
    EXPECT_EQ(chip->counters().reads, 1u + 45);  // the flag, and 45 more looks
    chip->setStuck(SimX518::kStuckNone);
    chip->resetCounters();
    EXPECT_EQ(m->wait1_pivs(fd, 3), 0);
    EXPECT_LE(chip->counters().reads, 2u);
    m->ports.PI_STATE[1] = 0;  // the port lost its picture: the status tells
    chip->setReg(0xA8, 0x3F + 5 * 3, 0xFF);
    chip->setStuck(SimX518::kStuckFrames);
    chip->resetCounters();
    EXPECT_EQ(m->wait1_pivs(fd, 3), 0);
    EXPECT_EQ(chip->counters().reads, 2u);
}

TEST_F(TimingTest, DbdInputsNeedMemoryAbove2560Or5120WideOr2176High)
{
    const std::tuple<int, i32, i32, int> cases[] = {
        {2, 2560, 2176, 0}, {2, 2561, 2176, 1}, {2, 2560, 2177, 1}, {4, 5120, 2160, 0}, {4, 5121, 2160, 1}};
    for (auto [port, w, h, need] : cases) {
        setPort(port, w, h);
        EXPECT_EQ(m->check_dbd_input(fd, port), need) << port << " " << w << "x" << h;
    }
}

TEST_F(TimingTest, ASingleDbdInputTakesBlocksOnlyWhenItsFrameIsLarge)
{
    m->model.PM_WIN_DBD_MODE[0] = 1;
    m->ich.win_ich[0][0] = 2;
    m->model.PM_INPUT[0] = 2;
    setPort(2, 3840, 2160);
    ASSERT_EQ(m->set_dbd_mem(fd, 0), 0);
    EXPECT_EQ(freeBlocks(), 5);
    EXPECT_EQ(m->ich.dbd_fb_base[0][0], m->sys.PS_DBD_BASE[0]);
    EXPECT_EQ(m->ich.dbd_pitch[0], 12u);

    m->model.PM_INPUT[0] = 4;
    setPort(4, 3840, 2160);
    ASSERT_EQ(m->set_dbd_mem(fd, 0), 0);
    EXPECT_EQ(freeBlocks(), 6);  // its earlier block went back
    EXPECT_EQ(m->ich.dbd_fb_base[0][3], m->sys.PS_MEM_SC[2][3]);
    EXPECT_EQ(m->ich.dbd_pitch[0], 64u);

    setPort(4, 3840, 2177);
    ASSERT_EQ(m->set_dbd_mem(fd, 0), 0);
    EXPECT_EQ(freeBlocks(), 4);
}

TEST_F(TimingTest, SideBySideTakesFromTheBottomStackedFromTheTop)
{
    for (int p = 0; p < 4; ++p)
        setPort(p, 1920, 1080);
    m->model.PM_WIN_DBD_MODE[0] = 30;
    m->ich.win_ich[0][0] = 0;
    ASSERT_EQ(m->set_dbd_mem(fd, 0), 0);
    EXPECT_EQ(m->ich.dbd_pool[0], 0);
    EXPECT_EQ(m->ich.dbd_pool[2], 0);
    EXPECT_EQ(m->ich.dbd_pitch[0], 18u);  // 5760 / 320

    m->model.PM_WIN_DBD_MODE[1] = 21;
    m->ich.win_ich[1][0] = 4;
    setPort(0, 1921, 1080);
    ASSERT_EQ(m->set_dbd_mem(fd, 1), 0);
    EXPECT_EQ(m->ich.dbd_pool[5], 1);
    EXPECT_EQ(m->ich.dbd_pool[4], 1);
    EXPECT_EQ(m->ich.dbd_fb_base[1][1], m->sys.PS_DBD_BASE[1] + 4 * m->sys.PS_DBD_BLOCK);
    EXPECT_EQ(m->ich.dbd_pitch[1], 7u);  // 1921 / 320, rounded up
}

TEST_F(TimingTest, AShortPoolRefusesAndGivesBackWhatItTook)
{
    for (int p = 0; p < 4; ++p)
        setPort(p, 1920, 1080);
    m->model.PM_WIN_DBD_MODE[0] = 30;
    m->ich.win_ich[0][0] = 0;
    ASSERT_EQ(m->set_dbd_mem(fd, 0), 0);  // three blocks taken
    m->model.PM_WIN_DBD_MODE[1] = 41;
    m->ich.win_ich[1][0] = 4;
    EXPECT_EQ(m->set_dbd_mem(fd, 1), -1);
    EXPECT_EQ(freeBlocks(), 3);
    EXPECT_EQ(m->ich.win_dbd_blk[1][0], -1);

    m->ich.win_ich[1][0] = -1;  // no input channel
    EXPECT_EQ(m->set_dbd_mem(fd, 1), -1);
    m->model.PM_WIN_DBD_MODE[1] = 0;
    m->ich.win_ich[1][0] = 4;
    EXPECT_EQ(m->set_dbd_mem(fd, 1), -1);
}

TEST_F(TimingTest, ThePlainInputWindowHonoursItsMarginsAtTheirLimits)
{
    plainWindow(0, 2);
    setPort(2, 1920, 1080);
    m->model.PM_INPUT_OFFSET_EN[0] = 1;
    i32* margin = m->model.PM_INPUT_OFFSET[0];
    margin[0] = 100, margin[1] = 20, margin[2] = 10, margin[3] = 30;
    m->calc_iwin2(0);
    EXPECT_EQ(rect(m->model.IWIN[0]), (Rect{100, 1800, 10, 1040}));
    margin[0] = 1920;  // a left margin at the width starts at 0 and keeps the width
    margin[2] = 1080;
    m->calc_iwin2(0);
    EXPECT_EQ(rect(m->model.IWIN[0]), (Rect{0, 1920, 0, 1080}));
    margin[0] = 1919, margin[1] = 0;  // one pixel left
    m->calc_iwin2(0);
    EXPECT_EQ(m->model.IWIN[0].hst, 1919);
    EXPECT_EQ(m->model.IWIN[0].hw, 1);
}

TEST_F(TimingTest, InterlacedAndHalvedPortsAreDoubledBack)
{
    plainWindow(0, 4, 0);
    setPort(4, 960, 540, 1);  // V-by-One state 1 counts half the pixels
    m->ports.PI_SCAN_MODE[4] = 1;
    m->calc_iwin2(0);
    EXPECT_EQ(m->model.IWIN[0].hw, 1920);
    EXPECT_EQ(m->model.IWIN[0].vw, 1080);
    m->ich.win_ich[0][0] = 4;  // channels 4-7 do not de-interlace
    m->calc_iwin2(0);
    EXPECT_EQ(m->model.IWIN[0].vw, 540);
}

TEST_F(TimingTest, DbdInputWindowsAddTheirPorts)
{
    for (int p = 0; p < 6; ++p)
        setPort(p, 1000 + 10 * p, 500 + 10 * p);
    m->model.PM_INPUT[0] = 0;
    m->ich.win_ich[0][0] = 0;
    const std::tuple<int, i32, i32> cases[] = {{20, 2010, 500}, {22, 2050, 520},  {30, 3030, 500},  {40, 4060, 500},
                                               {50, 2090, 550}, {21, 1000, 1010}, {23, 1020, 1050}, {41, 2010, 1020},
                                               {51, 1050, 1090}};  // the pair shows port 5 first
    for (auto [mode, hw, vw] : cases) {
        m->model.PM_WIN_DBD_MODE[0] = mode;
        m->calc_iwin2(0);
        EXPECT_EQ(m->model.IWIN[0].hw, hw) << mode;
        EXPECT_EQ(m->model.IWIN[0].vw, vw) << mode;
        EXPECT_EQ(m->model.IWIN[0].hst, 0);
    }
    m->model.PM_WIN_SHAPE[0][1] = 0;  // a window without output channels gets nothing
    m->calc_iwin2(0);
    EXPECT_EQ(m->model.IWIN[0].hw, 0);
}

TEST_F(TimingTest, TheOutputWindowIsItsCellsLessItsMargins)
{
    plainWindow(0, 2);
    m->model.PM_WIN_SHAPE[0][0] = 2;
    i32* margin = m->model.PM_WIN_OFFSET[0];
    margin[0] = 100, margin[1] = 50, margin[2] = 10, margin[3] = 20;
    m->calc_owin2(0);
    EXPECT_EQ(rect(m->model.OWIN[0]), (Rect{100, 3840 - 150, 10, 2160 - 30}));
    margin[1] = 4000;
    m->calc_owin2(0);
    EXPECT_EQ(m->model.OWIN[0].hw, 0);  // never negative
}

TEST_F(TimingTest, ADbdWindowMatchesItsInputAndOutputSizes)
{
    m->model.PM_WIN_DBD_MODE[0] = 1;
    for (int k = 0; k < 4; ++k)
        m->model.PM_WIN_OFFSET[0][k] = 0;
    m->model.IWIN[0] = {0, 3840, 0, 1000};
    m->calc_owin2(0);  // without clipping both take the smaller size
    EXPECT_EQ(rect(m->model.OWIN[0]), (Rect{0, 1920, 0, 1000}));
    EXPECT_EQ(rect(m->model.IWIN[0]), (Rect{0, 1920, 0, 1000}));

    m->model.PM_WIN_DBD_CLIP[0] = 1;
    m->model.IWIN[0] = {0, 3840, 0, 1000};
    m->calc_owin2(0);  // clipping cuts the input only
    EXPECT_EQ(m->model.IWIN[0].hw, 1920);
    EXPECT_EQ(m->model.OWIN[0].vw, 2160);
    EXPECT_EQ(m->model.IWIN[0].vw, 1000);
    m->model.PM_WIN_SHAPE[0][0] = 0;  // no output cell: the output takes the input size
    m->model.IWIN[0] = {0, 3840, 0, 1000};
    m->calc_owin2(0);
    EXPECT_EQ(m->model.OWIN[0].hw, 3840);
}
