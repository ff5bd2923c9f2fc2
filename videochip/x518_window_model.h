// The chip manager's window model (x518_manage::model): where each of the
// six chip windows lies on the output-channel canvas and what it shows (the
// PM_ tables, the window records win_info and the window count), the
// multi-window presets, the input and output windows the timing blocks
// compute, the per-window state of the window programming, and the change
// flags through which the parameter load, the setters and the input checks
// ask the window programming for work. The load of the default model, the
// multi-window environment and the setters write it; the window programming
// reads it.
#pragma once

#include "app/global.h"
#include "registers/x518_regs.h"

// Dot-by-dot codes of a window (PM_WIN_DBD_MODE): off, one input shown
// pixel for pixel, or a picture assembled from several inputs.
enum DbdMode : i32 {
    DBD_DISABLE = 0,
    DBD_SINGLE_INPUT = 1,
    DBD_CMOS_IN12 = 20,
    DBD_CMOS_IN12V = 21,
    DBD_CMOS_IN34 = 22,
    DBD_CMOS_IN34V = 23,
    DBD_CMOS_IN123 = 30,
    DBD_CMOS_IN1234 = 40,
    DBD_CMOS_IN1234Q = 41,
    DBD_VBO_IN12 = 50,
    DBD_VBO_IN12V = 51,
};

// A rectangle of the chip: start and size.
struct _ImageWindowDef_st {
    i32 hst;
    i32 hw;
    i32 vst;
    i32 vw;
};

// One output channel's part of a window: start inside the channel and size,
// and whether the channel holds the window's first or last column (row).
struct _ImageWindowDef2_St {
    i32 hst;
    i32 hw;
    i32 vst;
    i32 vw;
    i32 h_first;
    i32 h_last;
    i32 v_first;
    i32 v_last;
};

// Scaling of a window: mode 0 none, 1 shrink, 2 zoom; ratios 16.16 fixed
// point (0x10000 = 1:1). The input channel shrinks, the output channel zooms.
struct _ScalingSt {
    i32 h_mode;
    i32 v_mode;
    i32 h_shrink;
    i32 v_shrink;
    i32 h_zoom;
    i32 v_zoom;
};

// A window of the chip on the output-channel canvas. The records are packed:
// record i describes the i-th window in use, in window order.
#pragma pack(push, 1)
struct ST_WIN_INFO {
    i16 x, y, w, h;
    u8 mirror;  // bit 0 horizontal, bit 1 vertical
    u8 output;  // bit 0 black, bit 1 freeze
    u8 enable;
    u8 input;  // source number as the parameter block gives it
    u8 crop;   // index into KEL_RAM_PARA.crop_list
    u8 layer;  // 0 = top
    // Two lists of eight output channels, 0xFF where none: entries 0-7 the
    // channel that shows each area (ochLst), 8-15 the channel the area lies
    // on (ochPosLst); they differ where a shared channel was replaced by a spare.
    u8 och[16];
    u8 h_cnt, v_cnt;  // output channels across and down
};
#pragma pack(pop)
static_assert(sizeof(ST_WIN_INFO) == 32, "ST_WIN_INFO is 32 bytes");

// A window rectangle of a multi-window preset.
struct ST_MWIN_RECT {
    i32 x, y, w, h;
};
static_assert(sizeof(ST_MWIN_RECT) == 16, "a preset window record is 16 bytes");

// A multi-window preset: window count and its rectangles.
struct ST_MWIN {
    i32 wincnt;
    ST_MWIN_RECT* pwin;
};

// A crop rectangle in source pixels.
struct ST_RECT {
    i32 x, y, w, h;
};

struct X518WindowModel {
    static constexpr int kWindows = x518::kWindows;
    static constexpr int kChannels = x518::kChannels;
    static constexpr int kFields = x518::kFields;
    static constexpr int kMwinPresets = 10;

    // ---- the windows on the canvas (indexed by window, or by output channel where said)
    i32 PM_WIN_SHAPE[kWindows][2] = {};     // output channels across and down
    i32 PM_INPUT[kWindows] = {};            // chip input port
    i32 PM_WIN_OFFSET[kWindows][4] = {};    // left, right, top, bottom margin inside the cells
    i32 PM_INPUT_OFFSET[kWindows][4] = {};  // left, right, top, bottom crop of the input
    i32 PM_INPUT_OFFSET_EN[kWindows] = {};  // 1 = the input is cropped
    i32 PM_WIN_NUM[kChannels] = {};         // window shown by each output channel
    i32 PM_AREA_NUM[kChannels] = {};        // area of each output channel inside its window
    i32 PM_OVERLAY[kChannels] = {};         // mixer each output channel blends into
    i32 PM_OVERLAY_PRI[kWindows] = {};
    i32 win_mirror_h[kWindows] = {};
    i32 win_mirror_v[kWindows] = {};
    i32 PM_WIN_FADE_EN[kWindows] = {};
    i32 PM_WIN_FADE_IN[kWindows] = {};
    i32 PM_WIN_FADE_OUT[kWindows] = {};
    i32 PM_WIN_DBD_MODE[kWindows] = {};
    i32 PM_WIN_DBD_CLIP[kWindows] = {};  // clip the input window to the output window
    i32 PM_SWITCH[2] = {};               // the two further switches of the default model
    // Lead window of each window's stitch group (win_group); a leading or
    // single window holds its own index.
    i32 PM_WIN_STITCHING[kWindows] = {};
    // The chip windows (packed records, see ST_WIN_INFO), indexed like every
    // per-window table here.
    ST_WIN_INFO win_info[kWindows] = {};
    // Windows in use: what the multi-window environment counts (the six of
    // the default model until the first environment is built).
    i32 wincnt = kWindows;
    // Record of each parameter-block window, -1 for a window not in use;
    // all -1 while the default environment (one window over the canvas) stands.
    i32 win_record[kWindows] = {-1, -1, -1, -1, -1, -1};
    i32 default_env = 0;  // 1 while the default environment stands

    // ---- output channels handed out by the environment
    u8 och_alloc[kChannels] = {};  // the channel's own index when a window uses it, 0xFF free
    u8 och_spare[kChannels] = {};  // 1 handed out as a spare, 0xFF otherwise
    i32 och_oor = 0;               // 1: a window's channel list held no channel

    // ---- multi-window presets
    ST_MWIN mwin_preset[kMwinPresets] = {};
    ST_MWIN_RECT mwin_preset_rect[kMwinPresets][kWindows] = {};

    // ---- input and output window of each window, computed before programming
    _ImageWindowDef_st IWIN[kWindows] = {};
    _ImageWindowDef_st OWIN[kWindows] = {};

    // ---- window programming state
    i32 win_number[kWindows] = {};
    i32 win_level[kWindows] = {};
    i32 fb_ring[kWindows][kFields] = {};  // the window's five frame buffers in ring order
    i32 win_frozen[kWindows] = {};
    i32 win_enable[kWindows] = {};
    u8 win_flag[kWindows] = {};
    i32 win_state[kWindows] = {1, 1, 1, 1, 1, 1};  // owned by the window programming
    // Pixel format of the window in frame memory (0 four bytes a pixel, 1
    // sixteen bytes per five pixels, 2 eight per three, 3 two a pixel),
    // chosen by the window programming from the format asked for
    // (PS_MEM_WMODE, the packed format the memory map is laid out for) and
    // what the shrink allows.
    i32 PM_MEM_WMODE[kWindows] = {};
    i32 PS_MEM_WMODE[kWindows] = {};
    // The width and height the input side shrinks a window's input to when
    // that is smaller than its output window (a picture its memory column
    // or field cannot hold at the window's size, or the V-by-One split);
    // 0 where it shrinks to the output window. The output side zooms from
    // them.
    i32 mem_hw[kWindows] = {};
    i32 mem_vw[kWindows] = {};
    // 1: the output side reads the window with vertical control 5 and one
    // line early; 0 for a window that V-by-One mode 2 zooms vertically.
    i32 och_vmode5[kWindows] = {};
    // PM_WIN_NUM as the previous programming pass left it: what a picture
    // hold freezes.
    i32 win_num_prev[kChannels] = {};

    // ---- mixers (layers)
    i32 win_och[kWindows][kChannels] = {};       // output channels of each window, ascending, -1 after
    i32 g_och_layer_cnt[kChannels] = {};         // channels in each mixer's list
    i32 g_och_layer[kChannels][kChannels] = {};  // each mixer's channels, lowest layer first

    // 1: the input channels (or the dot-by-dot memory) cannot carry what the
    // window asks to show. It holds no input channel and shows black; while
    // it waits it costs no channel, so that it never keeps another window
    // from being set up; every programming pass tries it again, after the
    // windows that show. It follows its block window into a new
    // environment.
    i32 win_refused[kWindows] = {};

    // ---- change flags (1 = changed)
    i32 win_chg[kWindows] = {};
    i32 g_chg_input[kWindows] = {};  // input change code: 1 set/reported, 2 lost channel, 3 re-measured
    i32 win_attr_chg[kWindows] = {};
    i32 win_fade_chg[kWindows] = {};
    i32 g_chg_dbd[kWindows] = {};
    i32 win_pri_chg[kWindows] = {};
    i32 win_stitch_chg[kWindows] = {};
    i32 overlay_chg = 0, priority_chg = 0;
    i32 switch_chg[2] = {};
};
static_assert(X518WindowModel::kWindows == 6, "win_state starts at 1 for six windows");
