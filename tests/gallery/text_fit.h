// Whether the texts a page shows can be read whole: every visible label,
// button, list entry and number field, its whole text inside the widget's
// contents at a readable size (word wrap considered).
#pragma once

#include <QString>
#include <vector>

class QFont;
class QRectF;
class QWidget;

// The smallest text the LCD is read at.
constexpr int kSmallestReadablePixels = 9;

struct TextMisfit {
    QString widget;  // the widget's object names from the window down, e.g. "frame/label_title"
    QString text;
    QString why;  // e.g. "needs 131 x 15 in 120 x 15 at 12 px"
};

// The texts under `window` (itself included) that do not show whole or
// show smaller than kSmallestReadablePixels. Hidden widgets and pictures
// are not looked at.
std::vector<TextMisfit> textMisfits(QWidget* window);

// The lines of wrapped texts under `window`, plain or rich, that hold one
// short word alone (the last word of a sentence left on a line of its own:
// "channels:", "completed!", "…"); words joined by a no-break space count
// as two. In a script that does not put spaces between words (Chinese),
// where a line may break between any two characters, a line of fewer than
// three letters or digits ("卡。 …") is a piece left alone.
std::vector<TextMisfit> loneWords(QWidget* window);

// A text drawn into a picture: `text` centred in `box` in `font`, both
// enlarged `scale` times on the picture. Empty when it shows whole at
// kSmallestReadablePixels or more (the same look as a label's), else why not.
QString pictureTextMisfit(const QString& text, const QFont& font, const QRectF& box, double scale);
