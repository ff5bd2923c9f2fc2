#include "links/file_deal.h"

#include "app/kelrampara.h"
#include "app/page_handover.h"
#include "app/utils.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <sys/mman.h>

KEL_FILE_DEAL_PARA g_kel_file_deal_para = boxstate::startValue(g_kel_file_deal_para, KEL_FILE_DEAL_PARA{});

namespace {

constexpr u8 kFirstLinkOwner = 1;
constexpr u8 kLastLinkOwner = 4;
constexpr int kModeCount = 16;
constexpr int kHexBase = 16;

struct TagEntry {
    char tag[5];
    file_deal::Target target;
    size_t limit;
};

const TagEntry kTags[] = {
    {"OSDS", file_deal::Target::Overlay, file_deal::kBufferSize},
    {"ALIS", file_deal::Target::Alias, file_deal::kBufferSize},
    {"LOGO", file_deal::Target::Logo, file_deal::kLogoSize},
    {"FKRN", file_deal::Target::Kernel, file_deal::kKernelSize},
    {"FMCU", file_deal::Target::Program, file_deal::kBufferSize},
    {"SMAP", file_deal::Target::SmartMap, file_deal::kBufferSize},
    {"RCVR", file_deal::Target::Recovery, file_deal::kBufferSize},
};

// The transfer buffer starts on a boundary of the kernel's large pages and
// asks for them: an upload then needs a few address translations, not one
// for each 4 KB piece. Where the kernel gives none, ordinary pages.
constexpr size_t kLargePage = size_t(2) << 20;
// A piece's next place is fetched a cache line at a time, into the second
// level (the prefetch's locality hint).
constexpr size_t kCacheLine = 64;
constexpr int kPrefetchRead = 0;
constexpr int kIntoSecondLevel = 2;

struct FreeBuffer {
    void operator()(u8* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<u8[], FreeBuffer>;

// aligned_alloc takes only a size that is a whole number of its alignment:
// the buffer's, rounded up to the next large page. The pages past the
// buffer's end are never touched, so they cost no memory.
constexpr size_t kBufferAllocation = (file_deal::kBufferSize + kLargePage - 1) / kLargePage * kLargePage;
static_assert(kBufferAllocation % kLargePage == 0 && kBufferAllocation >= file_deal::kBufferSize,
              "the transfer buffer's allocation is whole large pages holding the buffer");

Buffer makeBuffer()
{
    void* p = std::aligned_alloc(kLargePage, kBufferAllocation);
    if (p)
        ::madvise(p, kBufferAllocation, MADV_HUGEPAGE);  // advice: refused, the pages stay ordinary
    return Buffer(static_cast<u8*>(p));
}

// Fetches [from, end) into the caches: the place of the piece that follows
// one taken in order, while the link waits for it, so that its stores find
// their lines there instead of waiting for memory.
void prefetch(const u8* from, const u8* end)
{
    for (; from < end; from += kCacheLine)
        __builtin_prefetch(from, kPrefetchRead, kIntoSecondLevel);
}

// Who holds the buffer, the buffer, and whether the holder is storing a
// file (a store is never taken over, however long it takes).
struct BufferFields {
    u8 owner = file_deal::kOwnerNone;
    bool storing = false;
    Buffer fileBuf_tamix;  // the transfer buffer, made at the first transfer
    // The CRC-32 of the buffer's first crcThrough bytes, taken as the pieces
    // were copied in; a piece sent again over them ends it (crcKept false).
    u32 crc = 0;
    u32 crcThrough = 0;
    bool crcKept = true;
};

struct BufferState : BufferFields {
    std::mutex mutex;
};

BufferState& state()
{
    static auto* s = new BufferState;  // lives as long as the process
    return *s;
}

// No owner and no buffer, as a fresh process has it.
const bool kStateStart = boxstate::keep(boxstate::Step::StartValues, [] {
    BufferState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    static_cast<BufferFields&>(s) = BufferFields{};
});

bool isLinkOwner(u8 owner)
{
    return owner >= kFirstLinkOwner && owner <= kLastLinkOwner;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Forgets the transfer; the caller holds the state's lock.
void clearTransfer()
{
    g_kel_file_deal_para = KEL_FILE_DEAL_PARA{};
}

// Gives the buffer back and forgets the transfer; the caller holds the
// state's lock. The buffer itself stays for the next owner.
void freeBuffer(BufferState& s)
{
    s.owner = file_deal::kOwnerNone;
    s.storing = false;
    clearTransfer();
}

bool idleTooLong(const BufferState& s)
{
    return isLinkOwner(s.owner) && !s.storing &&
           Utils::getTimeSpace(g_kel_file_deal_para.stamp) > file_deal::kIdleTicks;
}

}  // namespace

file_deal::TagInfo file_deal::tagInfo(const char tag[4])
{
    TagInfo info;
    for (const TagEntry& e : kTags) {
        if (std::memcmp(tag, e.tag, 4) == 0) {
            info.target = e.target;
            info.limit = e.limit;
            return info;
        }
    }
    if (tag[0] == 'M' && tag[1] == 'O') {
        const int hi = hexDigit(tag[2]), lo = hexDigit(tag[3]);
        const int mode = hi * kHexBase + lo;
        if (hi >= 0 && lo >= 0 && mode >= 1 && mode <= kModeCount) {
            info.target = Target::ModeOverlay;
            info.mode = mode;
            info.limit = kBufferSize;
        }
    }
    return info;
}

bool file_deal::nameValid(const std::string& name)
{
    // A "<name>.new" would go at the next start with the writes a power
    // cut left unfinished.
    if (name.empty() || name.size() > kMaxName || name == "." || name.find("..") != std::string::npos ||
        platform::isStaleWriteName(name))
        return false;
    for (char c : name)
        if (c < 0x20 || c > 0x7E || c == '/' || c == '\\')
            return false;
    return true;
}

bool file_deal::acquire(u8 owner)
{
    if (owner == kOwnerNone)
        return false;
    BufferState& s = state();
    bool abandoned = false;
    bool held = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.owner != kOwnerNone && s.owner != owner) {
            if (!idleTooLong(s))
                return false;
            KEL_DBG("\n[file_deal] transfer on link %u idle, taken over by %#x\n", s.owner, owner);
            abandoned = true;
            clearTransfer();
        }
        if (!s.fileBuf_tamix)
            s.fileBuf_tamix = makeBuffer();
        if (!s.fileBuf_tamix) {
            KEL_DBG("\n[file_deal] no memory for the transfer buffer\n");
            freeBuffer(s);
        } else {
            s.owner = owner;
            s.storing = false;
            held = true;
        }
    }
    if (abandoned)
        announceEnd();
    return held;
}

void file_deal::release(u8 owner)
{
    BufferState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.owner == owner && owner != kOwnerNone)
        freeBuffer(s);
}

u8 file_deal::owner()
{
    BufferState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.owner;
}

u8* file_deal::buffer(u8 owner)
{
    BufferState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.owner == owner && owner != kOwnerNone ? s.fileBuf_tamix.get() : nullptr;
}

KEL_FILE_DEAL_PARA file_deal::current()
{
    BufferState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return g_kel_file_deal_para;
}

bool file_deal::begin(const KEL_FILE_DEAL_PARA& t)
{
    BufferState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!isLinkOwner(t.link) || s.owner != t.link)
        return false;
    g_kel_file_deal_para = t;
    s.crc = 0;
    s.crcThrough = 0;
    s.crcKept = true;
    return true;
}

bool file_deal::putPiece(u8 link, u32 offset, const u8* data, size_t n)
{
    BufferState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    KEL_FILE_DEAL_PARA& t = g_kel_file_deal_para;
    if (!isLinkOwner(link) || s.owner != link || t.link != link || offset > t.received ||
        uint64_t(offset) + n > t.total)
        return false;
    u8* to = s.fileBuf_tamix.get() + offset;
    if (s.crcKept && offset == s.crcThrough) {
        s.crc = Utils::copyCRC32(s.crc, to, data, static_cast<unsigned>(n));
        s.crcThrough += static_cast<u32>(n);
        prefetch(to + n, s.fileBuf_tamix.get() + std::min<uint64_t>(t.total, uint64_t(offset) + 2 * n));
    } else {
        std::memcpy(to, data, n);
        s.crcKept = false;  // a piece sent again over the bytes counted
    }
    t.received = std::max<u32>(t.received, static_cast<u32>(offset + n));
    t.stamp = G_timeTicks.load();
    return true;
}

u32 file_deal::receivedCrc(u8 link)
{
    BufferState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const u32 total = g_kel_file_deal_para.total;
    if (s.owner != link || !s.fileBuf_tamix)
        return 0;
    if (s.crcKept && s.crcThrough == total)
        return s.crc;
    return Utils::calcCRC32(s.fileBuf_tamix.get(), total);
}

bool file_deal::beginStore(u8 link)
{
    BufferState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.owner != link || g_kel_file_deal_para.link != link)
        return false;
    s.storing = true;
    return true;
}

void file_deal::announceStart()
{
    g_update_flag = 1;
    KelRamPara::test_signal(SYNC_FILE_STARTED);
    pagehandover::transferStarted();
}

void file_deal::announceEnd()
{
    pagehandover::transferEnded();
    g_update_flag = 0;
    KelRamPara::test_signal(SYNC_TRANSFER_DIALOG_OFF);
}

void file_deal::expire(u8 link)
{
    BufferState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.owner != link || !idleTooLong(s))
            return;
        KEL_DBG("\n[file_deal] transfer on link %u abandoned: no frame for %u ticks\n", link, kIdleTicks);
        freeBuffer(s);
    }
    announceEnd();
}

bool file_deal::running(u8 link)
{
    BufferState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return isLinkOwner(link) && s.owner == link;
}
