// Pass-through to the receiving cards: a PC's 0x30 frame goes through the
// FPGA manager to the simulated cards, and their replies come back on the
// link the request came from. The manager runs pass by pass from the test.
#include "app/config_engine.h"
#include "links/networkmanage.h"
#include "links/uart_inout_4G.h"
#include "tests/fpga/fpga_test.h"
#include "tests/links/link_client.h"

using namespace ctrl;

namespace {

// A 0x30 request for the cards behind `port`.
CTRL_FRAME cardRequest(u8 port, u8 card, u8 command, u32 address, const std::vector<u8>& data)
{
    return pcRequest(message_deal::CMD_PASSBY,
                     cat({{card, command}, le32(address), le16(static_cast<u16>(data.size())), data}), 0,
                     static_cast<u8>(kAddrCardPortBase + port));
}

}  // namespace

class Passby : public FpgaTest, public testing::WithParamInterface<LinkKind> {
protected:
    void SetUp() override
    {
        FpgaTest::SetUp();
        ASSERT_NE(ConfigEngine::pInstance(), nullptr);
        manager();
        ASSERT_TRUE(bringUp());
        passes(2);  // the replies to the box's own first card search are taken
        board->clearSentFrames();
        link = startTestLink(GetParam());
        ASSERT_TRUE(link.client && link.client->ok());
        client = link.client.get();
    }
    void TearDown() override
    {
        link.stop();
        FpgaTest::TearDown();
    }
    // Sends a request (from `pc`, the test's client unless given) and runs
    // the manager once it has reached the FPGA.
    void forward(const CTRL_FRAME& req, LinkClient* pc = nullptr)
    {
        const size_t before = board->sentFrames().size();
        ASSERT_TRUE((pc ? pc : client)->send(req));
        ASSERT_TRUE(waitUntil([&] { return board->sentFrames().size() > before; }));
        passes(1);
    }
    // Lets the answer window close and the link notice it.
    void closeWindow()
    {
        ticks(fpga_manage::kPassbyTicks + 1);
        ASSERT_TRUE(waitUntil([&] { return !message_deal::passbyPending(link.id); }));
    }

    TestLink link;
    LinkClient* client = nullptr;
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
    EXPECT_EQ(g_passby_trans_port.load(), link.id);
    EXPECT_EQ(board->cardMemory(0, 1)[17], 8);

    // One pass-through at a time: the window is still open.
    EXPECT_EQ(client->ask(cardRequest(0, 1, fpga::kRcvRead, 16, le16(3))), message_deal::ST_BUSY);
    closeWindow();
    EXPECT_FALSE(client->receive(100));  // answered: no time-out reply

    forward(cardRequest(0, 1, fpga::kRcvRead, 16, le16(3)));
    reply = client->receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(replyData(*reply), cat({{1, fpga::kRcvRead}, le32(16), le16(3), {7, 8, 9}}));
}

INSTANTIATE_TEST_SUITE_P(Links, Passby, testing::Values(LinkKind::Tcp, LinkKind::Udp, LinkKind::Rs485), linkKindName);

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
    EXPECT_FALSE(message_deal::passbyPending(link.id));
}

// FPGA 0 stops while the cards are asked: no card could answer, and the PC
// is told the box could not carry the request out; once it runs again the
// cards are reached.
TEST_P(PassbyOnOneLink, AnFpgaLostInTheWindowEndsItWithStatus3)
{
    board->silenceCard(0, 2, true);
    forward(cardRequest(0, 2, fpga::kRcvWrite, 0, {1}));
    board->holdInReset(0, true);
    passes(1);
    EXPECT_FALSE(client->receive(100));
    ticks(fpga_manage::kPassbyTicks + 1);
    auto reply = client->receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(statusOf(*reply), message_deal::ST_BUSY);
    EXPECT_EQ(client->ask(cardRequest(0, 1, fpga::kRcvWrite, 0, {1})), message_deal::ST_BUSY);

    board->holdInReset(0, false);
    ASSERT_TRUE(bringUp());
    forward(cardRequest(0, 1, fpga::kRcvWrite, 0, {5}));
    reply = client->receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(statusOf(*reply), message_deal::ST_DONE);
    EXPECT_EQ(board->cardMemory(0, 1)[0], 5);
}

// While a USB upgrade runs the manager's thread reads no card reply: a
// pass-through is busy, as other requests the upgrade keeps out are, and
// nothing goes to the cards.
TEST_P(PassbyOnOneLink, DuringAUsbUpgradeIsBusyAndReachesNoCard)
{
    const CTRL_FRAME search = cardRequest(0, 0xFF, fpga::kRcvSearch, 0, {});
    g_usb_grade = 1;
    EXPECT_EQ(client->ask(search), message_deal::ST_BUSY);
    EXPECT_TRUE(board->sentFrames().empty());
    EXPECT_FALSE(message_deal::passbyPending(link.id));
    g_usb_grade = 0;
    forward(search);
    std::optional<CTRL_FRAME> reply;
    for (int card = 0; card < 4; ++card) {  // port 0 has four cards
        reply = client->receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(statusOf(*reply), message_deal::ST_DONE);
    }
    closeWindow();

    // An upgrade that begins before the cards' replies are read: busy, not
    // "no card answered", at the window's end.
    const size_t before = board->sentFrames().size();
    ASSERT_TRUE(client->send(search));
    ASSERT_TRUE(waitUntil([&] { return board->sentFrames().size() > before; }));
    g_usb_grade = 1;
    ticks(fpga_manage::kPassbyTicks + 1);
    reply = client->receive();
    g_usb_grade = 0;
    ASSERT_TRUE(reply);
    EXPECT_EQ(statusOf(*reply), message_deal::ST_BUSY);
    EXPECT_EQ(replyData(*reply), std::vector<u8>{});
}

// A card answers so late that its reply to a search on TCP comes while a
// PC on UDP searches the same port: TCP gets nothing after its window, and
// UDP one reply per card, though the late card's reply to TCP and its own
// to UDP both come in UDP's window.
TEST_P(PassbyOnOneLink, ALateReplyReachesNeitherAnotherLinkNorTwiceALaterRequest)
{
    constexpr int kLateLooks = 10;  // more looks at the receive queue than TCP's window and UDP's start take
    board->setCardDelay(0, 3, kLateLooks);
    const CTRL_FRAME search = cardRequest(0, 0xFF, fpga::kRcvSearch, 0, {});
    auto cardsOf = [](LinkClient& pc) {
        std::vector<u8> cards;
        while (auto reply = pc.receive(100))
            cards.push_back(reply->length > 1 ? reply->payload[1] : 0xEE);
        return cards;
    };
    forward(search);
    EXPECT_EQ(cardsOf(*client), (std::vector<u8>{0, 1, 2}));
    after(fpga_manage::kPassbyTicks + 1);

    TestLink udp = startTestLink(LinkKind::Udp);
    ASSERT_TRUE(udp.client && udp.client->ok());
    forward(search, udp.client.get());
    for (int i = 0; i < 2 * kLateLooks; ++i)
        after(1);
    EXPECT_EQ(cardsOf(*udp.client), (std::vector<u8>{0, 1, 2, 3}));
    EXPECT_EQ(cardsOf(*client), std::vector<u8>{});
    udp.stop();
}

// A link that stops while its request waits for the cards takes the request
// with it: the next link's requests are not refused as another's.
TEST_P(PassbyOnOneLink, ALinkThatStopsLeavesNoRequestPending)
{
    forward(cardRequest(0, 0xFF, fpga::kRcvSearch, 0, {}));
    const u8 id = link.id;
    ASSERT_TRUE(message_deal::passbyPending(id));
    link.stop();
    EXPECT_FALSE(message_deal::passbyPending(id));
}

INSTANTIATE_TEST_SUITE_P(Tcp, PassbyOnOneLink, testing::Values(LinkKind::Tcp), linkKindName);

// PCs that each open a connection and search the cards of port 0 (four
// cards) or port 1 (two), at every moment of the box's own card search
// (one port every kSearchTicks): each search gets exactly one reply from
// each card of the port it asked, in chain order, and nothing else: no
// reply to the box's own search and none to an earlier request.
class PassbyOnFreshConnections : public Passby {};

TEST_P(PassbyOnFreshConnections, EverySearchCountsExactlyTheCardsOfItsPort)
{
    constexpr int kSearches = 1000;
    constexpr int kMoments = static_cast<int>(fpga_manage::kSearchTicks) + 1;
    constexpr int kQuietMs = 10;
    const std::vector<u8> chains[] = {{0, 1, 2, 3}, {0, 1}};
    int wrong = 0;
    for (int i = 0; i < kSearches && wrong < 5; ++i) {
        for (int k = i % kMoments; k > 0; --k)
            after(1);
        const std::unique_ptr<LinkClient> pc = link.connect();
        ASSERT_TRUE(pc->ok());
        const u8 port = static_cast<u8>(i % 2);
        board->clearSentFrames();  // it keeps only the last few
        forward(cardRequest(port, 0xFF, fpga::kRcvSearch, 0, {}), pc.get());
        std::vector<u8> cards;
        for (size_t n = 0; n < chains[port].size(); ++n) {
            const auto reply = pc->receive();
            ASSERT_TRUE(reply) << "search " << i << ": " << n << " replies";
            ASSERT_EQ(statusOf(*reply), message_deal::ST_DONE);
            EXPECT_EQ(reply->source, kAddrCardPortBase + port);
            cards.push_back(reply->payload[1]);
        }
        while (const auto extra = pc->receive(kQuietMs))
            cards.push_back(extra->length > 1 ? extra->payload[1] : 0xEE);
        if (cards != chains[port]) {
            ++wrong;
            ADD_FAILURE() << "search " << i << " of port " << int(port) << ": " << cards.size() << " replies";
        }
        after(fpga_manage::kPassbyTicks + 1);  // the window closes; the box's own search goes on
    }
}

INSTANTIATE_TEST_SUITE_P(Links, PassbyOnFreshConnections, testing::Values(LinkKind::Tcp, LinkKind::Udp), linkKindName);

// Two PCs on one UDP link. A searches a port without cards and B reads the
// brightness within A's second: B gets its own reply only, A the status 4
// when the second is over. A searches port 0, a card of it answering late,
// while B keeps asking: every card's reply reaches A, none B.
class PassbyTwoPcs : public Passby {};

TEST_P(PassbyTwoPcs, EveryReplyReachesThePcThatAskedOnly)
{
    LinkClient* a = client;
    const std::unique_ptr<LinkClient> b = link.connect();
    ASSERT_TRUE(b->ok());
    const CTRL_FRAME brightness = pcRequest(message_deal::CMD_READ_RAM, cat({le32(2176), le16(2)}));
    auto othersOf = [](LinkClient& pc) {
        int n = 0;
        while (auto reply = pc.receive(100))
            n += reply->command == message_deal::CMD_PASSBY;
        return n;
    };

    forward(cardRequest(2, 0xFF, fpga::kRcvSearch, 0, {}), a);
    EXPECT_EQ(b->ask(brightness), message_deal::ST_DONE);
    ticks(fpga_manage::kPassbyTicks + 1);
    auto reply = a->receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->command, message_deal::CMD_PASSBY);
    EXPECT_EQ(statusOf(*reply), message_deal::ST_UNSUPPORTED);
    EXPECT_EQ(othersOf(*b), 0);
    closeWindow();

    constexpr int kLateLooks = 5;
    board->setCardDelay(0, 3, kLateLooks);
    forward(cardRequest(0, 0xFF, fpga::kRcvSearch, 0, {}), a);
    std::vector<u8> cards;
    for (int i = 0; i < 2 * kLateLooks; ++i) {
        EXPECT_EQ(b->ask(brightness), message_deal::ST_DONE);
        after(1);
    }
    while (auto r = a->receive(100))
        cards.push_back(r->length > 1 ? r->payload[1] : 0xEE);
    EXPECT_EQ(cards, (std::vector<u8>{0, 1, 2, 3}));
    EXPECT_EQ(othersOf(*b), 0);
}

INSTANTIATE_TEST_SUITE_P(Udp, PassbyTwoPcs, testing::Values(LinkKind::Udp), linkKindName);

// A TCP connection that takes the place of the one that asked gets none of
// the earlier request's replies: not a card's, not the status 4.
TEST_P(PassbyOnOneLink, AConnectionThatReplacedTheAskersGetsNoneOfItsReplies)
{
    board->setCardDelay(0, 1, 3);
    board->silenceCard(0, 2, true);
    forward(cardRequest(0, 1, fpga::kRcvWrite, 0, {1}));
    const std::unique_ptr<LinkClient> next = link.connect();
    ASSERT_TRUE(next->ok());
    EXPECT_EQ(next->ask(pcRequest(message_deal::CMD_READ_RAM, cat({le32(2176), le16(2)}))),
              message_deal::ST_DONE);  // connected and served
    for (int i = 0; i < 6; ++i)
        after(1);
    ticks(fpga_manage::kPassbyTicks + 1);
    ASSERT_TRUE(waitUntil([&] { return !message_deal::passbyPending(link.id); }));
    EXPECT_FALSE(next->receive(200));
    EXPECT_EQ(board->cardMemory(0, 1)[0], 1);  // the card took it
}

class PassbyRefused : public FpgaTest {};

TEST_F(PassbyRefused, WhileTheFpgaIsDownOrOnTheModemLink)
{
    ConfigEngine::pInstance();
    manager();  // FPGA 0 not up yet
    networkManage tcp(0);
    ASSERT_TRUE(tcp.start());
    auto pc = LinkClient::tcp(tcp.port());
    EXPECT_EQ(pc->ask(cardRequest(0, 1, fpga::kRcvSearch, 0, {})), message_deal::ST_BUSY);
    EXPECT_FALSE(message_deal::passbyPending(message_deal::LINK_TCP));

    ASSERT_TRUE(bringUp());
    Zt_uart_inout_4G modem;
    ASSERT_TRUE(modem.start());
    auto cloud = LinkClient::serial(platform::path(Zt_uart_inout_4G::kDevice));
    EXPECT_EQ(cloud->ask(cardRequest(0, 1, fpga::kRcvSearch, 0, {})), message_deal::ST_UNSUPPORTED);
    // A sending port beyond the sixteen is no card address: not answered at all.
    EXPECT_FALSE(pc->request(cardRequest(16, 1, fpga::kRcvSearch, 0, {}), 300));
}
