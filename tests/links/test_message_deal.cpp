// The command handler: every command's effect and reply, the bounds of every
// length a frame carries, routing by target address, and the register side
// effects.
#include "fpga/fpga_manage.h"
#include "platform/sim/sim_fpga.h"
#include "registers/fpga_regs.h"
#include "tests/links/handler_test.h"

#include <QSignalSpy>
#include <cstring>

using namespace ctrl;

namespace {

constexpr u32 kBrightness = offsetof(KEL_RAM_PARA, brightness);
constexpr u8 R = message_deal::ST_REFUSED;
constexpr u8 L = message_deal::ST_BAD_LENGTH;
constexpr u8 B = message_deal::ST_BUSY;
constexpr u32 kFpgaMemory = message_deal::kFpgaMemoryAddress;
constexpr u32 kFpga1Memory = kFpgaMemory + message_deal::kFpgaMemoryStep;

CTRL_FRAME readRam(u32 address, u16 count)
{
    return pcRequest(0x10, cat({le32(address), le16(count)}));
}

}  // namespace

class Handler : public HandlerTest {};

// ---------------------------------------------------------------- the session of docs/protocol.md

TEST_F(Handler, TheDocumentedSessionGivesTheDocumentedBytes)
{
    const struct {
        const char* request;
        const char* reply;
    } session[] = {
        {"A5 00 FE 11 00 06 00 80 08 00 00 50 00 31 5A", "A5 FE 00 11 00 01 00 00 EE 5A"},
        {"A5 00 FE 10 00 06 00 80 08 00 00 02 00 62 5A", "A5 FE 00 10 00 09 00 00 80 08 00 00 02 00 50 00 3D 5A"},
        {"A5 00 FE 20 00 09 00 41 4C 49 53 10 00 00 00 00 D0 5A", "A5 FE 00 20 00 01 00 00 DF 5A"},
        {"A5 00 FE 21 00 14 00 00 00 00 00 7B 22 6E 61 6D 65 6C 69 73 74 22 3A 7B 7D 7D 0A FE 5A",
         "A5 FE 00 21 00 01 00 00 DE 5A"},
        {"A5 00 FE 22 00 04 00 2E 1E E6 9C 92 5A", "A5 FE 00 22 00 01 00 00 DD 5A"},
    };
    for (const auto& s : session) {
        const std::vector<u8> bytes = hex(s.request);
        CTRL_FRAME req;
        std::vector<u8> out;
        ASSERT_TRUE(protocol_phy::decodeOne(bytes.data(), bytes.size(), req)) << s.request;
        EXPECT_TRUE(handler.serve(req, out));
        EXPECT_EQ(out, hex(s.reply)) << s.request;
    }
    EXPECT_EQ(store->ram_para.brightness, 80);
    EXPECT_EQ(readBoxFile("/data/configs/alias.json"), "{\"namelist\":{}}\n");
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
    EXPECT_TRUE(handler.serve(pcRequest(message_deal::CMD_DEVICE_INFO, {}, 0, kAddrAnyBox), out));
    EXPECT_EQ(pc_cmd_valid.load(), 1);
    EXPECT_EQ(pc_cmd_time.load(), 4321u);
}

TEST_F(Handler, UnknownCommandsAndWrongLengths)
{
    for (u8 cmd : {0x00, 0x08, 0x24, 0x30, 0x73, 0xC4, 0xFF})
        EXPECT_EQ(status(cmd, {}), message_deal::ST_UNSUPPORTED) << int(cmd);

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

// ---------------------------------------------------------------- RAM

TEST_F(Handler, ReadRamStaysInsideTheBlockOrOneSlot)
{
    // Slot m is 4098 bytes at 0x1000 x m: from 0x1000 x m + 0xFFF three bytes reach its end.
    const struct {
        u32 address;
        u16 count;
        u8 status;
    } cases[] = {
        {0, 4096, 0},    {0, 4097, R},     {4095, 1, 0},          {4095, 2, R},  // the block
        {0x3FFF, 3, 0},  {0x3FFF, 4, R},   {0x10002, 4096, 0},                   // to the ends of slots 3 and 16
        {0x11800, 1, R}, {0x101000, 1, R}, {0xFFFFFFFF, 4096, R},  // past the FPGAs' memories, no alias of slot 1
    };
    for (const auto& c : cases)
        EXPECT_EQ(status(readRam(c.address, c.count)), c.status) << std::hex << c.address << " " << c.count;

    CTRL_FRAME r = ask(readRam(0, 0));
    EXPECT_EQ(statusOf(r), 0);
    EXPECT_EQ(replyData(r), cat({le32(0), le16(0)}));
    store->ram_user_mode[2].trailing[895] = 0x77;
    r = ask(readRam(0x3FFF, 3));
    ASSERT_EQ(statusOf(r), 0);
    EXPECT_EQ(r.payload[9], 0x77);
    // A refused reply holds the status only.
    r = ask(readRam(0x11800, 4));
    EXPECT_EQ(r.length, 1);
    EXPECT_EQ(statusOf(r), R);
}

TEST_F(Handler, ABlockWriteRaisesTheApplyFlagAndKeepsAPendingCommit)
{
    EXPECT_EQ(status(0x11, cat({le32(kBrightness), le16(77)})), 0);
    EXPECT_EQ(store->ram_para.brightness, 77);
    EXPECT_EQ(x518_manage::apply_flag.load(), 1);

    x518_manage::apply_flag = 2;  // a user-mode commit waits for the chip manager
    EXPECT_EQ(status(0x11, cat({le32(kBrightness), le16(78)})), 0);
    EXPECT_EQ(x518_manage::apply_flag.load(), 2);

    // A write into a user-mode slot raises nothing.
    x518_manage::apply_flag = 0;
    EXPECT_EQ(status(0x11, cat({le32(0x5000), {0xAA, 0xAA, 0x42}})), 0);
    EXPECT_EQ(store->ram_user_mode[4].marker[0], 0xAA);
    EXPECT_EQ(store->ram_user_mode[4].data[0], 0x42);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
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

// FPGA f's parameter memory at 0x11000 + 0x400 f: a range inside one
// FPGA's memory, of that FPGA, on a box that has it.
TEST_F(Handler, TheFpgasMemoriesFollowTheSlotsOneKilobyteEach)
{
    EXPECT_EQ(status(readRam(kFpgaMemory, 8)), B);  // no FPGA manager yet
    ASSERT_TRUE(fpgaManagerRunning());
    ASSERT_TRUE(waitUntil([this] { return status(0x11, cat({le32(kFpga1Memory), {0x01}})) == 0; }));
    const struct {
        u32 address;
        u16 count;
        u8 status;
    } reads[] = {
        {kFpgaMemory, 1024, 0},  {kFpgaMemory + 0x3FF, 1, 0},  {kFpgaMemory + 0x3FF, 2, R},
        {kFpga1Memory, 1024, 0}, {kFpga1Memory + 0x3FF, 1, 0}, {kFpga1Memory + 0x3FF, 2, R},
        {kFpgaMemory, 0, R},     {kFpgaMemory, 4097, R},       {kFpga1Memory + 0x400, 1, R},
    };
    for (const auto& c : reads)
        EXPECT_EQ(status(readRam(c.address, c.count)), c.status) << std::hex << c.address << " " << c.count;

    auto board = platform::sim::fpgaBoard();
    const std::vector<u8> area = {0x80, 0x00, 0x40, 0x00, 0x00, 0x06, 0x80, 0x03};
    EXPECT_EQ(status(0x11, cat({le32(kFpgaMemory + 8), area})), 0);
    EXPECT_EQ(board->ram(0, 8, 8), area);
    const CTRL_FRAME r = ask(readRam(kFpgaMemory + 8, 8));
    EXPECT_EQ(replyData(r), cat({le32(kFpgaMemory + 8), le16(8), area}));
    const std::vector<u8> before = board->ram(0, 0, 1024);
    for (const std::vector<u8>& refused : {cat({le32(kFpgaMemory + 0x3FC), {1, 2, 3, 4, 5}}), le32(kFpgaMemory),
                                           cat({le32(kFpgaMemory), std::vector<u8>(1025, 7)})})
        EXPECT_EQ(status(0x11, refused), R);
    EXPECT_EQ(board->ram(0, 0, 1024), before);
}

TEST_F(Handler, ABoxWithOneFpgaRefusesTheSecondMemory)
{
    ASSERT_TRUE(platform::sim::setFpgasFitted(1));
    ASSERT_TRUE(fpgaManagerRunning());
    EXPECT_EQ(status(readRam(kFpga1Memory, 2)), R);
    EXPECT_EQ(status(0x11, cat({le32(kFpga1Memory), {1, 2}})), R);
    EXPECT_EQ(status(readRam(kFpgaMemory, 2)), 0);
    EXPECT_FALSE(platform::exists(ControllerMemory::kFiles[1]));
}

// ---------------------------------------------------------------- registers

TEST_F(Handler, PlainRegistersReachTheFirst170)
{
    EXPECT_EQ(status(0x13, {5, 0x12}), 0);
    EXPECT_EQ(status(0x13, {169, 0x34}), 0);
    EXPECT_EQ(status(0x13, {170, 0x01}), R);
    EXPECT_EQ(x518_manage::apply_flag.load(), 0);
    CTRL_FRAME r = ask(pcRequest(0x12, {0, 170}));
    ASSERT_EQ(statusOf(r), 0);
    ASSERT_EQ(r.length, 171);
    EXPECT_EQ(r.payload[1 + 5], 0x12);
    EXPECT_EQ(r.payload[170], 0x34);
    EXPECT_EQ(status(0x12, {169, 2}), R);
    EXPECT_EQ(status(0x12, {0, 171}), R);
    r = ask(pcRequest(0x12, {170, 0}));
    EXPECT_EQ(statusOf(r), 0);
    EXPECT_EQ(r.length, 1);
}

TEST_F(Handler, ChipRequestRegistersLandInTheirImageBytesAndRaiseTheApply)
{
    const struct {
        u8 reg, value, stored, apply;
        u8 KEL_REG_IMAGE::*field;
    } cases[] = {
        {0xA2, 0x41, 0x41, 1, &KEL_REG_IMAGE::reg_a2}, {0xA3, 0x00, 0x01, 1, &KEL_REG_IMAGE::reg_a3},  // plus one
        {0xA4, 0x01, 0x01, 1, &KEL_REG_IMAGE::reg_a4}, {0xA5, 0x02, 0x02, 1, &KEL_REG_IMAGE::reg_a5},
        {0xA0, 0x07, 0x07, 0, &KEL_REG_IMAGE::reg_a0},
    };
    for (const auto& c : cases) {
        x518_manage::apply_flag = 0;
        EXPECT_EQ(status(0x13, {c.reg, c.value}), 0);
        EXPECT_EQ(store->reg_image.*c.field, c.stored) << std::hex << int(c.reg);
        EXPECT_EQ(x518_manage::apply_flag.load(), c.apply) << std::hex << int(c.reg);
    }
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

    // The register listing needs the chip up, and nothing else of the request is done.
    g_app_reset_flag = 0;
    EXPECT_EQ(status(0x13, {0xA1, 0x03}), message_deal::ST_BUSY);
    EXPECT_EQ(g_app_reset_flag.load(), 0);
}

// ---------------------------------------------------------------- network

TEST_F(Handler, NetworkAddressAppliesAtOnceOrWithANewPortAfterAStampedReboot)
{
    EXPECT_EQ(status(0x03, cat({{10, 1, 2, 3}, {255, 0, 0, 0}, {10, 0, 0, 1}, le16(0)})), R);  // no port zero
    EXPECT_EQ(savedSetting("config/IPAddress"), "192.168.1.199");
    EXPECT_TRUE(platform::sim::shellJournal().empty());

    QSignalSpy spy(store, SIGNAL(sig_update_para(int)));
    EXPECT_EQ(status(0x03, cat({{10, 1, 2, 3}, {255, 255, 0, 0}, {10, 1, 0, 1}, le16(5005)})), 0);
    EXPECT_EQ(savedSetting("config/IPAddress"), "10.1.2.3");
    EXPECT_EQ(savedSetting("config/SubNetMask"), "255.255.0.0");
    EXPECT_EQ(savedSetting("config/GateWay"), "10.1.0.1");
    EXPECT_EQ(settingsRead(g_str_ip), "10.1.2.3");
    EXPECT_EQ(journalWith("ifconfig eth0 10"), std::vector<std::string>{"ifconfig eth0 10.1.2.3 netmask 255.255.0.0"});
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), int(SYNC_PARA_CHANGED));
    EXPECT_EQ(g_app_reset_flag.load(), 0);

    // A new port: the reboot comes 300 ticks after this request, not at once.
    G_timeTicks = 9000;
    EXPECT_EQ(status(0x03, cat({{10, 1, 2, 3}, {255, 255, 0, 0}, {10, 1, 0, 1}, le16(6001)})), 0);
    EXPECT_EQ(savedSetting("config/TcpPort"), "6001");
    EXPECT_EQ(settingsRead(g_port), 6001);
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    EXPECT_EQ(G_reboot_tickTicks.load(), 9000u);
}

TEST_F(Handler, NetworkSearchReportsAddressesPortAndHardwareAddress)
{
    CTRL_FRAME r = ask(pcRequest(0x02, {}));
    ASSERT_EQ(statusOf(r), 0);
    EXPECT_EQ(replyData(r), cat({{192, 168, 1, 199},
                                 {255, 255, 255, 0},
                                 {192, 168, 1, 1},
                                 le16(5005),
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
    // The search reports the port's new address.
    CTRL_FRAME r = ask(pcRequest(0x02, {}));
    ASSERT_EQ(statusOf(r), 0);
    const std::vector<u8> found = replyData(r);
    EXPECT_EQ(std::vector<u8>(found.begin() + 14, found.end()), (std::vector<u8>{0x02, 0x11, 0x22, 0xA5, 0x5A, 0xAA}));

    platform::sim::clearShellJournal();
    EXPECT_EQ(status(0x04, {0x01, 0x11, 0x22, 0x33, 0x44, 0x55}), message_deal::ST_REFUSED);  // multicast
    EXPECT_EQ(status(0x04, {0, 0, 0, 0, 0, 0}), message_deal::ST_REFUSED);
    EXPECT_TRUE(platform::sim::shellJournal().empty());
}

// ---------------------------------------------------------------- settings

TEST_F(Handler, BarCodeAndDeviceInformation)
{
    const std::string max(32, 'B');
    EXPECT_EQ(status(0x05, std::vector<u8>(max.begin(), max.end())), 0);
    EXPECT_EQ(savedSetting("config/Barcode"), QString::fromStdString(max));
    EXPECT_EQ(status(0x05, std::vector<u8>(33, 'C')), L);
    EXPECT_EQ(status(0x05, {}), L);
    EXPECT_EQ(status(0x05, {'A', '\n', 'B'}), R);
    EXPECT_EQ(status(0x05, {0, 0}), R);
    EXPECT_EQ(savedSetting("config/Barcode"), QString::fromStdString(max));

    EXPECT_EQ(status(0x05, {'K', 'E', 'L', '-', '7', 0, 0}), 0);  // NUL padding dropped
    EXPECT_EQ(settingsRead(g_str_barcode), "KEL-7");
    {
        QMutexLocker lock(&g_settings_mutex);
        g_kel_max_pixel = 0x3C0000;
    }
    CTRL_FRAME r = ask(pcRequest(0x01, {}));
    ASSERT_EQ(statusOf(r), 0);
    const std::vector<u8> d = replyData(r);
    ASSERT_GE(d.size(), 68u);
    EXPECT_EQ(std::string(d.begin(), d.begin() + 32), "KEL-7" + std::string(27, ' '));
    EXPECT_EQ(std::string(d.begin() + 32, d.begin() + 64), "1597bca0886b31023001305032627494");
    EXPECT_EQ(getU32(&d[64]), 0x3C0000u);
    EXPECT_EQ(std::string(d.begin() + 68, d.end()), "V11.02.00 2025-02-26");
}

TEST_F(Handler, LanguageSupportModes)
{
    EXPECT_EQ(status(0x06, {0x0A, 1}), 0);
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x1000Au);
    EXPECT_EQ(savedSetting("config/KelLCDLang"), "65546");
    EXPECT_EQ(status(0x06, {0xFF, 2}), 0);
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x2001Eu);  // simplified Chinese dropped
    EXPECT_EQ(status(0x06, {0x1F, 3}), message_deal::ST_REFUSED);
    EXPECT_EQ(status(0x06, {0x01, 2}), message_deal::ST_REFUSED);  // nothing left to show
    EXPECT_EQ(status(0x06, {0x00, 1}), message_deal::ST_REFUSED);
    EXPECT_EQ(g_lcd_lang_valid.load(), 0x2001Eu);
}

TEST_F(Handler, CloudProperties)
{
    const std::string n64(64, 'n'), n65(65, 'n');
    const struct {
        std::string text;
        u8 sub, status;
        const char* key;  // where a good one is saved
    } cases[] = {
        {"cloud.example", 0, 0, "config/ryvecloudserverip"},
        {"8443", 1, 0, "config/ryvecloudserverport"},
        {"user-1", 2, 0, "config/ryveclouduserip"},
        {"hall A", 3, 0, "config/ryvecloudcontrollername"},
        {"80a", 1, R, nullptr},
        {"65536", 1, R, nullptr},
        {"0", 1, R, nullptr},
        {"x", 4, R, nullptr},
        {n64, 3, 0, nullptr},
        {n65, 3, L, nullptr},
        {"", 3, L, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(status(0x07, std::vector<u8>(c.text.begin(), c.text.end()), c.sub), c.status)
            << c.text.size() << " bytes, sub " << int(c.sub);
        if (c.key) {
            EXPECT_EQ(savedSetting(c.key).toStdString(), c.text);
        }
    }
    EXPECT_EQ(settingsRead(g_ryve_cloudserverport), 8443);
    EXPECT_EQ(g_ryve_cloud, 1);
}

// A settings file the disk does not take: status 3, and the file, the
// setting and what the box runs on stay as they were.
TEST_F(Handler, SettingsTheDiskDoesNotTakeAreBusyAndChangeNothing)
{
    const std::string before = readBoxFile(ConfigEngine::kSettingsFile);
    const u32 languages = g_lcd_lang_valid.load();
    const struct {
        u8 command, sub;
        std::vector<u8> payload;
    } writes[] = {
        {0x03, 0, cat({{10, 1, 2, 3}, {255, 255, 0, 0}, {10, 1, 0, 1}, le16(6001)})},
        {0x05, 0, {'K', 'E', 'L'}},
        {0x06, 0, {0x0A, 1}},
        {0x07, 0, {'c', 'l', 'o', 'u', 'd'}},
        {0x07, 1, {'8', '0'}},
    };
    for (auto fault : {platform::sim::DiskFault::kFull, platform::sim::DiskFault::kReadOnly}) {
        platform::sim::setDiskFault(fault);
        for (const auto& w : writes)
            EXPECT_EQ(status(w.command, w.payload, w.sub), message_deal::ST_BUSY) << int(w.command);
    }
    EXPECT_EQ(readBoxFile(ConfigEngine::kSettingsFile), before);
    EXPECT_EQ(settingsRead(g_str_ip), "192.168.1.199");
    EXPECT_EQ(settingsRead(g_port), 5005);
    EXPECT_EQ(settingsRead(g_str_barcode), " ");
    EXPECT_EQ(g_lcd_lang_valid.load(), languages);
    EXPECT_EQ(g_ryve_cloud, 0);
    EXPECT_EQ(ConfigEngine::p_config->read_config_variant(ConfigItem::IPAddress).toString(), "192.168.1.199");
    EXPECT_TRUE(journalWith("ifconfig eth0 10").empty());
    EXPECT_EQ(g_app_reset_flag.load(), 0);

    platform::sim::setDiskFault(platform::sim::DiskFault::kNone);
    EXPECT_EQ(status(0x05, {'K', 'E', 'L'}), message_deal::ST_DONE);
    EXPECT_EQ(savedSetting("config/Barcode"), "KEL");
}

// ---------------------------------------------------------------- pass-through

TEST_F(Handler, PassThroughChecksItsLengthsBeforeForwardingAndAStrayCardReplyGoesNowhere)
{
    const std::vector<u8> head = cat({{0xFF, 0x01}, le32(0x100), le16(4)});
    auto passby = [&](const std::vector<u8>& payload, u8 cmd = message_deal::CMD_PASSBY) {
        return statusOf(ask(pcRequest(cmd, payload, 0, kAddrCardPortBase + 2)));
    };
    EXPECT_EQ(passby(std::vector<u8>(head.begin(), head.end() - 1)), message_deal::ST_BAD_LENGTH);
    EXPECT_EQ(passby(cat({head, {1, 2, 3}})), message_deal::ST_BAD_LENGTH);             // data shorter than its length
    EXPECT_EQ(passby(cat({head, {1, 2, 3, 4, 5}})), message_deal::ST_BAD_LENGTH);       // and longer
    EXPECT_EQ(passby(head, message_deal::CMD_READ_RAM), message_deal::ST_UNSUPPORTED);  // cards take 0x30 only
    // More data than a card frame carries.
    EXPECT_EQ(passby(cat({{0xFF, 0x03}, le32(0), le16(1025), std::vector<u8>(1025, 1)})), message_deal::ST_REFUSED);
    // Well formed, but no FPGA manager to take it.
    EXPECT_EQ(passby(cat({head, {1, 2, 3, 4}})), message_deal::ST_BUSY);
    EXPECT_FALSE(message_deal::passbyPending(message_deal::LINK_TCP));
    // A card's reply with nothing pending goes nowhere.
    u8 frame[32];
    const int n = fpga::rcvBuild(frame, {0, 0, fpga::kRcvWrite, 0, 0}, nullptr, 0);
    EXPECT_FALSE(message_deal::passbyCardReply(0, frame, n));
    EXPECT_EQ(message_deal::pollTimeoutMs(message_deal::LINK_TCP), -1);
}
