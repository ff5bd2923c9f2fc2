// Pass-through to the receiving cards: a PC's 0x30 frame goes through the
// FPGA manager to the simulated cards, and their replies come back on the
// link the request came from. The manager runs pass by pass from the test.
#include "app/config_engine.h"
#include "links/networkmanage.h"
#include "links/uart_inout.h"
#include "links/uart_inout_4G.h"
#include "links/udpnetmanage.h"
#include "tests/fpga/fpga_test.h"
#include "tests/links/link_client.h"

using namespace ctrl;

namespace {

enum class Kind { Tcp, Udp, Rs485 };

std::string kindName(const testing::TestParamInfo<Kind>& info)
{
    return info.param == Kind::Tcp ? "Tcp" : info.param == Kind::Udp ? "Udp" : "Rs485";
}

// A 0x30 request for the cards behind `port`.
CTRL_FRAME cardRequest(u8 port, u8 card, u8 command, u32 address, const std::vector<u8>& data)
{
    return pcRequest(message_deal::CMD_PASSBY,
                     cat({{card, command}, le32(address), le16(static_cast<u16>(data.size())), data}), 0,
                     static_cast<u8>(kAddrCardPortBase + port));
}

}  // namespace

class Passby : public FpgaTest, public testing::WithParamInterface<Kind> {
protected:
    void SetUp() override
    {
        FpgaTest::SetUp();
        ASSERT_NE(ConfigEngine::pInstance(), nullptr);
        manager();
        ASSERT_TRUE(bringUp());
        passes(2);  // the replies to the box's own first card search are taken
        board->clearSentFrames();
        switch (GetParam()) {
        case Kind::Tcp: tcp = std::make_unique<networkManage>(0); break;
        case Kind::Udp: udp = std::make_unique<udpnetManage>(0); break;
        case Kind::Rs485: uart = std::make_unique<Zt_uart_inout>(); break;
        }
        ASSERT_TRUE(tcp ? tcp->start() : udp ? udp->start() : uart->start());
        client = tcp ? LinkClient::tcp(tcp->port())
                     : udp ? LinkClient::udp(udp->port()) : LinkClient::serial(platform::path(Zt_uart_inout::kDevice));
        link = tcp ? message_deal::LINK_TCP : udp ? message_deal::LINK_UDP : message_deal::LINK_SERIAL;
        ASSERT_TRUE(client->ok());
    }
    void TearDown() override
    {
        client.reset();
        tcp.reset();
        udp.reset();
        uart.reset();
        FpgaTest::TearDown();
    }
    // Sends a request and runs the manager once it has reached the FPGA.
    void forward(const CTRL_FRAME& req)
    {
        const size_t before = board->sentFrames().size();
        ASSERT_TRUE(client->send(req));
        ASSERT_TRUE(waitUntil([&] { return board->sentFrames().size() > before; }));
        passes(1);
    }
    // Lets the answer window close and the link notice it.
    void closeWindow()
    {
        ticks(fpga_manage::kPassbyTicks + 1);
        ASSERT_TRUE(waitUntil([&] { return !message_deal::passby_pending(link); }));
    }

    std::unique_ptr<networkManage> tcp;
    std::unique_ptr<udpnetManage> udp;
    std::unique_ptr<Zt_uart_inout> uart;
    std::unique_ptr<LinkClient> client;
    u8 link = message_deal::LINK_NONE;
};

TEST_P(Passby, ACardWrittenAndReadBack)
{
    forward(cardRequest(0, 1, fpga::kRcvWrite, 16, {7, 8, 9}));
    auto reply = client->receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->command, message_deal::CMD_PASSBY);
    EXPECT_EQ(reply->source, kAddrCardPortBase);
    EXPECT_EQ(reply->target, kAddrPc);
    EXPECT_EQ(replyData(*reply), cat({{1, fpga::kRcvWrite}, le32(16), le16(0)}));
    EXPECT_EQ(g_passby_trans_port.load(), link);
    EXPECT_EQ(board->cardMemory(0, 1)[17], 8);

    // One pass-through at a time: the window is still open.
    auto busy = client->request(cardRequest(0, 1, fpga::kRcvRead, 16, le16(3)));
    ASSERT_TRUE(busy);
    EXPECT_EQ(statusOf(*busy), message_deal::ST_BUSY);
    closeWindow();
    EXPECT_FALSE(client->receive(100));  // answered: no time-out reply

    forward(cardRequest(0, 1, fpga::kRcvRead, 16, le16(3)));
    reply = client->receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(replyData(*reply), cat({{1, fpga::kRcvRead}, le32(16), le16(3), {7, 8, 9}}));
}

INSTANTIATE_TEST_SUITE_P(Links, Passby, testing::Values(Kind::Tcp, Kind::Udp, Kind::Rs485), kindName);

// What the link base does alike for every link, on one of them.
class PassbyOnOneLink : public Passby {};

TEST_P(PassbyOnOneLink, EveryCardOfAPortAnswers)
{
    forward(cardRequest(0, 0xFF, fpga::kRcvSearch, 0, {}));
    std::vector<u8> cards;
    while (auto reply = client->receive(500)) {
        ASSERT_EQ(statusOf(*reply), 0);
        cards.push_back(reply->payload[1]);
    }
    EXPECT_EQ(cards, (std::vector<u8>{0, 1, 2, 3}));  // port 0 has four cards
}

TEST_P(PassbyOnOneLink, NoAnswerEndsWithStatus4AfterTheWindow)
{
    board->silenceCard(0, 2, true);
    forward(cardRequest(0, 2, fpga::kRcvWrite, 0, {1}));
    EXPECT_FALSE(client->receive(100));
    ticks(fpga_manage::kPassbyTicks + 1);
    auto reply = client->receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->command, message_deal::CMD_PASSBY);
    EXPECT_EQ(replyData(*reply), std::vector<u8>{});
    EXPECT_EQ(statusOf(*reply), message_deal::ST_UNSUPPORTED);
    EXPECT_FALSE(message_deal::passby_pending(link));
}

INSTANTIATE_TEST_SUITE_P(Tcp, PassbyOnOneLink, testing::Values(Kind::Tcp), kindName);

class PassbyRefused : public FpgaTest {};

TEST_F(PassbyRefused, WhileTheFpgaIsDownOrOnTheModemLink)
{
    ConfigEngine::pInstance();
    manager();  // FPGA 0 not up yet
    networkManage tcp(0);
    ASSERT_TRUE(tcp.start());
    auto pc = LinkClient::tcp(tcp.port());
    auto reply = pc->request(cardRequest(0, 1, fpga::kRcvSearch, 0, {}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(statusOf(*reply), message_deal::ST_BUSY);
    EXPECT_FALSE(message_deal::passby_pending(message_deal::LINK_TCP));

    ASSERT_TRUE(bringUp());
    Zt_uart_inout_4G modem;
    ASSERT_TRUE(modem.start());
    auto cloud = LinkClient::serial(platform::path(Zt_uart_inout_4G::kDevice));
    reply = cloud->request(cardRequest(0, 1, fpga::kRcvSearch, 0, {}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(statusOf(*reply), message_deal::ST_UNSUPPORTED);
    // A sending port beyond the sixteen is no card address: not answered at all.
    EXPECT_FALSE(pc->request(cardRequest(16, 1, fpga::kRcvSearch, 0, {}), 300));
}
