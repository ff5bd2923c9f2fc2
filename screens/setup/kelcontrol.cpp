#include "screens/setup/kelcontrol.h"

#include "app/page_support.h"

#include <QComboBox>
#include <QLabel>

namespace {

constexpr int kFontPoints = 9;

}  // namespace

kelcontrol::kelcontrol(QRect box, QRect left, QRect right, QWidget* parent)
    : QWidget(parent),
      arrow_default("color: rgb(255, 255, 255);border:1px solid rgb(255,171,84);background-color:rgb(0, 0, 0)"),
      arrow_modify("color: rgb(255, 255, 255);border:1px solid rgb(71,119,255);background-color:rgb(0, 0, 0)"),
      combo_default("QComboBox{color:rgb(255,255,255);\nborder:1px solid rgb(255,171,84);\n}\n"
                    "QComboBox:drop-down{\nborder-style:none\n}"),
      combo_modify("QComboBox{color:rgb(255,255,255);\nborder:1px solid rgb(71,119,255);\n}\n"
                   "QComboBox:drop-down{\nborder-style:none\n}")
{
    font.setPointSize(kFontPoints);

    combo = new QComboBox(this);
    combo->setObjectName(QStringLiteral("kelcontrol"));
    combo->setGeometry(box);
    combo->setFont(font);
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

    setLook(false);
}

kelcontrol::~kelcontrol() = default;

void kelcontrol::setLook(bool modifyLook)
{
    modify = modifyLook;
    pages::setStyle(combo, modify ? combo_modify : combo_default);
    pages::setStyle(right_label, modify ? arrow_modify : arrow_default);
    pages::setStyle(left_label, modify ? arrow_modify : arrow_default);
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
