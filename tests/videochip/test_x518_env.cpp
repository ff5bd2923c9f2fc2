// The multi-window environment: which output channels the windows get, as
// the chip's channel-in-use bits show it, spares for shared channels, layers,
// the default window, and block windows mapped to the chip windows.
#include "tests/videochip/chip_test.h"

#include "registers/x518_regs.h"

#include <bitset>
#include <functional>

namespace {

// 3840 x 2600 pixels is more than one channel across: four channels of
// 1920 x 2600 side by side.
constexpr u16 kWideW = 3840, kWideH = 2600, kCell = 1920;

void show(KEL_RAM_PARA& b, int w, u16 x, u16 y, u16 width, u16 height, u16 source = ram::kSourceHdmi1)
{
    IMAGE_PARA& im = b.image[w];
    im.enable = ram::kImageShown;
    im.source = source;
    im.x = x;
    im.y = y;
    im.w = width;
    im.h = height;
}

void hideAll(KEL_RAM_PARA& b)
{
    for (int w = 0; w < ram::kShownImages; ++w)
        b.image[w].enable = 0;
}

// Output channels 0-7 that show a window, as a bit string "76543210". The
// chip marks each in use (bit 0 of 00:08 + k, which an input channel's
// mode word shares, so it cannot tell which channels are not).
std::string inUse(const SimX518& chip, const x518_manage& m)
{
    std::bitset<x518::kChannels> bits;
    for (u32 c = 0; c < u32(x518::kChannels); ++c) {
        bits[c] = m.model.PM_WIN_NUM[c] != x518_manage::kNoWindow;
        if (bits[c]) {
            EXPECT_NE(chip.regValue(x518::regAt(x518::kOchEnable, c)) & x518::kOchEnableOn, 0u) << c;
        }
    }
    return bits.to_string();
}

class EnvTest : public RunningChipTest {
protected:
    void pass() { m->runPass(); }
    // The canvas and the windows in one write, applied in one pass.
    template <class F>
    void layout(u16 splice, u16 ledW, u16 ledH, F windows)
    {
        write([&](KEL_RAM_PARA& b) {
            b.splice_mode = splice;
            b.led_width = ledW;
            b.led_height = ledH;
            hideAll(b);
            windows(b);
        });
        pass();
    }
};

}  // namespace

TEST_F(EnvTest, AWindowMovedOrResizedIsReLaidOntoTheChannelsItCovers)
{
    layout(ram::SPLICE_NONE, kWideW, kWideH, [](KEL_RAM_PARA& b) { show(b, 0, 0, 0, kCell, 1080); });
    EXPECT_EQ(inUse(*chip, *m), "00000001");
    struct Step {
        u16 x, w;
        const char* channels;
    };
    const Step steps[] = {
        {3 * kCell, kCell, "00001000"},
        {1000, 2 * kCell, "00000111"},  // from channel 0 into channel 2
        {0, 2 * kCell, "00000011"},     // ending on the border of channel 2: not in it
    };
    for (const Step& s : steps) {
        write([&](KEL_RAM_PARA& b) {
            b.image[0].x = s.x;
            b.image[0].w = s.w;
        });
        pass();
        EXPECT_EQ(inUse(*chip, *m), s.channels) << s.x << " + " << s.w;
    }
}

TEST_F(EnvTest, WindowsSharingAChannelGetSparesAndUniqueLayers)
{
    layout(ram::SPLICE_NONE, kWideW, kWideH, [](KEL_RAM_PARA& b) {
        show(b, 0, 0, 0, 800, 600);
        show(b, 1, 800, 0, 800, 600);
        show(b, 2, 0, 600, 800, 600);
        show(b, 3, 3 * kCell, 0, 800, 600);
        const u16 priorities[] = {2, 2, 0, 7};
        std::copy(std::begin(priorities), std::end(priorities), b.image_priority);
    });
    // Windows 1 and 2 share channel 0 with window 0: they take spares 1 and 2.
    EXPECT_EQ(inUse(*chip, *m), "00001111");
    const i32 windowOf[] = {0, 1, 2, 3, 6, 6, 6, 6};
    const i32 overlay[] = {1, 1, 1, 4, 5, 6, 7, 8};  // the spares blend into channel 0's mixer
    for (int c = 0; c < x518_manage::kChannels; ++c) {
        EXPECT_EQ(m->model.PM_WIN_NUM[c], windowOf[c]) << c;
        EXPECT_EQ(m->model.PM_OVERLAY[c], overlay[c]) << c;
    }
    EXPECT_EQ(m->model.och_spare[1], 1);
    // Priorities 2, 2, 0, 7: a taken layer goes to the lowest free one, 7 is 1.
    const u8 layers[] = {2, 0, 1, 3};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(m->model.win_info[i].layer, layers[i]) << i;
    // The spares blend into mixer 0 with channel 0; channel 3 alone in its own.
    const u32 mixer0 = chip->regValue(x518::kOverlaySelect);
    EXPECT_EQ(std::bitset<16>(1u << (mixer0 & 0xF) | 1u << (mixer0 >> 4 & 0xF) | 1u << (mixer0 >> 8 & 0xF)),
              std::bitset<16>(0x700));
    EXPECT_EQ(mixer0 >> 12, 0u);
    EXPECT_EQ(chip->regValue(x518::kOverlaySelect, 3 * x518::kChannelStride), 0xBu);
}

TEST_F(EnvTest, AnUnshowableBlockGivesOneWindowOverTheCanvas)
{
    struct Case {
        const char* name;
        u16 splice, ledH, out1h;
        std::function<void(KEL_RAM_PARA&)> windows;
        const char* channels;
    };
    auto wide = [](KEL_RAM_PARA& b) { show(b, 0, 0, 0, 3841, 100); };
    const Case cases[] = {
        // Output 1 is 1000 high: the canvas starts 160 lines down, the window covers both rows.
        {"no window", ram::SPLICE_HV, 2160, 1000, [](KEL_RAM_PARA&) {}, "00000011"},
        {"first enable word 0x0100", ram::SPLICE_HV, 2160, 1000,
         [](KEL_RAM_PARA& b) {
             show(b, 0, 0, 0, 100, 100);
             b.image[0].enable = 0x0100;
         },
         "00000011"},
        {"wider than the channels", ram::SPLICE_NONE, 1080, 1080, wide, "00000001"},
        {"mirror 4", ram::SPLICE_NONE, 1080, 1080,
         [](KEL_RAM_PARA& b) {
             show(b, 0, 0, 0, 100, 100);
             b.image[0].mirror = 4;
         },
         "00000001"},
        {"source 6", ram::SPLICE_NONE, 1080, 1080, [](KEL_RAM_PARA& b) { show(b, 0, 0, 0, 100, 100, 6); }, "00000001"},
        {"crop beyond the list", ram::SPLICE_NONE, 1080, 1080,
         [](KEL_RAM_PARA& b) { show(b, 0, 0, 0, 100, 100, ram::kSourceIsCrop | ram::kCrops); }, "00000001"},
        // Channels 0 wide: neither window nor default window gets a channel.
        {"CP21", ram::SPLICE_CP21, 1080, 1080, wide, "00000000"},
    };
    for (const Case& c : cases) {
        write([&](KEL_RAM_PARA& b) { b.out1_rect.h = c.out1h; });
        layout(c.splice, 1920, c.ledH, c.windows);
        EXPECT_EQ(inUse(*chip, *m), c.channels) << c.name;
        EXPECT_EQ(m->model.wincnt, 1) << c.name;
        EXPECT_EQ(m->recordOfWindow(0), -1) << c.name;
        const ST_WIN_INFO& r = m->model.win_info[0];
        EXPECT_EQ(r.y, live().led_y) << c.name;
        EXPECT_EQ(r.w, 1920) << c.name;
        EXPECT_EQ(r.h, c.ledH) << c.name;
    }
}

TEST_F(EnvTest, SettersReachTheChipWindowOfABlockWindowAndAPortlessSourceIsBlack)
{
    // Windows 0 and 2 shown, 1 not: window 2 is chip window 1, on spare channel 1.
    write([](KEL_RAM_PARA& b) {
        b.image[1].enable = 0;
        b.image[3].enable = 0;
    });
    pass();
    ASSERT_EQ(m->recordOfWindow(2), 1);
    EXPECT_EQ(m->recordOfWindow(1), -1);
    EXPECT_EQ(inUse(*chip, *m), "00000011");

    chip->clearJournal();
    write([](KEL_RAM_PARA& b) { b.image[2].source = 4; });  // an id no port carries
    pass();
    EXPECT_EQ(chip->regValue(x518::kBkgShow, x518::kChannelStride), 1u);
    EXPECT_TRUE(writesTo(0x08, 0x48).empty());  // window 0's channel is left alone
    EXPECT_EQ(m->model.PM_INPUT[1], x518_manage::kNoPort);

    // The environment takes a portless source the same way: window 1 shown
    // again is chip window 1 (spare channel 1), window 2 moves to channel 2.
    chip->clearJournal();
    write([](KEL_RAM_PARA& b) {
        b.image[1].source = 5;
        b.image[1].enable = ram::kImageShown;
    });
    pass();
    for (int c : {1, 2})
        EXPECT_EQ(chip->regValue(x518::kBkgShow, x518::kChannelStride * u32(c)), 1u) << c;
    EXPECT_EQ(chip->regValue(x518::kBkgShow), 1u);  // window 0's own input (DVI) has no signal
    EXPECT_EQ(m->model.PM_INPUT[0], 2);             // DVI
    EXPECT_EQ(m->model.PM_INPUT[1], x518_manage::kNoPort);
}
