// The update dialog: covers the LCD while new firmware arrives or is
// installed, with a bouncing update icon and "do not power off" with a
// growing row of dots. It runs no timer of its own: the 10 ms tick animates
// it while g_update_flag is set. Created, shown, closed and deleted in the
// GUI thread only (see MainWindow::update_start / update_over).
#pragma once

#include "app/global.h"

#include <QDialog>

namespace Ui {
class FirmwareUpdate;
}
class QLabel;

class FirmwareUpdate : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIconX = 128;
    static constexpr int kIconTop = 60;
    static constexpr int kIconBottom = 116;
    static constexpr int kIconSize = 64;
    static constexpr int kTextY = 200;
    static constexpr int kTextHeight = 17;

    explicit FirmwareUpdate(QWidget* parent = nullptr);
    ~FirmwareUpdate() override;

    // One animation step, on every tick while g_update_flag is set.
    void update_time_deal();
    // Moves the icon one pixel (every second tick).
    void handleTimerID1();
    // Steps the dots (every 100th tick).
    void handleTimerID2();
    void language_changed();

    int iconY() const { return icon_y; }
    QString text() const;
    QRect textRect() const;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void placeText(const QString& text, int charWidth);

    Ui::FirmwareUpdate* ui;
    QLabel* icon_label;
    QLabel* text_label;
    int timer_id1 = 0;  // no timer is started: the tick drives the dialog
    int timer_id2 = 0;
    int icon_x = 0;
    int icon_y = 0;
    int dot_count = 0;
    u8 direction = 1;  // 1 moving down, 0 moving up
};

// The open update dialog, null while none exists.
extern FirmwareUpdate* g_move_update;

// Creates the dialog when none exists, then shows it (non-modal). GUI thread.
void firmware_update_start();
// Closes (and so deletes) the dialog when one exists. GUI thread.
void firmware_update_over();
