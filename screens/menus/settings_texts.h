// Texts that several settings pages show alike.
#pragma once

#include "app/page_support.h"

namespace settingsTexts {

inline const pages::Texts kApply = {QStringLiteral("应用"), QStringLiteral("Apply"), QStringLiteral("OK"),
                                    QStringLiteral("Đồng ý"), QStringLiteral("應用")};
inline const pages::Texts kCancel = {QStringLiteral("取消"), QStringLiteral("Cancle"), QStringLiteral("Отмена"),
                                     QStringLiteral("Hủy bỏ"), QStringLiteral("取消")};
// Captions of a width and a height in pixels.
inline const pages::Texts kWidth = {QStringLiteral("宽"), QStringLiteral("W"), QStringLiteral("Ширина"),
                                    QStringLiteral("Rộng"), QStringLiteral("寬")};
inline const pages::Texts kHeight = {QStringLiteral("高"), QStringLiteral("H"), QStringLiteral("Высота"),
                                     QStringLiteral("Cao"), QStringLiteral("高")};

}  // namespace settingsTexts
