#include "tools/qroundprogressbar.h"

#include <QDialog>
#include <QImage>
#include <cmath>
#include <gtest/gtest.h>

namespace {

QColor pixel(QRoundProgressBar* bar, int x, int y)
{
    return bar->grab().toImage().pixelColor(x, y);
}

}  // namespace

TEST(RoundProgressBar, OneBarFollowsTheJobAndClosesAbove99)
{
    QDialog page;
    QRoundProgressBar::create_qround_bar(&page);
    QRoundProgressBar* bar = g_qround_bar;
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->parentWidget(), &page);
    EXPECT_EQ(bar->geometry(), QRect(120, 70, 100, 100));
    EXPECT_TRUE(bar->isVisibleTo(&page));
    bar->para_sync(50);
    EXPECT_EQ(bar->getValue(), 50.0);

    // A second request keeps the bar and its value.
    QRoundProgressBar::create_qround_bar(&page);
    EXPECT_EQ(g_qround_bar, bar);
    EXPECT_EQ(bar->getValue(), 50.0);
    // An earlier, hidden bar still connected acts on the live one.
    QRoundProgressBar earlier(&page, QRoundProgressBar::Ring);
    earlier.para_sync(60);
    EXPECT_EQ(bar->getValue(), 60.0);
    EXPECT_EQ(earlier.getValue(), 0.0);

    bar->para_sync(100);
    EXPECT_EQ(g_qround_bar, nullptr);
    EXPECT_FALSE(bar->isVisibleTo(&page));
    bar->para_sync(50);
    EXPECT_EQ(bar->getValue(), 60.0);
}

TEST(RoundProgressBar, ValuesStayInRange)
{
    QRoundProgressBar bar(nullptr, QRoundProgressBar::Ring);
    bar.setRange(100, 0);
    EXPECT_EQ(bar.getMinimum(), 0.0);
    EXPECT_EQ(bar.getMaximum(), 100.0);
    bar.setValue(150);
    EXPECT_EQ(bar.getValue(), 100.0);
    bar.setMaximum(40);
    EXPECT_EQ(bar.getValue(), 40.0);
    bar.setValue(-5);
    EXPECT_EQ(bar.getValue(), 0.0);
    bar.setDecimals(-1);
    EXPECT_EQ(bar.getDecimals(), 0);
    bar.setDecimals(1);
    EXPECT_EQ(bar.getDecimals(), 1);
}

// The ring's pen runs 10 pixels wide around the 90-pixel inner circle: at
// 3 o'clock (94, 50) and 9 o'clock (5, 50) of the 100-pixel bar.
TEST(RoundProgressBar, TheArcGrowsClockwiseFromTwelve)
{
    const QColor grey("#DEE3E7"), blue("#2F8DED");
    QRoundProgressBar bar(nullptr, QRoundProgressBar::Ring);
    bar.resize(100, 100);
    EXPECT_EQ(pixel(&bar, 94, 50), grey);
    EXPECT_EQ(pixel(&bar, 5, 50), grey);
    bar.setValue(50);
    EXPECT_EQ(pixel(&bar, 94, 50), blue);
    EXPECT_EQ(pixel(&bar, 5, 50), grey);
    bar.setValue(99);
    EXPECT_EQ(pixel(&bar, 5, 50), blue);
}

// The percentage stays inside the white disc the ring encloses, whichever
// face stands in for the one asked for: no pixel of the ring's band (radius
// 40 to 50) takes the text's dark grey, alone or blended.
TEST(RoundProgressBar, ThePercentageStaysInsideTheRing)
{
    QRoundProgressBar bar(nullptr, QRoundProgressBar::Ring);
    bar.resize(100, 100);
    for (int decimals : {0, 1}) {
        bar.setValue(65);
        bar.setDecimals(decimals);
        const QImage image = bar.grab().toImage();
        int inked = 0;
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 100; ++x) {
                const QColor c = image.pixelColor(x, y);
                const bool grey =
                    c.red() < 200 && std::abs(c.red() - c.green()) < 12 && std::abs(c.green() - c.blue()) < 12;
                const double r = std::hypot(x + 0.5 - 50, y + 0.5 - 50);
                inked += grey && r > 40.5 && r < 49;
            }
        }
        EXPECT_EQ(inked, 0) << bar.percentText().toStdString();
    }
}
