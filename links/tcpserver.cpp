#include "links/tcpserver.h"

#include "platform/platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

tcpserver::tcpserver(message_deal& handler) : handler_(handler), rx_(kReadSize) {}

tcpserver::~tcpserver() { close(); }

bool tcpserver::listen(u16 port)
{
    close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(platform::netBindAddress());
    addr.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, kBacklog) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return false;
    }
    listenFd_ = fd;
    return true;
}

u16 tcpserver::port() const
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

void tcpserver::close()
{
    dropClient();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    listenFd_ = -1;
}

void tcpserver::serveOnce(send_list& sends, int timeoutMs)
{
    for (const auto& frame : sends.take())
        if (clientFd_ >= 0 && !writeAll(frame))
            dropClient();
    pollfd fds[3] = {{sends.wakeFd(), POLLIN, 0}, {listenFd_, POLLIN, 0}, {clientFd_, POLLIN, 0}};
    const nfds_t count = clientFd_ >= 0 ? 3 : 2;
    if (::poll(fds, count, timeoutMs) <= 0)
        return;
    if (fds[0].revents & POLLIN)
        sends.clearWake();
    if (fds[1].revents & POLLIN)
        acceptClient();
    else if (count == 3 && (fds[2].revents & (POLLIN | POLLERR | POLLHUP)))
        readClient();
}

void tcpserver::acceptClient()
{
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    if (clientFd_ >= 0)
        KEL_DBG("\n[tcpserver] new client replaces the old one\n");
    dropClient();
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    clientFd_ = fd;
    codec_.reset();
}

void tcpserver::dropClient()
{
    if (clientFd_ >= 0)
        ::close(clientFd_);
    clientFd_ = -1;
    codec_.reset();
}

void tcpserver::readClient()
{
    const ssize_t n = ::recv(clientFd_, rx_.data(), rx_.size(), 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        dropClient();  // closed by the PC, or broken
        return;
    }
    bool broken = false;
    handler_.receive(codec_, rx_.data(), static_cast<size_t>(n), [&](const std::vector<u8>& reply) {
        if (!broken && !writeAll(reply))
            broken = true;
    });
    if (broken)
        dropClient();
}

bool tcpserver::writeAll(const std::vector<u8>& data)
{
    const u8* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::send(clientFd_, p, left, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            left -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        pollfd w{clientFd_, POLLOUT, 0};
        if (::poll(&w, 1, kWriteWaitMs) <= 0)
            return false;
    }
    return true;
}
