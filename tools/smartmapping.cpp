// The smart-mapping page's frame: construction, the menu column and its two
// key levels, the texts of the frame, the scan-file count and the refresh.
#include "tools/smartmapping.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "fpga/fpga_manage.h"
#include "fpga/rcv_recovery_file.h"
#include "fpga/route_patterns.h"
#include "tools/smartmapping_shared.h"
#include "ui_smartmapping.h"

#include <QPushButton>

namespace {

const pages::Texts kTitle = {QStringLiteral("智能调屏"), QStringLiteral("Smart debugging screen"),
                             QStringLiteral("Умная настройка экрана"), QStringLiteral("Điều chỉnh màn hình thông minh"),
                             QStringLiteral("智能調屏")};
// The menu captions, in menu order.
const pages::Texts kMenu[SmartMapping::kTools] = {
    {QStringLiteral("快捷点屏"), QStringLiteral("Debugging\nscreen"), QStringLiteral("Быстрая\nнастройка"),
     QStringLiteral("Gỡ lỗi\nmàn hình"), QStringLiteral("快捷點屏")},
    {QStringLiteral("加载扫描"), QStringLiteral("Load scan"), QStringLiteral("Загрузка\nскана"),
     QStringLiteral("Tải quét"), QStringLiteral("加載掃描")},
    {QStringLiteral("参数固化"), QStringLiteral("Curing\nparameter"), QStringLiteral("Сохранить\nпараметры"),
     QStringLiteral("Lưu\nthông số"), QStringLiteral("參數固化")},
    {QStringLiteral("Mapping"), QStringLiteral("Mapping"), QStringLiteral("Mapping"), QStringLiteral("Mapping"),
     QStringLiteral("Mapping")},
};

// The menu column: 65 wide at x 5; short buttons in the Chinese scripts,
// taller ones (two lines) in the others.
constexpr int kMenuX = 5;
constexpr int kMenuWidth = 65;
struct MenuLayout {
    int height;
    int y[SmartMapping::kTools];
};
constexpr MenuLayout kChineseMenu = {20, {42, 77, 111, 145}};
constexpr MenuLayout kOtherMenu = {30, {42, 87, 132, 177}};
// Point size of each menu button by language.
constexpr int kMenuPoints[pages::kLanguages][SmartMapping::kTools] = {
    {9, 9, 9, 9},  // simplified Chinese
    {7, 7, 7, 7},  // English
    {6, 6, 7, 7},  // Russian
    {6, 7, 7, 7},  // Vietnamese
    {9, 9, 9, 9},  // traditional Chinese
};

bool chinese(pages::Language lang)
{
    return lang == pages::ZH || lang == pages::TW;
}

}  // namespace

SmartMapping::SmartMapping(QWidget* parent) : ToolPage(PAGE_SMART_MAPPING, parent), ui(new Ui::SmartMapping)
{
    ui->setupUi(this);
    showStep(kQuickStep1);
    setEntries(
        {{ui->Button_shortcut, {}}, {ui->Button_loadscan, {}}, {ui->Button_paraweld, {}}, {ui->Button_mapping, {}}});

    // Only the first group of LAN ports is offered, on both port steps.
    const QRect groupPlace(10, 32, 55, 17);
    for (u8 g = 0; g < 4; ++g) {
        for (TilePage page : {kQuickTiles, kScanTiles}) {
            QPushButton* b = groupButton(g, page);
            b->setVisible(g == 0);
            if (g == 0)
                b->setGeometry(groupPlace);
            connect(b, &QPushButton::clicked, this, [this, g, page] {
                if (!jobShown())
                    selectPortGroup(g, page);
            });
        }
    }
    // The sixteen pattern buttons of the chooser.
    for (int n = 1; n <= fpga::kRoutePatterns; ++n) {
        QAbstractButton* b = findChild<QAbstractButton*>(QStringLiteral("Button_route%1").arg(n));
        connect(b, &QAbstractButton::clicked, this, [this, n] {
            if (!jobShown())
                chooseRoute(n);
        });
    }
    // A touch on a number field opens the number keyboard for it.
    for (My_lineEdit* field : {ui->lineEdit_X, ui->lineEdit_Y, ui->lineEdit_line, ui->lineEdit_column,
                               ui->lineEdit_horzion, ui->lineEdit_vert})
        connect(field, &My_lineEdit::send_show, this, [this, field] { askField(field); });

    // Every opening starts on the first LAN port and pattern 1; the other
    // fields start from the form's texts.
    line_type.port = 0;
    line_type.route_way = 1;
    step1_focus.setItems({{ui->lineEdit_X, smartstyle::style_edit, smartstyle::style_edit_focus},
                          {ui->lineEdit_Y, smartstyle::style_edit, smartstyle::style_edit_focus},
                          {ui->Button_next, smartstyle::style_button, smartstyle::style_button_focus}});
    step2_focus.setItems({{ui->Button_wlan1, smartstyle::style_button, smartstyle::style_edit_focus},
                          {ui->Button_front_2, smartstyle::style_button, smartstyle::style_edit_focus},
                          {ui->Button_next_2, smartstyle::style_button, smartstyle::style_edit_focus}});
    step3_focus.setItems({{ui->lineEdit_line, smartstyle::style_edit, smartstyle::style_edit_focus},
                          {ui->lineEdit_column, smartstyle::style_edit, smartstyle::style_edit_focus},
                          {ui->Button_route, smartstyle::style_button, smartstyle::style_button_focus},
                          {ui->lineEdit_horzion, smartstyle::style_edit, smartstyle::style_edit_focus},
                          {ui->lineEdit_vert, smartstyle::style_edit, smartstyle::style_edit_focus},
                          {ui->Button_front_3, smartstyle::style_button, smartstyle::style_button_focus},
                          {ui->Button_send, smartstyle::style_button, smartstyle::style_button_focus}});
    std::vector<FocusList::Item> patterns;
    for (int n = 1; n <= fpga::kRoutePatterns; ++n)
        patterns.push_back({findChild<QWidget*>(QStringLiteral("Button_route%1").arg(n)), smartstyle::style_edit,
                            smartstyle::style_edit_focus});
    patterns.push_back({ui->Button_cancel, smartstyle::style_edit, smartstyle::style_edit_focus});
    route_focus.setItems(std::move(patterns));
    scan_step1_focus.setItems({{ui->Button_wlan5, smartstyle::style_button, smartstyle::style_button_focus},
                               {ui->Button_next_5, smartstyle::style_button, smartstyle::style_button_focus}});
    scan_step2_focus.setItems({{ui->Button_front_6, smartstyle::style_button, smartstyle::style_button_focus},
                               {ui->Button_load, smartstyle::style_button, smartstyle::style_button_focus}});
    selectPortGroup(0, kQuickTiles);

    language_changed();
    menulist_init();
}

SmartMapping::~SmartMapping()
{
    delete ui;
}

int SmartMapping::step() const
{
    return ui->stackedWidget->currentIndex();
}

void SmartMapping::showStep(Step s)
{
    ui->stackedWidget->setCurrentIndex(s);
}

// ---------------------------------------------------------------- the two key levels

void SmartMapping::toolKey(pages::PanelKey key)
{
    if (jobShown())
        return;
    if (!in_page)
        return menuKey(key);
    switch (ui_select) {
    case kQuickMapping: return quickKey(key);
    case kLoadScan: return scanKey(key);
    default: return switchKey(key);
    }
}

void SmartMapping::menuKey(pages::PanelKey key)
{
    switch (key) {
    case pages::PanelKey::Left:
    case pages::PanelKey::Right: {
        // Load scan is passed over while it has no file to offer.
        const int d = key == pages::PanelKey::Left ? -1 : 1;
        int t = ui_select;
        do
            t = (t + d + kTools) % kTools;
        while (t == kLoadScan && scan_file_count == 0);
        return selectTool(t);
    }
    case pages::PanelKey::Ok: return enterTool();
    case pages::PanelKey::Back: return slot_Button_back_clicked();
    default: return;
    }
}

void SmartMapping::selectTool(int tool)
{
    in_page = 0;
    const int from = ui_select;
    ui_select = static_cast<u8>(tool);
    restyle(from);
    restyle(tool);
    list_shown = 0;
    showFirstPage(tool);
}

void SmartMapping::showFirstPage(int tool)
{
    const bool entered = in_page != 0;
    switch (tool) {
    case kQuickMapping:
        showStep(kQuickStep1);
        if (entered)
            quickEnter();
        return;
    case kLoadScan: showStep(kScanPort); return scanPortEnter(entered);
    case kSolidify:
        showStep(kSolidifyPage);
        ui->Button_confirm->setStyleSheet(entered ? smartstyle::style_button_focus : smartstyle::style_button);
        return;
    case kMapping:
        showMappingState();
        showStep(kMappingPage);
        ui->Button_mapping_state->setStyleSheet(entered ? smartstyle::style_button_focus : smartstyle::style_button);
        return;
    }
}

void SmartMapping::enterTool()
{
    pages::debugLine("this is OK button(SmartMapping)[Release]\n");
    in_page = 1;
    restyle(ui_select);
    showFirstPage(ui_select);
}

void SmartMapping::leaveTool()
{
    in_page = 0;
    restyle(ui_select);
}

QString SmartMapping::normalStyle(int entry) const
{
    if (entry == kLoadScan && scan_file_count == 0)
        return QString::fromLatin1(smartstyle::style_disabled);
    return QString::fromLatin1(smartstyle::style_button);
}

QString SmartMapping::selectedStyle(int entry) const
{
    if (entry == kLoadScan && scan_file_count == 0)
        return QString::fromLatin1(smartstyle::style_disabled);
    return QString::fromLatin1(in_page ? smartstyle::style_menu_inside : smartstyle::style_button_focus);
}

// ---------------------------------------------------------------- touch on the menu

void SmartMapping::on_Button_shortcut_clicked()
{
    if (!jobShown())
        selectTool(kQuickMapping);
}

void SmartMapping::on_Button_loadscan_clicked()
{
    if (!jobShown())
        selectTool(kLoadScan);
}

void SmartMapping::on_Button_paraweld_clicked()
{
    if (!jobShown())
        selectTool(kSolidify);
}

void SmartMapping::on_Button_mapping_clicked()
{
    if (!jobShown())
        selectTool(kMapping);
}

// ---------------------------------------------------------------- texts and refresh

void SmartMapping::language_changed()
{
    quickTexts();
    scanTexts();
    switchTexts();
    countScanFiles();
    menuTexts();
}

void SmartMapping::menuTexts()
{
    const pages::Language lang = pages::textLanguage();
    ui->label_title->setText(pages::pick(kTitle));
    pages::fitText(ui->label_title);
    const MenuLayout& layout = chinese(lang) ? kChineseMenu : kOtherMenu;
    QPushButton* const buttons[kTools] = {ui->Button_shortcut, ui->Button_loadscan, ui->Button_paraweld,
                                          ui->Button_mapping};
    for (int t = 0; t < kTools; ++t) {
        buttons[t]->setGeometry(kMenuX, layout.y[t], kMenuWidth, layout.height);
        buttons[t]->setText(pages::pick(kMenu[t]));
        QFont font = buttons[t]->font();
        font.setPointSize(kMenuPoints[lang][t]);
        pages::fitText(buttons[t], font);
        restyle(t);
    }
}

void SmartMapping::countScanFiles()
{
    // Any plain file in the box's folder offers the tool; without one the
    // scan files on the stick decide.
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    rcvRecovery* reader = fpga ? fpga->rcv_recovery : nullptr;
    if (reader && reader->get_dir_file(QString::fromLatin1(rcvRecovery::kSmartDir)) == 0)
        scan_file_count = reader->scanCount();
    if (scan_file_count == 0)
        scan_file_count = static_cast<u8>(scanFilesIn(QString::fromLatin1(rcvRecovery::kUsbDir)).size());
}

void SmartMapping::syncUpdate(int code)
{
    Page::syncUpdate(code);
    if (code == SYNC_USB_REMOVED || code == SYNC_USB_STORAGE) {
        // The stick's scan files may offer load scan, or no longer.
        countScanFiles();
        restyle(kLoadScan);
        file_select = 0;
        if (list_shown) {
            buildScanList();
            scanListEnter();
        }
    }
}
