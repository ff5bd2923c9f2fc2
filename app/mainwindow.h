// The main window: page 1, the main menu of the LCD. It lies under every
// other page for the whole run, opens the device-information, input-choice,
// user-mode and settings pages, carries the panel key lock and a tool bar
// (LED output, mute, user-mode call and save), and its timer slot is the
// program's 10 ms tick.
#pragma once

#include "app/global.h"
#include "app/page_support.h"

#include <QFont>
#include <QMainWindow>
#include <QString>

namespace Ui {
class MainWindow;
}
class QFrame;
class QLabel;
class QPushButton;

class MainWindow : public QMainWindow, public pages::PanelKeyHandler {
    Q_OBJECT
public:
    // The tick's periods, in ticks of 10 ms.
    static constexpr u32 kRebootDelayTicks = 300;
    static constexpr u32 kAgingPeriodTicks = 18000;
    static constexpr u32 kUsbGateTicks = 1000;
    static constexpr int kMenuItems = 6;
    static constexpr int kToolItems = 4;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Pictures of the menu and tool buttons in the current language, then
    // para_init() and ip_changed(). Pages call it when they close back here.
    void language_changed();
    // Pictures of the LED, mute and lock buttons from the block.
    void para_init();
    void ip_changed();
    // Refresh by the change notifier while page 1 has focus.
    void syncUpdate();
    // Closes the user-mode bar before a page opens.
    void mode_window_close();
    // Shows the home page over the main window (made when there is none);
    // it has the focus.
    void openHomePage();

    // ---- the user-mode bar (call or save one of the 16 user modes)
    // Builds the bar anew from the store's slots (hidden).
    void mode_init();
    // Moves the selected slot: 1 next, 0 previous; then redraws the bar.
    void on_usermodesel_clicked(char direction);
    // Disarms call and save and hides the bar.
    void on_deletewidgetmode_clicked();
    // The change notifier told the bar that the save of `slot` it asked for
    // failed (the failure tip is up); the box keeps trying, and the open bar
    // shows the slot waiting (not saved yet) until the file is written.
    void modeSaveFailed(int slot);
    // Later tries wrote the files of `modes` (bit i: user mode i): an open
    // bar draws them saved, with the check mark when the bar's own save of
    // one of them had failed.
    void modeSavesLanded(u16 modes);

    // Show / close the update dialog. Called from worker threads (links,
    // the FPGA manager's upgrade) through the page hand-over; both are
    // queued into the GUI thread.
    void update_start();
    void update_over();

    // One aging-log sample (FPGA 0 registers 42, 40, 43 with the time).
    void getagelog();

    // 1 after a user-mode call or save on the mode bar; the change
    // notifier shows the check-mark tip for it.
    u8 mode_tip_pending = 0;

    // State the tests look at.
    u8 selected() const { return ui_select; }
    QWidget* focusedWidget() const { return focus_widget; }
    bool toolBarShown() const;
    bool callArmed() const { return l_call_state == 1; }
    bool saveArmed() const { return l_save_state == 1; }
    u8 modeFocus() const { return mode_focus; }
    QWidget* modeBar() const { return widget_mode; }
    QPushButton* slotButton(int i) const { return widget_mode ? slot_buttons[i] : nullptr; }
    QLabel* modeTitle() const { return mode_title; }
    QLabel* pointerLabel() const { return pointer_label; }

public slots:
    void on_option_clicked();
    void on_machinestate_clicked();
    void on_inputchoose_clicked();
    void on_custommode_clicked();
    void on_tools_clicked();
    void on_toolButton1_clicked();
    void on_toolButton2_clicked();
    void on_toolButton3_clicked();
    void on_toolButton4_clicked();
    void on_Button_lock_clicked();
    void kel_button_mode_clicked();
    void slot_update_timer_ticks();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    // Installs the page side of the workers' hand-over (app/page_handover.h).
    static void installPageActions();

    void onRight() override;
    void onLeft() override;
    void onOk() override;
    void onBack() override;
    void onMode() override;
    void stepMenuFocus(int step);
    void stepToolFocus(int step);
    bool modeBarArmed() const { return l_call_state || l_save_state; }
    const QString& normalStyleOfItem(int item) const;
    const QString& selectedStyleOfItem(int item) const;
    void setIcon(QPushButton* button, const QString& picture, QSize size);
    // The lock button's icon: locked or not.
    void showLock(bool locked);
    // The LED and audio tool buttons' icons: the LED output off or not,
    // the audio window's sound on or not.
    void showLedOff(bool off);
    void showAudio(bool on);
    void agingTurn();
    void armModeBar(bool call);
    void showModeBar();
    void restoreSlotFrame(int slot);
    // The "not saved" mark of a slot whose save waits for the disk.
    void showWaitingMark(QFrame* frame, QLabel* picture);
    void saveIntoSlot(int slot);
    void callSlot(int slot);

    Ui::MainWindow* ui;
    u8 l_call_state = 0;
    u8 l_save_state = 0;
    u8 l_lock_state = 0;
    // What the LED and audio buttons show: a touch asks for the other.
    bool led_off_shown = false;
    bool audio_on_shown = false;
    u8 ui_select = 0;
    u8 mode_focus = 0;
    u16 failed_saves = 0;  // bit i: the bar saw user mode i's save fail and not yet land
    QWidget* focus_widget = nullptr;
    QWidget* menu_focus_list[kMenuItems] = {};
    QWidget* tool_focus_list[kToolItems] = {};

    const QString style_menu;
    const QString style_menu_selected;
    const QString style_tool;
    const QString style_tool_selected;

    // The user-mode bar: rebuilt whole on every change, so these are valid
    // only until the next redraw.
    QWidget* widget_mode = nullptr;
    QLabel* mode_title = nullptr;
    QPushButton* slot_buttons[kModeSlots] = {};
    QLabel* pointer_label = nullptr;
    QFont bar_font;
    const QString style_slot;
    const QString style_slot_selected;
    const QString style_mode_bar;
};
