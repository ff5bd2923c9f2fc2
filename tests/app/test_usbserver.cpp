// The USB watcher: which kernel events it announces, the gate at tick 1000,
// the wait for a stick's storage and mount, and the settings page closed
// from the GUI thread after a stick was mounted.
#include "app/kelrampara.h"
#include "app/usbserver.h"
#include "platform/sim/sim_uevent.h"
#include "screens/menus/option.h"
#include "tests/support/box_test.h"

#include <QThread>
#include <QTimer>

namespace sim = platform::sim;

namespace {

using Step = UsbServer::Step;
using Steps = std::vector<Step>;

const std::string kDisk = sim::kStickDiskPath;
const std::string kPartition = sim::kStickPartitionPath;
const std::string kUsbDevice = "/devices/platform/soc/ehci-platform/usb1/1-1";

Steps stepsOf(const std::string& header)
{
    return UsbServer::eventSteps(header.data(), header.size());
}

std::string event(const std::string& action, const std::string& devpath)
{
    return sim::ueventMessage(action, devpath, "block");
}

}  // namespace

// ---------------------------------------------------------------- the event text

TEST(UsbEventText, AddAndRemoveAreAnnouncedAndOnlyTheAddOfPartitionsSda0ToSda9AsksForStorage)
{
    const Steps added{Step::Added}, removed{Step::Removed}, storage{Step::Added, Step::Storage};
    const std::pair<std::string, Steps> cases[] = {{"add@" + kUsbDevice, added},
                                                   {"remove@" + kUsbDevice, removed},
                                                   {"change@" + kUsbDevice, {}},
                                                   {"bind@" + kUsbDevice, {}},
                                                   {"add@" + kPartition, storage},
                                                   {"add@" + kDisk + "/sda0", storage},
                                                   {"add@" + kDisk + "/sda9", storage},
                                                   // the disk itself, a partition with two digits, another disk
                                                   {"add@" + kDisk, added},
                                                   {"add@" + kDisk + "/sda10", added},
                                                   {"add@/devices/x/block/sdb/sdb1", added},
                                                   // a partition that goes away is no stick to read
                                                   {"remove@" + kPartition, removed},
                                                   {"change@" + kPartition, {}}};
    for (const auto& [header, steps] : cases)
        EXPECT_EQ(stepsOf(header), steps) << header;

    // Only the header counts: the key=value lines after the header are not read.
    const std::string withKeys = event("add", kUsbDevice) + "DEVPATH=" + kPartition;
    EXPECT_EQ(UsbServer::eventSteps(withKeys.data(), withKeys.size()), Steps{Step::Added});
    // A text that fills the buffer has no NUL: the byte after it is not read
    // ("sda1" would become "sda10").
    const std::string text = "add@" + kPartition + "0";
    EXPECT_EQ(UsbServer::eventSteps(text.data(), text.size() - 1), (Steps{Step::Added, Step::Storage}));
}

// ---------------------------------------------------------------- the watcher

class UsbWatch : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        G_timeTicks = 0;
        g_delay_usbserver = 0;
        g_page_focus = PAGE_MAIN_MENU;
        watcher = UsbServer::pInstance();
        // Queued into this (the GUI) thread, as the change notifier gets them.
        QObject::connect(watcher, &UsbServer::sig_usb_update, &gui, [this](int code) { codes.push_back(code); });
    }
    void TearDown() override
    {
        watcher->stopThread();
        BoxTest::TearDown();
    }
    void openGate() { g_delay_usbserver = 1; }
    void advanceTicks(u32 n) { G_timeTicks += n; }
    void storageDriverPresent() { ASSERT_TRUE(platform::makeDirs(UsbServer::kUsbStorageProc)); }
    bool codesBecome(const std::vector<int>& expected)
    {
        if (waitUntil([&] { return codes == expected; }))
            return true;
        ADD_FAILURE() << "codes: " << testing::PrintToString(codes);
        return false;
    }
    // The watcher went on waiting: two more looks came after this call, so
    // at least one of them saw what the test had set before.
    bool stillWaiting()
    {
        const unsigned from = watcher->looks();
        return waitUntil([&] { return watcher->looks() >= from + 2; });
    }
    // Passes of the thread's loop: a few more came after this call.
    bool passesGoBy()
    {
        const unsigned from = watcher->passes();
        return waitUntil([&] { return watcher->passes() >= from + 3; });
    }

    QObject gui;
    UsbServer* watcher = nullptr;
    std::vector<int> codes;
};

TEST_F(UsbWatch, EventsBeforeTheGateWaitInTheSourceAndAreReadAfterIt)
{
    ASSERT_TRUE(sim::ueventSend(event("add", kDisk)));
    ASSERT_TRUE(passesGoBy());
    EXPECT_TRUE(sim::ueventWaiting());
    EXPECT_TRUE(codes.empty());
    openGate();
    EXPECT_TRUE(codesBecome({SYNC_USB_ADDED}));
    EXPECT_FALSE(sim::ueventWaiting());
}

// A stick pulled is counted before its change codes go out, so an upgrade
// run sees it whatever stick comes back; another device going is no pull.
TEST_F(UsbWatch, AStickPulledIsCountedForTheUpgradeRunAndOtherDevicesAreNot)
{
    openGate();
    ASSERT_TRUE(sim::ueventSend(event("remove", kUsbDevice)));
    ASSERT_TRUE(codesBecome({SYNC_USB_REMOVED}));
    EXPECT_EQ(g_usb_stick_pulls.load(), 0u);
    // As a stick goes: its partition, then its disk.
    ASSERT_TRUE(sim::ueventSend(event("remove", kPartition)));
    ASSERT_TRUE(sim::ueventSend(event("remove", kDisk)));
    ASSERT_TRUE(codesBecome({SYNC_USB_REMOVED, SYNC_USB_REMOVED, SYNC_USB_REMOVED}));
    EXPECT_EQ(g_usb_stick_pulls.load(), 2u);
}

TEST_F(UsbWatch, ThePartitionIsAnnouncedAtOnceAndItsStorage301TicksLater)
{
    storageDriverPresent();
    openGate();
    advanceTicks(5000);  // any tick, the count wraps through getTimeSpace
    ASSERT_TRUE(sim::ueventSend(event("add", kPartition)));
    ASSERT_TRUE(codesBecome({SYNC_USB_ADDED}));
    advanceTicks(UsbServer::kMountSettleTicks - 1);
    ASSERT_TRUE(stillWaiting());
    EXPECT_EQ(codes, std::vector<int>{SYNC_USB_ADDED});
    advanceTicks(1);
    EXPECT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_STORAGE}));
}

TEST_F(UsbWatch, WithoutTheStorageDriverTheWaitGivesUpWithoutAnnouncing)
{
    openGate();
    ASSERT_TRUE(sim::ueventSend(event("add", kPartition)));
    ASSERT_TRUE(codesBecome({SYNC_USB_ADDED}));
    // It looks once per tick without announcing anything...
    ASSERT_TRUE(stillWaiting());
    advanceTicks(UsbServer::kStorageWaitTicks - 1);
    ASSERT_TRUE(stillWaiting());
    EXPECT_EQ(codes, std::vector<int>{SYNC_USB_ADDED});
    // ...and gives up at the bound; the next event is read.
    advanceTicks(1);
    ASSERT_TRUE(sim::ueventSend(event("remove", kUsbDevice)));
    ASSERT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_REMOVED}));
    // Nothing was left pending behind it.
    advanceTicks(UsbServer::kMountSettleTicks);
    ASSERT_TRUE(sim::ueventSend(event("add", kUsbDevice)));
    EXPECT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_REMOVED, SYNC_USB_ADDED}));
}

TEST_F(UsbWatch, AfterTheGateTheThreadSleepsUntilAnEventArrives)
{
    openGate();
    ASSERT_TRUE(sim::ueventSend(event("add", kUsbDevice)));
    ASSERT_TRUE(codesBecome({SYNC_USB_ADDED}));
    // Blocked on its source: the loop makes no further passes of its own.
    const unsigned passes = watcher->passes();
    QThread::msleep(50);
    EXPECT_LE(watcher->passes(), passes + 1);
    ASSERT_TRUE(sim::ueventSend(event("remove", kUsbDevice)));
    EXPECT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_REMOVED}));
}

TEST_F(UsbWatch, StorageThatAppearsDuringTheWaitIsAnnouncedAfterTheMountTime)
{
    openGate();
    ASSERT_TRUE(sim::ueventSend(event("add", kPartition)));
    ASSERT_TRUE(codesBecome({SYNC_USB_ADDED}));
    ASSERT_TRUE(stillWaiting());
    storageDriverPresent();
    ASSERT_TRUE(stillWaiting());  // now timing the mount from here
    advanceTicks(UsbServer::kMountSettleTicks);
    EXPECT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_STORAGE}));
}

TEST_F(UsbWatch, AnEventThatFillsTheWholeBufferIsReadSafely)
{
    storageDriverPresent();
    openGate();
    // 4096 bytes without a NUL, ending in the partition's name.
    const std::string tail = "/block/sda/sda1";
    std::string text = "add@/devices";
    while (text.size() + 2 + tail.size() <= UsbServer::kEventBytes)
        text += "/x";
    text += std::string(UsbServer::kEventBytes - text.size() - tail.size(), 'y') + tail;
    ASSERT_EQ(text.size(), UsbServer::kEventBytes);
    ASSERT_TRUE(sim::ueventSend(text));
    ASSERT_TRUE(codesBecome({SYNC_USB_ADDED}));
    advanceTicks(UsbServer::kMountSettleTicks);
    EXPECT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_STORAGE}));
}

TEST_F(UsbWatch, AMountedStickClosesTheSettingsPageFromTheGuiThread)
{
    storageDriverPresent();
    openGate();
    // The settings page runs modally: the stick comes while it is open.
    QTimer::singleShot(0, [this] {
        ASSERT_NE(g_option, nullptr);
        ASSERT_TRUE(sim::ueventSend(event("add", kPartition)));
        ASSERT_TRUE(codesBecome({SYNC_USB_ADDED}));
        EXPECT_EQ(watcher->optionsCheckThread(), nullptr);
        advanceTicks(UsbServer::kMountSettleTicks);
        ASSERT_TRUE(codesBecome({SYNC_USB_ADDED, SYNC_USB_STORAGE}));
        EXPECT_TRUE(waitUntil([] { return g_option == nullptr; }));
        if (g_option)
            g_option->slot_Button_back_clicked();
    });
    Page::openOnTop(g_option);
    EXPECT_EQ(watcher->optionsCheckThread(), QThread::currentThread());
    EXPECT_EQ(g_page_focus.load(), PAGE_MAIN_MENU);
}
