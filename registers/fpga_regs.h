// How the box talks to its FPGAs: the GPIO pads in the SoC window, the SPI
// framing of the FPGAs and their serial flashes, the FPGA register map and
// the receiving-card frame RCV_FRAME. This header is the whole contract
// between the program and whatever stands in the FPGAs' place (the FPGA
// design, or a simulator); docs/fpga.md says the same in prose.
//
// Header only and free of the program's own types, so that a simulator can
// include it without linking the program.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fpga {

// ------------------------------------------------------------------ devices
// SPI device nodes, one per chip select of the SoC's SPI controller. Node 0
// (/dev/spidev32766.0) is the video chip and is not ours.
constexpr const char* kSpiNodeFpga[2] = {"/dev/spidev32766.1", "/dev/spidev32766.2"};
constexpr const char* kSpiNodeFlash[2] = {"/dev/spidev32766.3", "/dev/spidev32766.4"};
constexpr uint8_t kSpiMode = 3;  // SPI_MODE_3
constexpr uint8_t kSpiBits = 8;
constexpr uint32_t kSpiSpeedHz = 10000000;

constexpr int kFpgas = 2;

// ------------------------------------------------------------------ SoC window
// /dev/msys answers kMsysGetWindow with the physical address and size of the
// SoC register window; /dev/mem maps it.
constexpr const char* kMsysNode = "/dev/msys";
constexpr const char* kMemNode = "/dev/mem";
constexpr unsigned long kMsysGetWindow = 0x5315;
struct msys_window {
    uint64_t addr;  // physical address of the window
    uint64_t size;  // its length in bytes
};

// GPIO pads the FPGA side uses: 16-bit words in the window, 4 bytes apart.
// A pad word reads and writes its level in bit 4: kPadLow (0) or kPadHigh (16).
// Chip selects are active low (0 = selected, 16 = released); a reset line
// holds its FPGA in reset at 0 and lets it run at 16.
constexpr uint32_t kPadBlock = 0x207800;
constexpr uint32_t kPadCsFpga0 = kPadBlock + 0x00;
constexpr uint32_t kPadCsFpga1 = kPadBlock + 0x04;
constexpr uint32_t kPadCsFlash0 = kPadBlock + 0x08;  // flash behind FPGA 0
constexpr uint32_t kPadCsFlash1 = kPadBlock + 0x0C;  // flash behind FPGA 1
constexpr uint32_t kPadRstFpga0 = kPadBlock + 0x10;
constexpr uint32_t kPadRstFpga1 = kPadBlock + 0x14;
constexpr uint16_t kPadLow = 0;
constexpr uint16_t kPadHigh = 16;
constexpr uint16_t kCsSelected = kPadLow;
constexpr uint16_t kCsReleased = kPadHigh;
constexpr uint16_t kRstHold = kPadLow;
constexpr uint16_t kRstRun = kPadHigh;

// ------------------------------------------------------------------ FPGA SPI framing
// One transaction is one SPI transfer with the FPGA's chip select held low
// throughout: an opcode, a 16-bit big-endian address, then the payload. For
// the read opcodes the FPGA clocks its bytes out from the 4th byte of the
// transfer on (what the master sends there is ignored); the first 3 received
// bytes mean nothing. An address past the end reads 0xFF and takes no write.
enum SpiOp : uint8_t {
    kOpRegWrite = 0x01,     // payload: bytes for registers addr, addr + 1, ...
    kOpRegRead = 0x02,      // reads registers addr, addr + 1, ...
    kOpRamWrite = 0x03,     // payload: bytes for parameter memory addr, addr + 1, ...
    kOpRamRead = 0x04,      // reads parameter memory from addr
    kOpFrameSend = 0x05,    // payload: one RCV_FRAME, sent on the port it names (FPGA 0)
    kOpFrameReceive = 0x06  // reads the oldest received RCV_FRAME and removes it (FPGA 0)
};
constexpr int kSpiHeader = 3;

inline void spiHeader(uint8_t* out, SpiOp op, uint16_t addr)
{
    out[0] = op;
    out[1] = static_cast<uint8_t>(addr >> 8);
    out[2] = static_cast<uint8_t>(addr);
}

// ------------------------------------------------------------------ registers
// Byte registers 0-170. Registers 64-127 belong to the FPGA manager alone
// (state, interrupts, receive queue); the pages and the PC protocol may read
// and write only 0-63 and 128-170. Registers not named below are plain
// read-write storage.
namespace reg {
constexpr int kCount = 171;
constexpr int kManagerFirst = 64;  // 64-127: the manager's own
constexpr int kManagerLast = 127;

constexpr uint8_t kCtrl = 0;
constexpr uint8_t kCtrlScreenOn = 0x04;  // LED output on (0 = black)
constexpr uint8_t kCtrlStandby = 0x08;   // sending ports stopped; set by reset
constexpr uint8_t kCtrlMapping = 0x80;   // the receiving cards use their mapping
constexpr uint8_t kCtrlReset = kCtrlStandby;

constexpr uint8_t kScreenCtrl = 1;  // screen control status
constexpr uint8_t kScreenStop = 0;  // stopped while the LED panel is set up
constexpr uint8_t kScreenRun = 5;   // sending with the current canvas
constexpr uint8_t kScreenCtrlReset = kScreenStop;

constexpr uint8_t kBrightness = 2;  // LED brightness in percent, 0-100
constexpr uint8_t kBrightnessMax = 100;

constexpr uint8_t kVersion = 28;     // program function code (read only)
constexpr uint8_t kVersionDay = 29;  // program date, BCD (read only)
constexpr uint8_t kVersionMonth = 30;
constexpr uint8_t kVersionYear = 31;  // year within the century

constexpr uint8_t kAgeStatus = 40;   // bits 0-4: DDR0, DDR1, DE, HS, VS good (read only)
constexpr uint8_t kAgeCounter = 42;  // free-running 8-bit event counter (read only)
constexpr uint8_t kAgeStatus2 = 43;  // second status byte (read only)

constexpr uint8_t kState = 80;  // read only
constexpr uint8_t kStateReset = 0;
constexpr uint8_t kStateLoading = 1;  // loading its program from its flash
constexpr uint8_t kStateMemInit = 2;  // setting up its memories
constexpr uint8_t kStateRunning = 3;

constexpr uint8_t kIntStatus = 81;          // write 1 to a bit to clear it
constexpr uint8_t kIntLinkChanged = 0x01;   // the link mask changed
constexpr uint8_t kIntFrameWaiting = 0x02;  // a received frame waits (follows the queue)

constexpr uint8_t kRxLenLo = 82;        // length of the oldest received frame,
constexpr uint8_t kRxLenHi = 83;        // 0 = none (read only)
constexpr uint8_t kPollFirst = kState;  // the manager polls 80-83 in one read
constexpr int kPollCount = 4;

constexpr uint8_t kLinkLo = 128;  // link mask of sending ports 0-7 (read only)
constexpr uint8_t kLinkHi = 144;  // link mask of sending ports 8-15 (read only)
}  // namespace reg

constexpr bool regReachable(int r)
{
    return r >= 0 && r < reg::kCount && (r < reg::kManagerFirst || r > reg::kManagerLast);
}

// Sending ports: FPGA 0 drives them all; FPGA 1 has none.
constexpr int kSendPorts = 16;

// Parameter memory: 1 KB per FPGA, kept across a reset. FPGA 0's holds the
// area of each sending port on the LED canvas: four u16 little-endian values,
// x, y, width and height, from the offset below (ports 1 and 3 start at odd
// offsets).
constexpr int kRamSize = 1024;
inline uint16_t portAreaOffset(int port)
{
    if (port == 0)
        return 8;
    if (port == 1)
        return 19;
    if (port == 2)
        return 32;
    if (port == 3)
        return 43;
    if (port >= 4 && port <= 7)
        return static_cast<uint16_t>(520 + 8 * (port - 4));
    if (port >= 8 && port <= 15)
        return static_cast<uint16_t>(576 + 8 * (port - 8));
    return 8;
}

// ------------------------------------------------------------------ serial flashes
// One 8 MiB SPI NOR flash behind each FPGA, on its own node and chip select.
// Usual NOR commands; erase sets 0xFF, programming only clears bits, a page
// program wraps inside its 256-byte page, and program and erase need a write
// enable first and leave the flash busy for a while.
namespace flash {
constexpr uint32_t kSize = 0x800000;
constexpr uint32_t kSector = 4096;
constexpr uint32_t kSectors = kSize / kSector;  // 2048
constexpr uint32_t kPage = 256;
constexpr uint8_t kCmdWriteEnable = 0x06;
constexpr uint8_t kCmdWriteDisable = 0x04;
constexpr uint8_t kCmdReadStatus = 0x05;
constexpr uint8_t kCmdRead = 0x03;
constexpr uint8_t kCmdPageProgram = 0x02;
constexpr uint8_t kCmdErase4K = 0x20;
constexpr uint8_t kCmdErase32K = 0x52;
constexpr uint8_t kCmdErase64K = 0xD8;
constexpr uint8_t kCmdReadId = 0x9F;
constexpr uint8_t kStatusBusy = 0x01;
constexpr uint8_t kStatusWriteEnabled = 0x02;
// Erase kinds of FPGA_SPI_FLASH_VBYONE_ERASE: command and 4 KB sectors per unit.
constexpr uint8_t kEraseCmd[3] = {kCmdErase4K, kCmdErase32K, kCmdErase64K};
constexpr uint32_t kEraseSectors[3] = {1, 8, 16};
}  // namespace flash

// ------------------------------------------------------------------ RCV_FRAME
// A frame between the box and the receiving cards behind one sending port,
// little-endian:
//   0-1  card     destination card: its place on the port's chain, 0 = the
//                 card nearest the box; kCardAll = every card. In a reply:
//                 the answering card's place.
//   2    port     sending port 0-15
//   3    command  see RcvCommand; a reply carries the request's command
//   4-7  address  where in the card the command acts
//   8-9  length   number of data bytes, at most kRcvMaxData
//   10.. data
//   last check    XOR of every byte before it
// A card answers every frame addressed to it or to all cards (reads with their
// data, writes with an empty reply), in the order of its place on the chain.
// A frame with a wrong check byte, length or port is dropped unanswered.
constexpr uint16_t kCardAll = 0xFFFF;
constexpr int kRcvHeader = 10;
constexpr int kRcvMaxData = 1024;
constexpr int kRcvMaxFrame = kRcvHeader + kRcvMaxData + 1;
constexpr int kRcvMinFrame = kRcvHeader + 1;

// Every reply but those of search and read carries no data.
enum RcvCommand : uint8_t {
    kRcvSearch = 0x01,    // no data; reply data: one answer byte (below)
    kRcvRead = 0x02,      // data: u16 count; reply data: count bytes of card memory from address
    kRcvWrite = 0x03,     // data: bytes for the card's parameter memory from address
    kRcvPosition = 0x04,  // data: u16 x, y, width, height: the card's area of the LED screen
    kRcvSave = 0x05,      // no data; the card keeps its parameter memory as its saved copy
    kRcvMapping = 0x06,   // data: one byte, kMappingOn or kMappingOff
};
// Search answer: kRcvAnswerNone when the card has nothing to report; a card
// whose saved parameters are lost (a new or replaced card) answers its own
// place on the chain, until its parameters are saved again.
constexpr uint8_t kRcvAnswerNone = 0xFF;
constexpr int kRcvPositionData = 8;
constexpr uint8_t kMappingOn = 9;
constexpr uint8_t kMappingOff = 0;

struct RcvHeader {
    uint16_t card;
    uint8_t port;
    uint8_t command;
    uint32_t address;
    uint16_t length;
};

inline uint8_t rcvCheck(const uint8_t* data, size_t len)
{
    uint8_t x = 0;
    for (size_t i = 0; i < len; ++i)
        x ^= data[i];
    return x;
}

// Builds a frame into out (room for kRcvHeader + len + 1 bytes); returns its
// length, or 0 when the data is too long.
inline int rcvBuild(uint8_t* out, const RcvHeader& h, const uint8_t* data, int len)
{
    if (len < 0 || len > kRcvMaxData)
        return 0;
    out[0] = static_cast<uint8_t>(h.card);
    out[1] = static_cast<uint8_t>(h.card >> 8);
    out[2] = h.port;
    out[3] = h.command;
    for (int i = 0; i < 4; ++i)
        out[4 + i] = static_cast<uint8_t>(h.address >> (8 * i));
    out[8] = static_cast<uint8_t>(len);
    out[9] = static_cast<uint8_t>(len >> 8);
    for (int i = 0; i < len; ++i)
        out[kRcvHeader + i] = data[i];
    out[kRcvHeader + len] = rcvCheck(out, static_cast<size_t>(kRcvHeader + len));
    return kRcvHeader + len + 1;
}

// Checks a frame and reads its header; false when the frame is malformed
// (too short or long, length field disagreeing, port out of range, check byte wrong).
inline bool rcvParse(const uint8_t* frame, int len, RcvHeader* h)
{
    if (!frame || len < kRcvMinFrame || len > kRcvMaxFrame)
        return false;
    RcvHeader r;
    r.card = static_cast<uint16_t>(frame[0] | frame[1] << 8);
    r.port = frame[2];
    r.command = frame[3];
    r.address = static_cast<uint32_t>(frame[4]) | static_cast<uint32_t>(frame[5]) << 8 |
                static_cast<uint32_t>(frame[6]) << 16 | static_cast<uint32_t>(frame[7]) << 24;
    r.length = static_cast<uint16_t>(frame[8] | frame[9] << 8);
    if (r.length > kRcvMaxData || kRcvHeader + r.length + 1 != len || r.port >= kSendPorts)
        return false;
    if (rcvCheck(frame, static_cast<size_t>(len - 1)) != frame[len - 1])
        return false;
    if (h)
        *h = r;
    return true;
}

}  // namespace fpga
