// A window the input channels cannot carry: it shows black and holds
// nothing, register 45 and a change code tell, the windows that own their
// channels go on being set up, and it is shown once the channels allow.
#include "tests/support/canvas_probe.h"
#include "tests/videochip/chip_test.h"

#include "app/utils.h"
#include "platform/sim/sim_x518_canvas.h"
#include "platform/sim/sim_x518_memory.h"
#include "registers/x518_regs.h"

#include <QSignalSpy>
#include <array>
#include <functional>

using canvasprobe::Box;
using platform::sim::SourceTiming;

namespace {

constexpr int kPortHdmi1 = 1, kPortHdmi3 = 5;
constexpr u16 kDvi = ram::kSourceDvi, kHdmi1 = ram::kSourceHdmi1, kHdmi2 = ram::kSourceHdmi2,
              kHdmi3 = ram::kSourceHdmi3;
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
    template <class F>
    void apply(F edit)
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
    // The six windows on other sources.
    static std::function<void(KEL_RAM_PARA&)> sixWindowsOn(std::array<u16, 6> sources)
    {
        return [=](KEL_RAM_PARA& b) {
            sixWindows(b);
            for (int w = 0; w < 6; ++w)
                b.image[w].source = sources[w];
        };
    }
    // The windows in `waiting` wait and are black; every other window shown
    // shows, an HDMI3 window on a pair; no two captures share memory.
    void expectWaiting(u8 waiting)
    {
        EXPECT_EQ(refused(), waiting);
        EXPECT_TRUE(memorySound());
        for (int w = 0; w < 6; ++w) {
            const IMAGE_PARA& im = live().image[w];
            if (waiting & (1u << w)) {
                EXPECT_TRUE(black(m->recordOfWindow(w))) << w;
            } else if (im.enable) {
                EXPECT_TRUE(shown(w)) << w;
                EXPECT_TRUE(im.source != kHdmi3 || (im.flags & ram::kFlagDotByDot) ||
                            channels(m->recordOfWindow(w)) == 2)
                    << w;
            }
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
    // An input plugged with `t`, its timing published as the input manager
    // publishes what the receiver reports (this test's chip manager reads
    // the record), measured by the chip and its windows programmed.
    void plugAndSettle(int source, const SourceTiming& t)
    {
        platform::sim::plugSource(source, t);
        {
            QMutexLocker lock(&Utils::_source_hdminfo_mutex);
            ST_HDMI_INFO& r = src->hdminfo[source];
            r.Hact = t.hactive, r.Hsync = t.hsync, r.Hback = t.hback, r.Hpol = t.hpol, r.Htotal = t.htotal;
            r.Vact = t.vactive, r.Vsync = t.vsync, r.Vback = t.vback, r.Vpol = t.vpol, r.Vtotal = t.vtotal;
            r.pfreq = float(t.pixelClockKhz() * 1000.0);
            r.type = t.type, r.datamode = t.datamode, r.lane = t.lanes, r.ip = t.interlaced;
            r.nosignal = 0, r.changed = 1;
        }
        settle();
        ASSERT_EQ(m->ports.PI_HDMI_INFO[x518_manage::kelApi_inputCvtX518(source)].datamode, t.datamode);
    }
    // Block window b has its input channels and shows its picture.
    bool shown(int b) const
    {
        const int r = m->recordOfWindow(b);
        return r >= 0 && channels(r) > 0 && !black(r);
    }
    // The 3840 x 2160 canvas with no window on it.
    static void emptyCanvas(KEL_RAM_PARA& b)
    {
        b.splice_mode = ram::SPLICE_NONE;
        b.led_width = kW;
        b.led_height = kH;
        b.out1_rect = {0, 0, kW, kH};
        for (IMAGE_PARA& im : b.image)
            im = IMAGE_PARA{};
    }
    static void tile(KEL_RAM_PARA& b, int w, u16 source, Box r, u16 dbdArrangement = kNoDbd)
    {
        IMAGE_PARA& im = b.image[w];
        im.enable = ram::kImageShown;
        im.source = source;
        im.x = u16(r.x), im.y = u16(r.y), im.w = u16(r.w), im.h = u16(r.h);
        im.flags = dbdArrangement == kNoDbd ? 0 : ram::kFlagDotByDot;
        im.dbd_mode = dbdArrangement == kNoDbd ? 0 : dbdArrangement;
        b.image_priority[w] = u16(w);
    }
    static constexpr u16 kNoDbd = 0xFFFF;
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
    const platform::Canvas shown = canvas();
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

// A waiting window is black at its own place and nowhere else, whatever
// another window left on the output channel it is given: after a window
// before it came back (the windows after it renumbered), and on top of the
// others after the canvas was changed and changed back.
TEST_F(RefusalTest, AWaitingWindowIsBlackAtItsOwnPlaceOnly)
{
    const platform::Canvas hdmi3 = platform::sim::drawTestCard(kPortHdmi3, 1920, 1080, 60, 0);
    auto quarter = [](int w, int led) { return Box{w % 2 * led / 2, w / 2 * led * 9 / 32, led / 2, led * 9 / 32}; };
    // Four windows on HDMI3, one in each quarter of a canvas `led` wide.
    auto quarters = [&](int led) {
        return [=](KEL_RAM_PARA& b) {
            emptyCanvas(b);
            b.led_width = u16(led), b.led_height = u16(led * 9 / 16);
            for (int w = 0; w < 4; ++w)
                tile(b, w, ram::kSourceHdmi3, quarter(w, led));
        };
    };
    auto blackAt = [](const platform::Canvas& c, Box at) {
        return canvasprobe::find(c, platform::sim::kCanvasBlack, at).count == long(at.w) * at.h;
    };
    // The waiting window black, and windows 0-3 showing HDMI3 around it.
    auto blackOnlyAt = [&](int led, Box waiting) {
        const platform::Canvas c = canvas();
        auto visible = [&](int x, int y) {
            return x < waiting.x || x >= waiting.x + waiting.w || y < waiting.y || y >= waiting.y + waiting.h;
        };
        bool shown = blackAt(c, waiting);
        for (int w = 0; w < 4; ++w)
            shown =
                shown && (quarter(w, led) == waiting ||
                          canvasprobe::showsCard(c, hdmi3, {quarter(w, led), {0, 0, 1920, 1080}}, 32, 200, visible));
        return shown;
    };

    apply(quarters(kW));
    apply([](KEL_RAM_PARA& b) { b.image[0].enable = 0; });
    apply([](KEL_RAM_PARA& b) { tile(b, 4, ram::kSourceHdmi3, {3600, 2000, 200, 120}); });
    apply([](KEL_RAM_PARA& b) { b.image[0].enable = ram::kImageShown; });
    ASSERT_EQ(refused(), 0x01);
    EXPECT_TRUE(blackOnlyAt(kW, quarter(0, kW))) << "renumbered";

    const Box onTop{800, 400, 320, 240};
    apply(emptyCanvas);
    apply([&](KEL_RAM_PARA& b) {
        quarters(1920)(b);
        for (int w = 0; w < 4; ++w)
            b.image_priority[w] = u16(w + 1);
    });
    apply([&](KEL_RAM_PARA& b) {
        tile(b, 4, ram::kSourceHdmi1, onTop);
        b.image_priority[4] = 0;
    });
    ASSERT_EQ(refused(), 0x10);
    for (int led : {3840, 1920})
        apply([&](KEL_RAM_PARA& b) { b.led_width = u16(led), b.led_height = u16(led * 9 / 16); });
    settle();
    ASSERT_EQ(refused(), 0x10);
    EXPECT_TRUE(blackOnlyAt(1920, onTop)) << "the canvas changed and back";
}

// One write that gives one window a costlier source and another a cheaper
// one is one hand-out: the window that keeps its channels gives one up
// first, the window that asks for more gets it, and the window that waited
// goes on waiting. (Served the other way round, the costlier window would
// find no channel left and the waiting one would take the freed channel.)
TEST_F(RefusalTest, OneWriteIsServedAsOneHandOutInTheDocumentedOrder)
{
    apply(sixWindowsOn({kHdmi2, kHdmi3, kHdmi3, kHdmi3, kDvi, kHdmi1}));
    ASSERT_EQ(refused(), 0x20);
    apply([](KEL_RAM_PARA& b) { b.image[0].source = kHdmi3, b.image[3].source = kHdmi1; });
    expectWaiting(0x20);
}

// A restart of the chip (it stopped answering, or register 0xA2 bit 6)
// gives the channels back to the windows that showed: the window that
// waited still waits, though it comes first in window order.
TEST_F(RefusalTest, AChipRestartKeepsWhichWindowWaits)
{
    apply(sixWindowsOn({kHdmi3, kHdmi3, kHdmi3, kHdmi1, kHdmi2, kDvi}));
    ASSERT_EQ(refused(), 0x20);
    apply([](KEL_RAM_PARA& b) { b.image[3].enable = 0; });
    apply([](KEL_RAM_PARA& b) { b.image[3].enable = ram::kImageShown; });
    ASSERT_EQ(refused(), 0x08);
    restartChip();
    settle();  // the inputs measured anew
    expectWaiting(0x08);
}

// A waiting dot-by-dot window stays black when its own source loses its
// signal: only a dot-by-dot window with channels goes on showing its other
// inputs.
TEST_F(RefusalTest, AWaitingDotByDotWindowStaysBlackWhenItsSourceIsPulled)
{
    apply([](KEL_RAM_PARA& b) {
        emptyCanvas(b);
        tile(b, 0, kHdmi1, {0, 0, kW, 1080}, 6);
        tile(b, 1, kHdmi2, {0, 1080, kW, 1080}, 6);
    });
    ASSERT_EQ(refused(), 0x02);
    platform::sim::pullSource(kHdmi2);
    settle();
    expectWaiting(0x02);
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

// Walks of layouts, sources, inputs and dot-by-dot arrangements that ask
// the eight channels for more than they hold. After every step: the windows
// waiting are those listed, they show black, every window that showed
// before still shows unless its own cost grew, a channel no window owns
// captures nothing, and no two captures share memory.
TEST_F(RefusalTest, AWindowThatShowsKeepsItsChannelsWhateverTheOthersAsk)
{
    using Edit = std::function<void(KEL_RAM_PARA&)>;
    struct Step {
        const char* what;
        Edit edit;                 // a block write, or
        int replug = -1;           // an input plugged again with
        bool twoPerClock = false;  // two pixels per clock
        u8 waiting = 0;
        u8 grows = 0;  // windows whose own cost grew (or that are laid out anew)
    };
    const Box row0[] = {{0, 0, 1280, 1080}, {1280, 0, 1280, 1080}, {2560, 0, 1280, 1080}};
    const Box row1[] = {{0, 1080, 1280, 1080}, {1280, 1080, 1280, 1080}, {2560, 1080, 1280, 1080}};
    const Box lowerLeft{0, 1080, 1920, 1080}, lowerRight{1920, 1080, 1920, 1080};
    auto sixTiles = [&](std::initializer_list<u16> sources) {
        return [=](KEL_RAM_PARA& b) {
            emptyCanvas(b);
            int w = 0;
            for (u16 s : sources) {
                tile(b, w, s, w < 3 ? row0[w] : row1[w - 3]);
                ++w;
            }
        };
    };
    auto enable = [](int w, u16 on) { return [=](KEL_RAM_PARA& b) { b.image[w].enable = on; }; };
    auto source = [](int w, u16 s) { return [=](KEL_RAM_PARA& b) { b.image[w].source = s; }; };
    auto arrangement = [](int w, u16 a) { return [=](KEL_RAM_PARA& b) { b.image[w].dbd_mode = a; }; };
    const u8 all = 0x3F;
    const std::vector<std::vector<Step>> walks = {
        {
            {"three tiles and four inputs dot by dot (8)",
             [&](KEL_RAM_PARA& b) {
                 emptyCanvas(b);
                 tile(b, 0, ram::kSourceHdmi1, row0[0]);
                 tile(b, 1, ram::kSourceHdmi3, row0[1]);
                 tile(b, 2, ram::kSourceHdmi2, row0[2]);
                 tile(b, 3, ram::kSourceHdmi1, lowerLeft, 6);
             },
             -1, false, 0, all},
            {"a fifth window (9)", [&](KEL_RAM_PARA& b) { tile(b, 4, ram::kSourceDvi, lowerRight); }, -1, false, 0x10,
             0x10},
            {"window 1 off: the others renumbered (7)", enable(1, 0)},
            {"the dot-by-dot window off", enable(3, 0)},
        },
        {
            {"six tiles (8)",
             sixTiles({ram::kSourceHdmi3, ram::kSourceHdmi3, ram::kSourceHdmi1, ram::kSourceHdmi2, ram::kSourceDvi,
                       ram::kSourceHdmi1}),
             -1, false, 0, all},
            {"window 5 on HDMI3 (9)", source(5, ram::kSourceHdmi3), -1, false, 0x20, 0x20},
            {"window 0 off (7)", enable(0, 0)},
            {"window 0 on again (9)", enable(0, ram::kImageShown), -1, false, 0x01, 0x01},
            {"window 0 moved while it waits", [](KEL_RAM_PARA& b) { b.image[0].y = 100; }, -1, false, 0x01},
        },
        {
            {"six tiles (7)",
             sixTiles({ram::kSourceHdmi1, ram::kSourceHdmi1, ram::kSourceHdmi2, ram::kSourceHdmi2, ram::kSourceDvi,
                       ram::kSourceHdmi3}),
             -1, false, 0, all},
            {"HDMI1 two pixels per clock (9)", nullptr, ram::kSourceHdmi1, true, 0x02, 0x03},
            {"HDMI1 one pixel per clock again (7)", nullptr, ram::kSourceHdmi1},
        },
        {
            {"four tiles and two inputs dot by dot (6)",
             [&](KEL_RAM_PARA& b) {
                 sixTiles({ram::kSourceHdmi1, ram::kSourceHdmi2, ram::kSourceDvi, ram::kSourceHdmi1})(b);
                 tile(b, 4, ram::kSourceHdmi1, row1[1], 1);
             },
             -1, false, 0, all},
            {"four inputs dot by dot (8)", arrangement(4, 6), -1, false, 0, 0x10},
            {"a sixth window (9)", [&](KEL_RAM_PARA& b) { tile(b, 5, ram::kSourceDvi, row1[2]); }, -1, false, 0x20,
             0x20},
            {"two inputs dot by dot (7)", arrangement(4, 1)},
            {"four inputs dot by dot again (9)", arrangement(4, 6), -1, false, 0x10, 0x10},
        },
    };
    for (const auto& walk : walks) {
        for (int s : {ram::kSourceDvi, ram::kSourceHdmi1, ram::kSourceHdmi2, ram::kSourceHdmi3})
            plugAndSettle(s, SourceTiming::p1080_60());
        for (const Step& step : walk) {
            SCOPED_TRACE(step.what);
            bool before[6];
            for (int b = 0; b < 6; ++b)
                before[b] = shown(b);
            if (step.edit) {
                apply(step.edit);
            } else {
                SourceTiming t = SourceTiming::p1080_60();
                t.datamode = step.twoPerClock ? 1 : 0;
                plugAndSettle(step.replug, t);
            }
            EXPECT_EQ(int(refused()), int(step.waiting));
            for (int b = 0; b < 6; ++b) {
                const bool kept = before[b] && live().image[b].enable && !(step.grows & (1u << b));
                if (step.waiting & (1u << b)) {
                    EXPECT_FALSE(shown(b)) << "window " << b;
                } else if (kept) {
                    EXPECT_TRUE(shown(b)) << "window " << b;
                }
            }
            for (int c = 0; c < x518_manage::kChannels; ++c) {
                if (m->ich.ich_win[c] < 0) {
                    EXPECT_EQ(chip->regValue(x518::kIactHw, x518::kChannelStride * u32(c)), 0u) << "channel " << c;
                }
            }
            EXPECT_TRUE(memorySound());
        }
    }
}
