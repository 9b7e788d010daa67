#pragma once
#include <QLockFile>
#include <QString>

#include <memory>

namespace varid {

// One Varid per home folder, whatever the mode: a lock file beside Path.ini. A lock left by
// a process that no longer runs is taken over.
class InstanceLock {
public:
    explicit InstanceLock(const QString& home);
    bool acquire();
    // Who holds it, for the user, after a failed acquire().
    QString message() const { return message_; }

private:
    QString home_;
    std::unique_ptr<QLockFile> lock_;
    QString message_;
};

} // namespace varid
