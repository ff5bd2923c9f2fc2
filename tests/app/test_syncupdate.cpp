// The change notifier: the write-back of the parameter file, user-mode
// saves and synchronisation, the current-window check and the key pad's
// LED report.
#include "app/kelrampara.h"
#include "app/syncupdate.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_hid.h"
#include "screens/page.h"
#include "tests/support/box_test.h"
#include "videochip/x518_manage.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

using Report = std::vector<uint8_t>;
constexpr uint16_t kVid = 0x28E9;
constexpr uint16_t kPid = 0x0380;

platform::sim::SimHidBus& bus()
{
    return platform::sim::SimHidBus::instance();
}

}  // namespace

class Notifier : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        bus().reset();
        g_kel_keys = 0;
        g_page_focus = PAGE_HOME;
        store = KelRamPara::pInstance();
        sync = SyncUpdate::pInstance();
    }
    void TearDown() override
    {
        bus().reset();
        BoxTest::TearDown();
    }
    bool shadowEqualsLive() { return std::memcmp(&store->ram_para, &store->ram_para_shadow, 4096) == 0; }
    std::vector<Report> reports() { return bus().reports(kVid, kPid); }

    KelRamPara* store = nullptr;
    SyncUpdate* sync = nullptr;
};

// ---------------------------------------------------------------- write-back

TEST_F(Notifier, RuntimeOnlyChangeWritesNothingAndKeepsTheShadow)
{
    ASSERT_TRUE(platform::removeFile(KelRamPara::kParaFile));
    store->ram_para.source_status[2] = SOURCE_STATUS{1920, 1080, 60};
    store->ram_para.runtime_0[0] = 1;
    sync->para_sync(SYNC_INPUT_TIMING);
    EXPECT_FALSE(platform::exists(KelRamPara::kParaFile));
    EXPECT_EQ(store->ram_para_shadow.source_status[2].width, 0);
    EXPECT_FALSE(shadowEqualsLive());
}

TEST_F(Notifier, PersistentChangeIsWrittenInTheFileFormatOnly)
{
    // A file longer than the format, its tail not zero: cut back to 4096 bytes.
    std::string file = readBoxFile(KelRamPara::kParaFile);
    ASSERT_EQ(file.size(), 4096u);
    file.replace(3330, std::string::npos, std::string(1000, '\x5A'));
    writeBoxFile(KelRamPara::kParaFile, file);

    store->ram_para.brightness = 64;
    store->ram_para.source_status[0].width = 720;
    reinterpret_cast<u8*>(&store->ram_para)[4095] = 0x77;  // the last saved byte
    sync->para_sync(SYNC_PARA_CHANGED);
    const std::string after = readBoxFile(KelRamPara::kParaFile);
    ASSERT_EQ(after.size(), 4096u);
    EXPECT_EQ(after.substr(0, 2), "\xAA\xAA");
    EXPECT_EQ(std::memcmp(after.data() + 2, reinterpret_cast<const char*>(&store->ram_para) + 768, 3328), 0);
    EXPECT_EQ(after.substr(3330), std::string(766, '\0'));
    EXPECT_TRUE(shadowEqualsLive());  // the whole block, run-time range included

    // Nothing differs any more: no second write; a missing file comes back
    // with the next change.
    ASSERT_TRUE(platform::removeFile(KelRamPara::kParaFile));
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_FALSE(platform::exists(KelRamPara::kParaFile));
    store->ram_para.led_width = 3840;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(paraFileField(1378), 3840);
    EXPECT_FALSE(platform::exists("/data/ram_device_info.new"));
}

TEST_F(Notifier, AFailedWriteBackKeepsTheShadowAndIsTriedAgainLater)
{
    // A folder where the file belongs: the file cannot be written.
    ASSERT_TRUE(platform::removeFile(KelRamPara::kParaFile));
    ASSERT_TRUE(platform::makeDirs(KelRamPara::kParaFile));
    store->ram_para.brightness = 77;
    testing::internal::CaptureStdout();
    sync->para_sync(SYNC_PARA_CHANGED);
    sync->para_sync(SYNC_PARA_CHANGED);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(console.find("cannot write"), console.rfind("cannot write"));  // said once
    EXPECT_NE(console.find("cannot write"), std::string::npos);
    EXPECT_EQ(store->ram_para_shadow.brightness, 100);

    ASSERT_TRUE(QDir(QString::fromStdString(platform::path(KelRamPara::kParaFile))).removeRecursively());
    EXPECT_TRUE(waitUntil([&] { return paraFileField(2176) == 77; }));
    EXPECT_TRUE(shadowEqualsLive());
}

// A link storing an uploaded file of megabytes holds that file's own lock
// while its data syncs on a slow disk, and nothing the write-back needs: a
// write-back a PC's write asks for meanwhile is written at once, neither
// put off nor waiting for the store.
TEST_F(Notifier, AWriteBackWhileALinkSyncsAnUploadedFileIsNeitherPutOffNorWaitsForIt)
{
    const std::vector<u8> upload(5u << 20, 0x5A);
    platform::sim::setDiskSlow(4000);  // the upload's sync: 20 s
    std::atomic<bool> stored{false};
    std::thread link([&] { stored = KelRamPara::writeFileSynced("/data/upload.bin", upload.data(), upload.size()); });
    const bool syncing = waitUntil([] { return platform::sim::slowSyncsWaiting() == 1; });
    store->ram_para.brightness = 77;
    sync->para_sync(SYNC_PARA_CHANGED);
    const bool stillSyncing = platform::sim::slowSyncsWaiting() == 1;
    platform::sim::setDiskSlow(0);
    link.join();
    EXPECT_TRUE(syncing);
    EXPECT_TRUE(stillSyncing);  // the write-back was through before the store
    EXPECT_EQ(store->ram_para_shadow.brightness, 77);
    EXPECT_EQ(paraFileField(2176), 77);
    EXPECT_TRUE(shadowEqualsLive());
    EXPECT_TRUE(stored);
}

// A save request that lands after a pass looked for one, and before a
// write-back (here the retried one) copies the block, is still carried out
// by the next pass and never reaches the parameter file.
TEST_F(Notifier, ASaveRequestWrittenBeforeAWriteBackIsStillCarriedOut)
{
    ASSERT_TRUE(platform::removeFile(KelRamPara::kParaFile));
    ASSERT_TRUE(platform::makeDirs(KelRamPara::kParaFile));
    store->ram_para.brightness = 77;
    testing::internal::CaptureStdout();
    sync->para_sync(SYNC_PARA_CHANGED);
    store->ram_para.mode_save_request = 4;
    ASSERT_TRUE(QDir(QString::fromStdString(platform::path(KelRamPara::kParaFile))).removeRecursively());
    EXPECT_TRUE(waitUntil([&] { return paraFileField(2176) == 77; }));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(paraFileField(868), 0);

    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(store->KelUserModeSaved(3), 1);
    EXPECT_TRUE(platform::exists("/data/modes/custom_mode4"));
    EXPECT_EQ(store->ram_para.mode_save_request, 0);
    EXPECT_EQ(store->ram_para.current_mode, 4);
}

// ---------------------------------------------------------------- writes from worker threads

namespace {

// A writer as the chip manager thread is one: edits the live block under the
// manager's mutex, then announces the change.
void workerWrite(KelRamPara* store, u16 brightness)
{
    {
        QMutexLocker lock(&x518_manage::mutex);
        store->ram_para.brightness = brightness;
    }
    KelRamPara::test_signal(SYNC_PARA_CHANGED);
}

}  // namespace

TEST_F(Notifier, EveryWriteFromAWorkerReachesTheFileWhateverItsTiming)
{
    QObject::connect(store, SIGNAL(sig_update_para(int)), sync, SLOT(para_sync(int)));
    // Two writes 50 ms apart; then a run of writes landing while write-backs run.
    struct Run {
        int writes;
        int gapMs;
    };
    for (const Run run : {Run{2, 50}, Run{2000, 0}}) {
        SCOPED_TRACE(run.writes);
        const u16 last = static_cast<u16>(2 * run.writes);
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (u16 v = static_cast<u16>(run.writes + 1); v <= last; ++v) {
                workerWrite(store, v);
                std::this_thread::sleep_for(std::chrono::milliseconds(run.gapMs));
            }
            done = true;
        });
        EXPECT_TRUE(waitUntil([&] { return done && paraFileField(2176) == last; }));
        worker.join();
    }
    EXPECT_TRUE(shadowEqualsLive());
}

TEST_F(Notifier, ABurstOfWritesLeavesOneCodeOfAKindWaiting)
{
    QObject::connect(store, SIGNAL(sig_update_para(int)), sync, SLOT(para_sync(int)));
    std::vector<int> delivered;
    const auto spy =
        QObject::connect(store, &KelRamPara::sig_update_para, sync, [&](int code) { delivered.push_back(code); });
    // The GUI thread takes no event while the burst runs.
    std::thread worker([&] {
        for (u16 v = 1; v <= 10000; ++v) {
            workerWrite(store, v);
            if (v % 100 == 0)
                KelRamPara::test_signal(SYNC_INPUT_TIMING);
        }
    });
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, (std::vector<int>{SYNC_PARA_CHANGED, SYNC_INPUT_TIMING}));
    EXPECT_EQ(paraFileField(2176), 10000);
    // Once delivered, a code of that kind is handed over again.
    std::thread([&] { workerWrite(store, 3); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered.size(), 3u);
    EXPECT_EQ(paraFileField(2176), 3);
    QObject::disconnect(spy);
}

TEST_F(Notifier, AWorkerAnnouncesWhileASlotOfAGuiThreadCodeRuns)
{
    // Such a slot may run the tip box's modal loop for seconds; a worker
    // announcing meanwhile (the chip manager, holding its mutex) must not wait.
    std::atomic<bool> announced{false};
    bool inTime = false;
    std::thread worker;
    const auto slot = QObject::connect(store, &KelRamPara::sig_update_para, sync, [&](int code) {
        if (code != SYNC_PARA_CHANGED)
            return;
        worker = std::thread([&] {
            KelRamPara::test_signal(SYNC_INPUT_TIMING);
            announced = true;
        });
        for (int ms = 0; ms < 5000 && !announced; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        inTime = announced;
    });
    KelRamPara::test_signal(SYNC_PARA_CHANGED);
    worker.join();
    EXPECT_TRUE(inTime);
    QObject::disconnect(slot);
}

TEST_F(Notifier, TransferCodesOnlyCheckTheWindowAndTheLeds)
{
    bus().plug(kVid, kPid);
    g_kel_keys = 1;
    g_image_current = 3;  // hidden
    g_page_focus = 40;    // no page: would run the language check
    store->ram_para.brightness = 1;
    store->ram_para.language = 1;
    store->ram_para.mode_save_request = 2;
    for (int code : {SYNC_FILE_STARTED, SYNC_TRANSFER_DIALOG_OFF}) {
        sync->para_sync(code);
        EXPECT_EQ(g_image_current.load(), 0);
        EXPECT_EQ(paraFileField(2176), 100);
        EXPECT_FALSE(platform::exists("/data/modes/custom_mode2"));
        EXPECT_EQ(g_language.load(), 0);
        g_image_current = 3;
    }
    EXPECT_EQ(reports().size(), 1u);
}

TEST_F(Notifier, WindowLayoutPageKeepsAHiddenCurrentWindowAndNoPageRunsTheLanguageCheck)
{
    g_image_current = 4;
    g_page_focus = PAGE_WINDOW_LAYOUT;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(g_image_current.load(), 4);
    g_page_focus = PAGE_MAIN_MENU;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(g_image_current.load(), 0);
    store->ram_para.image[4].enable = 1;
    g_image_current = 4;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(g_image_current.load(), 4);
    // A page number beyond the pages.
    g_lcd_lang_valid = 0x10006;
    store->ram_para.language = 2;
    g_page_focus = 27;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(g_language.load(), 2);
}

// ---------------------------------------------------------------- user modes

TEST_F(Notifier, SaveRequestSavesTheModeWithItsOverlayCopy)
{
    writeBoxFile(KelRamPara::kOverlayFile, "{\"osd\":1}");
    store->ram_para.osd_enable = 1;
    store->ram_para.brightness = 55;
    store->ram_para.mode_save_request = 10;
    sync->para_sync(SYNC_PARA_CHANGED);
    // The overlay is copied on the file-copy thread; the mode's file follows.
    ASSERT_TRUE(waitUntil([&] { return !store->modeFilePending(9); }));

    const std::string f = readBoxFile("/data/modes/custom_mode10");
    ASSERT_EQ(f.size(), 4096u);  // the slot image, byte by byte in the store's tests
    EXPECT_EQ(std::memcmp(f.data() + 2, reinterpret_cast<const char*>(&store->ram_para) + 896, 3200), 0);
    EXPECT_EQ(readBoxFile("/data/modes/MO0a.json"), "{\"osd\":1}");
    EXPECT_EQ(store->KelUserModeSaved(9), 1);
    EXPECT_EQ(store->ram_para.current_mode, 10);
    EXPECT_EQ(store->ram_para.mode_save_request, 0);
    EXPECT_EQ(paraFileField(866), 10);
    EXPECT_EQ(paraFileField(868), 0);
    EXPECT_EQ(paraFileField(2176), 55);
}

TEST_F(Notifier, SavedModeWithoutOverlayIsRecalledAfterARestart)
{
    store->ram_para.sharpness = 3;
    store->ram_para.mode_save_request = 1;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_FALSE(platform::exists("/data/modes/MO01.json"));

    delete KelRamPara::p_kelrampara_config;
    KelRamPara::p_kelrampara_config = nullptr;
    store = KelRamPara::pInstance();
    EXPECT_EQ(store->KelUserModeSaved(0), 1);
    EXPECT_EQ(ram::loadU16(store->ram_user_mode[0].data + 2180 - 896), 3);
    EXPECT_EQ(store->ram_para.sharpness, 3);
    EXPECT_EQ(store->ram_para.current_mode, 0);  // reset at start
    EXPECT_EQ(store->KelUserModeIndex(5, 1), 0);
}

TEST_F(Notifier, SaveRequestEqualToTheShadowOrOutsideTheSixteenModesIsIgnored)
{
    store->ram_para.mode_save_request = 5;
    store->ram_para_shadow.mode_save_request = 5;
    store->ram_para.brightness = 9;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_FALSE(platform::exists("/data/modes/custom_mode5"));
    for (u16 n : {u16(17), u16(0x100), u16(0xFFFF)}) {
        store->ram_para.mode_save_request = n;
        sync->para_sync(SYNC_PARA_CHANGED);
        EXPECT_EQ(store->ram_para.mode_save_request, 0) << n;
        EXPECT_EQ(store->ram_para.current_mode, 0) << n;
    }
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(store->KelUserModeSaved(i), 0) << i;
    EXPECT_TRUE(journalWith("rm").empty());
}

TEST_F(Notifier, CodeTwoWritesSavedSlotsAndDeletesEmptyOnes)
{
    // Mode 1 exists with an overlay copy; the protocol empties its slot and
    // writes mode 2 directly.
    store->ram_para.osd_enable = 1;
    writeBoxFile(KelRamPara::kOverlayFile, "{}");
    store->ram_para.mode_save_request = 1;
    sync->para_sync(SYNC_PARA_CHANGED);
    ASSERT_TRUE(waitUntil([&] { return !store->modeFilePending(0); }));
    ASSERT_TRUE(platform::exists("/data/modes/MO01.json"));

    u8 empty[2] = {0xFF, 0xFF};
    ASSERT_EQ(store->KelModeUserRamParaDeal(empty, 2, 0x1000), 0);
    std::vector<u8> mode2(4096, 0x21);
    mode2[0] = mode2[1] = 0xAA;
    ASSERT_EQ(store->KelModeUserRamParaDeal(mode2.data(), 4096, 0x2000), 0);
    store->ram_para.mode_save_request = 7;
    store->ram_para_shadow.mode_save_request = 7;  // already served
    sync->para_sync(SYNC_MODE_FILES);

    EXPECT_FALSE(platform::exists("/data/modes/custom_mode1"));
    EXPECT_FALSE(platform::exists("/data/modes/MO01.json"));
    EXPECT_EQ(store->ram_para.mode_save_request, 0);
    EXPECT_EQ(readBoxFile("/data/modes/custom_mode2"), std::string(mode2.begin(), mode2.end()));
    EXPECT_FALSE(platform::exists("/data/modes/MO02.json"));  // written as it stands
    EXPECT_EQ(store->KelUserModeSaved(0), 0);
    EXPECT_EQ(store->KelUserModeSaved(1), 1);
}

// ---------------------------------------------------------------- saves while the chip is down or the disk fails

namespace {

// A page that draws the brightness when the live block differs from the
// shadow, as the pages do. While it draws for the first time, a PC write
// of another brightness lands (after its field was drawn).
class BrightnessPage : public Page {
public:
    explicit BrightnessPage(QWidget*) : Page(PAGE_LED_SETTINGS, nullptr) {}
    void language_changed() override {}
    void syncUpdate(int) override
    {
        KelRamPara* s = KelRamPara::p_kelrampara_config;
        if (s->ram_para.brightness != s->ram_para_shadow.brightness)
            shown = s->ram_para.brightness;
        if (landing) {
            s->ram_para.brightness = landing;
            landing = 0;
        }
    }
    int shown = -1;
    u8 landing = 0;
};
BrightnessPage* g_brightness_page = nullptr;

}  // namespace

// The write's own change code comes after the pass that was drawing: the
// page still sees it as a change, and the file gets it then.
TEST_F(Notifier, AWriteLandingWhileThePageIsDrawnIsDrawnByItsOwnCode)
{
    QTimer::singleShot(0, [&] {
        BrightnessPage* page = g_brightness_page;
        store->ram_para.brightness = 30;
        page->landing = 60;
        sync->para_sync(SYNC_PARA_CHANGED);
        EXPECT_EQ(page->shown, 30);
        EXPECT_EQ(paraFileField(2176), 30);
        sync->para_sync(SYNC_PARA_CHANGED);
        EXPECT_EQ(page->shown, 60);
        EXPECT_EQ(paraFileField(2176), 60);
        EXPECT_TRUE(shadowEqualsLive());
        page->slot_Button_back_clicked();
    });
    Page::openOnTop(g_brightness_page);
}

TEST_F(Notifier, AWriteThatNoCodeAnnouncesIsSavedByTheWatchAtItsSecondLook)
{
    KelRamPara::save_owed = 0;
    KelRamPara::editBlock([](KEL_RAM_PARA& b) { b.contrast = 33; });  // nobody applies it
    sync->watchSaves();
    EXPECT_NE(paraFileField(2178), 33);  // one look: the chip may still announce it
    sync->watchSaves();
    EXPECT_EQ(paraFileField(2178), 33);
    EXPECT_EQ(KelRamPara::save_owed.load(), 0);
    EXPECT_TRUE(shadowEqualsLive());

    // A slot commit (register 11 bit 2) is owed as code 2.
    std::vector<u8> mode3(4096, 0x33);
    mode3[0] = mode3[1] = 0xAA;
    ASSERT_EQ(store->KelModeUserRamParaDeal(mode3.data(), 4096, 0x3000), 0);
    KelRamPara::raiseApply(SYNC_MODE_FILES);
    sync->watchSaves();
    sync->watchSaves();
    EXPECT_EQ(readBoxFile("/data/modes/custom_mode3"), std::string(mode3.begin(), mode3.end()));
    EXPECT_EQ(KelRamPara::save_owed.load(), 0);
}

TEST_F(Notifier, AModeSaveOnAFullDiskLeavesTheSlotUnsavedUntilItsFileIsWritten)
{
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    store->ram_para.brightness = 55;
    store->ram_para.mode_save_request = 4;
    testing::internal::CaptureStdout();
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("user mode 4 is not saved yet"), std::string::npos);
    EXPECT_EQ(store->KelUserModeSaved(3), 0);
    EXPECT_TRUE(store->modeFilePending(3));
    EXPECT_FALSE(platform::exists("/data/modes/custom_mode4"));
    EXPECT_EQ(store->reg_image.save_state, ram::kSaveParaFileFails | ram::kSaveModeFileWaits);
    EXPECT_TRUE(sync->paraFileFailing());
    EXPECT_EQ(store->ram_para.mode_save_request, 0);  // taken: the retry carries it

    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    EXPECT_TRUE(waitUntil([&] { return store->KelUserModeSaved(3) == 1; }));
    const std::string f = readBoxFile("/data/modes/custom_mode4");
    ASSERT_EQ(f.size(), 4096u);
    EXPECT_EQ(ram::loadU16(reinterpret_cast<const u8*>(f.data()) + 2 + 2176 - 896), 55);
    EXPECT_TRUE(waitUntil([&] { return store->reg_image.save_state == 0; }));
    EXPECT_EQ(paraFileField(2176), 55);
    EXPECT_EQ(paraFileField(866), 4);
}

TEST_F(Notifier, ACommittedSlotReadsAsSavedOnlyOnceItsFileIsWritten)
{
    store->ram_para.mode_save_request = 1;  // slot 0 saved, its file written
    sync->para_sync(SYNC_PARA_CHANGED);
    ASSERT_EQ(store->KelUserModeSaved(0), 1);
    std::vector<u8> mode2(4096, 0x21);
    mode2[0] = mode2[1] = 0xAA;
    ASSERT_EQ(store->KelModeUserRamParaDeal(mode2.data(), 4096, 0x2000), 0);

    platform::sim::setDiskFault(platform::sim::DiskFault::kReadOnly);
    sync->para_sync(SYNC_MODE_FILES);
    EXPECT_EQ(store->KelUserModeSaved(0), 1);  // its file holds it already
    EXPECT_EQ(store->KelUserModeSaved(1), 0);
    EXPECT_EQ(store->ram_user_mode[1].marker[0], ram::kSlotUnsaved);
    EXPECT_EQ(store->ram_user_mode[1].data[0], 0x21);
    EXPECT_FALSE(platform::exists("/data/modes/custom_mode2"));
    EXPECT_EQ(store->reg_image.save_state, ram::kSaveModeFileWaits);
    // Another commit meanwhile neither deletes nor forgets it.
    sync->para_sync(SYNC_MODE_FILES);
    EXPECT_TRUE(store->modeFilePending(1));

    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    EXPECT_TRUE(waitUntil([&] { return store->KelUserModeSaved(1) == 1; }));
    EXPECT_EQ(readBoxFile("/data/modes/custom_mode2"), std::string(mode2.begin(), mode2.end()));
    EXPECT_EQ(store->reg_image.save_state, 0);

    // A waiting file is given up with its mode.
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    store->ram_para.mode_save_request = 9;
    sync->para_sync(SYNC_PARA_CHANGED);
    ASSERT_TRUE(store->modeFilePending(8));
    store->mode_file_deal(8, 1);
    EXPECT_FALSE(store->modeFilePending(8));
    EXPECT_FALSE(store->modeFilesPending());
}

// A save acknowledged while the disk is full waits for its file; a commit of
// the slots meanwhile (slot 3 empty, slot 5 saved before) must neither
// delete nor overwrite it with what the slot held: the save lands once the
// disk takes it, and register 44 tells until then.
TEST_F(Notifier, ASlotCommitLeavesASaveThatWaitsForTheDiskToLand)
{
    store->ram_para_shadow.mode_save_request = 0;  // a request the shadow holds counts as carried out
    store->ram_para.brightness = 20;
    store->ram_para.mode_save_request = 5;
    sync->para_sync(SYNC_PARA_CHANGED);
    ASSERT_EQ(store->KelUserModeSaved(4), 1);
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    store->ram_para.brightness = 55;
    for (u16 mode : {3, 5}) {
        store->ram_para.mode_save_request = mode;
        sync->para_sync(SYNC_PARA_CHANGED);
    }
    sync->para_sync(SYNC_MODE_FILES);
    EXPECT_TRUE(store->modeFilePending(2));
    EXPECT_TRUE(store->modeFilePending(4));
    EXPECT_EQ(store->reg_image.save_state, ram::kSaveParaFileFails | ram::kSaveModeFileWaits);

    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    EXPECT_TRUE(waitUntil([&] { return store->reg_image.save_state == 0; }));
    for (int slot : {2, 4}) {
        EXPECT_EQ(store->KelUserModeSaved(slot), 1) << slot;
        EXPECT_EQ(ram::loadU16(store->ram_user_mode[slot].data + 2176 - 896), 55) << slot;
        const std::string f = readBoxFile(KelRamPara::modeFilePath(slot));
        ASSERT_EQ(f.size(), 4096u) << slot;
        EXPECT_EQ(ram::loadU16(reinterpret_cast<const u8*>(f.data()) + 2 + 2176 - 896), 55) << slot;
    }
}

// A save with the overlay on copies the overlay (here 5 MiB, the most a
// link stores) on the file-copy thread. With the disk too slow to take it,
// the change notifier returns at once with the save pending in register 44
// and the slot as it was, the block's own saves go on meanwhile, and the
// save lands whole once the disk has the copy: the copy, then the mode.
TEST_F(Notifier, ASaveWhoseOverlayCopyWaitsForASlowDiskHoldsUpNothing)
{
    const std::string overlay(5 << 20, 'o');
    writeBoxFile(KelRamPara::kOverlayFile, overlay);
    // The copy would wait five minutes. Should this thread wait for it (the
    // fault), a watch lets the disk go on, so that the case fails, not hangs.
    std::atomic<bool> done{false};
    platform::sim::setDiskSlow(60000);
    std::thread watch([&] {
        for (int i = 0; i < 300 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        platform::sim::setDiskSlow(0);
    });
    store->ram_para.osd_enable = 1;
    store->ram_para.brightness = 77;
    store->ram_para.mode_save_request = 3;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_TRUE(store->saveWaits(2));
    EXPECT_EQ(store->KelUserModeSaved(2), 0);
    EXPECT_EQ(store->reg_image.save_state, ram::kSaveModeFileWaits);
    EXPECT_FALSE(platform::exists("/data/modes/custom_mode3"));
    EXPECT_TRUE(waitUntil([] { return platform::sim::slowSyncsWaiting() == 1; }));
    store->ram_para.contrast = 12;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(paraFileField(2178), 12);
    EXPECT_TRUE(store->saveWaits(2));

    done = true;
    watch.join();
    ASSERT_TRUE(waitUntil([&] { return !store->modeFilePending(2); }));
    EXPECT_EQ(store->KelUserModeSaved(2), 1);
    EXPECT_EQ(store->reg_image.save_state, 0);
    EXPECT_EQ(readBoxFile("/data/modes/MO03.json"), overlay);
    const std::string f = readBoxFile(KelRamPara::modeFilePath(2));
    ASSERT_EQ(f.size(), 4096u);
    EXPECT_EQ(ram::loadU16(reinterpret_cast<const u8*>(f.data()) + 2 + 2176 - 896), 77);
}

// ---------------------------------------------------------------- key-pad LEDs

TEST_F(Notifier, LedReportFollowsTheCurrentWindowAndIsSentOnlyWhenItChanges)
{
    bus().plug(kVid, kPid);
    // Window 0 shown on HDMI1 without signal.
    sync->update_usb_keyLed();
    // The same state again: nothing sent.
    sync->update_usb_keyLed();
    store->ram_para.source_status[1] = SOURCE_STATUS{1920, 1080, 60};
    sync->update_usb_keyLed();
    // Window 2 shown on a crop of HDMI3 with signal, frozen and black.
    store->ram_para.crop_list[7].key = static_cast<u16>(0x8000 | 3);
    store->ram_para.image[2].enable = 1;
    store->ram_para.image[2].source = 0x8007;
    store->ram_para.image[2].flags = ram::kFlagFreeze | ram::kFlagBlack;
    store->ram_para.source_status[3] = SOURCE_STATUS{3840, 2160, 30};
    g_image_current = 2;
    sync->update_usb_keyLed();
    // Window 3 shown on DVI with a zero rate (no signal); an update runs.
    store->ram_para.image[3].enable = 1;
    store->ram_para.image[3].source = 0;
    store->ram_para.source_status[0] = SOURCE_STATUS{1920, 1080, 0};
    g_image_current = 3;
    g_update_flag = 1;
    sync->update_usb_keyLed();
    g_update_flag = 0;
    // Window 1 hidden on HDMI2 with signal: no window LED.
    store->ram_para.image[1].source = 2;
    store->ram_para.source_status[2] = SOURCE_STATUS{1280, 720, 60};
    g_image_current = 1;
    sync->update_usb_keyLed();
    store->ram_para.image[1].enable = 1;
    sync->update_usb_keyLed();

    const std::vector<Report> expected = {
        {0xA5, 0x04, 0x00, 0x20, 0x00}, {0xA5, 0x04, 0x00, 0x10, 0x00}, {0xA5, 0x00, 0x01, 0x01, 0x05},
        {0x5A, 0x00, 0x04, 0x08, 0x00}, {0xA5, 0x00, 0x00, 0x40, 0x00}, {0xA5, 0x10, 0x00, 0x40, 0x00},
    };
    EXPECT_EQ(reports(), expected);
}

TEST_F(Notifier, NoReportWithoutTheKeyPadAndAFailedOneIsNotRetriedUntilItChanges)
{
    // Present on the bus but not at start: the notifier leaves the LEDs alone.
    bus().plug(kVid, kPid);
    store->ram_para.brightness = 3;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_TRUE(reports().empty());
    g_kel_keys = 1;
    bus().setWriteFails(true);
    sync->para_sync(SYNC_PARA_CHANGED);
    bus().setWriteFails(false);
    sync->update_usb_keyLed();
    EXPECT_TRUE(reports().empty());
    store->ram_para.image[0].flags = ram::kFlagBlack;
    sync->para_sync(SYNC_PARA_CHANGED);
    EXPECT_EQ(reports(), (std::vector<Report>{{0xA5, 0x04, 0x00, 0x20, 0x04}}));
}
