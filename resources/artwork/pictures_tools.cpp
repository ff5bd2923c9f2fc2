// Pictures of the LED-screen tool pages: the sixteen routing patterns of
// quick mapping, drawn from the quick-mapping job's own pattern table, and
// the mapping switch. The port tiles show the sending ports' jack
// (offline.png, with the settings pages' pictures), the scan-file list the
// USB upgrade page's paging arrows.
#include "artwork.h"
#include "fpga/route_patterns.h"

#include <QPainterPath>
#include <QtMath>

namespace art {
namespace {

// ---- routing patterns: a screen of cabinets and the cable through them

constexpr int kPatternRows = 3;
constexpr int kPatternColumns = 4;

void routePattern(QPainter& p, const QSizeF& s, int pattern)
{
    const qreal margin = 1.5;
    const qreal cw = (s.width() - 2 * margin) / kPatternColumns;
    const qreal ch = (s.height() - 2 * margin) / kPatternRows;
    auto centre = [&](const fpga::CabinetCell& c) {
        return QPointF(margin + cw * (c.column + 0.5), margin + ch * (c.row + 0.5));
    };
    // the cabinets
    p.setPen(QPen(kDim, 0.8));
    p.setBrush(kButtonBg);
    for (int r = 0; r < kPatternRows; ++r)
        for (int c = 0; c < kPatternColumns; ++c)
            p.drawRect(QRectF(margin + cw * c, margin + ch * r, cw, ch).adjusted(0.4, 0.4, -0.4, -0.4));

    // the cable, card after card; a jump back to the start of the next line
    // (the patterns that run every line the same way) is drawn dashed
    const int cards = kPatternRows * kPatternColumns;
    const QPen cable = roundPen(kOrange, 1.3);
    QPen jump(kSoft, 0.7, Qt::DashLine, Qt::RoundCap);
    for (int place = 1; place < cards; ++place) {
        const fpga::CabinetCell a = fpga::routeCell(pattern, kPatternRows, kPatternColumns, place - 1);
        const fpga::CabinetCell b = fpga::routeCell(pattern, kPatternRows, kPatternColumns, place);
        const bool adjacent = qAbs(a.row - b.row) + qAbs(a.column - b.column) == 1;
        p.setPen(adjacent ? cable : jump);
        p.drawLine(centre(a), centre(b));
    }
    // where the cable comes in, and its last card
    const QPointF first = centre(fpga::routeCell(pattern, kPatternRows, kPatternColumns, 0));
    const fpga::CabinetCell beforeLast = fpga::routeCell(pattern, kPatternRows, kPatternColumns, cards - 2);
    const fpga::CabinetCell lastCell = fpga::routeCell(pattern, kPatternRows, kPatternColumns, cards - 1);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(first, 2.4, 2.4);
    // an arrow head on the last stretch
    const QPointF tip = centre(lastCell), from = centre(beforeLast);
    const qreal angle = qAtan2(tip.y() - from.y(), tip.x() - from.x());
    const qreal len = 3.6, spread = 0.6;
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip - QPointF(len * qCos(angle - spread), len * qSin(angle - spread)));
    head.lineTo(tip - QPointF(len * qCos(angle + spread), len * qSin(angle + spread)));
    head.closeSubpath();
    p.setBrush(kOrange);
    p.drawPath(head);
}

// ---- the mapping switch

void toggle(QPainter& p, const QSizeF& s, bool on)
{
    const QRectF track(1, 2, s.width() - 2, s.height() - 4);
    const qreal r = track.height() / 2;
    p.setPen(QPen(on ? kBlue.lighter(120) : kSoft, 1));
    p.setBrush(on ? kBlue : kDim);
    p.drawRoundedRect(track, r, r);
    const qreal d = track.height() - 4;
    const qreal x = on ? track.right() - 2 - d : track.left() + 2;
    p.setPen(Qt::NoPen);
    p.setBrush(kWhite);
    p.drawEllipse(QRectF(x, track.top() + 2, d, d));
}

}  // namespace

void addToolPictures(Catalog& c)
{
    // Shown at 40 x 25 in the chooser and at 30 x 20 on the step-3 button.
    for (int n = 1; n <= fpga::kRoutePatterns; ++n)
        c.push_back(plain(QStringLiteral("line%1.png").arg(n), QSize(40, 25),
                          [n](QPainter& p, const QSizeF& s) { routePattern(p, s, n); }));
    c.push_back(plain("button_on.png", QSize(40, 20), [](QPainter& p, const QSizeF& s) { toggle(p, s, true); }));
    c.push_back(plain("button_off.png", QSize(40, 20), [](QPainter& p, const QSizeF& s) { toggle(p, s, false); }));
}

}  // namespace art
