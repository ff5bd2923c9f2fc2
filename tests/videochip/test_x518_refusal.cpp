// A window the input channels cannot carry: it shows black and holds
// nothing, register 45 and a change code tell, the windows that own their
// channels go on being set up, and it is shown once the channels allow.
#include "tests/support/canvas_probe.h"
#include "tests/videochip/chip_test.h"

#include "platform/sim/sim_x518_canvas.h"
#include "platform/sim/sim_x518_memory.h"
#include "registers/x518_regs.h"

#include <QSignalSpy>

using canvasprobe::Box;
using platform::sim::SourceTiming;

namespace {

constexpr int kPortHdmi1 = 1;
constexpr int kW = 3840, kH = 2160;

class RefusalTest : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        platform::sim::plugSource(ram::kSourceHdmi2, SourceTiming::p1080_60());
        platform::sim::plugSource(ram::kSourceDvi, SourceTiming::p1080_60());
        platform::sim::plugSource(ram::kSourceHdmi3, SourceTiming::p1080_60());
        inputsUp();
        settle();
        codes = std::make_unique<QSignalSpy>(store, &KelRamPara::sig_update_para);
    }
    void settle()
    {
        for (int i = 0; i < 12; ++i) {
            poll();
            m->runPass();
        }
    }
    template <class F> void apply(F edit)
    {
        write([&](KEL_RAM_PARA& b) { edit(b); });
        m->runPass();
    }
    // Six windows costing all eight channels: four on 1080p inputs, two on
    // HDMI3 (a pair each).
    static void sixWindows(KEL_RAM_PARA& b)
    {
        b.splice_mode = ram::SPLICE_NONE;
        b.led_width = kW;
        b.led_height = kH;
        b.out1_rect = {0, 0, kW, kH};
        const u16 sources[] = {ram::kSourceHdmi1, ram::kSourceHdmi1, ram::kSourceHdmi1,
                               ram::kSourceHdmi2, ram::kSourceHdmi3, ram::kSourceHdmi3};
        for (int w = 0; w < 6; ++w) {
            IMAGE_PARA& im = b.image[w];
            im = IMAGE_PARA{};
            im.enable = ram::kImageShown;
            im.source = sources[w];
            im.x = u16(w % 3 * 1280), im.y = u16(w / 3 * 1080), im.w = 1280, im.h = 1080;
            b.image_priority[w] = u16(w);
        }
    }
    u8 refused() const { return store->reg_image.window_refused; }
    int told() const
    {
        return int(std::count_if(codes->begin(), codes->end(),
                                 [](const QList<QVariant>& a) { return a.at(0).toInt() == SYNC_WINDOWS_REFUSED; }));
    }
    bool black(int w) const
    {
        for (int c = 0; c < x518_manage::kChannels; ++c)
            if (m->model.PM_WIN_NUM[c] == w && !(chip->regValue(x518::kBkgShow, x518::kChannelStride * u32(c)) & 1))
                return false;
        return true;
    }
    int channels(int w) const
    {
        int n = 0;
        while (n < x518_manage::kChannels && m->ich.win_ich[w][n] >= 0)
            ++n;
        return n;
    }
    bool memorySound() const
    {
        return platform::sim::memoryFaults(platform::sim::writeAreas(chip->registers())).empty();
    }
    std::unique_ptr<QSignalSpy> codes;
};

}  // namespace

// The case of the six windows: window 2 switched from HDMI1 to HDMI3 asks
// for a ninth channel.
TEST_F(RefusalTest, ARefusedWindowShowsBlackIsToldAndKeepsNoOtherWindowFromItsSetUp)
{
    apply(sixWindows);
    ASSERT_EQ(refused(), 0);
    for (int w = 0; w < 6; ++w)
        ASSERT_FALSE(black(w)) << w;

    apply([](KEL_RAM_PARA& b) { b.image[2].source = ram::kSourceHdmi3; });
    EXPECT_EQ(live().image[2].source, ram::kSourceHdmi3);  // the block keeps what was asked
    EXPECT_EQ(refused(), 0x04);
    EXPECT_EQ(told(), 1);
    EXPECT_EQ(channels(2), 0);
    EXPECT_TRUE(black(2));
    EXPECT_TRUE(memorySound());

    // HDMI1 re-plugged at 720p: its two windows are set up for it.
    platform::sim::plugSource(ram::kSourceHdmi1, SourceTiming::p720_60());
    settle();
    for (int w : {0, 1}) {
        EXPECT_EQ(m->model.IWIN[w].hw, 1280) << w;
        EXPECT_EQ(channels(w), 1) << w;
        EXPECT_FALSE(black(w)) << w;
    }
    const KEL_RAM_PARA& b = live();
    const platform::Canvas shown = chip->canvas({b.och_num_h, b.och_num_v, b.led_x, b.led_y, b.led_width, b.led_height});
    long checked = 0;
    EXPECT_EQ(canvasprobe::mismatches(shown, platform::sim::drawTestCard(kPortHdmi1, 1280, 720, 60, 0),
                                      {{0, 0, 1280, 1080}, {0, 0, 1280, 720}}, 32, &checked),
              0);
    EXPECT_GT(checked, 200);
    EXPECT_EQ(refused(), 0x04);  // still waiting, told once
    EXPECT_EQ(told(), 1);

    // Window 4 given a cheaper input: window 2 gets its pair and shows.
    apply([](KEL_RAM_PARA& b) { b.image[4].source = ram::kSourceDvi; });
    EXPECT_EQ(refused(), 0);
    EXPECT_EQ(told(), 2);
    EXPECT_EQ(channels(2), 2);
    EXPECT_FALSE(black(2));
    EXPECT_TRUE(memorySound());
}

// A new layout sets every window up anew: a window still too costly stays
// refused without being told again; hidden, it is no longer refused.
TEST_F(RefusalTest, ARelayoutKeepsTheRefusalAndHidingTheWindowEndsIt)
{
    apply(sixWindows);
    apply([](KEL_RAM_PARA& b) { b.image[2].source = ram::kSourceHdmi3; });
    ASSERT_EQ(refused(), 0x04);
    apply([](KEL_RAM_PARA& b) { b.image[0].x = 100; });
    EXPECT_EQ(refused(), 0x04);
    EXPECT_EQ(told(), 1);
    EXPECT_TRUE(black(2));
    apply([](KEL_RAM_PARA& b) { b.image[2].enable = 0; });
    EXPECT_EQ(refused(), 0);
    EXPECT_EQ(told(), 2);
}

// Two windows of four inputs side by side fit the eight channels, but the
// dot-by-dot memory holds only one of them: the second is refused, and the
// first keeps its picture.
TEST_F(RefusalTest, AWindowTheDotByDotMemoryCannotHoldIsRefused)
{
    apply([](KEL_RAM_PARA& b) {
        b.splice_mode = ram::SPLICE_NONE;
        b.led_width = kW;
        b.led_height = kH;
        b.out1_rect = {0, 0, kW, kH};
        for (IMAGE_PARA& im : b.image)
            im = IMAGE_PARA{};
        for (int w = 0; w < 2; ++w) {
            IMAGE_PARA& im = b.image[w];
            im.enable = ram::kImageShown;
            im.source = ram::kSourceHdmi2;
            im.x = 0, im.y = u16(w * 1080), im.w = kW, im.h = 1080;
            im.flags = ram::kFlagDotByDot;
            im.dbd_mode = 6;  // four inputs side by side
        }
    });
    EXPECT_EQ(refused(), 0x02);
    EXPECT_EQ(channels(0), 4);
    EXPECT_EQ(channels(1), 0);
    EXPECT_FALSE(black(0));
    EXPECT_TRUE(black(1));
    EXPECT_TRUE(memorySound());
}
