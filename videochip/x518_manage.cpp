#include "videochip/x518_manage.h"

#include "app/kelrampara.h"
#include "app/utils.h"
#include "platform/platform.h"
#include "videoio/tamixsource.h"

#include <cstdio>
#include <unistd.h>

x518_manage* x518_manage::p_x518_manage = nullptr;
std::atomic<u8> g_fpga_x518_start = boxstate::startValue(g_fpga_x518_start, 0);
std::atomic<u8> g_force_bkcolor = boxstate::startValue(g_force_bkcolor, 0);

namespace {

constexpr i32 kThreadFailed = 255;
// Window counts of the ten multi-window presets.
constexpr i32 kPresetWindows[x518_manage::kMwinPresets] = {1, 2, 3, 3, 4, 4, 5, 5, 6, 6};
constexpr u16 kChipBrightness = 50;  // the LED brightness itself is the FPGA's
constexpr u16 kOsdOn = 1;
constexpr u8 kGroupDumpAll = 0x01;  // register 0xA4 bit 0: print the chip's register groups

}  // namespace

x518_manage::x518_manage()
{
    writeLogMsg(LOG_INFO, "====x518_manage::x518_manage()=====");
    drv = new x518_drv;
    forgetPorts();
    resetDbdRooms();
}

x518_manage::~x518_manage()
{
    stopThread();
    if (spi_fd >= 0)
        platform::devClose(spi_fd);
    delete drv;
    if (p_x518_manage == this)
        p_x518_manage = nullptr;
}

// No port measured, none with a reported signal: as the box starts.
void x518_manage::forgetPorts()
{
    ports = X518InputPorts{};
    for (int p = 0; p < kPorts; ++p) {
        ports.PI_HDMI_INFO[p].nosignal = 1;
        forgetFrames(p);
    }
}

void x518_manage::forgetFrames(int port)
{
    for (auto& channel : in_frames_)
        channel[port].forget();
}

x518_manage* x518_manage::prepareInstance()
{
    if (!p_x518_manage) {
        p_x518_manage = new x518_manage;
        boxstate::made(p_x518_manage, &x518_manage::stopThread);
    }
    p_x518_manage->seedApplied();
    p_x518_manage->fillMwinPresets();
    apply_flag = 0;
    p_x518_manage->pattern_gen = 0;
    p_x518_manage->pausing_ = false;
    p_x518_manage->running_shown_ = false;
    p_x518_manage->restoring_ = false;
    return p_x518_manage;
}

x518_manage* x518_manage::pInstance()
{
    x518_manage* m = prepareInstance();
    m->initialize();
    return m;
}

void x518_manage::fillMwinPresets()
{
    for (int i = 0; i < kMwinPresets; ++i) {
        model.mwin_preset[i].wincnt = kPresetWindows[i];
        model.mwin_preset[i].pwin = model.mwin_preset_rect[i];
    }
}

i32 x518_manage::initialize()
{
    openChip();
    return startThread();
}

void x518_manage::openChip()
{
    KEL_DBG("\n======x518_manage::initialize()===== ");
    spi_fd = drv->initialize();
    KEL_DBG("\n x518_fd = %02x \n", spi_fd);
    u32 id = drv->read_X518(spi_fd, x518::kChipId, 0);
    KEL_DBG("\n x518_id = %02x \n", id);
}

i32 x518_manage::startThread()
{
    if (!worker.start(
            "x518_manage", [this] { runPass(); }, [this] { return passDueTicks(); })) {
        KEL_DBG("create manage thread failed");
        writeLogMsg(LOG_ERROR, "create manage thread failed");
        return kThreadFailed;
    }
    return 0;
}

void x518_manage::stopThread()
{
    worker.stop();
}

int x518_manage::passDueTicks() const
{
    if (retryPaused())
        return int(kRetryTicks - (G_timeTicks.load() - pause_from_));
    const bool busy = init_state.load() < kRunningState || apply_flag.load() != 0;
    return busy ? 1 : kIdleWatchTicks;
}

void x518_manage::Sleep(int ms)
{
    ::usleep(static_cast<useconds_t>(1000 * ms));
}

void x518_manage::runPass()
{
    if (retryPaused())
        return;
    pausing_ = false;
    const u32 failedBefore = drv->failedMessages();
    const u8 state = init_state;
    // A fence is written with the apply flag: only a pass that finds the
    // flag up, or the one that ends a restore, may find one to serve.
    const bool fenceAsked = apply_flag.load() != 0;
    if (state < kProbeGoodReads)
        probe();
    else if (state == 5)
        bringUpLoad();
    else if (state == 6)
        bringUpPanel();
    else if (state == 7)
        bringUpPicture();
    else
        x518managerdeal(this);
    const bool failed = drv->failedMessages() != failedBefore;
    if (failed)
        chipFailed(state);
    else if (state < kRunningState && init_state >= kRunningState)
        enterRunning();
    const bool restored = followRestore();
    const bool up = init_state >= kRunningState && !restoring_;
    publishRunning(up);
    if (up && !failed && (fenceAsked || restored))
        serveFence();
}

bool x518_manage::chipDown()
{
    const x518_manage* m = p_x518_manage;
    return m && (m->init_state.load() < kRunningState || m->restoring_.load());
}

// ------------------------------------------------------------------ windows back after a bring-up

void x518_manage::enterRunning()
{
    std::printf("\n[x518_manage] video chip up: running mode (state %d)\n", kRunningState);
    std::fflush(stdout);
    outage_ = false;
    restoring_ = true;
    restore_from_ = G_timeTicks.load();
}

// Judged at the end of every pass in running mode while the windows are not
// back: the pass that enters it already counts the windows whose inputs
// carry no signal. True when the wait ended in this pass.
bool x518_manage::followRestore()
{
    if (init_state < kRunningState || !restoring_)
        return false;
    const u8 waiting = windowsNotBack();
    if (waiting != 0 && G_timeTicks.load() - restore_from_ < kRestoreTicks)
        return false;
    restoring_ = false;
    if (waiting == 0)
        return true;
    std::printf("\n[x518_manage] chip windows %#x show no picture %u ticks after the bring-up, though their inputs "
                "report a signal; running mode shown all the same\n",
                unsigned(waiting), kRestoreTicks);
    std::fflush(stdout);
    writeLogMsg(LOG_WARNING, "windows not back after the video chip's bring-up; running mode shown all the same");
    return true;
}

u8 x518_manage::windowsNotBack() const
{
    // A test pattern stops the watch half: no window is programmed from its
    // input until the pattern is switched off, so none is waited for.
    if (kelApi_IsPatternGen())
        return 0;
    u8 waiting = 0;
    for (int w = 0; w < model.wincnt && w < kWindows; ++w)
        if (!windowBack(w))
            waiting = u8(waiting | 1u << w);
    return waiting;
}

// A window is back once its input side was programmed from the chip's
// measurement of every port it shows whose input reports a signal. A window
// refused by the input channels (register 45), or whose ports carry no
// signal, shows black and is back as it is.
bool x518_manage::windowBack(int w) const
{
    if (model.win_refused[w])
        return true;
    bool signal = false;
    for (int p = 0; p < kPorts; ++p) {
        if (!windowUsesPort(w, p) || !inputReportsSignal(p))
            continue;
        if (ports.PI_STATE[p] == 0)
            return false;  // not measured since the load forgot the ports
        signal = true;
    }
    return !signal || (!windowChanged(w) && captured_[w].valid && captured_[w] == captureKey(w));
}

bool x518_manage::inputReportsSignal(int port)
{
    tamixsource* src = tamixsource::p_tamix_source;
    const u32 input = kelApi_GetPortDevId(port);
    if (!src || input >= u32(tamixsource::kSources))
        return false;
    QMutexLocker lock(&Utils::_source_hdminfo_mutex);
    return src->hdminfo[input].nosignal == 0;
}

// Under the block's mutex, with no apply flag up, every write answered
// before the fence was taken by a pass that has ended: this one or an
// earlier one.
void x518_manage::serveFence()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    QMutexLocker lock(&mutex);
    KEL_REG_IMAGE& r = store->reg_image;
    if (r.reg_a4 == 0 || apply_flag.load() != 0)
        return;
    if (r.reg_a4 & kGroupDumpAll)
        kelDbg_x518_print_regGrp(0);
    r.reg_a4 = 0;
}

bool x518_manage::retryPaused() const
{
    return pausing_ && G_timeTicks.load() - pause_from_ < kRetryTicks;
}

// A state whose messages failed is not passed, and running mode is left:
// what the chip holds is unknown. The console hears of it once per outage.
void x518_manage::chipFailed(u8 state)
{
    init_state = 0;
    pausing_ = true;
    pause_from_ = G_timeTicks.load();
    if (outage_)
        return;
    outage_ = true;
    std::printf("\n[x518_manage] video chip not answering (state %d): bring-up starts again from the probe, "
                "once a second until it answers\n",
                state);
    std::fflush(stdout);
    writeLogMsg(LOG_ERROR, "video chip not answering; bring-up starts again");
}

// Register 37 bit 4 and the pages follow running mode.
void x518_manage::publishRunning(bool running)
{
    if (running == running_shown_)
        return;
    running_shown_ = running;
    KelRamPara::markRegister(&KEL_REG_IMAGE::chip_flags, ram::kChipFlagVideoChipRunning, running, SYNC_CHIP_STATE);
}

const KEL_RAM_PARA& x518_manage::block() const
{
    static const KEL_RAM_PARA kEmpty{};
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store ? store->ram_para : kEmpty;
}

KEL_RAM_PARA* x518_manage::liveBlock() const
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store ? &store->ram_para : nullptr;
}

// States 0-4: five good identity reads, not necessarily in a row. A read
// whose message failed is left to runPass; a wrong identity is told once
// until the chip is up.
void x518_manage::probe()
{
    const u32 failedBefore = drv->failedMessages();
    u32 id = drv->read_X518(spi_fd, x518::kChipId, 0);
    if (drv->failedMessages() != failedBefore)
        return;
    if (id == x518::kChipIdValue) {
        ++init_state;
        KEL_DBG("\n ok x518_id = 0x24x ");
        return;
    }
    if (!outage_)
        KEL_DBG("\n error x518_id = %02x \n", id);
    outage_ = true;
}

// State 5: the software model, the initial register load, inputs and fonts.
void x518_manage::bringUpLoad()
{
    const u32 failedBefore = drv->failedMessages();
    // Every load starts as the box's first: the ports are measured anew,
    // whatever an earlier bring-up (one that failed part way, or the one
    // before a restart) left in the model, and no window's input side is
    // programmed in the chip.
    forgetPorts();
    for (CaptureKey& key : captured_)
        key = CaptureKey{};
    load_system_param();
    define_param();
    drv->init_reg_acc_param();
    write_initial_setting(spi_fd, 1);
    set_rtct(spi_fd, 1);
    if (drv->failedMessages() != failedBefore)
        return;  // no use loading inputs and fonts into a chip that lost its set-up
    load_param();
    // The OSD windows and plane are programmed anew after every load. The
    // load raises its requests only for what it changed in the model, and a
    // load that follows a failed bring-up finds the model as that one left
    // it: its requests would be lost with the chip's OSD never programmed.
    osd.osd_reset = osd.osd_redraw = 1;
    resetSharpness();
    if (block().osd_enable == kOsdOn)
        g_osd_update = 1;
    check_input_port(spi_fd);
    load_char();
    read_x518_font(spi_fd);
    update_font(spi_fd);
    init_state = 6;
    KEL_DBG("\n ok x518_id  setup= %d \n", 6);
}

// State 6: the output panel and the window outputs.
void x518_manage::bringUpPanel()
{
    {
        // It reads the block's windows and publishes the channel geometry into it.
        QMutexLocker lock(&mutex);
        const KEL_RAM_PARA& b = block();
        kelApi_PnlInit2(b.led_width, b.led_height, b.out1_rect.w, b.out1_rect.h, b.splice_mode);
    }
    set_output(spi_fd);
    g_fpga_x518_start = 1;
    init_state = 7;
    KEL_DBG("\n ok x518_id  setup= %d \n", 7);
}

// State 7: picture defaults; then running mode.
void x518_manage::bringUpPicture()
{
    const KEL_RAM_PARA& b = block();
    u32 colour = u32(b.color_temp_mode & 0xFF) | u32(b.color_temp_b & 0xFF) << 8 | u32(b.color_temp_g & 0xFF) << 16 |
                 u32(b.color_temp_r & 0xFF) << 24;
    x518_SetBrightness(kChipBrightness);
    x518_SetContrast(b.contrast);
    x518_SetSharpness(b.sharpness);
    x518_SetColorTemp(static_cast<int>(colour));
    x518_SetSaturation(b.saturation);
    x518_debugEnv();
    init_state = kRunningState;
    kelApi_forceColorDisable(spi_fd);
    KEL_DBG("\n ok x518_id  setup= %d \n", 8);
}
