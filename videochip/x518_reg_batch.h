// Register writes gathered for one driver group (x518_drv::access_X518):
// a run of registers that one step of the window programming writes goes
// to the chip as one locked step, in as few SPI messages as its transfers
// allow, in the order given. The batch is sent when asked or when it ends.
//
// write() is for registers that hold what is written: the driver leaves a
// write out when the register already holds the value. always() is for the
// rest (triggers, requests), written whatever the driver knows.
#pragma once

#include "videochip/x518_drv.h"

#include <vector>

class X518Batch {
public:
    X518Batch(x518_drv* drv, int fd) : drv_(drv), fd_(fd) {}
    X518Batch(const X518Batch&) = delete;
    X518Batch& operator=(const X518Batch&) = delete;
    ~X518Batch() { send(); }

    // Register `spec` of the copy at `bankOffset` (16 x channel) := value.
    void write(u32 spec, u32 value, u32 bankOffset = 0) { ops_.push_back(x518_drv::updateOp(spec, value, bankOffset)); }
    void always(u32 spec, u32 value, u32 bankOffset = 0) { ops_.push_back(x518_drv::writeOp(spec, value, bankOffset)); }
    // `count` registers of the same width, `step` addresses apart, := values[i].
    template <class T>
    void run(u32 spec, const T* values, int count, u32 step, u32 bankOffset = 0)
    {
        for (int i = 0; i < count; ++i)
            write(spec + ((step * u32(i)) << 8), u32(values[i]), bankOffset);
    }
    void send()
    {
        if (ops_.empty())
            return;
        drv_->access_X518(fd_, ops_.data(), ops_.size());
        ops_.clear();
    }

private:
    x518_drv* drv_;
    int fd_;
    std::vector<x518_drv::RegOp> ops_;
};
