#include "links/uart_inout_4G.h"

Zt_uart_inout_4G* Zt_uart_inout_4G::p_Zt_uart_inout_4G = nullptr;

Zt_uart_inout_4G::Zt_uart_inout_4G(const std::string& device)
    : port_({device, kSpeed, false, message_deal::LINK_4G, "link-4g"})
{}

Zt_uart_inout_4G* Zt_uart_inout_4G::pInstance()
{
    if (!p_Zt_uart_inout_4G) {
        p_Zt_uart_inout_4G = new Zt_uart_inout_4G;
        boxstate::made(p_Zt_uart_inout_4G, &Zt_uart_inout_4G::stop);
        p_Zt_uart_inout_4G->start();
    }
    return p_Zt_uart_inout_4G;
}
