#include "links/udpserver.h"

#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

udpserver::udpserver(u16 port) : wantedPort_(port), rx_(kDatagramSize) {}

udpserver::~udpserver()
{
    closePort();
}

bool udpserver::openPort()
{
    closePort();
    fd_ = bindSocket(SOCK_DGRAM, wantedPort_, SO_BROADCAST);
    if (fd_ < 0) {
        KEL_DBG("\n[udpserver] cannot bind port %u: %s\n", wantedPort_, std::strerror(errno));
        return false;
    }
    boundPort_ = localPort(fd_);
    lingers_ = lingerReads(fd_);
    return true;
}

void udpserver::closePort()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    boundPort_ = 0;
    haveSender_ = false;
}

int udpserver::pollSet(pollfd* fds)
{
    fds[0] = {fd_, POLLIN, 0};
    return 1;
}

void udpserver::serveReady(const pollfd* fds, ControlLink& link)
{
    if (fds[0].revents & POLLIN)
        receive(link, MSG_DONTWAIT);
}

bool udpserver::serveMore(ControlLink& link)
{
    return lingers_ && receive(link, 0);
}

bool udpserver::receive(ControlLink& link, int flags)
{
    sockaddr_in sender{};
    socklen_t len = sizeof sender;
    const ssize_t n = ::recvfrom(fd_, rx_.data(), rx_.size(), flags, reinterpret_cast<sockaddr*>(&sender), &len);
    if (n < 0)
        return false;  // nothing came
    if (n == 0 || len != sizeof sender)
        return true;  // an empty or odd datagram: there may be more behind it
    lastSender_ = sender;
    haveSender_ = true;
    // One frame per datagram: a fresh codec, and only the first frame counts.
    codec_.reset();
    link.serve(codec_, rx_.data(), static_cast<size_t>(n), 1);
    return true;
}

bool udpserver::write(const u8* data, size_t len)
{
    return writeTo(peer(), data, len);
}

LinkPeer udpserver::peer() const
{
    return haveSender_ ? LinkPeer::ofAddress(lastSender_) : LinkPeer{};
}

bool udpserver::writeTo(const LinkPeer& peer, const u8* data, size_t len)
{
    if (!peer.hasAddress || fd_ < 0)
        return false;
    const sockaddr_in to = platform::netBroadcastReply(peer.address);
    const ssize_t n = ::sendto(fd_, data, len, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n == static_cast<ssize_t>(len))
        return true;
    KEL_DBG("\n[udpserver] frame of %zu bytes not sent\n", len);
    return false;
}
