// The other settings page: page 17, opened from the advanced menu. Four
// switches without a page of their own, each a choice list edited in place:
// the audio of one window (the window, then on or off), the effect of a
// window's picture switch (seamless or fade), the Wi-Fi access point and
// the dot-by-dot display of all windows. A "Projection" line is in the form
// but hidden and out of the ring. BACK while a list is edited gives the
// edit up; otherwise it closes the page.
#pragma once

#include "screens/page.h"

#include <vector>

namespace Ui {
class othersetup;
}

class othersetup : public Page {
    Q_OBJECT
public:
    // The ring, in LEFT/RIGHT order.
    enum Row { kWindowRow = 0, kAudioRow, kSwitchRow, kWifiRow, kDotByDotRow, kRows };
    // Entries of the lists, in list order.
    enum OnOff { kOff = 0, kOn = 1 };
    enum Switch { kSeamless = 0, kFade = 1 };
    enum Wifi { kWifiOn = 0, kWifiOff = 1 };

    explicit othersetup(QWidget* parent = nullptr);
    ~othersetup() override;

    void language_changed() override;
    // A language change ends an edit and fills the lists anew; other changes
    // are shown at the next opening.
    void syncUpdate(int code) override;
    // Fills the lists from the block. An audio window that names no shown
    // window becomes window 0.
    void para_init();

    // Confirms row `row` with entry `index` (OK ending an edit).
    void on_button_box_clicked(int row, int index);

protected:
    void onBack() override;

private:
    void confirmAudio(int index);
    void confirmSwitch(int index);
    void confirmWifi(int index);
    void confirmDotByDot(int index);

    Ui::othersetup* ui;
    // The windows the window list shows, in list order.
    std::vector<int> listed_windows;
};
