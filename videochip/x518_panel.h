// The chip manager's output panel record (x518_manage::pnl). The output
// panel initialisation rebuilds it whole from the LED canvas size, the
// splice mode and the size of output 1: the canvas and the two output
// sizes, the offset of output 1 inside the output-channel canvas, the
// output channels across and down and their arrangement, the active size
// and timing of one output channel (pnl.och), and the geometry it publishes
// into the parameter block (led_x, led_y, och_num_h, och_num_v, och_w,
// och_h, och_mode). The multi-window environment, the window geometry and
// the OSD read it between two initialisations; nothing else writes it.
#pragma once

#include "app/global.h"

// Channel arrangements the panel initialisation chooses (pnl.arrang):
// output channels across x down.
enum X518Arrangement : u32 {
    ARRANG2K4_2x1 = 5,
    ARRANG2K4_4x1_8K = 6,
    ARRANG2K4_2x2_8K = 7,
    ARRANG2K4_1x2 = 8,
};

// Channel bandwidth kinds (pnl.ochBW); the panel uses only the first.
enum X518ChannelBandwidth : u32 { OCHBW_2K4K30 = 0 };

// Active size and timing of one output channel, pixels and lines.
struct X518OchTiming {
    i32 width = 0;
    i32 height = 0;
    i32 htt = 0;  // horizontal total
    i32 hsw = 0;  // horizontal sync width
    i32 hfp = 0;  // horizontal front porch
    i32 vtt = 0;  // vertical total
    i32 vsw = 0;  // vertical sync width
    i32 vfp = 0;  // vertical front porch
};

struct X518Panel {
    u16 w = 0;          // LED canvas width
    u16 h = 0;          // LED canvas height
    u16 out_w[2] = {};  // width of output 1 and output 2
    u16 out_h[2] = {};  // height of output 1 and output 2
    u16 xoffs = 0;      // offset of output 1 inside the channel canvas
    u16 yoffs = 0;
    u8 och_HCnt = 0;  // output channels across
    u8 och_VCnt = 0;  // output channels down
    u32 splice = 0;   // splice mode 0-5 (ram::SpliceMode)
    u32 ochBW = OCHBW_2K4K30;
    u32 arrang = 0;  // X518Arrangement
    X518OchTiming och;
    // 1: each output is carried by one output channel across ("use1och");
    // 0: by two, with the wider blanking.
    u8 one_och = 0;

    // ---- the geometry as published into the parameter block
    u16 och_num_h = 0;  // output channels across
    u16 och_num_v = 0;  // output channels down
};
