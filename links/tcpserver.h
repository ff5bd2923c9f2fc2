// The TCP control server: a listening socket on the platform's bind address
// and one client at a time. A new connection replaces the one before it, so
// a PC whose connection died without closing can always come back. Every
// connection starts with a fresh codec state and a number of its own:
// frames queued for an earlier connection (a pass-through's card replies)
// are dropped, never sent on the one that replaced it.
#pragma once

#include "links/control_link.h"

#include <atomic>
#include <vector>

class tcpserver : public LinkTransport {
public:
    static constexpr size_t kReadSize = 65536;
    static constexpr int kBacklog = 4;
    static constexpr int kWriteWaitMs = 1000;  // a client that takes nothing for this long is dropped

    // `port` 0 listens on any free port (tests, benchmarks).
    explicit tcpserver(u16 port);
    ~tcpserver() override;

    bool openPort() override;
    bool isOpen() const override { return listenFd_ >= 0; }
    void closePort() override;
    int pollSet(pollfd* fds) override;
    void serveReady(const pollfd* fds, ControlLink& link) override;
    bool serveMore(ControlLink& link) override;
    bool write(const u8* data, size_t len) override;
    LinkPeer peer() const override { return LinkPeer::ofConnection(connection_); }
    bool writeTo(const LinkPeer& peer, const u8* data, size_t len) override;

    // Any thread: the port listened on; 0 while not listening.
    u16 port() const { return boundPort_.load(); }

private:
    void acceptClient();
    void dropClient();
    // Serves what the client sent; false when nothing had come (at once,
    // or within the linger when `flags` has no MSG_DONTWAIT) or it left.
    bool readClient(ControlLink& link, int flags);

    const u16 wantedPort_;
    std::atomic<u16> boundPort_{0};
    int listenFd_ = -1;
    int clientFd_ = -1;
    bool broken_ = false;   // a write to the client failed: it is let go
    u32 connection_ = 0;    // the client's number, counted from 1 at each accept
    bool lingers_ = false;  // the client's reads wait for the next request (LinkTransport::lingerReads)
    protocol_phy codec_;
    std::vector<u8> rx_;
};
