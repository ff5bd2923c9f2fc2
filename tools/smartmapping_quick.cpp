// Quick mapping, the smart-mapping page's first tool: cabinet size (step 1),
// LAN port (step 2), rows, columns, routing pattern and offset (step 3);
// Send hands job 1 to the FPGA manager with the layout in line_type. Also
// the LAN-port tiles, which load scan shows on its own first step.
#include "tools/smartmapping.h"

#include "fpga/route_patterns.h"
#include "fpga/send_para.h"
#include "screens/menus/settings_texts.h"
#include "tools/smartmapping_shared.h"
#include "ui_smartmapping.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>

namespace {

const pages::Texts kStep1 = {QStringLiteral("步骤1箱体设置"), QStringLiteral("Step 1 Cabinet setup"),
                             QStringLiteral("Шаг 1. Настройка кабинета"), QStringLiteral("Bước 1: Thiết lập cabin"),
                             QStringLiteral("步驟1箱體設置")};
const pages::Texts kBoxWidth = {QStringLiteral("箱体宽度"), QStringLiteral("Cabinet width"),
                                QStringLiteral("Ширина кабинета"), QStringLiteral("Chiều rộng cabin"),
                                QStringLiteral("箱體寬度")};
const pages::Texts kBoxHeight = {QStringLiteral("箱体高度"), QStringLiteral("Cabinet height"),
                                 QStringLiteral("Высота кабинета"), QStringLiteral("Chiều cao cabin"),
                                 QStringLiteral("箱體高度")};
const pages::Texts kStep2 = {QStringLiteral("步骤2选择网口"), QStringLiteral("Step 2 Select port"),
                             QStringLiteral("Шаг 2. Выберите сетевой порт"), QStringLiteral("Bước 2: Chọn cổng mạng"),
                             QStringLiteral("步驟2選擇網口")};
const pages::Texts kStep3 = {QStringLiteral("步骤3屏参设置"), QStringLiteral("Step 3 Screen parameter setting"),
                             QStringLiteral("Шаг 3. Настройка параметров экрана"),
                             QStringLiteral("Bước 3: Cài đặt thông số màn hình"), QStringLiteral("步驟3屏參設置")};
const pages::Texts kRows = {QStringLiteral("箱体行数"), QStringLiteral("Number of Cabinet in rows"),
                            QStringLiteral("Рядов кабинетов"), QStringLiteral("Số hàng cabin"),
                            QStringLiteral("箱體行數")};
const pages::Texts kColumns = {QStringLiteral("箱体列数"), QStringLiteral("Number of Cabinet in lines"),
                               QStringLiteral("Столбцов кабинетов"), QStringLiteral("Số cột cabin"),
                               QStringLiteral("箱體列數")};
const pages::Texts kRouteWay = {QStringLiteral("走线方式"), QStringLiteral("Screen alignment mode"),
                                QStringLiteral("Схема прокладки"), QStringLiteral("Kiểu đi dây"),
                                QStringLiteral("走線方式")};
const pages::Texts kHorizontal = {QStringLiteral("水平偏移"), QStringLiteral("Horizontal offset"),
                                  QStringLiteral("Смещение по гориз."), QStringLiteral("Độ lệch ngang"),
                                  QStringLiteral("水平偏移")};
const pages::Texts kVertical = {QStringLiteral("垂直偏移"), QStringLiteral("Vertical offset"),
                                QStringLiteral("Смещение по верт."), QStringLiteral("Độ lệch dọc"),
                                QStringLiteral("垂直偏移")};
// The number keyboard's titles for the fields above (an offset's two
// Vietnamese words stay on one line).
const pages::Texts kKeyBoxWidth = {QStringLiteral("箱体宽度"), QStringLiteral("width"), QStringLiteral("Ширина"),
                                   QStringLiteral("Rộng"), QStringLiteral("箱體寬度")};
const pages::Texts kKeyBoxHeight = {QStringLiteral("箱体高度"), QStringLiteral("height"), QStringLiteral("Высота"),
                                    QStringLiteral("Cao"), QStringLiteral("箱體高度")};
const pages::Texts kKeyRows = {QStringLiteral("箱体行数"), QStringLiteral("rows"), QStringLiteral("Ряды"),
                               QStringLiteral("Số hàng"), QStringLiteral("箱體行數")};
const pages::Texts kKeyColumns = {QStringLiteral("箱体列数"), QStringLiteral("lines"), QStringLiteral("Столбцы"),
                                  QStringLiteral("Số cột"), QStringLiteral("箱體列數")};
const pages::Texts kKeyOffsetX = {QStringLiteral("水平偏移"), QStringLiteral("Horizontal"), QStringLiteral("По гориз."),
                                  QStringLiteral("Lệch\u00a0ngang"), QStringLiteral("水平偏移")};
const pages::Texts kKeyOffsetY = {QStringLiteral("垂直偏移"), QStringLiteral("Vertical"), QStringLiteral("По верт."),
                                  QStringLiteral("Lệch\u00a0dọc"), QStringLiteral("垂直偏移")};
const pages::Texts kSend = {QStringLiteral("发送"), QStringLiteral("Send"), QStringLiteral("Отправить"),
                            QStringLiteral("Gửi"), QStringLiteral("發送")};
const pages::Texts kRouting = {QStringLiteral("走线%1"), QStringLiteral("Routing %1"), QStringLiteral("Путь %1"),
                               QStringLiteral("Dấu vết %1"), QStringLiteral("走線%1")};

constexpr int kButtonPoints = 9;
constexpr int kStep3LabelPoints = 7;
const QSize kRouteIcon(30, 20);        // on the step-3 button
const QSize kChooserIcon(40, 25);      // on the chooser's buttons
constexpr int kChooserTextPixels = 9;  // largest caption under a chooser icon

// The tiles: four to a row inside a 230 x 88 frame.
const QRect kTileArea(1, 59, 230, 88);
constexpr int kTilesPerRow = 4;
constexpr int kTilePitchX = 55;
constexpr int kTilePitchY = 45;
constexpr int kTileTextPixels = 9;

QString routePicture(int pattern)
{
    return pages::plainPicture(QStringLiteral("line%1.png").arg(pattern));
}

// A number field's value: decimal, 0 when it is not a number.
int fieldValue(const QLineEdit* field)
{
    bool ok = false;
    const int v = field->text().toInt(&ok, 10);
    return ok ? v : 0;
}

// The caption under a chooser icon, as large as fits the button.
void setChooserText(QToolButton* b, const QString& text)
{
    QFont font = b->font();
    font.setPixelSize(kChooserTextPixels);
    // The caption lies under the icon: only its width is bounded.
    const QRect room(0, 0, b->width() - 4, b->height());
    b->setFont(pages::fittingFont(font, room, Qt::AlignHCenter | Qt::AlignTop, text));
    b->setText(text);
}

}  // namespace

// ---------------------------------------------------------------- texts

void SmartMapping::quickTexts()
{
    smartTexts::setLabel(ui->label_step1, pages::pick(kStep1));
    smartTexts::setLabel(ui->label_boxwidth, pages::pick(kBoxWidth));
    smartTexts::setLabel(ui->label_boxheight, pages::pick(kBoxHeight));
    smartTexts::setButton(ui->Button_next, pages::pick(smartTexts::kNext), kButtonPoints);

    smartTexts::setLabel(ui->label_step2, pages::pick(kStep2));
    smartTexts::setButton(ui->Button_front_2, pages::pick(smartTexts::kPrevious), kButtonPoints);
    smartTexts::setButton(ui->Button_next_2, pages::pick(smartTexts::kNext), kButtonPoints);
    ui->Button_wlan1->setText(pages::pick(smartTexts::kPortGroup).arg(1).arg(kPortTiles));

    smartTexts::setLabel(ui->label_step3, pages::pick(kStep3));
    smartTexts::setLabel(ui->label_boxline, pages::pick(kRows), kStep3LabelPoints);
    smartTexts::setLabel(ui->label_boxlcolumn, pages::pick(kColumns), kStep3LabelPoints);
    smartTexts::setLabel(ui->label_routeway, pages::pick(kRouteWay), kStep3LabelPoints);
    smartTexts::setLabel(ui->label_horizon, pages::pick(kHorizontal), kStep3LabelPoints);
    smartTexts::setLabel(ui->label_vert, pages::pick(kVertical), kStep3LabelPoints);
    smartTexts::setButton(ui->Button_send, pages::pick(kSend), kButtonPoints);
    smartTexts::setButton(ui->Button_front_3, pages::pick(smartTexts::kPrevious), kButtonPoints);
    line_select(line_type.route_way);

    for (int n = 1; n <= fpga::kRoutePatterns; ++n) {
        QToolButton* b = findChild<QToolButton*>(QStringLiteral("Button_route%1").arg(n));
        b->setIcon(pages::icon(routePicture(n)));
        b->setIconSize(kChooserIcon);
        setChooserText(b, pages::pick(kRouting).arg(n));
    }
    ui->Button_cancel->setText(pages::pick(settingsTexts::kCancel));
}

void SmartMapping::line_select(int pattern)
{
    if (fpga::routeValid(pattern)) {
        ui->Button_route->setIcon(pages::icon(routePicture(pattern)));
        ui->Button_route->setIconSize(kRouteIcon);
        ui->Button_route->setText(pages::pick(kRouting).arg(pattern));
    }
    line_type.route_way = static_cast<u8>(pattern);
}

void SmartMapping::askField(QLineEdit* field)
{
    if (jobShown())
        return;
    // The keyboard's titles, short enough for its title box.
    struct Title {
        const QLineEdit* field;
        const pages::Texts* texts;
    };
    const Title titles[] = {
        {ui->lineEdit_X, &kKeyBoxWidth},     {ui->lineEdit_Y, &kKeyBoxHeight},     {ui->lineEdit_line, &kKeyRows},
        {ui->lineEdit_column, &kKeyColumns}, {ui->lineEdit_horzion, &kKeyOffsetX}, {ui->lineEdit_vert, &kKeyOffsetY},
    };
    for (const Title& t : titles) {
        if (t.field != field)
            continue;
        askNumber(field, pages::pick(*t.texts));
        return;
    }
}

// ---------------------------------------------------------------- touch

void SmartMapping::on_Button_next_clicked()
{
    if (jobShown())
        return;
    line_type.box_width = static_cast<u16>(fieldValue(ui->lineEdit_X));
    line_type.box_height = static_cast<u16>(fieldValue(ui->lineEdit_Y));
    selectPortGroup(0, kQuickTiles);
    showStep(kQuickStep2);
}

void SmartMapping::on_Button_front_2_clicked()
{
    if (!jobShown())
        showStep(kQuickStep1);
}

void SmartMapping::on_Button_next_2_clicked()
{
    if (!jobShown())
        showStep(kQuickStep3);
}

void SmartMapping::on_Button_front_3_clicked()
{
    if (!jobShown())
        showStep(kQuickStep2);
}

void SmartMapping::on_Button_route_clicked()
{
    if (!jobShown())
        showStep(kRouteChooser);
}

void SmartMapping::on_Button_cancel_clicked()
{
    if (!jobShown())
        showStep(kQuickStep3);
}

void SmartMapping::chooseRoute(int pattern)
{
    line_select(pattern);
    showStep(kQuickStep3);
}

void SmartMapping::on_Button_send_clicked()
{
    if (!mayPostJob())
        return;
    line_type.rows = static_cast<u8>(fieldValue(ui->lineEdit_line));
    line_type.columns = static_cast<u8>(fieldValue(ui->lineEdit_column));
    line_type.offset_x = static_cast<u16>(fieldValue(ui->lineEdit_horzion));
    line_type.offset_y = static_cast<u16>(fieldValue(ui->lineEdit_vert));
    KEL_DBG("\n set the route_way = %d \n", line_type.route_way);
    postJob(SEND_SMARTMAPPING);
}

// ---------------------------------------------------------------- the LAN-port tiles

QPushButton* SmartMapping::groupButton(u8 group, TilePage page) const
{
    QPushButton* const quick[] = {ui->Button_wlan1, ui->Button_wlan2, ui->Button_wlan3, ui->Button_wlan4};
    QPushButton* const scan[] = {ui->Button_wlan5, ui->Button_wlan6, ui->Button_wlan7, ui->Button_wlan8};
    return page == kQuickTiles ? quick[group] : scan[group];
}

void SmartMapping::selectPortGroup(u8 group, TilePage page)
{
    for (u8 g = 0; g < 4; ++g)
        groupButton(g, page)->setStyleSheet(g == group ? smartstyle::style_group_selected : smartstyle::style_button);
    port_group = group;
    port_tile = 0;
    wlan_init(page);
}

void SmartMapping::wlan_init(TilePage page)
{
    delete tile_frame;
    tile_frame = new QFrame(page == kQuickTiles ? ui->page_2 : ui->page_5);
    tile_frame->setGeometry(kTileArea);
    tile_count = port_group == 0 ? kPortTiles : kGroupTiles;
    QFont textFont = font();
    textFont.setPixelSize(kTileTextPixels);
    for (int i = 0; i < tile_count; ++i) {
        const int x0 = kTilePitchX * (i % kTilesPerRow), y0 = kTilePitchY * (i / kTilesPerRow);
        tile_frames[i] = new QFrame(tile_frame);
        tile_frames[i]->setGeometry(x0 + 10, y0 + 2, 50, 40);
        paintTile(i, kGroupTiles * port_group + i == line_type.port);

        QLabel* icon = new QLabel(tile_frame);
        icon->setGeometry(x0 + 25, y0 + 5, 22, 15);
        icon->setStyleSheet(smartstyle::kTileText);
        icon->setAlignment(Qt::AlignCenter);
        icon->setPixmap(pages::pixmap(pages::plainPicture(QStringLiteral("offline.png")))
                            .scaled(icon->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

        QLabel* name = new QLabel(QStringLiteral("LED%1").arg(i + 1 + kGroupTiles * port_group), tile_frame);
        name->setGeometry(x0 + 14, y0 + 20, 42, 20);
        name->setFont(textFont);
        name->setAlignment(Qt::AlignCenter);
        name->setStyleSheet(smartstyle::kTileText);

        QPushButton* b = new QPushButton(tile_frame);
        b->setGeometry(x0 + 11, y0 + 3, 48, 38);
        b->setFlat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setStyleSheet(smartstyle::kTransparent);
        b->setObjectName(QString::number(i));
        connect(b, &QPushButton::clicked, this, &SmartMapping::kel_button_wlan_clicked);
        tile_buttons[i] = b;
    }
    tile_frame->show();
}

void SmartMapping::paintTile(int tile, bool chosen)
{
    if (tile >= 0 && tile < tile_count)
        tile_frames[tile]->setStyleSheet(chosen ? smartstyle::kTileChosen : smartstyle::kTile);
}

void SmartMapping::kel_button_wlan_clicked()
{
    bool ok = false;
    const int tile = sender() ? sender()->objectName().toInt(&ok) : -1;
    if (jobShown() || !ok || tile < 0 || tile >= tile_count)
        return;
    paintTile(line_type.port - kGroupTiles * port_group, false);
    port_tile = static_cast<u8>(tile);
    line_type.port = static_cast<u8>(kGroupTiles * port_group + tile);
    saved_port = line_type.port;
    paintTile(tile, true);
}

// ---------------------------------------------------------------- keys

void SmartMapping::quickKey(pages::PanelKey key)
{
    switch (step()) {
    case kQuickStep1: return quickStep1Key(key);
    case kQuickStep2: return tile_mode ? quickTileKey(key) : quickStep2Key(key);
    case kQuickStep3: return quickStep3Key(key);
    case kRouteChooser: return chooserKey(key);
    default: return;
    }
}

void SmartMapping::quickEnter()
{
    step1_focus.moveTo(0);
}

void SmartMapping::quickStep2Enter()
{
    tile_mode = 0;
    step2_focus.moveTo(0);
}

void SmartMapping::quickStep3Enter()
{
    step3_focus.moveTo(0);
}

void SmartMapping::chooserEnter()
{
    route_focus.moveTo(fpga::routeValid(line_type.route_way) ? line_type.route_way - 1 : 0);
}

void SmartMapping::quickStep1Key(pages::PanelKey key)
{
    switch (key) {
    case pages::PanelKey::Left: return step1_focus.step(-1);
    case pages::PanelKey::Right: return step1_focus.step(1);
    case pages::PanelKey::Ok:
        if (step1_focus.current() == ui->Button_next) {
            on_Button_next_clicked();
            return quickStep2Enter();
        }
        return askField(static_cast<QLineEdit*>(step1_focus.current()));
    case pages::PanelKey::Back: step1_focus.drawResting(); return leaveTool();
    default: return;
    }
}

void SmartMapping::quickStep2Key(pages::PanelKey key)
{
    enum { kGroup, kPrevious, kNext };
    switch (key) {
    case pages::PanelKey::Left:
    case pages::PanelKey::Right: {
        const int to = (step2_focus.at() + (key == pages::PanelKey::Left ? 2 : 1)) % 3;
        if (to == kGroup)
            selectPortGroup(0, kQuickTiles);
        return step2_focus.moveTo(to);
    }
    case pages::PanelKey::Ok:
        switch (step2_focus.at()) {
        case kGroup:
            // Into the tiles, from LED1; BACK gives the port back.
            tile_mode = 1;
            saved_port = line_type.port;
            line_type.port = 0;
            selectPortGroup(0, kQuickTiles);
            ui->Button_wlan1->setStyleSheet(smartstyle::style_menu_inside);
            return;
        case kPrevious: return on_Button_front_2_clicked();
        default: on_Button_next_2_clicked(); return quickStep3Enter();
        }
    case pages::PanelKey::Back: return on_Button_front_2_clicked();
    default: return;
    }
}

void SmartMapping::quickTileKey(pages::PanelKey key)
{
    switch (key) {
    case pages::PanelKey::Left:
    case pages::PanelKey::Right: {
        const int d = key == pages::PanelKey::Left ? -1 : 1;
        port_tile = static_cast<u8>((port_tile + d + tile_count) % tile_count);
        line_type.port = static_cast<u8>(kGroupTiles * port_group + port_tile);
        return wlan_init(kQuickTiles);
    }
    case pages::PanelKey::Ok:
        tile_mode = 0;
        tile_buttons[port_tile]->click();
        ui->Button_wlan1->setStyleSheet(smartstyle::style_button_focus);
        return;
    case pages::PanelKey::Back:
        tile_mode = 0;
        line_type.port = saved_port;
        selectPortGroup(0, kQuickTiles);
        ui->Button_wlan1->setStyleSheet(smartstyle::style_button_focus);
        return;
    default: return;
    }
}

void SmartMapping::quickStep3Key(pages::PanelKey key)
{
    enum { kRouteButton = 2, kPrevious = 5, kSendButton = 6 };
    switch (key) {
    case pages::PanelKey::Left: return step3_focus.step(-1);
    case pages::PanelKey::Right: return step3_focus.step(1);
    case pages::PanelKey::Ok:
        switch (step3_focus.at()) {
        case kRouteButton: on_Button_route_clicked(); return chooserEnter();
        case kPrevious: return on_Button_front_3_clicked();
        case kSendButton: return on_Button_send_clicked();
        default: return askField(static_cast<QLineEdit*>(step3_focus.current()));
        }
    case pages::PanelKey::Back: step3_focus.drawResting(); return on_Button_front_3_clicked();
    default: return;
    }
}

void SmartMapping::chooserKey(pages::PanelKey key)
{
    switch (key) {
    case pages::PanelKey::Left: return route_focus.step(-1);
    case pages::PanelKey::Right: return route_focus.step(1);
    case pages::PanelKey::Ok:
        if (route_focus.at() < fpga::kRoutePatterns)
            chooseRoute(route_focus.at() + 1);
        else
            on_Button_cancel_clicked();
        return step3_focus.drawFocused();
    case pages::PanelKey::Back:
        step3_focus.drawFocused();
        on_Button_cancel_clicked();
        return line_select(line_type.route_way);
    default: return;
    }
}
