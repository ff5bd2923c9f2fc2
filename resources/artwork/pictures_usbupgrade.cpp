// The USB upgrade page's pictures: the paging arrows of its package list
// (and of the smart-mapping page's scan-file list), up for the page before,
// down for the next.
#include "artwork.h"

#include <QPainterPath>

namespace art {
namespace {

void pageArrow(QPainter& p, bool down)
{
    QPainterPath t;
    if (down) {
        t.moveTo(15, 32);
        t.lineTo(85, 32);
        t.lineTo(50, 74);
    } else {
        t.moveTo(15, 68);
        t.lineTo(85, 68);
        t.lineTo(50, 26);
    }
    t.closeSubpath();
    p.setPen(QPen(kWhite, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kWhite);
    p.drawPath(t);
}

}  // namespace

void addUsbUpgradePictures(Catalog& c)
{
    c.push_back(symbol("previous.png", QSize(15, 20), [](QPainter& p) { pageArrow(p, false); }));
    c.push_back(symbol("next.png", QSize(15, 20), [](QPainter& p) { pageArrow(p, true); }));
}

}  // namespace art
