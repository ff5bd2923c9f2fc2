#include "app/mainwindow.h"

#include "app/aginglog.h"
#include "app/firmwareupdate.h"
#include "app/kelrampara.h"
#include "app/lockwindow.h"
#include "app/numberkeyboard.h"
#include "app/page_handover.h"
#include "app/page_support.h"
#include "app/tip.h"
#include "app/utils.h"
#include "platform/platform.h"
#include "screens/page_directory.h"
#include "screens/system/factoryage.h"
#include "tools/tool_page_requests.h"
#include "ui_mainwindow.h"
#include "videochip/x518_manage.h"

#include <QDebug>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

const QSize kMenuIcon(64, 64);
const QSize kToolIcon(24, 36);
const QSize kSmallIcon(16, 16);

// Size of the input-choice picture: it carries a wider caption outside Chinese.
QSize inputChooseIconSize()
{
    switch (pages::textLanguage()) {
    case pages::EN: return QSize(90, 64);
    case pages::RU:
    case pages::VN: return QSize(96, 76);
    default: return kMenuIcon;
    }
}

// Menu items in the order LEFT and RIGHT step through them.
enum MenuItem { kItemMachineState = 0, kItemInputChoose, kItemCustomMode, kItemOption, kItemLock, kItemTools };
constexpr int kLastMenuButton = kItemOption;  // items 0-3 are the large menu buttons

KEL_RAM_PARA* block()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store ? &store->ram_para : nullptr;
}

// ---- the user-mode bar
const QRect kModeBarRect(11, 6, 270, 230);
const QRect kPointerRect(281, 148, 9, 12);
const QRect kModeTitleRect(10, 5, 210, 28);
constexpr int kBarFontPoints = 9;
// The 4 x 4 grid of slots.
constexpr int kSlotColumns = 4;
constexpr int kSlotX0 = 13, kSlotStepX = 63;
constexpr int kSlotY0 = 33, kSlotStepY = 45;
// Wide enough for the longest in-use mark at the smallest readable size.
constexpr int kSlotW = 54, kSlotH = 40;
constexpr int kSlotNumberSize = 12;
// Inside a slot's frame: the picture, moved up to make room for the in-use label.
const QRect kSlotPictureRect(19, 12, 16, 16);
const QRect kSlotPictureInUseRect(19, 7, 16, 16);
// The in-use mark keeps 3 pixels clear inside the slot's 2-pixel orange
// focus frame on either side.
const QRect kInUseRect(5, 23, 44, 17);
// KelUserModeIndex directions.
constexpr char kModePrevious = 0;
constexpr char kModeNext = 1;
constexpr char kModeCurrentOrNext = 2;

const char* const kTitleStyle = "background-color: rgb(255, 255, 255);";
const char* const kSavedFrameStyle = "background-color: #212435;border-radius:5px;";
const char* const kEmptyFrameStyle = "background-color: #B2B2B2;border-radius:5px;";
const char* const kTouchedFrameStyle = "background-color: #00D65B;border-radius:5px;";
const char* const kWaitingFrameStyle = "background-color: #E0662C;border-radius:5px;";
const char* const kSlotNumberStyle = "background-color: #4777FF;color: #FFFFFF;border-radius:3px;font: 9px;";
const char* const kInUseStyle = "color: rgb(255, 255, 255); font: 9px;";

QString callTitle()
{
    return pages::pick({QStringLiteral("用户模式调用"), QStringLiteral("User mode invocation"),
                        QStringLiteral("Загрузка настроек"), QStringLiteral("Điều chỉnh chế độ"),
                        QStringLiteral("用戶模式調用")});
}

QString saveTitle()
{
    return pages::pick({QStringLiteral("用户模式保存"), QStringLiteral("User mode save"),
                        QStringLiteral("Сохранение настроек"), QStringLiteral("Chế độ lưu"),
                        QStringLiteral("用戶模式保存")});
}

// A slot whose save still waits for its file is not saved yet: the bar
// shows it waiting and does not call what it held before.
bool slotSaved(int slot)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store && store->KelUserModeSaved(slot) == 1 && !store->saveWaits(slot);
}

bool slotSaveWaits(int slot)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store && store->saveWaits(slot);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow),
      style_menu("background-color: rgb(33, 36, 53);border:2px;border-radius:10px;padding:2px 4px"),
      style_menu_selected("background-color: rgb(33, 36, 53);border:2px solid rgb(255,171,84);border-radius:10px;"
                          "padding:2px 4px;"),
      style_tool("background-color: rgb(33, 36, 53);border:1px;border-radius:1px;padding:1px 1px"),
      style_tool_selected("background-color: rgb(33, 36, 53);border:1px solid rgb(255,171,84);border-radius:1px;"
                          "padding:1px 1px"),
      style_slot("background-color:transparent;"),
      style_slot_selected("background-color:transparent;border-radius:5px;border:2px solid rgb(255,171,84);"),
      style_mode_bar("#widget_mode{background-color: rgb(255, 255, 255);border:1px groove gray;border-radius:1px;}")
{
    ui->setupUi(this);
    ui->widget->hide();
    mode_init();
    pointer_label = new QLabel(this);
    pointer_label->setPixmap(pages::pixmap(pages::plainPicture("pointer.png")));
    pointer_label->setScaledContents(true);
    pointer_label->hide();

    ui->label_IP->setPixmap(pages::pixmap(pages::plainPicture("ip.png")));
    setIcon(ui->Button_lock, pages::plainPicture("unlock.png"), kSmallIcon);
    setIcon(ui->tools, pages::plainPicture("tools.png"), kSmallIcon);
    setIcon(ui->toolButton3, pages::plainPicture("uncall.png"), kToolIcon);
    setIcon(ui->toolButton4, pages::plainPicture("unsave.png"), kToolIcon);

    installPageActions();
    g_numberkeyboard = new NumberKeyboard(nullptr);
    g_numberkeyboard->setWindowFlags(g_numberkeyboard->windowFlags() | Qt::FramelessWindowHint);
    g_tip = new TIP(nullptr);

    menu_focus_list[kItemMachineState] = ui->machinestate;
    menu_focus_list[kItemInputChoose] = ui->inputchoose;
    menu_focus_list[kItemCustomMode] = ui->custommode;
    menu_focus_list[kItemOption] = ui->option;
    menu_focus_list[kItemLock] = ui->Button_lock;
    menu_focus_list[kItemTools] = ui->tools;
    tool_focus_list[0] = ui->toolButton1;
    tool_focus_list[1] = ui->toolButton2;
    tool_focus_list[2] = ui->toolButton3;
    tool_focus_list[3] = ui->toolButton4;
    ui_select = 0;
    mode_focus = 0;
    focus_widget = ui->machinestate;
    focus_widget->setStyleSheet(style_menu_selected);

    language_changed();
}

MainWindow::~MainWindow()
{
    delete ui;
}

bool MainWindow::toolBarShown() const
{
    return !ui->widget->isHidden();
}

void MainWindow::setIcon(QPushButton* button, const QString& picture, QSize size)
{
    button->setIcon(pages::icon(picture));
    button->setIconSize(size);
}

// ---------------------------------------------------------------- labelling

void MainWindow::language_changed()
{
    setIcon(ui->machinestate, pages::picture("machinestate.png"), kMenuIcon);
    setIcon(ui->inputchoose, pages::picture("inputchoose.png"), inputChooseIconSize());
    setIcon(ui->custommode, pages::picture("custommode.png"), kMenuIcon);
    setIcon(ui->option, pages::picture("option.png"), kMenuIcon);
    setIcon(ui->toolButton3, pages::picture(l_call_state ? "call.png" : "uncall.png"), kToolIcon);
    setIcon(ui->toolButton4, pages::picture(l_save_state ? "save.png" : "unsave.png"), kToolIcon);
    para_init();
    ip_changed();
}

void MainWindow::para_init()
{
    const KEL_RAM_PARA* b = block();
    if (!b)
        return;
    showLedOff(b->led_off == 1);
    showAudio(b->image[ram::audioImage(*b)].audio & ram::kAudioOn);
    showLock(b->panel_lock != 0);
}

void MainWindow::showLedOff(bool off)
{
    led_off_shown = off;
    setIcon(ui->toolButton1, pages::picture(off ? "closeled.png" : "uncloseled.png"), kToolIcon);
}

void MainWindow::showAudio(bool on)
{
    audio_on_shown = on;
    setIcon(ui->toolButton2, pages::picture(on ? "unslience.png" : "slience.png"), kToolIcon);
}

// Any value but 0 locks the panel keys (pages::panelLocked).
void MainWindow::showLock(bool locked)
{
    l_lock_state = locked ? 1 : 0;
    setIcon(ui->Button_lock, pages::plainPicture(l_lock_state ? "lock.png" : "unlock.png"), kSmallIcon);
}

void MainWindow::ip_changed()
{
    ui->label_IPaddr->setText(settingsRead(g_str_ip));
}

void MainWindow::syncUpdate()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    if (store->KelLanguageChanged() == 1)
        language_changed();
    const KEL_RAM_PARA& live = store->ram_para;
    const KEL_RAM_PARA& shadow = store->ram_para_shadow;
    const IMAGE_PARA& audioLive = live.image[ram::audioImage(live)];
    const IMAGE_PARA& audioShadow = shadow.image[ram::audioImage(live)];
    const bool same = live.led_off == shadow.led_off && audioLive.volume == audioShadow.volume &&
                      audioLive.audio == audioShadow.audio && live.panel_lock == shadow.panel_lock &&
                      (live.panel_lock != 0) == (l_lock_state != 0) && (live.led_off == 1) == led_off_shown &&
                      ((audioLive.audio & ram::kAudioOn) != 0) == audio_on_shown;
    if (!same)
        para_init();
    ip_changed();
}

void MainWindow::mode_window_close()
{
    if (!widget_mode)
        return;
    l_call_state = 0;
    l_save_state = 0;
    widget_mode->hide();
    pointer_label->hide();
}

// ---------------------------------------------------------------- pages

void MainWindow::on_machinestate_clicked()
{
    mode_window_close();
    pages::openPage(PAGE_DEVICE_INFO);
}

void MainWindow::on_inputchoose_clicked()
{
    mode_window_close();
    pages::openPage(PAGE_INPUT_CHOICE);
}

void MainWindow::on_custommode_clicked()
{
    mode_window_close();
    pages::openUserModePage();
}

void MainWindow::on_option_clicked()
{
    mode_window_close();
    pages::openPage(PAGE_OPTIONS);
}

void MainWindow::openHomePage()
{
    if (!g_lockwindow)
        g_lockwindow = new LockWindow(nullptr);
    g_page_focus = PAGE_HOME;
    g_lockwindow->show();
    g_lockwindow->raise();
    g_lockwindow->activateWindow();
}

// ---------------------------------------------------------------- tool bar

void MainWindow::on_tools_clicked()
{
    if (!toolBarShown()) {
        ui->widget->show();
        focus_widget->setStyleSheet(style_menu);
        ui_select = 0;
        mode_focus = 0;
        focus_widget = ui->toolButton1;
        focus_widget->setStyleSheet(style_tool_selected);
        return;
    }
    if (widget_mode) {
        widget_mode->hide();
        widget_mode->deleteLater();
        widget_mode = nullptr;
        std::fill(std::begin(g_mode), std::end(g_mode), nullptr);
        pointer_label->hide();
    }
    l_call_state = 0;
    l_save_state = 0;
    mode_focus = 0;
    setIcon(ui->toolButton3, pages::picture("uncall.png"), kToolIcon);
    setIcon(ui->toolButton4, pages::picture("unsave.png"), kToolIcon);
    ui->widget->hide();
}

// The tool buttons and the lock ask for the other of what they show; what
// the block holds already (a PC wrote it, not yet shown) is not written
// again, and each shows what the block then holds.
void MainWindow::on_toolButton1_clicked()
{
    if (!block())
        return;
    const bool off = !led_off_shown;
    KelRamPara::editBlock([off](KEL_RAM_PARA& b) {
        if ((b.led_off == 1) != off)
            b.led_off = off ? 1 : 0;
    });
    showLedOff(off);
}

void MainWindow::on_toolButton2_clicked()
{
    if (!block())
        return;
    const bool on = !audio_on_shown;
    KelRamPara::editBlock([on](KEL_RAM_PARA& b) {
        // An audio window out of range, or switched off, is set back to window 0.
        int a = ram::audioImage(b);
        if (a != b.audio_image || b.image[a].enable == 0) {
            b.audio_image = 0;
            a = 0;
        }
        IMAGE_PARA& image = b.image[a];
        if (((image.audio & ram::kAudioOn) != 0) != on) {
            image.volume = on ? 255 : 0;
            image.audio = on ? ram::kAudioOn : 0;
        }
    });
    showAudio(on);
}

void MainWindow::on_toolButton3_clicked()
{
    armModeBar(true);
}

void MainWindow::on_toolButton4_clicked()
{
    armModeBar(false);
}

void MainWindow::on_Button_lock_clicked()
{
    KEL_RAM_PARA* b = block();
    if (!b)
        return;
    // The other of what the icon shows; a lock (any value but 0) or an
    // unlock the block holds already (a PC wrote 772 meanwhile) is left as
    // it is, and the icon shows it. No apply and no change code: the chip
    // does not act on the lock, and the value reaches the file with the next
    // write-back.
    const bool locked = l_lock_state == 0;
    {
        QMutexLocker lock(&x518_manage::mutex);
        if ((b->panel_lock != 0) != locked)
            b->panel_lock = locked ? 1 : 0;
    }
    showLock(locked);
}

// ---------------------------------------------------------------- keys

const QString& MainWindow::normalStyleOfItem(int item) const
{
    return item <= kLastMenuButton ? style_menu : style_tool;
}

const QString& MainWindow::selectedStyleOfItem(int item) const
{
    return item <= kLastMenuButton ? style_menu_selected : style_tool_selected;
}

void MainWindow::stepMenuFocus(int step)
{
    const int next = (ui_select + step + kMenuItems) % kMenuItems;
    pages::moveFocus(focus_widget, normalStyleOfItem(ui_select), menu_focus_list[next], selectedStyleOfItem(next));
    ui_select = static_cast<u8>(next);
    focus_widget = menu_focus_list[next];
}

void MainWindow::stepToolFocus(int step)
{
    const int current = ui_select < kToolItems ? ui_select : 0;
    const int next = (current + step + kToolItems) % kToolItems;
    pages::moveFocus(focus_widget, style_tool, tool_focus_list[next], style_tool_selected);
    ui_select = static_cast<u8>(next);
    focus_widget = tool_focus_list[next];
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    pages::notePress(event->key(), "MainWindow");
}

void MainWindow::keyReleaseEvent(QKeyEvent* event)
{
    KEL_DBG("in MainWindow keyReleaseEvent event %#x\n", event->key());
    releaseKey(event->key(), "MainWindow", ui_select);
}

void MainWindow::onRight()
{
    if (!toolBarShown())
        stepMenuFocus(1);
    else if (modeBarArmed())
        on_usermodesel_clicked(kModeNext);
    else
        stepToolFocus(1);
}

void MainWindow::onLeft()
{
    if (!toolBarShown())
        stepMenuFocus(-1);
    else if (modeBarArmed())
        on_usermodesel_clicked(kModePrevious);
    else
        stepToolFocus(-1);
}

void MainWindow::onOk()
{
    if (!toolBarShown()) {
        KEL_DBG("\n ui_select=%d l_lock_state=%d l_call_state=%d\n", ui_select, l_lock_state, l_call_state);
        switch (ui_select) {
        case kItemMachineState: on_machinestate_clicked(); break;
        case kItemInputChoose: on_inputchoose_clicked(); break;
        case kItemCustomMode: on_custommode_clicked(); break;
        case kItemOption: on_option_clicked(); break;
        case kItemLock: on_Button_lock_clicked(); break;
        case kItemTools: on_tools_clicked(); break;
        default: break;
        }
        return;
    }
    if (modeBarArmed()) {
        if (widget_mode && mode_focus < kModeSlots)
            slot_buttons[mode_focus]->click();
        return;
    }
    switch (ui_select) {
    case 0: on_toolButton1_clicked(); break;
    case 1: on_toolButton2_clicked(); break;
    case 2: on_toolButton3_clicked(); break;
    case 3: on_toolButton4_clicked(); break;
    default: break;
    }
}

void MainWindow::onBack()
{
    if (!toolBarShown()) {
        mode_window_close();
        openHomePage();
        return;
    }
    if (modeBarArmed()) {
        on_deletewidgetmode_clicked();
        focus_widget = tool_focus_list[ui_select < kToolItems ? ui_select : 0];
        focus_widget->setStyleSheet(style_tool_selected);
        return;
    }
    ui->widget->hide();
    if (ui_select > kToolItems - 1)
        ui_select = 0;
    tool_focus_list[ui_select]->setStyleSheet(style_tool);
    ui_select = kItemTools;
    focus_widget = ui->tools;
    focus_widget->setStyleSheet(style_tool_selected);
}

void MainWindow::onMode()
{
    g_mode_shortcut_key = 1;
    on_custommode_clicked();
}

// ---------------------------------------------------------------- user-mode bar

void MainWindow::mode_init()
{
    if (widget_mode) {
        // The old bar may hold the slot button whose click is being handled
        // right now: it goes once that click is over.
        widget_mode->hide();
        widget_mode->deleteLater();
    }
    widget_mode = new QWidget(this);
    widget_mode->setObjectName(QStringLiteral("widget_mode"));
    widget_mode->setStyleSheet(style_mode_bar);
    widget_mode->hide();
    bar_font.setPointSize(kBarFontPoints);

    mode_title = new QLabel(widget_mode);
    mode_title->setFont(bar_font);
    mode_title->setGeometry(kModeTitleRect);
    mode_title->setStyleSheet(kTitleStyle);

    KelRamPara* store = KelRamPara::p_kelrampara_config;
    const int inUse = store ? store->KelGetCurrentModeIndex() : 0;
    const QString inUseLabel = pages::inUseCaption();
    for (int i = 0; i < kModeSlots; ++i) {
        const int x = kSlotX0 + kSlotStepX * (i % kSlotColumns);
        const int y = kSlotY0 + kSlotStepY * (i / kSlotColumns);
        auto* frame = new QFrame(widget_mode);
        frame->setGeometry(x, y, kSlotW, kSlotH);
        g_mode[i] = frame;

        auto* number = new QLabel(widget_mode);
        number->setGeometry(x, y, kSlotNumberSize, kSlotNumberSize);
        number->setText(QString::asprintf("%d", i + 1));
        number->setAlignment(Qt::AlignCenter);
        number->setStyleSheet(kSlotNumberStyle);

        auto* picture = new QLabel(frame);
        picture->setGeometry(kSlotPictureRect);
        picture->setScaledContents(true);

        auto* using_label = new QLabel(frame);
        using_label->setObjectName(QStringLiteral("in_use"));
        using_label->setText(inUseLabel);
        using_label->setAlignment(Qt::AlignCenter);
        using_label->setStyleSheet(kInUseStyle);
        using_label->hide();

        auto* button = new QPushButton(widget_mode);
        button->setGeometry(x, y, kSlotW, kSlotH);
        button->setFocusPolicy(Qt::NoFocus);
        // Only its style draws it: the slot beneath shows through.
        button->setFlat(true);
        button->setObjectName(QString::number(i));
        connect(button, &QPushButton::clicked, this, &MainWindow::kel_button_mode_clicked);
        slot_buttons[i] = button;

        const bool selected = i == mode_focus;
        if (slotSaved(i)) {
            frame->setStyleSheet(kSavedFrameStyle);
            picture->setPixmap(pages::pixmap(pages::plainPicture("mode_exist.png")));
            button->setStyleSheet(selected && modeBarArmed() ? style_slot_selected : style_slot);
            if (i + 1 == inUse) {
                picture->setGeometry(kSlotPictureInUseRect);
                using_label->setGeometry(kInUseRect);
                pages::fitText(using_label);
                using_label->show();
            }
        } else {
            // An empty slot is never shown selected while calling; one whose
            // save waits for the disk says so.
            const bool waits = slotSaveWaits(i);
            frame->setStyleSheet(waits ? kWaitingFrameStyle : kEmptyFrameStyle);
            picture->setPixmap(pages::pixmap(pages::plainPicture("mode_blank.png")));
            button->setStyleSheet(selected && l_save_state ? style_slot_selected : style_slot);
            if (waits)
                showWaitingMark(frame, picture);
        }
    }
}

void MainWindow::showWaitingMark(QFrame* frame, QLabel* picture)
{
    auto* waiting = new QLabel(frame);
    waiting->setObjectName(QStringLiteral("save_waits"));
    waiting->setText(pages::saveWaitsCaption());
    waiting->setAlignment(Qt::AlignCenter);
    waiting->setStyleSheet(kInUseStyle);
    picture->setGeometry(kSlotPictureInUseRect);
    waiting->setGeometry(kInUseRect);
    pages::fitText(waiting);
}

// Arms call (or save) and opens the bar on the first saved slot at or after
// the selection; nothing when that state is armed already.
void MainWindow::armModeBar(bool call)
{
    u8& armed = call ? l_call_state : l_save_state;
    u8& other = call ? l_save_state : l_call_state;
    QPushButton* button = call ? ui->toolButton3 : ui->toolButton4;
    if (armed == 1)
        return;
    armed = 1;
    if (other == 1) {
        other = 0;
        setIcon(call ? ui->toolButton4 : ui->toolButton3, pages::picture(call ? "unsave.png" : "uncall.png"),
                kToolIcon);
    }
    focus_widget->setStyleSheet(style_tool);
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    const int i = store ? store->KelUserModeIndex(static_cast<char>(mode_focus), kModeCurrentOrNext) : kModeSlots;
    if (i < kModeSlots) {
        mode_focus = static_cast<u8>(i);
        setIcon(button, pages::picture(call ? "call.png" : "save.png"), kToolIcon);
    } else {
        mode_focus = 0;
    }
    showModeBar();
    pointer_label->setGeometry(kPointerRect);
    pointer_label->show();
}

// Rebuilds the bar, places it, titles it and shows it.
void MainWindow::showModeBar()
{
    mode_init();
    widget_mode->setGeometry(kModeBarRect);
    mode_title->setText(l_save_state ? saveTitle() : callTitle());
    widget_mode->show();
}

void MainWindow::on_usermodesel_clicked(char direction)
{
    if (l_save_state) {
        // Saving may go to any slot, empty ones included.
        const int step = direction == kModeNext ? 1 : kModeSlots - 1;
        mode_focus = static_cast<u8>((mode_focus + step) % kModeSlots);
    } else {
        KelRamPara* store = KelRamPara::p_kelrampara_config;
        const int i = store ? store->KelUserModeIndex(static_cast<char>(mode_focus), direction) : kModeSlots;
        mode_focus = static_cast<u8>(i < kModeSlots ? i : 0);
    }
    showModeBar();
}

void MainWindow::on_deletewidgetmode_clicked()
{
    if (l_save_state) {
        l_save_state = 0;
        setIcon(ui->toolButton4, pages::picture("unsave.png"), kToolIcon);
    }
    if (l_call_state) {
        l_call_state = 0;
        setIcon(ui->toolButton3, pages::picture("uncall.png"), kToolIcon);
    }
    if (widget_mode)
        widget_mode->hide();
    pointer_label->hide();
}

void MainWindow::restoreSlotFrame(int slot)
{
    if (slot < kModeSlots && g_mode[slot])
        g_mode[slot]->setStyleSheet(slotSaved(slot)       ? kSavedFrameStyle
                                    : slotSaveWaits(slot) ? kWaitingFrameStyle
                                                          : kEmptyFrameStyle);
}

void MainWindow::kel_button_mode_clicked()
{
    restoreSlotFrame(g_mode_select);
    bool number = false;
    const int s = sender() ? sender()->objectName().toInt(&number) : -1;
    if (!number || s < 0 || s >= kModeSlots)
        return;
    g_mode_select = static_cast<u8>(s);
    if (l_save_state == 1)
        saveIntoSlot(s);
    else if (l_call_state == 1 && slotSaved(s))
        callSlot(s);
    // The bar now shown marks the slot just touched.
    if (g_mode[s])
        g_mode[s]->setStyleSheet(kTouchedFrameStyle);
}

// Asks the change notifier to save the live block as user mode s + 1; a
// request already pending for that slot is not repeated.
void MainWindow::saveIntoSlot(int s)
{
    KEL_RAM_PARA* b = block();
    if (!b)
        return;
    if (b->mode_save_request != s + 1) {
        QMutexLocker lock(&x518_manage::mutex);
        KelRamPara::p_kelrampara_config->takeSaveRequest(static_cast<u16>(s + 1));
        KelRamPara::raiseApplyLocked(1);
    }
    l_save_state = 0;
    on_toolButton4_clicked();
    mode_tip_pending = 1;
}

void MainWindow::modeSaveFailed(int slot)
{
    if (slot >= 0 && slot < kModeSlots)
        failed_saves = static_cast<u16>(failed_saves | (1u << slot));
    // The slot just touched shows waiting, not the green of a touch, once
    // the failure tip is gone.
    if (modeBarArmed())
        showModeBar();
}

void MainWindow::modeSavesLanded(u16 modes)
{
    const bool owed = (failed_saves & modes) != 0;
    failed_saves = static_cast<u16>(failed_saves & ~modes);
    if (!modeBarArmed())
        return;
    showModeBar();
    if (owed && g_page_focus.load() == PAGE_MAIN_MENU && g_tip)
        g_tip->tip_create(TIP::kCheck);
}

// Loads user mode s + 1 into the live block.
void MainWindow::callSlot(int s)
{
    KelRamPara::p_kelrampara_config->recallUserMode(s);
    l_call_state = 0;
    mode_focus = static_cast<u8>(s);
    on_toolButton3_clicked();
    mode_tip_pending = 1;
}

// ---------------------------------------------------------------- update dialog

// What the workers' and links' requests do (app/page_handover.h). Each goes
// through g_mainwindow, as the workers did before there was a hand-over, and
// is queued into the GUI thread by the page it reaches.
void MainWindow::installPageActions()
{
    pagehandover::Actions actions;
    actions.transferStarted = [] {
        if (g_mainwindow)
            g_mainwindow->update_start();
    };
    actions.transferEnded = [] {
        if (g_mainwindow)
            g_mainwindow->update_over();
    };
    actions.smartMappingFilesChanged = toolpages::smartMappingFilesChanged;
    actions.recoveryFilesChanged = toolpages::recoveryFilesChanged;
    pagehandover::install(std::move(actions));
}

void MainWindow::update_start()
{
    QMetaObject::invokeMethod(
        this, [] { firmware_update_start(); }, Qt::QueuedConnection);
}

void MainWindow::update_over()
{
    QMetaObject::invokeMethod(
        this, [] { firmware_update_over(); }, Qt::QueuedConnection);
}

// ---------------------------------------------------------------- the 10 ms tick

void MainWindow::slot_update_timer_ticks()
{
    const u32 now = G_timeTicks.fetch_add(1) + 1;
    if (g_update_flag.load() && g_move_update)
        g_move_update->update_time_deal();
    if (g_tip_flag.load() && g_tip)
        g_tip->tip_outtime_deal();
    // Nothing is saved first; the command is repeated every tick until the
    // process ends.
    if (g_app_reset_flag.load() && Utils::getTimeSpace(G_reboot_tickTicks.load()) >= kRebootDelayTicks)
        platform::shellRun("reboot");
    agingTurn();
    if (g_delay_usbserver.load() == 0 && now >= kUsbGateTicks)
        g_delay_usbserver = 1;
}

void MainWindow::agingTurn()
{
    if (Utils::getTimeSpace(G_factoryage_ticks.load()) <= kAgingPeriodTicks - 1)
        return;
    G_factoryage_ticks = G_timeTicks.load();
    if (agingSampleAllowed())
        getagelog();
    if (g_factoryage)
        g_factoryage->update_agelog();
    G_factoryage_ticks = G_timeTicks.load();
}

void MainWindow::getagelog()
{
    QString stamp;
    {
        QMutexLocker lock(&Utils::_system_mutex);
        stamp = agingTimeStamp(platform::localNow());
    }
    AgingRegisters regs;
    if (!readAgingRegisters(&regs))
        return;
    appendAgingSample(stamp, regs);
}
