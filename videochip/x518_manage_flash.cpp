// The chip's serial flash and the OSD fonts in it. The program never drives
// the flash itself: every erase, program, read and copy goes through the
// chip's serial-flash controller (bank 4) after a fixed pin set-up (bank 5).
//
// Each operation holds x518_manage::flash_mutex from its first register
// write to its last, so operations from the manager thread, the link
// threads and the USB-upgrade worker never interleave inside the
// controller. Every status wait is bounded; a wait that runs out ends the
// operation with kFlashTimeout. A status read that fails is no status: it
// ends the operation with kFlashUnreachable, never passes for "not busy".
// A flash that refuses erases and programs still lets the controller finish
// them, so an erase is done only once its units read blank and a write only
// once its bytes read back.
#include "videochip/x518_manage.h"

#include "app/kelrampara.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <thread>

QMutex x518_manage::flash_mutex;
x518_manage::FlashWaits x518_manage::flash_waits = boxstate::startValue(flash_waits, FlashWaits{10000, 4000, 10000});

const i32 x518_manage::osd_char_txt[15] = {
    1920,     1080,      // not used by the loader
    0xFF0000,            // background colour
    0,                   // background transparency
    0,        0,         // text origin x, y
    0xC0C0FF,            // character colour
    0x23,     0x3000,    // 32-dot English: flash address, size
    0x10023,  0x290000,  // 32-dot Chinese
    0x410023, 0xC000,    // 64-dot English
    0x450023, 0xA40000,  // 64-dot Chinese
};

const i32 x518_manage::osd_bmp_txt[4] = {0xED9800, 1920, 1080, 0x10D3C00};

namespace {

using x518::reg;

// A byte range of the flash with a buffer for it: inside the flash, and a
// buffer whenever there are bytes to move.
bool flashRangeOk(int address, int length, const char* buffer)
{
    return address >= 0 && length >= 0 && (length == 0 || buffer) &&
           uint64_t(address) + uint64_t(length) <= x518_manage::kFlashSize;
}

// ---- pin set-up (bank 5)
constexpr u32 kGio42 = reg(5, 0x42, 3), kGio3C = reg(5, 0x3C, 2), kGio3E = reg(5, 0x3E, 2), kGio45 = reg(5, 0x45, 2);
constexpr u32 kGio42Value = 0x55, kGio3CValue = 0x300, kGio3EValue = 0x300, kGio45Value = 0x3FF;

// ---- serial-flash controller (bank 4)
constexpr u32 kSflMode = reg(4, 0x47, 1);
constexpr u32 kSflCommand = reg(4, 0x48, 1);
constexpr u32 kSflProgramOp = reg(4, 0x49, 1);
constexpr u32 kSflReadOp = reg(4, 0x4A, 1);
constexpr u32 kSflEraseOp = reg(4, 0x4B, 1);
constexpr u32 kSflWrenOp = reg(4, 0x4C, 1);
constexpr u32 kSflRdsrOp = reg(4, 0x4D, 1);
constexpr u32 kSflAddress = reg(4, 0x4E, 4);
constexpr u32 kSflData = reg(4, 0x52, 1);
constexpr u32 kSflDataCtl = reg(4, 0x53, 1);  // B4_SFLDTCTL
constexpr u32 kSflStat = reg(4, 0x54, 1);     // B4_SFLSTAT
constexpr u32 kSflRdsr = reg(4, 0x55, 1);     // B4_SFLRDSR
constexpr u32 kSflDmaLength = reg(4, 0x56, 4);
constexpr u32 kSflDmaKind = reg(4, 0x5A, 1);
constexpr u32 kSflSelect = reg(4, 0x5F, 1);
constexpr u32 kSflClearBeforeAccess = reg(4, 0x60, 1);  // cleared before every read and write
constexpr u32 kOsdCommand = reg(4, 0x08, 1);
constexpr u32 kDmaDestMemory = reg(4, 0x11, 4);
constexpr u32 kDmaDestString = reg(4, 0x27, 2);
constexpr u32 kDmaDestPalette = reg(9, 0x1F, 1);

// Controller values.
constexpr u32 kModeReset = 0x80, kModeReadWrite = 0x31, kModeErase = 0x01, kModeDmaString = 0x37, kModeDma = 0x33;
constexpr u32 kCmdIdle = 0, kCmdDma = 2, kCmdErase = 4, kCmdSingle = 5;
constexpr u32 kOpProgram = 0x12, kOpRead = 0x0C, kOpWren = 0x06, kOpRdsr = 0x05, kOpWrdi = 0x04, kOpDma = 0xC7;
constexpr u32 kOpErase4K = 0x20, kOpErase32K = 0x52, kOpErase64K = 0xD8;
constexpr u32 kSelectFlash = 1, kSelectDma = 2;
constexpr u32 kReadStart = 1;
constexpr u32 kDmaLengthFlag = 0x80000000u;
constexpr u32 kDmaKindMask = 0x0F;
constexpr int kDmaToMemory = 0, kDmaToString = 1, kDmaToPalette = 4;

// Status bits.
constexpr u32 kCtlReadBusy = 0x80, kCtlFifoEmpty = 0x20;
constexpr u32 kStatDma = 0x01, kStatWrite = 0x02, kStatErase = 0x08;
constexpr u32 kRdsrWip = 0x01, kRdsrWel = 0x02;

constexpr u32 kPageSize = 256;
constexpr int kWriteProgressMask = 0x1FFF;  // a progress line every 8192 bytes
constexpr int kReadProgressMask = 0x3FF;    // and every 1024 bytes read
// Status reads after which the erase waits say so (and from then on pause
// between reads instead of keeping the SPI bus busy).
constexpr int kEraseBusyNote = 5000, kEraseStatusNote = 1000, kEraseBusyPrintEvery = 40;
constexpr int kSlowPollUs = 1000;
// Bytes read back at a time (the buffer lives on the stack), and data-register
// reads sent as one group.
constexpr u32 kCheckChunk = 4096;
constexpr size_t kReadGroup = x518_drv::kMessageTransfers;
constexpr u8 kErasedByte = 0xFF;

// Trace group 6 of the chip traces (the serial flash); off in the delivered defaults.
constexpr bool kTraceFlash = false;
#define SFL_TRACE(...)                \
    do {                              \
        if (kTraceFlash)              \
            std::printf(__VA_ARGS__); \
    } while (0)

// Font headers in the flash and the bits they own.
struct FontSlot {
    u32 header;  // flash address of the 35-byte header
    u32 flag;    // bit of x518_manage::font_flags
    u8 regBits;  // bits of register 43
    const char* name;
};
constexpr FontSlot kFontSlots[] = {
    {0x010000, x518_manage::kFontChinese32, 0x02, "32-dot Chinese"},
    {0x000000, x518_manage::kFontEnglish32, 0x01, "32-dot English"},
    {0x450000, x518_manage::kFontChinese64, 0x28, "64-dot Chinese"},
    {0x410000, x518_manage::kFontEnglish64, 0x14, "64-dot English"},
};
constexpr char kFontPresent = 'P';
constexpr int kFontWidthByte = 17, kFontHeightByte = 18;

// The 32-dot glyphs of the viewer.
constexpr int kGlyph32Rows = 32, kGlyph32RowBytes = 4, kGlyph32Bytes = kGlyph32Rows * kGlyph32RowBytes;
constexpr int kAsciiFirst = 0x20, kAsciiLast = 0x7F, kHanFirst = 0x4E00, kHanLast = 0x9FFF;

using Clock = std::chrono::steady_clock;

u32 eraseUnit(char kind)
{
    return kind == x518_manage::kErase4K ? 4096 : kind == x518_manage::kErase32K ? 32768 : 65536;
}
u32 eraseOpcode(char kind)
{
    return kind == x518_manage::kErase4K ? kOpErase4K : kind == x518_manage::kErase32K ? kOpErase32K : kOpErase64K;
}

}  // namespace

// ------------------------------------------------------------------ helpers

bool x518_manage::gioSetting(int fd, bool trace)
{
    const x518_drv::RegOp pins[] = {
        x518_drv::writeOp(kGio42, kGio42Value),
        x518_drv::writeOp(kGio3C, kGio3CValue),
        x518_drv::writeOp(kGio3E, kGio3EValue),
        x518_drv::writeOp(kGio45, kGio45Value),
    };
    const bool sent = drv->access_X518(fd, pins, std::size(pins));
    if (trace && sent)
        SFL_TRACE("GIO setting OK.\n");
    return sent;
}

int x518_manage::flashFailure(u32 failedBefore, int otherwise) const
{
    return drv->failedMessages() != failedBefore ? kFlashUnreachable : otherwise;
}

// The controller set up for a read or a page program at `address`, one list
// for both. It goes idle before its reset, as for an erase and a DMA copy,
// so that no command runs across the reset; then every opcode and the flash
// are chosen while it is idle, and the address comes last: writing it is what
// the controller acts on (it programs what the write FIFO holds where the
// address pointed before, and a read starts from it), so what it acts with
// must be in place by then. Once is enough: the FIFO is empty at the start of
// an access, so a second write of the same address would do nothing.
bool x518_manage::flashAccessSetup(int fd, u32 address)
{
    // One register write a line, in the order they go out.
    // clang-format off
    const x518_drv::RegOp setup[] = {
        x518_drv::writeOp(kSflCommand, kCmdIdle),
        x518_drv::writeOp(kSflMode, kModeReset),
        x518_drv::writeOp(kSflMode, kModeReadWrite),
        x518_drv::writeOp(kSflReadOp, kOpRead),
        x518_drv::writeOp(kSflWrenOp, kOpWren),
        x518_drv::writeOp(kSflRdsrOp, kOpRdsr),
        x518_drv::writeOp(kSflProgramOp, kOpProgram),
        x518_drv::writeOp(kSflSelect, kSelectFlash),
        x518_drv::writeOp(kSflCommand, kCmdIdle),
        x518_drv::writeOp(kSflClearBeforeAccess, 0),
        x518_drv::writeOp(kSflAddress, address),
    };
    // clang-format on
    return gioSetting(fd, true) && drv->access_X518(fd, setup, std::size(setup));
}

// Clears a write-enable latch left set after a program or an erase with
// the write-disable command. `timed`: `limit` is a deadline in ms, else a
// number of status reads.
bool x518_manage::clearWriteEnable(int fd, bool timed, int limit)
{
    SFL_TRACE("B4_SFLRDSR WEL is 1, and have to clear WEL bit.\n");
    drv->write_X518(fd, kSflEraseOp, kOpWrdi, 0);
    drv->write_X518(fd, kSflCommand, kCmdSingle, 0);
    SFL_TRACE("Serial Flash WRDI command process start.\n");
    bool ok;
    if (!timed) {
        ok = drv->wait_X518(fd, kSflRdsr, kRdsrWel, 0, limit);
    } else {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limit);
        int reads = 0;
        for (;;) {
            ++reads;
            u32 rdsr = 0;
            if (!drv->readChecked(fd, kSflRdsr, 0, rdsr)) {
                ok = false;
                break;
            }
            if ((rdsr & kRdsrWel) == 0) {
                ok = true;
                break;
            }
            if (Clock::now() > deadline) {
                ok = false;
                break;
            }
            if (reads >= kEraseStatusNote)
                std::this_thread::sleep_for(std::chrono::microseconds(kSlowPollUs));
        }
        if (ok && reads < kEraseStatusNote)
            SFL_TRACE("B4_SFLRDSR WRDI finish\n");
    }
    if (!ok)
        SFL_TRACE("B4_SFLRDSR WRDI Timeout Error!!. Please check the circumestance of Serial Flash.\n");
    drv->write_X518(fd, kSflCommand, kCmdIdle, 0);
    return ok;
}

// After a 256-byte page: the write FIFO empties, the controller and the
// flash finish programming, and a latch left set is cleared.
bool x518_manage::flashPageEnd(int fd)
{
    const int reads = flash_waits.pageReads;
    if (!drv->wait_X518(fd, kSflDataCtl, kCtlFifoEmpty, kCtlFifoEmpty, reads)) {
        SFL_TRACE("B4_SFLDTCTL WEMPTY Timeout Error!!. Please check the circumestance of Serial Flash.\n");
        return false;
    }
    if (!drv->wait_X518(fd, kSflStat, kStatWrite, 0, reads)) {
        SFL_TRACE("B4_SFLSTAT WBUSY Timeout Error!!. Please check the circumestance of Serial Flash.\n");
        return false;
    }
    u32 rdsr = 0;
    if (!drv->wait_X518(fd, kSflRdsr, kRdsrWip, 0, reads, 0, &rdsr)) {
        SFL_TRACE("B4_SFLRDSR WIP Timeout Error!!. Please check the circumestance of Serial Flash.\n");
        return false;
    }
    return (rdsr & kRdsrWel) == 0 || clearWriteEnable(fd, false, reads);
}

// One erase unit at `address`. The opcodes go in again before every unit:
// the write-disable recovery of the unit before left its own opcode in the
// erase-opcode register.
bool x518_manage::flashEraseUnit(int fd, u32 address, u8 opcode)
{
    drv->write_X518(fd, kSflEraseOp, opcode, 0);
    drv->write_X518(fd, kSflWrenOp, kOpWren, 0);
    drv->write_X518(fd, kSflRdsrOp, kOpRdsr, 0);
    drv->write_X518(fd, kSflAddress, address, 0);
    drv->write_X518(fd, kSflCommand, kCmdErase, 0);

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(flash_waits.eraseMs);
    // A read that fails ends the wait unfinished: it tells nothing of the bit.
    auto poll = [&](u32 spec, u32 mask, int note, bool printBusy, u32& last, int& reads) {
        for (reads = 1;; ++reads) {
            if (!drv->readChecked(fd, spec, 0, last))
                return false;
            if ((last & mask) == 0)
                return true;
            if (printBusy && reads % kEraseBusyPrintEvery == 0)
                SFL_TRACE("B4_SFLSTAT = %02x.Wait Please.\n", last);
            if (Clock::now() > deadline)
                return false;
            if (reads >= note)
                std::this_thread::sleep_for(std::chrono::microseconds(kSlowPollUs));
        }
    };
    u32 last = 0;
    int reads = 0;
    const bool erased = poll(kSflStat, kStatErase, kEraseBusyNote, true, last, reads);
    if (erased && reads < kEraseBusyNote)
        SFL_TRACE("B4_SFLSTAT EBUSY finish\n");
    else
        SFL_TRACE("B4_SFLSTAT EBUSY Timeout Error!!. Please check the circumestance of Serial Flash.\n");
    bool ok = erased && poll(kSflRdsr, kRdsrWip, kEraseStatusNote, false, last, reads);
    if (ok && reads < kEraseStatusNote)
        SFL_TRACE("B4_SFLRDSR WIP finish\n");
    else if (erased)
        SFL_TRACE("B4_SFLRDSR WIP Timeout Error!!. Please check the circumestance of Serial Flash.\n");
    if (ok && (last & kRdsrWel)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        ok = clearWriteEnable(fd, true, left > 0 ? static_cast<int>(left) : 0);
    }
    drv->write_X518(fd, kSflCommand, kCmdIdle, 0);
    return ok;
}

int x518_manage::readFlashLocked(int fd, u32 address, u32 length, char* buffer)
{
    const u32 failedBefore = drv->failedMessages();
    const bool sent = flashAccessSetup(fd, address) && drv->write_X518(fd, kSflDataCtl, kReadStart, 0);
    const bool started = sent && drv->wait_X518(fd, kSflDataCtl, kCtlReadBusy, 0, flash_waits.pageReads);
    drv->write_X518(fd, kSflDataCtl, 0, 0);
    if (!started) {
        KEL_DBG("\n[read_flash] the read at %#x did not start\n", address);
        return flashFailure(failedBefore, kFlashTimeout);
    }
    // The data register in groups: the same transfers, fewer messages.
    x518_drv::RegOp ops[kReadGroup];
    u32 values[kReadGroup];
    for (u32 i = 0; i < length;) {
        const size_t n = std::min<size_t>(kReadGroup, length - i);
        for (size_t k = 0; k < n; ++k)
            ops[k] = x518_drv::readOp(kSflData, &values[k]);
        if (!drv->access_X518(fd, ops, n)) {
            KEL_DBG("\n[read_flash] the chip did not answer at %#x\n", address + i);
            return kFlashUnreachable;
        }
        for (size_t k = 0; k < n; ++k, ++i) {
            buffer[i] = static_cast<char>(values[k]);
            if ((i & kReadProgressMask) == kReadProgressMask)
                SFL_TRACE("#### %8u byte of %8u byte read finish. ###\n", i + 1, length);
        }
    }
    SFL_TRACE("#### %8u byte of %8u byte read finish. ###\n", length, length);
    drv->write_X518(fd, kSflAddress, address, 0);
    return kFlashOk;
}

int x518_manage::flashHoldsLocked(int fd, u32 address, u32 length, const char* expected)
{
    char got[kCheckChunk];
    for (u32 at = 0; at < length; at += kCheckChunk) {
        const u32 n = std::min(kCheckChunk, length - at);
        const int read = readFlashLocked(fd, address + at, n, got);
        if (read != kFlashOk)
            return read;
        for (u32 i = 0; i < n; ++i) {
            const char want = expected ? expected[at + i] : static_cast<char>(kErasedByte);
            if (got[i] != want) {
                KEL_DBG("\n[flash] %#x reads %#x, not %#x\n", address + at + i, u8(got[i]), u8(want));
                return kFlashNotHeld;
            }
        }
    }
    return kFlashOk;
}

int x518_manage::dmaLocked(int fd, u32 flashAddress, u32 destination, int kind, u32 length)
{
    const u32 failedBefore = drv->failedMessages();
    bool sent = drv->write_X518(fd, kGio42, kGio42Value, 0);
    sent &= drv->write_X518(fd, kGio45, kGio45Value, 0);
    sent &= drv->write_X518(fd, kGio3C, kGio3CValue, 0);
    sent &= drv->write_X518(fd, kGio3E, kGio3EValue, 0);
    sent &= drv->write_X518(fd, kOsdCommand, 0, 0);
    sent &= drv->write_X518(fd, kSflCommand, kCmdIdle, 0);
    sent &= drv->write_X518(fd, kSflMode, kModeReset, 0);
    sent &= drv->write_X518(fd, kSflMode, kind == kDmaToString ? kModeDmaString : kModeDma, 0);
    sent &= drv->write_X518(fd, kSflSelect, kSelectDma, 0);
    sent &= drv->write_X518(fd, kSflProgramOp, kOpProgram, 0);
    sent &= drv->write_X518(fd, kSflReadOp, kOpRead, 0);
    sent &= drv->write_X518(fd, kSflEraseOp, kOpDma, 0);
    sent &= drv->write_X518(fd, kSflWrenOp, kOpWren, 0);
    sent &= drv->write_X518(fd, kSflRdsrOp, kOpRdsr, 0);
    sent &= drv->write_X518(fd, kSflAddress, flashAddress, 0);
    sent &= drv->write_X518(fd, kSflDmaLength, length | kDmaLengthFlag, 0);
    sent &= drv->write_X518(fd, kSflDmaKind, static_cast<u32>(kind) & kDmaKindMask, 0);
    if (kind == kDmaToMemory)
        sent &= drv->write_X518(fd, kDmaDestMemory, destination, 0);
    else if (kind == kDmaToString)
        sent &= drv->write_X518(fd, kDmaDestString, destination & 0xFFFF, 0);
    else if (kind == kDmaToPalette)
        sent &= drv->write_X518(fd, kDmaDestPalette, destination & 0xFF, 0);
    sent &= drv->write_X518(fd, kSflCommand, kCmdDma, 0);

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(flash_waits.dmaMs);
    bool done = false;
    for (int reads = 1; sent; ++reads) {
        u32 stat = 0;
        if (!drv->readChecked(fd, kSflStat, 0, stat))
            break;
        if ((stat & kStatDma) == 0) {
            done = true;
            break;
        }
        if (Clock::now() > deadline)
            break;
        if (reads >= kEraseStatusNote)
            std::this_thread::sleep_for(std::chrono::microseconds(kSlowPollUs));
    }
    drv->write_X518(fd, kSflCommand, kCmdIdle, 0);
    if (!done) {
        KEL_DBG("\n[osd_write_dma_sfl] copy of %#x bytes from %#x did not finish\n", length, flashAddress);
        return flashFailure(failedBefore, kFlashTimeout);
    }
    return kFlashOk;
}

// ------------------------------------------------------------------ the four operations

int x518_manage::erase_flash(int fd, int sector, int count, char kind)
{
    const u32 unit = eraseUnit(kind);
    const uint64_t start = uint64_t(static_cast<u32>(sector)) * kFlashSector;
    if (sector < 0 || count < 0 || start % unit != 0 || start + uint64_t(count) * unit > kFlashSize) {
        KEL_DBG("\n[erase_flash] sector %d count %d kind %d refused\n", sector, count, kind);
        return kFlashBadArgs;
    }
    QMutexLocker lock(&flash_mutex);
    const u32 failedBefore = drv->failedMessages();
    const bool sent =
        gioSetting(fd, true) &&
        drv->access_X518(fd, {x518_drv::writeOp(kSflCommand, kCmdIdle), x518_drv::writeOp(kSflMode, kModeReset),
                              x518_drv::writeOp(kSflMode, kModeErase),
                              x518_drv::writeOp(kSflEraseOp, eraseOpcode(kind)), x518_drv::writeOp(kSflWrenOp, kOpWren),
                              x518_drv::writeOp(kSflRdsrOp, kOpRdsr), x518_drv::writeOp(kSflSelect, kSelectFlash)});
    if (!sent) {
        KEL_DBG("\n[erase_flash] the chip did not answer\n");
        return kFlashUnreachable;
    }
    for (int k = 0; k < count; ++k) {
        const u32 address = static_cast<u32>(start) + static_cast<u32>(k) * unit;
        if (!flashEraseUnit(fd, address, static_cast<u8>(eraseOpcode(kind)))) {
            KEL_DBG("\n[erase_flash] erase at %#x did not finish\n", address);
            return flashFailure(failedBefore, kFlashTimeout);
        }
    }
    const int blank = flashHoldsLocked(fd, static_cast<u32>(start), static_cast<u32>(count) * unit, nullptr);
    if (blank != kFlashOk)
        KEL_DBG("\n[erase_flash] %d units at %#x do not read blank\n", count, static_cast<u32>(start));
    return blank;
}

int x518_manage::write_flash(int fd, int address, int length, char* data)
{
    if (!flashRangeOk(address, length, data)) {
        KEL_DBG("\n[write_flash] %d bytes at %#x refused\n", length, address);
        return kFlashBadArgs;
    }
    QMutexLocker lock(&flash_mutex);
    const u32 failedBefore = drv->failedMessages();
    const u32 start = static_cast<u32>(address);
    if (!flashAccessSetup(fd, start)) {
        KEL_DBG("\n[write_flash] the chip did not answer\n");
        return kFlashUnreachable;
    }
    for (int i = 0; i < length; ++i) {
        drv->write_X518(fd, kSflData, static_cast<u8>(data[i]), 0);
        const u32 next = start + static_cast<u32>(i) + 1;
        // The byte just sent closed a page: the FIFO is programmed there.
        if (next % kPageSize == 0) {
            drv->write_X518(fd, kSflAddress, next, 0);
            if (!flashPageEnd(fd)) {
                KEL_DBG("\n[write_flash] page before %#x did not finish\n", next);
                return flashFailure(failedBefore, kFlashTimeout);
            }
        }
        if ((i & kWriteProgressMask) == kWriteProgressMask)
            SFL_TRACE("#### %8d byte of %8d byte write finish. ###\n", i + 1, length);
    }
    const u32 end = start + static_cast<u32>(length);
    if (end % kPageSize != 0) {
        drv->write_X518(fd, kSflAddress, end, 0);
        if (!flashPageEnd(fd)) {
            KEL_DBG("\n[write_flash] last page before %#x did not finish\n", end);
            return flashFailure(failedBefore, kFlashTimeout);
        }
    }
    const int held = flashHoldsLocked(fd, start, static_cast<u32>(length), data);
    if (held != kFlashOk)
        KEL_DBG("\n[write_flash] %d bytes at %#x do not read back\n", length, start);
    return held;
}

int x518_manage::read_flash(int fd, int address, int length, char* buffer)
{
    if (!flashRangeOk(address, length, buffer)) {
        KEL_DBG("\n[read_flash] %d bytes at %#x refused\n", length, address);
        return kFlashBadArgs;
    }
    QMutexLocker lock(&flash_mutex);
    return readFlashLocked(fd, static_cast<u32>(address), static_cast<u32>(length), buffer);
}

int x518_manage::osd_write_dma_sfl(int fd, int flashAddress, int destination, int kind, int length)
{
    QMutexLocker lock(&flash_mutex);
    return dmaLocked(fd, static_cast<u32>(flashAddress), static_cast<u32>(destination), kind, static_cast<u32>(length));
}

// ------------------------------------------------------------------ fonts

bool x518_manage::read_x518_font(int fd)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    u32 flags = 0;
    bool allRead = true;
    QMutexLocker lock(&flash_mutex);
    u8 reg43 = store ? store->reg_image.font_flags : 0;
    for (const FontSlot& f : kFontSlots) {
        char head[kFontHeaderSize] = {};
        // A header that cannot be read counts as absent.
        const bool read = readFlashLocked(fd, f.header, kFontHeaderSize, head) == kFlashOk;
        allRead &= read;
        const bool present = read && head[0] == kFontPresent;
        if (present) {
            flags |= f.flag;
            reg43 = static_cast<u8>(reg43 | f.regBits);
        } else {
            reg43 = static_cast<u8>(reg43 & ~f.regBits);
        }
        KEL_DBG("\n[read_x518_font] %s at %#x: type %#x width %u height %u\n", f.name, f.header, u8(head[0]),
                u8(head[kFontWidthByte]), u8(head[kFontHeightByte]));
    }
    font_flags = flags;
    if (store)
        store->reg_image.font_flags = reg43;
    noteFontRedo(kRedoFontHeads, allRead);
    return allRead;
}

void x518_manage::update_font(int fd)
{
    load_fonts(fd);
}

int x518_manage::load_fonts(int fd)
{
    QMutexLocker lock(&flash_mutex);
    // Each font directly behind the one before, whether present or not.
    osd.g_font_addr_32ASCII = sys.PS_FONT_ADDR;
    osd.g_font_addr_32CHN = osd.g_font_addr_32ASCII + osd.PS_CHAR_SIZE_32ASCII;
    osd.g_font_addr_64ASCII = osd.g_font_addr_32CHN + osd.PS_CHAR_SIZE_32CHN;
    osd.g_font_addr_64CHN = osd.g_font_addr_64ASCII + osd.PS_CHAR_SIZE_64ASCII;
    const struct {
        u32 flash, memory, size;
    } copies[] = {
        {osd.PS_CHAR_ADDR_32ASCII, osd.g_font_addr_32ASCII, osd.PS_CHAR_SIZE_32ASCII},
        {osd.PS_CHAR_ADDR_32CHN, osd.g_font_addr_32CHN, osd.PS_CHAR_SIZE_32CHN},
        {osd.PS_CHAR_ADDR_64ASCII, osd.g_font_addr_64ASCII, osd.PS_CHAR_SIZE_64ASCII},
        {osd.PS_CHAR_ADDR_64CHN, osd.g_font_addr_64CHN, osd.PS_CHAR_SIZE_64CHN},
    };
    for (const auto& c : copies)
        if (const int copied = dmaLocked(fd, c.flash, c.memory, kDmaToMemory, c.size); copied != kFlashOk) {
            noteFontRedo(kRedoFontLoad, false);
            return copied;
        }
    noteFontRedo(kRedoFontLoad, true);
    return kFlashOk;
}

void x518_manage::noteFontRedo(u8 what, bool done)
{
    if (done)
        font_redo &= static_cast<u8>(~what);
    else
        font_redo |= what;
}

void x518_manage::redoFonts()
{
    const u8 redo = font_redo.load();
    if (redo & kRedoFontHeads)
        read_x518_font(spi_fd);
    if (redo & kRedoFontLoad)
        load_fonts(spi_fd);
}

void x518_manage::load_char()
{
    osd.PS_BG_HACT = sys.PS_PANEL_HW;
    osd.PS_BG_VACT = sys.PS_PANEL_VW;
    const i32* t = osd_char_txt;
    osd.PS_BG_COLOR = static_cast<u32>(t[2]);
    osd.PS_BG_TRANS = static_cast<u32>(t[3]);
    osd.PS_CHAR_HST = static_cast<u32>(t[4]);
    osd.PS_CHAR_VST = static_cast<u32>(t[5]);
    osd.PS_CHAR_COLOR = static_cast<u32>(t[6]);
    osd.PS_CHAR_ADDR_32ASCII = static_cast<u32>(t[7]);
    osd.PS_CHAR_SIZE_32ASCII = static_cast<u32>(t[8]);
    osd.PS_CHAR_ADDR_32CHN = static_cast<u32>(t[9]);
    osd.PS_CHAR_SIZE_32CHN = static_cast<u32>(t[10]);
    osd.PS_CHAR_ADDR_64ASCII = static_cast<u32>(t[11]);
    osd.PS_CHAR_SIZE_64ASCII = static_cast<u32>(t[12]);
    osd.PS_CHAR_ADDR_64CHN = static_cast<u32>(t[13]);
    osd.PS_CHAR_SIZE_64CHN = static_cast<u32>(t[14]);
}

void x518_manage::load_bmp()
{
    osd.PS_BMP_ADDR = static_cast<u32>(osd_bmp_txt[0]);
    osd.PS_BMP_HACT = static_cast<u32>(osd_bmp_txt[1]);
    osd.PS_BMP_VACT = static_cast<u32>(osd_bmp_txt[2]);
    osd.PS_BMPCP_ADDR = static_cast<u32>(osd_bmp_txt[3]);
}

void x518_manage::kelApi_debug_printf_unicode(int code, int fd)
{
    u32 address;
    if (code >= kAsciiFirst && code <= kAsciiLast) {
        address = static_cast<u32>(osd_char_txt[7] + (code - kAsciiFirst) * kGlyph32Bytes);
    } else if (code >= kHanFirst && code <= kHanLast) {
        address = static_cast<u32>(osd_char_txt[9] + (code - kHanFirst) * kGlyph32Bytes);
    } else {
        KEL_DBG("\t unicode:%x OOR, rang:%x - %x, return;\n", code, kHanFirst, kHanLast);
        return;
    }
    char glyph[kGlyph32Bytes] = {};
    if (read_flash(fd, static_cast<int>(address), kGlyph32Bytes, glyph) != kFlashOk)
        return;
    for (int row = 0; row < kGlyph32Rows; ++row) {
        char line[kGlyph32RowBytes * 8 + 1] = {};
        for (int bit = 0; bit < kGlyph32RowBytes * 8; ++bit) {
            const u8 byte = static_cast<u8>(glyph[row * kGlyph32RowBytes + bit / 8]);
            line[bit] = (byte >> (bit % 8)) & 1 ? 'O' : ' ';
        }
        KEL_DBG("%s\n", line);
    }
}
