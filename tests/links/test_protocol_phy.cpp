// The frame codec: encoding, escaping, reassembly from a byte stream and the
// frames it must drop.
#include "links/protocol_phy.h"
#include "tests/links/link_client.h"
#include "tests/links/reference_codec.h"
#include "tests/support/random_walk.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ctrl;

namespace {

std::vector<u8> encode(const CTRL_FRAME& f)
{
    std::vector<u8> out;
    protocol_phy::encode(f, out);
    return out;
}

std::vector<CTRL_FRAME> decodeAll(protocol_phy& codec, const std::vector<u8>& bytes)
{
    std::vector<CTRL_FRAME> frames;
    codec.feed(bytes.data(), bytes.size(), [&](const CTRL_FRAME& f) { frames.push_back(f); });
    return frames;
}

bool sameFrame(const CTRL_FRAME& a, const CTRL_FRAME& b)
{
    return a.target == b.target && a.source == b.source && a.command == b.command && a.sub_command == b.sub_command &&
           a.length == b.length && std::equal(a.payload.begin(), a.payload.begin() + a.length, b.payload.begin());
}

// A wire frame built by hand: start, the body bytes escaped as given, end.
std::vector<u8> wire(const std::vector<u8>& body)
{
    std::vector<u8> out{kFrameStart};
    for (u8 b : body) {
        if (b == 0xA5 || b == 0x5A || b == 0xAA) {
            out.push_back(kEscape);
            out.push_back(b ^ kEscapeXor);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(kFrameEnd);
    return out;
}

// `body` with its check byte appended.
std::vector<u8> checked(std::vector<u8> body)
{
    u8 x = 0;
    for (u8 b : body)
        x ^= b;
    body.push_back(x);
    return body;
}

// What a codec made a stream into: its frames and its counts.
struct Decoded {
    std::vector<CTRL_FRAME> frames;
    protocol_phy::Stats stats;
};

// `stream` through the codec, in reads that end at each of `cuts`
// (ascending).
Decoded decode(const std::vector<u8>& stream, const std::vector<size_t>& cuts)
{
    protocol_phy codec;
    Decoded out;
    size_t from = 0;
    for (size_t to : cuts) {
        codec.feed(stream.data() + from, to - from, [&](const CTRL_FRAME& f) { out.frames.push_back(f); });
        from = to;
    }
    codec.feed(stream.data() + from, stream.size() - from, [&](const CTRL_FRAME& f) { out.frames.push_back(f); });
    out.stats = codec.stats();
    return out;
}

// The codec decodes `stream`, cut at `cuts`, as the byte-at-a-time
// reference does, frames and counts; `what` names the stream.
void expectAsTheReference(const std::vector<u8>& stream, const std::vector<size_t>& cuts, const std::string& what)
{
    Decoded plain;
    ReferenceCodec reference;
    reference.feed(stream.data(), stream.size(), plain.frames);
    plain.stats = reference.stats();
    const Decoded got = decode(stream, cuts);
    ASSERT_EQ(got.frames.size(), plain.frames.size()) << what;
    for (size_t i = 0; i < got.frames.size(); ++i)
        ASSERT_TRUE(sameFrame(got.frames[i], plain.frames[i])) << what << ", frame " << i;
    const protocol_phy::Stats &a = got.stats, &b = plain.stats;
    EXPECT_EQ(std::vector<u32>({a.frames, a.bad_escape, a.bad_length, a.bad_check, a.cut, a.noise}),
              std::vector<u32>({b.frames, b.bad_escape, b.bad_length, b.bad_check, b.cut, b.noise}))
        << what;
}

}  // namespace

// (Frames without escapes are pinned by the handler's documented session.)
TEST(ProtocolPhy, GoldenFrameWithEscapes)
{
    // Check byte 00^FE^11^00^03^00^A5^5A^AA = 0xB9.
    EXPECT_EQ(encode(pcRequest(0x11, {0xA5, 0x5A, 0xAA})), hex("A5 00 FE 11 00 03 00 AA 85 AA 7A AA 8A B9 5A"));
}

TEST(ProtocolPhy, EveryByteValueRoundTripsInEveryField)
{
    for (int v = 0; v < 256; ++v) {
        const u8 b = static_cast<u8>(v);
        CTRL_FRAME f = pcRequest(b, {b, 0x00, b, b}, b, b);  // the check byte takes every value too
        f.source = b;
        std::vector<u8> bytes = encode(f);
        // Inside the frame no raw start or end byte may appear.
        for (size_t i = 1; i + 1 < bytes.size(); ++i) {
            ASSERT_NE(bytes[i], kFrameStart) << "value " << v;
            ASSERT_NE(bytes[i], kFrameEnd) << "value " << v;
        }
        CTRL_FRAME back;
        ASSERT_TRUE(protocol_phy::decodeOne(bytes.data(), bytes.size(), back)) << "value " << v;
        EXPECT_TRUE(sameFrame(f, back)) << "value " << v;
    }
}

TEST(ProtocolPhy, PayloadLengthZeroEscapedMaximumAndOnePastIt)
{
    protocol_phy codec;
    // Zero, a length byte that must be escaped (0xA5), exactly the maximum.
    for (size_t n : {size_t(0), size_t(0xA5), size_t(kMaxPayload)}) {
        std::vector<u8> payload(n);
        for (size_t i = 0; i < n; ++i)
            payload[i] = static_cast<u8>(i * 7);
        const CTRL_FRAME f = pcRequest(0x11, payload);
        const auto frames = decodeAll(codec, encode(f));
        ASSERT_EQ(frames.size(), 1u) << n;
        EXPECT_TRUE(sameFrame(frames[0], f)) << n;
    }
    // A payload past the maximum cannot be built...
    CTRL_FRAME full;
    std::vector<u8> big(kMaxPayload);
    EXPECT_TRUE(full.append(big.data(), big.size()));
    EXPECT_FALSE(full.appendU8(1));
    EXPECT_EQ(full.length, kMaxPayload);
    // ...nor received: a hand-built frame whose length field says 4201 and
    // whose body really holds 4201 bytes and a correct check byte.
    std::vector<u8> body = {0x00, 0xFE, 0x11, 0x00, 0x69, 0x10};  // 0x1069 = 4201
    body.insert(body.end(), kMaxPayload + 1, 0x01);
    const protocol_phy::Stats before = codec.stats();
    EXPECT_TRUE(decodeAll(codec, wire(checked(body))).empty());
    EXPECT_EQ(codec.stats().bad_length, before.bad_length + 1);
    // The codec is not stuck: the next good frame comes through.
    EXPECT_EQ(decodeAll(codec, encode(pcRequest(0x01, {}))).size(), 1u);
}

TEST(ProtocolPhy, MalformedFramesAreDroppedAndCounted)
{
    protocol_phy codec;
    std::vector<u8> badCheck = encode(pcRequest(0x01, {0x10, 0x20}));
    badCheck[badCheck.size() - 2] ^= 0x01;
    const std::vector<u8> bad[] = {
        wire(checked({0x00, 0xFE, 0x11, 0x00, 0x03, 0x00, 0x01, 0x02})),  // length says 3, body holds 2
        wire(checked({0x00, 0xFE, 0x11, 0x00, 0x01, 0x00, 0x01, 0x02})),  // length says 1, body holds 2
        wire({0x00, 0xFE, 0x11}),                                         // less than a header and check byte
        badCheck,
        hex("A5 00 FE 01 00 01 00 AA 00 00 5A"),  // 0xAA followed by a byte that escapes none of the three
        hex("A5 00 FE 01 00 00 00 AA 5A"),        // 0xAA right before the end byte
    };
    for (const auto& bytes : bad)
        EXPECT_TRUE(decodeAll(codec, bytes).empty());
    EXPECT_EQ(codec.stats().bad_length, 3u);
    EXPECT_EQ(codec.stats().bad_check, 1u);
    EXPECT_EQ(codec.stats().bad_escape, 2u);
    EXPECT_EQ(codec.stats().frames, 0u);
}

TEST(ProtocolPhy, ResynchronisesAfterGarbageAndCutFrames)
{
    protocol_phy codec;
    const CTRL_FRAME f = pcRequest(0x12, {0x0B, 0x01});
    const std::vector<u8> frame = encode(f);
    std::vector<u8> stream = hex("00 5A 13 AA 8A FF 5A");           // noise, stray end and escape
    stream.insert(stream.end(), frame.begin(), frame.begin() + 5);  // a frame cut off by a new start
    stream.insert(stream.end(), frame.begin(), frame.end());
    stream.insert(stream.end(), {0x77, 0x5A, 0x5A});
    stream.insert(stream.end(), frame.begin(), frame.end());
    const std::vector<u8> escapeThenStart = hex("A5 00 FE AA");  // a start byte after an escape begins anew
    stream.insert(stream.end(), escapeThenStart.begin(), escapeThenStart.end());
    stream.insert(stream.end(), frame.begin(), frame.end());
    const auto frames = decodeAll(codec, stream);
    ASSERT_EQ(frames.size(), 3u);
    for (const auto& got : frames)
        EXPECT_TRUE(sameFrame(got, f));
    EXPECT_EQ(codec.stats().cut, 2u);
    EXPECT_GT(codec.stats().noise, 0u);
}

TEST(ProtocolPhy, SplitAndMergedReadsGiveTheSameFrames)
{
    std::vector<CTRL_FRAME> sent;
    std::vector<u8> stream;
    for (int i = 0; i < 20; ++i) {
        std::vector<u8> payload(static_cast<size_t>(i * 37 % 300));
        for (size_t k = 0; k < payload.size(); ++k)
            payload[k] = static_cast<u8>(k + i * 0x55);  // plenty of A5, 5A and AA
        sent.push_back(pcRequest(static_cast<u8>(i), payload, static_cast<u8>(i * 3)));
        protocol_phy::encode(sent.back(), stream);
    }
    // Every chunk size from one byte to the whole stream in one read.
    for (size_t chunk : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(64), size_t(1000), stream.size()}) {
        protocol_phy codec;
        std::vector<CTRL_FRAME> got;
        for (size_t pos = 0; pos < stream.size(); pos += chunk)
            codec.feed(stream.data() + pos, std::min(chunk, stream.size() - pos),
                       [&](const CTRL_FRAME& f) { got.push_back(f); });
        ASSERT_EQ(got.size(), sent.size()) << "chunk " << chunk;
        for (size_t i = 0; i < sent.size(); ++i)
            EXPECT_TRUE(sameFrame(got[i], sent[i])) << "chunk " << chunk << " frame " << i;
        EXPECT_EQ(codec.stats().noise + codec.stats().cut + codec.stats().bad_check, 0u);
    }
}

TEST(ProtocolPhy, DecodeOneWantsExactlyOneWholeFrameAndResetForgetsOneInProgress)
{
    const std::vector<u8> frame = encode(pcRequest(0x01, {1, 2, 3}));
    CTRL_FRAME out;
    EXPECT_TRUE(protocol_phy::decodeOne(frame.data(), frame.size(), out));
    std::vector<u8> two = frame;
    two.insert(two.end(), frame.begin(), frame.end());
    EXPECT_FALSE(protocol_phy::decodeOne(two.data(), two.size(), out));
    EXPECT_FALSE(protocol_phy::decodeOne(frame.data(), frame.size() - 1, out));
    EXPECT_FALSE(protocol_phy::decodeOne(frame.data(), 0, out));
    // A frame the codec drops does not pass for part of one good frame.
    std::vector<u8> badCheck = frame, badEscape = frame, badLength = frame;
    badCheck[badCheck.size() - 2] ^= 1;
    badEscape.insert(badEscape.begin() + 7, {ctrl::kEscape, 0x00});
    badLength[5] += 1;
    for (const std::vector<u8>& dropped : {badCheck, badEscape, badLength}) {
        std::vector<u8> both = dropped;
        both.insert(both.end(), frame.begin(), frame.end());
        EXPECT_FALSE(protocol_phy::decodeOne(dropped.data(), dropped.size(), out)) << ::testing::PrintToString(dropped);
        EXPECT_FALSE(protocol_phy::decodeOne(both.data(), both.size(), out)) << ::testing::PrintToString(dropped);
    }

    protocol_phy codec;
    codec.feed(frame.data(), 4, nullptr);
    codec.reset();
    // The rest of the old frame is noise now.
    EXPECT_EQ(codec.feed(frame.data() + 4, frame.size() - 4, nullptr), 0u);
    EXPECT_EQ(codec.feed(frame.data(), frame.size(), nullptr), 1u);
}

TEST(ProtocolPhy, SpecialBytesAtEveryPlaceOfALongPayloadRoundTripWholeAndSplit)
{
    // Payloads taken a word (four or eight bytes) at a time: a special byte
    // (or two in a row) at every place of the first words, near the end and
    // in a payload sixteen bytes short of the maximum; the frame whole, and
    // cut at every place of the first words. Each decodes as the hand-escaped frame and
    // as the bytes sent.
    const u8 kSpecials[] = {kFrameStart, kFrameEnd, kEscape};
    const struct {
        size_t length, from, to;  // special bytes at [from, to)
        size_t pair;              // 1: a lone special byte, 2: two in a row
    } cases[] = {
        {48, 0, 48, 1},
        {48, 0, 47, 2},
        {130, 0, 130, 1},
        {130, 0, 129, 2},
        {kMaxPayload, kMaxPayload - 70, kMaxPayload, 1},
        {15, 0, 15, 1},
        {kMaxPayload - 16, 0, 2, 2},
    };
    for (const auto& c : cases) {
        for (size_t at = c.from; at < c.to; ++at) {
            std::vector<u8> payload(c.length);
            for (size_t i = 0; i < c.length; ++i)
                payload[i] = static_cast<u8>(i % 0x50);  // no special byte
            for (size_t k = 0; k < c.pair; ++k)
                payload[at + k] = kSpecials[(at + k) % 3];
            const CTRL_FRAME f = pcRequest(0x21, payload);
            const std::vector<u8> bytes = encode(f);
            std::vector<u8> body = {f.target,
                                    f.source,
                                    f.command,
                                    f.sub_command,
                                    static_cast<u8>(c.length & 0xFF),
                                    static_cast<u8>(c.length >> 8)};
            body.insert(body.end(), payload.begin(), payload.end());
            ASSERT_EQ(bytes, wire(checked(body))) << c.length << " at " << at;
            for (size_t cut : {size_t(0), at + 1, at + 2, std::min(bytes.size() - 1, at + 9)}) {
                protocol_phy codec;
                std::vector<CTRL_FRAME> frames = decodeAll(codec, {bytes.begin(), bytes.begin() + long(cut)});
                const auto rest = decodeAll(codec, {bytes.begin() + long(cut), bytes.end()});
                frames.insert(frames.end(), rest.begin(), rest.end());
                ASSERT_EQ(frames.size(), 1u) << c.length << " at " << at << " cut " << cut;
                ASSERT_TRUE(sameFrame(frames[0], f)) << c.length << " at " << at << " cut " << cut;
            }
        }
    }
}

TEST(ProtocolPhy, DecodesAsTheByteAtATimeReference)
{
    // A payload whose first escape puts the steps at every alignment that
    // matters, then a disturbance of each kind at every place of the next
    // steps: escapes one after the other, bad escapes, a start or an end
    // byte inside the frame, an escape before either. Each disturbed frame
    // is followed by a good one and the stream is also cut just before and
    // after every disturbance; then a seeded random walk of frames, noise
    // and damage, cut into reads anywhere.
    const std::vector<std::vector<u8>> disturbances = {
        {kEscape, 0x85}, {kEscape, 0x7A, kEscape, 0x8A}, {kEscape, 0x00},      {kEscape, kEscape}, {kFrameStart},
        {kFrameEnd},     {kEscape, kFrameStart},         {kEscape, kFrameEnd},
    };
    constexpr size_t kPayload = 300;
    std::vector<u8> stream;
    std::vector<size_t> cuts;
    for (size_t first : {size_t(0), size_t(1), size_t(31), size_t(62), size_t(63)}) {
        for (size_t at = 0; at < 140; ++at) {
            const std::vector<u8>& d = disturbances[at % disturbances.size()];
            std::vector<u8> payload(kPayload);
            for (size_t i = 0; i < kPayload; ++i)
                payload[i] = static_cast<u8>(i % 0x50);  // no special byte
            payload[first] = kEscape;
            std::vector<u8> frame = encode(pcRequest(0x21, payload));
            const size_t place = 1 + kHeaderSize + first + 2 + at;  // wire bytes after the first escape
            frame.insert(frame.begin() + long(place), d.begin(), d.end());
            cuts.push_back(stream.size() + place);
            cuts.push_back(stream.size() + place + 1);
            stream.insert(stream.end(), frame.begin(), frame.end());
            const std::vector<u8> good = encode(pcRequest(0x21, payload));
            stream.insert(stream.end(), good.begin(), good.end());
        }
    }
    expectAsTheReference(stream, {}, "disturbances whole");
    expectAsTheReference(stream, cuts, "disturbances cut");

    RandomWalk walk("codec ways", 63, 400);
    const u8 kBiased[] = {kFrameStart, kFrameEnd, kEscape, 0x85, 0x7A, 0x8A};
    auto randomByte = [&] { return walk.below(4) == 0 ? kBiased[walk.below(6)] : static_cast<u8>(walk.below(256)); };
    stream.clear();
    cuts.clear();
    for (int step = 0; step < walk.steps; ++step) {
        std::vector<u8> payload(static_cast<size_t>(walk.below(walk.below(8) == 0 ? int(kMaxPayload) + 1 : 200)));
        for (u8& b : payload)
            b = walk.below(16) == 0 ? kBiased[walk.below(3)] : static_cast<u8>(walk.below(256));
        std::vector<u8> frame = encode(pcRequest(0x21, payload));
        const int kind = walk.kind({6, 1, 1, 1, 1});  // good, a byte changed, added, lost, noise
        const size_t place = 1 + size_t(walk.below(int(frame.size()) - 1));
        if (kind == 1)
            frame[place] = randomByte();
        else if (kind == 2)
            frame.insert(frame.begin() + long(place), randomByte());
        else if (kind == 3)
            frame.erase(frame.begin() + long(place));
        else if (kind == 4)
            frame.resize(place);  // cut short, and noise after it
        stream.insert(stream.end(), frame.begin(), frame.end());
        for (int noise = kind == 4 ? walk.below(40) : 0; noise > 0; --noise)
            stream.push_back(randomByte());
        for (int cut = walk.below(3); cut > 0; --cut)
            cuts.push_back(stream.size() - 1 - size_t(walk.below(int(std::min<size_t>(stream.size(), 300)))));
    }
    std::sort(cuts.begin(), cuts.end());
    expectAsTheReference(stream, {}, walk.step(walk.steps, "whole"));
    expectAsTheReference(stream, cuts, walk.step(walk.steps, "cut"));
}

TEST(ProtocolPhy, RunsOfEscapesDecodeAsTheReference)
{
    // A stretch of special bytes (a run of escapes, taken a pair at a time,
    // and escaped a word at a time) at each alignment, ending before the
    // payload's end, at it, or running past what the length field announces
    // (the frame is dropped); whole payloads of special bytes besides. Each
    // frame is first encoded as escaped by hand. The stream is also cut at
    // every byte of the first stretches, so that a run of escapes ends with
    // a read, on either byte of a pair.
    const u8 kSpecials[] = {kFrameStart, kFrameEnd, kEscape};
    std::vector<u8> stream;
    std::vector<size_t> cuts;
    for (size_t length : {size_t(40), size_t(64), kMaxPayload}) {
        for (size_t from = 0; from < 12; ++from) {
            for (size_t stretch : {size_t(2), size_t(9), size_t(33), length - from}) {
                std::vector<u8> payload(length);
                for (size_t i = 0; i < length; ++i)
                    payload[i] = i >= from && i - from < stretch ? kSpecials[i % 3] : static_cast<u8>(i % 0x50);
                const CTRL_FRAME request = pcRequest(0x21, payload);
                std::vector<u8> frame = encode(request);
                std::vector<u8> body = {request.target,      request.source,    request.command,
                                        request.sub_command, u8(length & 0xFF), u8(length >> 8)};
                body.insert(body.end(), payload.begin(), payload.end());
                ASSERT_EQ(frame, wire(checked(body))) << length << " from " << from << " stretch " << stretch;
                if (stretch == 33)  // the length field announces less than the stretch holds
                    frame[1 + kOffLength] = static_cast<u8>(frame[1 + kOffLength] - 2);
                if (length == 40)
                    for (size_t at = 1 + kHeaderSize + from; at < 1 + kHeaderSize + from + 2 * stretch; ++at)
                        cuts.push_back(stream.size() + at);
                stream.insert(stream.end(), frame.begin(), frame.end());
            }
        }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    expectAsTheReference(stream, {}, "runs of escapes whole");
    expectAsTheReference(stream, cuts, "runs of escapes cut");
}
