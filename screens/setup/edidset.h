// The EDID settings page: page 8, opened from the input choice. For each
// input (tabs HDMI1, HDMI2, HDMI3, DVI) it shows the timing the input's EDID
// advertises to the source device and lets the operator set width, height
// (number keyboard) and a rate of 60 or 30 Hz. Saving writes into the
// input's EDID record the values the operator changed, the others keeping
// what the record holds then (a link may write it during the edit, and the
// fields the operator left follow it); the chip manager then asks the
// input-source manager to rewrite that input's EDID.
//
// Three modes instead of one focus ring: choosing an input (the tabs),
// editing (width, height, rate, Delete, Cancel, Save) and changing the rate
// (LEFT and RIGHT toggle it, OK keeps it, BACK restores it).
#pragma once

#include "app/ram_para.h"
#include "screens/page.h"

namespace Ui {
class EDIDset;
}
class QLineEdit;
class QPushButton;

class EDIDset : public Page {
    Q_OBJECT
public:
    enum Mode : u8 { kChoosing = 0, kEditing = 1, kChangingRate = 2 };
    // The editing fields, left to right on the screen.
    enum Field : u8 { kWidth, kHeight, kRate, kDelete, kCancel, kSave, kFields };
    static constexpr u16 kRateHigh = 60;
    static constexpr u16 kRateLow = 30;

    explicit EDIDset(QWidget* parent = nullptr);
    ~EDIDset() override;

    void language_changed() override;
    // Re-labels on a language change; the card follows the chosen input's
    // record, and while an edit is open so do the fields the operator left.
    void syncUpdate(int code) override;

    // ---- what the tests look at
    u8 mode() const { return edit_mode; }
    u8 field() const { return edit_field; }
    u8 chosenInput() const { return source_id; }
    QString cardTiming() const;

public slots:
    // Touch on the width or height field: the number keyboard for it.
    void show_numberkeyboard_ui(QString text);

private:
    void kel_button_input_clicked();
    void source_init();
    void kel_button_source_clicked();
    void kel_button_ok_clicked();
    void kel_button_cancel_clicked();
    void on_Button_freq_clicked();
    void stepField(int step);
    void styleField(int field, bool focused);
    void editRate();
    void endRate(bool keep);
    void askValue(QLineEdit* field);
    void leaveEditing();
    // Width, height and rate as the fields show them, and shown anew.
    EditedFields::Values shownRecord() const;
    void showRecord(const EditedFields::Values& values);
    void followRecord();
    QWidget* fieldWidget(int field) const;
    // ---- the keys at release, as the skeleton hands them on
    void onLeft() override;
    void onRight() override;
    void onOk() override;
    void onBack() override;

    Ui::EDIDset* ui;

    u8 source_id = ram::kSourceHdmi1;
    QString source_name;
    u8 edit_mode = kChoosing;
    u8 edit_field = kWidth;
    bool rate_high = true;     // the rate choice: 60 (true) or 30
    QString rate_text_saved;   // the rate as it was when the rate was entered
    EditedFields record_seen;  // width, height and rate, by Field

    std::optional<TabStrip> strip;
    QPushButton* button_delete = nullptr;
    QPushButton* button_cancel = nullptr;
    QPushButton* button_save = nullptr;
};
