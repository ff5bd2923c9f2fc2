#include "links/protocol_phy.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

using namespace ctrl;

namespace {

constexpr size_t kWord = sizeof(uint64_t);

// The XOR of the eight bytes of `w`.
inline u8 xorOfWord(uint64_t w)
{
    w ^= w >> 32;
    w ^= w >> 16;
    w ^= w >> 8;
    return static_cast<u8>(w);
}

bool needsEscape(u8 b)
{
    return b == kFrameStart || b == kFrameEnd || b == kEscape;
}

// findSpecial(p, n): offset of the first byte of p[0, n) that must be
// escaped; n when none. Whole blocks are looked at together until one holds
// a special byte, the rest byte by byte from `i` on.
size_t findSpecialByteByByte(const u8* p, size_t i, size_t n)
{
    for (; i < n; ++i)
        if (needsEscape(p[i]))
            return i;
    return n;
}

#if defined(__SSE2__)
// Thirty-two bytes compared at once, one mask of the hits per sixteen.
constexpr size_t kBlock = 16;

inline __m128i specialIn(__m128i b)
{
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>(kFrameStart))),
                                     _mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>(kFrameEnd)))),
                        _mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>(kEscape))));
}

// See WideStep: thirty-two bytes a step.
struct NarrowStep {
    static constexpr std::ptrdiff_t kStep = 2 * kBlock;
    static uint64_t copy(const u8* from, u8* to)
    {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + kBlock));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + kBlock), b);
        return static_cast<unsigned>(_mm_movemask_epi8(specialIn(a))) |
               static_cast<unsigned>(_mm_movemask_epi8(specialIn(b))) << kBlock;
    }
};

size_t findSpecial(const u8* p, size_t n)
{
    size_t i = 0;
    for (; i + 2 * kBlock <= n; i += 2 * kBlock) {
        const __m128i a = specialIn(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        const __m128i b = specialIn(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + kBlock)));
        const unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(a)) | static_cast<unsigned>(_mm_movemask_epi8(b))
                                                                                << kBlock;
        if (hits != 0)
            return i + static_cast<size_t>(__builtin_ctz(hits));
    }
    return findSpecialByteByByte(p, i, n);
}
#else
// Sixteen bytes compared at once (NEON on the board, plain words where
// there is none).
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
    return findSpecialByteByByte(p, i, n);
}
#endif

#if defined(__x86_64__)
// Whether the processor compares thirty-two bytes at once.
bool wideBlocks()
{
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

// One step of the escaping and unescaping: copies kStep bytes from `from`
// to `to` whole and gives the mask of the special bytes among them (bit i:
// byte i).
struct WideStep {
    static constexpr std::ptrdiff_t kStep = 64;
    __attribute__((target("avx2"))) static __m256i specialIn(__m256i b)
    {
        return _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(b, _mm256_set1_epi8(static_cast<char>(kFrameStart))),
                                               _mm256_cmpeq_epi8(b, _mm256_set1_epi8(static_cast<char>(kFrameEnd)))),
                               _mm256_cmpeq_epi8(b, _mm256_set1_epi8(static_cast<char>(kEscape))));
    }
    __attribute__((target("avx2"))) static uint64_t copy(const u8* from, u8* to)
    {
        constexpr std::ptrdiff_t kHalf = kStep / 2;
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + kHalf));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), a);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + kHalf), b);
        return uint64_t(static_cast<uint32_t>(_mm256_movemask_epi8(specialIn(a)))) |
               uint64_t(static_cast<uint32_t>(_mm256_movemask_epi8(specialIn(b)))) << kHalf;
    }
};

// Whether the processor drops the escape bytes of sixty-four at once
// (AVX-512 with byte compression).
bool compressedBlocks()
{
    static const bool yes = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi") &&
                            __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    return yes;
}

#define KEL_COMPRESS_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi2,bmi,bmi2,popcnt")))

// The mask of the bytes of `b` equal to `v`.
KEL_COMPRESS_TARGET inline uint64_t bytesEqual(__m512i b, u8 v)
{
    return _mm512_cmpeq_epi8_mask(b, _mm512_set1_epi8(static_cast<char>(v)));
}

// Unescapes sixty-four wire bytes a step, whatever the escapes among them,
// while a step's bytes are left on both sides: the escape bytes are dropped
// and the bytes after them turned back, the rest stored as they came. A step
// ends before a frame start or end, and before an escape whose byte is not
// in it; a step that holds a bad escape is left whole to the byte-wise path.
// The usual step takes all sixty-four bytes, so the next one's load never
// waits for this one's masks. Returns the XOR of the bytes stored, taken on
// the way (the frame's check needs no second pass over them).
KEL_COMPRESS_TARGET u8 unescapeCompressed(const u8*& dataRef, const u8* end, u8*& toRef, const u8* toEnd)
{
    constexpr std::ptrdiff_t kStep = 64;
    constexpr uint64_t kLastByte = uint64_t(1) << (kStep - 1);
    const u8* data = dataRef;
    u8* to = toRef;
    __m512i sum = _mm512_setzero_si512();
    while (end - data >= kStep && toEnd - to >= kStep) {
        const __m512i wire = _mm512_loadu_si512(data);
        uint64_t escapes = bytesEqual(wire, kEscape);
        // The bytes after the escapes turned back: where the escapes are
        // good these are special bytes, elsewhere the special bytes are the
        // escapes themselves and the frame starts and ends.
        const __m512i turned = _mm512_mask_blend_epi8(
            escapes << 1, wire, _mm512_xor_si512(wire, _mm512_set1_epi8(static_cast<char>(kEscapeXor))));
        const uint64_t special =
            bytesEqual(turned, kFrameStart) | bytesEqual(turned, kFrameEnd) | bytesEqual(turned, kEscape);
        const uint64_t ends = special & ~escapes & ~(escapes << 1);
        uint64_t width = kStep;
        if ((ends | (escapes & kLastByte)) != 0) {
            // Up to the first frame start or end, less an escape at the end.
            width = ends == 0 ? kStep : _tzcnt_u64(ends);
            escapes = _bzhi_u64(escapes, static_cast<unsigned>(width));
            if (width > 0 && (escapes >> (width - 1)) != 0)
                escapes = _bzhi_u64(escapes, static_cast<unsigned>(--width));
        }
        const uint64_t escaped = escapes << 1;
        if ((escaped & ~special) != 0)
            break;
        const uint64_t kept = _bzhi_u64(~escapes, static_cast<unsigned>(width));
        // The bytes kept, packed to the front; zeros after them.
        const __m512i bytes = _mm512_maskz_compress_epi8(kept, turned);
        _mm512_storeu_si512(to, bytes);
        sum = _mm512_xor_si512(sum, bytes);
        to += _mm_popcnt_u64(kept);
        data += width;
        if (ends != 0)
            break;
    }
    dataRef = data;
    toRef = to;
    uint64_t words[kStep / kWord];
    _mm512_storeu_si512(words, sum);
    uint64_t all = 0;
    for (uint64_t w : words)
        all ^= w;
    return xorOfWord(all);
}

// The XOR of p[0, i) for the largest i <= n that is a multiple of 64, as
// eight bytes to fold; `i` set to it.
__attribute__((target("avx2"))) uint64_t xorWide(const u8* p, size_t n, size_t& i)
{
    __m256i a = _mm256_setzero_si256(), b = _mm256_setzero_si256();
    for (i = 0; i + 64 <= n; i += 64) {
        a = _mm256_xor_si256(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
        b = _mm256_xor_si256(b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32)));
    }
    const __m256i sum = _mm256_xor_si256(a, b);
    uint64_t quarters[4];
    std::memcpy(quarters, &sum, sizeof quarters);
    return quarters[0] ^ quarters[1] ^ quarters[2] ^ quarters[3];
}
#endif

// XOR of the bytes p[0, n).
u8 xorOf(const u8* p, size_t n)
{
    uint64_t words = 0;
    size_t i = 0;
#if defined(__x86_64__)
    if (n >= 64 && wideBlocks())
        words = xorWide(p, n, i);
#endif
#if defined(__SSE2__)
    // Two blocks per step into two sums, so the steps do not wait on each other.
    __m128i a = _mm_setzero_si128(), b = _mm_setzero_si128();
    for (; i + 2 * kBlock <= n; i += 2 * kBlock) {
        a = _mm_xor_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        b = _mm_xor_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + kBlock)));
    }
    const __m128i sum = _mm_xor_si128(a, b);
    uint64_t halves[2];
    std::memcpy(halves, &sum, sizeof halves);
    words ^= halves[0] ^ halves[1];
#endif
    for (; i + kWord <= n; i += kWord) {
        uint64_t w;
        std::memcpy(&w, p + i, kWord);
        words ^= w;
    }
    u8 x = xorOfWord(words);
    for (; i < n; ++i)
        x ^= p[i];
    return x;
}

// Escapes p[0, n) into `out`, which has room for 2n bytes, copying the runs
// between special bytes whole; returns the end of what was written. Where
// blocks can be compared at once, thirty-two bytes are stored whole and
// counted up to their first special byte, which is escaped on the spot.
u8* putEscaped(u8* out, const u8* p, size_t n)
{
#if defined(__SSE2__)
    // A whole step is stored only where `out` has room for it: with a
    // step of `p` left, two of `out` are.
    const u8* const end = p + n;
    while (end - p >= NarrowStep::kStep) {
        const uint64_t hits = NarrowStep::copy(p, out);
        if (hits == 0) {
            p += NarrowStep::kStep;
            out += NarrowStep::kStep;
            continue;
        }
        const unsigned plain = static_cast<unsigned>(__builtin_ctzll(hits));
        out += plain;
        *out++ = kEscape;
        *out++ = static_cast<u8>(p[plain] ^ kEscapeXor);
        p += plain + 1;
    }
    n = static_cast<size_t>(end - p);
#endif
    while (n > 0) {
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
    return out;
}

#if defined(__SSE2__)
// Unescapes from `data` into `to` a step at a time while a step's bytes
// are left on both sides: each step stored whole and counted up to its
// first special byte; an escape whose byte is there is taken on the spot,
// any other special byte ends it (at the byte).
template <class Step>
void unescapeSteps(const u8*& dataRef, const u8* end, u8*& toRef, const u8* toEnd)
{
    // Locals while stepping: the stores through `to` may alias the references.
    const u8* data = dataRef;
    u8* to = toRef;
    while (end - data >= Step::kStep && toEnd - to >= Step::kStep) {
        const uint64_t hits = Step::copy(data, to);
        if (hits == 0) {
            data += Step::kStep;
            to += Step::kStep;
            continue;
        }
        const unsigned plain = static_cast<unsigned>(__builtin_ctzll(hits));
        data += plain;
        to += plain;
        if (end - data < 2 || *data != kEscape || !needsEscape(static_cast<u8>(data[1] ^ kEscapeXor)))
            break;
        *to++ = static_cast<u8>(data[1] ^ kEscapeXor);
        data += 2;
    }
    dataRef = data;
    toRef = to;
}
#endif

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

protocol_phy::Steps protocol_phy::fastestSteps()
{
#if defined(__x86_64__)
    if (compressedBlocks())
        return Steps::Compressed;
    if (wideBlocks())
        return Steps::Wide;
#endif
#if defined(__SSE2__)
    return Steps::Narrow;
#else
    return Steps::Runs;
#endif
}

protocol_phy::protocol_phy(Steps steps) : steps_(std::min(steps, fastestSteps())) {}

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

// Takes payload bytes a step of blocks at a time, the step stored whole and
// counted up to its first special byte, an escape with its byte taken on
// the spot (or, a step of sixty-four bytes, its escapes taken together),
// while the payload has room for a whole step; returns the bytes taken.
// Where blocks cannot be compared at once, none.
size_t protocol_phy::takeBlocks(const u8* data, const u8* end)
{
#if defined(__SSE2__)
    const u8* const from = data;
    const size_t payloadEnd = kHeaderSize + announced();
    if (steps_ == Steps::Runs || bodyLen_ >= payloadEnd)
        return 0;
    // Locals, not members: the stores into the payload may alias them.
    u8* const payload = frame_.payload.data();
    u8* to = payload + (bodyLen_ - kHeaderSize);
    u8* const toEnd = payload + (payloadEnd - kHeaderSize);
#if defined(__x86_64__)
    if (steps_ == Steps::Compressed) {
        // The XOR of the bytes stored since the last such steps, then of theirs.
        const size_t stored = static_cast<size_t>(to - payload);
        payloadXor_ = static_cast<u8>(payloadXor_ ^ xorOf(payload + xorThrough_, stored - xorThrough_) ^
                                      unescapeCompressed(data, end, to, toEnd));
        xorThrough_ = static_cast<size_t>(to - payload);
    } else if (steps_ == Steps::Wide) {
        unescapeSteps<WideStep>(data, end, to, toEnd);
    }
#endif
    unescapeSteps<NarrowStep>(data, end, to, toEnd);
    bodyLen_ = kHeaderSize + static_cast<size_t>(to - payload);
    return static_cast<size_t>(data - from);
#else
    (void)data;
    (void)end;
    return 0;
#endif
}

// Takes body bytes, and escaped ones whose byte has come too, up to a byte
// the state machine must look at itself: a frame start or end, an escape
// whose byte comes with the next read or escapes nothing, or the end of the
// data. Returns where it stopped.
const u8* protocol_phy::takeBody(const u8* data, const u8* end)
{
    for (;;) {
        if (bodyLen_ >= kHeaderSize)
            data += takeBlocks(data, end);
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
