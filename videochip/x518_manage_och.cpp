// The output side of a window: each output channel that shows an area of
// it reads its share of the window's frame memory (a zooming channel reads a
// few source pixels and lines beyond its share for the zoom filter), zooms
// it and places it in its active area; and the channel's output colour
// control and vertical zoom filter.
#include "videochip/x518_manage.h"

#include "videochip/x518_ipproc_tables.h"
#include "videochip/x518_reg_batch.h"

#include <algorithm>
#include <cstdint>

namespace {

using x518::kChannelStride;
using x518::kZoomUnit;

enum ScaleMode { kNoScale = 0, kShrink = 1, kZoom = 2 };
constexpr int64_t kMargin = 4;     // source pixels (lines) read beyond a share for the zoom filter
constexpr int64_t kNearStart = 5;  // a share starting this close to the picture reads from its start
constexpr i32 kMinRead = 16;       // source pixels a channel reads at least
constexpr i32 kZoomLines = 2;      // a zooming channel's lines count two more
constexpr u32 kHZoomOn = x518::kOchHControlZoom, kHZoomEmpty = 0x47;
constexpr u32 kVZoomOn = 0x84, kVZoomEmpty = 4, kVControl5 = 5;
constexpr i32 kMinActHst = 10, kMinActVst = 3;     // starts below these cannot be shown
constexpr u32 kOsyctFirstOch = x518::kOsyctLead0;  // output channel 0's sync low byte
constexpr u32 kBytesPerKb = 1024;
constexpr u32 kByteMask = 0xFF;
constexpr u32 kMirrorStep = 0x100;  // OMWI of a vertical mirror: this minus the line step

// Bytes per pixel of the memory formats 0-3, as numerator and denominator.
struct PixelBytes {
    int64_t n, d;
};
constexpr PixelBytes kPixelBytes[] = {{4, 1}, {16, 5}, {8, 3}, {2, 1}};

// Position in the source of output pixel x at zoom step `zoom` (16.16),
// rounded up once the fraction reaches a step.
int64_t sourcePos(int64_t zoom, int64_t x)
{
    const int64_t v = zoom * x;
    return (v >> 16) + ((v & 0xFFFF) >= zoom ? 1 : 0);
}
// The first output pixel that shows source position `pos`.
int64_t firstOutput(int64_t pos, int64_t zoom)
{
    return ((pos << 16) + zoom - 1) / zoom;
}
// The zoom filter's start phase for that output pixel.
u32 zoomPhase(int64_t sub, int64_t zoom)
{
    return sub ? u32((((sub * zoom) & 0xFFFF) + 128) / 256) : 0;
}
// Floor of a signed product shifted right by 16.
int64_t shrunk(int64_t ratio, int64_t x)
{
    return (ratio * x) >> 16;
}

// A zooming share: the source positions of its first output pixel and of
// the one after its last, what it reads before and after them for the
// filter (a share other than the first starts kMargin early, or at the
// picture's start when that is nearer), where its picture starts against
// its own first pixel, and the output pixel its reading starts on.
struct ZoomShare {
    int64_t pos = 0, next = 0;
    int64_t before = 0, after = 0;
    int64_t adjust = 0, sub = 0;
    int64_t from = 0;  // source position the reading starts at
};
ZoomShare zoomShare(int64_t zoom, int64_t at, int64_t size, bool first, bool last)
{
    ZoomShare z;
    z.pos = sourcePos(zoom, at);
    z.next = sourcePos(zoom, at + size);
    if (!first && z.pos < kNearStart) {
        z.before = z.pos;
        z.adjust = -at;
    } else if (!first) {
        z.from = z.pos - kMargin;
        z.sub = firstOutput(z.from, zoom);
        z.adjust = z.sub - at;
        z.before = kMargin;
    }
    z.after = last ? 0 : std::min(z.next, kMargin);
    return z;
}

// One column (row) of the window on its output channels.
struct Share {
    i32 read = 0;        // OACT HW: source pixels read (VW: lines + the filter's)
    i32 start = 0;       // OACT HST (VST)
    int64_t offset = 0;  // bytes into the window's memory
    u32 phase = 0;
    u32 control = 0;
};

}  // namespace

void x518_manage::set_display_window_och(int fd, _ImageWindowDef_st in, _ImageWindowDef_st out, int w)
{
    if (!kelApi_IsWinValid(w))
        return;
    const int c = firstIch(w);
    // A window without an input channel (waiting for channels, or without
    // input) reads nothing: its channels take only its place, 1:1, where the
    // pass shows their background.
    const bool reads = c >= 0 && c < kChannels;
    if (!reads)
        in = out;
    int lead = w, partner = kNone;
    check_stitching_win(&lead, &partner);
    const int dbd = model.PM_WIN_DBD_MODE[lead];
    const bool ownMemory =
        dbd > DBD_DISABLE && !(dbd == DBD_SINGLE_INPUT && !check_dbd_input(fd, model.PM_INPUT[lead]));
    const u32 unit = ownMemory ? ich.dbd_pitch[lead] : sys.fb_pitch;
    const bool mirrorH = model.win_mirror_h[lead] != 0, mirrorV = model.win_mirror_v[lead] != 0;
    const u32 omwi = mirrorV ? kMirrorStep - unit : unit;
    const int64_t line = int64_t(unit) * kBytesPerKb;

    _ImageWindowDef2_St parts[kChannels];
    calc_oact(out, parts, w);
    _ScalingSt s;
    calc_scaling(in, out, &s);
    const int format = model.PM_MEM_WMODE[lead];
    const PixelBytes px = format >= 0 && format < int(std::size(kPixelBytes)) ? kPixelBytes[format] : kPixelBytes[0];
    const int64_t h =
        (s.h_mode == kShrink ? shrunk(s.h_shrink, in.hst - 1) * px.n + px.n : int64_t(in.hst) * px.n) / px.d;
    const int64_t v = s.v_mode == kShrink ? shrunk(s.v_shrink, in.vst - 1) * line + line : int64_t(in.vst) * line;
    const int across = std::clamp(model.PM_WIN_SHAPE[w][0], 0, kChannels);
    const int down = std::clamp(model.PM_WIN_SHAPE[w][1], 0, kChannels);

    // Columns.
    Share col[kChannels];
    const bool hZoom = s.h_mode == kZoom;
    int64_t x = 0;
    for (int i = 0; i < across; ++i) {
        const _ImageWindowDef2_St& pt = parts[i];
        Share& sh = col[i];
        int64_t adjust = 0;
        if (pt.hw == 0) {
            sh.control = hZoom ? kHZoomEmpty : 0;
        } else if (hZoom) {
            const ZoomShare z = zoomShare(s.h_zoom, x, pt.hw, pt.h_first, pt.h_last);
            adjust = z.adjust;
            sh.offset = px.n * z.from / px.d;
            sh.read = i32(std::max<int64_t>(z.next - z.pos + z.before + z.after, kMinRead));
            sh.phase = zoomPhase(z.sub, s.h_zoom);
            sh.control = kHZoomOn;
            if (mirrorH)
                sh.offset =
                    px.n * (sourcePos(s.h_zoom, model.OWIN[w].hw) - (z.next + (pt.h_last ? 0 : kMargin))) / px.d;
        } else {
            sh.offset = px.n * (mirrorH ? model.OWIN[w].hw - (x + pt.hw) : x) / px.d;
            sh.read = std::max(pt.hw, kMinRead);
        }
        sh.start = i32(pt.hst + adjust + i32(sys.PS_ACTHST));
        x += pt.hw;
    }

    // Rows.
    Share row[kChannels];
    const bool vZoom = s.v_mode == kZoom;
    int64_t y = 0;
    const int64_t vEnd = vZoom ? ((int64_t(model.OWIN[w].vw) * s.v_zoom) >> 16) -
                                     (((int64_t(model.OWIN[w].vw) * s.v_zoom) & 0xFFFF) < s.v_zoom ? 1 : 0)
                               : 0;
    for (int j = 0; j < down; ++j) {
        const _ImageWindowDef2_St& pt = parts[j];
        Share& sh = row[j];
        if (vZoom && pt.vw == 0) {
            sh.read = kZoomLines;
            sh.start = pt.vst - 1 + i32(sys.PS_ACTVST);
            sh.control = kVZoomEmpty;
        } else if (vZoom) {
            const ZoomShare z = zoomShare(s.v_zoom, y, pt.vw, pt.v_first, pt.v_last);
            sh.offset = line * z.from;
            sh.phase = zoomPhase(z.sub, s.v_zoom);
            sh.read = i32(z.next - z.pos + z.before + z.after + kZoomLines);
            sh.start = i32(pt.vst + z.adjust - 1 + int64_t(sys.PS_ACTVST));
            sh.control = kVZoomOn;
        } else {
            sh.offset = mirrorV ? line * (model.OWIN[w].vw - 1) - line * y : line * y;
            sh.read = pt.vw ? pt.vw + 1 : 1;
            sh.start = pt.vst + i32(sys.PS_ACTVST);
        }
        if (vZoom && mirrorV)
            sh.offset = line * vEnd - sh.offset;
        if (model.och_vmode5[w])
            sh.control = kVControl5;
        y += pt.vw;
    }
    const int64_t lineAdjust = model.och_vmode5[w] ? (mirrorV ? -line : line) : 0;

    // A channel whose picture would start too early cannot show it: the
    // whole window goes dark that way rather than wrongly placed.
    const bool hOff = std::any_of(col, col + across, [](const Share& sh) { return sh.start < kMinActHst; });
    const bool vOff = std::any_of(row, row + down, [](const Share& sh) { return sh.start < kMinActVst; });

    int och[kChannels];
    get_och(w, och);
    const u32* bases = !reads ? nullptr : ownMemory ? ich.dbd_fb_base[w] : sys.PS_MEM_SC[c];
    int first = kNone;
    X518Batch batch(drv, fd);
    for (int j = 0; j < down; ++j) {
        for (int i = 0; i < across; ++i) {
            const int k = j * across + i;
            if (k >= kChannels)
                break;
            const int o = och[k];
            if (o == kNone)
                continue;
            const u32 at = kChannelStride * u32(o);
            const Share& cs = col[i];
            const Share& rs = row[j];
            if (reads) {
                const u32 sync = o == 0 ? kOsyctFirstOch : x518::kOsyctLead;
                if (first == kNone) {
                    first = o;
                    batch.write(x518::kOsyct, u32(c) << x518::kOsyctChannelShift | sync, at);
                } else {
                    batch.write(x518::kOsyct, u32(first) << x518::kOsyctChannelShift | sync | x518::kOsyctFollow, at);
                }
                for (int f = 0; f < kFields; ++f)
                    batch.write(x518::regAt(x518::kOsfld, x518::kFieldAddressStep * u32(f)),
                                u32(rs.offset + bases[f] + cs.offset + h + v - lineAdjust), at);
                batch.write(x518::kOmwi, omwi & kByteMask, at);
            }
            batch.write(x518::kOactHst, u32(cs.start), at);
            batch.write(x518::kOactHw, hOff ? 0 : u32(cs.read), at);
            batch.write(x518::kOactVst, u32(rs.start), at);
            batch.write(x518::kOactVw, vOff ? 0 : u32(rs.read), at);
            batch.write(x518::kOchMirrorH, mirrorH ? 1 : 0, at);
            batch.write(x518::kOchAreaHend, u32(parts[i].hst + parts[i].hw) + sys.PS_OAOIHST, at);
            batch.write(x518::kOchHControl, cs.control, at);
            batch.write(x518::kOchHPhase, cs.phase & kByteMask, at);
            batch.write(x518::regAt(x518::kOchHPhase, 1), cs.phase & kByteMask, at);
            batch.write(x518::kOchHStep, u32(s.h_zoom), at);
            batch.write(x518::kOchVZoom, vZoom ? x518::kOchVZoomOn : 0, at);
            batch.write(x518::kOchVControl, rs.control, at);
            batch.write(x518::kOchVPhase, rs.phase & kByteMask, at);
            batch.write(x518::regAt(x518::kOchVPhase, 1), rs.phase & kByteMask, at);
            batch.write(x518::kOchVStep, u32(s.v_zoom), at);
            batch.send();
            if (reads)
                set_oscwct(fd, o);
            set_lut_vzoom_4sym(fd, s.v_zoom, o);
        }
    }
}

void x518_manage::set_oscwct(int fd, int och)
{
    if (och < 0 || och >= kChannels)
        return;
    const int w = model.PM_WIN_NUM[och];
    int format = 0;
    if (kelApi_IsWinValid(w)) {
        const int lead = model.PM_WIN_STITCHING[w];
        format = model.PM_MEM_WMODE[kelApi_IsWinValid(lead) ? lead : w];
    }
    const u32 v =
        format >= 0 && format < int(sizeof x518::ipproc::kIscwctByFormat) ? x518::ipproc::kIscwctByFormat[format] : 0;
    drv->update_X518(fd, x518::kOscwct + x518::kAddressStep * u32(och), v, 0);
}

void x518_manage::set_lut_vzoom_4sym(int fd, int v_zoom, int och)
{
    if (och < 0 || och >= kChannels)
        return;
    // The bypass: the line itself at full weight; or the 4-tap filter.
    static constexpr u8 kBypass[x518::kOchVFilterTaps] = {64};
    static constexpr u8 lut_set_lut_vzoom_4sym[x518::kOchVFilterTaps] = {
        0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 254, 253, 252, 252, 253, 0, 5, 13, 24, 35, 46, 56, 62, 64};
    X518Batch batch(drv, fd);
    batch.run(x518::kOchVFilter, v_zoom < 1 ? kBypass : lut_set_lut_vzoom_4sym, x518::kOchVFilterTaps, 1,
              kChannelStride * u32(och));
}
