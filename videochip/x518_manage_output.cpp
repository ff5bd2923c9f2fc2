// The window programming pass. Whatever changed about a window (source,
// crop, size, position, mirror, output mode, dot-by-dot arrangement, layer
// order) is flagged in the model; the pass gives the flagged windows their
// input channels, hides the change behind a fade (one window switched to a
// new source, fade enabled) or a picture hold (anything else), programs the
// input side of each changed window, then its output side and the mixers,
// releases the fade or the hold, records what the chip now shows and clears
// the flags.
#include "videochip/x518_manage.h"

#include "videochip/x518_reg_batch.h"

#include "app/kelrampara.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

using x518::kChannelStride;

enum InputChange { kInputSet = 1, kChannelLost = 2, kPortRemeasured = 3 };
enum Refusal { kRefused = 2 };  // set_input could give the window no channel
enum ActReset { kActInputs = 0, kActOutputs = 1, kActBoth = 2 };
enum FadeDirection { kFadeOut = 0, kFadeIn = 1 };
constexpr int kRtctHold = 2, kRtctRelease = 1;
constexpr int kHoldOn = 1, kHoldOff = 0;

// V-by-One output mode 2 zooms a window vertically only from an input
// channel no wider than this; a wider window is shrunk to it first.
constexpr u32 kVboTxSplitMode = 2;
constexpr i32 kSplitWidth = 0x880;

}  // namespace

bool x518_manage::windowChanged(int w) const
{
    return model.g_chg_input[w] || model.g_chg_dbd[w] || model.win_chg[w];
}

bool x518_manage::anythingToProgram() const
{
    if (model.overlay_chg || model.priority_chg)
        return true;
    for (int w = 0; w < kWindows; ++w)
        if (windowChanged(w) || model.win_attr_chg[w] || model.win_pri_chg[w] || model.win_stitch_chg[w])
            return true;
    return false;
}

int x518_manage::ichCount(int window) const
{
    int n = 0;
    while (n < kChannels && ich.win_ich[window][n] != kNone)
        ++n;
    return n;
}

// A window that V-by-One mode 2 zooms vertically while both its input and
// its output are wider than one channel can zoom: its input channel shrinks
// it to kSplitWidth and the output channels zoom it back.
bool x518_manage::splitAtVboWidth(int w) const
{
    const _ImageWindowDef_st& in = model.IWIN[w];
    const _ImageWindowDef_st& out = model.OWIN[w];
    return sys.PS_VBOTX_MODE == kVboTxSplitMode && in.vw < out.vw && in.hw > kSplitWidth && out.hw > kSplitWidth;
}

void x518_manage::set_output(int fd)
{
    if (defer_programming_) {
        programming_owed_ = true;  // one pass once the write is taken whole
        return;
    }
    if (!anythingToProgram())
        return;
    output_frames_stalled_ = false;
    for (u32 w = 0; w < u32(kWindows); ++w)
        reset_ich(w);
    for (int w = 0; w < kWindows; ++w)
        keep_held_[w] = keepsHeldFrame(w);
    allocateInputs();
    // A channel of such a window that another window's allocation moved
    // moves its capture as well.
    for (int w = 0; w < kWindows; ++w)
        keep_held_[w] = keep_held_[w] && captured_[w] == captureKey(w);
    const int fade = fadeCandidate();
    if (fade != kNone)
        set_layer_coef(fd, fade, model.PM_WIN_FADE_OUT[fade], kFadeOut);
    else
        set_freeze(fd, kHoldOn);

    programInputSides(fd);
    reset_act(fd, kActInputs);
    wait1_pivs2(fd);
    wait1_pivs2(fd);
    set_rtct(fd, kRtctHold);
    programOutputSides(fd);
    if (model.overlay_chg || model.priority_chg) {
        update_overlay_info();
        set_overlay(fd);
        reset_layer_coef(fd, 0);
        model.overlay_chg = model.priority_chg = 0;
    }
    reset_act(fd, kActOutputs);

    if (fade != kNone)
        set_layer_coef(fd, fade, model.PM_WIN_FADE_IN[fade], kFadeIn);
    else
        set_freeze(fd, kHoldOff);
    set_rtct(fd, kRtctRelease);
    holdFrozenWindows(fd);
    keepProgrammedState();
    // The enhancer's coefficients follow each window's scale and input.
    refreshSharpness();
    output_frames_stalled_ = false;
    publishRefusals();
}

// Input channels for every window whose input is to be set up, and for
// every window waiting for them. A window that shows keeps its channels
// whatever the others ask: the windows are served group by group, each
// group in window order (chip windows are numbered in block-window order):
// those that hold channels and ask for no more than they hold, those that
// hold channels and ask for more, those that hold none (new to the
// layout), then those waiting. A window gets what is left after the
// windows served before it: those that ask for more give up what they hold
// before the first of them is served, so that the lower window is served
// first whichever holds what. A window the
// channels cannot carry now (the budget, no channel obtainable, or no
// dot-by-dot memory) is refused: it keeps nothing, shows black and costs no
// channel while the others are set up.
void x518_manage::allocateInputs()
{
    // Dot-by-dot memory a window gave up in this change is free for another
    // window that asks for it now.
    releaseUnusedDbdMemory();
    int group[kWindows];
    for (int w = 0; w < kWindows; ++w) {
        group[w] = askGroup(w);
        ich_pending_[w] = group[w] != kNotAsking;
    }
    for (int g = kKeepsChannels; g < kNotAsking; ++g) {
        if (g == kAsksForMore)
            for (int w = 0; w < kWindows; ++w)
                if (group[w] == g && !keep_held_[w])
                    releaseAsked(w);
        for (int w = 0; w < kWindows; ++w) {
            if (group[w] != g)
                continue;
            ich_pending_[w] = false;
            if (!keep_held_[w])
                serveInput(w, g == kWaitsForChannels);
        }
    }
}

// A window that asks for more gives up its channels and its dot-by-dot
// memory: it is served anew from what is left.
void x518_manage::releaseAsked(int w)
{
    for (int c = 0; c < kChannels; ++c)
        if (ich.ich_win[c] == w)
            ich.ich_win[c] = kNone;
    rebuildWinIch();
    reset_dbd_mem(w);
}

int x518_manage::askGroup(int w) const
{
    if (model.win_refused[w])
        return windowAvailable(w) ? kWaitsForChannels : kNotAsking;
    const bool noChannel = firstIch(w) == kNone;
    const int input = model.g_chg_input[w];
    if (input != kInputSet && input != kPortRemeasured && !model.g_chg_dbd[w] && !(model.win_chg[w] && noChannel))
        return kNotAsking;
    if (noChannel)
        return kHoldsNoChannel;
    return windowCost(w, w) <= ichCount(w) && dbdBlocksAsked(w) <= dbdBlocksHeld(w) ? kKeepsChannels : kAsksForMore;
}

void x518_manage::serveInput(int w, bool waiting)
{
    const bool noChannel = firstIch(w) == kNone;
    // A dot-by-dot window without its channels takes them anew.
    if (model.PM_WIN_DBD_MODE[w] > DBD_SINGLE_INPUT && noChannel)
        model.g_chg_dbd[w] = 1;
    const int result = set_input(u32(w), u32(model.PM_INPUT[w]));
    if (budgetRefused(w, result) || (result != kRefused && !dbdCarried(w))) {
        refuseWindow(w, !noChannel);
    } else if (result == kRefused) {
        model.win_refused[w] = 0;
        model.g_chg_input[w] = model.g_chg_dbd[w] = 0;
    } else if (waiting) {
        model.win_refused[w] = 0;
        model.win_chg[w] = 1;  // shown again
    }
}

// Refused by what the channels can carry, rather than for want of a window
// or an input to show.
bool x518_manage::budgetRefused(int w, int result) const
{
    return result == kRefused && windowAvailable(w) &&
           (model.PM_WIN_DBD_MODE[w] > DBD_SINGLE_INPUT || portValid(model.PM_INPUT[w]));
}

// Whether a dot-by-dot window got the channels and the memory its
// arrangement needs (a plain window needs neither).
bool x518_manage::dbdCarried(int w)
{
    if (model.PM_WIN_DBD_MODE[w] <= DBD_DISABLE)
        return true;
    if (firstIch(w) == kNone)
        return false;
    const DbdLayout l = dbdLayout(w);
    return ichCount(w) >= l.parts && set_dbd_mem(spi_fd, w) == 0;
}

void x518_manage::refuseWindow(int w, bool held)
{
    for (int c = 0; c < kChannels; ++c)
        if (ich.ich_win[c] == w)
            ich.ich_win[c] = kNone;
    rebuildWinIch();
    reset_dbd_mem(w);
    model.g_chg_input[w] = model.g_chg_dbd[w] = 0;
    if (!model.win_refused[w] || held) {
        std::printf("[set_output] win_%d: the input channels cannot carry port %d (dot by dot %d): shown black\n", w,
                    model.PM_INPUT[w], model.PM_WIN_DBD_MODE[w]);
        model.win_chg[w] = 1;  // its output channels show the background
    }
    model.win_refused[w] = 1;
}

void x518_manage::publishRefusals()
{
    // While the one window over the canvas stands, the block's windows wait
    // as they did when it began.
    u8 mask = model.default_env ? parkedRefusals() : 0;
    for (int b = 0; b < kWindows; ++b) {
        const int r = model.win_record[b];
        if (kelApi_IsWinValid(r) && r < model.wincnt && model.win_refused[r] && windowAvailable(r))
            mask = u8(mask | 1u << b);
    }
    if (mask == refused_shown_)
        return;
    refused_shown_ = mask;
    if (KelRamPara* store = KelRamPara::p_kelrampara_config) {
        QMutexLocker lock(&store->mutex);
        store->reg_image.window_refused = mask;
    }
    KelRamPara::test_signal(SYNC_WINDOWS_REFUSED);
}

// The one window to fade: the only change of the pass is one window set to
// a new source with its fade switched on, and the mixers stay as they are.
// kNone: the change is held by a picture hold instead.
int x518_manage::fadeCandidate()
{
    int count = 0, candidate = kNone;
    for (int w = 0; w < kWindows; ++w) {
        if (model.g_chg_input[w] == kInputSet && model.PM_WIN_FADE_EN[w]) {
            ++count;
            candidate = w;
        }
    }
    check_stitching_chg();
    for (int w = 0; w < kWindows; ++w) {
        const int input = model.g_chg_input[w];
        if (input == kChannelLost || input == kPortRemeasured || model.g_chg_dbd[w] ||
            (input == kInputSet && !model.PM_WIN_FADE_EN[w]) || model.win_chg[w])
            count = 0;
    }
    return model.overlay_chg == 0 && count == 1 ? candidate : kNone;
}

void x518_manage::programInputSides(int fd)
{
    for (int w = 0; w < kWindows; ++w) {
        model.och_vmode5[w] = 1;
        const bool changed = windowChanged(w);
        if (changed) {
            calc_iwin2(w);
            calc_owin2(w);
        }
        _ImageWindowDef_st out = model.OWIN[w];
        // Known for every window, changed or not: the output side of a
        // window whose mirror alone changed reads with it too.
        if (sys.PS_VBOTX_MODE == kVboTxSplitMode && model.IWIN[w].vw < model.OWIN[w].vw) {
            model.och_vmode5[w] = 0;
            if (splitAtVboWidth(w))
                out.hw = kSplitWidth;
        }
        if (!changed || keep_held_[w])
            continue;
        if (model.PM_WIN_DBD_MODE[w] == DBD_DISABLE)
            set_display_window_ich(fd, model.IWIN[w], out, w);
        else
            set_display_window_ich_dbd(fd, w, model.PM_WIN_DBD_MODE[w]);
        captured_[w] = captureKey(w);
    }
}

bool x518_manage::CaptureKey::operator==(const CaptureKey& o) const
{
    static_assert(sizeof(CaptureKey) % sizeof(i32) == 0, "a capture key is whole words, without padding");
    return std::memcmp(this, &o, sizeof(CaptureKey)) == 0;
}

x518_manage::CaptureKey x518_manage::captureKey(int w) const
{
    CaptureKey k;
    k.valid = 1;
    k.dbd = model.PM_WIN_DBD_MODE[w];
    k.clip = model.PM_WIN_DBD_CLIP[w];
    k.cropped = model.PM_INPUT_OFFSET_EN[w];
    std::copy(std::begin(model.PM_INPUT_OFFSET[w]), std::end(model.PM_INPUT_OFFSET[w]), k.crop);
    for (int p = 0; p < kPorts; ++p) {
        if (!windowUsesPort(w, p))
            continue;
        const i32 port[4] = {ports.PI_STATE[p], ports.PI_SCAN_MODE[p], ports.port_fmt_lock[p], ports.PI_ACT[p][1]};
        std::copy(std::begin(port), std::end(port), k.port[p]);
        std::copy(std::begin(ports.port_act[p]), std::end(ports.port_act[p]), k.area[p]);
    }
    const ST_WIN_INFO& r = model.win_info[w];
    const i32 place[4] = {r.x, r.y, r.w, r.h};
    std::copy(std::begin(place), std::end(place), k.place);
    k.out = windowPlace(w);
    std::copy(std::begin(ich.win_ich[w]), std::end(ich.win_ich[w]), k.channels);
    k.memory = ich.win_dbd_blk[w][0];
    return k;
}

// The window is frozen on a picture, and nothing its capture is programmed
// from has changed since: not its input, its crop, its arrangement, its
// place, nor its channels (another window's change, a new canvas, its input
// measured again as it was).
bool x518_manage::keepsHeldFrame(int w) const
{
    return windowChanged(w) && (model.win_info[w].output & ram::kFlagFreeze) && windowMeasuredSignal(w) &&
           !model.win_refused[w] && ichCount(w) == windowCost(w, w) && captured_[w] == captureKey(w);
}

void x518_manage::programOutputSides(int fd)
{
    for (int w = 0; w < kWindows; ++w) {
        if (!windowChanged(w) && !model.win_attr_chg[w])
            continue;
        if (firstIch(w) == kNone) {
            // No input channel (refused by the budget, or no input): its
            // output channels show the background at its own place, not
            // what they showed, nor where they showed it.
            _ImageWindowDef_st place = windowPlace(w);
            place.hw = std::max(place.hw, 0);
            place.vw = std::max(place.vw, 0);
            set_display_window_och(fd, place, place, w);
            set_input_bkg2(fd, w, 1);
            continue;
        }
        set_display_window_och(fd, storedInput(w), model.OWIN[w], w);
        set_input_bkg2(fd, w, 0);
    }
}

// The window's input as its output side reads it from memory: IWIN, or
// where the input side shrank it below the output window (to fit its
// memory, or for the V-by-One split) the size it shrank it to, and the crop
// starting where the shrink put it.
_ImageWindowDef_st x518_manage::storedInput(int w) const
{
    _ImageWindowDef_st in = model.IWIN[w];
    auto stored = [](i32& start, i32& size, i32 shrunk) {
        if (shrunk <= 0 || shrunk >= size || size <= 1)
            return;
        const int64_t ratio = (int64_t(shrunk - 1) << 16) / (size - 1) + 1;
        start = start >= 1 ? i32(((ratio * (start - 1)) >> 16) + 1) : 0;
        size = shrunk;
    };
    stored(in.hst, in.hw, model.mem_hw[w]);
    stored(in.vst, in.vw, model.mem_vw[w]);
    return in;
}

// What the chip now shows, for the next pass's hold; dot-by-dot memory a
// window no longer needs goes back to the pool; every flag served is cleared.
void x518_manage::keepProgrammedState()
{
    std::copy(std::begin(model.PM_WIN_NUM), std::end(model.PM_WIN_NUM), std::begin(model.win_num_prev));
    for (int w = 0; w < kWindows; ++w)
        std::copy(std::begin(ich.win_ich[w]), std::end(ich.win_ich[w]), std::begin(ich.win_ich_prev[w]));
    releaseUnusedDbdMemory();
    for (int w = 0; w < kWindows; ++w)
        model.win_chg[w] = model.g_chg_input[w] = model.g_chg_dbd[w] = model.win_attr_chg[w] = model.win_pri_chg[w] = 0;
}

// The dot-by-dot memory of windows that no longer show dot by dot, or show
// one input small enough for their input channels' own memory.
void x518_manage::releaseUnusedDbdMemory()
{
    for (int w = 0; w < kWindows; ++w) {
        const int mode = model.PM_WIN_DBD_MODE[w];
        if (mode <= DBD_DISABLE || (mode == DBD_SINGLE_INPUT && !check_dbd_input(spi_fd, model.PM_INPUT[w])))
            reset_dbd_mem(w);
    }
}

// ------------------------------------------------------------------ active areas

// Channels that carry no window stop capturing and show nothing. (A channel
// a window owns keeps the capture width its input side just programmed.)
void x518_manage::reset_act(int fd, int mode)
{
    X518Batch batch(drv, fd);
    if (mode == kActInputs || mode == kActBoth)
        for (int c = 0; c < kChannels; ++c)
            if (ich.ich_win[c] == kNone)
                batch.write(x518::kIactHw, 0, kChannelStride * u32(c));
    if (mode == kActOutputs || mode == kActBoth) {
        for (int c = 0; c < kChannels; ++c) {
            const int w = model.PM_WIN_NUM[c];
            const bool kept = kelApi_IsWinValid(w) && model.PM_WIN_SHAPE[w][0] && model.PM_WIN_SHAPE[w][1] &&
                              model.PM_AREA_NUM[c] < model.PM_WIN_SHAPE[w][0] * model.PM_WIN_SHAPE[w][1];
            if (!kept)
                batch.write(x518::kOactHw, 0, kChannelStride * u32(c));
        }
    }
}
