#include "app/syncupdate.h"

#include "app/kelrampara.h"
#include "app/lockwindow.h"
#include "app/mainwindow.h"
#include "app/page_warming.h"
#include "app/tip.h"
#include "app/utils.h"
#include "platform/box_state.h"
#include "platform/platform.h"
#include "screens/page.h"
#include "screens/setup/custommode.h"
#include "videochip/x518_manage.h"

#include <QTimer>
#include <algorithm>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <vector>

SyncUpdate* SyncUpdate::p_SyncUpdate = nullptr;

namespace {

// ---------------------------------------------------------------- the focused page's refresh

using PageRefresh = void (*)(int code);
struct PageRefreshEntry {
    u8 page;
    PageRefresh refresh;
};

// The home page, the main window and the user-mode page, which are not
// built on the page skeleton; every page that is refreshes through
// Page::withFocus().
std::vector<PageRefreshEntry> pageRefreshEntries()
{
    return {
        {PAGE_HOME,
         [](int) {
             if (g_lockwindow)
                 g_lockwindow->syncUpdate();
         }},
        {PAGE_MAIN_MENU,
         [](int) {
             if (g_mainwindow)
                 g_mainwindow->syncUpdate();
         }},
        {PAGE_USER_MODES,
         [](int) {
             if (g_custommode)
                 g_custommode->syncUpdate();
         }},
    };
}

const std::vector<PageRefreshEntry>& pageRefreshTable()
{
    static const std::vector<PageRefreshEntry> table = boxstate::constant(table, pageRefreshEntries());
    return table;
}

// The pages that read the USB stick: while one has focus, the tip box tells
// the operator what the stick did, after the page's own refresh.
constexpr u8 kUsbTipPages[] = {PAGE_SMART_MAPPING, PAGE_USB_UPGRADE};

int usbTipKind(int code)
{
    switch (code) {
    case SYNC_USB_ADDED: return TIP::kUsbInserted;
    case SYNC_USB_REMOVED: return TIP::kUsbUnplugged;
    case SYNC_USB_STORAGE: return TIP::kUsbReading;
    default: return 0;
    }
}

void showUsbTip(u8 page, int code)
{
    const int kind = usbTipKind(code);
    if (kind && g_tip && std::find(std::begin(kUsbTipPages), std::end(kUsbTipPages), page) != std::end(kUsbTipPages))
        g_tip->tip_create(kind);
}

// ---------------------------------------------------------------- the key pad's LED report

constexpr u8 kLedReportIdle = 0xA5;
constexpr u8 kLedReportUpdating = 0x5A;
// Byte 1 and 2: the current window's LED, when the window is shown.
constexpr u8 kLedWindow0 = 0x04;  // byte 1
constexpr u8 kLedWindow1 = 0x10;  // byte 1
constexpr u8 kLedWindow2 = 0x01;  // byte 2
constexpr u8 kLedWindow3 = 0x04;  // byte 2
// Byte 3: the current window's source, without and with signal.
struct SourceLed {
    u8 noSignal;
    u8 signal;
};
constexpr SourceLed kSourceLeds[ram::kSources] = {
    {0x08, 0x04},  // DVI
    {0x20, 0x10},  // HDMI1
    {0x80, 0x40},  // HDMI2
    {0x02, 0x01},  // HDMI3
};
// Byte 4: freeze and black of the current window.
constexpr u8 kLedFrozen = 0x01;
constexpr u8 kLedBlack = 0x04;

enum LedByte { kLedHead = 0, kLedWindowsA, kLedWindowsB, kLedSource, kLedFlags };

bool imageShown(const KEL_RAM_PARA& b, u8 image)
{
    return image < ram::kImages && (b.image[image].enable & ram::kImageShown);
}

bool sourceHasSignal(const KEL_RAM_PARA& b, int source)
{
    const SOURCE_STATUS& s = b.source_status[source];
    return s.width != 0 && s.height != 0 && s.rate != 0;
}

void buildKeyLedReport(KelRamPara* store, u8 out[SyncUpdate::kKeyLedReportSize])
{
    const KEL_RAM_PARA& b = store->ram_para;
    const u8 current = g_image_current.load();
    const bool shown = imageShown(b, current);
    std::memset(out, 0, SyncUpdate::kKeyLedReportSize);
    out[kLedHead] = g_update_flag.load() ? kLedReportUpdating : kLedReportIdle;
    if (shown && current == 0)
        out[kLedWindowsA] = kLedWindow0;
    else if (shown && current == 1)
        out[kLedWindowsA] = kLedWindow1;
    if (shown && current == 2)
        out[kLedWindowsB] = kLedWindow2;
    else if (shown && current == 3)
        out[kLedWindowsB] = kLedWindow3;
    if (current >= ram::kImages)
        return;
    i16 isCrop = 0;
    char crop = 0;
    const int source = store->KelGetImageSource(reinterpret_cast<u8*>(&store->ram_para), current, &isCrop, &crop, 0);
    if (source >= 0 && source < ram::kSources)
        out[kLedSource] = sourceHasSignal(b, source) ? kSourceLeds[source].signal : kSourceLeds[source].noSignal;
    const u16 flags = b.image[current].flags;
    out[kLedFlags] =
        static_cast<u8>(((flags & ram::kFlagFreeze) ? kLedFrozen : 0) | ((flags & ram::kFlagBlack) ? kLedBlack : 0));
}

const u8* bytesOf(const KEL_RAM_PARA& b)
{
    return reinterpret_cast<const u8*>(&b);
}

bool slotMarkerHas(const USER_MODE_SLOT& s, u8 v)
{
    return s.marker[0] == v || s.marker[1] == v;
}

// Bit i: user mode i's file waits for a later try.
u16 waitingModeFiles(const KelRamPara* store)
{
    u16 waiting = 0;
    for (int i = 0; i < ram::kUserModes; ++i)
        if (store->modeFilePending(i))
            waiting = static_cast<u16>(waiting | (1u << i));
    return waiting;
}

}  // namespace

SyncUpdate::SyncUpdate() = default;

SyncUpdate* SyncUpdate::pInstance()
{
    if (!p_SyncUpdate) {
        p_SyncUpdate = new SyncUpdate;
        boxstate::made(p_SyncUpdate);
        if (KelRamPara* store = KelRamPara::p_kelrampara_config)
            connect(store, &KelRamPara::overlayCopyEnded, p_SyncUpdate, &SyncUpdate::overlayCopyEnded);
    }
    return p_SyncUpdate;
}

void SyncUpdate::para_sync(int code)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    // The window layout page picks windows itself, hidden ones included.
    if (g_page_focus.load() != PAGE_WINDOW_LAYOUT && !imageShown(store->ram_para, g_image_current.load()))
        g_image_current = 0;
    if (g_kel_keys == 1)
        update_usb_keyLed();
    if (code == SYNC_FILE_STARTED || code == SYNC_TRANSFER_DIALOG_OFF)
        return;
    // The page is drawn from the block as it is from here on; the shadow
    // moves only this far, so a write landing while the page is drawn still
    // differs from the shadow when its own change code comes.
    {
        QMutexLocker lock(&x518_manage::mutex);
        m_seen = store->ram_para;
        m_seenTaken = true;
    }
    refreshFocusedPage(code);
    // A language the refresh has just put on the pages is warmed, off the keys' path.
    pages::warmLanguageShown();
    // Taken before the block is read: a write raised from here on is owed again.
    const u8 served =
        code == SYNC_MODE_FILES ? KelRamPara::kSaveBlock | KelRamPara::kSaveModeFiles : KelRamPara::kSaveBlock;
    KelRamPara::save_owed &= static_cast<u8>(~served);
    m_owedSeen = false;
    const u16 failed = carryOutSaveRequests(store);
    if (code == SYNC_MODE_FILES)
        syncModeFiles(store);
    writeBack(store);
    if (store->modeFilesPending())
        armRetry();
    tellSaveState(store);
    // A save waiting for its overlay copy is told once the copy ended.
    if (!store->overlaysCopying())
        showModeTip(failed);
    if (code == SYNC_WINDOWS_REFUSED)
        showRefusalTip(store);
}

void SyncUpdate::startSaveWatch()
{
    if (m_watching)
        return;
    m_watching = true;
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &SyncUpdate::watchSaves);
    timer->start(kRetryMs);
}

// A save owed at two looks in a row, with no change code in between, is
// carried out as change code 1 (2 for the user-mode files) would: the page
// with focus is refreshed before the shadow moves, as on every code.
void SyncUpdate::watchSaves()
{
    const u8 owed = KelRamPara::save_owed.load();
    if (!owed) {
        m_owedSeen = false;
        return;
    }
    if (!m_owedSeen) {
        m_owedSeen = true;
        return;
    }
    para_sync((owed & KelRamPara::kSaveModeFiles) ? SYNC_MODE_FILES : SYNC_PARA_CHANGED);
}

// The mode bar's confirmation, once the save it asked for has run: the
// check mark, or the failure tip when a mode's file was not written (the
// bar then owes the check mark until a later try writes it).
void SyncUpdate::showModeTip(u16 failed)
{
    if (g_page_focus.load() != PAGE_MAIN_MENU || !g_mainwindow || !g_mainwindow->mode_tip_pending || !g_tip)
        return;
    g_mainwindow->mode_tip_pending = 0;
    for (int i = 0; i < ram::kUserModes; ++i)
        if (failed & (1u << i))
            g_mainwindow->modeSaveFailed(i);
    g_tip->tip_create(failed ? TIP::kSaveFailed : TIP::kCheck);
}

void SyncUpdate::showRefusalTip(KelRamPara* store)
{
    const u8 refused = store->reg_image.window_refused;
    const bool added = (refused & ~m_refusedSeen) != 0;
    m_refusedSeen = refused;
    if (added && g_tip)
        g_tip->tip_create(TIP::kNoInputChannel);
}

void SyncUpdate::refreshFocusedPage(int code)
{
    const u8 page = g_page_focus.load();
    if (page >= kPageCount) {
        KelRamPara::p_kelrampara_config->KelLanguageChanged();
        return;
    }
    for (const PageRefreshEntry& e : pageRefreshTable()) {
        if (e.page == page && e.refresh) {
            e.refresh(code);
            return;
        }
    }
    if (Page* focused = Page::withFocus())
        focused->syncUpdate(code);
    showUsbTip(page, code);
}

// The save requests the store keeps (a PC's write of 868, the mode bar),
// each with the block as it stood at its request; a value written straight
// into the field is taken here with the block as it stands (one the shadow
// already holds was carried out before). A slot reads as saved only once
// its file is written; a file that cannot be written is tried again with
// the parameter file. The modes whose file waits are returned.
u16 SyncUpdate::carryOutSaveRequests(KelRamPara* store)
{
    u16 kept;
    {
        QMutexLocker lock(&x518_manage::mutex);
        const u16 n = store->ram_para.mode_save_request;
        if (n != store->saveRequestShown() && n != store->ram_para_shadow.mode_save_request)
            store->takeSaveRequestWritten();
        kept = store->saveRequestsKept();
    }
    if (!kept)
        return 0;
    u16 failed = 0;
    for (int i = 0; i < ram::kUserModes; ++i)
        if ((kept & (1u << i)) && !carryOutSave(store, i))
            failed = static_cast<u16>(failed | (1u << i));
    // Register 44 first: a PC that waits for 868 to read 0 then finds
    // there whether every file was written.
    tellSaveState(store);
    QMutexLocker lock(&x518_manage::mutex);
    store->saveRequestsDone();
    m_seen.current_mode = store->ram_para.current_mode;
    return failed;
}

bool SyncUpdate::carryOutSave(KelRamPara* store, int i)
{
    u8 data[ram::kUserModeSize];
    {
        QMutexLocker lock(&x518_manage::mutex);
        if (!store->handOverSave(i, data))
            return true;
    }
    if (store->saveMode(i, data) || (store->overlaysCopying() & (1u << i)))
        return true;
    std::printf("[para_sync] cannot write %s: user mode %d is not saved yet, trying again every second\n",
                KelRamPara::modeFilePath(i).c_str(), i + 1);
    std::fflush(stdout);
    return false;
}

// After the protocol wrote slots directly: empty slots lose their files,
// saved ones are written as they stand. A slot whose save still waits for
// its file shows what it held before the save: committed as it stands, it
// would lose the save that was acknowledged, so the save goes on waiting
// and lands when the disk takes it. A deletion clears the save request
// only when the shadow holds it (carried out or ignored before): one
// written since is still to be carried out.
void SyncUpdate::syncModeFiles(KelRamPara* store)
{
    for (int i = 0; i < ram::kUserModes; ++i) {
        const USER_MODE_SLOT& slot = store->ram_user_mode[i];
        if (store->saveWaits(i))
            continue;
        if (slotMarkerHas(slot, ram::kSlotEmpty)) {
            store->mode_file_deal(i, 1);
            QMutexLocker lock(&x518_manage::mutex);
            if (store->ram_para.mode_save_request == store->ram_para_shadow.mode_save_request)
                store->ram_para.mode_save_request = 0;
        } else if (slotMarkerHas(slot, ram::kSlotSaved)) {
            store->mode_file_write(i, 2);
        }
    }
}

// Saves the persistent part of the live block when it differs from the
// shadow. The file image and the new shadow come from the copy of the live
// block that the page with focus was last drawn from: a write landing after
// the copy differs from the shadow, and its change code brings the next pass
// (which draws it and writes it). The
// file is written whole (exactly the parameter file's format) and renamed
// over the old one, so a power cut leaves the old or the new file.
void SyncUpdate::writeBack(KelRamPara* store)
{
    if (m_retryArmed && m_saveFailing)
        return;  // the timer tries again; until then the live block holds the truth
    if (!m_seenTaken) {
        QMutexLocker lock(&x518_manage::mutex);
        m_seen = store->ram_para;
        m_seenTaken = true;
    }
    KEL_RAM_PARA copy = m_seen;
    // A save request written after this pass looked for one is still to be
    // carried out: taken into the shadow it would pass for one carried out
    // before, and be ignored.
    copy.mode_save_request = store->ram_para_shadow.mode_save_request;
    const u8* live = bytesOf(copy);
    const u8* shadow = bytesOf(store->ram_para_shadow);
    int diff = ram::kSavedStart;
    while (diff < ram::kBlockSize && live[diff] == shadow[diff])
        ++diff;
    if (diff == ram::kBlockSize)
        return;
    KEL_DBG("\n ram_para diffrent %d,%d,%d!\n", diff, shadow[diff], live[diff]);
    u8 image[ram::kParaFileSize];
    std::memcpy(image, ram::default_para_ramlist(), sizeof image);
    image[0] = ram::kParaFileMarker;
    image[1] = ram::kParaFileMarker;
    std::memcpy(image + ram::kParaMarkerSize, live + ram::kSavedStart, ram::kSavedSize);
    // The GUI thread alone writes this file: no other thread's write, however
    // long its data takes to reach the disk, holds it up.
    if (!KelRamPara::writeFileSynced(KelRamPara::kParaFile, image, sizeof image)) {
        writeBackFailed();
        return;
    }
    {
        QMutexLocker lock(&x518_manage::mutex);
        store->ram_para_shadow = copy;
    }
    if (m_saveFailing) {
        m_saveFailing = false;
        std::printf("[para_sync] %s written again\n", KelRamPara::kParaFile);
        std::fflush(stdout);
    }
}

// The shadow stays as it was, so the difference is still there for the next
// try, at most once a second; the box runs on in its live block meanwhile.
void SyncUpdate::writeBackFailed()
{
    if (!m_saveFailing) {
        m_saveFailing = true;
        std::printf("[para_sync] cannot write %s: the settings are kept in memory, trying again every second\n",
                    KelRamPara::kParaFile);
        std::fflush(stdout);
    }
    armRetry();
}

void SyncUpdate::armRetry()
{
    if (m_retryArmed)
        return;
    m_retryArmed = true;
    QTimer::singleShot(kRetryMs, this, [this] { retrySaves(); });
}

// The user-mode files that wait, then the parameter file. A mode whose
// file is written now is saved at last: the mode bar shows it.
void SyncUpdate::retrySaves()
{
    m_retryArmed = false;
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    const u16 waited = waitingModeFiles(store);
    store->retryModeFiles();
    const u16 landed = static_cast<u16>(waited & ~waitingModeFiles(store));
    writeBack(store);
    if (store->modeFilesPending())
        armRetry();
    tellSaveState(store);
    if (landed && g_mainwindow)
        g_mainwindow->modeSavesLanded(landed);
    if (landed && g_custommode)
        g_custommode->refreshSlotState();
}

// A save's overlay copy ended: its mode's file landed with it, or the save
// waits on and is tried again with the files that wait. The mode bar hears
// of it, and its tip, held back while the copy was made, is shown now.
void SyncUpdate::overlayCopyEnded(int slot)
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    if (store->modeFilesPending())
        armRetry();
    tellSaveState(store);
    const bool landed = !store->modeFilePending(slot);
    if (landed && g_mainwindow)
        g_mainwindow->modeSavesLanded(static_cast<u16>(1u << slot));
    if (landed && g_custommode)
        g_custommode->refreshSlotState();
    if (!store->overlaysCopying())
        showModeTip(waitingModeFiles(store));
}

// Register 44 and the pages that show it follow whether saving fails. Its
// bit 2 is the FPGA manager's, which raises a change code when it moves.
void SyncUpdate::tellSaveState(KelRamPara* store)
{
    const u8 own = static_cast<u8>((m_saveFailing ? ram::kSaveParaFileFails : 0) |
                                   (store->modeFilesPending() ? ram::kSaveModeFileWaits : 0));
    u8 state;
    {
        QMutexLocker lock(&store->mutex);
        u8& reg = store->reg_image.save_state;
        reg = static_cast<u8>((reg & ram::kSaveFpgaMemoryWaits) | own);
        state = reg;
    }
    if (state == m_saveState)
        return;
    m_saveState = state;
    emit saveStateChanged();
}

void SyncUpdate::update_usb_keyLed()
{
    KelRamPara* store = KelRamPara::p_kelrampara_config;
    if (!store)
        return;
    u8 report[kKeyLedReportSize];
    buildKeyLedReport(store, report);
    if (std::memcmp(report, m_keyLed, kKeyLedReportSize) == 0)
        return;
    // Kept whether or not the write succeeds: a report is not retried until it changes.
    std::memcpy(m_keyLed, report, kKeyLedReportSize);
    platform::HidDevice* dev = platform::hidOpen(kKeypadVendor, kKeypadProduct);
    if (!dev) {
        KEL_DBG("handle error\n");
        return;
    }
    if (platform::hidWrite(dev, report, kKeyLedReportSize) < 0)
        KEL_DBG("handle write error\n");
    platform::hidClose(dev);
}
