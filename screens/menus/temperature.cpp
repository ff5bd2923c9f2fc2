#include "screens/menus/temperature.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "ui_temperature.h"

namespace {

const pages::Texts kTitle = {QStringLiteral("色温"), QStringLiteral("Temperature"),
                             QStringLiteral("Температура Оттенок"), QStringLiteral("Độ màu"), QStringLiteral("色溫")};
const pages::Texts kType = {QStringLiteral("色温类型"), QStringLiteral("temperature type"),
                            QStringLiteral("Выбор цвета"), QStringLiteral("Lựa chọn độ màu"),
                            QStringLiteral("色溫類型")};
const pages::Texts kRed = {QStringLiteral("红色"), QStringLiteral("Red"), QStringLiteral("Красный"),
                           QStringLiteral("Màu đỏ"), QStringLiteral("紅色")};
const pages::Texts kGreen = {QStringLiteral("绿色"), QStringLiteral("Green"), QStringLiteral("Зеленый"),
                             QStringLiteral("Màu xanh lá cây"), QStringLiteral("綠色")};
const pages::Texts kBlue = {QStringLiteral("蓝色"), QStringLiteral("Blue"), QStringLiteral("Синий"),
                            QStringLiteral("Màu xanh da trời"), QStringLiteral("藍色")};
const pages::Texts kTypeNames[temperature::kTypes] = {
    {QStringLiteral("自定义"), QStringLiteral("custom"), QStringLiteral("Свой"), QStringLiteral("Tùy chỉnh"),
     QStringLiteral("自定義")},
    {QStringLiteral("偏暖"), QStringLiteral("warm"), QStringLiteral("Теплый"), QStringLiteral("Màu ấm"),
     QStringLiteral("偏暖")},
    {QStringLiteral("自然"), QStringLiteral("nature"), QStringLiteral("Природный"), QStringLiteral("Tự nhiên"),
     QStringLiteral("自然")},
    {QStringLiteral("偏冷"), QStringLiteral("cool"), QStringLiteral("Холодный"), QStringLiteral("Lạnh hơn"),
     QStringLiteral("偏冷")},
};

enum Row { kTypeRow, kRedRow, kGreenRow, kBlueRow };

const char* const kComboStyle = "QComboBox{\ncolor:rgb(255,255,255);\nbackground-color: rgb(33, 36, 53);"
                                "border:1px solid rgb(255,255,255);\n}\nQComboBox:drop-down{\nborder-style:none\n}";
const char* const kComboSelectedStyle =
    "QComboBox{\ncolor:rgb(255,255,255);\nbackground-color: rgb(33, 36, 53);border:1px solid rgb(255,171,84);\n}"
    "\nQComboBox:drop-down{\nborder-style:none\n}";
const char* const kComboEditStyle =
    "QComboBox{\ncolor:rgb(255,255,255);\nbackground-color: rgb(33, 36, 53);border:1px solid rgb(255,0,0);\n}"
    "\nQComboBox:drop-down{\nborder-style:none\n}";

}  // namespace

temperature::temperature(QWidget* parent) : PictureValuesPage(PAGE_COLOUR_TEMPERATURE, parent), ui(new Ui::temperature)
{
    ui->setupUi(this);
    for (int t = 0; t < kTypes; ++t)
        ui->comboBox_type->addItem(QString());
    setEntries({{ui->comboBox_type, nullptr},
                {ui->lineEdit_name_red, nullptr},
                {ui->lineEdit_name_green, nullptr},
                {ui->lineEdit_name_blue, nullptr}});
    addValueRow(kRedRow, ui->lineEdit_name_red, &KEL_RAM_PARA::color_temp_r);
    addValueRow(kGreenRow, ui->lineEdit_name_green, &KEL_RAM_PARA::color_temp_g);
    addValueRow(kBlueRow, ui->lineEdit_name_blue, &KEL_RAM_PARA::color_temp_b);
    para_init();
    menulist_init();
    language_changed();
}

temperature::~temperature()
{
    delete ui;
}

void temperature::language_changed()
{
    pages::showText(ui->label_temperature, kTitle);
    pages::showText(ui->label_type, kType);
    pages::showText(ui->label_name_red, kRed);
    pages::showText(ui->label_name_green, kGreen);
    pages::showText(ui->label_name_blue, kBlue);
    for (int t = 0; t < kTypes; ++t)
        ui->comboBox_type->setItemText(t, pages::pick(kTypeNames[t]));
    pages::fitText(ui->comboBox_type);
}

int temperature::blockType() const
{
    const KelRamPara* store = KelRamPara::p_kelrampara_config;
    // A type no list entry names is shown and held as custom.
    const u16 stored = store ? store->ram_para.color_temp_mode : 0;
    return stored < kTypes ? stored : 0;
}

void temperature::para_init()
{
    PictureValuesPage::para_init();
    type_seen.begin({blockType()});
    showType(blockType());
}

void temperature::followBlock()
{
    PictureValuesPage::followBlock();
    showType(type_seen.follow({type}, {blockType()}).front());
}

void temperature::showType(int t)
{
    type = static_cast<u8>(t);
    ui->comboBox_type->setCurrentIndex(t);
}

bool temperature::okOnOtherRow(int entry)
{
    return entry == kTypeRow;
}

void temperature::stepOtherRow(int entry, int step)
{
    if (entry == kTypeRow)
        showType((type + step + kTypes) % kTypes);
}

void temperature::endOtherEdit(int entry, bool keep)
{
    if (entry != kTypeRow)
        return;
    // A type the block holds already (a PC's write of the same) is not
    // written again.
    const u16 chosen = type;
    if (keep && type_seen.confirm(
                    0, chosen, [](const KEL_RAM_PARA& b) { return int(b.color_temp_mode); },
                    [chosen](KEL_RAM_PARA& b) { b.color_temp_mode = chosen; }))
        return;
    // Nothing to write: the list shows the block's type again.
    type_seen.begin({blockType()});
    showType(blockType());
}

bool temperature::pickOtherRow(int entry, int index)
{
    if (entry != kTypeRow || index < 0 || index >= kTypes)
        return false;
    showType(index);
    return true;
}

void temperature::on_button_type_clicked()
{
    writeField(&KEL_RAM_PARA::color_temp_mode, type);
}

QString temperature::normalStyle(int entry) const
{
    return entry == kTypeRow ? QString::fromLatin1(kComboStyle) : PictureValuesPage::normalStyle(entry);
}

QString temperature::selectedStyle(int entry) const
{
    if (entry != kTypeRow)
        return PictureValuesPage::selectedStyle(entry);
    return QString::fromLatin1(editing() ? kComboEditStyle : kComboSelectedStyle);
}
