// The settings menu: page 5, eight picture buttons from which every settings
// page below the main window opens (output, input crop, window layout,
// communication, picture quality, test patterns, smart mapping, advanced).
#pragma once

#include "screens/page.h"

namespace Ui {
class Option;
}

class Option : public Page {
    Q_OBJECT
public:
    static constexpr int kEntries = 8;

    explicit Option(QWidget* parent = nullptr);
    ~Option() override;

    void language_changed() override;

public slots:
    // Touch and OK on the entries; smart mapping is disabled in the form, so
    // only OK reaches it.
    void on_output_set_clicked();
    void on_input_cut_clicked();
    void on_image_layout_clicked();
    void on_link_set_clicked();
    void on_image_quality_clicked();
    void on_test_chart_clicked();
    void on_smart_mapping_clicked();
    void on_AdvanceButton_clicked();

private:
    Ui::Option* ui;
};
