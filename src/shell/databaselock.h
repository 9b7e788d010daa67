#pragma once
#include "data/dialect.h"
#include "shell/lockfile.h"

#include <QString>

#include <memory>

namespace varid {

// One Varid per branch database, from whatever home it is started: two programs sending the
// same rows at once would put them on the main database twice. For an embedded file a lock
// file beside it; for SQL Server an application lock that a session of its own holds on the
// local database (sp_getapplock, owned by the session), released when the program ends.
class DatabaseLock {
public:
    enum class Result { Held, Taken, Unreachable };

    DatabaseLock();
    ~DatabaseLock();
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;

    // Takes the lock of the database `local` names (relative files from `home`); held once
    // taken. Unreachable: SQL Server could not be asked now; the next connect asks again.
    Result acquire(const ConnectionSettings& local, const QString& home);
    bool held() const { return held_; }
    // Who holds it, where that can be told, after Taken; the failure after Unreachable.
    QString message() const { return message_; }

    // The lock file beside an embedded database.
    static QString lockFileOf(const QString& databaseFile);
    // The batch that takes SQL Server's application lock at once or not at all; its one
    // row is sp_getapplock's result (0 or 1: granted).
    static QString serverLockText();
    static QString serverHolderText();

private:
    std::unique_ptr<LockFile> file_;
    QString connection_;
    bool held_ = false;
    QString message_;
};

} // namespace varid
