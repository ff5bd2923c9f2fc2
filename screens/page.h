// The page skeleton: what every LCD page above the main window shares, told
// once here. A page derives from Page, passes its page number, builds its
// form, lists its focus ring and labels itself; the skeleton does the rest:
//
// - opening: Page::openOnTop(g_<page>) creates the page with no parent,
//   stores it in its pointer, gives it the focus (g_page_focus) and runs it
//   modally over the page on top; the pages so opened form a stack over the
//   main window;
// - the five front-panel keys at release: LEFT and RIGHT step the focus ring
//   (the highlight is drawn by swapping style sheets, wrapping at both
//   ends), OK runs the focused entry, BACK closes the page, MODE closes the
//   whole stack and opens the user-mode page (refused while the panel keys
//   are locked); every key is then handed to the USB key pad's handler (a
//   refused MODE excepted); key presses do nothing;
// - BACK: the page closes, its pointer is cleared, the page under it (or the
//   main window) re-labels itself and gets the focus;
// - the change notifier's refresh (syncUpdate) while the page has focus;
// - the number keyboard, asked for one value at a time (askNumber);
// - choice lists edited in place: OK on the list starts editing, LEFT and
//   RIGHT step its entries, OK again confirms the entry shown;
// - the input tabs over a card that the video set-up pages show (TabStrip);
// - what an editing page writes: only the fields the operator changed, the
//   others following the block (EditedFields).
//
// See docs/pages.md for a worked example.
#pragma once

#include "app/global.h"
#include "app/page_support.h"
#include "app/ram_para.h"

#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QFrame;
class QLineEdit;
class QTextLayout;

class Page : public QDialog, public pages::PanelKeyHandler {
    Q_OBJECT
public:
    // The menus' two focus styles: the focused entry has the orange border.
    static const char* const kMenuNormalStyle;
    static const char* const kMenuSelectedStyle;
    // A settings page's framed buttons: white frame, orange when focused.
    static const char* const kFrameNormalStyle;
    static const char* const kFrameSelectedStyle;

    ~Page() override;

    // ---- opening and the stack of open pages
    // Opens a page of class T (constructor T(QWidget* parent)) over the page
    // on top: new T with no parent, `pointer` := it, g_page_focus := its
    // number, exec(). Returns when the page has closed; `pointer` is null
    // again by then.
    template <class T>
    static void openOnTop(T*& pointer)
    {
        T* page = new T(nullptr);
        pointer = page;
        page->enterStack([&pointer, page] {
            if (pointer == page)
                pointer = nullptr;
        });
        page->exec();
    }
    // The open page whose number g_page_focus holds, or null (the home page,
    // the main window and pages not built on the skeleton).
    static Page* withFocus();
    // Closes every open page, the top one first, without re-labelling
    // anything; their pointers are null afterwards. The MODE key's first step.
    static void closeStack();

    PAGE_FOCUS pageNumber() const { return number; }

    // ---- labelling and refresh
    // Sets every text and language-dependent picture of the page in the
    // language pages::textLanguage() gives. Called by the page's constructor,
    // by syncUpdate, by the BACK of every page opened from this one, and by
    // other subsystems that change what the page shows.
    virtual void language_changed() = 0;
    // The change notifier's refresh while this page has focus, with the
    // change code. The skeleton's: re-label when the language changed.
    // Pages that show parameter data refresh it here too.
    virtual void syncUpdate(int code);

    // ---- state the tests look at
    u8 selected() const { return ui_select; }
    bool editing() const { return edit_flag != 0; }
    QWidget* focusedWidget() const;
    int entryCount() const { return static_cast<int>(menulist.size()); }

public slots:
    // BACK: closes this page (deleted later by Qt), clears its pointer, calls
    // language_changed() of the page it was opened over (or of the main
    // window) and gives that page the focus.
    virtual void slot_Button_back_clicked();

protected:
    // `number` is the page's PAGE_FOCUS; pages pass no parent.
    Page(PAGE_FOCUS number, QWidget* parent);

    // ---- the focus ring
    // One entry of the ring: its widget and what OK does on it (empty: nothing).
    // An entry with `confirm` is a choice list (its widget a QComboBox)
    // edited in place: OK starts editing it (red frame), LEFT and RIGHT step
    // its entries, OK again ends the editing and hands `confirm` the entry
    // shown. A list without entries is not edited.
    struct Entry {
        QWidget* widget;
        std::function<void()> open;
        std::function<void(int)> confirm = {};
    };
    // The ring in LEFT/RIGHT order.
    void setEntries(std::vector<Entry> entries);
    // Focus on the first entry (ui_select := 0), every other entry resting.
    void menulist_init();
    // Style of entry i at rest and when focused; the menus' styles unless a
    // page overrides them (an entry that is switched off, say). A page whose
    // entry changes state calls restyle(i).
    // Choice lists have their own three: white, orange and, while edited, red
    // frames.
    virtual QString normalStyle(int entry) const;
    virtual QString selectedStyle(int entry) const;
    virtual QString editStyle(int entry) const;
    void restyle(int entry);
    // Moves the focus one entry on (+1) or back (-1), wrapping at both ends.
    void stepFocus(int step);
    // Runs what OK does on entry i; nothing for an index without an entry.
    // On a choice list: starts editing it.
    void runEntry(int entry);

    // ---- editing a choice list
    // The entry the list of ring entry `entry` shows one step (+1 or -1)
    // from `index`: the next or previous one, wrapping; a page whose list
    // skips entries overrides it.
    virtual int stepChoice(int entry, int index, int step) const;
    // Ends the editing without confirming; with `restore` the list shows
    // again the entry it showed before (the first when that one is gone).
    void endEditing(bool restore);
    // An entry picked in the open list of the combo box of ring entry
    // `entry` (tapped, or OK in the list): the list shows it. The
    // skeleton's, for a choice list: confirmed as OK confirms an edit, the
    // focus left where it is; an edit of another entry is given up first.
    // A page whose combo box is no choice list of the skeleton's says what
    // a pick does.
    virtual void choicePicked(int entry, int index);
    // The choice list of ring entry i, or null.
    QComboBox* choiceOf(int entry) const;

    // ---- the keys at release, after the page's debug line and before the
    // key goes on to the key pad. The defaults are a menu's: LEFT and RIGHT
    // step the ring, OK runs the focused entry, BACK closes the page; while
    // a choice list is edited, LEFT and RIGHT step its entries and OK
    // confirms it (BACK still closes the page, dropping the choice).
    // MODE closes the whole stack and opens the user-mode page. A key that
    // is none of the five (onOtherKey) does nothing; MODE is refused
    // (modeRefused) while the panel keys are locked.
    void onLeft() override { editing() ? stepEdited(-1) : stepFocus(-1); }
    void onRight() override { editing() ? stepEdited(1) : stepFocus(1); }
    void onOk() override { editing() ? confirmEdited() : runEntry(ui_select); }
    void onBack() override { slot_Button_back_clicked(); }
    void onMode() override;

    // ---- shared pieces of a page
    // The two hint labels at the foot of a page: OK and BACK.
    static void showHints(QLabel* ok, QLabel* back);
    // Asks the number keyboard for one value: its title and shown value as
    // NumberKeyboard::label_show takes them, run modally over this page.
    // Returns the text confirmed with OK, or nothing when the keyboard was
    // closed otherwise. Only this call receives the keyboard's result, and it
    // returns after the keyboard has closed.
    std::optional<QString> askNumber(const QString& title, const QString& value);
    // The same for a number field: g_lineedit := field while the keyboard is
    // up; the confirmed text is written into the field. True when confirmed.
    bool askNumber(QLineEdit* field, const QString& title);
    // The same for a field whose value goes into a u16 of the block: a
    // confirmed text that is no number 0-65535 leaves the field as it was.
    // True when a value was taken.
    bool askU16(QLineEdit* field, const QString& title);

    // The skeleton's, for every page: pages change what a key does through
    // the on...() operations above.
    void keyPressEvent(QKeyEvent* event) final;
    void keyReleaseEvent(QKeyEvent* event) final;
    // However the dialog ends (a window manager's close included), the page
    // leaves the stack as BACK leaves it.
    void done(int result) override;

    u8 ui_select = 0;
    u8 edit_flag = 0;     // 1 while the focused choice list is edited
    int saved_index = 0;  // the entry it showed when the editing began

private:
    void enterStack(std::function<void()> clearPointer);
    // Off the stack and its pointer cleared; false when it was not on it.
    bool leaveStack();
    void stepEdited(int step);
    void confirmEdited();

    const PAGE_FOCUS number;
    std::vector<Entry> menulist;
    // Clears the page's global pointer; empty while the page is not open.
    std::function<void()> clear_pointer;
};

// What an editing page shows over fields of the block that another writer (a
// control link) may write while the page is open: the picture values, the
// colour-temperature type, an EDID record, a crop's rectangle. For each
// field the page keeps its base, the block's value as the page last took
// it; a field whose shown value differs from its base is one the operator
// changed. Every other field follows the block, and a commit writes the
// operator's changes only: an unchanged OK and a cancel write nothing, so a
// value a link wrote during the edit is never written back over.
class EditedFields {
public:
    using Values = std::vector<int>;

    // The page shows `block` as it stands: no field is changed.
    void begin(const Values& block) { base_ = block; }
    // The page wrote `value` into field `field` itself.
    void took(std::size_t field, int value);
    // Whether the operator changed any of the fields the page shows, or
    // field `field` that shows `shown`.
    bool changed(const Values& shown) const;
    bool changed(std::size_t field, int shown) const;
    // A confirm of field `field` that shows `shown`: when the operator
    // changed it, the page takes it (took) and true; false otherwise.
    bool takeChanged(std::size_t field, int shown);
    // A confirm of a field written on its own (a row, the language): when
    // the operator changed it, the page takes it, and the block, looked at
    // under x518_manage::mutex, is written (`write`, the apply raised
    // before the mutex is let go) only when what it holds there (`held`)
    // is not `shown` already: a confirm of what the block holds, a PC's
    // write of the same entry included, writes nothing, so what goes with
    // the field (a PC's fade steps, its windows' flags) stays. True when it
    // wrote; what a write brings besides (a save, the access point) follows
    // only then.
    bool confirm(std::size_t field, int shown, const std::function<int(const KEL_RAM_PARA&)>& held,
                 const std::function<void(KEL_RAM_PARA&)>& write);
    // confirm's write alone, for an entry whose change the page tells
    // itself: under the mutex, `write` only when the block does not hold
    // `shown` already.
    static bool writeUnlessHeld(int shown, const std::function<int(const KEL_RAM_PARA&)>& held,
                                const std::function<void(KEL_RAM_PARA&)>& write);
    // What a commit writes over `block`: the operator's value in each field
    // the operator changed, the block's own everywhere else.
    Values over(const Values& shown, const Values& block) const;
    // What the page shows once it looked at `block` again: over(), and the
    // fields the operator left take the block's values as their base.
    Values follow(const Values& shown, const Values& block);

private:
    Values base_;
};

// A label of white text, as most of a page's labels are. Its colour is its
// palette, not a style sheet of its own, which a label parses and matches at
// every opening of its page. Forms promote their white labels to it.
class WhiteLabel : public QLabel {
public:
    explicit WhiteLabel(QWidget* parent = nullptr);
};

// A page's combo box. A combo box builds its drop-down list (a list view in
// a window of its own, with scroll bars) the first time its font or its
// style changes, to bring the list along; a page's boxes change both as the
// page is built and are stepped by the keys, their lists seen only when a
// box is tapped. This one leaves its list to be built, and brought up to
// date with the box's font and style, when it is about to show, or when a
// layout asks for the box's size (which those changes alter). Its list has
// a look of its own, whatever the box's style sheet: the page's colours in
// a white frame, the current entry in the blue of a selected row. Forms
// promote their combo boxes to it.
//
// While its list is open the front-panel keys work in it, at their
// release as everywhere: LEFT and RIGHT move to the entry before and after
// (wrapping), OK picks the entry as a tap on it does (activated()), BACK
// closes the list without picking, MODE closes it and goes on to the page.
class ChoiceBox : public QComboBox {
public:
    explicit ChoiceBox(QWidget* parent = nullptr);

    void showPopup() override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the combo box makes of the font and style changes it was spared:
    // its list built and brought up to date, its size measured anew.
    void catchUp();
    // The open list's current entry `step` entries on, wrapping.
    void stepList(int step);

    bool list_built_ = false;
    bool font_changed_ = false;
    bool style_changed_ = false;
};

// An input tab's caption: a text in two colours (an input's name, then its
// count in brackets) at 9 pixels of the label's font, drawn where and as a
// label draws the same text given as rich text (`<font style='font-size:9px'
// color=...>` runs): one line laid out in the label's alignment, centred
// by its height and placed at whole pixels. A label of rich text builds a
// text document and its control, and parses the text, at every opening; this
// lays out one line. Forms promote their tab labels to it.
class TabCaption : public QLabel {
    Q_OBJECT
public:
    static constexpr int kPixels = 9;

    explicit TabCaption(QWidget* parent = nullptr);

    // `lead` in `leadColour`, then `tail` in `tailColour`; text() is the two.
    void showRuns(const QString& lead, const QColor& leadColour, const QString& tail = QString(),
                  const QColor& tailColour = QColor());

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Lays `layout` out as one line `width` wide, or as wide as its text where
    // that is wider (laid out twice at most); the line's height.
    static qreal layOutLine(QTextLayout& layout, qreal width);

    QColor lead_colour_;
    QColor tail_colour_;
    int lead_length_ = 0;
};

// The input tabs of the video set-up pages (EDID settings, input crop, input
// choice) and the card under them. The tabs are the form's labels
// sourcelistseq0name..sourcelistseq3name, each over its picture
// sourcelistseq0pixmap..sourcelistseq3pixmap, by list position (HDMI1,
// HDMI2, HDMI3, DVI); the form's fifth and sixth tab are hidden. A frame
// marks the chosen tab; the card below is the page's to fill, and is built
// anew whole on every refresh.
//
// Frame and card are orange while the keys are in the tabs and blue while
// they are in a row below (or in the card's fields). Their style sheets are
//   frame: "border:1px solid;" lead "border-left-color:C;border-right-color:C;border-top-color:C;"
//   card:  "#" name "{" lead "border:1px solid C;}"
// with C the orange rgb(255,171,84) or the blue rgb(71, 119, 255), and the
// lead and name the page's own (Look).
class TabStrip {
public:
    static constexpr int kTabs = ram::kSources;

    struct Look {
        QRect frame;            // the frame around tab 0
        int step;               // from one tab to the next
        const char* frameLead;  // what the frame's style says before its border colours
        QRect card;
        const char* cardName;  // the card's object name, which its style names
        const char* cardLead;  // what the card's style says before its border
    };

    // The tabs get their inputs' names and pictures. `frame` is the form's
    // frame around the chosen tab, or null for one made here behind the
    // tabs. The frame is orange on tab 0.
    TabStrip(QWidget* page, const Look& look, QFrame* frame = nullptr);

    // The tab captions and pictures by list position.
    TabCaption* const* names() const { return names_; }
    QLabel* const* pictures() const { return pictures_; }
    // The tab `step` (1 or -1) away from `tab`, wrapping at both ends.
    static u8 stepped(u8 tab, int step);

    // The frame moves to tab `tab`.
    void mark(int tab);
    // Orange (true) or blue, frame and card alike.
    void setActive(bool active);
    bool active() const { return active_; }
    QString frameStyle() const;
    QString cardStyle() const;

    // The card: the old one goes with all it holds, a new one takes its place
    // in the look's colour, `fill` puts its content in, and it is shown
    // behind the page's other widgets.
    QFrame* rebuildCard(const std::function<void(QFrame* card)>& fill);
    // The card shown, or null before the first is built.
    QFrame* card() const { return card_; }

private:
    QWidget* const page_;
    const Look look_;
    QFrame* frame_;
    QFrame* card_ = nullptr;
    TabCaption* names_[kTabs] = {};
    QLabel* pictures_[kTabs] = {};
    bool active_ = true;
};
