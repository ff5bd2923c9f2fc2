// Writes that reach a window without naming it: a crop record a shown window
// uses, a canvas round trip through the whole-canvas fallback, a write to
// window 0 while no window is shown, and the values that make the block's
// windows fall back. Each gives the picture and register 45 the documents
// say, in the pass that applies the write.
#include "tests/support/canvas_probe.h"
#include "tests/videochip/chip_test.h"

#include "platform/sim/sim_x518_canvas.h"

using canvasprobe::Box;
using canvasprobe::Mapping;
using platform::sim::SourceTiming;

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr int kPortOfSource[] = {2, 1, 0, 5};  // DVI, HDMI1, HDMI2, HDMI3
constexpr u16 kDvi = ram::kSourceDvi, kHdmi1 = ram::kSourceHdmi1, kHdmi2 = ram::kSourceHdmi2,
              kHdmi3 = ram::kSourceHdmi3;

class IndirectWriteTest : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        for (int s = 0; s < 4; ++s)
            platform::sim::plugSource(s, SourceTiming::p1080_60());
        inputsUp();
        settle();
        apply([](KEL_RAM_PARA& b) {
            b.splice_mode = ram::SPLICE_NONE;
            canvasOf(b, kW, kH);
            for (IMAGE_PARA& im : b.image)
                im = IMAGE_PARA{};
        });
    }
    template <class F>
    void apply(F edit)
    {
        write([&](KEL_RAM_PARA& b) { edit(b); });
        m->runPass();
        settle();
    }
    static void canvasOf(KEL_RAM_PARA& b, int w, int h)
    {
        b.led_width = u16(w), b.led_height = u16(h);
        b.out1_rect = {0, 0, u16(w), u16(h)};
    }
    static void show(KEL_RAM_PARA& b, int w, u16 source, Box r)
    {
        IMAGE_PARA& im = b.image[w];
        im.enable = ram::kImageShown;
        im.source = source;
        im.x = u16(r.x), im.y = u16(r.y), im.w = u16(r.w), im.h = u16(r.h);
        b.image_priority[w] = u16(w);
    }
    static CROP_ITEM crop(u16 source, Box r)
    {
        return {u16(ram::kCropInUse | source), u16(r.x), u16(r.y), u16(r.w), u16(r.h)};
    }
    // Whether `at` shows the part `from` of `source`'s card.
    ::testing::AssertionResult shows(u16 source, Box at, Box from = {0, 0, kW, kH}) const
    {
        const platform::Canvas card = platform::sim::drawTestCard(kPortOfSource[source], kW, kH, 60, 0);
        return canvasprobe::showsCard(canvas(), card, Mapping{at, from}, 24, 100);
    }
    bool blackAt(Box at) const
    {
        return canvasprobe::find(canvas(), platform::sim::kCanvasBlack, at).count == long(at.w) * at.h;
    }
    u8 waiting() const { return store->reg_image.window_refused; }
};

}  // namespace

// A crop record written under a shown window reprograms it in the write's
// own pass: a new rectangle, a new input, and a costlier input served as a
// write to that window (it waits at once, and a later write to another
// window leaves it so).
TEST_F(IndirectWriteTest, ACropRecordWriteReachesTheWindowsThatShowIt)
{
    const Box left{0, 0, 960, 540}, right{960, 0, 960, 540};
    apply([&](KEL_RAM_PARA& b) {
        b.crop_list[0] = crop(kHdmi1, {0, 0, 960, 540});
        show(b, 0, ram::kSourceIsCrop | 0, left);
        show(b, 1, kDvi, right);
    });
    ASSERT_TRUE(shows(kHdmi1, left, {0, 0, 960, 540}));
    apply([](KEL_RAM_PARA& b) { b.crop_list[0] = crop(kHdmi1, {960, 540, 960, 540}); });
    EXPECT_TRUE(shows(kHdmi1, left, {960, 540, 960, 540})) << "new rectangle";
    apply([](KEL_RAM_PARA& b) { b.crop_list[0].key = ram::kCropInUse | kHdmi2; });
    EXPECT_TRUE(shows(kHdmi2, left, {960, 540, 960, 540})) << "new input";
    EXPECT_TRUE(shows(kDvi, right));

    // A 3 x 2 grid costing all eight channels; crop 1 under window 4 is
    // made HDMI3, a ninth.
    const auto cell = [](int w) { return Box{w % 3 * 640, w / 3 * 540, 640, 540}; };
    const u16 sources[] = {kHdmi3, kHdmi3, kHdmi1, kHdmi2, u16(ram::kSourceIsCrop | 1), kHdmi2};
    apply([&](KEL_RAM_PARA& b) {
        b.crop_list[1] = crop(kHdmi1, {0, 0, 960, 540});
        for (int w = 0; w < 6; ++w)
            show(b, w, sources[w], cell(w));
    });
    ASSERT_EQ(waiting(), 0);
    apply([](KEL_RAM_PARA& b) { b.crop_list[1].key = ram::kCropInUse | kHdmi3; });
    EXPECT_EQ(waiting(), 0x10);
    EXPECT_TRUE(blackAt(cell(4)));
    apply([](KEL_RAM_PARA& b) { b.image[5].source = kDvi; });
    EXPECT_EQ(waiting(), 0x10);
    // Window 5 hidden: window 4 gets its pair and shows the crop of HDMI3.
    apply([](KEL_RAM_PARA& b) { b.image[5].enable = 0; });
    EXPECT_EQ(waiting(), 0);
    EXPECT_TRUE(shows(kHdmi3, cell(4), {0, 0, 960, 540}));
}

// The whole-canvas fallback changes the picture only: who holds channels
// and who waits is as it was once the windows fit again, whether the
// canvas shrank under them or one window was moved past its edge and back.
TEST_F(IndirectWriteTest, AStayInTheFallbackKeepsWhoWaits)
{
    const Box quarters[] = {{0, 0, 960, 540}, {960, 0, 960, 540}, {0, 540, 960, 540}, {960, 540, 960, 540}};
    const Box middle{660, 340, 600, 400};
    apply([&](KEL_RAM_PARA& b) {
        for (int w = 1; w <= 4; ++w)
            show(b, w, kHdmi3, quarters[w - 1]);
    });
    apply([&](KEL_RAM_PARA& b) { show(b, 0, kHdmi2, middle); });
    ASSERT_EQ(waiting(), 0x01);

    auto backAsBefore = [&](const char* how) {
        EXPECT_EQ(waiting(), 0x01) << how;
        EXPECT_TRUE(blackAt(middle)) << how;
        // Window 4, the bottom-right quarter, where window 0 does not cover it.
        EXPECT_TRUE(shows(kHdmi3, {1300, 800, 600, 260}, {680, 520, 1200, 520})) << how;
    };
    apply([](KEL_RAM_PARA& b) { canvasOf(b, kW, 720); });
    EXPECT_EQ(m->model.default_env, 1);
    EXPECT_EQ(waiting(), 0x01) << "during the fallback";
    apply([](KEL_RAM_PARA& b) { canvasOf(b, kW, kH); });
    backAsBefore("canvas round trip");

    apply([](KEL_RAM_PARA& b) { b.image[0].y = 900; });
    EXPECT_EQ(m->model.default_env, 1);
    apply([&](KEL_RAM_PARA& b) { b.image[0].y = u16(middle.y); });
    backAsBefore("moved past the edge and back");
}

// With no window shown the canvas shows what window 0 is set to show, and
// follows a later write of it.
TEST_F(IndirectWriteTest, WithNoWindowShownTheCanvasFollowsWindowZero)
{
    const Box whole{0, 0, kW, kH};
    apply([&](KEL_RAM_PARA& b) { show(b, 0, kHdmi1, {0, 0, 960, 540}); });
    apply([](KEL_RAM_PARA& b) { b.image[0].enable = 0; });
    EXPECT_TRUE(shows(kHdmi1, whole));
    apply([](KEL_RAM_PARA& b) { b.image[0].source = kHdmi2; });
    EXPECT_TRUE(shows(kHdmi2, whole));
    apply([](KEL_RAM_PARA& b) { b.image[0].source = kDvi; });
    EXPECT_TRUE(shows(kDvi, whole));
}

// Every value the block's documents name as a fallback falls back when it
// is written to a shown window alone, and the window shows again once it
// is written back. The area of the output channels follows from what the
// block publishes: with splice mode 0, twice the channels across.
TEST_F(IndirectWriteTest, EachDocumentedFallbackValueFallsBackWrittenAlone)
{
    const Box at{100, 100, 640, 360};
    apply([&](KEL_RAM_PARA& b) { show(b, 1, kHdmi2, at); });
    const KEL_RAM_PARA& b = live();
    const int across = 2 * b.och_num_h * b.och_w;
    ASSERT_EQ(across, 2 * kW);
    struct Case {
        const char* what;
        void (*edit)(IMAGE_PARA&);
    };
    const Case cases[] = {
        {"past the output channels", [](IMAGE_PARA& im) { im.x = 2 * kW - 100, im.w = 200; }},
        {"mirror 4", [](IMAGE_PARA& im) { im.mirror = 4; }},
        {"source id 6", [](IMAGE_PARA& im) { im.source = 6; }},
        {"crop 40", [](IMAGE_PARA& im) { im.source = ram::kSourceIsCrop | 40; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const IMAGE_PARA before = live().image[1];
        apply([&](KEL_RAM_PARA& k) { c.edit(k.image[1]); });
        EXPECT_EQ(m->model.default_env, 1);
        apply([&](KEL_RAM_PARA& k) { k.image[1] = before; });
        EXPECT_EQ(m->model.default_env, 0);
        EXPECT_TRUE(shows(kHdmi2, at));
    }
}

// An input measured in the pass that ends the fallback, by a source write
// of another window, is still served to the windows that show it: a window
// back from the fallback after a chip restart shows its input.
TEST_F(IndirectWriteTest, AWindowBackFromTheFallbackShowsAnInputMeasuredMeanwhile)
{
    const Box tall{64, 16, 1280, 1240};
    apply([&](KEL_RAM_PARA& b) {
        canvasOf(b, 2560, 1440);
        show(b, 0, kHdmi3, {1400, 700, 640, 360});
        show(b, 1, kHdmi2, tall);
        show(b, 2, kHdmi1, {1400, 0, 1024, 576});
    });
    ASSERT_TRUE(shows(kHdmi2, tall));
    apply([](KEL_RAM_PARA& b) { canvasOf(b, kW, kH); });
    ASSERT_EQ(m->model.default_env, 1);
    restartChip();
    settle();
    apply([](KEL_RAM_PARA& b) {
        canvasOf(b, 2560, 1440);
        b.image[2].source = kDvi;
    });
    EXPECT_TRUE(shows(kHdmi2, tall));
}
