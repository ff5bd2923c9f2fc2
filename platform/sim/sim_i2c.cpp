#include "platform/sim/sim_i2c.h"

#include <cerrno>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

namespace platform::sim {

namespace {

constexpr uint32_t kMaxMessages = I2C_RDWR_IOCTL_MAX_MSGS;
constexpr uint16_t kMaxMessageLen = 8192;
constexpr uint16_t kSevenBitMask = 0x7F;

}  // namespace

SimI2cDevice::~SimI2cDevice() = default;

int SimI2cBus::ioctl(unsigned long request, void* arg)
{
    if (request == I2C_RDWR)
        return transfer(arg);
    errno = ENOTTY;
    return -1;
}

int SimI2cBus::transfer(void* arg)
{
    auto* data = static_cast<i2c_rdwr_ioctl_data*>(arg);
    if (!data || !data->msgs || data->nmsgs == 0 || data->nmsgs > kMaxMessages) {
        errno = EINVAL;
        return -1;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++counters_.calls;
    for (uint32_t i = 0; i < data->nmsgs; ++i) {
        const i2c_msg& m = data->msgs[i];
        if ((m.flags & I2C_M_TEN) || m.addr > kSevenBitMask || m.len > kMaxMessageLen || (m.len && !m.buf)) {
            errno = EINVAL;
            return -1;
        }
        auto it = devices_.find(uint8_t(m.addr));
        bool reading = (m.flags & I2C_M_RD) != 0;
        bool acked =
            it != devices_.end() && (reading ? it->second->read(m.buf, m.len) : it->second->write(m.buf, m.len));
        if (!acked) {
            ++counters_.nacks;
            errno = ENXIO;
            return -1;
        }
        ++counters_.messages;
        DeviceCounters& dc = deviceCounters_[uint8_t(m.addr)];
        if (reading) {
            ++dc.reads;
            dc.bytesRead += m.len;
        } else {
            ++dc.writes;
            dc.bytesWritten += m.len;
        }
    }
    return int(data->nmsgs);
}

void SimI2cBus::attach(uint8_t address, std::shared_ptr<SimI2cDevice> dev)
{
    std::lock_guard<std::mutex> lock(mutex_);
    devices_[address & kSevenBitMask] = std::move(dev);
}

void SimI2cBus::detach(uint8_t address)
{
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.erase(address & kSevenBitMask);
}

std::shared_ptr<SimI2cDevice> SimI2cBus::deviceAt(uint8_t address) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = devices_.find(address & kSevenBitMask);
    return it == devices_.end() ? nullptr : it->second;
}

SimI2cBus::Counters SimI2cBus::counters() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_;
}

SimI2cBus::DeviceCounters SimI2cBus::countersOf(uint8_t address) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = deviceCounters_.find(address & kSevenBitMask);
    return it == deviceCounters_.end() ? DeviceCounters{} : it->second;
}

void SimI2cBus::resetCounters()
{
    std::lock_guard<std::mutex> lock(mutex_);
    counters_ = {};
    deviceCounters_.clear();
}

std::shared_ptr<SimI2cBus> i2cBus()
{
    return deviceAs<SimI2cBus>(SimI2cBus::kDevicePath);
}

}  // namespace platform::sim
