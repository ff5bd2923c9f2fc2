// The factory settings page, driven by the keys as an operator drives it:
// each reset restores exactly its ranges of the block and hands the LED
// panel set-up, the EDID rewrites and the network address on only where it
// must; the language row steps among the enabled languages.
#include "app/config_engine.h"
#include "app/utils.h"
#include "fpga/fpga_manage.h"
#include "registers/fpga_regs.h"
#include "screens/system/factory.h"
#include "tests/app/test_mainwindow_fixture.h"
#include "videoio/tamixsource.h"

#include <QComboBox>
#include <cstring>

namespace {

const char* const kOtherAddress = "10.1.2.3";
const char* const kDefaultAddress = "192.168.1.199";

u8* bytes(KEL_RAM_PARA& b)
{
    return reinterpret_cast<u8*>(&b);
}

}  // namespace

class Factory : public PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        ConfigEngine::pInstance();
        tamixsource::pInstance();
        fpga_manage::pInstance();
    }
    // Runs `body` with the factory page open over the advanced menu.
    void onFactoryPage(const std::function<void(factory*)>& body)
    {
        ASSERT_TRUE(onPage(PAGE_FACTORY_SETTINGS, [&] { body(g_factory); }));
    }
};

TEST_F(Factory, EachResetRestoresItsRangesAndHandsOnOnlyWhatItMust)
{
    const struct {
        const char* name;
        int row;
        bool keepsEdid;
        bool canvasChanged;
        bool fpgaRunning;
        bool handShake;
        const char* addressBefore;
        bool networkReset;
    } cases[] = {
        {"Keep IP", factory::kKeepIpRow, false, true, true, true, kOtherAddress, false},
        {"Keep IP, EDID", factory::kKeepEdidRow, true, true, false, false, kOtherAddress, false},
        {"Reset ALL", factory::kResetAllRow, false, false, true, false, kOtherAddress, true},
        {"Reset ALL, address already the default", factory::kResetAllRow, false, true, true, true, kDefaultAddress,
         false},
    };
    const KEL_RAM_PARA& defaults = ram::defaultBlock();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A block that differs from the defaults everywhere.
        for (int i = 0; i < ram::kBlockSize; ++i)
            bytes(block())[i] = static_cast<u8>(i * 7 + 3);
        store->ram_para_shadow = block();
        if (!c.canvasChanged) {
            store->ram_para_shadow.splice_mode = defaults.splice_mode;
            store->ram_para_shadow.led_width = defaults.led_width;
            store->ram_para_shadow.led_height = defaults.led_height;
        }
        KEL_RAM_PARA before = block();
        const KEL_RAM_PARA shadowBefore = store->ram_para_shadow;
        std::memset(store->ram_user_mode, 0x77, sizeof store->ram_user_mode);
        fpga_manage::p_fpga_manage->MCU_REG_func[0][fpga::reg::kState] =
            c.fpgaRunning ? fpga::reg::kStateRunning : fpga::reg::kStateLoading;
        g_set_led_para = 0;
        for (auto& request : tamixsource::p_tamix_source->edid_rewrite_req)
            request = 0;
        ConfigEngine::p_config->write_config_variant(ConfigItem::IPAddress, QString::fromLatin1(c.addressBefore));
        Utils::getIPAddress();
        x518_manage::apply_flag = 0;
        const size_t shellBefore = journalWith("ifconfig eth0 ").size();

        onFactoryPage([&](factory* page) {
            focusOn(page, c.row);
            click(page, Qt::Key_Q);
            EXPECT_EQ(Page::withFocus(), page);  // no question, no closing
        });

        KEL_RAM_PARA expected = before;
        std::memcpy(bytes(expected) + ram::kSavedStart, reinterpret_cast<const u8*>(&defaults) + ram::kSavedStart,
                    ram::kSavedSize);
        if (c.keepsEdid) {
            const size_t from = offsetof(KEL_RAM_PARA, edid), to = offsetof(KEL_RAM_PARA, splice_mode);
            std::memcpy(bytes(expected) + from, bytes(before) + from, to - from);
        }
        for (SEAMLESS_PARA& p : expected.seamless_para)
            p = {ram::kSeamlessDefault, ram::kSeamlessDefault};
        EXPECT_EQ(std::memcmp(&block(), &expected, sizeof expected), 0);
        EXPECT_EQ(std::memcmp(&store->ram_para_shadow, &shadowBefore, sizeof shadowBefore), 0);
        for (const USER_MODE_SLOT& slot : store->ram_user_mode)
            EXPECT_EQ(slot.marker[0], 0x77);
        EXPECT_EQ(x518_manage::apply_flag.load(), 1);
        EXPECT_EQ(g_set_led_para.load(), c.handShake ? 1 : 0);
        for (auto& request : tamixsource::p_tamix_source->edid_rewrite_req)
            EXPECT_EQ(request.load(), c.keepsEdid ? 0 : 1);
        EXPECT_EQ(settingsRead(g_str_ip), QString::fromLatin1(c.networkReset ? kDefaultAddress : c.addressBefore));
        EXPECT_EQ(journalWith("ifconfig eth0 ").size() > shellBefore, c.networkReset);
    }
    EXPECT_EQ(journalWith("ifconfig eth0 192.168.1.199 netmask 255.255.255.0").size(), 1u);
}

TEST_F(Factory, TheLanguageStepsAmongTheEnabledOnesAndIsAppliedByOk)
{
    const struct {
        const char* name;
        u32 enabled;
        u8 language;
        std::vector<int> steps;  // LEFT and RIGHT while the row is edited
        int shown;
    } cases[] = {
        {"none enabled: the choice stays", 0, pages::RU, {Qt::Key_R, Qt::Key_R, Qt::Key_S}, pages::EN},
        {"one enabled: it stays on it", 1u << pages::RU, pages::RU, {Qt::Key_R, Qt::Key_S, Qt::Key_S}, pages::RU},
        {"from English, not enabled, right", 0x1A, pages::RU, {Qt::Key_R}, pages::VN},
        {"from English, not enabled, left, wrapping", 0x1A, pages::RU, {Qt::Key_S}, pages::TW},
        {"right from the last wraps to the first", 0x07, pages::RU, {Qt::Key_R}, pages::ZH},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_lcd_lang_valid = c.enabled;
        g_language = c.language;
        ram::setLowByte(block().language, c.language);
        store->ram_para_shadow = block();
        onFactoryPage([&](factory* page) {
            auto* box = page->findChild<QComboBox*>(QStringLiteral("Box_lang_2"));
            click(page, Qt::Key_Q);
            ASSERT_TRUE(page->editing());
            for (int key : c.steps)
                click(page, key);
            EXPECT_EQ(box->currentIndex(), c.shown);
            EXPECT_EQ(page->selected(), factory::kLanguageRow);
            // OK applies a language other than the one in use, and only that.
            x518_manage::apply_flag = 0;
            click(page, Qt::Key_Q);
            EXPECT_FALSE(page->editing());
            const bool changes = c.shown != c.language;
            EXPECT_EQ(block().language & 0xFF, c.shown);
            EXPECT_EQ(x518_manage::apply_flag.load(), changes ? 1 : 0);
        });
    }
}

TEST_F(Factory, FontLineColoursEachSizeByItsFlag)
{
    const QString red = QStringLiteral("color = #ff0000 >%1<");
    const QString green = QStringLiteral("color = #00ff00 >%1<");
    const QString none = factory::chineseFontLine(0);
    EXPECT_TRUE(none.contains(QStringLiteral(">CN:<")));
    for (const char* size : {"32", "64", "128"})
        EXPECT_TRUE(none.contains(red.arg(QLatin1String(size))));
    // The 64-dot font alone: 64 and 128 green on its half only.
    const QString cn = factory::chineseFontLine(x518_manage::kFontChinese64);
    const QString en = factory::englishFontLine(x518_manage::kFontChinese64);
    EXPECT_TRUE(cn.contains(red.arg(QLatin1String("32"))));
    EXPECT_TRUE(cn.contains(green.arg(QLatin1String("64"))) && cn.contains(green.arg(QLatin1String("128"))));
    EXPECT_FALSE(en.contains(QStringLiteral("#00ff00")));
}

// A PC's language write while the operator edits the language leaves the
// edit on, showing the operator's choice: the next OK confirms it, never
// opens a new edit (after which a further OK could run a reset at once).
TEST_F(Factory, APcsLanguageWriteDuringAnEditLeavesTheEditToTheOperator)
{
    g_lcd_lang_valid = 0x1F;
    g_language = pages::EN;
    ram::setLowByte(block().language, pages::EN);
    store->ram_para_shadow = block();
    onFactoryPage([&](factory* page) {
        auto* box = page->findChild<QComboBox*>(QStringLiteral("Box_lang_2"));
        click(page, Qt::Key_Q);
        click(page, Qt::Key_R);  // Russian
        ram::setLowByte(block().language, pages::VN);
        SyncUpdate::p_SyncUpdate->para_sync(SYNC_PARA_CHANGED);
        EXPECT_EQ(g_language.load(), pages::VN);
        EXPECT_TRUE(page->editing());
        EXPECT_EQ(box->currentIndex(), pages::RU);
        click(page, Qt::Key_Q);
        EXPECT_FALSE(page->editing());
        EXPECT_EQ(page->selected(), factory::kLanguageRow);
        EXPECT_EQ(block().language & 0xFF, pages::RU);
    });
}
