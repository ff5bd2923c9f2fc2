// The tip box: its content by kind and language, and its 300-tick life.
#include "platform/sim/sim.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QLabel>
#include <QTimer>
#include <functional>

class Tip : public PageTest {
protected:
    // The text or picture label of the current tip.
    QLabel* label() const
    {
        const auto labels = g_tip->findChildren<QLabel*>();
        return labels.isEmpty() ? nullptr : labels.last();
    }
    // Runs tip_create(kind) while `during` drives the box from inside its
    // modal loop, as the 10 ms timer would.
    void createWhile(int kind, const std::function<void()>& during)
    {
        QTimer::singleShot(0, during);
        g_tip->tip_create(kind);
    }
};

TEST_F(Tip, CheckMarkShowsFor300TicksThenHides)
{
    int visibleAt299 = -1;
    createWhile(TIP::kCheck, [&] {
        EXPECT_EQ(g_tip_flag.load(), 1);
        ASSERT_NE(label(), nullptr);
        EXPECT_FALSE(label()->pixmap(Qt::ReturnByValue).isNull());
        tick(299);
        visibleAt299 = g_tip->isVisible();
        tick();
    });
    // tip_create returned: the 300th tick hid the box.
    EXPECT_EQ(visibleAt299, 1);
    EXPECT_FALSE(g_tip->isVisible());
    EXPECT_EQ(g_tip_flag.load(), 0);
    EXPECT_EQ(g_tip->ticks(), 0);
}

TEST_F(Tip, UsbTextsInTheLanguageShownEnglishWhenItIsOff)
{
    g_language = pages::ZH;
    ASSERT_TRUE(g_tip->tip_build(TIP::kUsbReading));
    EXPECT_EQ(label()->text(), QStringLiteral("正在读取中，请稍候…"));
    g_language = pages::RU;
    g_lcd_lang_valid = 0x1F & ~(1u << pages::RU);
    ASSERT_TRUE(g_tip->tip_build(TIP::kUsbUnplugged));
    EXPECT_EQ(label()->text(), QStringLiteral("USB stick is unplugged."));
}

TEST_F(Tip, SecondRequestReplacesTheContentAndKeepsTheRunningCount)
{
    QString second;
    int visibleAfter299 = -1;
    createWhile(TIP::kUsbInserted, [&] {
        tick(100);
        g_tip->tip_create(TIP::kUsbUnplugged);  // returns at once: the box is up
        second = label()->text();
        EXPECT_EQ(g_tip->findChildren<QFrame*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
        tick(199);
        visibleAfter299 = g_tip->isVisible();
        tick();
    });
    EXPECT_EQ(second, QStringLiteral("USB stick is unplugged."));
    EXPECT_EQ(visibleAfter299, 1);
    EXPECT_FALSE(g_tip->isVisible());
}

TEST_F(Tip, OtherKindsRemoveTheContentAndWithoutTheFlagTimeDoesNotHideIt)
{
    ASSERT_TRUE(g_tip->tip_build(TIP::kCheck));
    g_tip->show();
    tick(600);
    EXPECT_TRUE(g_tip->isVisible());
    EXPECT_EQ(g_tip->ticks(), 0);
    g_tip->hide();
    for (int kind : {2, 0, 6}) {
        g_tip->tip_create(kind);
        EXPECT_TRUE(g_tip->findChildren<QFrame*>(QString(), Qt::FindDirectChildrenOnly).isEmpty()) << kind;
        EXPECT_FALSE(g_tip->isVisible());
        EXPECT_EQ(g_tip_flag.load(), 0);
    }
}

TEST_F(Tip, MainMenuRefreshShowsTheModeConfirmationOnce)
{
    main->mode_tip_pending = 1;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        shown = g_tip->isVisible() && label() && !label()->pixmap(Qt::ReturnByValue).isNull();
        tick(300);
    });
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    EXPECT_TRUE(shown);
    EXPECT_EQ(main->mode_tip_pending, 0);
    EXPECT_FALSE(g_tip->isVisible());
}

TEST_F(Tip, AModeSaveThatCouldNotBeWrittenShowsTheFailureTipNotTheCheckMark)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    ASSERT_TRUE(store);
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    store->ram_para.mode_save_request = 2;
    main->mode_tip_pending = 1;
    QString text;
    bool picture = true;
    QTimer::singleShot(0, [&] {
        text = label() ? label()->text() : QString();
        picture = label() && !label()->pixmap(Qt::ReturnByValue).isNull();
        tick(300);
    });
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(text, QStringLiteral("Save failed!\nThe box keeps trying."));
    EXPECT_FALSE(picture);
    EXPECT_EQ(store->KelUserModeSaved(1), 0);
    EXPECT_EQ(main->mode_tip_pending, 0);
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
}
