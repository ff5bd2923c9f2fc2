// The input crop page: the source tabs and the crop list.
#include "screens/setup/inputcut.h"

#include "app/kelrampara.h"
#include "app/my_lineedit.h"
#include "app/page_support.h"
#include "screens/menus/settings_texts.h"
#include "screens/setup/source_names.h"
#include "screens/setup/sourceinfo.h"
#include "ui_inputcut.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <cstring>

namespace {

const pages::Texts kTitle = {QStringLiteral("输入截取"), QStringLiteral("Input intercept"), QStringLiteral("Источник"),
                             QStringLiteral("Chặn nguồn vào"), QStringLiteral("輸入截取")};
const pages::Texts kCropCaption = {QStringLiteral("截取:"), QStringLiteral("Crop:"), QStringLiteral("Обрезать:"),
                                   QStringLiteral("Cắt:"), QStringLiteral("截取:")};
const pages::Texts kOkCaption = {QStringLiteral("确定"), QStringLiteral("OK"), QStringLiteral("OK"),
                                 QStringLiteral("Đồng ý"), QStringLiteral("確定")};

// Tile i of a page: row i / 3, column i % 3; its parts are the list's
// children, placed from the tile's corner.
const QPoint kTileStep(95, 55);
const QRect kTile(5, 10, 92, 45);
const QRect kTileState(10, 12, 7, 7);
const QRect kTileSource(20, 12, 25, 8);
const QRect kTileName(7, 23, 80, 12);
const QRect kTileSize(7, 38, 88, 12);
constexpr int kTilePixels = 10;
// An alias name is cut to this width.
constexpr int kAliasPixels = 172;
const char* const kTileFocused = "background-color: #212435;border:1px solid #FFA854;";
const char* const kTilePlain = "background-color: #212435;border:1px solid #CCCCCC;";
const char* const kTileText = "background-color:#212435;color:#FFFFFF";
const char* const kTileSourceStyle = "background-color: #212435;";
const QRect kAddArea(292, 10, 20, 20);
const char* const kAddFocused = "border:1px solid rgb(255,171,84);";
const char* const kAddPlain = "border:0px solid rgb(0,0,0);";

KelRamPara* store()
{
    return KelRamPara::p_kelrampara_config;
}

QLabel* tilePart(QWidget* list, const QRect& at, const QPoint& tile)
{
    auto* label = new QLabel(list);
    label->setGeometry(at.translated(tile));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QLabel* tileText(QWidget* list, const QRect& at, const QPoint& tile)
{
    QLabel* label = tilePart(list, at, tile);
    QFont font;
    font.setPixelSize(kTilePixels);
    label->setFont(font);
    label->setStyleSheet(kTileText);
    return label;
}

bool cropTableChanged()
{
    const KEL_RAM_PARA& live = store()->ram_para;
    const KEL_RAM_PARA& shadow = store()->ram_para_shadow;
    return std::memcmp(live.crop_list, shadow.crop_list, sizeof live.crop_list) != 0;
}

}  // namespace

InputCut::InputCut(QWidget* parent) : Page(PAGE_INPUT_CROP, parent), ui(new Ui::InputCut)
{
    ui->setupUi(this);
    // The input tabs over the crop list.
    strip.emplace(this, TabStrip::Look{QRect(1, 40, 53, 41), 53, "background-color: rgb(16,16, 28);",
                                       QRect(1, 80, 318, 120), "frame_source", "background-color: rgb(16,16, 28);"});

    source_number = sourceinfo::get_source_id_by_listseq(0);
    source_name = sourceinfo::get_source_name_by_listseq(0);
    crop_source_num_update();
    source_init();

    button_delete = editorButton();
    button_cancel = editorButton();
    button_ok = editorButton();
    for (int i = 0; i < kEditorPositions; ++i)
        kel_sel_info(i, false);
    for (My_lineEdit* field : {ui->lineEdit_X, ui->lineEdit_Y, ui->lineEdit_W, ui->lineEdit_H})
        connect(field, &My_lineEdit::send_show, this, &InputCut::show_numberkeyboard_ui);
    language_changed();
}

InputCut::~InputCut()
{
    delete ui;
}

void InputCut::language_changed()
{
    ui->label_title->setText(pages::pick(kTitle));
    pages::showText(ui->label_crop, kCropCaption);
    pages::showText(ui->label_W, settingsTexts::kWidth);
    pages::showText(ui->label_H, settingsTexts::kHeight);
    pages::showText(button_delete, settingsTexts::kDelete);
    pages::showText(button_cancel, settingsTexts::kCancel);
    pages::showText(button_ok, kOkCaption);
    ui->label_change_source->setText(editorTitle());
}

void InputCut::syncUpdate(int code)
{
    Page::syncUpdate(code);
    followCrop();
    if (code != SYNC_FILE_RECEIVED && !cropTableChanged())
        return;
    store()->KelCropSourceInit();
    crop_source_num_update();
    source_init();
}

// ---------------------------------------------------------------- the tabs

void InputCut::crop_source_num_update()
{
    store()->KelCropSourceInit();
    for (u8 s = 0; s < ram::kSources; ++s)
        item_count[s] = static_cast<u8>(sourcenames::listedCrops(s) + 1);
    sourcenames::labelSourceTabs(strip->names(), item_count);
}

int InputCut::get_source_num(int source) const
{
    return source >= 0 && source < ram::kSources ? item_count[source] : 0;
}

void InputCut::kel_button_input_clicked()
{
    if (menu_level == kTabs) {
        source_number = sourceinfo::get_source_id_by_listseq(ui_select);
        source_name = sourceinfo::get_source_name_by_listseq(ui_select);
        strip->mark(ui_select);
    }
    source_init();
}

void InputCut::stepTabs(int step)
{
    current_pag = 0;
    ui_select = TabStrip::stepped(ui_select, step);
    kel_button_input_clicked();
}

// ---------------------------------------------------------------- the list

int InputCut::source_current_check()
{
    store()->KelCropSourceInit();
    max_source_info = sourcenames::listedCrops(source_number) + 1;
    last_pag = static_cast<u8>((max_source_info - 1) / kTilesPerPage);
    return max_source_info;
}

int InputCut::focusedTile() const
{
    if (current_pag == 0)
        return ui_select == 0 ? kAddButton : ui_select - 1;
    return kTilesPerPage * current_pag + ui_select;
}

void InputCut::focusTile(int tile)
{
    if (tile == kAddButton) {
        current_pag = 0;
        ui_select = 0;
        return;
    }
    current_pag = static_cast<u8>(tile / kTilesPerPage);
    ui_select = static_cast<u8>(tile % kTilesPerPage + (current_pag == 0 ? 1 : 0));
}

// The add button and the tiles form one ring: RIGHT from the last tile and
// LEFT from the whole input reach the add button. A position past the list
// (its crop was deleted) steps as if it were the last tile's neighbour.
void InputCut::stepList(int step)
{
    const int last = source_current_check() - 1;
    int tile = focusedTile();
    if (step > 0)
        tile = tile >= last ? kAddButton : tile + 1;
    else
        tile = tile == kAddButton ? last : tile == 0 ? kAddButton : qMin(tile - 1, last);
    focusTile(tile);
    kel_button_input_clicked();
}

void InputCut::source_init()
{
    source_current_check();
    strip->setActive(menu_level == kTabs);
    strip->rebuildCard([this](QFrame* list) {
        const int first = kTilesPerPage * current_pag;
        const int shown = qMin(kTilesPerPage, max_source_info - first);
        for (int i = 0; i < shown; ++i)
            addTile(list, i, first + i);

        add_button = new QPushButton(list);
        add_button->setObjectName(QStringLiteral("add_button"));
        add_button->setGeometry(kAddArea);
        add_button->setFocusPolicy(Qt::NoFocus);
        add_button->setIcon(pages::icon(pages::plainPicture("add.png")));
        add_button->setIconSize(kAddArea.size());
        const bool addFocused = menu_level == kList && focusedTile() == kAddButton;
        add_button->setStyleSheet(addFocused ? kAddFocused : kAddPlain);
        add_button->setVisible(menu_level == kTabs || menu_level == kList);
    });
}

void InputCut::addTile(QFrame* list, int i, int tile)
{
    const QPoint at(kTileStep.x() * (i % kTilesPerRow), kTileStep.y() * (i / kTilesPerRow));
    auto* frame = new QFrame(list);
    frame->setObjectName(QStringLiteral("tile%1").arg(i));
    frame->setGeometry(kTile.translated(at));
    frame->setStyleSheet(menu_level == kList && tile == focusedTile() ? kTileFocused : kTilePlain);

    QLabel* state = tilePart(list, kTileState, at);
    state->setScaledContents(true);
    state->setPixmap(pages::pixmap(pages::plainPicture("state_on.png")));
    QLabel* picture = tilePart(list, kTileSource, at);
    picture->setScaledContents(true);
    picture->setStyleSheet(kTileSourceStyle);
    sourceinfo::set_source_pixmap(picture, source_number);
    QLabel* name = tileText(list, kTileName, at);
    name->setObjectName(QStringLiteral("tile_name%1").arg(i));
    QLabel* size = tileText(list, kTileSize, at);

    if (tile == 0) {
        name->setText(source_name);
        size->setText(sourcenames::inputTiming(source_number));
    } else {
        CROP_PARA crop{};
        int record = ram::kCrops;
        store()->KelGetCropPara(source_number, tile, &crop, &record);
        // Only a crop that was found is named and measured.
        if (record < ram::kCrops) {
            name->setText(
                sourcenames::cropName(source_name, record, static_cast<u16>(crop.key), name->font(), kAliasPixels));
            size->setText(QStringLiteral("%1x%2").arg(crop.w).arg(crop.h));
        }
    }
    pages::fitText(name);
    pages::fitText(size);
}

QString InputCut::tileName(int tile) const
{
    const int i = tile - kTilesPerPage * current_pag;
    const QFrame* list = strip->card();
    if (!list || i < 0 || i >= kTilesPerPage)
        return QString();
    const auto* name = list->findChild<QLabel*>(QStringLiteral("tile_name%1").arg(i));
    return name ? name->text() : QString();
}

// ---------------------------------------------------------------- keys

void InputCut::enterList()
{
    tab_select_saved = ui_select;
    menu_level = kList;
    focusTile(kAddButton);
    kel_button_input_clicked();
}

void InputCut::onLeft()
{
    switch (menu_level) {
    case kTabs: return stepTabs(-1);
    case kList: return stepList(-1);
    default: return stepEditor(-1);
    }
}

void InputCut::onRight()
{
    switch (menu_level) {
    case kTabs: return stepTabs(1);
    case kList: return stepList(1);
    default: return stepEditor(1);
    }
}

void InputCut::onOk()
{
    switch (menu_level) {
    case kTabs: return enterList();
    case kList: {
        const int tile = focusedTile();
        if (tile == kAddButton)
            return kel_button_add_clicked();
        // The whole input is not edited; a position past the list holds nothing.
        if (tile >= 1 && tile < source_current_check())
            kel_button_source_clicked();
        return;
    }
    default: return editorKeyOk();
    }
}

void InputCut::onBack()
{
    switch (menu_level) {
    case kTabs: return slot_Button_back_clicked();
    case kList:
        // The list keeps its page until the next tab step.
        menu_level = kTabs;
        ui_select = tab_select_saved;
        return kel_button_input_clicked();
    default: return closeEditor(&InputCut::kel_button_cancel_clicked);
    }
}
