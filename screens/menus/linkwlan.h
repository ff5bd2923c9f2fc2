// The network address page: page 22, opened from the communication menu.
// The box's wired address, mask and gateway as twelve octet fields. While
// the page is open the octets the operator has not typed follow the
// settings (a PC may set the address meanwhile). Apply saves the rows the
// operator changed in the settings and sets the Ethernet port up at once;
// an Apply that changed nothing saves nothing. Only octets 0-255 are taken:
// otherwise nothing is saved or run and the highlight moves to the first
// field that is wrong. When the settings file does not take them, the
// fields show the settings kept again.
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
    // The octets the operator has not typed take the settings' values.
    void syncUpdate(int code) override;

    // Saves and applies the rows the operator changed.
    void on_Button_net_apply_clicked();

protected:
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;

private slots:
    void show_numberkeyboard_ui(QString);

private:
    // The fields filled from the settings, none changed by the operator.
    void showStored();
    // The fields the operator left take the settings' values.
    void followStored();
    // The twelve fields as values the page compares.
    EditedFields::Values shownOctets() const;
    // Whether the operator changed an octet of row `row`.
    bool rowChanged(int row) const;
    // Whether the settings hold row `row` as the fields show it (a PC set
    // the same meanwhile): an Apply does not write it again.
    bool rowHeld(int row) const;
    // The number keyboard for octet field i.
    void editOctet(int i);
    // Row r's fields joined with dots.
    QString address(int row) const;
    // The first field that holds no octet, or -1.
    int firstBadOctet() const;
    void focusOn(int entry);

    Ui::linkwlan* ui;
    QLineEdit* octets[kFields];
    EditedFields octets_seen;  // the twelve octets, by field
};
