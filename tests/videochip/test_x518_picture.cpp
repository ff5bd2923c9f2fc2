// Picture and window setters and test patterns, on the running chip: the
// conversions each picture field takes on its way to every output channel,
// sharpness by window, the pattern generators and the freeze.
#include "tests/videochip/chip_test.h"

#include "registers/x518_regs.h"
#include "platform/sim/sim_receiver.h"

using x518::reg;

namespace {

class PictureTest : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        for (ST_WIN_INFO& w : m->model.win_info)
            w.h_cnt = w.v_cnt = 0;
    }
    // Window `w` on `port` (with a picture), shown by output channels `och` across.
    void window(int w, int port, std::initializer_list<int> och)
    {
        ST_WIN_INFO& info = m->model.win_info[w];
        int i = 0;
        for (int c : och)
            info.och[i++] = u8(c);
        info.h_cnt = u8(och.size());
        info.v_cnt = 1;
        m->model.PM_INPUT[w] = port;
        m->ports.PI_STATE[port] = 4;
        m->model.IWIN[w] = {0, 1920, 0, 1080};
        m->model.OWIN[w] = {0, 1920, 0, 1080};
    }
    void apply(void (*edit)(KEL_RAM_PARA&))
    {
        {
            QMutexLocker lock(&x518_manage::mutex);
            edit(store->ram_para);
            x518_manage::apply_flag = 1;
        }
        m->runPass();
    }
    u32 at(u32 spec, int ch) const { return chip->regValue(spec, x518::kChannelStride * u32(ch)); }
    // Registers `count` apart by `step` addresses, on every output channel, all `value`.
    void expectEverywhere(u32 first, int count, int step, u32 value, const char* what) const
    {
        for (int ch = 0; ch < x518_manage::kChannels; ++ch)
            for (int i = 0; i < count; ++i)
                EXPECT_EQ(at(x518::regAt(first, u32(step * i)), ch), value) << what << " ch " << ch << " #" << i;
    }
};

}  // namespace

// Each field goes through the apply pass; brightness reaches the chip only as
// its neutral 50, so its conversion is checked on the setter itself.
TEST_F(PictureTest, PictureFieldsReachEveryOutputChannelConverted)
{
    const struct {
        const char* what;
        void (*edit)(KEL_RAM_PARA&);
        u32 spec;
        u32 value;
    } cases[] = {
        {"contrast 100", [](KEL_RAM_PARA& b) { b.contrast = 100; }, x518::kContrast, 1023},
        {"contrast 101", [](KEL_RAM_PARA& b) { b.contrast = 101; }, x518::kContrast, 0},
        {"saturation 100", [](KEL_RAM_PARA& b) { b.saturation = 100; }, x518::kSaturation, 1023},
        {"saturation 50", [](KEL_RAM_PARA& b) { b.saturation = 50; }, x518::kSaturation, 511},
        {"brightness", [](KEL_RAM_PARA& b) { b.brightness = 7; }, x518::kBrightness, 0},
    };
    for (const auto& c : cases) {
        apply(c.edit);
        expectEverywhere(c.spec, 3, 2, c.value, c.what);
    }
    expectEverywhere(x518::kContrastEnable, 1, 1, 1, "contrast enable");
    expectEverywhere(x518::kSaturationEnable, 1, 1, 1, "saturation enable");

    for (auto [value, data] : {std::pair<u16, u32>{49, 0xFEC}, {50, 0}, {0, 0xC00}, {100, 1024}, {150, 0xFEC}}) {
        x518_manage::x518_SetBrightness(value);
        expectEverywhere(x518::kBrightness, 3, 2, data, "brightness");
    }
}

TEST_F(PictureTest, ColourTemperatureIsADiagonalMatrixOfPresetOrUserGains)
{
    apply([](KEL_RAM_PARA& b) {
        b.color_temp_mode = 0;
        b.color_temp_r = b.color_temp_g = b.color_temp_b = 100;
    });
    for (int ch = 0; ch < x518_manage::kChannels; ++ch)
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(at(x518::regAt(x518::kColourMatrix, u32(2 * i)), ch), i % 4 == 0 ? 6400u : 0u) << ch << i;
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(chip->reg(0x00, u8(0x59 + k)) & 0x20, 0x20) << k;

    apply([](KEL_RAM_PARA& b) {
        b.color_temp_mode = 3;
        b.color_temp_r = 7;  // a preset ignores the gains
    });
    expectEverywhere(x518::kColourMatrix, 1, 0, 6944, "red of preset 3");
    expectEverywhere(x518::regAt(x518::kColourMatrix, 16), 1, 0, 10978, "blue of preset 3");
    apply([](KEL_RAM_PARA& b) { b.color_temp_mode = 2; });
    expectEverywhere(x518::kColourMatrix, 3, 8, 8192, "unity");
}

// Sharpness follows each window's zoom on that window's own channels; a
// window without an input size takes the lowest band instead of dividing by
// zero, and a level above the gain's byte saturates.
TEST_F(PictureTest, SharpnessProgramsEachWindowsOwnChannels)
{
    m->model.wincnt = 2;
    window(0, 2, {0, 1});
    window(1, 1, {4});
    m->model.OWIN[1].hw = 3 * 1920;  // zoomed 3:1 across
    const u8 none[5] = {}, unity[5] = {44, 49, 56, 63, 2}, zoom3[5] = {36, 43, 58, 4, 5};
    const struct {
        int value, inputWidth;
        u32 enable, gain;
        const u8* window0;
        const u8* window1;
    } cases[] = {
        {20, 1920, 6, 128, unity, zoom3},  {5, 1920, 0, 0, none, none}, {20, 0, 6, 128, unity, unity},  // no input size
        {30, 1920, 6, 255, unity, zoom3},  // 256: saturated, not wrapped to 0
        {100, 1920, 6, 255, unity, zoom3},
    };
    for (const auto& c : cases) {
        m->model.IWIN[1].hw = c.inputWidth;
        chip->clearJournal();
        x518_manage::x518_SetSharpness(c.value);
        for (auto [ch, coef] : {std::pair<int, const u8*>{0, c.window0}, {1, c.window0}, {4, c.window1}}) {
            EXPECT_EQ(at(x518::kSharpHEnable, ch), c.enable) << c.value << " ch " << ch;
            EXPECT_EQ(at(x518::kSharpHGain, ch), c.gain) << c.value;
            EXPECT_EQ(at(x518::kSharpVGain, ch), c.gain) << c.value;
            for (int k = 0; k < 5; ++k)
                EXPECT_EQ(at(x518::regAt(x518::kSharpHCoef, u32(k)), ch), coef[k]) << c.value << " ch " << ch;
        }
        for (const auto& e : chip->journal())
            EXPECT_TRUE(e.bank != 0x2B && e.bank != 0x7B) << "channels 2 and 7 belong to no window";
    }
}

TEST_F(PictureTest, PatternsShowOnWindowZerosChannelsInSingleWindowLayoutsOnly)
{
    window(0, 2, {0, 1});
    m->model.wincnt = 1;
    auto generator = [this](int ch) {
        std::vector<u32> v;
        for (u8 a = 0x57; a <= 0x68; ++a)
            v.push_back(chip->reg(u8(0x08 + 16 * ch), a));
        return v;
    };
    EXPECT_EQ(x518_manage::x518_SetPattern(1), 0u);
    EXPECT_TRUE(m->kelApi_IsPatternGen());
    EXPECT_EQ(at(x518::kPatternType, 0), 4u);
    EXPECT_EQ(at(x518::kPatternC1, 1), 255u);
    EXPECT_EQ(at(x518::kPatternControl, 0), 0u);  // the first channel of a narrow window
    EXPECT_EQ(at(x518::kPatternControl, 1), 3u);
    const auto first = generator(0), second = generator(1);

    x518_manage::x518_SetPattern(18);
    EXPECT_EQ(at(x518::kPatternControl, 1), 0x8095u);
    x518_manage::x518_SetPattern(21);
    EXPECT_EQ(generator(0), first);
    EXPECT_EQ(generator(1), second);

    m->model.wincnt = 2;
    EXPECT_EQ(x518_manage::x518_SetPattern(0), 0xFFFFFFFFu);
    EXPECT_TRUE(m->kelApi_IsPatternGen());
    EXPECT_EQ(generator(0), first);

    m->model.wincnt = 1;
    EXPECT_EQ(x518_manage::x518_SetPattern(0), 0u);
    EXPECT_FALSE(m->kelApi_IsPatternGen());
    EXPECT_EQ(generator(0), std::vector<u32>(18, 0));
    EXPECT_EQ(generator(1), std::vector<u32>(18, 0));
}

// A freeze holds the window's first input channel; a window without signal
// (or without a port) is not held, and keeps the freeze for when it has one.
// The switch effect and dot-by-dot bits of the same call apply either way.
TEST_F(PictureTest, FreezeNeedsASignalAndOtherwiseLetsTheRestThrough)
{
    m->model.wincnt = 1;
    window(0, 2, {0});
    m->ich.win_ich[0][0] = 3;
    const u16 request = ram::kFlagFreeze | ram::kFlagSeamless | ram::kFlagDotByDot;
    store->ram_para.image[0].dbd_mode = 3;  // DVI (port 2) and port 3, which no input reaches
    m->ports.PI_PORT_INFO[3].nosig = 1;
    const struct {
        int port, nosig;
        bool frozen;
    } cases[] = {{2, 0, true}, {2, 1, false}, {6, 0, false}, {255, 0, false}};
    const i32 measured = m->ports.PI_STATE[2];
    for (const auto& c : cases) {
        m->model.PM_INPUT[0] = c.port;
        m->ports.PI_PORT_INFO[2].nosig = c.nosig;
        m->ports.PI_STATE[2] = c.nosig ? 0 : measured;
        m->model.win_info[0].output = 0;
        m->model.PM_WIN_FADE_EN[0] = 0;
        m->model.PM_WIN_DBD_MODE[0] = 0;
        chip->setRegValue(x518::kIsyct, 1, 3 * x518::kChannelStride);
        m->x518_SetWinOutput(fd, 0, request);
        EXPECT_EQ(m->model.win_info[0].output & ram::kFlagFreeze, 2) << c.port << c.nosig;
        const int first = m->ich.win_ich[0][0] >= 0 ? m->ich.win_ich[0][0] : 3;  // the dot by dot may move it
        EXPECT_EQ(at(x518::kIsyct, first) == x518::kIsyctHold, c.frozen);
        EXPECT_EQ(m->model.PM_WIN_FADE_EN[0], 1);
        EXPECT_EQ(m->model.PM_WIN_DBD_MODE[0], DBD_CMOS_IN34);
    }
    m->ports.PI_PORT_INFO[2].nosig = 0;
    m->model.PM_INPUT[0] = 2;
    m->x518_SetWinOutput(fd, 0, ram::kFlagFreeze);
    const int held = m->ich.win_ich[0][0];  // where the dot-by-dot window now captures
    ASSERT_GE(held, 0);
    EXPECT_EQ(at(x518::kIsyct, held), x518::kIsyctHold);
    m->x518_SetWinOutput(fd, 0, 0);  // released
    EXPECT_EQ(at(x518::kIsyct, held), x518::kIsyctRun);
}

namespace {

using platform::sim::SourceTiming;

// The sharpness a box started with, on a window showing HDMI1 over the whole
// 1920 x 1080 canvas.
class SharpnessTest : public RunningChipTest {
protected:
    static constexpr int kWindow = 1;

    void SetUp() override
    {
        RunningChipTest::SetUp();
        KEL_RAM_PARA& b = live();
        for (int i = 0; i < kShownWindows; ++i)
            b.image[i].enable = 0;
        b.image[kWindow] = b.image[kWindow - 1];
        b.image[kWindow].enable = ram::kImageShown;
        b.image[kWindow].source = ram::kSourceHdmi1;
        b.image[kWindow].x = b.image[kWindow].y = 0;
        b.image[kWindow].w = 1920;
        b.image[kWindow].h = 1080;
        b.sharpness = 94;  // gain 255
        store->ram_para_shadow = b;
        m->applied = b;
        // Started again, as the box is with this block saved.
        m->init_state = 0;
        for (int i = 0; i < 8 && m->init_state < x518_manage::kRunningState; ++i)
            m->runPass();
        ASSERT_EQ(m->init_state, x518_manage::kRunningState);
    }
    void settle()
    {
        for (int i = 0; i < 12; ++i) {
            poll();
            m->runPass();
        }
    }
    // The window's output channels, each with its gain and its coefficients
    // across and down; empty when it has none.
    struct Shown {
        u32 gain = 0;
        std::vector<u32> across, down;
        bool operator==(const Shown& o) const { return gain == o.gain && across == o.across && down == o.down; }
        friend void PrintTo(const Shown& s, std::ostream* os)
        {
            *os << "gain " << s.gain << " across " << testing::PrintToString(s.across) << " down "
                << testing::PrintToString(s.down);
        }
    };
    std::vector<Shown> shown() const
    {
        std::vector<Shown> out;
        const ST_WIN_INFO& info = m->model.win_info[m->recordOfWindow(kWindow)];
        for (int i = 0; i < info.h_cnt * info.v_cnt; ++i) {
            const u32 at = x518::kChannelStride * info.och[i];
            Shown s;
            s.gain = chip->regValue(x518::kSharpHGain, at);
            EXPECT_EQ(chip->regValue(x518::kSharpVGain, at), s.gain);
            for (u32 k = 0; k < 5; ++k) {
                s.across.push_back(chip->regValue(x518::regAt(x518::kSharpHCoef, k), at));
                s.down.push_back(chip->regValue(x518::regAt(x518::kSharpVCoef, k), at));
            }
            out.push_back(s);
        }
        return out;
    }
    static std::vector<Shown> expected(size_t channels, u32 gain, std::vector<u32> across, std::vector<u32> down)
    {
        return std::vector<Shown>(channels, Shown{gain, across, down});
    }
    void plugHdmi1(const SourceTiming& t)
    {
        platform::sim::plugSource(ram::kSourceHdmi1, t);
        settle();
    }
};

const std::vector<u32> kOneToOneAcross = {44, 49, 56, 63, 2}, kOneToOneDown = {44, 50, 56, 0, 0};
const std::vector<u32> kZoomedAcross = {28, 46, 5, 3, 60}, kZoomedDown = {28, 45, 5, 0, 0};

}  // namespace

// Nothing writes the sharpness again: the window gets it when its input is
// measured, and new coefficients when its input's timing or its own size
// changes its scale. A window without a picture keeps what it had until
// its input is back, then takes the value written meanwhile.
TEST_F(SharpnessTest, AWindowsSharpnessFollowsItsInputAndItsScaleAfterAStart)
{
    ASSERT_FALSE(shown().empty());
    EXPECT_EQ(shown()[0].gain, 0u) << "the input is not measured yet";

    inputsUp();
    settle();
    const size_t n = shown().size();
    EXPECT_EQ(shown(), expected(n, 255, kOneToOneAcross, kOneToOneDown)) << "1080p shown 1:1";

    plugHdmi1(SourceTiming::p720_60());
    EXPECT_EQ(shown(), expected(n, 255, kZoomedAcross, kZoomedDown)) << "720p zoomed 1.5 times";

    write([](KEL_RAM_PARA& b) {
        b.image[kWindow].w = 960;
        b.image[kWindow].h = 540;
    });
    settle();
    EXPECT_EQ(shown(), expected(shown().size(), 255, kOneToOneAcross, kOneToOneDown)) << "720p shrunk";

    platform::sim::pullSource(ram::kSourceHdmi1);
    settle();
    write([](KEL_RAM_PARA& b) { b.sharpness = 20; });  // gain 128
    settle();
    EXPECT_EQ(shown()[0].gain, 255u) << "no picture: left as it was";
    plugHdmi1(SourceTiming::p1080_60());
    EXPECT_EQ(shown(), expected(shown().size(), 128, kOneToOneAcross, kOneToOneDown)) << "back, at the new value";
}
