// The USB key pad: finding it, and its window, source, freeze and black keys
// acting on the parameter block from any page, unless the panel is locked.
#include "app/kel_keyboard.h"
#include "app/kel_keys.h"
#include "app/lockwindow.h"
#include "app/numberkeyboard.h"
#include "platform/sim/sim_hid.h"
#include "tests/app/test_mainwindow_fixture.h"

#include <cstring>

namespace {

platform::sim::SimHidBus& bus()
{
    return platform::sim::SimHidBus::instance();
}

}  // namespace

class KeyPad : public PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        g_image_current = 0;
        // Windows 0, 1 and 3 shown, 2 hidden.
        for (int w : {0, 1, 3})
            block().image[w].enable = ram::kImageShown;
        block().image[2].enable = 0;
        std::memcpy(&store->ram_para_shadow, &store->ram_para, sizeof(KEL_RAM_PARA));
        QObject::connect(store, &KelRamPara::sig_update_para, &context, [this](int code) { codes.push_back(code); });
    }
    // A key-pad key as every page hands it on.
    void key(int k) { pad.update_usb_keyEvent(k); }

    kel_keyboard pad;
    QObject context;
    std::vector<int> codes;
};

TEST_F(KeyPad, WindowKeysSelectShownWindowsWithAChangeCode)
{
    key(Qt::Key_C);
    EXPECT_EQ(g_image_current.load(), 1);
    EXPECT_EQ(codes, std::vector<int>{SYNC_PARA_CHANGED});
    key(Qt::Key_F);
    EXPECT_EQ(g_image_current.load(), 3);
    key(Qt::Key_B);
    EXPECT_EQ(g_image_current.load(), 0);
    EXPECT_EQ(codes.size(), 3u);
    // The current window again: no code. A hidden window: not selected.
    key(Qt::Key_B);
    key(Qt::Key_E);
    EXPECT_EQ(g_image_current.load(), 0);
    EXPECT_EQ(codes.size(), 3u);
    // Window keys touch neither the block nor the chip.
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
}

TEST_F(KeyPad, SourceKeysPutTheSourceItselfOnTheCurrentWindow)
{
    // Window 1 shows crop 1 of HDMI1 (record 30) in user mode 4.
    const int record = 30;
    block().crop_list[record].key = ram::kCropInUse | ram::kSourceHdmi1;
    block().image[1].source = ram::kSourceIsCrop | record;
    block().current_mode = 4;
    store->ram_para_shadow.current_mode = 4;
    g_image_current = 1;
    const u16 window0 = block().image[0].source;
    key(Qt::Key_J);
    EXPECT_EQ(block().image[1].source, ram::kSourceDvi);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    EXPECT_EQ(block().current_mode, 0);  // the picture is no longer user mode 4
    const std::pair<int, u16> others[] = {
        {Qt::Key_K, ram::kSourceHdmi1}, {Qt::Key_L, ram::kSourceHdmi2}, {Qt::Key_I, ram::kSourceHdmi3}};
    for (const auto& [k, source] : others) {
        key(k);
        EXPECT_EQ(block().image[1].source, source);
    }
    EXPECT_EQ(block().image[0].source, window0);
}

TEST_F(KeyPad, FreezeAndBlackToggleTheCurrentWindow)
{
    g_image_current = 3;
    key(Qt::Key_N);
    EXPECT_EQ(block().image[3].flags & ram::kFlagFreeze, ram::kFlagFreeze);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    key(Qt::Key_P);
    EXPECT_EQ(block().image[3].flags & ram::kFlagBlack, ram::kFlagBlack);
    key(Qt::Key_N);
    key(Qt::Key_P);
    EXPECT_EQ(block().image[3].flags & (ram::kFlagFreeze | ram::kFlagBlack), 0);
}

TEST_F(KeyPad, OtherKeysAndEveryKeyOfALockedPanelChangeNothing)
{
    const KEL_RAM_PARA before = block();
    for (int k : {Qt::Key_A, Qt::Key_D, Qt::Key_M, Qt::Key_Q, Qt::Key_F6, Qt::Key_PowerOff, Qt::Key_1})
        key(k);
    EXPECT_EQ(std::memcmp(&before, &block(), sizeof before), 0);
    block().panel_lock = 1;
    const KEL_RAM_PARA locked = block();
    for (int k :
         {Qt::Key_B, Qt::Key_C, Qt::Key_E, Qt::Key_F, Qt::Key_I, Qt::Key_J, Qt::Key_K, Qt::Key_L, Qt::Key_N, Qt::Key_P})
        key(k);
    click(main, Qt::Key_M);  // the mode key reaches neither the page nor the key pad
    EXPECT_EQ(g_mode_shortcut_key, 0);
    EXPECT_EQ(g_image_current.load(), 0);
    EXPECT_TRUE(codes.empty());
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
    EXPECT_EQ(std::memcmp(&locked, &block(), sizeof locked), 0);
}

TEST_F(KeyPad, EveryPageHandsItsKeysOn)
{
    // The main window, the home page and the number keyboard, at key release.
    click(main, Qt::Key_C);
    EXPECT_EQ(g_image_current.load(), 1);
    LockWindow home(nullptr);
    click(&home, Qt::Key_F);
    EXPECT_EQ(g_image_current.load(), 3);
    press(g_numberkeyboard, Qt::Key_B);
    EXPECT_EQ(g_image_current.load(), 3);
    release(g_numberkeyboard, Qt::Key_B);
    EXPECT_EQ(g_image_current.load(), 0);
}

// ---------------------------------------------------------------- finding the key pad

TEST(KeyPadPresence, FoundByItsVendorAndProductOnly)
{
    bus().reset();
    EXPECT_EQ(check_hiddev(), 0);
    bus().plug(0x28E9, 0x0381);
    bus().plug(0x28E8, 0x0380);
    EXPECT_EQ(check_hiddev(), 0);
    bus().plug(0x28E9, 0x0380);
    EXPECT_EQ(check_hiddev(), 1);
    // A HID library that cannot start finds nothing.
    bus().setInitFails(true);
    EXPECT_EQ(check_hiddev(), 0);
    bus().reset();
}
