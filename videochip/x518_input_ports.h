// The chip manager's input-port record (x518_manage::ports), indexed by chip
// input port (0-3 parallel, 4-5 the V-by-One receivers): the timing each
// port's receiver last reported, the chip's own measurement and the state it
// classifies the port into, the port's active area, the flags through which
// a changed port asks the apply dispatcher to re-program its windows, the
// V-by-One lock attempts, the loss-of-signal probe, and the per-port levels
// of the input-channel picture processing. The input checks write it; the
// window programming and the dispatcher's watch half read it.
#pragma once

#include "app/global.h"
#include "registers/x518_regs.h"

// The last accepted copy of a port's reported timing (the receiver record
// without its `changed` word).
struct ST_PI_HDMI_INFO {
    i32 Hact, Hsync, Hback, Hpol, Htotal;
    i32 Vact, Vsync, Vback, Vpol, Vtotal;
    float pfreq;  // pixel clock, Hz
    i32 type;
    i32 datamode;
    i32 lane;
    i32 ip;        // 1 interlaced
    i32 nosignal;  // 1 no signal
};

// The chip's own measurement of an input port, 12 words.
struct ST_PI_PORT_INFO {
    i32 htt;  // total pixels per line
    i32 vtt;  // total lines
    i32 fhw;  // line period in reference-clock counts
    i32 fvm;  // frame period in reference-clock counts
    i32 hw;   // active width
    i32 state;
    i32 spare[4];
    i32 nosig;       // 1 no signal
    i32 need_ich14;  // 1 interlaced: only input channels 0-3 (the de-interlacers) will do
};

struct X518InputPorts {
    static constexpr int kPorts = x518::kPorts;
    static constexpr int kCmosPorts = x518::kCmosPorts;

    // ---- reported and measured timing
    ST_PI_HDMI_INFO PI_HDMI_INFO[kPorts] = {};
    ST_PI_PORT_INFO PI_PORT_INFO[kPorts] = {};
    i32 PI_STATE[kPorts] = {};
    i32 PI_SCAN_MODE[kPorts] = {};
    i32 PI_ACT[kPorts][4] = {};    // active area: HST, HW, VST, VW
    i32 port_act[kPorts][4] = {};  // the capture area the dot-by-dot windows use
    double PI_FPICLK[kPorts] = {};
    double PI_FH[kPorts] = {};
    double PI_FV[kPorts] = {};
    i32 PI_HTOTAL[kPorts] = {};
    i32 PI_VTOTAL[kPorts] = {};
    double PI_IFH[kPorts] = {};
    double PI_IFV[kPorts] = {};

    // ---- change requests and signal watch
    i32 PI_UPDATE[kPorts] = {};
    i32 g_chg_hdmi[kPorts] = {};
    // Resets of a V-by-One receiver without lock, one a measurement; the
    // count starts over at kVboRetryWrap.
    static constexpr u8 kVboRetryWrap = 30;
    u8 vbo_retry[x518::kVboReceivers] = {};
    u32 port_status[kPorts] = {};  // bit 7 probe for loss of signal, bit 0 no signal

    // ---- picture processing: levels per port (0 off, 1-3 strength, 4 also
    // for the motion filter); only input channels 0-3 carry the chain
    i32 PM_HNR[kPorts] = {}, PM_VNR[kPorts] = {}, PM_TNR[kPorts] = {}, PM_BNR[kPorts] = {};
    i32 PM_MNR[kPorts] = {}, PM_COMB[kPorts] = {}, PM_IPEN[kPorts] = {}, PM_DIAG[kPorts] = {};
    i32 PM_MVFLT[kPorts] = {}, PM_22PD[kPorts] = {}, PM_23PD[kPorts] = {};
    i32 PM_22PDSQTH[kPorts] = {}, PM_23PDSQTH[kPorts] = {}, PM_24SF[kPorts] = {};
    // Noise-reduction mode last written per parallel port (-1: none yet, so
    // the first one is always written).
    i32 nren_old[kCmosPorts] = {-1, -1, -1, -1};

    // ---- capture start offsets; a port whose windows must use memory format 2
    i32 PM_IACTHST[kPorts] = {}, PM_IACTVST[kPorts] = {};
    i32 port_fmt_lock[kPorts] = {};
};
