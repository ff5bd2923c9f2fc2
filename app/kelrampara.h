// The parameter store: the live parameter block, its shadow copy, the 16
// user-mode slots and the register image; the parameter file and the
// user-mode files; the crop, source, freeze, black, EDID and language
// operations; and the one emitter of the change signal.
#pragma once

#include "app/file_copy.h"
#include "app/global.h"
#include "app/ram_para.h"

#include <QMutex>
#include <QObject>
#include <atomic>
#include <functional>
#include <string>

// Crop record handed to and from the crop operations: the crop key (or the
// source number when a page adds a crop), then X, Y, W, H.
struct CROP_PARA {
    int key;
    int x;
    int y;
    int w;
    int h;
};

// Change codes carried by sig_update_para and UsbServer::sig_usb_update.
enum PARA_SYNC_CODE {
    SYNC_PARA_CHANGED = 1,
    SYNC_MODE_FILES = 2,
    SYNC_LINK_STATE = 11,
    SYNC_INPUT_TIMING = 12,
    SYNC_CHIP_STATE = 13,       // the video chip entered or left running mode
    SYNC_WINDOWS_REFUSED = 14,  // the windows the input channels cannot carry changed (register 45)
    SYNC_FPGA_MEMORY = 15,      // an FPGA's parameter memory took a write, or the box keeps it for the FPGA
    SYNC_RCV_RECOVERY = 99,
    SYNC_USB_ADDED = 100,
    SYNC_USB_REMOVED = 101,
    SYNC_USB_STORAGE = 102,
    SYNC_FILE_RECEIVED = 103,
    SYNC_USB_UPGRADE = 104,
    SYNC_FILE_STARTED = 105,
    SYNC_TRANSFER_DIALOG_OFF = 106,
};

constexpr int kCutSourceStateBytes = ram::kCropBitmapBytes;
extern u8 g_cut_source_state[kCutSourceStateBytes];  // crop-exists bitmap
extern std::atomic<u8> g_language;                   // language the pages show
extern std::atomic<u8> g_image_current;              // window the key pad and pages act on

class KelRamPara : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kParaFile = "/data/ram_device_info";
    static constexpr const char* kModeDir = "/data/modes";
    static constexpr const char* kOverlayFile = "/data/configs/omenu.json";

    static KelRamPara* p_kelrampara_config;
    static KelRamPara* pInstance();

    // Announces a change code; returns 1. From the GUI thread the signal is
    // emitted at once, under no lock (its slot may run a modal box). From any
    // other thread the code is handed to the GUI thread and emitted there; a
    // code of a kind that still waits there is folded into the waiting one
    // (the refresh reads the live block anyway).
    static int test_signal(int code);
    // Sets (`on`) or clears `bits` of a register-image byte that other
    // writers share, under `mutex`, then announces `code`. Nothing but the
    // code without a store.
    static void markRegister(u8 KEL_REG_IMAGE::*reg, u8 bits, bool on, int code);

    int ram_para_save();
    // The protocol's block write. A write that reaches mode_save_request
    // takes the save request it carries (takeSaveRequestWritten). The caller
    // holds ApplyHandover::mutex and raises the apply.
    int KelRamParaDeal(u8* data, u16 len, u32 offset);
    // Every block write of a link (KelRamParaDeal) stamps the u16 words it
    // wrote with a new count, so that a page tells a link's write of a field
    // from its own also when the values are equal. The stamp of the word
    // at block offset `offset`; under ApplyHandover::mutex.
    u32 linkWriteStamp(u32 offset) const;
    int KelModeUserRamParaDeal(u8* data, u16 len, u32 address);

    int KelGetImageSource(u8* base, u8 image, i16* is_crop, char* crop_index, u8 from_mode);
    int KelGetSourceNum(int source, int n);
    void KelCropSourceInit();
    int KelGetCropID(int source, int n);
    int KelAddCropID(int source);
    void KelGetCropPara(int source, int n, CROP_PARA* out, int* index);
    void KelSetCropPara(char source, char n, CROP_PARA* in);
    void KelAddNewCrop(int source, CROP_PARA* in);
    void KelDeleteCrop(char source, char n);
    // The crop editor's writes to crop record `record`, made only while the
    // record still holds the crop the editor opened on (its key): a link may
    // have deleted or replaced it meanwhile. Under x518_manage::mutex, with
    // the apply raised when the record changed. False, and nothing written,
    // when the key differs.
    // rewriteCrop stores the rectangle (the low 16 bits of X, Y, W, H) that
    // `rect` makes of the one the record holds (a link may have written
    // some of its values meanwhile); deleteCrop frees the record (its
    // rectangle stays).
    bool rewriteCrop(int record, u16 key, const std::function<CROP_PARA(const CROP_PARA& held)>& rect);
    bool deleteCrop(int record, u16 key);
    // Window `image` shows entry `n` of `source` (0 the whole input, else
    // its n-th crop); the user mode in use is forgotten. Nothing written
    // when the window shows that entry already.
    void KelSetImageSource(int n, char source, char image);
    void KelSetImageFreeze();
    void KelSetImageBlack();
    void KelSetEDIDPara(int port, short width, short height, short rate);
    int KelLanguageChanged();
    int KelUserModeSaved(int i);
    int KelUserModeIndex(char current, char direction);
    int KelGetCurrentModeIndex();
    // Loads saved user mode `slot` (0-15) into the live block in one hold of
    // the chip manager's mutex, so that the chip never applies half a mode:
    // block offsets 896-4095 := the slot's data, current_mode := slot + 1,
    // and the apply raised; no change code (the chip manager's pass brings
    // it). Save requests taken before go on with the blocks they hold. False,
    // and nothing changed, for a slot that is not saved; nothing written
    // (and true) when the block holds that mode, in use, already.
    bool recallUserMode(int slot);

    // Save requests: every request to save the live block as a user mode
    // (the PC's write of 868, the mode bar) is taken at once with the
    // block's user-mode part as it stands then, and kept until the change
    // notifier carries it out; a later request for the same mode replaces
    // it. While any is kept or being written, mode_save_request reads the
    // mode asked last, and current_mode names it from the request on. All
    // under ApplyHandover::mutex, held by the caller.
    // Takes a request for `mode` (1-16); false, and nothing kept, for
    // another mode.
    bool takeSaveRequest(u16 mode);
    // After a write into mode_save_request: a mode 1-16 written there is
    // taken, anything else (0 included) gives way to the requests kept.
    void takeSaveRequestWritten();
    // The requests kept: bit i, user mode i + 1; and what 868 reads for them.
    u16 saveRequestsKept() const { return kept_saves_; }
    u16 saveRequestShown() const { return (kept_saves_ | saving_) ? last_save_request_ : 0; }
    // Hands the block kept for user mode i + 1 over to be saved (its
    // user-mode part, kUserModeSize bytes, into `data`); false when none is
    // kept. The save counts as asked for until the notifier has written its
    // file and told how the saves went (saveRequestsDone): mode_save_request
    // then reads 0 when no request is kept.
    bool handOverSave(int i, u8* data);
    void saveRequestsDone();
    int KelSourceId_is_on(u8 device);
    int mode_file_deal(int i, int action);
    int mode_file_write(int i, int mode);
    void ram_para_reset();

    // Saves a block's user-mode part (`data`, 3200 bytes) as user mode
    // i + 1, with the overlay copy when that block has the overlay on. The slot
    // reads as saved only once its file is written; a file that cannot be
    // written waits for retryModeFiles and the slot stays as it was. True
    // when written; false while it waits, for the disk or for its overlay
    // copy (overlaysCopying), after which its file is written.
    bool saveMode(int i, const u8* data);
    // Slots whose file waits to be written (a save or a commit that could
    // not write it): tried again, oldest image kept until written or
    // replaced. GUI thread, like every user-mode file operation.
    bool modeFilesPending() const { return pending_modes_ != 0; }
    bool modeFilePending(int i) const;
    // Slot i's file waits with a save (a save request carried out while the
    // file could not be written): the slot still shows what it held before,
    // and a commit of the slots leaves it to the save.
    bool saveWaits(int i) const;
    // Tries every waiting file once; true when none waits any more.
    bool retryModeFiles();
    // Slots whose save waits for its overlay copy, being made on the
    // file-copy thread (bit i, slot i): the slot's file follows it.
    u16 overlaysCopying() const { return overlay_copying_; }

    // Raises the video chip manager's apply flag under its mutex.
    // A pending higher request is kept. raiseApplyLocked: the caller holds
    // x518_manage::mutex already.
    static void raiseApply(u8 flag = 1);
    static void raiseApplyLocked(u8 flag = 1);

    // What the files owe the block, raised with every apply whether or not
    // the chip manager can take it, and served by the change notifier
    // (SyncUpdate), which takes its bits before it saves: kSaveBlock, the
    // live block may differ from the parameter file; kSaveModeFiles, the
    // slots wait to be written to their files (register 11 bit 2).
    enum SaveOwed : u8 { kSaveBlock = 1, kSaveModeFiles = 2 };
    static std::atomic<u8> save_owed;
    // How a page writes the live block: `edit` runs under x518_manage::mutex,
    // and the apply is raised (1) before the mutex is let go, only when
    // `edit` changed the block: a confirm of what it holds already (a PC's
    // write of the same included) writes nothing. True when it changed.
    // Nothing without a store.
    static bool editBlock(const std::function<void(KEL_RAM_PARA&)>& edit);

    // /data/modes/custom_modeN and /data/modes/MOxx.json of slot i (user mode i + 1).
    static std::string modeFilePath(int i);
    static std::string modeOverlayPath(int i);
    // Writes a file whole: a new file, synced with its folder, renamed over
    // the old one; a power cut leaves the old file or the new one. Another
    // writer of the same file waits for it; writers of other files never do,
    // nor does it wait for theirs (platform::writeFileAtomic). The caller
    // holds no file lock but this file's own.
    static bool writeFileSynced(const std::string& boxPath, const u8* data, size_t len);

    QMutex mutex;                  // writers of ram_para.source_status and of registers 37 and 44
    KEL_RAM_PARA ram_para;         // the live block
    KEL_RAM_PARA ram_para_shadow;  // the block as at the last write-back
    USER_MODE_SLOT ram_user_mode[ram::kUserModes];
    KEL_REG_IMAGE reg_image;

signals:
    void sig_update_para(int code);
    // Slot i's overlay copy ended, and its save landed with it or waits
    // on (modeFilePending). GUI thread.
    void overlayCopyEnded(int slot);

private:
    KelRamPara();

    void loadParaFile();
    // Writes the default table as the parameter file and loads it; `tell`
    // false keeps quiet about a failure (the file's refusal was told).
    bool recreateParaFile(bool tell = true);
    bool loadSavedRange(const std::string& file);
    static void tellUnfitParaFile(const std::string& file, u8 m0, u8 m1);
    void checkLanguageAtStart();
    void applyStartResets();
    void setRegisterStartValues();
    int findCropRecord(int source, int cropNumber) const;
    // `edit` on crop record `record` while its key is still `key`, under
    // x518_manage::mutex, with the apply raised when the record changed;
    // false when the key differs.
    bool editCrop(int record, u16 key, const std::function<void(CROP_ITEM&)>& edit);
    void setImageFlag(u16 flag);
    // Who asks for a slot's file: a save of the live block, a commit of the
    // slot as the protocol wrote it, or the retry of an image that waits.
    enum ModeWrite { kSaveWrite, kCommitWrite, kRetryWrite };
    // Writes `image` as slot i's file; the slot takes the image once
    // written (a commit's image written late only while the slot still
    // awaits it, `slotAwaits`). Else the image waits, and a slot the
    // protocol marked saved itself (a commit) reads as unsaved. With
    // withOverlay the image waits for the overlay copy (requestOverlayCopy),
    // and its file is written once the copy is made.
    bool writeModeImage(int i, const USER_MODE_SLOT& image, bool withOverlay, ModeWrite by);
    bool slotAwaits(int i, const USER_MODE_SLOT& image) const;
    static bool readModeFile(const std::string& boxPath, std::string& file);
    static void tellUnsavedMode(const std::string& boxPath, const USER_MODE_SLOT& slot);
    bool fileHolds(const std::string& boxPath, const USER_MODE_SLOT& image) const;
    void waitForFile(int i, const USER_MODE_SLOT& image, bool withOverlay, ModeWrite by);
    void requestOverlayCopy(int i);
    void overlayCopied(int i, filecopy::Result result);

    USER_MODE_SLOT pending_mode_[ram::kUserModes];       // the file image each waiting slot is to get
    u16 pending_modes_ = 0;                              // bit i: slot i's file waits
    u16 pending_overlays_ = 0;                           // bit i: its overlay copy goes with it
    u16 pending_saves_ = 0;                              // bit i: the waiting image is a save's (saveWaits)
    u16 overlay_copying_ = 0;                            // bit i: its overlay copy is being made
    u16 overlay_redo_ = 0;                               // bit i: ... for an image since replaced
    u16 overlay_orphaned_ = 0;                           // bit i: ... for a mode since deleted
    u8 kept_save_[ram::kUserModes][ram::kUserModeSize];  // the block each save request holds
    u16 kept_saves_ = 0;                                 // bit i: a request for user mode i + 1 is kept
    u16 saving_ = 0;                                     // bit i: handed over, its file being written
    u16 last_save_request_ = 0;                          // the mode asked last (what 868 reads while any is kept)

    // The link writes of the block so far, and by u16 word the one that
    // wrote it last (linkWriteStamp).
    u32 link_writes_ = 0;
    u32 link_stamps_[ram::kBlockSize / sizeof(u16)] = {};
};
