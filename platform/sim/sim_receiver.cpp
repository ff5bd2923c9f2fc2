#include "platform/sim/sim_receiver.h"

#include "platform/sim/sim_edid.h"
#include "platform/sim/sim_x518.h"
#include "registers/tamix_regs.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace platform::sim {

namespace rx = tamix::rx;

namespace {

constexpr uint8_t kLevelBits = rx::kControlHotPlug | rx::kControlSelected;

void put16(std::array<uint8_t, 256>& r, uint8_t at, uint32_t v)
{
    r[at] = uint8_t(v);
    r[at + 1] = uint8_t(v >> 8);
}

SourceTiming makeTiming(uint16_t hact, uint16_t hsync, uint16_t hback, uint16_t htotal, uint16_t vact, uint16_t vsync,
                        uint16_t vback, uint16_t vtotal, double rate)
{
    SourceTiming t;
    t.hactive = hact;
    t.hsync = hsync;
    t.hback = hback;
    t.htotal = htotal;
    t.vactive = vact;
    t.vsync = vsync;
    t.vback = vback;
    t.vtotal = vtotal;
    t.frameRate = rate;
    return t;
}

SourceTiming interlacedTiming(uint16_t htotal, double fieldRate)
{
    SourceTiming t = makeTiming(1920, 44, 148, htotal, 540, 5, 15, 562, fieldRate);
    t.interlaced = true;
    return t;
}

}  // namespace

// ------------------------------------------------------------------ timings

uint32_t SourceTiming::pixelClockKhz() const
{
    return uint32_t(std::lround(double(htotal) * vtotal * frameRate / 1000.0));
}

// clang-format off
SourceTiming SourceTiming::p1080_60() { return makeTiming(1920, 44, 148, 2200, 1080, 5, 36, 1125, 60.0); }
SourceTiming SourceTiming::p1080_50() { return makeTiming(1920, 44, 148, 2640, 1080, 5, 36, 1125, 50.0); }
SourceTiming SourceTiming::i1080_60() { return interlacedTiming(2200, 60.0); }
SourceTiming SourceTiming::i1080_50() { return interlacedTiming(2640, 50.0); }
SourceTiming SourceTiming::p720_60() { return makeTiming(1280, 40, 220, 1650, 720, 5, 20, 750, 60.0); }
SourceTiming SourceTiming::p2160_30() { return makeTiming(3840, 88, 296, 4400, 2160, 10, 72, 2250, 30.0); }
// clang-format on

SourceTiming SourceTiming::progressive(uint16_t width, uint16_t height, double rate)
{
    for (const SourceTiming& t : {p1080_60(), p1080_50(), p720_60(), p2160_30()})
        if (t.hactive == width && t.vactive == height && t.frameRate == rate)
            return t;
    constexpr uint16_t kFront = 48, kSync = 32, kBack = 80;
    constexpr uint16_t kVFront = 3, kVSync = 6, kMinVBack = 6;
    constexpr double kMinVBlankUs = 460.0;
    // The blanking lines that last 460 us at the line period the rest leaves.
    const double linePeriodUs = (1e6 / rate - kMinVBlankUs) / height;
    const int blank =
        linePeriodUs > 0 ? int(std::floor(kMinVBlankUs / linePeriodUs)) + 1 : kVFront + kVSync + kMinVBack;
    const int vblank = std::max(blank, kVFront + kVSync + kMinVBack);
    return makeTiming(width, kSync, kBack, uint16_t(width + kFront + kSync + kBack), height, kVSync,
                      uint16_t(vblank - kVFront - kVSync), uint16_t(height + vblank), rate);
}

// ------------------------------------------------------------------ the receiver

bool SimReceiver::write(const uint8_t* data, size_t len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (silent_)
        return false;
    if (len == 0)
        return true;
    pointer_ = data[0];
    for (size_t i = 1; i < len; ++i, ++pointer_) {
        if (pointer_ != rx::kControl)
            continue;  // every other register is read-only
        control_ = data[i] & kLevelBits;
        if (data[i] & rx::kControlReset) {
            ++resets_;
            ++sequence_;  // the restarted receiver publishes its timing again
        }
    }
    return true;
}

bool SimReceiver::read(uint8_t* data, size_t len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (silent_)
        return false;
    for (size_t i = 0; i < len; ++i)
        data[i] = regAt(pointer_++);
    return true;
}

uint8_t SimReceiver::regAt(uint8_t address) const
{
    switch (address) {
    case rx::kId0: return rx::kIdentity0;
    case rx::kId1: return rx::kIdentity1;
    case rx::kRevision: return rx::kRevisionValue;
    case rx::kStatus: {
        uint8_t s = 0;
        if (signal_) {
            s |= rx::kStatusSignal;
            if (timing_.interlaced)
                s |= rx::kStatusInterlaced;
            if (timing_.clockDoubled)
                s |= rx::kStatusClockDoubled;
        }
        if (control_ & rx::kControlHotPlug)
            s |= rx::kStatusHotPlug;
        if (control_ & rx::kControlSelected)
            s |= rx::kStatusSelected;
        return s;
    }
    case rx::kSequence: return sequence_;
    case rx::kControl: return control_;
    default: return regs_[address];
    }
}

void SimReceiver::fillTiming()
{
    regs_.fill(0);
    if (!signal_)
        return;
    const SourceTiming& t = timing_;
    put16(regs_, rx::kHact, t.hactive);
    put16(regs_, rx::kHsync, t.hsync);
    put16(regs_, rx::kHback, t.hback);
    put16(regs_, rx::kHtotal, t.htotal);
    put16(regs_, rx::kVact, t.vactive);
    put16(regs_, rx::kVsync, t.vsync);
    put16(regs_, rx::kVback, t.vback);
    put16(regs_, rx::kVtotal, t.vtotal);
    uint32_t khz = t.pixelClockKhz();
    put16(regs_, rx::kPclkKhz, khz & 0xFFFF);
    put16(regs_, rx::kPclkKhz + 2, khz >> 16);
    regs_[rx::kPolarity] = uint8_t((t.hpol ? rx::kPolarityH : 0) | (t.vpol ? rx::kPolarityV : 0));
    regs_[rx::kType] = t.type;
    regs_[rx::kDataMode] = t.datamode;
    regs_[rx::kLanes] = t.lanes;
}

void SimReceiver::publish(const SourceTiming& t)
{
    std::lock_guard<std::mutex> lock(mutex_);
    timing_ = t;
    signal_ = true;
    ++sequence_;
    fillTiming();
}

void SimReceiver::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    signal_ = false;
    ++sequence_;
    fillTiming();
}

bool SimReceiver::signal() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return signal_;
}

bool SimReceiver::hotPlug() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return (control_ & rx::kControlHotPlug) != 0;
}

bool SimReceiver::selected() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return (control_ & rx::kControlSelected) != 0;
}

int SimReceiver::resets() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return resets_;
}

uint8_t SimReceiver::sequence() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sequence_;
}

void SimReceiver::setSilent(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = on;
}

// ------------------------------------------------------------------ the inputs of the box

std::shared_ptr<SimReceiver> receiver(int source)
{
    auto bus = i2cBus();
    if (!bus || source < 0 || source >= tamix::kSources)
        return nullptr;
    return bus->deviceAs<SimReceiver>(tamix::receiverAddress(source));
}

void plugSource(int source, const SourceTiming& timing)
{
    if (source < 0 || source >= tamix::kSources)
        return;
    if (auto chip = deviceAs<SimX518>(SimX518::kDevicePath)) {
        SimX518::PortTiming p;
        p.htotal = timing.htotal;
        p.vtotal = timing.vtotal;
        p.hactive = timing.hactive;
        p.frameRate = timing.frameRate;
        p.lanes = timing.lanes;
        p.locked = true;
        p.vactive = timing.vactive;
        p.hstart = uint32_t(timing.hsync) + timing.hback;
        p.vstart = uint32_t(timing.vsync) + timing.vback;
        chip->plug(tamix::kChipPortOfSource[source], p);
    }
    if (auto r = receiver(source))
        r->publish(timing);
}

void pullSource(int source)
{
    if (source < 0 || source >= tamix::kSources)
        return;
    if (auto chip = deviceAs<SimX518>(SimX518::kDevicePath))
        chip->pull(tamix::kChipPortOfSource[source]);
    if (auto r = receiver(source))
        r->clear();
}

void installVideoInputs()
{
    auto bus = std::make_shared<SimI2cBus>();
    for (int s = 0; s < tamix::kSources; ++s) {
        bus->attach(tamix::receiverAddress(s), std::make_shared<SimReceiver>());
        bus->attach(tamix::eepromAddress(s),
                    std::make_shared<SimEdidEeprom>("/sim/edid-eeprom" + std::to_string(s) + ".bin"));
    }
    registerDevice(SimI2cBus::kDevicePath, bus);
    constexpr int kHdmi1 = 1;
    plugSource(kHdmi1, SourceTiming::p1080_60());
}

}  // namespace platform::sim
