// Host back end: bringing up the simulated box.
#include "platform/box_state.h"
#include "platform/host/host_internal.h"
#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_control.h"
#include "platform/sim/sim_fpga.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_mtd.h"
#include "platform/sim/sim_receiver.h"
#include "platform/sim/sim_soc_window.h"
#include "platform/sim/sim_x518.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace platform {
namespace {

// The directories a freshly flashed box has.
const char* const kBoxDirs[] = {
    "/data", "/data/app", "/data/configs", "/data/modes", "/dev", "/etc", "/mnt", "/proc", "/sim", "/tmp",
};

// Flash partitions the box writes images into: name, size, erase block, write unit.
struct MtdSpec {
    const char* node;
    uint32_t size;
    uint32_t eraseSize;
    uint32_t writeSize;
};
const MtdSpec kMtdPartitions[] = {
    {"/dev/mtd8", 0x60000, 0x10000, 0x100},
    {"/dev/mtd10", 0x500000, 0x10000, 0x100},
};

// A folder under the box root for the desktop files: the one at `boxPath`,
// or while something else stands there (refused, told), a fresh one beside
// it. Empty when none can be made inside the root.
std::string desktopFolder(const std::string& boxPath)
{
    if (makeDirs(boxPath))  // one that leads out of the root is refused, told
        return path(boxPath);
    if (detail::leavesRoot(boxPath, false))
        return std::string();
    struct stat st {};
    if (!detail::leavesRoot(boxPath, true) && ::lstat(path(boxPath).c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        refuseFile(boxPath, "not a folder");
    std::string fresh = path(boxPath + "-XXXXXX");
    return ::mkdtemp(fresh.data()) ? fresh : std::string();
}

// Qt and fontconfig keep runtime, cache and configuration files in the XDG
// directories; the simulated box keeps them under its root instead. A runtime
// directory that is already set (a desktop session) is kept: the display
// connection lives there.
void keepDesktopFilesInTheRoot()
{
    struct Dir {
        const char* var;
        const char* boxPath;
        bool keepExisting;
    };
    const Dir dirs[] = {
        {"XDG_RUNTIME_DIR", "/xdg-runtime", true},
        {"XDG_CACHE_HOME", "/xdg-cache", false},
        {"XDG_CONFIG_HOME", "/xdg-config", false},
        {"XDG_DATA_HOME", "/xdg-data", false},
    };
    // In /tmp, or beside it while it is refused: never in the user's home.
    const std::string scratch = scratchFolder();
    for (const Dir& d : dirs) {
        if (d.keepExisting && std::getenv(d.var))
            continue;
        const std::string folder = scratch.empty() ? std::string() : desktopFolder(scratch + d.boxPath);
        if (folder.empty())
            continue;
        ::chmod(folder.c_str(), 0700);
        ::setenv(d.var, folder.c_str(), 1);
    }
}

}  // namespace

namespace host {

void installDefaultDevices()
{
    for (const auto& m : kMtdPartitions)
        sim::registerDevice(m.node, std::make_shared<sim::SimMtd>(m.node, m.size, m.eraseSize, m.writeSize));
    sim::registerDevice("/dev/mem", std::make_shared<sim::SimSocWindow>());
    sim::registerDevice(sim::SimX518::kDevicePath, std::make_shared<sim::SimX518>(sim::SimX518::kFlashFile));
    sim::installFpgaDevices();
    sim::installVideoInputs();
}

}  // namespace host

namespace sim {

namespace {
std::atomic<DiskFault> g_diskFault = boxstate::startValue(g_diskFault, DiskFault::kNone);
}  // namespace

void setDiskFault(DiskFault fault)
{
    g_diskFault = fault;
    detail::setDataWriteFault(fault == DiskFault::kFull ? ENOSPC : fault == DiskFault::kReadOnly ? EROFS : 0);
}

DiskFault diskFault()
{
    return g_diskFault.load();
}

void setDiskSlow(uint32_t msPerMiB)
{
    detail::setSyncPace(msPerMiB);
}

int slowSyncsWaiting()
{
    return detail::syncsWaiting();
}

void resetBox(const std::string& rootDir)
{
    // What the devices of the box before keep goes to that box's root.
    persistDevices();
    setDiskFault(DiskFault::kNone);
    setDiskSlow(0);
    detail::setBoxRoot(rootDir);
    for (const char* d : kBoxDirs)
        makeDirs(d);
    host::resetShell();
    host::clearDevices();
    sim::SimHidBus::instance().reset();
    host::installDefaultDevices();
}

}  // namespace sim

const std::vector<Option>& options()
{
    static const std::vector<Option> kOptions = boxstate::constant(
        kOptions,
        std::vector<Option>{
            {"--box-root", "DIR", "the folder the box's files live in (default ./box-root); one box to a root"},
            {"--address", "127.A.B.C", "the loopback address its servers listen on (default 127.0.0.1)"},
            {"--fpgas", "1", "a board with one FPGA (default two)"},
        });
    return kOptions;
}

InitResult init(int& argc, char** argv)
{
    std::string root = detail::takeOption(argc, argv, "--box-root").value_or("");
    if (root.empty())
        root = "box-root";
    const auto address = detail::takeOption(argc, argv, "--address");
    if (address && !sim::setBoxAddress(*address)) {
        std::fprintf(stderr,
                     "simulated box: --address \"%s\" refused: give a host address in 127.0.0.0/8 "
                     "as a dotted quad (127.0.0.2)\n",
                     address->c_str());
        return InitResult::BadValue;
    }
    const auto fpgas = detail::takeOption(argc, argv, "--fpgas");
    const int fitted = fpgas && fpgas->size() == 1 ? fpgas->front() - '0' : 0;
    if (fpgas && fitted != 1 && fitted != 2) {
        std::fprintf(stderr, "simulated box: --fpgas \"%s\" refused: the board has 1 or 2 FPGAs\n", fpgas->c_str());
        return InitResult::BadValue;
    }
    // Nothing of the root is touched before the box holds it: a second box
    // on a root in use ends here and leaves the first one all it has.
    detail::setBoxRoot(root);
    if (!host::holdRoot(boxRoot()))
        return InitResult::RootRefused;
    // Before any other thread runs: Landlock holds for the threads made later.
    const std::string confined = host::confineToRoot(boxRoot());
    sim::resetBox(root);
    if (fpgas)
        sim::setFpgasFitted(fitted);
    // The running box's video chip lets frames pass in real time; tests keep
    // the instant clock a fresh chip starts with.
    if (auto chip = sim::deviceAs<sim::SimX518>(sim::SimX518::kDevicePath))
        chip->setClock(sim::SimX518::Clock::Timed);
    keepDesktopFilesInTheRoot();
    // Without a display the simulated box still runs, drawing offscreen.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::fprintf(stderr, "simulated box: root %s, shell journal %s, address %s\n", boxRoot().c_str(),
                 path("/sim/shell.log").c_str(), sim::boxAddress().c_str());
    std::fprintf(stderr, "simulated box: %s\n", confined.c_str());
    // A person drives the simulated devices, keys and LCD through a pipe.
    if (sim::startControlPipe())
        std::fprintf(stderr, "simulated box: commands: echo \"key ok\" > %s, outcomes in %s\n",
                     path(sim::kControlPipe).c_str(), path(sim::kControlLog).c_str());
    return InitResult::Run;
}

}  // namespace platform
