// The LED settings page: page 13, opened from the output menu. The operator
// types the LED canvas's width and height (held to 64-8188 per side and
// kMaxPixels in all) and applies them: the output split goes, both outputs
// and window 0 cover the whole canvas, windows 1-5 are switched off, and a
// running FPGA 0 is told that the canvas changed. While the page is open a
// side the operator has not typed follows the block (a PC may write the
// canvas meanwhile), and Apply writes the operator's sides over the block's.
#pragma once

#include "screens/page.h"

#include <QString>

namespace Ui {
class ledset;
}
class QLineEdit;

class ledset : public Page {
    Q_OBJECT
public:
    static constexpr int kMinSide = 64;
    static constexpr int kMaxSide = 8188;
    static constexpr long kMaxPixels = 3932160;
    // The other side when the typed one was cut to kMaxSide and the pair
    // passed kMaxPixels.
    static constexpr int kSideBesideMax = 480;

    // The two fields after a side was typed: `typed` for the edited field,
    // `other` the other field's text (decimal; not a number counts as 0).
    struct Sides {
        QString edited;
        QString other;
    };
    static Sides fitSides(const QString& typed, const QString& other);

    explicit ledset(QWidget* parent = nullptr);
    ~ledset() override;

    void language_changed() override;
    // The sides the operator has not typed take the block's values.
    void syncUpdate(int code) override;

    // Both fields from the block, none typed.
    void para_init();
    // The number keyboard for `field` (width or height), then the limits.
    void editSide(QLineEdit* field);
    // Writes the fields' size into the block and raises the apply.
    void on_Button_apply1_clicked();

protected:
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;

private slots:
    void show_numberkeyboard_ui(QString);

private:
    // Width and height as the block holds them, and as the fields show them.
    EditedFields::Values blockSides() const;
    EditedFields::Values shownSides() const;
    void showSides(const EditedFields::Values& sides);

    Ui::ledset* ui;
    EditedFields sides_seen;  // width, height
};
