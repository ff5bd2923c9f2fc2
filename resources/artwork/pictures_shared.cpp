// Pictures of the shared widgets: the tip box's check mark and the update
// dialog's icon.
#include "artwork.h"

#include <QPainterPath>

namespace art {
namespace {

void bigCheck(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QRectF(4, 4, 92, 92));
    checkMark(p, kWhite, 11);
}

void upgrade(QPainter& p)
{
    // a chip with an arrow going up into it
    p.setPen(roundPen(kSoft, 5));
    for (int i = 0; i < 4; ++i) {
        const qreal at = 30 + 13.3 * i;
        p.drawLine(QPointF(at, 14), QPointF(at, 22));
        p.drawLine(QPointF(at, 78), QPointF(at, 86));
        p.drawLine(QPointF(14, at), QPointF(22, at));
        p.drawLine(QPointF(78, at), QPointF(86, at));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(22, 22, 56, 56), 8, 8);
    p.setPen(roundPen(kWhite, 8));
    p.drawLine(QPointF(50, 66), QPointF(50, 34));
    QPainterPath head;
    head.moveTo(37, 46);
    head.lineTo(50, 33);
    head.lineTo(63, 46);
    p.setBrush(Qt::NoBrush);
    p.drawPath(head);
}

}  // namespace

void addSharedWidgetPictures(Catalog& c)
{
    c.push_back(symbol("check_180.png", QSize(80, 80), bigCheck));
    c.push_back(symbol("update.png", QSize(64, 64), upgrade));
}

}  // namespace art
