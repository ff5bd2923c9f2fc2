// The receiving-card recovery-file reader: which recovery and scan files the
// box holds.
#pragma once

#include <QString>
#include <QStringList>

class rcvRecovery {
public:
    static constexpr const char* kRecoveryDir = "/data/rcvrecovery";
    static constexpr const char* kSmartDir = "/data/smartmapping";
    static constexpr const char* kUsbDir = "/mnt/usb1/";

    // Lists the plain files (any name, unsorted, no directories) of one of
    // the three directories above: kRecoveryDir into recovery_files, the two
    // others into scan_files. Returns 1 when the directory does not exist
    // (nothing changes), else 0; any other directory is not listed.
    int get_dir_file(QString dir);

    QStringList recovery_files;  // names in /data/rcvrecovery
    QStringList scan_files;      // names in /data/smartmapping or on the stick
};
