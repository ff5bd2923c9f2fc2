#include "platform/sim/sim_x518_canvas.h"

#include "platform/sim/sim_x518.h"
#include "registers/x518_regs.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace platform::sim {
namespace {

using Registers = SimX518Flash::Registers;
using x518::u32;
using x518::u8;

constexpr int kOutputChannels = x518::kChannels;
constexpr uint32_t kStepMask = 0x7FFF;  // stripe and cell sizes; bit 15 is a flag
constexpr uint32_t kOpaque = 0xFF000000;

// Half-open rectangle.
struct Area {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
    Area clip(const Area& o) const
    {
        return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
    }
    Area moved(int dx, int dy) const { return {x0 + dx, y0 + dy, x1 + dx, y1 + dy}; }
};

// The registers, read as the chip reads them: little-endian over the width,
// channel k's copy 16 k banks on.
class Chip {
public:
    explicit Chip(const Registers& regs) : regs_(regs) {}

    int value(u32 spec, int channel = 0) const
    {
        const size_t bank = ((spec >> 16) + x518::kChannelStride * u32(channel)) & 0xFF;
        const u32 address = (spec >> 8) & 0xFF;
        u32 v = 0;
        for (u32 i = 0; i < (spec & 0xFF) && address + i < SimX518::kBankSize; ++i)
            v |= u32(regs_[bank][address + i]) << (8 * i);
        return int(v);
    }
    bool inUse(int channel) const
    {
        return (value(x518::kOchEnable + x518::kAddressStep * u32(channel)) & x518::kOchEnableOn) != 0;
    }

private:
    const Registers& regs_;
};

// Output pixels that show `read` source pixels at a zoom step (source pixels
// per output pixel, 16.16), the first one `phase` 256ths of a source pixel
// into the first pixel read.
int zoomed(int read, int step, int phase)
{
    if (read < 1)
        return 0;
    return int(((int64_t(read) - 1) * x518::kZoomUnit - int64_t(phase) * 256 + step / 2) / step) + 1;
}

// Where channel c's picture lies (`whole`) and the part of it that shows
// (`shown`, clipped to the channel's active window and its shown area), in
// the channel's own active pixels: 0, 0 is the first active pixel of the
// first active line.
struct Picture {
    Area whole;
    Area shown;
    Picture moved(int dx, int dy) const { return {whole.moved(dx, dy), shown.moved(dx, dy)}; }
};

Picture pictureOf(const Chip& chip, int c)
{
    const int hs = chip.value(x518::kOchActHst, c);
    const int vs = chip.value(x518::kOchActVst, c);
    const int hw = chip.value(x518::kOactHw, c);
    const int vw = chip.value(x518::kOactVw, c);
    Area a;
    a.x0 = chip.value(x518::kOactHst, c) - hs;
    a.y0 = chip.value(x518::kOactVst, c) - vs;
    int width = hw;
    int height = vw - 1;
    const int hstep = chip.value(x518::kOchHStep, c);
    const int vstep = chip.value(x518::kOchVStep, c);
    if (chip.value(x518::kOchHControl, c) == int(x518::kOchHControlZoom) && hstep > 0)
        width = zoomed(hw, hstep, chip.value(x518::kOchHPhase, c));
    if (chip.value(x518::kOchVZoom, c) == int(x518::kOchVZoomOn) && vstep > 0) {
        a.y0 += 1;  // the zoom filter's line above
        height = zoomed(vw - 2, vstep, chip.value(x518::kOchVPhase, c));
    }
    a.x1 = a.x0 + width;
    a.y1 = a.y0 + height;
    const Area active{0, 0, chip.value(x518::kOchActHend, c) - hs, chip.value(x518::kOchActVend, c) - vs};
    const Area shown{chip.value(x518::kOchAreaHst, c) - hs, chip.value(x518::kOchAreaVst, c) - vs,
                     chip.value(x518::kOchAreaHend, c) - hs, chip.value(x518::kOchAreaVend, c) - vs};
    return {a, a.clip(active).clip(shown)};
}

// The input port whose picture channel c reads: the input channel of its
// sync source (or of the channel it follows), through that channel's ICHSEL.
int portOf(const Chip& chip, int c)
{
    int v = chip.value(x518::kOsyct, c);
    if (v & int(x518::kOsyctFollow)) {
        const int lead = (v >> x518::kOsyctChannelShift) & int(x518::kOsyctChannelMask);
        if (lead >= kOutputChannels)
            return -1;
        v = chip.value(x518::kOsyct, lead);
        if (v & int(x518::kOsyctFollow))
            return -1;
    }
    const int ich = (v >> x518::kOsyctChannelShift) & int(x518::kOsyctChannelMask);
    if (ich >= x518::kChannels)
        return -1;
    const u32 code = u32(chip.value(x518::kIchSel + x518::kAddressStep * u32(ich)));
    if (code < x518::kIchSelVbo)
        return int(code / 2);
    if (code < x518::kIchSelVbo + x518::kVboReceivers * x518::kIchSelVboStep)
        return x518::kFirstVboPort + int((code - x518::kIchSelVbo) / x518::kIchSelVboStep);
    return -1;
}

uint32_t colourAt(const Chip& chip, u32 firstComponent, int c)
{
    return kOpaque | u32(chip.value(firstComponent, c)) << 16 |
           u32(chip.value(x518::regAt(firstComponent, 1), c)) << 8 | u32(chip.value(x518::regAt(firstComponent, 2), c));
}

uint32_t blend(uint32_t from, uint32_t to, int x, int span)
{
    if (span <= 1)
        return to;
    uint32_t out = kOpaque;
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = int((from >> shift) & 0xFF);
        const int b = int((to >> shift) & 0xFF);
        out |= u32(a + (b - a) * x / (span - 1)) << shift;
    }
    return out;
}

// The simulated generator's pictures, from the pattern type, the two sizes
// and the two colours; x and y count from the picture's first pixel.
class Pattern {
public:
    Pattern(const Chip& chip, int c, int width)
        : type_(u32(chip.value(x518::kPatternType, c))),
          s1_(std::max(1, chip.value(x518::kPatternS1, c) & int(kStepMask))),
          s2_(std::max(1, chip.value(x518::kPatternS2, c) & int(kStepMask))),
          first_(colourAt(chip, x518::kPatternC1, c)),
          second_(colourAt(chip, x518::kPatternD1, c)),
          width_(width)
    {
    }

    uint32_t at(int x, int y) const
    {
        switch (type_) {
        case x518::kPatternSolid: return first_;
        case x518::kPatternVStripes:
        case x518::kPatternVLines: return (x / s1_) % 2 ? second_ : first_;
        case x518::kPatternHStripes:
        case x518::kPatternHLines: return (y / s2_) % 2 ? second_ : first_;
        case x518::kPatternChecks: return (x / s1_ + y / s2_) % 2 ? second_ : first_;
        case x518::kPatternGrid: return (x % s1_ == 0 || y % s2_ == 0) ? first_ : second_;
        default: return blend(second_, first_, x, width_);
        }
    }

private:
    u32 type_;
    int s1_, s2_;
    uint32_t first_, second_;
    int width_;
};

// Paints channel c's picture where it shows on `out`.
void paint(Canvas& out, const Chip& chip, int c, const Picture& picture)
{
    const Area& shown = picture.shown;
    auto row = [&](int y) { return out.pixels.begin() + ptrdiff_t(y) * out.width; };
    uint32_t colour = 0;
    if (chip.value(x518::kBkgShow, c) & int(x518::kBkgShowOn))
        colour = kOpaque | u32(chip.value(x518::kBkgColour, c));
    else if (chip.value(x518::kPatternType, c) == 0)
        colour = portColour(portOf(chip, c));
    if (colour) {
        for (int y = shown.y0; y < shown.y1; ++y)
            std::fill(row(y) + shown.x0, row(y) + shown.x1, colour);
        return;
    }
    const Pattern pattern(chip, c, picture.whole.x1 - picture.whole.x0);
    for (int y = shown.y0; y < shown.y1; ++y)
        for (int x = shown.x0; x < shown.x1; ++x)
            row(y)[x] = pattern.at(x - picture.whole.x0, y - picture.whole.y0);
}

uint32_t canvasColour(uint32_t bbggrr)
{
    return kOpaque | (bbggrr & 0xFF) << 16 | (bbggrr & 0xFF00) | (bbggrr >> 16 & 0xFF);
}

// Tile t's part of the OSD window, in the tile's active pixels (hidden: empty).
Area osdWindowOf(const Chip& chip, int t)
{
    if ((u32(chip.value(x518::kOsdControl, t)) & x518::kOsdShowMask) == 0)
        return {};
    Area a;
    a.x0 = chip.value(x518::kOsdHStart, t) - x518::kOsdHStartShift - chip.value(x518::kOchActHst, t);
    a.y0 = chip.value(x518::kOsdVStart, t) - x518::kOsdVStartShift - chip.value(x518::kOchActVst, t);
    a.x1 = a.x0 + chip.value(x518::kOsdWidth, t);
    a.y1 = a.y0 + chip.value(x518::kOsdHeight, t);
    return a;
}

// Tile t's part of the OSD window where it shows (`window`, in the canvas's
// pixels and clipped to the tile; `full` unclipped): filled with the
// background colour, or framed where the plane is transparent or shows the
// bitmap. Each tile frames its own part.
void paintOsd(Canvas& out, const Chip& chip, int t, const Area& window, const Area& full, const OsdLook& osd)
{
    auto row = [&](int y) { return out.pixels.begin() + ptrdiff_t(y) * out.width; };
    const bool text = (u32(chip.value(x518::kOsdControl, t)) & x518::kOsdShowMask) == x518::kOsdShowText;
    if (text && !osd.transparent) {
        const uint32_t colour = canvasColour(osd.background);
        for (int y = window.y0; y < window.y1; ++y)
            std::fill(row(y) + window.x0, row(y) + window.x1, colour);
        return;
    }
    const uint32_t colour = text ? canvasColour(osd.characters) : kOsdBitmapFrame;
    for (int y = window.y0; y < window.y1; ++y)
        for (int x = window.x0; x < window.x1; ++x)
            if (y == full.y0 || y == full.y1 - 1 || x == full.x0 || x == full.x1 - 1)
                row(y)[x] = colour;
}

// The channels on mixer t's list, lowest layer first.
std::vector<int> layersOf(const Chip& chip, int t)
{
    std::vector<int> out;
    const u32 select = u32(chip.value(x518::kOverlaySelect, t));
    for (int i = 0; i < x518::kOverlayEntries; ++i) {
        const u32 entry = (select >> (4 * i)) & 0x0F;
        if (entry < x518::kOverlayEntry)
            break;
        out.push_back(int(entry - x518::kOverlayEntry));
    }
    return out;
}

}  // namespace

uint32_t portColour(int port)
{
    return port >= 0 && port < int(std::size(kPortColours)) ? kPortColours[port] : kNoPortColour;
}

Canvas drawCanvas(const Registers& regs, const CanvasLayout& layout, const OsdLook& osd)
{
    const Chip chip(regs);
    const int tileW = chip.value(x518::kOchActHend) - chip.value(x518::kOchActHst);
    const int tileH = chip.value(x518::kOchActVend) - chip.value(x518::kOchActVst);
    if (layout.across < 1 || layout.down < 1 || layout.across * layout.down > kOutputChannels || tileW < 1 ||
        tileH < 1)
        return {};
    const Area whole{0, 0, layout.across * tileW, layout.down * tileH};
    const Area cut = layout.width > 0 && layout.height > 0
                         ? Area{layout.x, layout.y, layout.x + layout.width, layout.y + layout.height}.clip(whole)
                         : whole;
    if (cut.empty() || int64_t(cut.x1 - cut.x0) * (cut.y1 - cut.y0) > kMaxCanvasPixels)
        return {};
    Canvas out;
    out.width = cut.x1 - cut.x0;
    out.height = cut.y1 - cut.y0;
    out.pixels.assign(size_t(out.width) * size_t(out.height), kCanvasBlack);
    for (int t = 0; t < layout.across * layout.down; ++t) {
        if (!chip.inUse(t))
            continue;
        // Tile t in the cut's pixels.
        const int ox = (t % layout.across) * tileW - cut.x0;
        const int oy = (t / layout.across) * tileH - cut.y0;
        const Area tile = Area{0, 0, tileW, tileH}.moved(ox, oy).clip({0, 0, out.width, out.height});
        const Area osdFull = osdWindowOf(chip, t).moved(ox, oy);
        const Area osdShown = osdFull.clip(tile);
        const bool osdBelow = (u32(chip.value(x518::kOsdControl, t)) & x518::kOsdBelowVideo) != 0;
        if (!osdShown.empty() && osdBelow)
            paintOsd(out, chip, t, osdShown, osdFull, osd);
        for (int c : layersOf(chip, t)) {
            if (!chip.inUse(c))
                continue;
            Picture picture = pictureOf(chip, c).moved(ox, oy);
            picture.shown = picture.shown.clip(tile);
            if (!picture.shown.empty())
                paint(out, chip, c, picture);
        }
        if (!osdShown.empty() && !osdBelow)
            paintOsd(out, chip, t, osdShown, osdFull, osd);
    }
    return out;
}

Canvas SimX518::canvas(const CanvasLayout& layout) const
{
    SimX518Flash::Registers snapshot;
    OsdLook osd;
    {
        Lock l(mutex_);
        snapshot = regs_;
        osd.background = osd_.colour(SimX518Osd::kBackgroundIndex);
        osd.characters = osd_.colour(SimX518Osd::kCharacterIndex);
        osd.transparent = osd_.planeTransparent();
    }
    return drawCanvas(snapshot, layout, osd);
}

}  // namespace platform::sim

namespace platform {

Canvas videoCanvas(const CanvasLayout& layout)
{
    auto chip = sim::deviceAs<sim::SimX518>(sim::SimX518::kDevicePath);
    return chip ? chip->canvas(layout) : Canvas();
}

}  // namespace platform
