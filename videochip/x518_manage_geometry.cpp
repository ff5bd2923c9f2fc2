// Window geometry: the arithmetic every window operation shares. The split
// of a window over the output channels it covers, the shrink and zoom
// ratios, stitch groups, the margins of a window inside its output cells and
// the crop margins of its input. Only the crop setter reaches the chip, and
// only through the window programming.
#include "videochip/x518_manage.h"

#include "app/kelrampara.h"

#include <algorithm>
#include <cstdint>

namespace {

enum Side { LEFT = 0, RIGHT = 1, TOP = 2, BOTTOM = 3, kSides = 4 };
enum Area { HST = 0, HW = 1, VST = 2, VW = 3 };
constexpr int kRatioShift = 16;
constexpr int kLastCmosPort = x518::kCmosPorts - 1;
constexpr i32 kVboFullWidthState = 4;  // from this port state on PI_ACT counts every pixel of a line

constexpr const char* kBlue = "\033[1;34m";
constexpr const char* kBlink = "\033[5m";
constexpr const char* kPlain = "\033[0m";

// One axis of calc_oact: the part of [start, start + size) in each of `n`
// cells of `cell` pixels, and the first and last cell that hold any of it.
struct AxisFields {
    i32 _ImageWindowDef2_St::*st;
    i32 _ImageWindowDef2_St::*len;
    i32 _ImageWindowDef2_St::*first;
    i32 _ImageWindowDef2_St::*last;
};

void splitAxis(i32 cell, int n, i32 start, i32 size, _ImageWindowDef2_St* out, const AxisFields& f)
{
    const int64_t end = int64_t(start) + size;
    int first = -1, last = -1;
    for (int i = 0; i < n; ++i) {
        const int64_t c = int64_t(i) * cell;
        const int64_t d = start - c;
        const bool runsPast = end > c + cell - 1;
        int64_t st = 0, len = 0;
        if (d >= cell) {
            len = 0;
        } else if (d >= 0) {
            st = d;
            len = runsPast ? cell - d : size;
        } else {
            len = runsPast ? cell : std::max<int64_t>(end - c, 0);
        }
        out[i].*f.st = i32(st);
        out[i].*f.len = i32(len);
        if (len != 0) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first >= 0) {
        out[first].*f.first = 1;
        out[last].*f.last = 1;
    }
}

// ((small - 1) << 16) / (large - 1) + 1, the ratio of two sizes in 16.16.
i32 ratio(i32 small, i32 large)
{
    return i32((int64_t(small - 1) << kRatioShift) / (large - 1) + 1);
}

}  // namespace

// ------------------------------------------------------------------ split over output channels

void x518_manage::calc_oact(_ImageWindowDef_st win, _ImageWindowDef2_St* out, int window) const
{
    if (!out || !kelApi_IsWinValid(window))
        return;
    const int across = std::clamp(model.PM_WIN_SHAPE[window][0], 0, kChannels);
    const int down = std::clamp(model.PM_WIN_SHAPE[window][1], 0, kChannels);
    std::fill(out, out + std::max(across, down), _ImageWindowDef2_St{});
    splitAxis(i32(sys.PS_ACTHW), across, win.hst, win.hw, out,
              {&_ImageWindowDef2_St::hst, &_ImageWindowDef2_St::hw, &_ImageWindowDef2_St::h_first,
               &_ImageWindowDef2_St::h_last});
    splitAxis(i32(sys.PS_ACTVW), down, win.vst, win.vw, out,
              {&_ImageWindowDef2_St::vst, &_ImageWindowDef2_St::vw, &_ImageWindowDef2_St::v_first,
               &_ImageWindowDef2_St::v_last});
}

// ------------------------------------------------------------------ ratios

void x518_manage::calc_scaling(_ImageWindowDef_st in, _ImageWindowDef_st out, _ScalingSt* s)
{
    if (!s)
        return;
    auto axis = [](i32 a, i32 b, i32& mode, i32& shrink, i32& zoom) {
        mode = shrink = zoom = 0;
        if (a <= 0 || b <= 0 || a == b)
            return;
        if (b < a) {
            mode = 1;
            shrink = ratio(b, a);
        } else {
            mode = 2;
            zoom = ratio(a, b);
        }
    };
    axis(in.hw, out.hw, s->h_mode, s->h_shrink, s->h_zoom);
    axis(in.vw, out.vw, s->v_mode, s->v_shrink, s->v_zoom);
}

// ------------------------------------------------------------------ stitch groups

int x518_manage::check_stitching_win(int* window, int* partner) const
{
    *partner = kNone;
    const int w = *window;
    if (!kelApi_IsWinValid(w))
        return 0;
    const i32* g = model.PM_WIN_STITCHING;
    auto lastFollower = [g](int lead) {
        int found = kNone;
        for (int i = 0; i < kWindows; ++i)
            if (i != lead && g[i] == lead)
                found = i;
        return found;
    };
    if (g[w] == w) {
        *partner = lastFollower(w);
        return *partner != kNone ? 1 : 0;
    }
    const int lead = g[w];
    if (!kelApi_IsWinValid(lead))
        return 0;
    *window = lead;
    *partner = lastFollower(lead);
    return g[lead] == lead && *partner != kNone ? 2 : 0;
}

void x518_manage::check_stitching_chg()
{
    for (int w = 0; w < kWindows; ++w) {
        if (model.win_pri_chg[w] || model.win_stitch_chg[w])
            model.win_chg[w] = 1;
        model.win_stitch_chg[w] = 0;
    }
}

void x518_manage::get_och(int window, int* och) const
{
    std::fill(och, och + kChannels, kNone);
    for (int c = 0; c < kChannels; ++c)
        if (model.PM_WIN_NUM[c] == window && model.PM_AREA_NUM[c] >= 0 && model.PM_AREA_NUM[c] < kChannels)
            och[model.PM_AREA_NUM[c]] = c;
}

// ------------------------------------------------------------------ margins

u32 x518_manage::kelApi_OchGetWinOffset1(const ST_WIN_INFO* info, int side) const
{
    if (side < LEFT || side > BOTTOM) {
        KEL_DBG("\t not found type:%d\r\n", side);
        return 0;
    }
    const i32 cw = pnl.och.width, ch = pnl.och.height;
    if ((side <= RIGHT ? cw : ch) == 0) {
        static const char* const kError[kSides] = {
            "\t !!!!!!!! po->width left Error", "\t !!!!!!!! po->width right Error", "\t !!!!!!!! po->height up Error",
            "\t !!!!!!!! po->height down Error"};
        KEL_DBG("%s%s%s\n", kBlink, kError[side], kPlain);
        return 0;
    }
    switch (side) {
    case LEFT: return u32(info->x % cw);
    case RIGHT: return u32(cw * info->h_cnt - (info->x % cw + info->w));
    case TOP: return u32(info->y % ch);
    default: return u32(ch * info->v_cnt - (info->y % ch + info->h));
    }
}

// The size of a port's picture: PI_ACT, a V-by-One port below state 4
// counting half the pixels of a line; 0 x 0 for no port.
void x518_manage::portSize(int port, i32& hw, i32& vw) const
{
    hw = vw = 0;
    if (!portValid(port))
        return;
    hw = ports.PI_ACT[port][HW];
    if (port > kLastCmosPort && ports.PI_STATE[port] < kVboFullWidthState)
        hw *= 2;
    vw = ports.PI_ACT[port][VW];
}

u32 x518_manage::kelApi_CropGetOffset(int port, const ST_RECT* r, int side) const
{
    i32 hw, vw;
    portSize(port, hw, vw);
    if (portValid(port))
        KEL_DBG("%s\t PI_ACT[%d](%d, %d, %d, %d), hw:%d\n%s", kBlue, port, ports.PI_ACT[port][HST],
                ports.PI_ACT[port][HW], ports.PI_ACT[port][VST], ports.PI_ACT[port][VW], hw, kPlain);
    if (hw == 0 || vw == 0) {
        KEL_DBG("\t no signal, return 0\n");
        return 0;
    }
    int64_t offset = 0;
    switch (side) {
    case LEFT: offset = r->x; break;
    case RIGHT: offset = int64_t(hw) - (int64_t(r->x) + r->w); break;
    case TOP: offset = r->y; break;
    case BOTTOM: offset = int64_t(vw) - (int64_t(r->y) + r->h); break;
    default: return 0;
    }
    if (offset < 0) {
        KEL_DBG("[kelApi_CropGetOffset] offset:%d < 0, reset to zeruo\n", int(offset));
        return 0;
    }
    return u32(offset);
}

// ------------------------------------------------------------------ crops

// A crop that runs past the right (bottom) edge of its input shows the
// input's whole width (height). Choosing a crop, a new format on its input
// and a new layout all measure the stored crop this way, so one crop gives
// one picture whatever programmed the window last.
void x518_manage::clampCrop(int port, ST_RECT& r) const
{
    i32 hw, vw;
    portSize(port, hw, vw);
    if (int64_t(r.x) + r.w > hw) {
        KEL_DBG("    x:%d + w:%d OOR, reset it to X518input\r\n", r.x, r.w);
        r.x = 0;
        r.w = hw;
    }
    if (int64_t(r.y) + r.h > vw) {
        KEL_DBG("    y:%d + h:%d OOR, reset it to X518input\r\n", r.y, r.h);
        r.y = 0;
        r.h = vw;
    }
}

void x518_manage::cropMargins(int port, ST_RECT r, i32* margins) const
{
    clampCrop(port, r);
    for (int k = 0; k < kSides; ++k)
        margins[k] = i32(kelApi_CropGetOffset(port, &r, k));
}

// The crop of chip window `w` against its input (win_info), without
// programming it.
void x518_manage::storeCrop(int w, bool enable, ST_RECT& r)
{
    const int port = int(kelApi_inputCvtX518(model.win_info[w].input));
    clampCrop(port, r);
    model.PM_INPUT_OFFSET_EN[w] = enable ? 1 : 0;
    for (int k = 0; k < kSides; ++k)
        model.PM_INPUT_OFFSET[w][k] = enable ? i32(kelApi_CropGetOffset(port, &r, k)) : 0;
}

void x518_manage::x518_SetCrop(char window, char enable, ST_RECT* r)
{
    const int w = window;
    if (!kelApi_IsWinValid(w) || !r) {
        KEL_DBG("  not found win:%d\r\n", w);
        return;
    }
    storeCrop(w, enable != 0, *r);
    // The window programming takes only flagged windows: without the mark
    // a crop of the input the window already shows would never reach the
    // chip. (A source change stores its crop with storeCrop instead and
    // lets the source setter program the window once.)
    model.win_chg[w] = 1;
    set_output(spi_fd);
}

void x518_manage::kelApi_updateCrop(int port)
{
    const KEL_RAM_PARA& b = block();
    for (int w = 0; w < kWindows && w < model.wincnt; ++w) {
        const int crop = model.win_info[w].crop;
        if (model.PM_INPUT[w] != port || !model.PM_INPUT_OFFSET_EN[w] || crop >= ram::kCrops)
            continue;
        const CROP_ITEM& c = b.crop_list[crop];
        cropMargins(port, ST_RECT{c.x, c.y, c.w, c.h}, model.PM_INPUT_OFFSET[w]);
    }
}
