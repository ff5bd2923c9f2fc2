// The user-mode page: page 4, a widget shown over the main window without a
// modal loop, opened by the main window's user-mode button and by the MODE
// key of every page (pages::openUserModePage). It steps through the 16
// user-mode slots with a selector, previews the selected slot's saved block
// (its name, LED size, brightness and windows, or its overlay), and recalls
// (Invoke) or deletes a saved mode. Saving a mode is the main window's.
//
// Keys: LEFT and RIGHT step the slot (wrapping); OK on a saved slot hands
// the keys to the button row (Invoke, Delete, and More while the mode
// carries an overlay), where LEFT and RIGHT move the highlight, OK acts and
// BACK returns to the selector. BACK from the selector goes to the home page
// when the page was opened by MODE, to the main window otherwise. MODE does
// nothing here, and the panel lock does not hold these keys.
#pragma once

#include "app/global.h"
#include "app/page_support.h"

#include <QFont>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace Ui {
class CustomMode;
}
class QLabel;
class QPushButton;
class kelcontrol;
struct KEL_RAM_PARA;

class CustomMode : public QWidget, private pages::PanelKeyHandler {
    Q_OBJECT
public:
    // The button row, as button_sel holds it.
    enum Button : u8 { kInvoke = 0, kDelete = 1, kMore = 2 };
    static constexpr int kButtons = 3;

    explicit CustomMode(QWidget* parent = nullptr);
    ~CustomMode() override;

    // The selector's 16 entries in the current language, at g_mode_select.
    void init();
    static QStringList slotEntries();
    // The selector has the keys, on g_mode_select.
    void menulist_init();
    // The information lines and the in-use badge of the selected slot.
    void lcd_para_init();
    // The buttons and the preview of the selected slot: the window list, or
    // the overlay while More is highlighted.
    void image_para_init();
    // The selection moved: g_mode_select follows, the slot is shown.
    void kel_button_mode_clicked();
    // The button row's highlight: kind 0 highlights button `index` and shows
    // the slot again, kind 1 takes the highlight off it, kind 2 off all three.
    void kel_button_selinfo(char kind, char index);
    // 1 when the selected slot is saved (and no save of it waits for the disk).
    int get_mode_status();
    // The colour of window `index`'s number box.
    void color_fill(QLabel* label, char index);

    void language_changed();
    // The change notifier's refresh while page 4 has focus.
    void syncUpdate();
    // The selected slot is drawn again when it was saved, or its save began
    // or stopped waiting for the disk, since it was drawn.
    void refreshSlotState();

    // ---- what the tests look at
    u8 selectedSlot() const { return ui_select; }
    bool buttonRowActive() const { return edit_mode == 1; }
    u8 highlightedButton() const { return button_sel; }
    kelcontrol* slotSelector() const { return selector; }
    // The texts of the preview's labels, top to bottom and left to right.
    QStringList previewTexts() const;

public slots:
    void on_Button_delete_clicked();
    void on_Button_use_clicked();
    // Closes the page for the main window.
    void slot_Button_back_clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    // The panel keys, at their release (pages::PanelKeyHandler::releaseKey).
    void onLeft() override;
    void onRight() override;
    void onOk() override;
    void onBack() override;
    // MODE does nothing here, and the panel lock holds none of these keys.
    bool modeRefused() const override { return false; }
    void stepSlot(int step);
    // Slot `slot` picked in the selector's open list (a tap, or OK in it):
    // selected as LEFT and RIGHT select one, the button row left.
    void pickSlot(int slot);
    // The line of a slot that is not saved: empty, or its save waits.
    void showBlankText();
    void stepButton(int step);
    QPushButton* button(int index) const;
    // The page was opened by MODE: BACK closes it for the home page.
    void leaveForHomePage();
    // ---- the preview
    void drawWindowList(const KEL_RAM_PARA& mode);
    void drawOverlay();
    QLabel* previewLabel(const QRect& at, const QString& text);

    Ui::CustomMode* ui;
    kelcontrol* selector = nullptr;
    QWidget* preview_widget = nullptr;
    QFont preview_font;
    u8 ui_select = 0;
    u8 edit_mode = 0;
    u8 button_sel = kInvoke;
    u8 more_hidden = 1;
    u8 shown_status = 0;  // get_mode_status() when the slot was last drawn
    const QString style_selected;
    const QString style_normal;
};
