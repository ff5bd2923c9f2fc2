// The aging-log page: 16 lines a page with their status bits coloured,
// paged by the keys, and refreshed by the tick's three-minute turn.
#include "app/aginglog.h"
#include "screens/system/factoryage.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QLabel>

namespace {

QString text(const Page* page, const char* label)
{
    return page->findChild<QLabel*>(label)->text();
}

void fillLog(int lines)
{
    factoryage_log.clear();
    for (int i = 0; i < lines; ++i)
        factoryage_log.append(QStringLiteral("06-01 12:%1 %2 29 7").arg(i, 2, 10, QLatin1Char('0')).arg(i));
}

}  // namespace

class AgingLogPage : public PageTest {
protected:
    void onLogPage(const std::function<void(factoryage*)>& body)
    {
        ASSERT_TRUE(onPage(PAGE_AGING_LOG, [&] { body(g_factoryage); }));
    }
};

TEST_F(AgingLogPage, PagesOfSixteenLinesTurnedByTheKeys)
{
    const struct {
        int lines;
        const char* first;  // the page label when opened
        const char* afterNext;
        const char* afterNextTwice;
    } cases[] = {
        {0, "0/0", "0/0", "0/0"},
        {16, "1/1", "1/1", "1/1"},
        {17, "1/2", "2/2", "1/2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        fillLog(c.lines);
        onLogPage([&](factoryage* page) {
            EXPECT_EQ(text(page, "page_info"), QString::number(c.lines));
            EXPECT_EQ(text(page, "label_page"), QLatin1String(c.first));
            click(page, Qt::Key_R);  // to "Priv": nothing before the first page
            click(page, Qt::Key_Q);
            EXPECT_EQ(page->pageIndex(), 0);
            click(page, Qt::Key_S);  // back to "Nex"
            click(page, Qt::Key_Q);
            EXPECT_EQ(text(page, "label_page"), QLatin1String(c.afterNext));
            if (c.lines == 17) {  // the second page holds the 17th line alone
                EXPECT_EQ(text(page, "label_log").count(QStringLiteral("06-01")), 1);
            }
            click(page, Qt::Key_Q);
            EXPECT_EQ(text(page, "label_page"), QLatin1String(c.afterNextTwice));
            if (c.lines == 0) {
                EXPECT_TRUE(text(page, "label_log").endsWith(QStringLiteral("  正在老化中...")));
            }
        });
    }
}

TEST_F(AgingLogPage, LinesShowTheirBitsInColourAndOddLinesAreLeftOut)
{
    const QStringList log = {QStringLiteral("06-01 12:03 5 29 7"), QStringLiteral("06-01 12:06 broken"),
                             QStringLiteral("06-01 12:09 255 0 0")};
    const QString green = QStringLiteral("<font color = #00FF00 >%1</font> ");
    const QString red = QStringLiteral("<font color = #FF0000 >%1</font> ");
    EXPECT_EQ(factoryage::pageText(log, 0),
              QStringLiteral("06-01 12:03 005 ") + green.arg("DDR0") + red.arg("DDR1") + green.arg("DE") +
                  green.arg("HS") + green.arg("VS") + QStringLiteral("007<br>06-01 12:09 255 ") + red.arg("DDR0") +
                  red.arg("DDR1") + red.arg("DE") + red.arg("HS") + red.arg("VS") + QStringLiteral("000"));
}

TEST_F(AgingLogPage, TheTicksTurnRefreshesTheOpenPage)
{
    fillLog(3);
    onLogPage([&](factoryage* page) {
        fillLog(20);  // the FPGA is not running here: the turn takes no sample
        tick(17999);
        EXPECT_EQ(text(page, "page_info"), QStringLiteral("3"));
        tick(1);
        EXPECT_EQ(text(page, "page_info"), QStringLiteral("20"));
        EXPECT_EQ(text(page, "label_page"), QStringLiteral("1/2"));
    });
}
