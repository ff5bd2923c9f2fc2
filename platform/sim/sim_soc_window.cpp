#include "platform/sim/sim_soc_window.h"

#include <cerrno>
#include <cstring>

namespace platform::sim {

SimSocWindow::SimSocWindow() : mem_(kSize, 0)
{
    // The unique-ID block comes up with its read-protect bit (8) set.
    write16(kUniqueIdControl, 0x0100);
    setUniqueId(kIdX, kIdY, kIdZ);
}

void* SimSocWindow::mmap(size_t len, off_t offset)
{
    if (mapFails_ || offset != static_cast<off_t>(kPhysBase) || len > kSize) {
        errno = EINVAL;
        return nullptr;
    }
    return mem_.data();
}

uint16_t SimSocWindow::read16(uint32_t offset) const
{
    uint16_t v;
    std::memcpy(&v, mem_.data() + offset, sizeof v);
    return v;
}

void SimSocWindow::write16(uint32_t offset, uint16_t value)
{
    std::memcpy(mem_.data() + offset, &value, sizeof value);
}

void SimSocWindow::setUniqueId(uint16_t x, uint16_t y, uint16_t z)
{
    write16(kUniqueIdX, x);
    write16(kUniqueIdY, y);
    write16(kUniqueIdZ, z);
}

}  // namespace platform::sim
