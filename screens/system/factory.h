// The factory settings page: page 18, opened from the advanced menu. The
// LCD language, chosen among the enabled ones; the three factory resets of
// the parameter block ("Keep IP", "Keep IP, EDID", "Reset ALL"), run at once
// by OK without a question; and a line telling which overlay fonts the
// video chip's flash holds. Only the keys act on the page.
#pragma once

#include "screens/page.h"

namespace Ui {
class factory;
}

class factory : public Page {
    Q_OBJECT
public:
    enum Row { kLanguageRow = 0, kKeepIpRow, kKeepEdidRow, kResetAllRow, kRows };

    explicit factory(QWidget* parent = nullptr);
    ~factory() override;

    void language_changed() override;
    // A language changed elsewhere (or by this page) re-labels the page
    // and the row shows the language now in use; an edit of the row goes
    // on, and keeps showing the language the operator stepped to.
    void syncUpdate(int code) override;

    // Applies the language chosen on the language row, when it is not the
    // one in use and the operator changed it (not when a PC changed the
    // language under an edit left as it began).
    void on_Button_lang_clicked(int lang);
    // The resets. 1: the block's saved part from the defaults, the network
    // settings kept; 2: the same but the EDID area kept as well; 3: the
    // network settings restored too. Each hands the LED panel set-up to the
    // FPGA side when the canvas changed, and resets 1 and 3 have every
    // input's EDID EEPROM rewritten.
    void on_Button_reset1_clicked();
    void on_Button_reset2_clicked();
    void on_Button_reset3_clicked();

    // The font line's two halves for the chip's font flags, in the current
    // language: the Chinese fonts, then the English ones.
    static QString chineseFontLine(u32 fontFlags);
    static QString englishFontLine(u32 fontFlags);

protected:
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;
    // The language row steps among the enabled languages only.
    int stepChoice(int entry, int index, int step) const override;

private:
    void resetBlock(bool keepEdid);
    void restoreNetworkSettings();

    Ui::factory* ui;
    EditedFields language_seen;  // the block's language, one field
};
