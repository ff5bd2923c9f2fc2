// A PNG picture encoded a few rows at a time, its bytes handed on as they
// are made, so that a picture of any size is encoded in little memory
// (videocanvas writes the LED canvas so). The picture is 8-bit RGB without
// interlace; its rows are deflated with the format's fixed codes, each run
// of bytes matched against the pixel before it or the row above, which is
// what the pictures of a simulated box are made of.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class PngStream {
public:
    // Takes the next bytes of the file; false when they could not be kept.
    using Sink = std::function<bool(const char* data, size_t len)>;

    // Starts a picture of width x height (each at least 1).
    PngStream(int width, int height, Sink sink);
    // The next `rows` rows, `width` pixels each (0xFFRRGGBB; the top byte is
    // not read). False once the sink failed or the rows pass the height.
    bool addRows(const uint32_t* pixels, int rows);
    // Ends the file; false unless every row was given and every byte kept.
    bool finish();

private:
    void chunk(const char* type, const std::string& data);
    void bits(uint32_t value, int count);
    void code(uint32_t code, int length);
    void literal(uint8_t byte);
    void match(int length, int distance);
    void flushData(bool all);
    uint8_t before(int i, int distance) const;
    int matchLength(int i, int distance) const;
    void encodeRow();

    int width_, height_, rowsDone_ = 0;
    size_t rowBytes_;
    Sink sink_;
    bool ok_ = true;
    std::string row_, above_;  // the row being encoded and the one before, filter byte first
    std::string data_;         // compressed bytes not yet in a chunk
    uint64_t bitBuffer_ = 0;
    int bitCount_ = 0;
    uint32_t adlerA_ = 1, adlerB_ = 0;
};
