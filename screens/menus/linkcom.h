// The serial link page: page 21, opened from the communication menu. Shows
// the RS-485 port's fixed settings (115200 baud, 8 data bits, 1 stop bit);
// nothing on it changes.
#pragma once

#include "screens/page.h"

namespace Ui {
class linkcom;
}

class linkcom : public Page {
    Q_OBJECT
public:
    explicit linkcom(QWidget* parent = nullptr);
    ~linkcom() override;

    void language_changed() override;

private:
    Ui::linkcom* ui;
};
