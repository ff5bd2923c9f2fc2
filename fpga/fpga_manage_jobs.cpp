// The receiving-card jobs of the FPGA manager's thread. A tool page posts a
// job in g_send_para; the thread takes one step of it per pass, reports its
// progress through job_report and ends it by returning the job word to 0
// and then reporting 100, whatever went wrong on the way.
#include "fpga/fpga_manage.h"

#include "app/kelrampara.h"
#include "app/utils.h"
#include "fpga/rcv_recovery_file.h"
#include "fpga/route_patterns.h"

#include <algorithm>

LINE_TYPE line_type = boxstate::startValue(line_type, LINE_TYPE{});
SharedText g_ztfile_name;
const bool kZtfileNameStart = boxstate::keep(
    boxstate::Step::StartValues, [] { g_ztfile_name.set(QString()); }, boxstate::memoryOf(g_ztfile_name));

namespace {

u32 now()
{
    return G_timeTicks.load(std::memory_order_relaxed);
}

u8 step()
{
    return g_send_para.step.load(std::memory_order_relaxed);
}
void setStep(CardJobStep s)
{
    g_send_para.step.store(s, std::memory_order_relaxed);
}

void putU16(u8* at, u16 v)
{
    at[0] = static_cast<u8>(v);
    at[1] = static_cast<u8>(v >> 8);
}

}  // namespace

// ------------------------------------------------------------------ the recovery page's result

void RcvRecoveryResult::pageOpened()
{
    QMutexLocker lock(&mutex_);
    open_ = true;
    rcv_list.clear();
    rcv_list_count = 0;
    silent_ = false;
}

void RcvRecoveryResult::pageClosed()
{
    QMutexLocker lock(&mutex_);
    open_ = false;
}

bool RcvRecoveryResult::isOpen() const
{
    QMutexLocker lock(&mutex_);
    return open_;
}

QStringList RcvRecoveryResult::list() const
{
    QMutexLocker lock(&mutex_);
    return rcv_list;
}

u8 RcvRecoveryResult::count() const
{
    QMutexLocker lock(&mutex_);
    return rcv_list_count;
}

void RcvRecoveryResult::setCount(u8 n)
{
    QMutexLocker lock(&mutex_);
    rcv_list_count = n;
    silent_ = false;
}

bool RcvRecoveryResult::setFound(const QString& entry)
{
    QMutexLocker lock(&mutex_);
    if (!open_)
        return false;
    rcv_list = QStringList{entry};
    rcv_list_count = 1;
    silent_ = false;
    return true;
}

bool RcvRecoveryResult::clearShown()
{
    QMutexLocker lock(&mutex_);
    if (!open_ || rcv_list_count == 0)
        return false;
    rcv_list.clear();
    rcv_list_count = 0;
    silent_ = false;
    return true;
}

bool RcvRecoveryResult::setSilent()
{
    QMutexLocker lock(&mutex_);
    if (!open_ || rcv_list_count == 0)
        return false;
    silent_ = true;
    return true;
}

bool RcvRecoveryResult::silent() const
{
    QMutexLocker lock(&mutex_);
    return silent_;
}

QString RcvRecoveryResult::entry(int screen, int port, int answer, int cards)
{
    const QChar zero('0');
    return QStringLiteral("%1/%2/%3/%4")
        .arg(screen + 1, 2, 10, zero)
        .arg(port + 1, 2, 10, zero)
        .arg(answer + 1, 2, 10, zero)
        .arg(cards, 2, 10, zero);
}

// ------------------------------------------------------------------ the job's end

void CardJobReport::setEnd(const CardJobEnd& end)
{
    QMutexLocker lock(&mutex_);
    end_ = end;
}

CardJobEnd CardJobReport::end() const
{
    QMutexLocker lock(&mutex_);
    return end_;
}

// ------------------------------------------------------------------ shared pieces

void fpga_manage::jobStart()
{
    job_ = CardJobState{};
    job_.counter_tick = now();
    job_.end.job = g_send_para.cmd.load();
}

void fpga_manage::jobProgress(int percent)
{
    if (percent == job_.last_progress)
        return;
    job_.last_progress = percent;
    emit job_report.sig_qround_bar_update(percent);
}

void fpga_manage::jobCycle()
{
    if (Utils::getTimeSpace(job_.counter_tick) <= kCounterTicks)
        return;
    job_.counter_tick = now();
    job_.counter = job_.counter >= kProgressRunning ? 1 : static_cast<u8>(job_.counter + 1);
    jobProgress(job_.counter);
}

// The job word goes back to 0 before 100 is reported: the page that sees
// 100 may post its next job at once.
void fpga_manage::jobFinish(bool noFpga)
{
    g_send_para.end();
    job_.waiting = false;
    job_.last_progress = -1;
    jobReportEnd(noFpga);
    jobProgress(kProgressEnd);
}

void fpga_manage::jobReportEnd(bool noFpga)
{
    CardJobEnd& e = job_.end;
    std::sort(e.missed.begin(), e.missed.end(), [](const CardPlace& a, const CardPlace& b) {
        return a.port != b.port ? a.port < b.port : a.card < b.card;
    });
    if (!e.missed.empty()) {
        QStringList which;
        for (size_t i = 0; i < e.missed.size() && i < kMissedNamed; ++i)
            which << QStringLiteral("port %1 card %2").arg(e.missed[i].port).arg(e.missed[i].card);
        if (e.missed.size() > kMissedNamed)
            which << QStringLiteral("...");
        KEL_DBG("\n fpga: job %d: %d of %d cards did not answer in time: %s\n", e.job,
                static_cast<int>(e.missed.size()), e.cards, qPrintable(which.join(QStringLiteral(", "))));
    }
    job_report.no_fpga = noFpga;
    job_report.setEnd(e);
}

bool fpga_manage::jobLostFpga()
{
    if (running_[0])
        return false;
    KEL_DBG("\n fpga: job %d stopped: FPGA 0 is not running\n", g_send_para.cmd.load());
    return true;
}

bool fpga_manage::portLinked(u8 port)
{
    if (port >= fpga::kSendPorts || !running_[0])
        return false;
    QMutexLocker lock(&passby_mutex);
    return (last_links_ & (1u << port)) != 0;
}

void fpga_manage::jobSend(u8 port, u16 card, u8 command, u32 address, const u8* data, int len)
{
    u8 frame[fpga::kRcvMaxFrame];
    const int n = fpga::rcvBuild(frame, {card, port, command, address, 0}, data, len);
    if (n == 0 || !drv.sendFrame(frame, n))
        KEL_DBG("\n fpga: job frame 0x%02x to port %d not sent\n", command, port);
}

void fpga_manage::jobAwait(u8 port, u16 card, u8 command, int cards, u32 timeout)
{
    job_.port = port;
    job_.card = card;
    job_.command = command;
    if (card == fpga::kCardAll) {
        job_.takes.assign(static_cast<size_t>(std::max(cards, 0)), kCardAwaited);
    } else {
        job_.takes.assign(static_cast<size_t>(card) + 1, kCardNotAsked);
        job_.takes[card] = kCardAwaited;
    }
    job_.awaited = static_cast<int>(std::count(job_.takes.begin(), job_.takes.end(), kCardAwaited));
    job_.answered = 0;
    job_.timeout = timeout;
    job_.tick = now();
    job_.waiting = true;
}

void fpga_manage::jobAwaitAgain(u32 timeout)
{
    job_.awaited = 0;
    for (u8& t : job_.takes)
        if (t == kCardAnswered || t == kCardAwaited) {
            t = kCardAwaited;
            ++job_.awaited;
        }
    job_.answered = 0;
    job_.timeout = timeout;
    job_.tick = now();
    job_.waiting = true;
}

bool fpga_manage::jobWaitOver()
{
    if (job_.answered >= job_.awaited)
        return true;
    if (!portLinked(job_.port)) {
        KEL_DBG("\n fpga: job 0x%02x on port %d: the port lost its link, %d of %d cards answered\n", job_.command,
                job_.port, job_.answered, job_.awaited);
        return true;
    }
    if (Utils::getTimeSpace(job_.tick) < job_.timeout)
        return false;
    KEL_DBG("\n fpga: job 0x%02x on port %d: %d of %d cards answered in time\n", job_.command, job_.port, job_.answered,
            job_.awaited);
    return true;
}

void fpga_manage::jobSettle()
{
    job_.waiting = false;
    for (size_t c = 0; c < job_.takes.size(); ++c)
        if (job_.takes[c] == kCardAwaited) {
            job_.takes[c] = kCardMissed;
            job_.end.missed.push_back({job_.port, static_cast<u16>(c)});
        }
}

bool fpga_manage::jobTakes(const fpga::RcvHeader& h) const
{
    return job_.waiting && g_send_para.cmd.load() != SEND_NONE && h.port == job_.port && h.command == job_.command &&
           (job_.card == fpga::kCardAll || h.card == job_.card);
}

void fpga_manage::jobReply(const fpga::RcvHeader& h, const u8* data)
{
    // A card is counted once, and only when the frame was for it.
    if (h.card < job_.takes.size() && job_.takes[h.card] == kCardAwaited) {
        job_.takes[h.card] = kCardAnswered;
        ++job_.answered;
    }
    if (h.command != fpga::kRcvSearch || h.length < 1)
        return;
    // A card that needs recovery wins over those with nothing to report.
    if (data[0] != fpga::kRcvAnswerNone)
        g_send_para.recovery_progress = data[0];
    else if (g_send_para.recovery_progress.load() == kRecoveryAsking)
        g_send_para.recovery_progress = fpga::kRcvAnswerNone;
}

// ------------------------------------------------------------------ job 1: quick mapping

bool fpga_manage::quickMappingCheck(QString* why, JobRefusal* refusal)
{
    const LINE_TYPE& l = job_.line;
    *refusal = JobRefusal::kScreen;
    if (!portLinked(l.port)) {
        *refusal = JobRefusal::kPortDown;
        *why = QStringLiteral("port %1 has no link").arg(l.port);
    } else if (port_cards[l.port].load() == 0) {
        *refusal = JobRefusal::kNoCards;
        *why = QStringLiteral("no card on port %1").arg(l.port);
    } else if (!fpga::routeValid(l.route_way))
        *why = QStringLiteral("routing pattern %1").arg(l.route_way);
    else if (l.rows == 0 || l.columns == 0 || l.box_width == 0 || l.box_height == 0)
        *why =
            QStringLiteral("%1 x %2 cabinets of %3 x %4").arg(l.rows).arg(l.columns).arg(l.box_width).arg(l.box_height);
    else if (l.offset_x + (l.columns - 1) * l.box_width > 0xFFFF || l.offset_y + (l.rows - 1) * l.box_height > 0xFFFF)
        *why = QStringLiteral("the screen leaves the canvas");
    else
        *refusal = JobRefusal::kNone;
    return *refusal == JobRefusal::kNone;
}

void fpga_manage::sendPosition(int place)
{
    const LINE_TYPE& l = job_.line;
    const fpga::CabinetCell cell = fpga::routeCell(l.route_way, l.rows, l.columns, place);
    u8 area[fpga::kRcvPositionData];
    putU16(area, static_cast<u16>(l.offset_x + cell.column * l.box_width));
    putU16(area + 2, static_cast<u16>(l.offset_y + cell.row * l.box_height));
    putU16(area + 4, l.box_width);
    putU16(area + 6, l.box_height);
    jobSend(l.port, static_cast<u16>(place), fpga::kRcvPosition, 0, area, sizeof area);
}

void fpga_manage::SmartMapping_deal()
{
    if (pc_cmd_valid.load())
        return;
    switch (step()) {
    case kJobStart: {
        jobStart();
        job_.line = line_type;
        if (jobLostFpga()) {
            jobFinish(true);
            return;
        }
        QString why;
        if (!quickMappingCheck(&why, &job_.end.refused)) {
            KEL_DBG("\n fpga: quick mapping refused: %s\n", qPrintable(why));
            job_.end.port = job_.line.port;
            jobFinish();
            return;
        }
        job_.total = job_.line.rows * job_.line.columns;
        job_.end.cards = job_.total;
        jobAwait(job_.line.port, fpga::kCardAll, fpga::kRcvPosition, job_.total, 0);
        jobProgress(0);
        setStep(kJobRun);
        return;
    }
    case kJobRun:
        if (jobLostFpga()) {
            jobFinish(true);
            return;
        }
        sendPosition(job_.index++);
        if (job_.index < job_.total) {
            jobProgress(kProgressSent * job_.index / job_.total);
            return;
        }
        jobProgress(kProgressSent);
        job_.tick = now();
        setStep(kJobClosing);
        return;
    case kJobClosing:
        if (Utils::getTimeSpace(job_.tick) <= kJobCloseTicks)
            return;
        KEL_DBG("\n fpga: quick mapping of port %d: %d of %d cards answered\n", job_.line.port, job_.answered,
                job_.total);
        // The places that did not answer their position did not take it.
        jobSettle();
        jobFinish();
        return;
    default: jobFinish(); return;
    }
}

// ------------------------------------------------------------------ jobs 3 and 4: save, mapping

void fpga_manage::portJobDeal(u8 command, const u8* data, int len, bool timeoutPerCard)
{
    if (pc_cmd_valid.load())
        return;
    const u8 s = step();
    if (s != kJobClosing && jobLostFpga()) {
        jobFinish(true);
        return;
    }
    switch (s) {
    case kJobStart:
        jobStart();
        if (!portJobPlan(command)) {
            jobFinish();
            return;
        }
        jobProgress(0);
        setStep(kJobRun);
        return;
    case kJobRun: {
        if (job_.waiting) {
            if (jobWaitOver()) {
                jobSettle();
                ++job_.index;
            } else {
                jobCycle();
            }
            return;
        }
        while (job_.index < kJobPorts && job_.planned[job_.index] == 0)
            ++job_.index;
        if (job_.index >= kJobPorts) {
            jobProgress(kProgressPortsDone);
            job_.tick = now();
            setStep(kJobClosing);
            return;
        }
        const u8 port = static_cast<u8>(job_.index);
        const int cards = job_.planned[port];
        if (!portLinked(port)) {
            KEL_DBG("\n fpga: job 0x%02x: port %d lost its link, its %d cards not asked\n", command, port, cards);
            for (int c = 0; c < cards; ++c)
                job_.end.missed.push_back({port, static_cast<u16>(c)});
            ++job_.index;
            return;
        }
        const u32 timeout = timeoutPerCard ? kSaveTicks + kSavePerCardTicks * static_cast<u32>(cards) : kMappingTicks;
        jobSend(port, fpga::kCardAll, command, 0, data, len);
        jobAwait(port, fpga::kCardAll, command, cards, timeout);
        return;
    }
    case kJobClosing:
        if (Utils::getTimeSpace(job_.tick) > kJobCloseTicks)
            jobFinish();
        return;
    default: jobFinish(); return;
    }
}

// The ports and cards a save or mapping is for, as found now: a port that
// loses its link on the way is told, not skipped, and so is a card its port
// has shown since the link came up and the search no longer finds (a silent
// card at the end of a chain). With no port linked, or no card found on any
// linked port, the job is refused: it would reach no card.
bool fpga_manage::portJobPlan(u8 command)
{
    u16 linked = 0;
    bool found = false;
    for (int p = 0; p < kJobPorts; ++p) {
        if (!portLinked(static_cast<u8>(p)))
            continue;
        linked = static_cast<u16>(linked | 1u << p);
        const u16 cards = port_cards[p].load();
        found = found || cards != 0;
        job_.planned[p] = std::max(cards, known_cards_[p]);
        job_.end.cards += job_.planned[p];
    }
    if (linked == 0) {
        KEL_DBG("\n fpga: job 0x%02x refused: no port has a link\n", command);
        job_.end.refused = JobRefusal::kNoLinks;
    } else if (!found) {
        KEL_DBG("\n fpga: job 0x%02x refused: no card answers on the linked ports (0x%02x)\n", command, linked);
        job_.end.refused = JobRefusal::kNoCards;
        job_.end.empty_ports = linked;
        while (!(linked & (1u << job_.end.port)))
            ++job_.end.port;
    } else {
        for (int p = 0; p < kJobPorts; ++p)
            if (job_.planned[p] > port_cards[p].load())
                KEL_DBG("\n fpga: job 0x%02x: port %d shows %d cards, %d before: the rest are asked too\n", command, p,
                        port_cards[p].load(), job_.planned[p]);
        return true;
    }
    job_.end.cards = 0;
    job_.planned.fill(0);
    return false;
}

void fpga_manage::save_para_deal()
{
    portJobDeal(fpga::kRcvSave, nullptr, 0, true);
}

void fpga_manage::mapping_enable_deal()
{
    const u8 value = static_cast<u8>(g_send_para.mapping_value);
    portJobDeal(fpga::kRcvMapping, &value, 1, false);
}

// ------------------------------------------------------------------ job 2: scan-file load

void fpga_manage::loadScanStart()
{
    jobStart();
    if (jobLostFpga()) {
        jobFinish(true);
        return;
    }
    // The box's own scan files first; the stick's when the box has none.
    int listed = rcv_recovery->get_dir_file(rcvRecovery::kSmartDir);
    if (listed != 0 || rcv_recovery->scanCount() == 0)
        listed = rcv_recovery->get_dir_file(rcvRecovery::kUsbDir);
    const QString path = g_ztfile_name.get();
    job_.port = line_type.port;
    job_.end.port = job_.port;
    std::string bytes;
    QString why;
    JobRefusal refusal = JobRefusal::kFile;
    cardfile::Fault fault = cardfile::Fault::kNone;
    if (listed != 0 || rcv_recovery->scanCount() == 0) {
        why = QStringLiteral("no scan file on the box or the stick");
        fault = cardfile::Fault::kMissing;
    } else if (!portLinked(job_.port)) {
        refusal = JobRefusal::kPortDown;
        why = QStringLiteral("port %1 has no link").arg(job_.port);
    } else if (port_cards[job_.port].load() == 0) {
        refusal = JobRefusal::kNoCards;
        why = QStringLiteral("no card on port %1").arg(job_.port);
    } else if (cardfile::readBoxFile(path, bytes, &why, &fault) &&
               cardfile::parseScanFile(bytes, &job_.blocks, &why, &fault)) {
        refusal = JobRefusal::kNone;
    }
    if (refusal != JobRefusal::kNone) {
        KEL_DBG("\n fpga: scan file %s not loaded: %s\n", qPrintable(path), qPrintable(why));
        job_.end.refused = refusal;
        job_.end.file = fault;
        jobFinish();
        return;
    }
    job_.total = static_cast<int>(job_.blocks.size());
    // Cards the port showed before and the search no longer finds are told
    // as missed, not left out.
    job_.end.cards = std::max(port_cards[job_.port].load(), known_cards_[job_.port]);
    jobProgress(0);
    setStep(kJobRun);
}

// One block a pass to every card of the port; the next goes once every card
// that took the blocks before has answered this one (or the time-out is
// over: the cards that did not answer it did not take the file).
void fpga_manage::loadScanDeal()
{
    if (step() == kJobStart) {
        loadScanStart();
        return;
    }
    if (step() != kJobRun) {
        jobFinish();
        return;
    }
    if (jobLostFpga()) {
        jobFinish(true);
        return;
    }
    if (job_.waiting) {
        if (!jobWaitOver())
            return;
        jobSettle();
        const bool anyTakes = std::any_of(job_.takes.begin(), job_.takes.end(), [](u8 t) { return t != kCardMissed; });
        if (job_.index >= job_.total || !anyTakes) {
            jobFinish();
            return;
        }
    }
    const cardfile::ScanBlock& b = job_.blocks[static_cast<size_t>(job_.index++)];
    jobSend(job_.port, fpga::kCardAll, fpga::kRcvWrite, b.address, b.data.data(), static_cast<int>(b.data.size()));
    if (job_.index == 1)
        jobAwait(job_.port, fpga::kCardAll, fpga::kRcvWrite, job_.end.cards, kBlockTicks);
    else
        jobAwaitAgain(kBlockTicks);
    jobProgress(kProgressRunning * job_.index / job_.total);
}

// ------------------------------------------------------------------ jobs 5 and 6: recovery

void fpga_manage::rcv_recovery_check_deal(RCV_CHECK_OR_RECOVERY mode)
{
    if (mode == RCV_LOAD_SCAN) {
        loadScanDeal();
        return;
    }
    switch (step()) {
    case kJobStart: recoveryStart(mode); return;
    case kJobReplay:
    case kJobSaving:
        if (mode == RCV_RECOVERY) {
            recoveryReplayDeal();
            return;
        }
        break;
    case kJobRun: recoveryQueryDeal(mode); return;
    case kJobFailed:
        // 100 was shown at once; the job word is kept a moment longer, so
        // that the page does not post again at once.
        if (Utils::getTimeSpace(job_.tick) > kJobFailTicks) {
            u8 job = mode == RCV_CHECK ? SEND_RCV_CHECK : SEND_RCV_RECOVERY;
            if (g_send_para.cmd.compare_exchange_strong(job, SEND_NONE))
                g_send_para.step = 0;
            KelRamPara::test_signal(SYNC_PARA_CHANGED);
        }
        return;
    default: break;
    }
    recoveryFail();
}

void fpga_manage::recoveryFail(bool noFpga)
{
    job_.waiting = false;
    job_.last_progress = -1;
    jobReportEnd(noFpga);
    jobProgress(kProgressEnd);
    job_.tick = now();
    setStep(kJobFailed);
}

void fpga_manage::recoveryStart(RCV_CHECK_OR_RECOVERY mode)
{
    jobStart();
    if (jobLostFpga()) {
        recoveryFail(true);
        return;
    }
    // The one recovery file: with none, or several (the box cannot tell
    // which is meant), the job is refused and says so.
    const int listed = rcv_recovery->get_dir_file(rcvRecovery::kRecoveryDir);
    const QStringList files = rcv_recovery->recoveryFiles();
    if (listed != 0 || files.size() != 1) {
        const bool none = listed != 0 || files.isEmpty();
        if (none)
            KEL_DBG("\n fpga: recovery job refused: no recovery file in %s\n", rcvRecovery::kRecoveryDir);
        else
            KEL_DBG("\n fpga: recovery job refused: %d recovery files in %s, none used (%s)\n",
                    static_cast<int>(files.size()), rcvRecovery::kRecoveryDir,
                    qPrintable(files.join(QStringLiteral(", "))));
        job_.end.refused = JobRefusal::kFile;
        job_.end.file = none ? cardfile::Fault::kMissing : cardfile::Fault::kSeveral;
        recoveryFail();
        return;
    }
    const QString path = QStringLiteral("%1/%2").arg(rcvRecovery::kRecoveryDir, files.front());
    std::string bytes;
    QString why;
    cardfile::Fault fault = cardfile::Fault::kNone;
    if (!cardfile::readBoxFile(path, bytes, &why, &fault) ||
        !cardfile::parseRecoveryFile(bytes, &job_.rcv_ports, &why, &fault)) {
        KEL_DBG("\n fpga: recovery file refused: %s\n", qPrintable(why));
        job_.end.refused = JobRefusal::kFile;
        job_.end.file = fault;
        recoveryFail();
        return;
    }
    const int ports = static_cast<int>(job_.rcv_ports.size());
    if (mode == RCV_CHECK) {
        job_.steps = ports;
        jobProgress(0);
        setStep(kJobRun);
        return;
    }
    // The card of the last answer, on the port record where it was found.
    const u16 card = g_send_para.recovery_progress.load();
    if (card >= fpga::kRcvAnswerNone || rcv_found_port_ < 0 || rcv_found_port_ >= ports ||
        card >= job_.rcv_ports[static_cast<size_t>(rcv_found_port_)].record.net_rcv_num) {
        KEL_DBG("\n fpga: recovery: no card to recover (answer %d)\n", card);
        recoveryFail();
        return;
    }
    const cardfile::RcvPort& port = job_.rcv_ports[static_cast<size_t>(rcv_found_port_)];
    job_.port = static_cast<u8>(port.record.net_ledx);
    job_.card = card;
    job_.replay = cardfile::operationsFor(port, card);
    job_.steps = static_cast<int>(job_.replay.size()) + 1 + ports;
    jobProgress(0);
    setStep(kJobReplay);
}

// Job 6: the card's recorded operations one at a time, each answered before
// the next goes, then the save that keeps them, then the query again. A card
// that misses an operation is not told to save: it keeps its loss, and so
// its place in the list, and the page says it did not answer.
void fpga_manage::recoveryReplayDeal()
{
    if (jobLostFpga()) {
        recoveryFail(true);
        return;
    }
    const u16 card = job_.card;
    if (job_.waiting) {
        if (!jobWaitOver())
            return;
        job_.waiting = false;
        if (job_.answered < job_.awaited) {
            recoveryNotTaken();
            return;
        }
        jobProgress(kProgressRunning * ++job_.done / job_.steps);
        if (step() == kJobSaving) {
            setStep(kJobRun);
            return;
        }
        ++job_.replayed;
    }
    if (job_.index < static_cast<int>(job_.replay.size())) {
        const cardfile::RcvOperation& op = job_.replay[static_cast<size_t>(job_.index++)];
        jobSend(job_.port, card, op.command, op.address, op.data.data(), static_cast<int>(op.data.size()));
        jobAwait(job_.port, card, op.command, 1, kOperationTicks);
        return;
    }
    jobSend(job_.port, card, fpga::kRcvSave, 0, nullptr, 0);
    jobAwait(job_.port, card, fpga::kRcvSave, 1, kSaveTicks + kSavePerCardTicks);
    setStep(kJobSaving);
}

void fpga_manage::recoveryNotTaken()
{
    if (step() == kJobSaving)
        KEL_DBG("\n fpga: recovery: card %d on port %d did not answer its save\n", job_.card, job_.port);
    else
        KEL_DBG("\n fpga: recovery: card %d on port %d answered %d of %d operations: not saved, it still needs "
                "recovery\n",
                job_.card, job_.port, job_.replayed, static_cast<int>(job_.replay.size()));
    if (rcv_result.setSilent())
        KelRamPara::test_signal(SYNC_RCV_RECOVERY);
    recoveryFail();
}

// Jobs 5 and 6: the LAN ports of the recovery file's screens one after
// another, until a card answers that it needs recovery.
void fpga_manage::recoveryQueryDeal(RCV_CHECK_OR_RECOVERY mode)
{
    if (jobLostFpga()) {
        recoveryFail(true);
        return;
    }
    const int ports = static_cast<int>(job_.rcv_ports.size());
    if (!job_.waiting) {
        if (job_.query_port >= ports) {
            recoveryEnd(mode);
            return;
        }
        const cardfile::RcvPortRecord& r = job_.rcv_ports[static_cast<size_t>(job_.query_port)].record;
        g_send_para.recovery_progress = kRecoveryAsking;
        const u8 port = static_cast<u8>(r.net_ledx);
        if (!portLinked(port)) {
            KEL_DBG("\n fpga: recovery query: port %d has no link, its %d cards not asked\n", port, r.net_rcv_num);
            queryPortNotAsked(port);
            return;
        }
        jobSend(port, fpga::kCardAll, fpga::kRcvSearch, 0, nullptr, 0);
        jobAwait(port, fpga::kCardAll, fpga::kRcvSearch, r.net_rcv_num, kQueryTicks);
        return;
    }
    if (g_send_para.recovery_progress.load() < fpga::kRcvAnswerNone) {
        job_.waiting = false;
        rcv_found_port_ = job_.query_port;
        recoveryEnd(mode);
        return;
    }
    if (!jobWaitOver())
        return;
    job_.waiting = false;
    // Cards the link went away from were not asked: one of them may need
    // recovery.
    if (job_.answered < job_.awaited && !portLinked(job_.port)) {
        queryPortNotAsked(job_.port);
        return;
    }
    // Cards that did not answer in time were asked, and one of them may
    // need recovery all the same: the end names them.
    job_.end.cards += job_.awaited;
    jobSettle();
    ++job_.query_port;
    jobProgress(kProgressRunning * ++job_.done / job_.steps);
}

void fpga_manage::queryPortNotAsked(u8 port)
{
    job_.end.unasked_ports = static_cast<u16>(job_.end.unasked_ports | 1u << port);
    ++job_.query_port;
    jobProgress(kProgressRunning * ++job_.done / job_.steps);
}

void fpga_manage::recoveryEnd(RCV_CHECK_OR_RECOVERY mode)
{
    const u16 answer = g_send_para.recovery_progress.load();
    const int found = rcv_found_port_;
    if (answer < fpga::kRcvAnswerNone && found >= 0 && found < static_cast<int>(job_.rcv_ports.size())) {
        const cardfile::RcvPort& p = job_.rcv_ports[static_cast<size_t>(found)];
        rcv_result.setFound(RcvRecoveryResult::entry(p.screen, p.record.net_ledx, answer, p.record.net_rcv_num));
        KelRamPara::test_signal(SYNC_PARA_CHANGED);
    } else if (answer >= fpga::kRcvAnswerNone && mode == RCV_RECOVERY && rcv_result.clearShown()) {
        KelRamPara::test_signal(SYNC_RCV_RECOVERY);
    }
    if (job_.end.unasked_ports != 0)
        KEL_DBG("\n fpga: recovery query: ports not asked for want of a link (0x%04x)\n", job_.end.unasked_ports);
    jobFinish();
}
