#include "app/png_stream.h"

#include "app/utils.h"

#include <algorithm>
#include <array>

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr uint8_t kBitDepth = 8, kColourRgb = 2;
constexpr uint8_t kNoFilter = 0;
constexpr int kBytesPerPixel = 3;
constexpr size_t kChunkData = 1 << 16;  // compressed bytes per IDAT chunk
// The zlib stream: deflate with a 32 KiB window, no dictionary, header check.
constexpr char kZlibHeader[] = "\x78\x01";
constexpr uint32_t kAdlerModulus = 65521;
constexpr int kAdlerRun = 5552;  // bytes summed before the sums may overflow
// Deflate (RFC 1951) with its fixed codes.
constexpr uint32_t kFixedBlock = 1;  // block type, after the final-block bit
constexpr int kEndOfBlock = 256;     // its fixed code is seven zero bits
constexpr int kShortestMatch = 3, kLongestMatch = 258;
constexpr int kFarthest = 32768;
constexpr int kDistanceBits = 5;
constexpr std::array<int, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistanceBase = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// A chunk's CRC: the reflected CRC-32 (the shared one) started from all
// ones and inverted at the end.
constexpr uint32_t kChunkCrcStart = 0xFFFFFFFF;

uint32_t chunkCrc(const std::string& bytes)
{
    return ~Utils::updateCRC32(kChunkCrcStart, reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<unsigned int>(bytes.size()));
}

std::string bigEndian(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// The index of the last entry of `base` at or below `value`.
template <size_t N>
int symbolOf(const std::array<int, N>& base, int value)
{
    return int(std::upper_bound(base.begin(), base.end(), value) - base.begin()) - 1;
}

}  // namespace

PngStream::PngStream(int width, int height, Sink sink)
    : width_(std::max(width, 1)), height_(std::max(height, 1)),
      rowBytes_(1 + size_t(kBytesPerPixel) * size_t(std::max(width, 1))), sink_(std::move(sink))
{
    ok_ = sink_(kSignature, sizeof kSignature - 1);
    chunk("IHDR", bigEndian(uint32_t(width_)) + bigEndian(uint32_t(height_)) +
                      std::string{char(kBitDepth), char(kColourRgb), 0, 0, 0});
    data_.assign(kZlibHeader, sizeof kZlibHeader - 1);
    bits(0, 1);  // one block of fixed codes for all the rows; finish() ends it
    bits(kFixedBlock, 2);
    row_.reserve(rowBytes_);
    above_.reserve(rowBytes_);
}

void PngStream::chunk(const char* type, const std::string& data)
{
    if (!ok_)
        return;
    const std::string body = std::string(type, 4) + data;
    const std::string out = bigEndian(uint32_t(data.size())) + body + bigEndian(chunkCrc(body));
    ok_ = sink_(out.data(), out.size());
}

void PngStream::bits(uint32_t value, int count)
{
    bitBuffer_ |= uint64_t(value) << bitCount_;
    bitCount_ += count;
    while (bitCount_ >= 8) {
        data_.push_back(char(bitBuffer_ & 0xFF));
        bitBuffer_ >>= 8;
        bitCount_ -= 8;
    }
}

// A Huffman code goes out from its first (highest) bit.
void PngStream::code(uint32_t code, int length)
{
    uint32_t reversed = 0;
    for (int i = 0; i < length; ++i)
        reversed |= ((code >> i) & 1) << (length - 1 - i);
    bits(reversed, length);
}

// The fixed literal/length codes.
void PngStream::literal(uint8_t byte)
{
    if (byte < 144)
        code(0x30 + byte, 8);
    else
        code(0x190 + (byte - 144), 9);
}

void PngStream::match(int length, int distance)
{
    const int l = symbolOf(kLengthBase, length);
    const int symbol = kEndOfBlock + 1 + l;
    if (symbol < 280)
        code(uint32_t(symbol - kEndOfBlock), 7);
    else
        code(uint32_t(0xC0 + symbol - 280), 8);
    bits(uint32_t(length - kLengthBase[size_t(l)]), kLengthExtra[size_t(l)]);
    const int d = symbolOf(kDistanceBase, distance);
    code(uint32_t(d), kDistanceBits);
    bits(uint32_t(distance - kDistanceBase[size_t(d)]), kDistanceExtra[size_t(d)]);
}

void PngStream::flushData(bool all)
{
    while (ok_ && (data_.size() >= kChunkData || (all && !data_.empty()))) {
        const size_t n = std::min(data_.size(), kChunkData);
        chunk("IDAT", data_.substr(0, n));
        data_.erase(0, n);
    }
}

// The byte `distance` before byte i of the row (in the row above for the
// first bytes).
uint8_t PngStream::before(int i, int distance) const
{
    return uint8_t(i >= distance ? row_[size_t(i - distance)] : above_[rowBytes_ + size_t(i) - size_t(distance)]);
}

// Bytes from i on that repeat those `distance` before them, within the row;
// 0 when that reaches before the row above.
int PngStream::matchLength(int i, int distance) const
{
    if (distance > kFarthest || size_t(distance) > size_t(i) + (above_.empty() ? 0 : rowBytes_))
        return 0;
    const int most = int(std::min<size_t>(kLongestMatch, rowBytes_ - size_t(i)));
    int n = 0;
    while (n < most && before(i + n, distance) == uint8_t(row_[size_t(i + n)]))
        ++n;
    return n;
}

void PngStream::encodeRow()
{
    const int n = int(rowBytes_);
    for (int i = 0; i < n;) {
        const int left = matchLength(i, kBytesPerPixel), up = matchLength(i, n);
        const int length = std::max(left, up);
        if (length >= kShortestMatch) {
            match(length, left >= up ? kBytesPerPixel : n);
            i += length;
        } else {
            literal(uint8_t(row_[size_t(i)]));
            ++i;
        }
    }
    for (size_t i = 0; i < rowBytes_; i += kAdlerRun) {
        const size_t end = std::min(rowBytes_, i + kAdlerRun);
        for (size_t k = i; k < end; ++k) {
            adlerA_ += uint8_t(row_[k]);
            adlerB_ += adlerA_;
        }
        adlerA_ %= kAdlerModulus;
        adlerB_ %= kAdlerModulus;
    }
}

bool PngStream::addRows(const uint32_t* pixels, int rows)
{
    if (rows < 0 || rows > height_ - rowsDone_)
        ok_ = false;
    for (int r = 0; ok_ && r < rows; ++r, ++rowsDone_) {
        row_.assign(1, char(kNoFilter));
        for (int x = 0; x < width_; ++x) {
            const uint32_t p = pixels[size_t(r) * size_t(width_) + size_t(x)];
            row_.push_back(char(p >> 16));
            row_.push_back(char(p >> 8));
            row_.push_back(char(p));
        }
        encodeRow();
        std::swap(row_, above_);
        flushData(false);
    }
    return ok_;
}

bool PngStream::finish()
{
    if (rowsDone_ != height_)
        ok_ = false;
    code(0, 7);  // the end of the block (symbol 256)
    bits(1, 1);  // then an empty final block
    bits(kFixedBlock, 2);
    code(0, 7);
    if (bitCount_ > 0)
        bits(0, 8 - bitCount_);
    data_ += bigEndian(adlerB_ << 16 | adlerA_);
    flushData(true);
    chunk("IEND", "");
    return ok_;
}
