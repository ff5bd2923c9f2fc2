// File transfer commands of the command handler: 0x20 start, 0x21 data,
// 0x22 end, 0x23 delete. The file is gathered in the transfer buffer and
// stored only when it is whole and its CRC-32 matches; until then the old
// file or image stays as it was.
#include "links/message_deal.h"

#include "app/alias_names.h"
#include "app/kelrampara.h"
#include "app/page_handover.h"
#include "app/program_update.h"
#include "app/utils.h"
#include "fpga/fpga_manage.h"
#include "fpga/rcv_recovery_file.h"
#include "links/file_deal.h"
#include "platform/platform.h"
#include "videochip/omenu.h"

#include <QDir>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <string>

using namespace ctrl;

namespace {

// 0x20 payload: tag[4], total length u32, kind u8, then the name.
constexpr size_t kTagSize = 4;
constexpr size_t kStartTotalOffset = 4;
constexpr size_t kStartKindOffset = 8;
constexpr size_t kStartHeaderSize = 9;
// 0x21 payload: offset u32, then the bytes.
constexpr size_t kOffsetSize = 4;
// 0x22 payload: the CRC-32 of the whole file.
constexpr size_t kCrcSize = 4;

std::string dirOf(const std::string& boxPath)
{
    return boxPath.substr(0, boxPath.rfind('/'));
}

// Writes an ordinary file whole (new file synced with its folder, renamed).
// Up to 5 MiB, seconds on a busy disk: only another writer of the same file
// waits for it, and no thread waits for its data to reach the disk.
bool storeFile(const std::string& boxPath, const u8* data, size_t len)
{
    platform::makeDirs(dirOf(boxPath));
    if (!KelRamPara::writeFileSynced(boxPath, data, len)) {
        KEL_DBG("\n[write_file_end] cannot write %s\n", boxPath.c_str());
        return false;
    }
    return true;
}

constexpr u8 kErased = 0xFF;

// True when the partition holds the image from offset 0 and reads erased
// after it: a flash that answered the erase and the write as done without
// doing them may hold an older, longer image that starts with this one.
bool partitionHolds(int fd, size_t partitionSize, const u8* data, size_t len)
{
    std::string back(partitionSize, '\0');
    if (platform::devPread(fd, &back[0], partitionSize, 0) != static_cast<ssize_t>(partitionSize))
        return false;
    return std::memcmp(back.data(), data, len) == 0 &&
           std::all_of(back.begin() + static_cast<std::ptrdiff_t>(len), back.end(),
                       [](char c) { return static_cast<u8>(c) == kErased; });
}

// Erases a flash partition whole and writes the image from offset 0, then
// reads the whole partition back.
bool storeImage(const char* device, size_t partitionSize, u8* data, size_t len)
{
    const int fd = platform::devOpen(device, O_RDWR | O_SYNC);
    if (fd < 0) {
        KEL_DBG("\n[write_file_end] cannot open %s\n", device);
        return false;
    }
    bool ok = Utils::non_region_erase(fd, 0, static_cast<int>(partitionSize), 0) == 0 &&
              Utils::non_region_write(fd, data, static_cast<int>(len), 0) == 0;
    if (ok) {
        ok = partitionHolds(fd, partitionSize, data, len);
        if (!ok)
            KEL_DBG("\n[write_file_end] %s reads back wrong\n", device);
    }
    platform::devClose(fd);
    return ok;
}

// The application update. The box must never be left without a program:
// the new program is written whole beside the old one and read back, and
// only then renamed over it; the reboot follows.
bool installProgram(const u8* data, size_t len)
{
    if (!program_update::writeNewProgram(data, len))
        return false;
    Utils::system_mutex(QStringLiteral("chmod 755 %1").arg(program_update::kNewProgramFile), nullptr);
    Utils::system_mutex(QStringLiteral("sync"), nullptr);
    const QString mv = QStringLiteral("mv %1 %2").arg(program_update::kNewProgramFile, program_update::kProgramFile);
    if (Utils::system_mutex(mv, nullptr) != 0) {
        KEL_DBG("\n[write_file_end] rename of the new program failed, the old one stays\n");
        return false;
    }
    program_update::writeStartRecord();
    Utils::system_mutex(QStringLiteral("sync"), nullptr);
    if (!g_app_reset_flag.load())
        requestDeferredReboot();  // the reply is out long before the box restarts
    return true;
}

bool storeSmartMap(const KEL_FILE_DEAL_PARA& t, const u8* data)
{
    if (!storeFile(std::string(rcvRecovery::kSmartDir) + "/" + t.name, data, t.total))
        return false;
    if (fpga_manage::p_fpga_manage)
        pagehandover::smartMappingFilesChanged(false);
    return true;
}

bool storeRecovery(const KEL_FILE_DEAL_PARA& t, const u8* data)
{
    if (!storeFile(std::string(rcvRecovery::kRecoveryDir) + "/" + t.name, data, t.total))
        return false;
    if (fpga_manage::p_fpga_manage)
        pagehandover::recoveryFilesChanged(false);
    return true;
}

// Why the box would refuse to read a whole file of a tag whose content it
// reads (the overlay and alias files), or an empty string: such a file is
// not stored, so the PC hears that it was dropped.
std::string contentFault(const KEL_FILE_DEAL_PARA& t, const u8* data)
{
    const file_deal::TagInfo info = file_deal::tagInfo(t.tag);
    const bool overlay = info.target == file_deal::Target::Overlay || info.target == file_deal::Target::ModeOverlay;
    if (!overlay && info.target != file_deal::Target::Alias)
        return std::string();
    const std::string text(reinterpret_cast<const char*>(data), t.total);
    return overlay ? omenu::fault(text) : aliasNames::fault(text);
}

// Stores a whole, checked file where its tag says.
bool store(const KEL_FILE_DEAL_PARA& t, u8* data)
{
    const file_deal::TagInfo info = file_deal::tagInfo(t.tag);
    switch (info.target) {
    case file_deal::Target::Overlay: return storeFile(KelRamPara::kOverlayFile, data, t.total);
    case file_deal::Target::ModeOverlay: return storeFile(KelRamPara::modeOverlayPath(info.mode - 1), data, t.total);
    case file_deal::Target::Alias:
        if (!storeFile(file_deal::kAliasFile, data, t.total))
            return false;
        KelRamPara::test_signal(SYNC_FILE_RECEIVED);
        return true;
    case file_deal::Target::Logo: return storeImage(file_deal::kLogoPartition, file_deal::kLogoSize, data, t.total);
    case file_deal::Target::Kernel:
        return storeImage(file_deal::kKernelPartition, file_deal::kKernelSize, data, t.total);
    case file_deal::Target::Program: return installProgram(data, t.total);
    case file_deal::Target::SmartMap: return storeSmartMap(t, data);
    case file_deal::Target::Recovery: return storeRecovery(t, data);
    default: return false;
    }
}

// The name after the start frame's header: NUL bytes at its end are ignored.
std::string startName(const CTRL_FRAME& req)
{
    size_t n = req.length;
    while (n > kStartHeaderSize && req.payload[n - 1] == 0)
        --n;
    return std::string(reinterpret_cast<const char*>(req.payload.data()) + kStartHeaderSize, n - kStartHeaderSize);
}

// What removing the files of a directory did.
struct Removal {
    int removed = 0;
    int left = 0;  // files still there (the disk refused their removal)
};

// Removes every plain file of a directory. A "<name>.new" is a file being
// stored there by another link (or one a power cut tore, which the next
// start removes): it is left, and its file lands whole after the removal.
Removal removeFilesOf(const char* dir)
{
    Removal r;
    const QString host = platform::qpath(dir);
    if (host.isEmpty())
        return r;
    for (const QString& name : QDir(host).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (platform::isStaleWriteName(name.toStdString()))
            continue;
        if (platform::removeFile(std::string(dir) + "/" + name.toStdString()))
            ++r.removed;
        else
            ++r.left;
    }
    if (r.left)
        KEL_DBG("\n[delete_file_name] %d files of %s could not be removed\n", r.left, dir);
    return r;
}

}  // namespace

u8 message_deal::writeFileStart(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length < kStartHeaderSize)
        return ST_BAD_LENGTH;
    const u8* p = req.payload.data();
    char tag[kTagSize];
    std::memcpy(tag, p, kTagSize);
    const u32 total = getU32(p + kStartTotalOffset);
    const std::string name = startName(req);
    const file_deal::TagInfo info = file_deal::tagInfo(tag);
    const bool named = info.target == file_deal::Target::SmartMap || info.target == file_deal::Target::Recovery;
    if (info.target == file_deal::Target::None) {
        KEL_DBG("\n[writeFileStart] tag %.4s refused\n", tag);
        return ST_REFUSED;
    }
    if ((named || !name.empty()) && !file_deal::nameValid(name)) {
        KEL_DBG("\n[writeFileStart] name refused\n");
        return ST_REFUSED;
    }
    if (total == 0 || total > info.limit) {
        KEL_DBG("\n[writeFileStart] %.4s of %u bytes refused (at most %zu)\n", tag, total, info.limit);
        return ST_REFUSED;
    }
    // One transfer at a time over all links and the USB upgrade; the same
    // link starting again begins a new transfer.
    if (!file_deal::acquire(link_))
        return ST_BUSY;
    KEL_FILE_DEAL_PARA t;
    std::memcpy(t.tag, tag, kTagSize);
    t.kind = p[kStartKindOffset];
    t.total = total;
    t.link = link_;
    t.stamp = G_timeTicks.load();
    t.name = name;
    if (!file_deal::begin(t))
        return ST_BUSY;  // taken over between the two steps
    KEL_DBG("\n[writeFileStart] %.4s, %u bytes, link %u\n", tag, total, link_);
    file_deal::announceStart();
    return ST_DONE;
}

u8 message_deal::writeFileData(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length <= kOffsetSize || req.length - kOffsetSize > file_deal::kMaxPiece)
        return ST_BAD_LENGTH;
    const u32 offset = getU32(req.payload.data());
    const size_t n = req.length - kOffsetSize;
    return file_deal::putPiece(link_, offset, req.payload.data() + kOffsetSize, n) ? ST_DONE : ST_REFUSED;
}

u8 message_deal::write_file_end(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length != kCrcSize)
        return ST_BAD_LENGTH;
    if (!file_deal::beginStore(link_))
        return ST_REFUSED;  // no transfer runs on this link
    const u32 crc = getU32(req.payload.data());
    const KEL_FILE_DEAL_PARA t = file_deal::current();
    u8* buf = file_deal::buffer(link_);
    u8 status = ST_DONE;
    if (t.received != t.total) {
        KEL_DBG("\n[write_file_end] %.4s incomplete: %u of %u bytes\n", t.tag, t.received, t.total);
        status = ST_REFUSED;
    } else if (file_deal::receivedCrc(link_) != crc) {
        KEL_DBG("\n[write_file_end] %.4s CRC mismatch, nothing stored\n", t.tag);
        status = ST_REFUSED;
    } else if (const std::string fault = contentFault(t, buf); !fault.empty()) {
        KEL_DBG("\n[write_file_end] %.4s refused, nothing stored: %s\n", t.tag, fault.c_str());
        status = ST_REFUSED;
    } else if (!store(t, buf)) {
        status = ST_BUSY;
    }
    file_deal::release(link_);
    file_deal::announceEnd();
    return status;
}

u8 message_deal::delete_file_name(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length != 0)
        return ST_BAD_LENGTH;
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    const Removal smart = removeFilesOf(rcvRecovery::kSmartDir);
    if (smart.removed > 0 && fpga && fpga->rcv_recovery) {
        fpga->rcv_recovery->clearScanFiles();
        pagehandover::smartMappingFilesChanged(true);
    }
    const Removal recovery = removeFilesOf(rcvRecovery::kRecoveryDir);
    if (recovery.removed > 0 && fpga && fpga->rcv_recovery) {
        fpga->rcv_recovery->clearRecoveryFiles();
        pagehandover::recoveryFilesChanged(true);
    }
    // Done only when both folders are empty: a file the disk kept (read-only)
    // is still there for the PC to find.
    return smart.left || recovery.left ? ST_BUSY : ST_DONE;
}
