#include "screens/system/test_chart.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "ui_test_chart.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {

const pages::Texts kTitle = {QStringLiteral("测试图"), QStringLiteral("Test pattern"),
                             QStringLiteral("Тестовый образец"), QStringLiteral("Biểu đồ kiểm tra"),
                             QStringLiteral("測試圖")};
// The patterns' names; in Russian and Vietnamese they are numbered instead.
const pages::Texts kNames[test_chart::kPatterns] = {
    {QStringLiteral("红色"), QStringLiteral("Red"), QString(), QString(), QStringLiteral("紅色")},
    {QStringLiteral("绿色"), QStringLiteral("Green"), QString(), QString(), QStringLiteral("綠色")},
    {QStringLiteral("蓝色"), QStringLiteral("Blue"), QString(), QString(), QStringLiteral("藍色")},
    {QStringLiteral("白色"), QStringLiteral("White"), QString(), QString(), QStringLiteral("白色")},
    {QStringLiteral("黑色"), QStringLiteral("Black"), QString(), QString(), QStringLiteral("黑色")},
    {QStringLiteral("色带"), QStringLiteral("Colour bar"), QString(), QString(), QStringLiteral("色帶")},
    {QStringLiteral("竖线"), QStringLiteral("Vertical line"), QString(), QString(), QStringLiteral("豎線")},
    {QStringLiteral("横线"), QStringLiteral("Horizontal line"), QString(), QString(), QStringLiteral("橫線")},
};
const pages::Texts kNumbered = {QString(), QString(), QStringLiteral("Тест %1"), QStringLiteral("Kiểm tra %1"),
                                QString()};
const pages::Texts kClose = {QStringLiteral("关闭测试图"), QStringLiteral("Close"), QStringLiteral("Закрыть"),
                             QStringLiteral("Đóng"), QStringLiteral("關閉測試圖")};

const char* const kPictureStyle = "color: rgb(255, 255, 255);";
const char* const kPictureFocusStyle = "border:1px solid rgb(255,171,84);";
const char* const kCloseStyle =
    "color: rgb(255, 255, 255);background-color:rgb(0,0,0);border:1px solid rgb(255,255,255);";
const char* const kCloseFocusStyle =
    "color: rgb(255, 255, 255); background-color:rgb(0,0,0);border:1px solid rgb(255,171,84);";

constexpr u8 kNoPattern = 0;

}  // namespace

test_chart::test_chart(QWidget* parent) : Page(PAGE_TEST_PATTERNS, parent), ui(new Ui::test_chart)
{
    ui->setupUi(this);
    QLabel* const pictures[kPatterns] = {ui->label_test1, ui->label_test2, ui->label_test3, ui->label_test4,
                                         ui->label_test5, ui->label_test6, ui->label_test7, ui->label_test8};
    std::vector<Entry> ring;
    for (int i = 0; i < kPatterns; ++i) {
        pictures[i]->setPixmap(pages::pixmap(pages::plainPicture(QStringLiteral("img_test%1.png").arg(i + 1))));
        ring.push_back({pictures[i], [this] { slot_Button_on_clicked(); }});
    }
    ring.push_back({ui->Button_closetest, [this] { slot_Button_back_clicked(); }});
    setEntries(std::move(ring));
    menulist_init();
    language_changed();
}

test_chart::~test_chart()
{
    delete ui;
}

QString test_chart::normalStyle(int entry) const
{
    return QString::fromLatin1(entry == kCloseRow ? kCloseStyle : kPictureStyle);
}

QString test_chart::selectedStyle(int entry) const
{
    return QString::fromLatin1(entry == kCloseRow ? kCloseFocusStyle : kPictureFocusStyle);
}

void test_chart::language_changed()
{
    QLabel* const names[kPatterns] = {ui->label_red,   ui->label_green, ui->label_blue,  ui->label_white,
                                      ui->label_black, ui->label_color, ui->label_hline, ui->label_wline};
    const pages::Language lang = pages::textLanguage();
    const bool numbered = lang == pages::RU || lang == pages::VN;
    for (int i = 0; i < kPatterns; ++i) {
        names[i]->setText(numbered ? pages::pick(kNumbered).arg(i + 1) : pages::pick(kNames[i]));
        pages::fitText(names[i]);
    }
    ui->label_testimage->setText(pages::pick(kTitle));
    pages::showText(ui->Button_closetest, kClose);
}

void test_chart::setPattern(u8 pattern)
{
    // The pattern the block holds already (a PC's) is not written again.
    KelRamPara::editBlock([pattern](KEL_RAM_PARA& b) { b.test_pattern = pattern; });
}

void test_chart::slot_Button_on_clicked()
{
    setPattern(ui_select < kPatterns ? static_cast<u8>(ui_select + 1) : kNoPattern);
}

void test_chart::slot_Button_back_clicked()
{
    setPattern(kNoPattern);
    Page::slot_Button_back_clicked();
}
