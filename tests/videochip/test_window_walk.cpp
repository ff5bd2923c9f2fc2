// A seeded random walk through what a PC and the control pipe do to the
// windows of a running chip: block writes of one to three windows (shown,
// sources and crops, places, dot-by-dot arrangements, freezes, layers; now
// and then the canvas), inputs plugged at another resolution or pulled, chip
// restarts. After every step register 45 is the documented hand-out of the
// input channels (one write one hand-out: the windows that keep their
// channels, those that ask for more, those new, those waiting, each group in
// window order; a restart keeps who waits); every window shown shows its
// input's card where it is on top (black while it waits or has no signal),
// black outside the windows; a frozen window keeps its frame unless it or its
// inputs changed or the box moved its capture; no two captures share memory.
// The build runs seed 51 for 40 steps (tests/support/random_walk.h).
#include "tests/support/canvas_probe.h"
#include "tests/support/random_walk.h"
#include "tests/videochip/chip_test.h"

#include "platform/sim/sim_x518_canvas.h"
#include "platform/sim/sim_x518_memory.h"
#include "registers/x518_regs.h"

#include <climits>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

using canvasprobe::Box;

namespace {

constexpr int kWindows = 6, kSources = 4, kCrops = 4, kBudget = 8, kHdmi3 = 3, kGrid = 8;
constexpr int kPortOfSource[kSources] = {2, 1, 0, 5};  // DVI, HDMI1, HDMI2, HDMI3
constexpr uint32_t kBlack = platform::sim::kCanvasBlack;
struct Timing {
    int w, h, rate;
    const char* name;
};
constexpr Timing kTimings[] = {
    {1920, 1080, 60, "1920x1080@60"}, {1280, 720, 60, "1280x720@60"}, {3840, 2160, 30, "3840x2160@30"}};
constexpr int kCanvasWidths[] = {1920, 2560, 3840};  // 16:9
// Crop records 0-3: source and rectangle as a 1080p input has them.
constexpr CROP_ITEM kCropList[kCrops] = {
    {ram::kCropInUse | ram::kSourceHdmi1, 0, 0, 960, 540},
    {ram::kCropInUse | ram::kSourceHdmi2, 480, 270, 960, 540},
    {ram::kCropInUse | ram::kSourceDvi, 1600, 900, 480, 270},
    {ram::kCropInUse | ram::kSourceHdmi3, 320, 180, 1280, 720},
};
// Dot-by-dot arrangements 1-7 (a window's `dbd_mode`): the input channels
// they take and the sources they show, the first at the top-left, 1:1.
struct Arrangement {
    int cost;
    std::vector<int> sources;
};
const std::vector<int> kTwo = {ram::kSourceHdmi2, ram::kSourceHdmi1}, kDvi = {ram::kSourceDvi},
                       kThree = {ram::kSourceHdmi2, ram::kSourceHdmi1, ram::kSourceDvi};
const Arrangement kArrangements[] = {{0, {}},   {2, kTwo},   {2, kTwo},   {2, kDvi},
                                     {2, kDvi}, {3, kThree}, {4, kThree}, {4, kThree}};

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
int sourceOf(const IMAGE_PARA& im)
{
    return (im.source & ram::kSourceIsCrop) ? kCropList[im.source & ram::kSourceLowMask].key & 0x0F : im.source;
}
// What a window takes: its input channels (docs/protocol.md, "The input
// channels") and its sources, first the one whose card it shows at its
// top-left; a dot-by-dot window's own source counts among them.
Arrangement takes(const IMAGE_PARA& im)
{
    if (!dotByDot(im) || im.dbd_mode == 0)
        return {sourceOf(im) == kHdmi3 ? 2 : 1, {sourceOf(im)}};
    Arrangement a = kArrangements[im.dbd_mode];
    a.sources.push_back(sourceOf(im));
    return a;
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
            cost[w] = takes(now.image[w]).cost;
            const bool on = now.image[w].enable != 0, wasOn = was.image[w].enable != 0;
            group[w] = !on                      ? kNone
                       : waiting[w]             ? kWaits
                       : !wasOn || held[w] == 0 ? kNew
                       : cost[w] <= held[w]     ? kKeeps
                                                : kAsks;
            if (group[w] == kNone || group[w] == kNew || group[w] == kWaits)
                held[w] = 0, waiting[w] = false;
        }
        for (int g = kKeeps; g < kNone; ++g)
            for (int w = 0; w < kWindows; ++w) {
                if (group[w] != g)
                    continue;
                int others = 0;  // what the others hold (those still to be served too)
                for (int o = 0; o < kWindows; ++o)
                    others += o == w ? 0 : held[o];
                waiting[w] = others + cost[w] > kBudget;
                held[w] = waiting[w] ? 0 : cost[w];
            }
    }
};

enum StepKind { kWrite, kReplug, kRestart };
constexpr int kStepWeights[] = {7, 2, 1};

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
        model.apply(KEL_RAM_PARA{}, live());
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

    // The input channel whose capture block window w's frame comes from
    // when that capture is held, -1 otherwise.
    int heldChannel(int w) const
    {
        const int r = m->recordOfWindow(w);
        const int c = r >= 0 ? m->ich.win_ich[r][0] : -1;
        return c >= 0 && chip->regValue(x518::kIsyct, x518::kChannelStride * u32(c)) == x518::kIsyctHold ? c : -1;
    }
    // Where a shown window shows its first input's card and which part of
    // it (dot by dot: 1:1 from the top-left); false without a signal there.
    bool claimed(const IMAGE_PARA& im, canvasprobe::Mapping& map) const
    {
        const int t = timing_[takes(im).sources.front()];
        if (t < 0)
            return false;
        const Timing& in = kTimings[t];
        const Box at = boxOf(im);
        map = {at, {0, 0, in.w, in.h}};
        if (dotByDot(im)) {
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

    // A step of kind `kind`, said in words.
    std::string step(int kind)
    {
        replugged_ = -1;
        if (kind == kRestart) {
            restartChip();
            return "chip restart";
        }
        if (kind == kReplug) {
            const int s = replugged_ = walk.below(kSources);
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
        if (walk.below(8) == 0) {
            setCanvas(b, kCanvasWidths[walk.below(3)]);
            for (IMAGE_PARA& im : b.image) {  // the windows moved into it
                const int w = std::min<int>(im.w, b.led_width), h = std::min<int>(im.h, b.led_height);
                place(im, {std::min<int>(im.x, b.led_width - w), std::min<int>(im.y, b.led_height - h), w, h});
            }
            what += " canvas " + std::to_string(b.led_width);
        }
        const int first = walk.below(kWindows), n = 1 + walk.below(3);
        for (int k = 0; k < n; ++k)
            what += changeWindow(b, (first + k) % kWindows);
        write([&](KEL_RAM_PARA& block) { block = b; });
        m->runPass();
        return what;
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
            im.source = u16(sourceOf(im));
            im.flags = u16(im.flags ^ ram::kFlagDotByDot);
            im.dbd_mode = u16(walk.below(8));
            for (int o = 0; o < kWindows; ++o)
                if (o != w && takes(b.image[o]).sources.size() > 1)
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

    // The model follows the step; the box is checked against it.
    void check(const platform::Canvas& before, const platform::Canvas& after, const KEL_RAM_PARA& was,
               const int* heldBefore, bool restarted)
    {
        const Layers now(live()), then(was);
        const bool any =
            std::any_of(now.b.image, now.b.image + kWindows, [](const IMAGE_PARA& im) { return im.enable; });
        if (any)
            model.apply(was, now.b);
        else
            model = HandOut{};
        int waiting = 0;
        for (int w = 0; w < kWindows; ++w)
            waiting |= model.waiting[w] << w;
        ASSERT_EQ(store->reg_image.window_refused, waiting);
        ASSERT_TRUE(platform::sim::memoryFaults(platform::sim::writeAreas(chip->registers())).empty());
        if (!any)
            return;  // the chip shows one window over the canvas
        ASSERT_EQ(after.width, now.b.led_width);
        for (int w = 0; w < kWindows; ++w) {
            const IMAGE_PARA& im = now.b.image[w];
            if (!im.enable)
                continue;
            const Box at = boxOf(im);
            auto shows = [&](int x, int y) { return now.shows(w, x, y); };
            const int step = std::max(8, std::min(at.w, at.h) / 12);
            canvasprobe::Mapping map;
            if (model.waiting[w] || (!dotByDot(im) && timing_[sourceOf(im)] < 0)) {
                ASSERT_EQ(
                    firstBad(at, step, step / 2, [&](int x, int y) { return shows(x, y) && after.at(x, y) != kBlack; }),
                    "")
                    << "window " << w << (model.waiting[w] ? " waits" : " has no signal");
                continue;
            }
            if (!claimed(im, map))
                continue;  // a dot-by-dot window's other inputs may show
            const std::vector<int> uses = takes(im).sources;
            const Timing& t = kTimings[timing_[uses.front()]];
            const platform::Canvas card = platform::sim::drawTestCard(kPortOfSource[uses.front()], t.w, t.h, t.rate, 0);
            const int margin = 2 + std::max(map.from.w / map.to.w, map.from.h / map.to.h);
            long seen = 0;
            ASSERT_EQ(canvasprobe::mismatches(after, card, map, step, &seen, margin, shows), 0)
                << "window " << w << " at " << at << " of " << seen << " points";
            checked_ += seen;

            // A frozen window keeps its frame, unless it changed itself, an input
            // it takes changed, or the box moved its capture to another channel.
            bool itself = std::memcmp(&im, &was.image[w], sizeof im) != 0 || restarted || model.waiting[w];
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

    RandomWalk walk{"window walk", 51, 40};
    HandOut model;
    int timing_[kSources] = {};  // index into kTimings, -1 pulled
    int replugged_ = -1;         // the input the step plugged or pulled
    long checked_ = 0;
};

}  // namespace

TEST_F(WindowWalk, TheCanvasShowsWhatTheBoxReportsThroughAnySequenceOfChanges)
{
    platform::Canvas before = canvas();
    for (int n = 0; n < walk.steps; ++n) {
        const KEL_RAM_PARA was = live();
        int heldBefore[kWindows];
        for (int w = 0; w < kWindows; ++w)
            heldBefore[w] = heldChannel(w);
        const int kind = walk.kind(kStepWeights);
        const std::string what = step(kind);
        SCOPED_TRACE(walk.step(n, what));
        std::printf("window walk step %d: %s\n", n, what.c_str());
        settle();
        chip->advanceFrames(5);
        const platform::Canvas after = canvas();
        check(before, after, was, heldBefore, kind == kRestart);
        if (HasFatalFailure())
            return;
        before = after;
    }
    std::printf("window walk: %ld picture points checked\n", checked_);
    EXPECT_GT(checked_, long(walk.steps) * 10);
}
