// The input crop page and its crop editor, driven by the front-panel keys
// and the number keyboard: the list's ring through the add button across
// pages, crops named and added around a hole in the numbers, a full table,
// the focus after a delete, and an editor whose crop a link changed.
#include "screens/setup/inputcut.h"
#include "screens/page_directory.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QLineEdit>
#include <cstring>

namespace {

u16 cropKey(u8 source, int number)
{
    return static_cast<u16>(ram::kCropInUse | (number - 1) << ram::kCropNumberShift | source);
}

}  // namespace

class CropPage : public PageTest {
protected:
    void setCrop(int record, u8 source, int number, u16 w = 640, u16 h = 360)
    {
        block().crop_list[record] = CROP_ITEM{cropKey(source, number), 0, 0, w, h};
    }
    // The page opened as the settings menu opens it; `body` runs inside.
    void withPage(const std::function<void(InputCut*)>& body)
    {
        store->ram_para_shadow = block();
        ASSERT_TRUE(insidePage([] { pages::openPage(PAGE_INPUT_CROP); },
                               [&] {
                                   ASSERT_NE(g_inputcut, nullptr);
                                   body(g_inputcut);
                               }));
        EXPECT_EQ(g_inputcut, nullptr);
    }
    // From the tabs: the list of `source`, the add button focused.
    static void enterList(InputCut* page, u8 source)
    {
        while (page->listedSource() != source)
            click(page, Qt::Key_R);
        click(page, Qt::Key_Q);
        ASSERT_EQ(page->level(), InputCut::kList);
        ASSERT_EQ(page->focusedTile(), InputCut::kAddButton);
    }
    static void focusTile(InputCut* page, int tile)
    {
        for (int i = 0; i <= ram::kCrops && page->focusedTile() != tile; ++i)
            click(page, Qt::Key_R);
        ASSERT_EQ(page->focusedTile(), tile);
    }
    // The editor's focus moved to `position`, then OK.
    static void okOn(InputCut* page, int position)
    {
        while (page->editorFocus() != position)
            click(page, Qt::Key_R);
        click(page, Qt::Key_Q);
    }
};

TEST_F(CropPage, TheListRingsThroughTheAddButtonAcrossItsPages)
{
    // 5 crops fill the first page with the whole input; 6 start a second.
    for (int crops : {5, 6}) {
        SCOPED_TRACE(crops);
        std::memset(block().crop_list, 0, sizeof block().crop_list);
        for (int k = 0; k < crops; ++k)
            setCrop(k, ram::kSourceHdmi2, k + 1);
        const int n = crops + 1;
        withPage([&](InputCut* page) {
            enterList(page, ram::kSourceHdmi2);
            EXPECT_EQ(page->itemCount(), n);
            for (int tile = 0; tile < n; ++tile) {
                click(page, Qt::Key_R);
                EXPECT_EQ(page->focusedTile(), tile);
                EXPECT_EQ(page->currentPage(), tile / InputCut::kTilesPerPage);
            }
            click(page, Qt::Key_R);
            EXPECT_EQ(page->focusedTile(), InputCut::kAddButton);
            EXPECT_EQ(page->currentPage(), 0);
            click(page, Qt::Key_S);
            EXPECT_EQ(page->focusedTile(), n - 1);
            EXPECT_EQ(page->currentPage(), (n - 1) / InputCut::kTilesPerPage);
            click(page, Qt::Key_S);
            EXPECT_EQ(page->focusedTile(), n - 2);
            // BACK returns to the tab the list was entered from.
            click(page, Qt::Key_O);
            EXPECT_EQ(page->level(), InputCut::kTabs);
            EXPECT_EQ(page->listedSource(), ram::kSourceHdmi2);
        });
    }
}

TEST_F(CropPage, CropsAreNamedByNumberAndANewOneFillsTheHole)
{
    // HDMI2 has crops 1 and 3; HDMI1 a crop in the record between them.
    setCrop(0, ram::kSourceHdmi2, 1);
    setCrop(1, ram::kSourceHdmi1, 1);
    setCrop(2, ram::kSourceHdmi2, 3);
    withPage([&](InputCut* page) {
        enterList(page, ram::kSourceHdmi2);
        EXPECT_EQ(page->tileName(1), "HDMI2_crop1");
        EXPECT_EQ(page->tileName(2), "HDMI2_crop3");

        // A new crop starts at 0, 0, 1920 x 1080; W is typed as 40000, and
        // a value no 16-bit field holds is not taken.
        click(page, Qt::Key_Q);
        ASSERT_EQ(page->level(), InputCut::kNewCrop);
        EXPECT_EQ(page->editorTitle(), "Name:HDMI2_crop2");
        typeWhenAsked(QStringLiteral("40000"));
        okOn(page, InputCut::kW);
        typeWhenAsked(QStringLiteral("70000"));
        okOn(page, InputCut::kH);
        x518_manage::apply_flag = 0;
        okOn(page, InputCut::kOk);

        EXPECT_EQ(page->level(), InputCut::kList);
        EXPECT_EQ(page->focusedTile(), InputCut::kAddButton);
        const CROP_ITEM& added = block().crop_list[3];
        EXPECT_EQ(added.key, cropKey(ram::kSourceHdmi2, 2));
        EXPECT_EQ(added.w, 40000);
        EXPECT_EQ(added.h, 1080);
        EXPECT_EQ(x518_manage::apply_flag.load(), 1);
        EXPECT_EQ(page->itemCount(), 4);
        EXPECT_EQ(page->tileName(2), "HDMI2_crop2");
        EXPECT_EQ(page->tileName(3), "HDMI2_crop3");

        // Opened on it again, the editor shows the stored width unsigned.
        focusTile(page, 2);
        click(page, Qt::Key_Q);
        ASSERT_EQ(page->level(), InputCut::kExistingCrop);
        EXPECT_EQ(page->findChild<QLineEdit*>("lineEdit_W")->text(), "40000");
        click(page, Qt::Key_O);
        EXPECT_EQ(page->focusedTile(), 2);
    });
}

TEST_F(CropPage, AFullTableOpensNoEditor)
{
    for (int k = 0; k < ram::kCrops; ++k)
        setCrop(k, ram::kSourceDvi, k + 1);
    const KEL_RAM_PARA before = block();
    withPage([&](InputCut* page) {
        enterList(page, ram::kSourceHdmi1);
        click(page, Qt::Key_Q);
        EXPECT_EQ(page->level(), InputCut::kList);
        EXPECT_EQ(std::memcmp(&before, &block(), sizeof before), 0);
        EXPECT_EQ(x518_manage::apply_flag.load(), 0);
    });
}

TEST_F(CropPage, DeletingTheLastCropOfAPageFocusesTheTileBefore)
{
    // HDMI1: crops 1-7, tiles 0-7; tiles 6 and 7 on the second page. A
    // window shows crop 7.
    for (int k = 0; k < 7; ++k)
        setCrop(k, ram::kSourceHdmi1, k + 1);
    block().image[0].source = ram::kSourceIsCrop | 6;
    withPage([&](InputCut* page) {
        enterList(page, ram::kSourceHdmi1);
        for (const auto& step : {std::pair<int, int>{7, 6}, {6, 5}}) {
            focusTile(page, step.first);
            click(page, Qt::Key_Q);
            x518_manage::apply_flag = 0;
            okOn(page, InputCut::kDelete);
            EXPECT_EQ(block().crop_list[step.first - 1].key, 0);
            EXPECT_EQ(x518_manage::apply_flag.load(), 1);
            EXPECT_EQ(page->focusedTile(), step.second);
            EXPECT_EQ(page->currentPage(), step.second / InputCut::kTilesPerPage);
        }
        EXPECT_EQ(page->itemCount(), 6);
        EXPECT_EQ(block().image[0].source, ram::kSourceIsCrop | 6);  // windows are not touched
    });
}

TEST_F(CropPage, TheEditorWritesOnlyTheCropItOpenedOn)
{
    // Meanwhile a link leaves the crop alone, deletes it, or deletes it and
    // adds another crop into its record; then OK or Delete is pressed.
    const struct {
        const char* what;
        std::function<void(KEL_RAM_PARA&)> link;
        int command;
        bool written;
    } cases[] = {
        {"untouched, OK", [](KEL_RAM_PARA&) {}, InputCut::kOk, true},
        {"deleted, OK", [](KEL_RAM_PARA& b) { b.crop_list[1].key = 0; }, InputCut::kOk, false},
        {"replaced, OK", [](KEL_RAM_PARA& b) { b.crop_list[1].key = cropKey(ram::kSourceHdmi1, 9); }, InputCut::kOk,
         false},
        {"replaced, Delete", [](KEL_RAM_PARA& b) { b.crop_list[1].key = cropKey(ram::kSourceHdmi1, 9); },
         InputCut::kDelete, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::memset(block().crop_list, 0, sizeof block().crop_list);
        setCrop(0, ram::kSourceHdmi1, 1);
        setCrop(1, ram::kSourceHdmi1, 2);
        withPage([&](InputCut* page) {
            enterList(page, ram::kSourceHdmi1);
            focusTile(page, 2);
            click(page, Qt::Key_Q);
            ASSERT_EQ(page->level(), InputCut::kExistingCrop);
            typeWhenAsked(QStringLiteral("100"));
            okOn(page, InputCut::kX);

            c.link(block());
            const CROP_ITEM before = block().crop_list[1];
            SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
            x518_manage::apply_flag = 0;
            okOn(page, c.command);

            EXPECT_EQ(page->level(), InputCut::kList);
            const CROP_ITEM& after = block().crop_list[1];
            if (c.written) {
                EXPECT_EQ(after.key, before.key);
                EXPECT_EQ(after.x, 100);
            } else {
                EXPECT_EQ(std::memcmp(&before, &after, sizeof after), 0);
            }
            EXPECT_EQ(x518_manage::apply_flag.load(), c.written ? 1 : 0);
        });
    }
}

TEST_F(CropPage, EachInputsItemCountIsItsCropsAndTheWholeInputAndNothingForOtherIds)
{
    setCrop(0, ram::kSourceHdmi2, 1);
    setCrop(1, ram::kSourceHdmi2, 2);
    setCrop(2, ram::kSourceDvi, 1);
    withPage([&](InputCut* page) {
        EXPECT_EQ(page->get_source_num(ram::kSourceHdmi1), 1);
        EXPECT_EQ(page->get_source_num(ram::kSourceHdmi2), 3);
        EXPECT_EQ(page->get_source_num(ram::kSourceDvi), 2);
        for (int other : {-1, ram::kSources, 0xFF})
            EXPECT_EQ(page->get_source_num(other), 0);
    });
}
