// What the simulated X518's input channels write into its frame memory,
// read from their registers as the chip would write: each channel that
// captures (IACT HW and VW above 0) writes, into each of its five frame
// buffers, one line of its picture after the other, the first at the
// buffer's field address (ISFLD), each the line step (IMWI x 1024 bytes)
// after the last. A line holds the captured width after the horizontal
// shrink, in the memory format its colour control (ISCWCT) selects: four
// bytes a pixel, sixteen bytes per five pixels, eight per three, or two
// bytes a pixel. The canvas reads the pictures from these areas; the
// memory check finds bytes that two areas share and lines longer than
// their step, which on a chip tear the picture.
#pragma once

#include "platform/sim/sim_x518_flash.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::sim {

// IMWI and OMWI count line steps in KiB.
constexpr int64_t kMemoryUnit = 1024;

// Register `spec` of channel `channel`'s copy (16 banks a channel on, as the
// chip reads it), little-endian over its width.
uint32_t channelValue(const SimX518Flash::Registers& regs, uint32_t spec, int channel = 0);

// Bytes a line of `pixels` takes in the memory format of colour-control
// code `colourControl` (ISCWCT, OSCWCT).
int64_t memoryLineBytes(uint32_t colourControl, int64_t pixels);

// Pixels a capture of `size` writes when shrunk at `ratio` (16.16; 0 or
// 1:1 and above: not shrunk) from start phase `phase` (256ths) with the
// phase flag `phaseFlag`.
int shrunkPixels(int size, int ratio, int phase, bool phaseFlag);

// One input channel's writes into one frame buffer.
struct WriteArea {
    int channel = -1;
    int buffer = 0;
    int64_t start = 0;      // the first line's first byte
    int64_t step = 0;       // from one line to the next
    int64_t lineBytes = 0;  // bytes a line takes
    int width = 0;          // pixels a line
    int lines = 0;
    uint32_t colourControl = 0;
    bool writes() const { return width > 0 && lines > 0; }
    // One past the last byte written.
    int64_t end() const { return start + int64_t(lines - 1) * step + lineBytes; }
    // The lines that share bytes with [from, to): the first and last line
    // index (first > last: none). For a step above 0.
    void linesMeeting(int64_t from, int64_t to, int64_t& first, int64_t& last) const;
};

// What channel `channel` (0-7) writes into buffer `buffer` (0-4); an area
// that writes() nothing when the channel captures nothing.
WriteArea writeArea(const SimX518Flash::Registers& regs, int channel, int buffer);
// Every buffer of every channel that captures, in channel and buffer order.
std::vector<WriteArea> writeAreas(const SimX518Flash::Registers& regs);

// A fault of the memory layout: a line longer than its step (`first` only),
// or bytes two areas both write, the lowest at `address`.
struct MemoryFault {
    enum Kind { kLongLine, kShared };
    Kind kind = kShared;
    WriteArea first, second;
    int64_t address = 0;
};
std::vector<MemoryFault> memoryFaults(const std::vector<WriteArea>& areas);

// The areas and the faults, one line each, ending with the count of faults.
std::string describeMemory(const SimX518Flash::Registers& regs);

}  // namespace platform::sim
