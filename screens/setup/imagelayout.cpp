#include "screens/setup/imagelayout.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "screens/page_directory.h"
#include "screens/menus/settings_texts.h"
#include "screens/setup/source_names.h"
#include "screens/setup/sourceinfo.h"
#include "ui_imagelayout.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

namespace {

const pages::Texts kTitle = {QStringLiteral("画面布局"), QStringLiteral("Screen layout"),
                             QStringLiteral("Расположение"), QStringLiteral("Bố cục màn hình"),
                             QStringLiteral("畫麵佈局")};
const pages::Texts kDbdCaption = {QStringLiteral("点对点"), QStringLiteral("DBD"), QStringLiteral("Пиксель к пикселю"),
                                  QStringLiteral("Điểm tới điểm"), QStringLiteral("點對點")};
const pages::Texts kMirrorCaption = {QStringLiteral("镜像"), QStringLiteral("mirror"), QStringLiteral("Отражение"),
                                     QStringLiteral("Ảnh phản chiếu"), QStringLiteral("鏡像")};
const pages::Texts kStatePrefix = {QStringLiteral("画面状态:"), QStringLiteral("Image state:"),
                                   QStringLiteral("Состояние:"), QStringLiteral("Trạng thái:"),
                                   QStringLiteral("畫麵狀態:")};
const pages::Texts kStateOn = {QStringLiteral("开启"), QStringLiteral("ON"), QStringLiteral("Вкл"),
                               QStringLiteral("Mở"), QStringLiteral("開啟")};
const pages::Texts kStateOff = {QStringLiteral("关闭"), QStringLiteral("OFF"), QStringLiteral("Откл"),
                                QStringLiteral("Đóng"), QStringLiteral("關閉")};
// Formatted with the window's number.
const pages::Texts kDefaultName = {QStringLiteral("画面名称:画面%1"), QStringLiteral("Name:Image%1"),
                                   QStringLiteral("Название:Канал%1"), QStringLiteral("Tên:Hình ảnh%1"),
                                   QStringLiteral("畫麵名稱:畫麵%1")};
const pages::Texts kSourcePrefix = {QStringLiteral("信源:"), QStringLiteral("Source:"), QStringLiteral("Источник:"),
                                    QStringLiteral("Nguồn tín hiệu:"), QStringLiteral("信源:")};
// The dot-by-dot arrangements: off, on, HD3 and HD4 side by side, one above the other.
const pages::Texts kDbdItems[] = {
    {QStringLiteral("点对点关闭"), QStringLiteral("OFF"), QStringLiteral("Откл"), QStringLiteral("Đóng"),
     QStringLiteral("點對點關閉")},
    {QStringLiteral("点对点开启"), QStringLiteral("ON"), QStringLiteral("Вкл"), QStringLiteral("Mở"),
     QStringLiteral("點對點開啟")},
    {QStringLiteral("HD3,HD4水平拼接"), QStringLiteral("HD3,HD4 Hor"), QStringLiteral("Гор HD3,HD4"),
     QStringLiteral("Nối ngang HD3,HD4"), QStringLiteral("HD3,HD4水平拼接")},
    {QStringLiteral("HD3,HD4垂直拼接"), QStringLiteral("HD3,HD4 Ver"), QStringLiteral("Вер HD3,HD4"),
     QStringLiteral("Ghép dọc HD3,HD4"), QStringLiteral("HD3,HD4垂直拼接")},
};
enum DbdItem { kDbdOff = 0, kDbdOn = 1, kDbdSideBySide = 2, kDbdStacked = 3 };
// dbd_mode values of the two arrangements.
constexpr u16 kDbdModeSideBySide = 8;
constexpr u16 kDbdModeStacked = 9;

constexpr int kTabStep = 51;
const QRect kWindowFrame(7, 39, 51, 49);

KelRamPara* store()
{
    return KelRamPara::p_kelrampara_config;
}

}  // namespace

ImageLayout::ImageLayout(QWidget* parent) : Page(PAGE_WINDOW_LAYOUT, parent), ui(new Ui::ImageLayout)
{
    ui->setupUi(this);
    image_index = g_image_current.load();
    language_changed();
}

ImageLayout::~ImageLayout()
{
    delete ui;
}

void ImageLayout::language_changed()
{
    ui->label_title->setText(pages::pick(kTitle));
    pages::showText(ui->label_P2P, kDbdCaption);
    pages::showText(ui->label_W, settingsTexts::kWidth);
    pages::showText(ui->label_H, settingsTexts::kHeight);
    pages::showText(ui->label_mirror, kMirrorCaption);
    QStringList items;
    for (const pages::Texts& item : kDbdItems)
        items << pages::pick(item);
    pages::setChoices(ui->comboBox_P2P, items, ui->comboBox_P2P->currentIndex());
    image_index = g_image_current.load();
    image_init();
    image_para_update();
}

void ImageLayout::syncUpdate(int code)
{
    Page::syncUpdate(code);
    image_index = g_image_current.load();
    image_init();
    image_para_update();
}

// ---------------------------------------------------------------- the window shown

void ImageLayout::image_init()
{
    const bool on = image_index < ram::kImages && store()->ram_para.image[image_index].enable != 0;
    ui->image_state->setText(pages::pick(kStatePrefix) + pages::pick(on ? kStateOn : kStateOff));
    pages::fitText(ui->image_state);
    ui->frame_image->setGeometry(kWindowFrame.translated(kTabStep * image_index, 0));
}

void ImageLayout::image_para_update()
{
    if (image_index >= ram::kImages)
        return;
    KEL_RAM_PARA& live = store()->ram_para;
    const IMAGE_PARA& w = live.image[image_index];

    const QString alias = sourcenames::alias("win", image_index);
    if (alias.isEmpty()) {
        ui->image_name->setText(pages::pick(kDefaultName).arg(image_index + 1));
    } else {
        const QString prefix = pages::pick(settingsTexts::kNamePrefix);
        const QFontMetrics metrics(ui->image_name->font());
        const int room = ui->image_name->width() - metrics.horizontalAdvance(prefix);
        ui->image_name->setText(prefix + sourcenames::elided(alias, ui->image_name->font(), room));
    }
    pages::fitText(ui->image_name);

    const int source = store()->KelGetImageSource(reinterpret_cast<u8*>(&live), image_index, nullptr, nullptr, 0);
    ui->image_source->setText(pages::pick(kSourcePrefix) +
                              sourceinfo::get_source_name_by_sourceid(static_cast<u8>(source)));
    pages::fitText(ui->image_source);

    ui->lineEdit_X->setText(QString::number(w.x));
    ui->lineEdit_Y->setText(QString::number(w.y));
    ui->lineEdit_W->setText(QString::number(w.w));
    ui->lineEdit_H->setText(QString::number(w.h));
    mirror_select(w.mirror);
    dbdSelect(w);
}

void ImageLayout::mirror_select(int mode)
{
    QLabel* const pictures[kMirrorModes] = {ui->mirror1, ui->mirror2, ui->mirror3, ui->mirror4};
    // A mode the chip does not know lights none.
    for (int m = 0; m < kMirrorModes; ++m) {
        const QString name = QStringLiteral("mirror%1_%2.png").arg(m + 1).arg(m == mode ? "on" : "off");
        pictures[m]->setPixmap(pages::pixmap(pages::plainPicture(name)));
    }
}

void ImageLayout::dbdSelect(const IMAGE_PARA& window)
{
    int item = kDbdOff;
    if (window.flags & ram::kFlagDotByDot) {
        switch (window.dbd_mode) {
        case kDbdModeSideBySide: item = kDbdSideBySide; break;
        case kDbdModeStacked: item = kDbdStacked; break;
        default: item = kDbdOn; break;
        }
    }
    ui->comboBox_P2P->setCurrentIndex(item);
}

// ---------------------------------------------------------------- keys

void ImageLayout::stepWindow(int step)
{
    image_index = static_cast<u8>(step < 0 ? (image_index == 0 ? kWindows - 1 : image_index - 1)
                                           : (image_index + 1 < kWindows ? image_index + 1 : 0));
    // Whether or not the window is switched on.
    g_image_current = image_index;
    image_init();
    image_para_update();
    KelRamPara::test_signal(SYNC_PARA_CHANGED);
}

void ImageLayout::onLeft()
{
    stepWindow(-1);
}

void ImageLayout::onRight()
{
    stepWindow(1);
}

void ImageLayout::onOk()
{
    pages::openPage(PAGE_INPUT_CHOICE);
}
