// The simulated box: the host back end's devices and the control surface
// that tests, benchmarks and the host box use on them. Host build only.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::sim {

// One simulated device node. Each call answers like the Linux driver would:
// -1 with errno set on failure.
class SimDevice {
public:
    virtual ~SimDevice();
    virtual int ioctl(unsigned long request, void* arg);
    virtual ssize_t pread(void* buf, size_t len, off_t offset);
    virtual ssize_t pwrite(const void* buf, size_t len, off_t offset);
    virtual void* mmap(size_t len, off_t offset);
    // Writes what the device keeps across restarts of the box to its file
    // now; most keep nothing.
    virtual void persist();
};

// Operation logs of the simulated devices keep their last entries only, so
// a long-running box fed commands does not grow.
constexpr size_t kOpLogKept = 4096;
template <class T>
void appendToOpLog(std::deque<T>& log, T entry)
{
    if (log.size() >= kOpLogKept)
        log.pop_front();
    log.push_back(std::move(entry));
}

// Device registry: a box path such as "/dev/mtd8" answered by a device.
void registerDevice(const std::string& boxPath, std::shared_ptr<SimDevice> dev);
std::shared_ptr<SimDevice> device(const std::string& boxPath);
template <class T>
std::shared_ptr<T> deviceAs(const std::string& boxPath)
{
    return std::dynamic_pointer_cast<T>(device(boxPath));
}
// While set, opening the node fails with ENOENT, as if the driver were absent.
void setDeviceMissing(const std::string& boxPath, bool missing);
// Every device's persist(): before a reboot and before a restart of the box
// (resetBox), so the next start finds what the devices held.
void persistDevices();

// Starts a fresh simulated box in `rootDir`: the box root is set, the
// directories of a freshly flashed box are created, the shell journal and
// the shell table are reset, and the default devices are installed.
void resetBox(const std::string& rootDir);

// ---- the disk
// The box's own writes under its data folders (/data) fail: kFull with
// ENOSPC (removals still work), kReadOnly with EROFS; kNone ends it.
// resetBox() ends it too.
enum class DiskFault { kNone, kFull, kReadOnly };
void setDiskFault(DiskFault fault);
DiskFault diskFault();
// A slow disk, as a busy flash is: while `msPerMiB` is not 0, the sync of
// every whole file the box writes under /data waits that many milliseconds
// for each MiB the file holds (an uploaded file of 5 MiB, 5 s at 1000; the
// parameter file of 4 KiB, 4 ms). 0 ends it, and every sync that waits
// goes on at once; resetBox() ends it too.
void setDiskSlow(uint32_t msPerMiB);
// The syncs that wait for the slow disk now.
int slowSyncsWaiting();

// ---- network
// Gives the box its own loopback address: every server binds it and every
// reply comes from it, so boxes with different addresses keep the same
// fixed ports side by side. Takes a host address in 127.0.0.0/8 as a dotted
// quad ("127.0.0.2"); anything else is refused and changes nothing. The
// address stays across resetBox(); it is 127.0.0.1 until set.
bool setBoxAddress(const std::string& dotted);
std::string boxAddress();

// ---- shell
// Raw system() result for every command that starts with `prefix` (the
// longest matching prefix wins). The default is 0 (success).
void setShellStatus(const std::string& prefix, int rawStatus);
// Text a command's output pipe gives (exact command match).
void setShellOutput(const std::string& cmd, const std::string& output);
// Commands seen since resetBox(), in order: the last kOpLogKept (every one
// is in <root>/sim/shell.log).
std::vector<std::string> shellJournal();
void clearShellJournal();
// Called when the box runs "reboot"; the default ends the process with
// exit status 3 so that the run script starts the box again.
void setRebootHandler(std::function<void()> handler);
int rebootCount();

}  // namespace platform::sim
