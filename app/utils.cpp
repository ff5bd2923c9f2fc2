#include "app/utils.h"

#include "app/config_engine.h"
#include "app/global.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QDebug>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <sys/ioctl.h>
#include <mtd/mtd-user.h>
#include <time.h>
#include <vector>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

QMutex Utils::_system_mutex;
QMutex Utils::_usleep_mutex;
QMutex Utils::_led_para_init_mutex;
QMutex Utils::_bri_set_mutex;
QMutex Utils::_spi_mutex;
QMutex Utils::_fpga_multicast_mutex;
QMutex Utils::_x518_bnk_mutex;
QMutex Utils::_file_deal_mutex;
QMutex Utils::_source_init_mutex;
QMutex Utils::_check_nosig_mutex;
QMutex Utils::_source_hdminfo_mutex;
QMutex Utils::_test_signal_mutex;

namespace {

// ------------------------------------------------------------------ CRC tables
template <class T>
constexpr std::array<T, 256> reflectedTable(T poly)
{
    std::array<T, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        T crc = static_cast<T>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<T>((crc >> 1) ^ poly) : static_cast<T>(crc >> 1);
        table[i] = crc;
    }
    return table;
}

constexpr auto crc16_tabel = reflectedTable<uint16_t>(0xA001);
constexpr auto novaCrc16_tabel = reflectedTable<uint16_t>(0x8408);
constexpr auto CRC32_Table = reflectedTable<uint32_t>(0xEDB88320u);

// Tables for a reflected CRC-32 taken eight bytes per step: table k gives
// the remainder of a byte followed by k zero bytes (table 0 is the plain one).
constexpr std::array<std::array<uint32_t, 256>, 8> slicedTables(const std::array<uint32_t, 256>& plain)
{
    std::array<std::array<uint32_t, 256>, 8> tables{};
    tables[0] = plain;
    for (size_t k = 1; k < tables.size(); ++k)
        for (size_t i = 0; i < 256; ++i)
            tables[k][i] = (tables[k - 1][i] >> 8) ^ plain[tables[k - 1][i] & 0xFF];
    return tables;
}

constexpr auto CRC32_Slices = slicedTables(CRC32_Table);

uint32_t littleEndian32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

template <class T>
T tableCrc(const std::array<T, 256>& table, T crc, const unsigned char* data, unsigned int len)
{
    for (unsigned int i = 0; i < len; ++i)
        crc = static_cast<T>(table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

#if defined(__x86_64__)
// The reflected CRC-32 of whole 16-byte blocks by carry-less multiplication,
// continuing from `crc`: four blocks at a time are folded forward by 512
// bits, then into one, then reduced to 32 bits (Barrett). `len` is at least
// kFoldMin and a multiple of kFoldBlock. The constants are x^k mod P(x),
// bit-reflected, for P the CRC-32 polynomial. With `to`, each block read is
// also stored there, at the same offset.
constexpr size_t kFoldBlock = 16;
constexpr size_t kFoldMin = 4 * kFoldBlock;

#define KEL_FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

// The block at p + at, stored at to + at too when there is a `to`: past the
// caches when `to` is aligned (a copy into a large buffer nobody reads soon
// then neither reads its old lines in nor pushes other data out).
KEL_FOLD_TARGET inline __m128i take(const unsigned char* p, unsigned char* to, size_t at)
{
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    if (to && (reinterpret_cast<uintptr_t>(to) % kFoldBlock) == 0)
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + at), block);
    else if (to)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at), block);
    return block;
}

// x times the pair of constants (its low half by k's low, its high by k's
// high), plus the next block.
KEL_FOLD_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

bool canFold()
{
    static const bool yes = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return yes;
}

// Whether the processor also multiplies the four blocks of a 512-bit
// register at once (AVX-512 with VPCLMULQDQ).
bool canFoldWide()
{
    static const bool yes = canFold() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq");
    return yes;
}

#define KEL_WIDE_FOLD_TARGET __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1")))

// Four blocks in a 512-bit register; four such registers are folded at once.
constexpr size_t kWideStep = 4 * kFoldBlock;
constexpr size_t kWideFoldMin = 4 * kWideStep;
// The ternary-logic table of a XOR b XOR c.
constexpr int kXorOfThree = 0x96;

// As take(), four blocks. The stores go through the caches: streamed, 64
// bytes at a time cost this copy twice as much on the hosts measured.
KEL_WIDE_FOLD_TARGET inline __m512i takeWide(const unsigned char* p, unsigned char* to, size_t at)
{
    const __m512i step = _mm512_loadu_si512(p + at);
    if (to)
        _mm512_storeu_si512(to + at, step);
    return step;
}

// The pair of constants (high, low) in each of the four blocks.
KEL_WIDE_FOLD_TARGET inline __m512i inEachBlock(long long high, long long low)
{
    return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

// As fold(), in each of the four blocks.
KEL_WIDE_FOLD_TARGET inline __m512i foldWide(__m512i x, __m512i k, __m512i next)
{
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11), next,
                                     kXorOfThree);
}

// The first part of foldedCrc32 four blocks to an instruction: four
// registers folded forward by 2048 bits at a time, then into one, which
// takes the remaining whole 64-byte steps by 512 bits. Leaves its four
// blocks in `lanes` for foldedCrc32 to fold on, and returns the bytes taken
// (a multiple of kWideStep). `len` is at least kWideFoldMin.
KEL_WIDE_FOLD_TARGET size_t foldWideSteps(uint32_t crc, const unsigned char* p, size_t len, unsigned char* to,
                                          __m128i lanes[4])
{
    const __m512i by2048 = inEachBlock(0x1322d1430, 0x11542778a);  // x^(2048+32), x^(2048-32)
    const __m512i by512 = inEachBlock(0x1c6e41596, 0x154442bd4);   // x^(512+32), x^(512-32)
    __m512i x0 = _mm512_xor_si512(takeWide(p, to, 0), _mm512_castsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
    __m512i x1 = takeWide(p, to, kWideStep), x2 = takeWide(p, to, 2 * kWideStep), x3 = takeWide(p, to, 3 * kWideStep);
    size_t at = kWideFoldMin;
    for (; len - at >= kWideFoldMin; at += kWideFoldMin) {
        x0 = foldWide(x0, by2048, takeWide(p, to, at));
        x1 = foldWide(x1, by2048, takeWide(p, to, at + kWideStep));
        x2 = foldWide(x2, by2048, takeWide(p, to, at + 2 * kWideStep));
        x3 = foldWide(x3, by2048, takeWide(p, to, at + 3 * kWideStep));
    }
    x0 = foldWide(foldWide(foldWide(x0, by512, x1), by512, x2), by512, x3);
    for (; len - at >= kWideStep; at += kWideStep)
        x0 = foldWide(x0, by512, takeWide(p, to, at));
    _mm512_storeu_si512(lanes, x0);
    return at;
}

// `wide`: the first part four blocks to an instruction (foldWideSteps),
// where `len` is at least kWideFoldMin.
KEL_FOLD_TARGET uint32_t foldedCrc32(uint32_t crc, const unsigned char* p, size_t len, unsigned char* to, bool wide)
{
    const __m128i by512 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);    // x^(512+32), x^(512-32)
    const __m128i by128 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);    // x^(128+32), x^(128-32)
    const __m128i by64 = _mm_set_epi64x(0, 0x163cd6124);               // x^64
    const __m128i barrett = _mm_set_epi64x(0x1f7011641, 0x1db710641);  // x^64 / P, P
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    __m128i lanes[4];
    size_t at = 0;
    if (wide && len >= kWideFoldMin) {
        at = foldWideSteps(crc, p, len, to, lanes);
    } else {
        lanes[0] = _mm_xor_si128(take(p, to, 0), _mm_cvtsi32_si128(static_cast<int>(crc)));
        lanes[1] = take(p, to, 16), lanes[2] = take(p, to, 32), lanes[3] = take(p, to, 48);
        at = kFoldMin;
    }
    __m128i x0 = lanes[0], x1 = lanes[1], x2 = lanes[2], x3 = lanes[3];
    for (; len - at >= kFoldMin; at += kFoldMin) {
        x0 = fold(x0, by512, take(p, to, at));
        x1 = fold(x1, by512, take(p, to, at + 16));
        x2 = fold(x2, by512, take(p, to, at + 32));
        x3 = fold(x3, by512, take(p, to, at + 48));
    }
    x0 = fold(fold(fold(x0, by128, x1), by128, x2), by128, x3);
    for (; len - at >= kFoldBlock; at += kFoldBlock)
        x0 = fold(x0, by128, take(p, to, at));
    __m128i x = _mm_xor_si128(_mm_clmulepi64_si128(x0, by128, 0x10), _mm_srli_si128(x0, 8));
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), by64, 0x00), _mm_srli_si128(x, 4));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    if (to)
        _mm_sfence();  // the streamed stores before anything that follows
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}
#endif

constexpr int kStatusRefused = 255;
constexpr int kEraseFailed = 8;
constexpr int kWriteFailed = 1;

}  // namespace

unsigned char Utils::BCC(const unsigned char* data, unsigned int len)
{
    unsigned char x = 0;
    for (unsigned int i = 0; i < len; ++i)
        x ^= data[i];
    return x;
}

uint16_t Utils::calcCRC16(const unsigned char* data, unsigned int len)
{
    return tableCrc<uint16_t>(crc16_tabel, 0, data, len);
}

uint16_t Utils::novaCalcCRC16(const unsigned char* data, unsigned int len)
{
    return tableCrc<uint16_t>(novaCrc16_tabel, 0xFFFF, data, len);
}

namespace {

// The CRC-32 of data[0, len) continuing from `crc`, the bytes copied to `to`
// on the way when there is one, taken `way`. Whole blocks are folded where
// the processor multiplies without carries (a 5 MB transfer is checked in
// about 0.4 ms on the host, 0.1 ms four blocks at a time); eight bytes per
// step while they last, then the rest.
uint32_t crc32Of(Utils::Crc32Way way, uint32_t crc, const unsigned char* data, unsigned int len, unsigned char* to)
{
#if defined(__x86_64__)
    if (way != Utils::Crc32Way::Table && len >= kFoldMin) {
        const unsigned int whole = len & ~static_cast<unsigned int>(kFoldBlock - 1);
        crc = foldedCrc32(crc, data, whole, to, way == Utils::Crc32Way::WideFold);
        data += whole;
        len -= whole;
        if (to)
            to += whole;
    }
#endif
    if (to && len > 0)
        std::memcpy(to, data, len);
    const auto& t = CRC32_Slices;
    for (; len >= 8; data += 8, len -= 8) {
        const uint32_t lo = crc ^ littleEndian32(data);
        const uint32_t hi = littleEndian32(data + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][hi & 0xFF] ^
              t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    return tableCrc<uint32_t>(CRC32_Table, crc, data, len);
}

}  // namespace

Utils::Crc32Way Utils::fastestCRC32Way()
{
#if defined(__x86_64__)
    if (canFoldWide())
        return Crc32Way::WideFold;
    if (canFold())
        return Crc32Way::Fold;
#endif
    return Crc32Way::Table;
}

uint32_t Utils::calcCRC32(const unsigned char* data, unsigned int len)
{
    return crc32Of(fastestCRC32Way(), 0, data, len, nullptr);
}

uint32_t Utils::updateCRC32(uint32_t crc, const unsigned char* data, unsigned int len)
{
    return crc32Of(fastestCRC32Way(), crc, data, len, nullptr);
}

uint32_t Utils::copyCRC32(uint32_t crc, unsigned char* to, const unsigned char* from, unsigned int len)
{
    return crc32Of(fastestCRC32Way(), crc, from, len, to);
}

uint32_t Utils::copyCRC32By(Crc32Way way, uint32_t crc, unsigned char* to, const unsigned char* from, unsigned int len)
{
    return crc32Of(std::min(way, fastestCRC32Way()), crc, from, len, to);
}

uint16_t Utils::jtc1CRC16Code(const unsigned char* data, unsigned int len)
{
    uint16_t crc = 0;
    for (unsigned int i = 0; i < len; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            bool top = (crc & 0x8000) != 0;
            bool in = ((data[i] >> bit) & 1) != 0;
            crc = static_cast<uint16_t>(crc << 1);
            if (top != in)
                crc ^= 0x1021;
        }
    }
    return crc;
}

unsigned int Utils::getTimeSpace(unsigned int stamp)
{
    unsigned int now = G_timeTicks.load(std::memory_order_relaxed);
    return now >= stamp ? now - stamp : now - stamp - 1;
}

int Utils::system_mutex(QString cmd, int* status)
{
    QMutexLocker lock(&_system_mutex);
    int result = platform::shellRun(cmd.toLatin1().toStdString());
    if (status)
        *status = result;
    return result == 0 ? 0 : kStatusRefused;
}

int Utils::usleep_mutex(unsigned int us)
{
    QMutexLocker lock(&_usleep_mutex);
    struct timespec ts;
    ts.tv_sec = us / 1000000;
    ts.tv_nsec = static_cast<long>(us % 1000000) * 1000;
    return nanosleep(&ts, nullptr) == 0 ? 0 : kStatusRefused;
}

int Utils::msleep_mutex(unsigned int ms)
{
    return usleep_mutex(1000 * ms);
}

std::string Utils::shell_exec(std::string& cmd, int n)
{
    // fgets needs room for at least one character and the terminator.
    if (n < 2)
        n = 2;
    FILE* f = platform::shellOpenRead(cmd);
    if (!f)
        return std::string();
    std::vector<char> buf(static_cast<size_t>(n));
    std::string out;
    while (std::fgets(buf.data(), n, f))
        out += buf.data();
    platform::shellClose(f);
    return out;
}

int64_t Utils::ChangeCode(const char* from, const char* to, const char* in, unsigned int* inLen, char* out,
                          unsigned int* outLen)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        KEL_DBG("iconv_open ======failed ");
        return -1;
    }
    char* inPtr = const_cast<char*>(in);
    char* outPtr = out;
    size_t inLeft = *inLen, outLeft = *outLen;
    size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    *inLen = static_cast<unsigned int>(inLeft);
    *outLen = static_cast<unsigned int>(outLeft);
    iconv_close(cd);
    // The box's 32-bit iconv reports failure as 4294967295.
    return r == static_cast<size_t>(-1) ? int64_t(0xFFFFFFFFu) : static_cast<int64_t>(r);
}

int64_t Utils::convertInPlace(const char* from, const char* to, std::string& s)
{
    std::string in = s;
    unsigned int inLen = static_cast<unsigned int>(in.size());
    unsigned int outSize = inLen * 3;
    std::vector<char> out(outSize + 1, 0);
    unsigned int outLeft = outSize;
    int64_t r = ChangeCode(from, to, in.data(), &inLen, out.data(), &outLeft);
    if (r == -1)
        return r;
    s.assign(out.data(), outSize - outLeft);
    return r;
}

// clang-format off
int64_t Utils::GB2312ToUTF8(std::string& s) { return convertInPlace("gb2312", "UTF-8", s); }
int64_t Utils::GB2312ToUnicode(std::string& s) { return convertInPlace("gb2312", "UCS-2LE", s); }
int64_t Utils::UTF8ToUnicode(std::string& s) { return convertInPlace("UTF-8", "UCS-2LE", s); }
int64_t Utils::UnicodeToUTF8(std::string& s) { return convertInPlace("UCS-2LE", "UTF-8", s); }
int64_t Utils::UTF8ToGB2312(std::string& s) { return convertInPlace("UTF-8", "GB2312", s); }
int64_t Utils::UnicodeToGB2312(std::string& s) { return convertInPlace("UCS-2LE", "GB2312", s); }
// clang-format on

bool Utils::isFileExists(std::string path, bool regular)
{
    if (!platform::exists(path))
        return false;
    return !regular || QFileInfo(QString::fromStdString(platform::path(path))).isFile();
}

bool Utils::isDirExists(std::string path)
{
    return platform::isDir(path);
}

int Utils::change_file_formt(std::string path)
{
    if (!platform::exists(path))
        return -1;
    // The path goes into shell commands: plain path characters only.
    for (char c : path)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '.' || c == '_' || c == '-'))
            return -1;
    platform::shellRun("dos2unix " + path);
    platform::shellRun("sync");
    platform::shellRun("sed -i 's/\xEF\xBB\xBF//g' " + path);
    platform::shellRun("sync");
    return 0;
}

void Utils::get_file_list_smartpath(QStringList& list, QString path, QString suffix)
{
    QDir dir(platform::qpath(path));
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::NoSort);
    QString boxDir = path.endsWith('/') ? path : path + '/';
    for (const QFileInfo& fi : entries) {
        if (fi.suffix() != suffix)
            continue;
        QString boxPath = boxDir + fi.fileName();
        list.append(boxPath);
        qDebug() << boxPath;
    }
}

int Utils::stringToInt(std::string s)
{
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        unsigned int v = 0;
        for (size_t i = 2; i < s.size(); ++i) {
            char c = s[i];
            int d = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : 0;
            v = v * 16 + static_cast<unsigned int>(d);
        }
        return static_cast<int>(v);
    }
    if (s.size() == 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        return 0;
    unsigned int v = 0;
    for (char c : s) {
        int d = (c >= '0' && c <= '9') ? c - '0' : 0;
        v = v * 10 + static_cast<unsigned int>(d);
    }
    return static_cast<int>(v);
}

std::string Utils::upper(std::string s)
{
    for (auto& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string Utils::intToString(int v)
{
    return std::to_string(v);
}

// ------------------------------------------------------------------ Ethernet

bool Utils::isOctet(const QString& p)
{
    // "010" would be read as octal by the network tools: one form per octet.
    if (p.isEmpty() || p.size() > 3 || (p.size() > 1 && p.at(0) == QLatin1Char('0')))
        return false;
    for (QChar c : p)
        if (c < '0' || c > '9')
            return false;
    return p.toInt() <= 255;
}

bool Utils::isDottedQuad(const QString& text)
{
    const QStringList parts = text.split('.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), isOctet);
}

int Utils::setupEth0(const QString& ip, const QString& gateway, const QString& mask)
{
    // These commands run as root: only well-formed addresses reach them.
    if (!isDottedQuad(ip) || !isDottedQuad(gateway) || !isDottedQuad(mask)) {
        KEL_DBG("\n[setupEth0] refused: address %s gateway %s mask %s\n", ip.toLatin1().constData(),
                gateway.toLatin1().constData(), mask.toLatin1().constData());
        return kStatusRefused;
    }
    system_mutex("route del default wlan0", nullptr);
    system_mutex(QString("ifconfig eth0 %1 netmask %2").arg(ip, mask), nullptr);
    system_mutex(QString("route add -host %1 dev eth0").arg(gateway), nullptr);
    system_mutex(QString("route add default gw %1 metric 100").arg(gateway), nullptr);
    system_mutex("route add -host 255.255.255.255 eth0", nullptr);
    system_mutex("route del 255.255.255.255 wlan1", nullptr);
    return 0;
}

int Utils::initIPAddress()
{
    if (system_mutex("ifconfig eth0 &>/dev/null", nullptr) != 0)
        return kStatusRefused;
    getIPAddress();
    QString ip, gateway, mask;
    {
        QMutexLocker lock(&g_settings_mutex);
        ip = g_str_ip;
        gateway = g_str_gateway;
        mask = g_srt_mask;
    }
    return setupEth0(ip, gateway, mask);
}

int Utils::init_resteth(QString ip, QString gateway, QString mask)
{
    if (!isDottedQuad(ip) || !isDottedQuad(gateway) || !isDottedQuad(mask))
        return kStatusRefused;
    if (system_mutex("ifconfig eth0 &>/dev/null", nullptr) != 0)
        return kStatusRefused;
    return setupEth0(ip, gateway, mask);
}

// ------------------------------------------------------------------ MTD

int Utils::non_region_erase(int fd, int offset, int length, int unlock)
{
    mtd_info_user info;
    if (platform::devIoctl(fd, MEMGETINFO, &info) != 0 || info.erasesize == 0) {
        // Nothing was erased: say so, or the caller would write onto old data.
        KEL_DBG("\n[non_region_erase] MEMGETINFO failed: %s\n", std::strerror(errno));
        return kEraseFailed;
    }
    unsigned int len = length > 0 ? static_cast<unsigned int>(length) : 0;
    unsigned int blocks = (len + info.erasesize - 1) / info.erasesize;
    KEL_DBG("\r\nPerforming Flash Erase of length %u at offset 0x%x\n", info.erasesize, offset);
    if (blocks == 0)
        return 0;
    erase_info_user region;
    region.start = static_cast<uint32_t>(offset);
    region.length = info.erasesize;
    for (unsigned int b = 0; b < blocks; ++b) {
        if (unlock && platform::devIoctl(fd, MEMUNLOCK, &region) != 0)
            return kEraseFailed;
        if (platform::devIoctl(fd, MEMERASE, &region) != 0)
            return kEraseFailed;
        region.start += info.erasesize;
    }
    return 0;
}

int Utils::non_region_write(int fd, unsigned char* buf, int length, int offset)
{
    mtd_info_user info;
    if (platform::devIoctl(fd, MEMGETINFO, &info) != 0 || info.writesize == 0)
        return kWriteFailed;
    unsigned int len = length > 0 ? static_cast<unsigned int>(length) : 0;
    unsigned int chunks = len / info.writesize;
    unsigned int rest = len % info.writesize;
    off_t pos = offset;
    for (unsigned int c = 0; c < chunks; ++c) {
        ssize_t n = platform::devPwrite(fd, buf, info.writesize, pos);
        if (n < static_cast<ssize_t>(info.writesize)) {
            KEL_DBG("\n nand non_region_write error %#x ,writesize=%#x,offset=%#x,size=%#x\n", c, info.writesize,
                    static_cast<unsigned>(pos), len);
            return kWriteFailed;
        }
        pos += info.writesize;
        buf += info.writesize;
    }
    if (rest != 0) {
        ssize_t n = platform::devPwrite(fd, buf, rest, pos);
        if (n < static_cast<ssize_t>(rest)) {
            KEL_DBG("\n nand non_region_write error %#x,size=%#x \n", rest, len);
            return kWriteFailed;
        }
    }
    return 0;
}

// ------------------------------------------------------------------ settings

int Utils::getIPAddress()
{
    ConfigEngine* cfg = ConfigEngine::p_config;
    if (!cfg)
        return 0;
    auto text = [cfg](ConfigItem::ConfigName id) { return cfg->read_config_variant(id).toString(); };
    auto number = [cfg](ConfigItem::ConfigName id) { return cfg->read_config_number(id); };
    using C = ConfigItem;
    QMutexLocker lock(&g_settings_mutex);
    g_str_ip = text(C::IPAddress);
    g_str_gateway = text(C::GateWay);
    g_srt_mask = text(C::SubNetMask);
    g_port = number(C::TcpPort);
    g_int_tcp_port = g_port;
    g_str_barcode = text(C::Barcode);
    g_str_wifi_ip = text(C::WifiIPAddress);
    g_check_edid = text(C::EDIDCheck);
    g_imagelayoutpassword = text(C::ImageLayoutPassword);
    g_check_source = static_cast<u8>(number(C::SourceCheck));
    g_ryve_cloudserverip = text(C::ryvecloudserverip);
    g_ryve_cloudserverport = number(C::ryvecloudserverport);
    g_ryve_clouduserid = text(C::ryveclouduserip);
    g_ryve_controllername = text(C::ryvecloudcontrollername);
    const bool cloudUnset = g_ryve_cloudserverip == " " && g_ryve_clouduserid == " " && g_ryve_controllername == " " &&
                            g_ryve_cloudserverport == 0;
    g_ryve_cloud = cloudUnset ? 0 : 1;
    g_kel_max_pixel = number(C::KelMaxPixel_UINT);
    g_usb_grade_path = text(C::usbupgradedir);
    g_lcd_lang_valid = static_cast<u32>(number(C::KelLCDLang));
    return 0;
}
