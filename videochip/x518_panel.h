// The chip manager's output panel record (x518_manage::pnl). The output
// panel initialisation rebuilds it whole from the LED canvas size, the
// splice mode and the size of output 1: the canvas and the two output
// sizes, the offset of output 1 inside the output-channel canvas, the
// output channels across and down and their arrangement, and the active
// size and timing of one output channel (pnl.och). The multi-window
// environment and the window geometry read it between two initialisations.
// Until that initialisation is built the record holds nothing.
#pragma once

#include "app/global.h"

struct X518Panel { };
