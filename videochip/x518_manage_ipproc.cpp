// Input-channel picture processing: the chain in front of the frame memory
// of input channels 0-3 (de-interlacer with cadence detection, block,
// temporal, horizontal/vertical and mosquito noise reduction, diagonal
// interpolation, comb and motion filters), the channel mode and sync words,
// the input colour conversion and the shrink coefficient tables. Every value
// is derived again from the port's state and levels on each call; the
// window programming calls these for a window's channels.
#include "videochip/x518_manage.h"

#include "videochip/x518_ipproc_tables.h"
#include "videochip/x518_reg_batch.h"

namespace {

using namespace x518::ipproc;
using x518::kAddressStep;
using x518::kChannelStride;
using x518::kIscwct;
using x518::kIsyctRun;

constexpr int kProcessedChannels = 4;    // input channels 0-3 carry the chain
constexpr int kProcessingFromState = 4;  // PI_STATE above 3: single CMOS input or interlaced
constexpr int kMotionMaxLevel = kMotionLevels - 1;

enum { HST = 0, HW = 1, VST = 2, VW = 3 };

// Writes registers of one channel's copy (each only when its value changes).
class ChannelWriter {
public:
    ChannelWriter(x518_drv* drv, int fd, int channel) : drv_(drv), fd_(fd), offset_(kChannelStride * u32(channel)) {}
    void operator()(u32 spec, u32 value) const { drv_->update_X518(fd_, spec, value, offset_); }
    template <size_t N>
    void list(const RegValue (&rows)[N]) const
    {
        for (const RegValue& r : rows)
            (*this)(r.spec, r.value);
    }
    template <size_t N>
    void level(const RegByLevel (&rows)[N], int level) const
    {
        for (const RegByLevel& r : rows)
            (*this)(r.spec, r.value[level - 1]);
    }

private:
    x518_drv* drv_;
    int fd_;
    u32 offset_;
};

bool strength(int level)
{
    return level >= 1 && level <= kLevels;
}

}  // namespace

bool x518_manage::processingState(int port) const
{
    return portValid(port) && ports.PI_STATE[port] >= kProcessingFromState;
}

bool x518_manage::anyNoiseReduction(int port) const
{
    return ports.PM_HNR[port] || ports.PM_VNR[port] || ports.PM_TNR[port] || ports.PM_BNR[port] || ports.PM_MNR[port];
}

bool x518_manage::hasChain(int channel, int port) const
{
    return channel >= 0 && channel < kProcessedChannels && portValid(port);
}

// ------------------------------------------------------------------ de-interlacer

void x518_manage::set_ip(int fd, int ch)
{
    if (ch < 0 || ch >= kProcessedChannels)
        return;
    const int port = portOf(ich.ich_win[ch]);
    if (port == kNone)
        return;
    const bool interlaced = ports.PI_SCAN_MODE[port] != 0;
    const ChannelWriter put(drv, fd, ch);
    if (!interlaced && !(processingState(port) && anyNoiseReduction(port))) {
        put(kChainBypass, 0);
        set_nr(fd, ch, port);
        setFieldMemory(fd, ch, false);
        return;
    }
    measureIpFrame(fd, ch, port);
    const u32 h = interlaced ? u32(ports.PI_IFH[port] + 1) / 2 : u32(ports.PI_IFH[port]);
    const u32 w = h + kIpHtotalMargin;
    const u32 lines = interlaced ? 2 : 1;
    put(kIpHtotal, w);
    put(kIpVtotal, (u32(ports.PI_IFV[port]) + kIpVtotalMargin) * 2);
    put(kIpLineBuffer, ((w + 1) * 3 / 4 & kIpLineBufferMask) | kIpWindowFlag);
    put(kIpWindowOn, 1);
    put(kIpActHw, u32(ports.PI_ACT[port][HW]));
    put(kIpActVw, u32(ports.PI_ACT[port][VW]) * lines);
    put(kIpActVst, (u32(ports.PI_ACT[port][VST]) * lines) | kIpWindowFlag);

    set_mvflt(fd, ch, port);
    set_diag(fd, ch, port);
    set_ipregs(fd, ch, port);
    set_comb(fd, ch, port);
    set_nr(fd, ch, port);
    if (interlaced) {
        put(kIpMode, ports.PM_IPEN[port] ? kIpModeDeinterlace : kIpModeWeave);
        put(kIpFieldCtl1, kIpFieldCtl1Interlaced);
        put(kIpFieldCtl2, kIpFieldCtl2Interlaced);
    } else {
        put(kIpMode, kIpModeProgressive);
        put(kIpFieldCtl1, 0);
        put(kIpFieldCtl2, 0);
    }
    setFieldMemory(fd, ch, interlaced);
}

// The channel's measured input frame, after two of its frames have passed.
void x518_manage::measureIpFrame(int fd, int ch, int port)
{
    wait1_pivs(fd, ch);
    wait1_pivs(fd, ch);
    const u32 step = kIchMeasStep * u32(ch);
    drv->write_X518(fd, x518::kUpdateCtl, x518::kHoldMeasure, 0);
    ports.PI_IFH[port] = drv->read_X518(fd, x518::regAt(kIchMeasHtotal, step), 0) + 1;
    ports.PI_IFV[port] = drv->read_X518(fd, x518::regAt(kIchMeasVtotal, step), 0);
    drv->write_X518(fd, x518::kUpdateCtl, 0, 0);
}

void x518_manage::setFieldMemory(int fd, int ch, bool interlaced)
{
    const ChannelWriter put(drv, fd, ch);
    u32 field[4];
    if (interlaced) {
        const u32 o = (sys.PS_MWI_IP[ch] & kFieldLineMask) * kFieldLineUnit;
        const u32 i0 = sys.PS_MEM_IP_I[ch][0], i1 = sys.PS_MEM_IP_I[ch][1];
        field[0] = o + i0, field[1] = i0, field[2] = o + i1, field[3] = i1;
    } else {
        const u32 p0 = sys.PS_MEM_IP_P[ch][0], p1 = sys.PS_MEM_IP_P[ch][1];
        field[0] = p0, field[1] = p1, field[2] = p0, field[3] = p1;
    }
    put(kFieldWrite0, field[0]);
    put(kFieldWrite0Base, field[1]);
    put(kFieldWrite1, field[2]);
    put(kFieldWrite1Base, field[3]);
    put(kFieldRead0, field[0]);
    put(kFieldRead0Base, field[1]);
    put(kFieldRead1, field[2]);
    put(kFieldRead1Base, field[3]);
    put(kFieldYOffset, interlaced ? sys.PS_MEM_IPYOFF[ch] : 0);
    put(kFieldMemInterlaced, interlaced ? 1 : 0);
}

void x518_manage::set_ipregs(int fd, int ch, int port)
{
    if (!hasChain(ch, port))
        return;
    const int state = ports.PI_STATE[port];
    if (state < kFirstInterlacedState || state > kLastInterlacedState)
        return;
    const ChannelWriter put(drv, fd, ch);
    const int column = state - kFirstInterlacedState;
    for (const RegByState& r : kIpByState)
        put(r.spec, r.value[column]);
    const bool fast1080 = column < 2;  // states 5 and 6: 1080i
    put(kCadence, kCadenceBase + (fast1080 ? kCadence1080 : 0) + (ports.PM_22PD[port] ? kCadence22 : 0) +
                      (ports.PM_23PD[port] ? kCadence23 : 0));
    put(kCadenceFilm, ports.PM_24SF[port] ? kCadenceFilm24 : kCadenceFilmOff);
    put(kCadenceThreshold,
        (u32(ports.PM_23PDSQTH[port]) & kThresholdMask) | (u32(ports.PM_22PDSQTH[port]) & kThresholdMask) << 4);
}

// ------------------------------------------------------------------ noise reduction

void x518_manage::set_nr(int fd, int ch, int port)
{
    if (!hasChain(ch, port))
        return;
    const ChannelWriter put(drv, fd, ch);
    if (!processingState(port)) {
        for (u32 spec : kNrOff)
            put(spec, 0);
        return;
    }
    set_nr_block(fd, ch, port);
    set_nr_tpx(fd, ch, port);
    set_nr_hvpx(fd, ch, port);
    set_nr_mosq(fd, ch, port);
    u32 master = 0;
    if (ports.PI_SCAN_MODE[port])
        master = 0;
    else if (ports.PM_BNR[port])
        master = kNrMasterBlock;
    else if (anyNoiseReduction(port))
        master = kNrMasterOther;
    put(kNrMaster, master);
}

void x518_manage::set_nr_block(int fd, int ch, int port)
{
    if (!hasChain(ch, port))
        return;
    if (ports.PM_BNR[port] == 0) {
        ChannelWriter(drv, fd, ch)(kBlockNrEnable, 0);
        return;
    }
    switch (ports.PI_ACT[port][VW]) {
    case 240: set_nr_b_480i(fd, ch, port); break;
    case 480: set_nr_b_480p(fd, ch, port); break;
    case 540: set_nr_b_1080i(fd, ch, port); break;
    case 720: set_nr_b_720p(fd, ch, port); break;
    case 1080: set_nr_b_1080p(fd, ch, port); break;
    default: break;  // no block set for other heights
    }
}

// clang-format off
void x518_manage::set_nr_b_480i(int fd, int ch, int port) { writeBlockNr(fd, ch, port, kBlock480i); }
void x518_manage::set_nr_b_480p(int fd, int ch, int port) { writeBlockNr(fd, ch, port, kBlock480p); }
void x518_manage::set_nr_b_720p(int fd, int ch, int port) { writeBlockNr(fd, ch, port, kBlock720p); }
void x518_manage::set_nr_b_1080i(int fd, int ch, int port) { writeBlockNr(fd, ch, port, kBlock1080i); }
void x518_manage::set_nr_b_1080p(int fd, int ch, int port) { writeBlockNr(fd, ch, port, kBlock1080p); }
// clang-format on

void x518_manage::writeBlockNr(int fd, int ch, int port, int member)
{
    if (!hasChain(ch, port))
        return;
    const int level = ports.PM_BNR[port];
    if (!strength(level))
        return;
    const BlockNrMember& m = kBlockNrMembers[member];
    const ChannelWriter put(drv, fd, ch);
    put(kNrMaster, m.master);
    put(kBlockNrEnable, kBlockNrEnableByLevel[level - 1]);
    put.level(kBlockNrByLevel, level);
    put.list(kBlockNrTail);
    put(kBlockNrH1, m.h1);
    put(kBlockNrH2, m.h2);
    put.list(kBlockNrTailMiddle);
    put(kBlockNrV1, m.v1);
    put(kBlockNrV2, m.v2);
    put.list(kBlockNrTailEnd);
    put(kBlockNrEdge, m.edge);
}

void x518_manage::set_nr_tpx(int fd, int ch, int port)
{
    if (!hasChain(ch, port))
        return;
    const ChannelWriter put(drv, fd, ch);
    const int level = ports.PM_TNR[port];
    if (!strength(level)) {
        put(kTemporalNrEnable, 0);
        return;
    }
    put(kTemporalNrEnable, kTemporalNrOn);
    put.list(kTemporalNrHead);
    put.level(kTemporalNrByLevel, level);
    put(kTemporalNrTail.spec, kTemporalNrTail.value);
}

void x518_manage::set_nr_hvpx(int fd, int ch, int port)
{
    if (!hasChain(ch, port))
        return;
    const ChannelWriter put(drv, fd, ch);
    const int h = ports.PM_HNR[port], v = ports.PM_VNR[port];
    put(kHvNrEnable, (v ? kHvNrVertical : 0) + (h ? kHvNrHorizontal : 0));
    put(kHNr1, strength(h) ? kHvNr1ByLevel[h - 1] : 0);
    put(kHNr2, strength(h) ? kHvNr2ByLevel[h - 1] : 0);
    put(kVNr1, strength(v) ? kHvNr1ByLevel[v - 1] : 0);
    put(kVNr2, strength(v) ? kHvNr2ByLevel[v - 1] : 0);
}

void x518_manage::set_nr_mosq(int fd, int ch, int port)
{
    if (!hasChain(ch, port))
        return;
    const ChannelWriter put(drv, fd, ch);
    const int level = ports.PM_MNR[port];
    if (!strength(level)) {
        put(kMosquitoNrEnable, 0);
        return;
    }
    put(kMosquitoNrEnable, kMosquitoNrOn);
    put.list(kMosquitoNrHead);
    put.level(kMosquitoNrByLevel, level);
}

// ------------------------------------------------------------------ interpolation and filters

void x518_manage::set_diag(int fd, int ch, int port)
{
    if (!hasChain(ch, port))
        return;
    const ChannelWriter put(drv, fd, ch);
    const int level = ports.PM_DIAG[port];
    const bool on = processingState(port) && strength(level);
    for (int i = 0; i < kDiagRegs; ++i)
        put(x518::regAt(kDiagFirst, u32(i)), on ? kDiagByLevel[level - 1][i] : 0);
    put(kDiagMode, on ? kDiagModeByLevel[level - 1] : 0);
    if (!on)
        return;
    for (int i = 0; i < kDiagTailRegs; ++i)
        put(x518::regAt(kDiagTail, u32(i)), 0);
}

void x518_manage::set_comb(int fd, int ch, int port)
{
    if (!hasChain(ch, port))
        return;
    const ChannelWriter put(drv, fd, ch);
    const int level = ports.PM_COMB[port];
    if (!processingState(port) || !strength(level)) {
        put(kCombEnable, 0);
        return;
    }
    put(kCombEnable, 1);
    put(kComb1, kComb1ByLevel[level - 1]);
    put(kComb2, kComb2ByLevel[level - 1]);
}

void x518_manage::set_mvflt(int fd, int ch, int port)
{
    if (!hasChain(ch, port))
        return;
    const ChannelWriter put(drv, fd, ch);
    const bool on = processingState(port);
    const int level = on ? ports.PM_MVFLT[port] : 0;
    put(kMotionEnable, level ? kMotionOn : 0);
    if (level < 0 || level > kMotionMaxLevel)
        return;  // an unknown level leaves the groups as they are
    const u8* v = kMotionByLevel[level];
    for (u32 spec : kMotionGroup1)
        put(spec, v[0]);
    for (u32 spec : kMotionGroup2)
        put(spec, v[1]);
    for (u32 spec : kMotionGroup3)
        put(spec, v[2]);
}

// ------------------------------------------------------------------ channel mode, colour conversion

void x518_manage::set_mct(int fd, int w, u32 flag)
{
    if (!kelApi_IsWinValid(w))
        return;
    const int dbd = model.PM_WIN_DBD_MODE[w];
    int p;
    switch (dbd) {
    case DBD_CMOS_IN34:
    case DBD_CMOS_IN34V: p = 2; break;
    case DBD_VBO_IN12:
    case DBD_VBO_IN12V: p = x518::kFirstVboPort; break;
    case DBD_DISABLE:
    case DBD_SINGLE_INPUT:
        p = model.PM_INPUT[w];
        if (!portValid(p))
            return;
        break;
    default: p = 0; break;
    }
    const int* list = ich.win_ich[w];
    const int c0 = list[0];
    if (c0 < 0 || c0 >= kChannels)
        return;
    auto mct = [&](int c, u32 v) { drv->update_X518(fd, kMct + kAddressStep * u32(c), v, 0); };
    auto isyct = [&](int c, u32 v) { drv->update_X518(fd, x518::kIsyct, v, kChannelStride * u32(c)); };
    const u32 s = ports.PI_STATE[p] ? kMctSignal : kMctNoSignal;
    if (p >= x518::kFirstVboPort) {
        mct(c0, s);
        isyct(c0, kIsyctRun);
    } else {
        const bool block = ports.PM_BNR[p] != 0;
        const bool other = ports.PM_HNR[p] || ports.PM_VNR[p] || ports.PM_TNR[p] || ports.PM_MNR[p];
        const bool interlaced = flag == 0 && ports.PI_SCAN_MODE[p] != 0;
        const int mode = block ? 2 : other ? 1 : 0;
        const bool extra = block || other || interlaced;
        const bool chain = c0 < kProcessedChannels && dbd <= DBD_SINGLE_INPUT;
        mct(c0, s | (extra && chain ? kMctProcessing : 0));
        isyct(c0, interlaced ? 0 : kIsyctRun);
        if (ports.nren_old[p] != mode) {
            ports.nren_old[p] = mode;
            static constexpr u32 kMasterOfMode[] = {0, kNrMasterOther, kNrMasterBlock};
            // Channels 4-7 have no chain and no master to switch.
            if (!interlaced && c0 < kProcessedChannels)
                drv->write_X518(fd, kNrMaster, kMasterOfMode[mode], kChannelStride * u32(c0));
        }
    }
    for (int i = 1; i < kChannels && list[i] != kNone; ++i) {
        mct(list[i], s);
        isyct(list[i], x518::kIsyctFollow + u32(c0));
    }
}

void x518_manage::set_iscwct(int fd, int w)
{
    if (!kelApi_IsWinValid(w))
        return;
    const int format = model.PM_MEM_WMODE[w];
    const u32 v = format >= 0 && format < int(sizeof kIscwctByFormat) ? kIscwctByFormat[format] : 0;
    for (int i = 0; i < kChannels && ich.win_ich[w][i] != kNone; ++i)
        drv->update_X518(fd, kIscwct + kAddressStep * u32(ich.win_ich[w][i]), v, 0);
}

// ------------------------------------------------------------------ scaler coefficients

void x518_manage::set_lut_hshrnk(int fd, int ratio, u32 ch, int dual)
{
    if (ch >= u32(kChannels))
        return;
    u8 set = kHShrinkUnity;
    for (const LutBand& b : kHShrinkBands) {
        if (ratio < b.below) {
            set = b.set;
            break;
        }
    }
    // The select holds the set; the load copies it into the channel each time.
    drv->update_X518(fd, kLutSelect, set, 0);
    drv->write_X518(fd, kLutLoad, kLutLoadHShrink + kLutLoadStep * ch, 0);
    if (dual && ch + 1 < u32(kChannels))
        drv->write_X518(fd, kLutLoad, kLutLoadHShrink + kLutLoadStep * ch + kLutLoadDual, 0);
}

void x518_manage::set_lut_vshrnk_4sym(int fd, int ratio, u32 ch, int dual)
{
    if (ch >= u32(kChannels))
        return;
    u8 set = kVShrinkSmallest;
    for (const LutFloor& f : kVShrinkFloors) {
        if (ratio >= f.atLeast) {
            set = f.set;
            break;
        }
    }
    const u8* coef = lut[set - 1];
    X518Batch batch(drv, fd);
    auto load = [&](u32 first) {
        for (int i = 0; i < kVShrinkCoefs; ++i)
            batch.write(x518::regAt(first, u32(i)), i < kVShrinkLeadingZeros ? 0 : coef[i - kVShrinkLeadingZeros],
                        kChannelStride * ch);
    };
    load(kVShrinkCoef);
    if (dual && ch + 1 < u32(kChannels))
        load(kVShrinkCoefDual);
}
