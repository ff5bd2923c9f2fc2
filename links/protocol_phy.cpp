#include "links/protocol_phy.h"

#include <algorithm>
#include <cstring>

using namespace ctrl;

namespace {

constexpr size_t kWord = sizeof(uint64_t);

bool needsEscape(u8 b) { return b == kFrameStart || b == kFrameEnd || b == kEscape; }

// Sixteen bytes compared at once (SSE2 on a PC, NEON on the board, plain
// words where there is neither).
typedef u8 Block __attribute__((vector_size(16)));
constexpr size_t kBlock = sizeof(Block);

// Index of the first byte of `w` (in memory order) that is not zero.
size_t firstByteSet(uint64_t w)
{
    uint8_t bytes[kWord];
    std::memcpy(bytes, &w, kWord);
    size_t k = 0;
    while (bytes[k] == 0)
        ++k;
    return k;
}

// Offset of the first byte of p[0, n) that must be escaped; n when none.
// Whole blocks are looked at together until one holds a special byte.
size_t findSpecial(const u8* p, size_t n)
{
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        Block b;
        std::memcpy(&b, p + i, kBlock);
        const auto hit = (b == kFrameStart) | (b == kFrameEnd) | (b == kEscape);
        uint64_t words[2];  // a special byte is all ones here
        std::memcpy(words, &hit, sizeof words);
        if (words[0] != 0)
            return i + firstByteSet(words[0]);
        if (words[1] != 0)
            return i + kWord + firstByteSet(words[1]);
    }
    for (; i < n; ++i)
        if (needsEscape(p[i]))
            return i;
    return n;
}

// XOR of the bytes p[0, n).
u8 xorOf(const u8* p, size_t n)
{
    uint64_t words = 0;
    size_t i = 0;
    for (; i + kWord <= n; i += kWord) {
        uint64_t w;
        std::memcpy(&w, p + i, kWord);
        words ^= w;
    }
    words ^= words >> 32;
    words ^= words >> 16;
    words ^= words >> 8;
    u8 x = static_cast<u8>(words);
    for (; i < n; ++i)
        x ^= p[i];
    return x;
}

// Escapes p[0, n) into `out`, copying the runs between special bytes whole;
// returns the end of what was written.
u8* putEscaped(u8* out, const u8* p, size_t n)
{
    for (;;) {
        const size_t run = findSpecial(p, n);
        std::memcpy(out, p, run);
        out += run;
        p += run;
        n -= run;
        if (n == 0)
            return out;
        *out++ = kEscape;
        *out++ = static_cast<u8>(*p++ ^ kEscapeXor);
        --n;
    }
}

}  // namespace

// ------------------------------------------------------------------ CTRL_FRAME

bool CTRL_FRAME::append(const void* data, size_t n)
{
    if (n > kMaxPayload - length)
        return false;
    if (n > 0)
        std::memcpy(payload.data() + length, data, n);
    length = static_cast<u16>(length + n);
    return true;
}

bool CTRL_FRAME::appendU16(u16 v)
{
    u8 b[2];
    putU16(b, v);
    return append(b, sizeof b);
}

bool CTRL_FRAME::appendU32(u32 v)
{
    u8 b[4];
    putU32(b, v);
    return append(b, sizeof b);
}

// ------------------------------------------------------------------ encoding

u8 protocol_phy::checkByte(const CTRL_FRAME& frame)
{
    const size_t n = frame.length > kMaxPayload ? kMaxPayload : frame.length;
    return static_cast<u8>(frame.target ^ frame.source ^ frame.command ^ frame.sub_command ^ (n & 0xFF) ^ (n >> 8) ^
                           xorOf(frame.payload.data(), n));
}

size_t protocol_phy::encode(const CTRL_FRAME& frame, u8* out)
{
    const u16 n = static_cast<u16>(frame.length > kMaxPayload ? kMaxPayload : frame.length);
    const u8 header[kHeaderSize] = {frame.target, frame.source, frame.command, frame.sub_command,
                                    static_cast<u8>(n & 0xFF), static_cast<u8>(n >> 8)};
    const u8 check = checkByte(frame);
    u8* at = out;
    *at++ = kFrameStart;
    at = putEscaped(at, header, kHeaderSize);
    at = putEscaped(at, frame.payload.data(), n);
    at = putEscaped(at, &check, kCheckSize);
    *at++ = kFrameEnd;
    return static_cast<size_t>(at - out);
}

size_t protocol_phy::encode(const CTRL_FRAME& frame, std::vector<u8>& out)
{
    const size_t before = out.size();
    out.resize(before + wireBound(frame.length > kMaxPayload ? kMaxPayload : frame.length));
    const size_t written = encode(frame, out.data() + before);
    out.resize(before + written);
    return written;
}

// ------------------------------------------------------------------ decoding

void protocol_phy::reset()
{
    state_ = State::Hunt;
    bodyLen_ = 0;
}

void protocol_phy::startFrame()
{
    state_ = State::Body;
    bodyLen_ = 0;
}

void protocol_phy::dropFrame(u32& counter)
{
    ++counter;
    state_ = State::Hunt;
    bodyLen_ = 0;
}

// Stores one unescaped body byte. False when the frame has become longer
// than its length field allows (or than any frame may be): it is dropped.
bool protocol_phy::pushBodyByte(u8 b)
{
    if (bodyLen_ >= kMaxBody) {
        dropFrame(stats_.bad_length);
        return false;
    }
    body_[bodyLen_++] = b;
    if (bodyLen_ >= kHeaderSize) {
        const size_t n = getU16(&body_[kOffLength]);
        if (n > kMaxPayload || bodyLen_ > kHeaderSize + n + kCheckSize) {
            dropFrame(stats_.bad_length);
            return false;
        }
    }
    return true;
}

// Stores a run of body bytes that need no unescaping, as pushBodyByte would
// one by one: the header a byte at a time, then as much as the length field
// leaves room for in one copy. Returns the bytes taken; fewer than `n` when
// the frame was dropped (the byte that overran it is taken too).
size_t protocol_phy::pushBodyRun(const u8* run, size_t n)
{
    size_t i = 0;
    while (i < n && bodyLen_ < kHeaderSize)
        if (!pushBodyByte(run[i++]))
            return i;
    if (i == n)
        return n;
    const size_t room = kHeaderSize + getU16(&body_[kOffLength]) + kCheckSize - bodyLen_;
    const size_t take = std::min(room, n - i);
    std::memcpy(&body_[bodyLen_], run + i, take);
    bodyLen_ += take;
    i += take;
    if (i < n) {
        dropFrame(stats_.bad_length);
        ++i;
    }
    return i;
}

// The end byte came: true, with frame_ filled, when the body is a good frame.
bool protocol_phy::endFrame()
{
    if (bodyLen_ < kMinBody) {
        dropFrame(stats_.bad_length);
        return false;
    }
    const size_t n = getU16(&body_[kOffLength]);
    if (bodyLen_ != kHeaderSize + n + kCheckSize) {
        dropFrame(stats_.bad_length);
        return false;
    }
    if (xorOf(body_.data(), kHeaderSize + n) != body_[kHeaderSize + n]) {
        dropFrame(stats_.bad_check);
        return false;
    }
    frame_.target = body_[kOffTarget];
    frame_.source = body_[kOffSource];
    frame_.command = body_[kOffCommand];
    frame_.sub_command = body_[kOffSubCommand];
    frame_.length = static_cast<u16>(n);
    if (n > 0)
        std::memcpy(frame_.payload.data(), &body_[kOffPayload], n);
    state_ = State::Hunt;
    bodyLen_ = 0;
    ++stats_.frames;
    return true;
}

// The byte after an escape byte.
void protocol_phy::takeEscaped(u8 b)
{
    if (b == kFrameStart) {
        ++stats_.cut;
        startFrame();
        return;
    }
    const u8 v = static_cast<u8>(b ^ kEscapeXor);
    if (!needsEscape(v)) {
        dropFrame(stats_.bad_escape);
        return;
    }
    pushBodyByte(v);
}

const CTRL_FRAME* protocol_phy::next(const u8*& data, const u8* end)
{
    while (data < end) {
        switch (state_) {
        case State::Hunt: {
            // Everything up to the next start byte is noise.
            const auto* start = static_cast<const u8*>(std::memchr(data, kFrameStart, static_cast<size_t>(end - data)));
            const u8* stop = start ? start : end;
            stats_.noise += static_cast<u32>(stop - data);
            data = stop;
            if (start) {
                ++data;
                startFrame();
            }
            break;
        }
        case State::Body: {
            data += pushBodyRun(data, findSpecial(data, static_cast<size_t>(end - data)));
            if (state_ != State::Body || data == end)
                break;
            const u8 b = *data++;  // a special byte
            if (b == kFrameStart) {
                ++stats_.cut;
                startFrame();
            } else if (b == kFrameEnd) {
                if (endFrame())
                    return &frame_;
            } else if (data < end) {
                takeEscaped(*data++);
            } else {
                state_ = State::Escaped;  // the escaped byte comes with the next read
            }
            break;
        }
        case State::Escaped:
            state_ = State::Body;
            takeEscaped(*data++);
            break;
        }
    }
    return nullptr;
}

size_t protocol_phy::feed(const u8* data, size_t len, const FrameSink& sink)
{
    size_t delivered = 0;
    const u8* end = data + len;
    while (const CTRL_FRAME* frame = next(data, end)) {
        ++delivered;
        if (sink)
            sink(*frame);
    }
    return delivered;
}

bool protocol_phy::decodeOne(const u8* data, size_t len, CTRL_FRAME& out)
{
    if (len < 2 || data[0] != kFrameStart || data[len - 1] != kFrameEnd)
        return false;
    protocol_phy codec;
    bool got = false;
    codec.feed(data, len, [&](const CTRL_FRAME& f) {
        out = f;
        got = true;
    });
    const Stats& st = codec.stats();
    return got && st.frames == 1 && st.cut == 0 && st.noise == 0;
}
