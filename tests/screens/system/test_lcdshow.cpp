// The LCD display page: OK, a step and OK store a choice's ticks; BACK
// while a list is edited closes the page without storing.
#include "screens/system/lcdshow.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QComboBox>

class LcdShow : public PageTest {};

TEST_F(LcdShow, ChoicesStoreTheirTicksAndBackDropsAnEdit)
{
    ASSERT_TRUE(onPage(PAGE_LCD_DISPLAY, [&] {
        lcdshow* page = g_lcdshow;
        click(page, Qt::Key_R);  // the lock row
        click(page, Qt::Key_Q);
        click(page, Qt::Key_S);  // from 5 minutes back round to "Never"
        click(page, Qt::Key_Q);
        EXPECT_EQ(g_auto_lock_time, 120000u);
        click(page, Qt::Key_S);  // the return row
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);
        click(page, Qt::Key_Q);
        EXPECT_EQ(g_back_to_mainwindow_time, 6000u);
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);
        click(page, Qt::Key_O);
        EXPECT_EQ(g_lcdshow, nullptr);
    }));
    EXPECT_EQ(g_back_to_mainwindow_time, 6000u);
    // The next opening shows what was stored.
    ASSERT_TRUE(onPage(PAGE_LCD_DISPLAY, [&] {
        EXPECT_EQ(g_lcdshow->findChild<QComboBox*>("comboBox_back")->currentIndex(), 1);
        EXPECT_EQ(g_lcdshow->findChild<QComboBox*>("comboBox_lock")->currentIndex(), 2);
    }));
}
