// Driver of one video receiver on the I2C bus: reads the timing the
// receiver publishes and drives its hot-plug line, restart and indicator,
// through the register interface of registers/tamix_regs.h. One instance per
// input (the HDMI 2.0 receiver of HDMI3 speaks the same interface).
//
// The interface is this project's own, not the receiver chips' real
// register map, so on the board the driver leaves the chips alone and
// reports no signal.
#pragma once

#include "app/global.h"

#include <QMutex>

class Drv_I2C0;

// One reading of a receiver. Vertical values count lines per field when
// `ip` is set.
struct RX_TIMING {
    bool answered = false;  // the receiver acknowledged
    bool signal = false;    // a stable timing is published
    u8 sequence = 0;        // changes whenever the published timing changes
    bool clock_doubled = false;
    i32 Hact = 0, Hsync = 0, Hback = 0, Hpol = 0, Htotal = 0;
    i32 Vact = 0, Vsync = 0, Vback = 0, Vpol = 0, Vtotal = 0;
    u32 pclk_khz = 0;
    i32 type = 0, datamode = 0, lane = 0, ip = 0;
};

class tamix_it6602 {
public:
    tamix_it6602(Drv_I2C0* bus, int source);

    // True when the receiver answers with its identity.
    bool probe();
    // Reads status, sequence and timing in one transfer into `out` (and keeps
    // it as the last measurement). False when the receiver did not answer.
    bool read(RX_TIMING& out);
    // The last reading (any thread).
    RX_TIMING measured();

    bool setHotPlug(bool high);
    bool setSelected(bool on);
    bool restart();

    int source() const { return source_; }
    u8 address() const { return address_; }

    // Whether the receivers on this machine speak the interface above.
    static bool interfaceAvailable();

private:
    bool writeControl(u8 value);

    Drv_I2C0* bus_;
    int source_;
    u8 address_;
    u8 levels_ = 0;  // hot-plug and indicator bits last written
    QMutex measured_mutex_;
    RX_TIMING measured_;
};
