#include "fpga/controller_memory.h"

#include "app/ram_para.h"
#include "app/utils.h"
#include "fpga/card_files.h"
#include "platform/platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr int kVersionAt = 4;
constexpr int kSizeAt = 6;
constexpr int kCrcAt = 8;

}  // namespace

std::string ControllerMemory::format(const u8* memory)
{
    std::string file(kFileSize, '\0');
    auto* p = reinterpret_cast<u8*>(file.data());
    std::memcpy(p, kMagic, sizeof kMagic);
    ram::storeU16(p + kVersionAt, kVersion);
    ram::storeU16(p + kSizeAt, kSize);
    std::memcpy(p + kHead, memory, kSize);
    const u32 crc = Utils::calcCRC32(p + kHead, kSize);
    ram::storeU16(p + kCrcAt, static_cast<u16>(crc));
    ram::storeU16(p + kCrcAt + 2, static_cast<u16>(crc >> 16));
    return file;
}

bool ControllerMemory::parse(const std::string& file, u8* memory, QString* why)
{
    if (file.size() != static_cast<size_t>(kFileSize)) {
        *why = QStringLiteral("%1 bytes, not %2").arg(file.size()).arg(kFileSize);
        return false;
    }
    u16 size = 0;
    if (!cardfile::checkHead(file, kMagic, kVersion, kHead, &size, why))
        return false;
    if (size != kSize) {
        *why = QStringLiteral("a memory of %1 bytes").arg(size);
        return false;
    }
    std::memcpy(memory, file.data() + kHead, kSize);
    return true;
}

void ControllerMemory::load()
{
    for (u8 f = 0; f < fpga::kFpgas; ++f)
        loadOne(f);
}

void ControllerMemory::loadOne(u8 fpga)
{
    const char* name = kFiles[fpga];
    std::string file;
    QString why;
    // Missing or refused (not a plain file, too large: the reader told it
    // on the console), the FPGA keeps what it holds.
    switch (platform::readFileUpTo(name, file, kFileSize)) {
    case platform::ReadResult::Missing:
    case platform::ReadResult::TooLarge: return;
    case platform::ReadResult::Read: {
        u8 bytes[kSize];
        if (parse(file, bytes, &why)) {
            std::lock_guard<std::mutex> lock(mutex_);
            std::memcpy(kept_[fpga].bytes, bytes, kSize);
            kept_[fpga].based = true;
            return;
        }
        break;
    }
    }
    KEL_DBG("\n fpga %d: %s refused (%s): the FPGA keeps what it holds\n", fpga, name, qPrintable(why));
}

uint64_t ControllerMemory::post(u8 fpga, u16 offset, const u8* data, int len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Kept& k = kept_[fpga];
    std::memcpy(k.bytes + offset, data, static_cast<size_t>(len));
    if (!k.based)
        for (int i = offset; i < offset + len; ++i)
            k.written.set(static_cast<size_t>(i));
    k.from = std::min<int>(k.from, offset);
    k.to = std::max(k.to, offset + len);
    k.changed = ++posted_;
    return k.changed;
}

bool ControllerMemory::await(u8 fpga, uint64_t number, int ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    served_cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return served_ >= number; });
    const Kept& k = kept_[fpga];
    return served_ >= number && !k.fpgaOwed && k.filed >= number;
}

bool ControllerMemory::saveDue(const Kept& k, u32 now) const
{
    return k.based && k.changed > k.filed && (k.changed > k.tried || now - k.failTick >= kRetryTicks);
}

bool ControllerMemory::take(Pass& pass, u32 now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    bool any = served_ < posted_;
    pass.number = posted_;
    for (int f = 0; f < fpga::kFpgas; ++f) {
        Kept& k = kept_[f];
        pass.write[f] = k.from < k.to;
        if (pass.write[f] && k.fpgaOwed && k.based) {
            k.from = 0;
            k.to = kSize;
        }
        pass.from[f] = k.from;
        pass.to[f] = k.to;
        k.from = kSize;
        k.to = 0;
        pass.save[f] = saveDue(k, now);
        if (pass.save[f]) {
            pass.saves[f] = k.changed;
            k.tried = k.changed;
        }
        if (pass.write[f] || pass.save[f])
            std::memcpy(pass.bytes[f], k.bytes, kSize);
        any = any || pass.write[f] || pass.save[f];
    }
    return any;
}

bool ControllerMemory::done(const Pass& pass, const bool held[], const bool kept[], u32 now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (int f = 0; f < fpga::kFpgas; ++f) {
        Kept& k = kept_[f];
        if (pass.write[f])
            k.fpgaOwed = !held[f];
        if (pass.save[f] && kept[f])
            k.filed = std::max(k.filed, pass.saves[f]);
        else if (pass.save[f])
            k.failTick = now;
    }
    return fileOwedLocked();
}

void ControllerMemory::served(const Pass& pass)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        served_ = std::max(served_, pass.number);
    }
    served_cv_.notify_all();
}

bool ControllerMemory::bringUp(u8 fpga, const u8* image, u8* bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Kept& k = kept_[fpga];
    if (!k.based) {
        for (int i = 0; i < kSize; ++i)
            if (!k.written.test(static_cast<size_t>(i)))
                k.bytes[i] = image[i];
        k.based = true;
        const bool wrote = k.written.any();
        k.written.reset();
        if (!wrote) {
            k.fpgaOwed = false;
            return false;
        }
    }
    std::memcpy(bytes, k.bytes, kSize);
    return true;
}

void ControllerMemory::broughtUp(u8 fpga, bool held)
{
    std::lock_guard<std::mutex> lock(mutex_);
    kept_[fpga].fpgaOwed = !held;
}

bool ControllerMemory::busy()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return served_ < posted_;
}

void ControllerMemory::keptOver(u8 fpga, int offset, u8* bytes, int len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Kept& k = kept_[fpga];
    for (int i = 0; i < len; ++i)
        if (k.based || k.written.test(static_cast<size_t>(offset + i)))
            bytes[i] = k.bytes[offset + i];
}

bool ControllerMemory::fileOwedLocked() const
{
    return std::any_of(std::begin(kept_), std::end(kept_), [](const Kept& k) { return k.changed > k.filed; });
}
