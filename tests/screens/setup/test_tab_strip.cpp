// The input tabs of the EDID, input crop and input choice pages: each page's
// frame and card in its own style sheets, orange while the keys are in the
// tabs and blue once they went below, the frame over the chosen tab as
// LEFT and RIGHT wrap over the four inputs, and one card at a time.
#include "screens/page.h"
#include "screens/page_directory.h"
#include "screens/setup/sourceinfo.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QFrame>
#include <QImage>
#include <QLabel>

namespace {

struct StripLook {
    PAGE_FOCUS page;
    const char* frameName;
    const char* cardName;
    int frameLeft;
    int step;
    const char* frameActive;
    const char* frameResting;
    const char* cardActive;
    const char* cardResting;
};

const StripLook kLooks[] = {
    {PAGE_EDID_SETTINGS, "tab_frame", "frame_source", 4, 52,
     "border:1px solid;border-bottom-color:rgb(16,16,28);border-left-color:rgb(255,171,84);border-right-color:rgb(255,"
     "171,84);border-top-color:rgb(255,171,84);",
     "border:1px solid;border-bottom-color:rgb(16,16,28);border-left-color:rgb(71, 119, 255);border-right-color:rgb("
     "71, 119, 255);border-top-color:rgb(71, 119, 255);",
     "#frame_source{border:1px solid rgb(255,171,84);}", "#frame_source{border:1px solid rgb(71, 119, 255);}"},
    {PAGE_INPUT_CROP, "tab_frame", "frame_source", 1, 53,
     "border:1px solid;background-color: rgb(16,16, 28);border-left-color:rgb(255,171,84);border-right-color:rgb(255,"
     "171,84);border-top-color:rgb(255,171,84);",
     "border:1px solid;background-color: rgb(16,16, 28);border-left-color:rgb(71, 119, 255);border-right-color:rgb(71, "
     "119, 255);border-top-color:rgb(71, 119, 255);",
     "#frame_source{background-color: rgb(16,16, 28);border:1px solid rgb(255,171,84);}",
     "#frame_source{background-color: rgb(16,16, 28);border:1px solid rgb(71, 119, 255);}"},
    {PAGE_INPUT_CHOICE, "frame1", "frame", 1, 53,
     "border:1px solid;border-left-color:rgb(255,171,84);border-right-color:rgb(255,171,84);border-top-color:rgb(255,"
     "171,84);",
     "border:1px solid;border-left-color:rgb(71, 119, 255);border-right-color:rgb(71, 119, 255);border-top-color:rgb("
     "71, 119, 255);",
     "#frame{border:1px solid rgb(255,171,84);}", "#frame{border:1px solid rgb(71, 119, 255);}"},
};

}  // namespace

class TabStripTest : public PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        // Window 1 shows HDMI1: its input tabs open on the first tab.
        block().image[0].source = ram::kSourceHdmi1;
        store->ram_para_shadow = block();
    }
    // The frame and the card of the open page `look` says, in its active
    // (orange) or resting (blue) style, the frame over tab `tab`.
    static void expectStrip(const StripLook& look, bool active, int tab)
    {
        Page* page = Page::withFocus();
        ASSERT_NE(page, nullptr);
        const auto* frame = page->findChild<QFrame*>(look.frameName);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->styleSheet(), active ? look.frameActive : look.frameResting);
        EXPECT_EQ(frame->x(), look.frameLeft + look.step * tab);
        const QList<QFrame*> cards = page->findChildren<QFrame*>(look.cardName, Qt::FindDirectChildrenOnly);
        ASSERT_EQ(cards.size(), 1) << "one card at a time";
        EXPECT_EQ(cards[0]->styleSheet(), active ? look.cardActive : look.cardResting);
    }
};

TEST_F(TabStripTest, EachPageDrawsItsTabsAndCardInItsOwnStylesAndTheFrameFollowsTheTab)
{
    for (const StripLook& look : kLooks) {
        SCOPED_TRACE(look.page);
        // The input choice starts in the window row, above its input tabs.
        const bool choice = look.page == PAGE_INPUT_CHOICE;
        ASSERT_TRUE(onPage(look.page, [&] {
            Page* page = Page::withFocus();
            const char* const inputs[] = {"HDMI1", "HDMI2", "HDMI3", "DVI"};
            for (int t = 0; t < TabStrip::kTabs; ++t) {
                const auto* name = page->findChild<QLabel*>(QStringLiteral("sourcelistseq%1name").arg(t));
                EXPECT_TRUE(name->text().contains(inputs[t])) << name->text().toStdString();
            }
            for (const char* extra : {"sourcelistseq4name", "sourcelistseq5pixmap"})
                EXPECT_TRUE(page->findChild<QLabel*>(extra)->isHidden()) << extra;

            if (choice) {
                expectStrip(look, false, 0);
                click(page, Qt::Key_Q);  // into the input tabs
            }
            expectStrip(look, true, 0);
            click(page, Qt::Key_S);  // LEFT from the first tab: the last
            expectStrip(look, true, 3);
            for (int i = 0; i < 2; ++i)
                click(page, Qt::Key_R);
            expectStrip(look, true, 1);
            click(page, Qt::Key_Q);  // below the tabs
            expectStrip(look, false, 1);
            click(page, Qt::Key_O);  // back in the tabs
            expectStrip(look, true, 1);
        }));
    }
}

// A tab caption stands for the rich text the tabs were given (a name, then
// its count in blue, at 9 pixels): it draws the very same pixels, in the
// tabs' two sizes, for names of every kind.
TEST(TabCaption, DrawsThePixelsOfTheRichTextItStandsFor)
{
    struct Case {
        u8 id;
        const char* name;
        int count;  // below 0: the name alone
        QSize size;
    };
    const Case cases[] = {
        {1, "HDMI1", 3, {51, 14}},        {3, "HDMI3", 1, {51, 14}},  {0, "DVI", 12, {51, 14}},
        {2, "HDMI2", -1, {40, 12}},       {3, "HDMI3", -1, {40, 12}}, {1, "Stage left…", 2, {51, 14}},
        {0, "舞台左边的屏", 4, {51, 14}}, {1, "W", 0, {51, 14}},      {2, "Мой вход", 7, {51, 14}},
    };
    QWidget page;
    page.setStyleSheet(QStringLiteral("background-color: rgb(16,16, 28);"));
    page.resize(120, 40);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFont font;
        font.setPointSize(7);
        QLabel rich(&page);
        TabCaption plain(&page);
        for (QLabel* label : {&rich, static_cast<QLabel*>(&plain)}) {
            label->setFont(font);
            label->setAlignment(Qt::AlignCenter);
            label->setGeometry(QRect(QPoint(2, 3), c.size));
        }
        const QString name = QString::fromUtf8(c.name);
        if (c.count < 0) {
            rich.setText(sourceinfo::get_source_specialstyle0_by_sourceid(c.id).arg(name));
            sourceinfo::showTabName(&plain, c.id);
        } else {
            rich.setText(sourceinfo::get_source_specialstyle1_by_sourceid(c.id, name, static_cast<u8>(c.count)));
            sourceinfo::showTabCount(&plain, c.id, name, static_cast<u8>(c.count));
        }
        EXPECT_EQ(plain.grab().toImage(), rich.grab().toImage());
    }
}
