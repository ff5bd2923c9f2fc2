// The simulated box brings its video chip up to running mode on its own.
#include "tests/support/box_test.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(BoxChip, TheHostBoxReachesRunningMode)
{
    if (!canStartPrograms())
        GTEST_SKIP() << "no program can be started here";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    QProcess box;
    box.setWorkingDirectory(work.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    box.setProcessEnvironment(env);
    box.setProcessChannelMode(QProcess::MergedChannels);
    box.start(QStringLiteral(KEL_APP_BINARY), {"--address", QString::fromStdString(freshBoxAddress())});
    ASSERT_TRUE(box.waitForStarted(10000));
    QByteArray out;
    for (int i = 0; i < 300 && !out.contains("running mode (state 8)"); ++i) {
        box.waitForReadyRead(100);
        out += box.readAll();
    }
    box.kill();
    box.waitForFinished(5000);
    EXPECT_TRUE(out.contains("running mode (state 8)")) << out.toStdString();
    EXPECT_FALSE(out.contains("error x518_id"));
}
