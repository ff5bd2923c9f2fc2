// The picture the simulated X518 puts on the LED canvas, drawn from its own
// registers as the chip would make it, so that a person or a test can see
// what each window shows and a fault in the chip programming shows as a
// wrong picture.
//
// Each plugged input carries its test card (sim_x518_card.h). An input
// channel captures its area of its port's picture (IACT), shrinks it and
// writes it into frame memory (ISFLD, IMWI) while its capture runs; a held
// capture keeps the frame it last wrote, and the write ring says which of
// five buffers each frame goes to. Every output channel in use (00:08 + k
// bit 0) reads its buffer of the read ring from memory (OSFLD, OMWI, right to
// left when mirrored), zooms it and places it (OACT, clipped to the
// channel's active window and shown area). A channel's picture is its
// background colour while the background is on, else its test pattern while
// one is set, else what it read. Each mixer lays the channels of its overlay
// list over one another, lowest first; mixers 0-3 blend them by their
// weights. Where nothing shows the canvas is black. Over the video (or under
// it) each tile shows its part of the OSD window: filled with the OSD's
// background colour, or only framed where the plane is transparent or holds
// the bitmap (the glyphs themselves are not drawn). docs/simulated-box.md
// has the registers.
#pragma once

#include "platform/platform.h"
#include "platform/sim/sim_x518_flash.h"

#include <array>
#include <cstdint>
#include <functional>

namespace platform::sim {

// One colour per input port: 0-3 parallel, 4-5 V-by-One receivers.
constexpr uint32_t kPortColours[] = {
    0xFFE04040,  // port 0 (HDMI2): red
    0xFF40C040,  // port 1 (HDMI1): green
    0xFF4060E0,  // port 2 (DVI): blue
    0xFFE0C040,  // port 3: yellow
    0xFFC040C0,  // port 4: magenta
    0xFF40C0C0,  // port 5 (HDMI3): cyan
};
constexpr uint32_t kNoPortColour = 0xFF808080;  // a channel that no port feeds
constexpr uint32_t kCanvasBlack = 0xFF000000;
constexpr int64_t kMaxCanvasPixels = int64_t(1) << 25;

constexpr uint32_t kOsdBitmapFrame = 0xFF808080;  // the frame of an OSD window that shows the bitmap

uint32_t portColour(int port);

// The OSD plane as the canvas shows it: the engine's colour table entries
// and whether the plane was last filled with the transparent index.
struct OsdLook {
    uint32_t background = 0;  // 0xBBGGRR, colour-table entry 1
    uint32_t characters = 0;  // entry 2
    bool transparent = false;
};

constexpr int kCanvasPorts = 6;
constexpr int kCanvasChannels = 8;
constexpr int kFrameBuffers = 5;  // buffers in an input channel's write ring; the fifth is the spare
constexpr int64_t kNoFrame = -1;

// What a plugged input carries: its card's size, where its active picture
// starts in the line and the frame (the chip's coordinates), its rate.
struct InputPicture {
    bool plugged = false;
    int width = 0, height = 0;
    int hstart = 0, vstart = 0;
    double rate = 0;
    // A V-by-One receiver that gives each half of a line on its own channel
    // code (its first-half and second-half codes), counted in half pixels.
    bool splitLines = false;
};

// The chip's frame clock as the frame memory saw it: the frame running now,
// the frame at which each input channel's capture was held (kNoFrame: not
// held by a write the chip saw), and the frame each buffer of each channel
// kept when it left the write ring (kNoFrame: none).
struct CaptureClock {
    uint64_t frame = 0;
    std::array<int64_t, kCanvasChannels> heldAt;
    std::array<std::array<int64_t, kFrameBuffers>, kCanvasChannels> kept;
    CaptureClock()
    {
        heldAt.fill(kNoFrame);
        for (auto& k : kept)
            k.fill(kNoFrame);
    }
};

struct CanvasInputs {
    std::array<InputPicture, kCanvasPorts> ports{};
    CaptureClock clock;
    bool plain = false;  // each input only its port's colour, no card
};

// The frame input channel `channel`'s capture runs at: the frame it was held
// at while its capture (or that of the channel it follows) is held.
int64_t captureFrame(const SimX518Flash::Registers& regs, const CaptureClock& clock, int channel);
// The frame whose picture buffer `buffer` of input channel `channel` holds,
// kNoFrame when it holds none: a buffer on the write ring the frame that
// last went to it, else the one it kept.
int64_t bufferFrame(const SimX518Flash::Registers& regs, const CaptureClock& clock, int channel, int buffer);

// Pixels a band of the canvas holds at most (one row at least): the
// drawing holds one band and what its rows need, never the whole picture.
constexpr int64_t kCanvasBandPixels = int64_t(1) << 18;

// The canvas the registers describe, cut as the layout says, handed to
// `take` a band of rows at a time, top to bottom (`take` returns false to
// stop). False, with nothing handed over, when the layout is impossible (no
// tiles, more than 8) or the picture would be larger than kMaxCanvasPixels;
// false too when `take` stopped.
bool drawCanvasBands(const SimX518Flash::Registers& regs, const CanvasLayout& layout, const OsdLook& osd,
                     const CanvasInputs& inputs, const std::function<bool(const CanvasBand&)>& take);
// The same whole (empty where drawCanvasBands hands nothing over); for tests.
Canvas drawCanvas(const SimX518Flash::Registers& regs, const CanvasLayout& layout, const OsdLook& osd = {},
                  const CanvasInputs& inputs = {});
// A band added to the whole picture, made at the first band.
bool addBand(Canvas& out, const CanvasBand& band);

}  // namespace platform::sim
