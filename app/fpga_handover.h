// What the chip manager asks of the FPGA manager, which sits above it (the
// FPGA manager's USB upgrade writes the chip's flash). The FPGA manager
// installs itself as the receiver when it is made; before that every request
// is dropped, as there is no FPGA side to tell (docs/threads.md).
#pragma once

#include <atomic>

class FpgaHandover {
public:
    // The FPGA manager once it exists, else null.
    static inline std::atomic<FpgaHandover*> receiver{nullptr};

    // Releases both FPGAs' chip selects: while the chip is addressed no FPGA
    // may listen on the shared SPI bus.
    virtual void releaseChipSelects() = 0;
    // The block's LED switch changed (`led_off`).
    virtual void raiseOutputChanged() = 0;
    // The brightness changed; raised under Utils::_bri_set_mutex.
    virtual void raiseBrightnessChanged() = 0;
    // Starts the FPGA manager's next pass now (a raised LED set-up flag).
    virtual void wake() = 0;

protected:
    ~FpgaHandover() = default;
};
