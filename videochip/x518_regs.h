// Registers of the X518 chip that the chip manager names, as specification
// words (bank << 16 | address << 8 | width) with bank offset 0. Registers of
// a channel copy are reached with the bank offset x518::kChannelStride x k.
#pragma once

#include "app/global.h"

namespace x518 {

constexpr u32 reg(u32 bank, u32 address, u32 width) { return bank << 16 | address << 8 | width; }
// The same register `n` addresses further on (address steps, not bank steps).
constexpr u32 regAt(u32 spec, u32 n) { return spec + (n << 8); }

constexpr u32 kChannelStride = 16;  // bank offset between channel copies
constexpr int kChannels = 8;        // input and output channels
constexpr int kPorts = 6;           // input ports: 0-3 parallel, 4-5 V-by-One receivers 0-1
constexpr int kCmosPorts = 4;
constexpr int kFirstVboPort = 4;
constexpr int kVboReceivers = 2;
constexpr int kWindows = 6;

// ---- identity
constexpr u32 kChipId = reg(0xB2, 0x08, 1);
constexpr u32 kChipIdValue = 0x24;

// ---- register-update window and measurement hold
constexpr u32 kUpdateCtl = reg(0x00, 0x29, 1);  // bit 0: update window open; 0x80: hold measurements
constexpr u32 kUpdateCtlOpen = 0x01;
constexpr u32 kHoldMeasure = 0x80;
constexpr u32 kUpdateTiming = reg(0x00, 0x22, 1);  // 00:22-00:28, one byte each
constexpr int kUpdateTimingRegs = 7;

// ---- input paths, polarity, V-by-One receivers
constexpr u32 kInputPathEnable = reg(0x00, 0x18, 2);  // bit 4i: input path i
constexpr int kInputPathBitStep = 4;
constexpr u32 kSyncPolCmos = reg(0x06, 0x38, 4);     // byte i: CMOS input i
constexpr u32 kSyncPolVbo = reg(0x06, 0x3C, 4);      // half r: receiver r
constexpr u32 kVboLaneWord = reg(0x00, 0x1E, 2);     // + 2 addresses per receiver
constexpr u32 kVboLaneBits = reg(0x00, 0x39, 2);     // byte r: receiver r
constexpr u32 kVboFrange = reg(0x02, 0x4C, 1);       // + 0x1C addresses per receiver
constexpr u32 kVboFrangeLow = 0x08;
constexpr u32 kVboFrangeStep = 0x1C;
constexpr u32 kVboLock = reg(0xB2, 0x64, 1);         // bit 5 + 2r: receiver r locked
constexpr u32 kVboLockBit0 = 5;
constexpr u32 kVboFrameMeasure = reg(0xAE, 0x5C, 3);  // + 0x0C addresses per receiver
constexpr u32 kVboFrameMeasureStep = 0x0C;

// ---- output channels (bank offset 16 x channel unless said)
constexpr u32 kOchEnable = reg(0x00, 0x08, 1);  // + channel x kAddressStep: bit 0 the channel is in use
constexpr u32 kOchEnableOn = 0x01;
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
constexpr u32 kBkgShow = reg(0x08, 0x48, 1);    // 1 = background colour instead of the picture
constexpr u32 kBkgShowOn = 0x01;
constexpr u32 kBkgColour = reg(0x08, 0x49, 3);  // 0xRRGGBB
// Zoom block: zoom steps are source pixels (lines) per output pixel, 16.16.
constexpr u32 kOchVZoom = reg(0x0A, 0x44, 1);     // kOchVZoomOn while zooming vertically
constexpr u32 kOchVZoomOn = 3;
constexpr u32 kOchHControl = reg(0x0A, 0x46, 1);  // kOchHControlZoom while zooming horizontally
constexpr u32 kOchHControlZoom = 199;
constexpr u32 kOchHPhase = reg(0x0A, 0x47, 1);    // and 0x48
constexpr u32 kOchHStep = reg(0x0A, 0x49, 2);
constexpr u32 kOchVControl = reg(0x0A, 0x4B, 1);
constexpr u32 kOchVPhase = reg(0x0A, 0x4C, 1);    // and 0x4D
constexpr u32 kOchVStep = reg(0x0A, 0x4E, 2);
constexpr u32 kZoomUnit = 0x10000;

// ---- pattern generator of an output channel (bank offset 16 x channel)
constexpr u32 kPatternType = reg(0x08, 0x57, 1);  // 0 off
constexpr u32 kPatternP1 = reg(0x08, 0x58, 1);    // P2, P3 at the next addresses
constexpr u32 kPatternControl = reg(0x08, 0x5B, 2);
constexpr u32 kPatternZero = reg(0x08, 0x5D, 2);
constexpr u32 kPatternS1 = reg(0x08, 0x5F, 2);
constexpr u32 kPatternS2 = reg(0x08, 0x61, 2);
constexpr u32 kPatternC1 = reg(0x08, 0x63, 1);    // first colour red, green, blue at 63-65
constexpr u32 kPatternD1 = reg(0x08, 0x66, 1);    // second colour at 66-68
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
constexpr u32 kLayerWindow = reg(0x0E, 0x0F, 2);  // 0, 256 or 512
constexpr u32 kLayerCoef = reg(0x0E, 0x11, 1);    // + 5k + j addresses: weight of input j under mask k
constexpr u32 kLayerFull = 128;

// ---- frame waits
constexpr u32 kInFrameRequest = reg(0x05, 0x08, 1);
constexpr u32 kOutFrameRequest = reg(0x05, 0x09, 1);
constexpr u32 kInFrameFlags = reg(0x05, 0x22, 1);
constexpr u32 kOutFrameFlags = reg(0x05, 0x23, 1);
constexpr u32 kIchStatus = reg(0xA8, 0x3F, 1);  // + 5 addresses per input channel
constexpr u32 kIchStatusStep = 5;
constexpr u32 kIchStatusIdle = 0xFF;
constexpr u32 kFieldCounter = reg(0xAB, 0x47, 1);  // + 1 address per channel

// ---- input port measurements (bank AE/AF, read under kHoldMeasure)
// Parallel port p: the register plus p x kMeasCmosStep (or kMeasCmosFvmStep);
// V-by-One receiver k: the V-by-One register plus k x kMeasVboStep (or kMeasVboFvmStep).
constexpr u32 kMeasHtt = reg(0xAE, 0x08, 2);      // total pixels per line - 1
constexpr u32 kMeasHttVbo = reg(0xAE, 0x10, 2);
constexpr u32 kMeasVtt = reg(0xAE, 0x20, 2);      // total lines
constexpr u32 kMeasVttVbo = reg(0xAE, 0x28, 2);
constexpr u32 kMeasFhw = reg(0xAE, 0x38, 2);      // line period - 1
constexpr u32 kMeasFhwVbo = reg(0xAE, 0x40, 2);   // lane pair j at + j x kMeasLaneLineStep
constexpr u32 kMeasFvm = reg(0xAE, 0x50, 3);      // frame period - 1
constexpr u32 kMeasFvmVbo = reg(0xAE, 0x5C, 3);   // lane pair j at + j x kMeasLaneFrameStep
constexpr u32 kMeasHw = reg(0xAF, 0x08, 2);       // active width
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
constexpr u32 kIchSel = reg(0x00, 0x10, 1);     // + channel x kAddressStep: source of input channel c
constexpr u32 kAddressStep = 0x100;
// ICHSEL codes: 2p for parallel port p; V-by-One receiver k: its first half,
// its second half with up to 4 lanes, with more (kIchSelVbo + 4k + 0, 1, 2).
constexpr u32 kIchSelVbo = 8;
constexpr u32 kIchSelVboStep = 4;
constexpr u32 kDualCtl = reg(0x03, 0x08, 1);    // + pair x kDualPairStep: dual-channel split
constexpr u32 kDualHst = reg(0x03, 0x09, 2);
constexpr u32 kDualHw = reg(0x03, 0x0B, 2);
constexpr u32 kDualPairStep = 0x900;
constexpr u32 kDualOn = 3;

}  // namespace x518
