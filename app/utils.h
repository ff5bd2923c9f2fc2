// Shared utilities: check byte and CRCs, tick arithmetic, shell commands,
// text conversion, the Ethernet set-up, MTD partition writing and the
// process-wide mutexes through which the threads share state.
#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

class Utils {
public:
    Utils() = default;

    // ---- process-wide mutexes; docs/threads.md gives the order they nest in.
    static QMutex _system_mutex;
    static QMutex _usleep_mutex;
    static QMutex _led_para_init_mutex;
    static QMutex _bri_set_mutex;
    static QMutex _spi_mutex;
    static QMutex _fpga_multicast_mutex;
    static QMutex _x518_bnk_mutex;
    // The lock over every kept file's replacement (platform::g_fileReplaceMutex):
    // a whole-file write holds it only for its rename.
    static QMutex& _file_deal_mutex;
    static QMutex _source_init_mutex;
    static QMutex _check_nosig_mutex;
    static QMutex _source_hdminfo_mutex;
    static QMutex _test_signal_mutex;

    // ---- check byte and CRCs; a length of 0 returns the initial value
    static unsigned char BCC(const unsigned char* data, unsigned int len);
    static uint16_t calcCRC16(const unsigned char* data, unsigned int len);      // CRC-16/ARC
    static uint16_t novaCalcCRC16(const unsigned char* data, unsigned int len);  // CRC-16/MCRF4XX
    static uint32_t calcCRC32(const unsigned char* data, unsigned int len);      // reflected, init 0, no final XOR
    // calcCRC32 of bytes that follow those `crc` covers: calcCRC32(a + b) is
    // updateCRC32(calcCRC32(a), b).
    static uint32_t updateCRC32(uint32_t crc, const unsigned char* data, unsigned int len);
    // updateCRC32 of `from`, which is copied to `to` too.
    static uint32_t copyCRC32(uint32_t crc, unsigned char* to, const unsigned char* from, unsigned int len);
    static uint16_t jtc1CRC16Code(const unsigned char* data, unsigned int len);  // CRC-16/XMODEM

    // ---- ticks: elapsed ticks since a stamp of G_timeTicks (one less after a wrap)
    static unsigned int getTimeSpace(unsigned int stamp);

    // ---- shell commands and sleeps
    // Runs one command under _system_mutex; 0 when it succeeded, else 255.
    static int system_mutex(QString cmd, int* status);
    static int usleep_mutex(unsigned int us);
    static int msleep_mutex(unsigned int ms);
    // A command's whole output, read in pieces of at most n - 1 characters.
    static std::string shell_exec(std::string& cmd, int n);

    // ---- text conversion (iconv)
    static int64_t ChangeCode(const char* from, const char* to, const char* in, unsigned int* inLen, char* out,
                              unsigned int* outLen);
    static int64_t GB2312ToUTF8(std::string& s);
    static int64_t GB2312ToUnicode(std::string& s);
    static int64_t UTF8ToUnicode(std::string& s);
    static int64_t UnicodeToUTF8(std::string& s);
    static int64_t UTF8ToGB2312(std::string& s);
    static int64_t UnicodeToGB2312(std::string& s);

    // ---- small helpers (box paths)
    static bool isFileExists(std::string path, bool regular);
    static bool isDirExists(std::string path);
    static int change_file_formt(std::string path);
    static void get_file_list_smartpath(QStringList& list, QString path, QString suffix);
    static int stringToInt(std::string s);
    static std::string upper(std::string s);
    static std::string intToString(int v);

    // ---- Ethernet set-up: 0 when it ran, 255 when eth0 is missing or an
    // address is not a dotted-quad IPv4 address (then nothing is run)
    static int initIPAddress();
    static int init_resteth(QString ip, QString gateway, QString mask);
    static bool isDottedQuad(const QString& text);
    // One decimal octet 0-255, written without leading zeros.
    static bool isOctet(const QString& text);

    // ---- MTD partitions (descriptor opened by the caller with platform::devOpen)
    static int non_region_erase(int fd, int offset, int length, int unlock);          // 0 or 8
    static int non_region_write(int fd, unsigned char* buf, int length, int offset);  // 0 or 1

    // ---- settings into globals
    static int getIPAddress();

private:
    static int64_t convertInPlace(const char* from, const char* to, std::string& s);
    static int setupEth0(const QString& ip, const QString& gateway, const QString& mask);
};
