// The two files the receiving-card jobs read: the scan-parameter file
// (".ztfile", job 2) and the recovery file RCV_PACKED_FILE (jobs 5 and 6).
// Both are this project's own formats, little-endian, closed by a CRC-32
// (Utils::calcCRC32) over everything after their head; docs/fpga.md gives
// their layout. A file is checked whole when it is read: a job never acts
// on part of a damaged file.
#pragma once

#include "app/global.h"

#include <QString>
#include <string>
#include <vector>

namespace cardfile {

// Files larger than this are refused before they are read.
constexpr size_t kMebibyte = 1024 * 1024;
constexpr size_t kMaxFileBytes = 5 * kMebibyte;
constexpr int kMaxData = 1024;  // data bytes of one block or operation (one RCV_FRAME)

// ---------------------------------------------------------------- scan file
//   0  4  magic "ZTSC"
//   4  u16 version (1)
//   6  u16 block count, 1-4096
//   8  u32 CRC-32 of bytes 12 to the end
//  12  the blocks, each: u32 address in the card's parameter memory,
//      u16 length (1-1024), then the data
constexpr char kScanMagic[4] = {'Z', 'T', 'S', 'C'};
constexpr u16 kScanVersion = 1;
constexpr int kScanHead = 12;
constexpr int kScanBlockHead = 6;
constexpr int kMaxScanBlocks = 4096;

struct ScanBlock {
    u32 address;
    std::vector<u8> data;
};

// ---------------------------------------------------------------- recovery file
//   0  4  magic "RCVP"
//   4  u16 version (1)
//   6  u16 screen count, 1-64
//   8  u32 CRC-32 of bytes 12 to the end
//  12  screen count x u16: LAN ports of each screen, 1-16
//  ..  the LAN-port records, screen after screen, 12 bytes each (RcvPortRecord)
//  ..  the parameter areas: each port's recorded operations (RcvOperation),
//      each: u16 card (0xFFFF = every card of the port), u8 command
//      (0x03 write, 0x04 position, 0x06 mapping), u8 0, u32 address,
//      u16 length (write 1-1024, position 8, mapping 1), then the data
constexpr char kRecoveryMagic[4] = {'R', 'C', 'V', 'P'};
constexpr u16 kRecoveryVersion = 1;
constexpr int kRecoveryHead = 12;
constexpr int kMaxScreens = 64;
constexpr int kMaxPortsPerScreen = 16;
constexpr int kPortRecord = 12;
constexpr int kOperationHead = 10;

// A LAN-port record as stored.
struct RcvPortRecord {
    u16 net_ledx;      // sending port, 0-15
    u16 net_rcv_num;   // receiving cards on the port, at least 1
    u32 param_offset;  // its operations, from the start of the file
    u32 param_length;
};

struct RcvOperation {
    u16 card;  // place on the chain; fpga::kCardAll = every card of the port
    u8 command;
    u32 address;
    std::vector<u8> data;
};

struct RcvPort {
    int screen;  // 0-based index of the screen the port belongs to
    RcvPortRecord record;
    std::vector<RcvOperation> operations;
};

// What was wrong with a refused file, as an operator is told it.
enum class Fault : u8 {
    kNone = 0,
    kMissing,   // no plain file there (gone since it was listed, or never there)
    kTooLarge,  // more than kMaxFileBytes
    kForeign,   // another kind of file, or a format version the box does not read
    kCutShort,  // it ends before what its head and records say it holds
    kDamaged,   // a value out of place, or its CRC does not match
    kSeveral,   // several files where the job takes the one there is: none is used
};

// Reads a whole box file of at most kMaxFileBytes; false with the reason
// (and its kind in `fault`, when given) when it is missing, unreadable or
// too large.
bool readBoxFile(const QString& boxPath, std::string& out, QString* why, Fault* fault = nullptr);

// The head the box's own binary files lay out: magic, u16 version, u16
// count, u32 CRC-32 of everything after the head (`head` bytes long). False
// with the reason when the magic, the version or the CRC is not the one
// expected; `count` gets the count field.
bool checkHead(const std::string& bytes, const char (&magic)[4], u16 version, int head, u16* count, QString* why);
// The same head without its CRC, for a file whose layout is walked before
// the CRC is checked (crcMatches), so that a file cut short is told as
// such: false with the reason and its kind when the file is shorter than
// its head or the magic or the version is not the one expected; `count`
// and `crc` get those fields.
bool readHead(const std::string& bytes, const char (&magic)[4], u16 version, int head, u16* count, u32* crc,
              QString* why, Fault* fault);
bool crcMatches(const std::string& bytes, int head, u32 crc);

// Parse a whole file image; false with the reason (nothing in `out` then)
// when anything in it is out of place.
bool parseScanFile(const std::string& bytes, std::vector<ScanBlock>* out, QString* why, Fault* fault = nullptr);
// The ports of every screen, in file order.
bool parseRecoveryFile(const std::string& bytes, std::vector<RcvPort>* out, QString* why, Fault* fault = nullptr);

// The operations a port's record keeps for the card at `place`.
std::vector<RcvOperation> operationsFor(const RcvPort& port, u16 place);

}  // namespace cardfile
