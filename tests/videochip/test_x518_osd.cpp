// The OSD engine on the simulated chip: an overlay file applied by the
// dispatcher draws its text glyph by glyph, colours the table, places its
// windows over the output tiles and scrolls; with no description to show
// the chip shows what a start with the overlay on shows.
#include "tests/videochip/chip_test.h"

#include "tests/videochip/overlay_json.h"
#include "videochip/x518_osd.h"

namespace {

using Command = platform::sim::SimX518Osd::Command;
using Glyph = platform::sim::SimX518Osd::Glyph;
using x518::reg;

constexpr u32 kZoomBits = x518::kOsdHZoom | x518::kOsdVZoom;
constexpr u32 kHanZhong = 0x2D;  // U+4E2D less U+4E00

class OsdTest : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        store->ram_para.led_x = 0;
        m->runPass();  // the bring-up's redraw of the empty plane
        chip->clearOsdLog();
        ASSERT_EQ(m->sys.PS_PANEL_HSHAPE * m->sys.PS_PANEL_VSHAPE, u32(kTiles));
        ASSERT_EQ(m->sys.PS_PANEL_HW, kPlaneWidth);
    }
    // Stores the file and runs the pass that serves a reload request.
    void apply(const std::string& file)
    {
        writeBoxFile(KelRamPara::kOverlayFile, file);
        {
            QMutexLocker lock(&x518_manage::mutex);
            store->ram_para.osd_enable = 1;
            g_osd_update = 1;
            x518_manage::apply_flag = 1;
        }
        m->runPass();
    }
    void apply(const OverlayText& t) { apply(overlayFile(t.json())); }
    std::vector<Command> drawn(Command::Kind kind) const
    {
        std::vector<Command> out;
        for (const Command& c : chip->osdLog())
            if (c.kind == kind)
                out.push_back(c);
        return out;
    }
    u32 tile(u32 spec, int k) const { return chip->regValue(spec, x518::kChannelStride * u32(k)); }
    // What the OSD shows through: each tile's OSD window registers, then
    // the colour table.
    std::vector<u32> shown() const
    {
        std::vector<u32> out;
        for (int k = 0; k < kTiles; ++k)
            for (u32 a = kOsdWindowFirst; a <= kOsdWindowLast; ++a)
                out.push_back(tile(reg(9, a, 1), k));
        for (int i = 0; i < kColours; ++i)
            out.push_back(chip->osdColour(i));
        return out;
    }
    // The chip brought up again with the overlay on, and the first pass.
    void bringUpWithOverlayOn()
    {
        store->ram_para.osd_enable = 1;
        m->init_state = 0;
        for (int i = 0; i < 8 && m->init_state < x518_manage::kRunningState; ++i)
            m->runPass();
        ASSERT_EQ(m->init_state, x518_manage::kRunningState);
        m->runPass();
    }
    static constexpr u32 kOsdWindowFirst = 0x08, kOsdWindowLast = 0x43;
    static constexpr int kColours = 256;
    // The panel of the default LED canvas (1920 x 1080): two output tiles of
    // 1920 x 1080 across. The plane is as wide; its pitch holds two plane
    // lines: 60 units of 128 bytes.
    static constexpr int kTiles = 2;
    static constexpr u32 kPlaneWidth = 3840;
    static constexpr u32 kPitchBytes = 60 * 128;
};

}  // namespace

TEST_F(OsdTest, EachCharacterSizeDrawsItsGlyphsWithTheirAdvances)
{
    const struct {
        int fontw, fonth, wordspace;
        u8 mode;
        u32 zoom;
        u16 half, full;
    } cases[] = {
        {32, 32, 0, 0x08, 0, 16, 32},
        {64, 64, 2, 0x48, 0, 34, 66},
        {128, 128, 0, 0x48, kZoomBits, 32, 64},  // 64-dot characters shown twice as large
        {64, 32, 0, 0x08, kZoomBits, 16, 32},    // only the character size; the zooms stay
    };
    for (const auto& c : cases) {
        OverlayText t;
        t.texts = "[\"AB\xE4\xB8\xAD\"]";
        t.fontw = c.fontw;
        t.fonth = c.fonth;
        t.wordspace = c.wordspace;
        chip->clearOsdLog();
        apply(t);
        const auto strings = drawn(Command::String);
        ASSERT_EQ(strings.size(), 1u) << c.fontw << "x" << c.fonth;
        const Command& s = strings[0];
        const bool is64 = c.mode == 0x48;
        EXPECT_EQ(s.stringMode, c.mode);
        EXPECT_EQ(s.glyphSize, is64 ? 64 : 32);
        EXPECT_EQ(s.source, is64 ? m->osd.g_font_addr_64ASCII : m->osd.g_font_addr_32ASCII);
        EXPECT_EQ(s.text(), "AB\xE4\xB8\xAD");
        const std::vector<Glyph> want = {
            {0x21, 2, 1, u8(c.half)}, {0x22, 2, 1, u8(c.half)}, {u16(96 + kHanZhong), 2, 1, u8(c.full)}};
        EXPECT_EQ(s.glyphs, want) << c.fontw << "x" << c.fonth;
        EXPECT_EQ(s.destination, m->sys.PS_MEM_OSD + 4 + 6 * kPitchBytes);  // text origin 4, 6
        EXPECT_EQ(tile(x518::kOsdControl, 0) & kZoomBits, c.zoom);
        EXPECT_EQ(tile(x518::kOsdControl, 0) & 3, 3u);  // shown, text
    }
}

TEST_F(OsdTest, CharactersOutsideTheFontsAreSpacesAndSixtyFourLinesAreAllDrawn)
{
    OverlayText t;
    t.fontw = t.fonth = 32;
    // "\r", U+00E9, U+3105, U+FFFF, U+1F600, then "~", the last English glyph but one.
    t.texts = "[\"\\r\xC3\xA9\xE3\x84\x85\xEF\xBF\xBF\xF0\x9F\x98\x80~\"]";
    apply(t);
    auto strings = drawn(Command::String);
    ASSERT_EQ(strings.size(), 1u);
    const Glyph space{0, 2, 1, 16};
    EXPECT_EQ(strings[0].glyphs, std::vector<Glyph>({space, space, space, space, space, {0x5E, 2, 1, 16}}));

    std::string lines;
    for (int i = 0; i < 64; ++i)
        lines += (i ? "\\n" : "") + std::to_string(i);
    t.texts = "[\"" + lines + "\"]";
    t.verticalspace = 8;
    chip->clearOsdLog();
    apply(t);
    strings = drawn(Command::String);
    ASSERT_EQ(strings.size(), 64u);
    EXPECT_EQ(strings[63].text(), "63");
    EXPECT_EQ(strings[63].destination, m->sys.PS_MEM_OSD + 4 + (6 + 63 * 40) * kPitchBytes);
}

TEST_F(OsdTest, ColoursBackgroundAndTheDisplayPlaneCopiedTwoByTwo)
{
    OverlayText t;
    t.fontColour = "FF0000";
    t.backColour = "0x102030";
    apply(t);
    EXPECT_EQ(chip->osdColour(1), 0x302010u);
    EXPECT_EQ(chip->osdColour(2), 0x0000FFu);
    auto fills = drawn(Command::Fill);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].fillValue, 1);
    EXPECT_EQ(fills[0].width, kPlaneWidth);
    // The window's part of the plane (x 10 width 300, y 20 height 64) goes
    // to the display plane four times.
    const auto copies = drawn(Command::Copy);
    ASSERT_EQ(copies.size(), 4u);
    const u32 lower = 64 * kPitchBytes;
    const u32 at[] = {0, 310, lower, lower + 310};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(copies[i].source, m->sys.PS_MEM_OSD + 20 * kPitchBytes);
        EXPECT_EQ(copies[i].destination, m->sys.PS_MEM_OSD1 + at[i]);
        EXPECT_EQ(copies[i].width, 310u);
        EXPECT_EQ(copies[i].height, 64u);
    }

    t.back = "off";
    chip->clearOsdLog();
    apply(t);
    EXPECT_EQ(drawn(Command::Fill).at(0).fillValue, 255);
    EXPECT_EQ(drawn(Command::String).at(0).glyphs.at(0).background, 255);
}

TEST_F(OsdTest, ScrollModeAndSpeedReachEveryTileAfterAStop)
{
    const struct {
        int option, value;
        u32 spec, want;
    } cases[] = {
        {kOsdScrollMode, 10, x518::kOsdScroll, 0x81},     {kOsdScrollMode, 9, x518::kOsdScroll, 0x80},
        {kOsdScrollMode, 8, x518::kOsdScroll, 0xF1},      {kOsdScrollMode, 3, x518::kOsdScroll, 0xA1},
        {kOsdScrollSpeed, 50, x518::kOsdScrollSpeed, 50}, {kOsdScrollSpeed, 300, x518::kOsdScrollSpeed, 44},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(m->kelApi_OsdSet(c.option, c.value), 1);
        chip->clearJournal();
        m->set_scroll(fd);
        for (int k = 0; k < kTiles; ++k)
            EXPECT_EQ(tile(c.spec, k), c.want) << c.option << "/" << c.value << " tile " << k;
        EXPECT_EQ(writesTo(9, 0x3C).front(), 0);  // stopped before the new setting
    }
    EXPECT_EQ(m->kelApi_OsdSet(23, 1), 0);
    EXPECT_EQ(m->kelApi_OsdSet(36, 1), 0);
}

TEST_F(OsdTest, AWindowAcrossTwoOutputTilesIsSplitAtTheirBorder)
{
    X518System& s = m->sys;
    s.PS_PANEL_HSHAPE = 2;
    s.PS_PANEL_VSHAPE = 1;
    s.PS_ACTHW = 1920;
    s.PS_ACTVW = 1080;
    s.PS_PANEL_HW = 3840;
    s.PS_PANEL_VW = 1080;
    X518Osd& o = m->osd;
    o.PM_OSD_DATA_MODE = 1;
    o.PS_BG_HACT = 3840;
    o.PS_BG_VACT = 1080;
    const struct {
        i32 left, width;
        _ImageWindowDef2_St col0, col1;
    } cases[] = {
        {1800, 300, {1800, 120, 0, 1080, 1, 0, 1, 1}, {0, 180, 0, 0, 0, 1, 0, 0}},
        {4000, 300, {0, 0, 0, 1080, 0, 0, 1, 1}, {0, 0, 0, 0, 0, 0, 0, 0}},  // beyond the panel
    };
    auto words = [](const _ImageWindowDef2_St& t) {
        return std::vector<i32>{t.hst, t.hw, t.vst, t.vw, t.h_first, t.h_last, t.v_first, t.v_last};
    };
    for (const auto& c : cases) {
        o.PM_OSD_OUTPUT_OFFSET[0] = c.left;
        o.PM_OSD_OUTPUT_OFFSET[1] = 3840 - c.left - c.width;
        _ImageWindowDef2_St tiles[8];
        m->calc_osd(tiles);
        EXPECT_EQ(words(tiles[0]), words(c.col0)) << c.left;
        EXPECT_EQ(words(tiles[1]), words(c.col1)) << c.left;
    }
    o.PM_OSD_OUTPUT_OFFSET[0] = 1800;
    o.PM_OSD_OUTPUT_OFFSET[1] = 3840 - 1800 - 300;
    m->set_osd(fd, 1);
    EXPECT_EQ(tile(x518::kOsdHStart, 0), s.PS_ACTHST + 1800 - 4);
    EXPECT_EQ(tile(x518::kOsdWidth, 0), 120u);
    EXPECT_EQ(tile(x518::kOsdHStart, 1), s.PS_ACTHST - 4);
    EXPECT_EQ(tile(x518::kOsdWidth, 1), 180u);
    EXPECT_EQ(tile(x518::kOsdAddress, 1), s.PS_MEM_OSD1 + 120);
}

// A description that goes bad or missing while the overlay is on (read
// again on a request, register 11 bit 3) leaves nothing of what an earlier
// one drew: the chip shows what a box started with the overlay on and no
// description shows, the input. A bad file is removed.
TEST_F(OsdTest, ADescriptionGoneBadOrMissingShowsWhatAStartShows)
{
    platform::removeFile(KelRamPara::kOverlayFile);
    bringUpWithOverlayOn();
    const std::vector<u32> started = shown();
    ASSERT_EQ(started.at(0) & 3, 0u);  // the first tile's control word: hidden

    OverlayText good, textAsInteger = good;
    textAsInteger.x = "\"10px\"";
    std::string noStatus = good.json();
    noStatus.replace(noStatus.find("\"status\":\"on\","), 14, "");
    const struct {
        const char* what;
        std::string file;  // empty: none
    } cases[] = {
        {"missing", ""},
        {"no status", overlayFile(noStatus)},
        {"text as integer", overlayFile(textAsInteger.json())},
        {"entry of the wrong shape", overlayFile(R"({"type":0,"status":"on","pos":[1,2],"act":1})")},
        {"cut short", overlayFile(good.json()).substr(0, 40)},
        {"osdcount 0", overlayFile(good.json(), "0")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        apply(good);
        m->runPass();
        ASSERT_NE(shown(), started);
        if (c.file.empty())
            platform::removeFile(KelRamPara::kOverlayFile);
        else
            writeBoxFile(KelRamPara::kOverlayFile, c.file);
        {
            QMutexLocker lock(&x518_manage::mutex);
            g_osd_update = 1;
        }
        m->runPass();
        m->runPass();
        EXPECT_EQ(shown(), started);
        EXPECT_EQ(platform::exists(KelRamPara::kOverlayFile), c.file.find("\"osdcount\":0") != std::string::npos);
    }
}

// A reload asked for while the overlay was on, served after the block
// switched it off: the file is not read and nothing is shown.
TEST_F(OsdTest, AReloadAskedForBeforeTheOverlayWasSwitchedOffShowsNothing)
{
    apply(OverlayText{});
    ASSERT_EQ(tile(x518::kOsdControl, 0) & 3, 3u);
    chip->clearOsdLog();
    {
        QMutexLocker lock(&x518_manage::mutex);
        g_osd_update = 1;
        x518_manage::apply_flag = 1;
    }
    {
        QMutexLocker lock(&x518_manage::mutex);
        store->ram_para.osd_enable = 0;
        x518_manage::apply_flag = 1;
    }
    m->runPass();
    EXPECT_EQ(g_osd_update, 0);
    EXPECT_TRUE(drawn(Command::String).empty());
    for (int k = 0; k < kTiles; ++k)
        EXPECT_EQ(tile(x518::kOsdControl, k) & 3, 0u) << k;
}

// With no description file there is nothing to draw: the overlay switched on
// live shows the input, as it does after a bring-up with the overlay on.
TEST_F(OsdTest, AnOverlaySwitchedOnWithoutADescriptionShowsTheInputLiveAndAfterABringUp)
{
    platform::removeFile(KelRamPara::kOverlayFile);
    {
        QMutexLocker lock(&x518_manage::mutex);
        store->ram_para.osd_enable = 1;
        x518_manage::apply_flag = 1;
    }
    m->runPass();
    for (int k = 0; k < kTiles; ++k)
        EXPECT_EQ(tile(x518::kOsdControl, k) & 3, 0u) << "live, tile " << k;
    m->init_state = 0;
    for (int i = 0; i < 8 && m->init_state < x518_manage::kRunningState; ++i)
        m->runPass();
    ASSERT_EQ(m->init_state, x518_manage::kRunningState);
    m->runPass();
    for (int k = 0; k < kTiles; ++k)
        EXPECT_EQ(tile(x518::kOsdControl, k) & 3, 0u) << "brought up, tile " << k;
}
