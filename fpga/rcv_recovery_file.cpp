#include "fpga/rcv_recovery_file.h"

#include "platform/platform.h"

#include <QDir>

int rcvRecovery::get_dir_file(QString dir)
{
    const QString host = platform::qpath(dir);
    QDir d(host);
    if (host.isEmpty() || !d.exists())
        return 1;
    QStringList* list = nullptr;
    if (dir == kRecoveryDir)
        list = &recovery_files;
    else if (dir == kSmartDir || dir == kUsbDir)
        list = &scan_files;
    if (!list)
        return 0;
    *list = d.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    return 0;
}
