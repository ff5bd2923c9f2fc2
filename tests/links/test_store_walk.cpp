// User-mode saves over the links and from the LCD, each carried out with
// the block as it stood at its request, and a seeded random walk over the
// store and its links: block writes, saves from the PC and the LCD,
// recalls, slot commits, the disk failing and coming back, and restarts;
// and beside them the record of incomplete upgrade programs: USB upgrade
// runs with the disk switching under them, the FPGA manager's passes, and
// restarts as after a power cut.
// The build runs the walk with seed 52 for 150 steps
// (tests/support/random_walk.h).
#include "app/apply_handover.h"
#include "app/syncupdate.h"
#include "fpga/fpga_manage.h"
#include "fpga/usb_package.h"
#include "platform/sim/sim_fpga.h"
#include "links/file_deal.h"
#include "tests/links/file_test.h"
#include "tests/links/handler_test.h"
#include "tests/support/random_walk.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <optional>
#include <thread>

namespace {

using platform::sim::DiskFault;
using Bytes = std::vector<u8>;
// A slot or a mode file: the user-mode part it holds saved, or none.
using Slot = std::optional<Bytes>;

constexpr u32 kCurrentMode = offsetof(KEL_RAM_PARA, current_mode);
constexpr u32 kSaveRequest = offsetof(KEL_RAM_PARA, mode_save_request);
constexpr u32 kBrightness = offsetof(KEL_RAM_PARA, brightness);
constexpr u32 kRecallHead = kCurrentMode + 4;  // the 26 bytes a recall carries before the mode's own
constexpr u16 kRecallHeadSize = ram::kUserModeStart - kRecallHead;
constexpr u8 kRegMcuFlag = 11, kCommitSlots = 0x04, kRegSaveState = 44;
constexpr int kOsdInData = ram::slotDataIndex(offsetof(KEL_RAM_PARA, osd_enable));

u32 slotAddress(int mode)
{
    return 0x1000u * static_cast<u32>(mode);
}
// The u16 at `blockOffset` in a slot or file; 0xFFFF when it holds none.
u16 fieldOf(const Slot& s, u32 blockOffset)
{
    const size_t at = static_cast<size_t>(ram::slotDataIndex(static_cast<int>(blockOffset)));
    return s && s->size() >= at + 2 ? ram::loadU16(s->data() + at) : 0xFFFF;
}

}  // namespace

class StoreLinks : public HandlerTest {
protected:
    void SetUp() override
    {
        HandlerTest::SetUp();
        sync = SyncUpdate::pInstance();
    }

    u8 write(u32 at, const Bytes& bytes) { return status(0x11, cat({le32(at), bytes})); }
    Bytes read(u32 at, u16 count)
    {
        const CTRL_FRAME r = ask(pcRequest(0x10, cat({le32(at), le16(count)})));
        EXPECT_EQ(statusOf(r), 0);
        const Bytes d = replyData(r);
        return d.size() < 6u ? Bytes() : Bytes(d.begin() + 6, d.end());
    }
    u16 read16(u32 at)
    {
        const Bytes v = read(at, 2);
        return v.size() == 2 ? ram::loadU16(v.data()) : 0xFFFF;
    }
    u8 reg(u8 r)
    {
        const CTRL_FRAME f = ask(pcRequest(0x12, {r, 1}));
        return replyData(f).empty() ? 0xFF : replyData(f).back();
    }
    // The slot as the PC's user-mode page reads it: its data when saved; an
    // empty one (which matches no model) when it is neither saved nor empty.
    Slot slotOf(int mode)
    {
        const Bytes s = read(slotAddress(mode), 2 + ram::kUserModeSize);
        if (s.size() == 2u + ram::kUserModeSize && s[0] == ram::kSlotEmpty && s[1] == ram::kSlotEmpty)
            return std::nullopt;
        const bool saved = s.size() == 2u + ram::kUserModeSize && s[0] == ram::kSlotSaved && s[1] == ram::kSlotSaved;
        return saved ? Bytes(s.begin() + 2, s.end()) : Bytes();
    }
    // The mode's file: its data when whole; an empty one when it is not.
    Slot fileOf(int mode)
    {
        std::string f;
        if (!platform::readFile(KelRamPara::modeFilePath(mode - 1), f))
            return std::nullopt;
        const bool whole = f.size() == size_t(ram::kSlotFileSize) && static_cast<u8>(f[0]) == ram::kSlotSaved &&
                           static_cast<u8>(f[1]) == ram::kSlotSaved;
        return whole ? Bytes(f.begin() + 2, f.begin() + 2 + ram::kUserModeSize) : Bytes();
    }
    // The documented recall: one write from 866 of the mode, no save
    // request, the 26 bytes of 870-895 as read, and the slot's data.
    u8 recallFromPc(int mode, const Bytes& data)
    {
        return write(kCurrentMode,
                     cat({le16(static_cast<u16>(mode)), le16(0), read(kRecallHead, kRecallHeadSize), data}));
    }
    // The mode bar's save: asked once while it is the request pending.
    void saveFromLcd(u16 mode)
    {
        QMutexLocker lock(&ApplyHandover::mutex);
        if (store->ram_para.mode_save_request == mode)
            return;
        store->takeSaveRequest(mode);
        KelRamPara::raiseApplyLocked(1);
    }
    // The chip manager's pass: it takes the flag and announces its code.
    void applyPass()
    {
        const u8 flag = ApplyHandover::flag.exchange(0);
        if (flag)
            sync->para_sync(flag >= SYNC_MODE_FILES ? SYNC_MODE_FILES : SYNC_PARA_CHANGED);
    }
    // The box switched off and on: what was only in memory is gone, and
    // a fault of the simulated disk with it.
    void restart()
    {
        delete SyncUpdate::p_SyncUpdate;
        SyncUpdate::p_SyncUpdate = nullptr;
        delete KelRamPara::p_kelrampara_config;
        KelRamPara::p_kelrampara_config = nullptr;
        KelRamPara::save_owed = 0;
        ApplyHandover::flag = 0;
        platform::sim::setDiskFault(DiskFault::kNone);
        store = KelRamPara::pInstance();
        sync = SyncUpdate::pInstance();
    }

    SyncUpdate* sync = nullptr;
};

// Saves sent back to back before one apply pass (a long one, behind a
// canvas change), the LCD's among them, and a recall right after them: each
// save lands holding the block of its own request, and 868 and register 44
// say "done" only once every file is written.
TEST_F(StoreLinks, SavesBeforeOnePassAreEachCarriedOutWithTheBlockOfTheirRequest)
{
    ASSERT_EQ(write(kBrightness, le16(10)), 0);
    ASSERT_EQ(write(kSaveRequest, le16(1)), 0);
    applyPass();
    const Bytes mode1 = slotOf(1).value_or(Bytes());
    ASSERT_EQ(mode1.size(), size_t(ram::kUserModeSize));
    for (u16 mode : {3, 4})
        ASSERT_TRUE(write(kBrightness, le16(48 + mode)) == 0 && write(kSaveRequest, le16(mode)) == 0);
    ASSERT_EQ(write(kBrightness, le16(53)), 0);
    saveFromLcd(5);
    EXPECT_EQ(read16(kSaveRequest), 5);
    ASSERT_EQ(recallFromPc(1, mode1), 0);
    EXPECT_EQ(read16(kSaveRequest), 5);  // the recall's 0 drops none of them
    applyPass();
    for (int mode : {3, 4, 5}) {
        EXPECT_EQ(fieldOf(slotOf(mode), kBrightness), 48 + mode) << mode;
        EXPECT_EQ(fieldOf(fileOf(mode), kBrightness), 48 + mode) << mode;
    }
    EXPECT_EQ(read16(kSaveRequest), 0);
    EXPECT_EQ(reg(kRegSaveState), 0);
    EXPECT_EQ(read16(kCurrentMode), 1);
    EXPECT_EQ(read16(kBrightness), 10);

    // A recall that lands while the notifier writes a save's file (on its
    // own thread the link does not wait for it) leaves 868 reading the
    // mode until the file is written.
    ASSERT_EQ(write(kSaveRequest, le16(8)), 0);
    u8 block8[ram::kUserModeSize];
    {
        QMutexLocker lock(&ApplyHandover::mutex);
        ASSERT_TRUE(store->handOverSave(7, block8));
    }
    ASSERT_EQ(recallFromPc(1, mode1), 0);
    EXPECT_EQ(read16(kSaveRequest), 8);
    {
        QMutexLocker lock(&ApplyHandover::mutex);
        store->saveRequestsDone();
    }
    EXPECT_EQ(read16(kSaveRequest), 0);

    // On a full disk 868 reads 0 once the saves were carried out, and
    // register 44 tells that their files wait.
    platform::sim::setDiskFault(DiskFault::kFull);
    ASSERT_EQ(write(kSaveRequest, le16(6)), 0);
    ASSERT_EQ(write(kBrightness, le16(54)), 0);
    ASSERT_EQ(write(kSaveRequest, le16(7)), 0);
    applyPass();
    EXPECT_EQ(read16(kSaveRequest), 0);
    EXPECT_EQ(reg(kRegSaveState) & ram::kSaveModeFileWaits, ram::kSaveModeFileWaits);
    platform::sim::setDiskFault(DiskFault::kNone);
    sync->retrySaves();
    EXPECT_EQ(reg(kRegSaveState), 0);
    EXPECT_EQ(fieldOf(fileOf(6), kBrightness), 10);
    EXPECT_EQ(fieldOf(fileOf(7), kBrightness), 54);
}

// A link stores an uploaded file of 5 MiB, its sync held by a slow disk.
// The LCD's save of a user mode meanwhile, and the parameter file's
// write-back with it, are written at once: the GUI thread does not wait
// for the store, which lands whole afterwards.
TEST_F(StoreLinks, AnLcdSaveWhileALinkSyncsALargeUploadDoesNotWaitForIt)
{
    const Bytes upload = filetest::pattern(file_deal::kBufferSize, 7);
    const std::vector<CTRL_FRAME> frames = filetest::transferFrames("SMAP", upload, "large", 13);
    platform::sim::setDiskSlow(4000);  // the upload's sync: 20 s
    message_deal udp{message_deal::LINK_UDP};
    std::atomic<u8> stored{0xFF};
    std::thread link([&] {
        stored =
            filetest::sendAll(frames, [&](const CTRL_FRAME& f) { return std::optional<CTRL_FRAME>(reply(udp, f)); });
    });
    const bool syncing = waitUntil([] { return platform::sim::slowSyncsWaiting() == 1; }, 30000);
    const bool written = write(kBrightness, le16(61)) == 0;
    saveFromLcd(2);
    applyPass();
    const bool stillSyncing = platform::sim::slowSyncsWaiting() == 1;
    platform::sim::setDiskSlow(0);
    link.join();
    ASSERT_TRUE(syncing && written);
    EXPECT_TRUE(stillSyncing);  // the save was through before the store
    EXPECT_EQ(fieldOf(slotOf(2), kBrightness), 61);
    EXPECT_EQ(fieldOf(fileOf(2), kBrightness), 61);
    EXPECT_EQ(paraFileField(int(kBrightness)), 61);
    EXPECT_EQ(stored, 0);
    std::string file;
    EXPECT_TRUE(platform::readFile("/data/smartmapping/large", file));
    EXPECT_TRUE(filetest::bytesOf(file) == upload);
}

// A commit whose file waits for the disk, then the slot deleted and
// committed again: the first file landing late leaves the deletion in the
// slot, and the second commit carries it out.
TEST_F(StoreLinks, ACommitLandingLateLeavesTheSlotWrittenSince)
{
    auto commit = [&](u8 marker, u8 fill) {
        ASSERT_EQ(write(slotAddress(3), cat({Bytes(2, marker), Bytes(ram::kUserModeSize, fill)})), 0);
        ASSERT_EQ(status(0x13, {kRegMcuFlag, kCommitSlots}), 0);
    };
    platform::sim::setDiskFault(DiskFault::kReadOnly);
    commit(ram::kSlotSaved, 0x11);
    applyPass();
    platform::sim::setDiskFault(DiskFault::kNone);
    commit(ram::kSlotEmpty, ram::kSlotEmpty);
    sync->retrySaves();
    EXPECT_EQ(slotOf(3), std::nullopt);
    applyPass();
    EXPECT_EQ(slotOf(3), std::nullopt);
    EXPECT_EQ(fileOf(3), std::nullopt);
}

// ---------------------------------------------------------------- the walk

namespace {

bool overlayOn(const Slot& s)
{
    return s && s->size() == size_t(ram::kUserModeSize) && ram::loadU16(s->data() + kOsdInData) == 1;
}

// The documented rules, kept beside the box: what every slot and file must
// hold, what 868, 866 and register 44 must read. Index i is user mode i + 1.
struct StoreModel {
    enum Waits { kNone, kSave, kCommit };  // a file waiting for the disk, and whose
    Bytes block;                           // block offsets 896-4095 as the PC wrote or recalled them
    // The last request acknowledged; what the file holds; what waits for the disk.
    std::array<Slot, ram::kUserModes> wanted{}, onDisk{}, pending{};
    std::array<bool, ram::kUserModes> taken{};  // a save taken, not yet carried out
    std::array<Waits, ram::kUserModes> waits{};
    std::map<int, Slot> committed;  // written into the slot, not yet committed
    bool raised = false, commitRaised = false;
    u16 lastRequest = 0, currentMode = 0;
    DiskFault disk = DiskFault::kNone;

    bool anyTaken() const { return std::count(taken.begin(), taken.end(), true) > 0; }
    bool anyWaiting() const { return std::count(waits.begin(), waits.end(), kNone) < ram::kUserModes; }
    bool settled(int i) const { return !taken[i] && waits[i] == kNone && !committed.count(i); }

    void request(int i)
    {
        wanted[i] = block;
        taken[i] = raised = true;
        currentMode = lastRequest = static_cast<u16>(i + 1);
    }
    // A write the disk does not take still lands when the file holds the
    // image already (a save's only without its overlay copy).
    void write(int i, const Slot& image, Waits by, bool overlay)
    {
        const bool lands = disk == DiskFault::kNone || (!overlay && onDisk[i] == image);
        (lands ? onDisk : pending)[i] = image;
        waits[i] = lands ? kNone : by;
    }
    void pass()
    {
        if (!raised)
            return;
        const std::array<bool, ram::kUserModes> saved = taken;
        for (int i = 0; i < ram::kUserModes; ++i)
            if (taken[i])
                write(i, wanted[i], kSave, overlayOn(wanted[i]));
        taken.fill(false);
        // A save asked for before the commit's pass, or still waiting,
        // keeps its slot. The shell's rm is not refused by the simulated disk.
        for (const auto& [i, image] : committed) {
            if (!commitRaised || saved[i] || waits[i] == kSave)
                continue;
            wanted[i] = image;
            if (image)
                write(i, image, kCommit, false);
            else
                onDisk[i] = image, waits[i] = kNone;
        }
        if (commitRaised)
            committed.clear();
        raised = commitRaised = false;
    }
    // A save that lands puts its block in the slot, over what the PC wrote
    // there meanwhile: a commit still to come writes that block as it stands.
    void retry()
    {
        for (int i = 0; i < ram::kUserModes; ++i) {
            const Waits by = waits[i];
            if (by == kNone)
                continue;
            write(i, pending[i], by, by == kSave && overlayOn(pending[i]));
            if (by == kSave && waits[i] == kNone && committed.count(i))
                committed[i] = pending[i];
        }
    }
    void restart()
    {
        wanted = onDisk;
        taken.fill(false);
        waits.fill(kNone);
        committed.clear();
        raised = commitRaised = false;
        lastRequest = currentMode = 0;
        disk = DiskFault::kNone;
    }
};

}  // namespace

// After every step every slot and file, 868, 866 and register 44 are as the
// rules say. Beside the store, USB upgrades write FPGA programs with the
// disk switching under them (now and then a flash that tears, refuses or
// cannot be read back, and an application), the FPGA manager passes, and
// restarts are power cuts: after every step an FPGA whose flash may hold a
// torn program (told by what the flash holds) is marked, in the record and
// in memory; the record marks nothing that is not marked in memory but what
// the manager tells as behind (what the page shows); a pass with the disk
// taking files leaves the record up to date; an FPGA marked and held in
// reset stays held; a start holds exactly the FPGAs the record marks; and
// a run that restarts the box leaves no FPGA newly marked.
TEST_F(StoreLinks, RandomWalkOverSavesRecallsCommitsDiskFaultsAndRestarts)
{
    using Flash = platform::sim::SimNorFlash;
    RandomWalk walk("store walk", 52, 150);
    auto bytes = [&](size_t n) {
        Bytes v(n);
        for (u8& b : v)
            b = static_cast<u8>(walk.rng());
        return v;
    };
    StoreModel m;
    m.block = read(ram::kUserModeStart, ram::kUserModeSize);

    // The FPGA side: the manager driven pass by pass, the flashes behind the
    // FPGAs, and which of them may hold a torn program.
    g_usb_grade_path = QStringLiteral("KEL-R8");
    fpga_manage* fpgas = fpgaManagerOutOfReset();
    const std::shared_ptr<platform::sim::SimFpgaBoard> board = platform::sim::fpgaBoard();
    ASSERT_TRUE(board);
    std::array<bool, fpga::kFpgas> torn{};
    auto withFlash = [&](int f, const std::function<void(Flash&)>& fn) {
        auto lock = board->lock();
        fn(board->flash(f));
    };
    auto flashHolds = [&](int f, size_t len) {
        Bytes v;
        withFlash(f, [&](Flash& fl) { v = fl.read(0, static_cast<u32>(len)); });
        return v;
    };
    auto held = [&](int f) { return *(f ? fpgas->gpio_rst_fpga1 : fpgas->gpio_rst_fpga0) == fpga::kRstHold; };
    // The box starts again: the manager made anew reads the record and lets
    // out of reset the FPGAs it does not mark.
    auto powerCut = [&] {
        delete fpga_manage::p_fpga_manage;
        fpgas = fpga_manage::pInstance();
        fpgas->initialize_start();
        fpgas->stop();
    };
    auto restartBox = [&] {
        restart();
        m.restart();
        m.block = read(ram::kUserModeStart, ram::kUserModeSize);
        powerCut();
    };

    enum Step {
        kWrite,
        kPcSave,
        kLcdSave,
        kPcRecall,
        kLcdRecall,
        kCommit,
        kPass,
        kRetry,
        kDisk,
        kRestart,
        kUpgrade,
        kFpgaPass
    };
    const int weights[] = {26, 12, 8, 6, 4, 8, 18, 6, 8, 4, 6, 6};  // in the order of Step
    for (int n = 1; n <= walk.steps && !HasFailure(); ++n) {
        const int step = walk.kind(weights), i = walk.below(ram::kUserModes);
        SCOPED_TRACE(walk.step(n, "kind " + std::to_string(step) + ", user mode " + std::to_string(i + 1)));
        switch (step) {
        case kWrite: {
            const int len = 1 + walk.below(32), at = walk.below(ram::kUserModeSize - len + 1);
            const Bytes v = bytes(static_cast<size_t>(len));
            ASSERT_EQ(write(static_cast<u32>(ram::kUserModeStart + at), v), 0);
            std::copy(v.begin(), v.end(), m.block.begin() + at);
            m.raised = true;
            break;
        }
        case kPcSave:
            ASSERT_EQ(write(kSaveRequest, le16(static_cast<u16>(i + 1))), 0);
            m.request(i);
            break;
        case kLcdSave:
            if (!(m.anyTaken() && m.lastRequest == i + 1))
                m.request(i);
            saveFromLcd(static_cast<u16>(i + 1));
            break;
        case kPcRecall:
        case kLcdRecall: {
            const Slot slot = slotOf(i + 1);
            if (!slot || slot->empty())
                break;
            if (step == kPcRecall)
                ASSERT_EQ(recallFromPc(i + 1, *slot), 0);
            else
                ASSERT_TRUE(store->recallUserMode(i));
            m.block = *slot;
            m.currentMode = static_cast<u16>(i + 1);
            m.raised = true;
            break;
        }
        case kCommit: {
            const bool keep = walk.below(10) < 7;
            const Bytes data = walk.below(2) ? m.block : bytes(ram::kUserModeSize);
            ASSERT_EQ(write(slotAddress(i + 1), cat({Bytes(2, keep ? ram::kSlotSaved : ram::kSlotEmpty), data})), 0);
            ASSERT_EQ(status(0x13, {kRegMcuFlag, kCommitSlots}), 0);
            m.committed[i] = keep ? Slot(data) : std::nullopt;
            m.raised = m.commitRaised = true;
            break;
        }
        case kPass:
            applyPass();
            m.pass();
            break;
        case kRetry:
            sync->retrySaves();
            m.retry();
            break;
        case kDisk:
            m.disk = std::array{DiskFault::kNone, DiskFault::kFull, DiskFault::kReadOnly}[walk.below(3)];
            platform::sim::setDiskFault(m.disk);
            break;
        case kRestart: {
            restartBox();
            const u8 marked = incomplete_record::read().fpgas;
            for (int f = 0; f < fpga::kFpgas; ++f)
                EXPECT_EQ(held(f), ((marked >> f) & 1) != 0) << "FPGA " << f + 1 << " at the start";
            break;
        }
        case kUpgrade: {
            // A program for FPGA 0, FPGA 1 or both, now and then with an
            // application before, between or after them.
            const int which = 1 + walk.below(3);
            usbpkg::BuildSpec spec;
            std::array<Bytes, fpga::kFpgas> program, before;
            for (int f = 0; f < fpga::kFpgas; ++f) {
                if (!(which & (1 << f)))
                    continue;
                program[f] = bytes(static_cast<size_t>(4096 + walk.below(36000)));
                before[f] = flashHolds(f, program[f].size());
                spec.children.push_back(
                    {f ? usbpkg::kChildFpga1 : usbpkg::kChildFpga0, program[f], {25, 6, 1, 0, 0, 0}});
                // Now and then a flash whose programs stick (a torn program),
                // that refuses the program, or that cannot be read back.
                const int fault = walk.below(12);
                withFlash(f, [&](Flash& fl) {
                    if (fault == 0)
                        fl.setBusyReads(100000, 2);
                    fl.setWriteProtected(fault == 1);
                    fl.setReadsFail(fault == 2);
                });
            }
            if (walk.below(4) == 0)
                spec.children.insert(spec.children.begin() + walk.below(int(spec.children.size()) + 1),
                                     {usbpkg::kChildApplication, bytes(2000), {25, 6, 1, 11, 3, 0}});
            const Bytes package = usbpkg::build(spec);
            writeBoxFile("/mnt/usb1/KEL-R8/walk.KEL", std::string(package.begin(), package.end()));
            // The disk switched under the run at its k-th erase (0: not at all).
            const int switchAt = walk.below(4);
            const DiskFault switchTo =
                std::array{DiskFault::kNone, DiskFault::kFull, DiskFault::kReadOnly}[walk.below(3)];
            int erases = 0;
            for (int f = 0; f < fpga::kFpgas; ++f)
                withFlash(f, [&](Flash& fl) {
                    fl.setEraseHook([&] {
                        if (++erases == switchAt)
                            platform::sim::setDiskFault(switchTo);
                    });
                });
            const u8 markedBefore = fpgas->incomplete_fpgas.load();
            g_usb_grade = 1;
            for (int pass = 0; pass < 20 && g_usb_grade.load(); ++pass)
                fpgas->usb_upgrade_manage_deal();
            ASSERT_EQ(g_usb_grade.load(), 0u);
            for (int f = 0; f < fpga::kFpgas; ++f)
                withFlash(f, [](Flash& fl) {
                    fl.setEraseHook(nullptr);
                    fl.setBusyReads(1, 2);
                    fl.setWriteProtected(false);
                    fl.setReadsFail(false);
                });
            m.disk = platform::sim::diskFault();
            // What each flash holds: the new program whole, what it held, or
            // neither: torn.
            for (int f = 0; f < fpga::kFpgas; ++f) {
                if (program[f].empty())
                    continue;
                const Bytes now = flashHolds(f, program[f].size());
                if (now == program[f])
                    torn[f] = false;
                else if (now != before[f])
                    torn[f] = true;
            }
            // A run that installs an application restarts the box: no FPGA
            // may then be held in reset that this run did not find so.
            if (g_app_reset_flag.load()) {
                EXPECT_FALSE(fpgas->recordBehind());
                EXPECT_EQ(incomplete_record::read().fpgas & ~markedBefore, 0);
                g_app_reset_flag = 0;
                G_reboot_tickTicks = 0;
                restartBox();
            }
            break;
        }
        case kFpgaPass: {
            std::array<bool, fpga::kFpgas> heldBefore{};
            for (int f = 0; f < fpga::kFpgas; ++f)
                heldBefore[f] = held(f);
            G_timeTicks += fpga_manage::kRecordRetryTicks + static_cast<u32>(walk.below(fpga_manage::kResetTicks));
            fpgas->fpga_manage_deal();
            for (int f = 0; f < fpga::kFpgas; ++f) {
                if (heldBefore[f] && fpgas->programIncomplete(static_cast<u8>(f))) {
                    EXPECT_TRUE(held(f)) << "FPGA " << f + 1 << " let out of reset while marked";
                }
            }
            if (m.disk == DiskFault::kNone) {
                EXPECT_FALSE(fpgas->recordBehind());
                EXPECT_EQ(incomplete_record::read().fpgas, fpgas->incomplete_fpgas.load());
            }
            break;
        }
        }
        for (int k = 0; k < ram::kUserModes; ++k) {
            EXPECT_TRUE(fileOf(k + 1) == m.onDisk[k]) << "file of user mode " << k + 1;
            if (m.settled(k)) {
                EXPECT_TRUE(slotOf(k + 1) == m.wanted[k]) << "slot of user mode " << k + 1;
            }
        }
        EXPECT_EQ(read16(kSaveRequest), m.anyTaken() ? m.lastRequest : 0);
        EXPECT_EQ(read16(kCurrentMode), m.currentMode);
        EXPECT_EQ((reg(kRegSaveState) & ram::kSaveModeFileWaits) != 0, m.anyWaiting());
        const incomplete_record::Marks record = incomplete_record::read();
        const u8 marked = fpgas->incomplete_fpgas.load();
        for (int f = 0; f < fpga::kFpgas; ++f)
            if (torn[f]) {
                EXPECT_TRUE((record.fpgas >> f) & 1) << "FPGA " << f + 1 << "'s torn program not in the record";
                EXPECT_TRUE((marked >> f) & 1) << "FPGA " << f + 1 << "'s torn program not marked";
            }
        EXPECT_EQ(marked & ~record.fpgas, 0) << "marked, but not in the record";
        EXPECT_EQ(fpgas->stale_fpgas.load(), record.fpgas & ~marked) << "the record's FPGA marks told behind";
        EXPECT_EQ(fpgas->stale_fonts.load(), record.fonts & ~fpgas->incomplete_fonts.load());
    }
}
