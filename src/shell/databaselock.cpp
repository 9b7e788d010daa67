#include "shell/databaselock.h"

#include "data/connection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace varid {

DatabaseLock::DatabaseLock() = default;

DatabaseLock::~DatabaseLock()
{
    if (!connection_.isEmpty()) {
        QSqlDatabase::database(connection_, false).close(); // the session's lock goes with it
        QSqlDatabase::removeDatabase(connection_);
    }
}

QString DatabaseLock::lockFileOf(const QString& databaseFile)
{
    return databaseFile + QStringLiteral(".varid.lock");
}

QString DatabaseLock::serverLockText()
{
    return QStringLiteral("SET NOCOUNT ON; DECLARE @r int; EXEC @r = sp_getapplock @Resource = N'Varid', @LockMode = 'Exclusive', "
                          "@LockOwner = 'Session', @LockTimeout = 0; SELECT @r AS GRANTED");
}

QString DatabaseLock::serverHolderText()
{
    return QStringLiteral("SELECT TOP 1 s.host_name, s.host_process_id, s.program_name FROM sys.dm_tran_locks l "
                          "JOIN sys.dm_exec_sessions s ON s.session_id = l.request_session_id "
                          "WHERE l.resource_type = 'APPLICATION' AND l.resource_database_id = DB_ID() "
                          "AND l.resource_description LIKE '%[[]Varid]%' AND l.request_session_id <> @@SPID");
}

DatabaseLock::Result DatabaseLock::acquire(const ConnectionSettings& local, const QString& home)
{
    if (held_)
        return Result::Held;
    message_.clear();
    if (Connection::embeddedFile(local.database)) {
        const QString file = QFileInfo(local.database).isAbsolute() ? local.database : QDir(home).filePath(local.database);
        const QString path = lockFileOf(QFileInfo(file).absoluteFilePath());
        file_ = std::make_unique<LockFile>(path);
        const LockFile::Result r = file_->tryLock();
        if (r == LockFile::Result::Held) {
            held_ = true;
            return Result::Held;
        }
        qint64 pid = 0;
        QString host;
        if (r == LockFile::Result::Taken && file_->holder(pid, host)) {
            message_ = QStringLiteral("Varid уже работает с базой филиала %1: процесс %2 на %3").arg(QDir::toNativeSeparators(file)).arg(pid).arg(host);
            return Result::Taken;
        }
        if (r == LockFile::Result::Taken) {
            message_ = QStringLiteral("Varid уже работает с базой филиала %1").arg(QDir::toNativeSeparators(file));
            return Result::Taken;
        }
        message_ = QStringLiteral("Varid не может занять базу филиала %1 (%2: %3)")
                       .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(path), file_->errorString());
        return Result::Unreachable;
    }

    static std::atomic<int> counter{0};
    if (connection_.isEmpty())
        connection_ = QStringLiteral("varid-database-lock-%1").arg(++counter);
    QSqlDatabase db = QSqlDatabase::contains(connection_) ? QSqlDatabase::database(connection_, false)
                                                          : QSqlDatabase::addDatabase(QStringLiteral("QODBC"), connection_);
    db.setDatabaseName(odbcConnectionString(local));
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15"));
    if (!db.isOpen() && !db.open()) {
        message_ = db.lastError().text();
        return Result::Unreachable;
    }
    QSqlQuery q(db);
    if (!q.exec(serverLockText()) || !q.next()) {
        message_ = q.lastError().text();
        db.close();
        return Result::Unreachable;
    }
    if (q.value(0).toInt() >= 0) {
        held_ = true; // held by this session until the program ends
        return Result::Held;
    }
    q.finish();
    QSqlQuery who(db);
    if (who.exec(serverHolderText()) && who.next())
        message_ = QStringLiteral("Varid уже работает с базой филиала %1 на %2: процесс %3 на %4 (%5)")
                       .arg(local.database, local.server, who.value(1).toString(), who.value(0).toString().trimmed(),
                            who.value(2).toString().trimmed());
    else
        message_ = QStringLiteral("Varid уже работает с базой филиала %1 на %2").arg(local.database, local.server);
    db.close();
    return Result::Taken;
}

} // namespace varid
