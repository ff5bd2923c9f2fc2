#include "screens/menus/imagequality.h"

#include "app/page_support.h"
#include "screens/page_directory.h"
#include "ui_imagequality.h"

namespace {

const pages::Texts kTitle = {QStringLiteral("图像效果"), QStringLiteral("Image quality"), QStringLiteral("Изображение"),
                             QStringLiteral("Chất lượng hình ảnh"), QStringLiteral("圖像效果")};
const pages::Texts kQuality = {QStringLiteral("画质"), QStringLiteral("Quality"), QStringLiteral("Качество"),
                               QStringLiteral("Chất lượng"), QStringLiteral("畫質")};
const pages::Texts kTemperature = {QStringLiteral("色温"), QStringLiteral("Temperature"), QStringLiteral("Оттенок"),
                                   QStringLiteral("Độ màu"), QStringLiteral("色溫")};

}  // namespace

ImageQuality::ImageQuality(QWidget* parent) : Page(PAGE_PICTURE_QUALITY_MENU, parent), ui(new Ui::ImageQuality)
{
    ui->setupUi(this);
    setEntries({
        {ui->Button_quality, [this] { on_Button_quality_clicked(); }},
        {ui->Button_temperature, [this] { on_Button_temperature_clicked(); }},
    });
    language_changed();
    menulist_init();
}

ImageQuality::~ImageQuality()
{
    delete ui;
}

void ImageQuality::language_changed()
{
    ui->label_title->setText(pages::pick(kTitle));
    pages::showText(ui->Button_quality, kQuality);
    pages::showText(ui->Button_temperature, kTemperature);
}

void ImageQuality::on_Button_quality_clicked()
{
    pages::openPage(PAGE_QUALITY);
}
void ImageQuality::on_Button_temperature_clicked()
{
    pages::openPage(PAGE_COLOUR_TEMPERATURE);
}
