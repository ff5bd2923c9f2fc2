#include "tests/support/left_state.h"

#include "platform/box_state.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <cxxabi.h>
#include <fstream>
#include <link.h>
#include <map>
#include <mutex>
#include <sstream>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t kMostVariables = 100000;
constexpr size_t kLargestVariable = 16u << 20;
constexpr size_t kLongestLine = 4096;
const std::string kGuardPrefix = "guard variable for ";
const char kThreadLocalMark = 't';
const char* const kHoldsMemory = " (holds memory of its own, which the look cannot compare)";

struct Segment {
    uintptr_t begin = 0;
    uintptr_t end = 0;
};

struct ProgramImage {
    uintptr_t bias = 0;  // where the program was loaded, against its link addresses
    std::vector<Segment> writable;
    Segment threadLocal;  // the calling thread's copy of the program's thread_locals
};

// The looks that watch the makings of statics, and every object of the
// program that is destroyed at exit (a class with a destructor: it may hold
// memory of its own). Constant-initialised, so that a static made before
// main, or while the lists change, finds them.
std::mutex makingsMutex;
std::vector<LeftState*>* watchers = nullptr;
std::vector<uintptr_t>* destroyedAtExit = nullptr;

int visitProgram(dl_phdr_info* info, size_t, void* data)
{
    auto* image = static_cast<ProgramImage*>(data);
    image->bias = info->dlpi_addr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD && (ph.p_flags & PF_W))
            image->writable.push_back({info->dlpi_addr + ph.p_vaddr, info->dlpi_addr + ph.p_vaddr + ph.p_memsz});
        if (ph.p_type == PT_TLS && info->dlpi_tls_data) {
            const auto block = reinterpret_cast<uintptr_t>(info->dlpi_tls_data);
            image->threadLocal = {block, block + ph.p_memsz};
        }
    }
    return 1;  // the program itself comes first; the libraries after it are not wanted
}

ProgramImage programImage()
{
    ProgramImage image;
    dl_iterate_phdr(visitProgram, &image);
    return image;
}

bool inside(const Segment& s, uintptr_t address, size_t size)
{
    return address >= s.begin && address <= s.end && size <= s.end - address;
}

bool inside(const ProgramImage& image, uintptr_t address, size_t size)
{
    return std::any_of(image.writable.begin(), image.writable.end(),
                       [&](const Segment& s) { return inside(s, address, size); });
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

std::vector<unsigned char> bytesOf(const LeftState::Variable& v)
{
    return {bytesAt(v.address), bytesAt(v.address) + v.size};
}

// The parts of `s` outside every segment of `own`.
std::vector<Segment> outside(Segment s, std::vector<Segment> own)
{
    std::sort(own.begin(), own.end(), [](const Segment& a, const Segment& b) { return a.begin < b.begin; });
    std::vector<Segment> parts;
    for (const Segment& w : own) {
        if (w.end <= s.begin || w.begin >= s.end)
            continue;
        if (w.begin > s.begin)
            parts.push_back({s.begin, w.begin});
        s.begin = std::max(s.begin, w.end);
    }
    if (s.begin < s.end)
        parts.push_back(s);
    return parts;
}

// Where the program's memory from malloc and new lies now: the heap and the
// anonymous writable mappings (large blocks, other threads' arenas), leaving
// out the program's own variables. A mapping may hold both: where the heap
// starts right after the program's zeroed variables (as under the user-mode
// emulator), one mapping holds the end of those and the heap.
std::vector<Segment> heapMemory()
{
    const ProgramImage image = programImage();
    std::vector<Segment> heap;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        Segment s;
        char dash = 0;
        std::string perms, offset, device, path;
        unsigned long long inode = 0;
        if (!(fields >> std::hex >> s.begin >> dash >> s.end >> perms >> offset >> device >> std::dec >> inode))
            continue;
        std::getline(fields >> std::ws, path);
        if (perms.size() > 1 && perms[1] == 'w' && inode == 0 && (path.empty() || path == "[heap]"))
            for (const Segment& part : outside(s, image.writable))
                heap.push_back(part);
    }
    return heap;
}

// Whether a word of `v` leads into `heap`: to the start of a block the heap
// gives, which is aligned as malloc aligns. (A string's characters held in
// the object itself are not taken for an address: on 32-bit ARM "/dat" is
// 0x7461642f, which the emulator's heap may well span.)
bool leadsInto(const LeftState::Variable& v, const std::vector<Segment>& heap)
{
    constexpr size_t kWord = sizeof(uintptr_t);
    constexpr uintptr_t kBlockAlignment = alignof(std::max_align_t);
    for (size_t at = (kWord - v.address % kWord) % kWord; at + kWord <= v.size; at += kWord) {
        uintptr_t word = 0;
        std::memcpy(&word, bytesAt(v.address + at), kWord);
        if (word % kBlockAlignment == 0 &&
            std::any_of(heap.begin(), heap.end(), [&](const Segment& s) { return word >= s.begin && word < s.end; }))
            return true;
    }
    return false;
}

// Which of `variables` hold memory of their own now, which their bytes do not
// show: objects with a destructor whose bytes lead into the heap. Under the
// lock of the makings.
std::vector<bool> holdingMemory(const std::vector<LeftState::Variable>& variables, const std::vector<Segment>& heap)
{
    std::vector<uintptr_t> objects = destroyedAtExit ? *destroyedAtExit : std::vector<uintptr_t>();
    std::sort(objects.begin(), objects.end());
    std::vector<bool> holding(variables.size(), false);
    for (size_t i = 0; i < variables.size(); ++i)
        holding[i] =
            std::binary_search(objects.begin(), objects.end(), variables[i].address) && leadsInto(variables[i], heap);
    return holding;
}

}  // namespace

// Every function static made with a start computed at run time passes here
// once it is made, before any other thread may use it (the test programs
// link with --wrap=__cxa_guard_release).
extern "C" void __real___cxa_guard_release(__cxxabiv1::__guard* guard) noexcept;

extern "C" void __wrap___cxa_guard_release(__cxxabiv1::__guard* guard) noexcept
{
    {
        std::lock_guard<std::mutex> lock(makingsMutex);
        if (watchers)
            for (LeftState* left : *watchers)
                left->madeNow(reinterpret_cast<uintptr_t>(guard));
    }
    __real___cxa_guard_release(guard);
}

// Every object with a destructor that the program makes passes here as it is
// made (the test programs link with --wrap=__cxa_atexit).
extern "C" int __real___cxa_atexit(void (*destroy)(void*), void* object, void* dso) noexcept;

namespace {

void noteDestroyedAtExit(void* object)
{
    std::lock_guard<std::mutex> lock(makingsMutex);
    if (!destroyedAtExit)
        destroyedAtExit = new std::vector<uintptr_t>;
    destroyedAtExit->push_back(reinterpret_cast<uintptr_t>(object));
}

}  // namespace

extern "C" int __wrap___cxa_atexit(void (*destroy)(void*), void* object, void* dso) noexcept
{
    noteDestroyedAtExit(object);
    return __real___cxa_atexit(destroy, object, dso);
}

#if defined(__ARM_EABI__)
// On 32-bit ARM the compiler registers them through __aeabi_atexit (the
// object first), which calls __cxa_atexit inside the C++ runtime, where the
// wrap above does not reach (the test programs link with
// --wrap=__aeabi_atexit there as well).
extern "C" int __real___aeabi_atexit(void* object, void (*destroy)(void*), void* dso) noexcept;

extern "C" int __wrap___aeabi_atexit(void* object, void (*destroy)(void*), void* dso) noexcept
{
    noteDestroyedAtExit(object);
    return __real___aeabi_atexit(object, destroy, dso);
}
#endif

LeftState::~LeftState()
{
    std::lock_guard<std::mutex> lock(makingsMutex);
    if (watchers)
        watchers->erase(std::remove(watchers->begin(), watchers->end(), this), watchers->end());
}

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
        const bool threadLocal = fields.peek() == kThreadLocalMark;
        if (threadLocal)
            fields.get();
        unsigned long long linkAddress = 0;
        Variable v;
        if (!(fields >> std::hex >> linkAddress >> std::dec >> v.size) || v.size > kLargestVariable) {
            error = listPath + ": not a variable: " + line;
            return false;
        }
        std::getline(fields >> std::ws, v.name);
        if (threadLocal) {
            v.address = image.threadLocal.begin + static_cast<uintptr_t>(linkAddress);
            if (!image.threadLocal.begin || !inside(image.threadLocal, v.address, v.size)) {
                error = listPath + ": outside the program's thread_locals (a list of another build?): " + line;
                return false;
            }
            variables.push_back(v);
            continue;
        }
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
    std::lock_guard<std::mutex> lock(makingsMutex);
    if (!watchers)
        watchers = new std::vector<LeftState*>;
    if (std::find(watchers->begin(), watchers->end(), this) == watchers->end())
        watchers->push_back(this);
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
    madeAs_.assign(variables_.size(), {});
    unseenNamed_.assign(variables_.size(), false);
    remembered_.clear();
    for (const Variable& v : variables_)
        remembered_.push_back(bytesOf(v));
}

void LeftState::madeNow(uintptr_t guardAddress)
{
    for (size_t i = 0; i < variables_.size(); ++i) {
        const int g = guardOf_[i];
        if (g >= 0 && static_cast<size_t>(g) != i && variables_[g].address == guardAddress)
            madeAs_[i] = bytesOf(variables_[i]);
    }
}

void LeftState::remember()
{
    std::lock_guard<std::mutex> lock(makingsMutex);
    for (size_t i = 0; i < variables_.size(); ++i) {
        remembered_[i] = bytesOf(variables_[i]);
        madeAs_[i].clear();
    }
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

// A static first made since the last look differs when it no longer holds
// what it was made with; one made without passing through the makings (a
// thread_local's) is taken as made.
bool LeftState::differs(size_t index) const
{
    const Variable& v = variables_[index];
    if (std::memcmp(bytesAt(v.address), remembered_[index].data(), v.size) == 0)
        return false;
    if (!firstMade(index))
        return true;
    const std::vector<unsigned char>& made = madeAs_[index];
    return !made.empty() && std::memcmp(bytesAt(v.address), made.data(), v.size) != 0;
}

std::vector<std::string> LeftState::changed()
{
    // Taken before the lock, which a static made meanwhile would wait for.
    const std::vector<boxstate::Memory> kept = boxstate::keptMemory();
    const std::vector<Segment> heap = heapMemory();
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> lock(makingsMutex);
        const std::vector<bool> holding = holdingMemory(variables_, heap);
        for (size_t i = 0; i < variables_.size(); ++i) {
            if (putBackByItself(variables_[i], kept))
                continue;
            if (differs(i)) {
                names.push_back(variables_[i].name);
            } else if (holding[i] && !unseenNamed_[i]) {
                names.push_back(variables_[i].name + kHoldsMemory);
                unseenNamed_[i] = true;
            }
        }
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
