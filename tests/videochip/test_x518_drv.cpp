// Register access: framing, bank caching, locks and failure handling,
// checked against the transfers the simulated chip saw.
#include "tests/videochip/chip_test.h"

#include "app/utils.h"
#include "fpga/fpga_manage.h"
#include "registers/x518_regs.h"

#include <atomic>
#include <iterator>
#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <thread>
#include <tuple>

namespace {

using Bytes = std::vector<std::pair<uint8_t, uint8_t>>;

Bytes sent(const std::vector<SimX518::Transfer>& trace)
{
    Bytes out;
    for (const auto& t : trace)
        out.emplace_back(t.tx[0], t.tx[1]);
    return out;
}

class DrvTest : public ChipTest {
protected:
    void SetUp() override
    {
        ChipTest::SetUp();
        fd = drv.initialize();
        ASSERT_GE(fd, 0);
        chip->setTracing(true);
    }
    x518_drv drv;
    int fd = -1;
};

}  // namespace

TEST_F(DrvTest, OpensTheDeviceInMode3With8BitWordsAt10MHzAndAMissingOneFailsEveryAccess)
{
    EXPECT_EQ(chip->mode(), SPI_MODE_3);
    EXPECT_EQ(chip->bitsPerWord(), 8);
    EXPECT_EQ(chip->maxSpeedHz(), 10000000u);
    platform::sim::setDeviceMissing(SimX518::kDevicePath, true);
    x518_drv other;
    int bad = other.initialize();
    EXPECT_EQ(bad, -1);
    chip->resetCounters();
    EXPECT_EQ(other.read_X518(bad, x518::kChipId, 0), 0u);
    EXPECT_EQ(chip->counters().transfers, 0u);
}

TEST_F(DrvTest, AThreeByteWriteGoesLowByteFirstAfterOneBankSelect)
{
    drv.write_X518(fd, 0x084903, 0x00FF00, 0);
    EXPECT_EQ(sent(chip->trace()), (Bytes{{0x80, 0x08}, {0xC9, 0x00}, {0xCA, 0xFF}, {0xCB, 0x00}}));
    for (const auto& t : chip->trace()) {
        EXPECT_EQ(t.speedHz, x518_drv::kWriteSpeedHz);
        EXPECT_FALSE(t.hasRx);
    }
    EXPECT_EQ(chip->regValue(0x084903), 0x00FF00u);
}

TEST_F(DrvTest, ARunInOneBankSelectsItOnceAndAnotherBankOrAResetSelectsAgain)
{
    drv.write_X518(fd, x518::reg(0x08, 0x10, 1), 1, 0);
    drv.write_X518(fd, x518::reg(0x08, 0x11, 2), 2, 0);
    drv.read_X518(fd, x518::reg(0x08, 0x10, 1), 0);
    EXPECT_EQ(chip->counters().bankSelects, 1u);
    drv.read_X518(fd, x518::reg(0x09, 0x10, 1), 0);
    EXPECT_EQ(chip->counters().bankSelects, 2u);
    drv.read_X518(fd, x518::reg(0x09, 0x10, 1), 0);
    EXPECT_EQ(chip->counters().bankSelects, 2u);
    drv.init_reg_acc_param();
    drv.read_X518(fd, x518::reg(0x09, 0x10, 1), 0);
    EXPECT_EQ(chip->counters().bankSelects, 3u);
    EXPECT_EQ(chip->counters().transfers, 10u);  // 3 selects and 7 register bytes
    // A bank offset of 16 selects the next channel's bank.
    chip->clearTrace();
    drv.write_X518(fd, x518::reg(0x08, 0x48, 1), 1, 16);
    EXPECT_EQ(sent(chip->trace()).front(), std::make_pair(uint8_t(0x80), uint8_t(0x18)));
    EXPECT_EQ(chip->reg(0x18, 0x48), 1);
    EXPECT_EQ(chip->reg(0x08, 0x48), 0);
}

TEST_F(DrvTest, AReadSendsTheAddressWithBit7ClearAndAssemblesLowByteFirst)
{
    chip->setReg(0x03, 0x20, 0x34);
    chip->setReg(0x03, 0x21, 0x12);
    EXPECT_EQ(drv.read_X518(fd, x518::reg(0x03, 0x20, 2), 0), 0x1234u);
    auto trace = chip->trace();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[1].tx[0], 0x20);
    EXPECT_EQ(trace[1].tx[1], 0xFF);
    EXPECT_TRUE(trace[1].hasRx);
    EXPECT_EQ(trace[1].speedHz, x518_drv::kReadSpeedHz);
    EXPECT_EQ(drv.read_X518(fd, x518::reg(0x03, 0x20, 0), 0), 0u);
}

TEST_F(DrvTest, MaskedWritesKeepTheBitsOutsideTheMask)
{
    chip->setReg(0x00, 0x18, 0xA5);
    drv.write_x518_mask(fd, x518::reg(0x00, 0x18, 1), 0x0F, 0x03, 0);
    EXPECT_EQ(chip->reg(0x00, 0x18), 0xA7);
    chip->clearJournal();
    drv.write_x518_mask(fd, x518::reg(0x00, 0x18, 1), 0x00, 0x00, 0);  // mask 0 rewrites the old value
    ASSERT_EQ(writesTo(0x00, 0x18), std::vector<uint8_t>{0xA7});
}

TEST_F(DrvTest, TheFpgaChipSelectsAreReleasedBeforeEveryMessage)
{
    fpga_manage* fpga = fpga_manage::pInstance();
    volatile u16* cs0 = fpga->gpio_cs_fpga0;
    volatile u16* cs1 = fpga->gpio_cs_fpga1;
    ASSERT_TRUE(cs0 && cs1);
    *cs0 = *cs1 = 0;
    int messages = 0, released = 0;
    uint64_t call = 0;
    chip->setTransferHook([&](const SimX518::Transfer& t) {
        if (t.call == call)
            return;
        call = t.call;
        ++messages;
        released += (*cs0 == fpga::kCsReleased && *cs1 == fpga::kCsReleased);
        *cs0 = *cs1 = 0;  // an FPGA transfer selects them again
    });
    drv.write_X518(fd, x518::reg(0x04, 0x4E, 4), 0x12345678, 0);
    drv.read_X518(fd, x518::reg(0x04, 0x4E, 2), 0);
    EXPECT_EQ(messages, 2);
    EXPECT_EQ(released, 2);
    chip->setTransferHook(nullptr);
    // A word not mapped yet, or no FPGA manager at all, is left alone.
    fpga->gpio_cs_fpga1 = nullptr;
    drv.read_X518(fd, x518::reg(0x04, 0x4E, 1), 0);
    EXPECT_EQ(*cs0, fpga::kCsReleased);
    EXPECT_EQ(*cs1, 0);
    FpgaHandover::receiver = nullptr;
    drv.read_X518(fd, x518::reg(0x04, 0x4E, 1), 0);
    EXPECT_EQ(chip->counters().transfers, 9u);
    fpga->gpio_cs_fpga1 = cs1;
    FpgaHandover::receiver = fpga;
}

TEST_F(DrvTest, AFailedMessageLosesTheRestOfItsAccessAndForgetsTheBank)
{
    chip->setRegValue(x518::reg(0x03, 0x20, 3), 0xABCDEF);
    drv.read_X518(fd, x518::reg(0x03, 0x20, 1), 0);  // select the bank first
    chip->failTransfers(1, 1);                       // the second byte of the next read
    EXPECT_EQ(drv.read_X518(fd, x518::reg(0x03, 0x20, 3), 0), 0x0000EFu);
    EXPECT_EQ(drv.currentBank(), x518_drv::kBankUnknown);
    chip->failTransfers(1, 2);  // select, first byte, then the middle byte fails
    drv.write_X518(fd, x518::reg(0x03, 0x20, 3), 0x112233, 0);
    EXPECT_EQ(chip->regValue(x518::reg(0x03, 0x20, 3)), 0xABCD33u);
    EXPECT_EQ(chip->counters().failed, 2u);
}

TEST_F(DrvTest, AGroupSendsTheSameTransfersAsItsAccessesOneByOneInFewerCalls)
{
    chip->setRegValue(x518::reg(0x03, 0x20, 2), 0x1234);
    chip->setRegValue(x518::reg(0x0C, 0x49, 3), 0x56789A);
    u32 line = 0, width = 0;
    const x518_drv::RegOp group[] = {
        x518_drv::writeOp(x518::kUpdateCtl, x518::kHoldMeasure),
        x518_drv::readOp(x518::reg(0x03, 0x20, 2), &line),
        x518_drv::readOp(x518::reg(0x0C, 0x49, 3), &width),
        x518_drv::writeOp(x518::kBkgColour, 0x00FF00, x518::kChannelStride),
        x518_drv::writeOp(x518::kUpdateCtl, 0),
    };
    auto run = [&](bool together) {
        drv.init_reg_acc_param();
        chip->clearTrace();
        chip->resetCounters();
        if (together) {
            drv.access_X518(fd, group, std::size(group));
            return;
        }
        for (const auto& op : group) {
            if (op.into)
                *op.into = drv.read_X518(fd, op.spec, op.bankOffset);
            else
                drv.write_X518(fd, op.spec, op.value, op.bankOffset);
        }
    };
    run(false);
    const auto alone = chip->trace();
    EXPECT_EQ(chip->counters().calls, 5u);
    run(true);
    const auto together = chip->trace();
    EXPECT_EQ(chip->counters().calls, 1u);
    EXPECT_EQ(line, 0x1234u);
    EXPECT_EQ(width, 0x56789Au);
    auto wire = [](const std::vector<SimX518::Transfer>& trace) {
        std::vector<std::tuple<u8, u8, u32, bool>> out;
        for (const auto& t : trace)
            out.emplace_back(t.tx[0], t.tx[1], t.speedHz, t.hasRx);
        return out;
    };
    EXPECT_EQ(wire(together), wire(alone));
    // A group longer than one message goes in as many as it needs.
    std::vector<x518_drv::RegOp> fill;
    for (u32 c = 0; c < 40; ++c)
        fill.push_back(x518_drv::writeOp(x518::reg(0x16, 0x1C, 4), c, x518::kChannelStride * (c % 8)));
    chip->resetCounters();
    drv.access_X518(fd, fill.data(), fill.size());
    EXPECT_EQ(chip->counters().transfers, 200u);  // 40 selects and 160 bytes
    EXPECT_EQ(chip->counters().calls, 4u);
    EXPECT_EQ(chip->regValue(x518::reg(0x16, 0x1C, 4), 7 * x518::kChannelStride), 39u);
}

TEST_F(DrvTest, AFailedBankSelectIsSentAgainByTheNextAccess)
{
    chip->failTransfers(1);
    drv.write_X518(fd, x518::reg(0x07, 0x10, 1), 0x55, 0);
    EXPECT_EQ(drv.currentBank(), x518_drv::kBankUnknown);
    chip->clearTrace();
    drv.write_X518(fd, x518::reg(0x07, 0x10, 1), 0x66, 0);
    EXPECT_EQ(sent(chip->trace()), (Bytes{{0x80, 0x07}, {0x90, 0x66}}));
    EXPECT_EQ(chip->reg(0x07, 0x10), 0x66);
}

// An update writes a register only when the value the driver knows differs,
// and forgets what a failed transfer or a reset may have left on the chip.
TEST_F(DrvTest, UpdatesWriteOnlyWhatChangesOnTheValuesTheDriverKnows)
{
    const u32 spec = x518::reg(0x0C, 0x28, 2), ctl = x518::reg(0x0C, 0x21, 1);
    drv.update_X518(fd, spec, 0x1FF, 16);  // not known yet: written
    drv.update_X518(fd, spec, 0x1FF, 16);
    drv.update_x518_mask(fd, ctl, 1, 1, 16);  // read once, then known
    drv.update_x518_mask(fd, ctl, 1, 1, 16);
    EXPECT_EQ(sent(chip->trace()), (Bytes{{0x80, 0x1C}, {0xA8, 0xFF}, {0xA9, 0x01}, {0x21, 0xFF}, {0xA1, 0x01}}));

    chip->clearTrace();
    drv.update_X518(fd, spec, 0x265, 16);  // a whole register when any byte changes
    EXPECT_EQ(sent(chip->trace()), (Bytes{{0xA8, 0x65}, {0xA9, 0x02}}));

    chip->failTransfers(1, 1);  // the high byte is lost: unknown, written again
    drv.update_X518(fd, spec, 0x166, 16);
    chip->clearTrace();
    drv.update_X518(fd, spec, 0x166, 16);
    EXPECT_EQ(sent(chip->trace()), (Bytes{{0x80, 0x1C}, {0xA8, 0x66}, {0xA9, 0x01}}));

    drv.init_reg_acc_param();
    chip->clearTrace();
    drv.update_x518_mask(fd, ctl, 1, 1, 16);  // forgotten: read again, nothing to change
    EXPECT_EQ(sent(chip->trace()), (Bytes{{0x80, 0x1C}, {0x21, 0xFF}}));
    EXPECT_EQ(chip->regValue(spec, 16), 0x166u);
}

TEST_F(DrvTest, AMaskedWriteHoldsTheBankLockFromItsReadToItsWrite)
{
    const u32 spec = x518::reg(0x0C, 0x49, 1);
    drv.read_X518(fd, spec, 0);  // the bank is selected: each masked write is one read and one write
    chip->setTracing(false);
    const uint64_t start = chip->counters().transfers;
    // Another thread takes the bank lock whenever it can and notes how many
    // transfers the chip has seen: never an odd number, between a read and
    // its write.
    std::atomic<bool> done{false}, started{false};
    std::atomic<int> holds{0}, inside{0};
    std::thread other([&] {
        started = true;
        while (!done) {
            if (Utils::_x518_bnk_mutex.tryLock()) {
                ++holds;
                inside += (chip->counters().transfers - start) % 2 != 0;
                Utils::_x518_bnk_mutex.unlock();
            }
        }
    });
    while (!started)
        std::this_thread::yield();
    for (u32 i = 0; i < 3000; ++i) {
        drv.write_x518_mask(fd, spec, i, 0x0F, 0);
        std::this_thread::yield();
    }
    done = true;
    other.join();
    EXPECT_GT(holds, 0);
    EXPECT_EQ(inside, 0);
}

TEST_F(DrvTest, AWaitOnAStuckBitEndsAfterItsBoundAndSaysSo)
{
    chip->setStuck(SimX518::kStuckOsdBusy);
    u32 last = 0;
    chip->resetCounters();
    EXPECT_FALSE(drv.wait_X518(fd, x518::reg(0x04, 0x17, 1), 0x01, 0, 50, 0, &last));
    EXPECT_EQ(last & 1, 1u);
    EXPECT_EQ(chip->counters().reads, 50u);
    chip->setStuck(SimX518::kStuckNone);
    EXPECT_TRUE(drv.wait_X518(fd, x518::reg(0x04, 0x17, 1), 0x01, 0, 50));
}

// A read the chip never answered reads 0, which is no value: the checked
// read says so, and a wait for a bit to clear ends unfinished at once
// instead of taking the 0 for "cleared".
TEST_F(DrvTest, AFailedReadIsNoValueAndEndsAWaitUnfinished)
{
    const u32 busy = x518::reg(0x04, 0x17, 1);
    chip->setStuck(SimX518::kStuckOsdBusy);
    chip->failTransfers(1000);
    u32 value = 1;
    EXPECT_FALSE(drv.readChecked(fd, busy, 0, value));
    chip->resetCounters();
    EXPECT_FALSE(drv.wait_X518(fd, busy, 0x01, 0, 50));
    EXPECT_EQ(chip->counters().calls, 1u);
    chip->failTransfers(0);
    EXPECT_TRUE(drv.readChecked(fd, busy, 0, value));
    EXPECT_EQ(value & 1, 1u);
}
