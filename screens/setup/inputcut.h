// The input crop page: page 7, opened from the settings menu and from the
// input choice. For each input (tabs HDMI1, HDMI2, HDMI3, DVI) it lists the
// whole input and its crops, six tiles a page, with an add button; the crop
// editor below the list adds a crop, rewrites one's rectangle or deletes it
// (inputcut_editor.cpp). Every change goes through the parameter store's
// crop operations; windows that show a crop are cropped by the chip.
//
// Four levels instead of one focus ring: the source tabs, the crop list, and
// the editor for a new or an existing crop. OK goes a level down, BACK one
// up (and closes the page from the tabs). Only the editor's four value
// fields react to a touch.
#pragma once

#include "app/ram_para.h"
#include "screens/page.h"

#include <QString>

namespace Ui {
class InputCut;
}
struct CROP_PARA;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class InputCut : public Page {
    Q_OBJECT
public:
    enum Level : u8 { kTabs = 0, kList = 1, kNewCrop = 2, kExistingCrop = 3 };
    static constexpr int kTilesPerPage = 6;
    static constexpr int kTilesPerRow = 3;
    // The add button, as a tile position.
    static constexpr int kAddButton = -1;
    // The editor's focus positions, left to right; a new crop has no Delete.
    enum EditorFocus : u8 { kX, kY, kW, kH, kDelete, kCancel, kOk, kEditorPositions };

    explicit InputCut(QWidget* parent = nullptr);
    ~InputCut() override;

    void language_changed() override;
    // Re-labels on a language change; the tab counts and the list follow
    // the crop table when it changed, and after code 103 (a new alias file);
    // the editor's values the operator left follow the crop it is open on.
    void syncUpdate(int code) override;

    // ---- what the tests look at
    u8 level() const { return menu_level; }
    u8 listedSource() const { return source_number; }
    u8 currentPage() const { return current_pag; }
    // Item count of the listed input: the whole input and its crops.
    int itemCount() const { return max_source_info; }
    // Item count of input `source` (a source id) as its tab shows it: the
    // whole input and its crops; 0 for a value that names no input.
    int get_source_num(int source) const;
    // The focused list position: kAddButton, a tile position (0 the whole
    // input), or a position past the list after a delete.
    int focusedTile() const;
    u8 editorFocus() const { return editor_focus; }
    QString tileName(int tile) const;
    QString editorTitle() const;

public slots:
    // Touch on a value field: the number keyboard for that field.
    void show_numberkeyboard_ui(QString text);

private:
    // ---- the tabs and the list (inputcut.cpp)
    void kel_button_input_clicked();
    void source_init();
    void addTile(QFrame* list, int i, int tile);
    void crop_source_num_update();
    int source_current_check();
    void stepTabs(int step);
    void stepList(int step);
    void focusTile(int tile);
    void enterList();
    // ---- the keys at release, as the skeleton hands them on
    void onLeft() override;
    void onRight() override;
    void onOk() override;
    void onBack() override;

    // ---- the editor (inputcut_editor.cpp)
    QPushButton* editorButton();
    QWidget* editorWidget(int position) const;
    // Editor widget `position` in its resting or its focused style.
    void kel_sel_info(int position, bool selected);
    // Opens the editor for a new crop (the add button) or on the focused tile.
    void kel_button_add_clicked();
    void kel_button_source_clicked();
    void showEditor(const QString& cropName, bool withDelete, const CROP_PARA& values);
    void stepEditor(int step);
    void editorKeyOk();
    void askValue(QLineEdit* field);
    // X, Y, W and H as the editor shows them (by EditorFocus), and shown anew.
    EditedFields::Values shownCrop() const;
    void showCrop(const EditedFields::Values& values);
    void followCrop();
    // Closes the editor after `command`, one of the three below, back to
    // the list.
    void closeEditor(void (InputCut::*command)());
    void kel_button_ok_clicked();
    void kel_button_cancel_clicked();
    void kel_button_delete_clicked();
    void para_changed_over();

    Ui::InputCut* ui;

    u8 menu_level = kTabs;
    u8 tab_select_saved = 0;
    int list_select_saved = kAddButton;
    u8 current_pag = 0;
    u8 last_pag = 0;
    u8 source_number = 0;
    int max_source_info = 1;
    u8 item_count[ram::kSources] = {};  // by source id
    QString source_name;                // plain name of source_number

    // The crop open in the editor: its tile, record and key when it opened.
    int crop_number = 0;
    int crop_record = ram::kCrops;
    u16 crop_key = 0;
    EditedFields crop_seen;  // its X, Y, W and H
    QString crop_name;
    u8 editor_focus = kX;

    std::optional<TabStrip> strip;
    QPushButton* add_button = nullptr;
    QPushButton* button_delete = nullptr;
    QPushButton* button_cancel = nullptr;
    QPushButton* button_ok = nullptr;
};
