// The FPGA manager.
#pragma once

#include "app/global.h"

class fpga_manage {
public:
    static fpga_manage* p_fpga_manage;

    // 16-bit GPIO words of the two FPGAs' SPI chip-select lines in the SoC
    // window (0 = selected, 16 = released); null until the window is mapped.
    volatile u16* gpio_cs_fpga0 = nullptr;
    volatile u16* gpio_cs_fpga1 = nullptr;
};
