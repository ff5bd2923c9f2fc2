// The receiving-card jobs of the FPGA manager's thread: what a tool page
// posts in g_send_para, how the thread reports its progress and what the
// recovery jobs hand back to the recovery page. The jobs themselves are
// members of fpga_manage (fpga_manage_jobs.cpp).
#pragma once

#include "app/global.h"
#include "fpga/card_files.h"
#include "fpga/send_para.h"
#include "registers/fpga_regs.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <vector>

// What rcv_recovery_check_deal does: job 2, 5 or 6.
enum RCV_CHECK_OR_RECOVERY { RCV_LOAD_SCAN, RCV_CHECK, RCV_RECOVERY };

// The steps a job goes through, as g_send_para.step holds them.
enum CardJobStep : u8 {
    kJobStart = 0,    // posted: the job checks and takes its inputs
    kJobRun = 1,      // sending, port by port or card by card
    kJobReplay = 2,   // job 6: the recovery file's operations for the card
    kJobSaving = 3,   // job 6: the card saves what was replayed
    kJobClosing = 4,  // jobs 1-4: the last value is shown before 100
    kJobFailed = 5,   // jobs 5 and 6: 100 shown, the job word kept a moment
};

// g_send_para.recovery_progress while a port is asked and nothing answered.
constexpr u16 kRecoveryAsking = 0xFFFF;

// A receiving card: the sending port it hangs on and its place on the
// port's chain (0 nearest the box).
struct CardPlace {
    u8 port;
    u16 card;
    bool operator==(const CardPlace& o) const { return port == o.port && card == o.card; }
};

// Why a job sent nothing at all.
enum class JobRefusal : u8 {
    kNone = 0,
    kPortDown,  // jobs 1 and 2: their sending port has no link
    kNoCards,   // jobs 1 and 2: the card search found no card on it; jobs 3 and 4: on any linked port
    kScreen,    // job 1: rows, columns, cabinet size, pattern or offset out of range
    kFile,      // jobs 2, 5 and 6: their file was refused (CardJobEnd::file says why)
    kNoLinks,   // jobs 3 and 4: none of their ports has a link
};

// How the job that reported 100 last ended, besides CardJobReport::no_fpga.
struct CardJobEnd {
    u8 job = 0;  // its number (SEND_JOB)
    JobRefusal refused = JobRefusal::kNone;
    cardfile::Fault file = cardfile::Fault::kNone;  // a refused file: what was wrong with it
    u8 port = 0;                                    // the port of a kPortDown or kNoCards refusal
    // Jobs 3 and 4 refused for kNoCards: their linked ports (bit p: port p),
    // none of which has a card that answered the search.
    u16 empty_ports = 0;
    // Jobs 5 and 6: the ports (bit p: port p) their query could not ask: no
    // link at their turn, or the link lost before every card answered. A
    // query that found no card says so rather than that none needs it.
    u16 unasked_ports = 0;
    // Jobs 1-4: the cards the job was for, and those of them that did not
    // answer its frames (did not take it), port by port in chain order.
    // Jobs 5 and 6: the cards of the ports their query waited for to the
    // end, and those that did not answer it in time (silent, or late): the
    // query cannot tell that none of them needs recovery.
    int cards = 0;
    std::vector<CardPlace> missed;
};

// The progress of the running job: whole percentages 0-99 while it runs
// and 100 when it has ended, emitted from the manager's thread. The tool
// page that posted the job forwards it to its own sig_qround_bar_update(int)
// while it is open (the round progress bar follows that one); with no page
// open nobody listens.
class CardJobReport : public QObject {
    Q_OBJECT
public:
    // The job that reported 100 last was cut short because FPGA 0 was not
    // running, when it was posted or on the way: nothing, or not all, was
    // sent to the cards. Written before that 100 is emitted.
    std::atomic<bool> no_fpga{false};

    // The rest of how it ended, written before the same 100, read by the
    // page that posted the job once 100 has come.
    void setEnd(const CardJobEnd& end);
    CardJobEnd end() const;

signals:
    void sig_qround_bar_update(int percent);

private:
    mutable QMutex mutex_;
    CardJobEnd end_;
};

// The result list of the recovery page, handed over between the recovery
// jobs (the manager's thread) and the page (the GUI thread) under one lock.
// The page calls pageOpened when it is created (every opening starts empty)
// and pageClosed when it closes; the jobs write only while it is open.
class RcvRecoveryResult {
public:
    void pageOpened();
    void pageClosed();
    bool isOpen() const;

    // The page: the entries and how many of them to show; its Query sets
    // the count to 0.
    QStringList list() const;
    u8 count() const;
    void setCount(u8 n);

    // The job's end. A card was found: the list becomes this one entry,
    // count 1; false when the page is not open.
    bool setFound(const QString& entry);
    // Nothing was found by a recovery: the list is emptied and the count set
    // to 0, only while the page is open and its count is not 0; true when it
    // did so.
    bool clearShown();
    // The card a recovery worked on did not answer: its entry stays listed
    // (it still needs recovery) and the page says so, only while the page is
    // open and shows an entry; true when it did so. Any new result, and
    // Query, forget it.
    bool setSilent();
    bool silent() const;

    // "SS/PP/RR/CC": screen + 1, sending port + 1, the card's answer + 1 and
    // the port's card count, each at least two digits.
    static QString entry(int screen, int port, int answer, int cards);

private:
    mutable QMutex mutex_;
    bool open_ = false;
    QStringList rcv_list;   // the recovery page's result entries
    u8 rcv_list_count = 0;  // how many of them it shows
    bool silent_ = false;
};

// A card's part in the wait for the answers to a job's frame.
enum CardTake : u8 {
    kCardNotAsked = 0,  // the frame was not for it
    kCardAwaited,
    kCardAnswered,
    kCardMissed,  // it did not answer in time (or its port lost its link): the job cannot tell it took it
};

// The running job's own state; the manager's thread alone touches it.
struct CardJobState {
    LINE_TYPE line{};  // job 1: its copy of line_type
    u8 port = 0;       // sending port being worked on
    int index = 0;     // card, block, port or operation next in turn
    int total = 0;     // how many of them
    int done = 0;      // progress steps done (jobs 5 and 6)
    int steps = 0;     // progress steps in all
    u32 tick = 0;      // when the present wait began
    // Answers awaited from the cards of `port` to `command`.
    bool waiting = false;
    u8 command = 0;
    u16 card = 0;  // the card asked, or fpga::kCardAll
    int awaited = 0;
    int answered = 0;
    u32 timeout = 0;        // ticks
    std::vector<u8> takes;  // each card of `port` by its place: a CardTake
    // Jobs 3 and 4: the cards found on each port when they started.
    std::array<u16, fpga::kSendPorts> planned{};
    // The cycling counter shown while the job waits for answers.
    u8 counter = 0;
    u32 counter_tick = 0;
    int last_progress = -1;
    // Job 2: the scan file; jobs 5 and 6: the recovery file and the
    // operations to replay.
    std::vector<cardfile::ScanBlock> blocks;
    std::vector<cardfile::RcvPort> rcv_ports;
    std::vector<cardfile::RcvOperation> replay;
    int replayed = 0;    // job 6: operations the card answered
    int query_port = 0;  // port record being queried
    // What the job's end reports (CardJobReport::end).
    CardJobEnd end;
};
