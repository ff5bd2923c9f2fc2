// What the editing pages write while a PC writes the fields they edit: the
// picture values, the colour-temperature type, an EDID record, a crop's
// rectangle, the network address, the other settings' switches, the LED
// canvas and the LCD language, each through an OK (Apply, confirm) that
// changed nothing, which writes nothing, an OK that changed another field,
// and a cancel.
#include "app/config_engine.h"
#include "app/utils.h"
#include "screens/menus/ledset.h"
#include "screens/menus/linkwlan.h"
#include "screens/menus/quality.h"
#include "screens/menus/temperature.h"
#include "screens/setup/edidset.h"
#include "screens/setup/inputcut.h"
#include "screens/system/othersetup.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

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

}  // namespace

class Editors : public PageTest {
protected:
    // One editing page: the edit the operator opens (on the field the PC
    // writes, or on `other` field), the operator's change of that other
    // field, the PC's write, and where each shows.
    struct Editor {
        const char* name;
        PAGE_FOCUS page;
        std::function<void(KEL_RAM_PARA&)> start;
        std::function<void(Page*, bool other)> edit;
        std::function<void(Page*)> change;
        std::function<void(KEL_RAM_PARA&)> pc;
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
    };
    enum Case { kOkUnchanged, kOkOtherChanged, kCancel };

    // A PC's write as a link makes it; `told`: its change code reaches the
    // page before the operator's next key (what the page shows is looked at
    // only then).
    void pcWrites(const Editor& e, bool told)
    {
        {
            QMutexLocker lock(&x518_manage::mutex);
            e.pc(block());
            KelRamPara::raiseApplyLocked();
        }
        x518_manage::apply_flag = 0;  // the chip took it
        if (told)
            SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
    }
    // What the box holds that a page may write: the block and the settings.
    std::string boxHolds()
    {
        return std::string(reinterpret_cast<const char*>(&block()), sizeof(KEL_RAM_PARA)) +
               readBoxFile(ConfigEngine::kSettingsFile);
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
    const Editor editors[] = {
        {"quality", PAGE_QUALITY,
         [](KEL_RAM_PARA& b) {
             b.brightness = 40;
             b.contrast = 50;
         },
         okOn(0, 2),  // brightness, or contrast
         [](Page* p) { click(p, Qt::Key_R); }, [](KEL_RAM_PARA& b) { b.brightness = 55; },
         [](const KEL_RAM_PARA& b) { return b.brightness == 55; },
         [](const KEL_RAM_PARA& b) { return b.contrast == 51; }, "lineEdit_bright", "55",
         [](Page* p) { click(p, Qt::Key_Q); }, [](Page* p) { return text(p, "lineEdit_bright") == "55"; }},
        {"colour temperature", PAGE_COLOUR_TEMPERATURE,
         [](KEL_RAM_PARA& b) {
             b.color_temp_mode = 1;
             b.color_temp_g = 64;
         },
         okOn(0, 2),  // the type, or green
         [](Page* p) { click(p, Qt::Key_R); }, [](KEL_RAM_PARA& b) { b.color_temp_mode = 3; },
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
         [](KEL_RAM_PARA& b) { b.edid[ram::kSourceHdmi1].rate = EDIDset::kRateLow; },
         [](const KEL_RAM_PARA& b) { return b.edid[ram::kSourceHdmi1].rate == EDIDset::kRateLow; },
         [](const KEL_RAM_PARA& b) { return b.edid[ram::kSourceHdmi1].width == 1280; }, "label_rate", "30",
         [](Page* p) {
             while (static_cast<EDIDset*>(p)->field() != EDIDset::kSave)
                 click(p, Qt::Key_R);
             click(p, Qt::Key_Q);
         },
         [](Page* p) { return static_cast<EDIDset*>(p)->cardTiming().endsWith("@30Hz"); }},
        {"crop", PAGE_INPUT_CROP,
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
         [](KEL_RAM_PARA& b) { b.crop_list[0].y = 50; }, [](const KEL_RAM_PARA& b) { return b.crop_list[0].y == 50; },
         [](const KEL_RAM_PARA& b) { return b.crop_list[0].w == 800; }, "lineEdit_Y", "50",
         [okOnCropEditor](Page* p) { okOnCropEditor(p, InputCut::kOk); }},
        {"network address", PAGE_NETWORK_ADDRESS, [](KEL_RAM_PARA&) { setAddress("192.168.1.199", "192.168.1.1"); },
         [](Page* p, bool other) { focusOn(p, other ? linkwlan::kFields - 1 : 3); },  // an address's last octet
         [](Page* p) {
             typeWhenAsked(QStringLiteral("254"));
             click(p, Qt::Key_Q);
         },
         [](KEL_RAM_PARA&) { setAddress("192.168.1.200", "192.168.1.1"); },
         [](const KEL_RAM_PARA&) { return settingsRead(g_str_ip) == QStringLiteral("192.168.1.200"); },
         [](const KEL_RAM_PARA&) { return settingsRead(g_str_gateway) == QStringLiteral("192.168.1.254"); },
         "lineEditIp4", "200",
         [](Page* p) {
             focusOn(p, linkwlan::kFields);  // Apply
             click(p, Qt::Key_Q);
         },
         [](Page* p) { return text(p, "lineEditIp4") == "200"; }},
        {"other settings", PAGE_OTHER_SETTINGS,
         [](KEL_RAM_PARA& b) {
             b.seamless = 0;
             b.image[0].flags &= static_cast<u16>(~ram::kFlagSeamless);
             b.wifi_off = 0;
         },
         okOn(othersetup::kSwitchRow, othersetup::kWifiRow), [](Page* p) { click(p, Qt::Key_R); },
         [](KEL_RAM_PARA& b) {
             b.seamless = 1;
             b.image[0].flags |= ram::kFlagSeamless;
         },
         [](const KEL_RAM_PARA& b) { return b.seamless == 1 && (b.image[0].flags & ram::kFlagSeamless); },
         [](const KEL_RAM_PARA& b) { return b.wifi_off == 1; }, "switch_state", "1",
         [](Page* p) { click(p, Qt::Key_Q); }, [](Page* p) { return text(p, "switch_state") == "1"; }},
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
         [](KEL_RAM_PARA& b) { b.led_width = 1280; }, [](const KEL_RAM_PARA& b) { return b.led_width == 1280; },
         [](const KEL_RAM_PARA& b) { return b.led_height == 1000; }, "lineEdit_ledw", "1280",
         [](Page* p) {
             focusOn(p, 2);  // Apply
             tipClosed();
             click(p, Qt::Key_Q);
         },
         [](Page* p) { return text(p, "lineEdit_ledw") == "1280"; }, true},
        {"LCD language",
         PAGE_FACTORY_SETTINGS,
         [](KEL_RAM_PARA& b) {
             b.language = pages::EN;
             g_language = pages::EN;
         },
         [](Page* p, bool) { click(p, Qt::Key_Q); },
         {},
         [](KEL_RAM_PARA& b) { b.language = pages::VN; },
         [](const KEL_RAM_PARA& b) { return b.language == pages::VN; },
         {},
         "Box_lang_2",
         "3",
         [](Page* p) { click(p, Qt::Key_Q); },
         [](Page* p) { return text(p, "Box_lang_2") == "3"; },
         false,
         true},
    };
    for (const Editor& e : editors) {
        for (Case c : {kOkUnchanged, kOkOtherChanged, kCancel}) {
            if (c == kOkOtherChanged && e.oneField)
                continue;
            for (bool told : {true, false}) {
                SCOPED_TRACE(testing::Message() << e.name << ", case " << c << (told ? ", told" : ", not told"));
                e.start(block());
                store->ram_para_shadow = block();
                ASSERT_TRUE(onPage(e.page, [&] {
                    Page* page = Page::withFocus();
                    e.edit(page, c == kOkOtherChanged);
                    pcWrites(e, told);
                    if (told) {
                        EXPECT_EQ(text(page, e.pcField), e.pcShown);
                    }
                    if (c == kOkOtherChanged)
                        e.change(page);
                    x518_manage::apply_flag = 0;
                    const std::string held = boxHolds();
                    if (c == kCancel)
                        click(page, Qt::Key_O);
                    else
                        e.ok(page);
                    EXPECT_TRUE(e.pcHeld(block()));
                    if (c == kOkUnchanged && !e.okWrites) {
                        EXPECT_TRUE(boxHolds() == held) << "an unchanged OK wrote";
                        EXPECT_EQ(x518_manage::apply_flag.load(), 0);
                    }
                    if (c == kOkOtherChanged) {
                        EXPECT_TRUE(e.changeHeld(block()));
                    }
                    if (told && e.showsPcAfter) {
                        EXPECT_TRUE(e.showsPcAfter(page));
                    }
                }));
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
