// User-mode saves over the links and from the LCD, each carried out with
// the block as it stood at its request, and a seeded random walk over the
// store and its links: block writes, saves from the PC and the LCD,
// recalls, slot commits, the disk failing and coming back, and restarts.
//
// The walk prints its seed; a failing seed replays:
//   KEL_WALK_SEED=7 KEL_WALK_STEPS=200 build/tests/test_links --gtest_filter='StoreLinks.RandomWalk*'
// Without them it runs one fixed seed with a small budget.
#include "app/apply_handover.h"
#include "app/syncupdate.h"
#include "tests/links/handler_test.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <optional>
#include <random>

namespace {

using platform::sim::DiskFault;

constexpr u32 kCurrentMode = offsetof(KEL_RAM_PARA, current_mode);
constexpr u32 kSaveRequest = offsetof(KEL_RAM_PARA, mode_save_request);
constexpr u32 kBrightness = offsetof(KEL_RAM_PARA, brightness);
constexpr u32 kRecallHead = kCurrentMode + 4;  // the 26 bytes a recall carries before the mode's own
constexpr u16 kRecallHeadSize = ram::kUserModeStart - kRecallHead;
constexpr u8 kRegMcuFlag = 11, kCommitSlots = 0x04, kRegSaveState = 44;
constexpr u32 kSlotStep = 0x1000;

u32 slotAddress(int mode)
{
    return kSlotStep * static_cast<u32>(mode);
}

unsigned long envNumber(const char* name, unsigned long fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::strtoul(v, nullptr, 10) : fallback;
}

}  // namespace

class StoreLinks : public HandlerTest {
protected:
    void SetUp() override
    {
        HandlerTest::SetUp();
        sync = SyncUpdate::pInstance();
    }

    u8 write(u32 at, const std::vector<u8>& bytes) { return status(0x11, cat({le32(at), bytes})); }
    std::vector<u8> read(u32 at, u16 count)
    {
        const CTRL_FRAME r = ask(pcRequest(0x10, cat({le32(at), le16(count)})));
        EXPECT_EQ(statusOf(r), 0);
        const std::vector<u8> d = replyData(r);
        return d.size() < 6u ? std::vector<u8>() : std::vector<u8>(d.begin() + 6, d.end());
    }
    u16 read16(u32 at)
    {
        const std::vector<u8> v = read(at, 2);
        return v.size() == 2 ? ram::loadU16(v.data()) : 0xFFFF;
    }
    u8 reg(u8 r)
    {
        const CTRL_FRAME f = ask(pcRequest(0x12, {r, 1}));
        return replyData(f).empty() ? 0xFF : replyData(f).back();
    }
    // What the PC's user-mode page does: the slot with its marker.
    std::vector<u8> readSlot(int mode) { return read(slotAddress(mode), 2 + ram::kUserModeSize); }
    // The documented recall: one write from 866 of the mode, no save
    // request, the 26 bytes of 870-895 as read, and the slot's data.
    u8 recallFromPc(int mode, const std::vector<u8>& slot)
    {
        return write(kCurrentMode, cat({le16(static_cast<u16>(mode)), le16(0), read(kRecallHead, kRecallHeadSize),
                                        std::vector<u8>(slot.begin() + 2, slot.end())}));
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
    // The u16 at `blockOffset` in user mode `mode`'s slot and in its file.
    u16 slotField(int mode, u32 blockOffset)
    {
        return ram::loadU16(store->ram_user_mode[mode - 1].data + ram::slotDataIndex(static_cast<int>(blockOffset)));
    }
    u16 fileField(int mode, u32 blockOffset)
    {
        const std::string f = readBoxFile(KelRamPara::modeFilePath(mode - 1));
        const size_t at = 2 + static_cast<size_t>(ram::slotDataIndex(static_cast<int>(blockOffset)));
        return f.size() < at + 2 ? 0xFFFF : ram::loadU16(reinterpret_cast<const u8*>(f.data()) + at);
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
    const std::vector<u8> mode1 = readSlot(1);

    ASSERT_EQ(write(kBrightness, le16(51)), 0);
    ASSERT_EQ(write(kSaveRequest, le16(3)), 0);
    ASSERT_EQ(write(kBrightness, le16(52)), 0);
    ASSERT_EQ(write(kSaveRequest, le16(4)), 0);
    ASSERT_EQ(write(kBrightness, le16(53)), 0);
    saveFromLcd(5);
    EXPECT_EQ(read16(kSaveRequest), 5);
    ASSERT_EQ(recallFromPc(1, mode1), 0);
    EXPECT_EQ(read16(kSaveRequest), 5);  // the recall's 0 drops none of them
    applyPass();
    for (const auto& [mode, brightness] : {std::pair{3, 51}, std::pair{4, 52}, std::pair{5, 53}}) {
        EXPECT_EQ(store->KelUserModeSaved(mode - 1), 1) << mode;
        EXPECT_EQ(slotField(mode, kBrightness), brightness) << mode;
        EXPECT_EQ(fileField(mode, kBrightness), brightness) << mode;
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
    EXPECT_EQ(fileField(6, kBrightness), 10);
    EXPECT_EQ(fileField(7, kBrightness), 54);
}

// ---------------------------------------------------------------- the walk

namespace {

// What a slot holds: saved with its data, or empty.
struct SlotImage {
    bool saved = false;
    std::vector<u8> data;
    bool operator==(const SlotImage& o) const { return saved == o.saved && (!saved || data == o.data); }
};

// A file that waits for the disk: a save's or a commit's.
enum class Waits { kNone, kSave, kCommit };

constexpr int kOsdInData = ram::slotDataIndex(offsetof(KEL_RAM_PARA, osd_enable));

bool overlayOn(const SlotImage& s)
{
    return s.saved && ram::loadU16(s.data.data() + kOsdInData) == 1;
}

// The documented rules, kept beside the box: what every slot and file must
// hold, what 868, 866 and register 44 must read.
struct StoreModel {
    std::vector<u8> block;  // block offsets 896-4095 as the PC wrote or recalled them
    // Per user mode: the last request acknowledged; what the file holds;
    // a save taken and not yet carried out; a file waiting for the disk.
    std::array<SlotImage, ram::kUserModes> wanted{}, onDisk{}, pending{};
    std::array<bool, ram::kUserModes> taken{};
    std::array<Waits, ram::kUserModes> waits{};
    std::array<std::optional<SlotImage>, ram::kUserModes> committed{};  // written into the slot, not yet committed
    bool raised = false, commitRaised = false;
    u16 lastRequest = 0, currentMode = 0;
    DiskFault disk = DiskFault::kNone;

    bool anyTaken() const { return std::find(taken.begin(), taken.end(), true) != taken.end(); }
    bool anyWaiting() const
    {
        return std::any_of(waits.begin(), waits.end(), [](Waits w) { return w != Waits::kNone; });
    }
    bool settled(int i) const { return !taken[i] && waits[i] == Waits::kNone && !committed[i]; }

    void request(int i)
    {
        wanted[i] = SlotImage{true, block};
        taken[i] = true;
        lastRequest = static_cast<u16>(i + 1);
        currentMode = lastRequest;
        raised = true;
    }
    // A write the disk does not take still lands when the file holds the
    // image already (a save's only without its overlay copy).
    void write(int i, const SlotImage& image, Waits by, bool overlay)
    {
        if (disk == DiskFault::kNone || (!overlay && onDisk[i] == image)) {
            onDisk[i] = image;
            waits[i] = Waits::kNone;
        } else {
            pending[i] = image;
            waits[i] = by;
        }
    }
    void pass()
    {
        if (!raised)
            return;
        std::array<bool, ram::kUserModes> saved = taken;
        for (int i = 0; i < ram::kUserModes; ++i)
            if (taken[i])
                write(i, wanted[i], Waits::kSave, overlayOn(wanted[i]));
        taken.fill(false);
        // A save asked for before the commit's pass, or still waiting,
        // keeps its slot.
        for (int i = 0; commitRaised && i < ram::kUserModes; ++i) {
            if (!committed[i] || saved[i] || waits[i] == Waits::kSave)
                continue;
            wanted[i] = *committed[i];
            if (wanted[i].saved) {
                write(i, wanted[i], Waits::kCommit, false);
            } else {
                // The shell's rm is not refused by the simulated disk.
                onDisk[i] = wanted[i];
                waits[i] = Waits::kNone;
            }
        }
        if (commitRaised)
            committed.fill(std::nullopt);
        raised = commitRaised = false;
    }
    void retry()
    {
        for (int i = 0; i < ram::kUserModes; ++i)
            if (waits[i] != Waits::kNone)
                write(i, pending[i], waits[i], waits[i] == Waits::kSave && overlayOn(pending[i]));
    }
    void restart()
    {
        wanted = onDisk;
        taken.fill(false);
        waits.fill(Waits::kNone);
        committed.fill(std::nullopt);
        raised = commitRaised = false;
        lastRequest = currentMode = 0;
        disk = DiskFault::kNone;
    }
};

}  // namespace

class StoreWalk : public StoreLinks {
protected:
    SlotImage slotInBox(int i)
    {
        const std::vector<u8> s = readSlot(i + 1);
        if (s.size() != 2u + ram::kUserModeSize)
            return SlotImage{true, {}};  // matches nothing
        if (s[0] == ram::kSlotEmpty && s[1] == ram::kSlotEmpty)
            return SlotImage{};
        if (s[0] == ram::kSlotSaved && s[1] == ram::kSlotSaved)
            return SlotImage{true, std::vector<u8>(s.begin() + 2, s.end())};
        return SlotImage{true, {}};  // not saved yet: matches nothing
    }
    SlotImage fileInBox(int i)
    {
        std::string f;
        if (!platform::readFile(KelRamPara::modeFilePath(i), f))
            return SlotImage{};
        const bool whole = f.size() == size_t(ram::kSlotFileSize) && static_cast<u8>(f[0]) == ram::kSlotSaved &&
                           static_cast<u8>(f[1]) == ram::kSlotSaved;
        return SlotImage{true, whole ? std::vector<u8>(f.begin() + 2, f.begin() + 2 + ram::kUserModeSize)
                                     : std::vector<u8>{0}};
    }
    // Every slot and file, 868, 866 and register 44 as the rules say.
    void check(const StoreModel& m)
    {
        for (int i = 0; i < ram::kUserModes; ++i) {
            EXPECT_TRUE(fileInBox(i) == m.onDisk[i]) << "file of user mode " << i + 1;
            if (m.settled(i)) {
                EXPECT_TRUE(slotInBox(i) == m.wanted[i]) << "slot of user mode " << i + 1;
            }
        }
        EXPECT_EQ(read16(kSaveRequest), m.anyTaken() ? m.lastRequest : 0);
        EXPECT_EQ(read16(kCurrentMode), m.currentMode);
        EXPECT_EQ((reg(kRegSaveState) & ram::kSaveModeFileWaits) != 0, m.anyWaiting());
    }
    void walk(unsigned long seed, unsigned long steps);
};

void StoreWalk::walk(unsigned long seed, unsigned long steps)
{
    std::printf("store walk: seed %lu, %lu steps (KEL_WALK_SEED=%lu KEL_WALK_STEPS=%lu replays it)\n", seed, steps,
                seed, steps);
    std::fflush(stdout);
    std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
    auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto bytes = [&](size_t n) {
        std::vector<u8> v(n);
        for (u8& b : v)
            b = static_cast<u8>(rng());
        return v;
    };
    StoreModel m;
    m.block = read(ram::kUserModeStart, ram::kUserModeSize);
    enum Step { kWrite, kPcSave, kLcdSave, kPcRecall, kLcdRecall, kCommit, kPass, kRetry, kDisk, kRestart };
    // Weights, in the order of Step.
    const int weights[] = {26, 12, 8, 6, 4, 8, 18, 6, 8, 4};
    const int total = std::accumulate(std::begin(weights), std::end(weights), 0);
    for (unsigned long n = 1; n <= steps && !HasFailure(); ++n) {
        int pick = below(total), step = 0;
        while (pick >= weights[step])
            pick -= weights[step++];
        const int i = below(ram::kUserModes);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(n) + ": kind " + std::to_string(step) +
                     ", user mode " + std::to_string(i + 1));
        switch (step) {
        case kWrite: {
            const size_t len = 1 + static_cast<size_t>(below(32));
            const size_t at = static_cast<size_t>(below(ram::kUserModeSize - static_cast<int>(len) + 1));
            const std::vector<u8> v = bytes(len);
            ASSERT_EQ(write(static_cast<u32>(ram::kUserModeStart + at), v), 0);
            std::copy(v.begin(), v.end(), m.block.begin() + static_cast<long>(at));
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
            const std::vector<u8> slot = readSlot(i + 1);
            if (slot.size() != 2u + ram::kUserModeSize || slot[0] != ram::kSlotSaved || slot[1] != ram::kSlotSaved)
                break;
            if (step == kPcRecall)
                ASSERT_EQ(recallFromPc(i + 1, slot), 0);
            else
                ASSERT_TRUE(store->recallUserMode(i));
            m.block.assign(slot.begin() + 2, slot.end());
            m.currentMode = static_cast<u16>(i + 1);
            m.raised = true;
            break;
        }
        case kCommit: {
            const bool keep = below(10) < 7;
            const std::vector<u8> marker(2, keep ? ram::kSlotSaved : ram::kSlotEmpty);
            const std::vector<u8> data = below(2) ? m.block : bytes(ram::kUserModeSize);
            ASSERT_EQ(write(slotAddress(i + 1), cat({marker, data})), 0);
            ASSERT_EQ(status(0x13, {kRegMcuFlag, kCommitSlots}), 0);
            m.committed[i] = keep ? SlotImage{true, data} : SlotImage{};
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
        case kDisk: {
            const DiskFault faults[] = {DiskFault::kNone, DiskFault::kFull, DiskFault::kReadOnly};
            m.disk = faults[below(3)];
            platform::sim::setDiskFault(m.disk);
            break;
        }
        case kRestart:
            restart();
            m.restart();
            m.block = read(ram::kUserModeStart, ram::kUserModeSize);
            break;
        }
        check(m);
    }
}

// CI: one fixed seed, a small budget. By hand: KEL_WALK_SEED and
// KEL_WALK_STEPS choose another.
TEST_F(StoreWalk, RandomWalkOverSavesRecallsCommitsDiskFaultsAndRestarts)
{
    walk(envNumber("KEL_WALK_SEED", 52), envNumber("KEL_WALK_STEPS", 150));
}
