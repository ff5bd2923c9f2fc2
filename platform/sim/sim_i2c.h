// The simulated I2C bus behind /dev/i2c-0.
//
// It takes the i2c-dev call the box makes, I2C_RDWR with a list of
// messages, and routes every message by its 7-bit address to the simulated
// device attached there. A whole list is carried out under the bus lock, so
// a repeated-start read (write the register, read the data) is one atomic
// step for the device. An address nobody answers, or a device that does not
// acknowledge, stops the list and fails the call with ENXIO, as the kernel
// reports a missing acknowledge. Devices are attached by tests and by the
// default box (platform/sim/sim_receiver.h, sim_edid.h).
#pragma once

#include "platform/sim/sim.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace platform::sim {

// One device on the bus. Each call returns false for a missing acknowledge.
class SimI2cDevice {
public:
    virtual ~SimI2cDevice();
    // A write message: its bytes, the first one usually a register or word address.
    virtual bool write(const uint8_t* data, size_t len) = 0;
    // A read message: fills `len` bytes.
    virtual bool read(uint8_t* data, size_t len) = 0;
};

class SimI2cBus : public SimDevice {
public:
    static constexpr const char* kDevicePath = "/dev/i2c-0";

    struct Counters {
        uint64_t calls = 0;     // I2C_RDWR calls
        uint64_t messages = 0;  // messages carried out
        uint64_t nacks = 0;     // messages nobody acknowledged
    };
    struct DeviceCounters {
        uint64_t writes = 0;  // write messages acknowledged
        uint64_t reads = 0;   // read messages acknowledged
        uint64_t bytesWritten = 0;
        uint64_t bytesRead = 0;
    };

    int ioctl(unsigned long request, void* arg) override;

    void attach(uint8_t address, std::shared_ptr<SimI2cDevice> dev);
    void detach(uint8_t address);
    std::shared_ptr<SimI2cDevice> deviceAt(uint8_t address) const;
    template <class T>
    std::shared_ptr<T> deviceAs(uint8_t address) const
    {
        return std::dynamic_pointer_cast<T>(deviceAt(address));
    }

    Counters counters() const;
    DeviceCounters countersOf(uint8_t address) const;
    void resetCounters();

private:
    int transfer(void* arg);

    mutable std::mutex mutex_;
    std::map<uint8_t, std::shared_ptr<SimI2cDevice>> devices_;
    std::map<uint8_t, DeviceCounters> deviceCounters_;
    Counters counters_;
};

// The bus of the default box (null when it is not installed).
std::shared_ptr<SimI2cBus> i2cBus();

}  // namespace platform::sim
