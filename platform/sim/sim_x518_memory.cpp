#include "platform/sim/sim_x518_memory.h"

#include "platform/sim/sim_x518.h"
#include "registers/x518_regs.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace platform::sim {
namespace {

using x518::u32;

constexpr int kBuffers = 5;
// Colour-control codes of the memory formats.
constexpr u32 kFiveInSixteen = 0x80, kThreeInEight = 0x01, kTwoBytes = 0x11;
constexpr u32 kHPhaseFlag = 0x80, kVPhaseFlag = 0x08;  // in the shrink flags

int64_t floorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The lowest byte both areas write, or -1.
int64_t firstShared(const WriteArea& a, const WriteArea& b)
{
    if (a.end() <= b.start || b.end() <= a.start)
        return -1;
    const WriteArea& few = a.lines <= b.lines ? a : b;
    const WriteArea& many = a.lines <= b.lines ? b : a;
    for (int i = 0; i < few.lines; ++i) {
        const int64_t from = few.start + int64_t(i) * few.step;
        const int64_t to = from + few.lineBytes;
        if (many.step <= 0) {
            if (from < many.end() && many.start < to)
                return std::max(from, many.start);
            continue;
        }
        int64_t k0, k1;
        many.linesMeeting(from, to, k0, k1);
        if (k0 <= k1)
            return std::max(from, many.start + k0 * many.step);
    }
    return -1;
}

}  // namespace

void WriteArea::linesMeeting(int64_t from, int64_t to, int64_t& first, int64_t& last) const
{
    first = std::max<int64_t>(floorDiv(from - start - lineBytes, step) + 1, 0);
    last = std::min<int64_t>(floorDiv(to - 1 - start, step), lines - 1);
}

uint32_t channelValue(const SimX518Flash::Registers& regs, uint32_t spec, int channel)
{
    const size_t bank = ((spec >> 16) + x518::kChannelStride * uint32_t(channel)) & 0xFF;
    const uint32_t address = (spec >> 8) & 0xFF;
    uint32_t v = 0;
    for (uint32_t i = 0; i < (spec & 0xFF) && address + i < SimX518::kBankSize; ++i)
        v |= uint32_t(regs[bank][address + i]) << (8 * i);
    return v;
}

int64_t memoryLineBytes(uint32_t colourControl, int64_t n)
{
    switch (colourControl) {
    case kFiveInSixteen: return (n / 5) * 16 + (n % 5) * 3;
    case kThreeInEight: return (n + (3 - n % 3) % 3) * 8 / 3;
    case kTwoBytes: return 2 * n;
    default: return 4 * n;
    }
}

int shrunkPixels(int size, int ratio, int phase, bool phaseFlag)
{
    if (size < 1 || ratio <= 0 || ratio >= int(x518::kZoomUnit))
        return size;
    const int64_t sum = int64_t(ratio) * (size - 1) + (phaseFlag ? 0 : int64_t(x518::kZoomUnit)) + int64_t(phase) * 256;
    return int(sum >> 16);
}

WriteArea writeArea(const SimX518Flash::Registers& regs, int channel, int buffer)
{
    WriteArea a;
    a.channel = channel;
    a.buffer = buffer;
    if (channel < 0 || channel >= x518::kChannels || buffer < 0 || buffer >= kBuffers)
        return a;
    a.start = channelValue(regs, x518::regAt(x518::kIsfld, x518::kFieldAddressStep * u32(buffer)), channel);
    a.step = int64_t(channelValue(regs, x518::kImwi, channel)) * kMemoryUnit;
    a.colourControl = channelValue(regs, x518::kIscwct + x518::kAddressStep * u32(channel));
    const u32 flags = channelValue(regs, x518::kShrinkFlags, channel);
    const bool hShrink = channelValue(regs, x518::kShrinkHControl, channel) == x518::kShrinkHOn;
    const bool vShrink = channelValue(regs, x518::kShrinkVControl, channel) == x518::kShrinkVOn;
    a.width = shrunkPixels(int(channelValue(regs, x518::kIactHw, channel)),
                           hShrink ? int(channelValue(regs, x518::kShrinkHRatio, channel)) : 0,
                           int(channelValue(regs, x518::kShrinkHPhase, channel)), (flags & kHPhaseFlag) != 0);
    a.lines = shrunkPixels(int(channelValue(regs, x518::kIactVw, channel)),
                           vShrink ? int(channelValue(regs, x518::kShrinkVRatio, channel)) : 0,
                           int(channelValue(regs, x518::kShrinkVPhase, channel)), (flags & kVPhaseFlag) != 0);
    a.lineBytes = memoryLineBytes(a.colourControl, a.width);
    return a;
}

std::vector<WriteArea> writeAreas(const SimX518Flash::Registers& regs)
{
    std::vector<WriteArea> out;
    for (int c = 0; c < x518::kChannels; ++c)
        for (int b = 0; b < kBuffers; ++b)
            if (WriteArea a = writeArea(regs, c, b); a.writes())
                out.push_back(a);
    return out;
}

std::vector<MemoryFault> memoryFaults(const std::vector<WriteArea>& areas)
{
    std::vector<MemoryFault> out;
    for (const WriteArea& a : areas)
        if (a.lines > 1 && a.lineBytes > a.step)
            out.push_back({MemoryFault::kLongLine, a, {}, a.start + a.step});
    for (size_t i = 0; i < areas.size(); ++i)
        for (size_t j = i + 1; j < areas.size(); ++j)
            if (const int64_t at = firstShared(areas[i], areas[j]); at >= 0)
                out.push_back({MemoryFault::kShared, areas[i], areas[j], at});
    return out;
}

std::string describeMemory(const SimX518Flash::Registers& regs)
{
    const std::vector<WriteArea> areas = writeAreas(regs);
    std::string text;
    char line[160];
    for (const WriteArea& a : areas) {
        std::snprintf(line, sizeof line,
                      "ich %d buffer %d: 0x%08" PRIX64 ", %d lines %" PRId64 " bytes apart, %" PRId64
                      " bytes a line (%d pixels, colour control 0x%02X)\n",
                      a.channel, a.buffer, a.start, a.lines, a.step, a.lineBytes, a.width, a.colourControl);
        text += line;
    }
    const std::vector<MemoryFault> faults = memoryFaults(areas);
    for (const MemoryFault& f : faults) {
        if (f.kind == MemoryFault::kLongLine)
            std::snprintf(line, sizeof line,
                          "long line: ich %d buffer %d writes %" PRId64 " bytes a line %" PRId64 " bytes apart\n",
                          f.first.channel, f.first.buffer, f.first.lineBytes, f.first.step);
        else
            std::snprintf(line, sizeof line, "shared: ich %d buffer %d and ich %d buffer %d from 0x%08" PRIX64 "\n",
                          f.first.channel, f.first.buffer, f.second.channel, f.second.buffer, f.address);
        text += line;
    }
    std::snprintf(line, sizeof line, "faults: %zu\n", faults.size());
    return text + line;
}

}  // namespace platform::sim
