// The other settings page, driven by the keys: its rows write their
// switches into the block (every window's fade or dot-by-dot flag, the
// fade times, the access point), an empty window list is left alone, BACK
// gives an edit up, and a PC's switches show and stay through a confirm
// without a step.
#include "screens/system/othersetup.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QComboBox>
#include <cstring>
#include <functional>

class OtherSetup : public PageTest {
protected:
    void onOtherPage(const std::function<void(othersetup*)>& body)
    {
        ASSERT_TRUE(onPage(PAGE_OTHER_SETTINGS, [&] { body(g_othersetup); }));
    }
    // Edits row `row`: OK, `steps` RIGHT presses, OK.
    static void choose(othersetup* page, int row, int steps)
    {
        focusOn(page, row);
        click(page, Qt::Key_Q);
        for (int i = 0; i < steps; ++i)
            click(page, Qt::Key_R);
        click(page, Qt::Key_Q);
    }
    static QComboBox* list(othersetup* page, const char* name) { return page->findChild<QComboBox*>(name); }
};

TEST_F(OtherSetup, TheSwitchesReachEveryWindowAndTheAccessPoint)
{
    for (IMAGE_PARA& image : block().image)
        image.flags = 0xFE01;
    block().seamless_para[3].para0 = 0x1234;
    onOtherPage([&](othersetup* page) {
        choose(page, othersetup::kSwitchRow, 1);    // Fade
        choose(page, othersetup::kDotByDotRow, 1);  // ON
        for (const IMAGE_PARA& image : block().image)
            EXPECT_EQ(image.flags, 0x0105);                 // fade bit set, high byte exactly 1
        EXPECT_EQ(block().seamless_para[3].para0, 0x123C);  // the low byte only
        EXPECT_EQ(block().seamless & 0xFF, 1);
        EXPECT_EQ(block().dbd_enable & 0xFF, 1);

        choose(page, othersetup::kSwitchRow, 1);  // back to Seamless
        EXPECT_EQ(block().image[7].flags, 0x0101);
        EXPECT_EQ(block().seamless_para[3].para0, 0x123C);

        // Off stops the access point's programs, which the host only notes.
        choose(page, othersetup::kWifiRow, 1);
        EXPECT_EQ(block().wifi_off & 0xFF, 1);
        EXPECT_EQ(journalWith("kill -9 `pidof /usr/bin/hostapd /etc/rtl_hostapd_2G.conf`").size(), 1u);
        EXPECT_EQ(journalWith("kill -9 `pidof /usr/sbin/udhcpd  /etc/udhcpd.conf`").size(), 1u);
        choose(page, othersetup::kWifiRow, 1);
        EXPECT_EQ(block().wifi_off & 0xFF, 0);
    });
}

// A PC switches fade on and the Wi-Fi off while the page is open: the page
// shows both, an OK, OK without a step writes nothing back, and a BACK out
// of an edit shows the PC's entry again; the operator's own change lands.
TEST_F(OtherSetup, APcsSwitchesShowAndAConfirmWithoutAStepKeepsThem)
{
    notifierConnected();
    onOtherPage([&](othersetup* page) {
        {
            QMutexLocker lock(&x518_manage::mutex);
            block().seamless = 1;
            block().image[0].flags |= ram::kFlagSeamless;
            block().seamless_para[0].para0 = 30;
            block().wifi_off = 1;
        }
        KelRamPara::test_signal(SYNC_PARA_CHANGED);
        EXPECT_EQ(list(page, "switch_state")->currentIndex(), othersetup::kFade);
        EXPECT_EQ(list(page, "wifi_state")->currentIndex(), othersetup::kWifiOff);
        const KEL_RAM_PARA before = block();
        choose(page, othersetup::kSwitchRow, 0);
        choose(page, othersetup::kWifiRow, 0);
        EXPECT_EQ(std::memcmp(&before, &block(), sizeof before), 0);
        focusOn(page, othersetup::kSwitchRow);
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);
        click(page, Qt::Key_O);  // the edit given up
        EXPECT_EQ(list(page, "switch_state")->currentIndex(), othersetup::kFade);
        EXPECT_EQ(std::memcmp(&before, &block(), sizeof before), 0);

        choose(page, othersetup::kSwitchRow, 1);  // Seamless, the operator's
        EXPECT_EQ(block().seamless & 0xFF, 0);
        EXPECT_EQ(block().image[0].flags & ram::kFlagSeamless, 0);
        EXPECT_EQ(block().wifi_off & 0xFF, 1);
    });
}

// The operator shows an entry and, before the confirm, a PC writes the same
// switch with what goes with it (its own fade steps, dot-by-dot on one
// window only, the access point off): the confirm of what the block holds
// writes nothing, so the PC's data stays and the access point is left alone.
TEST_F(OtherSetup, AConfirmOfWhatAPcWroteMeanwhileWritesNothing)
{
    notifierConnected();
    block().seamless = 0;
    block().dbd_enable = 0;
    block().wifi_off = 0;
    for (IMAGE_PARA& image : block().image)
        image.flags = 0;
    const struct {
        int row;
        std::function<void(KEL_RAM_PARA&)> pc;
    } rows[] = {
        {othersetup::kSwitchRow,
         [](KEL_RAM_PARA& b) {
             b.seamless = 1;
             b.image[0].flags |= ram::kFlagSeamless;
             b.seamless_para[0] = {20, 20};
         }},
        {othersetup::kDotByDotRow,
         [](KEL_RAM_PARA& b) {
             b.dbd_enable = 1;
             b.image[2].flags |= ram::kFlagDotByDot;
         }},
        {othersetup::kWifiRow, [](KEL_RAM_PARA& b) { b.wifi_off = 1; }},
    };
    onOtherPage([&](othersetup* page) {
        for (const auto& r : rows) {
            SCOPED_TRACE(r.row);
            focusOn(page, r.row);
            click(page, Qt::Key_Q);
            click(page, Qt::Key_R);  // shown, not confirmed
            {
                QMutexLocker lock(&x518_manage::mutex);
                r.pc(block());
            }
            KelRamPara::test_signal(SYNC_PARA_CHANGED);
            x518_manage::apply_flag = 0;
            const KEL_RAM_PARA before = block();
            click(page, Qt::Key_Q);
            EXPECT_EQ(std::memcmp(&before, &block(), sizeof before), 0);
            EXPECT_EQ(x518_manage::apply_flag.load(), 0);
        }
        EXPECT_EQ(block().seamless_para[0].para0, 20);
        EXPECT_EQ(block().image[1].flags, 0);
        EXPECT_TRUE(journalWith("hostapd").empty());
    });
}

TEST_F(OtherSetup, AudioFollowsTheListedWindowAndAnEmptyListIsLeftAlone)
{
    for (IMAGE_PARA& image : block().image)
        image.enable = 0;
    block().image[0].enable = 1;
    block().image[2].enable = 1;
    block().audio_image = 2;
    onOtherPage([&](othersetup* page) {
        QComboBox* windows = list(page, "ImageVolume");
        ASSERT_EQ(windows->count(), 2);
        EXPECT_EQ(windows->currentText(), QStringLiteral("image3"));
        choose(page, othersetup::kWindowRow, 1);  // window 1
        choose(page, othersetup::kAudioRow, 1);   // ON
        EXPECT_EQ(block().audio_image, 0);
        EXPECT_EQ(block().image[0].audio, ram::kAudioOn);
        EXPECT_EQ(block().image[0].volume, 255);

        // BACK while editing shows the entry from before and writes nothing.
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);
        click(page, Qt::Key_O);
        EXPECT_FALSE(page->editing());
        EXPECT_EQ(list(page, "volume_state")->currentIndex(), othersetup::kOn);
        EXPECT_EQ(block().image[0].audio, ram::kAudioOn);
    });

    // No window shown: the window list is empty, OK does not edit it and
    // the audio row changes nothing.
    block().image[0].enable = 0;
    block().image[2].enable = 0;
    block().audio_image = 9;  // no window: becomes 0
    onOtherPage([&](othersetup* page) {
        EXPECT_EQ(block().audio_image, 0);
        EXPECT_EQ(list(page, "ImageVolume")->count(), 0);
        click(page, Qt::Key_Q);
        EXPECT_FALSE(page->editing());
        const KEL_RAM_PARA before = block();
        choose(page, othersetup::kAudioRow, 1);
        EXPECT_EQ(std::memcmp(&before, &block(), sizeof before), 0);
    });
}

// The boxes leave their lists to be built until shown, and follow a change
// of font all the same: a layout that asks for a box's size gets the size
// of its entries in the new font.
TEST_F(OtherSetup, ABoxsSizeFollowsItsFontBeforeItsListIsBuilt)
{
    othersetup page(nullptr);
    QComboBox* box = list(&page, "switch_state");
    const QSize before = box->sizeHint();
    QFont larger = box->font();
    larger.setPixelSize(box->fontInfo().pixelSize() * 2);
    box->setFont(larger);
    EXPECT_GT(box->sizeHint().height(), before.height());
    EXPECT_GT(box->sizeHint().width(), before.width());
}
