// Pictures of the settings menu: its eight entries, a symbol over a caption
// in each language.
#include "artwork.h"

#include <QPainterPath>

namespace art {
namespace {

// The buttons are 70 pixels wide inside a 2-pixel border: a picture never
// gets wider than this, whatever icon size the page asks for (Qt draws an
// icon at its own size when that is smaller).
constexpr int kWidest = 62;
constexpr int kHeight = 60;
constexpr qreal kLargestCaption = 12;

struct Entry {
    const char* name;
    int width[kLangs];  // the icon width the page asks for, by language
    QString words[kLangs];
    void (*symbol)(QPainter&);
};

QSize pictureSize(const Entry& e, Lang lang)
{
    return QSize(qMin(e.width[lang], kWidest), kHeight);
}

// ---- the symbols, in the 100 x 100 design box

void outputSymbol(QPainter& p)
{
    // an LED screen with an arrow leaving it
    p.setPen(roundPen(kWhite, 7));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(6, 16, 62, 52), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(kSoft);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            p.drawEllipse(QPointF(19 + 12 * c, 30 + 12 * r), 3.5, 3.5);
    p.setPen(roundPen(kOrange, 8));
    p.drawLine(QPointF(60, 84), QPointF(92, 84));
    p.drawLine(QPointF(80, 72), QPointF(92, 84));
    p.drawLine(QPointF(80, 96), QPointF(92, 84));
}

void cropSymbol(QPainter& p)
{
    // a picture with a crop frame inside it
    p.setPen(roundPen(kSoft, 6));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(6, 10, 88, 72), 6, 6);
    QPen dashed = roundPen(kOrange, 6);
    dashed.setDashPattern({2, 2});
    p.setPen(dashed);
    p.drawRect(QRectF(28, 28, 44, 36));
    p.setPen(roundPen(kOrange, 8));
    p.drawPolyline(QPolygonF({QPointF(20, 36), QPointF(20, 20), QPointF(36, 20)}));
    p.drawPolyline(QPolygonF({QPointF(64, 72), QPointF(80, 72), QPointF(80, 56)}));
}

void layoutSymbol(QPainter& p)
{
    // a screen holding three windows
    p.setPen(roundPen(kWhite, 6));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(4, 10, 92, 76), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawRoundedRect(QRectF(14, 20, 40, 56), 4, 4);
    p.setBrush(kSoft);
    p.drawRoundedRect(QRectF(60, 20, 26, 24), 4, 4);
    p.drawRoundedRect(QRectF(60, 52, 26, 24), 4, 4);
}

void linkSymbol(QPainter& p)
{
    // a hub linked to three stations
    const QPointF hub(50, 44);
    const QPointF ends[3] = {QPointF(14, 84), QPointF(86, 84), QPointF(50, 8)};
    p.setPen(roundPen(kSoft, 6));
    for (const QPointF& e : ends)
        p.drawLine(hub, e);
    p.setPen(Qt::NoPen);
    p.setBrush(kWhite);
    for (const QPointF& e : ends)
        p.drawEllipse(e, 10, 10);
    p.setBrush(kOrange);
    p.drawEllipse(hub, 16, 16);
}

void qualitySymbol(QPainter& p)
{
    // three overlapping colour discs
    p.setPen(Qt::NoPen);
    p.setCompositionMode(QPainter::CompositionMode_Plus);
    p.setBrush(QColor(230, 60, 60));
    p.drawEllipse(QPointF(36, 38), 26, 26);
    p.setBrush(QColor(60, 200, 80));
    p.drawEllipse(QPointF(64, 38), 26, 26);
    p.setBrush(QColor(70, 110, 255));
    p.drawEllipse(QPointF(50, 62), 26, 26);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void testChartSymbol(QPainter& p)
{
    // colour bars in a frame
    const QColor bars[6] = {kWhite,
                            QColor(240, 220, 40),
                            QColor(40, 210, 220),
                            QColor(60, 200, 80),
                            QColor(220, 60, 200),
                            QColor(230, 60, 60)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        p.setBrush(bars[i]);
        p.drawRect(QRectF(10 + 13.3 * i, 14, 13.4, 60));
    }
    p.setBrush(kBlue);
    p.drawRect(QRectF(10, 74, 80, 12));
    p.setPen(roundPen(kSoft, 4));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(10, 14, 80, 72));
}

void mappingSymbol(QPainter& p)
{
    // receiving cards in a grid, walked by the cable in a snake
    p.setPen(Qt::NoPen);
    p.setBrush(kSoft);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            p.drawRoundedRect(QRectF(8 + 30 * c, 8 + 30 * r, 24, 24), 3, 3);
    QPainterPath snake;
    snake.moveTo(20, 20);
    snake.lineTo(80, 20);
    snake.lineTo(80, 50);
    snake.lineTo(20, 50);
    snake.lineTo(20, 80);
    snake.lineTo(80, 80);
    p.setPen(roundPen(kOrange, 7));
    p.setBrush(Qt::NoBrush);
    p.drawPath(snake);
}

void advancedSymbol(QPainter& p)
{
    // three sliders
    const qreal knobs[3] = {30, 68, 46};
    for (int i = 0; i < 3; ++i) {
        const qreal y = 20 + 30 * i;
        p.setPen(roundPen(kSoft, 7));
        p.drawLine(QPointF(10, y), QPointF(90, y));
        p.setPen(roundPen(kWhite, 4));
        p.setBrush(i == 1 ? kOrange : kButtonBg);
        p.drawEllipse(QPointF(knobs[i], y), 10, 10);
    }
}

const Entry kEntries[] = {
    {"output_set.png",
     {55, 75, 55, 55, 55},
     {QStringLiteral("输出设置"), QStringLiteral("Output"), QStringLiteral("Выход"), QStringLiteral("Đầu ra"),
      QStringLiteral("輸出設置")},
     outputSymbol},
    {"input_cut.png",
     {55, 70, 70, 70, 55},
     {QStringLiteral("输入裁剪"), QStringLiteral("Input crop"), QStringLiteral("Обрезка"), QStringLiteral("Cắt ảnh"),
      QStringLiteral("輸入裁剪")},
     cropSymbol},
    {"image_layout.png",
     {55, 70, 55, 55, 55},
     {QStringLiteral("画面布局"), QStringLiteral("Layout"), QStringLiteral("Окна"), QStringLiteral("Bố cục"),
      QStringLiteral("畫面佈局")},
     layoutSymbol},
    {"link_set.png",
     {55, 70, 70, 70, 55},
     {QStringLiteral("通讯设置"), QStringLiteral("Connect"), QStringLiteral("Связь"), QStringLiteral("Kết nối"),
      QStringLiteral("通訊設置")},
     linkSymbol},
    {"image_quality.png",
     {55, 75, 55, 55, 55},
     {QStringLiteral("图像效果"), QStringLiteral("Quality"), QStringLiteral("Качество"), QStringLiteral("Hình ảnh"),
      QStringLiteral("圖像效果")},
     qualitySymbol},
    {"test_chart.png",
     {55, 55, 55, 55, 55},
     {QStringLiteral("测试画面"), QStringLiteral("Test"), QStringLiteral("Тест"), QStringLiteral("Kiểm tra"),
      QStringLiteral("測試畫面")},
     testChartSymbol},
    {"smart_mapping.png",
     {55, 55, 55, 55, 55},
     {QStringLiteral("智能映射"), QStringLiteral("Mapping"), QStringLiteral("Маппинг"), QStringLiteral("Ánh xạ"),
      QStringLiteral("智能映射")},
     mappingSymbol},
    {"AdvanceButton.png",
     {55, 54, 70, 54, 55},
     {QStringLiteral("高级设置"), QStringLiteral("Advanced"), QStringLiteral("Доп.опции"), QStringLiteral("Nâng cao"),
      QStringLiteral("高級設置")},
     advancedSymbol},
};
// The advanced entry, the menu's last.
const Entry& kAdvanced = kEntries[std::size(kEntries) - 1];

// One caption size for the eight pictures of a language.
QFont captionFont(Lang lang)
{
    std::vector<std::pair<QString, qreal>> captions;
    for (const Entry& e : kEntries)
        captions.emplace_back(e.words[lang], pictureSize(e, lang).width() - 2);
    return fittingFontForAll(captions, lang, kLargestCaption);
}

void draw(const Entry& e, QPainter& p, const QSizeF& s, Lang lang)
{
    symbolOverCaption(p, s, e.words[lang], captionFont(lang), e.symbol);
}

}  // namespace

void addSettingsMenuPictures(Catalog& c)
{
    for (const Entry& e : kEntries)
        c.push_back(Picture{e.name, Picture::Worded, [&e](Lang l) { return pictureSize(e, l); },
                            [&e](QPainter& p, const QSizeF& s, Lang l) { draw(e, p, s, l); }});
    // In English the advanced entry is loaded under a name of its own.
    c.push_back(plain("en_advance_option.png", pictureSize(kAdvanced, EN),
                      [](QPainter& p, const QSizeF& s) { draw(kAdvanced, p, s, EN); }));
}

}  // namespace art
