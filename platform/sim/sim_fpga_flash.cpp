#include "platform/sim/sim_fpga_flash.h"

#include "platform/platform.h"
#include "registers/fpga_regs.h"

#include <algorithm>
#include <cstdio>
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

// The file: one record per sector that holds anything, in address order,
// each its address (4 bytes, little-endian) and its bytes.
constexpr size_t kAddressBytes = 4;
constexpr size_t kRecordBytes = kAddressBytes + fl::kSector;
constexpr size_t kMostFileBytes = size_t(fl::kSectors) * kRecordBytes;

uint32_t getLe32(const char* p)
{
    uint32_t v = 0;
    for (size_t i = 0; i < kAddressBytes; ++i)
        v |= uint32_t(static_cast<uint8_t>(p[i])) << (8 * i);
    return v;
}

void putLe32(std::string& out, uint32_t v)
{
    for (size_t i = 0; i < kAddressBytes; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

bool readCommand(uint8_t cmd)
{
    return cmd == fl::kCmdRead || cmd == fl::kCmdReadId;
}

}  // namespace

SimNorFlash::SimNorFlash(std::string backingBoxPath) : backing_(std::move(backingBoxPath))
{
    if (backing_.empty())
        return;
    root_ = platform::boxRoot();
    load();
}

// A file that is not what persist() writes loads as far as it is sound: a
// record out of the flash or cut short ends the loading there.
void SimNorFlash::load()
{
    std::string bytes;
    const platform::ReadResult r = platform::readFileUpTo(backing_, bytes, kMostFileBytes);
    if (r == platform::ReadResult::TooLarge)
        std::fprintf(stderr, "simulated flash: %s is larger than a whole flash, not loaded\n", backing_.c_str());
    if (r != platform::ReadResult::Read)
        return;
    for (size_t at = 0; at + kRecordBytes <= bytes.size(); at += kRecordBytes) {
        const uint32_t addr = getLe32(bytes.data() + at);
        if (addr % fl::kSector != 0 || addr >= fl::kSize) {
            std::fprintf(stderr, "simulated flash: %s has a sector at 0x%x, loaded up to there\n", backing_.c_str(),
                         addr);
            return;
        }
        std::memcpy(sector(addr, true), bytes.data() + at + kAddressBytes, fl::kSector);
    }
}

void SimNorFlash::changed()
{
    dirty_ = !backing_.empty();
}

void SimNorFlash::persist()
{
    // A box restarted on another root keeps its own flash; a root removed
    // since (a test's) keeps nothing.
    if (!dirty_ || backing_.empty() || platform::boxRoot() != root_ ||
        !platform::isDir(backing_.substr(0, backing_.rfind('/') + 1)))
        return;
    std::string out;
    out.reserve(sectors_.size() * kRecordBytes);
    for (const auto& [addr, bytes] : sectors_) {
        putLe32(out, addr);
        out.append(reinterpret_cast<const char*>(bytes.get()), fl::kSector);
    }
    persisted_ = std::chrono::steady_clock::now();
    if (platform::writeFileAtomic(backing_, out))
        dirty_ = false;
    else
        std::fprintf(stderr, "simulated flash: %s not written\n", backing_.c_str());
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
    changed();
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
    changed();
}

bool SimNorFlash::transaction(const uint8_t* tx, uint8_t* rx, size_t len)
{
    if (len == 0)
        return true;
    const uint8_t cmd = tx[0];
    if (dirty_ && (readCommand(cmd) || std::chrono::steady_clock::now() - persisted_ >= kPersistEvery))
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
    changed();
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
