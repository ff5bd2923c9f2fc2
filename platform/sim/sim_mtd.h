// A simulated MTD partition on NOR flash, stored in a file under the box
// root: erase sets 0xFF a whole erase block at a time, programming only
// clears bits (the new byte is the AND of old and written).
#pragma once

#include "platform/sim/sim.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform::sim {

class SimMtd : public SimDevice {
public:
    SimMtd(const std::string& backingBoxPath, uint32_t size, uint32_t eraseSize, uint32_t writeSize);

    int ioctl(unsigned long request, void* arg) override;
    ssize_t pread(void* buf, size_t len, off_t offset) override;
    ssize_t pwrite(const void* buf, size_t len, off_t offset) override;

    uint32_t size() const { return size_; }
    uint32_t eraseSize() const { return eraseSize_; }
    uint32_t writeSize() const { return writeSize_; }
    std::vector<uint8_t> contents() const;

    // What the partition was asked (the last kOpLogKept of each), for tests.
    std::vector<uint32_t> eraseOffsets() const;
    std::vector<uint32_t> unlockOffsets() const;
    std::vector<size_t> writeLengths() const;
    void clearCounters();
    // Fault injection: MEMGETINFO fails; the n-th erase from now fails (0 = none).
    void setInfoFails(bool fails);
    void failEraseAfter(int n);
    // While set, erases and writes are answered as done and change nothing
    // (a write-protected flash that does not say so).
    void setWriteProtected(bool on);

private:
    // Stores the bytes in the backing file; false when the host did not
    // take them all. Every change is stored at once, so the partition keeps
    // the device's persist(), which has nothing left to write.
    bool store(uint32_t offset, uint32_t len);
    // Applies `change` to data_[offset, offset + len) and stores the range;
    // a range the backing file did not take is put back as it was, with
    // errno EIO: the partition never holds what it could not keep.
    template <class Change>
    bool changeAndPersist(uint32_t offset, uint32_t len, Change change);

    mutable std::mutex mutex_;
    std::string backing_;
    uint32_t size_, eraseSize_, writeSize_;
    std::vector<uint8_t> data_;
    std::deque<uint32_t> erases_, unlocks_;
    std::deque<size_t> writes_;
    bool infoFails_ = false;
    int failErase_ = 0;
    bool writeProtected_ = false;
};

}  // namespace platform::sim
