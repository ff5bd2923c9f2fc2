// The settings pages and the device information page: the LED canvas's
// limits and apply, the FPGA hand-over, the picture values' steps, the
// network address's apply and a PC's address shown and kept, the
// sending-port view's scrolling, what it shows while FPGA 0 does not run and
// how it follows a PC's writes and FPGA 0 stopping, and the device
// information's lines.
#include "app/config_engine.h"
#include "app/numberkeyboard.h"
#include "app/utils.h"
#include "fpga/fpga_manage.h"
#include "links/message_deal.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_fpga.h"
#include "screens/menus/ledset.h"
#include "screens/menus/linkwlan.h"
#include "screens/menus/machinestate.h"
#include "screens/menus/netset.h"
#include "screens/menus/quality.h"
#include "screens/menus/temperature.h"
#include "screens/page_directory.h"
#include "tests/app/test_mainwindow_fixture.h"
#include "tests/screens/menus/pc_requests.h"
#include "tests/fpga/fpga_test.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

namespace {

QString fieldText(const QWidget* page, const char* name)
{
    return page->findChild<QLineEdit*>(QLatin1String(name))->text();
}

void setField(const QWidget* page, const char* name, const QString& text)
{
    page->findChild<QLineEdit*>(QLatin1String(name))->setText(text);
}

QString labelText(const QWidget* page, const char* name)
{
    return page->findChild<QLabel*>(QLatin1String(name))->text();
}

bool shows(const QLabel* label, const char* picture)
{
    const QPixmap shown = label->pixmap(Qt::ReturnByValue);
    return !shown.isNull() && shown.toImage() == QPixmap(pages::plainPicture(picture)).toImage();
}

}  // namespace

class SettingsPages : public PageTest {
protected:
    // Runs `body` with `page` open, as its menu opens it.
    static void inside(PAGE_FOCUS page, const std::function<void(Page*)>& body)
    {
        ASSERT_TRUE(onPage(page, [&body] { body(Page::withFocus()); }));
    }
    // The FPGA manager brought up as start-up does, FPGA 0 running with the
    // simulated board's versions and links (ports 0 and 1 have cards).
    static fpga_manage* runningFpga()
    {
        fpga_manage* m = fpgaManagerOutOfReset();
        G_timeTicks = 1000;
        EXPECT_TRUE(fpgaZeroBroughtUp());
        return m;
    }
};

TEST(LedSettingsLimits, EachSideAndTheWholeCanvasAreHeld)
{
    const struct {
        const char* typed;
        const char* other;
        const char* edited;
        const char* otherAfter;
    } cases[] = {
        {"9000", "1080", "8188", "480"},   // cut to the largest side, the other to fit
        {"9000", "400", "8188", "400"},    // the pair fits
        {"8188", "1920", "8188", "480"},   // 3932160 / 8188
        {"2000", "2000", "2000", "1966"},  // 3932160 / 2000
        {"3840", "1080", "3840", "1024"},  // the largest 3840-wide canvas
        {"0100", "1080", "0100", "1080"},  // the typed text stands
        {"64", "8188", "64", "8188"},      // 524032 pixels
        {"63", "1080", "64", "1080"},     {"0", "1080", "64", "1080"}, {"", "1080", "64", "1080"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const ledset::Sides s = ledset::fitSides(QString::fromLatin1(c.typed), QString::fromLatin1(c.other));
        EXPECT_EQ(s.edited, QLatin1String(c.edited));
        EXPECT_EQ(s.other, QLatin1String(c.otherAfter));
    }
}

TEST_F(SettingsPages, LedApplyWritesTheCanvasAndHandsItOverOnlyToARunningFpga)
{
    enum Fpga { kNone, kStopped, kRunning };
    for (Fpga fpga : {kNone, kStopped, kRunning}) {
        SCOPED_TRACE(fpga);
        if (fpga == kStopped)
            fpga_manage::pInstance();
        if (fpga == kRunning)
            runningFpga();
        KEL_RAM_PARA& b = block();
        b.led_width = 1920;
        b.led_height = 1080;
        b.splice_mode = ram::SPLICE_HV;
        for (IMAGE_PARA& w : b.image)
            w = IMAGE_PARA{ram::kImageShown, 0, 0, 0, ram::kSourceHdmi1, 10, 20, 30, 40, 0, 0, 0, 0, 0};
        store->ram_para_shadow = b;
        g_set_led_para = 0;
        g_set_led_setup = 7;
        x518_manage::apply_flag = 0;

        inside(PAGE_LED_SETTINGS, [&](Page* page) {
            // The width through the keyboard: the height follows the pixel limit.
            typeWhenAsked(QStringLiteral("3840"));
            click(page, Qt::Key_Q);
            EXPECT_EQ(fieldText(page, "lineEdit_ledw"), QStringLiteral("3840"));
            EXPECT_EQ(fieldText(page, "lineEdit_ledh"), QStringLiteral("1024"));

            // The confirmation comes with the chip manager free to take the canvas.
            bool appliedBeforeTip = false;
            QTimer::singleShot(0, [&] {
                appliedBeforeTip = g_tip_flag && x518_manage::apply_flag == 1 && x518_manage::mutex.tryLock();
                if (!appliedBeforeTip)
                    return g_tip->hide();  // the tick would wait for the mutex
                x518_manage::mutex.unlock();
                tick(TIP::kShowTicks);
            });
            focusOn(page, 2);
            click(page, Qt::Key_Q);
            EXPECT_TRUE(appliedBeforeTip);
        });

        EXPECT_EQ(b.led_width, 3840);
        EXPECT_EQ(b.led_height, 1024);
        EXPECT_EQ(b.splice_mode, ram::SPLICE_NONE);
        for (const RECT_PARA& r : {b.out1_rect, b.out2_rect})
            EXPECT_TRUE(r.x == 0 && r.y == 0 && r.w == 3840 && r.h == 1024);
        const IMAGE_PARA& first = b.image[0];
        EXPECT_TRUE(first.x == 0 && first.y == 0 && first.w == 3840 && first.h == 1024);
        EXPECT_TRUE(first.enable == ram::kImageShown && first.source == ram::kSourceHdmi1);
        for (int i = 1; i < ram::kShownImages; ++i)
            EXPECT_EQ(b.image[i].enable, 0);
        EXPECT_EQ(b.image[6].enable, ram::kImageShown);
        EXPECT_EQ(x518_manage::apply_flag.load(), 1);
        EXPECT_EQ(g_set_led_para.load(), fpga == kRunning ? 1 : 0);
        EXPECT_EQ(g_set_led_setup.load(), fpga == kRunning ? 0 : 7);
        flushDeletes();
    }
}

TEST_F(SettingsPages, LedApplyOfTheSameCanvasOnlyUndoesTheSplit)
{
    KEL_RAM_PARA& b = block();
    b.led_width = 1920;
    b.led_height = 1080;
    b.splice_mode = ram::SPLICE_V;
    b.out2_rect = RECT_PARA{960, 0, 960, 1080};
    b.image[1].enable = ram::kImageShown;
    b.image[0].w = 100;
    store->ram_para_shadow = b;
    inside(PAGE_LED_SETTINGS, [&](Page* page) {
        focusOn(page, 2);
        click(page, Qt::Key_Q);  // a tip would hold the page here
        EXPECT_EQ(g_tip_flag.load(), 0);
    });
    EXPECT_EQ(b.splice_mode, ram::SPLICE_NONE);
    EXPECT_TRUE(b.out2_rect.x == 0 && b.out2_rect.w == 1920 && b.out2_rect.h == 1080);
    EXPECT_EQ(b.image[1].enable, ram::kImageShown);
    EXPECT_EQ(b.image[0].w, 100);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
}

TEST_F(SettingsPages, QualityStepsWriteWholeClampedValuesWhileTheChipKeepsUp)
{
    KEL_RAM_PARA& b = block();
    b.brightness = 0x0132;  // a link wrote 306
    b.contrast = 7;
    b.color_temp_r = 3;
    inside(PAGE_QUALITY, [&](Page* page) {
        EXPECT_EQ(fieldText(page, "lineEdit_bright"), QStringLiteral("306"));
        click(page, Qt::Key_Q);  // edit brightness
        click(page, Qt::Key_S);
        EXPECT_EQ(b.brightness, 100);  // clamped, high byte included
        EXPECT_EQ(x518_manage::apply_flag.load(), 1);
        click(page, Qt::Key_S);  // the chip has not taken the last step: dropped
        EXPECT_EQ(b.brightness, 100);
        x518_manage::apply_flag = 0;
        click(page, Qt::Key_S);
        EXPECT_EQ(b.brightness, 99);
        x518_manage::apply_flag = 0;
        click(page, Qt::Key_O);  // BACK puts back what OK began with, held to 100
        EXPECT_EQ(b.brightness, 100);
        EXPECT_EQ(fieldText(page, "lineEdit_bright"), QStringLiteral("100"));
        EXPECT_EQ(Page::withFocus(), page);

        // Contrast (the third row) at 0 stays 0 and is written again.
        x518_manage::apply_flag = 0;
        b.contrast = 0;
        page->syncUpdate(SYNC_PARA_CHANGED);
        click(page, Qt::Key_R);
        click(page, Qt::Key_R);
        click(page, Qt::Key_Q);
        click(page, Qt::Key_S);
        EXPECT_EQ(b.contrast, 0);
        EXPECT_EQ(x518_manage::apply_flag.load(), 1);
        click(page, Qt::Key_Q);

        // Reset: every picture value back to its default, applied, shown.
        x518_manage::apply_flag = 1;  // the reset does not wait for the chip
        focusOn(page, 4);
        click(page, Qt::Key_Q);
    });
    const KEL_RAM_PARA& d = ram::defaultBlock();
    EXPECT_EQ(std::memcmp(&b.brightness, &d.brightness,
                          offsetof(KEL_RAM_PARA, reserved_2192) - offsetof(KEL_RAM_PARA, brightness)),
              0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
}

TEST_F(SettingsPages, TemperatureTypeIsTriedOnTheListAndWrittenByOk)
{
    KEL_RAM_PARA& b = block();
    b.color_temp_mode = 3;
    b.color_temp_g = 0x0140;
    inside(PAGE_COLOUR_TEMPERATURE, [&](Page* page) {
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);  // cool wraps to custom on the list only
        EXPECT_EQ(page->findChild<QComboBox*>()->currentIndex(), 0);
        EXPECT_EQ(b.color_temp_mode, 3);
        click(page, Qt::Key_Q);
        EXPECT_EQ(b.color_temp_mode, 0);
        EXPECT_EQ(x518_manage::apply_flag.load(), 1);

        click(page, Qt::Key_Q);  // BACK writes nothing: the list shows the block's type again
        click(page, Qt::Key_S);
        b.color_temp_mode = 2;  // meanwhile a link
        click(page, Qt::Key_O);
        EXPECT_EQ(b.color_temp_mode, 2);
        EXPECT_EQ(page->findChild<QComboBox*>()->currentIndex(), 2);

        x518_manage::apply_flag = 0;
        click(page, Qt::Key_R);
        click(page, Qt::Key_R);  // green
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);
        EXPECT_EQ(b.color_temp_g, 100);
    });
}

TEST_F(SettingsPages, NetworkApplyTakesOnlyWholeOctetsAndOnlyChanges)
{
    ConfigEngine::pInstance();
    Utils::getIPAddress();
    const std::string settings = readBoxFile(ConfigEngine::kSettingsFile);
    const struct {
        const char* field;
        const char* text;
        int refusedAt;  // the field the highlight moves to; -1: taken
    } cases[] = {
        {"lineEditIp4", "199", -1},  // unchanged: nothing to do
        {"lineEditIp4", "256", 3},   {"lineEditGate2", "", 9},  {"lineEditMask4", "00", 7},
        {"lineEditGate3", "07", 10}, {"lineEditIp4", "50", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        platform::sim::clearShellJournal();
        QString tip;
        inside(PAGE_NETWORK_ADDRESS, [&](Page* page) {
            setField(page, c.field, QString::fromLatin1(c.text));
            click(page, Qt::Key_S);
            click(page, Qt::Key_S);  // Apply
            // A refusal is told on the LCD, the field that holds no octet
            // highlighted under the tip.
            QTimer::singleShot(0, [&] {
                const auto labels = g_tip->findChildren<QLabel*>();
                tip = g_tip->isVisible() && !labels.isEmpty() ? labels.last()->text() : QString();
                tick(TIP::kShowTicks);
            });
            click(page, Qt::Key_Q);
            EXPECT_EQ(page->selected(), c.refusedAt < 0 ? linkwlan::kFields : c.refusedAt);
        });
        EXPECT_EQ(tip.startsWith(QStringLiteral("Nothing applied!")), c.refusedAt >= 0) << tip.toStdString();
        const bool applied = std::string(c.text) == "50";
        EXPECT_EQ(readBoxFile(ConfigEngine::kSettingsFile) == settings, !applied);
        EXPECT_EQ(journalWith("sync").size(), applied ? 1u : 0u);
        EXPECT_EQ(journalWith("ifconfig eth0 1"),
                  applied ? std::vector<std::string>{"ifconfig eth0 192.168.1.50 netmask 255.255.255.0"}
                          : std::vector<std::string>{});
    }
    EXPECT_EQ(settingsRead(g_str_ip), QStringLiteral("192.168.1.50"));
}

// An address the settings file does not take: the page says so, eth0
// keeps the address the file holds, and the fields show it from the tip on.
TEST_F(SettingsPages, NetworkApplyTheDiskRefusesShowsTheTipAndKeepsTheAddress)
{
    ConfigEngine::pInstance();
    Utils::getIPAddress();
    const std::string settings = readBoxFile(ConfigEngine::kSettingsFile);
    platform::sim::setDiskFault(platform::sim::DiskFault::kReadOnly);
    platform::sim::clearShellJournal();
    QString tip;
    QString fieldUnderTip;
    inside(PAGE_NETWORK_ADDRESS, [&](Page* page) {
        setField(page, "lineEditIp4", QStringLiteral("60"));
        setField(page, "lineEditMask4", QStringLiteral("128"));
        click(page, Qt::Key_S);
        click(page, Qt::Key_S);  // Apply
        QTimer::singleShot(0, [&] {
            const auto labels = g_tip->findChildren<QLabel*>();
            tip = g_tip->isVisible() && !labels.isEmpty() ? labels.last()->text() : QString();
            fieldUnderTip = fieldText(page, "lineEditIp4");
            tick(TIP::kShowTicks);
        });
        click(page, Qt::Key_Q);
        EXPECT_EQ(fieldText(page, "lineEditIp4"), QStringLiteral("199"));
        EXPECT_EQ(fieldText(page, "lineEditMask4"), QStringLiteral("0"));
        EXPECT_EQ(page->selected(), linkwlan::kFields);  // still on Apply
    });
    EXPECT_TRUE(tip.startsWith(QStringLiteral("Save failed!"))) << tip.toStdString();
    EXPECT_EQ(fieldUnderTip, QStringLiteral("199"));
    EXPECT_EQ(readBoxFile(ConfigEngine::kSettingsFile), settings);
    EXPECT_EQ(settingsRead(g_str_ip), QStringLiteral("192.168.1.199"));
    EXPECT_TRUE(journalWith("ifconfig eth0 1").empty());
}

// A PC sets the address while the page is open: the page shows it, and an
// Apply that changed nothing, or changed the gateway alone, leaves it.
TEST_F(SettingsPages, NetworkPageFollowsAPcsAddressAndAppliesOnlyTheRowsTyped)
{
    ConfigEngine::pInstance();
    Utils::getIPAddress();
    notifierConnected();
    for (bool typed : {false, true}) {
        SCOPED_TRACE(typed ? "gateway typed" : "nothing typed");
        const u8 last = typed ? 201 : 200;
        inside(PAGE_NETWORK_ADDRESS, [&](Page* page) {
            ASSERT_EQ(pcSetsAddress({192, 168, 1, last, 255, 255, 255, 0, 192, 168, 1, 1}), message_deal::ST_DONE);
            EXPECT_EQ(fieldText(page, "lineEditIp4"), QString::number(last));
            if (typed) {
                focusOn(page, linkwlan::kFields - 1);  // the gateway's last octet
                typeWhenAsked(QStringLiteral("254"));
                click(page, Qt::Key_Q);
            }
            const std::string settings = readBoxFile(ConfigEngine::kSettingsFile);
            platform::sim::clearShellJournal();
            focusOn(page, linkwlan::kFields);  // Apply
            click(page, Qt::Key_Q);
            EXPECT_EQ(readBoxFile(ConfigEngine::kSettingsFile) != settings, typed);
            EXPECT_EQ(journalWith("sync").size(), typed ? 1u : 0u);
            EXPECT_EQ(fieldText(page, "lineEditIp4"), QString::number(last));
        });
        EXPECT_EQ(settingsRead(g_str_ip), QStringLiteral("192.168.1.%1").arg(last));
        EXPECT_EQ(settingsRead(g_str_gateway), typed ? QStringLiteral("192.168.1.254") : QStringLiteral("192.168.1.1"));
    }
}

TEST_F(SettingsPages, PortViewScrollsOverSixPortsAndReadsOddPlacedAreas)
{
    fpga_manage* m = runningFpga();
    for (int port = 0; port < netset::kPorts; ++port) {
        unsigned short x, y, w, h;
        fpga_manage::get_eth_param_addr(static_cast<unsigned char>(port), &x, &y, &w, &h);
        for (unsigned short at : {x, y, w, h})
            ram::storeU16(m->MCU_RAM_PARA_func[0] + at, static_cast<u16>(0x0100 * (port + 1) + at));
    }
    inside(PAGE_SENDING_PORTS, [&](Page* page) {
        auto* view = static_cast<netset*>(page);
        auto area = [page] {
            return QStringList{fieldText(page, "x_lineEdit"), fieldText(page, "y_lineEdit"),
                               fieldText(page, "w_lineEdit"), fieldText(page, "h_lineEdit")};
        };
        EXPECT_EQ(area(), (QStringList{"264", "266", "268", "270"}));
        EXPECT_TRUE(shows(page->findChild<QLabel*>("L2label"), "online_up.png"));
        EXPECT_TRUE(shows(page->findChild<QLabel*>("L3label"), "offline_up.png"));
        click(page, Qt::Key_R);  // port 1 starts at offset 19
        EXPECT_EQ(area(), (QStringList{"531", "533", "535", "537"}));
        for (int i = 0; i < 3; ++i)
            click(page, Qt::Key_R);
        EXPECT_EQ(view->selectedPort(), 4);
        EXPECT_EQ(view->firstShownPort(), 1);
        EXPECT_EQ(labelText(page, "LED1label"), QStringLiteral("LED2"));
        EXPECT_EQ(labelText(page, "LED4label"), QStringLiteral("LED5"));
        for (int i = 0; i < 3; ++i)
            click(page, Qt::Key_R);
        EXPECT_EQ(view->selectedPort(), 5);
        for (int i = 0; i < 8; ++i)
            click(page, Qt::Key_S);
        EXPECT_EQ(view->selectedPort(), 0);
        EXPECT_EQ(view->firstShownPort(), 0);
    });
}

// Port 0's area as a PC wrote it into FPGA 0's memory: shown at once, and
// after the box starts again (a power cut: the box writes it in again).
TEST_F(SettingsPages, PortViewShowsTheAreaAPcWroteAtOnceAndAfterARestart)
{
    const std::vector<u8> area = {0x80, 0x00, 0x40, 0x00, 0x00, 0x06, 0x80, 0x03};
    ASSERT_EQ(pcMemoryWrite(runningFpga(), 0, 8, area), fpga_manage::kMemoryHeld);
    auto shown = [] {
        QStringList values;
        inside(PAGE_SENDING_PORTS, [&values](Page* page) {
            for (const char* field : {"x_lineEdit", "y_lineEdit", "w_lineEdit", "h_lineEdit"})
                values << fieldText(page, field);
        });
        return values;
    };
    const QStringList written = {"128", "64", "1536", "896"};
    EXPECT_EQ(shown(), written);
    delete fpga_manage::p_fpga_manage;
    platform::sim::fpgaBoard()->setRam(0, 0, std::vector<uint8_t>(fpga::kRamSize, 0));
    runningFpga();
    EXPECT_EQ(shown(), written);
}

// FPGA 0 held in reset (a torn program, or one that never came up): the
// view shows the area the box keeps for it and says it does not run, until
// FPGA 0 runs.
TEST_F(SettingsPages, PortViewShowsTheKeptAreaWhileFpgaZeroDoesNotRun)
{
    std::vector<u8> memory(fpga::kRamSize, 0);
    ram::storeU16(memory.data() + fpga::portAreaOffset(0) + 4, 1536);  // port 0's width
    writeBoxFile(ControllerMemory::kFiles[0], ControllerMemory::format(memory.data()));
    auto board = platform::sim::fpgaBoard();
    board->holdInReset(0, true);
    fpgaManagerOutOfReset()->fpga_manage_deal();
    inside(PAGE_SENDING_PORTS, [&](Page* page) {
        EXPECT_EQ(fieldText(page, "w_lineEdit"), QStringLiteral("1536"));
        const QLabel* line = page->findChild<QLabel*>(QStringLiteral("fpga_state"));
        ASSERT_TRUE(line);
        EXPECT_TRUE(line->isVisible() && line->text().startsWith(QStringLiteral("FPGA 1 not running")));
        board->holdInReset(0, false);
        ASSERT_TRUE(fpgaZeroBroughtUp());
        page->syncUpdate(SYNC_PARA_CHANGED);
        EXPECT_EQ(fieldText(page, "w_lineEdit"), QStringLiteral("1536"));
        EXPECT_FALSE(line->isVisible());
    });
}

// With the view open: a PC's write of port 0's area shows at once; FPGA 0
// stopping shows every port without a link and the area the box keeps,
// which a PC's write while FPGA 0 is down changes too.
TEST_F(SettingsPages, PortViewFollowsAPcsWritesAndFpgaZeroStopping)
{
    fpga_manage* m = runningFpga();
    notifierConnected();
    auto area = [](u16 w) { return std::vector<u8>{0x80, 0x00, 0x40, 0x00, u8(w & 0xFF), u8(w >> 8), 0x80, 0x03}; };
    inside(PAGE_SENDING_PORTS, [&](Page* page) {
        const QLabel* line = page->findChild<QLabel*>(QStringLiteral("fpga_state"));
        EXPECT_TRUE(shows(page->findChild<QLabel*>("L1label"), "online_up.png"));
        ASSERT_EQ(pcMemoryWrite(m, 0, 8, area(1536)), fpga_manage::kMemoryHeld);
        EXPECT_EQ(fieldText(page, "w_lineEdit"), QStringLiteral("1536"));

        platform::sim::fpgaBoard()->holdInReset(0, true);
        m->fpga_manage_deal();  // the manager's next look
        EXPECT_TRUE(line->isVisible());
        for (const char* link : {"L1label", "L2label", "L3label", "L4label"})
            EXPECT_TRUE(shows(page->findChild<QLabel*>(link), "offline_up.png")) << link;
        ASSERT_EQ(pcMemoryWrite(m, 0, 8, area(1024)), fpga_manage::kMemoryNotHeld);
        EXPECT_EQ(fieldText(page, "w_lineEdit"), QStringLiteral("1024"));

        platform::sim::fpgaBoard()->holdInReset(0, false);
        ASSERT_TRUE(fpgaZeroBroughtUp());
        EXPECT_FALSE(line->isVisible());
        EXPECT_EQ(fieldText(page, "w_lineEdit"), QStringLiteral("1024"));
        EXPECT_TRUE(shows(page->findChild<QLabel*>("L1label"), "online_up.png"));
    });
}

TEST_F(SettingsPages, DeviceInformationShowsSerialVersionsInputsAndLinks)
{
    EXPECT_EQ(MachineState::serialLine(QStringLiteral(" ")), QStringLiteral("SN:ZT9999"));
    EXPECT_EQ(MachineState::serialLine(QString()), QStringLiteral("SN:"));
    EXPECT_EQ(MachineState::serialLine(QStringLiteral("KL2024")), QStringLiteral("SN:KL2024"));
    EXPECT_EQ(MachineState::programVersionLine(), QStringLiteral("MCU:V11.02.00 2025-02-26"));
    EXPECT_EQ(MachineState::fpgaVersionLine(), QStringLiteral("FPGA:-"));  // no manager: no FPGA runs

    fpga_manage* m = runningFpga();
    const u8 version[] = {0x05, 0x08, 0x11, 0x24};
    std::copy(version, version + 4, m->MCU_REG_func[0] + fpga::reg::kVersion);
    block().source_status[ram::kSourceHdmi2] = SOURCE_STATUS{1920, 1080, 60};
    block().source_status[ram::kSourceDvi] = SOURCE_STATUS{1920, 1080, 0};
    inside(PAGE_DEVICE_INFO, [&](Page* page) {
        EXPECT_EQ(labelText(page, "label_FPGA1"), QStringLiteral("FPGA:V11.00.05 2024-11-08"));
        EXPECT_TRUE(shows(page->findChild<QLabel*>("sourceid2pixmap"), "HDMI13_lv.png"));
        EXPECT_TRUE(shows(page->findChild<QLabel*>("sourceid4pixmap"), "DVI.png"));
        auto online = [page] {
            int n = 0;
            for (QLabel* l : page->findChild<QFrame*>("frame_ports")->findChildren<QLabel*>())
                n += shows(l, "online.png");
            return n;
        };
        EXPECT_EQ(online(), 2);
        platform::sim::fpgaBoard()->connectPort(2, 1);
        page->syncUpdate(SYNC_INPUT_TIMING);  // inputs only
        EXPECT_EQ(online(), 2);
        page->syncUpdate(SYNC_LINK_STATE);
        EXPECT_EQ(online(), 3);
    });
}

TEST_F(SettingsPages, NamedValueStepsActOnTheFocusedValueRowOnly)
{
    KEL_RAM_PARA& b = block();
    b.sharpness = 40;
    inside(PAGE_QUALITY, [&](Page* page) {
        auto* q = static_cast<quality*>(page);
        focusOn(page, 1);                                           // sharpness
        setField(page, "lineEdit_Sharpness", QStringLiteral("x"));  // no number: the edit starts at 0
        q->get_sel_value();
        q->updownset_sel_value(PictureValuesPage::kDown);
        EXPECT_EQ(b.sharpness, 0);
        x518_manage::apply_flag = 0;
        q->updownset_sel_value(PictureValuesPage::kUp);
        q->updownset_sel_value(PictureValuesPage::kKeep);  // dropped: the chip has the step still
        x518_manage::apply_flag = 0;
        q->updownset_sel_value(PictureValuesPage::kRestore);
        EXPECT_EQ(b.sharpness, 0);  // the start value: nothing was kept
        EXPECT_EQ(fieldText(page, "lineEdit_Sharpness"), QStringLiteral("0"));

        x518_manage::apply_flag = 0;
        focusOn(page, 4);  // the reset row is no value
        q->get_sel_value();
        q->updownset_sel_value(PictureValuesPage::kUp);
        EXPECT_EQ(x518_manage::apply_flag.load(), 0);
    });
    b.color_temp_mode = 1;
    b.color_temp_b = 64;
    inside(PAGE_COLOUR_TEMPERATURE, [&](Page* page) {
        auto* t = static_cast<temperature*>(page);
        t->updownset_sel_value(PictureValuesPage::kUp);  // the type row
        EXPECT_EQ(b.color_temp_mode, 1);
        EXPECT_EQ(x518_manage::apply_flag.load(), 0);
        focusOn(page, 3);  // blue
        t->get_sel_value();
        t->updownset_sel_value(PictureValuesPage::kUp);
        EXPECT_EQ(b.color_temp_b, 65);
        EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    });
}

TEST_F(SettingsPages, DeviceInformationVersionsAreReadWhenAskedAndItsBackButtonClosesIt)
{
    fpga_manage* m = runningFpga();
    inside(PAGE_DEVICE_INFO, [&](Page* page) {
        auto* info = static_cast<MachineState*>(page);
        const u8 version[] = {0x07, 0x01, 0x03, 0x25};
        std::copy(version, version + 4, m->MCU_REG_func[0] + fpga::reg::kVersion);
        page->syncUpdate(SYNC_LINK_STATE);
        EXPECT_NE(labelText(page, "label_FPGA1"), QStringLiteral("FPGA:V11.00.07 2025-03-01"));
        info->version_changed();
        EXPECT_EQ(labelText(page, "label_FPGA1"), QStringLiteral("FPGA:V11.00.07 2025-03-01"));
        info->on_Button_back_clicked();
        EXPECT_EQ(g_machinestate, nullptr);
        EXPECT_EQ(g_page_focus.load(), PAGE_MAIN_MENU);
    });
}

// Grey inputs and ports alone cannot tell a chip that does not answer from
// nothing plugged: a line says it, until the chip runs again.
TEST_F(SettingsPages, DeviceInformationSaysInWordsThatTheVideoChipDoesNotAnswer)
{
    ChipNotRunning chip;
    inside(PAGE_DEVICE_INFO, [&](Page* page) {
        auto* info = static_cast<MachineState*>(page);
        EXPECT_FALSE(info->chipStateLine()->isHidden());
        EXPECT_EQ(info->chipStateLine()->text(), QStringLiteral("Video chip not answering!"));
        g_language = pages::VN;
        info->language_changed();
        EXPECT_EQ(info->chipStateLine()->text(), QStringLiteral("Chip video không phản hồi!"));
        chip.run();
        page->syncUpdate(SYNC_CHIP_STATE);
        EXPECT_TRUE(info->chipStateLine()->isHidden());
    });
}

// FPGA 0 held in reset (its program incomplete) or not running has no
// version to show: a line says so, as for the video chip, until it runs.
TEST_F(SettingsPages, DeviceInformationShowsNoVersionOfAnFpgaThatDoesNotRun)
{
    fpga_manage* m = fpgaManagerOutOfReset();
    m->incomplete_fpgas = 0x01;
    m->holdFpgaReset(0);
    const struct {
        bool held;
        const char* line;
    } cases[] = {{true, "FPGA 1 held in reset: program incomplete!"}, {false, "FPGA 1 not running!"}};
    for (const auto& c : cases) {
        m->incomplete_fpgas = c.held ? 0x01 : 0;
        inside(PAGE_DEVICE_INFO, [&](Page* page) {
            auto* info = static_cast<MachineState*>(page);
            EXPECT_EQ(labelText(page, "label_FPGA1"), QStringLiteral("FPGA:-"));
            EXPECT_FALSE(info->fpgaStateLine()->isHidden());
            EXPECT_EQ(info->fpgaStateLine()->text(), QLatin1String(c.line));
        });
    }
    *m->gpio_rst_fpga0 = fpga::kRstRun;
    inside(PAGE_DEVICE_INFO, [&](Page* page) {
        auto* info = static_cast<MachineState*>(page);
        G_timeTicks = 1000;
        ASSERT_TRUE(fpgaZeroBroughtUp());
        page->syncUpdate(SYNC_PARA_CHANGED);
        EXPECT_TRUE(info->fpgaStateLine()->isHidden());
        EXPECT_TRUE(labelText(page, "label_FPGA1").startsWith(QStringLiteral("FPGA:V11.00.")));
    });
}

TEST_F(SettingsPages, DeviceInformationSaysSoWhileTheSettingsCannotBeSaved)
{
    inside(PAGE_DEVICE_INFO, [&](Page* page) {
        auto* info = static_cast<MachineState*>(page);
        EXPECT_TRUE(info->chipStateLine()->isHidden());  // no chip manager: nothing to tell
        EXPECT_TRUE(info->saveStateLine()->isHidden());
        platform::sim::setDiskFault(platform::sim::DiskFault::kReadOnly);
        block().brightness = 12;
        SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
        EXPECT_FALSE(info->saveStateLine()->isHidden());
        EXPECT_EQ(info->saveStateLine()->text(), QStringLiteral("Settings cannot be saved!"));
        EXPECT_EQ(KelRamPara::p_kelrampara_config->reg_image.save_state, ram::kSaveParaFileFails);
        platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
        EXPECT_TRUE(waitUntil([&] { return info->saveStateLine()->isHidden(); }));
        EXPECT_EQ(paraFileField(2176), 12);
    });
}
