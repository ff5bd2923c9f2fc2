// A simulated MTD partition on NOR flash, stored in a file under the box
// root: erase sets 0xFF a whole erase block at a time, programming only
// clears bits (the new byte is the AND of old and written). The file is the
// partition's only copy: nothing of it is held in memory.
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

    ~SimMtd() override;
    SimMtd(const SimMtd&) = delete;
    SimMtd& operator=(const SimMtd&) = delete;

private:
    // The bytes [offset, offset + len) as the file holds them; what lies
    // past its end, or the whole range without a file, reads erased.
    void readBytes(uint8_t* out, size_t len, uint32_t offset) const;
    // Makes a file shorter than the partition whole, its tail erased.
    static bool eraseTail(int fd, uint32_t size);
    // The file a change goes to: the one at the partition's path while it is
    // a plain file inside the box root (one put there in place of the last
    // is taken as it is); a file gone meanwhile is made anew with what the
    // partition held. -1 while something else stands there, told once.
    int fileForChange();
    // Applies `change` to the bytes [offset, offset + len) and stores them;
    // a range the file did not take is put back as it was, with errno EIO:
    // the partition never holds what it could not keep.
    template <class Change>
    bool changeAndPersist(uint32_t offset, uint32_t len, Change change);

    mutable std::mutex mutex_;
    std::string boxPath_;
    uint32_t size_, eraseSize_, writeSize_;
    int file_ = -1;  // the file last stored to: the partition's bytes
    std::deque<uint32_t> erases_, unlocks_;
    std::deque<size_t> writes_;
    bool infoFails_ = false;
    int failErase_ = 0;
    bool writeProtected_ = false;
};

}  // namespace platform::sim
