// The picture the simulated X518 puts on the LED canvas, drawn from its own
// registers, so that a person or a test can see where each window landed.
//
// Every output channel in use (00:08 + k bit 0) shows what its mixer makes:
// the channels on the mixer's overlay list, lowest layer first, each one
// covering what lies below it inside its picture area (OACT, zoomed by the
// zoom block and clipped to the channel's active window and shown area).
// A channel's picture is its background colour while the background is on,
// else its test pattern while one is set, else the colour of the input port
// that feeds it (OSYCT's input channel, that channel's ICHSEL). Where no
// channel shows anything the canvas is black. Over the video (or under it)
// each tile shows its part of the OSD window: filled with the OSD's
// background colour, or only framed where the plane is transparent or holds
// the bitmap (the glyphs themselves are not drawn). docs/simulated-box.md
// has the colours and the registers.
#pragma once

#include "platform/platform.h"
#include "platform/sim/sim_x518_flash.h"

#include <cstdint>

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

// The canvas the registers describe, cut as the layout says; empty when the
// layout is impossible (no tiles, more than 8) or the picture would be larger
// than kMaxCanvasPixels.
Canvas drawCanvas(const SimX518Flash::Registers& regs, const CanvasLayout& layout, const OsdLook& osd = {});

}  // namespace platform::sim
