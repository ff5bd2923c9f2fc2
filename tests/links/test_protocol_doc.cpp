// Every frame docs/protocol.md prints in hexadecimal, read from the page
// itself: the box's codec takes it and gives the same bytes back, and each
// request, served in the page's order, is done; where the page prints the
// box's reply after it, the reply is those bytes.
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

class ProtocolPage : public HandlerTest {};

TEST_F(ProtocolPage, EveryPrintedFrameEncodesByteForByteAndEveryRequestIsDone)
{
    const std::vector<std::vector<u8>> frames = documentedFrames();
    ASSERT_GE(frames.size(), 15u) << "the page's examples were not found";
    std::vector<u8> lastReply;
    for (const std::vector<u8>& bytes : frames) {
        const std::string shown = ::testing::PrintToString(bytes);
        CTRL_FRAME f;
        ASSERT_TRUE(protocol_phy::decodeOne(bytes.data(), bytes.size(), f)) << shown;
        std::vector<u8> again;
        protocol_phy::encode(f, again);
        EXPECT_EQ(again, bytes) << shown;
        if (!fromPc(f)) {
            EXPECT_EQ(bytes, lastReply) << "the page's reply differs from the box's";
            continue;
        }
        lastReply.clear();
        ASSERT_TRUE(handler.serve(f, lastReply)) << shown;
        CTRL_FRAME reply;
        ASSERT_TRUE(protocol_phy::decodeOne(lastReply.data(), lastReply.size(), reply)) << shown;
        EXPECT_EQ(statusOf(reply), message_deal::ST_DONE) << shown;
    }
}
