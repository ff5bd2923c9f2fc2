// The twenty built-in test pictures of the output channels' pattern
// generators: what each one sets in the generator's registers.
#pragma once

#include "registers/x518_regs.h"

namespace x518::pattern {

constexpr i32 kLeave = -1;  // the register stays at the 0 written before the row
constexpr int kPatterns = 20;

// The control word: on a window wider than kWideWidth every row sets `wide`;
// otherwise the first output channel of the window takes `first` and the
// others `others`.
constexpr int kWideWidth = 2048;
struct Control {
    u16 wide, first, others;
};
constexpr Control kPlainControl = {0x8000, 0x8000, 0x8000};

struct Row {
    u8 type;
    i32 p1, p2, p3;
    Control control;
    i32 s1, s2;
    u8 colour1[3];
    u8 colour2[3];
};

// The generator types by name where the register header names them; the
// other rows give the chip's type codes as they stand.
constexpr u8 kSolid = kPatternSolid, kStripes = kPatternVStripes, kHStripes = kPatternHStripes,
             kVLines = kPatternVLines, kHLines = kPatternHLines, kChecks = kPatternChecks, kGrid = kPatternGrid;
constexpr Control kSolidControl = {0x8000, 0, 3};
constexpr Control kVLinesControl = {0x8000, 0x0E, 0x0E};
constexpr Control kHLinesControl = {0x8000, 0x0F, 0x0F};
constexpr i32 L = kLeave;

// Row k is pattern k + 1 (and k + 21, ...).
inline constexpr Row kRows[kPatterns] = {
    {kSolid, L, L, L, kSolidControl, L, L, {255, 0, 0}, {3, 3, 3}},
    {kSolid, L, L, L, kSolidControl, L, L, {0, 255, 0}, {3, 3, 3}},
    {kSolid, L, L, L, kSolidControl, L, L, {0, 0, 255}, {3, 3, 3}},
    {kSolid, L, L, L, kSolidControl, L, L, {255, 255, 255}, {3, 3, 3}},
    {kSolid, L, L, L, kSolidControl, L, L, {0, 0, 0}, {3, 3, 3}},
    {kStripes, 0, 0, 0, kPlainControl, 0x1E0, 0, {255, 255, 255}, {3, 3, 3}},
    {kVLines, L, L, L, kVLinesControl, 1, L, {255, 255, 255}, {3, 3, 3}},
    {kHLines, L, L, L, kHLinesControl, L, 1, {255, 255, 255}, {3, 3, 3}},
    {kGrid, 0x30, 0, 0, kPlainControl, 0x20, 0x20, {255, 255, 255}, {3, 3, 3}},
    {kGrid, 0x30, 0, 0, kPlainControl, 0x20, 0x20, {255, 255, 255}, {3, 3, 3}},
    {kGrid, 0x30, 0, 0, kPlainControl, 0x20, 0x20, {255, 255, 255}, {3, 3, 3}},
    {kChecks, 0, 0, 0, kPlainControl, 0xF0, 0x10E, {255, 255, 255}, {3, 3, 3}},
    {kVLines, 0, 0, 0, kPlainControl, 1, 0, {255, 255, 255}, {3, 3, 3}},
    {kStripes, 0, 0, 0, kPlainControl, 0x1E0, 0, {255, 255, 255}, {3, 3, 3}},
    {3, 0, 1, 0, kPlainControl, 0x8FFF, 0, {0, 0x78, 0}, {0, 0, 0}},
    {3, 2, 1, 1, kPlainControl, 0x8FFF, 0x8FFF, {0, 0x78, 0}, {0, 0, 0}},
    {6, 0, 0, 0, kPlainControl, 0x3C0, 0, {255, 255, 255}, {3, 3, 3}},
    {9, 0, 0, 0, {0x8095, 0x8095, 0x8095}, 4, 0xF00, {255, 255, 255}, {3, 3, 3}},
    {kHStripes, 0, 0, 0, kPlainControl, 0, 0x10E, {255, 255, 255}, {3, 3, 3}},
    {3, 1, 1, 1, kPlainControl, 0, 0x4FFF, {255, 255, 255}, {3, 3, 3}},
};

}  // namespace x518::pattern
