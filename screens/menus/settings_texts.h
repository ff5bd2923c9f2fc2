// Texts that several settings and video set-up pages show alike.
#pragma once

#include "app/page_support.h"

namespace settingsTexts {

inline const pages::Texts kApply = {QStringLiteral("应用"), QStringLiteral("Apply"), QStringLiteral("OK"),
                                    QStringLiteral("Đồng ý"), QStringLiteral("應用")};
inline const pages::Texts kCancel = {QStringLiteral("取消"), QStringLiteral("Cancel"), QStringLiteral("Отмена"),
                                     QStringLiteral("Hủy bỏ"), QStringLiteral("取消")};
// Captions of a width and a height in pixels.
inline const pages::Texts kWidth = {QStringLiteral("宽"), QStringLiteral("W"), QStringLiteral("Ширина"),
                                    QStringLiteral("Rộng"), QStringLiteral("寬")};
inline const pages::Texts kHeight = {QStringLiteral("高"), QStringLiteral("H"), QStringLiteral("Высота"),
                                     QStringLiteral("Cao"), QStringLiteral("高")};
// The number keyboard's titles for a width and a height stay short in every
// language.
inline const pages::Texts kKeyWidth = {QStringLiteral("宽"), QStringLiteral("W"), QStringLiteral("W"),
                                       QStringLiteral("W"), QStringLiteral("寬")};
inline const pages::Texts kKeyHeight = {QStringLiteral("高"), QStringLiteral("H"), QStringLiteral("H"),
                                        QStringLiteral("H"), QStringLiteral("高")};
inline const pages::Texts kDelete = {QStringLiteral("删除"), QStringLiteral("Delete"), QStringLiteral("Удалить"),
                                     QStringLiteral("Xoá bỏ"), QStringLiteral("删除")};
// Put before a name.
inline const pages::Texts kNamePrefix = {QStringLiteral("名称:"), QStringLiteral("Name:"), QStringLiteral("Название:"),
                                         QStringLiteral("Tên:"), QStringLiteral("名稱:")};

}  // namespace settingsTexts
