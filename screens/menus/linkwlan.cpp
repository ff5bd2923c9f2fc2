#include "screens/menus/linkwlan.h"

#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "app/my_lineedit.h"
#include "app/page_support.h"
#include "app/tip.h"
#include "app/utils.h"
#include "screens/menus/settings_texts.h"
#include "ui_linkwlan.h"

#include <algorithm>

namespace {

const pages::Texts kTitle = {QStringLiteral("网口设置"), QStringLiteral("Net connect"),
                             QStringLiteral("Сетевое подключение"), QStringLiteral("Cài đặt cổng mạng"),
                             QStringLiteral("網口設置")};
const pages::Texts kAddress = {QStringLiteral("IP地址"), QStringLiteral("IP"), QStringLiteral("IP-адрес"),
                               QStringLiteral("Địa chỉ IP"), QStringLiteral("IP地址")};
const pages::Texts kMask = {QStringLiteral("子网掩码"), QStringLiteral("Mask"), QStringLiteral("Маска"),
                            QStringLiteral("Mặt nạ mạng con"), QStringLiteral("子網掩碼")};
const pages::Texts kGateway = {QStringLiteral("默认网关"), QStringLiteral("Gate"), QStringLiteral("Шлюз"),
                               QStringLiteral("Cổng vào"), QStringLiteral("默認網關")};

enum Row { kAddressRow, kMaskRow, kGatewayRow };

// The four fields of a row and their dots read as one framed box: the
// outer fields close it at the left and right.
const char* const kFieldLeftStyle =
    "color: rgb(255, 255, 255);background-color: rgb(33, 36, 53);border-top:1px solid rgb(255, 255, 255);"
    "border-bottom:1px solid rgb(255, 255, 255);border-left:1px solid rgb(255, 255, 255);";
const char* const kFieldMiddleStyle =
    "color: rgb(255, 255, 255);background-color: rgb(33, 36, 53);border-top:1px solid rgb(255, 255, 255);"
    "border-bottom:1px solid rgb(255, 255, 255);";
const char* const kFieldRightStyle =
    "color: rgb(255, 255, 255);background-color: rgb(33, 36, 53);border-top:1px solid rgb(255, 255, 255);"
    "border-bottom:1px solid rgb(255, 255, 255);border-right:1px solid rgb(255, 255, 255);";
const char* const kFieldSelectedStyle =
    "color: rgb(255, 255, 255); background-color: rgb(33, 36, 53);border:1px solid rgb(255,171,84);";

// The settings each row is kept in.
const ConfigItem::ConfigName kSetting[linkwlan::kRows] = {ConfigItem::IPAddress, ConfigItem::SubNetMask,
                                                          ConfigItem::GateWay};

QString storedAddress(int row)
{
    switch (row) {
    case kAddressRow: return settingsRead(g_str_ip);
    case kMaskRow: return settingsRead(g_srt_mask);
    default: return settingsRead(g_str_gateway);
    }
}

// The twelve octets the settings hold, by field. A stored value with fewer
// than four parts leaves the rest empty.
QStringList storedOctets()
{
    QStringList texts;
    for (int row = 0; row < linkwlan::kRows; ++row) {
        const QStringList parts = storedAddress(row).split(QLatin1Char('.'));
        for (int k = 0; k < linkwlan::kOctets; ++k)
            texts << (k < parts.size() ? parts[k] : QString());
    }
    return texts;
}

// An octet field's text as a value the page compares: the octet, or one of
// two values for an empty field and for a text that is no octet.
constexpr int kEmptyField = -1;
constexpr int kNoOctet = -2;

EditedFields::Values octetValues(const QStringList& texts)
{
    EditedFields::Values values;
    for (const QString& t : texts)
        values.push_back(Utils::isOctet(t) ? t.toInt() : t.isEmpty() ? kEmptyField : kNoOctet);
    return values;
}

}  // namespace

linkwlan::linkwlan(QWidget* parent) : Page(PAGE_NETWORK_ADDRESS, parent), ui(new Ui::linkwlan)
{
    ui->setupUi(this);
    My_lineEdit* const fields[kFields] = {
        ui->lineEditIp1,   ui->lineEditIp2,   ui->lineEditIp3,   ui->lineEditIp4,
        ui->lineEditMask1, ui->lineEditMask2, ui->lineEditMask3, ui->lineEditMask4,
        ui->lineEditGate1, ui->lineEditGate2, ui->lineEditGate3, ui->lineEditGate4,
    };
    std::vector<Entry> ring;
    for (int i = 0; i < kFields; ++i) {
        octets[i] = fields[i];
        ring.push_back({fields[i], [this, i] { editOctet(i); }});
        connect(fields[i], &My_lineEdit::send_show, this, &linkwlan::show_numberkeyboard_ui);
    }
    ring.push_back({ui->Button_apply, [this] { on_Button_net_apply_clicked(); }});
    ring.push_back({ui->Button_cancle, [this] { slot_Button_back_clicked(); }});
    setEntries(std::move(ring));
    showStored();
    menulist_init();
    language_changed();
}

linkwlan::~linkwlan()
{
    delete ui;
}

void linkwlan::language_changed()
{
    pages::showText(ui->label_wlan, kTitle);
    pages::showText(ui->label_IpSet, kAddress);
    pages::showText(ui->label_netmask, kMask);
    pages::showText(ui->label_gateway, kGateway);
    pages::showText(ui->Button_apply, settingsTexts::kApply);
    pages::showText(ui->Button_cancle, settingsTexts::kCancel);
}

QString linkwlan::normalStyle(int entry) const
{
    if (entry >= kFields)
        return QString::fromLatin1(kFrameNormalStyle);
    switch (entry % kOctets) {
    case 0: return QString::fromLatin1(kFieldLeftStyle);
    case kOctets - 1: return QString::fromLatin1(kFieldRightStyle);
    default: return QString::fromLatin1(kFieldMiddleStyle);
    }
}

QString linkwlan::selectedStyle(int entry) const
{
    return QString::fromLatin1(entry >= kFields ? kFrameSelectedStyle : kFieldSelectedStyle);
}

void linkwlan::show_numberkeyboard_ui(QString)
{
    const auto at = std::find(octets, octets + kFields, sender());
    if (at != octets + kFields)
        editOctet(static_cast<int>(at - octets));
}

void linkwlan::editOctet(int i)
{
    askNumber(octets[i], i / kOctets == kMaskRow ? QStringLiteral("Mask") : QStringLiteral("IP"));
}

void linkwlan::syncUpdate(int code)
{
    Page::syncUpdate(code);
    followStored();
}

void linkwlan::showStored()
{
    const QStringList texts = storedOctets();
    for (int i = 0; i < kFields; ++i)
        octets[i]->setText(texts[i]);
    octets_seen.begin(octetValues(texts));
}

void linkwlan::followStored()
{
    const QStringList texts = storedOctets();
    const EditedFields::Values shown = shownOctets();
    for (int i = 0; i < kFields; ++i)
        if (!octets_seen.changed(static_cast<std::size_t>(i), shown[i]))
            octets[i]->setText(texts[i]);
    octets_seen.follow(shown, octetValues(texts));
}

EditedFields::Values linkwlan::shownOctets() const
{
    QStringList texts;
    for (const QLineEdit* field : octets)
        texts << field->text();
    return octetValues(texts);
}

bool linkwlan::rowChanged(int row) const
{
    const EditedFields::Values shown = shownOctets();
    for (int i = row * kOctets; i < (row + 1) * kOctets; ++i)
        if (octets_seen.changed(static_cast<std::size_t>(i), shown[i]))
            return true;
    return false;
}

bool linkwlan::rowHeld(int row) const
{
    const EditedFields::Values shown = shownOctets();
    const EditedFields::Values held = octetValues(storedOctets());
    return std::equal(shown.begin() + row * kOctets, shown.begin() + (row + 1) * kOctets, held.begin() + row * kOctets);
}

QString linkwlan::address(int row) const
{
    QStringList parts;
    for (int k = 0; k < kOctets; ++k)
        parts << octets[row * kOctets + k]->text();
    return parts.join(QLatin1Char('.'));
}

int linkwlan::firstBadOctet() const
{
    for (int i = 0; i < kFields; ++i)
        if (!Utils::isOctet(octets[i]->text()))
            return i;
    return -1;
}

void linkwlan::focusOn(int entry)
{
    const int from = ui_select;
    ui_select = static_cast<u8>(entry);
    restyle(from);
    restyle(entry);
}

void linkwlan::on_Button_net_apply_clicked()
{
    // These values end up in root's shell commands: whole octets only.
    const int bad = firstBadOctet();
    if (bad >= 0) {
        pages::debugLine("[linkwlan] field %d holds no octet 0-255: nothing applied", bad + 1);
        focusOn(bad);
        // The LCD says why; the field is highlighted under it.
        if (g_tip)
            g_tip->tip_create(TIP::kAddressRefused);
        return;
    }
    // Rows the operator left hold what the settings hold now (a PC may have
    // set the address since the last refresh), and are not written.
    followStored();
    ConfigEngine::ConfigValues values;
    for (int row = 0; row < kRows; ++row) {
        if (!rowChanged(row) || rowHeld(row))
            continue;
        pages::debugLine("%s", qPrintable(address(row)));
        values.append({kSetting[row], address(row)});
    }
    if (values.isEmpty())
        return;
    ConfigEngine* config = ConfigEngine::p_config;
    if (config && !config->write_config_variants(values)) {
        // Not saved: eth0 keeps the address the settings file holds, and the
        // fields show it again.
        showStored();
        if (g_tip)
            g_tip->tip_create(TIP::kSettingsNotSaved);
        return;
    }
    showStored();
    Utils::system_mutex(QStringLiteral("sync"), nullptr);
    Utils::initIPAddress();
    KelRamPara::test_signal(SYNC_PARA_CHANGED);
}
