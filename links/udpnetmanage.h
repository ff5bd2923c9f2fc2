// The UDP control link on port 5008: its receive thread, command handler and
// send list.
#pragma once

#include "app/global.h"
#include "links/message_deal.h"
#include "links/send_list.h"
#include "links/udpserver.h"

#include <QObject>
#include <atomic>
#include <thread>

class udpnetManage : public QObject {
    Q_OBJECT
public:
    static constexpr u16 kControlPort = 5008;

    static udpnetManage* p_udpnetManage;
    // Creates the link on the first call and, while g_udpnetmode is 1,
    // starts its receive thread on port 5008.
    static udpnetManage* pInstance();

    // `port` 0 binds any free port (tests, benchmarks).
    explicit udpnetManage(u16 port = kControlPort);
    ~udpnetManage() override;

    // Starts the thread; true when the port is already bound. When it is
    // not (another program holds it), the thread tries again once a second.
    bool start();
    void stop();
    // The port bound; 0 while not bound.
    u16 port() const { return boundPort_.load(); }
    // Any thread: queues an encoded frame for the last sender.
    void send(std::vector<u8> frame) { sends_.push(std::move(frame)); }

private:
    static constexpr int kRebindMs = 1000;

    bool bind();
    void run();

    u16 wantedPort_;
    message_deal handler_;
    send_list sends_;
    udpserver server_;
    std::atomic<u16> boundPort_{0};
    std::thread thread_;
};
