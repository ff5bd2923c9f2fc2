#include "platform/sim/sim_mtd.h"

#include "platform/internal.h"
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <mtd/mtd-user.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::sim {

namespace {

// The most an erased tail or a copy is written at a time.
constexpr size_t kCopyPiece = 64 * 1024;

}  // namespace

SimMtd::SimMtd(const std::string& backingBoxPath, uint32_t size, uint32_t eraseSize, uint32_t writeSize)
    : boxPath_(backingBoxPath), size_(size), eraseSize_(eraseSize), writeSize_(writeSize)
{
    // A partition keeps its contents across restarts of the simulated box. A
    // tail the host does not take reads erased and shows at the first change.
    file_ = platform::detail::openInPlace(boxPath_, O_RDWR | O_CREAT);
    if (file_ >= 0)
        eraseTail(file_, size_);
}

SimMtd::~SimMtd()
{
    if (file_ >= 0)
        ::close(file_);
}

bool SimMtd::eraseTail(int fd, uint32_t size)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    const std::vector<uint8_t> erased(kCopyPiece, 0xFF);
    for (off_t at = st.st_size; at < static_cast<off_t>(size);) {
        const size_t n = std::min<size_t>(erased.size(), size - static_cast<size_t>(at));
        if (!platform::detail::writeAllAt(fd, erased.data(), n, at))
            return false;
        at += static_cast<off_t>(n);
    }
    return true;
}

void SimMtd::readBytes(uint8_t* out, size_t len, uint32_t offset) const
{
    size_t got = 0;
    while (file_ >= 0 && got < len) {
        const ssize_t n = ::pread(file_, out + got, len - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    std::fill(out + got, out + len, 0xFF);
}

int SimMtd::fileForChange()
{
    // The file last stored to is taken while it is still the partition's
    // own file at its place: not once its folder was moved out of the root,
    // nor once it has another name. What it holds is still what the
    // partition reads until another file takes its place.
    const std::string at = platform::path(boxPath_);
    if (file_ >= 0 && platform::detail::heldInPlace(file_, boxPath_))
        return eraseTail(file_, size_) ? file_ : -1;
    if (file_ >= 0 && platform::detail::sameFileAt(file_, at))
        return -1;  // the same file, refused (told)
    int fd = platform::detail::openInPlace(boxPath_, O_RDWR);
    if (fd < 0 && errno == ENOENT) {
        fd = platform::detail::openInPlace(boxPath_, O_RDWR | O_CREAT);
        std::vector<uint8_t> piece(kCopyPiece);
        for (uint32_t from = 0; fd >= 0 && from < size_; from += kCopyPiece) {
            const size_t n = std::min<size_t>(kCopyPiece, size_ - from);
            readBytes(piece.data(), n, from);
            if (!platform::detail::writeAllAt(fd, piece.data(), n, from)) {
                ::close(fd);
                ::unlink(at.c_str());  // made here, cut short: made again next time
                fd = -1;
            }
        }
    }
    if (fd < 0)
        return -1;
    if (file_ >= 0)
        ::close(file_);
    file_ = fd;
    return eraseTail(file_, size_) ? file_ : -1;
}

template <class Change>
bool SimMtd::changeAndPersist(uint32_t offset, uint32_t len, Change change)
{
    const int fd = fileForChange();
    std::vector<uint8_t> before(len);
    readBytes(before.data(), len, offset);
    std::vector<uint8_t> after = before;
    change(after.data());
    if (fd >= 0 && platform::detail::writeAllAt(fd, after.data(), len, offset))
        return true;
    if (fd >= 0)
        platform::detail::writeAllAt(fd, before.data(), len, offset);
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
    readBytes(static_cast<uint8_t*>(buf), n, static_cast<uint32_t>(offset));
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
    std::vector<uint8_t> bytes(size_);
    readBytes(bytes.data(), size_, 0);
    return bytes;
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
