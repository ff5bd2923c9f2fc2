// Round trips of the control links on loopback against the machine's limit:
// a plain echo server that answers every request with a reply of the same
// size as the link's, nothing parsed. It runs once in a process of its own
// (`EchoProcess`: what a separate peer can reach, the goal's yardstick) and
// once on a thread of this process (`EchoThread`: faster still, as the link
// itself shares the client's process here). Each link case reports its rate
// as a fraction of both echoes measured in the same run
// (`vs_echo_process`, `vs_echo_thread`).
//
// Small: read 2 bytes of the parameter block (a 15-byte request, a 17-byte
// reply). 4 KB: read 4096 bytes. Upload: a 5 MB file as the start frame,
// 1,280 data frames of 4 KB and the end frame, each answered before the next
// goes; the end frame carries a wrong CRC-32, so the box checks the whole
// file and writes nothing (the disk is not the link). `faults` counts the
// page faults of one upload.
//
// `Paired/...` runs the link and the process echo in turn, stretch by
// stretch, for a ratio less moved by the machine's other work.
//
// The codec alone (`Codec/...`): encoding the reply to a 4 KB read and
// decoding one 4 KB data frame, against copying the same bytes once
// (`Codec/copy_4k`, the floor).
#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "app/utils.h"
#include "links/file_deal.h"
#include "links/networkmanage.h"
#include "links/protocol_phy.h"
#include "links/udpnetmanage.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr u32 kBrightness = offsetof(KEL_RAM_PARA, brightness);
constexpr size_t kUploadSize = file_deal::kBufferSize;
constexpr size_t kPiece = file_deal::kMaxPiece;
constexpr size_t kReceiveSize = 65536;
constexpr int kPairedStretches = 200;  // pairs of stretches of a Paired case

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

std::vector<u8> encoded(u8 command, const std::vector<u8>& payload)
{
    CTRL_FRAME f;
    f.target = ctrl::kAddrBox;
    f.source = ctrl::kAddrPc;
    f.command = command;
    f.append(payload.data(), payload.size());
    std::vector<u8> out;
    protocol_phy::encode(f, out);
    return out;
}

std::vector<u8> le(u32 v, size_t bytes)
{
    std::vector<u8> out;
    for (size_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<u8>(v >> (8 * i)));
    return out;
}

std::vector<u8> operator+(std::vector<u8> a, const std::vector<u8>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The requests of one round: each is answered before the next goes.
struct Session {
    std::vector<u8> file;  // kept, so that its memory never goes back to the allocator
    std::vector<std::vector<u8>> requests;
    size_t replySize = 0;  // of every reply, for the echo
    size_t dataBytes = 0;  // counted as moved per round
};

Session readSession(u16 count)
{
    startBox();
    Session s;
    s.requests.push_back(encoded(message_deal::CMD_READ_RAM, le(count == 2 ? kBrightness : 0, 4) + le(count, 2)));
    message_deal handler(message_deal::LINK_TCP);
    CTRL_FRAME req;
    protocol_phy::decodeOne(s.requests[0].data(), s.requests[0].size(), req);
    s.replySize = handler.respond(req).size;
    s.dataBytes = count;
    return s;
}

Session uploadSession()
{
    startBox();
    Session s;
    std::vector<u8>& file = s.file;
    file.resize(kUploadSize);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<u8>(i * 31 + i / kPiece);  // a few bytes of each piece need escaping
    const std::vector<u8> tag = {'O', 'S', 'D', 'S'};
    s.requests.push_back(encoded(message_deal::CMD_FILE_START, tag + le(kUploadSize, 4) + std::vector<u8>{0}));
    for (size_t at = 0; at < file.size(); at += kPiece)
        s.requests.push_back(encoded(message_deal::CMD_FILE_DATA,
                                     le(static_cast<u32>(at), 4) + std::vector<u8>(file.begin() + long(at),
                                                                                  file.begin() + long(at + kPiece))));
    const u32 wrongCrc = Utils::calcCRC32(file.data(), static_cast<unsigned>(file.size())) ^ 1;
    s.requests.push_back(encoded(message_deal::CMD_FILE_END, le(wrongCrc, 4)));
    CTRL_FRAME status;  // every reply is the status alone
    status.appendU8(0);
    std::vector<u8> reply;
    s.replySize = protocol_phy::encode(status, reply);
    s.dataBytes = kUploadSize;
    return s;
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

void noDelay(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool writeAll(int fd, const u8* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Reads one reply: one datagram, or stream bytes up to a frame's end byte
// (which never appears inside a frame). The reply is left in `buf`.
ssize_t readReply(int fd, std::vector<u8>& buf, bool datagram)
{
    size_t got = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, buf.data() + got, buf.size() - got, 0);
        if (n <= 0)
            return -1;
        got += static_cast<size_t>(n);
        if (datagram || buf[got - 1] == ctrl::kFrameEnd)
            return static_cast<ssize_t>(got);
    }
}

// A plain server: every request (a datagram, or stream bytes up to an end
// byte) is answered with `replySize` bytes, the last an end byte, nothing
// parsed. A stream server takes one client after the other.
class EchoServer {
public:
    enum class Where { OwnProcess, Thread };

    EchoServer(bool datagram, size_t replySize, Where where)
        : datagram_(datagram), reply_(replySize, 0x11), buf_(kReceiveSize)
    {
        reply_.back() = ctrl::kFrameEnd;  // where the client sees the reply end
        fd_ = ::socket(AF_INET, datagram ? SOCK_DGRAM : SOCK_STREAM, 0);
        sockaddr_in a = loopback(0);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (!datagram && ::listen(fd_, 1) != 0) ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            std::abort();
        port_ = ntohs(a.sin_port);
        if (where == Where::Thread) {
            thread_ = std::thread([this] { serve(); });
            return;
        }
        child_ = ::fork();
        if (child_ < 0)
            std::abort();
        if (child_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the bench
            serve();
            ::_exit(0);
        }
        ::close(fd_);
        fd_ = -1;
    }
    ~EchoServer()
    {
        if (child_ > 0) {
            ::kill(child_, SIGKILL);
            ::waitpid(child_, nullptr, 0);
            return;
        }
        ::shutdown(fd_, SHUT_RDWR);  // ends the wait for a datagram or a client
        thread_.join();
        ::close(fd_);
    }
    u16 port() const { return port_; }

private:
    void serve()
    {
        if (datagram_) {
            for (;;) {
                sockaddr_in from{};
                socklen_t len = sizeof from;
                if (::recvfrom(fd_, buf_.data(), buf_.size(), 0, reinterpret_cast<sockaddr*>(&from), &len) <= 0)
                    return;
                ::sendto(fd_, reply_.data(), reply_.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
            }
        }
        for (;;) {
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0)
                return;
            noDelay(client);
            while (readReply(client, buf_, false) > 0 && writeAll(client, reply_.data(), reply_.size())) {
            }
            ::close(client);
        }
    }

    bool datagram_;
    std::vector<u8> reply_;
    std::vector<u8> buf_;
    int fd_ = -1;
    u16 port_ = 0;
    pid_t child_ = -1;
    std::thread thread_;
};

// The echoes in processes of their own, by case name. They are made before
// anything is measured: a process forked later would share the link's
// memory copy-on-write, and the link's next writes would fault.
std::map<std::string, std::unique_ptr<EchoServer>>& processEchoes()
{
    static std::map<std::string, std::unique_ptr<EchoServer>> echoes;
    return echoes;
}

int connectTo(bool datagram, u16 port)
{
    const int fd = ::socket(AF_INET, datagram ? SOCK_DGRAM : SOCK_STREAM, 0);
    sockaddr_in a = loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        std::abort();
    if (!datagram)
        noDelay(fd);
    return fd;
}

long pageFaults()
{
    rusage r{};
    ::getrusage(RUSAGE_SELF, &r);
    return r.ru_minflt + r.ru_majflt;
}

// Rounds of `session` per second of the echoes, by case name, for the link
// cases that follow them in the same run.
std::map<std::string, double>& echoRates()
{
    static std::map<std::string, double> rates;
    return rates;
}

// Runs `session` once per iteration over `fd` (closed at the end); returns
// the rounds per second.
double rounds(benchmark::State& state, int fd, bool datagram, const Session& session)
{
    std::vector<u8> buf(kReceiveSize);
    const long faultsBefore = pageFaults();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (const std::vector<u8>& req : session.requests) {
            if (!writeAll(fd, req.data(), req.size()) || readReply(fd, buf, datagram) <= 0) {
                state.SkipWithError("no reply");
                ::close(fd);
                return 0;
            }
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.counters["faults"] = benchmark::Counter(double(pageFaults() - faultsBefore) / double(state.iterations()));
    state.SetItemsProcessed(state.iterations() * int64_t(session.requests.size()));
    state.SetBytesProcessed(state.iterations() * int64_t(session.dataBytes));
    ::close(fd);
    return double(state.iterations()) / took.count();
}

void BM_Echo(benchmark::State& state, EchoServer::Where where, bool datagram, const Session* session,
             const std::string& name)
{
    std::unique_ptr<EchoServer> thread;
    if (where == EchoServer::Where::Thread)
        thread = std::make_unique<EchoServer>(datagram, session->replySize, where);
    const EchoServer& echo = thread ? *thread : *processEchoes().at(name);
    const double rate = rounds(state, connectTo(datagram, echo.port()), datagram, *session);
    echoRates()[name + (where == EchoServer::Where::OwnProcess ? "/process" : "/thread")] = rate;
}

template <class Link>
void BM_Link(benchmark::State& state, bool datagram, const Session* session, const std::string& name)
{
    Link link(0);
    link.start();
    const double rate = rounds(state, connectTo(datagram, link.port()), datagram, *session);
    for (const char* where : {"process", "thread"}) {
        const auto echo = echoRates().find(name + "/" + where);
        if (echo != echoRates().end() && echo->second > 0)
            state.counters[std::string("vs_echo_") + where] = rate / echo->second;
    }
}

// The link and the process echo side by side: short stretches of rounds on
// each in turn (which goes first alternating), the same rounds on both, so
// that what else the machine does falls on both alike. `vs_echo_process`
// is the echo's time over the link's for the same rounds.
template <class Link>
void BM_Paired(benchmark::State& state, bool datagram, const Session* session, const std::string& name)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto kStretch = std::chrono::milliseconds(5);
    Link link(0);
    link.start();
    const int toLink = connectTo(datagram, link.port());
    const int toEcho = connectTo(datagram, processEchoes().at(name)->port());
    std::vector<u8> buf(kReceiveSize);
    auto run = [&](int fd, int64_t count) {
        const auto start = Clock::now();
        for (int64_t i = 0; i < count; ++i)
            for (const std::vector<u8>& req : session->requests)
                if (!writeAll(fd, req.data(), req.size()) || readReply(fd, buf, datagram) <= 0)
                    return Clock::duration::max();
        return Clock::now() - start;
    };
    // Rounds per stretch, from the echo.
    int64_t count = 1;
    while (run(toEcho, count) < kStretch && count < (int64_t(1) << 20))
        count *= 2;
    Clock::duration echoTime{}, linkTime{};
    bool linkFirst = false;
    for (auto _ : state) {
        const Clock::duration a = run(linkFirst ? toLink : toEcho, count);
        const Clock::duration b = run(linkFirst ? toEcho : toLink, count);
        if (a == Clock::duration::max() || b == Clock::duration::max()) {
            state.SkipWithError("no reply");
            break;
        }
        echoTime += linkFirst ? b : a;
        linkTime += linkFirst ? a : b;
        linkFirst = !linkFirst;
    }
    ::close(toLink);
    ::close(toEcho);
    if (linkTime.count() > 0)
        state.counters["vs_echo_process"] = double(echoTime.count()) / double(linkTime.count());
    state.counters["rounds_per_stretch"] = double(count);
}

void BM_CodecEncode(benchmark::State& state, const Session* session)
{
    CTRL_FRAME reply;
    protocol_phy::decodeOne(session->requests[0].data(), session->requests[0].size(), reply);
    reply.length = 0;
    reply.appendU8(0);
    reply.append(session->file.data(), 4 + 2 + kPiece);  // the layout of a 4 KB read's reply
    std::vector<u8> wire(ctrl::kMaxWireFrame);
    for (auto _ : state)
        benchmark::DoNotOptimize(protocol_phy::encode(reply, wire.data()));
}

void BM_CodecDecode(benchmark::State& state, const Session* session)
{
    const std::vector<u8>& frame = session->requests[1];  // a data frame
    protocol_phy codec;
    for (auto _ : state) {
        const u8* at = frame.data();
        benchmark::DoNotOptimize(codec.next(at, frame.data() + frame.size()));
    }
}

// The link's own work for a whole session without its socket: every request
// decoded by the codec and answered by the command handler, its reply
// encoded; per request in `per_request_ns`.
void BM_Serve(benchmark::State& state, const Session* session)
{
    protocol_phy codec;
    message_deal handler(message_deal::LINK_TCP);
    size_t served = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (const std::vector<u8>& req : session->requests) {
            const u8* at = req.data();
            const CTRL_FRAME* frame = codec.next(at, req.data() + req.size());
            if (!frame || handler.respond(*frame).size == 0) {
                state.SkipWithError("no reply");
                return;
            }
            ++served;
        }
    }
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    state.counters["per_request_ns"] = took.count() / double(served);
}

// The CRC-32 of the whole 5 MB file, as the end frame checks it.
void BM_Crc(benchmark::State& state, const Session* session)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(
            Utils::calcCRC32(session->file.data(), static_cast<unsigned>(session->file.size())));
}

void BM_CodecCopy(benchmark::State& state, const Session* session)
{
    const std::vector<u8>& frame = session->requests[1];
    std::vector<u8> to(frame.size());
    for (auto _ : state) {
        std::memcpy(to.data(), frame.data(), frame.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

void registerCase(const std::string& name, bool datagram, const Session* session)
{
    using Where = EchoServer::Where;
    processEchoes()[name] = std::make_unique<EchoServer>(datagram, session->replySize, Where::OwnProcess);
    benchmark::RegisterBenchmark(("EchoProcess/" + name).c_str(), BM_Echo, Where::OwnProcess, datagram, session,
                                 name)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("EchoThread/" + name).c_str(), BM_Echo, Where::Thread, datagram, session, name)
        ->UseRealTime();
    if (datagram) {
        benchmark::RegisterBenchmark(("Link/" + name).c_str(), BM_Link<udpnetManage>, true, session, name)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("Paired/" + name).c_str(), BM_Paired<udpnetManage>, true, session, name)
            ->UseRealTime()
            ->Iterations(kPairedStretches);
    } else {
        benchmark::RegisterBenchmark(("Link/" + name).c_str(), BM_Link<networkManage>, false, session, name)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("Paired/" + name).c_str(), BM_Paired<networkManage>, false, session, name)
            ->UseRealTime()
            ->Iterations(kPairedStretches);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    static const Session small = readSession(2), block = readSession(4096), upload = uploadSession();
    benchmark::RegisterBenchmark("Codec/encode_4k_reply", BM_CodecEncode, &upload);
    benchmark::RegisterBenchmark("Codec/decode_4k_data", BM_CodecDecode, &upload);
    benchmark::RegisterBenchmark("Codec/copy_4k", BM_CodecCopy, &upload);
    benchmark::RegisterBenchmark("Codec/crc32_5mb", BM_Crc, &upload)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Serve/small", BM_Serve, &small);
    benchmark::RegisterBenchmark("Serve/4k", BM_Serve, &block);
    benchmark::RegisterBenchmark("Serve/upload_5mb", BM_Serve, &upload)->Unit(benchmark::kMillisecond);
    for (bool datagram : {false, true}) {
        const std::string kind = datagram ? "udp" : "tcp";
        registerCase(kind + "_small", datagram, &small);
        registerCase(kind + "_4k", datagram, &block);
        registerCase(kind + "_upload_5mb", datagram, &upload);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        processEchoes().clear();
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    processEchoes().clear();
    return 0;
}
