// What every control link shares: one thread that waits on the link's port
// and on its send list, feeds what arrives through the frame codec to the
// command handler, writes the replies and the frames other threads queued,
// and keeps the link registered for pass-through replies while it runs. A
// transport (the TCP server, the UDP server, a serial port) supplies only
// what differs: opening its port, what to wait on, reading and writing.
//
// A request costs no heap allocation: the read buffer, the codec's frame,
// the reply and its encoding are the link's own and reused. After a request
// a socket link waits a moment for the next one in the read itself, so a
// peer that asks again as soon as it has its answer costs one wake-up and
// one read per request, as a plain server's would, not a poll() and a read.
#pragma once

#include "app/global.h"
#include "links/message_deal.h"
#include "links/protocol_phy.h"
#include "links/send_list.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <poll.h>
#include <thread>
#include <vector>

class ControlLink;

class LinkTransport {
public:
    // Descriptors a transport may wait on besides the send list.
    static constexpr int kMaxPollFds = 2;

    virtual ~LinkTransport() = default;

    // Opens the port (binds the socket, opens the device). False with errno
    // set when it cannot.
    virtual bool openPort() = 0;
    virtual bool isOpen() const = 0;
    virtual void closePort() = 0;
    // Link thread, before each wait: settles what the last round left
    // (a broken connection is let go) and fills in the descriptors to wait
    // on, at most kMaxPollFds; returns how many.
    virtual int pollSet(pollfd* fds) = 0;
    // Link thread, after the wait: serves what the descriptors (as filled in
    // by pollSet) report, handing received bytes to link.serve().
    virtual void serveReady(const pollfd* fds, ControlLink& link) = 0;
    // Link thread, after serveReady: waits at most kLingerMs for the peer's
    // next request in the read itself and serves it. False when none came
    // (or the port is gone): the link goes back to its wait in poll().
    virtual bool serveMore(ControlLink&) { return false; }
    // How long a socket transport's read waits for the next request.
    static constexpr int kLingerMs = 2;
    // Link thread: writes one encoded frame, the reply to the request being
    // served, to the peer it came from. False when it did not go out whole.
    virtual bool write(const u8* data, size_t len) = 0;
    // Link thread, while a request is served: who it came from.
    virtual LinkPeer peer() const { return {}; }
    // Link thread: writes a frame queued by another thread to `peer`; a
    // peer that is gone (another connection took its place) gets nothing.
    // A transport with one peer writes it as write() does.
    virtual bool writeTo(const LinkPeer& peer, const u8* data, size_t len)
    {
        (void)peer;
        return write(data, len);
    }

    // A socket whose reads wait at most kLingerMs (and whose writes never
    // wait: they say MSG_DONTWAIT). False with errno when it cannot be made so.
    static bool lingerReads(int fd);
    // A non-blocking socket of `type` bound to the platform's bind address
    // and `port` (0: any free port), with the socket option `option` set
    // (0: none). -1 with errno on failure. The Wi-Fi AT port binds with it too.
    static int bindSocket(int type, u16 port, int option);
    // The port a socket is bound to; 0 when it is not.
    static u16 localPort(int fd);

protected:
    enum class FdKind { Socket, Device };
    // Writes all of `data`, waiting up to `waitMs` each time the descriptor
    // takes nothing. False on an error or such a wait in vain.
    static bool writeWhole(int fd, FdKind kind, const u8* data, size_t len, int waitMs);
};

class ControlLink {
public:
    // What start() does when the port cannot be opened.
    enum class OpenFailure {
        Retry,   // the thread starts anyway and tries again every kReopenMs
        GiveUp,  // the link stays silent
    };

    // `link` is the message_deal::Link; `name` names the link's thread (as
    // `top -H` shows it, at most 15 characters) and its diagnostics.
    ControlLink(u8 link, const char* name, std::unique_ptr<LinkTransport> transport, OpenFailure onFailure);
    ~ControlLink();
    ControlLink(const ControlLink&) = delete;
    ControlLink& operator=(const ControlLink&) = delete;

    // Opens the port and starts the link's thread. True when the port is
    // open (a link that retries runs even when it is not).
    bool start();
    // Ends the thread and closes the port.
    void stop();
    bool running() const { return thread_.joinable(); }
    // Any thread: queues an encoded frame for `peer` (none: a serial link's
    // one peer; a network link has nobody to send it to).
    void send(std::vector<u8> frame, const LinkPeer& peer = {}) { sends_.push(std::move(frame), peer); }

    // ---- for the transport, on the link's thread
    // Serves the frames in received bytes, at most `maxFrames` of them; each
    // reply goes out through the transport at once.
    void serve(protocol_phy& codec, const u8* data, size_t len, size_t maxFrames = SIZE_MAX);
    // The port is in trouble: sleeps a tick (or until woken), so the thread
    // looks again later and never spins.
    void pause();

protected:
    LinkTransport& transport() { return *transport_; }
    const LinkTransport& transport() const { return *transport_; }

private:
    static constexpr int kReopenMs = 1000;
    static constexpr int kTroubleMs = 10;
    // Requests read after a wait before the next wait: a peer that asks
    // again as soon as it has its answer is served with one read per
    // request, and the listening socket and the transfer timeouts are still
    // looked at after this many (queued frames stop the run at once).
    static constexpr int kReadsPerWait = 256;

    void run();
    void writeQueued();

    const u8 link_;
    const char* const name_;
    const OpenFailure onFailure_;
    std::unique_ptr<LinkTransport> transport_;
    message_deal handler_;
    send_list sends_;
    std::deque<send_list::Queued> queued_;  // frames taken from the send list
    std::thread thread_;
};
