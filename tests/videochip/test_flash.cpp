// The chip's serial flash through its controller: erase, write and read
// byte-exact, page flushes, erase units, refused arguments, bounded waits,
// the flash lock, the fonts and their DMA into chip memory.
#include "tests/videochip/chip_test.h"

#include <QTemporaryDir>
#include <thread>

namespace {

using Op = platform::sim::SimX518Flash::Op;

std::vector<u8> pattern(size_t n, u8 seed)
{
    std::vector<u8> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<u8>(i * 7 + seed);
    return out;
}

std::vector<Op> opsOf(const std::vector<Op>& log, Op::Kind kind)
{
    std::vector<Op> out;
    for (const Op& op : log)
        if (op.kind == kind)
            out.push_back(op);
    return out;
}

// A font header: type 'P' (present), encoding, width, height.
std::vector<u8> fontHeader(char type, u8 encoding, u8 height)
{
    std::vector<u8> h(x518_manage::kFontHeaderSize, 0);
    h[0] = static_cast<u8>(type);
    h[5] = encoding;
    h[17] = height / 2;
    h[18] = height;
    return h;
}

}  // namespace

class ChipFlash : public ManagerTest {
protected:
    void SetUp() override
    {
        ManagerTest::SetUp();
        x518_manage::flash_waits.eraseMs = 200;
        x518_manage::flash_waits.dmaMs = 200;
        chip->clearFlashLog();
    }
    int write(u32 address, std::vector<u8> data)
    {
        return m->write_flash(fd, int(address), int(data.size()), reinterpret_cast<char*>(data.data()));
    }
    std::vector<u8> read(u32 address, size_t n, int* rc = nullptr)
    {
        std::vector<u8> out(n);
        const int r = m->read_flash(fd, int(address), int(n), reinterpret_cast<char*>(out.data()));
        if (rc)
            *rc = r;
        return out;
    }
};

TEST_F(ChipFlash, EraseWriteAndReadAreByteExact)
{
    chip->loadFlash(0x2000, std::vector<u8>(0x1000, 0x00));  // an old, programmed sector
    ASSERT_EQ(m->erase_flash(fd, 2, 1, x518_manage::kErase4K), 0);
    EXPECT_EQ(chip->flash(0x2000, 0x1000), std::vector<u8>(0x1000, 0xFF));
    const auto data = pattern(300, 3);
    ASSERT_EQ(write(0x2100, data), 0);
    EXPECT_EQ(chip->flash(0x2100, 300), data);
    EXPECT_EQ(read(0x2100, 300), data);
    EXPECT_EQ(read(0x20FF, 1), std::vector<u8>{0xFF});
    EXPECT_EQ(read(0x222C, 1), std::vector<u8>{0xFF});
    // Flushed at the page end after the 256th byte and after the last one.
    const auto programs = opsOf(chip->flashLog(), Op::Program);
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_EQ(programs[0].address, 0x2100u);
    EXPECT_EQ(programs[0].length, 256u);
    EXPECT_EQ(programs[1].address, 0x2200u);
    EXPECT_EQ(programs[1].length, 44u);
    EXPECT_TRUE(opsOf(chip->flashLog(), Op::Refused).empty());
}

// The simulated chip keeps its serial flash over a restart of the box on
// the same root, as the FPGA flashes are kept (a font installed by a run is
// there after the reboot); a fresh root's flash is erased.
TEST_F(ChipFlash, TheSerialFlashOutlivesARestartOfTheBox)
{
    const auto font = pattern(5000, 5);
    ASSERT_EQ(m->erase_flash(fd, 0x10, 2, x518_manage::kErase4K), 0);
    ASSERT_EQ(write(0x10000, font), 0);
    ASSERT_EQ(read(0x10000, font.size()), font);
    auto restarted = [](const std::string& root) {
        platform::sim::resetBox(root);
        return platform::sim::deviceAs<SimX518>(SimX518::kDevicePath)->flash(0x10000, 5000);
    };
    EXPECT_EQ(restarted(root_), font);
    EXPECT_EQ(readBoxFile(SimX518::kFlashFile).size(), 2u * (4 + 4096));
    QTemporaryDir fresh;
    EXPECT_EQ(restarted(fresh.path().toStdString()), std::vector<u8>(5000, 0xFF));
    platform::sim::resetBox(root_);
}

TEST_F(ChipFlash, AWriteEndingOnAPageBoundaryFlushesInsideTheLoopOnly)
{
    ASSERT_EQ(write(0x3080, pattern(0x180, 1)), 0);  // ends at 0x3200
    const auto programs = opsOf(chip->flashLog(), Op::Program);
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_EQ(programs[1].address, 0x3100u);
    EXPECT_EQ(programs[1].length, 0x100u);
    // Length 0: on a page boundary no wait at all, elsewhere one page-end wait.
    chip->resetCounters();
    ASSERT_EQ(write(0x4000, {}), 0);
    EXPECT_EQ(chip->counters().reads, 0u);
    ASSERT_EQ(write(0x4001, {}), 0);
    EXPECT_GT(chip->counters().reads, 0u);
}

TEST_F(ChipFlash, EraseUnitsFollowTheKind)
{
    ASSERT_EQ(m->erase_flash(fd, 2, 3, x518_manage::kErase4K), 0);
    ASSERT_EQ(m->erase_flash(fd, 8, 2, x518_manage::kErase32K), 0);
    ASSERT_EQ(m->erase_flash(fd, 32, 1, x518_manage::kErase64K), 0);
    ASSERT_EQ(m->erase_flash(fd, 48, 0, x518_manage::kErase64K), 0);
    const auto erases = opsOf(chip->flashLog(), Op::Erase);
    ASSERT_EQ(erases.size(), 6u);
    const u32 at[] = {0x2000, 0x3000, 0x4000, 0x8000, 0x10000, 0x20000};
    const u32 len[] = {0x1000, 0x1000, 0x1000, 0x8000, 0x8000, 0x10000};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(erases[i].address, at[i]) << i;
        EXPECT_EQ(erases[i].length, len[i]) << i;
    }
}

TEST_F(ChipFlash, AStartInsideAUnitOrARangePastTheFlashIsRefused)
{
    chip->loadFlash(0, std::vector<u8>(0x100, 0));
    EXPECT_EQ(m->erase_flash(fd, 1, 1, x518_manage::kErase32K), x518_manage::kFlashBadArgs);
    EXPECT_EQ(m->erase_flash(fd, 8, 1, x518_manage::kErase64K), x518_manage::kFlashBadArgs);
    EXPECT_EQ(m->erase_flash(fd, 8191, 2, x518_manage::kErase4K), x518_manage::kFlashBadArgs);
    EXPECT_EQ(m->erase_flash(fd, -1, 1, x518_manage::kErase4K), x518_manage::kFlashBadArgs);
    EXPECT_EQ(write(x518_manage::kFlashSize - 1, {1, 2}), x518_manage::kFlashBadArgs);
    int rc = 0;
    read(x518_manage::kFlashSize, 1, &rc);
    EXPECT_EQ(rc, x518_manage::kFlashBadArgs);
    EXPECT_TRUE(chip->flashLog().empty());
    EXPECT_EQ(chip->flash(0, 1), std::vector<u8>{0});
}

// A write-disable recovery leaves its own opcode in the erase-opcode
// register; every unit after it must still erase.
TEST_F(ChipFlash, EveryUnitErasesAfterAWriteDisableRecovery)
{
    chip->loadFlash(0x10000, std::vector<u8>(0x3000, 0x11));
    chip->setWelLeftSet(true);
    ASSERT_EQ(m->erase_flash(fd, 16, 3, x518_manage::kErase4K), 0);
    EXPECT_EQ(opsOf(chip->flashLog(), Op::Erase).size(), 3u);
    EXPECT_TRUE(opsOf(chip->flashLog(), Op::Refused).empty());
    EXPECT_EQ(chip->flash(0x10000, 0x3000), std::vector<u8>(0x3000, 0xFF));
    EXPECT_FALSE(chip->writeEnableLatch());
    // The same holds for a write's pages.
    const auto data = pattern(600, 9);
    ASSERT_EQ(write(0x10000, data), 0);
    EXPECT_EQ(read(0x10000, 600), data);
}

TEST_F(ChipFlash, AFlashThatNeverBecomesReadyFailsInsteadOfHanging)
{
    x518_manage::flash_waits.pageReads = 500;
    const struct {
        unsigned stuck;
        const char* what;
    } cases[] = {
        {SimX518::kStuckFlashWrite, "write busy"},
        {SimX518::kStuckWriteFifo, "write FIFO"},
        {SimX518::kStuckFlashWip, "write in progress"},
        {SimX518::kStuckWriteEnable, "write-enable latch"},
    };
    for (const auto& c : cases) {
        chip->setStuck(c.stuck);
        EXPECT_EQ(write(0x5000, pattern(10, 1)), x518_manage::kFlashTimeout) << c.what;
        EXPECT_EQ(m->erase_flash(fd, 5, 1, x518_manage::kErase4K) == 0,
                  c.stuck == SimX518::kStuckFlashWrite || c.stuck == SimX518::kStuckWriteFifo)
            << c.what;
    }
    chip->setStuck(SimX518::kStuckFlashErase);
    chip->clearFlashLog();
    EXPECT_EQ(m->erase_flash(fd, 5, 2, x518_manage::kErase4K), x518_manage::kFlashTimeout);
    EXPECT_EQ(opsOf(chip->flashLog(), Op::Erase).size(), 1u);  // the second unit never started
    chip->setStuck(SimX518::kStuckReadStart);
    int rc = 0;
    read(0, 4, &rc);
    EXPECT_EQ(rc, x518_manage::kFlashTimeout);
    chip->setStuck(SimX518::kStuckFlashDma);
    EXPECT_EQ(m->osd_write_dma_sfl(fd, 0, 0x7F000000, 0, 16), x518_manage::kFlashTimeout);
    EXPECT_NE(m->load_fonts(fd), 0);
    chip->setStuck(SimX518::kStuckNone);
    EXPECT_EQ(write(0x7000, pattern(10, 1)), 0);  // the controller is usable again
}

// Two threads writing at once: the flash lock keeps each operation whole,
// so neither one's bytes land in the other's pages.
TEST_F(ChipFlash, OperationsFromTwoThreadsDoNotInterleave)
{
    const auto a = pattern(3000, 1), b = pattern(3000, 2);
    std::thread other([&] {
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(write(0x40000 + u32(i) * 0x1000, b), 0);
    });
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(write(0x80000 + u32(i) * 0x1000, a), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(read(0x60000, 16), std::vector<u8>(16, 0xFF));  // reads in between disturb no writer
    other.join();
    for (u32 i = 0; i < 3; ++i) {
        EXPECT_EQ(chip->flash(0x80000 + i * 0x1000, a.size()), a) << i;
        EXPECT_EQ(chip->flash(0x40000 + i * 0x1000, b.size()), b) << i;
    }
    EXPECT_TRUE(opsOf(chip->flashLog(), Op::Refused).empty());
}

// ---------------------------------------------------------------- fonts

TEST_F(ChipFlash, FontsAreFoundAfterAFontImageIsWritten)
{
    store->reg_image.font_flags = 0xC2;  // bits 6-7 are not the fonts'; bit 1 is stale
    m->read_x518_font(fd);
    EXPECT_EQ(m->font_flags, 0u);
    EXPECT_EQ(store->reg_image.font_flags, 0xC0);

    // A 32-dot English and a 64-dot Chinese font image, header first.
    auto english = fontHeader('P', 1, 32);
    const auto glyphs = pattern(256, 5);
    english.insert(english.end(), glyphs.begin(), glyphs.end());
    ASSERT_EQ(m->erase_flash(fd, 0, 1, x518_manage::kErase4K), 0);
    ASSERT_EQ(write(0x000000, english), 0);
    ASSERT_EQ(m->erase_flash(fd, 0x450, 1, x518_manage::kErase64K), 0);
    ASSERT_EQ(write(0x450000, fontHeader('P', 0, 64)), 0);
    chip->loadFlash(0x410000, fontHeader('p', 1, 64));  // lower case: not a font
    m->read_x518_font(fd);
    EXPECT_EQ(m->font_flags, 0x2u | 0x4u);
    EXPECT_EQ(store->reg_image.font_flags, 0xC0 | 0x01 | 0x28);
    EXPECT_EQ(read(0x23, 256), glyphs);
}

TEST_F(ChipFlash, FontsAreCopiedIntoChipMemoryOneBehindTheOtherAndDmaReachesEachKind)
{
    loadModel();
    m->load_char();
    EXPECT_EQ(m->osd.PS_BG_HACT, m->sys.PS_PANEL_HW);
    ASSERT_EQ(m->load_fonts(fd), 0);
    EXPECT_EQ(m->osd.g_font_addr_32ASCII, 0x7F000000u);
    EXPECT_EQ(m->osd.g_font_addr_32CHN, 0x7F003000u);
    EXPECT_EQ(m->osd.g_font_addr_64ASCII, 0x7F293000u);
    EXPECT_EQ(m->osd.g_font_addr_64CHN, 0x7F29F000u);
    // Then a bitmap and a copy outside the string area.
    ASSERT_EQ(m->osd_write_dma_sfl(fd, 0xED9800, 0x1234, 1, 100), 0);
    ASSERT_EQ(m->osd_write_dma_sfl(fd, 0x10D3C00, 7, 4, 816), 0);
    EXPECT_EQ(writesTo(4, 0x47).back(), 0x33);  // the mode of a copy outside the string area
    const auto dmas = opsOf(chip->flashLog(), Op::Dma);
    ASSERT_EQ(dmas.size(), 6u);
    const u32 from[] = {0x23, 0x10023, 0x410023, 0x450023, 0xED9800, 0x10D3C00};
    const u32 size[] = {0x3000, 0x290000, 0xC000, 0xA40000, 100, 816};
    const u32 to[] = {0x7F000000, 0x7F003000, 0x7F293000, 0x7F29F000, 0x1234, 7};
    const int kind[] = {0, 0, 0, 0, 1, 4};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(dmas[i].address, from[i]) << i;
        EXPECT_EQ(dmas[i].length, size[i]) << i;
        EXPECT_EQ(dmas[i].destination, to[i]) << i;
        EXPECT_EQ(dmas[i].destKind, kind[i]) << i;
    }
}
