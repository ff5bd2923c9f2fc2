// The advanced settings menu: page 12, opened from the settings menu. It
// opens the LCD display, other settings, receiving-card self-recovery,
// factory settings and factory aging pages. Self-recovery is offered only
// while recovery files are stored on the box; the aging page opens only
// after its access code was typed on the number keyboard.
#pragma once

#include "screens/page.h"

namespace Ui {
class AdvancedOption;
}

class AdvancedOption : public Page {
    Q_OBJECT
public:
    static constexpr int kEntries = 5;
    static constexpr int kRecoveryEntry = 2;
    // The code that opens the aging page, asked each time.
    static constexpr const char* kAgingAccessCode = "9053";

    explicit AdvancedOption(QWidget* parent = nullptr);
    ~AdvancedOption() override;

    // Counts the recovery files anew, then the texts.
    void language_changed() override;

    u8 recoveryFiles() const { return rcv_file_count; }

public slots:
    void on_Button_LCDshow_clicked();
    void on_Button_other_clicked();
    // Nothing while no recovery file is stored.
    void on_Button_rcv_recovery_clicked();
    void on_Button_factory_clicked();
    // Asks for the access code; the aging page opens after the keyboard
    // closed with the right code.
    void on_Button_age_clicked();

protected:
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;

private:
    bool recoveryOffered() const { return rcv_file_count != 0; }
    void countRecoveryFiles();

    Ui::AdvancedOption* ui;
    // Files in /data/rcvrecovery at the last labelling (at most 255).
    u8 rcv_file_count = 0;
};
