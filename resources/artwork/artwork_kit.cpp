#include "artwork.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QtMath>
#include <cmath>

namespace art {

const char* prefix(Lang lang)
{
    static const char* const kPrefixes[kLangs] = {"", "en_", "ru_", "vn_", "tn_"};
    return kPrefixes[lang];
}

const QColor kPageBg(16, 16, 28);
const QColor kButtonBg(33, 36, 53);
const QColor kWhite(255, 255, 255);
const QColor kSoft(184, 190, 216);
const QColor kDim(120, 124, 140);
const QColor kOrange(255, 171, 84);
const QColor kBlue(71, 119, 255);
const QColor kGreen(0, 214, 91);
const QColor kRed(255, 90, 90);

namespace {

Picture oneDrawing(const QString& name, Picture::Kind kind, QSize size,
                   std::function<void(QPainter&, const QSizeF&)> draw)
{
    return Picture{name, kind, [size](Lang) { return size; },
                   [draw](QPainter& p, const QSizeF& s, Lang) { draw(p, s); }};
}

}  // namespace

Picture plain(const QString& name, QSize size, std::function<void(QPainter&, const QSizeF&)> draw)
{
    return oneDrawing(name, Picture::Plain, size, std::move(draw));
}

Picture symbol(const QString& name, QSize size, std::function<void(QPainter&)> draw)
{
    return plain(name, size, [draw = std::move(draw)](QPainter& p, const QSizeF& s) {
        designBox(p, QRectF(QPointF(0, 0), s));
        draw(p);
    });
}

Picture prefixed(const QString& name, QSize size, std::function<void(QPainter&, const QSizeF&)> draw)
{
    return oneDrawing(name, Picture::Prefixed, size, std::move(draw));
}

Picture worded(const QString& name, QSize size, std::function<void(QPainter&, const QSizeF&, Lang)> draw)
{
    return Picture{name, Picture::Worded, [size](Lang) { return size; }, std::move(draw)};
}

QFont wordFont(Lang lang, qreal pixelSize, bool bold, bool condensed)
{
    QFont f(lang == ZH || lang == TW ? QStringLiteral("WenQuanYi Micro Hei") : QStringLiteral("DejaVu Sans"));
    f.setPixelSize(qMax(1, qRound(pixelSize)));
    f.setBold(bold);
    if (condensed)
        f.setStretch(QFont::Condensed);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

QFont fittingFont(const QString& text, Lang lang, qreal width, qreal pixelSize)
{
    QFont f;
    for (qreal px = qMax<qreal>(pixelSize, kSmallestPixels); px >= kSmallestPixels; px -= 1) {
        for (bool condensed : {false, true}) {
            f = wordFont(lang, px, true, condensed);
            if (QFontMetricsF(f).horizontalAdvance(text) <= width)
                return f;
        }
    }
    return f;
}

QFont fittingFontForAll(const std::vector<std::pair<QString, qreal>>& captions, Lang lang, qreal pixelSize)
{
    QFont chosen = wordFont(lang, pixelSize);
    for (const auto& [words, width] : captions) {
        const QFont f = fittingFont(words, lang, width, pixelSize);
        const bool narrower = f.stretch() == QFont::Condensed && chosen.stretch() != QFont::Condensed;
        if (f.pixelSize() < chosen.pixelSize() || (f.pixelSize() == chosen.pixelSize() && narrower))
            chosen = f;
    }
    return chosen;
}

namespace {

std::function<void(const DrawnCaption&)>& captionWatcher()
{
    static std::function<void(const DrawnCaption&)> watcher;
    return watcher;
}

}  // namespace

void setCaptionWatcher(std::function<void(const DrawnCaption&)> watcher)
{
    captionWatcher() = std::move(watcher);
}

void caption(QPainter& p, const QRectF& box, const QString& text, const QFont& f, const QColor& color)
{
    if (captionWatcher()) {
        // A turn keeps the size; a design box's scale enlarges font and box alike.
        const qreal scale = std::sqrt(std::abs(p.combinedTransform().determinant()));
        captionWatcher()({text, f, box, scale});
    }
    p.save();
    p.setFont(f);
    p.setPen(color);
    p.drawText(box, Qt::AlignCenter, text);
    p.restore();
}

QPen roundPen(const QColor& color, qreal width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void designBox(QPainter& p, const QRectF& area)
{
    const qreal side = qMin(area.width(), area.height());
    p.translate(area.center().x() - side / 2, area.center().y() - side / 2);
    p.scale(side / 100.0, side / 100.0);
}

void symbolOverCaption(QPainter& p, const QSizeF& s, const QString& words, const QFont& font,
                       const std::function<void(QPainter&)>& symbol)
{
    constexpr qreal kCaptionH = 16;
    const QRectF symbolArea(0, 1, s.width(), s.height() - kCaptionH - 3);
    p.save();
    designBox(p, symbolArea);
    symbol(p);
    p.restore();
    caption(p, QRectF(0, s.height() - kCaptionH - 1, s.width(), kCaptionH), words, font);
}

void speaker(QPainter& p, const QColor& color)
{
    QPainterPath body;
    body.moveTo(10, 36);
    body.lineTo(30, 36);
    body.lineTo(54, 14);
    body.lineTo(54, 86);
    body.lineTo(30, 64);
    body.lineTo(10, 64);
    body.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(body);
}

void soundWaves(QPainter& p, const QColor& color)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(color, 9));
    p.drawArc(QRectF(44, 30, 30, 40), -50 * 16, 100 * 16);
    p.drawArc(QRectF(42, 12, 48, 76), -55 * 16, 110 * 16);
}

void muteCross(QPainter& p, const QColor& color)
{
    p.setPen(roundPen(color, 10));
    p.drawLine(QPointF(66, 36), QPointF(92, 64));
    p.drawLine(QPointF(92, 36), QPointF(66, 64));
}

void globe(QPainter& p, const QColor& color)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(color, 9));
    p.drawEllipse(QRectF(8, 8, 84, 84));
    p.drawEllipse(QRectF(31, 8, 38, 84));
    p.drawLine(QPointF(10, 50), QPointF(90, 50));
    p.drawLine(QPointF(50, 8), QPointF(50, 92));
}

void checkMark(QPainter& p, const QColor& color, qreal width)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(color, width));
    QPainterPath tick;
    tick.moveTo(24, 52);
    tick.lineTo(42, 70);
    tick.lineTo(76, 32);
    p.drawPath(tick);
}

}  // namespace art
