// Pictures of the test-pattern page: each of the video chip's eight
// patterns in miniature, as the LED screen shows it.
#include "artwork.h"

namespace art {
namespace {

constexpr int kSide = 50;
constexpr qreal kLines = 8;  // lines across a line pattern

void solid(QPainter& p, const QSizeF& s, const QColor& c)
{
    p.fillRect(QRectF(QPointF(0, 0), s), c);
}

// The classic eight bars, from white to black.
void colourBars(QPainter& p, const QSizeF& s)
{
    static const QColor kBars[] = {Qt::white,   Qt::yellow, Qt::cyan, Qt::green,
                                   Qt::magenta, Qt::red,    Qt::blue, Qt::black};
    constexpr int kCount = sizeof kBars / sizeof *kBars;
    const qreal w = s.width() / kCount;
    for (int i = 0; i < kCount; ++i)
        p.fillRect(QRectF(i * w, 0, w + 0.5, s.height()), kBars[i]);
}

// White lines on black, across (`vertical`: lines running top to bottom).
void lines(QPainter& p, const QSizeF& s, bool vertical)
{
    solid(p, s, Qt::black);
    const qreal along = vertical ? s.width() : s.height();
    const qreal step = along / kLines;
    for (int i = 0; i < kLines; ++i) {
        const qreal at = step * (i + 0.5) - 1;
        p.fillRect(vertical ? QRectF(at, 0, 2, s.height()) : QRectF(0, at, s.width(), 2), Qt::white);
    }
}

// A frame so that the black and white patterns stand out from the page.
void framed(QPainter& p, const QSizeF& s, const std::function<void(QPainter&, const QSizeF&)>& pattern)
{
    pattern(p, s);
    p.setPen(QPen(kDim, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, s.width() - 1, s.height() - 1));
}

Picture pattern(int n, std::function<void(QPainter&, const QSizeF&)> draw)
{
    return plain(QStringLiteral("img_test%1.png").arg(n), QSize(kSide, kSide),
                 [draw](QPainter& p, const QSizeF& s) { framed(p, s, draw); });
}

}  // namespace

void addTestPatternPictures(Catalog& c)
{
    c.push_back(pattern(1, [](QPainter& p, const QSizeF& s) { solid(p, s, Qt::red); }));
    c.push_back(pattern(2, [](QPainter& p, const QSizeF& s) { solid(p, s, Qt::green); }));
    c.push_back(pattern(3, [](QPainter& p, const QSizeF& s) { solid(p, s, Qt::blue); }));
    c.push_back(pattern(4, [](QPainter& p, const QSizeF& s) { solid(p, s, Qt::white); }));
    c.push_back(pattern(5, [](QPainter& p, const QSizeF& s) { solid(p, s, Qt::black); }));
    c.push_back(pattern(6, colourBars));
    c.push_back(pattern(7, [](QPainter& p, const QSizeF& s) { lines(p, s, true); }));
    c.push_back(pattern(8, [](QPainter& p, const QSizeF& s) { lines(p, s, false); }));
}

}  // namespace art
