// The user-mode page, driven by the front-panel keys: the slot selector and
// the button row, recalling and deleting a mode, MODE and the panel lock,
// where BACK goes, the preview of a slot, and a mode saved on the main
// window's bar and recalled here.
#include "app/lockwindow.h"
#include "screens/setup/custommode.h"
#include "screens/setup/kelcontrol.h"
#include "platform/sim/sim.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <cstring>

class UserModePage : public PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        for (USER_MODE_SLOT& s : store->ram_user_mode)
            std::memset(s.marker, ram::kSlotEmpty, sizeof s.marker);
        g_mode_shortcut_key = 0;
        main->show();
    }
    // Slot i saved with the live block as it is now, `fill` over its data
    // when not 0.
    void saveSlot(int i, u8 fill = 0)
    {
        USER_MODE_SLOT& s = store->ram_user_mode[i];
        std::memset(s.marker, ram::kSlotSaved, sizeof s.marker);
        std::memcpy(s.data, reinterpret_cast<u8*>(&block()) + ram::kUserModeStart, sizeof s.data);
        if (fill)
            std::memset(s.data, fill, sizeof s.data);
    }
    // The slot's data as a block.
    KEL_RAM_PARA& slotBlock(int i, KEL_RAM_PARA& b)
    {
        std::memcpy(reinterpret_cast<u8*>(&b) + ram::kUserModeStart, store->ram_user_mode[i].data, ram::kUserModeSize);
        return b;
    }
    void storeSlot(int i, const KEL_RAM_PARA& b)
    {
        std::memcpy(store->ram_user_mode[i].data, reinterpret_cast<const u8*>(&b) + ram::kUserModeStart,
                    ram::kUserModeSize);
    }
    // Opened by the main window's user-mode button.
    CustomMode* open()
    {
        main->on_custommode_clicked();
        EXPECT_EQ(g_page_focus.load(), PAGE_USER_MODES);
        return g_custommode;
    }
    static QPushButton* button(CustomMode* page, const char* name) { return page->findChild<QPushButton*>(name); }
    static bool highlighted(QWidget* w) { return w->styleSheet().contains(QStringLiteral("rgb(255, 171, 84)")); }
};

TEST_F(UserModePage, TheSelectorStepsOverAllSlotsAndTheButtonRowOverWhatTheSlotOffers)
{
    saveSlot(4);
    block().osd_enable = 1;
    saveSlot(5);
    block().current_mode = 5;
    CustomMode* page = open();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->selectedSlot(), 4);
    EXPECT_TRUE(page->findChild<QLabel*>("label_using")->isVisible());
    EXPECT_EQ(page->slotSelector()->comboBox()->currentText(), QStringLiteral("MODE 5"));

    // The selector wraps at both ends; an empty slot offers no buttons.
    const int steps[][2] = {{Qt::Key_S, 3}, {Qt::Key_S, 2},  {Qt::Key_S, 1},
                            {Qt::Key_S, 0}, {Qt::Key_S, 15}, {Qt::Key_R, 0}};
    for (const auto& s : steps) {
        click(page, s[0]);
        EXPECT_EQ(page->selectedSlot(), s[1]);
        EXPECT_EQ(g_mode_select, s[1]);
        EXPECT_EQ(page->slotSelector()->comboBox()->currentIndex(), s[1]);
    }
    click(page, Qt::Key_Q);
    EXPECT_FALSE(page->buttonRowActive());
    EXPECT_TRUE(button(page, "Button_use")->isHidden());
    EXPECT_FALSE(page->findChild<QLabel*>("label_blank")->isHidden());

    // Invoke and Delete, and More while the mode carries an overlay.
    const struct {
        int slot;
        std::vector<int> ring;  // RIGHT after RIGHT from Invoke
    } rows[] = {{4, {0, 1, 0}}, {5, {0, 1, 2, 0}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.slot);
        while (page->selectedSlot() != r.slot)
            click(page, Qt::Key_R);
        click(page, Qt::Key_Q);
        ASSERT_TRUE(page->buttonRowActive());
        EXPECT_TRUE(page->slotSelector()->modifyLook());
        for (size_t i = 0; i < r.ring.size(); ++i) {
            EXPECT_EQ(page->highlightedButton(), r.ring[i]);
            click(page, Qt::Key_R);
        }
        click(page, Qt::Key_S);
        click(page, Qt::Key_S);
        EXPECT_EQ(page->highlightedButton(), r.ring[r.ring.size() - 2]);
        EXPECT_TRUE(highlighted(button(page, r.ring.size() == 4 ? "Button_more" : "Button_delete")));
        // BACK leaves the row, not the page.
        click(page, Qt::Key_O);
        EXPECT_FALSE(page->buttonRowActive());
        EXPECT_FALSE(page->slotSelector()->modifyLook());
        EXPECT_FALSE(highlighted(button(page, "Button_delete")));
        EXPECT_EQ(g_custommode, page);
    }
}

TEST_F(UserModePage, InvokeLoadsTheSlotIntoTheLiveBlockForTheChipAndDeleteEmptiesIt)
{
    saveSlot(2, 0x5A);
    block().mode_save_request = 9;
    QSignalSpy codes(store, &KelRamPara::sig_update_para);
    CustomMode* page = open();
    while (page->selectedSlot() != 2)
        click(page, Qt::Key_R);
    click(page, Qt::Key_Q);
    click(page, Qt::Key_Q);  // Invoke
    EXPECT_FALSE(page->buttonRowActive());
    EXPECT_EQ(std::memcmp(reinterpret_cast<u8*>(&block()) + ram::kUserModeStart, store->ram_user_mode[2].data,
                          ram::kUserModeSize),
              0);
    EXPECT_EQ(block().current_mode, 3);
    EXPECT_EQ(block().mode_save_request, 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    EXPECT_EQ(codes.count(), 0);
    // The chip applied it: the badge shows the mode in use.
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    EXPECT_TRUE(page->findChild<QLabel*>("label_using")->isVisible());

    // Its files on the box, the overlay's included.
    KEL_RAM_PARA b{};
    slotBlock(2, b).osd_enable = 1;
    storeSlot(2, b);
    ASSERT_EQ(store->mode_file_write(2, 2), 1);
    writeBoxFile("/data/modes/MO03.json", "{}");
    click(page, Qt::Key_Q);
    click(page, Qt::Key_R);
    click(page, Qt::Key_Q);  // Delete
    EXPECT_EQ(store->KelUserModeSaved(2), 0);
    EXPECT_EQ(readBoxFile("/data/modes/custom_mode3"), "");
    EXPECT_EQ(readBoxFile("/data/modes/MO03.json"), "");
    EXPECT_EQ(block().current_mode, 3);
    EXPECT_TRUE(button(page, "Button_use")->isHidden());
    EXPECT_TRUE(button(page, "Button_delete")->isHidden());
    EXPECT_FALSE(page->findChild<QLabel*>("label_blank")->isHidden());
    EXPECT_EQ(page->findChild<QLabel*>("label_name")->text(), QStringLiteral("Name:Mode3"));
    EXPECT_TRUE(page->previewTexts().isEmpty());
}

TEST_F(UserModePage, ModeDoesNothingTheLockHoldsNoKeyAndBackGoesWhereThePageCameFrom)
{
    // Opened by MODE on the main window: BACK goes to the home page.
    click(main, Qt::Key_M);
    CustomMode* page = g_custommode;
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(g_page_focus.load(), PAGE_USER_MODES);
    click(page, Qt::Key_M);
    click(page, Qt::Key_Stop);
    EXPECT_EQ(g_custommode, page);
    block().panel_lock = 1;
    click(page, Qt::Key_R);
    EXPECT_EQ(page->selectedSlot(), 1);
    click(page, Qt::Key_O);
    EXPECT_EQ(g_custommode, nullptr);
    EXPECT_EQ(g_mode_shortcut_key, 0);
    ASSERT_NE(g_lockwindow, nullptr);
    EXPECT_EQ(g_page_focus.load(), PAGE_HOME);
    EXPECT_TRUE(g_lockwindow->isVisible());
    delete g_lockwindow;

    // Opened by the button: BACK goes to the main window.
    page = open();
    click(page, Qt::Key_PowerOff);
    EXPECT_EQ(g_custommode, nullptr);
    EXPECT_EQ(g_page_focus.load(), PAGE_MAIN_MENU);
    EXPECT_EQ(g_lockwindow, nullptr);
}

// A language a PC writes while the page is open: the slot selector and the
// slot's name line speak it at once.
TEST_F(UserModePage, ALanguageChangeRelabelsTheSelectorAndTheNameLine)
{
    CustomMode* page = open();
    ASSERT_NE(page, nullptr);
    block().language = pages::RU;
    page->syncUpdate();
    EXPECT_EQ(page->slotSelector()->comboBox()->itemText(0), QStringLiteral("Слот 1"));
    EXPECT_TRUE(page->findChild<QLabel*>("label_name")->text().startsWith(QStringLiteral("Название:")));
}

TEST_F(UserModePage, ThePreviewShowsTheSlotNotTheLiveBlock)
{
    KEL_RAM_PARA b = block();
    b.led_width = 3840;
    b.led_height = 1080;
    b.brightness = 80;
    b.contrast = 45;
    b.audio_image = 9;  // out of range: window 1's audio
    b.image[0] = IMAGE_PARA{1, 0, 0, 0, ram::kSourceHdmi1, 0, 0, 1920, 1080, 0, 0, ram::kAudioOn, 0, 0};
    b.image[1] = IMAGE_PARA{0, 0, 0, 0, ram::kSourceHdmi1, 1920, 0, 1920, 1080, 0, 0, 0, 0, 0};
    // Window 3 on crop record 4 of the slot's own table: HDMI2's crop 2.
    b.crop_list[4] = CROP_ITEM{static_cast<u16>(ram::kCropInUse | 1 << ram::kCropNumberShift | 2), 0, 0, 960, 540};
    b.image[2] = IMAGE_PARA{1, 0, 0, 0, static_cast<u16>(ram::kSourceIsCrop | 4), 0, 1080, 960, 540, 0, 0, 0, 0, 0};
    b.image[3] = IMAGE_PARA{1, 0, 0, 0, ram::kSourceDvi, 0, 0, 1920, 1080, 0, 0, 0, 0, 0};
    saveSlot(6);
    storeSlot(6, b);
    block().current_mode = 7;
    CustomMode* page = open();
    EXPECT_EQ(page->findChild<QLabel*>("label_LED")->text(), QStringLiteral("LED size:3840x1080"));
    EXPECT_EQ(page->findChild<QLabel*>("label_brightness")->text(), QStringLiteral("Bri:80 CTRST:45 Volume:ON"));
    EXPECT_EQ(page->findChild<QLabel*>("label_name")->text(), QStringLiteral("Name:Mode7"));
    const QStringList expected = {
        "1", "HDMI1 ON",       "[0,0]1920x1080",  "2", "HDMI1 OFF", "[1920,0]1920x1080",
        "3", "HDMI2_Crop2 ON", "[0,1080]960x540", "4", "DVI ON",    "[0,0]1920x1080",
    };
    EXPECT_EQ(page->previewTexts(), expected);

    // An alias names the mode; Chinese words the lines.
    writeBoxFile("/data/configs/alias.json",
                 R"({"namelist": {"usermode": [{"id": 6, "valid": "on", "name": "Concert"}]}})");
    g_language = pages::ZH;
    click(page, Qt::Key_R);
    click(page, Qt::Key_S);
    EXPECT_EQ(page->findChild<QLabel*>("label_name")->text(), QStringLiteral("名称:Concert"));
    EXPECT_EQ(page->previewTexts()[1], QStringLiteral("HDMI1 开启"));
    EXPECT_EQ(page->previewTexts()[4], QStringLiteral("HDMI1 关闭"));

    // More on a mode with an overlay: three lines of its text in its
    // colours, and its settings; away from More, the windows again.
    g_language = pages::EN;
    b.osd_enable = 1;
    storeSlot(6, b);
    const char* const kOverlay = "/data/modes/MO07.json";
    writeBoxFile(kOverlay, R"({"name":"t","osdcount":1,"oactcount":1,"menu":[{"type":0,"status":"on",)"
                           R"("pos":{"x":10,"y":20,"w":300,"h":64},"act":{"effect":3,"speed":5,"staytime":0},)"
                           R"("backpara":{"enable":"on","color":"0x102030"},"fontpara":{"startx":4,"starty":6,)"
                           R"("fontw":32,"fonth":32,"wordspace":2,"verticalspace":3,"color":"FF0000"},)"
                           R"("texts":["one\ntwo\nthree\nfour\nfive"]}]})");
    click(page, Qt::Key_R);
    click(page, Qt::Key_S);
    click(page, Qt::Key_Q);
    click(page, Qt::Key_S);  // Invoke, Delete, More: LEFT from Invoke
    ASSERT_EQ(page->highlightedButton(), CustomMode::kMore);
    const QStringList overlay = {"one\ntwo\nthree", "osd [x:10,y:20,w:300,h:64] font size:32*32\n"
                                                    "space [h:2,v:3] char[x:4,y:6] speed:5,effect:move down"};
    EXPECT_EQ(page->previewTexts(), overlay);
    EXPECT_EQ(page->findChild<QWidget*>("preview")->findChild<QLabel*>()->styleSheet(),
              QStringLiteral("background-color:#102030;color:#FF0000;"));
    click(page, Qt::Key_R);
    EXPECT_EQ(page->previewTexts().size(), expected.size());
    // A file that is not JSON goes; the page says there is none.
    writeBoxFile(kOverlay, "{not json");
    click(page, Qt::Key_S);
    EXPECT_EQ(page->previewTexts().value(1), QStringLiteral("No overlay file"));
    EXPECT_EQ(readBoxFile(kOverlay), "");
}

TEST_F(UserModePage, AModeSavedOnTheMainWindowComesBackHereWithTheKeys)
{
    block().brightness = 66;
    block().image[0].source = ram::kSourceHdmi2;
    const KEL_RAM_PARA saved = block();
    // The tool bar, its save button, slot 3 on the bar, OK.
    while (main->selected() != 5)
        click(main, Qt::Key_R);
    click(main, Qt::Key_Q);
    while (main->selected() != 3)
        click(main, Qt::Key_R);
    click(main, Qt::Key_Q);
    while (main->modeFocus() != 2)
        click(main, Qt::Key_R);
    QTimer::singleShot(0, [this] { tick(TIP::kShowTicks); });
    click(main, Qt::Key_Q);
    flushDeletes();
    // The chip manager's pass and its change code carry the save out.
    x518_manage::apply_flag = 0;
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    ASSERT_EQ(store->KelUserModeSaved(2), 1);
    EXPECT_EQ(readBoxFile("/data/modes/custom_mode3").size(), static_cast<size_t>(ram::kSlotFileSize));
    click(main, Qt::Key_O);  // the bar closes

    // The block changes; MODE, OK, OK brings mode 3 back.
    block().brightness = 20;
    block().image[0].source = ram::kSourceDvi;
    block().current_mode = 0;
    click(main, Qt::Key_Stop);
    ASSERT_NE(g_custommode, nullptr);
    while (g_custommode->selectedSlot() != 2)
        click(g_custommode, Qt::Key_F5);
    click(g_custommode, Qt::Key_F6);
    click(g_custommode, Qt::Key_F6);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const u8*>(&saved) + ram::kUserModeStart,
                          reinterpret_cast<u8*>(&block()) + ram::kUserModeStart, ram::kUserModeSize),
              0);
    EXPECT_EQ(block().current_mode, 3);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
}

namespace {

QStringList g_debugLines;

void keepDebugLine(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg)
        g_debugLines << text;
}

}  // namespace

TEST_F(UserModePage, KeyDebugLinesFollowTheDebugSwitch)
{
    CustomMode* page = open();
    g_debugLines.clear();
    const QtMessageHandler before = qInstallMessageHandler(keepDebugLine);
    click(page, Qt::Key_R);
    g_debugSwitch = 0;
    click(page, Qt::Key_R);
    g_debugSwitch = kDebugOn;
    qInstallMessageHandler(before);
    EXPECT_EQ(g_debugLines.join(QLatin1Char('|')).toStdString(),
              "this is right-code [CustomMode][Release] ui_select=0x0");
    EXPECT_EQ(page->selectedSlot(), 2);  // both keys acted
    click(page, Qt::Key_O);
}

// A mode whose save waits for the disk is not saved yet: the page shows it
// so (what the slot held before is neither previewed nor recalled) until
// the file is written, and then draws the mode saved by itself.
TEST_F(UserModePage, AModeWhoseSaveWaitsForTheDiskShowsNotSavedUntilItsFileIsWritten)
{
    saveSlot(4, 0x11);
    block().current_mode = 5;
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    store->ram_para_shadow.mode_save_request = 0;  // a request the shadow holds counts as carried out
    block().mode_save_request = 5;
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    ASSERT_TRUE(store->saveWaits(4));
    delete g_custommode;  // a page an earlier case left open would be shown again
    CustomMode* page = open();
    ASSERT_NE(page, nullptr);
    QLabel* blank = page->findChild<QLabel*>("label_blank");
    EXPECT_TRUE(blank->isVisible());
    EXPECT_EQ(blank->text(), QStringLiteral("Usermode not saved yet"));
    EXPECT_FALSE(button(page, "Button_use")->isVisible());
    click(page, Qt::Key_Q);
    EXPECT_FALSE(page->buttonRowActive());

    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    EXPECT_TRUE(waitUntil([&] { return !store->saveWaits(4); }));
    EXPECT_TRUE(waitUntil([&] { return !blank->isVisible(); }));
    EXPECT_TRUE(button(page, "Button_use")->isVisible());
    EXPECT_FALSE(page->previewTexts().isEmpty());
    page->slot_Button_back_clicked();
}

// A tap on the slot selector opens its list in the selector's font, before
// and after the selector changed its look (the list is built late).
TEST_F(UserModePage, ATappedSelectorListsTheSlotsInItsFont)
{
    saveSlot(0);
    CustomMode* page = open();
    ASSERT_NE(page, nullptr);
    QComboBox* combo = page->slotSelector()->comboBox();
    for (bool modify : {false, true}) {
        if (modify)
            click(page, Qt::Key_Q);
        ASSERT_EQ(page->slotSelector()->modifyLook(), modify);
        combo->showPopup();
        EXPECT_EQ(combo->view()->window()->font(), combo->font());
        EXPECT_EQ(combo->font().pointSize(), 9);
        combo->hidePopup();
    }
}
