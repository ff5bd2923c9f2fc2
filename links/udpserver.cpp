#include "links/udpserver.h"

#include "platform/platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

udpserver::udpserver(message_deal& handler) : handler_(handler), rx_(kDatagramSize) {}

udpserver::~udpserver() { close(); }

bool udpserver::bindPort(u16 port)
{
    close();
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(platform::netBindAddress());
    addr.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return false;
    }
    fd_ = fd;
    return true;
}

u16 udpserver::port() const
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

void udpserver::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    haveSender_ = false;
}

void udpserver::serveOnce(send_list& sends, int timeoutMs)
{
    for (const auto& frame : sends.take())
        if (haveSender_)
            sendTo(frame, lastSender_);
    pollfd fds[2] = {{sends.wakeFd(), POLLIN, 0}, {fd_, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0)
        return;
    if (fds[0].revents & POLLIN)
        sends.clearWake();
    if (fds[1].revents & POLLIN)
        readDatagram();
}

void udpserver::readDatagram()
{
    sockaddr_in sender{};
    socklen_t len = sizeof sender;
    const ssize_t n = ::recvfrom(fd_, rx_.data(), rx_.size(), 0, reinterpret_cast<sockaddr*>(&sender), &len);
    if (n <= 0 || len != sizeof sender)
        return;
    lastSender_ = sender;
    haveSender_ = true;
    // One frame per datagram: a fresh codec, and only the first frame counts.
    protocol_phy codec;
    bool served = false;
    std::vector<u8> out;
    codec.feed(rx_.data(), static_cast<size_t>(n), [&](const CTRL_FRAME& req) {
        if (served)
            return;
        served = true;
        if (handler_.serve(req, out))
            sendTo(out, sender);
    });
}

void udpserver::sendTo(const std::vector<u8>& frame, const sockaddr_in& sender)
{
    const sockaddr_in to = platform::netBroadcastReply(sender);
    const ssize_t n =
        ::sendto(fd_, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n != static_cast<ssize_t>(frame.size()))
        KEL_DBG("\n[udpserver] reply of %zu bytes not sent\n", frame.size());
}
