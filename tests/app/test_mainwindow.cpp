// The main window: focus and keys, the tool bar, its block writes, its
// pictures by language, and the page-language rules every page follows.
#include "app/lockwindow.h"
#include "screens/menus/option.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QDirIterator>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>

namespace {

const char* const kMenuOrder[] = {"machinestate", "inputchoose", "custommode", "option", "Button_lock", "tools"};

}  // namespace

class MainMenu : public PageTest {
protected:
    QWidget* item(const char* name) { return main->findChild<QWidget*>(name); }
    // Exactly one widget carries the orange border, and it is `name`.
    void expectOnlyHighlighted(const char* name)
    {
        int count = 0;
        for (QPushButton* b : main->findChildren<QPushButton*>())
            count += orangeFramed(b);
        EXPECT_EQ(count, 1);
        EXPECT_TRUE(orangeFramed(item(name))) << name;
        EXPECT_EQ(main->focusedWidget(), item(name));
    }
};

TEST_F(MainMenu, StartsOnDeviceInformationWithToolBarHiddenAndNoButtonTakesQtFocus)
{
    EXPECT_EQ(main->selected(), 0);
    expectOnlyHighlighted("machinestate");
    EXPECT_FALSE(main->toolBarShown());
    for (QPushButton* b : main->findChildren<QPushButton*>())
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus) << b->objectName().toStdString();
}

TEST_F(MainMenu, RightAndLeftWalkTheSixItemsAndWrapActingAtReleaseOnly)
{
    press(main, Qt::Key_R);
    press(main, Qt::Key_F6);
    EXPECT_EQ(main->selected(), 0);
    release(main, Qt::Key_R);
    EXPECT_EQ(main->selected(), 1);
    click(main, Qt::Key_S);
    for (int i = 1; i <= 6; ++i) {
        click(main, Qt::Key_R);
        expectOnlyHighlighted(kMenuOrder[i % 6]);
    }
    // LEFT from machinestate goes to tools, F4 is LEFT too
    click(main, Qt::Key_F4);
    expectOnlyHighlighted("tools");
    click(main, Qt::Key_S);
    expectOnlyHighlighted("Button_lock");
    // the small buttons use the tool style, the large ones the menu style
    EXPECT_TRUE(item("Button_lock")->styleSheet().contains("border:1px solid"));
    click(main, Qt::Key_F5);
    click(main, Qt::Key_F5);
    EXPECT_TRUE(item("machinestate")->styleSheet().contains("border:2px solid"));
}

TEST_F(MainMenu, OkOnToolsOpensTheToolBarAndBackClosesItOntoTools)
{
    for (int i = 0; i < 5; ++i)
        click(main, Qt::Key_R);
    click(main, Qt::Key_Q);  // OK on tools
    ASSERT_TRUE(main->toolBarShown());
    expectOnlyHighlighted("toolButton1");
    click(main, Qt::Key_S);  // LEFT wraps 0 -> 3
    expectOnlyHighlighted("toolButton4");
    click(main, Qt::Key_R);
    expectOnlyHighlighted("toolButton1");
    click(main, Qt::Key_R);
    expectOnlyHighlighted("toolButton2");
    click(main, Qt::Key_PowerOff);  // BACK: bar hidden, focus on tools
    EXPECT_FALSE(main->toolBarShown());
    EXPECT_EQ(main->selected(), 5);
    expectOnlyHighlighted("tools");
    EXPECT_EQ(g_lockwindow, nullptr);
    // BACK on the menu opens the home page.
    click(main, Qt::Key_O);
    ASSERT_NE(g_lockwindow, nullptr);
    EXPECT_TRUE(g_lockwindow->isVisible());
    EXPECT_EQ(g_page_focus.load(), PAGE_HOME);
    delete g_lockwindow;
    EXPECT_EQ(g_lockwindow, nullptr);
}

TEST_F(MainMenu, ToolsButtonTogglesTheBarAndLeavesTheFocusIndex)
{
    click(main, Qt::Key_R);  // inputchoose
    main->on_tools_clicked();
    EXPECT_TRUE(main->toolBarShown());
    EXPECT_EQ(main->selected(), 0);
    EXPECT_FALSE(orangeFramed(item("inputchoose")));
    click(main, Qt::Key_R);
    main->on_tools_clicked();
    EXPECT_FALSE(main->toolBarShown());
    EXPECT_EQ(main->selected(), 1);
}

TEST_F(MainMenu, LedButtonTogglesTheOutputWithAnApply)
{
    main->on_toolButton1_clicked();
    EXPECT_EQ(block().led_off, 1);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    x518_manage::apply_flag = 0;
    // OK on tool 0 does the same
    main->on_tools_clicked();
    click(main, Qt::Key_F6);
    EXPECT_EQ(block().led_off, 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    // A user-mode commit from the protocol waits: neither button lowers it.
    x518_manage::apply_flag = 2;
    main->on_toolButton1_clicked();
    main->on_toolButton2_clicked();
    EXPECT_EQ(x518_manage::apply_flag.load(), 2);
}

TEST_F(MainMenu, MuteActsOnWindowZeroForAnAudioWindowAboveFiveOrOneThatIsOff)
{
    block().audio_image = 3;
    block().image[3].enable = 0;
    main->on_toolButton2_clicked();
    EXPECT_EQ(block().audio_image, 0);
    EXPECT_EQ(block().image[3].audio, 0);
    EXPECT_EQ(block().image[0].audio, ram::kAudioOn);
    block().audio_image = 7;
    main->on_toolButton2_clicked();
    EXPECT_EQ(block().audio_image, 0);
    EXPECT_EQ(block().image[0].audio, 0);
    EXPECT_EQ(block().image[0].volume, 0);
    x518_manage::apply_flag = 0;
    main->on_toolButton2_clicked();
    EXPECT_EQ(block().image[0].audio, ram::kAudioOn);
    EXPECT_EQ(block().image[0].volume, 255);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
}

TEST_F(MainMenu, LockButtonTwiceRestoresTheBlockWithoutWriteBackOrApply)
{
    const std::string fileBefore = readBoxFile(KelRamPara::kParaFile);
    main->on_Button_lock_clicked();
    EXPECT_EQ(block().panel_lock, 1);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
    main->on_Button_lock_clicked();
    EXPECT_EQ(block().panel_lock, 0);
    EXPECT_EQ(readBoxFile(KelRamPara::kParaFile), fileBefore);
    // A refresh shows the lock from the block: one touch then unlocks.
    block().panel_lock = 1;
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    main->on_Button_lock_clicked();
    EXPECT_EQ(block().panel_lock, 0);
}

// The lock icon shows what the block holds (any value but 0 locks), also
// after a write the change notifier saw while another page had focus, and
// the button asks for the other of what the icon showed: a PC's lock not
// yet told, which the touch asks for too, is left, and the icon shows it.
TEST_F(MainMenu, LockIconShowsTheBlockAndTheButtonTogglesTheBlock)
{
    auto showsLock = [this](bool locked) {
        auto* b = static_cast<QPushButton*>(item("Button_lock"));
        const QIcon shown(pages::plainPicture(locked ? "lock.png" : "unlock.png"));
        return b->icon().pixmap(b->iconSize()).toImage() == shown.pixmap(b->iconSize()).toImage();
    };
    block().panel_lock = 2;
    store->ram_para_shadow = block();
    SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    EXPECT_TRUE(showsLock(true));
    main->on_Button_lock_clicked();
    EXPECT_EQ(block().panel_lock, 0);
    EXPECT_TRUE(showsLock(false));
    block().panel_lock = 2;  // a PC's write, not yet told
    main->on_Button_lock_clicked();
    EXPECT_EQ(block().panel_lock, 2);
    EXPECT_TRUE(showsLock(true));
}

TEST_F(MainMenu, ModeKeyIsRefusedWhileThePanelIsLocked)
{
    block().panel_lock = 1;
    click(main, Qt::Key_M);
    click(main, Qt::Key_Stop);
    EXPECT_EQ(g_mode_shortcut_key, 0);
    block().panel_lock = 0;
    click(main, Qt::Key_M);
    EXPECT_EQ(g_mode_shortcut_key, 1);
}

// ---------------------------------------------------------------- languages and pictures

TEST(PageLanguage, EnabledLanguagesShowThemselvesOthersEnglish)
{
    g_lcd_lang_valid = 0x1F;
    for (u8 l = 0; l < pages::kLanguages; ++l) {
        g_language = l;
        EXPECT_EQ(pages::textLanguage(), l);
    }
    g_language = 9;
    EXPECT_EQ(pages::textLanguage(), pages::EN);
    // English is used for language 1 whether or not its bit is set
    g_lcd_lang_valid = 0x1D;
    g_language = pages::EN;
    EXPECT_EQ(pages::picture("option.png"), QStringLiteral(":/png/en_option.png"));
    g_language = pages::RU;
    g_lcd_lang_valid = 0x1B;
    EXPECT_EQ(pages::textLanguage(), pages::EN);
    EXPECT_EQ(pages::pick({"zh", "en", "ru", "vn", "tw"}), QStringLiteral("en"));
    g_lcd_lang_valid = 0x1F;
    EXPECT_EQ(pages::picture("option.png"), QStringLiteral(":/png/ru_option.png"));
    g_language = pages::TW;
    EXPECT_EQ(pages::picture("option.png"), QStringLiteral(":/png/tn_option.png"));
    g_language = pages::ZH;
    EXPECT_EQ(pages::picture("option.png"), QStringLiteral(":/png/option.png"));
}

// A page opened again, and the main window labelled again as it closes,
// show the very pictures they showed before, not copies decoded anew: Qt's
// pixmap cache keeps what it drew for a while, and a copy made at every
// opening filled it with the same pictures over and over.
TEST_F(MainMenu, PicturesAreDecodedOnceAndSharedByEveryOpening)
{
    auto shown = [](const QPushButton* b) {
        const QIcon icon = b->icon();
        return icon.pixmap(icon.availableSizes().value(0)).cacheKey();
    };
    const auto* menuTile = static_cast<QPushButton*>(item("option"));
    const qint64 tileBefore = shown(menuTile);
    std::vector<qint64> pageTiles;
    for (int opening = 0; opening < 2; ++opening) {
        ASSERT_TRUE(insidePage(
            [this] { main->on_option_clicked(); },
            [&] { pageTiles.push_back(shown(g_option->findChild<QPushButton*>(QStringLiteral("output_set")))); }));
        flushDeletes();
    }
    EXPECT_EQ(pageTiles[0], pageTiles[1]);
    EXPECT_EQ(shown(menuTile), tileBefore);
}

// Every picture name in the program's sources is drawn by the generator and
// compiled in; a name loaded through pages::picture() under every language
// prefix.
TEST(PagePictures, EveryPictureTheSourcesNameIsCompiledIn)
{
    pages::initPictures();
    const QRegularExpression name(QStringLiteral("\"(?::/png/)?([A-Za-z0-9_]+\\.png)\""));
    const char* const prefixes[] = {"", "en_", "ru_", "vn_", "tn_"};
    int names = 0;
    for (const char* folder : {"app", "screens", "tools"}) {
        QDirIterator it(QStringLiteral(KEL_SOURCE_DIR "/%1").arg(folder), {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
                const bool prefixed = line.contains(QStringLiteral("pages::picture("));
                for (auto m = name.globalMatch(line); m.hasNext(); ++names) {
                    const QString png = m.next().captured(1);
                    for (int v = 0; v < (prefixed ? pages::kLanguages : 1); ++v)
                        EXPECT_TRUE(QFile::exists(QStringLiteral(":/png/%1%2").arg(prefixes[v], png)))
                            << f.fileName().toStdString() << ": " << prefixes[v] << png.toStdString();
                }
            }
        }
    }
    EXPECT_GT(names, 40);
}
