// The only door from the program to the machine.
//
// Everything outside platform/ reaches files, devices and the shell through
// these calls. Two back ends implement them: `board` (the ARM box, the real
// Linux calls) and `host` (a PC: every device is simulated in memory and the
// box's files live under a box root directory). The calls are shaped after
// the Linux calls they stand for, so the code above does not change between
// the two.
#pragma once

#include <QMutex>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

enum class Backend { Host, Board };
Backend backend();

// ------------------------------------------------------------ start-up
// One of the back end's own options, as the program's usage shows it:
// its name ("--box-root"), what it takes ("DIR") and what it does.
struct Option {
    const char* name;
    const char* value;
    const char* meaning;
};
// The back end's own options; each takes a value.
const std::vector<Option>& options();
// How init() went. Run: the box comes up. BadValue: an option's value was
// refused (the reason on standard error); the program ends with its usage.
// RootRefused: the box root cannot be made or written, or another box
// holds it (one line on standard error, naming the root and the process
// that holds it); the program ends.
enum class InitResult { Run, BadValue, RootRefused };
// Takes the platform's own options out of argv (their names and values
// checked by the caller first), prepares the box root and, on a host,
// holds it for the whole life of the process, confines the process to it
// and installs the simulated devices. Every other argument stays for Qt.
// Call once, first thing in main().
InitResult init(int& argc, char** argv);

// ------------------------------------------------------------ paths
// The code keeps the box's own absolute paths ("/data/configs/tcpip.ini");
// path() maps one onto the machine: unchanged on the board, under the box
// root on a host. A path that would leave the root maps to an empty string.
const std::string& boxRoot();
std::string path(const std::string& boxPath);
QString qpath(const QString& boxPath);

// Creates a directory and its parents (box path). False, with the console
// line leadsOutOfRoot() writes, when it or the nearest of its parents that
// exists lies outside the box root once symbolic links are followed.
bool makeDirs(const std::string& boxPath);
bool exists(const std::string& boxPath);
bool isDir(const std::string& boxPath);

// ------------------------------------------------------------ files
// Every file the box reads is looked at before it is opened. What is not a
// plain file inside the box root, and a file larger than the most its
// reader takes, is refused with one console line,
//   [files] <box path> is <what>: refused
// and read as missing: so no file can block a reader (opening a FIFO waits
// for a writer), lead it out of the box root, or make it hold more than it
// can use.
//
// True, with the console line, when something other than a plain file
// inside the box root is at a box path: a folder, a FIFO, a device, a
// socket, a symbolic link that loops or leads nowhere, a file reached
// through a symbolic link that leads out of the root (host only: the
// board's root is "/"). Looked at without opening it. False when a plain
// file or nothing is there.
bool notPlainFile(const std::string& boxPath);
// True, with the console line "[files] <box path> is a folder (a file)
// outside the box root, reached through a symbolic link: refused", when
// what is at a box path lies outside the box root once every symbolic link
// on the way is followed (host only: the board's root is "/"). False when
// it lies inside or nothing is there.
bool leadsOutOfRoot(const std::string& boxPath);
// The box path of a folder for short-lived files (a settings file's copy
// for Qt's settings class, Qt's and fontconfig's own files on a host):
// "/tmp" while it is a folder inside the box root; while it is refused
// (told), the folder "/box-tmp" of the root itself. Empty when neither
// can be had.
std::string scratchFolder();
// The names in a folder as the disk holds them, bytes as they are (a name
// need not be valid UTF-8); empty when the folder cannot be read.
std::vector<std::string> dirNames(const std::string& boxDir);
// Writes one whole line on the console (standard output), as printf
// formats it, and flushes it. Lines come from every thread: the line is
// written under the stream's lock, and starts a line of its own when
// another message left one unfinished (a debug message that ends without a
// newline), so it never runs into another's.
void consoleLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Makes standard output line-buffered and lets it know whether the last
// byte it handed to the system ended a line: a debug message left
// unfinished and flushed by anyone (a flush of another thread's message)
// still gets consoleLine()'s line a line of its own. First thing in main().
void keepConsoleLinesWhole();
// Writes the console line for a file a reader refuses on grounds of its
// own (a size it cannot be): "[files] <boxPath> is <what>: refused".
void refuseFile(const std::string& boxPath, const std::string& what);
// For a reader that reads a box file through another library (Qt's
// settings class): whether the file may be read. Missing: nothing there;
// Refused: notPlainFile; TooLarge: more than `largest` bytes (with the
// console line); Fits: a plain file of at most `largest` bytes.
enum class FileCheck { Missing, Refused, TooLarge, Fits };
FileCheck checkFile(const std::string& boxPath, uint64_t largest);
// For a writer that writes a box file through another library (Qt's
// settings class) instead of writeFileAtomic: whether the file may be
// written now. False, with errno, while the simulated disk refuses writes
// there (host only: on the board the write itself fails), and when
// something other than a plain file is in its place (notPlainFile).
bool mayWrite(const std::string& boxPath);
// Reads a whole file of at most `limit` bytes: its size is looked at before
// it is read, and a larger one is refused with the console line and not
// read (TooLarge), so a file cannot make the reader allocate more than it
// allows. What notPlainFile refuses, and a file that cannot be opened or
// read, read as Missing. The box's readers each name their limit.
enum class ReadResult { Missing, TooLarge, Read };
ReadResult readFileUpTo(const std::string& boxPath, std::string& out, size_t limit);
// Reads a whole file without a limit, with the same refusals: for tests
// reading back what the box wrote, never for the box's own readers.
bool readFile(const std::string& boxPath, std::string& out);
// Writes a file whole: a new file beside the old one ("<name>.new"), fsync,
// rename over the old one, fsync of the directory. Power may fail at any
// moment and leave either the old or the new file, never a mix. Every kept
// file is written so. Whatever stands at "<name>.new" goes first (anything
// but a plain file with one console line, "[files] <box path>.new is a
// FIFO: removed"), and the new file is created afresh, never opened through
// a symbolic link nor waited on; a folder there is left and refused, told
// once. A file in a folder that lies outside the box root once symbolic
// links are followed is not written (EACCES, the console line of
// leadsOutOfRoot, told once): it would be refused when read. False, with
// errno, on any failure (the old file is then untouched).
//
// It holds the file's own lock (FileLock) from the new file's creation to
// the folder's sync, so two writers of one file take turns and never share
// its "<name>.new", while writers of different files never wait for each
// other, however long one's data takes to reach the disk. It holds the one
// lock over every kept file's replacement (g_fileReplaceMutex) only while
// it renames the new file over the old one: the caller holds neither that
// lock nor another file's lock.
bool writeFileAtomic(const std::string& boxPath, const void* data, size_t len);
bool writeFileAtomic(const std::string& boxPath, const std::string& data);
// The lock over every kept file's replacement (the program knows it as
// Utils::_file_deal_mutex): writeFileAtomic holds it only while it renames
// its new file over the old one. A reader that must see no kept file
// replaced between two steps of its own (read a file, then remove it)
// holds it over them. Never held across a write or sync of a file's data,
// a folder's sync or a shell command; nothing but the leaves of
// docs/threads.md is taken inside it.
extern QMutex g_fileReplaceMutex;
// Holds the lock of one kept file, named by its box path (the folder's
// symbolic links followed), for as long as it lives: a read, change and
// write of the file becomes one step against its other writers. The same
// thread may take it again (writeFileAtomic inside does). One file's lock
// at a time: a holder takes no other file's.
struct FileLockEntry;
class FileLock {
public:
    explicit FileLock(const std::string& boxPath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    std::string key_;
    std::shared_ptr<FileLockEntry> entry_;
};
// Removes a file (a symbolic link itself, not what it leads to); not one in
// a folder outside the box root, as writeFileAtomic.
bool removeFile(const std::string& boxPath);
// Removes what writeFileAtomic leaves when the box stops half way through a
// write: everything but a folder named "<name>.new" in the directory
// `boxDir` and, when `recursive`, in the directories under it (a plain file
// without a word, a FIFO, socket, device or symbolic link with one console
// line). The number removed.
int removeStaleWrites(const std::string& boxDir, bool recursive);
// True for a file name removeStaleWrites removes ("<name>.new", the name
// not empty): no file the box keeps may be named so.
bool isStaleWriteName(const std::string& fileName);

// ------------------------------------------------------------ shell
// Runs one shell command as system() would and returns system()'s raw
// result (a wait status; -1 when no shell could be started). On a host the
// command is written to <box root>/sim/shell.log and is never run on the
// machine; a few file commands on box paths are carried out inside the box
// root, and "reboot" ends the process with exit status 3.
int shellRun(const std::string& cmd);
// Opens a command's output for reading, as popen(cmd, "r"). Null on failure.
// Close with shellClose().
FILE* shellOpenRead(const std::string& cmd);
int shellClose(FILE* f);

// ------------------------------------------------------------ devices
// Offsets into files, flashes and memory are 64 bits on the 32-bit box too
// (the build asks for them), as in the Qt the program links. So are times:
// a file dated after 2038-01-19 is looked at as any other.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");
static_assert(sizeof(time_t) == 8, "build with _TIME_BITS=64");

// File-descriptor calls on device nodes ("/dev/mtd8", "/dev/mem", ...).
// Each returns what its Linux namesake returns (-1 with errno on failure).
int devOpen(const std::string& boxPath, int flags);
int devClose(int fd);
int devIoctl(int fd, unsigned long request, void* arg);
ssize_t devPread(int fd, void* buf, size_t len, off_t offset);
ssize_t devPwrite(int fd, const void* buf, size_t len, off_t offset);
// Maps `len` bytes of the device from `offset` read-write and shared, as
// mmap(nullptr, len, PROT_READ|PROT_WRITE, MAP_SHARED, fd, offset).
// Null on failure (not MAP_FAILED).
void* devMmap(int fd, size_t len, off_t offset);
int devMunmap(void* addr, size_t len);

// ------------------------------------------------------------ USB HID
// After hidapi: hid_init, hid_enumerate(0, 0), hid_open(vid, pid, NULL),
// hid_write, hid_close.
struct HidDeviceInfo {
    uint16_t vendor;
    uint16_t product;
};
bool hidInit();
std::vector<HidDeviceInfo> hidEnumerate();
struct HidDevice;
HidDevice* hidOpen(uint16_t vendor, uint16_t product);          // null when absent
int hidWrite(HidDevice* dev, const uint8_t* data, size_t len);  // bytes written or -1
void hidClose(HidDevice* dev);

// ------------------------------------------------------------ kernel device events
// The kernel's device events (uevents), one message per event as the
// NETLINK_KOBJECT_UEVENT socket delivers them: the header "ACTION@DEVPATH"
// ("add@/devices/.../block/sda/sda1"), then NUL-terminated KEY=value lines.
// Opens the event source and returns a descriptor that poll() reports
// readable while an event waits; events that arrive before anyone reads
// wait in the source. -1 with errno on failure.
// Board: a netlink socket (SOCK_RAW, protocol NETLINK_KOBJECT_UEVENT) with
// its receive buffer set to `receiveBuffer` bytes, bound to port id
// `portId` and the multicast groups `groups`.
// Host: the simulated source that platform/sim/sim_uevent.h feeds; the
// arguments are not used.
int ueventOpen(int receiveBuffer, uint32_t portId, uint32_t groups);
// Reads one event, as recv(fd, buf, len, MSG_DONTWAIT): the bytes of the
// message (cut to `len`), 0 or -1 with errno (EAGAIN when none waits).
ssize_t ueventRecv(int fd, void* buf, size_t len);

// ------------------------------------------------------------ serial ports
// Opens a serial port by its box path ("/dev/ttyS2") for reading and writing,
// non-blocking, without making it the controlling terminal. The result is a
// real descriptor: termios calls (tcgetattr, tcsetattr, cfsetispeed, tcdrain,
// tcflush), poll, read and write work on it unchanged. The modem lines (RTS
// through devIoctl with TIOCMBIS/TIOCMBIC) may fail on a host, where the
// port has none; callers treat that as harmless there. Close it with
// serialClose(). -1 with errno on failure.
// Host: the port is the master side of a new pseudo-terminal; its other end
// (/dev/pts/N) is published as the symbolic link <box root><boxPath>, which a
// client opens to talk to the box as a PC on the serial line would.
int serialOpen(const std::string& boxPath);
int serialClose(int fd);

// ------------------------------------------------------------ network
// Sockets are real sockets on both back ends; these calls say where they go.
// The IPv4 address (host byte order) that servers bind to, and so the one
// their replies come from: INADDR_ANY on the board; on a host the box's own
// loopback address (127.0.0.1 unless --address or sim::setBoxAddress chose
// another in 127.0.0.0/8), so that a host box is reachable from this machine
// only and several boxes keep their fixed ports side by side.
uint32_t netBindAddress();
// Where a UDP reply that the box broadcasts to a sender's port goes:
// 255.255.255.255 at the sender's port on the board; on a host the sender
// itself when it is on loopback (else 127.0.0.1 at its port), so that
// nothing a host box sends leaves the machine.
sockaddr_in netBroadcastReply(const sockaddr_in& sender);

// ------------------------------------------------------------ threads
// Gives the calling thread its kernel name (what `top -H` and debuggers
// show), cut to the kernel's 15 characters. Every thread of the program
// calls it first thing; docs/threads.md lists the names.
void nameThread(const char* name);

// ------------------------------------------------------------ control commands
// A running host box is driven from outside through the named pipe
// <box root>/sim/control: one command per line, each outcome logged to
// <box root>/sim/control.log (docs/simulated-box.md). The simulated devices
// bring their own commands; the program adds those that act on its own
// parts (the front-panel keys, the LCD) at start-up. On the board nothing
// reads commands.
//
// A handler gets the words after the command's name (their count already
// checked) and answers an empty string when it has acted, else the reason it
// refused; a refused command changes nothing. Handlers run one at a time on
// the pipe's thread.
using ControlHandler = std::function<std::string(const std::vector<std::string>& args)>;
struct ControlCommand {
    std::string name;
    std::string usage;  // the arguments as a person types them: "SOURCE WxH@HZ"
    size_t minArgs = 0;
    size_t maxArgs = 0;
    ControlHandler run;
};
// Adds a command, replacing one of the same name. Any thread.
void addControlCommand(ControlCommand command);
// Runs one command line and returns its log line, "ok <line>" or
// "error <line>: <reason>"; empty for a blank line.
std::string runControlLine(const std::string& line);
// Reads a decimal whole number in [min, max] from a command word.
bool controlNumber(const std::string& word, long min, long max, long& out);

// ------------------------------------------------------------ the LED canvas
// How the video chip's output channels tile the LED canvas: `across` x
// `down` tiles of one channel's active size, output channel k at column
// k % across, row k / across; then the part of that channel canvas to keep
// (the LED canvas inside it), all of it when width or height is 0.
struct CanvasLayout {
    int across = 1;
    int down = 1;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
// A picture of 0xFFRRGGBB pixels, row after row (QImage::Format_RGB32).
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    bool empty() const { return pixels.empty(); }
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
// Rows [y, y + rows) of a canvas `width` x `height`, row after row.
struct CanvasBand {
    int width = 0;
    int height = 0;
    int y = 0;
    int rows = 0;
    const uint32_t* pixels = nullptr;
};
// What the video chip's output shows on the LED canvas. On a host the
// simulated chip draws it from its registers (docs/simulated-box.md); the
// board's chip cannot be looked into, so there it is empty, as it is when a
// layout's canvas would be empty or too large.
Canvas videoCanvas(const CanvasLayout& layout);
// The same handed to `take` a band of a few rows at a time, top to bottom,
// so that a canvas of any size is drawn in little memory (`take` returns
// false to stop). False, with nothing handed over, where videoCanvas is
// empty; false too when `take` stopped.
bool videoCanvasBands(const CanvasLayout& layout, const std::function<bool(const CanvasBand&)>& take);

}  // namespace platform
