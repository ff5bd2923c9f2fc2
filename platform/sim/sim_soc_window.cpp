#include "platform/sim/sim_soc_window.h"

#include <cerrno>
#include <new>
#include <cstring>
#include <sys/mman.h>

namespace platform::sim {

// Anonymous pages read zero and take no room until written. Without room
// for the mapping the window fails as a vector of its size would.
static uint8_t* mapZeroed(size_t size)
{
    void* at = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED)
        throw std::bad_alloc();
    return static_cast<uint8_t*>(at);
}

SimSocWindow::SimSocWindow() : mem_(mapZeroed(kSize))
{
    // The unique-ID block comes up with its read-protect bit (8) set.
    write16(kUniqueIdControl, 0x0100);
    setUniqueId(kIdX, kIdY, kIdZ);
}

SimSocWindow::~SimSocWindow()
{
    ::munmap(mem_, kSize);
}

void* SimSocWindow::mmap(size_t len, off_t offset)
{
    if (mapFails_ || offset != static_cast<off_t>(kPhysBase) || len > kSize) {
        errno = EINVAL;
        return nullptr;
    }
    return mem_;
}

uint16_t SimSocWindow::read16(uint32_t offset) const
{
    uint16_t v;
    std::memcpy(&v, mem_ + offset, sizeof v);
    return v;
}

void SimSocWindow::write16(uint32_t offset, uint16_t value)
{
    std::memcpy(mem_ + offset, &value, sizeof value);
}

void SimSocWindow::setUniqueId(uint16_t x, uint16_t y, uint16_t z)
{
    write16(kUniqueIdX, x);
    write16(kUniqueIdY, y);
    write16(kUniqueIdZ, z);
}

}  // namespace platform::sim
