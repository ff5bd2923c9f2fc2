// The output panel: the channel timing list, each splice mode's channels,
// timing and published geometry, and the output timing registers.
#include "tests/videochip/chip_test.h"

#include "registers/x518_regs.h"
#include "videochip/x518_och_timing.h"

#include <map>

namespace {

using x518::reg;

struct Canvas {
    u16 splice, ledW, ledH, out1w, out1h;
};
struct Published {
    u16 x, y, across, down, w, h;
    bool operator==(const Published& o) const
    {
        return x == o.x && y == o.y && across == o.across && down == o.down && w == o.w && h == o.h;
    }
};
std::ostream& operator<<(std::ostream& os, const Published& p)
{
    return os << "(" << p.x << ", " << p.y << ", " << p.across << "x" << p.down << ", " << p.w << "x" << p.h << ")";
}

class PanelTest : public ManagerTest {
protected:
    void init(const Canvas& c)
    {
        chip->clearJournal();
        m->kelApi_PnlInit2(c.ledW, c.ledH, c.out1w, c.out1h, c.splice);
    }
    Published published() const
    {
        const KEL_RAM_PARA& b = store->ram_para;
        return {b.led_x, b.led_y, b.och_num_h, b.och_num_v, b.och_w, b.och_h};
    }
    u32 och(u32 spec, int channel) const { return chip->regValue(spec, x518::kChannelStride * u32(channel)); }
};

}  // namespace

TEST(OchTimingList, FollowsItsRuleWithItsTellingRows)
{
    const auto& list = x518::ochTimingList();
    ASSERT_EQ(list.size(), x518::kOchTimingPairs);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(list[size_t(i)].vtt, i < 7 ? 15000 : 15000 + i - 6) << i;
    EXPECT_EQ(list.back().htt, 8280);
    EXPECT_EQ(list.back().vtt, 1196);

    std::map<i32, std::vector<i32>> rows;
    size_t stray = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const x518::OchTimingPair p = list[i];
        if (p.htt == 2257) {
            EXPECT_EQ(p.vtt, 2257);
            stray = i;
            continue;
        }
        rows[p.htt].push_back(p.vtt);
        const int64_t pixels = int64_t(p.htt) * p.vtt;
        EXPECT_TRUE(pixels >= 9899328 && pixels <= 9971200) << p.htt << " x " << p.vtt;
        if (i > 0 && list[i - 1].htt != 2257) {
            EXPECT_GE(p.htt, list[i - 1].htt) << i;
        }
    }
    EXPECT_EQ(list[stray - 1].htt, 4388);
    EXPECT_EQ(list[stray + 1].htt, 4392);
    EXPECT_EQ(rows.size(), size_t((8280 - 660) / 4 + 1));
    for (const auto& [htt, vtts] : rows) {
        EXPECT_EQ(htt % 4, 0);
        EXPECT_TRUE(vtts.size() >= 1 && vtts.size() <= 13) << htt;
        EXPECT_EQ(vtts.front(), (9900000 + htt - 1) / htt) << htt;
    }
    EXPECT_EQ(rows[1984].front(), 4990);
    EXPECT_EQ(rows[3904].front(), 2536);
    EXPECT_EQ(rows[4160].front(), 2380);
    EXPECT_EQ(rows[4400].front(), 2250);
    EXPECT_EQ(rows[1216].back(), 8200);
}

TEST_F(PanelTest, EachSpliceModeGivesItsChannelsTimingAndPublishedGeometry)
{
    struct Case {
        const char* name;
        Canvas canvas;
        Published published;
        u32 htt, vtt, channelMap;
    };
    const Case cases[] = {
        {"none 1080p", {0, 1920, 1080, 1920, 1080}, {0, 0, 1, 1, 1920, 1080}, 1984, 4990, 0x03020100},
        {"none 2160p", {0, 3840, 2160, 1920, 1080}, {0, 0, 1, 1, 3840, 2160}, 3904, 2536, 0x03020100},
        {"H split", {3, 3840, 1080, 1920, 1080}, {0, 0, 2, 1, 1920, 4978}, 1984, 4990, 0x00010000},
        {"V split", {2, 1920, 2160, 1920, 1080}, {0, 0, 1, 2, 1920, 1080}, 1984, 4990, 0x00010000},
        // 7 acts as HV: output 1 (1000 high) ends on the centre line.
        {"HV split", {7, 1920, 2160, 1920, 1000}, {0, 160, 1, 2, 1920, 1160}, 1984, 4990, 0x00010000},
        {"CP12", {4, 3840, 2160, 1920, 1080}, {0, 0, 1, 1, 3840, 2160}, 3904, 2536, 0},
        {"CP21", {5, 1920, 1080, 1920, 1080}, {0, 0, 1, 2, 0, 1080}, 660, 15000, 0x00010000},
        // 9,800,000 pixels still on one channel; no pair is that tall: computed totals.
        {"at the limit", {0, 3500, 2800, 1920, 1080}, {0, 0, 1, 1, 3500, 2800}, 3564, 2812, 0x03020100},
        {"one past it", {0, 3501, 2800, 1920, 1080}, {0, 0, 2, 1, 1752, 2800}, 1828, 5416, 0x03020100},
        // Output 1 one pixel wider than the canvas: 65535 x 40000 pixels is two
        // channels across, not a wrapped 32-bit product.
        {"wrapped output 2", {3, 1920, 40000, 1921, 1080}, {63615, 0, 4, 1, 0, 40000}, 76, 40076, 0x03020100},
    };
    for (const Case& c : cases) {
        init(c.canvas);
        EXPECT_EQ(published(), c.published) << c.name;
        EXPECT_EQ(store->ram_para.och_mode, 0) << c.name;
        for (int k : {0, 7}) {
            EXPECT_EQ(och(x518::kOchHtotal, k), c.htt - 2) << c.name;
            EXPECT_EQ(och(x518::kOchVtotal, k), c.vtt - 2) << c.name;
            EXPECT_EQ(och(x518::kOactHw, k), c.published.w) << c.name;
        }
        EXPECT_EQ(chip->regValue(reg(0x03, 0x55, 4)), c.channelMap) << c.name;
    }
}

TEST_F(PanelTest, TheOutputTimingRegistersFollowTheChannel)
{
    loadModel();
    init({0, 1920, 1080, 1920, 1080});  // 1984 x 4990: back porches 44 and 3904
    const u32 hs = 12 + 44, vs = 3 + 3904;
    EXPECT_EQ(m->sys.PS_ACTHST, hs);
    EXPECT_EQ(m->sys.PS_PANEL_HW, 3840u);  // two channels side by side
    for (u32 a : {0x44u, 0x4Cu})
        EXPECT_EQ(chip->reg(0x03, u8(a)), 5);  // hsw / 2 - 1
    for (u32 a : {0x45u, 0x4Du})
        EXPECT_EQ(chip->reg(0x03, u8(a)), 2);  // vsw - 1
    for (int k = 0; k < x518_manage::kChannels; ++k) {
        EXPECT_EQ(och(reg(0x08, 0x1D, 2), k), 64u);
        for (u32 copy : {0u, 8u}) {
            EXPECT_EQ(och(reg(0x08, 0x28 + copy, 2), k), hs) << k;
            EXPECT_EQ(och(reg(0x08, 0x2A + copy, 2), k), hs + 1920) << k;
            EXPECT_EQ(och(reg(0x08, 0x2C + copy, 2), k), vs) << k;
            EXPECT_EQ(och(reg(0x08, 0x2E + copy, 2), k), vs + 1080) << k;
        }
        EXPECT_EQ(och(x518::kOactHst, k), hs);
        EXPECT_EQ(och(x518::kOactVst, k), vs);
        EXPECT_EQ(och(x518::kOactVw, k), 1081u);
    }
    EXPECT_EQ(chip->regValue(reg(0x03, 0x5E, 4)), 0x76543210u);
    EXPECT_EQ(chip->regValue(reg(0x03, 0x62, 4)), 0x76543210u);
    EXPECT_EQ(writesTo(0x03, 0x5E).size(), 2u);  // written again after the first transmitter's words
    const std::map<std::pair<u8, u8>, u8> fixed = {{{0x02, 0x08}, 9},   {{0x02, 0x78}, 9},   {{0x00, 0x47}, 33},
                                                   {{0x00, 0x4C}, 33},  {{0x00, 0x4B}, 11},  {{0x00, 0x50}, 11},
                                                   {{0x00, 0x48}, 137}, {{0x00, 0x4D}, 137}, {{0x03, 0x2E}, 0}};
    for (const auto& [at, value] : fixed)
        EXPECT_EQ(chip->reg(at.first, at.second), value) << std::hex << int(at.first) << ":" << int(at.second);
}
