// The frame codec: encoding, escaping, reassembly from a byte stream and the
// frames it must drop.
#include "links/protocol_phy.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ctrl;

namespace {

std::vector<u8> hex(const std::string& text)
{
    std::vector<u8> out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<u8>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

CTRL_FRAME makeFrame(u8 target, u8 source, u8 cmd, u8 sub, const std::vector<u8>& payload)
{
    CTRL_FRAME f;
    f.target = target;
    f.source = source;
    f.command = cmd;
    f.sub_command = sub;
    EXPECT_TRUE(f.append(payload.data(), payload.size()));
    return f;
}

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

bool samePayload(const CTRL_FRAME& a, const CTRL_FRAME& b)
{
    return a.length == b.length && std::equal(a.payload.begin(), a.payload.begin() + a.length, b.payload.begin());
}

bool sameFrame(const CTRL_FRAME& a, const CTRL_FRAME& b)
{
    return a.target == b.target && a.source == b.source && a.command == b.command &&
           a.sub_command == b.sub_command && samePayload(a, b);
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

u8 xorOf(const std::vector<u8>& bytes)
{
    u8 x = 0;
    for (u8 b : bytes)
        x ^= b;
    return x;
}

}  // namespace

TEST(ProtocolPhy, GoldenFrameOfAReadRequest)
{
    // Read 2 bytes of RAM at 0x0880 (brightness), PC to box.
    CTRL_FRAME f = makeFrame(kAddrBox, kAddrPc, 0x10, 0x00, {0x80, 0x08, 0x00, 0x00, 0x02, 0x00});
    EXPECT_EQ(encode(f), hex("A5 00 FE 10 00 06 00 80 08 00 00 02 00 62 5A"));
}

TEST(ProtocolPhy, EveryByteValueRoundTripsInEveryField)
{
    for (int v = 0; v < 256; ++v) {
        const u8 b = static_cast<u8>(v);
        CTRL_FRAME f = makeFrame(b, b, b, b, {b, 0x00, b, b});
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

TEST(ProtocolPhy, TheThreeSpecialBytesAreEscapedAsTheDocumentSays)
{
    CTRL_FRAME f = makeFrame(0x00, 0xFE, 0x11, 0x00, {0xA5, 0x5A, 0xAA});
    // Check byte: 00^FE^11^00^03^00^A5^5A^AA = 0xB9.
    EXPECT_EQ(encode(f), hex("A5 00 FE 11 00 03 00 AA 85 AA 7A AA 8A B9 5A"));
}

TEST(ProtocolPhy, AnEscapedCheckByteAndLengthByteDecode)
{
    // A length of 0xA5 and a check byte that must itself be escaped.
    std::vector<u8> payload(0xA5, 0x00);
    CTRL_FRAME f = makeFrame(0x00, 0xFE, 0x11, 0x00, payload);
    const u8 check = protocol_phy::checkByte(f);
    std::vector<u8> bytes = encode(f);
    CTRL_FRAME back;
    ASSERT_TRUE(protocol_phy::decodeOne(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.length, 0xA5);
    EXPECT_EQ(protocol_phy::checkByte(back), check);
}

TEST(ProtocolPhy, PayloadLengthZeroMaximumAndOnePastIt)
{
    protocol_phy codec;
    // Zero.
    auto frames = decodeAll(codec, encode(makeFrame(0, 0xFE, 0x01, 0, {})));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].length, 0);
    // Exactly the maximum.
    std::vector<u8> big(kMaxPayload);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<u8>(i * 7);
    CTRL_FRAME maxFrame = makeFrame(0, 0xFE, 0x11, 0, big);
    frames = decodeAll(codec, encode(maxFrame));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(sameFrame(frames[0], maxFrame));
    // One past it: a hand-built frame whose length field says 4201 and
    // whose body really holds 4201 bytes and a correct check byte.
    std::vector<u8> body = {0x00, 0xFE, 0x11, 0x00, 0x69, 0x10};  // 0x1069 = 4201
    body.insert(body.end(), kMaxPayload + 1, 0x01);
    body.push_back(xorOf(body));
    const protocol_phy::Stats before = codec.stats();
    frames = decodeAll(codec, wire(body));
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(codec.stats().bad_length, before.bad_length + 1);
    // The codec is not stuck: the next good frame comes through.
    frames = decodeAll(codec, encode(makeFrame(0, 0xFE, 0x01, 0, {})));
    EXPECT_EQ(frames.size(), 1u);
}

TEST(ProtocolPhy, APayloadLongerThanTheMaximumCannotBeBuilt)
{
    CTRL_FRAME f;
    std::vector<u8> big(kMaxPayload);
    EXPECT_TRUE(f.append(big.data(), big.size()));
    EXPECT_FALSE(f.appendU8(1));
    EXPECT_EQ(f.length, kMaxPayload);
}

TEST(ProtocolPhy, LengthsThatDisagreeWithTheBodyAreDropped)
{
    protocol_phy codec;
    // Length says 3, body holds 2 payload bytes.
    std::vector<u8> shortBody = {0x00, 0xFE, 0x11, 0x00, 0x03, 0x00, 0x01, 0x02};
    shortBody.push_back(xorOf(shortBody));
    // Length says 1, body holds 2 payload bytes.
    std::vector<u8> longBody = {0x00, 0xFE, 0x11, 0x00, 0x01, 0x00, 0x01, 0x02};
    longBody.push_back(xorOf(longBody));
    // Fewer bytes than a header and a check byte.
    std::vector<u8> tiny = {0x00, 0xFE, 0x11};
    for (const auto& body : {shortBody, longBody, tiny})
        EXPECT_TRUE(decodeAll(codec, wire(body)).empty());
    EXPECT_EQ(codec.stats().bad_length, 3u);
    EXPECT_EQ(codec.stats().frames, 0u);
}

TEST(ProtocolPhy, BadCheckByteAndBadEscapeAreDropped)
{
    protocol_phy codec;
    std::vector<u8> good = encode(makeFrame(0, 0xFE, 0x01, 0, {0x10, 0x20}));
    std::vector<u8> badCheck = good;
    badCheck[badCheck.size() - 2] ^= 0x01;
    EXPECT_TRUE(decodeAll(codec, badCheck).empty());
    EXPECT_EQ(codec.stats().bad_check, 1u);
    // 0xAA followed by a byte that escapes none of the three.
    std::vector<u8> badEscape = hex("A5 00 FE 01 00 01 00 AA 00 00 5A");
    EXPECT_TRUE(decodeAll(codec, badEscape).empty());
    EXPECT_EQ(codec.stats().bad_escape, 1u);
    // 0xAA right before the end byte.
    EXPECT_TRUE(decodeAll(codec, hex("A5 00 FE 01 00 00 00 AA 5A")).empty());
    EXPECT_EQ(codec.stats().bad_escape, 2u);
}

TEST(ProtocolPhy, ResynchronisesAfterGarbage)
{
    protocol_phy codec;
    CTRL_FRAME f = makeFrame(0, 0xFE, 0x12, 0, {0x0B, 0x01});
    std::vector<u8> stream = hex("00 5A 13 AA 8A FF 5A");     // noise, stray end and escape
    std::vector<u8> frame = encode(f);
    std::vector<u8> cut(frame.begin(), frame.begin() + 5);   // a frame cut off by a new start
    stream.insert(stream.end(), cut.begin(), cut.end());
    stream.insert(stream.end(), frame.begin(), frame.end());
    stream.insert(stream.end(), {0x77, 0x5A, 0x5A});
    stream.insert(stream.end(), frame.begin(), frame.end());
    auto frames = decodeAll(codec, stream);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(sameFrame(frames[0], f));
    EXPECT_TRUE(sameFrame(frames[1], f));
    EXPECT_EQ(codec.stats().cut, 1u);
    EXPECT_GT(codec.stats().noise, 0u);
}

TEST(ProtocolPhy, AStartByteAfterAnEscapeStartsANewFrame)
{
    protocol_phy codec;
    CTRL_FRAME f = makeFrame(0, 0xFE, 0x01, 0, {});
    std::vector<u8> stream = hex("A5 00 FE AA");
    std::vector<u8> frame = encode(f);
    stream.insert(stream.end(), frame.begin(), frame.end());
    auto frames = decodeAll(codec, stream);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(sameFrame(frames[0], f));
}

TEST(ProtocolPhy, SplitAndMergedReadsGiveTheSameFrames)
{
    std::vector<CTRL_FRAME> sent;
    std::vector<u8> stream;
    for (int i = 0; i < 20; ++i) {
        std::vector<u8> payload(static_cast<size_t>(i * 37 % 300));
        for (size_t k = 0; k < payload.size(); ++k)
            payload[k] = static_cast<u8>(k + i * 0x55);  // plenty of A5, 5A and AA
        sent.push_back(makeFrame(0, 0xFE, static_cast<u8>(i), static_cast<u8>(i * 3), payload));
        protocol_phy::encode(sent.back(), stream);
    }
    // Every chunk size from one byte to the whole stream in one read.
    for (size_t chunk : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(64), size_t(1000), stream.size()}) {
        protocol_phy codec;
        std::vector<CTRL_FRAME> got;
        for (size_t pos = 0; pos < stream.size(); pos += chunk) {
            size_t n = std::min(chunk, stream.size() - pos);
            codec.feed(stream.data() + pos, n, [&](const CTRL_FRAME& f) { got.push_back(f); });
        }
        ASSERT_EQ(got.size(), sent.size()) << "chunk " << chunk;
        for (size_t i = 0; i < sent.size(); ++i)
            EXPECT_TRUE(sameFrame(got[i], sent[i])) << "chunk " << chunk << " frame " << i;
        EXPECT_EQ(codec.stats().noise + codec.stats().cut + codec.stats().bad_check, 0u);
    }
}

TEST(ProtocolPhy, DecodeOneWantsExactlyOneWholeFrame)
{
    std::vector<u8> frame = encode(makeFrame(0, 0xFE, 0x01, 0, {1, 2, 3}));
    CTRL_FRAME out;
    EXPECT_TRUE(protocol_phy::decodeOne(frame.data(), frame.size(), out));
    std::vector<u8> two = frame;
    two.insert(two.end(), frame.begin(), frame.end());
    EXPECT_FALSE(protocol_phy::decodeOne(two.data(), two.size(), out));
    EXPECT_FALSE(protocol_phy::decodeOne(frame.data(), frame.size() - 1, out));
    EXPECT_FALSE(protocol_phy::decodeOne(frame.data(), 0, out));
}

TEST(ProtocolPhy, ResetForgetsAFrameInProgress)
{
    protocol_phy codec;
    std::vector<u8> frame = encode(makeFrame(0, 0xFE, 0x01, 0, {9}));
    codec.feed(frame.data(), 4, nullptr);
    codec.reset();
    // The rest of the old frame is noise now.
    EXPECT_EQ(codec.feed(frame.data() + 4, frame.size() - 4, nullptr), 0u);
    EXPECT_EQ(codec.feed(frame.data(), frame.size(), nullptr), 1u);
}
