#include "screens/menus/linkcom.h"

#include "app/page_support.h"
#include "ui_linkcom.h"

namespace {

const pages::Texts kTitle = {QStringLiteral("串口连接"), QStringLiteral("Serial port"), QStringLiteral("COM-порт"),
                             QStringLiteral("Cài đặt cổng nối tiếp"), QStringLiteral("串口連接")};
const pages::Texts kBaud = {QStringLiteral("波特率"), QStringLiteral("Baud rate"), QStringLiteral("Скорость передачи"),
                            QStringLiteral("Tốc độ truyền"), QStringLiteral("波特率")};
const pages::Texts kDataBits = {QStringLiteral("数据位"), QStringLiteral("Data bits"), QStringLiteral("Биты данных"),
                                QStringLiteral("Bit dữ liệu"), QStringLiteral("數據位")};
const pages::Texts kStopBit = {QStringLiteral("停止位"), QStringLiteral("Stop bit"), QStringLiteral("Бит остановки"),
                               QStringLiteral("Bit dừng"), QStringLiteral("停止位")};

}  // namespace

linkcom::linkcom(QWidget* parent) : Page(PAGE_SERIAL_LINK, parent), ui(new Ui::linkcom)
{
    ui->setupUi(this);
    language_changed();
}

linkcom::~linkcom()
{
    delete ui;
}

void linkcom::language_changed()
{
    pages::showText(ui->label_com, kTitle);
    pages::showText(ui->label_baud, kBaud);
    pages::showText(ui->label_bit, kDataBits);
    pages::showText(ui->label_stop, kStopBit);
}
