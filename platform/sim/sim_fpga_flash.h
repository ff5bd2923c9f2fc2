// A simulated 8 MiB SPI NOR flash as it sits behind an FPGA: the usual
// commands, erase to 0xFF, programming only clears bits and wraps inside its
// 256-byte page, write enable before every program or erase, and a busy time
// counted in status reads. Commands the chip would refuse (no write enable,
// busy) are refused and counted, so a driver that forgets either shows.
//
// A flash given a file keeps its contents across restarts of the simulated
// box, as the board's flashes keep theirs: the sectors that hold anything
// are loaded from the file when it is made and written back whole (a new
// file renamed over the old) once the flash changed, when it is next read,
// at the latest SectorFile::kPersistEvery after the change while it is in
// use, and when persist() is called (before a reboot, at a restart of the
// box).
#pragma once

#include "platform/sim/sim.h"
#include "platform/sim/sim_sector_file.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform::sim {

class SimNorFlash {
public:
    // `backingBoxPath`: the box path of the file that keeps the contents
    // (empty: none, the flash starts erased and forgets).
    explicit SimNorFlash(const std::string& backingBoxPath = {});

    // One chip-select frame: the bytes the master sent; `rx` gets what the
    // flash drove (0xFF where it drives nothing). Called with the board's
    // lock. False when the transfer fails (a read while reads fail).
    bool transaction(const uint8_t* tx, uint8_t* rx, size_t len);
    // Writes the contents to the file now if they changed since they were
    // last written. Called with the board's lock.
    void persist();

    // ---- inspection and control (tests)
    std::vector<uint8_t> read(uint32_t addr, uint32_t len) const;
    void fill(uint32_t addr, const std::vector<uint8_t>& data);  // as if programmed earlier
    int refusedCommands() const { return refused_; }
    // (command, address) of the erases carried out, the last kOpLogKept.
    std::vector<std::pair<uint8_t, uint32_t>> erases() const { return {erases_.begin(), erases_.end()}; }
    int pagePrograms() const { return programs_; }
    bool busy() const { return busyReads_ > 0; }
    // Status reads a program or an erase stays busy for.
    void setBusyReads(int program, int erase);
    // While set every erase and page program is refused (and counted), as a
    // flash whose writes no longer take.
    void setWriteProtected(bool on) { writeProtected_ = on; }
    // While set every read command fails as a broken SPI transfer does:
    // the driver's call fails with EIO.
    void setReadsFail(bool on) { readsFail_ = on; }
    // Called after each erase is carried out, with the board's lock held:
    // a test's event at a known point of a write (a stick pulled, say).
    void setEraseHook(std::function<void()> hook) { eraseHook_ = std::move(hook); }
    void clearCounters();

private:
    uint8_t* sector(uint32_t addr, bool create);
    uint8_t byteAt(uint32_t addr) const;
    void erase(uint8_t cmd, uint32_t addr);
    void program(uint32_t addr, const uint8_t* data, size_t len);

    SectorFile file_;

    // 4 KB sectors, created when first written; an absent one reads 0xFF.
    std::map<uint32_t, std::unique_ptr<uint8_t[]>> sectors_;
    bool writeEnabled_ = false;
    bool writeProtected_ = false;
    bool readsFail_ = false;
    int busyReads_ = 0;
    int programBusy_ = 1;
    int eraseBusy_ = 2;
    int refused_ = 0;
    int programs_ = 0;
    std::deque<std::pair<uint8_t, uint32_t>> erases_;
    std::function<void()> eraseHook_;
};

}  // namespace platform::sim
