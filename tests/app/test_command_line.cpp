// The program's command line as a person types it, and one box to a root:
// the program started as a process of its own.
#include "tests/support/box_test.h"
#include "tests/support/program_process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kEndMs = 30000;    // a refused start ends long before this
constexpr int kStartMs = 30000;  // a loaded machine starts a box slowly

QByteArray fileText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs a control-pipe command on the box at `root` (once its pipe is
// there); true once it answered "ok".
bool answers(const QString& root, const std::string& line)
{
    const QByteArray ok = QByteArray::fromStdString("ok " + line + "\n");
    const int logged = fileText(root + "/sim/control.log").count(ok);
    const std::string text = line + "\n";
    const bool sent = waitUntil(
        [&] {
            const int fd =
                ::open(QFile::encodeName(root + "/sim/control").constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
            if (fd >= 0)
                ::close(fd);
            return written;
        },
        kStartMs);
    return sent && waitUntil([&] { return fileText(root + "/sim/control.log").count(ok) > logged; }, kStartMs);
}

QString linkTarget(const QString& path)
{
    return QFile::symLinkTarget(path);
}

}  // namespace

// Each command line that cannot run a box ends at once, before anything of
// a box root is made: an unknown option or its typo, a value missing or
// refused (status 2, with the usage), a root that cannot be made (status
// 1, one line); --help prints the usage and ends with 0.
TEST(CommandLine, WhatCannotRunABoxEndsAtOnceAndTouchesNothing)
{
    if (!canStartPrograms())
        GTEST_SKIP() << "no program can be started here";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    QFile plain(work.path() + "/plain");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const std::string underAFile = (work.path() + "/plain/box").toStdString();
    const struct {
        std::vector<std::string> args;
        int status;
        const char* said;
    } cases[] = {
        {{"--bogus"}, 2, "unknown option --bogus"},
        {{"--adress", "127.0.0.2"}, 2, "unknown option --adress"},
        {{"--box-root"}, 2, "--box-root needs a value"},
        {{"--box-root", "--address", "127.0.0.2"}, 2, "--box-root needs a value"},
        {{"-platform"}, 2, "-platform needs a value"},
        {{"--address", "10.0.0.1"}, 2, "--address \"10.0.0.1\" refused"},
        {{"--fpgas", "3"}, 2, "--fpgas \"3\" refused"},
        {{"--help"}, 0, "usage: kelR54N"},
        {{"--box-root", underAFile}, 1, "cannot be made (Not a directory): refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        const std::string out = (work.path() + "/out.txt").toStdString();
        ProgramProcess box;
        ASSERT_TRUE(box.start(c.args, work.path().toStdString(), out, true)) << box.error();
        ASSERT_TRUE(box.waitFinished(kEndMs));
        EXPECT_TRUE(box.exitedNormally());
        EXPECT_EQ(box.exitCode(), c.status);
        const QByteArray said = fileText(QString::fromStdString(out));
        EXPECT_TRUE(said.contains(c.said)) << said.toStdString();
        EXPECT_EQ(said.contains("usage: kelR54N"), c.status != 1) << said.toStdString();
        EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  (QStringList{"out.txt", "plain"}));
    }
}

// A second box started on a root in use ends with status 1 and a line
// naming the root and the first box's process, and the first box keeps its
// control pipe and serial links. The kernel lets the root go however the
// first box ends: after kill -9 a new box takes it.
TEST(CommandLine, ASecondBoxOnARootInUseEndsAndTheFirstKeepsEverything)
{
    if (!canStartPrograms())
        GTEST_SKIP() << "no program can be started here";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString root = work.path() + "/box-root";
    ProgramProcess first;
    ASSERT_TRUE(
        first.start({"--box-root", root.toStdString(), "--address", freshBoxAddress()}, work.path().toStdString()))
        << first.error();
    ASSERT_TRUE(answers(root, "chip"));
    ASSERT_TRUE(waitUntil([&] { return !linkTarget(root + "/dev/ttyS1").isEmpty(); }, kStartMs));
    const QString rs485 = linkTarget(root + "/dev/ttyS2"), modem = linkTarget(root + "/dev/ttyS1");
    const QByteArray log = fileText(root + "/sim/control.log");

    const std::string out = (work.path() + "/second.txt").toStdString();
    ProgramProcess second;
    ASSERT_TRUE(second.start({"--box-root", root.toStdString(), "--address", freshBoxAddress()},
                             work.path().toStdString(), out, true))
        << second.error();
    ASSERT_TRUE(second.waitFinished(kEndMs));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(fileText(QString::fromStdString(out)),
              QByteArray::fromStdString("simulated box: box root " + root.toStdString() + " is in use by process " +
                                        std::to_string(first.pid()) + ", another box: refused\n"));

    EXPECT_TRUE(first.running());
    EXPECT_EQ(linkTarget(root + "/dev/ttyS2"), rs485);
    EXPECT_EQ(linkTarget(root + "/dev/ttyS1"), modem);
    EXPECT_EQ(fileText(root + "/sim/control.log"), log);
    EXPECT_TRUE(answers(root, "chip"));

    first.kill();
    ProgramProcess third;
    ASSERT_TRUE(
        third.start({"--box-root", root.toStdString(), "--address", freshBoxAddress()}, work.path().toStdString()))
        << third.error();
    EXPECT_TRUE(answers(root, "chip"));
    EXPECT_TRUE(third.running());
}
