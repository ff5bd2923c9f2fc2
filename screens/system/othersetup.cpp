#include "screens/system/othersetup.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "links/r54_wifi_config.h"
#include "ui_othersetup.h"

#include <QComboBox>
#include <QLabel>
#include <algorithm>

namespace {

const pages::Texts kTitle = {QStringLiteral("其它设置"), QStringLiteral("Other Settings"),
                             QStringLiteral("Другие настройки"), QStringLiteral("Cài đặt khác"),
                             QStringLiteral("其它設置")};
const pages::Texts kVolume = {QStringLiteral("音量"), QStringLiteral("Volume"), QStringLiteral("Звук"),
                              QStringLiteral("Âm lượng"), QStringLiteral("音量")};
const pages::Texts kSwitchMode = {QStringLiteral("切换模式"), QStringLiteral("Switch mode"),
                                  QStringLiteral("Переключение"), QStringLiteral("Chế độ chuyển"),
                                  QStringLiteral("切換模式")};
const pages::Texts kProjection = {QStringLiteral("投影"), QStringLiteral("Projection"), QStringLiteral("Проекция"),
                                  QStringLiteral("Trình chiếu"), QStringLiteral("投影")};
const pages::Texts kWifiState = {QStringLiteral("WiFi状态"), QStringLiteral("Wifi state"), QStringLiteral("Wi-Fi"),
                                 QStringLiteral("Trạng thái Wifi"), QStringLiteral("WiFi狀態")};
// Named as the window layout names it.
const pages::Texts kDotByDot = {QStringLiteral("点对点"), QStringLiteral("DBD"), QStringLiteral("Пиксель к пикселю"),
                                QStringLiteral("Điểm tới điểm"), QStringLiteral("點對點")};
// "%1" is the window number from 1.
const pages::Texts kWindow = {QStringLiteral("画面%1"), QStringLiteral("image%1"), QStringLiteral("Канал%1"),
                              QStringLiteral("Hình ảnh%1"), QStringLiteral("畫麵%1")};
const pages::Texts kOffText = {QStringLiteral("关"), QStringLiteral("OFF"), QStringLiteral("Выкл"),
                               QStringLiteral("Tắt"), QStringLiteral("關")};
const pages::Texts kOnText = {QStringLiteral("开"), QStringLiteral("ON"), QStringLiteral("Вкл"), QStringLiteral("Bật"),
                              QStringLiteral("開")};
const pages::Texts kSeamlessText = {QStringLiteral("无缝快切"), QStringLiteral("Seamless"), QStringLiteral("Быстро"),
                                    QStringLiteral("Chuyển đổi ngay"), QStringLiteral("無縫快切")};
const pages::Texts kFadeText = {QStringLiteral("淡入淡出"), QStringLiteral("Fade"), QStringLiteral("Плавно"),
                                QStringLiteral("và ngoài"), QStringLiteral("淡入淡出")};
const pages::Texts kClickOk = {QStringLiteral("按OK键"), QStringLiteral("Click OK"), QStringLiteral("Нажмите OK"),
                               QStringLiteral("Nhấn OK"), QStringLiteral("按OK鍵")};

constexpr u8 kFullVolume = 255;
constexpr u16 kFlagsLowByte = 0x00FF;  // the dot-by-dot switch writes the high byte whole

bool windowShown(const IMAGE_PARA& image)
{
    return image.enable != 0;
}

// The window whose audio the page shows: the audio window, window 0 when it
// names no shown window.
int audioWindow(const KEL_RAM_PARA& b)
{
    const bool named = b.audio_image <= ram::kMaxAudioImage && windowShown(b.image[b.audio_image]);
    return named ? b.audio_image : 0;
}

std::vector<int> shownWindows(const KEL_RAM_PARA& b)
{
    std::vector<int> windows;
    for (int w = 0; w < ram::kShownImages; ++w)
        if (windowShown(b.image[w]))
            windows.push_back(w);
    return windows;
}

// The entries of the rows a PC may switch, as the block holds them.
int switchEntry(const KEL_RAM_PARA& b)
{
    return b.seamless ? othersetup::kFade : othersetup::kSeamless;
}
int wifiEntry(const KEL_RAM_PARA& b)
{
    return b.wifi_off ? othersetup::kWifiOff : othersetup::kWifiOn;
}
int dotByDotEntry(const KEL_RAM_PARA& b)
{
    return b.dbd_enable ? othersetup::kOn : othersetup::kOff;
}

constexpr int kNoWindow = -1;

QStringList windowNames(const std::vector<int>& windows)
{
    QStringList names;
    for (int w : windows)
        names.push_back(pages::pick(kWindow).arg(w + 1));
    return names;
}

// Where window `w` is in the list, the first entry when it is not listed.
int listIndex(const std::vector<int>& windows, int w)
{
    const auto at = std::find(windows.begin(), windows.end(), w);
    return at == windows.end() ? 0 : static_cast<int>(at - windows.begin());
}

}  // namespace

othersetup::othersetup(QWidget* parent) : Page(PAGE_OTHER_SETTINGS, parent), ui(new Ui::othersetup)
{
    ui->setupUi(this);
    ui->label_name_mode->hide();
    ui->mode_state->hide();
    auto confirmRow = [this](int row) { return [this, row](int index) { on_button_box_clicked(row, index); }; };
    setEntries({
        {ui->ImageVolume, {}, confirmRow(kWindowRow)},
        {ui->volume_state, {}, confirmRow(kAudioRow)},
        {ui->switch_state, {}, confirmRow(kSwitchRow)},
        {ui->wifi_state, {}, confirmRow(kWifiRow)},
        {ui->dbd_state, {}, confirmRow(kDotByDotRow)},
    });
    menulist_init();
    language_changed();
    para_init();
}

othersetup::~othersetup()
{
    delete ui;
}

void othersetup::language_changed()
{
    ui->label_other->setText(pages::pick(kTitle));
    ui->label_name_volume->setText(pages::pick(kVolume));
    ui->label_name_switch->setText(pages::pick(kSwitchMode));
    ui->label_name_mode->setText(pages::pick(kProjection));
    ui->label_wifi->setText(pages::pick(kWifiState));
    ui->label_name_DBD->setText(pages::pick(kDotByDot));
    for (QLabel* label : std::initializer_list<QLabel*>{ui->label_other, ui->label_name_volume, ui->label_name_switch,
                                                        ui->label_name_mode, ui->label_wifi, ui->label_name_DBD})
        pages::fitText(label);
}

void othersetup::para_init()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    const KEL_RAM_PARA& b = store->ram_para;
    if (b.audio_image != 0 && (b.audio_image > ram::kMaxAudioImage || !windowShown(b.image[b.audio_image])))
        KelRamPara::editBlock([](KEL_RAM_PARA& block) { block.audio_image = 0; });

    listed_windows = shownWindows(b);
    const EditedFields::Values rows = blockRows();
    pages::setChoices(ui->ImageVolume, windowNames(listed_windows), listIndex(listed_windows, rows[kWindowRow]));

    const QStringList offOn = {pages::pick(kOffText), pages::pick(kOnText)};
    pages::setChoices(ui->volume_state, offOn, rows[kAudioRow]);
    pages::setChoices(ui->switch_state, {pages::pick(kSeamlessText), pages::pick(kFadeText)}, rows[kSwitchRow]);
    pages::setChoices(ui->mode_state, {pages::pick(kClickOk)}, 0);
    pages::setChoices(ui->wifi_state, {pages::pick(kOnText), pages::pick(kOffText)}, rows[kWifiRow]);
    pages::setChoices(ui->dbd_state, offOn, rows[kDotByDotRow]);
    rows_seen.begin(rows);
}

void othersetup::syncUpdate(int)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    if (store->KelLanguageChanged() == 0)
        return followBlock();
    language_changed();
    endEditing(false);
    para_init();
}

void othersetup::onBack()
{
    if (!editing())
        return Page::onBack();
    // The edit is given up: the row shows what the block holds now.
    const int row = ui_select;
    endEditing(true);
    const int held = blockRows()[static_cast<std::size_t>(row)];
    showRow(row, held);
    rows_seen.took(static_cast<std::size_t>(row), held);
}

// ---------------------------------------------------------------- following the block

EditedFields::Values othersetup::blockRows() const
{
    EditedFields::Values rows(kRows, 0);
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return rows;
    const KEL_RAM_PARA& b = store->ram_para;
    const int audio = audioWindow(b);
    const bool listed = std::find(listed_windows.begin(), listed_windows.end(), audio) != listed_windows.end();
    rows[kWindowRow] = listed ? audio : listed_windows.empty() ? kNoWindow : listed_windows.front();
    rows[kAudioRow] = (b.image[audio].audio & ram::kAudioOn) ? kOn : kOff;
    rows[kSwitchRow] = switchEntry(b);
    rows[kWifiRow] = wifiEntry(b);
    rows[kDotByDotRow] = dotByDotEntry(b);
    return rows;
}

EditedFields::Values othersetup::shownRows() const
{
    const int entry = ui->ImageVolume->currentIndex();
    const bool listed = entry >= 0 && entry < static_cast<int>(listed_windows.size());
    return {listed ? listed_windows[static_cast<std::size_t>(entry)] : kNoWindow, ui->volume_state->currentIndex(),
            ui->switch_state->currentIndex(), ui->wifi_state->currentIndex(), ui->dbd_state->currentIndex()};
}

void othersetup::showRow(int row, int value)
{
    if (row == kWindowRow) {
        const auto at = std::find(listed_windows.begin(), listed_windows.end(), value);
        if (at != listed_windows.end())
            ui->ImageVolume->setCurrentIndex(static_cast<int>(at - listed_windows.begin()));
        return;
    }
    if (QComboBox* box = choiceOf(row))
        box->setCurrentIndex(value);
}

void othersetup::listWindows()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    const std::vector<int> windows = shownWindows(store->ram_para);
    if (windows == listed_windows)
        return;
    if (editing() && ui_select == kWindowRow)
        endEditing(false);
    const int shown = shownRows()[kWindowRow];
    listed_windows = windows;
    pages::setChoices(ui->ImageVolume, windowNames(windows), listIndex(windows, shown));
}

void othersetup::followBlock()
{
    listWindows();
    const EditedFields::Values next = rows_seen.follow(shownRows(), blockRows());
    for (int row = 0; row < kRows; ++row)
        showRow(row, next[static_cast<std::size_t>(row)]);
}

// ---------------------------------------------------------------- confirming a row

void othersetup::on_button_box_clicked(int row, int index)
{
    switch (row) {
    case kAudioRow: return confirmAudio(index);
    case kSwitchRow: return confirmSwitch(index);
    case kWifiRow: return confirmWifi(index);
    case kDotByDotRow: return confirmDotByDot(index);
    default: return;  // the window alone changes nothing
    }
}

// The window the window list shows gets its audio on or off and becomes the
// audio window; with no window listed nothing changes, nor when the window
// already has the audio chosen.
void othersetup::confirmAudio(int index)
{
    const int entry = ui->ImageVolume->currentIndex();
    if (entry < 0 || entry >= static_cast<int>(listed_windows.size()))
        return;
    const int w = listed_windows[entry];
    const bool windowChanged = rows_seen.takeChanged(kWindowRow, w);
    if (!rows_seen.takeChanged(kAudioRow, index) && !windowChanged)
        return;
    const bool on = index == kOn;
    EditedFields::writeUnlessHeld(
        index, [w](const KEL_RAM_PARA& b) { return (b.image[w].audio & ram::kAudioOn) ? kOn : kOff; },
        [w, on](KEL_RAM_PARA& b) {
            b.audio_image = static_cast<u16>(w);
            b.image[w].volume = on ? kFullVolume : 0;
            b.image[w].audio = on ? ram::kAudioOn : 0;
        });
}

void othersetup::confirmSwitch(int index)
{
    const bool fade = index == kFade;
    const bool wrote = rows_seen.confirm(kSwitchRow, index, switchEntry, [fade](KEL_RAM_PARA& b) {
        ram::setLowByte(b.seamless, fade ? 1 : 0);
        for (int k = 0; k < ram::kImages; ++k) {
            if (fade) {
                ram::setLowByte(b.seamless_para[k].para0, ram::kSeamlessDefault);
                ram::setLowByte(b.seamless_para[k].para1, ram::kSeamlessDefault);
                b.image[k].flags |= ram::kFlagSeamless;
            } else {
                b.image[k].flags &= static_cast<u16>(~ram::kFlagSeamless);
            }
        }
    });
    if (wrote)
        KelRamPara::p_kelrampara_config->ram_para_save();
}

void othersetup::confirmWifi(int index)
{
    const bool off = index == kWifiOff;
    if (!rows_seen.confirm(kWifiRow, index, wifiEntry,
                           [off](KEL_RAM_PARA& b) { ram::setLowByte(b.wifi_off, off ? 1 : 0); }))
        return;
    if (off)
        R54_WIFI_CONFIG::stopAccessPoint();
    else if (R54_WIFI_CONFIG::p_wifi)
        R54_WIFI_CONFIG::p_wifi->set_wifi_reset_flag();
}

void othersetup::confirmDotByDot(int index)
{
    const u8 on = index == kOn ? 1 : 0;
    const bool wrote = rows_seen.confirm(kDotByDotRow, index, dotByDotEntry, [on](KEL_RAM_PARA& b) {
        ram::setLowByte(b.dbd_enable, on);
        for (IMAGE_PARA& image : b.image)
            image.flags = static_cast<u16>((image.flags & kFlagsLowByte) | (on ? ram::kFlagDotByDot : 0));
    });
    if (wrote)
        KelRamPara::p_kelrampara_config->ram_para_save();
}
