// The test-pattern page: OK puts a pattern into the block's test-pattern
// byte with the apply flag; Close and BACK take it off; MODE leaves it on.
#include "screens/system/test_chart.h"
#include "tests/app/test_mainwindow_fixture.h"

class TestChart : public PageTest {};

TEST_F(TestChart, APatternIsShownAndTakenOffAgain)
{
    const struct {
        const char* name;
        int closeKey;  // OK on Close, BACK or MODE
        u8 left;
    } cases[] = {{"Close", Qt::Key_Q, 0}, {"BACK", Qt::Key_O, 0}, {"MODE", Qt::Key_M, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        block().test_pattern = 0;
        const bool opened = onPage(PAGE_TEST_PATTERNS, [&] {
            test_chart* page = g_test_chart;
            for (int i = 0; i < 5; ++i)
                click(page, Qt::Key_R);
            x518_manage::apply_flag = 0;
            click(page, Qt::Key_Q);  // the colour bar
            EXPECT_EQ(block().test_pattern, 6);
            EXPECT_EQ(x518_manage::apply_flag.load(), 1);
            EXPECT_EQ(Page::withFocus(), page);
            while (c.closeKey == Qt::Key_Q && page->selected() != test_chart::kCloseRow)
                click(page, Qt::Key_R);
            x518_manage::apply_flag = 0;
            click(page, c.closeKey);
            EXPECT_EQ(g_test_chart, nullptr);
            EXPECT_EQ(x518_manage::apply_flag.load(), c.left ? 0 : 1);
        });
        ASSERT_TRUE(opened);
        EXPECT_EQ(block().test_pattern, c.left);
    }
}
