// The tip box: a small modal box that shows a confirmation, a USB message,
// a failed save, a receiving-card job cut short or not done on every card,
// or a window the input channels cannot carry over the current page for
// three seconds (300 ticks), counted by the tick.
#pragma once

#include "app/global.h"

#include <QDialog>

namespace Ui {
class TIP;
}
class QFrame;

class TIP : public QDialog {
    Q_OBJECT
public:
    // Kinds of tip; any other value shows nothing. kSaveFailed: a user mode
    // asked for was not saved yet (its file could not be written; the box
    // keeps trying). kJobNoFpga: a receiving-card job was not carried out,
    // FPGA 0 not running. kNoInputChannel: a window the input channels cannot
    // carry stays black. kSettingsNotSaved: the settings file was not
    // written, the settings stay as they were. kJobNotDone: a receiving-card
    // job was refused or did not reach every card; the caller gives the text.
    // kUpgradeNotDone: a USB upgrade ended without installing whole what it
    // found (told where its page is not up); its page says what.
    // kAddressRefused: the network address page applied nothing, as a field
    // holds no octet (0-255, no leading zero).
    enum Kind {
        kCheck = 1,
        kUsbInserted = 3,
        kUsbUnplugged = 4,
        kUsbReading = 5,
        kSaveFailed = 7,
        kJobNoFpga = 8,
        kNoInputChannel = 9,
        kSettingsNotSaved = 10,
        kJobNotDone = 11,
        kUpgradeNotDone = 12,
        kAddressRefused = 13
    };
    static constexpr int kShowTicks = 300;

    explicit TIP(QWidget* parent = nullptr);
    ~TIP() override;

    // Replaces the content with a tip of `kind` and shows it; returns when
    // the box is hidden again. Kinds outside 1, 3-5, 7-13 only remove the
    // old content and return at once. `text` is the text of kJobNotDone
    // (wrapped as the other text tips are); the other kinds have their own.
    void tip_create(int kind, const QString& text = QString());
    // Builds the content of `kind` without showing it; false for a kind that
    // shows nothing. (tip_create's first half; the page gallery uses it.)
    bool tip_build(int kind, const QString& text = QString());
    // g_tip_flag := 1, then runs the box modally until it is hidden. A box
    // that is already up keeps its running count and returns at once.
    void tip_show();
    // One tick while g_tip_flag is set: hides the box at the 300th.
    void tip_outtime_deal();

    int ticks() const { return tick_count; }

private:
    Ui::TIP* ui;
    QFrame* content = nullptr;
    int tick_count = 0;
};

extern TIP* g_tip;
