// Round trips of the control links on loopback against the machine's limit:
// a plain echo server that answers every request with a reply of the same
// size as the link's, nothing parsed. The link and the echo each run in a
// process of their own, as a PC's peer does: the link in a child of the
// bench that runs this build's link (or, with --box=ADDRESS, a running box
// on that loopback address: its TCP port 5005 and UDP port 5008; with
// --box-pid=PID its CPU time too), the echo in another child. The bench, its children (and a box it is pointed at,
// when started with the same `taskset`) share one CPU: the bench pins
// itself to the last CPU it may run on (--cpu=N: CPU N), so that a round
// trip is two switches on one CPU for the link and the echo alike, not a
// wake-up of another CPU (whose cost this virtual machine decides).
//
// Small: read 2 bytes of the parameter block (a 15-byte request, a 17-byte
// reply). 4 KB: read 4096 bytes. Upload: a 5 MB file as the start frame,
// 1,280 data frames of 4 KB and the end frame, each answered before the next
// goes; the end frame carries a wrong CRC-32, so the box checks the whole
// file and writes nothing (the disk is not the link).
//
// `Echo/...` and `Link/...` time each alone (`vs_echo`: the link's rate over
// the echo's just before it); `Paired/...` runs them in turn, stretch by
// stretch, for a ratio less moved by the machine's other work: the ratio
// bench/README.md gives.
//
// The codec alone (`Codec/...`): encoding the reply to a 4 KB read and
// decoding one 4 KB data frame, against copying the same bytes once
// (`Codec/copy_4k`, the floor); the link's own work without its socket
// (`Serve/...`).
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
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr u32 kBrightness = offsetof(KEL_RAM_PARA, brightness);
constexpr size_t kUploadSize = file_deal::kBufferSize;
constexpr size_t kPiece = file_deal::kMaxPiece;
constexpr size_t kReceiveSize = 65536;
constexpr int kPairedStretches = 200;  // pairs of stretches of a Paired case
constexpr int kReplyWaitS = 5;

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
    size_t replySize = 0;  // of every reply, for the echo (0: as the link's first reply)
    size_t dataBytes = 0;  // counted as moved per round
};

Session readSession(u16 count)
{
    startBox();
    Session s;
    s.requests.push_back(encoded(message_deal::CMD_READ_RAM, le(count == 2 ? kBrightness : 0, 4) + le(count, 2)));
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
                                     le(static_cast<u32>(at), 4) +
                                         std::vector<u8>(file.begin() + long(at), file.begin() + long(at + kPiece))));
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

// Where a server listens: a loopback address (host order) and a port.
struct Peer {
    u32 address = INADDR_LOOPBACK;
    u16 port = 0;
};

sockaddr_in socketAddress(const Peer& peer)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(peer.address);
    a.sin_port = htons(peer.port);
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

int connectTo(bool datagram, const Peer& peer)
{
    const int fd = ::socket(AF_INET, datagram ? SOCK_DGRAM : SOCK_STREAM, 0);
    const sockaddr_in a = socketAddress(peer);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        std::abort();
    if (!datagram)
        noDelay(fd);
    const timeval wait{kReplyWaitS, 0};  // a peer that never answers fails the case, not the run
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
}

// A child process that serves until the bench ends; `serve` never returns.
// The child reports one port through a pipe before it serves.
class Child {
public:
    template <class Serve>
    explicit Child(Serve serve)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            std::abort();
        pid_ = ::fork();
        if (pid_ < 0)
            std::abort();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the bench
            ::close(fds[0]);
            serve(fds[1]);
            ::_exit(0);
        }
        ::close(fds[1]);
        if (::read(fds[0], &port_, sizeof port_) != sizeof port_)
            std::abort();
        ::close(fds[0]);
    }
    ~Child()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    u16 port() const { return port_; }
    pid_t pid() const { return pid_; }

    static void tell(int out, u16 port)
    {
        if (::write(out, &port, sizeof port) != sizeof port)
            ::_exit(1);
        ::close(out);
    }

private:
    pid_t pid_ = -1;
    u16 port_ = 0;
};

// A plain server: every request (a datagram, or stream bytes up to an end
// byte) is answered with `replySize` bytes, the last an end byte, nothing
// parsed. A stream server takes one client after the other.
[[noreturn]] void echo(bool datagram, size_t replySize, int out)
{
    ::prctl(PR_SET_NAME, datagram ? "echo-udp" : "echo-tcp");
    std::vector<u8> reply(replySize, 0x11), buf(kReceiveSize);
    reply.back() = ctrl::kFrameEnd;  // where the client sees the reply end
    const int fd = ::socket(AF_INET, datagram ? SOCK_DGRAM : SOCK_STREAM, 0);
    sockaddr_in a = socketAddress({});
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (!datagram && ::listen(fd, 1) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        ::_exit(1);
    Child::tell(out, ntohs(a.sin_port));
    if (datagram) {
        for (;;) {
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            if (::recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLen) > 0)
                ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
        }
    }
    for (;;) {
        const int client = ::accept(fd, nullptr, nullptr);
        if (client < 0)
            continue;
        noDelay(client);
        while (readReply(client, buf, false) > 0 && writeAll(client, reply.data(), reply.size())) {
        }
        ::close(client);
    }
}

// This build's link, as the box runs it, on a free loopback port.
template <class Link>
[[noreturn]] void serveLink(int out)
{
    static Link link(0);
    link.start();
    Child::tell(out, link.port());
    for (;;)
        ::pause();
}

// ------------------------------------------------------------------ the run

struct Options {
    bool box = false;  // the links are a running box's
    u32 boxAddress = INADDR_LOOPBACK;
    pid_t boxPid = -1;  // the box's process, for its CPU time (--box-pid=PID)
    int cpu = -1;       // the CPU asked for; -1: the last the bench may run on
};

Options& options()
{
    static Options o;
    return o;
}

// The servers, made before anything is measured (a process forked later
// would share the measured memory copy-on-write): each link child (or the
// box's ports) by transport, each echo by case name.
struct Servers {
    std::unique_ptr<Child> links[2];  // TCP, UDP
    std::map<std::string, std::unique_ptr<Child>> echoes;

    Peer link(bool datagram) const
    {
        if (options().box)
            return {options().boxAddress, datagram ? udpnetManage::kControlPort : u16(g_int_tcp_port)};
        return {INADDR_LOOPBACK, links[datagram]->port()};
    }
    Peer echo(const std::string& name) const { return {INADDR_LOOPBACK, echoes.at(name)->port()}; }
    pid_t linkPid(bool datagram) const { return options().box ? options().boxPid : links[datagram]->pid(); }
};

Servers& servers()
{
    static Servers s;
    return s;
}

// The first word of a /proc file, or "" when it cannot be read.
std::string firstWord(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
}

// The CPU time a process's threads named `thread` (every thread: "") have
// run, in ns, from the scheduler's run time of each; 0 when it cannot be
// read.
uint64_t cpuNs(pid_t pid, const std::string& thread = {})
{
    if (pid <= 0)
        return 0;
    uint64_t total = 0;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec))
        if (thread.empty() || firstWord(task.path() / "comm") == thread)
            total += std::strtoull(firstWord(task.path() / "schedstat").c_str(), nullptr, 10);
    return total;
}

long pageFaults()
{
    rusage r{};
    ::getrusage(RUSAGE_SELF, &r);
    return r.ru_minflt + r.ru_majflt;
}

// Runs every request of `session` `count` times over `fd`; the time taken,
// or Clock::duration::max() when a reply did not come.
using Clock = std::chrono::steady_clock;
Clock::duration rounds(int fd, bool datagram, const Session& session, int64_t count, std::vector<u8>& buf)
{
    const auto start = Clock::now();
    for (int64_t i = 0; i < count; ++i)
        for (const std::vector<u8>& req : session.requests)
            if (!writeAll(fd, req.data(), req.size()) || readReply(fd, buf, datagram) <= 0)
                return Clock::duration::max();
    return Clock::now() - start;
}

// The size of the echo's replies: the session's own, else that of the reply
// `peer` gives to the session's first request.
size_t replySize(bool datagram, const Peer& peer, const Session& session)
{
    if (session.replySize > 0)
        return session.replySize;
    const int fd = connectTo(datagram, peer);
    std::vector<u8> buf(kReceiveSize);
    const ssize_t n =
        writeAll(fd, session.requests[0].data(), session.requests[0].size()) ? readReply(fd, buf, datagram) : -1;
    ::close(fd);
    if (n <= 0) {
        std::fprintf(stderr, "bench_links: no reply from port %u\n", peer.port);
        std::exit(1);
    }
    return size_t(n);
}

// Rounds of each case per second on the echo, by case name, for the link
// case that follows it.
std::map<std::string, double>& echoRates()
{
    static std::map<std::string, double> rates;
    return rates;
}

// One round of `session` per iteration on the echo of case `name` (its rate
// kept for the link's case) or on the link (its rate against the echo's).
void BM_Rounds(benchmark::State& state, bool datagram, const Session* session, bool onEcho, const std::string& name)
{
    const int fd = connectTo(datagram, onEcho ? servers().echo(name) : servers().link(datagram));
    std::vector<u8> buf(kReceiveSize);
    const long faultsBefore = pageFaults();
    Clock::duration took{};
    for (auto _ : state) {
        const Clock::duration t = rounds(fd, datagram, *session, 1, buf);
        if (t == Clock::duration::max()) {
            state.SkipWithError("no reply");
            break;
        }
        took += t;
    }
    ::close(fd);
    state.counters["faults"] = double(pageFaults() - faultsBefore) / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * int64_t(session->requests.size()));
    state.SetBytesProcessed(state.iterations() * int64_t(session->dataBytes));
    const double rate = took.count() > 0 ? double(state.iterations()) / std::chrono::duration<double>(took).count() : 0;
    if (onEcho) {
        echoRates()[name] = rate;
        return;
    }
    const auto echoRate = echoRates().find(name);
    if (echoRate != echoRates().end() && echoRate->second > 0)
        state.counters["vs_echo"] = rate / echoRate->second;
}

// The link and the echo side by side: short stretches of rounds on each in
// turn (which goes first alternating), the same rounds on both, so that
// what else the machine does falls on both alike. `vs_echo` is the echo's
// time over the link's for the same rounds.
void BM_Paired(benchmark::State& state, bool datagram, const Session* session, const std::string& name)
{
    constexpr auto kStretch = std::chrono::milliseconds(5);
    const int toLink = connectTo(datagram, servers().link(datagram));
    const int toEcho = connectTo(datagram, servers().echo(name));
    std::vector<u8> buf(kReceiveSize);
    // Rounds per stretch, from the echo.
    int64_t count = 1;
    while (rounds(toEcho, datagram, *session, count, buf) < kStretch && count < (int64_t(1) << 20))
        count *= 2;
    Clock::duration echoTime{}, linkTime{};
    const pid_t linkPid = servers().linkPid(datagram), echoPid = servers().echoes.at(name)->pid();
    // The link's own thread: a box runs other threads beside it.
    const std::string linkThread = datagram ? "link-udp" : "link-tcp";
    const uint64_t linkCpuBefore = cpuNs(linkPid, linkThread), echoCpuBefore = cpuNs(echoPid);
    bool linkFirst = false;
    for (auto _ : state) {
        const Clock::duration a = rounds(linkFirst ? toLink : toEcho, datagram, *session, count, buf);
        const Clock::duration b = rounds(linkFirst ? toEcho : toLink, datagram, *session, count, buf);
        if (a == Clock::duration::max() || b == Clock::duration::max()) {
            state.SkipWithError("no reply");
            break;
        }
        echoTime += linkFirst ? b : a;
        linkTime += linkFirst ? a : b;
        linkFirst = !linkFirst;
    }
    const double linkCpu = double(cpuNs(linkPid, linkThread) - linkCpuBefore);
    const double echoCpu = double(cpuNs(echoPid) - echoCpuBefore);
    ::close(toLink);
    ::close(toEcho);
    const double requests = double(state.iterations() * count * int64_t(session->requests.size()));
    if (linkTime.count() > 0)
        state.counters["vs_echo"] = double(echoTime.count()) / double(linkTime.count());
    state.counters["rounds_per_stretch"] = double(count);
    state.counters["link_us"] = std::chrono::duration<double, std::micro>(linkTime).count() / requests;
    // The server's own CPU time per request, the link's thread against the
    // echo's process: what the link does that the echo does not, less moved
    // by the machine's other work than the wall time.
    if (linkCpu > 0 && echoCpu > 0) {
        state.counters["link_cpu_us"] = linkCpu / 1000 / requests;
        state.counters["echo_cpu_us"] = echoCpu / 1000 / requests;
    }
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
        benchmark::DoNotOptimize(Utils::calcCRC32(session->file.data(), static_cast<unsigned>(session->file.size())));
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

void registerCase(const std::string& name, bool datagram, const Session* session, size_t replySize)
{
    servers().echoes[name] = std::make_unique<Child>([=](int out) { echo(datagram, replySize, out); });
    benchmark::RegisterBenchmark(("Echo/" + name).c_str(), BM_Rounds, datagram, session, true, name)->UseRealTime();
    benchmark::RegisterBenchmark(("Link/" + name).c_str(), BM_Rounds, datagram, session, false, name)->UseRealTime();
    benchmark::RegisterBenchmark(("Paired/" + name).c_str(), BM_Paired, datagram, session, name)
        ->UseRealTime()
        ->Iterations(kPairedStretches);
}

// Takes the bench's own options (--box=ADDRESS, --box-pid=PID, --cpu=N) out
// of argv.
bool takeOptions(int& argc, char** argv)
{
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--box=", 0) == 0) {
            in_addr a{};
            if (::inet_pton(AF_INET, arg.c_str() + 6, &a) != 1)
                return false;
            options().box = true;
            options().boxAddress = ntohl(a.s_addr);
        } else if (arg.rfind("--box-pid=", 0) == 0) {
            options().boxPid = std::atoi(arg.c_str() + 10);
        } else if (arg.rfind("--cpu=", 0) == 0) {
            options().cpu = std::atoi(arg.c_str() + 6);
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    return true;
}

// Pins the bench (and the children it forks) to one CPU; the CPU, or -1.
int pinToOneCpu(int wanted)
{
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return -1;
    int cpu = wanted;
    for (int c = CPU_SETSIZE - 1; cpu < 0 && c >= 0; --c)
        if (CPU_ISSET(c, &allowed))
            cpu = c;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    return cpu >= 0 && ::sched_setaffinity(0, sizeof one, &one) == 0 ? cpu : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!takeOptions(argc, argv)) {
        std::fprintf(stderr, "bench_links: --box=ADDRESS takes a dotted IPv4 address\n");
        return 1;
    }
    const int cpu = pinToOneCpu(options().cpu);
    benchmark::AddCustomContext("cpu", cpu < 0 ? "not pinned" : std::to_string(cpu));
    benchmark::AddCustomContext("links", options().box ? "a running box" : "this build's, in a child process");
    static const Session small = readSession(2), block = readSession(4096), upload = uploadSession();
    if (!options().box) {
        servers().links[0] = std::make_unique<Child>(serveLink<networkManage>);
        servers().links[1] = std::make_unique<Child>(serveLink<udpnetManage>);
    }
    benchmark::RegisterBenchmark("Codec/encode_4k_reply", BM_CodecEncode, &upload);
    benchmark::RegisterBenchmark("Codec/decode_4k_data", BM_CodecDecode, &upload);
    benchmark::RegisterBenchmark("Codec/copy_4k", BM_CodecCopy, &upload);
    benchmark::RegisterBenchmark("Codec/crc32_5mb", BM_Crc, &upload)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Serve/small", BM_Serve, &small);
    benchmark::RegisterBenchmark("Serve/4k", BM_Serve, &block);
    benchmark::RegisterBenchmark("Serve/upload_5mb", BM_Serve, &upload)->Unit(benchmark::kMillisecond);
    for (bool datagram : {false, true}) {
        const std::string kind = datagram ? "udp" : "tcp";
        const Peer link = servers().link(datagram);
        registerCase(kind + "_small", datagram, &small, replySize(datagram, link, small));
        registerCase(kind + "_4k", datagram, &block, replySize(datagram, link, block));
        registerCase(kind + "_upload_5mb", datagram, &upload, replySize(datagram, link, upload));
    }
    benchmark::Initialize(&argc, argv);
    if (!benchmark::ReportUnrecognizedArguments(argc, argv))
        benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    servers().echoes.clear();
    servers().links[0].reset();
    servers().links[1].reset();
    return 0;
}
