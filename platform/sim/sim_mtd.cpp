#include "platform/sim/sim_mtd.h"

#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <mtd/mtd-user.h>
#include <unistd.h>

namespace platform::sim {

SimMtd::SimMtd(const std::string& backingBoxPath, uint32_t size, uint32_t eraseSize, uint32_t writeSize)
    : backing_(platform::path(backingBoxPath)), size_(size), eraseSize_(eraseSize), writeSize_(writeSize),
      data_(size, 0xFF)
{
    // A partition keeps its contents across restarts of the simulated box.
    int fd = ::open(backing_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ssize_t n = ::pread(fd, data_.data(), size_, 0);
        (void)n;
        ::close(fd);
    }
    // A backing file the host does not take shows at the first erase or write.
    store(0, size_);
}

bool SimMtd::store(uint32_t offset, uint32_t len)
{
    int fd = ::open(backing_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const ssize_t n = ::pwrite(fd, data_.data() + offset, len, offset);
    const bool closed = ::close(fd) == 0;
    return n == static_cast<ssize_t>(len) && closed;
}

template <class Change>
bool SimMtd::changeAndPersist(uint32_t offset, uint32_t len, Change change)
{
    const std::vector<uint8_t> before(data_.begin() + offset, data_.begin() + offset + len);
    change(data_.data() + offset);
    if (store(offset, len))
        return true;
    std::copy(before.begin(), before.end(), data_.begin() + offset);
    errno = EIO;
    return false;
}

int SimMtd::ioctl(unsigned long request, void* arg)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (request == MEMGETINFO) {
        if (infoFails_) {
            errno = EIO;
            return -1;
        }
        auto* info = static_cast<mtd_info_user*>(arg);
        std::memset(info, 0, sizeof *info);
        info->type = MTD_NORFLASH;
        info->flags = MTD_CAP_NORFLASH;
        info->size = size_;
        info->erasesize = eraseSize_;
        info->writesize = writeSize_;
        return 0;
    }
    if (request == MEMUNLOCK || request == MEMERASE) {
        auto* region = static_cast<erase_info_user*>(arg);
        if (region->start % eraseSize_ != 0 || region->length == 0 || region->length % eraseSize_ != 0 ||
            region->start > size_ || region->length > size_ - region->start) {
            errno = EINVAL;
            return -1;
        }
        if (request == MEMUNLOCK) {
            appendToOpLog(unlocks_, region->start);
            return 0;
        }
        if (failErase_ > 0 && --failErase_ == 0) {
            errno = EIO;
            return -1;
        }
        if (writeProtected_)
            return 0;
        const uint32_t length = region->length;
        if (!changeAndPersist(region->start, length, [length](uint8_t* at) { std::fill(at, at + length, 0xFF); }))
            return -1;
        appendToOpLog(erases_, region->start);
        return 0;
    }
    errno = ENOTTY;
    return -1;
}

ssize_t SimMtd::pread(void* buf, size_t len, off_t offset)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (offset < 0 || static_cast<uint64_t>(offset) >= size_)
        return 0;
    size_t n = std::min<size_t>(len, size_ - static_cast<size_t>(offset));
    std::memcpy(buf, data_.data() + offset, n);
    return static_cast<ssize_t>(n);
}

ssize_t SimMtd::pwrite(const void* buf, size_t len, off_t offset)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (offset < 0 || static_cast<uint64_t>(offset) >= size_) {
        errno = ENOSPC;
        return -1;
    }
    size_t n = std::min<size_t>(len, size_ - static_cast<size_t>(offset));
    if (writeProtected_)
        return static_cast<ssize_t>(n);
    const auto* src = static_cast<const uint8_t*>(buf);
    const bool kept = changeAndPersist(static_cast<uint32_t>(offset), static_cast<uint32_t>(n), [src, n](uint8_t* at) {
        for (size_t i = 0; i < n; ++i)
            at[i] &= src[i];
    });
    if (!kept)
        return -1;
    appendToOpLog(writes_, n);
    return static_cast<ssize_t>(n);
}

std::vector<uint8_t> SimMtd::contents() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return data_;
}

std::vector<uint32_t> SimMtd::eraseOffsets() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return {erases_.begin(), erases_.end()};
}

std::vector<uint32_t> SimMtd::unlockOffsets() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return {unlocks_.begin(), unlocks_.end()};
}

std::vector<size_t> SimMtd::writeLengths() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return {writes_.begin(), writes_.end()};
}

void SimMtd::clearCounters()
{
    std::lock_guard<std::mutex> lock(mutex_);
    erases_.clear();
    unlocks_.clear();
    writes_.clear();
}

void SimMtd::setInfoFails(bool fails)
{
    std::lock_guard<std::mutex> lock(mutex_);
    infoFails_ = fails;
}

void SimMtd::failEraseAfter(int n)
{
    std::lock_guard<std::mutex> lock(mutex_);
    failErase_ = n;
}

void SimMtd::setWriteProtected(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    writeProtected_ = on;
}

}  // namespace platform::sim
