// Pictures of the settings pages and the device information page: the
// limit warning, the tab row's arrows, the sending ports' link jacks and the
// device page's side captions.
#include "artwork.h"

#include <QFontMetricsF>
#include <QPainterPath>

namespace art {
namespace {

void warningSign(QPainter& p)
{
    QPainterPath triangle;
    triangle.moveTo(50, 6);
    triangle.lineTo(96, 90);
    triangle.lineTo(4, 90);
    triangle.closeSubpath();
    p.setPen(roundPen(kOrange, 8));
    p.setBrush(kOrange);
    p.drawPath(triangle);
    p.setPen(Qt::NoPen);
    p.setBrush(kPageBg);
    p.drawRoundedRect(QRectF(43, 30, 14, 36), 5, 5);
    p.drawEllipse(QPointF(50, 77), 7.5, 7.5);
}

void arrowHead(QPainter& p, bool right)
{
    QPolygonF head({QPointF(28, 12), QPointF(80, 50), QPointF(28, 88)});
    if (!right)
        for (QPointF& pt : head)
            pt.setX(100 - pt.x());
    p.setPen(roundPen(kWhite, 6));
    p.setBrush(kWhite);
    p.drawPolygon(head);
}

// An Ethernet jack seen from the front, across the whole picture: green with
// a lit lamp when the port has a link, grey without.
void jack(QPainter& p, const QSizeF& s, bool up)
{
    const QColor color = up ? kGreen : kDim;
    const qreal w = s.width(), h = s.height();
    const qreal pen = w >= 16 ? 1.4 : 1.2;
    QPainterPath shell;
    shell.moveTo(pen / 2, pen / 2);
    shell.lineTo(w - pen / 2, pen / 2);
    shell.lineTo(w - pen / 2, h * 0.72);
    shell.lineTo(w * 0.7, h * 0.72);
    shell.lineTo(w * 0.7, h - pen / 2);
    shell.lineTo(w * 0.3, h - pen / 2);
    shell.lineTo(w * 0.3, h * 0.72);
    shell.lineTo(pen / 2, h * 0.72);
    shell.closeSubpath();
    p.setPen(QPen(color, pen));
    p.setBrush(up ? QColor(0, 214, 91, 60) : Qt::transparent);
    p.drawPath(shell);
    // the contacts
    p.setPen(QPen(color, 1));
    const int contacts = 4;
    for (int i = 0; i < contacts; ++i) {
        const qreal x = w * (0.26 + 0.16 * i);
        p.drawLine(QPointF(x, h * 0.14), QPointF(x, h * 0.36));
    }
}

// ---- the device page's side captions: a narrow column beside a panel,
// its words stacked (Chinese) or turned to read upwards.

struct SideWords {
    const char* name;
    int height;
    QString words[kLangs];
};

const SideWords kSideCaptions[] = {
    {"output_state.png",
     65,
     {QStringLiteral("输出"), QStringLiteral("Output"), QStringLiteral("Выход"), QStringLiteral("Đầu ra"),
      QStringLiteral("輸出")}},
    {"input_state.png",
     55,
     {QStringLiteral("输入"), QStringLiteral("Input"), QStringLiteral("Вход"), QStringLiteral("Đầu vào"),
      QStringLiteral("輸入")}},
    // The Vietnamese page shows the English word: "Phiên bản" cannot be read
    // at 9 pixels or more along the 40-pixel tab.
    {"version_state.png",
     40,
     {QStringLiteral("版本"), QStringLiteral("Version"), QStringLiteral("Версия"), QStringLiteral("Version"),
      QStringLiteral("版本")}},
};
constexpr int kSideWidth = 15;

void sideCaption(QPainter& p, const QSizeF& s, const QString& words, Lang lang)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawRoundedRect(QRectF(0, 0, s.width(), s.height()), 3, 3);
    const QColor ink = kPageBg;
    if (lang == ZH || lang == TW) {
        const int n = static_cast<int>(words.size());
        const qreal cell = qMin(s.height() / n, s.width() + 1);
        const QFont f = wordFont(lang, cell - 2, false);
        const qreal top = (s.height() - cell * n) / 2;
        for (int i = 0; i < n; ++i)
            caption(p, QRectF(0, top + cell * i, s.width(), cell), words.mid(i, 1), f, ink);
        return;
    }
    // Turned a quarter to the left: the words read from the bottom up.
    p.save();
    p.translate(0, s.height());
    p.rotate(-90);
    const QRectF line(2, 0, s.height() - 4, s.width());
    caption(p, line, words, fittingFont(words, lang, line.width(), s.width() - 3), ink);
    p.restore();
}

}  // namespace

void addSettingsPagePictures(Catalog& c)
{
    c.push_back(symbol("warning.png", QSize(16, 16), warningSign));
    c.push_back(symbol("ltri.png", QSize(14, 14), [](QPainter& p) { arrowHead(p, false); }));
    c.push_back(symbol("rtri.png", QSize(14, 14), [](QPainter& p) { arrowHead(p, true); }));
    // The sending-port tabs show their jack at 12 x 10, the device page at 16 x 14.
    c.push_back(plain("online_up.png", QSize(12, 10), [](QPainter& p, const QSizeF& s) { jack(p, s, true); }));
    c.push_back(plain("offline_up.png", QSize(12, 10), [](QPainter& p, const QSizeF& s) { jack(p, s, false); }));
    c.push_back(plain("online.png", QSize(16, 14), [](QPainter& p, const QSizeF& s) { jack(p, s, true); }));
    c.push_back(plain("offline.png", QSize(16, 14), [](QPainter& p, const QSizeF& s) { jack(p, s, false); }));
    for (const SideWords& side : kSideCaptions)
        c.push_back(worded(side.name, QSize(kSideWidth, side.height),
                           [&side](QPainter& p, const QSizeF& s, Lang l) { sideCaption(p, s, side.words[l], l); }));
}

}  // namespace art
