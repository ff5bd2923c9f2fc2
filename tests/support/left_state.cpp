#include "tests/support/left_state.h"

#include "platform/box_state.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <link.h>
#include <map>
#include <sstream>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t kMostVariables = 100000;
constexpr size_t kLargestVariable = 16u << 20;
constexpr size_t kLongestLine = 4096;
const std::string kGuardPrefix = "guard variable for ";

struct Segment {
    uintptr_t begin = 0;
    uintptr_t end = 0;
};

struct ProgramImage {
    uintptr_t bias = 0;  // where the program was loaded, against its link addresses
    std::vector<Segment> writable;
};

int visitProgram(dl_phdr_info* info, size_t, void* data)
{
    auto* image = static_cast<ProgramImage*>(data);
    image->bias = info->dlpi_addr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD && (ph.p_flags & PF_W))
            image->writable.push_back({info->dlpi_addr + ph.p_vaddr, info->dlpi_addr + ph.p_vaddr + ph.p_memsz});
    }
    return 1;  // the program itself comes first; the libraries after it are not wanted
}

ProgramImage programImage()
{
    ProgramImage image;
    dl_iterate_phdr(visitProgram, &image);
    return image;
}

bool inside(const ProgramImage& image, uintptr_t address, size_t size)
{
    return std::any_of(image.writable.begin(), image.writable.end(), [&](const Segment& s) {
        return address >= s.begin && address <= s.end && size <= s.end - address;
    });
}

const unsigned char* bytesAt(uintptr_t address)
{
    return reinterpret_cast<const unsigned char*>(address);
}

// Whether a registration puts the variable back itself (platform/box_state.h).
bool putBackByItself(const LeftState::Variable& v, const std::vector<boxstate::Memory>& kept)
{
    return std::any_of(kept.begin(), kept.end(), [&](const boxstate::Memory& m) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(m.at);
        return v.address < at + m.size && at < v.address + v.size;
    });
}

// The static a guard variable guards; any other name as it is.
std::string guarded(const std::string& name)
{
    return name.rfind(kGuardPrefix, 0) == 0 ? name.substr(kGuardPrefix.size()) : name;
}

bool allZero(const std::vector<unsigned char>& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == 0; });
}

}  // namespace

bool LeftState::load(const std::string& listPath, std::string& error)
{
    std::ifstream in(listPath);
    if (!in) {
        error = "cannot read " + listPath + " (the build writes it after linking the program)";
        return false;
    }
    const ProgramImage image = programImage();
    std::vector<Variable> variables;
    char text[kLongestLine];
    while (in.getline(text, sizeof text)) {
        const std::string line(text);
        if (variables.size() >= kMostVariables) {
            error = listPath + ": too many variables";
            return false;
        }
        std::istringstream fields(line);
        unsigned long long linkAddress = 0;
        Variable v;
        if (!(fields >> std::hex >> linkAddress >> std::dec >> v.size) || v.size > kLargestVariable) {
            error = listPath + ": not a variable: " + line;
            return false;
        }
        std::getline(fields >> std::ws, v.name);
        v.address = image.bias + static_cast<uintptr_t>(linkAddress);
        if (!inside(image, v.address, v.size)) {
            error = listPath + ": outside the program's writable memory (a list of another build?): " + line;
            return false;
        }
        variables.push_back(v);
    }
    if (!in.eof()) {
        error = listPath + ": a line longer than " + std::to_string(kLongestLine - 1) + " characters";
        return false;
    }
    watch(std::move(variables));
    return true;
}

void LeftState::watch(std::vector<Variable> variables)
{
    variables_ = std::move(variables);
    std::map<std::string, int> guards;  // by the static each guards
    for (size_t i = 0; i < variables_.size(); ++i)
        if (guarded(variables_[i].name) != variables_[i].name)
            guards[guarded(variables_[i].name)] = static_cast<int>(i);
    guardOf_.assign(variables_.size(), -1);
    for (size_t i = 0; i < variables_.size(); ++i) {
        auto g = guards.find(guarded(variables_[i].name));
        if (g != guards.end())
            guardOf_[i] = g->second;
    }
    remember();
}

void LeftState::remember()
{
    remembered_.clear();
    for (const Variable& v : variables_)
        remembered_.emplace_back(bytesAt(v.address), bytesAt(v.address) + v.size);
}

bool LeftState::firstMade(size_t index) const
{
    const int g = guardOf_[index];
    if (g < 0 || !allZero(remembered_[g]))
        return false;
    const Variable& guard = variables_[g];
    const std::vector<unsigned char> now(bytesAt(guard.address), bytesAt(guard.address) + guard.size);
    return !allZero(now);
}

std::vector<std::string> LeftState::changed()
{
    const std::vector<boxstate::Memory> kept = boxstate::keptMemory();
    std::vector<std::string> names;
    for (size_t i = 0; i < variables_.size(); ++i) {
        const Variable& v = variables_[i];
        if (std::memcmp(bytesAt(v.address), remembered_[i].data(), v.size) != 0 && !firstMade(i) &&
            !putBackByItself(v, kept))
            names.push_back(v.name);
    }
    remember();
    return names;
}

std::string leftStateList()
{
    char exe[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string program = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
    return std::string(KEL_STATE_DIR) + "/" + program.substr(program.rfind('/') + 1) + ".txt";
}
