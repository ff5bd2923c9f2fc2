// Plugging and pulling a signal reaches the home page through the input
// status and change code 12.
#include "tests/videoio/input_test.h"

#include "app/lockwindow.h"
#include "app/page_support.h"
#include "app/syncupdate.h"

TEST_F(InputTest, TheHomePageFollowsAPluggedAndPulledSignal)
{
    pages::initPictures();
    g_language = pages::EN;
    g_lcd_lang_valid = 0x1F;
    QObject::connect(store, SIGNAL(sig_update_para(int)), SyncUpdate::pInstance(), SLOT(para_sync(int)));
    g_lockwindow = new LockWindow(nullptr);
    g_page_focus = PAGE_HOME;
    g_lockwindow->show();
    EXPECT_EQ(g_lockwindow->tileState(0), QStringLiteral("No signal"));  // window 0 shows HDMI1

    powerUp();
    pollAndReport();
    EXPECT_EQ(g_lockwindow->tileState(0), QStringLiteral("1920x1080@60Hz"));

    platform::sim::pullSource(1);
    pollAndReport();
    EXPECT_EQ(g_lockwindow->tileState(0), QStringLiteral("No signal"));

    platform::sim::plugSource(1, SourceTiming::p720_60());
    pollAndReport();
    EXPECT_EQ(g_lockwindow->tileState(0), QStringLiteral("1280x720@60Hz"));
    delete g_lockwindow;
    g_lockwindow = nullptr;
}
