#include "videochip/x518_drv.h"

#include "app/utils.h"
#include "app/fpga_handover.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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
    if (FpgaHandover* fpga = FpgaHandover::receiver.load())
        fpga->releaseChipSelects();
}

void configure(int fd, unsigned long request, void* arg, const char* what)
{
    if (platform::devIoctl(fd, request, arg) < 0)
        KEL_DBG("\n[x518_drv] spi %s failed\n", what);
}

// The SPI message of `count` transfers (SPI_IOC_MESSAGE(count), which wants
// a constant).
unsigned long messageRequest(int count)
{
    return _IOC(_IOC_WRITE, SPI_IOC_MAGIC, 0, SPI_MSGSIZE(count));
}

// However long the chip's messages keep failing, the console hears of it at
// most this often.
constexpr auto kFailureTellPeriod = std::chrono::seconds(1);

}  // namespace

i32 x518_drv::sendMessage(int fd, spi_ioc_transfer* transfers, int count)
{
    QMutexLocker lock(&Utils::_spi_mutex);
    releaseFpgaChipSelects();
    const int ret = platform::devIoctl(fd, messageRequest(count), transfers);
    if (ret > 0) {
        failing_ = false;
        return ret;
    }
    ++failed_messages_;
    tellFailure();
    return ret;
}

// The first failure after a message that went is told, unless one was told
// less than a second ago; the rest of the run is not.
void x518_drv::tellFailure()
{
    const int error = errno;
    const auto now = std::chrono::steady_clock::now();
    const bool runStarts = !failing_;
    failing_ = true;
    if (!runStarts || (failure_told_.time_since_epoch().count() != 0 && now - failure_told_ < kFailureTellPeriod))
        return;
    failure_told_ = now;
    std::printf("\n[x518_drv] SPI message to the video chip failed (%s); later failures are not told\n",
                std::strerror(error));
    std::fflush(stdout);
}

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

class x518_drv::Message {
public:
    Message(x518_drv& drv, int fd) : drv_(drv), fd_(fd) {}
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    // One 2-byte transfer; a read's answer is ORed into *into at bit `shift`
    // once the message has gone (into null: the answer is dropped). `slot`:
    // the register byte it carries (-1 for a bank select).
    void add(u8 first, u8 second, bool read, u32* into, u32 shift, int slot)
    {
        if (count_ == kMessageTransfers)
            send();
        const int i = count_++;
        tx_[i][0] = first;
        tx_[i][1] = second;
        rx_[i][0] = rx_[i][1] = 0;  // a byte the message never carried reads as 0
        into_[i] = into;
        shift_[i] = shift;
        slot_[i] = slot;
        read_[i] = read;
        if (!read && slot >= 0) {
            // Known from now on, so that a later write of the same group sees it.
            drv_.known_[size_t(slot)] = true;
            drv_.known_value_[slot] = second;
        }
        spi_ioc_transfer& tr = transfers_[i];
        tr = spi_ioc_transfer{};
        tr.tx_buf = reinterpret_cast<uintptr_t>(tx_[i]);
        tr.rx_buf = read ? reinterpret_cast<uintptr_t>(rx_[i]) : 0;
        tr.len = kTransferBytes;
        tr.speed_hz = read ? kReadSpeedHz : kWriteSpeedHz;
        tr.bits_per_word = kBitsPerWord;
    }

    void send()
    {
        if (count_ == 0)
            return;
        // The chip select goes up between transfers, each one its own frame.
        for (int i = 0; i < count_; ++i)
            transfers_[i].cs_change = i + 1 < count_ ? 1 : 0;
        const bool sent = drv_.sendMessage(fd_, transfers_, count_) > 0;
        if (!sent) {
            drv_.current_bank = kBankUnknown;  // a select in it may not have landed
            failed_ = true;
        }
        for (int i = 0; i < count_; ++i) {
            if (into_[i])
                *into_[i] |= u32(rx_[i][1]) << shift_[i];
            if (slot_[i] < 0)
                continue;
            drv_.known_[size_t(slot_[i])] = sent;
            if (sent)
                drv_.known_value_[slot_[i]] = read_[i] ? rx_[i][1] : tx_[i][1];
        }
        count_ = 0;
    }

    // Whether a message sent so far failed.
    bool failed() const { return failed_; }

private:
    x518_drv& drv_;
    int fd_;
    int count_ = 0;
    bool failed_ = false;
    spi_ioc_transfer transfers_[kMessageTransfers];
    u8 tx_[kMessageTransfers][kTransferBytes];
    u8 rx_[kMessageTransfers][kTransferBytes];
    u32* into_[kMessageTransfers];
    u32 shift_[kMessageTransfers];
    int slot_[kMessageTransfers];
    bool read_[kMessageTransfers];
};

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
    return sendMessage(fd, &tr, 1);
}

i32 x518_drv::SPI_Transfer(int fd, const u8* tx, u8* rx, int len)
{
    return transfer(fd, tx, rx, len, kReadSpeedHz);
}

i32 x518_drv::SPI_Transfer_Write(int fd, const u8* tx, int len)
{
    return transfer(fd, tx, nullptr, len, kWriteSpeedHz);
}

void x518_drv::queueSelect(Message& message, u32 spec, u32 bankOffset)
{
    u32 bank = specBank(spec) + bankOffset;
    if (bank == current_bank)
        return;
    current_bank = bank;
    message.add(u8(kWriteBit | kBankSelectAddress), u8(bank & 0xFF), false, nullptr, 0, -1);
}

void x518_drv::queueAccess(Message& message, const RegOp& op)
{
    if (op.changedOnly && !op.into) {
        const u32 width = specWidth(op.spec);
        const u32 mask = width >= kValueBytes ? ~0u : (1u << (8 * width)) - 1;
        u32 known;
        if (knownValue(op.spec, op.bankOffset, known) && known == (op.value & mask))
            return;
    }
    queueSelect(message, op.spec, op.bankOffset);
    if (op.into)
        *op.into = 0;
    u32 address = specAddress(op.spec);
    u32 value = op.value;
    for (u32 i = 0; i < specWidth(op.spec); ++i, value >>= 8) {
        if (address + i > kMaxAddress) {
            KEL_DBG("\n[x518_drv] register %06x runs past its bank\n", op.spec);
            break;
        }
        const u8 at = u8((address + i) & kAddressMask);
        const int slot = int((current_bank & 0xFF) * kBankSize + at);
        if (op.into)
            message.add(at, kReadFiller, true, i < kValueBytes ? op.into : nullptr, 8 * i, slot);
        else
            message.add(u8(kWriteBit | at), u8(value & 0xFF), false, nullptr, 0, slot);
    }
}

bool x518_drv::accessLocked(int fd, const RegOp* ops, size_t count)
{
    Message message(*this, fd);
    for (size_t i = 0; i < count; ++i)
        queueAccess(message, ops[i]);
    message.send();
    return !message.failed();
}

bool x518_drv::write_X518(int fd, u32 spec, u32 value, u32 bankOffset)
{
    const RegOp op = writeOp(spec, value, bankOffset);
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    return accessLocked(fd, &op, 1);
}

u32 x518_drv::read_X518(int fd, u32 spec, u32 bankOffset)
{
    u32 value = 0;
    readChecked(fd, spec, bankOffset, value);
    return value;
}

bool x518_drv::readChecked(int fd, u32 spec, u32 bankOffset, u32& value)
{
    value = 0;
    const RegOp op = readOp(spec, &value, bankOffset);
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    return accessLocked(fd, &op, 1);
}

bool x518_drv::write_x518_mask(int fd, u32 spec, u32 value, u32 mask, u32 bankOffset)
{
    // Read and write under one hold, so that no other thread's write of the
    // same register falls between them and is lost. A read that failed
    // leaves the other bits unknown: nothing is written over them.
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    u32 old = 0;
    const RegOp read = readOp(spec, &old, bankOffset);
    if (!accessLocked(fd, &read, 1))
        return false;
    const RegOp write = writeOp(spec, old ^ ((value ^ old) & mask), bankOffset);
    return accessLocked(fd, &write, 1);
}

bool x518_drv::access_X518(int fd, const RegOp* ops, size_t count)
{
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    return accessLocked(fd, ops, count);
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

bool x518_drv::update_X518(int fd, u32 spec, u32 value, u32 bankOffset)
{
    const RegOp op = updateOp(spec, value, bankOffset);
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    return accessLocked(fd, &op, 1);
}

bool x518_drv::update_x518_mask(int fd, u32 spec, u32 value, u32 mask, u32 bankOffset)
{
    QMutexLocker lock(&Utils::_x518_bnk_mutex);
    u32 old = 0;
    if (!knownValue(spec, bankOffset, old)) {
        const RegOp read = readOp(spec, &old, bankOffset);
        if (!accessLocked(fd, &read, 1))
            return false;
    }
    const u32 neu = old ^ ((value ^ old) & mask);
    if (neu == old)
        return true;
    const RegOp write = writeOp(spec, neu, bankOffset);
    return accessLocked(fd, &write, 1);
}

bool x518_drv::wait_X518(int fd, u32 spec, u32 mask, u32 want, int maxReads, u32 bankOffset, u32* last)
{
    u32 v = 0;
    for (int i = 0; i < maxReads; ++i) {
        if (!readChecked(fd, spec, bankOffset, v))
            break;
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
