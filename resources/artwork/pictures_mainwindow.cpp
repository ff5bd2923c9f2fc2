// Pictures of the main window: the four menu buttons (with words), the four
// tool-bar buttons, the lock and tools buttons.
#include "artwork.h"

#include <QPainterPath>
#include <QtMath>

namespace art {
namespace {

// ---- menu buttons: a symbol over a caption

const QString kMachineStateWords[kLangs] = {QStringLiteral("设备信息"), QStringLiteral("Device"),
                                            QStringLiteral("Устройство"), QStringLiteral("Thiết bị"),
                                            QStringLiteral("設備信息")};
const QString kInputChooseWords[kLangs] = {QStringLiteral("输入选择"), QStringLiteral("Input Source"),
                                           QStringLiteral("Выбор входа"), QStringLiteral("Chọn nguồn"),
                                           QStringLiteral("輸入選擇")};
const QString kCustomModeWords[kLangs] = {QStringLiteral("用户模式"), QStringLiteral("User Mode"),
                                          QStringLiteral("Режимы"), QStringLiteral("Chế độ"),
                                          QStringLiteral("用戶模式")};
const QString kOptionWords[kLangs] = {QStringLiteral("设置"), QStringLiteral("Settings"), QStringLiteral("Настройки"),
                                      QStringLiteral("Cài đặt"), QStringLiteral("設置")};

QSize inputChooseSize(Lang lang);

// The caption font of the four menu pictures of a language: one size for
// all four, the largest in which each fits its picture.
QFont menuCaptionFont(Lang lang)
{
    constexpr qreal kLargest = 13;
    return fittingFontForAll({{kInputChooseWords[lang], inputChooseSize(lang).width()},
                              {kMachineStateWords[lang], 64},
                              {kCustomModeWords[lang], 64},
                              {kOptionWords[lang], 64}},
                             lang, kLargest);
}

void menuPicture(QPainter& p, const QSizeF& s, const QString& words, Lang lang,
                 const std::function<void(QPainter&)>& symbol)
{
    symbolOverCaption(p, s, words, menuCaptionFont(lang), symbol);
}

void deviceSymbol(QPainter& p)
{
    p.setPen(roundPen(kWhite, 7));
    p.setBrush(kButtonBg);
    p.drawRoundedRect(QRectF(8, 12, 84, 58), 8, 8);
    p.drawLine(QPointF(50, 70), QPointF(50, 84));
    p.drawLine(QPointF(30, 88), QPointF(70, 88));
    // "i" in the accent colour
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(50, 27), 6, 6);
    p.drawRoundedRect(QRectF(45, 38, 10, 24), 3, 3);
}

void inputSymbol(QPainter& p)
{
    // arrow entering a video connector
    p.setPen(roundPen(kOrange, 8));
    p.drawLine(QPointF(6, 50), QPointF(40, 50));
    p.drawLine(QPointF(28, 38), QPointF(40, 50));
    p.drawLine(QPointF(28, 62), QPointF(40, 50));
    QPainterPath port;
    port.moveTo(48, 28);
    port.lineTo(96, 28);
    port.lineTo(96, 58);
    port.lineTo(88, 72);
    port.lineTo(56, 72);
    port.lineTo(48, 58);
    port.closeSubpath();
    p.setPen(roundPen(kWhite, 7));
    p.setBrush(kButtonBg);
    p.drawPath(port);
    p.setPen(roundPen(kSoft, 5));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(60 + 8 * i, 42), QPointF(60 + 8 * i, 56));
}

void modeSymbol(QPainter& p)
{
    const QRectF cells[4] = {QRectF(12, 10, 34, 34), QRectF(54, 10, 34, 34), QRectF(12, 52, 34, 34),
                             QRectF(54, 52, 34, 34)};
    for (int i = 0; i < 4; ++i) {
        if (i == 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(kOrange);
        } else {
            p.setPen(roundPen(kWhite, 6));
            p.setBrush(Qt::NoBrush);
        }
        p.drawRoundedRect(cells[i], 7, 7);
    }
}

void gear(QPainter& p, const QColor& color, qreal holeRadius)
{
    QPainterPath g;
    const int teeth = 8;
    const QPointF c(50, 50);
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal a = (i * 360.0 / (teeth * 4) - 5.6) * M_PI / 180.0;
        const qreal r = (i % 4 == 0 || i % 4 == 1) ? 44 : 32;
        const QPointF pt(c.x() + r * qCos(a), c.y() + r * qSin(a));
        if (i == 0)
            g.moveTo(pt);
        else
            g.lineTo(pt);
    }
    g.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, holeRadius, holeRadius);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(g.subtracted(hole));
}

void optionSymbol(QPainter& p)
{
    gear(p, kWhite, 15);
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(50, 50), 8, 8);
}

QSize inputChooseSize(Lang lang)
{
    switch (lang) {
    case EN: return QSize(90, 64);
    case RU:
    case VN: return QSize(96, 76);
    default: return QSize(64, 64);
    }
}

// ---- tool-bar buttons: 24 x 36, a symbol in the middle

void toolSymbol(QPainter& p, const QSizeF& s, const std::function<void(QPainter&)>& symbol)
{
    designBox(p, QRectF(0, (s.height() - s.width()) / 2, s.width(), s.width()));
    symbol(p);
}

void ledPanel(QPainter& p, bool lit)
{
    p.setPen(roundPen(lit ? kWhite : kDim, 7));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(8, 14, 84, 72), 8, 8);
    p.setPen(Qt::NoPen);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) {
            p.setBrush(lit ? ((r + c) % 2 ? kOrange : kWhite) : kDim);
            p.drawEllipse(QPointF(27 + 15.5 * c, 34 + 16 * r), 5.5, 5.5);
        }
    if (!lit) {
        p.setPen(roundPen(kRed, 9));
        p.drawLine(QPointF(10, 90), QPointF(90, 10));
    }
}

void modeCall(QPainter& p, const QColor& color)
{
    // a stack of saved modes with an arrow coming out: load a mode
    p.setPen(roundPen(color, 8));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(10, 12, 48, 76), 6, 6);
    p.drawLine(QPointF(22, 32), QPointF(46, 32));
    p.drawLine(QPointF(22, 50), QPointF(46, 50));
    p.drawLine(QPointF(22, 68), QPointF(46, 68));
    p.drawLine(QPointF(58, 50), QPointF(92, 50));
    p.drawLine(QPointF(78, 36), QPointF(92, 50));
    p.drawLine(QPointF(78, 64), QPointF(92, 50));
}

void modeSave(QPainter& p, const QColor& color)
{
    // a floppy disk
    QPainterPath disk;
    disk.moveTo(12, 12);
    disk.lineTo(72, 12);
    disk.lineTo(88, 28);
    disk.lineTo(88, 88);
    disk.lineTo(12, 88);
    disk.closeSubpath();
    p.setPen(roundPen(color, 8));
    p.setBrush(Qt::NoBrush);
    p.drawPath(disk);
    p.drawRect(QRectF(30, 14, 34, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(QRectF(28, 54, 44, 26), 4, 4);
}

// ---- small buttons

void padlock(QPainter& p, bool locked)
{
    p.setPen(roundPen(locked ? kOrange : kWhite, 11));
    p.setBrush(Qt::NoBrush);
    if (locked)
        p.drawArc(QRectF(28, 8, 44, 56), 0, 180 * 16);
    else
        p.drawArc(QRectF(44, 4, 44, 56), 0, 180 * 16);
    p.drawLine(QPointF(locked ? 28 : 88, 36), QPointF(locked ? 28 : 88, 44));
    if (locked)
        p.drawLine(QPointF(72, 36), QPointF(72, 46));
    p.setPen(Qt::NoPen);
    p.setBrush(locked ? kOrange : kWhite);
    p.drawRoundedRect(QRectF(16, 44, 68, 50), 8, 8);
    p.setBrush(kButtonBg);
    p.drawEllipse(QPointF(50, 64), 7, 7);
    p.drawRect(QRectF(47, 66, 6, 16));
}

void wrench(QPainter& p)
{
    p.save();
    p.translate(50, 50);
    p.rotate(45);
    QPainterPath w;
    w.addRoundedRect(QRectF(-9, -14, 18, 60), 7, 7);
    QPainterPath head;
    head.addEllipse(QPointF(0, -24), 24, 24);
    QPainterPath jaw;
    jaw.addRect(QRectF(-9, -52, 18, 30));
    p.setPen(Qt::NoPen);
    p.setBrush(kWhite);
    p.drawPath(w.united(head).subtracted(jaw));
    p.restore();
}

}  // namespace

void addMainWindowPictures(Catalog& c)
{
    c.push_back(worded("machinestate.png", QSize(64, 64), [](QPainter& p, const QSizeF& s, Lang l) {
        menuPicture(p, s, kMachineStateWords[l], l, deviceSymbol);
    }));
    c.push_back(Picture{"inputchoose.png", Picture::Worded, inputChooseSize, [](QPainter& p, const QSizeF& s, Lang l) {
                            menuPicture(p, s, kInputChooseWords[l], l, inputSymbol);
                        }});
    c.push_back(worded("custommode.png", QSize(64, 64), [](QPainter& p, const QSizeF& s, Lang l) {
        menuPicture(p, s, kCustomModeWords[l], l, modeSymbol);
    }));
    c.push_back(worded("option.png", QSize(64, 64), [](QPainter& p, const QSizeF& s, Lang l) {
        menuPicture(p, s, kOptionWords[l], l, optionSymbol);
    }));

    const QSize tool(24, 36);
    c.push_back(prefixed("closeled.png", tool, [](QPainter& p, const QSizeF& s) {
        toolSymbol(p, s, [](QPainter& q) { ledPanel(q, false); });
    }));
    c.push_back(prefixed("uncloseled.png", tool, [](QPainter& p, const QSizeF& s) {
        toolSymbol(p, s, [](QPainter& q) { ledPanel(q, true); });
    }));
    c.push_back(prefixed("slience.png", tool, [](QPainter& p, const QSizeF& s) {
        toolSymbol(p, s, [](QPainter& q) {
            speaker(q, kDim);
            muteCross(q, kRed);
        });
    }));
    c.push_back(prefixed("unslience.png", tool, [](QPainter& p, const QSizeF& s) {
        toolSymbol(p, s, [](QPainter& q) {
            speaker(q, kWhite);
            soundWaves(q, kOrange);
        });
    }));
    c.push_back(prefixed("uncall.png", tool, [](QPainter& p, const QSizeF& s) {
        toolSymbol(p, s, [](QPainter& q) { modeCall(q, kWhite); });
    }));
    c.push_back(prefixed("call.png", tool, [](QPainter& p, const QSizeF& s) {
        toolSymbol(p, s, [](QPainter& q) { modeCall(q, kOrange); });
    }));
    c.push_back(prefixed("unsave.png", tool, [](QPainter& p, const QSizeF& s) {
        toolSymbol(p, s, [](QPainter& q) { modeSave(q, kWhite); });
    }));
    c.push_back(prefixed("save.png", tool, [](QPainter& p, const QSizeF& s) {
        toolSymbol(p, s, [](QPainter& q) { modeSave(q, kOrange); });
    }));

    const QSize small(16, 16);
    c.push_back(symbol("lock.png", small, [](QPainter& p) { padlock(p, true); }));
    c.push_back(symbol("unlock.png", small, [](QPainter& p) { padlock(p, false); }));
    c.push_back(symbol("tools.png", small, wrench));
    c.push_back(symbol("ip.png", small, [](QPainter& p) { globe(p, kSoft); }));
}

}  // namespace art
