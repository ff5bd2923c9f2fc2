// The controller memory a PC reads and writes: each write goes through the
// manager's thread into the FPGA (read back into the image) and its file,
// what the FPGA does not take is kept and written at its next bring-up, and
// a file the box cannot take is refused whole. The link's side of a write
// runs on a thread of its own; the test drives the manager's passes.
#include "app/syncupdate.h"
#include "app/utils.h"
#include "fpga/controller_memory.h"
#include "tests/fpga/fpga_test.h"

#include <QCoreApplication>
#include <cstdlib>
#include <random>
#include <sys/stat.h>

namespace {

using MemoryWrite = fpga_manage::MemoryWrite;
using Bytes = std::vector<u8>;
constexpr int kSize = ControllerMemory::kSize;

// Port 0's area as a PC writes it: x 128, y 64, 1536 x 896.
const Bytes kPort0Area = {0x80, 0x00, 0x40, 0x00, 0x00, 0x06, 0x80, 0x03};
constexpr u16 kPort0At = 8;

Bytes sub(const Bytes& b, int at, int n) { return Bytes(b.begin() + at, b.begin() + at + n); }

}  // namespace

class ControllerMemoryTest : public FpgaTest {
protected:
    MemoryWrite write(u8 f, u16 offset, const Bytes& bytes)
    {
        return pcMemoryWrite(fpga_manage::p_fpga_manage, f, offset, bytes);
    }
    Bytes image(u8 f)
    {
        const u8* image = fpga_manage::p_fpga_manage->MCU_RAM_PARA_func[f];
        return Bytes(image, image + kSize);
    }
    Bytes held(u8 f) { return board->ram(f, 0, kSize); }
    // The memory FPGA f's file keeps; empty when it keeps none.
    Bytes filed(u8 f)
    {
        Bytes out(kSize);
        QString why;
        return ControllerMemory::parse(readBoxFile(ControllerMemory::kFiles[f]), out.data(), &why) ? out : Bytes{};
    }
    bool memoryWaits() const { return store->reg_image.save_state & ram::kSaveFpgaMemoryWaits; }
    // The box starts again on the same root; `powerCut`: the FPGAs lose
    // their memories as at a power cut (they are 0 when the box starts).
    void restart(bool powerCut)
    {
        delete fpga_manage::p_fpga_manage;
        if (powerCut)
            for (int f = 0; f < fpga::kFpgas; ++f)
                board->setRam(f, 0, Bytes(kSize, 0));
        manager();
    }
};

TEST_F(ControllerMemoryTest, AWriteIsInTheFpgaItsImageAndItsFileOnceReadBack)
{
    ASSERT_TRUE(bringUp());
    const Bytes before = held(0);
    ASSERT_EQ(write(0, kPort0At, kPort0Area), fpga_manage::kMemoryHeld);
    Bytes want = before;
    std::copy(kPort0Area.begin(), kPort0Area.end(), want.begin() + kPort0At);
    EXPECT_EQ(held(0), want);
    EXPECT_EQ(image(0), want);
    EXPECT_EQ(filed(0), want);  // port 1's area, as the FPGA held it, kept with it
    EXPECT_TRUE(filed(1).empty());
    Bytes read(kPort0Area.size());
    ASSERT_TRUE(manager()->readControllerMemory(0, kPort0At, read.data(), static_cast<int>(read.size())));
    EXPECT_EQ(read, kPort0Area);
    EXPECT_FALSE(memoryWaits());
    EXPECT_EQ(write(1, kSize - 2, {0x12, 0x34}), fpga_manage::kMemoryHeld);
    EXPECT_EQ(board->ram(1, kSize - 2, 2), (Bytes{0x12, 0x34}));
}

TEST_F(ControllerMemoryTest, OnlyAFittedFpgaAndARangeInsideItsMemoryAreReachable)
{
    const struct {
        int fpga, offset, len;
        bool reachable;
    } cases[] = {{0, 0, kSize, true}, {0, kSize - 1, 1, true}, {0, kSize - 1, 2, false}, {0, 0, 0, false},
                 {0, -1, 1, false},   {1, 0, kSize, true},     {2, 0, 1, false}};
    for (const auto& c : cases)
        EXPECT_EQ(manager()->memoryReachable(static_cast<u8>(c.fpga), c.offset, c.len), c.reachable)
            << c.fpga << " " << c.offset << " " << c.len;
    // A board without FPGA 1 has no node for it.
    delete fpga_manage::p_fpga_manage;
    ASSERT_TRUE(platform::sim::setFpgasFitted(1));
    EXPECT_FALSE(manager()->memoryReachable(1, 0, 1));
    EXPECT_EQ(manager()->writeControllerMemory(1, 0, kPort0Area.data(), 2), fpga_manage::kMemoryRefused);
    EXPECT_TRUE(manager()->memoryReachable(0, 0, 1));
    EXPECT_FALSE(platform::exists(ControllerMemory::kFiles[1]));
}

// The sim's FPGA keeps its memory over a reset, as the board's does; after
// a power cut the box writes in what it keeps.
TEST_F(ControllerMemoryTest, TheFileIsWrittenIntoTheFpgaAtEveryBringUp)
{
    ASSERT_TRUE(bringUp());
    ASSERT_EQ(write(0, kPort0At, kPort0Area), fpga_manage::kMemoryHeld);
    const Bytes kept = held(0);
    board->holdInReset(0, true);
    board->holdInReset(0, false);
    EXPECT_EQ(held(0), kept);

    restart(true);
    ASSERT_EQ(held(0), Bytes(kSize, 0));
    ASSERT_TRUE(bringUp());
    EXPECT_EQ(held(0), kept);
    EXPECT_EQ(image(0), kept);
    // FPGA 1, of which the box keeps nothing, keeps what it holds.
    EXPECT_EQ(held(1), Bytes(kSize, 0));
}

TEST_F(ControllerMemoryTest, WhatTheFpgaDoesNotTakeIsKeptAndWrittenAtItsNextBringUp)
{
    ASSERT_TRUE(bringUp());
    const Bytes before = held(0);
    // Held in reset, not yet seen by the manager: nothing reads back.
    board->holdInReset(0, true);
    EXPECT_EQ(write(0, kPort0At, kPort0Area), fpga_manage::kMemoryNotHeld);
    EXPECT_EQ(image(0), before);
    passes(1);
    EXPECT_EQ(manager()->get_fpga_status(), 0);
    // Not running: not even tried.
    EXPECT_EQ(write(0, 600, {0x5A}), fpga_manage::kMemoryNotHeld);
    EXPECT_EQ(held(0), before);
    EXPECT_EQ(image(0), before);
    Bytes want = before;
    std::copy(kPort0Area.begin(), kPort0Area.end(), want.begin() + kPort0At);
    want[600] = 0x5A;
    EXPECT_EQ(filed(0), want);

    board->holdInReset(0, false);
    ASSERT_TRUE(bringUp());
    EXPECT_EQ(held(0), want);
    EXPECT_EQ(image(0), want);
    EXPECT_EQ(write(0, 601, {0xA5}), fpga_manage::kMemoryHeld);
}

TEST_F(ControllerMemoryTest, WithTheDiskFullAWriteReachesTheFpgaAndRegister44SaysItIsNotKept)
{
    ASSERT_TRUE(bringUp());
    platform::sim::setDiskFault(platform::sim::DiskFault::kFull);
    codes.clear();
    EXPECT_EQ(write(0, kPort0At, kPort0Area), fpga_manage::kMemoryNotHeld);
    EXPECT_EQ(board->ram(0, kPort0At, 8), kPort0Area);
    EXPECT_EQ(sub(image(0), kPort0At, 8), kPort0Area);
    EXPECT_FALSE(platform::exists(ControllerMemory::kFiles[0]));
    EXPECT_TRUE(memoryWaits());
    QCoreApplication::processEvents();
    EXPECT_EQ(count(SYNC_PARA_CHANGED), 1);
    // The change notifier's bits of register 44 leave the manager's alone.
    SyncUpdate::pInstance()->para_sync(SYNC_PARA_CHANGED);
    EXPECT_TRUE(memoryWaits());

    // Tried again a second later, once the disk takes it.
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    manager()->memoryDeal();
    EXPECT_TRUE(memoryWaits());
    ticks(ControllerMemory::kRetryTicks);
    manager()->memoryDeal();
    EXPECT_EQ(sub(filed(0), kPort0At, 8), kPort0Area);
    EXPECT_FALSE(memoryWaits());
}

// Written before the FPGA ever ran: the box knew only those bytes; the
// rest is what the FPGA holds when it comes up, and the file follows then.
TEST_F(ControllerMemoryTest, BytesWrittenBeforeTheFpgaFirstRanAreMergedIntoWhatItHolds)
{
    board->holdInReset(0, true);
    manager();
    passes(2);
    EXPECT_EQ(write(0, kPort0At, kPort0Area), fpga_manage::kMemoryNotHeld);
    EXPECT_FALSE(platform::exists(ControllerMemory::kFiles[0]));
    EXPECT_TRUE(memoryWaits());
    const Bytes before = held(0);

    board->holdInReset(0, false);
    ASSERT_TRUE(bringUp());
    Bytes want = before;
    std::copy(kPort0Area.begin(), kPort0Area.end(), want.begin() + kPort0At);
    EXPECT_EQ(held(0), want);
    manager()->memoryDeal();
    EXPECT_EQ(filed(0), want);
    EXPECT_FALSE(memoryWaits());
}

TEST_F(ControllerMemoryTest, AFileTheBoxCannotTakeIsRefusedWholeAndTheFpgaKeepsWhatItHolds)
{
    Bytes memory(kSize);
    for (int i = 0; i < kSize; ++i)
        memory[i] = static_cast<u8>(i * 7);
    const std::string good = ControllerMemory::format(memory.data());
    Bytes back(kSize);
    QString why;
    ASSERT_TRUE(ControllerMemory::parse(good, back.data(), &why));
    EXPECT_EQ(back, memory);
    auto changed = [&](int at, char value) {
        std::string f = good;
        f[static_cast<size_t>(at)] = value;
        return f;
    };
    const std::pair<const char*, std::string> files[] = {
        {"empty", ""},
        {"short", good.substr(0, good.size() - 1)},
        {"long", good + '\0'},
        {"magic", changed(0, 'X')},
        {"version", changed(4, 2)},
        {"size", changed(7, 0)},
        {"damaged", changed(ControllerMemory::kHead + 100, 1)},
    };
    const std::string name = ControllerMemory::kFiles[0];
    auto cameUpKeepingWhatItHeld = [&](const char* what) {
        manager();
        const Bytes before = held(0);
        EXPECT_TRUE(bringUp()) << what;
        EXPECT_EQ(held(0), before) << what;
        EXPECT_EQ(image(0), before) << what;
        delete fpga_manage::p_fpga_manage;
    };
    for (const auto& [what, file] : files) {
        EXPECT_FALSE(ControllerMemory::parse(file, back.data(), &why)) << what;
        writeBoxFile(name, file);
        cameUpKeepingWhatItHeld(what);
        EXPECT_EQ(readBoxFile(name), file) << what;
    }
    ASSERT_TRUE(platform::removeFile(name));
    ASSERT_EQ(::mkfifo(platform::path(name).c_str(), 0600), 0);
    cameUpKeepingWhatItHeld("a pipe");
    ASSERT_TRUE(platform::removeFile(name));
    ASSERT_TRUE(platform::makeDirs(name));
    cameUpKeepingWhatItHeld("a folder");
}

// A random walk over writes, FPGA faults, a full disk, bring-ups and
// restarts, against the rules: a write is refused when its range leaves one
// FPGA's memory; it is held only when the FPGA runs and the disk takes its
// file; a running FPGA holds every byte the box keeps; the file keeps every
// write once the disk takes it, and a restart finds what the file keeps (or,
// without one, what the FPGA holds). KEL_WALK_SEED and KEL_WALK_STEPS replay
// a walk; the build's test runs seed 53, 150 steps.
TEST_F(ControllerMemoryTest, ARandomWalkKeepsTheRules)
{
    const char* seedText = std::getenv("KEL_WALK_SEED");
    const char* stepsText = std::getenv("KEL_WALK_STEPS");
    const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 53;
    const int steps = stepsText ? std::atoi(stepsText) : 150;
    std::printf("controller memory walk: seed %u, %d steps\n", seed, steps);
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    constexpr int kSettle = 10;  // passes that bring up an FPGA let go

    manager();
    passes(kSettle);
    // What the box keeps of each FPGA: what it held when it came up, with
    // every write that was not refused over it.
    Bytes kept[fpga::kFpgas] = {held(0), held(1)};
    bool wrote[fpga::kFpgas] = {}, faulty[fpga::kFpgas] = {}, diskFull = false;
    auto running = [&](u8 f) { return !faulty[f] && (f == 1 || fpga_manage::p_fpga_manage->get_fpga_status()); };
    for (int step = 0; step < steps; ++step) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
        const u8 f = static_cast<u8>(pick(fpga::kFpgas));
        switch (pick(5)) {
        case 0:
        case 1: {  // a write, now and then leaving the memory
            const int len = 1 + pick(pick(4) == 0 ? kSize + 8 : 16);
            const int offset = pick(kSize);
            Bytes bytes(static_cast<size_t>(len));
            for (u8& b : bytes)
                b = static_cast<u8>(random());
            const MemoryWrite got = write(f, static_cast<u16>(offset), bytes);
            if (offset + len > kSize) {
                ASSERT_EQ(got, fpga_manage::kMemoryRefused);
                break;
            }
            std::copy(bytes.begin(), bytes.end(), kept[f].begin() + offset);
            wrote[f] = true;
            ASSERT_EQ(got == fpga_manage::kMemoryHeld, running(f) && !diskFull);
            if (got == fpga_manage::kMemoryHeld) {
                ASSERT_EQ(filed(f), kept[f]);
            }
            break;
        }
        case 2:  // the FPGA fails or comes back, and the manager looks
            faulty[f] = !faulty[f];
            board->holdInReset(f, faulty[f]);
            ticks(1);
            passes(kSettle);
            break;
        case 3:  // the disk fills, or takes writes again a second later
            diskFull = !diskFull;
            platform::sim::setDiskFault(diskFull ? platform::sim::DiskFault::kFull : platform::sim::DiskFault::kNone);
            ticks(ControllerMemory::kRetryTicks);
            fpga_manage::p_fpga_manage->memoryDeal();
            break;
        default:  // the box restarts, now and then after a power cut
            ticks(ControllerMemory::kRetryTicks);
            fpga_manage::p_fpga_manage->memoryDeal();
            for (u8 g = 0; g < fpga::kFpgas; ++g)
                if (wrote[g] && !diskFull && running(g)) {
                    ASSERT_EQ(filed(g), kept[g]) << "FPGA " << int(g);
                }
            const bool powerCut = pick(2) == 0;
            restart(powerCut);
            for (u8 g = 0; g < fpga::kFpgas; ++g) {
                kept[g] = filed(g).empty() ? held(g) : filed(g);
                wrote[g] = false;
            }
            passes(kSettle);
            break;
        }
        for (u8 g = 0; g < fpga::kFpgas; ++g)
            if (running(g)) {
                ASSERT_EQ(held(g), kept[g]) << "FPGA " << int(g);
                ASSERT_EQ(image(g), kept[g]) << "FPGA " << int(g);
            }
    }
    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
}
