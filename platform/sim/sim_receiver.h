// Simulated video receivers on the simulated I2C bus, and the control that
// plugs a video signal into one of the box's four inputs.
//
// A receiver speaks the register interface of registers/tamix_regs.h: it
// publishes the timing of the signal plugged into its input, counts each
// change in its sequence register, and keeps the hot-plug and indicator
// levels the program writes. plugSource() and pullSource() act on both sides
// of an input at once, the receiver and the video chip port the input is
// wired to, so the timing the receiver reports and the one the chip measures
// agree.
#pragma once

#include "platform/sim/sim_i2c.h"

#include <array>
#include <cstdint>
#include <mutex>

namespace platform::sim {

// A signal as a receiver reports it. Vertical values count lines per field
// when the signal is interlaced; frameRate is then the field rate.
struct SourceTiming {
    uint16_t hactive = 0, hsync = 0, hback = 0, htotal = 0;
    uint16_t vactive = 0, vsync = 0, vback = 0, vtotal = 0;
    double frameRate = 0;
    bool hpol = true, vpol = true;
    bool interlaced = false;
    uint8_t type = 1;      // 0 DVI, 1 HDMI
    uint8_t datamode = 0;  // non-zero: two pixels per clock
    uint8_t lanes = 2;     // V-by-One lanes when the input enters a V-by-One port
    bool clockDoubled = false;

    uint32_t pixelClockKhz() const;
    static SourceTiming p1080_60();  // 1920x1080, 2200 x 1125, 60 Hz, 148.5 MHz
    static SourceTiming p1080_50();  // 1920x1080, 2640 x 1125, 50 Hz
    static SourceTiming i1080_60();  // 1920x1080 interlaced: 540 lines of 562 per field, 60 fields
    static SourceTiming i1080_50();
    static SourceTiming p720_60();   // 1280x720, 1650 x 750, 60 Hz
    static SourceTiming p2160_30();  // 3840x2160, 4400 x 2250, 30 Hz
    // A progressive signal of the given size and rate: one of the above when
    // it matches, else reduced blanking (48/32/80 pixels, 3/6/at least 6
    // lines, a vertical blanking of at least 460 us).
    static SourceTiming progressive(uint16_t width, uint16_t height, double rate);
};

class SimReceiver : public SimI2cDevice {
public:
    bool write(const uint8_t* data, size_t len) override;
    bool read(uint8_t* data, size_t len) override;

    // ---- control surface
    void publish(const SourceTiming& t);  // a stable signal; the sequence counts up
    void clear();                         // no signal; the sequence counts up
    bool signal() const;
    bool hotPlug() const;   // level the program drives
    bool selected() const;  // the indicator
    int resets() const;     // restarts the program asked for
    uint8_t sequence() const;
    // While set the receiver does not acknowledge (a dead chip).
    void setSilent(bool on);

private:
    uint8_t regAt(uint8_t address) const;  // under mutex_
    void fillTiming();                     // under mutex_

    mutable std::mutex mutex_;
    SourceTiming timing_;
    bool signal_ = false;
    uint8_t sequence_ = 0;
    uint8_t control_ = 0;
    uint8_t pointer_ = 0;
    int resets_ = 0;
    bool silent_ = false;
    std::array<uint8_t, 256> regs_{};  // the timing block image
};

// The receiver of source 0-3 on the default bus (null when absent).
std::shared_ptr<SimReceiver> receiver(int source);

// Plugs `timing` into source 0-3: the receiver publishes it and the chip
// port the source is wired to measures it. Plugging again changes the signal.
void plugSource(int source, const SourceTiming& timing);
// Pulls the signal out of source 0-3 on both sides.
void pullSource(int source);

// Creates the bus with the four receivers and the four EDID EEPROMs (kept
// under /sim in the box root) and plugs 1920x1080 at 60 Hz into HDMI1.
void installVideoInputs();

}  // namespace platform::sim
