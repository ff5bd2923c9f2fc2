// The PNG encoder that writes the LED canvas a band at a time: what it
// writes reads back as the picture it was given, however the rows come.
#include "app/png_stream.h"

#include <QImage>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

// Runs of one colour, a grey ramp, rows that repeat and pixels that do
// not: every way the encoder codes bytes.
std::vector<uint32_t> picture(int w, int h, std::mt19937& rng)
{
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int kind = (x / 17 + y / 13) % 4;
            const uint32_t ramp = uint32_t(x * 255 / std::max(w - 1, 1)) * 0x010101;
            px[size_t(y) * size_t(w) + size_t(x)] = 0xFF000000 | (kind == 0   ? 0x123456
                                                                  : kind == 1 ? rng()
                                                                  : kind == 2 ? ramp
                                                                              : uint32_t(y * 7) << 8);
        }
    return px;
}

}  // namespace

TEST(PngStream, WhatItWritesReadsBackAsThePictureGivenInBandsOfAnyHeight)
{
    std::mt19937 rng(85);
    // Small, tall, and a row too long for a match with the row above.
    for (const auto& [w, h] : {std::pair{1, 1}, {257, 61}, {31, 200}, {11000, 3}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const std::vector<uint32_t> px = picture(w, h, rng);
        std::string file;
        PngStream png(w, h, [&file](const char* data, size_t len) {
            file.append(data, len);
            return true;
        });
        for (int y = 0; y < h;) {
            const int rows = std::min<int>(h - y, 1 + int(rng() % 9));
            ASSERT_TRUE(png.addRows(px.data() + size_t(y) * size_t(w), rows));
            y += rows;
        }
        ASSERT_TRUE(png.finish());
        const QImage back = QImage::fromData(reinterpret_cast<const uchar*>(file.data()), int(file.size()), "PNG");
        ASSERT_EQ(back.size(), QSize(w, h));
        long wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                wrong += back.pixel(x, y) != px[size_t(y) * size_t(w) + size_t(x)];
        EXPECT_EQ(wrong, 0);
    }
}

TEST(PngStream, MissingOrExtraRowsAndAFailedSinkFail)
{
    const std::vector<uint32_t> row(4, 0xFF000000);
    auto keep = [](const char*, size_t) { return true; };
    PngStream missing(4, 2, keep);
    EXPECT_TRUE(missing.addRows(row.data(), 1));
    EXPECT_FALSE(missing.finish());
    PngStream extra(4, 1, keep);
    EXPECT_FALSE(extra.addRows(row.data(), 2));
    PngStream refused(4, 1, [](const char*, size_t) { return false; });
    EXPECT_FALSE(refused.addRows(row.data(), 1));
    EXPECT_FALSE(refused.finish());
}
