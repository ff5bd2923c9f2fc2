// The FPGA manager: brings the FPGAs up and polls them, applies brightness
// and LED on/off, follows the sending ports' links, keeps the FPGAs' register
// and parameter-memory images, searches the receiving cards, carries
// pass-through frames from the control links to them and runs the
// receiving-card jobs the tool pages post (fpga_manage_jobs.*). One
// process-wide singleton with one worker thread.
#pragma once

#include "app/fpga_handover.h"
#include "app/global.h"
#include "app/tick_pacer.h"
#include "fpga/controller_memory.h"
#include "fpga/fpga_drv.h"
#include "fpga/fpga_manage_jobs.h"
#include "fpga/incomplete_record.h"
#include "fpga/send_para.h"
#include "registers/fpga_regs.h"

#include <QMutex>
#include <QStringList>
#include <atomic>
#include <functional>
#include <set>
#include <vector>

class rcvRecovery;
class x518_manage;
struct USB_UPGRADE_CHILD;

// Date and time as the clock work keeps it.
#pragma pack(push, 1)
struct TimeRealType {
    u8 second;
    u8 minute;
    u8 hour;
    u8 day;
    u8 unset;  // never written
    u8 month;
    u16 year;
};
#pragma pack(pop)
static_assert(sizeof(TimeRealType) == 8);

// What tells the USB package an upgrade run checked from any other file
// that takes its name later (another stick): the file (device, inode), its
// size and time of change, and its head and child table as they were read.
struct UsbPackageIdentity {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t changedSeconds = 0, changedNanoseconds = 0;  // kept apart: any time a file may carry fits
    std::vector<u8> table;
    bool sameFile(const UsbPackageIdentity& o) const
    {
        return device == o.device && inode == o.inode && size == o.size && changedSeconds == o.changedSeconds &&
               changedNanoseconds == o.changedNanoseconds;
    }
};

class fpga_manage final : public FpgaHandover {
public:
    static constexpr int kRegImage = fpga::reg::kCount;  // registers 0-170
    static constexpr int kRamImage = fpga::kRamSize;

    // Control links a pass-through reply can go back on (g_passby_trans_port).
    enum PassbyLink : u8 { kLinkSerial = 1, kLinkTcp = 2, kLinkUdp = 3, kLinkNone = 255 };
    // Results of passbySend.
    enum PassbyResult { kPassbySent = 0, kPassbyBadFrame = -1, kPassbyNotReady = -2, kPassbyFailed = -3 };
    using PassbyReplySink = std::function<void(const u8* frame, int len)>;

    static fpga_manage* p_fpga_manage;
    // Creates the manager on the first call: opens its SPI devices, maps the
    // SoC window, makes sure /data/smartmapping and /data/rcvrecovery exist.
    static fpga_manage* pInstance();
    // Stops the thread and leaves the hand-over; p_fpga_manage is null
    // again when it was this one. The box never drops its manager; tests do.
    ~fpga_manage();
    // Start values, then the thread. Both FPGAs are let out of reset but
    // one whose program an upgrade left incomplete (incomplete_record):
    // it stays in reset, as it would load a torn program.
    void initialize_start();
    // Takes the marks of incomplete programs from their file into
    // incomplete_fpgas and incomplete_fonts and names them on the console.
    void loadIncompleteMarks();
    // True while FPGA `fpga`'s program is marked incomplete: the manager
    // never lets it out of reset.
    bool programIncomplete(u8 fpga) const { return (incomplete_fpgas.load() >> fpga) & 1u; }

    // ---- status and registers (any thread)
    // 1 when FPGA 0 runs: its state register reads 3, its power-up has
    // finished and bit 3 (standby) of its register 0 is clear; else 0.
    // No SPI access.
    int get_fpga_status();
    // A writer changed the LED canvas (size or splice mode): asks for the
    // LED panel set-up (g_set_led_para := 1, g_set_led_setup := 0 under
    // Utils::_led_para_init_mutex), only while FPGA 0's state register reads
    // running, and wakes the manager. True when asked. A writer holding
    // x518_manage::mutex may call it (the lock order allows it).
    static bool requestPanelSetup();
    // Refreshes one register of the image from the FPGA; registers 64-127 and
    // above 170 are ignored.
    void read_from_register(u8 reg, u8 fpga);
    // Refreshes the register, replaces the bits of `mask` by those of `value`
    // in the image, applies its side effect (FPGA 0 register 0: ScreenState
    // from bit 2) and writes it to the FPGA. Registers 64-127 and above 170
    // are ignored.
    void write_to_register(u8 reg, u8 mask, u8 value, u8 fpga);
    // Link mask of the sending ports (bit n = port n has a link), re-read
    // from FPGA 0; 0 while FPGA 0 is not running.
    int get_wlan_state();
    // Byte offsets of a sending port's x, y, width and height in FPGA 0's
    // parameter memory; returns 0.
    static int get_eth_param_addr(unsigned char port, unsigned short* x, unsigned short* y, unsigned short* w,
                                  unsigned short* h);
    // Writes bytes of an FPGA's parameter memory and reads them back into
    // its image; false (the image as it was) when the range passes 1 KB, a
    // transfer failed, the FPGA does not hold the bytes, or its state
    // register does not read running both before the write and after the
    // read-back (an FPGA that stopped reads all ones, so bytes 0xFF would
    // read back as written). The manager's thread alone calls it on the box.
    bool writeRamPara(u8 fpga, u16 offset, const u8* data, int len);

    // ---- the controller memory a PC reads and writes (any thread)
    enum MemoryWrite { kMemoryHeld, kMemoryRefused, kMemoryNotHeld };
    // The longest a write waits for the manager's thread.
    static constexpr int kMemoryWaitMs = 1000;
    // The range lies in FPGA `fpga`'s memory and the box has that FPGA
    // (its SPI node opened).
    bool memoryReachable(u8 fpga, int offset, int len) const;
    // A PC's write, handed to the manager's thread, which writes it into
    // the FPGA and its file (ControllerMemory); the caller waits for that
    // pass, kMemoryWaitMs at most. Held: the FPGA holds the bytes, read
    // back, and the file keeps them. Not held: the FPGA is not running,
    // did not take them or the file could not be written (the bytes are
    // kept all the same and written at the next bring-up), or the thread
    // did not get to it in time (it carries the write out later).
    MemoryWrite writeControllerMemory(u8 fpga, u16 offset, const u8* data, int len);
    // What a PC reads: what the FPGA holds, as the image has it, while it
    // runs (holdsMemory); while it does not, what the box keeps for it,
    // which it takes when it comes up (bytes the box does not know yet, as
    // the FPGA last held them). False when not reachable.
    bool readControllerMemory(u8 fpga, u16 offset, u8* out, int len);
    // FPGA `fpga` runs: its power-up finished and its state register read
    // running when last looked at. Its image is then what it holds.
    bool holdsMemory(u8 fpga) const;
    // Fills the record from the system clock; -1 (the record all 0 but its
    // fifth byte) when the clock cannot be read.
    static int IT8563WE_Get(TimeRealType* t);
    // A time as the upgrade's log writes it: hh:mm:ss.
    static QString timeText(const TimeRealType& t);
    static constexpr int kTimeDigits = 2;

    // ---- pass-through from the control links to the receiving cards
    // Sends one RCV_FRAME to the cards behind the port it names and makes
    // `link` the one that gets the cards' replies (g_passby_trans_port). The
    // cards are the frame's alone from then on for one second (kPassbyTicks):
    // a reply from the port the frame names, with its command, from the card
    // it names (any card for kCardAll), the first from each card, is handed
    // from the manager's thread to the sink registered for `link` when the
    // frame was sent. Frames received before it was sent answer earlier
    // frames (the box's own card search, a job) and are never the frame's,
    // however late the thread takes them. kPassbyNotReady while FPGA 0 is not
    // running and while a USB upgrade runs (the thread then reads no reply).
    int passbySend(u8 link, const u8* frame, int len);
    void setPassbySink(u8 link, PassbyReplySink sink);

    // ---- the thread's work
    // The controller memory's part of a pass, first in every pass: the
    // PC's writes into the FPGAs and the files that owe them.
    void memoryDeal();
    // One pass of the normal work.
    void fpga_manage_deal();
    // One pass while a USB upgrade is requested.
    void usb_upgrade_manage_deal();
    // Lets an FPGA out of reset 201 ticks after its reset began, unless its
    // program is marked incomplete.
    void check_fpga_rst();
    // Holds an FPGA in reset from now on (it comes back by check_fpga_rst).
    void holdFpgaReset(u8 fpga);
    // The receiving-card jobs named by g_send_para.cmd, one step per call
    // (fpga_manage_jobs.cpp): 1 quick mapping, 2 scan-file load, 3 parameter
    // save, 4 mapping switch, 5 recovery check, 6 recovery replay.
    void SmartMapping_deal();
    void save_para_deal();
    void mapping_enable_deal();
    void rcv_recovery_check_deal(RCV_CHECK_OR_RECOVERY mode);
    // Ends the thread. The box never does; tests do before they finish.
    void stop();
    // Starts the thread's next pass now (any thread): a hand-over flag was
    // raised, a job posted in g_send_para or an upgrade requested.
    void wake() override { worker_.wake(); }
    // Ticks until the next pass is due: one while an FPGA powers up or
    // resets, a hand-over or job waits, or a pass-through is open; else the
    // idle polling period.
    int passDueTicks();

    // ---- state shared with other threads
    fpga_drv drv;
    rcvRecovery* rcv_recovery = nullptr;
    QMutex reg_mutex;     // the register and parameter-memory images
    QMutex passby_mutex;  // pass-through and interrupt handling

    // Images as last read, one per FPGA; read without a lock.
    u8 MCU_REG_func[fpga::kFpgas][kRegImage];
    u8 MCU_RAM_PARA_func[fpga::kFpgas][kRamImage];

    // Hand-overs from the video chip manager (app/fpga_handover.h).
    std::atomic<u8> bri_changed{0};     // set and cleared under Utils::_bri_set_mutex
    std::atomic<u8> output_changed{0};  // cleared under Utils::_system_mutex
    void releaseChipSelects() override;
    void raiseOutputChanged() override;
    void raiseBrightnessChanged() override;

    // 16-bit GPIO words of the two FPGAs' SPI chip-select lines in the SoC
    // window (0 = selected, 16 = released); never null once the manager exists.
    volatile u16* gpio_cs_fpga0 = nullptr;
    volatile u16* gpio_cs_fpga1 = nullptr;
    // Reset lines: 0 holds the FPGA in reset, 16 lets it run.
    volatile u16* gpio_rst_fpga0 = nullptr;
    volatile u16* gpio_rst_fpga1 = nullptr;
    // Reset bookkeeping; the thread's own.
    u8 rst_pending[fpga::kFpgas] = {};
    u32 rst_tick[fpga::kFpgas] = {};
    u8 vbo_retry[fpga::kFpgas] = {};

    TimeRealType rtc_time{};

    // ---- the USB upgrade (fpga/fpga_upgrade.cpp), one step per pass while
    // g_usb_grade is set: list the packages on the stick, install them,
    // finish. Only this thread writes these members; the upgrade page reads
    // usb_grade_msg once change code 104 has come.
    void usb_upgrade_deal();
    void get_usb_file_list_path();
    void usb_upgrade_main_deal();
    // What became of a payload: not written (its flash or file untouched),
    // written whole and read back equal, or cut short (an FPGA program or a
    // font whose flash was erased and did not take it whole; an application
    // that could not be written or read back, the old program staying).
    // An FPGA program also: kept, its flash refused the first erase and
    // still holds the program it had; unverified, every erase and program
    // was done but the flash could not be read back, so it likely holds the
    // new program, which is not counted as installed. An FPGA program or a
    // font: unrecorded, the mark that would tell a torn flash after a power
    // cut could not be stored (the disk under /data full or read-only), so
    // nothing was erased and the flash holds what it held. The application:
    // unrecorded, the disk took no file; the old program stays.
    enum ProgramWrite : u8 {
        kProgramNotWritten = 0,
        kProgramWritten = 1,
        kProgramIncomplete = 2,
        kProgramKept = 3,
        kProgramUnverified = 4,
        kProgramUnrecorded = 5,
        // Not read from the stick (pulled, or a read failed): nothing of it
        // erased or written, and the run tells it.
        kProgramUnread = 6,
        // A font: the video chip does not answer (not brought up, or its
        // SPI fails), so its serial flash was not touched: nothing erased
        // or written, no mark, and the run tells it.
        kProgramNoChip = 7,
    };
    // The writers of one payload.
    ProgramWrite update_muc_file(const QString& package, u32 offset, u32 length);
    // Reads the whole program from the stick before the flash is erased.
    ProgramWrite update_txc_file(const QString& package, u8 flash, u32 offset);
    // `slot` gets the font's place (a bit of incomplete_fonts) once its head was read.
    ProgramWrite update_x518_osd_font_file(const QString& package, u32 offset, u32 length, u8* slot = nullptr);
    // Keep incomplete_fpgas, kept_fpgas, unverified_fpgas, unrecorded_fpgas,
    // incomplete_fonts, unrecorded_fonts, application_failed, the file of
    // the marks and the console up to date with a child's write.
    void noteFpgaProgram(u8 fpga, ProgramWrite written);
    void noteFont(u8 slot, ProgramWrite written);
    void noteApplication(ProgramWrite written);
    // A part not read from the stick: kept for the page, told on the console.
    // `pulled`: not read as the stick was pulled during the run.
    void noteUnread(u8 part, const QString& package, const std::string& what, bool pulled = false);
    // The stick's upgrade directory, and the packages in it (suffix "KEL" or
    // "KELZK", regular files whose name does not begin with a dot, name
    // order ignoring case), at most `limit`.
    static QString usbUpgradeDir();
    static QStringList usbPackagePaths(int limit);
    // What a listing found: the packages taken (at most the limit), those
    // beyond the limit, and the dot-files with a package's suffix, which
    // are not taken; the directory's path, empty when the setting names
    // none, and whether it exists.
    struct PackageListing {
        QStringList packages;
        QStringList beyondLimit;
        QStringList dotFiles;
        QString dir;
        bool dirFound = false;
        // The folder is a symbolic link that leads out of the box root:
        // refused, nothing in it is taken.
        bool outsideRoot = false;
        // Names with a package's suffix that are not valid UTF-8, each byte
        // beyond printable ASCII written \xNN: not taken.
        QStringList undecodable;
    };
    static PackageListing listPackages(int limit);
    // The most packages a run installs.
    static constexpr int kMaxPackages = 255;
    QStringList usb_file_list;
    u8 usb_file_count = 0;
    u8 downing_mcu = 0, downing_txc1 = 0, downing_txc2 = 0, downing_osd = 0;
    QString usb_grade_msg;  // the run's start time, then four blanks and its end time
    // A run has ended since the box started and none has started since: what
    // the members below tell of "this run" is that run's, and the upgrade
    // page opened now shows its end. Set before change code 104.
    std::atomic<bool> run_ended{false};
    // Set before change code 104 and read by the upgrade page after it.
    // Bit f: FPGA f's flash was erased and not written whole, in this run
    // or an earlier one (before a reboot too: incomplete_record); its
    // program must be installed again. Cleared when a later run writes that
    // FPGA's program whole.
    std::atomic<u8> incomplete_fpgas{0};
    // Bit f: this run's last program for FPGA f was kept out by its flash
    // (the old program stays), or written and not verified.
    std::atomic<u8> kept_fpgas{0};
    std::atomic<u8> unverified_fpgas{0};
    // Bit f: this run's last program for FPGA f was not written, its flash
    // not erased, because the mark that tells a torn program could not be
    // stored first (kProgramUnrecorded); the old program stays.
    std::atomic<u8> unrecorded_fpgas{0};
    // The same as incomplete_fpgas for the fonts, a bit per place in the
    // chip's flash: 32-dot English, 32-dot Chinese, 64-dot English, 64-dot
    // Chinese.
    static constexpr int kFontPlaces = incomplete_record::kFontPlaces;
    std::atomic<u8> incomplete_fonts{0};
    // Bit p: this run's font for place p was not written for the same
    // reason as unrecorded_fpgas; the place holds what it held.
    std::atomic<u8> unrecorded_fonts{0};
    // The last application child of this run could not be written whole or
    // read back, or this run tore an FPGA's program, or the record still
    // marks an FPGA (below; the box then does not restart onto it): the old
    // program stays.
    std::atomic<bool> application_failed{false};
    // This run's last application child was not written as the disk under
    // /data took no file (full or read-only).
    std::atomic<bool> application_disk_refused{false};
    // Bit f (bit p): the record of incomplete programs (incomplete_record)
    // still marks FPGA f (font place p), which is no longer marked
    // incomplete: its mark was to be removed (a program written whole, a
    // flash that kept the old one or took the new one unverified) when the
    // disk under /data took no file. The record is behind: a start now would
    // keep that FPGA in reset. Outside a run the manager writes the record
    // again every kRecordRetryTicks until the disk takes it; these clear
    // then, with change code 1. Set before change code 104, read by the
    // upgrade page after it and when it opens.
    std::atomic<u8> stale_fpgas{0};
    std::atomic<u8> stale_fonts{0};
    bool recordBehind() const { return (stale_fpgas.load() | stale_fonts.load()) != 0; }
    // What this run left out of what the stick holds, and why; cleared at
    // a run's start, set before change code 104 and read by the upgrade
    // page after it. Parts are bits of RunPart.
    enum RunPart : u8 { kPartApplication = 1, kPartFpga0 = 2, kPartFpga1 = 4, kPartFont = 8 };
    // No package was found in the upgrade directory (or it is missing).
    std::atomic<bool> no_package{false};
    // Packages refused whole: damaged (a payload or the child table passes
    // the end of the file, an empty payload, one larger than its place, a
    // font without its head or of an unknown encoding), or naming no part
    // this box installs (a head only). Nothing of them was written.
    std::atomic<u16> refused_packages{0};
    // Packages listed that could not be read from the stick (pulled, or a
    // read failed): nothing of them was written.
    std::atomic<u16> unread_packages{0};
    // Packages beyond kMaxPackages, in name order: not looked at.
    std::atomic<u16> skipped_packages{0};
    // Files with a package's suffix whose name is not valid UTF-8: not
    // taken (renamed, they install). Their names, each byte beyond
    // printable ASCII written \xNN, one a line.
    SharedText misnamed_packages;
    // Parts of a package that could not be read from the stick: each
    // flash or file kept what it held.
    std::atomic<u8> unread_parts{0};
    // This run's last font child could not be installed as the video chip
    // did not answer (kProgramNoChip): the font's place holds what it held.
    std::atomic<bool> font_chip_silent{false};
    // Parts of packages for another product (ControllerType), not installed
    // (their fonts are installed all the same).
    std::atomic<u8> foreign_parts{0};
    // A part was left out because the stick could not be read.
    bool stickCutShort() const { return unread_parts.load() != 0 || unread_packages.load() != 0; }

    // Receiving cards found on each sending port by the last search.
    std::atomic<u16> port_cards[fpga::kSendPorts];

    // The running job's progress, and the recovery jobs' result for the
    // recovery page.
    CardJobReport job_report;
    RcvRecoveryResult rcv_result;

    // Ticks and counts of the thread's work.
    static constexpr u32 kResetTicks = 201;    // reset held before release
    static constexpr u32 kPowerUpTicks = 500;  // power-up wait before a retry
    static constexpr u8 kPowerUpRetries = 3;
    static constexpr u32 kPcCmdTicks = 80;      // a PC command counts as recent
    static constexpr u32 kLedStopTicks = 11;    // LED set-up: stopped ...
    static constexpr u32 kLedSettleTicks = 31;  // ... then settling after the restart
    static constexpr u32 kSearchTicks = 50;     // one port searched per period
    static constexpr u32 kPassbyTicks = 100;    // replies of a pass-through frame
    static constexpr int kFramesPerPass = 16;   // received frames taken in one pass
    static constexpr int kFramesHeldMax = 64;   // received frames a pass-through sets aside
    static constexpr u16 kDefaultBrightness = 100;
    static constexpr int kIdlePollTicks = 5;       // register polling while nothing is asked
    static constexpr u32 kRecordRetryTicks = 100;  // a record of marks that is behind, written again

    // The receiving-card jobs.
    static constexpr int kJobPorts = 6;            // jobs 3 and 4: the LAN ports the pages offer
    static constexpr u32 kSaveTicks = 1200;        // job 3: a port's answers, plus ...
    static constexpr u32 kSavePerCardTicks = 100;  // ... this per card
    static constexpr u32 kMappingTicks = 1200;     // job 4: a port's answers
    static constexpr u32 kQueryTicks = 500;        // jobs 5 and 6: a port's search answers
    static constexpr u32 kBlockTicks = 100;        // job 2: the cards' answers to one block
    static constexpr u32 kOperationTicks = 100;    // job 6: the card's answer to one replayed operation
    static constexpr u32 kCounterTicks = 100;      // the cycling counter moves after more than this
    static constexpr u32 kJobCloseTicks = 200;     // jobs 1-4: their last value shown, then 100 after more than this
    static constexpr u32 kJobFailTicks = 100;      // jobs 5 and 6: a failure keeps the job word this long
    static constexpr int kProgressSent = 90;       // job 1 has told every card its place
    static constexpr int kProgressPortsDone = 95;  // jobs 3 and 4 have been through the ports
    static constexpr int kProgressRunning = 99;    // the highest value while a job runs
    static constexpr int kProgressEnd = 100;
    static constexpr size_t kMissedNamed = 16;  // cards that did not take a job, named on the console

private:
    fpga_manage();
    // One pass of the manager thread.
    void pass();

    // register access behind the images
    bool refreshRegs(u8 fpga, u8 first, int count);
    bool refreshRam(u8 fpga);
    // Reads the state register into the image, the caller holding
    // reg_mutex; true when it reads running.
    bool stateRunningLocked(u8 fpga);
    // Read, modify, write of one register under reg_mutex; with `verify` the
    // register is read back and the side effect applied only when it holds
    // the new value. False when a transfer failed or the value did not hold.
    bool modifyRegister(u8 fpga, u8 reg, u8 mask, u8 value, bool verify);
    void applySideEffects(u8 fpga, u8 reg, u8 value);

    // the controller memory: the files, and the bring-up's writes
    bool saveMemory(u8 fpga, const u8* bytes);
    void bringUpMemory(u8 fpga);
    // Register 44 follows whether a file owes what the PC wrote.
    void publishMemoryState(bool owed);

    // pieces of one pass
    void pcCmdDeal();
    void fpgaStateDeal(u8 fpga);
    bool powerUp(u8 fpga);
    void fpgaLost(u8 fpga);
    void interruptDeal();
    // The sending ports' links read again; a change is told
    // (SYNC_LINK_STATE), and then true.
    bool linkCheck();
    // Takes one frame from the cards; true when it is a reply to the open
    // pass-through frame (never when `mayAnswerPassby` is false).
    bool frameDeal(const u8* frame, int len, bool mayAnswerPassby);
    // Reads up to `most` received frames from FPGA 0 into `out`, the first
    // by the receive length the register image holds (the caller refreshes
    // it); the caller holds passby_mutex. False when a transfer failed.
    bool takeFrames(std::vector<std::vector<u8>>& out, int most);
    void brightnessDeal();
    void outputDeal();
    void ledSetupDeal();
    void cardSearchDeal();
    void sendSearch(u8 port);
    // The search found `cards` on `port` (known_cards_ follows).
    void setPortCards(int port, u16 cards);
    bool portLinked(u8 port);

    // pieces of the receiving-card jobs (fpga_manage_jobs.cpp)
    void jobStart();
    void jobProgress(int percent);
    void jobCycle();
    // Ends the job: the job word to 0, its end (job_.end) handed to
    // job_report, then 100. `noFpga`: it was cut short because FPGA 0 is not
    // running.
    void jobFinish(bool noFpga = false);
    // Hands the job's end to job_report, and names the cards that did not
    // take the job on the console.
    void jobReportEnd(bool noFpga);
    // FPGA 0 is not running: the job must stop (said on the console).
    bool jobLostFpga();
    void jobSend(u8 port, u16 card, u8 command, u32 address, const u8* data, int len);
    // Waits for the answers to a frame from `card` of `port` (kCardAll: from
    // its first `cards` cards).
    void jobAwait(u8 port, u16 card, u8 command, int cards, u32 timeout);
    // Job 2: the next block's answers, awaited from the cards of the wait
    // before that have not missed one.
    void jobAwaitAgain(u32 timeout);
    // Every card awaited has answered, the time-out is over, or the port
    // lost its link (no answer can come).
    bool jobWaitOver();
    // The wait is over: the cards still awaited did not take the job.
    void jobSettle();
    bool jobTakes(const fpga::RcvHeader& h) const;
    void jobReply(const fpga::RcvHeader& h, const u8* data);
    bool quickMappingCheck(QString* why, JobRefusal* refusal);
    void sendPosition(int place);
    void portJobDeal(u8 command, const u8* data, int len, bool timeoutPerCard);
    bool portJobPlan(u8 command);
    void loadScanStart();
    void loadScanDeal();
    void recoveryStart(RCV_CHECK_OR_RECOVERY mode);
    void recoveryReplayDeal();
    // Job 6: the card missed a replayed operation or its save; it stays
    // listed, the page says it did not answer, and the job fails.
    void recoveryNotTaken();
    void recoveryQueryDeal(RCV_CHECK_OR_RECOVERY mode);
    // The query could not ask `port` (no link): noted for the page, and on
    // to the next port.
    void queryPortNotAsked(u8 port);
    void recoveryEnd(RCV_CHECK_OR_RECOVERY mode);
    // Jobs 5 and 6 failed: 100 at once, the job word kept a moment longer.
    void recoveryFail(bool noFpga = false);

    // the block values the FPGA shows
    static u8 blockBrightness();
    static bool blockLedOff();

    // the USB upgrade
    // True while the package at `package` is the one checked (checked_):
    // the same file, size and table; and then `length` bytes at `offset`
    // read from it into `out`, in the same look at the file (false when
    // they cannot be). Not the package checked: false, with a console line.
    bool stillChecked(const QString& package, uint64_t offset = 0, u32 length = 0, u8* out = nullptr);
    // The stick went away since the run started (the USB watcher counted a
    // pull), whatever came back: the run is cut short.
    bool stickPulledInRun() const;
    void usbPackageDeal(const QString& package);
    // A font child installed and its place noted; what became of it.
    ProgramWrite fontChild(const QString& package, const USB_UPGRADE_CHILD& c);
    void usbUpgradeFinish();
    void usbUpgradeEnd();
    // The marks as they stand, with the FPGAs and font places of `writing`
    // marked too (a flash about to be erased), written to their file when
    // they differ from what it holds. False when the file could not be
    // written: then nothing may be erased that the marks would have told.
    // `tell`: a failure goes to the console.
    bool saveIncompleteMarks(incomplete_record::Marks writing = {}, bool tell = true);
    // The marks as they stand (no flash being written).
    incomplete_record::Marks currentMarks() const;
    // Brings the record up to date with the marks once a child was
    // written, or on a retry, and publishes stale_fpgas and stale_fonts:
    // the console says when the record falls behind and when it is up to
    // date again, and change code 1 tells the page then. A `retry` that
    // fails again is not told.
    void keepRecord(bool retry = false);
    // Outside a run: a record that is behind is written again, at most once
    // every kRecordRetryTicks.
    void recordDeal();
    incomplete_record::Marks saved_marks_;  // what the file holds
    u32 record_tick_ = 0;                   // the record's last try while behind
    u8 torn_in_run_ = 0;                    // FPGAs this run left incomplete
    u8 upgrade_state_ = 0;                  // idle, waiting for the transfer buffer, running
    u8* upgrade_buf_ = nullptr;             // the transfer buffer while a run holds it
    u32 pulls_at_start_ = 0;                // g_usb_stick_pulls when the run started
    UsbPackageIdentity checked_;            // the package being installed, as checked

    PacedWorker worker_;
    ControllerMemory memory_;
    bool memory_owed_ = false;  // register 44 as last told
    // How the last write of each FPGA's file went, said on the console
    // when it changes.
    enum class MemoryFile : u8 { kWritten, kFails, kFolderInPlace };
    MemoryFile memory_file_[fpga::kFpgas] = {};
    std::atomic<bool> running_[fpga::kFpgas];  // power-up finished
    bool waiting_[fpga::kFpgas] = {};          // out of reset, waiting for the power-up
    u32 wait_tick_[fpga::kFpgas] = {};         // since when
    u16 last_links_ = 0;                       // link mask last seen
    u32 led_tick_ = 0;

    int search_port_ = -1;                    // port whose search replies we count
    int search_last_ = fpga::kSendPorts - 1;  // port searched last
    u32 search_tick_ = 0;
    u16 search_found_ = 0;
    // The most cards each port has shown since its link came up: a card at
    // the end of a chain that falls silent drops out of the search, not out
    // of the jobs (they tell it as missed).
    u16 known_cards_[fpga::kSendPorts] = {};

    // the running receiving-card job; the recovery file's port record where
    // the last card that needs recovery was found (-1 none)
    CardJobState job_;
    int rcv_found_port_ = -1;

    // pass-through, under passby_mutex: the open frame's port, card and
    // command, the cards that have answered it, the sink its replies go to,
    // and the frames received before it was sent, which the thread takes as
    // answers to earlier frames
    u8 passby_port_ = 0;
    u16 passby_card_ = 0;
    u8 passby_command_ = 0;
    u32 passby_tick_ = 0;
    bool passby_open_ = false;
    std::set<u16> passby_answered_;
    PassbyReplySink passby_sink_;
    std::vector<std::vector<u8>> held_frames_;
    PassbyReplySink sinks_[4];
};
