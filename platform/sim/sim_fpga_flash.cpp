#include "platform/sim/sim_fpga_flash.h"

#include "registers/fpga_regs.h"

#include <algorithm>
#include <cstring>

namespace platform::sim {

namespace fl = fpga::flash;

namespace {
// JEDEC identity of a 64 Mbit NOR flash.
constexpr uint8_t kId[3] = {0xEF, 0x40, 0x17};

uint32_t address24(const uint8_t* tx)
{
    return uint32_t(tx[1]) << 16 | uint32_t(tx[2]) << 8 | tx[3];
}

bool readCommand(uint8_t cmd)
{
    return cmd == fl::kCmdRead || cmd == fl::kCmdReadId;
}

}  // namespace

SimNorFlash::SimNorFlash(const std::string& backingBoxPath) : file_("simulated flash", fl::kSector, fl::kSize)
{
    if (!backingBoxPath.empty())
        file_.open(backingBoxPath, [this](uint32_t addr, const uint8_t* bytes) {
            std::memcpy(sector(addr, true), bytes, fl::kSector);
        });
}

void SimNorFlash::persist()
{
    if (!file_.dirty())
        return;
    std::map<uint32_t, const uint8_t*> sectors;
    for (const auto& [addr, bytes] : sectors_)
        sectors.emplace_hint(sectors.end(), addr, bytes.get());
    file_.write(sectors);
}

uint8_t* SimNorFlash::sector(uint32_t addr, bool create)
{
    const uint32_t base = addr / fl::kSector * fl::kSector;
    auto it = sectors_.find(base);
    if (it != sectors_.end())
        return it->second.get();
    if (!create)
        return nullptr;
    std::unique_ptr<uint8_t[]> s(new uint8_t[fl::kSector]);
    std::memset(s.get(), 0xFF, fl::kSector);
    uint8_t* p = s.get();
    sectors_[base] = std::move(s);
    return p;
}

uint8_t SimNorFlash::byteAt(uint32_t addr) const
{
    addr %= fl::kSize;
    auto it = sectors_.find(addr / fl::kSector * fl::kSector);
    return it == sectors_.end() ? 0xFF : it->second[addr % fl::kSector];
}

void SimNorFlash::erase(uint8_t cmd, uint32_t addr)
{
    const uint32_t size = cmd == fl::kCmdErase4K ? fl::kSector : cmd == fl::kCmdErase32K ? 0x8000 : 0x10000;
    const uint32_t base = addr % fl::kSize / size * size;
    appendToOpLog(erases_, std::make_pair(cmd, base));
    for (uint32_t a = base; a < base + size; a += fl::kSector)
        sectors_.erase(a);
    file_.changed();
    if (eraseHook_)
        eraseHook_();
}

void SimNorFlash::program(uint32_t addr, const uint8_t* data, size_t len)
{
    addr %= fl::kSize;
    const uint32_t page = addr / fl::kPage * fl::kPage;
    // Bytes past the page's end wrap to its start, as the chip does.
    for (size_t i = 0; i < len; ++i) {
        const uint32_t a = page + (addr - page + i) % fl::kPage;
        sector(a, true)[a % fl::kSector] &= data[i];
    }
    ++programs_;
    file_.changed();
}

bool SimNorFlash::transaction(const uint8_t* tx, uint8_t* rx, size_t len)
{
    if (len == 0)
        return true;
    const uint8_t cmd = tx[0];
    if (file_.due(readCommand(cmd)))
        persist();
    if (readsFail_ && cmd == fl::kCmdRead)
        return false;
    if (cmd == fl::kCmdReadStatus) {
        const uint8_t status = (busyReads_ > 0 ? fl::kStatusBusy : 0) | (writeEnabled_ ? fl::kStatusWriteEnabled : 0);
        for (size_t i = 1; i < len; ++i)
            rx[i] = status;
        if (busyReads_ > 0)
            --busyReads_;
        return true;
    }
    if (busyReads_ > 0) {
        ++refused_;
        return true;
    }
    switch (cmd) {
    case fl::kCmdWriteEnable: writeEnabled_ = true; break;
    case fl::kCmdWriteDisable: writeEnabled_ = false; break;
    case fl::kCmdReadId:
        for (size_t i = 1; i < len && i <= sizeof kId; ++i)
            rx[i] = kId[i - 1];
        break;
    case fl::kCmdRead:
        if (len > 4) {
            const uint32_t a = address24(tx);
            for (size_t i = 4; i < len; ++i)
                rx[i] = byteAt(a + uint32_t(i - 4));
        }
        break;
    case fl::kCmdPageProgram:
    case fl::kCmdErase4K:
    case fl::kCmdErase32K:
    case fl::kCmdErase64K:
        if (!writeEnabled_ || writeProtected_ || len < 4) {
            ++refused_;
            break;
        }
        if (cmd == fl::kCmdPageProgram) {
            program(address24(tx), tx + 4, len - 4);
            busyReads_ = programBusy_;
        } else {
            erase(cmd, address24(tx));
            busyReads_ = eraseBusy_;
        }
        writeEnabled_ = false;
        break;
    default: ++refused_; break;
    }
    return true;
}

std::vector<uint8_t> SimNorFlash::read(uint32_t addr, uint32_t len) const
{
    std::vector<uint8_t> out(len);
    for (uint32_t i = 0; i < len; ++i)
        out[i] = byteAt(addr + i);
    return out;
}

void SimNorFlash::fill(uint32_t addr, const std::vector<uint8_t>& data)
{
    for (size_t i = 0; i < data.size(); ++i) {
        const uint32_t a = (addr + uint32_t(i)) % fl::kSize;
        sector(a, true)[a % fl::kSector] = data[i];
    }
    file_.changed();
}

void SimNorFlash::setBusyReads(int program, int erase)
{
    programBusy_ = program;
    eraseBusy_ = erase;
    busyReads_ = std::min(busyReads_, std::max(program, erase));  // a stuck operation may end now
}

void SimNorFlash::clearCounters()
{
    refused_ = 0;
    programs_ = 0;
    erases_.clear();
}

}  // namespace platform::sim
