// What every LCD page shares: the language it labels itself in, its
// pictures under ":/png/", the front-panel keys, the hand-over of keys to the
// USB key pad's handler and the focus highlight. See docs/pages.md.
#pragma once

#include "app/global.h"
#include "app/page_warming.h"

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QtGlobal>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

namespace pages {

// ---- languages
// Index of the five page languages (as g_language holds them).
enum Language : u8 { ZH = 0, EN = 1, RU = 2, VN = 3, TW = 4 };
constexpr int kLanguages = 5;

// The language a page shows: g_language when it is simplified Chinese,
// Russian, Vietnamese or traditional Chinese and its bit is set in
// g_lcd_lang_valid; English in every other case.
Language textLanguage();

// One text per language, in the order of Language.
using Texts = std::array<QString, kLanguages>;
// The entry of `texts` for textLanguage().
QString pick(const Texts& texts);

// ---- pictures
// The page pictures are compiled into the program; call once before the
// first page is built (start-up and the tests do).
void initPictures();
// ":/png/" + the language prefix ("", "en_", "ru_", "vn_", "tn_" by
// textLanguage()) + name, e.g. picture("option.png") = ":/png/en_option.png".
QString picture(const QString& name);
// ":/png/" + name, for pictures that have no language variants.
QString plainPicture(const QString& name);
// What the names of a language's picture variants begin with: "" for
// simplified Chinese, whose pictures are the plain ones, "en_", "ru_",
// "vn_", "tn_".
const char* picturePrefix(Language lang);
// The picture at `path` (as picture() or plainPicture() give it), decoded
// the first time a page asks for it and kept from then on: every page
// that shows it, however often it opens, shares that one copy. Only the
// compiled-in pictures are kept (all of them, every language, come to
// about 1.5 MB decoded); any other path is decoded anew each time. A
// null pixmap when `path` names no picture. GUI thread only, as every
// pixmap.
QPixmap pixmap(const QString& path);
// The same picture as a button's icon, drawn from the kept copy.
QIcon icon(const QString& path);

// ---- front-panel keys (acted on at key release)
enum class PanelKey { None, Left, Right, Ok, Back, Mode };
// LEFT S/F4, RIGHT R/F5, OK Q/F6, BACK O/power-off, MODE M/stop.
PanelKey panelKey(int qtKey);
// The two keys whose press (not release) a page notes in its debug line:
// OK for F6, BACK for power-off; None for every other key.
PanelKey notedPress(int qtKey);
// A page's key press: the debug line of a noted press ("this is OK
// button(<page>)[Press]"), nothing else.
void notePress(int qtKey, const char* page);
// A page's key release: the debug line of a panel key ("this is left-code
// [<page>][Release] ui_select=<select>", "this is OK button(<page>)[Release]",
// ...; no ui_select where `select` is negative), nothing for other keys.
void noteRelease(int qtKey, const char* page, int select);

// A page's debug line (printf format), on Qt's debug channel while the
// program's debug switch is on (g_debugSwitch == kDebugOn), as the other
// trace lines of the program.
void debugLine(const char* format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(1, 2);

// Hands a released key on to the USB key pad's handler, which acts on the
// key pad's window, source, freeze and black keys. Every page calls it at
// the end of its keyReleaseEvent, for every key (a MODE key refused by the
// panel lock excepted).
void passKeyToKeyPad(int qtKey);

// A window the front-panel keys drive (the page skeleton, the main window,
// the home page, the number keyboard): what each key does at its release.
// The defaults do nothing; MODE is refused while the panel keys are locked.
class PanelKeyHandler {
public:
    virtual ~PanelKeyHandler() = default;

protected:
    virtual void onLeft() {}
    virtual void onRight() {}
    virtual void onOk() {}
    virtual void onBack() {}
    virtual void onMode() {}
    // A key that is none of the five panel keys.
    virtual void onOtherKey(int) {}
    // True when MODE is refused: it then does not reach the key pad either.
    virtual bool modeRefused() const;
    // A released key: its debug line (noteRelease, with the focus `select`),
    // what the key does, then the key goes on to the key pad.
    void releaseKey(int qtKey, const char* page, int select);
};

// ---- texts several pages show
// The mark of the user mode or the entry in use ("使用中" ends in a soft hyphen).
QString inUseText();
// inUseText() as a label shows it: Qt draws a soft hyphen that ends a line
// as "-", so the one that ends "使用中" is left out.
QString inUseCaption();
// An input without a signal.
QString noSignalText();
// The mark of a user mode whose save waits for its file to be written: the
// mode is not saved yet.
QString saveWaitsCaption();

// ---- placement
constexpr int kLcdWidth = 320;
constexpr int kLcdHeight = 240;
// Pages are windows of their own, laid out for the 320 x 240 LCD whose
// origin is the main window's. On the box the main window fills the screen
// at 0, 0; on a host display it may lie anywhere, so page positions are
// taken relative to it.
QPoint lcdOrigin();
// Moves a page window over the main window, and has it painted once when it
// shows. On the board's platform (linuxfb) a window is exposed, and painted
// whole, inside show() itself; the updates Qt posts for the widgets it
// shows then paint it whole a second time. A window placed here takes no
// updates from its show event until show() has returned, and is then
// painted once.
void placeOverMainWindow(QWidget* page);

// ---- long texts
// The font in which `text` fits `box` (laid out with `flags`): the largest
// pixel size from `font`'s own down to 9 (smaller is not read on the LCD),
// below that a narrower form of the font at 9 pixels. A font set smaller
// than 9 pixels grows to 9. What the fitText calls below use.
QFont fittingFont(QFont font, const QRect& box, int flags, const QString& text);
// Shrinks the label's font, from its own size down to 9 pixels, until its
// text fits the label (wrapped when the label wraps). The LCD's geometry is
// fixed and some translations are longer than the Chinese they were laid
// out for. Call after every setText; a label's own style sheet is kept.
void fitText(QLabel* label);
// The same for a push button's caption, inside the button's border and
// padding; the button's font is set (its style sheets carry no font).
void fitText(QPushButton* button);
// The same, from `largest` down, for a button whose size depends on the
// language.
void fitText(QPushButton* button, const QFont& largest);
// A text as the LCD shows it: a few given captions break a word in two
// ("Сетевое по\nдключение"); those are shown broken between words. Every
// other text is shown as given.
QString wholeWords(const QString& text);
// `text` with its last two words joined by a no-break space, and the words
// of a clause that closes it after a comma ("..., install it again!") joined
// too: wrapped at whatever width, its last line never holds one word alone,
// nor does the closing clause break ("install / it again!", "hãy / cài
// lại!"). For a line whose size the page chooses as it goes (rich text),
// where no fixed "\n" can say where it breaks.
QString lastWordsTogether(const QString& text);
// setText(wholeWords(pick(texts))), then fitText.
void showText(QLabel* label, const Texts& texts);
void showText(QPushButton* button, const Texts& texts);
// The same for a choice list: one font in which every entry fits the field.
void fitText(QComboBox* box);
// Fills a choice list with `entries`, showing entry `shown` (the first when
// `shown` names none), in a font they all fit.
void setChoices(QComboBox* box, const QStringList& entries, int shown);

// ---- focus highlight: style sheets swapped, never Qt's keyboard focus
void moveFocus(QWidget* from, const QString& fromStyle, QWidget* to, const QString& toStyle);
// Gives `widget` the style sheet `style`, unless it has that one already:
// a sheet set again is parsed and matched again, for the widget and all it
// holds, and draws nothing new. For looks that set colours and borders;
// a sheet that sets a font is set as a page sets it (fitText does).
void setStyle(QWidget* widget, const QString& style);

// ---- calls from other threads
// Runs `fn` in the GUI thread (queued): worker and link threads never touch
// a page themselves. Without an application object (tools, the fuzz
// harness) it runs at once.
void inGuiThread(std::function<void()> fn);
// For a page's own entry points: true when the caller runs in the GUI
// thread. Otherwise `again` is queued there (inGuiThread) and the result is
// false: the caller returns, and `again` repeats the call in the GUI thread.
// By then the page may have closed, so `again` reaches it through its
// global pointer and checks that it is still open.
bool onGuiThread(std::function<void()> again);

// ---- the parameter block as pages read it
// Non-zero when the panel keys are locked (KEL_RAM_PARA.panel_lock).
bool panelLocked();

}  // namespace pages
