#include "links/serial_modules.h"

#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int kDefaultSpeed = 115200;
constexpr int kReadSizeShift = 10;
constexpr size_t kReadSizeLow = 28;
constexpr int kWriteWaitMs = 200;  // a port that takes nothing for this long drops the frame
constexpr int kTickMs = 10;

struct SpeedEntry {
    int speed;
    speed_t code;
};
constexpr SpeedEntry kSpeeds[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
    {921600, B921600},
};

}  // namespace

serial_modules::serial_modules(Options options) : options_(std::move(options)), handler_(options_.link) {}

serial_modules::~serial_modules() { stop(); }

speed_t serial_modules::baud(int speed)
{
    for (const SpeedEntry& e : kSpeeds)
        if (e.speed == speed)
            return e.code;
    return B115200;
}

size_t serial_modules::readSize()
{
    const int factor = g_dataLen > 0 ? g_dataLen : 1;
    return (static_cast<size_t>(factor) << kReadSizeShift) | kReadSizeLow;
}

int serial_modules::set_speed(int fd, int speed)
{
    termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return -1;
    const speed_t code = baud(speed);
    if (cfsetispeed(&tio, code) != 0 || cfsetospeed(&tio, code) != 0)
        return -1;
    tcflush(fd, TCIOFLUSH);
    return tcsetattr(fd, TCSANOW, &tio) == 0 ? 0 : -1;
}

int serial_modules::set_parity(int fd, int databits, int stopbits, char parity)
{
    termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return -1;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                          IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (databits) {
    case 7: tio.c_cflag |= CS7; break;
    case 8: tio.c_cflag |= CS8; break;
    default: return -1;
    }
    switch (parity) {
    case 'N': case 'n': break;
    case 'E': case 'e': tio.c_cflag |= PARENB; tio.c_iflag |= INPCK; break;
    case 'O': case 'o': tio.c_cflag |= PARENB | PARODD; tio.c_iflag |= INPCK; break;
    default: return -1;
    }
    switch (stopbits) {
    case 1: break;
    case 2: tio.c_cflag |= CSTOPB; break;
    default: return -1;
    }
    tio.c_cc[VMIN] = 0;  // reads never wait: the thread waits in poll()
    tio.c_cc[VTIME] = 0;
    tcflush(fd, TCIFLUSH);
    return tcsetattr(fd, TCSANOW, &tio) == 0 ? 0 : -1;
}

bool serial_modules::start()
{
    if (running())
        return true;
    fd_ = platform::serialOpen(options_.device);
    if (fd_ < 0) {
        KEL_DBG("\n[%s] cannot open %s: %s\n", options_.name, options_.device.c_str(), std::strerror(errno));
        writeLogMsg(LOG_ERROR, std::string(options_.name) + ": cannot open " + options_.device);
        return false;
    }
    const int speed = options_.speed > 0 ? options_.speed : kDefaultSpeed;
    if (set_speed(fd_, speed) != 0 || set_parity(fd_, 8, 1, 'N') != 0) {
        KEL_DBG("\n[%s] cannot set up %s: %s\n", options_.name, options_.device.c_str(), std::strerror(errno));
        platform::serialClose(fd_);
        fd_ = -1;
        return false;
    }
    setRts(false);
    rx_.resize(readSize());
    message_deal::attach_link(options_.link, [this](std::vector<u8> f) { sends_.push(std::move(f)); });
    thread_ = std::thread([this] {
        platform::nameThread(options_.link == message_deal::LINK_4G ? "link-4g" : "link-rs485");
        run();
    });
    return true;
}

void serial_modules::stop()
{
    if (!running())
        return;
    sends_.requestStop();
    thread_.join();
    message_deal::detach_link(options_.link);
    platform::serialClose(fd_);
    fd_ = -1;
}

void serial_modules::run()
{
    while (!sends_.stopping()) {
        for (const auto& frame : sends_.take())
            writeFrame(frame);
        pollfd fds[2] = {{sends_.wakeFd(), POLLIN, 0}, {fd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, message_deal::poll_timeout_ms(options_.link));
        if (ready < 0 && errno != EINTR) {
            sends_.waitWake(kTickMs);
            continue;
        }
        if (fds[0].revents & POLLIN)
            sends_.clearWake();
        if (fds[1].revents & POLLIN)
            serveInput();
        else if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL))
            sends_.waitWake(kTickMs);  // a port in trouble: look again a tick later, never spin
        message_deal::expire_pending(options_.link);
    }
}

void serial_modules::serveInput()
{
    const ssize_t n = ::read(fd_, rx_.data(), rx_.size());
    if (n > 0) {
        handler_.receive(codec_, rx_.data(), static_cast<size_t>(n),
                         [this](const std::vector<u8>& reply) { writeFrame(reply); });
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    sends_.waitWake(kTickMs);  // readable but nothing read: pace the loop
}

void serial_modules::writeFrame(const std::vector<u8>& frame)
{
    setRts(true);
    if (!writeAll(frame.data(), frame.size()))
        KEL_DBG("\n[%s] reply of %zu bytes not sent whole\n", options_.name, frame.size());
    tcdrain(fd_);
    setRts(false);
}

bool serial_modules::writeAll(const u8* data, size_t len)
{
    while (len > 0) {
        const ssize_t n = ::write(fd_, data, len);
        if (n > 0) {
            data += n;
            len -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, kWriteWaitMs) <= 0)
            return false;
    }
    return true;
}

void serial_modules::setRts(bool transmit)
{
    if (!options_.rs485)
        return;
    int bits = TIOCM_RTS;
    const int rc = platform::devIoctl(fd_, transmit ? TIOCMBIS : TIOCMBIC, &bits);
    // A pseudo-terminal (host) has no modem lines; only the board's port must obey.
    if (rc != 0 && platform::backend() == platform::Backend::Board)
        KEL_DBG("\n[%s] RTS %s failed: %s\n", options_.name, transmit ? "on" : "off", std::strerror(errno));
}
