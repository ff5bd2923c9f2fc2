// The chip manager's input-channel record (x518_manage::ich): which window
// owns each of the eight input channels and which channels each window
// holds, what the previous programming pass set, and the dot-by-dot memory:
// the pool of six blocks, the blocks each window holds, and the field
// addresses and line pitch a dot-by-dot window was given. The channel
// allocation and the dot-by-dot memory assignment write it; the window
// programming reads it.
#pragma once

#include "app/global.h"
#include "registers/x518_regs.h"

struct X518InputChannels {
    static constexpr int kWindows = x518::kWindows;
    static constexpr int kChannels = x518::kChannels;
    static constexpr int kDbdBlocks = 6;
    static constexpr int kDbdBlocksPerWindow = 4;

    // ---- channel ownership (-1 = none)
    i32 ich_win[kChannels] = {};            // window owning each channel
    i32 win_ich[kWindows][kChannels] = {};  // channels of each window, ascending, -1 ends the list
    i32 ich_win_prev[kChannels] = {};       // as the previous programming pass set them
    i32 win_ich_prev[kWindows][kChannels] = {};
    i32 ich_rec[kChannels][4] = {};  // channel number, then three words of the programming
    i32 ich_state[kChannels] = {};

    // ---- dot-by-dot memory
    i32 dbd_pool[kDbdBlocks] = {};                        // window holding each block, -1 free
    i32 win_dbd_blk[kWindows][kDbdBlocksPerWindow] = {};  // blocks of each window, -1 none
    u32 dbd_fb_base[kWindows][x518::kFields] = {};
    u32 dbd_pitch[kWindows] = {};
};
