#include "app/firmwareupdate.h"

#include "app/page_support.h"
#include "ui_firmwareupdate.h"

#include <QLabel>
#include <QPixmap>
#include <QTimerEvent>
#include <algorithm>

FirmwareUpdate* g_move_update = boxstate::startValue(g_move_update, nullptr);

namespace {

// The sentence and the width per character it is laid out with; a line
// wider than the dialog takes the dialog's width, its text centred.
const pages::Texts kUpdating = {
    QStringLiteral("升级中，请勿断电 "),
    QStringLiteral("Updating, do not power off "),
    QStringLiteral("Обновление, не выключайте питание "),
    QStringLiteral("Đang cập nhật, đừng tắt nguồn "),
    QStringLiteral("昇級中，請勿斷電 "),
};
constexpr int kChineseCharWidth = 13;
constexpr int kLatinCharWidth = 15;
constexpr int kDotCharWidth = 13;
constexpr int kFirstCharWidth = 10;
constexpr int kDotEveryTicks = 100;

}  // namespace

FirmwareUpdate::FirmwareUpdate(QWidget* parent) : QDialog(parent), ui(new Ui::FirmwareUpdate)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    pages::placeOverMainWindow(this);

    icon_label = new QLabel(this);
    icon_label->setScaledContents(true);
    icon_label->setPixmap(pages::pixmap(pages::plainPicture("update.png")));
    icon_label->setGeometry(kIconX, kIconTop, kIconSize, kIconSize);
    icon_x = kIconX;
    icon_y = kIconTop;

    text_label = new QLabel(this);
    text_label->setAlignment(Qt::AlignCenter);
    text_label->setStyleSheet("color: #FFFFFF;font: 13px");
    placeText(QStringLiteral("升级中，请勿断电"), kFirstCharWidth);

    language_changed();
}

FirmwareUpdate::~FirmwareUpdate()
{
    if (g_move_update == this)
        g_move_update = nullptr;
    delete ui;
}

void FirmwareUpdate::placeText(const QString& text, int charWidth)
{
    const int w = std::min(charWidth * static_cast<int>(text.size()), width());
    text_label->setText(text);
    text_label->setGeometry((width() - w) / 2, kTextY, w, kTextHeight);
}

void FirmwareUpdate::language_changed()
{
    const pages::Language lang = pages::textLanguage();
    const bool chinese = lang == pages::ZH || lang == pages::TW;
    placeText(pages::pick(kUpdating), chinese ? kChineseCharWidth : kLatinCharWidth);
}

void FirmwareUpdate::update_time_deal()
{
    const u32 now = G_timeTicks.load();
    if (now % 2 == 0)
        handleTimerID1();
    if (now % kDotEveryTicks == 0)
        handleTimerID2();
    repaint();
}

void FirmwareUpdate::handleTimerID1()
{
    if (direction == 1) {
        if (icon_label->y() != kIconBottom) {
            ++icon_y;
        } else {
            icon_y = kIconBottom - 1;
            direction = 0;
        }
    } else {
        if (icon_label->y() != kIconTop) {
            --icon_y;
        } else {
            icon_y = kIconTop + 1;
            direction = 1;
        }
    }
    icon_label->setGeometry(icon_x, icon_y, kIconSize, kIconSize);
}

void FirmwareUpdate::handleTimerID2()
{
    ++dot_count;
    static const char* const kDots[3] = {"...", ".", ".."};
    placeText(pages::pick(kUpdating) + QLatin1String(kDots[dot_count % 3]), kDotCharWidth);
}

QString FirmwareUpdate::text() const
{
    return text_label->text();
}

QRect FirmwareUpdate::textRect() const
{
    return text_label->geometry();
}

void FirmwareUpdate::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == timer_id1)
        handleTimerID1();
    else if (event->timerId() == timer_id2)
        handleTimerID2();
}

void firmware_update_start()
{
    if (!g_move_update)
        g_move_update = new FirmwareUpdate(nullptr);
    g_move_update->show();
}

void firmware_update_over()
{
    if (!g_move_update)
        return;
    FirmwareUpdate* dialog = g_move_update;
    g_move_update = nullptr;
    dialog->close();
    KEL_DBG("\n update_over !!!");
}
