// Flash commands of the command handler (0x70 erase, 0x71 write, 0x72 read)
// and the font reload of register 14. Flash 4 is the video chip's serial
// flash; the chip manager carries the work out on the link's thread under
// its flash lock. Every other flash number is refused. Whatever kept an
// operation from its end (the chip not answering, the controller not
// finishing, the flash not holding what was erased or written) answers
// busy, and a read that failed sends no bytes.
#include "links/message_deal.h"

#include "videochip/x518_manage.h"

using namespace ctrl;

namespace {

// 0x70 payload: flash u8, mode u8, start sector u32, count u32.
constexpr size_t kEraseSize = 10;
constexpr size_t kEraseSectorOffset = 2;
constexpr size_t kEraseCountOffset = 6;
// 0x71 payload: flash u8, address u32, then the bytes.
constexpr size_t kWriteHeaderSize = 5;
// 0x72 payload: flash u8, address u32, count u16.
constexpr size_t kReadSize = 7;
constexpr size_t kAddressOffset = 1;
constexpr size_t kReadCountOffset = 5;

constexpr uint64_t kSectorBytes = 4096;

// Erase modes of the frame and the manager's erase kinds.
struct EraseMode {
    u8 mode;
    char kind;
    uint64_t unit;
};
constexpr EraseMode kEraseModes[] = {
    {1, x518_manage::kErase4K, 4096},
    {2, x518_manage::kErase32K, 32768},
    {4, x518_manage::kErase64K, 65536},
};

bool inFlash(uint64_t address, uint64_t length)
{
    return address + length <= x518_manage::kFlashSize;
}

// The chip manager when it can reach the chip; null otherwise.
x518_manage* chipManager()
{
    x518_manage* m = x518_manage::p_x518_manage;
    return m && m->spi_fd >= 0 ? m : nullptr;
}

}  // namespace

u8 message_deal::cmd_erase_flash(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length != kEraseSize)
        return ST_BAD_LENGTH;
    const u8* p = req.payload.data();
    const u32 sector = getU32(p + kEraseSectorOffset);
    const u32 count = getU32(p + kEraseCountOffset);
    if (p[0] != kChipFlash)
        return ST_REFUSED;
    const EraseMode* mode = nullptr;
    for (const EraseMode& m : kEraseModes)
        if (m.mode == p[1])
            mode = &m;
    // A start inside a unit would erase the bytes before it too.
    if (!mode || (sector * kSectorBytes) % mode->unit != 0 || !inFlash(sector * kSectorBytes, count * mode->unit))
        return ST_REFUSED;
    x518_manage* m = chipManager();
    if (!m)
        return ST_BUSY;
    if (count == 0)
        return ST_DONE;
    return m->erase_flash(m->spi_fd, static_cast<int>(sector), static_cast<int>(count), mode->kind) == 0
               ? static_cast<u8>(ST_DONE)
               : static_cast<u8>(ST_BUSY);
}

u8 message_deal::cmd_write_flash(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length < kWriteHeaderSize)
        return ST_BAD_LENGTH;
    const u8* p = req.payload.data();
    const u32 address = getU32(p + kAddressOffset);
    const size_t n = req.length - kWriteHeaderSize;
    if (p[0] != kChipFlash || !inFlash(address, n))
        return ST_REFUSED;
    x518_manage* m = chipManager();
    if (!m)
        return ST_BUSY;
    // The manager only reads the bytes it is handed.
    char* data = reinterpret_cast<char*>(const_cast<u8*>(p + kWriteHeaderSize));
    return m->write_flash(m->spi_fd, static_cast<int>(address), static_cast<int>(n), data) == 0
               ? static_cast<u8>(ST_DONE)
               : static_cast<u8>(ST_BUSY);
}

u8 message_deal::cmd_read_flash(const CTRL_FRAME& req, CTRL_FRAME& reply)
{
    if (req.length != kReadSize)
        return ST_BAD_LENGTH;
    const u8* p = req.payload.data();
    const u32 address = getU32(p + kAddressOffset);
    const u16 count = getU16(p + kReadCountOffset);
    if (p[0] != kChipFlash || count > kMaxFlashRead || !inFlash(address, count))
        return ST_REFUSED;
    x518_manage* m = chipManager();
    if (!m)
        return ST_BUSY;
    char data[kMaxFlashRead];
    if (m->read_flash(m->spi_fd, static_cast<int>(address), count, data) != 0)
        return ST_BUSY;
    reply.appendU32(address);
    reply.appendU16(count);
    reply.append(data, count);
    return ST_DONE;
}

u8 message_deal::reloadFonts()
{
    x518_manage* m = chipManager();
    if (!m)
        return ST_BUSY;
    // A header that could not be read is no answer either: the chip is down.
    const bool looked = m->read_x518_font(m->spi_fd);
    const bool loaded = m->load_fonts(m->spi_fd) == x518_manage::kFlashOk;
    return looked && loaded ? static_cast<u8>(ST_DONE) : static_cast<u8>(ST_BUSY);
}
