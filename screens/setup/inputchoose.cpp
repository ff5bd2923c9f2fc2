#include "screens/setup/inputchoose.h"

#include "app/kelrampara.h"
#include "app/page_support.h"
#include "app/tip.h"
#include "screens/page_directory.h"
#include "screens/setup/source_names.h"
#include "screens/setup/sourceinfo.h"
#include "ui_inputchoose.h"

#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

const pages::Texts kTitle = {QStringLiteral("信源切换"), QStringLiteral("Source switch"),
                             QStringLiteral("Переключение источника"), QStringLiteral("Chuyển đổi nguồn"),
                             QStringLiteral("信源切換")};
const pages::Texts kCropCaption = {QStringLiteral("输入截取"), QStringLiteral("Input intercept"),
                                   QStringLiteral("Источник"), QStringLiteral("Chặn nguồn vào"),
                                   QStringLiteral("輸入截取")};
const pages::Texts kEdidCaption = {QStringLiteral("设置EDID"), QStringLiteral("EDID Settings"),
                                   QStringLiteral("Настройка EDID"), QStringLiteral("Cài đặt EDID"),
                                   QStringLiteral("設置EDID")};

// ---- the window row
const QRect kWindowBar(0, 42, 320, 47);
constexpr int kTabStep = 50;
const QRect kHighlight(7, 0, 51, 46);
const QRect kTab(10, 3, 45, 40);
// The tab's source text: the input's name, and a crop's number under it.
const QRect kTabText(0, 1, 45, 24);
const QRect kTabState(33, 1, 7, 7);
const char* const kTabStyle[InputChoose::kTabs] = {
    "background-color: #867AE9;font: 9px",
    "background-color: #005A8D;font: 9px",
    "background-color: #39A9CB;font: 9px",
    "background-color: #EBA83A;font: 9px",
};
const char* const kHighlightActive = "border:2px solid rgb(255,171,84);";
const char* const kHighlightChosen = "border:2px solid rgb(71, 119, 255);";
const char* const kHighlightHidden = "border:0px solid rgb(255,171,84);";
const char* const kButtonNormal = "color:rgb(255, 255, 255);border:1px solid rgb(255, 255, 255);";
const char* const kButtonFocused = "color:rgb(255, 255, 255);border:1px solid rgb(255,171,84);";

// ---- the entry list
constexpr int kEntryStep = 95;
const QRect kEntry(14, 10, 92, 50);
const QRect kEntryState(3, 5, 7, 7);
const QRect kEntryPicture(12, 5, 25, 8);
// Two pixels taller than the line, so that an underscore is not cut off.
const QRect kEntryName(3, 14, 80, 14);
const QRect kEntryResolution(3, 30, 88, 12);
// The in-use marker keeps its right edge; a long translation widens it to
// the left, short of the source picture.
const QRect kInUseMarker(60, 0, 30, 12);
constexpr int kInUseWidest = 52;
constexpr int kInUseAir = 6;
// The mark's text keeps clear of its rounded ends.
constexpr int kInUseMargin = 3;
constexpr int kEntryPixels = 10;
constexpr int kInUsePixels = 9;
const char* const kEntryFocused = "#source_frame{border:1px solid #FFAB54;border-radius:5px;}";
const char* const kEntryInUse = "#source_frame{border:1px solid #00D65B;border-radius:5px;}";
const char* const kEntryPlain = "#source_frame{border:1px solid #CCCCCC;border-radius:5px;}";
const char* const kEntryText = "color: rgb(255, 255, 255)";
const char* const kInUseStyle = "background-color: #00D65B;color: rgb(255, 255, 255);font: 9px;border-radius:5px;";

KelRamPara* store()
{
    return KelRamPara::p_kelrampara_config;
}

KEL_RAM_PARA& live()
{
    return store()->ram_para;
}

const KEL_RAM_PARA& shadow()
{
    return store()->ram_para_shadow;
}

// Window w has a tab: window 1 always, the others while switched on.
bool hasTab(int w)
{
    return w == 0 || (live().image[w].enable & 0xFF) == ram::kImageShown;
}

// Tab position of window w, or -1 when it has none.
int tabOf(int w)
{
    if (w < 0 || w >= InputChoose::kTabs || !hasTab(w))
        return -1;
    int t = 0;
    for (int v = 0; v < w; ++v)
        t += hasTab(v) ? 1 : 0;
    return t;
}

struct WindowSource {
    int source;
    bool crop;
    int record;  // the crop record, when `crop`
};

WindowSource windowSource(int w)
{
    i16 isCrop = 0;
    char record = 0;
    const int source =
        store()->KelGetImageSource(reinterpret_cast<u8*>(&live()), static_cast<u8>(w), &isCrop, &record, 0);
    return {source, isCrop != 0, static_cast<u8>(record)};
}

bool online(int source)
{
    const SOURCE_STATUS* s = ram::sourceStatus(live(), source);
    return s && s->width != 0 && s->height != 0 && s->rate != 0;
}

bool statusDiffers(int source)
{
    const SOURCE_STATUS* now = ram::sourceStatus(live(), source);
    const SOURCE_STATUS* was = ram::sourceStatus(shadow(), source);
    return now && std::memcmp(now, was, sizeof *now) != 0;
}

// The entry (1 and on) that lists crop record `record` of `source`: the
// rank of its crop number among the source's crop numbers, the order in
// which the list shows them and OK assigns them. 0 when the record is not a
// crop of that source in use.
int entryOfCropRecord(int source, int record)
{
    if (record < 0 || record >= ram::kCrops)
        return 0;
    const u16 key = live().crop_list[record].key;
    if (!(key & ram::kCropInUse) || (key & ram::kCropSourceMask) != source)
        return 0;
    const int number = ram::cropNumber(key);
    for (int e = 1; e <= ram::kCrops; ++e) {
        const int id = store()->KelGetCropID(source, e);
        if (id == 0)
            break;
        if (id == number)
            return e;
    }
    return 0;
}

// What a tab says of its window's source: the input's name, and under it
// the number of the crop it shows.
QString tabSourceText(int w)
{
    const WindowSource s = windowSource(w);
    QString text = sourceinfo::get_source_name_by_sourceid(static_cast<u8>(s.source));
    if (s.crop && s.record < ram::kCrops)
        text += QStringLiteral("\n_Crop%1").arg(ram::cropNumber(live().crop_list[s.record].key));
    return text;
}

QLabel* textLabel(QWidget* parent, const QRect& at, const QFont& font)
{
    auto* label = new QLabel(parent);
    label->setGeometry(at);
    label->setFont(font);
    label->setStyleSheet(kEntryText);
    return label;
}

QLabel* pictureLabel(QWidget* parent, const QRect& at, const QString& picture)
{
    auto* label = new QLabel(parent);
    label->setGeometry(at);
    label->setScaledContents(true);
    if (!picture.isEmpty())
        label->setPixmap(pages::pixmap(picture));
    return label;
}

}  // namespace

InputChoose::InputChoose(QWidget* parent) : Page(PAGE_INPUT_CHOICE, parent), ui(new Ui::InputChoose)
{
    ui->setupUi(this);
    // The source row: the input tabs over the entry list.
    strip.emplace(this, TabStrip::Look{QRect(1, 95, 53, 33), 53, "", QRect(1, 127, 318, 70), "frame", ""}, ui->frame1);
    // The captions; the card is not built yet, so the lists are left to
    // what follows.
    language_changed();
    menulist_init();
    store()->KelCropSourceInit();
    crop_source_num_update();
    initMenu();
    image_select();
}

InputChoose::~InputChoose()
{
    delete ui;
}

// ---------------------------------------------------------------- labelling and refresh

void InputChoose::language_changed()
{
    ui->label_title->setText(pages::pick(kTitle));
    pages::fitText(ui->label_title);
    ui->button_inputcut->setText(pages::pick(kCropCaption));
    pages::fitText(ui->button_inputcut);
    ui->button_EDID->setText(pages::pick(kEdidCaption));
    pages::fitText(ui->button_EDID);
    if (!strip->card())
        return;  // being built
    // Back from the crop or EDID page: crops may have come or gone.
    store()->KelCropSourceInit();
    initSource();
    crop_source_num_update();
}

void InputChoose::syncUpdate(int code)
{
    if (!pages::onGuiThread([code] {
            if (g_inputchoose && g_page_focus.load() == PAGE_INPUT_CHOICE)
                g_inputchoose->syncUpdate(code);
        }))
        return;
    Page::syncUpdate(code);
    const KEL_RAM_PARA& now = live();
    const KEL_RAM_PARA& was = shadow();
    bool enableChanged = false;
    for (int w = 0; w < kTabs; ++w) {
        enableChanged |= now.image[w].enable != was.image[w].enable;
        if (now.image[w].source != was.image[w].source)
            input_source_changed(w);
    }
    const bool sourceChanged = now.image[image_index].source != was.image[image_index].source;
    const bool statusChanged = !sourceChanged && statusDiffers(shown_source);
    const bool cropsChanged = std::memcmp(now.crop_list, was.crop_list, sizeof now.crop_list) != 0;

    if (enableChanged) {
        // Window 1 becomes current; a tab may have gone from under the focus.
        image_index = 0;
        image_tab_saved = 0;
        if (ui_seltype == kWindowRow && ui_select < kTabs)
            ui_select = 0;
        image_select();
        initMenu();
    } else if (ui_seltype == kWindowRow) {
        const u8 elsewhere = g_image_current.load();
        const int tab = tabOf(elsewhere);
        if (elsewhere != image_index && tab >= 0) {
            // The key pad chose another window: the page follows.
            image_index = elsewhere;
            ui_select = image_tab_saved = static_cast<u8>(tab);
            drawWindowRow();
            image_select();
        } else if (sourceChanged) {
            image_select();
        } else if (statusChanged) {
            initSource();
        }
    } else if (sourceChanged) {
        // A link chose the window's input meanwhile: the card marks that one
        // in use.
        used_source = takeWindowSource();
        initSource();
    } else if (statusChanged) {
        initSource();
    }
    if (code == SYNC_FILE_RECEIVED || cropsChanged) {
        store()->KelCropSourceInit();
        initSource();
        crop_source_num_update();
    }
}

// ---------------------------------------------------------------- the window row

void InputChoose::menulist_init()
{
    ui_seltype = kWindowRow;
    current_page = 0;
    used_source = 0;
    const u8 current = g_image_current.load();
    image_index = tabOf(current) >= 0 ? current : 0;
    ui_select = image_tab_saved = static_cast<u8>(tabOf(image_index));
}

void InputChoose::initMenu()
{
    delete window_bar;
    std::fill(std::begin(tab_text), std::end(tab_text), nullptr);
    tab_count = 0;
    window_bar = new QWidget(this);
    window_bar->setGeometry(kWindowBar);
    window_highlight = new QFrame(window_bar);
    window_highlight->setGeometry(kHighlight);
    window_highlight->setStyleSheet(kHighlightActive);
    for (int w = 0; w < kTabs; ++w) {
        if (!hasTab(w))
            continue;
        const int t = tab_count++;
        tab_image[t] = static_cast<u8>(w);
        auto* tab = new QLabel(window_bar);
        tab->setGeometry(kTab.translated(kTabStep * t, 0));
        tab->setStyleSheet(kTabStyle[w]);
        tab->setText(QString::number(w + 1));
        tab->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        tab_text[t] = new QLabel(tab);
        tab_text[t]->setGeometry(kTabText);
        tab_text[t]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        TextCreate(static_cast<u8>(w));
        pictureLabel(tab, kTabState, pages::plainPicture("state_on.png"));
    }
    drawWindowRow();
    window_bar->show();
}

void InputChoose::TextCreate(u8 window)
{
    const int t = tabOf(window);
    if (t < 0 || t >= tab_count || !tab_text[t])
        return;
    tab_text[t]->setText(tabSourceText(window));
    pages::fitText(tab_text[t]);
}

void InputChoose::input_source_changed(int window)
{
    if (window >= 0 && window < kTabs)
        TextCreate(static_cast<u8>(window));
}

// The highlight of the window row and its two buttons, from the state.
void InputChoose::drawWindowRow()
{
    QPushButton* buttons[] = {ui->button_inputcut, ui->button_EDID};
    const int focused = ui_seltype == kWindowRow && ui_select >= kCropButton ? ui_select - kCropButton : -1;
    for (int b = 0; b < 2; ++b)
        pages::setStyle(buttons[b], QLatin1String(b == focused ? kButtonFocused : kButtonNormal));
    if (!window_highlight)
        return;
    if (focused >= 0) {
        pages::setStyle(window_highlight, QLatin1String(kHighlightHidden));
        return;
    }
    const int t = ui_seltype == kWindowRow ? ui_select : image_tab_saved;
    pages::setStyle(window_highlight, QLatin1String(ui_seltype == kWindowRow ? kHighlightActive : kHighlightChosen));
    window_highlight->move(kHighlight.topLeft() + QPoint(kTabStep * t, 0));
}

void InputChoose::imagemenu()
{
    if (ui_seltype == kWindowRow && ui_select < tab_count) {
        image_index = tab_image[ui_select];
        image_tab_saved = ui_select;
        if (image_index != g_image_current.load()) {
            g_image_current = image_index;
            // The key pad's lights and the refresh follow the new window.
            KelRamPara::test_signal(SYNC_PARA_CHANGED);
        }
    }
    drawWindowRow();
}

// The ring of the window row: the tabs, the crop button, the EDID button.
void InputChoose::stepWindowRow(int step)
{
    const int stops = tab_count + 2;
    const int at =
        ui_select >= kCropButton ? tab_count + (ui_select - kCropButton) : std::min<int>(ui_select, tab_count - 1);
    const int next = ((at + step) % stops + stops) % stops;
    ui_select = static_cast<u8>(next < tab_count ? next : kCropButton + (next - tab_count));
}

// ---------------------------------------------------------------- the source row and the list

void InputChoose::image_select()
{
    current_page = 0;
    if (ui_seltype == kWindowRow) {
        const WindowSource s = windowSource(image_index);
        source_seq = sourceinfo::get_listseq_by_source_id(static_cast<u8>(s.source));
        source_name = sourceinfo::get_source_name_by_sourceid(static_cast<u8>(s.source));
        used_source = static_cast<u8>(s.source);
    } else if (ui_seltype == kSourceRow) {
        source_seq = ui_select;
    }
    on_Button_source_clicked();
}

void InputChoose::on_Button_source_clicked()
{
    initSource();
    strip->mark(source_seq);
}

int InputChoose::source_current_check()
{
    const int n = 1 + sourcenames::listedCrops(shown_source);
    max_page = static_cast<u8>((n - 1) / kEntriesPerPage);
    return n;
}

u8 InputChoose::takeWindowSource()
{
    const WindowSource s = windowSource(image_index);
    source_type = s.crop ? 1 : 0;
    if (s.crop)
        crop_id = static_cast<u8>(s.record);
    return static_cast<u8>(s.source);
}

void InputChoose::initSource()
{
    int inUseSource;
    if (ui_seltype == kWindowRow) {
        shown_source = takeWindowSource();
        inUseSource = shown_source;
    } else {
        if (ui_seltype == kSourceRow)
            shown_source = sourceinfo::get_source_id_by_listseq(source_seq);
        inUseSource = used_source;
    }
    source_name = sourceinfo::get_source_name_by_sourceid(shown_source);
    const int n = source_current_check();
    if (ui_seltype == kEntryList && focusedEntry() >= n) {
        // The crops went from under the focus: it goes to the last entry.
        current_page = static_cast<u8>((n - 1) / kEntriesPerPage);
        ui_select = static_cast<u8>((n - 1) % kEntriesPerPage);
    }
    const int inUse = source_type == 0 ? 0 : entryOfCropRecord(inUseSource, crop_id);
    entry_in_use = inUseSource == shown_source && (source_type == 0 || inUse > 0) ? inUse : -1;

    strip->setActive(ui_seltype == kSourceRow);
    strip->rebuildCard([this, n](QFrame* entries) {
        const int first = kEntriesPerPage * current_page;
        for (int i = 0; i < kEntriesPerPage && first + i < n; ++i)
            addEntry(entries, i, first + i, first + i == entry_in_use);
    });
    KEL_DBG("initSource [source_type = %d] , [crop_id = %d] [select_sorce = %d],[current_page=%d],[source_id=%d],"
            "[source_number=%d],[ui_select=%d]\n",
            source_type, crop_id, entry_in_use + 1, current_page, inUseSource, shown_source, ui_select);
}

void InputChoose::addEntry(QWidget* container, int i, int e, bool inUse)
{
    QFont font;
    font.setPixelSize(kEntryPixels);
    auto* entry = new QFrame(container);
    entry->setObjectName(QStringLiteral("source_frame"));
    entry->setGeometry(kEntry.translated(kEntryStep * i, 0));
    const bool focused = ui_seltype == kEntryList && i == ui_select;
    entry->setStyleSheet(focused ? kEntryFocused : inUse ? kEntryInUse : kEntryPlain);
    pictureLabel(entry, kEntryState, pages::plainPicture(inUse ? "state_on.png" : "state_off.png"));
    sourceinfo::set_source_pixmap(pictureLabel(entry, kEntryPicture, QString()), shown_source);
    QLabel* name = textLabel(entry, kEntryName, font);
    name->setObjectName(QStringLiteral("entry_name"));
    QLabel* resolution = textLabel(entry, kEntryResolution, font);

    if (e == 0) {
        name->setText(source_name);
        resolution->setText(sourcenames::inputTiming(shown_source));
    } else {
        CROP_PARA crop{};
        int record = ram::kCrops;
        store()->KelGetCropPara(shown_source, e, &crop, &record);
        name->setText(
            sourcenames::cropName(source_name, record, static_cast<u16>(crop.key), name->font(), name->width()));
        resolution->setText(QString::asprintf("%dx%d", crop.w, crop.h));
    }
    pages::fitText(resolution);
    if (!inUse)
        return;
    auto* marker = new QLabel(entry);
    marker->setStyleSheet(kInUseStyle);
    marker->setAlignment(Qt::AlignCenter);
    marker->setText(pages::inUseCaption());
    QFont small;
    small.setPixelSize(kInUsePixels);
    const int width =
        qBound(kInUseMarker.width(),
               QFontMetrics(small).horizontalAdvance(marker->text()) + kInUseAir + 2 * kInUseMargin, kInUseWidest);
    marker->setGeometry(kInUseMarker.right() + 1 - width, kInUseMarker.y(), width, kInUseMarker.height());
    marker->setContentsMargins(kInUseMargin, 0, kInUseMargin, 0);
    pages::fitText(marker);
}

void InputChoose::para_source_index_init()
{
    ui_select = source_seq;
    current_page = 0;
}

void InputChoose::para_uiselect_init()
{
    const WindowSource s = windowSource(image_index);
    const int inUse = s.crop ? entryOfCropRecord(s.source, s.record) : 0;
    const bool onFirstPage = (!s.crop || inUse > 0) && inUse < kEntriesPerPage;
    ui_select = static_cast<u8>(s.source == shown_source && onFirstPage ? inUse : 0);
}

void InputChoose::crop_source_num_update()
{
    for (int s = 0; s < ram::kSources; ++s)
        entry_count[s] = static_cast<u8>(1 + sourcenames::listedCrops(static_cast<u8>(s)));
    source_name_update();
    source_check_update();
}

void InputChoose::source_name_update()
{
    sourcenames::labelSourceTabs(strip->names(), entry_count);
}

void InputChoose::source_check_update()
{
    for (u8 p = 0; p < TabStrip::kTabs; ++p) {
        const u8 s = sourceinfo::get_source_id_by_listseq(p);
        sourceinfo::set_sourceonline_pixmap(strip->pictures()[p], s, online(s) ? 1 : 0);
    }
}

// The list's entries on all its pages form one ring, three to a page.
void InputChoose::stepEntryList(int step)
{
    const int n = source_current_check();
    const int next = ((focusedEntry() + step) % n + n) % n;
    current_page = static_cast<u8>(next / kEntriesPerPage);
    ui_select = static_cast<u8>(next % kEntriesPerPage);
    initSource();
}

void InputChoose::kel_source_button_clicked()
{
    const int e = focusedEntry();
    const u8 s = shown_source;
    if (e >= source_current_check())
        return;  // an entry that is not there assigns nothing
    if (e == 0) {
        source_type = 0;
        crop_id = 0;
    } else {
        int record = ram::kCrops;
        store()->KelGetCropPara(s, e, nullptr, &record);
        if (record >= ram::kCrops)
            return;
        source_type = 1;
        crop_id = static_cast<u8>(record);
    }
    store()->KelSetImageSource(e, static_cast<char>(s), static_cast<char>(image_index));
    used_source = s;
    initSource();
    TextCreate(image_index);
    if (g_tip)
        g_tip->tip_create(TIP::kCheck);
}

void InputChoose::kel_button_inputcut_clicked()
{
    pages::openPage(PAGE_INPUT_CROP);
}

void InputChoose::kel_button_EDID_clicked()
{
    pages::openPage(PAGE_EDID_SETTINGS);
}

// ---------------------------------------------------------------- keys

void InputChoose::onLeft()
{
    switch (ui_seltype) {
    case kWindowRow:
        stepWindowRow(-1);
        imagemenu();
        image_select();
        break;
    case kSourceRow:
        ui_select = TabStrip::stepped(ui_select, -1);
        image_select();
        break;
    default: stepEntryList(-1); break;
    }
}

void InputChoose::onRight()
{
    switch (ui_seltype) {
    case kWindowRow:
        stepWindowRow(1);
        imagemenu();
        image_select();
        break;
    case kSourceRow:
        ui_select = TabStrip::stepped(ui_select, 1);
        image_select();
        break;
    default: stepEntryList(1); break;
    }
}

void InputChoose::onOk()
{
    switch (ui_seltype) {
    case kWindowRow:
        if (ui_select == kCropButton)
            return kel_button_inputcut_clicked();
        if (ui_select == kEdidButton)
            return kel_button_EDID_clicked();
        ui_seltype = kSourceRow;
        imagemenu();
        para_source_index_init();
        on_Button_source_clicked();
        break;
    case kSourceRow:
        ui_seltype = kEntryList;
        para_uiselect_init();
        on_Button_source_clicked();
        break;
    default: kel_source_button_clicked(); break;
    }
}

void InputChoose::onBack()
{
    switch (ui_seltype) {
    case kWindowRow: slot_Button_back_clicked(); break;
    case kSourceRow:
        // The window's own input is listed again, and its tab marked.
        ui_seltype = kWindowRow;
        ui_select = image_tab_saved;
        imagemenu();
        image_select();
        break;
    default:
        ui_seltype = kSourceRow;
        para_source_index_init();
        on_Button_source_clicked();
        break;
    }
}

// ---------------------------------------------------------------- what the tests look at

QString InputChoose::tabText(int position) const
{
    return position >= 0 && position < tab_count && tab_text[position] ? tab_text[position]->text() : QString();
}

QString InputChoose::entryName(int i) const
{
    const QFrame* entries = strip->card();
    if (!entries)
        return QString();
    const QList<QLabel*> names = entries->findChildren<QLabel*>(QStringLiteral("entry_name"));
    return i >= 0 && i < names.size() ? names[i]->text() : QString();
}
