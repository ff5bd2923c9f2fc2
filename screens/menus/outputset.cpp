#include "screens/menus/outputset.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "screens/page_directory.h"
#include "ui_outputset.h"

namespace {

const pages::Texts kTitle = {QStringLiteral("输出设置"), QStringLiteral("Output Setting"), QStringLiteral("Выход"),
                             QStringLiteral("Thông số đầu ra"), QStringLiteral("輸出設置")};
const pages::Texts kLedSet = {QStringLiteral("LED设置"), QStringLiteral("LED Setting"),
                              QStringLiteral("Настройки\nLED"), QStringLiteral("Cài đặt\nLED"),
                              QStringLiteral("LED設置")};
const pages::Texts kLanSet = {QStringLiteral("网口输出"), QStringLiteral("Port output"),
                              QStringLiteral("Настройка\nLAN"), QStringLiteral("Cài đặt\ncổng MẠNG"),
                              QStringLiteral("網口輸出")};
// Width and height (%1 x %2) of the LED screen.
const pages::Texts kLedSize = {
    QStringLiteral("当前设置LED屏宽高为: %1x%2"), QStringLiteral("LED Screen can be set:%1x%2"),
    QStringLiteral("Текущий размер LED (px): %1x%2"), QStringLiteral("Gợi ý: Kích thước màn hình LED hiện tại: %1x%2"),
    QStringLiteral("當前設置LED屏寬高爲: %1x%2")};

}  // namespace

OutputSet::OutputSet(QWidget* parent) : Page(PAGE_OUTPUT_SETTINGS, parent), ui(new Ui::OutputSet)
{
    ui->setupUi(this);
    showHints(ui->label_note_OK, ui->label_note_back);
    setEntries({
        {ui->Button_ledset, [this] { on_Button_ledset_clicked(); }},
        {ui->Button_lanset, [this] { on_Button_lanset_clicked(); }},
    });
    menulist_init();
    language_changed();
}

OutputSet::~OutputSet()
{
    delete ui;
}

void OutputSet::language_changed()
{
    ui->label_title->setText(pages::pick(kTitle));
    pages::showText(ui->Button_ledset, kLedSet);
    pages::showText(ui->Button_lanset, kLanSet);
    if (KelRamPara* store = KelRamPara::p_kelrampara_config) {
        const KEL_RAM_PARA& b = store->ram_para;
        ui->label_info->setText(pages::pick(kLedSize).arg(b.led_width).arg(b.led_height));
        pages::fitText(ui->label_info);
    }
}

QString OutputSet::infoText() const
{
    return ui->label_info->text();
}

void OutputSet::on_Button_ledset_clicked()
{
    pages::openPage(PAGE_LED_SETTINGS);
}
void OutputSet::on_Button_lanset_clicked()
{
    pages::openPage(PAGE_SENDING_PORTS);
}
