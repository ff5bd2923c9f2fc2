// The input side of a window: what its input channels capture of the port
// (one channel, or the two paths of a pair, each half of a line), how they
// shrink it and where in frame memory they write it; and the same for a
// dot-by-dot window, whose channels each capture one input whole.
#include "videochip/x518_manage.h"

#include "videochip/x518_frame_memory.h"
#include "videochip/x518_ipproc_tables.h"
#include "videochip/x518_reg_batch.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

using x518::kChannelStride;
using x518::kZoomUnit;

enum { HST = 0, HW = 1, VST = 2, VW = 3 };
using x518mem::kFourBytes;
using x518mem::kThreeInEight;
using x518mem::lineBytes;
using x518mem::padBytes;
constexpr i32 kDualStateFrom = 3;  // port states from here capture a pair without the split
constexpr int kNarrowLanes = 5;    // fewer lanes: the pair splits at its narrow mode
constexpr u32 kDualNarrow = 2, kDualWide = 1;
constexpr i32 kCaptureHstBack = 7;  // capture starts this many pixels before the active ones
constexpr i32 kCaptureVstOn = 1;
constexpr i32 kPhaseFull = 0x100;
constexpr i32 kMaxExtension = 2;  // pixels a packed format may capture beyond its share
constexpr u32 kPairMask = ~1u;
constexpr u32 kBytesPerKb = 1024;
// Pixels (lines) a capture shrunk to fit its memory keeps free of its
// room: the packed format rounds a line up to an even count and may
// capture two pixels more.
constexpr i32 kFitSlack = 4;
constexpr int kFitTries = 4;

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

// What the port gives a plain window's capture: its state, the active
// line (start and width, the window's capture offset) and lines.
struct PortLine {
    i32 state = 0;
    i32 hw = 0, offset = 0, base = 0;
    i32 vst = 0, vw = 0;
};

// The capture of a plain window shrunk from `in` to `out`: the split of the
// line over the paths, the shrink, and the memory format the shrink allows
// (`format` starts as the format asked for, `asked`).
Capture planCapture(const PortLine& pl, _ImageWindowDef_st in, _ImageWindowDef_st out, i32 asked, i32& format, int w)
{
    Capture cap;
    const i32 hw = pl.hw, o = pl.offset, base = pl.base;
    Path& p1 = cap.path[0];
    Path& p2 = cap.path[1];
    if (pl.state == kDualStateFrom) {
        p1 = {base + o, hw / 2};
        p2 = {base + o + hw / 2, hw / 2};
    } else if (pl.state > kDualStateFrom) {
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
    cap.vst = pl.vst;
    cap.vw = pl.vw;
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
        if (pl.state <= kDualStateFrom) {
            const i32 w1 = p1.hw, w2 = p2.hw, rh = cap.rh, ph = p1.phase;
            const int64_t shrunk = x518mem::shrunkCount(w1, rh, ph, p1.flag);
            const int64_t n = shrunk + (shrunk & 1);
            const int64_t e = std::max<int64_t>((((n - 1) << 16) + rh - 1) / rh + 1, w1);
            const int64_t x = e - w1;
            for (;;) {
                if (format == kFourBytes) {
                    if (asked == kFourBytes || x > kMaxExtension) {
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
                const i32 next = format == kFourBytes ? asked : kFourBytes;
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
    return cap;
}

// One past the last byte of its memory a capture writes in a line: path 1
// from its start, path 2 from path 1's line bytes on.
int64_t lineEnd(const Capture& cap, int format)
{
    const bool hShrink = cap.rh < i32(kZoomUnit);
    auto bytesOf = [&](const Path& pt) {
        return lineBytes(format, x518mem::shrunkCount(pt.hw, hShrink ? cap.rh : 0, pt.phase, pt.flag));
    };
    int64_t end = cap.start + std::max(cap.line, bytesOf(cap.path[0]));
    if (cap.path[1].hw > 0)
        end = std::max(end, cap.line + bytesOf(cap.path[1]));
    return end;
}

// Lines a capture writes.
int64_t linesOf(const Capture& cap)
{
    return x518mem::shrunkCount(cap.vw, cap.rv < i32(kZoomUnit) ? cap.rv : 0, cap.vphase, cap.vflag);
}

// The output size, no larger than `size`, whose shrink makes `whole`
// captured pixels (lines) of an input `in` wide (high) write at most
// `room` of them.
i32 fittedSize(i32 size, i32 in, int64_t whole, int64_t room)
{
    if (whole <= 1 || in <= 1)
        return size;
    const int64_t fit = (room - 1) * (in - 1) / (whole - 1) + 1;
    return i32(std::max<int64_t>(std::min<int64_t>(fit, size), 1));
}

}  // namespace

// ------------------------------------------------------------------ plain windows

// A plain window writes its lines into the memory columns of its input
// channels, 8 KiB each in lines of fb_pitch KiB, five fields apart. A
// picture whose lines (or lines of a field) would run past them is shrunk
// by the input channel until they fit; the output side zooms it back to the
// window (mem_hw, mem_vw).
void x518_manage::set_display_window_ich(int fd, _ImageWindowDef_st in, _ImageWindowDef_st out, int w)
{
    if (!kelApi_IsWinValid(w))
        return;
    model.mem_hw[w] = model.mem_vw[w] = 0;
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
    const i32 asked = model.PS_MEM_WMODE[w];
    const i32 first = ports.port_fmt_lock[p] ? kThreeInEight : asked;

    PortLine pl;
    pl.state = state;
    pl.hw = ports.PI_ACT[p][HW];
    pl.offset = ports.PM_IACTHST[p];
    pl.base = ports.PI_ACT[p][HST] - kCaptureHstBack;
    pl.vst = ports.PM_IACTVST[p] + ports.PI_ACT[p][VST] + kCaptureVstOn;
    pl.vw = ports.PI_ACT[p][VW];

    const int64_t room = int64_t(X518System::kColumnBytes) * (pair ? 2 : 1);
    const int64_t lineStep = int64_t(sys.fb_pitch) * kBytesPerKb;
    const int64_t fieldLines = lineStep > 0 ? int64_t(sys.PS_MEM_SC[0][1] - sys.PS_MEM_SC[0][0]) / lineStep : 0;
    _ImageWindowDef_st target = out;
    format = first;
    Capture cap = planCapture(pl, in, target, asked, format, w);
    for (int tries = 0; tries < kFitTries; ++tries) {
        const int64_t end = lineEnd(cap, format);
        const int64_t lines = linesOf(cap);
        const bool wide = end > room, tall = fieldLines > 0 && lines > fieldLines;
        if (!wide && !tall)
            break;
        if (wide) {
            const int64_t whole = int64_t(cap.path[0].hw) + (pair ? cap.path[1].hw : 0);
            const int64_t fits = x518mem::pixelsIn(format, room - cap.start) - kFitSlack;
            target.hw = fittedSize(std::min(target.hw, in.hw), in.hw, whole, fits);
        }
        if (tall)
            target.vw = fittedSize(std::min(target.vw, in.vw), in.vw, cap.vw, fieldLines - kFitSlack);
        KEL_DBG("[set_display_window_ich] win_%d: %ld bytes and %ld lines a field do not fit its memory: "
                "shrunk to %d x %d\n",
                w, long(end), long(lines), target.hw, target.vw);
        format = first;
        cap = planCapture(pl, in, target, asked, format, w);
    }
    if (target.hw < model.OWIN[w].hw)
        model.mem_hw[w] = target.hw;
    if (target.vw < model.OWIN[w].vw)
        model.mem_vw[w] = target.vw;
    const bool hShrink = cap.rh < i32(kZoomUnit), vShrink = cap.rv < i32(kZoomUnit);

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
            batch.write(x518::regAt(x518::kIsfld, x518::kFieldAddressStep * u32(f)), u32(offset + sys.PS_MEM_SC[c][f]),
                        at);
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
    model.mem_hw[w] = model.mem_vw[w] = 0;
    const int* list = ich.win_ich[w];
    const int n = ichCount(w);
    if (n == 0)
        return;
    for (int i = 0; i < n; ++i)
        set_idual(fd, list[i], 0, 0);
    const DbdLayout l = dbdLayout(w);
    if (set_dbd_mem(fd, w) == -1 || l.parts == 0 || n < l.parts) {
        // The window gets no memory: its channels stop writing what they
        // wrote for another window, where another window's memory may be now.
        model.g_chg_input[w] = model.g_chg_dbd[w] = 0;
        KEL_DBG("[set_display_window_ich_dbd] g_chg_dbd[%d]:%d\n", w, model.g_chg_dbd[w]);
        X518Batch batch(drv, fd);
        for (int i = 0; i < n; ++i)
            batch.write(x518::kIactHw, 0, kChannelStride * u32(list[i]));
        batch.send();
        set_mct(fd, w, 0);
        return;
    }
    set_ichsel(fd, u32(w));

    i32& format = model.PM_MEM_WMODE[w];
    format = dbdFormat(w);
    const u32 colour =
        format >= 0 && format < int(sizeof x518::ipproc::kIscwctByFormat) ? x518::ipproc::kIscwctByFormat[format] : 0;
    // Where each channel's part starts in the window's memory.
    const int64_t pitch = int64_t(ich.dbd_pitch[w]) * kBytesPerKb;
    int64_t offset[kChannels] = {};
    for (int k = 0; k < l.parts; ++k)
        offset[k] = lineBytes(format, l.part[k].x) + int64_t(l.part[k].y) * pitch;
    if (l.sideBySide)
        offset[0] += padBytes(format, l.part[0].hw);

    // The first channel, which the others follow, captures an input that
    // has a signal.
    const int lead = dbdLeadPart(l);
    X518Batch batch(drv, fd);
    for (int i = 0; i < l.parts; ++i) {
        const int k = dbdPartOf(i, lead);
        const DbdPart& a = l.part[k];
        const int ch = list[i];
        const u32 at = kChannelStride * u32(ch);
        batch.write(x518::kIsyct, i == 0 ? x518::kIsyctRun : x518::kIsyctFollow + u32(list[0]), at);
        batch.write(x518::kIactHst, u32(a.hst), at);
        batch.write(x518::kIactHw, u32(a.hw), at);
        batch.write(x518::kIactVst, u32(a.vst), at);
        batch.write(x518::kIactVw, u32(a.vw), at);
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
