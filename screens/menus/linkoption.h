// The communication menu: page 10, opened from the settings menu; opens the
// serial link page, the network address page and the USB upgrade page.
// While it is on top every change code is confirmed with the check-mark tip.
#pragma once

#include "screens/page.h"

namespace Ui {
class LinkOption;
}

class LinkOption : public Page {
    Q_OBJECT
public:
    explicit LinkOption(QWidget* parent = nullptr);
    ~LinkOption() override;

    void language_changed() override;
    // The skeleton's refresh, then the check-mark tip, unless one is up.
    void syncUpdate(int code) override;

    // The entries' openers, reached by OK and by touch.
    void on_Button_linkcom_clicked();
    void on_Button_linkwlan_clicked();
    void on_Button_firmware_usbgrade_clicked();

private:
    Ui::LinkOption* ui;
};
