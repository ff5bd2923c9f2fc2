#include "screens/setup/edidset.h"

#include "app/kelrampara.h"
#include "app/my_lineedit.h"
#include "app/page_support.h"
#include "screens/menus/settings_texts.h"
#include "screens/setup/sourceinfo.h"
#include "ui_edidset.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <cstring>

namespace {

const pages::Texts kTitle = {QStringLiteral("设置EDID"), QStringLiteral("EDID Settings"),
                             QStringLiteral("Настройка EDID"), QStringLiteral("Cài đặt EDID"),
                             QStringLiteral("設置EDID")};
// Followed by the input's name.
const pages::Texts kSourcePrefix = {QStringLiteral("EDID信源:"), QStringLiteral("EDID source:"),
                                    QStringLiteral("Источник EDID:"), QStringLiteral("Tín hiệu EDID:"),
                                    QStringLiteral("EDID信源:")};
const pages::Texts kRateCaption = {QStringLiteral("刷新率"), QStringLiteral("Refresh rate"), QStringLiteral("Частота"),
                                   QStringLiteral("Tần số"), QStringLiteral("刷新率")};
const pages::Texts kSaveCaption = {QStringLiteral("保存"), QStringLiteral("SAVE"), QStringLiteral("Сохранить"),
                                   QStringLiteral("lưu"), QStringLiteral("保存")};

const QRect kPanel(10, 10, 120, 50);
const QRect kPanelState(15, 13, 7, 7);
const QRect kPanelPicture(25, 13, 25, 8);
const QRect kPanelName(15, 24, 60, 12);
const QRect kPanelTiming(15, 39, 88, 12);
constexpr int kPanelPixels = 10;
const char* const kPanelStyle = "background-color: #212435;border:1px solid #CCCCCC;";
const char* const kPanelPictureStyle = "background-color: #212435;";
const char* const kPanelText = "background-color:#212435;color:#FFFFFF";

// ---- the fields and buttons
const char* const kFieldNormal =
    "color:rgb(255,255,255);background-color: rgb(33, 36, 53) ; border:1px solid rgb(255,255,255);";
const char* const kFieldFocused =
    "color:rgb(255,255,255);background-color: rgb(33, 36, 53); border:1px solid rgb(255,171,84);";
const char* const kRateChanging =
    "color:rgb(255,255,255);background-color: rgb(33, 36, 53); border:1px solid rgb(255,0,0);";
const char* const kButtonNormal =
    "color: rgb(255, 255, 255);background-color: rgb(33, 36, 53) ; border:1px solid rgb(255,255,255);;";
const char* const kButtonFocused =
    "color: rgb(255, 255, 255);background-color: rgb(33, 36, 53); border:1px solid rgb(255,171,84);";
constexpr int kButtonPixels = 9;
const QSize kButtonSize(60, 20);
constexpr int kButtonsTop = 214;
constexpr int kButtonLeft[] = {55, 130, 205};  // Delete, Cancel, Save

KelRamPara* store()
{
    return KelRamPara::p_kelrampara_config;
}

const EDID_PARA& record(const KEL_RAM_PARA& block, u8 input)
{
    return block.edid[input];
}

EditedFields::Values recordValues(const EDID_PARA& e)
{
    return {e.width, e.height, e.rate};
}

QString timing(const EDID_PARA& e)
{
    return QStringLiteral("%1x%2@%3Hz").arg(e.width).arg(e.height).arg(e.rate);
}

QLabel* panelPart(QWidget* card, const QRect& at)
{
    auto* label = new QLabel(card);
    label->setGeometry(at);
    return label;
}

}  // namespace

EDIDset::EDIDset(QWidget* parent) : Page(PAGE_EDID_SETTINGS, parent), ui(new Ui::EDIDset)
{
    ui->setupUi(this);
    // The input tabs over the card of the chosen input's timing.
    strip.emplace(this, TabStrip::Look{QRect(4, 38, 50, 43), 52, "border-bottom-color:rgb(16,16,28);",
                                       QRect(4, 80, 310, 120), "frame_source", ""});

    auto button = [this](int i) {
        auto* b = new QPushButton(this);
        QFont font = b->font();
        font.setPixelSize(kButtonPixels);
        b->setFont(font);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(QRect(QPoint(kButtonLeft[i], kButtonsTop), kButtonSize));
        b->hide();
        return b;
    };
    button_delete = button(0);
    button_cancel = button(1);
    button_save = button(2);
    for (int f = 0; f < kFields; ++f)
        styleField(f, false);
    for (My_lineEdit* field : {ui->lineEdit_W, ui->lineEdit_H})
        connect(field, &My_lineEdit::send_show, this, &EDIDset::show_numberkeyboard_ui);

    source_id = sourceinfo::get_source_id_by_listseq(0);
    source_name = sourceinfo::get_source_name_by_listseq(0);
    source_init();
    language_changed();
}

EDIDset::~EDIDset()
{
    delete ui;
}

void EDIDset::language_changed()
{
    ui->label_title->setText(pages::pick(kTitle));
    ui->label_edid_source->setText(pages::pick(kSourcePrefix) + source_name);
    pages::showText(ui->label_W, settingsTexts::kWidth);
    pages::showText(ui->label_H, settingsTexts::kHeight);
    pages::showText(ui->label_freq, kRateCaption);
    pages::showText(button_delete, settingsTexts::kDelete);
    pages::showText(button_cancel, settingsTexts::kCancel);
    pages::showText(button_save, kSaveCaption);
}

void EDIDset::syncUpdate(int code)
{
    Page::syncUpdate(code);
    if (edit_mode != kChoosing)
        followRecord();
    const EDID_PARA& now = record(store()->ram_para, source_id);
    const EDID_PARA& was = record(store()->ram_para_shadow, source_id);
    if (std::memcmp(&now, &was, sizeof now) != 0)
        source_init();
}

// ---------------------------------------------------------------- the tabs and the card

void EDIDset::kel_button_input_clicked()
{
    strip->mark(ui_select);
    source_id = sourceinfo::get_source_id_by_listseq(ui_select);
    source_name = sourceinfo::get_source_name_by_listseq(ui_select);
    source_init();
}

void EDIDset::source_init()
{
    strip->setActive(edit_mode == kChoosing);
    strip->rebuildCard([this](QFrame* card) {
        auto* panel = new QFrame(card);
        panel->setGeometry(kPanel);
        panel->setStyleSheet(kPanelStyle);
        QLabel* state = panelPart(card, kPanelState);
        state->setScaledContents(true);
        state->setPixmap(pages::pixmap(pages::plainPicture("state_on.png")));
        QLabel* picture = panelPart(card, kPanelPicture);
        picture->setScaledContents(true);
        picture->setStyleSheet(kPanelPictureStyle);
        sourceinfo::set_source_pixmap(picture, source_id);

        QFont font;
        font.setPixelSize(kPanelPixels);
        QLabel* name = panelPart(card, kPanelName);
        QLabel* shown = panelPart(card, kPanelTiming);
        shown->setObjectName(QStringLiteral("card_timing"));
        for (QLabel* l : {name, shown}) {
            l->setFont(font);
            l->setStyleSheet(kPanelText);
        }
        name->setText(source_name);
        shown->setText(timing(record(store()->ram_para, source_id)));
        pages::fitText(shown);
    });
}

QString EDIDset::cardTiming() const
{
    const QFrame* card = strip->card();
    const auto* shown = card ? card->findChild<QLabel*>(QStringLiteral("card_timing")) : nullptr;
    return shown ? shown->text() : QString();
}

// ---------------------------------------------------------------- editing

QWidget* EDIDset::fieldWidget(int field) const
{
    switch (field) {
    case kWidth: return ui->lineEdit_W;
    case kHeight: return ui->lineEdit_H;
    case kRate: return ui->label_rate;
    case kDelete: return button_delete;
    case kCancel: return button_cancel;
    case kSave: return button_save;
    default: return nullptr;
    }
}

void EDIDset::styleField(int field, bool focused)
{
    if (QWidget* w = fieldWidget(field))
        w->setStyleSheet(field <= kRate ? (focused ? kFieldFocused : kFieldNormal)
                                        : (focused ? kButtonFocused : kButtonNormal));
}

void EDIDset::kel_button_source_clicked()
{
    edit_mode = kEditing;
    edit_field = kWidth;
    strip->setActive(false);
    ui->label_edid_source->setText(pages::pick(kSourcePrefix) + source_name);
    const EditedFields::Values held = recordValues(record(store()->ram_para, source_id));
    record_seen.begin(held);
    showRecord(held);
    for (int f = 0; f < kFields; ++f)
        styleField(f, f == edit_field);
    ui->frame_add->show();
    ui->frame_add->raise();
    for (QPushButton* b : {button_delete, button_cancel, button_save})
        b->show();
}

void EDIDset::leaveEditing()
{
    edit_mode = kChoosing;
    edit_field = kWidth;
    for (int f = 0; f < kFields; ++f)
        styleField(f, false);
    ui->frame_add->hide();
    for (QPushButton* b : {button_delete, button_cancel, button_save})
        b->hide();
    source_init();
}

EditedFields::Values EDIDset::shownRecord() const
{
    return {ui->lineEdit_W->text().toUShort(), ui->lineEdit_H->text().toUShort(), ui->label_rate->text().toUShort()};
}

void EDIDset::showRecord(const EditedFields::Values& values)
{
    ui->lineEdit_W->setText(QString::number(values[kWidth]));
    ui->lineEdit_H->setText(QString::number(values[kHeight]));
    ui->label_rate->setText(QString::number(values[kRate]));
    rate_high = values[kRate] == kRateHigh;
}

// The fields the operator left show what a link wrote into the record; so
// does the rate BACK returns to while the rate is changed, unless the
// operator had chosen it before.
void EDIDset::followRecord()
{
    const EditedFields::Values held = recordValues(record(store()->ram_para, source_id));
    EditedFields::Values saved = shownRecord();
    saved[kRate] = rate_text_saved.toUShort();
    rate_text_saved = QString::number(record_seen.over(saved, held)[kRate]);
    showRecord(record_seen.follow(shownRecord(), held));
}

void EDIDset::kel_button_ok_clicked()
{
    const EditedFields::Values shown = shownRecord();
    if (record_seen.changed(shown)) {
        const u8 port = source_id;
        // A record that holds the operator's values already (a PC wrote
        // the same) is not written again.
        KelRamPara::editBlock([this, port, &shown](KEL_RAM_PARA& b) {
            EDID_PARA& e = b.edid[port];
            const EditedFields::Values v = record_seen.over(shown, recordValues(e));
            e = EDID_PARA{static_cast<u16>(v[kWidth]), static_cast<u16>(v[kHeight]), static_cast<u16>(v[kRate])};
        });
    }
    leaveEditing();
}

void EDIDset::kel_button_cancel_clicked()
{
    leaveEditing();
}

void EDIDset::on_Button_freq_clicked()
{
    ui->label_rate->setText(QString::number(rate_high ? kRateHigh : kRateLow));
}

void EDIDset::stepField(int step)
{
    styleField(edit_field, false);
    edit_field = static_cast<u8>((edit_field + step + kFields) % kFields);
    styleField(edit_field, true);
}

void EDIDset::editRate()
{
    edit_mode = kChangingRate;
    rate_text_saved = ui->label_rate->text();
    ui->label_rate->setStyleSheet(kRateChanging);
}

// A stored rate other than 60 or 30 (a link may write one) stays as it is
// until it is toggled.
void EDIDset::endRate(bool keep)
{
    if (!keep) {
        ui->label_rate->setText(rate_text_saved);
        rate_high = rate_text_saved.toUShort() == kRateHigh;
    }
    edit_mode = kEditing;
    styleField(kRate, true);
}

void EDIDset::show_numberkeyboard_ui(QString)
{
    auto* field = qobject_cast<QLineEdit*>(sender());
    if (field && edit_mode != kChoosing)
        askValue(field);
}

void EDIDset::askValue(QLineEdit* field)
{
    askU16(field, pages::pick(field == ui->lineEdit_W ? settingsTexts::kKeyWidth : settingsTexts::kKeyHeight));
}

// ---------------------------------------------------------------- keys

void EDIDset::onLeft()
{
    switch (edit_mode) {
    case kChoosing: ui_select = TabStrip::stepped(ui_select, -1); return kel_button_input_clicked();
    case kEditing: return stepField(-1);
    default: rate_high = !rate_high; return on_Button_freq_clicked();
    }
}

void EDIDset::onRight()
{
    switch (edit_mode) {
    case kChoosing: ui_select = TabStrip::stepped(ui_select, 1); return kel_button_input_clicked();
    case kEditing: return stepField(1);
    default: rate_high = !rate_high; return on_Button_freq_clicked();
    }
}

void EDIDset::onOk()
{
    pages::debugLine(" ui_seltype = %d ,ui_line_select=%d \n", edit_mode, edit_field);
    switch (edit_mode) {
    case kChoosing: return kel_button_source_clicked();
    case kChangingRate: return endRate(true);
    default: break;
    }
    switch (edit_field) {
    case kWidth:
    case kHeight: return askValue(static_cast<QLineEdit*>(fieldWidget(edit_field)));
    case kRate: return editRate();
    case kDelete:  // as Cancel: nothing is written
    case kCancel: return kel_button_cancel_clicked();
    case kSave: return kel_button_ok_clicked();
    default: return;
    }
}

void EDIDset::onBack()
{
    switch (edit_mode) {
    case kChoosing: return slot_Button_back_clicked();
    case kEditing: return kel_button_cancel_clicked();
    default: return endRate(false);
    }
}
