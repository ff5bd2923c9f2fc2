// The control pipe's fault switches reach the simulated devices, and come
// off again.
#include "fpga/fpga_manage.h"
#include "registers/fpga_regs.h"
#include "platform/sim/sim_control.h"
#include "platform/sim/sim_fpga.h"
#include "platform/sim/sim_mtd.h"
#include "platform/sim/sim_receiver.h"
#include "platform/sim/sim_soc_window.h"
#include "platform/sim/sim_x518.h"
#include "tests/support/box_test.h"
#include "videochip/x518_drv.h"

#include <sys/ioctl.h>
#include <mtd/mtd-user.h>
#include "registers/x518_regs.h"

namespace {

class FaultCommands : public BoxTest {};

namespace fl = fpga::flash;

// Write enable, then a 4 KB erase at 0, as a driver sends them.
void eraseFirstSector(platform::sim::SimFpgaBoard& board, int n)
{
    auto lock = board.lock();
    uint8_t rx[4];
    const uint8_t enable[] = {fl::kCmdWriteEnable};
    const uint8_t erase[] = {fl::kCmdErase4K, 0, 0, 0};
    board.flash(n).transaction(enable, rx, sizeof enable);
    board.flash(n).transaction(erase, rx, sizeof erase);
}

}  // namespace

TEST_F(FaultCommands, TheChipsSpiFailsFromTheNthTransferUntilOff)
{
    x518_drv drv;
    const int fd = drv.initialize();
    ASSERT_GE(fd, 0);
    const u32 reg = x518::reg(0x08, 0x49, 1);
    EXPECT_EQ(control("fault chip spi after 3"), "ok fault chip spi after 3");
    EXPECT_TRUE(drv.write_X518(fd, reg, 1, 0));   // the bank select and the byte
    EXPECT_FALSE(drv.write_X518(fd, reg, 2, 0));  // the third transfer
    EXPECT_FALSE(drv.write_X518(fd, reg, 3, 0));
    EXPECT_EQ(drv.failedMessages(), 2u);
    EXPECT_EQ(control("fault chip spi off"), "ok fault chip spi off");
    EXPECT_TRUE(drv.write_X518(fd, reg, 4, 0));
    EXPECT_EQ(control("fault chip spi on"), "ok fault chip spi on");
    EXPECT_FALSE(drv.write_X518(fd, reg, 5, 0));
    EXPECT_EQ(platform::sim::deviceAs<platform::sim::SimX518>(platform::sim::SimX518::kDevicePath)->reg(0x08, 0x49), 4);
}

TEST_F(FaultCommands, AnFpgaFlashAndAReceiverStopAnsweringAndBadSwitchesAreRefused)
{
    auto board = platform::sim::fpgaBoard();
    ASSERT_TRUE(board);
    board->flash(1).fill(0, {0x5A});
    EXPECT_EQ(control("fault fpga 1 flash on"), "ok fault fpga 1 flash on");
    eraseFirstSector(*board, 1);
    EXPECT_EQ(board->flash(1).read(0, 1), std::vector<uint8_t>{0x5A});
    EXPECT_EQ(board->flash(1).refusedCommands(), 1);
    EXPECT_EQ(control("fault fpga 1 flash off"), "ok fault fpga 1 flash off");
    eraseFirstSector(*board, 1);
    EXPECT_EQ(board->flash(1).read(0, 1), std::vector<uint8_t>{0xFF});
    const uint8_t read[] = {fl::kCmdRead, 0, 0, 0, 0xFF};
    uint8_t back[sizeof read];
    EXPECT_EQ(control("fault fpga 1 flash read on"), "ok fault fpga 1 flash read on");
    EXPECT_FALSE(board->flash(1).transaction(read, back, sizeof read));
    EXPECT_EQ(control("fault fpga 1 flash read off"), "ok fault fpga 1 flash read off");
    EXPECT_TRUE(board->flash(1).transaction(read, back, sizeof read));

    auto rx = platform::sim::receiver(2);
    uint8_t byte = 0;
    EXPECT_EQ(control("fault i2c 2 on"), "ok fault i2c 2 on");
    EXPECT_FALSE(rx->read(&byte, 1));
    EXPECT_EQ(control("fault i2c 2 off"), "ok fault i2c 2 off");
    EXPECT_TRUE(rx->read(&byte, 1));

    const std::pair<const char*, const char*> refused[] = {
        {"fault chip spi after 0", "spi after N (the N-th transfer from now fails, and every one after it)"},
        {"fault fpga 2 on", "no FPGA 2 (FPGAs 0-1)"},
        {"fault i2c 1", "fault i2c P on|off"},
        {"fault fpga 0 flash jammed on", "F on|off, F flash on|off, F flash stuck on|off or F flash read on|off"},
        {"fault chip flash", "fault chip spi on|off | spi after N | flash on|off"},
        {"fault chip flash stuck on", "the chip's faults are spi and flash"},
        {"fault toaster on", "the faults are chip spi on|off | spi after N | flash on|off; fpga F on|off | "
                             "F flash on|off | F flash stuck on|off | F flash read on|off; i2c P on|off; "
                             "eeprom P on|off; disk full|readonly|off | slow MS; mtd N on|off"},
    };
    for (const auto& [line, why] : refused)
        EXPECT_EQ(control(line), std::string("error ") + line + ": " + why);
}

// The FPGA switch as a person throws it: the pipe answers, the FPGA manager
// loses FPGA 0 and has it back once it is off. Nothing keeps the board's
// lock: the manager reaches the board all along.
TEST_F(FaultCommands, AnFpgaSwitchedOffThroughThePipeIsLostAndComesBack)
{
    auto board = platform::sim::fpgaBoard();
    fpga_manage* m = fpgaManagerOutOfReset();
    ASSERT_TRUE(fpgaZeroBroughtUp());

    ASSERT_EQ(control("fault fpga 0 on"), "ok fault fpga 0 on");
    EXPECT_EQ(board->state(0), fpga::reg::kStateReset);
    m->fpga_manage_deal();
    EXPECT_EQ(m->get_fpga_status(), 0);
    EXPECT_EQ(m->get_wlan_state(), 0);
    EXPECT_EQ(control("fault fpga 0 on"), "ok fault fpga 0 on");  // again: still answered

    ASSERT_EQ(control("fault fpga 0 off"), "ok fault fpga 0 off");
    ASSERT_TRUE(fpgaZeroBroughtUp());
    EXPECT_EQ(m->get_wlan_state(), 0x0003);

    ASSERT_EQ(control("fault fpga 1 on"), "ok fault fpga 1 on");
    EXPECT_EQ(board->state(1), fpga::reg::kStateReset);
    ASSERT_EQ(control("fault fpga 1 off"), "ok fault fpga 1 off");
    EXPECT_NE(board->state(1), fpga::reg::kStateReset);
    m->stop();
}

// The FPGAs keep their parameter memories over a reset, as the board's do,
// and the pipe shows what each holds.
TEST_F(FaultCommands, AnFpgaKeepsItsParameterMemoryOverAResetAndThePipeShowsIt)
{
    auto board = platform::sim::fpgaBoard();
    platform::sim::deviceAs<platform::sim::SimSocWindow>(fpga::kMemNode)->write16(fpga::kPadRstFpga1, fpga::kRstRun);
    EXPECT_EQ(board->state(1), fpga::reg::kStateLoading);
    board->setRam(1, 0x3F0, {0x12, 0x34});
    EXPECT_EQ(control("fault fpga 1 on"), "ok fault fpga 1 on");
    EXPECT_EQ(control("fault fpga 1 off"), "ok fault fpga 1 off");
    EXPECT_EQ(board->resets(1), 1);
    EXPECT_EQ(board->ram(1, 0x3F0, 2), (std::vector<uint8_t>{0x12, 0x34}));
    EXPECT_EQ(control("fpga memory"), "ok fpga memory");
    // FPGA 0's memory gives ports 0 and 1 their halves of a 1920 x 1080 canvas.
    EXPECT_EQ(readBoxFile(platform::sim::kFpgaMemoryDump), "0:000 00 00 00 00 00 00 00 00 00 00 00 00 80 07 1C 02\n"
                                                           "0:010 00 00 00 00 00 1C 02 80 07 1C 02 00 00 00 00 00\n"
                                                           "1:3F0 12 34 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n");
    EXPECT_EQ(control("fpga registers"), "error fpga registers: fpga, fpga memory or fpga cards, not fpga registers");
}

// The control pipe follows the box: a box started in another root after the
// first (a test's next case) is driven through its own pipe, and the
// outcomes land in its own log.
TEST_F(FaultCommands, ThePipeFollowsTheBoxIntoANewRoot)
{
    EXPECT_EQ(control("chip"), "ok chip");
    QTemporaryDir next;
    ASSERT_TRUE(next.isValid());
    platform::sim::resetBox(next.path().toStdString());
    EXPECT_EQ(control("fault chip spi off"), "ok fault chip spi off");
    EXPECT_EQ(readBoxFile(platform::sim::kControlLog), "ok fault chip spi off\n");
}

// The logo's and the kernel's flash partitions refuse, switched as the pipe
// switches them, as a write-protected flash does: erases and writes
// answered as done, nothing changed, until off.
TEST_F(FaultCommands, AFlashPartitionTakesNoEraseOrWriteWhileSwitchedOn)
{
    platform::addControlCommand(platform::sim::faultControlCommand());
    for (const std::string n : {"8", "10"}) {
        auto mtd = platform::sim::deviceAs<platform::sim::SimMtd>("/dev/mtd" + n);
        ASSERT_TRUE(mtd) << n;
        erase_info_user block{0, mtd->eraseSize()};
        ASSERT_EQ(mtd->ioctl(MEMERASE, &block), 0);
        const uint8_t zero = 0;
        EXPECT_EQ(platform::runControlLine("fault mtd " + n + " on"), "ok fault mtd " + n + " on");
        EXPECT_EQ(mtd->ioctl(MEMERASE, &block), 0);
        EXPECT_EQ(mtd->pwrite(&zero, 1, 0), 1);
        EXPECT_EQ(mtd->contents()[0], 0xFF) << n;
        EXPECT_EQ(platform::runControlLine("fault mtd " + n + " off"), "ok fault mtd " + n + " off");
        EXPECT_EQ(mtd->pwrite(&zero, 1, 0), 1);
        EXPECT_EQ(mtd->contents()[0], 0x00) << n;
    }
    EXPECT_EQ(platform::runControlLine("fault mtd 9 on"), "error fault mtd 9 on: no flash partition /dev/mtd9");
}

// The pipe runs a line of up to 4096 characters and refuses a longer one
// whole, however its bytes arrive. (Lines of 4106 and 4107 characters ran:
// only what was left of a line after each 512-byte read was measured.)
TEST_F(FaultCommands, ThePipeRefusesEveryLineLongerThan4096Characters)
{
    for (size_t length : {4096, 4097, 4106, 4107, 9000}) {
        const std::string line = "chip" + std::string(length - 4, ' ');
        const std::string outcome = control(line);
        if (length <= 4096)
            EXPECT_EQ(outcome.rfind("ok chip", 0), 0u) << length;
        else
            EXPECT_EQ(outcome, "error " + line.substr(0, 40) + "...: longer than 4096 characters") << length;
    }
}
