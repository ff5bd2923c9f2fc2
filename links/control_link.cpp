#include "links/control_link.h"

#include "platform/platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

// ------------------------------------------------------------------ transport helpers

bool LinkTransport::writeWhole(int fd, FdKind kind, const u8* data, size_t len, int waitMs)
{
    while (len > 0) {
        const ssize_t n =
            kind == FdKind::Socket ? ::send(fd, data, len, MSG_NOSIGNAL | MSG_DONTWAIT) : ::write(fd, data, len);
        if (n > 0) {
            data += n;
            len -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        pollfd w{fd, POLLOUT, 0};
        if (::poll(&w, 1, waitMs) <= 0)
            return false;
    }
    return true;
}

bool LinkTransport::lingerReads(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    timeval linger{0, kLingerMs * 1000};
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 &&
           ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &linger, sizeof linger) == 0;
}

int LinkTransport::bindSocket(int type, u16 port, int option)
{
    const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    if (option != 0)
        ::setsockopt(fd, SOL_SOCKET, option, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(platform::netBindAddress());
    addr.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

u16 LinkTransport::localPort(int fd)
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

// ------------------------------------------------------------------ the link

ControlLink::ControlLink(u8 link, const char* name, std::unique_ptr<LinkTransport> transport, OpenFailure onFailure)
    : link_(link), name_(name), onFailure_(onFailure), transport_(std::move(transport)), handler_(link)
{}

ControlLink::~ControlLink()
{
    stop();
}

bool ControlLink::start()
{
    if (running())
        return transport_->isOpen();
    const bool opened = transport_->openPort();
    if (!opened) {
        writeLogMsg(LOG_ERROR, std::string(name_) + ": cannot open its port");
        if (onFailure_ == OpenFailure::GiveUp)
            return false;
    }
    message_deal::attachLink(
        link_, [this](std::vector<u8> frame, const LinkPeer& peer) { sends_.push(std::move(frame), peer); });
    thread_ = std::thread([this] {
        platform::nameThread(name_);
        run();
    });
    return opened;
}

void ControlLink::stop()
{
    if (!running())
        return;
    sends_.requestStop();
    thread_.join();
    sends_.clearStop();
    message_deal::detachLink(link_);
    transport_->closePort();
}

void ControlLink::run()
{
    while (!sends_.stopping()) {
        if (!transport_->isOpen() && !transport_->openPort()) {
            sends_.waitWake(kReopenMs);
            continue;
        }
        if (sends_.waiting())
            writeQueued();
        pollfd fds[1 + LinkTransport::kMaxPollFds] = {{sends_.wakeFd(), POLLIN, 0}};
        const int count = 1 + transport_->pollSet(fds + 1);
        const int ready = ::poll(fds, static_cast<nfds_t>(count), message_deal::pollTimeoutMs(link_));
        if (ready < 0 && errno != EINTR) {
            pause();
            continue;
        }
        if (ready > 0) {
            if (fds[0].revents & POLLIN)
                sends_.clearWake();
            transport_->serveReady(fds + 1, *this);
            for (int reads = 1;
                 reads < kReadsPerWait && !sends_.stopping() && !sends_.waiting() && transport_->serveMore(*this);
                 ++reads) {
            }
        }
        message_deal::expirePending(link_);
    }
}

void ControlLink::writeQueued()
{
    sends_.take(queued_);
    for (const send_list::Queued& q : queued_)
        transport_->writeTo(q.peer, q.frame.data(), q.frame.size());
    queued_.clear();
}

void ControlLink::serve(protocol_phy& codec, const u8* data, size_t len, size_t maxFrames)
{
    const u8* end = data + len;
    for (size_t served = 0; served < maxFrames; ++served) {
        const CTRL_FRAME* request = codec.next(data, end);
        if (!request)
            return;
        const message_deal::Wire reply = handler_.respond(*request, transport_->peer());
        if (reply.size > 0)
            transport_->write(reply.data, reply.size);
    }
}

void ControlLink::pause()
{
    sends_.waitWake(kTroubleMs);
}
