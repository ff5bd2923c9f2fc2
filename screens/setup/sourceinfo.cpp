#include "screens/setup/sourceinfo.h"

#include "app/page_support.h"
#include "app/ram_para.h"
#include "screens/page.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPixmap>

namespace {

struct Input {
    const char* name;
    const char* picture;
    const char* online;
    const char* offline;
};
// By source id.
constexpr Input kInputs[ram::kSources] = {
    {"DVI", "DVI.png", "dvilv.png", "DVI.png"},
    {"HDMI1", "HDMI13.png", "HDMI13_lv.png", "HDMI13_1.png"},
    {"HDMI2", "HDMI13.png", "HDMI13_lv.png", "HDMI13_1.png"},
    {"HDMI3", "HDMI20.png", "HDMI20_lv.png", "HDMI20.png"},
};
// Source id by list position.
constexpr u8 kListOrder[ram::kSources] = {ram::kSourceHdmi1, ram::kSourceHdmi2, ram::kSourceHdmi3, ram::kSourceDvi};

const char* const kWhiteFormat = "<font style = 'font-size:9px' color = #ffffff >%1</font>";
const char* const kGreenFormat0 = "<font style = 'font-size:9px' color = #51BB28 >%1</font>";
const char* const kGreenFormat1 = "<font style = 'font-size:9px' color = #12BB32 >%1</font>";
const char* const kBlueFormat = "<font style = 'font-size:9px' color = #4777ff >%1</font>";
// The same looks for a name in plain text.
constexpr int kNamePixels = 9;
const char* const kWhiteStyle = "color:rgb(255,255,255);";
const char* const kGreenStyle = "color:#51BB28;";
// The formats' colours, for a tab's caption.
constexpr QRgb kWhite = qRgb(0xff, 0xff, 0xff);
constexpr QRgb kGreen0 = qRgb(0x51, 0xbb, 0x28);
constexpr QRgb kGreen1 = qRgb(0x12, 0xbb, 0x32);
constexpr QRgb kBlue = qRgb(0x47, 0x77, 0xff);

bool known(u8 id)
{
    return id < ram::kSources;
}

}  // namespace

QString sourceinfo::get_source_name_by_sourceid(u8 id)
{
    return known(id) ? QString::fromLatin1(kInputs[id].name) : QString();
}

QString sourceinfo::get_source_name_by_listseq(u8 seq)
{
    return seq < ram::kSources ? get_source_name_by_sourceid(kListOrder[seq]) : QString();
}

u8 sourceinfo::get_source_id_by_listseq(u8 seq)
{
    return seq < ram::kSources ? kListOrder[seq] : ram::kSourceDvi;
}

u8 sourceinfo::get_listseq_by_source_id(u8 id)
{
    for (u8 seq = 0; seq < ram::kSources; ++seq)
        if (kListOrder[seq] == id)
            return seq;
    return 0;
}

QString sourceinfo::get_source_specialstyle0_by_sourceid(u8 id)
{
    return QString::fromLatin1(id == ram::kSourceHdmi3 ? kGreenFormat0 : kWhiteFormat);
}

void sourceinfo::showSourceName(QLabel* label, u8 id)
{
    QFont font = label->font();
    font.setPixelSize(kNamePixels);
    label->setFont(font);
    // Where a label places a line of rich text: at whole pixels from the
    // top, centred by the line's rounded height.
    const int line = qRound(QFontMetricsF(font).height());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setContentsMargins(0, (label->height() - line) / 2, 0, 0);
    pages::setStyle(label, QString::fromLatin1(id == ram::kSourceHdmi3 ? kGreenStyle : kWhiteStyle));
    label->setText(get_source_name_by_sourceid(id));
}

QString sourceinfo::get_source_specialstyle1_by_sourceid(u8 id, QString name, u8 count)
{
    if (!known(id))
        return QString();
    const QString blue = QString::fromLatin1(kBlueFormat);
    return QString::fromLatin1(id == ram::kSourceHdmi3 ? kGreenFormat1 : kWhiteFormat).arg(name) +
           blue.arg(QStringLiteral("(")) + blue.arg(QString::number(count, 10)) + blue.arg(QStringLiteral(")"));
}

void sourceinfo::showTabName(TabCaption* tab, u8 id)
{
    if (known(id))
        tab->showRuns(get_source_name_by_sourceid(id), id == ram::kSourceHdmi3 ? kGreen0 : kWhite);
}

void sourceinfo::showTabCount(TabCaption* tab, u8 id, const QString& name, u8 count)
{
    if (known(id))
        tab->showRuns(name, id == ram::kSourceHdmi3 ? kGreen1 : kWhite,
                      QStringLiteral("(%1)").arg(QString::number(count, 10)), kBlue);
}

void sourceinfo::set_source_pixmap(QLabel* label, u8 id)
{
    if (known(id))
        label->setPixmap(pages::pixmap(pages::plainPicture(QLatin1String(kInputs[id].picture))));
}

void sourceinfo::set_sourceonline_pixmap(QLabel* label, u8 id, u8 online)
{
    if (known(id))
        label->setPixmap(
            pages::pixmap(pages::plainPicture(QLatin1String(online ? kInputs[id].online : kInputs[id].offline))));
}
