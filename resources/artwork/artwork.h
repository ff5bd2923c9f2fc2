// The page pictures' drawing kit.
//
// Every picture the pages load from ":/png/" is drawn here with QPainter, at
// the size the page shows it, and written as a PNG into the build tree
// together with the resource file that compiles them into the program.
// A picture that carries words is drawn once per language and saved under
// the language's file-name prefix; a picture without words is drawn once and
// reached under every prefix through resource aliases.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

namespace art {

// The five page languages, in the order of the box's language index.
enum Lang { ZH = 0, EN, RU, VN, TW };
constexpr int kLangs = 5;
// File-name prefix of a language: "", "en_", "ru_", "vn_", "tn_".
const char* prefix(Lang lang);

// The box's palette.
extern const QColor kPageBg;    // rgb(16, 16, 28): page background
extern const QColor kButtonBg;  // rgb(33, 36, 53): buttons and tiles
extern const QColor kWhite;
extern const QColor kSoft;    // light blue-grey for secondary strokes
extern const QColor kDim;     // grey for things switched off
extern const QColor kOrange;  // rgb(255, 171, 84): the focus colour, used as accent
extern const QColor kBlue;
extern const QColor kGreen;
extern const QColor kRed;

struct Picture {
    enum Kind {
        Plain,     // loaded under its plain name only
        Prefixed,  // no words, but loaded under the language prefixes: one drawing, aliased
        Worded,    // carries words: drawn for every language
    };
    QString name;  // file name without the language prefix, e.g. "option.png"
    Kind kind;
    std::function<QSize(Lang)> size;
    // Draws into a transparent image of `size` pixels.
    std::function<void(QPainter&, const QSizeF&, Lang)> draw;
};

using Catalog = std::vector<Picture>;

// Every page picture, in the order the generator writes them.
Catalog allPictures();
// `pic` drawn in `lang` on a transparent image of its size.
QImage render(const Picture& pic, Lang lang);

// ---- the words drawn into pictures, for the check that every page text
// can be read (tests/page_texts)
// One caption as caption() draws it: its text, centred in `box` in `font`,
// both enlarged `scale` times on the picture. A turned caption's box lies
// along its line.
struct DrawnCaption {
    QString text;
    QFont font;
    QRectF box;
    qreal scale;
};
// Called with every caption drawn from now on; an empty function stops it.
void setCaptionWatcher(std::function<void(const DrawnCaption&)> watcher);

// Shortcuts for a picture of one fixed size.
Picture plain(const QString& name, QSize size, std::function<void(QPainter&, const QSizeF&)> draw);
Picture prefixed(const QString& name, QSize size, std::function<void(QPainter&, const QSizeF&)> draw);
Picture worded(const QString& name, QSize size, std::function<void(QPainter&, const QSizeF&, Lang)> draw);
// A plain picture of one symbol drawn in the 100 x 100 design box.
Picture symbol(const QString& name, QSize size, std::function<void(QPainter&)> draw);

// ---- drawing helpers
// The font for words of a language (the CJK font for both Chinese scripts),
// optionally in its condensed face.
QFont wordFont(Lang lang, qreal pixelSize, bool bold = true, bool condensed = false);
// The smallest words are read at on the LCD, as on the pages.
constexpr int kSmallestPixels = 9;
// The largest font of at most `pixelSize` (condensed when the normal face
// is too wide, never below kSmallestPixels) in which `text` fits `width`.
QFont fittingFont(const QString& text, Lang lang, qreal width, qreal pixelSize);
// One font for several captions of a language, each with its own width: the
// largest in which every one fits (condensed when one needs it).
QFont fittingFontForAll(const std::vector<std::pair<QString, qreal>>& captions, Lang lang, qreal pixelSize);
// Writes `text` centred in `box` in `font`.
void caption(QPainter& p, const QRectF& box, const QString& text, const QFont& font,
             const QColor& color = QColor(255, 255, 255));
// A pen of `width` pixels with round ends and joins.
QPen roundPen(const QColor& color, qreal width);
// Maps a 100 x 100 design box onto `area` (keeping the aspect ratio, centred).
void designBox(QPainter& p, const QRectF& area);
// A menu picture: `symbol` (drawn in the design box) over a one-line
// caption of `words` in `font`, 16 pixels high at the foot of the picture.
void symbolOverCaption(QPainter& p, const QSizeF& s, const QString& words, const QFont& font,
                       const std::function<void(QPainter&)>& symbol);

// ---- shared motifs (drawn in the 100 x 100 design box)
void speaker(QPainter& p, const QColor& color);
void soundWaves(QPainter& p, const QColor& color);
void muteCross(QPainter& p, const QColor& color);
void globe(QPainter& p, const QColor& color);
void checkMark(QPainter& p, const QColor& color, qreal width);

// ---- the pictures of each page group; a new page adds its own function
void addMainWindowPictures(Catalog& c);
void addHomePagePictures(Catalog& c);
void addSharedWidgetPictures(Catalog& c);
void addModeBarPictures(Catalog& c);
void addNumberKeyboardPictures(Catalog& c);
void addSettingsMenuPictures(Catalog& c);
void addPagePartPictures(Catalog& c);
void addSourcePictures(Catalog& c);
void addSettingsPagePictures(Catalog& c);
void addTestPatternPictures(Catalog& c);
void addUsbUpgradePictures(Catalog& c);
void addToolPictures(Catalog& c);
void addVideoSetupPictures(Catalog& c);

}  // namespace art
