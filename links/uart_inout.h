// The RS-485 control link on /dev/ttyS2: g_BPS baud (115200), 8N1, RTS high
// while the box transmits.
#pragma once

#include "links/serial_modules.h"

#include <string>

class Zt_uart_inout {
public:
    static constexpr const char* kDevice = "/dev/ttyS2";

    static Zt_uart_inout* p_Zt_uart_inout;
    // Creates the link on the first call and starts its receive thread.
    static Zt_uart_inout* pInstance();

    explicit Zt_uart_inout(const std::string& device = kDevice);
    bool start() { return port_.start(); }
    void stop() { port_.stop(); }
    serial_modules& port() { return port_; }

private:
    serial_modules port_;
};
