// The EDIDs the input-source manager writes into the EEPROMs.
#include "videoio/tamixsource.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int kDtd = 54;  // first detailed timing of the base block

std::vector<u8> build(int w, int h, int rate, int* result = nullptr)
{
    std::vector<u8> e(tamix::kEdidSize, 0);
    int r = tamixsource::Set_Custom_HDMI_EDID(e.data(), w, h, rate);
    if (result)
        *result = r;
    return e;
}

struct Dtd {
    int pclk10khz, hact, hblank, vact, vblank, hfp, hsync, vfp, vsync;
};

Dtd decode(const u8* d)
{
    Dtd t;
    t.pclk10khz = d[0] | d[1] << 8;
    t.hact = d[2] | (d[4] >> 4) << 8;
    t.hblank = d[3] | (d[4] & 0x0F) << 8;
    t.vact = d[5] | (d[7] >> 4) << 8;
    t.vblank = d[6] | (d[7] & 0x0F) << 8;
    t.hfp = d[8] | ((d[11] >> 6) & 3) << 8;
    t.hsync = d[9] | ((d[11] >> 4) & 3) << 8;
    t.vfp = (d[10] >> 4) | ((d[11] >> 2) & 3) << 4;
    t.vsync = (d[10] & 0x0F) | (d[11] & 3) << 4;
    return t;
}

double rateOf(const Dtd& t)
{
    return t.pclk10khz * 10000.0 / ((t.hact + t.hblank) * double(t.vact + t.vblank));
}

}  // namespace

TEST(Edid, StoredTimingsGiveTheirStandardDescriptorsAnd1080p60ItsVideoCode)
{
    int result = -1;
    auto e = build(1920, 1080, 60, &result);
    EXPECT_EQ(result, tamixsource::kEdidStored);
    EXPECT_TRUE(tamixsource::edidValid(e.data()));
    // The well-known 1080p60 descriptor: 148.5 MHz, 280 pixels and 45 lines of blanking.
    const u8 expect[] = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58, 0x2C, 0x45, 0x00};
    EXPECT_TRUE(std::equal(std::begin(expect), std::end(expect), e.begin() + kDtd));
    EXPECT_EQ(e[126], 1);          // one extension
    EXPECT_EQ(e[128], 0x02);       // CEA-861
    EXPECT_EQ(e[132] >> 5, 2);     // the video data block comes first
    EXPECT_EQ(e[133], 0x80 | 16);  // with 1080p60 as the native format
    EXPECT_EQ(e[8], 0x2C);
    EXPECT_EQ(e[9], 0xAC);  // "KEL"

    // Every other stored timing, for its own size.
    const int sizes[][3] = {{1920, 1080, 50}, {1920, 1080, 30}, {1280, 720, 60},  {1280, 720, 50}, {3840, 2160, 30},
                            {3840, 2160, 60}, {1024, 768, 60},  {1280, 1024, 60}, {1920, 1200, 60}};
    for (const auto& s : sizes) {
        e = build(s[0], s[1], s[2], &result);
        EXPECT_EQ(result, tamixsource::kEdidStored);
        EXPECT_TRUE(tamixsource::edidValid(e.data()));
        Dtd t = decode(&e[kDtd]);
        EXPECT_EQ(t.hact, s[0]);
        EXPECT_EQ(t.vact, s[1]);
        EXPECT_NEAR(rateOf(t), s[2], 0.1) << s[0] << "x" << s[1];
    }
    e[200] ^= 1;
    EXPECT_FALSE(tamixsource::edidValid(e.data()));
}

TEST(Edid, OtherTimingsAreComputedWithReducedBlanking)
{
    int result = -1;
    auto e = build(1600, 900, 60, &result);
    EXPECT_EQ(result, tamixsource::kEdidComputed);
    EXPECT_TRUE(tamixsource::edidValid(e.data()));
    Dtd t = decode(&e[kDtd]);
    EXPECT_EQ(t.hact, 1600);
    EXPECT_EQ(t.vact, 900);
    EXPECT_EQ(t.hblank, 160);
    EXPECT_GE(t.vblank, 15);
    EXPECT_NEAR(rateOf(t), 60.0, 0.1);
    // The same timing in the extension's detailed timing.
    const int dtdOffset = e[130];
    EXPECT_TRUE(std::equal(e.begin() + kDtd, e.begin() + kDtd + 18, e.begin() + 128 + dtdOffset));

    auto wide = build(4000, 1000, 30);
    t = decode(&wide[kDtd]);
    EXPECT_EQ(t.hact, 4000);
    EXPECT_NEAR(rateOf(t), 30.0, 0.1);
}

TEST(Edid, ValuesNoDescriptorCanCarryGiveTheDefault)
{
    const auto fallback = build(1920, 1080, 60);
    for (auto v : {std::vector<int>{5000, 1080, 60},
                   {1920, 0, 60},
                   {1920, 1080, 0},
                   {0, 0, 0},
                   {-5, 1080, 60},
                   {3840, 2160, 240}}) {
        int result = -1;
        auto e = build(v[0], v[1], v[2], &result);
        EXPECT_EQ(result, tamixsource::kEdidDefault) << v[0] << "x" << v[1] << "@" << v[2];
        EXPECT_EQ(e, fallback);
    }
}
