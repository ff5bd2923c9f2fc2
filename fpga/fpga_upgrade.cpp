// The USB upgrade worker. While g_usb_grade is set, the FPGA manager's
// thread runs one step per pass instead of its normal work:
//   0  the update dialog, the start time;
//   1  the packages in the stick's upgrade directory;
//   2  every package: its head and child table are read and checked whole,
//      then its children are installed (application, FPGA programs, fonts);
//      then the finish (install the application and reboot, or restart the
//      FPGAs and reload the fonts);
//   3  the end time, the dialog closed, change code 104, g_usb_grade := 0.
//
// A package that is malformed anywhere (a child table or a payload passing
// the end of the file, an empty payload, one larger than its destination)
// is refused whole before anything is erased. A payload counts as written
// only once what its flash or file holds was read back and found equal to
// it: a new application is installed only then, an FPGA is reset only then,
// the fonts are loaded into the chip only then. An FPGA program or a font
// is read whole from the stick before its flash is erased. One whose flash
// was erased and then did not take it (a flash that refuses, stays busy or
// reads back wrong) is incomplete: the FPGA still runs the program it
// loaded but would load the torn one at the next power-up, and a torn font
// has no head (the head is programmed last), so the next run installs it
// again. The marks of what is incomplete live in a file under /data
// (incomplete_record): an FPGA marked there is kept in reset from the next
// start until a run writes its program whole, and a run that tears an
// FPGA's program neither installs an application nor restarts the box.
// An FPGA's flash that refuses its first erase keeps its old program; one
// that took every erase and program but cannot be read back likely holds
// the new one, unverified. A flash is erased only once its mark is stored:
// while the disk under /data takes no file, no FPGA program and no font is
// written, and their flashes keep what they hold. A disk that stops taking
// files once a mark is stored leaves the record behind: a program written
// whole keeps its mark there, and a start would hold its FPGA in reset; the
// run does not count as complete, installs no application, and outside a
// run the manager writes the record again every second until the disk
// takes it. The console and the upgrade page say what must
// be installed again, and so they do for an application that could not be
// written (the old program stays).
//
// A run counts as complete only when it installed every part of every
// package the stick holds. What it left out, and why, it keeps for the
// page and says on the console: no package found, packages refused
// (damaged, or naming no part), packages and parts the stick did not give
// (pulled, or a read failed: such a part changes nothing, and the run then
// installs no application, as the box would restart without the rest),
// the parts of another product's package, packages beyond the most a run
// takes (dot-files are no packages).
//
// A run holds the transfer buffer that the control links' file transfers
// use (file_deal), from its first step to its last; it waits for a link
// transfer that holds it to end.
#include "fpga/fpga_manage.h"

#include "app/kelrampara.h"
#include "app/page_handover.h"
#include "app/program_update.h"
#include "app/utils.h"
#include "fpga/usb_package.h"
#include "links/file_deal.h"
#include "platform/platform.h"
#include "videochip/x518_manage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace reg = fpga::reg;

namespace {

// ---- where the packages are
constexpr const char* kUsbMount = "/mnt/usb1/";
constexpr const char* kStickRootSetting = " ";  // the upgrade directory setting that names the stick's root
constexpr const char* kSuffixShort = "KEL";
constexpr const char* kSuffixLong = "KELZK";

enum UpgradeStep : u8 { kStepStart = 0, kStepList = 1, kStepInstall = 2, kStepEnd = 3 };
enum UpgradeState : u8 { kUpgradeIdle = 0, kUpgradeWaiting = 1, kUpgradeRunning = 2 };

// The version this program carries in packages; a release package's
// application child of this version is not installed again.
constexpr usbpkg::Version APP_RUNNING_VERSION = {25, 2, 26, 11, 2, 0};

// ---- flashes
constexpr u8 kFlashBehindFpga1 = 3;
constexpr u32 kFpgaChunk = 32768;
constexpr u32 kFontChunk = 16384;
constexpr u32 kSectorBytes = 4096;
constexpr u32 kSectorShift = 12;
constexpr u32 kSectorField = 0xFFFF;
constexpr u32 kBlockBytes = 32768;
constexpr u32 kSectorsPerBlock = kBlockBytes / kSectorBytes;
constexpr u8 kErase4K = 0, kErase32K = 1;  // the erase kinds of both flashes
constexpr auto kFlashPause = std::chrono::milliseconds(1);
constexpr u8 kErasedByte = 0xFF;

// Register 43 bits of the four fonts; all set = every font is in the chip's flash.
constexpr u8 kAllFontBits = 0x3F;

// ---- the fonts' places in the chip's serial flash: each font has the room
// up to the next one, the 64-dot Chinese font up to the OSD bitmap.
constexpr u32 kFont32English = 0x000000;
constexpr u32 kFont32Chinese = 0x010000;
constexpr u32 kFont64English = 0x410000;
constexpr u32 kFont64Chinese = 0x450000;
constexpr u8 kSmallFontHeight = 32, kLargeFontHeight = 64;

struct FontPlace {
    u32 address;
    u32 area;
    u8 slot;  // bit of fpga_manage::incomplete_fonts
};

// The fonts' places in address order, and their names for the console.
constexpr u32 kFontPlaces[fpga_manage::kFontPlaces] = {kFont32English, kFont32Chinese, kFont64English, kFont64Chinese};
constexpr const char* kFontNames[fpga_manage::kFontPlaces] = {"32-dot English", "32-dot Chinese", "64-dot English",
                                                              "64-dot Chinese"};

// "FPGA 1, the 64-dot English font": what marks name, for the console.
std::string markNames(u8 fpgas, u8 fonts)
{
    std::string out;
    auto add = [&out](const std::string& name) { out += (out.empty() ? "" : ", ") + name; };
    for (int f = 0; f < fpga::kFpgas; ++f)
        if (fpgas & (1u << f))
            add("FPGA " + std::to_string(f + 1));
    for (int p = 0; p < fpga_manage::kFontPlaces; ++p)
        if (fonts & (1u << p))
            add(std::string("the ") + kFontNames[p] + " font");
    return out;
}

u32 bitmapSectorStart()
{
    return static_cast<u32>(x518_manage::osd_bmp_txt[0]) & ~(kSectorBytes - 1);
}

// The place a font head asks for; false for an encoding that is neither
// Chinese nor English. A height other than 32 or 64 goes to address 0.
bool fontPlace(const u8* head, FontPlace* out)
{
    const u8 encoding = head[usbpkg::kFontEncodingByte];
    const u8 height = head[usbpkg::kFontHeightByte];
    if (encoding != usbpkg::kFontChinese && encoding != usbpkg::kFontEnglish)
        return false;
    const bool chinese = encoding == usbpkg::kFontChinese;
    u32 address = kFont32English;
    if (height == kSmallFontHeight)
        address = chinese ? kFont32Chinese : kFont32English;
    else if (height == kLargeFontHeight)
        address = chinese ? kFont64Chinese : kFont64English;
    const u8 slot =
        static_cast<u8>(std::find(std::begin(kFontPlaces), std::end(kFontPlaces), address) - std::begin(kFontPlaces));
    const u32 areaEnd = slot + 1 < fpga_manage::kFontPlaces ? kFontPlaces[slot + 1] : bitmapSectorStart();
    *out = {address, areaEnd - address, slot};
    return true;
}

// ---- erasing: 32 KB blocks where a block starts and ends inside the
// payload, 4 KB sectors at the ragged edges.
struct EraseUnit {
    u32 sector;
    u8 kind;
};

std::vector<EraseUnit> erasePlan(u32 base, u32 length)
{
    std::vector<EraseUnit> plan;
    for (u32 a = 0; a < length;) {
        const u32 sector = ((base + a) >> kSectorShift) & kSectorField;
        if (sector % kSectorsPerBlock == 0 && uint64_t(a) + kBlockBytes <= length) {
            plan.push_back({sector, kErase32K});
            a += kBlockBytes;
        } else {
            plan.push_back({sector, kErase4K});
            a += kSectorBytes;
        }
    }
    return plan;
}

void flashPause()
{
    std::this_thread::sleep_for(kFlashPause);
}

u32 now()
{
    return G_timeTicks.load(std::memory_order_relaxed);
}

// What an upgrade could not do, on the console and in the log alike.
void tellFailure(const std::string& what)
{
    KEL_DBG("\n usb upgrade: %s\n", what.c_str());
    writeLogMsg(LOG_ERROR, "usb upgrade: " + what);
}

// Why a payload was not written although its flash was never touched.
constexpr const char* kMarksNotStored =
    ": the mark of an incomplete program cannot be stored (the disk is full or read-only), so nothing was erased";
// What a mark the disk does not let go means, up to the FPGA's name.
constexpr const char* kRecordBehind =
    " (the disk is full or read-only); the mark is removed as soon as the disk takes files again, and a start "
    "before that keeps ";

// ---- reading a package: the file is opened for one read at a time, under
// the file lock. False on a short read.
bool readAt(QFile& f, uint64_t offset, u32 len, u8* out)
{
    return f.seek(static_cast<qint64>(offset)) && f.read(reinterpret_cast<char*>(out), len) == qint64(len);
}

// The file behind an open package: device, inode, size and time of change.
bool identify(QFile& f, UsbPackageIdentity* out)
{
    struct stat st {};
    if (::fstat(f.handle(), &st) != 0)
        return false;
    out->device = static_cast<uint64_t>(st.st_dev);
    out->inode = static_cast<uint64_t>(st.st_ino);
    out->size = static_cast<uint64_t>(st.st_size);
    out->changedSeconds = int64_t(st.st_mtim.tv_sec);
    out->changedNanoseconds = int64_t(st.st_mtim.tv_nsec);
    return true;
}

// A read of the package that was checked, and of no other file that took
// its name since (another stick): false when the file is another.
bool readPackage(const QString& package, const UsbPackageIdentity& checked, uint64_t offset, u32 len, u8* out)
{
    QFile f(platform::qpath(package));
    UsbPackageIdentity now;
    return f.open(QIODevice::ReadOnly) && identify(f, &now) && now.sameFile(checked) && readAt(f, offset, len, out);
}

// A whole payload read into memory chunk by chunk, before anything is
// erased for it; null when it cannot be (the stick pulled, no memory).
// Its length was checked against its destination with the package.
std::unique_ptr<u8[]> readWhole(const QString& package, const UsbPackageIdentity& checked, uint64_t offset, u32 len,
                                u32 chunk)
{
    std::unique_ptr<u8[]> bytes(new (std::nothrow) u8[len]);
    if (!bytes) {
        KEL_DBG("\n usb upgrade: no memory for %u bytes of %s\n", len, qPrintable(package));
        return nullptr;
    }
    for (u32 at = 0; at < len; at += chunk) {
        const u32 n = std::min(chunk, len - at);
        if (!readPackage(package, checked, offset + at, n, bytes.get() + at)) {
            KEL_DBG("\n usb upgrade: %s cannot be read at %#llx; nothing is erased for it\n", qPrintable(package),
                    static_cast<unsigned long long>(offset + at));
            return nullptr;
        }
    }
    return bytes;
}

// A package's head and child table.
struct PackageTable {
    USB_UPGRADE_HEAD head;
    std::vector<USB_UPGRADE_CHILD> children;
};

// What keeps a package from being installed: nothing; the package itself
// (refused: its bytes say so, and will say so again); or the stick (the
// bytes its size says it holds could not be read: pulled, or a read failed).
enum class TableFault { kNone, kRefused, kUnread };
struct TableCheck {
    TableFault fault = TableFault::kNone;
    const char* why = nullptr;
};
TableCheck refused(const char* why)
{
    return {TableFault::kRefused, why};
}
TableCheck unread(const char* why)
{
    return {TableFault::kUnread, why};
}

bool knownChild(u8 type)
{
    return type == usbpkg::kChildApplication || type == usbpkg::kChildFpga0 || type == usbpkg::kChildFpga1 ||
           type == usbpkg::kChildFont;
}

// What is wrong with a child the worker knows. Children of other types
// are ignored and not looked at.
TableCheck childFault(QFile& f, uint64_t size, const USB_UPGRADE_CHILD& c)
{
    const uint64_t at = c.file_offset;
    switch (c.file_type) {
    case usbpkg::kChildApplication:
        if (c.file_len == 0)
            return refused("an empty application");
        if (c.file_len > file_deal::kBufferSize)
            return refused("an application larger than the transfer buffer");
        return at + c.file_len > size ? refused("an application passing the end of the file") : TableCheck{};
    case usbpkg::kChildFpga0:
    case usbpkg::kChildFpga1: {
        u8 head[usbpkg::kFpgaHeadSize];
        if (at + sizeof head > size)
            return refused("an FPGA program head passing the end of the file");
        if (!readAt(f, at, sizeof head, head))
            return unread("an FPGA program head cannot be read");
        const u32 len = FPGA_PROGRAM_HEAD::decode(head).file_len;
        if (len == 0)
            return refused("an empty FPGA program");
        if (len > fpga::flash::kSize)
            return refused("an FPGA program larger than its flash");
        return at + sizeof head + len > size ? refused("an FPGA program passing the end of the file") : TableCheck{};
    }
    case usbpkg::kChildFont: {
        u8 head[usbpkg::kFontHeadSize];
        FontPlace place;
        if (c.file_len < sizeof head)
            return refused("a font shorter than its head");
        if (at + c.file_len > size)
            return refused("a font passing the end of the file");
        if (!readAt(f, at, sizeof head, head))
            return unread("a font head cannot be read");
        if (head[usbpkg::kFontTypeByte] != usbpkg::kFontPresent)
            return refused("a font without its head");
        if (!fontPlace(head, &place))
            return refused("a font of an unknown encoding");
        return c.file_len > place.area ? refused("a font larger than its area") : TableCheck{};
    }
    default: return {};
    }
}

// Reads a package's head and child table and checks every child the worker
// knows. A package that names no part this box installs (a head only, or
// children of other types alone) is refused: a run over it installs nothing.
TableCheck readPackageTable(const QString& package, PackageTable* out, UsbPackageIdentity* identity)
{
    QFile f(platform::qpath(package));
    if (!f.open(QIODevice::ReadOnly))
        return unread("it cannot be opened");
    if (!identify(f, identity))
        return unread("it cannot be looked at");
    const uint64_t size = identity->size;
    u8 head[usbpkg::kHeadSize];
    if (size < sizeof head)
        return refused("it is shorter than its head");
    if (!readAt(f, 0, sizeof head, head))
        return unread("its head cannot be read");
    out->head = USB_UPGRADE_HEAD::decode(head);
    const u32 tableBytes = static_cast<u32>(out->head.FileNum * usbpkg::kChildSize);
    if (usbpkg::kHeadSize + uint64_t(tableBytes) > size)
        return refused("its child table passes the end of the file");
    std::vector<u8> table(tableBytes);
    if (tableBytes && !readAt(f, usbpkg::kHeadSize, tableBytes, table.data()))
        return unread("its child table cannot be read");
    identity->table.assign(head, head + sizeof head);
    identity->table.insert(identity->table.end(), table.begin(), table.end());
    for (u32 k = 0; k < out->head.FileNum; ++k) {
        const USB_UPGRADE_CHILD c = USB_UPGRADE_CHILD::decode(&table[k * usbpkg::kChildSize]);
        const TableCheck check = childFault(f, size, c);
        if (check.fault != TableFault::kNone)
            return check;
        out->children.push_back(c);
    }
    if (out->head.FileNum == 0)
        return refused("it is a head only and names no part (FileNum 0)");
    if (std::none_of(out->children.begin(), out->children.end(),
                     [](const USB_UPGRADE_CHILD& c) { return knownChild(c.file_type); }))
        return refused("it names no part this box installs (no application, FPGA program or font)");
    return {};
}

// "the application", "FPGA 2's program", "the font", joined: what parts
// name, for the console.
std::string partNames(u8 parts)
{
    static const char* const kNames[] = {"the application", "FPGA 1's program", "FPGA 2's program", "the font"};
    std::vector<std::string> names;
    for (int bit = 0; bit < 4; ++bit)
        if (parts & (1u << bit))
            names.emplace_back(kNames[bit]);
    std::string out;
    for (size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return out;
}

u8 fpgaPart(u8 fpga)
{
    return fpga == 0 ? fpga_manage::kPartFpga0 : fpga_manage::kPartFpga1;
}

// The part a child of a known type installs.
u8 childPart(u8 type)
{
    return type == usbpkg::kChildApplication ? fpga_manage::kPartApplication
           : type == usbpkg::kChildFpga0     ? fpga_manage::kPartFpga0
           : type == usbpkg::kChildFpga1     ? fpga_manage::kPartFpga1
                                             : fpga_manage::kPartFont;
}

// A count of packages for the page, held at the most a u16 holds.
u16 saturated(int n)
{
    return static_cast<u16>(std::min(n, int(UINT16_MAX)));
}

// ---- package names
bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool isUtf8(const std::string& name)
{
    return QString::fromUtf8(name.data(), int(name.size())).toUtf8() == QByteArray::fromStdString(name);
}

// A name for the console: printable ASCII as it is, every other byte \xNN.
QString escapedName(const std::string& name)
{
    constexpr unsigned char kFirstPrintable = 0x20, kLastPrintable = 0x7E;
    QString out;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        out += b >= kFirstPrintable && b <= kLastPrintable ? QString(QLatin1Char(c))
                                                           : QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
    }
    return out;
}

// ---- versions
u8 fromBcd(u8 v)
{
    return static_cast<u8>((v >> 4) * 10 + (v & 0x0F));
}

// True when an FPGA child's version is the program the FPGA reports.
bool fpgaProgramRuns(const usbpkg::Version& v, const u8* image)
{
    return v[usbpkg::kVerYear] == fromBcd(image[reg::kVersionYear]) &&
           v[usbpkg::kVerMonth] == fromBcd(image[reg::kVersionMonth]) &&
           v[usbpkg::kVerDay] == fromBcd(image[reg::kVersionDay]) && v[usbpkg::kVerFunction] == image[reg::kVersion];
}

bool allFontsPresent()
{
    const KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store && (store->reg_image.font_flags & kAllFontBits) == kAllFontBits;
}

// What a flash holds where a payload was written: the payload, something
// else, or it cannot be told (a read failed).
enum class ReadBack { kEqual, kDiffers, kUnreadable };

// Reads `len` bytes with `read(at, n, into)` a chunk at a time into `buffer`
// and compares them with `expected`: a flash write counts only once read
// back. `what` and `base` name the place on the console.
template <class Read>
ReadBack readBack(const u8* expected, u32 len, u32 chunk, u8* buffer, const char* what, u32 base, Read read)
{
    for (u32 at = 0; at < len; at += chunk) {
        const u32 n = std::min(chunk, len - at);
        if (!read(at, n, buffer)) {
            KEL_DBG("\n usb upgrade: %s cannot be read back at %#x\n", what, base + at);
            return ReadBack::kUnreadable;
        }
        if (std::memcmp(buffer, expected + at, n) != 0) {
            KEL_DBG("\n usb upgrade: %s reads back wrong in %#x..%#x\n", what, base + at, base + at + n - 1);
            return ReadBack::kDiffers;
        }
    }
    return ReadBack::kEqual;
}

// What the first erase unit of an FPGA's flash holds once it was erased:
// blank, still something else (the flash refused the erase), or unknown.
enum class FirstUnit { kBlank, kNotBlank, kUnreadable };

u32 unitBytes(const EraseUnit& u)
{
    return u.kind == kErase32K ? kBlockBytes : kSectorBytes;
}

FirstUnit firstUnitAfterErase(fpga_drv& drv, u8 flash, const EraseUnit& u, u8* buffer)
{
    const u32 len = unitBytes(u);
    if (!drv.readFlash(flash, u.sector << kSectorShift, buffer, len))
        return FirstUnit::kUnreadable;
    return std::all_of(buffer, buffer + len, [](u8 b) { return b == kErasedByte; }) ? FirstUnit::kBlank
                                                                                    : FirstUnit::kNotBlank;
}

}  // namespace

// ------------------------------------------------------------------ the steps

void fpga_manage::usb_upgrade_manage_deal()
{
    usb_upgrade_deal();
}

void fpga_manage::usb_upgrade_deal()
{
    if (upgrade_state_ != kUpgradeRunning) {
        if (!file_deal::acquire(file_deal::kOwnerUsbUpgrade)) {
            if (upgrade_state_ == kUpgradeIdle)
                KEL_DBG("\n usb upgrade waits: a file transfer holds the transfer buffer\n");
            upgrade_state_ = kUpgradeWaiting;
            return;
        }
        upgrade_buf_ = file_deal::buffer(file_deal::kOwnerUsbUpgrade);
        upgrade_state_ = kUpgradeRunning;
        // The step byte is the card jobs' too: a run always starts at step 0.
        g_send_para.step = kStepStart;
    }
    switch (g_send_para.step.load()) {
    case kStepStart:
        if (!g_update_flag.load())
            pagehandover::transferStarted();
        IT8563WE_Get(&rtc_time);
        usb_grade_msg = timeText(rtc_time);
        g_update_flag = 1;
        // What this run wrote, and whether its application failed, start
        // anew: a run that finds no package tells nothing of an earlier one.
        // What an earlier run left incomplete stays so until it is written whole.
        run_ended = false;
        usb_file_count = 0;
        downing_mcu = downing_txc1 = downing_txc2 = downing_osd = 0;
        application_failed = false;
        application_disk_refused = false;
        kept_fpgas = 0;
        unverified_fpgas = 0;
        unrecorded_fpgas = 0;
        unrecorded_fonts = 0;
        no_package = false;
        refused_packages = 0;
        unread_packages = 0;
        skipped_packages = 0;
        misnamed_packages.set(QString());
        unread_parts = 0;
        foreign_parts = 0;
        torn_in_run_ = 0;
        font_chip_silent = false;
        pulls_at_start_ = g_usb_stick_pulls.load();
        checked_ = UsbPackageIdentity();
        g_send_para.step = kStepList;
        break;
    case kStepList:
        get_usb_file_list_path();
        KEL_DBG("\n usb_updata_list = %d \n", usb_file_count);
        g_send_para.step = kStepInstall;
        break;
    case kStepInstall:
        usb_upgrade_main_deal();
        g_send_para.step = kStepEnd;
        break;
    default:  // the last step, and any step a run never takes
        usbUpgradeEnd();
        break;
    }
}

void fpga_manage::usbUpgradeEnd()
{
    // The disk may take the record again by now: the page reads it next.
    if (saved_marks_ != currentMarks())
        keepRecord(true);
    IT8563WE_Get(&rtc_time);
    usb_grade_msg += QStringLiteral("    ") + timeText(rtc_time);
    if (g_update_flag.load())
        pagehandover::transferEnded();
    file_deal::release(file_deal::kOwnerUsbUpgrade);
    upgrade_buf_ = nullptr;
    upgrade_state_ = kUpgradeIdle;
    run_ended = true;
    KelRamPara::test_signal(SYNC_USB_UPGRADE);
    g_update_flag = 0;
    g_send_para.step = 0;
    g_usb_grade = 0;
}

// ------------------------------------------------------------------ the packages

QString fpga_manage::usbUpgradeDir()
{
    const QString sub = settingsRead(g_usb_grade_path);
    if (sub == QLatin1String(kStickRootSetting))
        return QString::fromLatin1(kUsbMount);
    // The directory must lie on the stick: a setting that climbs out of it
    // ("..") names no directory, and no package is found.
    const QString dir = QDir::cleanPath(kUsbMount + sub);
    if (!(dir + '/').startsWith(QLatin1String(kUsbMount))) {
        KEL_DBG("\n usb upgrade: the upgrade directory %s leaves the stick, refused\n", qPrintable(sub));
        return QString();
    }
    return kUsbMount + sub;
}

QStringList fpga_manage::usbPackagePaths(int limit)
{
    return listPackages(limit).packages;
}

// A dot-file is no package (a copy from another system leaves "._x.KEL"
// beside "x.KEL"): it is listed apart, and not taken.
fpga_manage::PackageListing fpga_manage::listPackages(int limit)
{
    PackageListing out;
    out.dir = usbUpgradeDir();
    const QString host = out.dir.isEmpty() ? QString() : platform::qpath(out.dir);
    if (host.isEmpty())
        return out;
    const QDir dir(host);
    out.dirFound = dir.exists();
    if (out.dirFound && platform::leadsOutOfRoot(out.dir.toStdString())) {
        out.dirFound = false;
        out.outsideRoot = true;
        return out;
    }
    const QString prefix = out.dir.endsWith('/') ? out.dir : out.dir + '/';
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& fi : entries) {
        const QString suffix = fi.suffix();
        if (suffix != QLatin1String(kSuffixShort) && suffix != QLatin1String(kSuffixLong))
            continue;
        const QString path = prefix + fi.fileName();
        if (fi.fileName().startsWith(QLatin1Char('.')))
            out.dotFiles.append(path);
        else
            (out.packages.size() < limit ? out.packages : out.beyondLimit).append(path);
    }
    // A name the file system cannot give as text is not listed above.
    for (const std::string& name : platform::dirNames(out.dir.toStdString()))
        if (!isUtf8(name) &&
            (endsWith(name, std::string(".") + kSuffixShort) || endsWith(name, std::string(".") + kSuffixLong)))
            out.undecodable.append(prefix + escapedName(name));
    return out;
}

void fpga_manage::get_usb_file_list_path()
{
    const PackageListing listing = listPackages(kMaxPackages);
    usb_file_list = listing.packages;
    usb_file_count = static_cast<u8>(usb_file_list.size());
    for (const QString& p : usb_file_list)
        KEL_DBG("\n %s\n", qPrintable(p));
    for (const QString& p : listing.dotFiles)
        KEL_DBG("\n usb upgrade: %s begins with a dot: not a package, not taken\n", qPrintable(p));
    QStringList misnamed;
    for (const QString& p : listing.undecodable) {
        tellFailure(p.toStdString() + ": a name that is not valid UTF-8; not taken, rename it to install it");
        misnamed << p.section(QLatin1Char('/'), -1);
    }
    misnamed_packages.set(misnamed.join(QLatin1Char('\n')));
    if (!listing.beyondLimit.isEmpty()) {
        skipped_packages = saturated(listing.beyondLimit.size());
        tellFailure(std::to_string(usb_file_count + listing.beyondLimit.size()) + " packages in " +
                    listing.dir.toStdString() + ": a run installs at most " + std::to_string(kMaxPackages) +
                    ", the first in name order; these " + std::to_string(listing.beyondLimit.size()) + " are skipped:");
        for (const QString& p : listing.beyondLimit)
            tellFailure("skipped, beyond the " + std::to_string(kMaxPackages) +
                        " packages of a run: " + p.toStdString());
    }
    // A package whose name is not valid UTF-8 was told above.
    if (usb_file_count == 0 && misnamed.isEmpty()) {
        no_package = true;
        const std::string dir = listing.dir.toStdString();
        tellFailure("no package found, nothing installed: " +
                    (listing.dir.isEmpty() ? std::string("the upgrade directory setting leaves the stick")
                     : listing.outsideRoot ? dir + " is a symbolic link out of the box root, refused"
                     : !listing.dirFound   ? dir + " does not exist (no stick, or no such folder)"
                                           : dir + " holds no file ending in .KEL or .KELZK"));
    }
}

void fpga_manage::usb_upgrade_main_deal()
{
    if (usb_file_count == 0)
        return;
    for (int i = 0; i < usb_file_count && i < usb_file_list.size(); ++i) {
        const QString& package = usb_file_list[i];
        KEL_DBG("\n ready to downing file name  %s\n suffix : %s\n", qPrintable(package),
                qPrintable(QFileInfo(package).suffix()));
        if (stickPulledInRun()) {
            unread_packages = saturated(unread_packages.load() + 1);
            tellFailure(package.toStdString() +
                        " not read: the stick was pulled during the run; nothing of it is written");
            continue;
        }
        usbPackageDeal(package);
    }
    usbUpgradeFinish();
}

void fpga_manage::usbPackageDeal(const QString& package)
{
    PackageTable t;
    UsbPackageIdentity identity;
    const TableCheck check = readPackageTable(package, &t, &identity);
    if (check.fault == TableFault::kUnread) {
        unread_packages = saturated(unread_packages.load() + 1);
        tellFailure(package.toStdString() + " could not be read from the stick (" + check.why +
                    "; pulled?): nothing of it is written");
        return;
    }
    if (check.fault == TableFault::kRefused) {
        refused_packages = saturated(refused_packages.load() + 1);
        tellFailure(package.toStdString() + " refused, " + check.why + "; nothing of it is written");
        return;
    }
    checked_ = std::move(identity);
    const USB_UPGRADE_HEAD& h = t.head;
    KEL_DBG("\n FileType = %#x FileVersion = %#x PublishType = %#x ControllerType = %#x FileNum = %u\n", h.FileType,
            h.FileVersion, h.PublishType, h.ControllerType, h.FileNum);
    const bool forThisBox = h.ControllerType == usbpkg::kControllerType;
    const bool release = h.PublishType == usbpkg::kReleasePackage;
    // The parts of a package for another product that are not taken (its
    // fonts are): told once the package is through.
    u8 foreign = 0;
    for (const USB_UPGRADE_CHILD& c : t.children) {
        KEL_DBG("\n file_type = %u file_len = %u file_offset = %#x Version = %u.%u.%u.%u.%u.%u Flashaddr = %#x "
                "SecNum = %u\n",
                c.file_type, c.file_len, c.file_offset, c.Version[0], c.Version[1], c.Version[2], c.Version[3],
                c.Version[4], c.Version[5], c.File_Flashaddr, c.SecNum);
        // A part that could not be read from the stick changes nothing:
        // what an earlier child of its kind did stands, and the run tells it.
        // Once the stick went away nothing more is taken, whatever came back.
        if (knownChild(c.file_type) && (forThisBox || c.file_type == usbpkg::kChildFont) && stickPulledInRun()) {
            const u8 part = childPart(c.file_type);
            noteUnread(part, package, partNames(part), true);
            continue;
        }
        switch (c.file_type) {
        case usbpkg::kChildApplication:
            if (!forThisBox) {
                foreign |= kPartApplication;
                break;
            }
            if (release && c.Version == APP_RUNNING_VERSION) {
                KEL_DBG("\n usb upgrade: the application of %s already runs, skipped\n", qPrintable(package));
                downing_mcu = 0;
            } else {
                const ProgramWrite written = update_muc_file(package, c.file_offset, c.file_len);
                if (written == kProgramUnread) {
                    noteUnread(kPartApplication, package, "the application");
                    break;
                }
                downing_mcu = written == kProgramWritten;
                noteApplication(written);
            }
            break;
        case usbpkg::kChildFpga0:
        case usbpkg::kChildFpga1: {
            const u8 f = c.file_type == usbpkg::kChildFpga0 ? 0 : 1;
            if (!forThisBox) {
                foreign |= fpgaPart(f);
                break;
            }
            const bool runs = release && fpgaProgramRuns(c.Version, MCU_REG_func[f]);
            if (runs)
                KEL_DBG("\n usb upgrade: FPGA %d's program of %s already runs, skipped\n", f + 1, qPrintable(package));
            const ProgramWrite written =
                runs
                    ? kProgramNotWritten
                    : update_txc_file(package, f == 0 ? fpga_drv::kFlashBehindFpga0 : kFlashBehindFpga1, c.file_offset);
            if (written == kProgramUnread) {
                noteUnread(fpgaPart(f), package, "FPGA " + std::to_string(f + 1) + "'s program");
                break;
            }
            (f == 0 ? downing_txc1 : downing_txc2) = written;
            noteFpgaProgram(f, written);
            break;
        }
        case usbpkg::kChildFont:
            if (allFontsPresent()) {
                KEL_DBG("\n usb upgrade: the font of %s skipped: all four fonts are in the chip's flash\n",
                        qPrintable(package));
                downing_osd = kProgramNotWritten;
            } else if (const ProgramWrite written = fontChild(package, c); written != kProgramUnread) {
                downing_osd = written;
            }
            break;
        default:
            KEL_DBG("\n usb upgrade: a child of type %u in %s is not for this box, ignored\n", c.file_type,
                    qPrintable(package));
            break;
        }
    }
    if (foreign) {
        foreign_parts |= foreign;
        char types[48];
        std::snprintf(types, sizeof types, "controller type 0x%04X, this box's 0x%04X", h.ControllerType,
                      usbpkg::kControllerType);
        tellFailure(package.toStdString() + " is for another product (" + types + "): " + partNames(foreign) +
                    " not installed");
    }
}

// A font child written into its place; its place is noted as mended or torn.
fpga_manage::ProgramWrite fpga_manage::fontChild(const QString& package, const USB_UPGRADE_CHILD& c)
{
    u8 slot = kFontPlaces;
    const ProgramWrite written = update_x518_osd_font_file(package, c.file_offset, c.file_len, &slot);
    if (written != kProgramUnread)
        font_chip_silent = written == kProgramNoChip;
    if (written == kProgramUnread)
        noteUnread(kPartFont, package, "the font");
    else if (written == kProgramNoChip)
        tellFailure("the font of " + package.toStdString() +
                    " not installed: the video chip does not answer; its flash was not erased or written");
    else if (slot < kFontPlaces)
        noteFont(slot, written);
    return written;
}

void fpga_manage::noteUnread(u8 part, const QString& package, const std::string& what, bool pulled)
{
    unread_parts |= part;
    tellFailure(what + " of " + package.toStdString() +
                (pulled ? " not installed: the stick was pulled during the run; nothing of it was written"
                        : " could not be read from the stick (pulled?): not installed, nothing of it was written"));
}

bool fpga_manage::stickPulledInRun() const
{
    return g_usb_stick_pulls.load() != pulls_at_start_;
}

bool fpga_manage::stillChecked(const QString& package, uint64_t offset, u32 length, u8* out)
{
    QFile f(platform::qpath(package));
    UsbPackageIdentity now;
    std::vector<u8> table(checked_.table.size());
    const bool same = f.open(QIODevice::ReadOnly) && identify(f, &now) && now.sameFile(checked_) &&
                      readAt(f, 0, static_cast<u32>(table.size()), table.data()) && table == checked_.table;
    if (!same && f.isOpen())
        tellFailure(package.toStdString() +
                    " is not the package that was checked (another stick?): nothing more of it is taken");
    return same && (length == 0 || readAt(f, offset, length, out));
}

// A later child of the same FPGA may mend (or tear) what an earlier one did.
// A flash that kept its program, or took the new one unverified, leaves an
// earlier mark as it was: what the flash held before is what it holds.
void fpga_manage::noteFpgaProgram(u8 fpga, ProgramWrite written)
{
    const u8 bit = static_cast<u8>(1u << fpga);
    const std::string name = "FPGA " + std::to_string(fpga + 1);
    if (written != kProgramNotWritten && written != kProgramUnread) {
        kept_fpgas &= static_cast<u8>(~bit);
        unverified_fpgas &= static_cast<u8>(~bit);
        unrecorded_fpgas &= static_cast<u8>(~bit);
    }
    switch (written) {
    case kProgramIncomplete:
        incomplete_fpgas |= bit;
        torn_in_run_ |= bit;
        tellFailure(name + "'s program is incomplete and must be installed again");
        break;
    case kProgramWritten: incomplete_fpgas &= static_cast<u8>(~bit); break;
    case kProgramKept:
        kept_fpgas |= bit;
        tellFailure(name + "'s flash refused the new program and keeps the old one");
        break;
    case kProgramUnverified:
        unverified_fpgas |= bit;
        tellFailure(name + "'s new program was written but could not be read back");
        break;
    case kProgramUnrecorded:
        unrecorded_fpgas |= bit;
        tellFailure(name + " not updated, the old program kept" + kMarksNotStored);
        break;
    case kProgramNotWritten:
    case kProgramNoChip:  // a font's only
    case kProgramUnread:  // told by noteUnread; never comes here
        break;
    }
    keepRecord();
    if (written == kProgramWritten && (stale_fpgas.load() & bit))
        tellFailure(name + "'s new program was written whole and read back, but the record still marks it incomplete" +
                    kRecordBehind + name + " in reset");
}

incomplete_record::Marks fpga_manage::currentMarks() const
{
    return {incomplete_fpgas.load(), incomplete_fonts.load()};
}

bool fpga_manage::saveIncompleteMarks(incomplete_record::Marks writing, bool tell)
{
    const incomplete_record::Marks marks{static_cast<u8>(incomplete_fpgas.load() | writing.fpgas),
                                         static_cast<u8>(incomplete_fonts.load() | writing.fonts)};
    if (marks == saved_marks_)
        return true;
    if (!incomplete_record::write(marks, tell))
        return false;
    saved_marks_ = marks;
    return true;
}

// What the record marks beyond what stands is stale: a mark the disk did
// not let go. A record that marks less than stands cannot be: a flash is
// erased only once its mark is stored.
void fpga_manage::keepRecord(bool retry)
{
    const bool written = saveIncompleteMarks({}, !retry);
    const u8 fpgas = static_cast<u8>(saved_marks_.fpgas & ~incomplete_fpgas.load());
    const u8 fonts = static_cast<u8>(saved_marks_.fonts & ~incomplete_fonts.load());
    const bool wasBehind = recordBehind();
    const bool newlyStale = (fpgas & ~stale_fpgas.load()) || (fonts & ~stale_fonts.load());
    stale_fpgas = fpgas;
    stale_fonts = fonts;
    if (!written)
        record_tick_ = now();
    if (newlyStale) {
        tellFailure("the record of incomplete programs is behind: it still marks " + markNames(fpgas, fonts) +
                    " incomplete; it is written again every second until the disk takes it");
    } else if (wasBehind && !recordBehind()) {
        const std::string marked = saved_marks_.none() ? std::string("nothing marked")
                                                       : "marked: " + markNames(saved_marks_.fpgas, saved_marks_.fonts);
        KEL_DBG("\n usb upgrade: %s written again: the record of incomplete programs is up to date (%s)\n",
                incomplete_record::kFile, marked.c_str());
        KelRamPara::test_signal(SYNC_PARA_CHANGED);
    }
}

void fpga_manage::recordDeal()
{
    if (saved_marks_ == currentMarks() || Utils::getTimeSpace(record_tick_) < kRecordRetryTicks)
        return;
    record_tick_ = now();
    keepRecord(true);
}

void fpga_manage::noteFont(u8 slot, ProgramWrite written)
{
    const u8 bit = static_cast<u8>(1u << slot);
    if (written != kProgramNotWritten)
        unrecorded_fonts &= static_cast<u8>(~bit);
    if (written == kProgramIncomplete) {
        incomplete_fonts |= bit;
        tellFailure(std::string("the ") + kFontNames[slot] + " font is incomplete and must be installed again");
    } else if (written == kProgramWritten) {
        incomplete_fonts &= static_cast<u8>(~bit);
    } else if (written == kProgramUnrecorded) {
        unrecorded_fonts |= bit;
        tellFailure(std::string("the ") + kFontNames[slot] + " font not updated, the old font kept" + kMarksNotStored);
    }
    keepRecord();
    if (written == kProgramWritten && (stale_fonts.load() & bit))
        tellFailure(std::string("the ") + kFontNames[slot] +
                    " font was written whole, but the record still marks its place incomplete (the disk is full or "
                    "read-only); the mark is removed as soon as the disk takes files again");
}

void fpga_manage::noteApplication(ProgramWrite written)
{
    if (written == kProgramIncomplete || written == kProgramUnrecorded) {
        application_failed = true;
        application_disk_refused = written == kProgramUnrecorded;
        tellFailure(written == kProgramUnrecorded
                        ? "the application was not installed: the disk is full or read-only; the old program stays"
                        : "the application was not installed, the old program stays");
    } else if (written == kProgramWritten) {
        application_failed = false;
        application_disk_refused = false;
    }
}

// ------------------------------------------------------------------ the writers

fpga_manage::ProgramWrite fpga_manage::update_muc_file(const QString& package, u32 offset, u32 length)
{
    if (!upgrade_buf_ || length == 0 || length > file_deal::kBufferSize)
        return kProgramNotWritten;
    if (!stillChecked(package, offset, length, upgrade_buf_))
        return kProgramUnread;
    bool diskRefused = false;
    if (program_update::writeNewProgram(upgrade_buf_, length, &diskRefused))
        return kProgramWritten;
    return diskRefused ? kProgramUnrecorded : kProgramIncomplete;
}

fpga_manage::ProgramWrite fpga_manage::update_txc_file(const QString& package, u8 flash, u32 offset)
{
    u8 raw[usbpkg::kFpgaHeadSize];
    if (!upgrade_buf_)
        return kProgramNotWritten;
    if (!stillChecked(package, offset, sizeof raw, raw)) {
        KEL_DBG("\n usb upgrade: the FPGA program head of %s cannot be read; its flash is untouched\n",
                qPrintable(package));
        return kProgramUnread;
    }
    const FPGA_PROGRAM_HEAD h = FPGA_PROGRAM_HEAD::decode(raw);
    KEL_DBG("\n file_type = %#x (1-FCG,2-ACG)\n file_version = %#x ControllerClass = %#x\n ControllerClcass = %#x "
            "(00-sending,1-rcv,2-mult)\n Version = %u.%u.%u.%u file_len = %u\n",
            h.file_type, h.file_version, h.ControllerClass, h.ControllerClcass, h.Version[0], h.Version[1],
            h.Version[2], h.Version[3], h.file_len);
    const u32 len = h.file_len;
    if (len == 0 || len > fpga::flash::kSize)
        return kProgramNotWritten;
    // The whole program in hand before anything is erased: a stick pulled
    // now leaves the flash as it was.
    const std::unique_ptr<u8[]> program = readWhole(package, checked_, uint64_t(offset) + sizeof raw, len, kFpgaChunk);
    if (!program || !stillChecked(package))
        return kProgramUnread;
    // From the first erase until the program reads back whole the flash may
    // be torn: so the file of the marks says, should the box stop meanwhile.
    // A mark that cannot be stored would not outlive a power cut: nothing
    // is erased then.
    if (!saveIncompleteMarks({static_cast<u8>(1u << (flash == fpga_drv::kFlashBehindFpga0 ? 0 : 1)), 0}))
        return kProgramUnrecorded;
    const std::vector<EraseUnit> plan = erasePlan(0, len);
    for (size_t i = 0; i < plan.size(); ++i) {
        const EraseUnit& u = plan[i];
        const bool erased = drv.FPGA_SPI_FLASH_VBYONE_ERASE(flash, u.sector, u.kind, 1);
        // A flash that refuses erases (write-protected) reports them done
        // and changes nothing: its first unit tells, before anything is lost.
        if (i == 0 && erased && firstUnitAfterErase(drv, flash, u, upgrade_buf_) == FirstUnit::kNotBlank) {
            KEL_DBG("\n usb upgrade: flash %u refused the erase; it keeps the program it held\n", flash);
            return kProgramKept;
        }
        if (!erased) {
            KEL_DBG("\n usb upgrade: flash %u not erased at sector %u\n", flash, u.sector);
            return kProgramIncomplete;
        }
        flashPause();
    }
    // Each chunk lies 4 bytes into the buffer: the flash write puts each
    // page's command in front of its data (and overwrites what lies there).
    u8* chunk = upgrade_buf_ + fpga_drv::kFlashBufferLead;
    for (u32 at = 0; at < len; at += kFpgaChunk) {
        const u32 n = std::min(kFpgaChunk, len - at);
        std::memcpy(chunk, program.get() + at, n);
        flashPause();
        if (!drv.FPGA_SPI_FLASH_VBYONE_WRITE(flash, at, upgrade_buf_, n)) {
            KEL_DBG("\n usb upgrade: flash %u not written at %#x\n", flash, at);
            return kProgramIncomplete;
        }
    }
    // A flash that ignores erases and programs still reports "not busy":
    // only what it holds tells.
    switch (readBack(program.get(), len, kFpgaChunk, upgrade_buf_, "the FPGA's flash", 0,
                     [&](u32 at, u32 n, u8* into) { return drv.readFlash(flash, at, into, n); })) {
    case ReadBack::kEqual: KEL_DBG("\n write over !!!!!\n "); return kProgramWritten;
    case ReadBack::kUnreadable:
        // Every erase and program was done: the flash likely holds the new
        // program, but nothing shows it does.
        return kProgramUnverified;
    case ReadBack::kDiffers: break;
    }
    return kProgramIncomplete;
}

// The font's head goes in last, once everything behind it is in place: a
// write cut short leaves a font without its head, which counts as absent.
// Programming leaves erased bytes written as 0xFF erased, so the first chunk
// is written with its head blank and the head programmed over it.
fpga_manage::ProgramWrite fpga_manage::update_x518_osd_font_file(const QString& package, u32 offset, u32 length,
                                                                 u8* slot)
{
    x518_manage* chip = x518_manage::p_x518_manage;
    u8 head[usbpkg::kFontHeadSize];
    FontPlace place;
    if (!upgrade_buf_ || length < sizeof head)
        return kProgramNotWritten;
    if (!chip || chip->spi_fd < 0)
        return kProgramNoChip;
    if (!stillChecked(package, offset, sizeof head, head))
        return kProgramUnread;
    if (!fontPlace(head, &place) || length > place.area)
        return kProgramNotWritten;
    if (slot)
        *slot = place.slot;
    KEL_DBG("\n osd flash_addr = %#x ,en_coding = %#x file_len = %#x\n", place.address, head[usbpkg::kFontEncodingByte],
            length);
    const std::unique_ptr<u8[]> font = readWhole(package, checked_, offset, length, kFontChunk);
    if (!font || !stillChecked(package))
        return kProgramUnread;
    // A chip that does not answer takes no erase: its flash is asked once,
    // where the font goes, before anything is marked or erased.
    const int fd = chip->spi_fd;
    if (const int probe =
            chip->read_flash(fd, static_cast<int>(place.address), sizeof head, reinterpret_cast<char*>(upgrade_buf_));
        probe == x518_manage::kFlashUnreachable || probe == x518_manage::kFlashTimeout)
        return kProgramNoChip;
    // Marked while its place may be torn, as an FPGA's program is.
    if (!saveIncompleteMarks({0, static_cast<u8>(1u << place.slot)}))
        return kProgramUnrecorded;
    for (const EraseUnit& u : erasePlan(place.address, length)) {
        if (chip->erase_flash(fd, static_cast<int>(u.sector), 1, static_cast<char>(u.kind)) != x518_manage::kFlashOk) {
            KEL_DBG("\n usb upgrade: the chip's flash not erased at sector %u\n", u.sector);
            return kProgramIncomplete;
        }
        flashPause();
    }
    auto write = [&](u32 at, u32 n) {
        flashPause();
        if (chip->write_flash(fd, static_cast<int>(place.address + at), static_cast<int>(n),
                              reinterpret_cast<char*>(upgrade_buf_)) == x518_manage::kFlashOk)
            return true;
        KEL_DBG("\n usb upgrade: the chip's flash not written at %#x\n", place.address + at);
        return false;
    };
    for (u32 at = 0; at < length; at += kFontChunk) {
        const u32 n = std::min(kFontChunk, length - at);
        std::memcpy(upgrade_buf_, font.get() + at, n);
        if (at == 0)
            std::memset(upgrade_buf_, kErasedByte, sizeof head);
        if (!write(at, n))
            return kProgramIncomplete;
    }
    // Every erase of the chip's flash reads its units blank and every write
    // reads its bytes back (x518_manage::erase_flash, write_flash): the font
    // is read back chunk by chunk as it goes, and needs no read of its own.
    std::memcpy(upgrade_buf_, font.get(), sizeof head);
    if (!write(0, sizeof head))
        return kProgramIncomplete;
    KEL_DBG("\n font write over\n");
    return kProgramWritten;
}

// ------------------------------------------------------------------ the finish

void fpga_manage::usbUpgradeFinish()
{
    KEL_DBG("\n downing_mcu = %#x ,downing_txc1 = %#x ,downing_osd = %#x\n", downing_mcu, downing_txc1, downing_osd);
    // The stick could not be read for part of the run (pulled): the box
    // would restart into the new application without what was left out,
    // before the operator could read why. It is not installed; the same
    // run again with the stick in installs the whole.
    if (downing_mcu && stickCutShort()) {
        downing_mcu = 0;
        application_failed = true;
        const std::string parts = partNames(static_cast<u8>(unread_parts.load() & ~kPartApplication));
        const u16 packages = unread_packages.load();
        tellFailure("the stick could not be read for " +
                    (parts.empty() ? std::string() : parts + (packages ? " and " : "")) +
                    (packages ? std::to_string(packages) + (packages == 1 ? " package" : " packages") : std::string()) +
                    ": the application was not installed, as the box would restart without them; the old program "
                    "stays");
    }
    // An FPGA whose flash this run tore still runs the program it loaded; a
    // restart would leave it in reset (its program is incomplete). The box
    // goes on as it is and the new application is not installed: a run
    // that writes the FPGA whole installs both.
    if (downing_mcu && (torn_in_run_ & incomplete_fpgas.load())) {
        downing_mcu = 0;
        application_failed = true;
        tellFailure("an FPGA's program is incomplete: the application was not installed");
    }
    // So would a restart keep an FPGA whose mark the record still holds.
    if (downing_mcu && stale_fpgas.load()) {
        downing_mcu = 0;
        application_failed = true;
        tellFailure("the record still marks an FPGA incomplete (the disk took no file): the application was not "
                    "installed, as a restart would keep that FPGA in reset");
    }
    if (downing_mcu) {
        if (g_app_reset_flag.load()) {
            // A reboot is on its way: the new program waits beside the old one.
            KEL_DBG("\n usb upgrade: a reboot is pending, %s is not installed\n", program_update::kNewProgramFile);
            return;
        }
        Utils::system_mutex(QStringLiteral("chmod 777 -R %1").arg(program_update::kAppDir), nullptr);
        if (Utils::system_mutex(
                QStringLiteral("mv %1  %2").arg(program_update::kNewProgramFile, program_update::kProgramFile),
                nullptr) == 0) {
            program_update::writeStartRecord();
            Utils::system_mutex(QStringLiteral("sync"), nullptr);
            requestDeferredReboot();
            return;
        }
        // The old program stays; what else was written takes effect now.
        application_failed = true;
        tellFailure(std::string("the new program could not be put in place (") + program_update::kProgramFile +
                    " not replaced): the application was not installed, the old program stays");
    }
    program_update::discardNewProgram();
    // An FPGA whose flash was cut short keeps running what it loaded.
    if (downing_txc1 == kProgramWritten)
        holdFpgaReset(0);
    if (downing_txc2 == kProgramWritten)
        holdFpgaReset(1);
    // The fonts are loaded into the chip when one was written whole; a torn
    // one (no head) is only marked absent, and the chip keeps what it loaded.
    x518_manage* chip = x518_manage::p_x518_manage;
    if (!chip || chip->spi_fd < 0)
        return;
    if (downing_osd == kProgramWritten || incomplete_fonts.load())
        chip->read_x518_font(chip->spi_fd);
    if (downing_osd == kProgramWritten)
        chip->update_font(chip->spi_fd);
}
