// Output panel initialisation: the LED canvas, cut into two outputs by the
// splice mode, is mapped onto the chip's output channels. The panel record
// takes the channel arrangement, the channel size and a channel timing from
// the timing list; the geometry is published into the parameter block (the
// FPGA side and the control protocol read it there), the output timing
// registers of all eight channels are written, and the windows' environment
// and channel allocation are rebuilt for the new panel.
#include "videochip/x518_manage.h"

#include "app/kelrampara.h"
#include "videochip/x518_och_timing.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

using x518::kChannelStride;
using x518::reg;
using x518::regAt;

// An output of up to this many pixels is carried by one channel across.
constexpr int64_t kOneChannelPixels = 9800000;

// Sync, porches and blanking of a channel, and the rounding of its width
// (to a multiple of round + 1).
struct Blanking {
    i32 hsw, hfp, vsw, vfp;
    i32 hblank, vblank;
    i32 round;
};
constexpr Blanking kTwoChannelsBlanking = {12, 32, 12, 32, 76, 76, 7};
constexpr Blanking kOneChannelBlanking = {12, 8, 3, 3, 64, 12, 3};
constexpr i32 kWidthMask = 0xFFFF;
constexpr i32 kTotalStep = 4;  // a computed horizontal total of one channel across

// What each splice mode makes of the channels; [0] two channels across
// each output, [1] one.
struct SpliceLayout {
    const char* text;
    u32 arrang[2];
    u16 across[2];  // channels across and down as published
    u16 down[2];
    u32 channelMap[2];  // the output channel map register
};
constexpr SpliceLayout kSplice[ram::kSpliceModes] = {
    {"SPLICE MODE: NONE", {ARRANG2K4_4x1_8K, ARRANG2K4_2x1}, {2, 1}, {1, 1}, {0x03020100, 0x03020100}},
    {"SPLICE MODE: HV", {ARRANG2K4_2x2_8K, ARRANG2K4_1x2}, {2, 1}, {2, 2}, {0x00010000, 0x00010000}},
    {"SPLICE MODE: V", {ARRANG2K4_2x2_8K, ARRANG2K4_1x2}, {2, 1}, {2, 2}, {0x03020100, 0x00010000}},
    {"SPLICE MODE: H", {ARRANG2K4_4x1_8K, ARRANG2K4_2x1}, {4, 2}, {1, 1}, {0x03020100, 0x00010000}},
    {"SPLICE MODE: CP12", {ARRANG2K4_4x1_8K, ARRANG2K4_2x1}, {2, 1}, {1, 1}, {0x01000100, 0x00000000}},
    {"SPLICE MODE: CP21", {ARRANG2K4_2x1, ARRANG2K4_2x1}, {2, 1}, {2, 2}, {0x00010000, 0x00010000}},
};

// Output channels across and down of an arrangement.
void shapeOf(u32 arrang, u8& across, u8& down)
{
    switch (arrang) {
    // clang-format off
    case ARRANG2K4_4x1_8K: across = 4; down = 1; break;
    case ARRANG2K4_2x2_8K: across = 2; down = 2; break;
    case ARRANG2K4_1x2: across = 1; down = 2; break;
    default: across = 2; down = 1; break;
        // clang-format on
    }
}

// Splice modes whose output 2 lies below output 1.
bool stacked(u32 splice)
{
    return splice == ram::SPLICE_HV || splice == ram::SPLICE_V;
}
// Arrangements of two channel rows.
bool twoRows(u32 arrang)
{
    return arrang == ARRANG2K4_2x2_8K || arrang == ARRANG2K4_1x2;
}

i32 ceilDiv(i32 a, i32 b)
{
    return b > 0 ? (a + b - 1) / b : 0;
}

// ---- registers
constexpr u32 kTxHsyncWidth = reg(0x03, 0x44, 1);  // hsw / 2 - 1
constexpr u32 kTxVsyncWidth = reg(0x03, 0x45, 1);  // vsw - 1
constexpr u32 kTxCopyStep = 8;                     // the second transmitter's copy
constexpr u32 kOchSyncDelay = reg(0x08, 0x1D, 2);
constexpr u32 kOchSyncDelayValue = 64;
constexpr u32 kTxOrder = reg(0x03, 0x5E, 4), kTxOrder2 = reg(0x03, 0x62, 4);
constexpr u32 kIdentityOrder = 0x76543210;
constexpr u32 kChannelMap = reg(0x03, 0x55, 4);
constexpr u32 kTxWordsA[] = {reg(0x03, 0x2C, 2), reg(0x03, 0x2E, 1), reg(0x03, 0x2F, 2)};
constexpr u32 kTxWordsB[] = {reg(0x03, 0x36, 2), reg(0x03, 0x38, 1), reg(0x03, 0x39, 2)};
constexpr u32 kVboTxMode = reg(0x02, 0x08, 1), kVboTxMode2 = reg(0x02, 0x78, 1);
constexpr u32 kVboTxModeValue = 9;
// Words 1-5 of the two output PLLs at + 0-4 addresses.
constexpr u32 kOutPll = reg(0x00, 0x47, 1);
constexpr u32 kOutPllCopyStep = 5;  // the second output PLL
constexpr u32 kOutPll2 = regAt(kOutPll, kOutPllCopyStep);
constexpr u32 kPllWord1Value = 33;
constexpr int kPllWord2 = 1, kPllWord5 = 4;  // indices in PS_PLL
constexpr u32 kPanelPllWord2 = 137, kPanelPllWord5 = 11;
constexpr u32 kPanelVboTxMode = 2;

}  // namespace

// ------------------------------------------------------------------ the panel record

i32 x518_manage::kelApi_PnlInit2(int ledW, int ledH, int out1w, int out1h, int splice)
{
    pnl = X518Panel{};
    pnl.splice = u32(((splice % ram::kSpliceModes) + ram::kSpliceModes) % ram::kSpliceModes);
    pnl.w = u16(ledW);
    pnl.h = u16(ledH);
    // Stored as u16: an output 1 larger than the canvas leaves a wrapped size.
    const u16 restW = u16(ledW - out1w), restH = u16(ledH - out1h);
    switch (pnl.splice) {
    case ram::SPLICE_NONE:
    case ram::SPLICE_CP12:
        pnl.out_w[0] = pnl.out_w[1] = pnl.w;
        pnl.out_h[0] = pnl.h;
        break;
    case ram::SPLICE_HV:
    case ram::SPLICE_V:
        pnl.out_w[0] = pnl.w;
        pnl.out_h[0] = u16(out1h);
        pnl.out_h[1] = restH;
        break;
    case ram::SPLICE_H:
        pnl.out_w[0] = u16(out1w);
        pnl.out_w[1] = restW;
        pnl.out_h[0] = pnl.h;
        break;
    default: break;  // CP21: no output size
    }
    KEL_DBG("[kelApi_PnlInit2] %s, LED %ux%u, out %ux%u + %ux%u\n", kSplice[pnl.splice].text, pnl.w, pnl.h,
            pnl.out_w[0], pnl.out_h[0], pnl.out_w[1], pnl.out_h[1]);
    kelApi_PnlInitOch3();
    kelApi_x518InitRegPanel();

    kelApi_initEnvX518();
    // Every input port is measured again on the new panel.
    for (ST_PI_PORT_INFO& info : ports.PI_PORT_INFO) {
        std::memset(&info, 0xFF, sizeof info);
        info.nosig = 1;
    }
    kelApi_MultiWinChAlloc(1);
    kelApi_MultiWinChInit();
    if (g_debugSwitch == kDebugOn)
        kelDbg_x518_param();
    return 0;
}

void x518_manage::kelApi_PnlInitOch3()
{
    // The largest output: two stacked outputs share the width, two side by side the height.
    i32 W, H;
    if (stacked(pnl.splice)) {
        W = pnl.out_w[0] + pnl.out_w[1];
        H = std::max(pnl.out_h[0], pnl.out_h[1]);
    } else {
        W = std::max(pnl.out_w[0], pnl.out_w[1]);
        H = pnl.out_h[0] + pnl.out_h[1];
    }
    pnl.one_och = int64_t(W) * H > kOneChannelPixels ? 0 : 1;
    const Blanking& b = pnl.one_och ? kOneChannelBlanking : kTwoChannelsBlanking;
    const i32 roundedW = (W + b.round) & (kWidthMask & ~b.round);
    pnl.och.hsw = b.hsw;
    pnl.och.hfp = b.hfp;
    pnl.och.vsw = b.vsw;
    pnl.och.vfp = b.vfp;
    const SpliceLayout& layout = kSplice[pnl.splice];
    pnl.ochBW = OCHBW_2K4K30;
    pnl.arrang = layout.arrang[pnl.one_och];
    shapeOf(pnl.arrang, pnl.och_HCnt, pnl.och_VCnt);
    pnl.xoffs = pnl.yoffs = 0;

    int htt = 0, vtt = 0;
    kelApi_PnlInitOch_diff(&htt, &vtt, b.hblank, b.vblank, roundedW, H);
    pnl.och.htt = htt;
    pnl.och.vtt = vtt;

    // Output 1 ends on the centre line of the channel canvas.
    if (pnl.splice == ram::SPLICE_H) {
        pnl.xoffs = u16(pnl.och.width * pnl.och_HCnt / 2 - pnl.out_w[0]);
    } else if (stacked(pnl.splice)) {
        const i32 half = pnl.och_VCnt / 2;
        pnl.och.height = ceilDiv(H, half);
        pnl.yoffs = u16(pnl.och.height * half - pnl.out_h[0]);
    } else {
        pnl.och.height = ceilDiv(pnl.h, pnl.och_VCnt);
    }
    pnl.och_num_h = layout.across[pnl.one_och];
    pnl.och_num_v = layout.down[pnl.one_och];
    KEL_DBG("[kelApi_PnlInitOch3] use1och:%u arrang:%u (%ux%u) och %dx%d htt:%d vtt:%d xoffs:%u yoffs:%u\n",
            pnl.one_och, pnl.arrang, pnl.och_HCnt, pnl.och_VCnt, pnl.och.width, pnl.och.height, pnl.och.htt,
            pnl.och.vtt, pnl.xoffs, pnl.yoffs);
    kelApi_WriteRam(int(offsetof(KEL_RAM_PARA, splice_mode)));
}

int x518_manage::kelApi_PnlInitOch_diff(int* htt, int* vtt, int hblank, int vblank, int width, int height)
{
    if (!pnl.one_och) {
        if (stacked(pnl.splice)) {
            height /= 2;
            if (pnl.arrang == ARRANG2K4_2x2_8K)
                width /= 2;
        } else {
            width /= 2;
        }
    }
    const i32 wantH = hblank + width, wantV = vblank + height;
    const auto& list = x518::ochTimingList();
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const x518::OchTimingPair& p) { return p.htt >= wantH && p.vtt >= wantV; });
    if (it != list.end()) {
        *htt = it->htt;
        *vtt = it->vtt;
    } else {
        *htt = pnl.one_och ? ceilDiv(wantH, kTotalStep) * kTotalStep : wantH;
        *vtt = wantV;
    }
    pnl.och.width = width;
    pnl.och.height = *vtt - vblank;
    KEL_DBG("[kelApi_PnlInitOch_diff] want %dx%d, timing %dx%d\n", wantH, wantV, *htt, *vtt);
    return 1;
}

void x518_manage::kelApi_WriteRam(int offset)
{
    KEL_RAM_PARA* b = liveBlock();
    if (offset != int(offsetof(KEL_RAM_PARA, splice_mode)) || !b)
        return;
    b->led_x = pnl.xoffs;
    b->led_y = pnl.yoffs;
    b->och_num_h = pnl.och_num_h;
    b->och_num_v = pnl.och_num_v;
    b->och_w = u16(pnl.och.width);
    b->och_h = u16(pnl.och.height);
    b->och_mode = u16(pnl.ochBW);
    KEL_DBG("PC RAM led_x:%u led_y:%u och_num_h:%u och_num_v:%u och_w:%u och_h:%u och_mode:%u\n", b->led_x, b->led_y,
            b->och_num_h, b->och_num_v, b->och_w, b->och_h, b->och_mode);
}

// ------------------------------------------------------------------ output timing

void x518_manage::kelApi_x518InitRegPanel()
{
    const X518OchTiming& o = pnl.och;
    sys.PS_ACTHW = u32(o.width);
    sys.PS_ACTVW = u32(o.height);
    sys.PS_HTOTAL = u32(o.htt);
    sys.PS_VTOTAL = u32(o.vtt);
    sys.PS_HSW = u32(o.hsw);
    sys.PS_HBP = u32(o.htt - o.width - o.hsw - o.hfp);
    sys.PS_VSW = u32(o.vsw);
    sys.PS_VBP = u32(o.vtt - o.height - o.vsw - o.vfp);
    deriveOutputArea();

    const bool rows = twoRows(pnl.arrang);
    const u32 across = rows ? (pnl.one_och ? 1 : 2) : (pnl.one_och ? 2 : 4);
    const u32 down = rows ? 2 : 1;
    sys.PS_VBOTX_MODE = kPanelVboTxMode;
    sys.PS_VBOTX_LAYOUT = rows ? 1 : 0;
    sys.PS_PANEL_HSHAPE = across;
    sys.PS_PANEL_VSHAPE = down;
    sys.PS_PANEL_HW = across * sys.PS_ACTHW;
    sys.PS_PANEL_VW = down * sys.PS_ACTVW;
    sys.PS_PLL[kPllWord2] = kPanelPllWord2;
    sys.PS_PLL[kPllWord5] = kPanelPllWord5;
    out_frames_.forget();  // the output starts its frames anew
    KEL_DBG("[kelApi_x518InitRegPanel] hbp:%u vbp:%u panel %ux%u (%ux%u)\n", sys.PS_HBP, sys.PS_VBP, sys.PS_PANEL_HW,
            sys.PS_PANEL_VW, across, down);
    writePanelRegisters();
}

void x518_manage::writePanelRegisters()
{
    const X518OchTiming& o = pnl.och;
    const int fd = spi_fd;
    auto put = [&](u32 spec, u32 value, u32 offset = 0) { drv->write_X518(fd, spec, value, offset); };
    auto putTwice = [&](u32 spec, u32 step, u32 value, u32 offset = 0) {
        put(spec, value, offset);
        put(regAt(spec, step), value, offset);
    };

    putTwice(kTxHsyncWidth, kTxCopyStep, u32(o.hsw / 2 - 1));
    putTwice(kTxVsyncWidth, kTxCopyStep, u32(o.vsw - 1));
    const u32 hs = sys.PS_ACTHST, vs = sys.PS_ACTVST;
    for (u32 k = 0; k < u32(kChannels); ++k) {
        const u32 at = kChannelStride * k;
        put(x518::kOchHtotal, u32(o.htt - 2), at);
        put(x518::kOchVtotal, u32(o.vtt - 2), at);
        put(kOchSyncDelay, kOchSyncDelayValue, at);
        // The active window of the output timing, and the channel's area as the whole of it.
        put(x518::kOchActHst, hs, at);
        put(x518::kOchAreaHst, hs, at);
        put(x518::kOchActHend, hs + u32(o.width), at);
        put(x518::kOchAreaHend, hs + u32(o.width), at);
        put(x518::kOchActVst, vs, at);
        put(x518::kOchAreaVst, vs, at);
        put(x518::kOchActVend, vs + u32(o.height), at);
        put(x518::kOchAreaVend, vs + u32(o.height), at);
        put(x518::kOactHst, hs, at);
        put(x518::kOactHw, u32(o.width), at);
        put(x518::kOactVst, vs, at);
        put(x518::kOactVw, u32(o.height + 1), at);
    }

    put(kTxOrder, kIdentityOrder);
    put(kTxOrder2, kIdentityOrder);
    put(kChannelMap, kSplice[pnl.splice].channelMap[pnl.one_och]);
    for (u32 spec : kTxWordsA)
        put(spec, 0);
    put(kVboTxMode, kVboTxModeValue);
    put(kTxOrder, kIdentityOrder);
    for (u32 spec : kTxWordsB)
        put(spec, 0);
    put(kVboTxMode2, kVboTxModeValue);
    put(kTxOrder2, kIdentityOrder);
    put(kOutPll, kPllWord1Value);
    put(kOutPll2, kPllWord1Value);
    putTwice(regAt(kOutPll, kPllWord5), kOutPllCopyStep, sys.PS_PLL[kPllWord5]);
    putTwice(regAt(kOutPll, kPllWord2), kOutPllCopyStep, sys.PS_PLL[kPllWord2]);
}
