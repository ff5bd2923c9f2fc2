// The flash commands 0x70-0x72 on the video chip's serial flash, and the
// font reload of register 14, served by the command handler with a chip
// manager on the simulated chip.
#include "platform/sim/sim_x518.h"
#include "tests/links/handler_test.h"
#include "tests/links/protocol_page.h"

#include <climits>
#include <functional>

using platform::sim::SimX518;

namespace {

constexpr u8 kFlash = 4;

CTRL_FRAME erase(u8 mode, u32 sector, u32 count, u8 flash = kFlash)
{
    return pcRequest(0x70, cat({{flash, mode}, le32(sector), le32(count)}));
}
CTRL_FRAME write(u32 address, const std::vector<u8>& data, u8 flash = kFlash)
{
    return pcRequest(0x71, cat({{flash}, le32(address), data}));
}
CTRL_FRAME read(u32 address, u16 count, u8 flash = kFlash)
{
    return pcRequest(0x72, cat({{flash}, le32(address), le16(count)}));
}

}  // namespace

class FlashCommands : public HandlerTest {
protected:
    void SetUp() override
    {
        HandlerTest::SetUp();
        chip = platform::sim::deviceAs<SimX518>(SimX518::kDevicePath);
        m = x518_manage::prepareInstance();
        m->openChip();
        ASSERT_GE(m->spi_fd, 0);
    }

    std::shared_ptr<SimX518> chip;
    x518_manage* m = nullptr;
};

TEST_F(FlashCommands, EraseWriteAndReadAreByteExact)
{
    chip->loadFlash(0x20000, std::vector<u8>(0x10000, 0x00));
    ASSERT_EQ(status(erase(4, 0x20, 1)), 0);  // 64 KB at 0x20000
    EXPECT_EQ(chip->flash(0x20000, 0x10000), std::vector<u8>(0x10000, 0xFF));
    std::vector<u8> data(4000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<u8>(i ^ (i >> 8));
    data[0] = 0xA5;  // bytes the frame must escape
    data[1] = 0x5A;
    ASSERT_EQ(status(write(0x20010, data)), 0);
    const CTRL_FRAME reply = ask(read(0x20010, 4000));
    ASSERT_EQ(statusOf(reply), 0);
    EXPECT_EQ(replyData(reply), cat({le32(0x20010), le16(4000), data}));
    EXPECT_EQ(chip->flash(0x20010, data.size()), data);
}

TEST_F(FlashCommands, ModesOtherFlashesAndRangesAreChecked)
{
    chip->loadFlash(0x8000, std::vector<u8>(0x10, 0x00));
    const struct {
        CTRL_FRAME frame;
        u8 status;
    } cases[] = {
        {erase(3, 8, 1), message_deal::ST_REFUSED},  // no mode 3
        {erase(0, 8, 1), message_deal::ST_REFUSED},
        {erase(2, 4, 1), message_deal::ST_REFUSED},     // 32 KB units start on a multiple of 8 sectors
        {erase(4, 8, 1), message_deal::ST_REFUSED},     // 64 KB units on a multiple of 16
        {erase(1, 8191, 2), message_deal::ST_REFUSED},  // past the flash
        {erase(1, 8, 1, 2), message_deal::ST_REFUSED},  // the FPGA's flash is not served here
        {write(0x8000, {1}, 3), message_deal::ST_REFUSED},
        {read(0x8000, 1, 0), message_deal::ST_REFUSED},
        {write(x518_manage::kFlashSize - 1, {1, 2}), message_deal::ST_REFUSED},
        {read(0, 4097), message_deal::ST_REFUSED},
        {read(x518_manage::kFlashSize - 1, 2), message_deal::ST_REFUSED},
        {pcRequest(0x70, {4, 1, 0, 0}), message_deal::ST_BAD_LENGTH},
        {pcRequest(0x71, {4, 0, 0, 0}), message_deal::ST_BAD_LENGTH},
        {pcRequest(0x72, {4, 0, 0, 0, 0, 1}), message_deal::ST_BAD_LENGTH},
    };
    for (const auto& c : cases)
        EXPECT_EQ(status(c.frame), c.status) << int(c.frame.command);
    EXPECT_TRUE(chip->flashLog().empty());
    EXPECT_EQ(chip->flash(0x8000, 1), std::vector<u8>{0});
    EXPECT_EQ(status(erase(2, 8, 1)), 0);
    EXPECT_EQ(status(erase(1, 8, 0)), 0);  // nothing to erase
    EXPECT_EQ(chip->flash(0x8000, 1), std::vector<u8>{0xFF});
}

TEST_F(FlashCommands, AFlashThatNeverFinishesIsReportedBusy)
{
    x518_manage::flash_waits.eraseMs = 50;
    chip->setStuck(SimX518::kStuckFlashErase);
    EXPECT_EQ(status(erase(1, 0, 1)), message_deal::ST_BUSY);
    chip->setStuck(SimX518::kStuckReadStart);
    EXPECT_EQ(status(read(0, 4)), message_deal::ST_BUSY);
}

TEST_F(FlashCommands, FontsWrittenByThePcAreFoundAndLoaded)
{
    m->load_system_param();
    m->load_char();
    std::vector<u8> head(x518_manage::kFontHeaderSize, 0);
    head[0] = 'P';
    head[5] = 0;
    head[18] = 32;
    ASSERT_EQ(status(erase(1, 0x10, 1)), 0);  // the 32-dot Chinese font's first sector
    ASSERT_EQ(status(write(0x10000, head)), 0);
    chip->clearFlashLog();
    ASSERT_EQ(status(pcRequest(0x13, {14, 0x08})), 0);
    EXPECT_EQ(m->font_flags, 0x1u);
    const CTRL_FRAME reg = ask(pcRequest(0x12, {43, 1}));
    EXPECT_EQ(replyData(reg), std::vector<u8>{0x02});
    size_t dmas = 0;
    for (const auto& op : chip->flashLog())
        dmas += op.kind == platform::sim::SimX518Flash::Op::Dma;
    EXPECT_EQ(dmas, 4u);
    EXPECT_EQ(g_app_reset_flag.load(), 0);
}

class FlashCommandsWithoutChip : public HandlerTest {};

TEST_F(FlashCommandsWithoutChip, AreBusyWhileTheChipManagerIsAbsent)
{
    for (const CTRL_FRAME& f : {erase(1, 0, 1), write(0, {1}), read(0, 1), pcRequest(0x13, {14, 0x08})})
        EXPECT_EQ(status(f), message_deal::ST_BUSY) << int(f.command);
}

// A flash that refuses erases and programs lets the controller finish them,
// and a chip that does not answer reads 0 everywhere, "not busy" included:
// neither may pass for done. With each fault the font install (erase, write,
// reload) and a read answer busy where they did not happen, the flash keeps
// its bytes, a failed read sends none, and no font reads as installed.
TEST_F(FlashCommands, ARefusingFlashOrAnUnreachableChipAnswersBusyAndInstallsNothing)
{
    m->load_system_param();
    m->load_char();
    std::vector<u8> head(x518_manage::kFontHeaderSize, 0);
    head[0] = 'P';
    head[18] = 32;
    const std::vector<u8> old(0x1000, 0x5A);
    enum Fault { kWriteProtected, kSpiDown };
    const struct {
        Fault fault;
        u8 erase, write, read, reload;
    } cases[] = {
        // A refusing flash still reads: what it holds, the old bytes.
        {kWriteProtected, message_deal::ST_BUSY, message_deal::ST_BUSY, message_deal::ST_DONE, message_deal::ST_DONE},
        {kSpiDown, message_deal::ST_BUSY, message_deal::ST_BUSY, message_deal::ST_BUSY, message_deal::ST_BUSY},
    };
    for (const auto& c : cases) {
        chip->failTransfers(0);
        chip->setFlashWriteProtected(false);
        chip->loadFlash(0x10000, old);
        store->reg_image.font_flags = 0;
        if (c.fault == kWriteProtected)
            chip->setFlashWriteProtected(true);
        else
            chip->failTransfers(INT_MAX);
        EXPECT_EQ(status(erase(1, 0x10, 1)), c.erase) << c.fault;
        EXPECT_EQ(status(write(0x10000, head)), c.write) << c.fault;
        const CTRL_FRAME got = ask(read(0x10000, 4));
        EXPECT_EQ(statusOf(got), c.read) << c.fault;
        EXPECT_EQ(replyData(got), c.read == message_deal::ST_DONE
                                      ? cat({le32(0x10000), le16(4), {0x5A, 0x5A, 0x5A, 0x5A}})
                                      : std::vector<u8>{})
            << c.fault;
        EXPECT_EQ(status(pcRequest(0x13, {14, 0x08})), c.reload) << c.fault;
        EXPECT_EQ(store->reg_image.font_flags, 0) << c.fault;
        EXPECT_EQ(chip->flash(0x10000, old.size()), old) << c.fault;
    }
    chip->failTransfers(0);
    chip->setFlashWriteProtected(false);
}

// The flash examples docs/protocol.md prints, sent as printed to a new box's
// chip, whose flash is blank: the write answers 0; with the flash refusing
// (the page's "fault chip flash on") the erase and the second write answer
// 3; with the chip not answering ("fault chip spi on") the read answers 3.
TEST_F(FlashCommands, TheFlashExamplesOfTheProtocolPageAreAnsweredAsPrinted)
{
    const std::vector<DocumentedExchange> exchanges = documentedExchanges(flashFrame);
    // What the page switches on the control pipe before each request.
    const std::vector<std::function<void()>> before = {
        [] {},
        [&] { chip->setFlashWriteProtected(true); },
        [] {},
        [&] {
            chip->setFlashWriteProtected(false);
            chip->failTransfers(INT_MAX);
        },
    };
    ASSERT_EQ(exchanges.size(), before.size()) << "the page's flash examples were not found";
    for (size_t i = 0; i < exchanges.size(); ++i) {
        before[i]();
        std::vector<u8> reply;
        ASSERT_TRUE(handler.serve(decodedFrame(exchanges[i].request), reply));
        EXPECT_EQ(std::vector<std::vector<u8>>{reply}, exchanges[i].replies)
            << "the page's reply to " << ::testing::PrintToString(exchanges[i].request) << " differs from the box's";
    }
}
