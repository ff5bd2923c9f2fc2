// The TCP control server: a listening socket on the platform's bind address
// and one client at a time. A new connection replaces the one before it, so
// a PC whose connection died without closing can always come back. Every
// connection starts with a fresh codec state.
#pragma once

#include "app/global.h"
#include "links/message_deal.h"
#include "links/protocol_phy.h"
#include "links/send_list.h"

#include <vector>

class tcpserver {
public:
    static constexpr size_t kReadSize = 65536;
    static constexpr int kBacklog = 4;
    static constexpr int kWriteWaitMs = 1000;  // a client that takes nothing for this long is dropped

    explicit tcpserver(message_deal& handler);
    ~tcpserver();
    tcpserver(const tcpserver&) = delete;
    tcpserver& operator=(const tcpserver&) = delete;

    // Listens on `port` (0: any free port). False with errno on failure.
    bool listen(u16 port);
    bool listening() const { return listenFd_ >= 0; }
    u16 port() const;
    bool hasClient() const { return clientFd_ >= 0; }
    void close();

    // One round of the link's thread: sends what the send list holds, waits
    // for a connection, client bytes or the send list, and serves them.
    void serveOnce(send_list& sends, int timeoutMs);

private:
    void acceptClient();
    void dropClient();
    void readClient();
    bool writeAll(const std::vector<u8>& data);

    message_deal& handler_;
    int listenFd_ = -1;
    int clientFd_ = -1;
    protocol_phy codec_;
    std::vector<u8> rx_;
};
