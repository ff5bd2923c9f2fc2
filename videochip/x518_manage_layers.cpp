// Layers, fades and the picture hold. Where windows overlap, the mixer of
// an output channel blends the channels on its list in layer order, each
// with a weight per combination of the list entries present; a fade steps
// one window's weight once per output frame; a hold makes the output
// channels of the changed windows read one frame buffer that the input no
// longer writes, until the programming pass releases them.
#include "videochip/x518_manage.h"

#include "videochip/x518_reg_batch.h"

#include <chrono>
#include <limits>

namespace {

using x518::kChannelStride;

constexpr int kCoefEntries = 4;  // list entries the weights address at once
constexpr u32 kLayerWindowStep = 256;
constexpr int kFadeIn = 1;  // set_layer_coef's dir; 0 fades out
constexpr int kAlignPasses = 251;
constexpr int kRtctFrozen = 0;
constexpr int kSpareBuffer = 4;  // fb_ring entry the input does not write: a hold's frame
constexpr int kPhases = 4;
// The output channels run at 60 frames a second: every channel timing of
// the panel holds about 9.9 M pixels a frame at the same pixel clock.
constexpr double kOutputFrameMs = 1000.0 / 60.0;

u32 coefSpec(int mask, int input)
{
    return x518::regAt(x518::kLayerCoef, u32(x518::kLayerInputs * mask + input));
}

// Highest set bit of `mask` below bit `below`, -1 when none.
int highestBelow(int mask, int below)
{
    for (int b = below - 1; b >= 0; --b)
        if (mask & (1 << b))
            return b;
    return -1;
}

}  // namespace

u32 x518_manage::ringCode(std::initializer_list<i32> buffers)
{
    u32 code = 0, shift = 0;
    for (i32 b : buffers) {
        code |= (u32(b) & 7u) << shift;
        shift += x518::kRingFieldBits;
    }
    return code;
}

// ------------------------------------------------------------------ mixer lists

void x518_manage::update_overlay_info()
{
    for (int w = 0; w < kWindows; ++w) {
        int n = 0;
        for (int c = 0; c < kChannels; ++c) {
            model.win_och[w][c] = kNone;
            if (model.PM_WIN_NUM[c] == w)
                model.win_och[w][n++] = c;
        }
    }
    // A channel that shows no window lies below every window.
    auto layer = [this](int c) {
        const int w = model.PM_WIN_NUM[c];
        return kelApi_IsWinValid(w) ? model.PM_OVERLAY_PRI[w] : kNone;
    };
    for (int t = 0; t < kChannels; ++t) {
        int& n = model.g_och_layer_cnt[t];
        int* list = model.g_och_layer[t];
        n = 0;
        for (int c = 0; c < kChannels && n < kChannels; ++c)
            if (model.PM_OVERLAY[c] == t + 1)
                list[n++] = c;
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; ++j)
                if (layer(list[i]) > layer(list[j]))
                    std::swap(list[i], list[j]);
    }
}

void x518_manage::set_overlay(int fd)
{
    X518Batch batch(drv, fd);
    for (int t = 0; t < kChannels; ++t) {
        u32 select = 0;
        for (int i = 0; i < model.g_och_layer_cnt[t]; ++i)
            select |= (u32(model.g_och_layer[t][i]) + x518::kOverlayEntry) << (4 * i);
        batch.write(x518::kOverlaySelect, select, kChannelStride * u32(t));
    }
}

// ------------------------------------------------------------------ weights

void x518_manage::reset_layer_coef(int fd, int mode)
{
    X518Batch batch(drv, fd);
    for (int t = 0; t < x518::kBlendMixers; ++t) {
        const u32 at = kChannelStride * u32(t);
        const u32 full = model.g_och_layer_cnt[t] > 0 ? x518::kLayerFull : 0;
        for (int k = 0; k < x518::kLayerMasks; ++k) {
            // Only the top entry present shows; with none, the background.
            const int top = highestBelow(k, kCoefEntries) + 1;
            for (int j = 0; j < x518::kLayerInputs; ++j)
                batch.write(coefSpec(k, j), j == top ? full : 0, at);
            batch.write(x518::kLayerWindow, u32(mode) * kLayerWindowStep, at);
        }
    }
}

void x518_manage::set_layer_coef(int fd, int w, int cnt, int dir)
{
    KEL_DBG("set_layer_coef  win=%d  cnt=%d  dir=%d\n", w, cnt, dir);
    if (cnt < 0)
        return;
    for (int step = 0; step <= cnt; ++step) {
        u32 weight;
        if (cnt == 0)
            weight = dir == kFadeIn ? x518::kLayerFull : 0;
        else {
            const u32 a = u32(step) * x518::kLayerFull / u32(cnt);
            weight = dir == kFadeIn ? a : x518::kLayerFull - a;
        }
        const u32 below = x518::kLayerFull - weight;
        X518Batch batch(drv, fd);
        batch.write(x518::kUpdateTiming, x518::kFadeHold);
        batch.write(x518::regAt(x518::kUpdateTiming, 1), x518::kFadeHold);
        for (int t = 0; t < x518::kBlendMixers; ++t) {
            const int n = model.g_och_layer_cnt[t];
            int q = kNone;
            for (int i = 0; i < n; ++i)
                if (model.PM_WIN_NUM[model.g_och_layer[t][i]] == w)
                    q = i;
            if (q == kNone)
                continue;
            const u32 at = kChannelStride * u32(t);
            // Past the fourth entry the weights address the last four.
            const u32 window = q < kCoefEntries ? 0 : q == kCoefEntries ? kLayerWindowStep : 2 * kLayerWindowStep;
            batch.write(x518::kLayerWindow, window, at);
            if (q > kCoefEntries - 1)
                q = kCoefEntries - 1;
            for (int k = 1; k < x518::kLayerMasks; ++k) {
                if (highestBelow(k, kCoefEntries) != q)
                    continue;
                batch.write(coefSpec(k, q + 1), weight, at);
                batch.write(coefSpec(k, highestBelow(k, q) + 1), below, at);
            }
        }
        batch.write(x518::kUpdateTiming, x518::kFadeDone0);
        batch.write(x518::regAt(x518::kUpdateTiming, 1), x518::kFadeDone1);
        batch.send();
        wait1_povs(fd, 0);
    }
}

// ------------------------------------------------------------------ output frames

int x518_manage::wait1_povs(int fd, int och)
{
    if (och < 0 || och >= kChannels)
        return 0;
    if (output_frames_stalled_)
        return -1;
    const u32 bit = 1u << och;
    const auto armed = X518FrameGrid::Clock::now();
    drv->access_X518(
        fd, {x518_drv::writeOp(x518::kOutFrameRequest, bit), x518_drv::writeOp(x518::kUpdateCtl, x518::kHoldMeasure)});
    auto read = [&](bool) { return (drv->read_X518(fd, x518::kOutFrameFlags, 0) & bit) ? 1 : 0; };
    int polls = 0;
    const int answer = out_frames_.await(armed, kOutputFrameMs, armed + std::chrono::milliseconds(frame_wait_ms),
                                         std::numeric_limits<int>::max(), false, read, polls);
    drv->access_X518(fd, {x518_drv::writeOp(x518::kOutFrameRequest, 0), x518_drv::writeOp(x518::kUpdateCtl, 0)});
    if (answer > 0)
        return 0;
    // The output runs no frames: the rest of this pass does not wait again.
    output_frames_stalled_ = true;
    KEL_DBG("[wait1_povs] OCH%d: no output frame after %d polls (%u ms)\n", och, polls, frame_wait_ms);
    writeLogMsg(LOG_WARNING, "video chip: no output frame in time; window programming goes on without waiting");
    return -1;
}

// ------------------------------------------------------------------ picture hold

void x518_manage::set_freeze(int fd, int on)
{
    if (!on) {
        // Every window's output reads the ring one buffer behind the input.
        X518Batch batch(drv, fd);
        for (int w = 0; w < kWindows; ++w) {
            const int lead = model.PM_WIN_STITCHING[w];
            const i32* r = model.fb_ring[kelApi_IsWinValid(lead) ? lead : w];
            for (int c = 0; c < kChannels; ++c)
                if (model.PM_WIN_NUM[c] == w)
                    batch.write(x518::kReadRing, ringCode({r[3], r[0], r[1], r[2]}), kChannelStride * u32(c));
            model.win_frozen[w] = 0;
        }
        return;
    }

    // The changed windows and the channel each one was captured on. A
    // window that had no channel and has none (no input, or refused) has no
    // picture to hold and does not keep the others from being held.
    int changed[kWindows], channel[kWindows], n = 0;
    for (int w = 0; w < kWindows; ++w) {
        if (!windowChanged(w) || keep_held_[w])
            continue;  // a frozen window keeping its frame holds it already
        changed[n] = w;
        channel[n] = ich.win_ich_prev[w][0] != kNone ? ich.win_ich_prev[w][0] : ich.win_ich[w][0];
        if (channel[n] != kNone)
            ++n;
    }
    set_rtct(fd, kRtctFrozen);
    if (n == 0 || channel[0] < 0 || channel[0] >= kChannels)
        return;
    auto phaseOf = [&](int ch) {
        return int(drv->read_X518(fd, x518::regAt(x518::kFieldCounter, u32(ch)), 0) >> x518::kFieldShift &
                   x518::kFieldMask);
    };
    auto hold = [&](int ch) { drv->write_X518(fd, x518::kIsyct, x518::kIsyctHold, kChannelStride * u32(ch)); };

    // Stop the first window's capture, then each other one's when it
    // reaches the same write phase.
    hold(channel[0]);
    const int phase = phaseOf(channel[0]);
    bool pending[kWindows] = {};
    for (int i = 1; i < n; ++i)
        pending[i] = true;
    for (int pass = 0; pass < kAlignPasses && n > 1; ++pass) {
        int misses = 0;
        for (int i = 1; i < n; ++i) {
            if (!pending[i])
                continue;
            if (channel[i] < 0 || channel[i] >= kChannels)
                break;
            if (phaseOf(channel[i]) == phase) {
                hold(channel[i]);
                pending[i] = false;
            } else {
                ++misses;
            }
        }
        if (misses == 0)
            break;
    }
    {
        X518Batch batch(drv, fd);
        for (int i = 0; i < n; ++i)
            for (int k = 0; k < kChannels && ich.win_ich_prev[changed[i]][k] != kNone; ++k)
                batch.always(x518::kChannelHold + x518::kAddressStep * u32(ich.win_ich_prev[changed[i]][k]),
                             x518::kChannelHoldOn);
    }
    wait1_povs(fd, 0);

    // The buffer last written becomes the spare the input leaves alone; the
    // held outputs read only it.
    const int w0 = changed[0];
    i32* ring = model.fb_ring[w0];
    std::swap(ring[kSpareBuffer], ring[(phase + kPhases - 1) % kPhases]);
    const u32 code = writeRingCode(ring);
    X518Batch batch(drv, fd);
    for (int i = 0; i < n; ++i) {
        const int w = changed[i];
        for (int k = 0; k < kChannels && ich.win_ich[w][k] != kNone; ++k)
            batch.write(x518::kWriteRing, code, kChannelStride * u32(ich.win_ich[w][k]));
        if (i > 0)
            std::copy(ring, ring + kFields, model.fb_ring[w]);
        model.win_frozen[w] = 1;
    }
    const i32 spare = ring[kSpareBuffer];
    for (int c = 0; c < kChannels; ++c)
        for (int i = 0; i < n; ++i)
            if (model.win_num_prev[c] == changed[i])
                batch.write(x518::kReadRing, ringCode({spare, spare, spare, spare}), kChannelStride * u32(c));
}
