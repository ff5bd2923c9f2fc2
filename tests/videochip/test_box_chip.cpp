// The simulated box brings its video chip up to running mode on its own.
#include "tests/support/box_test.h"
#include "tests/support/program_process.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

TEST(BoxChip, TheHostBoxReachesRunningMode)
{
    if (!canStartPrograms())
        GTEST_SKIP() << "no program can be started here";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    ProgramProcess box;
    const QString console = work.path() + "/console.txt";
    ASSERT_TRUE(box.start({"--address", freshBoxAddress()}, work.path().toStdString(), console.toStdString(), true))
        << box.error();
    QByteArray out;
    for (int i = 0; i < 300 && !out.contains("running mode (state 8)"); ++i) {
        QThread::msleep(100);
        QFile f(console);
        out = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    box.kill();
    EXPECT_TRUE(out.contains("running mode (state 8)")) << out.toStdString();
    EXPECT_FALSE(out.contains("error x518_id"));
}
