// A UDP control server: one frame per datagram, one reply datagram per
// frame, sent where the platform says a broadcast to the sender's port goes
// (255.255.255.255 on the board, the sender on a host). Frames queued by
// other threads (a pass-through's card replies) go the same way to the
// sender they answer, whoever has spoken since.
#pragma once

#include "links/control_link.h"

#include <atomic>
#include <netinet/in.h>
#include <vector>

class udpserver : public LinkTransport {
public:
    static constexpr size_t kDatagramSize = 65536;

    // `port` 0 binds any free port (tests, benchmarks).
    explicit udpserver(u16 port);
    ~udpserver() override;

    bool openPort() override;
    bool isOpen() const override { return fd_ >= 0; }
    void closePort() override;
    int pollSet(pollfd* fds) override;
    void serveReady(const pollfd* fds, ControlLink& link) override;
    bool serveMore(ControlLink& link) override;
    bool write(const u8* data, size_t len) override;
    LinkPeer peer() const override;
    bool writeTo(const LinkPeer& peer, const u8* data, size_t len) override;

    // Any thread: the port bound; 0 while not bound.
    u16 port() const { return boundPort_.load(); }

private:
    const u16 wantedPort_;
    std::atomic<u16> boundPort_{0};
    int fd_ = -1;
    bool haveSender_ = false;
    bool lingers_ = false;  // reads wait for the next request (LinkTransport::lingerReads)
    // Serves one datagram; false when none had come (at once, or within the
    // linger when `flags` has no MSG_DONTWAIT).
    bool receive(ControlLink& link, int flags);
    sockaddr_in lastSender_{};  // the sender of the datagram served last
    protocol_phy codec_;        // fresh for every datagram
    std::vector<u8> rx_;
};
