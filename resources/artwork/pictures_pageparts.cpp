// Pictures that many pages share: the two key hints at the foot of a page,
// the state dots of lists, and the inputs' connector badges.
#include "artwork.h"

#include <QPainterPath>

namespace art {
namespace {

// ---- key hints: a key cap, then what the key does

QRectF keyCap(QPainter& p, const QRectF& cap, const QString& label)
{
    p.setPen(QPen(kSoft, 1));
    p.setBrush(kButtonBg);
    p.drawRoundedRect(cap.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    caption(p, cap, label, fittingFont(label, EN, cap.width() - 4, 9), kWhite);
    return cap;
}

void enterArrow(QPainter& p, const QRectF& area)
{
    // down, then left, with the head at the left
    const qreal right = area.right() - 2, mid = area.center().y() + 2, left = area.left() + 3;
    p.setPen(roundPen(kOrange, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(right, area.top() + 3), QPointF(right, mid), QPointF(left, mid)}));
    p.drawPolyline(QPolygonF({QPointF(left + 4, mid - 4), QPointF(left, mid), QPointF(left + 4, mid + 4)}));
}

void returnArrow(QPainter& p, const QRectF& area)
{
    // a plain arrow to the left
    const qreal y = area.center().y(), left = area.left() + 3, right = area.right() - 2;
    p.setPen(roundPen(kOrange, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(left, y), QPointF(right, y));
    p.drawPolyline(QPolygonF({QPointF(left + 5, y - 5), QPointF(left, y), QPointF(left + 5, y + 5)}));
}

void okHint(QPainter& p, const QSizeF& s)
{
    const QRectF cap = keyCap(p, QRectF(1, 1, s.width() - 22, s.height() - 2), QStringLiteral("OK"));
    enterArrow(p, QRectF(cap.right() + 2, 0, s.width() - cap.right() - 2, s.height()));
}

void backHint(QPainter& p, const QSizeF& s)
{
    const QRectF cap = keyCap(p, QRectF(1, 1, s.width() - 22, s.height() - 2), QStringLiteral("BACK"));
    returnArrow(p, QRectF(cap.right() + 2, 0, s.width() - cap.right() - 2, s.height()));
}

// ---- state dots

void dot(QPainter& p, const QColor& fill)
{
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(QRectF(6, 6, 88, 88));
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawEllipse(QRectF(24, 18, 34, 26));
}

// ---- connector badges, drawn across the whole picture

void hdmiConnector(QPainter& p, const QSizeF& s, const QColor& color, bool version20)
{
    const qreal w = s.width(), h = s.height();
    QPainterPath shell;
    shell.moveTo(1, 1);
    shell.lineTo(w - 1, 1);
    shell.lineTo(w - 1, h * 0.55);
    shell.lineTo(w - h * 0.45 - 1, h - 1);
    shell.lineTo(h * 0.45 + 1, h - 1);
    shell.lineTo(1, h * 0.55);
    shell.closeSubpath();
    p.setPen(QPen(color, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shell);
    // the pin tongue
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRect(QRectF(h * 0.6, h * 0.32, w - 2 * h * 0.6, h * 0.22));
    if (version20) {
        // the HDMI 2.0 input's mark: two bars at the ends of the tongue
        p.drawRect(QRectF(3, h * 0.25, 2, h * 0.35));
        p.drawRect(QRectF(w - 5, h * 0.25, 2, h * 0.35));
    }
}

void dviConnector(QPainter& p, const QSizeF& s, const QColor& color)
{
    const qreal w = s.width(), h = s.height();
    QPainterPath shell;
    shell.moveTo(1, 1);
    shell.lineTo(w - 1, 1);
    shell.lineTo(w - 4, h - 1);
    shell.lineTo(4, h - 1);
    shell.closeSubpath();
    p.setPen(QPen(color, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shell);
    // three rows of pins and the flat blade at the right
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 8; ++c)
            p.drawRect(QRectF(6 + 3.8 * c, 3.5 + 3.3 * r, 1.8, 1.8));
    p.drawRect(QRectF(w - 12, h / 2 - 1, 7, 2));
}

}  // namespace

void addPagePartPictures(Catalog& c)
{
    c.push_back(plain("OK_Enter.png", QSize(51, 17), okHint));
    c.push_back(plain("back_return.png", QSize(56, 17), backHint));
    // Shown at 7 x 7, scaled.
    c.push_back(symbol("state_on.png", QSize(14, 14), [](QPainter& p) { dot(p, kGreen); }));
    c.push_back(symbol("state_off.png", QSize(14, 14), [](QPainter& p) { dot(p, kDim); }));
}

void addSourcePictures(Catalog& c)
{
    // Shown scaled to 25 x 8 and 40 x 12: plain, online (green) and offline
    // (grey); the DVI and HDMI 2.0 inputs show their plain picture offline.
    const QSize badge(50, 16);
    auto hdmi = [badge](const char* name, const QColor& color, bool version20) {
        return plain(name, badge,
                     [color, version20](QPainter& p, const QSizeF& s) { hdmiConnector(p, s, color, version20); });
    };
    auto dvi = [badge](const char* name, const QColor& color) {
        return plain(name, badge, [color](QPainter& p, const QSizeF& s) { dviConnector(p, s, color); });
    };
    c.push_back(hdmi("HDMI13.png", kSoft, false));
    c.push_back(hdmi("HDMI13_lv.png", kGreen, false));
    c.push_back(hdmi("HDMI13_1.png", kDim, false));
    c.push_back(hdmi("HDMI20.png", kSoft, true));
    c.push_back(hdmi("HDMI20_lv.png", kGreen, true));
    c.push_back(dvi("DVI.png", kSoft));
    c.push_back(dvi("dvilv.png", kGreen));
}

}  // namespace art
