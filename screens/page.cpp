#include "screens/page.h"

#include "app/apply_handover.h"
#include "app/kelrampara.h"
#include "app/mainwindow.h"
#include "app/numberkeyboard.h"
#include "app/page_support.h"
#include "screens/page_directory.h"
#include "screens/setup/source_names.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QtMath>
#include <algorithm>

const char* const Page::kMenuNormalStyle =
    "color:rgb(255,255,255);background-color: rgb(33, 36, 53) ; border:2px ;border-radius:10px;padding:2px 4px";
const char* const Page::kMenuSelectedStyle =
    "color:rgb(255,255,255);background-color: rgb(33, 36, 53); border:2px solid rgb(255,171,84);border-radius:10px;"
    "padding:2px 4px";
const char* const Page::kFrameNormalStyle = "color:rgb(255,255,255);border:1px solid rgb(255,255,255);";
const char* const Page::kFrameSelectedStyle = "color:rgb(255,255,255);border:1px solid rgb(255,171,84);";

namespace {

// Frame colours of a choice list: resting, focused, edited.
const char* const kChoiceWhite = "rgb(255,255,255)";
const char* const kChoiceOrange = "rgb(255,171,84)";
const char* const kChoiceRed = "rgb(255,0,0)";

// An open choice list: its entries on the page's background, the current
// one in the blue of a selected row.
const char* const kChoiceListStyle =
    "QAbstractItemView{color:rgb(255,255,255);background-color:rgb(16,16,28);border:1px solid rgb(255,255,255);"
    "outline:0;}"
    "QAbstractItemView::item{color:rgb(255,255,255);background-color:rgb(16,16,28);padding:2px 4px;}"
    "QAbstractItemView::item:selected{color:rgb(255,255,255);background-color:rgb(71,119,255);}";

QString choiceStyle(const char* frameColour)
{
    return QStringLiteral("QComboBox{color:rgb(255,255,255);border:1px solid %1;}"
                          "QComboBox:drop-down{border-style:none}")
        .arg(QLatin1String(frameColour));
}

// The open pages, the first opened first; the main window lies under them all.
std::vector<Page*> openPageList = boxstate::startValue(openPageList, std::vector<Page*>());

std::vector<Page*>& openPages()
{
    return openPageList;
}

// The page `page` was opened over, or null for the main window.
Page* pageUnder(const Page* page)
{
    const std::vector<Page*>& open = openPages();
    const auto at = std::find(open.begin(), open.end(), page);
    return at == open.end() || at == open.begin() ? nullptr : *(at - 1);
}

// The page under a closed one re-labels itself and gets the focus.
void returnTo(Page* under)
{
    if (under) {
        under->language_changed();
        g_page_focus = under->pageNumber();
        return;
    }
    if (g_mainwindow)
        g_mainwindow->language_changed();
    g_page_focus = PAGE_MAIN_MENU;
}

}  // namespace

Page::Page(PAGE_FOCUS page, QWidget* parent) : QDialog(parent), number(page)
{
    pages::placeOverMainWindow(this);
}

Page::~Page()
{
    leaveStack();
}

// ---------------------------------------------------------------- the stack

void Page::enterStack(std::function<void()> clearPointer)
{
    clear_pointer = std::move(clearPointer);
    openPages().push_back(this);
    g_page_focus = number;
}

bool Page::leaveStack()
{
    std::vector<Page*>& open = openPages();
    const auto at = std::find(open.begin(), open.end(), this);
    if (at == open.end())
        return false;
    open.erase(at);
    if (clear_pointer)
        clear_pointer();
    clear_pointer = nullptr;
    return true;
}

Page* Page::withFocus()
{
    const u8 focus = g_page_focus.load();
    const std::vector<Page*>& open = openPages();
    const auto at =
        std::find_if(open.rbegin(), open.rend(), [focus](const Page* p) { return p->pageNumber() == focus; });
    return at == open.rend() ? nullptr : *at;
}

void Page::closeStack()
{
    const std::vector<Page*> open = openPages();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        Page* page = *it;
        page->leaveStack();
        page->setAttribute(Qt::WA_DeleteOnClose);
        page->close();
    }
}

void Page::slot_Button_back_clicked()
{
    Page* under = pageUnder(this);
    leaveStack();
    setAttribute(Qt::WA_DeleteOnClose);
    close();
    returnTo(under);
}

void Page::done(int result)
{
    Page* under = pageUnder(this);
    const bool wasOpen = leaveStack();
    QDialog::done(result);
    if (!wasOpen)
        return;
    deleteLater();
    returnTo(under);
}

void Page::onMode()
{
    closeStack();
    g_mode_shortcut_key = 1;
    pages::openUserModePage();
}

// ---------------------------------------------------------------- refresh

void Page::syncUpdate(int)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (store && store->KelLanguageChanged() != 0)
        language_changed();
}

// ---------------------------------------------------------------- the focus ring

QWidget* Page::focusedWidget() const
{
    return ui_select < menulist.size() ? menulist[ui_select].widget : nullptr;
}

void Page::setEntries(std::vector<Entry> entries)
{
    menulist = std::move(entries);
    for (int i = 0; i < entryCount(); ++i) {
        auto* box = qobject_cast<QComboBox*>(menulist[static_cast<std::size_t>(i)].widget);
        if (!box)
            continue;
        disconnect(box, QOverload<int>::of(&QComboBox::activated), this, nullptr);
        connect(box, QOverload<int>::of(&QComboBox::activated), this, [this, i](int index) { choicePicked(i, index); });
    }
}

void Page::menulist_init()
{
    ui_select = 0;
    for (int i = 0; i < entryCount(); ++i)
        restyle(i);
}

QString Page::normalStyle(int entry) const
{
    return choiceOf(entry) ? choiceStyle(kChoiceWhite) : QString::fromLatin1(kMenuNormalStyle);
}

QString Page::selectedStyle(int entry) const
{
    return choiceOf(entry) ? choiceStyle(kChoiceOrange) : QString::fromLatin1(kMenuSelectedStyle);
}

QString Page::editStyle(int) const
{
    return choiceStyle(kChoiceRed);
}

void Page::restyle(int entry)
{
    if (entry < 0 || entry >= entryCount())
        return;
    QString style;
    if (entry != ui_select)
        style = normalStyle(entry);
    else
        style = editing() ? editStyle(entry) : selectedStyle(entry);
    pages::setStyle(menulist[entry].widget, style);
}

void Page::stepFocus(int step)
{
    const int n = entryCount();
    if (n == 0)
        return;
    const int from = ui_select;
    ui_select = static_cast<u8>(((from + step) % n + n) % n);
    restyle(from);
    restyle(ui_select);
}

void Page::runEntry(int entry)
{
    if (entry < 0 || entry >= entryCount())
        return;
    if (QComboBox* box = choiceOf(entry)) {
        if (box->count() == 0 || entry != ui_select)
            return;
        saved_index = box->currentIndex();
        edit_flag = 1;
        restyle(entry);
        return;
    }
    if (menulist[entry].open)
        menulist[entry].open();
}

// ---------------------------------------------------------------- editing a choice list

QComboBox* Page::choiceOf(int entry) const
{
    if (entry < 0 || entry >= entryCount() || !menulist[entry].confirm)
        return nullptr;
    return qobject_cast<QComboBox*>(menulist[entry].widget);
}

int Page::stepChoice(int entry, int index, int step) const
{
    const int n = choiceOf(entry) ? choiceOf(entry)->count() : 0;
    if (n == 0)
        return index;
    return ((index + step) % n + n) % n;
}

void Page::stepEdited(int step)
{
    if (QComboBox* box = choiceOf(ui_select))
        box->setCurrentIndex(stepChoice(ui_select, box->currentIndex(), step));
}

void Page::confirmEdited()
{
    QComboBox* box = choiceOf(ui_select);
    edit_flag = 0;
    restyle(ui_select);
    if (box)
        menulist[ui_select].confirm(box->currentIndex());
}

void Page::choicePicked(int entry, int index)
{
    if (!choiceOf(entry))
        return;
    if (editing() && entry != ui_select)
        endEditing(true);
    edit_flag = 0;
    restyle(entry);
    menulist[static_cast<std::size_t>(entry)].confirm(index);
}

void Page::endEditing(bool restore)
{
    if (!editing())
        return;
    edit_flag = 0;
    QComboBox* box = choiceOf(ui_select);
    if (box && restore)
        box->setCurrentIndex(saved_index < box->count() ? saved_index : 0);
    restyle(ui_select);
}

// ---------------------------------------------------------------- keys

void Page::keyPressEvent(QKeyEvent* event)
{
    // Presses act on nothing (the dialog's own Escape and Enter included).
    pages::notePress(event->key(), metaObject()->className());
}

void Page::keyReleaseEvent(QKeyEvent* event)
{
    // Also after this page closed: Qt deletes it only later.
    releaseKey(event->key(), metaObject()->className(), ui_select);
}

// ---------------------------------------------------------------- shared pieces

void Page::showHints(QLabel* ok, QLabel* back)
{
    ok->setPixmap(pages::pixmap(pages::plainPicture("OK_Enter.png")));
    back->setPixmap(pages::pixmap(pages::plainPicture("back_return.png")));
}

std::optional<QString> Page::askNumber(const QString& title, const QString& value)
{
    if (!g_numberkeyboard)
        return std::nullopt;
    std::optional<QString> result;
    g_numberkeyboard->label_show(title, value);
    const QMetaObject::Connection c = connect(g_numberkeyboard, &NumberKeyboard::sendKeyBoardUIDataToLineEdit, this,
                                              [&result](const QString& text) { result = text; });
    g_numberkeyboard->exec();
    disconnect(c);
    return result;
}

bool Page::askNumber(QLineEdit* field, const QString& title)
{
    g_lineedit = field;
    const std::optional<QString> text = askNumber(title, field->text());
    if (text && g_lineedit)
        g_lineedit->setText(*text);
    g_lineedit = nullptr;
    return text.has_value();
}

// A text that is no u16 leaves the field as it shows then: a refresh may
// have moved it while the keyboard was up.
bool Page::askU16(QLineEdit* field, const QString& title)
{
    g_lineedit = field;
    const std::optional<QString> text = askNumber(title, field->text());
    g_lineedit = nullptr;
    bool ok = false;
    const u16 value = text ? text->toUShort(&ok) : 0;
    if (ok)
        field->setText(QString::number(value));
    return ok;
}

// ---------------------------------------------------------------- edited fields

bool EditedFields::changed(std::size_t field, int shown) const
{
    return field >= base_.size() || shown != base_[field];
}

void EditedFields::took(std::size_t field, int value)
{
    if (field < base_.size())
        base_[field] = value;
}

bool EditedFields::takeChanged(std::size_t field, int shown)
{
    if (!changed(field, shown))
        return false;
    took(field, shown);
    return true;
}

bool EditedFields::confirm(std::size_t field, int shown, const std::function<int(const KEL_RAM_PARA&)>& held,
                           const std::function<void(KEL_RAM_PARA&)>& write)
{
    return takeChanged(field, shown) && writeUnlessHeld(shown, held, write);
}

bool EditedFields::writeUnlessHeld(int shown, const std::function<int(const KEL_RAM_PARA&)>& held,
                                   const std::function<void(KEL_RAM_PARA&)>& write)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return false;
    QMutexLocker lock(&ApplyHandover::mutex);
    if (held(store->ram_para) == shown)
        return false;
    write(store->ram_para);
    KelRamPara::raiseApplyLocked();
    return true;
}

bool EditedFields::changed(const Values& shown) const
{
    for (std::size_t f = 0; f < shown.size(); ++f)
        if (changed(f, shown[f]))
            return true;
    return false;
}

EditedFields::Values EditedFields::over(const Values& shown, const Values& block) const
{
    Values out = shown;
    for (std::size_t f = 0; f < out.size() && f < block.size(); ++f)
        if (!changed(f, shown[f]))
            out[f] = block[f];
    return out;
}

EditedFields::Values EditedFields::follow(const Values& shown, const Values& block)
{
    const Values out = over(shown, block);
    for (std::size_t f = 0; f < shown.size() && f < base_.size(); ++f)
        if (!changed(f, shown[f]))
            base_[f] = out[f];
    return out;
}

// ---------------------------------------------------------------- white labels

WhiteLabel::WhiteLabel(QWidget* parent) : QLabel(parent)
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);
}

// ---------------------------------------------------------------- combo boxes

ChoiceBox::ChoiceBox(QWidget* parent) : QComboBox(parent) {}

void ChoiceBox::catchUp()
{
    const bool first = !list_built_;
    list_built_ = true;
    // The list has its own look, whatever the box's sheet says: the page's
    // colours, a white frame, the current entry in the blue of a selected
    // row, so that the keys' steps through it show.
    if (first) {
        setItemDelegate(new QStyledItemDelegate(this));
        view()->setStyleSheet(QLatin1String(kChoiceListStyle));
        // The keys reach the open list's view; this looks at them before
        // the list's own handling does.
        view()->installEventFilter(this);
    }
    if (first || style_changed_) {
        QEvent styleChange(QEvent::StyleChange);
        QComboBox::changeEvent(&styleChange);
    }
    if (first || font_changed_) {
        QEvent fontChange(QEvent::FontChange);
        QComboBox::changeEvent(&fontChange);
    }
    font_changed_ = style_changed_ = false;
}

void ChoiceBox::showPopup()
{
    if (!list_built_)
        catchUp();
    QComboBox::showPopup();
}

QSize ChoiceBox::sizeHint() const
{
    if (font_changed_ || style_changed_)
        const_cast<ChoiceBox*>(this)->catchUp();
    return QComboBox::sizeHint();
}

QSize ChoiceBox::minimumSizeHint() const
{
    if (font_changed_ || style_changed_)
        const_cast<ChoiceBox*>(this)->catchUp();
    return QComboBox::minimumSizeHint();
}

void ChoiceBox::changeEvent(QEvent* event)
{
    // Once the list is built the box follows every change as any combo box
    // does. Before, what it shows itself is drawn from its font and style
    // when it paints, and the rest waits: a layout that holds the box is
    // told the size may have changed (as every widget tells it), and asks
    // for it anew.
    const bool font = event->type() == QEvent::FontChange, style = event->type() == QEvent::StyleChange;
    if (list_built_ || (!font && !style)) {
        QComboBox::changeEvent(event);
        return;
    }
    font_changed_ = font_changed_ || font;
    style_changed_ = style_changed_ || style;
    QWidget::changeEvent(event);
}

void ChoiceBox::stepList(int step)
{
    QAbstractItemView* list = view();
    const int n = count();
    if (n == 0)
        return;
    const int from = list->currentIndex().isValid() ? list->currentIndex().row() : currentIndex();
    list->setCurrentIndex(model()->index(((from + step) % n + n) % n, modelColumn(), rootModelIndex()));
}

bool ChoiceBox::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched != view() ||
        (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride))
        return QComboBox::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    const pages::PanelKey panel = pages::panelKey(key);
    if (panel == pages::PanelKey::None)
        return false;
    // The panel's keys act at their release; a press does nothing (the
    // list's own F4 would close it, as it is offered first as a shortcut).
    if (type != QEvent::KeyRelease) {
        event->accept();
        return true;
    }
    switch (panel) {
    case pages::PanelKey::Left: stepList(-1); break;
    case pages::PanelKey::Right: stepList(1); break;
    case pages::PanelKey::Ok: {
        // Picked as the list picks on Enter: it closes, the box shows the
        // entry and tells activated().
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Enter, Qt::NoModifier);
        QCoreApplication::sendEvent(view(), &enter);
        break;
    }
    case pages::PanelKey::Back: hidePopup(); break;
    case pages::PanelKey::Mode: {
        hidePopup();
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(window(), &release);
        break;
    }
    case pages::PanelKey::None: break;
    }
    return true;
}

// ---------------------------------------------------------------- the input tabs

TabCaption::TabCaption(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void TabCaption::showRuns(const QString& lead, const QColor& leadColour, const QString& tail, const QColor& tailColour)
{
    lead_colour_ = leadColour;
    tail_colour_ = tailColour;
    lead_length_ = lead.size();
    setText(lead + tail);
    update();
}

qreal TabCaption::layOutLine(QTextLayout& layout, qreal width)
{
    auto layOut = [&layout](qreal w) {
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(w);
        line.setPosition(QPointF(0, 0));
        layout.endLayout();
        return line;
    };
    // Without wrapping the line's natural width does not depend on the
    // width it is given: a second layout at that width is the last.
    const QTextLine line = layOut(width);
    const qreal natural = line.naturalTextWidth();
    return natural > width ? layOut(natural).height() : line.height();
}

void TabCaption::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFrame(&painter);
    QFont font = this->font();
    font.setPixelSize(kPixels);
    const QString shown = text();
    QTextLayout layout(shown, font);
    QTextOption option(alignment());
    option.setWrapMode(QTextOption::ManualWrap);
    layout.setTextOption(option);
    // The text may have been set since (QLabel::setText): the lead is at
    // most all of it.
    const int lead = qMin(lead_length_, int(shown.size()));
    QVector<QTextLayout::FormatRange> runs(2);
    runs[0].start = 0;
    runs[0].length = lead;
    runs[0].format.setForeground(lead_colour_);
    runs[1].start = lead;
    runs[1].length = shown.size() - lead;
    runs[1].format.setForeground(tail_colour_);
    layout.setFormats(runs);
    const QRect box = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    // The label's document grows to a line wider than the label and starts
    // it at its left, cut at the label's right.
    const qreal height = layOutLine(layout, box.width());
    qreal top = 0;
    if (alignment() & Qt::AlignVCenter)
        top = qMax((box.height() - height) / 2, qreal(0));
    else if (alignment() & Qt::AlignBottom)
        top = qMax(box.height() - height, qreal(0));
    const QRect placed = QRectF(box.x(), box.y() + top, box.width(), box.height()).toAlignedRect();
    painter.translate(placed.topLeft());
    painter.setClipRect(placed.translated(-placed.topLeft()));
    layout.draw(&painter, QPointF(0, 0));
}

namespace {

// The tab strip's colours: orange where the keys are, blue where they were.
const char* const kStripActive = "rgb(255,171,84)";
const char* const kStripResting = "rgb(71, 119, 255)";

template <class T>
T* formChild(QWidget* page, const char* pattern, int tab)
{
    return page->findChild<T*>(QString::fromLatin1(pattern).arg(tab));
}

}  // namespace

TabStrip::TabStrip(QWidget* page, const Look& look, QFrame* frame) : page_(page), look_(look), frame_(frame)
{
    for (int t = 0; t < kTabs; ++t) {
        names_[t] = formChild<TabCaption>(page, "sourcelistseq%1name", t);
        pictures_[t] = formChild<QLabel>(page, "sourcelistseq%1pixmap", t);
    }
    sourcenames::fillSourceTabs(names_, pictures_);
    for (int t = kTabs; t < kTabs + 2; ++t) {
        for (QLabel* extra :
             {formChild<QLabel>(page, "sourcelistseq%1name", t), formChild<QLabel>(page, "sourcelistseq%1pixmap", t)})
            if (extra)
                extra->hide();
    }
    if (!frame_) {
        frame_ = new QFrame(page);
        frame_->setObjectName(QStringLiteral("tab_frame"));
        frame_->lower();
    }
    frame_->setGeometry(look_.frame);
    frame_->setStyleSheet(frameStyle());
}

u8 TabStrip::stepped(u8 tab, int step)
{
    return static_cast<u8>(((tab + step) % kTabs + kTabs) % kTabs);
}

void TabStrip::mark(int tab)
{
    frame_->setGeometry(look_.frame.translated(look_.step * tab, 0));
}

void TabStrip::setActive(bool active)
{
    // A sheet set again is parsed and matched again, for the card with all
    // it holds.
    if (active == active_)
        return;
    active_ = active;
    frame_->setStyleSheet(frameStyle());
    if (card_)
        card_->setStyleSheet(cardStyle());
}

QString TabStrip::frameStyle() const
{
    return QStringLiteral("border:1px solid;%1border-left-color:%2;border-right-color:%2;border-top-color:%2;")
        .arg(QLatin1String(look_.frameLead), QLatin1String(active_ ? kStripActive : kStripResting));
}

QString TabStrip::cardStyle() const
{
    return QStringLiteral("#%1{%2border:1px solid %3;}")
        .arg(QLatin1String(look_.cardName), QLatin1String(look_.cardLead),
             QLatin1String(active_ ? kStripActive : kStripResting));
}

QFrame* TabStrip::rebuildCard(const std::function<void(QFrame* card)>& fill)
{
    delete card_;
    card_ = new QFrame(page_);
    card_->setObjectName(QLatin1String(look_.cardName));
    card_->setGeometry(look_.card);
    card_->setStyleSheet(cardStyle());
    fill(card_);
    card_->lower();
    card_->show();
    return card_;
}
