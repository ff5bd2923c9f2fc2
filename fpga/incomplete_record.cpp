#include "fpga/incomplete_record.h"

#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <sstream>

namespace incomplete_record {

namespace {

constexpr const char* kFpgasKey = "fpgas";
constexpr const char* kFontsKey = "fonts";
constexpr unsigned kFpgaBits = (1u << fpga::kFpgas) - 1;
constexpr unsigned kFontBits = (1u << kFontPlaces) - 1;
constexpr size_t kMostDigits = 3;

// "key=N" with N decimal and inside `bits`; the value into `out`.
bool field(const std::string& line, const char* key, unsigned bits, u8* out)
{
    const std::string head = std::string(key) + '=';
    if (line.compare(0, head.size(), head) != 0)
        return false;
    const std::string digits = line.substr(head.size());
    if (digits.empty() || digits.size() > kMostDigits || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned v = static_cast<unsigned>(std::stoul(digits));
    if (v & ~bits)
        return false;
    *out = static_cast<u8>(v);
    return true;
}

}  // namespace

std::string format(const Marks& m)
{
    return std::string(kFpgasKey) + '=' + std::to_string(m.fpgas) + '\n' + kFontsKey + '=' + std::to_string(m.fonts) +
           '\n';
}

std::optional<Marks> parse(const std::string& text)
{
    if (text.empty() || text.back() != '\n')
        return std::nullopt;
    std::istringstream lines(text);
    std::string first, second, more;
    Marks m;
    if (!std::getline(lines, first) || !std::getline(lines, second) || std::getline(lines, more) ||
        !field(first, kFpgasKey, kFpgaBits, &m.fpgas) || !field(second, kFontsKey, kFontBits, &m.fonts))
        return std::nullopt;
    return m;
}

Marks read()
{
    std::string text;
    switch (platform::readFileUpTo(kFile, text, kMostBytes)) {
    case platform::ReadResult::Missing: return Marks{};
    case platform::ReadResult::TooLarge:
        KEL_DBG("\n usb upgrade: %s is larger than %zu bytes, refused; nothing is marked incomplete\n", kFile,
                kMostBytes);
        return Marks{};
    case platform::ReadResult::Read: break;
    }
    if (const std::optional<Marks> m = parse(text))
        return *m;
    KEL_DBG("\n usb upgrade: %s is not a record of incomplete programs, refused; nothing is marked incomplete\n",
            kFile);
    return Marks{};
}

bool write(const Marks& m, bool tell)
{
    const bool ok = m.none() ? (platform::removeFile(kFile) || !platform::exists(kFile))
                             : platform::writeFileAtomic(kFile, format(m));
    if (!ok && tell)
        KEL_DBG("\n usb upgrade: %s not written (%s): the marks of incomplete programs are not kept\n", kFile,
                std::strerror(errno));
    return ok;
}

}  // namespace incomplete_record
