// A seeded random walk through what a PC and the control pipe do to the
// windows of a running chip: block writes of one to three windows (shown,
// sources and crops, places, dot-by-dot arrangements, freezes, layers; now
// and then the canvas or a crop record), inputs plugged at another
// resolution or pulled, chip restarts, and round trips through the
// whole-canvas fallback (a canvas too small for the windows, a window moved
// past its edge). After every step register 45 is the documented hand-out of
// the input channels and the dot-by-dot memory (one write one hand-out: the
// windows that keep what they hold, those that ask for more, those new,
// those waiting, each group in window order, each window served from what
// the windows before it left; a restart keeps who waits; the fallback keeps
// who waits, and the windows take up again from where they stood when it
// began); every window shown shows its input's card where it is on top
// (black while it waits or has no signal), black outside the windows; the
// fallback shows what the first window shown (or window 0) is set to show
// over the canvas; a frozen window stays held however the fallback ends and
// keeps its frame unless it or its inputs changed or the box moved its
// capture or its memory; no two captures share memory. Dot-by-dot windows
// take every arrangement, 0-9, and now and then the own source of a window
// of several inputs loses its signal: such a window, frozen, keeps its frame
// unless an input it shows changed. The build runs seed 51 for 40 steps
// (tests/support/random_walk.h).
#include "tests/support/canvas_probe.h"
#include "tests/support/random_walk.h"
#include "tests/videochip/chip_test.h"

#include "platform/sim/sim_x518_canvas.h"
#include "platform/sim/sim_x518_memory.h"
#include "registers/x518_regs.h"

#include <climits>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using canvasprobe::Box;

namespace {

constexpr int kWindows = 6, kSources = 4, kCrops = 4, kBudget = 8, kBlocks = 6, kHdmi3 = 3, kGrid = 8;
constexpr int kPortOfSource[kSources] = {2, 1, 0, 5};  // DVI, HDMI1, HDMI2, HDMI3
constexpr uint32_t kBlack = platform::sim::kCanvasBlack;
struct Timing {
    int w, h, rate;
    const char* name;
};
constexpr Timing kTimings[] = {
    {1920, 1080, 60, "1920x1080@60"}, {1280, 720, 60, "1280x720@60"}, {3840, 2160, 30, "3840x2160@30"}};
constexpr int kCanvasWidths[] = {1920, 2560, 3840};  // 16:9
// Crop records 0-3 as the walk starts: source and rectangle as a 1080p
// input has them.
constexpr CROP_ITEM kCropList[kCrops] = {
    {ram::kCropInUse | ram::kSourceHdmi1, 0, 0, 960, 540},
    {ram::kCropInUse | ram::kSourceHdmi2, 480, 270, 960, 540},
    {ram::kCropInUse | ram::kSourceDvi, 1600, 900, 480, 270},
    {ram::kCropInUse | ram::kSourceHdmi3, 320, 180, 1280, 720},
};
// An input channel's memory column holds a line of 2560 pixels: a
// dot-by-dot window shows one input by itself in memory blocks when its
// frame is wider or taller than its channels hold (docs/parameter-block.md).
constexpr int kColumnPixels = 2560, kOwnFrameHeight = 2176;
// Dot-by-dot arrangements 1-9 (a window's `dbd_mode`): the input channels
// and memory blocks they take and the sources they show, the first at the
// top-left, 1:1 (the fourth port and the second V-by-One port, which no
// input reaches, are not among them; nor the window's own source).
struct Arrangement {
    int cost;
    std::vector<int> sources;
    int blocks = 0;
};
const std::vector<int> kTwo = {ram::kSourceHdmi2, ram::kSourceHdmi1}, kDvi = {ram::kSourceDvi},
                       kThree = {ram::kSourceHdmi2, ram::kSourceHdmi1, ram::kSourceDvi};
const std::vector<int> kVbo = {kHdmi3};
const Arrangement kArrangements[] = {{0, {}},        {2, kTwo, 2},   {2, kTwo, 2},   {2, kDvi, 2}, {2, kDvi, 2},
                                     {3, kThree, 3}, {4, kThree, 4}, {4, kThree, 4}, {4, kVbo, 4}, {4, kVbo, 4}};
constexpr int kArrangementCount = int(std::size(kArrangements));

bool inside(Box b, int x, int y)
{
    return x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h;
}
Box boxOf(const IMAGE_PARA& im)
{
    return {im.x, im.y, im.w, im.h};
}
bool dotByDot(const IMAGE_PARA& im)
{
    return (im.flags & ram::kFlagDotByDot) != 0;
}
int sourceOf(const KEL_RAM_PARA& b, const IMAGE_PARA& im)
{
    return (im.source & ram::kSourceIsCrop) ? b.crop_list[im.source & ram::kSourceLowMask].key & 0x07 : im.source;
}
// The windows fall back to one over the canvas: none shown, or one past the
// output channels (with splice mode 0 twice the canvas across, once down).
bool fallsBack(const KEL_RAM_PARA& b)
{
    bool any = false;
    for (const IMAGE_PARA& im : b.image) {
        if (!im.enable)
            continue;
        any = true;
        if (im.x + im.w > 2 * b.led_width || im.y + im.h > b.led_height)
            return true;
    }
    return !any;
}
// The window the fallback shows over the canvas.
int fallbackWindow(const KEL_RAM_PARA& b)
{
    for (int w = 0; w < kWindows; ++w)
        if (b.image[w].enable)
            return w;
    return 0;
}

// The first point of a grid over `at` (every `step`, `from` in) where `bad`
// holds, as "x,y"; empty when there is none.
template <class F>
std::string firstBad(Box at, int step, int from, F bad)
{
    for (int y = at.y + from; y < at.y + at.h; y += step)
        for (int x = at.x + from; x < at.x + at.w; x += step)
            if (bad(x, y))
                return std::to_string(x) + "," + std::to_string(y);
    return {};
}

// Input pixels a window pixel may lie off its exact proportion when `from`
// input pixels are shrunk to `to`: the input channel shrinks from its start
// phase, so a point may land one window pixel away, that many input pixels.
int shrunk(int from, int to)
{
    return from > to ? (from + to - 1) / to : 0;
}

// The shown windows' layers (0 on top: the block's priority, a taken one
// moved to the lowest free) and where each shows.
struct Layers {
    explicit Layers(const KEL_RAM_PARA& block) : b(block)
    {
        bool taken[kWindows] = {};
        for (int w = 0; w < kWindows; ++w) {
            layer[w] = INT_MAX;
            if (!b.image[w].enable)
                continue;
            int l = b.image_priority[w] % kWindows;
            if (taken[l])
                l = int(std::find(taken, taken + kWindows, false) - taken);
            taken[l] = true;
            layer[w] = l;
        }
    }
    bool shows(int w, int x, int y) const
    {
        for (int o = 0; o < kWindows; ++o)
            if (o != w && layer[o] < layer[w] && inside(boxOf(b.image[o]), x, y))
                return false;
        return true;
    }
    KEL_RAM_PARA b;
    int layer[kWindows];
};

// The documented hand-out, per block window: the channels and memory
// blocks it holds and whether it waits.
struct HandOut {
    int held[kWindows] = {}, blocks[kWindows] = {};
    bool waiting[kWindows] = {};

    // One apply of block `now` after `was`; `takes(im)` what a window takes.
    template <class Takes>
    void apply(const KEL_RAM_PARA& was, const KEL_RAM_PARA& now, Takes takes)
    {
        enum Group { kKeeps, kAsks, kNew, kWaits, kNone };
        int group[kWindows], cost[kWindows], memory[kWindows];
        for (int w = 0; w < kWindows; ++w) {
            const Arrangement a = takes(now.image[w]);
            cost[w] = a.cost, memory[w] = a.blocks;
            const bool on = now.image[w].enable != 0, wasOn = was.image[w].enable != 0;
            group[w] = !on                                            ? kNone
                       : waiting[w]                                   ? kWaits
                       : !wasOn || held[w] == 0                       ? kNew
                       : cost[w] <= held[w] && memory[w] <= blocks[w] ? kKeeps
                                                                      : kAsks;
            if (group[w] == kNone || group[w] == kNew || group[w] == kWaits)
                drop(w);
        }
        for (int g = kKeeps; g < kNone; ++g) {
            for (int w = 0; w < kWindows; ++w)  // those that ask for more give up what they hold first
                if (group[w] == kAsks && g == kAsks)
                    held[w] = blocks[w] = 0;
            for (int w = 0; w < kWindows; ++w) {
                if (group[w] != g)
                    continue;
                int others = 0, otherBlocks = 0;  // what the others hold
                for (int o = 0; o < kWindows; ++o)
                    if (o != w)
                        others += held[o], otherBlocks += blocks[o];
                waiting[w] = others + cost[w] > kBudget || otherBlocks + memory[w] > kBlocks;
                held[w] = waiting[w] ? 0 : cost[w];
                blocks[w] = waiting[w] ? 0 : memory[w];
            }
        }
    }
    void drop(int w) { held[w] = blocks[w] = 0, waiting[w] = false; }
};

enum StepKind { kWrite, kReplug, kRestart, kFallback };
constexpr u8 kRestartRequest = 0x40, kFence = 0x02;  // registers 0xA2 and 0xA4
constexpr int kFencePasses = 100;
constexpr int kStepWeights[] = {14, 4, 2, 1};

class WindowWalk : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        for (int s = 0; s < kSources; ++s)
            plug(s, 0);
        inputsUp();
        settle();
        write([&](KEL_RAM_PARA& b) {  // window 0 over the canvas, the others placed and hidden
            b.splice_mode = ram::SPLICE_NONE;
            setCanvas(b, 1920);
            for (int w = 0; w < kWindows; ++w) {
                b.image[w] = IMAGE_PARA{};
                b.image[w].source = ram::kSourceHdmi1;
                place(b.image[w], w ? randomBox(b) : Box{0, 0, 1920, 1080});
                b.image_priority[w] = u16(w);
            }
            b.image[0].enable = ram::kImageShown;
            std::copy(kCropList, kCropList + kCrops, b.crop_list);
        });
        settle();
        model.apply(KEL_RAM_PARA{}, live(), takesNow());
    }
    void plug(int source, int timing)
    {
        const std::string cmd = "plug " + std::to_string(source) + " " + kTimings[timing].name;
        ASSERT_EQ(control(cmd), "ok " + cmd);
        timing_[source] = timing;
    }
    int gridStep(int from, int to) { return from + kGrid * walk.below((to - from) / kGrid + 1); }
    Box randomBox(const KEL_RAM_PARA& b)
    {
        const int w = gridStep(160, b.led_width), h = gridStep(96, b.led_height);
        return {gridStep(0, b.led_width - w), gridStep(0, b.led_height - h), w, h};
    }
    static void place(IMAGE_PARA& im, Box r) { im.x = u16(r.x), im.y = u16(r.y), im.w = u16(r.w), im.h = u16(r.h); }
    static void setCanvas(KEL_RAM_PARA& b, int width)
    {
        b.led_width = u16(width), b.led_height = u16(width * 9 / 16);
        b.out1_rect = {0, 0, b.led_width, b.led_height};
    }

    // What a window of block `b` takes (docs/protocol.md, "The input
    // channels"): its input channels, its memory blocks and its sources,
    // first the one whose card it shows at its top-left; a window of several
    // inputs shows its own source only where its arrangement puts it.
    Arrangement takes(const KEL_RAM_PARA& b, const IMAGE_PARA& im) const
    {
        const int source = sourceOf(b, im);
        if (!dotByDot(im) || im.dbd_mode == 0) {
            Arrangement a{source == kHdmi3 ? 2 : 1, {source}};
            const int t = timing_[source];
            if (dotByDot(im) && source != kHdmi3 && t >= 0 &&
                (kTimings[t].w > kColumnPixels || kTimings[t].h > kOwnFrameHeight))
                a.blocks = 1;
            return a;
        }
        return kArrangements[im.dbd_mode];
    }
    std::function<Arrangement(const IMAGE_PARA&)> takesNow()
    {
        return [this](const IMAGE_PARA& im) { return takes(live(), im); };
    }

    // The input channel whose capture block window w's frame comes from
    // when that capture is held, -1 otherwise; and where its capture lies:
    // every input channel of it and every block of its dot-by-dot memory
    // (a window of several inputs captures each on a channel of its own).
    int heldChannel(int w) const
    {
        const int r = m->recordOfWindow(w);
        const int c = r >= 0 ? m->ich.win_ich[r][0] : -1;
        return c >= 0 && chip->regValue(x518::kIsyct, x518::kChannelStride * u32(c)) == x518::kIsyctHold ? c : -1;
    }
    std::vector<int> captureOf(int w) const
    {
        const int r = m->recordOfWindow(w);
        if (r < 0)
            return {};
        std::vector<int> at(std::begin(m->ich.win_ich[r]), std::end(m->ich.win_ich[r]));
        at.insert(at.end(), std::begin(m->ich.win_dbd_blk[r]), std::end(m->ich.win_dbd_blk[r]));
        return at;
    }
    // Where a shown window shows its first input's card and which part of
    // it (dot by dot: 1:1 from the top-left); false without a signal there.
    bool claimed(const KEL_RAM_PARA& b, const IMAGE_PARA& im, Box at, canvasprobe::Mapping& map) const
    {
        const int t = timing_[takes(b, im).sources.front()];
        if (t < 0)
            return false;
        const Timing& in = kTimings[t];
        map = {at, {0, 0, in.w, in.h}};
        if (dotByDot(im)) {
            map.to = {at.x, at.y, std::min(at.w, in.w), std::min(at.h, in.h)};
            map.from = {0, 0, map.to.w, map.to.h};
        } else if (im.source & ram::kSourceIsCrop) {
            const CROP_ITEM& k = b.crop_list[im.source & ram::kSourceLowMask];
            map.from = {k.x, k.y, k.w, k.h};
            if (k.x + k.w > in.w)
                map.from.x = 0, map.from.w = in.w;
            if (k.y + k.h > in.h)
                map.from.y = 0, map.from.h = in.h;
        }
        return true;
    }

    // A step of kind `kind`, said in words.
    std::string step(int kind)
    {
        replugged_ = -1;
        if (kind == kRestart)
            return restartFenced();
        if (kind == kReplug) {
            // Now and then the own source of a window of several inputs.
            int s = walk.below(kSources);
            const int w = walk.below(kWindows);
            const IMAGE_PARA& im = live().image[w];
            if (walk.below(3) == 0 && im.enable && dotByDot(im) && im.dbd_mode > 0)
                s = sourceOf(live(), im);
            replugged_ = s;
            if (timing_[s] >= 0 && walk.below(3) == 0) {
                EXPECT_EQ(control("pull " + std::to_string(s)), "ok pull " + std::to_string(s));
                timing_[s] = -1;
                return "pull " + std::to_string(s);
            }
            plug(s, walk.below(3));
            return "plug " + std::to_string(s) + " " + kTimings[timing_[s]].name;
        }
        KEL_RAM_PARA b = live();
        std::string what = "write";
        if (script_) {
            what += script_(b);
        } else if (kind == kFallback) {
            what += outOfReach(b);
        } else {
            if (walk.below(8) == 0) {
                setCanvas(b, kCanvasWidths[walk.below(3)]);
                for (IMAGE_PARA& im : b.image) {  // the windows moved into it
                    const int w = std::min<int>(im.w, b.led_width), h = std::min<int>(im.h, b.led_height);
                    place(im, {std::min<int>(im.x, b.led_width - w), std::min<int>(im.y, b.led_height - h), w, h});
                }
                what += " canvas " + std::to_string(b.led_width);
            }
            if (walk.below(6) == 0)
                what += changeCrop(b);
            const int first = walk.below(kWindows), n = 1 + walk.below(3);
            for (int k = 0; k < n; ++k)
                what += changeWindow(b, (first + k) % kWindows);
        }
        write([&](KEL_RAM_PARA& block) { block = b; });
        m->runPass();
        return what;
    }

    // The chip brought up again, asked through register 0xA2 or after it
    // stopped answering, and a fence (0xA4) written with it: passes of the
    // box until the fence reads 0, which it may only do with register 37
    // bit 4 set and every window back (the step's check looks at once).
    std::string restartFenced()
    {
        const bool asked = walk.below(2) == 0;
        if (asked)
            write([&](KEL_RAM_PARA&) { store->reg_image.reg_a2 = kRestartRequest; });
        else
            restartChip();
        write([&](KEL_RAM_PARA&) { store->reg_image.reg_a4 = kFence; });
        for (int i = 0; i < kFencePasses && store->reg_image.reg_a4 != 0; ++i) {
            poll();
            m->runPass();
        }
        EXPECT_EQ(store->reg_image.reg_a4, 0);
        EXPECT_NE(store->reg_image.chip_flags & ram::kChipFlagVideoChipRunning, 0);
        return asked ? "chip restart asked, fenced" : "chip restart, fenced";
    }

    // Out of the output channels' reach: a smaller canvas the windows stay
    // on, or a window moved past the canvas's bottom edge.
    std::string outOfReach(KEL_RAM_PARA& b)
    {
        if (walk.below(2) == 0) {
            setCanvas(b, kCanvasWidths[walk.below(2)]);
            return " canvas " + std::to_string(b.led_width) + " under the windows";
        }
        IMAGE_PARA& im = b.image[walk.below(kWindows)];
        im.y = u16(b.led_height - im.h / 2);
        return " w" + std::to_string(&im - b.image) + " past the bottom";
    }

    // A crop record written: a source and a rectangle of a 1080p input.
    std::string changeCrop(KEL_RAM_PARA& b)
    {
        const int c = walk.below(kCrops);
        const int w = gridStep(160, 1920), h = gridStep(96, 1080);
        b.crop_list[c] = {u16(ram::kCropInUse | walk.below(kSources)), u16(gridStep(0, 1920 - w)),
                          u16(gridStep(0, 1080 - h)), u16(w), u16(h)};
        const CROP_ITEM& k = b.crop_list[c];
        std::ostringstream what;
        what << " crop " << c << " source " << (k.key & 0x07) << " " << Box{k.x, k.y, k.w, k.h};
        return what.str();
    }

    std::string changeWindow(KEL_RAM_PARA& b, int w)
    {
        IMAGE_PARA& im = b.image[w];
        std::ostringstream what;
        what << " w" << w;
        switch (walk.below(7)) {
        case 0:
            im.enable = im.enable ? 0 : ram::kImageShown;
            what << (im.enable ? " on" : " off");
            break;
        case 1:
            im.source = walk.below(3) ? u16(walk.below(kSources)) : u16(ram::kSourceIsCrop | walk.below(kCrops));
            im.flags = u16(im.flags & ~ram::kFlagDotByDot);
            what << " source " << std::hex << im.source << std::dec;
            break;
        case 2:
            place(im, randomBox(b));
            what << " at " << boxOf(im);
            break;
        case 3:  // dot by dot on a plain source; one window at most shows several inputs
            im.source = u16(sourceOf(b, im));
            im.flags = u16(im.flags ^ ram::kFlagDotByDot);
            im.dbd_mode = u16(walk.below(kArrangementCount));
            for (int o = 0; o < kWindows; ++o)
                if (o != w && dotByDot(b.image[o]) && b.image[o].dbd_mode > 0 &&
                    b.image[o].dbd_mode < kArrangementCount)
                    im.dbd_mode = 0;
            what << " dot by dot " << (dotByDot(im) ? int(im.dbd_mode) : -1);
            break;
        case 4:
            im.flags = u16(im.flags ^ ram::kFlagFreeze);
            what << ((im.flags & ram::kFlagFreeze) ? " frozen" : " live");
            break;
        default:
            b.image_priority[w] = u16(walk.below(kWindows));
            what << " layer " << b.image_priority[w];
            break;
        }
        return what.str();
    }

    // The hand-out follows the step; during the fallback it stands as it
    // was when the fallback began (a window hidden meanwhile gives its share
    // up), and the windows take up from there once they fit again.
    void handOut(const KEL_RAM_PARA& was, const KEL_RAM_PARA& now)
    {
        if (fallsBack(now)) {
            if (!parked_)
                parked_ = true, parkedFrom_ = was;
            for (int w = 0; w < kWindows; ++w)
                if (!now.image[w].enable)
                    model.drop(w), parkedFrom_.image[w].enable = 0;
            return;
        }
        model.apply(parked_ ? parkedFrom_ : was, now, takesNow());
        parked_ = false;
    }

    // The box is checked against the model.
    void check(const platform::Canvas& before, const platform::Canvas& after, const KEL_RAM_PARA& was,
               const int* heldBefore, const std::vector<int>* captureBefore, bool restarted)
    {
        const Layers now(live()), then(was);
        handOut(was, now.b);
        int waiting = 0;
        for (int w = 0; w < kWindows; ++w)
            waiting |= (model.waiting[w] && now.b.image[w].enable) << w;
        ASSERT_EQ(store->reg_image.window_refused, waiting);
        ASSERT_TRUE(platform::sim::memoryFaults(platform::sim::writeAreas(chip->registers())).empty());
        ASSERT_EQ(after.width, now.b.led_width);
        ASSERT_EQ(m->model.default_env, parked_ ? 1 : 0);
        if (parked_) {
            for (int w = 0; w < kWindows; ++w)  // a parked window keeps its freeze while it stays shown and frozen
                holds_[w] = holds_[w] && now.b.image[w].enable && (now.b.image[w].flags & ram::kFlagFreeze);
            checkFallback(after, now.b);
            return;
        }
        for (int w = 0; w < kWindows; ++w) {
            const IMAGE_PARA& im = now.b.image[w];
            holds_[w] = holds_[w] && im.enable && !model.waiting[w] && (im.flags & ram::kFlagFreeze);
            if (!im.enable)
                continue;
            const Box at = boxOf(im);
            // Where it lies on the canvas: past its right edge it is cut, and
            // a window enlarged there may end up to one input pixel short of
            // the edge (its output channel reads whole input pixels).
            int cut = after.width;
            canvasprobe::Mapping map;
            if (at.x + at.w > after.width && claimed(now.b, im, at, map) && map.from.w > 0)
                cut -= (map.to.w + map.from.w - 1) / map.from.w + 1;
            auto shows = [&](int x, int y) { return x < cut && y < after.height && now.shows(w, x, y); };
            const int step = std::max(8, std::min(at.w, at.h) / 12);
            if (model.waiting[w] || (!dotByDot(im) && timing_[sourceOf(now.b, im)] < 0)) {
                holds_[w] = false;
                ASSERT_EQ(
                    firstBad(at, step, step / 2, [&](int x, int y) { return shows(x, y) && after.at(x, y) != kBlack; }),
                    "")
                    << "window " << w << (model.waiting[w] ? " waits" : " has no signal");
                continue;
            }
            if (!claimed(now.b, im, at, map)) {
                holds_[w] = false;
                continue;  // a dot-by-dot window's other inputs may show
            }
            // A freeze that took hold stays: through the fallback however it
            // ends, a restart, a new canvas, a change of the window's own,
            // the loss of an input it does not show; not while no input the
            // window shows has a signal.
            bool signal = false;
            for (int s : takes(now.b, im).sources)
                signal = signal || timing_[s] >= 0;
            holds_[w] = holds_[w] && signal;
            if (holds_[w]) {
                ASSERT_GE(heldChannel(w), 0) << "frozen window " << w << " runs live";
            }
            holds_[w] = (im.flags & ram::kFlagFreeze) && heldChannel(w) >= 0;
            const std::vector<int> uses = takes(now.b, im).sources;
            const Timing& t = kTimings[timing_[uses.front()]];
            const platform::Canvas card = platform::sim::drawTestCard(kPortOfSource[uses.front()], t.w, t.h, t.rate, 0);
            // A plain window of a DVI, HDMI1 or HDMI2 input wider than an
            // input channel's memory column is shrunk to fit it before it is
            // scaled to the window: sampled twice, its picture may lie a
            // pixel or two of the input off.
            const int twice = !dotByDot(im) && uses.front() != kHdmi3 && t.w > kColumnPixels ? 2 : 0;
            const int margin = 2 + twice + std::max(shrunk(map.from.w, map.to.w), shrunk(map.from.h, map.to.h));
            long seen = 0;
            ASSERT_EQ(canvasprobe::mismatches(after, card, map, step, &seen, margin, shows), 0)
                << "window " << w << " at " << at << " of " << seen << " points";
            checked_ += seen;

            // A frozen window keeps its frame, unless it changed itself, an
            // input it takes changed, or the box moved its capture or its
            // memory; after the fallback it shows its first frame anew.
            bool itself = std::memcmp(&im, &was.image[w], sizeof im) != 0 || restarted || model.waiting[w] ||
                          resumed_ || captureOf(w) != captureBefore[w];
            if (im.source & ram::kSourceIsCrop) {
                const int c = im.source & ram::kSourceLowMask;
                itself = itself || std::memcmp(&now.b.crop_list[c], &was.crop_list[c], sizeof(CROP_ITEM)) != 0;
            }
            for (int s = 0; s < kSources; ++s)
                itself = itself || ((s == replugged_ || timing_[s] < 0) && std::count(uses.begin(), uses.end(), s));
            if (heldBefore[w] < 0 || heldChannel(w) != heldBefore[w] || itself)
                continue;
            ASSERT_EQ(firstBad(map.to, 16, 4,
                               [&](int x, int y) {
                                   return x < before.width && y < before.height && shows(x, y) && then.shows(w, x, y) &&
                                          before.at(x, y) != after.at(x, y);
                               }),
                      "")
                << "frozen window " << w;
        }
        const Box canvas{0, 0, after.width, after.height};
        ASSERT_EQ(firstBad(canvas, 37, 5,
                           [&](int x, int y) {
                               for (const IMAGE_PARA& im : now.b.image)
                                   if (im.enable && inside(boxOf(im), x, y))
                                       return false;
                               return after.at(x, y) != kBlack;
                           }),
                  "")
            << "outside the windows";
    }

    // The one window over the canvas shows what the first window shown (or
    // window 0) is set to show; a plain one is checked.
    void checkFallback(const platform::Canvas& after, const KEL_RAM_PARA& b)
    {
        const IMAGE_PARA& im = b.image[fallbackWindow(b)];
        const Box whole{0, 0, after.width, after.height};
        const int source = sourceOf(b, im);
        if (dotByDot(im) || (im.flags & (ram::kFlagFreeze | ram::kFlagBlack)))
            return;
        const int step = 48;
        if (timing_[source] < 0) {
            ASSERT_EQ(firstBad(whole, step, step / 2, [&](int x, int y) { return after.at(x, y) != kBlack; }), "")
                << "the fallback of window " << fallbackWindow(b) << " without a signal";
            return;
        }
        canvasprobe::Mapping map;
        ASSERT_TRUE(claimed(b, im, whole, map));
        const Timing& t = kTimings[timing_[source]];
        const platform::Canvas card = platform::sim::drawTestCard(kPortOfSource[source], t.w, t.h, t.rate, 0);
        long seen = 0;
        ASSERT_EQ(canvasprobe::mismatches(after, card, map, step, &seen, 2 + map.from.w / map.to.w + 1), 0)
            << "the fallback shows window " << fallbackWindow(b);
        checked_ += seen;
    }

    // One step of the walk, checked: a step of `kind`, its write the
    // script's when one is given.
    void play(int n, int kind, std::function<std::string(KEL_RAM_PARA&)> script = {})
    {
        const KEL_RAM_PARA was = live();
        int heldBefore[kWindows];
        std::vector<int> captureBefore[kWindows];
        for (int w = 0; w < kWindows; ++w)
            heldBefore[w] = heldChannel(w), captureBefore[w] = captureOf(w);
        const bool wasParked = parked_;
        script_ = std::move(script);
        const std::string what = step(kind);
        script_ = nullptr;
        SCOPED_TRACE(walk.step(n, what));
        std::printf("window walk step %d: %s\n", n, what.c_str());
        if (kind != kRestart)
            settle();
        chip->advanceFrames(5);
        const platform::Canvas after = canvas();
        resumed_ = wasParked && !fallsBack(live());
        check(before_, after, was, heldBefore, captureBefore, kind == kRestart);
        before_ = after;
    }

    RandomWalk walk{"window walk", 51, 40};
    HandOut model;
    int timing_[kSources] = {};                         // index into kTimings, -1 pulled
    int replugged_ = -1;                                // the input the step plugged or pulled
    bool parked_ = false;                               // the fallback stands
    bool resumed_ = false;                              // the step ended the fallback
    KEL_RAM_PARA parkedFrom_{};                         // the block the hand-out stood at when it began
    bool holds_[kWindows] = {};                         // the window's freeze took hold: its capture is held
    platform::Canvas before_;                           // the canvas after the last step
    std::function<std::string(KEL_RAM_PARA&)> script_;  // a scripted step's write
    long checked_ = 0;
};

}  // namespace

TEST_F(WindowWalk, TheCanvasShowsWhatTheBoxReportsThroughAnySequenceOfChanges)
{
    before_ = canvas();
    for (int n = 0; n < walk.steps && !HasFatalFailure(); ++n)
        play(n, walk.kind(kStepWeights));
    std::printf("window walk: %ld picture points checked\n", checked_);
    EXPECT_GT(checked_, long(walk.steps) * 10);
}

// A frozen window stays frozen however the whole-canvas fallback ends: the
// canvas made large enough again (with a restart of the video chip during
// the fallback or without), or the window past its edge moved back.
TEST_F(WindowWalk, AFrozenWindowStaysFrozenHoweverTheFallbackEnds)
{
    enum Ending { kCanvasBack, kRestartThenCanvasBack, kMovedBack };
    const Box other{1000, 600, 800, 400};
    using Script = std::function<std::string(KEL_RAM_PARA&)>;
    auto canvasOf = [](int height) -> Script {
        return [height](KEL_RAM_PARA& b) {
            b.led_height = u16(height), b.out1_rect = {0, 0, b.led_width, b.led_height};
            return " canvas 1920x" + std::to_string(height);
        };
    };
    auto moveOther = [&](int y) -> Script {
        return [&, y](KEL_RAM_PARA& b) {
            place(b.image[1], {other.x, y, other.w, other.h});
            return " w1 at y " + std::to_string(y);
        };
    };
    before_ = canvas();
    int n = 0;
    for (int ending : {kCanvasBack, kRestartThenCanvasBack, kMovedBack}) {
        SCOPED_TRACE(ending);
        play(n++, kWrite, [&](KEL_RAM_PARA& b) {
            setCanvas(b, 1920);
            for (IMAGE_PARA& im : b.image)
                im.enable = 0;
            for (int w : {0, 1}) {
                b.image[w].enable = ram::kImageShown;
                b.image[w].mirror = b.image[w].dbd_mode = 0;
            }
            b.image[0].source = ram::kSourceHdmi1, b.image[0].flags = ram::kFlagFreeze;
            place(b.image[0], {100, 100, 800, 450});
            b.image[1].source = ram::kSourceDvi, b.image[1].flags = 0;
            place(b.image[1], other);
            return " w0 HDMI1 frozen, w1 DVI";
        });
        ASSERT_TRUE(holds_[0]);
        play(n++, kFallback, ending == kMovedBack ? moveOther(900) : canvasOf(720));
        ASSERT_TRUE(parked_);
        if (ending == kRestartThenCanvasBack)
            play(n++, kRestart);
        play(n++, kWrite, ending == kMovedBack ? moveOther(other.y) : canvasOf(1080));
        for (int idle = 0; idle < 2; ++idle)
            play(n++, kWrite, [](KEL_RAM_PARA&) { return std::string(" nothing"); });
        ASSERT_FALSE(parked_);
        ASSERT_TRUE(holds_[0]);
        if (HasFatalFailure())
            return;
    }
}

// Two windows that ask for more in one write, with room for one of them:
// the lower window is served and the higher one waits, whether the write
// gives them a costlier source, a costlier input through the crop record
// both show, or a dot-by-dot arrangement of several inputs.
TEST_F(WindowWalk, OfTwoWindowsAskingForMoreInOneWriteTheLowerIsServed)
{
    struct Case {
        const char* what;
        u16 source;  // of windows 0 and 1, on HDMI1
        int costly;  // windows 2 .. costly - 1 on HDMI3
        std::function<void(KEL_RAM_PARA&)> ask;
    };
    const Case cases[] = {
        {"HDMI3 given to both", ram::kSourceHdmi1, 5,
         [](KEL_RAM_PARA& b) { b.image[0].source = b.image[1].source = ram::kSourceHdmi3; }},
        {"their crop record moved to HDMI3", ram::kSourceIsCrop | 0, 5,
         [](KEL_RAM_PARA& b) { b.crop_list[0].key = ram::kCropInUse | ram::kSourceHdmi3; }},
        {"arrangement 7 given to both", ram::kSourceHdmi1, 4,
         [](KEL_RAM_PARA& b) {
             for (int w : {0, 1})
                 b.image[w].flags = ram::kFlagDotByDot, b.image[w].dbd_mode = 7;
         }},
    };
    before_ = canvas();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        play(n++, kWrite, [&](KEL_RAM_PARA& b) {
            b.crop_list[0] = kCropList[0];
            for (int w = 0; w < kWindows; ++w) {
                IMAGE_PARA& im = b.image[w];
                im.enable = w < c.costly ? ram::kImageShown : 0;
                im.source = w < 2 ? c.source : u16(ram::kSourceHdmi3);
                im.flags = im.mirror = im.dbd_mode = 0;
                place(im, {w % 3 * 640, w / 3 * 540, 640, 540});
            }
            return std::string(" windows 0 and 1 on HDMI1, the others on HDMI3");
        });
        ASSERT_EQ(store->reg_image.window_refused, 0);
        play(n++, kWrite, [&](KEL_RAM_PARA& b) {
            c.ask(b);
            return std::string(" ") + c.what;
        });
        ASSERT_EQ(store->reg_image.window_refused, 0x02);
    }
}
