#include "platform/sim/sim_edid.h"

#include "platform/internal.h"
#include "platform/platform.h"
#include "registers/tamix_regs.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace platform::sim {

static_assert(SimEdidEeprom::kSize == tamix::kEdidSize && SimEdidEeprom::kPage == tamix::kEepromPage);

SimEdidEeprom::SimEdidEeprom(const std::string& backingBoxPath) : backing_(backingBoxPath)
{
    mem_.fill(0xFF);
    std::string saved;
    if (!backing_.empty() && platform::readFileUpTo(backing_, saved, kSize) == platform::ReadResult::Read &&
        saved.size() == size_t(kSize))
        std::copy(saved.begin(), saved.end(), mem_.begin());
}

bool SimEdidEeprom::write(const uint8_t* data, size_t len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (busy_ > 0) {
        --busy_;
        return false;
    }
    if (len == 0)
        return true;  // an address-only probe
    pointer_ = data[0];
    if (len == 1)
        return true;  // sets the address for a read
    const uint8_t page = uint8_t(pointer_ & ~(kPage - 1));
    for (size_t i = 1; i < len; ++i) {
        if (!protected_)
            mem_[pointer_] = data[i];
        pointer_ = uint8_t(page | ((pointer_ + 1) & (kPage - 1)));
    }
    ++dataWrites_;
    busy_ = busyPolls_;
    if (!protected_)
        persist();
    return true;
}

bool SimEdidEeprom::read(uint8_t* data, size_t len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (busy_ > 0) {
        --busy_;
        return false;
    }
    for (size_t i = 0; i < len; ++i)
        data[i] = mem_[pointer_++];
    return true;
}

// Written in place without a sync: the file only has to outlive the
// process, and a rewrite makes 32 page writes. Only a plain file inside the
// box root is written; while something else stands there (refused, told
// once) the EEPROM keeps its bytes in memory.
void SimEdidEeprom::persist() const
{
    if (backing_.empty())
        return;
    const int fd = platform::detail::openInPlace(backing_, O_WRONLY | O_CREAT);
    if (fd < 0)
        return;
    platform::detail::writeAllAt(fd, mem_.data(), mem_.size(), 0);
    ::close(fd);
}

std::vector<uint8_t> SimEdidEeprom::contents() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::vector<uint8_t>(mem_.begin(), mem_.end());
}

void SimEdidEeprom::load(const std::vector<uint8_t>& data)
{
    std::lock_guard<std::mutex> lock(mutex_);
    mem_.fill(0xFF);
    std::copy_n(data.begin(), std::min(data.size(), size_t(kSize)), mem_.begin());
    persist();
}

void SimEdidEeprom::corrupt(int address, uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    mem_[uint8_t(address)] = value;
    persist();
}

uint64_t SimEdidEeprom::dataWrites() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dataWrites_;
}

void SimEdidEeprom::setBusyPolls(int polls)
{
    std::lock_guard<std::mutex> lock(mutex_);
    busyPolls_ = std::max(0, polls);
}

void SimEdidEeprom::setWriteProtected(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    protected_ = on;
}

std::shared_ptr<SimEdidEeprom> edidEeprom(int port)
{
    auto bus = i2cBus();
    if (!bus || port < 0 || port >= tamix::kSources)
        return nullptr;
    return bus->deviceAs<SimEdidEeprom>(tamix::eepromAddress(port));
}

}  // namespace platform::sim
