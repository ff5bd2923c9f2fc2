#include "links/protocol_phy.h"

#include <cstring>

using namespace ctrl;

namespace {

bool needsEscape(u8 b) { return b == kFrameStart || b == kFrameEnd || b == kEscape; }

void putEscaped(std::vector<u8>& out, u8 b)
{
    if (needsEscape(b)) {
        out.push_back(kEscape);
        out.push_back(static_cast<u8>(b ^ kEscapeXor));
    } else {
        out.push_back(b);
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
    size_t n = frame.length > kMaxPayload ? kMaxPayload : frame.length;
    u8 x = static_cast<u8>(frame.target ^ frame.source ^ frame.command ^ frame.sub_command ^ (n & 0xFF) ^ (n >> 8));
    for (size_t i = 0; i < n; ++i)
        x ^= frame.payload[i];
    return x;
}

size_t protocol_phy::encode(const CTRL_FRAME& frame, std::vector<u8>& out)
{
    const size_t before = out.size();
    const u16 n = static_cast<u16>(frame.length > kMaxPayload ? kMaxPayload : frame.length);
    out.reserve(before + 2 + 2 * (kMinBody + n));
    out.push_back(kFrameStart);
    const u8 header[kHeaderSize] = {frame.target, frame.source, frame.command, frame.sub_command,
                                    static_cast<u8>(n & 0xFF), static_cast<u8>(n >> 8)};
    for (u8 b : header)
        putEscaped(out, b);
    for (size_t i = 0; i < n; ++i)
        putEscaped(out, frame.payload[i]);
    putEscaped(out, checkByte(frame));
    out.push_back(kFrameEnd);
    return out.size() - before;
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

void protocol_phy::endFrame(const FrameSink& sink, size_t& delivered)
{
    if (bodyLen_ < kMinBody) {
        dropFrame(stats_.bad_length);
        return;
    }
    const size_t n = getU16(&body_[kOffLength]);
    if (bodyLen_ != kHeaderSize + n + kCheckSize) {
        dropFrame(stats_.bad_length);
        return;
    }
    u8 x = 0;
    for (size_t i = 0; i < kHeaderSize + n; ++i)
        x ^= body_[i];
    if (x != body_[kHeaderSize + n]) {
        dropFrame(stats_.bad_check);
        return;
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
    ++delivered;
    if (sink)
        sink(frame_);
}

size_t protocol_phy::feed(const u8* data, size_t len, const FrameSink& sink)
{
    size_t delivered = 0;
    for (size_t i = 0; i < len; ++i) {
        const u8 b = data[i];
        if (b == kFrameStart) {
            if (state_ != State::Hunt)
                ++stats_.cut;
            startFrame();
            continue;
        }
        switch (state_) {
        case State::Hunt:
            ++stats_.noise;
            break;
        case State::Body:
            if (b == kFrameEnd)
                endFrame(sink, delivered);
            else if (b == kEscape)
                state_ = State::Escaped;
            else
                pushBodyByte(b);
            break;
        case State::Escaped: {
            const u8 v = static_cast<u8>(b ^ kEscapeXor);
            if (!needsEscape(v)) {
                dropFrame(stats_.bad_escape);
                break;
            }
            state_ = State::Body;
            pushBodyByte(v);
            break;
        }
        }
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
