#include "platform/sim/sim_sector_file.h"

#include "platform/platform.h"

#include <cstdio>

namespace platform::sim {

namespace {
constexpr size_t kAddressBytes = 4;
}  // namespace

SectorFile::SectorFile(const char* what, uint32_t sectorSize, uint32_t flashSize)
    : what_(what), sectorSize_(sectorSize), flashSize_(flashSize)
{}

void SectorFile::open(const std::string& boxPath, const std::function<void(uint32_t, const uint8_t*)>& take)
{
    path_ = boxPath;
    root_ = platform::boxRoot();
    const size_t recordBytes = kAddressBytes + sectorSize_;
    std::string bytes;
    const platform::ReadResult r = platform::readFileUpTo(path_, bytes, size_t(flashSize_ / sectorSize_) * recordBytes);
    if (r == platform::ReadResult::TooLarge)
        std::fprintf(stderr, "%s: %s is larger than a whole flash, not loaded\n", what_, path_.c_str());
    if (r != platform::ReadResult::Read)
        return;
    for (size_t at = 0; at + recordBytes <= bytes.size(); at += recordBytes) {
        uint32_t address = 0;
        for (size_t i = 0; i < kAddressBytes; ++i)
            address |= uint32_t(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
        if (address % sectorSize_ != 0 || address >= flashSize_) {
            std::fprintf(stderr, "%s: %s has a sector at 0x%x, loaded up to there\n", what_, path_.c_str(), address);
            return;
        }
        take(address, reinterpret_cast<const uint8_t*>(bytes.data() + at + kAddressBytes));
    }
}

bool SectorFile::due(bool reading) const
{
    return dirty_ && (reading || std::chrono::steady_clock::now() - written_ >= kPersistEvery);
}

void SectorFile::write(const std::map<uint32_t, const uint8_t*>& sectors)
{
    if (!dirty_ || path_.empty() || platform::boxRoot() != root_ ||
        !platform::isDir(path_.substr(0, path_.rfind('/') + 1)))
        return;
    std::string out;
    out.reserve(sectors.size() * (kAddressBytes + sectorSize_));
    for (const auto& [address, bytes] : sectors) {
        for (size_t i = 0; i < kAddressBytes; ++i)
            out.push_back(static_cast<char>(address >> (8 * i)));
        out.append(reinterpret_cast<const char*>(bytes), sectorSize_);
    }
    written_ = std::chrono::steady_clock::now();
    if (platform::writeFileAtomic(path_, out))
        dirty_ = false;
    else
        std::fprintf(stderr, "%s: %s not written\n", what_, path_.c_str());
}

}  // namespace platform::sim
