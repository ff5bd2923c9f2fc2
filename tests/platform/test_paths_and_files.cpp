#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_control.h"
#include "tests/support/box_test.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>
#include <thread>

class Paths : public BoxTest {};

namespace {
constexpr const char* kParaFile = "/data/ram_device_info";
}  // namespace

TEST_F(Paths, BoxPathsMapUnderTheRoot)
{
    EXPECT_EQ(platform::path("/data/configs/tcpip.ini"), root_ + "/data/configs/tcpip.ini");
    EXPECT_EQ(platform::path("data/x"), root_ + "/data/x");
    EXPECT_EQ(platform::path("/"), root_);
    EXPECT_EQ(platform::path("/data/../etc/hosts"), root_ + "/etc/hosts");
    EXPECT_EQ(platform::path("/mnt/usb1/"), root_ + "/mnt/usb1/");
    // Nothing climbs out of the root.
    EXPECT_EQ(platform::path("/../etc/passwd"), "");
    EXPECT_EQ(platform::path("/data/../../x"), "");
    EXPECT_EQ(platform::qpath("/data/a"), QString::fromStdString(root_ + "/data/a"));
}

TEST_F(Paths, FreshBoxHasItsDirectories)
{
    for (const char* d : {"/data", "/data/configs", "/data/modes", "/data/app", "/dev", "/mnt", "/sim"})
        EXPECT_TRUE(platform::isDir(d)) << d;
}

// What a write cut short leaves ("<name>.new") goes; nothing else does.
TEST_F(Paths, StaleNewFilesAreRemovedAndOtherFilesStay)
{
    writeBoxFile("/data/ram_device_info.new", "torn");
    writeBoxFile("/data/configs/tcpip.ini", "kept");  // written by way of its own .new
    writeBoxFile("/data/configs/tcpip.ini.new", "torn");
    writeBoxFile("/data/configs/.new", "a name of its own");
    writeBoxFile("/data/news", "kept");
    ASSERT_TRUE(platform::makeDirs("/data/keep.new"));
    writeBoxFile("/etc/outside.new", "not under the directory asked for");
    EXPECT_EQ(platform::removeStaleWrites("/data", false), 1);
    EXPECT_EQ(platform::removeStaleWrites("/data", true), 1);
    // Every other kind a torn or hostile write may leave goes too, told.
    ASSERT_EQ(::mkfifo(platform::path("/data/modes/fifo.new").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("nowhere", platform::path("/data/dangling.new").c_str()), 0);
    ASSERT_EQ(::symlink(root_.c_str(), platform::path("/data/keep.new/root.new").c_str()), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(platform::removeStaleWrites("/data", true), 3);
    const std::string said = testing::internal::GetCapturedStdout();
    for (const char* line : {"[files] /data/modes/fifo.new is a FIFO: removed\n",
                             "[files] /data/dangling.new is a symbolic link: removed\n",
                             "[files] /data/keep.new/root.new is a symbolic link: removed\n"})
        EXPECT_NE(said.find(line), std::string::npos) << line << said;
    EXPECT_FALSE(platform::exists("/data/ram_device_info.new"));
    EXPECT_FALSE(platform::exists("/data/configs/tcpip.ini.new"));
    for (const char* kept : {"/data/configs/tcpip.ini", "/data/configs/.new", "/data/news", "/etc/outside.new"})
        EXPECT_TRUE(platform::exists(kept)) << kept;
    EXPECT_TRUE(platform::isDir("/data/keep.new"));
}

TEST_F(Paths, WholeFileWritesReplaceAtomically)
{
    ASSERT_TRUE(platform::writeFileAtomic("/data/f.bin", std::string("old")));
    ASSERT_TRUE(platform::writeFileAtomic("/data/f.bin", std::string("new contents")));
    EXPECT_EQ(readBoxFile("/data/f.bin"), "new contents");
    EXPECT_FALSE(platform::exists("/data/f.bin.new"));
    // A write that cannot land leaves the old file as it was.
    EXPECT_FALSE(platform::writeFileAtomic("/data/no-such-dir/f.bin", std::string("x")));
    EXPECT_FALSE(platform::writeFileAtomic("/../outside", std::string("x")));
    EXPECT_EQ(readBoxFile("/data/f.bin"), "new contents");
    std::string out = "stale";
    EXPECT_FALSE(platform::readFile("/data/missing", out));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(platform::removeFile("/data/f.bin"));
    EXPECT_FALSE(platform::exists("/data/f.bin"));
}

// Whatever stands at a write's temporary name "<name>.new" neither holds
// the writer (a FIFO without a reader would block its open for ever) nor
// leads it out of the root (a link, dangling or not): it goes with one
// console line and the file is written in its place. A folder there is
// left and refused, told once however often the file is written.
TEST_F(Paths, WholeFileWritesNeitherBlockOnNorFollowWhatStandsAtTheirTemporaryName)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const std::string away = outside.path().toStdString();
    writeBoxFile("/data/torn", "old");
    writeBoxFile("/data/torn.new", "torn by a power cut");
    ASSERT_EQ(::mkfifo(platform::path("/data/fifo.new").c_str(), 0600), 0);
    ASSERT_EQ(::symlink((away + "/dangling").c_str(), platform::path("/data/dangling.new").c_str()), 0);
    {
        QFile f(outside.path() + "/kept");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write("outside"), 7);
    }
    ASSERT_EQ(::symlink((away + "/kept").c_str(), platform::path("/data/linked.new").c_str()), 0);
    ASSERT_TRUE(platform::makeDirs("/data/folder.new/inside"));
    const struct {
        const char* path;
        bool written;
        const char* said;
    } cases[] = {
        {"/data/torn", true, ""},
        {"/data/fifo", true, "[files] /data/fifo.new is a FIFO: removed\n"},
        {"/data/dangling", true, "[files] /data/dangling.new is a symbolic link: removed\n"},
        {"/data/linked", true, "[files] /data/linked.new is a symbolic link: removed\n"},
        {"/data/folder", false,
         "[files] /data/folder.new is a folder, which the box does not remove: /data/folder is not written while it "
         "stays\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        testing::internal::CaptureStdout();
        EXPECT_EQ(platform::writeFileAtomic(c.path, std::string("saved")), c.written);
        EXPECT_EQ(platform::writeFileAtomic(c.path, std::string("saved")), c.written);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.said);
        std::string out;
        EXPECT_EQ(platform::readFile(c.path, out), c.written);
        EXPECT_EQ(out, c.written ? "saved" : "");
        struct stat st {};
        EXPECT_EQ(::lstat((platform::path(c.path) + ".new").c_str(), &st) == 0, !c.written);
    }
    EXPECT_FALSE(QFile::exists(outside.path() + "/dangling"));
    QFile kept(outside.path() + "/kept");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("outside"));
    EXPECT_TRUE(platform::isDir("/data/folder.new/inside"));
}

// A bounded read takes regular files only: a pipe or a folder in a file's
// place is refused at once (a pipe without a writer would hold the reader).
TEST_F(Paths, BoundedReadsRefuseWhatIsNotAFileAtOnce)
{
    std::string out = "stale";
    ASSERT_EQ(::mkfifo(platform::path("/data/pipe").c_str(), 0600), 0);
    EXPECT_EQ(platform::readFileUpTo("/data/pipe", out, 64), platform::ReadResult::Missing);
    EXPECT_EQ(out, "");
    EXPECT_EQ(platform::readFileUpTo("/data", out, 64), platform::ReadResult::Missing);
    writeBoxFile("/data/f", "12345");
    EXPECT_EQ(platform::readFileUpTo("/data/f", out, 4), platform::ReadResult::TooLarge);
    EXPECT_EQ(platform::readFileUpTo("/data/f", out, 5), platform::ReadResult::Read);
    EXPECT_EQ(out, "12345");
}

// A kept file is read only when it is a plain file inside the box root of
// at most the reader's size: a symbolic link that leads out of the root (to
// a file or through a folder) or a file over the size (sparse, never
// written) is refused with the console line before anything is read, and a
// link that stays inside the root (the stick's mount) is followed.
TEST_F(Paths, KeptFilesAreReadOnlyWhenPlainInsideTheRootAndSmallEnough)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const std::string away = outside.path().toStdString();
    ASSERT_TRUE(platform::writeFileAtomic("/sim/inside", std::string("inside")));
    ASSERT_EQ(::symlink((away + "/f").c_str(), platform::path("/data/f").c_str()), 0);
    ASSERT_EQ(::symlink(away.c_str(), platform::path("/data/away").c_str()), 0);
    ASSERT_EQ(::symlink(platform::path("/sim/inside").c_str(), platform::path("/data/in").c_str()), 0);
    writeBoxFile("/data/huge", "x");
    ASSERT_EQ(::truncate(platform::path("/data/huge").c_str(), off_t(3) << 30), 0);
    {
        QFile f(outside.path() + "/f");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write("secret"), 6);
    }
    const std::string outsideLine = "is a file outside the box root, reached through a symbolic link: refused";
    const struct {
        const char* path;
        platform::ReadResult read;
        platform::FileCheck check;
        std::string said;
    } cases[] = {
        {"/data/f", platform::ReadResult::Missing, platform::FileCheck::Refused, "[files] /data/f " + outsideLine},
        {"/data/away/f", platform::ReadResult::Missing, platform::FileCheck::Refused,
         "[files] /data/away/f " + outsideLine},
        {"/data/huge", platform::ReadResult::TooLarge, platform::FileCheck::TooLarge,
         "[files] /data/huge is 3221225472 bytes, more than the 4096 it may have: refused"},
        {"/data/in", platform::ReadResult::Read, platform::FileCheck::Fits, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string out = "stale";
        testing::internal::CaptureStdout();
        EXPECT_EQ(platform::readFileUpTo(c.path, out, 4096), c.read);
        EXPECT_EQ(platform::checkFile(c.path, 4096), c.check);
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, c.read == platform::ReadResult::Read ? "inside" : "");
        EXPECT_EQ(console, c.said.empty() ? "" : c.said + "\n");  // told once, however often it is read
    }
}

// A folder reached through a symbolic link that leads out of the root (the
// modes folder linked elsewhere) takes no file, no new folder and no
// removal, by the box or its shell: a save there would be refused when it
// is read, so it fails at once, told once however often it is tried.
TEST_F(Paths, NothingIsWrittenMadeOrRemovedThroughAFolderOutsideTheRoot)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    {
        QFile f(outside.path() + "/custom_mode1");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write("outside"), 7);
    }
    ASSERT_EQ(::rmdir(platform::path("/data/modes").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().toLocal8Bit().constData(), platform::path("/data/modes").c_str()), 0);
    writeBoxFile("/data/copied", "copied");
    testing::internal::CaptureStdout();
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(platform::writeFileAtomic("/data/modes/custom_mode2", std::string("saved")));
        EXPECT_EQ(errno, EACCES);
        EXPECT_FALSE(platform::writeFileAtomic("/data/modes/custom_mode1", std::string("saved")));
        EXPECT_FALSE(platform::makeDirs("/data/modes/more"));
        EXPECT_FALSE(platform::removeFile("/data/modes/custom_mode1"));
        EXPECT_NE(platform::shellRun("rm -rf /data/modes/custom_mode1"), 0);
        EXPECT_NE(platform::shellRun("cp /data/copied /data/modes/custom_mode3"), 0);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[files] /data/modes is a folder outside the box root, reached through a symbolic link: refused\n");
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
              QStringList{"custom_mode1"});
    QFile kept(outside.path() + "/custom_mode1");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("outside"));
}

// The files the simulated devices change in place (a flash partition, an
// EEPROM, a journal) are opened only when plain inside the box root: a
// FIFO is not waited on, a link (dangling or not) is not followed out of
// the root, a folder is left; each is refused with one line, told once.
TEST_F(Paths, FilesChangedInPlaceAreOpenedOnlyWhenPlainInsideTheRoot)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const std::string away = outside.path().toStdString();
    {
        QFile f(outside.path() + "/kept");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write("outside"), 7);
    }
    ASSERT_EQ(::mkfifo(platform::path("/sim/fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink((away + "/absent").c_str(), platform::path("/sim/dangling").c_str()), 0);
    ASSERT_EQ(::symlink((away + "/kept").c_str(), platform::path("/sim/linked").c_str()), 0);
    ASSERT_EQ(::symlink(away.c_str(), platform::path("/sim/away").c_str()), 0);
    ASSERT_TRUE(platform::makeDirs("/sim/folder"));
    writeBoxFile("/sim/plain", "inside");
    // A link inside the root to a file the box keeps, and a second name of
    // a file outside: written in place, either would change that file.
    writeBoxFile(kParaFile, "the parameter file");
    ASSERT_EQ(::symlink(platform::path(kParaFile).c_str(), platform::path("/sim/inner").c_str()), 0);
    ASSERT_EQ(::link((away + "/kept").c_str(), platform::path("/sim/hard").c_str()), 0);
    const struct {
        const char* path;
        bool opened;
        const char* said;
    } cases[] = {
        {"/sim/plain", true, ""},
        {"/sim/new", true, ""},
        {"/sim/fifo", false, "[files] /sim/fifo is a FIFO, not a plain file: refused\n"},
        {"/sim/dangling", false,
         "[files] /sim/dangling is a symbolic link that leads nowhere, not a plain file: refused\n"},
        {"/sim/linked", false,
         "[files] /sim/linked is a file outside the box root, reached through a symbolic link: refused\n"},
        {"/sim/away/absent", false,
         "[files] /sim/away is a folder outside the box root, reached through a symbolic link: refused\n"},
        {"/sim/folder", false, "[files] /sim/folder is a folder, not a plain file: refused\n"},
        {"/sim/inner", false, "[files] /sim/inner is a symbolic link, not a plain file: refused\n"},
        {"/sim/hard", false, "[files] /sim/hard is a file with 2 names (a hard link), not one of its own: refused\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        testing::internal::CaptureStdout();
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int fd = platform::detail::openInPlace(c.path, O_WRONLY | O_APPEND | O_CREAT);
            EXPECT_EQ(fd >= 0, c.opened);
            if (fd >= 0) {
                EXPECT_EQ(::write(fd, "+", 1), 1);
                ::close(fd);
            }
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.said);
    }
    EXPECT_EQ(readBoxFile("/sim/plain"), "inside++");
    EXPECT_EQ(readBoxFile("/sim/new"), "++");
    EXPECT_EQ(readBoxFile(kParaFile), "the parameter file");
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
              QStringList{"kept"});
    QFile kept(outside.path() + "/kept");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("outside"));
}

// The control pipe removed while the box runs, or a file moved in its
// place, is made again at once: the box never goes deaf until a restart.
TEST_F(Paths, AControlPipeReplacedWhileTheBoxRunsIsMadeAgain)
{
    EXPECT_EQ(control("chip"), "ok chip");
    const std::string pipe = platform::path(platform::sim::kControlPipe);
    const auto isFifo = [&] {
        struct stat st {};
        return ::lstat(pipe.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    };
    ASSERT_EQ(::unlink(pipe.c_str()), 0);
    EXPECT_TRUE(waitUntil(isFifo));
    EXPECT_EQ(control("chip"), "ok chip");
    writeBoxFile("/sim/written", "chip\n");
    ASSERT_EQ(::rename(platform::path("/sim/written").c_str(), pipe.c_str()), 0);
    EXPECT_TRUE(waitUntil(isFifo));
    EXPECT_EQ(control("osd"), "ok osd");
}

// A debug message left unfinished and flushed by anyone's flush still
// gets the next console line a line of its own, so that a search for the
// "[files]" lines finds every one.
TEST(Console, ALineStartsALineOfItsOwnAfterAnUnfinishedOneLeft)
{
    FILE* const was = stdout;
    testing::internal::CaptureStdout();
    platform::keepConsoleLinesWhole();
    std::printf("\n update_over !!!");
    std::fflush(stdout);
    platform::consoleLine("[files] /x is a FIFO: refused");
    std::printf("next\n");
    std::fclose(stdout);
    stdout = was;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n update_over !!!\n[files] /x is a FIFO: refused\nnext\n");
}

// The disk faults the control pipe switches: the data folders only, and
// each ends with off.
TEST_F(Paths, DiskFaultsFailTheDataFoldersWritesUntilOff)
{
    ASSERT_TRUE(platform::writeFileAtomic("/data/f.bin", std::string("old")));
    ASSERT_TRUE(platform::writeFileAtomic("/data/g.bin", std::string("g")));

    EXPECT_EQ(control("fault disk full"), "ok fault disk full");
    errno = 0;
    EXPECT_FALSE(platform::writeFileAtomic("/data/f.bin", std::string("new")));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_FALSE(platform::writeFileAtomic("/data/configs/../f.bin", std::string("new")));
    EXPECT_FALSE(platform::makeDirs("/data/newdir"));
    EXPECT_TRUE(platform::makeDirs("/data/modes"));                            // there already: nothing to write
    EXPECT_TRUE(platform::writeFileAtomic("/sim/out.txt", std::string("x")));  // not a data folder
    EXPECT_TRUE(platform::writeFileAtomic("/database", std::string("x")));
    EXPECT_TRUE(platform::removeFile("/data/g.bin"));  // a full disk still frees space
    EXPECT_EQ(readBoxFile("/data/f.bin"), "old");
    EXPECT_FALSE(platform::exists("/data/f.bin.new"));

    EXPECT_EQ(control("fault disk readonly"), "ok fault disk readonly");
    errno = 0;
    EXPECT_FALSE(platform::writeFileAtomic("/data/f.bin", std::string("new")));
    EXPECT_EQ(errno, EROFS);
    EXPECT_FALSE(platform::removeFile("/data/f.bin"));

    EXPECT_EQ(control("fault disk off"), "ok fault disk off");
    EXPECT_TRUE(platform::writeFileAtomic("/data/f.bin", std::string("new")));
    EXPECT_EQ(readBoxFile("/data/f.bin"), "new");
    EXPECT_EQ(control("fault disk half"), "error fault disk half: the disk is full, readonly, slow or off, not half");
}

// A slow disk holds a large file's write in its sync. Only another writer
// of the same file waits for it (and both land whole, in turn); a writer of
// another file, the lock over every file's replacement and a holder of the
// same file's lock taking it again do not.
TEST_F(Paths, OnlyWritersOfTheSameFileWaitForASlowSync)
{
    const std::string big(2u << 20, 'b');
    EXPECT_EQ(control("fault disk slow 20000"), "ok fault disk slow 20000");
    std::atomic<bool> bigWritten{false}, secondWritten{false};
    std::thread slow([&] { bigWritten = platform::writeFileAtomic("/data/big.bin", big); });
    ASSERT_TRUE(waitUntil([] { return platform::sim::slowSyncsWaiting() == 1; }));
    std::thread second([&] { secondWritten = platform::writeFileAtomic("/data/./big.bin", std::string("second")); });

    EXPECT_TRUE(platform::writeFileAtomic("/data/small.bin", std::string("s")));
    {
        platform::FileLock own("/data/small.bin");
        EXPECT_TRUE(platform::writeFileAtomic("/data/small.bin", std::string("t")));
    }
    const bool replaceLockFree = platform::g_fileReplaceMutex.tryLock();
    if (replaceLockFree)
        platform::g_fileReplaceMutex.unlock();
    EXPECT_TRUE(replaceLockFree);
    EXPECT_EQ(platform::sim::slowSyncsWaiting(), 1);  // all that while the large file synced

    EXPECT_EQ(control("fault disk off"), "ok fault disk off");
    slow.join();
    second.join();
    EXPECT_TRUE(bigWritten);
    EXPECT_TRUE(secondWritten);
    EXPECT_EQ(readBoxFile("/data/big.bin"), "second");
    EXPECT_EQ(readBoxFile("/data/small.bin"), "t");
    EXPECT_FALSE(platform::exists("/data/big.bin.new"));
    EXPECT_EQ(control("fault disk slow x"), "error fault disk slow x: slow MS, the milliseconds 0-600000 a sync "
                                            "waits for each MiB");
}

TEST(PlatformOptions, AreTakenOutOfTheArgumentsAndTheRestStaysForQt)
{
    using platform::detail::takeOption;
    char a0[] = "kelR54N", a1[] = "--box-root", a2[] = "/tmp/r", a3[] = "-platform", a4[] = "offscreen",
         a5[] = "--address=127.0.0.9";
    char* argv[] = {a0, a1, a2, a3, a4, a5, nullptr};
    int argc = 6;
    EXPECT_EQ(takeOption(argc, argv, "--box-root"), "/tmp/r");
    EXPECT_EQ(takeOption(argc, argv, "--address"), "127.0.0.9");
    EXPECT_EQ(takeOption(argc, argv, "--address"), std::nullopt);
    ASSERT_EQ(argc, 3);
    EXPECT_STREQ(argv[1], "-platform");
    EXPECT_STREQ(argv[2], "offscreen");
    EXPECT_EQ(argv[3], nullptr);
    // A name that ends the line is there without a value, for the caller to refuse.
    char b1[] = "--address";
    char* argv2[] = {a0, b1, nullptr};
    argc = 2;
    EXPECT_EQ(takeOption(argc, argv2, "--address"), "");
    EXPECT_EQ(argc, 1);
}

TEST(BoxAddress, OnlyAHostAddressOfTheLoopbackBlockIsTaken)
{
    for (const char* good : {"127.0.0.2", "127.1.2.3", "127.255.255.254"}) {
        EXPECT_TRUE(platform::sim::setBoxAddress(good)) << good;
        EXPECT_EQ(platform::sim::boxAddress(), good);
    }
    for (const char* bad : {"", "localhost", "10.0.0.1", "127.0.0", "127.0.0.256", "127.0.0.02", " 127.0.0.2",
                            "127.0.0.0", "127.255.255.255", "0x7f.0.0.2"})
        EXPECT_FALSE(platform::sim::setBoxAddress(bad)) << bad;
    EXPECT_EQ(platform::sim::boxAddress(), "127.255.255.254");
}

class HostShell : public BoxTest {};

TEST_F(HostShell, CommandsAreJournalledAndNeverRun)
{
    EXPECT_EQ(platform::shellRun("ifconfig eth0 10.0.0.1 netmask 255.0.0.0"), 0);
    EXPECT_EQ(platform::shellRun("date -s \"2026-01-01 00:00:00\""), 0);
    EXPECT_EQ(platform::shellRun("hostapd -B /etc/rtl_hostapd_2G.conf"), 0);
    auto j = platform::sim::shellJournal();
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[0], "ifconfig eth0 10.0.0.1 netmask 255.0.0.0");
    EXPECT_EQ(readBoxFile("/sim/shell.log"),
              "ifconfig eth0 10.0.0.1 netmask 255.0.0.0\ndate -s \"2026-01-01 00:00:00\"\n"
              "hostapd -B /etc/rtl_hostapd_2G.conf\n");
}

TEST_F(HostShell, FileCommandsActInsideTheRootOnly)
{
    writeBoxFile("/data/app/kelR54N2", "new program");
    EXPECT_EQ(platform::shellRun("chmod 777 /data/app/kelR54N2"), 0);
    EXPECT_EQ(platform::shellRun("mv /data/app/kelR54N2 /data/app/kelR54N"), 0);
    EXPECT_EQ(readBoxFile("/data/app/kelR54N"), "new program");
    EXPECT_FALSE(platform::exists("/data/app/kelR54N2"));
    struct stat st;
    ASSERT_EQ(::stat(platform::path("/data/app/kelR54N").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u);

    EXPECT_EQ(platform::shellRun("cp /data/app/kelR54N /data/copy"), 0);
    EXPECT_EQ(readBoxFile("/data/copy"), "new program");
    EXPECT_EQ(platform::shellRun("rm -f /data/copy"), 0);
    EXPECT_FALSE(platform::exists("/data/copy"));
    EXPECT_EQ(platform::shellRun("rm /data/copy"), 256);
    EXPECT_EQ(platform::shellRun("rm -f /data/copy"), 0);

    // Relative paths, escapes and shell syntax are not carried out.
    EXPECT_EQ(platform::shellRun("rm -rf /"), 256);
    EXPECT_TRUE(platform::isDir("/data/app"));
    EXPECT_EQ(platform::shellRun("rm -rf /../.."), 256);
    EXPECT_EQ(platform::shellRun("mv data/app/kelR54N /data/x"), 256);
    EXPECT_EQ(platform::shellRun("rm -f /data/app/kelR54N; reboot"), 0);
    EXPECT_TRUE(platform::exists("/data/app/kelR54N"));
    EXPECT_EQ(platform::sim::rebootCount(), 0);
}

TEST_F(HostShell, RebootGoesToTheHandler)
{
    int called = 0;
    platform::sim::setRebootHandler([&called] { ++called; });
    platform::shellRun("reboot");
    EXPECT_EQ(called, 1);
    EXPECT_EQ(platform::sim::rebootCount(), 1);
    EXPECT_EQ(journalWith("reboot"), std::vector<std::string>{"reboot"});
}

TEST_F(HostShell, StatusTableUsesTheLongestPrefix)
{
    platform::sim::setShellStatus("route", 256);
    platform::sim::setShellStatus("route add", 0);
    EXPECT_EQ(platform::shellRun("route del default wlan0"), 256);
    EXPECT_EQ(platform::shellRun("route add default gw 1.2.3.4"), 0);
    EXPECT_EQ(platform::shellRun("udhcpc -i wlan0"), 0);
}

TEST_F(HostShell, DeviceNodesOnlyExistWhenSimulated)
{
    EXPECT_LT(platform::devOpen("/dev/sda", 0), 0);
    EXPECT_LT(platform::devOpen("/proc/cpuinfo", 0), 0);
    int fd = platform::devOpen("/dev/mtd8", 0);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(platform::devClose(fd), 0);
    EXPECT_NE(platform::devClose(fd), 0);
    platform::sim::setDeviceMissing("/dev/mtd8", true);
    EXPECT_LT(platform::devOpen("/dev/mtd8", 0), 0);
}
