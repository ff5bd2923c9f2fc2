// The test-pattern page: page 16, opened from the settings menu. Eight
// patterns of the video chip (red, green, blue, white, black, colour bar,
// vertical and horizontal lines) and Close. OK on a pattern puts it on the
// LED output through the parameter block's test-pattern byte; Close and
// BACK take it off again and close the page. MODE leaves a pattern on.
// Only the keys act on the page.
#pragma once

#include "screens/page.h"

namespace Ui {
class test_chart;
}

class test_chart : public Page {
    Q_OBJECT
public:
    static constexpr int kPatterns = 8;
    static constexpr int kCloseRow = kPatterns;

    explicit test_chart(QWidget* parent = nullptr);
    ~test_chart() override;

    void language_changed() override;

    // Shows the pattern of the focused row (rows 0-7 are patterns 1-8).
    void slot_Button_on_clicked();
    // Takes the pattern off, then closes the page.
    void slot_Button_back_clicked() override;

protected:
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;

private:
    static void setPattern(u8 pattern);

    Ui::test_chart* ui;
};
