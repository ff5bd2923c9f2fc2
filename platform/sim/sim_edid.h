// A simulated 256-byte EDID EEPROM (24C02 style) on the simulated I2C bus.
//
// A write message is the word address, then up to one page (8 bytes) of
// data that wraps inside its page; a read continues from the current
// address and wraps at 256. After a write with data the EEPROM is busy for
// its write cycle: it does not acknowledge the next `busyPolls` messages
// (the writer polls for the acknowledge). The contents persist in a file
// under the box root, like a real EEPROM across power cycles; a fresh box's
// EEPROMs are blank (0xFF).
#pragma once

#include "platform/sim/sim_i2c.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform::sim {

class SimEdidEeprom : public SimI2cDevice {
public:
    static constexpr int kSize = 256;
    static constexpr int kPage = 8;

    // `backingBoxPath`: box path of the file that keeps the contents ("" = memory only).
    explicit SimEdidEeprom(const std::string& backingBoxPath = "");

    bool write(const uint8_t* data, size_t len) override;
    bool read(uint8_t* data, size_t len) override;

    // ---- control surface
    std::vector<uint8_t> contents() const;
    // Back door: sets the contents as if programmed (no write cycle counted).
    void load(const std::vector<uint8_t>& data);
    void corrupt(int address, uint8_t value);
    uint64_t dataWrites() const;   // write messages that carried data
    void setBusyPolls(int polls);  // messages not acknowledged after a data write (default 1)
    // While set, data writes are acknowledged but change nothing (write-protect pin).
    void setWriteProtected(bool on);

private:
    void persist() const;  // under mutex_

    mutable std::mutex mutex_;
    std::string backing_;
    std::array<uint8_t, kSize> mem_{};
    uint8_t pointer_ = 0;
    int busy_ = 0;
    int busyPolls_ = 1;
    bool protected_ = false;
    uint64_t dataWrites_ = 0;
};

// The EDID EEPROM of input port 0-3 on the default bus (null when absent).
std::shared_ptr<SimEdidEeprom> edidEeprom(int port);

}  // namespace platform::sim
