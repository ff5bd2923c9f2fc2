// Round trips of the control links on loopback against the machine's limit:
// a plain echo over the same kind of socket, answering a request of the same
// size with a reply of the same size. Small: read 2 bytes of the parameter
// block (a 15-byte request, a 17-byte reply). 4 KB: read 4096 bytes.
#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "links/networkmanage.h"
#include "links/protocol_phy.h"
#include "links/udpnetmanage.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr u32 kBrightness = offsetof(KEL_RAM_PARA, brightness);

// ------------------------------------------------------------------ the box

void startBox()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    char dir[] = "/tmp/kel-bench-XXXXXX";
    if (!::mkdtemp(dir))
        std::abort();
    static std::string root = dir;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    });
    platform::sim::resetBox(root);
    g_debugSwitch = 0;
    ConfigEngine::pInstance();
    KelRamPara::pInstance();
}

std::vector<u8> readRequest(u16 count)
{
    CTRL_FRAME f;
    f.target = ctrl::kAddrBox;
    f.source = ctrl::kAddrPc;
    f.command = message_deal::CMD_READ_RAM;
    f.appendU32(count == 2 ? kBrightness : 0);
    f.appendU16(count);
    std::vector<u8> out;
    protocol_phy::encode(f, out);
    return out;
}

// The reply a link gives to readRequest(count), to size the echo's answer.
size_t replySize(u16 count)
{
    startBox();
    message_deal h(message_deal::LINK_TCP);
    std::vector<u8> req = readRequest(count), out;
    CTRL_FRAME f;
    protocol_phy::decodeOne(req.data(), req.size(), f);
    h.serve(f, out);
    return out.size();
}

// ------------------------------------------------------------------ sockets

sockaddr_in loopback(u16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

u16 portOf(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

void noDelay(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool writeAll(int fd, const u8* p, size_t n)
{
    while (n > 0) {
        ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Reads until `want` bytes arrived (TCP) or one datagram (UDP).
bool readReply(int fd, std::vector<u8>& buf, size_t want, bool datagram)
{
    size_t got = 0;
    while (got < want) {
        ssize_t n = ::recv(fd, buf.data() + got, buf.size() - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
        if (datagram)
            return got == want;
    }
    return got == want;
}

// A plain server: every request of `requestSize` bytes is answered with
// `replySize` bytes, nothing parsed.
class EchoServer {
public:
    EchoServer(bool datagram, size_t requestSize, size_t replySize)
        : datagram_(datagram), requestSize_(requestSize), reply_(replySize, 0x11)
    {
        fd_ = ::socket(AF_INET, datagram ? SOCK_DGRAM : SOCK_STREAM, 0);
        sockaddr_in a = loopback(0);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        if (!datagram)
            ::listen(fd_, 1);
        port_ = portOf(fd_);
        thread_ = std::thread([this] { datagram_ ? serveUdp() : serveTcp(); });
    }
    ~EchoServer()
    {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        if (client_ >= 0)
            ::shutdown(client_, SHUT_RDWR);
        thread_.join();
        if (client_ >= 0)
            ::close(client_);
    }
    u16 port() const { return port_; }

private:
    void serveTcp()
    {
        client_ = ::accept(fd_, nullptr, nullptr);
        if (client_ < 0)
            return;
        noDelay(client_);
        std::vector<u8> buf(requestSize_);
        while (!stop_ && readReply(client_, buf, requestSize_, false))
            if (!writeAll(client_, reply_.data(), reply_.size()))
                break;
    }
    void serveUdp()
    {
        std::vector<u8> buf(65536);
        while (!stop_) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n = ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0)
                break;
            ::sendto(fd_, reply_.data(), reply_.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    }

    bool datagram_;
    size_t requestSize_;
    std::vector<u8> reply_;
    int fd_ = -1;
    int client_ = -1;
    u16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

int connectTo(bool datagram, u16 port)
{
    int fd = ::socket(AF_INET, datagram ? SOCK_DGRAM : SOCK_STREAM, 0);
    sockaddr_in a = loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        std::abort();
    if (!datagram)
        noDelay(fd);
    return fd;
}

// One request and its whole reply per iteration.
void roundTrips(benchmark::State& state, int fd, bool datagram, u16 count, size_t reply)
{
    const std::vector<u8> req = readRequest(count);
    std::vector<u8> buf(65536);
    for (auto _ : state) {
        if (!writeAll(fd, req.data(), req.size()) || !readReply(fd, buf, reply, datagram)) {
            state.SkipWithError("no reply");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * count);
    ::close(fd);
}

void BM_Echo(benchmark::State& state, bool datagram, u16 count)
{
    const size_t reply = replySize(count);
    EchoServer echo(datagram, readRequest(count).size(), reply);
    roundTrips(state, connectTo(datagram, echo.port()), datagram, count, reply);
}

void BM_Link(benchmark::State& state, bool datagram, u16 count)
{
    const size_t reply = replySize(count);
    if (datagram) {
        udpnetManage link(0);
        link.start();
        roundTrips(state, connectTo(true, link.port()), true, count, reply);
    } else {
        networkManage link(0);
        link.start();
        roundTrips(state, connectTo(false, link.port()), false, count, reply);
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_Echo, tcp_small, false, 2)->UseRealTime();
BENCHMARK_CAPTURE(BM_Link, tcp_small, false, 2)->UseRealTime();
BENCHMARK_CAPTURE(BM_Echo, udp_small, true, 2)->UseRealTime();
BENCHMARK_CAPTURE(BM_Link, udp_small, true, 2)->UseRealTime();
BENCHMARK_CAPTURE(BM_Echo, tcp_4k, false, 4096)->UseRealTime();
BENCHMARK_CAPTURE(BM_Link, tcp_4k, false, 4096)->UseRealTime();
BENCHMARK_CAPTURE(BM_Echo, udp_4k, true, 4096)->UseRealTime();
BENCHMARK_CAPTURE(BM_Link, udp_4k, true, 4096)->UseRealTime();

BENCHMARK_MAIN();
