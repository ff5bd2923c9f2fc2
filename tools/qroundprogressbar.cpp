#include "tools/qroundprogressbar.h"

#include "app/global.h"

#include <QDialog>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <utility>

QRoundProgressBar* g_qround_bar = boxstate::startValue(g_qround_bar, nullptr);

namespace {

const QColor kBaseColour("#DEE3E7");
const QColor kValueColour("#2F8DED");
const QColor kTextColour("#606266");
const QColor kOutlineColour("#FFFFFF");
constexpr double kRingInner = 0.9;  // the ring's inside, as a part of the width
constexpr double kRingPen = 10.0;
constexpr int kTextPixels = 36;  // the largest the percentage is drawn
constexpr int kSmallestTextPixels = 9;
constexpr double kTextAir = 2.0;  // between the percentage's ink and the ring
const char* const kTextFont = "微软雅黑";
constexpr int kSixteenths = 16;  // Qt's arcs count sixteenths of a degree

}  // namespace

QRoundProgressBar::QRoundProgressBar(QWidget* parent, BarStyle style) : QWidget(parent), barStyle(style) {}

void QRoundProgressBar::setRange(double min, double max)
{
    if (min > max)
        std::swap(min, max);
    minimum = min;
    maximum = max;
    if (value < minimum)
        value = minimum;
    else if (value > maximum)
        value = maximum;
    update();
}

void QRoundProgressBar::setMinimum(double m)
{
    setRange(m, maximum);
}

void QRoundProgressBar::setMaximum(double m)
{
    setRange(minimum, m);
}

void QRoundProgressBar::setValue(double v)
{
    if (v == value)
        return;
    value = v < minimum ? minimum : v > maximum ? maximum : v;
    update();
}

void QRoundProgressBar::setValue(int v)
{
    setValue(static_cast<double>(v));
}

namespace {

template <class T>
void store(QWidget* w, T& member, T v)
{
    if (member == v)
        return;
    member = v;
    w->update();
}

}  // namespace

void QRoundProgressBar::setStartAngle(double angle)
{
    store(this, startAngle, angle);
}

void QRoundProgressBar::setOutlinePenWidth(double width)
{
    store(this, outlinePenWidth, width);
}

void QRoundProgressBar::setDataPenWidth(double width)
{
    store(this, dataPenWidth, width);
}

void QRoundProgressBar::setBarStyle(BarStyle style)
{
    store(this, barStyle, style);
}

void QRoundProgressBar::setDecimals(int d)
{
    if (d >= 0)
        store(this, decimals, d);
}

void QRoundProgressBar::create_qround_bar(QDialog* parent)
{
    if (g_qround_bar)
        return;
    g_qround_bar = new QRoundProgressBar(parent, Ring);
    g_qround_bar->setGeometry(kX, kY, kSize, kSize);
    g_qround_bar->setValue(0);
    g_qround_bar->show();
    KEL_DBG("\n round progress bar created\n");
}

void QRoundProgressBar::del_qround_bar()
{
    g_qround_bar = nullptr;
}

void QRoundProgressBar::para_sync(int fuc)
{
    QRoundProgressBar* bar = g_qround_bar;
    if (!bar)
        return;
    if (fuc > 99) {
        bar->close();
        g_qround_bar = nullptr;
        return;
    }
    bar->setValue(fuc);
    bar->update();
}

// ------------------------------------------------------------------ painting

void QRoundProgressBar::paintEvent(QPaintEvent*)
{
    const double w = width();
    const QRectF base(0, 0, w, w);
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    p.fillRect(base, QBrush(QColor(255, 255, 255, 0)));
    double r = 0;
    if (barStyle == Ring)
        r = kRingInner * w;
    else if (barStyle == Line)
        r = w - outlinePenWidth;
    const QRectF inner((w - r) * 0.5, (w - r) * 0.5, r, r);
    drawBase(p, base, inner);
    if (value != minimum)
        drawValue(p, base, inner, 360.0 / (maximum - minimum) * value);
    drawText(p, base);
    p.end();
}

double QRoundProgressBar::textRadius() const
{
    const double w = width();
    switch (barStyle) {
    case Ring: return kRingInner * w / 2 - kRingPen / 2;  // the white disc inside the pen
    case Line: return w / 2 - outlinePenWidth;            // inside the outline's pen
    case Pie: break;
    }
    return w / 2;
}

QString QRoundProgressBar::percentText() const
{
    const double percent = (value - minimum) / (maximum - minimum) * 100.0;
    return QString::number(percent, 'f', decimals) + QStringLiteral("%");
}

QFont QRoundProgressBar::percentFont() const
{
    // The face asked for may be missing: the one Qt finds instead is measured.
    QFont font(QString::fromUtf8(kTextFont));
    const QString text = percentText();
    const double room = textRadius() - kTextAir;
    for (int px = kTextPixels; px >= kSmallestTextPixels; --px) {
        font.setPixelSize(px);
        const QRectF ink = QFontMetricsF(font).tightBoundingRect(text);
        if (std::hypot(ink.width() / 2, ink.height() / 2) <= room)
            break;
    }
    return font;
}

void QRoundProgressBar::drawBase(QPainter& p, const QRectF& base, const QRectF& inner)
{
    switch (barStyle) {
    case Ring: {
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        path.moveTo(base.center());
        path.addEllipse(inner);
        p.setPen(QPen(kBaseColour, kRingPen, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        p.setBrush(QBrush(Qt::white));
        p.drawPath(path);
        break;
    }
    case Pie:
        p.setPen(QPen(QBrush(kOutlineColour), outlinePenWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        p.setBrush(QBrush(kBaseColour));
        p.drawEllipse(base);
        break;
    case Line: {
        const double half = outlinePenWidth / 2;
        p.setPen(QPen(QBrush(kOutlineColour), outlinePenWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(base.adjusted(half, half, -half, -half));
        break;
    }
    }
}

void QRoundProgressBar::drawValue(QPainter& p, const QRectF& base, const QRectF& inner, double span)
{
    const int start = static_cast<int>(startAngle * kSixteenths);
    const int sweep = static_cast<int>(-(span * kSixteenths));
    switch (barStyle) {
    case Ring: {
        QPen pen(kValueColour, kRingPen);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawArc(inner, start, sweep);
        break;
    }
    case Pie: {
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        path.moveTo(base.center());
        path.arcTo(base, startAngle, -span);
        path.lineTo(base.center());
        p.setPen(QPen(QBrush(kValueColour), dataPenWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        p.setBrush(QBrush(kValueColour));
        p.drawPath(path);
        break;
    }
    case Line:
        p.setPen(QPen(kValueColour, 1));
        p.setBrush(Qt::NoBrush);
        p.drawArc(base, start, sweep);
        break;
    }
}

// Centred by its ink, not by the line's height, so that it stays clear of
// the ring above and below as well as at the sides.
void QRoundProgressBar::drawText(QPainter& p, const QRectF& base)
{
    const QFont font = percentFont();
    const QString text = percentText();
    const QRectF ink = QFontMetricsF(font).tightBoundingRect(text);
    p.setFont(font);
    p.setPen(kTextColour);
    p.drawText(base.center() - ink.center(), text);
}
