#include "app/utils.h"
#include "platform/sim/sim_mtd.h"
#include "tests/support/box_test.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

class MtdWrite : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        mtd8 = platform::sim::deviceAs<platform::sim::SimMtd>("/dev/mtd8");
        ASSERT_TRUE(mtd8);
        fd = platform::devOpen("/dev/mtd8", O_RDWR | O_SYNC);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override
    {
        platform::devClose(fd);
        BoxTest::TearDown();
    }
    std::shared_ptr<platform::sim::SimMtd> mtd8;
    int fd = -1;
};

TEST_F(MtdWrite, EraseCountsAtThePartitionLimits)
{
    EXPECT_EQ(Utils::non_region_erase(fd, 0, 0x60000, 0), 0);
    EXPECT_EQ(mtd8->eraseOffsets(), (std::vector<uint32_t>{0x00000, 0x10000, 0x20000, 0x30000, 0x40000, 0x50000}));
    EXPECT_TRUE(mtd8->unlockOffsets().empty());
    // One byte more needs a seventh block, which this partition does not have.
    mtd8->clearCounters();
    EXPECT_EQ(Utils::non_region_erase(fd, 0, 0x60001, 0), 8);
    EXPECT_EQ(mtd8->eraseOffsets().size(), 6u);

    auto mtd10 = platform::sim::deviceAs<platform::sim::SimMtd>("/dev/mtd10");
    int fd10 = platform::devOpen("/dev/mtd10", O_RDWR | O_SYNC);
    EXPECT_EQ(Utils::non_region_erase(fd10, 0, 0x60001, 1), 0);
    EXPECT_EQ(mtd10->eraseOffsets().size(), 7u);
    EXPECT_EQ(mtd10->unlockOffsets().size(), 7u);
    platform::devClose(fd10);
}

TEST_F(MtdWrite, WritesWholeUnitsThenTheRemainderAndOnlyClearsBitsWithoutErase)
{
    EXPECT_EQ(Utils::non_region_erase(fd, 0, 0, 1), 0);  // zero length: nothing
    EXPECT_EQ(Utils::non_region_write(fd, nullptr, 0, 0), 0);
    EXPECT_TRUE(mtd8->eraseOffsets().empty());
    EXPECT_TRUE(mtd8->writeLengths().empty());

    const uint32_t unit = mtd8->writeSize();
    std::vector<unsigned char> data(unit * 3);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 7);
    ASSERT_EQ(Utils::non_region_erase(fd, 0, static_cast<int>(data.size()), 0), 0);
    EXPECT_EQ(Utils::non_region_write(fd, data.data(), static_cast<int>(data.size()), 0), 0);
    EXPECT_EQ(mtd8->writeLengths(), (std::vector<size_t>{unit, unit, unit}));
    auto contents = mtd8->contents();
    EXPECT_TRUE(std::equal(data.begin(), data.end(), contents.begin()));
    EXPECT_EQ(contents[data.size()], 0xFF);
    for (const auto& [length, pieces] : {std::pair<int, std::vector<size_t>>{int(unit + 5), {unit, 5}}, {3, {3}}}) {
        mtd8->clearCounters();
        EXPECT_EQ(Utils::non_region_write(fd, data.data(), length, 0), 0);
        EXPECT_EQ(mtd8->writeLengths(), pieces);
    }

    unsigned char first[4] = {0xF0, 0xF0, 0xFF, 0x00};
    unsigned char second[4] = {0x0F, 0xFF, 0x3C, 0xFF};
    ASSERT_EQ(Utils::non_region_erase(fd, 0, 4, 0), 0);
    ASSERT_EQ(Utils::non_region_write(fd, first, 4, 0), 0);
    ASSERT_EQ(Utils::non_region_write(fd, second, 4, 0), 0);
    contents = mtd8->contents();
    EXPECT_EQ(std::vector<unsigned char>(contents.begin(), contents.begin() + 4),
              (std::vector<unsigned char>{0x00, 0xF0, 0x3C, 0x00}));
}

TEST_F(MtdWrite, FailuresAreReported)
{
    // An erase that stops half way says so; the blocks before it are erased.
    mtd8->failEraseAfter(3);
    EXPECT_EQ(Utils::non_region_erase(fd, 0, 0x60000, 0), 8);
    EXPECT_EQ(mtd8->eraseOffsets().size(), 2u);
    // A descriptor that is not a flash partition erases and writes nothing.
    mtd8->setInfoFails(true);
    unsigned char b = 0;
    EXPECT_EQ(Utils::non_region_erase(fd, 0, 0x10000, 0), 8);
    EXPECT_EQ(Utils::non_region_write(fd, &b, 1, 0), 1);
    // Writing past the end of the partition is a short write.
    mtd8->setInfoFails(false);
    std::vector<unsigned char> big(0x60000 + 0x100, 0);
    EXPECT_EQ(Utils::non_region_write(fd, big.data(), static_cast<int>(big.size()), 0), 1);
}

TEST_F(MtdWrite, ContentsSurviveARestartOfTheBox)
{
    unsigned char data[3] = {1, 2, 3};
    ASSERT_EQ(Utils::non_region_erase(fd, 0, 3, 0), 0);
    ASSERT_EQ(Utils::non_region_write(fd, data, 3, 0), 0);
    platform::sim::resetBox(root_);
    auto again = platform::sim::deviceAs<platform::sim::SimMtd>("/dev/mtd8");
    auto c = again->contents();
    EXPECT_EQ(c[0], 1);
    EXPECT_EQ(c[2], 3);
    EXPECT_EQ(c[3], 0xFF);
}

// The partition lives in a file on the host: a write the host refuses is no
// write. The erase and the write fail, and the partition keeps what it held.
TEST_F(MtdWrite, AHostThatRefusesTheBackingFileFailsTheEraseAndTheWrite)
{
    unsigned char data[2] = {0x12, 0x34};
    ASSERT_EQ(Utils::non_region_erase(fd, 0, 2, 0), 0);
    ASSERT_EQ(Utils::non_region_write(fd, data, 2, 0), 0);
    const std::string backing = platform::path("/dev/mtd8");
    ASSERT_EQ(::unlink(backing.c_str()), 0);
    ASSERT_EQ(::mkdir(backing.c_str(), 0755), 0);  // no file can be written there
    EXPECT_NE(Utils::non_region_erase(fd, 0, 2, 0), 0);
    unsigned char zero[2] = {0, 0};
    EXPECT_NE(Utils::non_region_write(fd, zero, 2, 0), 0);
    const auto c = mtd8->contents();
    EXPECT_EQ(c[0], 0x12);
    EXPECT_EQ(c[1], 0x34);
    ::rmdir(backing.c_str());
}

// What is put at the partition's file while the box runs neither holds a
// change nor carries it out of the box root: a FIFO or a link (to a file
// outside, or nowhere outside) fails the erase and the write with one line,
// the partition keeps what it held; once its file is gone for good the next
// change makes it anew, holding the partition with that change.
TEST_F(MtdWrite, WhatIsPutAtThePartitionsFileIsNeitherWaitedOnNorWrittenThrough)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const std::string away = outside.path().toStdString();
    {
        QFile f(outside.path() + "/kept");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write("outside"), 7);
    }
    unsigned char data[2] = {0x12, 0x34};
    ASSERT_EQ(Utils::non_region_erase(fd, 0, 2, 0), 0);
    ASSERT_EQ(Utils::non_region_write(fd, data, 2, 0), 0);
    const std::string backing = platform::path("/dev/mtd8");
    const struct {
        const char* kind;
        std::function<int()> put;
        const char* said;
    } cases[] = {
        {"FIFO", [&] { return ::mkfifo(backing.c_str(), 0600); },
         "[files] /dev/mtd8 is a FIFO, not a plain file: refused\n"},
        {"link", [&] { return ::symlink((away + "/kept").c_str(), backing.c_str()); },
         "[files] /dev/mtd8 is a file outside the box root, reached through a symbolic link: refused\n"},
        {"dangling link", [&] { return ::symlink((away + "/absent").c_str(), backing.c_str()); },
         "[files] /dev/mtd8 is a symbolic link that leads nowhere, not a plain file: refused\n"},
        {"hard link", [&] { return ::link((away + "/kept").c_str(), backing.c_str()); },
         "[files] /dev/mtd8 is a file with 2 names (a hard link), not one of its own: refused\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        ASSERT_EQ(::unlink(backing.c_str()), 0);
        ASSERT_EQ(c.put(), 0);
        testing::internal::CaptureStdout();
        unsigned char zero[2] = {0, 0};
        EXPECT_NE(Utils::non_region_erase(fd, 0, 2, 0), 0);
        EXPECT_NE(Utils::non_region_write(fd, zero, 2, 0), 0);
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_NE(console.find(c.said), std::string::npos) << console;
        EXPECT_EQ(console.find("[files]"), console.rfind("[files]")) << console;  // one line
        const auto held = mtd8->contents();
        EXPECT_EQ(held[0], 0x12);
        EXPECT_EQ(held[1], 0x34);
    }
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"kept"});
    QFile kept(outside.path() + "/kept");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("outside"));
    // Gone for good: made anew, whole.
    ASSERT_EQ(::unlink(backing.c_str()), 0);
    unsigned char bits[1] = {0x31};  // programming clears bits: 0x34 & 0x31
    ASSERT_EQ(Utils::non_region_write(fd, bits, 1, 1), 0);
    const std::string file = readBoxFile("/dev/mtd8");
    ASSERT_EQ(file.size(), size_t(0x60000));
    EXPECT_EQ(file.substr(0, 3), std::string("\x12\x30\xFF", 3));
}

// The partition's file is held open between changes: once its folder is
// moved out of the box root and linked back in, the file is the same but
// lies outside, and no change is written there any more.
TEST_F(MtdWrite, APartitionWhoseFolderMovedOutOfTheRootTakesNoMoreChanges)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    unsigned char data[2] = {0x12, 0x34};
    ASSERT_EQ(Utils::non_region_erase(fd, 0, 2, 0), 0);
    ASSERT_EQ(Utils::non_region_write(fd, data, 2, 0), 0);
    const std::string dev = platform::path("/dev"), moved = outside.path().toStdString() + "/dev";
    ASSERT_EQ(::rename(dev.c_str(), moved.c_str()), 0);
    ASSERT_EQ(::symlink(moved.c_str(), dev.c_str()), 0);
    testing::internal::CaptureStdout();
    unsigned char zero[2] = {0, 0};
    EXPECT_NE(Utils::non_region_erase(fd, 0, 2, 0), 0);
    EXPECT_NE(Utils::non_region_write(fd, zero, 2, 0), 0);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("[files] /dev is a folder outside the box root, reached through a symbolic link: refused\n"),
              std::string::npos)
        << console;
    EXPECT_EQ(console.find("[files]"), console.rfind("[files]")) << console;  // one line
    QFile file(QString::fromStdString(moved + "/mtd8"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), QByteArray("\x12\x34"));
    ASSERT_EQ(::unlink(dev.c_str()), 0);
    ASSERT_EQ(::rename(moved.c_str(), dev.c_str()), 0);
}
