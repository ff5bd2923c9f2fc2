// The SoC's physical register window as /dev/mem maps it, held in memory
// that takes room only where it was written (the box reads a few
// registers). It carries a fixed unique ID so that the device PID of a
// simulated box is stable and known.
#pragma once

#include "platform/sim/sim.h"

#include <cstdint>

namespace platform::sim {

class SimSocWindow : public SimDevice {
public:
    static constexpr uint32_t kPhysBase = 0x1F000000;
    static constexpr uint32_t kSize = 0x2B0000;
    static constexpr uint32_t kUniqueIdX = 0x4058;
    static constexpr uint32_t kUniqueIdY = 0x405C;
    static constexpr uint32_t kUniqueIdZ = 0x4060;
    static constexpr uint32_t kUniqueIdControl = 0x400C;
    // The simulated box's unique ID words.
    static constexpr uint16_t kIdX = 0x1234, kIdY = 0x5678, kIdZ = 0x9ABC;

    SimSocWindow();
    ~SimSocWindow() override;
    SimSocWindow(const SimSocWindow&) = delete;
    SimSocWindow& operator=(const SimSocWindow&) = delete;
    void* mmap(size_t len, off_t offset) override;

    uint16_t read16(uint32_t offset) const;
    void write16(uint32_t offset, uint16_t value);
    void setUniqueId(uint16_t x, uint16_t y, uint16_t z);
    void setMapFails(bool fails) { mapFails_ = fails; }

private:
    uint8_t* mem_;  // kSize bytes, zero until written
    bool mapFails_ = false;
};

}  // namespace platform::sim
