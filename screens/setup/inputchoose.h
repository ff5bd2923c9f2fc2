// The input-choice page: page 3, opened from the main window and from the
// window layout page. The operator picks a window (a tab for each of
// windows 1-4 that is switched on, window 1 always), then an input (HDMI1,
// HDMI2, HDMI3, DVI), then an entry of that input - the whole input or one
// of its crops, three entries a page - and OK gives the entry to the window
// (KelRamPara::KelSetImageSource) and shows the check-mark tip. The window
// row also opens the input crop and EDID pages.
//
// Three rows instead of one focus ring: LEFT and RIGHT move in the active
// row (wrapping), OK goes one row down (and assigns in the entry list), BACK
// one row up and closes the page from the window row. The highlight is
// moved and recoloured: orange in the active row, blue where the rows
// above were left. Nothing on the page reacts to a touch.
#pragma once

#include "screens/page.h"

#include <QString>

namespace Ui {
class InputChoose;
}
class QFrame;
class QLabel;
class QWidget;

class InputChoose : public Page {
    Q_OBJECT
public:
    // The rows, as ui_seltype holds them.
    enum Row : u8 { kWindowRow = 0, kSourceRow = 1, kEntryList = 2 };
    static constexpr int kTabs = 4;  // windows 1-4
    // Window-row positions after the tabs (0-3).
    static constexpr u8 kCropButton = 4;
    static constexpr u8 kEdidButton = 5;
    static constexpr int kEntriesPerPage = 3;

    explicit InputChoose(QWidget* parent = nullptr);
    ~InputChoose() override;

    // The title and the buttons; once the page is built, also what a page
    // opened from here may have changed: the crops, the list and the inputs'
    // counts and names.
    void language_changed() override;
    // The change notifier's refresh: windows switched on or off, sources
    // changed elsewhere, input timing, the crop table, and code 103 (a new
    // alias file).
    void syncUpdate(int code) override;
    // Window `window`'s tab (when it has one) shows the window's source
    // from the block again.
    void input_source_changed(int window);

    // ---- what the tests look at
    u8 row() const { return ui_seltype; }
    u8 currentWindow() const { return image_index; }
    u8 listedSource() const { return shown_source; }
    u8 currentPage() const { return current_page; }
    int tabCount() const { return tab_count; }
    // Entry (0 the whole input) the list focus is on, counted over all pages.
    int focusedEntry() const { return kEntriesPerPage * current_page + ui_select; }
    // Entry of the listed input shown in use, or -1.
    int entryInUse() const { return entry_in_use; }
    QString tabText(int position) const;
    QString entryName(int i) const;

public slots:
    // OK on an entry of the list: gives it to the current window.
    void kel_source_button_clicked();
    void kel_button_inputcut_clicked();
    void kel_button_EDID_clicked();

private:
    // The window row
    void menulist_init();
    void initMenu();
    void TextCreate(u8 window);
    void imagemenu();
    void drawWindowRow();
    void stepWindowRow(int step);
    // The source row and the list
    void image_select();
    void on_Button_source_clicked();
    void initSource();
    // The current window's source as the block holds it; the kind and crop
    // the card marks in use follow it.
    u8 takeWindowSource();
    void addEntry(QWidget* container, int i, int e, bool inUse);
    void para_source_index_init();
    void para_uiselect_init();
    int source_current_check();
    void crop_source_num_update();
    void source_name_update();
    void source_check_update();
    void stepEntryList(int step);
    // ---- the keys at release, as the skeleton hands them on
    void onLeft() override;
    void onRight() override;
    void onOk() override;
    void onBack() override;

    Ui::InputChoose* ui;

    u8 ui_seltype = kWindowRow;
    u8 image_index = 0;  // the current window (0-3)
    u8 tab_count = 0;
    u8 tab_image[kTabs] = {};  // window of each tab position
    u8 image_tab_saved = 0;    // tab of the current window while a lower row is active
    u8 source_seq = 0;         // list position of the input whose entries are listed
    u8 shown_source = 0;       // its source id
    u8 used_source = 0;        // source id the current window shows
    i16 source_type = 0;       // 1: the current window shows a crop
    u8 crop_id = 0;            // its crop record
    u8 current_page = 0;
    u8 max_page = 0;
    u8 entry_count[ram::kSources] = {};  // by source id: the whole input and its crops
    QString source_name;                 // plain name of shown_source
    int entry_in_use = -1;

    QWidget* window_bar = nullptr;
    QFrame* window_highlight = nullptr;
    QLabel* tab_text[kTabs] = {};
    std::optional<TabStrip> strip;
};
