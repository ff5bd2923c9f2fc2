#include "screens/setup/kelcontrol.h"

#include "app/page_support.h"
#include "screens/page.h"

#include <QLabel>

namespace {

constexpr int kFontPoints = 9;

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
    // The two looks are one sheet on the selector, set before its parts are
    // made so that they match it as they are made.
    pages::setStyle(this, look_default);
    QFont font;
    font.setPointSize(kFontPoints);

    combo = new ChoiceBox(this);
    combo->setObjectName(QStringLiteral("kelcontrol"));
    combo->setFont(font);
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
