#include "screens/setup/source_names.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "screens/page.h"
#include "screens/setup/alias.h"
#include "screens/setup/sourceinfo.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>

namespace sourcenames {

namespace {

constexpr int kTabNamePixels = 9;
constexpr int kTabNameMargin = 16;

}  // namespace

QString alias(const char* list, int id)
{
    ALIAS_PARA entry;
    if (get_json_alias_para(&entry, list, id) != 1)
        return QString();
    return QString::fromStdString(entry.name);
}

QString elided(const QString& text, const QFont& font, int width)
{
    return QFontMetrics(font).elidedText(text, Qt::ElideRight, width, Qt::TextShowMnemonic);
}

int listedCrops(u8 source)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    int n = 0;
    while (store && n < ram::kCrops && store->KelGetCropID(source, n + 1) != 0)
        ++n;
    return n;
}

void fillSourceTabs(TabCaption* const names[ram::kSources], QLabel* const pictures[ram::kSources])
{
    for (u8 p = 0; p < ram::kSources; ++p) {
        const u8 s = sourceinfo::get_source_id_by_listseq(p);
        sourceinfo::showTabName(names[p], s);
        sourceinfo::set_source_pixmap(pictures[p], s);
    }
}

void labelSourceTabs(TabCaption* const tabs[ram::kSources], const u8 entries[ram::kSources])
{
    QFont font;
    font.setPixelSize(kTabNamePixels);
    for (u8 p = 0; p < ram::kSources; ++p) {
        const u8 s = sourceinfo::get_source_id_by_listseq(p);
        QString name = alias("source", s);
        name = name.isEmpty() ? sourceinfo::get_source_name_by_listseq(p)
                              : elided(name, font, tabs[p]->width() - kTabNameMargin);
        sourceinfo::showTabCount(tabs[p], s, name, entries[s]);
    }
}

QString cropName(const QString& sourceName, int record, u16 key, const QFont& font, int width)
{
    const QString name = alias("crop", record);
    if (!name.isEmpty())
        return elided(name, font, width);
    return sourceName + QStringLiteral("_crop%1").arg(ram::cropNumber(key));
}

QString inputTiming(u8 source)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    const SOURCE_STATUS* s = store ? ram::sourceStatus(store->ram_para, source) : nullptr;
    if (!s || s->width == 0 || s->height == 0 || s->rate == 0)
        return pages::noSignalText();
    return QStringLiteral("%1x%2@%3Hz").arg(s->width).arg(s->height).arg(s->rate);
}

}  // namespace sourcenames
