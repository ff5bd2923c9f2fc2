// Pictures of the main window's user-mode bar: the saved and empty slot
// symbols, and the pointer from the bar to the tool bar.
#include "artwork.h"

#include <QPainterPath>

namespace art {
namespace {

// A small screen with two windows on it: the slot holds a saved mode.
void savedMode(QPainter& p)
{
    p.setPen(roundPen(kWhite, 9));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(8, 14, 84, 60), 8, 8);
    p.drawLine(QPointF(50, 74), QPointF(50, 88));
    p.drawLine(QPointF(30, 90), QPointF(70, 90));
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawRect(QRectF(22, 28, 30, 32));
    p.setBrush(kBlue);
    p.drawRect(QRectF(56, 28, 22, 32));
}

// The same screen outlined in dashes, nothing on it: the slot is empty.
void emptyMode(QPainter& p)
{
    QPen pen = roundPen(kWhite, 8);
    pen.setStyle(Qt::DashLine);
    pen.setDashPattern({1.5, 1.6});
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(8, 14, 84, 60), 8, 8);
    p.setPen(roundPen(kWhite, 9));
    p.drawLine(QPointF(40, 44), QPointF(60, 44));
    p.drawLine(QPointF(50, 34), QPointF(50, 54));
}

}  // namespace

void addModeBarPictures(Catalog& c)
{
    c.push_back(symbol("mode_exist.png", QSize(16, 16), savedMode));
    c.push_back(symbol("mode_blank.png", QSize(16, 16), emptyMode));
    // The white bar's tail, pointing right at the call and save buttons.
    c.push_back(plain("pointer.png", QSize(9, 12), [](QPainter& p, const QSizeF& s) {
        QPainterPath tail;
        tail.moveTo(0, 0);
        tail.lineTo(s.width() - 0.5, s.height() / 2);
        tail.lineTo(0, s.height());
        tail.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(kWhite);
        p.drawPath(tail);
        p.setPen(QPen(QColor(128, 128, 128), 1));
        p.drawLine(QPointF(0, 0.5), QPointF(s.width() - 0.5, s.height() / 2));
        p.drawLine(QPointF(s.width() - 0.5, s.height() / 2), QPointF(0, s.height() - 0.5));
    }));
}

}  // namespace art
