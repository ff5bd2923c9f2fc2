#include "platform/sim/sim_control.h"

#include "platform/box_state.h"
#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_edid.h"
#include "platform/sim/sim_fpga.h"
#include "platform/sim/sim_receiver.h"
#include "platform/sim/sim_uevent.h"
#include "platform/sim/sim_x518.h"
#include "platform/sim/sim_x518_memory.h"
#include "registers/fpga_regs.h"
#include "registers/tamix_regs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform::sim {
namespace {

using Args = std::vector<std::string>;

// ---------------------------------------------------------------- video inputs

// What a source the box's EDIDs describe can send: sides a detailed timing
// carries, whole rates whose frame period the chip's 24-bit counter holds
// at 27 MHz, and a pixel clock up to 655.35 MHz.
constexpr long kMaxSide = 4095;
constexpr long kMinRate = 2;
constexpr long kMaxRate = 240;
constexpr uint32_t kMaxPixelClockKhz = 655350;

std::string sourceOf(const std::string& word, long& source)
{
    if (controlNumber(word, 0, tamix::kSources - 1, source))
        return std::string();
    return "no input " + word + " (inputs 0-" + std::to_string(tamix::kSources - 1) + ")";
}

// "WxH@HZ" -> a timing; the reason when it is none the box could receive.
std::string formatOf(const std::string& word, SourceTiming& timing)
{
    const size_t x = word.find('x');
    const size_t at = word.find('@');
    long w = 0, h = 0, hz = 0;
    if (x == std::string::npos || at == std::string::npos || at < x || !controlNumber(word.substr(0, x), 0, 99999, w) ||
        !controlNumber(word.substr(x + 1, at - x - 1), 0, 99999, h) ||
        !controlNumber(word.substr(at + 1), 0, 99999, hz))
        return "the signal is WIDTHxHEIGHT@HZ, as 1920x1080@60";
    if (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide || hz < kMinRate || hz > kMaxRate)
        return word + " is out of range (sides 1-4095, 2-240 Hz)";
    timing = SourceTiming::progressive(uint16_t(w), uint16_t(h), double(hz));
    if (timing.pixelClockKhz() > kMaxPixelClockKhz)
        return word + " needs a pixel clock above 655.35 MHz";
    return std::string();
}

std::string plugCommand(const Args& a)
{
    long source = 0;
    SourceTiming timing;
    std::string why = sourceOf(a[0], source);
    if (why.empty())
        why = formatOf(a[1], timing);
    if (why.empty())
        plugSource(int(source), timing);
    return why;
}

std::string pullCommand(const Args& a)
{
    long source = 0;
    std::string why = sourceOf(a[0], source);
    if (!why.empty())
        return why;
    auto r = receiver(int(source));
    if (!r || !r->signal())
        return "nothing is plugged into input " + a[0];
    pullSource(int(source));
    return std::string();
}

// ---------------------------------------------------------------- sending ports

std::string portOf(const std::string& word, long& port)
{
    return controlNumber(word, 0, fpga::kSendPorts - 1, port) ? std::string()
                                                              : "no sending port " + word + " (ports 0-15)";
}

std::string portCommand(const Args& a)
{
    long port = 0;
    std::string why = portOf(a[0], port);
    if (!why.empty())
        return why;
    if (a[1] != "up" && a[1] != "down")
        return "a port goes up or down";
    auto board = fpgaBoard();
    if (!board)
        return "no FPGA board";
    if (a[1] == "up")
        board->connectPort(int(port), board->cards(int(port)));
    else
        board->cutPort(int(port));
    return std::string();
}

std::string cardsCommand(const Args& a)
{
    long port = 0, cards = 0;
    std::string why = portOf(a[0], port);
    if (!why.empty())
        return why;
    if (!controlNumber(a[1], 0, SimFpgaBoard::kMaxCards, cards))
        return "a chain holds 0-" + std::to_string(SimFpgaBoard::kMaxCards) + " cards";
    auto board = fpgaBoard();
    if (!board)
        return "no FPGA board";
    board->setCards(int(port), int(cards));
    return std::string();
}

// One card of a chain: "P C silent on|off", "P C recovery on|off" or
// "P C delay LOOKS".
constexpr long kMaxCardDelay = 100000;  // looks at FPGA 0's receive registers

std::string switchOf(const std::string& word, bool& on)
{
    on = word == "on";
    return on || word == "off" ? std::string() : "on or off, not " + word;
}

std::string cardCommand(const Args& a)
{
    long port = 0, card = 0;
    std::string why = portOf(a[0], port);
    if (!why.empty())
        return why;
    auto board = fpgaBoard();
    if (!board)
        return "no FPGA board";
    const int cards = board->cards(int(port));
    if (!controlNumber(a[1], 0, cards - 1, card))
        return "port " + a[0] + " has " + std::to_string(cards) + " cards";
    bool on = false;
    if (a[2] == "silent" || a[2] == "recovery") {
        why = switchOf(a[3], on);
        if (!why.empty())
            return why;
        if (a[2] == "silent")
            board->silenceCard(int(port), int(card), on);
        else
            board->setNeedsRecovery(int(port), int(card), on);
        return std::string();
    }
    long looks = 0;
    if (a[2] != "delay")
        return "a card is silent, needs recovery or answers after a delay";
    if (!controlNumber(a[3], 0, kMaxCardDelay, looks))
        return "a delay is 0-" + std::to_string(kMaxCardDelay) + " looks";
    board->setCardDelay(int(port), int(card), int(looks));
    return std::string();
}

// ---------------------------------------------------------------- USB stick

std::string usbCommand(const Args& a)
{
    if (a[0] == "remove" && a.size() == 1) {
        if (!usbStickInserted())
            return "no stick is in";
        usbStickRemove();
        return std::string();
    }
    if (a[0] != "insert")
        return "usb insert [DIR] or usb remove";
    const std::string dir = a.size() > 1 ? a[1] : std::string(kStickDir);
    if (dir[0] != '/')
        return "the stick's folder is a box path (/...)";
    if (usbStickInserted())
        return "a stick is in already";
    return usbStickInsert(dir) ? std::string() : "the folder " + dir + " cannot be shown at /mnt/usb1";
}

// ---------------------------------------------------------------- video chip

// The chip's SPI counters since start, one "name value" line each.
std::string chipCounters(const SimX518& chip)
{
    const SimX518::Counters c = chip.counters();
    const std::pair<const char*, uint64_t> lines[] = {
        {"calls", c.calls},   {"transfers", c.transfers}, {"bank_selects", c.bankSelects},
        {"writes", c.writes}, {"reads", c.reads},         {"rejected", c.rejected},
        {"failed", c.failed},
    };
    std::string text;
    for (const auto& [name, value] : lines)
        text += std::string(name) + " " + std::to_string(value) + "\n";
    return writeFileAtomic(kChipCounters, text) ? std::string() : std::string("cannot write ") + kChipCounters;
}

std::string chipCommand(const Args& a)
{
    auto chip = deviceAs<SimX518>(SimX518::kDevicePath);
    if (!chip)
        return "no video chip";
    if (!a.empty() && a[0] != "counters")
        return "chip takes no word but counters";
    if (!a.empty())
        return chipCounters(*chip);
    const SimX518Flash::Registers regs = chip->registers();
    std::string text;
    char line[16];
    for (size_t bank = 0; bank < regs.size(); ++bank)
        for (size_t address = 0; address < regs[bank].size(); ++address)
            if (regs[bank][address]) {
                std::snprintf(line, sizeof line, "%02zX:%02zX %02X\n", bank, address, regs[bank][address]);
                text += line;
            }
    return writeFileAtomic(kChipDump, text) ? std::string() : std::string("cannot write ") + kChipDump;
}

// What each input channel writes into the frame memory, and the bytes two
// channels share or a line longer than its step, to /sim/memory.txt.
std::string memoryCommand(const Args&)
{
    auto chip = deviceAs<SimX518>(SimX518::kDevicePath);
    if (!chip)
        return "no video chip";
    const std::string text = describeMemory(chip->registers());
    return writeFileAtomic(kMemoryDump, text) ? std::string() : std::string("cannot write ") + kMemoryDump;
}

// The colour table's background and character entries and any other that
// is not black, then the OSD engine's draw commands, oldest first (the last
// SimX518Osd::kLogCapacity).
std::string osdCommand(const Args&)
{
    auto chip = deviceAs<SimX518>(SimX518::kDevicePath);
    if (!chip)
        return "no video chip";
    std::string text;
    char line[32];
    for (int i = 0; i < SimX518Osd::kTableEntries; ++i)
        if (const uint32_t c = chip->osdColour(i);
            c || i == SimX518Osd::kBackgroundIndex || i == SimX518Osd::kCharacterIndex) {
            std::snprintf(line, sizeof line, "colour %d %06X\n", i, c);
            text += line;
        }
    for (const SimX518Osd::Command& c : chip->osdLog())
        text += SimX518Osd::describe(c) + "\n";
    return writeFileAtomic(kOsdDump, text) ? std::string() : std::string("cannot write ") + kOsdDump;
}

// ---------------------------------------------------------------- FPGAs

// Each FPGA's parameter memory, sixteen bytes a line ("F:OOO" and the bytes
// in hexadecimal), the lines that hold only zeros left out.
std::string fpgaMemoryText(SimFpgaBoard& board)
{
    constexpr int kRow = 16;
    std::string text;
    char cell[8];
    for (int f = 0; f < fpga::kFpgas; ++f) {
        const std::vector<uint8_t> memory = board.ram(f, 0, fpga::kRamSize);
        for (int at = 0; at < fpga::kRamSize; at += kRow) {
            const auto row = memory.begin() + at;
            if (std::all_of(row, row + kRow, [](uint8_t b) { return b == 0; }))
                continue;
            std::snprintf(cell, sizeof cell, "%d:%03X", f, at);
            text += cell + hexBytes(&*row, kRow) + '\n';
        }
    }
    return text;
}

// What a dump of the FPGA side wrote, or why it could not.
std::string dumpTo(const char* file, const std::string& text)
{
    return writeFileAtomic(file, text) ? std::string() : std::string("cannot write ") + file;
}

// "": the FPGAs' registers to /sim/fpga.txt; "memory": their parameter
// memories to /sim/fpga-memory.txt; "cards": the receiving cards of every
// sending port to /sim/cards.txt.
std::string fpgaCommand(const Args& a)
{
    if (!a.empty() && a[0] != "memory" && a[0] != "cards")
        return "fpga, fpga memory or fpga cards, not fpga " + a[0];
    auto board = fpgaBoard();
    if (!board)
        return "no FPGA board";
    if (!a.empty() && a[0] == "cards")
        return dumpTo(kCardsDump, board->describeCards());
    if (!a.empty())
        return dumpTo(kFpgaMemoryDump, fpgaMemoryText(*board));
    std::string text;
    char line[16];
    for (int f = 0; f < fpga::kFpgas; ++f)
        for (int r = 0; r < fpga::reg::kCount; ++r)
            if (const uint8_t v = board->reg(f, r)) {
                std::snprintf(line, sizeof line, "%d:%02X %02X\n", f, r, v);
                text += line;
            }
    return writeFileAtomic(kFpgaDump, text) ? std::string() : std::string("cannot write ") + kFpgaDump;
}

// ---------------------------------------------------------------- flashes

// "fpga0|fpga1|chip ADDR LEN": LEN bytes of that flash from ADDR (decimal)
// to /sim/flash.bin, so a person can compare what an upgrade wrote.
std::string flashCommand(const Args& a)
{
    const bool chipFlash = a[0] == "chip";
    if (!chipFlash && a[0] != "fpga0" && a[0] != "fpga1")
        return "the flashes are fpga0, fpga1 and chip";
    const long size = chipFlash ? long(SimX518Flash::kSize) : long(fpga::flash::kSize);
    long address = 0, length = 0;
    if (!controlNumber(a[1], 0, size - 1, address) || !controlNumber(a[2], 1, size - address, length))
        return "ADDR and LEN (decimal) lie inside the flash's " + std::to_string(size) + " bytes";
    std::vector<uint8_t> bytes;
    if (chipFlash) {
        auto chip = deviceAs<SimX518>(SimX518::kDevicePath);
        if (!chip)
            return "no video chip";
        bytes = chip->flash(uint32_t(address), size_t(length));
    } else {
        auto board = fpgaBoard();
        if (!board)
            return "no FPGA board";
        auto lock = board->lock();
        bytes = board->flash(a[0] == "fpga0" ? 0 : 1).read(uint32_t(address), uint32_t(length));
    }
    return writeFileAtomic(kFlashDump, bytes.data(), bytes.size()) ? std::string()
                                                                   : std::string("cannot write ") + kFlashDump;
}

// The simulated devices' commands. A new one is a line here (or, for the
// program's own parts, a platform::addControlCommand at start-up) and a
// paragraph in docs/simulated-box.md.
const ControlCommand kDeviceCommands[] = {
    {"plug", "SOURCE WxH@HZ", 2, 2, plugCommand},
    {"pull", "SOURCE", 1, 1, pullCommand},
    {"port", "P up|down", 2, 2, portCommand},
    {"cards", "P N", 2, 2, cardsCommand},
    {"card", "P C silent|recovery on|off | P C delay LOOKS", 4, 4, cardCommand},
    {"usb", "insert [DIR] | remove", 1, 2, usbCommand},
    {"chip", "[counters]", 0, 1, chipCommand},
    {"memory", "", 0, 0, memoryCommand},
    {"osd", "", 0, 0, osdCommand},
    {"fpga", "[memory|cards]", 0, 1, fpgaCommand},
    {"flash", "fpga0|fpga1|chip ADDR LEN", 3, 3, flashCommand},
};

// ---------------------------------------------------------------- the pipe

constexpr size_t kLongestLine = 4096;

void logOutcome(const std::string& outcome)
{
    // Something other than a plain file inside the root there is refused
    // on the console, told once; the outcome still goes to standard error.
    const int fd = platform::detail::openInPlace(kControlLog, O_WRONLY | O_APPEND | O_CREAT);
    const std::string text = outcome + "\n";
    if (fd >= 0 && ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        std::fprintf(stderr, "simulated box: control log %s: %s\n", kControlLog, std::strerror(errno));
    if (fd >= 0)
        ::close(fd);
    std::fprintf(stderr, "simulated box: %s\n", outcome.c_str());
}

int openPipe()
{
    const std::string pipe = path(kControlPipe);
    if (pipe.empty() || !makeDirs("/sim") || platform::detail::leavesRoot(kControlPipe, false))
        return -1;
    // Whatever else stands at the pipe's name goes (a symbolic link is
    // removed, never followed); a folder is not the box's to remove.
    struct stat st;
    const bool found = ::lstat(pipe.c_str(), &st) == 0;
    if (found && !S_ISFIFO(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            refuseFile(kControlPipe, "a folder, not a FIFO");
            return -1;
        }
        const bool gone = ::unlink(pipe.c_str()) == 0;
        if (!S_ISREG(st.st_mode))
            consoleLine("[files] %s is %s, not a FIFO: %s", kControlPipe,
                        S_ISLNK(st.st_mode)    ? "a symbolic link"
                        : S_ISSOCK(st.st_mode) ? "a socket"
                                               : "a device",
                        gone ? "removed" : "refused");
    }
    // A pipe made anew is opened under a name of its own and only then
    // put at the pipe's name: whoever finds the pipe finds it read, and a
    // writer's non-waiting open never fails in between.
    const bool kept = found && S_ISFIFO(st.st_mode);
    const std::string making = kept ? pipe : pipe + ".new";
    if (!kept) {
        ::unlink(making.c_str());  // left by a box that ended while making it
        if (::mkfifo(making.c_str(), 0600) < 0) {
            std::fprintf(stderr, "simulated box: no control pipe %s (%s)\n", pipe.c_str(), std::strerror(errno));
            return -1;
        }
    }
    // Opened for reading and writing a FIFO never waits; what came in its
    // place meanwhile is not kept.
    const int fd = ::open(making.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    const int flags = fd >= 0 ? ::fcntl(fd, F_GETFL) : -1;
    const bool opened = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode) && flags >= 0 &&
                        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
    if (!opened || (!kept && ::rename(making.c_str(), pipe.c_str()) != 0)) {
        std::fprintf(stderr, "simulated box: cannot open %s (%s)\n", pipe.c_str(), std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        if (!kept)
            ::unlink(making.c_str());
        return -1;
    }
    return fd;
}

// True while the pipe's name still leads to the FIFO open at `fd`.
bool pipeInPlace(int fd)
{
    return fd >= 0 && detail::sameFileAt(fd, path(kControlPipe));
}

// The pipe being read, in which box root, and what ends its reader. The
// reader watches the pipe's folder: a pipe removed or replaced while the
// box runs (rm, a file written in its place, the folder moved) is made
// again at once, so the box never goes deaf until a restart.
struct PipeReader {
    std::mutex mutex;
    std::thread thread;
    int fd = -1;       // the pipe; the reader's own while it runs
    int watch = -1;    // inotify on the pipe's folder
    int watched = -1;  // its watch of the folder
    int wake = -1;
    std::string root;

    // The reader: the pipe made again, and its folder watched again.
    void remake()
    {
        if (fd >= 0)
            ::close(fd);
        fd = openPipe();
        // The folder as it is now (one moved away is watched no more).
        if (watched >= 0)
            ::inotify_rm_watch(watch, watched);
        watched = ::inotify_add_watch(watch, path("/sim").c_str(),
                                      IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                          IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW);
    }

    void stopLocked()
    {
        if (thread.joinable()) {
            const uint64_t one = 1;
            if (::write(wake, &one, sizeof one) != sizeof one)
                std::fprintf(stderr, "simulated box: control pipe reader not woken (%s)\n", std::strerror(errno));
            thread.join();
        }
        for (int* d : {&fd, &watch, &wake})
            if (*d >= 0) {
                ::close(*d);
                *d = -1;
            }
        watched = -1;
        root.clear();
    }
};

// Runs every whole line `pending` holds and keeps the rest. `pending`
// holds a line from its first character on, unless that line was refused
// already (`overlong`): the length measured is the whole line's.
void runWholeLines(std::string& pending, bool& overlong)
{
    auto refuse = [](const std::string& line) {
        logOutcome("error " + line.substr(0, 40) + "...: longer than 4096 characters");
    };
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (overlong) {
            overlong = false;  // the end of a line refused already
            continue;
        }
        if (line.size() > kLongestLine) {
            refuse(line);
            continue;
        }
        const std::string outcome = runControlLine(line);
        if (!outcome.empty())
            logOutcome(outcome);
    }
    if (pending.size() > kLongestLine && !overlong) {
        refuse(pending);
        overlong = true;
    }
    if (overlong)
        pending.clear();
}

// Reads commands until `wake` is written. The pipe is held open for
// writing too, so it never reports an end while writers come and go.
void readPipe(PipeReader& r)
{
    nameThread("sim-control");
    std::string pending;
    bool overlong = false;  // the rest of a line too long to run is skipped
    char buf[512];
    for (;;) {
        pollfd fds[3] = {{r.wake, POLLIN, 0}, {r.watch, POLLIN, 0}, {r.fd, POLLIN, 0}};
        if (::poll(fds, r.fd >= 0 ? 3 : 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        if (fds[1].revents) {
            alignas(inotify_event) char events[4096];
            while (::read(r.watch, events, sizeof events) > 0) {
            }
            if (!pipeInPlace(r.fd)) {
                r.remake();
                pending.clear();
                overlong = false;
            }
            continue;
        }
        if (!(fds[2].revents & POLLIN))
            continue;
        const ssize_t n = ::read(r.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        pending.append(buf, static_cast<size_t>(n));
        runWholeLines(pending, overlong);
    }
}

PipeReader& pipeReader()
{
    static auto* r = new PipeReader;  // lives as long as the process
    return *r;
}

}  // namespace

bool startControlPipe()
{
    // Again at every start: a put-back empties the table of commands.
    for (const ControlCommand& c : kDeviceCommands)
        addControlCommand(c);
    addControlCommand(faultControlCommand());
    PipeReader& r = pipeReader();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.thread.joinable() && r.root == boxRoot())
        return true;
    r.stopLocked();
    r.wake = ::eventfd(0, EFD_CLOEXEC);
    r.watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (r.wake >= 0 && r.watch >= 0)
        r.remake();
    if (r.fd < 0) {
        r.stopLocked();
        return false;
    }
    r.thread = std::thread(readPipe, std::ref(r));
    r.root = boxRoot();
    boxstate::keepUntilPutBack(boxstate::Step::StopThreads, stopControlPipe);
    return true;
}

void stopControlPipe()
{
    PipeReader& r = pipeReader();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.stopLocked();
}

}  // namespace platform::sim
