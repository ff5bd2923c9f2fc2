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

struct SpeedEntry {
    int speed;
    speed_t code;
};
constexpr SpeedEntry kSpeeds[] = {
    {1200, B1200},   {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

}  // namespace

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
    // clang-format off
    case 'N': case 'n': break;
    case 'E': case 'e': tio.c_cflag |= PARENB; tio.c_iflag |= INPCK; break;
    case 'O': case 'o': tio.c_cflag |= PARENB | PARODD; tio.c_iflag |= INPCK; break;
    // clang-format on
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

// ------------------------------------------------------------------ the port

namespace {

class SerialPort : public LinkTransport {
public:
    explicit SerialPort(const serial_modules::Options& options) : options_(options) {}
    ~SerialPort() override { closePort(); }

    bool openPort() override;
    bool isOpen() const override { return fd_ >= 0; }
    void closePort() override;
    int pollSet(pollfd* fds) override
    {
        fds[0] = {fd_, POLLIN, 0};
        return 1;
    }
    void serveReady(const pollfd* fds, ControlLink& link) override;
    bool write(const u8* data, size_t len) override;

private:
    void setRts(bool transmit);

    const serial_modules::Options options_;
    int fd_ = -1;
    protocol_phy codec_;
    std::vector<u8> rx_;
};

bool SerialPort::openPort()
{
    closePort();
    fd_ = platform::serialOpen(options_.device);
    if (fd_ < 0) {
        KEL_DBG("\n[%s] cannot open %s: %s\n", options_.name, options_.device.c_str(), std::strerror(errno));
        return false;
    }
    const int speed = options_.speed > 0 ? options_.speed : kDefaultSpeed;
    if (serial_modules::set_speed(fd_, speed) != 0 || serial_modules::set_parity(fd_, 8, 1, 'N') != 0) {
        const int err = errno;
        KEL_DBG("\n[%s] cannot set up %s: %s\n", options_.name, options_.device.c_str(), std::strerror(err));
        closePort();
        errno = err;
        return false;
    }
    setRts(false);
    rx_.resize(serial_modules::readSize());
    codec_.reset();
    return true;
}

void SerialPort::closePort()
{
    if (fd_ >= 0)
        platform::serialClose(fd_);
    fd_ = -1;
}

void SerialPort::serveReady(const pollfd* fds, ControlLink& link)
{
    if (!(fds[0].revents & POLLIN)) {
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            link.pause();  // a port in trouble: look again a tick later, never spin
        return;
    }
    const ssize_t n = ::read(fd_, rx_.data(), rx_.size());
    if (n > 0)
        link.serve(codec_, rx_.data(), static_cast<size_t>(n));
    else if (n == 0 || (errno != EAGAIN && errno != EINTR))
        link.pause();  // readable but nothing read: pace the loop
}

bool SerialPort::write(const u8* data, size_t len)
{
    setRts(true);
    const bool whole = writeWhole(fd_, FdKind::Device, data, len, kWriteWaitMs);
    if (!whole)
        KEL_DBG("\n[%s] frame of %zu bytes not sent whole\n", options_.name, len);
    tcdrain(fd_);
    setRts(false);
    return whole;
}

void SerialPort::setRts(bool transmit)
{
    if (!options_.rs485)
        return;
    int bits = TIOCM_RTS;
    const int rc = platform::devIoctl(fd_, transmit ? TIOCMBIS : TIOCMBIC, &bits);
    // A pseudo-terminal (host) has no modem lines; only the board's port must obey.
    if (rc != 0 && platform::backend() == platform::Backend::Board)
        KEL_DBG("\n[%s] RTS %s failed: %s\n", options_.name, transmit ? "on" : "off", std::strerror(errno));
}

}  // namespace

serial_modules::serial_modules(const Options& options)
    : ControlLink(options.link, options.name, std::make_unique<SerialPort>(options), OpenFailure::GiveUp)
{}
