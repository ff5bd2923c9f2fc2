// The TCP control link: the server on the control port (g_port) and its
// accept-and-receive thread, with the link's command handler and send list.
#pragma once

#include "app/global.h"
#include "links/message_deal.h"
#include "links/send_list.h"
#include "links/tcpserver.h"

#include <atomic>
#include <thread>

class networkManage {
public:
    static networkManage* p_networkManage;
    // Creates the link on the first call and, while g_networkMode is 1,
    // starts its thread on g_port.
    static networkManage* pInstance();

    // `port` 0 listens on any free port (tests, benchmarks).
    explicit networkManage(u16 port);
    ~networkManage();
    networkManage(const networkManage&) = delete;
    networkManage& operator=(const networkManage&) = delete;

    // Starts the thread; true when the port is already bound. When it is
    // not (another program holds it), the thread tries again once a second.
    bool start();
    void stop();
    // The port listened on; 0 while not bound.
    u16 port() const { return boundPort_.load(); }
    // Any thread: queues an encoded frame for the client.
    void send(std::vector<u8> frame) { sends_.push(std::move(frame)); }

private:
    static constexpr int kRebindMs = 1000;

    bool bind();
    void run();

    u16 wantedPort_;
    message_deal handler_;
    send_list sends_;
    tcpserver server_;
    std::atomic<u16> boundPort_{0};
    std::thread thread_;
};
