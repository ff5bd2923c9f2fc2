// Fuzz harness of the simulated video chip's canvas drawing. The input is
// what the chip's registers hold, which inputs carry a picture and how the
// output channels tile the LED canvas; no register content may make the
// drawing read outside what it holds (a capture on a code that carries no
// picture once did), and the canvas is the size the layout cuts.
//
// Input: seven bytes, then (bank, address, value) triples written over
// registers that start at zero:
//   0: bits 0-1 tiles across - 1, bit 2 tiles down - 1, bits 4-5 the
//      V-by-One ports 4 and 5 give each half of a line on its own code,
//      bit 7 plain inputs (each its port's colour)
//   1, 2: where the cut starts, in steps of 16 pixels across and down
//   3-5: three bits a port (0-5), from bit 0 of byte 3: no picture (0, 6,
//      7), or one of five timings
//   6: the frame the chip's clock stands at
// The seeds in corpus/canvas are register images of a running box (the
// `chip` command's dump) in the states that matter: windows of one input,
// of several, of halves of V-by-One lines.
#include "platform/sim/sim_x518.h"
#include "platform/sim/sim_x518_canvas.h"

#include <cstdlib>
#include <iterator>

namespace {

using platform::sim::CanvasInputs;
using platform::sim::InputPicture;
using platform::sim::SimX518;

constexpr size_t kHead = 7;
constexpr int kCutStep = 16;
constexpr int kCutWidth = 256, kCutHeight = 144;  // a small cut keeps each run short
struct Timing {
    int width, height, hstart, vstart;
};
// The active picture and where it starts in the line and the frame.
constexpr Timing kTimings[] = {
    {640, 360, 112, 12}, {1920, 1080, 192, 41}, {1280, 720, 260, 25}, {3840, 2160, 384, 82}, {160, 90, 112, 12}};
constexpr int kVboPort = 4;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHead)
        return 0;
    platform::CanvasLayout layout;
    layout.across = 1 + (data[0] & 3);
    layout.down = 1 + ((data[0] >> 2) & 1);
    layout.x = data[1] * kCutStep;
    layout.y = data[2] * kCutStep;
    layout.width = kCutWidth;
    layout.height = kCutHeight;
    CanvasInputs in;
    const unsigned timings = unsigned(data[3]) | unsigned(data[4]) << 8 | unsigned(data[5]) << 16;
    for (int p = 0; p < platform::sim::kCanvasPorts; ++p) {
        const unsigned t = (timings >> (3 * p)) & 7;
        if (t == 0 || t > std::size(kTimings))
            continue;
        InputPicture& pic = in.ports[size_t(p)];
        const Timing& timing = kTimings[t - 1];
        pic = {true, timing.width, timing.height, timing.hstart, timing.vstart, 60.0, false};
        pic.splitLines = p >= kVboPort && (data[0] >> (4 + p - kVboPort) & 1);
    }
    in.plain = (data[0] & 0x80) != 0;
    in.clock.frame = data[6];
    platform::sim::SimX518Flash::Registers regs{};
    for (size_t i = kHead; i + 3 <= size; i += 3)
        regs[data[i]][data[i + 1] % SimX518::kBankSize] = data[i + 2];
    const platform::Canvas canvas = platform::sim::drawCanvas(regs, layout, {}, in);
    check(canvas.empty() ||
          (canvas.width >= 1 && canvas.width <= kCutWidth && canvas.height >= 1 && canvas.height <= kCutHeight &&
           canvas.pixels.size() == size_t(canvas.width) * size_t(canvas.height)));
    return 0;
}
