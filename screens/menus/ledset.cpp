#include "screens/menus/ledset.h"

#include "app/kelrampara.h"
#include "app/my_lineedit.h"
#include "app/page_support.h"
#include "app/tip.h"
#include "app/utils.h"
#include "fpga/fpga_manage.h"
#include "screens/menus/fpga_view.h"
#include "screens/menus/settings_texts.h"
#include "ui_ledset.h"
#include "videochip/x518_manage.h"

#include <QPixmap>

namespace {

const pages::Texts kTitle = {QStringLiteral("LED设置"), QStringLiteral("LED Setting"), QStringLiteral("Настройка LED"),
                             QStringLiteral("Cài đặt LED"), QStringLiteral("LED設置")};
const pages::Texts kHeading = {QStringLiteral("设置LED屏宽高"), QStringLiteral("Set LED W&H"),
                               QStringLiteral("Разрешение LED шир и выс"), QStringLiteral("Cài đặt thông số led"),
                               QStringLiteral("設置LED屏寬高")};
// The largest width (%1) and height (%2).
const pages::Texts kLimits = {QStringLiteral("可设LED屏最大点数:%1(宽),%2(高)"), QStringLiteral("LED max:%1(w),%2(h)"),
                              QStringLiteral("Макс.: ширина %1 px, высота %2 px"),
                              QStringLiteral("Điểm ảnh lớn nhất:%1(ngang),%2(dọc)"),
                              QStringLiteral("可設LED屏最大點數:%1(寬),%2(高)")};

// The focus ring.
enum Entry { kWidthField, kHeightField, kApplyButton, kCancelButton };

const char* const kFieldStyle =
    "color:rgb(255, 255, 255);background-color:rgb(33, 36, 53);border:1px solid rgb(255,255,255);";
const char* const kFieldSelectedStyle =
    "color:rgb(255, 255, 255);background-color: rgb(33, 36, 53);border:1px solid rgb(255,171,84);";
const char* const kButtonStyle =
    "color: rgb(255, 255, 255);background-color: rgb(33, 36, 53) ; border:1px solid rgb(255,255,255) ;";
const char* const kButtonSelectedStyle =
    "color: rgb(255, 255, 255);background-color: rgb(33, 36, 53); border:1px solid rgb(255,171,84);";

bool isField(int entry)
{
    return entry == kWidthField || entry == kHeightField;
}

}  // namespace

ledset::Sides ledset::fitSides(const QString& typed, const QString& other)
{
    bool ok = false;
    qlonglong v = typed.toLongLong(&ok);
    if (!ok)
        v = 0;
    const long o = other.toShort();  // 0 when not a number
    Sides out{QString(), other};
    if (v > kMaxSide) {
        out.edited = QString::number(kMaxSide);
        if (o * kMaxSide > kMaxPixels)
            out.other = QString::number(kSideBesideMax);
    } else if (v >= kMinSide) {
        out.edited = typed;
        if (o * v > kMaxPixels)
            out.other = QString::number(kMaxPixels / v);
    } else {
        out.edited = QString::number(kMinSide);
    }
    return out;
}

ledset::ledset(QWidget* parent) : Page(PAGE_LED_SETTINGS, parent), ui(new Ui::ledset)
{
    ui->setupUi(this);
    ui->label_warning->setPixmap(pages::pixmap(pages::plainPicture("warning.png")));
    setEntries({
        {ui->lineEdit_ledw, [this] { editSide(ui->lineEdit_ledw); }},
        {ui->lineEdit_ledh, [this] { editSide(ui->lineEdit_ledh); }},
        {ui->Button_apply, [this] { on_Button_apply1_clicked(); }},
        {ui->Button_cancle, [this] { slot_Button_back_clicked(); }},
    });
    // A touch on a field asks for it too; the buttons act only by the keys.
    connect(ui->lineEdit_ledw, &My_lineEdit::send_show, this, &ledset::show_numberkeyboard_ui);
    connect(ui->lineEdit_ledh, &My_lineEdit::send_show, this, &ledset::show_numberkeyboard_ui);
    para_init();
    menulist_init();
    language_changed();
}

ledset::~ledset()
{
    delete ui;
}

void ledset::para_init()
{
    if (!KelRamPara::p_kelrampara_config)
        return;
    const EditedFields::Values held = blockSides();
    sides_seen.begin(held);
    showSides(held);
}

EditedFields::Values ledset::blockSides() const
{
    const KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store ? EditedFields::Values{store->ram_para.led_width, store->ram_para.led_height}
                 : EditedFields::Values{0, 0};
}

// What the fields hold, as typed (0 when not a number).
EditedFields::Values ledset::shownSides() const
{
    return {ui->lineEdit_ledw->text().toUShort(), ui->lineEdit_ledh->text().toUShort()};
}

void ledset::showSides(const EditedFields::Values& sides)
{
    const EditedFields::Values shown = shownSides();
    QLineEdit* const fields[] = {ui->lineEdit_ledw, ui->lineEdit_ledh};
    for (std::size_t i = 0; i < sides.size(); ++i)
        if (sides[i] != shown[i] || fields[i]->text().isEmpty())
            fields[i]->setText(QString::number(sides[i]));
}

void ledset::language_changed()
{
    pages::showText(ui->label_ledset, kTitle);
    pages::showText(ui->label_note_led_w, kHeading);
    pages::showText(ui->label_ledw, settingsTexts::kWidth);
    pages::showText(ui->label_ledh, settingsTexts::kHeight);
    ui->label_tip->setText(pages::pick(kLimits).arg(kMaxSide).arg(kMaxSide));
    pages::fitText(ui->label_tip);
    pages::showText(ui->Button_apply, settingsTexts::kApply);
    pages::showText(ui->Button_cancle, settingsTexts::kCancel);
}

void ledset::syncUpdate(int code)
{
    Page::syncUpdate(code);
    if (KelRamPara::p_kelrampara_config)
        showSides(sides_seen.follow(shownSides(), blockSides()));
}

QString ledset::normalStyle(int entry) const
{
    return QString::fromLatin1(isField(entry) ? kFieldStyle : kButtonStyle);
}

QString ledset::selectedStyle(int entry) const
{
    return QString::fromLatin1(isField(entry) ? kFieldSelectedStyle : kButtonSelectedStyle);
}

void ledset::show_numberkeyboard_ui(QString)
{
    if (auto* field = qobject_cast<QLineEdit*>(sender()))
        editSide(field);
}

void ledset::editSide(QLineEdit* field)
{
    const bool width = field == ui->lineEdit_ledw;
    const std::optional<QString> typed =
        askNumber(pages::pick(width ? settingsTexts::kKeyWidth : settingsTexts::kKeyHeight), field->text());
    if (!typed)
        return;
    QLineEdit* other = width ? ui->lineEdit_ledh : ui->lineEdit_ledw;
    const Sides sides = fitSides(*typed, other->text());
    field->setText(sides.edited);
    other->setText(sides.other);
}

void ledset::on_Button_apply1_clicked()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    const EditedFields::Values shown = shownSides();
    bool resized = false;
    u16 w, h;
    {
        QMutexLocker lock(&x518_manage::mutex);
        KEL_RAM_PARA& b = store->ram_para;
        const KEL_RAM_PARA& shadow = store->ram_para_shadow;
        // The sides the operator typed, the block's own (a PC's) otherwise.
        const EditedFields::Values sides = sides_seen.over(shown, {b.led_width, b.led_height});
        w = static_cast<u16>(sides[0]);
        h = static_cast<u16>(sides[1]);
        b.led_width = w;
        b.led_height = h;
        b.out1_rect = RECT_PARA{0, 0, w, h};
        b.out2_rect = RECT_PARA{0, 0, w, h};
        b.splice_mode = ram::SPLICE_NONE;
        resized = w != shadow.led_width || h != shadow.led_height;
        if (resized) {
            IMAGE_PARA& first = b.image[0];
            first.x = 0;
            first.y = 0;
            first.w = w;
            first.h = h;
            for (int i = 1; i < ram::kShownImages; ++i)
                b.image[i].enable = 0;
            fpga_manage::requestPanelSetup();
        }
        KelRamPara::raiseApplyLocked();
    }
    sides_seen.begin({w, h});
    showSides({w, h});
    // The confirmation only once the chip manager may apply the new canvas.
    if (resized && g_tip)
        g_tip->tip_create(TIP::kCheck);
}
