#include "app/page_support.h"

#include "app/kel_keyboard.h"
#include "app/kelrampara.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
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

// A few letters of each language's texts: Chinese (simplified and
// traditional), English, Russian, Vietnamese, and digits.
const QString kEveryScript =
    QStringLiteral("用户模式图像效果 用戶模式圖像 Mode 0123456789 Слот Режим Chế độ người dùng");
// Every letter, digit and sign of the Latin script, which every language's
// pages use (English is the language of last resort), and those of the
// Russian and Vietnamese scripts, for the language shown: the glyphs a
// first opening would otherwise load at each size it tries.
const QString kLatinLetters = QStringLiteral(
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz 0123456789 !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~");
const QString kRussianLetters = QStringLiteral("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ абвгдеёжзийклмнопрстуфхцчшщъыьэюя");
const QString kVietnameseLetters =
    QStringLiteral("ÀÁÂÃÈÉÊÌÍÒÓÔÕÙÚÝĂĐĨŨƠƯẠẢẤẦẨẪẬẮẰẲẴẶẸẺẼẾỀỂỄỆỈỊỌỎỐỒỔỖỘỚỜỞỠỢỤỦỨỪỬỮỰỲỴỶỸ "
                   "àáâãèéêìíòóôõùúýăđĩũơưạảấầẩẫậắằẳẵặẹẻẽếềểễệỉịọỏốồổỗộớờởỡợụủứừửữựỳỵỷỹ");
// Every Chinese character the pages' texts hold, simplified and
// traditional (a new text's new characters join them; one missing is only
// measured at its page's first opening). A Chinese text is fitted by its
// characters' advances at each size tried, and a character's first
// measure at a size loads and hints its glyph.
const QString kHanLetters =
    QStringLiteral("一上下不个中串为主义于亮从他以件任佈位体作使保信個候偏停備储像儲入全关其冷出击分"
                   "切列删別别到刷前加务动動務勿包化区區升卡厂原参參及发取变口只可右号名后启和响唯啟"
                   "嘗回围固图圍圖在地址均坏坐垂型域執壞备复多大失子字存它安完定宽寬对将將對小尝局屏"
                   "工左已布带帶幕平序库应度庫廠开式张張当录影待後從復微快态恢息態應成或截戶户所执扫"
                   "找技投拔择拼持按损换据捷掃接掩描換損擇擊操據收改效敗数整數文断新斷方於无时昇显時"
                   "晶智暂暖暫更最有未本机果查标校格案检標模横機橫檔檢止正步比水法波测消液淡温測源溫"
                   "满滿点為無然爲片特状狀獲率现現用电画界留畫當發白盘盤直码确碟確碼示称移程稍稱空窗"
                   "竖第答箱範类紅級綠網線縫繼續红级线继续绿缝网置義老能自色芯英范获蓝藍號螢行装裝要"
                   "視视言訊記設詢試該認語調請識讀變认讯记设识试询该语请读调豎質败质走超足距身載輸软"
                   "载输过运返连送选通速連運過道選部重量銳錄鍵鎖鏡鐘钟锁锐键镜長长閉開間關闭间除隨雅"
                   "電需静靜非面音響頻類顯频飽饱驗驟验骤體高麵黑默點");
// The sizes the pages' forms, style sheets and fitted texts come in; the
// widths fitted texts take, and the widgets' own (any width).
constexpr int kWarmSmallestPixels = 8;
constexpr int kWarmLargestPixels = 20;
constexpr int kWarmWidths[] = {QFont::AnyStretch, QFont::Unstretched, QFont::SemiCondensed, QFont::Condensed};
// The sizes at which the pages' fitted texts are measured most: the
// forms' 9 to 11 points and the pages' own pixel sizes, and what they
// shrink to. A fitted text takes a narrower form only at its smallest size.
constexpr int kFittedSmallestPixels = 9;
constexpr int kFittedLargestPixels = 15;

// Whether a fitted text is measured in `width` at `pixels`.
bool fittingTries(int width, int pixels)
{
    if (width == QFont::Unstretched)
        return pixels >= kFittedSmallestPixels && pixels <= kFittedLargestPixels;
    return width != QFont::AnyStretch && pixels == kFittedSmallestPixels;
}

// The sizes at which the pages draw Chinese (their forms' and style
// sheets' sizes and what fitted texts come to).
constexpr int kHanDrawnSmallest = 9;
constexpr int kHanDrawnLargest = 17;
// Where a letter falls within a pixel: Qt draws a glyph at a quarter of a
// pixel's steps and keeps each of the four apart, rendered the first time
// a text puts the glyph there.
constexpr qreal kQuarterPixels[] = {0, 0.25, 0.5, 0.75};

// Draws `text` in `font` on `canvas` a line at a time, once at each of the
// first `quarters` quarter-pixel steps, so that its glyphs are rendered
// and kept at those places.
void drawLetters(QImage& canvas, const QFont& font, const QString& text, int quarters)
{
    QPainter painter(&canvas);
    painter.setFont(font);
    const int px = font.pixelSize();
    const int perLine = std::max(1, kLcdWidth / px - 1);
    for (int q = 0; q < quarters; ++q)
        for (int at = 0; at < text.size(); at += perLine)
            painter.drawText(QPointF(1 + kQuarterPixels[q], 2 * px), text.mid(at, perLine));
}

// The warmed fonts of regular weight, kept for as long as the program runs:
// Qt's font cache lets go of a font's engines (its own and the fallbacks
// for the other scripts) soon after no font holds them, and every page
// that fits a text would match and load them again. The pages' texts are
// regular; a bold one (the home page's) is warmed but not kept.
std::vector<QFont>& warmedFonts()
{
    static auto* fonts = new std::vector<QFont>;  // lives as long as the process
    return *fonts;
}

}  // namespace

double warmFonts()
{
    QElapsedTimer took;
    took.start();
    const QRect lcd(0, 0, kLcdWidth, kLcdHeight);
    std::vector<QFont>& kept = warmedFonts();
    kept.clear();
    const bool han = textLanguage() == ZH || textLanguage() == TW;
    QString letters = kLatinLetters;
    if (textLanguage() == RU)
        letters += kRussianLetters;
    if (textLanguage() == VN)
        letters += kVietnameseLetters;
    // Drawn as the LCD's windows are: glyphs are rendered in the font's
    // own format, whatever the picture's.
    QImage canvas(kLcdWidth, kLcdHeight, QImage::Format_RGB32);
    for (bool bold : {false, true}) {
        for (int width : kWarmWidths) {
            for (int px = kWarmSmallestPixels; px <= kWarmLargestPixels; ++px) {
                QFont font = QApplication::font();
                font.setPixelSize(px);
                font.setBold(bold);
                font.setStretch(width);
                // As a fitted text is measured: laid out as a block.
                const QFontMetrics metrics(font);
                metrics.boundingRect(lcd, Qt::TextWordWrap, kEveryScript);
                if (bold)
                    continue;
                const bool fitted = fittingTries(width, px);
                if (fitted)
                    metrics.boundingRect(lcd, Qt::TextWordWrap, han ? letters + kHanLetters : letters);
                // As the pages draw: the letters of the script shown at
                // every place within a pixel, Chinese (of fixed advances)
                // at whole pixels.
                if (width == QFont::AnyStretch || fitted) {
                    drawLetters(canvas, font, letters, int(std::size(kQuarterPixels)));
                    if (han && width == QFont::AnyStretch && px >= kHanDrawnSmallest && px <= kHanDrawnLargest)
                        drawLetters(canvas, font, kHanLetters, 1);
                }
                kept.push_back(font);
            }
        }
    }
    return double(took.nsecsElapsed()) / 1e6;
}

namespace {

// The names of a picture's language variants begin with these, by
// language; Chinese is the pictures' own.
const char* const kPicturePrefixes[kLanguages] = {"", "en_", "ru_", "vn_", "tn_"};

}  // namespace

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

double warmPictures()
{
    QElapsedTimer took;
    took.start();
    const QLatin1String shown(kPicturePrefixes[textLanguage()]);
    QDirIterator it(plainPicture(QString()));
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        bool plain = true;
        for (const char* prefix : kPicturePrefixes)
            plain = plain && (*prefix == '\0' || !name.startsWith(QLatin1String(prefix)));
        if (plain || (shown.size() != 0 && name.startsWith(shown)))
            pixmap(plainPicture(name));
    }
    return double(took.nsecsElapsed()) / 1e6;
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

void placeOverMainWindow(QWidget* page)
{
    page->move(lcdOrigin());
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

void fitText(QLabel* label)
{
    static const char* const kBaseStyle = "kelBaseStyle";
    if (!label->property(kBaseStyle).isValid())
        label->setProperty(kBaseStyle, label->styleSheet());
    const QString base = label->property(kBaseStyle).toString().trimmed();
    setStyle(label, base);
    label->ensurePolished();

    const int flags = static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
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
