// The controller memory a PC reads and writes: each FPGA's 1 KB parameter
// memory as the box keeps it. The FPGA manager owns it; only its thread
// talks to the FPGAs and writes the files. A control link posts a PC's write
// here and waits for the manager's pass that carries it: the bytes go into
// the FPGA (read back into the manager's image) and into the FPGA's file
// under /data, which the manager writes into the FPGA again at every
// bring-up. docs/fpga.md gives the file's layout.
//
// Until the box has seen an FPGA run, or read its file, it knows only the
// bytes the PC wrote: they are merged into what the FPGA holds when it first
// comes up, and the file is written from then on.
#pragma once

#include "app/global.h"
#include "registers/fpga_regs.h"

#include <QString>
#include <bitset>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

class ControllerMemory {
public:
    static constexpr int kSize = fpga::kRamSize;
    // The files, one per FPGA.
    static constexpr const char* kFiles[fpga::kFpgas] = {"/data/fpga0_memory", "/data/fpga1_memory"};
    // The file: magic, u16 version, u16 the memory's size, u32 CRC-32 of
    // the memory, then the memory.
    static constexpr char kMagic[4] = {'F', 'P', 'G', 'M'};
    static constexpr u16 kVersion = 1;
    static constexpr int kHead = 12;
    static constexpr int kFileSize = kHead + kSize;
    // A failed file write is tried again after this many ticks.
    static constexpr u32 kRetryTicks = 100;

    // The file's bytes for a memory of kSize bytes.
    static std::string format(const u8* memory);
    // The memory a file holds; false, with the reason, for anything else.
    static bool parse(const std::string& file, u8* memory, QString* why);

    // Start-up: each FPGA's file, read whole. A file that cannot be taken
    // is said on the console and counts as none: the FPGA keeps what it holds.
    void load();

    // ---- a control link (any thread)
    // Takes a PC's write as what the box keeps for FPGA `fpga` (the range
    // checked by the caller); the manager's next pass carries it. Returns
    // the write's number.
    uint64_t post(u8 fpga, u16 offset, const u8* data, int len);
    // Waits up to `ms` for the pass that carries write `number`. True when
    // FPGA `fpga` then holds what the box keeps for it, read back, and its
    // file keeps it.
    bool await(u8 fpga, uint64_t number, int ms);

    // ---- the manager's thread
    // What one pass must do: the bytes to write into each FPGA (from `from`
    // to `to`) and the files to write, all from the memory as it stood.
    struct Pass {
        uint64_t number = 0;  // the last write it carries
        bool write[fpga::kFpgas] = {};
        int from[fpga::kFpgas] = {};
        int to[fpga::kFpgas] = {};
        bool save[fpga::kFpgas] = {};
        uint64_t saves[fpga::kFpgas] = {};  // the last write the file then holds
        u8 bytes[fpga::kFpgas][kSize] = {};
    };
    // False when there is nothing to do at tick `now`.
    bool take(Pass& pass, u32 now);
    // The pass is done: `held` says which FPGAs now hold what was written,
    // `kept` which files were written. True when a file still owes what
    // the PC wrote.
    bool done(const Pass& pass, const bool held[], const bool kept[], u32 now);
    // Then the links that wait for the pass are woken.
    void served(const Pass& pass);
    // Bring-up of FPGA `fpga`, whose memory `image` holds as read: the bytes
    // to write into it, when the box keeps any. What the FPGA held is taken
    // for what the box did not know, and from then on the box keeps it.
    bool bringUp(u8 fpga, const u8* image, u8* bytes);
    // The FPGA held the bytes of bringUp after they were written, or not.
    void broughtUp(u8 fpga, bool held);
    // Writes wait for a pass.
    bool busy();

    // ---- a reader (any thread)
    // Puts what the box keeps for FPGA `fpga` from `offset` over `bytes`,
    // which hold that range as the FPGA last held it: every byte once the
    // box knows the whole memory (its file, or the FPGA has run), else the
    // bytes the PC wrote. What the FPGA takes at its next bring-up.
    void keptOver(u8 fpga, int offset, u8* bytes, int len);

private:
    struct Kept {
        u8 bytes[kSize] = {};
        bool based = false;          // the file or the FPGA gave the whole memory
        std::bitset<kSize> written;  // the bytes the PC wrote while not based
        int from = kSize;            // the bytes the next pass writes into the FPGA
        int to = 0;
        bool fpgaOwed = false;  // the FPGA may not hold `bytes`: written whole next time
        uint64_t changed = 0;   // the last write taken
        uint64_t filed = 0;     // the last write the file holds
        uint64_t tried = 0;     // the last write a file write was tried for
        u32 failTick = 0;       // when the last file write failed
    };
    void loadOne(u8 fpga);
    bool saveDue(const Kept& k, u32 now) const;
    bool fileOwedLocked() const;

    std::mutex mutex_;
    std::condition_variable served_cv_;
    Kept kept_[fpga::kFpgas];
    uint64_t posted_ = 0;
    uint64_t served_ = 0;
};
