#include "app/numberkeyboard.h"

#include "app/page_support.h"
#include "screens/menus/settings_texts.h"
#include "ui_numberkeyboard.h"

#include <QKeyEvent>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

// The digits entered since the keypad was last opened or cleared; the
// first digit after label_show() therefore replaces the shown value.
QString l_str = boxstate::startValue(l_str, QString());

const QSize kBackspaceIcon(20, 20);

}  // namespace

NumberKeyboard::NumberKeyboard(QWidget* parent)
    : QDialog(parent), ui(new Ui::NumberKeyboard), style_white("background-color: rgb(255, 255, 255);border:1px ;"),
      style_white_selected("background-color: rgb(255, 255, 255);border:1px solid rgb(255,171,84);"),
      style_blue("background-color: rgb(71, 119, 255);border:1px ;"),
      style_blue_selected("background-color: rgb(71, 119, 255);border:1px solid rgb(255,171,84);")
{
    ui->setupUi(this);
    ui->lineEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[*0-9]+$")), ui->lineEdit));
    ui->ButtonX->setIcon(pages::icon(pages::plainPicture("delete.png")));
    ui->ButtonX->setIconSize(kBackspaceIcon);
    menulist_init();
    language_changed();
    // A touched digit is entered as OK enters the focused one.
    QPushButton* const digits[] = {ui->Button0, ui->Button1, ui->Button2, ui->Button3, ui->Button4,
                                   ui->Button5, ui->Button6, ui->Button7, ui->Button8, ui->Button9};
    for (int d = 0; d < 10; ++d)
        connect(digits[d], &QPushButton::clicked, this, [this, d] { enterDigit(d); });
}

NumberKeyboard::~NumberKeyboard()
{
    delete ui;
}

void NumberKeyboard::menulist_init()
{
    QWidget* const order[kKeys] = {ui->Button1, ui->Button2, ui->Button3,      ui->Button4,  ui->Button5,
                                   ui->Button6, ui->Button7, ui->Button8,      ui->Button9,  ui->Button0,
                                   ui->ButtonC, ui->ButtonX, ui->Button_close, ui->Button_ok};
    for (int i = 0; i < kKeys; ++i)
        focus_list[i] = order[i];
    ui_select = 0;
    current = focus_list[0];
    // No key shows the focus frame until the first LEFT or RIGHT.
    current->setStyleSheet(style_white);
}

void NumberKeyboard::language_changed()
{
    ui->Button_close->setText(pages::pick(settingsTexts::kCancel));
    ui->Button_ok->setText(pages::pick({QStringLiteral("确定"), QStringLiteral("OK"), QStringLiteral("OK"),
                                        QStringLiteral("Đồng ý"), QStringLiteral("確定")}));
}

void NumberKeyboard::label_show(QString title, QString value)
{
    // A long title wraps, or shrinks, beside the value.
    ui->label->setText(title);
    pages::fitText(ui->label);
    l_str.clear();
    ui->lineEdit->setText(value);
    language_changed();
}

QString NumberKeyboard::entry() const
{
    return ui->lineEdit->text();
}

// ---------------------------------------------------------------- the keys

void NumberKeyboard::enterDigit(int digit)
{
    l_str += QString::number(digit);
    ui->lineEdit->setText(l_str);
    pages::debugLine("l_str = %s", qPrintable(l_str));
}

void NumberKeyboard::on_ButtonC_clicked()
{
    ui->lineEdit->setText(QStringLiteral("0"));
    l_str.clear();
}

void NumberKeyboard::on_ButtonX_clicked()
{
    QString text = ui->lineEdit->text();
    text.chop(1);
    ui->lineEdit->setText(text);
    l_str = text;
}

void NumberKeyboard::on_Button_ok_clicked()
{
    emit sendKeyBoardUIDataToLineEdit(ui->lineEdit->text());
    hide();
}

void NumberKeyboard::on_Button_close_clicked()
{
    hide();
}

// ---------------------------------------------------------------- front-panel keys

const QString& NumberKeyboard::normalStyle(int index) const
{
    return index == kKeyOk ? style_blue : style_white;
}

const QString& NumberKeyboard::selectedStyle(int index) const
{
    return index == kKeyOk ? style_blue_selected : style_white_selected;
}

void NumberKeyboard::stepFocus(int step)
{
    const int next = (ui_select + step + kKeys) % kKeys;
    pages::moveFocus(current, normalStyle(ui_select), focus_list[next], selectedStyle(next));
    ui_select = static_cast<u8>(next);
    current = focus_list[next];
}

void NumberKeyboard::pressFocusedKey()
{
    switch (ui_select) {
    case kKeyZero: enterDigit(0); break;
    case kKeyClear: on_ButtonC_clicked(); break;
    case kKeyBackspace: on_ButtonX_clicked(); break;
    case kKeyCancel: on_Button_close_clicked(); break;
    case kKeyOk: on_Button_ok_clicked(); break;
    default:  // keys 1 to 9
        enterDigit(ui_select + 1);
        break;
    }
}

void NumberKeyboard::keyPressEvent(QKeyEvent* event)
{
    pages::notePress(event->key(), "NumberKeyboard");
}

void NumberKeyboard::keyReleaseEvent(QKeyEvent* event)
{
    releaseKey(event->key(), "NumberKeyboard", ui_select);
}
