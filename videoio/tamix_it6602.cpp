#include "videoio/tamix_it6602.h"

#include "platform/platform.h"
#include "registers/tamix_regs.h"
#include "videoio/drv_i2c.h"

namespace rx = tamix::rx;

namespace {

i32 u16At(const u8* b, u8 reg)
{
    return b[reg] | b[reg + 1] << 8;
}
u32 u32At(const u8* b, u8 reg)
{
    return u32(u16At(b, reg)) | u32(u16At(b, reg + 2)) << 16;
}

}  // namespace

tamix_it6602::tamix_it6602(Drv_I2C0* bus, int source)
    : bus_(bus), source_(source), address_(tamix::receiverAddress(source))
{}

bool tamix_it6602::interfaceAvailable()
{
    return platform::backend() == platform::Backend::Host;
}

bool tamix_it6602::probe()
{
    if (!interfaceAvailable())
        return false;
    u8 id[2] = {};
    return bus_->readRegs(address_, rx::kId0, id, 2) && id[0] == rx::kIdentity0 && id[1] == rx::kIdentity1;
}

bool tamix_it6602::read(RX_TIMING& out)
{
    out = RX_TIMING{};
    if (!interfaceAvailable()) {
        // No signal from a receiver whose registers we do not know.
        out.answered = true;
    } else {
        u8 b[rx::kSnapshotSize] = {};
        if (!bus_->readRegs(address_, rx::kId0, b, rx::kSnapshotSize))
            return false;
        out.answered = true;
        const u8 status = b[rx::kStatus];
        out.sequence = b[rx::kSequence];
        out.signal = (status & rx::kStatusSignal) != 0;
        if (out.signal) {
            out.clock_doubled = (status & rx::kStatusClockDoubled) != 0;
            out.ip = (status & rx::kStatusInterlaced) ? 1 : 0;
            out.Hact = u16At(b, rx::kHact);
            out.Hsync = u16At(b, rx::kHsync);
            out.Hback = u16At(b, rx::kHback);
            out.Htotal = u16At(b, rx::kHtotal);
            out.Vact = u16At(b, rx::kVact);
            out.Vsync = u16At(b, rx::kVsync);
            out.Vback = u16At(b, rx::kVback);
            out.Vtotal = u16At(b, rx::kVtotal);
            out.pclk_khz = u32At(b, rx::kPclkKhz);
            out.Hpol = (b[rx::kPolarity] & rx::kPolarityH) ? 1 : 0;
            out.Vpol = (b[rx::kPolarity] & rx::kPolarityV) ? 1 : 0;
            out.type = b[rx::kType];
            out.datamode = b[rx::kDataMode];
            out.lane = b[rx::kLanes];
        }
    }
    QMutexLocker lock(&measured_mutex_);
    measured_ = out;
    return true;
}

RX_TIMING tamix_it6602::measured()
{
    QMutexLocker lock(&measured_mutex_);
    return measured_;
}

bool tamix_it6602::writeControl(u8 value)
{
    if (!interfaceAvailable())
        return false;
    return bus_->writeRegs(address_, rx::kControl, &value, 1);
}

bool tamix_it6602::setHotPlug(bool high)
{
    levels_ = high ? (levels_ | rx::kControlHotPlug) : (levels_ & ~rx::kControlHotPlug);
    return writeControl(levels_);
}

bool tamix_it6602::setSelected(bool on)
{
    levels_ = on ? (levels_ | rx::kControlSelected) : (levels_ & ~rx::kControlSelected);
    return writeControl(levels_);
}

bool tamix_it6602::restart()
{
    return writeControl(static_cast<u8>(levels_ | rx::kControlReset));
}
