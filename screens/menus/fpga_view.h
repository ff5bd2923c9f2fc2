// What the settings pages show of the FPGA side: FPGA 0's state, version
// registers, the sending ports' links and the canvas area each port drives.
// Read from the FPGA manager's images without a lock (the areas through the
// manager, under its lock); without a manager the FPGA counts as not running
// (registers 0, every port offline, areas 0).
#pragma once

#include "app/global.h"

namespace fpgaview {

// FPGA 0's state register reads running.
bool running();
// FPGA 0's program is marked incomplete: the manager holds it in reset.
bool heldIncomplete();
// A register of FPGA 0's image as the manager last read it; 0 without one.
u8 reg(u8 r);
// Link mask of the sending ports (bit n = port n has a link), re-read from
// FPGA 0; 0 while it is not running.
u16 links();

// The area of the LED canvas a sending port drives, in pixels: as FPGA 0
// holds it while it runs, else as the box keeps it for FPGA 0 (the area the
// port gets when FPGA 0 comes up).
struct PortArea {
    u16 x;
    u16 y;
    u16 w;
    u16 h;
};
PortArea portArea(int port);
// FPGA 0 runs and holds the areas portArea gives.
bool holdsAreas();

}  // namespace fpgaview
