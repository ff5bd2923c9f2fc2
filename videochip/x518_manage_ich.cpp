// Input channel allocation: the eight input channels that capture the input
// ports, their owners, the budget, the preference by which free channels are
// taken, moving another window's channel when that frees the right one, and
// the channel source selectors and dual-channel split registers.
#include "videochip/x518_manage.h"

#include <cstdio>

namespace {

using x518::kAddressStep;

constexpr int kBudget = x518_manage::kChannels;
constexpr int kLowerGroup = 4;  // channels 0-3 have the de-interlacers

// DBD codes.
constexpr int kDbdSingle = 1;
constexpr int kDbdTriplesFrom = 30, kDbdQuadsFrom = 40, kDbdBeyond = 52;
constexpr int kDbdLastInUse = 51;

// ICHSEL source codes.
constexpr u32 kSelVboRx0 = 8;   // port 4; + 1 second half with up to 4 lanes, + 2 with more
constexpr u32 kSelVboRx1 = 12;  // port 5
constexpr int kFourLanes = 4;

// Pairs in the order they are taken when wholly free.
constexpr int kPairOrder[] = {4, 6, 2, 0};

}  // namespace

bool x518_manage::windowAvailable(int window) const
{
    return kelApi_IsWinValid(window) && model.PM_WIN_SHAPE[window][0] != 0 && model.PM_WIN_SHAPE[window][1] != 0;
}

// A port measured interlaced. A port not measured since the panel was set
// up (its record all ones, until a window shows it) needs none.
bool x518_manage::needsDeinterlacer(int port) const
{
    return portValid(port) && ports.PI_PORT_INFO[port].need_ich14 == 1;
}

int x518_manage::windowCost(int window, int asking) const
{
    if (window != asking) {
        if (model.win_refused[window])
            return 0;  // it holds nothing: what the chip shows costs nothing
        if (ich_pending_[window])
            return ichCount(window);  // served later in this allocation
    }
    const int mode = model.PM_WIN_DBD_MODE[window];
    if (mode <= kDbdSingle) {
        const int port = model.PM_INPUT[window];
        if (port >= 0 && port < kCmosPorts)
            return ports.PI_HDMI_INFO[port].datamode == 0 ? 1 : 2;
        if (portValid(port))
            return 2;
        return 0;  // a window without input takes no channel
    }
    if (mode < kDbdTriplesFrom)
        return 2;
    if (mode < kDbdQuadsFrom)
        return 3;
    if (mode < kDbdBeyond)
        return 4;
    return 0;
}

void x518_manage::rebuildWinIch()
{
    for (int w = 0; w < kWindows; ++w) {
        int n = 0;
        for (int c = 0; c < kChannels; ++c)
            if (ich.ich_win[c] == w)
                ich.win_ich[w][n++] = c;
        while (n < kChannels)
            ich.win_ich[w][n++] = kNone;
    }
}

i32 x518_manage::check_ich_all(u32 window)
{
    int sum = 0;
    for (int w = 0; w < kWindows; ++w)
        if (windowAvailable(w))
            sum += windowCost(w, i32(window));
    if (sum > kBudget) {
        std::printf("check_ich_all ret=%d\n", -1);
        return -1;
    }
    for (int c = 0; c < kChannels; ++c) {
        const int owner = ich.ich_win[c];
        if (!kelApi_IsWinValid(owner) || !windowAvailable(owner) || owner == i32(window))
            ich.ich_win[c] = kNone;
    }
    rebuildWinIch();
    std::printf("check_ich_all ret=%d\n", sum);
    return sum;
}

i32 x518_manage::check_ich(u32 need_ich14, u32 pair) const
{
    auto freeCh = [this](int c) { return ich.ich_win[c] == kNone; };
    if (pair) {
        for (int first : kPairOrder)
            if (freeCh(first) && freeCh(first + 1))
                return first;
        return -1;
    }
    // One channel of a group of four: its first, or its last when the third
    // is taken, keeping pairs whole; else the first free one.
    auto fromGroup = [&](int base) -> int {
        if (freeCh(base))
            return (!freeCh(base + 2) && freeCh(base + 3)) ? base + 3 : base;
        for (int c = base + 1; c < base + kLowerGroup; ++c)
            if (freeCh(c))
                return c;
        return -1;
    };
    int c = fromGroup(0);
    if (c >= 0 || need_ich14)
        return c;
    return fromGroup(kLowerGroup);
}

// Gives the occupant of `channel` the first free channel of `list`; false
// when none is free.
int x518_manage::moveOccupant(int channel, const int* list, int count)
{
    const int occupant = ich.ich_win[channel];
    for (int i = 0; i < count; ++i) {
        const int c = list[i];
        if (ich.ich_win[c] != kNone)
            continue;
        ich.ich_win[c] = occupant;
        ich.ich_win[channel] = kNone;
        if (kelApi_IsWinValid(occupant))
            model.g_chg_input[occupant] = 2;
        return c;
    }
    std::printf("adjust_ich NG!!!\n");
    return -1;
}

u32 x518_manage::adjust_ich(u32 need_ich14, u32 pair, u32 window)
{
    constexpr u32 kFail = 0xFFFFFFFFu;
    const i32 w = i32(window);
    static const int kUpper[] = {4, 5, 6, 7};
    auto firstFree = [this](const int* list, int count) {
        for (int i = 0; i < count; ++i)
            if (ich.ich_win[list[i]] == kNone)
                return list[i];
        return -1;
    };
    if (!pair && !need_ich14) {
        static const int kAll[] = {0, 1, 2, 3, 4, 5, 6, 7};
        const int c = firstFree(kAll, kChannels);
        if (c < 0) {
            std::printf("adjust_ich NG!!!\n");
            return kFail;
        }
        ich.ich_win[c] = w;
        return 0;
    }
    if (!pair) {
        static const int kLower[] = {0, 1, 2, 3};
        int c = firstFree(kLower, kLowerGroup);
        if (c >= 0) {
            ich.ich_win[c] = w;
            return 0;
        }
        for (c = 0; c < kLowerGroup; ++c) {
            const int occupant = ich.ich_win[c];
            const int port = kelApi_IsWinValid(occupant) ? model.PM_INPUT[occupant] : kNoPort;
            if (needsDeinterlacer(port))
                continue;
            if (moveOccupant(c, kUpper, 4) < 0)
                return kFail;
            ich.ich_win[c] = w;
            return 0;
        }
        std::printf("ICH1-4 is not available!!!\n");
        c = firstFree(kUpper, 4);
        if (c < 0) {
            std::printf("adjust_ich NG!!!\n");
            return kFail;
        }
        ich.ich_win[c] = w;
        return 0;
    }
    // A pair: complete a half-free pair by moving the occupant of its other half.
    struct Completion {
        int first;
        int freeHalf;
        int list[6];
        int count;
    };
    static const Completion kCompletions[] = {
        {4, 4, {6, 7, 0, 1, 2, 3}, 6},
        {4, 5, {6, 7, 0, 1, 2, 3}, 6},
        {6, 6, {0, 1, 2, 3}, 4},
        {6, 7, {0, 1, 2, 3}, 4},
        {0, 0, {2, 3}, 2},
        {0, 1, {2, 3}, 2},
    };
    for (const Completion& k : kCompletions) {
        const int other = k.freeHalf == k.first ? k.first + 1 : k.first;
        if (ich.ich_win[k.freeHalf] != kNone || ich.ich_win[other] == kNone)
            continue;
        if (moveOccupant(other, k.list, k.count) < 0)
            return kFail;
        ich.ich_win[k.first] = ich.ich_win[k.first + 1] = w;
        return 0;
    }
    std::printf("adjust_ich NG!!!\n");
    return kFail;
}

i32 x518_manage::set_input(u32 window, u32 port)
{
    enum { kDirect = 0, kAdjusted = 1, kRefused = 2 };
    if (window >= u32(kWindows))
        return kRefused;
    const int w = int(window);
    const int mode = model.PM_WIN_DBD_MODE[w];
    if (mode > kDbdSingle && model.g_chg_dbd[w] == 0)
        return kDirect;
    if (!windowAvailable(w)) {
        KEL_DBG("[set_input] win_%d, port_%u, window is unavailable\n", w, port);
        return kRefused;
    }
    if (check_ich_all(window) == -1) {
        KEL_DBG("[set_input] win_%d, check_ich_all(win) fail\n", w);
        return kRefused;
    }
    int result = kDirect;
    auto take = [&](u32 need14, u32 pair) {
        const i32 c = check_ich(need14, pair);
        if (c >= 0) {
            ich.ich_win[c] = w;
            if (pair)
                ich.ich_win[c + 1] = w;
            return kDirect;
        }
        return adjust_ich(need14, pair, window) == 0 ? kAdjusted : kRefused;
    };
    auto dbdRareCase = [&] {
        std::printf("set_input Dot-By-Dot Rare Case!!!   win=%d  port=%u\n", w, port);
        return kRefused;
    };
    if (mode <= kDbdSingle) {
        if (!portValid(int(port))) {
            // No port: the window keeps no channel (check_ich_all freed them).
            result = kRefused;
        } else {
            const u32 need14 = needsDeinterlacer(int(port)) ? 1 : 0;
            const bool single =
                (port < u32(kCmosPorts) && ports.PI_HDMI_INFO[port].datamode == 0) || mode == kDbdSingle;
            result = (port < u32(kCmosPorts) && single) ? take(need14, 0) : take(need14, 1);
        }
    } else if (mode < kDbdQuadsFrom) {
        // Two (codes 2-29) or three (30-39) channels; one adjustment at most.
        const int need = mode < kDbdTriplesFrom ? 2 : 3;
        for (int i = 0; i < need; ++i) {
            const i32 c = check_ich(0, 0);
            if (c >= 0) {
                ich.ich_win[c] = w;
                continue;
            }
            result = adjust_ich(0, 0, window) == 0 ? kAdjusted : dbdRareCase();
            break;
        }
    } else if (mode <= kDbdLastInUse) {
        for (int i = 0; i < 4 && result != kRefused; ++i) {
            const i32 c = check_ich(0, 0);
            if (c >= 0) {
                ich.ich_win[c] = w;
                result = kDirect;
                continue;
            }
            result = adjust_ich(0, 0, window) == 0 ? kAdjusted : dbdRareCase();
        }
    } else {
        result = dbdRareCase();
    }
    rebuildWinIch();
    return result;
}

void x518_manage::reset_ich(u32 window)
{
    if (window >= u32(kWindows) || windowAvailable(int(window)))
        return;
    for (int i = 0; i < kChannels && ich.win_ich[window][i] != kNone; ++i) {
        const int c = ich.win_ich[window][i];
        if (c >= 0 && c < kChannels)
            ich.ich_win[c] = kNone;
        ich.win_ich[window][i] = kNone;
    }
}

void x518_manage::set_idual(int fd, int channel, u32 enable, u32 port)
{
    if (channel < 0 || channel >= kChannels)
        return;
    const u32 base = x518::kDualPairStep * u32(channel / 2);
    if (!enable || !portValid(int(port))) {
        drv->update_X518(fd, x518::kDualCtl + base, 0, 0);
        return;
    }
    drv->update_X518(fd, x518::kDualCtl + base, x518::kDualOn, 0);
    drv->update_X518(fd, x518::kDualHst + base, u32(ports.PI_ACT[port][0]), 0);
    drv->update_X518(fd, x518::kDualHw + base, u32(2 * ports.PI_ACT[port][1]), 0);
}

void x518_manage::set_ichsel(int fd, u32 window)
{
    if (window >= u32(kWindows))
        return;
    const int mode = model.PM_WIN_DBD_MODE[window];
    KEL_DBG("[set_ichsel] PM_WIN_DBD_MODE[win_%u]:%d\n", window, mode);
    const int* channels = ich.win_ich[window];
    const int c0 = channels[0];
    auto sel = [&](int c, u32 code) {
        if (c >= 0 && c < kChannels)
            drv->update_X518(fd, x518::kIchSel + kAddressStep * u32(c), code, 0);
    };
    if (mode <= kDbdSingle) {
        const int port = model.PM_INPUT[window];
        if (c0 < 0 || !portValid(port))
            return;
        if (port >= x518::kFirstVboPort) {
            const u32 code = port == x518::kFirstVboPort ? kSelVboRx0 : kSelVboRx1;
            sel(c0, code);
            sel(c0 + 1, ports.PI_HDMI_INFO[port].lane > kFourLanes ? code + 2 : code + 1);
        } else {
            sel(c0, u32(2 * port));
            if (ports.PI_HDMI_INFO[port].datamode != 0 && mode == 0)
                sel(c0 + 1, u32(2 * port));
        }
        return;
    }
    u32 list[4];
    int n = 0;
    switch (mode) {
    // clang-format off
    case 20: case 21: list[0] = 0; list[1] = 2; n = 2; break;
    case 22: case 23: list[0] = 4; list[1] = 6; n = 2; break;
    case 30: list[0] = 0; list[1] = 2; list[2] = 4; n = 3; break;
    case 40: case 41: list[0] = 0; list[1] = 2; list[2] = 4; list[3] = 6; n = 4; break;
    case 50: case 51: {
        // clang-format on
        const bool rx0Narrow = ports.PI_HDMI_INFO[x518::kFirstVboPort].lane < kFourLanes + 1;
        const bool rx1Narrow = ports.PI_HDMI_INFO[x518::kFirstVboPort + 1].lane < kFourLanes + 1;
        KEL_DBG(rx0Narrow ? "\t port_%d 4 lane\n" : "\t port_%d 8 lane\n", x518::kFirstVboPort);
        KEL_DBG(rx1Narrow ? "\t port_%d 4 lane\n" : "\t port_%d 8 lane\n", x518::kFirstVboPort + 1);
        // Channels 0-1 capture receiver 1 (port 5), 2-3 receiver 0: the
        // pair shows port 5 first, and each channel selects the port whose
        // area it captures.
        list[0] = kSelVboRx1;
        list[1] = rx1Narrow ? kSelVboRx1 + 1 : kSelVboRx1 + 2;
        list[2] = kSelVboRx0;
        list[3] = rx0Narrow ? kSelVboRx0 + 1 : kSelVboRx0 + 2;
        n = 4;
        break;
    }
    default: return;
    }
    if (c0 < 0)
        return;
    // Each channel selects the port of the part it captures.
    const int lead = dbdLeadPart(dbdLayout(int(window)));
    for (int i = 0; i < n && channels[i] != kNone; ++i)
        sel(channels[i], list[dbdPartOf(i, lead)]);
}
