// The user-mode page's drawing of the selected slot: the information lines,
// the in-use badge, the buttons the slot offers and the preview - the
// windows 1 to 4 the mode shows, or its overlay while More is highlighted.
// Everything comes from the slot's saved block, never from the live one;
// only the badge looks at the mode in use.
#include "app/kelrampara.h"
#include "app/page_support.h"
#include "screens/menus/settings_texts.h"
#include "screens/setup/alias.h"
#include "screens/setup/custommode.h"
#include "screens/setup/sourceinfo.h"
#include "ui_custommode.h"
#include "videochip/omenu.h"

#include <QLabel>
#include <QPushButton>
#include <cstring>

namespace {

const pages::Texts kDefaultName = {QStringLiteral("名称:用户模式%1"), QStringLiteral("Name:Mode%1"),
                                   QStringLiteral("Название:Слот%1"), QStringLiteral("Tên:Chế độ%1"),
                                   QStringLiteral("名稱:用戶模式%1")};
const pages::Texts kLedSize = {QStringLiteral("LED参数:%1x%2"), QStringLiteral("LED size:%1x%2"),
                               QStringLiteral("Размер LED:%1x%2"), QStringLiteral("Kích thước LED:%1x%2"),
                               QStringLiteral("LED參數:%1x%2")};
const pages::Texts kAudioOff = {
    QStringLiteral("亮度:%1 对比度:%2 音量:关闭"), QStringLiteral("Bri:%1 CTRST:%2 Volume:OFF"),
    QStringLiteral("Яркость:%1 Контраст:%2 Громкость:Откл"), QStringLiteral("Độ sáng:%1 Tương phản:%2 Âm:đóng"),
    QStringLiteral("亮度:%1 對比度:%2 音量:關閉")};
const pages::Texts kAudioOn = {
    QStringLiteral("亮度:%1 对比度:%2 音量:开启"), QStringLiteral("Bri:%1 CTRST:%2 Volume:ON"),
    QStringLiteral("Яркость:%1 Контраст:%2 Громкость:Вкл"), QStringLiteral("Độ sáng:%1 Tương phản:%2 Âm:Mở"),
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

// The overlay page: a sample of the text in its colours over a line of its
// settings. It knows simplified and traditional Chinese and English.
const QRect kOverlaySample(6, 2, 300, 50);
const QRect kOverlaySettings(2, 56, 300, 30);
constexpr int kSampleLines = 3;
struct OverlayWords {
    const char* fontSize;
    const char* spacing;
    const char* start;
    const char* speed;
    const char* effects[6];  // by effect code; 0, 1 and any other: static
    const char* noFile;
};
const OverlayWords kOverlayZh = {"字体大小:",
                                 "字-行间距 [h:",
                                 "字幕坐标[x:",
                                 "速度:",
                                 {"特技:静止", "特技:静止", "特技:上移", "特技:下移", "特技:左移", "特技:右移"},
                                 "无字幕文件"};
const OverlayWords kOverlayTw = {"字體大小:",
                                 "字-行間距 [h:",
                                 "字幕坐標[x:",
                                 "速度:",
                                 {"特技:靜止", "特技:靜止", "特技:上移", "特技:下移", "特技:左移", "特技:右移"},
                                 "無字幕文件"};
const OverlayWords kOverlayEn = {
    "font size:",
    "space [h:",
    "char[x:",
    "speed:",
    {"effect:static", "effect:static", "effect:move up", "effect:move down", "effect:move left", "effect:move right"},
    "No overlay file"};
constexpr int kEffects = 6;
// Colours the overlay's sample falls back to when the file's are not
// RRGGBB (with or without "0x"): the text as the page draws text.
const char* const kSampleBackground = "10101C";
const char* const kSampleText = "FFFFFF";

KelRamPara* store()
{
    return KelRamPara::p_kelrampara_config;
}

// Slot `slot` as a block: the saved part in place, the run-time part zero.
KEL_RAM_PARA modeBlock(int slot)
{
    KEL_RAM_PARA b{};
    std::memcpy(reinterpret_cast<u8*>(&b) + ram::kUserModeStart, store()->ram_user_mode[slot].data, ram::kUserModeSize);
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
    const int source =
        store()->KelGetImageSource(reinterpret_cast<u8*>(&mode), static_cast<u8>(w), &isCrop, &record, 0);
    QString text = sourceinfo::get_source_name_by_sourceid(static_cast<u8>(source));
    const int r = static_cast<u8>(record);
    if (isCrop && r < ram::kCrops) {
        const u16 key = mode.crop_list[r].key;
        text += QStringLiteral("_Crop%1").arg(((key >> ram::kCropNumberShift) & ram::kCropNumberMask) + 1);
    }
    return text;
}

const OverlayWords& overlayWords()
{
    switch (pages::textLanguage()) {
    case pages::ZH: return kOverlayZh;
    case pages::TW: return kOverlayTw;
    default: return kOverlayEn;
    }
}

QString overlaySettings(const OMENU_PARA& o)
{
    const OverlayWords& w = overlayWords();
    auto n = [](i32 v) { return QString::number(static_cast<u32>(v)); };
    const int effect = o.effect >= 0 && o.effect < kEffects ? o.effect : 0;
    return QStringLiteral("osd [x:%1,y:%2,w:%3,h:%4] ").arg(n(o.pos_x), n(o.pos_y), n(o.pos_w), n(o.pos_h)) +
           QString::fromUtf8(w.fontSize) + n(o.fontw) + QLatin1Char('*') + n(o.fonth) + QLatin1Char('\n') +
           QString::fromUtf8(w.spacing) + n(o.wordspace) + QStringLiteral(",v:") + n(o.verticalspace) +
           QStringLiteral("] ") + QString::fromUtf8(w.start) + n(o.startx) + QStringLiteral(",y:") + n(o.starty) +
           QStringLiteral("] ") + QString::fromUtf8(w.speed) + n(o.speed) + QLatin1Char(',') +
           QString::fromUtf8(w.effects[effect]);
}

// An overlay colour as a style sheet takes it: RRGGBB, an "0x" before it
// dropped; anything else (the file comes from a PC) gives `fallback`.
QString sampleColour(const std::string& colour, const char* fallback)
{
    QString c = QString::fromStdString(colour);
    if (c.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        c = c.mid(2);
    bool hex = false;
    c.toUInt(&hex, 16);
    return hex && c.size() == 6 ? c : QLatin1String(fallback);
}

// The first three lines of the overlay's text.
QString sampleText(const std::string& texts)
{
    const QStringList lines = QString::fromStdString(texts).split(QLatin1Char('\n'));
    return lines.mid(0, kSampleLines).join(QLatin1Char('\n'));
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
            pages::pick(settingsTexts::kNamePrefix) + QString::fromStdString(alias.name), Qt::ElideRight, kNamePixels,
            Qt::TextShowMnemonic));
    else
        ui->label_name->setText(pages::pick(kDefaultName).arg(s + 1));
    pages::fitText(ui->label_name);
    ui->label_LED->setText(
        pages::pick(kLedSize).arg(static_cast<i16>(mode.led_width)).arg(static_cast<i16>(mode.led_height)));
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
    shown_status = static_cast<u8>(get_mode_status());
    if (shown_status != 1) {
        for (QWidget* w : std::initializer_list<QWidget*>{ui->label_LED, ui->label_brightness, ui->Button_delete,
                                                          ui->Button_use, ui->label_using, ui->Button_more})
            w->hide();
        showBlankText();
        ui->label_blank->show();
        more_hidden = 1;
        return;
    }
    const int s = g_mode_select;
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
    preview_widget->setObjectName(QStringLiteral("preview"));
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
    OSD_LIST list;
    const bool read =
        get_json_omenu_para(KelRamPara::modeOverlayPath(g_mode_select).c_str(), &list) && list.osd[0].osdcount != 0;
    const OMENU_PARA& o = list.osd[0];
    // What the preview shows of the labels' width.
    const int width = preview_widget->width();
    QLabel* sample = previewLabel(kOverlaySample.intersected(QRect(0, 0, width, kPreview.height())),
                                  read ? sampleText(o.texts) : QString());
    sample->setFrameShape(QFrame::NoFrame);
    sample->setStyleSheet(
        QStringLiteral("background-color:#%1;color:#%2;")
            .arg(sampleColour(o.backpara_color, kSampleBackground), sampleColour(o.font_color, kSampleText)));
    QLabel* settings = previewLabel(kOverlaySettings.intersected(QRect(0, 0, width, kPreview.height())),
                                    read ? overlaySettings(o) : QString::fromUtf8(overlayWords().noFile));
    settings->setFrameShape(QFrame::NoFrame);
    settings->setStyleSheet(kPreviewText);
    settings->setWordWrap(true);
    pages::fitText(settings);
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
