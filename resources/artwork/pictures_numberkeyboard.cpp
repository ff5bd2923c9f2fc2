// Pictures of the number keyboard: the backspace key.
#include "artwork.h"

#include <QPainterPath>

namespace art {
namespace {

// A tag pointing left with a cross in it, dark on the white key.
void backspace(QPainter& p)
{
    QPainterPath tag;
    tag.moveTo(32, 18);
    tag.lineTo(90, 18);
    tag.lineTo(90, 82);
    tag.lineTo(32, 82);
    tag.lineTo(6, 50);
    tag.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kButtonBg);
    p.drawPath(tag);
    p.setPen(roundPen(kWhite, 8));
    p.drawLine(QPointF(44, 36), QPointF(72, 64));
    p.drawLine(QPointF(72, 36), QPointF(44, 64));
}

}  // namespace

void addNumberKeyboardPictures(Catalog& c)
{
    c.push_back(symbol("delete.png", QSize(20, 20), backspace));
}

}  // namespace art
