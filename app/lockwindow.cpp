#include "app/lockwindow.h"

#include "app/kelrampara.h"
#include "app/mainwindow.h"
#include "app/page_support.h"
#include "screens/page_directory.h"
#include "screens/setup/source_names.h"
#include "screens/setup/sourceinfo.h"
#include "ui_lockwindow.h"
#include "videochip/x518_manage.h"

#include <QDebug>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>

namespace {

const pages::Texts kCanvasSize = {
    QStringLiteral("LED屏:%1 x %2"), QStringLiteral("LED size:%1 x %2"), QStringLiteral("Размер LED:%1 x %2"),
    QStringLiteral("Led:%1 x %2"),   QStringLiteral("LED屏:%1 x %2"),
};
const pages::Texts kBlack = {
    QStringLiteral("黑屏"),    QStringLiteral("Black"), QStringLiteral("Черный"),
    QStringLiteral("Màn đen"), QStringLiteral("黑屏"),
};
// A shown window while the video chip does not run: whatever the input
// brings, nothing reaches the screen.
const pages::Texts kCannotShow = {
    QStringLiteral("无法显示画面"),       QStringLiteral("Cannot show picture"), QStringLiteral("Показ невозможен"),
    QStringLiteral("Không thể hiển thị"), QStringLiteral("無法顯示畫面"),
};
// A window the input channels cannot carry (register 45): it shows black.
const pages::Texts kNoChannel = {
    QStringLiteral("通道不足"), QStringLiteral("No channel"), QStringLiteral("Нет канала"),
    QStringLiteral("Hết kênh"), QStringLiteral("通道不足"),
};
const pages::Texts kWindowOff = {
    QStringLiteral("未开启"), QStringLiteral("Close"),  QStringLiteral("Откл"),
    QStringLiteral("Đóng"),   QStringLiteral("未開啟"),
};

// Colour of each window's number square.
const char* const kNumberStyle[LockWindow::kTiles] = {
    "background-color: #867AE9;font: 20px",
    "background-color: #EBA83A;font: 20px",
    "background-color: #005A8D;font: 20px",
    "background-color: #FF96AD;font: 20px",
};
const char* const kTileTextStyle = "color: rgb(255, 255, 255);";
constexpr int kTileTextPixels = 10;

const QRect kTileFrame(0, 74, 320, 160);
constexpr int kColumnStep = 155;
constexpr int kRowStep = 50;
const QRect kNumber(10, 10, 40, 40);
const QRect kCurrentMark(28, 0, 12, 12);
const QRect kFreezeMark(0, 0, 16, 16);
const QRect kName(55, 13, 100, 15);
// Three pixels taller than the line: Vietnamese stacks its marks above it.
const QRect kShownState(55, 28, 100, 15);
const QRect kHiddenState(55, 20, 40, 15);
const QSize kMenuButtonIcon(20, 20);

// The input's name by source id; empty for an id that names no input.
QString sourceName(int source)
{
    return source >= 0 ? sourceinfo::get_source_name_by_sourceid(static_cast<u8>(source)) : QString();
}

// An operator's alias may be longer than the tile: it ends in an ellipsis.
QString fittedName(const QLabel* label, const QString& name)
{
    constexpr int kAliasPixels = 206;
    const int width = qMin(kAliasPixels, label->contentsRect().width());
    return label->fontMetrics().elidedText(name, Qt::ElideRight, width);
}

KelRamPara* store()
{
    return KelRamPara::p_kelrampara_config;
}

QLabel* tileText(QWidget* parent, const QRect& at)
{
    auto* label = new QLabel(parent);
    QFont f = label->font();
    f.setPixelSize(kTileTextPixels);
    label->setFont(f);
    label->setStyleSheet(kTileTextStyle);
    label->setGeometry(at);
    return label;
}

QLabel* mark(QWidget* parent, const QRect& at, const char* picture)
{
    auto* label = new QLabel(parent);
    label->setGeometry(at);
    label->setScaledContents(true);
    label->setPixmap(pages::pixmap(pages::plainPicture(QLatin1String(picture))));
    return label;
}

// Name and state of a shown window.
struct TileTexts {
    QString name;
    QString state;
};

TileTexts shownWindowTexts(KelRamPara* s, int image)
{
    KEL_RAM_PARA& b = s->ram_para;
    i16 isCrop = 0;
    char cropIndex = 0;
    const int source = s->KelGetImageSource(reinterpret_cast<u8*>(&b), static_cast<u8>(image), &isCrop, &cropIndex, 0);
    TileTexts t;
    int width = 0, height = 0;
    if (!isCrop) {
        t.name = sourceName(source);
        const QString alias = sourcenames::alias("source", source);
        if (!alias.isEmpty())
            t.name = alias;
        if (const SOURCE_STATUS* st = ram::sourceStatus(b, source)) {
            width = st->width;
            height = st->height;
        }
    } else {
        s->KelCropSourceInit();
        const int record = static_cast<u8>(cropIndex);
        const int rank = s->KelGetSourceNum(source, record + 1);
        CROP_PARA crop{};
        int found = ram::kCrops;
        s->KelGetCropPara(source, rank, &crop, &found);
        const u16 key =
            found < ram::kCrops ? static_cast<u16>(crop.key) : (record < ram::kCrops ? b.crop_list[record].key : 0);
        const int number = ((key >> ram::kCropNumberShift) & ram::kCropNumberMask) + 1;
        t.name = sourceName(source) + QStringLiteral("_Crop%1").arg(number);
        if (found < ram::kCrops) {
            width = crop.w;
            height = crop.h;
        }
    }
    // A source id that names no input (a protocol may write one) has no signal.
    const SOURCE_STATUS* st = ram::sourceStatus(b, source);
    const int rate = st ? st->rate : 0;
    if (b.led_off == 1)
        t.state = pages::pick(kBlack);
    else if (x518_manage::chipDown())
        t.state = pages::pick(kCannotShow);
    else if (s->reg_image.window_refused & (1u << image))
        t.state = pages::pick(kNoChannel);
    else if (width && height && rate)
        t.state = QStringLiteral("%1x%2@%3Hz").arg(width).arg(height).arg(rate);
    else
        t.state = pages::noSignalText();
    if (b.image[image].flags & ram::kFlagBlack)
        t.state = pages::pick(kBlack);
    return t;
}

}  // namespace

LockWindow::LockWindow(QWidget* parent) : QDialog(parent), ui(new Ui::LockWindow)
{
    ui->setupUi(this);
    pages::placeOverMainWindow(this);
    ui->widget->installEventFilter(this);
    ui->main_Button->setIcon(pages::icon(pages::plainPicture("menu_status.png")));
    ui->main_Button->setIconSize(kMenuButtonIcon);
    ui->main_Button->hide();
    ui->label_LED_icon->setPixmap(pages::pixmap(pages::plainPicture("LED.png")));
    ui->label_ip->setPixmap(pages::pixmap(pages::plainPicture("ip.png")));
    ui->label_bright_icon->setPixmap(pages::pixmap(pages::plainPicture("bright.png")));
    ui->label_contrast_icon->setPixmap(pages::pixmap(pages::plainPicture("contrast.png")));
    ui->label_volume->hide();
    para_init();
    ip_changed();
    // The tiles and the canvas size, in the language shown.
    language_changed();
}

LockWindow::~LockWindow()
{
    if (g_lockwindow == this)
        g_lockwindow = nullptr;
    delete ui;
}

// ---------------------------------------------------------------- drawing

void LockWindow::showCanvasSize()
{
    KelRamPara* s = store();
    if (!s)
        return;
    ui->label_input->setText(pages::pick(kCanvasSize).arg(s->ram_para.led_width).arg(s->ram_para.led_height));
    pages::fitText(ui->label_input);
}

void LockWindow::showVolume(bool audioOn)
{
    ui->label_volume_icon->setPixmap(
        pages::pixmap(pages::plainPicture(audioOn ? "volume_open.png" : "volume_close.png")));
}

bool LockWindow::volume_check()
{
    KelRamPara* s = store();
    if (!s)
        return false;
    return s->ram_para.image[ram::audioImage(s->ram_para)].audio & ram::kAudioOn;
}

void LockWindow::para_init()
{
    KelRamPara* s = store();
    if (!s)
        return;
    showCanvasSize();
    ui->label_bright->setText(QString::number(s->ram_para.brightness));
    ui->label_contrast->setText(QString::number(s->ram_para.contrast));
    showVolume(volume_check());
}

void LockWindow::ip_changed()
{
    ui->label_IPaddr->setText(settingsRead(g_str_ip));
}

void LockWindow::language_changed()
{
    showCanvasSize();
    image_init();
}

// What tile i shows, from the live block.
LockWindow::TileLook LockWindow::tileLook(int i) const
{
    TileLook look;
    look.current = i == g_image_current.load();
    KelRamPara* s = store();
    if (!s)
        return look;
    const IMAGE_PARA& image = s->ram_para.image[i];
    // Window 0 always counts as shown on this page.
    look.shown = i == 0 || image.enable == 1;
    if (look.shown) {
        const TileTexts t = shownWindowTexts(s, i);
        look.name = t.name;
        look.state = t.state;
    } else {
        look.state = pages::pick(kWindowOff);
    }
    look.frozen = image.flags & ram::kFlagFreeze;
    return look;
}

void LockWindow::image_init()
{
    for (int i = 0; i < kTiles; ++i)
        tile_look[i] = tileLook(i);
    delete tiles;
    tiles = new QFrame(this);
    tiles->setGeometry(kTileFrame);
    tiles->installEventFilter(this);
    for (int i = 0; i < kTiles; ++i)
        addTile(i);
    tiles->show();
}

void LockWindow::addTile(int i)
{
    const TileLook& look = tile_look[i];
    const int column = i % 2, row = i / 2;
    const QPoint at(column * kColumnStep, row * kRowStep);

    auto* number = new QLabel(QString::number(i + 1), tiles);
    number->setGeometry(kNumber.translated(at));
    number->setAlignment(Qt::AlignCenter);
    number->setStyleSheet(kNumberStyle[i]);
    tile_name[i] = tileText(tiles, kName.translated(at));
    tile_state[i] = tileText(tiles, (look.shown ? kShownState : kHiddenState).translated(at));
    tile_name[i]->setText(fittedName(tile_name[i], look.name));
    tile_state[i]->setText(look.state);
    pages::fitText(tile_state[i]);
    if (look.current)
        mark(number, kCurrentMark, "osd_yes.png");
    if (look.frozen)
        mark(number, kFreezeMark, "freeze.png");
}

void LockWindow::syncUpdate()
{
    KelRamPara* s = store();
    if (!s)
        return;
    if (s->KelLanguageChanged() == 1)
        language_changed();
    const KEL_RAM_PARA& live = s->ram_para;
    const KEL_RAM_PARA& shadow = s->ram_para_shadow;
    if (live.led_width != shadow.led_width || live.led_height != shadow.led_height)
        showCanvasSize();
    if (live.brightness != shadow.brightness)
        ui->label_bright->setText(QString::number(live.brightness));
    if (live.contrast != shadow.contrast)
        ui->label_contrast->setText(QString::number(live.contrast));
    const int a = ram::audioImage(live);
    if (live.image[a].volume != shadow.image[a].volume || live.image[a].audio != shadow.image[a].audio)
        showVolume(live.image[a].audio & ram::kAudioOn);
    // The tiles are built again only when one of them would look different.
    for (int i = 0; i < kTiles; ++i) {
        if (!(tileLook(i) == tile_look[i])) {
            image_init();
            break;
        }
    }
    ip_changed();
}

QString LockWindow::tileName(int i) const
{
    return tile_name[i] ? tile_name[i]->text() : QString();
}

QString LockWindow::tileState(int i) const
{
    return tile_state[i] ? tile_state[i]->text() : QString();
}

QString LockWindow::canvasText() const
{
    return ui->label_input->text();
}

// ---------------------------------------------------------------- leaving

void LockWindow::leave(bool showMainWindow)
{
    setAttribute(Qt::WA_DeleteOnClose);
    close();
    g_page_focus = PAGE_MAIN_MENU;
    if (g_mainwindow) {
        g_mainwindow->language_changed();
        if (showMainWindow)
            g_mainwindow->show();
    }
}

void LockWindow::openUserModes()
{
    setAttribute(Qt::WA_DeleteOnClose);
    close();
    g_lockwindow = nullptr;
    g_mode_shortcut_key = 1;
    pages::openUserModePage();
}

void LockWindow::on_main_Button_clicked()
{
    leave(false);
}

bool LockWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != ui->widget && watched != tiles)
        return QDialog::eventFilter(watched, event);
    // Nothing on this page reacts to a touch; a touch anywhere leaves it.
    if (event->type() == QEvent::MouseButtonRelease)
        leave(false);
    return true;
}

void LockWindow::keyPressEvent(QKeyEvent* event)
{
    pages::notePress(event->key(), "LockWindow");
}

void LockWindow::keyReleaseEvent(QKeyEvent* event)
{
    // The home page has no focus to move and nothing to go back to: OK and
    // MODE leave it.
    releaseKey(event->key(), "LockWindow", -1);
}
