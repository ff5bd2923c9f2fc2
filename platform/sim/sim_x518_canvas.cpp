#include "platform/sim/sim_x518_canvas.h"

#include "platform/sim/sim_x518.h"
#include "platform/sim/sim_x518_card.h"
#include "platform/sim/sim_x518_memory.h"
#include "registers/x518_regs.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <vector>

namespace platform::sim {
namespace {

using Registers = SimX518Flash::Registers;
using x518::u32;
using x518::u8;

constexpr int kOutputChannels = x518::kChannels;
constexpr uint32_t kStepMask = 0x7FFF;  // stripe and cell sizes; bit 15 is a flag
constexpr uint32_t kOpaque = 0xFF000000;
constexpr int kRingPhases = 4;  // buffers a running capture cycles through
constexpr u32 kRingEntryMask = 7;
constexpr int64_t kAddressMask = 0xFFFFFFFF;
constexpr int kCaptureLag = 7;      // a capture's first pixel comes this many after IACT HST
constexpr int kCaptureLineLag = 1;  // and its first line one after IACT VST
constexpr u32 kVControlLineOn = 5;  // the vertical control that starts reading a line on
constexpr u32 kIsyctFollowMask = 0xF8;
constexpr int kLayerCoefEntries = 4;  // list entries the weights of a mixer address at once
constexpr u32 kLayerWindowStep = 256;
constexpr int kLayerLastFour = 2;  // kLayerWindow / step: the last four entries
// A V-by-One receiver splits its lines into two halves from these on.
constexpr int kSplitLanes = 4;
constexpr uint32_t kSplitWidth = 2176;
constexpr double kSplitPixelClock = 324e6;

// Output pixels a zoom may make of one line or column: more than any
// channel's active window holds (16-bit registers), so never the bound of
// what shows, only of the arithmetic.
constexpr int64_t kMostZoomed = int64_t(1) << 24;

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

    int value(u32 spec, int channel = 0) const { return int(channelValue(regs_, spec, channel)); }
    const Registers& registers() const { return regs_; }
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
    const int64_t n = ((int64_t(read) - 1) * x518::kZoomUnit - int64_t(phase) * 256 + step / 2) / step + 1;
    return int(std::clamp<int64_t>(n, 0, kMostZoomed));
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
          first_(colourAt(chip, x518::kPatternC1, c)), second_(colourAt(chip, x518::kPatternD1, c)), width_(width)
    {}

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

// Bytes per pixel of a memory format, by its colour-control code.
struct PixelBytes {
    int64_t n = 4, d = 1;
    int64_t bytes(int64_t pixels) const { return pixels * n / d; }
    // The pixel whose bytes start at `offset` or the first after it.
    int64_t pixel(int64_t offset) const { return (offset * d + n - 1) / n; }
};
PixelBytes pixelBytes(u32 code)
{
    switch (code) {
    case 128: return {16, 5};
    case 1: return {8, 3};
    case 17: return {2, 1};
    default: return {4, 1};
    }
}

// The cards the picture needs, one per port and frame, each made once
// (a card is its layout and texts; its pixels are worked out as they are read).
class Cards {
public:
    explicit Cards(const CanvasInputs& in) : in_(in) {}
    const TestCard* get(int port, int64_t frame)
    {
        if (port < 0 || port >= kCanvasPorts || frame < 0 || !in_.ports[size_t(port)].plugged)
            return nullptr;
        const InputPicture& p = in_.ports[size_t(port)];
        if (p.width < 1 || p.height < 1)
            return nullptr;
        auto key = std::make_pair(port, in_.plain ? 0 : frame);
        auto it = cards_.find(key);
        if (it == cards_.end())
            it = cards_.try_emplace(key, port, p.width, p.height, p.rate, uint64_t(frame), in_.plain).first;
        return &it->second;
    }

private:
    const CanvasInputs& in_;
    std::map<std::pair<int, int64_t>, TestCard> cards_;
};

// What one input channel wrote into one buffer (its write area, in the
// memory format its colour control selects); which pixel and line of the
// card of port `port` at frame `frame` (none: -1) each written pixel and
// line shows.
struct Region {
    WriteArea area;
    PixelBytes px;
    int port = -1;
    int64_t frame = kNoFrame;
    // Written pixel x shows card pixel capturedOf(x, hRatio) + xFirst, line
    // y card line capturedOf(y, vRatio) + yFirst, when inside the card.
    int xFirst = 0, yFirst = 0, hRatio = 0, vRatio = 0;
    int cardWidth = 0, cardHeight = 0;
    int cardX(int64_t x) const;
    int cardY(int64_t y) const;
    const TestCard* card(Cards& cards) const
    {
        if (!looked) {
            card_ = cards.get(port, frame);
            looked = true;
        }
        return card_;
    }
    // When line `line` was written: the frame, and how far into it.
    double writtenAt(int64_t line) const { return double(frame) + (double(line) + 0.5) / double(area.lines); }

private:
    mutable const TestCard* card_ = nullptr;
    mutable bool looked = false;
};

// The port input channel `ich` reads and, for a V-by-One receiver, which
// half of the line its code names (0 the first, 1 the second; -1 for a
// parallel port); `dual` whether its pair's dual split is on.
int portOfInput(const Chip& chip, int ich, int& half, bool& dual)
{
    half = -1;
    dual = false;
    if (ich < 0 || ich >= x518::kChannels)
        return -1;
    const u32 code = u32(chip.value(x518::kIchSel + x518::kAddressStep * u32(ich)));
    if (code < x518::kIchSelVbo)
        return int(code / 2);
    if (code >= x518::kIchSelVbo + x518::kVboReceivers * x518::kIchSelVboStep)
        return -1;
    const u32 pair = x518::kDualPairStep * u32(ich / 2);
    dual = u32(chip.value(x518::kDualCtl + pair)) == x518::kDualOn;
    half = (code - x518::kIchSelVbo) % x518::kIchSelVboStep == 0 ? 0 : 1;
    return x518::kFirstVboPort + int((code - x518::kIchSelVbo) / x518::kIchSelVboStep);
}

// The channel whose input's frames input channel `ich` captures at: the
// one it follows (ISYCT 8 + c), else itself.
int syncChannelOf(const Chip& chip, int ich)
{
    const u32 sync = u32(chip.value(x518::kIsyct, ich));
    if ((sync & kIsyctFollowMask) == x518::kIsyctFollow && int(sync - x518::kIsyctFollow) < x518::kChannels)
        return int(sync - x518::kIsyctFollow);
    return ich;
}

// The captured pixel that written pixel `i` of a capture shrunk at `ratio`
// (16.16, 0 or kZoomUnit: not shrunk) shows.
int64_t capturedOf(int i, int ratio)
{
    return ratio > 0 && ratio < int(x518::kZoomUnit) ? ((int64_t(i) << 16) + ratio / 2) / ratio : i;
}

int Region::cardX(int64_t x) const
{
    if (x < 0 || x >= area.width)
        return -1;
    const int64_t c = capturedOf(int(x), hRatio) + int64_t(xFirst);
    return c >= 0 && c < cardWidth ? int(c) : -1;
}

int Region::cardY(int64_t y) const
{
    if (y < 0 || y >= area.lines)
        return -1;
    const int64_t c = capturedOf(int(y), vRatio) + int64_t(yFirst);
    return c >= 0 && c < cardHeight ? int(c) : -1;
}

Region regionOf(const Chip& chip, const CanvasInputs& in, int ich, int buffer)
{
    Region r;
    r.area = writeArea(chip.registers(), ich, buffer);
    r.px = pixelBytes(r.area.colourControl);
    const int hst = chip.value(x518::kIactHst, ich), vst = chip.value(x518::kIactVst, ich);
    const int hRatio =
        u32(chip.value(x518::kShrinkHControl, ich)) == x518::kShrinkHOn ? chip.value(x518::kShrinkHRatio, ich) : 0;
    const int vRatio =
        u32(chip.value(x518::kShrinkVControl, ich)) == x518::kShrinkVOn ? chip.value(x518::kShrinkVRatio, ich) : 0;
    if (r.area.step <= 0 || !r.area.writes())
        return r;
    int half = -1;
    bool dual = false;
    const int port = portOfInput(chip, ich, half, dual);
    if (port < 0 || port >= kCanvasPorts)
        return r;
    const InputPicture& p = in.ports[size_t(port)];
    r.frame = bufferFrame(chip.registers(), in.clock, ich, buffer);
    if (!p.plugged || r.frame == kNoFrame)
        return r;
    // A channel that follows another captures at the frames of that one's
    // input: nothing while it has no signal.
    if (const int lead = syncChannelOf(chip, ich); lead != ich) {
        int leadHalf = -1;
        bool leadDual = false;
        const int leadPort = portOfInput(chip, lead, leadHalf, leadDual);
        if (leadPort < 0 || leadPort >= kCanvasPorts || !in.ports[size_t(leadPort)].plugged)
            return r;
    }
    // Pixel s of the line the channel sees is card pixel s - first: the
    // whole line, or one half of it from the split's start. A receiver that
    // splits its lines gives each half on its own code, counted in half
    // pixels from the active start; with the pair's dual split on, the
    // split's start and width say where the halves lie.
    int first = p.hstart, halfOffset = 0;
    if (half >= 0 && dual) {
        const u32 pair = x518::kDualPairStep * u32(ich / 2);
        first = chip.value(x518::kDualHst + pair);
        halfOffset = half * chip.value(x518::kDualHw + pair) / 2;
    } else if (half >= 0 && p.splitLines) {
        first = p.hstart / 2;
        halfOffset = half * p.width / 2;
    } else if (half > 0) {
        return r;  // a receiver that does not split has no second half
    }
    r.port = port;
    r.xFirst = hst + kCaptureLag - first + halfOffset;
    r.yFirst = vst - kCaptureLineLag - p.vstart;
    r.hRatio = hRatio;
    r.vRatio = vRatio;
    r.cardWidth = p.width;
    r.cardHeight = p.height;
    return r;
}

// The input channel whose frames output channel c reads: OSYCT's, or that
// of the channel it follows; -1 when none.
int leadInputOf(const Chip& chip, int c)
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
    return ich < x518::kChannels ? ich : -1;
}

// One layer: a channel's picture where it shows, in the canvas's pixels.
struct Layer {
    Area shown;
    std::vector<uint32_t> px;
    bool covers(int x, int y) const { return x >= shown.x0 && x < shown.x1 && y >= shown.y0 && y < shown.y1; }
    uint32_t at(int x, int y) const
    {
        return px[size_t(y - shown.y0) * size_t(shown.x1 - shown.x0) + size_t(x - shown.x0)];
    }
};

// Where output channel c reads frame memory: the first byte of its first
// line and the step between lines; none while it follows no capture or
// reads a buffer the chip does not have.
struct MemoryRead {
    bool reads = false;
    int64_t start = 0;
    int64_t lineStep = 0;
    PixelBytes px;
};

MemoryRead memoryReadOf(const Chip& chip, const CanvasInputs& in, int c)
{
    MemoryRead m;
    const int lead = leadInputOf(chip, c);
    if (lead < 0)
        return m;
    const int64_t frame = captureFrame(chip.registers(), in.clock, lead);
    const u32 ring = u32(chip.value(x518::kReadRing, c));
    const int buffer =
        int((ring >> (x518::kRingFieldBits * u32(std::max<int64_t>(frame, 0) % kRingPhases))) & kRingEntryMask);
    if (buffer >= kFrameBuffers)
        return m;
    m.reads = true;
    m.lineStep = int64_t(int8_t(chip.value(x518::kOmwi, c))) * kMemoryUnit;
    // Vertical control 5 reads from the line after the one OSFLD names.
    m.start = u32(chip.value(x518::regAt(x518::kOsfld, x518::kFieldAddressStep * u32(buffer)), c)) +
              (u32(chip.value(x518::kOchVControl, c)) == kVControlLineOn ? m.lineStep : 0);
    m.px = pixelBytes(u32(chip.value(x518::kOscwct + x518::kAddressStep * u32(c))));
    return m;
}

// The memory an output channel may land in: what every input channel wrote
// into each buffer.
std::vector<Region> regionsWritten(const Chip& chip, const CanvasInputs& in)
{
    std::vector<Region> regions;
    for (int ich = 0; ich < x518::kChannels; ++ich) {
        for (int b = 0; b < kFrameBuffers; ++b) {
            Region r = regionOf(chip, in, ich, b);
            if (r.port >= 0)
                regions.push_back(std::move(r));
        }
    }
    return regions;
}

// An output pixel or line's source pixel or line: zoomed from `phase` by
// `step` (16.16), within `size`.
int zoomSource(int i, bool zoom, int phase, int step, int size)
{
    const int64_t s = zoom ? (int64_t(phase) * 256 + int64_t(i) * step) >> 16 : i;
    return int(std::clamp<int64_t>(s, 0, std::max(size - 1, 0)));
}

// The byte, from a line's start, that each shown column of output channel
// c reads. The columns run one way (left to right, or right to left
// mirrored), so the columns that read a run of bytes are found by
// bisection.
class ColumnBytes {
public:
    ColumnBytes(const Chip& chip, int c, const Picture& picture, const PixelBytes& px)
    {
        const int hw = chip.value(x518::kOactHw, c);
        const bool zoom =
            chip.value(x518::kOchHControl, c) == int(x518::kOchHControlZoom) && chip.value(x518::kOchHStep, c) > 0;
        const bool mirror = chip.value(x518::kOchMirrorH, c) != 0;
        const int phase = chip.value(x518::kOchHPhase, c), step = chip.value(x518::kOchHStep, c);
        const Area& shown = picture.shown;
        bytes_.resize(size_t(std::max(shown.x1 - shown.x0, 0)));
        for (size_t i = 0; i < bytes_.size(); ++i) {
            int s = zoomSource(shown.x0 + int(i) - picture.whole.x0, zoom, phase, step, hw);
            if (mirror)
                s = hw - 1 - s;
            bytes_[i] = px.bytes(s);
        }
    }
    int count() const { return int(bytes_.size()); }
    int64_t at(int i) const { return bytes_[size_t(i)]; }
    int64_t lowest() const { return std::min(bytes_.front(), bytes_.back()); }
    int64_t highest() const { return std::max(bytes_.front(), bytes_.back()); }
    // The columns [first, last) that read a byte of [from, to).
    void reading(int64_t from, int64_t to, int& first, int& last) const
    {
        if (bytes_.front() <= bytes_.back()) {
            first = int(std::lower_bound(bytes_.begin(), bytes_.end(), from) - bytes_.begin());
            last = int(std::lower_bound(bytes_.begin(), bytes_.end(), to) - bytes_.begin());
        } else {
            first = int(bytes_.rend() - std::lower_bound(bytes_.rbegin(), bytes_.rend(), to));
            last = int(bytes_.rend() - std::lower_bound(bytes_.rbegin(), bytes_.rend(), from));
        }
    }

private:
    std::vector<int64_t> bytes_;
};

// Which region's line a column reads, and when that line was written.
struct Writer {
    const Region* r = nullptr;
    int64_t line = 0;
    double at = 0;
};

// The writer of each column of the memory row that starts at `row`. Where
// two wrote the same bytes the later writer's show, as on a chip: the newer
// frame, or within one frame the line written later in it (of one capture,
// the last line that starts at or before the byte). False when no column
// reads a written byte.
bool latestWriters(int64_t row, const std::vector<Region>& regions, const ColumnBytes& columns,
                   std::vector<Writer>& writers)
{
    std::fill(writers.begin(), writers.end(), Writer{});
    bool any = false;
    const int64_t from = row + columns.lowest(), to = row + columns.highest() + 1;
    for (const Region& r : regions) {
        const WriteArea& a = r.area;
        if (a.end() <= from || to <= a.start)
            continue;
        for (int i = 0; i < columns.count(); ++i) {
            const int64_t b = row + columns.at(i) - a.start;
            if (b < 0)
                continue;
            const int64_t k = std::min<int64_t>(b / a.step, a.lines - 1);
            if (b - k * a.step >= a.lineBytes)
                continue;
            const double at = r.writtenAt(k);
            Writer& wr = writers[size_t(i)];
            if (!wr.r || at >= wr.at)
                wr = {&r, k, at};
            any = true;
        }
    }
    return any;
}

// The card pixel each column's writer put where it reads, into `out`.
void paintRow(uint32_t* out, int64_t row, const std::vector<Writer>& writers, const ColumnBytes& columns, Cards& cards)
{
    for (int i = 0; i < columns.count(); ++i) {
        const Writer& wr = writers[size_t(i)];
        if (!wr.r)
            continue;
        const Region& r = *wr.r;
        const int64_t a = row + columns.at(i) - (r.area.start + wr.line * r.area.step);
        if (a < 0)
            continue;
        const int x = r.cardX(std::min<int64_t>(r.px.pixel(a), r.area.width - 1));
        const int y = r.cardY(wr.line);
        const TestCard* card = x >= 0 && y >= 0 ? r.card(cards) : nullptr;
        if (card && x < card->width() && y < card->height())
            out[i] = card->at(x, y);
    }
}

// What output channel c reads from frame memory, zoomed and placed, into
// `layer` (whose area is `picture.shown`).
void readMemory(Layer& layer, const Chip& chip, const CanvasInputs& in, const std::vector<Region>& regions,
                Cards& cards, int c, const Picture& picture)
{
    const MemoryRead m = memoryReadOf(chip, in, c);
    const Area& shown = picture.shown;
    if (!m.reads || shown.x1 <= shown.x0 || regions.empty())
        return;
    const ColumnBytes columns(chip, c, picture, m.px);
    const int vw = chip.value(x518::kOactVw, c);
    const bool vZoom = chip.value(x518::kOchVZoom, c) == int(x518::kOchVZoomOn) && chip.value(x518::kOchVStep, c) > 0;
    const int readLines = vZoom ? vw - 2 : vw - 1;
    std::vector<Writer> writers(size_t(columns.count()));
    for (int y = shown.y0; y < shown.y1; ++y) {
        const int t = zoomSource(y - picture.whole.y0, vZoom, chip.value(x518::kOchVPhase, c),
                                 chip.value(x518::kOchVStep, c), readLines);
        // Addresses wrap round at 32 bits.
        const int64_t row = (m.start + int64_t(t) * m.lineStep) & kAddressMask;
        if (latestWriters(row, regions, columns, writers))
            paintRow(layer.px.data() + size_t(y - shown.y0) * size_t(columns.count()), row, writers, columns, cards);
    }
}

// Channel c's picture where it shows.
Layer layerOf(const Chip& chip, const CanvasInputs& in, const std::vector<Region>& regions, Cards& cards, int c,
              const Picture& picture)
{
    Layer layer;
    layer.shown = picture.shown;
    const Area& shown = picture.shown;
    const size_t w = size_t(shown.x1 - shown.x0);
    layer.px.assign(w * size_t(std::max(shown.y1 - shown.y0, 0)), kCanvasBlack);
    if (shown.empty())
        return layer;
    if (chip.value(x518::kBkgShow, c) & int(x518::kBkgShowOn)) {
        std::fill(layer.px.begin(), layer.px.end(), kOpaque | u32(chip.value(x518::kBkgColour, c)));
    } else if (chip.value(x518::kPatternType, c) != 0) {
        const Pattern pattern(chip, c, picture.whole.x1 - picture.whole.x0);
        for (int y = shown.y0; y < shown.y1; ++y)
            for (int x = shown.x0; x < shown.x1; ++x)
                layer.px[size_t(y - shown.y0) * w + size_t(x - shown.x0)] =
                    pattern.at(x - picture.whole.x0, y - picture.whole.y0);
    } else {
        readMemory(layer, chip, in, regions, cards, c, picture);
    }
    return layer;
}

// Rows [y0, y1) of the canvas being drawn, each `width` pixels.
struct Band {
    uint32_t* px = nullptr;
    int width = 0;
    int y0 = 0, y1 = 0;
    uint32_t* row(int y) const { return px + ptrdiff_t(y - y0) * width; }
    Area area() const { return {0, y0, width, y1}; }
};

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
// pixels and clipped to the tile and the band; `full` unclipped): filled with
// the background colour, or framed where the plane is transparent or shows
// the bitmap. Each tile frames its own part.
void paintOsd(const Band& out, const Chip& chip, int t, const Area& window, const Area& full, const OsdLook& osd)
{
    auto row = [&](int y) { return out.row(y); };
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

// The weights of mixer t: weight of input j (0 the background, 1-4 the
// list entries the weights address) under each combination of those
// entries present; and the first entry they address.
struct Weights {
    int first = 0;
    int w[x518::kLayerMasks][x518::kLayerInputs] = {};
};
Weights weightsOf(const Chip& chip, int t, int entries)
{
    Weights out;
    const u32 window = u32(chip.value(x518::kLayerWindow, t)) / kLayerWindowStep;
    out.first = window >= u32(kLayerLastFour) ? std::max(0, entries - kLayerCoefEntries) : int(window);
    for (int k = 0; k < x518::kLayerMasks; ++k)
        for (int j = 0; j < x518::kLayerInputs; ++j)
            out.w[k][j] = chip.value(x518::regAt(x518::kLayerCoef, u32(x518::kLayerInputs * k + j)), t);
    return out;
}

uint32_t weighted(const uint32_t* colours, const int* weights, int n)
{
    uint32_t out = kOpaque;
    for (int shift = 0; shift < 24; shift += 8) {
        int sum = 0;
        for (int j = 0; j < n; ++j)
            sum += int((colours[j] >> shift) & 0xFF) * weights[j];
        out |= u32(std::min(sum / int(x518::kLayerFull), 0xFF)) << shift;
    }
    return out;
}

// Tile `tile`'s layers on `out` (the tile and the layers clipped to the
// band): opaque, each over those below, or blended by the mixer's weights.
void mixLayers(const Band& out, const Area& tile, const std::vector<Layer>& layers, const Weights* weights)
{
    auto row = [&](int y) { return out.row(y); };
    const int n = int(layers.size());
    const int first = weights ? std::min(weights->first, n) : n;
    const int last = weights ? std::min(first + kLayerCoefEntries, n) : n;
    for (int i = 0; i < first; ++i)
        for (int y = layers[size_t(i)].shown.y0; y < layers[size_t(i)].shown.y1; ++y)
            for (int x = layers[size_t(i)].shown.x0; x < layers[size_t(i)].shown.x1; ++x)
                row(y)[x] = layers[size_t(i)].at(x, y);
    if (weights && first < last) {
        for (int y = tile.y0; y < tile.y1; ++y)
            for (int x = tile.x0; x < tile.x1; ++x) {
                uint32_t colours[x518::kLayerInputs] = {row(y)[x]};
                int mask = 0;
                for (int q = 0; q < last - first; ++q)
                    if (layers[size_t(first + q)].covers(x, y)) {
                        mask |= 1 << q;
                        colours[q + 1] = layers[size_t(first + q)].at(x, y);
                    }
                row(y)[x] = weighted(colours, weights->w[mask], x518::kLayerInputs);
            }
    }
    for (int i = last; i < n; ++i)
        for (int y = layers[size_t(i)].shown.y0; y < layers[size_t(i)].shown.y1; ++y)
            for (int x = layers[size_t(i)].shown.x0; x < layers[size_t(i)].shown.x1; ++x)
                row(y)[x] = layers[size_t(i)].at(x, y);
}

}  // namespace

int64_t captureFrame(const Registers& regs, const CaptureClock& clock, int channel)
{
    const Chip chip(regs);
    if (channel < 0 || channel >= x518::kChannels)
        return int64_t(clock.frame);
    channel = syncChannelOf(chip, channel);
    if (u32(chip.value(x518::kIsyct, channel)) == x518::kIsyctHold && clock.heldAt[size_t(channel)] != kNoFrame)
        return clock.heldAt[size_t(channel)];
    return int64_t(clock.frame);
}

int64_t bufferFrame(const Registers& regs, const CaptureClock& clock, int channel, int buffer)
{
    if (channel < 0 || channel >= x518::kChannels || buffer < 0 || buffer >= kFrameBuffers)
        return kNoFrame;
    const Chip chip(regs);
    // Frame f goes to ring entry f % 4 while it runs and is there whole
    // once the next one starts.
    const int64_t done = captureFrame(regs, clock, channel) - 1;
    const u32 ring = u32(chip.value(x518::kWriteRing, channel));
    int64_t frame = kNoFrame;
    bool onRing = false;
    for (int e = 0; e < kRingPhases; ++e) {
        if (((ring >> (x518::kRingFieldBits * u32(e))) & kRingEntryMask) != u32(buffer))
            continue;
        onRing = true;
        if (done >= e)
            frame = std::max(frame, done - (done - e) % kRingPhases);
    }
    if (!onRing || frame == kNoFrame)
        return std::max(frame, clock.kept[size_t(channel)][size_t(buffer)]);
    return frame;
}

uint32_t portColour(int port)
{
    return port >= 0 && port < int(std::size(kPortColours)) ? kPortColours[port] : kNoPortColour;
}

namespace {

// The canvas the registers describe, drawn a band of rows at a time: what
// a band needs (the layers of its tiles) is made for that band alone.
class CanvasPainter {
public:
    CanvasPainter(const Registers& regs, const CanvasLayout& layout, const OsdLook& osd, const CanvasInputs& inputs)
        : chip_(regs), layout_(layout), osd_(osd), in_(inputs), cards_(inputs)
    {
        tileW_ = chip_.value(x518::kOchActHend) - chip_.value(x518::kOchActHst);
        tileH_ = chip_.value(x518::kOchActVend) - chip_.value(x518::kOchActVst);
        // The tile counts come from the block a PC writes (two 16-bit
        // fields): their product is compared without being formed, as it
        // may not fit an int.
        if (layout.across < 1 || layout.down < 1 || layout.across > kOutputChannels / layout.down || tileW_ < 1 ||
            tileH_ < 1)
            return;
        const Area whole{0, 0, layout.across * tileW_, layout.down * tileH_};
        cut_ = layout.width > 0 && layout.height > 0
                   ? Area{layout.x, layout.y, layout.x + layout.width, layout.y + layout.height}.clip(whole)
                   : whole;
        if (cut_.empty() || int64_t(cut_.x1 - cut_.x0) * (cut_.y1 - cut_.y0) > kMaxCanvasPixels) {
            cut_ = {};
            return;
        }
        regions_ = regionsWritten(chip_, in_);
    }
    bool empty() const { return cut_.empty(); }
    int width() const { return cut_.x1 - cut_.x0; }
    int height() const { return cut_.y1 - cut_.y0; }

    // The band's rows of the canvas.
    void paint(const Band& band)
    {
        std::fill(band.px, band.px + ptrdiff_t(band.width) * (band.y1 - band.y0), kCanvasBlack);
        for (int t = 0; t < layout_.across * layout_.down; ++t)
            if (chip_.inUse(t))
                paintTile(band, t);
    }

private:
    void paintTile(const Band& band, int t)
    {
        // Tile t in the cut's pixels, and its part in the band.
        const int ox = (t % layout_.across) * tileW_ - cut_.x0;
        const int oy = (t / layout_.across) * tileH_ - cut_.y0;
        const Area tile = Area{0, 0, tileW_, tileH_}.moved(ox, oy).clip(band.area());
        if (tile.empty())
            return;
        const Area osdFull = osdWindowOf(chip_, t).moved(ox, oy);
        const Area osdShown = osdFull.clip(tile);
        const bool osdBelow = (u32(chip_.value(x518::kOsdControl, t)) & x518::kOsdBelowVideo) != 0;
        if (!osdShown.empty() && osdBelow)
            paintOsd(band, chip_, t, osdShown, osdFull, osd_);
        const std::vector<int> list = layersOf(chip_, t);
        std::vector<Layer> layers;
        for (int c : list) {
            Picture picture = pictureOf(chip_, c).moved(ox, oy);
            picture.shown = picture.shown.clip(tile);
            if (!chip_.inUse(c) || picture.shown.empty())
                picture.shown = {};
            layers.push_back(layerOf(chip_, in_, regions_, cards_, c, picture));
        }
        const bool blends = t < x518::kBlendMixers;
        const Weights weights = blends ? weightsOf(chip_, t, int(list.size())) : Weights();
        mixLayers(band, tile, layers, blends ? &weights : nullptr);
        if (!osdShown.empty() && !osdBelow)
            paintOsd(band, chip_, t, osdShown, osdFull, osd_);
    }

    const Chip chip_;
    const CanvasLayout layout_;
    const OsdLook osd_;
    const CanvasInputs& in_;
    int tileW_ = 0, tileH_ = 0;
    Area cut_;
    Cards cards_;
    std::vector<Region> regions_;
};

}  // namespace

// A band into the whole picture, made at the first band.
bool addBand(Canvas& out, const CanvasBand& band)
{
    if (out.pixels.empty()) {
        out.width = band.width;
        out.height = band.height;
        out.pixels.resize(size_t(band.width) * size_t(band.height));
    }
    std::copy(band.pixels, band.pixels + ptrdiff_t(band.width) * band.rows,
              out.pixels.begin() + ptrdiff_t(band.y) * band.width);
    return true;
}

bool drawCanvasBands(const Registers& regs, const CanvasLayout& layout, const OsdLook& osd, const CanvasInputs& inputs,
                     const std::function<bool(const CanvasBand&)>& take)
{
    CanvasPainter painter(regs, layout, osd, inputs);
    if (painter.empty())
        return false;
    const int width = painter.width(), height = painter.height();
    const int rows = std::clamp(int(kCanvasBandPixels / width), 1, height);
    std::vector<uint32_t> pixels(size_t(width) * size_t(rows));
    for (int y = 0; y < height; y += rows) {
        const Band band{pixels.data(), width, y, std::min(y + rows, height)};
        painter.paint(band);
        if (!take({width, height, band.y0, band.y1 - band.y0, pixels.data()}))
            return false;
    }
    return true;
}

Canvas drawCanvas(const Registers& regs, const CanvasLayout& layout, const OsdLook& osd, const CanvasInputs& inputs)
{
    Canvas out;
    drawCanvasBands(regs, layout, osd, inputs, [&out](const CanvasBand& band) { return addBand(out, band); });
    return out;
}

CanvasInputs SimX518::inputsNow() const
{
    CanvasInputs in;
    for (int p = 0; p < kPorts; ++p) {
        const PortTiming& t = ports_[size_t(p)];
        InputPicture& pic = in.ports[size_t(p)];
        pic.plugged = plugged_[size_t(p)] && t.hactive > 0 && t.vactive > 0 && (p < kFirstVboPort || t.locked);
        pic.width = int(t.hactive);
        pic.height = int(t.vactive);
        pic.hstart = int(t.hstart);
        pic.vstart = int(t.vstart);
        pic.rate = t.frameRate;
        // Split as the receiver does with 4 lanes or more, more than 2176
        // pixels a line or a pixel clock above 324 MHz.
        pic.splitLines = p >= kFirstVboPort && (t.lanes >= kSplitLanes || t.hactive > kSplitWidth ||
                                                double(t.htotal) * t.vtotal * t.frameRate > kSplitPixelClock);
    }
    in.clock.frame = frameCount();
    in.clock.heldAt = heldAt_;
    in.clock.kept = kept_;
    in.plain = plainInputs_;
    return in;
}

void SimX518::beforeWrite(uint8_t address, uint8_t value)
{
    // The capture sync and the write ring of input channel c, in banks
    // 10 + 16c and 16 + 16c.
    auto channelOf = [this](uint32_t word, uint8_t at) {
        const int offset = int(bank_) - int(word >> 16);
        const bool hit = at == ((word >> 8) & 0xFF) && offset >= 0 && offset % int(x518::kChannelStride) == 0;
        const int c = offset / int(x518::kChannelStride);
        return hit && c < kCanvasChannels ? c : -1;
    };
    if (const int c = channelOf(x518::kIsyct, address); c >= 0) {
        const bool held = regs_[bank_][address] == x518::kIsyctHold;
        if (value == x518::kIsyctHold && !held)
            heldAt_[size_t(c)] = int64_t(frameCount());
        else if (value != x518::kIsyctHold)
            heldAt_[size_t(c)] = kNoFrame;
        return;
    }
    const uint8_t first = (x518::kWriteRing >> 8) & 0xFF;
    if (address < first || address >= first + (x518::kWriteRing & 0xFF))
        return;
    if (const int c = channelOf(x518::kWriteRing, first); c >= 0) {
        // The buffers leaving the ring keep the frame they hold.
        const CaptureClock clock = inputsNow().clock;
        for (int b = 0; b < kFrameBuffers; ++b)
            kept_[size_t(c)][size_t(b)] = bufferFrame(regs_, clock, c, b);
    }
}

void SimX518::setPlainInputs(bool on)
{
    Lock l(mutex_);
    plainInputs_ = on;
}

bool SimX518::canvasBands(const CanvasLayout& layout, const std::function<bool(const CanvasBand&)>& take) const
{
    SimX518Flash::Registers snapshot;
    OsdLook osd;
    CanvasInputs inputs;
    {
        Lock l(mutex_);
        snapshot = regs_;
        osd.background = osd_.colour(SimX518Osd::kBackgroundIndex);
        osd.characters = osd_.colour(SimX518Osd::kCharacterIndex);
        osd.transparent = osd_.planeTransparent();
        inputs = inputsNow();
    }
    return drawCanvasBands(snapshot, layout, osd, inputs, take);
}

Canvas SimX518::canvas(const CanvasLayout& layout) const
{
    Canvas out;
    canvasBands(layout, [&out](const CanvasBand& band) { return addBand(out, band); });
    return out;
}

}  // namespace platform::sim

namespace platform {

Canvas videoCanvas(const CanvasLayout& layout)
{
    auto chip = sim::deviceAs<sim::SimX518>(sim::SimX518::kDevicePath);
    return chip ? chip->canvas(layout) : Canvas();
}

bool videoCanvasBands(const CanvasLayout& layout, const std::function<bool(const CanvasBand&)>& take)
{
    auto chip = sim::deviceAs<sim::SimX518>(sim::SimX518::kDevicePath);
    return chip && chip->canvasBands(layout, take);
}

}  // namespace platform
