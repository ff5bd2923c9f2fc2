// Access to the box's I2C bus 0 (/dev/i2c-0) through i2c-dev's I2C_RDWR:
// each operation is one list of messages, so a register read (write the
// register, read the data with a repeated start) reaches the device as one
// step. The input-source manager owns the one instance.
#pragma once

#include "app/global.h"

#include <QMutex>

class Drv_I2C0 {
public:
    static constexpr int kMaxBlock = 256;  // the longest read or write an operation takes

    ~Drv_I2C0();
    // Opens the bus; the descriptor, or -1 when the bus is missing.
    int openDevice();
    int fd() const { return fd_; }

    // Writes `reg`, then reads `len` bytes from the device at `addr` (7 bit).
    // False when the device did not acknowledge or the call failed.
    bool readRegs(u8 addr, u8 reg, u8* buf, int len);
    // Writes `reg` followed by `len` data bytes in one message.
    bool writeRegs(u8 addr, u8 reg, const u8* data, int len);
    // True when the device acknowledges its address (a one-byte read).
    bool probe(u8 addr);

private:
    QMutex mutex_;  // one operation on the bus at a time
    int fd_ = -1;
};
