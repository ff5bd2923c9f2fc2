#include "fpga/fpga_drv.h"
#include "tests/fpga/fpga_test.h"

#include <numeric>

using platform::sim::SimFpgaBoard;
namespace fl = fpga::flash;

class FlashTest : public FpgaTest {
protected:
    void SetUp() override
    {
        FpgaTest::SetUp();
        ASSERT_EQ(drv.initialize(), 4);
        ASSERT_TRUE(drv.windowMapped());
    }
    int refused(int n)
    {
        return withFlash(n, [](auto& f) { return f.refusedCommands(); });
    }
    size_t erases(int n) { return flashErases(n).size(); }

    fpga_drv drv;
};

TEST_F(FlashTest, EraseIsRefusedPastTheFlashOrForAnUnknownKind)
{
    struct Case {
        unsigned sector, kind, count;
        int result;
    };
    const Case cases[] = {
        {2047, 0, 1, 1}, {2048, 0, 1, 0},        {2047, 0, 2, 0},        {2040, 1, 1, 1},
        {2041, 1, 1, 0}, {2032, 2, 1, 1},        {2033, 2, 1, 0},        {0, 2, 129, 0},
        {0, 3, 1, 0},    {0, 0, 0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0, 1, 0}, {5, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sector << " kind " << c.kind << " count " << c.count);
        const size_t before = erases(0);
        EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_ERASE(2, c.sector, static_cast<unsigned char>(c.kind), c.count), c.result);
        EXPECT_TRUE(c.result || erases(0) == before);
    }
    EXPECT_EQ(refused(0), 0);
}

TEST_F(FlashTest, EraseSetsExactlyItsUnitsToFF)
{
    withFlash(0, [](auto& f) { f.fill(0, std::vector<uint8_t>(0x30000, 0x00)); });
    // Kind 1 at sector 8: one 32 KB block, 0x8000-0xFFFF.
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_ERASE(2, 8, 1, 1), 1);
    EXPECT_EQ(flashRead(0, 0x7FFF, 1)[0], 0x00);
    EXPECT_EQ(flashRead(0, 0x8000, 0x8000), std::vector<uint8_t>(0x8000, 0xFF));
    EXPECT_EQ(flashRead(0, 0x10000, 1)[0], 0x00);
    // Kind 0, two 4 KB sectors from sector 0x12.
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_ERASE(2, 0x12, 0, 2), 1);
    EXPECT_EQ(flashRead(0, 0x11FFF, 1)[0], 0x00);
    EXPECT_EQ(flashRead(0, 0x12000, 0x2000), std::vector<uint8_t>(0x2000, 0xFF));
    EXPECT_EQ(flashRead(0, 0x14000, 1)[0], 0x00);
    // Kind 2 at sector 0x20: one 64 KB block.
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_ERASE(2, 0x20, 2, 1), 1);
    EXPECT_EQ(flashRead(0, 0x20000, 0x10000), std::vector<uint8_t>(0x10000, 0xFF));
    using E = std::pair<uint8_t, uint32_t>;
    EXPECT_EQ(flashErases(0), (std::vector<E>{{fl::kCmdErase32K, 0x8000u},
                                              {fl::kCmdErase4K, 0x12000u},
                                              {fl::kCmdErase4K, 0x13000u},
                                              {fl::kCmdErase64K, 0x20000u}}));
    // Flash 2 is behind FPGA 0; any other number reaches the one behind FPGA 1.
    EXPECT_EQ(erases(1), 0u);
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_ERASE(1, 0, 0, 1), 1);
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_ERASE(7, 0, 0, 1), 1);
    EXPECT_EQ(erases(1), 2u);
    EXPECT_EQ(refused(0), 0);
    EXPECT_EQ(refused(1), 0);
}

TEST_F(FlashTest, WriteIsRefusedPastEightMiB)
{
    std::vector<uint8_t> buf(4 + 16, 0x5A);
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0, buf.data(), 0), 0);
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0, nullptr, 4), 0);
    for (const auto& [addr, len] : {std::pair<uint32_t, unsigned>{0x7FFFFF, 2}, {0x800000, 1}, {0xFFFFFFFFu, 2}})
        EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_WRITE(2, addr, buf.data(), len), 0) << addr;
    EXPECT_EQ(flashRead(0, 0x7FFFF0, 16), std::vector<uint8_t>(16, 0xFF));
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0x7FFFF0, buf.data(), 16), 1);
    EXPECT_EQ(flashRead(0, 0x7FFFF0, 16), std::vector<uint8_t>(16, 0x5A));
}

TEST_F(FlashTest, WriteProgramsPageByPageByteExact)
{
    const uint32_t addr = 0x1F0, len = 600;
    std::vector<uint8_t> data(len);
    std::iota(data.begin(), data.end(), 0);
    std::vector<uint8_t> buf(4 + len);
    std::copy(data.begin(), data.end(), buf.begin() + 4);
    ASSERT_EQ(drv.FPGA_SPI_FLASH_VBYONE_ERASE(2, 0, 0, 1), 1);
    withFlash(0, [](auto& f) { f.clearCounters(); });
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_WRITE(2, addr, buf.data(), len), 1);
    EXPECT_EQ(flashRead(0, addr, len), data);
    EXPECT_EQ(flashRead(0, addr - 1, 1)[0], 0xFF);
    EXPECT_EQ(flashRead(0, addr + len, 1)[0], 0xFF);
    // 0x1F0-0x1FF, 0x200-0x2FF, 0x300-0x3FF, 0x400-0x447.
    EXPECT_EQ(withFlash(0, [](auto& f) { return f.pagePrograms(); }), 4);
    EXPECT_EQ(refused(0), 0);
    // The command of each page went into the 4 bytes in front of its data.
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 4), (std::vector<uint8_t>{0x02, 0x00, 0x01, 0xF0}));
    EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 16, buf.begin() + 20), (std::vector<uint8_t>{0x02, 0x00, 0x02, 0x00}));
    EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 528, buf.begin() + 532),
              (std::vector<uint8_t>{0x02, 0x00, 0x04, 0x00}));

    // Programming without an erase can only clear bits.
    std::vector<uint8_t> again(4 + 2, 0);
    again[4] = 0xF0;
    again[5] = 0xFF;
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_WRITE(2, addr + 0x1F, again.data(), 2), 1);
    EXPECT_EQ(flashRead(0, addr + 0x1F, 2), (std::vector<uint8_t>{uint8_t(0x1F & 0xF0), 0x20}));
}

TEST_F(FlashTest, EveryTransferSelectsOneDeviceAndReleasesItAfter)
{
    std::vector<uint8_t> buf(4 + 8, 1);
    board->clearCounters();
    ASSERT_EQ(drv.FPGA_SPI_FLASH_VBYONE_WRITE(3, 0x100, buf.data(), 8), 1);
    for (uint32_t pad : {fpga::kPadCsFpga0, fpga::kPadCsFpga1, fpga::kPadCsFlash0, fpga::kPadCsFlash1})
        EXPECT_EQ(window->read16(pad), fpga::kCsReleased);
    EXPECT_GT(board->transactions(SimFpgaBoard::kFlash1), 0);
    EXPECT_EQ(board->unselectedTransactions(SimFpgaBoard::kFlash1), 0);
    EXPECT_EQ(board->wrongModeTransactions(SimFpgaBoard::kFlash1), 0);
    EXPECT_EQ(board->transactions(SimFpgaBoard::kFlash0), 0);
    EXPECT_EQ(flashRead(1, 0x100, 8), std::vector<uint8_t>(8, 1));
}

TEST_F(FlashTest, AFlashThatStaysBusyFailsTheOperation)
{
    withFlash(0, [](auto& f) { f.setBusyReads(1000000, 1000000); });
    std::vector<uint8_t> buf(4 + 4, 0);
    EXPECT_EQ(drv.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0, buf.data(), 4), 0);
}

// The flashes keep what was written over a restart of the box on the same
// root, as the board's do; a fresh root's are erased; a file that is not
// sound loads as far as it is and the box still comes up.
TEST_F(FlashTest, ContentsOutliveARestartOfTheBox)
{
    std::vector<uint8_t> buf(4 + 300);
    std::iota(buf.begin() + 4, buf.end(), 7);
    const std::vector<uint8_t> data(buf.begin() + 4, buf.end());
    ASSERT_EQ(drv.FPGA_SPI_FLASH_VBYONE_ERASE(2, 0, 0, 1), 1);
    std::vector<uint8_t> again = buf;  // a write overwrites the bytes before each page
    ASSERT_EQ(drv.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0x10, buf.data(), 300), 1);
    ASSERT_EQ(drv.FPGA_SPI_FLASH_VBYONE_WRITE(3, 0x7FF000, again.data(), 300), 1);
    auto restarted = [this] {
        platform::sim::resetBox(root_);
        auto b = platform::sim::fpgaBoard();
        auto lock = b->lock();
        return std::make_pair(b->flash(0).read(0x10, 300), b->flash(1).read(0x7FF000, 300));
    };
    EXPECT_EQ(restarted(), std::make_pair(data, data));

    // Each record is 4 bytes of address and a 4 KB sector: a record for a
    // sector past the flash ends the loading there.
    const std::string file = SimFpgaBoard::kFlashFiles[1];
    const std::string record = readBoxFile(file);
    ASSERT_EQ(record.size(), 4u + fl::kSector);
    writeBoxFile(file, std::string("\x00\x00\x80\x00", 4) + std::string(fl::kSector, '\x11') + record);
    EXPECT_EQ(restarted(), std::make_pair(data, std::vector<uint8_t>(300, 0xFF)));

    QTemporaryDir fresh;
    platform::sim::resetBox(fresh.path().toStdString());
    auto b = platform::sim::fpgaBoard();
    EXPECT_EQ(b->flash(0).read(0x10, 300), std::vector<uint8_t>(300, 0xFF));
    platform::sim::resetBox(root_);
}
