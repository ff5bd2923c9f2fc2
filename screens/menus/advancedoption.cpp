#include "screens/menus/advancedoption.h"

#include "app/page_support.h"
#include "fpga/fpga_manage.h"
#include "fpga/rcv_recovery_file.h"
#include "screens/page_directory.h"
#include "ui_advancedoption.h"

namespace {

const pages::Texts kTitle = {QStringLiteral("高级设置"), QStringLiteral("Advanced Settings"),
                             QStringLiteral("Доп.опции"), QStringLiteral("Cài đặt nâng cao"),
                             QStringLiteral("高級設置")};
// Captions in ring order.
const pages::Texts kCaptions[AdvancedOption::kEntries] = {
    {QStringLiteral("液晶显示"), QStringLiteral("LCD display"), QStringLiteral("ЖК\nдисплей"),
     QStringLiteral("Màn hình\nLCD"), QStringLiteral("液晶顯示")},
    {QStringLiteral("其他设置"), QStringLiteral("Others"), QStringLiteral("Другие\nнастройки"),
     QStringLiteral("Cài đặt\nkhác"), QStringLiteral("其他設置")},
    {QStringLiteral("接收卡自恢复"), QStringLiteral("Rcv\nself-recovery"), QStringLiteral("Самовосст\nановление"),
     QStringLiteral("Thẻ nhận tự\nphục hồi"), QStringLiteral("接收卡自恢復")},
    {QStringLiteral("工厂设置"), QStringLiteral("Factory"), QStringLiteral("Заводские\nнастройки"),
     QStringLiteral("Khôi phục\ncài đặt gốc"), QStringLiteral("工廠設置")},
    {QStringLiteral("工厂老化"), QStringLiteral("Aging"), QStringLiteral("Заводской\nпрогон"),
     QStringLiteral("Lão hóa\nnhà máy"), QStringLiteral("工廠老化")},
};
// The keyboard's title for the access code: Russian, or "key".
const pages::Texts kCodeTitle = {QStringLiteral("key"), QStringLiteral("key"), QStringLiteral("Пароль"),
                                 QStringLiteral("key"), QStringLiteral("key")};
const char* const kCodeMask = "**********";

// The self-recovery entry while no recovery file is stored.
const char* const kDisabledStyle =
    "background-color: gray;border:2px;border-radius:10px;padding:2px 4px;color:rgb(255,255,255)";
const char* const kDisabledSelectedStyle =
    "background-color: gray; border:2px solid rgb(255,171,84);border-radius:10px;padding:2px 4px;"
    "color:rgb(255,255,255)";

}  // namespace

AdvancedOption::AdvancedOption(QWidget* parent) : Page(PAGE_ADVANCED_OPTIONS, parent), ui(new Ui::AdvancedOption)
{
    ui->setupUi(this);
    showHints(ui->label_note_OK, ui->label_note_back);
    setEntries({
        {ui->Button_LCDshow, [this] { on_Button_LCDshow_clicked(); }},
        {ui->Button_other, [this] { on_Button_other_clicked(); }},
        {ui->Button_rcv_recovery, [this] { on_Button_rcv_recovery_clicked(); }},
        {ui->Button_factory, [this] { on_Button_factory_clicked(); }},
        {ui->Button_age, [this] { on_Button_age_clicked(); }},
    });
    language_changed();
    menulist_init();
}

AdvancedOption::~AdvancedOption()
{
    delete ui;
}

void AdvancedOption::countRecoveryFiles()
{
    // No FPGA manager or no directory: the count stays as it was.
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    rcvRecovery* reader = fpga ? fpga->rcv_recovery : nullptr;
    if (reader && reader->get_dir_file(QString::fromLatin1(rcvRecovery::kRecoveryDir)) == 0)
        rcv_file_count = reader->recoveryCount();
}

void AdvancedOption::language_changed()
{
    countRecoveryFiles();
    ui->label_title->setText(pages::pick(kTitle));
    QPushButton* const buttons[kEntries] = {ui->Button_LCDshow, ui->Button_other, ui->Button_rcv_recovery,
                                            ui->Button_factory, ui->Button_age};
    for (int i = 0; i < kEntries; ++i)
        pages::showText(buttons[i], kCaptions[i]);
    restyle(kRecoveryEntry);
}

QString AdvancedOption::normalStyle(int entry) const
{
    if (entry == kRecoveryEntry && !recoveryOffered())
        return QString::fromLatin1(kDisabledStyle);
    return Page::normalStyle(entry);
}

QString AdvancedOption::selectedStyle(int entry) const
{
    if (entry == kRecoveryEntry && !recoveryOffered())
        return QString::fromLatin1(kDisabledSelectedStyle);
    return Page::selectedStyle(entry);
}

// clang-format off
void AdvancedOption::on_Button_LCDshow_clicked() { pages::openPage(PAGE_LCD_DISPLAY); }
void AdvancedOption::on_Button_other_clicked() { pages::openPage(PAGE_OTHER_SETTINGS); }
void AdvancedOption::on_Button_factory_clicked() { pages::openPage(PAGE_FACTORY_SETTINGS); }
// clang-format on

void AdvancedOption::on_Button_rcv_recovery_clicked()
{
    if (recoveryOffered())
        pages::openPage(PAGE_RCV_RECOVERY);
}

void AdvancedOption::on_Button_age_clicked()
{
    // Only this prompt's answer counts, and the aging page opens once the
    // keyboard has gone.
    const std::optional<QString> code = askNumber(pages::pick(kCodeTitle), QString::fromLatin1(kCodeMask));
    if (code && *code == QLatin1String(kAgingAccessCode))
        pages::openPage(PAGE_AGING_LOG);
}
