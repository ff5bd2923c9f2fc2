// File transfers into the box: the one transfer buffer, who holds it, the
// transfer in progress (`g_kel_file_deal_para`), the file tags and where
// each tag's file goes.
//
// The buffer is shared by the control links' file transfers and the USB
// upgrade, so one of them at a time holds it: file_deal::acquire() hands it
// to one owner (a link, or the USB upgrade worker) and refuses every other
// until that owner releases it. It is made at the first acquire and kept
// from then on, so no transfer waits for 5 MB to be mapped and faulted in
// again. A link transfer that receives no frame for kIdleTicks may be taken
// over by another link, and its own link ends it (file_deal::expire), so a
// PC that vanished mid-transfer blocks nobody.
//
// A file is received into the buffer and stored only when the end frame's
// CRC-32 matches, so a refused or broken transfer leaves the old file or
// image as it was. docs/protocol.md describes the commands.
#pragma once

#include "app/global.h"

#include <cstddef>
#include <functional>
#include <string>

// The transfer in progress.
struct KEL_FILE_DEAL_PARA {
    char tag[4] = {0, 0, 0, 0};
    u8 kind = 0;       // the sender's kind byte (13: a smart-mapping file)
    u32 total = 0;     // file length announced by the start frame
    u32 received = 0;  // bytes received in order from offset 0
    u8 link = 0;       // link that runs it (message_deal::Link); 0 none
    u32 stamp = 0;     // tick of its last frame
    std::string name;  // file name (smart-mapping and recovery files)
};

class file_deal {
public:
    // The transfer buffer's size: the largest file a transfer may carry.
    static constexpr size_t kBufferSize = 5242880;
    // Largest data piece of one 0x21 frame.
    static constexpr size_t kMaxPiece = 4096;
    // Longest file name (smart-mapping and recovery files).
    static constexpr size_t kMaxName = 64;
    // A link transfer without a frame for this many ticks is abandoned.
    static constexpr u32 kIdleTicks = 1000;

    // Owners of the buffer: the links by their message_deal::Link number
    // (1-4), and the USB upgrade worker.
    static constexpr u8 kOwnerNone = 0;
    static constexpr u8 kOwnerUsbUpgrade = 0x80;

    // Where a tag's file goes.
    enum class Target {
        None,
        Overlay,      // "OSDS": /data/configs/omenu.json
        ModeOverlay,  // "MOxx", xx hexadecimal 01-10: /data/modes/MOxx.json of user mode xx
        Alias,        // "ALIS": /data/configs/alias.json
        Logo,         // "LOGO": flash partition /dev/mtd8
        Kernel,       // "FKRN": flash partition /dev/mtd10
        Program,      // "FMCU": the application /data/app/kelR54N
        SmartMap,     // "SMAP": /data/smartmapping/<name>
        Recovery,     // "RCVR": /data/rcvrecovery/<name>
    };
    struct TagInfo {
        Target target = Target::None;
        int mode = 0;      // user mode 1-16 of a "MOxx" tag
        size_t limit = 0;  // largest file for the destination
    };

    static constexpr const char* kAliasFile = "/data/configs/alias.json";
    static constexpr const char* kLogoPartition = "/dev/mtd8";
    static constexpr const char* kKernelPartition = "/dev/mtd10";
    static constexpr size_t kLogoSize = 0x60000;
    static constexpr size_t kKernelSize = 0x500000;

    // The destination of a tag; Target::None for an unknown tag or a "MO"
    // tag whose number is not 01-10 (hexadecimal).
    static TagInfo tagInfo(const char tag[4]);
    // True when `name` may name a file in a box directory: 1 to kMaxName
    // printable ASCII characters, no "/", no "\", not "." and no "..", and
    // not ending in ".new" (platform::isStaleWriteName).
    static bool nameValid(const std::string& name);

    // ---- the buffer
    // Hands the buffer to `owner`. True when it is free, already held by
    // `owner`, or held by a link transfer idle for more than kIdleTicks
    // (that transfer is then abandoned). False while another owner has it.
    static bool acquire(u8 owner);
    // Gives the buffer back; nothing when `owner` does not hold it.
    static void release(u8 owner);
    static u8 owner();
    // The buffer (kBufferSize bytes) while `owner` holds it; null otherwise.
    static u8* buffer(u8 owner);

    // ---- the transfer in progress
    // A copy, for diagnostics and tests.
    static KEL_FILE_DEAL_PARA current();
    // A link that holds the buffer begins a transfer: `t` becomes the
    // transfer in progress. False when `t.link` does not hold the buffer.
    static bool begin(const KEL_FILE_DEAL_PARA& t);
    // Copies a piece of the file into the buffer at `offset`. Pieces come in
    // order (a piece sent again is taken again). False, nothing copied, when
    // `link` does not run the transfer or the piece leaves a gap or runs
    // past the announced length.
    static bool putPiece(u8 link, u32 offset, const u8* data, size_t n);
    // The CRC-32 of the announced length of the buffer, for `link`'s
    // transfer: kept up as the pieces were copied in order, taken over the
    // buffer when a piece was sent again. 0 when `link` does not hold the
    // buffer.
    static u32 receivedCrc(u8 link);
    // The end frame came: true when `link` runs the transfer, which from
    // now on is never taken over, however long storing the file takes.
    static bool beginStore(u8 link);

    // ---- the update dialog and change codes around a transfer
    // Start: g_update_flag := 1, change code 105, the update dialog.
    static void announceStart();
    // End: the update dialog closes, g_update_flag := 0, change code 106.
    static void announceEnd();

    // Ends a link transfer that has been idle for more than kIdleTicks when
    // `link` runs it. The links call it from their threads.
    static void expire(u8 link);
    // True while `link` runs a transfer.
    static bool running(u8 link);
};

extern KEL_FILE_DEAL_PARA g_kel_file_deal_para;
