// Diagnostic dumps of the chip manager's software model and of the chip's
// registers, for service work. They print whatever g_debugSwitch says.
#include "videochip/x518_manage.h"

#include "app/utils.h"
#include "platform/box_state.h"
#include "videoio/tamixsource.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

using x518::reg;

// ------------------------------------------------------------------ the full register listing
// 7,967 registers, bank by bank and address by address: every register of
// the program's register map (x518::kRegisterMap) at its own width, and in
// the gaps of the map's banks the chip's other registers, 5,271 of one byte,
// 2,246 of two, 119 of three and 331 of four in all, until those counts are
// reached. The clock generator's registers FF:01-FF:05 close the list.
constexpr int kWidths = 4;
constexpr int kListWidths[kWidths] = {5271, 2246, 119, 331};
constexpr size_t kListEntries = 7967;
constexpr int kFirstAddress = 0x08;  // 0 is the bank select; nothing below 08 is listed but the clock's
constexpr int kBankEnd = 0x80;
constexpr u8 kClockBank = 0xFF;  // holds only its own registers, at the end

bool before(const X518_REG_ENTRY& a, const X518_REG_ENTRY& b)
{
    return a.bank != b.bank ? a.bank < b.bank : a.address < b.address;
}

std::vector<X518_REG_ENTRY> mapEntries()
{
    std::vector<X518_REG_ENTRY> known;
    x518::forEachMappedRegister([&](u8 bank, u8 address, u8 width) { known.push_back({bank, address, width}); });
    std::sort(known.begin(), known.end(), before);
    return known;
}

// Widths of the registers that fill the gaps, spread evenly over the list:
// each next one is the width that has fallen furthest behind its share.
class FillWidths {
public:
    explicit FillWidths(const std::vector<X518_REG_ENTRY>& known)
    {
        for (int w = 0; w < kWidths; ++w)
            target_[w] = kListWidths[w];
        for (const X518_REG_ENTRY& e : known)
            --target_[e.width - 1];
        for (int w = 0; w < kWidths; ++w)
            total_ += target_[w];
    }
    // The width of the next register no wider than `room`; 0 when none is left that fits.
    int next(int room)
    {
        int best = -1;
        long bestDeficit = 0;
        for (int w = 0; w < kWidths && w < room; ++w) {
            if (done_[w] >= target_[w])
                continue;
            const long deficit = long(target_[w]) * (placed_ + 1) - long(done_[w]) * total_;
            if (best < 0 || deficit > bestDeficit) {
                bestDeficit = deficit;
                best = w;
            }
        }
        if (best < 0)
            return 0;
        ++done_[best];
        ++placed_;
        return best + 1;
    }

private:
    int target_[kWidths] = {};
    int done_[kWidths] = {};
    long total_ = 0;
    long placed_ = 0;
};

std::vector<X518_REG_ENTRY> buildList()
{
    const std::vector<X518_REG_ENTRY> known = mapEntries();
    FillWidths fill(known);
    std::vector<X518_REG_ENTRY> list;
    list.reserve(kListEntries);
    auto fillGap = [&](u8 bank, int from, int to) {
        if (bank == kClockBank)
            return;
        while (from < to) {
            const int width = fill.next(to - from);
            if (!width)
                return;
            list.push_back({bank, u8(from), u8(width)});
            from += width;
        }
    };
    for (size_t i = 0; i < known.size();) {
        const u8 bank = known[i].bank;
        int address = kFirstAddress;
        for (; i < known.size() && known[i].bank == bank; ++i) {
            fillGap(bank, address, known[i].address);
            list.push_back(known[i]);
            address = known[i].address + known[i].width;
        }
        fillGap(bank, address, kBankEnd);
    }
    return list;
}

u32 specOf(const X518_REG_ENTRY& e)
{
    return u32(e.bank) << 16 | u32(e.address) << 8 | e.width;
}

// ------------------------------------------------------------------ register group 0
// OSFLD0-4 and ISFLD0-4 follow each other, 4 addresses apart; so do the
// four OACT and the four IACT words, 2 apart.
constexpr int kFieldRegs = x518::kFields;
constexpr u32 kFieldStep = x518::kFieldAddressStep << 8;
constexpr u32 kWordStep = 0x200;

// ------------------------------------------------------------------ parameter groups
const char* const kGroupNames[14] = {"x518_param", "x518_win", "x518_mem", "x518_mwi", "x518_mw1s", "x518_PI", "none",
                                     "none",       "none",     "none",     "none",     "none",      "none",    "none"};
constexpr int kGroups = 14;
constexpr int kLastGroup = 10;
constexpr u32 kBkgColour = reg(0x08, 0x49, 3), kBkgShow = reg(0x08, 0x48, 1);
constexpr u32 kWhite = 0xFFFFFF;
constexpr u32 kInputTestCtl = reg(0x50, 0x4A, 1), kInputTestColour = reg(0x50, 0x4B, 3);
constexpr u32 kInputTestGreen = 0x80FF80;
constexpr u32 kZoomRegs[] = {reg(0x0A, 0x46, 1), reg(0x0A, 0x4B, 1), reg(0x1A, 0x46, 1), reg(0x1A, 0x4B, 1)};
constexpr u32 kZoomTest = 3;

// ------------------------------------------------------------------ pixel clocks and output pins
constexpr u32 kOutPinCtl = reg(0x00, 0x55, 2);
constexpr u32 kHtotalFirst = 100, kHtotalLast = 17407;
constexpr u32 kClockA = 9900000, kClockB = 4950000;

void printArea(const char* name, int index, const _ImageWindowDef_st& a)
{
    std::printf("\t %s[%d]  HST=%4d  HW=%4d  VST=%4d  VW=%4d\n", name, index, a.hst, a.hw, a.vst, a.vw);
}

}  // namespace

// ------------------------------------------------------------------ the full listing

const std::vector<X518_REG_ENTRY>& x518_manage::x518_print_list()
{
    static const std::vector<X518_REG_ENTRY> list = boxstate::constant(list, buildList());
    return list;
}

void x518_manage::x518_print()
{
    for (const X518_REG_ENTRY& e : x518_print_list()) {
        const u32 spec = specOf(e);
        std::printf("%06X  %08Xh\n", spec, drv->read_X518(spi_fd, spec, 0));
        ::usleep(1);
    }
    std::fflush(stdout);
}

// ------------------------------------------------------------------ register groups

void x518_manage::kelDbg_x518_print_regGrp(int group)
{
    std::printf("[%s] grp:%d\n", "kelDbg_x518_print_regGrp", group);
    if (group != 0) {
        std::printf("\t not found valid grp!!!!!!!\n");
        return;
    }
    const int fd = spi_fd;
    const int windows = model.wincnt < kWindows ? model.wincnt : kWindows;
    for (int w = 0; w < windows; ++w) {
        std::printf("\t\t win:%d, port:%d ich_used: ", w, model.PM_INPUT[w]);
        for (int i = 0; i < kChannels && ich.win_ich[w][i] != kNone; ++i)
            std::printf("ICH%d ", ich.win_ich[w][i]);
        std::printf("\n");
    }
    for (int w = 0; w < windows; ++w) {
        const ST_WIN_INFO& wi = model.win_info[w];
        std::printf("\t\t win:%d, och_cnt:%d used och(left -> right):", w, wi.h_cnt * wi.v_cnt);
        for (int i = 0; i < kChannels; ++i)
            if (wi.och[i] < kChannels)
                std::printf(" OCH%d", wi.och[i]);
        std::printf("\n");
    }
    auto rd = [&](u32 spec, int n) { return drv->read_X518(fd, spec, x518::kChannelStride * u32(n)); };
    std::printf(
        "\t      OSFLD0,  OSFLD1,  OSFLD2,  OSFLD3,  OSFLD4   --- ISFLD0,  ISFLD1,  ISFLD2,  ISFLD3,  ISFLD4\n");
    for (int n = 0; n < kChannels; ++n) {
        std::printf("\t CH%d:", n + 1);
        for (int i = 0; i < 2 * kFieldRegs; ++i)
            std::printf("%s %08X", i == kFieldRegs ? "  ---" : (i ? "," : ""),
                        rd(x518::kOsfld + kFieldStep * u32(i), n));
        std::printf("\n");
    }
    std::printf("\t      OSYCT    --- ISYCT,     OMWI     --- IMWI\n");
    for (int n = 0; n < kChannels; ++n)
        std::printf("\t CH%d: %04X     --- %02X,        %02X       --- %02X\n", n + 1, rd(x518::kOsyct, n),
                    rd(x518::kIsyct, n), rd(x518::kOmwi, n), rd(x518::kImwi, n));
    std::printf("\t OACT:HST,  HW,   VST,  VW   - IACT:HST,  HW,   VST,  VW\n");
    for (int n = 0; n < kChannels; ++n) {
        std::printf("\t CH%d:", n + 1);
        for (u32 i = 0; i < 4; ++i)
            std::printf(" %5u", rd(x518::kOactHst + kWordStep * i, n));
        std::printf("   -");
        for (u32 i = 0; i < 4; ++i)
            std::printf(" %5u", rd(x518::kIactHst + kWordStep * i, n));
        std::printf("\n");
    }
    std::printf("\t        ICHSEL  ISCWCT  OSCWCT\n");
    for (int n = 0; n < kChannels; ++n) {
        const u32 at = x518::kAddressStep * u32(n);
        std::printf("\t CH%d:   %02X      %02X      %02X\n", n + 1, drv->read_X518(fd, x518::kIchSel + at, 0),
                    drv->read_X518(fd, x518::kIscwct + at, 0), drv->read_X518(fd, x518::kOscwct + at, 0));
    }
    std::fflush(stdout);
}

// ------------------------------------------------------------------ the software model

void x518_manage::kelDbg_x518_param()
{
    std::printf("<<===OCH SPEC\n");
    std::printf("\t PS_CLK_SYS  :%u \r\n\t PS_CLK_MEM  :%u \r\n\t PS_CLK_REF  :%u \r\n", sys.PS_CLK_SYS, sys.PS_CLK_MEM,
                sys.PS_CLK_REF);
    std::printf("\t PS_ACTHW  :%u \r\n\t PS_ACTVW  :%u \r\n\t PS_HTOTAL  :%u \r\n\t PS_VTOTAL  :%u \r\n", sys.PS_ACTHW,
                sys.PS_ACTVW, sys.PS_HTOTAL, sys.PS_VTOTAL);
    std::printf("\t PS_HSW  :%u \r\n\t PS_HBP  :%u \r\n\t PS_VSW  :%u \r\n\t PS_VBP  :%u \r\n", sys.PS_HSW, sys.PS_HBP,
                sys.PS_VSW, sys.PS_VBP);
    std::printf("\t PS_ACTHST  :%u \r\n\t PS_ACTVST  :%u \r\n\t PS_OAOIHST  :%u \r\n\t PS_OAOIHED  :%u \r\n"
                "\t PS_OAOIVST  :%u \r\n\t PS_OAOIVED  :%u \r\n",
                sys.PS_ACTHST, sys.PS_ACTVST, sys.PS_OAOIHST, sys.PS_OAOIHED, sys.PS_OAOIVST, sys.PS_OAOIVED);
    std::printf(
        "\t PS_PANEL_HW  :%u \r\n\t PS_PANEL_VW  :%u \r\n\t PS_PANEL_HSHAPE  :%u \r\n\t PS_PANEL_VSHAPE  :%u \r\n",
        sys.PS_PANEL_HW, sys.PS_PANEL_VW, sys.PS_PANEL_HSHAPE, sys.PS_PANEL_VSHAPE);
    std::printf("<<===PS VBO\n");
    std::printf("\t PS_VBOTX_MODE  :%u \r\n\t PS_VBOTX_LAYOUT  :%u \r\n", sys.PS_VBOTX_MODE, sys.PS_VBOTX_LAYOUT);
    for (int i = 0; i < 12; ++i)
        std::printf("\t PS_VBO_LANE_SW[%d]  :%u \r\n", i, sys.PS_VBO_LANE_SW[i]);
    auto perWindow = [](const char* header, const char* name, const i32* v) {
        std::printf("%s\n", header);
        for (int w = 0; w < kWindows; ++w)
            std::printf("\t %s[%d]  :%d \r\n", name, w, v[w]);
    };
    std::printf("<<===PM_WIN_SHAPE\n");
    for (int w = 0; w < kWindows; ++w)
        std::printf("\t PM_WIN_SHAPE[%d]  :%d x %d \r\n", w, model.PM_WIN_SHAPE[w][0], model.PM_WIN_SHAPE[w][1]);
    std::printf("<<===PM_WIN_FAD\n");
    for (int w = 0; w < kWindows; ++w)
        std::printf("\t PM_WIN_FADE[%d]  :en %d in %d out %d \r\n", w, model.PM_WIN_FADE_EN[w], model.PM_WIN_FADE_IN[w],
                    model.PM_WIN_FADE_OUT[w]);
    perWindow("<<===PM_INPUT", "PM_INPUT", model.PM_INPUT);
    std::printf("<<===PM_WIN_OFFSET\n");
    for (int w = 0; w < kWindows; ++w)
        std::printf("\t PM_WIN_OFFSET[%d]  :%d %d %d %d \r\n", w, model.PM_WIN_OFFSET[w][0], model.PM_WIN_OFFSET[w][1],
                    model.PM_WIN_OFFSET[w][2], model.PM_WIN_OFFSET[w][3]);
    perWindow("<<===PM_INPUT_OFFSET_EN", "PM_INPUT_OFFSET_EN", model.PM_INPUT_OFFSET_EN);
    std::printf("<<===PM_WIN_NUM\n");
    for (int c = 0; c < kChannels; ++c)
        std::printf("\t PM_WIN_NUM[%d]  :%d \r\n", c, model.PM_WIN_NUM[c]);
    std::printf("<<===PM_AREA_NUM\n");
    for (int c = 0; c < kChannels; ++c)
        std::printf("\t PM_AREA_NUM[%d]  :%d \r\n", c, model.PM_AREA_NUM[c]);
    std::printf("<<===PM_OVERLAY\n");
    for (int c = 0; c < kChannels; ++c)
        std::printf("\t PM_OVERLAY[%d]  :%d \r\n", c, model.PM_OVERLAY[c]);
    std::printf("<<===PM OSD\n");
    std::printf(
        "\t PM_OSD_EN  :%d \r\n\t PM_OSD_HZOOM_EN  :%d \r\n\t PM_OSD_VZOOM_EN  :%d \r\n\t PM_OSD_DATA_MODE  :%d \r\n"
        "\t PM_OSD_SCROLL_MODE  :%d \r\n\t PM_OSD_CHAR_64DOT  :%d \r\n\t PM_OSD_SCROLL_SPEED  :%d \r\n",
        osd.PM_OSD_EN, osd.PM_OSD_HZOOM_EN, osd.PM_OSD_VZOOM_EN, osd.PM_OSD_DATA_MODE, osd.PM_OSD_SCROLL_MODE,
        osd.PM_OSD_CHAR_64DOT, osd.PM_OSD_SCROLL_SPEED);
    std::printf("<<===OSD_WIN\n");
    std::printf(
        "\t PS_MEM_OSD  :%08X \r\n\t PS_MEM_OSD1  :%08X \r\n\t PS_FONT_ADDR  :%08X \r\n\t font_flags  :%08X \r\n",
        sys.PS_MEM_OSD, sys.PS_MEM_OSD1, sys.PS_FONT_ADDR, font_flags);
    std::printf("<<===PI HDMI INFO\n");
    for (int p = 0; p < kPorts; ++p) {
        const ST_PI_HDMI_INFO& h = ports.PI_HDMI_INFO[p];
        std::printf(
            "\t PI_HDMI_INFO[%d]  :hact %d htotal %d vact %d vtotal %d pfreq %.0f lane %d ip %d nosignal %d \r\n", p,
            h.Hact, h.Htotal, h.Vact, h.Vtotal, h.pfreq, h.lane, h.ip, h.nosignal);
    }
    std::fflush(stdout);
}

void x518_manage::kelDbg_x518_param(int group)
{
    const int g = ((group % kGroups) + kGroups) % kGroups;
    std::printf("[kelDbg_x518_param] %s\n", kGroupNames[g]);
    if (g > kLastGroup)
        return;
    const int fd = spi_fd;
    switch (g) {
    case 0: kelDbg_x518_param(); break;
    case 1:
        for (int p = 0; p < kPorts; ++p) {
            const ST_PI_PORT_INFO& i = ports.PI_PORT_INFO[p];
            std::printf("\t PI_UPDATE[%d]:%d PI_STATE[%d]:%d PI_HTOTAL[%d]:%d PI_VTOTAL[%d]:%d\n", p,
                        ports.PI_UPDATE[p], p, ports.PI_STATE[p], p, ports.PI_HTOTAL[p], p, ports.PI_VTOTAL[p]);
            std::printf("\t PI_ACT[%d]  HST=%4d  HW=%4d  VST=%4d  VW=%4d\n", p, ports.PI_ACT[p][0], ports.PI_ACT[p][1],
                        ports.PI_ACT[p][2], ports.PI_ACT[p][3]);
            std::printf("\t PI_PORT_INFO[%d] htt:%d vtt:%d fhw:%d fvm:%d hw:%d state:%d nosig:%d need_ich14:%d\n", p,
                        i.htt, i.vtt, i.fhw, i.fvm, i.hw, i.state, i.nosig, i.need_ich14);
        }
        break;
    case 2:
        for (int w = 0; w < kWindows; ++w) {
            printArea("IWIN", w, model.IWIN[w]);
            printArea("OWIN", w, model.OWIN[w]);
            std::printf("\t PM_MEM_WMODE[%d]:%d PS_MEM_WMODE[%d]:%d\n", w, model.PM_MEM_WMODE[w], w,
                        model.PS_MEM_WMODE[w]);
        }
        for (int p = 0; p < kPorts; ++p) {
            std::printf("\t PI_SCAN_MODE[%d]:%d PM_IACTHST[%d]:%d PM_IACTVST[%d]:%d PI_FPICLK[%d]:%.0f PI_FH[%d]:%.1f "
                        "PI_FV[%d]:%.2f PI_IFH[%d]:%.1f PI_IFV[%d]:%.2f\n",
                        p, ports.PI_SCAN_MODE[p], p, ports.PM_IACTHST[p], p, ports.PM_IACTVST[p], p, ports.PI_FPICLK[p],
                        p, ports.PI_FH[p], p, ports.PI_FV[p], p, ports.PI_IFH[p], p, ports.PI_IFV[p]);
        }
        for (int c = 0; c < kChannels; ++c)
            std::printf("\t PS_MEM_SC[%d]: %08X %08X %08X %08X %08X\n", c, sys.PS_MEM_SC[c][0], sys.PS_MEM_SC[c][1],
                        sys.PS_MEM_SC[c][2], sys.PS_MEM_SC[c][3], sys.PS_MEM_SC[c][4]);
        std::printf("\t !!!!!!!!!!!!!!!unused and not care!!!!!!!!!!!!!!!\n");
        for (int i = 0; i < kCmosPorts; ++i)
            std::printf(
                "\t CMOS%d: IP_I %08X %08X IP_P %08X %08X YOFF %u MV %08X MWI %u HNR %d VNR %d TNR %d IPEN %d\n", i,
                sys.PS_MEM_IP_I[i][0], sys.PS_MEM_IP_I[i][1], sys.PS_MEM_IP_P[i][0], sys.PS_MEM_IP_P[i][1],
                sys.PS_MEM_IPYOFF[i], sys.PS_MEM_MV[i], sys.PS_MWI_IP[i], ports.PM_HNR[i], ports.PM_VNR[i],
                ports.PM_TNR[i], ports.PM_IPEN[i]);
        for (int i = 0; i < 12; ++i)
            std::printf("\t PS_VBO_LANE_SW[%d]:%u\n", i, sys.PS_VBO_LANE_SW[i]);
        for (int t = 0; t < kChannels; ++t) {
            std::printf("\t g_och_layer[%d]:", t);
            for (int i = 0; i < model.g_och_layer_cnt[t]; ++i)
                std::printf(" %d", model.g_och_layer[t][i]);
            std::printf("\n");
        }
        for (int w = 0; w < kWindows; ++w)
            std::printf("\t PM_OVERLAY_PRI[%d]:%d\n", w, model.PM_OVERLAY_PRI[w]);
        break;
    case 5:
        for (int p = 0; p < kPorts; ++p) {
            const ST_PI_PORT_INFO& i = ports.PI_PORT_INFO[p];
            const ST_PI_HDMI_INFO& h = ports.PI_HDMI_INFO[p];
            std::printf("PI_UPDATE[%d]:%d, PI_STATE[%d]:%d\n", p, ports.PI_UPDATE[p], p, ports.PI_STATE[p]);
            std::printf("PI_PORT_INFO[%d] -- htt:%5d, vtt:%5d, hw:%5d, state:%d, nosig:%d laneNum:%d\n", p, i.htt,
                        i.vtt, i.hw, i.state, i.nosig, h.lane);
            std::printf("PI_HDMI_INFO[%d] -- %s - %s\t hact:%d, htt:%d, hsync:%d, hback:%d, vact:%d, vtt:%d, vsync:%d, "
                        "vback:%d\n",
                        p, p >= x518::kFirstVboPort ? "IT6807" : "IT6602", h.nosignal ? "Nosignal" : "Normal", h.Hact,
                        h.Htotal, h.Hsync, h.Hback, h.Vact, h.Vtotal, h.Vsync, h.Vback);
            std::printf("PI_ACT[%d]  HST=%4d  HW=%4d  VST=%4d  VW=%4d\n", p, ports.PI_ACT[p][0], ports.PI_ACT[p][1],
                        ports.PI_ACT[p][2], ports.PI_ACT[p][3]);
        }
        break;
    case 6:
        for (int k = 0; k < kChannels; ++k) {
            drv->write_X518(fd, kBkgColour, kWhite, x518::kChannelStride * u32(k));
            drv->write_X518(fd, kBkgShow, 1, x518::kChannelStride * u32(k));
        }
        break;
    case 8:
        for (int k = 0; k < kChannels; ++k) {
            drv->write_X518(fd, kInputTestCtl, 1, x518::kChannelStride * u32(k));
            drv->write_X518(fd, kInputTestColour, kInputTestGreen, x518::kChannelStride * u32(k));
        }
        KEL_DBG("\n .........input change........... ");
        break;
    case 9:
        for (u32 spec : kZoomRegs)
            drv->write_X518(fd, spec, kZoomTest, 0);
        KEL_DBG("\n .........B10_HZOOMCTCH1/B10_VZOOMCTCH1 change........... ");
        break;
    case 10: refreshHdmi20Record(); break;
    default: break;  // 3, 4, 7: nothing more
    }
    std::fflush(stdout);
}

// Rewrites the HDMI 2.0 receiver's own timing record from what its driver
// measured last, under the lock every timing record is written under.
void x518_manage::refreshHdmi20Record()
{
    tamixsource* src = tamixsource::p_tamix_source;
    if (!src)
        return;
    const int dev = tamix::kHdmi20Source;
    const RX_TIMING t = src->receiver[dev]->measured();
    const i32 h = t.clock_doubled ? 2 : 1;
    ST_HDMI_INFO r;
    {
        QMutexLocker lock(&Utils::_source_hdminfo_mutex);
        ST_HDMI_INFO& rec = src->hdminfo_6805;
        rec.Hact = t.Hact * h;
        rec.Hsync = t.Hsync * h;
        rec.Hback = t.Hback * h;
        rec.Hpol = t.Hpol;
        rec.Htotal = t.Htotal * h;
        rec.Vact = t.Vact;
        rec.Vsync = t.Vsync;
        rec.Vback = t.Vback;
        rec.Vpol = t.Vpol;
        rec.Vtotal = t.Vtotal;
        rec.pfreq = float(t.pclk_khz / 1000.0);
        rec.type = t.type;
        rec.datamode = t.datamode;
        rec.lane = t.lane;
        rec.ip = t.ip;
        rec.nosignal = t.signal ? 0 : 1;
        r = rec;
    }
    std::printf("[iTE6805_Get_Hdmi] dev_id:%d, idx:%d\n", dev, x518::kFirstVboPort + 1);
    std::printf("\t Hact   :%d\n\t Hsync  :%d\n\t Hback  :%d\n\t Hpol   :%d\n\t Htotal :%d\n", r.Hact, r.Hsync, r.Hback,
                r.Hpol, r.Htotal);
    std::printf("\t Vact   :%d\n\t Vsync  :%d\n\t Vback  :%d\n\t Vpol   :%d\n\t Vtotal :%d\n", r.Vact, r.Vsync, r.Vback,
                r.Vpol, r.Vtotal);
    std::printf("\t pfreq  :%f\n\t type   :%d\n\t datamode:%d\n\t lane   :%d\n\t ip     :%d\n\t nosignal:%d\n", r.pfreq,
                r.type, r.datamode, r.lane, r.ip, r.nosignal);
}

// ------------------------------------------------------------------ helpers without a caller

void x518_manage::x518_outputTimmingCtrlReg(u32 low, u32 high)
{
    static const char* const kBits[4] = {"POSY%dEN", "PO%dCLK", "PO%dVS", "PO%dFLD"};
    const u32 bytes[2] = {low, high};
    for (int o = 0; o < 2; ++o)
        for (int b = 0; b < 4; ++b) {
            std::printf("\t ");
            std::printf(kBits[b], o + 1);
            std::printf(" : %u\n", (bytes[o] >> b) & 1u);
        }
    drv->write_X518(spi_fd, kOutPinCtl, (low & 0xFF) | (high & 0xFF) << 8, 0);
}

void x518_manage::x518_calc_PixelCLK()
{
    for (u32 clock : {kClockA, kClockB})
        for (u32 h = kHtotalFirst; h <= kHtotalLast; ++h)
            if (clock % h == 0)
                std::printf("\t pixel clock %u: htotal %u\n", clock, h);
}
