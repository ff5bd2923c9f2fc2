// The links end to end in one process: each command on each link type (TCP
// and UDP on loopback, RS-485 and 4G on pseudo-terminals), stream
// reassembly, garbage between frames, frames queued from other threads, and
// requests served without a heap allocation.
#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "links/file_deal.h"
#include "links/networkmanage.h"
#include "links/uart_inout.h"
#include "links/uart_inout_4G.h"
#include "links/udpnetmanage.h"
#include "tests/links/link_client.h"
#include "tests/support/box_test.h"
#include "videochip/x518_manage.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace ctrl;

namespace {

enum class Kind { Tcp, Udp, Rs485, Modem };

std::string kindName(const testing::TestParamInfo<Kind>& info)
{
    return std::array<const char*, 4>{"Tcp", "Udp", "Rs485", "Modem"}[static_cast<size_t>(info.param)];
}

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
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

// A link of one kind, started on a fresh box, with a PC client on it.
class Links : public BoxTest, public testing::WithParamInterface<Kind> {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        ASSERT_NE(ConfigEngine::pInstance(), nullptr);
        store = KelRamPara::pInstance();
        x518_manage::apply_flag = 0;
        switch (GetParam()) {
        case Kind::Tcp: tcp = std::make_unique<networkManage>(0); break;
        case Kind::Udp: udp = std::make_unique<udpnetManage>(0); break;
        case Kind::Rs485: rs485 = std::make_unique<Zt_uart_inout>(); break;
        case Kind::Modem: modem = std::make_unique<Zt_uart_inout_4G>(); break;
        }
        ASSERT_TRUE(tcp ? tcp->start() : udp ? udp->start() : rs485 ? rs485->start() : modem->start());
        client = tcp   ? LinkClient::tcp(tcp->port())
                 : udp ? LinkClient::udp(udp->port())
                       : LinkClient::serial(platform::path(rs485 ? Zt_uart_inout::kDevice : Zt_uart_inout_4G::kDevice));
        ASSERT_TRUE(client->ok());
    }
    void TearDown() override
    {
        client.reset();
        tcp.reset();
        udp.reset();
        rs485.reset();
        modem.reset();
        BoxTest::TearDown();
    }
    // Queues a frame on the link from this (another) thread.
    void queue(std::vector<u8> frame)
    {
        switch (GetParam()) {
        case Kind::Tcp: tcp->send(std::move(frame)); break;
        case Kind::Udp: udp->send(std::move(frame)); break;
        case Kind::Rs485: rs485->port().send(std::move(frame)); break;
        default: modem->port().send(std::move(frame)); break;
        }
    }

    KelRamPara* store = nullptr;
    std::unique_ptr<networkManage> tcp;
    std::unique_ptr<udpnetManage> udp;
    std::unique_ptr<Zt_uart_inout> rs485;
    std::unique_ptr<Zt_uart_inout_4G> modem;
    std::unique_ptr<LinkClient> client;
};

TEST_P(Links, EachCommandIsAnswered)
{
    auto text = [](const char* s) { return std::vector<u8>(s, s + std::strlen(s)); };
    const struct {
        u8 command;
        std::vector<u8> payload;
        u8 sub;
        u8 target;
        u8 status;
    } requests[] = {
        {0x01, {}, 0, kAddrBox, 0},
        {0x02, {}, 0, kAddrAnyBox, 0},
        {0x03, cat({{192, 168, 1, 50}, {255, 255, 255, 0}, {192, 168, 1, 1}, le16(5005)}), 0, kAddrBox, 0},
        {0x04, {0x02, 0x00, 0x00, 0x12, 0x34, 0x56}, 0, kAddrBox, 0},
        {0x05, text("KEL-LINK-1"), 0, kAddrBox, 0},
        {0x06, {0x1F, 1}, 0, kAddrBox, 0},
        {0x07, text("10.9.8.7"), 0, kAddrBox, 0},
        {0x11, cat({le32(kBrightness), le16(0x5AA5)}), 0, kAddrBox, 0},
        {0x10, cat({le32(kBrightness), le16(2)}), 0, kAddrBox, 0},
        {0x13, {20, 0xA5}, 0, kAddrBox, 0},
        {0x12, {20, 1}, 0, kAddrBox, 0},
        {0x20, text("LOGO"), 0, kAddrBox, message_deal::ST_BAD_LENGTH},
        {0x71, cat({{4}, le32(0)}), 0, kAddrBox, message_deal::ST_BUSY},  // no chip manager here
        // No FPGA manager here; the 4G link does not reach the cards at all.
        {0x30, cat({{0xFF, 0x01}, le32(0), le16(0)}), 0, kAddrCardPortBase,
         GetParam() == Kind::Modem ? message_deal::ST_UNSUPPORTED : message_deal::ST_BUSY},
        {0x10, cat({le32(0x20000), le16(1)}), 0, kAddrBox, message_deal::ST_REFUSED},
    };
    for (const auto& r : requests) {
        auto reply = client->request(pcRequest(r.command, r.payload, r.sub, r.target));
        ASSERT_TRUE(reply) << "command " << int(r.command);
        EXPECT_EQ(reply->command, r.command);
        EXPECT_EQ(reply->target, kAddrPc);
        EXPECT_EQ(reply->source, r.target);
        EXPECT_EQ(statusOf(*reply), r.status) << "command " << int(r.command);
        if (r.command == 0x10 && r.status == 0) {
            EXPECT_EQ(replyData(*reply), cat({le32(kBrightness), le16(2), {0xA5, 0x5A}}));
        }
        if (r.command == 0x12) {
            EXPECT_EQ(replyData(*reply), std::vector<u8>{0xA5});
        }
    }
    EXPECT_EQ(store->ram_para.brightness, 0x5AA5);
    EXPECT_EQ(settingsRead(g_str_barcode), "KEL-LINK-1");
    EXPECT_EQ(pc_cmd_valid.load(), 1);
}

TEST_P(Links, GarbageGetsNoAnswerAndTheLargestReplyAfterItArrivesWhole)
{
    const std::vector<u8> junk = {0x00, 0x5A, 0x13, 0xAA, 0x8A, 0xA5, 0x00, 0xFE, 0x01, 0x00, 0x00, 0x00, 0x00, 0x5A};
    ASSERT_TRUE(client->sendRaw(junk));
    auto reply = client->request(pcRequest(0x10, cat({le32(0), le16(4096)})));
    ASSERT_TRUE(reply);
    ASSERT_EQ(statusOf(*reply), 0);
    ASSERT_EQ(reply->length, 1 + 6 + 4096);
    EXPECT_EQ(std::memcmp(&reply->payload[7], &store->ram_para, 4096), 0);
    EXPECT_FALSE(client->receive(100));  // the junk (a bad check byte) was not answered
}

// The byte-stream links (a datagram link carries whole frames).
class StreamLinks : public Links {};

TEST_P(StreamLinks, SplitAndMergedWrites)
{
    std::vector<u8> three;
    for (u8 reg : {1, 2, 3})
        protocol_phy::encode(pcRequest(0x13, {reg, static_cast<u8>(0x10 + reg)}), three);
    ASSERT_TRUE(client->sendRaw(three));  // merged: three frames in one write
    for (int i = 0; i < 3; ++i) {
        auto reply = client->receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(statusOf(*reply), 0);
    }
    EXPECT_EQ(reinterpret_cast<u8*>(&store->reg_image)[3], 0x13);

    std::vector<u8> one;
    protocol_phy::encode(pcRequest(0x10, cat({le32(0), le16(300)})), one);
    for (u8 b : one) {  // split: one byte per write
        ASSERT_TRUE(client->sendRaw({b}));
        std::this_thread::yield();
    }
    auto reply = client->receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->length, 1 + 6 + 300);
}

TEST_P(Links, FramesQueuedByAnotherThreadGoOut)
{
    // UDP answers the last sender: make one known first.
    ASSERT_TRUE(client->request(pcRequest(0x01, {})));
    CTRL_FRAME f = pcRequest(0x30, {0x00, 0x42});
    f.target = kAddrPc;
    f.source = kAddrCardPortBase;
    std::vector<u8> bytes;
    protocol_phy::encode(f, bytes);
    std::thread([&] { queue(bytes); }).join();
    auto got = client->receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->command, 0x30);
    EXPECT_EQ(replyData(*got), std::vector<u8>{0x42});
}

TEST_P(Links, RequestsAreServedWithoutAHeapAllocation)
{
    t_uncounted = true;  // the client's own allocations are not the link's
    std::vector<u8> piece(file_deal::kMaxPiece, 0xA5);  // every byte escaped
    const CTRL_FRAME requests[] = {
        pcRequest(0x10, cat({le32(kBrightness), le16(2)})),
        pcRequest(0x10, cat({le32(0), le16(4096)})),
        pcRequest(0x11, cat({le32(kBrightness), le16(0x1234)})),
        pcRequest(0x12, {0, 16}),
        pcRequest(0x21, cat({le32(0), piece})),
    };
    ASSERT_EQ(statusOf(*client->request(pcRequest(0x20, cat({hex("4F 53 44 53"), le32(4096), {0}})))), 0);
    for (const CTRL_FRAME& r : requests)  // the first of each may set up what lasts
        ASSERT_EQ(statusOf(*client->request(r)), 0) << int(r.command);
    const long before = g_otherThreadsAllocations.load();
    for (int round = 0; round < 10; ++round)
        for (const CTRL_FRAME& r : requests)
            ASSERT_EQ(statusOf(*client->request(r)), 0) << int(r.command);
    EXPECT_EQ(g_otherThreadsAllocations.load() - before, 0);
}

INSTANTIATE_TEST_SUITE_P(AllLinks, Links, testing::Values(Kind::Tcp, Kind::Udp, Kind::Rs485, Kind::Modem), kindName);
INSTANTIATE_TEST_SUITE_P(Streams, StreamLinks, testing::Values(Kind::Tcp, Kind::Rs485, Kind::Modem), kindName);

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
    EXPECT_FALSE(first->receive(2000));  // the old connection was closed
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

class UdpLink : public TcpLink {};

TEST_F(UdpLink, OneFramePerDatagram)
{
    udpnetManage link(0);
    ASSERT_TRUE(link.start());
    auto client = LinkClient::udp(link.port());
    std::vector<u8> two;
    protocol_phy::encode(pcRequest(0x13, {7, 0x01}), two);
    protocol_phy::encode(pcRequest(0x13, {7, 0x02}), two);
    ASSERT_TRUE(client->sendRaw(two));
    ASSERT_TRUE(client->receive());
    EXPECT_FALSE(client->receive(200));
    EXPECT_EQ(reinterpret_cast<u8*>(&KelRamPara::p_kelrampara_config->reg_image)[7], 0x01);
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
