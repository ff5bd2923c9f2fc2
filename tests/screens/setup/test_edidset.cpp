// The EDID settings page, driven by the front-panel keys and the number
// keyboard: the rate toggled and restored by BACK (a rate other than 60 or
// 30 included), Delete writing nothing, and a saved EDID reaching the
// input-source manager's rewrite request through the chip manager.
#include "screens/setup/edidset.h"
#include "screens/page_directory.h"
#include "tests/app/test_mainwindow_fixture.h"
#include "videoio/tamixsource.h"

#include <QLabel>
#include <QLineEdit>
#include <cstring>

class EdidPage : public PageTest {
protected:
    void withPage(const std::function<void(EDIDset*)>& body)
    {
        store->ram_para_shadow = block();
        ASSERT_TRUE(insidePage([] { pages::openPage(PAGE_EDID_SETTINGS); },
                               [&] {
                                   ASSERT_NE(g_edidset, nullptr);
                                   body(g_edidset);
                               }));
        EXPECT_EQ(g_edidset, nullptr);
    }
    // From the tabs: editing the record of `input`, `field` focused.
    static void edit(EDIDset* page, u8 input, int field)
    {
        while (page->chosenInput() != input)
            click(page, Qt::Key_R);
        click(page, Qt::Key_Q);
        ASSERT_EQ(page->mode(), EDIDset::kEditing);
        while (page->field() != field)
            click(page, Qt::Key_R);
    }
    static QString rate(EDIDset* page) { return page->findChild<QLabel*>("label_rate")->text(); }
};

TEST_F(EdidPage, TheRateTogglesAndBackRestoresItAndDeleteWritesNothing)
{
    for (u16 stored : {60, 50}) {
        SCOPED_TRACE(stored);
        block().edid[ram::kSourceHdmi3] = EDID_PARA{40000, 2160, stored};
        const KEL_RAM_PARA before = block();
        withPage([&](EDIDset* page) {
            edit(page, ram::kSourceHdmi3, EDIDset::kRate);
            EXPECT_EQ(page->findChild<QLineEdit*>("lineEdit_W")->text(), "40000");
            EXPECT_EQ(rate(page), QString::number(stored));
            click(page, Qt::Key_Q);
            ASSERT_EQ(page->mode(), EDIDset::kChangingRate);
            click(page, Qt::Key_R);
            EXPECT_EQ(rate(page), stored == 60 ? "30" : "60");
            click(page, Qt::Key_S);
            click(page, Qt::Key_S);
            EXPECT_EQ(rate(page), stored == 60 ? "30" : "60");
            click(page, Qt::Key_O);  // as it was before OK
            EXPECT_EQ(page->mode(), EDIDset::kEditing);
            EXPECT_EQ(rate(page), QString::number(stored));
            // OK keeps a toggled rate.
            click(page, Qt::Key_Q);
            click(page, Qt::Key_R);
            click(page, Qt::Key_Q);
            EXPECT_EQ(page->mode(), EDIDset::kEditing);
            EXPECT_EQ(rate(page), stored == 60 ? "30" : "60");

            click(page, Qt::Key_R);  // Delete
            click(page, Qt::Key_Q);
            EXPECT_EQ(page->mode(), EDIDset::kChoosing);
            EXPECT_EQ(std::memcmp(&before, &block(), sizeof before), 0);
            EXPECT_EQ(x518_manage::apply_flag.load(), 0);
            EXPECT_EQ(page->cardTiming(), QString("40000x2160@%1Hz").arg(stored));
        });
    }
}

TEST_F(EdidPage, ASavedEdidReachesTheInputSourceManagersRewriteRequest)
{
    // The chip manager brought up, as start-up leaves it running.
    x518_manage* chip = x518_manage::prepareInstance();
    chip->openChip();
    tamixsource* inputs = tamixsource::pInstance();
    G_timeTicks = 5000;
    for (int i = 0; i < 8 && chip->init_state < x518_manage::kRunningState; ++i)
        chip->runPass();
    ASSERT_EQ(chip->init_state, x518_manage::kRunningState);

    withPage([&](EDIDset* page) {
        edit(page, ram::kSourceHdmi2, EDIDset::kWidth);
        typeWhenAsked(QStringLiteral("1920"));
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);
        typeWhenAsked(QStringLiteral("1080"));
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);  // 30 Hz
        click(page, Qt::Key_Q);
        for (int i = EDIDset::kRate; i < EDIDset::kSave; ++i)
            click(page, Qt::Key_R);
        click(page, Qt::Key_Q);

        const EDID_PARA& saved = block().edid[ram::kSourceHdmi2];
        EXPECT_EQ(saved.width, 1920);
        EXPECT_EQ(saved.height, 1080);
        EXPECT_EQ(saved.rate, 30);
        EXPECT_EQ(x518_manage::apply_flag.load(), 1);
        chip->runPass();
        for (int p = 0; p < tamixsource::kSources; ++p)
            EXPECT_EQ(inputs->edid_rewrite_req[p], p == ram::kSourceHdmi2 ? 1 : 0) << p;
        EXPECT_EQ(page->cardTiming(), "1920x1080@30Hz");
    });
}
