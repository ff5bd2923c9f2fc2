// The links end to end in one process: what each transport makes of the
// bytes it gets (TCP and UDP on loopback, RS-485 on its pseudo-terminal),
// requests served without a heap allocation, and what one transport does
// that the others do not. The command handler's answers are
// test_message_deal's; the 4G link, the RS-485 transport with another link
// id, and frames handed over from another thread are test_passby's.
#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "links/file_deal.h"
#include "links/networkmanage.h"
#include "links/uart_inout.h"
#include "tests/links/link_client.h"
#include "tests/support/box_test.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <unistd.h>

using namespace ctrl;

namespace {

constexpr u32 kBrightness = offsetof(KEL_RAM_PARA, brightness);

// Heap allocations by every thread but the one that marks itself (the test's).
std::atomic<long> g_otherThreadsAllocations{0};
thread_local bool t_uncounted = false;

}  // namespace

void* operator new(size_t n)
{
    if (!t_uncounted)
        ++g_otherThreadsAllocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

// A link of one kind, started on a fresh box, with a PC client on it.
class Links : public BoxTest, public testing::WithParamInterface<LinkKind> {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        ASSERT_NE(ConfigEngine::pInstance(), nullptr);
        store = KelRamPara::pInstance();
        link = startTestLink(GetParam());
        ASSERT_TRUE(link.client && link.client->ok());
    }
    void TearDown() override
    {
        link.stop();
        BoxTest::TearDown();
    }
    u8 reg(int n) { return reinterpret_cast<u8*>(&store->reg_image)[n]; }

    KelRamPara* store = nullptr;
    TestLink link;
};

TEST_P(Links, FramesAreServedHoweverTheirBytesArrive)
{
    LinkClient& pc = *link.client;
    // Junk with a bad check byte gets no answer; the largest reply after it arrives whole.
    ASSERT_TRUE(pc.sendRaw(hex("00 5A 13 AA 8A A5 00 FE 01 00 00 00 00 5A")));
    auto reply = pc.request(pcRequest(0x10, cat({le32(0), le16(4096)})));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->length, 1 + 6 + 4096);
    EXPECT_EQ(std::memcmp(&reply->payload[7], &store->ram_para, 4096), 0);
    EXPECT_FALSE(pc.receive(100));

    // Three frames in one write: a stream serves each, a datagram only its first.
    const bool stream = GetParam() != LinkKind::Udp;
    std::vector<u8> three;
    for (u8 r : {1, 2, 3})
        protocol_phy::encode(pcRequest(0x13, {r, static_cast<u8>(0x10 + r)}), three);
    const u8 third = reg(3);
    ASSERT_TRUE(pc.sendRaw(three));
    for (int i = 0; i < (stream ? 3 : 1); ++i) {
        reply = pc.receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(statusOf(*reply), 0);
    }
    EXPECT_FALSE(pc.receive(200));
    EXPECT_EQ(reg(1), 0x11);
    EXPECT_EQ(reg(3), stream ? 0x13 : third);
    if (!stream)
        return;

    // One byte per write.
    std::vector<u8> one;
    protocol_phy::encode(pcRequest(0x10, cat({le32(0), le16(300)})), one);
    for (u8 b : one) {
        ASSERT_TRUE(pc.sendRaw({b}));
        std::this_thread::yield();
    }
    reply = pc.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->length, 1 + 6 + 300);
}

TEST_P(Links, RequestsAreServedWithoutAHeapAllocation)
{
    t_uncounted = true;  // the client's own allocations are not the link's
    LinkClient& pc = *link.client;
    std::vector<u8> piece(file_deal::kMaxPiece, 0xA5);  // every byte escaped
    const CTRL_FRAME requests[] = {
        pcRequest(0x10, cat({le32(kBrightness), le16(2)})),
        pcRequest(0x10, cat({le32(0), le16(4096)})),
        pcRequest(0x11, cat({le32(kBrightness), le16(0x1234)})),
        pcRequest(0x12, {0, 16}),
        pcRequest(0x21, cat({le32(0), piece})),
    };
    ASSERT_EQ(pc.ask(pcRequest(0x20, cat({hex("4F 53 44 53"), le32(4096), {0}}))), 0);
    for (const CTRL_FRAME& r : requests)  // the first of each may set up what lasts
        ASSERT_EQ(pc.ask(r), 0) << int(r.command);
    const long before = g_otherThreadsAllocations.load();
    for (int round = 0; round < 10; ++round)
        for (const CTRL_FRAME& r : requests)
            ASSERT_EQ(pc.ask(r), 0) << int(r.command);
    EXPECT_EQ(g_otherThreadsAllocations.load() - before, 0);
}

TEST_P(Links, AFrameQueuedWhileThePcKeepsAskingGoesOutBeforeItsNextAnswer)
{
    // A link reads on while its PC asks again at once; a frame another
    // thread queued meanwhile (a card's pass-through reply) must not wait
    // for the PC to pause.
    LinkClient& pc = *link.client;
    const CTRL_FRAME read = pcRequest(0x10, cat({le32(kBrightness), le16(2)}));
    std::vector<u8> queued;
    protocol_phy::encode(pcRequest(0x7E, {1, 2, 3}), queued);
    int answersBefore = -1;
    for (int asked = 0; asked < 40 && answersBefore < 0; ++asked) {
        ASSERT_TRUE(pc.send(read));
        if (asked == 5)
            std::thread([&] { link.link->send(queued, link.firstClientPeer()); }).join();
        for (;;) {
            const auto frame = pc.receive();
            ASSERT_TRUE(frame) << "asked " << asked;
            if (frame->command == 0x7E) {
                answersBefore = asked - 5;
                continue;
            }
            ASSERT_EQ(frame->command, 0x10);
            break;
        }
    }
    ASSERT_GE(answersBefore, 0) << "the queued frame never came";
    EXPECT_LE(answersBefore, 2);
}

INSTANTIATE_TEST_SUITE_P(AllLinks, Links, testing::Values(LinkKind::Tcp, LinkKind::Udp, LinkKind::Rs485), linkKindName);

// ---------------------------------------------------------------- per transport

class TcpLink : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        ConfigEngine::pInstance();
        KelRamPara::pInstance();
    }
};

TEST_F(TcpLink, ANewConnectionReplacesTheOldOneAndAClosedOneLeavesTheServerListening)
{
    networkManage link(0);
    ASSERT_TRUE(link.start());
    auto first = LinkClient::tcp(link.port());
    ASSERT_TRUE(first->request(pcRequest(0x01, {})));
    auto second = LinkClient::tcp(link.port());
    ASSERT_TRUE(second->request(pcRequest(0x01, {})));
    EXPECT_FALSE(first->receive(2000));                   // the old connection was closed
    LinkClient::tcp(link.port())->sendRaw({0xA5, 0x00});  // half a frame, then gone
    EXPECT_TRUE(LinkClient::tcp(link.port())->request(pcRequest(0x01, {})));
}

TEST_F(TcpLink, APortInUseIsTakenOnceFree)
{
    networkManage holder(0);
    ASSERT_TRUE(holder.start());
    const u16 port = holder.port();
    networkManage link(port);
    EXPECT_FALSE(link.start());
    EXPECT_EQ(link.port(), 0);
    holder.stop();
    ASSERT_TRUE(waitUntil([&] { return link.port() == port; }, 10000));
    EXPECT_TRUE(LinkClient::tcp(port)->request(pcRequest(0x01, {})));
}

class SerialLink : public TcpLink {};

TEST_F(SerialLink, ThePortIsPublishedUnderTheBoxRootWhileTheLinkRunsAndServesEachClient)
{
    const std::string link = platform::path("/dev/ttyS2");
    {
        Zt_uart_inout uart;
        ASSERT_TRUE(uart.start());
        char target[PATH_MAX] = {};
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u);
        // Nobody attached: the box's thread still waits quietly, and a client
        // that comes later is served, as is one that leaves and comes back.
        EXPECT_TRUE(LinkClient::serial(link)->request(pcRequest(0x01, {})));
        EXPECT_TRUE(LinkClient::serial(link)->request(pcRequest(0x01, {})));
    }
    EXPECT_FALSE(platform::exists("/dev/ttyS2"));
}

TEST_F(SerialLink, AMissingPortLeavesTheLinkSilent)
{
    Zt_uart_inout uart("/../outside");
    EXPECT_FALSE(uart.start());
    EXPECT_FALSE(uart.port().running());
}

TEST_F(TcpLink, StopEndsTheThreadWhateverItWasDoingAndALinkStartsAgain)
{
    // Stopping right after start and right after a queued frame must never
    // leave a thread asleep in poll() for good (the link base's loop, alike
    // for every link).
    for (int i = 0; i < 200; ++i) {
        networkManage link(0);
        ASSERT_TRUE(link.start());
        if (i % 2)
            link.send({0x01});
        link.stop();
    }
    networkManage link(0);
    ASSERT_TRUE(link.start());
    link.stop();
    ASSERT_TRUE(link.start());
    EXPECT_TRUE(LinkClient::tcp(link.port())->request(pcRequest(0x01, {})));
}
