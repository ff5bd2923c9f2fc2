#include "videochip/x518_drv.h"

#include "app/utils.h"
#include "fpga/fpga_manage.h"
#include "platform/platform.h"

#include <cstdio>
#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <sys/ioctl.h>

namespace {

constexpr u8 kWriteBit = 0x80;
constexpr u8 kAddressMask = 0x7F;
constexpr u8 kBankSelectAddress = 0x00;
constexpr u8 kReadFiller = 0xFF;
constexpr u32 kMaxAddress = 0x7F;
constexpr u32 kValueBytes = 4;  // bytes of a u32 value; further bytes read as nothing
constexpr u8 kSpiMode = SPI_MODE_3;

// While the chip is addressed no FPGA may listen on the shared bus.
void releaseFpgaChipSelects()
{
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    if (!fpga)
        return;
    if (fpga->gpio_cs_fpga0)
        *fpga->gpio_cs_fpga0 = x518_drv::kFpgaCsReleased;
    if (fpga->gpio_cs_fpga1)
        *fpga->gpio_cs_fpga1 = x518_drv::kFpgaCsReleased;
}

void configure(int fd, unsigned long request, void* arg, const char* what)
{
    if (platform::devIoctl(fd, request, arg) < 0)
        KEL_DBG("\n[x518_drv] spi %s failed\n", what);
}

}  // namespace

x518_drv::x518_drv() : current_bank(kBankUnknown), spare(0) {}

i32 x518_drv::initialize()
{
    int fd = platform::devOpen(kDevice, O_RDWR);
    if (fd < 0) {
        KEL_DBG("\n[x518_drv] can't open %s\n", kDevice);
        return fd;
    }
    u8 mode = kSpiMode;
    u8 bits = kBitsPerWord;
    u32 speed = kWriteSpeedHz;
    configure(fd, SPI_IOC_WR_MODE, &mode, "set mode");
    configure(fd, SPI_IOC_RD_MODE, &mode, "get mode");
    configure(fd, SPI_IOC_WR_BITS_PER_WORD, &bits, "set bits per word");
    configure(fd, SPI_IOC_RD_BITS_PER_WORD, &bits, "get bits per word");
    configure(fd, SPI_IOC_WR_MAX_SPEED_HZ, &speed, "set max speed");
    configure(fd, SPI_IOC_RD_MAX_SPEED_HZ, &speed, "get max speed");
    return fd;
}

i32 x518_drv::transfer(int fd, const u8* tx, u8* rx, int len, u32 speedHz)
{
    spi_ioc_transfer tr{};
    tr.tx_buf = reinterpret_cast<uintptr_t>(tx);
    tr.rx_buf = reinterpret_cast<uintptr_t>(rx);
    tr.len = static_cast<u32>(len);
    tr.speed_hz = speedHz;
    tr.delay_usecs = 0;
    tr.bits_per_word = kBitsPerWord;
    tr.cs_change = 0;
    int ret;
    {
        QMutexLocker lock(&Utils::_spi_mutex);
        releaseFpgaChipSelects();
        ret = platform::devIoctl(fd, SPI_IOC_MESSAGE(1), &tr);
    }
    if (ret <= 0)
        std::perror("can't send spi message\n");
    return ret;
}

i32 x518_drv::SPI_Transfer(int fd, const u8* tx, u8* rx, int len)
{
    return transfer(fd, tx, rx, len, kReadSpeedHz);
}

i32 x518_drv::SPI_Transfer_Write(int fd, const u8* tx, int len)
{
    return transfer(fd, tx, nullptr, len, kWriteSpeedHz);
}

void x518_drv::selectBank(int fd, u32 spec, u32 bankOffset)
{
    u32 bank = specBank(spec) + bankOffset;
    if (bank == current_bank)
        return;
    current_bank = bank;
    const u8 tx[kTransferBytes] = {u8(kWriteBit | kBankSelectAddress), u8(bank & 0xFF)};
    // A select that did not reach the chip leaves its bank unknown.
    if (SPI_Transfer_Write(fd, tx, kTransferBytes) <= 0)
        current_bank = kBankUnknown;
}

// A byte is remembered only when it reached a known bank.
void x518_drv::remember(u32 bank, u32 address, u8 value, bool ok)
{
    const size_t at = size_t(bank & 0xFF) * kBankSize + (address & kAddressMask);
    const bool reached = ok && current_bank != kBankUnknown;
    known_[at] = reached;
    if (reached)
        known_value_[at] = value;
}

bool x518_drv::knownValue(u32 spec, u32 bankOffset, u32& value) const
{
    const u32 bank = (specBank(spec) + bankOffset) & 0xFF, address = specAddress(spec), width = specWidth(spec);
    if (width > kValueBytes || address + width > kMaxAddress + 1)
        return false;
    value = 0;
    for (u32 i = 0; i < width; ++i) {
        const size_t at = size_t(bank) * kBankSize + address + i;
        if (!known_[at])
            return false;
        value |= u32(known_value_[at]) << (8 * i);
    }
    return true;
}

void x518_drv::writeLocked(int fd, u32 spec, u32 value, u32 bankOffset)
{
    selectBank(fd, spec, bankOffset);
    const u32 bank = specBank(spec) + bankOffset;
    u32 address = specAddress(spec);
    for (u32 i = 0; i < specWidth(spec); ++i, value >>= 8) {
        if (address + i > kMaxAddress) {
            KEL_DBG("\n[x518_drv] register %06x runs past its bank\n", spec);
            break;
        }
        const u8 tx[kTransferBytes] = {u8(kWriteBit | ((address + i) & kAddressMask)), u8(value & 0xFF)};
        remember(bank, address + i, u8(value & 0xFF), SPI_Transfer_Write(fd, tx, kTransferBytes) > 0);
    }
}

u32 x518_drv::readLocked(int fd, u32 spec, u32 bankOffset)
{
    selectBank(fd, spec, bankOffset);
    u32 address = specAddress(spec);
    u32 result = 0;
    for (u32 i = 0; i < specWidth(spec); ++i) {
        if (address + i > kMaxAddress) {
            KEL_DBG("\n[x518_drv] register %06x runs past its bank\n", spec);
            break;
        }
        const u8 tx[kTransferBytes] = {u8((address + i) & kAddressMask), kReadFiller};
        // A byte whose transfer failed reads as 0, never as a stale byte.
        u8 rx[kTransferBytes] = {0, 0};
        remember(specBank(spec) + bankOffset, address + i, rx[1], SPI_Transfer(fd, tx, rx, kTransferBytes) > 0);
        if (i < kValueBytes)
            result |= u32(rx[1]) << (8 * i);
    }
    return result;
}

void x518_drv::write_X518(int fd, u32 spec, u32 value, u32 bankOffset)
{
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    writeLocked(fd, spec, value, bankOffset);
}

u32 x518_drv::read_X518(int fd, u32 spec, u32 bankOffset)
{
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    return readLocked(fd, spec, bankOffset);
}

void x518_drv::write_x518_mask(int fd, u32 spec, u32 value, u32 mask, u32 bankOffset)
{
    // Read and write under one hold, so that no other thread's write of the
    // same register falls between them and is lost.
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    u32 old = readLocked(fd, spec, bankOffset);
    writeLocked(fd, spec, old ^ ((value ^ old) & mask), bankOffset);
}

void x518_drv::update_X518(int fd, u32 spec, u32 value, u32 bankOffset)
{
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    const u32 width = specWidth(spec);
    const u32 mask = width >= kValueBytes ? ~0u : (1u << (8 * width)) - 1;
    u32 known;
    if (knownValue(spec, bankOffset, known) && known == (value & mask))
        return;
    writeLocked(fd, spec, value, bankOffset);
}

void x518_drv::update_x518_mask(int fd, u32 spec, u32 value, u32 mask, u32 bankOffset)
{
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    u32 old;
    if (!knownValue(spec, bankOffset, old))
        old = readLocked(fd, spec, bankOffset);
    const u32 neu = old ^ ((value ^ old) & mask);
    if (neu != old)
        writeLocked(fd, spec, neu, bankOffset);
}

bool x518_drv::wait_X518(int fd, u32 spec, u32 mask, u32 want, int maxReads, u32 bankOffset, u32* last)
{
    u32 v = 0;
    for (int i = 0; i < maxReads; ++i) {
        v = read_X518(fd, spec, bankOffset);
        if ((v & mask) == want) {
            if (last)
                *last = v;
            return true;
        }
    }
    if (last)
        *last = v;
    return false;
}

void x518_drv::init_reg_acc_param()
{
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    current_bank = kBankUnknown;
    spare = 0;
    known_.reset();
}
