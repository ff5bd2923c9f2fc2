// Requests a PC sends while the settings pages are open.
#pragma once

#include "app/global.h"
#include "links/message_deal.h"

#include <vector>

// A PC sets the box's address, mask and gateway (twelve octets) over UDP
// (0x03), keeping the port: the reply's status.
inline u8 pcSetsAddress(std::vector<u8> octets)
{
    const u16 port = static_cast<u16>(settingsRead(g_port));
    octets.push_back(static_cast<u8>(port & 0xFF));
    octets.push_back(static_cast<u8>(port >> 8));
    CTRL_FRAME request;
    request.target = ctrl::kAddrBox;
    request.source = ctrl::kAddrPc;
    request.command = message_deal::CMD_NET_ADDRESS;
    request.append(octets.data(), octets.size());
    message_deal link{message_deal::LINK_UDP};
    CTRL_FRAME reply;
    link.deal(request, reply);
    return reply.length ? reply.payload[0] : 0xFF;
}
