#include "data/embedded.h"

#include "data/dberror.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <sqlite3.h>

// The scripts are compiled into the core library, which is static: register them once.
static void initDbResources() { Q_INIT_RESOURCE(db); }

namespace varid {

namespace {
QString resourceText(const QString& name)
{
    static const bool registered = (initDbResources(), true);
    (void)registered;
    QFile f(QStringLiteral(":/db/") + name);
    if (!f.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("Missing embedded script ") + name);
    return QString::fromUtf8(f.readAll());
}

// Opens the file as its own short-lived connection and hands the sqlite3 handle to `work`.
template <typename F>
void withSqlite(const QString& file, F work)
{
    const QString name = QStringLiteral("varid-embedded-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (!db.open())
            throw DbError(db.lastError().text());
        sqlite3* handle = *static_cast<sqlite3* const*>(db.driver()->handle().data());
        try {
            work(db, handle);
        } catch (...) {
            db.close();
            throw;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void exec(sqlite3* h, const QString& script)
{
    char* err = nullptr;
    if (sqlite3_exec(h, script.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : "script failed");
        sqlite3_free(err);
        throw DbError(msg);
    }
}
} // namespace

QVector<ProcBody> parseProcedures(const QString& text)
{
    QVector<ProcBody> out;
    QString current;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("-- PROC "))) {
            out.push_back({line.mid(8).trimmed(), {}});
            current.clear();
            continue;
        }
        if (line.isEmpty() || line.startsWith(QLatin1String("--")) || out.isEmpty())
            continue;
        current += (current.isEmpty() ? QString() : QStringLiteral("\n")) + line;
        if (line.endsWith(QLatin1Char(';'))) {
            current.chop(1);
            out.back().statements << current;
            current.clear();
        }
    }
    return out;
}

void runSqliteScript(const QString& file, const QString& script)
{
    withSqlite(file, [&](QSqlDatabase&, sqlite3* h) { exec(h, script); });
}

void createEmbeddedDatabase(const QString& file, DbRole role)
{
    if (QFile::exists(file) && !QFile::remove(file))
        throw DbError(QStringLiteral("Cannot replace ") + file);
    QString schema = resourceText(QStringLiteral("schema.sql"));
    if (role == DbRole::Local)
        schema += resourceText(QStringLiteral("schema_local.sql"));
    const auto procs = parseProcedures(resourceText(
        role == DbRole::Local ? QStringLiteral("procs_local.sql") : QStringLiteral("procs_main.sql"))
        + resourceText(QStringLiteral("procs_realiz.sql")));
    withSqlite(file, [&](QSqlDatabase& db, sqlite3* h) {
        exec(h, QStringLiteral("PRAGMA journal_mode=WAL;BEGIN;") + schema + QStringLiteral(";COMMIT;"));
        QSqlQuery q(db);
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO SYS_PROC (PROC_NAME, PROC_STEP, PROC_SQL) VALUES (?,?,?)"));
        for (const ProcBody& p : procs) {
            for (int i = 0; i < p.statements.size(); ++i) {
                q.addBindValue(p.name);
                q.addBindValue(i + 1);
                q.addBindValue(p.statements[i]);
                if (!q.exec())
                    throw DbError(q.lastError().text());
            }
        }
        db.commit();
    });
}

} // namespace varid
