// The command handler: every command's effect and reply, the bounds of every
// length a frame carries, routing by target address, and the register side
// effects.
#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "fpga/fpga_regs.h"
#include "links/message_deal.h"
#include "tests/links/link_client.h"
#include "tests/support/box_test.h"
#include "videochip/x518_manage.h"

#include <QSettings>
#include <QSignalSpy>
#include <cstring>

using namespace ctrl;

namespace {

std::vector<u8> hex(const std::string& text)
{
    std::vector<u8> out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<u8>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

constexpr u32 kBrightness = offsetof(KEL_RAM_PARA, brightness);

}  // namespace

class Handler : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        ASSERT_NE(ConfigEngine::pInstance(), nullptr);
        store = KelRamPara::pInstance();
        x518_manage::apply_flag = 0;
        g_app_reset_flag = 0;
        G_reboot_tickTicks = 0;
        G_timeTicks = 0;
        platform::sim::clearShellJournal();
    }

    // Serves one request and returns its reply; fails the test when there is none.
    CTRL_FRAME ask(const CTRL_FRAME& req)
    {
        CTRL_FRAME reply;
        EXPECT_TRUE(handler.deal(req, reply));
        EXPECT_EQ(reply.target, req.source);
        EXPECT_EQ(reply.source, req.target);
        EXPECT_EQ(reply.command, req.command);
        EXPECT_EQ(reply.sub_command, req.sub_command);
        return reply;
    }
    u8 status(u8 command, const std::vector<u8>& payload, u8 sub = 0)
    {
        return statusOf(ask(pcRequest(command, payload, sub)));
    }
    QString setting(const char* key)
    {
        QSettings s(platform::qpath(ConfigEngine::kSettingsFile), QSettings::IniFormat);
        return s.value(key).toString();
    }
    u8* regs() { return reinterpret_cast<u8*>(&store->reg_image); }

    KelRamPara* store = nullptr;
    message_deal handler{message_deal::LINK_TCP};
};

// ---------------------------------------------------------------- the session of docs/protocol.md

TEST_F(Handler, TheDocumentedSessionGivesTheDocumentedBytes)
{
    std::vector<u8> out;
    CTRL_FRAME req;
    auto serveHex = [&](const std::string& in) {
        std::vector<u8> bytes = hex(in);
        EXPECT_TRUE(protocol_phy::decodeOne(bytes.data(), bytes.size(), req));
        out.clear();
        EXPECT_TRUE(handler.serve(req, out));
        return out;
    };
    EXPECT_EQ(serveHex("A5 00 FE 11 00 06 00 80 08 00 00 50 00 31 5A"), hex("A5 FE 00 11 00 01 00 00 EE 5A"));
    EXPECT_EQ(store->ram_para.brightness, 80);
    EXPECT_EQ(serveHex("A5 00 FE 10 00 06 00 80 08 00 00 02 00 62 5A"),
              hex("A5 FE 00 10 00 09 00 00 80 08 00 00 02 00 50 00 3D 5A"));
}

// ---------------------------------------------------------------- routing

TEST_F(Handler, FramesForOthersAreIgnoredAndAnyBoxIsAnswered)
{
    std::vector<u8> out;
    pc_cmd_valid = 0;
    for (u8 target : {u8(kAddrPc), u8(0x01), u8(0x0F), u8(0x20), u8(0xFD)})
        EXPECT_FALSE(handler.serve(pcRequest(message_deal::CMD_DEVICE_INFO, {}, 0, target), out)) << int(target);
    EXPECT_EQ(pc_cmd_valid.load(), 0);

    G_timeTicks = 4321;
    ASSERT_TRUE(handler.serve(pcRequest(message_deal::CMD_DEVICE_INFO, {}, 0, kAddrAnyBox), out));
    CTRL_FRAME reply;
    ASSERT_TRUE(protocol_phy::decodeOne(out.data(), out.size(), reply));
    EXPECT_EQ(reply.source, kAddrAnyBox);
    EXPECT_EQ(reply.target, kAddrPc);
    EXPECT_EQ(pc_cmd_valid.load(), 1);
    EXPECT_EQ(pc_cmd_time.load(), 4321u);
}

TEST_F(Handler, UnknownAndLaterCommandsAreUnsupported)
{
    for (u8 cmd : {0x00, 0x08, 0x24, 0x30, 0x73, 0xC4, 0xFF})
        EXPECT_EQ(status(cmd, {}), message_deal::ST_UNSUPPORTED) << int(cmd);
}

TEST_F(Handler, FixedSizeRequestsWantTheirExactLength)
{
    const struct {
        u8 cmd;
        size_t size;
    } fixed[] = {{0x01, 0}, {0x02, 0}, {0x03, 14}, {0x04, 6}, {0x06, 2}, {0x10, 6}, {0x12, 2}, {0x13, 2}};
    for (const auto& f : fixed) {
        EXPECT_EQ(status(f.cmd, std::vector<u8>(f.size + 1, 0x01)), message_deal::ST_BAD_LENGTH) << int(f.cmd);
        if (f.size > 0) {
            EXPECT_EQ(status(f.cmd, std::vector<u8>(f.size - 1, 0x01)), message_deal::ST_BAD_LENGTH) << int(f.cmd);
        }
    }
    EXPECT_EQ(status(0x11, {0x00, 0x00, 0x00}), message_deal::ST_BAD_LENGTH);  // address incomplete
}

TEST_F(Handler, ARefusedReplyHoldsTheStatusOnly)
{
    CTRL_FRAME reply = ask(pcRequest(message_deal::CMD_READ_RAM, cat({le32(0x11000), le16(4)})));
    EXPECT_EQ(reply.length, 1);
    EXPECT_EQ(statusOf(reply), message_deal::ST_REFUSED);
}

// ---------------------------------------------------------------- RAM

TEST_F(Handler, ReadRamCountZeroMaximumAndOnePast)
{
    CTRL_FRAME r = ask(pcRequest(message_deal::CMD_READ_RAM, cat({le32(0), le16(0)})));
    EXPECT_EQ(statusOf(r), 0);
    EXPECT_EQ(replyData(r), cat({le32(0), le16(0)}));

    r = ask(pcRequest(message_deal::CMD_READ_RAM, cat({le32(0), le16(4096)})));
    ASSERT_EQ(statusOf(r), 0);
    ASSERT_EQ(r.length, 1 + 6 + 4096);
    EXPECT_EQ(std::memcmp(&r.payload[7], &store->ram_para, 4096), 0);

    EXPECT_EQ(status(0x10, cat({le32(0), le16(4097)})), message_deal::ST_REFUSED);
}

TEST_F(Handler, ReadRamStaysInsideTheBlockOrOneSlot)
{
    EXPECT_EQ(status(0x10, cat({le32(4095), le16(1)})), 0);
    EXPECT_EQ(status(0x10, cat({le32(4095), le16(2)})), message_deal::ST_REFUSED);
    // Slot m is 4098 bytes: from 0x1000 x m + 0xFFF three bytes reach its end.
    store->ram_user_mode[2].trailing[895] = 0x77;
    CTRL_FRAME r = ask(pcRequest(0x10, cat({le32(0x3FFF), le16(3)})));
    ASSERT_EQ(statusOf(r), 0);
    EXPECT_EQ(r.payload[9], 0x77);
    EXPECT_EQ(status(0x10, cat({le32(0x3FFF), le16(4)})), message_deal::ST_REFUSED);
    EXPECT_EQ(status(0x10, cat({le32(0x10002), le16(4096)})), 0);  // the last 4096 bytes of slot 16
    EXPECT_EQ(status(0x10, cat({le32(0x11000), le16(1)})), message_deal::ST_REFUSED);  // no slot 17
    EXPECT_EQ(status(0x10, cat({le32(0x101000), le16(1)})), message_deal::ST_REFUSED);  // would alias slot 1
    EXPECT_EQ(status(0x10, cat({le32(0xFFFFFFFF), le16(4096)})), message_deal::ST_REFUSED);
}

TEST_F(Handler, ABlockWriteRaisesTheApplyFlagAndKeepsAPendingCommit)
{
    EXPECT_EQ(status(0x11, cat({le32(kBrightness), le16(77)})), 0);
    EXPECT_EQ(store->ram_para.brightness, 77);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);

    x518_manage::apply_flag = 2;  // a user-mode commit waits for the chip manager
    EXPECT_EQ(status(0x11, cat({le32(kBrightness), le16(78)})), 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 2);
}

TEST_F(Handler, WritesAreBoundedByTheBlockAndTheSlot)
{
    const KEL_RAM_PARA before = store->ram_para;
    // Exactly up to the end, one byte past it, and nothing at all.
    EXPECT_EQ(status(0x11, cat({le32(4094), {0x11, 0x22}})), 0);
    EXPECT_EQ(reinterpret_cast<u8*>(&store->ram_para)[4095], 0x22);
    std::memcpy(&store->ram_para, &before, sizeof before);
    x518_manage::apply_flag = 0;
    EXPECT_EQ(status(0x11, cat({le32(4094), {0x11, 0x22, 0x33}})), message_deal::ST_REFUSED);
    EXPECT_EQ(std::memcmp(&store->ram_para, &before, sizeof before), 0);
    EXPECT_EQ(status(0x11, le32(100)), 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);  // an empty write changes nothing
    // The largest write a frame can carry does not fit the block.
    EXPECT_EQ(status(0x11, cat({le32(0), std::vector<u8>(kMaxPayload - 4, 0x5A)})), message_deal::ST_REFUSED);
    EXPECT_EQ(status(0x11, cat({le32(0x2FFF), {0xAA, 0xBB, 0xCC}})), 0);
    EXPECT_EQ(store->ram_user_mode[1].trailing[895], 0xCC);
    EXPECT_EQ(status(0x11, cat({le32(0x2FFF), {0xAA, 0xBB, 0xCC, 0xDD}})), message_deal::ST_REFUSED);
}

TEST_F(Handler, ASlotWriteRaisesNothing)
{
    EXPECT_EQ(status(0x11, cat({le32(0x5000), {0xAA, 0xAA, 0x42}})), 0);
    EXPECT_EQ(store->ram_user_mode[4].marker[0], 0xAA);
    EXPECT_EQ(store->ram_user_mode[4].data[0], 0x42);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
}

// ---------------------------------------------------------------- registers

TEST_F(Handler, RegisterReadsReachTheFirst170)
{
    regs()[0] = 0x12;
    regs()[169] = 0x34;
    CTRL_FRAME r = ask(pcRequest(0x12, {0, 170}));
    ASSERT_EQ(statusOf(r), 0);
    ASSERT_EQ(r.length, 171);
    EXPECT_EQ(r.payload[1], 0x12);
    EXPECT_EQ(r.payload[170], 0x34);
    EXPECT_EQ(status(0x12, {169, 2}), message_deal::ST_REFUSED);
    EXPECT_EQ(status(0x12, {0, 171}), message_deal::ST_REFUSED);
    r = ask(pcRequest(0x12, {170, 0}));
    EXPECT_EQ(statusOf(r), 0);
    EXPECT_EQ(r.length, 1);
}

TEST_F(Handler, PlainRegisterWritesStoreTheValue)
{
    EXPECT_EQ(status(0x13, {5, 0x99}), 0);
    EXPECT_EQ(regs()[5], 0x99);
    EXPECT_EQ(status(0x13, {169, 0x01}), 0);
    EXPECT_EQ(status(0x13, {170, 0x01}), message_deal::ST_REFUSED);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
}

TEST_F(Handler, ChipRequestRegistersLandInTheirImageBytesAndRaiseTheApply)
{
    EXPECT_EQ(status(0x13, {0xA2, 0x41}), 0);
    EXPECT_EQ(store->reg_image.reg_a2, 0x41);
    EXPECT_EQ(status(0x13, {0xA3, 0x00}), 0);
    EXPECT_EQ(store->reg_image.reg_a3, 0x01);  // value plus one
    EXPECT_EQ(status(0x13, {0xA4, 0x01}), 0);
    EXPECT_EQ(store->reg_image.reg_a4, 0x01);
    EXPECT_EQ(status(0x13, {0xA5, 0x02}), 0);
    EXPECT_EQ(store->reg_image.reg_a5, 0x02);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    x518_manage::apply_flag = 0;
    EXPECT_EQ(status(0x13, {0xA0, 0x07}), 0);
    EXPECT_EQ(store->reg_image.reg_a0, 0x07);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
}

TEST_F(Handler, RegisterElevenCommitsModesAndReloadsTheOverlay)
{
    EXPECT_EQ(status(0x13, {11, 0x04}), 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 2);
    x518_manage::apply_flag = 0;
    g_osd_update = 0;
    store->ram_para.osd_enable = 0;
    EXPECT_EQ(status(0x13, {11, 0x08}), 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);  // no overlay in use
    EXPECT_EQ(g_osd_update.load(), 0);
    store->ram_para.osd_enable = 1;
    EXPECT_EQ(status(0x13, {11, 0x08}), 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);
    EXPECT_EQ(g_osd_update.load(), 1);
    // Both bits: the commit is not lost to the overlay reload.
    x518_manage::apply_flag = 0;
    EXPECT_EQ(status(0x13, {11, 0x0C}), 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 2);
}

TEST_F(Handler, RestartRequestsStampBeforeTheyFlag)
{
    G_timeTicks = 5000;
    G_reboot_tickTicks = 10;  // an old stamp
    EXPECT_EQ(status(0x13, {14, 0x01}), 0);
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    EXPECT_EQ(G_reboot_tickTicks.load(), 5000u);
    // A restart already pending keeps its stamp.
    G_timeTicks = 5100;
    EXPECT_EQ(status(0x13, {14, 0x01}), 0);
    EXPECT_EQ(G_reboot_tickTicks.load(), 5000u);

    g_app_reset_flag = 0;
    G_timeTicks = 6000;
    EXPECT_EQ(status(0x13, {0xA1, 0x01}), 0);
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    EXPECT_EQ(G_reboot_tickTicks.load(), 6000u);
}

TEST_F(Handler, TheRegisterListingNeedsTheChipUp)
{
    EXPECT_EQ(status(0x13, {0xA1, 0x03}), message_deal::ST_BUSY);
    EXPECT_EQ(g_app_reset_flag.load(), 0);  // and nothing else of the request was done
}

// ---------------------------------------------------------------- network

TEST_F(Handler, NetworkAddressWithTheSamePortAppliesAndAnnounces)
{
    QSignalSpy spy(store, SIGNAL(sig_update_para(int)));
    EXPECT_EQ(status(0x03, cat({{10, 1, 2, 3}, {255, 255, 0, 0}, {10, 1, 0, 1}, le16(5005)})), 0);
    EXPECT_EQ(setting("config/IPAddress"), "10.1.2.3");
    EXPECT_EQ(setting("config/SubNetMask"), "255.255.0.0");
    EXPECT_EQ(setting("config/GateWay"), "10.1.0.1");
    EXPECT_EQ(settingsRead(g_str_ip), "10.1.2.3");
    EXPECT_EQ(journalWith("ifconfig eth0 10"), std::vector<std::string>{"ifconfig eth0 10.1.2.3 netmask 255.255.0.0"});
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), int(SYNC_PARA_CHANGED));
    EXPECT_EQ(g_app_reset_flag.load(), 0);
}

TEST_F(Handler, NetworkAddressWithANewPortStampsTheRebootFirst)
{
    G_timeTicks = 9000;
    G_reboot_tickTicks = 0;
    EXPECT_EQ(status(0x03, cat({{192, 168, 1, 199}, {255, 255, 255, 0}, {192, 168, 1, 1}, le16(6001)})), 0);
    EXPECT_EQ(setting("config/TcpPort"), "6001");
    EXPECT_EQ(settingsRead(g_port), 6001);
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    // The reboot comes 300 ticks after this request, not at once.
    EXPECT_EQ(G_reboot_tickTicks.load(), 9000u);
}

TEST_F(Handler, NetworkAddressRefusesPortZero)
{
    EXPECT_EQ(status(0x03, cat({{10, 1, 2, 3}, {255, 0, 0, 0}, {10, 0, 0, 1}, le16(0)})), message_deal::ST_REFUSED);
    EXPECT_EQ(setting("config/IPAddress"), "192.168.1.199");
    EXPECT_TRUE(platform::sim::shellJournal().empty());
}

TEST_F(Handler, NetworkSearchReportsAddressesPortAndHardwareAddress)
{
    CTRL_FRAME r = ask(pcRequest(0x02, {}));
    ASSERT_EQ(statusOf(r), 0);
    EXPECT_EQ(replyData(r), cat({{192, 168, 1, 199}, {255, 255, 255, 0}, {192, 168, 1, 1}, le16(5005),
                                 {0x02, 0x4B, 0x45, 0x4C, 0x00, 0x01}}));
    EXPECT_EQ(journalWith("ifconfig eth0 | grep HWaddr").size(), 1u);
}

TEST_F(Handler, HardwareAddressRewritesTheNetworkConfiguration)
{
    EXPECT_EQ(status(0x04, {0x02, 0x11, 0x22, 0xA5, 0x5A, 0xAA}), 0);
    const std::string interfaces = readBoxFile("/etc/network/interfaces");
    EXPECT_NE(interfaces.find("hwaddress ether 02:11:22:A5:5A:AA"), std::string::npos);
    EXPECT_NE(interfaces.find("address 192.168.1.199"), std::string::npos);
    const auto journal = platform::sim::shellJournal();
    const std::vector<std::string> head(journal.begin(), journal.begin() + 3);
    EXPECT_EQ(head, (std::vector<std::string>{"ifconfig eth0 down", "ifconfig eth0 hw ether 02:11:22:A5:5A:AA",
                                              "ifconfig eth0 up"}));
    EXPECT_EQ(journalWith("ifconfig eth0 192.168.1.199").size(), 1u);  // the port set up again
    EXPECT_EQ(settingsRead(g_str_mac), "02:11:22:A5:5A:AA");

    platform::sim::clearShellJournal();
    EXPECT_EQ(status(0x04, {0x01, 0x11, 0x22, 0x33, 0x44, 0x55}), message_deal::ST_REFUSED);  // multicast
    EXPECT_EQ(status(0x04, {0, 0, 0, 0, 0, 0}), message_deal::ST_REFUSED);
    EXPECT_TRUE(platform::sim::shellJournal().empty());
}

// ---------------------------------------------------------------- settings

TEST_F(Handler, BarCodeLengthsAndCharacters)
{
    const std::string max(32, 'B');
    EXPECT_EQ(status(0x05, std::vector<u8>(max.begin(), max.end())), 0);
    EXPECT_EQ(setting("config/Barcode"), QString::fromStdString(max));
    EXPECT_EQ(status(0x05, std::vector<u8>(33, 'C')), message_deal::ST_BAD_LENGTH);
    EXPECT_EQ(status(0x05, {}), message_deal::ST_BAD_LENGTH);
    EXPECT_EQ(status(0x05, {'A', '\n', 'B'}), message_deal::ST_REFUSED);
    EXPECT_EQ(status(0x05, {0, 0}), message_deal::ST_REFUSED);
    EXPECT_EQ(setting("config/Barcode"), QString::fromStdString(max));

    EXPECT_EQ(status(0x05, {'K', 'E', 'L', '-', '7', 0, 0}), 0);  // NUL padding dropped
    EXPECT_EQ(settingsRead(g_str_barcode), "KEL-7");
    CTRL_FRAME info = ask(pcRequest(0x01, {}));
    ASSERT_EQ(statusOf(info), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info.payload[1]), 32),
              "KEL-7" + std::string(27, ' '));
}

TEST_F(Handler, DeviceInformationLayout)
{
    {
        QMutexLocker lock(&g_settings_mutex);
        g_kel_max_pixel = 0x3C0000;
    }
    CTRL_FRAME r = ask(pcRequest(0x01, {}));
    ASSERT_EQ(statusOf(r), 0);
    const std::vector<u8> d = replyData(r);
    ASSERT_GE(d.size(), 68u);
    EXPECT_EQ(std::string(d.begin() + 32, d.begin() + 64), "1597bca0886b31023001305032627494");
    EXPECT_EQ(getU32(&d[64]), 0x3C0000u);
    EXPECT_EQ(std::string(d.begin() + 68, d.end()), "V11.02.00 2025-02-26");
}

TEST_F(Handler, LanguageSupportModes)
{
    EXPECT_EQ(status(0x06, {0x0A, 1}), 0);
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x1000Au);
    EXPECT_EQ(setting("config/KelLCDLang"), "65546");
    EXPECT_EQ(status(0x06, {0xFF, 2}), 0);
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x2001Eu);  // simplified Chinese dropped
    EXPECT_EQ(status(0x06, {0x1F, 3}), message_deal::ST_REFUSED);
    EXPECT_EQ(status(0x06, {0x01, 2}), message_deal::ST_REFUSED);  // nothing left to show
    EXPECT_EQ(status(0x06, {0x00, 1}), message_deal::ST_REFUSED);
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x2001Eu);
}

TEST_F(Handler, CloudProperties)
{
    auto text = [](const char* s) { return std::vector<u8>(s, s + std::strlen(s)); };
    EXPECT_EQ(status(0x07, text("cloud.example"), 0), 0);
    EXPECT_EQ(status(0x07, text("8443"), 1), 0);
    EXPECT_EQ(status(0x07, text("user-1"), 2), 0);
    EXPECT_EQ(status(0x07, text("hall A"), 3), 0);
    EXPECT_EQ(setting("config/ryvecloudserverip"), "cloud.example");
    EXPECT_EQ(setting("config/ryvecloudserverport"), "8443");
    EXPECT_EQ(setting("config/ryveclouduserip"), "user-1");
    EXPECT_EQ(setting("config/ryvecloudcontrollername"), "hall A");
    EXPECT_EQ(settingsRead(g_ryve_cloudserverport), 8443);
    EXPECT_EQ(g_ryve_cloud, 1);

    EXPECT_EQ(status(0x07, text("80a"), 1), message_deal::ST_REFUSED);
    EXPECT_EQ(status(0x07, text("65536"), 1), message_deal::ST_REFUSED);
    EXPECT_EQ(status(0x07, text("0"), 1), message_deal::ST_REFUSED);
    EXPECT_EQ(status(0x07, text("x"), 4), message_deal::ST_REFUSED);
    EXPECT_EQ(status(0x07, std::vector<u8>(64, 'n'), 3), 0);
    EXPECT_EQ(status(0x07, std::vector<u8>(65, 'n'), 3), message_deal::ST_BAD_LENGTH);
    EXPECT_EQ(status(0x07, {}, 3), message_deal::ST_BAD_LENGTH);
    EXPECT_EQ(settingsRead(g_ryve_cloudserverport), 8443);
}

// ---------------------------------------------------------------- pass-through

TEST_F(Handler, PassThroughChecksItsLengthsBeforeForwarding)
{
    const std::vector<u8> head = cat({{0xFF, 0x01}, le32(0x100), le16(4)});
    auto passby = [&](const std::vector<u8>& payload, u8 cmd = message_deal::CMD_PASSBY) {
        return statusOf(ask(pcRequest(cmd, payload, 0, kAddrCardPortBase + 2)));
    };
    EXPECT_EQ(passby(std::vector<u8>(head.begin(), head.end() - 1)), message_deal::ST_BAD_LENGTH);
    EXPECT_EQ(passby(cat({head, {1, 2, 3}})), message_deal::ST_BAD_LENGTH);       // data shorter than its length
    EXPECT_EQ(passby(cat({head, {1, 2, 3, 4, 5}})), message_deal::ST_BAD_LENGTH);  // and longer
    EXPECT_EQ(passby(head, message_deal::CMD_READ_RAM), message_deal::ST_UNSUPPORTED);  // cards take 0x30 only
    // More data than a card frame carries.
    EXPECT_EQ(passby(cat({{0xFF, 0x03}, le32(0), le16(1025), std::vector<u8>(1025, 1)})), message_deal::ST_REFUSED);
    // Well formed, but no FPGA manager to take it.
    EXPECT_EQ(passby(cat({head, {1, 2, 3, 4}})), message_deal::ST_BUSY);
    EXPECT_FALSE(message_deal::passby_pending(message_deal::LINK_TCP));
}

TEST_F(Handler, AReplyWithNothingPendingGoesNowhere)
{
    u8 frame[32];
    const int n = fpga::rcvBuild(frame, {0, 0, fpga::kRcvWrite, 0, 0}, nullptr, 0);
    EXPECT_FALSE(message_deal::passby_card_reply(frame, n));
    EXPECT_FALSE(message_deal::passby_pending(message_deal::LINK_TCP));
    EXPECT_EQ(message_deal::poll_timeout_ms(message_deal::LINK_TCP), -1);
}
