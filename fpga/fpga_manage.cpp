#include "fpga/fpga_manage.h"

#include "app/kelrampara.h"
#include "app/utils.h"
#include "fpga/rcv_recovery_file.h"
#include "platform/clock.h"
#include "platform/platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <vector>

namespace reg = fpga::reg;

fpga_manage* fpga_manage::p_fpga_manage = nullptr;
SEND_PARA g_send_para;
// No job, and nothing kept of the last one.
const bool kSendParaStart = boxstate::keep(
    boxstate::Step::StartValues,
    [] {
        g_send_para.end();
        g_send_para.mapping_value = 0;
        g_send_para.recovery_progress = 0;
    },
    boxstate::memoryOf(g_send_para));
std::atomic<u32> g_usb_grade = boxstate::startValue(g_usb_grade, 0u);

namespace {

constexpr int kDecimal = 10;
constexpr int kImageLowCount = reg::kManagerFirst;                      // registers 0-63
constexpr int kImageHighCount = reg::kCount - (reg::kManagerLast + 1);  // registers 128-170

u32 now()
{
    return G_timeTicks.load(std::memory_order_relaxed);
}

bool padHigh(volatile u16* pad)
{
    return (*pad & fpga::kPadHigh) != 0;
}

}  // namespace

// ------------------------------------------------------------------ creation

fpga_manage::fpga_manage()
{
    std::memset(MCU_REG_func, 0, sizeof MCU_REG_func);
    std::memset(MCU_RAM_PARA_func, 0, sizeof MCU_RAM_PARA_func);
    for (auto& c : port_cards)
        c = 0;
    for (auto& r : running_)
        r = false;
    drv.initialize();
    gpio_cs_fpga0 = drv.pad(fpga::kPadCsFpga0);
    gpio_cs_fpga1 = drv.pad(fpga::kPadCsFpga1);
    gpio_rst_fpga0 = drv.pad(fpga::kPadRstFpga0);
    gpio_rst_fpga1 = drv.pad(fpga::kPadRstFpga1);
    for (const char* dir : {rcvRecovery::kSmartDir, rcvRecovery::kRecoveryDir})
        if (!platform::isDir(dir) && !platform::makeDirs(dir))
            KEL_DBG("\n fpga: can't create %s\n", dir);
    rcv_recovery = new rcvRecovery;
    memory_.load();
}

fpga_manage* fpga_manage::pInstance()
{
    if (!p_fpga_manage) {
        p_fpga_manage = new fpga_manage;
        boxstate::made(p_fpga_manage, &fpga_manage::stop);
        FpgaHandover::receiver = p_fpga_manage;
    }
    return p_fpga_manage;
}

fpga_manage::~fpga_manage()
{
    stop();
    if (FpgaHandover::receiver == this)
        FpgaHandover::receiver = nullptr;
    delete rcv_recovery;
    if (p_fpga_manage == this)
        p_fpga_manage = nullptr;
}

void fpga_manage::releaseChipSelects()
{
    if (gpio_cs_fpga0)
        *gpio_cs_fpga0 = fpga::kCsReleased;
    if (gpio_cs_fpga1)
        *gpio_cs_fpga1 = fpga::kCsReleased;
}

void fpga_manage::raiseOutputChanged()
{
    output_changed = 1;
    wake();
}

void fpga_manage::raiseBrightnessChanged()
{
    bri_changed = 1;
    wake();
}

void fpga_manage::initialize_start()
{
    *gpio_cs_fpga0 = fpga::kCsReleased;
    *gpio_cs_fpga1 = fpga::kCsReleased;
    loadIncompleteMarks();
    volatile u16* rst[fpga::kFpgas] = {gpio_rst_fpga0, gpio_rst_fpga1};
    for (u8 f = 0; f < fpga::kFpgas; ++f) {
        // Out of reset an FPGA loads what its flash holds: not a torn program.
        *rst[f] = programIncomplete(f) ? fpga::kRstHold : fpga::kRstRun;
        rst_pending[f] = 0;
        vbo_retry[f] = 0;
    }
    if (!worker_.start(
            "fpga_manage", [this] { pass(); }, [this] { return passDueTicks(); })) {
        KEL_DBG("\n fpga: manager thread could not be started\n");
        writeLogMsg(LOG_ERROR, "create fpga manage thread failed");
    }
}

void fpga_manage::loadIncompleteMarks()
{
    saved_marks_ = incomplete_record::read();
    incomplete_fpgas = saved_marks_.fpgas;
    incomplete_fonts = saved_marks_.fonts;
    stale_fpgas = 0;
    stale_fonts = 0;
    for (u8 f = 0; f < fpga::kFpgas; ++f)
        if (programIncomplete(f)) {
            KEL_DBG("\n FPGA %u's program is incomplete and must be installed again: the FPGA stays in reset\n",
                    f + 1u);
            writeLogMsg(LOG_ERROR, "FPGA " + std::to_string(f + 1) +
                                       "'s program is incomplete and must be installed again: it stays in reset");
        }
    if (saved_marks_.fonts)
        KEL_DBG("\n a font is incomplete and must be installed again (places 0x%x)\n", saved_marks_.fonts);
}

void fpga_manage::pass()
{
    memoryDeal();
    if (g_usb_grade.load())
        usb_upgrade_manage_deal();
    else
        fpga_manage_deal();
}

int fpga_manage::passDueTicks()
{
    bool busy = bri_changed.load() || output_changed.load() || g_set_led_para.load() != 0 ||
                g_send_para.cmd.load() != 0 || g_usb_grade.load() != 0 || memory_.busy();
    for (int f = 0; f < fpga::kFpgas; ++f)
        busy = busy || waiting_[f] || rst_pending[f];
    {
        QMutexLocker lock(&passby_mutex);
        busy = busy || passby_open_;
    }
    return busy ? 1 : kIdlePollTicks;
}

void fpga_manage::stop()
{
    worker_.stop();
}

// ------------------------------------------------------------------ registers

bool fpga_manage::refreshRegs(u8 fpga, u8 first, int count)
{
    u8 buf[kRegImage];
    QMutexLocker lock(&reg_mutex);
    if (!drv.readRegs(fpga, first, buf, count))
        return false;
    std::memcpy(&MCU_REG_func[fpga][first], buf, static_cast<size_t>(count));
    return true;
}

bool fpga_manage::refreshRam(u8 fpga)
{
    QMutexLocker lock(&reg_mutex);
    return drv.readRam(fpga, 0, MCU_RAM_PARA_func[fpga], kRamImage);
}

bool fpga_manage::stateRunningLocked(u8 fpga)
{
    u8 state;
    if (!drv.readRegs(fpga, reg::kState, &state, 1))
        return false;
    MCU_REG_func[fpga][reg::kState] = state;
    return state == reg::kStateRunning;
}

void fpga_manage::applySideEffects(u8 fpga, u8 r, u8 value)
{
    if (fpga == 0 && r == reg::kCtrl)
        ScreenState = (value & reg::kCtrlScreenOn) ? 1 : 0;
}

bool fpga_manage::modifyRegister(u8 fpga, u8 r, u8 mask, u8 value, bool verify)
{
    QMutexLocker lock(&reg_mutex);
    u8 cur;
    if (drv.readRegs(fpga, r, &cur, 1))
        MCU_REG_func[fpga][r] = cur;
    const u8 v = static_cast<u8>((MCU_REG_func[fpga][r] & ~mask) | (value & mask));
    MCU_REG_func[fpga][r] = v;
    if (!verify)
        applySideEffects(fpga, r, v);
    if (!drv.writeRegs(fpga, r, &v, 1))
        return false;
    if (!verify)
        return true;
    u8 back;
    if (!drv.readRegs(fpga, r, &back, 1))
        return false;
    MCU_REG_func[fpga][r] = back;
    if (back != v)
        return false;
    applySideEffects(fpga, r, v);
    return true;
}

bool fpga_manage::requestPanelSetup()
{
    fpga_manage* m = p_fpga_manage;
    if (!m || m->MCU_REG_func[0][reg::kState] != reg::kStateRunning)
        return false;
    {
        QMutexLocker lock(&Utils::_led_para_init_mutex);
        g_set_led_para = 1;
        g_set_led_setup = 0;
    }
    m->wake();
    return true;
}

int fpga_manage::get_fpga_status()
{
    const u8* image = MCU_REG_func[0];
    return image[reg::kState] == reg::kStateRunning && running_[0].load() && !(image[reg::kCtrl] & reg::kCtrlStandby)
               ? 1
               : 0;
}

void fpga_manage::read_from_register(u8 r, u8 fpga)
{
    if (!fpga::regReachable(r) || fpga >= fpga::kFpgas)
        return;
    QMutexLocker lock(&reg_mutex);
    u8 v;
    if (drv.readRegs(fpga, r, &v, 1))
        MCU_REG_func[fpga][r] = v;
}

void fpga_manage::write_to_register(u8 r, u8 mask, u8 value, u8 fpga)
{
    if (!fpga::regReachable(r) || fpga >= fpga::kFpgas)
        return;
    modifyRegister(fpga, r, mask, value, false);
}

int fpga_manage::get_wlan_state()
{
    if (MCU_REG_func[0][reg::kState] != reg::kStateRunning)
        return 0;
    QMutexLocker lock(&reg_mutex);
    u8* image = MCU_REG_func[0];
    u8 v;
    if (drv.readRegs(0, reg::kLinkLo, &v, 1))
        image[reg::kLinkLo] = v;
    if (drv.readRegs(0, reg::kLinkHi, &v, 1))
        image[reg::kLinkHi] = v;
    return image[reg::kLinkHi] << 8 | image[reg::kLinkLo];
}

int fpga_manage::get_eth_param_addr(unsigned char port, unsigned short* x, unsigned short* y, unsigned short* w,
                                    unsigned short* h)
{
    const unsigned short at = fpga::portAreaOffset(port);
    *x = at;
    *y = static_cast<unsigned short>(at + 2);
    *w = static_cast<unsigned short>(at + 4);
    *h = static_cast<unsigned short>(at + 6);
    return 0;
}

bool fpga_manage::writeRamPara(u8 fpga, u16 offset, const u8* data, int len)
{
    if (fpga >= fpga::kFpgas || !data || len <= 0 || offset + len > kRamImage)
        return false;
    // A device that does not answer reads 0xFF: the image takes only bytes
    // the FPGA gave back as written, and only from an FPGA whose state
    // register says it ran throughout (all ones read back as written from
    // one that has stopped).
    u8 back[kRamImage];
    QMutexLocker lock(&reg_mutex);
    if (!stateRunningLocked(fpga) || !drv.writeRam(fpga, offset, data, len) || !drv.readRam(fpga, offset, back, len) ||
        std::memcmp(back, data, static_cast<size_t>(len)) != 0 || !stateRunningLocked(fpga))
        return false;
    std::memcpy(&MCU_RAM_PARA_func[fpga][offset], back, static_cast<size_t>(len));
    return true;
}

// ------------------------------------------------------------------ the controller memory

bool fpga_manage::memoryReachable(u8 fpga, int offset, int len) const
{
    return fpga < fpga::kFpgas && drv.fitted(fpga) && offset >= 0 && len > 0 && offset + len <= kRamImage;
}

fpga_manage::MemoryWrite fpga_manage::writeControllerMemory(u8 fpga, u16 offset, const u8* data, int len)
{
    if (!memoryReachable(fpga, offset, len))
        return kMemoryRefused;
    const uint64_t number = memory_.post(fpga, offset, data, len);
    wake();
    return memory_.await(fpga, number, kMemoryWaitMs) ? kMemoryHeld : kMemoryNotHeld;
}

bool fpga_manage::readControllerMemory(u8 fpga, u16 offset, u8* out, int len)
{
    if (!memoryReachable(fpga, offset, len))
        return false;
    QMutexLocker lock(&reg_mutex);
    std::memcpy(out, &MCU_RAM_PARA_func[fpga][offset], static_cast<size_t>(len));
    // What an FPGA that does not run held when it stopped is not what it
    // will hold: it takes what the box keeps when it comes up.
    if (!holdsMemory(fpga))
        memory_.keptOver(fpga, offset, out, len);
    return true;
}

bool fpga_manage::holdsMemory(u8 fpga) const
{
    return fpga < fpga::kFpgas && running_[fpga].load() && MCU_REG_func[fpga][reg::kState] == reg::kStateRunning;
}

void fpga_manage::memoryDeal()
{
    ControllerMemory::Pass pass;
    if (!memory_.take(pass, now()))
        return;
    bool held[fpga::kFpgas] = {};
    bool kept[fpga::kFpgas] = {};
    bool written = false;
    for (u8 f = 0; f < fpga::kFpgas; ++f) {
        written = written || pass.write[f];
        if (pass.write[f])
            held[f] = running_[f] && writeRamPara(f, static_cast<u16>(pass.from[f]), pass.bytes[f] + pass.from[f],
                                                  pass.to[f] - pass.from[f]);
        if (pass.save[f])
            kept[f] = saveMemory(f, pass.bytes[f]);
    }
    // Register 44 first: a PC told "not kept" finds it there at once.
    publishMemoryState(memory_.done(pass, held, kept, now()));
    memory_.served(pass);
    // What a sending port drives may have changed (the LCD's port view); a
    // pass that only tries the file again changes nothing shown.
    if (written)
        KelRamPara::test_signal(SYNC_FPGA_MEMORY);
}

bool fpga_manage::saveMemory(u8 fpga, const u8* bytes)
{
    const char* name = ControllerMemory::kFiles[fpga];
    bool written = false;
    // A folder in the file's place is not the box's to remove (it may hold
    // someone's files), and a file cannot be renamed over it: nothing is
    // written until it is gone.
    const bool folder = platform::isDir(name);
    if (!folder)
        written = platform::writeFileAtomic(name, ControllerMemory::format(bytes));
    const MemoryFile state = written ? MemoryFile::kWritten : folder ? MemoryFile::kFolderInPlace : MemoryFile::kFails;
    if (state == memory_file_[fpga])
        return written;
    memory_file_[fpga] = state;
    if (written)
        KEL_DBG("\n fpga %d: %s written again\n", fpga, name);
    else if (folder)
        KEL_DBG("\n fpga %d: %s cannot be written: a folder is in its place, which the box does not remove; its "
                "parameter memory is kept in memory and written there once the folder is gone (looked at every "
                "second)\n",
                fpga, name);
    else
        KEL_DBG("\n fpga %d: %s cannot be written: its parameter memory is kept in memory, tried again every "
                "second\n",
                fpga, name);
    return written;
}

void fpga_manage::publishMemoryState(bool owed)
{
    if (owed == memory_owed_)
        return;
    memory_owed_ = owed;
    // Register 44 is shared with the change notifier (bits 0 and 1).
    KelRamPara::markRegister(&KEL_REG_IMAGE::save_state, ram::kSaveFpgaMemoryWaits, owed, SYNC_PARA_CHANGED);
}

void fpga_manage::bringUpMemory(u8 fpga)
{
    u8 bytes[kRamImage];
    if (!memory_.bringUp(fpga, MCU_RAM_PARA_func[fpga], bytes))
        return;
    const bool held = writeRamPara(fpga, 0, bytes, kRamImage);
    if (!held)
        KEL_DBG("\n fpga %d: its parameter memory did not take what the box keeps; written again with the next "
                "write and at the next bring-up\n",
                fpga);
    memory_.broughtUp(fpga, held);
}

int fpga_manage::IT8563WE_Get(TimeRealType* t)
{
    if (!t)
        return -1;
    platform::LocalTime now;
    {
        QMutexLocker lock(&Utils::_system_mutex);
        now = platform::localNow();
    }
    t->second = static_cast<u8>(now.second);
    t->minute = static_cast<u8>(now.minute);
    t->hour = static_cast<u8>(now.hour);
    t->day = static_cast<u8>(now.day);
    t->month = static_cast<u8>(now.month);
    t->year = static_cast<u16>(now.year);
    return now.known ? 0 : -1;  // unknown: the record reads 00:00:00 on day 0
}

QString fpga_manage::timeText(const TimeRealType& t)
{
    return QStringLiteral("%1:%2:%3")
        .arg(int(t.hour), kTimeDigits, kDecimal, QLatin1Char('0'))
        .arg(int(t.minute), kTimeDigits, kDecimal, QLatin1Char('0'))
        .arg(int(t.second), kTimeDigits, kDecimal, QLatin1Char('0'));
}

// ------------------------------------------------------------------ one pass

void fpga_manage::fpga_manage_deal()
{
    pcCmdDeal();
    recordDeal();
    check_fpga_rst();
    for (u8 f = 0; f < fpga::kFpgas; ++f)
        fpgaStateDeal(f);
    if (running_[0])
        interruptDeal();
    brightnessDeal();
    outputDeal();
    ledSetupDeal();
    switch (g_send_para.cmd.load(std::memory_order_acquire)) {
    case SEND_SMARTMAPPING: SmartMapping_deal(); break;
    case SEND_LOAD_SCAN: rcv_recovery_check_deal(RCV_LOAD_SCAN); break;
    case SEND_SAVE_PARA: save_para_deal(); break;
    case SEND_MAPPING_ENABLE: mapping_enable_deal(); break;
    case SEND_RCV_CHECK: rcv_recovery_check_deal(RCV_CHECK); break;
    case SEND_RCV_RECOVERY: rcv_recovery_check_deal(RCV_RECOVERY); break;
    default: cardSearchDeal(); break;
    }
}

void fpga_manage::pcCmdDeal()
{
    if (pc_cmd_valid.load() && Utils::getTimeSpace(pc_cmd_time.load()) > kPcCmdTicks)
        pc_cmd_valid = 0;
}

void fpga_manage::check_fpga_rst()
{
    for (u8 f = 0; f < fpga::kFpgas; ++f) {
        if (!rst_pending[f] || Utils::getTimeSpace(rst_tick[f]) < kResetTicks)
            continue;
        rst_pending[f] = 0;
        if (programIncomplete(f)) {
            KEL_DBG("\n fpga %d stays in reset: its program is incomplete\n", f);
            continue;
        }
        *(f == 0 ? gpio_rst_fpga0 : gpio_rst_fpga1) = fpga::kRstRun;
        KEL_DBG("\n fpga %d out of reset\n", f);
    }
}

void fpga_manage::holdFpgaReset(u8 fpga)
{
    if (fpga >= fpga::kFpgas)
        return;
    *(fpga == 0 ? gpio_rst_fpga0 : gpio_rst_fpga1) = fpga::kRstHold;
    rst_pending[fpga] = 1;
    rst_tick[fpga] = now();
    vbo_retry[fpga] = 0;
    waiting_[fpga] = false;
    {
        QMutexLocker lock(&reg_mutex);
        MCU_REG_func[fpga][reg::kState] = reg::kStateReset;
    }
    if (running_[fpga])
        fpgaLost(fpga);
}

void fpga_manage::fpgaStateDeal(u8 fpga)
{
    // Held in reset, by us or by the video-input set-up of FPGA 1's port.
    if (!padHigh(fpga == 0 ? gpio_rst_fpga0 : gpio_rst_fpga1)) {
        if (running_[fpga])
            fpgaLost(fpga);
        waiting_[fpga] = false;
        return;
    }
    if (running_[fpga]) {
        // FPGA 0 is watched by its interrupt poll.
        if (fpga == 1 && refreshRegs(1, reg::kState, 1) && MCU_REG_func[1][reg::kState] != reg::kStateRunning)
            fpgaLost(1);
        return;
    }
    if (!waiting_[fpga]) {
        waiting_[fpga] = true;
        wait_tick_[fpga] = now();
    }
    if (!refreshRegs(fpga, reg::kState, 1))
        return;
    if (MCU_REG_func[fpga][reg::kState] == reg::kStateRunning) {
        if (!powerUp(fpga))
            return;
        running_[fpga] = true;
        waiting_[fpga] = false;
        // Lost again later, it gets its resets again.
        vbo_retry[fpga] = 0;
        KEL_DBG("\n fpga %d running\n", fpga);
        KelRamPara::test_signal(SYNC_PARA_CHANGED);
        if (fpga == 0) {
            QMutexLocker lock(&passby_mutex);
            linkCheck();
        }
        return;
    }
    // FPGA 0 that does not come up is reset again, a few times.
    if (fpga == 0 && Utils::getTimeSpace(wait_tick_[0]) >= kPowerUpTicks && vbo_retry[0] < kPowerUpRetries) {
        const u8 retry = static_cast<u8>(vbo_retry[0] + 1);
        KEL_DBG("\n fpga 0 does not come up, reset %d\n", retry);
        holdFpgaReset(0);
        vbo_retry[0] = retry;
    }
}

bool fpga_manage::powerUp(u8 fpga)
{
    if (!refreshRegs(fpga, 0, kImageLowCount) || !refreshRegs(fpga, reg::kManagerLast + 1, kImageHighCount) ||
        !refreshRam(fpga))
        return false;
    // What the box keeps of its memory goes in before the FPGA counts as running.
    bringUpMemory(fpga);
    if (fpga != 0)
        return true;
    // The links: brightness, screen running, and the ports out of standby with
    // the LED output as the parameter block has it.
    const u8 ctrl = blockLedOff() ? 0 : reg::kCtrlScreenOn;
    return modifyRegister(0, reg::kBrightness, 0xFF, blockBrightness(), true) &&
           modifyRegister(0, reg::kScreenCtrl, 0xFF, reg::kScreenRun, true) &&
           modifyRegister(0, reg::kCtrl, reg::kCtrlStandby | reg::kCtrlScreenOn, ctrl, true);
}

void fpga_manage::fpgaLost(u8 fpga)
{
    running_[fpga] = false;
    waiting_[fpga] = false;
    KEL_DBG("\n fpga %d stopped\n", fpga);
    if (fpga != 0)
        return;
    bool told;
    {
        QMutexLocker lock(&passby_mutex);
        search_port_ = -1;
        // Frames a pass-through set aside came from the FPGA that stopped:
        // they answer nothing the box still waits for once it runs again.
        held_frames_.clear();
        told = linkCheck();
    }
    // Told also when no port had a link: the areas the ports drive are now
    // those the box keeps for FPGA 0 (the LCD's port view says so).
    if (!told)
        KelRamPara::test_signal(SYNC_LINK_STATE);
}

bool fpga_manage::linkCheck()
{
    const u16 links = running_[0] ? static_cast<u16>(get_wlan_state()) : 0;
    if (links == last_links_)
        return false;
    last_links_ = links;
    for (int p = 0; p < fpga::kSendPorts; ++p)
        if (!(links & (1u << p))) {
            port_cards[p] = 0;
            known_cards_[p] = 0;
        }
    KEL_DBG("\n fpga: sending-port links 0x%04x\n", links);
    KelRamPara::test_signal(SYNC_LINK_STATE);
    return true;
}

void fpga_manage::interruptDeal()
{
    std::vector<std::vector<u8>> replies;
    PassbyReplySink sink;
    {
        QMutexLocker lock(&passby_mutex);
        for (const std::vector<u8>& f : held_frames_)
            frameDeal(f.data(), static_cast<int>(f.size()), false);
        held_frames_.clear();
        if (!refreshRegs(0, reg::kPollFirst, reg::kPollCount))
            return;
        const u8* image = MCU_REG_func[0];
        if (image[reg::kState] != reg::kStateRunning) {
            lock.unlock();
            fpgaLost(0);
            return;
        }
        if (image[reg::kIntStatus] & reg::kIntLinkChanged) {
            const u8 clear = reg::kIntLinkChanged;
            drv.writeRegs(0, reg::kIntStatus, &clear, 1);
            linkCheck();
        }
        std::vector<std::vector<u8>> frames;
        takeFrames(frames, kFramesPerPass);
        for (std::vector<u8>& f : frames)
            if (frameDeal(f.data(), static_cast<int>(f.size()), true))
                replies.push_back(std::move(f));
        if (!replies.empty())
            sink = passby_sink_;
    }
    // Handed over outside our locks: the link may take its own.
    for (const auto& r : replies) {
        if (sink)
            sink(r.data(), static_cast<int>(r.size()));
        else
            KEL_DBG("\n fpga: no link takes the cards' reply\n");
    }
}

bool fpga_manage::takeFrames(std::vector<std::vector<u8>>& out, int most)
{
    for (int i = 0; i < most; ++i) {
        const u8* image = MCU_REG_func[0];
        const int len = image[reg::kRxLenLo] | image[reg::kRxLenHi] << 8;
        if (len == 0)
            return true;
        u8 frame[fpga::kRcvMaxFrame];
        const int n = std::min(len, fpga::kRcvMaxFrame);
        if (!drv.receiveFrame(frame, n))
            return false;
        if (len > fpga::kRcvMaxFrame)
            KEL_DBG("\n fpga: received frame of %d bytes dropped\n", len);
        else
            out.emplace_back(frame, frame + len);
        if (!refreshRegs(0, reg::kRxLenLo, 2))
            return false;
    }
    return true;
}

bool fpga_manage::frameDeal(const u8* frame, int len, bool mayAnswerPassby)
{
    fpga::RcvHeader h;
    if (!fpga::rcvParse(frame, len, &h)) {
        KEL_DBG("\n fpga: malformed frame from the cards dropped\n");
        return false;
    }
    // A card answers a frame once: a second reply of the same card is
    // another frame's, one that was still on its way when this one went out.
    if (mayAnswerPassby && passby_open_ && Utils::getTimeSpace(passby_tick_) <= kPassbyTicks &&
        h.port == passby_port_ && h.command == passby_command_ &&
        (passby_card_ == fpga::kCardAll || h.card == passby_card_) && passby_answered_.insert(h.card).second)
        return true;
    if (jobTakes(h)) {
        jobReply(h, frame + fpga::kRcvHeader);
        return false;
    }
    if (h.command == fpga::kRcvSearch && h.port == search_port_ && h.card != fpga::kCardAll) {
        search_found_ = std::max<u16>(search_found_, static_cast<u16>(h.card + 1));
        if (port_cards[h.port] < search_found_)
            setPortCards(h.port, search_found_);
    }
    return false;
}

// ------------------------------------------------------------------ hand-overs

u8 fpga_manage::blockBrightness()
{
    const KelRamPara* store = KelRamPara::p_kelrampara_config;
    const u16 b = store ? store->ram_para.brightness : kDefaultBrightness;
    return static_cast<u8>(std::min<u16>(b, reg::kBrightnessMax));
}

bool fpga_manage::blockLedOff()
{
    const KelRamPara* store = KelRamPara::p_kelrampara_config;
    return store && store->ram_para.led_off == 1;
}

void fpga_manage::brightnessDeal()
{
    if (!bri_changed.load() || !running_[0])
        return;
    // Held across the write, so a change raised meanwhile is not cleared unseen.
    QMutexLocker lock(&Utils::_bri_set_mutex);
    if (bri_changed.load() && modifyRegister(0, reg::kBrightness, 0xFF, blockBrightness(), true))
        bri_changed = 0;
}

void fpga_manage::outputDeal()
{
    if (!output_changed.load() || !running_[0])
        return;
    const bool off = blockLedOff();
    if (!modifyRegister(0, reg::kCtrl, reg::kCtrlScreenOn, off ? 0 : reg::kCtrlScreenOn, true))
        return;
    QMutexLocker lock(&Utils::_system_mutex);
    // A newer change than the one just written stays pending.
    if (blockLedOff() == off)
        output_changed = 0;
}

void fpga_manage::ledSetupDeal()
{
    enum { kNothing, kStop, kRun, kReset } action = kNothing;
    {
        QMutexLocker lock(&Utils::_led_para_init_mutex);
        const u8 para = g_set_led_para.load();
        if (para == 2) {
            g_set_led_para = 0;
            g_set_led_setup = 0;
            action = kReset;
        } else if (para == 1) {
            switch (g_set_led_setup.load()) {
            case 0:
                action = kStop;
                led_tick_ = now();
                g_set_led_setup = 1;
                break;
            case 1:
                if (Utils::getTimeSpace(led_tick_) >= kLedStopTicks) {
                    action = kRun;
                    led_tick_ = now();
                    g_set_led_setup = 2;
                }
                break;
            default:
                if (Utils::getTimeSpace(led_tick_) >= kLedSettleTicks) {
                    g_set_led_para = 0;
                    g_set_led_setup = 0;
                }
                break;
            }
        }
    }
    switch (action) {
    case kStop: modifyRegister(0, reg::kScreenCtrl, 0xFF, reg::kScreenStop, false); break;
    case kRun: modifyRegister(0, reg::kScreenCtrl, 0xFF, reg::kScreenRun, false); break;
    case kReset:
        KEL_DBG("\n fpga 0 reset after the LED panel set-up\n");
        holdFpgaReset(0);
        break;
    case kNothing: break;
    }
}

// ------------------------------------------------------------------ receiving cards

void fpga_manage::sendSearch(u8 port)
{
    fpga::RcvHeader h{fpga::kCardAll, port, fpga::kRcvSearch, 0, 0};
    u8 frame[fpga::kRcvMinFrame];
    const int len = fpga::rcvBuild(frame, h, nullptr, 0);
    if (!drv.sendFrame(frame, len))
        KEL_DBG("\n fpga: search of port %d not sent\n", port);
}

void fpga_manage::setPortCards(int port, u16 cards)
{
    port_cards[port] = cards;
    if (last_links_ & (1u << port))
        known_cards_[port] = std::max(known_cards_[port], cards);
}

void fpga_manage::cardSearchDeal()
{
    if (!running_[0])
        return;
    QMutexLocker lock(&passby_mutex);
    // The cards are the PC's while its pass-through frame is answered.
    if (passby_open_) {
        if (Utils::getTimeSpace(passby_tick_) <= kPassbyTicks)
            return;
        passby_open_ = false;
    }
    if (search_port_ >= 0 && Utils::getTimeSpace(search_tick_) < kSearchTicks)
        return;
    if (search_port_ >= 0) {
        setPortCards(search_port_, (last_links_ & (1u << search_port_)) ? search_found_ : 0);
        search_last_ = search_port_;
    }
    search_port_ = -1;
    search_found_ = 0;
    search_tick_ = now();
    for (int i = 1; i <= fpga::kSendPorts; ++i) {
        const int p = (search_last_ + i) % fpga::kSendPorts;
        if (last_links_ & (1u << p)) {
            search_port_ = p;
            sendSearch(static_cast<u8>(p));
            break;
        }
    }
}

int fpga_manage::passbySend(u8 link, const u8* frame, int len)
{
    fpga::RcvHeader h;
    if (!fpga::rcvParse(frame, len, &h)) {
        KEL_DBG("\n fpga: pass-through frame refused (malformed)\n");
        return kPassbyBadFrame;
    }
    if (!running_[0] || g_usb_grade.load())
        return kPassbyNotReady;
    bool sent;
    {
        QMutexLocker lock(&passby_mutex);
        // What has come in so far answers earlier frames: set it aside for
        // the thread, which reads it as such.
        passby_open_ = false;
        if (refreshRegs(0, reg::kRxLenLo, 2))
            takeFrames(held_frames_, kFramesHeldMax - static_cast<int>(held_frames_.size()));
        g_passby_trans_port = link;
        passby_port_ = h.port;
        passby_card_ = h.card;
        passby_command_ = h.command;
        passby_answered_.clear();
        passby_sink_ = link < std::size(sinks_) ? sinks_[link] : PassbyReplySink();
        passby_tick_ = now();
        passby_open_ = true;
        sent = drv.sendFrame(frame, len);
    }
    // The thread collects the cards' replies from its next pass on.
    wake();
    return sent ? kPassbySent : kPassbyFailed;
}

void fpga_manage::setPassbySink(u8 link, PassbyReplySink sink)
{
    if (link < kLinkSerial || link > kLinkUdp)
        return;
    QMutexLocker lock(&passby_mutex);
    sinks_[link] = std::move(sink);
}
