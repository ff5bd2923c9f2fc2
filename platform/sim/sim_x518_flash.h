// The serial-flash controller of the simulated X518 (register bank 4) and
// the 32 MiB NOR flash wired to it.
//
// The flash keeps the three rules of NOR memory: programming only clears
// bits (the new byte is the AND of old and written), erase sets a whole
// sector or block to 0xFF, and neither happens unless the controller is set
// to send the write-enable opcode (0x06 in 4:4C) first; a refused operation
// is logged and changes nothing. Status bits that an operation sets read
// busy for a configurable number of status reads, then clear.
//
// Not a device of its own: SimX518 owns it, holds the lock, stores every
// register write and hands bank-4 traffic to it.
//
// A flash given a file keeps its contents across restarts of the simulated
// box, as the board's flash keeps the fonts it was given: the sectors that
// hold anything are loaded from the file and written back whole (a new file
// renamed over the old) once the flash changed, when it is next read or
// copied, at the latest SectorFile::kPersistEvery after a change while it
// is written, and when persist() is called (before a reboot, at a restart
// of the box).
#pragma once

#include "platform/sim/sim.h"
#include "platform/sim/sim_sector_file.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::sim {

class SimX518Flash {
public:
    using Registers = std::array<std::array<uint8_t, 128>, 256>;

    static constexpr uint32_t kSize = 32u << 20;
    static constexpr uint32_t kPageSize = 256;
    static constexpr uint32_t kSectorSize = 4096;

    // Bank-4 registers of the controller.
    static constexpr uint8_t kBank = 0x04;
    static constexpr uint8_t kCommand = 0x48;     // 2 DMA, 4 erase, 5 single command
    static constexpr uint8_t kProgramOp = 0x49;   // 0x12
    static constexpr uint8_t kEraseOp = 0x4B;     // 0x20 / 0x52 / 0xD8, or the single command
    static constexpr uint8_t kWrenOp = 0x4C;      // 0x06
    static constexpr uint8_t kAddress = 0x4E;     // 4 bytes
    static constexpr uint8_t kAddressTop = 0x51;  // its last byte: the address is complete
    static constexpr uint8_t kData = 0x52;
    static constexpr uint8_t kDataCtl = 0x53;      // B4_SFLDTCTL
    static constexpr uint8_t kStatus = 0x54;       // B4_SFLSTAT
    static constexpr uint8_t kFlashStatus = 0x55;  // B4_SFLRDSR
    static constexpr uint8_t kDmaLength = 0x56;    // 4 bytes, bit 31 set
    static constexpr uint8_t kDmaKind = 0x5A;
    static constexpr uint8_t kDmaDestMemory = 0x11;  // kind 0, 4 bytes
    static constexpr uint8_t kDmaDestString = 0x27;  // kind 1, 2 bytes
    static constexpr uint8_t kPaletteBank = 0x09;
    static constexpr uint8_t kDmaDestPalette = 0x1F;  // kind 4, bank 9

    // Values.
    static constexpr uint8_t kCmdDma = 2, kCmdErase = 4, kCmdSingle = 5;
    static constexpr uint8_t kOpProgram = 0x12, kOpWren = 0x06, kOpWrdi = 0x04;
    static constexpr uint8_t kOpErase4K = 0x20, kOpErase32K = 0x52, kOpErase64K = 0xD8;
    static constexpr uint8_t kReadStart = 0x01;
    // Status bits.
    static constexpr uint8_t kCtlReadBusy = 0x80, kCtlFifoEmpty = 0x20;
    static constexpr uint8_t kStatDma = 0x01, kStatWrite = 0x02, kStatErase = 0x08;
    static constexpr uint8_t kRdsrWip = 0x01, kRdsrWel = 0x02;

    // What the controller was asked to do.
    struct Op {
        enum Kind { Program, Erase, Dma, Refused };
        Kind kind;
        uint32_t address;      // flash byte address (erase: the aligned start)
        uint32_t length;       // bytes programmed, erased or copied
        uint32_t destination;  // DMA only
        uint8_t destKind;      // DMA only: 4:5A
    };

    // Stuck bits (the SimX518::Stuck values that concern the controller).
    struct Faults {
        bool dma = false, write = false, erase = false, wip = false;
        bool readStart = false, fifo = false, wel = false;
        bool welLeftSet = false;
        // The flash ignores page programs and erases (its write protection):
        // the controller goes through them as usual, the flash's write-enable
        // latch stays set and nothing changes. Logged as refused.
        bool writeProtected = false;
    };

    explicit SimX518Flash(const Registers& regs);

    // Keeps the contents in the file at `backingBoxPath` from now on, and
    // loads what it holds: a file that is not what persist() writes loads
    // as far as it is sound.
    void keepIn(const std::string& backingBoxPath);
    // Writes the contents to the file now if they changed since they were
    // last written.
    void persist();

    // Register traffic of bank 4 (after the write was stored).
    void onWrite(uint8_t address, uint8_t value);
    // A live register read of bank 4: true with the value when it is live.
    bool onRead(uint8_t address, bool sideEffects, uint8_t& value);

    void setFaults(const Faults& f) { faults_ = f; }
    void setBusyPolls(int polls) { busyPolls_ = polls < 1 ? 1 : polls; }

    uint8_t byteAt(uint32_t address) const;
    void load(uint32_t address, const std::vector<uint8_t>& data);
    // The last kOpLogKept operations, oldest first.
    std::vector<Op> log() const { return {log_.begin(), log_.end()}; }
    void clearLog() { log_.clear(); }
    bool wel() const { return wel_; }

private:
    uint32_t reg32(uint8_t bank, uint8_t address, int width) const;
    void program(uint32_t start);
    void erase();
    void dma();
    void single();
    void andByte(uint32_t address, uint8_t value);
    void startWrite();
    uint8_t status(bool sideEffects);
    uint8_t flashStatus(bool sideEffects);
    uint8_t dataCtl(bool sideEffects);
    static void tick(int& counter, bool sideEffects);
    void persistWhenDue(bool reading);

    const Registers& regs_;
    Faults faults_;
    int busyPolls_ = 1;
    std::unordered_map<uint32_t, std::vector<uint8_t>> sectors_;  // absent = erased
    std::vector<uint8_t> fifo_;
    uint32_t address_ = 0;  // where the next page program starts
    uint32_t readCursor_ = 0;
    bool wel_ = false;
    int dmaBusy_ = 0, writeBusy_ = 0, eraseBusy_ = 0, wip_ = 0, readBusy_ = 0, fifoBusy_ = 0;
    std::deque<Op> log_;
    SectorFile file_;
};

}  // namespace platform::sim
