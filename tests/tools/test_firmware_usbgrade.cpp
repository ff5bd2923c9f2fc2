// The USB upgrade page over a simulated stick: its package list page by
// page, one run per opening started by OK, and the stick pulled while the
// page is open.
#include "tools/firmware_usbgrade.h"

#include "fpga/fpga_manage.h"
#include "fpga/usb_package.h"
#include "platform/sim/sim_fpga.h"
#include "platform/sim/sim_uevent.h"
#include "screens/menus/linkoption.h"
#include "screens/page_directory.h"
#include "tests/app/test_mainwindow_fixture.h"
#include "tests/support/upgrade_shortfall.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <cstdio>
#include <unistd.h>

namespace sim = platform::sim;

namespace {

bool highlighted(const QLabel* row)
{
    return row->styleSheet().contains(QStringLiteral("#4777FF"));
}

QFrame* fileFrame(Page* page)
{
    return page->findChild<QFrame*>(QStringLiteral("frame_file"));
}

// What the list shows: each row's name and highlight, "" for the empty
// list's words; and which paging buttons are there.
struct Shown {
    std::vector<std::pair<QString, bool>> rows;
    bool previous;
    bool next;
    bool operator==(const Shown& o) const { return rows == o.rows && previous == o.previous && next == o.next; }
};

Shown shown(Page* page)
{
    QFrame* frame = fileFrame(page);
    Shown s{{},
            frame->findChild<QPushButton*>(QStringLiteral("previous")) != nullptr,
            frame->findChild<QPushButton*>(QStringLiteral("next")) != nullptr};
    for (int k = 0; k < firmware_usbgrade::kRowsPerPage; ++k)
        if (QLabel* row = frame->findChild<QLabel*>(QStringLiteral("row_%1").arg(k)))
            s.rows.emplace_back(row->text().remove(QRegularExpression(QStringLiteral("<[^>]*>"))), highlighted(row));
    return s;
}

void tap(Page* page, const QString& name)
{
    fileFrame(page)->findChild<QPushButton*>(name)->click();
}

// What holds Chinese names together on a line.
constexpr ushort kWordJoiner = 0x2060;

// What a label shows, its no-break spaces read as spaces, without the word
// joiners.
QString shownText(const QLabel* label)
{
    return label->text().replace(QChar(QChar::Nbsp), QLatin1Char(' ')).remove(QChar(kWordJoiner));
}

}  // namespace

class UsbUpgradePage : public PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        g_usb_grade_path = QStringLiteral("KEL-R8");
        g_usb_grade = 0;
    }
    // A stick whose upgrade folder holds `names`.
    void putPackages(const std::vector<std::string>& names, const std::string& stick = sim::kStickDir)
    {
        ASSERT_TRUE(platform::makeDirs(stick + "/KEL-R8"));
        for (const std::string& n : names)
            writeBoxFile(stick + "/KEL-R8/" + n, "package");
        ASSERT_TRUE(sim::usbStickInsert(stick));
    }
    // OK on the page, then the worker's steps until the run it started has
    // ended.
    void runToItsEnd(Page* page, fpga_manage* worker)
    {
        click(page, Qt::Key_Q);
        for (int i = 0; i < 4 && g_usb_grade.load(); ++i)
            worker->usb_upgrade_manage_deal();
        ASSERT_EQ(g_usb_grade.load(), 0u);
    }
    // Runs `body` with the upgrade page open over the communication menu,
    // as the operator opens it.
    void withPage(const std::function<void()>& body)
    {
        ASSERT_TRUE(insidePage([] { pages::openPage(PAGE_COMMUNICATION); },
                               [&] {
                                   // Its third entry, by the keys.
                                   click(g_linkoption, Qt::Key_R);
                                   click(g_linkoption, Qt::Key_R);
                                   ASSERT_TRUE(insidePage([] { click(g_linkoption, Qt::Key_Q); },
                                                          [&] {
                                                              ASSERT_TRUE(g_firmware_usbgrade);
                                                              ASSERT_EQ(Page::withFocus(), g_firmware_usbgrade);
                                                              body();
                                                          }));
                               }));
    }
};

TEST_F(UsbUpgradePage, ListsFourRowsAPageAndHighlightsTheFirstKelAndEveryKelzk)
{
    struct Case {
        std::vector<std::string> names;
        std::vector<Shown> pages;  // page 0, then each page the next button shows
    };
    const Case cases[] = {
        {{}, {{{{"No loaded file!", false}}, false, false}}},
        {{"a.KEL", "b.KEL", "c.KELZK", "d.KEL"},
         {{{{"a.KEL", true}, {"b.KEL", false}, {"c.KELZK", true}, {"d.KEL", false}}, false, false}}},
        {{"a.KELZK", "B.KEL", "c.KEL", "d.KEL", "E.KELZK", "f.KEL"},
         {{{{"a.KELZK", true}, {"B.KEL", true}, {"c.KEL", false}, {"d.KEL", false}}, false, true},
          {{{"E.KELZK", true}, {"f.KEL", false}}, true, false}}},
        {{"1.KEL", "2.KEL", "3.KEL", "4.KEL", "5.KEL", "6.KEL", "7.KEL", "8.KELZK", "9.KEL"},
         {{{{"1.KEL", true}, {"2.KEL", false}, {"3.KEL", false}, {"4.KEL", false}}, false, true},
          {{{"5.KEL", false}, {"6.KEL", false}, {"7.KEL", false}, {"8.KELZK", true}}, true, true},
          {{{"9.KEL", false}}, true, false}}},
    };
    int stick = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names.size());
        putPackages(c.names, "/sim/stick-" + std::to_string(++stick));
        firmware_usbgrade page;
        EXPECT_EQ(page.lastPage(), static_cast<int>(c.pages.size()) - 1);
        for (size_t p = 0; p < c.pages.size(); ++p) {
            EXPECT_EQ(page.currentPage(), static_cast<int>(p));
            EXPECT_TRUE(shown(&page) == c.pages[p]) << "page " << p;
            if (p + 1 < c.pages.size())
                tap(&page, QStringLiteral("next"));
        }
        // Back to the first page, one page at a time.
        for (size_t p = c.pages.size() - 1; p > 0; --p)
            tap(&page, QStringLiteral("previous"));
        EXPECT_EQ(page.currentPage(), 0);
        if (c.names.size() < 3)
            continue;
        // A tapped row is the one highlighted row of the two, whatever the list drew.
        tap(&page, QStringLiteral("2"));
        tap(&page, QStringLiteral("0"));
        EXPECT_TRUE(shown(&page).rows[0].second);
        EXPECT_FALSE(shown(&page).rows[2].second);
        flushDeletes();
        sim::usbStickRemove();
    }
}

// OK starts a run once; the run's end shows its times and the page stays
// started. A page opened while an earlier run goes leaves that run alone.
// The run finds no stick: it ends in red, never "Update complete".
TEST_F(UsbUpgradePage, OkStartsOneRunPerOpeningAndTheEndShowsItsTimes)
{
    fpga_manage* worker = fpga_manage::pInstance();
    QObject::connect(store, &KelRamPara::sig_update_para, SyncUpdate::p_SyncUpdate, &SyncUpdate::para_sync);
    withPage([&] {
        Page* page = g_firmware_usbgrade;
        click(page, Qt::Key_Q);
        EXPECT_EQ(g_usb_grade.load(), 1u);
        worker->usb_upgrade_manage_deal();  // step 0: the start time
        click(page, Qt::Key_F6);
        EXPECT_EQ(g_send_para.step.load(), 1) << "a second OK restarted the run";
        // MODE waits while the page's run goes.
        click(page, Qt::Key_M);
        EXPECT_EQ(Page::withFocus(), page);
        for (int i = 0; i < 3 && g_usb_grade.load(); ++i)
            worker->usb_upgrade_manage_deal();
        ASSERT_EQ(g_usb_grade.load(), 0u);
        const QString log = shownText(page->findChild<QLabel*>(QStringLiteral("label_log")));
        EXPECT_TRUE(log.contains(QStringLiteral("No update package found!"))) << log.toStdString();
        EXPECT_FALSE(log.contains(QStringLiteral("Update complete")));
        EXPECT_FALSE(log.contains(QStringLiteral("#51BB28")));
        EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("label_times"))->text(), worker->usb_grade_msg);
        click(page, Qt::Key_Q);
        EXPECT_EQ(g_usb_grade.load(), 0u);
    });

    // A run started from a page closed since then is still at its step 1.
    g_usb_grade = 1;
    g_send_para.step = 1;
    withPage([&] {
        click(g_firmware_usbgrade, Qt::Key_Q);
        EXPECT_EQ(g_send_para.step.load(), 1);
        EXPECT_TRUE(g_firmware_usbgrade->started());
    });
    g_usb_grade = 0;
}

// OK starts no run while a receiving-card job holds the FPGA manager; the
// job's step is left alone, and OK works once the job has ended.
TEST_F(UsbUpgradePage, NoRunStartsWhileACardJobHoldsTheManager)
{
    withPage([&] {
        firmware_usbgrade* page = g_firmware_usbgrade;
        g_send_para.post(SEND_LOAD_SCAN);
        g_send_para.step = 1;
        click(page, Qt::Key_Q);
        EXPECT_EQ(g_usb_grade.load(), 0u);
        EXPECT_FALSE(page->started());
        EXPECT_EQ(g_send_para.step.load(), 1);
        g_send_para.end();
        click(page, Qt::Key_Q);
        EXPECT_EQ(g_usb_grade.load(), 1u);
        EXPECT_TRUE(page->started());
    });
    g_usb_grade = 0;
}

// A run that left an FPGA's flash erased and not written whole does not end
// as a plain finish: the page names the FPGA in the operator's language.
TEST_F(UsbUpgradePage, TheEndOfARunNamesAnFpgaWhoseProgramIsIncomplete)
{
    fpga_manage* worker = fpga_manage::pInstance();
    withPage([&] {
        Page* page = g_firmware_usbgrade;
        const QLabel* log = page->findChild<QLabel*>(QStringLiteral("label_log"));
        worker->incomplete_fpgas = 0x02;
        page->syncUpdate(SYNC_USB_UPGRADE);
        EXPECT_TRUE(shownText(log).contains(QStringLiteral("FPGA 2 program incomplete, install it again!")))
            << shownText(log).toStdString();
        EXPECT_FALSE(shownText(log).contains(QStringLiteral("Update complete")));
        EXPECT_FALSE(shownText(log).contains(QStringLiteral("#51BB28")));
        worker->incomplete_fpgas = 0;
        page->syncUpdate(SYNC_USB_UPGRADE);
        EXPECT_TRUE(shownText(log).contains(QStringLiteral("Update complete")));
    });
}

// What earlier runs left incomplete (before a reboot too) shows from the
// opening; at a run's end each FPGA's line tells what its flash holds, a
// torn program before anything this run said of it.
TEST_F(UsbUpgradePage, TheOpeningTellsWhatIsIncompleteAndARunTellsWhatEachFlashHolds)
{
    fpga_manage* worker = fpga_manage::pInstance();
    worker->incomplete_fpgas = 0x01;
    withPage([&] {
        Page* page = g_firmware_usbgrade;
        const QLabel* log = page->findChild<QLabel*>(QStringLiteral("label_log"));
        EXPECT_TRUE(shownText(log).contains(QStringLiteral("FPGA 1 program incomplete, install it again!")))
            << shownText(log).toStdString();
        const QString storage = QStringLiteral("Storage full or read-only!");
        const struct {
            u8 kept, unverified, unrecorded, unrecordedFonts;
            std::vector<QString> lines;
        } cases[] = {
            {0x02,
             0,
             0,
             0,
             {QStringLiteral("FPGA 1 program incomplete"), QStringLiteral("FPGA 2 not updated, old program kept!")}},
            {0x03,
             0x02,
             0,
             0,
             {QStringLiteral("FPGA 1 program incomplete"),
              QStringLiteral("FPGA 2 new program not verified, install it again!")}},
            // The disk took no mark: nothing erased, and why.
            {0,
             0,
             0x03,
             0x01,
             {QStringLiteral("FPGA 1 program incomplete"), QStringLiteral("FPGA 2 not updated, old program kept!"),
              QStringLiteral("Font not updated, old font kept!"), storage}},
        };
        for (const auto& c : cases) {
            worker->kept_fpgas = c.kept;
            worker->unverified_fpgas = c.unverified;
            worker->unrecorded_fpgas = c.unrecorded;
            worker->unrecorded_fonts = c.unrecordedFonts;
            page->syncUpdate(SYNC_USB_UPGRADE);
            for (const QString& line : c.lines)
                EXPECT_TRUE(shownText(log).contains(line)) << shownText(log).toStdString();
            EXPECT_EQ(shownText(log).count(QStringLiteral("FPGA")), 2) << shownText(log).toStdString();
            EXPECT_EQ(shownText(log).contains(storage), c.unrecorded || c.unrecordedFonts);
        }
    });
    worker->incomplete_fpgas = 0;
    worker->kept_fpgas = 0;
    worker->unverified_fpgas = 0;
    worker->unrecorded_fpgas = 0;
    worker->unrecorded_fonts = 0;
}

// A tap on the button tells the time (hh:mm:ss), and warns not to switch
// off only while a run goes. What the page tells of a fault (at its
// opening, or at a run's end) and of a run that is over stays.
TEST_F(UsbUpgradePage, ATapKeepsWhatThePageTellsAndWarnsOnlyWhileARunGoes)
{
    using Shown = firmware_usbgrade::LogShown;
    fpga_manage* worker = fpga_manage::pInstance();
    worker->usb_grade_msg = QStringLiteral("09:05:03    09:06:07");
    const QRegularExpression clock(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
    const struct {
        const char* what;
        u8 heldFpgas, keptFpgas;  // marked incomplete before the opening; refused by this run's flash
        bool runGoes, runEnds;
        Shown shown;
        const char* words;  // in the log line after the tap
    } cases[] = {
        {"FPGA 1 held in reset, nothing run", 0x01, 0, false, false, Shown::kFault, "FPGA 1 program incomplete"},
        {"nothing run", 0, 0, false, false, Shown::kNothing, ""},
        {"a run goes", 0, 0, true, false, Shown::kRunGoing, "Updating, do not power off!"},
        {"a run over", 0, 0, false, true, Shown::kOver, "Update complete"},
        {"a run that kept an old program", 0, 0x02, false, true, Shown::kFault, "FPGA 2 not updated"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        worker->incomplete_fpgas = c.heldFpgas;
        firmware_usbgrade page;
        const QLabel* log = page.findChild<QLabel*>(QStringLiteral("label_log"));
        const QLabel* times = page.findChild<QLabel*>(QStringLiteral("label_times"));
        worker->kept_fpgas = c.keptFpgas;
        if (c.runEnds)
            page.syncUpdate(SYNC_USB_UPGRADE);
        g_usb_grade = c.runGoes ? 1 : 0;
        const QString before = log->text();
        page.on_Button_grade_clicked();
        page.on_Button_grade_clicked();
        EXPECT_EQ(page.logShown(), c.shown);
        EXPECT_TRUE(shownText(log).contains(QLatin1String(c.words))) << shownText(log).toStdString();
        if (c.shown == Shown::kFault || c.shown == Shown::kOver) {
            EXPECT_EQ(log->text(), before);
            EXPECT_EQ(times->text(), c.runEnds ? worker->usb_grade_msg : QString());
        } else {
            EXPECT_TRUE(clock.match(times->text()).hasMatch()) << times->text().toStdString();
        }
        EXPECT_EQ(shownText(log).contains(QStringLiteral("Update complete")), c.shown == Shown::kOver);
        EXPECT_EQ(shownText(log).contains(QStringLiteral("power off")), c.runGoes);
    }
}

TEST_F(UsbUpgradePage, PullingTheStickEmptiesTheListAndTellsTheOperator)
{
    putPackages({"a.KEL", "b.KEL", "c.KEL", "d.KEL", "e.KEL"});
    withPage([&] {
        Page* page = g_firmware_usbgrade;
        tap(page, QStringLiteral("next"));
        ASSERT_EQ(shown(page).rows.size(), 1u);
        sim::usbStickRemove();
        bool tipUp = false;
        QTimer::singleShot(0, [&] {
            tipUp = g_tip->isVisible();
            tick(TIP::kShowTicks);
        });
        SyncUpdate::p_SyncUpdate->para_sync(SYNC_USB_REMOVED);
        EXPECT_TRUE(tipUp);
        EXPECT_EQ(g_firmware_usbgrade->fileCount(), 0);
        EXPECT_TRUE((shown(page) == Shown{{{"No loaded file!", false}}, false, false}));
    });
}

// A run whose FPGA program the flash refused ends in red, never as a run
// that is over: the page reads what the worker found, not what it tried.
// A font left incomplete and an application not installed get their own
// red lines, in the operator's language.
TEST_F(UsbUpgradePage, ARunWhoseFlashRefusedEndsInRedNeverDowningOver)
{
    fpga_manage* worker = fpgaManagerOutOfReset();
    const std::vector<u8> image(5000, 0x5A);
    ASSERT_TRUE(platform::makeDirs(std::string(sim::kStickDir) + "/KEL-R8"));
    const std::vector<u8> package = usbpkg::build(
        usbpkg::BuildSpec{0, usbpkg::kControllerType, {{usbpkg::kChildFpga0, image, {25, 6, 1, 0, 0, 0}}}});
    writeBoxFile(std::string(sim::kStickDir) + "/KEL-R8/b.KEL", std::string(package.begin(), package.end()));
    ASSERT_TRUE(sim::usbStickInsert(sim::kStickDir));
    auto board = sim::fpgaBoard();
    board->flash(0).fill(0, std::vector<u8>(5000, 0x33));  // the program the flash holds
    auto protect = [&](bool on) {
        auto lock = board->lock();
        board->flash(0).setWriteProtected(on);
    };
    protect(true);
    withPage([&] {
        Page* page = g_firmware_usbgrade;
        const QLabel* log = page->findChild<QLabel*>(QStringLiteral("label_log"));
        ASSERT_NO_FATAL_FAILURE(runToItsEnd(page, worker));
        page->syncUpdate(SYNC_USB_UPGRADE);
        EXPECT_TRUE(shownText(log).contains(QStringLiteral("FPGA 1 not updated, old program kept!")))
            << shownText(log).toStdString();
        EXPECT_FALSE(shownText(log).contains(QStringLiteral("#51BB28")));
        EXPECT_EQ(*worker->gpio_rst_fpga0, fpga::kRstRun);

        g_language = pages::RU;
        worker->incomplete_fpgas = 0;
        worker->kept_fpgas = 0;
        worker->incomplete_fonts = 0x08;
        worker->application_failed = true;
        page->syncUpdate(SYNC_USB_UPGRADE);
        EXPECT_TRUE(shownText(log).contains(QStringLiteral("Шрифт неполный, установите снова!")))
            << shownText(log).toStdString();
        EXPECT_TRUE(shownText(log).contains(QStringLiteral("Приложение не установлено, установите снова!")));
        EXPECT_FALSE(shownText(log).contains(QStringLiteral("FPGA")));
        EXPECT_FALSE(shownText(log).contains(QStringLiteral("#51BB28")));
        worker->incomplete_fonts = 0;
        worker->application_failed = false;
    });
    protect(false);
}

// The disk turns read-only under a run once the mark of FPGA 0's program is
// stored: the program is written whole, the record cannot let go of its
// mark. The run ends in red, never "Update complete": what was written,
// why the record is behind, and that the power must stay on. Once the
// worker writes the record (the disk takes files again, change code 1),
// the page tells the run's end again: complete.
TEST_F(UsbUpgradePage, ARunWhoseRecordIsBehindEndsInRedUntilTheWorkerWritesIt)
{
    fpga_manage* worker = fpgaManagerOutOfReset();
    ASSERT_TRUE(platform::makeDirs(std::string(sim::kStickDir) + "/KEL-R8"));
    const std::vector<u8> package = usbpkg::build(usbpkg::BuildSpec{
        0, usbpkg::kControllerType, {{usbpkg::kChildFpga0, std::vector<u8>(5000, 0x6B), {25, 6, 1, 0, 0, 0}}}});
    writeBoxFile(std::string(sim::kStickDir) + "/KEL-R8/b.KEL", std::string(package.begin(), package.end()));
    ASSERT_TRUE(sim::usbStickInsert(sim::kStickDir));
    auto board = sim::fpgaBoard();
    auto eraseHook = [&](std::function<void()> hook) {
        auto lock = board->lock();
        board->flash(0).setEraseHook(std::move(hook));
    };
    eraseHook([] { sim::setDiskFault(sim::DiskFault::kReadOnly); });
    withPage([&] {
        Page* page = g_firmware_usbgrade;
        auto* usb = static_cast<firmware_usbgrade*>(page);
        const QLabel* log = page->findChild<QLabel*>(QStringLiteral("label_log"));
        const QLabel* times = page->findChild<QLabel*>(QStringLiteral("label_times"));
        ASSERT_NO_FATAL_FAILURE(runToItsEnd(page, worker));
        ASSERT_TRUE(worker->recordBehind());
        page->syncUpdate(SYNC_USB_UPGRADE);
        for (const char* line : {"FPGA 1 updated, record not saved!", "Storage full or read-only!",
                                 "Keep power on until the record is saved!"})
            EXPECT_TRUE(shownText(log).contains(QLatin1String(line))) << shownText(log).toStdString();
        EXPECT_FALSE(shownText(log).contains(QStringLiteral("Update complete")));
        EXPECT_FALSE(shownText(log).contains(QStringLiteral("#51BB28")));
        EXPECT_EQ(usb->logShown(), firmware_usbgrade::LogShown::kFault);
        const QString runTimes = times->text();
        EXPECT_EQ(runTimes, worker->usb_grade_msg);

        // Still read-only: another code changes nothing.
        G_timeTicks += fpga_manage::kRecordRetryTicks;
        worker->fpga_manage_deal();
        page->syncUpdate(SYNC_PARA_CHANGED);
        EXPECT_TRUE(shownText(log).contains(QStringLiteral("record not saved")));

        sim::setDiskFault(sim::DiskFault::kNone);
        G_timeTicks += fpga_manage::kRecordRetryTicks;
        worker->fpga_manage_deal();
        EXPECT_FALSE(worker->recordBehind());
        page->syncUpdate(SYNC_PARA_CHANGED);
        EXPECT_TRUE(shownText(log).contains(QStringLiteral("Update complete"))) << shownText(log).toStdString();
        EXPECT_TRUE(shownText(log).contains(QStringLiteral("#51BB28")));
        EXPECT_EQ(usb->logShown(), firmware_usbgrade::LogShown::kOver);
        EXPECT_EQ(times->text(), runTimes);
    });
    eraseHook(nullptr);
    sim::setDiskFault(sim::DiskFault::kNone);
}

// Opened while the record is behind (a run closed before its end, say),
// the page tells it at once, in the page's language; once the record is
// written the red lines go, and what is still incomplete stays.
TEST_F(UsbUpgradePage, TheOpeningTellsARecordThatIsBehindUntilItIsWritten)
{
    fpga_manage* worker = fpga_manage::pInstance();
    const struct {
        u8 staleFpgas, staleFonts, incompleteFpgas;
        const char* left;  // what the log line tells once the record is written
    } cases[] = {
        {0x01, 0, 0, ""},
        {0x01, 0x04, 0x02, "FPGA 2 program incomplete, install it again!"},
    };
    for (const auto& c : cases) {
        worker->stale_fpgas = c.staleFpgas;
        worker->stale_fonts = c.staleFonts;
        worker->incomplete_fpgas = c.incompleteFpgas;
        withPage([&] {
            Page* page = g_firmware_usbgrade;
            auto* usb = static_cast<firmware_usbgrade*>(page);
            const QLabel* log = page->findChild<QLabel*>(QStringLiteral("label_log"));
            EXPECT_TRUE(shownText(log).contains(QStringLiteral("FPGA 1 updated, record not saved!")))
                << shownText(log).toStdString();
            EXPECT_EQ(shownText(log).contains(QStringLiteral("Font updated, record not saved!")), c.staleFonts != 0);
            EXPECT_TRUE(shownText(log).contains(QStringLiteral("Keep power on until the record is saved!")));
            EXPECT_EQ(usb->logShown(), firmware_usbgrade::LogShown::kFault);
            worker->stale_fpgas = 0;
            worker->stale_fonts = 0;
            page->syncUpdate(SYNC_PARA_CHANGED);
            EXPECT_FALSE(shownText(log).contains(QStringLiteral("record")));
            EXPECT_TRUE(shownText(log).contains(QLatin1String(c.left))) << shownText(log).toStdString();
            EXPECT_EQ(usb->logShown(),
                      *c.left ? firmware_usbgrade::LogShown::kFault : firmware_usbgrade::LogShown::kNothing);
        });
    }
    worker->incomplete_fpgas = 0;
}

// ---- issue 64: a run that left out part of what the stick holds says
// what and why, in the page's language; "Update complete" only otherwise.

TEST_F(UsbUpgradePage, ARunThatLeftPartsOutSaysWhatAndWhyInEveryLanguage)
{
    using P = fpga_manage::RunPart;
    fpga_manage* worker = fpga_manage::pInstance();
    const struct {
        const char* what;
        RunShortfall s;
        // The lines in English, Chinese and Russian.
        std::vector<const char*> en, zh, ru;
    } cases[] = {
        {"no package", {true}, {"No update package found!"}, {"未找到升级包!"}, {"Пакет обновления не найден!"}},
        {"refused packages",
         {false, 2},
         {"Damaged or empty packages, not installed: 2"},
         {"升级包损坏或为空，未安装：2个"},
         {"Пакеты повреждены или пусты, не установлено: 2"}},
        {"the stick pulled",
         {false, 0, 1, 0, P::kPartFpga1 | P::kPartFont, 0, true},
         {"Application not installed, install it again!", "USB stick pulled or unreadable, not installed: FPGA 2, font",
          "USB stick pulled or unreadable, packages not read: 1"},
         {"应用程序未安装，请重新升级!", "U盘已拔出或无法读取，未安装：FPGA 2、字库",
          "U盘已拔出或无法读取，未读取升级包：1个"},
         {"Приложение не установлено, установите снова!",
          "Флешка извлечена или не читается, не установлено: FPGA 2, шрифт",
          "Флешка извлечена или не читается, не прочитано пакетов: 1"}},
        {"another product",
         {false, 0, 0, 0, 0, P::kPartApplication | P::kPartFpga0},
         {"Package for another product, not installed: application, FPGA 1"},
         {"非本机型升级包，未安装：应用程序、FPGA 1"},
         {"Пакет для другого изделия, не установлено: приложение, FPGA 1"}},
        {"the video chip not answering",
         {false, 0, 0, 0, 0, 0, false, true},
         {"Video chip not answering, font not installed!"},
         {"视频芯片无响应，字库未安装!"},
         {"Видеочип не отвечает, шрифт не установлен!"}},
        {"too many packages",
         {false, 0, 0, 45},
         {"Over 255 packages, not installed: 45"},
         {"升级包超过255个，未安装：45个"},
         {"Больше 255 пакетов, не установлено: 45"}},
    };
    withPage([&] {
        Page* page = g_firmware_usbgrade;
        auto* usb = static_cast<firmware_usbgrade*>(page);
        const QLabel* log = page->findChild<QLabel*>(QStringLiteral("label_log"));
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            setRunShortfall(worker, c.s);
            for (const u8 lang : {pages::ZH, pages::EN, pages::RU, pages::VN, pages::TW}) {
                g_language = lang;
                page->syncUpdate(SYNC_USB_UPGRADE);
                const QString shown = shownText(log);
                EXPECT_EQ(usb->logShown(), firmware_usbgrade::LogShown::kFault) << int(lang);
                EXPECT_FALSE(shown.contains(QStringLiteral("#51BB28"))) << shown.toStdString();
                const std::vector<const char*>* lines = lang == pages::EN   ? &c.en
                                                        : lang == pages::ZH ? &c.zh
                                                        : lang == pages::RU ? &c.ru
                                                                            : nullptr;
                for (size_t i = 0; lines && i < lines->size(); ++i)
                    EXPECT_TRUE(shown.contains(QString::fromUtf8((*lines)[i]))) << shown.toStdString();
                // One red line each, none left out in any language.
                EXPECT_EQ(shown.count(QStringLiteral("<br>")) + 1, static_cast<int>(c.en.size()))
                    << shown.toStdString();
            }
        }
        g_language = pages::EN;
        setRunShortfall(worker, {});
        page->syncUpdate(SYNC_USB_UPGRADE);
        EXPECT_TRUE(shownText(log).contains(QStringLiteral("Update complete")));
        EXPECT_EQ(usb->logShown(), firmware_usbgrade::LogShown::kOver);
    });
}

// The whole road on the page: a package with the application and both FPGA
// programs ends "Update complete" and restarts the box, as before. The
// same package with the stick pulled as FPGA 1's flash is first erased:
// FPGA 1 gets its program whole, FPGA 2's cannot be read, so the box does
// not restart into the new application, and the page says both.
TEST_F(UsbUpgradePage, AStickPulledDuringARunEndsInRedWithoutARestart)
{
    fpga_manage* worker = fpgaManagerOutOfReset();
    const std::string dir = std::string(sim::kStickDir) + "/KEL-R8";
    ASSERT_TRUE(platform::makeDirs(dir));
    const std::vector<u8> package =
        usbpkg::build(usbpkg::BuildSpec{0,
                                        usbpkg::kControllerType,
                                        {{usbpkg::kChildApplication, std::vector<u8>(3000, 0x11), {25, 6, 1, 11, 3, 0}},
                                         {usbpkg::kChildFpga0, std::vector<u8>(40000, 0x22), {25, 6, 1, 0, 0, 0}},
                                         {usbpkg::kChildFpga1, std::vector<u8>(9000, 0x33), {25, 6, 1, 0, 0, 0}}}});
    writeBoxFile(dir + "/all.KEL", std::string(package.begin(), package.end()));
    writeBoxFile("/data/app/kelR54N", "old program");
    auto board = sim::fpgaBoard();
    for (const bool pull : {false, true}) {
        SCOPED_TRACE(pull ? "pulled" : "left in");
        ASSERT_TRUE(sim::usbStickInsert(sim::kStickDir));
        if (pull) {
            auto lock = board->lock();
            board->flash(0).setEraseHook([&] {
                board->flash(0).setEraseHook(nullptr);
                sim::usbStickRemove();
            });
        }
        withPage([&] {
            Page* page = g_firmware_usbgrade;
            const QLabel* log = page->findChild<QLabel*>(QStringLiteral("label_log"));
            ASSERT_NO_FATAL_FAILURE(runToItsEnd(page, worker));
            page->syncUpdate(SYNC_USB_UPGRADE);
            const QString shown = shownText(log);
            if (!pull) {
                EXPECT_TRUE(shown.contains(QStringLiteral("Update complete"))) << shown.toStdString();
                EXPECT_EQ(g_app_reset_flag.load(), 1);
                EXPECT_EQ(readBoxFile("/data/app/kelR54N"), std::string(3000, 0x11));
                return;
            }
            for (const char* line : {"Application not installed, install it again!",
                                     "USB stick pulled or unreadable, not installed: FPGA 2"})
                EXPECT_TRUE(shown.contains(QLatin1String(line))) << shown.toStdString();
            EXPECT_FALSE(shown.contains(QStringLiteral("Update complete")));
            EXPECT_EQ(g_app_reset_flag.load(), 0);
            EXPECT_EQ(readBoxFile("/data/app/kelR54N"), "old program");
            EXPECT_EQ(*worker->gpio_rst_fpga0, fpga::kRstHold);  // restarting onto its new program
            EXPECT_EQ(*worker->gpio_rst_fpga1, fpga::kRstRun);
        });
        if (sim::usbStickInserted())
            sim::usbStickRemove();
        g_app_reset_flag = 0;
        writeBoxFile("/data/app/kelR54N", "old program");
        *worker->gpio_rst_fpga0 = fpga::kRstRun;
    }
}

// A line of names breaks between two names, never inside one: the Chinese
// names, whose characters may otherwise break anywhere, stay whole however
// narrow the line.
TEST_F(UsbUpgradePage, ALineOfPartsBreaksBetweenNamesNeverInsideOne)
{
    fpga_manage* worker = fpga_manage::pInstance();
    using P = fpga_manage::RunPart;
    withPage([&] {
        Page* page = g_firmware_usbgrade;
        const QLabel* log = page->findChild<QLabel*>(QStringLiteral("label_log"));
        setRunShortfall(worker, {false, 0, 0, 0, P::kPartApplication | P::kPartFpga1 | P::kPartFont});
        g_language = pages::ZH;
        page->syncUpdate(SYNC_USB_UPGRADE);
        QTextDocument doc;
        doc.setHtml(log->text());
        const QString text = doc.toPlainText();
        const QString partsStart = QStringLiteral("未安装：");
        const int from = text.indexOf(partsStart) + partsStart.size();
        ASSERT_GT(from, partsStart.size() - 1) << text.toStdString();
        const QString names[] = {QStringLiteral("应用程序"), QStringLiteral("字库")};
        QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
        for (const QString& name : names) {
            // Where the name lies, word joiners read through.
            int at = from, matched = 0, start = -1;
            for (; at < text.size() && matched < name.size(); ++at) {
                if (text[at] == QChar(kWordJoiner))
                    continue;
                if (text[at] == name[matched]) {
                    start = matched == 0 ? at : start;
                    ++matched;
                } else {
                    matched = 0;
                }
            }
            ASSERT_EQ(matched, name.size()) << text.toStdString();
            for (int k = start + 1; k < at; ++k) {
                breaks.setPosition(k);
                EXPECT_FALSE(breaks.isAtBoundary()) << name.toStdString() << " breaks at " << k - start;
            }
        }
        g_language = pages::EN;
        setRunShortfall(worker, {});
    });
}

// A file with a package's suffix whose name is not valid UTF-8 is not taken:
// beside a good package that installs whole, the run ends in red naming it,
// never "Update complete".
TEST_F(UsbUpgradePage, AMisnamedPackageBesideAGoodOneIsNamedInRed)
{
    fpga_manage* worker = fpgaManagerOutOfReset();
    const std::string dir = std::string(sim::kStickDir) + "/KEL-R8";
    ASSERT_TRUE(platform::makeDirs(dir));
    const std::vector<u8> package = usbpkg::build(usbpkg::BuildSpec{
        0, usbpkg::kControllerType, {{usbpkg::kChildFpga1, std::vector<u8>(9000, 0x33), {25, 6, 1, 0, 0, 0}}}});
    const std::string bytes(package.begin(), package.end());
    writeBoxFile(dir + "/good.KEL", bytes);
    writeBoxFile(dir + "/caf\xE9.KEL", bytes);
    ASSERT_TRUE(sim::usbStickInsert(sim::kStickDir));
    withPage([&] {
        Page* page = g_firmware_usbgrade;
        ASSERT_NO_FATAL_FAILURE(runToItsEnd(page, worker));
        page->syncUpdate(SYNC_USB_UPGRADE);
        const QString shown = shownText(page->findChild<QLabel*>(QStringLiteral("label_log")));
        EXPECT_TRUE(shown.contains(QStringLiteral("Package name unreadable, rename it:"))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("caf\\xe9.KEL"))) << shown.toStdString();
        EXPECT_FALSE(shown.contains(QStringLiteral("Update complete")));
        EXPECT_EQ(static_cast<firmware_usbgrade*>(page)->logShown(), firmware_usbgrade::LogShown::kFault);
    });
}

// A run the page started goes on after BACK, and tells its real end where it
// ends: the communication menu shows no check mark when the run left
// anything out but sends the operator to the upgrade page, which, opened
// again, shows that run's end. Two ways: FPGA 1's flash refuses its
// program; the stick is pulled during a run of two packages.
TEST_F(UsbUpgradePage, ARunThatFailsBehindItsClosedPageIsToldOnTheMenuAndThePageOpenedAgain)
{
    fpga_manage* worker = fpgaManagerOutOfReset();
    const std::string dir = std::string(sim::kStickDir) + "/KEL-R8";
    ASSERT_TRUE(platform::makeDirs(dir));
    const std::vector<u8> first = usbpkg::build(
        usbpkg::BuildSpec{0,
                          usbpkg::kControllerType,
                          {{usbpkg::kChildFpga0, std::vector<u8>(40000, 0x22), {25, 6, 1, 0, 0, 0}},
                           {usbpkg::kChildApplication, std::vector<u8>(3000, 0x11), {25, 6, 1, 11, 3, 0}}}});
    const std::vector<u8> second = usbpkg::build(usbpkg::BuildSpec{
        0, usbpkg::kControllerType, {{usbpkg::kChildFpga1, std::vector<u8>(9000, 0x33), {25, 6, 1, 0, 0, 0}}}});
    writeBoxFile(dir + "/a.KEL", std::string(first.begin(), first.end()));
    writeBoxFile(dir + "/b.KEL", std::string(second.begin(), second.end()));
    writeBoxFile("/data/app/kelR54N", "old program");
    auto board = sim::fpgaBoard();
    const struct {
        bool pull;  // else FPGA 1's flash refuses
        std::vector<const char*> lines;
    } cases[] = {
        {false, {"Application not installed, install it again!", "FPGA 1 program incomplete, install it again!"}},
        {true,
         {"USB stick pulled or unreadable, not installed: application",
          "USB stick pulled or unreadable, packages not read: 1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pull ? "pulled" : "flash refuses");
        ASSERT_TRUE(sim::usbStickInsert(sim::kStickDir));
        {
            auto lock = board->lock();
            board->flash(0).setWriteProtected(!c.pull);
            if (c.pull)
                board->flash(0).setEraseHook([&] {
                    board->flash(0).setEraseHook(nullptr);
                    sim::usbStickRemove();
                });
        }
        ASSERT_TRUE(insidePage(
            [] { pages::openPage(PAGE_COMMUNICATION); },
            [&] {
                click(g_linkoption, Qt::Key_R);
                click(g_linkoption, Qt::Key_R);
                ASSERT_TRUE(insidePage([] { click(g_linkoption, Qt::Key_Q); },
                                       [] {
                                           click(g_firmware_usbgrade, Qt::Key_Q);
                                           click(g_firmware_usbgrade, Qt::Key_O);
                                       }));
                ASSERT_EQ(g_page_focus.load(), PAGE_COMMUNICATION);
                for (int i = 0; i < 4 && g_usb_grade.load(); ++i)
                    worker->usb_upgrade_manage_deal();
                ASSERT_EQ(g_usb_grade.load(), 0u);
                QString tipText;
                QTimer::singleShot(0, [&] {
                    for (const QLabel* l : g_tip->findChildren<QLabel*>())
                        tipText += l->text();
                    tick(TIP::kShowTicks);
                });
                SyncUpdate::p_SyncUpdate->para_sync(SYNC_USB_UPGRADE);
                EXPECT_TRUE(tipText.contains(QStringLiteral("USB update not complete!"))) << tipText.toStdString();

                ASSERT_TRUE(
                    insidePage([] { click(g_linkoption, Qt::Key_Q); },
                               [&] {
                                   const QString shown =
                                       shownText(g_firmware_usbgrade->findChild<QLabel*>(QStringLiteral("label_log")));
                                   for (const char* line : c.lines)
                                       EXPECT_TRUE(shown.contains(QLatin1String(line))) << shown.toStdString();
                                   EXPECT_EQ(g_firmware_usbgrade->logShown(), firmware_usbgrade::LogShown::kFault);
                               }));
            }));
        if (sim::usbStickInserted())
            sim::usbStickRemove();
        auto lock = board->lock();
        board->flash(0).setWriteProtected(false);
    }
}

// The new program written whole but not put in place (its move fails, here
// as the program is a link out of the box root) is no installed program:
// the run ends red, the old program stays and the box does not restart. A
// program the disk takes no file for says why.
TEST_F(UsbUpgradePage, AnApplicationNotPutInPlaceOrRefusedByTheDiskEndsRedAndSaysWhy)
{
    fpga_manage* worker = fpgaManagerOutOfReset();
    const std::string dir = std::string(sim::kStickDir) + "/KEL-R8";
    ASSERT_TRUE(platform::makeDirs(dir));
    const std::vector<u8> package = usbpkg::build(usbpkg::BuildSpec{
        0, usbpkg::kControllerType, {{usbpkg::kChildApplication, std::vector<u8>(3000, 0x11), {25, 6, 1, 11, 3, 0}}}});
    writeBoxFile(dir + "/app.KEL", std::string(package.begin(), package.end()));
    QTemporaryDir away;
    const std::string outside = away.path().toStdString() + "/kelR54N";
    for (const bool diskFull : {false, true}) {
        SCOPED_TRACE(diskFull ? "disk full" : "program a link out of the root");
        ASSERT_TRUE(sim::usbStickInsert(sim::kStickDir));
        writeBoxFile("/data/app/kelR54N", "old program");
        if (diskFull) {
            sim::setDiskFault(sim::DiskFault::kFull);
        } else {
            std::FILE* f = std::fopen(outside.c_str(), "w");
            ASSERT_TRUE(f);
            std::fputs("old program", f);
            std::fclose(f);
            ::unlink(platform::path("/data/app/kelR54N").c_str());
            ASSERT_EQ(::symlink(outside.c_str(), platform::path("/data/app/kelR54N").c_str()), 0);
        }
        withPage([&] {
            Page* page = g_firmware_usbgrade;
            ASSERT_NO_FATAL_FAILURE(runToItsEnd(page, worker));
            page->syncUpdate(SYNC_USB_UPGRADE);
            const QString shown = shownText(page->findChild<QLabel*>(QStringLiteral("label_log")));
            EXPECT_TRUE(shown.contains(QStringLiteral("Application not installed, install it again!")))
                << shown.toStdString();
            EXPECT_EQ(shown.contains(QStringLiteral("Storage full or read-only!")), diskFull) << shown.toStdString();
            EXPECT_EQ(g_app_reset_flag.load(), 0);
        });
        sim::setDiskFault(sim::DiskFault::kNone);
        ::unlink(platform::path("/data/app/kelR54N").c_str());
        sim::usbStickRemove();
    }
    std::FILE* f = std::fopen(outside.c_str(), "r");
    ASSERT_TRUE(f);
    char held[16] = {};
    EXPECT_EQ(std::fread(held, 1, sizeof held - 1, f), 11u);
    std::fclose(f);
    EXPECT_STREQ(held, "old program");
}
