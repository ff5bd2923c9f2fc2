// How the input-source manager talks to the devices on its I2C bus: the bus
// node, the 7-bit addresses of the four video receivers and the four EDID
// EEPROMs, the receivers' register interface, and how the box wires each
// video input to a port of the video chip. This header is the whole contract
// between the program and whatever answers on the bus (the board, or the
// simulated devices); docs/video-inputs.md says the same in prose.
//
// The receiver registers are this project's own: the receiver chips' real
// register maps are not part of the program, so on the board the receiver
// driver reports no signal (see docs/video-inputs.md).
//
// Header only and free of the program's own types, so that a simulator can
// include it without linking the program.
#pragma once

#include <cstdint>

namespace tamix {

// ------------------------------------------------------------------ the bus
constexpr const char* kI2cDevice = "/dev/i2c-0";
constexpr int kMaxMessages = 42;  // messages one I2C_RDWR call may carry

// ------------------------------------------------------------------ inputs
// Source ids: 0 DVI, 1 HDMI1, 2 HDMI2, 3 HDMI3 (the HDMI 2.0 input). The
// EDID "ports" 0-3 are the same numbers.
constexpr int kSources = 4;
constexpr int kHdmi20Source = 3;
// Port of the video chip each source enters on (0-3 parallel, 5 the second
// V-by-One receiver).
constexpr int kChipPortOfSource[kSources] = {2, 1, 0, 5};

// ------------------------------------------------------------------ addresses (7 bit)
constexpr uint8_t kReceiverAddressBase = 0x48;  // receiver of source s at 0x48 + s
constexpr uint8_t kEepromAddressBase = 0x50;    // EDID EEPROM of port p at 0x50 + p
constexpr uint8_t receiverAddress(int source)
{
    return uint8_t(kReceiverAddressBase + source);
}
constexpr uint8_t eepromAddress(int port)
{
    return uint8_t(kEepromAddressBase + port);
}

// ------------------------------------------------------------------ EDID EEPROM (24C02 style)
// 256 bytes; a write message is the word address then up to one page of
// data (a page write wraps inside its page); a read continues from the
// current address. After a write the EEPROM does not acknowledge its address
// until its write cycle has finished (the writer polls for the acknowledge).
constexpr int kEdidSize = 256;
constexpr int kEepromPage = 8;

// ------------------------------------------------------------------ receiver registers
// One byte each, an internal register pointer that a write message's first
// byte sets and every byte read or written advances. Multi-byte values are
// little-endian. The identity, status, sequence and timing registers are
// read-only; a write to them is ignored.
namespace rx {

constexpr uint8_t kId0 = 0x00;       // reads kIdentity0
constexpr uint8_t kId1 = 0x01;       // reads kIdentity1
constexpr uint8_t kRevision = 0x02;  // reads kRevisionValue
constexpr uint8_t kStatus = 0x03;    // status bits below
constexpr uint8_t kSequence = 0x04;  // counts up (mod 256) each time the published timing changes
constexpr uint8_t kControl = 0x05;   // control bits below; reads back the level bits

constexpr uint8_t kIdentity0 = 'K';
constexpr uint8_t kIdentity1 = 'R';
constexpr uint8_t kRevisionValue = 1;

// Status (kStatus)
constexpr uint8_t kStatusSignal = 0x01;        // a stable timing is published in the timing block
constexpr uint8_t kStatusInterlaced = 0x02;    // the published timing is interlaced
constexpr uint8_t kStatusHotPlug = 0x04;       // the hot-plug line to the source is high
constexpr uint8_t kStatusSelected = 0x08;      // the input's indicator is on
constexpr uint8_t kStatusClockDoubled = 0x10;  // the receiver doubles the pixel clock (pixel repetition)

// Control (kControl)
constexpr uint8_t kControlReset = 0x01;     // write 1: restart the receiver (self-clearing); the
                                            // timing is published again with a new sequence number
constexpr uint8_t kControlHotPlug = 0x02;   // level of the hot-plug line (1 high)
constexpr uint8_t kControlSelected = 0x04;  // the input's indicator (1 on)

// Timing block, valid while kStatusSignal is set (all zero otherwise).
// Vertical values count lines per field when the timing is interlaced.
constexpr uint8_t kTiming = 0x10;
constexpr uint8_t kHact = 0x10;      // u16 active pixels per line
constexpr uint8_t kHsync = 0x12;     // u16
constexpr uint8_t kHback = 0x14;     // u16 back porch
constexpr uint8_t kHtotal = 0x16;    // u16
constexpr uint8_t kVact = 0x18;      // u16 active lines
constexpr uint8_t kVsync = 0x1A;     // u16
constexpr uint8_t kVback = 0x1C;     // u16
constexpr uint8_t kVtotal = 0x1E;    // u16
constexpr uint8_t kPclkKhz = 0x20;   // u32 pixel clock in kHz
constexpr uint8_t kPolarity = 0x24;  // bit 0 horizontal sync positive, bit 1 vertical sync positive
constexpr uint8_t kType = 0x25;      // 0 DVI, 1 HDMI
constexpr uint8_t kDataMode = 0x26;  // output data mode; non-zero = two pixels per clock (two channels)
constexpr uint8_t kLanes = 0x27;     // V-by-One lanes of the output: 1, 2, 4 or 8
constexpr uint8_t kTimingEnd = 0x28;
constexpr int kTimingSize = kTimingEnd - kTiming;

constexpr uint8_t kPolarityH = 0x01;
constexpr uint8_t kPolarityV = 0x02;

// What a poll reads in one transfer: identity to the end of the timing block.
constexpr int kSnapshotSize = kTimingEnd;

}  // namespace rx

}  // namespace tamix
