#include "screens/system/factoryage.h"

#include "app/aginglog.h"
#include "app/utils.h"
#include "ui_factoryage.h"

#include <QLabel>

namespace {

const char* const kAging = "正在老化中...";
const char* const kBitSet = "<font color = #00FF00 >%1</font>";
const char* const kBitClear = "<font color = #FF0000 >%1</font>";
const char* const kLineBreak = "<br>";
// Register 40's status bits from bit 0 up.
const char* const kStatusBits[] = {"DDR0", "DDR1", "DE", "HS", "VS"};
constexpr int kLogFontPixels = 10;
constexpr int kValueDigits = 3;

// Fields of a log line: "MM-dd hh:mm r42 r40 r43".
enum Field { kDate, kTime, kReg42, kReg40, kReg43, kFields };

QString threeDigits(const QString& field)
{
    return QStringLiteral("%1").arg(field.toUInt(), kValueDigits, 10, QLatin1Char('0'));
}

QString statusMarkers(unsigned bits)
{
    QString out;
    for (unsigned b = 0; b < sizeof kStatusBits / sizeof *kStatusBits; ++b)
        out += QString::fromLatin1((bits >> b) & 1 ? kBitSet : kBitClear).arg(QLatin1String(kStatusBits[b])) +
               QLatin1Char(' ');
    return out;
}

}  // namespace

factoryage::factoryage(QWidget* parent) : Page(PAGE_AGING_LOG, parent), ui(new Ui::factoryage)
{
    ui->setupUi(this);
    QFont font = ui->label_log->font();
    font.setPixelSize(kLogFontPixels);
    ui->label_log->setFont(font);
    ui->label_log->setTextFormat(Qt::RichText);
    setEntries({
        {ui->ButtonNext, [this] { on_ButtonNext_clicked(); }},
        {ui->ButtonPriv, [this] { on_ButtonPriv_clicked(); }},
    });
    menulist_init();
    update_agelog();
}

factoryage::~factoryage()
{
    delete ui;
}

QString factoryage::normalStyle(int) const
{
    return QString::fromLatin1(kFrameNormalStyle);
}

QString factoryage::selectedStyle(int) const
{
    return QString::fromLatin1(kFrameSelectedStyle);
}

int factoryage::pageCount(int lines)
{
    return (lines + kLinesPerPage - 1) / kLinesPerPage;
}

QString factoryage::pageText(const QStringList& log, int page)
{
    QString text;
    const int first = page * kLinesPerPage;
    const int end = std::min<int>(log.size(), first + kLinesPerPage);
    for (int i = first; i < end; ++i) {
        const QStringList f = log[i].split(QLatin1Char(' '));
        if (f.size() != kFields)
            continue;
        if (i != first)
            text += QLatin1String(kLineBreak);
        text += f[kDate] + QLatin1Char(' ') + f[kTime] + QLatin1Char(' ') + threeDigits(f[kReg42]) + QLatin1Char(' ') +
                statusMarkers(f[kReg40].toUInt()) + threeDigits(f[kReg43]);
    }
    return text;
}

void factoryage::update_agelog()
{
    const int lines = factoryage_log.size();
    if (lines == 0) {
        QString stamp;
        {
            QMutexLocker lock(&Utils::_system_mutex);
            stamp = agingTimeStamp(platform::localNow());
        }
        ui->label_log->setText(stamp + QStringLiteral("  ") + QString::fromUtf8(kAging));
        showSummary(0, QStringLiteral("0/0"));
        return;
    }
    ui->label_log->setText(pageText(factoryage_log, page_index));
    showSummary(lines, QStringLiteral("%1/%2").arg(page_index + 1).arg(pageCount(lines)));
}

void factoryage::showSummary(int lines, const QString& pageLabel)
{
    const struct {
        QLabel* label;
        int count;
        const char* suffix;
    } counters[] = {
        {ui->label_3, factoryage_log_diff3, "<3"},        {ui->label_5, factoryage_log_diff5, "<5"},
        {ui->label_10, factoryage_log_diff10, "<10"},     {ui->label_20, factoryage_log_diff20, "<20"},
        {ui->label_more, factoryage_log_diffmore, ">20"},
    };
    for (const auto& c : counters) {
        c.label->setTextFormat(Qt::PlainText);
        c.label->setText(QString::number(c.count) + QLatin1String(c.suffix));
    }
    ui->page_info->setText(QString::number(lines));
    ui->label_page->setText(pageLabel);
}

void factoryage::on_ButtonNext_clicked()
{
    const int pages = pageCount(factoryage_log.size());
    if (page_index >= pages)
        return;
    page_index = page_index + 1 < pages ? page_index + 1 : 0;
    update_agelog();
}

void factoryage::on_ButtonPriv_clicked()
{
    if (factoryage_log.isEmpty() || page_index == 0)
        return;
    --page_index;
    update_agelog();
}
