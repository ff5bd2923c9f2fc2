// Picture and window setters: each turns one changed field of the parameter
// block into chip settings. The picture controls (brightness, contrast,
// saturation, colour temperature, sharpness) act on the output channels
// inside a held register update and write only registers whose value
// changes; the window setters (priority, mirror, crop choice, black, freeze,
// switch effect and dot-by-dot) update a chip window's record and ask the
// window programming for the rest.
#include "videochip/x518_manage.h"

#include <algorithm>
#include <cstdio>

namespace {

using x518::kChannelStride;
using x518::regAt;

constexpr int kRtctHold = 2;
constexpr int kRtctRelease = 1;

// ---- picture controls
constexpr int kPictureRange = 101;  // values wrap modulo 101
constexpr int kBrightnessCentre = 50, kBrightnessScale = 1024;
constexpr u32 kBrightnessMask = 0xFFF;  // 12-bit two's complement
constexpr int kFullScale = 1023, kPercent = 100;
constexpr u32 kSaturationMask = 0x7FF;

// ---- colour temperature: gains in 2.13 fixed point (8192 = 1.0)
constexpr u32 kColourModeMask = 3;
constexpr int kUserGains = 0;
constexpr u32 kUserGainUnit = 64;  // a gain byte of 128 is unity
constexpr u32 kGainMask = 0xFFFF;
struct Gains {
    u32 r, g, b;
};
constexpr Gains kColourPresets[] = {{0, 0, 0}, {8845, 8113, 7056}, {8192, 8192, 8192}, {6944, 8282, 10978}};
constexpr int kColourCtlChannels = 8;  // 00:59-00:60

// ---- sharpness
constexpr int kSharpFrom = 10;  // 0-10 switch the enhancer off
constexpr double kSharpGainStep = 12.8;
constexpr u32 kSharpGainMax = 0xFF;  // the gain registers hold one byte
struct SharpBand {
    double above;  // ratio of output to input size
    u8 coef[x518::kSharpCoefs];
};
constexpr SharpBand kSharpHBands[] = {
    {2.5, {36, 43, 58, 4, 5}}, {2.0, {30, 42, 0, 7, 0}}, {1.25, {28, 46, 5, 3, 60}}, {0.0, {44, 49, 56, 63, 2}}};
constexpr SharpBand kSharpVBands[] = {
    {2.5, {42, 48, 59, 0, 0}}, {2.0, {34, 47, 0, 0, 0}}, {1.25, {28, 45, 5, 0, 0}}, {0.0, {44, 50, 56, 0, 0}}};

// ---- windows
constexpr int kLayers = x518_manage::kWindows;
constexpr u8 kMirrorBits = 3;
// The output byte of a window record keeps the block's black and freeze bits.
constexpr u8 kOutputBlack = ram::kFlagBlack, kOutputFreeze = ram::kFlagFreeze;
constexpr u8 kNoChannel = 0xFF;

// Dot-by-dot code of each arrangement 0-9, and its name in the traces.
struct DbdArrangement {
    i32 code;
    const char* name;
};
constexpr DbdArrangement kDbdArrangements[] = {
    {DBD_SINGLE_INPUT, "DBD_SINGLE_INPUT"}, {DBD_CMOS_IN12, "DBD_CMOS_IN12"},       {DBD_CMOS_IN12V, "DBD_CMOS_IN12V"},
    {DBD_CMOS_IN34, "DBD_CMOS_IN34"},       {DBD_CMOS_IN34V, "DBD_CMOS_IN34V"},     {DBD_CMOS_IN123, "DBD_CMOS_IN123"},
    {DBD_CMOS_IN1234, "DBD_CMOS_IN1234"},   {DBD_CMOS_IN1234Q, "DBD_CMOS_IN1234Q"}, {DBD_VBO_IN12, "DBD_VBO_IN12"},
    {DBD_VBO_IN12V, "DBD_VBO_IN12V"},
};
constexpr int kDbdArrangementCount = int(sizeof kDbdArrangements / sizeof kDbdArrangements[0]);

int pictureValue(int value)
{
    return (value % kPictureRange + kPictureRange) % kPictureRange;
}

int sharpLevel(int value)
{
    return value >= kSharpFrom ? value - kSharpFrom : 0;
}
u32 sharpGain(int level)
{
    return std::min(u32(level * kSharpGainStep), kSharpGainMax);
}
// The first band whose bound the ratio exceeds; the last one takes the rest
// (and a ratio that cannot be formed).
int sharpBand(const SharpBand* bands, double ratio)
{
    int i = 0;
    while (bands[i].above > 0.0 && !(ratio > bands[i].above))
        ++i;
    return i;
}

}  // namespace

// ------------------------------------------------------------------ shared helpers

// A picture control on every output channel, inside a held register
// update: its enable bit (`enable` 0: none), then its three components.
void x518_manage::writePictureControl(u32 enable, u32 first, u32 value)
{
    set_rtct(spi_fd, kRtctHold);
    for (int ch = 0; ch < kChannels; ++ch) {
        const u32 offset = kChannelStride * u32(ch);
        if (enable)
            drv->update_x518_mask(spi_fd, enable, x518::kPictureEnableBit, x518::kPictureEnableBit, offset);
        for (u32 i = 0; i < x518::kPictureComponents; ++i)
            drv->update_X518(spi_fd, regAt(first, x518::kPictureComponentStep * i), value, offset);
    }
    set_rtct(spi_fd, kRtctRelease);
}

// The output channels of a chip window, in list order (across, then down).
int x518_manage::outputChannelsOf(int window, int* och) const
{
    if (!kelApi_IsWinValid(window))
        return 0;
    const ST_WIN_INFO& info = model.win_info[window];
    const int areas = std::min(info.h_cnt * info.v_cnt, kChannels);
    int n = 0;
    for (int i = 0; i < areas; ++i)
        if (info.och[i] != kNoChannel && info.och[i] < kChannels)
            och[n++] = info.och[i];
    return n;
}

// The parameter-block window a chip window shows (nullptr: none, as in the
// default environment).
const IMAGE_PARA* x518_manage::imageOfRecord(int record) const
{
    for (int w = 0; w < kWindows; ++w)
        if (recordOfWindow(w) == record && record != kNone)
            return &block().image[w];
    return nullptr;
}

// A port not measured since the panel was set up (its record all ones until
// a window's pass measures it) has a signal while its receiver reports one
// and its last measurement found one: a new canvas, or the end of the
// whole-canvas fallback that one brings, takes no window's signal away.
bool x518_manage::portHasSignal(int port) const
{
    if (!portValid(port))
        return false;
    const ST_PI_PORT_INFO& info = ports.PI_PORT_INFO[port];
    return info.nosig != 1 ||
           (info.htt == kUnmeasured && ports.PI_STATE[port] != 0 && ports.PI_HDMI_INFO[port].nosignal == 0);
}

// A window whose input is no chip port shows nothing, and has no signal.
bool x518_manage::windowHasSignal(int window) const
{
    if (portOf(window) == kNone)
        return false;
    for (int p = 0; p < kPorts; ++p)
        if (windowUsesPort(window, p) && portHasSignal(p))
            return true;
    return false;
}

bool x518_manage::windowMeasuredSignal(int window) const
{
    if (portOf(window) == kNone)
        return false;
    for (int p = 0; p < kPorts; ++p)
        if (windowUsesPort(window, p) && ports.PI_STATE[p] != 0)
            return true;
    return false;
}

// ------------------------------------------------------------------ picture controls

void x518_manage::x518_SetBrightness(u16 value)
{
    x518_manage* m = p_x518_manage;
    if (!m)
        return;
    const int v = pictureValue(value);
    KEL_DBG("\r\n[x518_SetBrightness] %d\n", v);
    const int d = (v - kBrightnessCentre) * kBrightnessScale / kBrightnessCentre;
    const u32 data = v < kBrightnessCentre ? u32(d) & kBrightnessMask : u32(d);
    KEL_DBG("\t data:%04x\r\n", data);
    m->writePictureControl(0, x518::kBrightness, data);
}

void x518_manage::x518_SetContrast(int value)
{
    x518_manage* m = p_x518_manage;
    if (!m)
        return;
    const int v = pictureValue(value);
    const u32 data = u32(v * kFullScale / kPercent);
    KEL_DBG("\r\n[x518_SetContrast] val:%d, data:%d\r\n", v, data);
    m->writePictureControl(x518::kContrastEnable, x518::kContrast, data);
}

void x518_manage::x518_SetSaturation(int value)
{
    x518_manage* m = p_x518_manage;
    if (!m)
        return;
    const int v = pictureValue(value);
    const u32 data = u32(v * kFullScale / kPercent) & kSaturationMask;
    KEL_DBG("[x518_SetSaturation] %d:%04x\r\n", v, data);
    m->writePictureControl(x518::kSaturationEnable, x518::kSaturation, data);
}

void x518_manage::x518_SetColorTemp(int packed)
{
    x518_manage* m = p_x518_manage;
    if (!m)
        return;
    const u32 w = u32(packed);
    KEL_DBG("[x518_SetColorTemp] %8x\r\n", w);
    const u32 mode = w & kColourModeMask;
    Gains gains = kColourPresets[mode];
    if (mode == kUserGains) {
        gains.r = ((w >> 24) & 0xFF) * kUserGainUnit & kGainMask;
        gains.g = ((w >> 16) & 0xFF) * kUserGainUnit & kGainMask;
        gains.b = ((w >> 8) & 0xFF) * kUserGainUnit & kGainMask;
    }
    const int fd = m->spi_fd;
    m->set_rtct(fd, kRtctHold);
    for (int i = 0; i < kColourCtlChannels; ++i)
        m->drv->update_x518_mask(fd, regAt(x518::kOchColourCtl, u32(i)), x518::kColourMatrixOn, x518::kColourMatrixOn,
                                 0);
    // A diagonal matrix: each gain on its own component, zero elsewhere.
    const u32 diagonal[x518::kColourMatrixSize] = {gains.r, gains.g, gains.b};
    for (int ch = 0; ch < kChannels; ++ch)
        for (u32 row = 0; row < x518::kColourMatrixSize; ++row)
            for (u32 col = 0; col < x518::kColourMatrixSize; ++col)
                m->drv->update_X518(fd, regAt(x518::kColourMatrix, x518::kPictureComponentStep * (3 * row + col)),
                                    row == col ? diagonal[row] : 0, kChannelStride * u32(ch));
    m->set_rtct(fd, kRtctRelease);
}

// Levels 0-10 switch the enhancer off; above, its gain grows with the level
// and saturates at the one byte its registers hold. Each window's output
// channels get coefficients by how much the window is zoomed.
void x518_manage::x518_SetSharpness(int value)
{
    x518_manage* m = p_x518_manage;
    if (!m)
        return;
    m->sharp_value_ = pictureValue(value);
    KEL_DBG("[x518_SetSharpness] :%04x\r\n", sharpGain(sharpLevel(m->sharp_value_)));
    m->drv->update_x518_mask(m->spi_fd, x518::kContrastEnable, x518::kPictureEnableBit, x518::kPictureEnableBit, 0);
    for (int w = 0; w < m->model.wincnt && w < kWindows; ++w)
        m->sharpenWindow(w, true);
}

// Nothing is known to be on the chip: the bring-up's load.
void x518_manage::resetSharpness()
{
    sharp_value_ = kNone;
    for (SharpSetting& s : sharp_shown_)
        s = SharpSetting{};
}

// After the windows were programmed: a window whose input was measured, or
// whose scale or channels changed, gets what it needs now.
void x518_manage::refreshSharpness()
{
    if (sharp_value_ == kNone)
        return;
    for (int w = 0; w < model.wincnt && w < kWindows; ++w)
        sharpenWindow(w, false);
}

bool x518_manage::SharpSetting::operator==(const SharpSetting& o) const
{
    return valid == o.valid && on == o.on && gain == o.gain && hBand == o.hBand && vBand == o.vBand &&
           channels == o.channels && std::equal(och, och + channels, o.och);
}

// A window without an input size takes the lowest band.
x518_manage::SharpSetting x518_manage::sharpSettingOf(int w) const
{
    SharpSetting s;
    const int level = sharpLevel(sharp_value_);
    const int port = portOf(w);
    s.valid = true;
    s.on = level > 0;
    s.gain = sharpGain(level);
    s.channels = outputChannelsOf(w, s.och);
    if (!s.on)
        return s;
    const _ImageWindowDef_st& in = model.IWIN[w];
    const _ImageWindowDef_st& out = model.OWIN[w];
    const int interlace = port == kNone ? 1 : 1 + ports.PI_SCAN_MODE[port];
    s.hBand = sharpBand(kSharpHBands, in.hw > 0 ? double(out.hw) / in.hw : 0.0);
    s.vBand = sharpBand(kSharpVBands, in.vw > 0 ? double(out.vw) / (double(in.vw) * interlace) : 0.0);
    return s;
}

// Switching off reaches every window; switching on only those with a
// picture. `force`: written even when the channels were given the same.
void x518_manage::sharpenWindow(int w, bool force)
{
    const int port = portOf(w);
    const SharpSetting s = sharpSettingOf(w);
    if (s.on && (port == kNone || ports.PI_STATE[port] == 0))
        return;
    if (s.channels == 0 || (!force && s == sharp_shown_[w]))
        return;
    const int fd = spi_fd;
    auto put = [&](u32 spec, u32 value, int ch) { drv->update_X518(fd, spec, value, kChannelStride * u32(ch)); };
    const u8* ch = kSharpHBands[s.hBand].coef;
    const u8* cv = kSharpVBands[s.vBand].coef;
    const int n = s.channels;
    for (int i = 0; i < n; ++i)
        put(x518::kSharpHEnable, s.on ? x518::kSharpOn : 0, s.och[i]);
    set_rtct(fd, kRtctHold);
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < x518::kSharpCoefs; ++k)
            put(regAt(x518::kSharpHCoef, u32(k)), s.on ? ch[k] : 0, s.och[i]);
        put(x518::kSharpHGain, s.gain, s.och[i]);
        put(x518::kSharpHEnable2, s.on ? x518::kSharpOn : 0, s.och[i]);
    }
    for (int i = 0; i < n; ++i) {
        put(x518::kSharpVFilterOn, 1, s.och[i]);
        for (int k = 0; k < x518::kSharpCoefs; ++k)
            put(regAt(x518::kSharpVCoef, u32(k)), s.on ? cv[k] : 0, s.och[i]);
        put(x518::kSharpVGain, s.gain, s.och[i]);
    }
    set_rtct(fd, kRtctRelease);
    sharp_shown_[w] = s;
}

void x518_manage::kelApi_forceColorDisable(int fd)
{
    g_force_bkcolor = 2;
    KEL_DBG("[kelApi_forceColorDisable]");
    for (int ch = 0; ch < kChannels; ++ch)
        drv->write_X518(fd, x518::kBkgColour, 0, kChannelStride * u32(ch));
    for (int w = 0; w < model.wincnt && w < kWindows; ++w) {
        int och[kChannels];
        const int n = outputChannelsOf(w, och);
        KEL_DBG("\t win_%d, oimgct:%d,och:\t", w, n);
        const u32 black = windowHasSignal(w) ? 0 : 1;
        for (int i = 0; i < n; ++i) {
            KEL_DBG("%d ", och[i]);
            drv->write_X518(fd, x518::kBkgShow, black, kChannelStride * u32(och[i]));
        }
        KEL_DBG("\n");
    }
}

// ------------------------------------------------------------------ window setters

void x518_manage::x518_SetWinPriority(u32 window, int layer)
{
    if (window >= u32(kWindows))
        return;
    KEL_DBG("[x518_SetWinPriority] win_%u, pri_%d\n", window, layer);
    model.win_info[window].layer = u8(((layer % kLayers) + kLayers) % kLayers);
}

void x518_manage::x518_SetWinPriority1(int fd)
{
    KEL_DBG("[x518_SetWinPriority1] wincnt:%d\n", model.wincnt);
    for (int w = 0; w < kWindows; ++w) {
        if (w < model.wincnt) {
            const int layer = model.win_info[w].layer;
            model.PM_OVERLAY_PRI[w] = kLayers - 1 - layer;
            KEL_DBG("\t win_%d, kel_layer_%d ==> ", w, layer);
            KEL_DBG("layer_%d\n", model.PM_OVERLAY_PRI[w]);
        } else {
            model.PM_OVERLAY_PRI[w] = 0;
        }
    }
    update_overlay_info();
    set_overlay(fd);
    reset_layer_coef(fd, 0);
}

void x518_manage::x518_SetWinAttr(u8 window, int attribute)
{
    KEL_DBG("[x518_SetWinAttr] win:%d, data:%x\r\n", window, attribute);
    if (window >= model.wincnt || window >= kWindows)
        return;
    const u8 mirror = u8(attribute) & kMirrorBits;
    model.win_info[window].mirror = mirror;
    model.win_attr_chg[window] = 1;
    model.win_mirror_h[window] = mirror & 1;
    model.win_mirror_v[window] = (mirror >> 1) & 1;
    set_output(spi_fd);
}

void x518_manage::x518_SetInputsourceCrop(int window, u32 cropWord)
{
    if (window < 0 || window >= model.wincnt || window >= kWindows) {
        KEL_DBG("[%s] win:%d oor\n", "x518_SetInputsourceCrop", window);
        return;
    }
    const u32 crop = cropWord & ram::kSourceLowMask;
    if (crop >= u32(ram::kCrops)) {
        KEL_DBG("\t !!!!!!!!!cropIdx OOR,return !!!!!!!!!!!!!");
        return;
    }
    model.win_info[window].crop = u8(crop);
    model.win_info[window].input = u8(block().crop_list[crop].key & ram::kCropSourceMask);
}

i32 x518_manage::dbdCodeOf(int arrangement)
{
    if (arrangement < 0 || arrangement >= kDbdArrangementCount) {
        KEL_DBG("\t !!!!!!!!DBD_MODE OOR!!!!!!!, set it to DBD_SINGLE_INPUT");
        return DBD_SINGLE_INPUT;
    }
    KEL_DBG("\t %s", kDbdArrangements[arrangement].name);
    return kDbdArrangements[arrangement].code;
}

void x518_manage::x518_SetWinOutput(int fd, u8 window, int flags)
{
    KEL_DBG("[x518_SetWinOutput] win:%d, data:%x\r\n", window, flags);
    if (window >= model.wincnt || window >= kWindows) {
        KEL_DBG("[x518_SetWinOutput], win OOR");
        return;
    }
    const u32 f = u32(flags);
    u8& o = model.win_info[window].output;
    if ((f ^ o) & kOutputBlack) {
        o = u8((o & ~kOutputBlack) | (f & kOutputBlack));
        KEL_DBG("\t change win_%d output:%s\n", window, (f & kOutputBlack) ? "Black" : "Normal");
        set_input_bkg2(fd, window, int(f & kOutputBlack));
    }
    // The freeze bit is kept as written; it holds the picture while the
    // window has a signal. Written while it has none, it takes hold on the
    // window's first frame once a signal comes (holdFrozenWindows), whatever
    // the other windows do meanwhile.
    bool frozeNow = false;
    if ((f ^ o) & kOutputFreeze) {
        o = u8((o & ~kOutputFreeze) | (f & kOutputFreeze));
        if (!(f & kOutputFreeze) || windowHasSignal(window)) {
            win_freeze_sel(fd, window, f & kOutputFreeze);
            KEL_DBG("\t change win_%d freeze:%s\n", window, (f & kOutputFreeze) ? "Freeze" : "Normal");
            frozeNow = (f & kOutputFreeze) != 0;
        } else {
            KEL_DBG("\t change win_%d no signal, freeze once it has one\n", window);
        }
    }
    model.PM_WIN_FADE_EN[window] = (f & ram::kFlagSeamless) ? 1 : 0;
    KEL_DBG("\t change win_%d SWITCH SRC EFFECT: %s\n", window,
            model.PM_WIN_FADE_EN[window] ? "QuickSwap" : "FadeInOut");
    const IMAGE_PARA* image = imageOfRecord(window);
    const i32 dbd = (f & ram::kFlagDotByDot) ? dbdCodeOf(image ? image->dbd_mode : 0) : i32(DBD_DISABLE);
    if (dbd == DBD_DISABLE)
        KEL_DBG("\t change win_%d DBD_MODE: DBD_DISABLE\n", window);
    // A freeze holds the picture shown now: the window is not programmed
    // again for it. A dot-by-dot change written with it still counts (the
    // window is programmed anew and holds its first frame).
    if (frozeNow && dbd == model.PM_WIN_DBD_MODE[window])
        return;
    model.PM_WIN_DBD_MODE[window] = dbd;
    model.g_chg_dbd[window] = 1;
    set_output(fd);
}

void x518_manage::win_freeze_sel(int fd, u32 window, u32 flags)
{
    if (window >= u32(kWindows))
        return;
    const int c = ich.win_ich[window][0];
    if (c < 0 || c >= kChannels)
        return;
    drv->write_X518(fd, x518::kIsyct, (flags & kOutputFreeze) ? x518::kIsyctHold : x518::kIsyctRun,
                    kChannelStride * u32(c));
}

// The window programming starts the capture of every window it programs:
// such a window set to freeze is held again once its input side has
// captured its new picture. Its freeze was written with a re-layout, or it stayed
// frozen while the pass programmed it. A window without a signal is not
// held (the setter does not hold it either); it is once a pass programs it
// with a signal: its input's comes back, or it is given an input that has
// one.
void x518_manage::holdFrozenWindows(int fd)
{
    for (int w = 0; w < model.wincnt && w < kWindows; ++w)
        if ((model.win_info[w].output & kOutputFreeze) && windowChanged(w) && windowHasSignal(w))
            win_freeze_sel(fd, u32(w), kOutputFreeze);
}

void x518_manage::x518_SetWinDbdMode(int fd, u8 window, int mode)
{
    if (window >= model.wincnt || window >= kWindows)
        return;
    // With its dot-by-dot switch off the window stays a plain window: the
    // switch takes the arrangement from the block when it is turned on.
    const IMAGE_PARA* image = imageOfRecord(window);
    if (!image || !(image->flags & ram::kFlagDotByDot))
        return;
    model.PM_WIN_DBD_MODE[window] = dbdCodeOf(mode);
    model.g_chg_dbd[window] = 1;
    set_output(fd);
}
