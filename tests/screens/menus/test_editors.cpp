// What the editing pages write while a PC writes the fields they edit: the
// picture values, the colour-temperature type, an EDID record, a crop's
// rectangle, the network address and mask, every row of the other
// settings, the LED canvas, the LCD language, the input choice, the test
// pattern, the sending-port view, the main window's lock, LED and audio
// buttons and the user-mode page, each through an OK (Apply, confirm) that
// changed nothing, which writes nothing, an OK that changed another field,
// a cancel, which writes nothing of its own (the test pattern's ends a PC's
// pattern), and an operator's change of a field to what a PC writes there,
// which then writes nothing.
#include "app/config_engine.h"
#include "app/utils.h"
#include "fpga/fpga_manage.h"
#include "links/message_deal.h"
#include "screens/setup/custommode.h"
#include "screens/setup/inputchoose.h"
#include "screens/menus/fpga_view.h"
#include "screens/menus/ledset.h"
#include "screens/menus/linkwlan.h"
#include "screens/menus/quality.h"
#include "screens/menus/temperature.h"
#include "screens/setup/edidset.h"
#include "screens/setup/inputcut.h"
#include "screens/system/othersetup.h"
#include "tests/app/test_mainwindow_fixture.h"
#include "tests/screens/menus/pc_requests.h"
#include "tests/fpga/fpga_test.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <cstring>

namespace {

QString text(const Page* page, const char* name)
{
    const QWidget* w = page->findChild<QWidget*>(QLatin1String(name));
    if (const auto* field = qobject_cast<const QLineEdit*>(w))
        return field->text();
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    const auto* box = qobject_cast<const QComboBox*>(w);
    return box ? QString::number(box->currentIndex()) : QString();
}

u16 cropKey(u8 source, int number)
{
    return static_cast<u16>(ram::kCropInUse | (number - 1) << ram::kCropNumberShift | source);
}

// A PC sets the box's address, mask and gateway over UDP, which the box takes.
void pcSetsAddressDone(std::vector<u8> octets)
{
    EXPECT_EQ(pcSetsAddress(std::move(octets)), message_deal::ST_DONE);
}

// Port 0's area in FPGA 0's memory, `w` wide.
std::vector<u8> portArea(u16 w)
{
    return {0x80, 0x00, 0x40, 0x00, u8(w & 0xFF), u8(w >> 8), 0x80, 0x03};
}

}  // namespace

class Editors : public PageTest {
protected:
    // One editing page: the edit the operator opens (on the field the PC
    // writes, or on `other` field), the operator's change of that other
    // field, the PC's write, and where each shows.
    // A PC's write as a link makes it.
    using PcWrite = std::function<void()>;
    struct Editor {
        const char* name;
        PAGE_FOCUS page;
        std::function<void(KEL_RAM_PARA&)> start;
        std::function<void(Page*, bool other)> edit;
        std::function<void(Page*)> change;
        PcWrite pc;
        std::function<bool(const KEL_RAM_PARA&)> pcHeld;
        std::function<bool(const KEL_RAM_PARA&)> changeHeld;
        const char* pcField;  // the widget that shows the PC's field during the edit
        QString pcShown;
        std::function<void(Page*)> ok;
        // The page shows the PC's value once the edit ended (nothing: the
        // page shows no such field then).
        std::function<bool(Page*)> showsPcAfter = {};
        // The OK that changed nothing writes all the same what the page is
        // for (the LED canvas's Apply ends an output split).
        bool okWrites = false;
        // The page edits one field: no case of another field changed.
        bool oneField = false;
        // A PC's write of the field `change` changes, to the operator's
        // value, with what goes with it (empty: no such case).
        PcWrite pcSame = {};
        // What BACK writes of its own (empty: nothing).
        std::function<bool(const KEL_RAM_PARA&)> backWrites = {};
        // How the page opens and closes around `body` (empty: as its menu
        // opens it, closed by BACK), and the cancel (empty: BACK).
        std::function<void(const std::function<void()>& body)> open = {};
        std::function<void()> back = {};
        // The cases the page has (empty: every one).
        std::vector<int> cases = {};
    };
    enum Case { kOkUnchanged, kOkOtherChanged, kCancel, kOkSame };

    // A PC's write of the block as a link makes it.
    PcWrite inBlock(const std::function<void(KEL_RAM_PARA&)>& write)
    {
        return [this, write] {
            QMutexLocker lock(&x518_manage::mutex);
            write(block());
            KelRamPara::raiseApplyLocked();
        };
    }
    // `told`: its change code reaches the page before the operator's next
    // key (what the page shows is looked at only then).
    static void pcWrites(const PcWrite& pc, bool told)
    {
        pc();
        x518_manage::apply_flag = 0;  // the chip took it
        if (told)
            SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    }
    // What the box holds that a page may write: the block, the settings and
    // the shell commands run (the network set up again, the access point).
    std::string boxHolds()
    {
        std::string shell;
        for (const std::string& line : journalWith(""))
            shell += line + '\n';
        return std::string(reinterpret_cast<const char*>(&block()), sizeof(KEL_RAM_PARA)) +
               readBoxFile(ConfigEngine::kSettingsFile) + shell;
    }
    // OK on entry `entry` of the ring, or on `otherEntry`.
    static std::function<void(Page*, bool)> okOnEntry(int entry, int otherEntry)
    {
        return [entry, otherEntry](Page* p, bool other) {
            focusOn(p, other ? otherEntry : entry);
            click(p, Qt::Key_Q);
        };
    }
    static Editor row(const char* name, PAGE_FOCUS page)
    {
        Editor e{name,
                 page,
                 [](KEL_RAM_PARA&) {},
                 [](Page*, bool) {},
                 [](Page*) {},
                 [] {},
                 [](const KEL_RAM_PARA&) { return true; },
                 [](const KEL_RAM_PARA&) { return true; },
                 nullptr,
                 QString(),
                 [](Page*) {}};
        return e;
    }
    // The other settings page over windows 1 and 2 shown, window 1's audio
    // off and the audio window's, every switch off.
    static void otherSettingsStart(KEL_RAM_PARA& b)
    {
        b.seamless = 0;
        b.wifi_off = 0;
        b.dbd_enable = 0;
        b.audio_image = 0;
        for (IMAGE_PARA& image : b.image) {
            image.flags = 0;
            image.enable = 0;
            image.audio = 0;
            image.volume = 0;
        }
        b.image[0].enable = b.image[1].enable = 1;
        b.seamless_para[0] = {30, 30};
    }
    // A PC switches fade on for window 1 with its own steps; dot-by-dot on
    // window 3 alone; window 1's audio on.
    static void pcFade(KEL_RAM_PARA& b)
    {
        b.seamless = 1;
        b.image[0].flags |= ram::kFlagSeamless;
        b.seamless_para[0] = {20, 20};
    }
    static void pcDotByDot(KEL_RAM_PARA& b)
    {
        b.dbd_enable = 1;
        b.image[2].flags |= ram::kFlagDotByDot;
    }
    static void pcAudio(KEL_RAM_PARA& b)
    {
        b.image[0].audio = ram::kAudioOn;
        b.image[0].volume = 200;
    }
    // The main window, its icons drawn from the block, for `body`.
    std::function<void(const std::function<void()>&)> onMainWindow()
    {
        return [this](const std::function<void()>& body) {
            g_page_focus = PAGE_MAIN_MENU;
            main->para_init();
            body();
        };
    }

    void addRows(std::vector<Editor>& editors)
    {
        const auto right = [](Page* p) { click(p, Qt::Key_R); };
        const auto ok = [](Page* p) { click(p, Qt::Key_Q); };
        {
            Editor e = row("other settings, Wi-Fi", PAGE_OTHER_SETTINGS);
            e.start = otherSettingsStart;
            e.edit = okOnEntry(othersetup::kWifiRow, othersetup::kSwitchRow);
            e.change = right;  // Fade
            e.pc = inBlock([](KEL_RAM_PARA& b) { b.wifi_off = 1; });
            e.pcHeld = [](const KEL_RAM_PARA& b) { return b.wifi_off == 1; };
            e.changeHeld = [](const KEL_RAM_PARA& b) { return b.seamless == 1; };
            e.pcField = "wifi_state";
            e.pcShown = "1";
            e.ok = ok;
            e.pcSame = inBlock(pcFade);
            editors.push_back(e);
        }
        {
            Editor e = row("other settings, dot-by-dot", PAGE_OTHER_SETTINGS);
            e.start = otherSettingsStart;
            e.edit = okOnEntry(othersetup::kDotByDotRow, othersetup::kAudioRow);
            e.change = right;  // audio on
            e.pc = inBlock(pcDotByDot);
            e.pcHeld = [](const KEL_RAM_PARA& b) {
                return b.dbd_enable == 1 && b.image[2].flags == ram::kFlagDotByDot;
            };
            e.changeHeld = [](const KEL_RAM_PARA& b) { return b.image[0].audio == ram::kAudioOn; };
            e.pcField = "dbd_state";
            e.pcShown = "1";
            e.ok = ok;
            e.pcSame = inBlock(pcAudio);
            editors.push_back(e);
        }
        {
            Editor e = row("other settings, audio", PAGE_OTHER_SETTINGS);
            e.start = otherSettingsStart;
            e.edit = okOnEntry(othersetup::kAudioRow, othersetup::kDotByDotRow);
            e.change = right;  // dot-by-dot on
            e.pc = inBlock(pcAudio);
            e.pcHeld = [](const KEL_RAM_PARA& b) {
                return b.image[0].audio == ram::kAudioOn && b.image[0].volume == 200;
            };
            e.changeHeld = [](const KEL_RAM_PARA& b) { return b.dbd_enable == 1; };
            e.pcField = "volume_state";
            e.pcShown = "1";
            e.ok = ok;
            e.pcSame = inBlock(pcDotByDot);
            editors.push_back(e);
        }
        {
            // The window alone changes nothing; a PC's audio window shows.
            Editor e = row("other settings, window", PAGE_OTHER_SETTINGS);
            e.start = otherSettingsStart;
            e.edit = okOnEntry(othersetup::kWindowRow, othersetup::kWindowRow);
            e.pc = inBlock([](KEL_RAM_PARA& b) { b.audio_image = 1; });
            e.pcHeld = [](const KEL_RAM_PARA& b) { return b.audio_image == 1; };
            e.pcField = "ImageVolume";
            e.pcShown = "1";
            e.ok = ok;
            e.oneField = true;
            editors.push_back(e);
        }
        {
            Editor e = row("network mask", PAGE_NETWORK_ADDRESS);
            e.start = [](KEL_RAM_PARA&) {
                ConfigEngine::pInstance()->write_config_variants({{ConfigItem::IPAddress, "192.168.1.199"},
                                                                  {ConfigItem::SubNetMask, "255.255.255.0"},
                                                                  {ConfigItem::GateWay, "192.168.1.1"}});
                Utils::initIPAddress();
            };
            e.edit = [](Page* p, bool other) {
                focusOn(p, other ? linkwlan::kFields - 1 : 6);
            };  // the mask's third octet
            e.change = [](Page* p) {
                typeWhenAsked(QStringLiteral("254"));
                click(p, Qt::Key_Q);
            };
            e.pc = [] { pcSetsAddressDone({192, 168, 1, 199, 255, 255, 0, 0, 192, 168, 1, 1}); };
            e.pcHeld = [](const KEL_RAM_PARA&) { return settingsRead(g_srt_mask) == QStringLiteral("255.255.0.0"); };
            e.changeHeld = [](const KEL_RAM_PARA&) {
                return settingsRead(g_str_gateway) == QStringLiteral("192.168.1.254");
            };
            e.pcField = "lineEditMask3";
            e.pcShown = "0";
            e.ok = [](Page* p) {
                focusOn(p, linkwlan::kFields);  // Apply
                click(p, Qt::Key_Q);
            };
            e.showsPcAfter = [](Page* p) { return text(p, "lineEditMask3") == "0"; };
            e.pcSame = [] { pcSetsAddressDone({192, 168, 1, 199, 255, 255, 255, 0, 192, 168, 1, 254}); };
            editors.push_back(e);
        }
        {
            // The window's input: the entry list of HDMI2 for window 1, where
            // a PC puts HDMI2 meanwhile (the user mode in use stays).
            Editor e = row("input choice", PAGE_INPUT_CHOICE);
            e.start = [](KEL_RAM_PARA& b) {
                b.image[0].enable = 1;
                b.image[0].source = ram::kSourceHdmi1;
                b.current_mode = 2;
                g_image_current = 0;
            };
            e.edit = [](Page* p, bool) {
                auto* page = static_cast<InputChoose*>(p);
                click(page, Qt::Key_Q);  // to the inputs
                while (page->listedSource() != ram::kSourceHdmi2)
                    click(page, Qt::Key_R);
                click(page, Qt::Key_Q);  // to its entries: the whole input
            };
            e.pc = inBlock([](KEL_RAM_PARA& b) { b.image[0].source = ram::kSourceHdmi2; });
            e.pcHeld = [](const KEL_RAM_PARA& b) {
                return b.image[0].source == ram::kSourceHdmi2 && b.current_mode == 2;
            };
            e.ok = [this](Page* p) {
                auto* page = static_cast<InputChoose*>(p);
                while (page->focusedEntry() != 0)
                    click(page, Qt::Key_S);
                // The check-mark tip closes after its time.
                QTimer::singleShot(0, [this] { tick(TIP::kShowTicks); });
                click(page, Qt::Key_Q);
                QCoreApplication::processEvents();
            };
            e.showsPcAfter = [](Page* p) { return static_cast<InputChoose*>(p)->entryInUse() == 0; };
            e.oneField = true;
            editors.push_back(e);
        }
        {
            // OK on the pattern a PC put on writes nothing; BACK ends it.
            Editor e = row("test pattern", PAGE_TEST_PATTERNS);
            e.start = [](KEL_RAM_PARA& b) { b.test_pattern = 0; };
            e.edit = [](Page* p, bool) { focusOn(p, 2); };  // the third pattern
            e.pc = inBlock([](KEL_RAM_PARA& b) { b.test_pattern = 3; });
            e.pcHeld = [](const KEL_RAM_PARA& b) { return b.test_pattern == 3; };
            e.ok = ok;
            e.backWrites = [](const KEL_RAM_PARA& b) { return b.test_pattern == 0; };
            e.oneField = true;
            editors.push_back(e);
        }
        {
            // It only shows: a PC's area, and no key writes.
            Editor e = row("sending-port view", PAGE_SENDING_PORTS);
            e.start = [](KEL_RAM_PARA&) {
                fpga_manage* m = fpgaManagerOutOfReset();
                EXPECT_TRUE(fpgaZeroBroughtUp());
                EXPECT_EQ(pcMemoryWrite(m, 0, 8, portArea(1024)), fpga_manage::kMemoryHeld);
            };
            e.pc = [] {
                EXPECT_EQ(pcMemoryWrite(fpga_manage::p_fpga_manage, 0, 8, portArea(1536)), fpga_manage::kMemoryHeld);
            };
            e.pcHeld = [](const KEL_RAM_PARA&) { return fpgaview::portArea(0).w == 1536; };
            e.pcField = "w_lineEdit";
            e.pcShown = "1536";
            e.ok = [](Page* p) {
                click(p, Qt::Key_Q);
                click(p, Qt::Key_R);
                click(p, Qt::Key_S);
            };
            e.showsPcAfter = [](Page* p) { return text(p, "w_lineEdit") == "1536"; };
            e.oneField = true;
            editors.push_back(e);
        }
        // The main window's LED, audio and lock buttons: a PC's write stays
        // through a touch of another, and a touch that asks for what a PC
        // wrote, not yet shown, writes nothing.
        const auto toolBarStart = [](KEL_RAM_PARA& b) {
            b.led_off = 0;
            b.panel_lock = 0;
            b.audio_image = 0;
            b.image[0].enable = 1;
            b.image[0].audio = 0;
            b.image[0].volume = 0;
        };
        const auto ledOff = [](const KEL_RAM_PARA& b) { return b.led_off == 1; };
        const auto audioOn = [](const KEL_RAM_PARA& b) { return b.image[0].audio == ram::kAudioOn; };
        const auto locked = [](const KEL_RAM_PARA& b) { return b.panel_lock != 0; };
        const struct {
            const char* name;
            std::function<void(KEL_RAM_PARA&)> pc;
            std::function<bool(const KEL_RAM_PARA&)> pcHeld;
            std::function<void()> touch;  // another button
            std::function<void(KEL_RAM_PARA&)> pcSame;
            std::function<bool(const KEL_RAM_PARA&)> touchHeld;
        } buttons[] = {
            {"tool bar, LED off", [](KEL_RAM_PARA& b) { b.led_off = 1; }, ledOff,
             [this] { main->on_toolButton2_clicked(); }, pcAudio, audioOn},
            {"tool bar, audio", pcAudio, audioOn, [this] { main->on_Button_lock_clicked(); },
             [](KEL_RAM_PARA& b) { b.panel_lock = 2; }, locked},
            {"tool bar, lock", [](KEL_RAM_PARA& b) { b.panel_lock = 1; }, locked,
             [this] { main->on_toolButton1_clicked(); }, [](KEL_RAM_PARA& b) { b.led_off = 1; }, ledOff},
        };
        for (const auto& button : buttons) {
            Editor e = row(button.name, PAGE_MAIN_MENU);
            e.start = toolBarStart;
            e.change = [touch = button.touch](Page*) { touch(); };
            e.pc = inBlock(button.pc);
            e.pcHeld = button.pcHeld;
            e.changeHeld = button.touchHeld;
            e.pcSame = inBlock(button.pcSame);
            e.open = onMainWindow();
            e.cases = {kOkOtherChanged, kOkSame};
            editors.push_back(e);
        }
        {
            // The user-mode page over mode 1 saved: its keys write nothing but
            // Invoke, which leaves a PC's write outside the mode, and which
            // writes nothing of a mode a PC called up already.
            Editor e = row("user modes", PAGE_USER_MODES);
            e.start = [this](KEL_RAM_PARA& b) {
                b.wifi_off = 0;
                b.current_mode = 0;
                USER_MODE_SLOT& slot = store->ram_user_mode[0];
                std::memset(slot.marker, ram::kSlotSaved, sizeof slot.marker);
                std::memcpy(slot.data, reinterpret_cast<u8*>(&b) + ram::kUserModeStart, sizeof slot.data);
                slot.data[offsetof(KEL_RAM_PARA, brightness) - ram::kUserModeStart] = 77;
            };
            e.open = [this](const std::function<void()>& body) {
                main->show();
                main->on_custommode_clicked();
                ASSERT_TRUE(g_custommode);
                while (g_custommode->selectedSlot() != 0)
                    click(g_custommode, Qt::Key_R);
                body();
                if (g_custommode)
                    click(g_custommode, Qt::Key_O);
                EXPECT_FALSE(g_custommode);
            };
            e.change = [](Page*) {
                click(g_custommode, Qt::Key_Q);
                click(g_custommode, Qt::Key_Q);  // Invoke
            };
            e.pc = inBlock([](KEL_RAM_PARA& b) { b.wifi_off = 1; });
            e.pcHeld = [](const KEL_RAM_PARA& b) { return b.wifi_off == 1; };
            e.changeHeld = [](const KEL_RAM_PARA& b) { return b.current_mode == 1 && b.brightness == 77; };
            e.ok = [](Page*) {
                click(g_custommode, Qt::Key_Q);  // the buttons
                click(g_custommode, Qt::Key_O);  // and back to the selector
            };
            e.back = [] { click(g_custommode, Qt::Key_O); };
            e.pcSame = inBlock([this](KEL_RAM_PARA& b) {
                std::memcpy(reinterpret_cast<u8*>(&b) + ram::kUserModeStart, store->ram_user_mode[0].data,
                            ram::kUserModeSize);
                b.current_mode = 1;
            });
            editors.push_back(e);
        }
    }

    // One case of one page: the edit, the PC's write and the operator's end.
    void runCase(const Editor& e, Case c, bool told)
    {
        Page* page = Page::withFocus();
        e.edit(page, c == kOkOtherChanged || c == kOkSame);
        std::string held;
        if (c == kOkSame) {
            // The operator's change before the PC's write of the same, told,
            // or after it, which the page has not shown yet.
            if (told)
                e.change(page);
            pcWrites(e.pcSame, told);
            held = boxHolds();
            if (!told)
                e.change(page);
        } else {
            pcWrites(e.pc, told);
            if (told && e.pcField) {
                EXPECT_EQ(text(page, e.pcField), e.pcShown);
            }
            if (c == kOkOtherChanged)
                e.change(page);
            held = boxHolds();
            x518_manage::apply_flag = 0;
        }
        if (c != kCancel)
            e.ok(page);
        else if (e.back)
            e.back();
        else
            click(page, Qt::Key_O);
        if (c == kCancel && e.backWrites) {
            EXPECT_TRUE(e.backWrites(block()));
            return;
        }
        if (c != kOkSame) {
            EXPECT_TRUE(e.pcHeld(block()));
        }
        if ((c == kOkUnchanged || c == kOkSame) && !e.okWrites) {
            EXPECT_TRUE(boxHolds() == held) << "an OK of what the box holds wrote";
            EXPECT_EQ(x518_manage::apply_flag.load(), 0);
        }
        if (c == kCancel) {
            EXPECT_TRUE(boxHolds() == held) << "a cancel wrote";
        }
        if (c == kOkOtherChanged || c == kOkSame) {
            EXPECT_TRUE(e.changeHeld(block()));
        }
        if (told && e.showsPcAfter && c != kOkSame) {
            EXPECT_TRUE(e.showsPcAfter(page));
        }
    }
    static void setAddress(const char* address, const char* gateway)
    {
        ConfigEngine::pInstance()->write_config_variants({{ConfigItem::IPAddress, QString::fromLatin1(address)},
                                                          {ConfigItem::GateWay, QString::fromLatin1(gateway)}});
        Utils::initIPAddress();  // as a PC's 0x03 does
    }
    // The tip an Apply shows closes at once.
    static void tipClosed()
    {
        QTimer::singleShot(0, [] {
            if (g_tip && g_tip->isVisible())
                g_tip->hide();
        });
    }
};

TEST_F(Editors, APcsWriteDuringAnEditStaysWhateverTheOperatorEndsItWith)
{
    auto okOnCropEditor = [](Page* p, int position) {
        auto* page = static_cast<InputCut*>(p);
        while (page->editorFocus() != position)
            click(page, Qt::Key_R);
        click(page, Qt::Key_Q);
    };
    // The edit opened with OK on entry `entry`, or on `otherEntry`.
    auto okOn = [](int entry, int otherEntry) {
        return [entry, otherEntry](Page* p, bool other) {
            focusOn(p, other ? otherEntry : entry);
            click(p, Qt::Key_Q);
        };
    };
    std::vector<Editor> editors = {
        {"quality", PAGE_QUALITY,
         [](KEL_RAM_PARA& b) {
             b.brightness = 40;
             b.contrast = 50;
         },
         okOn(0, 2),  // brightness, or contrast
         [](Page* p) { click(p, Qt::Key_R); }, inBlock([](KEL_RAM_PARA& b) { b.brightness = 55; }),
         [](const KEL_RAM_PARA& b) { return b.brightness == 55; },
         [](const KEL_RAM_PARA& b) { return b.contrast == 51; }, "lineEdit_bright", "55",
         [](Page* p) { click(p, Qt::Key_Q); }, [](Page* p) { return text(p, "lineEdit_bright") == "55"; }},
        {"colour temperature", PAGE_COLOUR_TEMPERATURE,
         [](KEL_RAM_PARA& b) {
             b.color_temp_mode = 1;
             b.color_temp_g = 64;
         },
         okOn(0, 2),  // the type, or green
         [](Page* p) { click(p, Qt::Key_R); }, inBlock([](KEL_RAM_PARA& b) { b.color_temp_mode = 3; }),
         [](const KEL_RAM_PARA& b) { return b.color_temp_mode == 3; },
         [](const KEL_RAM_PARA& b) { return b.color_temp_g == 65; }, "comboBox_type", "3",
         [](Page* p) { click(p, Qt::Key_Q); }, [](Page* p) { return text(p, "comboBox_type") == "3"; }},
        {"EDID", PAGE_EDID_SETTINGS,
         [](KEL_RAM_PARA& b) {
             b.edid[ram::kSourceHdmi1] = EDID_PARA{1920, 1080, EDIDset::kRateHigh};
         },
         [](Page* p, bool) {
             while (static_cast<EDIDset*>(p)->chosenInput() != ram::kSourceHdmi1)
                 click(p, Qt::Key_R);
             click(p, Qt::Key_Q);  // the width focused
         },
         [](Page* p) {
             typeWhenAsked(QStringLiteral("1280"));
             click(p, Qt::Key_Q);
         },
         inBlock([](KEL_RAM_PARA& b) { b.edid[ram::kSourceHdmi1].rate = EDIDset::kRateLow; }),
         [](const KEL_RAM_PARA& b) { return b.edid[ram::kSourceHdmi1].rate == EDIDset::kRateLow; },
         [](const KEL_RAM_PARA& b) { return b.edid[ram::kSourceHdmi1].width == 1280; }, "label_rate", "30",
         [](Page* p) {
             while (static_cast<EDIDset*>(p)->field() != EDIDset::kSave)
                 click(p, Qt::Key_R);
             click(p, Qt::Key_Q);
         },
         [](Page* p) { return static_cast<EDIDset*>(p)->cardTiming().endsWith("@30Hz"); }, false, false,
         inBlock([](KEL_RAM_PARA& b) { b.edid[ram::kSourceHdmi1].width = 1280; })},
        {"crop",
         PAGE_INPUT_CROP,
         [](KEL_RAM_PARA& b) {
             b.crop_list[0] = CROP_ITEM{cropKey(ram::kSourceHdmi1, 1), 0, 0, 640, 360};
         },
         [](Page* p, bool) {
             auto* page = static_cast<InputCut*>(p);
             while (page->listedSource() != ram::kSourceHdmi1)
                 click(page, Qt::Key_R);
             click(page, Qt::Key_Q);  // the list
             click(page, Qt::Key_R);
             click(page, Qt::Key_R);  // its crop
             click(page, Qt::Key_Q);
         },
         [okOnCropEditor](Page* p) {
             typeWhenAsked(QStringLiteral("800"));
             okOnCropEditor(p, InputCut::kW);
         },
         inBlock([](KEL_RAM_PARA& b) { b.crop_list[0].y = 50; }),
         [](const KEL_RAM_PARA& b) { return b.crop_list[0].y == 50; },
         [](const KEL_RAM_PARA& b) { return b.crop_list[0].w == 800; },
         "lineEdit_Y",
         "50",
         [okOnCropEditor](Page* p) { okOnCropEditor(p, InputCut::kOk); },
         {},
         false,
         false,
         inBlock([](KEL_RAM_PARA& b) { b.crop_list[0].w = 800; })},
        {"network address", PAGE_NETWORK_ADDRESS, [](KEL_RAM_PARA&) { setAddress("192.168.1.199", "192.168.1.1"); },
         [](Page* p, bool other) { focusOn(p, other ? linkwlan::kFields - 1 : 3); },  // an address's last octet
         [](Page* p) {
             typeWhenAsked(QStringLiteral("254"));
             click(p, Qt::Key_Q);
         },
         [] {
             pcSetsAddressDone({192, 168, 1, 200, 255, 255, 255, 0, 192, 168, 1, 1});
         },
         [](const KEL_RAM_PARA&) { return settingsRead(g_str_ip) == QStringLiteral("192.168.1.200"); },
         [](const KEL_RAM_PARA&) { return settingsRead(g_str_gateway) == QStringLiteral("192.168.1.254"); },
         "lineEditIp4", "200",
         [](Page* p) {
             focusOn(p, linkwlan::kFields);  // Apply
             click(p, Qt::Key_Q);
         },
         [](Page* p) { return text(p, "lineEditIp4") == "200"; }, false, false,
         [] {
             pcSetsAddressDone({192, 168, 1, 199, 255, 255, 255, 0, 192, 168, 1, 254});
         }},
        {"other settings", PAGE_OTHER_SETTINGS,
         [](KEL_RAM_PARA& b) {
             b.seamless = 0;
             b.image[0].flags &= static_cast<u16>(~ram::kFlagSeamless);
             b.wifi_off = 0;
         },
         okOn(othersetup::kSwitchRow, othersetup::kWifiRow), [](Page* p) { click(p, Qt::Key_R); },
         inBlock([](KEL_RAM_PARA& b) {
             b.seamless = 1;
             b.image[0].flags |= ram::kFlagSeamless;
         }),
         [](const KEL_RAM_PARA& b) { return b.seamless == 1 && (b.image[0].flags & ram::kFlagSeamless); },
         [](const KEL_RAM_PARA& b) { return b.wifi_off == 1; }, "switch_state", "1",
         [](Page* p) { click(p, Qt::Key_Q); }, [](Page* p) { return text(p, "switch_state") == "1"; }, false, false,
         inBlock([](KEL_RAM_PARA& b) { b.wifi_off = 1; })},
        {"LED canvas", PAGE_LED_SETTINGS,
         [](KEL_RAM_PARA& b) {
             b.led_width = 1920;
             b.led_height = 1080;
         },
         [](Page* p, bool other) { focusOn(p, other ? 1 : 0); },  // height or width
         [](Page* p) {
             typeWhenAsked(QStringLiteral("1000"));
             click(p, Qt::Key_Q);
         },
         inBlock([](KEL_RAM_PARA& b) { b.led_width = 1280; }),
         [](const KEL_RAM_PARA& b) { return b.led_width == 1280; },
         [](const KEL_RAM_PARA& b) { return b.led_height == 1000; }, "lineEdit_ledw", "1280",
         [](Page* p) {
             focusOn(p, 2);  // Apply
             tipClosed();
             click(p, Qt::Key_Q);
         },
         [](Page* p) { return text(p, "lineEdit_ledw") == "1280"; }, true, false,
         inBlock([](KEL_RAM_PARA& b) { b.led_height = 1000; })},
        {"LCD language",
         PAGE_FACTORY_SETTINGS,
         [](KEL_RAM_PARA& b) {
             b.language = pages::EN;
             g_language = pages::EN;
         },
         [](Page* p, bool) { click(p, Qt::Key_Q); },
         {},
         inBlock([](KEL_RAM_PARA& b) { b.language = pages::VN; }),
         [](const KEL_RAM_PARA& b) { return b.language == pages::VN; },
         {},
         "Box_lang_2",
         "3",
         [](Page* p) { click(p, Qt::Key_Q); },
         [](Page* p) { return text(p, "Box_lang_2") == "3"; },
         false,
         true},
    };
    addRows(editors);
    for (const Editor& e : editors) {
        for (Case c : {kOkUnchanged, kOkOtherChanged, kCancel, kOkSame}) {
            if ((c == kOkOtherChanged && e.oneField) || (c == kOkSame && !e.pcSame) ||
                (!e.cases.empty() && std::find(e.cases.begin(), e.cases.end(), c) == e.cases.end()))
                continue;
            for (bool told : {true, false}) {
                SCOPED_TRACE(testing::Message() << e.name << ", case " << c << (told ? ", told" : ", not told"));
                e.start(block());
                store->ram_para_shadow = block();
                const auto body = [&] { runCase(e, c, told); };
                if (e.open)
                    e.open(body);
                else
                    ASSERT_TRUE(onPage(e.page, body));
                flushDeletes();
            }
        }
    }
}

// A PC writes the very value the operator's step wrote: BACK leaves it, as
// it leaves any value a PC wrote during the edit.
TEST_F(Editors, BackKeepsAPcsWriteEqualToTheSteppedValue)
{
    block().brightness = 40;
    store->ram_para_shadow = block();
    ASSERT_TRUE(onPage(PAGE_QUALITY, [&] {
        Page* page = Page::withFocus();
        focusOn(page, 0);  // brightness
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);
        ASSERT_EQ(block().brightness, 41);
        x518_manage::apply_flag = 0;
        u8 pc[sizeof(u16)] = {41, 0};
        {
            QMutexLocker lock(&x518_manage::mutex);
            store->KelRamParaDeal(pc, sizeof pc, offsetof(KEL_RAM_PARA, brightness));
        }
        click(page, Qt::Key_O);
        EXPECT_EQ(block().brightness, 41);
        EXPECT_EQ(text(page, "lineEdit_bright"), "41");
    }));
}
