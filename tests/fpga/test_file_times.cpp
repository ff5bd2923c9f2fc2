// Files dated after 2038-01-19 03:14:07 UTC, the last second a 32-bit time
// holds: the box's clock ran past it, or a PC with a wrong clock wrote the
// stick. The box reads them as it reads any other. (Built with 32-bit times,
// every look at such a file failed: the box took its kept files for missing
// and wrote its defaults over them. The 32-bit box's libstdc++ still has
// 32-bit times: through std::filesystem no folder was made in a folder so
// dated, and no cut-short write removed.)
#include "app/kelrampara.h"
#include "app/program_update.h"
#include "fpga/fpga_manage.h"
#include "fpga/rcv_recovery_file.h"
#include "fpga/usb_package.h"
#include "tests/fpga/card_files_build.h"
#include "tests/support/box_test.h"

#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr std::time_t kPast2038 = (std::time_t(1) << 31) + 1;
// 2300-01-01: past 2262-04-11, the last second whose nanoseconds a signed
// 64-bit count holds.
constexpr std::time_t kPast2262 = 10413792000;
constexpr const char* kRecoveryFile = "/data/rcvrecovery/screen.rcv";
constexpr const char* kPackage = "/mnt/usb1/KEL-R8/far.KEL";
const usbpkg::Version kNewer = {25, 6, 1, 11, 3, 0};

// Dates a box file and every folder above it inside the box root, as
// `touch -h -d` does: a symbolic link itself, not what it leads to.
bool dateFar(const std::string& boxPath, std::time_t when = kPast2038)
{
    const timespec times[2] = {{when, 0}, {when, 0}};
    for (std::string p = boxPath; !p.empty(); p = p.substr(0, p.rfind('/')))
        if (::utimensat(AT_FDCWD, platform::path(p).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
    struct stat st {};
    return ::lstat(platform::path(boxPath).c_str(), &st) == 0 && st.st_mtime == when;
}

// A release package with a newer application `program`.
std::string packageOf(const std::string& program)
{
    const std::vector<u8> package = usbpkg::build(usbpkg::BuildSpec{
        usbpkg::kReleasePackage,
        usbpkg::kControllerType,
        {usbpkg::BuildChild{usbpkg::kChildApplication, std::vector<u8>(program.begin(), program.end()), kNewer}}});
    return std::string(package.begin(), package.end());
}

std::string bytesOf(const void* data, size_t n)
{
    return std::string(static_cast<const char*>(data), n);
}

}  // namespace

class FarFileTimes : public BoxTest {};

TEST_F(FarFileTimes, KeptFilesAndAPackageDatedPast2038AreReadAsToday)
{
    // The parameter file: language 1, brightness 77.
    KEL_RAM_PARA block = ram::defaultBlock();
    block.language = 1;
    block.brightness = 77;
    std::string para = bytesOf(ram::default_para_ramlist(), ram::kParaFileSize);
    std::memcpy(&para[ram::kParaMarkerSize], reinterpret_cast<const char*>(&block) + ram::kSavedStart, ram::kSavedSize);
    writeBoxFile(KelRamPara::kParaFile, para);
    // User mode 3, saved.
    USER_MODE_SLOT slot{};
    slot.marker[0] = slot.marker[1] = ram::kSlotSaved;
    slot.data[0] = 0x5A;
    const std::string mode = bytesOf(&slot, ram::kSlotFileSize);
    writeBoxFile(KelRamPara::modeFilePath(2), mode);
    // A recovery file of one port.
    writeBoxFile(kRecoveryFile,
                 cardfile_build::recoveryFile({{0, 0, 2, {{fpga::kCardAll, fpga::kRcvWrite, 16, {1}}}}}));
    // A package with a new application on the stick.
    const std::string program(5000, '\x42');
    writeBoxFile(program_update::kProgramFile, "old program");
    writeBoxFile(kPackage, packageOf(program));
    // What a write cut short by a power cut leaves.
    const std::string stale = KelRamPara::modeFilePath(2) + ".new";
    writeBoxFile(stale, "torn");
    for (const std::string& f : {std::string(KelRamPara::kParaFile), KelRamPara::modeFilePath(2), stale,
                                 std::string(kRecoveryFile), std::string(kPackage)})
        ASSERT_TRUE(dateFar(f)) << f;

    // Start-up removes the torn write first.
    EXPECT_EQ(platform::removeStaleWrites("/data", true), 1);
    EXPECT_FALSE(platform::exists(stale));

    // The store starts on the file, and leaves it as it was.
    KelRamPara* store = KelRamPara::pInstance();
    EXPECT_EQ(store->ram_para.language & 0xFF, 1);
    EXPECT_EQ(store->ram_para.brightness, 77);
    EXPECT_TRUE(readBoxFile(KelRamPara::kParaFile) == para) << "the parameter file was written over";
    EXPECT_EQ(store->KelUserModeSaved(2), 1);
    EXPECT_EQ(store->ram_user_mode[2].data[0], 0x5A);

    // The recovery file is listed and read whole.
    rcvRecovery recovery;
    ASSERT_EQ(recovery.get_dir_file(rcvRecovery::kRecoveryDir), 0);
    EXPECT_EQ(recovery.recoveryFiles(), QStringList{"screen.rcv"});
    std::string card;
    std::vector<cardfile::RcvPort> ports;
    QString why;
    EXPECT_TRUE(cardfile::readBoxFile(kRecoveryFile, card, &why) && cardfile::parseRecoveryFile(card, &ports, &why))
        << qPrintable(why);
    EXPECT_EQ(ports.size(), 1u);

    // The FPGA manager makes its scan folder in the dated /data; the package installs.
    ASSERT_FALSE(platform::isDir(rcvRecovery::kSmartDir));
    fpga_manage* m = fpgaManagerOutOfReset();
    EXPECT_TRUE(platform::isDir(rcvRecovery::kSmartDir));
    g_usb_grade_path = "KEL-R8";
    g_usb_grade = 1;
    for (int pass = 0; pass < 20 && g_usb_grade.load(); ++pass)
        m->usb_upgrade_manage_deal();
    EXPECT_TRUE(readBoxFile(program_update::kProgramFile) == program) << m->usb_grade_msg.toStdString();
}

// The simulated shell's file commands on a folder and a file dated past
// 2038 (a stick's, an upgrade's): each asks the C library what a file is,
// so on the 32-bit box too mkdir -p makes its folder there, mv moves into
// it, cp -r copies it and rm -rf removes it.
TEST_F(FarFileTimes, TheSimulatedShellsFileCommandsTakeThem)
{
    writeBoxFile("/data/late/file", "far");
    writeBoxFile("/data/moved", "moved");
    ASSERT_TRUE(dateFar("/data/late/file"));
    EXPECT_EQ(platform::shellRun("mkdir -p /data/late/sub/deeper"), 0);
    EXPECT_TRUE(platform::isDir("/data/late/sub/deeper"));
    EXPECT_EQ(platform::shellRun("mv /data/moved /data/late"), 0);
    EXPECT_EQ(readBoxFile("/data/late/moved"), "moved");
    EXPECT_EQ(platform::shellRun("chmod -R 755 /data/late"), 0);
    EXPECT_EQ(platform::shellRun("cp -r /data/late /data/copy"), 0);
    EXPECT_EQ(readBoxFile("/data/copy/file"), "far");
    EXPECT_TRUE(platform::isDir("/data/copy/sub/deeper"));
    EXPECT_EQ(platform::shellRun("rm -rf /data/late"), 0);
    EXPECT_FALSE(platform::exists("/data/late"));
}

// A package dated 2300: the upgrade tells the file it checked from another
// by its time, kept as seconds and nanoseconds (counted in nanoseconds
// alone, it passed what a signed 64-bit count holds).
TEST_F(FarFileTimes, APackageDatedPast2262Installs)
{
    const std::string program(3000, '\x24');
    writeBoxFile(program_update::kProgramFile, "old program");
    writeBoxFile(kPackage, packageOf(program));
    if (!dateFar(kPackage, kPast2262))
        GTEST_SKIP() << "the file system keeps no time past 2262";
    fpga_manage* m = fpgaManagerOutOfReset();
    g_usb_grade_path = "KEL-R8";
    g_usb_grade = 1;
    for (int pass = 0; pass < 20 && g_usb_grade.load(); ++pass)
        m->usb_upgrade_manage_deal();
    EXPECT_TRUE(readBoxFile(program_update::kProgramFile) == program) << m->usb_grade_msg.toStdString();
}
