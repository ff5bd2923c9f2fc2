#include "platform/sim/sim_fpga.h"

#include "platform/sim/sim_soc_window.h"
#include "registers/fpga_regs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/spi/spidev.h>
#include <sys/ioctl.h>

namespace platform::sim {

namespace reg = fpga::reg;

namespace {

// What each FPGA's program reports as its function code and date (BCD).
constexpr uint8_t kProgramVersion[2][4] = {{0x11, 0x15, 0x06, 0x24}, {0x12, 0x15, 0x06, 0x24}};
constexpr uint8_t kAgeStatusGood = 0x1F;

constexpr uint32_t kCsPad[SimFpgaBoard::kTargets] = {fpga::kPadCsFpga0, fpga::kPadCsFpga1, fpga::kPadCsFlash0,
                                                     fpga::kPadCsFlash1};
constexpr uint32_t kRstPad[2] = {fpga::kPadRstFpga0, fpga::kPadRstFpga1};

bool readOnly(int r)
{
    switch (r) {
    case reg::kVersion:
    case reg::kVersionDay:
    case reg::kVersionMonth:
    case reg::kVersionYear:
    case reg::kAgeStatus:
    case reg::kAgeCounter:
    case reg::kAgeStatus2:
    case reg::kState:
    case reg::kRxLenLo:
    case reg::kRxLenHi:
    case reg::kLinkLo:
    case reg::kLinkHi: return true;
    default: return false;
    }
}

bool padHigh(uint16_t word)
{
    return (word & fpga::kPadHigh) != 0;
}

}  // namespace

SimFpgaBoard::SimFpgaBoard()
{
    for (int f = 0; f < 2; ++f)
        resetFpga(f);
}

uint16_t SimFpgaBoard::pad(uint32_t offset) const
{
    auto win = deviceAs<SimSocWindow>(fpga::kMemNode);
    // Without the window every pad floats high: nothing selected, nothing held.
    return win ? win->read16(offset) : fpga::kPadHigh;
}

void SimFpgaBoard::resetFpga(int f)
{
    Fpga& x = fpga_[f];
    x.regs.fill(0);
    x.regs[reg::kCtrl] = reg::kCtrlReset;
    x.regs[reg::kScreenCtrl] = reg::kScreenCtrlReset;
    for (int i = 0; i < 4; ++i)
        x.regs[reg::kVersion + i] = kProgramVersion[f][i];
    x.regs[reg::kAgeStatus] = kAgeStatusGood;
    x.regs[reg::kState] = reg::kStateReset;
    x.inReset = true;
    if (f == 0) {
        rx_.clear();
        delayed_.clear();
        refreshRxRegs();
    }
}

void SimFpgaBoard::sampleReset(int f)
{
    Fpga& x = fpga_[f];
    const bool run = padHigh(pad(kRstPad[f])) && !x.held;
    if (!run && !x.inReset) {
        resetFpga(f);
        ++resets_[f];
    } else if (run && x.inReset) {
        x.inReset = false;
        x.regs[reg::kState] = reg::kStateLoading;
    }
}

bool SimFpgaBoard::transaction(Target target, const uint8_t* tx, uint8_t* rx, size_t len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::memset(rx, 0xFF, len);
    ++transactions_[target];
    // The FPGAs look at their reset lines whenever the bus is used.
    sampleReset(0);
    sampleReset(1);
    if (padHigh(pad(kCsPad[target]))) {
        ++unselected_[target];
        return true;
    }
    if (target == kFlash0 || target == kFlash1)
        return flash_[target - kFlash0].transaction(tx, rx, len);
    const int f = target == kFpga0 ? 0 : 1;
    if (fpga_[f].inReset)
        return true;
    fpgaTransaction(f, tx, rx, len);
    // Each transaction while it powers up brings the FPGA one state further.
    uint8_t& state = fpga_[f].regs[reg::kState];
    if (state < reg::kStateRunning && ++state == reg::kStateRunning && f == 0)
        updateLinkRegs(true);
    return true;
}

void SimFpgaBoard::persist()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (SimNorFlash& f : flash_)
        f.persist();
}

void SimFpgaBoard::fpgaTransaction(int f, const uint8_t* tx, uint8_t* rx, size_t len)
{
    if (len < static_cast<size_t>(fpga::kSpiHeader))
        return;
    const uint8_t op = tx[0];
    const int addr = tx[1] << 8 | tx[2];
    const uint8_t* in = tx + fpga::kSpiHeader;
    uint8_t* out = rx + fpga::kSpiHeader;
    const int n = static_cast<int>(len) - fpga::kSpiHeader;
    Fpga& x = fpga_[f];
    switch (op) {
    case fpga::kOpRegWrite:
        for (int i = 0; i < n && addr + i < reg::kCount; ++i)
            writeReg(f, addr + i, in[i]);
        break;
    case fpga::kOpRegRead:
        // A look at the receive length lets the delayed replies come one
        // look nearer.
        if (f == 0 && addr <= reg::kRxLenLo && addr + n > reg::kRxLenLo)
            releaseDelayed();
        for (int i = 0; i < n && addr + i < reg::kCount; ++i)
            out[i] = readReg(f, addr + i);
        break;
    case fpga::kOpRamWrite:
        for (int i = 0; i < n && addr + i < fpga::kRamSize; ++i)
            x.ram[addr + i] = in[i];
        break;
    case fpga::kOpRamRead:
        for (int i = 0; i < n && addr + i < fpga::kRamSize; ++i)
            out[i] = x.ram[addr + i];
        break;
    case fpga::kOpFrameSend:
        if (f == 0)
            sendFrame(in, static_cast<size_t>(n));
        break;
    case fpga::kOpFrameReceive:
        if (f == 0 && !rx_.empty()) {
            const std::vector<uint8_t>& frame = rx_.front();
            std::copy_n(frame.begin(), std::min(frame.size(), static_cast<size_t>(n)), out);
            rx_.pop_front();
            refreshRxRegs();
        }
        break;
    default: break;
    }
}

uint8_t SimFpgaBoard::readReg(int f, int r)
{
    uint8_t& v = fpga_[f].regs[r];
    if (r == reg::kAgeCounter)
        return v++;  // the simulated FPGA counts one event per look
    return v;
}

void SimFpgaBoard::writeReg(int f, int r, uint8_t v)
{
    if (readOnly(r))
        return;
    uint8_t& cur = fpga_[f].regs[r];
    if (r == reg::kIntStatus)
        cur &= static_cast<uint8_t>(~(v & reg::kIntLinkChanged));
    else
        cur = v;
}

void SimFpgaBoard::updateLinkRegs(bool raise)
{
    Fpga& x = fpga_[0];
    uint16_t mask = 0;
    if (!x.inReset && x.regs[reg::kState] == reg::kStateRunning)
        for (int p = 0; p < fpga::kSendPorts; ++p)
            if (ports_[p].linked)
                mask |= static_cast<uint16_t>(1u << p);
    const uint16_t old = static_cast<uint16_t>(x.regs[reg::kLinkLo] | x.regs[reg::kLinkHi] << 8);
    x.regs[reg::kLinkLo] = static_cast<uint8_t>(mask);
    x.regs[reg::kLinkHi] = static_cast<uint8_t>(mask >> 8);
    if (raise && mask != old)
        x.regs[reg::kIntStatus] |= reg::kIntLinkChanged;
}

void SimFpgaBoard::sendFrame(const uint8_t* frame, size_t len)
{
    const Fpga& x = fpga_[0];
    fpga::RcvHeader h;
    if (x.regs[reg::kState] != reg::kStateRunning || (x.regs[reg::kCtrl] & reg::kCtrlStandby) ||
        !fpga::rcvParse(frame, static_cast<int>(len), &h))
        return;
    sent_.emplace_back(frame, frame + len);
    if (sent_.size() > kSentKept)
        sent_.pop_front();
    Port& port = ports_[h.port];
    if (!port.linked)
        return;
    for (size_t k = 0; k < port.cards.size(); ++k)
        if ((h.card == k || h.card == fpga::kCardAll) && !port.cards[k].silent)
            cardAnswer(h.port, static_cast<int>(k), port.cards[k], frame, len);
}

void SimFpgaBoard::cardAnswer(int port, int index, Card& card, const uint8_t* frame, size_t len)
{
    fpga::RcvHeader h;
    fpga::rcvParse(frame, static_cast<int>(len), &h);
    std::vector<uint8_t> reply;
    if (!cardCommand(index, card.state, h, frame + fpga::kRcvHeader, reply))
        return;  // a card ignores what it does not know or cannot do
    fpga::RcvHeader r = h;
    r.card = static_cast<uint16_t>(index);
    r.port = static_cast<uint8_t>(port);
    std::vector<uint8_t> out(fpga::kRcvHeader + reply.size() + 1);
    fpga::rcvBuild(out.data(), r, reply.data(), static_cast<int>(reply.size()));
    if (card.delay > 0)
        delayed_.push_back({card.delay, std::move(out)});
    else
        queueReply(out);
}

bool SimFpgaBoard::cardCommand(int index, CardState& card, const fpga::RcvHeader& h, const uint8_t* data,
                               std::vector<uint8_t>& reply)
{
    const uint32_t end = h.address + h.length;
    switch (h.command) {
    case fpga::kRcvSearch:
        reply.assign(1, card.needsRecovery && index < fpga::kRcvAnswerNone ? static_cast<uint8_t>(index)
                                                                           : fpga::kRcvAnswerNone);
        return true;
    case fpga::kRcvRead: {
        if (h.length != 2)
            return false;
        const uint32_t count = static_cast<uint32_t>(data[0] | data[1] << 8);
        if (count > fpga::kRcvMaxData || h.address > kCardMemory || count > kCardMemory - h.address)
            return false;
        reply.assign(card.memory.begin() + h.address, card.memory.begin() + h.address + count);
        return true;
    }
    case fpga::kRcvWrite:
        if (h.address > kCardMemory || end > kCardMemory)
            return false;
        std::copy_n(data, h.length, card.memory.begin() + h.address);
        return true;
    case fpga::kRcvPosition:
        if (h.length != fpga::kRcvPositionData)
            return false;
        for (int i = 0; i < 4; ++i)
            card.area[i] = static_cast<uint16_t>(data[2 * i] | data[2 * i + 1] << 8);
        card.placed = true;
        return true;
    case fpga::kRcvSave:
        card.saved = card.memory;
        card.needsRecovery = false;
        ++card.saves;
        return true;
    case fpga::kRcvMapping:
        if (h.length != 1)
            return false;
        card.mapping = data[0];
        return true;
    default: return false;
    }
}

void SimFpgaBoard::queueReply(const std::vector<uint8_t>& frame)
{
    if (rx_.size() >= kRxQueue)
        return;
    rx_.push_back(frame);
    refreshRxRegs();
}

void SimFpgaBoard::releaseDelayed()
{
    for (auto it = delayed_.begin(); it != delayed_.end();) {
        if (--it->polls > 0) {
            ++it;
            continue;
        }
        queueReply(it->frame);
        it = delayed_.erase(it);
    }
}

void SimFpgaBoard::refreshRxRegs()
{
    Fpga& x = fpga_[0];
    const size_t n = rx_.empty() ? 0 : rx_.front().size();
    x.regs[reg::kRxLenLo] = static_cast<uint8_t>(n);
    x.regs[reg::kRxLenHi] = static_cast<uint8_t>(n >> 8);
    if (rx_.empty())
        x.regs[reg::kIntStatus] &= static_cast<uint8_t>(~reg::kIntFrameWaiting);
    else
        x.regs[reg::kIntStatus] |= reg::kIntFrameWaiting;
}

// ------------------------------------------------------------------ test controls

void SimFpgaBoard::connectPort(int port, int cards)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ports_[port].linked = true;
    ports_[port].cards.resize(static_cast<size_t>(cards));
    updateLinkRegs(true);
}

void SimFpgaBoard::cutPort(int port)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ports_[port].linked = false;
    updateLinkRegs(true);
}

void SimFpgaBoard::setCards(int port, int cards)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ports_[port].cards.resize(static_cast<size_t>(cards));
}

int SimFpgaBoard::cards(int port)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(ports_[port].cards.size());
}

void SimFpgaBoard::silenceCard(int port, int card, bool silent)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ports_[port].cards.at(static_cast<size_t>(card)).silent = silent;
}

void SimFpgaBoard::setCardDelay(int port, int card, int polls)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ports_[port].cards.at(static_cast<size_t>(card)).delay = std::max(polls, 0);
}

void SimFpgaBoard::setNeedsRecovery(int port, int card, bool needs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ports_[port].cards.at(static_cast<size_t>(card)).state.needsRecovery = needs;
}

SimFpgaBoard::CardState SimFpgaBoard::card(int port, int card)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ports_[port].cards.at(static_cast<size_t>(card)).state;
}

std::vector<uint8_t> SimFpgaBoard::cardMemory(int port, int card)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ports_[port].cards.at(static_cast<size_t>(card)).state.memory;
}

namespace {

constexpr size_t kDumpRow = 16;  // bytes of a memory row in describeCards

// "card P C memory OOO: bb bb ..." for each row of `bytes` that `shown`
// picks (by its offset).
template <class Pick>
std::string memoryRows(const std::string& lead, const std::vector<uint8_t>& bytes, Pick shown)
{
    std::string text;
    char cell[16];
    for (size_t at = 0; at + kDumpRow <= bytes.size(); at += kDumpRow) {
        if (!shown(at))
            continue;
        std::snprintf(cell, sizeof cell, " %03zX:", at);
        text += lead + cell + hexBytes(bytes.data() + at, kDumpRow) + '\n';
    }
    return text;
}

}  // namespace

std::string hexBytes(const uint8_t* p, size_t n)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(3 * n);
    for (size_t i = 0; i < n; ++i) {
        text += ' ';
        text += kDigits[p[i] >> 4];
        text += kDigits[p[i] & 0xF];
    }
    return text;
}

std::string SimFpgaBoard::describeCards()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    char line[160];
    for (int p = 0; p < fpga::kSendPorts; ++p) {
        const Port& port = ports_[p];
        if (!port.linked && port.cards.empty())
            continue;
        std::snprintf(line, sizeof line, "port %d: link %s, %zu cards\n", p, port.linked ? "up" : "down",
                      port.cards.size());
        text += line;
        for (size_t c = 0; c < port.cards.size(); ++c) {
            const Card& card = port.cards[c];
            const CardState& s = card.state;
            const std::string name = "card " + std::to_string(p) + " " + std::to_string(c);
            std::string position = "position none";
            if (s.placed) {
                std::snprintf(line, sizeof line, "position %u %u %ux%u", s.area[0], s.area[1], s.area[2], s.area[3]);
                position = line;
            }
            std::snprintf(line, sizeof line, ": %s, mapping %u, saves %d, recovery %s", position.c_str(), s.mapping,
                          s.saves, s.needsRecovery ? "on" : "off");
            text += name + line;
            if (card.silent)
                text += ", silent";
            if (card.delay > 0)
                text += ", delay " + std::to_string(card.delay);
            if (s.memory != s.saved)
                text += ", changes not saved";
            text += '\n';
            const auto differs = [&s](size_t at) {
                return !std::equal(s.saved.begin() + long(at), s.saved.begin() + long(at + kDumpRow),
                                   s.memory.begin() + long(at));
            };
            text += memoryRows(name + " memory", s.memory, [&s](size_t at) {
                return std::any_of(s.memory.begin() + long(at), s.memory.begin() + long(at + kDumpRow),
                                   [](uint8_t b) { return b != 0; });
            });
            text += memoryRows(name + " saved", s.saved, differs);
        }
    }
    return text;
}

std::vector<std::vector<uint8_t>> SimFpgaBoard::sentFrames()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return {sent_.begin(), sent_.end()};
}

void SimFpgaBoard::clearSentFrames()
{
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.clear();
}

void SimFpgaBoard::holdInReset(int fpga, bool hold)
{
    std::lock_guard<std::mutex> lock(mutex_);
    fpga_[fpga].held = hold;
    sampleReset(fpga);
}

uint8_t SimFpgaBoard::state(int fpga)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sampleReset(fpga);
    return fpga_[fpga].regs[reg::kState];
}

uint8_t SimFpgaBoard::reg(int fpga, int r)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sampleReset(fpga);
    return fpga_[fpga].regs.at(static_cast<size_t>(r));
}

void SimFpgaBoard::setReg(int fpga, int r, uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    fpga_[fpga].regs.at(static_cast<size_t>(r)) = value;
}

std::vector<uint8_t> SimFpgaBoard::ram(int fpga, int addr, int len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto& m = fpga_[fpga].ram;
    return {m.begin() + addr, m.begin() + addr + len};
}

void SimFpgaBoard::setRam(int fpga, int addr, const std::vector<uint8_t>& data)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::copy(data.begin(), data.end(), fpga_[fpga].ram.begin() + addr);
}

SimNorFlash& SimFpgaBoard::flash(int n)
{
    return flash_[n];
}

int SimFpgaBoard::resets(int fpga)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sampleReset(fpga);
    return resets_[fpga];
}

int SimFpgaBoard::transactions(Target t)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return transactions_[t];
}

int SimFpgaBoard::unselectedTransactions(Target t)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return unselected_[t];
}

int SimFpgaBoard::wrongModeTransactions(Target t)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return wrongMode_[t];
}

void SimFpgaBoard::countWrongMode(Target t)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++wrongMode_[t];
}

void SimFpgaBoard::clearCounters()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::fill(std::begin(transactions_), std::end(transactions_), 0);
    std::fill(std::begin(unselected_), std::end(unselected_), 0);
    std::fill(std::begin(wrongMode_), std::end(wrongMode_), 0);
}

// ------------------------------------------------------------------ nodes

SimFpgaSpiNode::SimFpgaSpiNode(std::shared_ptr<SimFpgaBoard> board, SimFpgaBoard::Target target)
    : board_(std::move(board)), target_(target)
{}

int SimFpgaSpiNode::ioctl(unsigned long request, void* arg)
{
    std::lock_guard<std::mutex> lock(mutex_);
    switch (request) {
    case SPI_IOC_WR_MODE: mode_ = *static_cast<uint8_t*>(arg); return 0;
    case SPI_IOC_RD_MODE: *static_cast<uint8_t*>(arg) = mode_; return 0;
    case SPI_IOC_WR_BITS_PER_WORD: bits_ = *static_cast<uint8_t*>(arg); return 0;
    case SPI_IOC_RD_BITS_PER_WORD: *static_cast<uint8_t*>(arg) = bits_; return 0;
    case SPI_IOC_WR_MAX_SPEED_HZ: speed_ = *static_cast<uint32_t*>(arg); return 0;
    case SPI_IOC_RD_MAX_SPEED_HZ: *static_cast<uint32_t*>(arg) = speed_; return 0;
    default: break;
    }
    const size_t size = _IOC_SIZE(request);
    if (_IOC_TYPE(request) != SPI_IOC_MAGIC || _IOC_NR(request) != 0 || _IOC_DIR(request) != _IOC_WRITE || size == 0 ||
        size % sizeof(spi_ioc_transfer) != 0) {
        errno = ENOTTY;
        return -1;
    }
    // The transfers of one message share one chip-select frame.
    const auto* xfers = static_cast<const spi_ioc_transfer*>(arg);
    const size_t n = size / sizeof(spi_ioc_transfer);
    std::vector<uint8_t> tx, rx;
    for (size_t i = 0; i < n; ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(xfers[i].tx_buf));
        if (p)
            tx.insert(tx.end(), p, p + xfers[i].len);
        else
            tx.insert(tx.end(), xfers[i].len, 0);
    }
    rx.assign(tx.size(), 0xFF);
    if (mode_ != fpga::kSpiMode || bits_ != fpga::kSpiBits) {
        board_->countWrongMode(target_);
    } else if (!board_->transaction(target_, tx.data(), rx.data(), tx.size())) {
        errno = EIO;
        return -1;
    }
    size_t at = 0;
    for (size_t i = 0; i < n; ++i) {
        auto* p = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(xfers[i].rx_buf));
        if (p)
            std::memcpy(p, rx.data() + at, xfers[i].len);
        at += xfers[i].len;
    }
    return static_cast<int>(tx.size());
}

int SimMsys::ioctl(unsigned long request, void* arg)
{
    if (request != fpga::kMsysGetWindow) {
        errno = ENOTTY;
        return -1;
    }
    auto* win = static_cast<fpga::msys_window*>(arg);
    win->addr = SimSocWindow::kPhysBase;
    win->size = SimSocWindow::kSize;
    return 0;
}

// ------------------------------------------------------------------ the box's board

std::shared_ptr<SimFpgaBoard> fpgaBoard()
{
    auto node = deviceAs<SimFpgaSpiNode>(fpga::kSpiNodeFpga[0]);
    return node ? node->board() : nullptr;
}

bool setFpgasFitted(int fpgas)
{
    if (fpgas < 1 || fpgas > fpga::kFpgas)
        return false;
    for (const char* node : {fpga::kSpiNodeFpga[1], fpga::kSpiNodeFlash[1]})
        setDeviceMissing(node, fpgas < fpga::kFpgas);
    return true;
}

void installFpgaDevices()
{
    if (auto win = deviceAs<SimSocWindow>(fpga::kMemNode)) {
        for (uint32_t cs : kCsPad)
            win->write16(cs, fpga::kCsReleased);
        for (uint32_t rst : kRstPad)
            win->write16(rst, fpga::kRstHold);
    }
    auto board = std::make_shared<SimFpgaBoard>();
    const SimFpgaBoard::Target targets[] = {SimFpgaBoard::kFpga0, SimFpgaBoard::kFpga1, SimFpgaBoard::kFlash0,
                                            SimFpgaBoard::kFlash1};
    const char* nodes[] = {fpga::kSpiNodeFpga[0], fpga::kSpiNodeFpga[1], fpga::kSpiNodeFlash[0],
                           fpga::kSpiNodeFlash[1]};
    for (int i = 0; i < SimFpgaBoard::kTargets; ++i)
        registerDevice(nodes[i], std::make_shared<SimFpgaSpiNode>(board, targets[i]));
    registerDevice(fpga::kMsysNode, std::make_shared<SimMsys>());

    // Each of the two ports drives one half of a 1920 x 1080 canvas.
    board->connectPort(0, 4);
    board->connectPort(1, 2);
    const uint16_t areas[2][4] = {{0, 0, 1920, 540}, {0, 540, 1920, 540}};
    for (int p = 0; p < 2; ++p) {
        std::vector<uint8_t> bytes;
        for (uint16_t v : areas[p]) {
            bytes.push_back(static_cast<uint8_t>(v));
            bytes.push_back(static_cast<uint8_t>(v >> 8));
        }
        board->setRam(0, fpga::portAreaOffset(p), bytes);
    }
}

}  // namespace platform::sim
