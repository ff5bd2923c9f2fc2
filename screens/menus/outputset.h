// The output menu: page 6, opened from the settings menu; opens the LED
// settings page and the sending-port view, and shows the LED screen size as
// it was when the page was last labelled.
#pragma once

#include "screens/page.h"

namespace Ui {
class OutputSet;
}

class OutputSet : public Page {
    Q_OBJECT
public:
    explicit OutputSet(QWidget* parent = nullptr);
    ~OutputSet() override;

    // The texts and the LED size line from the block as it is now.
    void language_changed() override;

    QString infoText() const;

public slots:
    void on_Button_ledset_clicked();
    void on_Button_lanset_clicked();

private:
    Ui::OutputSet* ui;
};
