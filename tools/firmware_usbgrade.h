// The USB upgrade page: page 26, opened from the communication menu. It
// lists the upgrade packages on the USB stick, four rows a page, and its OK
// key hands the upgrade to the FPGA manager's thread (fpga/fpga_upgrade.cpp),
// which installs every package it finds, whatever row is selected. One run
// per opening of the page: once started, the page stays started until it
// is closed. When the worker's change code 104 comes, the log line says the
// run is over, or in red what must be installed again, what the record
// of incomplete programs still marks, and what the run left out of what
// the stick holds and why (no package found, packages refused or not read,
// the stick pulled, another product's parts, packages beyond a run's
// most): "Update complete" only when nothing is left out. The line beside
// the button gives the run's start and end times. Opened after a run ended
// (behind a closed page too), the page shows that run's end until a new
// run starts; otherwise what earlier runs left incomplete, from the
// opening. A record told behind that the worker brings up to date
// (change code 1) is told no more. See docs/usb-upgrade.md.
#pragma once

#include "screens/page.h"

#include <QPointer>
#include <QRect>
#include <QStringList>
#include <array>

namespace Ui {
class firmware_usbgrade;
}
class QFrame;
class QLabel;
class QPushButton;
class fpga_manage;

class firmware_usbgrade : public Page {
    Q_OBJECT
public:
    static constexpr int kRowsPerPage = 4;
    static constexpr int kMaxFiles = 100;

    explicit firmware_usbgrade(QWidget* parent = nullptr);
    ~firmware_usbgrade() override;

    void language_changed() override;
    // 101 (stick removed) and 102 (stick readable) list the stick again;
    // 104 (the upgrade is over) shows the run's times, and in red what it
    // left to install again.
    void syncUpdate(int code) override;

    // OK: starts the upgrade, once in the life of the page.
    void menulist_button_ok_page();
    // The last run ended, since the box started, having installed whole
    // everything it found, and nothing is marked incomplete; false too
    // while none has ended. What the communication menu tells of a run
    // that ends behind a closed page.
    static bool lastRunWhole();
    // Lists the packages on the stick: the first page shown, the first
    // "KEL" package and every "KELZK" package highlighted.
    void get_file_list_smartpath();
    // Builds the rows of the page of packages shown, and its paging buttons.
    void upgrade_file_list();

    // ---- state the tests look at
    int fileCount() const { return file_count; }
    int currentPage() const { return current_page; }
    int lastPage() const { return last_page; }
    bool started() const { return file_downing != 0; }
    // What the log line tells.
    enum class LogShown : u8 { kNothing, kRunGoing, kOver, kFault };
    LogShown logShown() const { return log_shown; }

public slots:
    // A tap on the button: the time, with a warning while a run goes; what
    // the log line tells of a fault or of a run that is over stays.
    void on_Button_grade_clicked();
    // A tap on a row: that row highlighted, the one tapped before not.
    void kel_button_file_clicked();
    void kel_Button_previous_clicked();
    void kel_Button_next_clicked();

protected:
    // The list has no key navigation.
    void onLeft() override {}
    void onRight() override {}
    void onOk() override { menulist_button_ok_page(); }
    // MODE also waits while this page has started a run.
    bool modeRefused() const override;
    QString selectedStyle(int entry) const override;

private:
    struct Row {
        QLabel* label = nullptr;
        QString path;
    };
    // The log line at the end of a run: the run is over, or in red what
    // must be installed again; the run's times beside the button.
    void showRunEnd();
    // At opening: in red what earlier runs left incomplete, if anything.
    void showIncomplete();
    // Once the record the page told was behind is up to date: what the
    // page tells, told again.
    void recordCaughtUp();
    // The red lines at the largest size at which they fit the log line;
    // when they fit at none, the log line takes the list's place too.
    void showRedLines(const QStringList& failures);
    // The red lines at the largest size that fits; false when none does.
    bool fitRedLines(const QString& text);
    bool logFits() const;
    // The log line over the list (hidden) or in its own place.
    void coverList(bool over);
    // What must be installed again: what is marked incomplete, and with
    // `thisRun` what the last run could not install.
    static QStringList failureLines(const fpga_manage& worker, bool thisRun);
    // What the last run left out of what the stick holds, and why.
    static QStringList shortfallLines(const fpga_manage& worker);
    void addRow(int row, int index);
    QPushButton* addPagingButton(const QString& picture, int y);
    void highlightRow(int row, bool on);

    Ui::firmware_usbgrade* ui;
    QStringList file_list;
    u8 file_count = 0;
    int8_t current_page = 0;
    u8 last_page = 0;
    std::array<u8, kMaxFiles> file_flags{};
    std::array<Row, kRowsPerPage> rows{};
    QPointer<QFrame> frame_file;
    u8 file_select = 0;
    u8 file_downing = 0;
    LogShown log_shown = LogShown::kNothing;
    QRect log_place;             // the log line's own place
    bool log_over_list = false;  // the log line covers the list
    bool run_ended = false;      // the log line tells a run's end
    bool record_told = false;    // it tells that the record is behind
};
