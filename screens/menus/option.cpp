#include "screens/menus/option.h"

#include "app/page_support.h"
#include "screens/page_directory.h"
#include "ui_option.h"

#include <QPushButton>

namespace {

const pages::Texts kTitle = {QStringLiteral("设置"), QStringLiteral("Setting"), QStringLiteral("Настройки"),
                             QStringLiteral("Cài đặt"), QStringLiteral("設置")};

// Each entry's picture (":/png/" + language prefix + name) and its icon
// width by language; every icon is 60 pixels high.
struct Icon {
    const char* picture;
    int width[pages::kLanguages];
};
constexpr Icon kIcons[Option::kEntries] = {
    {"output_set.png", {55, 75, 55, 55, 55}},    {"input_cut.png", {55, 70, 70, 70, 55}},
    {"image_layout.png", {55, 70, 55, 55, 55}},  {"link_set.png", {55, 70, 70, 70, 55}},
    {"image_quality.png", {55, 75, 55, 55, 55}}, {"test_chart.png", {55, 55, 55, 55, 55}},
    {"smart_mapping.png", {55, 55, 55, 55, 55}}, {"AdvanceButton.png", {55, 54, 70, 54, 55}},
};
constexpr int kIconHeight = 60;
constexpr int kSmartMappingEntry = 6;
constexpr int kAdvancedEntry = 7;
// In English the advanced entry has a picture of its own name.
const char* const kAdvancedEnglish = "en_advance_option.png";

}  // namespace

Option::Option(QWidget* parent) : Page(PAGE_OPTIONS, parent), ui(new Ui::Option)
{
    ui->setupUi(this);
    showHints(ui->label_note_OK, ui->label_note_back);
    setEntries({
        {ui->output_set, [this] { on_output_set_clicked(); }},
        {ui->input_cut, [this] { on_input_cut_clicked(); }},
        {ui->image_layout, [this] { on_image_layout_clicked(); }},
        {ui->link_set, [this] { on_link_set_clicked(); }},
        {ui->image_quality, [this] { on_image_quality_clicked(); }},
        {ui->test_chart, [this] { on_test_chart_clicked(); }},
        {ui->smart_mapping, [this] { on_smart_mapping_clicked(); }},
        {ui->AdvanceButton, [this] { on_AdvanceButton_clicked(); }},
    });
    menulist_init();
    language_changed();
}

Option::~Option()
{
    delete ui;
}

void Option::language_changed()
{
    ui->label_title->setText(pages::pick(kTitle));
    QPushButton* const buttons[kEntries] = {ui->output_set,    ui->input_cut,  ui->image_layout,  ui->link_set,
                                            ui->image_quality, ui->test_chart, ui->smart_mapping, ui->AdvanceButton};
    const pages::Language lang = pages::textLanguage();
    for (int i = 0; i < kEntries; ++i) {
        const bool ownEnglish = i == kAdvancedEntry && lang == pages::EN;
        const QString picture = ownEnglish ? pages::plainPicture(kAdvancedEnglish) : pages::picture(kIcons[i].picture);
        buttons[i]->setIcon(pages::icon(picture));
        buttons[i]->setIconSize(QSize(kIcons[i].width[lang], kIconHeight));
    }
    // Disabled in the form: its style is set in code, resting or focused.
    restyle(kSmartMappingEntry);
}

// clang-format off
void Option::on_output_set_clicked() { pages::openPage(PAGE_OUTPUT_SETTINGS); }
void Option::on_input_cut_clicked() { pages::openPage(PAGE_INPUT_CROP); }
void Option::on_image_layout_clicked() { pages::openPage(PAGE_WINDOW_LAYOUT); }
void Option::on_link_set_clicked() { pages::openPage(PAGE_COMMUNICATION); }
void Option::on_image_quality_clicked() { pages::openPage(PAGE_PICTURE_QUALITY_MENU); }
void Option::on_test_chart_clicked() { pages::openPage(PAGE_TEST_PATTERNS); }
void Option::on_smart_mapping_clicked() { pages::openPage(PAGE_SMART_MAPPING); }
void Option::on_AdvanceButton_clicked() { pages::openPage(PAGE_ADVANCED_OPTIONS); }
// clang-format on
