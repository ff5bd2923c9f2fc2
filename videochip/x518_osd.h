// The chip manager's OSD record (x518_manage::osd): the map of the fonts
// and the bitmap in the chip's serial flash and where the loaded fonts sit
// in chip memory, the drawing plane (size, colours, text origin), the OSD
// part of the default model (PM_OSD_), the OSD engine's own state (text
// buffer, spacing, layer, the OSD window and the plane pitch), and the two
// requests through which the parameter load and the OSD setter ask the
// dispatcher's watch half to redraw the plane or to reprogram the OSD
// windows. The font load, the OSD engine (x518_manage_osd.cpp) and the
// overlay description file (omenu.cpp) work on it.
#pragma once

#include "app/global.h"
#include "videochip/x518_window_model.h"

// What kelApi_OsdSet(option, value) sets. Options that change what is shown
// ask for a window reset or a redraw in the next apply pass; the others take
// effect with the next one that something else asks for.
enum OsdOption : int {
    kOsdDisplay = 0,           // shown (reset)
    kOsdHZoom = 1,             // plane shown at twice its width (reset)
    kOsdVZoom = 2,             // at twice its height (reset)
    kOsdTextMode = 3,          // 1 text, 0 bitmap (redraw)
    kOsdScrollMode = 4,        // 0-8, value % 9 (reset)
    kOsdOutputX = 5,           // left margin on the panel: LED origin + value
    kOsdOutputWidth = 6,       // right margin from the window's width
    kOsdOutputY = 7,           // top margin
    kOsdOutputHeight = 8,      // bottom margin from the window's height
    kOsdInputX = 9,            // left margin cut from the plane: always 0
    kOsdInputWidth = 10,       // right margin cut from the plane
    kOsdInputY = 11,           // top margin cut from the plane
    kOsdInputHeight = 12,      // bottom margin cut from the plane
    kOsdScrollSpeed = 13,      // value % 256 (reset)
    kOsdChar64 = 14,           // 1 64-dot, 0 32-dot characters (redraw)
    kOsdUpdateButton = 15,     // recorded only (redraw)
    kOsdBackColour = 16,       // 0xBBGGRR
    kOsdCharColour = 17,       // 0xBBGGRR
    kOsdBackTransparent = 18,  // 1 transparent background
    kOsdPlaneWidth = 19,
    kOsdPlaneHeight = 20,
    kOsdTextX = 21,  // text origin in the plane
    kOsdTextY = 22,
    kOsdRequests = 32,     // bit 7 reset, bit 6 redraw, set directly
    kOsdBottomLayer = 33,  // 1 below the video
    kOsdWordSpace = 34,    // extra advance after every character
    kOsdLineSpace = 35,    // extra distance between lines
};

struct X518Osd {
    static constexpr int kTextLines = 64;       // line slots of the text buffer
    static constexpr int kTextSlotBytes = 256;  // 127 code units high byte first, then two zero bytes

    // ---- fonts and bitmap: flash map from osd_char_txt / osd_bmp_txt, chip-memory address of each loaded font
    u32 PS_CHAR_ADDR_32ASCII = 0, PS_CHAR_ADDR_32CHN = 0, PS_CHAR_ADDR_64ASCII = 0, PS_CHAR_ADDR_64CHN = 0;
    u32 PS_CHAR_SIZE_32ASCII = 0, PS_CHAR_SIZE_32CHN = 0, PS_CHAR_SIZE_64ASCII = 0, PS_CHAR_SIZE_64CHN = 0;
    u32 g_font_addr_32ASCII = 0, g_font_addr_32CHN = 0, g_font_addr_64ASCII = 0, g_font_addr_64CHN = 0;
    u32 PS_BMP_ADDR = 0, PS_BMP_HACT = 0, PS_BMP_VACT = 0, PS_BMPCP_ADDR = 0;

    // ---- the drawing plane
    u32 PS_BG_HACT = 0, PS_BG_VACT = 0;
    u32 PS_BG_COLOR = 0, PS_CHAR_COLOR = 0;  // 0xBBGGRR
    u32 PS_BG_TRANS = 0;                     // 1 = transparent background
    u32 PS_CHAR_HST = 0, PS_CHAR_VST = 0;

    // ---- the OSD part of the default model
    i32 PM_OSD_EN = 0, PM_OSD_HZOOM_EN = 0, PM_OSD_VZOOM_EN = 0, PM_OSD_DATA_MODE = 0, PM_OSD_SCROLL_MODE = 0;
    i32 PM_OSD_OUTPUT_OFFSET[4] = {};  // margins on the output panel: left, right, top, bottom
    i32 PM_OSD_INPUT_OFFSET[4] = {};   // margins cut from the drawn plane
    i32 PM_OSD_UPDATE_BUTTON = 0;
    i32 PM_OSD_CHAR_64DOT = 0, PM_OSD_SCROLL_SPEED = 0;

    // ---- the engine
    i32 osd_bottom_layer = 0;      // 1 = below the video
    i32 osd_word_space = 0;        // extra advance after every character, pixels
    i32 osd_line_space = 0;        // extra distance between text lines
    _ImageWindowDef_st OSD_WIN{};  // the OSD window on the panel (calc_osd)
    u32 g_osd_mwi = 0;             // plane line pitch in 128-byte units (512 with g_osd_mwi_shift)
    u32 g_osd_mwi_shift = 0;
    i32 g_unicode_line = 0;  // lines in the text buffer
    u8 osd_text[kTextLines * kTextSlotBytes] = {};

    // ---- requests to the watch half (1 = pending)
    i32 osd_reset = 0;   // reprogram the OSD windows and scrolling
    i32 osd_redraw = 0;  // redraw the plane
};
