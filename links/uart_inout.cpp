#include "links/uart_inout.h"

Zt_uart_inout* Zt_uart_inout::p_Zt_uart_inout = nullptr;

Zt_uart_inout::Zt_uart_inout(const std::string& device)
    : port_({device, g_BPS, true, message_deal::LINK_SERIAL, "link-rs485"})
{}

Zt_uart_inout* Zt_uart_inout::pInstance()
{
    if (!p_Zt_uart_inout) {
        p_Zt_uart_inout = new Zt_uart_inout;
        boxstate::made(p_Zt_uart_inout, &Zt_uart_inout::stop);
        p_Zt_uart_inout->start();
    }
    return p_Zt_uart_inout;
}
