#include "links/message_deal.h"

#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "app/utils.h"
#include "fpga/fpga_manage.h"
#include "links/file_deal.h"
#include "platform/platform.h"
#include "videochip/x518_manage.h"

#include <QStringList>
#include <cstddef>
#include <cstring>
#include <map>

using namespace ctrl;

namespace {

// The control program's version, as the device-information page shows it:
// "V11.02.00 2025-02-26".
constexpr int kVersionMajor = 11;
constexpr int kVersionMinor = 2;
constexpr int kVersionPatch = 0;
constexpr int kVersionYear = 0x2025;
constexpr int kVersionMonth = 0x02;
constexpr int kVersionDay = 0x26;

// Payload sizes of the fixed-size requests.
constexpr size_t kIpv4Size = 4;
constexpr size_t kMacSize = 6;
constexpr size_t kNetAddressSize = 3 * kIpv4Size + 2;  // address, mask, gateway, TCP port
constexpr size_t kLanguageSize = 2;                    // mask, mode
constexpr size_t kReadRamSize = 6;                     // address u32, count u16
constexpr size_t kRamAddressSize = 4;
constexpr size_t kRegisterRequestSize = 2;  // register, count or value
constexpr size_t kPassbyHeaderSize = 8;     // card, card command, address u32, length u16
constexpr size_t kPassbyLengthOffset = 6;

// Languages and their modes.
constexpr u32 kLanguageBits = 0x1F;
constexpr u32 kLanguageBitsMode2 = 0x1E;  // mode 2 drops simplified Chinese
constexpr u32 kLanguageMode1 = 0x10000;
constexpr u32 kLanguageMode2 = 0x20000;

// Register bits.
constexpr u8 kMcuCommitModes = 0x04;
constexpr u8 kMcuReloadOverlay = 0x08;
constexpr u8 kUpdateRestart = 0x01;
constexpr u8 kUpdateFonts = 0x08;
constexpr u8 kRebootNow = 0x01;
constexpr u8 kRebootListing = 0x02;

// Cloud properties by sub-command.
enum CloudProperty : u8 { CLOUD_SERVER = 0, CLOUD_PORT = 1, CLOUD_USER = 2, CLOUD_NAME = 3 };
constexpr u32 kMaxPort = 65535;
const QString kBlankSetting = QStringLiteral(" ");

const char* const kMacCommand = "ifconfig eth0 | grep HWaddr | awk '{print $5}'";
constexpr int kMacCommandPiece = 100;
const char* const kInterfacesFile = "/etc/network/interfaces";
const char* const kInterfacesDir = "/etc/network";

// The cards' replies to a pass-through are taken for this many ticks (the
// FPGA manager's window); when none came, the PC gets ST_UNSUPPORTED.
constexpr u32 kPassbyWindowTicks = fpga_manage::kPassbyTicks;
constexpr u8 kCardIndexAll = 0xFF;  // in the 0x30 payload

// ------------------------------------------------------------------ helpers

QString dottedQuad(const u8* p)
{
    return QStringLiteral("%1.%2.%3.%4").arg(p[0]).arg(p[1]).arg(p[2]).arg(p[3]);
}

// Octets of a dotted-quad address; zeros when the text is not one.
void quadOctets(const QString& text, u8* out)
{
    std::memset(out, 0, kIpv4Size);
    if (!Utils::isDottedQuad(text))
        return;
    const QStringList parts = text.split('.');
    for (size_t i = 0; i < kIpv4Size; ++i)
        out[i] = static_cast<u8>(parts[static_cast<int>(i)].toInt());
}

// Octets of a hardware address "xx:xx:xx:xx:xx:xx" (surrounding white space
// allowed); false when the text is not one.
bool macOctets(const QString& text, u8* out)
{
    const QStringList parts = text.trimmed().split(':');
    if (parts.size() != static_cast<int>(kMacSize))
        return false;
    for (size_t i = 0; i < kMacSize; ++i) {
        bool ok = false;
        const QString& part = parts[static_cast<int>(i)];
        const uint v = part.toUInt(&ok, 16);
        if (!ok || part.size() != 2 || v > 0xFF)
            return false;
        out[i] = static_cast<u8>(v);
    }
    return true;
}

QString macText(const u8* p)
{
    return QString::asprintf("%02X:%02X:%02X:%02X:%02X:%02X", p[0], p[1], p[2], p[3], p[4], p[5]);
}

// Text of a request payload: NUL bytes at its end are ignored; every other
// byte must be printable ASCII. False (text untouched) otherwise or when
// the text is empty or longer than `maxLen`.
bool payloadText(const CTRL_FRAME& req, size_t maxLen, QString& text)
{
    size_t n = req.length;
    while (n > 0 && req.payload[n - 1] == 0)
        --n;
    if (n == 0 || n > maxLen)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (req.payload[i] < 0x20 || req.payload[i] > 0x7E)
            return false;
    text = QString::fromLatin1(reinterpret_cast<const char*>(req.payload.data()), static_cast<int>(n));
    return true;
}

u8* regImage(KelRamPara* store)
{
    return reinterpret_cast<u8*>(&store->reg_image);
}

// The bytes of RAM address `addr`, `count` long: the live block or a
// user-mode slot; null when the range is not wholly inside one of them.
u8* ramRange(KelRamPara* store, u32 addr, size_t count)
{
    const u32 slot = addr / message_deal::kSlotAddressStep;
    const u32 at = addr % message_deal::kSlotAddressStep;
    if (slot == 0)
        return at + count <= sizeof store->ram_para ? reinterpret_cast<u8*>(&store->ram_para) + at : nullptr;
    if (slot > static_cast<u32>(ram::kUserModes) || at + count > static_cast<size_t>(ram::kSlotSize))
        return nullptr;
    return reinterpret_cast<u8*>(&store->ram_user_mode[slot - 1]) + at;
}

// A request at a RAM address in the FPGAs' memories: FPGA f's memory from
// `offset`, and the FPGA manager that keeps it; `status` is ST_DONE, or what
// to answer when the range leaves that FPGA's memory or no manager keeps it.
struct FpgaMemoryRequest {
    fpga_manage* keeper;
    u8 fpga;
    u16 offset;
    u8 status;
};

FpgaMemoryRequest fpgaMemoryRequest(u32 addr, u16 count)
{
    const u32 at = addr - message_deal::kFpgaMemoryAddress;
    const u16 offset = static_cast<u16>(at % message_deal::kFpgaMemoryStep);
    fpga_manage* keeper = fpga_manage::p_fpga_manage;
    const bool inside = count > 0 && offset + count <= message_deal::kFpgaMemoryStep;
    return {keeper, static_cast<u8>(at / message_deal::kFpgaMemoryStep), offset,
            !inside  ? message_deal::ST_REFUSED
            : keeper ? message_deal::ST_DONE
                     : message_deal::ST_BUSY};
}

// ------------------------------------------------------------------ pass-through bookkeeping

struct PassbyFields {
    std::map<u8, message_deal::LinkSender> senders;
    bool pending = false;
    bool answered = false;  // a card replied to the pending request
    u32 sequence = 0;       // numbers the requests forwarded, so a late reply finds its own
    u8 link = message_deal::LINK_NONE;
    LinkPeer peer;  // who asked, on that link
    u32 stamp = 0;
    CTRL_FRAME header;  // the request being answered (its payload unused)
};

struct PassbyState : PassbyFields {
    std::mutex mutex;
};

PassbyState& passbyState()
{
    static auto* s = new PassbyState;  // lives as long as the process
    return *s;
}

// No link attached and no pass-through open, as a fresh process has it.
const bool kPassbyStart = boxstate::keep(boxstate::Step::StartValues, [] {
    PassbyState& s = passbyState();
    std::lock_guard<std::mutex> lock(s.mutex);
    static_cast<PassbyFields&>(s) = PassbyFields{};
});

}  // namespace

// ------------------------------------------------------------------ table

const message_deal::CommandEntry message_deal::kCommands[] = {
    {CMD_DEVICE_INFO, &message_deal::get_device_info},
    {CMD_NET_SEARCH, &message_deal::net_eth_search},
    {CMD_NET_ADDRESS, &message_deal::net_ip_set},
    {CMD_HW_ADDRESS, &message_deal::init_MAC_address},
    {CMD_BARCODE, &message_deal::set_barcode},
    {CMD_LANGUAGE, &message_deal::set_lcd_lang_support},
    {CMD_CLOUD_PROPERTY, &message_deal::project_set_setproperty},
    {CMD_READ_RAM, &message_deal::read_ram},
    {CMD_WRITE_RAM, &message_deal::write_ram},
    {CMD_READ_REGISTERS, &message_deal::readRegister},
    {CMD_WRITE_REGISTER, &message_deal::write_register},
    {CMD_FILE_START, &message_deal::writeFileStart},
    {CMD_FILE_DATA, &message_deal::writeFileData},
    {CMD_FILE_END, &message_deal::write_file_end},
    {CMD_FILE_DELETE, &message_deal::delete_file_name},
    {CMD_FLASH_ERASE, &message_deal::cmd_erase_flash},
    {CMD_FLASH_WRITE, &message_deal::cmd_write_flash},
    {CMD_FLASH_READ, &message_deal::cmd_read_flash},
    // Cloud text: no peer of it is defined.
    {CMD_CLOUD_TEXT, &message_deal::unsupported},
};

message_deal::CommandFn message_deal::find(u8 command)
{
    for (const CommandEntry& e : kCommands)
        if (e.command == command)
            return e.fn;
    return nullptr;
}

message_deal::message_deal(u8 link) : link_(link) {}

message_deal::~message_deal() = default;

// ------------------------------------------------------------------ serving

message_deal::Wire message_deal::respond(const CTRL_FRAME& req, const LinkPeer& peer)
{
    peer_ = peer;
    if (!isBoxAddress(req.target) && !isCardAddress(req.target)) {
        KEL_DBG("\n[message_deal] link %u: frame for %#x ignored\n", link_, req.target);
        return {};
    }
    // The stamp first: the FPGA manager clears the flag by the stamp's age.
    pc_cmd_time = G_timeTicks.load();
    pc_cmd_valid = 1;
    if (!deal(req, reply_))
        return {};
    return {wire_.data(), protocol_phy::encode(reply_, wire_.data())};
}

bool message_deal::serve(const CTRL_FRAME& req, std::vector<u8>& out)
{
    const Wire reply = respond(req);
    out.assign(reply.data, reply.data + reply.size);
    return reply.size > 0;
}

bool message_deal::deal(const CTRL_FRAME& req, CTRL_FRAME& reply)
{
    reply.target = req.source;
    reply.source = req.target;
    reply.command = req.command;
    reply.sub_command = req.sub_command;
    reply.length = 0;
    if (isCardAddress(req.target)) {
        u8 status = ST_DONE;
        if (passby(req, status))
            return false;  // the cards answer later
        reply.appendU8(status);
        return true;
    }
    reply.appendU8(ST_DONE);
    const CommandFn fn = find(req.command);
    const u8 status = fn ? (this->*fn)(req, reply) : static_cast<u8>(ST_UNSUPPORTED);
    if (status != ST_DONE) {
        KEL_DBG("\n[message_deal] link %u: command %#x status %u\n", link_, req.command, status);
        reply.length = 1;
    }
    reply.payload[0] = status;
    return true;
}

u8 message_deal::unsupported(const CTRL_FRAME&, CTRL_FRAME&)
{
    return ST_UNSUPPORTED;
}

QString message_deal::versionText()
{
    return QString::asprintf("V%02d.%02d.%02d %x-%02x-%02x", kVersionMajor, kVersionMinor, kVersionPatch, kVersionYear,
                             kVersionMonth, kVersionDay);
}

// ------------------------------------------------------------------ device

u8 message_deal::get_device_info(const CTRL_FRAME& req, CTRL_FRAME& reply)
{
    if (req.length != 0)
        return ST_BAD_LENGTH;
    QByteArray barcode = settingsRead(g_str_barcode).toLatin1().left(static_cast<int>(kBarcodeSize));
    barcode = barcode.leftJustified(static_cast<int>(kBarcodeSize), ' ');
    reply.append(barcode.constData(), kBarcodeSize);
    reply.append(g_pid, kPidSize);
    reply.appendU32(static_cast<u32>(settingsRead(g_kel_max_pixel)));
    const QByteArray version = versionText().toLatin1();
    reply.append(version.constData(), static_cast<size_t>(version.size()));
    return ST_DONE;
}

u8 message_deal::set_barcode(const CTRL_FRAME& req, CTRL_FRAME&)
{
    QString text;
    if (req.length == 0 || req.length > kBarcodeSize)
        return ST_BAD_LENGTH;
    if (!payloadText(req, kBarcodeSize, text))
        return ST_REFUSED;
    ConfigEngine* cfg = ConfigEngine::p_config;
    if (!cfg)
        return ST_BUSY;
    if (!cfg->write_config_variant(ConfigItem::Barcode, text))
        return ST_BUSY;  // the settings file was not written: nothing changed
    const QString stored = cfg->read_config_variant(ConfigItem::Barcode).toString();
    QMutexLocker lock(&g_settings_mutex);
    g_str_barcode = stored;
    return ST_DONE;
}

u8 message_deal::set_lcd_lang_support(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length != kLanguageSize)
        return ST_BAD_LENGTH;
    const u8 mask = req.payload[0];
    const u8 mode = req.payload[1];
    u32 value;
    if (mode == 1)
        value = (mask & kLanguageBits) | kLanguageMode1;
    else if (mode == 2)
        value = (mask & kLanguageBitsMode2) | kLanguageMode2;
    else
        return ST_REFUSED;
    if ((value & kLanguageBits) == 0)
        return ST_REFUSED;  // no language would be left to show
    ConfigEngine* cfg = ConfigEngine::p_config;
    if (!cfg)
        return ST_BUSY;
    if (!cfg->write_config_variant(ConfigItem::KelLCDLang, static_cast<int>(value)))
        return ST_BUSY;
    g_lcd_lang_valid = value;
    return ST_DONE;
}

u8 message_deal::project_set_setproperty(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.sub_command > CLOUD_NAME)
        return ST_REFUSED;
    if (req.length == 0 || req.length > kMaxCloudText)
        return ST_BAD_LENGTH;
    QString text;
    if (!payloadText(req, kMaxCloudText, text))
        return ST_REFUSED;
    int port = 0;
    if (req.sub_command == CLOUD_PORT) {
        bool ok = false;
        const uint v = text.toUInt(&ok, 10);
        if (!ok || v == 0 || v > kMaxPort || text.size() > 5 || !text.at(0).isDigit())
            return ST_REFUSED;
        port = static_cast<int>(v);
    }
    ConfigEngine* cfg = ConfigEngine::p_config;
    if (!cfg)
        return ST_BUSY;
    static const ConfigItem::ConfigName kIds[] = {ConfigItem::ryvecloudserverip, ConfigItem::ryvecloudserverport,
                                                  ConfigItem::ryveclouduserip, ConfigItem::ryvecloudcontrollername};
    const QVariant value = req.sub_command == CLOUD_PORT ? QVariant(port) : QVariant(text);
    if (!cfg->write_config_variant(kIds[req.sub_command], value))
        return ST_BUSY;
    QMutexLocker lock(&g_settings_mutex);
    switch (req.sub_command) {
    case CLOUD_SERVER: g_ryve_cloudserverip = text; break;
    case CLOUD_PORT: g_ryve_cloudserverport = port; break;
    case CLOUD_USER: g_ryve_clouduserid = text; break;
    default: g_ryve_controllername = text; break;
    }
    const bool blank = g_ryve_cloudserverip == kBlankSetting && g_ryve_clouduserid == kBlankSetting &&
                       g_ryve_controllername == kBlankSetting && g_ryve_cloudserverport == 0;
    g_ryve_cloud = blank ? 0 : 1;
    return ST_DONE;
}

// ------------------------------------------------------------------ network

u8 message_deal::net_eth_search(const CTRL_FRAME& req, CTRL_FRAME& reply)
{
    if (req.length != 0)
        return ST_BAD_LENGTH;
    u8 quad[kIpv4Size];
    for (const QString* text : {&g_str_ip, &g_srt_mask, &g_str_gateway}) {
        quadOctets(settingsRead(*text), quad);
        reply.append(quad, sizeof quad);
    }
    reply.appendU16(static_cast<u16>(settingsRead(g_port)));
    std::string cmd = kMacCommand;
    u8 mac[kMacSize] = {};
    if (!macOctets(QString::fromStdString(Utils::shell_exec(cmd, kMacCommandPiece)), mac) &&
        !macOctets(settingsRead(g_str_mac), mac))
        std::memset(mac, 0, sizeof mac);
    reply.append(mac, sizeof mac);
    return ST_DONE;
}

u8 message_deal::net_ip_set(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length != kNetAddressSize)
        return ST_BAD_LENGTH;
    const u8* p = req.payload.data();
    const u16 port = getU16(p + 3 * kIpv4Size);
    if (port == 0)
        return ST_REFUSED;
    ConfigEngine* cfg = ConfigEngine::p_config;
    if (!cfg)
        return ST_BUSY;
    const int oldPort = settingsRead(g_port);
    const bool saved = cfg->write_config_variants({
        {ConfigItem::IPAddress, dottedQuad(p)},
        {ConfigItem::SubNetMask, dottedQuad(p + kIpv4Size)},
        {ConfigItem::GateWay, dottedQuad(p + 2 * kIpv4Size)},
        {ConfigItem::TcpPort, static_cast<int>(port)},
    });
    if (!saved)
        return ST_BUSY;  // the address stays as it was, in the file and on eth0
    Utils::initIPAddress();
    if (port != oldPort) {
        {
            QMutexLocker lock(&g_settings_mutex);
            g_port = port;
            g_int_tcp_port = port;
        }
        // The server listens on the new port after a restart. The stamp goes
        // before the flag, so the reply is out before the box restarts.
        requestDeferredReboot();
    } else {
        KelRamPara::test_signal(SYNC_PARA_CHANGED);
    }
    return ST_DONE;
}

u8 message_deal::init_MAC_address(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length != kMacSize)
        return ST_BAD_LENGTH;
    const u8* mac = req.payload.data();
    static const u8 kZero[kMacSize] = {};
    if ((mac[0] & 0x01) || std::memcmp(mac, kZero, kMacSize) == 0)
        return ST_REFUSED;  // a multicast or empty address cannot name a port
    const QString text = macText(mac);
    const QString ip = settingsRead(g_str_ip), mask = settingsRead(g_srt_mask), gw = settingsRead(g_str_gateway);
    const QString config = QStringLiteral("auto lo\n"
                                          "iface lo inet loopback\n"
                                          "\n"
                                          "auto eth0\n"
                                          "iface eth0 inet static\n"
                                          "    address %1\n"
                                          "    netmask %2\n"
                                          "    gateway %3\n"
                                          "    hwaddress ether %4\n")
                               .arg(ip, mask, gw, text);
    platform::makeDirs(kInterfacesDir);
    if (!platform::writeFileAtomic(kInterfacesFile, config.toStdString())) {
        KEL_DBG("\n[init_MAC_address] cannot write %s\n", kInterfacesFile);
        return ST_BUSY;
    }
    Utils::system_mutex(QStringLiteral("ifconfig eth0 down"), nullptr);
    Utils::system_mutex(QStringLiteral("ifconfig eth0 hw ether %1").arg(text), nullptr);
    Utils::system_mutex(QStringLiteral("ifconfig eth0 up"), nullptr);
    {
        QMutexLocker lock(&g_settings_mutex);
        g_str_mac = text;
    }
    Utils::init_resteth(ip, gw, mask);
    return ST_DONE;
}

// ------------------------------------------------------------------ RAM

u8 message_deal::read_ram(const CTRL_FRAME& req, CTRL_FRAME& reply)
{
    if (req.length != kReadRamSize)
        return ST_BAD_LENGTH;
    const u32 addr = getU32(req.payload.data());
    const u16 count = getU16(req.payload.data() + kRamAddressSize);
    if (count > kMaxReadCount)
        return ST_REFUSED;
    if (inFpgaMemory(addr))
        return readFpgaMemory(addr, count, reply);
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return ST_BUSY;
    const u8* src = ramRange(store, addr, count);
    if (!src)
        return ST_REFUSED;
    reply.appendU32(addr);
    reply.appendU16(count);
    reply.append(src, count);
    return ST_DONE;
}

u8 message_deal::write_ram(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length < kRamAddressSize)
        return ST_BAD_LENGTH;
    const u32 addr = getU32(req.payload.data());
    const u16 count = static_cast<u16>(req.length - kRamAddressSize);
    // The store only reads the bytes it is handed.
    u8* data = const_cast<u8*>(req.payload.data()) + kRamAddressSize;
    if (inFpgaMemory(addr))
        return writeFpgaMemory(addr, data, count);
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return ST_BUSY;
    if (!ramRange(store, addr, count))
        return ST_REFUSED;
    if (count == 0)
        return ST_DONE;
    if (addr < kSlotAddressStep) {
        QMutexLocker lock(&x518_manage::mutex);
        if (store->KelRamParaDeal(data, count, addr) != 0)
            return ST_REFUSED;
        KelRamPara::raiseApplyLocked(1);
        return ST_DONE;
    }
    // A user mode is only kept in memory until the PC commits it (register 11).
    return store->KelModeUserRamParaDeal(data, count, addr) == 0 ? ST_DONE : ST_REFUSED;
}

bool message_deal::inFpgaMemory(u32 addr)
{
    return addr >= kFpgaMemoryAddress && addr - kFpgaMemoryAddress < kFpgaMemoryStep * fpga::kFpgas;
}

u8 message_deal::readFpgaMemory(u32 addr, u16 count, CTRL_FRAME& reply)
{
    const FpgaMemoryRequest r = fpgaMemoryRequest(addr, count);
    if (r.status != ST_DONE)
        return r.status;
    u8 bytes[fpga::kRamSize];
    if (!r.keeper->readControllerMemory(r.fpga, r.offset, bytes, count))
        return ST_REFUSED;  // a box without that FPGA
    reply.appendU32(addr);
    reply.appendU16(count);
    reply.append(bytes, count);
    return ST_DONE;
}

u8 message_deal::writeFpgaMemory(u32 addr, const u8* data, u16 count)
{
    const FpgaMemoryRequest r = fpgaMemoryRequest(addr, count);
    if (r.status != ST_DONE)
        return r.status;
    switch (r.keeper->writeControllerMemory(r.fpga, r.offset, data, count)) {
    case fpga_manage::kMemoryHeld: return ST_DONE;
    case fpga_manage::kMemoryRefused: return ST_REFUSED;
    default: return ST_BUSY;  // not in the FPGA or not in its file yet: kept, written later
    }
}

// ------------------------------------------------------------------ registers

u8 message_deal::readRegister(const CTRL_FRAME& req, CTRL_FRAME& reply)
{
    if (req.length != kRegisterRequestSize)
        return ST_BAD_LENGTH;
    const u8 reg = req.payload[0];
    const u8 count = req.payload[1];
    if (reg + count > ram::kProtocolRegisters)
        return ST_REFUSED;
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return ST_BUSY;
    reply.append(regImage(store) + reg, count);
    return ST_DONE;
}

u8 message_deal::write_register(const CTRL_FRAME& req, CTRL_FRAME&)
{
    if (req.length != kRegisterRequestSize)
        return ST_BAD_LENGTH;
    const u8 reg = req.payload[0];
    const u8 value = req.payload[1];
    if (reg >= ram::kProtocolRegisters)
        return ST_REFUSED;
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return ST_BUSY;
    KEL_REG_IMAGE& image = store->reg_image;
    switch (reg) {
    case kRegMcuFlag: REG_mcu_flag(value); return ST_DONE;
    case kRegUpdate: RegUpdate0E(value); return (value & kUpdateFonts) ? reloadFonts() : static_cast<u8>(ST_DONE);
    case kRegInputChip: image.reg_a0 = value; return ST_DONE;
    case kRegReboot: {
        // Bit 1 prints the chip's whole register listing on this thread; it
        // needs the chip up, and nothing of the request is done without it.
        x518_manage* chip = x518_manage::p_x518_manage;
        const bool chipUp = chip && chip->init_state.load() >= x518_manage::kRunningState;
        if ((value & kRebootListing) && !chipUp)
            return ST_BUSY;
        if (value & kRebootListing)
            chip->x518_print();
        if (value & kRebootNow)
            requestDeferredReboot();
        return ST_DONE;
    }
    case kRegChipService:
    case kRegParamDump:
    case kRegGroupDump:
    case kRegChipTest: {
        QMutexLocker lock(&x518_manage::mutex);
        if (reg == kRegChipService)
            image.reg_a2 = value;
        else if (reg == kRegParamDump)
            image.reg_a3 = static_cast<u8>(value + 1);
        else if (reg == kRegGroupDump)
            image.reg_a4 = value;
        else
            image.reg_a5 = value;
        KelRamPara::raiseApplyLocked(1);
        return ST_DONE;
    }
    default: regImage(store)[reg] = value; return ST_DONE;
    }
}

void message_deal::REG_mcu_flag(u8 value)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    regImage(store)[kRegMcuFlag] = value;
    if (value & kMcuCommitModes) {
        QMutexLocker lock(&x518_manage::mutex);
        KelRamPara::raiseApplyLocked(2);
    }
    if ((value & kMcuReloadOverlay) && store->ram_para.osd_enable == 1) {
        QMutexLocker lock(&x518_manage::mutex);
        KelRamPara::raiseApplyLocked(1);
        g_osd_update = 1;
    }
}

void message_deal::RegUpdate0E(u8 value)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    regImage(store)[kRegUpdate] = value;
    // Stamp before flag (requestDeferredReboot), so the tick never pairs the
    // new flag with an old stamp and reboots before the reply is out.
    if ((value & kUpdateRestart) && !g_app_reset_flag.load())
        requestDeferredReboot();
}

// ------------------------------------------------------------------ pass-through

bool message_deal::passby(const CTRL_FRAME& req, u8& status)
{
    if (req.command != CMD_PASSBY) {
        status = ST_UNSUPPORTED;
        return false;
    }
    if (req.length < kPassbyHeaderSize) {
        status = ST_BAD_LENGTH;
        return false;
    }
    const size_t data = req.length - kPassbyHeaderSize;
    if (data != getU16(req.payload.data() + kPassbyLengthOffset)) {
        status = ST_BAD_LENGTH;
        return false;
    }
    if (data > static_cast<size_t>(fpga::kRcvMaxData)) {
        status = ST_REFUSED;
        return false;
    }
    // The FPGA manager sends the cards' replies back on serial, TCP and UDP only.
    if (link_ != LINK_SERIAL && link_ != LINK_TCP && link_ != LINK_UDP) {
        status = ST_UNSUPPORTED;
        return false;
    }
    PassbyState& s = passbyState();
    u32 sequence;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.pending && Utils::getTimeSpace(s.stamp) <= kPassbyWindowTicks) {
            status = ST_BUSY;  // one pass-through at a time
            return false;
        }
        s.pending = true;
        s.answered = false;
        sequence = ++s.sequence;
        s.link = link_;
        s.peer = peer_;
        s.stamp = G_timeTicks.load();
        s.header.target = req.target;
        s.header.source = req.source;
        s.header.command = req.command;
        s.header.sub_command = req.sub_command;
    }
    status =
        passbyForward(link_, static_cast<u8>(req.target - kAddrCardPortBase), req.payload.data(), req.length, sequence);
    if (status == ST_DONE)
        return true;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.sequence == sequence)
        s.pending = false;
    return false;
}

void message_deal::attachLink(u8 link, LinkSender sender)
{
    PassbyState& s = passbyState();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.senders[link] = std::move(sender);
}

void message_deal::detachLink(u8 link)
{
    PassbyState& s = passbyState();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.senders.erase(link);
    if (s.link == link)
        s.pending = false;
}

bool message_deal::passbyCardReply(u32 sequence, const u8* frame, int len)
{
    fpga::RcvHeader h;
    if (!fpga::rcvParse(frame, len, &h))
        return false;
    PassbyState& s = passbyState();
    LinkSender sender;
    LinkPeer peer;
    CTRL_FRAME reply;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.pending || s.sequence != sequence)
            return false;  // too late: the window has closed, or another request holds the cards
        auto it = s.senders.find(s.link);
        if (it == s.senders.end())
            return false;
        sender = it->second;
        peer = s.peer;
        s.answered = true;
        reply.target = s.header.source;
        reply.source = s.header.target;
        reply.command = s.header.command;
        reply.sub_command = s.header.sub_command;
    }
    // Status, then the reply laid out as the request: card, card command,
    // address, length, data.
    reply.appendU8(ST_DONE);
    reply.appendU8(h.card >= kCardIndexAll ? kCardIndexAll : static_cast<u8>(h.card));
    reply.appendU8(h.command);
    reply.appendU32(h.address);
    reply.appendU16(h.length);
    reply.append(frame + fpga::kRcvHeader, h.length);
    std::vector<u8> out;
    protocol_phy::encode(reply, out);
    sender(std::move(out), peer);
    return true;
}

bool message_deal::passbyPending(u8 link)
{
    PassbyState& s = passbyState();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.pending && s.link == link;
}

void message_deal::passbyExpire()
{
    PassbyState& s = passbyState();
    LinkSender sender;
    LinkPeer peer;
    CTRL_FRAME reply;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.pending || Utils::getTimeSpace(s.stamp) <= kPassbyWindowTicks)
            return;
        s.pending = false;
        if (s.answered)
            return;
        auto it = s.senders.find(s.link);
        if (it == s.senders.end())
            return;
        sender = it->second;
        peer = s.peer;
        reply.target = s.header.source;
        reply.source = s.header.target;
        reply.command = s.header.command;
        reply.sub_command = s.header.sub_command;
    }
    // No card answered. When FPGA 0 stopped on the way none could, and a USB
    // upgrade that began meanwhile keeps the FPGA manager from reading the
    // cards' replies: neither is a card failing to answer.
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    const bool fpgaDown = !fpga || fpga->get_fpga_status() == 0;
    const bool upgrading = g_usb_grade.load() != 0;
    KEL_DBG("\n[message_deal] pass-through unanswered%s\n",
            fpgaDown ? ": FPGA 0 is not running" : (upgrading ? " (a USB upgrade runs)" : ""));
    reply.appendU8(fpgaDown || upgrading ? ST_BUSY : ST_UNSUPPORTED);
    std::vector<u8> out;
    protocol_phy::encode(reply, out);
    sender(std::move(out), peer);
}

int message_deal::pollTimeoutMs(u8 link)
{
    constexpr int kTickMs = 10;
    if (passbyPending(link))
        return kTickMs;
    return file_deal::running(link) ? kTransferPollMs : -1;
}

void message_deal::expirePending(u8 link)
{
    passbyExpire();
    file_deal::expire(link);
}

u8 passbyForward(u8 link, u8 port, const u8* payload, u16 len, u32 sequence)
{
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    if (!fpga)
        return message_deal::ST_BUSY;
    fpga::RcvHeader h;
    h.card = payload[0] == kCardIndexAll ? fpga::kCardAll : payload[0];
    h.port = port;
    h.command = payload[1];
    h.address = getU32(payload + 2);
    h.length = static_cast<u16>(len - kPassbyHeaderSize);
    u8 frame[fpga::kRcvMaxFrame];
    const int n = fpga::rcvBuild(frame, h, payload + kPassbyHeaderSize, h.length);
    if (n == 0)
        return message_deal::ST_REFUSED;
    fpga->setPassbySink(
        link, [sequence](const u8* reply, int replyLen) { message_deal::passbyCardReply(sequence, reply, replyLen); });
    switch (fpga->passbySend(link, frame, n)) {
    case fpga_manage::kPassbySent: return message_deal::ST_DONE;
    case fpga_manage::kPassbyBadFrame: return message_deal::ST_REFUSED;
    default: return message_deal::ST_BUSY;  // FPGA 0 not running, a USB upgrade, or the transfer failed
    }
}
