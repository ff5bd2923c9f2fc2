// Board back end of the serial ports and the network: the real ports, every
// interface, real broadcasts.
#include "platform/platform.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {

int serialOpen(const std::string& boxPath)
{
    return ::open(boxPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

int serialClose(int fd)
{
    return ::close(fd);
}

uint32_t netBindAddress()
{
    return INADDR_ANY;
}

sockaddr_in netBroadcastReply(const sockaddr_in& sender)
{
    sockaddr_in to = sender;
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    return to;
}

}  // namespace platform
