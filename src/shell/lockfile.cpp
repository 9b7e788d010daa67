#include "shell/lockfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#ifdef _WIN32
#include <QLockFile>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace varid {

LockFile::LockFile(const QString& path) : path_(path) {}

#ifdef _WIN32

LockFile::~LockFile() = default;

LockFile::Result LockFile::tryLock()
{
    if (!lock_) {
        lock_ = std::make_unique<QLockFile>(path_);
        lock_->setStaleLockTime(0); // only a dead holder makes it stale, never its age
    }
    if (lock_->isLocked() || lock_->tryLock(0))
        return Result::Held;
    if (lock_->error() == QLockFile::LockFailedError)
        return Result::Taken;
    error_ = QStringLiteral("the lock file cannot be written");
    return Result::Failed;
}

bool LockFile::holder(qint64& pid, QString& host) const
{
    QString app;
    return lock_ && lock_->getLockInfo(&pid, &host, &app);
}

#else

LockFile::~LockFile()
{
    // Closing releases the lock; the file stays, so that no other program can lock a file
    // that is about to go while a third creates the next one.
    if (fd_ >= 0)
        ::close(fd_);
}

LockFile::Result LockFile::tryLock()
{
    if (fd_ >= 0)
        return Result::Held;
    const QByteArray name = QFile::encodeName(path_);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK)
            return Result::Taken;
        error_ = QString::fromLocal8Bit(std::strerror(e));
        return Result::Failed;
    }
    fd_ = fd;
    // Who holds it, for a second program to name; the lock does not depend on it, so it is
    // not synced. Written before the old text is cut, so a reader never finds it empty.
    const QByteArray info = QByteArray::number(QCoreApplication::applicationPid()) + '\n'
                            + QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + '\n'
                            + QSysInfo::machineHostName().toUtf8() + '\n';
    if (::pwrite(fd_, info.constData(), size_t(info.size()), 0) == info.size()) {
        [[maybe_unused]] const int cut = ::ftruncate(fd_, info.size());
    }
    return Result::Held;
}

bool LockFile::holder(qint64& pid, QString& host) const
{
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = f.read(4096).split('\n');
    if (lines.size() < 4) // three lines, each ended
        return false;
    bool ok = false;
    pid = lines[0].toLongLong(&ok);
    host = QString::fromUtf8(lines[2]);
    return ok && pid > 0;
}

#endif

} // namespace varid
