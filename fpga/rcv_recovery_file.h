// The receiving-card recovery-file reader: which recovery and scan files the
// box holds. The pages ask it from the GUI thread and the card jobs from the
// FPGA manager's thread, so its lists are kept under its own lock.
#pragma once

#include "app/global.h"

#include <QMutex>
#include <QString>
#include <QStringList>

class rcvRecovery {
public:
    static constexpr const char* kRecoveryDir = "/data/rcvrecovery";
    static constexpr const char* kSmartDir = "/data/smartmapping";
    static constexpr const char* kUsbDir = "/mnt/usb1/";
    static constexpr u8 kMaxCount = 255;  // counts are u8 where the pages keep them

    // Lists the plain files (any name, unsorted, no directories) of one of
    // the three directories above: kRecoveryDir into the recovery list, the
    // two others into the scan list. Returns 1 when the directory does not
    // exist (nothing changes), else 0; any other directory is not listed.
    int get_dir_file(QString dir);

    QStringList recoveryFiles() const;
    QStringList scanFiles() const;
    // The lists' lengths, at most kMaxCount.
    u8 recoveryCount() const;
    u8 scanCount() const;
    void clearRecoveryFiles();
    void clearScanFiles();

private:
    mutable QMutex mutex_;
    QStringList recovery_files_;  // names in /data/rcvrecovery
    QStringList scan_files_;      // names in /data/smartmapping or on the stick
};
