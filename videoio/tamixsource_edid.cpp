// The input-source manager's EDIDs: building an EDID from a port's
// width, height and rate, writing it into the port's EEPROM and checking
// the EEPROMs.
#include "videoio/tamixsource.h"

#include "app/kelrampara.h"
#include "app/utils.h"
#include "platform/platform.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kBlock = 128;
constexpr int kEdid = tamix::kEdidSize;
constexpr int kPage = tamix::kEepromPage;
constexpr int kAckPolls = 20;  // write cycle of a 24C02: at most 5 ms
constexpr int kAckPollUs = 1000;

// A detailed timing.
struct Timing {
    int width, height, rate;  // what it answers
    u32 pclk_10khz;
    int hfp, hsync, hbp;
    int vfp, vsync, vbp;
    bool hpos, vpos;
    u8 vic;  // CEA video code, 0 none
};

// Timings the box offers by their standard values.
const Timing kStored[] = {
    {1920, 1080, 60, 14850, 88, 44, 148, 4, 5, 36, true, true, 16},
    {1920, 1080, 50, 14850, 528, 44, 148, 4, 5, 36, true, true, 31},
    {1920, 1080, 30, 7425, 88, 44, 148, 4, 5, 36, true, true, 34},
    {1280, 720, 60, 7425, 110, 40, 220, 5, 5, 20, true, true, 4},
    {1280, 720, 50, 7425, 440, 40, 220, 5, 5, 20, true, true, 19},
    {3840, 2160, 30, 29700, 176, 88, 296, 8, 10, 72, true, true, 95},
    {3840, 2160, 60, 59400, 176, 88, 296, 8, 10, 72, true, true, 97},
    {1024, 768, 60, 6500, 24, 136, 160, 3, 6, 29, false, false, 0},
    {1280, 1024, 60, 10800, 48, 112, 248, 1, 3, 38, true, true, 0},
    {1920, 1200, 60, 15400, 48, 32, 80, 3, 6, 26, true, false, 0},
};
constexpr int kDefaultTiming = 0;

// Limits of a detailed timing descriptor.
constexpr int kMaxActive = 4095;
constexpr u32 kMaxPclk10khz = 65535;
constexpr int kMinRate = 1;
constexpr int kMaxRate = 240;

// Reduced blanking for timings the box has no stored values for.
constexpr int kRbHfp = 48, kRbHsync = 32, kRbHbp = 80;
constexpr int kRbVfp = 3, kRbVsync = 6, kRbMinVbp = 6;
constexpr double kRbMinVblankUs = 460.0;
constexpr u32 kRbClockStep10khz = 25;  // 250 kHz

// Identity of the box in its EDIDs.
constexpr u8 kManufacturer[2] = {0x2C, 0xAC};  // "KEL"
constexpr u8 kProduct[2] = {0x54, 0x00};
constexpr u8 kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr u8 kChromaticity[10] = {0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54};
constexpr u8 kEstablished[3] = {0x21, 0x08, 0x00};
constexpr char kMonitorName[] = "KEL R54N";
constexpr int kImageWidthMm = 800, kImageHeightMm = 450;

// Offsets of the base block.
enum : int {
    // clang-format off
    kOffManufacturer = 8, kOffProduct = 10, kOffWeek = 16, kOffYear = 17, kOffVersion = 18, kOffRevision = 19,
    kOffInput = 20, kOffWidthCm = 21, kOffHeightCm = 22, kOffGamma = 23, kOffFeatures = 24,
    kOffChromaticity = 25, kOffEstablished = 35, kOffStandard = 38, kOffDescriptor1 = 54, kOffDescriptor2 = 72,
    kOffDescriptor3 = 90, kOffDescriptor4 = 108, kOffExtensions = 126, kOffChecksum = 127,
    // clang-format on
};
constexpr int kDescriptorSize = 18;
constexpr int kStandardTimings = 8;

// CEA-861 extension.
constexpr u8 kCeaTag = 0x02, kCeaRevision = 0x03;
constexpr u8 kCeaBasicAudio = 0x40;
constexpr u8 kTagAudio = 1 << 5, kTagVideo = 2 << 5, kTagVendor = 3 << 5, kTagSpeaker = 4 << 5;
constexpr u8 kVicNative = 0x80;
constexpr u8 kOtherVics[] = {16, 4, 31, 19, 2};
constexpr u8 kAudioLpcm[3] = {0x09, 0x07, 0x07};  // LPCM 2 channels, 32/44.1/48 kHz, 16/20/24 bit
constexpr u8 kSpeakers[3] = {0x01, 0x00, 0x00};   // front left and right
constexpr u8 kHdmiVsdb[7] = {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x44};  // HDMI, address 1.0.0.0, 340 MHz

void checksum(u8* block)
{
    u8 sum = 0;
    for (int i = 0; i < kBlock - 1; ++i)
        sum = static_cast<u8>(sum + block[i]);
    block[kBlock - 1] = static_cast<u8>(0x100 - sum);
}

bool checksumOk(const u8* block)
{
    u8 sum = 0;
    for (int i = 0; i < kBlock; ++i)
        sum = static_cast<u8>(sum + block[i]);
    return sum == 0;
}

void putDetailedTiming(u8* d, const Timing& t)
{
    const int hblank = t.hfp + t.hsync + t.hbp;
    const int vblank = t.vfp + t.vsync + t.vbp;
    d[0] = static_cast<u8>(t.pclk_10khz & 0xFF);
    d[1] = static_cast<u8>(t.pclk_10khz >> 8);
    d[2] = static_cast<u8>(t.width & 0xFF);
    d[3] = static_cast<u8>(hblank & 0xFF);
    d[4] = static_cast<u8>((t.width >> 8) << 4 | (hblank >> 8));
    d[5] = static_cast<u8>(t.height & 0xFF);
    d[6] = static_cast<u8>(vblank & 0xFF);
    d[7] = static_cast<u8>((t.height >> 8) << 4 | (vblank >> 8));
    d[8] = static_cast<u8>(t.hfp & 0xFF);
    d[9] = static_cast<u8>(t.hsync & 0xFF);
    d[10] = static_cast<u8>((t.vfp & 0x0F) << 4 | (t.vsync & 0x0F));
    d[11] = static_cast<u8>((t.hfp >> 8) << 6 | (t.hsync >> 8) << 4 | (t.vfp >> 4) << 2 | (t.vsync >> 4));
    d[12] = static_cast<u8>(kImageWidthMm & 0xFF);
    d[13] = static_cast<u8>(kImageHeightMm & 0xFF);
    d[14] = static_cast<u8>((kImageWidthMm >> 8) << 4 | (kImageHeightMm >> 8));
    d[15] = 0;
    d[16] = 0;
    d[17] = static_cast<u8>(0x18 | (t.vpos ? 0x04 : 0) | (t.hpos ? 0x02 : 0));  // digital separate sync
}

void putTextDescriptor(u8* d, u8 tag, const char* text)
{
    std::memset(d, 0, kDescriptorSize);
    d[3] = tag;
    int n = 0;
    for (; text[n] && n < 13; ++n)
        d[5 + n] = static_cast<u8>(text[n]);
    if (n < 13)
        d[5 + n++] = '\n';
    for (; n < 13; ++n)
        d[5 + n] = ' ';
}

void putRangeLimits(u8* d, const Timing& t)
{
    std::memset(d, 0, kDescriptorSize);
    const int htotal = t.width + t.hfp + t.hsync + t.hbp;
    const double lineKhz = t.pclk_10khz * 10.0 / htotal;
    d[3] = 0xFD;
    d[5] = static_cast<u8>(std::min(24, t.rate));
    d[6] = static_cast<u8>(std::max(75, t.rate));
    d[7] = 15;
    d[8] = static_cast<u8>(std::min(255.0, std::max(140.0, std::ceil(lineKhz))));
    d[9] = static_cast<u8>(std::min<u32>(255, (t.pclk_10khz + 999) / 1000 + 1));  // 10 MHz units
    d[10] = 0x00;                                                                 // default GTF
    d[11] = 0x0A;
    for (int i = 12; i < kDescriptorSize; ++i)
        d[i] = ' ';
}

void buildBase(u8* b, const Timing& t)
{
    std::memset(b, 0, kBlock);
    std::memcpy(b, kHeader, sizeof kHeader);
    std::memcpy(b + kOffManufacturer, kManufacturer, 2);
    std::memcpy(b + kOffProduct, kProduct, 2);
    b[kOffWeek] = 1;
    b[kOffYear] = 34;  // 2024
    b[kOffVersion] = 1;
    b[kOffRevision] = 3;
    b[kOffInput] = 0x80;  // digital
    b[kOffWidthCm] = kImageWidthMm / 10;
    b[kOffHeightCm] = kImageHeightMm / 10;
    b[kOffGamma] = 120;      // 2.2
    b[kOffFeatures] = 0x0A;  // RGB and YCbCr 4:4:4, preferred timing first
    std::memcpy(b + kOffChromaticity, kChromaticity, sizeof kChromaticity);
    std::memcpy(b + kOffEstablished, kEstablished, sizeof kEstablished);
    for (int i = 0; i < kStandardTimings; ++i) {
        b[kOffStandard + 2 * i] = 0x01;
        b[kOffStandard + 2 * i + 1] = 0x01;
    }
    putDetailedTiming(b + kOffDescriptor1, t);
    putRangeLimits(b + kOffDescriptor2, t);
    putTextDescriptor(b + kOffDescriptor3, 0xFC, kMonitorName);
    std::memset(b + kOffDescriptor4, 0, kDescriptorSize);
    b[kOffDescriptor4 + 3] = 0x10;  // dummy descriptor
    b[kOffExtensions] = 1;
    checksum(b);
}

void buildCea(u8* c, const Timing& t)
{
    std::memset(c, 0, kBlock);
    c[0] = kCeaTag;
    c[1] = kCeaRevision;
    c[3] = kCeaBasicAudio | 1;  // one native detailed timing
    int at = 4;
    // Video data block: the requested timing's code first (native), then the common ones.
    u8 vics[1 + sizeof kOtherVics];
    int n = 0;
    if (t.vic)
        vics[n++] = static_cast<u8>(t.vic | kVicNative);
    for (u8 v : kOtherVics)
        if (v != t.vic)
            vics[n++] = v;
    c[at++] = static_cast<u8>(kTagVideo | n);
    std::memcpy(c + at, vics, static_cast<size_t>(n));
    at += n;
    c[at++] = static_cast<u8>(kTagAudio | sizeof kAudioLpcm);
    std::memcpy(c + at, kAudioLpcm, sizeof kAudioLpcm);
    at += sizeof kAudioLpcm;
    c[at++] = static_cast<u8>(kTagSpeaker | sizeof kSpeakers);
    std::memcpy(c + at, kSpeakers, sizeof kSpeakers);
    at += sizeof kSpeakers;
    c[at++] = static_cast<u8>(kTagVendor | sizeof kHdmiVsdb);
    std::memcpy(c + at, kHdmiVsdb, sizeof kHdmiVsdb);
    at += sizeof kHdmiVsdb;
    c[2] = static_cast<u8>(at);  // detailed timings start here
    putDetailedTiming(c + at, t);
    checksum(c);
}

// A reduced-blanking timing for width x height at rate Hz; false when no
// detailed timing descriptor can carry it.
bool computeTiming(int width, int height, int rate, Timing& t)
{
    if (width < 1 || width > kMaxActive || height < 1 || height > kMaxActive || rate < kMinRate || rate > kMaxRate)
        return false;
    const double framePeriodUs = 1e6 / rate;
    if (framePeriodUs <= kRbMinVblankUs)
        return false;
    const double linePeriodUs = (framePeriodUs - kRbMinVblankUs) / height;
    int vblank = static_cast<int>(std::floor(kRbMinVblankUs / linePeriodUs)) + 1;
    vblank = std::max(vblank, kRbVfp + kRbVsync + kRbMinVbp);
    t = Timing{width, height, rate, 0, kRbHfp, kRbHsync, kRbHbp, kRbVfp, kRbVsync, vblank - kRbVfp - kRbVsync,
               true,  false,  0};
    const double htotal = width + kRbHfp + kRbHsync + kRbHbp;
    const double vtotal = height + vblank;
    const double pclk10khz = htotal * vtotal * rate / 10000.0;
    const u32 stepped = static_cast<u32>(pclk10khz / kRbClockStep10khz) * kRbClockStep10khz;
    if (stepped == 0 || stepped > kMaxPclk10khz || vblank > 0xFFF || t.vbp > 0xFFF)
        return false;
    t.pclk_10khz = stepped;
    return true;
}

}  // namespace

int tamixsource::Set_Custom_HDMI_EDID(u8* edid, int width, int height, int rate)
{
    int result = kEdidComputed;
    Timing t{};
    const Timing* stored = nullptr;
    for (const Timing& s : kStored)
        if (s.width == width && s.height == height && s.rate == rate)
            stored = &s;
    if (stored) {
        t = *stored;
        result = kEdidStored;
    } else if (!computeTiming(width, height, rate, t)) {
        KEL_DBG("\n[Set_Custom_HDMI_EDID] %dx%d at %d Hz cannot be described, default EDID\n", width, height, rate);
        t = kStored[kDefaultTiming];
        result = kEdidDefault;
    }
    buildBase(edid, t);
    buildCea(edid + kBlock, t);
    return result;
}

bool tamixsource::edidValid(const u8* edid)
{
    return std::memcmp(edid, kHeader, sizeof kHeader) == 0 && checksumOk(edid) && checksumOk(edid + kBlock);
}

std::string tamixsource::edidRamTablePath(int port)
{
    return std::string(kEdidRamTableDir) + "/edid" + std::to_string(port) + ".bin";
}

// The EDID for `port`: the uploaded one while it waits and is sound,
// otherwise the one the port's EDID parameters ask for.
bool tamixsource::buildEdid(int port, u8* edid, bool& uploaded)
{
    uploaded = false;
    if (edid_ram_table_from[port].load()) {
        std::string file;
        // Never more than one EDID's bytes are read: a larger file is no table.
        if (platform::readFileUpTo(edidRamTablePath(port), file, size_t(kEdid)) == platform::ReadResult::Read &&
            file.size() == size_t(kEdid) && edidValid(reinterpret_cast<const u8*>(file.data()))) {
            std::memcpy(edid, file.data(), kEdid);
            uploaded = true;
            return true;
        }
        KEL_DBG("\n[tamixsource] uploaded EDID %s missing or damaged, port %d keeps its parameters\n",
                edidRamTablePath(port).c_str(), port);
        edid_ram_table_from[port] = 0;
    }
    KelRamPara* s = KelRamPara::p_kelrampara_config;
    if (!s)
        return false;
    const EDID_PARA e = s->ram_para.edid[port];
    Set_Custom_HDMI_EDID(edid, e.width, e.height, e.rate);
    return true;
}

bool tamixsource::writeEeprom(int port, const u8* edid)
{
    const u8 addr = tamix::eepromAddress(port);
    for (int at = 0; at < kEdid; at += kPage) {
        bool acked = false;
        // The EEPROM ignores its address while the previous page is written.
        for (int poll = 0; poll < kAckPolls && !acked; ++poll) {
            acked = bus.writeRegs(addr, static_cast<u8>(at), edid + at, kPage);
            if (!acked)
                ::usleep(kAckPollUs);
        }
        if (!acked)
            return false;
    }
    return true;
}

bool tamixsource::readEeprom(int port, u8* edid)
{
    const u8 addr = tamix::eepromAddress(port);
    for (int poll = 0; poll < kAckPolls; ++poll) {
        if (bus.readRegs(addr, 0, edid, kEdid))
            return true;
        ::usleep(kAckPollUs);
    }
    return false;
}

bool tamixsource::rewriteEdid(int port)
{
    if (port < 0 || port >= kSources)
        return false;
    u8 edid[kEdid];
    bool uploaded = false;
    if (!buildEdid(port, edid, uploaded))
        return false;
    // The source reads the EDID again when the hot-plug line comes back.
    receiver[port]->setHotPlug(false);
    u8 back[kEdid];
    const bool ok = writeEeprom(port, edid) && readEeprom(port, back) && std::memcmp(edid, back, kEdid) == 0;
    receiver[port]->setHotPlug(true);
    if (KelRamPara* s = KelRamPara::p_kelrampara_config)
        setRegisterBit(s->reg_image.edid_flags, port, ok);
    if (ok && uploaded)
        edid_ram_table_from[port] = 0;
    KEL_DBG("\n[tamixsource] EDID of port %d %s%s\n", port, ok ? "written" : "NOT written",
            uploaded ? " (uploaded)" : "");
    if (!ok)
        writeLogMsg(LOG_WARNING, "EDID EEPROM of input port " + std::to_string(port) + " not written");
    return ok;
}

bool tamixsource::checkEdidOnce()
{
    KelRamPara* s = KelRamPara::p_kelrampara_config;
    if (!s)
        return false;
    bool allInOrder = true;
    for (int p = 0; p < kSources; ++p) {
        u8 want[kEdid];
        u8 have[kEdid];
        const EDID_PARA e = s->ram_para.edid[p];
        Set_Custom_HDMI_EDID(want, e.width, e.height, e.rate);
        const bool readable = readEeprom(p, have);
        if (readable && std::memcmp(want, have, kEdid) == 0) {
            setRegisterBit(s->reg_image.edid_flags, p, true);
            KEL_DBG("\n[tamixsource] EDID check: port %d in order\n", p);
            continue;
        }
        KEL_DBG("\n[tamixsource] EDID check: port %d %s, repaired\n", p, readable ? "differs" : "unreadable");
        // An EEPROM that does not answer at all is not fitted: nothing to
        // wait for. One that answers and did not take its EDID is tried again.
        if (!rewriteEdid(p) && bus.probe(tamix::eepromAddress(p)))
            allInOrder = false;
    }
    return allInOrder;
}
