// Registers of the X518 chip that the chip manager names, as register
// words (bank << 16 | address << 8 | width) with bank offset 0. Registers of
// a channel copy are reached with the bank offset x518::kChannelStride x k.
// At the end, the register map: every register the program reads or writes,
// from which the full register listing is built.
#pragma once

#include <cstdint>

namespace x518 {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;

constexpr u32 reg(u32 bank, u32 address, u32 width)
{
    return bank << 16 | address << 8 | width;
}
// The same register `n` addresses further on (address steps, not bank steps).
constexpr u32 regAt(u32 spec, u32 n)
{
    return spec + (n << 8);
}

constexpr u32 kChannelStride = 16;  // bank offset between channel copies
constexpr int kChannels = 8;        // input and output channels
constexpr int kPorts = 6;           // input ports: 0-3 parallel, 4-5 V-by-One receivers 0-1
constexpr int kCmosPorts = 4;
constexpr int kFirstVboPort = 4;
constexpr int kVboReceivers = 2;
constexpr int kWindows = 6;
constexpr int kFields = 5;  // frame buffers in the ring of a channel or window

// ---- identity
constexpr u32 kChipId = reg(0xB2, 0x08, 1);
constexpr u32 kChipIdValue = 0x24;

// ---- register-update window and measurement hold
constexpr u32 kUpdateCtl = reg(0x00, 0x29, 1);  // bit 0: update window open; 0x80: hold measurements
constexpr u32 kUpdateCtlOpen = 0x01;
constexpr u32 kHoldMeasure = 0x80;
constexpr u32 kUpdateTiming = reg(0x00, 0x22, 1);  // 00:22-00:28, one byte each
constexpr int kUpdateTimingRegs = 7;
// The first two of them also bracket a fade step: 255 and 255 while the
// blend weights are written, kFadeDone0 and kFadeDone1 after it.
constexpr u32 kFadeHold = 0xFF;
constexpr u32 kFadeDone0 = 0xA9, kFadeDone1 = 0xCB;

// ---- input paths, polarity, V-by-One receivers
constexpr u32 kInputPathEnable = reg(0x00, 0x18, 2);  // bit 4i: input path i
constexpr int kInputPathBitStep = 4;
constexpr u32 kSyncPolCmos = reg(0x06, 0x38, 4);  // byte i: CMOS input i
constexpr u32 kSyncPolVbo = reg(0x06, 0x3C, 4);   // half r: receiver r
constexpr u32 kVboLaneWord = reg(0x00, 0x1E, 2);  // + 2 addresses per receiver
constexpr u32 kVboLaneBits = reg(0x00, 0x39, 2);  // byte r: receiver r
constexpr u32 kVboFrange = reg(0x02, 0x4C, 1);    // + 0x1C addresses per receiver
constexpr u32 kVboFrangeLow = 0x08;
constexpr u32 kVboFrangeStep = 0x1C;
constexpr u32 kVboLock = reg(0xB2, 0x64, 1);  // bit 5 + 2r: receiver r locked
constexpr u32 kVboLockBit0 = 5;
constexpr u32 kVboFrameMeasure = reg(0xAE, 0x5C, 3);  // + 0x0C addresses per receiver
constexpr u32 kVboFrameMeasureStep = 0x0C;

// ---- 00:08 + channel x kAddressStep serves three uses: bit 0 marks output
// channel k in use (the multi-window set-up); as input channel c's mode word
// (MCT) it carries the signal and processing bits; and a picture hold writes
// kChannelHoldOn to the previous input channels of the windows it holds.
constexpr u32 kOchEnable = reg(0x00, 0x08, 1);
constexpr u32 kOchEnableOn = 0x01;
constexpr u32 kChannelHold = kOchEnable;
constexpr u32 kChannelHoldOn = 0x01;

// ---- colour controls by memory pixel format, 00 + channel x kAddressStep
constexpr u32 kOscwct = reg(0x00, 0x69, 1);  // output channel k
constexpr u32 kIscwct = reg(0x00, 0x71, 1);  // input channel c

// ---- output channels (bank offset 16 x channel unless said)
constexpr u32 kOchHtotal = reg(0x08, 0x0A, 2);  // horizontal total - 2
constexpr u32 kOchVtotal = reg(0x08, 0x0C, 2);  // vertical total - 2
// OSYCT, output sync source: the first channel of a window takes input
// channel c (c << 8 | kOsyctLead, or kOsyctLead0 on channel 0); the others
// follow that channel (first << 8 | kOsyctFollow | the same low byte).
constexpr u32 kOsyct = reg(0x08, 0x08, 2);
constexpr u32 kOsyctLead0 = 0x01;
constexpr u32 kOsyctLead = 0x11;
constexpr u32 kOsyctFollow = 0x1000;
constexpr u32 kOsyctChannelShift = 8;
constexpr u32 kOsyctChannelMask = 0x0F;
// Active window of the output timing: first pixel, pixel after the last,
// first line, line after the last (PS_OAOIHST, PS_OAOIHED, PS_OAOIVST,
// PS_OAOIVED), then the same four for the area the channel shows, whose end
// pixel (kOchAreaHend) the window programming sets to its part's end.
constexpr u32 kOchActHst = reg(0x08, 0x28, 2);
constexpr u32 kOchActHend = reg(0x08, 0x2A, 2);
constexpr u32 kOchActVst = reg(0x08, 0x2C, 2);
constexpr u32 kOchActVend = reg(0x08, 0x2E, 2);
constexpr u32 kOchAreaHst = reg(0x08, 0x30, 2);
constexpr u32 kOchAreaHend = reg(0x08, 0x32, 2);
constexpr u32 kOchAreaVst = reg(0x08, 0x34, 2);
constexpr u32 kOchAreaVend = reg(0x08, 0x36, 2);
// OACT, the picture's place in the output timing: start pixel, width read
// from memory (source pixels when zooming), start line, lines + 1 (+ 2 and
// one line earlier when zooming vertically).
constexpr u32 kOactHst = reg(0x08, 0x40, 2);
constexpr u32 kOactHw = reg(0x08, 0x42, 2);
constexpr u32 kOactVst = reg(0x08, 0x44, 2);
constexpr u32 kOactVw = reg(0x08, 0x46, 2);
constexpr u32 kBkgShow = reg(0x08, 0x48, 1);  // 1 = background colour instead of the picture
constexpr u32 kBkgShowOn = 0x01;
constexpr u32 kBkgColour = reg(0x08, 0x49, 3);  // 0xRRGGBB
// Zoom block: zoom steps are source pixels (lines) per output pixel, 16.16.
constexpr u32 kOchVZoom = reg(0x0A, 0x44, 1);  // kOchVZoomOn while zooming vertically
constexpr u32 kOchVZoomOn = 3;
constexpr u32 kOchHControl = reg(0x0A, 0x46, 1);  // kOchHControlZoom while zooming horizontally
constexpr u32 kOchHControlZoom = 199;
constexpr u32 kOchHPhase = reg(0x0A, 0x47, 1);  // and 0x48
constexpr u32 kOchHStep = reg(0x0A, 0x49, 2);
constexpr u32 kOchVControl = reg(0x0A, 0x4B, 1);
constexpr u32 kOchVPhase = reg(0x0A, 0x4C, 1);  // and 0x4D
constexpr u32 kOchVStep = reg(0x0A, 0x4E, 2);
constexpr u32 kZoomUnit = 0x10000;
constexpr u32 kOchVFilter = reg(0x0A, 0x68, 1);  // 24 vertical zoom coefficients, 0A:68-0A:7F
constexpr int kOchVFilterTaps = 24;
constexpr u32 kOchMirrorH = reg(0x08, 0x22, 1);  // 1: lines are read right to left
// Frame memory an output channel reads: OSFLD0-4 (4 bytes, + 4 addresses
// each), the line step OMWI (negative for a vertical mirror) and the read
// ring, four 3-bit buffer numbers at bits 0, 4, 8, 12.
constexpr u32 kOsfld = reg(0x16, 0x08, 4);
constexpr u32 kOmwi = reg(0x16, 0x30, 1);
constexpr u32 kReadRing = reg(0x16, 0x6C, 2);

// ---- pattern generator of an output channel (bank offset 16 x channel)
constexpr u32 kPatternType = reg(0x08, 0x57, 1);  // 0 off
constexpr u32 kPatternP1 = reg(0x08, 0x58, 1);    // P2, P3 at the next addresses
constexpr u32 kPatternControl = reg(0x08, 0x5B, 2);
constexpr u32 kPatternZero = reg(0x08, 0x5D, 2);
constexpr u32 kPatternS1 = reg(0x08, 0x5F, 2);
constexpr u32 kPatternS2 = reg(0x08, 0x61, 2);
constexpr u32 kPatternC1 = reg(0x08, 0x63, 1);  // first colour red, green, blue at 63-65
constexpr u32 kPatternD1 = reg(0x08, 0x66, 1);  // second colour at 66-68
constexpr u32 kPatternSolid = 4;
constexpr u32 kPatternVStripes = 1;
constexpr u32 kPatternVLines = 0x0E;
constexpr u32 kPatternHStripes = 2;
constexpr u32 kPatternHLines = 0x0F;
constexpr u32 kPatternChecks = 5;
constexpr u32 kPatternGrid = 8;

// ---- mixers: mixer t (bank offset 16 x t) makes what output channel t shows
// Overlay select: nibble i = 8 + the channel of list entry i, lowest layer
// first, the list ending at the first nibble below 8.
constexpr u32 kOverlaySelect = reg(0x0E, 0x09, 4);
constexpr u32 kOverlayEntry = 8;
constexpr int kOverlayEntries = 8;
constexpr u32 kLayerWindow = reg(0x0E, 0x0F, 2);  // 0, 256 or 512: which four list entries the weights address
constexpr u32 kLayerCoef = reg(0x0E, 0x11, 1);    // + 5k + j addresses: weight of input j under mask k
constexpr u32 kLayerFull = 128;
constexpr int kLayerMasks = 16;  // the four list entries present, as bits
constexpr int kLayerInputs = 5;  // the background and the four entries
constexpr int kBlendMixers = 4;  // mixers 0-3 have weights

// ---- picture controls of an output channel (bank offset 16 x channel):
// three components each, 2 addresses apart
constexpr u32 kSaturationEnable = reg(0x0C, 0x14, 1);  // bit 0
constexpr u32 kSaturation = reg(0x0C, 0x1B, 2);
constexpr u32 kContrastEnable = reg(0x0C, 0x21, 1);  // bit 0
constexpr u32 kContrast = reg(0x0C, 0x28, 2);
constexpr u32 kBrightness = reg(0x0C, 0x3A, 2);
constexpr u32 kPictureEnableBit = 0x01;
constexpr u32 kPictureComponents = 3;
constexpr u32 kPictureComponentStep = 2;
// Colour matrix, 3 x 3 by rows at 0C:5B-0C:6C; its enable is bit 5 of the
// output colour control of each output channel (00:59 + channel, bank 0).
constexpr u32 kColourMatrix = reg(0x0C, 0x5B, 2);
constexpr u32 kColourMatrixSize = 3;
constexpr u32 kOchColourCtl = reg(0x00, 0x59, 1);
constexpr u32 kColourMatrixOn = 0x20;

// ---- sharpness (edge enhancer) of an output channel: horizontal and
// vertical filters, five coefficients each, and their gains
constexpr u32 kSharpHEnable = reg(0x0B, 0x08, 1);
constexpr u32 kSharpHGain = reg(0x0B, 0x09, 1);
constexpr u32 kSharpHCoef = reg(0x0B, 0x0C, 1);  // c1-c5 at 0C-10
constexpr u32 kSharpHEnable2 = reg(0x0B, 0x11, 1);
constexpr u32 kSharpVGain = reg(0x0B, 0x12, 1);
constexpr u32 kSharpVCoef = reg(0x0B, 0x15, 1);  // c1-c5 at 15-19
constexpr u32 kSharpVFilterOn = reg(0x0B, 0x5E, 1);
constexpr int kSharpCoefs = 5;
constexpr u32 kSharpOn = 6;

// ---- OSD window of output tile k (bank offset 16 x k; tile k = column + tiles across x row)
constexpr u32 kOsdControl = reg(0x09, 0x08, 2);
constexpr u32 kOsdShowMask = 0x03;  // 3 text shown, 2 bitmap shown, 0 hidden
constexpr u32 kOsdShowText = 3, kOsdShowBitmap = 2;
constexpr u32 kOsdVZoom = 0x800, kOsdHZoom = 0x1000;
constexpr u32 kOsdPitch512 = 0x2000;  // with the base 0x4000: the pitch counts 512-byte units
constexpr u32 kOsdControlBase = 0x4000;
constexpr u32 kOsdBelowVideo = 0x8000;
constexpr u32 kOsdHStart = reg(0x09, 0x12, 2);  // the tile's active start - 4 + the window's start in it
constexpr u32 kOsdWidth = reg(0x09, 0x14, 2);
constexpr u32 kOsdVStart = reg(0x09, 0x16, 2);  // the tile's active start + 1 + the window's start in it
constexpr u32 kOsdHeight = reg(0x09, 0x18, 2);
constexpr int kOsdHStartShift = -4, kOsdVStartShift = 1;
constexpr u32 kOsdAddress = reg(0x09, 0x1A, 4);  // where the tile's part of the plane begins
constexpr u32 kOsdPitch = reg(0x09, 0x1E, 1);
constexpr u32 kOsdScroll = reg(0x09, 0x3C, 1);  // 0 stop, 0x80 still, 0x81 + 16 (mode - 1)
constexpr u32 kOsdScrollSpeed = reg(0x09, 0x3D, 1);
constexpr u32 kOsdScrollWidth = reg(0x09, 0x40, 2);
constexpr u32 kOsdScrollHeight = reg(0x09, 0x42, 2);

// ---- frame waits
constexpr u32 kInFrameRequest = reg(0x05, 0x08, 1);
constexpr u32 kOutFrameRequest = reg(0x05, 0x09, 1);
constexpr u32 kInFrameFlags = reg(0x05, 0x22, 1);
constexpr u32 kOutFrameFlags = reg(0x05, 0x23, 1);
constexpr u32 kIchStatus = reg(0xA8, 0x3F, 1);  // + 5 addresses per input channel
constexpr u32 kIchStatusStep = 5;
constexpr u32 kIchStatusIdle = 0xFF;
constexpr u32 kFieldCounter = reg(0xAB, 0x47, 1);  // + 1 address per channel: bits 2-3 the write phase
constexpr u32 kFieldShift = 2, kFieldMask = 3;

// ---- input port measurements (bank AE/AF, read under kHoldMeasure)
// Parallel port p: the register plus p x kMeasCmosStep (or kMeasCmosFvmStep);
// V-by-One receiver k: the V-by-One register plus k x kMeasVboStep (or kMeasVboFvmStep).
constexpr u32 kMeasHtt = reg(0xAE, 0x08, 2);  // total pixels per line - 1
constexpr u32 kMeasHttVbo = reg(0xAE, 0x10, 2);
constexpr u32 kMeasVtt = reg(0xAE, 0x20, 2);  // total lines
constexpr u32 kMeasVttVbo = reg(0xAE, 0x28, 2);
constexpr u32 kMeasFhw = reg(0xAE, 0x38, 2);     // line period - 1
constexpr u32 kMeasFhwVbo = reg(0xAE, 0x40, 2);  // lane pair j at + j x kMeasLaneLineStep
constexpr u32 kMeasFvm = reg(0xAE, 0x50, 3);     // frame period - 1
constexpr u32 kMeasFvmVbo = reg(0xAE, 0x5C, 3);  // lane pair j at + j x kMeasLaneFrameStep
constexpr u32 kMeasHw = reg(0xAF, 0x08, 2);      // active width
constexpr u32 kMeasHwVbo = reg(0xAF, 0x10, 2);
constexpr u32 kMeasCmosStep = 0x200;
constexpr u32 kMeasCmosFvmStep = 0x300;
constexpr u32 kMeasVboStep = 0x800;
constexpr u32 kMeasVboFvmStep = 0xC00;
constexpr u32 kMeasLaneLineStep = 0x200;
constexpr u32 kMeasLaneFrameStep = 0x300;
constexpr int kLanePairs = 4;

// ---- V-by-One receivers (bank 2; receiver k at + k x kVboRxStep)
constexpr u32 kVboResetSelect = reg(0x02, 0x7F, 1);
constexpr u32 kVboResetRx0 = 0x0E;
constexpr u32 kVboResetRx1 = 0x0D;
constexpr u32 kVboResetRelease = 0x0F;
constexpr u32 kVboRxControl = reg(0x02, 0x40, 1);
constexpr u32 kVboRxControlOn = 5;
constexpr u32 kVboLaneEnable = reg(0x02, 0x4F, 1);
constexpr u32 kVboRxStep = 0x1C00;

// ---- input channels
constexpr u32 kIchSel = reg(0x00, 0x10, 1);  // + channel x kAddressStep: source of input channel c
constexpr u32 kAddressStep = 0x100;
// ICHSEL codes: 2p for parallel port p; V-by-One receiver k: its first half,
// its second half with up to 4 lanes, with more (kIchSelVbo + 4k + 0, 1, 2).
constexpr u32 kIchSelVbo = 8;
constexpr u32 kIchSelVboStep = 4;
constexpr u32 kDualCtl = reg(0x03, 0x08, 1);  // + pair x kDualPairStep: dual-channel split
constexpr u32 kDualHst = reg(0x03, 0x09, 2);
constexpr u32 kDualHw = reg(0x03, 0x0B, 2);
constexpr u32 kDualPairStep = 0x900;
constexpr u32 kDualOn = 3;
constexpr u32 kIsyct = reg(0x10, 0x09, 1);  // per input channel: capture sync (1 run, 2 hold, 8 + c follow c)
constexpr u32 kIsyctRun = 1;
constexpr u32 kIsyctHold = 2;
constexpr u32 kIsyctFollow = 8;  // + the channel followed
// IACT, the capture area of an input channel: start pixel, width, start line, lines.
constexpr u32 kIactHst = reg(0x10, 0x17, 2);
constexpr u32 kIactHw = reg(0x10, 0x19, 2);
constexpr u32 kIactVst = reg(0x10, 0x1B, 2);
constexpr u32 kIactVw = reg(0x10, 0x1D, 2);
// Shrink block of an input channel (the second path of a pair is the same
// block of the next channel, one kChannelStride on).
constexpr u32 kShrinkFlags = reg(0x11, 0x42, 1);  // (h phase flag << 4 | v phase flag) << 3
constexpr u32 kShrinkMode = reg(0x11, 0x43, 1);
constexpr u32 kShrinkModeOn = 2;
constexpr u32 kShrinkHControl = reg(0x11, 0x44, 1);
constexpr u32 kShrinkHPhase = reg(0x11, 0x45, 1);  // and 0x46
constexpr u32 kShrinkHRatio = reg(0x11, 0x47, 2);
constexpr u32 kShrinkVControl = reg(0x11, 0x49, 1);
constexpr u32 kShrinkVPhase = reg(0x11, 0x4A, 1);  // and 0x4B
constexpr u32 kShrinkVRatio = reg(0x11, 0x4C, 2);
constexpr u32 kShrinkHOn = 199, kShrinkVOn = 0x84, kShrinkOff = 0x80;
// Frame memory an input channel writes: ISFLD0-4 (4 bytes, + 4 addresses
// each), the line step IMWI and the write ring, five 3-bit buffer numbers
// at bits 0, 4, 8, 12, 16.
constexpr u32 kIsfld = reg(0x16, 0x1C, 4);
constexpr u32 kFieldAddressStep = 4;
constexpr u32 kImwi = reg(0x16, 0x31, 1);
constexpr u32 kWriteRing = reg(0x16, 0x66, 3);
constexpr u32 kRingFieldBits = 4;

// ------------------------------------------------------------------ the register map
// A run of registers: `count` registers of the width `spec` names, the first
// at `spec`, each `step` addresses after the one before (0: right behind
// it), in `copies` banks kChannelStride apart (the channel copies).
struct RegRun {
    u32 spec;
    u8 count = 1;
    u8 copies = 1;
    u8 step = 0;
};

constexpr u8 kOutputCopies = kChannels;  // output channels 0-7 (banks 08-0E + 16k)
constexpr u8 kInputCopies = kChannels;   // input channels 0-7 (banks 10-17 + 16k)
constexpr u8 kProcessedCopies = 4;       // the input channels with the picture-processing chain
constexpr u8 kBlendCopies = 4;           // the mixers with blend weights

// Every register the program reads or writes, at its own width. A register
// a new operation uses joins this map; the listing test checks that the
// chip sees no access outside it. Address 0 of every bank is the bank select
// and is not listed.
inline constexpr RegRun kRegisterMap[] = {
    // ---- 00: system control
    {kOchEnable, 8},  // output channels 0-7 in use (bit 0)
    {kIchSel, 8},     // ICHSEL of channels 0-7
    {kInputPathEnable},
    {reg(0x00, 0x1A, 1), 4},
    {kVboLaneWord, 2},  // receivers 0 and 1
    {kUpdateTiming, kUpdateTimingRegs},
    {kUpdateCtl},
    {reg(0x00, 0x38, 1)},
    {kVboLaneBits},
    {reg(0x00, 0x46, 1), 15},  // PLL words at 47-4B and 51-54
    {reg(0x00, 0x55, 2)},      // output pin control
    {reg(0x00, 0x59, 1), 8},   // output colour control of channels 0-7
    {reg(0x00, 0x61, 1), 8},
    {reg(0x00, 0x69, 1), 16},
    {reg(0x00, 0x79, 1), 2},  // 7A: the output-channel table walk
    // ---- 01: memory controller
    {reg(0x01, 0x08, 1)},
    {reg(0x01, 0x09, 4), 3},
    {reg(0x01, 0x15, 1), 20},
    {reg(0x01, 0x29, 4)},
    {reg(0x01, 0x2D, 1), 19},
    {reg(0x01, 0x40, 3), 16},
    {reg(0x01, 0x70, 4)},
    // ---- 02: V-by-One receivers (receiver 1 at + 0x1C addresses)
    {reg(0x02, 0x08, 1)},
    {reg(0x02, 0x0A, 2)},
    {reg(0x02, 0x10, 1)},
    {reg(0x02, 0x13, 1)},
    {reg(0x02, 0x18, 1)},
    {reg(0x02, 0x1C, 1)},
    {reg(0x02, 0x28, 1)},
    {reg(0x02, 0x2B, 1)},
    {reg(0x02, 0x34, 1)},
    {kVboRxControl, 2, 1, 0x1C},
    {kVboFrange, 2, 1, kVboFrangeStep},
    {kVboLaneEnable, 2, 1, 0x1C},
    {reg(0x02, 0x78, 1)},
    {reg(0x02, 0x7A, 2)},
    {kVboResetSelect},
    // ---- 03: dual-channel split of the four channel pairs, transmitter
    {kDualCtl, 4, 1, 9},
    {kDualHst, 4, 1, 9},
    {kDualHw, 4, 1, 9},
    {reg(0x03, 0x2C, 2)},
    {reg(0x03, 0x2E, 1)},
    {reg(0x03, 0x2F, 2)},
    {reg(0x03, 0x36, 2)},
    {reg(0x03, 0x38, 1)},
    {reg(0x03, 0x39, 2)},
    {reg(0x03, 0x42, 1), 4},  // 44, 45: output sync widths
    {reg(0x03, 0x46, 2)},
    {reg(0x03, 0x4C, 1), 2},
    {reg(0x03, 0x4E, 2)},
    {reg(0x03, 0x55, 4)},  // output channel map
    {reg(0x03, 0x5E, 4)},
    {reg(0x03, 0x62, 4)},
    // ---- 04: OSD engine, serial-flash window and controller
    {reg(0x04, 0x08, 1)},     // OSD engine command
    {reg(0x04, 0x0B, 2)},     // fill value
    {reg(0x04, 0x0D, 4), 2},  // source (glyph table), destination
    {reg(0x04, 0x17, 1)},     // engine busy
    {reg(0x04, 0x1B, 1), 2},  // destination and source pitch
    {reg(0x04, 0x1E, 2), 2},  // width and height less one
    {reg(0x04, 0x22, 1), 5},  // pitch units, string set-up 23-26
    {reg(0x04, 0x27, 2)},     // string area address
    {reg(0x04, 0x29, 1), 2},  // string area data, string mode
    {reg(0x04, 0x2B, 2)},
    {reg(0x04, 0x47, 1), 7},
    {reg(0x04, 0x4E, 4)},
    {reg(0x04, 0x52, 1), 4},
    {reg(0x04, 0x56, 4)},
    {reg(0x04, 0x5A, 1)},
    {reg(0x04, 0x5F, 1), 2},
    // ---- 05: frame waits, pins
    {kInFrameRequest, 2},
    {kInFrameFlags, 2},
    {reg(0x05, 0x3C, 2), 2},
    {reg(0x05, 0x42, 3)},
    {reg(0x05, 0x45, 2)},
    {reg(0x05, 0x7E, 2)},
    // ---- 06: sync polarity
    {kSyncPolCmos},
    {kSyncPolVbo},
    // ---- 08 + 16k: output channel timing, active area, background, test bars
    {reg(0x08, 0x08, 2), 3, kOutputCopies},  // OSYCT, horizontal and vertical totals
    {reg(0x08, 0x0F, 1), 1, kOutputCopies},
    {reg(0x08, 0x18, 2), 1, kOutputCopies},
    {reg(0x08, 0x1D, 2), 1, kOutputCopies},
    {kOchMirrorH, 1, kOutputCopies},
    {reg(0x08, 0x28, 2), 8, kOutputCopies},  // output area starts and ends
    {reg(0x08, 0x40, 2), 4, kOutputCopies},  // OACT HST, HW, VST, VW
    {kBkgShow, 1, kOutputCopies},
    {kBkgColour, 1, kOutputCopies},
    {reg(0x08, 0x57, 1), 4, kOutputCopies},  // test bars and patterns
    {reg(0x08, 0x5B, 2), 4, kOutputCopies},
    {reg(0x08, 0x63, 1), 6, kOutputCopies},
    // ---- 09 + 16k: background colours and the OSD window of each output tile; 09:1F-20 the OSD colour table
    {kOsdControl, 1, kOutputCopies},
    {reg(0x09, 0x0A, 2), 4, kOutputCopies},
    {kOsdHStart, 4, kOutputCopies},  // OSD window start, width, start, height
    {kOsdAddress, 1, kOutputCopies},
    {kOsdPitch, 1, kOutputCopies},
    {reg(0x09, 0x1F, 1), 2},         // colour table index, data
    {kOsdScroll, 2, kOutputCopies},  // scroll control, speed
    {kOsdScrollWidth, 2, kOutputCopies},
    // ---- 0A + 16k: output zoom
    {reg(0x0A, 0x44, 1), 1, kOutputCopies},
    {reg(0x0A, 0x46, 1), 3, kOutputCopies},
    {reg(0x0A, 0x49, 2), 1, kOutputCopies},
    {reg(0x0A, 0x4B, 1), 3, kOutputCopies},
    {reg(0x0A, 0x4E, 2), 1, kOutputCopies},
    {kOchVFilter, kOchVFilterTaps, kOutputCopies},
    // ---- 0B, 0C + 16k: sharpness, picture controls, colour conversion and matrix
    {reg(0x0B, 0x08, 1), 2, kOutputCopies},
    {reg(0x0B, 0x0C, 1), 7, kOutputCopies},
    {reg(0x0B, 0x15, 1), 5, kOutputCopies},
    {reg(0x0B, 0x5E, 1), 1, kOutputCopies},
    {kSaturationEnable, 1, kOutputCopies},
    {kSaturation, kPictureComponents, kOutputCopies},
    {kContrastEnable, 1, kOutputCopies},
    {kContrast, kPictureComponents, kOutputCopies},
    {kBrightness, kPictureComponents, kOutputCopies},
    {reg(0x0C, 0x48, 1), 1, kOutputCopies},
    {reg(0x0C, 0x49, 2), 9, kOutputCopies},
    {kColourMatrix, kColourMatrixSize* kColourMatrixSize, kOutputCopies},
    // ---- 0E + 16k: mixers
    {reg(0x0E, 0x08, 1), 1, kOutputCopies},
    {reg(0x0E, 0x09, 4), 1, kOutputCopies},
    {reg(0x0E, 0x0D, 2), 1, kOutputCopies},
    {kLayerWindow, 1, kBlendCopies},
    {kLayerCoef, kLayerMasks* kLayerInputs, kBlendCopies},  // 0E:17 the initial load's
    // ---- 10 + 16k: input capture
    {reg(0x10, 0x09, 1), 1, kInputCopies},  // ISYCT
    {reg(0x10, 0x10, 1), 2, kInputCopies},
    {reg(0x10, 0x17, 2), 4, kInputCopies},  // IACT HST, HW, VST, VW
    {reg(0x10, 0x28, 1), 1, kInputCopies},
    {reg(0x10, 0x29, 2), 15, kInputCopies},  // input colour matrix
    {reg(0x10, 0x47, 1), 3, kInputCopies},
    {reg(0x50, 0x4A, 1), 1, kInputCopies},  // input test colour, channel banks 50 + 16k
    {reg(0x50, 0x4B, 3), 1, kInputCopies},
    // ---- 11 + 16k: input shrink
    {reg(0x11, 0x42, 1), 5, kInputCopies},
    {reg(0x11, 0x47, 2), 1, kInputCopies},
    {reg(0x11, 0x49, 1), 3, kInputCopies},
    {reg(0x11, 0x4C, 2), 1, kInputCopies},
    {reg(0x11, 0x68, 1), 24, kInputCopies},  // vertical shrink coefficients
    // ---- 12, 14, 15 + 16k: picture processing of channels 0-3
    {reg(0x12, 0x08, 1), 13, kProcessedCopies},  // temporal noise reduction
    {reg(0x14, 0x08, 2), 2, kProcessedCopies},   // de-interlacer window
    {reg(0x14, 0x0C, 1), 1, kProcessedCopies},
    {reg(0x14, 0x0D, 2), 1, kProcessedCopies},
    {reg(0x14, 0x0F, 2), 3, kProcessedCopies},
    {reg(0x14, 0x15, 1), 13, kProcessedCopies},  // motion filter 15-21
    {reg(0x14, 0x22, 1), 2, kProcessedCopies},
    {reg(0x14, 0x2A, 1), 1, kProcessedCopies},
    {reg(0x14, 0x2C, 1), 18, kProcessedCopies},  // cadence, comb 3B-3D
    {reg(0x14, 0x42, 1), 9, kProcessedCopies},
    {reg(0x14, 0x50, 1), 20, kProcessedCopies},  // diagonal interpolation
    {reg(0x14, 0x67, 1), 2, kProcessedCopies},
    {reg(0x14, 0x6D, 2), 1, kProcessedCopies},
    {reg(0x15, 0x08, 1), 39, kProcessedCopies},  // master, mosquito noise reduction
    {reg(0x15, 0x39, 2), 1, kProcessedCopies},   // block noise reduction 39-6A
    {reg(0x15, 0x3B, 1), 18, kProcessedCopies},
    {reg(0x15, 0x4D, 2), 2, kProcessedCopies},
    {reg(0x15, 0x51, 1), 3, kProcessedCopies},
    {reg(0x15, 0x54, 2), 2, kProcessedCopies},
    {reg(0x15, 0x58, 1), 4, kProcessedCopies},
    {reg(0x15, 0x5C, 2), 4, kProcessedCopies},
    {reg(0x15, 0x64, 1), 3, kProcessedCopies},
    {reg(0x15, 0x67, 2), 1, kProcessedCopies},
    {reg(0x15, 0x69, 1), 8, kProcessedCopies},  // 6B-6F horizontal and vertical, 70 the bypass
    // ---- 16 + 16k: frame memory
    {reg(0x16, 0x08, 4), 10, kOutputCopies},  // OSFLD0-4, ISFLD0-4
    {reg(0x16, 0x30, 1), 2, kOutputCopies},   // OMWI, IMWI
    {reg(0x16, 0x5B, 1), 1, kProcessedCopies},
    {reg(0x16, 0x65, 1), 1, kInputCopies},
    {reg(0x16, 0x66, 3), 1, kInputCopies},
    {reg(0x16, 0x6B, 1), 1, kInputCopies},
    {reg(0x16, 0x6C, 2), 1, kInputCopies},
    // ---- 17 + 16k: field and motion memory of channels 0-3
    {reg(0x17, 0x08, 4), 8, kProcessedCopies},
    {reg(0x17, 0x58, 1), 1, kProcessedCopies},
    {reg(0x17, 0x59, 2), 1, kProcessedCopies},
    {reg(0x17, 0x5B, 4), 1, kProcessedCopies},
    // ---- A8, AB: channel status and field counters
    {reg(0xA8, 0x08, 2), kProcessedCopies, 1, 6},  // measured input frame of channels 0-3
    {reg(0xA8, 0x0A, 2), kProcessedCopies, 1, 6},
    {kIchStatus, kChannels, 1, kIchStatusStep},
    {kFieldCounter, kChannels},
    // ---- AE, AF: input measurements (parallel ports 0-3, then the receivers)
    {kMeasHtt, kCmosPorts},
    {kMeasHttVbo, kVboReceivers, 1, 8},
    {kMeasVtt, kCmosPorts},
    {kMeasVttVbo, kVboReceivers, 1, 8},
    {kMeasFhw, kCmosPorts},
    {kMeasFhwVbo, kVboReceivers* kLanePairs},
    {kMeasFvm, kCmosPorts},
    {kMeasFvmVbo, kVboReceivers* kLanePairs},
    {kMeasHw, kCmosPorts},
    {kMeasHwVbo, kVboReceivers, 1, 8},
    // ---- B2: identity, receiver lock
    {kChipId},
    {kVboLock},
    // ---- FF: clock generator
    {reg(0xFF, 0x01, 1), 4},
    {reg(0xFF, 0x05, 3)},
};

// Calls f(bank, address, width) for every register of the map.
template <class F>
void forEachMappedRegister(F f)
{
    for (const RegRun& r : kRegisterMap) {
        const u32 bank = r.spec >> 16 & 0xFF, address = r.spec >> 8 & 0xFF, width = r.spec & 0xFF;
        const u32 step = r.step ? r.step : width;
        for (u32 c = 0; c < r.copies; ++c)
            for (u32 i = 0; i < r.count; ++i)
                f(u8(bank + kChannelStride * c), u8(address + step * i), u8(width));
    }
}

}  // namespace x518
