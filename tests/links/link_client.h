// A PC's end of the control links, for the tests: it frames requests with
// the codec and reassembles replies, over TCP, UDP or a serial port (the
// pseudo-terminal a host box publishes); and links started in this process
// with such a client on them.
#pragma once

#include "links/link_peer.h"
#include "links/protocol_phy.h"

#include <gtest/gtest.h>

#include <deque>
#include <netinet/in.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class LinkClient {
public:
    virtual ~LinkClient();

    // A box at `address` (dotted; "" for the box running in this process).
    static std::unique_ptr<LinkClient> tcp(uint16_t port, const std::string& address = {});
    static std::unique_ptr<LinkClient> udp(uint16_t port, const std::string& address = {});
    // Opens a serial port by its path on this machine (the box's published link).
    static std::unique_ptr<LinkClient> serial(const std::string& path);

    bool ok() const { return fd_ >= 0; }
    // Sends raw bytes as they are.
    bool sendRaw(const std::vector<u8>& bytes);
    bool send(const CTRL_FRAME& frame);
    // The next reply frame, or nothing after `ms` milliseconds.
    std::optional<CTRL_FRAME> receive(int ms = 5000);
    // Sends and waits for the reply.
    std::optional<CTRL_FRAME> request(const CTRL_FRAME& frame, int ms = 5000);
    // Sends and gives the reply's status, kNoReply when none came.
    u8 ask(const CTRL_FRAME& frame, int ms = 5000);
    static constexpr u8 kNoReply = 0xFE;
    // The socket's own address (a network client), as the box sees the sender.
    sockaddr_in localAddress() const;

protected:
    explicit LinkClient(int fd);
    // Reads what is there into the codec; false on error or end of stream.
    virtual bool readSome();
    virtual bool write(const u8* data, size_t len);

    int fd_;
    protocol_phy codec_;
    std::deque<CTRL_FRAME> frames_;
};

// A request frame from the PC to the box.
CTRL_FRAME pcRequest(u8 command, const std::vector<u8>& payload, u8 sub = 0, u8 target = ctrl::kAddrBox);
// The status byte of a reply (255 for an empty payload).
u8 statusOf(const CTRL_FRAME& reply);
std::vector<u8> replyData(const CTRL_FRAME& reply);  // payload after the status
std::vector<u8> le16(uint16_t v);
std::vector<u8> le32(uint32_t v);
std::vector<u8> cat(std::initializer_list<std::vector<u8>> parts);
// Bytes written as hex pairs, spaces between them ignored ("A5 00 FE").
std::vector<u8> hex(const std::string& text);
// A box's socket address: `address` (dotted; "" for the box running in this
// process, platform::netBindAddress()) at `port`.
sockaddr_in boxEndpoint(uint16_t port, const std::string& address = {});

class ControlLink;

// A control link of one kind in this process (TCP or UDP on any free port,
// RS-485 on its pseudo-terminal), started, with a PC's client on it; no
// client when it did not start.
enum class LinkKind { Tcp, Udp, Rs485 };
struct TestLink {
    std::shared_ptr<ControlLink> link;
    std::unique_ptr<LinkClient> client;  // declared after the link: closed first
    u8 id = 0;                           // the message_deal::Link
    LinkKind kind = LinkKind::Tcp;
    uint16_t port = 0;  // TCP and UDP: where the link listens

    // Another PC's client on the link: a new connection, a new socket, the
    // serial line opened again.
    std::unique_ptr<LinkClient> connect() const;
    // The box's name for `client`, the link's first client, as a frame
    // queued for it carries it: the first connection, the sender's address,
    // the serial line's one peer.
    LinkPeer firstClientPeer() const;
    void stop()
    {
        client.reset();
        link.reset();
    }
};
TestLink startTestLink(LinkKind kind);
std::string linkKindName(const testing::TestParamInfo<LinkKind>& info);
