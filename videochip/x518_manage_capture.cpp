// The input side of a window: what its input channels capture of the port
// (one channel, or the two paths of a pair, each half of a line), how they
// shrink it and where in frame memory they write it; and the same for a
// dot-by-dot window, whose channels each capture one input whole.
#include "videochip/x518_manage.h"

#include "videochip/x518_ipproc_tables.h"
#include "videochip/x518_reg_batch.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

using x518::kChannelStride;
using x518::kZoomUnit;

enum { HST = 0, HW = 1, VST = 2, VW = 3 };
enum Format { kFourBytes = 0, kFiveInSixteen = 1, kThreeInEight = 2, kTwoBytes = 3 };
constexpr i32 kDualStateFrom = 3;   // port states from here capture a pair without the split
constexpr i32 kWholeLineFrom = 4;   // above 3: one channel takes the whole line
constexpr int kNarrowLanes = 5;     // fewer lanes: the pair splits at its narrow mode
constexpr u32 kDualNarrow = 2, kDualWide = 1;
constexpr i32 kCaptureHstBack = 7;  // capture starts this many pixels before the active ones
constexpr i32 kCaptureVstOn = 1;
constexpr i32 kPhaseFull = 0x100;
constexpr i32 kMaxExtension = 2;    // pixels a packed format may capture beyond its share
constexpr u32 kPairMask = ~1u;
constexpr u32 kBytesPerKb = 1024;

// Line bytes of `n` pixels in a memory format, and the bytes a line of
// format 2 starts late (its pad to a multiple of three pixels).
int64_t lineBytes(int format, int64_t n)
{
    switch (format) {
    case kFiveInSixteen: return (n / 5) * 80 / 5 + (n % 5) * 3;
    case kThreeInEight: return (n + (3 - n % 3) % 3) * 8 / 3;
    case kTwoBytes: return 2 * n;
    default: return 4 * n;
    }
}
int64_t padBytes(int format, int64_t n) { return format == kThreeInEight ? (3 - n % 3) % 3 * 2 : 0; }

i32 shrinkRatio(i32 in, i32 out)
{
    return out >= 1 && out < in ? i32((int64_t(out - 1) << 16) / (in - 1) + 1) : i32(kZoomUnit);
}

// 0x100 - the fraction of start x ratio, as phase and flag (0x100 wraps to 0, flag 0).
void startPhase(i32 start, i32 size, i32 ratio, i32& phase, i32& flag)
{
    phase = flag = 0;
    if (size < 1 || start < 1)
        return;
    phase = kPhaseFull - i32(((int64_t(start) * ratio) & 0xFFFF) >> 8);
    flag = phase == kPhaseFull ? 0 : 1;
    if (phase == kPhaseFull)
        phase = 0;
}

// What one path of an input channel captures and how it shrinks across.
struct Path {
    i32 hst = 0, hw = 0;
    i32 phase = 0, flag = 0;
};

// The capture of a plain window: both paths, the vertical capture and
// shrink, and path 1's line bytes (where path 2 writes in the same line).
struct Capture {
    Path path[2];
    i32 vst = 0, vw = 0;
    i32 rh = kZoomUnit, rv = kZoomUnit;
    i32 vphase = 0, vflag = 0;
    int64_t line = 0;   // path 1's line bytes
    int64_t start = 0;  // bytes path 1 starts late (format 2)
};

// Path 2's phase and flag when path 1 captures `e` pixels and path 2 `w2`.
void secondPhase(i32 rh, i32 ph, int64_t e, int64_t w2, Path& p2)
{
    const int64_t s = e * rh + int64_t(ph) * 256;
    const int64_t sum = (int64_t(rh) * (w2 + e - 1) + int64_t(ph) * 256) & 0xFFFF;
    i32 phase = i32((s & 0xFFFF) >> 8);
    if ((s & 0x80) || sum < (s & 0xFF))
        ++phase;
    p2.flag = (phase == kPhaseFull || (s & 0xFFFF) < rh) ? 0 : 1;
    p2.phase = phase & 0xFF;
}

}  // namespace

// ------------------------------------------------------------------ plain windows

void x518_manage::set_display_window_ich(int fd, _ImageWindowDef_st in, _ImageWindowDef_st out, int w)
{
    if (!kelApi_IsWinValid(w))
        return;
    const int p = model.PM_INPUT[w];
    const int c = firstIch(w);
    if (c < 0 || c >= kChannels || !portValid(p))
        return;
    const int count = ichCount(w);
    const bool pair = count >= 2 && c + 1 < kChannels;
    const i32 state = ports.PI_STATE[p];
    u32 dualMode = 0;
    if (pair && state < kDualStateFrom)
        dualMode = ports.PI_HDMI_INFO[p].lane < kNarrowLanes ? kDualNarrow : kDualWide;
    i32& format = model.PM_MEM_WMODE[w];
    format = ports.port_fmt_lock[p] ? kThreeInEight : model.PS_MEM_WMODE[w];

    // Capture split of the line over the two paths.
    Capture cap;
    const i32 hw = ports.PI_ACT[p][HW], o = ports.PM_IACTHST[p], base = ports.PI_ACT[p][HST] - kCaptureHstBack;
    Path& p1 = cap.path[0];
    Path& p2 = cap.path[1];
    if (state == kDualStateFrom) {
        p1 = {base + o, hw / 2};
        p2 = {base + o + hw / 2, hw / 2};
    } else if (state > kDualStateFrom) {
        p1 = {base + o, hw};
    } else if (o >= -hw && o < hw) {
        p1 = {base + o, hw - o};
        p2 = {base, hw + o};
    } else if (o >= hw) {
        p1 = {base + hw, 0};
        p2 = {base + (o - hw), 2 * hw};
    } else {
        p1 = {base - hw, 2 * hw};
        p2 = {base, 0};
    }
    cap.vst = ports.PM_IACTVST[p] + ports.PI_ACT[p][VST] + kCaptureVstOn;
    cap.vw = ports.PI_ACT[p][VW];
    cap.rh = shrinkRatio(in.hw, out.hw);
    cap.rv = shrinkRatio(in.vw, out.vw);
    const bool hShrink = cap.rh < i32(kZoomUnit), vShrink = cap.rv < i32(kZoomUnit);

    // Horizontal shrink: a packed format stores whole pixel groups, so path 1
    // may capture a few pixels more; more than kMaxExtension and the window
    // falls back to four bytes a pixel.
    if (!hShrink) {
        cap.line = lineBytes(format, p1.hw);
        cap.start = padBytes(format, p1.hw);
    } else {
        startPhase(in.hst, in.hw, cap.rh, p1.phase, p1.flag);
        if (state > kDualStateFrom) {
            cap.line = 0;
        } else {
            const i32 w1 = p1.hw, w2 = p2.hw, rh = cap.rh, ph = p1.phase;
            const int64_t shrunk = (int64_t(rh) * (w1 - 1) + int64_t(1 - p1.flag) * kZoomUnit + int64_t(ph) * 256) >> 16;
            const int64_t n = shrunk + (shrunk & 1);
            const int64_t e = std::max<int64_t>((((n - 1) << 16) + rh - 1) / rh + 1, w1);
            const int64_t x = e - w1;
            for (;;) {
                if (format == kFourBytes) {
                    if (model.PS_MEM_WMODE[w] == kFourBytes || x > kMaxExtension) {
                        secondPhase(rh, ph, w1, w2, p2);
                        cap.line = 4 * shrunk;
                        break;
                    }
                } else if (x <= kMaxExtension) {
                    p1.hw = i32(e);
                    p2.hst += i32(x);
                    p2.hw = i32(w1 - x);
                    secondPhase(rh, ph, e, p2.hw, p2);
                    cap.line = lineBytes(format, n);
                    cap.start = padBytes(format, n);
                    break;
                }
                const i32 next = format == kFourBytes ? model.PS_MEM_WMODE[w] : kFourBytes;
                KEL_DBG("\n *** YUV CHG DET win=%d [%d] to ", w, format);
                KEL_DBG("[%d]\n", next);
                format = next;
            }
        }
    }
    if (vShrink) {
        startPhase(in.vst, in.vw, cap.rv, cap.vphase, cap.vflag);
        cap.vflag = cap.vphase != 0;
    }

    set_idual(fd, c, dualMode, u32(p));
    set_ichsel(fd, u32(w));
    X518Batch batch(drv, fd);
    auto path = [&](int k, u32 isyct) {
        const Path& pt = cap.path[k];
        const u32 at = kChannelStride * u32(c + k);
        batch.write(x518::kIsyct, isyct, at);
        batch.write(x518::kIactHst, u32(pt.hst), at);
        batch.write(x518::kIactHw, u32(pt.hw), at);
        batch.write(x518::kIactVst, u32(cap.vst), at);
        batch.write(x518::kIactVw, u32(cap.vw), at);
        batch.write(x518::kShrinkFlags, u32(pt.flag << 4 | cap.vflag) << 3, at);
        batch.write(x518::kShrinkHControl, hShrink ? x518::kShrinkHOn : x518::kShrinkOff, at);
        batch.write(x518::kShrinkHRatio, hShrink ? u32(cap.rh) : 0, at);
        batch.write(x518::kShrinkVControl, vShrink ? x518::kShrinkVOn : x518::kShrinkOff, at);
        batch.write(x518::kShrinkVRatio, vShrink ? u32(cap.rv) : 0, at);
        batch.write(x518::kShrinkMode, x518::kShrinkModeOn, at);
        batch.write(x518::kShrinkHPhase, u32(pt.phase), at);
        batch.write(x518::regAt(x518::kShrinkHPhase, 1), u32(pt.phase), at);
        batch.write(x518::kShrinkVPhase, u32(cap.vphase), at);
        batch.write(x518::regAt(x518::kShrinkVPhase, 1), u32(cap.vphase), at);
        const int64_t offset = k == 0 ? cap.start : cap.line;
        for (int f = 0; f < kFields; ++f)
            batch.write(x518::regAt(x518::kIsfld, x518::kFieldAddressStep * u32(f)),
                        u32(offset + sys.PS_MEM_SC[c][f]), at);
        batch.write(x518::kImwi, sys.fb_pitch, at);
        batch.write(x518::kWriteRing, writeRingCode(model.fb_ring[w]), at);
    };
    path(0, x518::kIsyctRun);
    if (pair)
        path(1, x518::kIsyctFollow + (u32(c) & kPairMask));
    batch.send();

    set_lut_hshrnk(fd, cap.rh, u32(c), pair);
    set_lut_vshrnk_4sym(fd, cap.rv, u32(c), pair);
    set_iscwct(fd, w);
    set_mct(fd, w, 0);
    set_ip(fd, c);
}

// ------------------------------------------------------------------ dot-by-dot windows

void x518_manage::set_display_window_ich_dbd(int fd, int w, int arrangement)
{
    if (!kelApi_IsWinValid(w))
        return;
    const int* list = ich.win_ich[w];
    const int n = ichCount(w);
    if (n == 0)
        return;
    for (int i = 0; i < n; ++i)
        set_idual(fd, list[i], 0, 0);
    if (set_dbd_mem(fd, w) == -1) {
        model.g_chg_input[w] = model.g_chg_dbd[w] = 0;
        KEL_DBG("[set_display_window_ich_dbd] g_chg_dbd[%d]:%d\n", w, model.g_chg_dbd[w]);
        set_mct(fd, w, 0);
        return;
    }
    set_ichsel(fd, u32(w));

    // The area each channel captures: a port's measured area, whole or the
    // half of a V-by-One line each channel of its pair carries, or nothing.
    struct Area {
        i32 hst = 0, hw = 0, vst = 0, vw = 0;
    };
    auto whole = [this](int port) {
        const i32* a = ports.port_act[port];
        return Area{a[HST] - kCaptureHstBack, a[HW], a[VST] + kCaptureVstOn, a[VW]};
    };
    auto half = [this](int port) {
        const i32* a = ports.port_act[port];
        return Area{a[HST] / 2 - kCaptureHstBack, a[HW] / 2, a[VST] + kCaptureVstOn, a[VW]};
    };
    const int p = model.PM_INPUT[w];
    const bool wholeLines = portValid(p) && ports.PI_STATE[p] > kDualStateFrom;
    Area area[kChannels];
    int need = 0;
    bool locked = false;
    switch (arrangement) {
    case DBD_SINGLE_INPUT:
        if (!portValid(p))
            return;
        locked = ports.port_fmt_lock[p] != 0;
        if (p < kCmosPorts) {
            need = 1;
            area[0] = whole(p);
        } else {
            need = 2;
            area[0] = wholeLines ? whole(p) : half(p);
            area[1] = wholeLines ? Area{} : half(p);
        }
        break;
    case DBD_CMOS_IN12: case DBD_CMOS_IN12V: need = 2; area[0] = whole(0); area[1] = whole(1); break;
    case DBD_CMOS_IN34: case DBD_CMOS_IN34V: need = 2; area[0] = whole(2); area[1] = whole(3); break;
    case DBD_CMOS_IN123: need = 3; for (int k = 0; k < 3; ++k) area[k] = whole(k); break;
    case DBD_CMOS_IN1234: case DBD_CMOS_IN1234Q: need = 4; for (int k = 0; k < 4; ++k) area[k] = whole(k); break;
    case DBD_VBO_IN12: case DBD_VBO_IN12V: {
        constexpr int kPortOfChannel[4] = {5, 5, 4, 4};
        need = 4;
        for (int k = 0; k < 4; ++k) {
            const int q = kPortOfChannel[k];
            area[k] = wholeLines ? (k % 2 ? Area{} : whole(q)) : half(q);
        }
        break;
    }
    default: return;
    }
    if (n < need)
        return;

    i32& format = model.PM_MEM_WMODE[w];
    format = locked ? kThreeInEight : model.PS_MEM_WMODE[w];
    const u32 colour = format >= 0 && format < int(sizeof x518::ipproc::kIscwctByFormat)
                           ? x518::ipproc::kIscwctByFormat[format]
                           : 0;
    // Where each channel's part starts in the window's memory: stacked
    // halves one part's height apart, quadrants, or side by side.
    const int64_t pitch = int64_t(ich.dbd_pitch[w]) * kBytesPerKb;
    const int64_t below = int64_t(area[0].vw) * pitch;
    int64_t offset[kChannels] = {};
    switch (arrangement) {
    case DBD_CMOS_IN12V: case DBD_CMOS_IN34V: offset[1] = below; break;
    case DBD_CMOS_IN1234Q: case DBD_VBO_IN12V:
        offset[1] = lineBytes(format, area[0].hw);
        offset[2] = below;
        offset[3] = offset[1] + below;
        break;
    default: {
        int64_t before = 0;
        offset[0] = padBytes(format, area[0].hw);
        for (int k = 1; k < need; ++k) {
            before += area[k - 1].hw;
            offset[k] = lineBytes(format, before);
        }
        break;
    }
    }

    X518Batch batch(drv, fd);
    for (int k = 0; k < n && k < need; ++k) {
        const int ch = list[k];
        const u32 at = kChannelStride * u32(ch);
        batch.write(x518::kIsyct, k == 0 ? x518::kIsyctRun : x518::kIsyctFollow + u32(list[0]), at);
        batch.write(x518::kIactHst, u32(area[k].hst), at);
        batch.write(x518::kIactHw, u32(area[k].hw), at);
        batch.write(x518::kIactVst, u32(area[k].vst), at);
        batch.write(x518::kIactVw, u32(area[k].vw), at);
        for (u32 spec : {x518::kShrinkFlags, x518::kShrinkMode, x518::kShrinkHControl, x518::kShrinkHPhase,
                         x518::regAt(x518::kShrinkHPhase, 1), x518::kShrinkHRatio, x518::kShrinkVControl,
                         x518::kShrinkVPhase, x518::regAt(x518::kShrinkVPhase, 1), x518::kShrinkVRatio})
            batch.write(spec, 0, at);
        for (int f = 0; f < kFields; ++f)
            batch.write(x518::regAt(x518::kIsfld, x518::kFieldAddressStep * u32(f)),
                        u32(offset[k] + ich.dbd_fb_base[w][f]), at);
        batch.write(x518::kImwi, ich.dbd_pitch[w], at);
        batch.write(x518::kWriteRing, writeRingCode(model.fb_ring[w]), at);
        batch.write(x518::kIscwct + x518::kAddressStep * u32(ch), colour);
    }
    batch.send();
    set_mct(fd, w, 0);
    if (arrangement == DBD_SINGLE_INPUT)
        set_ip(fd, list[0]);
}
