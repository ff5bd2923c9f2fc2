// The number keyboard: the one on-screen keypad of the box, shown beside a
// page that takes a number. A page calls label_show() with the field's
// title and value and shows it; the keypad emits the confirmed entry with
// sendKeyBoardUIDataToLineEdit and hides. Digits are entered with the
// front-panel keys (LEFT and RIGHT move the focus over the 14 keys, OK
// presses the focused one) or by touch.
#pragma once

#include "app/global.h"
#include "app/page_support.h"

#include <QDialog>
#include <QString>

namespace Ui {
class NumberKeyboard;
}

class NumberKeyboard : public QDialog, public pages::PanelKeyHandler {
    Q_OBJECT
public:
    static constexpr int kKeys = 14;
    // Focus-list indices of the keys that are not digits.
    static constexpr u8 kKeyZero = 9;
    static constexpr u8 kKeyClear = 10;
    static constexpr u8 kKeyBackspace = 11;
    static constexpr u8 kKeyCancel = 12;
    static constexpr u8 kKeyOk = 13;

    explicit NumberKeyboard(QWidget* parent = nullptr);
    ~NumberKeyboard() override;

    // The field's title and value; the first digit entered replaces the value.
    void label_show(QString title, QString value);
    // Cancel and OK texts in the current language.
    void language_changed();

    // State the tests look at.
    u8 selected() const { return ui_select; }
    QString entry() const;

signals:
    void sendKeyBoardUIDataToLineEdit(QString text);

public slots:
    void on_ButtonC_clicked();
    void on_ButtonX_clicked();
    void on_Button_ok_clicked();
    void on_Button_close_clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void menulist_init();
    void stepFocus(int step);
    void pressFocusedKey();
    // The panel keys: LEFT and RIGHT step the focus, OK presses the focused
    // key, BACK cancels; the keyboard has no user-mode key, and MODE goes on
    // to the key pad whatever the panel lock.
    void onLeft() override { stepFocus(-1); }
    void onRight() override { stepFocus(1); }
    void onOk() override { pressFocusedKey(); }
    void onBack() override { on_Button_close_clicked(); }
    bool modeRefused() const override { return false; }
    void enterDigit(int digit);
    const QString& normalStyle(int index) const;
    const QString& selectedStyle(int index) const;

    Ui::NumberKeyboard* ui;
    u8 ui_select = 0;
    QWidget* current = nullptr;
    QWidget* focus_list[kKeys] = {};

    const QString style_white;
    const QString style_white_selected;
    const QString style_blue;
    const QString style_blue_selected;
};
