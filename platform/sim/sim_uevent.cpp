#include "platform/sim/sim_uevent.h"

#include "platform/platform.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

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

std::atomic<unsigned> g_seqnum{0};

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

ssize_t ueventRecv(int fd, void* buf, size_t len) { return ::recv(fd, buf, len, MSG_DONTWAIT); }

int ueventClose(int fd)
{
    Source& s = source();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (fd == s.boxFd) {
            ::close(s.kernelFd);
            s.kernelFd = -1;
            s.boxFd = -1;
            s.handedOut = false;
        }
    }
    return ::close(fd);
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
    std::error_code ec;
    if (isSymlink(mount))
        fs::remove(mount, ec);
    if (fs::exists(mount, ec)) {
        std::fprintf(stderr, "simulated box: %s is taken by a real folder; no stick inserted\n", kStickMount);
        return false;
    }
    fs::create_directory_symlink(stick, mount, ec);
    if (ec) {
        std::fprintf(stderr, "simulated box: cannot show %s at %s (%s)\n", dir.c_str(), kStickMount,
                     ec.message().c_str());
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
    std::error_code ec;
    const std::string mount = path(kStickMount);
    if (!mount.empty() && isSymlink(mount))
        fs::remove(mount, ec);
    const std::string proc = path(kUsbStorageProc);
    if (!proc.empty())
        fs::remove_all(proc, ec);
}

bool usbStickInserted()
{
    const std::string mount = path(kStickMount);
    return !mount.empty() && isSymlink(mount);
}

// ---------------------------------------------------------------- the control pipe

namespace {

void runUsbCommand(const std::string& line)
{
    const size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string arg = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (verb == "insert") {
        const std::string dir = arg.empty() ? std::string(kStickDir) : arg;
        if (dir[0] != '/') {
            std::fprintf(stderr, "simulated box: \"%s\": the stick folder is a box path (/...)\n", line.c_str());
            return;
        }
        if (usbStickInsert(dir))
            std::fprintf(stderr, "simulated box: USB stick inserted (%s at %s)\n", dir.c_str(), kStickMount);
    } else if (verb == "remove" && arg.empty()) {
        usbStickRemove();
        std::fprintf(stderr, "simulated box: USB stick removed\n");
    } else if (!line.empty()) {
        std::fprintf(stderr, "simulated box: \"%s\" is not a stick command (insert [DIR], remove)\n", line.c_str());
    }
}

// Reads commands forever. The pipe is held open for writing too, so it
// never reports an end while writers come and go; the read blocks.
void usbControlLoop(int fd)
{
    constexpr size_t kLongestLine = 4096;
    std::string pending;
    char buf[256];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        pending.append(buf, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            runUsbCommand(line);
        }
        if (pending.size() > kLongestLine)
            pending.clear();
    }
}

}  // namespace

void startUsbControl()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string pipe = path(kUsbControlPipe);
        if (pipe.empty() || !makeDirs("/sim"))
            return;
        struct stat st;
        if (::lstat(pipe.c_str(), &st) == 0 && !S_ISFIFO(st.st_mode))
            ::unlink(pipe.c_str());
        if (::mkfifo(pipe.c_str(), 0600) < 0 && errno != EEXIST) {
            std::fprintf(stderr, "simulated box: no stick control pipe %s (%s)\n", pipe.c_str(), std::strerror(errno));
            return;
        }
        const int fd = ::open(pipe.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "simulated box: cannot open %s (%s)\n", pipe.c_str(), std::strerror(errno));
            return;
        }
        std::thread(usbControlLoop, fd).detach();
    });
}

}  // namespace sim
}  // namespace platform
