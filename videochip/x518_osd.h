// The chip manager's OSD record (x518_manage::osd): the map of the fonts
// and the bitmap in the chip's serial flash and where the loaded fonts sit
// in chip memory, the drawing plane (size, colours, text origin), the OSD
// part of the default model (PM_OSD_), and the two requests through which
// the parameter load and the OSD setter ask the dispatcher's watch half to
// redraw the plane or to reprogram the OSD windows. The font load, the OSD
// engine and the overlay description file work on it.
#pragma once

#include "app/global.h"

struct X518Osd {
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

    // ---- requests to the watch half (1 = pending)
    i32 osd_reset = 0;   // reprogram the OSD windows and scrolling
    i32 osd_redraw = 0;  // redraw the plane
};
