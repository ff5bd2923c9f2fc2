#include "screens/setup/custommode.h"

#include "app/kelrampara.h"
#include "app/mainwindow.h"
#include "app/syncupdate.h"
#include "app/page_support.h"
#include "screens/menus/settings_texts.h"
#include "screens/setup/kelcontrol.h"
#include "ui_custommode.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {

const pages::Texts kTitle = {QStringLiteral("用户模式"), QStringLiteral("User mode"), QStringLiteral("Слот"),
                             QStringLiteral("Chế độ người dùng"), QStringLiteral("用戶模式")};
const pages::Texts kInvokeCaption = {QStringLiteral("调用"), QStringLiteral("Invoke"), QStringLiteral("Вызвать"),
                                     QStringLiteral("Dùng"), QStringLiteral("調用")};
const pages::Texts kEmptySlot = {QStringLiteral("未保存用户模式数据"), QStringLiteral("Usermode does not exist"),
                                 QStringLiteral("Данные не сохранены"), QStringLiteral("Chế độ không được lưu"),
                                 QStringLiteral("未保存用戶模式數據")};
// A slot whose save waits for its file: not saved yet, the box keeps trying.
const pages::Texts kSaveWaits = {QStringLiteral("用户模式待保存"), QStringLiteral("Usermode not saved yet"),
                                 QStringLiteral("Слот ещё не сохранён"), QStringLiteral("Chế độ chưa lưu xong"),
                                 QStringLiteral("用戶模式待保存")};
// Selector entry n (1-16), "%1" for n.
const pages::Texts kSlotEntry = {QStringLiteral("用户模式%1"), QStringLiteral("MODE %1"), QStringLiteral("Слот %1"),
                                 QStringLiteral("Chế độ %1"), QStringLiteral("用戶模式%1")};

// The selector's parts in its own coordinates, and its place on the page.
const QRect kSelectorBox(19, 0, 100, 22);
const QRect kSelectorLeft(0, 0, 20, 22);
const QRect kSelectorRight(118, 0, 20, 22);
const QRect kSelector(3, 28, 320, 24);

KelRamPara* store()
{
    return KelRamPara::p_kelrampara_config;
}

QString slotNumber(int slot)
{
    return QStringLiteral("ID:%1").arg(slot + 1);
}

}  // namespace

CustomMode::CustomMode(QWidget* parent)
    : QWidget(parent), ui(new Ui::CustomMode),
      style_selected("background-color: #212435;color: rgb(255, 255, 255);border:1px solid rgb(255, 171, 84);"),
      style_normal("background-color: #212435;color: rgb(255, 255, 255);border:1px solid rgb(255, 255, 255);")
{
    ui->setupUi(this);
    pages::placeOverMainWindow(this);
    preview_font.setPixelSize(10);
    ui->lineEdit->setReadOnly(true);
    ui->label_blank->hide();

    const int current = store()->KelGetCurrentModeIndex();
    g_mode_select = static_cast<u8>(current != 0 ? current - 1 : 0);
    pages::debugLine("custom mode = %d %d", g_mode_select, current);

    selector = new kelcontrol(kSelectorBox, kSelectorLeft, kSelectorRight, this);
    selector->setGeometry(kSelector);

    init();
    image_para_init();
    menulist_init();
    ui->label_ID->setText(slotNumber(g_mode_select));
    pages::fitText(ui->label_ID);
    ui->Button_use->setStyleSheet(style_normal);
    // The slot's lines too.
    language_changed();
    if (SyncUpdate::p_SyncUpdate)
        connect(SyncUpdate::p_SyncUpdate, &SyncUpdate::saveStateChanged, this, &CustomMode::refreshSlotState);
}

CustomMode::~CustomMode()
{
    if (g_custommode == this)
        g_custommode = nullptr;
    delete ui;
}

void CustomMode::init()
{
    QComboBox* combo = selector->comboBox();
    combo->insertItems(combo->count(), slotEntries());
    selector->setFocusPolicy(Qt::NoFocus);
    combo->setFocusPolicy(Qt::NoFocus);
    combo->setCurrentIndex(g_mode_select);
    connect(combo, QOverload<int>::of(&QComboBox::activated), this, &CustomMode::pickSlot);
}

void CustomMode::menulist_init()
{
    ui_select = g_mode_select;
    edit_mode = 0;
    button_sel = kInvoke;
    selector->set_box_default();
}

// ---------------------------------------------------------------- labelling and refresh

QStringList CustomMode::slotEntries()
{
    QStringList entries;
    for (int n = 1; n <= ram::kUserModes; ++n)
        entries << pages::pick(kSlotEntry).arg(n);
    return entries;
}

void CustomMode::language_changed()
{
    // The slot selector and the slot's lines are in the language too.
    if (selector) {
        QComboBox* combo = selector->comboBox();
        const QStringList entries = slotEntries();
        for (int i = 0; i < entries.size() && i < combo->count(); ++i)
            combo->setItemText(i, entries[i]);
        lcd_para_init();
    }
    ui->label_title->setText(pages::pick(kTitle));
    pages::fitText(ui->label_title);
    ui->Button_delete->setText(pages::pick(settingsTexts::kDelete));
    pages::fitText(ui->Button_delete);
    ui->Button_use->setText(pages::pick(kInvokeCaption));
    pages::fitText(ui->Button_use);
    ui->label_using->setText(pages::inUseCaption());
    pages::fitText(ui->label_using);
    showBlankText();
}

void CustomMode::showBlankText()
{
    ui->label_blank->setText(pages::pick(store()->saveWaits(g_mode_select) ? kSaveWaits : kEmptySlot));
    pages::fitText(ui->label_blank);
}

void CustomMode::syncUpdate()
{
    if (!pages::onGuiThread([] {
            if (g_custommode && g_page_focus.load() == PAGE_USER_MODES)
                g_custommode->syncUpdate();
        }))
        return;
    KelRamPara* s = store();
    if (s->KelLanguageChanged() != 0)
        language_changed();
    // A recall reached the chip (or the mode in use changed elsewhere): the
    // badge follows.
    if (s->ram_para.current_mode != s->ram_para_shadow.current_mode && get_mode_status() == 1)
        ui->label_using->setVisible(s->KelGetCurrentModeIndex() == g_mode_select + 1);
    refreshSlotState();
}

void CustomMode::refreshSlotState()
{
    if (get_mode_status() == shown_status)
        return;
    // The button row belongs to a saved slot only.
    if (shown_status == 1 && edit_mode == 1) {
        kel_button_selinfo(2, 0);
        menulist_init();
    }
    lcd_para_init();
    image_para_init();
    showBlankText();
}

// ---------------------------------------------------------------- the selection and the buttons

void CustomMode::kel_button_mode_clicked()
{
    g_mode_select = ui_select;
    ui->label_ID->setText(slotNumber(ui_select));
    pages::fitText(ui->label_ID);
    lcd_para_init();
    image_para_init();
}

QPushButton* CustomMode::button(int index) const
{
    switch (index) {
    case kInvoke: return ui->Button_use;
    case kDelete: return ui->Button_delete;
    case kMore: return ui->Button_more;
    default: return nullptr;
    }
}

void CustomMode::kel_button_selinfo(char kind, char index)
{
    switch (kind) {
    case 0:
        if (QPushButton* b = button(index))
            pages::setStyle(b, style_selected);
        kel_button_mode_clicked();
        break;
    case 1:
        if (QPushButton* b = button(index))
            pages::setStyle(b, style_normal);
        break;
    case 2:
        for (int i = 0; i < kButtons; ++i)
            pages::setStyle(button(i), style_normal);
        break;
    default: break;
    }
}

// A slot whose save waits for its file is not saved yet: what it held
// before is neither shown nor recalled here.
int CustomMode::get_mode_status()
{
    return store()->KelUserModeSaved(g_mode_select) == 1 && !store()->saveWaits(g_mode_select) ? 1 : 0;
}

void CustomMode::on_Button_use_clicked()
{
    store()->recallUserMode(g_mode_select);
}

void CustomMode::on_Button_delete_clicked()
{
    if (get_mode_status() != 1)
        return;
    store()->mode_file_deal(g_mode_select, 1);
    lcd_para_init();
    image_para_init();
}

// ---------------------------------------------------------------- keys

void CustomMode::keyPressEvent(QKeyEvent* event)
{
    pages::notePress(event->key(), "CustomMode");
}

void CustomMode::keyReleaseEvent(QKeyEvent* event)
{
    // The key goes on to the key pad also after this page closed: Qt
    // deletes it only later.
    releaseKey(event->key(), "CustomMode", ui_select);
}

void CustomMode::stepSlot(int step)
{
    selector->set_box_default();
    ui_select = static_cast<u8>((ui_select + step + ram::kUserModes) % ram::kUserModes);
    selector->set_boxindexsel(static_cast<char>(ui_select));
    kel_button_mode_clicked();
}

void CustomMode::pickSlot(int slot)
{
    if (slot < 0 || slot >= ram::kUserModes)
        return;
    if (edit_mode != 0) {
        edit_mode = 0;
        kel_button_selinfo(2, 0);
    }
    stepSlot(slot - ui_select);
}

// Invoke, Delete and, while the mode carries an overlay, More.
void CustomMode::stepButton(int step)
{
    const int stops = kButtons - more_hidden;
    kel_button_selinfo(1, static_cast<char>(button_sel));
    button_sel = static_cast<u8>((button_sel + step + stops) % stops);
    kel_button_selinfo(0, static_cast<char>(button_sel));
}

void CustomMode::onLeft()
{
    if (edit_mode == 0)
        stepSlot(-1);
    else
        stepButton(-1);
}

void CustomMode::onRight()
{
    if (edit_mode == 0)
        stepSlot(1);
    else
        stepButton(1);
}

void CustomMode::onOk()
{
    if (edit_mode == 0) {
        if (get_mode_status() != 1)
            return;  // an empty slot has nothing to act on
        edit_mode = 1;
        selector->set_box_modify();
        button_sel = kInvoke;
        kel_button_selinfo(0, kInvoke);
        return;
    }
    edit_mode = 0;
    selector->set_box_default();
    if (button_sel == kInvoke)
        on_Button_use_clicked();
    else if (button_sel == kDelete)
        on_Button_delete_clicked();
    kel_button_selinfo(2, 0);
}

void CustomMode::onBack()
{
    if (edit_mode == 1) {
        edit_mode = 0;
        selector->set_box_default();
        kel_button_selinfo(2, 0);
        kel_button_mode_clicked();
        return;
    }
    if (g_mode_shortcut_key != 0)
        leaveForHomePage();
    else
        slot_Button_back_clicked();
}

// ---------------------------------------------------------------- leaving

void CustomMode::leaveForHomePage()
{
    g_mode_shortcut_key = 0;
    setAttribute(Qt::WA_DeleteOnClose);
    close();
    g_custommode = nullptr;
    if (g_mainwindow)
        g_mainwindow->openHomePage();
}

void CustomMode::slot_Button_back_clicked()
{
    setAttribute(Qt::WA_DeleteOnClose);
    close();
    if (g_mainwindow)
        g_mainwindow->language_changed();
    g_custommode = nullptr;
    g_page_focus = PAGE_MAIN_MENU;
}
