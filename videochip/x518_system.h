// The chip manager's system parameter record (x518_manage::sys): clocks,
// the output timing of one output channel, the V-by-One transmitter layout,
// the frame-buffer memory map of the chip's external memory and the OSD
// memory areas, filled by load_system_param at bring-up and completed by
// define_param (the derived words). The output panel initialisation
// overwrites the output timing, the transmitter layout and the panel size.
// The fields carry the labels under which the parameter dump prints them.
#pragma once

#include "app/global.h"
#include "registers/x518_regs.h"

struct X518System {
    static constexpr int kFields = x518::kFields;
    static constexpr int kPllWords = 9;
    static constexpr int kVboLaneSwitches = 12;
    // Each input channel writes its lines into a column of the scaler
    // memory's lines (PS_MEM_SC): 8 KiB, a line of 2,560 pixels in the
    // packed format.
    static constexpr u32 kColumnBytes = 0x2000;

    u32 PS_CLK_SYS = 0;    // Hz
    u32 PS_CLK_MEM = 0;    // Hz
    u32 PS_CLK_MEM_Q = 0;  // a quarter of PS_CLK_MEM
    u32 PS_CLK_REF = 0;    // Hz, reference of the PLLs and measurements
    u32 PS_CLK_REF2 = 0;   // Hz

    // ---- output timing of one output channel
    u32 PS_ACTHW = 0, PS_ACTVW = 0, PS_HTOTAL = 0, PS_VTOTAL = 0;
    u32 PS_HSW = 0, PS_HBP = 0, PS_VSW = 0, PS_VBP = 0;
    u32 PS_VBOTX_MODE = 0, PS_VBOTX_LAYOUT = 0;
    u32 PS_PLL[kPllWords] = {};

    // ---- frame-buffer memory map
    u32 PS_MEM_SC[x518::kChannels][kFields] = {};  // five field buffers of each scaler group
    u32 fb_pitch = 0;                              // memory line step unit
    u32 PS_DBD_BASE[kFields] = {};                 // field areas of the dot-by-dot memory
    u32 PS_DBD_BLOCK = 0;                          // size of one dot-by-dot block
    u32 PS_SPARE = 0;
    u32 PS_MEM_IP_I[x518::kCmosPorts][2] = {};
    u32 PS_MEM_IP_P[x518::kCmosPorts][2] = {};
    u32 PS_MEM_IPYOFF[x518::kCmosPorts] = {};
    u32 PS_MEM_MV[x518::kCmosPorts] = {};
    u32 PS_MWI_IP[x518::kCmosPorts] = {};
    u32 PS_VBO_LANE_SW[kVboLaneSwitches] = {};  // PS_VBO_2LANE, PS_VBO_4LANE, PS_VBO_8LANE switches
    u32 PS_SFL_ADDR = 0, PS_MEM_OSD = 0, PS_MEM_OSD1 = 0, PS_FONT_ADDR = 0;

    // ---- derived by define_param (and again by the panel initialisation)
    u32 PS_ACTHST = 0, PS_ACTVST = 0;
    u32 PS_OAOIHST = 0, PS_OAOIHED = 0, PS_OAOIVST = 0, PS_OAOIVED = 0;
    u32 PS_PANEL_HW = 0, PS_PANEL_VW = 0, PS_PANEL_HSHAPE = 0, PS_PANEL_VSHAPE = 0;
};
