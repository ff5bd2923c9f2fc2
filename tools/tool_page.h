// What the receiving-card tool pages (smart mapping, receiving-card
// recovery) share: they hand a job to the FPGA manager's thread through
// g_send_para and follow it with the round progress bar laid over the page.
// While that bar is up the page is locked: BACK, MODE and a control link's
// close request are refused, and no second job can be posted. A job that
// did less than asked is told when it ends, by the tip box or as the page
// shows it (jobEnded): cut short because FPGA 0 was not running, refused
// (a port without link or cards, a refused file, screen settings out of
// range), or not taken by some of its cards (how many, and which).
#pragma once

#include "fpga/fpga_manage_jobs.h"
#include "screens/page.h"

class ToolPage : public Page {
    Q_OBJECT
public:
    // A job's bar is up (g_qround_bar): the tool pages are locked.
    static bool jobShown();
    // No bar is up, the FPGA manager holds no job and no USB upgrade runs:
    // a page may post one.
    static bool mayPostJob();

    // What the tip box says of a job that was refused or that some of its
    // cards did not take; empty when it was done whole.
    static QString jobNotDoneText(const CardJobEnd& end);
    // Why a file was refused: a clause that follows a lead ending in a colon.
    static QString fileFaultText(cardfile::Fault fault);
    // "LED1, LED3": the ports whose bit is set, as their tiles name them; a
    // line may break between two names.
    static QString portNames(u16 ports);
    // The cards that did not answer a job in time, a line per port ("LED1:
    // cards 3, 5-7"), at most three lines; with more ports, the last line
    // names the further ones.
    static QStringList missedCardLines(const std::vector<CardPlace>& missed);

public slots:
    // Refused while a job's bar is up.
    void slot_Button_back_clicked() override;

signals:
    // The running job's progress, forwarded from the FPGA manager's thread
    // while the page is open; the bar follows it.
    void sig_qround_bar_update(int percent);

protected:
    ToolPage(PAGE_FOCUS number, QWidget* parent);
    ~ToolPage() override;

    // The job this page posted has ended (100 came); `noFpga`: it was cut
    // short because FPGA 0 was not running; `end`: the rest of how it ended.
    // The page's own way of telling; by default the tip box says what was
    // not done, and nothing shows when the job was done whole.
    virtual void jobEnded(bool noFpga, const CardJobEnd& end);

    // Lays the round progress bar over the page, lets it follow the page's
    // progress, posts `job` (the job's inputs are written by then) and wakes
    // the FPGA manager. False, with nothing done, when !mayPostJob().
    bool postJob(u8 job);
    // MODE is refused under the panel lock and while a job's bar is up.
    bool modeRefused() const override;

private:
    // The running job's progress from the FPGA manager's thread.
    void jobProgress(int percent);

    bool job_posted_ = false;  // a job of this page has not reported 100 yet
};
