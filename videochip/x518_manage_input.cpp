// The chip's input ports: which port each input and window uses, the
// timing records the input-source manager reports, the chip's own
// measurement and classification of each port, and the window source setter.
#include "videochip/x518_manage.h"

#include "app/utils.h"
#include "videoio/tamixsource.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

using x518::regAt;

constexpr u32 kDevNone = x518_manage::kPortNone;
constexpr int kVboFirst = x518::kFirstVboPort;

// Input -> chip port, chip port -> receiver record.
constexpr u32 kPortOfInput[6] = {2, 1, 0, 5, kDevNone, kDevNone};
constexpr u32 kDevOfPort[6] = {2, 1, 0, kDevNone, kDevNone, 3};
constexpr u32 kDevOfOtherPort = 2;

// Both tables say what the bus contract says: input s enters on chip port
// kChipPortOfSource[s], and that port's record is input s's.
constexpr bool portsAgreeWithTheBus()
{
    for (int s = 0; s < tamix::kSources; ++s) {
        const u32 port = kPortOfInput[s];
        if (port != u32(tamix::kChipPortOfSource[s]) || kDevOfPort[port] != u32(s))
            return false;
    }
    return true;
}
static_assert(portsAgreeWithTheBus(), "an input's chip port differs from registers/tamix_regs.h");

// Out-of-range measurement limits (value - 2 above these = nothing measured).
constexpr u32 kLineLimit = 65532;
constexpr u32 kFrameLimit = 0xFFFFFC;
// Lane counters of a locked receiver with fewer than eight lanes.
constexpr u32 kLaneLineMax = 65533;
constexpr u32 kLaneFrameMax = 0xFFFFFD;

// Change thresholds of the measurement.
constexpr int kTotalTolerance = 2;
constexpr int kPeriodTolerance = 100;

// Port states.
enum PortState {
    kStateNone = 0,
    kStateVbo = 1,
    kStateCmosDual = 3,
    kStateSingle = 4,
    kStateI1080Fast = 5,
    kStateI1080Slow = 6,
    kStateI480 = 7,
    kStateI576 = 8
};
constexpr double kFastFieldRate = 55.0;
constexpr int kI1080Min = 560, kI1080Max = 565;
constexpr int kI576Min = 266, kI576Max = 350;
constexpr int kI480Min = 260, kI480Max = 265;
constexpr i32 kSingleVboMaxWidth = 2176;
constexpr double kSingleVboMaxClock = 324000000.0;

// Area of a port without signal.
constexpr i32 kLostArea[4] = {16, 0, 16, 0};
enum { HST = 0, HW = 1, VST = 2, VW = 3 };

constexpr u8 kRetryWrap = X518InputPorts::kVboRetryWrap;
constexpr u32 kStatusProbe = 0x80;
constexpr u32 kStatusNoSignal = 0x01;

u32 laneMask(int lanes)
{
    switch (lanes) {
    case 8: return 0xFF;
    case 4: return 0xF0;
    case 2: return 0xC0;
    default: return 0x80;
    }
}

bool outOfRange(u32 value, u32 limit)
{
    return value - 2u > limit;
}

// Lane pairs whose counters tell whether a receiver with `lanes` lanes is locked.
int lanePairsChecked(int lanes)
{
    return lanes == 8 ? x518::kLanePairs : lanes == 4 ? 2 : 1;
}

// The measurement registers of a port; a receiver's lane pair j counts at
// fhw + j x kMeasLaneLineStep and fvm + j x kMeasLaneFrameStep.
struct MeasureRegs {
    u32 htt, vtt, fhw, fvm, hw;
};

MeasureRegs measureRegs(int port)
{
    if (port >= kVboFirst) {
        const u32 k = u32(port - kVboFirst), step = x518::kMeasVboStep * k;
        return {x518::kMeasHttVbo + step, x518::kMeasVttVbo + step, x518::kMeasFhwVbo + step,
                x518::kMeasFvmVbo + x518::kMeasVboFvmStep * k, x518::kMeasHwVbo + step};
    }
    const u32 k = u32(port), step = x518::kMeasCmosStep * k;
    return {x518::kMeasHtt + step, x518::kMeasVtt + step, x518::kMeasFhw + step,
            x518::kMeasFvm + x518::kMeasCmosFvmStep * k, x518::kMeasHw + step};
}

}  // namespace

// ------------------------------------------------------------------ mapping tables

u32 x518_manage::kelApi_inputCvtX518(int input)
{
    return input >= 0 && input < 6 ? kPortOfInput[input] : kDevNone;
}

u32 x518_manage::kelApi_GetPortDevId(int port)
{
    return port >= 0 && port < kPorts ? kDevOfPort[port] : kDevOfOtherPort;
}

u32 x518_manage::kelApi_GetWinDbdMultiPort(int window, int* ports) const
{
    for (int i = 0; i < kPorts; ++i)
        ports[i] = kNoPort;
    if (!kelApi_IsWinValid(window))
        return 0;
    auto set = [ports](std::initializer_list<int> list) {
        int i = 0;
        for (int p : list)
            ports[i++] = p;
        return 1u;
    };
    switch (model.PM_WIN_DBD_MODE[window]) {
    case DBD_CMOS_IN12:
    case DBD_CMOS_IN12V: return set({0, 1});
    case DBD_CMOS_IN34:
    case DBD_CMOS_IN34V: return set({2, 3});
    case DBD_CMOS_IN123: return set({0, 1, 2});
    case DBD_CMOS_IN1234:
    case DBD_CMOS_IN1234Q: return set({0, 1, 2, 3});
    case DBD_VBO_IN12:
    case DBD_VBO_IN12V: return set({5, 4});
    default: return 0;
    }
}

// ------------------------------------------------------------------ reported timing

void x518_manage::load_hdmi()
{
    tamixsource* src = tamixsource::p_tamix_source;
    if (!src)
        return;
    for (int p = 0; p < kPorts; ++p) {
        u32 d = kelApi_GetPortDevId(p);
        if (d >= u32(tamixsource::kSources))
            continue;
        ST_HDMI_INFO rec;
        {
            QMutexLocker lock(&Utils::_source_hdminfo_mutex);
            rec = src->hdminfo[d];
        }
        if (!rec.changed)
            continue;
        ST_PI_HDMI_INFO& c = ports.PI_HDMI_INFO[p];
        bool differed = false;
        auto take = [&differed](i32& cached, i32 value, const char* name) {
            if (cached == value)
                return;
            KEL_DBG("\n [load_hdmi]%s=%d,%d,chaned! \n", name, value, cached);
            cached = value;
            differed = true;
        };
        take(c.Hact, rec.Hact, "Hact");
        take(c.Hsync, rec.Hsync, "Hsync");
        take(c.Hback, rec.Hback, "Hback");
        take(c.Hpol, rec.Hpol, "Hpol");
        take(c.Htotal, rec.Htotal, "Htotal");
        take(c.Vact, rec.Vact, "Vact");
        take(c.Vsync, rec.Vsync, "Vsync");
        take(c.Vback, rec.Vback, "Vback");
        take(c.Vpol, rec.Vpol, "Vpol");
        take(c.Vtotal, rec.Vtotal, "Vtotal");
        if (c.pfreq != rec.pfreq) {
            KEL_DBG("\n [load_hdmi]pfreq=%f,%f,chaned! \n", rec.pfreq, c.pfreq);
            c.pfreq = rec.pfreq;
            differed = true;
        }
        take(c.type, rec.type, "type");
        take(c.lane, rec.lane, "lane");
        take(c.ip, rec.ip, "ip");
        take(c.datamode, rec.datamode, "datamode");
        take(c.nosignal, rec.nosignal, "nosignal");
        if (!differed)
            continue;
        std::printf("[load_hdmi] chg_input[PI_HDMI_INFO], port:%d, dev_id:%u\n", p, d);
        KEL_DBG("\t Hact:%d Hsync:%d Hback:%d Hpol:%d Htotal:%d Vact:%d Vsync:%d Vback:%d Vpol:%d Vtotal:%d pfreq:%f "
                "type:%d datamode:%d lane:%d ip:%d nosignal:%d\n",
                c.Hact, c.Hsync, c.Hback, c.Hpol, c.Htotal, c.Vact, c.Vsync, c.Vback, c.Vpol, c.Vtotal, c.pfreq, c.type,
                c.datamode, c.lane, c.ip, c.nosignal);
        for (int w = 0; w < kWindows; ++w) {
            if (dbdShowsPort(w, p)) {
                model.g_chg_input[w] = 1;
                KEL_DBG("\n[load_hdmi] g_chg_input[%d] = 1 for dbd:%d\n", w, model.PM_WIN_DBD_MODE[w]);
                set_ichsel(spi_fd, u32(w));
            } else if (windowUsesPort(w, p)) {
                model.g_chg_input[w] = 1;
                KEL_DBG("\n[load_hdmi] g_chg_input[%d] = 1\n", w);
            }
        }
    }
}

// ------------------------------------------------------------------ chip measurement

bool x518_manage::dbdShowsPort(int window, int port) const
{
    int shown[kPorts];
    if (!kelApi_GetWinDbdMultiPort(window, shown))
        return false;
    return std::find(std::begin(shown), std::end(shown), port) != std::end(shown);
}

bool x518_manage::windowUsesPort(int window, int port) const
{
    int shown[kPorts];
    if (kelApi_GetWinDbdMultiPort(window, shown))
        return std::find(std::begin(shown), std::end(shown), port) != std::end(shown);
    return model.PM_INPUT[window] == port;
}

// The first window that uses the port, or -1.
int x518_manage::windowOfPort(int port) const
{
    for (int w = 0; w < kWindows; ++w)
        if (windowUsesPort(w, port))
            return w;
    return -1;
}

bool x518_manage::recordChanged(u32 dev) const
{
    tamixsource* src = tamixsource::p_tamix_source;
    if (!src || dev >= u32(tamixsource::kSources))
        return false;
    QMutexLocker lock(&Utils::_source_hdminfo_mutex);
    return src->hdminfo[dev].changed != 0;
}

void x518_manage::readPorts(int fd, unsigned measured, unsigned lanes, PortReading* readings)
{
    // Bank AE first, then AF: the bank changes twice whatever the ports.
    constexpr size_t kMostOps = 2 + kPorts * (5 + 2 * (x518::kLanePairs - 1));
    x518_drv::RegOp ops[kMostOps];
    size_t n = 0;
    ops[n++] = x518_drv::writeOp(x518::kUpdateCtl, x518::kHoldMeasure);
    for (int p = 0; p < kPorts; ++p) {
        if (!(measured & 1u << p))
            continue;
        PortReading& r = readings[p];
        const MeasureRegs at = measureRegs(p);
        ops[n++] = x518_drv::readOp(at.htt, &r.htt);
        ops[n++] = x518_drv::readOp(at.vtt, &r.vtt);
        ops[n++] = x518_drv::readOp(at.fhw, &r.fhw);
        ops[n++] = x518_drv::readOp(at.fvm, &r.fvm);
        if (!(lanes & 1u << p))
            continue;
        for (int j = 1; j < lanePairsChecked(ports.PI_HDMI_INFO[p].lane); ++j) {
            ops[n++] = x518_drv::readOp(at.fhw + x518::kMeasLaneLineStep * u32(j), &r.line[j]);
            ops[n++] = x518_drv::readOp(at.fvm + x518::kMeasLaneFrameStep * u32(j), &r.frame[j]);
        }
    }
    for (int p = 0; p < kPorts; ++p)
        if (measured & 1u << p)
            ops[n++] = x518_drv::readOp(measureRegs(p).hw, &readings[p].hw);
    ops[n++] = x518_drv::writeOp(x518::kUpdateCtl, 0);
    drv->access_X518(fd, ops, n);
    for (int p = kVboFirst; p < kPorts; ++p) {
        readings[p].line[0] = readings[p].fhw;
        readings[p].frame[0] = readings[p].fvm;
    }
}

void x518_manage::measurePort(int fd, int port, ST_PI_PORT_INFO& info)
{
    PortReading readings[kPorts];
    readPorts(fd, 1u << port, 0, readings);
    const PortReading& r = readings[port];
    info.htt = i32(r.htt + 1);
    info.vtt = i32(r.vtt);
    info.fhw = i32(r.fhw + 1);
    info.fvm = i32(r.fvm + 1);
    info.hw = i32(r.hw);
}

// Every port a window uses is measured on each pass, all under one hold,
// with the lane counters a V-by-One port's check looks at when it had a
// signal (a receiver that had none is reset, or set up anew, and its lanes
// read after that).
void x518_manage::check_input_port(int fd)
{
    unsigned measured = 0, lanes = 0;
    for (int p = 0; p < kPorts; ++p) {
        if (windowOfPort(p) < 0 || !recordChanged(kelApi_GetPortDevId(p)))
            continue;
        measured |= 1u << p;
        if (p >= kVboFirst && ports.PI_PORT_INFO[p].nosig == 0)
            lanes |= 1u << p;
    }
    if (!measured)
        return;
    PortReading readings[kPorts];
    readPorts(fd, measured, lanes, readings);
    for (int p = 0; p < kPorts; ++p)
        if (measured & 1u << p)
            checkPort(fd, p, readings[p], (lanes & 1u << p) != 0);
}

void x518_manage::checkPort(int fd, int p, const PortReading& reading, bool lanesRead)
{
    const int w = windowOfPort(p);
    // A measurement that finds nothing new leaves an update raised earlier
    // for the dispatcher (the apply half measures too, before a window is
    // given a port): only the dispatcher clears it, once it has served it.
    ST_PI_PORT_INFO& info = ports.PI_PORT_INFO[p];
    const ST_PI_PORT_INFO old = info;
    info.htt = i32(reading.htt + 1);
    info.vtt = i32(reading.vtt);
    info.fhw = i32(reading.fhw + 1);
    info.fvm = i32(reading.fvm + 1);
    info.hw = i32(reading.hw);
    info.nosig = (outOfRange(u32(info.htt), kLineLimit) || outOfRange(u32(info.fvm), kFrameLimit) ||
                  outOfRange(u32(info.fhw), kLineLimit) || ports.PI_HDMI_INFO[p].nosignal == 1)
                     ? 1
                     : 0;
    if (info.nosig) {
        portLost(fd, p, old);
        return;
    }
    bool changed = std::abs(info.htt - old.htt) > kTotalTolerance || std::abs(info.vtt - old.vtt) > kTotalTolerance ||
                   std::abs(info.fhw - old.fhw) > kPeriodTolerance || std::abs(info.fvm - old.fvm) > kPeriodTolerance ||
                   info.hw != old.hw || ports.g_chg_hdmi[p] != 0;
    if (changed)
        forgetFrames(p);  // a new timing turns its frames over at other moments
    // A reported change the measurement cannot see (lanes, data mode, scan).
    if (!changed && model.g_chg_input[w]) {
        KEL_DBG("\t port_info_chg:%d, g_chg_input[win_%d]:%d\n", 0, w, model.g_chg_input[w]);
        changed = true;
    }
    if (changed)
        portChanged(fd, p);
    // A receiver set up anew is read again.
    if (p >= kVboFirst && !vboLanesLocked(fd, p, lanesRead && !changed ? &reading : nullptr))
        return;
    if (!changed)
        return;
    KEL_DBG("PortInfo Updated.  port=%d  STATE=%d  IP=%d  HTOTAL=%4d  VTOTAL=%4d\n", p, ports.PI_STATE[p],
            ports.PI_SCAN_MODE[p], info.htt, info.vtt);
    KEL_DBG("\t old: htt=%d vtt=%d fhw=%d fvm=%d hw=%d  new: htt=%d vtt=%d fhw=%d fvm=%d hw=%d\n", old.htt, old.vtt,
            old.fhw, old.fvm, old.hw, info.htt, info.vtt, info.fhw, info.fvm, info.hw);
    kelApi_updateCrop(p);
}

// A port measured without a signal loses its state: once when its signal
// goes, and once when it went while no window showed the port and a new
// canvas has marked every port unmeasured since (its record says no signal,
// its state is still the last one found).
void x518_manage::portLost(int fd, int p, const ST_PI_PORT_INFO& old)
{
    const bool vbo = p >= kVboFirst;
    if (old.nosig == 0 || ports.PI_STATE[p] != kStateNone) {
        forgetFrames(p);
        set_input_bkg(fd, p, 1);
        if (ports.PI_STATE[p] != kStateNone)
            ports.PI_UPDATE[p] = 1;
        ports.PI_STATE[p] = ports.PI_SCAN_MODE[p] = 0;
        ports.PI_PORT_INFO[p].state = kStateNone;
        ports.PI_FPICLK[p] = ports.PI_FH[p] = ports.PI_FV[p] = 0;
        ports.PI_HTOTAL[p] = ports.PI_VTOTAL[p] = 0;
        ports.PI_IFH[p] = ports.PI_IFV[p] = 0;
        for (int i = 0; i < 4; ++i)
            ports.PI_ACT[p][i] = ports.port_act[p][i] = kLostArea[i];
        if (!vbo) {
            set_pict(fd, 0, p);
            return;
        }
    } else if (!vbo) {
        return;
    }
    const int k = p - kVboFirst;
    vboReset(fd, k, laneMask(0), true);
    stepVboRetry(k);
}

void x518_manage::vboReset(int fd, int k, u32 mask, bool frange)
{
    const u32 step = x518::kVboRxStep * u32(k);
    drv->write_X518(fd, x518::kVboResetSelect, k == 0 ? x518::kVboResetRx0 : x518::kVboResetRx1, 0);
    drv->write_X518(fd, x518::kVboResetSelect, x518::kVboResetRelease, 0);
    drv->write_X518(fd, x518::kVboRxControl + step, x518::kVboRxControlOn, 0);
    drv->write_X518(fd, x518::kVboLaneEnable + step, mask, 0);
    if (frange)
        set_VBORXfrange(fd, k, 0.0f, 1);
}

void x518_manage::stepVboRetry(int k)
{
    u8 next = ports.vbo_retry[k] == 0 ? 1 : u8(ports.vbo_retry[k] + 1);
    ports.vbo_retry[k] = next >= kRetryWrap ? 0 : next;
}

void x518_manage::portChanged(int fd, int p)
{
    const ST_PI_HDMI_INFO& rec = ports.PI_HDMI_INFO[p];
    ST_PI_PORT_INFO& info = ports.PI_PORT_INFO[p];
    ports.PI_FV[p] = info.fvm > 0 ? double(sys.PS_CLK_REF) / info.fvm : 0;
    const double f = double(rec.Htotal) * ports.PI_FV[p] * rec.Vtotal;
    int state;
    if (p < kVboFirst) {
        set_pict(fd, rec.datamode, p);
        set_sypol(fd, 0, p);
        state = rec.datamode ? kStateCmosDual : kStateSingle;
        int interlaced = 0;
        if (rec.ip == 1) {
            interlaced = 1;
            if (rec.Vtotal >= kI1080Min && rec.Vtotal <= kI1080Max)
                state = ports.PI_FV[p] >= kFastFieldRate ? kStateI1080Fast : kStateI1080Slow;
            else if (rec.Vtotal >= kI576Min && rec.Vtotal <= kI576Max)
                state = kStateI576;
            else if (rec.Vtotal >= kI480Min && rec.Vtotal <= kI480Max)
                state = kStateI480;
            else
                interlaced = 0;
        }
        info.need_ich14 = ports.PI_SCAN_MODE[p] = interlaced;
    } else {
        const int k = p - kVboFirst;
        const int lanes = rec.lane > 0 ? rec.lane : 1;
        vboReset(fd, k, laneMask(rec.lane), false);
        set_VBORXfrange(fd, k, float(f / lanes), 0);
        set_VBOInput(fd, k);
        state = (rec.Hact <= kSingleVboMaxWidth && f <= kSingleVboMaxClock && lanes < 4) ? kStateSingle : kStateVbo;
        info.need_ich14 = ports.PI_SCAN_MODE[p] = 0;
    }
    ports.PI_STATE[p] = info.state = state;
    ports.PI_FPICLK[p] = f;
    ports.PI_FH[p] = ports.PI_FV[p] * rec.Vtotal;
    ports.PI_HTOTAL[p] = info.htt;
    ports.PI_VTOTAL[p] = info.vtt;
    const i32 area[4] = {rec.Hsync + rec.Hback, rec.Hact, rec.Vsync + rec.Vback, rec.Vact};
    for (int i = 0; i < 4; ++i)
        ports.PI_ACT[p][i] = ports.port_act[p][i] = area[i];
    if (state < kStateCmosDual) {
        ports.PI_ACT[p][HST] /= 2;
        ports.PI_ACT[p][HW] /= 2;
    }
    ports.PI_UPDATE[p] = 1;
}

// Every lane pair the reported lane count uses must have measured a line
// and a frame; otherwise the receiver is reset again.
bool x518_manage::vboLanesLocked(int fd, int p, const PortReading* held)
{
    const int k = p - kVboFirst;
    const int lanes = ports.PI_HDMI_INFO[p].lane;
    const int pairs = lanePairsChecked(lanes);
    PortReading r;
    if (held) {
        r = *held;
    } else {
        x518_drv::RegOp ops[2 * x518::kLanePairs + 2];
        int n = 0;
        ops[n++] = x518_drv::writeOp(x518::kUpdateCtl, x518::kHoldMeasure);
        const MeasureRegs at = measureRegs(p);
        for (int j = 0; j < pairs; ++j) {
            ops[n++] = x518_drv::readOp(at.fhw + x518::kMeasLaneLineStep * u32(j), &r.line[j]);
            ops[n++] = x518_drv::readOp(at.fvm + x518::kMeasLaneFrameStep * u32(j), &r.frame[j]);
        }
        ops[n++] = x518_drv::writeOp(x518::kUpdateCtl, 0);
        drv->access_X518(fd, ops, size_t(n));
    }
    bool ok = true;
    for (int j = 0; j < pairs; ++j) {
        const u32 line = r.line[j] + 1, frame = r.frame[j] + 1;
        ok = ok && (lanes == 8 ? !outOfRange(line, kLineLimit) && !outOfRange(frame, kFrameLimit)
                               : line >= 1 && line <= kLaneLineMax && frame >= 1 && frame <= kLaneFrameMax);
    }
    if (ok) {
        ports.vbo_retry[k] = 0;
        return true;
    }
    stepVboRetry(k);
    vboReset(fd, k, laneMask(lanes), false);
    return false;
}

// ------------------------------------------------------------------ dormant no-signal probe

void x518_manage::check_port_valid(int fd)
{
    for (int w = 0; w < kWindows; ++w) {
        int watched[kPorts];
        int count = 0;
        if (model.PM_WIN_DBD_MODE[w] > 1 && kelApi_GetWinDbdMultiPort(w, watched)) {
            while (count < kPorts && watched[count] != kNoPort)
                ++count;
        } else if (portValid(model.PM_INPUT[w])) {
            watched[count++] = model.PM_INPUT[w];
        }
        for (int i = 0; i < count; ++i) {
            const int p = watched[i];
            QMutexLocker lock(&Utils::_check_nosig_mutex);
            if (!(ports.port_status[p] & kStatusProbe))
                continue;
            ST_PI_PORT_INFO m = ports.PI_PORT_INFO[p];
            measurePort(fd, p, m);
            if (outOfRange(u32(m.htt), kLineLimit) || outOfRange(u32(m.fvm), kFrameLimit) ||
                outOfRange(u32(m.fhw), kLineLimit)) {
                ports.port_status[p] |= kStatusNoSignal;
                KEL_DBG("[x518_check_nosignal] win_%d port_%d, nosignal:%02x\n", w, p, ports.port_status[p]);
                if (p >= kVboFirst)
                    vboReset(fd, p - kVboFirst, laneMask(0), true);
            } else {
                ports.port_status[p] &= ~kStatusNoSignal;
            }
        }
    }
}

// ------------------------------------------------------------------ window source

void x518_manage::x518_SetInputsource(u32 window, int input)
{
    x518_manage* m = p_x518_manage;
    if (!m)
        return;
    if (window >= u32(m->model.wincnt) || window >= u32(kWindows)) {
        KEL_DBG("    win:%u OOR, wincnt:%d\r\n", window, m->model.wincnt);
        return;
    }
    const int i = ((input % 6) + 6) % 6;
    const u32 port = kelApi_inputCvtX518(i);
    if (port == kDevNone) {
        KEL_DBG("    input:%d OOR\r\n", input);
        // An input no port carries: the window shows nothing rather than
        // its old picture, and keeps no input channel.
        m->model.win_info[window].input = u8(i);
        m->dropInput(window);
        m->publishRefusals();
        return;
    }
    m->model.win_info[window].input = u8(i);
    m->model.PM_INPUT[window] = i32(port);
    KEL_DBG("[x518_SetInputsource] win_%u, port_%u\n", window, port);
    // The port is measured before the window is flagged: a port whose
    // signal did not change is not set up again for a new window on it.
    m->check_input_port(m->spi_fd);
    m->model.g_chg_input[window] = 1;
    m->set_output(m->spi_fd);
}

void x518_manage::dropInput(u32 window)
{
    model.PM_INPUT[window] = kNoPort;
    model.g_chg_input[window] = 0;
    model.win_refused[window] = 0;  // nothing to carry
    for (int c = 0; c < kChannels; ++c)
        if (ich.ich_win[c] == i32(window))
            ich.ich_win[c] = kNone;
    rebuildWinIch();
    set_rtct(spi_fd, 2);
    set_input_bkg2(spi_fd, i32(window), 1);
    set_rtct(spi_fd, 1);
}
