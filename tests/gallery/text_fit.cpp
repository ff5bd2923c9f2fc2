#include "tests/gallery/text_fit.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolButton>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace {

// QLineEdit keeps this much air either side of its text.
constexpr int kLineEditAir = 2;
// A choice list's entry begins this far into the edit field and is cut off
// this far before its end.
constexpr int kEntryIndent = 4;
constexpr int kEntryClip = 5;
// A button's icon and its caption stand this far apart.
constexpr int kIconGap = 4;

QString nameOf(const QWidget* w, const QWidget* window)
{
    QStringList path;
    for (const QWidget* at = w; at; at = at->parentWidget()) {
        if (!at->objectName().isEmpty())
            path.prepend(at->objectName());
        else if (at == w)
            path.prepend(QStringLiteral("(%1)").arg(QLatin1String(at->metaObject()->className())));
        if (at == window)
            break;
    }
    return path.join(QLatin1Char('/'));
}

int pixelsOf(const QFont& font)
{
    return QFontInfo(font).pixelSize();
}

struct Need {
    QSize size;
    int pixels;
};

// A plain text laid out in `box` as Qt draws it with `flags`. Its height
// counts the ink of the lines, not the air above and below them that the
// font's line keeps: a one-line caption in a label a little lower than the
// line still shows whole.
Need plainNeed(const QFont& font, const QRect& box, int flags, const QString& text)
{
    const QFontMetrics fm(font);
    QSize size = fm.boundingRect(box, flags, text).size();
    QString oneLine = text;
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const int air = fm.height() - fm.tightBoundingRect(oneLine).height();
    size.setHeight(size.height() - qMax(0, air));
    return {size, pixelsOf(font)};
}

// A rich text: its laid-out size and its smallest character.
Need richNeed(const QFont& font, const QRect& box, bool wrap, const QString& html)
{
    QTextDocument doc;
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    doc.setHtml(html);
    doc.setTextWidth(wrap ? box.width() : -1);
    int smallest = pixelsOf(font);
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().isValid() && !it.fragment().text().trimmed().isEmpty())
                smallest = qMin(smallest, pixelsOf(it.fragment().charFormat().font()));
    const QSizeF size = doc.documentLayout()->documentSize();
    const int width = static_cast<int>(std::ceil(wrap ? doc.idealWidth() : size.width()));
    return {QSize(width, static_cast<int>(std::ceil(size.height()))), smallest};
}

QString misfit(const QRect& box, const Need& need)
{
    QString why;
    if (need.pixels < kSmallestReadablePixels)
        why = QStringLiteral("drawn at %1 px").arg(need.pixels);
    else if (need.size.width() > box.width() || need.size.height() > box.height())
        why = QStringLiteral("needs %1 x %2 in %3 x %4 at %5 px")
                  .arg(need.size.width())
                  .arg(need.size.height())
                  .arg(box.width())
                  .arg(box.height())
                  .arg(need.pixels);
    return why;
}

void judge(std::vector<TextMisfit>& out, const QWidget* w, const QWidget* window, const QString& text, const QRect& box,
           const Need& need)
{
    const QString why = misfit(box, need);
    if (!why.isEmpty())
        out.push_back({nameOf(w, window), text, why});
}

// Where QLabel draws its text.
QRect labelBox(const QLabel* label)
{
    const int m = label->margin();
    QRect box = label->contentsRect().adjusted(m, m, -m, -m);
    int indent = label->indent();
    if (indent < 0 && label->frameWidth())
        indent = QFontMetrics(label->font()).horizontalAdvance(QLatin1Char('x')) / 2 - m;
    if (indent > 0) {
        const Qt::Alignment a = label->alignment();
        if (a & Qt::AlignLeft)
            box.setLeft(box.left() + indent);
        if (a & Qt::AlignRight)
            box.setRight(box.right() - indent);
        if (a & Qt::AlignTop)
            box.setTop(box.top() + indent);
        if (a & Qt::AlignBottom)
            box.setBottom(box.bottom() - indent);
    }
    return box;
}

bool isRich(const QLabel* label)
{
    return label->textFormat() == Qt::RichText ||
           (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
}

void lookAtLabel(std::vector<TextMisfit>& out, const QLabel* label, const QWidget* window)
{
    if (label->text().isEmpty() || !label->pixmap(Qt::ReturnByValue).isNull())
        return;
    const QRect box = labelBox(label);
    const int flags = static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    judge(out, label, window, label->text(), box,
          isRich(label) ? richNeed(label->font(), box, label->wordWrap(), label->text())
                        : plainNeed(label->font(), box, flags, label->text()));
}

void lookAtButton(std::vector<TextMisfit>& out, const QAbstractButton* button, const QWidget* window)
{
    if (button->text().isEmpty())
        return;
    QRect box;
    const bool withIcon = !button->icon().isNull();
    if (auto* push = qobject_cast<const QPushButton*>(button)) {
        QStyleOptionButton option;
        option.initFrom(push);
        option.text = push->text();
        box = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
        if (withIcon)
            box.setLeft(box.left() + push->iconSize().width() + kIconGap);
    } else if (auto* tool = qobject_cast<const QToolButton*>(button)) {
        box = tool->contentsRect();
        switch (tool->toolButtonStyle()) {
        case Qt::ToolButtonIconOnly: return;
        case Qt::ToolButtonTextUnderIcon:
            if (withIcon)
                box.setTop(box.top() + tool->iconSize().height());
            break;
        case Qt::ToolButtonTextBesideIcon:
        case Qt::ToolButtonFollowStyle:
            if (withIcon)
                box.setLeft(box.left() + tool->iconSize().width() + kIconGap);
            break;
        case Qt::ToolButtonTextOnly: break;
        }
    } else {
        QStyleOptionButton option;
        option.initFrom(button);
        const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
        box = button->style()->subElementRect(radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents,
                                              &option, button);
    }
    judge(out, button, window, button->text(), box,
          plainNeed(button->font(), box, Qt::AlignCenter | Qt::TextShowMnemonic, button->text()));
}

// Every entry of a choice list, in the field that shows the chosen one.
void lookAtChoices(std::vector<TextMisfit>& out, const QComboBox* box, const QWidget* window)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    // The entry is drawn a little in from the edit field and clipped a
    // little short of its end (as a page's style sheet draws it).
    const QRect field = box->style()
                            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box)
                            .adjusted(kEntryIndent, 0, -kEntryClip, 0);
    for (int i = 0; i < box->count(); ++i) {
        const QString text = box->itemText(i);
        if (!text.isEmpty())
            judge(out, box, window, text, field, plainNeed(box->font(), field, Qt::AlignLeft | Qt::AlignVCenter, text));
    }
}

void lookAtField(std::vector<TextMisfit>& out, const QLineEdit* field, const QWidget* window)
{
    if (field->text().isEmpty() || field->echoMode() != QLineEdit::Normal)
        return;
    QStyleOptionFrame option;
    option.initFrom(field);
    option.lineWidth =
        field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field) : 0;
    const QMargins m = field->textMargins();
    const QRect box = field->style()
                          ->subElementRect(QStyle::SE_LineEditContents, &option, field)
                          .adjusted(m.left() + kLineEditAir, m.top(), -m.right() - kLineEditAir, -m.bottom());
    // One line: only the width can run over; the field scrolls rather than wraps.
    Need need = plainNeed(field->font(), box, Qt::AlignLeft | Qt::AlignVCenter, field->text());
    need.size.setHeight(qMin(need.size.height(), box.height()));
    judge(out, field, window, field->text(), box, need);
}

}  // namespace

std::vector<TextMisfit> textMisfits(QWidget* window)
{
    std::vector<TextMisfit> out;
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (const QWidget* w : widgets) {
        if (!w->isVisible() || w->window() != window->window())
            continue;
        if (auto* label = qobject_cast<const QLabel*>(w))
            lookAtLabel(out, label, window);
        else if (auto* button = qobject_cast<const QAbstractButton*>(w))
            lookAtButton(out, button, window);
        else if (auto* box = qobject_cast<const QComboBox*>(w))
            lookAtChoices(out, box, window);
        else if (auto* field = qobject_cast<const QLineEdit*>(w)) {
            if (!qobject_cast<const QComboBox*>(field->parentWidget()))
                lookAtField(out, field, window);
        }
    }
    return out;
}

namespace {

// A word this long or longer may stand alone on a line.
constexpr int kLongWord = 11;

bool spacelessScript(const QString& text)
{
    for (const QChar c : text)
        if (c.script() == QChar::Script_Han)
            return true;
    return false;
}

// The lines of `text` as a label of `width` wraps them in `font`.
QStringList wrappedLines(const QString& text, const QFont& font, int width)
{
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
    }
    return lines;
}

// The lines of a rich text as a label of `width` lays them out in `font`:
// its own breaks ("<br>", paragraphs) and those wrapping makes.
QStringList wrappedRichLines(const QString& html, const QFont& font, int width)
{
    QTextDocument doc;
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    doc.setHtml(html);
    doc.setTextWidth(width);
    doc.documentLayout()->documentSize();  // lays the text out
    QStringList lines;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        for (int i = 0; layout && i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            lines << block.text().mid(line.textStart(), line.textLength()).trimmed();
        }
    }
    return lines;
}

// One word: no blank of any kind (a no-break space joins two words).
bool oneWord(const QString& line)
{
    return std::none_of(line.begin(), line.end(), [](QChar c) { return c.isSpace(); });
}

// In a script without spaces a line may break between any two characters:
// a line of fewer than this many characters that are letters or digits
// (punctuation and blanks not counted: "卡。 …") is a piece left alone.
constexpr int kShortPiece = 3;

bool shortPiece(const QString& line)
{
    return std::count_if(line.begin(), line.end(), [](QChar c) { return c.isLetterOrNumber(); }) < kShortPiece;
}

bool leftAlone(const QString& line, bool spaceless)
{
    if (line.isEmpty())
        return false;
    return spaceless ? shortPiece(line) : oneWord(line) && line.size() < kLongWord;
}

}  // namespace

std::vector<TextMisfit> loneWords(QWidget* window)
{
    std::vector<TextMisfit> out;
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (const QWidget* w : widgets) {
        auto* label = qobject_cast<const QLabel*>(w);
        if (!label || !label->isVisible() || w->window() != window->window() || !label->wordWrap())
            continue;
        const bool spaceless = spacelessScript(label->text());
        const int width = labelBox(label).width();
        const QStringList lines = isRich(label) ? wrappedRichLines(label->text(), label->font(), width)
                                                : wrappedLines(label->text(), label->font(), width);
        if (lines.size() < 2)
            continue;
        for (const QString& line : lines)
            if (leftAlone(line, spaceless))
                out.push_back(
                    {nameOf(label, window), label->text(), QStringLiteral("leaves \"%1\" alone on a line").arg(line)});
    }
    return out;
}

QString pictureTextMisfit(const QString& text, const QFont& font, const QRectF& box, double scale)
{
    if (qFuzzyCompare(scale, 1.0))
        scale = 1.0;  // a turn leaves the size as it was, up to rounding
    // Measured in the drawing's own units, then as large as the picture shows it.
    const QRect drawn(qFloor(box.x()), qFloor(box.y()), qFloor(box.width()), qFloor(box.height()));
    Need need = plainNeed(font, drawn, Qt::AlignCenter, text);
    need.size = QSize(qCeil(need.size.width() * scale), qCeil(need.size.height() * scale));
    need.pixels = qRound(need.pixels * scale);
    const QRect shown(0, 0, qFloor(drawn.width() * scale), qFloor(drawn.height() * scale));
    return misfit(shown, need);
}
