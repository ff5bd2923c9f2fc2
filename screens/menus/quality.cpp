#include "screens/menus/quality.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "ui_quality.h"
#include "videochip/x518_manage.h"

namespace {

const pages::Texts kTitle = {QStringLiteral("图像效果"), QStringLiteral("Image quality"), QStringLiteral("Изображение"),
                             QStringLiteral("Chất lượng hình ảnh"), QStringLiteral("圖像效果")};
const pages::Texts kBrightness = {QStringLiteral("亮度"), QStringLiteral("Brightness"), QStringLiteral("Яркость"),
                                  QStringLiteral("Độ sáng"), QStringLiteral("亮度")};
const pages::Texts kSharpness = {QStringLiteral("锐度"), QStringLiteral("Sharpness"), QStringLiteral("Резкость"),
                                 QStringLiteral("Độ sắc nét"), QStringLiteral("銳度")};
const pages::Texts kContrast = {QStringLiteral("对比度"), QStringLiteral("Contrast"), QStringLiteral("Контраст"),
                                QStringLiteral("Độ tương phản"), QStringLiteral("對比度")};
const pages::Texts kSaturation = {QStringLiteral("饱和度"), QStringLiteral("Saturation"),
                                  QStringLiteral("Насыщенность"), QStringLiteral("Độ bão hòa"),
                                  QStringLiteral("飽和度")};
const pages::Texts kReset = {QStringLiteral("画质复位"), QStringLiteral("Reset"), QStringLiteral("Сбросить"),
                             QStringLiteral("Đặt lại chất lượng hình ảnh"), QStringLiteral("畫質復位")};
const pages::Texts kPressOk = {QStringLiteral("点击OK应用"), QStringLiteral("Press Ok"), QStringLiteral("Нажмите ОК"),
                               QStringLiteral("Đồng ý"), QStringLiteral("點擊OK應用")};

// The rows in screen and ring order.
enum Row { kBrightnessRow, kSharpnessRow, kContrastRow, kSaturationRow, kResetRow };

// What the reset puts back: every picture value, the colour temperature's
// type and gains included.
u16 KEL_RAM_PARA::*const kPictureFields[] = {
    &KEL_RAM_PARA::brightness,   &KEL_RAM_PARA::contrast,        &KEL_RAM_PARA::sharpness,
    &KEL_RAM_PARA::saturation,   &KEL_RAM_PARA::color_temp_mode, &KEL_RAM_PARA::color_temp_r,
    &KEL_RAM_PARA::color_temp_g, &KEL_RAM_PARA::color_temp_b,
};

}  // namespace

quality::quality(QWidget* parent) : PictureValuesPage(PAGE_QUALITY, parent), ui(new Ui::quality)
{
    ui->setupUi(this);
    setEntries({{ui->lineEdit_bright, nullptr},
                {ui->lineEdit_Sharpness, nullptr},
                {ui->lineEdit_Contrast, nullptr},
                {ui->lineEdit_Saturation, nullptr},
                {ui->lineEdit_Reset, nullptr}});
    addValueRow(kBrightnessRow, ui->lineEdit_bright, &KEL_RAM_PARA::brightness);
    addValueRow(kSharpnessRow, ui->lineEdit_Sharpness, &KEL_RAM_PARA::sharpness);
    addValueRow(kContrastRow, ui->lineEdit_Contrast, &KEL_RAM_PARA::contrast);
    addValueRow(kSaturationRow, ui->lineEdit_Saturation, &KEL_RAM_PARA::saturation);
    para_init();
    menulist_init();
    language_changed();
}

quality::~quality()
{
    delete ui;
}

void quality::language_changed()
{
    pages::showText(ui->label_quality, kTitle);
    pages::showText(ui->label_bright, kBrightness);
    pages::showText(ui->label_Sharpness, kSharpness);
    pages::showText(ui->label_Contrast, kContrast);
    pages::showText(ui->label_Saturation, kSaturation);
    pages::showText(ui->label_reset, kReset);
    ui->lineEdit_Reset->setText(pages::pick(kPressOk));
}

bool quality::okOnOtherRow(int entry)
{
    if (entry == kResetRow)
        on_Button_reset_clicked();
    return false;
}

void quality::on_Button_reset_clicked()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    const KEL_RAM_PARA& defaults = ram::defaultBlock();
    {
        QMutexLocker lock(&x518_manage::mutex);
        for (const auto field : kPictureFields)
            store->ram_para.*field = defaults.*field;
        KelRamPara::raiseApplyLocked();
    }
    para_init();
}
