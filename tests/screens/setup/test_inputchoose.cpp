// The input-choice page, driven by the front-panel keys from the main
// window: crops listed and assigned in crop-number order whatever order
// their records lie in, the rings of the window row and of the list, the
// list's focus when crops go from under it, a source given to a window,
// and a refresh asked for from another thread.
#include "screens/setup/inputchoose.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QLabel>
#include <cstring>
#include <thread>

namespace {

constexpr u16 kCrop = ram::kSourceIsCrop;

}  // namespace

class InputChoice : public PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        g_image_current = 0;
        block().image[0].enable = 1;
        block().image[0].source = ram::kSourceHdmi1;
        store->ram_para_shadow = block();
    }
    void setCrop(int record, u8 source, int number, u16 w = 640, u16 h = 360)
    {
        block().crop_list[record] =
            CROP_ITEM{static_cast<u16>(ram::kCropInUse | (number - 1) << ram::kCropNumberShift | source), 0, 0, w, h};
    }
    // The page opened from the main window with its OK key; `body` runs
    // inside it.
    void withPage(const std::function<void(InputChoose*)>& body)
    {
        main->show();
        while (main->selected() != 1)
            click(main, Qt::Key_R);
        ASSERT_TRUE(insidePage([this] { click(main, Qt::Key_Q); },
                               [&] {
                                   ASSERT_NE(g_inputchoose, nullptr);
                                   body(g_inputchoose);
                               }));
        EXPECT_EQ(g_inputchoose, nullptr);
    }
    // From the window row on the current window: its source row, then the
    // list of `source`.
    static void enterList(InputChoose* page, u8 source)
    {
        click(page, Qt::Key_Q);
        while (page->listedSource() != source)
            click(page, Qt::Key_R);
        click(page, Qt::Key_Q);
        ASSERT_EQ(page->row(), InputChoose::kEntryList);
    }
    static void focusEntry(InputChoose* page, int e)
    {
        for (int i = 0; i < ram::kCrops && page->focusedEntry() != e; ++i)
            click(page, Qt::Key_R);
        ASSERT_EQ(page->focusedEntry(), e);
    }
    // OK on the focused entry; true when the check-mark tip came up.
    bool okOnEntry(InputChoose* page)
    {
        bool tip = false;
        QTimer::singleShot(0, [this, &tip] {
            tip = g_tip_flag.load() == 1;
            tick(TIP::kShowTicks);
        });
        click(page, Qt::Key_Q);
        QCoreApplication::processEvents();
        return tip;
    }
    // The chip manager's pass: the notifier refreshes the page.
    void changeCode(int code = SYNC_PARA_CHANGED)
    {
        x518_manage::apply_flag = 0;
        SyncUpdate::p_SyncUpdate->para_sync(code);
    }
};

TEST_F(InputChoice, CropsAreListedAndAssignedInCropNumberOrderWhateverTheirRecords)
{
    // HDMI1's crops 1, 2, 3 and 5 (no 4) lie in records 2, 5, 7 and 0; a
    // DVI crop sits between them.
    setCrop(7, ram::kSourceHdmi1, 3);
    setCrop(2, ram::kSourceHdmi1, 1);
    setCrop(1, ram::kSourceDvi, 1);
    setCrop(5, ram::kSourceHdmi1, 2);
    setCrop(0, ram::kSourceHdmi1, 5);
    store->ram_para_shadow = block();
    const struct {
        int entry;
        u16 source;  // the window's source word after OK
        const char* tab;
        const char* name;
    } cases[] = {
        {3, kCrop | 7, "HDMI1\n_Crop3", "HDMI1_crop3"}, {1, kCrop | 2, "HDMI1\n_Crop1", "HDMI1_crop1"},
        {4, kCrop | 0, "HDMI1\n_Crop5", "HDMI1_crop5"}, {2, kCrop | 5, "HDMI1\n_Crop2", "HDMI1_crop2"},
        {0, ram::kSourceHdmi1, "HDMI1", "HDMI1"},
    };
    withPage([&](InputChoose* page) {
        enterList(page, ram::kSourceHdmi1);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.entry);
            focusEntry(page, c.entry);
            x518_manage::apply_flag = 0;
            EXPECT_TRUE(okOnEntry(page));
            EXPECT_EQ(block().image[0].source, c.source);
            EXPECT_EQ(x518_manage::apply_flag.load(), 1);
            EXPECT_EQ(page->tabText(0), QString::fromLatin1(c.tab));
            // The chosen entry is marked in use and keeps the focus.
            EXPECT_EQ(page->entryInUse(), c.entry);
            EXPECT_EQ(page->focusedEntry(), c.entry);
            EXPECT_EQ(page->entryName(c.entry % InputChoose::kEntriesPerPage), QString::fromLatin1(c.name));
        }
        // Back up to the window row and down again: the focus starts on
        // the entry in use when it is on the first page.
        focusEntry(page, 2);
        okOnEntry(page);
        click(page, Qt::Key_O);
        click(page, Qt::Key_O);
        ASSERT_EQ(page->row(), InputChoose::kWindowRow);
        enterList(page, ram::kSourceHdmi1);
        EXPECT_EQ(page->focusedEntry(), 2);
        EXPECT_EQ(page->entryInUse(), 2);
    });
}

TEST_F(InputChoice, RowsAreRingsWhateverTheirLength)
{
    // The window row: the tabs, then the crop and EDID buttons.
    const struct {
        std::vector<int> shown;  // windows switched on besides window 1
        std::vector<int> ring;   // ui_select from tab 1 on, RIGHT after RIGHT
    } rows[] = {{{}, {0, 4, 5}}, {{1, 3}, {0, 1, 2, 4, 5}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.ring.size());
        for (int w = 1; w < InputChoose::kTabs; ++w)
            block().image[w].enable = 0;
        for (int w : r.shown)
            block().image[w].enable = 1;
        store->ram_para_shadow = block();
        withPage([&](InputChoose* page) {
            EXPECT_EQ(page->tabCount(), static_cast<int>(r.shown.size()) + 1);
            for (size_t i = 0; i <= r.ring.size(); ++i) {
                EXPECT_EQ(page->selected(), r.ring[i % r.ring.size()]);
                click(page, Qt::Key_R);
            }
            click(page, Qt::Key_S);
            click(page, Qt::Key_S);
            EXPECT_EQ(page->selected(), r.ring.back());
            // The tabs make their window the current one.
            if (r.shown.size() == 2) {
                while (page->selected() != 2)
                    click(page, Qt::Key_R);
                EXPECT_EQ(g_image_current.load(), 3);
            }
        });
    }

    // The entry list: all its pages are one ring, three entries a page.
    for (int entries : {1, 5, 7}) {
        SCOPED_TRACE(entries);
        std::memset(block().crop_list, 0, sizeof block().crop_list);
        for (int c = 1; c < entries; ++c)
            setCrop(c, ram::kSourceHdmi2, c);
        store->ram_para_shadow = block();
        withPage([&](InputChoose* page) {
            enterList(page, ram::kSourceHdmi2);
            for (int i = 0; i <= entries; ++i) {
                EXPECT_EQ(page->focusedEntry(), i % entries);
                EXPECT_EQ(page->currentPage(), i % entries / InputChoose::kEntriesPerPage);
                click(page, Qt::Key_R);
            }
            click(page, Qt::Key_S);
            click(page, Qt::Key_S);
            EXPECT_EQ(page->focusedEntry(), entries - 1);
        });
    }
}

TEST_F(InputChoice, CropsGoneFromUnderTheFocusAssignNothingAndTheFocusFollows)
{
    for (int c = 1; c <= 4; ++c)
        setCrop(10 + c, ram::kSourceHdmi1, c);
    store->ram_para_shadow = block();
    withPage([&](InputChoose* page) {
        enterList(page, ram::kSourceHdmi1);
        focusEntry(page, 4);
        // The crop page (or a PC) deletes crops 2-4: the refresh puts the
        // focus on the last entry left, which OK assigns.
        for (int r : {12, 13, 14})
            block().crop_list[r].key = 0;
        changeCode();
        EXPECT_EQ(page->focusedEntry(), 1);
        EXPECT_EQ(page->currentPage(), 0);
        EXPECT_TRUE(okOnEntry(page));
        EXPECT_EQ(block().image[0].source, kCrop | 11);

        // A crop deleted with no refresh yet: OK on its entry does nothing.
        block().crop_list[11].key = 0;
        store->KelCropSourceInit();
        x518_manage::apply_flag = 0;
        EXPECT_FALSE(okOnEntry(page));
        EXPECT_EQ(block().image[0].source, kCrop | 11);
        EXPECT_EQ(x518_manage::apply_flag.load(), 0);
    });
}

// With the HDMI2 list open, a PC gives the window another input and then
// HDMI2 again: the card's in-use mark follows.
TEST_F(InputChoice, APcsSourceChangeMovesTheInUseMarkOfTheOpenList)
{
    block().image[0].source = ram::kSourceHdmi2;
    store->ram_para_shadow = block();
    withPage([&](InputChoose* page) {
        enterList(page, ram::kSourceHdmi2);
        EXPECT_EQ(page->entryInUse(), 0);
        block().image[0].source = ram::kSourceHdmi1;
        changeCode();
        EXPECT_EQ(page->entryInUse(), -1);
        block().image[0].source = ram::kSourceHdmi2;
        changeCode();
        EXPECT_EQ(page->entryInUse(), 0);
    });
}

TEST_F(InputChoice, AnOperatorGivesHdmi2ToWindow2WithTheKeys)
{
    block().image[1].enable = 1;
    block().image[1].source = ram::kSourceDvi;
    block().source_status[ram::kSourceHdmi2] = SOURCE_STATUS{1920, 1080, 60};
    store->ram_para_shadow = block();
    withPage([&](InputChoose* page) {
        click(page, Qt::Key_F5);  // tab of window 2
        EXPECT_EQ(g_image_current.load(), 1);
        click(page, Qt::Key_F6);  // its source row, on DVI
        EXPECT_EQ(page->listedSource(), ram::kSourceDvi);
        for (int i = 0; i < 2; ++i)  // DVI, HDMI1, HDMI2 round the ring
            click(page, Qt::Key_F5);
        EXPECT_EQ(page->listedSource(), ram::kSourceHdmi2);
        click(page, Qt::Key_F6);
        EXPECT_TRUE(okOnEntry(page));
        EXPECT_EQ(block().image[1].source, ram::kSourceHdmi2);
        EXPECT_EQ(x518_manage::apply_flag.load(), 1);
        EXPECT_EQ(page->tabText(1), QStringLiteral("HDMI2"));
        EXPECT_EQ(page->entryName(0), QStringLiteral("HDMI2"));
        // The chip applied it: the page stays where it was.
        changeCode();
        EXPECT_EQ(page->row(), InputChoose::kEntryList);
        EXPECT_EQ(page->entryInUse(), 0);
        // BACK, row by row, then out to the main window.
        click(page, Qt::Key_PowerOff);
        EXPECT_EQ(page->row(), InputChoose::kSourceRow);
        click(page, Qt::Key_PowerOff);
        EXPECT_EQ(page->row(), InputChoose::kWindowRow);
        EXPECT_EQ(page->selected(), 1);
        click(page, Qt::Key_PowerOff);
    });
    EXPECT_EQ(g_page_focus.load(), PAGE_MAIN_MENU);
}

TEST_F(InputChoice, ARefreshFromAnotherThreadRunsInTheGuiThreadWhileThePageIsOpen)
{
    withPage([&](InputChoose* page) {
        QLabel* hdmi1 = page->findChild<QLabel*>(QStringLiteral("sourcelistseq0name"));
        writeBoxFile("/data/configs/alias.json",
                     R"({"namelist": {"source": [{"id": 1, "valid": "on", "name": "Stage"}]}})");
        std::thread([] { g_inputchoose->syncUpdate(SYNC_FILE_RECEIVED); }).join();
        EXPECT_FALSE(hdmi1->text().contains(QStringLiteral("Stage")));
        QCoreApplication::processEvents();
        EXPECT_TRUE(hdmi1->text().contains(QStringLiteral("Stage")));
        // Queued, then the page closes before it runs: nothing happens.
        std::thread([page] { page->syncUpdate(SYNC_FILE_RECEIVED); }).join();
        page->slot_Button_back_clicked();
        QCoreApplication::processEvents();
    });
}

TEST_F(InputChoice, AWindowsTabTextFollowsItsSourceWhenAskedAndOnlyForWindowsWithTabs)
{
    withPage([&](InputChoose* page) {
        ASSERT_EQ(page->tabText(0), QStringLiteral("HDMI1"));
        block().image[0].source = ram::kSourceDvi;  // a link, not yet seen by the notifier
        EXPECT_EQ(page->tabText(0), QStringLiteral("HDMI1"));
        page->input_source_changed(0);
        EXPECT_EQ(page->tabText(0), QStringLiteral("DVI"));
        for (char w : {char(-1), char(4), char(100)})
            page->input_source_changed(w);  // no such window: nothing
        EXPECT_EQ(page->tabText(0), QStringLiteral("DVI"));
        block().image[0].source = ram::kSourceHdmi1;
        for (int w : {256, 512})
            page->input_source_changed(w);  // window 0's number in the low byte only: no such window either
        EXPECT_EQ(page->tabText(0), QStringLiteral("DVI"));
        block().image[0].source = ram::kSourceHdmi1;
    });
}
