// The sending-port view: page 14, opened from the output menu. Shows for
// sending ports 1-6 of FPGA 0 whether each has a link, four tabs at a time,
// and the canvas area the selected port drives; while FPGA 0 does not run,
// the area the box keeps for it, under a line that says so, and no port
// with a link. Links and area follow the box while the view is open: a PC's
// write into FPGA 0's memory, FPGA 0 starting or stopping, a link coming or
// going. It changes nothing.
#pragma once

#include "screens/page.h"

namespace Ui {
class netset;
}
class QLabel;
class QPushButton;

class netset : public Page {
    Q_OBJECT
public:
    static constexpr int kPorts = 6;
    static constexpr int kTabs = 4;

    explicit netset(QWidget* parent = nullptr);
    ~netset() override;

    // Title, captions, tab names and the selected port's values.
    void language_changed() override;
    // Every change the notifier tells (a PC's write into FPGA 0's memory,
    // FPGA 0 coming up or stopping, a link change): the values, the line
    // under them and the links are read again.
    void syncUpdate(int code) override;

    // The selected port (0-5) and the port in the first tab.
    int selectedPort() const { return ui_select; }
    int firstShownPort() const { return ui_min_select; }

protected:
    void onLeft() override;
    void onRight() override;
    void onOk() override {}

private:
    // The values of `port`, the tabs' names, and under the values whether
    // FPGA 0 holds them.
    void wlan_para_get(int port);
    // The tabs' link pictures.
    void initWlan();
    // The selection moved (or stayed): tabs, outline, values and links.
    void showSelection();

    Ui::netset* ui;
    u8 ui_sel = 0;         // tab slot 0-3 of the selected port
    u8 ui_min_select = 0;  // port in the first tab, 0-2
    QPushButton* tabs[kTabs];
    // Shown while FPGA 0 does not run: the values are then those the box
    // keeps for it, which it takes when it comes up.
    QLabel* fpga_state = nullptr;
};
