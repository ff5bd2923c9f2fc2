#include "tests/fpga/card_files_build.h"
#include "tests/fpga/fpga_test.h"

#include "platform/sim/sim_control.h"

#include <array>
#include <functional>

namespace build = cardfile_build;
using Area = std::array<uint16_t, 4>;

namespace {

const char* const kScanPath = "/data/smartmapping/screen.ztfile";
const char* const kRecoveryPath = "/data/rcvrecovery/screen.rcv";

cardfile::RcvOperation op(u16 card, u8 command, u32 address, std::vector<u8> data)
{
    return {card, command, address, std::move(data)};
}

// Screen 1: port 1 (2 cards, nothing recorded); screen 2: port 0 (4 cards):
// a write for every card, a mapping byte for card 2, a position for card 1.
std::string recoveryFile()
{
    return build::recoveryFile({
        {0, 1, 2, {}},
        {1,
         0,
         4,
         {op(fpga::kCardAll, fpga::kRcvWrite, 16, {1, 2, 3}), op(2, fpga::kRcvMapping, 0, {fpga::kMappingOn}),
          op(1, fpga::kRcvPosition, 0, {0, 0, 0, 0, 64, 0, 64, 0})}},
    });
}

}  // namespace

class JobTest : public FpgaTest {
protected:
    void SetUp() override
    {
        FpgaTest::SetUp();
        g_send_para.end();
        g_send_para.recovery_progress = 0;
        m = manager();
        QObject::connect(&m->job_report, &CardJobReport::sig_qround_bar_update, &receiver,
                         [this](int v) { progress.push_back(v); });
    }
    // FPGA 0 up and every linked port searched once.
    void upAndSearched()
    {
        ASSERT_TRUE(bringUp());
        for (int i = 0; i < fpga::kSendPorts; ++i)
            after(fpga_manage::kSearchTicks);
    }
    // Posts `job` and runs passes, a tick apart, until it has ended.
    void run(u8 job, int maxPasses = 100)
    {
        g_send_para.post(job);
        runOn(maxPasses);
    }
    // Runs the job posted on until it has ended.
    void runOn(int maxPasses)
    {
        for (int i = 0; i < maxPasses && g_send_para.cmd.load() != SEND_NONE; ++i)
            after(1);
    }
    bool endedWith100() const { return !progress.empty() && progress.back() == 100 && g_send_para.cmd.load() == 0; }

    fpga_manage* m = nullptr;
    std::vector<int> progress;
};

// ------------------------------------------------------------------ quick mapping

TEST_F(JobTest, QuickMappingPlacesA2x3ChainInEitherFamily)
{
    board->connectPort(2, 6);
    upAndSearched();
    ASSERT_EQ(m->port_cards[2].load(), 6);
    struct Case {
        u8 pattern;
        std::vector<std::pair<int, int>> cells;  // row, column of places 0-5
    };
    const Case cases[] = {
        {1, {{0, 0}, {0, 1}, {0, 2}, {1, 2}, {1, 1}, {1, 0}}},   // serpentine along rows from top left
        {9, {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}},   // every row left to right
        {8, {{1, 2}, {0, 2}, {0, 1}, {1, 1}, {1, 0}, {0, 0}}},   // serpentine along columns from bottom right
        {14, {{0, 2}, {1, 2}, {0, 1}, {1, 1}, {0, 0}, {1, 0}}},  // every column top down, from the right
    };
    for (const Case& c : cases) {
        progress.clear();
        line_type = {128, 96, 10, 20, 2, 2, 3, c.pattern};
        g_send_para.post(SEND_SMARTMAPPING);
        passes(7);  // start, then one card a pass
        EXPECT_EQ(progress, (std::vector<int>{0, 15, 30, 45, 60, 75, 90})) << int(c.pattern);
        after(fpga_manage::kJobCloseTicks);
        EXPECT_EQ(g_send_para.cmd.load(), SEND_SMARTMAPPING);
        after(1);
        EXPECT_TRUE(endedWith100());
        for (int place = 0; place < 6; ++place) {
            const auto card = board->card(2, place);
            const auto [row, col] = c.cells[static_cast<size_t>(place)];
            EXPECT_TRUE(card.placed);
            EXPECT_EQ((Area{card.area[0], card.area[1], card.area[2], card.area[3]}),
                      (Area{uint16_t(10 + 128 * col), uint16_t(20 + 96 * row), 128, 96}))
                << "pattern " << int(c.pattern) << " place " << place;
        }
    }
}

// ------------------------------------------------------------------ save and mapping

TEST_F(JobTest, SaveAndMappingWaitForEveryCardUntilTheirTimeOut)
{
    upAndSearched();
    board->silenceCard(0, 3, true);  // port 0: card 3 of 4 never answers
    board->setCardDelay(1, 1, 3);    // port 1: card 1 answers three looks late
    auto framesTo = [this](int port) {
        int n = 0;
        for (const auto& f : board->sentFrames())
            n += f[2] == port;
        return n;
    };
    struct Case {
        u8 job;
        u32 timeout;
        int counts;  // cycling-counter values shown before the time-out
    };
    for (const Case& c : {Case{SEND_SAVE_PARA, 1200 + 4 * 100, 15}, Case{SEND_MAPPING_ENABLE, 1200, 11}}) {
        progress.clear();
        board->clearSentFrames();
        g_send_para.mapping_value = fpga::kMappingOn;
        // A recent PC command holds the job.
        pc_cmd_time = G_timeTicks.load();
        pc_cmd_valid = 1;
        g_send_para.post(c.job);
        passes(3);
        EXPECT_TRUE(progress.empty());
        after(fpga_manage::kPcCmdTicks + 1);  // started
        passes(1);                            // port 0 asked
        const u32 asked = G_timeTicks.load();
        std::vector<int> want{0};
        for (int k = 1; k <= c.counts; ++k) {
            G_timeTicks = asked + 101 * static_cast<u32>(k);
            passes(1);
            want.push_back(k);
        }
        EXPECT_EQ(progress, want);
        G_timeTicks = asked + c.timeout - 1;
        passes(1);
        EXPECT_EQ(framesTo(1), 0);
        G_timeTicks = asked + c.timeout;
        passes(2);
        EXPECT_EQ(framesTo(1), 1);  // port 0 given up, port 1 asked
        for (int i = 0; i < 8 && progress.back() != fpga_manage::kProgressPortsDone; ++i)
            passes(1);
        EXPECT_EQ(progress.back(), fpga_manage::kProgressPortsDone);
        after(fpga_manage::kJobCloseTicks);
        EXPECT_EQ(g_send_para.cmd.load(), c.job);
        after(1);
        EXPECT_TRUE(endedWith100());
    }
    for (const auto& [port, card] : {std::pair<int, int>{0, 0}, {0, 2}, {1, 0}, {1, 1}}) {
        EXPECT_EQ(board->card(port, card).saves, 1);
        EXPECT_EQ(board->card(port, card).mapping, fpga::kMappingOn);
    }
    EXPECT_EQ(board->card(0, 3).saves, 0);
}

// A save or mapping switch that would reach no card is refused and says
// why; one whose port no longer finds the last card of its chain asks that
// card too, and names it when it does not answer.
TEST_F(JobTest, ASaveOrMappingTellsEveryCardItCouldNotReach)
{
    struct Case {
        const char* name;
        u8 job;
        std::vector<std::pair<int, int>> silent;
        std::vector<int> cut;  // ports pulled
        JobRefusal refused;
        u16 emptyPorts;
        int cards;
        std::vector<CardPlace> missed;
    };
    const std::vector<std::pair<int, int>> all = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}};
    const Case cases[] = {
        {"save, every card silent", SEND_SAVE_PARA, all, {}, JobRefusal::kNoCards, 0x3, 0, {}},
        {"mapping, every card silent", SEND_MAPPING_ENABLE, all, {}, JobRefusal::kNoCards, 0x3, 0, {}},
        {"save, LED2 pulled, LED1 silent",
         SEND_SAVE_PARA,
         {{0, 0}, {0, 1}, {0, 2}, {0, 3}},
         {1},
         JobRefusal::kNoCards,
         0x1,
         0,
         {}},
        {"save, no link", SEND_SAVE_PARA, {}, {0, 1}, JobRefusal::kNoLinks, 0, 0, {}},
        {"save, last card of LED1 silent", SEND_SAVE_PARA, {{0, 3}}, {}, JobRefusal::kNone, 0, 6, {{0, 3}}},
        {"mapping, last card of LED2 silent", SEND_MAPPING_ENABLE, {{1, 1}}, {}, JobRefusal::kNone, 0, 6, {{1, 1}}},
    };
    g_send_para.mapping_value = fpga::kMappingOn;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        board->connectPort(0, 4);
        board->connectPort(1, 2);
        upAndSearched();  // every card found once
        for (const auto& [port, card] : c.silent)
            board->silenceCard(port, card, true);
        for (int port : c.cut)
            board->cutPort(port);
        upAndSearched();  // and searched again
        int saves = 0;
        for (const auto& [port, card] : all)
            saves += board->card(port, card).saves;
        progress.clear();
        run(c.job, 8000);
        EXPECT_TRUE(endedWith100());
        const CardJobEnd end = m->job_report.end();
        EXPECT_EQ(end.refused, c.refused);
        EXPECT_EQ(end.empty_ports, c.emptyPorts);
        EXPECT_EQ(end.cards, c.cards);
        EXPECT_EQ(end.missed, c.missed);
        int savesAfter = 0;
        for (const auto& [port, card] : all)
            savesAfter += board->card(port, card).saves;
        EXPECT_EQ(savesAfter - saves, c.job == SEND_SAVE_PARA ? c.cards - int(c.missed.size()) : 0);
        for (const auto& [port, card] : all)
            board->silenceCard(port, card, false);
    }
}

// ------------------------------------------------------------------ recovery

TEST_F(JobTest, RecoveryFindsTheCardAndTheReplayRestoresIt)
{
    upAndSearched();
    writeBoxFile(kRecoveryPath, recoveryFile());
    board->setNeedsRecovery(0, 2, true);
    m->rcv_result.pageOpened();
    codes.clear();

    run(SEND_RCV_CHECK);
    EXPECT_TRUE(endedWith100());
    EXPECT_EQ(g_send_para.recovery_progress.load(), 2);
    EXPECT_EQ(m->rcv_result.list(), QStringList{"02/01/03/04"});  // screen 2, port 1, card 3 of 4
    EXPECT_EQ(m->rcv_result.count(), 1);
    EXPECT_EQ(count(SYNC_PARA_CHANGED), 1);

    codes.clear();
    progress.clear();
    run(SEND_RCV_RECOVERY);
    EXPECT_TRUE(endedWith100());
    EXPECT_EQ(progress.front(), 0);
    const auto card = board->card(0, 2);
    EXPECT_EQ(std::vector<u8>(card.saved.begin() + 16, card.saved.begin() + 19), (std::vector<u8>{1, 2, 3}));
    EXPECT_EQ(card.mapping, fpga::kMappingOn);
    EXPECT_FALSE(card.needsRecovery);
    EXPECT_FALSE(board->card(0, 1).placed);  // another card's operation is not replayed
    EXPECT_EQ(board->card(0, 1).saves, 0);
    // The query that follows finds nothing more: the page's line goes.
    EXPECT_EQ(g_send_para.recovery_progress.load(), fpga::kRcvAnswerNone);
    EXPECT_TRUE(m->rcv_result.list().isEmpty());
    EXPECT_EQ(m->rcv_result.count(), 0);
    EXPECT_EQ(codes, std::vector<int>{SYNC_RCV_RECOVERY});
}

// A query that could not ask a port (no link when its turn comes, or the
// link gone while a card there had not answered) names it, the query of a
// recovery too: a card there may need recovery.
TEST_F(JobTest, AQueryThatCouldNotAskAPortNamesIt)
{
    upAndSearched();
    writeBoxFile(kRecoveryPath, recoveryFile());  // LED2 (2 cards), then LED1 (4)
    board->setNeedsRecovery(0, 2, true);
    m->rcv_result.pageOpened();
    board->cutPort(0);
    upAndSearched();
    run(SEND_RCV_CHECK, 2000);
    EXPECT_TRUE(endedWith100());
    EXPECT_EQ(m->job_report.end().unasked_ports, 1u << 0);
    EXPECT_EQ(m->rcv_result.count(), 0);

    board->connectPort(0, 4);
    board->setNeedsRecovery(0, 2, true);
    upAndSearched();
    after(fpga_manage::kJobFailTicks + 1);
    run(SEND_RCV_CHECK, 2000);
    ASSERT_EQ(m->rcv_result.list(), QStringList{"02/01/03/04"});
    EXPECT_EQ(m->job_report.end().unasked_ports, 0);
    // The recovery's query asks LED2 first, where a card is silent; its
    // link goes while the query waits for that card.
    board->silenceCard(1, 1, true);
    codes.clear();
    g_send_para.post(SEND_RCV_RECOVERY);
    for (int i = 0; i < 2000 && g_send_para.step.load() != kJobRun; ++i)
        after(1);
    after(50);
    board->cutPort(1);
    runOn(2000);
    EXPECT_TRUE(endedWith100());
    EXPECT_FALSE(board->card(0, 2).needsRecovery);
    EXPECT_EQ(m->job_report.end().unasked_ports, 1u << 1);
    EXPECT_EQ(m->rcv_result.count(), 0);
    EXPECT_EQ(count(SYNC_RCV_RECOVERY), 1);
}

TEST_F(JobTest, ACardThatDoesNotAnswerItsRecoveryStaysListedAndIsToldSo)
{
    upAndSearched();
    writeBoxFile(kRecoveryPath, recoveryFile());
    board->setNeedsRecovery(0, 2, true);
    m->rcv_result.pageOpened();
    run(SEND_RCV_CHECK);
    ASSERT_EQ(m->rcv_result.count(), 1);

    board->silenceCard(0, 2, true);
    codes.clear();
    progress.clear();
    run(SEND_RCV_RECOVERY, 2000);
    EXPECT_TRUE(endedWith100());
    EXPECT_TRUE(board->card(0, 2).needsRecovery);
    EXPECT_EQ(m->rcv_result.list(), QStringList{"02/01/03/04"});
    EXPECT_EQ(m->rcv_result.count(), 1);
    EXPECT_TRUE(m->rcv_result.silent());
    EXPECT_EQ(count(SYNC_RCV_RECOVERY), 1);
}

// A replay a card does not answer whole is not saved: the port pulled and
// plugged back on the way, or the card silent for a moment. The card keeps
// its loss (and the page its line, saying it did not answer); once the
// trouble is over a recovery restores it whole.
TEST_F(JobTest, ARecoveryReplayACardDidNotAnswerWholeIsNotSaved)
{
    upAndSearched();
    std::vector<cardfile::RcvOperation> ops;
    for (u16 i = 0; i < 200; ++i)
        ops.push_back(op(2, fpga::kRcvWrite, 4u * i, {static_cast<u8>(i + 1)}));
    writeBoxFile(kRecoveryPath, build::recoveryFile({{0, 0, 4, ops}}));
    struct Case {
        const char* name;
        std::function<void()> trouble, over;
    };
    const Case cases[] = {
        {"port down and up", [this] { board->cutPort(0); }, [this] { board->connectPort(0, 4); }},
        {"card silent a moment", [this] { board->silenceCard(0, 2, true); },
         [this] { board->silenceCard(0, 2, false); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        board->setCards(0, 2);  // cards 2 and 3 anew
        board->setCards(0, 4);
        board->setNeedsRecovery(0, 2, true);
        m->rcv_result.pageOpened();
        run(SEND_RCV_CHECK, 2000);
        ASSERT_EQ(m->rcv_result.list(), QStringList{"01/01/03/04"});
        codes.clear();
        g_send_para.post(SEND_RCV_RECOVERY);
        passes(60);
        c.trouble();
        after(50);
        c.over();
        runOn(2000);
        EXPECT_TRUE(endedWith100());
        const auto card = board->card(0, 2);
        EXPECT_TRUE(card.needsRecovery);
        EXPECT_EQ(card.saves, 0);
        EXPECT_NE(card.memory[4 * 30], 0);   // the replay began ...
        EXPECT_EQ(card.memory[4 * 199], 0);  // ... and did not go on blind
        EXPECT_EQ(m->rcv_result.list(), QStringList{"01/01/03/04"});
        EXPECT_EQ(m->rcv_result.count(), 1);
        EXPECT_TRUE(m->rcv_result.silent());
        EXPECT_EQ(count(SYNC_RCV_RECOVERY), 1);

        after(fpga_manage::kJobFailTicks + 1);
        run(SEND_RCV_RECOVERY, 2000);
        EXPECT_TRUE(endedWith100());
        EXPECT_FALSE(board->card(0, 2).needsRecovery);
        EXPECT_EQ(board->card(0, 2).saved[4 * 199], 200);
        EXPECT_EQ(m->rcv_result.count(), 0);
    }
}

// Every way a job can go wrong still ends it and shows 100; the recovery
// jobs keep their job word 100 ticks more after a failure.
TEST_F(JobTest, EveryFailureEndsTheJobWith100)
{
    struct Case {
        const char* name;
        u8 job;
        std::function<void()> setup;
        bool failure;  // a recovery job that failed (rather than ended)
    };
    auto mapping = [](u8 port, u8 rows, u8 columns, u8 route) {
        return [=] { line_type = {128, 96, 0, 0, port, rows, columns, route}; };
    };
    auto scan = [this](std::string bytes, const char* chosen) {
        return [=] {
            writeBoxFile(kScanPath, bytes);
            g_ztfile_name.set(chosen);
            line_type.port = 0;
        };
    };
    const std::string goodScan = build::scanFile({{0, {1}}});
    std::string badCrc = goodScan;
    badCrc.back() ^= 1;
    const Case cases[] = {
        {"mapping: no link", SEND_SMARTMAPPING, mapping(7, 1, 1, 1), false},
        {"mapping: no cards", SEND_SMARTMAPPING,
         [&] {
             board->connectPort(12, 0);
             mapping(12, 1, 1, 1)();
         },
         false},
        {"mapping: port 16", SEND_SMARTMAPPING, mapping(16, 1, 1, 1), false},
        {"mapping: pattern 0", SEND_SMARTMAPPING, mapping(0, 1, 1, 0), false},
        {"mapping: pattern 17", SEND_SMARTMAPPING, mapping(0, 1, 1, 17), false},
        {"mapping: no rows", SEND_SMARTMAPPING, mapping(0, 0, 2, 1), false},
        {"mapping: no columns", SEND_SMARTMAPPING, mapping(0, 2, 0, 1), false},
        {"scan: no file anywhere", SEND_LOAD_SCAN, [] { g_ztfile_name.set(kScanPath); }, false},
        {"scan: chosen file gone", SEND_LOAD_SCAN, scan(goodScan, "/data/smartmapping/gone.ztfile"), false},
        {"scan: damaged file", SEND_LOAD_SCAN, scan(badCrc, kScanPath), false},
        {"scan: nothing chosen", SEND_LOAD_SCAN, scan(goodScan, ""), false},
        {"check: no recovery file", SEND_RCV_CHECK, [] {}, true},
        {"check: two recovery files", SEND_RCV_CHECK,
         [&] {
             writeBoxFile(kRecoveryPath, recoveryFile());
             writeBoxFile("/data/rcvrecovery/other.rcv", recoveryFile());
         },
         true},
        {"check: damaged recovery file", SEND_RCV_CHECK, [&] { writeBoxFile(kRecoveryPath, "RCVP"); }, true},
        {"recovery: nothing found before", SEND_RCV_RECOVERY,
         [&] {
             writeBoxFile(kRecoveryPath, recoveryFile());
             g_send_para.recovery_progress = fpga::kRcvAnswerNone;
         },
         true},
    };
    upAndSearched();
    auto check = [&](const Case& c) {
        SCOPED_TRACE(c.name);
        progress.clear();
        codes.clear();
        c.setup();
        g_send_para.post(c.job);
        passes(2);
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back(), 100);
        if (c.failure) {
            after(fpga_manage::kJobFailTicks);
            EXPECT_EQ(g_send_para.cmd.load(), c.job);
            after(1);
            EXPECT_EQ(count(SYNC_PARA_CHANGED), 1);
        }
        EXPECT_EQ(g_send_para.cmd.load(), SEND_NONE);
        EXPECT_EQ(g_send_para.step.load(), 0);
        platform::removeFile(kRecoveryPath);
        platform::removeFile("/data/rcvrecovery/other.rcv");
        platform::removeFile(kScanPath);
    };
    for (const Case& c : cases)
        check(c);
    // Without a running FPGA every job ends at once.
    board->holdInReset(0, true);
    passes(1);
    for (u8 job = SEND_SMARTMAPPING; job <= SEND_RCV_RECOVERY; ++job)
        check({"no FPGA", job, scan(goodScan, kScanPath), job >= SEND_RCV_CHECK});
}

// A job whose FPGA goes away on the way ends at once with 100 and says
// why; once the FPGA is back and the cards are found again it runs whole.
TEST_F(JobTest, AJobWhoseFpgaGoesAwayEndsAndRunsWholeOnceItIsBack)
{
    board->connectPort(2, 6);
    writeBoxFile(kScanPath, build::scanFile({{0, {1}}, {16, {2}}, {32, {3}}, {48, {4}}}));
    writeBoxFile(kRecoveryPath, recoveryFile());
    g_ztfile_name.set(kScanPath);
    g_send_para.mapping_value = fpga::kMappingOn;
    m->rcv_result.pageOpened();
    upAndSearched();
    auto silence = [this](std::vector<std::pair<int, int>> cards, bool on) {
        for (const auto& [port, card] : cards)
            board->silenceCard(port, card, on);
    };
    struct Case {
        const char* name;
        u8 job;
        std::vector<std::pair<int, int>> silent;  // cards that keep the job waiting
        std::function<bool()> done;               // what the whole job leaves
    };
    const Case cases[] = {
        {"quick mapping", SEND_SMARTMAPPING, {}, [this] { return board->card(2, 5).placed; }},
        {"load scan", SEND_LOAD_SCAN, {}, [this] { return board->cardMemory(0, 3)[48] == 4; }},
        {"save", SEND_SAVE_PARA, {{0, 0}, {0, 1}}, [this] { return board->card(0, 0).saves == 1; }},
        {"mapping", SEND_MAPPING_ENABLE, {{0, 0}}, [this] { return board->card(0, 0).mapping == fpga::kMappingOn; }},
        {"check", SEND_RCV_CHECK, {{1, 0}, {1, 1}}, [this] { return m->rcv_result.count() == 1; }},
        {"recovery", SEND_RCV_RECOVERY, {{0, 2}}, [this] { return !board->card(0, 2).needsRecovery; }},
    };
    line_type = {128, 96, 0, 0, 2, 2, 3, 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        line_type.port = c.job == SEND_SMARTMAPPING ? 2 : 0;
        // A card that lost its settings for the recovery jobs (a save before
        // took its loss away); the recovery works on the card a check found.
        board->setNeedsRecovery(0, 2, true);
        if (c.job == SEND_RCV_RECOVERY)
            run(SEND_RCV_CHECK, 2000);
        silence(c.silent, true);
        progress.clear();
        g_send_para.post(c.job);
        passes(2);
        ASSERT_FALSE(progress.empty());
        EXPECT_LT(progress.back(), 100);

        board->holdInReset(0, true);
        passes(1);
        EXPECT_EQ(progress.back(), 100);
        EXPECT_TRUE(m->job_report.no_fpga.load());
        if (c.job >= SEND_RCV_CHECK)
            after(fpga_manage::kJobFailTicks + 1);
        EXPECT_EQ(g_send_para.cmd.load(), SEND_NONE);
        EXPECT_FALSE(c.done());

        board->holdInReset(0, false);
        silence(c.silent, false);
        upAndSearched();
        progress.clear();
        run(c.job, 2000);
        EXPECT_TRUE(endedWith100());
        EXPECT_FALSE(m->job_report.no_fpga.load());
        EXPECT_TRUE(c.done());
    }
}

// ------------------------------------------------------------------ the files

TEST(CardFiles, DamagedFilesAreRefusedWhole)
{
    const std::string good = recoveryFile();
    std::vector<cardfile::RcvPort> ports;
    QString why;
    ASSERT_TRUE(cardfile::parseRecoveryFile(good, &ports, &why)) << qPrintable(why);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[1].screen, 1);
    EXPECT_EQ(ports[1].record.net_rcv_num, 4);
    EXPECT_EQ(cardfile::operationsFor(ports[1], 2).size(), 2u);

    auto withPort = [](build::Port p) { return build::recoveryFile({p}); };
    std::string badMagic = good;
    badMagic[0] = 'X';
    std::string badCrc = good;
    badCrc.back() ^= 1;
    std::string cut = good.substr(0, good.size() - 1);
    // Record 0's parameter offset pointed into the head, CRC made good again.
    std::string body = good.substr(cardfile::kRecoveryHead);
    body[4 + 4] = 2;
    const std::string intoHead = build::sealed(cardfile::kRecoveryMagic, 1, 2, body);
    const std::pair<const char*, std::string> bad[] = {
        {"magic", badMagic},
        {"CRC", badCrc},
        {"cut short", cut},
        {"no screen", build::sealed(cardfile::kRecoveryMagic, 1, 0, "")},
        {"version 2", build::sealed(cardfile::kRecoveryMagic, 2, 1, good.substr(cardfile::kRecoveryHead))},
        {"port 16", withPort({0, 16, 1, {}})},
        {"no cards", withPort({0, 0, 0, {}})},
        {"card past the port", withPort({0, 0, 2, {op(2, fpga::kRcvWrite, 0, {1})}})},
        {"unknown operation", withPort({0, 0, 2, {op(0, fpga::kRcvSave, 0, {1})}})},
        {"position of 7 bytes", withPort({0, 0, 2, {op(0, fpga::kRcvPosition, 0, std::vector<u8>(7))}})},
        {"area in the head", intoHead},
    };
    for (const auto& [name, bytes] : bad) {
        ports.clear();
        EXPECT_FALSE(cardfile::parseRecoveryFile(bytes, &ports, &why)) << name;
        EXPECT_TRUE(ports.empty()) << name;
    }

    std::vector<cardfile::ScanBlock> blocks;
    const std::string scan = build::scanFile({{0, {1, 2}}, {512, std::vector<u8>(1024, 7)}});
    ASSERT_TRUE(cardfile::parseScanFile(scan, &blocks, &why)) << qPrintable(why);
    EXPECT_EQ(blocks.size(), 2u);
    EXPECT_FALSE(cardfile::parseScanFile(scan + "x", &blocks, &why));
    EXPECT_FALSE(cardfile::parseScanFile(build::scanFile({{0, std::vector<u8>(1025, 7)}}), &blocks, &why));
    EXPECT_FALSE(cardfile::parseScanFile(build::scanFile({}), &blocks, &why));
    EXPECT_FALSE(cardfile::parseScanFile(recoveryFile(), &blocks, &why));
}

// ------------------------------------------------------------------ the running box

// The manager's thread with the tick running: each job posted as a page
// posts it runs to its 100.
TEST_F(JobTest, TheThreadRunsEveryJobToItsEnd)
{
    board->connectPort(2, 6);
    writeBoxFile(kScanPath, build::scanFile({{32, {5, 6, 7}}}));
    writeBoxFile(kRecoveryPath, recoveryFile());
    m->rcv_result.pageOpened();
    m->initialize_start();
    auto ticking = [](const std::function<bool()>& cond) {
        return waitUntil(
            [&] {
                ++G_timeTicks;
                return cond();
            },
            20000);
    };
    ASSERT_TRUE(ticking([this] { return m->port_cards[2].load() == 6 && m->port_cards[0].load() == 4; }));
    auto runJob = [&](u8 job) {
        progress.clear();
        g_send_para.post(job);
        m->wake();
        return ticking([this] { return !progress.empty() && progress.back() == 100 && g_send_para.cmd.load() == 0; });
    };

    line_type = {64, 32, 0, 0, 2, 2, 3, 1};
    ASSERT_TRUE(runJob(SEND_SMARTMAPPING));
    EXPECT_EQ((Area{board->card(2, 4).area[0], board->card(2, 4).area[1]}), (Area{64, 32}));
    g_ztfile_name.set(kScanPath);
    ASSERT_TRUE(runJob(SEND_LOAD_SCAN));
    ASSERT_TRUE(runJob(SEND_SAVE_PARA));
    g_send_para.mapping_value = fpga::kMappingOn;
    ASSERT_TRUE(runJob(SEND_MAPPING_ENABLE));
    for (int place = 0; place < 6; ++place) {
        const auto card = board->card(2, place);
        EXPECT_EQ(std::vector<u8>(card.saved.begin() + 32, card.saved.begin() + 35), (std::vector<u8>{5, 6, 7}));
        EXPECT_EQ(card.mapping, fpga::kMappingOn);
    }

    // The cards set up through the control pipe, as on a running box.
    EXPECT_EQ(control("card 0 1 recovery on"), "ok card 0 1 recovery on");
    EXPECT_EQ(control("card 1 0 delay 30"), "ok card 1 0 delay 30");
    const std::pair<const char*, const char*> refused[] = {
        {"card 1 2 silent on", "port 1 has 2 cards"},
        {"card 0 0 silent maybe", "on or off, not maybe"},
        {"card 0 0 loud on", "a card is silent, needs recovery or answers after a delay"},
        {"card 0 0 delay -1", "a delay is 0-100000 looks"},
    };
    for (const auto& [line, why] : refused)
        EXPECT_EQ(control(line), std::string("error ") + line + ": " + why);
    ASSERT_TRUE(runJob(SEND_RCV_CHECK));
    EXPECT_EQ(m->rcv_result.list(), QStringList{"02/01/02/04"});
    ASSERT_TRUE(runJob(SEND_RCV_RECOVERY));
    EXPECT_FALSE(board->card(0, 1).needsRecovery);
    EXPECT_EQ(m->rcv_result.count(), 0);
}

// The control pipe's card dump shows what the jobs left in each card: its
// position, saves, recovery flag and faults, and its memory beside the
// saved copy where they differ.
TEST_F(JobTest, ThePipeShowsEachCardAsTheJobsLeftIt)
{
    board->connectPort(2, 2);
    writeBoxFile(kScanPath, build::scanFile({{16, {5, 6}}}));
    upAndSearched();
    line_type = {64, 32, 0, 0, 2, 1, 2, 1};
    run(SEND_SMARTMAPPING, 400);
    g_ztfile_name.set(kScanPath);
    run(SEND_LOAD_SCAN);
    board->silenceCard(2, 1, true);
    run(SEND_SAVE_PARA, 3000);
    ASSERT_TRUE(endedWith100());
    board->setNeedsRecovery(2, 1, true);

    ASSERT_EQ(control("fpga cards"), "ok fpga cards");
    const std::string zeros = " 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n";
    const std::string port2 =
        "port 2: link up, 2 cards\n"
        "card 2 0: position 0 0 64x32, mapping 0, saves 1, recovery off\n"
        "card 2 0 memory 010: 05 06" +
        zeros +
        "card 2 1: position 64 0 64x32, mapping 0, saves 0, recovery on, silent, changes not saved\n"
        "card 2 1 memory 010: 05 06" +
        zeros + "card 2 1 saved 010: 00 00" + zeros;
    const std::string dump = readBoxFile(platform::sim::kCardsDump);
    EXPECT_NE(dump.find(port2), std::string::npos) << dump;
    EXPECT_EQ(dump.rfind("port 0: link up, 4 cards\n", 0), 0u) << dump;
}
