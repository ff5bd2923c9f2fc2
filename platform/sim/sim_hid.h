// Simulated USB HID devices: what the box finds on its USB port, and the
// output reports it writes to them.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace platform::sim {

class SimHidBus {
public:
    static SimHidBus& instance();

    // Plugs or pulls a device with these numbers.
    void plug(uint16_t vendor, uint16_t product);
    void pull(uint16_t vendor, uint16_t product);
    bool present(uint16_t vendor, uint16_t product) const;
    std::vector<std::pair<uint16_t, uint16_t>> devices() const;

    // Output reports written to a device, oldest first.
    std::vector<std::vector<uint8_t>> reports(uint16_t vendor, uint16_t product) const;
    // Fault injection: hid_init fails; writes to devices fail.
    void setInitFails(bool fails);
    void setWriteFails(bool fails);

    void reset();

    // Used by the host back end.
    bool initFails() const;
    bool writeFails() const;
    void recordReport(uint16_t vendor, uint16_t product, const uint8_t* data, size_t len);

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<uint16_t, uint16_t>> devices_;
    std::vector<std::pair<std::pair<uint16_t, uint16_t>, std::vector<uint8_t>>> reports_;
    bool initFails_ = false;
    bool writeFails_ = false;
};

}  // namespace platform::sim
