// Small chip operations the input handling and the window programming are
// built on: the blank background, input path enables, V-by-One receiver
// range, polarity and lanes, input-frame waits, the dot-by-dot memory pool
// and each window's input and output rectangles.
#include "videochip/x518_manage.h"

#include "videochip/x518_frame_memory.h"
#include "videoio/tamixsource.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <iterator>

namespace {

using x518::kChannelStride;
using x518::regAt;

constexpr int kRtctHold = 2;  // register-update window held while the background changes
constexpr int kRtctRelease = 1;
constexpr u32 kBlack = 0;

constexpr float kLowRangeBelowHz = 50000000.0f;
constexpr int kVboLockPolls = 250;
constexpr u32 kNothingMeasured = 0xFFFFFF;  // frame measure + 1 at or above this: no frame yet

constexpr u32 kPolVertical = 0x01, kPolHorizontal = 0x02, kPolCmosFixed = 0x04;
constexpr u32 kNibble = 4, kByte = 8, kHalf = 16;

constexpr int kFramePolls = 45;
constexpr int kInFieldReads = 90, kOutFieldReads = 70;
constexpr u32 kFieldShift = 2, kFieldMask = 3;
constexpr double kMaxWaitRate = 120.0;
constexpr int kNoChannelWaitMs = 45;

// Dot-by-dot: frames that need memory of their own; line steps count KiB.
constexpr i32 kDbdCmosMaxWidth = 2560, kDbdVboMaxWidth = 5120, kDbdMaxHeight = 2176;
constexpr int64_t kBytesPerKb = 1024;
// A capture starts this many pixels before the active ones, one line after.
constexpr i32 kDbdCaptureHstBack = 7, kDbdCaptureVstOn = 1;
// Port states from which one channel of a V-by-One pair takes whole lines.
constexpr i32 kDbdPairStateFrom = 3;
// The V-by-One pair's ports in the order its picture shows them.
constexpr int kVboFirstShown = 5, kVboSecondShown = 4;
// The area an input takes in an arrangement of several inputs while it has
// no signal and its source status has reported no frame since the box
// started: a 1920 x 1080 frame, the timing its EDID offers first.
constexpr i32 kFirstDbdRoom[4] = {192, 1920, 41, 1080};

enum { HST = 0, HW = 1, VST = 2, VW = 3 };          // area words
enum { LEFT = 0, RIGHT = 1, TOP = 2, BOTTOM = 3 };  // margin words

}  // namespace

int x518_manage::portOf(int window) const
{
    if (!kelApi_IsWinValid(window))
        return kNone;
    int p = model.PM_INPUT[window];
    return p >= 0 && p < kPorts ? p : kNone;
}

// ------------------------------------------------------------------ background

void x518_manage::set_input_bkg(int fd, int port, int on)
{
    KEL_DBG("[set_input_bkg] port_%d, onoff:%d\n", port, on);
    set_rtct(fd, kRtctHold);
    const bool noPicture = port < 0 || port >= kPorts || ports.PI_STATE[port] == 0;
    // Each window on the port as its own background says: a dot-by-dot
    // window goes on showing what its channels capture of its other inputs,
    // but one without channels (waiting for them) stays black, as does a
    // window set black.
    for (int w = 0; w < kWindows; ++w)
        if (model.PM_INPUT[w] == port)
            set_input_bkg2(fd, w, (on || noPicture) ? 1 : 0);
    set_rtct(fd, kRtctRelease);
}

void x518_manage::set_input_bkg2(int fd, int window, int on)
{
    KEL_DBG("[set_input_bkg2] win_%d, onoff:%d\n", window, on);
    if (!kelApi_IsWinValid(window))
        return;
    int port = portOf(window);
    u32 show = on ? 1 : 0;
    if (!on && !kelApi_IsPatternGen() && (port == kNone || ports.PI_STATE[port] == 0))
        show = 1;
    // A dot-by-dot window shows what its channels capture, whichever of its
    // ports has a picture; one without a channel has nothing to show.
    if (model.PM_WIN_DBD_MODE[window] != DBD_DISABLE && firstIch(window) != kNone)
        show = 0;
    bool black = (model.win_info[window].output & 0x01) != 0;
    for (int c = 0; c < kChannels; ++c) {
        if (model.PM_WIN_NUM[c] != window)
            continue;
        drv->update_X518(fd, x518::kBkgColour, kBlack, kChannelStride * c);
        drv->update_X518(fd, x518::kBkgShow, black ? 1 : show, kChannelStride * c);
    }
}

// ------------------------------------------------------------------ input paths and receivers

void x518_manage::set_pict(int fd, int on, int path)
{
    if (path < 0 || path >= kCmosPorts)
        return;
    u32 bit = 1u << (x518::kInputPathBitStep * path);
    drv->write_x518_mask(fd, x518::kInputPathEnable, on ? bit : 0, bit, 0);
}

int x518_manage::set_VBORXfrange(int fd, int receiver, float pixelClock, int toggle)
{
    if (receiver < 0 || receiver >= x518::kVboReceivers)
        return 0;
    u32 range = regAt(x518::kVboFrange, x518::kVboFrangeStep * receiver);
    if (toggle == 1) {
        u32 old = drv->read_X518(fd, range, 0);
        drv->write_x518_mask(fd, range, old ^ x518::kVboFrangeLow, x518::kVboFrangeLow, 0);
        return 0;
    }
    drv->write_x518_mask(fd, range, pixelClock < kLowRangeBelowHz ? x518::kVboFrangeLow : 0, x518::kVboFrangeLow, 0);

    u32 lockBit = 1u << (x518::kVboLockBit0 + 2 * receiver);
    if (drv->read_X518(fd, x518::kVboLock, 0) & lockBit)
        return 0;
    u32 measure = regAt(x518::kVboFrameMeasure, x518::kVboFrameMeasureStep * receiver);
    for (int i = 0; i < kVboLockPolls; ++i) {
        if (drv->read_X518(fd, measure, 0) + 1 < kNothingMeasured)
            return 0;
        if (drv->read_X518(fd, x518::kVboLock, 0) & lockBit)
            return 0;
    }
    KEL_DBG("[set_VBORXfrange] receiver %d: no lock and no frame after %d polls\n", receiver, kVboLockPolls);
    return -1;
}

void x518_manage::set_sypol(int fd, int vbo, int index)
{
    int count = vbo ? x518::kVboReceivers : kCmosPorts;
    if (index < 0 || index >= count)
        return;
    u32 spec = vbo ? x518::kSyncPolVbo : x518::kSyncPolCmos;
    drv->write_X518(fd, x518::kUpdateCtl, x518::kHoldMeasure, 0);
    u32 word = drv->read_X518(fd, spec, 0);
    drv->write_X518(fd, x518::kUpdateCtl, 0, 0);

    const ST_PI_HDMI_INFO& info = ports.PI_HDMI_INFO[vbo ? x518::kFirstVboPort + index : index];
    u32 pol = ((info.Vpol & 1) ? kPolVertical : 0) | ((info.Hpol & 1) ? kPolHorizontal : 0);
    if (vbo) {
        u32 half = pol | pol << kNibble | pol << (2 * kNibble) | pol << (3 * kNibble);
        u32 shift = kHalf * u32(index);
        word = (word & ~(0xFFFFu << shift)) | half << shift;
    } else {
        u32 shift = kByte * u32(index);
        word = (word & ~(0xFFu << shift)) | (pol | kPolCmosFixed) << shift;
    }
    drv->write_X518(fd, spec, word, 0);
}

void x518_manage::set_VBOInput(int fd, int receiver)
{
    if (receiver < 0 || receiver >= x518::kVboReceivers)
        return;
    set_sypol(fd, 1, receiver);
    u32 word, bits;
    switch (ports.PI_HDMI_INFO[x518::kFirstVboPort + receiver].lane) {
    // clang-format off
    case 1: word = 0; bits = 0; break;
    case 2: word = 0x0001; bits = 0x10; break;
    case 4: word = 0x0011; bits = 0x04; break;
    default: word = 0x0404; bits = 0x02; break;  // 8 lanes
        // clang-format on
    }
    drv->write_X518(fd, regAt(x518::kVboLaneWord, 2 * receiver), word, 0);
    u32 shift = kByte * u32(receiver);
    drv->write_x518_mask(fd, x518::kVboLaneBits, bits << shift, 0xFFu << shift, 0);
}

// ------------------------------------------------------------------ frame waits

int x518_manage::wait1_pivs(int fd, int channel)
{
    if (channel < 0 || channel >= kChannels)
        return 0;
    // The frames the channel captures are its port's.
    const int port = portOf(ich.ich_win[channel]);
    const double rate = port == kNone ? 0 : ports.PI_FV[port];
    const double periodMs = rate > 0 ? 1000.0 / rate : 0;
    const u32 bit = 1u << channel;
    const u32 status = regAt(x518::kIchStatus, x518::kIchStatusStep * channel);
    const auto armed = X518FrameGrid::Clock::now();
    drv->access_X518(
        fd, {x518_drv::writeOp(x518::kInFrameRequest, bit), x518_drv::writeOp(x518::kUpdateCtl, x518::kHoldMeasure)});
    // A channel without input (its status idle) has no frame to wait for:
    // unless the channel's port is known to carry a picture, the first look
    // at the flag comes at once and reads its status too. The polls span a
    // frame down to ~22 Hz.
    const bool live = port != kNone && ports.PI_STATE[port] != 0 && rate > 0;
    auto read = [&](bool first) {
        u32 flags = 0, st = 0;
        if (first && !live)
            drv->access_X518(fd, {x518_drv::readOp(x518::kInFrameFlags, &flags), x518_drv::readOp(status, &st)});
        else
            flags = drv->read_X518(fd, x518::kInFrameFlags, 0);
        return (flags & bit) ? 1 : first && !live && st == x518::kIchStatusIdle ? -1 : 0;
    };
    int polls = 0;
    X518FrameGrid& grid = in_frames_[channel][port == kNone ? kPorts : port];
    const int answer = grid.await(armed, periodMs, X518FrameGrid::Time::max(), kFramePolls, !live, read, polls);
    drv->access_X518(fd, {x518_drv::writeOp(x518::kInFrameRequest, 0), x518_drv::writeOp(x518::kUpdateCtl, 0)});
    if (answer == 0) {
        KEL_DBG("[wait1_pivs] ICH%d: no input frame after %d polls\n", channel, polls);
        return -1;
    }
    return 0;
}

int x518_manage::wait1_pivs2(int fd)
{
    int best = kNone;
    double bestRate = kMaxWaitRate;
    for (int w = 0; w < kWindows; ++w) {
        int port = portOf(w);
        if (port == kNone || !(model.win_chg[w] || model.g_chg_input[w] || model.g_chg_dbd[w]))
            continue;
        if (ports.PI_FV[port] < bestRate) {
            bestRate = ports.PI_FV[port];
            best = w;
        }
    }
    if (best != kNone && firstIch(best) >= 0 && firstIch(best) < kChannels)
        return wait1_pivs(fd, firstIch(best));
    Sleep(kNoChannelWaitMs);
    return 0;
}

namespace {

int waitField(x518_drv* drv, int fd, int channel, int maxReads)
{
    if (channel < 0 || channel >= x518::kChannels)
        return -1;
    u32 spec = regAt(x518::kFieldCounter, u32(channel));
    u32 first = drv->read_X518(fd, spec, 0);
    for (int i = 1; i < maxReads; ++i) {
        u32 v = drv->read_X518(fd, spec, 0);
        if (v != first)
            return int((v >> kFieldShift) & kFieldMask);
    }
    return -1;
}

}  // namespace

int x518_manage::wait_ifld_change(int fd, int channel)
{
    return waitField(drv, fd, channel, kInFieldReads);
}

int x518_manage::wait_ofld_change(int fd, int channel)
{
    return waitField(drv, fd, channel, kOutFieldReads);
}

// ------------------------------------------------------------------ dot-by-dot memory

void x518_manage::reset_dbd_mem(int window)
{
    if (!kelApi_IsWinValid(window))
        return;
    for (int k = 0; k < kDbdBlocksPerWindow; ++k) {
        int b = ich.win_dbd_blk[window][k];
        if (b >= 0 && b < kDbdBlocks && ich.dbd_pool[b] == window)
            ich.dbd_pool[b] = kNone;
        ich.win_dbd_blk[window][k] = kNone;
    }
}

int x518_manage::check_dbd_input(int fd, int port) const
{
    (void)fd;
    if (port < 0 || port >= kPorts)
        return 0;
    i32 maxWidth = port < kCmosPorts ? kDbdCmosMaxWidth : kDbdVboMaxWidth;
    return (ports.port_act[port][HW] > maxWidth || ports.port_act[port][VW] > kDbdMaxHeight) ? 1 : 0;
}

// The first block of a free run of `count` blocks, the lowest (fromTop: the
// highest); kNone when there is none.
int x518_manage::freeDbdRun(int count, bool fromTop) const
{
    for (int i = 0; i + count <= kDbdBlocks; ++i) {
        const int first = fromTop ? kDbdBlocks - count - i : i;
        bool free = true;
        for (int b = first; b < first + count; ++b)
            free = free && ich.dbd_pool[b] == kNone;
        if (free)
            return first;
    }
    return kNone;
}

int x518_manage::takeDbdBlocks(int window, int count, bool fromTop)
{
    int first = freeDbdRun(count, fromTop);
    if (first == kNone && std::count(std::begin(ich.dbd_pool), std::end(ich.dbd_pool), kNone) >= count) {
        compactDbdMemory();
        first = freeDbdRun(count, fromTop);
    }
    if (first == kNone)
        return kNone;
    for (int k = 0; k < count; ++k) {
        ich.dbd_pool[first + k] = window;
        ich.win_dbd_blk[window][k] = first + k;
    }
    return first;
}

// Enough blocks are free, but not in one run: the windows' memory is moved
// together, those that take theirs from the lowest blocks up to the bottom
// of the pool and those that take it from the highest down to its top, each
// keeping its order, so that the free blocks lie in one run between them.
// A window whose memory moved is programmed again at its new place.
void x518_manage::compactDbdMemory()
{
    struct Held {
        int window = kNone, first = kDbdBlocks, count = 0;
        bool fromTop = false;
    };
    Held held[kWindows];
    for (int w = 0; w < kWindows; ++w) {
        held[w].window = w;
        held[w].fromTop = dbdLayout(w).fromTop;
        for (int k = 0; k < kDbdBlocksPerWindow; ++k) {
            const int b = ich.win_dbd_blk[w][k];
            if (b < 0 || b >= kDbdBlocks || ich.dbd_pool[b] != w)
                continue;
            held[w].first = std::min(held[w].first, b);
            ++held[w].count;
        }
    }
    std::sort(std::begin(held), std::end(held), [](const Held& a, const Held& b) { return a.first < b.first; });
    int bottom = 0, top = kDbdBlocks;
    int to[kWindows];
    for (const Held& h : held)
        if (h.count && !h.fromTop)
            to[h.window] = bottom, bottom += h.count;
    for (auto h = std::rbegin(held); h != std::rend(held); ++h)
        if (h->count && h->fromTop)
            top -= h->count, to[h->window] = top;
    std::fill(std::begin(ich.dbd_pool), std::end(ich.dbd_pool), kNone);
    for (const Held& h : held) {
        if (!h.count)
            continue;
        for (int k = 0; k < h.count; ++k) {
            ich.dbd_pool[to[h.window] + k] = h.window;
            ich.win_dbd_blk[h.window][k] = to[h.window] + k;
        }
        if (to[h.window] == h.first)
            continue;
        std::printf("[set_dbd_mem] win_%d: its dot-by-dot memory moves from block %d to block %d\n", h.window, h.first,
                    to[h.window]);
        for (int f = 0; f < kFields; ++f)
            ich.dbd_fb_base[h.window][f] = sys.PS_DBD_BASE[f] + u32(to[h.window]) * sys.PS_DBD_BLOCK;
        model.win_chg[h.window] = 1;
    }
}

// Blocks of dot-by-dot memory the window asks for: none for a plain window
// or one input whose frame its input channels hold.
int x518_manage::dbdBlocksAsked(int window) const
{
    const int mode = model.PM_WIN_DBD_MODE[window];
    if (mode <= DBD_DISABLE || (mode == DBD_SINGLE_INPUT && !check_dbd_input(spi_fd, portOf(window))))
        return 0;
    return dbdLayout(window).blocks;
}

int x518_manage::dbdBlocksHeld(int window) const
{
    int n = 0;
    for (int k = 0; k < kDbdBlocksPerWindow; ++k) {
        const int b = ich.win_dbd_blk[window][k];
        n += b >= 0 && b < kDbdBlocks && ich.dbd_pool[b] == window;
    }
    return n;
}

int x518_manage::dbdFormat(int window) const
{
    const int p = portOf(window);
    return p != kNone && ports.port_fmt_lock[p] ? x518mem::kThreeInEight : model.PS_MEM_WMODE[window];
}

void x518_manage::resetDbdRooms()
{
    for (int p = 0; p < kPorts; ++p) {
        const bool reached = kelApi_GetPortDevId(p) != kPortNone;
        for (int i = 0; i < 4; ++i)
            dbd_room_[p][i] = reached ? kFirstDbdRoom[i] : 0;
    }
}

void x518_manage::noteReportedFrames()
{
    const tamixsource* src = tamixsource::p_tamix_source;
    for (int p = 0; src && p < kPorts; ++p) {
        u16 width = 0, height = 0;
        const u32 input = kelApi_GetPortDevId(p);
        if (input < u32(tamixsource::kSources) && src->lastReportedFrame(int(input), width, height)) {
            dbd_room_[p][HW] = width;
            dbd_room_[p][VW] = height;
        }
    }
}

const i32* x518_manage::dbdArea(int window, int port) const
{
    const bool several = model.PM_WIN_DBD_MODE[window] > DBD_SINGLE_INPUT;
    return several && ports.PI_STATE[port] == 0 ? dbd_room_[port] : ports.port_act[port];
}

int x518_manage::dbdLeadPart(const DbdLayout& l) const
{
    for (int k = 0; k < l.parts; ++k)
        if (portValid(l.part[k].port) && ports.PI_STATE[l.part[k].port] != 0)
            return k;
    return 0;
}

// What each input channel of a dot-by-dot window captures and where its
// part lies: side by side, one after the other in a line (the two halves of
// a V-by-One line too); stacked, the second below the first; in two rows of
// two, the second row below the taller part of the first. A V-by-One pair
// shows port 5 first, as its channels 0-1 capture it.
x518_manage::DbdLayout x518_manage::dbdLayout(int window) const
{
    DbdLayout l;
    if (!kelApi_IsWinValid(window))
        return l;
    auto whole = [this, window](int port) {
        const i32* a = dbdArea(window, port);
        return DbdPart{port, a[HST] - kDbdCaptureHstBack, a[HW], a[VST] + kDbdCaptureVstOn, a[VW]};
    };
    auto half = [this, window](int port) {
        const i32* a = dbdArea(window, port);
        return DbdPart{port, a[HST] / 2 - kDbdCaptureHstBack, a[HW] / 2, a[VST] + kDbdCaptureVstOn, a[VW]};
    };
    // A V-by-One port's pair of channels takes its lines whole (the first
    // channel, the second empty) when its receiver gives them so, and as
    // halves (each channel one) when it gives each half on its own code;
    // a port without a signal takes its room whole. Each port of the
    // arrangement by its own signal, whatever the window's own source.
    const int p = portOf(window);
    auto set = [&l](std::initializer_list<DbdPart> parts) {
        for (const DbdPart& part : parts)
            l.part[l.parts++] = part;
    };
    auto setPair = [&](int port) {
        if (ports.PI_STATE[port] > kDbdPairStateFrom || ports.PI_STATE[port] == 0)
            set({whole(port), DbdPart{port}});
        else
            set({half(port), half(port)});
    };
    switch (model.PM_WIN_DBD_MODE[window]) {
    case DBD_SINGLE_INPUT:
        if (p == kNone)
            return l;
        if (p < kCmosPorts) {
            set({whole(p)});
            l.blocks = 1;
        } else {
            setPair(p);
            l.blocks = 2;
        }
        break;
    // clang-format off
    case DBD_CMOS_IN12: set({whole(0), whole(1)}); l.blocks = 2; break;
    case DBD_CMOS_IN34: set({whole(2), whole(3)}); l.blocks = 2; break;
    case DBD_CMOS_IN123: set({whole(0), whole(1), whole(2)}); l.blocks = 3; break;
    case DBD_CMOS_IN1234: set({whole(0), whole(1), whole(2), whole(3)}); l.blocks = 4; break;
    case DBD_CMOS_IN12V: set({whole(0), whole(1)}); l.blocks = 2; l.sideBySide = false; break;
    case DBD_CMOS_IN34V: set({whole(2), whole(3)}); l.blocks = 2; l.sideBySide = false; break;
    case DBD_CMOS_IN1234Q: set({whole(0), whole(1), whole(2), whole(3)}); l.blocks = 4; l.sideBySide = false; break;
    // clang-format on
    case DBD_VBO_IN12:
    case DBD_VBO_IN12V:
        for (int q : {kVboFirstShown, kVboSecondShown})
            setPair(q);
        l.blocks = 4;
        l.sideBySide = model.PM_WIN_DBD_MODE[window] == DBD_VBO_IN12;
        break;
    default: return l;
    }
    l.fromTop = !l.sideBySide;
    DbdPart* part = l.part;
    if (l.sideBySide) {
        for (int k = 1; k < l.parts; ++k)
            part[k].x = part[k - 1].x + part[k - 1].hw;
    } else if (l.parts == 2) {
        part[1].y = part[0].vw;
    } else {
        // Two rows of two: the second row below the taller of the first;
        // four inputs keep their columns, a V-by-One line's halves meet.
        const bool halves = model.PM_WIN_DBD_MODE[window] == DBD_VBO_IN12V;
        part[1].x = part[0].hw;
        part[2].y = part[3].y = std::max(part[0].vw, part[1].vw);
        part[3].x = halves ? part[2].hw : std::max(part[0].hw, part[2].hw);
    }
    return l;
}

int x518_manage::set_dbd_mem(int fd, int window)
{
    if (!kelApi_IsWinValid(window))
        return -1;
    const int mode = model.PM_WIN_DBD_MODE[window];
    const int channel = firstIch(window);
    reset_dbd_mem(window);
    if (mode <= DBD_DISABLE || channel < 0 || channel >= kChannels)
        return -1;
    const DbdLayout l = dbdLayout(window);
    if (l.parts == 0)
        return -1;

    // The line step holds the widest row in the window's format; the
    // window's memory, every row of it.
    const int format = dbdFormat(window);
    int64_t lineEnd = 0, rows = 0;
    for (int k = 0; k < l.parts; ++k) {
        lineEnd = std::max(lineEnd, x518mem::lineBytes(format, int64_t(l.part[k].x) + l.part[k].hw));
        rows = std::max<int64_t>(rows, int64_t(l.part[k].y) + l.part[k].vw);
    }
    if (mode == DBD_SINGLE_INPUT && !check_dbd_input(fd, portOf(window))) {
        // The frame fits the scaler memory of its own input channels.
        const int64_t room = int64_t(X518System::kColumnBytes) * l.parts;
        if (lineEnd > room) {
            std::printf("Dot-By-Dot line of %ld bytes does not fit its input channels   win=%d\n", long(lineEnd),
                        window);
            return -1;
        }
        for (int f = 0; f < kFields; ++f)
            ich.dbd_fb_base[window][f] = sys.PS_MEM_SC[channel][f];
        ich.dbd_pitch[window] = sys.fb_pitch;
        return 0;
    }

    const int first = takeDbdBlocks(window, l.blocks, l.fromTop);
    if (first == kNone) {
        // No run of free blocks long enough: blk_cnt counts the free ones.
        const int free = int(std::count(std::begin(ich.dbd_pool), std::end(ich.dbd_pool), kNone));
        std::printf("Dot-By-Dot memory assignment error!!!   win=%d  mode=%d  mem_cnt=%d  blk_cnt=%d\n", window, mode,
                    l.blocks, free);
        return -1;
    }
    const u32 pitch = u32((lineEnd + kBytesPerKb - 1) / kBytesPerKb);
    if (int64_t(pitch) * kBytesPerKb * rows > int64_t(l.blocks) * sys.PS_DBD_BLOCK) {
        reset_dbd_mem(window);
        std::printf("Dot-By-Dot picture of %ld lines of %u KiB does not fit %d blocks   win=%d  mode=%d\n", long(rows),
                    pitch, l.blocks, window, mode);
        return -1;
    }
    for (int f = 0; f < kFields; ++f)
        ich.dbd_fb_base[window][f] = sys.PS_DBD_BASE[f] + u32(first) * sys.PS_DBD_BLOCK;
    ich.dbd_pitch[window] = pitch;
    return 0;
}

// ------------------------------------------------------------------ input and output windows

void x518_manage::calc_iwin2(int window)
{
    if (!kelApi_IsWinValid(window))
        return;
    _ImageWindowDef_st& in = model.IWIN[window];
    in = {0, 0, 0, 0};
    int p = portOf(window);
    // A window showing several inputs side by side shows them whatever its
    // own source carries: their areas make its picture.
    const bool several = model.PM_WIN_DBD_MODE[window] > DBD_SINGLE_INPUT;
    if (p != kNone && model.PM_WIN_SHAPE[window][0] && model.PM_WIN_SHAPE[window][1] &&
        (several || (ports.PI_ACT[p][HW] && ports.PI_ACT[p][VW]))) {
        // An input of several without a signal keeps its room.
        auto W = [this, window](int q) { return dbdArea(window, q)[HW]; };
        auto H = [this, window](int q) { return dbdArea(window, q)[VW]; };
        bool lowChannel = firstIch(window) < kCmosPorts;  // only channels 0-3 de-interlace
        switch (model.PM_WIN_DBD_MODE[window]) {
        case DBD_SINGLE_INPUT:
            in.hw = W(p);
            in.vw = (ports.PI_SCAN_MODE[p] && lowChannel) ? 2 * H(p) : H(p);
            break;
        // clang-format off
        case DBD_CMOS_IN12: in.hw = W(0) + W(1); in.vw = H(0); break;
        case DBD_CMOS_IN34: in.hw = W(2) + W(3); in.vw = H(2); break;
        case DBD_CMOS_IN123: in.hw = W(0) + W(1) + W(2); in.vw = H(0); break;
        case DBD_CMOS_IN1234: in.hw = W(0) + W(1) + W(2) + W(3); in.vw = H(0); break;
        case DBD_VBO_IN12: in.hw = W(kVboFirstShown) + W(kVboSecondShown); in.vw = H(kVboFirstShown); break;
        case DBD_CMOS_IN12V: in.hw = W(0); in.vw = H(0) + H(1); break;
        case DBD_CMOS_IN34V: in.hw = W(2); in.vw = H(2) + H(3); break;
        case DBD_CMOS_IN1234Q: in.hw = W(0) + W(1); in.vw = H(0) + H(2); break;
        case DBD_VBO_IN12V: in.hw = W(kVboFirstShown); in.vw = H(kVboFirstShown) + H(kVboSecondShown); break;
        // clang-format on
        default: {
            i32 w = ports.PI_STATE[p] == 1 ? 2 * ports.PI_ACT[p][HW] : ports.PI_ACT[p][HW];
            i32 h = ports.PI_ACT[p][VW];
            if (model.PM_INPUT_OFFSET_EN[window]) {
                const i32* m = model.PM_INPUT_OFFSET[window];
                if (ports.PI_SCAN_MODE[p])
                    h *= 2;
                in.hst = m[LEFT] >= w ? 0 : m[LEFT];
                in.hw = w - m[LEFT] - m[RIGHT];
                if (in.hw < 1)
                    in.hw = w;
                in.vst = m[TOP] >= h ? 0 : m[TOP];
                in.vw = h - m[TOP] - m[BOTTOM];
                if (in.vw < 1)
                    in.vw = h;
            } else {
                in.hw = w;
                in.vw = (ports.PI_SCAN_MODE[p] && lowChannel) ? 2 * h : h;
            }
            break;
        }
        }
    }
    std::printf("calc_iwin2 IWIN[%d]  HST=%4d  HW=%4d  VST=%4d  VW=%4d\n", window, in.hst, in.hw, in.vst, in.vw);
}

// The window's area on its output channels, from the left (top) edge of
// the first: the channels it covers less its margins inside them.
_ImageWindowDef_st x518_manage::windowPlace(int window) const
{
    _ImageWindowDef_st out{0, 0, 0, 0};
    if (model.PM_WIN_SHAPE[window][0] > 0)
        out.hw = i32(sys.PS_ACTHW) * model.PM_WIN_SHAPE[window][0];
    if (model.PM_WIN_SHAPE[window][1] > 0)
        out.vw = i32(sys.PS_ACTVW) * model.PM_WIN_SHAPE[window][1];
    const i32* m = model.PM_WIN_OFFSET[window];
    out.hst += m[LEFT];
    out.hw -= m[LEFT] + m[RIGHT];
    out.vst += m[TOP];
    out.vw -= m[TOP] + m[BOTTOM];
    return out;
}

void x518_manage::calc_owin2(int window)
{
    if (!kelApi_IsWinValid(window))
        return;
    _ImageWindowDef_st& out = model.OWIN[window];
    _ImageWindowDef_st& in = model.IWIN[window];
    out = windowPlace(window);
    if (model.PM_WIN_DBD_MODE[window] > DBD_DISABLE) {
        auto fit = [&](i32& i, i32& o) {
            if (model.PM_WIN_DBD_CLIP[window]) {
                // The picture is cut to the output; an empty output takes the picture's size.
                if (o < 1)
                    o = i;
                else if (i > o)
                    i = o;
            } else {
                i = o = std::min(i, o);
            }
        };
        fit(in.hw, out.hw);
        fit(in.vw, out.vw);
    } else {
        out.hw = std::max(out.hw, 0);
        out.vw = std::max(out.vw, 0);
    }
    KEL_DBG("calc_owin2 OWIN[%d]  HST=%4d  HW=%4d  VST=%4d  VW=%4d\n", window, out.hst, out.hw, out.vst, out.vw);
}

void x518_manage::calc_iwin()
{
    for (int w = 0; w < kWindows; ++w)
        calc_iwin2(w);
}

void x518_manage::calc_owin()
{
    for (int w = 0; w < kWindows; ++w)
        calc_owin2(w);
}
