#pragma once
#include "shell/lockfile.h"

#include <QString>

namespace varid {

// One Varid per home folder, whatever the mode: a lock file beside Path.ini, released when
// the program ends, however it ends.
class InstanceLock {
public:
    explicit InstanceLock(const QString& home);
    bool acquire();
    // Who holds it, for the user, after a failed acquire().
    QString message() const { return message_; }

private:
    QString home_;
    LockFile lock_;
    QString message_;
};

} // namespace varid
