// The input crop page: the crop editor and the crop commands.
//
// The editor opens below the list for a new crop (the add button) or on a
// crop tile, with the values X, Y, W and H typed on the number keyboard,
// and closes with OK (add or rewrite), Delete, Cancel or BACK, back to the
// list position it was opened from. An existing crop is written only while
// its record still holds it: a link may have deleted or replaced it while
// the editor was open, and then the editor closes as Cancel. Of its values
// only those the operator changed are written; the others keep what the
// record holds, and follow it while the editor is open, so a value a link
// wrote meanwhile stays.
#include "screens/setup/inputcut.h"

#include "app/kelrampara.h"
#include "app/my_lineedit.h"
#include "app/page_support.h"
#include "screens/menus/settings_texts.h"
#include "screens/setup/source_names.h"
#include "ui_inputcut.h"

#include <QFont>
#include <QPushButton>

namespace {

const char* const kFieldNormal =
    "color:rgb(255, 255, 255);background-color: rgb(33, 36, 53);border:1px solid rgb(255, 255, 255);font:10px";
const char* const kFieldSelected =
    "color:rgb(255, 255, 255);background-color: rgb(33, 36, 53);border:1px solid rgb(255,171,84);font:10px";
// The buttons' font is set on them, so that a long caption can shrink.
const char* const kButtonNormal =
    "color:rgb(255, 255, 255);background-color: rgb(33, 36, 53);border:1px solid rgb(255, 255, 255);";
const char* const kButtonSelected =
    "color:rgb(255, 255, 255);background-color: rgb(33, 36, 53);border:1px solid rgb(255,171,84);";
constexpr int kButtonPixels = 10;
const QSize kButtonSize(60, 18);
constexpr int kButtonsTop = 210;
// Left edges of Delete, Cancel and OK; a new crop has no Delete.
constexpr int kExistingCropButtons[] = {50, 120, 190};
constexpr int kNewCropButtons[] = {80, 150};

// What a new crop starts with.
const CROP_PARA kNewCropValues = {0, 0, 0, 1920, 1080};

KelRamPara* store()
{
    return KelRamPara::p_kelrampara_config;
}

int fieldValue(const QLineEdit* field)
{
    return field->text().toUShort();
}

EditedFields::Values cropValues(const CROP_PARA& c)
{
    return {c.x, c.y, c.w, c.h};
}

}  // namespace

QPushButton* InputCut::editorButton()
{
    auto* b = new QPushButton(this);
    QFont font = b->font();
    font.setPixelSize(kButtonPixels);
    b->setFont(font);
    b->setFocusPolicy(Qt::NoFocus);
    b->hide();
    return b;
}

QWidget* InputCut::editorWidget(int position) const
{
    switch (position) {
    case kX: return ui->lineEdit_X;
    case kY: return ui->lineEdit_Y;
    case kW: return ui->lineEdit_W;
    case kH: return ui->lineEdit_H;
    case kDelete: return button_delete;
    case kCancel: return button_cancel;
    case kOk: return button_ok;
    default: return nullptr;
    }
}

void InputCut::kel_sel_info(int position, bool selected)
{
    QWidget* w = editorWidget(position);
    if (!w)
        return;
    const bool field = position <= kH;
    w->setStyleSheet(field ? (selected ? kFieldSelected : kFieldNormal) : (selected ? kButtonSelected : kButtonNormal));
}

QString InputCut::editorTitle() const
{
    return crop_name.isEmpty() ? QString() : pages::pick(settingsTexts::kNamePrefix) + crop_name;
}

// ---------------------------------------------------------------- opening

void InputCut::showEditor(const QString& cropName, bool withDelete, const CROP_PARA& values)
{
    crop_name = cropName;
    ui->label_change_source->setText(editorTitle());
    crop_seen.begin(cropValues(values));
    showCrop(cropValues(values));

    QPushButton* const existing[] = {button_delete, button_cancel, button_ok};
    QPushButton* const fresh[] = {button_cancel, button_ok};
    const int count = withDelete ? 3 : 2;
    for (int i = 0; i < count; ++i) {
        QPushButton* b = withDelete ? existing[i] : fresh[i];
        const int left = withDelete ? kExistingCropButtons[i] : kNewCropButtons[i];
        b->setGeometry(QRect(QPoint(left, kButtonsTop), kButtonSize));
        b->show();
    }
    if (add_button)
        add_button->hide();
    ui->frame_add->show();
    ui->frame_add->raise();
    editor_focus = kX;
    for (int i = 0; i < kEditorPositions; ++i)
        kel_sel_info(i, i == editor_focus);
}

void InputCut::kel_button_add_clicked()
{
    // No crop can be added: the whole table is in use, or the input has all
    // its crop numbers.
    const KEL_RAM_PARA& live = store()->ram_para;
    int used = 0;
    for (const CROP_ITEM& c : live.crop_list)
        used += (c.key & ram::kCropInUse) ? 1 : 0;
    const int number = store()->KelAddCropID(source_number);
    if (used == ram::kCrops || number == 0)
        return;

    list_select_saved = kAddButton;
    crop_number = 0;
    crop_record = ram::kCrops;
    crop_key = 0;
    menu_level = kNewCrop;
    // Named as its tile will be: by the crop number it gets.
    showEditor(source_name + QStringLiteral("_crop%1").arg(number), false, kNewCropValues);
    kel_button_input_clicked();
}

void InputCut::kel_button_source_clicked()
{
    const int tile = focusedTile();
    CROP_PARA crop{};
    int record = ram::kCrops;
    store()->KelGetCropPara(source_number, tile, &crop, &record);
    if (record >= ram::kCrops)
        return;
    list_select_saved = tile;
    crop_number = tile;
    crop_record = record;
    crop_key = static_cast<u16>(crop.key);
    menu_level = kExistingCrop;
    kel_button_input_clicked();  // the list without a focused tile
    QFont font;
    font.setPixelSize(kButtonPixels);
    showEditor(sourcenames::cropName(source_name, record, crop_key, font, ui->label_change_source->width()), true,
               crop);
}

// ---------------------------------------------------------------- keys and values

void InputCut::stepEditor(int step)
{
    kel_sel_info(editor_focus, false);
    do
        editor_focus = static_cast<u8>((editor_focus + step + kEditorPositions) % kEditorPositions);
    while (menu_level == kNewCrop && editor_focus == kDelete);
    kel_sel_info(editor_focus, true);
}

void InputCut::editorKeyOk()
{
    switch (editor_focus) {
    case kX:
    case kY:
    case kW:
    case kH: return askValue(static_cast<QLineEdit*>(editorWidget(editor_focus)));
    case kDelete: return closeEditor(&InputCut::kel_button_delete_clicked);
    case kCancel: return closeEditor(&InputCut::kel_button_cancel_clicked);
    case kOk: return closeEditor(&InputCut::kel_button_ok_clicked);
    default: return;
    }
}

void InputCut::show_numberkeyboard_ui(QString)
{
    auto* field = qobject_cast<QLineEdit*>(sender());
    if (field && (menu_level == kNewCrop || menu_level == kExistingCrop))
        askValue(field);
}

void InputCut::askValue(QLineEdit* field)
{
    QString title = field->objectName().right(1);  // "X", "Y", "W", "H"
    if (field == ui->lineEdit_W)
        title = pages::pick(settingsTexts::kKeyWidth);
    else if (field == ui->lineEdit_H)
        title = pages::pick(settingsTexts::kKeyHeight);
    askU16(field, title);
}

EditedFields::Values InputCut::shownCrop() const
{
    return {fieldValue(ui->lineEdit_X), fieldValue(ui->lineEdit_Y), fieldValue(ui->lineEdit_W),
            fieldValue(ui->lineEdit_H)};
}

void InputCut::showCrop(const EditedFields::Values& values)
{
    for (int f : {kX, kY, kW, kH})
        static_cast<QLineEdit*>(editorWidget(f))->setText(QString::number(values[f]));
}

// A crop that a link deleted or replaced is not followed: the editor then
// writes nothing.
void InputCut::followCrop()
{
    if (menu_level != kExistingCrop || crop_record >= ram::kCrops)
        return;
    const CROP_ITEM& held = store()->ram_para.crop_list[crop_record];
    if (held.key == crop_key)
        showCrop(crop_seen.follow(shownCrop(), {held.x, held.y, held.w, held.h}));
}

// ---------------------------------------------------------------- closing

void InputCut::closeEditor(void (InputCut::*command)())
{
    menu_level = kList;
    (this->*command)();
    crop_name.clear();
    para_changed_over();
    // Back to the list position the editor was opened from, or the last
    // tile when that position is gone.
    focusTile(qMin(list_select_saved, source_current_check() - 1));
    crop_source_num_update();
    kel_button_input_clicked();
}

void InputCut::para_changed_over()
{
    ui->frame_add->hide();
    for (QPushButton* b : {button_delete, button_cancel, button_ok})
        b->hide();
    for (int i = 0; i < kEditorPositions; ++i)
        kel_sel_info(i, false);
    editor_focus = kX;
    if (add_button)
        add_button->show();
}

void InputCut::kel_button_ok_clicked()
{
    const EditedFields::Values shown = shownCrop();
    if (crop_record >= ram::kCrops) {
        KEL_DBG("\n kel_button_ok_clicked add [source_number = %d] \n", source_number);
        CROP_PARA crop = {source_number, shown[kX], shown[kY], shown[kW], shown[kH]};
        store()->KelAddNewCrop(source_number, &crop);
        return;
    }
    KEL_DBG("\n kel_button_ok_clicked soureinfo [source_number = %d] [crop_number=%d]\n", source_number, crop_number);
    if (!crop_seen.changed(shown))
        return;
    const bool written = store()->rewriteCrop(crop_record, crop_key, [this, &shown](const CROP_PARA& held) {
        const EditedFields::Values v = crop_seen.over(shown, cropValues(held));
        return CROP_PARA{held.key, v[kX], v[kY], v[kW], v[kH]};
    });
    if (!written)
        KEL_DBG("\n[InputCut] crop record %d changed while it was edited: nothing written\n", crop_record);
}

void InputCut::kel_button_delete_clicked()
{
    if (!store()->deleteCrop(crop_record, crop_key))
        KEL_DBG("\n[InputCut] crop record %d changed while it was edited: nothing deleted\n", crop_record);
}

void InputCut::kel_button_cancel_clicked() {}
