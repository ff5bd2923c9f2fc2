#include "screens/system/lcdshow.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "ui_lcdshow.h"

#include <QComboBox>
#include <QLabel>
#include <algorithm>

namespace {

const pages::Texts kTitle = {QStringLiteral("液晶显示"), QStringLiteral("LCD display"), QStringLiteral("ЖК дисплей"),
                             QStringLiteral("Màn hình LCD"), QStringLiteral("液晶顯示")};
const pages::Texts kBackLabel = {QStringLiteral("返回主界面时长"), QStringLiteral("To main interface"),
                                 QStringLiteral("Возврат к главному"), QStringLiteral("Quay lại màn hình chính"),
                                 QStringLiteral("返回主界麵時長")};
const pages::Texts kLockLabel = {QStringLiteral("自动锁屏"), QStringLiteral("Auto-screen lock"),
                                 QStringLiteral("Автоблокировка"), QStringLiteral("Tự đọng khoá màn hình"),
                                 QStringLiteral("自動鎖屏")};
const pages::Texts kNever = {QStringLiteral("从不"), QStringLiteral("Never"), QStringLiteral("Отключить"),
                             QStringLiteral("Không bao giờ khoá"), QStringLiteral("從不")};
const pages::Texts kLockChoices[2] = {
    {QStringLiteral("5分钟"), QStringLiteral("5min"), QStringLiteral("5 мин"), QStringLiteral("5 phút"),
     QStringLiteral("5分鐘")},
    {QStringLiteral("10分钟"), QStringLiteral("10min"), QStringLiteral("10 мин"), QStringLiteral("10 phút"),
     QStringLiteral("10分鐘")},
};
const char* const kBackChoices[2] = {"30", "60"};

// The choice whose value `value` is, or -1.
int indexOfValue(const u32 (&values)[lcdshow::kChoices], u32 value)
{
    const auto at = std::find(std::begin(values), std::end(values), value);
    return at == std::end(values) ? -1 : static_cast<int>(at - std::begin(values));
}

}  // namespace

lcdshow::lcdshow(QWidget* parent) : Page(PAGE_LCD_DISPLAY, parent), ui(new Ui::lcdshow)
{
    ui->setupUi(this);
    setEntries({
        {ui->comboBox_back, {}, [this](int i) { on_button_backtolock_clicked(i); }},
        {ui->comboBox_lock, {}, [this](int i) { on_button_autolock_clicked(i); }},
    });
    para_init();
    menulist_init();
    language_changed();
}

lcdshow::~lcdshow()
{
    delete ui;
}

void lcdshow::language_changed()
{
    ui->label_LCDshow->setText(pages::pick(kTitle));
    ui->label_backmainwindow->setText(pages::pick(kBackLabel));
    ui->label_autolock->setText(pages::pick(kLockLabel));
    for (QLabel* label :
         std::initializer_list<QLabel*>{ui->label_LCDshow, ui->label_backmainwindow, ui->label_autolock})
        pages::fitText(label);
}

void lcdshow::para_init()
{
    const QString never = pages::pick(kNever);
    pages::setChoices(ui->comboBox_back, {QLatin1String(kBackChoices[0]), QLatin1String(kBackChoices[1]), never},
                      indexOfValue(kBackTimes, g_back_to_mainwindow_time));
    pages::setChoices(ui->comboBox_lock, {pages::pick(kLockChoices[0]), pages::pick(kLockChoices[1]), never},
                      indexOfValue(kLockTimes, g_auto_lock_time));
}

void lcdshow::syncUpdate(int)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store || store->KelLanguageChanged() == 0)
        return;
    endEditing(false);
    language_changed();
    para_init();
}

void lcdshow::on_button_backtolock_clicked(int index)
{
    if (index >= 0 && index < kChoices)
        g_back_to_mainwindow_time = kBackTimes[index];
}

void lcdshow::on_button_autolock_clicked(int index)
{
    if (index >= 0 && index < kChoices)
        g_auto_lock_time = kLockTimes[index];
}
