// The pages of the gallery. A new page adds one entry (or a few, for its
// states) that builds it from nothing and returns its picture.
#include "tests/gallery/gallery.h"

#include "app/aginglog.h"
#include "app/firmwareupdate.h"
#include "app/lockwindow.h"
#include "app/kelrampara.h"
#include "app/mainwindow.h"
#include "app/numberkeyboard.h"
#include "app/page_support.h"
#include "app/tip.h"
#include "fpga/fpga_manage.h"
#include "platform/platform.h"
#include "platform/sim/sim_fpga.h"
#include "platform/sim/sim.h"
#include "screens/menus/advancedoption.h"
#include "screens/menus/imagequality.h"
#include "screens/menus/ledset.h"
#include "screens/menus/linkcom.h"
#include "screens/menus/linkoption.h"
#include "screens/menus/linkwlan.h"
#include "screens/menus/machinestate.h"
#include "screens/menus/netset.h"
#include "screens/menus/option.h"
#include "screens/menus/outputset.h"
#include "screens/menus/quality.h"
#include "screens/menus/temperature.h"
#include "screens/setup/custommode.h"
#include "screens/setup/edidset.h"
#include "screens/setup/imagelayout.h"
#include "screens/setup/inputchoose.h"
#include "screens/setup/inputcut.h"
#include "screens/system/factory.h"
#include "screens/system/factoryage.h"
#include "screens/system/lcdshow.h"
#include "screens/system/othersetup.h"
#include "screens/system/test_chart.h"
#include "tests/support/upgrade_shortfall.h"
#include "tools/firmware_usbgrade.h"
#include "tools/qroundprogressbar.h"
#include "tools/rcv_recovery.h"
#include "tools/smartmapping.h"
#include "tools/tool_page.h"
#include "videochip/x518_manage.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <future>
#include <memory>

namespace {

// The main window under every page, as start-up makes it.
struct MainWindowUnder {
    MainWindowUnder() : window(new MainWindow(nullptr)) { g_mainwindow = window.get(); }
    ~MainWindowUnder()
    {
        g_mainwindow = nullptr;
        delete g_tip;
        g_tip = nullptr;
        delete g_numberkeyboard;
        g_numberkeyboard = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::unique_ptr<MainWindow> window;
};

// The front-panel keys `keys`, released in this order on `page`.
void sendKeys(QWidget* page, const std::vector<int>& keys)
{
    for (int key : keys) {
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(page, &release);
    }
}

QImage tipOverMainWindow(int kind)
{
    MainWindowUnder main;
    g_tip->tip_build(kind);
    return grabOver(main.window.get(), g_tip);
}

// User modes 1, 3, 6 and 10 saved, mode 3 in use, for as long as it lives;
// the block a call loads is put back afterwards.
struct SampleUserModes {
    SampleUserModes()
    {
        KelRamPara* store = KelRamPara::pInstance();
        std::memcpy(saved, store->ram_user_mode, sizeof saved);
        live = store->ram_para;
        for (USER_MODE_SLOT& slot : store->ram_user_mode)
            std::memcpy(slot.data, reinterpret_cast<const u8*>(&live) + ram::kUserModeStart, sizeof slot.data);
        for (int i : {0, 2, 5, 9})
            std::memset(store->ram_user_mode[i].marker, ram::kSlotSaved, 2);
        store->ram_para.current_mode = 3;
    }
    ~SampleUserModes()
    {
        KelRamPara* store = KelRamPara::pInstance();
        std::memcpy(store->ram_user_mode, saved, sizeof saved);
        store->ram_para = live;
    }
    USER_MODE_SLOT saved[ram::kUserModes];
    KEL_RAM_PARA live;
};

// A save of user mode `slot` + 1 that waits for the disk (the disk was full
// when it was asked for), for as long as it lives.
struct SampleWaitingSave {
    explicit SampleWaitingSave(int slot) : slot(slot)
    {
        KelRamPara* store = KelRamPara::pInstance();
        platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
        store->saveMode(slot, reinterpret_cast<const u8*>(&store->ram_para) + ram::kUserModeStart);
        platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    }
    ~SampleWaitingSave() { KelRamPara::pInstance()->mode_file_deal(slot, 1); }
    int slot;
};

// The main window with its user-mode bar open for call or save, the
// selection moved on by one and a slot just touched; `waiting`: the save of
// the mode in use (slot 2) waits for the disk.
QImage modeBar(bool call, bool waiting = false)
{
    SampleUserModes modes;
    std::unique_ptr<SampleWaitingSave> save(waiting ? new SampleWaitingSave(2) : nullptr);
    MainWindowUnder main;
    MainWindow* w = main.window.get();
    w->on_tools_clicked();
    if (call)
        w->on_toolButton3_clicked();
    else
        w->on_toolButton4_clicked();
    w->on_usermodesel_clicked(1);
    sendKeys(w, {Qt::Key_Q});
    w->mode_tip_pending = 0;
    return grabWidget(w);
}

// The number keyboard beside the main window, as a page opens it with
// `title`, with a new value entered and the focus on a key.
QImage numberKeyboard(const pages::Texts& title)
{
    MainWindowUnder main;
    MainWindow* w = main.window.get();
    w->show();
    g_numberkeyboard->setGeometry(w->x() + 160, w->y(), 160, 240);
    g_numberkeyboard->label_show(pages::pick(title), QStringLiteral("1920"));
    sendKeys(g_numberkeyboard, {Qt::Key_R, Qt::Key_R, Qt::Key_Q, Qt::Key_S, Qt::Key_S});
    return grabOver(w, g_numberkeyboard);
}

// The round progress bar as a tool page shows it over itself while a job runs.
QImage roundProgressBar(int percent)
{
    QDialog page;
    page.setFixedSize(320, 240);
    page.setStyleSheet(QStringLiteral("background-color: rgb(16, 16, 28);"));
    QRoundProgressBar::create_qround_bar(&page);
    g_qround_bar->para_sync(percent);
    const QImage image = grabWidget(&page);
    QRoundProgressBar::del_qround_bar();
    return image;
}

// `page` drawn with the list of its combo box named `list` open over it,
// as a tap on the box opens it; without a name, `page` alone.
QImage withListOpen(QWidget* page, const char* list)
{
    QComboBox* box = list ? page->findChild<QComboBox*>(QLatin1String(list)) : nullptr;
    if (!box)
        return grabWidget(page);
    grabWidget(page);
    box->showPopup();
    const QImage image = grabOver(page, box->view()->window());
    box->hidePopup();
    return image;
}

// A page built on the skeleton over the main window after the front-panel
// keys `keys` (released in this order); with `list`, that combo box's list
// open.
template <class P>
QImage pageAfterKeys(const std::vector<int>& keys, const char* list = nullptr)
{
    MainWindowUnder main;
    P page(nullptr);
    sendKeys(&page, keys);
    return withListOpen(&page, list);
}

// The same with the focus moved `steps` entries on.
template <class P>
QImage menuPage(int steps = 0)
{
    return pageAfterKeys<P>(std::vector<int>(static_cast<size_t>(steps), Qt::Key_R));
}

// A PC's write of FPGA 0's parameter memory, answered on a thread of its own
// (as a link's) while the manager's passes run here.
void pcMemoryWrite(fpga_manage* m, u16 offset, const u8* bytes, int len)
{
    auto answer = std::async(std::launch::async, [=] { return m->writeControllerMemory(0, offset, bytes, len); });
    while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        m->memoryDeal();
    answer.get();
}

// The FPGA manager with FPGA 0 brought up as on the box (its versions and
// links are the simulated board's: ports 1 and 2 have cards), and the canvas
// split over sending ports 1-6 in 1280 x 512 areas as a PC writes them: the
// box keeps them and gives them to FPGA 0 again whenever it comes up.
void sampleFpga()
{
    if (fpga_manage::p_fpga_manage)
        return;
    fpga_manage* m = fpga_manage::pInstance();
    *m->gpio_rst_fpga0 = fpga::kRstRun;
    G_timeTicks = 1000;
    for (int pass = 0; pass < 10 && !m->get_fpga_status(); ++pass)
        m->fpga_manage_deal();
    for (int port = 0; port < netset::kPorts; ++port) {
        unsigned short x, y, w, h;
        fpga_manage::get_eth_param_addr(static_cast<unsigned char>(port), &x, &y, &w, &h);
        const u16 area[4] = {static_cast<u16>(port % 3 * 1280), static_cast<u16>(port / 3 * 512), 1280, 512};
        u8 bytes[sizeof area];
        for (int i = 0; i < 4; ++i)
            ram::storeU16(bytes + 2 * i, area[i]);
        pcMemoryWrite(m, x, bytes, sizeof bytes);
    }
}

// The device information page while the parameter file cannot be written,
// as the saver reports it in register 44.
QImage deviceInfoUnsaved()
{
    KelRamPara* store = KelRamPara::pInstance();
    const u8 saved = store->reg_image.save_state;
    store->reg_image.save_state = ram::kSaveParaFileFails;
    sampleFpga();
    const QImage image = menuPage<MachineState>();
    store->reg_image.save_state = saved;
    return image;
}

// The device information page while the video chip manager exists and its
// chip is not in running mode yet (being brought up, or not answering).
QImage deviceInfoChipDown()
{
    sampleFpga();
    x518_manage::prepareInstance();
    const QImage image = menuPage<MachineState>();
    delete x518_manage::p_x518_manage;
    x518_manage::p_x518_manage = nullptr;
    return image;
}

// The device information page while FPGA 0 is held in reset, its program
// marked incomplete by an upgrade.
QImage deviceInfoFpgaHeld()
{
    fpga_manage* m = fpga_manage::pInstance();
    m->incomplete_fpgas = 0x01;
    m->holdFpgaReset(0);
    const QImage image = menuPage<MachineState>();
    // FPGA 0 running again for the pages after this one.
    m->incomplete_fpgas = 0;
    m->rst_pending[0] = 0;
    *m->gpio_rst_fpga0 = fpga::kRstRun;
    for (int pass = 0; pass < 10 && !m->get_fpga_status(); ++pass)
        m->fpga_manage_deal();
    return image;
}

// The sending-port view while FPGA 0 is held in reset: the areas the box
// keeps for it, and the line that says it does not run.
QImage portViewFpgaDown()
{
    sampleFpga();
    fpga_manage* m = fpga_manage::p_fpga_manage;
    auto board = platform::sim::fpgaBoard();
    board->holdInReset(0, true);
    m->fpga_manage_deal();
    const QImage image = menuPage<netset>(1);
    board->holdInReset(0, false);
    for (int pass = 0; pass < 10 && !m->get_fpga_status(); ++pass)
        m->fpga_manage_deal();
    return image;
}

// ---- the video set-up pages

// Three crops of HDMI1 besides the sample's, window 1 on the second, for as
// long as it lives.
struct SampleCrops {
    SampleCrops()
    {
        KEL_RAM_PARA& b = KelRamPara::pInstance()->ram_para;
        saved = b;
        const u16 hdmi1 = ram::kCropInUse | ram::kSourceHdmi1;
        b.crop_list[1] = CROP_ITEM{hdmi1, 0, 0, 960, 540};
        b.crop_list[2] = CROP_ITEM{static_cast<u16>(hdmi1 | 1 << ram::kCropNumberShift), 960, 0, 960, 540};
        b.crop_list[3] = CROP_ITEM{static_cast<u16>(hdmi1 | 3 << ram::kCropNumberShift), 0, 540, 1920, 540};
        b.image[0].source = ram::kSourceIsCrop | 2;
        KelRamPara::pInstance()->ram_para_shadow = b;
    }
    ~SampleCrops()
    {
        KelRamPara::pInstance()->ram_para = saved;
        KelRamPara::pInstance()->ram_para_shadow = saved;
    }
    KEL_RAM_PARA saved;
};

// The input-choice page after `keys`.
QImage inputChoose(const std::vector<int>& keys)
{
    g_image_current = 0;
    return pageAfterKeys<InputChoose>(keys);
}

// The user-mode page over the sample modes, after `keys`; `waiting`: the
// save of the mode in use (slot 2, where the page opens) waits for the disk.
QImage userModes(const std::vector<int>& keys, bool waiting = false, const char* list = nullptr)
{
    SampleUserModes modes;
    std::unique_ptr<SampleWaitingSave> save(waiting ? new SampleWaitingSave(2) : nullptr);
    return pageAfterKeys<CustomMode>(keys, list);
}

// The user-mode page with More highlighted on a mode that carries an overlay.
QImage userModeOverlay()
{
    SampleUserModes modes;
    USER_MODE_SLOT& slot = KelRamPara::pInstance()->ram_user_mode[2];
    ram::storeU16(slot.data + ram::slotDataIndex(offsetof(KEL_RAM_PARA, osd_enable)), 1);
    const std::string overlay =
        R"({"name":"gallery","osdcount":1,"oactcount":1,"menu":[{"type":0,"status":"on",)"
        R"("pos":{"x":0,"y":0,"w":256,"h":64},"act":{"effect":4,"speed":5,"staytime":0},)"
        R"("backpara":{"enable":"on","color":"0x203080"},"fontpara":{"startx":4,"starty":6,"fontw":32,)"
        R"("fonth":32,"wordspace":2,"verticalspace":3,"color":"0xFFD040"},)"
        R"("texts":["Welcome to the show\n欢迎光临\nДобро пожаловать\nfourth line"]}]})";
    platform::writeFileAtomic(KelRamPara::modeOverlayPath(2), overlay);
    MainWindowUnder main;
    CustomMode page(nullptr);
    sendKeys(&page, {Qt::Key_Q, Qt::Key_R, Qt::Key_R});
    const QImage image = grabWidget(&page);
    platform::removeFile(KelRamPara::modeOverlayPath(2));
    return image;
}

// The aging-log page over 20 samples, for as long as it lives: the log and
// its counters are put back afterwards.
struct SampleAgingLog {
    SampleAgingLog()
    {
        saved = factoryage_log;
        factoryage_log.clear();
        for (int i = 0; i < 20; ++i)
            factoryage_log.append(QStringLiteral("06-01 %1:%2 %3 %4 %5")
                                      .arg(12 + i / 20, 2, 10, QLatin1Char('0'))
                                      .arg(3 * i, 2, 10, QLatin1Char('0'))
                                      .arg(17 + 3 * i)
                                      .arg(i % 7 == 3 ? 29 : 31)
                                      .arg(i % 5));
        factoryage_log_diff3 = 12;
        factoryage_log_diff5 = 5;
        factoryage_log_diff10 = 1;
    }
    ~SampleAgingLog()
    {
        factoryage_log = saved;
        factoryage_log_diff3 = factoryage_log_diff5 = factoryage_log_diff10 = 0;
    }
    QStringList saved;
};

// The USB upgrade page over the stick's packages `names` (none: no stick
// folder), with `next` taps on its next button, and `after` done on it.
QImage usbUpgradePage(const std::vector<std::string>& names, int next,
                      const std::function<void(firmware_usbgrade&)>& after = nullptr)
{
    const std::string dir = "/mnt/usb1/gallery";
    platform::makeDirs(dir);
    for (const std::string& name : names)
        platform::writeFileAtomic(dir + "/" + name, std::string("package"));
    g_usb_grade_path = names.empty() ? QStringLiteral("no-stick") : QStringLiteral("gallery");
    MainWindowUnder main;
    firmware_usbgrade page(nullptr);
    for (int i = 0; i < next; ++i)
        page.kel_Button_next_clicked();
    if (after)
        after(page);
    const QImage image = grabWidget(&page);
    for (const std::string& name : names)
        platform::removeFile(dir + "/" + name);
    return image;
}

const std::vector<std::string> kSamplePackages = {
    "R54N_app_V2.6.KEL",      "R54N_fonts.KELZK", "R54N_fpga_20250301_with_a_long_name.KEL",
    "R54N_fpga_20250610.KEL", "R54N_full.KEL",    "R54N_recovery.KELZK"};

const QString kSampleRunTimes = QStringLiteral("10:04:07    10:06:52");

// What a run over the sample packages could not write whole: the
// application, FPGA programs and fonts (bit masks), the FPGAs whose flash
// kept its program or took the new one unverified, and the FPGAs and font
// places not erased because the disk took no mark, and the FPGAs and font
// places whose mark the record still holds (the disk took no file when it
// was to go).
struct RunFailures {
    bool applicationFailed = false;
    u8 incompleteFpgas = 0, incompleteFonts = 0, keptFpgas = 0, unverifiedFpgas = 0;
    u8 unrecordedFpgas = 0, unrecordedFonts = 0;
    u8 staleFpgas = 0, staleFonts = 0;
};

void setRunFailures(fpga_manage* worker, const RunFailures& f)
{
    worker->application_failed = f.applicationFailed;
    worker->incomplete_fpgas = f.incompleteFpgas;
    worker->incomplete_fonts = f.incompleteFonts;
    worker->kept_fpgas = f.keptFpgas;
    worker->unverified_fpgas = f.unverifiedFpgas;
    worker->unrecorded_fpgas = f.unrecordedFpgas;
    worker->unrecorded_fonts = f.unrecordedFonts;
    worker->stale_fpgas = f.staleFpgas;
    worker->stale_fonts = f.staleFonts;
}

// The upgrade page once a run over the sample packages ended with `failures`.
QImage usbUpgradeRunEnded(const RunFailures& failures)
{
    return usbUpgradePage(kSamplePackages, 0, [=](firmware_usbgrade& page) {
        sampleFpga();
        fpga_manage* worker = fpga_manage::p_fpga_manage;
        worker->usb_grade_msg = kSampleRunTimes;
        setRunFailures(worker, failures);
        page.syncUpdate(SYNC_USB_UPGRADE);
        setRunFailures(worker, RunFailures{});
    });
}

// The upgrade page over `names` once a run ended with `shortfall`.
QImage usbUpgradeLeftOut(const std::vector<std::string>& names, const RunShortfall& shortfall)
{
    return usbUpgradePage(names, 0, [=](firmware_usbgrade& page) {
        sampleFpga();
        fpga_manage* worker = fpga_manage::p_fpga_manage;
        worker->usb_grade_msg = kSampleRunTimes;
        setRunShortfall(worker, shortfall);
        page.syncUpdate(SYNC_USB_UPGRADE);
        setRunShortfall(worker, RunShortfall{});
    });
}

// The upgrade page opened while earlier runs left FPGA and font marks.
QImage usbUpgradeOpenedIncomplete(u8 incompleteFpgas, u8 incompleteFonts)
{
    sampleFpga();
    fpga_manage* worker = fpga_manage::p_fpga_manage;
    worker->incomplete_fpgas = incompleteFpgas;
    worker->incomplete_fonts = incompleteFonts;
    const QImage image = usbUpgradePage(kSamplePackages, 0);
    worker->incomplete_fpgas = 0;
    worker->incomplete_fonts = 0;
    return image;
}
// ---- the LED-screen tool pages

// Scan files on the box and on the stick while it lives.
struct SampleScanFiles {
    SampleScanFiles()
    {
        put("/data/smartmapping", {"Hall_P2.5.ztfile", "lobby.ztfile"});
        put("/mnt/usb1", {"stage_left.ztfile", "stage_right.ztfile"});
    }
    ~SampleScanFiles()
    {
        for (const QString& f : made)
            QFile::remove(f);
    }
    void put(const char* dir, std::initializer_list<const char*> names)
    {
        const QString host = platform::qpath(QString::fromLatin1(dir));
        QDir().mkpath(host);
        for (const char* n : names) {
            QFile f(host + QLatin1Char('/') + QLatin1String(n));
            if (f.open(QIODevice::WriteOnly))
                made << f.fileName();
        }
    }
    QStringList made;
};

// The smart-mapping page after the operator's keys (and `setup`).
QImage smartMapping(std::initializer_list<int> keys, const std::function<void(SmartMapping&)>& setup = {})
{
    MainWindowUnder main;
    SmartMapping page(nullptr);
    sendKeys(&page, keys);
    if (setup)
        setup(page);
    return grabWidget(&page);
}

// Step 3 of quick mapping filled in for a 2 x 3 chain, pattern 9.
void screenOf2x3(SmartMapping& page)
{
    page.findChild<QLineEdit*>(QStringLiteral("lineEdit_line"))->setText(QStringLiteral("2"));
    page.findChild<QLineEdit*>(QStringLiteral("lineEdit_column"))->setText(QStringLiteral("3"));
    page.findChild<QAbstractButton*>(QStringLiteral("Button_route9"))->click();
}

// The smart-mapping page after `keys`, under the tip box that tells how a
// job ended (`end`) as its bar closes.
QImage smartMappingJobEnd(std::initializer_list<int> keys, const CardJobEnd& end,
                          const std::function<void(SmartMapping&)>& setup = {})
{
    MainWindowUnder main;
    SmartMapping page(nullptr);
    sendKeys(&page, keys);
    if (setup)
        setup(page);
    g_tip->tip_build(TIP::kJobNotDone, ToolPage::jobNotDoneText(end));
    return grabOver(&page, g_tip);
}

// A job that `missed` cards of the `cards` it was for did not take.
CardJobEnd cardsMissed(u8 job, int cards, std::vector<CardPlace> missed)
{
    CardJobEnd end;
    end.job = job;
    end.cards = cards;
    end.missed = std::move(missed);
    return end;
}

// A job refused before it sent anything.
CardJobEnd jobRefused(u8 job, JobRefusal why, u8 port, cardfile::Fault file = cardfile::Fault::kNone)
{
    CardJobEnd end;
    end.job = job;
    end.refused = why;
    end.port = port;
    end.file = file;
    return end;
}

// A save or mapping switch refused: none of the linked ports `ports` (bit
// p: port p) has a card that answers.
CardJobEnd noCardsOnPorts(u8 job, u16 ports)
{
    CardJobEnd end = jobRefused(job, JobRefusal::kNoCards, 0);
    end.empty_ports = ports;
    return end;
}

// Ports 0-3 of a save: more runs and ports than the tip lists.
std::vector<CardPlace> manyMissed()
{
    std::vector<CardPlace> missed;
    for (u16 card : {0, 2, 4, 6, 8})
        missed.push_back({0, card});
    for (u16 card = 1; card < 9; ++card)
        missed.push_back({1, card});
    missed.push_back({2, 0});
    missed.push_back({3, 5});
    return missed;
}

// The recovery page with `entry` as the job's result ("" none); `silent`:
// the card a recovery then worked on did not answer.
void showRecoveryResult(rcv_recovery& page, const QString& entry, bool silent)
{
    if (entry.isEmpty())
        return;
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    fpga->rcv_result.setFound(entry);
    if (silent)
        fpga->rcv_result.setSilent();
    g_send_para.recovery_progress = 2;
    page.syncUpdate(SYNC_PARA_CHANGED);
    g_send_para.recovery_progress = 0;
}

QImage recoveryPage(const QString& entry, bool silent = false)
{
    MainWindowUnder main;
    sampleFpga();
    rcv_recovery page(nullptr);
    showRecoveryResult(page, entry, silent);
    return grabWidget(&page);
}

// The recovery page opened while FPGA 0 does not run.
QImage recoveryOpenedWithoutFpga()
{
    MainWindowUnder main;
    sampleFpga();
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    auto board = platform::sim::fpgaBoard();
    board->holdInReset(0, true);
    fpga->fpga_manage_deal();
    rcv_recovery page(nullptr);
    const QImage image = grabWidget(&page);
    board->holdInReset(0, false);
    for (int pass = 0; pass < 10 && !fpga->get_fpga_status(); ++pass)
        fpga->fpga_manage_deal();
    return image;
}

// The recovery page after a job `keys` posted ended without a card found,
// or was cut short because FPGA 0 stopped (`noFpga`): Query with nothing
// found before, or Recovery of `entry`.
QImage recoveryAfterJob(const QString& entry, const std::vector<int>& keys, bool noFpga = true)
{
    MainWindowUnder main;
    sampleFpga();
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    rcv_recovery page(nullptr);
    showRecoveryResult(page, entry, false);
    sendKeys(&page, keys);
    g_send_para.end();
    fpga->job_report.no_fpga = noFpga;
    emit fpga->job_report.sig_qround_bar_update(fpga_manage::kProgressEnd);
    fpga->job_report.no_fpga = false;
    return grabWidget(&page);
}

// The recovery page after a Query (`entry` "") or a Recovery of `entry`
// whose job refused the recovery file for `fault`.
QImage recoveryFileRefused(const QString& entry, cardfile::Fault fault)
{
    MainWindowUnder main;
    sampleFpga();
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    rcv_recovery page(nullptr);
    showRecoveryResult(page, entry, false);
    sendKeys(&page, entry.isEmpty() ? std::vector<int>{Qt::Key_Q} : std::vector<int>{Qt::Key_R, Qt::Key_Q});
    g_send_para.end();
    fpga->job_report.setEnd(
        jobRefused(entry.isEmpty() ? SEND_RCV_CHECK : SEND_RCV_RECOVERY, JobRefusal::kFile, 0, fault));
    emit fpga->job_report.sig_qround_bar_update(fpga_manage::kProgressEnd);
    fpga->job_report.setEnd(CardJobEnd{});
    return grabWidget(&page);
}

// The recovery page after a Query whose cards `missed` (of `cards`) did not
// answer in time, and whose ports `ports` had no link.
QImage recoveryNotLearned(const std::vector<CardPlace>& missed, int cards, u16 ports)
{
    MainWindowUnder main;
    sampleFpga();
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    rcv_recovery page(nullptr);
    showRecoveryResult(page, QString(), false);
    sendKeys(&page, {Qt::Key_Q});
    g_send_para.end();
    CardJobEnd end;
    end.job = SEND_RCV_CHECK;
    end.cards = cards;
    end.missed = missed;
    end.unasked_ports = ports;
    fpga->job_report.setEnd(end);
    emit fpga->job_report.sig_qround_bar_update(fpga_manage::kProgressEnd);
    fpga->job_report.setEnd(CardJobEnd{});
    return grabWidget(&page);
}

// The crop, window layout and EDID pages after `keys`, over the sample's
// crops, window 1 mirrored with HD3 and HD4 side by side, and HDMI2's EDID
// at 3840 x 2160, 30 Hz.
template <class P>
QImage setupPage(std::initializer_list<int> keys, const char* list = nullptr)
{
    SampleCrops crops;
    KEL_RAM_PARA& b = KelRamPara::pInstance()->ram_para;
    b.edid[ram::kSourceHdmi2] = EDID_PARA{3840, 2160, 30};
    b.image[0].mirror = 1;
    b.image[0].flags = ram::kFlagDotByDot;
    b.image[0].dbd_mode = 8;
    b.image[0].w = 1920;
    b.image[0].h = 1080;
    KelRamPara::pInstance()->ram_para_shadow = b;
    g_image_current = 0;
    const QImage image = pageAfterKeys<P>(keys, list);
    g_image_current = 0;
    return image;
}

}  // namespace

const std::vector<GalleryPage>& galleryPages()
{
    static const std::vector<GalleryPage> pages = {
        {"mainwindow",
         [] {
             MainWindowUnder main;
             return grabWidget(main.window.get());
         }},
        {"mainwindow_toolbar",
         [] {
             MainWindowUnder main;
             main.window->on_tools_clicked();
             return grabWidget(main.window.get());
         }},
        {"mainwindow_modebar_call", [] { return modeBar(true); }},
        {"mainwindow_modebar_save", [] { return modeBar(false); }},
        {"mainwindow_modebar_save_waits", [] { return modeBar(false, true); }},
        {"numberkeyboard",
         [] {
             return numberKeyboard({QStringLiteral("宽"), QStringLiteral("Width"), QStringLiteral("Шир."),
                                    QStringLiteral("Rộng"), QStringLiteral("寬")});
         }},
        // The longest titles pages give it (smart mapping's rows and offsets).
        {"numberkeyboard_long_title",
         [] {
             return numberKeyboard({QStringLiteral("箱体行数"), QStringLiteral("Horizontal"),
                                    QStringLiteral("По гориз."), QStringLiteral("Lệch\u00a0ngang"),
                                    QStringLiteral("箱體行數")});
         }},
        {"lockwindow",
         [] {
             MainWindowUnder main;
             LockWindow home(nullptr);
             return grabWidget(&home);
         }},
        // While the video chip is not in running mode, the shown windows'
        // pictures cannot reach the screen.
        {"lockwindow_chip_down",
         [] {
             MainWindowUnder main;
             x518_manage::prepareInstance();
             LockWindow home(nullptr);
             const QImage image = grabWidget(&home);
             delete x518_manage::p_x518_manage;
             x518_manage::p_x518_manage = nullptr;
             return image;
         }},
        // Window 1 (HDMI1) refused by the input channels: it stays black.
        {"lockwindow_window_refused",
         [] {
             MainWindowUnder main;
             KEL_REG_IMAGE& regs = KelRamPara::pInstance()->reg_image;
             const u8 was = regs.window_refused;
             regs.window_refused = 0x01;
             LockWindow home(nullptr);
             const QImage image = grabWidget(&home);
             regs.window_refused = was;
             return image;
         }},
        {"option", [] { return menuPage<Option>(); }},
        {"option_smart_mapping", [] { return menuPage<Option>(6); }},
        {"advancedoption", [] { return menuPage<AdvancedOption>(); }},
        {"advancedoption_no_recovery_files", [] { return menuPage<AdvancedOption>(2); }},
        {"imagequality", [] { return menuPage<ImageQuality>(); }},
        {"outputset", [] { return menuPage<OutputSet>(); }},
        {"linkoption", [] { return menuPage<LinkOption>(2); }},
        // ---- settings pages and device information
        {"machinestate",
         [] {
             sampleFpga();
             return menuPage<MachineState>();
         }},
        {"machinestate_unsaved", [] { return deviceInfoUnsaved(); }},
        {"machinestate_chip_down", [] { return deviceInfoChipDown(); }},
        {"machinestate_fpga_held", [] { return deviceInfoFpgaHeld(); }},
        {"ledset", [] { return menuPage<ledset>(); }},
        {"ledset_apply", [] { return menuPage<ledset>(2); }},
        {"netset",
         [] {
             sampleFpga();
             return menuPage<netset>(1);
         }},
        {"netset_scrolled", [] { return menuPage<netset>(5); }},
        {"netset_fpga_down", [] { return portViewFpgaDown(); }},
        {"linkwlan", [] { return menuPage<linkwlan>(5); }},
        {"linkcom", [] { return menuPage<linkcom>(); }},
        {"quality", [] { return menuPage<quality>(1); }},
        {"quality_editing",
         [] {
             return pageAfterKeys<quality>({Qt::Key_Q, Qt::Key_R});
         }},
        {"temperature", [] { return menuPage<temperature>(); }},
        {"temperature_editing",
         [] {
             return pageAfterKeys<temperature>({Qt::Key_Q, Qt::Key_R});
         }},
        {"temperature_list", [] { return pageAfterKeys<temperature>({}, "comboBox_type"); }},
        {"inputchoose", [] { return inputChoose({Qt::Key_R}); }},
        {"inputchoose_crops",
         [] {
             SampleCrops crops;
             return inputChoose({Qt::Key_Q, Qt::Key_Q, Qt::Key_S});
         }},
        {"custommode", [] { return userModes({}); }},
        {"custommode_buttons",
         [] {
             return userModes({Qt::Key_Q, Qt::Key_R});
         }},
        {"custommode_empty", [] { return userModes({Qt::Key_R}); }},
        {"custommode_save_waits", [] { return userModes({}, true); }},
        {"custommode_overlay", [] { return userModeOverlay(); }},
        {"custommode_list", [] { return userModes({}, false, "kelcontrol"); }},
        // clang-format off
        {"factory", [] { return pageAfterKeys<factory>({Qt::Key_R, Qt::Key_R}); }},
        {"factory_language", [] { return pageAfterKeys<factory>({Qt::Key_Q, Qt::Key_R}); }},
        {"othersetup", [] { return pageAfterKeys<othersetup>({Qt::Key_R, Qt::Key_R}); }},
        {"othersetup_editing", [] { return pageAfterKeys<othersetup>({Qt::Key_S, Qt::Key_S, Qt::Key_Q}); }},
        {"lcdshow", [] { return pageAfterKeys<lcdshow>({Qt::Key_R, Qt::Key_Q, Qt::Key_R, Qt::Key_R}); }},
        // Each list open, as a tap on its box opens it.
        {"factory_list_language", [] { return pageAfterKeys<factory>({}, "Box_lang_2"); }},
        {"othersetup_list_window", [] { return pageAfterKeys<othersetup>({}, "ImageVolume"); }},
        {"othersetup_list_audio", [] { return pageAfterKeys<othersetup>({}, "volume_state"); }},
        {"othersetup_list_switch", [] { return pageAfterKeys<othersetup>({}, "switch_state"); }},
        {"othersetup_list_wifi", [] { return pageAfterKeys<othersetup>({}, "wifi_state"); }},
        {"othersetup_list_dbd", [] { return pageAfterKeys<othersetup>({}, "dbd_state"); }},
        {"lcdshow_list_back", [] { return pageAfterKeys<lcdshow>({}, "comboBox_back"); }},
        {"lcdshow_list_lock", [] { return pageAfterKeys<lcdshow>({}, "comboBox_lock"); }},
        // clang-format on
        {"factoryage_empty", [] { return pageAfterKeys<factoryage>({}); }},
        {"factoryage",
         [] {
             SampleAgingLog log;
             return pageAfterKeys<factoryage>({});
         }},
        {"test_chart",
         [] {
             return pageAfterKeys<test_chart>({Qt::Key_R, Qt::Key_R, Qt::Key_R, Qt::Key_R, Qt::Key_R});
         }},
        // The crop list with a crop focused; the editor on it, Y focused.
        {"inputcut",
         [] {
             return setupPage<InputCut>({Qt::Key_Q, Qt::Key_R, Qt::Key_R});
         }},
        {"inputcut_editor",
         [] {
             return setupPage<InputCut>({Qt::Key_Q, Qt::Key_R, Qt::Key_R, Qt::Key_R, Qt::Key_Q, Qt::Key_R});
         }},
        {"inputcut_new_crop",
         [] {
             return setupPage<InputCut>({Qt::Key_Q, Qt::Key_Q, Qt::Key_S});
         }},
        {"imagelayout", [] { return setupPage<ImageLayout>({}); }},
        {"imagelayout_window2", [] { return setupPage<ImageLayout>({Qt::Key_R}); }},
        {"imagelayout_list", [] { return setupPage<ImageLayout>({}, "comboBox_P2P"); }},
        {"edidset", [] { return setupPage<EDIDset>({Qt::Key_R}); }},
        {"edidset_rate",
         [] {
             return setupPage<EDIDset>(
                 {Qt::Key_R, Qt::Key_Q, Qt::Key_S, Qt::Key_S, Qt::Key_S, Qt::Key_S, Qt::Key_Q, Qt::Key_R});
         }},
        {"tip_check", [] { return tipOverMainWindow(TIP::kCheck); }},
        {"tip_usb_inserted", [] { return tipOverMainWindow(TIP::kUsbInserted); }},
        {"tip_usb_unplugged", [] { return tipOverMainWindow(TIP::kUsbUnplugged); }},
        {"tip_usb_reading", [] { return tipOverMainWindow(TIP::kUsbReading); }},
        {"tip_save_failed", [] { return tipOverMainWindow(TIP::kSaveFailed); }},
        {"tip_job_no_fpga", [] { return tipOverMainWindow(TIP::kJobNoFpga); }},
        {"tip_no_input_channel", [] { return tipOverMainWindow(TIP::kNoInputChannel); }},
        {"tip_settings_not_saved", [] { return tipOverMainWindow(TIP::kSettingsNotSaved); }},
        {"tip_upgrade_not_done", [] { return tipOverMainWindow(TIP::kUpgradeNotDone); }},
        {"tip_address_refused", [] { return tipOverMainWindow(TIP::kAddressRefused); }},
        // With its widest line: three dots.
        {"firmwareupdate",
         [] {
             FirmwareUpdate dialog(nullptr);
             dialog.setAttribute(Qt::WA_DeleteOnClose, false);
             for (int step = 0; step < 3; ++step)
                 dialog.handleTimerID2();
             return grabWidget(&dialog);
         }},
        {"qroundprogressbar_0", [] { return roundProgressBar(0); }},
        {"qroundprogressbar_65", [] { return roundProgressBar(65); }},
        // ---- the USB upgrade page
        {"firmware_usbgrade_no_stick", [] { return usbUpgradePage({}, 0); }},
        {"firmware_usbgrade", [] { return usbUpgradePage(kSamplePackages, 0); }},
        {"firmware_usbgrade_started",
         [] {
             return usbUpgradePage(kSamplePackages, 1, [](firmware_usbgrade& page) {
                 page.menulist_button_ok_page();
                 page.on_Button_grade_clicked();
                 g_usb_grade = 0;
             });
         }},
        {"firmware_usbgrade_over",
         [] {
             return usbUpgradePage(kSamplePackages, 0, [](firmware_usbgrade& page) {
                 sampleFpga();
                 fpga_manage::p_fpga_manage->usb_grade_msg = kSampleRunTimes;
                 page.syncUpdate(SYNC_USB_UPGRADE);
             });
         }},
        // A run that left both FPGAs' programs incomplete.
        {"firmware_usbgrade_incomplete",
         [] {
             return usbUpgradeRunEnded({false, 0x03});
         }},
        // A run whose font the chip's flash did not take whole.
        {"firmware_usbgrade_font_incomplete",
         [] {
             return usbUpgradeRunEnded({false, 0, 0x02});
         }},
        // A run that could write nothing whole: the application, both FPGA
        // programs and a font.
        {"firmware_usbgrade_nothing_whole",
         [] {
             return usbUpgradeRunEnded({true, 0x03, 0x08});
         }},
        // A run whose FPGA 2 flash could not be read back, alone on the log line.
        {"firmware_usbgrade_unverified",
         [] {
             return usbUpgradeRunEnded({false, 0, 0, 0, 0x02});
         }},
        // A run whose FPGA 1 flash refused the program (the old one kept) and
        // whose FPGA 2 flash could not be read back, with a font incomplete
        // and the application not installed.
        {"firmware_usbgrade_kept_and_unverified",
         [] {
             return usbUpgradeRunEnded({true, 0, 0x08, 0x01, 0x02});
         }},
        // A run on a full disk after one that tore FPGA 1's program and a
        // font: nothing erased, the application not installed; the red lines
        // take the list's place.
        {"firmware_usbgrade_storage_full",
         [] {
             return usbUpgradeRunEnded({true, 0x01, 0x08, 0, 0, 0x03, 0x01});
         }},
        // A run whose FPGA 1 program was written whole while the disk turned
        // read-only under it: the record still marks it, the power must stay on.
        {"firmware_usbgrade_record_behind",
         [] {
             return usbUpgradeRunEnded({false, 0, 0, 0, 0, 0, 0, 0x01});
         }},
        // The same with both FPGA programs and a font written whole, and the
        // application not installed (a restart would keep the FPGAs in reset).
        {"firmware_usbgrade_record_behind_all",
         [] {
             return usbUpgradeRunEnded({true, 0, 0, 0, 0, 0, 0, 0x03, 0x01});
         }},
        // Runs that left out part of what the stick holds (issue 64): no
        // package found (no stick);
        {"firmware_usbgrade_no_package", [] { return usbUpgradeLeftOut({}, {true}); }},
        // two packages refused, damaged or a head only;
        {"firmware_usbgrade_refused",
         [] {
             return usbUpgradeLeftOut(kSamplePackages, {false, 2});
         }},
        // the stick pulled as FPGA 1's program was written: FPGA 2's program,
        // the font and a package after not read, the application written
        // and not installed (no restart);
        {"firmware_usbgrade_stick_pulled",
         [] {
             return usbUpgradeLeftOut(kSamplePackages,
                                      {false, 0, 1, 0, fpga_manage::kPartFpga1 | fpga_manage::kPartFont, 0, true});
         }},
        // a package for another product: its font installed, the rest not;
        {"firmware_usbgrade_other_product",
         [] {
             return usbUpgradeLeftOut(
                 kSamplePackages, {false, 0, 0, 0, 0,
                                   fpga_manage::kPartApplication | fpga_manage::kPartFpga0 | fpga_manage::kPartFpga1});
         }},
        // a font child while the video chip did not answer: not installed;
        {"firmware_usbgrade_font_no_chip",
         [] {
             return usbUpgradeLeftOut(kSamplePackages, {false, 0, 0, 0, 0, 0, false, true});
         }},
        // 300 packages on the stick: the 45 beyond a run's most;
        {"firmware_usbgrade_too_many",
         [] {
             return usbUpgradeLeftOut(kSamplePackages, {false, 0, 0, 45});
         }},
        // a file whose name is not valid UTF-8 beside a good package: not
        // taken, named;
        {"firmware_usbgrade_misnamed",
         [] {
             RunShortfall s;
             s.misnamed = QStringLiteral("caf\\xe9.KEL");
             return usbUpgradeLeftOut(kSamplePackages, s);
         }},
        // all of it at once: the red lines take the list's place.
        {"firmware_usbgrade_left_out_all",
         [] {
             return usbUpgradeLeftOut(kSamplePackages, {false, 3, 2, 45,
                                                        fpga_manage::kPartApplication | fpga_manage::kPartFpga0 |
                                                            fpga_manage::kPartFpga1 | fpga_manage::kPartFont,
                                                        fpga_manage::kPartApplication | fpga_manage::kPartFpga1, true});
         }},
        // Opened after a restart with FPGA 1's program marked incomplete.
        {"firmware_usbgrade_opened_incomplete", [] { return usbUpgradeOpenedIncomplete(0x01, 0); }},
        // ---- the LED-screen tool pages
        {"smartmapping", [] { return smartMapping({}); }},
        {"smartmapping_quick_ports",
         [] {
             return smartMapping({Qt::Key_Q, Qt::Key_R, Qt::Key_R, Qt::Key_Q, Qt::Key_Q, Qt::Key_R, Qt::Key_R});
         }},
        {"smartmapping_quick_screen",
         [] {
             return smartMapping({Qt::Key_Q, Qt::Key_S, Qt::Key_Q, Qt::Key_S, Qt::Key_Q}, screenOf2x3);
         }},
        {"smartmapping_quick_patterns",
         [] {
             return smartMapping({Qt::Key_Q, Qt::Key_S, Qt::Key_Q, Qt::Key_S, Qt::Key_Q, Qt::Key_R, Qt::Key_R,
                                  Qt::Key_Q, Qt::Key_R, Qt::Key_R, Qt::Key_R});
         }},
        {"smartmapping_quick_sending",
         [] {
             const QImage image = smartMapping({Qt::Key_Q, Qt::Key_S, Qt::Key_Q, Qt::Key_S, Qt::Key_Q, Qt::Key_S},
                                               [](SmartMapping& page) {
                                                   screenOf2x3(page);
                                                   QKeyEvent ok(QEvent::KeyRelease, Qt::Key_Q, Qt::NoModifier);
                                                   QCoreApplication::sendEvent(&page, &ok);
                                                   g_qround_bar->para_sync(45);
                                               });
             QRoundProgressBar::del_qround_bar();
             g_send_para.end();
             return image;
         }},
        {"smartmapping_scan_ports",
         [] {
             SampleScanFiles files;
             return smartMapping({Qt::Key_R, Qt::Key_Q});
         }},
        {"smartmapping_scan_list",
         [] {
             SampleScanFiles files;
             return smartMapping({Qt::Key_R, Qt::Key_Q, Qt::Key_R, Qt::Key_Q, Qt::Key_R, Qt::Key_R});
         }},
        {"smartmapping_scan_no_file",
         [] {
             return smartMapping({}, [](SmartMapping& page) {
                 page.on_Button_loadscan_clicked();
                 page.on_Button_next_5_clicked();
             });
         }},
        {"smartmapping_solidify",
         [] {
             return smartMapping({Qt::Key_S, Qt::Key_S, Qt::Key_Q});
         }},
        {"smartmapping_mapping",
         [] {
             return smartMapping({Qt::Key_S, Qt::Key_Q});
         }},
        {"smartmapping_job_no_fpga",
         [] {
             MainWindowUnder main;
             SmartMapping page(nullptr);
             sendKeys(&page, {Qt::Key_R, Qt::Key_Q});  // solidify, entered
             g_tip->tip_build(TIP::kJobNoFpga);
             return grabOver(&page, g_tip);
         }},
        // How a job that did less than asked ends: cards that did not take
        // it, or a refusal before anything was sent.
        {"smartmapping_quick_cards_missed",
         [] {
             return smartMappingJobEnd({Qt::Key_Q, Qt::Key_S, Qt::Key_Q, Qt::Key_S, Qt::Key_Q},
                                       cardsMissed(SEND_SMARTMAPPING, 6, {{2, 4}, {2, 5}}), screenOf2x3);
         }},
        {"smartmapping_quick_port_down",
         [] {
             return smartMappingJobEnd({Qt::Key_Q, Qt::Key_S, Qt::Key_Q, Qt::Key_S, Qt::Key_Q},
                                       jobRefused(SEND_SMARTMAPPING, JobRefusal::kPortDown, 2), screenOf2x3);
         }},
        {"smartmapping_quick_no_cards",
         [] {
             return smartMappingJobEnd({Qt::Key_Q, Qt::Key_S, Qt::Key_Q, Qt::Key_S, Qt::Key_Q},
                                       jobRefused(SEND_SMARTMAPPING, JobRefusal::kNoCards, 5), screenOf2x3);
         }},
        {"smartmapping_quick_screen_out_of_range",
         [] {
             return smartMappingJobEnd({Qt::Key_Q, Qt::Key_S, Qt::Key_Q, Qt::Key_S, Qt::Key_Q},
                                       jobRefused(SEND_SMARTMAPPING, JobRefusal::kScreen, 0));
         }},
        {"smartmapping_scan_cards_missed",
         [] {
             SampleScanFiles files;
             return smartMappingJobEnd({Qt::Key_R, Qt::Key_Q, Qt::Key_R, Qt::Key_Q},
                                       cardsMissed(SEND_LOAD_SCAN, 4, {{0, 1}}));
         }},
        {"smartmapping_scan_damaged",
         [] {
             SampleScanFiles files;
             return smartMappingJobEnd({Qt::Key_R, Qt::Key_Q, Qt::Key_R, Qt::Key_Q},
                                       jobRefused(SEND_LOAD_SCAN, JobRefusal::kFile, 0, cardfile::Fault::kDamaged));
         }},
        {"smartmapping_scan_cut_short",
         [] {
             SampleScanFiles files;
             return smartMappingJobEnd({Qt::Key_R, Qt::Key_Q, Qt::Key_R, Qt::Key_Q},
                                       jobRefused(SEND_LOAD_SCAN, JobRefusal::kFile, 0, cardfile::Fault::kCutShort));
         }},
        {"smartmapping_scan_foreign",
         [] {
             SampleScanFiles files;
             return smartMappingJobEnd({Qt::Key_R, Qt::Key_Q, Qt::Key_R, Qt::Key_Q},
                                       jobRefused(SEND_LOAD_SCAN, JobRefusal::kFile, 0, cardfile::Fault::kForeign));
         }},
        {"smartmapping_scan_too_large",
         [] {
             SampleScanFiles files;
             return smartMappingJobEnd({Qt::Key_R, Qt::Key_Q, Qt::Key_R, Qt::Key_Q},
                                       jobRefused(SEND_LOAD_SCAN, JobRefusal::kFile, 0, cardfile::Fault::kTooLarge));
         }},
        {"smartmapping_scan_missing",
         [] {
             SampleScanFiles files;
             return smartMappingJobEnd({Qt::Key_R, Qt::Key_Q, Qt::Key_R, Qt::Key_Q},
                                       jobRefused(SEND_LOAD_SCAN, JobRefusal::kFile, 0, cardfile::Fault::kMissing));
         }},
        {"smartmapping_solidify_cards_missed",
         [] {
             return smartMappingJobEnd({Qt::Key_R, Qt::Key_Q}, cardsMissed(SEND_SAVE_PARA, 6, {{0, 2}}));
         }},
        {"smartmapping_mapping_cards_missed",
         [] {
             return smartMappingJobEnd({Qt::Key_S, Qt::Key_Q}, cardsMissed(SEND_MAPPING_ENABLE, 40, manyMissed()));
         }},
        // A save or mapping switch that would reach no card: no card answers
        // on the linked ports (more of them than the tip lists), or no port
        // has a link.
        {"smartmapping_solidify_no_cards",
         [] {
             return smartMappingJobEnd({Qt::Key_R, Qt::Key_Q}, noCardsOnPorts(SEND_SAVE_PARA, 0x3));
         }},
        {"smartmapping_mapping_no_cards",
         [] {
             return smartMappingJobEnd({Qt::Key_S, Qt::Key_Q}, noCardsOnPorts(SEND_MAPPING_ENABLE, 0x2F));
         }},
        {"smartmapping_solidify_no_links",
         [] {
             return smartMappingJobEnd({Qt::Key_R, Qt::Key_Q}, jobRefused(SEND_SAVE_PARA, JobRefusal::kNoLinks, 0));
         }},
        {"rcv_recovery", [] { return recoveryPage(QString()); }},
        {"rcv_recovery_found", [] { return recoveryPage(QStringLiteral("01/02/03/04")); }},
        {"rcv_recovery_card_past_count", [] { return recoveryPage(QStringLiteral("01/02/05/04")); }},
        {"rcv_recovery_no_answer", [] { return recoveryPage(QStringLiteral("01/02/03/04"), true); }},
        {"rcv_recovery_none_found", [] { return recoveryAfterJob(QString(), {Qt::Key_Q}, false); }},
        {"rcv_recovery_query_no_fpga", [] { return recoveryAfterJob(QString(), {Qt::Key_Q}); }},
        {"rcv_recovery_opened_no_fpga", [] { return recoveryOpenedWithoutFpga(); }},
        {"rcv_recovery_file_refused", [] { return recoveryFileRefused(QString(), cardfile::Fault::kCutShort); }},
        {"rcv_recovery_file_missing", [] { return recoveryFileRefused(QString(), cardfile::Fault::kMissing); }},
        {"rcv_recovery_port_not_asked", [] { return recoveryNotLearned({}, 0, 0x000B); }},
        {"rcv_recovery_cards_missed",
         [] {
             return recoveryNotLearned({{0, 2}, {1, 0}, {1, 1}}, 6, 0);
         }},
        {"rcv_recovery_cards_missed_port_not_asked",
         [] {
             return recoveryNotLearned({{0, 2}}, 4, 0x0004);
         }},
        {"rcv_recovery_several_files",
         [] { return recoveryFileRefused(QStringLiteral("01/02/03/04"), cardfile::Fault::kSeveral); }},
        {"rcv_recovery_recovery_file_refused",
         [] { return recoveryFileRefused(QStringLiteral("01/02/03/04"), cardfile::Fault::kForeign); }},
        {"rcv_recovery_recovery_no_fpga",
         [] {
             return recoveryAfterJob(QStringLiteral("01/02/03/04"), {Qt::Key_R, Qt::Key_Q});
         }},
    };
    return pages;
}
