#include "platform/sim/sim_hid.h"

#include "platform/platform.h"

#include <algorithm>

namespace platform {
namespace sim {

SimHidBus& SimHidBus::instance()
{
    static SimHidBus* bus = new SimHidBus;
    return *bus;
}

void SimHidBus::plug(uint16_t vendor, uint16_t product)
{
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.emplace_back(vendor, product);
}

void SimHidBus::pull(uint16_t vendor, uint16_t product)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(devices_.begin(), devices_.end(), std::make_pair(vendor, product));
    if (it != devices_.end())
        devices_.erase(it);
}

bool SimHidBus::present(uint16_t vendor, uint16_t product) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(devices_.begin(), devices_.end(), std::make_pair(vendor, product)) != devices_.end();
}

std::vector<std::pair<uint16_t, uint16_t>> SimHidBus::devices() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return devices_;
}

std::vector<std::vector<uint8_t>> SimHidBus::reports(uint16_t vendor, uint16_t product) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::vector<uint8_t>> out;
    for (const auto& r : reports_)
        if (r.first == std::make_pair(vendor, product))
            out.push_back(r.second);
    return out;
}

void SimHidBus::setInitFails(bool fails)
{
    std::lock_guard<std::mutex> lock(mutex_);
    initFails_ = fails;
}

void SimHidBus::setWriteFails(bool fails)
{
    std::lock_guard<std::mutex> lock(mutex_);
    writeFails_ = fails;
}

bool SimHidBus::initFails() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return initFails_;
}

bool SimHidBus::writeFails() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return writeFails_;
}

void SimHidBus::recordReport(uint16_t vendor, uint16_t product, const uint8_t* data, size_t len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back({{vendor, product}, std::vector<uint8_t>(data, data + len)});
}

void SimHidBus::reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.clear();
    reports_.clear();
    initFails_ = writeFails_ = false;
}

}  // namespace sim

// ---------------------------------------------------------------- host HID calls

struct HidDevice {
    uint16_t vendor;
    uint16_t product;
};

bool hidInit()
{
    return !sim::SimHidBus::instance().initFails();
}

std::vector<HidDeviceInfo> hidEnumerate()
{
    std::vector<HidDeviceInfo> out;
    for (const auto& d : sim::SimHidBus::instance().devices())
        out.push_back({d.first, d.second});
    return out;
}

HidDevice* hidOpen(uint16_t vendor, uint16_t product)
{
    if (!sim::SimHidBus::instance().present(vendor, product))
        return nullptr;
    return new HidDevice{vendor, product};
}

int hidWrite(HidDevice* dev, const uint8_t* data, size_t len)
{
    auto& bus = sim::SimHidBus::instance();
    if (!dev || bus.writeFails() || !bus.present(dev->vendor, dev->product))
        return -1;
    bus.recordReport(dev->vendor, dev->product, data, len);
    return static_cast<int>(len);
}

void hidClose(HidDevice* dev)
{
    delete dev;
}

}  // namespace platform
