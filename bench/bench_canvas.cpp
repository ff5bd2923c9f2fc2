// Cost of the simulated chip's LED canvas: a 3840 x 2160 output channel
// showing a 2160p input one to one, and the same channel zooming a 1080p
// input twice while a second window blends over it. The canvas is drawn
// only on the `canvas` command; times are the host's and only indicative.
#include "platform/sim/sim_x518.h"
#include "registers/x518_regs.h"

#include <benchmark/benchmark.h>

using platform::sim::SimX518;
using x518::u32;
using x518::u8;

namespace {

// The share of the canvas that is not black: a check that it shows the picture.
double litShare(const platform::Canvas& c)
{
    size_t lit = 0;
    for (uint32_t p : c.pixels)
        lit += p != 0xFF000000;
    return c.pixels.empty() ? 0 : double(lit) / double(c.pixels.size());
}

constexpr int kW = 3840, kH = 2160;
constexpr int kActHst = 56, kActVst = 41;
constexpr u32 kPitchKb = 16;
constexpr u32 kBufferAt = 0x2000000;  // each input channel's buffer
constexpr u32 kCaptureLag = 7;

void set(SimX518& chip, u32 word, u32 value, int channel = 0)
{
    chip.setRegValue(word, value, x518::kChannelStride * u32(channel));
}

// Input channel `ich` writes port `port`'s whole picture.
void capture(SimX518& chip, int ich, int port, const SimX518::PortTiming& t)
{
    chip.plug(port, t);
    chip.setReg(0x00, u8(0x10 + ich), u8(port < x518::kFirstVboPort ? 2 * port : x518::kIchSelVbo + 4 * (port - 4)));
    set(chip, x518::kIsyct, x518::kIsyctRun, ich);
    set(chip, x518::kIactHst, t.hstart - kCaptureLag, ich);
    set(chip, x518::kIactHw, t.hactive, ich);
    set(chip, x518::kIactVst, t.vstart + 1, ich);
    set(chip, x518::kIactVw, t.vactive, ich);
    set(chip, x518::kImwi, kPitchKb, ich);
    set(chip, x518::kIsfld, kBufferAt * u32(ich), ich);
}

// Output channel `och` reads input channel `ich` into the area x, y, w x h
// of the tile, `read` x `lines` source pixels.
void place(SimX518& chip, int och, int ich, int x, int y, int w, int h, int read, int lines)
{
    chip.setReg(0x00, u8(0x08 + och), x518::kOchEnableOn);
    set(chip, x518::kOsyct, u32(ich) << 8 | x518::kOsyctLead, och);
    set(chip, x518::kOchActHst, kActHst, och);
    set(chip, x518::kOchActHend, kActHst + kW, och);
    set(chip, x518::kOchActVst, kActVst, och);
    set(chip, x518::kOchActVend, kActVst + kH, och);
    set(chip, x518::kOchAreaHst, kActHst, och);
    set(chip, x518::kOchAreaHend, kActHst + kW, och);
    set(chip, x518::kOchAreaVst, kActVst, och);
    set(chip, x518::kOchAreaVend, kActVst + kH, och);
    set(chip, x518::kOactHst, u32(kActHst + x), och);
    set(chip, x518::kOactHw, u32(read), och);
    set(chip, x518::kOactVst, u32(kActVst + y), och);
    set(chip, x518::kOactVw, u32(lines + 1), och);
    set(chip, x518::kOmwi, kPitchKb, och);
    set(chip, x518::kOsfld, kBufferAt * u32(ich), och);
    if (read != w) {
        set(chip, x518::kOchHControl, x518::kOchHControlZoom, och);
        set(chip, x518::kOchHStep, u32((int64_t(read - 1) << 16) / (w - 1)), och);
    }
    if (lines != h) {
        set(chip, x518::kOchVZoom, x518::kOchVZoomOn, och);
        set(chip, x518::kOactVst, u32(kActVst + y - 1), och);
        set(chip, x518::kOactVw, u32(lines + 2), och);
        set(chip, x518::kOchVStep, u32((int64_t(lines - 1) << 16) / (h - 1)), och);
    }
}

void BM_Canvas2160pOneToOne(benchmark::State& state)
{
    SimX518 chip;
    chip.advanceFrames(4);
    capture(chip, 0, 4, SimX518::timing2160p30());
    place(chip, 0, 0, 0, 0, kW, kH, kW, kH);
    set(chip, x518::kOverlaySelect, x518::kOverlayEntry);
    set(chip, x518::regAt(x518::kLayerCoef, x518::kLayerInputs * 1 + 1), x518::kLayerFull);
    state.counters["lit"] = litShare(chip.canvas({1, 1}));
    for (auto _ : state) {
        const platform::Canvas c = chip.canvas({1, 1});
        benchmark::DoNotOptimize(c.pixels.data());
    }
}
BENCHMARK(BM_Canvas2160pOneToOne)->Unit(benchmark::kMillisecond);

void BM_Canvas1080pZoomedWithABlendedWindow(benchmark::State& state)
{
    SimX518 chip;
    chip.advanceFrames(4);
    capture(chip, 0, 1, SimX518::timing1080p60());
    capture(chip, 1, 0, SimX518::timing1080p60());
    place(chip, 0, 0, 0, 0, kW, kH, 1920, 1080);
    place(chip, 1, 1, 960, 540, 1920, 1080, 1920, 1080);
    set(chip, x518::kOverlaySelect, x518::kOverlayEntry | (x518::kOverlayEntry + 1) << 4);
    const u32 halfBlend[][3] = {{1, 1, 128}, {3, 1, 64}, {3, 2, 64}};  // mask, input, weight
    for (const auto& w : halfBlend)
        set(chip, x518::regAt(x518::kLayerCoef, x518::kLayerInputs * w[0] + w[1]), w[2]);
    state.counters["lit"] = litShare(chip.canvas({1, 1}));
    for (auto _ : state) {
        const platform::Canvas c = chip.canvas({1, 1});
        benchmark::DoNotOptimize(c.pixels.data());
    }
}
BENCHMARK(BM_Canvas1080pZoomedWithABlendedWindow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
