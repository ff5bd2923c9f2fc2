// A seeded random walk through what a PC and the control pipe do to the
// windows of a running chip. Its steps are block writes (windows shown and
// hidden, sources and crops, places and sizes, dot-by-dot arrangements,
// freezes, layers, canvas sizes; one to three windows in one write) and
// pipe commands (an input plugged at another resolution, pulled, the chip
// restarted). After every step:
// - register 45 is what the documented hand-out of the input channels
//   predicts (one write one hand-out: the windows that keep their channels,
//   those that ask for more, those new to the layout, those waiting; each
//   group in window order; a chip restart keeps who waits);
// - every window shown shows its input's card (black without a signal)
//   where no window above it lies, a waiting window is black there, and the
//   canvas outside every window is black;
// - a frozen window keeps its frame unless it changed itself (or the box
//   moved its capture to another input channel);
// - no two captures share frame memory (the pipe's `memory`).
//
// It prints its seed and its steps. A failing walk replays with the same
// seed: KEL_WALK_SEED picks the seed and KEL_WALK_STEPS the number of steps
// (without them: seed 51, 40 steps), for example
//   KEL_WALK_SEED=7 KEL_WALK_STEPS=2000 QT_QPA_PLATFORM=offscreen
//   build/tests/test_videochip --gtest_filter='WindowWalk.*'
#include "tests/support/canvas_probe.h"
#include "tests/videochip/chip_test.h"

#include "platform/sim/sim_x518_canvas.h"
#include "platform/sim/sim_x518_memory.h"
#include "registers/x518_regs.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using canvasprobe::Box;

namespace {

constexpr int kWindows = 6, kSources = 4, kCrops = 4, kBudget = 8;
constexpr u32 kDefaultSeed = 51;
constexpr int kDefaultSteps = 40;
constexpr int kPortOfSource[kSources] = {2, 1, 0, 5};  // DVI, HDMI1, HDMI2, HDMI3
constexpr int kHdmi3 = 3;
constexpr int kStep = 8;  // places and sizes are multiples of it
struct Size {
    int w, h;
};
constexpr Size kCanvases[] = {{1920, 1080}, {2560, 1440}, {3840, 2160}};
constexpr Size kTimings[] = {{1920, 1080}, {1280, 720}, {3840, 2160}};
const char* const kTimingNames[] = {"1920x1080@60", "1280x720@60", "3840x2160@30"};
constexpr int kRates[] = {60, 60, 30};
// Crop records 0-3: source and rectangle as a 1080p input has them.
constexpr CROP_ITEM kCropList[kCrops] = {
    {ram::kCropInUse | ram::kSourceHdmi1, 0, 0, 960, 540},
    {ram::kCropInUse | ram::kSourceHdmi2, 480, 270, 960, 540},
    {ram::kCropInUse | ram::kSourceDvi, 1600, 900, 480, 270},
    {ram::kCropInUse | ram::kSourceHdmi3, 320, 180, 1280, 720},
};

u32 envOr(const char* name, u32 otherwise)
{
    const char* v = std::getenv(name);
    return v && *v ? u32(std::strtoul(v, nullptr, 10)) : otherwise;
}

bool inside(Box b, int x, int y) { return x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h; }
Box boxOf(const IMAGE_PARA& im) { return {im.x, im.y, im.w, im.h}; }
int sourceOf(const IMAGE_PARA& im)
{
    return (im.source & ram::kSourceIsCrop) ? kCropList[im.source & ram::kSourceLowMask].key & 0x0F : im.source;
}
bool dotByDot(const IMAGE_PARA& im) { return (im.flags & ram::kFlagDotByDot) != 0; }

// Dot-by-dot arrangements 1-7 (a window's `dbd_mode`): the input channels
// they take and the sources they show, the first at the top-left, 1:1
// (inputs 1 and 2 are HDMI2 and HDMI1, input 3 DVI, input 4 none).
struct Arrangement {
    int cost;
    std::vector<int> sources;
};
const Arrangement kArrangements[] = {
    {0, {}},
    {2, {ram::kSourceHdmi2, ram::kSourceHdmi1}}, {2, {ram::kSourceHdmi2, ram::kSourceHdmi1}},
    {2, {ram::kSourceDvi}}, {2, {ram::kSourceDvi}},
    {3, {ram::kSourceHdmi2, ram::kSourceHdmi1, ram::kSourceDvi}},
    {4, {ram::kSourceHdmi2, ram::kSourceHdmi1, ram::kSourceDvi}}, {4, {ram::kSourceHdmi2, ram::kSourceHdmi1, ram::kSourceDvi}},
};
const Arrangement* arrangementOf(const IMAGE_PARA& im)
{
    return dotByDot(im) && im.dbd_mode > 0 ? &kArrangements[im.dbd_mode] : nullptr;
}
// Input channels a window takes (docs/protocol.md, "The input channels").
int costOf(const IMAGE_PARA& im)
{
    const Arrangement* a = arrangementOf(im);
    return a ? a->cost : sourceOf(im) == kHdmi3 ? 2 : 1;
}
// Whether the window takes source s: its own, or one its arrangement shows.
bool usesSource(const IMAGE_PARA& im, int s)
{
    const Arrangement* a = arrangementOf(im);
    return sourceOf(im) == s || (a && std::find(a->sources.begin(), a->sources.end(), s) != a->sources.end());
}
// The source whose card the window shows (dot by dot: at its top-left, 1:1).
int firstSourceOf(const IMAGE_PARA& im)
{
    const Arrangement* a = arrangementOf(im);
    return a ? a->sources.front() : sourceOf(im);
}

// The documented hand-out, per block window: the channels it holds and
// whether it waits.
struct HandOut {
    int held[kWindows] = {};
    bool waiting[kWindows] = {};

    // One apply of block `now` after `was`.
    void apply(const KEL_RAM_PARA& was, const KEL_RAM_PARA& now)
    {
        enum Group { kKeeps, kAsks, kNew, kWaits, kNone };
        int group[kWindows], cost[kWindows];
        for (int w = 0; w < kWindows; ++w) {
            cost[w] = costOf(now.image[w]);
            const bool on = now.image[w].enable != 0, wasOn = was.image[w].enable != 0;
            group[w] = !on ? kNone : waiting[w] ? kWaits : !wasOn || held[w] == 0 ? kNew
                                                           : cost[w] <= held[w]   ? kKeeps
                                                                                  : kAsks;
            if (!on)
                held[w] = 0, waiting[w] = false;
            if (group[w] == kNew || group[w] == kWaits)
                held[w] = 0;
        }
        for (int g = kKeeps; g < kNone; ++g) {
            for (int w = 0; w < kWindows; ++w) {
                if (group[w] != g)
                    continue;
                int others = 0;  // what the others hold (those still to be served too)
                for (int o = 0; o < kWindows; ++o)
                    others += o == w ? 0 : held[o];
                const bool fits = others + cost[w] <= kBudget;
                held[w] = fits ? cost[w] : 0;
                waiting[w] = !fits;
            }
        }
    }
    u8 mask() const
    {
        u8 m = 0;
        for (int w = 0; w < kWindows; ++w)
            m = u8(m | (waiting[w] ? 1u << w : 0u));
        return m;
    }
    void clear() { *this = HandOut{}; }
};

class WindowWalk : public RunningChipTest {
protected:
    void SetUp() override
    {
        RunningChipTest::SetUp();
        for (int s = 0; s < kSources; ++s)
            plug(s, 0);
        inputsUp();
        settle();
        write([](KEL_RAM_PARA& b) {
            b.splice_mode = ram::SPLICE_NONE;
            b.led_width = 1920, b.led_height = 1080;
            b.out1_rect = {0, 0, 1920, 1080};
            for (int w = 0; w < kWindows; ++w) {
                b.image[w] = IMAGE_PARA{};
                b.image[w].source = ram::kSourceHdmi1;
                b.image_priority[w] = u16(w);
            }
            b.image[0].enable = ram::kImageShown;
            b.image[0].w = 1920, b.image[0].h = 1080;
            for (int c = 0; c < kCrops; ++c)
                b.crop_list[c] = kCropList[c];
        });
        m->runPass();
        settle();
        model.apply(KEL_RAM_PARA{}, live());
    }
    void settle()
    {
        for (int i = 0; i < 12; ++i) {
            poll();
            m->runPass();
        }
    }
    void plug(int source, int timing)
    {
        const std::string cmd = "plug " + std::to_string(source) + " " + kTimingNames[timing];
        ASSERT_EQ(control(cmd), "ok " + cmd);
        timing_[source] = timing;
    }
    int pick(int n) { return int(rng() % u32(n)); }
    int pickStep(int from, int to) { return from + kStep * pick((to - from) / kStep + 1); }
    Box randomBox(Size canvas)
    {
        const int w = pickStep(160, canvas.w), h = pickStep(96, canvas.h);
        return {pickStep(0, canvas.w - w), pickStep(0, canvas.h - h), w, h};
    }

    // Steps.
    std::string changeWindow(KEL_RAM_PARA& b, int w);
    std::string writeStep();
    std::string pipeStep();
    std::string restartStep();
    // Checks.
    void checkCanvas(const platform::Canvas& c);
    void checkFrozen(const platform::Canvas& before, const platform::Canvas& after, const KEL_RAM_PARA& was,
                     const int* heldBefore, bool restarted, const bool* inputChanged);
    // The input channel whose capture block window w's frame comes from
    // when that capture is held, -1 otherwise.
    int heldChannel(int w) const;
    // Where a shown window shows its input's card and which part of it
    // (a dot-by-dot window: its first input, 1:1); false when it makes no
    // claim (a dot-by-dot window whose first input has no signal).
    bool claimed(const IMAGE_PARA& im, canvasprobe::Mapping& map) const;
    // Layers of the shown windows (0 top; the block's priority, a taken one
    // moved to the lowest free), and where window w shows.
    void layers(const KEL_RAM_PARA& b, int* layer) const;
    bool visible(const KEL_RAM_PARA& b, const int* layer, int w, int x, int y) const;

    std::mt19937 rng;
    HandOut model;
    int timing_[kSources] = {0, 0, 0, 0};  // index into kTimings, -1 pulled
    long checked_ = 0;
    int replugged_ = -1;  // the input the step plugged or pulled
};

std::string WindowWalk::changeWindow(KEL_RAM_PARA& b, int w)
{
    IMAGE_PARA& im = b.image[w];
    std::ostringstream what;
    what << " w" << w;
    switch (pick(7)) {
    case 0:
        im.enable = im.enable ? 0 : ram::kImageShown;
        what << (im.enable ? " on" : " off");
        break;
    case 1:
        im.source = pick(3) ? u16(pick(kSources)) : u16(ram::kSourceIsCrop | pick(kCrops));
        im.flags = u16(im.flags & ~ram::kFlagDotByDot);
        what << " source " << std::hex << im.source << std::dec;
        break;
    case 2: {
        const Box r = randomBox({b.led_width, b.led_height});
        im.x = u16(r.x), im.y = u16(r.y), im.w = u16(r.w), im.h = u16(r.h);
        what << " at " << r;
        break;
    }
    case 3:
        // Dot by dot on a plain source; one window at most shows several inputs.
        im.source = u16(sourceOf(im));
        im.flags = u16(im.flags ^ ram::kFlagDotByDot);
        im.dbd_mode = u16(pick(8));
        for (int o = 0; o < kWindows; ++o)
            if (o != w && dotByDot(b.image[o]) && b.image[o].dbd_mode > 0)
                im.dbd_mode = 0;
        what << " dot by dot " << (dotByDot(im) ? int(im.dbd_mode) : -1);
        break;
    case 4:
        im.flags = u16(im.flags ^ ram::kFlagFreeze);
        what << ((im.flags & ram::kFlagFreeze) ? " frozen" : " live");
        break;
    default:
        b.image_priority[w] = u16(pick(kWindows));
        what << " layer " << b.image_priority[w];
        break;
    }
    return what.str();
}

std::string WindowWalk::writeStep()
{
    KEL_RAM_PARA b = live();
    std::string what = "write";
    if (pick(8) == 0) {
        const Size c = kCanvases[pick(3)];
        b.led_width = u16(c.w), b.led_height = u16(c.h);
        b.out1_rect = {0, 0, u16(c.w), u16(c.h)};
        for (IMAGE_PARA& im : b.image) {  // the windows moved into it
            im.w = u16(std::min<int>(im.w, c.w)), im.h = u16(std::min<int>(im.h, c.h));
            im.x = u16(std::min<int>(im.x, c.w - im.w)), im.y = u16(std::min<int>(im.y, c.h - im.h));
        }
        what += " canvas " + std::to_string(c.w) + "x" + std::to_string(c.h);
    }
    // Up to three windows, one change each (a freeze written with a change
    // of the dot-by-dot switch in one write leaves the switch for later).
    const int first = pick(kWindows), n = 1 + pick(3);
    for (int k = 0; k < n; ++k)
        what += changeWindow(b, (first + k) % kWindows);
    write([&](KEL_RAM_PARA& block) { block = b; });
    m->runPass();
    return what;
}

std::string WindowWalk::pipeStep()
{
    const int s = pick(kSources);
    replugged_ = s;
    if (timing_[s] >= 0 && pick(3) == 0) {
        EXPECT_EQ(control("pull " + std::to_string(s)), "ok pull " + std::to_string(s));
        timing_[s] = -1;
        return "pull " + std::to_string(s);
    }
    const int t = pick(3);
    plug(s, t);
    return "plug " + std::to_string(s) + " " + kTimingNames[t];
}

std::string WindowWalk::restartStep()
{
    EXPECT_EQ(control("fault chip spi on"), "ok fault chip spi on");
    m->runPass();
    EXPECT_EQ(control("fault chip spi off"), "ok fault chip spi off");
    for (int i = 0; i < 20 && m->init_state < x518_manage::kRunningState; ++i) {
        G_timeTicks += x518_manage::kRetryTicks;
        m->runPass();
    }
    EXPECT_EQ(m->init_state, x518_manage::kRunningState);
    return "chip restart";
}

bool WindowWalk::claimed(const IMAGE_PARA& im, canvasprobe::Mapping& map) const
{
    const int t = timing_[firstSourceOf(im)];
    if (t < 0)
        return false;  // a dot-by-dot window's other inputs may show: no claim
    const Size in = kTimings[t];
    const Box at = boxOf(im);
    map = {at, {0, 0, in.w, in.h}};
    if (dotByDot(im)) {  // the first input 1:1 from the top-left
        map.to = {at.x, at.y, std::min(at.w, in.w), std::min(at.h, in.h)};
        map.from = {0, 0, map.to.w, map.to.h};
    } else if (im.source & ram::kSourceIsCrop) {
        const CROP_ITEM& k = kCropList[im.source & ram::kSourceLowMask];
        map.from = {k.x, k.y, k.w, k.h};
        if (k.x + k.w > in.w)
            map.from.x = 0, map.from.w = in.w;
        if (k.y + k.h > in.h)
            map.from.y = 0, map.from.h = in.h;
    }
    return true;
}

void WindowWalk::layers(const KEL_RAM_PARA& b, int* layer) const
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

bool WindowWalk::visible(const KEL_RAM_PARA& b, const int* layer, int w, int x, int y) const
{
    for (int o = 0; o < kWindows; ++o)
        if (o != w && b.image[o].enable && layer[o] < layer[w] && inside(boxOf(b.image[o]), x, y))
            return false;
    return true;
}

int WindowWalk::heldChannel(int w) const
{
    const int r = m->recordOfWindow(w);
    const int c = r >= 0 ? m->ich.win_ich[r][0] : -1;
    return c >= 0 && chip->regValue(x518::kIsyct, x518::kChannelStride * u32(c)) == x518::kIsyctHold ? c : -1;
}

void WindowWalk::checkCanvas(const platform::Canvas& c)
{
    const KEL_RAM_PARA& b = live();
    ASSERT_EQ(c.width, b.led_width);
    int layer[kWindows];
    layers(b, layer);
    constexpr uint32_t kBlack = platform::sim::kCanvasBlack;
    for (int w = 0; w < kWindows; ++w) {
        const IMAGE_PARA& im = b.image[w];
        if (!im.enable)
            continue;
        const Box at = boxOf(im);
        auto shows = [&](int x, int y) { return visible(b, layer, w, x, y); };
        const int step = std::max(8, std::min(at.w, at.h) / 12);
        if (model.waiting[w] || (!dotByDot(im) && timing_[sourceOf(im)] < 0)) {
            for (int y = at.y + step / 2; y < at.y + at.h; y += step)
                for (int x = at.x + step / 2; x < at.x + at.w; x += step)
                    if (shows(x, y)) {
                        ASSERT_EQ(c.at(x, y), kBlack) << "window " << w << (model.waiting[w] ? " waits" : " has no signal")
                                                      << " at " << x << "," << y;
                    }
            continue;
        }
        canvasprobe::Mapping map;
        if (!claimed(im, map))
            continue;
        const int t = timing_[firstSourceOf(im)];
        const platform::Canvas card =
            platform::sim::drawTestCard(kPortOfSource[firstSourceOf(im)], kTimings[t].w, kTimings[t].h, kRates[t], 0);
        const int margin = 2 + std::max(map.from.w / map.to.w, map.from.h / map.to.h);
        long seen = 0;
        const long bad = canvasprobe::mismatches(c, card, map, step, &seen, margin, shows);
        ASSERT_EQ(bad, 0) << "window " << w << " at " << at << " of " << seen << " points";
        checked_ += seen;
    }
    // Outside every window the canvas is black.
    for (int y = 5; y < c.height; y += 37)
        for (int x = 5; x < c.width; x += 37) {
            bool in = false;
            for (const IMAGE_PARA& im : b.image)
                in = in || (im.enable && inside(boxOf(im), x, y));
            if (!in) {
                ASSERT_EQ(c.at(x, y), kBlack) << "outside the windows at " << x << "," << y;
            }
        }
}

void WindowWalk::checkFrozen(const platform::Canvas& before, const platform::Canvas& after, const KEL_RAM_PARA& was,
                             const int* heldBefore, bool restarted, const bool* inputChanged)
{
    const KEL_RAM_PARA& b = live();
    int layerNow[kWindows], layerWas[kWindows];
    layers(b, layerNow);
    layers(was, layerWas);
    for (int w = 0; w < kWindows; ++w) {
        const IMAGE_PARA& im = b.image[w];
        bool itself = std::memcmp(&im, &was.image[w], sizeof im) != 0 || restarted || !im.enable || model.waiting[w];
        for (int s = 0; s < kSources; ++s)
            itself = itself || (inputChanged[s] && usesSource(im, s));
        canvasprobe::Mapping map;
        // A frozen window whose capture the box moved to another input
        // channel (to give another window a pair, or a de-interlacer) shows
        // the first frame there.
        if (heldBefore[w] < 0 || heldChannel(w) != heldBefore[w] || itself || !claimed(im, map))
            continue;
        const Box at = map.to;
        for (int y = at.y + 4; y < at.y + at.h; y += 16)
            for (int x = at.x + 4; x < at.x + at.w; x += 16)
                if (x < before.width && y < before.height && visible(b, layerNow, w, x, y) &&
                    visible(was, layerWas, w, x, y)) {
                    ASSERT_EQ(before.at(x, y), after.at(x, y)) << "frozen window " << w << " at " << x << "," << y;
                }
    }
}

}  // namespace

TEST_F(WindowWalk, TheCanvasShowsWhatTheBoxReportsThroughAnySequenceOfChanges)
{
    const u32 seed = envOr("KEL_WALK_SEED", kDefaultSeed);
    const int steps = int(envOr("KEL_WALK_STEPS", kDefaultSteps));
    std::fprintf(stderr, "window walk: seed %u, %d steps (KEL_WALK_SEED, KEL_WALK_STEPS)\n", seed, steps);
    rng.seed(seed);
    write([&](KEL_RAM_PARA& b) {  // every window placed, window 0 over the canvas
        for (int w = 1; w < kWindows; ++w) {
            const Box r = randomBox({b.led_width, b.led_height});
            IMAGE_PARA& im = b.image[w];
            im.x = u16(r.x), im.y = u16(r.y), im.w = u16(r.w), im.h = u16(r.h);
        }
    });
    m->runPass();
    platform::Canvas before = canvas();
    for (int step = 0; step < steps; ++step) {
        const KEL_RAM_PARA was = live();
        int heldBefore[kWindows];
        for (int w = 0; w < kWindows; ++w)
            heldBefore[w] = heldChannel(w);
        replugged_ = -1;
        const int kind = pick(10);
        const std::string what = kind < 7 ? writeStep() : kind < 9 ? pipeStep() : restartStep();
        SCOPED_TRACE("step " + std::to_string(step) + ": " + what);
        std::fprintf(stderr, "window walk step %d: %s\n", step, what.c_str());
        settle();
        chip->advanceFrames(5);

        const KEL_RAM_PARA& now = live();
        bool any = false;
        for (const IMAGE_PARA& im : now.image)
            any = any || im.enable;
        if (!any)
            model.clear();
        else
            model.apply(was, now);
        ASSERT_EQ(int(store->reg_image.window_refused), int(model.mask()));
        bool inputChanged[kSources];
        for (int s = 0; s < kSources; ++s)
            inputChanged[s] = s == replugged_ || timing_[s] < 0;
        const platform::Canvas after = canvas();
        if (any) {
            checkCanvas(after);
            checkFrozen(before, after, was, heldBefore, kind == 9, inputChanged);
        }
        ASSERT_TRUE(platform::sim::memoryFaults(platform::sim::writeAreas(chip->registers())).empty());
        if (HasFatalFailure())
            return;
        before = after;
    }
    std::fprintf(stderr, "window walk: %ld picture points checked\n", checked_);
    EXPECT_GT(checked_, long(steps) * 10);
}
