// What the canvas shows of an input, with the chip manager programming the
// simulated chip: the input's test card placed, scaled, mirrored and cropped
// as the window asks, a frozen window holding its frame, a fade blending
// two pictures by the mixer's weights.
#include "tests/support/canvas_probe.h"
#include "tests/videochip/chip_test.h"

#include "platform/sim/sim_x518_canvas.h"
#include "registers/x518_regs.h"

#include <string>
#include <vector>

using canvasprobe::Box;
using canvasprobe::Mapping;
using platform::sim::drawTestCard;
using platform::sim::portColour;
using platform::sim::SourceTiming;

namespace {

constexpr int kPortHdmi2 = 0, kPortHdmi1 = 1, kPortDvi = 2;
constexpr int kW = 1920, kH = 1080;
constexpr int kSampleStep = 24;

class CanvasPictureTest : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        for (int source : {ram::kSourceDvi, ram::kSourceHdmi1, ram::kSourceHdmi2})
            platform::sim::plugSource(source, SourceTiming::p1080_60());
        inputsUp();
        settle();
    }
    template <class F>
    void apply(F edit)
    {
        applyOn(kW, kH, edit);
    }
    // As apply, on a canvas of w x h.
    template <class F>
    void applyOn(int w, int h, F edit)
    {
        write([&](KEL_RAM_PARA& b) {
            b.splice_mode = ram::SPLICE_NONE;
            b.led_width = u16(w);
            b.led_height = u16(h);
            for (IMAGE_PARA& im : b.image)
                im.enable = 0;
            edit(b);
        });
        m->runPass();
    }
    static void show(KEL_RAM_PARA& b, int w, u16 source, Box r, u16 layer = 0)
    {
        IMAGE_PARA& im = b.image[w];
        im.enable = ram::kImageShown;
        im.source = source;
        im.x = u16(r.x), im.y = u16(r.y), im.w = u16(r.w), im.h = u16(r.h);
        im.mirror = 0, im.flags = 0;
        b.seamless_para[w] = {};
        b.image_priority[w] = layer;
    }
    static platform::Canvas card(int port) { return drawTestCard(port, kW, kH, 60, 0); }
};

}  // namespace

TEST_F(CanvasPictureTest, AWindowShowsItsInputsCardPlacedScaledAndMirrored)
{
    struct Case {
        const char* what;
        Box window;
        u16 mirror;
        Box whiteMark;  // where the card's top-left mark lands
    };
    const Case cases[] = {
        {"filling the canvas", {0, 0, kW, kH}, 0, {0, 0, 108, 108}},
        {"mirrored across", {0, 0, kW, kH}, 1, {kW - 108, 0, 108, 108}},
        {"mirrored down", {0, 0, kW, kH}, 2, {0, kH - 108, 108, 108}},
        {"shrunk to a quarter and moved", {600, 300, 960, 540}, 0, {600, 300, 54, 54}},
        {"shrunk and mirrored both ways", {600, 300, 960, 540}, 3, {600 + 960 - 54, 300 + 540 - 54, 54, 54}},
    };
    const platform::Canvas hdmi1 = card(kPortHdmi1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        apply([&](KEL_RAM_PARA& b) {
            show(b, 0, ram::kSourceHdmi1, c.window);
            b.image[0].mirror = c.mirror;
        });
        const platform::Canvas shown = canvas();
        ASSERT_EQ(shown.width, kW);
        long checked = 0;
        EXPECT_EQ(canvasprobe::mismatches(shown, hdmi1,
                                          {c.window, {0, 0, kW, kH}, (c.mirror & 1) != 0, (c.mirror & 2) != 0},
                                          kSampleStep, &checked),
                  0);
        EXPECT_GT(checked, 300);
        // Within a pixel of the scaled mark.
        const Box white = canvasprobe::find(shown, platform::sim::kCardTopLeft).bounds;
        EXPECT_LE(std::abs(white.x - c.whiteMark.x) + std::abs(white.y - c.whiteMark.y), 2) << white;
        EXPECT_LE(std::abs(white.w - c.whiteMark.w) + std::abs(white.h - c.whiteMark.h), 2) << white;
    }
}

TEST_F(CanvasPictureTest, ACropShowsOnlyItsPartOfTheInputEnlargedToTheWindow)
{
    apply([&](KEL_RAM_PARA& b) {
        b.crop_list[0] = {ram::kSourceHdmi1, 0, 0, kW / 2, kH / 2};
        show(b, 0, u16(ram::kSourceIsCrop | 0), {0, 0, kW, kH});
    });
    const platform::Canvas shown = canvas();
    long checked = 0;
    EXPECT_EQ(canvasprobe::mismatches(shown, card(kPortHdmi1), {{0, 0, kW, kH}, {0, 0, kW / 2, kH / 2}}, kSampleStep,
                                      &checked),
              0);
    EXPECT_GT(checked, 300);
    const Box mark = canvasprobe::find(shown, platform::sim::kCardTopLeft).bounds;  // within a pixel of twice its size
    EXPECT_EQ(mark.x + mark.y, 0);
    EXPECT_LE(std::abs(mark.w - 216) + std::abs(mark.h - 216), 2) << mark;
    EXPECT_EQ(canvasprobe::find(shown, platform::sim::kCardTopRight).count, 0);  // outside the crop
}

TEST_F(CanvasPictureTest, AFrozenWindowKeepsItsFrameWhileALiveOneMovesOn)
{
    const Box left{0, 0, kW / 2, kH / 2}, right{kW / 2, 0, kW / 2, kH / 2};
    auto showBoth = [&](KEL_RAM_PARA& b, u16 flags) {
        show(b, 0, ram::kSourceHdmi1, left);
        show(b, 1, ram::kSourceHdmi2, right);
        b.image[0].flags = flags;
    };
    apply([&](KEL_RAM_PARA& b) { showBoth(b, 0); });
    apply([&](KEL_RAM_PARA& b) { showBoth(b, ram::kFlagFreeze); });
    ASSERT_EQ(chip->regValue(x518::kIsyct, x518::kChannelStride * u32(m->ich.win_ich[0][0])), x518::kIsyctHold);
    const platform::Canvas before = canvas();
    chip->advanceFrames(7);
    const platform::Canvas after = canvas();
    EXPECT_TRUE(canvasprobe::samePicture(before, after, left));
    EXPECT_FALSE(canvasprobe::samePicture(before, after, right));

    apply([&](KEL_RAM_PARA& b) { showBoth(b, 0); });  // live again
    const platform::Canvas released = canvas();
    chip->advanceFrames(7);
    EXPECT_FALSE(canvasprobe::samePicture(released, canvas(), left));
}

// A frozen window stays held whatever programs it again: another window
// resized, itself moved, its source changed; a freeze written together
// with a move is applied. It shows its input's card, and the same frame.
TEST_F(CanvasPictureTest, AFreezeHoldsThroughEveryReLayoutOfItsOwnOrAnother)
{
    const Box left{0, 0, kW / 2, kH / 2}, right{kW / 2, 0, kW / 2, kH / 2};
    struct Step {
        const char* what;
        Box other, frozen;
        u16 source;
        int port;
    };
    const Step steps[] = {
        {"frozen with a move", left, {kW / 2, kH / 2, kW / 2, kH / 2}, ram::kSourceHdmi2, kPortHdmi2},
        {"the other window resized", {0, 0, 800, 500}, {kW / 2, kH / 2, kW / 2, kH / 2}, ram::kSourceHdmi2, kPortHdmi2},
        {"itself moved", {0, 0, 800, 500}, right, ram::kSourceHdmi2, kPortHdmi2},
        {"its source changed", {0, 0, 800, 500}, right, ram::kSourceDvi, kPortDvi},
    };
    apply([&](KEL_RAM_PARA& b) {
        show(b, 0, ram::kSourceHdmi1, left);
        show(b, 1, ram::kSourceHdmi2, right);
    });
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        apply([&](KEL_RAM_PARA& b) {
            show(b, 0, ram::kSourceHdmi1, s.other);
            show(b, 1, s.source, s.frozen);
            b.image[1].flags = ram::kFlagFreeze;
        });
        const int chipWindow = m->recordOfWindow(1);
        ASSERT_GE(chipWindow, 0);
        EXPECT_EQ(chip->regValue(x518::kIsyct, x518::kChannelStride * u32(m->ich.win_ich[chipWindow][0])),
                  x518::kIsyctHold);
        const platform::Canvas before = canvas();
        long checked = 0;
        EXPECT_EQ(canvasprobe::mismatches(before, card(s.port), {s.frozen, {0, 0, kW, kH}}, kSampleStep, &checked), 0);
        EXPECT_GT(checked, 100);
        chip->advanceFrames(7);
        EXPECT_TRUE(canvasprobe::samePicture(before, canvas(), s.frozen));
    }
}

// A source switch with the switch effect fades the window out and in: at
// every step the canvas blends it over the window below by the weight the
// mixer holds.
TEST_F(CanvasPictureTest, MidFadeTheWindowIsBlendedOverTheOneBelowByItsWeight)
{
    chip->setPlainInputs(true);
    auto layout = [&](KEL_RAM_PARA& b, u16 source) {
        show(b, 0, source, {0, 0, kW / 2, kH / 2});
        show(b, 1, ram::kSourceDvi, {0, 0, kW, kH}, 1);
        b.image[0].flags = ram::kFlagSeamless;
        b.seamless_para[0] = {2, 2};
    };
    apply([&](KEL_RAM_PARA& b) { layout(b, ram::kSourceHdmi1); });
    struct Step {
        int weight;
        uint32_t over, beside;
    };
    std::vector<Step> steps;
    const u32 topWeight = x518::regAt(x518::kLayerCoef, 5 * 3 + 2);  // window 0 over window 1
    chip->setTransferHook([&](const SimX518::Transfer& t) {
        if (t.write() && t.bank == 0 && t.address() == 0x23 && t.tx[1] == x518::kFadeDone1) {
            const platform::Canvas c = canvas();
            steps.push_back({int(chip->regValue(topWeight)), c.at(kW / 4, kH / 4), c.at(kW * 3 / 4, kH * 3 / 4)});
        }
    });
    apply([&](KEL_RAM_PARA& b) { layout(b, ram::kSourceHdmi2); });
    chip->setTransferHook(nullptr);

    const uint32_t hdmi1 = portColour(kPortHdmi1), hdmi2 = portColour(kPortHdmi2), dvi = portColour(kPortDvi);
    ASSERT_EQ(steps.size(), 6u);
    const uint32_t tops[] = {hdmi1, hdmi1, hdmi1, hdmi2, hdmi2, hdmi2};  // three steps out, three in
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(steps[i].over, canvasprobe::blendOf(tops[i], dvi, steps[i].weight));
        EXPECT_EQ(steps[i].beside, dvi);
    }
    EXPECT_EQ(steps[1].weight, 64);
    EXPECT_NE(steps[1].over, hdmi1);
    EXPECT_NE(steps[1].over, dvi);
}

// A 2160p input on a V-by-One receiver: the pair's split gives each of two
// input channels half of every line, and the window shows them joined.
TEST_F(CanvasPictureTest, AnInputSplitOverTwoChannelsShowsWhole)
{
    constexpr int kPortHdmi3 = 5, kW4 = 3840, kH4 = 2160;
    platform::sim::plugSource(ram::kSourceHdmi3, SourceTiming::p2160_30());
    settle();
    applyOn(kW4, kH4, [&](KEL_RAM_PARA& b) { show(b, 0, ram::kSourceHdmi3, {0, 0, kW4, kH4}); });
    ASSERT_GE(m->ich.win_ich[0][1], 0);  // two channels
    const platform::Canvas shown = canvas();
    ASSERT_EQ(shown.width, kW4);
    long checked = 0;
    EXPECT_EQ(canvasprobe::mismatches(shown, drawTestCard(kPortHdmi3, kW4, kH4, 30, 0),
                                      {{0, 0, kW4, kH4}, {0, 0, kW4, kH4}}, 2 * kSampleStep, &checked),
              0);
    EXPECT_GT(checked, 300);
}

// A crop's picture on the canvas: one past the input's edge shows the whole
// input however the window was last programmed, and a switch to a crop of
// another input shows that input's part enlarged, then the first input again.
TEST_F(CanvasPictureTest, ACropShowsOnePictureOnEveryPathAndAcrossASwitch)
{
    const Box left{0, 0, kW / 2, kH / 2};
    const platform::Canvas hdmi1 = card(kPortHdmi1);
    auto layout = [&](KEL_RAM_PARA& b, u16 source, int otherX) {
        b.crop_list[1] = {u16(ram::kCropInUse | ram::kSourceHdmi1), 1600, 900, 480, 270};
        b.crop_list[2] = {u16(ram::kCropInUse | ram::kSourceHdmi2), 320, 180, 640, 360};
        show(b, 0, source, left);
        show(b, 1, ram::kSourceDvi, {otherX, kH / 2, kW / 4, kH / 4});
    };
    auto shows = [&](const platform::Canvas& c, Box from) {
        long checked = 0;
        const long bad = canvasprobe::mismatches(canvas(), c, {left, from}, kSampleStep / 2, &checked);
        return checked > 300 && bad == 0;
    };

    apply([&](KEL_RAM_PARA& b) { layout(b, ram::kSourceIsCrop | 1, 0); });
    EXPECT_TRUE(shows(hdmi1, {0, 0, kW, kH})) << "chosen";
    platform::sim::pullSource(ram::kSourceHdmi1);
    platform::sim::pullSource(ram::kSourceHdmi2);
    settle();
    platform::sim::plugSource(ram::kSourceHdmi1, SourceTiming::p1080_60());
    platform::sim::plugSource(ram::kSourceHdmi2, SourceTiming::p720_60());
    settle();
    EXPECT_TRUE(shows(hdmi1, {0, 0, kW, kH})) << "re-plugged";
    apply([&](KEL_RAM_PARA& b) { layout(b, ram::kSourceIsCrop | 1, kW / 2); });
    EXPECT_TRUE(shows(hdmi1, {0, 0, kW, kH})) << "another window moved";

    apply([&](KEL_RAM_PARA& b) { layout(b, ram::kSourceHdmi1, kW / 2); });
    ASSERT_TRUE(shows(hdmi1, {0, 0, kW, kH}));
    apply([&](KEL_RAM_PARA& b) { layout(b, ram::kSourceIsCrop | 2, kW / 2); });
    EXPECT_TRUE(shows(drawTestCard(kPortHdmi2, 1280, 720, 60, 0), {320, 180, 640, 360})) << "crop of HDMI2";
    apply([&](KEL_RAM_PARA& b) { layout(b, ram::kSourceHdmi1, kW / 2); });
    EXPECT_TRUE(shows(hdmi1, {0, 0, kW, kH})) << "HDMI1 again";
}

// What one window shows after two writes: a dot-by-dot window its
// arrangement's first input 1:1, whether or not its own source (HDMI1, or
// HDMI3 without signal) is among the inputs or has a signal, and an input
// of it measured only once it is set up (HDMI2 plugged anew while no window
// shows it); an arrangement written with the switch off leaves a plain
// window; with no window shown the chip shows window 0's source over the
// canvas, whichever window it showed before.
TEST_F(CanvasPictureTest, AWindowShowsWhatItsLastWriteSays)
{
    struct Write {
        int window;
        u16 source;
        Box at;  // empty: the window hidden
        u16 flags, arrangement;
    };
    struct Case {
        const char* what;
        Write first, then;
        int hdmi2Height;  // HDMI2 plugged anew between the writes at this height (0: not)
        int port, w, h;   // the card shown
        Box to, from;
    };
    const Box all{0, 0, kW, kH}, half{0, 0, kW / 2, kH / 2}, p720{0, 0, 1280, 720};
    constexpr u16 kDbd = ram::kFlagDotByDot, kHdmi1 = ram::kSourceHdmi1;
    const Case cases[] = {
        {"four side by side",
         {0, kHdmi1, all, 0, 0},
         {0, kHdmi1, all, kDbd, 6},
         720,
         kPortHdmi2,
         1280,
         720,
         p720,
         p720},
        {"two side by side", {0, kHdmi1, all, 0, 0}, {0, kHdmi1, all, kDbd, 1}, 1080, kPortHdmi2, kW, kH, all, all},
        {"two side by side on HDMI3",
         {0, ram::kSourceHdmi3, all, kDbd, 1},
         {0, ram::kSourceHdmi3, all, kDbd, 1},
         0,
         kPortHdmi2,
         kW,
         kH,
         all,
         all},
        {"switch off", {0, kHdmi1, half, kDbd, 0}, {0, kHdmi1, half, 0, 1}, 0, kPortHdmi1, kW, kH, half, all},
        // clang-format off
        {"none after window 0", {0, ram::kSourceHdmi2, {100, 100, 640, 360}, 0, 0}, {0, kHdmi1, {}, 0, 0}, 0,
         kPortHdmi1, kW, kH, all, all},
        {"none after window 2", {2, ram::kSourceDvi, {100, 100, 640, 360}, 0, 0}, {0, kHdmi1, {}, 0, 0}, 0,
         kPortHdmi1, kW, kH, all, all},
        // clang-format on
    };
    auto put = [&](const Write& w) {
        apply([&](KEL_RAM_PARA& b) {
            show(b, w.window, w.source, w.at);
            b.image[w.window].enable = w.at.w ? ram::kImageShown : 0;
            b.image[w.window].flags = w.flags;
            b.image[w.window].dbd_mode = w.arrangement;
        });
        settle();
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        put(c.first);
        if (c.hdmi2Height) {
            platform::sim::plugSource(ram::kSourceHdmi2,
                                      c.hdmi2Height == 720 ? SourceTiming::p720_60() : SourceTiming::p1080_60());
            settle();
        }
        put(c.then);
        EXPECT_TRUE(
            canvasprobe::showsCard(canvas(), drawTestCard(c.port, c.w, c.h, 60, 0), {c.to, c.from}, kSampleStep, 300));
    }
}

// A dot-by-dot window of several inputs, each arrangement with each one
// input pulled: every other input shows its card at its own place, the
// pulled one is black there (its room kept), and none shows at another's
// place, whichever of them the window's own source is or the input
// channel the others follow captures.
TEST_F(CanvasPictureTest, ADotByDotArrangementShowsEachInputAtItsOwnPlaceWithAnyOnePulled)
{
    constexpr int kCellW = 1280, kCellH = 720;
    struct Place {
        int source, column, row;
    };
    struct Arrangement {
        u16 mode;
        std::vector<Place> places;
    };
    const int hdmi2 = ram::kSourceHdmi2, hdmi1 = ram::kSourceHdmi1, dvi = ram::kSourceDvi;
    const Arrangement arrangements[] = {
        {1, {{hdmi2, 0, 0}, {hdmi1, 1, 0}}},
        {2, {{hdmi2, 0, 0}, {hdmi1, 0, 1}}},
        {3, {{dvi, 0, 0}}},
        {4, {{dvi, 0, 0}}},
        {5, {{hdmi2, 0, 0}, {hdmi1, 1, 0}, {dvi, 2, 0}}},
        {6, {{hdmi2, 0, 0}, {hdmi1, 1, 0}, {dvi, 2, 0}}},
        {7, {{hdmi2, 0, 0}, {hdmi1, 1, 0}, {dvi, 0, 1}}},
    };
    const int portOf[] = {kPortDvi, kPortHdmi1, kPortHdmi2};
    const Box window{0, 0, 3 * kCellW, 2 * kCellH};
    for (int s : {dvi, hdmi1, hdmi2})
        platform::sim::plugSource(s, SourceTiming::p720_60());
    settle();
    for (const Arrangement& a : arrangements) {
        for (int pulled : {dvi, hdmi1, hdmi2}) {
            SCOPED_TRACE("arrangement " + std::to_string(a.mode) + ", input " + std::to_string(pulled) + " pulled");
            applyOn(3840, 2160, [&](KEL_RAM_PARA& b) {
                show(b, 0, ram::kSourceHdmi1, window);
                b.image[0].flags = ram::kFlagDotByDot;
                b.image[0].dbd_mode = a.mode;
            });
            settle();
            platform::sim::pullSource(pulled);
            settle();
            const platform::Canvas shown = canvas();
            for (const Place& p : a.places) {
                const Box at{p.column * kCellW, p.row * kCellH, kCellW, kCellH};
                if (p.source != pulled) {
                    EXPECT_TRUE(canvasprobe::showsCard(shown, drawTestCard(portOf[p.source], kCellW, kCellH, 60, 0),
                                                       {at, {0, 0, kCellW, kCellH}}, kSampleStep, 300))
                        << "input " << p.source;
                    continue;
                }
                long lit = 0;
                for (int y = at.y; y < at.y + at.h; y += kSampleStep)
                    for (int x = at.x; x < at.x + at.w; x += kSampleStep)
                        lit += shown.at(x, y) != platform::sim::kCanvasBlack;
                EXPECT_EQ(lit, 0) << "the pulled input's place";
            }
            platform::sim::plugSource(pulled, SourceTiming::p720_60());
            settle();
        }
    }
}

// Arrangement 8 on a window whose own source (HDMI1) has no signal: HDMI3,
// whose receiver gives its 640-pixel lines whole, is captured whole on one
// channel and shows at the window's top-left, 1:1, as it does while HDMI1
// has a signal. (Its lines were once split in two halves by HDMI1's state,
// the second half on a code that carries none, and drawing the canvas then
// crashed the box.)
TEST_F(CanvasPictureTest, ArrangementEightShowsHdmi3WholeWhenTheWindowsOwnSourceHasNoSignal)
{
    constexpr int kPortHdmi3 = 5;
    const Box window{492, 451, 725, 576}, hdmi3{492, 451, 640, 360};
    platform::sim::plugSource(ram::kSourceHdmi3, SourceTiming::progressive(640, 360, 60));
    settle();
    const platform::Canvas card = drawTestCard(kPortHdmi3, 640, 360, 60, 0);
    for (bool ownSignal : {true, false}) {
        SCOPED_TRACE(ownSignal ? "HDMI1 plugged" : "HDMI1 pulled");
        if (!ownSignal)
            platform::sim::pullSource(ram::kSourceHdmi1);
        apply([&](KEL_RAM_PARA& b) {
            show(b, 0, ram::kSourceHdmi1, window);
            b.image[0].flags = ram::kFlagDotByDot;
            b.image[0].dbd_mode = 8;
        });
        settle();
        const int first = m->ich.win_ich[0][0];
        ASSERT_GE(first, 0);
        EXPECT_EQ(chip->regValue(x518::kIactHw, x518::kChannelStride * u32(first)), 640u);
        EXPECT_TRUE(canvasprobe::showsCard(canvas(), card, {hdmi3, {0, 0, 640, 360}}, 8, 300));
    }
}

// An input of an arrangement without a signal keeps the room of the last
// frame its source status reported, which a PC sees: HDMI2 reported at
// 1280 x 720 while no window showed it, then pulled, leaves HDMI1 beside it
// at 1280 under arrangement 1, cut to HDMI2's 720 lines. (Its room was the
// last frame a window had made the chip measure, here 1920 x 1080.)
TEST_F(CanvasPictureTest, APulledInputKeepsTheRoomOfTheFrameItsSourceStatusReported)
{
    apply([&](KEL_RAM_PARA& b) { show(b, 0, ram::kSourceHdmi1, {0, 0, kW, kH}); });
    platform::sim::plugSource(ram::kSourceHdmi2, SourceTiming::p720_60());
    settle();
    ASSERT_EQ(live().source_status[ram::kSourceHdmi2].width, 1280);
    platform::sim::pullSource(ram::kSourceHdmi2);
    settle();
    ASSERT_EQ(live().source_status[ram::kSourceHdmi2].width, 0);
    apply([&](KEL_RAM_PARA& b) {
        show(b, 0, ram::kSourceHdmi1, {0, 0, kW, kH});
        b.image[0].flags = ram::kFlagDotByDot;
        b.image[0].dbd_mode = 1;
    });
    settle();
    EXPECT_TRUE(
        canvasprobe::showsCard(canvas(), card(kPortHdmi1), {{1280, 0, 640, 720}, {0, 0, 640, 720}}, kSampleStep, 100));
}

// An input pulled while no window shows it, then a new canvas: once a
// window's arrangement takes it, it has no signal there, and the other
// input shows. (Its last state from before stood, the arrangement waited on
// it, and the whole window stayed black.)
TEST_F(CanvasPictureTest, AnInputPulledUnshownBeforeANewCanvasHasNoSignalWhenAnArrangementTakesIt)
{
    apply([&](KEL_RAM_PARA& b) { show(b, 0, ram::kSourceHdmi1, {0, 0, kW, kH}); });
    settle();
    platform::sim::pullSource(ram::kSourceHdmi2);
    settle();
    applyOn(3840, 2160, [&](KEL_RAM_PARA& b) {
        show(b, 0, ram::kSourceHdmi1, {0, 0, 3840, kH});
        b.image[0].flags = ram::kFlagDotByDot;
        b.image[0].dbd_mode = 1;
    });
    settle();
    EXPECT_TRUE(
        canvasprobe::showsCard(canvas(), card(kPortHdmi1), {{kW, 0, kW, kH}, {0, 0, kW, kH}}, kSampleStep, 300));
}

// A frozen window of arrangement 3 (DVI and the fourth port) whose own
// source, HDMI1, is no part of the arrangement: HDMI1 pulled and plugged
// back changes nothing of it, it stays frozen on its frame. (Pulling HDMI1
// once set it live.)
TEST_F(CanvasPictureTest, AFrozenWindowOfSeveralInputsStaysFrozenThroughItsOwnSourcesLoss)
{
    const Box window{0, 0, kW, kH};
    apply([&](KEL_RAM_PARA& b) {
        show(b, 0, ram::kSourceHdmi1, window);
        b.image[0].flags = ram::kFlagDotByDot | ram::kFlagFreeze;
        b.image[0].dbd_mode = 3;
    });
    settle();
    const platform::Canvas frozen = canvas();
    ASSERT_TRUE(canvasprobe::showsCard(frozen, card(kPortDvi), {window, {0, 0, kW, kH}}, kSampleStep, 300));
    for (bool plugged : {false, true}) {
        SCOPED_TRACE(plugged ? "HDMI1 plugged back" : "HDMI1 pulled");
        if (plugged)
            platform::sim::plugSource(ram::kSourceHdmi1, SourceTiming::p1080_60());
        else
            platform::sim::pullSource(ram::kSourceHdmi1);
        settle();
        chip->advanceFrames(7);
        EXPECT_EQ(chip->regValue(x518::kIsyct, x518::kChannelStride * u32(m->ich.win_ich[0][0])), x518::kIsyctHold);
        EXPECT_TRUE(canvasprobe::samePicture(frozen, canvas(), window));
    }
}

// A freeze written while the window's input has no signal takes hold on the
// window's first frame once the input is back, whether or not another
// window was shown and hidden meanwhile. (It took hold only after such a
// change of another window.)
TEST_F(CanvasPictureTest, AFreezeWrittenWithoutASignalTakesHoldWhenTheSignalComesWhateverOtherWindowsDo)
{
    const Box window{0, 0, kW / 2, kH / 2};
    for (bool otherWindow : {false, true}) {
        SCOPED_TRACE(otherWindow ? "window 1 shown and hidden meanwhile" : "nothing else changed");
        apply([&](KEL_RAM_PARA& b) { show(b, 0, ram::kSourceHdmi1, window); });
        settle();
        platform::sim::pullSource(ram::kSourceHdmi1);
        settle();
        write([](KEL_RAM_PARA& b) { b.image[0].flags = ram::kFlagFreeze; });
        m->runPass();
        if (otherWindow) {
            write([&](KEL_RAM_PARA& b) { show(b, 1, ram::kSourceDvi, {kW / 2, 0, kW / 2, kH / 2}); });
            m->runPass();
            write([](KEL_RAM_PARA& b) { b.image[1].enable = 0; });
            m->runPass();
        }
        platform::sim::plugSource(ram::kSourceHdmi1, SourceTiming::p1080_60());
        settle();
        const platform::Canvas first = canvas();
        EXPECT_TRUE(canvasprobe::showsCard(first, card(kPortHdmi1), {window, {0, 0, kW, kH}}, kSampleStep, 100));
        chip->advanceFrames(7);
        EXPECT_EQ(chip->regValue(x518::kIsyct, x518::kChannelStride * u32(m->ich.win_ich[0][0])), x518::kIsyctHold);
        EXPECT_TRUE(canvasprobe::samePicture(first, canvas(), window));
    }
}

// A frozen window keeps the frame it holds while other windows come, go and
// change size and while the canvas changes: only a change of its own gives
// it a new frame.
TEST_F(CanvasPictureTest, AFrozenWindowKeepsItsFrameThroughOtherWindowsChanges)
{
    const Box frozen{960, 0, kW / 2, kH / 2};
    auto layout = [&](KEL_RAM_PARA& b, bool first, Box second, bool third) {
        show(b, 1, ram::kSourceHdmi1, frozen);
        b.image[1].flags = ram::kFlagFreeze;
        if (first)
            show(b, 0, ram::kSourceHdmi2, {0, 0, 640, 360});
        if (third)
            show(b, 2, ram::kSourceDvi, second);
    };
    struct Step {
        const char* what;
        bool first;
        Box third;
        int led;
    };
    const Box small{0, 540, 640, 360}, large{0, 540, 1280, 540};
    const Step steps[] = {
        {"a window after it added", true, small, kW},       {"that window resized", true, large, kW},
        {"the window before it removed", false, large, kW}, {"the window before it added again", true, large, kW},
        {"the canvas made larger", true, large, 3840},      {"the canvas made smaller again", true, large, kW},
    };
    apply([&](KEL_RAM_PARA& b) { layout(b, true, {}, false); });
    const platform::Canvas hdmi1 = card(kPortHdmi1);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const platform::Canvas before = canvas();
        chip->advanceFrames(7);
        applyOn(s.led, s.led * 9 / 16, [&](KEL_RAM_PARA& b) { layout(b, s.first, s.third, true); });
        settle();
        const platform::Canvas after = canvas();
        ASSERT_GE(after.width, kW);
        EXPECT_TRUE(canvasprobe::samePicture(before, after, frozen));
        EXPECT_TRUE(canvasprobe::showsCard(after, hdmi1, {frozen, {0, 0, kW, kH}}, kSampleStep, 100));
    }
}

// A priority written on its own that meets another window's layer: the
// later window takes the lowest free layer, as when the layout is written
// whole, so the earlier window stays on top.
TEST_F(CanvasPictureTest, APriorityMeetingAnotherWindowsLayerTakesTheLowestFreeOne)
{
    chip->setPlainInputs(true);
    const int overlapX = 700, overlapY = 400;
    apply([&](KEL_RAM_PARA& b) {
        show(b, 0, ram::kSourceHdmi1, {0, 0, 960, 540}, 0);
        show(b, 1, ram::kSourceHdmi2, {480, 270, 960, 540}, 1);
    });
    ASSERT_EQ(canvas().at(overlapX, overlapY), portColour(kPortHdmi1));
    write([](KEL_RAM_PARA& b) { b.image_priority[1] = 0; });
    m->runPass();
    EXPECT_EQ(canvas().at(overlapX, overlapY), portColour(kPortHdmi1));
    write([](KEL_RAM_PARA& b) { b.image_priority[0] = 2; });  // now below
    m->runPass();
    EXPECT_EQ(canvas().at(overlapX, overlapY), portColour(kPortHdmi2));
}

// An input without signal since the canvas was last set up has never been
// measured as progressive; a window given it does not move another window
// off its input channel (as an interlaced input would), so frozen windows
// keep their frames.
TEST_F(CanvasPictureTest, AWindowGivenAnInputNotYetMeasuredMovesNoOtherWindow)
{
    platform::sim::pullSource(ram::kSourceDvi);
    const Box frozen{0, 0, kW, kH / 2};  // windows 0-3
    auto layout = [&](KEL_RAM_PARA& b, u16 fifth) {
        const u16 sources[] = {ram::kSourceHdmi1, ram::kSourceHdmi2, ram::kSourceHdmi1, ram::kSourceHdmi2, fifth};
        for (int w = 0; w < 5; ++w) {
            show(b, w, sources[w], {w % 2 * kW / 2, w / 2 * kH / 4, kW / 2, kH / 4}, u16(w));
            b.image[w].flags = w < 4 ? ram::kFlagFreeze : 0;
        }
    };
    applyOn(3840, 2160, [&](KEL_RAM_PARA& b) { layout(b, ram::kSourceHdmi1); });
    apply([&](KEL_RAM_PARA& b) { layout(b, ram::kSourceHdmi1); });  // the canvas set up anew
    settle();
    const platform::Canvas before = canvas();
    chip->advanceFrames(7);
    apply([&](KEL_RAM_PARA& b) { layout(b, ram::kSourceDvi); });
    settle();
    EXPECT_TRUE(canvasprobe::samePicture(before, canvas(), frozen));
}

// A dot-by-dot window frozen while its input has no signal holds no frame.
// Given an input with a signal and its dot by dot switched off in one
// write, it shows that input, frozen on its first frame: the freeze taken
// then does not drop the dot-by-dot bit written with it.
TEST_F(CanvasPictureTest, AFreezeTakenAgainWithANewSourceKeepsTheRestOfTheWrite)
{
    const Box at{600, 300, 640, 360};
    apply([&](KEL_RAM_PARA& b) {
        show(b, 0, ram::kSourceHdmi2, at);
        b.image[0].flags = ram::kFlagDotByDot;
        b.image[0].dbd_mode = 5;
    });
    platform::sim::pullSource(ram::kSourceHdmi2);
    settle();
    write([](KEL_RAM_PARA& b) { b.image[0].flags = ram::kFlagFreeze | ram::kFlagDotByDot; });
    m->runPass();
    write([](KEL_RAM_PARA& b) {
        b.image[0].source = ram::kSourceDvi;
        b.image[0].flags = ram::kFlagFreeze;
    });
    m->runPass();
    settle();
    EXPECT_EQ(m->model.PM_WIN_DBD_MODE[0], DBD_DISABLE);
    EXPECT_TRUE(canvasprobe::showsCard(canvas(), card(kPortDvi), {at, {0, 0, kW, kH}}, kSampleStep, 100));
}
