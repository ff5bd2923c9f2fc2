#include "links/protocol_phy.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

using namespace ctrl;

namespace {

// The escaping and unescaping look at a machine word of bytes at a time
// (four on the board, eight on a 64-bit PC): the word is loaded and stored
// whole, and its special bytes are found by arithmetic on the word.
using Word = std::uintptr_t;
constexpr size_t kWordBytes = sizeof(Word);
constexpr Word kLowBits = ~Word(0) / 0xFF;  // 0x01 in every byte
constexpr Word kHighBits = kLowBits << 7;   // 0x80 in every byte

constexpr Word inEveryByte(u8 b)
{
    return kLowBits * b;
}

// The word at p, its first byte in the lowest bits whatever the byte order.
inline Word loadWord(const u8* p)
{
    Word w;
    std::memcpy(&w, p, kWordBytes);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = sizeof(Word) == 8 ? Word(__builtin_bswap64(w)) : Word(__builtin_bswap32(static_cast<uint32_t>(w)));
#endif
    return w;
}

// The special bytes (0xA5, 0x5A, 0xAA), and 0x55 besides, are the bytes
// whose bits alternate within each half, 0101 or 1010: each bit but the
// top one of a half differs from the bit above it. The top bit of each such
// byte of `w`, exactly (no carry crosses a byte). Not zero when `w` may hold
// a special byte.
constexpr Word maySpecial(Word w)
{
    constexpr Word kWithinHalves = inEveryByte(0x77);  // the bits compared with the bit above
    constexpr Word kAllDiffer = inEveryByte(0x09);     // carries 0x77, and only that, into the top bit
    return (((w ^ (w >> 1)) & kWithinHalves) + kAllDiffer) & kHighBits;
}

// The top bit of each byte of `w` that must be escaped: of the bytes that
// alternate, those with the top bit of either half set (all but 0x55).
constexpr Word specialBytes(Word w)
{
    return maySpecial(w) & (w | (w << 4));
}

constexpr bool needsEscape(u8 b)
{
    return b == kFrameStart || b == kFrameEnd || b == kEscape;
}

constexpr bool wordTestsAsBytes()
{
    for (unsigned b = 0; b < 256; ++b)
        if ((specialBytes(b) != 0) != needsEscape(static_cast<u8>(b)) ||
            (needsEscape(static_cast<u8>(b)) && !maySpecial(b)))
            return false;
    return true;
}
static_assert(wordTestsAsBytes(), "a word's special bytes are the bytes that need escaping");

// Index of the first byte of `hits` (not zero) that has its top bit set.
inline size_t firstByte(Word hits)
{
    // The count of trailing zeros at the word's own width: at twice the
    // width a 32-bit processor calls a library function for it.
    if (sizeof(Word) <= sizeof(unsigned))
        return static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits))) / 8;
    return static_cast<size_t>(__builtin_ctzll(static_cast<unsigned long long>(hits))) / 8;
}

// The first `n` bytes of `w` (n below kWordBytes), the rest zero.
inline Word firstBytes(Word w, size_t n)
{
    return w & ((Word(1) << (8 * n)) - 1);
}

// The XOR of the bytes of `w`.
inline u8 xorOfWord(Word w)
{
    for (size_t bits = 8 * kWordBytes / 2; bits >= 8; bits /= 2)
        w ^= w >> bits;
    return static_cast<u8>(w);
}

// Offset of the first byte of p[0, n) that must be escaped; n when none.
size_t findSpecial(const u8* p, size_t n)
{
    size_t i = 0;
    for (; i + kWordBytes <= n; i += kWordBytes) {
        const Word hits = specialBytes(loadWord(p + i));
        if (hits != 0)
            return i + firstByte(hits);
    }
    for (; i < n; ++i)
        if (needsEscape(p[i]))
            return i;
    return n;
}

// XOR of the bytes p[0, n): two words per step into two sums, so that the
// steps do not wait on each other.
u8 xorOf(const u8* p, size_t n)
{
    Word a = 0, b = 0;
    size_t i = 0;
    for (; i + 2 * kWordBytes <= n; i += 2 * kWordBytes) {
        a ^= loadWord(p + i);
        b ^= loadWord(p + i + kWordBytes);
    }
    if (i + kWordBytes <= n) {
        a ^= loadWord(p + i);
        i += kWordBytes;
    }
    u8 x = xorOfWord(a ^ b);
    for (; i < n; ++i)
        x ^= p[i];
    return x;
}

// Two words are looked at together while neither may hold a special byte
// (more at once cost more than they save where special bytes come every
// few dozen bytes, as in a binary file).
constexpr size_t kRunWords = 2;
constexpr size_t kRunBytes = kRunWords * kWordBytes;

// Whether no word of the run at p may hold a special byte; the XOR of its
// words in `sum` when so.
inline bool plainRun(const u8* p, Word& sum)
{
    Word may = 0, x = 0;
    for (size_t k = 0; k < kRunWords; ++k) {
        const Word w = loadWord(p + k * kWordBytes);
        may |= maySpecial(w);
        x ^= w;
    }
    sum ^= may == 0 ? x : 0;
    return may == 0;
}

// Stores the word at `from` whole at `to` and returns how many of its bytes
// come before its first special byte (kWordBytes when it holds none); the
// XOR of those bytes goes into `sum`.
inline size_t copyPlainBytes(const u8* from, u8* to, Word& sum)
{
    std::memcpy(to, from, kWordBytes);
    const Word w = loadWord(from);
    const Word hits = specialBytes(w);
    if (hits == 0) {
        sum ^= w;
        return kWordBytes;
    }
    const size_t plain = firstByte(hits);
    sum ^= firstBytes(w, plain);
    return plain;
}

// The word `w` stored at `to` escaped, every one of its bytes a special
// byte: each as the escape byte and the byte XOR 0x20, two bytes of `w` to
// four of `to` at a step.
inline void putSpecialWord(u8* to, Word w)
{
    const Word x = w ^ inEveryByte(kEscapeXor);
    for (size_t k = 0; k < kWordBytes; k += 2) {
        const auto pair = static_cast<uint32_t>(x >> (8 * k));
        uint32_t four = kEscape | ((pair & 0xFFu) << 8) | (uint32_t(kEscape) << 16) | ((pair & 0xFF00u) << 16);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        four = __builtin_bswap32(four);
#endif
        std::memcpy(to + 2 * k, &four, sizeof four);
    }
}

// Escapes p[0, n) into `out`, which has room for 2n bytes; returns the end
// of what was written, and the XOR of p[0, n) in `sum`. Two words at a time
// while neither may hold a special byte; else words of special bytes only
// (as in data that is mostly special bytes) escaped whole, one after
// another, then one word stored whole and counted up to its first special
// byte, which is escaped on the spot (with a word of `p` left, two of `out`
// are); the rest a byte at a time.
u8* putEscaped(u8* out, const u8* p, size_t n, u8& sum)
{
    const u8* const end = p + n;
    Word words = 0;
    u8 bytes = 0;
    // Inline at both its calls: called, it would keep the loops' state in
    // memory, a load and a store a step.
    auto word = [&]() __attribute__((always_inline))
    {
        Word w = loadWord(p);
        Word hits = specialBytes(w);
        while (hits == kHighBits) {
            putSpecialWord(out, w);
            words ^= w;
            p += kWordBytes;
            out += 2 * kWordBytes;
            if (static_cast<size_t>(end - p) < kWordBytes)
                return;
            w = loadWord(p);
            hits = specialBytes(w);
        }
        // Stored whole, counted up to its first special byte.
        std::memcpy(out, p, kWordBytes);
        if (hits == 0) {
            words ^= w;
            p += kWordBytes;
            out += kWordBytes;
            return;
        }
        const size_t plain = firstByte(hits);
        words ^= firstBytes(w, plain);
        p += plain;
        out += plain;
        bytes ^= *p;
        *out++ = kEscape;
        *out++ = static_cast<u8>(*p++ ^ kEscapeXor);
    };
    while (static_cast<size_t>(end - p) >= kRunBytes) {
        if (!plainRun(p, words)) {
            word();
            continue;
        }
        std::memcpy(out, p, kRunBytes);
        p += kRunBytes;
        out += kRunBytes;
    }
    while (static_cast<size_t>(end - p) >= kWordBytes)
        word();
    for (; p < end; ++p) {
        bytes ^= *p;
        if (needsEscape(*p)) {
            *out++ = kEscape;
            *out++ = static_cast<u8>(*p ^ kEscapeXor);
        } else {
            *out++ = *p;
        }
    }
    sum = static_cast<u8>(sum ^ xorOfWord(words) ^ bytes);
    return out;
}

// Per byte value, whether it is what follows an escape byte: a special
// byte XOR 0x20.
constexpr std::array<bool, 256> escapedByteTable()
{
    std::array<bool, 256> table{};
    for (unsigned b = 0; b < 256; ++b)
        table[b] = needsEscape(static_cast<u8>(b ^ kEscapeXor));
    return table;
}
constexpr std::array<bool, 256> kEscapedByte = escapedByteTable();

// Takes the escapes at `data`, one after another, a byte pair at a time,
// while both bytes are there, the second escapes a special byte and `to`
// has room; returns the XOR of the bytes stored.
inline u8 takeEscapes(const u8*& data, const u8* end, u8*& to, const u8* toEnd)
{
    size_t pairs = std::min(static_cast<size_t>(end - data) / 2, static_cast<size_t>(toEnd - to));
    u8 x = 0;
    for (; pairs > 0 && data[0] == kEscape && kEscapedByte[data[1]]; --pairs, data += 2) {
        const u8 v = static_cast<u8>(data[1] ^ kEscapeXor);
        *to++ = v;
        x ^= v;
    }
    return x;
}

// Unescapes from `data` into `to` while a word is left on both sides, as
// putEscaped escapes: two words at a time while neither may hold a special
// byte, else one stored whole and counted up to its first special byte; an
// escape whose byte is there is taken on the spot, escapes where a word
// begins (as right after an escape, in data that is mostly special bytes) a
// byte pair at a time; any other special byte ends it (at the byte).
// Returns the XOR of the bytes stored, taken on the way.
u8 unescapeWords(const u8*& dataRef, const u8* end, u8*& toRef, const u8* toEnd)
{
    // Locals while stepping: the stores through `to` may alias the references.
    const u8* data = dataRef;
    u8* to = toRef;
    Word words = 0;
    u8 escaped = 0;
    // As far as `data` may go with room left in `to` (which an escape widens).
    auto bound = [&] { return data + std::min(end - data, toEnd - to); };
    const u8* stop = bound();
    while (static_cast<size_t>(stop - data) >= kWordBytes) {
        if (static_cast<size_t>(stop - data) >= kRunBytes && plainRun(data, words)) {
            std::memcpy(to, data, kRunBytes);
            data += kRunBytes;
            to += kRunBytes;
            continue;
        }
        const size_t plain = copyPlainBytes(data, to, words);
        data += plain;
        to += plain;
        if (plain == kWordBytes)
            continue;
        if (plain == 0) {
            // A special byte where the word began, as after an escape: the
            // escapes from here on a pair at a time.
            const u8* const at = data;
            escaped ^= takeEscapes(data, end, to, toEnd);
            if (data == at)
                break;
            stop = bound();
            continue;
        }
        if (end - data < 2 || *data != kEscape || !needsEscape(static_cast<u8>(data[1] ^ kEscapeXor)))
            break;
        const u8 v = static_cast<u8>(data[1] ^ kEscapeXor);
        *to++ = v;
        escaped ^= v;
        data += 2;
        stop = bound();
    }
    dataRef = data;
    toRef = to;
    return static_cast<u8>(xorOfWord(words) ^ escaped);
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
    const u8 header[kHeaderSize] = {
        frame.target,           frame.source, frame.command, frame.sub_command, static_cast<u8>(n & 0xFF),
        static_cast<u8>(n >> 8)};
    u8 check = 0;
    u8* at = out;
    *at++ = kFrameStart;
    at = putEscaped(at, header, kHeaderSize, check);
    at = putEscaped(at, frame.payload.data(), n, check);
    u8 ignored = 0;
    at = putEscaped(at, &check, kCheckSize, ignored);
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
    payloadXor_ = 0;
    xorThrough_ = 0;
}

void protocol_phy::dropFrame(u32& counter)
{
    ++counter;
    state_ = State::Hunt;
    bodyLen_ = 0;
}

// The payload length the header announces (the header is whole).
size_t protocol_phy::announced() const
{
    return getU16(&header_[kOffLength]);
}

// Stores one unescaped body byte. False when the frame has become longer
// than its length field allows (or than any frame may be): it is dropped.
bool protocol_phy::pushBodyByte(u8 b)
{
    if (bodyLen_ < kHeaderSize) {
        header_[bodyLen_++] = b;
        if (bodyLen_ == kHeaderSize && announced() > kMaxPayload) {
            dropFrame(stats_.bad_length);
            return false;
        }
        return true;
    }
    const size_t payloadEnd = kHeaderSize + announced();
    if (bodyLen_ >= payloadEnd + kCheckSize) {
        dropFrame(stats_.bad_length);
        return false;
    }
    if (bodyLen_ < payloadEnd)
        frame_.payload[bodyLen_ - kHeaderSize] = b;
    else
        check_ = b;
    ++bodyLen_;
    return true;
}

// Stores body bytes after the header, which the frame has room for: the
// payload goes straight into the frame handed out, the check byte aside.
void protocol_phy::storeRun(const u8* run, size_t n)
{
    const size_t payloadEnd = kHeaderSize + announced();
    const size_t toPayload = bodyLen_ < payloadEnd ? std::min(n, payloadEnd - bodyLen_) : 0;
    std::memcpy(frame_.payload.data() + (bodyLen_ - kHeaderSize), run, toPayload);
    if (n > toPayload)
        check_ = run[toPayload];
    bodyLen_ += n;
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
    const size_t room = kHeaderSize + announced() + kCheckSize - bodyLen_;
    const size_t take = std::min(room, n - i);
    storeRun(run + i, take);
    i += take;
    if (i < n) {
        dropFrame(stats_.bad_length);
        ++i;
    }
    return i;
}

// Takes payload bytes a word at a time, each word stored whole and counted
// up to its first special byte, an escape with its byte taken on the spot,
// while the payload has room for a whole word; returns the bytes taken.
// The check byte's XOR of the payload is brought up to the bytes stored on
// the way.
size_t protocol_phy::takeWords(const u8* data, const u8* end)
{
    const size_t payloadEnd = kHeaderSize + announced();
    if (bodyLen_ >= payloadEnd)
        return 0;
    const u8* const from = data;
    // Locals, not members: the stores into the payload may alias them.
    u8* const payload = frame_.payload.data();
    u8* to = payload + (bodyLen_ - kHeaderSize);
    u8* const toEnd = payload + (payloadEnd - kHeaderSize);
    // The XOR of the bytes stored since the last steps, then of theirs.
    const size_t stored = static_cast<size_t>(to - payload);
    payloadXor_ = static_cast<u8>(payloadXor_ ^ xorOf(payload + xorThrough_, stored - xorThrough_) ^
                                  unescapeWords(data, end, to, toEnd));
    xorThrough_ = static_cast<size_t>(to - payload);
    bodyLen_ = kHeaderSize + xorThrough_;
    return static_cast<size_t>(data - from);
}

// A frame's bytes that are looked at whole before its header is whole: a
// payload this short costs more in the word steps than they save.
constexpr size_t kShortRest = 64;

// Takes body bytes, and escaped ones whose byte has come too, up to a byte
// the state machine must look at itself: a frame start or end, an escape
// whose byte comes with the next read or escapes nothing, or the end of the
// data. Returns where it stopped.
const u8* protocol_phy::takeBody(const u8* data, const u8* end)
{
    for (;;) {
        if (bodyLen_ >= kHeaderSize) {
            data += takeWords(data, end);
        } else if (static_cast<size_t>(end - data) > kShortRest) {
            // The header alone first, so that the payload after it goes to
            // the word steps.
            const size_t rest = kHeaderSize - bodyLen_;
            const size_t plain = findSpecial(data, rest);
            data += pushBodyRun(data, plain);
            if (state_ != State::Body)
                return data;
            if (plain == rest)
                continue;
        }
        data += pushBodyRun(data, findSpecial(data, static_cast<size_t>(end - data)));
        if (state_ != State::Body || end - data < 2 || *data != kEscape)
            return data;
        const u8 v = static_cast<u8>(data[1] ^ kEscapeXor);
        if (!needsEscape(v))
            return data;
        data += 2;
        if (!pushBodyByte(v))
            return data;
    }
}

// The end byte came: true, with frame_ filled, when the body is a good frame.
bool protocol_phy::endFrame()
{
    if (bodyLen_ < kMinBody) {
        dropFrame(stats_.bad_length);
        return false;
    }
    const size_t n = announced();
    if (bodyLen_ != kHeaderSize + n + kCheckSize) {
        dropFrame(stats_.bad_length);
        return false;
    }
    const u8 payloadXor = static_cast<u8>(payloadXor_ ^ xorOf(frame_.payload.data() + xorThrough_, n - xorThrough_));
    if ((xorOf(header_.data(), kHeaderSize) ^ payloadXor) != check_) {
        dropFrame(stats_.bad_check);
        return false;
    }
    frame_.target = header_[kOffTarget];
    frame_.source = header_[kOffSource];
    frame_.command = header_[kOffCommand];
    frame_.sub_command = header_[kOffSubCommand];
    frame_.length = static_cast<u16>(n);
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
            data = takeBody(data, end);
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
    // Nothing but the frame: no frame dropped before it either.
    const Stats& st = codec.stats();
    return got && st.frames == 1 && st.cut == 0 && st.noise == 0 && st.bad_escape == 0 && st.bad_length == 0 &&
           st.bad_check == 0;
}
