#include "links/tcpserver.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

tcpserver::tcpserver(u16 port) : wantedPort_(port), rx_(kReadSize) {}

tcpserver::~tcpserver()
{
    closePort();
}

bool tcpserver::openPort()
{
    closePort();
    const int fd = bindSocket(SOCK_STREAM, wantedPort_, SO_REUSEADDR);
    if (fd >= 0 && ::listen(fd, kBacklog) == 0) {
        listenFd_ = fd;
        boundPort_ = localPort(fd);
        return true;
    }
    const int err = errno;
    if (fd >= 0)
        ::close(fd);
    KEL_DBG("\n[tcpserver] cannot listen on port %u: %s\n", wantedPort_, std::strerror(err));
    errno = err;
    return false;
}

void tcpserver::closePort()
{
    dropClient();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    listenFd_ = -1;
    boundPort_ = 0;
}

int tcpserver::pollSet(pollfd* fds)
{
    if (broken_)
        dropClient();
    fds[0] = {listenFd_, POLLIN, 0};
    if (clientFd_ < 0)
        return 1;
    fds[1] = {clientFd_, POLLIN, 0};
    return 2;
}

void tcpserver::serveReady(const pollfd* fds, ControlLink& link)
{
    if (fds[0].revents & POLLIN)
        acceptClient();
    else if (clientFd_ >= 0 && (fds[1].revents & (POLLIN | POLLERR | POLLHUP)))
        readClient(link, MSG_DONTWAIT);
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
    // Never 0, which names no connection.
    connection_ = connection_ + 1 == 0 ? 1 : connection_ + 1;
    lingers_ = lingerReads(fd);
}

void tcpserver::dropClient()
{
    if (clientFd_ >= 0)
        ::close(clientFd_);
    clientFd_ = -1;
    broken_ = false;
    codec_.reset();
}

bool tcpserver::serveMore(ControlLink& link)
{
    return clientFd_ >= 0 && !broken_ && lingers_ && readClient(link, 0);
}

bool tcpserver::readClient(ControlLink& link, int flags)
{
    const ssize_t n = ::recv(clientFd_, rx_.data(), rx_.size(), flags);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return false;
    if (n <= 0) {
        dropClient();  // closed by the PC, or broken
        return false;
    }
    link.serve(codec_, rx_.data(), static_cast<size_t>(n));
    return true;
}

bool tcpserver::writeTo(const LinkPeer& peer, const u8* data, size_t len)
{
    if (peer.connection != connection_ || clientFd_ < 0) {
        KEL_DBG("\n[tcpserver] frame for connection %u dropped: it is gone\n", peer.connection);
        return false;
    }
    return write(data, len);
}

bool tcpserver::write(const u8* data, size_t len)
{
    if (clientFd_ < 0 || broken_)
        return false;
    if (!writeWhole(clientFd_, FdKind::Socket, data, len, kWriteWaitMs))
        broken_ = true;
    return !broken_;
}
