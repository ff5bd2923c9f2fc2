#include "platform/sim/sim_x518_flash.h"

#include <cstddef>
#include <map>

namespace platform::sim {

SimX518Flash::SimX518Flash(const Registers& regs) : regs_(regs), file_("simulated chip flash", kSectorSize, kSize) {}

void SimX518Flash::keepIn(const std::string& backingBoxPath)
{
    file_.open(backingBoxPath, [this](uint32_t address, const uint8_t* bytes) {
        sectors_[address / kSectorSize].assign(bytes, bytes + kSectorSize);
    });
}

void SimX518Flash::persistWhenDue(bool reading)
{
    if (file_.due(reading))
        persist();
}

void SimX518Flash::persist()
{
    if (!file_.dirty())
        return;
    std::map<uint32_t, const uint8_t*> ordered;
    for (const auto& [index, bytes] : sectors_)
        ordered[index * kSectorSize] = bytes.data();
    file_.write(ordered);
}

uint32_t SimX518Flash::reg32(uint8_t bank, uint8_t address, int width) const
{
    uint32_t v = 0;
    for (int i = 0; i < width && address + i < 128; ++i)
        v |= uint32_t(regs_[bank][address + i]) << (8 * i);
    return v;
}

uint8_t SimX518Flash::byteAt(uint32_t address) const
{
    address %= kSize;
    auto it = sectors_.find(address / kSectorSize);
    return it == sectors_.end() ? 0xFF : it->second[address % kSectorSize];
}

void SimX518Flash::andByte(uint32_t address, uint8_t value)
{
    address %= kSize;
    auto& sector = sectors_[address / kSectorSize];
    if (sector.empty())
        sector.assign(kSectorSize, 0xFF);
    sector[address % kSectorSize] &= value;
}

void SimX518Flash::load(uint32_t address, const std::vector<uint8_t>& data)
{
    for (size_t i = 0; i < data.size(); ++i) {
        uint32_t a = (address + uint32_t(i)) % kSize;
        auto& sector = sectors_[a / kSectorSize];
        if (sector.empty())
            sector.assign(kSectorSize, 0xFF);
        sector[a % kSectorSize] = data[i];
    }
    file_.changed();
}

void SimX518Flash::onWrite(uint8_t address, uint8_t value)
{
    switch (address) {
    case kData: fifo_.push_back(value); break;
    case kAddressTop:
        // Writing the address closes the open page: the FIFO is programmed
        // where the previous address pointed.
        if (!fifo_.empty())
            program(address_);
        address_ = reg32(kBank, kAddress, 4) % kSize;
        break;
    case kDataCtl:
        if (value & kReadStart) {
            persistWhenDue(true);
            readCursor_ = reg32(kBank, kAddress, 4) % kSize;
            readBusy_ = busyPolls_;
        }
        break;
    case kCommand:
        if (value == kCmdDma) {
            persistWhenDue(true);
            dma();
        } else if (value == kCmdErase) {
            erase();
        } else if (value == kCmdSingle)
            single();
        break;
    default: break;
    }
}

bool SimX518Flash::onRead(uint8_t address, bool sideEffects, uint8_t& value)
{
    switch (address) {
    case kData:
        value = byteAt(readCursor_);
        if (sideEffects)
            readCursor_ = (readCursor_ + 1) % kSize;
        return true;
    case kDataCtl: value = dataCtl(sideEffects); return true;
    case kStatus: value = status(sideEffects); return true;
    case kFlashStatus: value = flashStatus(sideEffects); return true;
    default: return false;
    }
}

void SimX518Flash::tick(int& counter, bool sideEffects)
{
    if (sideEffects && counter > 0)
        --counter;
}

uint8_t SimX518Flash::dataCtl(bool sideEffects)
{
    uint8_t v = regs_[kBank][kDataCtl] & uint8_t(~(kCtlReadBusy | kCtlFifoEmpty));
    if (readBusy_ > 0 || faults_.readStart)
        v |= kCtlReadBusy;
    if (fifoBusy_ == 0 && !faults_.fifo)
        v |= kCtlFifoEmpty;
    tick(readBusy_, sideEffects);
    tick(fifoBusy_, sideEffects);
    return v;
}

uint8_t SimX518Flash::status(bool sideEffects)
{
    uint8_t v = 0;
    if (dmaBusy_ > 0 || faults_.dma)
        v |= kStatDma;
    if (writeBusy_ > 0 || faults_.write)
        v |= kStatWrite;
    if (eraseBusy_ > 0 || faults_.erase)
        v |= kStatErase;
    tick(dmaBusy_, sideEffects);
    tick(writeBusy_, sideEffects);
    tick(eraseBusy_, sideEffects);
    return v;
}

uint8_t SimX518Flash::flashStatus(bool sideEffects)
{
    bool wip = wip_ > 0 || faults_.wip;
    uint8_t v = 0;
    if (wip)
        v |= kRdsrWip;
    if (wip || wel_ || faults_.wel)
        v |= kRdsrWel;
    if (sideEffects && wip_ > 0 && --wip_ == 0)
        wel_ = faults_.welLeftSet || faults_.wel;  // a finished program or erase drops the latch
    return v;
}

void SimX518Flash::startWrite()
{
    wel_ = true;  // the controller sent the write-enable opcode
    wip_ = busyPolls_;
}

void SimX518Flash::program(uint32_t start)
{
    uint32_t n = uint32_t(fifo_.size());
    if (regs_[kBank][kWrenOp] != kOpWren || regs_[kBank][kProgramOp] != kOpProgram) {
        appendToOpLog(log_, Op{Op::Refused, start, n, 0, 0});
        fifo_.clear();
        return;
    }
    if (faults_.writeProtected) {
        appendToOpLog(log_, Op{Op::Refused, start, n, 0, 0});
        fifo_.clear();
        wel_ = true;
        writeBusy_ = busyPolls_;
        fifoBusy_ = busyPolls_;
        return;
    }
    // A page program wraps inside its 256-byte page.
    uint32_t page = start & ~(kPageSize - 1);
    for (uint32_t i = 0; i < n; ++i)
        andByte(page | ((start + i) & (kPageSize - 1)), fifo_[i]);
    fifo_.clear();
    file_.changed();
    persistWhenDue(false);
    appendToOpLog(log_, Op{Op::Program, start, n, 0, 0});
    startWrite();
    writeBusy_ = busyPolls_;
    fifoBusy_ = busyPolls_;
}

void SimX518Flash::erase()
{
    uint32_t size = 0;
    switch (regs_[kBank][kEraseOp]) {
    case kOpErase4K: size = 4u << 10; break;
    case kOpErase32K: size = 32u << 10; break;
    case kOpErase64K: size = 64u << 10; break;
    default: break;
    }
    uint32_t start = reg32(kBank, kAddress, 4) % kSize;
    if (size == 0 || regs_[kBank][kWrenOp] != kOpWren) {
        appendToOpLog(log_, Op{Op::Refused, start, size, 0, 0});
        return;
    }
    start &= ~(size - 1);
    if (faults_.writeProtected) {
        appendToOpLog(log_, Op{Op::Refused, start, size, 0, 0});
        wel_ = true;
        eraseBusy_ = busyPolls_;
        return;
    }
    for (uint32_t s = start / kSectorSize; s < (start + size) / kSectorSize; ++s)
        sectors_.erase(s);
    file_.changed();
    persistWhenDue(false);
    appendToOpLog(log_, Op{Op::Erase, start, size, 0, 0});
    startWrite();
    eraseBusy_ = busyPolls_;
}

void SimX518Flash::dma()
{
    uint32_t length = reg32(kBank, kDmaLength, 4) & 0x7FFFFFFFu;
    uint8_t kind = regs_[kBank][kDmaKind] & 0x0F;
    uint32_t dest = 0;
    if (kind == 0)
        dest = reg32(kBank, kDmaDestMemory, 4);
    else if (kind == 1)
        dest = reg32(kBank, kDmaDestString, 2);
    else if (kind == 4)
        dest = regs_[kPaletteBank][kDmaDestPalette];
    appendToOpLog(log_, Op{Op::Dma, reg32(kBank, kAddress, 4) % kSize, length, dest, kind});
    dmaBusy_ = busyPolls_;
}

void SimX518Flash::single()
{
    uint8_t op = regs_[kBank][kEraseOp];
    if (op == kOpWrdi && !faults_.wel)
        wel_ = false;
    else if (op == kOpWren)
        wel_ = true;
}

}  // namespace platform::sim
