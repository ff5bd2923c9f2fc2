// The window programming seen from outside: a block written by a writer,
// one apply pass, and the simulated chip's canvas shows each window at its
// rectangle in its input's colour; dot-by-dot, fades and picture holds,
// layers beyond four, and a window the channel budget refuses.
#include "tests/support/canvas_probe.h"
#include "tests/videochip/chip_test.h"

#include "platform/sim/sim_x518_canvas.h"
#include "registers/x518_regs.h"

#include <algorithm>

using platform::sim::portColour;
using platform::sim::SourceTiming;

namespace {

constexpr int kPortHdmi2 = 0, kPortHdmi1 = 1, kPortDvi = 2, kPortHdmi3 = 5;
constexpr u16 kWideW = 3840, kWideH = 2600;  // two output channels of 1920 x 2600 across the LED

using Rect = canvasprobe::Box;
using Painted = canvasprobe::Found;

// Where a colour shows on the canvas, and how many pixels.
Painted painted(const platform::Canvas& c, uint32_t colour)
{
    return canvasprobe::find(c, colour);
}

class WindowTest : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        chip->setPlainInputs(true);  // these cases look at where windows land
        for (int source : {ram::kSourceDvi, ram::kSourceHdmi1, ram::kSourceHdmi2, ram::kSourceHdmi3})
            platform::sim::plugSource(source, SourceTiming::p1080_60());
        inputsUp();
        settle();
    }
    // The inputs' reports taken in and measured.
    void settle()
    {
        for (int i = 0; i < 12; ++i) {
            poll();
            m->runPass();
        }
    }
    template <class F>
    void apply(F edit)
    {
        write(edit);
        m->runPass();
    }
    static void show(KEL_RAM_PARA& b, int w, u16 source, Rect r, u16 layer = 0)
    {
        IMAGE_PARA& im = b.image[w];
        im.enable = ram::kImageShown;
        im.source = source;
        im.x = u16(r.x), im.y = u16(r.y), im.w = u16(r.w), im.h = u16(r.h);
        b.image_priority[w] = layer;
    }
    // The LED canvas; `stacked`: two outputs one above the other (two rows
    // of output channels).
    static void canvasOf(KEL_RAM_PARA& b, u16 w, u16 h, bool stacked = false)
    {
        b.splice_mode = stacked ? ram::SPLICE_V : ram::SPLICE_NONE;
        b.out1_rect.h = u16(h / 2);
        b.led_width = w;
        b.led_height = h;
        for (IMAGE_PARA& im : b.image)
            im.enable = 0;
    }
    platform::Canvas canvas()
    {
        const KEL_RAM_PARA& b = live();
        return chip->canvas({b.och_num_h, b.och_num_v, b.led_x, b.led_y, b.led_width, b.led_height});
    }
    // Output channels of chip window w.
    std::vector<int> channelsOf(int w) const
    {
        std::vector<int> out;
        for (int c = 0; c < x518_manage::kChannels; ++c)
            if (m->model.PM_WIN_NUM[c] == w)
                out.push_back(c);
        return out;
    }
    u32 at(u32 spec, int channel) const { return chip->regValue(spec, x518::kChannelStride * u32(channel)); }
};

}  // namespace

TEST_F(WindowTest, AWindowLandsWhereTheBlockPutsItMovedResizedZoomedOrMirrored)
{
    struct Case {
        const char* what;
        Rect r;
        u16 mirror;
        bool stacked;
    };
    const Case cases[] = {
        {"inside output channel 0", {100, 100, 800, 600}, 0, false},
        {"moved within it", {600, 300, 800, 600}, 0, false},
        {"across the border of channel 1", {1500, 300, 1000, 500}, 0, false},
        {"zoomed across the border", {1200, 100, 2400, 1400}, 0, false},
        {"shrunk", {1000, 2000, 640, 360}, 0, false},
        {"mirrored both ways across the border", {1500, 300, 1000, 500}, 3, false},
        {"zoomed across the border of the row below", {300, 600, 1500, 1300}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Rect still = c.stacked ? Rect{100, 1950, 400, 200} : Rect{2600, 1500, 800, 600};  // window 1, DVI
        const u16 ledW = c.stacked ? 1920 : kWideW, ledH = c.stacked ? 2160 : kWideH;
        apply([&](KEL_RAM_PARA& b) {
            canvasOf(b, ledW, ledH, c.stacked);
            show(b, 0, ram::kSourceHdmi1, c.r);
            show(b, 1, ram::kSourceDvi, still);
            b.image[0].mirror = c.mirror;
        });
        const platform::Canvas shown = canvas();
        ASSERT_EQ(shown.width, ledW);
        ASSERT_EQ(shown.height, ledH);
        const Painted hdmi1 = painted(shown, portColour(kPortHdmi1)), dvi = painted(shown, portColour(kPortDvi));
        EXPECT_EQ(hdmi1.bounds, c.r);
        EXPECT_EQ(hdmi1.count, long(c.r.w) * c.r.h);
        EXPECT_EQ(dvi.bounds, still);
        EXPECT_EQ(dvi.count, long(still.w) * still.h);
        for (int och : channelsOf(0)) {
            EXPECT_EQ(at(x518::kOchMirrorH, och), c.mirror & 1u) << och;
            EXPECT_EQ(at(x518::kOmwi, och), (c.mirror & 2) ? 0x100u - 64 : 64u) << och;
        }
    }
    // Nothing was left flagged, so another pass programs nothing.
    chip->clearJournal();
    m->set_output(fd);
    EXPECT_TRUE(chip->journal().empty());
}

TEST_F(WindowTest, ADotByDotWindowShowsTwoInputsSideBySide)
{
    apply([&](KEL_RAM_PARA& b) {
        canvasOf(b, kWideW, kWideH);
        show(b, 0, ram::kSourceHdmi2, {0, 0, 3840, 1080});
        b.image[0].flags = ram::kFlagDotByDot;
        b.image[0].dbd_mode = 1;  // HDMI2 (port 0) left of HDMI1 (port 1)
    });
    ASSERT_EQ(m->model.PM_WIN_DBD_MODE[0], DBD_CMOS_IN12);
    const int* ichs = m->ich.win_ich[0];
    ASSERT_GE(ichs[1], 0);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(chip->reg(0x00, u8(0x10 + ichs[k])), 2 * k) << k;  // ports 0 and 1
        EXPECT_EQ(at(x518::kIactHw, ichs[k]), 1920u) << k;
    }
    // The second input lands one line of the first (1920 pixels of 16 bytes
    // per 5) further on, and the line step holds both.
    EXPECT_EQ(at(x518::kIsfld, ichs[1]) - at(x518::kIsfld, ichs[0]), 1920u * 16 / 5);
    EXPECT_EQ(at(x518::kImwi, ichs[0]), 2u * 1920 * 16 / 5 / 1024);
    // Each input shows in its half of the picture.
    const platform::Canvas shown = canvas();
    EXPECT_EQ(painted(shown, portColour(kPortHdmi2)).bounds, (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(painted(shown, portColour(kPortHdmi1)).bounds, (Rect{1920, 0, 1920, 1080}));
}

TEST_F(WindowTest, OneSwitchedWindowFadesWhileChangedWindowsAreHeldAndReleased)
{
    apply([&](KEL_RAM_PARA& b) {
        canvasOf(b, 1920, 1080);
        show(b, 0, ram::kSourceHdmi1, {0, 0, 960, 540});
        show(b, 1, ram::kSourceDvi, {960, 540, 960, 540}, 1);
        b.image[0].flags = ram::kFlagSeamless;
        b.seamless_para[0] = {2, 2};  // three frames in, three out
    });
    // A source switch of the window with the switch effect: faded, not held.
    chip->clearJournal();
    apply([](KEL_RAM_PARA& b) { b.image[0].source = ram::kSourceHdmi2; });
    for (int ich = 0; ich < x518_manage::kChannels; ++ich) {
        const auto isyct = writesTo(u8(0x10 + 16 * ich), 0x09);
        EXPECT_EQ(std::count(isyct.begin(), isyct.end(), x518::kIsyctHold), 0) << ich;  // no capture held
    }
    // Window 0 is the top entry (1) of mixer 0 over window 1: its weight
    // under mask 3 goes 64, 0 out, 64, 128 in (the first out, 128, stood).
    EXPECT_EQ(writesTo(0x0E, 0x11 + 5 * 3 + 2), (std::vector<uint8_t>{64, 0, 64, 128}));
    EXPECT_EQ(writesTo(0x05, 0x09).size(), 2u * 6);  // a frame per step: request and withdrawal
    EXPECT_EQ(painted(canvas(), portColour(kPortHdmi2)).bounds, (Rect{0, 0, 960, 540}));

    // A move re-lays out both windows: both held on the frame they showed, then released.
    std::vector<i32> before(m->model.fb_ring[0], m->model.fb_ring[0] + x518::kFields);
    const int shown0 = m->ich.win_ich[0][0], shown1 = m->ich.win_ich[1][0];
    chip->clearJournal();
    apply([](KEL_RAM_PARA& b) { b.image[1].x = 900; });
    for (int ich : {shown0, shown1}) {
        const auto isyct = writesTo(u8(0x10 + 16 * ich), 0x09);
        ASSERT_FALSE(isyct.empty()) << ich;
        EXPECT_EQ(isyct.front(), x518::kIsyctHold) << ich;
    }
    const i32* ring = m->model.fb_ring[0];
    EXPECT_TRUE(std::equal(ring, ring + x518::kFields, m->model.fb_ring[1]));
    // Once held: the buffer last written became the spare, in exchange for the old spare.
    EXPECT_EQ(std::mismatch(before.begin(), before.end(), ring).first - before.begin() < 4 && ring[4] != before[4],
              true);
    EXPECT_TRUE(std::is_permutation(before.begin(), before.end(), ring));
    const u32 spare = u32(ring[4]);
    for (int w : {0, 1}) {
        EXPECT_EQ(m->model.win_frozen[w], 0);
        for (int och : channelsOf(w)) {
            const auto reads = writesTo(u8(0x16 + 16 * och), 0x6C);
            ASSERT_FALSE(reads.empty());
            EXPECT_EQ(reads.front(), u8(spare | spare << 4)) << och;  // held: the spare only
            EXPECT_EQ(at(x518::kReadRing, och), x518_manage::ringCode({ring[3], ring[0], ring[1], ring[2]}));
        }
    }
    EXPECT_EQ(painted(canvas(), portColour(kPortDvi)).bounds, (Rect{900, 540, 960, 540}));
}

TEST_F(WindowTest, SixWindowsOnOneChannelMixInLayerOrderAndFadeBeyondTheFourth)
{
    // A staircase of six windows on output channel 0, window 5 on top.
    const u16 sources[] = {ram::kSourceDvi, ram::kSourceHdmi1, ram::kSourceHdmi2,
                           ram::kSourceDvi, ram::kSourceHdmi1, ram::kSourceHdmi3};
    apply([&](KEL_RAM_PARA& b) {
        canvasOf(b, 1920, 1080);
        for (int w = 0; w < 6; ++w)
            show(b, w, sources[w], {100 * w, 100 * w, 600, 400}, u16(5 - w));
    });
    // The spares blend into mixer 0, lowest layer first: channels 0-5.
    EXPECT_EQ(chip->regValue(x518::kOverlaySelect), 0xDCBA98u);
    const platform::Canvas shown = canvas();
    EXPECT_EQ(painted(shown, portColour(kPortHdmi3)).count, 600 * 400);
    EXPECT_EQ(painted(shown, portColour(kPortHdmi2)).count, 600 * 100 + 100 * 300);  // window 3 covers the rest
    EXPECT_EQ(painted(shown, portColour(kPortHdmi2)).bounds, (Rect{200, 200, 600, 400}));

    // Window 4, fifth in the list: the weights address entries 1-4, it fades as the fourth.
    m->set_layer_coef(fd, 4, 0, 1);
    EXPECT_EQ(chip->regValue(x518::kLayerWindow), 256u);
    for (int mask = 8; mask < 16; ++mask)
        EXPECT_EQ(chip->reg(0x0E, u8(0x11 + 5 * mask + 4)), x518::kLayerFull) << mask;
    // Mixers 4-7 carry a list but no weights.
    EXPECT_EQ(chip->regValue(x518::kOverlaySelect, 7 * x518::kChannelStride), 0xFu);
}

TEST_F(WindowTest, AWindowTheChannelBudgetRefusesShowsItsBackground)
{
    // Four V-by-One windows take all eight input channels; a fifth window finds none.
    apply([&](KEL_RAM_PARA& b) {
        canvasOf(b, 1920, 1080);
        for (int w = 0; w < 4; ++w)
            show(b, w, ram::kSourceHdmi3, {400 * w, 0, 300, 300}, u16(w));
    });
    apply([&](KEL_RAM_PARA& b) { show(b, 4, ram::kSourceHdmi1, {0, 600, 400, 300}, 4); });
    EXPECT_EQ(m->ich.win_ich[4][0], -1);
    const std::vector<int> refused = channelsOf(4);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(at(x518::kBkgShow, refused[0]), 1u);
    const platform::Canvas shown = canvas();
    EXPECT_EQ(painted(shown, portColour(kPortHdmi3)).count, 4 * 300 * 300);
    EXPECT_EQ(painted(shown, portColour(kPortHdmi1)).count, 0);
}

TEST_F(WindowTest, AnOutputThatRunsNoFramesDelaysAFadeOnceAndTheProgrammingGoesOn)
{
    apply([&](KEL_RAM_PARA& b) {
        canvasOf(b, 1920, 1080);
        show(b, 0, ram::kSourceHdmi1, {0, 0, 960, 540});
        b.image[0].flags = ram::kFlagSeamless;
        b.seamless_para[0] = {30, 30};
    });
    chip->setStuck(SimX518::kStuckFrames);
    m->frame_wait_ms = 5;
    chip->clearJournal();
    apply([](KEL_RAM_PARA& b) { b.image[0].source = ram::kSourceHdmi2; });
    // The first frame request runs out; the other 61 steps do not wait again.
    const auto requests = writesTo(0x05, 0x09);
    EXPECT_EQ(std::count(requests.begin(), requests.end(), 1), 1);
    EXPECT_EQ(painted(canvas(), portColour(kPortHdmi2)).bounds, (Rect{0, 0, 960, 540}));
    // The next pass waits again.
    chip->setStuck(SimX518::kStuckNone);
    chip->clearJournal();
    apply([](KEL_RAM_PARA& b) { b.image[0].source = ram::kSourceHdmi1; });
    EXPECT_EQ(writesTo(0x05, 0x09).size(), 2u * 62);
}
