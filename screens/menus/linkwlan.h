// The network address page: page 22, opened from the communication menu.
// The box's wired address, mask and gateway as twelve octet fields; Apply
// saves them in the settings and sets the Ethernet port up with them at
// once. Only octets 0-255 are taken: otherwise nothing is saved or run and
// the highlight moves to the first field that is wrong. When the settings
// file does not take them, the fields show the settings kept again.
#pragma once

#include "screens/page.h"

namespace Ui {
class linkwlan;
}

class linkwlan : public Page {
    Q_OBJECT
public:
    static constexpr int kRows = 3;  // address, mask, gateway
    static constexpr int kOctets = 4;
    static constexpr int kFields = kRows * kOctets;

    explicit linkwlan(QWidget* parent = nullptr);
    ~linkwlan() override;

    void language_changed() override;

    // Saves and applies the fields when they differ from the settings.
    void on_Button_net_apply_clicked();

protected:
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;

private slots:
    void show_numberkeyboard_ui(QString);

private:
    // The fields filled from the settings.
    void showStored();
    // The number keyboard for octet field i.
    void editOctet(int i);
    // Row r's fields joined with dots.
    QString address(int row) const;
    // The first field that holds no octet, or -1.
    int firstBadOctet() const;
    void focusOn(int entry);

    Ui::linkwlan* ui;
    QLineEdit* octets[kFields];
};
