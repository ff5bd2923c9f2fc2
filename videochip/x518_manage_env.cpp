// The multi-window environment: the parameter block's windows in use are
// packed into the chip windows (records 0 .. wincnt - 1, in window order),
// each output channel is given to the windows that lie on it, a window that
// shares a channel with an earlier one gets a spare channel of its own, and
// the per-window and per-channel tables the window programming reads are
// filled. A block whose windows cannot be shown gives the default
// environment: one window over the whole canvas.
#include "videochip/x518_manage.h"

#include "app/kelrampara.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

using x518::regAt;

constexpr u8 kNoChannel = 0xFF;
constexpr int kListSize = x518::kChannels;  // entries of each of a record's two channel lists
constexpr int kPositions = kListSize;       // where the position list starts
constexpr int kLayers = x518::kWindows;
constexpr i32 kNoArea = x518::kChannels;  // PM_AREA_NUM of such a channel
constexpr int kSides = 4;
constexpr int kDefaultPreset = 0;  // the one-window preset

constexpr u16 kSourceBits = 0x07;  // source id of a window or of its crop record
constexpr u8 kLowByte = 0xFF;
constexpr u16 kOutputBits = ram::kFlagBlack | ram::kFlagFreeze;
constexpr u8 kMaxInput = 5;
constexpr u8 kMaxMirror = 3;
constexpr u8 kMirrorH = 0x01, kMirrorV = 0x02;

int usedEntries(const ST_WIN_INFO& r)
{
    return std::min(r.h_cnt * r.v_cnt, kListSize);
}

}  // namespace

int x518_manage::recordOfWindow(int window) const
{
    return kelApi_IsWinValid(window) ? model.win_record[window] : kNone;
}

// ------------------------------------------------------------------ the environment

// A new environment renumbers the chip windows (a window removed, or one
// added before others, moves every later one). What a chip window holds
// follows the block window it shows: its input channels, its dot-by-dot
// memory, its frame-buffer ring, its wait for channels. A window that shows
// keeps what it holds; only windows new to the environment start from
// nothing.
void x518_manage::kelApi_initEnvX518()
{
    const ChipNumbering before = chipNumbering();
    buildEnvironment();
    if (model.default_env) {
        if (!before.defaultEnv)
            parkWindows(before);
        dropHiddenParked(block());
    } else if (before.defaultEnv && parked_.valid) {
        resumeParked();
        return;
    }
    carryChipWindows(before);
}

// The whole-canvas fallback changes the picture only. The block's windows
// keep what they held as they stood when it began (their input channels,
// their dot-by-dot memory, which of them waited), parked while the one
// window over the canvas uses the chip; a window hidden meanwhile gives its
// share up. Once the windows fit again they take it back as from one write:
// from the windows as they were to the windows as they are.
template <class F>
void x518_manage::eachParkedRow(F copy)
{
    copy(ich, parked_.ich);
    copy(model.fb_ring, parked_.fb_ring);
    copy(model.win_refused, parked_.win_refused);
    copy(model.PM_MEM_WMODE, parked_.PM_MEM_WMODE);
    copy(model.mem_hw, parked_.mem_hw);
    copy(model.mem_vw, parked_.mem_vw);
    copy(model.PM_INPUT, parked_.PM_INPUT);
}

void x518_manage::parkWindows(const ChipNumbering& before)
{
    parked_.numbering = before;
    eachParkedRow([](const auto& held, auto& parked) { std::memcpy(&parked, &held, sizeof parked); });
    parked_.valid = true;
}

void x518_manage::dropHiddenParked(const KEL_RAM_PARA& b)
{
    for (int w = 0; w < kWindows; ++w)
        if (!b.image[w].enable)
            parked_.numbering.record[w] = kNone;
}

void x518_manage::resumeParked()
{
    eachParkedRow([](auto& held, const auto& parked) { std::memcpy(&held, &parked, sizeof held); });
    parked_.valid = false;
    // What the chip showed last is the one window over the canvas: nothing
    // of the block's windows is on screen to hold, and the one window wrote
    // over the frames they held.
    std::fill(std::begin(ich.ich_win_prev), std::end(ich.ich_win_prev), kNone);
    for (i32(&row)[kChannels] : ich.win_ich_prev)
        std::fill(std::begin(row), std::end(row), kNone);
    std::fill(std::begin(model.win_num_prev), std::end(model.win_num_prev), kNoWindow);
    for (CaptureKey& k : captured_)
        k = CaptureKey{};
    carryChipWindows(parked_.numbering);
}

// Register 45 while the fallback stands: the block windows that waited
// when it began and are still shown.
u8 x518_manage::parkedRefusals() const
{
    u8 mask = 0;
    for (int w = 0; w < kWindows; ++w) {
        const int r = parked_.numbering.record[w];
        if (parked_.valid && kelApi_IsWinValid(r) && parked_.win_refused[r])
            mask = u8(mask | 1u << w);
    }
    return mask;
}

void x518_manage::buildEnvironment()
{
    const KEL_RAM_PARA& b = block();
    int count = 0;
    for (int w = 0; w < kWindows; ++w)
        if (b.image[w].enable)
            ++count;
    if (count == 0) {
        // The one window over the canvas shows what window 0 is set to show
        // (its source or crop, its output bits), whatever the chip windows
        // showed before.
        fillRecord(b, 0, 0);
        kelApi_initEnvX518Default();
        return;
    }
    std::fill(std::begin(model.win_record), std::end(model.win_record), kNone);
    model.wincnt = count;
    int record = 0;
    for (int w = 0; w < kWindows; ++w) {
        if (!b.image[w].enable)
            continue;
        fillRecord(b, w, record);
        if (!windowFits(b, w, record == 0)) {
            KEL_DBG("\t OOR for win RECT\t");
            kelApi_initEnvX518Default();
            return;
        }
        model.win_record[w] = record++;
    }
    model.default_env = 0;
    assignLayers();
    applyMirrors(b);
}

// Fills record `record` from block window `window`.
void x518_manage::fillRecord(const KEL_RAM_PARA& b, int window, int record)
{
    const IMAGE_PARA& im = b.image[window];
    ST_WIN_INFO& r = model.win_info[record];
    r.layer = layerOf(b, window);
    const i32 x = im.x + pnl.xoffs, y = im.y + pnl.yoffs;
    r.x = i16(x);
    r.y = i16(y);
    r.w = i16(im.w);
    r.h = i16(im.h);
    bool cropKnown = true;
    if (im.source & ram::kSourceIsCrop) {
        model.PM_INPUT_OFFSET_EN[record] = 1;
        r.crop = u8(im.source & ram::kSourceLowMask);
        cropKnown = r.crop < ram::kCrops;
        r.input = cropKnown ? u8(b.crop_list[r.crop].key & kSourceBits) : 0;
    } else {
        model.PM_INPUT_OFFSET_EN[record] = 0;
        r.input = u8(im.source & kSourceBits);
    }
    r.enable = u8(im.enable & kLowByte);
    r.mirror = u8(im.mirror & kLowByte);
    r.output = u8(im.flags & kOutputBits);
    model.PM_WIN_FADE_EN[record] = (im.flags & ram::kFlagSeamless) ? 1 : 0;
    model.PM_WIN_DBD_MODE[record] = (im.flags & ram::kFlagDotByDot) ? dbdCodeOf(im.dbd_mode) : DBD_DISABLE;
    model.win_chg[record] = 1;
    model.PM_WIN_FADE_IN[record] = b.seamless_para[window].para0;
    model.PM_WIN_FADE_OUT[record] = b.seamless_para[window].para1;
}

// Whether block window `window` can be shown as the environment's record
// (`first`: its first one): inside the output channels the panel lays out
// (with splice modes 0 and 4 as many again beside those the block
// publishes, for output 2), on an input the box has, a crop record there is
// and a mirror it knows.
bool x518_manage::windowFits(const KEL_RAM_PARA& b, int window, bool first) const
{
    const IMAGE_PARA& im = b.image[window];
    const i32 x = im.x + pnl.xoffs, y = im.y + pnl.yoffs;
    const bool cropped = (im.source & ram::kSourceIsCrop) != 0;
    const int crop = im.source & ram::kSourceLowMask;
    const bool cropKnown = !cropped || crop < ram::kCrops;
    const int input = !cropped ? im.source & kSourceBits : cropKnown ? b.crop_list[crop].key & kSourceBits : 0;
    const char* mode = pnl.splice == ram::SPLICE_NONE   ? "SPLICE_NONE "
                       : pnl.splice == ram::SPLICE_CP12 ? "SPLICE_CP1TO2 "
                                                        : "";
    if (int64_t(x) + im.w > int64_t(pnl.och.width) * pnl.och_HCnt) {
        KEL_DBG("\t OOR for %swin:%d x:%d w:%d, pnl->w:%d\r\n", mode, window, x, im.w, pnl.w);
        return false;
    }
    if (int64_t(y) + im.h > int64_t(pnl.och.height) * pnl.och_VCnt) {
        KEL_DBG("\t OOR for %swin:%d y:%d h:%d, pnl->h:%d\r\n", mode, window, y, im.h, pnl.h);
        return false;
    }
    if (input > kMaxInput || !cropKnown) {
        KEL_DBG("\t OOR for %swin:%d input:%d crop:%d\r\n", mode, window, input, crop);
        return false;
    }
    if (first && (im.enable & kLowByte) == 0) {
        KEL_DBG("\t OOR for %swin0 disable\r\n", mode);
        return false;
    }
    if ((im.mirror & kLowByte) > kMaxMirror) {
        KEL_DBG("\t OOR for %swin:%d rotate:%d\r\n", mode, window, im.mirror & kLowByte);
        return false;
    }
    return true;
}

// Whether the block shows the one window over the canvas instead of its
// own: no window shown, or one of them cannot be shown.
bool x518_manage::fallsBack(const KEL_RAM_PARA& b) const
{
    bool first = true, any = false;
    for (int w = 0; w < kWindows; ++w) {
        if (!b.image[w].enable)
            continue;
        if (!windowFits(b, w, first))
            return true;
        first = false;
        any = true;
    }
    return !any;
}

u8 x518_manage::layerOf(const KEL_RAM_PARA& b, int window)
{
    u16 layer = b.image_priority[window];
    if (layer >= kLayers) {
        KEL_DBG(" WIN%d PRIORITY:%x OOR,reset to %d\n", window, layer, layer % kLayers);
        layer %= kLayers;
    }
    return u8(layer);
}

// The layers of the windows shown as the block gives them, each taken one
// moved to the lowest free one as a new environment moves it: a write of
// one window's priority that meets another window's layer. The mixers are
// set again when that changes a layer.
void x518_manage::takeLayers(const KEL_RAM_PARA& b)
{
    u8 before[kWindows];
    for (int r = 0; r < kWindows; ++r)
        before[r] = model.win_info[r].layer;
    for (int w = 0; w < kWindows; ++w)
        if (kelApi_IsWinValid(model.win_record[w]))
            model.win_info[model.win_record[w]].layer = layerOf(b, w);
    assignLayers();
    for (int r = 0; r < kWindows; ++r)
        if (model.win_info[r].layer != before[r]) {
            x518_SetWinPriority1(spi_fd);
            return;
        }
}

// A layer taken by an earlier record goes to the lowest free one.
void x518_manage::assignLayers()
{
    bool taken[kLayers] = {};
    for (int i = 0; i < model.wincnt && i < kWindows; ++i) {
        u8& layer = model.win_info[i].layer;
        if (!taken[layer]) {
            taken[layer] = true;
            continue;
        }
        const bool* free = std::find(taken, taken + kLayers, false);
        if (free == taken + kLayers)
            continue;
        KEL_DBG("\t\t win%d layer:%d already assigned, reset it to :%d\n", i, layer, int(free - taken));
        layer = u8(free - taken);
        taken[layer] = true;
    }
}

// Each record takes the mirror of the window it shows; every window's
// mirror is programmed again.
void x518_manage::applyMirrors(const KEL_RAM_PARA& b)
{
    for (int r = 0; r < kWindows; ++r) {
        model.win_mirror_h[r] = model.win_mirror_v[r] = 0;
        model.win_attr_chg[r] = 1;
    }
    for (int w = 0; w < kWindows; ++w) {
        const int r = model.win_record[w];
        if (r == kNone)
            continue;
        const u8 mirror = u8(b.image[w].mirror & (kMirrorH | kMirrorV));
        model.win_info[r].mirror = mirror;
        model.win_mirror_h[r] = (mirror & kMirrorH) ? 1 : 0;
        model.win_mirror_v[r] = (mirror & kMirrorV) ? 1 : 0;
    }
}

x518_manage::ChipNumbering x518_manage::chipNumbering() const
{
    ChipNumbering n;
    std::copy(std::begin(model.win_record), std::end(model.win_record), n.record);
    std::copy(std::begin(model.PM_WIN_DBD_MODE), std::end(model.PM_WIN_DBD_MODE), n.dbd);
    n.count = std::clamp<i32>(model.wincnt, 0, kWindows);
    n.defaultEnv = model.default_env != 0;
    return n;
}

namespace {

// Moves row r of `rows` to row to[r]; rows nothing moves to become `empty`.
template <class Row>
void carryRows(Row* rows, const int* to, const Row& empty)
{
    constexpr int kRows = x518_manage::kWindows;
    Row old[kRows];
    std::memcpy(old, rows, sizeof old);
    for (int r = 0; r < kRows; ++r)
        std::memcpy(&rows[r], &empty, sizeof(Row));
    for (int r = 0; r < kRows; ++r)
        if (to[r] != x518_manage::kNone)
            std::memcpy(&rows[to[r]], &old[r], sizeof(Row));
}

// An owner (a chip window) as numbered now; `gone` for one that is gone.
i32 carriedOwner(i32 owner, const int* to, i32 gone)
{
    return x518_manage::kelApi_IsWinValid(owner) && to[owner] != x518_manage::kNone ? to[owner] : gone;
}

}  // namespace

// to[r]: the chip window that now shows what chip window r showed before,
// kNone when that window is gone. The default environment's one window
// stays itself; between it and the block's windows nothing carries.
void x518_manage::chipWindowMap(const ChipNumbering& before, int* to) const
{
    std::fill(to, to + kWindows, int(kNone));
    if (before.defaultEnv || model.default_env) {
        if (before.defaultEnv && model.default_env)
            for (int r = 0; r < std::min<int>(before.count, model.wincnt); ++r)
                to[r] = r;
        return;
    }
    for (int w = 0; w < kWindows; ++w)
        if (kelApi_IsWinValid(before.record[w]) && kelApi_IsWinValid(model.win_record[w]))
            to[before.record[w]] = model.win_record[w];
}

void x518_manage::carryChipWindows(const ChipNumbering& before)
{
    int to[kWindows];
    chipWindowMap(before, to);
    for (int c = 0; c < kChannels; ++c) {
        ich.ich_win[c] = carriedOwner(ich.ich_win[c], to, kNone);
        ich.ich_win_prev[c] = carriedOwner(ich.ich_win_prev[c], to, kNone);
        model.win_num_prev[c] = carriedOwner(model.win_num_prev[c], to, kNoWindow);
    }
    rebuildWinIch();
    for (i32& owner : ich.dbd_pool)
        owner = carriedOwner(owner, to, kNone);
    i32 noChannels[kChannels];
    std::fill(std::begin(noChannels), std::end(noChannels), kNone);
    carryRows(ich.win_ich_prev, to, noChannels);
    i32 noBlocks[kDbdBlocksPerWindow];
    std::fill(std::begin(noBlocks), std::end(noBlocks), kNone);
    carryRows(ich.win_dbd_blk, to, noBlocks);
    const u32 noBases[kFields] = {};
    carryRows(ich.dbd_fb_base, to, noBases);
    carryRows(ich.dbd_pitch, to, u32(0));
    const i32 firstRing[kFields] = {0, 1, 2, 3, 4};
    carryRows(model.fb_ring, to, firstRing);
    carryRows(model.win_refused, to, i32(0));
    // What its input side was programmed from and with: a frozen window
    // that keeps its capture keeps reading it as it was written.
    carryRows(captured_, to, CaptureKey{});
    carryRows(model.PM_MEM_WMODE, to, i32(0));
    carryRows(model.mem_hw, to, i32(0));
    carryRows(model.mem_vw, to, i32(0));
    // The input each chip window had: a record whose port differs sets its
    // input up again (fillWindowTables).
    carryRows(model.PM_INPUT, to, i32(kNoPort));
    // A window new to the environment, or one whose dot-by-dot arrangement
    // changed, takes its input channels anew.
    int from[kWindows];
    std::fill(std::begin(from), std::end(from), int(kNone));
    for (int r = 0; r < kWindows; ++r)
        if (to[r] != kNone)
            from[to[r]] = r;
    for (int r = 0; r < model.wincnt && r < kWindows; ++r) {
        const i32 was = from[r] == kNone ? i32(DBD_DISABLE) : before.dbd[from[r]];
        if (model.PM_WIN_DBD_MODE[r] != was)
            model.g_chg_dbd[r] = 1;
    }
}

void x518_manage::kelApi_initEnvX518Default()
{
    kelApi_MultiWinInit();
    ST_MWIN_RECT rects[kWindows] = {};
    ST_MWIN preset{0, rects};
    kelApi_MultiWinGet(&preset);
    model.wincnt = preset.wincnt;
    std::fill(std::begin(model.win_record), std::end(model.win_record), kNone);
    for (int i = 0; i < preset.wincnt; ++i) {
        ST_WIN_INFO& r = model.win_info[i];
        r.x = i16(rects[i].x + pnl.xoffs);
        r.y = i16(rects[i].y + pnl.yoffs);
        r.w = i16(rects[i].w);
        r.h = i16(rects[i].h);
        r.mirror = 0;
        r.enable = 1;
        model.win_chg[i] = 1;
    }
    model.default_env = 1;
    applyMirrors(block());
    KEL_DBG("[kelApi_initEnvX518Default] wincnt:%d (%d, %d, %d, %d)\n", model.wincnt, model.win_info[0].x,
            model.win_info[0].y, model.win_info[0].w, model.win_info[0].h);
}

void x518_manage::kelApi_MultiWinInit()
{
    model.mwin_preset_rect[kDefaultPreset][0] = {0, 0, pnl.w, pnl.h};
}

void x518_manage::kelApi_MultiWinGet(ST_MWIN* out) const
{
    const int count = std::clamp(model.mwin_preset[kDefaultPreset].wincnt, 0, kWindows);
    out->wincnt = count;
    std::copy(model.mwin_preset_rect[kDefaultPreset], model.mwin_preset_rect[kDefaultPreset] + count, out->pwin);
}

// ------------------------------------------------------------------ channel allocation

void x518_manage::kelApi_MultiWinChAlloc(char init)
{
    KEL_DBG("[kelApi_MultiWinChAlloc] init:%d wincnt:%d arrang:%u\n", init, model.wincnt, pnl.arrang);
    for (ST_WIN_INFO& r : model.win_info) {
        std::fill(std::begin(r.och), std::end(r.och), kNoChannel);
        r.h_cnt = r.v_cnt = 0;
    }
    // The channels tile the canvas row by row, och.width x och.height each.
    ST_MWIN_RECT channels[kChannels] = {};
    const int count = std::min(pnl.och_HCnt * pnl.och_VCnt, kChannels);
    for (int c = 0; c < count; ++c)
        channels[c] = {c % pnl.och_HCnt * pnl.och.width, c / pnl.och_HCnt * pnl.och.height, pnl.och.width,
                       pnl.och.height};
    for (int i = 0; i < model.wincnt && i < kWindows; ++i)
        allocateRecord(model.win_info[i], channels, count);
}

// The channels of one window: from the channel that holds its top-left
// corner (half-open bounds) to the first that holds its bottom-right corner
// (closed bounds: a window ending on a channel border ends in the channel
// before it), at most the arrangement's columns across.
void x518_manage::allocateRecord(ST_WIN_INFO& r, const ST_MWIN_RECT* ch, int count)
{
    const bool onX = pnl.arrang != ARRANG2K4_1x2, onY = pnl.arrang != ARRANG2K4_2x1;
    const i32 x1 = r.x, y1 = r.y, x2 = x1 + r.w, y2 = y1 + r.h;
    int s = kNone, e = kNone;
    for (int c = 0; c < count; ++c) {
        const ST_MWIN_RECT& k = ch[c];
        if (s == kNone && (!onX || (k.x <= x1 && x1 < k.x + k.w)) && (!onY || (k.y <= y1 && y1 < k.y + k.h)))
            s = c;
        if (e == kNone && (!onX || (k.x <= x2 && x2 <= k.x + k.w)) && (!onY || (k.y <= y2 && y2 <= k.y + k.h)))
            e = c;
    }
    if (s == kNone || e == kNone) {
        // Zero-width channels, or a corner outside them: the window gets no channel.
        KEL_DBG("\t win at (%d, %d) lies on no output channel\n", x1, y1);
        return;
    }
    const int columns = pnl.arrang == ARRANG2K4_2x1 && pnl.one_och ? 1 : pnl.och_HCnt;
    const int rowStep = std::max<int>(pnl.och_HCnt, 1);
    int across = 0, down = 0;
    if (s <= e) {
        across = std::min(e - s + 1, columns);
        down = (e - s) / rowStep + 1;
    }
    r.h_cnt = u8(across);
    r.v_cnt = u8(down);

    int k = 0;
    auto enter = [&](int c) {
        if (k < kListSize)
            r.och[k] = r.och[kPositions + k] = u8(c);
        ++k;
    };
    int column = 0, row = 0;
    for (int c = 0; c < count; ++c) {
        if (c == s) {
            enter(c);
            column = row = 1;
            if (s == e)
                break;
        } else if (c == e) {
            break;
        } else if (c > s && c < e) {
            if (column < across) {
                enter(c);
                ++column;
            } else if (row < down) {
                enter(c);
                ++row;
                column = 1;
            }
        }
    }
    if (e != s)
        enter(e);
}

void x518_manage::kelApi_MultiWinChOverlay()
{
    for (int c = 0; c < kChannels; ++c)
        model.PM_OVERLAY[c] = c + 1;
    if (model.wincnt > 0) {
        std::fill(std::begin(model.och_alloc), std::end(model.och_alloc), kNoChannel);
        std::fill(std::begin(model.och_spare), std::end(model.och_spare), kNoChannel);
        markUsedChannels();
        if (model.wincnt >= 2)
            giveSpares();
        overlaySharedPositions();
    }
    model.overlay_chg = 1;
}

void x518_manage::markUsedChannels()
{
    for (int i = 0; i < model.wincnt && i < kWindows; ++i) {
        const ST_WIN_INFO& r = model.win_info[i];
        for (int k = 0; k < usedEntries(r); ++k)
            if (r.och[k] < kChannels)
                model.och_alloc[r.och[k]] = r.och[k];
    }
}

// A channel that a later window shares with an earlier one is replaced, in
// the later window's list, by the lowest free channel.
void x518_manage::giveSpares()
{
    const int n = std::min<int>(model.wincnt, kWindows);
    for (int a = 0; a < n; ++a) {
        const ST_WIN_INFO& first = model.win_info[a];
        for (int b = a + 1; b < n; ++b) {
            ST_WIN_INFO& later = model.win_info[b];
            for (int ka = 0; ka < usedEntries(first); ++ka) {
                const u8 shared = first.och[ka];
                if (shared >= kChannels)
                    continue;
                for (int kb = 0; kb < usedEntries(later); ++kb) {
                    if (later.och[kb] != shared)
                        continue;
                    const u8* free = std::find(model.och_alloc, model.och_alloc + kChannels, kNoChannel);
                    if (free == model.och_alloc + kChannels) {
                        KEL_DBG("\t not found idle CH, !!!!!why!!!!!\r");
                        continue;
                    }
                    const u8 spare = u8(free - model.och_alloc);
                    later.och[kb] = spare;
                    model.och_alloc[spare] = spare;
                    model.och_spare[spare] = 1;
                }
            }
        }
    }
}

// The channels that show the windows lying on one position channel blend
// into that channel's mixer.
void x518_manage::overlaySharedPositions()
{
    const int n = std::min<int>(model.wincnt, kWindows);
    auto lists = [](const ST_WIN_INFO& r, int p) {
        for (int k = 0; k < usedEntries(r); ++k)
            if (r.och[kPositions + k] == p)
                return k;
        return int(kNone);
    };
    bool handled[kChannels] = {};
    for (int p = 0; p < kChannels; ++p) {
        int listers = 0;
        for (int i = 0; i < n; ++i)
            listers += lists(model.win_info[i], p) != kNone;
        if (listers < 2)
            continue;
        for (int i = 0; i < n; ++i) {
            const ST_WIN_INFO& r = model.win_info[i];
            for (int k = 0; k < usedEntries(r); ++k) {
                const u8 och = r.och[k];
                if (r.och[kPositions + k] != p || och >= kChannels || handled[och])
                    continue;
                model.PM_OVERLAY[och] = p + 1;
                handled[och] = true;
            }
        }
    }
}

// ------------------------------------------------------------------ the tables

void x518_manage::kelApi_MultiWinChInit()
{
    kelApi_MultiWinChOverlay();
    x518_SetWinPriority1(spi_fd);
    fillWindowTables(block());
    enableUsedChannels();
    // A window whose source no port carries shows black and holds no input channel.
    for (int i = 0; i < model.wincnt && i < kWindows; ++i)
        if (model.PM_INPUT[i] == kNoPort)
            dropInput(u32(i));
}

void x518_manage::fillWindowTables(const KEL_RAM_PARA& b)
{
    i32 before[kWindows];
    std::copy(std::begin(model.PM_INPUT), std::end(model.PM_INPUT), before);
    for (int w = 0; w < kWindows; ++w) {
        model.PM_INPUT[w] = kNoPort;
        model.PM_WIN_SHAPE[w][0] = model.PM_WIN_SHAPE[w][1] = 0;
        std::fill(std::begin(model.PM_WIN_OFFSET[w]), std::end(model.PM_WIN_OFFSET[w]), 0);
        model.win_enable[w] = 0;
    }
    const int n = std::min<int>(model.wincnt, kWindows);
    for (int i = 0; i < n; ++i) {
        const ST_WIN_INFO& r = model.win_info[i];
        model.win_enable[i] = 1;
        model.PM_WIN_SHAPE[i][0] = r.h_cnt;
        model.PM_WIN_SHAPE[i][1] = r.v_cnt;
        const int port = int(kelApi_inputCvtX518(r.input));
        model.PM_INPUT[i] = portValid(port) ? port : kNoPort;
        // The record may now show another window: its input is set up again.
        if (model.PM_INPUT[i] != before[i])
            model.g_chg_input[i] = 1;
        const bool cropped = model.PM_INPUT_OFFSET_EN[i] && r.crop < ram::kCrops;
        for (int k = 0; k < kSides; ++k) {
            model.PM_WIN_OFFSET[i][k] = i32(kelApi_OchGetWinOffset1(&r, k));
            model.PM_INPUT_OFFSET[i][k] = 0;
        }
        if (cropped) {
            const CROP_ITEM& c = b.crop_list[r.crop];
            cropMargins(model.PM_INPUT[i], ST_RECT{c.x, c.y, c.w, c.h}, model.PM_INPUT_OFFSET[i]);
        }
    }
    std::fill(std::begin(model.PM_WIN_NUM), std::end(model.PM_WIN_NUM), kNoWindow);
    std::fill(std::begin(model.PM_AREA_NUM), std::end(model.PM_AREA_NUM), kNoArea);
    model.och_oor = 0;
    for (int i = 0; i < n; ++i) {
        const ST_WIN_INFO& r = model.win_info[i];
        for (int k = 0; k < usedEntries(r); ++k) {
            const u8 c = r.och[k];
            if (c >= kChannels) {
                KEL_DBG("\t !!!!och:%d OOR\r\n", c);
                model.och_oor = 1;
                break;
            }
            model.PM_WIN_NUM[c] = i;
            model.PM_AREA_NUM[c] = k;
        }
    }
}

void x518_manage::enableUsedChannels()
{
    for (int c = 0; c < kChannels; ++c)
        drv->update_x518_mask(spi_fd, regAt(x518::kOchEnable, u32(c)),
                              model.PM_WIN_NUM[c] != kNoWindow ? x518::kOchEnableOn : 0, x518::kOchEnableOn, 0);
}
