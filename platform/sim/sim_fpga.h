// The simulated FPGA side of the box: two FPGAs with their registers and
// parameter memories, a NOR flash behind each, the sixteen sending ports of
// FPGA 0 with chains of receiving cards, and /dev/msys. The FPGAs speak the
// framing of registers/fpga_regs.h on /dev/spidev32766.1 to .4, answer only while
// their GPIO chip select in the SoC window (/dev/mem) is low, and read their
// reset lines from the same window whenever any of the four nodes is used.
#pragma once

#include "platform/sim/sim.h"
#include "platform/sim/sim_fpga_flash.h"
#include "registers/fpga_regs.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::sim {

class SimFpgaBoard {
public:
    static constexpr int kCardMemory = 4096;  // bytes of memory per receiving card
    static constexpr size_t kRxQueue = 64;    // received frames FPGA 0 keeps
    static constexpr size_t kSentKept = 256;  // sent frames kept for tests
    static constexpr int kMaxCards = 256;     // the longest chain a port carries here

    enum Target { kFpga0, kFpga1, kFlash0, kFlash1, kTargets };
    // The files under the box root that keep the flashes' contents.
    static constexpr const char* kFlashFiles[2] = {"/sim/fpga0-flash.bin", "/sim/fpga1-flash.bin"};

    // The flashes hold what their files under the box root keep (erased on
    // a fresh root).
    SimFpgaBoard();

    // One chip-select frame on the node of `target`: `rx` gets what the
    // device drove, 0xFF where nothing drove the line. False when the
    // transfer fails.
    bool transaction(Target target, const uint8_t* tx, uint8_t* rx, size_t len);
    // Writes the flashes' contents to their files if they changed.
    void persist();

    // ---- sending ports and cards (test controls)
    // Link up, with a chain of `cards` receiving cards (0 = link but no card).
    // New cards start blank: parameter memory and saved copy 0, no position,
    // mapping off, nothing to report.
    void connectPort(int port, int cards);
    // Link down: the cable is pulled; the cards stay where they were.
    void cutPort(int port);
    // The port's chain becomes `cards` cards long; its link stays as it is.
    // Cards that stay keep their memory and faults.
    void setCards(int port, int cards);
    int cards(int port);
    // A silent card answers nothing (time-outs); a delayed one answers after
    // FPGA 0's receive registers have been looked at `polls` times (the
    // manager looks once a pass).
    void silenceCard(int port, int card, bool silent);
    void setCardDelay(int port, int card, int polls);
    // A card whose saved parameters are lost answers the search with its
    // place on the chain, until it is told to save again.
    void setNeedsRecovery(int port, int card, bool needs);
    struct CardState {
        std::vector<uint8_t> memory;  // parameter memory (kCardMemory bytes)
        std::vector<uint8_t> saved;   // its copy as last saved
        uint16_t area[4];             // x, y, width, height as last placed
        bool placed;                  // a position has been received
        uint8_t mapping;              // mapping byte as last received
        bool needsRecovery;
        int saves;  // save commands taken
    };
    CardState card(int port, int card);
    std::vector<uint8_t> cardMemory(int port, int card);
    // Every port with a link or cards and each of its cards as text, for a
    // person checking a job from outside (the control pipe's `fpga cards`,
    // docs/simulated-box.md): a line per port, a line per card (position,
    // mapping byte, saves, recovery flag, faults, changes not saved), then
    // its memory's non-zero rows and the rows its saved copy holds otherwise.
    std::string describeCards();
    // Frames FPGA 0 put on the ports, oldest first (at most kSentKept).
    std::vector<std::vector<uint8_t>> sentFrames();
    void clearSentFrames();

    // ---- FPGAs (test controls)
    // Holds the FPGA in reset whatever its reset line says.
    void holdInReset(int fpga, bool hold);
    uint8_t state(int fpga);
    int resets(int fpga);  // times the FPGA went from running into reset
    uint8_t reg(int fpga, int r);
    // Sets a register as the FPGA's own logic would (read-only ones too).
    void setReg(int fpga, int r, uint8_t value);
    std::vector<uint8_t> ram(int fpga, int addr, int len);
    void setRam(int fpga, int addr, const std::vector<uint8_t>& data);
    SimNorFlash& flash(int n);  // 0 behind FPGA 0, 1 behind FPGA 1; lock with lock()
    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(mutex_); }

    // ---- what the nodes were asked
    int transactions(Target t);
    int unselectedTransactions(Target t);  // chip select high: nobody answered
    int wrongModeTransactions(Target t);   // node not in mode 3, 8 bits
    void countWrongMode(Target t);
    void clearCounters();

private:
    struct Card {
        bool silent = false;
        int delay = 0;
        CardState state{
            std::vector<uint8_t>(kCardMemory, 0), std::vector<uint8_t>(kCardMemory, 0), {}, false, 0, false, 0};
    };
    struct Delayed {
        int polls;
        std::vector<uint8_t> frame;
    };
    struct Port {
        bool linked = false;
        std::vector<Card> cards;
    };
    struct Fpga {
        std::array<uint8_t, 171> regs{};
        std::vector<uint8_t> ram = std::vector<uint8_t>(1024, 0);
        bool inReset = true;
        bool held = false;
    };

    uint16_t pad(uint32_t offset) const;
    void resetFpga(int f);
    void sampleReset(int f);
    void fpgaTransaction(int f, const uint8_t* tx, uint8_t* rx, size_t len);
    uint8_t readReg(int f, int r);
    void writeReg(int f, int r, uint8_t v);
    void updateLinkRegs(bool raise);
    void sendFrame(const uint8_t* frame, size_t len);
    void cardAnswer(int port, int index, Card& card, const uint8_t* frame, size_t len);
    bool cardCommand(int index, CardState& card, const fpga::RcvHeader& h, const uint8_t* data,
                     std::vector<uint8_t>& reply);
    void queueReply(const std::vector<uint8_t>& frame);
    void releaseDelayed();
    void refreshRxRegs();

    std::mutex mutex_;
    Fpga fpga_[2];
    SimNorFlash flash_[2] = {SimNorFlash(kFlashFiles[0]), SimNorFlash(kFlashFiles[1])};
    Port ports_[16];
    std::deque<std::vector<uint8_t>> rx_;
    std::vector<Delayed> delayed_;  // replies of delayed cards, not yet in rx_
    std::deque<std::vector<uint8_t>> sent_;
    int resets_[2] = {};
    int transactions_[kTargets] = {};
    int unselected_[kTargets] = {};
    int wrongMode_[kTargets] = {};
};

// One spidev node of the board.
class SimFpgaSpiNode : public SimDevice {
public:
    SimFpgaSpiNode(std::shared_ptr<SimFpgaBoard> board, SimFpgaBoard::Target target);
    int ioctl(unsigned long request, void* arg) override;
    void persist() override { board_->persist(); }
    std::shared_ptr<SimFpgaBoard> board() const { return board_; }

private:
    std::shared_ptr<SimFpgaBoard> board_;
    SimFpgaBoard::Target target_;
    // Settings, kept per device as spidev does; a fresh device is in mode 0.
    std::mutex mutex_;
    uint8_t mode_ = 0;
    uint8_t bits_ = 8;
    uint32_t speed_ = 500000;
};

// /dev/msys: tells where the SoC register window is.
class SimMsys : public SimDevice {
public:
    int ioctl(unsigned long request, void* arg) override;
};

// The board of the simulated box, reached through /dev/spidev32766.1.
std::shared_ptr<SimFpgaBoard> fpgaBoard();
// A board with `fpgas` FPGAs (1 or 2; false for any other number): with one,
// the nodes of FPGA 1 and of its flash are missing, as on a board that has
// neither. Until the next resetBox().
bool setFpgasFitted(int fpgas);
// Installs the board, its four nodes and /dev/msys, after /dev/mem. The box
// starts with chip selects released, both FPGAs held in reset, and receiving
// cards on sending ports 0 (four cards) and 1 (two cards).
void installFpgaDevices();

// The bytes p[0, n) in hexadecimal, each after a space (" 0A FF"), as the
// control pipe's dumps give a row of memory.
std::string hexBytes(const uint8_t* p, size_t n);

}  // namespace platform::sim
