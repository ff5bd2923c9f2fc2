// The default table against the parameter file's layout, written out here
// by byte address so that a field that moved in the block would show.
#include "app/ram_para.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int kFileSize = 4096;

// File offset of a block offset in the saved range.
int fileAt(int blockOffset)
{
    return 2 + blockOffset - 768;
}

void put16(std::vector<u8>& f, int blockOffset, u16 v)
{
    f[fileAt(blockOffset)] = static_cast<u8>(v & 0xFF);
    f[fileAt(blockOffset) + 1] = static_cast<u8>(v >> 8);
}

void putRecord(std::vector<u8>& f, int blockOffset, std::initializer_list<u16> values)
{
    for (u16 v : values) {
        put16(f, blockOffset, v);
        blockOffset += 2;
    }
}

// The new parameter file as its layout describes it.
std::vector<u8> expectedDefaultFile()
{
    std::vector<u8> f(kFileSize, 0);
    f[0] = f[1] = 0xAA;
    put16(f, 770, 100);
    for (int p = 0; p < 4; ++p)
        putRecord(f, 896 + 6 * p, {1920, 1080, 60});
    for (int p = 4; p < 6; ++p)
        putRecord(f, 896 + 6 * p, {3840, 2160, 60});
    putRecord(f, 1378, {1920, 1080});
    putRecord(f, 1386, {1, 1, 1920, 1080});
    putRecord(f, 1408, {0, 0, 1920, 1080});
    putRecord(f, 1416, {0, 0, 1920, 1080});
    for (int k = 0; k < 64; ++k)  // 40 crop records and 24 reserved ones
        putRecord(f, 1472 + 10 * k, {0x0002, 0, 0, 1920, 1080});
    put16(f, 2098, 0);
    putRecord(f, 2176, {100, 50, 10, 50, 2, 64, 64, 64});
    for (int i = 0; i < 16; ++i)
        put16(f, 2208 + 2 * i, static_cast<u16>(i));
    put16(f, 2270, 1);
    for (int i = 0; i < 6; ++i) {
        put16(f, 2272 + 26 * i, i == 0 ? 1 : 0);
        putRecord(f, 2272 + 26 * i + 8, {1, 0, 0, 1920, 1080});
    }
    return f;
}

}  // namespace

TEST(DefaultTable, IsTheNewParameterFileByteForByte)
{
    const std::vector<u8> expected = expectedDefaultFile();
    const u8* file = ram::default_para_ramlist();
    for (int i = 0; i < kFileSize; ++i)
        ASSERT_EQ(file[i], expected[i]) << "file byte " << i << " (block offset " << i - 2 + 768 << ")";
}

TEST(DefaultTable, BlockMatchesTheFileAndKeepsTheRuntimeRangeZero)
{
    const KEL_RAM_PARA& b = ram::defaultBlock();
    const auto* raw = reinterpret_cast<const u8*>(&b);
    for (int i = 0; i < ram::kSavedStart; ++i)
        ASSERT_EQ(raw[i], 0) << "run-time byte " << i;
    for (int i = ram::kSavedStart; i < ram::kBlockSize; ++i)
        ASSERT_EQ(raw[i], ram::default_para_ramlist()[fileAt(i)]) << "block offset " << i;
    // Named fields land where the file has them.
    EXPECT_EQ(b.image[0].source, ram::kSourceHdmi1);
    EXPECT_EQ(b.led_width, 1920);
    EXPECT_EQ(b.brightness, 100);
}
