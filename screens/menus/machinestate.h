// The device information page: page 2, opened from the main window. Shows
// the serial number, the program's and FPGA 0's versions, which inputs have
// a signal and which sending ports have a link; while the video chip is not
// in running mode, no input and no port (nothing reaches the screen), and a
// line says the chip does not answer. While FPGA 0 does not run it shows no
// FPGA version, and a line says so (and that the box holds it in reset when
// its program is incomplete). It says so while the box cannot save its
// settings, and changes nothing.
#pragma once

#include "screens/page.h"

namespace Ui {
class MachineState;
}
class QLabel;

class MachineState : public Page {
    Q_OBJECT
public:
    static constexpr int kShownPorts = 6;

    explicit MachineState(QWidget* parent = nullptr);
    ~MachineState() override;

    void language_changed() override;
    // The skeleton's re-labelling, the inputs on every code, the ports on a
    // link change or a change of the video chip's state.
    void syncUpdate(int code) override;

    // The two version lines, set when the page opens, when asked, and when
    // FPGA 0 comes up or stops while the page is open.
    void version_changed();

    // The two version lines as the page shows them.
    static QString programVersionLine();
    static QString fpgaVersionLine();
    // The serial-number line of a bar code.
    static QString serialLine(const QString& barcode);
    // The line that says saving fails, hidden while every save lands.
    QLabel* saveStateLine() const { return save_state; }
    // The line that says the video chip does not answer, hidden while it runs.
    QLabel* chipStateLine() const { return chip_state; }
    // The line that says FPGA 0 does not run, hidden while it runs.
    QLabel* fpgaStateLine() const { return fpga_state; }

    // What the back button would do (the page has no touch control): the
    // page closes as BACK closes it.
    void on_Button_back_clicked();

protected:
    void onOk() override {}

private:
    void source_check();
    void initWlan();
    void showSaveState();
    void showFpgaState();

    Ui::MachineState* ui;
    QLabel* port_links[kShownPorts];
    QLabel* save_state = nullptr;
    QLabel* chip_state = nullptr;
    QLabel* fpga_state = nullptr;
    bool fpga_shown_running = false;  // what the FPGA lines were set for
};
