// The frame codec of the control links: one control frame `CTRL_FRAME` is
// 0xA5, the escaped body, 0x5A. The body, before escaping (little-endian):
//
//   0 target address, 1 source address, 2 command, 3 sub-command,
//   4-5 payload length n (at most kMaxPayload), 6.. payload,
//   6+n check byte: XOR of body bytes 0 to 5+n.
//
// A body byte 0xA5, 0x5A or 0xAA travels as 0xAA followed by the byte XOR
// 0x20. A 0xA5 always starts a new frame. A frame with a bad escape, a length
// that disagrees with the body or a bad check byte is dropped.
//
// `protocol_phy` holds the receive state of one byte stream: bytes go in as
// they arrive, in pieces of any size, and whole frames come out. It refuses a
// frame as too long as soon as its length field is known, before reading the
// rest. Encoding needs no state. Both directions take the bytes a machine
// word at a time, stored whole up to the first special byte, and neither
// allocates. docs/protocol.md describes the format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;

namespace ctrl {

constexpr u8 kFrameStart = 0xA5;
constexpr u8 kFrameEnd = 0x5A;
constexpr u8 kEscape = 0xAA;
constexpr u8 kEscapeXor = 0x20;

constexpr size_t kHeaderSize = 6;  // target, source, command, sub-command, length
constexpr size_t kMaxPayload = 4200;
constexpr size_t kCheckSize = 1;
constexpr size_t kMinBody = kHeaderSize + kCheckSize;
constexpr size_t kMaxBody = kHeaderSize + kMaxPayload + kCheckSize;
// Longest frame on the wire: every body byte escaped, plus start and end.
constexpr size_t kMaxWireFrame = 2 + 2 * kMaxBody;
// Longest wire frame of a payload of `n` bytes.
constexpr size_t wireBound(size_t n)
{
    return 2 + 2 * (kMinBody + n);
}

// Body offsets.
constexpr size_t kOffTarget = 0;
constexpr size_t kOffSource = 1;
constexpr size_t kOffCommand = 2;
constexpr size_t kOffSubCommand = 3;
constexpr size_t kOffLength = 4;
constexpr size_t kOffPayload = 6;

// Addresses.
constexpr u8 kAddrBox = 0x00;
constexpr u8 kAddrAnyBox = 0xFF;
constexpr u8 kAddrPc = 0xFE;
constexpr u8 kAddrCardPortBase = 0x10;  // 0x10 + p: the receiving cards behind sending port p
constexpr u8 kCardPorts = 16;
constexpr u8 kAllCards = 0xFF;  // card index meaning every card of the port

inline bool isBoxAddress(u8 a)
{
    return a == kAddrBox || a == kAddrAnyBox;
}
inline bool isCardAddress(u8 a)
{
    return a >= kAddrCardPortBase && a < kAddrCardPortBase + kCardPorts;
}

// Little-endian field helpers.
inline u16 getU16(const u8* p)
{
    return static_cast<u16>(p[0] | (p[1] << 8));
}
inline u32 getU32(const u8* p)
{
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16) |
           (static_cast<u32>(p[3]) << 24);
}
inline void putU16(u8* p, u16 v)
{
    p[0] = static_cast<u8>(v);
    p[1] = static_cast<u8>(v >> 8);
}
inline void putU32(u8* p, u32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<u8>(v >> (8 * i));
}

}  // namespace ctrl

// One control frame, unescaped, without its check byte.
struct CTRL_FRAME {
    u8 target = 0;
    u8 source = 0;
    u8 command = 0;
    u8 sub_command = 0;
    u16 length = 0;  // payload bytes in use, at most ctrl::kMaxPayload
    std::array<u8, ctrl::kMaxPayload> payload{};

    // Appends bytes to the payload; false (and nothing appended) when they
    // would not fit.
    bool append(const void* data, size_t n);
    bool appendU8(u8 v) { return append(&v, 1); }
    bool appendU16(u16 v);
    bool appendU32(u32 v);
};

class protocol_phy {
public:
    // Why frames were dropped, for diagnostics and tests.
    struct Stats {
        u32 frames = 0;      // good frames delivered
        u32 bad_escape = 0;  // 0xAA followed by a byte that escapes nothing
        u32 bad_length = 0;  // length field above the maximum, or disagreeing with the body
        u32 bad_check = 0;   // check byte wrong
        u32 cut = 0;         // a new 0xA5 arrived inside a frame
        u32 noise = 0;       // bytes outside any frame
    };

    using FrameSink = std::function<void(const CTRL_FRAME&)>;

    // Reads received bytes from `data` up to `end` until a good frame is
    // whole, and returns it (valid until the next call), with `data` just
    // past it; null, with `data` at `end`, when the bytes ran out first.
    const CTRL_FRAME* next(const u8*& data, const u8* end);
    // Feeds received bytes; calls `sink` once per good frame, in order.
    // Returns the number of good frames.
    size_t feed(const u8* data, size_t len, const FrameSink& sink);
    // Forgets a frame in progress (a new connection, a new datagram).
    void reset();
    const Stats& stats() const { return stats_; }

    // Decodes exactly one wire frame (0xA5 ... 0x5A, nothing around it):
    // false for a buffer that holds anything else, a frame the codec drops
    // (beside a good one or not) included.
    static bool decodeOne(const u8* data, size_t len, CTRL_FRAME& out);
    // Encodes a frame into `out`, which has room for wireBound(length)
    // bytes; returns the bytes written. A payload length above the maximum
    // is clipped to it.
    static size_t encode(const CTRL_FRAME& frame, u8* out);
    // Encodes a frame onto the end of `out`; returns the bytes appended.
    static size_t encode(const CTRL_FRAME& frame, std::vector<u8>& out);
    // The check byte of a body (header and payload).
    static u8 checkByte(const CTRL_FRAME& frame);

private:
    enum class State { Hunt, Body, Escaped };

    void startFrame();
    void dropFrame(u32& counter);
    size_t announced() const;
    bool pushBodyByte(u8 b);
    void storeRun(const u8* run, size_t n);
    size_t pushBodyRun(const u8* run, size_t n);
    size_t takeWords(const u8* data, const u8* end);
    const u8* takeBody(const u8* data, const u8* end);
    void takeEscaped(u8 b);
    bool endFrame();

    State state_ = State::Hunt;
    size_t bodyLen_ = 0;  // body bytes received: the header, then the payload (in frame_), then the check byte
    // The XOR of the payload's first xorThrough_ bytes, taken as the word
    // steps stored them; endFrame takes the rest.
    u8 payloadXor_ = 0;
    size_t xorThrough_ = 0;
    std::array<u8, ctrl::kHeaderSize> header_{};
    u8 check_ = 0;
    CTRL_FRAME frame_;
    Stats stats_;
};
