// The LCD display page: page 15, opened from the advanced menu. Two times
// of the LCD, each one of three choices edited in place: when the LCD
// returns to the main page and when it locks itself. They are kept in
// g_back_to_mainwindow_time and g_auto_lock_time (ticks) until the program
// ends; nothing saves them.
#pragma once

#include "screens/page.h"

namespace Ui {
class lcdshow;
}

class lcdshow : public Page {
    Q_OBJECT
public:
    enum Row { kBackRow = 0, kLockRow, kRows };
    static constexpr int kChoices = 3;
    // The values of the choices, in ticks; the last is "Never".
    static constexpr u32 kBackTimes[kChoices] = {3000, 6000, 120000};
    static constexpr u32 kLockTimes[kChoices] = {30000, 60000, 120000};

    explicit lcdshow(QWidget* parent = nullptr);
    ~lcdshow() override;

    void language_changed() override;
    // A language change drops an edit and fills both lists anew.
    void syncUpdate(int code) override;
    // Fills both lists in the current language, each showing its stored
    // value (the first entry when the value is none of the three).
    void para_init();

    // Stores choice `index` of a row.
    void on_button_backtolock_clicked(int index);
    void on_button_autolock_clicked(int index);

private:
    Ui::lcdshow* ui;
};
