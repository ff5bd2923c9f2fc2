#include "screens/menus/linkoption.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "app/tip.h"
#include "screens/page_directory.h"
#include "tools/firmware_usbgrade.h"
#include "ui_linkoption.h"

namespace {

const pages::Texts kTitle = {QStringLiteral("通讯设置"), QStringLiteral("Communication"), QStringLiteral("Подключение"),
                             QStringLiteral("Cài đặt giao tiếp"), QStringLiteral("通訊設置")};
const pages::Texts kCom = {QStringLiteral("串口连接"), QStringLiteral("Serial port"), QStringLiteral("COM-порт"),
                           QStringLiteral("Cài đặt cổng\n nối tiếp"), QStringLiteral("串口連接")};
const pages::Texts kWlan = {QStringLiteral("网口设置"), QStringLiteral("Net connect"),
                            QStringLiteral("Сетевое по\nдключение"), QStringLiteral("Cài đặt\ncổng mạng"),
                            QStringLiteral("網口設置")};
const pages::Texts kUsb = {QStringLiteral("USB升级"), QStringLiteral("USB UPDATE"),
                           QStringLiteral("Обновление\nчерез USB"), QStringLiteral("Sử dụng ổ USB\nđể cập nhật"),
                           QStringLiteral("USB昇級")};

}  // namespace

LinkOption::LinkOption(QWidget* parent) : Page(PAGE_COMMUNICATION, parent), ui(new Ui::LinkOption)
{
    ui->setupUi(this);
    setEntries({
        {ui->Button_com, [this] { on_Button_linkcom_clicked(); }},
        {ui->Button_wlan, [this] { on_Button_linkwlan_clicked(); }},
        {ui->Button_usb, [this] { on_Button_firmware_usbgrade_clicked(); }},
    });
    // The openers are not named after the buttons: a touch is wired here.
    connect(ui->Button_com, &QPushButton::clicked, this, &LinkOption::on_Button_linkcom_clicked);
    connect(ui->Button_wlan, &QPushButton::clicked, this, &LinkOption::on_Button_linkwlan_clicked);
    connect(ui->Button_usb, &QPushButton::clicked, this, &LinkOption::on_Button_firmware_usbgrade_clicked);
    language_changed();
    menulist_init();
}

LinkOption::~LinkOption()
{
    delete ui;
}

void LinkOption::language_changed()
{
    ui->label_title->setText(pages::pick(kTitle));
    pages::showText(ui->Button_com, kCom);
    pages::showText(ui->Button_wlan, kWlan);
    pages::showText(ui->Button_usb, kUsb);
}

void LinkOption::syncUpdate(int code)
{
    Page::syncUpdate(code);
    // A code that comes while a tip is up starts no second one. The end of
    // a USB upgrade whose page was closed is confirmed only when the run
    // installed whole what it found; otherwise the tip sends the operator
    // to the upgrade page, which tells what was not installed.
    if (!g_tip || g_tip_flag.load())
        return;
    const bool upgradeFailed = code == SYNC_USB_UPGRADE && !firmware_usbgrade::lastRunWhole();
    g_tip->tip_create(upgradeFailed ? TIP::kUpgradeNotDone : TIP::kCheck);
}

// clang-format off
void LinkOption::on_Button_linkcom_clicked() { pages::openPage(PAGE_SERIAL_LINK); }
void LinkOption::on_Button_linkwlan_clicked() { pages::openPage(PAGE_NETWORK_ADDRESS); }
void LinkOption::on_Button_firmware_usbgrade_clicked() { pages::openPage(PAGE_USB_UPGRADE); }
// clang-format on
