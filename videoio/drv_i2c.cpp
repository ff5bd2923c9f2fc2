#include "videoio/drv_i2c.h"

#include "platform/platform.h"
#include "registers/tamix_regs.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

namespace {

constexpr u16 kWriteFlags = 0;

i2c_msg message(u8 addr, u16 flags, u8* buf, int len)
{
    i2c_msg m;
    m.addr = addr;
    m.flags = flags;
    m.len = static_cast<u16>(len);
    m.buf = buf;
    return m;
}

}  // namespace

Drv_I2C0::~Drv_I2C0()
{
    if (fd_ >= 0)
        platform::devClose(fd_);
}

int Drv_I2C0::openDevice()
{
    QMutexLocker lock(&mutex_);
    if (fd_ < 0)
        fd_ = platform::devOpen(tamix::kI2cDevice, O_RDWR);
    if (fd_ < 0)
        KEL_DBG("\n[Drv_I2C0] %s: %s\n", tamix::kI2cDevice, std::strerror(errno));
    return fd_;
}

bool Drv_I2C0::readRegs(u8 addr, u8 reg, u8* buf, int len)
{
    if (len < 1 || len > kMaxBlock || !buf)
        return false;
    QMutexLocker lock(&mutex_);
    if (fd_ < 0)
        return false;
    i2c_msg msgs[2] = {message(addr, kWriteFlags, &reg, 1), message(addr, I2C_M_RD, buf, len)};
    i2c_rdwr_ioctl_data data{msgs, 2};
    return platform::devIoctl(fd_, I2C_RDWR, &data) == 2;
}

bool Drv_I2C0::writeRegs(u8 addr, u8 reg, const u8* data, int len)
{
    if (len < 0 || len > kMaxBlock || (len > 0 && !data))
        return false;
    u8 out[kMaxBlock + 1];
    out[0] = reg;
    if (len > 0)
        std::memcpy(out + 1, data, static_cast<size_t>(len));
    QMutexLocker lock(&mutex_);
    if (fd_ < 0)
        return false;
    i2c_msg msg = message(addr, kWriteFlags, out, len + 1);
    i2c_rdwr_ioctl_data rdwr{&msg, 1};
    return platform::devIoctl(fd_, I2C_RDWR, &rdwr) == 1;
}

bool Drv_I2C0::probe(u8 addr)
{
    QMutexLocker lock(&mutex_);
    if (fd_ < 0)
        return false;
    u8 byte = 0;
    i2c_msg msg = message(addr, I2C_M_RD, &byte, 1);
    i2c_rdwr_ioctl_data rdwr{&msg, 1};
    return platform::devIoctl(fd_, I2C_RDWR, &rdwr) == 1;
}
