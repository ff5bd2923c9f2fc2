// Every frame docs/protocol.md prints in hexadecimal, read from the page
// itself: the box's codec takes it and gives the same bytes back, and each
// request, served in the page's order, gets the reply the page prints after
// it, or, where none is printed, is done. The pass-through exchanges need
// the cards: a whole box answers them (test_whole_box.cpp); the flash
// examples a chip whose faults change between them (test_flash_commands.cpp).
#include "fpga/fpga_manage.h"
#include "links/protocol_phy.h"
#include "videochip/x518_manage.h"
#include "tests/links/handler_test.h"
#include "tests/links/protocol_page.h"

// The page's examples show a new box, and the registers the page reads hold
// what it says (the EDIDs in place, no font, every save landed, every window
// shown). Its video chip does not answer (its flash commands say so): a chip
// manager is set aside while the examples are served. Its FPGAs run, with the
// memories a new box's FPGAs hold.
class ProtocolPage : public HandlerTest {
protected:
    void SetUp() override
    {
        HandlerTest::SetUp();
        ASSERT_TRUE(fpgaManagerRunning());
        chip_ = x518_manage::p_x518_manage;
        x518_manage::p_x518_manage = nullptr;
        KEL_REG_IMAGE& regs = store->reg_image;
        regs.edid_flags = ram::kRegEdidFlagsStart;
        regs.hdmi_tx_flags = ram::kRegHdmiTxFlagsStart;
        std::fill(std::begin(regs.reg_40), std::end(regs.reg_40), 0);
        regs.font_flags = 0;
        regs.save_state = 0;
        regs.window_refused = 0;
    }
    void TearDown() override
    {
        x518_manage::p_x518_manage = chip_;
        HandlerTest::TearDown();
    }

private:
    x518_manage* chip_ = nullptr;
};

TEST_F(ProtocolPage, EveryPrintedFrameEncodesByteForByteAndEveryRequestIsAnsweredAsPrinted)
{
    const std::vector<std::vector<u8>> frames = documentedFrames();
    ASSERT_GE(frames.size(), 15u) << "the page's examples were not found";
    // The box's reply to the last request, until the page prints it or the
    // next request comes: a request printed without its reply must be done.
    std::vector<u8> pending;
    std::string pendingShown;
    auto requestWithoutReply = [&] {
        if (pending.empty())
            return;
        CTRL_FRAME reply;
        ASSERT_TRUE(protocol_phy::decodeOne(pending.data(), pending.size(), reply)) << pendingShown;
        EXPECT_EQ(statusOf(reply), message_deal::ST_DONE) << pendingShown;
        pending.clear();
    };
    for (const std::vector<u8>& bytes : frames) {
        const std::string shown = ::testing::PrintToString(bytes);
        CTRL_FRAME f;
        ASSERT_TRUE(protocol_phy::decodeOne(bytes.data(), bytes.size(), f)) << shown;
        std::vector<u8> again;
        protocol_phy::encode(f, again);
        EXPECT_EQ(again, bytes) << shown;
        if (passThroughFrame(bytes) || flashFrame(bytes))
            continue;
        if (!fromPc(f)) {
            EXPECT_EQ(bytes, pending) << "the page's reply to " << pendingShown << " differs from the box's";
            pending.clear();
            continue;
        }
        requestWithoutReply();
        ASSERT_TRUE(handler.serve(f, pending)) << shown;
        pendingShown = shown;
    }
    requestWithoutReply();
}
