#include "links/udpnetmanage.h"

udpnetManage* udpnetManage::p_udpnetManage = nullptr;

udpnetManage::udpnetManage(u16 port)
    : ControlLink(message_deal::LINK_UDP, "link-udp", std::make_unique<udpserver>(port), OpenFailure::Retry)
{}

udpnetManage* udpnetManage::pInstance()
{
    if (!p_udpnetManage) {
        p_udpnetManage = new udpnetManage(kControlPort);
        boxstate::made(p_udpnetManage, &udpnetManage::stop);
        if (g_udpnetmode == 1)
            p_udpnetManage->start();
    }
    return p_udpnetManage;
}
