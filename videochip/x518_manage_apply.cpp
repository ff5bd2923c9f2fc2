// The apply dispatcher of the running chip. The apply half runs when a
// writer raised apply_flag: it compares the live parameter block with what
// the last apply pass saw, programs the chip for what changed, hands the
// changes that the FPGA and input-source managers carry out to them, serves
// the one-shot requests of the register image (all but the fence, 0xA4,
// which runPass serves at the end of the pass) and announces the change. The
// watch half runs on every pass and follows the input ports.
#include "videochip/x518_manage.h"

#include "app/kelrampara.h"
#include "app/utils.h"
#include "app/fpga_handover.h"
#include "videoio/tamixsource.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr u16 kChipBrightness = 50;  // the LED brightness itself is the FPGA's
constexpr u8 kLedSetupRunning = 1;   // g_set_led_para: the FPGA side configures the panel
constexpr u8 kLedSetupDone = 2;      // the chip's panel is re-initialised
constexpr int kLedPollMs = 1;
constexpr int kTraceBase = offsetof(KEL_RAM_PARA, brightness);  // window traces count from here
constexpr int kFadeTraceBase = offsetof(KEL_RAM_PARA, seamless_para);
constexpr int kEdidWalkPorts = tamix::kSources;  // request bytes exist for ports 0-3 only
constexpr int kEdidWords = sizeof(EDID_PARA) / 2;
constexpr int kImageWords = sizeof(IMAGE_PARA) / 2;

// Register-image requests.
constexpr int kServiceRequestBits = 8;
constexpr int kServiceRestartBit = 6;
constexpr u8 kTestInputRequest = 0x01;
constexpr u8 kFrameLockTestRequest = 0x02;

// Crop records: the source id of a key, as the environment takes it.
constexpr u16 kCropSourceBits = 0x07;

const u8* bytesOf(const KEL_RAM_PARA& b)
{
    return reinterpret_cast<const u8*>(&b);
}
u16 wordAt(const KEL_RAM_PARA& b, size_t offset)
{
    return ram::loadU16(bytesOf(b) + offset);
}

u32 packedColour(const KEL_RAM_PARA& b)
{
    return u32(b.color_temp_mode & 0xFF) | u32(b.color_temp_b & 0xFF) << 8 | u32(b.color_temp_g & 0xFF) << 16 |
           u32(b.color_temp_r & 0xFF) << 24;
}

}  // namespace

void x518_manage::x518managerdeal(void* manager)
{
    auto* m = static_cast<x518_manage*>(manager);
    if (!m)
        return;
    m->noteReportedFrames();
    m->applyHalf();
    if (m->font_redo.load())
        m->redoFonts();
    m->watchHalf();
}

// The block as the store last saved it: what the chip was set up from.
void x518_manage::seedApplied()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (applied_seeded_ || !store)
        return;
    applied = store->ram_para_shadow;
    applied_seeded_ = true;
}

// ------------------------------------------------------------------ apply half

// A reload of the overlay file is served whether or not the apply flag is
// up: the bring-up asks for one when the saved block has the overlay on,
// and nothing else may come to raise the flag. A reload asked for while the
// overlay was on is dropped when the block has switched it off since: the
// file would show it again.
void x518_manage::applyHalf()
{
    if (apply_flag.load() == 0 && g_osd_update.load() == 0)
        return;
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    QMutexLocker lock(&mutex);
    seedApplied();
    // Taken now: a request raised while this pass runs starts another one.
    const u8 flag = apply_flag.exchange(0);
    if (flag != 0)
        applyBlock(store->ram_para, flag);
    if (g_osd_update.load() == 1) {
        g_osd_update = 0;
        if (store->ram_para.osd_enable)
            load_overlay_file();
    }
    if (flag != 0)
        serveRegisterRequests();
}

// What changed in the live block since the last pass that the chip took,
// and its announcement.
void x518_manage::applyBlock(const KEL_RAM_PARA& live, u8 flag)
{
    const KEL_RAM_PARA now = live;
    const KEL_RAM_PARA& was = applied;
    const u32 failedBefore = drv->failedMessages();

    applyPanel(now, was);
    applyPicture(now, was);
    applyPriorities(now, was);
    applyWindowsInOnePass(now, was);
    applyFades(now, was);
    if (now.test_pattern != was.test_pattern)
        x518_SetPattern(now.test_pattern);
    applyEdid(now, was);
    if (now.led_off != was.led_off)
        if (FpgaHandover* fpga = FpgaHandover::receiver.load())
            fpga->raiseOutputChanged();
    // Switched off, the overlay goes at once. Switched on, it shows what the
    // description file says, read in this same pass: the file's entry turns
    // the display on; with no file (or nothing to show in it) the display
    // stays off and the input shows, as after a start with the overlay on.
    if (now.osd_enable != was.osd_enable) {
        if (now.osd_enable)
            g_osd_update = 1;
        else
            kelApi_OsdSet(kOsdDisplay, 0);
    }
    // The change is announced whether or not the chip took it: the block
    // holds it, and the pages and the parameter file follow the block.
    KelRamPara::test_signal(flag);
    if (drv->failedMessages() == failedBefore) {
        applied = now;
    } else {
        // The chip missed some of it: the change stays pending against what
        // the chip last took, for the first pass once it answers again.
        KelRamPara::raiseApplyLocked(1);
    }
}

void x518_manage::applyPanel(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was)
{
    if (now.splice_mode == was.splice_mode && now.led_width == was.led_width && now.led_height == was.led_height &&
        now.out1_rect.w == was.out1_rect.w && now.out1_rect.h == was.out1_rect.h)
        return;
    waitLedSetup();
    kelApi_PnlInit2(now.led_width, now.led_height, now.out1_rect.w, now.out1_rect.h, now.splice_mode);
    // The windows lie on new channels: program them.
    set_output(spi_fd);
    {
        QMutexLocker lock(&Utils::_led_para_init_mutex);
        g_set_led_para = kLedSetupDone;
    }
    if (FpgaHandover* fpga = FpgaHandover::receiver.load())
        fpga->wake();
    if (now.osd_enable)
        g_osd_update = 1;
}

// Waits for the FPGA side to finish a pending LED set-up, but not for ever:
// this pass holds the chip manager's mutex, and every writer waits on it.
void x518_manage::waitLedSetup()
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(led_para_wait_ms);
    while (g_set_led_para.load() == kLedSetupRunning) {
        if (std::chrono::steady_clock::now() >= limit) {
            KEL_DBG("\n[x518managerdeal] LED set-up of the FPGA side still running after %u ms, panel set up anyway\n",
                    led_para_wait_ms);
            writeLogMsg(LOG_WARNING, "LED set-up of the FPGA side did not finish in time; chip panel set up anyway");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kLedPollMs));
    }
}

void x518_manage::applyPicture(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was)
{
    if (now.brightness != was.brightness) {
        x518_SetBrightness(kChipBrightness);
        if (FpgaHandover* fpga = FpgaHandover::receiver.load()) {
            QMutexLocker lock(&Utils::_bri_set_mutex);
            fpga->raiseBrightnessChanged();
        }
    }
    if (now.contrast != was.contrast)
        x518_SetContrast(now.contrast);
    if (now.sharpness != was.sharpness)
        x518_SetSharpness(now.sharpness);
    if (now.saturation != was.saturation)
        x518_SetSaturation(now.saturation);
    if (now.color_temp_mode != was.color_temp_mode || now.color_temp_r != was.color_temp_r ||
        now.color_temp_g != was.color_temp_g || now.color_temp_b != was.color_temp_b)
        x518_SetColorTemp(int(packedColour(now)));
}

void x518_manage::applyPriorities(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was)
{
    bool changed = false;
    for (int i = 0; i < kWindows; ++i) {
        if (now.image_priority[i] == was.image_priority[i])
            continue;
        changed = true;
        KEL_DBG("DIFF REG CUSTOM_INFO_IMAGE%d_PRIORITY %04x==>%04x\r\n", i + 1, was.image_priority[i],
                now.image_priority[i]);
        const int record = recordOfWindow(i);
        if (record == kNone)
            continue;  // the environment takes it when the window is shown
        x518_SetWinPriority(u32(record), now.image_priority[i]);
        x518_SetWinPriority1(spi_fd);
    }
    if (changed)
        takeLayers(now);
}

void x518_manage::relayout()
{
    kelApi_initEnvX518();
    kelApi_MultiWinChAlloc(1);
    kelApi_MultiWinChInit();
    set_output(spi_fd);
}

// The window fields of one write are programmed in one pass: its input
// channels are handed out once, in the documented order, whichever of its
// windows asks first. A write that makes the block's windows fall back to
// the one window over the canvas, or lets them fit again, lays them out
// anew; so does any write to the windows or crop records while the one
// window stands: it shows what the first window shown (or window 0) is set
// to show.
void x518_manage::applyWindowsInOnePass(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was)
{
    defer_programming_ = true;
    programming_owed_ = false;
    const bool fallback = fallsBack(now);
    if (fallback != (model.default_env != 0) || (fallback && windowsWritten(now, was)))
        relayout();
    else if (!applyWindows(now, was))
        applyCropRecords(now, was);
    defer_programming_ = false;
    if (programming_owed_)
        set_output(spi_fd);
}

bool x518_manage::windowsWritten(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was)
{
    return std::memcmp(now.image, was.image, sizeof(IMAGE_PARA) * kWindows) != 0 ||
           std::memcmp(now.crop_list, was.crop_list, sizeof now.crop_list) != 0;
}

// A crop record written under a window that shows it is a write to that
// window: the window is programmed with the record's new rectangle and
// input in this pass, and a costlier input is served as a costlier source
// written to it. (A window whose source word this write changed took the
// new record with it.)
void x518_manage::applyCropRecords(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was)
{
    for (int w = 0; w < kWindows; ++w) {
        const u16 s = now.image[w].source;
        const int chip = recordOfWindow(w);
        if (chip == kNone || !(s & ram::kSourceIsCrop) || s != was.image[w].source)
            continue;
        const int c = s & ram::kSourceLowMask;
        if (c >= ram::kCrops || std::memcmp(&now.crop_list[c], &was.crop_list[c], sizeof(CROP_ITEM)) == 0)
            continue;
        KEL_DBG("DIFF crop[%d] under win[%#x]\r\n", c, w);
        applySourceChange(now, w, chip, s, s);
    }
}

// True when the walk ended in a new layout of every window.
bool x518_manage::applyWindows(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was)
{
    for (int w = 0; w < kWindows; ++w) {
        const size_t record = offsetof(KEL_RAM_PARA, image) + sizeof(IMAGE_PARA) * size_t(w);
        for (int i = 0; i < kImageWords; ++i) {
            const size_t r = size_t(2 * i);
            const u16 old = wordAt(was, record + r), neu = wordAt(now, record + r);
            if (old == neu)
                continue;
            KEL_DBG("DIFF REG win[%#x] reg:%x %04x==>%04x\r\n", w, int(record + r) - kTraceBase, old, neu);
            // The setters take the chip window that shows this one; a window
            // not in use gets its settings when the environment takes it in.
            const int chip = recordOfWindow(w);
            const bool leftOut = chip == kNone && now.image[w].enable != 0;
            switch (leftOut ? offsetof(IMAGE_PARA, enable) : r) {
            case offsetof(IMAGE_PARA, enable):
            case offsetof(IMAGE_PARA, x):
            case offsetof(IMAGE_PARA, y):
            case offsetof(IMAGE_PARA, w):
            case offsetof(IMAGE_PARA, h):
                // A new layout covers every window: the walk ends here. A
                // window shown in the block but left out of the environment
                // (the default window stands) may be showable now: the same.
                relayout();
                return true;
            case offsetof(IMAGE_PARA, mirror):
                if (chip != kNone)
                    x518_SetWinAttr(u8(chip), neu);
                break;
            case offsetof(IMAGE_PARA, source):
                if (chip != kNone)
                    applySourceChange(now, w, chip, old, neu);
                break;
            case offsetof(IMAGE_PARA, flags):
                if (chip != kNone)
                    x518_SetWinOutput(spi_fd, u8(chip), neu);
                break;
            case offsetof(IMAGE_PARA, dbd_mode):
                if (chip != kNone)
                    x518_SetWinDbdMode(spi_fd, u8(chip), neu);
                break;
            default: break;  // reserved words, volume and audio
            }
        }
    }
    return false;
}

void x518_manage::applySourceChange(const KEL_RAM_PARA& now, int w, int chip, u16 was, u16 s)
{
    if (s & ram::kSourceIsCrop) {
        const int c = s & ram::kSourceLowMask;
        if (c >= ram::kCrops) {
            KEL_DBG("\t !!!!!!!!!cropIdx OOR,return !!!!!!!!!!!!!");
            return;
        }
        // The window is programmed once, by the source setter, with its new
        // input and the new crop: a pass of its own for the crop would show
        // the old input cut with the new margins first.
        const CROP_ITEM& crop = now.crop_list[c];
        ST_RECT rect{crop.x, crop.y, crop.w, crop.h};
        x518_SetInputsourceCrop(chip, s);
        if (kelApi_IsWinValid(chip))
            storeCrop(chip, true, rect);
        x518_SetInputsource(u32(chip), crop.key & kCropSourceBits);
    } else {
        if ((was & ram::kSourceIsCrop) && kelApi_IsWinValid(chip)) {
            // Dropping a crop: the rectangle passed along is window 0's.
            const IMAGE_PARA& first = now.image[0];
            ST_RECT rect{first.x, first.y, first.w, first.h};
            storeCrop(chip, false, rect);
        }
        x518_SetInputsource(u32(chip), s);
    }
    if (w == now.audio_image && tamixsource::p_tamix_source) {
        tamixsource::p_tamix_source->indicator_refresh = 1;
        tamixsource::p_tamix_source->wake();
    }
}

void x518_manage::applyFades(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was)
{
    for (int w = 0; w < kWindows; ++w) {
        const SEAMLESS_PARA& n = now.seamless_para[w];
        const SEAMLESS_PARA& o = was.seamless_para[w];
        const int at = int(offsetof(KEL_RAM_PARA, seamless_para) + sizeof(SEAMLESS_PARA) * size_t(w));
        const int chip = recordOfWindow(w);
        if (n.para0 != o.para0) {
            KEL_DBG("DIFF REG win[%#x] reg:%x(%04x) %04x==>%04x\r\n", w, at - kFadeTraceBase, kFadeTraceBase, o.para0,
                    n.para0);
            if (chip != kNone)
                model.PM_WIN_FADE_IN[chip] = n.para0;
        }
        if (n.para1 != o.para1) {
            KEL_DBG("DIFF REG win[%#x] reg:%x(%04x) %04x==>%04x\r\n", w, at + 2 - kFadeTraceBase, kFadeTraceBase,
                    o.para1, n.para1);
            if (chip != kNone)
                model.PM_WIN_FADE_OUT[chip] = n.para1;
        }
    }
}

// Every port whose EDID words changed, or whose uploaded EDID waits, gets
// its rewrite request in this pass. A waiting upload is asked for again only
// by later passes that something else brought: the input-source manager
// clears the upload flag once it has written it.
void x518_manage::applyEdid(const KEL_RAM_PARA& now, const KEL_RAM_PARA& was)
{
    for (int p = 0; p < kEdidWalkPorts; ++p) {
        const size_t entry = offsetof(KEL_RAM_PARA, edid) + sizeof(EDID_PARA) * size_t(p);
        bool changed = false;
        for (int i = 0; i < kEdidWords; ++i)
            changed = changed || wordAt(now, entry + size_t(2 * i)) != wordAt(was, entry + size_t(2 * i));
        if (!changed && !edid_ram_table_from[p].load())
            continue;
        if (tamixsource* src = tamixsource::p_tamix_source) {
            src->edid_rewrite_req[p] = 1;
            src->edid_rewrite_done[p] = 0;
            src->wake();
        }
    }
}

void x518_manage::serveRegisterRequests()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    KEL_REG_IMAGE& r = store->reg_image;
    const int fd = spi_fd;
    if (const u8 v = r.reg_a2) {
        int bit = 0;
        while (bit < kServiceRequestBits && !(v & (1u << bit)))
            ++bit;
        switch (bit) {
        case 0: input_slidebar(fd); break;
        case 1: output_slidebar(fd); break;
        case 2: disable_slidebar(fd); break;
        case 3: vbyone_rx_ch1_seq(fd); break;
        case 4: vbyone_rx_ch2_seq(fd); break;
        case 5: read_x518_b174bug(fd); break;
        case kServiceRestartBit: init_state = 0; break;
        case 7: write_read_x518_b80_iacthstch5(fd); break;
        default: break;
        }
        r.reg_a2 = 0;
    }
    if (const u8 v = r.reg_a3) {
        kelDbg_x518_param(int(v) - 1);
        r.reg_a3 = 0;
    }
    if (r.reg_a5 & kTestInputRequest) {
        sync_x518_device_test_input(fd);
        r.reg_a5 = 0;
    } else if (r.reg_a5 & kFrameLockTestRequest) {
        sync_x518_device_test_frame_lock(fd);
        r.reg_a5 = 0;
    }
}

// ------------------------------------------------------------------ watch half

void x518_manage::watchHalf()
{
    if (kelApi_IsPatternGen())
        return;
    const int fd = spi_fd;
    load_hdmi();
    check_port_valid(fd);
    if (osd.osd_redraw) {
        update_osd(fd);
        osd.osd_redraw = 0;
    } else if (osd.osd_reset) {
        set_osd(fd, 1);
        set_scroll(fd);
        osd.osd_reset = 0;
    }
    check_input_port(fd);
    for (int p = 0; p < kPorts; ++p) {
        // The windows of a port measured anew are set up again in one pass:
        // one hand-out of the input channels and memory, as for one write.
        // A dot-by-dot window shows every port of its arrangement: it is set
        // up again when any of them is measured anew.
        bool any = false, shown = false;
        for (int w = 0; w < kWindows; ++w) {
            if (!windowUsesPort(w, p) || (!ports.PI_UPDATE[p] && !ports.g_chg_hdmi[p]))
                continue;
            shown = true;
            // The apply half measures a port before it gives it to a window:
            // a window it programmed from this very measurement needs nothing
            // more (a change the measurement cannot see always counts).
            if (!ports.g_chg_hdmi[p] && !windowChanged(w) && captured_[w].valid && captured_[w] == captureKey(w))
                continue;
            std::printf(
                "\n [x518_main]PI_UPDATE[%d]=%d   g_chg_hdmi[%d]=%d   PI_ACT  HST=%4d  HW=%4d  VST=%4d  VW=%4d\n", p,
                ports.PI_UPDATE[p], p, ports.g_chg_hdmi[p], ports.PI_ACT[p][0], ports.PI_ACT[p][1], ports.PI_ACT[p][2],
                ports.PI_ACT[p][3]);
            model.g_chg_input[w] = 3;
            any = true;
        }
        if (any)
            set_output(fd);
        if (shown)
            g_x518_source_online = 1;
        ports.PI_UPDATE[p] = 0;
        ports.g_chg_hdmi[p] = 0;
    }
    std::fflush(stdout);
}
