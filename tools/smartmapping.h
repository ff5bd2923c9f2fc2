// The smart screen set-up page (page 24): four receiving-card tools in a
// menu column on the left, the chosen tool's steps in a stacked widget on
// the right. Each tool hands its job to the FPGA manager's thread and
// follows it with the round progress bar:
//
//   quick mapping    cabinet size, LAN port, rows, columns, routing pattern
//                    and offset; Send places the cards (job 1)
//   load scan        a scan-parameter file from the box or the stick into
//                    the cards of one LAN port (job 2)
//   solidify         the cards keep their parameters (job 3)
//   mapping          FPGA 0's mapping bit, and the cards told (job 4)
//
// The front-panel keys work on two levels. In the menu column LEFT and
// RIGHT choose a tool and show its first page (load scan is skipped while no
// scan file is there), OK enters the tool and BACK closes the page. Inside a
// tool the keys act on the step shown; BACK from a tool's first step
// returns to the menu. While a job's bar is up the page takes no key and no
// touch (the key pad still gets its keys) and cannot be closed.
//
// smartmapping.cpp holds the frame, smartmapping_quick.cpp quick mapping and
// the LAN-port tiles, smartmapping_scan.cpp the scan-file load,
// smartmapping_switches.cpp solidify and the mapping switch.
#pragma once

#include "app/page_support.h"
#include "tools/focus_list.h"
#include "tools/tool_page.h"

#include <QStringList>
#include <array>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class SmartMapping;
}

class SmartMapping : public ToolPage {
    Q_OBJECT
public:
    // The tools, in menu order.
    enum Tool : u8 { kQuickMapping = 0, kLoadScan = 1, kSolidify = 2, kMapping = 3, kTools = 4 };
    // The pages of the stacked widget.
    enum Step : int {
        kQuickStep1 = 0,    // cabinet width and height
        kQuickStep2 = 1,    // LAN port
        kQuickStep3 = 2,    // rows, columns, pattern, offsets, Send
        kRouteChooser = 3,  // the sixteen patterns and Cancel
        kScanPort = 4,      // load scan: LAN port
        kScanList = 5,      // load scan: file list and Load
        kSolidifyPage = 6,
        kMappingPage = 7,
    };
    static constexpr int kPortTiles = 6;   // the LAN ports offered: LED1-LED6
    static constexpr int kGroupTiles = 8;  // ports per group
    static constexpr int kListRows = 3;    // scan files on one list page
    static constexpr int kMaxScanFiles = 100;

    explicit SmartMapping(QWidget* parent = nullptr);
    ~SmartMapping() override;

    void language_changed() override;
    // Besides the language: a stick unplugged (101) or mounted (102) lists
    // the scan files again when the list has been opened (the change
    // notifier then shows the stick's tip box).
    void syncUpdate(int code) override;

    // ---- state the tests look at
    Tool tool() const { return static_cast<Tool>(ui_select); }
    int step() const;
    // The scan files listed, box files first, and the page shown.
    const QStringList& scanFiles() const { return file_paths; }
    int listPage() const { return current_page; }
    // The mapping switch shows mapping on.
    bool mappingShownOn() const { return mapping_on; }

public slots:
    // Touch on the menu column: the tool's first page, the keys back in the
    // menu on that tool. Refused while a job's bar is up.
    void on_Button_shortcut_clicked();
    void on_Button_loadscan_clicked();
    void on_Button_paraweld_clicked();
    void on_Button_mapping_clicked();
    // Quick mapping.
    void on_Button_next_clicked();
    void on_Button_front_2_clicked();
    void on_Button_next_2_clicked();
    void on_Button_front_3_clicked();
    void on_Button_route_clicked();
    void on_Button_cancel_clicked();
    void on_Button_send_clicked();
    void kel_button_wlan_clicked();
    // Load scan.
    void on_Button_next_5_clicked();
    void on_Button_front_6_clicked();
    void on_Button_load_clicked();
    void kel_Button_previous_clicked();
    void kel_Button_next_clicked();
    void kel_button_file_clicked();
    // Solidify and the mapping switch.
    void on_Button_confirm_clicked();
    void on_Button_mapping_state_clicked();

protected:
    void onLeft() override { toolKey(pages::PanelKey::Left); }
    void onRight() override { toolKey(pages::PanelKey::Right); }
    void onOk() override { toolKey(pages::PanelKey::Ok); }
    void onBack() override { toolKey(pages::PanelKey::Back); }
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;
    // A mapping switch no card took is undone; then the tip box as for
    // every tool.
    void jobEnded(bool noFpga, const CardJobEnd& end) override;

private:
    // ---- the frame (smartmapping.cpp)
    void toolKey(pages::PanelKey key);
    void menuKey(pages::PanelKey key);
    // The menu's focus to `tool`, its first page shown, the keys in the menu.
    void selectTool(int tool);
    void showFirstPage(int tool);
    void enterTool();
    // The keys go back from the tool to the menu column.
    void leaveTool();
    void menuTexts();
    void countScanFiles();
    void showStep(Step s);

    // ---- quick mapping and the LAN-port tiles (smartmapping_quick.cpp)
    enum TilePage : u8 { kQuickTiles = 0, kScanTiles = 1 };
    void quickTexts();
    void quickKey(pages::PanelKey key);
    void quickStep1Key(pages::PanelKey key);
    void quickStep2Key(pages::PanelKey key);
    void quickTileKey(pages::PanelKey key);
    void quickStep3Key(pages::PanelKey key);
    void chooserKey(pages::PanelKey key);
    void quickEnter();
    void quickStep2Enter();
    void quickStep3Enter();
    void chooserEnter();
    void chooseRoute(int pattern);
    void line_select(int pattern);
    void askField(QLineEdit* field);
    // The group's tiles on the step page (wlan_init), and a tap on a group.
    void wlan_init(TilePage page);
    void selectPortGroup(u8 group, TilePage page);
    void paintTile(int tile, bool chosen);
    QPushButton* groupButton(u8 group, TilePage page) const;

    // ---- load scan (smartmapping_scan.cpp)
    // The scan-parameter files (suffix "ztfile") of one box folder: regular
    // files only, in name order ignoring case, at most kMaxScanFiles.
    static QStringList scanFilesIn(const QString& boxDir);
    void scanTexts();
    void scanKey(pages::PanelKey key);
    void scanPortKey(pages::PanelKey key);
    void scanTileKey(pages::PanelKey key);
    void scanListKey(pages::PanelKey key);
    void scanRowKey(pages::PanelKey key);
    void scanButtonKey(pages::PanelKey key);
    void scanPortEnter(bool entered);
    void scanListEnter();
    void buildScanList();
    void scan_file_list();
    int rowsShown() const;
    void paintRow(int row, int look);
    void tapRow(int row);

    // ---- solidify and the mapping switch (smartmapping_switches.cpp)
    void switchTexts();
    // Reads the mapping bit from FPGA 0 and shows it; draws the state held.
    void showMappingState();
    void drawMappingState();
    void switchKey(pages::PanelKey key);

    Ui::SmartMapping* ui;
    u8 in_page = 0;
    u8 scan_file_count = 0;

    // quick mapping
    FocusList step1_focus, step2_focus, step3_focus, route_focus;
    u8 tile_mode = 0;
    u8 saved_port = 0;
    // the LAN-port tiles, shared with load scan
    u8 port_group = 0;
    u8 port_tile = 0;
    int tile_count = 0;
    QFrame* tile_frame = nullptr;
    std::array<QFrame*, kGroupTiles> tile_frames{};
    std::array<QPushButton*, kGroupTiles> tile_buttons{};

    // load scan
    QStringList file_paths;
    u8 box_file_count = 0;
    u8 file_count = 0;
    int current_page = 0;
    u8 last_page = 0;
    u8 file_select = 0;
    u32 list_shown = 0;
    QFrame* frame_file = nullptr;
    QLabel* empty_label = nullptr;
    std::array<QLabel*, kListRows> row_labels{};
    std::array<QString, kListRows> row_paths;
    FocusList scan_step1_focus, scan_step2_focus;
    u8 scan_tile_mode = 0;
    // 1 once a tile was confirmed with OK since the keys entered step 1:
    // only then does BACK in the tiles go back to the port held before.
    u8 tile_confirmed = 0;
    u8 list_row = 0;
    u8 in_buttons = 0;

    // mapping switch, and what it showed before the last switch posted
    bool mapping_on = false;
    bool mapping_before = false;
};
