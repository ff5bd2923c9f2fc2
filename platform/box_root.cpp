// Box paths, the box root and whole-file writes: the same on both back ends.
#include "platform/box_state.h"
#include "platform/internal.h"
#include "platform/platform.h"

#include <QMutexLocker>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <stdio_ext.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

// std::filesystem only works on names here. What a file is (a folder, a
// link) is asked of the C library: the 32-bit box's libstdc++ is built with
// 32-bit times, and its look at a file dated after 2038 fails.
namespace fs = std::filesystem;

namespace platform {
namespace {

std::mutex g_rootMutex;
std::string g_root = boxstate::startValue(g_root, std::string("/"));
std::atomic<int> g_dataWriteFault = boxstate::startValue(g_dataWriteFault, 0);

std::string normaliseBoxPath(const std::string& boxPath);

const std::string kDataDir = "/data";

// True for a box path in the data folders.
bool inDataFolders(const std::string& boxPath)
{
    const std::string rel = boxPath.empty() || boxPath[0] != '/' ? "/" + boxPath : boxPath;
    const std::string norm = normaliseBoxPath(rel);
    return norm == kDataDir || norm.compare(0, kDataDir.size() + 1, kDataDir + "/") == 0;
}

// The fault a write to this box path meets (0 none): the data folders only.
int writeFaultFor(const std::string& boxPath)
{
    const int fault = g_dataWriteFault.load();
    return fault && inDataFolders(boxPath) ? fault : 0;
}

// The simulated slow disk (detail::setSyncPace): milliseconds a sync waits
// for each MiB, and the syncs waiting now.
constexpr uint64_t kMiB = 1u << 20;
constexpr auto kPaceLook = std::chrono::milliseconds(10);
std::atomic<uint32_t> g_syncMsPerMiB = boxstate::startValue(g_syncMsPerMiB, 0u);
std::atomic<int> g_syncsWaiting = boxstate::startValue(g_syncsWaiting, 0);

// Waits as the slow disk would before it syncs `len` bytes of a file at
// `boxPath`; at once while the disk is not slow or the file lies outside
// the data folders.
void paceSync(const std::string& boxPath, size_t len)
{
    const uint32_t pace = g_syncMsPerMiB.load();
    if (!pace || !inDataFolders(boxPath))
        return;
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(uint64_t(pace) * len / kMiB);
    ++g_syncsWaiting;
    for (auto now = Clock::now(); g_syncMsPerMiB.load() != 0 && now < until; now = Clock::now())
        std::this_thread::sleep_for(std::min<Clock::duration>(kPaceLook, until - now));
    --g_syncsWaiting;
}

// Lexically normalises an absolute path; "" when ".." climbs above "/".
std::string normaliseBoxPath(const std::string& boxPath)
{
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= boxPath.size()) {
        size_t j = boxPath.find('/', i);
        if (j == std::string::npos)
            j = boxPath.size();
        std::string part = boxPath.substr(i, j - i);
        if (part == "..") {
            if (parts.empty())
                return std::string();
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += "/" + p;
    if (out.empty())
        out = "/";
    if (boxPath.size() > 1 && boxPath.back() == '/' && out != "/")
        out += "/";
    return out;
}

}  // namespace

namespace detail {

void setDataWriteFault(int error)
{
    g_dataWriteFault = error;
}

void setSyncPace(uint32_t msPerMiB)
{
    g_syncMsPerMiB = msPerMiB;
}

int syncsWaiting()
{
    return g_syncsWaiting.load();
}

void setBoxRoot(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(g_rootMutex);
    std::string root = dir.empty() ? std::string("/") : dir;
    if (root != "/") {
        std::error_code ec;
        fs::path abs = fs::absolute(root, ec);
        root = abs.lexically_normal().string();
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
    }
    g_root = root;
}

std::optional<std::string> takeOption(int& argc, char** argv, const std::string& name)
{
    std::optional<std::string> value;
    const std::string withValue = name + "=";
    int out = 1;
    for (int in = 1; in < argc; ++in) {
        const std::string arg = argv[in];
        if (arg == name) {
            value = in + 1 < argc ? argv[++in] : "";
            continue;
        }
        if (arg.rfind(withValue, 0) == 0) {
            value = arg.substr(withValue.size());
            continue;
        }
        argv[out++] = argv[in];
    }
    if (out < argc)
        argv[out] = nullptr;
    argc = out;
    return value;
}

}  // namespace detail

const std::string& boxRoot()
{
    std::lock_guard<std::mutex> lock(g_rootMutex);
    return g_root;
}

std::string path(const std::string& boxPath)
{
    std::string rel = boxPath.empty() || boxPath[0] != '/' ? "/" + boxPath : boxPath;
    std::string norm = normaliseBoxPath(rel);
    if (norm.empty())
        return std::string();
    std::lock_guard<std::mutex> lock(g_rootMutex);
    if (g_root == "/")
        return norm;
    return norm == "/" ? g_root : g_root + norm;
}

QString qpath(const QString& boxPath)
{
    return QString::fromStdString(path(boxPath.toStdString()));
}

bool detail::isFolder(const std::string& p)
{
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> detail::namesIn(const std::string& p)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(p.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

bool detail::makeFolders(const std::string& p, size_t lowest)
{
    int why = 0;
    size_t from = lowest + 1;
    for (size_t end = p.rfind('/'); end != std::string::npos && end > from; end = p.rfind('/', end - 1))
        if (detail::isFolder(p.substr(0, end))) {
            from = end + 1;
            break;
        }
    for (size_t end = p.find('/', from);; end = p.find('/', end + 1)) {
        const std::string part = p.substr(0, end);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            why = errno;
        if (end == std::string::npos)
            break;
    }
    if (detail::isFolder(p))
        return true;
    errno = why ? why : ENOTDIR;
    return false;
}

bool makeDirs(const std::string& boxPath)
{
    std::string p = path(boxPath);
    if (p.empty())
        return false;
    if (detail::leavesRoot(boxPath, true)) {
        errno = EACCES;
        return false;
    }
    if (const int fault = writeFaultFor(boxPath)) {
        errno = fault;
        return detail::isFolder(p);
    }
    // Never one above the root, which is there.
    const std::string root = boxRoot();
    return detail::makeFolders(p, root == "/" ? 0 : root.size());
}

bool exists(const std::string& boxPath)
{
    std::string p = path(boxPath);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0;
}

bool isDir(const std::string& boxPath)
{
    std::string p = path(boxPath);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What a st_mode that is not a plain file's is, in words.
static const char* kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISLNK(mode))
        return "a symbolic link";
    return "not a plain file";
}

static constexpr const char* kNotPlain = ", not a plain file";
static constexpr const char* kOutsideRoot = "a file outside the box root, reached through a symbolic link";

// True when the host path `p` of an existing file lies inside the box root
// once every symbolic link on the way is followed. The board's root is "/".
static bool insideRoot(const std::string& p)
{
    const std::string root = boxRoot();
    if (root == "/")
        return true;
    std::unique_ptr<char, decltype(&std::free)> realRoot(::realpath(root.c_str(), nullptr), &std::free);
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(p.c_str(), nullptr), &std::free);
    if (!realRoot || !real)
        return false;
    const std::string r = realRoot.get(), f = real.get();
    return f.size() > r.size() && f.compare(0, r.size(), r) == 0 && f[r.size()] == '/';
}

// Why the host path `p` is not a plain file inside the box root, or empty
// when it is one or is missing. stat() follows symbolic links; one that
// loops or leads nowhere fails it while lstat() finds the link itself.
static std::string oddFile(const std::string& p)
{
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return std::string(kindOf(st.st_mode)) + kNotPlain;
        return insideRoot(p) ? std::string() : std::string(kOutsideRoot);
    }
    if (errno == ELOOP)
        return std::string("a symbolic link that loops") + kNotPlain;
    struct stat link {};
    if (::lstat(p.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        return std::string("a symbolic link that leads nowhere") + kNotPlain;
    return std::string();
}

// What each refused file was last refused as: a refusal is told once, and
// again only after the file was read, written or gone in between, or is
// refused as something else.
static std::mutex g_toldMutex;
static std::map<std::string, std::string> g_told = boxstate::startValue(g_told, std::map<std::string, std::string>());

// True when `boxPath` being `what` is to be told now: it was not the last
// thing told of it.
static bool firstTelling(const std::string& boxPath, const std::string& what)
{
    std::lock_guard<std::mutex> lock(g_toldMutex);
    auto it = g_told.find(boxPath);
    if (it != g_told.end() && it->second == what)
        return false;
    g_told[boxPath] = what;
    return true;
}

// Whether the last byte the console (standard output, once
// keepConsoleLinesWhole made it so) handed to the system ended a line; a
// line left unfinished may have left by a flush of anyone's.
static std::atomic<bool> g_consoleMidLine = boxstate::startValue(g_consoleMidLine, false);

static ssize_t writeConsole(void*, const char* bytes, size_t len)
{
    size_t done = 0;
    while (done < len) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes + done, len - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    if (done > 0)
        g_consoleMidLine = bytes[done - 1] != '\n';
    return done > 0 || len == 0 ? static_cast<ssize_t>(done) : -1;
}

void keepConsoleLinesWhole()
{
    cookie_io_functions_t io{};
    io.write = writeConsole;
    FILE* console = ::fopencookie(nullptr, "w", io);
    std::fflush(stdout);
    if (console && std::setvbuf(console, nullptr, _IOLBF, BUFSIZ) == 0)
        stdout = console;
    else
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

void consoleLine(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    ::flockfile(stdout);
    // A line-buffered stream (the box's console) holds only an unfinished
    // line; one flushed already is known to the console's own writer.
    if ((::__flbf(stdout) && ::__fpending(stdout) > 0) || g_consoleMidLine)
        std::fputc('\n', stdout);
    std::vfprintf(stdout, format, args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    ::funlockfile(stdout);
    va_end(args);
}

void refuseFile(const std::string& boxPath, const std::string& what)
{
    if (!firstTelling(boxPath, what))
        return;
    consoleLine("[files] %s is %s: refused", boxPath.c_str(), what.c_str());
}

// The file at boxPath was found fit, written or missing: a refusal after
// this is told again.
static void refusalOver(const std::string& boxPath)
{
    std::lock_guard<std::mutex> lock(g_toldMutex);
    g_told.erase(boxPath);
}

bool notPlainFile(const std::string& boxPath)
{
    const std::string p = path(boxPath);
    const std::string odd = p.empty() ? std::string() : oddFile(p);
    if (odd.empty())
        return false;
    refuseFile(boxPath, odd);
    return true;
}

bool leadsOutOfRoot(const std::string& boxPath)
{
    const std::string p = path(boxPath);
    struct stat st {};
    if (p.empty() || ::stat(p.c_str(), &st) != 0 || insideRoot(p))
        return false;
    refuseFile(boxPath, std::string(S_ISDIR(st.st_mode) ? "a folder" : "a file") +
                            " outside the box root, reached through a symbolic link");
    return true;
}

// Where short-lived files go while /tmp is refused: a folder of the root's
// own, which nothing outside the box has a name for.
static constexpr const char* kScratchBeside = "/box-tmp";

std::string scratchFolder()
{
    if (makeDirs("/tmp"))  // a /tmp that leads out of the root is refused, told
        return "/tmp";
    const std::string p = path(kScratchBeside);
    struct stat st {};
    // A symbolic link at the box's own name is removed, never followed.
    if (::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        const bool gone = ::unlink(p.c_str()) == 0;
        consoleLine("[files] %s is a symbolic link, not a folder: %s", kScratchBeside, gone ? "removed" : "refused");
    }
    if (::mkdir(p.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string();
    if (::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        refuseFile(kScratchBeside, std::string(kindOf(st.st_mode)) + ", not a folder");
        return std::string();
    }
    return kScratchBeside;
}

namespace detail {

// The folder that holds a normalised box path ("/" for the root's own).
static std::string folderOf(const std::string& norm)
{
    const size_t slash = norm.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : norm.substr(0, slash);
}

bool leavesRoot(const std::string& boxPath, bool itself)
{
    std::string dir = normaliseBoxPath(boxPath.empty() || boxPath[0] != '/' ? "/" + boxPath : boxPath);
    if (dir.empty())
        return true;
    if (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (!itself)
        dir = folderOf(dir);
    // The nearest that exists: what is still to be made is made inside it.
    for (struct stat st{}; dir != "/" && ::stat(path(dir).c_str(), &st) != 0;)
        dir = folderOf(dir);
    if (dir == "/")
        return false;
    if (leadsOutOfRoot(dir))
        return true;
    refusalOver(dir);
    return false;
}

// True when the file open at `fd` lies inside the box root, as the kernel
// names it (the board's root is "/"; without /proc the looks before the
// open stand).
static bool openedInsideRoot(int fd)
{
    if (boxRoot() == "/")
        return true;
    char name[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), name, sizeof name - 1);
    if (n <= 0)
        return true;
    std::unique_ptr<char, decltype(&std::free)> realRoot(::realpath(boxRoot().c_str(), nullptr), &std::free);
    if (!realRoot)
        return false;
    const std::string r = realRoot.get(), f(name, static_cast<size_t>(n));
    return f.size() > r.size() && f.compare(0, r.size(), r) == 0 && f[r.size()] == '/';
}

// Why the file at host path `p`, looked at without following it (`st`),
// is not one the simulator changes in place, or empty when it is: a
// symbolic link even inside the root (it may lead to a file the box keeps,
// the parameter file, which a write in place would tear), and a file that
// shares its inode with another name (a hard link: written in place, the
// other file changes too, wherever it lies).
static std::string notOwnFile(const struct stat& st)
{
    if (S_ISLNK(st.st_mode))
        return std::string("a symbolic link") + kNotPlain;
    if (S_ISREG(st.st_mode) && st.st_nlink > 1)
        return "a file with " + std::to_string(st.st_nlink) + " names (a hard link), not one of its own";
    return std::string();
}

int openInPlace(const std::string& boxPath, int flags)
{
    const std::string p = path(boxPath);
    if (p.empty() || p.back() == '/') {
        errno = EACCES;
        return -1;
    }
    if (notPlainFile(boxPath) || leavesRoot(boxPath, false)) {
        errno = EPERM;
        return -1;
    }
    struct stat st {};
    const std::string notOwn = ::lstat(p.c_str(), &st) == 0 ? notOwnFile(st) : std::string();
    if (!notOwn.empty()) {
        refuseFile(boxPath, notOwn);
        errno = EPERM;
        return -1;
    }
    constexpr int kNeverWait = O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(p.c_str(), (flags & ~(O_CREAT | O_EXCL)) | kNeverWait);
    // Made afresh, never through a symbolic link that came meanwhile.
    if (fd < 0 && errno == ENOENT && (flags & O_CREAT))
        fd = ::open(p.c_str(), flags | O_EXCL | kNeverWait, 0644);
    if (fd < 0 && errno == ELOOP) {  // a symbolic link swapped in after the look
        refuseFile(boxPath, std::string("a symbolic link") + kNotPlain);
        errno = EPERM;
    }
    if (fd < 0)
        return -1;
    if (!heldInPlace(fd, boxPath)) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    refusalOver(boxPath);
    return fd;
}

// Whether the host path `p`, looked at without following it, is the file
// `held` describes.
static bool sameFile(const struct stat& held, const std::string& p)
{
    struct stat there {};
    return ::lstat(p.c_str(), &there) == 0 && there.st_dev == held.st_dev && there.st_ino == held.st_ino;
}

bool sameFileAt(int fd, const std::string& p)
{
    struct stat held {};
    return ::fstat(fd, &held) == 0 && sameFile(held, p);
}

bool heldInPlace(int fd, const std::string& boxPath)
{
    struct stat held {};
    const bool looked = ::fstat(fd, &held) == 0;
    std::string odd = looked && S_ISREG(held.st_mode)
                          ? notOwnFile(held)
                          : std::string(looked ? kindOf(held.st_mode) : "not a plain file") + kNotPlain;
    if (odd.empty() && leavesRoot(boxPath, false))
        return false;  // told by leavesRoot
    if (odd.empty() && !openedInsideRoot(fd))
        odd = kOutsideRoot;
    if (!odd.empty()) {
        refuseFile(boxPath, odd);
        return false;
    }
    // Moved or gone: another file, or none, is at its name now (not told).
    return sameFile(held, path(boxPath));
}

}  // namespace detail

std::vector<std::string> dirNames(const std::string& boxDir)
{
    const std::string p = path(boxDir);
    return p.empty() ? std::vector<std::string>() : detail::namesIn(p);
}

// False, with the console line, when a file of `size` bytes is more than a
// reader that takes at most `largest` may hold.
static bool sizeFits(const std::string& boxPath, uint64_t size, uint64_t largest)
{
    if (size <= largest)
        return true;
    refuseFile(boxPath, std::to_string(size) + " bytes, more than the " + std::to_string(largest) + " it may have");
    return false;
}

FileCheck checkFile(const std::string& boxPath, uint64_t largest)
{
    const std::string p = path(boxPath);
    if (p.empty())
        return FileCheck::Missing;
    if (notPlainFile(boxPath))
        return FileCheck::Refused;
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) {
        refusalOver(boxPath);
        return FileCheck::Missing;
    }
    if (!sizeFits(boxPath, static_cast<uint64_t>(st.st_size), largest))
        return FileCheck::TooLarge;
    refusalOver(boxPath);
    return FileCheck::Fits;
}

bool mayWrite(const std::string& boxPath)
{
    if (const int fault = writeFaultFor(boxPath)) {
        errno = fault;
        return false;
    }
    if (notPlainFile(boxPath)) {
        errno = EINVAL;
        return false;
    }
    return true;
}

// Opens a kept file for reading: a plain file inside the box root of at
// most `largest` bytes, looked at before it is opened (checkFile) and again
// once open, without blocking on something swapped in meanwhile. -1, with
// why in `result`, otherwise.
static int openKeptFile(const std::string& boxPath, uint64_t largest, ReadResult& result)
{
    result = ReadResult::Missing;
    const FileCheck check = checkFile(boxPath, largest);
    if (check != FileCheck::Fits) {
        if (check == FileCheck::TooLarge)
            result = ReadResult::TooLarge;
        return -1;
    }
    const int fd = ::open(path(boxPath).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    if (!sizeFits(boxPath, static_cast<uint64_t>(st.st_size), largest)) {
        ::close(fd);
        result = ReadResult::TooLarge;
        return -1;
    }
    result = ReadResult::Read;
    return fd;
}

// Reads an open file to its end into `out` (at most `limit` bytes) and
// closes it.
static ReadResult readOpenFile(int fd, std::string& out, size_t limit)
{
    char buf[65536];
    ReadResult result = ReadResult::Read;
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result = ReadResult::Missing;
            break;
        }
        if (n == 0)
            break;
        if (out.size() + static_cast<size_t>(n) > limit) {  // grew while read
            result = ReadResult::TooLarge;
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    if (result != ReadResult::Read)
        out.clear();
    return result;
}

bool readFile(const std::string& boxPath, std::string& out)
{
    return readFileUpTo(boxPath, out, out.max_size()) == ReadResult::Read;
}

ReadResult readFileUpTo(const std::string& boxPath, std::string& out, size_t limit)
{
    out.clear();
    ReadResult result;
    const int fd = openKeptFile(boxPath, limit, result);
    if (fd < 0)
        return result;
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        out.reserve(static_cast<size_t>(st.st_size));
    return readOpenFile(fd, out, limit);
}

namespace detail {

bool removeTree(const std::string& p)
{
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(p.c_str()) == 0;
    bool all = true;
    for (const std::string& name : namesIn(p))
        all = removeTree(p + "/" + name) && all;
    return ::rmdir(p.c_str()) == 0 && all;
}

bool writeAllAt(int fd, const void* data, size_t len, off_t offset)
{
    const char* at = static_cast<const char*>(data);
    while (len > 0) {
        const ssize_t n = ::pwrite(fd, at, len, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        len -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

}  // namespace detail

static constexpr const char* kStaleWriteSuffix = ".new";

// Removes what stands at a whole-file write's temporary name, looked at
// without following it: a plain file (a write a power cut tore) without a
// word, anything else (a FIFO, a socket, a device, a symbolic link) with one
// console line. A folder is not the box's to remove (it may hold someone's
// files): it is refused with one line, once for as long as it stays.
// False, with errno, when something is still there.
static bool clearTemporary(const std::string& boxPath, const std::string& tmp)
{
    struct stat st {};
    if (::lstat(tmp.c_str(), &st) != 0)
        return errno == ENOENT;
    const std::string shown = boxPath + kStaleWriteSuffix;
    if (S_ISDIR(st.st_mode)) {
        if (firstTelling(shown, kindOf(st.st_mode))) {
            consoleLine("[files] %s is a folder, which the box does not remove: %s is not written while it stays",
                        shown.c_str(), boxPath.c_str());
        }
        errno = EISDIR;
        return false;
    }
    const bool gone = ::unlink(tmp.c_str()) == 0 || errno == ENOENT;
    const int why = errno;
    if (!S_ISREG(st.st_mode)) {
        consoleLine("[files] %s is %s: %s", shown.c_str(), kindOf(st.st_mode), gone ? "removed" : "refused");
    }
    errno = why;
    return gone;
}

// Creates the temporary file of a whole-file write afresh: the file is
// opened only when it is a new one (never through a symbolic link, never a
// FIFO or device, so the open never blocks), and whatever stood at its name
// is removed first. -1, with errno, when no new file can be made there.
static int createTemporary(const std::string& boxPath, const std::string& tmp)
{
    constexpr int kTries = 2;  // a second time when something came back between removing and creating
    const auto createNew = [&] {
        return ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    };
    // Nothing stands there but after a cut-short write: it is looked at only then.
    int fd = createNew();
    for (int t = 0; t < kTries && fd < 0 && errno == EEXIST; ++t) {
        if (!clearTemporary(boxPath, tmp))
            return -1;
        fd = createNew();
    }
    return fd;
}

// Renames a whole-file write's new file `tmp` over the file `p`: the one
// step of the write that holds the lock over every file's replacement.
static bool replaceWithNew(const std::string& tmp, const std::string& p)
{
    QMutexLocker lock(&g_fileReplaceMutex);
    return ::rename(tmp.c_str(), p.c_str()) == 0;
}

// Syncs the folder of file `p`, so that a rename in it is on the disk.
static void syncFolderOf(const std::string& p)
{
    std::string dir = fs::path(p).parent_path().string();
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

bool writeFileAtomic(const std::string& boxPath, const void* data, size_t len)
{
    std::string p = path(boxPath);
    if (p.empty() || p.back() == '/')
        return false;
    if (const int fault = writeFaultFor(boxPath)) {
        errno = fault;
        return false;
    }
    // A file written through a folder outside the root would be refused
    // when it is read: it is not written.
    if (detail::leavesRoot(boxPath, false)) {
        errno = EACCES;
        return false;
    }
    // Another writer of this file waits here; one of another file goes on.
    FileLock own(boxPath);
    const std::string tmp = p + kStaleWriteSuffix;
    const int fd = createTemporary(boxPath, tmp);
    if (fd < 0)
        return false;
    bool ok = detail::writeAllAt(fd, data, len, 0);
    if (ok)
        paceSync(boxPath, len);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || !replaceWithNew(tmp, p)) {
        const int why = errno;
        ::unlink(tmp.c_str());
        errno = why;
        return false;
    }
    syncFolderOf(p);
    refusalOver(boxPath);
    refusalOver(boxPath + kStaleWriteSuffix);
    return true;
}

bool writeFileAtomic(const std::string& boxPath, const std::string& data)
{
    return writeFileAtomic(boxPath, data.data(), data.size());
}

bool removeFile(const std::string& boxPath)
{
    std::string p = path(boxPath);
    if (writeFaultFor(boxPath) == EROFS) {
        errno = EROFS;
        return false;
    }
    if (detail::leavesRoot(boxPath, false)) {
        errno = EACCES;
        return false;
    }
    return !p.empty() && ::unlink(p.c_str()) == 0;
}

bool isStaleWriteName(const std::string& name)
{
    const size_t n = std::char_traits<char>::length(kStaleWriteSuffix);
    return name.size() > n && name.compare(name.size() - n, n, kStaleWriteSuffix) == 0;
}

// The host paths under folder `dir` that a cut-short write may leave:
// anything but a folder named "<name>.new", looked at without following a
// symbolic link; with `recursive`, in every folder below too (never through
// a link).
static void findStaleWrites(const std::string& dir, bool recursive, std::vector<std::string>& out)
{
    struct CloseDir {
        void operator()(DIR* d) const { ::closedir(d); }
    };
    std::unique_ptr<DIR, CloseDir> d(::opendir(dir.c_str()));
    if (!d)
        return;
    std::vector<std::string> folders;
    while (const dirent* e = ::readdir(d.get())) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string f = dir + "/" + name;
        struct stat st {};
        if (::lstat(f.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            if (recursive)
                folders.push_back(f);
        } else if (isStaleWriteName(name)) {
            out.push_back(f);
        }
    }
    d.reset();
    for (const std::string& f : folders)
        findStaleWrites(f, recursive, out);
}

// Removes one stale write: a plain file without a word, anything else (a
// FIFO, a socket, a device, a symbolic link, leading anywhere or nowhere)
// with one console line. True when it is gone.
static bool removeStaleWrite(const std::string& boxDir, const fs::path& root, const fs::path& f)
{
    struct stat st {};
    if (::lstat(f.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    const bool gone = ::unlink(f.c_str()) == 0;
    if (!S_ISREG(st.st_mode)) {
        const std::string shown = boxDir + "/" + f.lexically_relative(root).string();
        consoleLine("[files] %s is %s: %s", shown.c_str(), kindOf(st.st_mode), gone ? "removed" : "refused");
    }
    return gone;
}

int removeStaleWrites(const std::string& boxDir, bool recursive)
{
    const std::string p = path(boxDir);
    if (p.empty() || !detail::isFolder(p))
        return 0;
    std::vector<std::string> stale;
    findStaleWrites(p, recursive, stale);
    int removed = 0;
    for (const std::string& f : stale)
        if (removeStaleWrite(boxDir, p, f))
            ++removed;
    return removed;
}

}  // namespace platform
