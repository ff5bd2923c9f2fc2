#include "fpga/card_files.h"

#include "app/utils.h"
#include "platform/platform.h"
#include "registers/fpga_regs.h"

#include <algorithm>
#include <cstring>

namespace cardfile {

namespace {

// Bounds-checked little-endian reads from a file image.
class Cursor {
public:
    Cursor(const std::string& bytes, size_t at, size_t end) : b_(bytes), at_(at), end_(end) {}
    bool has(size_t n) const { return at_ <= end_ && n <= end_ - at_; }
    size_t at() const { return at_; }
    bool done() const { return at_ == end_; }
    u8 u8at(size_t i) const { return static_cast<u8>(b_[i]); }
    bool read16(u16* v)
    {
        if (!has(2))
            return false;
        *v = static_cast<u16>(u8at(at_) | u8at(at_ + 1) << 8);
        at_ += 2;
        return true;
    }
    bool read32(u32* v)
    {
        if (!has(4))
            return false;
        *v = static_cast<u32>(u8at(at_)) | static_cast<u32>(u8at(at_ + 1)) << 8 |
             static_cast<u32>(u8at(at_ + 2)) << 16 | static_cast<u32>(u8at(at_ + 3)) << 24;
        at_ += 4;
        return true;
    }
    bool read8(u8* v)
    {
        if (!has(1))
            return false;
        *v = u8at(at_++);
        return true;
    }
    bool readBytes(size_t n, std::vector<u8>* out)
    {
        if (!has(n))
            return false;
        out->assign(b_.begin() + static_cast<std::ptrdiff_t>(at_), b_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
        at_ += n;
        return true;
    }

private:
    const std::string& b_;
    size_t at_;
    size_t end_;
};

bool fail(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return false;
}

bool fail(QString* why, Fault* fault, Fault kind, const QString& text)
{
    if (fault)
        *fault = kind;
    return fail(why, text);
}

bool operationShapeOk(u8 command, size_t length)
{
    switch (command) {
    case fpga::kRcvWrite: return length >= 1 && length <= static_cast<size_t>(kMaxData);
    case fpga::kRcvPosition: return length == static_cast<size_t>(fpga::kRcvPositionData);
    case fpga::kRcvMapping: return length == 1;
    default: return false;
    }
}

// A port's area lies inside the file (checked before): an operation that
// runs past the end of its area is out of place, not cut short.
bool parseOperations(const std::string& bytes, const RcvPortRecord& r, std::vector<RcvOperation>* out, QString* why,
                     Fault* fault)
{
    Cursor c(bytes, r.param_offset, static_cast<size_t>(r.param_offset) + r.param_length);
    while (!c.done()) {
        RcvOperation op;
        u8 reserved;
        u16 length;
        if (!c.read16(&op.card) || !c.read8(&op.command) || !c.read8(&reserved) || !c.read32(&op.address) ||
            !c.read16(&length))
            return fail(why, fault, Fault::kDamaged, QStringLiteral("operation cut short at byte %1").arg(c.at()));
        if (!operationShapeOk(op.command, length))
            return fail(why, fault, Fault::kDamaged,
                        QStringLiteral("operation 0x%1 of %2 bytes").arg(op.command, 2, 16, QChar('0')).arg(length));
        if (op.card != fpga::kCardAll && op.card >= r.net_rcv_num)
            return fail(why, fault, Fault::kDamaged,
                        QStringLiteral("operation for card %1 of %2").arg(op.card).arg(r.net_rcv_num));
        if (!c.readBytes(length, &op.data))
            return fail(why, fault, Fault::kDamaged, QStringLiteral("operation data past its area"));
        out->push_back(std::move(op));
    }
    return true;
}

}  // namespace

bool readHead(const std::string& bytes, const char (&magic)[4], u16 version, int head, u16* count, u32* crc,
              QString* why, Fault* fault)
{
    const size_t magicBytes = std::min(bytes.size(), sizeof magic);
    if (std::memcmp(bytes.data(), magic, magicBytes) != 0)
        return fail(why, fault, Fault::kForeign, QStringLiteral("not this kind of file"));
    if (bytes.size() < static_cast<size_t>(head))
        return fail(why, fault, Fault::kCutShort, QStringLiteral("shorter than its head"));
    Cursor c(bytes, sizeof magic, bytes.size());
    u16 v = 0;
    c.read16(&v);
    c.read16(count);
    c.read32(crc);
    if (v != version)
        return fail(why, fault, Fault::kForeign, QStringLiteral("format version %1").arg(v));
    return true;
}

bool checkHead(const std::string& bytes, const char (&magic)[4], u16 version, int head, u16* count, QString* why)
{
    u32 crc = 0;
    if (!readHead(bytes, magic, version, head, count, &crc, why, nullptr))
        return false;
    return crcMatches(bytes, head, crc) || fail(why, QStringLiteral("CRC mismatch"));
}

bool crcMatches(const std::string& bytes, int head, u32 crc)
{
    const auto* body = reinterpret_cast<const unsigned char*>(bytes.data()) + head;
    return Utils::calcCRC32(body, static_cast<unsigned int>(bytes.size() - static_cast<size_t>(head))) == crc;
}

bool readBoxFile(const QString& boxPath, std::string& out, QString* why, Fault* fault)
{
    if (boxPath.isEmpty())
        return fail(why, fault, Fault::kMissing, QStringLiteral("no file %1").arg(boxPath));
    switch (platform::readFileUpTo(boxPath.toStdString(), out, kMaxFileBytes)) {
    case platform::ReadResult::Missing:
        return fail(why, fault, Fault::kMissing, QStringLiteral("no file %1").arg(boxPath));
    case platform::ReadResult::TooLarge:
        return fail(why, fault, Fault::kTooLarge, QStringLiteral("%1 is too large").arg(boxPath));
    case platform::ReadResult::Read: break;
    }
    return true;
}

bool parseScanFile(const std::string& bytes, std::vector<ScanBlock>* out, QString* why, Fault* fault)
{
    u16 count;
    u32 crc;
    if (!readHead(bytes, kScanMagic, kScanVersion, kScanHead, &count, &crc, why, fault))
        return false;
    if (count == 0 || count > kMaxScanBlocks)
        return fail(why, fault, Fault::kDamaged, QStringLiteral("%1 blocks").arg(count));
    std::vector<ScanBlock> blocks;
    Cursor c(bytes, kScanHead, bytes.size());
    for (int i = 0; i < count; ++i) {
        ScanBlock b;
        u16 length;
        if (!c.read32(&b.address) || !c.read16(&length))
            return fail(why, fault, Fault::kCutShort, QStringLiteral("block %1 of %2 cut short").arg(i).arg(count));
        if (length == 0 || length > kMaxData)
            return fail(why, fault, Fault::kDamaged, QStringLiteral("block %1 of %2 bytes").arg(i).arg(length));
        if (!c.readBytes(length, &b.data))
            return fail(why, fault, Fault::kCutShort, QStringLiteral("block %1 of %2 cut short").arg(i).arg(count));
        blocks.push_back(std::move(b));
    }
    if (!c.done())
        return fail(why, fault, Fault::kDamaged, QStringLiteral("bytes after the last block"));
    if (!crcMatches(bytes, kScanHead, crc))
        return fail(why, fault, Fault::kDamaged, QStringLiteral("CRC mismatch"));
    *out = std::move(blocks);
    return true;
}

bool parseRecoveryFile(const std::string& bytes, std::vector<RcvPort>* out, QString* why, Fault* fault)
{
    u16 screens;
    u32 crc;
    if (!readHead(bytes, kRecoveryMagic, kRecoveryVersion, kRecoveryHead, &screens, &crc, why, fault))
        return false;
    if (screens == 0 || screens > kMaxScreens)
        return fail(why, fault, Fault::kDamaged, QStringLiteral("%1 screens").arg(screens));
    Cursor c(bytes, kRecoveryHead, bytes.size());
    std::vector<u16> portCounts(screens);
    for (u16& n : portCounts) {
        if (!c.read16(&n))
            return fail(why, fault, Fault::kCutShort, QStringLiteral("screen table cut short"));
        if (n == 0 || n > kMaxPortsPerScreen)
            return fail(why, fault, Fault::kDamaged, QStringLiteral("screen of %1 LAN ports").arg(n));
    }
    std::vector<RcvPort> ports;
    for (int s = 0; s < screens; ++s)
        for (int i = 0; i < portCounts[static_cast<size_t>(s)]; ++i) {
            RcvPort p{s, {}, {}};
            RcvPortRecord& r = p.record;
            if (!c.read16(&r.net_ledx) || !c.read16(&r.net_rcv_num) || !c.read32(&r.param_offset) ||
                !c.read32(&r.param_length))
                return fail(why, fault, Fault::kCutShort, QStringLiteral("LAN-port records cut short"));
            if (r.net_ledx >= fpga::kSendPorts || r.net_rcv_num == 0 || r.net_rcv_num == fpga::kCardAll)
                return fail(why, fault, Fault::kDamaged,
                            QStringLiteral("LAN-port record %1 out of range").arg(ports.size()));
            ports.push_back(std::move(p));
        }
    // The parameter areas lie after the records, inside the file.
    const size_t areasFrom = c.at();
    for (RcvPort& p : ports) {
        const RcvPortRecord& r = p.record;
        if (r.param_offset < areasFrom)
            return fail(why, fault, Fault::kDamaged,
                        QStringLiteral("parameter area of port %1 among the records").arg(r.net_ledx));
        if (r.param_offset > bytes.size() || r.param_length > bytes.size() - r.param_offset)
            return fail(why, fault, Fault::kCutShort,
                        QStringLiteral("parameter area of port %1 past the end of the file").arg(r.net_ledx));
        if (!parseOperations(bytes, r, &p.operations, why, fault))
            return false;
    }
    if (!crcMatches(bytes, kRecoveryHead, crc))
        return fail(why, fault, Fault::kDamaged, QStringLiteral("CRC mismatch"));
    *out = std::move(ports);
    return true;
}

std::vector<RcvOperation> operationsFor(const RcvPort& port, u16 place)
{
    std::vector<RcvOperation> ops;
    for (const RcvOperation& op : port.operations)
        if (op.card == place || op.card == fpga::kCardAll)
            ops.push_back(op);
    return ops;
}

}  // namespace cardfile
