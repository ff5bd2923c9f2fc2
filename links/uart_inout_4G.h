// The 4G modem's serial link on /dev/ttyS1, 115200 8N1: control frames from
// the cloud service arrive here as on the other links.
#pragma once

#include "links/serial_modules.h"

#include <string>

class Zt_uart_inout_4G {
public:
    static constexpr const char* kDevice = "/dev/ttyS1";
    static constexpr int kSpeed = 115200;

    static Zt_uart_inout_4G* p_Zt_uart_inout_4G;
    // Creates the link on the first call and starts its receive thread.
    static Zt_uart_inout_4G* pInstance();

    explicit Zt_uart_inout_4G(const std::string& device = kDevice);
    bool start() { return port_.start(); }
    void stop() { port_.stop(); }
    serial_modules& port() { return port_; }

private:
    serial_modules port_;
};
