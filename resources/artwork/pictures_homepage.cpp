// Pictures of the home page: the status icons of its top rows and the marks
// of its window tiles.
#include "artwork.h"

#include <QPainterPath>
#include <QtMath>

namespace art {
namespace {

void ledPanelIcon(QPainter& p)
{
    p.setPen(roundPen(kWhite, 8));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(6, 14, 88, 72), 8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            p.drawEllipse(QPointF(28 + 22 * c, 38 + 24 * r), 8, 8);
}

void sun(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(50, 50), 20, 20);
    p.setPen(roundPen(kOrange, 9));
    for (int i = 0; i < 8; ++i) {
        const qreal a = i * M_PI / 4;
        p.drawLine(QPointF(50 + 32 * qCos(a), 50 + 32 * qSin(a)), QPointF(50 + 44 * qCos(a), 50 + 44 * qSin(a)));
    }
}

void halfDisc(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kWhite);
    p.drawPie(QRectF(8, 8, 84, 84), 90 * 16, 180 * 16);
    p.setPen(roundPen(kWhite, 8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(8, 8, 84, 84));
}

void menuLines(QPainter& p)
{
    p.setPen(roundPen(kWhite, 11));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(16, 24 + 26 * i), QPointF(84, 24 + 26 * i));
}

void currentMark(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kWhite);
    p.drawEllipse(QRectF(2, 2, 96, 96));
    checkMark(p, QColor(0, 160, 70), 16);
}

void snowflake(QPainter& p)
{
    p.setPen(roundPen(kWhite, 8));
    for (int i = 0; i < 3; ++i) {
        p.save();
        p.translate(50, 50);
        p.rotate(60 * i);
        p.drawLine(QPointF(0, -42), QPointF(0, 42));
        for (int end : {-1, 1}) {
            p.drawLine(QPointF(0, 26 * end), QPointF(-12, 38 * end));
            p.drawLine(QPointF(0, 26 * end), QPointF(12, 38 * end));
        }
        p.restore();
    }
}

}  // namespace

void addHomePagePictures(Catalog& c)
{
    const QSize icon(16, 16);
    c.push_back(symbol("LED.png", icon, ledPanelIcon));
    c.push_back(symbol("bright.png", icon, sun));
    c.push_back(symbol("contrast.png", icon, halfDisc));
    c.push_back(symbol("volume_open.png", icon, [](QPainter& p) {
        speaker(p, kWhite);
        soundWaves(p, kOrange);
    }));
    c.push_back(symbol("volume_close.png", icon, [](QPainter& p) {
        speaker(p, kDim);
        muteCross(p, kRed);
    }));
    c.push_back(symbol("menu_status.png", QSize(20, 20), menuLines));
    c.push_back(symbol("osd_yes.png", QSize(12, 12), currentMark));
    c.push_back(symbol("freeze.png", icon, snowflake));
}

}  // namespace art
