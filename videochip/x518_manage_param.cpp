// The chip manager's software model of the chip: the system parameter
// record, what derives from it, the reset state of the window, channel and
// memory bookkeeping, and the built-in default window layout.
#include "videochip/x518_manage.h"

#include "videochip/x518_frame_memory.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

// ---- system parameter record
constexpr u32 kClockSys = 32000000;
constexpr u32 kClockMem = 800000000;
constexpr u32 kClockMemDivisor = 4;
constexpr u32 kClockRef = 27000000;
constexpr u32 kActHw = 1920, kActVw = 2160, kHtotal = 2200, kVtotal = 2250;
constexpr u32 kHsw = 88, kHbp = 88, kVsw = 10, kVbp = 72;
constexpr u32 kPll[9] = {0, 137, 0, 1, 22, 137, 0, 2, 24};
constexpr u32 kScFieldBase[x518_manage::kFields] = {0x00000000, 0x08800000, 0x11000000, 0x19800000, 0x22000000};
constexpr u32 kScGroupStep = X518System::kColumnBytes;
constexpr u32 kFbPitch = 64;
constexpr u32 kDbdBase[x518_manage::kFields] = {0x2A800000, 0x35A80000, 0x40D00000, 0x4BF80000, 0x57200000};
constexpr u32 kDbdBlock = 0x01DC0000;
constexpr u32 kSpare = 14;
constexpr u32 kMemIpI[4][2] = {
    {0x65000000, 0x65339000}, {0x66EB8800, 0x671F1800}, {0x68D71000, 0x690AA000}, {0x6AC29800, 0x6AF62800}};
constexpr u32 kMemIpP[4][2] = {
    {0x65717000, 0x65000000}, {0x675CF800, 0x66EB8800}, {0x69488000, 0x68D71000}, {0x6B340800, 0x6AC29800}};
constexpr u32 kMemIpYOff = 207;
constexpr u32 kMemMv[4] = {0x65CEA000, 0x67BA2800, 0x69A5B000, 0x6B913800};
constexpr u32 kMwiIp = 35;
constexpr int kLaneSwitchesOn = 6;
constexpr u32 kSflAddr = 0x70000000;
constexpr u32 kMemOsd = 0x725C0000, kMemOsd1 = 0x74B80000;
constexpr u32 kFontAddr = 0x7F000000;

// ---- bookkeeping start values
constexpr i32 kLevelStart = 99;
constexpr i32 kPmIpen = 1, kPmDiag = 2, kPmMvflt = 3, kPmPdSqth = 1;
constexpr i32 kDefaultChar64Dot = 1, kDefaultScrollSpeed = 32;

}  // namespace

// The default window model, copied by load_param in this order.
const i32 x518_manage::parameters_txt[kParamEntries] = {
    // PM_WIN_SHAPE: output channels across and down
    // clang-format off
    2, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    // PM_INPUT
    4, 5, 1, 2, 3, 0,
    // PM_WIN_OFFSET: left, right, top, bottom
    100, 100, 100, 100, 0, 0, 0, 0, 0, 0, 540, 0, 0, 0, 1080, 0, 0, 0, 1080, 0, 0, 0, 540, 0,
    // PM_INPUT_OFFSET
    100, 100, 200, 200, 0, 0, 0, 0, 400, 0, 200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // PM_INPUT_OFFSET_EN
    1, 0, 0, 0, 0, 0,
    // PM_WIN_NUM, PM_AREA_NUM, PM_OVERLAY (per output channel)
    0, 0, 1, 1, 2, 3, 4, 5,
    0, 1, 0, 1, 0, 0, 0, 0,
    0, 0, 0, 0, 1, 2, 3, 4,
    // PM_OVERLAY_PRI
    1, 0, 2, 3, 4, 5,
    // win_mirror_h, win_mirror_v
    0, 0, 0, 1, 1, 1,
    0, 0, 1, 0, 1, 0,
    // PM_WIN_FADE_EN, PM_WIN_FADE_IN, PM_WIN_FADE_OUT
    0, 1, 1, 1, 0, 1,
    60, 60, 60, 60, 60, 60,
    60, 60, 60, 60, 60, 60,
    // PM_WIN_DBD_MODE, DBD clipping
    0, 0, 1, 0, 1, 1,
    0, 0, 0, 0, 0, 0,
    // clang-format on
    // PM_OSD_EN, _HZOOM_EN, _VZOOM_EN, _DATA_MODE, _SCROLL_MODE
    0,
    0,
    0,
    1,
    2,
    // PM_OSD_OUTPUT_OFFSET, PM_OSD_INPUT_OFFSET
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    // the two further switches, PM_OSD_UPDATE_BUTTON
    1,
    0,
    0,
};

void x518_manage::load_system_param()
{
    sys.PS_CLK_SYS = kClockSys;
    sys.PS_CLK_MEM = kClockMem;
    sys.PS_CLK_REF = kClockRef;
    sys.PS_CLK_REF2 = kClockRef;
    sys.PS_ACTHW = kActHw;
    sys.PS_ACTVW = kActVw;
    sys.PS_HTOTAL = kHtotal;
    sys.PS_VTOTAL = kVtotal;
    sys.PS_HSW = kHsw;
    sys.PS_HBP = kHbp;
    sys.PS_VSW = kVsw;
    sys.PS_VBP = kVbp;
    sys.PS_VBOTX_MODE = 0;
    sys.PS_VBOTX_LAYOUT = 0;
    for (int i = 0; i < 9; ++i)
        sys.PS_PLL[i] = kPll[i];
    for (int g = 0; g < kChannels; ++g)
        for (int f = 0; f < kFields; ++f)
            sys.PS_MEM_SC[g][f] = kScFieldBase[f] + u32(g) * kScGroupStep;
    sys.fb_pitch = kFbPitch;
    for (int f = 0; f < kFields; ++f)
        sys.PS_DBD_BASE[f] = kDbdBase[f];
    sys.PS_DBD_BLOCK = kDbdBlock;
    sys.PS_SPARE = kSpare;
    for (int i = 0; i < kCmosPorts; ++i) {
        sys.PS_MEM_IP_I[i][0] = kMemIpI[i][0];
        sys.PS_MEM_IP_I[i][1] = kMemIpI[i][1];
        sys.PS_MEM_IP_P[i][0] = kMemIpP[i][0];
        sys.PS_MEM_IP_P[i][1] = kMemIpP[i][1];
        sys.PS_MEM_IPYOFF[i] = kMemIpYOff;
        sys.PS_MEM_MV[i] = kMemMv[i];
        sys.PS_MWI_IP[i] = kMwiIp;
    }
    for (int i = 0; i < 12; ++i)
        sys.PS_VBO_LANE_SW[i] = i < kLaneSwitchesOn ? 1 : 0;
    sys.PS_SFL_ADDR = kSflAddr;
    sys.PS_MEM_OSD = kMemOsd;
    sys.PS_MEM_OSD1 = kMemOsd1;
    sys.PS_FONT_ADDR = kFontAddr;
    // The memory map above (the input channels' columns, the dot-by-dot line
    // steps and blocks) is laid out for the packed format: every window asks
    // for it.
    for (int w = 0; w < kWindows; ++w)
        model.PS_MEM_WMODE[w] = x518mem::kPacked;
}

void x518_manage::define_param()
{
    sys.PS_CLK_MEM_Q = sys.PS_CLK_MEM / kClockMemDivisor;
    deriveOutputArea();

    // The output panel the transmitter layout makes of the channels.
    u32 across, down;
    bool stacked = sys.PS_VBOTX_LAYOUT != 0;
    if (sys.PS_VBOTX_MODE == 0) {
        across = stacked ? 2 : 4;
        down = stacked ? 2 : 1;
    } else if (sys.PS_VBOTX_MODE == 2) {
        across = stacked ? 1 : 2;
        down = stacked ? 2 : 1;
    } else {
        across = stacked ? 4 : 8;
        down = stacked ? 2 : 1;
    }
    sys.PS_PANEL_HSHAPE = across;
    sys.PS_PANEL_VSHAPE = down;
    sys.PS_PANEL_HW = across * sys.PS_ACTHW;
    sys.PS_PANEL_VW = down * sys.PS_ACTVW;

    for (int i = 0; i < kCmosPorts; ++i) {
        ports.PM_HNR[i] = ports.PM_VNR[i] = ports.PM_TNR[i] = ports.PM_BNR[i] = ports.PM_MNR[i] = ports.PM_COMB[i] = 0;
        ports.PM_IPEN[i] = kPmIpen;
        ports.PM_DIAG[i] = kPmDiag;
        ports.PM_MVFLT[i] = kPmMvflt;
        ports.PM_22PD[i] = ports.PM_23PD[i] = 0;
        ports.PM_22PDSQTH[i] = ports.PM_23PDSQTH[i] = kPmPdSqth;
        ports.PM_24SF[i] = 0;
        ports.nren_old[i] = kNone;
    }
    for (int p = 0; p < kPorts; ++p)
        ports.PM_IACTHST[p] = ports.PM_IACTVST[p] = 0;
    for (int w = 0; w < kWindows; ++w) {
        model.win_number[w] = w;
        for (int c = 0; c < kChannels; ++c)
            ich.win_ich[w][c] = ich.win_ich_prev[w][c] = kNone;
        for (int b = 0; b < kDbdBlocksPerWindow; ++b)
            ich.win_dbd_blk[w][b] = kNone;
        model.win_level[w] = kLevelStart;
        model.PM_INPUT[w] = kNone;
        model.PM_WIN_DBD_MODE[w] = kNone;
        for (int f = 0; f < kFields; ++f)
            model.fb_ring[w][f] = f;
        model.win_frozen[w] = 0;
        model.win_enable[w] = 0;
        model.win_flag[w] = 0;
        // Which windows wait for input channels is the manager's, not the
        // chip's: it survives a restart of the chip, so the windows that
        // showed get their channels back before those that waited.
        model.mem_hw[w] = model.mem_vw[w] = 0;
        captured_[w] = CaptureKey{};  // the chip holds no capture of ours
    }
    for (int c = 0; c < kChannels; ++c) {
        model.win_num_prev[c] = kNoWindow;
        ich.ich_win[c] = ich.ich_win_prev[c] = kNone;
        ich.ich_rec[c][0] = c;
        ich.ich_rec[c][1] = ich.ich_rec[c][2] = ich.ich_rec[c][3] = kNone;
        ich.ich_state[c] = 1;
    }
    for (int b = 0; b < kDbdBlocks; ++b)
        ich.dbd_pool[b] = kNone;
    osdSystemDefaults();
}

void x518_manage::osdSystemDefaults()
{
    osd.PM_OSD_CHAR_64DOT = kDefaultChar64Dot;
    osd.PM_OSD_SCROLL_SPEED = kDefaultScrollSpeed;
}

void x518_manage::deriveOutputArea()
{
    sys.PS_OAOIHST = sys.PS_ACTHST = sys.PS_HSW + sys.PS_HBP;
    sys.PS_OAOIHED = sys.PS_OAOIHST + sys.PS_ACTHW;
    sys.PS_OAOIVST = sys.PS_ACTVST = sys.PS_VSW + sys.PS_VBP;
    sys.PS_OAOIVED = sys.PS_OAOIVST + sys.PS_ACTVW;
}

template <class T>
void x518_manage::copyParam(T& member, i32 value, i32& changed)
{
    if (member != value) {
        member = value;
        changed = 1;
    }
}

// The OSD part of the default model, from `t` on (its place in
// parameters_txt); the switches it changes ask for a window reset or a
// redraw. Returns the entry after it.
const i32* x518_manage::load_osd_param(const i32* t)
{
    copyParam(osd.PM_OSD_EN, *t++, osd.osd_reset);
    copyParam(osd.PM_OSD_HZOOM_EN, *t++, osd.osd_reset);
    copyParam(osd.PM_OSD_VZOOM_EN, *t++, osd.osd_reset);
    copyParam(osd.PM_OSD_DATA_MODE, *t++, osd.osd_redraw);
    copyParam(osd.PM_OSD_SCROLL_MODE, *t++, osd.osd_reset);
    for (int k = 0; k < 4; ++k)
        copyParam(osd.PM_OSD_OUTPUT_OFFSET[k], *t++, osd.osd_reset);
    for (int k = 0; k < 4; ++k)
        copyParam(osd.PM_OSD_INPUT_OFFSET[k], *t++, osd.osd_redraw);
    return t;
}

// What a start leaves of the OSD (the system and default-model values, the
// plane's colours and text origin, no text, no spacing, above the video),
// with the plane to be drawn anew and the windows programmed anew. What the
// fonts are and where they were loaded stays.
void x518_manage::osdAsStarted()
{
    osdSystemDefaults();
    load_osd_param(parameters_txt + kOsdParamFirst);
    osd.PM_OSD_UPDATE_BUTTON = parameters_txt[kOsdUpdateButtonParam];
    load_char();
    osd.osd_bottom_layer = osd.osd_word_space = osd.osd_line_space = 0;
    osd.g_unicode_line = 0;
    std::fill(std::begin(osd.osd_text), std::end(osd.osd_text), u8(0));
    osd.osd_reset = osd.osd_redraw = 1;
}

i32 x518_manage::load_param()
{
    KEL_DBG("[load_param]");
    for (int w = 0; w < kWindows; ++w)
        model.win_chg[w] = model.g_chg_input[w] = model.win_attr_chg[w] = model.win_fade_chg[w] = model.g_chg_dbd[w] =
            0;
    model.overlay_chg = model.priority_chg = osd.osd_reset = osd.osd_redraw = 0;
    model.switch_chg[0] = model.switch_chg[1] = 0;

    const i32* t = parameters_txt;
    for (int w = 0; w < kWindows; ++w)
        for (int k = 0; k < 2; ++k)
            copyParam(model.PM_WIN_SHAPE[w][k], *t++, model.win_chg[w]);
    for (int w = 0; w < kWindows; ++w)
        copyParam(model.PM_INPUT[w], *t++, model.g_chg_input[w]);
    for (int w = 0; w < kWindows; ++w)
        for (int k = 0; k < 4; ++k)
            copyParam(model.PM_WIN_OFFSET[w][k], *t++, model.win_chg[w]);
    for (int w = 0; w < kWindows; ++w)
        for (int k = 0; k < 4; ++k)
            copyParam(model.PM_INPUT_OFFSET[w][k], *t++, model.win_chg[w]);
    for (int w = 0; w < kWindows; ++w)
        copyParam(model.PM_INPUT_OFFSET_EN[w], *t++, model.win_chg[w]);
    for (int c = 0; c < kChannels; ++c)
        model.PM_WIN_NUM[c] = *t++;
    for (int c = 0; c < kChannels; ++c)
        model.PM_AREA_NUM[c] = *t++;
    for (int c = 0; c < kChannels; ++c)
        copyParam(model.PM_OVERLAY[c], *t++, model.overlay_chg);
    for (int w = 0; w < kWindows; ++w)
        copyParam(model.PM_OVERLAY_PRI[w], *t++, model.priority_chg);
    for (int w = 0; w < kWindows; ++w)
        copyParam(model.win_mirror_h[w], *t++, model.win_attr_chg[w]);
    for (int w = 0; w < kWindows; ++w)
        copyParam(model.win_mirror_v[w], *t++, model.win_attr_chg[w]);
    for (int w = 0; w < kWindows; ++w)
        copyParam(model.PM_WIN_FADE_EN[w], *t++, model.win_fade_chg[w]);
    for (int w = 0; w < kWindows; ++w)
        copyParam(model.PM_WIN_FADE_IN[w], *t++, model.win_fade_chg[w]);
    for (int w = 0; w < kWindows; ++w)
        copyParam(model.PM_WIN_FADE_OUT[w], *t++, model.win_fade_chg[w]);
    for (int w = 0; w < kWindows; ++w)
        copyParam(model.PM_WIN_DBD_MODE[w], *t++, model.g_chg_dbd[w]);
    for (int w = 0; w < kWindows; ++w)
        copyParam(model.PM_WIN_DBD_CLIP[w], *t++, model.g_chg_dbd[w]);
    Q_ASSERT(t == parameters_txt + kOsdParamFirst);
    t = load_osd_param(t);
    copyParam(model.PM_SWITCH[0], *t++, model.switch_chg[0]);
    copyParam(model.PM_SWITCH[1], *t++, model.switch_chg[1]);
    Q_ASSERT(t == parameters_txt + kOsdUpdateButtonParam);
    copyParam(osd.PM_OSD_UPDATE_BUTTON, *t++, osd.osd_redraw);
    Q_ASSERT(t == parameters_txt + kParamEntries);

    for (int w = 0; w < kWindows; ++w)
        model.PM_WIN_STITCHING[w] = w;
    i32 printed = 0;
    for (int w = 0; w < kWindows; ++w)
        printed = std::printf("load_param  WIN[%d]  win=%d  dbd=%d  input=%d  pri=%d\n", w, model.win_chg[w],
                              model.g_chg_dbd[w], model.g_chg_input[w], model.PM_OVERLAY_PRI[w]);
    return printed;
}
