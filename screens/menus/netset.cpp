#include "screens/menus/netset.h"

#include "app/page_support.h"
#include "screens/menus/fpga_view.h"
#include "screens/menus/settings_texts.h"
#include "ui_netset.h"

#include <QLabel>
#include <QPixmap>

namespace {

const pages::Texts kTitle = {QStringLiteral("网口输出"), QStringLiteral("Port output"), QStringLiteral("Настройка LAN"),
                             QStringLiteral("Cài đặt cổng MẠNG"), QStringLiteral("網口輸出")};
// A tab's name: the port counted from 1 (%1).
const pages::Texts kTabName = {QStringLiteral("网口LED%1"), QStringLiteral("LED%1"), QStringLiteral("LED%1"),
                               QStringLiteral("LED%1"), QStringLiteral("網口LED%1")};

// Under the values while FPGA 0 does not run: they are the areas the box
// keeps for it and writes into it when it comes up. Shown on two lines at
// most, the last two words together (and "áp dụng" kept whole).
const pages::Texts kFpgaDown = {QStringLiteral("FPGA 1 未运行：启动后按所示区域输出"),
                                QStringLiteral("FPGA 1 not running:\nthese areas apply when it starts"),
                                QStringLiteral("FPGA 1 не работает: эти области применятся при запуске"),
                                QStringLiteral("FPGA 1 không hoạt động: các vùng này áp\u00a0dụng khi khởi động"),
                                QStringLiteral("FPGA 1 未運行：啟動後按所示區域輸出")};
const QRect kFpgaStatePlace(6, 115, 296, 32);  // two lines in the value panel, under the values
const char* const kFaultStyle = "color: rgb(255, 80, 80);";

const char* const kTabStyle =
    "background-color:transparent; border:1px solid rgb(255, 255, 255);border-radius:1px;padding:2px 4px";
// The selected tab has no border of its own: the orange outline joins it to
// the value panel.
const char* const kTabSelectedStyle =
    "background-color:transparent; border:0px solid rgb(255, 255, 255);border-radius:1px;padding:2px 4px";

constexpr int kTabX = 24;      // the outline's x over tab slot 0
constexpr int kTabPitch = 68;  // from one tab to the next
constexpr int kOutlineY = 40;

}  // namespace

netset::netset(QWidget* parent) : Page(PAGE_SENDING_PORTS, parent), ui(new Ui::netset)
{
    ui->setupUi(this);
    ui->l_p->setPixmap(pages::pixmap(pages::plainPicture("ltri.png")));
    ui->r_p->setPixmap(pages::pixmap(pages::plainPicture("rtri.png")));
    QPushButton* const row[kTabs] = {ui->LED1Button, ui->LED2Button, ui->LED3Button, ui->LED4Button};
    std::copy(row, row + kTabs, tabs);
    fpga_state = new QLabel(ui->xywh_frame);
    fpga_state->setObjectName(QStringLiteral("fpga_state"));
    fpga_state->setGeometry(kFpgaStatePlace);
    fpga_state->setFont(ui->w_label->font());
    fpga_state->setStyleSheet(QString::fromLatin1(kFaultStyle));
    fpga_state->setAlignment(Qt::AlignCenter);
    fpga_state->setWordWrap(true);
    fpga_state->hide();
    language_changed();
    showSelection();
}

netset::~netset()
{
    delete ui;
}

void netset::language_changed()
{
    pages::showText(ui->label_netset, kTitle);
    pages::showText(ui->w_label, settingsTexts::kWidth);
    pages::showText(ui->h_label, settingsTexts::kHeight);
    // The tabs' names are in the language too.
    wlan_para_get(ui_select);
}

void netset::syncUpdate(int code)
{
    Page::syncUpdate(code);
    wlan_para_get(ui_select);
    initWlan();
}

void netset::onRight()
{
    if (ui_sel < kTabs - 1) {
        ++ui_sel;
        ++ui_select;
    } else if (ui_select < kPorts - 1) {
        ++ui_select;
        ui_min_select = static_cast<u8>(ui_select - (kTabs - 1));
    }
    showSelection();
}

void netset::onLeft()
{
    if (ui_sel > 0) {
        --ui_sel;
        --ui_select;
    } else if (ui_min_select > 0) {
        --ui_min_select;
        --ui_select;
    }
    showSelection();
}

void netset::showSelection()
{
    for (int k = 0; k < kTabs; ++k)
        tabs[k]->setStyleSheet(QString::fromLatin1(k == ui_sel ? kTabSelectedStyle : kTabStyle));
    ui->net_frame->move(kTabX + kTabPitch * ui_sel, kOutlineY);
    pages::debugLine("\n ui_min_select=%d,ui_select=%d ui_sel=%d\n", ui_min_select, ui_select, ui_sel);
    wlan_para_get(ui_select);
    initWlan();
}

void netset::wlan_para_get(int port)
{
    if (port < 0 || port >= kPorts)
        port = 0;
    const bool areas_held = fpgaview::holdsAreas();
    const fpgaview::PortArea area = fpgaview::portArea(port);
    ui->x_lineEdit->setText(QString::number(area.x));
    ui->y_lineEdit->setText(QString::number(area.y));
    ui->w_lineEdit->setText(QString::number(area.w));
    ui->h_lineEdit->setText(QString::number(area.h));
    QLabel* const names[kTabs] = {ui->LED1label, ui->LED2label, ui->LED3label, ui->LED4label};
    for (int k = 0; k < kTabs; ++k) {
        names[k]->setText(pages::pick(kTabName).arg(ui_min_select + k + 1));
        pages::fitText(names[k]);
    }
    if (!areas_held) {
        fpga_state->setText(pages::lastWordsTogether(pages::pick(kFpgaDown)));
        pages::fitText(fpga_state);
    }
    fpga_state->setVisible(!areas_held);
}

void netset::initWlan()
{
    const u16 mask = fpgaview::links();
    QLabel* const links[kTabs] = {ui->L1label, ui->L2label, ui->L3label, ui->L4label};
    for (int k = 0; k < kTabs; ++k) {
        const bool up = mask & (1u << (ui_min_select + k));
        links[k]->setPixmap(pages::pixmap(pages::plainPicture(up ? "online_up.png" : "offline_up.png")));
    }
}
