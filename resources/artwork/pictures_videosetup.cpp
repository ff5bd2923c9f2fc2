// Pictures of the video set-up pages: the crop list's add button and the
// window layout page's four mirror modes, each lit (the window's mode) and
// dark.
#include "artwork.h"

namespace art {
namespace {

// ---- the add button: a plus in a ring

void addButton(QPainter& p)
{
    p.setPen(roundPen(kSoft, 7));
    p.setBrush(kButtonBg);
    p.drawEllipse(QRectF(6, 6, 88, 88));
    p.setPen(roundPen(kOrange, 12));
    p.drawLine(QPointF(50, 26), QPointF(50, 74));
    p.drawLine(QPointF(26, 50), QPointF(74, 50));
}

// ---- mirror modes: a screen with an "F" shape, as the window shows its
// picture: 0 as it is, 1 mirrored left to right, 2 upside down, 3 both.
// The mirror axis is drawn dashed.

constexpr int kMirrorH = 1;
constexpr int kMirrorV = 2;

void mirrorMode(QPainter& p, int mode, bool lit)
{
    const QColor frame = lit ? kWhite : kDim;
    const QColor shape = lit ? kOrange : kDim;
    p.setPen(roundPen(frame, 5));
    p.setBrush(lit ? kButtonBg : Qt::transparent);
    p.drawRoundedRect(QRectF(6, 14, 88, 72), 8, 8);

    p.save();
    p.translate(50, 50);
    p.scale((mode & kMirrorH) ? -1 : 1, (mode & kMirrorV) ? -1 : 1);
    p.setPen(Qt::NoPen);
    p.setBrush(shape);
    // the "F": a stem and two arms to the right, the upper one longer
    p.drawRect(QRectF(-18, -26, 10, 52));
    p.drawRect(QRectF(-18, -26, 36, 10));
    p.drawRect(QRectF(-18, -5, 26, 9));
    p.restore();

    QPen axis = roundPen(frame, 3);
    axis.setDashPattern({2, 3});
    p.setPen(axis);
    if (mode & kMirrorH)
        p.drawLine(QPointF(50, 20), QPointF(50, 80));
    if (mode & kMirrorV)
        p.drawLine(QPointF(12, 50), QPointF(88, 50));
}

}  // namespace

void addVideoSetupPictures(Catalog& c)
{
    c.push_back(symbol("add.png", QSize(20, 20), addButton));
    // Shown at 32 x 32, scaled.
    for (int mode = 0; mode < 4; ++mode) {
        for (bool lit : {true, false}) {
            const QString name = QStringLiteral("mirror%1_%2.png").arg(mode + 1).arg(lit ? "on" : "off");
            c.push_back(symbol(name, QSize(64, 64), [mode, lit](QPainter& p) { mirrorMode(p, mode, lit); }));
        }
    }
}

}  // namespace art
