// A plugin for qemu's user-mode emulator (qemu-arm, not the static build,
// which cannot load plugins) that counts the instructions a guest thread
// runs between two marks the guest program makes itself
// (bench/counting/instruction_count.h). Built for the host by
// bench/count-arm:
//
//   qemu-arm -plugin count_plugin.so,out=FILE[,profile=FILE] PROGRAM ...
//
// A mark is a getpid system call whose first arguments are kMarkMagic and a
// command: begin (the calling thread's count from 0, counting), pause and
// resume (what runs in between is left out), end (counting stops; the
// count is appended to `out` as one line, "<count>\n", before the call
// returns, so the guest reads it at once), and dump (with `profile`: every
// translated block the counted threads ran since the last dump, as
// "<address> <instructions> <runs>", then "end", appended to that file).
//
// An instruction counts when its block starts: a block always runs whole
// in user mode but for a signal or a fault inside it, which a benchmark
// does not meet. The counts depend only on the guest code that ran.
//
// The emulator runs each guest thread on a host thread of its own, and
// calls back on that thread: a thread's count is its own, the blocks'
// runs, which every counting thread adds to, are atomic, and the table of
// blocks is taken under a lock. A block is one per address and length,
// whatever number of times the emulator translates it again, and the
// blocks go when the emulator exits.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

// The part of qemu's plugin interface (API version 1, qemu 7.2) used here.
extern "C" {
typedef uint64_t qemu_plugin_id_t;
struct qemu_plugin_tb;
typedef struct qemu_info_t {
    const char* target_name;
    struct {
        int min;
        int cur;
    } version;
    bool system_emulation;
} qemu_info_t;
enum qemu_plugin_cb_flags { QEMU_PLUGIN_CB_NO_REGS };
typedef void (*qemu_plugin_vcpu_udata_cb_t)(unsigned int vcpu_index, void* userdata);
typedef void (*qemu_plugin_vcpu_simple_cb_t)(qemu_plugin_id_t id, unsigned int vcpu_index);
typedef void (*qemu_plugin_udata_cb_t)(qemu_plugin_id_t id, void* userdata);
typedef void (*qemu_plugin_vcpu_tb_trans_cb_t)(qemu_plugin_id_t id, struct qemu_plugin_tb* tb);
typedef void (*qemu_plugin_vcpu_syscall_cb_t)(qemu_plugin_id_t id, unsigned int vcpu_index, int64_t num, uint64_t a1,
                                              uint64_t a2, uint64_t a3, uint64_t a4, uint64_t a5, uint64_t a6,
                                              uint64_t a7, uint64_t a8);
void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t id, qemu_plugin_vcpu_tb_trans_cb_t cb);
void qemu_plugin_register_vcpu_tb_exec_cb(struct qemu_plugin_tb* tb, qemu_plugin_vcpu_udata_cb_t cb,
                                          enum qemu_plugin_cb_flags flags, void* userdata);
void qemu_plugin_register_vcpu_syscall_cb(qemu_plugin_id_t id, qemu_plugin_vcpu_syscall_cb_t cb);
void qemu_plugin_register_vcpu_exit_cb(qemu_plugin_id_t id, qemu_plugin_vcpu_simple_cb_t cb);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t id, qemu_plugin_udata_cb_t cb, void* userdata);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb* tb);
uint64_t qemu_plugin_tb_vaddr(const struct qemu_plugin_tb* tb);
void qemu_plugin_outs(const char* string);

__attribute__((visibility("default"))) extern int qemu_plugin_version;
__attribute__((visibility("default"))) int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info, int argc,
                                                               char** argv);
}

__attribute__((visibility("default"))) int qemu_plugin_version = 1;

#include "bench/counting/marks.h"

namespace {

// The guest's getpid on 32-bit ARM (EABI).
constexpr int64_t kArmGetpid = 20;
// Threads are numbered from 0 in the order they start, numbers of ended
// threads used again; a benchmark has a few dozen at most.
constexpr unsigned kMaxThreads = 4096;

struct Thread {
    bool counting = false;
    bool paused = false;
    uint64_t count = 0;
};

// A block of guest code: its address and instructions, and its runs by a
// counted thread since the last dump.
struct Block {
    uint64_t address;
    uint64_t instructions;
    std::atomic<uint64_t> runs{0};

    Block(uint64_t a, uint64_t n) : address(a), instructions(n) {}
};

// Each thread's slot is written by that thread alone.
Thread threads[kMaxThreads];
FILE* out = nullptr;
FILE* profile = nullptr;
// The blocks by address and length, under blocksMutex.
std::mutex blocksMutex;
std::map<std::pair<uint64_t, uint64_t>, std::unique_ptr<Block>> blocks;

void blockRan(unsigned int thread, void* data)
{
    if (thread >= kMaxThreads)
        return;
    Thread& t = threads[thread];
    if (!t.counting || t.paused)
        return;
    Block* b = static_cast<Block*>(data);
    t.count += b->instructions;
    if (profile)
        b->runs.fetch_add(1, std::memory_order_relaxed);
}

void translated(qemu_plugin_id_t, struct qemu_plugin_tb* tb)
{
    const std::pair<uint64_t, uint64_t> key{qemu_plugin_tb_vaddr(tb), qemu_plugin_tb_n_insns(tb)};
    Block* b;
    {
        std::lock_guard<std::mutex> lock(blocksMutex);
        std::unique_ptr<Block>& slot = blocks[key];
        if (!slot)
            slot = std::make_unique<Block>(key.first, key.second);
        b = slot.get();
    }
    qemu_plugin_register_vcpu_tb_exec_cb(tb, blockRan, QEMU_PLUGIN_CB_NO_REGS, b);
}

void dumpProfile()
{
    if (!profile)
        return;
    std::lock_guard<std::mutex> lock(blocksMutex);
    for (const auto& [key, b] : blocks) {
        const uint64_t runs = b->runs.exchange(0, std::memory_order_relaxed);
        if (runs != 0)
            std::fprintf(profile, "%llx %llu %llu\n", static_cast<unsigned long long>(b->address),
                         static_cast<unsigned long long>(b->instructions), static_cast<unsigned long long>(runs));
    }
    std::fprintf(profile, "end\n");
    std::fflush(profile);
}

// A thread ended: its number is given to the next thread to start.
void threadEnded(qemu_plugin_id_t, unsigned int thread)
{
    if (thread < kMaxThreads)
        threads[thread] = Thread{};
}

void emulatorExits(qemu_plugin_id_t, void*)
{
    std::lock_guard<std::mutex> lock(blocksMutex);
    blocks.clear();
    if (out)
        std::fclose(out);
    if (profile)
        std::fclose(profile);
    out = profile = nullptr;
}

void systemCall(qemu_plugin_id_t, unsigned int thread, int64_t num, uint64_t a1, uint64_t a2, uint64_t, uint64_t,
                uint64_t, uint64_t, uint64_t, uint64_t)
{
    if (num != kArmGetpid || a1 != counting::kMarkMagic || thread >= kMaxThreads)
        return;
    Thread& t = threads[thread];
    switch (a2) {
    case counting::kMarkBegin: t = Thread{true, false, 0}; break;
    case counting::kMarkPause: t.paused = true; break;
    case counting::kMarkResume: t.paused = false; break;
    case counting::kMarkEnd:
        t.counting = false;
        if (out) {
            std::fprintf(out, "%llu\n", static_cast<unsigned long long>(t.count));
            std::fflush(out);
        }
        break;
    case counting::kMarkDump: dumpProfile(); break;
    default: break;
    }
}

FILE* openAppend(const char* arg, const char* name)
{
    const size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0 || arg[n] != '=')
        return nullptr;
    return std::fopen(arg + n + 1, "a");
}

}  // namespace

int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info, int argc, char** argv)
{
    if (info->system_emulation || std::strcmp(info->target_name, "arm") != 0) {
        qemu_plugin_outs("count_plugin: counts 32-bit ARM programs under qemu-arm only\n");
        return 1;
    }
    for (int i = 0; i < argc; ++i) {
        if (FILE* f = openAppend(argv[i], "out"))
            out = f;
        else if (FILE* p = openAppend(argv[i], "profile"))
            profile = p;
    }
    if (!out) {
        qemu_plugin_outs("count_plugin: needs out=FILE (a file it can append to)\n");
        return 1;
    }
    qemu_plugin_register_vcpu_tb_trans_cb(id, translated);
    qemu_plugin_register_vcpu_syscall_cb(id, systemCall);
    qemu_plugin_register_vcpu_exit_cb(id, threadEnded);
    qemu_plugin_register_atexit_cb(id, emulatorExits, nullptr);
    return 0;
}
