// The control pipe's `fault` command: the simulated devices' fault switches
// by hand, so a person can try on a running box what the tests try. Each
// device is a row of kFaults; a new switch is a row and its function here,
// and a line in docs/simulated-box.md.
#include "platform/sim/sim_control.h"

#include "registers/fpga_regs.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_edid.h"
#include "platform/sim/sim_fpga.h"
#include "platform/sim/sim_mtd.h"
#include "platform/sim/sim_receiver.h"
#include "platform/sim/sim_x518.h"
#include "registers/tamix_regs.h"

#include <climits>

namespace platform::sim {
namespace {

using Args = std::vector<std::string>;

std::string onOff(const std::string& word, bool& on)
{
    on = word == "on";
    return on || word == "off" ? std::string() : "on or off, not " + word;
}

// "spi on|off" or "spi after N": the chip's SPI transfers fail until off
// (from the N-th transfer counted from now, with after); "flash on|off":
// the chip's serial flash ignores every erase and program.
constexpr long kMostTransfers = INT_MAX;

std::string chipFault(const Args& a)
{
    if (a[0] != "spi" && !(a[0] == "flash" && a.size() == 2))
        return "the chip's faults are spi and flash";
    auto chip = deviceAs<SimX518>(SimX518::kDevicePath);
    if (!chip)
        return "no video chip";
    if (a[0] == "flash") {
        bool on = false;
        if (std::string why = onOff(a[1], on); !why.empty())
            return why;
        chip->setFlashWriteProtected(on);
        return std::string();
    }
    if (a.size() == 3) {
        long n = 0;
        if (a[1] != "after" || !controlNumber(a[2], 1, kMostTransfers, n))
            return "spi after N (the N-th transfer from now fails, and every one after it)";
        chip->failTransfers(INT_MAX, int(n - 1));
        return std::string();
    }
    bool on = false;
    if (std::string why = onOff(a[1], on); !why.empty())
        return why;
    chip->failTransfers(on ? INT_MAX : 0);
    return std::string();
}

// Status reads a page program of a stuck FPGA flash stays busy for: longer
// than any driver waits.
constexpr int kStuckProgramReads = 1000000;
constexpr int kProgramReads = 1, kEraseReads = 2;

// "F on|off": FPGA F answers nothing (held in reset whatever its reset line
// says); "F flash on|off": its flash refuses every erase and program;
// "F flash stuck on|off": its flash's page programs never finish (a write
// that sticks); "F flash read on|off": every read of its flash fails (EIO).
std::string fpgaFault(const Args& a)
{
    long f = 0;
    if (!controlNumber(a[0], 0, fpga::kFpgas - 1, f))
        return "no FPGA " + a[0] + " (FPGAs 0-" + std::to_string(fpga::kFpgas - 1) + ")";
    const bool flash = a.size() >= 3;
    const bool stuck = a.size() == 4 && a[2] == "stuck";
    const bool reads = a.size() == 4 && a[2] == "read";
    if ((flash && a[1] != "flash") || (a.size() == 4 && !stuck && !reads))
        return "F on|off, F flash on|off, F flash stuck on|off or F flash read on|off";
    bool on = false;
    if (std::string why = onOff(a.back(), on); !why.empty())
        return why;
    auto board = fpgaBoard();
    if (!board)
        return "no FPGA board";
    if (!flash) {
        // The board's own switch takes the board's lock itself.
        board->holdInReset(int(f), on);
        return std::string();
    }
    auto lock = board->lock();
    if (stuck && !on)
        board->flash(int(f)).setBusyReads(0, 0);  // a program stuck now ends at once
    if (stuck)
        board->flash(int(f)).setBusyReads(on ? kStuckProgramReads : kProgramReads, kEraseReads);
    else if (reads)
        board->flash(int(f)).setReadsFail(on);
    else
        board->flash(int(f)).setWriteProtected(on);
    return std::string();
}

// "P on|off" for the device `what` of input P (0-3): `find` gives it, or
// null; `set` throws its switch.
template <class Find, class Set>
std::string inputSwitch(const Args& a, const std::string& noSuch, const std::string& what, Find find, Set set)
{
    long p = 0;
    if (!controlNumber(a[0], 0, tamix::kSources - 1, p))
        return noSuch + a[0] + " (inputs 0-" + std::to_string(tamix::kSources - 1) + ")";
    bool on = false;
    if (std::string why = onOff(a[1], on); !why.empty())
        return why;
    auto device = find(int(p));
    if (!device)
        return "no " + what + " on input " + a[0];
    set(*device, on);
    return std::string();
}

// "P on|off": the receiver of input P does not acknowledge.
std::string i2cFault(const Args& a)
{
    return inputSwitch(a, "no input ", "receiver", receiver, [](SimReceiver& r, bool on) { r.setSilent(on); });
}

// "P on|off": input P's EDID EEPROM takes no writes (its write-protect
// pin): they are acknowledged and change nothing.
std::string eepromFault(const Args& a)
{
    return inputSwitch(a, "no EDID EEPROM ", "EDID EEPROM", edidEeprom,
                       [](SimEdidEeprom& e, bool on) { e.setWriteProtected(on); });
}

// "full|readonly|off": the box's writes under /data fail with ENOSPC or
// EROFS until off. "slow MS": the sync of each file the box writes there
// waits MS milliseconds for every MiB of it, until "slow 0" or off.
constexpr long kSlowestSyncMs = 600000;

std::string diskFault(const Args& a)
{
    if (a[0] == "slow") {
        long ms = 0;
        if (a.size() != 2 || !controlNumber(a[1], 0, kSlowestSyncMs, ms))
            return "slow MS, the milliseconds 0-" + std::to_string(kSlowestSyncMs) + " a sync waits for each MiB";
        setDiskSlow(uint32_t(ms));
        return std::string();
    }
    if (a.size() != 1)
        return "disk full|readonly|off | slow MS";
    if (a[0] == "full") {
        setDiskFault(DiskFault::kFull);
    } else if (a[0] == "readonly") {
        setDiskFault(DiskFault::kReadOnly);
    } else if (a[0] == "off") {
        setDiskFault(DiskFault::kNone);
        setDiskSlow(0);
    } else {
        return "the disk is full, readonly, slow or off, not " + a[0];
    }
    return std::string();
}

// "N on|off": flash partition /dev/mtdN (the logo's 8, the kernel's 10)
// answers every erase and write as done and changes nothing, as a
// write-protected flash that does not say so.
std::string mtdFault(const Args& a)
{
    long n = 0;
    std::shared_ptr<SimMtd> mtd;
    if (controlNumber(a[0], 0, INT_MAX, n))
        mtd = deviceAs<SimMtd>("/dev/mtd" + std::to_string(n));
    if (!mtd)
        return "no flash partition /dev/mtd" + a[0];
    bool on = false;
    if (std::string why = onOff(a[1], on); !why.empty())
        return why;
    mtd->setWriteProtected(on);
    return std::string();
}

struct FaultSwitch {
    const char* device;
    const char* usage;
    size_t minArgs, maxArgs;  // after the device's name
    std::string (*run)(const Args&);
};

const FaultSwitch kFaults[] = {
    {"chip", "spi on|off | spi after N | flash on|off", 2, 3, chipFault},
    {"fpga", "F on|off | F flash on|off | F flash stuck on|off | F flash read on|off", 2, 4, fpgaFault},
    {"i2c", "P on|off", 2, 2, i2cFault},
    {"eeprom", "P on|off", 2, 2, eepromFault},
    {"disk", "full|readonly|off | slow MS", 1, 2, diskFault},
    {"mtd", "N on|off", 2, 2, mtdFault},
};

std::string usage()
{
    std::string text;
    for (const FaultSwitch& f : kFaults)
        text += std::string(text.empty() ? "" : "; ") + f.device + " " + f.usage;
    return text;
}

std::string faultCommand(const Args& a)
{
    for (const FaultSwitch& f : kFaults) {
        if (a[0] != f.device)
            continue;
        const Args rest(a.begin() + 1, a.end());
        if (rest.size() < f.minArgs || rest.size() > f.maxArgs)
            return std::string("fault ") + f.device + " " + f.usage;
        return f.run(rest);
    }
    return "the faults are " + usage();
}

}  // namespace

ControlCommand faultControlCommand()
{
    return {"fault", "DEVICE ...", 1, 5, faultCommand};
}

}  // namespace platform::sim
