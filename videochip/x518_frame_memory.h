// How the chip keeps pictures in its frame memory: the memory formats a
// window's lines are written in, the bytes a line takes in each, and the
// pixels an input channel writes after its horizontal shrink. The input
// side lays the windows out with them, the output side reads with them,
// and the dot-by-dot memory derives its line steps from them.
#pragma once

#include "app/global.h"
#include "registers/x518_regs.h"

#include <algorithm>
#include <cstdint>

namespace x518mem {

// Memory formats (PM_MEM_WMODE): four bytes a pixel, sixteen bytes per five
// pixels, eight per three, two a pixel.
enum Format : i32 { kFourBytes = 0, kFiveInSixteen = 1, kThreeInEight = 2, kTwoBytes = 3 };
// The format the memory map is laid out for: an input channel's column of
// 8 KiB holds a line of 2,560 pixels in it, a dot-by-dot line step of
// 1 KiB 320 pixels.
constexpr Format kPacked = kFiveInSixteen;

// Bytes a line of `n` pixels takes.
inline int64_t lineBytes(int format, int64_t n)
{
    switch (format) {
    case kFiveInSixteen: return (n / 5) * 80 / 5 + (n % 5) * 3;
    case kThreeInEight: return (n + (3 - n % 3) % 3) * 8 / 3;
    case kTwoBytes: return 2 * n;
    default: return 4 * n;
    }
}
// Bytes a line of format 2 starts late (its pad to a multiple of three pixels).
inline int64_t padBytes(int format, int64_t n)
{
    return format == kThreeInEight ? (3 - n % 3) % 3 * 2 : 0;
}
// The most pixels a line of `bytes` holds.
inline int64_t pixelsIn(int format, int64_t bytes)
{
    switch (format) {
    case kFiveInSixteen: return bytes / 16 * 5 + std::min<int64_t>((bytes % 16) / 3, 4);
    case kThreeInEight: return bytes / 8 * 3;
    case kTwoBytes: return bytes / 2;
    default: return bytes / 4;
    }
}

// Pixels an input channel writes of a capture `size` wide, shrunk at
// `ratio` (16.16; 1:1 and above: not shrunk) from start phase `phase`
// (256ths) with its phase flag.
inline int64_t shrunkCount(int64_t size, i32 ratio, i32 phase, i32 flag)
{
    if (size < 1 || ratio <= 0 || ratio >= i32(x518::kZoomUnit))
        return size;
    return (int64_t(ratio) * (size - 1) + int64_t(1 - flag) * x518::kZoomUnit + int64_t(phase) * 256) >> 16;
}

}  // namespace x518mem
