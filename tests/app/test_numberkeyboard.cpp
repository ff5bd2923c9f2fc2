// The number keyboard and the touch line edit: entry rules with the
// front-panel keys and by touch, focus, confirming and cancelling.
#include "app/my_lineedit.h"
#include "app/numberkeyboard.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <functional>

namespace {

const char* const kKeys[NumberKeyboard::kKeys] = {"Button1", "Button2", "Button3",      "Button4",  "Button5",
                                                  "Button6", "Button7", "Button8",      "Button9",  "Button0",
                                                  "ButtonC", "ButtonX", "Button_close", "Button_ok"};

}  // namespace

class Keypad : public PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        kb = g_numberkeyboard;
        ASSERT_NE(kb, nullptr);
        kb->label_show(QStringLiteral("W"), QStringLiteral("1920"));
        kb->show();
    }
    QPushButton* button(const char* name) { return kb->findChild<QPushButton*>(name); }
    QLineEdit* line() { return kb->findChild<QLineEdit*>("lineEdit"); }
    // Moves the focus to key `index` with RIGHT or LEFT, the short way.
    void focusOn(int index)
    {
        while (kb->selected() != index) {
            const int ahead = (index - kb->selected() + NumberKeyboard::kKeys) % NumberKeyboard::kKeys;
            click(kb, ahead <= NumberKeyboard::kKeys / 2 ? Qt::Key_R : Qt::Key_S);
        }
    }
    void pressKey(int index)
    {
        focusOn(index);
        click(kb, Qt::Key_Q);
    }
    // A digit entered with the front-panel keys.
    void digit(int d) { pressKey(d == 0 ? NumberKeyboard::kKeyZero : d - 1); }

    NumberKeyboard* kb = nullptr;
};

TEST_F(Keypad, ShowsTitleAndValueAndNoKeyShowsFocusAtFirst)
{
    EXPECT_EQ(kb->selected(), 0);
    for (const char* name : kKeys) {
        ASSERT_NE(button(name), nullptr) << name;
        EXPECT_EQ(button(name)->focusPolicy(), Qt::NoFocus) << name;
        EXPECT_FALSE(orangeFramed(button(name))) << name;
    }
    EXPECT_EQ(kb->findChild<QLabel*>("label")->text(), QStringLiteral("W"));
    EXPECT_EQ(kb->entry(), QStringLiteral("1920"));
}

TEST_F(Keypad, TheFirstDigitReplacesTheValueAndLaterOnesAppend)
{
    digit(6);
    EXPECT_EQ(kb->entry(), QStringLiteral("6"));
    digit(4);
    EXPECT_EQ(kb->entry(), QStringLiteral("64"));
    for (int d = 0; d <= 9; ++d)
        digit(d);
    EXPECT_EQ(kb->entry(), QStringLiteral("640123456789"));
    // Clear shows zero, which the next digit replaces; nine then zero is ninety.
    pressKey(NumberKeyboard::kKeyClear);
    EXPECT_EQ(kb->entry(), QStringLiteral("0"));
    digit(9);
    digit(0);
    EXPECT_EQ(kb->entry(), QStringLiteral("90"));
    digit(0);
    EXPECT_EQ(kb->entry(), QStringLiteral("900"));
}

TEST_F(Keypad, BackspaceWorksOnTheShownTextAndLaterDigitsAppendToIt)
{
    pressKey(NumberKeyboard::kKeyBackspace);
    EXPECT_EQ(kb->entry(), QStringLiteral("192"));
    digit(1);
    EXPECT_EQ(kb->entry(), QStringLiteral("1921"));
    // On an empty entry it stays empty.
    kb->label_show(QStringLiteral("W"), QString());
    pressKey(NumberKeyboard::kKeyBackspace);
    EXPECT_EQ(kb->entry(), QString());
}

TEST_F(Keypad, FocusWrapsBothWaysAndSurvivesHiding)
{
    click(kb, Qt::Key_S);  // LEFT from key 1
    EXPECT_EQ(kb->selected(), NumberKeyboard::kKeyOk);
    EXPECT_TRUE(orangeFramed(button("Button_ok")));
    click(kb, Qt::Key_F5);  // RIGHT from OK
    EXPECT_EQ(kb->selected(), 0);
    EXPECT_FALSE(orangeFramed(button("Button_ok")));
    EXPECT_TRUE(orangeFramed(button("Button1")));
    click(kb, Qt::Key_R);
    EXPECT_FALSE(orangeFramed(button("Button1")));
    EXPECT_TRUE(orangeFramed(button("Button2")));
    // The focus survives hiding and showing.
    kb->hide();
    kb->label_show(QStringLiteral("H"), QStringLiteral("1080"));
    kb->show();
    EXPECT_EQ(kb->selected(), 1);
}

TEST_F(Keypad, OkConfirmsTheEntryEvenUneditedAndBackOrCancelHideWithoutConfirming)
{
    QSignalSpy confirmed(kb, &NumberKeyboard::sendKeyBoardUIDataToLineEdit);
    QTest::mouseClick(button("Button_ok"), Qt::LeftButton);
    ASSERT_EQ(confirmed.count(), 1);
    EXPECT_EQ(confirmed.at(0).at(0).toString(), QStringLiteral("1920"));
    EXPECT_FALSE(kb->isVisible());
    kb->show();
    digit(3);
    digit(2);
    pressKey(NumberKeyboard::kKeyOk);
    ASSERT_EQ(confirmed.count(), 2);
    EXPECT_EQ(confirmed.at(1).at(0).toString(), QStringLiteral("32"));

    const std::function<void()> closers[] = {[this] { click(kb, Qt::Key_PowerOff); },
                                             [this] { pressKey(NumberKeyboard::kKeyCancel); },
                                             [this] { QTest::mouseClick(button("Button_close"), Qt::LeftButton); }};
    for (const auto& close : closers) {
        kb->show();
        digit(7);
        close();
        EXPECT_FALSE(kb->isVisible());
    }
    EXPECT_EQ(confirmed.count(), 2);
}

TEST_F(Keypad, TouchedKeysActAtOnceTypedInputTakesDigitsAndStarsAndModeDoesNothing)
{
    click(kb, Qt::Key_M);
    EXPECT_TRUE(kb->isVisible());
    EXPECT_EQ(g_mode_shortcut_key, 0);
    EXPECT_EQ(kb->entry(), QStringLiteral("1920"));
    QTest::mouseClick(button("ButtonX"), Qt::LeftButton);
    EXPECT_EQ(kb->entry(), QStringLiteral("192"));
    QTest::mouseClick(button("ButtonC"), Qt::LeftButton);
    EXPECT_EQ(kb->entry(), QStringLiteral("0"));
    // A touched digit is entered as OK enters the focused one.
    QTest::mouseClick(button("Button9"), Qt::LeftButton);
    QTest::mouseClick(button("Button0"), Qt::LeftButton);
    EXPECT_EQ(kb->entry(), QStringLiteral("90"));
    EXPECT_EQ(kb->selected(), 0);  // the focus did not move
    line()->clear();
    QTest::keyClicks(line(), "12a*3-");
    EXPECT_EQ(kb->entry(), QStringLiteral("12*3"));
}

// ---------------------------------------------------------------- the touch line edit

TEST_F(Keypad, ATouchedFieldAsksForTheKeypadWithItsText)
{
    My_lineEdit field;
    EXPECT_EQ(field.text(), QString());
    field.setText(QStringLiteral("540"));
    QSignalSpy asked(&field, &My_lineEdit::send_show);
    QTest::mouseClick(&field, Qt::LeftButton);
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(asked.at(0).at(0).toString(), QStringLiteral("540"));
    // The round trip a page makes: show the keypad with the value, confirm a new one.
    QString written;
    QObject::connect(&field, &My_lineEdit::send_show, kb, [this](const QString& text) {
        kb->label_show(QStringLiteral("H"), text);
        kb->show();
    });
    QObject::connect(kb, &NumberKeyboard::sendKeyBoardUIDataToLineEdit, &field, &QLineEdit::setText);
    kb->hide();
    QTest::mouseClick(&field, Qt::LeftButton);
    EXPECT_TRUE(kb->isVisible());
    EXPECT_EQ(kb->entry(), QStringLiteral("540"));
    digit(7);
    digit(2);
    digit(0);
    pressKey(NumberKeyboard::kKeyOk);
    EXPECT_EQ(field.text(), QStringLiteral("720"));
}
