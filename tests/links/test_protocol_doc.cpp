// Every frame docs/protocol.md prints in hexadecimal, read from the page
// itself: the box's codec takes it and gives the same bytes back, and each
// request, served in the page's order, gets the reply the page prints after
// it, or, where none is printed, is done.
#include "links/protocol_phy.h"
#include "tests/links/handler_test.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace {

// The frames of the page in their order: 0xA5, bytes, 0x5A, possibly broken
// over lines and indented.
std::vector<std::vector<u8>> documentedFrames()
{
    std::ifstream in(KEL_SOURCE_DIR "/docs/protocol.md");
    std::stringstream text;
    text << in.rdbuf();
    const std::string page = text.str();
    std::vector<std::vector<u8>> frames;
    const std::regex frame(R"(A5(\s+[0-9A-F]{2})+?\s+5A\b)");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), frame); it != std::sregex_iterator(); ++it) {
        std::string bytes = it->str();
        for (char& c : bytes)
            if (std::isspace(static_cast<unsigned char>(c)))
                c = ' ';
        frames.push_back(hex(bytes));
    }
    return frames;
}

bool fromPc(const CTRL_FRAME& f) { return f.source == ctrl::kAddrPc; }

}  // namespace

// The page's examples are answered by a box whose video chip does not answer
// (its flash commands say so): a chip manager an earlier case left behind is
// set aside while they are served.
class ProtocolPage : public HandlerTest {
protected:
    void SetUp() override
    {
        HandlerTest::SetUp();
        chip_ = x518_manage::p_x518_manage;
        x518_manage::p_x518_manage = nullptr;
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
