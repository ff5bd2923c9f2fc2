// The picture-quality page: page 19, opened from the picture-quality menu.
// Brightness, sharpness, contrast and saturation, 0-100 each, applied at
// every step; the last row puts every picture value back to its default,
// the colour temperature's included.
#pragma once

#include "screens/menus/picture_values.h"

namespace Ui {
class quality;
}

class quality : public PictureValuesPage {
    Q_OBJECT
public:
    explicit quality(QWidget* parent = nullptr);
    ~quality() override;

    void language_changed() override;
    // OK on a value row begins its edit; LEFT, RIGHT, OK and BACK step it.
    using PictureValuesPage::get_sel_value;
    using PictureValuesPage::updownset_sel_value;
    // The picture values of the default block, applied at once.
    void on_Button_reset_clicked();

protected:
    bool okOnOtherRow(int entry) override;

private:
    Ui::quality* ui;
};
