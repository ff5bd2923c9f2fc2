#include "links/networkmanage.h"

networkManage* networkManage::p_networkManage = nullptr;

networkManage::networkManage(u16 port)
    : ControlLink(message_deal::LINK_TCP, "link-tcp", std::make_unique<tcpserver>(port), OpenFailure::Retry)
{}

networkManage* networkManage::pInstance()
{
    if (!p_networkManage) {
        p_networkManage = new networkManage(static_cast<u16>(settingsRead(g_port)));
        boxstate::made(p_networkManage, &networkManage::stop);
        if (g_networkMode == 1)
            p_networkManage->start();
    }
    return p_networkManage;
}
