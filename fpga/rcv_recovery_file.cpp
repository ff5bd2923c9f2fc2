#include "fpga/rcv_recovery_file.h"

#include "platform/platform.h"

#include <QDir>
#include <algorithm>

namespace {

u8 capped(const QStringList& list)
{
    return static_cast<u8>(std::min<int>(list.size(), rcvRecovery::kMaxCount));
}

}  // namespace

int rcvRecovery::get_dir_file(QString dir)
{
    const QString host = platform::qpath(dir);
    QDir d(host);
    if (host.isEmpty() || !d.exists())
        return 1;
    QStringList* list = nullptr;
    if (dir == kRecoveryDir)
        list = &recovery_files_;
    else if (dir == kSmartDir || dir == kUsbDir)
        list = &scan_files_;
    if (!list)
        return 0;
    const QStringList names = d.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    QMutexLocker lock(&mutex_);
    *list = names;
    return 0;
}

QStringList rcvRecovery::recoveryFiles() const
{
    QMutexLocker lock(&mutex_);
    return recovery_files_;
}

QStringList rcvRecovery::scanFiles() const
{
    QMutexLocker lock(&mutex_);
    return scan_files_;
}

u8 rcvRecovery::recoveryCount() const
{
    QMutexLocker lock(&mutex_);
    return capped(recovery_files_);
}

u8 rcvRecovery::scanCount() const
{
    QMutexLocker lock(&mutex_);
    return capped(scan_files_);
}

void rcvRecovery::clearRecoveryFiles()
{
    QMutexLocker lock(&mutex_);
    recovery_files_.clear();
}

void rcvRecovery::clearScanFiles()
{
    QMutexLocker lock(&mutex_);
    scan_files_.clear();
}
