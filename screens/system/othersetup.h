// The other settings page: page 17, opened from the advanced menu. Four
// switches without a page of their own, each a choice list edited in place:
// the audio of one window (the window, then on or off), the effect of a
// window's picture switch (seamless or fade), the Wi-Fi access point and
// the dot-by-dot display of all windows. A "Projection" line is in the form
// but hidden and out of the ring. While the page is open the rows follow
// the block (a PC may write it meanwhile), but for the entry the operator
// chose and has not confirmed yet; a confirm writes only a row whose entry
// the operator changed. BACK while a list is edited gives the edit up (the
// row shows the block again); otherwise it closes the page.
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
    // A language change ends an edit and fills the lists anew; any other
    // change: the rows the operator left take the block's entries.
    void syncUpdate(int code) override;
    // Fills the lists from the block. An audio window that names no shown
    // window becomes window 0.
    void para_init();

    // Confirms row `row` with entry `index` (OK ending an edit).
    void on_button_box_clicked(int row, int index);

protected:
    void onBack() override;

private:
    // Each row's entry as the block gives it (the window row: the window's
    // number), and as the page shows it.
    EditedFields::Values blockRows() const;
    EditedFields::Values shownRows() const;
    void showRow(int row, int value);
    // The window list as the block's shown windows make it; the window it
    // shows stays when it is still listed.
    void listWindows();
    void followBlock();
    void confirmAudio(int index);
    void confirmSwitch(int index);
    void confirmWifi(int index);
    void confirmDotByDot(int index);

    Ui::othersetup* ui;
    // The windows the window list shows, in list order.
    std::vector<int> listed_windows;
    EditedFields rows_seen;  // the rows' entries, by Row
};
