// The picture-quality menu: page 11, opened from the settings menu; opens
// the quality page and the colour-temperature page.
#pragma once

#include "screens/page.h"

namespace Ui {
class ImageQuality;
}

class ImageQuality : public Page {
    Q_OBJECT
public:
    explicit ImageQuality(QWidget* parent = nullptr);
    ~ImageQuality() override;

    void language_changed() override;

public slots:
    void on_Button_quality_clicked();
    void on_Button_temperature_clicked();

private:
    Ui::ImageQuality* ui;
};
