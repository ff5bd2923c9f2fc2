// Register access to the X518 video-processing chip over SPI.
//
// The chip's byte registers are grouped in banks of 128; register 0 of every
// bank selects the bank. A register is named by a register word
// (bank << 16 | address << 8 | width in bytes) and reached with a bank
// offset added to its bank (16 x channel for the per-channel banks).
// Multi-byte values go low byte first to consecutive addresses. Each byte is
// one 2-byte full-duplex transfer; the selected bank is cached so that a run
// of accesses to one bank selects it once.
//
// The transfers of one access (its bank select and every byte), or of a
// group of accesses (access_X518), go to the device as one SPI message with
// the chip select released between transfers: the chip sees exactly the
// transfers it would see one message each, in fewer calls. A message that
// fails loses the transfers it had not carried yet: bytes not read read as
// 0, and the next access selects its bank again.
//
// The driver remembers the value of every register byte a message carried
// to or from the chip since the last init_reg_acc_param (a failed message
// leaves its bytes unknown), so that a setter can write only what changes
// (update_X518, update_x518_mask).
//
// A message the device refuses is counted (failedMessages) and the access
// that carried it reports false, so that a caller can tell a chip that did
// not take its settings. The console is told once when the messages start
// failing, and at most once a second however long they go on failing.
//
// Locks: Utils::_x518_bnk_mutex around one whole register access or group
// (for a masked write the read and the write together), Utils::_spi_mutex
// around one message. The SPI controller is shared with the FPGAs, whose
// chip-select lines are released before every message.
#pragma once

#include "app/global.h"

#include <atomic>
#include <bitset>
#include <chrono>
#include <cstddef>
#include <initializer_list>

struct spi_ioc_transfer;

class x518_drv {
public:
    static constexpr const char* kDevice = "/dev/spidev32766.0";
    static constexpr u32 kWriteSpeedHz = 10000000;
    static constexpr u32 kReadSpeedHz = 5000000;
    static constexpr u8 kBitsPerWord = 8;
    static constexpr int kTransferBytes = 2;
    static constexpr u32 kBankUnknown = 0xFFFFFFFFu;
    static constexpr int kMessageTransfers = 64;  // transfers one SPI message carries at most

    // One register access of a group: a write of `value`, or, with `into`
    // set, a read whose value lands in *into. A write marked `changedOnly`
    // is left out when the register already holds the value as far as this
    // driver knows (the rule of update_X518).
    struct RegOp {
        u32 spec = 0;
        u32 value = 0;
        u32* into = nullptr;
        u32 bankOffset = 0;
        bool changedOnly = false;
    };
    static RegOp writeOp(u32 spec, u32 value, u32 bankOffset = 0) { return {spec, value, nullptr, bankOffset}; }
    static RegOp readOp(u32 spec, u32* into, u32 bankOffset = 0) { return {spec, 0, into, bankOffset}; }
    static RegOp updateOp(u32 spec, u32 value, u32 bankOffset = 0) { return {spec, value, nullptr, bankOffset, true}; }

    x518_drv();

    // Opens and configures the chip's SPI device; returns its descriptor
    // (-1 when the device is missing: every later access then fails).
    i32 initialize();

    // One full-duplex transfer at the read speed / one transmit-only
    // transfer at the write speed. The ioctl's result; 0 or less is a failure.
    i32 SPI_Transfer(int fd, const u8* tx, u8* rx, int len);
    i32 SPI_Transfer_Write(int fd, const u8* tx, int len);

    // The accesses below return true when every message they sent was
    // carried (or none was needed), false when one failed.
    bool write_X518(int fd, u32 spec, u32 value, u32 bankOffset);
    // The value read; bytes a failed message did not carry read as 0. Where
    // a failure must be told from a value, use readChecked.
    u32 read_X518(int fd, u32 spec, u32 bankOffset);
    // The same read, true only when every message that carried it went: a
    // failed read is no value (*value is then 0 and means nothing).
    bool readChecked(int fd, u32 spec, u32 bankOffset, u32& value);
    // Replaces the bits of `mask` by those of `value`, as one locked step.
    bool write_x518_mask(int fd, u32 spec, u32 value, u32 mask, u32 bankOffset);
    // The accesses in order, as one locked step and in as few messages as
    // possible (a message per kMessageTransfers transfers). Every read's
    // value is in place when the call returns; each read needs its own *into.
    bool access_X518(int fd, const RegOp* ops, size_t count);
    bool access_X518(int fd, std::initializer_list<RegOp> ops) { return access_X518(fd, ops.begin(), ops.size()); }

    // Writes the register only when its value differs from the one this
    // driver last wrote there or read there (a register it has not touched
    // since init_reg_acc_param is written). Only for registers that hold what
    // is written: never for status bits, counters or load triggers.
    bool update_X518(int fd, u32 spec, u32 value, u32 bankOffset);
    // write_x518_mask on the value this driver knows (read only when it knows
    // none), written only when the bits change; the same rule as update_X518.
    bool update_x518_mask(int fd, u32 spec, u32 value, u32 mask, u32 bankOffset);

    // Reads the register up to `maxReads` times until (value & mask) == want.
    // True when it did; false on a time-out, and at once on a read that
    // failed (a failed read shows no bit cleared). The last value read goes
    // to *last.
    bool wait_X518(int fd, u32 spec, u32 mask, u32 want, int maxReads, u32 bankOffset = 0, u32* last = nullptr);

    // Forgets the selected bank and every remembered register value: the next
    // access selects its bank again, the next update writes.
    void init_reg_acc_param();

    u32 currentBank() const { return current_bank; }

    // Messages the device refused since the driver was made (any thread).
    // A caller compares two readings to learn whether the chip took
    // everything in between, whoever sent it.
    u32 failedMessages() const { return failed_messages_.load(); }

    static constexpr u32 specBank(u32 spec) { return (spec >> 16) & 0xFF; }
    static constexpr u32 specAddress(u32 spec) { return (spec >> 8) & 0xFF; }
    static constexpr u32 specWidth(u32 spec) { return spec & 0xFF; }

private:
    class Message;  // the transfers of one SPI message being gathered

    i32 transfer(int fd, const u8* tx, u8* rx, int len, u32 speedHz);
    // One SPI message under the bus lock; counts and tells a failure.
    i32 sendMessage(int fd, spi_ioc_transfer* transfers, int count);
    void tellFailure();
    void queueSelect(Message& message, u32 spec, u32 bankOffset);
    void queueAccess(Message& message, const RegOp& op);
    bool accessLocked(int fd, const RegOp* ops, size_t count);
    bool knownValue(u32 spec, u32 bankOffset, u32& value) const;

    // The remembered register bytes, bank x kBankSize + address (guarded by
    // Utils::_x518_bnk_mutex).
    static constexpr int kBanks = 256, kBankSize = 128;
    std::bitset<kBanks * kBankSize> known_;
    u8 known_value_[kBanks * kBankSize] = {};

    u32 current_bank;  // guarded by Utils::_x518_bnk_mutex
    u32 spare;

    std::atomic<u32> failed_messages_{0};
    // The console's view of a run of failures (guarded by Utils::_spi_mutex):
    // whether the last message failed, and when a failure was last told.
    bool failing_ = false;
    std::chrono::steady_clock::time_point failure_told_{};
};
