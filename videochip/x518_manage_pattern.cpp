// Test patterns: the pattern generators of window 0's output channels show
// one of the twenty built-in pictures instead of the video, in single-window
// layouts only. While one is shown the input watch stands still; switching
// it off shows the window's picture again without re-programming it.
#include "videochip/x518_manage.h"

#include "videochip/x518_pattern_table.h"

namespace {

using namespace x518::pattern;
using x518::kChannelStride;
using x518::regAt;

constexpr int kRtctHold = 2;
constexpr int kRtctRelease = 1;
constexpr u32 kRefused = 0xFFFFFFFFu;
constexpr int kPatternWindow = 0;

// The generator's registers of one output channel, in write order.
enum Field { kType, kP1, kP2, kP3, kControl, kZero, kS1, kS2, kC1, kC2, kC3, kD1, kD2, kD3, kFieldCount };
constexpr u32 kFieldRegs[kFieldCount] = {
    x518::kPatternType,         x518::kPatternP1,           regAt(x518::kPatternP1, 1), regAt(x518::kPatternP1, 2),
    x518::kPatternControl,      x518::kPatternZero,         x518::kPatternS1,           x518::kPatternS2,
    x518::kPatternC1,           regAt(x518::kPatternC1, 1), regAt(x518::kPatternC1, 2), x518::kPatternD1,
    regAt(x518::kPatternD1, 1), regAt(x518::kPatternD1, 2),
};

// What one output channel's generator holds for `row` (nullptr: off).
void fieldsOf(const Row* row, bool wide, bool first, u32 (&v)[kFieldCount])
{
    for (u32& x : v)
        x = 0;
    if (!row)
        return;
    auto set = [&](Field f, i32 value) {
        if (value != kLeave)
            v[f] = u32(value);
    };
    v[kType] = row->type;
    set(kP1, row->p1);
    set(kP2, row->p2);
    set(kP3, row->p3);
    v[kControl] = wide ? row->control.wide : first ? row->control.first : row->control.others;
    set(kS1, row->s1);
    set(kS2, row->s2);
    for (int i = 0; i < 3; ++i) {
        v[kC1 + i] = row->colour1[i];
        v[kD1 + i] = row->colour2[i];
    }
}

}  // namespace

u32 x518_manage::x518_SetPattern(u32 pattern)
{
    x518_manage* m = p_x518_manage;
    if (!m)
        return kRefused;
    int och[kChannels];
    const int n = m->outputChannelsOf(kPatternWindow, och);
    KEL_DBG("\r\n[x518_SetPattern] pattern:%u,chcnt=%d\r\n", pattern, n);
    if (m->model.wincnt > 1) {
        KEL_DBG("\t wincnt:%d OOR, return fail\r\n", m->model.wincnt);
        return kRefused;
    }
    const int fd = m->spi_fd;
    m->set_rtct(fd, kRtctHold);
    const Row* row = nullptr;
    if (pattern == 0) {
        m->pattern_gen = 0;
        KEL_DBG("    turn off pattern\r");
    } else {
        const u32 k = (pattern - 1) % kPatterns;
        KEL_DBG("    kel pattern Idx:%u \r\n", k);
        m->pattern_gen = 1;
        row = &kRows[k];
    }
    m->set_input_bkg2(fd, kPatternWindow, 0);
    // Every register is cleared, then the row set; only what differs from
    // the generator's current state is written.
    const bool wide = m->model.win_info[kPatternWindow].w > kWideWidth;
    for (int i = 0; i < n; ++i) {
        u32 v[kFieldCount];
        fieldsOf(row, wide, i == 0, v);
        for (int f = 0; f < kFieldCount; ++f)
            m->drv->update_X518(fd, kFieldRegs[f], v[f], kChannelStride * u32(och[i]));
    }
    m->set_rtct(fd, kRtctRelease);
    return 0;
}
