#include "links/udpnetmanage.h"

#include "platform/platform.h"

#include <cerrno>
#include <cstring>

udpnetManage* udpnetManage::p_udpnetManage = nullptr;

udpnetManage::udpnetManage(u16 port) : wantedPort_(port), handler_(message_deal::LINK_UDP), server_(handler_) {}

udpnetManage::~udpnetManage() { stop(); }

udpnetManage* udpnetManage::pInstance()
{
    if (!p_udpnetManage) {
        p_udpnetManage = new udpnetManage(kControlPort);
        if (g_udpnetmode == 1)
            p_udpnetManage->start();
    }
    return p_udpnetManage;
}

bool udpnetManage::bind()
{
    if (!server_.bindPort(wantedPort_)) {
        KEL_DBG("\n[udpnetManage] cannot bind port %u: %s\n", wantedPort_, std::strerror(errno));
        return false;
    }
    boundPort_ = server_.port();
    return true;
}

bool udpnetManage::start()
{
    if (thread_.joinable())
        return server_.isOpen();
    const bool bound = bind();
    if (!bound)
        writeLogMsg(LOG_ERROR, "udpnetManage: UDP bind failed");
    message_deal::attach_link(message_deal::LINK_UDP, [this](std::vector<u8> f) { sends_.push(std::move(f)); });
    thread_ = std::thread([this] {
        platform::nameThread("link-udp");
        run();
    });
    return bound;
}

void udpnetManage::stop()
{
    if (!thread_.joinable())
        return;
    sends_.requestStop();
    thread_.join();
    message_deal::detach_link(message_deal::LINK_UDP);
    server_.close();
    boundPort_ = 0;
}

void udpnetManage::run()
{
    while (!sends_.stopping()) {
        if (!server_.isOpen() && !bind()) {
            sends_.waitWake(kRebindMs);
            continue;
        }
        server_.serveOnce(sends_, message_deal::poll_timeout_ms(message_deal::LINK_UDP));
        message_deal::expire_pending(message_deal::LINK_UDP);
    }
}
