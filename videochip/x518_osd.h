// The chip's OSD engine: the option codes of x518_manage::kelApi_OsdSet.
#pragma once

// What kelApi_OsdSet(option, value) sets. Options that change what is shown
// ask for a window reset or a redraw in the next apply pass; the others take
// effect with the next one that something else asks for.
enum OsdOption : int {
    kOsdDisplay = 0,          // shown (reset)
    kOsdHZoom = 1,            // plane shown at twice its width (reset)
    kOsdVZoom = 2,            // at twice its height (reset)
    kOsdTextMode = 3,         // 1 text, 0 bitmap (redraw)
    kOsdScrollMode = 4,       // 0-8, value % 9 (reset)
    kOsdOutputX = 5,          // left margin on the panel: LED origin + value
    kOsdOutputWidth = 6,      // right margin from the window's width
    kOsdOutputY = 7,          // top margin
    kOsdOutputHeight = 8,     // bottom margin from the window's height
    kOsdInputX = 9,           // left margin cut from the plane: always 0
    kOsdInputWidth = 10,      // right margin cut from the plane
    kOsdInputY = 11,          // top margin cut from the plane
    kOsdInputHeight = 12,     // bottom margin cut from the plane
    kOsdScrollSpeed = 13,     // value % 256 (reset)
    kOsdChar64 = 14,          // 1 64-dot, 0 32-dot characters (redraw)
    kOsdUpdateButton = 15,    // recorded only (redraw)
    kOsdBackColour = 16,      // 0xBBGGRR
    kOsdCharColour = 17,      // 0xBBGGRR
    kOsdBackTransparent = 18, // 1 transparent background
    kOsdPlaneWidth = 19,
    kOsdPlaneHeight = 20,
    kOsdTextX = 21,           // text origin in the plane
    kOsdTextY = 22,
    kOsdRequests = 32,        // bit 7 reset, bit 6 redraw, set directly
    kOsdBottomLayer = 33,     // 1 below the video
    kOsdWordSpace = 34,       // extra advance after every character
    kOsdLineSpace = 35,       // extra distance between lines
};
