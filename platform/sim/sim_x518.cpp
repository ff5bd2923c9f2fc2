#include "platform/sim/sim_x518.h"

#include "registers/x518_regs.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <linux/spi/spidev.h>
#include <sys/ioctl.h>

namespace platform::sim {
namespace {

constexpr uint8_t kBankSelect = 0x00;
constexpr uint32_t kTransferLength = 2;
constexpr uint8_t kChipMode = SPI_MODE_3;
constexpr uint8_t kChipWordBits = 8;

// Live registers.
constexpr uint8_t kStatusBank = 0xB2;
constexpr uint8_t kIdAddress = 0x08;
constexpr uint8_t kVboLockAddress = 0x64;  // bit 5 + 2r: receiver r locked
constexpr uint8_t kVboLockBit0 = 5;

constexpr uint8_t kFrameBank = 0x05;
constexpr uint8_t kInFrameRequest = 0x08;
constexpr uint8_t kOutFrameRequest = 0x09;
constexpr uint8_t kInFrameFlags = 0x22;
constexpr uint8_t kOutFrameFlags = 0x23;

constexpr uint8_t kFieldBank = 0xAB;
constexpr uint8_t kFirstField = 0x47;  // one per channel: bits 2-3 the current field (write phase)
constexpr uint8_t kFieldCount = 16;
constexpr int kFieldShift = 2;

constexpr uint8_t kMeasureBankH = 0xAE;  // line and frame measurements
constexpr uint8_t kMeasureBankW = 0xAF;  // measured active width

constexpr uint8_t kOsdBank = 0x04;
constexpr uint8_t kOsdCommand = 0x08;  // 1 fill, 2 copy, 3 string
constexpr uint8_t kOsdLastCommand = 3;
constexpr uint8_t kOsdStatus = 0x17;  // bit 0 engine busy
constexpr uint8_t kOsdBusy = 0x01;

// Measurement registers of a parallel port p and a V-by-One receiver k.
struct MeasureMap {
    uint8_t htt, vtt, fhw, fvm, hw;
};
constexpr MeasureMap cmosMap(int p)
{
    return {uint8_t(0x08 + 2 * p), uint8_t(0x20 + 2 * p), uint8_t(0x38 + 2 * p), uint8_t(0x50 + 3 * p),
            uint8_t(0x08 + 2 * p)};
}
constexpr MeasureMap vboMap(int k)
{
    return {uint8_t(0x10 + 8 * k), uint8_t(0x28 + 8 * k), uint8_t(0x40 + 8 * k), uint8_t(0x5C + 0x0C * k),
            uint8_t(0x10 + 8 * k)};
}
constexpr int kLanePairs = 4;
constexpr int kLineCounterStep = 2;
constexpr int kFrameCounterStep = 3;

int usedLanePairs(int lanes)
{
    if (lanes >= 8)
        return 4;
    if (lanes >= 4)
        return 2;
    return 1;
}

}  // namespace

SimX518::PortTiming SimX518::timing1080p60()
{
    PortTiming t;
    t.htotal = 2200;
    t.vtotal = 1125;
    t.hactive = 1920;
    t.frameRate = 60.0;
    t.lanes = 2;
    t.vactive = 1080;
    t.hstart = 44 + 148;
    t.vstart = 5 + 36;
    return t;
}

SimX518::PortTiming SimX518::timing2160p30()
{
    PortTiming t;
    t.htotal = 4400;
    t.vtotal = 2250;
    t.hactive = 3840;
    t.frameRate = 30.0;
    t.lanes = 8;
    t.vactive = 2160;
    t.hstart = 88 + 296;
    t.vstart = 10 + 72;
    return t;
}

SimX518::SimX518(const std::string& flashFile) : flash_(regs_), osd_(regs_), epoch_(std::chrono::steady_clock::now())
{
    if (!flashFile.empty())
        flash_.keepIn(flashFile);
    heldAt_.fill(kNoFrame);
    for (auto& k : kept_)
        k.fill(kNoFrame);
    rebuildMeasurement();
}

// ------------------------------------------------------------------ spidev

int SimX518::ioctl(unsigned long request, void* arg)
{
    if (!arg) {
        errno = EFAULT;
        return -1;
    }
    {
        Lock lock(mutex_);
        switch (request) {
        case SPI_IOC_WR_MODE: mode_ = *static_cast<uint8_t*>(arg); return 0;
        case SPI_IOC_RD_MODE: *static_cast<uint8_t*>(arg) = mode_; return 0;
        case SPI_IOC_WR_BITS_PER_WORD: bits_ = *static_cast<uint8_t*>(arg); return 0;
        case SPI_IOC_RD_BITS_PER_WORD: *static_cast<uint8_t*>(arg) = bits_; return 0;
        case SPI_IOC_WR_MAX_SPEED_HZ: speed_ = *static_cast<uint32_t*>(arg); return 0;
        case SPI_IOC_RD_MAX_SPEED_HZ: *static_cast<uint32_t*>(arg) = speed_; return 0;
        default: break;
        }
    }
    bool message = _IOC_TYPE(request) == SPI_IOC_MAGIC && _IOC_NR(request) == 0 && _IOC_DIR(request) == _IOC_WRITE;
    size_t count = message ? _IOC_SIZE(request) / sizeof(spi_ioc_transfer) : 0;
    if (!message || count == 0) {
        errno = message ? EINVAL : ENOTTY;
        return -1;
    }
    auto* trs = static_cast<spi_ioc_transfer*>(arg);
    std::vector<Transfer> seen;
    std::function<void(const Transfer&)> hook;
    int total = 0;
    int error = 0;
    {
        Lock lock(mutex_);
        hook = hook_;
        ++counters_.calls;
        const uint64_t call = ++calls_;
        for (size_t i = 0; i < count && !error; ++i) {
            const spi_ioc_transfer& tr = trs[i];
            if (failSkip_ > 0) {
                --failSkip_;
            } else if (failCount_ > 0) {
                --failCount_;
                ++counters_.failed;
                error = EIO;
                break;
            }
            uint8_t bits = tr.bits_per_word ? tr.bits_per_word : bits_;
            // Every transfer is a frame of its own: the chip select goes up
            // between the transfers of a message (cs_change) and stays up
            // after the last one; otherwise two frames run into one.
            bool last = i + 1 == count;
            bool framed = (tr.cs_change != 0) != last;
            if (tr.len != kTransferLength || !tr.tx_buf || mode_ != kChipMode || bits != kChipWordBits || !framed) {
                ++counters_.rejected;
                error = EINVAL;
                break;
            }
            Transfer t;
            std::memcpy(t.tx, reinterpret_cast<const void*>(static_cast<uintptr_t>(tr.tx_buf)), kTransferLength);
            t.hasRx = tr.rx_buf != 0;
            t.speedHz = tr.speed_hz ? tr.speed_hz : speed_;
            t.call = call;
            decode(t);
            if (t.hasRx)
                std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(tr.rx_buf)), t.rx, kTransferLength);
            if (tracing_) {
                if (trace_.size() >= kTraceCapacity)
                    trace_.pop_front();
                trace_.push_back(t);
            }
            if (hook)
                seen.push_back(t);
            total += int(kTransferLength);
        }
    }
    for (const Transfer& t : seen)
        hook(t);
    if (error) {
        errno = error;
        return -1;
    }
    return total;
}

void SimX518::decode(Transfer& t)
{
    ++counters_.transfers;
    uint8_t address = t.address();
    if (t.write()) {
        uint8_t value = t.tx[1];
        lastFieldRead_ = 0xFFFF;
        if (address == kBankSelect) {
            bank_ = value;
            ++counters_.bankSelects;
        } else {
            ++counters_.writes;
            beforeWrite(address, value);
            regs_[bank_][address] = value;
            journalWrite(bank_, address, value);
            onWrite(address, value);
        }
    } else {
        ++counters_.reads;
        t.rx[0] = 0;
        t.rx[1] = onRead(address);
    }
    t.bank = bank_;
}

void SimX518::journalWrite(uint8_t bank, uint8_t address, uint8_t value)
{
    if (journal_.size() >= kJournalCapacity)
        journal_.pop_front();
    journal_.push_back({bank, address, value});
}

void SimX518::onWrite(uint8_t address, uint8_t value)
{
    bool instant = clock_ == Clock::Instant && !(stuck_ & kStuckFrames);
    if (bank_ == kFrameBank && (address == kInFrameRequest || address == kOutFrameRequest)) {
        // Arming a frame wait: the flags show the requested channels once
        // the next frame has passed; on the instant clock it has already.
        if (instant && value)
            ++instantFrames_;
        (address == kInFrameRequest ? inArmedAt_ : outArmedAt_) = frameCount();
        return;
    }
    if (bank_ == kOsdBank && address == kOsdCommand) {
        if (value >= 1 && value <= kOsdLastCommand)
            osdBusy_ = std::max(1, flashBusyPolls_);
    }
    if (bank_ == SimX518Osd::kBank || bank_ == SimX518Osd::kTableBank)
        osd_.onWrite(bank_, address, value);
    if (bank_ == SimX518Flash::kBank)
        flash_.onWrite(address, value);
}

uint8_t SimX518::onRead(uint8_t address)
{
    uint16_t key = uint16_t(bank_ << 8 | address);
    // On the instant clock a poll of one field counter sees the next frame.
    if (clock_ == Clock::Instant && !(stuck_ & kStuckFrames) && bank_ == kFieldBank && key == lastFieldRead_)
        ++instantFrames_;
    lastFieldRead_ = key;
    uint8_t v = 0;
    if (liveByte(bank_, address, true, v))
        return v;
    return regs_[bank_][address];
}

bool SimX518::liveByte(uint8_t bank, uint8_t address, bool sideEffects, uint8_t& v)
{
    if (bank == kStatusBank && address == kIdAddress) {
        if (flaky_) {
            v = flakyGood_ ? kChipId : kWrongId;
            if (sideEffects)
                flakyGood_ = !flakyGood_;
        } else {
            v = identity_;
        }
        return true;
    }
    if (bank == kStatusBank && address == kVboLockAddress) {
        v = regs_[bank][address];
        for (int r = 0; r < kPorts - kFirstVboPort; ++r) {
            uint8_t bit = uint8_t(1u << (kVboLockBit0 + 2 * r));
            v &= uint8_t(~bit);
            const PortTiming& t = ports_[kFirstVboPort + r];
            if (plugged_[kFirstVboPort + r] && t.locked)
                v |= bit;
        }
        return true;
    }
    if (bank == kFrameBank && address == kInFrameFlags) {
        v = frameFlags(regs_[kFrameBank][kInFrameRequest], inArmedAt_);
        return true;
    }
    if (bank == kFrameBank && address == kOutFrameFlags) {
        v = frameFlags(regs_[kFrameBank][kOutFrameRequest], outArmedAt_);
        return true;
    }
    if (bank == kFieldBank && address >= kFirstField && address < kFirstField + kFieldCount) {
        v = uint8_t((frameCount() & 3) << kFieldShift);
        return true;
    }
    if (bank == kMeasureBankH || bank == kMeasureBankW) {
        int b = bank == kMeasureBankH ? 0 : 1;
        if (!measureLive_[b][address])
            return false;
        v = measure_[b][address];
        return true;
    }
    if (bank == kOsdBank && address == kOsdStatus) {
        v = regs_[bank][address] & uint8_t(~kOsdBusy);
        if (osdBusy_ > 0 || (stuck_ & kStuckOsdBusy))
            v |= kOsdBusy;
        if (sideEffects && osdBusy_ > 0)
            --osdBusy_;
        return true;
    }
    if (bank == SimX518Flash::kBank)
        return flash_.onRead(address, sideEffects, v);
    return false;
}

uint8_t SimX518::frameFlags(uint8_t requested, uint64_t armedAt) const
{
    if (stuck_ & kStuckFrames)
        return 0;
    if (clock_ == Clock::Instant)
        return requested;
    return frameCount() > armedAt ? requested : 0;
}

uint64_t SimX518::frameCount() const
{
    if (stuck_ & kStuckFrames)
        return frozenFrames_;
    if (clock_ == Clock::Instant)
        return instantFrames_;
    auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch_).count();
    return instantFrames_ + uint64_t(elapsed * kTimedFrameRate);
}

void SimX518::rebuildMeasurement()
{
    for (auto& b : measure_)
        b.fill(0);
    for (auto& b : measureLive_)
        b.fill(false);
    auto put = [this](int b, int address, int width, uint32_t value) {
        for (int i = 0; i < width; ++i) {
            measure_[b][address + i] = uint8_t(value >> (8 * i));
            measureLive_[b][address + i] = true;
        }
    };
    for (int p = 0; p < kPorts; ++p) {
        const PortTiming& t = ports_[p];
        bool vbo = p >= kFirstVboPort;
        bool signal = plugged_[p] && t.frameRate > 0 && t.vtotal > 0 && t.htotal > 0;
        bool unlocked = signal && vbo && !t.locked;
        uint32_t htt = 0, vtt = 0, fhw = 0, fvm = 0, hw = 0;
        if (unlocked) {
            htt = vtt = fhw = hw = 0xFFFF;
            fvm = 0xFFFFFF;
        } else if (signal) {
            htt = t.htotal - 1;
            vtt = t.vtotal;
            fhw = uint32_t(std::lround(kDefaultReferenceClockHz / (t.frameRate * t.vtotal))) - 1;
            fvm = uint32_t(std::lround(kDefaultReferenceClockHz / t.frameRate)) - 1;
            hw = t.hactive;
        }
        MeasureMap m = vbo ? vboMap(p - kFirstVboPort) : cmosMap(p);
        put(0, m.htt, 2, htt);
        put(0, m.vtt, 2, vtt);
        put(1, m.hw, 2, hw);
        if (!vbo) {
            put(0, m.fhw, 2, fhw);
            put(0, m.fvm, 3, fvm);
            continue;
        }
        // A receiver counts line and frame per lane pair; the first pair is
        // the port's own measurement.
        int used = unlocked ? kLanePairs : usedLanePairs(t.lanes);
        for (int j = 0; j < kLanePairs; ++j) {
            bool on = j < used;
            put(0, m.fhw + kLineCounterStep * j, 2, on ? fhw : 0);
            put(0, m.fvm + kFrameCounterStep * j, 3, on ? fvm : 0);
        }
    }
}

// ------------------------------------------------------------------ control surface

// clang-format off
uint8_t SimX518::mode() const { Lock l(mutex_); return mode_; }
uint8_t SimX518::bitsPerWord() const { Lock l(mutex_); return bits_; }
uint32_t SimX518::maxSpeedHz() const { Lock l(mutex_); return speed_; }
// clang-format on

SimX518::Counters SimX518::counters() const
{
    Lock l(mutex_);
    return counters_;
}
void SimX518::resetCounters()
{
    Lock l(mutex_);
    counters_ = Counters();
}

void SimX518::setTracing(bool on)
{
    Lock l(mutex_);
    tracing_ = on;
}
std::vector<SimX518::Transfer> SimX518::trace() const
{
    Lock l(mutex_);
    return std::vector<Transfer>(trace_.begin(), trace_.end());
}
void SimX518::clearTrace()
{
    Lock l(mutex_);
    trace_.clear();
}

std::vector<SimX518::JournalEntry> SimX518::journal() const
{
    Lock l(mutex_);
    return std::vector<JournalEntry>(journal_.begin(), journal_.end());
}
void SimX518::clearJournal()
{
    Lock l(mutex_);
    journal_.clear();
}

void SimX518::setTransferHook(std::function<void(const Transfer&)> hook)
{
    Lock l(mutex_);
    hook_ = std::move(hook);
}

uint8_t SimX518::currentBank() const
{
    Lock l(mutex_);
    return bank_;
}
uint8_t SimX518::reg(uint8_t bank, uint8_t address) const
{
    Lock l(mutex_);
    return regs_[bank][address & kAddressBits];
}

SimX518Flash::Registers SimX518::registers() const
{
    Lock l(mutex_);
    return regs_;
}

void SimX518::setReg(uint8_t bank, uint8_t address, uint8_t value)
{
    Lock l(mutex_);
    regs_[bank][address & kAddressBits] = value;
}

uint32_t SimX518::valueOf(uint32_t spec, uint32_t bankOffset, bool live) const
{
    uint8_t bank = uint8_t(((spec >> 16) & 0xFF) + bankOffset);
    uint32_t address = (spec >> 8) & 0xFF;
    uint32_t width = std::min<uint32_t>(spec & 0xFF, 4);
    uint32_t v = 0;
    for (uint32_t i = 0; i < width && address + i < kBankSize; ++i) {
        uint8_t b = regs_[bank][address + i];
        if (live) {
            uint8_t lv = 0;
            if (const_cast<SimX518*>(this)->liveByte(bank, uint8_t(address + i), false, lv))
                b = lv;
        }
        v |= uint32_t(b) << (8 * i);
    }
    return v;
}

uint32_t SimX518::regValue(uint32_t spec, uint32_t bankOffset) const
{
    Lock l(mutex_);
    return valueOf(spec, bankOffset, false);
}

uint32_t SimX518::liveValue(uint32_t spec, uint32_t bankOffset) const
{
    Lock l(mutex_);
    return valueOf(spec, bankOffset, true);
}

void SimX518::setRegValue(uint32_t spec, uint32_t value, uint32_t bankOffset)
{
    Lock l(mutex_);
    uint8_t bank = uint8_t(((spec >> 16) & 0xFF) + bankOffset);
    uint32_t address = (spec >> 8) & 0xFF;
    uint32_t width = std::min<uint32_t>(spec & 0xFF, 4);
    for (uint32_t i = 0; i < width && address + i < kBankSize; ++i)
        regs_[bank][address + i] = uint8_t(value >> (8 * i));
}

void SimX518::plug(int port, const PortTiming& timing)
{
    if (port < 0 || port >= kPorts)
        return;
    Lock l(mutex_);
    ports_[port] = timing;
    plugged_[port] = true;
    rebuildMeasurement();
}

void SimX518::pull(int port)
{
    if (port < 0 || port >= kPorts)
        return;
    Lock l(mutex_);
    ports_[port] = PortTiming();
    plugged_[port] = false;
    rebuildMeasurement();
}

bool SimX518::plugged(int port) const
{
    Lock l(mutex_);
    return port >= 0 && port < kPorts && plugged_[port];
}

void SimX518::setClock(Clock clock)
{
    Lock l(mutex_);
    instantFrames_ = frameCount();  // frames that passed stay passed
    epoch_ = std::chrono::steady_clock::now();
    clock_ = clock;
}

// clang-format off
SimX518::Clock SimX518::clock() const { Lock l(mutex_); return clock_; }
uint64_t SimX518::frames() const { Lock l(mutex_); return frameCount(); }
void SimX518::advanceFrames(uint64_t n) { Lock l(mutex_); instantFrames_ += n; }
// clang-format on

void SimX518::setIdentity(uint8_t id)
{
    Lock l(mutex_);
    identity_ = id;
}
void SimX518::setFlakyIdentity(bool on)
{
    Lock l(mutex_);
    flaky_ = on;
    flakyGood_ = false;
}

void SimX518::setStuck(unsigned stuckMask)
{
    Lock l(mutex_);
    if ((stuckMask & kStuckFrames) && !(stuck_ & kStuckFrames))
        frozenFrames_ = frameCount();
    if (!(stuckMask & kStuckFrames) && (stuck_ & kStuckFrames)) {
        instantFrames_ = frozenFrames_;
        epoch_ = std::chrono::steady_clock::now();
    }
    stuck_ = stuckMask;
    SimX518Flash::Faults f;
    f.dma = stuck_ & kStuckFlashDma;
    f.write = stuck_ & kStuckFlashWrite;
    f.erase = stuck_ & kStuckFlashErase;
    f.wip = stuck_ & kStuckFlashWip;
    f.readStart = stuck_ & kStuckReadStart;
    f.fifo = stuck_ & kStuckWriteFifo;
    f.wel = stuck_ & kStuckWriteEnable;
    f.welLeftSet = welLeftSet_;
    f.writeProtected = flashProtected_;
    flash_.setFaults(f);
}

unsigned SimX518::stuck() const
{
    Lock l(mutex_);
    return stuck_;
}

void SimX518::failTransfers(int count, int skip)
{
    Lock l(mutex_);
    failCount_ = count;
    failSkip_ = skip;
}

void SimX518::setBusyPolls(int polls)
{
    Lock l(mutex_);
    flashBusyPolls_ = polls < 1 ? 1 : polls;
    flash_.setBusyPolls(flashBusyPolls_);
}

void SimX518::setWelLeftSet(bool on)
{
    {
        Lock l(mutex_);
        welLeftSet_ = on;
    }
    setStuck(stuck());
}

void SimX518::setFlashWriteProtected(bool on)
{
    {
        Lock l(mutex_);
        flashProtected_ = on;
    }
    setStuck(stuck());
}

std::vector<uint8_t> SimX518::flash(uint32_t address, size_t length) const
{
    Lock l(mutex_);
    std::vector<uint8_t> out(length);
    for (size_t i = 0; i < length; ++i)
        out[i] = flash_.byteAt(address + uint32_t(i));
    return out;
}

void SimX518::persist()
{
    Lock l(mutex_);
    flash_.persist();
}

void SimX518::loadFlash(uint32_t address, const std::vector<uint8_t>& data)
{
    Lock l(mutex_);
    flash_.load(address, data);
}

// clang-format off
std::vector<SimX518Flash::Op> SimX518::flashLog() const { Lock l(mutex_); return flash_.log(); }
void SimX518::clearFlashLog() { Lock l(mutex_); flash_.clearLog(); }
bool SimX518::writeEnableLatch() const { Lock l(mutex_); return flash_.wel() || (stuck_ & kStuckWriteEnable); }
// clang-format on
std::vector<SimX518Osd::Command> SimX518::osdLog() const
{
    Lock l(mutex_);
    return std::vector<SimX518Osd::Command>(osd_.log().begin(), osd_.log().end());
}
void SimX518::clearOsdLog()
{
    Lock l(mutex_);
    osd_.clearLog();
}
uint32_t SimX518::osdColour(int index) const
{
    Lock l(mutex_);
    return osd_.colour(index);
}

}  // namespace platform::sim
