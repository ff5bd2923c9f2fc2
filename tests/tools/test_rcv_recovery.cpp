// The receiving-card recovery page with the recovery jobs behind it: a query
// finds the card that lost its settings, its line is drawn white or, past
// its port's card count, red, and only a white card can be recovered.
#include "screens/page_directory.h"
#include "tests/fpga/card_files_build.h"
#include "tests/tools/tool_page_test.h"
#include "tools/rcv_recovery.h"

#include <QFrame>
#include <QLabel>

namespace {

const QString kAskFirst = QStringLiteral("Press Query to ask the receiving cards.");

// Every line the result frame shows.
QStringList frameLines(const QWidget* page)
{
    QStringList lines;
    for (const QLabel* l : page->findChild<QFrame*>(QStringLiteral("frame_file"))->findChildren<QLabel*>())
        lines << l->text();
    return lines;
}

QString shownLine(const QWidget* page)
{
    const QFrame* frame = page->findChild<QFrame*>(QStringLiteral("frame_file"));
    const QLabel* line = frame ? frame->findChild<QLabel*>() : nullptr;
    return line ? line->text() : QString();
}

}  // namespace

using RecoveryPage = ToolPageTest;

TEST_F(RecoveryPage, AQueryShowsTheCardFoundAndOnlyACardWithinItsPortIsRecovered)
{
    upAndSearched();
    board->setNeedsRecovery(0, 2, true);  // the third card of LED1
    struct Case {
        unsigned cardsInFile;
        const char* colour;
        u8 recovery;  // the job Recovery posts
    };
    for (const Case& c : {Case{4, "#FFFFFF", SEND_RCV_RECOVERY}, Case{2, "#FF0000", SEND_NONE}}) {
        writeBoxFile("/data/rcvrecovery/screen.rcv", cardfile_build::recoveryFile({{0, 0, c.cardsInFile, {}}}));
        const bool opened = insidePage(
            [] { pages::openPage(PAGE_RCV_RECOVERY); },
            [&] {
                rcv_recovery* page = g_rcv_recovery;
                ASSERT_TRUE(page);
                // Every opening starts without a result: Recovery sends the focus to Query.
                EXPECT_EQ(shownLine(page), kAskFirst);
                keys(page, {Qt::Key_R, Qt::Key_Q});
                EXPECT_EQ(g_send_para.cmd.load(), SEND_NONE);
                EXPECT_EQ(page->selected(), 0);

                keys(page, {Qt::Key_Q, Qt::Key_O});  // Query; BACK refused while it runs
                EXPECT_EQ(g_send_para.cmd.load(), SEND_RCV_CHECK);
                EXPECT_EQ(g_rcv_recovery, page);
                runJob();
                QCoreApplication::processEvents();
                EXPECT_EQ(g_qround_bar, nullptr);
                EXPECT_EQ(shownLine(page), QStringLiteral("Find Screen01, LED01, Rcv<font color = %1 >03</font>")
                                               .arg(QLatin1String(c.colour)));

                keys(page, {Qt::Key_R, Qt::Key_Q});
                EXPECT_EQ(g_send_para.cmd.load(), c.recovery);
                endJob();
            });
        EXPECT_TRUE(opened);
    }
}

// A USB upgrade and the card jobs share the manager's step counter: a query
// during an upgrade posts nothing (and puts up no bar); once the upgrade is
// over it goes.
TEST_F(RecoveryPage, NoJobIsPostedWhileAUsbUpgradeRuns)
{
    upAndSearched();
    writeBoxFile("/data/rcvrecovery/screen.rcv", cardfile_build::recoveryFile({{0, 0, 4, {}}}));
    const bool opened = insidePage([] { pages::openPage(PAGE_RCV_RECOVERY); },
                                   [&] {
                                       g_usb_grade = 1;
                                       g_send_para.step = 2;
                                       keys(g_rcv_recovery, {Qt::Key_Q});
                                       EXPECT_EQ(g_send_para.cmd.load(), SEND_NONE);
                                       EXPECT_EQ(g_send_para.step.load(), 2);
                                       EXPECT_EQ(g_qround_bar, nullptr);
                                       g_usb_grade = 0;
                                       g_send_para.step = 0;
                                       keys(g_rcv_recovery, {Qt::Key_Q});
                                       EXPECT_EQ(g_send_para.cmd.load(), SEND_RCV_CHECK);
                                       endJob();
                                   });
    EXPECT_TRUE(opened);
}

TEST_F(RecoveryPage, ACardThatDoesNotAnswerItsRecoveryStaysListedWithASentenceThatSaysSo)
{
    upAndSearched();
    board->setNeedsRecovery(0, 2, true);
    writeBoxFile("/data/rcvrecovery/screen.rcv", cardfile_build::recoveryFile({{0, 0, 4, {}}}));
    const bool opened =
        insidePage([] { pages::openPage(PAGE_RCV_RECOVERY); },
                   [&] {
                       rcv_recovery* page = g_rcv_recovery;
                       ASSERT_TRUE(page);
                       keys(page, {Qt::Key_Q});  // Query
                       runJob();
                       QCoreApplication::processEvents();
                       const QString found = shownLine(page);
                       ASSERT_TRUE(found.startsWith(QStringLiteral("Find Screen01")));
                       EXPECT_EQ(page->noAnswerLine(), nullptr);

                       board->silenceCard(0, 2, true);
                       keys(page, {Qt::Key_R, Qt::Key_Q});  // Recovery
                       ASSERT_EQ(g_send_para.cmd.load(), SEND_RCV_RECOVERY);
                       runJob();
                       QCoreApplication::processEvents();
                       EXPECT_EQ(shownLine(page), found);
                       ASSERT_NE(page->noAnswerLine(), nullptr);
                       EXPECT_EQ(page->noAnswerLine()->text(), QStringLiteral("The receiving card did not answer!"));
                       EXPECT_TRUE(board->card(0, 2).needsRecovery);
                       endJob();
                   });
    EXPECT_TRUE(opened);
}

// A job cut short because FPGA 0 stopped says so in the list: a query does
// not claim that no card needs recovery, a recovery keeps its card listed.
// With the FPGA back the query finds the card.
TEST_F(RecoveryPage, AJobCutShortByTheFpgaSaysSoInTheList)
{
    upAndSearched();
    board->setNeedsRecovery(0, 2, true);
    writeBoxFile("/data/rcvrecovery/screen.rcv", cardfile_build::recoveryFile({{0, 0, 4, {}}}));
    const QString kNoFpga = QStringLiteral("The FPGA is not running!");
    auto fpgaLostDuring = [this](rcv_recovery* page, std::initializer_list<int> job) {
        keys(page, job);
        after(1);
        after(1);
        board->holdInReset(0, true);
        runJob();
        QCoreApplication::processEvents();
        board->holdInReset(0, false);
        upAndSearched();
    };
    const bool opened = insidePage([] { pages::openPage(PAGE_RCV_RECOVERY); },
                                   [&] {
                                       rcv_recovery* page = g_rcv_recovery;
                                       ASSERT_TRUE(page);
                                       for (int card = 0; card < 4; ++card)  // the query waits for answers
                                           board->silenceCard(0, card, true);
                                       fpgaLostDuring(page, {Qt::Key_Q});  // Query
                                       ASSERT_NE(page->noFpgaLine(), nullptr);
                                       EXPECT_EQ(shownLine(page), kNoFpga);
                                       EXPECT_EQ(g_qround_bar, nullptr);

                                       for (int card = 0; card < 4; ++card)
                                           board->silenceCard(0, card, false);
                                       keys(page, {Qt::Key_Q});
                                       runJob();
                                       QCoreApplication::processEvents();
                                       const QString found = shownLine(page);
                                       EXPECT_TRUE(found.startsWith(QStringLiteral("Find Screen01, LED01, Rcv")));
                                       EXPECT_EQ(page->noFpgaLine(), nullptr);

                                       board->silenceCard(0, 2, true);                // the save waits for the card
                                       fpgaLostDuring(page, {Qt::Key_R, Qt::Key_Q});  // Recovery
                                       EXPECT_EQ(shownLine(page), found);
                                       ASSERT_NE(page->noFpgaLine(), nullptr);
                                       EXPECT_EQ(page->noFpgaLine()->text(), kNoFpga);
                                       EXPECT_EQ(page->noAnswerLine(), nullptr);
                                       EXPECT_TRUE(board->card(0, 2).needsRecovery);
                                   });
    EXPECT_TRUE(opened);
}

// Opened while FPGA 0 does not run, the page says so from the start, not
// that no card needs recovery; once FPGA 0 runs the sentence goes.
TEST_F(RecoveryPage, OpenedWhileTheFpgaIsLostItSaysSoFromTheStart)
{
    writeBoxFile("/data/rcvrecovery/screen.rcv", cardfile_build::recoveryFile({{0, 0, 4, {}}}));
    board->holdInReset(0, true);
    after(1);
    ASSERT_EQ(fpga->get_fpga_status(), 0);
    const bool opened = insidePage([] { pages::openPage(PAGE_RCV_RECOVERY); },
                                   [&] {
                                       rcv_recovery* page = g_rcv_recovery;
                                       ASSERT_TRUE(page);
                                       ASSERT_NE(page->noFpgaLine(), nullptr);
                                       EXPECT_EQ(shownLine(page), QStringLiteral("The FPGA is not running!"));
                                       board->holdInReset(0, false);
                                       upAndSearched();
                                       QCoreApplication::processEvents();
                                       EXPECT_EQ(page->noFpgaLine(), nullptr);
                                       EXPECT_EQ(shownLine(page), kAskFirst);
                                   });
    EXPECT_TRUE(opened);
}

// The page tells that no card needs recovery only once a query of this
// opening found none: before it asks for a query, and while one runs it
// says nothing of the cards.
TEST_F(RecoveryPage, NoCardNeedsRecoveryIsSaidOnlyAfterAQueryFoundNone)
{
    upAndSearched();
    writeBoxFile("/data/rcvrecovery/screen.rcv", cardfile_build::recoveryFile({{0, 0, 4, {}}}));
    const bool opened =
        insidePage([] { pages::openPage(PAGE_RCV_RECOVERY); },
                   [&] {
                       rcv_recovery* page = g_rcv_recovery;
                       ASSERT_TRUE(page);
                       EXPECT_EQ(shownLine(page), kAskFirst);
                       keys(page, {Qt::Key_Q});
                       ASSERT_EQ(g_send_para.cmd.load(), SEND_RCV_CHECK);
                       EXPECT_EQ(shownLine(page), QString());
                       runJob();
                       QCoreApplication::processEvents();
                       EXPECT_EQ(shownLine(page), QStringLiteral("No receiving cards that need to be updated!"));
                   });
    EXPECT_TRUE(opened);
}

// A recovery file the job refuses (cut short, another kind of file, too
// large, gone since the page opened, or two of them where the job takes
// the one) is said to be refused, and why: not that no card needs
// updating, while a card does.
TEST_F(RecoveryPage, ARefusedRecoveryFileIsSaidToBeRefusedAndWhy)
{
    upAndSearched();
    board->setNeedsRecovery(0, 2, true);
    const std::string good = cardfile_build::recoveryFile({{0, 0, 4, {}}});
    std::string foreign = good;
    foreign[0] = 'X';
    const char* const kGone = "";  // the file removed
    const char* const kSecond = "/data/rcvrecovery/second.rcv";
    const std::pair<std::string, QString> files[] = {
        {good.substr(0, good.size() - 1), QStringLiteral("the file is cut short.")},
        {foreign, QStringLiteral("the file's format is unknown.")},
        {std::string(6 * 1024 * 1024, '\0'), QStringLiteral("the file is over 5 MB.")},
        {kGone, QStringLiteral("the file was not found.")},
        {kSecond, QStringLiteral("there are several files: none is used.")},
    };
    const bool opened = insidePage(
        [] { pages::openPage(PAGE_RCV_RECOVERY); },
        [&] {
            rcv_recovery* page = g_rcv_recovery;
            ASSERT_TRUE(page);
            for (const auto& [bytes, why] : files) {
                SCOPED_TRACE(qPrintable(why));
                if (bytes == kGone) {
                    platform::removeFile("/data/rcvrecovery/screen.rcv");
                } else if (bytes == kSecond) {
                    writeBoxFile("/data/rcvrecovery/screen.rcv", good);
                    writeBoxFile(kSecond, good);
                } else {
                    writeBoxFile("/data/rcvrecovery/screen.rcv", bytes);
                }
                keys(page, {Qt::Key_Q});
                ASSERT_EQ(g_send_para.cmd.load(), SEND_RCV_CHECK);
                runJob();
                QCoreApplication::processEvents();
                QStringList lines;
                for (const QLabel* l : page->findChild<QFrame*>(QStringLiteral("frame_file"))->findChildren<QLabel*>())
                    lines << l->text();
                EXPECT_EQ(lines, (QStringList{QStringLiteral("The recovery file could not be used:"), why}));
            }
        });
    EXPECT_TRUE(opened);
}

// A query over a port without a link could not ask its cards: the page
// names the port, never that no card needs updating while one does.
TEST_F(RecoveryPage, AQueryOverALostLinkNamesThePortItCouldNotAsk)
{
    upAndSearched();
    board->setNeedsRecovery(0, 2, true);
    writeBoxFile("/data/rcvrecovery/screen.rcv", cardfile_build::recoveryFile({{0, 0, 4, {}}}));
    board->cutPort(0);
    upAndSearched();
    const bool opened =
        insidePage([] { pages::openPage(PAGE_RCV_RECOVERY); },
                   [&] {
                       rcv_recovery* page = g_rcv_recovery;
                       ASSERT_TRUE(page);
                       keys(page, {Qt::Key_Q});
                       ASSERT_EQ(g_send_para.cmd.load(), SEND_RCV_CHECK);
                       runJob();
                       QCoreApplication::processEvents();
                       EXPECT_EQ(frameLines(page), (QStringList{QStringLiteral("These ports could not be asked:"),
                                                                QStringLiteral("LED1: no link.")}));
                       EXPECT_TRUE(page->notAskedLine());
                   });
    EXPECT_TRUE(opened);
}

// A flagged card that does not answer the query in time, silent or late, is
// named with its port, of the cards asked; that no card needs recovery is
// said only when every card of every port answered and none is flagged.
TEST_F(RecoveryPage, ACardThatDoesNotAnswerTheQueryInTimeIsNamed)
{
    board->setCards(0, 4);
    board->setCards(1, 2);
    upAndSearched();
    writeBoxFile("/data/rcvrecovery/screen.rcv", cardfile_build::recoveryFile({{0, 0, 4, {}}, {0, 1, 2, {}}}));
    const QStringList notLearned = {QStringLiteral("1 of 6 cards did not answer in time:"),
                                    QStringLiteral("LED1: card 3")};
    struct Case {
        bool flagged;
        std::function<void()> fault;
        QStringList lines;
    };
    const Case cases[] = {
        {true, [this] { board->silenceCard(0, 2, true); }, notLearned},
        {true, [this] { board->setCardDelay(0, 2, int(fpga_manage::kQueryTicks) + 200); }, notLearned},
        {false, [] {}, {QStringLiteral("No receiving cards that need to be updated!")}},
    };
    for (const Case& c : cases) {
        board->setNeedsRecovery(0, 2, c.flagged);
        c.fault();
        const bool opened = insidePage([] { pages::openPage(PAGE_RCV_RECOVERY); },
                                       [&] {
                                           rcv_recovery* page = g_rcv_recovery;
                                           ASSERT_TRUE(page);
                                           keys(page, {Qt::Key_Q});
                                           runJob();
                                           QCoreApplication::processEvents();
                                           EXPECT_EQ(frameLines(page), c.lines);
                                           EXPECT_EQ(page->missedLine() != nullptr, c.flagged);
                                       });
        EXPECT_TRUE(opened);
        board->silenceCard(0, 2, false);
        board->setCardDelay(0, 2, 0);
    }
}
