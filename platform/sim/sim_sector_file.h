// The file a simulated flash keeps its contents in across restarts of the
// simulated box: one record per sector that holds anything, in address
// order, each its byte address (4 bytes, little-endian) and its bytes.
//
// The flash owns its sectors; this holds the file, the box root it belongs
// to and whether the contents changed since they were last written there.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace platform::sim {

class SectorFile {
public:
    // A change is written at the latest this long after the last write
    // while the flash is in use.
    static constexpr std::chrono::milliseconds kPersistEvery{200};

    // `what` names the flash on the console.
    SectorFile(const char* what, uint32_t sectorSize, uint32_t flashSize);

    // Keeps the contents in the file at `boxPath` from now on, and hands
    // each record it holds to `take` (its address and sectorSize bytes): a
    // file that is not what write() writes loads as far as it is sound.
    void open(const std::string& boxPath, const std::function<void(uint32_t address, const uint8_t* bytes)>& take);

    // The contents changed (nothing to keep without a file).
    void changed() { dirty_ = !path_.empty(); }
    bool dirty() const { return dirty_; }
    // A change to write now: the flash is being read, or kPersistEvery
    // passed since the last write.
    bool due(bool reading) const;
    // Writes the sectors (address, sectorSize bytes each) as the whole file
    // when they changed since they were last written. A box restarted on
    // another root keeps its own file; a root removed since keeps nothing.
    void write(const std::map<uint32_t, const uint8_t*>& sectors);

private:
    const char* what_;
    uint32_t sectorSize_;
    uint32_t flashSize_;
    std::string path_;
    std::string root_;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point written_{};
};

}  // namespace platform::sim
