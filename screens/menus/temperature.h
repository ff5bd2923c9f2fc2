// The colour-temperature page: page 20, opened from the picture-quality
// menu. The colour-temperature type (custom, warm, nature, cool) and the
// red, green and blue gains, 0-100 each. A gain is applied at every step; a
// type is tried on the list and written when OK ends its edit on a type the
// operator changed (BACK writes nothing). While the operator leaves it, the
// list follows the type another writer puts into the block.
#pragma once

#include "screens/menus/picture_values.h"

namespace Ui {
class temperature;
}

class temperature : public PictureValuesPage {
    Q_OBJECT
public:
    static constexpr int kTypes = 4;

    explicit temperature(QWidget* parent = nullptr);
    ~temperature() override;

    void language_changed() override;
    // OK on a gain row begins its edit; LEFT, RIGHT, OK and BACK step it.
    // The type row is no value: both do nothing there.
    using PictureValuesPage::get_sel_value;
    using PictureValuesPage::updownset_sel_value;
    // The type shown on the list into the block, applied at once.
    void on_button_type_clicked();

protected:
    void para_init() override;
    void followBlock() override;
    bool okOnOtherRow(int entry) override;
    void stepOtherRow(int entry, int step) override;
    void endOtherEdit(int entry, bool keep) override;
    bool pickOtherRow(int entry, int index) override;
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;

private:
    void showType(int type);
    // The block's type as the list shows it.
    int blockType() const;

    Ui::temperature* ui;
    u8 type = 0;             // the type the list shows
    EditedFields type_seen;  // the type, one field
};
