// The home page: its texts for a few block states in several languages,
// and leaving it by touch and by key.
#include "app/lockwindow.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QTest>

class HomePage : public PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        // HDMI1 carries 1920 x 1080 at 60 Hz; window 0 shows it.
        block().source_status[ram::kSourceHdmi1] = SOURCE_STATUS{1920, 1080, 60};
        block().image[0].source = ram::kSourceHdmi1;
    }
    LockWindow* open()
    {
        g_lockwindow = new LockWindow(nullptr);
        g_page_focus = PAGE_HOME;
        g_lockwindow->show();
        return g_lockwindow;
    }
    // Window i shows crop `number` of `source` from crop record `record`.
    void showCrop(int i, int record, int source, int number, u16 w, u16 h)
    {
        block().crop_list[record] =
            CROP_ITEM{static_cast<u16>(ram::kCropInUse | (number - 1) << ram::kCropNumberShift | source), 0, 0, w, h};
        block().image[i].enable = 1;
        block().image[i].source = static_cast<u16>(ram::kSourceIsCrop | record);
    }
};

TEST_F(HomePage, ShowsCanvasPictureSettingsAndEachWindowsInputInEnglish)
{
    block().led_width = 3840;
    block().led_height = 1080;
    block().brightness = 77;
    block().image[0].enable = 0;  // window 0 gets a full tile all the same
    showCrop(2, 0, ram::kSourceHdmi1, 1, 1280, 720);
    // A protocol write may leave any source id in a window.
    block().image[3].enable = 1;
    block().image[3].source = 4;
    block().image[1].enable = 1;
    block().image[1].source = 7;
    LockWindow* home = open();
    EXPECT_EQ(home->canvasText(), QStringLiteral("LED size:3840 x 1080"));
    EXPECT_EQ(home->findChild<QLabel*>("label_bright")->text(), QStringLiteral("77"));
    EXPECT_EQ(home->findChild<QLabel*>("label_contrast")->text(), QStringLiteral("50"));
    EXPECT_EQ(home->findChild<QLabel*>("label_IPaddr")->text(), QStringLiteral("192.168.1.199"));
    EXPECT_TRUE(home->findChild<QWidget*>("label_volume")->isHidden());
    EXPECT_EQ(home->tileName(0), QStringLiteral("HDMI1"));
    EXPECT_EQ(home->tileState(0), QStringLiteral("1920x1080@60Hz"));
    // A crop shows its own size at the input's rate.
    EXPECT_EQ(home->tileName(2), QStringLiteral("HDMI1_Crop1"));
    EXPECT_EQ(home->tileState(2), QStringLiteral("1280x720@60Hz"));
    for (int i : {1, 3}) {
        EXPECT_EQ(home->tileState(i), QStringLiteral("No signal")) << i;
        EXPECT_EQ(home->tileName(i), QString()) << i;
    }
    // The operator's alias of an input replaces its name, shortened to the tile.
    writeBoxFile("/data/configs/alias.json",
                 R"({"namelist": {"source": [{"id": 1, "valid": "on", "name": "Stage camera left, wide angle"}]}})");
    home->image_init();
    EXPECT_TRUE(home->tileName(0).startsWith(QStringLiteral("Stage"))) << home->tileName(0).toStdString();
    EXPECT_TRUE(home->tileName(0).endsWith(QChar(0x2026)));
    EXPECT_EQ(home->tileName(2), QStringLiteral("HDMI1_Crop1"));
}

TEST_F(HomePage, ALanguageChangeRelabelsTheCanvasAndTheTiles)
{
    block().image[0].source = ram::kSourceHdmi2;  // no signal there
    block().image[1].enable = 1;
    block().image[1].flags = ram::kFlagBlack;
    LockWindow* home = open();
    g_language = pages::ZH;
    home->language_changed();
    EXPECT_EQ(home->canvasText(), QStringLiteral("LED屏:1920 x 1080"));
    EXPECT_EQ(home->tileState(0), QStringLiteral("无信号"));
    EXPECT_EQ(home->tileState(2), QStringLiteral("未开启"));
    // Russian switched off: English
    g_language = pages::RU;
    g_lcd_lang_valid = 0x1F & ~(1u << pages::RU);
    home->language_changed();
    EXPECT_EQ(home->tileState(1), QStringLiteral("Black"));
}

TEST_F(HomePage, LedOutputOffMakesEveryShownWindowBlack)
{
    block().led_off = 1;
    block().image[1].enable = 1;
    block().image[1].source = ram::kSourceDvi;
    LockWindow* home = open();
    EXPECT_EQ(home->tileState(0), QStringLiteral("Black"));
    EXPECT_EQ(home->tileState(1), QStringLiteral("Black"));
    EXPECT_EQ(home->tileState(2), QStringLiteral("Close"));
}

// A plugged input is no help while the video chip does not run: the shown
// windows say their picture cannot be shown, not that their input has no
// signal; black and hidden windows say what they always say.
TEST_F(HomePage, WhileTheChipIsDownShownWindowsCannotShowTheirPicture)
{
    ChipNotRunning chip;
    block().image[1].enable = 1;
    block().image[1].source = ram::kSourceHdmi1;
    block().image[1].flags = ram::kFlagBlack;
    LockWindow* home = open();
    EXPECT_EQ(home->tileState(0), QStringLiteral("Cannot show picture"));
    EXPECT_EQ(home->tileState(1), QStringLiteral("Black"));
    EXPECT_EQ(home->tileState(2), QStringLiteral("Close"));
    g_language = pages::RU;
    home->language_changed();
    EXPECT_EQ(home->tileState(0), QStringLiteral("Показ невозможен"));

    // The chip's change code brings the timing back.
    g_language = pages::EN;
    chip.run();
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_CHIP_STATE);
    EXPECT_EQ(home->tileState(0), QStringLiteral("1920x1080@60Hz"));
}

TEST_F(HomePage, RefreshFollowsTheBlockThroughTheNotifier)
{
    LockWindow* home = open();
    block().brightness = 33;
    block().led_width = 1024;
    block().source_status[ram::kSourceHdmi1] = SOURCE_STATUS{0, 0, 0};
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(home->findChild<QLabel*>("label_bright")->text(), QStringLiteral("33"));
    EXPECT_EQ(home->canvasText(), QStringLiteral("LED size:1024 x 1080"));
    EXPECT_EQ(home->tileState(0), QStringLiteral("No signal"));

    // Nothing a tile shows changed: the tiles are not built again.
    const QPointer<QFrame> tiles = home->tileFrame();
    block().contrast = 7;
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(home->tileFrame(), tiles.data());
    block().image[0].flags = ram::kFlagFreeze;
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    EXPECT_TRUE(tiles.isNull());
}

TEST_F(HomePage, TouchOnATileOrTheTopRowLeavesForTheMainWindow)
{
    QPointer<LockWindow> home = open();
    QLabel* number = home->tileFrame()->findChild<QLabel*>();
    ASSERT_NE(number, nullptr);
    QTest::mouseClick(number, Qt::LeftButton);
    EXPECT_EQ(g_page_focus.load(), PAGE_MAIN_MENU);
    flushDeletes();
    EXPECT_TRUE(home.isNull());
    EXPECT_EQ(g_lockwindow, nullptr);

    home = open();
    QTest::mouseClick(home->findChild<QWidget*>("label_input"), Qt::LeftButton);
    flushDeletes();
    EXPECT_TRUE(home.isNull());
    EXPECT_EQ(g_page_focus.load(), PAGE_MAIN_MENU);
}

TEST_F(HomePage, OkLeavesOtherPanelKeysStay)
{
    QPointer<LockWindow> home = open();
    block().panel_lock = 1;  // MODE refused
    for (Qt::Key k : {Qt::Key_S, Qt::Key_F5, Qt::Key_O, Qt::Key_PowerOff, Qt::Key_M, Qt::Key_B})
        click(home.data(), k);
    EXPECT_EQ(g_mode_shortcut_key, 0);
    block().panel_lock = 0;
    flushDeletes();
    ASSERT_FALSE(home.isNull());
    EXPECT_EQ(g_page_focus.load(), PAGE_HOME);
    press(home.data(), Qt::Key_Q);  // pressing does nothing
    EXPECT_TRUE(home->isVisible());
    release(home.data(), Qt::Key_Q);
    flushDeletes();
    EXPECT_TRUE(home.isNull());
    EXPECT_EQ(g_page_focus.load(), PAGE_MAIN_MENU);
    EXPECT_TRUE(main->isVisible());
    // MODE leaves it for the user-mode page.
    home = open();
    click(home.data(), Qt::Key_M);
    flushDeletes();
    EXPECT_TRUE(home.isNull());
    EXPECT_EQ(g_lockwindow, nullptr);
    EXPECT_EQ(g_mode_shortcut_key, 1);
}
