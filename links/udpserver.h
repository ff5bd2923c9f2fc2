// A UDP control server: one frame per datagram, one reply datagram per
// frame, sent where the platform says a broadcast to the sender's port goes
// (255.255.255.255 on the board, the sender on a host).
#pragma once

#include "app/global.h"
#include "links/message_deal.h"
#include "links/protocol_phy.h"
#include "links/send_list.h"

#include <netinet/in.h>
#include <vector>

class udpserver {
public:
    static constexpr size_t kDatagramSize = 65536;

    explicit udpserver(message_deal& handler);
    ~udpserver();
    udpserver(const udpserver&) = delete;
    udpserver& operator=(const udpserver&) = delete;

    // Binds `port` (0: any free port). False with errno on failure.
    bool bindPort(u16 port);
    bool isOpen() const { return fd_ >= 0; }
    u16 port() const;
    void close();

    // One round of the link's thread: sends what the send list holds (to the
    // last sender), waits for a datagram or the send list, serves it.
    void serveOnce(send_list& sends, int timeoutMs);

private:
    void readDatagram();
    void sendTo(const std::vector<u8>& frame, const sockaddr_in& sender);

    message_deal& handler_;
    int fd_ = -1;
    bool haveSender_ = false;
    sockaddr_in lastSender_{};
    std::vector<u8> rx_;
};
