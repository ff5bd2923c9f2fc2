#include "links/networkmanage.h"

#include "platform/platform.h"

#include <cerrno>
#include <cstring>

networkManage* networkManage::p_networkManage = nullptr;

networkManage::networkManage(u16 port) : wantedPort_(port), handler_(message_deal::LINK_TCP), server_(handler_) {}

networkManage::~networkManage() { stop(); }

networkManage* networkManage::pInstance()
{
    if (!p_networkManage) {
        p_networkManage = new networkManage(static_cast<u16>(settingsRead(g_port)));
        if (g_networkMode == 1)
            p_networkManage->start();
    }
    return p_networkManage;
}

bool networkManage::bind()
{
    if (!server_.listen(wantedPort_)) {
        KEL_DBG("\n[networkManage] cannot listen on port %u: %s\n", wantedPort_, std::strerror(errno));
        return false;
    }
    boundPort_ = server_.port();
    return true;
}

bool networkManage::start()
{
    if (thread_.joinable())
        return server_.listening();
    const bool bound = bind();
    if (!bound)
        writeLogMsg(LOG_ERROR, "networkManage: TCP bind failed");
    message_deal::attach_link(message_deal::LINK_TCP, [this](std::vector<u8> f) { sends_.push(std::move(f)); });
    thread_ = std::thread([this] {
        platform::nameThread("link-tcp");
        run();
    });
    return bound;
}

void networkManage::stop()
{
    if (!thread_.joinable())
        return;
    sends_.requestStop();
    thread_.join();
    message_deal::detach_link(message_deal::LINK_TCP);
    server_.close();
    boundPort_ = 0;
}

void networkManage::run()
{
    while (!sends_.stopping()) {
        if (!server_.listening() && !bind()) {
            sends_.waitWake(kRebindMs);
            continue;
        }
        server_.serveOnce(sends_, message_deal::poll_timeout_ms(message_deal::LINK_TCP));
        message_deal::expire_pending(message_deal::LINK_TCP);
    }
}
