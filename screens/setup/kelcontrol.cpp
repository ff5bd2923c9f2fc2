#include "screens/setup/kelcontrol.h"

#include "app/page_support.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>

namespace {

constexpr int kFontPoints = 9;

// The combo box of the selector. A combo box builds its drop-down list (a
// list view in a window of its own, with scroll bars) the first time its
// font changes, to give the list the same font; the selector's list is seen
// only if the box is tapped. This one is given its font as it is made and
// hands the font to its list when the list is about to show: the list is
// built at the first change of look (a style change builds it too), or at
// the first tap, not at every opening of the page.
class SelectorBox : public QComboBox {
public:
    SelectorBox(const QFont& font, QWidget* parent) : QComboBox(parent)
    {
        setFont(font);
    }

    void showPopup() override
    {
        QEvent fontChange(QEvent::FontChange);
        QComboBox::changeEvent(&fontChange);
        QComboBox::showPopup();
    }

protected:
    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::FontChange)
            QWidget::changeEvent(event);
        else
            QComboBox::changeEvent(event);
    }
};

}  // namespace

kelcontrol::kelcontrol(QRect box, QRect left, QRect right, QWidget* parent)
    : QWidget(parent),
      look_default("QComboBox{color:rgb(255,255,255);\nborder:1px solid rgb(255,171,84);\n}\n"
                   "QComboBox:drop-down{\nborder-style:none\n}\n"
                   "QLabel{color: rgb(255, 255, 255);border:1px solid rgb(255,171,84);background-color:rgb(0, 0, 0)}"),
      look_modify("QComboBox{color:rgb(255,255,255);\nborder:1px solid rgb(71,119,255);\n}\n"
                  "QComboBox:drop-down{\nborder-style:none\n}\n"
                  "QLabel{color: rgb(255, 255, 255);border:1px solid rgb(71,119,255);background-color:rgb(0, 0, 0)}")
{
    // The two looks are the selector's own sheet, set before its parts are
    // made: a combo box given a style of its own builds its drop-down list.
    pages::setStyle(this, look_default);
    QFont font;
    font.setPointSize(kFontPoints);

    combo = new SelectorBox(font, this);
    combo->setObjectName(QStringLiteral("kelcontrol"));
    combo->setGeometry(box);
    combo->setFocusPolicy(Qt::NoFocus);

    right_label = new QLabel(this);
    right_label->setGeometry(right);
    right_label->setFont(font);
    right_label->setText(QStringLiteral(">"));
    right_label->setAlignment(Qt::AlignCenter);

    left_label = new QLabel(this);
    left_label->setGeometry(left);
    left_label->setFont(font);
    left_label->setText(QStringLiteral("<"));
    left_label->setAlignment(Qt::AlignCenter);
}

kelcontrol::~kelcontrol() = default;

void kelcontrol::setLook(bool modifyLook)
{
    modify = modifyLook;
    // The parts match the new sheet at once only where the selector was
    // polished before it changed.
    ensurePolished();
    pages::setStyle(this, modify ? look_modify : look_default);
}

void kelcontrol::set_box_modify()
{
    setLook(true);
}

void kelcontrol::set_box_default()
{
    setLook(false);
}

void kelcontrol::set_boxindexsel(char index)
{
    combo->setCurrentIndex(static_cast<unsigned char>(index));
}
