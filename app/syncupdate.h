// The change notifier: turns change codes from every thread into work in the
// GUI thread (current-window check, key-pad LEDs, the focused page's
// refresh, user-mode saves and file synchronisation, and the write-back of
// the parameter file), and drives the USB key pad's LEDs.
#pragma once

#include "app/global.h"

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

    // Shortest time between two tries of a failed write-back.
    static constexpr int kRetryMs = 1000;

    // Builds the key pad's LED report and sends it when it changed.
    void update_usb_keyLed();

public slots:
    void para_sync(int code);

private:
    SyncUpdate();

    void refreshFocusedPage(int code);
    void carryOutSaveRequest(KelRamPara* store);
    void syncModeFiles(KelRamPara* store);
    void writeBack(KelRamPara* store);
    void writeBackFailed();

    u8 m_keyLed[kKeyLedReportSize] = {};  // the last report sent (or tried)
    bool m_retryArmed = false;            // a failed write-back is tried again by a timer
    bool m_saveFailing = false;           // said once on the console until a write works again
};
