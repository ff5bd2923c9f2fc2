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

QMutex Utils::_system_mutex;
QMutex Utils::_usleep_mutex;
QMutex Utils::_led_para_init_mutex;
QMutex Utils::_bri_set_mutex;
QMutex Utils::_spi_mutex;
QMutex Utils::_fpga_multicast_mutex;
QMutex Utils::_x518_bnk_mutex;
QMutex& Utils::_file_deal_mutex = platform::g_fileReplaceMutex;
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

// Tables for a reflected CRC-32 taken several bytes per step: table k gives
// the remainder of a byte followed by k zero bytes (table 0 is the plain one).
// A 64-bit PC takes sixteen bytes a step through sixteen tables; a 32-bit
// ARM core takes four a step through four, whose bases it keeps in
// registers: its loads add no displacement to an indexed address, so each
// further table costs an instruction per byte there.
constexpr unsigned int kCrcStep = sizeof(void*) >= 8 ? 16 : 4;
constexpr unsigned int kCrcBlock = 16;  // bytes per turn of the loop
constexpr std::array<std::array<uint32_t, 256>, kCrcStep> slicedTables(const std::array<uint32_t, 256>& plain)
{
    std::array<std::array<uint32_t, 256>, kCrcStep> tables{};
    tables[0] = plain;
    for (size_t k = 1; k < tables.size(); ++k)
        for (size_t i = 0; i < 256; ++i)
            tables[k][i] = (tables[k - 1][i] >> 8) ^ plain[tables[k - 1][i] & 0xFF];
    return tables;
}

constexpr auto CRC32_Slices = slicedTables(CRC32_Table);

// A word as loaded from memory, read as little-endian.
inline uint32_t littleEndian32(uint32_t loaded)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_bswap32(loaded);
#else
    return loaded;
#endif
}

template <class T>
T tableCrc(const std::array<T, 256>& table, T crc, const unsigned char* data, unsigned int len)
{
    for (unsigned int i = 0; i < len; ++i)
        crc = static_cast<T>(table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

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

// The word at p, read as little-endian.
inline uint32_t loadLittle32(const unsigned char* p)
{
    uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return littleEndian32(w);
}

// The CRC-32 of data[0, len) continuing from `crc`, sixteen bytes a turn
// (kCrcStep bytes a step) while they last, then the rest a byte at a time.
uint32_t crc32Of(uint32_t crc, const unsigned char* data, unsigned int len)
{
    const auto& t = CRC32_Slices;
    if constexpr (kCrcStep == 16) {
        for (; len >= kCrcBlock; data += kCrcBlock, len -= kCrcBlock) {
            const uint32_t a = loadLittle32(data) ^ crc, b = loadLittle32(data + 4), c = loadLittle32(data + 8),
                           d = loadLittle32(data + 12);
            crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
                  t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^ t[7][c & 0xFF] ^
                  t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^ t[3][d & 0xFF] ^
                  t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        }
    } else {
        // Each table's base in a register of its own.
        const uint32_t *t0 = t[0].data(), *t1 = t[1].data(), *t2 = t[2].data(), *t3 = t[3].data();
        const auto step = [&](uint32_t a) {
            return t3[a & 0xFF] ^ t2[(a >> 8) & 0xFF] ^ t1[(a >> 16) & 0xFF] ^ t0[a >> 24];
        };
        for (; len >= kCrcBlock; data += kCrcBlock, len -= kCrcBlock) {
            crc = step(loadLittle32(data) ^ crc);
            crc = step(loadLittle32(data + 4) ^ crc);
            crc = step(loadLittle32(data + 8) ^ crc);
            crc = step(loadLittle32(data + 12) ^ crc);
        }
    }
    return tableCrc<uint32_t>(CRC32_Table, crc, data, len);
}

}  // namespace

uint32_t Utils::calcCRC32(const unsigned char* data, unsigned int len)
{
    return crc32Of(0, data, len);
}

uint32_t Utils::updateCRC32(uint32_t crc, const unsigned char* data, unsigned int len)
{
    return crc32Of(crc, data, len);
}

uint32_t Utils::copyCRC32(uint32_t crc, unsigned char* to, const unsigned char* from, unsigned int len)
{
    // The copy first, then the CRC from the bytes the copy left in the
    // cache: the library's copy moves them faster than a copy inside the
    // CRC's steps does.
    if (len > 0)
        std::memcpy(to, from, len);
    return crc32Of(crc, from, len);
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
