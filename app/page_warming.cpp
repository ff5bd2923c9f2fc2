#include "app/page_warming.h"

#include "app/page_support.h"
#include "platform/box_state.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <iterator>
#include <vector>

namespace pages {

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

// The sizes at which the pages' labels draw Chinese beside Latin letters
// and signs ("信源:HDMI1", "画面名称:画面1"), or centred: there a Chinese
// glyph falls anywhere within a pixel.
constexpr int kHanMixedSmallest = 9;
constexpr int kHanMixedLargest = 13;

// Draws `text` in `font` on `canvas` a line at a time, once at each of the
// quarter-pixel steps [from, to), so that its glyphs are rendered and kept
// at those places.
void drawLetters(QImage& canvas, const QFont& font, const QString& text, int from, int to)
{
    QPainter painter(&canvas);
    painter.setFont(font);
    const int px = font.pixelSize();
    const int perLine = std::max(1, kLcdWidth / px - 1);
    for (int q = from; q < to; ++q)
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

// The scripts whose letters are warmed apart: the Latin one at start-up
// whatever the language, and the script of each language shown; and
// Chinese at the places within a pixel besides the whole pixels, which a
// box showing Chinese warms after start-up.
enum Script { kLatin, kRussian, kVietnamese, kHan, kHanPlaces, kScripts };

Script scriptOf(Language lang)
{
    switch (lang) {
    case RU: return kRussian;
    case VN: return kVietnamese;
    case ZH:
    case TW: return kHan;
    default: return kLatin;
    }
}

const QString& lettersOf(Script script)
{
    switch (script) {
    case kRussian: return kRussianLetters;
    case kVietnamese: return kVietnameseLetters;
    case kHan:
    case kHanPlaces: return kHanLetters;
    default: return kLatinLetters;
    }
}

// One piece of the warming: a font and letters, measured as a fitted text
// is measured (laid out as a block) or drawn at the quarter-pixel places
// [fromQuarter, toQuarter); or a picture decoded and kept.
struct WarmStep {
    QFont font;
    QString letters;
    int fromQuarter = 0;
    int toQuarter = 0;  // 0: measured
    QString picture;
};

QFont warmFont(int px, int width, bool bold)
{
    QFont font = QApplication::font();
    font.setPixelSize(px);
    font.setBold(bold);
    font.setStretch(width);
    return font;
}

// Each font of the pages: every size and width, regular (and bold with `bold`).
template <class Visit>
void forEachFont(bool bold, Visit&& visit)
{
    for (bool isBold : {false, true}) {
        if (isBold && !bold)
            break;
        for (int width : kWarmWidths)
            for (int px = kWarmSmallestPixels; px <= kWarmLargestPixels; ++px)
                visit(warmFont(px, width, isBold), width, px, isBold);
    }
}

// Appends a step for each piece of `letters` that comes to at most `glyphs`
// glyphs measured or drawn (a letter drawn at four places is four): drawn
// at the places [from, to), or measured when `to` is 0.
void addPieces(std::vector<WarmStep>& steps, const QFont& font, const QString& letters, int from, int to, int glyphs)
{
    const int chunk = std::max(1, glyphs / std::max(1, to - from));
    for (int at = 0; at < letters.size(); at += chunk)
        steps.push_back({font, letters.mid(at, chunk), from, to, QString()});
}

// The steps that warm the letters of `script`, `glyphs` glyphs a step:
// measured at each size and width a fitted text tries, and drawn as the
// pages draw them, at every place within a pixel at the widgets' own width
// and where fitted texts are drawn; Chinese (of fixed advances) at whole
// pixels, at the sizes the pages draw it, and (kHanPlaces) at the other
// places at the sizes their labels draw it beside Latin letters.
void addScriptSteps(std::vector<WarmStep>& steps, Script script, int glyphs)
{
    constexpr int kPlaces = int(std::size(kQuarterPixels));
    const QString& letters = lettersOf(script);
    forEachFont(false, [&](const QFont& font, int width, int px, bool) {
        const bool fitted = fittingTries(width, px);
        if (script == kHanPlaces) {
            if (width == QFont::AnyStretch && px >= kHanMixedSmallest && px <= kHanMixedLargest)
                addPieces(steps, font, letters, 1, kPlaces, glyphs);
            return;
        }
        if (fitted)
            addPieces(steps, font, letters, 0, 0, glyphs);
        if (script == kHan) {
            if (width == QFont::AnyStretch && px >= kHanDrawnSmallest && px <= kHanDrawnLargest)
                addPieces(steps, font, letters, 0, 1, glyphs);
        } else if (width == QFont::AnyStretch || fitted) {
            addPieces(steps, font, letters, 0, kPlaces, glyphs);
        }
    });
}

// The pictures of `lang` (its language variants), or with `plain` those
// without variants too.
void addPictureSteps(std::vector<WarmStep>& steps, Language lang, bool plain)
{
    const QLatin1String shown(picturePrefix(lang));
    QDirIterator it(plainPicture(QString()));
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        bool isPlain = true;
        for (int l = 0; l < kLanguages; ++l) {
            const char* prefix = picturePrefix(static_cast<Language>(l));
            isPlain = isPlain && (*prefix == '\0' || !name.startsWith(QLatin1String(prefix)));
        }
        if ((plain && isPlain) || (shown.size() != 0 && name.startsWith(shown)))
            steps.push_back({QFont(), QString(), 0, 0, plainPicture(name)});
    }
}

void runStep(const WarmStep& step, QImage& canvas)
{
    if (!step.picture.isEmpty()) {
        pixmap(step.picture);
        return;
    }
    if (step.toQuarter == 0)
        QFontMetrics(step.font).boundingRect(QRect(0, 0, kLcdWidth, kLcdHeight), Qt::TextWordWrap, step.letters);
    else
        drawLetters(canvas, step.font, step.letters, step.fromQuarter, step.toQuarter);
}

// What the letters are drawn on, as the LCD's windows are drawn: glyphs
// are rendered in the font's own format, whatever the picture's.
QImage warmCanvas()
{
    return QImage(kLcdWidth, kLcdHeight, QImage::Format_RGB32);
}

// The glyphs a step of a language's warming at run time measures or draws,
// and the time a slice of steps takes and leaves before the next: a glyph
// drawn for the first time takes about 0.1 million instructions on the
// board.
constexpr int kRunTimeGlyphs = 12;
constexpr int kSliceMs = 4;
constexpr int kSliceGapMs = 16;

// What is warm (the scripts whose letters were warmed, the languages whose
// pictures were decoded, the language last warmed), and the warming of
// the language shown under way, a slice at a time once the event loop
// runs: after start-up, what start-up leaves (Chinese at every place within
// a pixel), and after a change of language, what the new one needs. It
// follows start-up's warming: a program that never warmed at start-up (a
// test's pages) warms nothing when its language changes.
class LanguageWarmer : public QObject {
public:
    LanguageWarmer() { connect(&timer_, &QTimer::timeout, this, &LanguageWarmer::slice); }

    // Start-up warmed the letters of `script`, or the pictures of `lang`.
    void warmedScript(Script script) { scripts_ |= 1u << script; }
    void warmedPictures(Language lang) { pictureLanguages_ |= 1u << lang; }

    // The language shown is `lang`: what is not warm of it is warmed, from
    // the next turn of the event loop on. Nothing is warm only where
    // start-up warmed nothing.
    void show(Language lang)
    {
        if (scripts_ == 0 || (lang == language_ && (running() || warm(lang))))
            return;
        stop();
        language_ = lang;
        timer_.start(kSliceGapMs);
    }
    bool running() const { return timer_.isActive(); }
    // What is under way stops; what was warm stays so.
    void stop()
    {
        timer_.stop();
        steps_.clear();
        next_ = 0;
        canvas_ = QImage();
    }

private:
    // What `lang` needs warm: its script's letters (Chinese at every place
    // within a pixel too), its pictures.
    std::vector<Script> scriptsOf(Language lang) const
    {
        if (scriptOf(lang) == kHan)
            return {kHan, kHanPlaces};
        return {scriptOf(lang)};
    }
    bool warm(Language lang) const
    {
        for (Script script : scriptsOf(lang))
            if (!(scripts_ & (1u << script)))
                return false;
        return pictureLanguages_ & (1u << lang);
    }
    void plan()
    {
        for (Script script : scriptsOf(language_))
            if (!(scripts_ & (1u << script)))
                addScriptSteps(steps_, script, kRunTimeGlyphs);
        if (!(pictureLanguages_ & (1u << language_)))
            addPictureSteps(steps_, language_, false);
        canvas_ = warmCanvas();
    }
    // The first slice plans the warming; a plan with nothing in it ends there.
    void slice()
    {
        if (steps_.empty())
            plan();
        QElapsedTimer took;
        took.start();
        while (next_ < steps_.size()) {
            runStep(steps_[next_++], canvas_);
            if (took.elapsed() >= kSliceMs)
                break;
        }
        if (next_ == steps_.size())
            finish();
    }
    void finish()
    {
        stop();
        for (Script script : scriptsOf(language_))
            scripts_ |= 1u << script;
        pictureLanguages_ |= 1u << language_;
    }

    QTimer timer_;
    QImage canvas_;
    std::vector<WarmStep> steps_;
    size_t next_ = 0;
    unsigned scripts_ = 0;
    unsigned pictureLanguages_ = 0;
    Language language_ = ZH;
};

// Kept, as the glyphs and pictures it records, for as long as the process
// runs; a warming under way stops when the box is put back.
LanguageWarmer& languageWarmer()
{
    static LanguageWarmer* const warmer = [] {
        auto* made = new LanguageWarmer;
        boxstate::keep(boxstate::Step::StartValues, [made] { made->stop(); });
        return made;
    }();
    return *warmer;
}

}  // namespace

double warmFonts()
{
    QElapsedTimer took;
    took.start();
    const QRect lcd(0, 0, kLcdWidth, kLcdHeight);
    std::vector<QFont>& kept = warmedFonts();
    kept.clear();
    forEachFont(true, [&](const QFont& font, int, int, bool bold) {
        QFontMetrics(font).boundingRect(lcd, Qt::TextWordWrap, kEveryScript);
        if (!bold)
            kept.push_back(font);
    });
    const Script script = scriptOf(textLanguage());
    std::vector<WarmStep> steps;
    // At start-up a step takes every letter, at every place, in one go.
    constexpr int kWhole = 1 << 16;
    addScriptSteps(steps, kLatin, kWhole);
    if (script != kLatin)
        addScriptSteps(steps, script, kWhole);
    QImage canvas = warmCanvas();
    for (const WarmStep& step : steps)
        runStep(step, canvas);
    languageWarmer().warmedScript(kLatin);
    languageWarmer().warmedScript(script);
    // What start-up leaves follows once the event loop runs.
    languageWarmer().show(textLanguage());
    return double(took.nsecsElapsed()) / 1e6;
}

double warmPictures()
{
    QElapsedTimer took;
    took.start();
    std::vector<WarmStep> steps;
    addPictureSteps(steps, textLanguage(), true);
    QImage canvas;
    for (const WarmStep& step : steps)
        runStep(step, canvas);
    languageWarmer().warmedPictures(textLanguage());
    return double(took.nsecsElapsed()) / 1e6;
}

void warmLanguageShown()
{
    languageWarmer().show(textLanguage());
}

bool warmingLanguage()
{
    return languageWarmer().running();
}

}  // namespace pages
