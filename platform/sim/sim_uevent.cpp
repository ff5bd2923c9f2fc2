#include "platform/sim/sim_uevent.h"

#include "platform/box_state.h"
#include "platform/internal.h"
#include "platform/platform.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The box's end and the kernel's end of the simulated source: a local
// packet socket pair keeps one event per message, as the netlink socket
// does, and lets the box's end be polled. The pair is made at the first
// event or open, so events sent before the watcher opens its end wait there.
struct Source {
    std::mutex mutex;
    int boxFd = -1;
    int kernelFd = -1;
    bool handedOut = false;  // the box's end belongs to a watcher

    // A new pair; the old box end, if a watcher holds it, stays its own.
    bool makePair()
    {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) < 0)
            return false;
        if (kernelFd >= 0)
            ::close(kernelFd);
        if (boxFd >= 0 && !handedOut)
            ::close(boxFd);
        boxFd = ends[0];
        kernelFd = ends[1];
        handedOut = false;
        return true;
    }
};

Source& source()
{
    static Source* s = new Source;
    return *s;
}

std::atomic<unsigned> g_seqnum = boxstate::startValue(g_seqnum, 0u);

// The kernel's message for a block device of the stick.
std::string blockEvent(const std::string& action, const std::string& devpath, const char* name, int minor,
                       const char* type)
{
    std::vector<std::string> keys = {"MAJOR=8", "MINOR=" + std::to_string(minor), std::string("DEVNAME=") + name,
                                     std::string("DEVTYPE=") + type};
    if (std::strcmp(type, "partition") == 0)
        keys.push_back("PARTN=1");
    return sim::ueventMessage(action, devpath, "block", keys);
}

bool isSymlink(const std::string& hostPath)
{
    struct stat st;
    return ::lstat(hostPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

// ---------------------------------------------------------------- host calls

int ueventOpen(int, uint32_t, uint32_t)
{
    Source& s = source();
    std::lock_guard<std::mutex> lock(s.mutex);
    // One source per box: a second open starts a new one.
    if ((s.kernelFd < 0 || s.handedOut) && !s.makePair())
        return -1;
    s.handedOut = true;
    return s.boxFd;
}

ssize_t ueventRecv(int fd, void* buf, size_t len)
{
    return ::recv(fd, buf, len, MSG_DONTWAIT);
}

namespace sim {

// ---------------------------------------------------------------- events

bool ueventSend(const std::string& message)
{
    Source& s = source();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.kernelFd < 0 && !s.makePair())
        return false;
    if (::send(s.kernelFd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
        std::fprintf(stderr, "simulated box: device event lost (%s)\n", std::strerror(errno));
        return false;
    }
    return true;
}

std::string ueventMessage(const std::string& action, const std::string& devpath, const std::string& subsystem,
                          const std::vector<std::string>& keys)
{
    std::string m = action + "@" + devpath;
    m.push_back('\0');
    auto line = [&m](const std::string& text) {
        m += text;
        m.push_back('\0');
    };
    line("ACTION=" + action);
    line("DEVPATH=" + devpath);
    line("SUBSYSTEM=" + subsystem);
    for (const std::string& k : keys)
        line(k);
    line("SEQNUM=" + std::to_string(++g_seqnum));
    return m;
}

bool ueventWaiting()
{
    Source& s = source();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.boxFd < 0)
        return false;
    pollfd p{s.boxFd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

// ---------------------------------------------------------------- the stick

bool usbStickInsert(const std::string& dir)
{
    const std::string stick = path(dir);
    const std::string mount = path(kStickMount);
    if (stick.empty() || mount.empty() || !makeDirs(dir) || !makeDirs("/mnt")) {
        std::fprintf(stderr, "simulated box: no stick folder %s inside the box root\n", dir.c_str());
        return false;
    }
    if (isSymlink(mount))
        ::unlink(mount.c_str());
    struct stat st {};
    if (::lstat(mount.c_str(), &st) == 0) {
        std::fprintf(stderr, "simulated box: %s is taken by a real folder; no stick inserted\n", kStickMount);
        return false;
    }
    if (::symlink(stick.c_str(), mount.c_str()) != 0) {
        std::fprintf(stderr, "simulated box: cannot show %s at %s (%s)\n", dir.c_str(), kStickMount,
                     std::strerror(errno));
        return false;
    }
    // The storage driver registers its host before the disk appears.
    makeDirs(kUsbStorageProc);
    ueventSend(blockEvent("add", kStickDiskPath, "sda", 0, "disk"));
    ueventSend(blockEvent("add", kStickPartitionPath, "sda1", 1, "partition"));
    return true;
}

void usbStickRemove()
{
    ueventSend(blockEvent("remove", kStickPartitionPath, "sda1", 1, "partition"));
    ueventSend(blockEvent("remove", kStickDiskPath, "sda", 0, "disk"));
    const std::string mount = path(kStickMount);
    if (!mount.empty() && isSymlink(mount))
        ::unlink(mount.c_str());
    const std::string proc = path(kUsbStorageProc);
    if (!proc.empty())
        detail::removeTree(proc);
}

bool usbStickInserted()
{
    const std::string mount = path(kStickMount);
    return !mount.empty() && isSymlink(mount);
}

}  // namespace sim
}  // namespace platform
