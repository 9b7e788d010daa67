#include "shell/instancelock.h"

#include <QDir>

namespace varid {

InstanceLock::InstanceLock(const QString& home)
    : home_(home), lock_(QDir(home).filePath(QStringLiteral("varid.lock")))
{
}

bool InstanceLock::acquire()
{
    QDir().mkpath(home_);
    const LockFile::Result r = lock_.tryLock();
    if (r == LockFile::Result::Held)
        return true;
    qint64 pid = 0;
    QString host;
    if (r == LockFile::Result::Taken && lock_.holder(pid, host))
        message_ = QStringLiteral("Varid уже работает с папкой %1: процесс %2 на %3").arg(home_).arg(pid).arg(host);
    else if (r == LockFile::Result::Taken)
        message_ = QStringLiteral("Varid уже работает с папкой %1").arg(home_);
    else
        message_ = QStringLiteral("Varid не может занять папку %1 (varid.lock: %2)").arg(home_, lock_.errorString());
    return false;
}

} // namespace varid
