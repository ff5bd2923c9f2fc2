#include "tests/links/link_client.h"

#include "links/networkmanage.h"
#include "links/uart_inout.h"
#include "links/udpnetmanage.h"
#include "platform/platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

class UdpClient : public LinkClient {
public:
    UdpClient(int fd, const sockaddr_in& box) : LinkClient(fd), box_(box) {}

protected:
    bool readSome() override
    {
        u8 buf[65536];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0)
            return n < 0 && errno == EAGAIN;
        codec_.reset();  // one frame per datagram
        codec_.feed(buf, static_cast<size_t>(n), [this](const CTRL_FRAME& f) { frames_.push_back(f); });
        return true;
    }
    bool write(const u8* data, size_t len) override
    {
        return ::sendto(fd_, data, len, 0, reinterpret_cast<sockaddr*>(&box_), sizeof box_) ==
               static_cast<ssize_t>(len);
    }

private:
    sockaddr_in box_;
};

}  // namespace

LinkClient::LinkClient(int fd) : fd_(fd) {}

LinkClient::~LinkClient()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<LinkClient> LinkClient::tcp(uint16_t port, const std::string& address)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = boxEndpoint(port, address);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        fd = -1;
    }
    if (fd >= 0) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return std::unique_ptr<LinkClient>(new LinkClient(fd));
}

std::unique_ptr<LinkClient> LinkClient::udp(uint16_t port, const std::string& address)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // The PC sits on the box's own address, not 127.0.0.1: replies must
    // find the sender wherever on loopback it is.
    sockaddr_in addr = boxEndpoint(0, address);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        fd = -1;
    }
    return std::unique_ptr<LinkClient>(new UdpClient(fd, boxEndpoint(port, address)));
}

sockaddr_in LinkClient::localAddress() const
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return sockaddr_in{};
    return addr;
}

std::unique_ptr<LinkClient> LinkClient::serial(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        termios tio;
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
        tcflush(fd, TCIOFLUSH);
    }
    return std::unique_ptr<LinkClient>(new LinkClient(fd));
}

bool LinkClient::write(const u8* data, size_t len)
{
    while (len > 0) {
        const ssize_t n = ::write(fd_, data, len);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 1000);
            continue;
        }
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool LinkClient::readSome()
{
    u8 buf[65536];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    if (n == 0)
        return false;
    codec_.feed(buf, static_cast<size_t>(n), [this](const CTRL_FRAME& f) { frames_.push_back(f); });
    return true;
}

bool LinkClient::sendRaw(const std::vector<u8>& bytes)
{
    return ok() && write(bytes.data(), bytes.size());
}

bool LinkClient::send(const CTRL_FRAME& frame)
{
    std::vector<u8> bytes;
    protocol_phy::encode(frame, bytes);
    return sendRaw(bytes);
}

std::optional<CTRL_FRAME> LinkClient::receive(int ms)
{
    while (frames_.empty()) {
        pollfd p{fd_, POLLIN, 0};
        if (!ok() || ::poll(&p, 1, ms) <= 0 || !readSome())
            return std::nullopt;
    }
    CTRL_FRAME f = frames_.front();
    frames_.pop_front();
    return f;
}

std::optional<CTRL_FRAME> LinkClient::request(const CTRL_FRAME& frame, int ms)
{
    if (!send(frame))
        return std::nullopt;
    return receive(ms);
}

u8 LinkClient::ask(const CTRL_FRAME& frame, int ms)
{
    const std::optional<CTRL_FRAME> reply = request(frame, ms);
    return reply ? statusOf(*reply) : kNoReply;
}

CTRL_FRAME pcRequest(u8 command, const std::vector<u8>& payload, u8 sub, u8 target)
{
    CTRL_FRAME f;
    f.target = target;
    f.source = ctrl::kAddrPc;
    f.command = command;
    f.sub_command = sub;
    f.append(payload.data(), payload.size());
    return f;
}

u8 statusOf(const CTRL_FRAME& reply)
{
    return reply.length ? reply.payload[0] : 255;
}

std::vector<u8> replyData(const CTRL_FRAME& reply)
{
    if (reply.length < 1)
        return {};
    return std::vector<u8>(reply.payload.begin() + 1, reply.payload.begin() + reply.length);
}

std::vector<u8> le16(uint16_t v)
{
    return {static_cast<u8>(v), static_cast<u8>(v >> 8)};
}

std::vector<u8> le32(uint32_t v)
{
    return {static_cast<u8>(v), static_cast<u8>(v >> 8), static_cast<u8>(v >> 16), static_cast<u8>(v >> 24)};
}

std::vector<u8> cat(std::initializer_list<std::vector<u8>> parts)
{
    std::vector<u8> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<u8> hex(const std::string& text)
{
    std::vector<u8> out;
    for (size_t i = 0; i + 1 < text.size(); i += text[i] == ' ' ? 1 : 2)
        if (text[i] != ' ')
            out.push_back(static_cast<u8>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

sockaddr_in boxEndpoint(uint16_t port, const std::string& address)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (address.empty())
        addr.sin_addr.s_addr = htonl(platform::netBindAddress());
    else if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1)
        addr.sin_addr.s_addr = htonl(INADDR_NONE);  // nobody: the client fails loudly
    return addr;
}

std::unique_ptr<LinkClient> TestLink::connect() const
{
    switch (kind) {
    case LinkKind::Tcp: return LinkClient::tcp(port);
    case LinkKind::Udp: return LinkClient::udp(port);
    case LinkKind::Rs485: break;
    }
    return LinkClient::serial(platform::path(Zt_uart_inout::kDevice));
}

LinkPeer TestLink::firstClientPeer() const
{
    switch (kind) {
    case LinkKind::Tcp: return LinkPeer::ofConnection(1);
    case LinkKind::Udp: return LinkPeer::ofAddress(client->localAddress());
    case LinkKind::Rs485: break;
    }
    return LinkPeer{};
}

TestLink startTestLink(LinkKind kind)
{
    TestLink t;
    t.kind = kind;
    bool started = false;
    switch (kind) {
    case LinkKind::Tcp: {
        auto tcp = std::make_shared<networkManage>(0);
        started = tcp->start();
        t.port = tcp->port();
        t.link = tcp;
        t.id = message_deal::LINK_TCP;
        break;
    }
    case LinkKind::Udp: {
        auto udp = std::make_shared<udpnetManage>(0);
        started = udp->start();
        t.port = udp->port();
        t.link = udp;
        t.id = message_deal::LINK_UDP;
        break;
    }
    case LinkKind::Rs485: {
        auto uart = std::make_shared<Zt_uart_inout>();
        started = uart->start();
        t.link = std::shared_ptr<ControlLink>(uart, &uart->port());
        t.id = message_deal::LINK_SERIAL;
        break;
    }
    }
    if (started)
        t.client = t.connect();
    return t;
}

std::string linkKindName(const testing::TestParamInfo<LinkKind>& info)
{
    return info.param == LinkKind::Tcp ? "Tcp" : info.param == LinkKind::Udp ? "Udp" : "Rs485";
}
