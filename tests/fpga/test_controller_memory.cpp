// The controller memory a PC reads and writes: a write goes through the
// manager's thread into the FPGA (read back into the image) and its file,
// what the FPGA does not take is written at its next bring-up, and a file
// the box cannot take is refused whole. A write is answered on a thread of
// its own, as a link's; the test drives the manager's passes.
#include "app/syncupdate.h"
#include "fpga/controller_memory.h"
#include "tests/fpga/fpga_test.h"
#include "tests/support/random_walk.h"

#include <QCoreApplication>
#include <QDir>
#include <sys/stat.h>

namespace {

using Bytes = std::vector<u8>;
constexpr int kSize = ControllerMemory::kSize;
const Bytes kPort0Area = {0x80, 0x00, 0x40, 0x00, 0x00, 0x06, 0x80, 0x03};  // 128, 64, 1536 x 896
constexpr u16 kPort0At = 8;

Bytes with(Bytes b, int at, const Bytes& bytes)
{
    std::copy(bytes.begin(), bytes.end(), b.begin() + at);
    return b;
}

}  // namespace

class ControllerMemoryTest : public FpgaTest {
protected:
    fpga_manage::MemoryWrite write(u8 f, u16 offset, const Bytes& bytes)
    {
        return pcMemoryWrite(fpga_manage::p_fpga_manage, f, offset, bytes);
    }
    Bytes image(u8 f)
    {
        const u8* image = fpga_manage::p_fpga_manage->MCU_RAM_PARA_func[f];
        return Bytes(image, image + kSize);
    }
    Bytes held(u8 f) { return board->ram(f, 0, kSize); }
    // What FPGA f's file keeps; empty when it keeps nothing.
    Bytes filed(u8 f)
    {
        Bytes out(kSize);
        QString why;
        return ControllerMemory::parse(readBoxFile(ControllerMemory::kFiles[f]), out.data(), &why) ? out : Bytes{};
    }
    bool memoryWaits() const { return store->reg_image.save_state & ram::kSaveFpgaMemoryWaits; }
    // The box starts again on its root, after a power cut: the FPGAs' memories 0.
    void restart(bool powerCut)
    {
        delete fpga_manage::p_fpga_manage;
        for (int f = 0; powerCut && f < fpga::kFpgas; ++f)
            board->setRam(f, 0, Bytes(kSize, 0));
        manager();
    }
};

TEST_F(ControllerMemoryTest, WithTheDiskFullAWriteReachesTheFpgaAndRegister44SaysItIsNotKept)
{
    ASSERT_TRUE(bringUp());
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    codes.clear();
    EXPECT_EQ(write(0, kPort0At, kPort0Area), fpga_manage::kMemoryNotHeld);
    EXPECT_EQ(board->ram(0, kPort0At, 8), kPort0Area);
    EXPECT_EQ(image(0), held(0));
    EXPECT_TRUE(memoryWaits());
    QCoreApplication::processEvents();
    EXPECT_EQ(count(SYNC_PARA_CHANGED), 1);
    // The change notifier's bits of register 44 leave the manager's alone.
    SyncUpdate::pInstance()->para_sync(SYNC_PARA_CHANGED);
    EXPECT_TRUE(memoryWaits());
    // Tried again a second later, once the disk takes it.
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    ticks(ControllerMemory::kRetryTicks);
    manager()->memoryDeal();
    EXPECT_EQ(filed(0), held(0));
    EXPECT_FALSE(memoryWaits());
}

// Written before the FPGA ever ran, the box knew only those bytes: the rest
// is what the FPGA holds when it comes up, and the file follows then.
TEST_F(ControllerMemoryTest, BytesWrittenBeforeTheFpgaFirstRanAreMergedIntoWhatItHolds)
{
    board->holdInReset(0, true);
    manager();
    EXPECT_EQ(write(0, kPort0At, kPort0Area), fpga_manage::kMemoryNotHeld);
    EXPECT_FALSE(platform::exists(ControllerMemory::kFiles[0]));
    const Bytes want = with(held(0), kPort0At, kPort0Area);
    board->holdInReset(0, false);
    ASSERT_TRUE(bringUp());
    EXPECT_EQ(held(0), want);
    manager()->memoryDeal();
    EXPECT_EQ(filed(0), want);
}

TEST_F(ControllerMemoryTest, AFileTheBoxCannotTakeIsRefusedWholeAndTheFpgaKeepsWhatItHolds)
{
    Bytes memory(kSize);
    for (int i = 0; i < kSize; ++i)
        memory[i] = static_cast<u8>(i * 7);
    const std::string good = ControllerMemory::format(memory.data());
    auto changed = [&good](size_t at, char value) { return std::string(good).replace(at, 1, 1, value); };
    const std::pair<const char*, std::string> files[] = {
        {"good", good},
        {"empty", ""},
        {"short", good.substr(1)},
        {"long", good + '\0'},
        {"magic", changed(0, 'X')},
        {"version", changed(4, 2)},
        {"size", changed(7, 0)},
        {"damaged", changed(ControllerMemory::kHead + 100, 1)},
        {"a pipe", ""},
        {"a folder", ""},
    };
    const std::string name = ControllerMemory::kFiles[0];
    const Bytes before = held(0);
    for (const auto& [what, file] : files) {
        platform::removeFile(name);
        if (what == std::string("a pipe"))
            ASSERT_EQ(::mkfifo(platform::path(name).c_str(), 0600), 0);
        else if (what == std::string("a folder"))
            ASSERT_TRUE(platform::makeDirs(name));
        else
            writeBoxFile(name, file);
        manager();
        EXPECT_TRUE(bringUp()) << what;
        EXPECT_EQ(held(0), file == good ? memory : before) << what;
        EXPECT_EQ(image(0), held(0)) << what;
        delete fpga_manage::p_fpga_manage;
        board->setRam(0, 0, before);
    }
}

// An FPGA that has just stopped reads all ones, so all ones written into it
// read back as written: before the manager has looked, the write is not
// held and the image keeps what the FPGA holds.
TEST_F(ControllerMemoryTest, AllOnesWrittenIntoAnFpgaThatJustStoppedAreNotHeld)
{
    manager();
    passes(10);
    const Bytes old = {1, 2, 3, 4};
    for (u8 f = 0; f < fpga::kFpgas; ++f) {
        ASSERT_EQ(write(f, 0, old), fpga_manage::kMemoryHeld);
        board->holdInReset(f, true);
        EXPECT_EQ(write(f, 0, Bytes(4, 0xFF)), fpga_manage::kMemoryNotHeld) << "FPGA " << int(f);
        EXPECT_EQ(board->ram(f, 0, 4), old);
        const Bytes now = image(f);
        EXPECT_EQ(Bytes(now.begin(), now.begin() + 4), old);
    }
}

// While an FPGA does not run, a read answers what the box keeps for it,
// which it takes when it comes up: its file with a write that answered 3
// over it; without a file, the bytes the PC wrote.
TEST_F(ControllerMemoryTest, WhileAnFpgaDoesNotRunAReadAnswersWhatTheBoxKeepsForIt)
{
    const Bytes memory(kSize, 0x11);
    writeBoxFile(ControllerMemory::kFiles[0], ControllerMemory::format(memory.data()));
    for (u8 f = 0; f < fpga::kFpgas; ++f)
        board->holdInReset(f, true);
    manager();
    passes(3);
    Bytes read(10);
    for (u8 f = 0; f < fpga::kFpgas; ++f) {
        EXPECT_EQ(write(f, kPort0At, kPort0Area), fpga_manage::kMemoryNotHeld);
        ASSERT_TRUE(manager()->readControllerMemory(f, kPort0At - 1, read.data(), 10));
        EXPECT_EQ(read, with(f == 0 ? Bytes(10, 0x11) : Bytes(10, 0), 1, kPort0Area)) << "FPGA " << int(f);
    }
}

// A folder in place of the file is not the box's to remove: a write answers
// 3 and the console says why; once the folder is gone the file is written.
TEST_F(ControllerMemoryTest, AFolderInPlaceOfTheFileIsLeftAloneAndTheConsoleSaysWhy)
{
    const std::string name = ControllerMemory::kFiles[0];
    ASSERT_TRUE(platform::makeDirs(name + "/someone's"));
    ASSERT_TRUE(bringUp());
    testing::internal::CaptureStdout();
    EXPECT_EQ(write(0, kPort0At, kPort0Area), fpga_manage::kMemoryNotHeld);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find(name + " cannot be written: a folder is in its place"), std::string::npos) << console;
    ASSERT_TRUE(QDir(platform::qpath(QString::fromStdString(name))).removeRecursively());
    ticks(ControllerMemory::kRetryTicks);
    manager()->memoryDeal();
    EXPECT_EQ(filed(0), held(0));
}

// A random walk over writes, FPGA faults (FPGA 0's now and then before the
// manager has looked), a full disk and restarts against the rules: a write
// leaving one FPGA's memory is refused; it is held only when the FPGA runs
// (it reads back) and the disk keeps it, and while the FPGA is down its
// image stays; a running FPGA holds all the box keeps; the file keeps every
// write once the disk takes it; a restart finds what the file keeps (or,
// without one, what the FPGA holds). The build runs seed 53 for 150 steps
// (tests/support/random_walk.h).
TEST_F(ControllerMemoryTest, ARandomWalkKeepsTheRules)
{
    RandomWalk walk("controller memory walk", 53, 150);
    constexpr int kSettle = 10;  // passes that bring up an FPGA let go
    enum Step { kWrite, kFpgaFault, kDiskFull, kRestart };
    const int weights[] = {2, 1, 1, 1};  // in the order of Step

    manager();
    passes(kSettle);
    Bytes kept[fpga::kFpgas] = {held(0), held(1)};  // what the box keeps of each FPGA
    bool wrote[fpga::kFpgas] = {}, faulty[fpga::kFpgas] = {}, diskFull = false;
    bool settled = true;  // the manager has looked since the last fault
    auto running = [&](u8 f) { return !faulty[f] && (f == 1 || fpga_manage::p_fpga_manage->get_fpga_status()); };
    for (int n = 0; n < walk.steps; ++n) {
        const int step = walk.kind(weights);
        const u8 f = static_cast<u8>(walk.below(fpga::kFpgas));
        SCOPED_TRACE(walk.step(n, "kind " + std::to_string(step) + ", FPGA " + std::to_string(f)));
        switch (step) {
        case kWrite: {  // now and then leaving the memory
            const int len = 1 + walk.below(walk.below(4) == 0 ? kSize + 8 : 16), offset = walk.below(kSize);
            Bytes bytes(static_cast<size_t>(len));
            for (u8& b : bytes)
                b = static_cast<u8>(walk.rng());
            const Bytes imageBefore = image(f);
            const fpga_manage::MemoryWrite got = write(f, static_cast<u16>(offset), bytes);
            if (offset + len > kSize) {
                ASSERT_EQ(got, fpga_manage::kMemoryRefused);
                break;
            }
            kept[f] = with(kept[f], offset, bytes);
            wrote[f] = true;
            ASSERT_EQ(got == fpga_manage::kMemoryHeld, running(f) && !diskFull);
            if (got == fpga_manage::kMemoryHeld) {
                ASSERT_EQ(filed(f), kept[f]);
            } else if (!running(f)) {
                ASSERT_EQ(image(f), imageBefore);
            }
            break;
        }
        case kFpgaFault:  // the FPGA fails or comes back, and the manager looks
            faulty[f] = !faulty[f];
            board->holdInReset(f, faulty[f]);
            ticks(1);
            settled = f == 1 || walk.below(2) == 0;
            if (settled)
                passes(kSettle);
            break;
        case kDiskFull:  // the disk fills, or takes writes again a second later
            diskFull = !diskFull;
            platform::sim::setDiskFault(diskFull ? platform::sim::DiskFault::kFull : platform::sim::DiskFault::kNone);
            ticks(ControllerMemory::kRetryTicks);
            fpga_manage::p_fpga_manage->memoryDeal();
            break;
        case kRestart:  // now and then after a power cut
            ticks(ControllerMemory::kRetryTicks);
            fpga_manage::p_fpga_manage->memoryDeal();
            for (u8 g = 0; g < fpga::kFpgas; ++g)
                if (wrote[g] && !diskFull && running(g)) {
                    ASSERT_EQ(filed(g), kept[g]) << "FPGA " << int(g);
                }
            restart(walk.below(2) == 0);
            for (u8 g = 0; g < fpga::kFpgas; ++g) {
                kept[g] = filed(g).empty() ? held(g) : filed(g);
                wrote[g] = false;
            }
            passes(kSettle);
            settled = true;
            break;
        }
        for (u8 g = 0; g < fpga::kFpgas && settled; ++g)
            if (running(g)) {
                ASSERT_EQ(held(g), kept[g]) << "FPGA " << int(g);
                ASSERT_EQ(image(g), kept[g]) << "FPGA " << int(g);
            }
    }
}
