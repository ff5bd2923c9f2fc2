// The input-source manager: owns the I2C bus, the four video receivers and
// the four EDID EEPROMs, and runs the input polling thread. The thread
// powers the inputs up in tick-timed states, publishes each input's timing
// record for the video chip manager, reports the inputs' resolutions in the
// parameter block (change code 12), rewrites an input's EDID EEPROM when the
// chip manager, a page or the factory reset asks, verifies and repairs the
// EEPROMs once when the settings ask, and serves the register-image
// requests of the HDMI 2.0 input. One process-wide singleton.
#pragma once

#include "app/global.h"
#include "app/tick_pacer.h"
#include "registers/tamix_regs.h"
#include "videoio/drv_i2c.h"
#include "videoio/tamix_it6602.h"

#include <atomic>
#include <string>

// Timing record of one input as the receiver driver published it: 17 words.
struct ST_HDMI_INFO {
    i32 Hact, Hsync, Hback, Hpol, Htotal;
    i32 Vact, Vsync, Vback, Vpol, Vtotal;
    float pfreq;  // pixel clock, Hz
    i32 type;
    i32 datamode;  // non-zero on a parallel chip port: a two-channel input
    i32 lane;      // V-by-One lanes: 1, 2, 4 or 8
    i32 ip;        // 1 interlaced (vertical values per field)
    i32 nosignal;  // 1 no signal
    i32 changed;   // non-zero once a stable timing was published for the input
};
static_assert(sizeof(ST_HDMI_INFO) == 17 * 4, "a timing record is 17 words");

// Per input port 0-3: 1 = an uploaded EDID (/data/edidramtable) waits to be
// written to that port's EEPROM. The chip manager only reads it; the
// input-source manager clears it once the EDID is written.
extern std::atomic<u8> edid_ram_table_from[tamix::kSources];

class tamixsource {
public:
    static constexpr int kSources = tamix::kSources;
    static constexpr const char* kEdidRamTableDir = "/data/edidramtable";

    // Start-up states of the polling thread, guarded by Utils::_source_init_mutex.
    enum SourceState : u8 { kPowerWait = 0, kProbe = 1, kEdidCheck = 2, kRunning = 3 };

    // Ticks (10 ms) of the thread's work.
    static constexpr u32 kPowerUpTicks = 100;    // receivers and EEPROMs powered before the first access
    static constexpr u32 kPollTicks = 10;        // each input polled this often
    static constexpr u32 kReportTicks = 50;      // a new timing settles this long before it is reported
    static constexpr u32 kHotPlugLowTicks = 10;  // a hot-plug pulse keeps the line low this long

    // Register-image register 0: one-shot requests for the HDMI 2.0 input.
    static constexpr u8 kRequestRestart = 0x01;  // restart its receiver
    static constexpr u8 kRequestHotPlug = 0x02;  // pulse its hot-plug line (the source re-reads the EDID)

    // Set_Custom_HDMI_EDID results.
    enum EdidSource { kEdidStored = 0, kEdidComputed = 1, kEdidDefault = 2 };

    static tamixsource* p_tamix_source;
    // Creates the manager on the first call.
    static tamixsource* pInstance();
    // Stops the thread; p_tamix_source is null again when it was this one.
    // The box never drops its manager; tests do.
    ~tamixsource();
    // Starts the polling thread's next pass now (any thread): a request was raised.
    void wake() { worker_.wake(); }
    // Ticks until the next pass is due: the next input poll, a settling
    // report or a hot-plug pulse, or one tick while a request waits.
    int passDueTicks();
    // Opens the bus, takes the input mask g_check_source, creates
    // /data/edidramtable when missing and starts the polling thread; 0, or
    // 255 when the thread could not be started.
    u8 initialize();
    // The pieces of initialize(), for tests.
    int openBus();
    u8 startThread();
    void stopThread();  // tests only; the box never stops it

    // One pass of the polling thread.
    void runPass();
    // The last frame the input's source status reported (width and height,
    // offset 256 of the block), a signal lost since or not; false while it
    // has reported none since the box started. Any thread.
    bool lastReportedFrame(int source, u16& width, u16& height) const;
    SourceState sourceState();

    // Builds the 256-byte EDID (base block and CEA extension) that asks a
    // source for width x height at rate Hz: a stored timing when one
    // matches, otherwise one computed from the values; values no EDID can
    // carry give the default 1920x1080 at 60 Hz. Returns an EdidSource.
    static int Set_Custom_HDMI_EDID(u8* edid, int width, int height, int rate);
    // True when `edid` is 256 bytes with a valid header and both checksums.
    static bool edidValid(const u8* edid);
    // The uploaded EDID of a port.
    static std::string edidRamTablePath(int port);

    // Rewrites the EEPROM of `port` (uploaded EDID or the port's EDID
    // parameters), verifies it and keeps register 38; false on failure.
    bool rewriteEdid(int port);
    // Verifies the four EEPROMs against the ports' EDID parameters and
    // rewrites those that differ; true when all four hold their EDID (read
    // back), so the check is done. Else it runs again at the next start.
    bool checkEdidOnce();

    // Timing records by source id, written under Utils::_source_hdminfo_mutex.
    ST_HDMI_INFO hdminfo[kSources];
    // The HDMI 2.0 receiver's own record, refreshed by the chip manager's dump.
    ST_HDMI_INFO hdminfo_6805;

    // Requests of the chip manager, the pages and the factory reset.
    std::atomic<u8> edid_rewrite_req[kSources];
    std::atomic<u8> edid_rewrite_done[kSources];
    std::atomic<u8> indicator_refresh{0};

    Drv_I2C0 bus;
    tamix_it6602* receiver[kSources];
    u8 check_source = 0xFF;  // inputs polled (bit s = source s)

private:
    tamixsource();

    void setState(SourceState s);
    void probeDevices();
    void powerUpDone();
    void serveRegister0();
    void serveEdidRequests();
    void serveIndicator();
    void pollInputs();
    void pollInput(int source);
    void publish(int source, const RX_TIMING& t);
    void publishLoss(int source);
    void scheduleReport(int source, u16 width, u16 height, u16 rate);
    void reportTimings();
    bool writeEeprom(int port, const u8* edid);
    bool readEeprom(int port, u8* edid);
    bool buildEdid(int port, u8* edid, bool& uploaded);
    void setRegisterBit(u8& reg, int bit, bool on);

    SourceState state_ = kPowerWait;
    bool power_stamped_ = false;
    u32 power_stamp_ = 0;
    bool polled_ = false;
    u32 poll_stamp_ = 0;
    bool hot_plug_pulse_ = false;
    u32 hot_plug_stamp_ = 0;

    bool seen_[kSources] = {};  // a reading of the input was taken
    u8 sequence_[kSources] = {};
    bool report_pending_[kSources] = {};
    u32 report_stamp_[kSources] = {};
    u16 report_value_[kSources][3] = {};
    u16 reported_frame_[kSources][2] = {};  // under the store's mutex, as the source status

    PacedWorker worker_;
};
