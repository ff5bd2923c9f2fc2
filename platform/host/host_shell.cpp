// Host back end of the shell. Nothing here ever runs a program on the
// machine: each command is written to the journal <box root>/sim/shell.log;
// a handful of file commands on box paths are carried out natively inside
// the box root; everything else only answers with a status from a table.
#include "platform/box_state.h"
#include "platform/host/host_internal.h"
#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kStatusFailed = 1 << 8;  // wait status of "exit 1"
constexpr const char* kShellLog = "/sim/shell.log";
// The most a file edited in place (dos2unix, sed) may hold: the largest file
// the box keeps is a program of the transfer buffer's 5 MiB.
constexpr size_t kMostEditedBytes = 5 * 1024 * 1024;

struct Shell {
    std::mutex mutex;
    std::deque<std::string> journal;  // the last kOpLogKept commands
    std::map<std::string, int> statusByPrefix;
    std::map<std::string, std::string> outputs;
    std::function<void()> rebootHandler;
    int reboots = 0;
};

Shell& shell()
{
    static Shell* s = new Shell;
    return *s;
}

const char* const kMacQuery = "ifconfig eth0 | grep HWaddr | awk '{print $5}'";
const char* const kDefaultMac = "02:4b:45:4c:00:01";
const char* const kInterfaces = "/etc/network/interfaces";
const char* const kHwAddressKey = "hwaddress ether ";
constexpr size_t kMostInterfacesBytes = 64 * 1024;

// The hardware address the Ethernet port starts with: the one the network
// configuration names, as the board's start-up gives it to the port, or
// the simulated box's own.
std::string startMac()
{
    std::string text;
    if (readFileUpTo(kInterfaces, text, kMostInterfacesBytes) != ReadResult::Read)
        return kDefaultMac;
    const size_t at = text.find(kHwAddressKey);
    if (at == std::string::npos)
        return kDefaultMac;
    const size_t from = at + std::string(kHwAddressKey).size();
    const std::string mac = text.substr(from, text.find_first_of(" \t\r\n", from) - from);
    return mac.empty() ? kDefaultMac : mac;
}

// Outputs the simulated box gives to the commands it reads from.
void installDefaultOutputs(Shell& s)
{
    s.outputs[kMacQuery] = startMac() + "\n";
}

bool setsMac(const std::vector<std::string>& w)
{
    return w.size() == 5 && w[0] == "ifconfig" && w[1] == "eth0" && w[2] == "hw" && w[3] == "ether";
}

// ifconfig eth0 hw ether ADDRESS: the port takes the address, and the
// query of its address answers it from then on.
void setMac(const std::string& mac)
{
    Shell& s = shell();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.outputs[kMacQuery] = mac + "\n";
}

void defaultReboot()
{
    // The board's flashes keep what they hold over a reboot.
    sim::persistDevices();
    std::fflush(nullptr);
    std::_Exit(3);
}

void record(const std::string& cmd)
{
    std::string line = cmd;
    for (auto& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    Shell& s = shell();
    std::lock_guard<std::mutex> lock(s.mutex);
    sim::appendToOpLog(s.journal, line);
    const int fd = detail::openInPlace(kShellLog, O_WRONLY | O_CREAT | O_APPEND);
    if (fd >= 0) {
        line += '\n';
        ssize_t n = ::write(fd, line.data(), line.size());
        (void)n;
        ::close(fd);
    }
}

int tableStatus(const std::string& cmd)
{
    Shell& s = shell();
    std::lock_guard<std::mutex> lock(s.mutex);
    size_t best = 0;
    int status = 0;
    for (const auto& [prefix, st] : s.statusByPrefix) {
        if (cmd.rfind(prefix, 0) == 0 && prefix.size() >= best) {
            best = prefix.size();
            status = st;
        }
    }
    return status;
}

// Splits a command into words, honouring quotes. False when it holds shell
// syntax (pipes, lists, substitutions, redirections) that we don't run.
bool splitWords(std::string cmd, std::vector<std::string>& words)
{
    for (const char* tail : {" >/dev/null 2>&1", " &>/dev/null", " >/dev/null", " 2>/dev/null"}) {
        std::string t = tail;
        if (cmd.size() >= t.size() && cmd.compare(cmd.size() - t.size(), t.size(), t) == 0)
            cmd.erase(cmd.size() - t.size());
    }
    std::string cur;
    bool inWord = false;
    char quote = 0;
    for (char c : cmd) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                cur += c;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
            continue;
        }
        if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(cur);
            cur.clear();
            inWord = false;
            continue;
        }
        if (std::string(";|&`$<>(){}*?\\").find(c) != std::string::npos)
            return false;
        cur += c;
        inWord = true;
    }
    if (quote)
        return false;
    if (inWord)
        words.push_back(cur);
    return !words.empty();
}

// Maps a box path argument under the root; "" when it is not an absolute
// box path or would leave the root, lexically or through a symbolic link
// (the path itself too when `itself`: a command that follows it would act
// on what it leads to).
std::string boxArg(const std::string& arg, bool itself = true)
{
    if (arg.empty() || arg[0] != '/' || detail::leavesRoot(arg, itself))
        return std::string();
    return path(arg);
}

std::string lastName(const std::string& p)
{
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

int nativeMv(const std::vector<std::string>& w)
{
    if (w.size() != 3)
        return kStatusFailed;
    std::string from = boxArg(w[1]), to = boxArg(w[2]);
    if (from.empty() || to.empty())
        return kStatusFailed;
    if (detail::isFolder(to))
        to += "/" + lastName(from);
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : kStatusFailed;
}

// Copies a plain file's bytes over `to` (made, or cut to nothing first),
// never writing through a symbolic link there nor waiting on a FIFO.
bool copyFile(const std::string& from, const std::string& to, mode_t mode)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out =
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode & 07777);
    bool ok = out >= 0;
    char buf[65536];
    for (off_t at = 0; ok;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = detail::writeAllAt(out, buf, static_cast<size_t>(n), at);
        at += n;
    }
    ::close(in);
    if (out >= 0)
        ok = ::close(out) == 0 && ok;
    return ok;
}

// Copies `from` over `to`: a plain file, or with `recursive` a folder and
// what it holds into the folder `to` (made when missing). Inside a folder a
// symbolic link, a FIFO or a device is left out: what it leads to is not
// the tree's.
bool copyTree(const std::string& from, const std::string& to, bool recursive, bool top)
{
    struct stat st {};
    if ((top ? ::stat(from.c_str(), &st) : ::lstat(from.c_str(), &st)) != 0)
        return false;
    if (S_ISREG(st.st_mode))
        return copyFile(from, to, st.st_mode);
    if (!S_ISDIR(st.st_mode))
        return !top;
    if (!recursive || (::mkdir(to.c_str(), st.st_mode & 07777) != 0 && !detail::isFolder(to)))
        return false;
    bool all = true;
    for (const std::string& name : detail::namesIn(from))
        all = copyTree(from + "/" + name, to + "/" + name, true, false) && all;
    return all;
}

int nativeCp(const std::vector<std::string>& w)
{
    std::vector<std::string> args;
    bool recursive = false;
    for (size_t i = 1; i < w.size(); ++i) {
        if (w[i] == "-r" || w[i] == "-R" || w[i] == "-rf" || w[i] == "-a")
            recursive = true;
        else if (w[i] == "-f")
            continue;
        else
            args.push_back(w[i]);
    }
    if (args.size() != 2)
        return kStatusFailed;
    std::string from = boxArg(args[0]), to = boxArg(args[1]);
    if (from.empty() || to.empty())
        return kStatusFailed;
    if (detail::isFolder(to) && !detail::isFolder(from))
        to += "/" + lastName(from);
    return copyTree(from, to, recursive, true) ? 0 : kStatusFailed;
}

int nativeRm(const std::vector<std::string>& w)
{
    bool force = false, recursive = false;
    std::vector<std::string> targets;
    for (size_t i = 1; i < w.size(); ++i) {
        if (w[i].size() > 1 && w[i][0] == '-') {
            force |= w[i].find('f') != std::string::npos;
            recursive |= w[i].find('r') != std::string::npos || w[i].find('R') != std::string::npos;
        } else {
            targets.push_back(w[i]);
        }
    }
    int status = 0;
    for (const auto& t : targets) {
        std::string p = boxArg(t, false);  // a symbolic link is removed, never followed
        if (p.empty() || p == boxRoot()) {
            status = kStatusFailed;
            continue;
        }
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            if (!force)
                status = kStatusFailed;
            continue;
        }
        const bool removed = S_ISDIR(st.st_mode) ? recursive && detail::removeTree(p) : ::unlink(p.c_str()) == 0;
        if (!removed)
            status = kStatusFailed;
    }
    return status;
}

// Sets the mode of `p` and, with `recursive`, of everything in the folder
// `p` (a symbolic link left out: what it leads to is not in the tree).
bool chmodTree(const std::string& p, mode_t mode, bool recursive)
{
    bool all = ::chmod(p.c_str(), mode) == 0;
    if (!recursive || !detail::isFolder(p))
        return all;
    for (const std::string& name : detail::namesIn(p)) {
        const std::string child = p + "/" + name;
        struct stat st {};
        if (::lstat(child.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
            all = chmodTree(child, mode, true) && all;
    }
    return all;
}

// chmod MODE [-R] PATH: an octal mode, or +x.
int nativeChmod(const std::vector<std::string>& w)
{
    std::vector<std::string> args;
    bool recursive = false;
    for (size_t i = 1; i < w.size(); ++i) {
        if (w[i] == "-R")
            recursive = true;
        else
            args.push_back(w[i]);
    }
    if (args.size() != 2)
        return kStatusFailed;
    std::string p = boxArg(args[1]);
    struct stat st {};
    if (p.empty() || ::stat(p.c_str(), &st) != 0)
        return kStatusFailed;
    char* end = nullptr;
    long mode = std::strtol(args[0].c_str(), &end, 8);
    mode_t m = 0755;
    if (end && *end == '\0')
        m = static_cast<mode_t>(mode);
    else if (args[0] != "+x" && args[0] != "a+x" && args[0] != "u+x")
        return 0;
    return chmodTree(p, m, recursive) ? 0 : kStatusFailed;
}

// mkdir [-p] PATH...: each folder with its parents, inside the root.
int nativeMkdir(const std::vector<std::string>& w)
{
    int status = 0;
    for (size_t i = 1; i < w.size(); ++i) {
        if (w[i] == "-p")
            continue;
        if (boxArg(w[i]).empty() || !makeDirs(w[i]))
            status = kStatusFailed;
    }
    return status;
}

// Rewrites a file in place through a transformation of its bytes.
int rewriteFile(const std::string& boxPath, const std::function<std::string(const std::string&)>& fn)
{
    std::string p = boxArg(boxPath);
    std::string text;
    if (p.empty() || readFileUpTo(boxPath, text, kMostEditedBytes) != ReadResult::Read)
        return kStatusFailed;
    return writeFileAtomic(boxPath, fn(text)) ? 0 : kStatusFailed;
}

int nativeDos2unix(const std::vector<std::string>& w)
{
    if (w.size() != 2)
        return kStatusFailed;
    return rewriteFile(w[1], [](const std::string& in) {
        std::string out;
        out.reserve(in.size());
        for (size_t i = 0; i < in.size(); ++i)
            if (!(in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n'))
                out += in[i];
        return out;
    });
}

// Only the one edit the box makes: removing UTF-8 byte-order marks.
int nativeSed(const std::vector<std::string>& w)
{
    static const std::string kBomScript = "s/\xEF\xBB\xBF//g";
    if (w.size() != 4 || w[1] != "-i" || w[2] != kBomScript)
        return kStatusFailed;
    return rewriteFile(w[3], [](const std::string& in) {
        std::string out = in;
        const std::string bom = "\xEF\xBB\xBF";
        for (size_t pos; (pos = out.find(bom)) != std::string::npos;)
            out.erase(pos, bom.size());
        return out;
    });
}

using NativeCommands = std::map<std::string, int (*)(const std::vector<std::string>&)>;

NativeCommands nativeCommands()
{
    return {
        {"mv", nativeMv},       {"cp", nativeCp},       {"rm", nativeRm},
        {"chmod", nativeChmod}, {"mkdir", nativeMkdir}, {"dos2unix", nativeDos2unix},
        {"sed", nativeSed},
    };
}

// Returns true when the command was one we carry out, with its status.
bool runNative(const std::string& cmd, int& status)
{
    std::vector<std::string> w;
    if (!splitWords(cmd, w))
        return false;
    const std::string& name = w[0];
    if (setsMac(w)) {
        status = tableStatus(cmd);
        if (status == 0)
            setMac(w[4]);
        return true;
    }
    if (name == "sync") {
        status = 0;  // the host's page cache is not the box's to flush
        return true;
    }
    static const NativeCommands kNative = boxstate::constant(kNative, nativeCommands());
    auto it = kNative.find(name);
    if (it == kNative.end())
        return false;
    status = it->second(w);
    return true;
}

bool isReboot(const std::string& cmd)
{
    std::vector<std::string> w;
    return splitWords(cmd, w) && w[0] == "reboot";
}

}  // namespace

int shellRun(const std::string& cmd)
{
    record(cmd);
    if (isReboot(cmd)) {
        std::function<void()> handler;
        {
            Shell& s = shell();
            std::lock_guard<std::mutex> lock(s.mutex);
            ++s.reboots;
            handler = s.rebootHandler;
        }
        (handler ? handler : defaultReboot)();
        return 0;
    }
    int status = 0;
    if (runNative(cmd, status))
        return status;
    return tableStatus(cmd);
}

FILE* shellOpenRead(const std::string& cmd)
{
    record(cmd);
    std::string out;
    {
        Shell& s = shell();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.outputs.find(cmd);
        if (it != s.outputs.end())
            out = it->second;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;
    // The read end is returned at once; a writer thread keeps outputs larger
    // than the pipe buffer from blocking us.
    if (out.size() <= 4096) {
        ssize_t n = ::write(fds[1], out.data(), out.size());
        (void)n;
        ::close(fds[1]);
    } else {
        std::thread([fd = fds[1], out]() {
            nameThread("sim-shell-out");
            const char* p = out.data();
            size_t left = out.size();
            while (left > 0) {
                ssize_t n = ::write(fd, p, left);
                if (n <= 0)
                    break;
                p += n;
                left -= static_cast<size_t>(n);
            }
            ::close(fd);
        }).detach();
    }
    FILE* f = ::fdopen(fds[0], "r");
    if (!f)
        ::close(fds[0]);
    return f;
}

int shellClose(FILE* f)
{
    return f ? (std::fclose(f) == 0 ? 0 : -1) : -1;
}

namespace sim {

void setShellStatus(const std::string& prefix, int rawStatus)
{
    Shell& s = shell();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.statusByPrefix[prefix] = rawStatus;
}

void setShellOutput(const std::string& cmd, const std::string& output)
{
    Shell& s = shell();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.outputs[cmd] = output;
}

std::vector<std::string> shellJournal()
{
    Shell& s = shell();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.journal.begin(), s.journal.end()};
}

void clearShellJournal()
{
    Shell& s = shell();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.journal.clear();
}

void setRebootHandler(std::function<void()> handler)
{
    Shell& s = shell();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.rebootHandler = std::move(handler);
}

int rebootCount()
{
    Shell& s = shell();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.reboots;
}

}  // namespace sim

namespace host {

void resetShell()
{
    Shell& s = shell();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.journal.clear();
    s.statusByPrefix.clear();
    s.outputs.clear();
    s.reboots = 0;
    installDefaultOutputs(s);
}

}  // namespace host
}  // namespace platform
