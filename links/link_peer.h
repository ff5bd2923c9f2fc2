// Who a request came from on a control link, so that an answer given later
// (a pass-through's card replies) goes back to that peer and no other: a
// datagram link answers the sender's address, a connection link the
// connection the request came on, a serial line its one peer.
#pragma once

#include "app/global.h"

#include <netinet/in.h>

struct LinkPeer {
    u32 connection = 0;  // the connection's number, from 1 (a connection link); 0 none
    bool hasAddress = false;
    sockaddr_in address{};  // the sender (a datagram link)

    static LinkPeer ofConnection(u32 n)
    {
        LinkPeer p;
        p.connection = n;
        return p;
    }
    static LinkPeer ofAddress(const sockaddr_in& a)
    {
        LinkPeer p;
        p.hasAddress = true;
        p.address = a;
        return p;
    }
};
