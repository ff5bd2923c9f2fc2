// The receiving-card recovery page (page 25), opened from the advanced menu
// while a recovery file is stored. Query asks the cards of the screens in
// that file whether one of them has lost its settings (job 5); Recovery
// replays the file's settings into the card last found (job 6). Both follow
// their job with the round progress bar. The result is the job's, handed
// over in fpga_manage::rcv_result: one line naming the screen, the LAN port
// and the card found, or the sentence that no card needs it (before the
// first query of an opening, a line that asks for one instead); under the
// line, when the card did not answer its recovery, a sentence that says so
// (the card stays listed: it still needs recovery); when the job was cut
// short because FPGA 0 was not running, a sentence that says so, in place
// of the one that no card needs recovery; so too from the opening while
// FPGA 0 is not running. When the job refused the recovery file, two lines
// say so and why, in the same place; when its query could not ask a port
// (no link), two lines name the ports, in place of the sentence that no
// card needs it, or under the card found; so do, before them, the cards
// that did not answer the query in time (silent, or late), by port. A card
// number above its port's card count is drawn red and cannot be recovered.
#pragma once

#include "tools/tool_page.h"

#include <array>
#include <vector>

class QFrame;
class QLabel;
class RcvRecoveryResult;

namespace Ui {
class rcv_recovery;
}

class rcv_recovery : public ToolPage {
    Q_OBJECT
public:
    static constexpr int kLines = 4;       // result lines the frame has room for
    static constexpr int kWholeLines = 3;  // of them, those it shows whole

    explicit rcv_recovery(QWidget* parent = nullptr);
    ~rcv_recovery() override;

    void language_changed() override;
    // Besides the language: the result list is drawn again when the job
    // emptied it (99) or while a card's answer is held.
    void syncUpdate(int code) override;

    // The sentence that the card did not answer, or null.
    QLabel* noAnswerLine() const { return no_answer; }
    // The sentence that the FPGA is not running, or null.
    QLabel* noFpgaLine() const { return no_fpga; }
    // The sentence that the recovery file was refused, or null; the reason
    // is the line under it.
    QLabel* fileRefusedLine() const { return file_refused; }
    // The sentence that the query could not ask some ports, or null; the
    // ports without a link are the line under it.
    QLabel* notAskedLine() const { return not_asked; }
    // The sentence that cards did not answer the query in time, or null;
    // the cards are the lines under it.
    QLabel* missedLine() const { return missed_line; }

public slots:
    // A touch on a result line selects it (also while a job runs).
    void kel_button_file_clicked();

protected:
    void onLeft() override;
    void onRight() override;
    void onOk() override;
    QString normalStyle(int entry) const override;
    QString selectedStyle(int entry) const override;
    // A job cut short for want of the FPGA, or one that refused the
    // recovery file, is told in the result list.
    void jobEnded(bool noFpga, const CardJobEnd& end) override;

private:
    enum Entry { kQuery = 0, kRecovery = 1 };
    // How far the queries of this opening went.
    enum Asked { kNotAsked, kAsking, kAnswered };
    void query();
    void recover();
    void rcv_self_recovery_file_list();
    void lineLabel(int line, const QStringList& fields);
    QLabel* sentenceLabel(int line, const QString& text);
    // The refused file's two lines from `line` on.
    void fileRefusedLines(int line);
    // The ports the last query could not ask, two lines from `line` on.
    void notAskedLines(int line);
    // What the last query could not learn, from `line` on, as far as the
    // frame has room: the cards that did not answer it in time, the ports
    // it could not ask.
    void notLearnedLines(int line);
    // What the last job ended with (FPGA 0 down, a file refused, ports not
    // asked, cards missed) is forgotten as a new job is posted.
    void forgetJobEnd();
    static RcvRecoveryResult* result();
    static bool fpgaRunning();

    Ui::rcv_recovery* ui;
    int recovery_refused = 0;
    QFrame* frame_file = nullptr;
    std::array<QLabel*, kLines> file_labels{};
    QLabel* no_answer = nullptr;
    QLabel* no_fpga = nullptr;
    QLabel* file_refused = nullptr;
    QLabel* not_asked = nullptr;
    QLabel* missed_line = nullptr;
    bool fpga_down = false;             // FPGA 0 did not run at the opening, or the last job ended for want of it
    bool fpga_down_at_opening = false;  // the former, until FPGA 0 runs or a job is posted
    // The last job refused the recovery file, and why (kNone: it did not).
    cardfile::Fault refused_file = cardfile::Fault::kNone;
    // The ports the last query could not ask (bit p: port p).
    u16 unasked_ports = 0;
    // The cards that did not answer the last query in time, of how many
    // it waited for.
    std::vector<CardPlace> missed_cards;
    int cards_waited = 0;
    u8 file_select = 0;
    Asked asked = kNotAsked;
};
