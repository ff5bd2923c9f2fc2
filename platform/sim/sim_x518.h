// The simulated X518 video-processing chip behind /dev/spidev32766.0.
//
// It takes the spidev calls the chip's driver makes (mode, word size, speed,
// SPI_IOC_MESSAGE) and decodes every transfer exactly as the chip does: two
// bytes, the first carrying the register address with bit 7 set for a write,
// the second the data (or 0xFF on a read, answered in the second received
// byte). Register 0 of every bank is the bank select. 256 banks of 128 byte
// registers start at 0; a write stores, a read returns what was stored unless
// the register is live (identity, lock and frame flags, field counters, the
// measurement banks, the serial-flash controller and the OSD engine's busy
// bit), in which case it answers as a healthy chip would.
//
// Tests and benchmarks get a control surface: counters, a transfer trace, a
// journal of register writes, register helpers, signals to plug into the
// input ports, fault injection and two clocks; the OSD engine's commands,
// string area and colour table. docs/simulated-box.md
// describes the registers it implements.
#pragma once

#include "platform/platform.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_x518_canvas.h"
#include "platform/sim/sim_x518_flash.h"
#include "platform/sim/sim_x518_osd.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace platform::sim {

class SimX518 : public SimDevice {
public:
    static constexpr const char* kDevicePath = "/dev/spidev32766.0";
    // Where the box's chip keeps its serial flash over restarts.
    static constexpr const char* kFlashFile = "/sim/chip-flash.bin";
    static constexpr int kBanks = 256;
    static constexpr int kBankSize = 128;
    // A transfer's first byte: the write flag and the register address.
    static constexpr uint8_t kWriteBit = 0x80;
    static constexpr uint8_t kAddressBits = 0x7F;
    static constexpr int kPorts = 6;  // 0-3 parallel, 4-5 V-by-One receivers 0-1
    static constexpr int kFirstVboPort = 4;
    static constexpr uint8_t kChipId = 0x24;   // what B2:08 reads on a good chip
    static constexpr uint8_t kWrongId = 0xFF;  // a floating bus
    static constexpr uint32_t kDefaultReferenceClockHz = 27000000;
    static constexpr double kTimedFrameRate = 60.0;
    // The register writes the journal keeps, the newest (192 KiB): a chip
    // bring-up writes about 1,600, every later change far fewer.
    static constexpr size_t kJournalCapacity = size_t(1) << 16;
    static constexpr size_t kTraceCapacity = size_t(1) << 22;

    // Instant: every frame the code waits for has passed already. Timed:
    // frames pass at 60 Hz of wall-clock time.
    enum class Clock { Instant, Timed };

    // Bits that fault injection holds in their busy (or not-ready) state.
    enum Stuck : unsigned {
        kStuckNone = 0,
        kStuckOsdBusy = 1u << 0,      // 4:17 bit 0 never clears
        kStuckFlashDma = 1u << 1,     // 4:54 bit 0
        kStuckFlashWrite = 1u << 2,   // 4:54 bit 1
        kStuckFlashErase = 1u << 3,   // 4:54 bit 3
        kStuckFlashWip = 1u << 4,     // 4:55 bit 0
        kStuckReadStart = 1u << 5,    // 4:53 bit 7
        kStuckWriteFifo = 1u << 6,    // 4:53 bit 5 never reports the FIFO empty
        kStuckWriteEnable = 1u << 7,  // 4:55 bit 1 stays set, write-disable does not clear it
        kStuckFrames = 1u << 8,       // no frame ever passes: frame flags stay 0, field counters stand
    };

    // A signal plugged into an input port, as the chip measures it.
    struct PortTiming {
        uint32_t htotal = 0;   // pixels per line
        uint32_t vtotal = 0;   // lines per frame (per field when interlaced)
        uint32_t hactive = 0;  // active pixels per line
        double frameRate = 0;  // frames (fields) per second
        int lanes = 1;         // V-by-One lanes (ports 4-5): 1, 2, 4 or 8
        bool locked = true;    // V-by-One receiver locked onto the signal
        // The picture: active lines, and where the active pixels and lines
        // start (sync and back porch). A signal without lines carries no picture.
        uint32_t vactive = 0;
        uint32_t hstart = 0;
        uint32_t vstart = 0;
    };
    static PortTiming timing1080p60();  // 2200 x 1125, 1920 active, 60 Hz
    static PortTiming timing2160p30();  // 4400 x 2250, 3840 active, 30 Hz

    // One transfer as the chip saw it.
    struct Transfer {
        uint8_t tx[2] = {0, 0};
        uint8_t rx[2] = {0, 0};  // what the chip answered
        bool hasRx = false;      // the caller gave a receive buffer
        uint32_t speedHz = 0;
        uint8_t bank = 0;   // bank selected when the transfer happened (after it, for a select)
        uint64_t call = 0;  // the SPI_IOC_MESSAGE call that carried it, counted from 1
        bool write() const { return (tx[0] & kWriteBit) != 0; }
        uint8_t address() const { return tx[0] & kAddressBits; }
        bool bankSelect() const { return write() && address() == 0; }
    };

    struct Counters {
        uint64_t calls = 0;        // SPI_IOC_MESSAGE calls (driver calls), whatever they carried
        uint64_t transfers = 0;    // transfers the chip decoded
        uint64_t bankSelects = 0;  // writes of register 0
        uint64_t writes = 0;       // other register writes
        uint64_t reads = 0;        // register reads
        uint64_t rejected = 0;     // malformed transfers (wrong length, mode, word size or chip select)
        uint64_t failed = 0;       // transfers failed by fault injection
    };

    struct JournalEntry {
        uint8_t bank;
        uint8_t address;
        uint8_t value;
        bool operator==(const JournalEntry& o) const
        {
            return bank == o.bank && address == o.address && value == o.value;
        }
    };

    // `flashFile`: the box path of the file that keeps the serial flash
    // (empty: none, the flash starts erased and forgets).
    explicit SimX518(const std::string& flashFile = {});
    // Writes the serial flash to its file when it changed.
    void persist() override;

    int ioctl(unsigned long request, void* arg) override;

    // ---- the spidev settings the driver made
    uint8_t mode() const;
    uint8_t bitsPerWord() const;
    uint32_t maxSpeedHz() const;

    // ---- counters, trace and journal
    Counters counters() const;
    void resetCounters();
    void setTracing(bool on);  // off at start
    std::vector<Transfer> trace() const;
    void clearTrace();
    std::vector<JournalEntry>
    journal() const;  // the last kJournalCapacity register writes, oldest first, bank selects excluded
    void clearJournal();
    // Called after every decoded transfer, outside the chip's lock, on the
    // caller's thread.
    void setTransferHook(std::function<void(const Transfer&)> hook);

    // ---- registers (the stored values: what was written, not the live answers)
    uint8_t currentBank() const;
    uint8_t reg(uint8_t bank, uint8_t address) const;
    // Every bank at one moment.
    SimX518Flash::Registers registers() const;
    void setReg(uint8_t bank, uint8_t address, uint8_t value);
    // A register named by a register word (bank << 16 | address << 8 |
    // width) and a bank offset, little-endian over `width` bytes.
    uint32_t regValue(uint32_t spec, uint32_t bankOffset = 0) const;
    void setRegValue(uint32_t spec, uint32_t value, uint32_t bankOffset = 0);
    // What a read over SPI would return now, without its side effects.
    uint32_t liveValue(uint32_t spec, uint32_t bankOffset = 0) const;

    // ---- output
    // The LED canvas as the output channels show it (sim_x518_canvas.h).
    Canvas canvas(const CanvasLayout& layout) const;
    // The same a band of rows at a time (drawCanvasBands).
    bool canvasBands(const CanvasLayout& layout, const std::function<bool(const CanvasBand&)>& take) const;
    // Each plugged input carries only its port's colour instead of its test
    // card (off at start): for tests that look only at where windows land.
    void setPlainInputs(bool on);

    // ---- input ports
    void plug(int port, const PortTiming& timing);
    void pull(int port);
    bool plugged(int port) const;

    // ---- clocks and frames
    void setClock(Clock clock);
    Clock clock() const;
    uint64_t frames() const;  // frames passed since the chip was created
    void advanceFrames(uint64_t n);

    // ---- fault injection
    void setIdentity(uint8_t id);    // what B2:08 answers (kChipId on a good chip)
    void setFlakyIdentity(bool on);  // every other read answers kWrongId, the first one included
    void setStuck(unsigned stuckMask);
    unsigned stuck() const;
    // The `count` transfers after the next `skip` fail with EIO; the chip
    // does not see them.
    void failTransfers(int count, int skip = 0);
    // How many reads a status bit stays busy after its operation started (1 at start).
    void setBusyPolls(int polls);
    // After a program or erase the write-enable latch stays set until a
    // write-disable command clears it.
    void setWelLeftSet(bool on);
    // The serial flash ignores every page program and erase (as a
    // write-protected flash does) until off; reads still answer.
    void setFlashWriteProtected(bool on);

    // ---- serial flash behind the chip and the OSD engine
    std::vector<uint8_t> flash(uint32_t address, size_t length) const;
    // Back door: programs bytes as if the area had been erased first.
    void loadFlash(uint32_t address, const std::vector<uint8_t>& data);
    std::vector<SimX518Flash::Op> flashLog() const;
    void clearFlashLog();
    bool writeEnableLatch() const;
    // The draw commands as started (the latest SimX518Osd::kLogCapacity).
    std::vector<SimX518Osd::Command> osdLog() const;
    void clearOsdLog();
    uint32_t osdColour(int index) const;  // colour-table entry, 0xBBGGRR

private:
    using Lock = std::lock_guard<std::mutex>;

    void decode(Transfer& t);                          // under mutex_
    void beforeWrite(uint8_t address, uint8_t value);  // before a write to the selected bank is stored
    CanvasInputs inputsNow() const;
    void onWrite(uint8_t address, uint8_t value);
    uint8_t onRead(uint8_t address);
    bool liveByte(uint8_t bank, uint8_t address, bool sideEffects, uint8_t& value);
    uint8_t frameFlags(uint8_t requested, uint64_t armedAt) const;
    uint64_t frameCount() const;
    void rebuildMeasurement();
    void journalWrite(uint8_t bank, uint8_t address, uint8_t value);
    uint32_t valueOf(uint32_t spec, uint32_t bankOffset, bool live) const;

    mutable std::mutex mutex_;
    SimX518Flash::Registers regs_{};
    SimX518Flash flash_;
    SimX518Osd osd_;
    uint8_t bank_ = 0;
    uint8_t mode_ = 0;
    uint8_t bits_ = 8;
    uint32_t speed_ = 500000;

    Counters counters_;
    bool tracing_ = false;
    std::deque<Transfer> trace_;
    std::deque<JournalEntry> journal_;
    std::function<void(const Transfer&)> hook_;

    std::array<PortTiming, kPorts> ports_{};
    std::array<bool, kPorts> plugged_{};
    // Live images of the measurement banks AE and AF.
    std::array<std::array<uint8_t, kBankSize>, 2> measure_{};
    std::array<std::array<bool, kBankSize>, 2> measureLive_{};

    Clock clock_ = Clock::Instant;
    std::chrono::steady_clock::time_point epoch_;
    uint64_t calls_ = 0;  // never reset: numbers the calls in the trace
    uint64_t instantFrames_ = 0;
    uint64_t inArmedAt_ = 0;
    uint64_t outArmedAt_ = 0;
    uint64_t frozenFrames_ = 0;
    uint16_t lastFieldRead_ = 0xFFFF;  // bank << 8 | address of the previous read
    // Frame memory: when each input channel's capture was held, the frames
    // the buffers that left a write ring kept.
    std::array<int64_t, kCanvasChannels> heldAt_;
    std::array<std::array<int64_t, kFrameBuffers>, kCanvasChannels> kept_;
    bool plainInputs_ = false;

    uint8_t identity_ = kChipId;
    bool flaky_ = false;
    bool flakyGood_ = false;
    unsigned stuck_ = kStuckNone;
    int failSkip_ = 0;
    int failCount_ = 0;
    bool welLeftSet_ = false;
    bool flashProtected_ = false;
    int flashBusyPolls_ = 1;
    int osdBusy_ = 0;
};

}  // namespace platform::sim
