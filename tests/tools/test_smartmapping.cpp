// The smart-mapping page driven as an operator drives it: quick mapping from
// the keys to the placed cards, with the page locked while the job's bar is
// up; the scan-file list; the mapping switch on FPGA 0's register 0.
#include "app/page_handover.h"
#include "app/tip.h"
#include "screens/page_directory.h"
#include "tests/fpga/card_files_build.h"
#include "tests/tools/tool_page_test.h"
#include "tools/smartmapping.h"
#include "tools/smartmapping_shared.h"
#include "tools/tool_page_requests.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace {

void setField(QWidget* page, const char* name, const char* text)
{
    page->findChild<QLineEdit*>(QLatin1String(name))->setText(QLatin1String(text));
}

const char* const kScanPath = "/data/smartmapping/screen.ztfile";

// The page's scan load: the list drawn (its first file chosen), then Load.
void loadScan(SmartMapping& page)
{
    page.on_Button_loadscan_clicked();
    page.on_Button_next_5_clicked();
    page.on_Button_load_clicked();
}

}  // namespace

using SmartMappingPage = ToolPageTest;

TEST_F(SmartMappingPage, SendPostsTheTypedLayoutAndThePageIsLockedUntilTheJobEnds)
{
    board->connectPort(2, 6);
    upAndSearched();
    const bool opened =
        insidePage([] { pages::openPage(PAGE_SMART_MAPPING); },
                   [&] {
                       SmartMapping* page = g_smartmapping;
                       ASSERT_TRUE(page);
                       keys(page, {Qt::Key_Q});  // into quick mapping, on the width
                       setField(page, "lineEdit_X", "64");
                       setField(page, "lineEdit_Y", "32");
                       keys(page, {Qt::Key_S, Qt::Key_Q});                        // Next: step 2, on the port group
                       keys(page, {Qt::Key_Q, Qt::Key_R, Qt::Key_R, Qt::Key_Q});  // through the tiles to LED3
                       keys(page, {Qt::Key_S, Qt::Key_Q});                        // Next: step 3, on the rows
                       setField(page, "lineEdit_line", "2");
                       setField(page, "lineEdit_column", "3");
                       setField(page, "lineEdit_horzion", "10");
                       setField(page, "lineEdit_vert", "20");
                       keys(page, {Qt::Key_R, Qt::Key_R, Qt::Key_Q});  // the chooser, on pattern 1
                       for (int i = 0; i < 8; ++i)
                           keys(page, {Qt::Key_R});
                       keys(page, {Qt::Key_Q});                                   // pattern 9
                       keys(page, {Qt::Key_S, Qt::Key_S, Qt::Key_S, Qt::Key_Q});  // Send
                       const LINE_TYPE want{64, 32, 10, 20, 2, 2, 3, 9};
                       EXPECT_EQ(std::memcmp(&line_type, &want, sizeof want), 0);
                       EXPECT_EQ(g_send_para.cmd.load(), SEND_SMARTMAPPING);
                       QRoundProgressBar* bar = g_qround_bar;
                       ASSERT_TRUE(bar);

                       // While the bar is up a second Send, BACK, MODE and a link's close
                       // request change nothing.
                       keys(page, {Qt::Key_Q, Qt::Key_O, Qt::Key_M});
                       toolpages::smartMappingFilesChanged(false);
                       QCoreApplication::processEvents();
                       EXPECT_EQ(g_smartmapping, page);
                       EXPECT_EQ(page->findChildren<QRoundProgressBar*>().size(), 1);

                       // The bar follows the job, a card a pass, and closes on 100.
                       std::vector<int> values;
                       for (int i = 0; i < 7; ++i) {
                           after(1);
                           values.push_back(static_cast<int>(bar->getValue()));
                       }
                       EXPECT_EQ(values, (std::vector<int>{0, 15, 30, 45, 60, 75, 90}));
                       runJob();
                       EXPECT_EQ(g_qround_bar, nullptr);
                       EXPECT_FALSE(bar->isVisible());
                       // Pattern 9 runs every row left to right: the fourth card starts row 2.
                       const auto card = board->card(2, 3);
                       EXPECT_EQ(card.area[0], 10);
                       EXPECT_EQ(card.area[1], 20 + 32);

                       // Free again: the link's request, handed over below the pages, closes it.
                       pagehandover::smartMappingFilesChanged(false);
                       QCoreApplication::processEvents();
                       EXPECT_EQ(g_smartmapping, nullptr);
                   });
    EXPECT_TRUE(opened);
}

TEST_F(SmartMappingPage, ScanFilesAreListedBoxFirstAndLoadScanIsSkippedWithoutThem)
{
    const QString box = platform::qpath(QStringLiteral("/data/smartmapping"));
    const QString stick = platform::qpath(QStringLiteral("/mnt/usb1"));
    struct Case {
        std::vector<const char*> boxFiles, stickFiles;
        QStringList listed;
        int stickFrom;  // the first row of a stick file
    };
    const Case cases[] = {
        {{}, {}, {}, 0},
        {{"screen.ztfile"}, {}, {"/data/smartmapping/screen.ztfile"}, 1},
        // Exact suffix, regular files, the stick's root only; name order ignoring case.
        {{"b.ztfile", "A.ztfile", "a.b.ztfile", "scan.ZTFILE", ".hidden.ztfile", "notes.txt"},
         {"d.ztfile", "c.ztfile", "sub/e.ztfile", "x.ztfile/f"},
         {"/data/smartmapping/a.b.ztfile", "/data/smartmapping/A.ztfile", "/data/smartmapping/b.ztfile",
          "/mnt/usb1/c.ztfile", "/mnt/usb1/d.ztfile"},
         3},
    };
    for (const Case& c : cases) {
        QDir(box).removeRecursively();
        QDir(stick).removeRecursively();
        auto put = [](const QString& dir, const char* name) {
            const QString path = dir + QLatin1Char('/') + QLatin1String(name);
            QDir().mkpath(QFileInfo(path).path());
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        };
        QDir().mkpath(box);
        for (const char* f : c.boxFiles)
            put(box, f);
        for (const char* f : c.stickFiles)
            put(stick, f);
        QFile::link(box + QStringLiteral("/b.ztfile"), box + QStringLiteral("/link.ztfile"));

        SmartMapping page(nullptr);
        keys(&page, {Qt::Key_R});
        const bool offered = !c.listed.isEmpty();
        EXPECT_EQ(page.tool(), offered ? SmartMapping::kLoadScan : SmartMapping::kSolidify);
        page.on_Button_loadscan_clicked();
        page.on_Button_next_5_clicked();
        EXPECT_EQ(page.scanFiles(), c.listed);
        EXPECT_EQ(g_ztfile_name.get(), c.listed.value(0));
        page.on_Button_load_clicked();
        EXPECT_EQ(g_send_para.cmd.load(), offered ? SEND_LOAD_SCAN : SEND_NONE);
        endJob();

        // Box files white, stick files green, page by page.
        for (int i = 0; i < c.listed.size(); ++i) {
            if (i > 0 && i % SmartMapping::kListRows == 0)
                page.kel_Button_next_clicked();
            const auto rows = page.findChild<QFrame*>(QStringLiteral("frame_file"))->findChildren<QLabel*>();
            const QLabel* row = rows.at(i % SmartMapping::kListRows);
            EXPECT_EQ(row->text(), QFileInfo(c.listed[i]).fileName());
            EXPECT_TRUE(row->styleSheet().contains(QLatin1String(i < c.stickFrom ? "#FFFFFF" : "#00FF00"))) << i;
        }
    }
    // The keys walk the rows across the pages; OK chooses a row, Load posts
    // it; past the last row the list starts again.
    SmartMapping page(nullptr);
    keys(&page, {Qt::Key_R, Qt::Key_Q, Qt::Key_R, Qt::Key_Q});
    ASSERT_EQ(page.step(), SmartMapping::kScanList);
    keys(&page, {Qt::Key_R, Qt::Key_R, Qt::Key_R});
    EXPECT_EQ(page.listPage(), 1);
    keys(&page, {Qt::Key_S});
    EXPECT_EQ(page.listPage(), 0);
    keys(&page, {Qt::Key_R, Qt::Key_R, Qt::Key_Q, Qt::Key_Q});
    EXPECT_EQ(g_ztfile_name.get(), QStringLiteral("/mnt/usb1/d.ztfile"));
    EXPECT_EQ(g_send_para.cmd.load(), SEND_LOAD_SCAN);
    endJob();
    keys(&page, {Qt::Key_R});
    EXPECT_EQ(page.listPage(), 0);

    // The stick pulled: the list is the box's alone.
    QDir(stick).removeRecursively();
    page.syncUpdate(SYNC_USB_REMOVED);
    EXPECT_EQ(page.scanFiles().size(), 3);
    EXPECT_EQ(g_ztfile_name.get(), QStringLiteral("/data/smartmapping/a.b.ztfile"));
}

// The load-scan port tiles from the keys: a port stepped to in the tiles is
// kept by BACK until a tile has been confirmed with OK; after that, BACK
// goes back to the port held as the tiles were entered. Entering the tool
// again starts without a confirmed tile. The tile drawn chosen is always
// the port a load goes to. (No FPGA is needed: a scan file on the stick
// offers the tool.)
using ScanTiles = PageTest;

TEST_F(ScanTiles, BackGivesThePortBackOnlyOnceATileWasConfirmed)
{
    writeBoxFile("/mnt/usb1/screen.ztfile", "");
    SmartMapping page(nullptr);
    // The place of the one tile drawn chosen among the tiles, in their order.
    auto chosenTile = [&page] {
        std::vector<bool> tiles;
        for (const QFrame* f : page.findChildren<QFrame*>())
            if (f->styleSheet() == QLatin1String(smartstyle::kTile) ||
                f->styleSheet() == QLatin1String(smartstyle::kTileChosen))
                tiles.push_back(f->styleSheet() == QLatin1String(smartstyle::kTileChosen));
        const auto chosen = std::find(tiles.begin(), tiles.end(), true);
        return std::count(tiles.begin(), tiles.end(), true) == 1 ? static_cast<int>(chosen - tiles.begin()) : -1;
    };
    line_type.port = 3;
    for (int key : {Qt::Key_R, Qt::Key_Q})  // load scan, on the port group
        click(&page, key);
    ASSERT_EQ(page.step(), SmartMapping::kScanPort);
    const struct {
        std::initializer_list<int> keys;
        int port;
    } steps[] = {
        {{Qt::Key_Q, Qt::Key_R, Qt::Key_O}, 1},             // stepped to LED2, nothing confirmed: kept
        {{Qt::Key_Q, Qt::Key_R, Qt::Key_R, Qt::Key_Q}, 2},  // LED3 confirmed
        {{Qt::Key_Q, Qt::Key_R, Qt::Key_O}, 2},             // stepped to LED2: back to LED3
        {{Qt::Key_O, Qt::Key_Q, Qt::Key_Q, Qt::Key_O}, 2},  // out of the tool and in again, tiles entered and left
        {{Qt::Key_Q, Qt::Key_R, Qt::Key_R, Qt::Key_R, Qt::Key_O}, 3},  // stepped to LED4: kept
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(&step - steps);
        for (int key : step.keys)
            click(&page, key);
        EXPECT_EQ(line_type.port, step.port);
        EXPECT_EQ(chosenTile(), step.port);
    }
}

TEST_F(SmartMappingPage, TheMappingSwitchShowsAndFlipsBit7OfRegister0)
{
    upAndSearched();
    board->setReg(0, 0, 0x85);
    SmartMapping page(nullptr);
    keys(&page, {Qt::Key_S});  // the menu: from the first tool to the last
    EXPECT_TRUE(page.mappingShownOn());
    keys(&page, {Qt::Key_Q, Qt::Key_Q});  // in, and switch
    EXPECT_EQ(board->reg(0, 0), 0x05);
    EXPECT_EQ(g_send_para.mapping_value, 0u);
    EXPECT_EQ(g_send_para.cmd.load(), SEND_MAPPING_ENABLE);
    EXPECT_FALSE(page.mappingShownOn());
    keys(&page, {Qt::Key_Q});  // ignored while the bar is up
    EXPECT_EQ(board->reg(0, 0), 0x05);
    endJob();
    keys(&page, {Qt::Key_Q});
    EXPECT_EQ(board->reg(0, 0), 0x85);
    EXPECT_EQ(g_send_para.mapping_value, 9u);
    endJob();
}

// A job cut short because FPGA 0 stopped is told by the tip box as its bar
// closes; once the FPGA is back the same job runs whole, and no tip comes.
TEST_F(SmartMappingPage, AJobCutShortByTheFpgaIsToldAsItsBarCloses)
{
    upAndSearched();
    board->silenceCard(0, 0, true);  // the save waits for this card's answer
    SmartMapping page(nullptr);
    keys(&page, {Qt::Key_R, Qt::Key_Q, Qt::Key_Q});  // solidify: in, and OK
    ASSERT_EQ(g_send_para.cmd.load(), SEND_SAVE_PARA);
    after(1);
    after(1);
    ASSERT_TRUE(g_qround_bar);

    // The tip runs its own loop; this looks at it there and lets its time run out.
    QString told;
    bool barGone = false, tipped = false;
    auto lookAtTheTip = [&] {
        tipped = g_tip->isVisible();
        barGone = g_qround_bar == nullptr;
        const auto labels = g_tip->findChildren<QLabel*>();
        told = labels.isEmpty() ? QString() : labels.last()->text();
        tick(TIP::kShowTicks);
    };
    board->holdInReset(0, true);
    QTimer::singleShot(0, lookAtTheTip);
    after(1);
    EXPECT_TRUE(tipped);
    EXPECT_TRUE(barGone);
    EXPECT_EQ(told, QStringLiteral("The FPGA is not running.\nThe job was\nnot completed!"));
    EXPECT_FALSE(g_tip->isVisible());
    EXPECT_EQ(g_send_para.cmd.load(), SEND_NONE);

    board->holdInReset(0, false);
    board->silenceCard(0, 0, false);
    upAndSearched();
    keys(&page, {Qt::Key_Q});
    ASSERT_EQ(g_send_para.cmd.load(), SEND_SAVE_PARA);
    QTimer::singleShot(0, lookAtTheTip);
    runJob();
    QCoreApplication::processEvents();
    EXPECT_FALSE(tipped);
    EXPECT_EQ(g_qround_bar, nullptr);
    EXPECT_EQ(board->card(0, 0).saves, 1);
}

// Jobs posted from the page and followed to the tip box their end brings.
class SmartMappingJobEnd : public ToolPageTest {
protected:
    // What the tip box says as the bar of the job `post` started closes (""
    // when no tip comes), a no-break space read as a space; `midway` runs
    // after the job's first two passes.
    QString toldAtTheEnd(SmartMapping& page, const std::function<void(SmartMapping&)>& post,
                         const std::function<void()>& midway = {})
    {
        post(page);
        EXPECT_NE(g_send_para.cmd.load(), SEND_NONE);
        // The tip runs its own loop; this looks at it there and lets its time run out.
        QString told;
        QTimer::singleShot(0, [&] {
            if (g_tip->isVisible()) {
                const auto labels = g_tip->findChildren<QLabel*>();
                told = labels.isEmpty() ? QString() : labels.last()->text();
            }
            tick(TIP::kShowTicks);
        });
        after(1);
        after(1);
        if (midway)
            midway();
        runJob();
        QCoreApplication::processEvents();
        return told.replace(QChar(QChar::Nbsp), QLatin1Char(' '));
    }
};

// Cards that did not take a save, a mapping switch, quick mapping or a scan
// load are counted and named as the bar closes; a job that every card took
// ends as before, without a word.
TEST_F(SmartMappingJobEnd, ACardJobNamesTheCardsThatDidNotTakeIt)
{
    writeBoxFile(kScanPath, cardfile_build::scanFile({{0, {1}}, {16, {2}}}));
    upAndSearched();  // LED1: 4 cards, LED2: 2
    const QString lead =
        QStringLiteral("The job was not confirmed!\n%1 of %2 receiving cards\ndid not answer in time:\n");
    auto silentSinceTheSearch = [this](std::vector<std::pair<int, int>> cards) {
        for (const auto& [port, card] : cards)
            board->silenceCard(port, card, true);
        upAndSearched();
    };
    const std::vector<std::pair<int, int>> every = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}};
    const QString noCards = QStringLiteral("LED1 has no receiving cards.\nLED2 has no receiving cards.");
    struct Case {
        const char* name;
        std::function<void(SmartMapping&)> post;
        std::function<void()> midway;
        QString told;
    };
    const Case cases[] = {
        {"save, a card silent",
         [this](SmartMapping& p) {
             board->silenceCard(0, 2, true);
             p.on_Button_confirm_clicked();
         },
         {},
         lead.arg(1).arg(6) + QStringLiteral("LED1: card 3")},
        {"mapping, a card silent",
         [this](SmartMapping& p) {
             board->silenceCard(1, 1, true);
             p.on_Button_mapping_state_clicked();
         },
         {},
         lead.arg(1).arg(6) + QStringLiteral("LED2: card 2")},
        {"save, LED2 pulled on the way", [](SmartMapping& p) { p.on_Button_confirm_clicked(); },
         [this] { board->cutPort(1); }, lead.arg(2).arg(6) + QStringLiteral("LED2: cards 1-2")},
        {"quick mapping of 6 places on a chain of 4",
         [](SmartMapping& p) {
             p.on_Button_next_clicked();  // the cabinet's size: 128 x 96
             setField(&p, "lineEdit_line", "2");
             setField(&p, "lineEdit_column", "3");
             p.on_Button_send_clicked();
         },
         {},
         lead.arg(2).arg(6) + QStringLiteral("LED1: cards 5-6")},
        {"scan load, a card silent",
         [this](SmartMapping& p) {
             board->silenceCard(0, 3, true);
             loadScan(p);
         },
         {},
         lead.arg(1).arg(4) + QStringLiteral("LED1: card 4")},
        {"save, every card", [](SmartMapping& p) { p.on_Button_confirm_clicked(); }, {}, QString()},
        {"save, every card silent",
         [&](SmartMapping& p) {
             silentSinceTheSearch(every);
             p.on_Button_confirm_clicked();
         },
         {},
         QStringLiteral("The parameters were not saved:\n") + noCards},
        {"mapping, every card silent",
         [&](SmartMapping& p) {
             silentSinceTheSearch(every);
             p.on_Button_mapping_state_clicked();
         },
         {},
         QStringLiteral("Mapping was not switched:\n") + noCards},
        {"save, the last card of LED1 silent since the search",
         [&](SmartMapping& p) {
             silentSinceTheSearch({{0, 3}});
             p.on_Button_confirm_clicked();
         },
         {},
         lead.arg(1).arg(6) + QStringLiteral("LED1: card 4")},
        {"mapping, the last card of LED2 silent since the search",
         [&](SmartMapping& p) {
             silentSinceTheSearch({{1, 1}});
             p.on_Button_mapping_state_clicked();
         },
         {},
         lead.arg(1).arg(6) + QStringLiteral("LED2: card 2")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmartMapping page(nullptr);
        EXPECT_EQ(toldAtTheEnd(page, c.post, c.midway), c.told);
        EXPECT_EQ(g_qround_bar, nullptr);
        for (const auto& [port, card] : every)
            board->silenceCard(port, card, false);
        board->connectPort(1, 2);
        upAndSearched();
    }
    // The scan load reached the cards that answered.
    EXPECT_EQ(board->cardMemory(0, 2)[16], 2);
}

// A mapping switch that no card took goes back: FPGA 0's bit and the switch
// show what the cards hold. One the cards took stays.
TEST_F(SmartMappingJobEnd, AMappingSwitchNoCardTookShowsWhatTheCardsHold)
{
    upAndSearched();
    const std::pair<int, int> every[] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}};
    auto switchOn = [](SmartMapping& p) { p.on_Button_mapping_state_clicked(); };
    for (const auto& [port, card] : every)
        board->silenceCard(port, card, true);
    upAndSearched();
    {
        SmartMapping page(nullptr);
        ASSERT_FALSE(page.mappingShownOn());
        EXPECT_FALSE(toldAtTheEnd(page, switchOn).isEmpty());
        EXPECT_FALSE(page.mappingShownOn());
        EXPECT_EQ(board->reg(0, 0) & 0x80, 0);
    }
    for (const auto& [port, card] : every)
        board->silenceCard(port, card, false);
    upAndSearched();
    SmartMapping page(nullptr);
    EXPECT_EQ(toldAtTheEnd(page, switchOn), QString());
    EXPECT_TRUE(page.mappingShownOn());
    EXPECT_EQ(board->reg(0, 0) & 0x80, 0x80);
    EXPECT_EQ(board->card(1, 1).mapping, 9);
}

// A scan file the box refuses is said not to be loaded, and why; no card
// takes any of it.
TEST_F(SmartMappingJobEnd, ARefusedScanFileIsSaidNotToBeLoadedAndWhy)
{
    upAndSearched();
    const std::string good = cardfile_build::scanFile({{0, {1, 2}}, {16, {3}}});
    std::string badCrc = good;
    badCrc.back() ^= 1;
    std::string foreign = good;
    foreign[0] = 'X';
    const QString lead = QStringLiteral("The scan file was not loaded:\n");
    const std::pair<const char*, std::string> files[] = {
        {"bad CRC", badCrc},
        {"cut short", good.substr(0, good.size() - 1)},
        {"another kind of file", foreign},
        {"head only", good.substr(0, cardfile::kScanHead)},
        {"too large", std::string(cardfile::kMaxFileBytes + 1, '\0')},
    };
    const QString why[] = {
        QStringLiteral("the file is damaged."),          QStringLiteral("the file is cut short."),
        QStringLiteral("the file's format is unknown."), QStringLiteral("the file is cut short."),
        QStringLiteral("the file is over 5 MB."),
    };
    for (size_t i = 0; i < std::size(files); ++i) {
        SCOPED_TRACE(files[i].first);
        writeBoxFile(kScanPath, files[i].second);
        SmartMapping page(nullptr);
        EXPECT_EQ(toldAtTheEnd(page, loadScan), lead + why[i]);
        EXPECT_EQ(board->cardMemory(0, 0)[0], 0);
        EXPECT_EQ(board->cardMemory(0, 0)[16], 0);
    }
}

// A save or mapping switch refused with more ports without cards than the
// tip has lines for names every port, the further ones on its last line.
TEST_F(SmartMappingJobEnd, ARefusalNamesEveryPortWithoutCards)
{
    CardJobEnd end;
    end.job = SEND_MAPPING_ENABLE;
    end.refused = JobRefusal::kNoCards;
    end.empty_ports = 0x2F;  // LED1-4 and LED6
    EXPECT_EQ(ToolPage::jobNotDoneText(end).replace(QChar(QChar::Nbsp), QLatin1Char(' ')),
              QStringLiteral("Mapping was not switched:\nLED1 has no receiving cards.\nLED2 has no receiving "
                             "cards.\nLED3, LED4, LED6 have no receiving cards."));
}
