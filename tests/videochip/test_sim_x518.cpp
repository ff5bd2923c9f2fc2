// The simulated chip answers the driver as a healthy chip would, and its
// control surface (ports, clocks, flash, faults) does what tests rely on.
#include "tests/videochip/chip_test.h"

#include "registers/x518_regs.h"

#include <linux/spi/spidev.h>

namespace {

using Op = platform::sim::SimX518Flash::Op;
using x518::reg;

class SimTest : public ChipTest {
protected:
    void SetUp() override
    {
        ChipTest::SetUp();
        fd = drv.initialize();
        ASSERT_GE(fd, 0);
    }
    u32 rd(u32 spec, u32 off = 0) { return drv.read_X518(fd, spec, off); }
    void wr(u32 spec, u32 v, u32 off = 0) { drv.write_X518(fd, spec, v, off); }

    // Programs `data` at `address` the way the controller is driven.
    void program(u32 address, const std::vector<u8>& data)
    {
        wr(reg(4, 0x4C, 1), 0x06);
        wr(reg(4, 0x49, 1), 0x12);
        wr(reg(4, 0x4E, 4), address);
        for (u8 b : data)
            wr(reg(4, 0x52, 1), b);
        wr(reg(4, 0x4E, 4), address + u32(data.size()));  // closes the page
    }
    void eraseAt(u32 address, u8 opcode)
    {
        wr(reg(4, 0x4C, 1), 0x06);
        wr(reg(4, 0x4B, 1), opcode);
        wr(reg(4, 0x4E, 4), address);
        wr(reg(4, 0x48, 1), 4);
    }

    x518_drv drv;
    int fd = -1;
};

}  // namespace

TEST_F(SimTest, TransfersOtherThanTwoBytesInMode3EachInItsOwnFrameAreRefused)
{
    u8 tx[3] = {0x80, 0x01, 0x00};
    EXPECT_LT(drv.SPI_Transfer_Write(fd, tx, 3), 0);
    // Two transfers in one message without the chip select going up between
    // them run into one 4-byte frame.
    spi_ioc_transfer two[2] = {};
    for (auto& t : two) {
        t.tx_buf = reinterpret_cast<uintptr_t>(tx);
        t.len = 2;
    }
    EXPECT_LT(platform::devIoctl(fd, SPI_IOC_MESSAGE(2), two), 0);
    EXPECT_EQ(chip->counters().rejected, 2u);
    two[0].cs_change = 1;
    EXPECT_EQ(platform::devIoctl(fd, SPI_IOC_MESSAGE(2), two), 4);
    EXPECT_EQ(chip->counters().calls, 3u);
    chip->resetCounters();
    u8 mode = SPI_MODE_0;
    platform::devIoctl(fd, SPI_IOC_WR_MODE, &mode);
    EXPECT_LT(drv.SPI_Transfer_Write(fd, tx, 2), 0);
    EXPECT_EQ(chip->counters().rejected, 1u);
    EXPECT_EQ(chip->counters().transfers, 0u);
}

TEST_F(SimTest, IdentityIsGoodWrongOrFlakyAndInspectableWithoutSideEffects)
{
    EXPECT_EQ(rd(x518::kChipId), 0x24u);
    chip->setIdentity(0x23);
    EXPECT_EQ(rd(x518::kChipId), 0x23u);
    chip->setIdentity(SimX518::kChipId);
    chip->setFlakyIdentity(true);
    chip->resetCounters();
    EXPECT_EQ(chip->liveValue(x518::kChipId), 0xFFu);
    EXPECT_EQ(chip->liveValue(x518::kChipId), 0xFFu);
    EXPECT_EQ(chip->counters().transfers, 0u);
    std::vector<u32> ids;
    for (int i = 0; i < 4; ++i)
        ids.push_back(rd(x518::kChipId));
    EXPECT_EQ(ids, (std::vector<u32>{0xFF, 0x24, 0xFF, 0x24}));
}

TEST_F(SimTest, FrameFlagsAndFieldCountersMoveWithFramesUnlessTimeStandsStill)
{
    wr(x518::kInFrameRequest, 0x04);
    EXPECT_EQ(rd(x518::kInFrameFlags), 0x04u);  // instant clock: already passed
    wr(x518::kOutFrameRequest, 0x01);
    EXPECT_EQ(rd(x518::kOutFrameFlags), 0x01u);
    u32 a = rd(x518::kFieldCounter);
    u32 b = rd(x518::kFieldCounter);  // a second read in a row: the next frame
    EXPECT_EQ(((a >> 2) + 1) & 3, (b >> 2) & 3);
    EXPECT_EQ(rd(x518::regAt(x518::kFieldCounter, 3)), b);  // all channels in step

    chip->setClock(SimX518::Clock::Timed);
    chip->setStuck(SimX518::kStuckFrames);  // hold time still for a moment
    wr(x518::kInFrameRequest, 0x02);
    EXPECT_EQ(rd(x518::kInFrameFlags), 0u);
    u32 c = rd(x518::kFieldCounter);
    EXPECT_EQ(rd(x518::kFieldCounter), c);
    chip->setStuck(SimX518::kStuckNone);
    chip->advanceFrames(1);
    EXPECT_EQ(rd(x518::kInFrameFlags), 0x02u);
}

TEST_F(SimTest, FlashProgramsByAndErasesTo0xFFAndWrapsInsideAPage)
{
    program(0x1000, {0xF0, 0x0F});
    EXPECT_EQ(chip->flash(0x1000, 2), (std::vector<u8>{0xF0, 0x0F}));
    program(0x1000, {0x3C, 0xFF});  // programming only clears bits
    EXPECT_EQ(chip->flash(0x1000, 2), (std::vector<u8>{0x30, 0x0F}));
    program(0x10FF, {0x11, 0x22});  // the second byte wraps to the page start
    EXPECT_EQ(chip->flash(0x10FF, 1)[0], 0x11);
    EXPECT_EQ(chip->flash(0x1000, 1)[0], 0x30 & 0x22);
    eraseAt(0x1234, 0x20);
    EXPECT_EQ(chip->flash(0x1000, 0x1000), std::vector<u8>(0x1000, 0xFF));
    auto log = chip->flashLog();
    ASSERT_EQ(log.back().kind, Op::Erase);
    EXPECT_EQ(log.back().address, 0x1000u);
    EXPECT_EQ(log.back().length, 0x1000u);
    eraseAt(0x12345, 0x52);
    EXPECT_EQ(chip->flashLog().back().address, 0x10000u);
    EXPECT_EQ(chip->flashLog().back().length, 0x8000u);
}

TEST_F(SimTest, WithoutTheWriteEnableOpcodeNothingIsProgrammedOrErased)
{
    chip->loadFlash(0x2000, {0x55});
    wr(reg(4, 0x4C, 1), 0x00);
    wr(reg(4, 0x4E, 4), 0x2000);
    wr(reg(4, 0x52, 1), 0x00);
    wr(reg(4, 0x4E, 4), 0x2001);
    wr(reg(4, 0x4B, 1), 0x20);
    wr(reg(4, 0x48, 1), 4);
    EXPECT_EQ(chip->flash(0x2000, 1)[0], 0x55);
    auto log = chip->flashLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].kind, Op::Refused);
    EXPECT_EQ(log[1].kind, Op::Refused);
}

TEST_F(SimTest, StatusBitsAndTheWriteEnableLatchClearAfterTheirOperationUnlessStuck)
{
    chip->setBusyPolls(3);
    program(0x0, {0x00});
    std::vector<u32> wbusy;
    for (int i = 0; i < 4; ++i)
        wbusy.push_back(rd(reg(4, 0x54, 1)) & 0x02);
    EXPECT_EQ(wbusy, (std::vector<u32>{2, 2, 2, 0}));
    EXPECT_EQ(rd(reg(4, 0x55, 1)) & 0x03, 0x03u);  // WIP with WEL
    EXPECT_TRUE(drv.wait_X518(fd, reg(4, 0x55, 1), 0x01, 0, 5));
    EXPECT_EQ(rd(reg(4, 0x55, 1)), 0u);  // the latch dropped with WIP

    // A latch left set clears with write-disable, unless stuck.
    chip->setWelLeftSet(true);
    program(0x0, {0x00});
    EXPECT_TRUE(drv.wait_X518(fd, reg(4, 0x55, 1), 0x01, 0, 5));
    EXPECT_TRUE(chip->writeEnableLatch());
    wr(reg(4, 0x4B, 1), 0x04);
    wr(reg(4, 0x48, 1), 5);
    EXPECT_FALSE(chip->writeEnableLatch());
    chip->setStuck(SimX518::kStuckWriteEnable);
    wr(reg(4, 0x48, 1), 5);
    EXPECT_TRUE(chip->writeEnableLatch());
    EXPECT_EQ(rd(reg(4, 0x55, 1)) & 0x02, 0x02u);

    chip->setStuck(SimX518::kStuckFlashErase);
    eraseAt(0, 0x20);
    EXPECT_FALSE(drv.wait_X518(fd, reg(4, 0x54, 1), 0x08, 0, 20));
}
