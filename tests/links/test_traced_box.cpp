// A whole box run watched by the kernel's tracer (strace): every file the
// box creates, writes, renames or removes, every folder it makes and every
// address it connects, binds or sends to, whatever code asked for it (the
// box's own, Qt's, a library's), lies inside its box root or on loopback.
#include "tests/links/file_test.h"
#include "tests/links/link_client.h"
#include "tests/support/box_test.h"
#include "tests/support/program_process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kStrace = "/usr/bin/strace";
constexpr int kStartMs = 60000;  // a traced box starts slowly on a loaded machine
constexpr uint16_t kTcpPort = 5005;
constexpr u32 kModeSaveRequest = 868, kOsdEnable = 2124;

// What the tracer follows: every call that makes, changes or removes a
// file or folder, and every one that reaches an address.
constexpr const char* kTraced = "trace=open,openat,openat2,creat,write,pwrite64,writev,pwritev,pwritev2,truncate,"
                                "ftruncate,rename,renameat,renameat2,link,linkat,symlink,symlinkat,unlink,unlinkat,"
                                "rmdir,mkdir,mkdirat,mknod,mknodat,connect,bind,sendto,sendmsg";

// One traced call's arguments as written, split at the top-level commas;
// and what follows its "=" (the result, with the file it opened).
struct Call {
    std::string name;
    std::vector<std::string> args;
    std::string result;
};

bool parseCall(const std::string& line, Call& call)
{
    const size_t open = line.find('(');
    if (open == std::string::npos || open == 0)
        return false;
    call.name = line.substr(0, open);
    call.args.clear();
    std::string arg;
    int depth = 0;
    bool quoted = false;
    size_t i = open + 1;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            arg += c;
            if (c == '\\' && i + 1 < line.size())
                arg += line[++i];
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (c == '"')
            quoted = true;
        else if (c == '(' || c == '{' || c == '[' || c == '<')
            ++depth;
        else if ((c == ')' || c == '}' || c == ']' || c == '>') && depth > 0)
            --depth;
        else if (c == ')' && depth == 0)
            break;
        else if (c == ',' && depth == 0) {
            call.args.push_back(arg);
            arg.clear();
            continue;
        }
        if (!arg.empty() || c != ' ')
            arg += c;
    }
    call.args.push_back(arg);
    const size_t eq = line.find(" = ", i);
    call.result = eq == std::string::npos ? std::string() : line.substr(eq + 3);
    return true;
}

// The text of a quoted argument ("/a/b" -> /a/b), escapes taken.
// What follows the closing quote (" <unfinished ...>" of a call the kill
// cut off) is not part of it.
std::string unquote(const std::string& arg)
{
    std::string out;
    for (size_t i = 1; i < arg.size() && arg[i] != '"'; ++i)
        out += arg[i] == '\\' && i + 1 < arg.size() ? arg[++i] : arg[i];
    return out;
}

// The path inside "<...>" of a descriptor written with -y ("3</a/b>").
std::string fdPath(const std::string& arg)
{
    const size_t lt = arg.find('<'), gt = arg.rfind('>');
    if (lt == std::string::npos || gt == std::string::npos || gt < lt)
        return std::string();
    std::string p = arg.substr(lt + 1, gt - lt - 1);
    const std::string deleted = " (deleted)";
    if (p.size() > deleted.size() && p.compare(p.size() - deleted.size(), deleted.size(), deleted) == 0)
        p.erase(p.size() - deleted.size());
    return p;
}

int fdNumber(const std::string& arg)
{
    return std::atoi(arg.c_str());
}

// A path as the kernel would take it: symbolic links followed as far as
// the path exists (the rest as written).
std::string resolved(const std::string& p)
{
    std::string head = p, tail;
    while (!head.empty()) {
        char real[PATH_MAX];
        if (::realpath(head.c_str(), real))
            return std::string(real) + tail;
        const size_t slash = head.rfind('/');
        if (slash == std::string::npos)
            break;
        tail = head.substr(slash) + tail;
        head = head.substr(0, slash);
    }
    return p;
}

constexpr const char* kUnknownCall = "???";

class Tracing {
public:
    explicit Tracing(const std::string& root) : root_(resolved(root)) {}

    // Every call of a thread's trace that reaches outside the root or
    // loopback, each as its line.
    std::vector<std::string> escapes(const std::string& trace) const
    {
        std::vector<std::string> out;
        size_t from = 0;
        while (from < trace.size()) {
            size_t end = trace.find('\n', from);
            if (end == std::string::npos)
                end = trace.size();
            const std::string line = trace.substr(from, end - from);
            from = end + 1;
            Call call;
            // A call cut off by the kill before the tracer learnt which it
            // was ("???( <unfinished ...>") did nothing to judge.
            if (parseCall(line, call) && call.name != kUnknownCall && !allowed(call, line))
                out.push_back(line);
        }
        return out;
    }

private:
    // Where `p` leads; a call that acts on the name itself (unlink,
    // rename, symlink, mkdir, ...) follows no link at its last part, and
    // a serial link left pointing at a terminal another run now holds
    // still lies inside.
    bool insideRoot(const std::string& p, bool followLast = true) const
    {
        const size_t slash = p.rfind('/');
        const bool nameOnly = !followLast && slash != std::string::npos && slash > 0;
        const std::string r = nameOnly ? resolved(p.substr(0, slash)) + p.substr(slash) : resolved(p);
        return r == root_ ||
               (r.size() > root_.size() && r.compare(0, root_.size(), root_) == 0 && r[root_.size()] == '/');
    }
    // The terminals and the null device, which the box opens for writing.
    static bool terminal(const std::string& p)
    {
        return p == "/dev/null" || p == "/dev/ptmx" || p == "/dev/tty" || p.rfind("/dev/pts/", 0) == 0;
    }
    bool fileAllowed(const std::string& p) const { return p.empty() || insideRoot(p) || terminal(p); }
    bool nameAllowed(const std::string& p) const { return p.empty() || insideRoot(p, false); }
    // A path argument at `at`, after its folder's descriptor at `at` - 1
    // for the *at calls.
    static std::string pathArg(const Call& call, size_t at, bool withFolder)
    {
        if (at >= call.args.size())
            return std::string();
        std::string p = unquote(call.args[at]);
        if (withFolder && !p.empty() && p[0] != '/' && at > 0)
            p = fdPath(call.args[at - 1]) + "/" + p;
        return p;
    }
    static bool addressesAllowed(const std::string& line)
    {
        static const std::regex inet(R"re(inet_addr\("([0-9.]+)"\))re"), inet6(R"re(inet_pton\(AF_INET6, "([^"]+)")re"),
            family(R"re(sa_family=AF_(\w+))re");
        for (std::sregex_iterator it(line.begin(), line.end(), inet), end; it != end; ++it)
            if ((*it)[1].str().rfind("127.", 0) != 0)
                return false;
        for (std::sregex_iterator it(line.begin(), line.end(), inet6), end; it != end; ++it)
            if ((*it)[1].str() != "::1")
                return false;
        for (std::sregex_iterator it(line.begin(), line.end(), family), end; it != end; ++it) {
            const std::string f = (*it)[1].str();
            if (f != "INET" && f != "INET6" && f != "UNIX" && f != "NETLINK" && f != "UNSPEC")
                return false;
        }
        return true;
    }
    bool unixAllowed(const std::string& line) const
    {
        static const std::regex unixPath(R"re(sun_path="([^"]*)")re");
        for (std::sregex_iterator it(line.begin(), line.end(), unixPath), end; it != end; ++it)
            if (!insideRoot((*it)[1].str()))
                return false;
        return true;
    }

    bool allowed(const Call& call, const std::string& line) const
    {
        const std::string& n = call.name;
        if (n == "connect" || n == "bind" || n == "sendto" || n == "sendmsg")
            return addressesAllowed(line) && unixAllowed(line);
        if (n == "write" || n == "pwrite64" || n == "writev" || n == "pwritev" || n == "pwritev2" || n == "ftruncate") {
            // The console is the starter's: what it was given as 0, 1 and 2.
            const std::string p = call.args.empty() ? std::string() : fdPath(call.args[0]);
            return fdNumber(call.args[0]) <= STDERR_FILENO || p.empty() || p[0] != '/' || p.rfind("/memfd:", 0) == 0 ||
                   fileAllowed(p);
        }
        if (n == "open" || n == "openat" || n == "openat2" || n == "creat") {
            const bool at = n != "open" && n != "creat";
            const std::string flags = call.args.size() > (at ? 2u : 1u) ? call.args[at ? 2 : 1] : std::string();
            const bool writes = n == "creat" || flags.find("O_WRONLY") != std::string::npos ||
                                flags.find("O_RDWR") != std::string::npos ||
                                flags.find("O_CREAT") != std::string::npos ||
                                flags.find("O_TRUNC") != std::string::npos;
            if (!writes)
                return true;
            const std::string opened = fdPath(call.result);
            return fileAllowed(opened.empty() ? pathArg(call, at ? 1 : 0, at) : opened);
        }
        // A file renamed leaves one place for another; a link made is a new
        // name (its file may be one opened before, "/proc/self/fd/N").
        if (n == "rename")
            return nameAllowed(pathArg(call, 0, false)) && nameAllowed(pathArg(call, 1, false));
        if (n == "renameat" || n == "renameat2")
            return nameAllowed(pathArg(call, 1, true)) && nameAllowed(pathArg(call, 3, true));
        if (n == "linkat")
            return nameAllowed(pathArg(call, 3, true));
        if (n == "symlink" || n == "link")
            return nameAllowed(pathArg(call, 1, false));
        if (n == "symlinkat")
            return nameAllowed(pathArg(call, 2, true));
        if (n == "unlinkat" || n == "mkdirat" || n == "mknodat")
            return nameAllowed(pathArg(call, 1, true));
        if (n == "truncate")
            return fileAllowed(pathArg(call, 0, false));
        return nameAllowed(pathArg(call, 0, false));  // unlink, rmdir, mkdir, mknod
    }

    std::string root_;
};

std::string fileText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

}  // namespace

// The checker itself: each kind of call, inside and outside the root.
TEST(TracedBox, TheCheckerTellsWhatLeavesTheRootFromWhatStaysInside)
{
    const Tracing tracing("/r/box");
    const char* outside[] = {
        R"(openat(AT_FDCWD</w>, "/etc/planted", O_WRONLY|O_CREAT|O_TRUNC|O_CLOEXEC, 0644) = 3</etc/planted>)",
        R"(openat(AT_FDCWD</w>, "/etc/planted", O_WRONLY|O_CREAT, 0644) = -1 EACCES (Permission denied))",
        R"(openat(AT_FDCWD</r/box>, "../x", O_RDWR) = 4</r/x>)",
        R"(write(7</home/u/.cache/f>, "x", 1) = 1)",
        R"(rename("/r/box/a", "/tmp/b") = 0)",
        R"(renameat2(AT_FDCWD</r/box>, "a", AT_FDCWD</tmp>, "b", RENAME_NOREPLACE) = 0)",
        R"(unlink("/home/u/f") = 0)",
        R"(mkdir("/home/u/.config", 0700) = 0)",
        R"(mknodat(AT_FDCWD</tmp>, "fifo", S_IFIFO|0600) = 0)",
        R"(connect(5<socket:[1]>, {sa_family=AF_INET, sin_port=htons(80), sin_addr=inet_addr("10.0.0.1")}, 16) = 0)",
        R"(sendto(5<socket:[1]>, "x", 1, 0, {sa_family=AF_INET, sin_port=htons(5008), sin_addr=inet_addr("192.168.1.2")}, 16) = 1)",
        R"(bind(5<socket:[1]>, {sa_family=AF_INET, sin_port=htons(5005), sin_addr=inet_addr("0.0.0.0")}, 16) = 0)",
        R"(connect(5<socket:[1]>, {sa_family=AF_UNIX, sun_path="/run/dbus/system_bus_socket"}, 110) = 0)",
        R"(openat(AT_FDCWD</w>, "/etc/planted", O_WRONLY|O_CREAT <unfinished ...>)",
    };
    for (const char* line : outside)
        EXPECT_EQ(tracing.escapes(line).size(), 1u) << line;
    const char* inside[] = {
        R"(openat(AT_FDCWD</w>, "/r/box/data/f.new", O_WRONLY|O_CREAT|O_EXCL, 0644) = 3</r/box/data/f.new>)",
        R"(openat(AT_FDCWD</w>, "/usr/share/fonts/x.ttf", O_RDONLY|O_CLOEXEC) = 3</usr/share/fonts/x.ttf>)",
        R"(openat(AT_FDCWD</w>, "/dev/ptmx", O_RDWR|O_NOCTTY|O_CLOEXEC) = 9</dev/ptmx>)",
        R"(write(1</w/console.txt>, "line\n", 5) = 5)",
        R"(write(12</r/box/sim/shell.log>, "sync\n", 5) = 5)",
        R"(write(8<pipe:[77]>, "x", 1) = 1)",
        R"(rename("/r/box/data/f.new", "/r/box/data/f") = 0)",
        R"(unlinkat(AT_FDCWD</r/box>, "sim/lcd.png.new", 0) = 0)",
        R"(connect(5<socket:[1]>, {sa_family=AF_INET, sin_port=htons(5005), sin_addr=inet_addr("127.0.0.9")}, 16) = 0)",
        R"(symlink("/dev/pts/3", "/r/box/dev/ttyS2") = 0)",
        R"(???( <unfinished ...>)",
        R"(unlink("/r/box/sim/control.new" <unfinished ...>)",
    };
    for (const char* line : inside)
        EXPECT_TRUE(tracing.escapes(line).empty()) << line;

    // A serial link of the root whose terminal exists again (another
    // program's now) is removed or replaced inside; writing through it is not.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string link = dir.path().toStdString() + "/dev/ttyS2";
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/dev"));
    ASSERT_EQ(::symlink("/etc/hostname", link.c_str()), 0);
    const Tracing real(dir.path().toStdString());
    EXPECT_TRUE(real.escapes("unlink(\"" + link + "\") = 0").empty());
    EXPECT_TRUE(real.escapes("symlink(\"/dev/pts/2\", \"" + link + "\") = 0").empty());
    EXPECT_EQ(real.escapes("truncate(\"" + link + "\", 0) = 0").size(), 1u);
}

// The box started traced, with its /tmp a link out of the root and a
// library planted that writes outside on purpose, then driven as a PC
// would: the overlay on, an overlay uploaded, a user mode saved with its
// overlay copy, the LCD drawn. The trace holds nothing outside the root or
// loopback but the planted writes; the kernel's confinement stops the one
// made from a thread of the running box.
TEST(TracedBox, AWholeRunWritesAndConnectsOnlyInsideItsRootAndOnLoopback)
{
    if (!canStartPrograms() || !runningEmulator().empty() || ::access(kStrace, X_OK) != 0)
        GTEST_SKIP() << "no program to trace natively here (" << kStrace << ", scripts/install-deps)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path() + "/box-root", outside = dir.path() + "/outside", planted = dir.path() + "/planted";
    for (const QString& d : {root, outside, planted, dir.path() + "/trace"})
        ASSERT_TRUE(QDir().mkpath(d));
    ASSERT_TRUE(QFile::link(outside, root + "/tmp"));
    ASSERT_EQ(::setenv("KEL_PLANT_DIR", planted.toLocal8Bit().constData(), 1), 0);

    const std::string address = freshBoxAddress();
    ProgramProcess box;
    box.setTracer({kStrace, "-f", "-ff", "-qq", "-y", "--seccomp-bpf", "-e", kTraced, "-E",
                   std::string("LD_PRELOAD=") + KEL_PLANTED_WRITE, "-o", (dir.path() + "/trace/t").toStdString(),
                   "--"});
    const QString console = dir.path() + "/console.txt";
    ASSERT_TRUE(box.start({"--box-root", root.toStdString(), "--address", address}, dir.path().toStdString(),
                          console.toStdString(), true))
        << box.error();
    ::unsetenv("KEL_PLANT_DIR");

    std::unique_ptr<LinkClient> pc;
    ASSERT_TRUE(waitUntil(
        [&] {
            pc = LinkClient::tcp(kTcpPort, address);
            return pc->ok();
        },
        kStartMs));
    const std::vector<u8> overlay = filetest::bytesOf(
        R"({"name":"traced","osdcount":1,"oactcount":1,"menu":[{"type":0,"status":"on",)"
        R"("pos":{"x":0,"y":0,"w":640,"h":64},"act":{"effect":0,"speed":1,"staytime":0},)"
        R"("backpara":{"enable":"on","color":"000080"},"fontpara":{"startx":0,"starty":0,"fontw":32,"fonth":32,)"
        R"("wordspace":0,"verticalspace":0,"color":"FFFFFF"},"texts":["TRACED"]}]})");
    EXPECT_EQ(pc->ask(pcRequest(0x11, cat({le32(kOsdEnable), le16(1)}))), 0);
    EXPECT_EQ(filetest::sendAll(filetest::transferFrames("OSDS", overlay), [&](auto& f) { return pc->request(f); }), 0);
    EXPECT_EQ(pc->ask(pcRequest(0x11, cat({le32(kModeSaveRequest), le16(2)}))), 0);
    EXPECT_TRUE(waitUntil(
        [&] {
            return QFile::exists(root + "/data/modes/custom_mode2") && QFile::exists(root + "/data/modes/MO02.json");
        },
        kStartMs));
    QFile pipe(root + "/sim/control");
    ASSERT_TRUE(pipe.open(QIODevice::WriteOnly));
    pipe.write("lcd\n");
    pipe.close();
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(root + "/sim/lcd.png"); }, kStartMs));
    box.kill();

    const Tracing tracing(root.toStdString());
    std::vector<std::string> escapes;
    const QStringList traces = QDir(dir.path() + "/trace").entryList(QDir::Files);
    EXPECT_GT(traces.size(), 5);  // a file for every thread
    for (const QString& t : traces)
        for (const std::string& e : tracing.escapes(fileText(dir.path() + "/trace/" + t)))
            escapes.push_back(e);
    bool atStart = false, fromAThread = false;
    for (const std::string& e : escapes) {
        const bool plantedWrite = e.find(planted.toStdString() + "/") != std::string::npos;
        atStart = atStart || e.find("/at-start") != std::string::npos;
        fromAThread = fromAThread || e.find("/from-a-thread") != std::string::npos;
        EXPECT_TRUE(plantedWrite) << e;
    }
    EXPECT_TRUE(atStart);
    EXPECT_TRUE(fromAThread);
    EXPECT_TRUE(QDir(outside).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden));
    // Made before the box confined itself, the first write landed; the
    // kernel refused the second, where it confines.
    EXPECT_TRUE(QFile::exists(planted + "/at-start"));
    if (fileText(console).find("confined to its root by the kernel") != std::string::npos) {
        EXPECT_FALSE(QFile::exists(planted + "/from-a-thread"));
    }
}
