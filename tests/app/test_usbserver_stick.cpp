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

// A person inserts and pulls the stick through the control pipe: its folder
// is mounted at /mnt/usb1 and announced (the disk and its partition added,
// the partition's storage once its mount had its time), and pulled again.
TEST_F(UsbStick, APersonInsertsAndPullsTheStickThroughTheControlPipe)
{
    EXPECT_EQ(control("usb remove"), "error usb remove: no stick is in");
    EXPECT_EQ(control("usb eject"), "error usb eject: usb insert [DIR] or usb remove");
    EXPECT_FALSE(sim::usbStickInsert("/../outside"));  // no stick outside the box root
    writeBoxFile("/sim/stick-b/upgrade/app.KEL", "package");
    EXPECT_EQ(control("usb insert /sim/stick-b"), "ok usb insert /sim/stick-b");
    EXPECT_TRUE(platform::isDir(UsbServer::kUsbStorageProc));
    EXPECT_EQ(readBoxFile("/mnt/usb1/upgrade/app.KEL"), "package");
    ASSERT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_ADDED}));
    G_timeTicks += UsbServer::kMountSettleTicks;
    ASSERT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_ADDED, SYNC_USB_STORAGE}));
    EXPECT_EQ(control("usb insert"), "error usb insert: a stick is in already");

    EXPECT_EQ(control("usb remove"), "ok usb remove");
    EXPECT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_ADDED, SYNC_USB_STORAGE, SYNC_USB_REMOVED, SYNC_USB_REMOVED}));
    EXPECT_FALSE(sim::usbStickInserted());
    EXPECT_FALSE(platform::exists("/mnt/usb1/upgrade/app.KEL"));
    EXPECT_FALSE(platform::exists(UsbServer::kUsbStorageProc));
    // The stick's own folder stays for the next insertion; the default one is made when missing.
    EXPECT_EQ(readBoxFile("/sim/stick-b/upgrade/app.KEL"), "package");
    EXPECT_EQ(control("usb insert"), "ok usb insert");
    EXPECT_TRUE(platform::isDir(sim::kStickDir));
}
