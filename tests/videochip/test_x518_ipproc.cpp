// Input-channel picture processing: what the chain of channels 0-3 is given
// for an interlaced and a plain progressive port, that nothing else gets
// it, the channel mode words and the shrink coefficient sets.
#include "tests/videochip/chip_test.h"

#include "videochip/x518_ipproc_tables.h"

using x518::reg;

namespace {

class IpProcTest : public ManagerTest {
protected:
    void SetUp() override
    {
        ManagerTest::SetUp();
        loadModel();
    }
    // Window 0 on `port`, owning input channel `ch`.
    void windowOn(int port, int ch, int state, int interlaced, int height)
    {
        m->model.PM_INPUT[0] = port;
        m->ich.ich_win[ch] = 0;
        m->rebuildWinIch();
        m->ports.PI_STATE[port] = state;
        m->ports.PI_SCAN_MODE[port] = interlaced;
        m->ports.PI_ACT[port][1] = 1920;
        m->ports.PI_ACT[port][2] = 20;
        m->ports.PI_ACT[port][3] = height;
    }
    u32 at(u32 spec, int ch) const { return chip->regValue(spec, x518::kChannelStride * u32(ch)); }
    bool bankWritten(u8 bank) const
    {
        for (const auto& e : chip->journal())
            if (e.bank == bank)
                return true;
        return false;
    }
};

}  // namespace

TEST_F(IpProcTest, AnInterlaced1080InputGetsTheDeinterlacerAndThe1080iBlockSet)
{
    windowOn(1, 2, 5, 1, 540);
    m->ports.PM_BNR[1] = 2;
    m->set_ip(fd, 2);
    EXPECT_EQ(at(reg(0x15, 0x3B, 1), 2), 160u);       // block set of level 2
    EXPECT_EQ(at(reg(0x15, 0x6A, 1), 2), 48u);        // of the 1080i member
    EXPECT_EQ(at(x518::ipproc::kNrMaster, 2), 0u);    // interlaced: master off
    EXPECT_EQ(at(x518::ipproc::kIpMode, 2), 0u);      // the de-interlacer is on
    EXPECT_EQ(at(x518::ipproc::kIpActVw, 2), 1080u);  // fields doubled
    EXPECT_EQ(at(x518::ipproc::kIpActVst, 2), 0x8000u | 40u);
    EXPECT_EQ(at(x518::ipproc::kCadence, 2), 51u);
    EXPECT_EQ(at(reg(0x14, 0x31, 1), 2), 142u);  // state 5 column
    EXPECT_EQ(at(x518::ipproc::kFieldMemInterlaced, 2), 1u);
    EXPECT_EQ(at(x518::ipproc::kFieldYOffset, 2), m->sys.PS_MEM_IPYOFF[2]);
    EXPECT_EQ(at(x518::ipproc::kDiagFirst, 2), 11u);  // default level 2
    EXPECT_EQ(at(x518::ipproc::kMotionEnable, 2), 31u);
    EXPECT_EQ(at(reg(0x14, 0x1A, 1), 2), 8u);  // default motion level 3
}

TEST_F(IpProcTest, AProgressiveInputWithoutLevelsOnlySwitchesTheReducersOff)
{
    windowOn(0, 0, 4, 0, 1080);
    chip->setRegValue(x518::ipproc::kNrMaster, 3);
    chip->clearJournal();
    m->set_ip(fd, 0);
    EXPECT_FALSE(bankWritten(0x14));  // no de-interlacer, no filters
    EXPECT_EQ(at(x518::ipproc::kNrMaster, 0), 0u);
    EXPECT_EQ(at(x518::ipproc::kFieldMemInterlaced, 0), 0u);
    EXPECT_EQ(at(x518::ipproc::kFieldRead0, 0), m->sys.PS_MEM_IP_P[0][0]);

    // A level alone makes it active: the progressive block set and master.
    m->ports.PM_BNR[0] = 1;
    m->set_ip(fd, 0);
    EXPECT_EQ(at(x518::ipproc::kNrMaster, 0), 3u);
    EXPECT_EQ(at(x518::ipproc::kBlockNrEnable, 0), 8855u);
    EXPECT_EQ(at(x518::ipproc::kIpMode, 0), 16u);
}

// Channels 4-7 have no chain, and a window without a chip port (6, 255)
// never reaches the port tables.
TEST_F(IpProcTest, NoChainWithoutAProcessedChannelOrAPort)
{
    for (int p = 0; p < x518_manage::kPorts; ++p) {
        m->ports.PI_STATE[p] = 5;
        m->ports.PI_SCAN_MODE[p] = 1;
        m->ports.PM_BNR[p] = m->ports.PM_TNR[p] = m->ports.PM_MNR[p] = m->ports.PM_COMB[p] = 1;
    }
    const struct {
        int channel, port;
    } cases[] = {{4, 1}, {5, 1}, {6, 1}, {7, 1}, {0, 6}, {0, 255}, {0, -1}};
    for (const auto& c : cases) {
        m->model.PM_INPUT[0] = c.port;
        m->ich.ich_win[c.channel] = 0;
        chip->clearJournal();
        m->set_ip(fd, c.channel);
        m->set_ipregs(fd, c.channel, c.port);
        m->set_nr(fd, c.channel, c.port);
        m->set_nr_b_1080p(fd, c.channel, c.port);
        m->set_nr_tpx(fd, c.channel, c.port);
        m->set_nr_hvpx(fd, c.channel, c.port);
        m->set_nr_mosq(fd, c.channel, c.port);
        m->set_diag(fd, c.channel, c.port);
        m->set_comb(fd, c.channel, c.port);
        m->set_mvflt(fd, c.channel, c.port);
        EXPECT_TRUE(chip->journal().empty()) << "channel " << c.channel << " port " << c.port;
        m->ich.ich_win[c.channel] = x518_manage::kNone;
    }
}

TEST_F(IpProcTest, ChannelModeFollowsTheLevelsAndFurtherChannelsFollowTheFirst)
{
    const u32 mct0 = x518::ipproc::kMct, mct1 = x518::ipproc::kMct + x518::kAddressStep;
    m->model.PM_WIN_DBD_MODE[0] = 0;
    windowOn(1, 0, 5, 1, 540);
    m->ich.ich_win[1] = 0;
    m->rebuildWinIch();
    const struct {
        int bnr, hnr;
        u32 flag, mct, isyct, master;
    } cases[] = {
        {0, 0, 0, 31, 0, 0xFF},  // interlaced: processing bits, sync from the chain, master left
        {0, 1, 1, 31, 1, 1},     // flag: taken as progressive, other reducers: master 1
        {1, 0, 1, 31, 1, 3},     // block reduction: master 3
        {0, 0, 1, 17, 1, 0},     // nothing: master 0
    };
    chip->setRegValue(x518::ipproc::kNrMaster, 0xFF);
    for (const auto& c : cases) {
        m->ports.PM_BNR[1] = c.bnr;
        m->ports.PM_HNR[1] = c.hnr;
        m->set_mct(fd, 0, c.flag);
        EXPECT_EQ(chip->regValue(mct0), c.mct) << c.bnr << c.hnr << c.flag;
        EXPECT_EQ(chip->regValue(x518::kIsyct), c.isyct);
        EXPECT_EQ(chip->regValue(x518::ipproc::kNrMaster), c.master);
        EXPECT_EQ(chip->regValue(mct1), 17u);
        EXPECT_EQ(chip->regValue(x518::kIsyct, x518::kChannelStride), 8u);
    }
}

TEST_F(IpProcTest, ShrinkRatiosChooseTheirCoefficientSets)
{
    const struct {
        int ratio;
        u32 hset;
        u8 vFirst;  // coefficient 9 of the vertical set
    } cases[] = {
        {0, 44, 13},     {13107, 1, 13},   {13108, 2, 10},   {39321, 6, 1},
        {39322, 8, 253}, {62260, 38, 252}, {65000, 38, 252}, {65001, 44, 252},
    };
    for (const auto& c : cases) {
        m->set_lut_hshrnk(fd, c.ratio, 2, 1);
        m->set_lut_vshrnk_4sym(fd, c.ratio, 2, 1);
        EXPECT_EQ(chip->regValue(x518::ipproc::kLutSelect), c.hset) << c.ratio;
        EXPECT_EQ(chip->regValue(reg(0x31, 0x70, 1)), c.vFirst) << c.ratio;
        EXPECT_EQ(chip->regValue(reg(0x41, 0x70, 1)), c.vFirst) << c.ratio;  // the pair's second channel
    }
    EXPECT_EQ(chip->regValue(reg(0x31, 0x68, 1)), 0u);
    EXPECT_EQ(writesTo(0x00, 0x7A).back(), 143u);  // loaded into channels 2 and 3
    EXPECT_EQ(writesTo(0x00, 0x7A).rbegin()[1], 139u);
    // The same set again: loaded again, the select it holds left alone.
    chip->clearJournal();
    m->set_lut_hshrnk(fd, 65001, 2, 0);
    EXPECT_TRUE(writesTo(0x00, 0x79).empty());
    EXPECT_EQ(writesTo(0x00, 0x7A), (std::vector<uint8_t>{139}));
}
