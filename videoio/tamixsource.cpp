#include "videoio/tamixsource.h"

#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "app/utils.h"
#include "platform/platform.h"
#include "app/apply_handover.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unistd.h>

tamixsource* tamixsource::p_tamix_source = nullptr;
std::atomic<u8> edid_ram_table_from[tamix::kSources];
const bool kEdidTableFromStart = boxstate::startFilled(edid_ram_table_from, 0);

namespace {

constexpr u8 kThreadFailed = 255;
constexpr int kHdmi20 = tamix::kHdmi20Source;
const char* const kCheckOnce = "Once";
const char* const kCheckNever = "Never";

u32 now()
{
    return G_timeTicks.load(std::memory_order_relaxed);
}

KelRamPara* store()
{
    return KelRamPara::p_kelrampara_config;
}

ST_HDMI_INFO noSignalRecord()
{
    ST_HDMI_INFO r;
    std::memset(&r, 0, sizeof r);
    r.nosignal = 1;
    return r;
}

// Frame height and rate a page shows for a timing.
u16 shownHeight(const RX_TIMING& t)
{
    return static_cast<u16>(t.ip ? 2 * t.Vact : t.Vact);
}
u16 shownRate(const RX_TIMING& t)
{
    const double lines = double(t.Htotal) * t.Vtotal;
    return lines > 0 ? static_cast<u16>(std::lround(t.pclk_khz * 1000.0 / lines)) : 0;
}

QString edidCheckSetting()
{
    if (ConfigEngine::p_config)
        return ConfigEngine::p_config->read_config_variant(ConfigItem::EDIDCheck).toString();
    return settingsRead(g_check_edid);
}

}  // namespace

tamixsource::tamixsource()
{
    for (int s = 0; s < kSources; ++s) {
        hdminfo[s] = noSignalRecord();
        edid_rewrite_req[s] = 0;
        edid_rewrite_done[s] = 0;
        receiver[s] = new tamix_it6602(&bus, s);
    }
    hdminfo_6805 = noSignalRecord();
}

tamixsource::~tamixsource()
{
    stopThread();
    for (tamix_it6602* r : receiver)
        delete r;
    if (p_tamix_source == this)
        p_tamix_source = nullptr;
}

tamixsource* tamixsource::pInstance()
{
    if (!p_tamix_source) {
        p_tamix_source = new tamixsource;
        boxstate::made(p_tamix_source, &tamixsource::stopThread);
    }
    return p_tamix_source;
}

u8 tamixsource::initialize()
{
    openBus();
    check_source = settingsRead(g_check_source);
    platform::makeDirs(kEdidRamTableDir);
    return startThread();
}

int tamixsource::openBus()
{
    return bus.openDevice();
}

u8 tamixsource::startThread()
{
    if (!worker_.start(
            "tamixsource", [this] { runPass(); }, [this] { return passDueTicks(); })) {
        KEL_DBG("\n[tamixsource] create check source thread failed\n");
        writeLogMsg(LOG_ERROR, "create check source thread failed");
        return kThreadFailed;
    }
    return 0;
}

void tamixsource::stopThread()
{
    worker_.stop();
}

tamixsource::SourceState tamixsource::sourceState()
{
    QMutexLocker lock(&Utils::_source_init_mutex);
    return state_;
}

void tamixsource::setState(SourceState s)
{
    QMutexLocker lock(&Utils::_source_init_mutex);
    state_ = s;
}

int tamixsource::passDueTicks()
{
    if (sourceState() != kRunning)
        return 1;
    KelRamPara* s = store();
    bool request = indicator_refresh.load() != 0 || (s && s->reg_image.input_hpd_request != 0);
    for (int p = 0; p < kSources; ++p)
        request = request || edid_rewrite_req[p].load() != 0;
    if (request)
        return 1;
    // Ticks left until a deadline; one that has passed already waits for the next poll.
    auto left = [](u32 stamp, u32 span) {
        const u32 gone = Utils::getTimeSpace(stamp);
        return gone < span ? static_cast<int>(span - gone) : 0;
    };
    int due = polled_ ? left(poll_stamp_, kPollTicks) : 1;
    for (int i = 0; i < kSources; ++i)
        if (report_pending_[i] && left(report_stamp_[i], kReportTicks) > 0)
            due = std::min(due, left(report_stamp_[i], kReportTicks));
    if (hot_plug_pulse_)
        due = std::min(due, left(hot_plug_stamp_, kHotPlugLowTicks));
    return std::max(due, 1);
}

void tamixsource::runPass()
{
    switch (sourceState()) {
    case kPowerWait:
        // The tick runs only once the event loop does, so the wait starts then.
        if (!power_stamped_) {
            power_stamp_ = now();
            power_stamped_ = true;
        }
        if (Utils::getTimeSpace(power_stamp_) >= kPowerUpTicks)
            setState(kProbe);
        break;
    case kProbe:
        probeDevices();
        setState(kEdidCheck);
        break;
    case kEdidCheck:
        // Done only once every EEPROM was written and read back: an EEPROM
        // that took no write is checked again at the next start.
        if (edidCheckSetting() == QLatin1String(kCheckOnce) && checkEdidOnce()) {
            if (ConfigEngine::p_config)
                ConfigEngine::p_config->write_config_variant(ConfigItem::EDIDCheck, QString(kCheckNever));
            QMutexLocker lock(&g_settings_mutex);
            g_check_edid = kCheckNever;
        }
        powerUpDone();
        setState(kRunning);
        break;
    case kRunning:
        serveRegister0();
        serveEdidRequests();
        serveIndicator();
        if (!polled_ || Utils::getTimeSpace(poll_stamp_) >= kPollTicks) {
            polled_ = true;
            poll_stamp_ = now();
            pollInputs();
        }
        reportTimings();
        break;
    }
}

void tamixsource::setRegisterBit(u8& reg, int bit, bool on)
{
    const u8 mask = static_cast<u8>(1u << bit);
    reg = static_cast<u8>(on ? (reg | mask) : (reg & ~mask));
}

// The receivers that answer and the EEPROMs that answer with an EDID; the
// hot-plug lines stay low until the EDIDs are in order.
void tamixsource::probeDevices()
{
    KelRamPara* s = store();
    for (int i = 0; i < kSources; ++i) {
        const bool rx = receiver[i]->probe();
        // Good only when it answers and holds an EDID: a blank EEPROM is not.
        u8 edid[tamix::kEdidSize];
        const bool eeprom = bus.probe(tamix::eepromAddress(i)) && readEeprom(i, edid) && edidValid(edid);
        receiver[i]->setHotPlug(false);
        KEL_DBG("\n[tamixsource] input %d: receiver %s, EDID EEPROM %s\n", i, rx ? "present" : "absent",
                eeprom ? "present" : "absent");
        if (s) {
            // Register 37 is shared with the chip manager (bit 4).
            QMutexLocker lock(&s->mutex);
            setRegisterBit(s->reg_image.chip_flags, i, rx);
            setRegisterBit(s->reg_image.edid_flags, i, eeprom);
        }
    }
}

void tamixsource::powerUpDone()
{
    for (int i = 0; i < kSources; ++i)
        receiver[i]->setHotPlug(true);
    indicator_refresh = 1;
    KEL_DBG("\n[tamixsource] inputs powered up\n");
}

// ---------------------------------------------------------------- register-image requests

void tamixsource::serveRegister0()
{
    KelRamPara* s = store();
    if (hot_plug_pulse_ && Utils::getTimeSpace(hot_plug_stamp_) >= kHotPlugLowTicks) {
        hot_plug_pulse_ = false;
        receiver[kHdmi20]->setHotPlug(true);
    }
    if (!s)
        return;
    const u8 request = s->reg_image.input_hpd_request;
    if (!request)
        return;
    if (request & kRequestRestart) {
        KEL_DBG("\n[tamixsource] HDMI 2.0 receiver restart\n");
        receiver[kHdmi20]->restart();
    }
    if (request & kRequestHotPlug) {
        KEL_DBG("\n[tamixsource] HDMI 2.0 hot-plug pulse\n");
        receiver[kHdmi20]->setHotPlug(false);
        hot_plug_pulse_ = true;
        hot_plug_stamp_ = now();
    }
    s->reg_image.input_hpd_request = 0;
}

void tamixsource::serveEdidRequests()
{
    for (int p = 0; p < kSources; ++p) {
        // Taken before the rewrite: a request raised meanwhile is served next pass.
        if (!edid_rewrite_req[p].exchange(0))
            continue;
        rewriteEdid(p);
        edid_rewrite_done[p] = 1;
    }
}

// The audio window's input gets the indicator; a source that is no input
// (4 and above) lights none.
void tamixsource::serveIndicator()
{
    if (!indicator_refresh.exchange(0))
        return;
    KelRamPara* s = store();
    int source = -1;
    if (s) {
        u16 image = s->ram_para.audio_image;
        if (image > ram::kMaxAudioImage)
            image = 0;
        i16 isCrop = 0;
        char crop = 0;
        source = s->KelGetImageSource(reinterpret_cast<u8*>(&s->ram_para), static_cast<u8>(image), &isCrop, &crop, 0);
    }
    KEL_DBG("\n[tamixsource] indicator on input %d\n", source);
    for (int i = 0; i < kSources; ++i)
        receiver[i]->setSelected(i == source);
}

// ---------------------------------------------------------------- inputs

void tamixsource::pollInputs()
{
    for (int i = 0; i < kSources; ++i)
        if (check_source & (1u << i))
            pollInput(i);
}

void tamixsource::pollInput(int source)
{
    RX_TIMING t;
    if (!receiver[source]->read(t)) {
        // A receiver that stops answering has no signal to offer; when it
        // answers again its timing is taken afresh.
        if (!hdminfo[source].nosignal)
            publishLoss(source);
        seen_[source] = false;
        return;
    }
    if (seen_[source] && t.sequence == sequence_[source])
        return;
    seen_[source] = true;
    sequence_[source] = t.sequence;
    if (t.signal)
        publish(source, t);
    else
        publishLoss(source);
}

void tamixsource::publish(int source, const RX_TIMING& t)
{
    {
        QMutexLocker lock(&Utils::_source_hdminfo_mutex);
        ST_HDMI_INFO& r = hdminfo[source];
        r.Hact = t.Hact;
        r.Hsync = t.Hsync;
        r.Hback = t.Hback;
        r.Hpol = t.Hpol;
        r.Htotal = t.Htotal;
        r.Vact = t.Vact;
        r.Vsync = t.Vsync;
        r.Vback = t.Vback;
        r.Vpol = t.Vpol;
        r.Vtotal = t.Vtotal;
        r.pfreq = static_cast<float>(t.pclk_khz * 1000.0);
        r.type = t.type;
        r.datamode = t.datamode;
        r.lane = t.lane;
        r.ip = t.ip;
        r.nosignal = 0;
        r.changed = 1;
    }
    KEL_DBG("\n[tamixsource] input %d: %dx%d%s, %u kHz\n", source, t.Hact, shownHeight(t), t.ip ? "i" : "p",
            t.pclk_khz);
    ApplyHandover::worker.wake();  // the chip manager
    scheduleReport(source, static_cast<u16>(t.Hact), shownHeight(t), shownRate(t));
}

// The record keeps its `changed` word once a timing was published: the chip
// manager sees the loss as a change of `nosignal`.
void tamixsource::publishLoss(int source)
{
    {
        QMutexLocker lock(&Utils::_source_hdminfo_mutex);
        ST_HDMI_INFO& r = hdminfo[source];
        const i32 changed = r.changed;
        r = noSignalRecord();
        r.changed = changed;
    }
    KEL_DBG("\n[tamixsource] input %d: no signal\n", source);
    ApplyHandover::worker.wake();  // the chip manager
    scheduleReport(source, 0, 0, 0);
}

bool tamixsource::lastReportedFrame(int source, u16& width, u16& height) const
{
    KelRamPara* s = store();
    if (!s || source < 0 || source >= kSources)
        return false;
    QMutexLocker lock(&s->mutex);
    width = reported_frame_[source][0];
    height = reported_frame_[source][1];
    return width && height;
}

void tamixsource::scheduleReport(int source, u16 width, u16 height, u16 rate)
{
    report_pending_[source] = true;
    report_stamp_[source] = now();
    report_value_[source][0] = width;
    report_value_[source][1] = height;
    report_value_[source][2] = rate;
}

// A new timing is reported once it has settled and, when a shown window uses
// the input, once the chip manager has programmed the windows for it.
void tamixsource::reportTimings()
{
    KelRamPara* s = store();
    if (!s)
        return;
    bool changed = false;
    for (int i = 0; i < kSources; ++i) {
        if (!report_pending_[i] || Utils::getTimeSpace(report_stamp_[i]) < kReportTicks)
            continue;
        if (!g_x518_source_online.load() && s->KelSourceId_is_on(static_cast<u8>(i)))
            continue;
        report_pending_[i] = false;
        QMutexLocker lock(&s->mutex);
        SOURCE_STATUS& st = s->ram_para.source_status[i];
        const u16* v = report_value_[i];
        if (st.width == v[0] && st.height == v[1] && st.rate == v[2])
            continue;
        st.width = v[0];
        st.height = v[1];
        st.rate = v[2];
        if (v[0] && v[1]) {
            reported_frame_[i][0] = v[0];
            reported_frame_[i][1] = v[1];
        }
        changed = true;
    }
    if (changed)
        KelRamPara::test_signal(SYNC_INPUT_TIMING);
}
