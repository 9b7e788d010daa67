#include "shell/instancelock.h"

#include <QDir>

namespace varid {

InstanceLock::InstanceLock(const QString& home)
    : home_(home), lock_(std::make_unique<QLockFile>(QDir(home).filePath(QStringLiteral("varid.lock"))))
{
    lock_->setStaleLockTime(0); // only a dead holder makes the lock stale, never its age
}

bool InstanceLock::acquire()
{
    QDir().mkpath(home_);
    if (lock_->tryLock(0))
        return true;
    qint64 pid = 0;
    QString host, app;
    if (lock_->error() == QLockFile::LockFailedError && lock_->getLockInfo(&pid, &host, &app))
        message_ = QStringLiteral("Varid уже работает с папкой %1: процесс %2 на %3").arg(home_).arg(pid).arg(host);
    else
        message_ = QStringLiteral("Varid не может занять папку %1 (varid.lock)").arg(home_);
    return false;
}

} // namespace varid
