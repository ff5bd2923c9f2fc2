// The command handler of a control link. Each link owns one and calls it
// from its own thread with every frame its codec delivers: frames for the
// box are served here, frames for the receiving cards go to the FPGA manager
// (pass-through), anything else is ignored. The reply swaps target and
// source, keeps command and sub-command, and starts with a status byte.
// docs/protocol.md is the command table.
#pragma once

#include "app/global.h"
#include "links/link_peer.h"
#include "links/protocol_phy.h"

#include <QString>

#include <array>
#include <functional>
#include <mutex>
#include <vector>

class message_deal {
public:
    // Links, as g_passby_trans_port names them.
    enum Link : u8 { LINK_SERIAL = 1, LINK_TCP = 2, LINK_UDP = 3, LINK_4G = 4, LINK_NONE = 255 };

    // Reply status, the first payload byte of every reply.
    enum Status : u8 {
        ST_DONE = 0,
        ST_REFUSED = 1,      // range, alignment, bad value
        ST_BAD_LENGTH = 2,   // payload length does not fit the command
        ST_BUSY = 3,         // the box cannot take it now
        ST_UNSUPPORTED = 4,  // unknown command, or no answer from the cards
    };

    enum Command : u8 {
        CMD_DEVICE_INFO = 0x01,
        CMD_NET_SEARCH = 0x02,
        CMD_NET_ADDRESS = 0x03,
        CMD_HW_ADDRESS = 0x04,
        CMD_BARCODE = 0x05,
        CMD_LANGUAGE = 0x06,
        CMD_CLOUD_PROPERTY = 0x07,
        CMD_READ_RAM = 0x10,
        CMD_WRITE_RAM = 0x11,
        CMD_READ_REGISTERS = 0x12,
        CMD_WRITE_REGISTER = 0x13,
        CMD_FILE_START = 0x20,  // file transfer: start, data, end, delete
        CMD_FILE_DATA = 0x21,
        CMD_FILE_END = 0x22,
        CMD_FILE_DELETE = 0x23,
        CMD_PASSBY = 0x30,
        CMD_FLASH_ERASE = 0x70,
        CMD_FLASH_WRITE = 0x71,
        CMD_FLASH_READ = 0x72,
        CMD_CLOUD_TEXT = 0xC4,
    };

    // Box registers with side effects.
    static constexpr u8 kRegMcuFlag = 11;      // bit 2 commit user modes, bit 3 reload the overlay
    static constexpr u8 kRegUpdate = 14;       // bit 0 restart, bit 3 reload the chip fonts
    static constexpr u8 kRegInputChip = 0xA0;  // kept for the input chips
    static constexpr u8 kRegReboot = 0xA1;     // bit 0 restart, bit 1 chip register listing
    static constexpr u8 kRegChipService = 0xA2;
    static constexpr u8 kRegParamDump = 0xA3;
    static constexpr u8 kRegGroupDump = 0xA4;
    static constexpr u8 kRegChipTest = 0xA5;

    // Limits of the commands.
    static constexpr u16 kMaxReadCount = 4096;
    static constexpr u32 kSlotAddressStep = 0x1000;
    // The FPGAs' parameter memories follow the user-mode slots: FPGA f's
    // 1 KB from kFpgaMemoryAddress + f x kFpgaMemoryStep.
    static constexpr u32 kFpgaMemoryAddress = 0x11000;
    static constexpr u32 kFpgaMemoryStep = 0x400;
    static constexpr size_t kBarcodeSize = 32;
    static constexpr size_t kPidSize = 32;
    static constexpr size_t kMaxCloudText = 64;
    // Flash commands: the flash they reach and the longest read.
    static constexpr u8 kChipFlash = 4;  // the video chip's serial flash
    static constexpr u16 kMaxFlashRead = 4096;

    // Queues an encoded frame on a link from any thread (its send list),
    // for the peer given.
    using LinkSender = std::function<void(std::vector<u8>, const LinkPeer&)>;

    // Encoded reply bytes held by the handler until its next request.
    struct Wire {
        const u8* data = nullptr;
        size_t size = 0;
    };

    explicit message_deal(u8 link);
    ~message_deal();
    message_deal(const message_deal&) = delete;
    message_deal& operator=(const message_deal&) = delete;

    u8 link() const { return link_; }

    // Serves one frame from `peer`. When a reply is to go out now, it is
    // encoded into the handler's own buffer and its bytes returned (valid
    // until the next request); otherwise no bytes. Nothing is allocated.
    // Replies given later (a pass-through's) go to `peer`.
    Wire respond(const CTRL_FRAME& req, const LinkPeer& peer = {});
    // As respond(), the reply copied to `out`: true when there is one.
    bool serve(const CTRL_FRAME& req, std::vector<u8>& out);
    // Serves one frame addressed to the box or its cards. True, with `reply`
    // filled, when a reply is to go out now (a pass-through is answered
    // later, by passbyCardReply).
    bool deal(const CTRL_FRAME& req, CTRL_FRAME& reply);

    // ---- pass-through, shared by the links
    // A link registers where frames from other threads go while it runs.
    // A link that stops takes its pending pass-through with it: no reply
    // could reach its PC.
    static void attachLink(u8 link, LinkSender sender);
    static void detachLink(u8 link);
    // One reply (an RCV_FRAME) of the receiving cards to the pass-through
    // `sequence` (passbyForward's), handed over by the FPGA manager's thread:
    // sent to the PC that asked, on the link that forwarded the request.
    // False when that request is no longer pending (its window closed,
    // another one followed), the frame is malformed or that link is gone.
    static bool passbyCardReply(u32 sequence, const u8* frame, int len);
    // True while a pass-through forwarded by `link` waits for the cards.
    static bool passbyPending(u8 link);
    // Ends a pass-through whose answer window has closed; when no card
    // answered, the PC that asked gets ST_UNSUPPORTED (ST_BUSY when a USB upgrade runs
    // by then: the replies were not read). The links call it while one is
    // pending.
    static void passbyExpire();
    // How long a link's poll may sleep: -1 (until an event) unless it waits
    // for the cards (one tick) or runs a file transfer (kTransferPollMs, so
    // that an abandoned transfer ends).
    static int pollTimeoutMs(u8 link);
    static constexpr int kTransferPollMs = 100;
    // The links call it after every round of their thread: ends a
    // pass-through whose window has closed and a file transfer of `link`
    // that has been idle too long.
    static void expirePending(u8 link);

    // The program's version text, "V11.02.00 2025-02-26".
    static QString versionText();

private:
    using CommandFn = u8 (message_deal::*)(const CTRL_FRAME& req, CTRL_FRAME& reply);
    struct CommandEntry {
        u8 command;
        CommandFn fn;
    };
    static const CommandEntry kCommands[];
    static CommandFn find(u8 command);

    // ---- commands: each returns the status; data after the status is
    // appended to `reply` (dropped again when the status is not 0)
    u8 get_device_info(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 net_eth_search(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 net_ip_set(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 init_MAC_address(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 set_barcode(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 set_lcd_lang_support(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 project_set_setproperty(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 read_ram(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 write_ram(const CTRL_FRAME& req, CTRL_FRAME& reply);
    // RAM addresses in the FPGAs' parameter memories (the FPGA manager's).
    static bool inFpgaMemory(u32 addr);
    u8 readFpgaMemory(u32 addr, u16 count, CTRL_FRAME& reply);
    u8 writeFpgaMemory(u32 addr, const u8* data, u16 count);
    u8 readRegister(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 write_register(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 unsupported(const CTRL_FRAME& req, CTRL_FRAME& reply);

    // ---- file transfer (message_deal_file.cpp)
    u8 writeFileStart(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 writeFileData(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 write_file_end(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 delete_file_name(const CTRL_FRAME& req, CTRL_FRAME& reply);

    // ---- the chip's serial flash (message_deal_flash.cpp)
    u8 cmd_erase_flash(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 cmd_write_flash(const CTRL_FRAME& req, CTRL_FRAME& reply);
    u8 cmd_read_flash(const CTRL_FRAME& req, CTRL_FRAME& reply);
    // Register 14 bit 3: the font headers are read again and the fonts
    // loaded into the chip.
    u8 reloadFonts();

    // ---- register side effects
    void REG_mcu_flag(u8 value);
    void RegUpdate0E(u8 value);

    // ---- pass-through
    // True when the request went to the FPGA manager (reply later); else
    // `status` says why not.
    bool passby(const CTRL_FRAME& req, u8& status);

    u8 link_;
    // Who the request being served came from.
    LinkPeer peer_;
    // The reply being built and its encoding, reused from request to request.
    CTRL_FRAME reply_;
    std::array<u8, ctrl::kMaxWireFrame> wire_;
};

// Hands a pass-through request (the 0x30 payload: card, card command,
// address, length, data) for the cards behind sending port `port` to the
// FPGA manager as an RCV_FRAME; the cards' replies come back through
// message_deal::passbyCardReply as replies to request `sequence` on `link`.
// Returns ST_DONE when it was sent, else the status to reply at once (busy
// while the FPGA is not running or a USB upgrade runs).
u8 passbyForward(u8 link, u8 port, const u8* payload, u16 len, u32 sequence);
