// Input channel allocation: the budget of eight, the order channels are
// taken in, moving another window's channel, releasing and the selectors.
#include "tests/videochip/chip_test.h"

#include "registers/x518_regs.h"

namespace {

class IchTest : public ManagerTest {
protected:
    void SetUp() override
    {
        ManagerTest::SetUp();
        loadModel();
        for (int w = 0; w < x518_manage::kWindows; ++w) {
            m->model.PM_WIN_SHAPE[w][0] = m->model.PM_WIN_SHAPE[w][1] = 0;  // unavailable until a test places it
            m->model.PM_WIN_DBD_MODE[w] = 0;
            m->model.g_chg_input[w] = 0;
        }
    }
    void window(int w, int port, int dbd = 0)
    {
        m->model.PM_WIN_SHAPE[w][0] = m->model.PM_WIN_SHAPE[w][1] = 1;
        m->model.PM_INPUT[w] = port;
        m->model.PM_WIN_DBD_MODE[w] = dbd;
        m->model.g_chg_dbd[w] = dbd > 1 ? 1 : 0;
    }
    void own(std::initializer_list<int> channels, int w)
    {
        for (int c : channels)
            m->ich.ich_win[c] = w;
    }
    std::vector<int> channelsOf(int w) const
    {
        std::vector<int> out;
        for (int i = 0; i < x518_manage::kChannels && m->ich.win_ich[w][i] >= 0; ++i)
            out.push_back(m->ich.win_ich[w][i]);
        return out;
    }
    using V = std::vector<int>;
};

}  // namespace

TEST_F(IchTest, TheBudgetOfEightTakesPairsFirstAndRefusesANinthChannel)
{
    window(3, 4);  // V-by-One: a pair
    EXPECT_EQ(m->set_input(3, 4), 0);
    EXPECT_EQ(channelsOf(3), (V{4, 5}));
    window(0, 0);  // 1080p on parallel ports: one channel each
    window(1, 1);
    EXPECT_EQ(m->set_input(0, 0), 0);
    EXPECT_EQ(m->set_input(1, 1), 0);
    EXPECT_EQ(channelsOf(0), (V{0}));
    EXPECT_EQ(channelsOf(1), (V{1}));
    window(2, 0, 40);  // four inputs side by side
    EXPECT_EQ(m->check_ich_all(2), 8);
    EXPECT_EQ(m->set_input(2, 0), 0);
    EXPECT_EQ(channelsOf(2), (V{2, 3, 6, 7}));

    window(4, 2);  // a ninth channel
    EXPECT_EQ(m->check_ich_all(4), -1);
    EXPECT_EQ(m->set_input(4, 2), 2);
    EXPECT_TRUE(channelsOf(4).empty());
    EXPECT_EQ(channelsOf(2), (V{2, 3, 6, 7}));  // nobody lost anything

    // A two-channel parallel input costs two as well.
    m->model.PM_WIN_SHAPE[4][0] = 0;
    m->ports.PI_HDMI_INFO[1].datamode = 1;
    EXPECT_EQ(m->check_ich_all(0), -1);
}

TEST_F(IchTest, OneChannelIsTakenSoThatPairsStayWhole)
{
    own({1, 3}, 5);
    EXPECT_EQ(m->check_ich(0, 0), 0);
    m->ich.ich_win[1] = m->ich.ich_win[3] = -1;
    own({2}, 5);
    EXPECT_EQ(m->check_ich(0, 0), 3);
    own({0, 1, 3}, 5);
    EXPECT_EQ(m->check_ich(1, 0), -1);  // an interlaced input only fits channels 0-3
    EXPECT_EQ(m->check_ich(0, 0), 4);
    EXPECT_EQ(m->check_ich(0, 1), 4);
    own({4, 6}, 5);
    EXPECT_EQ(m->check_ich(0, 1), -1);
}

TEST_F(IchTest, AnInterlacedInputMovesAProgressiveWindowOutOfTheDeinterlacers)
{
    for (int w = 0; w < 4; ++w) {
        window(w, w);
        own({w}, w);
    }
    m->rebuildWinIch();
    window(4, 1);
    m->ports.PI_PORT_INFO[1].need_ich14 = 1;
    // The first progressive occupant of channels 0-3, window 0, moves up.
    EXPECT_EQ(m->set_input(4, 1), 1);
    EXPECT_EQ(channelsOf(4), (V{0}));
    EXPECT_EQ(channelsOf(0), (V{4}));
    EXPECT_EQ(m->model.g_chg_input[0], 2);
    EXPECT_EQ(channelsOf(1), (V{1}));
}

TEST_F(IchTest, WhenEveryDeinterlacerIsNeededTheInputTakesAnUpperChannel)
{
    for (int w = 0; w < 4; ++w) {
        window(w, w);
        own({w}, w);
        m->ports.PI_PORT_INFO[w].need_ich14 = 1;
    }
    own({4}, 5);
    window(5, 3);
    m->model.PM_WIN_SHAPE[5][0] = 0;  // holds channel 4 without counting
    window(4, 2);
    testing::internal::CaptureStdout();
    EXPECT_EQ(m->adjust_ich(1, 0, 4), 0u);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("ICH1-4 is not available!!!"), std::string::npos);
    EXPECT_EQ(m->ich.ich_win[5], 4);
}

TEST_F(IchTest, APairIsCompletedByMovingTheOccupantOfItsOtherHalf)
{
    own({0, 1, 2, 3}, 0);
    own({4}, 1);
    own({6}, 2);
    window(0, 0, 40);
    window(1, 0);
    window(2, 1);
    window(3, 5);
    m->rebuildWinIch();
    EXPECT_EQ(m->check_ich(0, 1), -1);
    EXPECT_EQ(m->adjust_ich(0, 1, 3), 0u);
    EXPECT_EQ(m->ich.ich_win[4], 3);
    EXPECT_EQ(m->ich.ich_win[5], 3);
    EXPECT_EQ(m->ich.ich_win[7], 1);  // window 1 moved from channel 4 to 7
    EXPECT_EQ(m->model.g_chg_input[1], 2);
    EXPECT_EQ(m->model.g_chg_input[2], 0);

    own({5, 7}, 2);  // every pair half taken: nothing to complete
    testing::internal::CaptureStdout();
    EXPECT_EQ(m->adjust_ich(0, 1, 4), 0xFFFFFFFFu);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("adjust_ich NG!!!"), std::string::npos);
}

TEST_F(IchTest, AWindowOutOfTheLayoutOrWithoutInputHoldsNoChannel)
{
    window(2, 4);
    ASSERT_EQ(m->set_input(2, 4), 0);
    m->reset_ich(2);
    EXPECT_EQ(channelsOf(2), (V{4, 5}));  // still in the layout
    m->model.PM_WIN_SHAPE[2][1] = 0;
    EXPECT_EQ(m->check_ich_all(0), 0);  // costs nothing
    m->reset_ich(2);
    EXPECT_TRUE(channelsOf(2).empty());
    EXPECT_EQ(m->ich.ich_win[4], -1);
    EXPECT_EQ(m->set_input(2, 4), 2);  // unavailable

    window(0, x518_manage::kNoPort);
    own({0, 1}, 0);
    m->rebuildWinIch();
    EXPECT_EQ(m->check_ich_all(1), 0);
    EXPECT_EQ(m->set_input(0, x518_manage::kNoPort), 2);
    EXPECT_TRUE(channelsOf(0).empty());
    EXPECT_EQ(m->set_input(0, x518_manage::kPortNone), 2);
    m->set_ichsel(fd, 0);  // nothing to select, nothing indexed
}

TEST_F(IchTest, ChannelSelectorsFollowPortsLanesAndArrangements)
{
    auto ichsel = [&](int c) { return chip->reg(0x00, u8(0x10 + c)); };
    window(0, 5);
    m->ports.PI_HDMI_INFO[5].lane = 8;
    ASSERT_EQ(m->set_input(0, 5), 0);
    m->set_ichsel(fd, 0);
    EXPECT_EQ(ichsel(4), 12);
    EXPECT_EQ(ichsel(5), 14);
    m->ports.PI_HDMI_INFO[5].lane = 4;
    m->set_ichsel(fd, 0);
    EXPECT_EQ(ichsel(5), 13);

    window(1, 2);
    m->ports.PI_HDMI_INFO[2].datamode = 1;  // two pixels per clock: a pair, both on the port
    ASSERT_EQ(m->set_input(1, 2), 0);
    EXPECT_EQ(channelsOf(1), (V{6, 7}));
    m->set_ichsel(fd, 1);
    EXPECT_EQ(ichsel(6), 4);
    EXPECT_EQ(ichsel(7), 4);

    window(2, 4, 50);
    m->ports.PI_HDMI_INFO[4].lane = 2;
    own({0, 1, 2, 3}, 2);
    m->rebuildWinIch();
    m->set_ichsel(fd, 2);
    // Channels 0-1 capture port 5's halves, 2-3 port 4's.
    EXPECT_EQ(ichsel(0), 12);
    EXPECT_EQ(ichsel(1), 13);
    EXPECT_EQ(ichsel(2), 8);
    EXPECT_EQ(ichsel(3), 9);
}

TEST_F(IchTest, TheDualSplitOfAPairTakesThePortsArea)
{
    m->ports.PI_ACT[1][0] = 96;
    m->ports.PI_ACT[1][1] = 960;
    m->set_idual(fd, 5, 1, 1);  // pair 2 (channels 4-5)
    EXPECT_EQ(chip->reg(0x03, 0x1A), 3);
    EXPECT_EQ(chip->regValue(x518::reg(0x03, 0x1B, 2)), 96u);
    EXPECT_EQ(chip->regValue(x518::reg(0x03, 0x1D, 2)), 1920u);
    m->set_idual(fd, 5, 0, 1);
    EXPECT_EQ(chip->reg(0x03, 0x1A), 0);
}
