// Host back end of the serial ports and the network. A serial port is a
// pseudo-terminal whose other end is published under the box root; sockets
// stay on loopback, on the box's own address there.
#include "platform/box_state.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {
namespace {

struct PtyPort {
    int peerFd;        // our own descriptor of the other end, see serialOpen
    std::string link;  // <box root><box path>
    std::string peer;  // /dev/pts/N
};

constexpr uint32_t kLoopbackNet = 0x7F000000, kLoopbackMask = 0xFF000000;

std::atomic<uint32_t> g_boxAddress = boxstate::startValue(g_boxAddress, uint32_t{INADDR_LOOPBACK});

bool onLoopback(uint32_t address)
{
    return (address & kLoopbackMask) == kLoopbackNet;
}

std::mutex g_ptyMutex;
std::map<int, PtyPort>& ptyPorts()
{
    static auto* ports = new std::map<int, PtyPort>;  // lives as long as the process
    return *ports;
}

int failWith(int fd, int err)
{
    if (fd >= 0)
        ::close(fd);
    errno = err;
    return -1;
}

// Points the link at the peer, replacing whatever was there but a folder,
// which is not the box's to remove (refused, told once). Nothing is made
// through a folder outside the box root.
bool publish(const std::string& boxPath, const std::string& link, const std::string& peer)
{
    if (!makeDirs(fs::path(boxPath).parent_path().string()))
        return false;
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        refuseFile(boxPath, "a folder, not a serial port");
        errno = EISDIR;
        return false;
    }
    ::unlink(link.c_str());
    return ::symlink(peer.c_str(), link.c_str()) == 0;
}

}  // namespace

int serialOpen(const std::string& boxPath)
{
    const std::string link = path(boxPath);
    if (link.empty() || link.back() == '/')
        return failWith(-1, EACCES);
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0)
        return -1;
    char peer[PATH_MAX];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, peer, sizeof peer) != 0)
        return failWith(master, errno);
    // The box keeps the other end open itself: without it the master reads
    // end-of-file and polls as hung up for as long as no client is attached,
    // which a serial line never does.
    int peerFd = ::open(peer, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (peerFd < 0)
        return failWith(master, errno);
    if (!publish(boxPath, link, peer)) {
        int err = errno;
        ::close(peerFd);
        return failWith(master, err);
    }
    std::lock_guard<std::mutex> lock(g_ptyMutex);
    ptyPorts()[master] = PtyPort{peerFd, link, peer};
    return master;
}

int serialClose(int fd)
{
    PtyPort port{-1, {}, {}};
    {
        std::lock_guard<std::mutex> lock(g_ptyMutex);
        auto it = ptyPorts().find(fd);
        if (it != ptyPorts().end()) {
            port = it->second;
            ptyPorts().erase(it);
        }
    }
    if (port.peerFd >= 0) {
        ::close(port.peerFd);
        // Withdraw the link unless a newer port has taken it over.
        char target[PATH_MAX];
        ssize_t n = ::readlink(port.link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == port.peer)
            ::unlink(port.link.c_str());
    }
    return ::close(fd);
}

uint32_t netBindAddress()
{
    return g_boxAddress.load();
}

sockaddr_in netBroadcastReply(const sockaddr_in& sender)
{
    sockaddr_in to = sender;
    if (!onLoopback(ntohl(sender.sin_addr.s_addr)))
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return to;
}

namespace sim {

bool setBoxAddress(const std::string& dotted)
{
    in_addr parsed{};
    if (::inet_pton(AF_INET, dotted.c_str(), &parsed) != 1)
        return false;
    const uint32_t address = ntohl(parsed.s_addr);
    // The block's own network and broadcast addresses are no host's.
    const uint32_t host = address & ~kLoopbackMask;
    if (!onLoopback(address) || host == 0 || host == ~kLoopbackMask)
        return false;
    g_boxAddress = address;
    return true;
}

std::string boxAddress()
{
    in_addr address{htonl(g_boxAddress.load())};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

}  // namespace sim

}  // namespace platform
