// The settings menu and its sub-menus on the page skeleton, opened from the
// main window as the operator opens them: one table of every menu page,
// walked with the keys and by touch, labelled with the English fallback,
// closed with BACK and with MODE; the advanced menu's guarded entries; the
// communication menu's tip.
#include "app/numberkeyboard.h"
#include "fpga/fpga_manage.h"
#include "screens/menus/advancedoption.h"
#include "screens/menus/imagequality.h"
#include "screens/menus/linkoption.h"
#include "screens/menus/option.h"
#include "screens/menus/outputset.h"
#include "screens/page_directory.h"
#include "screens/setup/custommode.h"
#include "screens/system/factoryage.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr int kNothing = -1;   // an entry that opens nothing as things stand
constexpr int kAsksCode = -2;  // the aging entry: the number keyboard first

struct Menu {
    const char* name;
    PAGE_FOCUS number;
    int optionEntry;         // the settings menu's entry that opens it; -1: the settings menu
    std::vector<int> opens;  // the page each entry opens, in ring order
    std::function<Page*()> pointer;
    const char* englishTitle;
};

const Menu kMenus[] = {
    {"Option", PAGE_OPTIONS, -1, {6, 7, 9, 10, 11, 16, 24, 12}, [] { return g_option; }, "Setting"},
    {"OutputSet", PAGE_OUTPUT_SETTINGS, 0, {13, 14}, [] { return g_outputset; }, "Output Setting"},
    {"LinkOption", PAGE_COMMUNICATION, 3, {21, 22, 26}, [] { return g_linkoption; }, "Communication"},
    {"ImageQuality", PAGE_PICTURE_QUALITY_MENU, 4, {19, 20}, [] { return g_imagequality; }, "Image quality"},
    // No recovery file stored: self-recovery opens nothing.
    {"AdvancedOption",
     PAGE_ADVANCED_OPTIONS,
     7,
     {15, 17, kNothing, 18, kAsksCode},
     [] { return g_advancedoption; },
     "Advanced Settings"},
};

// A page three levels deep, over a sub-menu.
class LeafPage : public Page {
public:
    explicit LeafPage(QWidget* parent = nullptr) : Page(PAGE_QUALITY, parent) {}
    void language_changed() override {}
};
LeafPage* g_leaf = nullptr;

QString title(const Page* page)
{
    return page->findChild<QLabel*>(QStringLiteral("label_title"))->text();
}

}  // namespace

class Menus : public PageTest {
protected:
    // Runs `body` with menu `m` on top, opened by the operator's keys from
    // the main window (through the settings menu for the others).
    void withMenuOnTop(const Menu& m, const std::function<void()>& body)
    {
        const bool opened = insidePage([this] { main->on_option_clicked(); },
                                       [&] {
                                           if (m.optionEntry < 0)
                                               return body();
                                           ASSERT_TRUE(insidePage([&] { focusAndOk(g_option, m.optionEntry); }, body));
                                       });
        ASSERT_TRUE(opened);
    }
    static void focusAndOk(Page* page, int entry)
    {
        focusOn(page, entry);
        click(page, Qt::Key_Q);
    }
    // The page `action` opens, seen from inside its loop and closed;
    // kNothing for none.
    int pageOpenedBy(const std::function<void()>& action)
    {
        int seen = kNothing;
        insidePage(action, [&seen] { seen = g_page_focus.load(); });
        return seen;
    }
};

TEST_F(Menus, EveryMenuFollowsTheSkeleton)
{
    for (const Menu& m : kMenus) {
        SCOPED_TRACE(m.name);
        g_mode_shortcut_key = 0;
        const PAGE_FOCUS parent = m.optionEntry < 0 ? PAGE_MAIN_MENU : PAGE_OPTIONS;
        withMenuOnTop(m, [&] {
            Page* page = Page::withFocus();
            ASSERT_TRUE(page && page == m.pointer());
            ASSERT_EQ(page->pageNumber(), m.number);
            const int n = page->entryCount();
            ASSERT_EQ(n, static_cast<int>(m.opens.size()));

            // The ring wraps both ways and the orange frame follows the focus.
            EXPECT_EQ(page->selected(), 0);
            QWidget* first = page->focusedWidget();
            EXPECT_TRUE(orangeFramed(first));
            click(page, Qt::Key_F4);
            EXPECT_EQ(page->selected(), n - 1);
            EXPECT_TRUE(orangeFramed(page->focusedWidget()));
            EXPECT_FALSE(orangeFramed(first));
            click(page, Qt::Key_R);
            EXPECT_EQ(page->selected(), 0);
            for (int i = 1; i < n; ++i)
                click(page, Qt::Key_F5);
            EXPECT_EQ(page->selected(), n - 1);
            // Presses do nothing, Escape included.
            press(page, Qt::Key_S);
            press(page, Qt::Key_Escape);
            EXPECT_EQ(page->selected(), n - 1);
            EXPECT_EQ(Page::withFocus(), page);
            release(page, Qt::Key_S);
            EXPECT_EQ(page->selected(), n - 2);

            // Russian switched off: English.
            g_language = pages::RU;
            g_lcd_lang_valid = 0x1F & ~(1u << pages::RU);
            page->language_changed();
            EXPECT_EQ(title(page), QString::fromUtf8(m.englishTitle));
            g_lcd_lang_valid = 0x1F;
            g_language = pages::EN;

            // MODE under the panel lock changes nothing.
            block().panel_lock = 1;
            click(page, Qt::Key_M);
            click(page, Qt::Key_Stop);
            EXPECT_EQ(Page::withFocus(), page);
            EXPECT_EQ(g_mode_shortcut_key, 0);
            block().panel_lock = 0;

            // BACK: the pointer goes, the parent has the focus with its
            // highlight where it was.
            click(page, Qt::Key_PowerOff);
            EXPECT_EQ(m.pointer(), nullptr);
            EXPECT_EQ(g_page_focus.load(), parent);
            if (m.optionEntry >= 0) {
                EXPECT_EQ(g_option->selected(), m.optionEntry);
            }
        });

        // MODE on a page opened over this one closes the whole stack.
        withMenuOnTop(m, [&] {
            const bool opened = insidePage([] { Page::openOnTop(g_leaf); }, [] { click(g_leaf, Qt::Key_M); });
            EXPECT_TRUE(opened);
            EXPECT_EQ(g_leaf, nullptr);
            EXPECT_EQ(m.pointer(), nullptr);
            EXPECT_EQ(g_option, nullptr);
            EXPECT_EQ(Page::withFocus(), nullptr);
            EXPECT_EQ(g_mode_shortcut_key, 1);
            // The user-mode page is shown over the main window.
            EXPECT_EQ(g_page_focus.load(), PAGE_USER_MODES);
            ASSERT_NE(g_custommode, nullptr);
            EXPECT_TRUE(g_custommode->isVisible());
            delete g_custommode;
            g_page_focus = PAGE_MAIN_MENU;
        });
        flushDeletes();
    }
}

TEST_F(Menus, EveryEntryOpensItsPageByOkAndByTouchWithoutMovingTheHighlight)
{
    for (const Menu& m : kMenus) {
        SCOPED_TRACE(m.name);
        withMenuOnTop(m, [&] {
            Page* page = Page::withFocus();
            for (int i = 0; i < page->entryCount(); ++i) {
                SCOPED_TRACE(i);
                if (m.opens[i] == kAsksCode)
                    continue;
                EXPECT_EQ(pageOpenedBy([&] { focusAndOk(page, i); }), m.opens[i]);
                EXPECT_EQ(g_page_focus.load(), m.number);
                auto* button = qobject_cast<QPushButton*>(page->focusedWidget());
                focusOn(page, (i + 1) % page->entryCount());
                const int byTouch = pageOpenedBy([button] { QTest::mouseClick(button, Qt::LeftButton); });
                // The smart-mapping button is disabled: OK only.
                EXPECT_EQ(byTouch, button->isEnabled() ? m.opens[i] : kNothing);
                EXPECT_EQ(page->selected(), (i + 1) % page->entryCount());
            }
        });
    }
}

TEST_F(Menus, SelfRecoveryFollowsTheStoredFilesAndAgingAsksForItsCodeEachTime)
{
    const Menu& m = kMenus[4];
    fpga_manage::pInstance();
    withMenuOnTop(m, [&] {
        AdvancedOption* page = g_advancedoption;
        // No file: grey, resting and focused, and OK opens nothing.
        focusOn(page, AdvancedOption::kRecoveryEntry);
        QWidget* recovery = page->focusedWidget();
        EXPECT_TRUE(recovery->styleSheet().contains(QStringLiteral("gray")));
        EXPECT_TRUE(orangeFramed(recovery));
        EXPECT_EQ(pageOpenedBy([&] { click(page, Qt::Key_Q); }), kNothing);
        click(page, Qt::Key_R);
        EXPECT_TRUE(recovery->styleSheet().contains(QStringLiteral("gray")));
        EXPECT_FALSE(orangeFramed(recovery));
        // A file comes: offered from the next labelling on.
        writeBoxFile("/data/rcvrecovery/card.bin", "x");
        page->language_changed();
        EXPECT_EQ(page->recoveryFiles(), 1);
        EXPECT_FALSE(recovery->styleSheet().contains(QStringLiteral("gray")));
        EXPECT_EQ(pageOpenedBy([&] { focusAndOk(page, AdvancedOption::kRecoveryEntry); }), PAGE_RCV_RECOVERY);

        // The aging entry: the code typed on the number keyboard, every time.
        QPushButton* digit[10];
        for (int d = 0; d < 10; ++d)
            digit[d] = g_numberkeyboard->findChild<QPushButton*>(QStringLiteral("Button%1").arg(d));
        const struct {
            const char* typed;
            bool confirm;  // OK, else the close button
            bool opens;
        } tries[] = {{"9053", true, true},
                     {"9054", true, false},
                     {"90531", true, false},
                     {"9053", false, false},
                     {"9053", true, true}};
        for (const auto& t : tries) {
            SCOPED_TRACE(t.typed);
            bool keyboardUp = false;
            bool opened = false;
            bool keyboardGoneFirst = false;
            // Seen from inside the aging page's loop, which closes it again.
            QTimer agingLoop;
            agingLoop.setSingleShot(true);
            QObject::connect(&agingLoop, &QTimer::timeout, [&] {
                if (!g_factoryage)
                    return;
                opened = true;
                keyboardGoneFirst = !g_numberkeyboard->isVisible();
                g_factoryage->slot_Button_back_clicked();
            });
            QTimer::singleShot(0, [&] {
                keyboardUp = g_numberkeyboard->isVisible();
                for (const char* c = t.typed; *c; ++c)
                    QTest::mouseClick(digit[*c - '0'], Qt::LeftButton);
                QTest::mouseClick(g_numberkeyboard->findChild<QPushButton*>(t.confirm ? "Button_ok" : "Button_close"),
                                  Qt::LeftButton);
                agingLoop.start(0);
            });
            focusAndOk(page, 4);
            agingLoop.stop();
            EXPECT_TRUE(keyboardUp);
            EXPECT_EQ(opened, t.opens);
            EXPECT_EQ(keyboardGoneFirst, t.opens);
        }
        // A keyboard result meant for another page is not taken as a code.
        emit g_numberkeyboard->sendKeyBoardUIDataToLineEdit(QStringLiteral("9053"));
        EXPECT_EQ(g_page_focus.load(), PAGE_ADVANCED_OPTIONS);
    });
}

TEST_F(Menus, CommunicationMenuConfirmsEachChangeWithOneTipAtATime)
{
    withMenuOnTop(kMenus[2], [&] {
        bool tipUp = false;
        QTimer::singleShot(0, [&] {
            tipUp = g_tip_flag.load() == 1 && g_tip->isVisible();
            // Another change while the tip is up leaves it as it is.
            QPointer<QObject> content = g_tip->findChild<QFrame*>(QString(), Qt::FindDirectChildrenOnly);
            SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
            EXPECT_FALSE(content.isNull());
            tick(TIP::kShowTicks);
        });
        SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
        EXPECT_TRUE(tipUp);
        EXPECT_EQ(g_tip_flag.load(), 0);
    });
}

TEST_F(Menus, OutputMenuShowsTheLedSizeAsItWasWhenLabelled)
{
    block().led_width = 1920;
    block().led_height = 1080;
    withMenuOnTop(kMenus[1], [&] {
        EXPECT_EQ(g_outputset->infoText(), QStringLiteral("LED Screen can be set:1920x1080"));
        block().led_width = 2560;
        SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
        EXPECT_EQ(g_outputset->infoText(), QStringLiteral("LED Screen can be set:1920x1080"));
        g_outputset->language_changed();
        EXPECT_EQ(g_outputset->infoText(), QStringLiteral("LED Screen can be set:2560x1080"));
    });
}

// Two given Russian captions break a word in two; the menus show them
// broken between words, and every other caption as given.
TEST_F(Menus, RussianCaptionsAreShownBrokenBetweenWords)
{
    g_language = pages::RU;
    const auto caption = [](const char* button) {
        return Page::withFocus()->findChild<QPushButton*>(QLatin1String(button))->text();
    };
    withMenuOnTop(kMenus[2], [&] {
        EXPECT_EQ(caption("Button_wlan"), QStringLiteral("Сетевое\nподключение"));
        EXPECT_EQ(caption("Button_usb"), QStringLiteral("Обновление\nчерез USB"));
    });
    withMenuOnTop(kMenus[4], [&] {
        EXPECT_EQ(caption("Button_rcv_recovery"), QStringLiteral("Само-\nвосстановление"));
        EXPECT_EQ(caption("Button_LCDshow"), QStringLiteral("ЖК\nдисплей"));
    });
    g_language = pages::EN;
}
