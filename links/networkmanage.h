// The TCP control link: the server on the control port (g_port), run by the
// link base's thread with the link's command handler and send list.
#pragma once

#include "links/control_link.h"
#include "links/tcpserver.h"

class networkManage : public ControlLink {
public:
    static networkManage* p_networkManage;
    // Creates the link on the first call and, while g_networkMode is 1,
    // starts its thread on g_port.
    static networkManage* pInstance();

    // `port` 0 listens on any free port (tests, benchmarks). start() is true
    // when the port is bound at once; when it is not (another program holds
    // it), the thread tries again once a second.
    explicit networkManage(u16 port);
    // The port listened on; 0 while not bound.
    u16 port() const { return static_cast<const tcpserver&>(transport()).port(); }
};
