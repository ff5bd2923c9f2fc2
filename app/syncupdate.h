// The change notifier: turns change codes from every thread into work in the
// GUI thread (current-window check, key-pad LEDs, the focused page's
// refresh, user-mode saves and file synchronisation, and the write-back of
// the parameter file), and drives the USB key pad's LEDs.
#pragma once

#include "app/global.h"
#include "app/ram_para.h"

#include <QObject>

class KelRamPara;

class SyncUpdate : public QObject {
    Q_OBJECT
public:
    // The USB key pad and its LED report.
    static constexpr u16 kKeypadVendor = 0x28E9;
    static constexpr u16 kKeypadProduct = 0x0380;
    static constexpr int kKeyLedReportSize = 5;

    static SyncUpdate* p_SyncUpdate;
    static SyncUpdate* pInstance();

    // Shortest time between two tries of a failed write-back, and the
    // period of the save watch.
    static constexpr int kRetryMs = 1000;

    // Builds the key pad's LED report and sends it when it changed.
    void update_usb_keyLed();

    // Starts the save watch (once the event loop exists): a save the writers
    // raised (KelRamPara::save_owed) that no change code served for a whole
    // watch period is carried out here, so the files follow every
    // acknowledged write while the chip manager cannot announce it.
    void startSaveWatch();
    // One look of the watch (its timer's slot).
    void watchSaves();

    // One try of the files that wait (the retry timer's slot): the user-mode
    // files, then the parameter file.
    void retrySaves();

    // The parameter file cannot be written (its write-back is retried).
    bool paraFileFailing() const { return m_saveFailing; }

signals:
    // Saving began or stopped failing: the parameter file or a user-mode file.
    void saveStateChanged();

public slots:
    void para_sync(int code);
    // KelRamPara::overlayCopyEnded: a save's overlay copy ended.
    void overlayCopyEnded(int slot);

private:
    SyncUpdate();

    void refreshFocusedPage(int code);
    // Bit i of the result: user mode i + 1's file waits for a later try.
    u16 carryOutSaveRequests(KelRamPara* store);
    bool carryOutSave(KelRamPara* store, int i);
    void syncModeFiles(KelRamPara* store);
    void writeBack(KelRamPara* store);
    void writeBackFailed();
    void armRetry();
    void showModeTip(u16 failed);
    // The tip when a window the input channels cannot carry was added to
    // register 45 since the last look.
    void showRefusalTip(KelRamPara* store);
    void tellSaveState(KelRamPara* store);

    // The live block as the page with focus was last drawn from: what the
    // write-back saves and takes as the new shadow.
    KEL_RAM_PARA m_seen{};
    bool m_seenTaken = false;
    u8 m_keyLed[kKeyLedReportSize] = {};  // the last report sent (or tried)
    bool m_retryArmed = false;            // a failed write is tried again by a timer
    bool m_saveFailing = false;           // said once on the console until a write works again
    bool m_owedSeen = false;              // the watch saw a save owed, and nothing served it since
    u8 m_refusedSeen = 0;                 // register 45 at the last look
    bool m_watching = false;
    u8 m_saveState = 0;  // register 44 as last told
};
