// The style sheets and texts the smart-mapping page's tools share.
#pragma once

#include "app/page_support.h"

#include <QLabel>
#include <QPushButton>

namespace smartstyle {

// The seven shared by the four tools keep the page's own names (style_*).
// Buttons: resting, and with the key focus (orange border).
inline constexpr const char* style_button =
    "background-color: rgb(33, 36, 53);color:rgb(255, 255, 255);border:1px solid rgb(255, 255, 255);";
inline constexpr const char* style_button_focus =
    "background-color: rgb(33, 36, 53);color:rgb(255, 255, 255);border:1px solid rgb(255,171,84);";
// The load-scan menu button while no scan file is there.
inline constexpr const char* style_disabled =
    "background-color: gray;border:2px;border-radius:10px;padding:2px 4px;color:rgb(255,255,255)";
// The menu button of the tool the keys are in (blue border).
inline constexpr const char* style_menu_inside = "color:rgb(255, 255, 255);border:1px solid rgb(71, 119, 255);";
// The chosen group of LAN ports.
inline constexpr const char* style_group_selected =
    "background-color: #4777FF;color: rgb(255, 255, 255);border:1px solid rgb(255, 255, 255);";
// Number fields and the pattern buttons: resting, and with the key focus.
inline constexpr const char* style_edit =
    "color:rgb(255, 255, 255);background-color:rgb(33, 36, 53);border:1px solid rgb(255,255,255);";
inline constexpr const char* style_edit_focus =
    "color:rgb(255, 255, 255);background-color: rgb(33, 36, 53);border:1px solid rgb(255,171,84);";

// The LAN-port tiles: the chosen port's border is green.
inline constexpr const char* kTile = "background-color: #212435;border:1px solid #FFFFFF;";
inline constexpr const char* kTileChosen = "background-color: #212435;border:1px solid #00D65B;";
inline constexpr const char* kTileText = "background-color: #212435;color: #FFFFFF";
inline constexpr const char* kTransparent = "background-color: transparent;";

// The scan-file list.
inline constexpr const char* kListFrame = "#frame_file{background-color: rgb(33, 36, 53);border:1px solid #FFFFFF;}";
inline constexpr const char* kListIcon = "background-color: rgb(33, 36, 53);";

}  // namespace smartstyle

namespace smartTexts {

inline const pages::Texts kNext = {QStringLiteral("下一步"), QStringLiteral("Next"), QStringLiteral("Далее"),
                                   QStringLiteral("Tiếp theo"), QStringLiteral("下一步")};
inline const pages::Texts kPrevious = {QStringLiteral("上一步"), QStringLiteral("Previous"), QStringLiteral("Назад"),
                                       QStringLiteral("Trước"), QStringLiteral("上一步")};
// The group of LAN ports, with its first and last port.
inline const pages::Texts kPortGroup = {QStringLiteral("网口%1~%2"), QStringLiteral("LED%1~%2"),
                                        QStringLiteral("LED%1~%2"), QStringLiteral("LED%1~%2"),
                                        QStringLiteral("網口%1~%2")};

}  // namespace smartTexts

namespace smartTexts {

// A label's text at `points` (0: the form's size), shrunk when it does not fit.
inline void setLabel(QLabel* label, const QString& text, int points = 0)
{
    if (points > 0) {
        QFont font = label->font();
        font.setPointSize(points);
        label->setFont(font);
    }
    label->setText(text);
    pages::fitText(label);
}

// A button's caption at `points`, shrunk when it does not fit.
inline void setButton(QPushButton* button, const QString& text, int points)
{
    button->setText(text);
    QFont font = button->font();
    font.setPointSize(points);
    pages::fitText(button, font);
}

}  // namespace smartTexts
