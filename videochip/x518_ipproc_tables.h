// The picture-processing chain of input channels 0-3: its registers (as
// register words of the channel-0 copy; channel c at bank offset
// x518::kChannelStride x c) and the register values of each block by level,
// port state and active height.
#pragma once

#include "registers/x518_regs.h"

namespace x518::ipproc {

// One register and the value it takes.
struct RegValue {
    u32 spec;
    u32 value;
};
// One register and its value at levels 1, 2 and 3.
struct RegByLevel {
    u32 spec;
    u8 value[3];
};
constexpr int kLevels = 3;  // strengths 1-3; 0 is off

// ---- de-interlacer: the measured input frame and the processing window
constexpr u32 kIchMeasHtotal = reg(0xA8, 0x08, 2);  // + kIchMeasStep x channel: pixels per line - 1
constexpr u32 kIchMeasVtotal = reg(0xA8, 0x0A, 2);  // lines per frame (field)
constexpr u32 kIchMeasStep = 6;
constexpr u32 kIpHtotal = reg(0x14, 0x08, 2);
constexpr u32 kIpVtotal = reg(0x14, 0x0A, 2);
constexpr u32 kIpWindowOn = reg(0x14, 0x0C, 1);
constexpr u32 kIpActHw = reg(0x14, 0x0F, 2);
constexpr u32 kIpActVst = reg(0x14, 0x11, 2);
constexpr u32 kIpActVw = reg(0x14, 0x13, 2);
constexpr u32 kIpLineBuffer = reg(0x14, 0x6D, 2);
constexpr u32 kIpMode = reg(0x14, 0x2A, 1);
constexpr u32 kIpFieldCtl1 = reg(0x14, 0x67, 1);
constexpr u32 kIpFieldCtl2 = reg(0x14, 0x68, 1);
constexpr u32 kIpHtotalMargin = 32;
constexpr u32 kIpVtotalMargin = 16;
constexpr u32 kIpWindowFlag = 0x8000;
constexpr u32 kIpLineBufferMask = 0x3FFF;
// kIpMode: interlaced with the de-interlacer on, interlaced without it, progressive.
constexpr u32 kIpModeDeinterlace = 0, kIpModeWeave = 32, kIpModeProgressive = 16;
constexpr u32 kIpFieldCtl1Interlaced = 8, kIpFieldCtl2Interlaced = 4;

// ---- the chain's switches and field memory
constexpr u32 kChainBypass = reg(0x15, 0x70, 1);
constexpr u32 kFieldMemInterlaced = reg(0x16, 0x5B, 1);
constexpr u32 kFieldWrite0 = reg(0x17, 0x18, 4);  // write and read addresses of the two fields
constexpr u32 kFieldWrite0Base = reg(0x17, 0x1C, 4);
constexpr u32 kFieldWrite1 = reg(0x17, 0x20, 4);
constexpr u32 kFieldWrite1Base = reg(0x17, 0x24, 4);
constexpr u32 kFieldRead0 = reg(0x17, 0x08, 4);
constexpr u32 kFieldRead0Base = reg(0x17, 0x0C, 4);
constexpr u32 kFieldRead1 = reg(0x17, 0x10, 4);
constexpr u32 kFieldRead1Base = reg(0x17, 0x14, 4);
constexpr u32 kFieldYOffset = reg(0x17, 0x59, 2);
constexpr u32 kFieldLineMask = 31;
constexpr u32 kFieldLineUnit = 1024;

// ---- cadence detection of interlaced inputs (port states 5-8)
constexpr u32 kCadence = reg(0x14, 0x2C, 1);
constexpr u32 kCadenceBase = 50, kCadence1080 = 1, kCadence22 = 64, kCadence23 = 128;
constexpr u32 kCadenceFilm = reg(0x14, 0x2D, 1);
constexpr u32 kCadenceFilm24 = 25, kCadenceFilmOff = 9;
constexpr u32 kCadenceThreshold = reg(0x14, 0x30, 1);  // 3:2 in bits 0-3, 2:2 in bits 4-7
constexpr u32 kThresholdMask = 0x0F;
constexpr int kFirstInterlacedState = 5, kLastInterlacedState = 8;
constexpr int kIpStates = kLastInterlacedState - kFirstInterlacedState + 1;
// Register values by port state 5, 6, 7, 8 (kCadenceThreshold is written
// again from the levels afterwards).
struct RegByState {
    u32 spec;
    u8 value[kIpStates];
};
inline constexpr RegByState kIpByState[] = {
    {reg(0x14, 0x2E, 1), {26, 26, 13, 13}},   {reg(0x14, 0x2F, 1), {16, 16, 3, 3}},
    {reg(0x14, 0x30, 1), {17, 17, 17, 17}},   {reg(0x14, 0x31, 1), {142, 142, 53, 69}},
    {reg(0x14, 0x32, 1), {6, 6, 2, 2}},       {reg(0x14, 0x33, 1), {128, 128, 128, 128}},
    {reg(0x14, 0x34, 1), {192, 192, 40, 40}}, {reg(0x14, 0x35, 1), {193, 0, 196, 0}},
    {reg(0x14, 0x36, 1), {193, 0, 196, 0}},   {reg(0x14, 0x37, 1), {193, 0, 196, 0}},
    {reg(0x14, 0x38, 1), {0, 0, 196, 0}},     {reg(0x14, 0x39, 1), {193, 0, 194, 0}},
    {reg(0x14, 0x3A, 1), {193, 0, 194, 0}},   {reg(0x14, 0x42, 1), {68, 68, 70, 70}},
    {reg(0x14, 0x43, 1), {0, 0, 0, 0}},       {reg(0x14, 0x44, 1), {3, 3, 3, 3}},
    {reg(0x14, 0x45, 1), {0, 0, 0, 0}},       {reg(0x14, 0x46, 1), {0, 0, 0, 0}},
    {reg(0x14, 0x47, 1), {2, 2, 0, 0}},       {reg(0x14, 0x48, 1), {15, 15, 9, 9}},
    {reg(0x14, 0x49, 1), {0, 0, 0, 0}},       {reg(0x14, 0x4A, 1), {0, 0, 0, 0}},
};

// ---- noise reduction: the master switch and what the reducers write when off
constexpr u32 kNrMaster = reg(0x15, 0x08, 1);
constexpr u32 kNrMasterOther = 1, kNrMasterBlock = 3;  // 0 off
constexpr u32 kBlockNrEnable = reg(0x15, 0x39, 2);
constexpr u32 kTemporalNrEnable = reg(0x12, 0x08, 1);
constexpr u32 kHvNrEnable = reg(0x15, 0x6B, 1);
constexpr u32 kHvNrVertical = 16, kHvNrHorizontal = 1;
constexpr u32 kMosquitoNrEnable = reg(0x15, 0x09, 1);
inline constexpr u32 kNrOff[] = {kBlockNrEnable, kTemporalNrEnable, kHvNrEnable, kMosquitoNrEnable, kNrMaster};

// ---- block noise reduction: by level, then the tail of the active-height member
inline constexpr RegByLevel kBlockNrByLevel[] = {
    {reg(0x15, 0x3B, 1), {144, 160, 176}}, {reg(0x15, 0x3C, 1), {64, 64, 64}},    {reg(0x15, 0x3D, 1), {80, 80, 80}},
    {reg(0x15, 0x3E, 1), {96, 96, 96}},    {reg(0x15, 0x3F, 1), {128, 128, 128}}, {reg(0x15, 0x40, 1), {32, 16, 16}},
    {reg(0x15, 0x41, 1), {132, 66, 66}},   {reg(0x15, 0x42, 1), {65, 51, 51}},    {reg(0x15, 0x43, 1), {6, 4, 4}},
    {reg(0x15, 0x44, 1), {16, 16, 6}},
};
constexpr u16 kBlockNrEnableByLevel[kLevels] = {8855, 8855, 3223};
// The values the members differ in: master, horizontal and vertical block
// steps, edge value.
struct BlockNrMember {
    int activeHeight;
    u32 master;
    u32 h1, h2, v1, v2;
    u32 edge;
};
enum BlockNrMemberIndex { kBlock480i, kBlock480p, kBlock720p, kBlock1080i, kBlock1080p, kBlockMembers };
inline constexpr BlockNrMember kBlockNrMembers[kBlockMembers] = {
    {240, 0, 64, 16, 64, 16, 8},       // 480i
    {480, 3, 64, 16, 128, 32, 6},      // 480p
    {720, 3, 171, 43, 342, 86, 16},    // 720p
    {540, 0, 384, 96, 384, 96, 48},    // 1080i
    {1080, 3, 384, 96, 768, 192, 36},  // 1080p
};
constexpr u32 kBlockNrH1 = reg(0x15, 0x4D, 2), kBlockNrH2 = reg(0x15, 0x4F, 2);
constexpr u32 kBlockNrV1 = reg(0x15, 0x54, 2), kBlockNrV2 = reg(0x15, 0x56, 2);
constexpr u32 kBlockNrEdge = reg(0x15, 0x6A, 1);
// The tail every member writes after the level rows, in order; the member's
// own values go to the registers above.
inline constexpr RegValue kBlockNrTail[] = {
    {reg(0x15, 0x45, 1), 64}, {reg(0x15, 0x46, 1), 0},  {reg(0x15, 0x47, 1), 0},  {reg(0x15, 0x48, 1), 6},
    {reg(0x15, 0x49, 1), 4},  {reg(0x15, 0x4A, 1), 64}, {reg(0x15, 0x4B, 1), 18}, {reg(0x15, 0x4C, 1), 16},
};
inline constexpr RegValue kBlockNrTailMiddle[] = {
    {reg(0x15, 0x51, 1), 64},
    {reg(0x15, 0x52, 1), 18},
    {reg(0x15, 0x53, 1), 16},
};
inline constexpr RegValue kBlockNrTailEnd[] = {
    {reg(0x15, 0x58, 1), 0},  {reg(0x15, 0x59, 1), 0}, {reg(0x15, 0x5A, 1), 0}, {reg(0x15, 0x5B, 1), 0},
    {reg(0x15, 0x5C, 2), 0},  {reg(0x15, 0x5E, 2), 0}, {reg(0x15, 0x60, 2), 0}, {reg(0x15, 0x62, 2), 0},
    {reg(0x15, 0x64, 1), 18}, {reg(0x15, 0x65, 1), 0}, {reg(0x15, 0x66, 1), 0}, {reg(0x15, 0x67, 2), 0},
    {reg(0x15, 0x69, 1), 8},
};

// ---- temporal noise reduction
constexpr u32 kTemporalNrOn = 3;
inline constexpr RegValue kTemporalNrHead[] = {
    {reg(0x12, 0x09, 1), 49},
    {reg(0x12, 0x0A, 1), 117},
    {reg(0x12, 0x0B, 1), 185},
    {reg(0x12, 0x0C, 1), 253},
};
inline constexpr RegByLevel kTemporalNrByLevel[] = {
    {reg(0x12, 0x0D, 1), {18, 17, 0}},  {reg(0x12, 0x0E, 1), {20, 18, 8}},  {reg(0x12, 0x0F, 1), {24, 20, 12}},
    {reg(0x12, 0x10, 1), {27, 22, 16}}, {reg(0x12, 0x11, 1), {28, 24, 20}}, {reg(0x12, 0x12, 1), {29, 26, 24}},
    {reg(0x12, 0x13, 1), {30, 28, 28}},
};
constexpr RegValue kTemporalNrTail = {reg(0x12, 0x14, 1), 31};

// ---- horizontal and vertical noise reduction: two strengths per direction
constexpr u32 kHNr1 = reg(0x15, 0x6E, 1), kHNr2 = reg(0x15, 0x6F, 1);
constexpr u32 kVNr1 = reg(0x15, 0x6C, 1), kVNr2 = reg(0x15, 0x6D, 1);
constexpr u8 kHvNr1ByLevel[kLevels] = {66, 117, 168};
constexpr u8 kHvNr2ByLevel[kLevels] = {150, 201, 252};

// ---- mosquito noise reduction
constexpr u32 kMosquitoNrOn = 1;
inline constexpr RegValue kMosquitoNrHead[] = {
    {reg(0x15, 0x0A, 1), 128}, {reg(0x15, 0x0B, 1), 56}, {reg(0x15, 0x0C, 1), 8},
    {reg(0x15, 0x0D, 1), 128}, {reg(0x15, 0x0E, 1), 56}, {reg(0x15, 0x0F, 1), 8},
};
// 15:10-15:2E in address order; 15:27 is not written.
inline constexpr RegByLevel kMosquitoNrByLevel[] = {
    {reg(0x15, 0x10, 1), {63, 127, 127}},  {reg(0x15, 0x11, 1), {63, 127, 127}},  {reg(0x15, 0x12, 1), {127, 127, 127}},
    {reg(0x15, 0x13, 1), {127, 127, 127}}, {reg(0x15, 0x14, 1), {127, 127, 127}}, {reg(0x15, 0x15, 1), {127, 127, 127}},
    {reg(0x15, 0x16, 1), {63, 127, 127}},  {reg(0x15, 0x17, 1), {63, 127, 127}},  {reg(0x15, 0x18, 1), {127, 127, 127}},
    {reg(0x15, 0x19, 1), {127, 127, 127}}, {reg(0x15, 0x1A, 1), {127, 127, 127}}, {reg(0x15, 0x1B, 1), {127, 127, 127}},
    {reg(0x15, 0x1C, 1), {252, 252, 252}}, {reg(0x15, 0x1D, 1), {32, 63, 255}},   {reg(0x15, 0x1E, 1), {213, 217, 217}},
    {reg(0x15, 0x1F, 1), {127, 255, 111}}, {reg(0x15, 0x20, 1), {24, 24, 0}},     {reg(0x15, 0x21, 1), {36, 0, 0}},
    {reg(0x15, 0x22, 1), {0, 0, 0}},       {reg(0x15, 0x23, 1), {0, 0, 0}},       {reg(0x15, 0x24, 1), {0, 0, 0}},
    {reg(0x15, 0x25, 1), {0, 0, 0}},       {reg(0x15, 0x26, 1), {0, 0, 0}},       {reg(0x15, 0x28, 1), {64, 64, 0}},
    {reg(0x15, 0x29, 1), {81, 0, 0}},      {reg(0x15, 0x2A, 1), {0, 0, 0}},       {reg(0x15, 0x2B, 1), {0, 0, 0}},
    {reg(0x15, 0x2C, 1), {0, 0, 0}},       {reg(0x15, 0x2D, 1), {0, 0, 0}},       {reg(0x15, 0x2E, 1), {0, 0, 0}},
};

// ---- diagonal interpolation: 14:50-14:5E by level, then 14:5F-14:63
constexpr u32 kDiagFirst = reg(0x14, 0x50, 1);
constexpr int kDiagRegs = 15;
constexpr u8 kDiagByLevel[kLevels][kDiagRegs] = {
    {9, 255, 119, 0, 4, 16, 3, 8, 10, 20, 4, 4, 2, 2, 16},
    {11, 127, 119, 3, 4, 16, 1, 4, 10, 20, 4, 4, 2, 2, 16},
    {11, 127, 119, 19, 9, 16, 3, 8, 10, 20, 4, 4, 2, 2, 16},
};
constexpr u32 kDiagMode = reg(0x14, 0x5F, 1);
constexpr u8 kDiagModeByLevel[kLevels] = {50, 50, 49};
constexpr u32 kDiagTail = reg(0x14, 0x60, 1);  // 14:60-14:63, all 0
constexpr int kDiagTailRegs = 4;

// ---- comb filter
constexpr u32 kCombEnable = reg(0x14, 0x3B, 1);
constexpr u32 kComb1 = reg(0x14, 0x3C, 1), kComb2 = reg(0x14, 0x3D, 1);
constexpr u8 kComb1ByLevel[kLevels] = {16, 20, 112};
constexpr u8 kComb2ByLevel[kLevels] = {128, 128, 160};

// ---- motion filter: levels 0-4, three groups of registers
constexpr u32 kMotionEnable = reg(0x14, 0x15, 1);
constexpr u32 kMotionOn = 31;
constexpr int kMotionLevels = 5;
inline constexpr u32 kMotionGroup1[] = {reg(0x14, 0x1A, 1), reg(0x14, 0x1B, 1), reg(0x14, 0x1E, 1), reg(0x14, 0x1F, 1)};
inline constexpr u32 kMotionGroup2[] = {reg(0x14, 0x1C, 1), reg(0x14, 0x20, 1)};
inline constexpr u32 kMotionGroup3[] = {reg(0x14, 0x1D, 1), reg(0x14, 0x21, 1)};
constexpr u8 kMotionByLevel[kMotionLevels][3] = {{0, 0, 0}, {4, 8, 8}, {8, 8, 16}, {8, 16, 24}, {16, 24, 31}};

// ---- channel mode (MCT) of an input channel, bank 0
constexpr u32 kMct = reg(0x00, 0x08, 1);  // + channel x kAddressStep
constexpr u32 kMctSignal = 17, kMctNoSignal = 1, kMctProcessing = 14;
// The colour control (x518::kIscwct, x518::kOscwct) by memory pixel format 0-3.
constexpr u8 kIscwctByFormat[] = {0, 128, 1, 17};

// ---- scaler coefficients
constexpr u32 kLutSelect = reg(0x00, 0x79, 1);
constexpr u32 kLutLoad = reg(0x00, 0x7A, 1);
constexpr u32 kLutLoadHShrink = 131, kLutLoadStep = 4, kLutLoadDual = 4;
// Horizontal shrink: the coefficient set of the first ratio bound above the
// ratio (16.16); a ratio below 1 or of 65001 and above takes the 1:1 set.
struct LutBand {
    i32 below;
    u8 set;
};
inline constexpr LutBand kHShrinkBands[] = {
    {1, 44},     {13108, 1},  {26215, 2},  {32769, 4},  {39322, 6},  {45876, 8},
    {49153, 12}, {52429, 17}, {55706, 22}, {58983, 27}, {62260, 32}, {65001, 38},
};
constexpr u8 kHShrinkUnity = 44;
// Vertical shrink, 4-tap symmetric: set k from the first bound the ratio
// reaches, set 1 below all of them.
struct LutFloor {
    i32 atLeast;
    u8 set;
};
inline constexpr LutFloor kVShrinkFloors[] = {
    {62260, 9}, {58983, 8}, {52429, 7}, {45876, 6}, {39322, 5}, {32769, 4}, {26215, 3}, {13108, 2},
};
constexpr u8 kVShrinkSmallest = 1;
constexpr u32 kVShrinkCoef = reg(0x11, 0x68, 1);      // 24 coefficients at 11:68-11:7F
constexpr u32 kVShrinkCoefDual = reg(0x21, 0x68, 1);  // the pair's second channel
constexpr int kVShrinkCoefs = 24;
constexpr int kVShrinkLeadingZeros = 8;  // coefficients 1-8 are 0 in every set
constexpr int kVShrinkSets = 9;
// The chip manager's coefficient table `lut`: coefficients 9-24 of sets 1-9
// (set k at lut[k - 1]; set 0 is never chosen), bytes: 253 is -3.
constexpr u8 lut[kVShrinkSets][kVShrinkCoefs - kVShrinkLeadingZeros] = {
    {13, 14, 14, 14, 15, 15, 16, 20, 16, 16, 16, 18, 19, 19, 19, 24},
    {10, 11, 12, 13, 14, 15, 16, 20, 17, 17, 18, 19, 20, 21, 21, 24},
    {6, 8, 9, 11, 12, 14, 15, 19, 18, 19, 20, 21, 23, 23, 25, 26},
    {1, 3, 5, 8, 10, 12, 15, 17, 19, 21, 22, 24, 27, 28, 29, 30},
    {253, 255, 0, 3, 6, 10, 13, 16, 20, 23, 26, 29, 32, 32, 34, 32},
    {248, 249, 252, 255, 1, 5, 10, 13, 20, 25, 29, 33, 38, 41, 42, 38},
    {246, 245, 246, 248, 252, 0, 5, 10, 18, 26, 33, 40, 45, 49, 51, 44},
    {247, 244, 242, 243, 245, 250, 0, 5, 15, 25, 35, 45, 54, 57, 58, 54},
    {252, 247, 243, 241, 241, 244, 249, 0, 9, 21, 35, 47, 57, 64, 66, 64},
};

}  // namespace x518::ipproc
