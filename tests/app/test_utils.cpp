#include "app/global.h"
#include "app/utils.h"
#include "tests/support/box_test.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const unsigned char* bytes(const char* s)
{
    return reinterpret_cast<const unsigned char*>(s);
}

}  // namespace

TEST(UtilsChecks, KnownValuesAndZeroLengthWithoutReading)
{
    const auto* abc = bytes("abc");
    EXPECT_EQ(Utils::BCC(abc, 3), 0x60);
    EXPECT_EQ(Utils::calcCRC16(abc, 3), 0x9738);
    EXPECT_EQ(Utils::novaCalcCRC16(abc, 3), 0x61DA);
    EXPECT_EQ(Utils::jtc1CRC16Code(abc, 3), 0x9DD6);
    EXPECT_EQ(Utils::calcCRC32(abc, 3), 0xCA6598D0u);
    // CRC-32 with initial value and final XOR 0: the standard check value of
    // "123456789" is 0xCBF43926 with both at 0xFFFFFFFF; ours is the plain
    // reflected remainder.
    EXPECT_EQ(Utils::calcCRC32(bytes("123456789"), 9), 0x2DFD2D88u);
    // Long enough for the eight-byte steps, with a tail.
    std::vector<unsigned char> long1001(1001);
    for (size_t i = 0; i < long1001.size(); ++i)
        long1001[i] = static_cast<unsigned char>(i * 31 + 7);
    EXPECT_EQ(Utils::calcCRC32(long1001.data(), 1001), 0x9A30BAB7u);
    // Zero length gives the initial value.
    EXPECT_EQ(Utils::BCC(nullptr, 0), 0);
    EXPECT_EQ(Utils::calcCRC16(nullptr, 0), 0);
    EXPECT_EQ(Utils::novaCalcCRC16(nullptr, 0), 0xFFFF);
    EXPECT_EQ(Utils::jtc1CRC16Code(nullptr, 0), 0);
    EXPECT_EQ(Utils::calcCRC32(nullptr, 0), 0u);
}

// The CRC-32 a bit at a time, as the polynomial defines it.
static uint32_t bitwiseCrc32(const unsigned char* p, size_t n)
{
    uint32_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

TEST(UtilsChecks, Crc32OfEveryLengthAndAlignmentIsThePolynomials)
{
    // Lengths around the sixteen-byte steps and a transfer's size, at every
    // alignment of the first byte; taken whole, in two parts (the second
    // continuing the first) and copied on the way.
    std::vector<unsigned char> data((1u << 20) + 64);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 200; ++n)
        lengths.push_back(n);
    for (size_t n : {255u, 256u, 257u, 4096u + 6u, 65536u + 15u, 1u << 20})
        lengths.push_back(n);
    std::vector<unsigned char> copy(data.size());
    for (size_t n : lengths) {
        for (size_t at = 0; at < 4; ++at) {
            const unsigned char* from = data.data() + at;
            const uint32_t crc = bitwiseCrc32(from, n);
            ASSERT_EQ(Utils::calcCRC32(from, static_cast<unsigned>(n)), crc) << n << " bytes from " << at;
            const size_t cut = n / 3 + at;
            if (cut <= n) {
                ASSERT_EQ(Utils::updateCRC32(Utils::calcCRC32(from, unsigned(cut)), from + cut, unsigned(n - cut)), crc)
                    << n << " bytes from " << at << " cut at " << cut;
            }
            std::fill(copy.begin(), copy.end(), 0);
            ASSERT_EQ(Utils::copyCRC32(0, copy.data() + 3 - at, from, static_cast<unsigned>(n)), crc) << n;
            ASSERT_TRUE(std::equal(from, from + n, copy.data() + 3 - at)) << n << " bytes from " << at;
            ASSERT_EQ(copy[3 - at + n], 0) << "copied past the end: " << n;
        }
    }
}

TEST(UtilsChecks, TheCrc32CopiedOnTheWayIsThePolynomials)
{
    // Over every length around its step (16 bytes) and an upload's piece,
    // continuing from the CRC of the bytes before, from and to every
    // alignment of a word.
    std::vector<unsigned char> data(8192);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>((i * 2654435761u) >> 11);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 1100; ++n)
        lengths.push_back(n);
    for (size_t n : {4095u, 4096u, 4097u, 4096u + 255u})
        lengths.push_back(n);
    std::vector<unsigned char> copy(data.size() + 8);
    for (size_t n : lengths) {
        for (size_t before = 0; before < 4; ++before) {
            const uint32_t start = bitwiseCrc32(data.data(), before);
            const uint32_t crc = bitwiseCrc32(data.data(), before + n);
            const size_t at = (before * 3 + n) % 4;
            std::fill(copy.begin(), copy.end(), 0);
            ASSERT_EQ(Utils::copyCRC32(start, copy.data() + at, data.data() + before, unsigned(n)), crc)
                << n << " bytes after " << before;
            ASSERT_TRUE(
                std::equal(data.begin() + long(before), data.begin() + long(before + n), copy.begin() + long(at)))
                << n << " bytes after " << before;
            ASSERT_EQ(copy[at + n], 0) << "copied past the end: " << n;
            ASSERT_EQ(Utils::updateCRC32(start, data.data() + before, unsigned(n)), crc);
        }
    }
}

TEST(UtilsTicks, ElapsedAcrossTheWrap)
{
    G_timeTicks = 3;
    EXPECT_EQ(Utils::getTimeSpace(5), 4294967293u);
    G_timeTicks = 5;
    EXPECT_EQ(Utils::getTimeSpace(5), 0u);
    G_timeTicks = 305;
    EXPECT_EQ(Utils::getTimeSpace(5), 300u);
    G_timeTicks = 0;
    EXPECT_EQ(Utils::getTimeSpace(0xFFFFFFFFu), 0u);  // one less after a wrap
}

TEST(UtilsText, StringToIntForms)
{
    EXPECT_EQ(Utils::stringToInt("0x"), 0);
    EXPECT_EQ(Utils::stringToInt("0x1A"), 26);
    EXPECT_EQ(Utils::stringToInt("0xff"), 255);
    EXPECT_EQ(Utils::stringToInt("12"), 12);
    EXPECT_EQ(Utils::stringToInt(""), 0);
    EXPECT_EQ(Utils::upper("ab1z"), "AB1Z");
    EXPECT_EQ(Utils::intToString(-42), "-42");
}

TEST(UtilsText, ConversionsRoundTripAndAFailedOneKeepsWhatWasProduced)
{
    std::string s = "\xE4\xB8\xAD\xE6\x96\x87";  // two Chinese characters in UTF-8
    EXPECT_EQ(Utils::UTF8ToGB2312(s), 0);
    EXPECT_EQ(s, "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(Utils::GB2312ToUTF8(s), 0);
    EXPECT_EQ(s, "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(Utils::UTF8ToUnicode(s), 0);
    EXPECT_EQ(s, std::string("\x2D\x4E\x87\x65", 4));
    EXPECT_EQ(Utils::UnicodeToUTF8(s), 0);
    EXPECT_EQ(s, "\xE4\xB8\xAD\xE6\x96\x87");

    s = "ab\xFF\xFE";  // not UTF-8 after two characters
    EXPECT_EQ(Utils::UTF8ToGB2312(s), int64_t(4294967295u));
    EXPECT_EQ(s, "ab");
    unsigned int inLen = 1, outLen = 4;
    char out[4];
    EXPECT_EQ(Utils::ChangeCode("no-such-charset", "UTF-8", "a", &inLen, out, &outLen), -1);
}

class UtilsShell : public BoxTest {};

TEST_F(UtilsShell, SystemMutexReportsRawStatus)
{
    platform::sim::setShellStatus("false", 256);
    int status = -7;
    EXPECT_EQ(Utils::system_mutex("false", &status), 255);
    EXPECT_EQ(status, 256);
    EXPECT_EQ(Utils::system_mutex("hwclock -w", &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(journalWith("hwclock"), std::vector<std::string>{"hwclock -w"});
}

TEST_F(UtilsShell, ShellExecReadsWholeOutputInPieces)
{
    std::string quiet = "true";
    EXPECT_EQ(Utils::shell_exec(quiet, 100), "");
    const std::string longLine = std::string(250, 'x') + "\nsecond\n";
    platform::sim::setShellOutput("cat /proc/long", longLine);
    std::string cmd = "cat /proc/long";
    EXPECT_EQ(Utils::shell_exec(cmd, 4), longLine);
    // A buffer too small for fgets to make progress is widened, not looped on.
    EXPECT_EQ(Utils::shell_exec(cmd, 1), longLine);
    EXPECT_EQ(Utils::shell_exec(cmd, 0), longLine);
    std::string mac = "ifconfig eth0 | grep HWaddr | awk '{print $5}'";
    EXPECT_EQ(Utils::shell_exec(mac, 100), "02:4b:45:4c:00:01\n");
}

TEST_F(UtilsShell, FileFormatChangeRunsItsCommandsOnBoxFiles)
{
    EXPECT_EQ(Utils::change_file_formt("/data/none.json"), -1);
    writeBoxFile("/data/a.json", "\xEF\xBB\xBF{\r\n}\r\n");
    EXPECT_EQ(Utils::change_file_formt("/data/a.json"), 0);
    EXPECT_EQ(readBoxFile("/data/a.json"), "{\n}\n");
    EXPECT_EQ(journalWith("dos2unix"), std::vector<std::string>{"dos2unix /data/a.json"});
    writeBoxFile("/data/b;reboot", "x");
    EXPECT_EQ(Utils::change_file_formt("/data/b;reboot"), -1);
    EXPECT_EQ(platform::sim::rebootCount(), 0);
}

TEST_F(UtilsShell, FileListBySuffix)
{
    writeBoxFile("/data/smartmapping/a.ztfile", "1");
    writeBoxFile("/data/smartmapping/b.txt", "2");
    writeBoxFile("/data/smartmapping/c.ztfile", "3");
    QStringList list;
    Utils::get_file_list_smartpath(list, "/data/smartmapping", "ztfile");
    list.sort();
    EXPECT_EQ(list, (QStringList{"/data/smartmapping/a.ztfile", "/data/smartmapping/c.ztfile"}));
    EXPECT_TRUE(Utils::isFileExists("/data/smartmapping/a.ztfile", true));
    EXPECT_FALSE(Utils::isFileExists("/data/smartmapping", true));
    EXPECT_TRUE(Utils::isFileExists("/data/smartmapping", false));
    EXPECT_TRUE(Utils::isDirExists("/data/smartmapping"));
    EXPECT_FALSE(Utils::isDirExists("/data/smartmapping/a.ztfile"));
}
