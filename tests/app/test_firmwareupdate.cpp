// The update dialog: opened and closed from worker threads through the main
// window, animated only by the tick while an update runs.
#include "app/firmwareupdate.h"
#include "app/page_handover.h"
#include "app/page_support.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QPointer>
#include <thread>

class UpdateDialog : public PageTest {
protected:
    void TearDown() override
    {
        firmware_update_over();
        g_update_flag = 0;
        PageTest::TearDown();
    }
    // Ticks until the next multiple of 100, where the dots step.
    void tickToNextHundred()
    {
        do
            tick();
        while (G_timeTicks.load() % 100 != 0);
    }
};

TEST_F(UpdateDialog, StartAndOverFromAnyThreadAreQueuedToTheGuiThread)
{
    // From the GUI thread.
    main->update_start();
    EXPECT_EQ(g_move_update, nullptr);
    ASSERT_TRUE(waitUntil([] { return g_move_update != nullptr; }));
    main->update_over();
    ASSERT_TRUE(waitUntil([] { return g_move_update == nullptr; }));
    // From a worker.
    std::thread([] { g_mainwindow->update_start(); }).join();
    EXPECT_EQ(g_move_update, nullptr);  // queued, not built on the worker
    ASSERT_TRUE(waitUntil([] { return g_move_update != nullptr; }));
    EXPECT_EQ(g_move_update->thread(), QCoreApplication::instance()->thread());
    EXPECT_TRUE(g_move_update->isVisible());

    QPointer<FirmwareUpdate> dialog = g_move_update;
    std::thread([] { g_mainwindow->update_over(); }).join();
    ASSERT_TRUE(waitUntil([] { return g_move_update == nullptr; }));
    flushDeletes();
    EXPECT_TRUE(dialog.isNull());  // closing deleted it
}

TEST_F(UpdateDialog, AWorkersHandOverReachesTheDialogOnlyOnceTheMainWindowInstalledIt)
{
    std::thread([] { pagehandover::transferStarted(); }).join();
    ASSERT_TRUE(waitUntil([] { return g_move_update != nullptr; }));
    std::thread([] { pagehandover::transferEnded(); }).join();
    ASSERT_TRUE(waitUntil([] { return g_move_update == nullptr; }));

    // With nothing installed (a program without pages) a request is dropped.
    pagehandover::install({});
    std::thread([] {
        pagehandover::transferStarted();
        pagehandover::recoveryFilesChanged(true);
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(g_move_update, nullptr);
}

TEST_F(UpdateDialog, OneDialogAnimatedByTheTickOnlyWhileTheFlagIsSet)
{
    firmware_update_over();  // without a dialog: nothing
    EXPECT_EQ(g_move_update, nullptr);
    g_language = pages::ZH;
    firmware_update_start();
    FirmwareUpdate* first = g_move_update;
    firmware_update_start();
    EXPECT_EQ(g_move_update, first);
    EXPECT_EQ(first->text(), QStringLiteral("升级中，请勿断电 "));
    tick(200);
    EXPECT_EQ(first->iconY(), 60);
    EXPECT_EQ(first->text(), QStringLiteral("升级中，请勿断电 "));
    g_update_flag = 1;
    tick(10);
    EXPECT_EQ(first->iconY(), 65);  // every second tick
    tick(89);                       // 211 .. 299: no multiple of 100 yet
    EXPECT_EQ(first->text(), QStringLiteral("升级中，请勿断电 "));
    // The dots step every hundred ticks and wrap after three; the line stays centred.
    const QString expected[] = {"升级中，请勿断电 .", "升级中，请勿断电 ..", "升级中，请勿断电 ...",
                                "升级中，请勿断电 ."};
    for (const QString& e : expected) {
        tickToNextHundred();
        EXPECT_EQ(first->text(), e);
        const int w = 13 * e.size();
        EXPECT_EQ(first->textRect(), QRect((320 - w) / 2, 200, w, 17));
    }
}

TEST_F(UpdateDialog, IconBouncesBetween60And116)
{
    firmware_update_start();
    FirmwareUpdate* d = g_move_update;
    auto steps = [d](int n) {
        for (int i = 0; i < n; ++i)
            d->handleTimerID1();
    };
    EXPECT_EQ(d->iconY(), 60);
    steps(56);
    EXPECT_EQ(d->iconY(), 116);
    steps(1);
    EXPECT_EQ(d->iconY(), 115);
    steps(55);
    EXPECT_EQ(d->iconY(), 60);
    steps(1);
    EXPECT_EQ(d->iconY(), 61);
}

// Each language has a line of its own (none falls back to English), and the
// line, dots and all, lies inside the dialog.
TEST_F(UpdateDialog, EveryLanguageHasItsOwnLineInsideTheDialog)
{
    firmware_update_start();
    FirmwareUpdate* d = g_move_update;
    QStringList lines;
    for (int lang = 0; lang < pages::kLanguages; ++lang) {
        SCOPED_TRACE(lang);
        g_language = static_cast<u8>(lang);
        d->language_changed();
        lines << d->text();
        for (int step = 0; step < 3; ++step) {
            d->handleTimerID2();
            EXPECT_TRUE(d->rect().contains(d->textRect())) << d->text().toStdString();
        }
    }
    lines.removeDuplicates();
    EXPECT_EQ(lines.size(), pages::kLanguages) << lines.join(QLatin1Char('|')).toStdString();
}
