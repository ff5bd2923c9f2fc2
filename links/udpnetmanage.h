// The UDP control link on port 5008: the server, run by the link base's
// thread with the link's command handler and send list.
#pragma once

#include "links/control_link.h"
#include "links/udpserver.h"

#include <QObject>

class udpnetManage : public QObject, public ControlLink {
    Q_OBJECT
public:
    static constexpr u16 kControlPort = 5008;

    static udpnetManage* p_udpnetManage;
    // Creates the link on the first call and, while g_udpnetmode is 1,
    // starts its thread on port 5008.
    static udpnetManage* pInstance();

    // `port` 0 binds any free port (tests, benchmarks). start() is true when
    // the port is bound at once; when it is not (another program holds it),
    // the thread tries again once a second.
    explicit udpnetManage(u16 port = kControlPort);
    // The port bound; 0 while not bound.
    u16 port() const { return static_cast<const udpserver&>(transport()).port(); }
};
