// The user-mode page's drawing of the selected slot: the information lines,
// the in-use badge, the buttons the slot offers and the preview - the
// windows 1 to 4 the mode shows, or its overlay while More is highlighted.
// Everything comes from the slot's saved block, never from the live one;
// only the badge looks at the mode in use.
#include "app/kelrampara.h"
#include "app/page_support.h"
#include "screens/setup/alias.h"
#include "screens/setup/custommode.h"
#include "screens/setup/sourceinfo.h"
#include "ui_custommode.h"

#include <QLabel>
#include <QPushButton>
#include <cstring>

namespace {

const pages::Texts kNamePrefix = {QStringLiteral("名称:"), QStringLiteral("Name:"), QStringLiteral("Название:"),
                                  QStringLiteral("Tên:"), QStringLiteral("名稱:")};
const pages::Texts kDefaultName = {QStringLiteral("名称:用户模式%1"), QStringLiteral("Name:Mode%1"),
                                   QStringLiteral("Название:Слот%1"), QStringLiteral("Tên:Chế độ%1"),
                                   QStringLiteral("名稱:用戶模式%1")};
const pages::Texts kLedSize = {QStringLiteral("LED参数:%1x%2"), QStringLiteral("LED size:%1x%2"),
                               QStringLiteral("Размер LED:%1x%2"), QStringLiteral("Kích thước LED:%1x%2"),
                               QStringLiteral("LED參數:%1x%2")};
const pages::Texts kAudioOff = {QStringLiteral("亮度:%1 对比度:%2 音量:关闭"), QStringLiteral("Bri:%1 CTRST:%2 Volume:OFF"),
                                QStringLiteral("Яркость:%1 Контраст:%2 Громкость:Откл"),
                                QStringLiteral("Độ sáng:%1 Tương phản:%2 Âm:đóng"),
                                QStringLiteral("亮度:%1 對比度:%2 音量:關閉")};
const pages::Texts kAudioOn = {QStringLiteral("亮度:%1 对比度:%2 音量:开启"), QStringLiteral("Bri:%1 CTRST:%2 Volume:ON"),
                               QStringLiteral("Яркость:%1 Контраст:%2 Громкость:Вкл"),
                               QStringLiteral("Độ sáng:%1 Tương phản:%2 Âm:Mở"),
                               QStringLiteral("亮度:%1 對比度:%2 音量:開啟")};
const pages::Texts kMoreCaption = {QStringLiteral("更多"), QStringLiteral("More"), QStringLiteral("Больше"),
                            QStringLiteral("Nhiều hơn"), QStringLiteral("更多")};
const pages::Texts kWindowOn = {QStringLiteral("开启"), QStringLiteral("ON"), QStringLiteral("Вкл"),
                                QStringLiteral("Mở"), QStringLiteral("開啟")};
const pages::Texts kWindowOff = {QStringLiteral("关闭"), QStringLiteral("OFF"), QStringLiteral("Откл"),
                                 QStringLiteral("đóng"), QStringLiteral("關閉")};

// Number boxes by window; any other index is grey.
const char* const kBoxColours[ram::kShownImages] = {"#D5E5FF", "#D4FC79", "#FC9D79", "#7E9AC9", "#32CC4C", "#4777FF"};
const char* const kOtherBoxColour = "#CCCCCC";
const char* const kPreviewText = "background-color: #10101C;color: #FFFFFF;";

const QRect kPreview(3, 61, 285, 90);
const QSize kPreviewMinimum(50, 60);
constexpr int kNamePixels = 171;  // what label_name shows of an alias

// The window list: windows 1 and 2 on the left, 3 and 4 on the right, each
// a number box, its source and state, and its place on the LED canvas.
constexpr int kListedWindows = 4;
constexpr int kRows = 2;
constexpr int kBaseLine0 = 16;
constexpr int kRowStep = 30;
constexpr int kAboveBaseLine = 14;
constexpr int kBoxX[kRows] = {0, 145};
constexpr int kTextX[kRows] = {24, 171};
const QSize kBox(24, 24);
const QSize kName(100, 12);
const QSize kPosition(140, 12);

KelRamPara* store()
{
    return KelRamPara::p_kelrampara_config;
}

// Slot `slot` as a block: the saved part in place, the run-time part zero.
KEL_RAM_PARA modeBlock(int slot)
{
    KEL_RAM_PARA b{};
    std::memcpy(reinterpret_cast<u8*>(&b) + ram::kUserModeStart, store()->ram_user_mode[slot].data,
                ram::kUserModeSize);
    return b;
}

bool modeInUse(int slot)
{
    return store()->KelGetCurrentModeIndex() == slot + 1;
}

// A window of the mode: its input's name, and for a crop the crop's number
// as the mode's crop table gives it (the number the other pages show).
QString windowSourceText(KEL_RAM_PARA& mode, int w)
{
    i16 isCrop = 0;
    char record = 0;
    const int source = store()->KelGetImageSource(reinterpret_cast<u8*>(&mode), static_cast<u8>(w), &isCrop, &record,
                                                  0);
    QString text = sourceinfo::get_source_name_by_sourceid(static_cast<u8>(source));
    const int r = static_cast<u8>(record);
    if (isCrop && r < ram::kCrops) {
        const u16 key = mode.crop_list[r].key;
        text += QStringLiteral("_Crop%1").arg(((key >> ram::kCropNumberShift) & ram::kCropNumberMask) + 1);
    }
    return text;
}

}  // namespace

void CustomMode::lcd_para_init()
{
    const int s = g_mode_select;
    const KEL_RAM_PARA mode = modeBlock(s);
    const bool audioOn = mode.image[ram::audioImage(mode)].audio & ram::kAudioOn;

    ALIAS_PARA alias;
    if (get_json_alias_para(&alias, "usermode", s) == 1)
        ui->label_name->setText(ui->label_name->fontMetrics().elidedText(
            pages::pick(kNamePrefix) + QString::fromStdString(alias.name), Qt::ElideRight, kNamePixels,
            Qt::TextShowMnemonic));
    else
        ui->label_name->setText(pages::pick(kDefaultName).arg(s + 1));
    pages::fitText(ui->label_name);
    ui->label_LED->setText(pages::pick(kLedSize).arg(static_cast<i16>(mode.led_width)).arg(
        static_cast<i16>(mode.led_height)));
    pages::fitText(ui->label_LED);
    ui->label_brightness->setText(pages::pick(audioOn ? kAudioOn : kAudioOff)
                                      .arg(static_cast<i16>(mode.brightness))
                                      .arg(static_cast<i16>(mode.contrast)));
    pages::fitText(ui->label_brightness);
    ui->Button_more->setText(pages::pick(kMoreCaption));
    pages::fitText(ui->Button_more);
    ui->label_using->setVisible(modeInUse(s));
}

void CustomMode::image_para_init()
{
    delete preview_widget;
    preview_widget = nullptr;
    const int s = g_mode_select;
    if (store()->KelUserModeSaved(s) != 1) {
        for (QWidget* w : std::initializer_list<QWidget*>{ui->label_LED, ui->label_brightness, ui->Button_delete,
                                                         ui->Button_use, ui->label_using, ui->Button_more})
            w->hide();
        ui->label_blank->show();
        more_hidden = 1;
        return;
    }
    ui->label_LED->show();
    ui->label_brightness->show();
    ui->label_blank->hide();
    ui->Button_delete->show();
    ui->Button_use->show();
    ui->label_using->setVisible(modeInUse(s));
    KEL_RAM_PARA mode = modeBlock(s);
    more_hidden = mode.osd_enable == 0 ? 1 : 0;
    ui->Button_more->setVisible(more_hidden == 0);

    preview_widget = new QWidget(ui->frame);
    preview_widget->setGeometry(kPreview);
    preview_widget->setMinimumSize(kPreviewMinimum);
    if (edit_mode == 1 && button_sel == kMore && more_hidden == 0)
        drawOverlay();
    else
        drawWindowList(mode);
    preview_widget->show();
}

void CustomMode::color_fill(QLabel* label, char index)
{
    const int i = static_cast<unsigned char>(index);
    const char* colour = i < ram::kShownImages ? kBoxColours[i] : kOtherBoxColour;
    label->setStyleSheet(QStringLiteral("background-color: %1;").arg(QLatin1String(colour)));
}

QLabel* CustomMode::previewLabel(const QRect& at, const QString& text)
{
    auto* label = new QLabel(preview_widget);
    label->setFont(preview_font);
    label->setGeometry(at);
    label->setText(text);
    return label;
}

void CustomMode::drawWindowList(const KEL_RAM_PARA& mode)
{
    KEL_RAM_PARA m = mode;
    for (int k = 0; k < kListedWindows; ++k) {
        const int column = k / kRows;
        const int y = kBaseLine0 + kRowStep * (k % kRows);
        const IMAGE_PARA& w = mode.image[k];
        QLabel* box = previewLabel(QRect(QPoint(kBoxX[column], y - kAboveBaseLine), kBox), QString::number(k + 1));
        box->setAlignment(Qt::AlignCenter);
        color_fill(box, static_cast<char>(k));
        QLabel* name = previewLabel(QRect(QPoint(kTextX[column], y - kAboveBaseLine), kName),
                                    windowSourceText(m, k) + QLatin1Char(' ') +
                                        pages::pick(w.enable != 0 ? kWindowOn : kWindowOff));
        name->setStyleSheet(kPreviewText);
        pages::fitText(name);
        QLabel* place = previewLabel(QRect(QPoint(kTextX[column], y), kPosition),
                                     QStringLiteral("[%1,%2]%3x%4").arg(w.x).arg(w.y).arg(w.w).arg(w.h));
        place->setStyleSheet(kPreviewText);
    }
}

void CustomMode::drawOverlay()
{
    // The mode's overlay copy is read by the overlay file reader.
}

QStringList CustomMode::previewTexts() const
{
    QStringList texts;
    if (!preview_widget)
        return texts;
    for (const QLabel* label : preview_widget->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
        texts << label->text();
    return texts;
}
