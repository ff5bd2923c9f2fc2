#include "app/page_support.h"

#include "app/kel_keyboard.h"
#include "app/kelrampara.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QExposeEvent>
#include <QGuiApplication>
#include <QCoreApplication>
#include <QDebug>
#include <QDirIterator>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <QStyleOptionComboBox>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cstdarg>
#include <iterator>
#include <vector>

// The compiled-in pictures live in a static library; naming their
// initialiser here keeps them in the program.
static void initPngResource()
{
    Q_INIT_RESOURCE(png);
}

namespace pages {

namespace {

// What Qt's own pixmap cache may hold, in KiB. The pages' pictures are
// kept apart (pixmap() below); what Qt caches besides are the panels its
// style draws for the buttons, each keyed by the button's palette, which
// every page opening makes anew: a copy for every button of every opening,
// all alike, which by Qt's default (10 MiB) pile up to about 10 MB. This
// holds a few screens' worth, the buttons of the page on top and the pages
// under it.
constexpr int kQtPictureCacheKb = 1024;

}  // namespace

Language textLanguage()
{
    const u8 lang = g_language.load();
    const u32 valid = g_lcd_lang_valid.load();
    switch (lang) {
    case ZH:
    case RU:
    case VN:
    case TW:
        if (valid & (1u << lang))
            return static_cast<Language>(lang);
        return EN;
    default: return EN;
    }
}

QString pick(const Texts& texts)
{
    return texts[textLanguage()];
}

void initPictures()
{
    initPngResource();
    QPixmapCache::setCacheLimit(kQtPictureCacheKb);
}

namespace {

// The names of a picture's language variants begin with these, by
// language; Chinese is the pictures' own.
const char* const kPicturePrefixes[kLanguages] = {"", "en_", "ru_", "vn_", "tn_"};

}  // namespace

const char* picturePrefix(Language lang)
{
    return kPicturePrefixes[lang];
}

QString picture(const QString& name)
{
    return plainPicture(QLatin1String(kPicturePrefixes[textLanguage()]) + name);
}

QString plainPicture(const QString& name)
{
    return QStringLiteral(":/png/") + name;
}

namespace {

// The pictures decoded so far, by path, kept for as long as the program
// runs. A picture made anew at every opening of a page (an icon from its
// path, say) is a copy of its own, which Qt's pixmap cache keeps after the
// page has closed: one more copy of the same picture at every opening.
QHash<QString, QPixmap>& keptPictures()
{
    static auto* kept = new QHash<QString, QPixmap>;  // lives as long as the process
    return *kept;
}

}  // namespace

QPixmap pixmap(const QString& path)
{
    QHash<QString, QPixmap>& kept = keptPictures();
    const auto found = kept.constFind(path);
    if (found != kept.constEnd())
        return *found;
    const QPixmap decoded(path);
    const bool compiledIn = path.startsWith(plainPicture(QString()));
    if (compiledIn && !decoded.isNull())
        kept.insert(path, decoded);
    return decoded;
}

QIcon icon(const QString& path)
{
    return QIcon(pixmap(path));
}

PanelKey panelKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_S:
    case Qt::Key_F4: return PanelKey::Left;
    case Qt::Key_R:
    case Qt::Key_F5: return PanelKey::Right;
    case Qt::Key_Q:
    case Qt::Key_F6: return PanelKey::Ok;
    case Qt::Key_O:
    case Qt::Key_PowerOff: return PanelKey::Back;
    case Qt::Key_M:
    case Qt::Key_Stop: return PanelKey::Mode;
    default: return PanelKey::None;
    }
}

PanelKey notedPress(int qtKey)
{
    if (qtKey == Qt::Key_F6)
        return PanelKey::Ok;
    if (qtKey == Qt::Key_PowerOff)
        return PanelKey::Back;
    return PanelKey::None;
}

void debugLine(const char* format, ...)
{
    if (g_debugSwitch != kDebugOn)
        return;
    va_list args;
    va_start(args, format);
    const QString line = QString::vasprintf(format, args);
    va_end(args);
    qDebug("%s", qPrintable(line));
}

void notePress(int qtKey, const char* page)
{
    switch (notedPress(qtKey)) {
    case PanelKey::Ok: debugLine("this is OK button(%s)[Press]\n", page); break;
    case PanelKey::Back: debugLine("this is back button(%s)[Press]\n", page); break;
    default: break;
    }
}

bool PanelKeyHandler::modeRefused() const
{
    return panelLocked();
}

void PanelKeyHandler::releaseKey(int qtKey, const char* page, int select)
{
    noteRelease(qtKey, page, select);
    switch (panelKey(qtKey)) {
    case PanelKey::Left: onLeft(); break;
    case PanelKey::Right: onRight(); break;
    case PanelKey::Ok: onOk(); break;
    case PanelKey::Back: onBack(); break;
    case PanelKey::Mode:
        if (modeRefused())
            return;  // refused: not even the key pad sees it
        onMode();
        break;
    case PanelKey::None: onOtherKey(qtKey); break;
    }
    passKeyToKeyPad(qtKey);
}

void noteRelease(int qtKey, const char* page, int select)
{
    const PanelKey key = panelKey(qtKey);
    switch (key) {
    case PanelKey::Left:
    case PanelKey::Right: {
        const char* code = key == PanelKey::Left ? "left" : "right";
        if (select < 0)
            debugLine("this is %s-code [%s][Release]", code, page);
        else
            debugLine("this is %s-code [%s][Release] ui_select=%#x", code, page, select);
        break;
    }
    case PanelKey::Ok: debugLine("this is OK button(%s)[Release]\n", page); break;
    case PanelKey::Back: debugLine("this is back button(%s)[Release]\n", page); break;
    case PanelKey::Mode: debugLine("this is mode-code [%s][Release]", page); break;
    case PanelKey::None: break;
    }
}

void passKeyToKeyPad(int qtKey)
{
    // The handler holds no state: one serves every page.
    static kel_keyboard keyPad;
    keyPad.update_usb_keyEvent(qtKey);
}

QString inUseText()
{
    // Traditional Chinese uses the simplified text.
    const QString zh = QStringLiteral("使用中") + QChar(0x00AD);
    return pick({zh, QStringLiteral("Using"), QStringLiteral("Текущий"), QStringLiteral("sử dụng"), zh});
}

QString inUseCaption()
{
    QString text = inUseText();
    while (text.endsWith(QChar(0x00AD)))
        text.chop(1);
    return text;
}

QString saveWaitsCaption()
{
    return pick({QStringLiteral("待保存"), QStringLiteral("Not saved"), QStringLiteral("Не сохр."),
                 QStringLiteral("Chưa lưu"), QStringLiteral("待保存")});
}

QString noSignalText()
{
    return pick({QStringLiteral("无信号"), QStringLiteral("No signal"), QStringLiteral("Нет сигнала"),
                 QStringLiteral("Không có tín hiệu"), QStringLiteral("無信號")});
}

QPoint lcdOrigin()
{
    return g_mainwindow ? g_mainwindow->pos() : QPoint(0, 0);
}

namespace {

// Paints a window placed over the main window once when it shows.
//
// On Qt's linuxfb platform, the board's, a window is shown by two exposes:
// one delivered inside show() (Qt's default for a platform window), which
// paints the window whole there, and one queued behind it. The updates Qt
// posts for every widget it shows then paint the window whole a second
// time, and the queued expose flushes it whole once more, so that the
// screen composes all windows twice. So the window takes no updates from
// its show event until show() has returned; then, the first thing the
// event loop does, it is painted and flushed once, before the screen
// composes it, and the window's own pending update, which would paint it
// all again, goes. On linuxfb a later expose of a window already mapped
// (visible) is dropped: the screen composes from each window's own image,
// every paint is flushed as it is made, and whatever is still to be painted
// has its update request pending, so such an expose would only compose the
// screen once more.
class PaintOnceShown : public QObject {
public:
    static constexpr const char* kName = "paintOnceShown";

    explicit PaintOnceShown(QWidget* window) : QObject(window), window_(window)
    {
        setObjectName(QLatin1String(kName));
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == window_ && event->type() == QEvent::Show)
            holdUntilShown();
        else if (event->type() == QEvent::Expose)
            return window_->isVisible() && window_->testAttribute(Qt::WA_Mapped) &&
                   !static_cast<QExposeEvent*>(event)->region().isEmpty();
        return false;
    }

private:
    void holdUntilShown()
    {
        if (!window_->isWindow() || !window_->updatesEnabled())
            return;
        if (QWindow* handle = window_->windowHandle();
            handle && QGuiApplication::platformName() == QLatin1String("linuxfb"))
            handle->installEventFilter(this);
        window_->setUpdatesEnabled(false);
        QTimer::singleShot(0, this, [this] {
            window_->setUpdatesEnabled(true);
            window_->repaint();
            QCoreApplication::removePostedEvents(window_, QEvent::UpdateLater);
        });
    }

    QWidget* const window_;
};

}  // namespace

void placeOverMainWindow(QWidget* page)
{
    page->move(lcdOrigin());
    if (!page->findChild<QObject*>(QLatin1String(PaintOnceShown::kName), Qt::FindDirectChildrenOnly))
        new PaintOnceShown(page);
}

namespace {

constexpr int kSmallestPixels = 9;
// A little air between a caption and the focus border.
constexpr int kAir = 4;

// Narrower forms of the font, tried in this order when a text does not fit
// even at the smallest size: its condensed widths, then the narrowest with
// its letters a little closer, then closer still.
constexpr int kNarrower[] = {QFont::SemiCondensed, QFont::Condensed};
constexpr qreal kCloserLetters[] = {92, 85};  // per cent of the usual spacing

bool fits(const QFont& font, const QRect& box, int flags, const QString& text)
{
    const QRect need = QFontMetrics(font).boundingRect(box, flags, text);
    return need.width() <= box.width() && need.height() <= box.height();
}

bool fitsWidth(const QFont& font, const QRect& box, int flags, const QString& text)
{
    return QFontMetrics(font).boundingRect(box, flags, text).width() <= box.width();
}

// What a fitting chose: the size, and the width and letter spacing below
// 9 pixels.
struct Fitting {
    int pixels;
    int stretch;
    qreal spacing;
};

// Tries the sizes and narrower forms one after another (each a layout of
// the text) and takes the first that fits.
Fitting findFitting(QFont font, const QRect& box, int flags, const QString& text)
{
    int px = qMax(QFontInfo(font).pixelSize(), kSmallestPixels);
    for (;; --px) {
        font.setPixelSize(px);
        if (px <= kSmallestPixels || fits(font, box, flags, text))
            break;
    }
    Fitting found{px, QFont::Unstretched, 100};
    if (fits(font, box, flags, text))
        return found;
    for (int stretch : kNarrower) {
        font.setStretch(stretch);
        found.stretch = stretch;
        if (fits(font, box, flags, text))
            return found;
    }
    // Closer letters only make a line shorter: they go no closer than the
    // width needs.
    for (qreal spacing : kCloserLetters) {
        font.setLetterSpacing(QFont::PercentageSpacing, spacing);
        found.spacing = spacing;
        if (fitsWidth(font, box, flags, text))
            break;
    }
    return found;
}

// The fittings found so far. What a text needs depends only on the font,
// the box, the layout flags and the text, so each is tried once: a page
// that opens again, or labels itself again, takes its sizes from here.
// Held to kKeptFittings (the pages' texts in one language come to a few
// hundred); when full, it starts afresh.
constexpr int kKeptFittings = 2048;

struct FittingKey {
    QFont font;
    QRect box;
    int flags;
    QString text;
    bool operator==(const FittingKey& o) const
    {
        return flags == o.flags && box == o.box && text == o.text && font == o.font;
    }
};

uint qHash(const FittingKey& key, uint seed)
{
    uint h = ::qHash(key.text, seed);
    for (int part : {key.box.x(), key.box.y(), key.box.width(), key.box.height(), key.flags, key.font.pixelSize(),
                     qRound(key.font.pointSizeF() * 64), key.font.weight()})
        h = h * 31 + uint(part);
    return h;
}

QHash<FittingKey, Fitting>& keptFittings()
{
    static auto* kept = new QHash<FittingKey, Fitting>;  // lives as long as the process
    return *kept;
}

}  // namespace

QFont fittingFont(QFont font, const QRect& box, int flags, const QString& text)
{
    font.setStretch(QFont::Unstretched);
    font.setLetterSpacing(QFont::PercentageSpacing, 100);
    QHash<FittingKey, Fitting>& kept = keptFittings();
    const FittingKey key{font, box, flags, text};
    auto found = kept.constFind(key);
    if (found == kept.constEnd()) {
        if (kept.size() >= kKeptFittings)
            kept.clear();
        found = kept.insert(key, findFitting(font, box, flags, text));
    }
    // The font as the tries left it.
    font.setPixelSize(found->pixels);
    if (found->stretch != QFont::Unstretched)
        font.setStretch(found->stretch);
    if (found->spacing != 100)
        font.setLetterSpacing(QFont::PercentageSpacing, found->spacing);
    return font;
}

namespace {

const char* const kBaseStyle = "kelBaseStyle";

// The font fitText gave a label through setFont, and the one the label had
// before, by label (gone with the label): a label that still has the font
// given starts its next fitting from the one before; one given another font
// since starts from that.
struct GivenFont {
    QFont given;
    QFont before;
};

QHash<const QObject*, GivenFont>& givenFonts()
{
    static QHash<const QObject*, GivenFont>* const given = [] {
        auto* made = new QHash<const QObject*, GivenFont>;  // lives as long as the process
        boxstate::keep(boxstate::Step::StartValues, [made] { made->clear(); });
        return made;
    }();
    return *given;
}

// Whether a style sheet says "font" in any case, as style sheets take their
// property names.
bool mentionsFont(const QString& sheet)
{
    return sheet.contains(QLatin1String("font"), Qt::CaseInsensitive);
}

// Whether a style sheet may give `widget` its font: its own or one of its
// ancestors' says something of fonts.
bool styleSheetsMayGiveFont(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (mentionsFont(w->styleSheet()))
            return true;
    return false;
}

// Fits a label's text through its own font, the size as the width: where
// no style sheet gives the label a font, a style sheet set now would have
// the label, polished already, polished again.
void fitThroughFont(QLabel* label, int flags)
{
    QHash<const QObject*, GivenFont>& given = givenFonts();
    auto record = given.find(label);
    const bool fitted = record != given.end() && record->given == label->font();
    const QFont unfitted = fitted ? record->before : label->font();
    QFont font = unfitted;
    font.setStretch(QFont::Unstretched);
    const QFont fitting = fittingFont(font, label->contentsRect(), flags, label->text());
    QFont own = unfitted;
    if (fitting.pixelSize() != QFontInfo(font).pixelSize())
        own.setPixelSize(fitting.pixelSize());
    own.setStretch(fitting.stretch());
    own.setLetterSpacing(QFont::PercentageSpacing, fitting.letterSpacing());
    label->setFont(own);
    if (record == given.end()) {
        if (label->font() == unfitted)
            return;
        QObject::connect(label, &QObject::destroyed, [](QObject* gone) { givenFonts().remove(gone); });
        record = given.insert(label, GivenFont{});
    }
    *record = GivenFont{label->font(), unfitted};
}

}  // namespace

void fitText(QLabel* label)
{
    if (!label->property(kBaseStyle).isValid())
        label->setProperty(kBaseStyle, label->styleSheet());
    const QString base = label->property(kBaseStyle).toString().trimmed();
    setStyle(label, base);
    label->ensurePolished();

    const int flags = static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    if (!styleSheetsMayGiveFont(label)) {
        fitThroughFont(label, flags);
        return;
    }
    QFont font = label->font();
    font.setStretch(QFont::Unstretched);
    const QFont fitting = fittingFont(font, label->contentsRect(), flags, label->text());
    // The style sheet sets no width, so the narrower form goes through the
    // label's own font.
    QFont own = label->font();
    own.setStretch(fitting.stretch());
    own.setLetterSpacing(QFont::PercentageSpacing, fitting.letterSpacing());
    label->setFont(own);
    if (fitting.pixelSize() == QFontInfo(font).pixelSize())
        return;
    const QString separator = base.isEmpty() || base.endsWith(QLatin1Char(';')) ? QString() : QStringLiteral(";");
    label->setStyleSheet(base + separator + QStringLiteral("font-size: %1px;").arg(fitting.pixelSize()));
}

namespace {

// The font a widget had before fitText first changed it, or the one a page
// gave as the largest; every fitting starts again from there.
const char* const kBaseFont = "kelBaseFont";

QFont baseFont(QWidget* w)
{
    if (!w->property(kBaseFont).isValid())
        w->setProperty(kBaseFont, w->font());
    return w->property(kBaseFont).value<QFont>();
}

}  // namespace

void fitText(QPushButton* button, const QFont& largest)
{
    button->setProperty(kBaseFont, largest);
    fitText(button);
}

void fitText(QPushButton* button)
{
    QFont font = baseFont(button);
    button->ensurePolished();
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect box =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).adjusted(kAir, 0, -kAir, 0);
    button->setFont(fittingFont(font, box, Qt::AlignCenter, button->text()));
}

QString wholeWords(const QString& text)
{
    // Given captions whose line break falls inside a word, and where they
    // are broken instead: between the words, or at the joint of a compound
    // too long for one line ("само" + "восстановление").
    struct Rebroken {
        const char* given;
        const char* shown;
    };
    static const Rebroken kRebroken[] = {
        {"Сетевое по\nдключение", "Сетевое\nподключение"},
        {"Самовосст\nановление", "Само-\nвосстановление"},
    };
    for (const Rebroken& r : kRebroken)
        if (text == QString::fromUtf8(r.given))
            return QString::fromUtf8(r.shown);
    return text;
}

QString lastWordsTogether(const QString& text)
{
    QString out = text;
    const int last = out.lastIndexOf(QLatin1Char(' '));
    if (last > 0)
        out[last] = QChar(QChar::Nbsp);
    // The clause after the last comma: the space after the comma still
    // breaks.
    const int comma = out.lastIndexOf(QStringLiteral(", "));
    for (int i = comma + 2; comma >= 0 && i < out.size(); ++i)
        if (out[i] == QLatin1Char(' '))
            out[i] = QChar(QChar::Nbsp);
    return out;
}

void showText(QLabel* label, const Texts& texts)
{
    label->setText(wholeWords(pick(texts)));
    fitText(label);
}

void showText(QPushButton* button, const Texts& texts)
{
    button->setText(wholeWords(pick(texts)));
    fitText(button);
}

void fitText(QComboBox* box)
{
    QFont font = baseFont(box);
    box->ensurePolished();
    QStyleOptionComboBox option;
    option.initFrom(box);
    const QRect field = box->style()
                            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box)
                            .adjusted(kAir, 0, -kAir - 1, 0);  // the entry is drawn indented and clipped short
    // Each entry from the font the ones before it left.
    for (int i = 0; i < box->count(); ++i) {
        const int before = font.stretch() > 0 ? font.stretch() : int(QFont::Unstretched);
        QFont next = fittingFont(font, field, Qt::AlignLeft | Qt::AlignVCenter, box->itemText(i));
        if (before < next.stretch())
            next.setStretch(before);  // an earlier entry needed a narrower form
        if (font.letterSpacing() > 0 && font.letterSpacing() < next.letterSpacing())
            next.setLetterSpacing(QFont::PercentageSpacing, font.letterSpacing());
        font = next;
    }
    box->setFont(font);
}

void setChoices(QComboBox* box, const QStringList& entries, int shown)
{
    box->clear();
    box->addItems(entries);
    if (shown >= 0 && shown < entries.size())
        box->setCurrentIndex(shown);
    fitText(box);
}

void moveFocus(QWidget* from, const QString& fromStyle, QWidget* to, const QString& toStyle)
{
    if (from)
        setStyle(from, fromStyle);
    if (to)
        setStyle(to, toStyle);
}

void setStyle(QWidget* widget, const QString& style)
{
    if (widget->styleSheet() != style)
        widget->setStyleSheet(style);
}

bool panelLocked()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store && store->ram_para.panel_lock != 0;
}

void inGuiThread(std::function<void()> fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

bool onGuiThread(std::function<void()> again)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return true;
    inGuiThread(std::move(again));
    return false;
}

}  // namespace pages
