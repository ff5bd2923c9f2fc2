// The chip's OSD engine: the attribute setter and the text store that the
// overlay file and the dispatcher drive, the drawing primitives (fill, copy,
// string) on the engine in bank 4, the colour table, the split of the OSD
// window over the output tiles, and the redraw of the plane.
//
// The plane is drawn in chip memory (PS_MEM_OSD), copied 2 x 2 into the
// display plane (PS_MEM_OSD1) and shown through one OSD window per output
// tile (bank 9 + 16 x tile).
#include "videochip/x518_manage.h"

#include "app/kelrampara.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

using x518::reg;
using i64 = int64_t;

// ---- the engine (bank 4)
constexpr u32 kEngineCommand = reg(4, 0x08, 1);
constexpr u32 kFillValue = reg(4, 0x0B, 2);
constexpr u32 kSource = reg(4, 0x0D, 4);  // copy source; glyph table of a string
constexpr u32 kDestination = reg(4, 0x11, 4);
constexpr u32 kEngineStatus = reg(4, 0x17, 1);
constexpr u32 kDestPitch = reg(4, 0x1B, 1);
constexpr u32 kSourcePitch = reg(4, 0x1C, 1);
constexpr u32 kWidthLess1 = reg(4, 0x1E, 2);
constexpr u32 kHeightLess1 = reg(4, 0x20, 2);
constexpr u32 kPitchUnits = reg(4, 0x22, 1);
constexpr u32 kString23 = reg(4, 0x23, 1);
constexpr u32 kLastChar = reg(4, 0x24, 1);
constexpr u32 kString25 = reg(4, 0x25, 1);
constexpr u32 kString26 = reg(4, 0x26, 1);
constexpr u32 kStringAddress = reg(4, 0x27, 2);
constexpr u32 kStringData = reg(4, 0x29, 1);
constexpr u32 kStringMode = reg(4, 0x2A, 1);

constexpr u32 kCmdIdle = 0, kCmdFill = 1, kCmdCopy = 2, kCmdString = 3;
constexpr u32 kEngineBusy = 0x01;
// Reads of the busy bit after which a command counts as stuck: a stuck
// engine must not hold the manager thread (and its mutex) for ever.
constexpr int kEngineReads = 200000;
constexpr u32 kDestUnits512 = 0x10, kSourceUnits512 = 0x20;
constexpr u32 kStringMode32 = 0x08, kStringMode64 = 0x48;
constexpr u32 kGlyphSizeAddress = 0x0A00;
constexpr u32 kStagingWideFrom = 8320;  // staging width from which its pitch counts 512-byte units

// ---- colour table
constexpr u32 kTableGate = reg(0xFF, 0x01, 1);
constexpr u32 kTableIndex = reg(9, 0x1F, 1);
constexpr u32 kTableData = reg(9, 0x20, 1);
constexpr u32 kTableOpen = 1, kTableClosed = 0;
constexpr u32 kBackgroundIndex = 1, kCharacterIndex = 2;
constexpr u32 kTransparentIndex = 255;
constexpr int kPaletteBytes = 816;
constexpr int kDmaToMemory = 0, kDmaToPalette = 4;

// ---- OSD window of each output tile (x518_regs.h)
constexpr int kMaxTiles = x518::kChannels;  // one output channel shows each tile
constexpr u32 kScrollStop = 0, kScrollStill = 0x80, kScrollFirst = 0x81, kScrollStep = 16;
constexpr int kScrollModes = 9;

// ---- text
constexpr int kTextLineSlots = X518Osd::kTextLines;
constexpr int kTextSlotBytes = X518Osd::kTextSlotBytes;
constexpr int kTextLineUnits = 127;  // code units a slot keeps, then two zero bytes
constexpr int kStringChars = 128;    // characters one string command draws
constexpr u32 kAsciiFirst = 0x20, kHanFirst = 0x4E00;
constexpr u32 kSpace = 0x20;
constexpr u32 kGlyphBytes32 = 128, kGlyphBytes64 = 512;
constexpr int kDot32 = 32, kDot64 = 64;
constexpr u32 kForeground = kCharacterIndex;

// ---- plane pitch
constexpr u32 kPitchUnit = 128;  // bytes of one g_osd_mwi unit
constexpr int kPitchUnitShift = 7;
constexpr u32 kPitchAlign = 4;
constexpr u32 kPitchMaxUnits = 64;  // above: the pitch counts 512-byte units
constexpr u32 kWideUnitFactor = 4;

i32 nonNegative(i64 v)
{
    return v < 0 ? 0 : i32(std::min<i64>(v, INT32_MAX));
}
// Margins come from an uploaded file: sums of its values are kept in range.
i32 saturated(i64 v)
{
    return i32(std::clamp<i64>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

// ------------------------------------------------------------------ the panel

// The one place the OSD reads the output panel: its size, the output tiles
// across and down, one tile's size and the active-area start of the output
// timing. The panel set-up owns these; the OSD follows whatever it leaves.
x518_manage::OsdPanel x518_manage::osdPanel() const
{
    OsdPanel p;
    p.width = i32(sys.PS_PANEL_HW);
    p.height = i32(sys.PS_PANEL_VW);
    p.across = std::min<int>(int(sys.PS_PANEL_HSHAPE), kMaxTiles);
    p.down = std::min<int>(int(sys.PS_PANEL_VSHAPE), kMaxTiles);
    p.tileWidth = i32(sys.PS_ACTHW);
    p.tileHeight = i32(sys.PS_ACTVW);
    p.activeX = i32(sys.PS_ACTHST);
    p.activeY = i32(sys.PS_ACTVST);
    return p;
}

// ------------------------------------------------------------------ attributes

namespace {

// The options that switch one word of the OSD record, with the request they
// raise and their trace (null: none).
struct OsdSwitch {
    int option;
    i32 X518Osd::*word;
    i32 X518Osd::*request;
    const char* trace;
    const char* on;
    const char* off;
};
constexpr OsdSwitch kOsdSwitches[] = {
    {kOsdDisplay, &X518Osd::PM_OSD_EN, &X518Osd::osd_reset, "\t OSD display %s\n", "enable", "disable"},
    {kOsdHZoom, &X518Osd::PM_OSD_HZOOM_EN, &X518Osd::osd_reset, "\t OSD horizontal zoom  %s\n", "enable", "disable"},
    {kOsdVZoom, &X518Osd::PM_OSD_VZOOM_EN, &X518Osd::osd_reset, "\t OSD vertical zoom %s\n", "enable", "disable"},
    {kOsdTextMode, &X518Osd::PM_OSD_DATA_MODE, &X518Osd::osd_redraw, "\t OSD display data mode %s\n", "char", "bmp"},
    {kOsdChar64, &X518Osd::PM_OSD_CHAR_64DOT, &X518Osd::osd_redraw, "\t Charater size %s\n", "64x64", "32x32"},
    {kOsdUpdateButton, &X518Osd::PM_OSD_UPDATE_BUTTON, &X518Osd::osd_redraw, nullptr, nullptr, nullptr},
    {kOsdBottomLayer, &X518Osd::osd_bottom_layer, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

i32 x518_manage::kelApi_OsdSet(int option, int value)
{
    X518Osd& o = osd;
    const bool on = value != 0;
    KEL_DBG("[kelApi_OsdSet] type:%d, val:%x\n", option, value);
    for (const OsdSwitch& s : kOsdSwitches) {
        if (s.option != option)
            continue;
        o.*s.word = on;
        if (s.request)
            o.*s.request = 1;
        if (s.trace)
            KEL_DBG(s.trace, on ? s.on : s.off);
        return 1;
    }
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    const i32 ledX = store ? store->ram_para.led_x : 0;
    i32* out = o.PM_OSD_OUTPUT_OFFSET;
    i32* in = o.PM_OSD_INPUT_OFFSET;
    switch (option) {
    case kOsdScrollMode:
        o.PM_OSD_SCROLL_MODE = value % kScrollModes;
        o.osd_reset = 1;
        KEL_DBG("\t OSD scroll mode %d\n", o.PM_OSD_SCROLL_MODE);
        break;
    case kOsdScrollSpeed:
        o.PM_OSD_SCROLL_SPEED = value % 256;
        o.osd_reset = 1;
        KEL_DBG("\t OSD scroll speed %d\n", o.PM_OSD_SCROLL_SPEED);
        break;
    case kOsdOutputX: out[0] = saturated(i64(ledX) + value); break;
    case kOsdOutputWidth: out[1] = saturated(i64(osdPanel().width) - value - out[0]); break;
    case kOsdOutputY: out[2] = value; break;
    case kOsdOutputHeight: out[3] = saturated(i64(osdPanel().height) - value - out[2]); break;
    case kOsdInputX: in[0] = 0; break;
    case kOsdInputWidth: in[1] = saturated(i64(o.PS_BG_HACT) - value - out[0]); break;
    case kOsdInputY: in[2] = value; break;
    case kOsdInputHeight: in[3] = saturated(i64(o.PS_BG_VACT) - value - out[2]); break;
    case kOsdBackColour:
        o.PS_BG_COLOR = u32(value) & 0xFFFFFF;
        KEL_DBG("\t background color BBGGRR %08x\n", o.PS_BG_COLOR);
        break;
    case kOsdCharColour:
        o.PS_CHAR_COLOR = u32(value) & 0xFFFFFF;
        KEL_DBG("\t character color BBGGRR %08x\n", o.PS_CHAR_COLOR);
        break;
    case kOsdBackTransparent:
        o.PS_BG_TRANS = on;
        KEL_DBG("\t transparent background color %s\n", on ? "Enable" : "Disable");
        break;
    case kOsdPlaneWidth: o.PS_BG_HACT = u32(value); break;
    case kOsdPlaneHeight: o.PS_BG_VACT = u32(value); break;
    case kOsdTextX: o.PS_CHAR_HST = u32(value); break;
    case kOsdTextY: o.PS_CHAR_VST = u32(value); break;
    case kOsdRequests:
        o.osd_reset = (value >> 7) & 1;
        o.osd_redraw = (value >> 6) & 1;
        break;
    case kOsdWordSpace: o.osd_word_space = value; break;
    case kOsdLineSpace: o.osd_line_space = value; break;
    default: return 0;
    }
    return 1;
}

// ------------------------------------------------------------------ text store

i32 x518_manage::kelApi_OsdSetUnicode(int lines, int* lengths, wchar_t texts[][128])
{
    const int n = std::clamp(lines, 0, kTextLineSlots);
    std::memset(osd.osd_text, 0, sizeof osd.osd_text);
    for (int i = 0; i < n && lengths && texts; ++i) {
        u8* slot = osd.osd_text + i * kTextSlotBytes;
        for (int j = 0; j < lengths[i] && j < kTextLineUnits; ++j) {
            // A code point past 16 bits has no glyph: a space, not a wrapped code.
            const u32 code = u32(texts[i][j]) > 0xFFFF ? kSpace : u32(texts[i][j]);
            slot[2 * j] = u8(code >> 8);
            slot[2 * j + 1] = u8(code);
        }
    }
    osd.g_unicode_line = n;
    return 0;
}

// ------------------------------------------------------------------ engine primitives

// Starts a command and waits for the engine; a stuck engine ends the wait.
void x518_manage::osdRun(int fd, u32 command)
{
    drv->write_X518(fd, kEngineCommand, command, 0);
    if (!drv->wait_X518(fd, kEngineStatus, kEngineBusy, 0, kEngineReads))
        KEL_DBG("\n[osd] engine command %u still busy after %d reads\n", command, kEngineReads);
    drv->write_X518(fd, kEngineCommand, kCmdIdle, 0);
}

u32 x518_manage::osdPitchUnits() const
{
    return osd.g_osd_mwi_shift ? osd.g_osd_mwi * kWideUnitFactor : osd.g_osd_mwi;
}

void x518_manage::gen_char(int fd)
{
    const X518Osd& o = osd;
    const int size = o.PM_OSD_CHAR_64DOT == 1 ? kDot64 : kDot32;
    const i64 step = i64(size) + o.osd_line_space;
    const int background = o.PS_BG_TRANS == 1 ? int(kTransparentIndex) : int(kBackgroundIndex);
    for (int i = 0; i < o.g_unicode_line; ++i) {
        const auto* line = reinterpret_cast<const char(*)[2]>(o.osd_text + i * kTextSlotBytes);
        const int y = int(u32(i64(o.PS_CHAR_VST) + i * step));  // the chip's address arithmetic wraps
        osd_put_unicode_string(fd, line, int(o.PS_CHAR_HST), y, int(kForeground), background, size, size,
                               int(sys.PS_MEM_OSD), o.PM_OSD_CHAR_64DOT == 1);
    }
}

x518_manage::OsdGlyph x518_manage::osdGlyph(u32 code, int size, bool is64) const
{
    const X518Osd& o = osd;
    const u32 glyphBytes = is64 ? kGlyphBytes64 : kGlyphBytes32;
    const u32 english = (is64 ? o.PS_CHAR_SIZE_64ASCII : o.PS_CHAR_SIZE_32ASCII) / glyphBytes;
    const u32 chinese = (is64 ? o.PS_CHAR_SIZE_64CHN : o.PS_CHAR_SIZE_32CHN) / glyphBytes;
    // The chip keeps the low 8 bits of an advance.
    const int half = int(u32(size / 2) + u32(o.osd_word_space)), full = int(u32(size) + u32(o.osd_word_space));
    if (code >= kAsciiFirst && code - kAsciiFirst < english)
        return {code - kAsciiFirst, half};
    if (code >= kHanFirst && code - kHanFirst < chinese)
        return {english + code - kHanFirst, full};
    // No glyph in the fonts (control characters, other scripts): a space.
    return {0, half};
}

void x518_manage::osd_put_unicode_string(int fd, const char text[][2], int x, int y, int foreground, int background,
                                         int size, int glyphSize, int planeAddress, int is64)
{
    const u32 table = is64 ? osd.g_font_addr_64ASCII : osd.g_font_addr_32ASCII;
    drv->write_X518(fd, kStringMode, is64 ? kStringMode64 : kStringMode32, 0);
    drv->write_X518(fd, kStringAddress, kGlyphSizeAddress, 0);
    drv->write_X518(fd, kStringData, u32(glyphSize) & 0xFF, 0);
    drv->write_X518(fd, kStringAddress, 0, 0);
    int count = 0;
    for (; count < kStringChars; ++count) {
        const u32 code = u32(u8(text[count][0])) << 8 | u8(text[count][1]);
        if (code == 0)
            break;
        const OsdGlyph g = osdGlyph(code, size, is64 != 0);
        const u32 entry[] = {g.index & 0xFF, (g.index >> 8) & 0xFF, u32(foreground) & 0xFF, u32(background) & 0xFF,
                             u32(g.advance) & 0xFF};
        for (u32 b : entry)
            drv->write_X518(fd, kStringData, b, 0);
    }
    if (count == 0)
        return;
    // The string command takes the pitch registers as the plane's fill left them.
    drv->write_X518(fd, kString23, 0, 0);
    drv->write_X518(fd, kLastChar, u32(count - 1), 0);
    drv->write_X518(fd, kString25, 0, 0);
    drv->write_X518(fd, kString26, 0, 0);
    drv->write_X518(fd, kSource, table, 0);
    drv->write_X518(fd, kDestination, u32(planeAddress) + u32(x) + (osdPitchUnits() * u32(y) << kPitchUnitShift), 0);
    osdRun(fd, kCmdString);
}

void x518_manage::osd_paint(int fd, int x, int width, int y, int height, int value, int planeAddress)
{
    const u32 mwi = osd.g_osd_mwi;
    const bool wide = osd.g_osd_mwi_shift == 1;
    const u32 line = wide ? kPitchUnit * kWideUnitFactor : kPitchUnit;
    drv->write_X518(fd, kFillValue, u32(value) & 0xFFFF, 0);
    drv->write_X518(fd, kWidthLess1, u32(width) - 1, 0);
    drv->write_X518(fd, kHeightLess1, u32(height) - 1, 0);
    drv->write_X518(fd, kDestination, u32(planeAddress) + u32(x) + mwi * u32(y) * line, 0);
    drv->write_X518(fd, kSourcePitch, mwi, 0);
    drv->write_X518(fd, kDestPitch, mwi, 0);
    drv->write_X518(fd, kPitchUnits, wide ? kDestUnits512 | kSourceUnits512 : 0, 0);
    osdRun(fd, kCmdFill);
}

void x518_manage::osd_copy(int fd, int source, int destination, int width, int height, int fromStaging)
{
    const bool wide = osd.g_osd_mwi_shift == 1;
    u32 sourcePitch = osd.g_osd_mwi, units = wide ? kDestUnits512 | kSourceUnits512 : 0;
    if (fromStaging == 1) {
        // One byte per pixel: the staging line is the bitmap's width.
        const bool stagingWide = u32(width) >= kStagingWideFrom;
        sourcePitch = u32(width) / (stagingWide ? kPitchUnit * kWideUnitFactor : kPitchUnit);
        units = (stagingWide ? kSourceUnits512 : 0) | (wide ? kDestUnits512 : 0);
    }
    drv->write_X518(fd, kSource, u32(source), 0);
    drv->write_X518(fd, kDestination, u32(destination), 0);
    drv->write_X518(fd, kWidthLess1, u32(width) - 1, 0);
    drv->write_X518(fd, kHeightLess1, u32(height) - 1, 0);
    drv->write_X518(fd, kSourcePitch, sourcePitch, 0);
    drv->write_X518(fd, kDestPitch, osd.g_osd_mwi, 0);
    drv->write_X518(fd, kPitchUnits, units, 0);
    osdRun(fd, kCmdCopy);
}

void x518_manage::set_char_color(int fd)
{
    drv->write_X518(fd, kTableGate, kTableOpen, 0);
    drv->write_X518(fd, kTableIndex, kBackgroundIndex, 0);
    for (u32 colour : {osd.PS_BG_COLOR, osd.PS_CHAR_COLOR})
        for (int shift = 0; shift < 24; shift += 8)  // R, G, B: 0xBBGGRR from the lowest byte up
            drv->write_X518(fd, kTableData, (colour >> shift) & 0xFF, 0);
    drv->write_X518(fd, kTableGate, kTableClosed, 0);
}

// ------------------------------------------------------------------ windows on the output tiles

namespace {

// The part of [start, start + size) inside each of `count` tiles of `tile`
// pixels: words (start inside the tile, size inside it) and the first and
// last tile that shows any.
void splitOverTiles(i32 start, i32 size, i32 tile, int count, i32 _ImageWindowDef2_St::*at,
                    i32 _ImageWindowDef2_St::*len, i32 _ImageWindowDef2_St::*first, i32 _ImageWindowDef2_St::*last,
                    _ImageWindowDef2_St* tiles)
{
    const i64 end = i64(start) + size;
    int firstShown = -1, lastShown = -1;
    for (int c = 0; c < count; ++c) {
        const i64 s = i64(start) - i64(c) * tile;
        const bool pastTile = end > i64(c) * tile + tile - 1;
        i64 w0 = 0, w1 = 0;
        if (s >= tile) {
            w0 = w1 = 0;
        } else if (s >= 0) {
            w0 = s;
            w1 = pastTile ? tile - s : size;
        } else {
            w0 = 0;
            w1 = pastTile ? i64(tile) : std::max<i64>(0, end - i64(c) * tile);
        }
        tiles[c].*at = i32(w0);
        tiles[c].*len = i32(w1);
        if (w1 != 0) {
            if (firstShown < 0)
                firstShown = c;
            lastShown = c;
        }
    }
    if (firstShown >= 0) {
        tiles[firstShown].*first = 1;
        tiles[lastShown].*last = 1;
    }
}

}  // namespace

void x518_manage::calc_osd(_ImageWindowDef2_St* tiles)
{
    const X518Osd& o = osd;
    const OsdPanel p = osdPanel();
    const bool text = o.PM_OSD_DATA_MODE != 0;
    i64 w = text ? o.PS_BG_HACT : o.PS_BMP_HACT;
    i64 h = text ? o.PS_BG_VACT : o.PS_BMP_VACT;
    w = nonNegative(w - o.PM_OSD_INPUT_OFFSET[0] - o.PM_OSD_INPUT_OFFSET[1]);
    h = nonNegative(h - o.PM_OSD_INPUT_OFFSET[2] - o.PM_OSD_INPUT_OFFSET[3]);
    if (o.PM_OSD_HZOOM_EN)
        w *= 2;
    if (o.PM_OSD_VZOOM_EN)
        h *= 2;
    _ImageWindowDef_st& win = osd.OSD_WIN;
    win.hst = o.PM_OSD_OUTPUT_OFFSET[0];
    win.vst = o.PM_OSD_OUTPUT_OFFSET[2];
    win.hw = nonNegative(std::min<i64>(i64(p.width) - o.PM_OSD_OUTPUT_OFFSET[0] - o.PM_OSD_OUTPUT_OFFSET[1], w));
    win.vw = nonNegative(std::min<i64>(i64(p.height) - o.PM_OSD_OUTPUT_OFFSET[2] - o.PM_OSD_OUTPUT_OFFSET[3], h));
    std::fill(tiles, tiles + kMaxTiles, _ImageWindowDef2_St{});
    splitOverTiles(win.hst, win.hw, p.tileWidth, p.across, &_ImageWindowDef2_St::hst, &_ImageWindowDef2_St::hw,
                   &_ImageWindowDef2_St::h_first, &_ImageWindowDef2_St::h_last, tiles);
    splitOverTiles(win.vst, win.vw, p.tileHeight, p.down, &_ImageWindowDef2_St::vst, &_ImageWindowDef2_St::vw,
                   &_ImageWindowDef2_St::v_first, &_ImageWindowDef2_St::v_last, tiles);
}

void x518_manage::set_osd(int fd, int displayPlane)
{
    const X518Osd& o = osd;
    const bool display = displayPlane == 1;
    const u32 plane = display ? sys.PS_MEM_OSD1 : sys.PS_MEM_OSD;
    const i32 x0 = display ? 0 : o.PM_OSD_INPUT_OFFSET[0];
    const i32 y0 = display ? 0 : o.PM_OSD_INPUT_OFFSET[2];
    u32 control = x518::kOsdControlBase | (o.g_osd_mwi_shift == 1 ? x518::kOsdPitch512 : 0);
    if (o.PM_OSD_VZOOM_EN)
        control |= x518::kOsdVZoom;
    if (o.PM_OSD_HZOOM_EN)
        control |= x518::kOsdHZoom;
    if (o.PM_OSD_EN == 1)
        control |= o.PM_OSD_DATA_MODE ? x518::kOsdShowText : x518::kOsdShowBitmap;
    if (o.osd_bottom_layer == 1)
        control |= x518::kOsdBelowVideo;
    _ImageWindowDef2_St tiles[kMaxTiles];
    calc_osd(tiles);
    const OsdPanel p = osdPanel();
    i32 y = 0;
    for (int r = 0; r < p.down; ++r) {
        i32 x = 0;
        for (int c = 0; c < p.across; ++c) {
            const int k = c + p.across * r;
            if (k >= kMaxTiles)
                break;
            const u32 off = x518::kChannelStride * u32(k);
            const i32 sx = o.PM_OSD_HZOOM_EN ? x / 2 : x, sy = o.PM_OSD_VZOOM_EN ? y / 2 : y;
            const u32 address = plane + u32(x0) + (osdPitchUnits() * (u32(y0) + u32(sy)) << kPitchUnitShift) + u32(sx);
            drv->write_X518(fd, x518::kOsdHStart, u32(p.activeX + tiles[c].hst + x518::kOsdHStartShift), off);
            drv->write_X518(fd, x518::kOsdWidth, u32(tiles[c].hw), off);
            drv->write_X518(fd, x518::kOsdVStart, u32(p.activeY + tiles[r].vst + x518::kOsdVStartShift), off);
            drv->write_X518(fd, x518::kOsdHeight, u32(tiles[r].vw), off);
            drv->write_X518(fd, x518::kOsdAddress, address, off);
            drv->write_X518(fd, x518::kOsdPitch, o.g_osd_mwi, off);
            drv->write_X518(fd, x518::kOsdControl, control, off);
            x += tiles[c].hw;
        }
        y += tiles[r].vw;
    }
}

void x518_manage::set_scroll(int fd)
{
    const X518Osd& o = osd;
    const OsdPanel p = osdPanel();
    const i32* in = o.PM_OSD_INPUT_OFFSET;
    i32 width, height;
    if (o.PM_OSD_DATA_MODE != 0) {
        width = nonNegative(i64(o.PS_BG_HACT) - in[0] - in[1]);
        height = nonNegative(o.OSD_WIN.vw);
    } else {
        width = nonNegative(i64(o.PS_BMP_HACT) - in[0] - in[1]);
        height = nonNegative(i64(o.PS_BMP_VACT) - in[2] - in[3]);
    }
    const int mode = o.PM_OSD_SCROLL_MODE % kScrollModes;
    const u32 control = mode == 0 ? kScrollStill : kScrollFirst + kScrollStep * u32(mode - 1);
    const int tiles = std::min(p.across * p.down, kMaxTiles);
    // Stopped first, then started with the new values.
    for (u32 run : {kScrollStop, control}) {
        for (int k = 0; k < tiles; ++k) {
            const u32 off = x518::kChannelStride * u32(k);
            drv->write_X518(fd, x518::kOsdScrollSpeed, u32(o.PM_OSD_SCROLL_SPEED) & 0xFF, off);
            drv->write_X518(fd, x518::kOsdScrollWidth, u32(width), off);
            drv->write_X518(fd, x518::kOsdScrollHeight, u32(height), off);
            drv->write_X518(fd, x518::kOsdScroll, run & 0xFF, off);
        }
    }
}

// ------------------------------------------------------------------ redraw

void x518_manage::update_osd(int fd)
{
    X518Osd& o = osd;
    const bool text = o.PM_OSD_DATA_MODE != 0;
    if (!text)
        load_bmp();
    const i32 width = i32(text ? o.PS_BG_HACT : o.PS_BMP_HACT);
    const i32 height = i32(text ? o.PS_BG_VACT : o.PS_BMP_VACT);

    // The display plane holds the drawing 2 x 2: its line is twice as long.
    u32 mwi = 2 * ((u32(std::max(width, 0)) + kPitchUnit - 1) / kPitchUnit);
    mwi = (mwi + kPitchAlign - 1) / kPitchAlign * kPitchAlign;
    o.g_osd_mwi_shift = mwi > kPitchMaxUnits ? 1 : 0;
    o.g_osd_mwi = o.g_osd_mwi_shift ? mwi / kWideUnitFactor : mwi;
    const u32 m = osdPitchUnits();

    if (text) {
        osd_paint(fd, 0, width, 0, height, o.PS_BG_TRANS ? int(kTransparentIndex) : int(kBackgroundIndex),
                  int(sys.PS_MEM_OSD));
        gen_char(fd);
        wait1_povs(fd, 0);
        set_char_color(fd);
    } else {
        osd_write_dma_sfl(fd, int(o.PS_BMP_ADDR), int(sys.PS_SFL_ADDR), kDmaToMemory, width * height);
        osd_copy(fd, int(sys.PS_SFL_ADDR), int(sys.PS_MEM_OSD), width, height, 1);
        wait1_povs(fd, 0);
        drv->write_X518(fd, kTableGate, kTableOpen, 0);
        osd_write_dma_sfl(fd, int(o.PS_BMPCP_ADDR), 0, kDmaToPalette, kPaletteBytes);
        drv->write_X518(fd, kTableGate, kTableClosed, 0);
    }

    set_rtct(fd, 2);
    set_osd(fd, 0);
    set_rtct(fd, 1);
    wait1_povs(fd, 0);

    const i32* in = o.PM_OSD_INPUT_OFFSET;
    const i64 cw = i64(width) - in[0] - in[1], ch = i64(height) - in[2] - in[3];
    if (cw < 0 || ch < 0)
        return;
    const u32 source = sys.PS_MEM_OSD + u32(in[0]) + ((m * u32(in[2])) << kPitchUnitShift);
    const u32 lowerHalf = (m * u32(ch)) << kPitchUnitShift;
    for (u32 at : {0u, u32(cw), lowerHalf, lowerHalf + u32(cw)})
        osd_copy(fd, int(source), int(sys.PS_MEM_OSD1 + at), int(cw), int(ch), 0);

    set_rtct(fd, 2);
    set_osd(fd, 1);
    set_scroll(fd);
    set_rtct(fd, 1);
}
