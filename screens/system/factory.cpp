#include "screens/system/factory.h"

#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "app/page_support.h"
#include "app/tip.h"
#include "app/utils.h"
#include "fpga/fpga_manage.h"
#include "ui_factory.h"
#include "videochip/x518_manage.h"
#include "videoio/tamixsource.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QThread>

namespace {

const pages::Texts kTitle = {QStringLiteral("工厂设置"), QStringLiteral("Factory setup"),
                             QStringLiteral("Заводские настройки"), QStringLiteral("Khôi phục cài đặt gốc"),
                             QStringLiteral("工廠設置")};
const pages::Texts kLanguage = {QStringLiteral("语言"), QStringLiteral("language"), QStringLiteral("Язык"),
                                QStringLiteral("Ngôn ngữ"), QStringLiteral("語言")};
const pages::Texts kResetHeading = {QStringLiteral("恢复出厂设置"), QStringLiteral("Factory reset"),
                                    QStringLiteral("Сброс настроек"), QStringLiteral("Khôi phục cài đặt gốc"),
                                    QStringLiteral("恢復出廠設置")};
const pages::Texts kKeepIp = {QStringLiteral("保留IP"), QStringLiteral("Keep IP"), QStringLiteral("Сохранить IP"),
                              QStringLiteral("Giữ IP"), QStringLiteral("保留IP")};
const pages::Texts kKeepEdid = {QStringLiteral("保留IP和EDID"), QStringLiteral("Keep IP, EDID"),
                                QStringLiteral("Сохранить IP, EDID"), QStringLiteral("Giữ IP, EDID"),
                                QStringLiteral("保留IP和EDID")};
const pages::Texts kResetAll = {QStringLiteral("全部恢复"), QStringLiteral("Reset ALL"), QStringLiteral("Сбросить всё"),
                                QStringLiteral("Đặt lại tất cả"), QStringLiteral("全部恢復")};
const pages::Texts kPressOk = {QStringLiteral("按OK键"), QStringLiteral("Press Ok"), QStringLiteral("Нажмите OK"),
                               QStringLiteral("Nhấn OK"), QStringLiteral("按OK鍵")};

// ---- the font line
const char* const kPrefixFormat = "<font style = 'font-size:12px' color = #ffffff >%1</font>";
const char* const kPresentFormat = "<font style = 'font-size:13px' color = #00ff00 >%1</font>";
const char* const kMissingFormat = "<font style = 'font-size:13px' color = #ff0000 >%1</font>";
enum FontSize { k32, k64, k128, kSizes };
const pages::Texts kSizeWords[kSizes] = {
    {QStringLiteral("32宽"), QStringLiteral("32"), QStringLiteral("32"), QStringLiteral("32"), QStringLiteral("32寬")},
    {QStringLiteral("64宽"), QStringLiteral("64"), QStringLiteral("64"), QStringLiteral("64"), QStringLiteral("64寬")},
    {QStringLiteral("128宽"), QStringLiteral("128"), QStringLiteral("128"), QStringLiteral("128"),
     QStringLiteral("128寬")},
};

QString white(const QString& text)
{
    return QString::fromLatin1(kPrefixFormat).arg(text);
}

// "<prefix>32|64|128", 32 coloured by `small`, 64 and 128 by `large`.
QString fontLine(const QString& prefix, bool small, bool large)
{
    auto size = [](FontSize s, bool present) {
        return QString::fromLatin1(present ? kPresentFormat : kMissingFormat).arg(pages::pick(kSizeWords[s]));
    };
    const QString bar = white(QStringLiteral("|"));
    return white(prefix) + size(k32, small) + bar + size(k64, large) + bar + size(k128, large);
}

// The prefix of a half of the line: Chinese words only in simplified Chinese.
QString fontPrefix(const char* chinese, const char* latin)
{
    return pages::textLanguage() == pages::ZH ? QString::fromUtf8(chinese) : QString::fromLatin1(latin);
}

// "Reset ALL" waits this long after the settings are written before eth0 is
// set up again.
constexpr unsigned long kNetworkSettleUs = 100;

u32 chipFontFlags()
{
    const x518_manage* chip = x518_manage::p_x518_manage;
    return chip ? chip->font_flags : 0;
}

bool canvasChanged(const KEL_RAM_PARA& live, const KEL_RAM_PARA& shadow)
{
    return live.splice_mode != shadow.splice_mode || live.led_width != shadow.led_width ||
           live.led_height != shadow.led_height;
}

// Every input's EDID EEPROM is rewritten from its restored EDID record.
void requestEdidRewrites()
{
    tamixsource* inputs = tamixsource::p_tamix_source;
    if (!inputs)
        return;
    for (std::atomic<u8>& request : inputs->edid_rewrite_req)
        request = 1;
    inputs->wake();
}

// The language the block holds (its low byte).
int blockLanguage()
{
    const KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store ? store->ram_para.language & 0xFF : 0;
}

}  // namespace

factory::factory(QWidget* parent) : Page(PAGE_FACTORY_SETTINGS, parent), ui(new Ui::factory)
{
    ui->setupUi(this);
    setEntries({
        {ui->Box_lang_2, {}, [this](int lang) { on_Button_lang_clicked(lang); }},
        {ui->Button_rst1, [this] { on_Button_reset1_clicked(); }},
        {ui->Button_rst2, [this] { on_Button_reset2_clicked(); }},
        {ui->Button_rst3, [this] { on_Button_reset3_clicked(); }},
    });
    // A language that is not enabled shows as English, enabled or not.
    ui->Box_lang_2->setCurrentIndex(pages::textLanguage());
    language_seen.begin({blockLanguage()});
    menulist_init();
    language_changed();
}

factory::~factory()
{
    delete ui;
}

QString factory::normalStyle(int entry) const
{
    return entry == kLanguageRow ? Page::normalStyle(entry) : QString::fromLatin1(kFrameNormalStyle);
}

QString factory::selectedStyle(int entry) const
{
    return entry == kLanguageRow ? Page::selectedStyle(entry) : QString::fromLatin1(kFrameSelectedStyle);
}

int factory::stepChoice(int entry, int index, int step) const
{
    if (entry != kLanguageRow)
        return Page::stepChoice(entry, index, step);
    // The next enabled language that way round, cyclic; with none enabled
    // the choice stays where it is.
    const u32 enabled = g_lcd_lang_valid.load();
    for (int k = 1; k <= pages::kLanguages; ++k) {
        const int lang = ((index + step * k) % pages::kLanguages + pages::kLanguages) % pages::kLanguages;
        if (enabled & (1u << lang))
            return lang;
    }
    return index;
}

void factory::language_changed()
{
    ui->label_factory->setText(pages::pick(kTitle));
    ui->label_lang->setText(pages::pick(kLanguage));
    ui->label_rst->setText(pages::pick(kResetHeading));
    ui->label_ip->setText(pages::pick(kKeepIp));
    ui->label_edid->setText(pages::pick(kKeepEdid));
    ui->label_all->setText(pages::pick(kResetAll));
    for (QLabel* label : std::initializer_list<QLabel*>{ui->label_factory, ui->label_lang, ui->label_rst, ui->label_ip,
                                                        ui->label_edid, ui->label_all})
        pages::fitText(label);
    for (QPushButton* button : {ui->Button_rst1, ui->Button_rst2, ui->Button_rst3})
        pages::showText(button, kPressOk);
    const u32 fonts = chipFontFlags();
    ui->FontCN->setText(chineseFontLine(fonts));
    ui->FontEN->setText(englishFontLine(fonts));
}

QString factory::chineseFontLine(u32 fontFlags)
{
    return fontLine(fontPrefix("中文:", "CN:"), fontFlags & x518_manage::kFontChinese32,
                    fontFlags & x518_manage::kFontChinese64);
}

QString factory::englishFontLine(u32 fontFlags)
{
    return fontLine(fontPrefix("英文:", "EN:"), fontFlags & x518_manage::kFontEnglish32,
                    fontFlags & x518_manage::kFontEnglish64);
}

void factory::syncUpdate(int)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store || store->KelLanguageChanged() == 0)
        return;
    // An edit of the language goes on: ended here, the operator's next OK
    // would open another edit, and the OK after it could land on a reset
    // row, which acts at once. The row shows the operator's choice, or the
    // language now in use when the operator has not stepped it.
    const u8 lang = g_language.load();
    if (editing()) {
        const int shown = language_seen.follow({ui->Box_lang_2->currentIndex()}, {blockLanguage()}).front();
        if (shown >= 0 && shown < pages::kLanguages)
            ui->Box_lang_2->setCurrentIndex(shown);
    } else {
        if (lang < pages::kLanguages)
            ui->Box_lang_2->setCurrentIndex(lang);
        language_seen.begin({blockLanguage()});
    }
    language_changed();
}

// ---------------------------------------------------------------- the language

void factory::on_Button_lang_clicked(int lang)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store || lang < 0 || lang >= pages::kLanguages)
        return;
    // A language the block holds already (a PC's write of the same) is
    // not written again.
    if (!language_seen.confirm(
            0, lang, [](const KEL_RAM_PARA& b) { return b.language & 0xFF; },
            [lang](KEL_RAM_PARA& b) { ram::setLowByte(b.language, static_cast<u8>(lang)); }))
        return;
    g_language = static_cast<u8>(lang);
    language_changed();
}

// ---------------------------------------------------------------- the resets

void factory::on_Button_reset1_clicked()
{
    resetBlock(false);
}
void factory::on_Button_reset2_clicked()
{
    resetBlock(true);
}

void factory::on_Button_reset3_clicked()
{
    restoreNetworkSettings();
    resetBlock(false);
}

void factory::resetBlock(bool keepEdid)
{
    const KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    // The shadow is the block as the change notifier last saw it.
    const KEL_RAM_PARA& shadow = store->ram_para_shadow;
    KelRamPara::editBlock([keepEdid, &shadow](KEL_RAM_PARA& b) {
        ram::restoreFactoryDefaults(b, keepEdid);
        if (canvasChanged(b, shadow))
            fpga_manage::requestPanelSetup();
        if (!keepEdid)
            requestEdidRewrites();
    });
}

// The address, mask and gateway of a fresh settings file, when the address
// is not that one already; eth0 is then set up again. Settings the file did
// not take stay as they were, and the tip says so.
void factory::restoreNetworkSettings()
{
    ConfigEngine* settings = ConfigEngine::p_config;
    const QString address = ConfigEngine::defaultValue(ConfigItem::IPAddress).toString();
    if (!settings || settingsRead(g_str_ip) == address)
        return;
    ConfigEngine::ConfigValues values;
    for (ConfigItem::ConfigName id : {ConfigItem::IPAddress, ConfigItem::SubNetMask, ConfigItem::GateWay})
        values.append({id, ConfigEngine::defaultValue(id).toString()});
    if (!settings->write_config_variants(values)) {
        if (g_tip)
            g_tip->tip_create(TIP::kSettingsNotSaved);
        return;
    }
    Utils::system_mutex(QStringLiteral("sync"), nullptr);
    QThread::usleep(kNetworkSettleUs);
    Utils::initIPAddress();
}
