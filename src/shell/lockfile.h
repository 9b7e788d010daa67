#pragma once
#include <QString>

#include <memory>

class QLockFile;

namespace varid {

// A lock held through a file for as long as this object lives. The system releases it when
// the holder ends, however it ends, so a lock left by a program that is gone never stands in
// the way. On Unix the file is locked with flock() and stays in place; the holder writes its
// process id, program and host in it, in the form Qt's QLockFile writes, so that either kind
// of holder can name the other. On Windows it is Qt's QLockFile.
class LockFile {
public:
    enum class Result { Held, Taken, Failed };

    explicit LockFile(const QString& path);
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Takes the lock now or not at all; Held also when this object holds it already.
    Result tryLock();
    // After Taken: the holder's process id and host, when it has written them.
    bool holder(qint64& pid, QString& host) const;
    // After Failed: why the file could not be locked.
    QString errorString() const { return error_; }

private:
    QString path_;
    QString error_;
#ifdef _WIN32
    std::unique_ptr<QLockFile> lock_;
#else
    int fd_ = -1;
#endif
};

} // namespace varid
