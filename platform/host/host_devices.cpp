// Host back end: device nodes are answered by simulated devices; ordinary
// box files are real files under the box root.
#include "platform/host/host_internal.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// Simulated descriptors live far above any real one.
constexpr int kFirstSimFd = 1 << 20;

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<sim::SimDevice>> devices;
    std::set<std::string> missing;
    std::map<int, std::shared_ptr<sim::SimDevice>> open;
    int nextFd = kFirstSimFd;
};

Registry& registry()
{
    static Registry* r = new Registry;  // lives as long as the process
    return *r;
}

std::shared_ptr<sim::SimDevice> simFor(int fd)
{
    if (fd < kFirstSimFd)
        return nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.open.find(fd);
    return it == r.open.end() ? nullptr : it->second;
}

bool isSimFd(int fd)
{
    return fd >= kFirstSimFd;
}

}  // namespace

Backend backend()
{
    return Backend::Host;
}

int devOpen(const std::string& boxPath, int flags)
{
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        if (r.missing.count(boxPath)) {
            errno = ENOENT;
            return -1;
        }
        auto it = r.devices.find(boxPath);
        if (it != r.devices.end()) {
            int fd = r.nextFd++;
            r.open[fd] = it->second;
            return fd;
        }
    }
    // A device node nobody simulates does not exist on a host.
    if (boxPath.rfind("/dev/", 0) == 0 || boxPath.rfind("/proc/", 0) == 0 || boxPath.rfind("/sys/", 0) == 0) {
        errno = ENOENT;
        return -1;
    }
    std::string p = path(boxPath);
    if (p.empty()) {
        errno = EACCES;
        return -1;
    }
    return ::open(p.c_str(), flags | O_CLOEXEC, 0644);
}

int devClose(int fd)
{
    if (!isSimFd(fd))
        return ::close(fd);
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.open.erase(fd) == 0) {
        errno = EBADF;
        return -1;
    }
    return 0;
}

#define KEL_SIM_CALL(fd, call, realcall) \
    do {                                 \
        if (!isSimFd(fd))                \
            return realcall;             \
        auto dev = simFor(fd);           \
        if (!dev) {                      \
            errno = EBADF;               \
            return -1;                   \
        }                                \
        return dev->call;                \
    } while (0)

int devIoctl(int fd, unsigned long request, void* arg)
{
    KEL_SIM_CALL(fd, ioctl(request, arg), ::ioctl(fd, request, arg));
}

ssize_t devPread(int fd, void* buf, size_t len, off_t offset)
{
    KEL_SIM_CALL(fd, pread(buf, len, offset), ::pread(fd, buf, len, offset));
}

ssize_t devPwrite(int fd, const void* buf, size_t len, off_t offset)
{
    KEL_SIM_CALL(fd, pwrite(buf, len, offset), ::pwrite(fd, buf, len, offset));
}

void* devMmap(int fd, size_t len, off_t offset)
{
    auto dev = simFor(fd);
    if (!dev) {
        errno = EBADF;
        return nullptr;
    }
    return dev->mmap(len, offset);
}

int devMunmap(void* addr, size_t len)
{
    // Simulated windows belong to their device; nothing to release.
    (void)addr;
    (void)len;
    return 0;
}

namespace sim {

SimDevice::~SimDevice() = default;
// clang-format off
int SimDevice::ioctl(unsigned long, void*) { errno = ENOTTY; return -1; }
ssize_t SimDevice::pread(void*, size_t, off_t) { errno = ESPIPE; return -1; }
ssize_t SimDevice::pwrite(const void*, size_t, off_t) { errno = ESPIPE; return -1; }
void* SimDevice::mmap(size_t, off_t) { errno = ENODEV; return nullptr; }
// clang-format on
void SimDevice::persist() {}

void registerDevice(const std::string& boxPath, std::shared_ptr<SimDevice> dev)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.devices[boxPath] = std::move(dev);
}

std::shared_ptr<SimDevice> device(const std::string& boxPath)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.devices.find(boxPath);
    return it == r.devices.end() ? nullptr : it->second;
}

void persistDevices()
{
    std::vector<std::shared_ptr<SimDevice>> devices;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (const auto& [path, dev] : r.devices)
            devices.push_back(dev);
    }
    // Outside the registry's lock: a device takes its own.
    for (const auto& dev : devices)
        dev->persist();
}

void setDeviceMissing(const std::string& boxPath, bool missing)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (missing)
        r.missing.insert(boxPath);
    else
        r.missing.erase(boxPath);
}

}  // namespace sim

namespace host {

void clearDevices()
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.devices.clear();
    r.missing.clear();
    // Descriptors still open keep their device alive until closed.
}

}  // namespace host
}  // namespace platform
