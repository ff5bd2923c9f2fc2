// The simulated USB stick as the watcher sees it: inserted by a test or by a
// person through the host box's control pipe.
#include "app/kelrampara.h"
#include "app/usbserver.h"
#include "platform/sim/sim_uevent.h"
#include "tests/support/box_test.h"

namespace sim = platform::sim;

class UsbStick : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        G_timeTicks = 0;
        g_delay_usbserver = 1;
        watcher = UsbServer::pInstance();
        QObject::connect(watcher, &UsbServer::sig_usb_update, &gui, [this](int code) { codes.push_back(code); });
    }
    void TearDown() override
    {
        watcher->stopThread();
        BoxTest::TearDown();
    }
    bool codesBecome(const std::vector<int>& expected)
    {
        return waitUntil([&] { return codes == expected; });
    }
    QObject gui;
    UsbServer* watcher = nullptr;
    std::vector<int> codes;
};

TEST_F(UsbStick, AnInsertedStickIsAnnouncedWith100AndThen102AndReadAtMntUsb1)
{
    writeBoxFile("/sim/stick-a/upgrade/app.KEL", "package");
    ASSERT_TRUE(sim::usbStickInsert("/sim/stick-a"));
    EXPECT_TRUE(sim::usbStickInserted());
    EXPECT_TRUE(platform::isDir(UsbServer::kUsbStorageProc));
    EXPECT_EQ(readBoxFile("/mnt/usb1/upgrade/app.KEL"), "package");
    // The disk and its partition are added; the partition's mount is given its time.
    ASSERT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_ADDED}));
    G_timeTicks += UsbServer::kMountSettleTicks;
    ASSERT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_ADDED, SYNC_USB_STORAGE}));

    sim::usbStickRemove();
    EXPECT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_ADDED, SYNC_USB_STORAGE, SYNC_USB_REMOVED, SYNC_USB_REMOVED}));
    EXPECT_FALSE(sim::usbStickInserted());
    EXPECT_FALSE(platform::exists("/mnt/usb1/upgrade/app.KEL"));
    EXPECT_FALSE(platform::exists(UsbServer::kUsbStorageProc));
    // The stick's own folder stays for the next insertion.
    EXPECT_EQ(readBoxFile("/sim/stick-a/upgrade/app.KEL"), "package");
}

TEST_F(UsbStick, AFolderOutsideTheBoxRootIsNoStick)
{
    EXPECT_FALSE(sim::usbStickInsert("/../outside"));
    EXPECT_FALSE(sim::usbStickInserted());
    EXPECT_FALSE(sim::ueventWaiting());
}

TEST_F(UsbStick, APersonInsertsAndPullsTheStickThroughTheControlPipe)
{
    EXPECT_EQ(control("usb remove"), "error usb remove: no stick is in");
    EXPECT_EQ(control("usb eject"), "error usb eject: usb insert [DIR] or usb remove");
    writeBoxFile("/sim/stick-b/map.ztfile", "scan");
    EXPECT_EQ(control("usb insert /sim/stick-b"), "ok usb insert /sim/stick-b");
    EXPECT_EQ(readBoxFile("/mnt/usb1/map.ztfile"), "scan");
    EXPECT_EQ(control("usb insert"), "error usb insert: a stick is in already");
    EXPECT_EQ(control("usb remove"), "ok usb remove");
    EXPECT_FALSE(sim::usbStickInserted());
    // The default folder, made when missing.
    EXPECT_EQ(control("usb insert"), "ok usb insert");
    EXPECT_TRUE(platform::isDir(sim::kStickDir));
}
