#pragma once
#include "data/dberror.h"
#include "data/dialect.h"
#include "data/errorclass.h"
#include "data/statement.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace varid {

enum class Backend { Sqlite, Odbc };
enum class ColumnKind { Text, Integer, Number, Date };

// One database connection (ADOC1, ADOC2). A database name ending in ".db" is an embedded
// SQLite file relative to the home directory; any other name is SQL Server through ODBC.
class Connection {
public:
    explicit Connection(const QString& name);
    ~Connection();
    // Before SQLite's first use in the process: SQLite keeps no count of its memory, which
    // costs a lock at every allocation. What a long run reads is held by each connection's
    // page cache at its own size (2 MB), not by a limit on the whole. False when SQLite had
    // started.
    static bool uncountedMemory();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Used only while disconnected: the server and database Path.ini names, or an embedded file.
    void setConnectionString(const ConnectionSettings& settings, const QString& home);
    Backend backend() const { return backend_; }
    // An embedded file opened through the SQLite ODBC driver (VARID_EMBEDDED_DRIVER=odbc):
    // the production data path, the embedded dialect.
    bool viaOdbc() const { return viaOdbc_; }
    // Which client's codes its failures carry, for the table of error classes.
    ErrorSource errorSource() const
    {
        return backend_ == Backend::Odbc ? ErrorSource::SqlServer : viaOdbc_ ? ErrorSource::SqliteOdbc : ErrorSource::Sqlite;
    }
    // What the connection was set to, to give a run's own connection the same database.
    struct Target {
        ConnectionSettings settings;
        QString home;
        bool operator==(const Target&) const = default;
    };
    Target target() const { return {settings_, home_}; }
    void setTarget(const Target& t) { setConnectionString(t.settings, t.home); }
    // Whether a database name names an embedded file (else an SQL Server database).
    static bool embeddedFile(const QString& database);
    // Whether a connection to `t` opens an embedded file on its own handle, not through ODBC.
    static bool embeddedNative(const Target& t);

    void connect();     // opening an open connection does nothing
    void disconnect();
    bool connected() const;

    // One level: commit and roll back fail when no transaction is open.
    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return inTransaction_; }
    // Whether a transaction goes to the database as one batch (begin, the writes and commit
    // in one text, one round trip) rather than as separate calls: on SQL Server, and on an
    // embedded file through the ODBC driver, the same path.
    bool batchesTransactions() const { return backend_ == Backend::Odbc || viaOdbc_; }
    // Sends such a batch, in this backend's own dialect. Until it has succeeded the connection
    // counts as in a transaction, so a refused batch is rolled back like any other write:
    // rollback() then undoes whatever the batch left open.
    void runTransaction(const QString& batch, const QVariantList& binds = {});

    // Runs a statement (translated to the backend's dialect) and returns the live query.
    QSqlQuery run(const QString& sql, const QVariantList& binds = {});
    // A statement prepared once per text on the embedded database, its values bound; as a
    // text with its values written in elsewhere. The query stays the connection's: read
    // it, then finish it.
    QSqlQuery& runCached(const Statement& st);
    // The same for a statement that returns no rows; the rows it changed.
    int execCached(const Statement& st);
    // A selection on the embedded file's handle (opened by QSQLITE), prepared once a text and
    // its values bound as runCached() binds them: `columns` sees the prepared statement first
    // and says whether it reads it (false: nothing is run, and false is returned, for the
    // caller to use runCached()); `row` then sees each row. Counted, traced and failing as
    // runCached() would. False too where the connection has no such handle.
    bool selectNative(const Statement& st, const std::function<bool(sqlite3_stmt*)>& columns,
                      const std::function<void(sqlite3_stmt*)>& row);
    // A write with '?' marks and its values bound as they are (a null as a null), as run()
    // runs it; on the embedded file translated and prepared once a text. The rows it changed.
    int execBound(const QString& sql, const QVariantList& binds);
    // A statement as the embedded database runs it: the translated text with '?' marks and,
    // for each mark, the statement's value it takes (or the text's own literal).
    struct Bindable {
        QString sql;
        QVector<int> slots;   // the statement's value index, or -1 for the text's own literal
        QVariantList fixed;
        QVariantList bind(const Statement& st) const;
    };
    Bindable bindable(const Statement& st) const;
    // The text as this backend's dialect says it.
    QString translate(const QString& sql) const;
    // A second connection to the same embedded file, for a read snapshot beside this
    // connection's writes; its name, to close it again. A closed reader's snapshot ends and
    // the connection waits for the next walk, until this connection disconnects.
    QString openReader();
    void closeReader(const QString& name);
    // A reader opened and its schema read now, left waiting for the first walk; nothing where
    // the connection takes no readers, or one waits already. A failure is left to that walk.
    void readyReader();
    // A statement in the backend's own dialect, prepared once and run many times.
    QSqlQuery prepareNative(const QString& sql);
    void execPrepared(QSqlQuery& q, const QVariantList& binds);

    // What kind of value a result column holds: on SQLite by its declared type (column
    // names carry their table's prefix, so they are unique), elsewhere by the type the
    // driver reports.
    ColumnKind kindOf(const QString& column, const QMetaType& reported = QMetaType()) const;
    // Whether the schema declares a column of that name (its kind then comes from there).
    bool knowsColumn(const QString& column) const { return kinds().contains(column.toUpper()); }

    // Values as the backend stores them: dates as text on SQLite, empty text as null
    // in columns that are not text.
    QVariant toStorage(const QVariant& v, ColumnKind kind) const;
    // A null of the kind's own type, so that the driver binds a typed null.
    static QVariant typedNull(ColumnKind kind);
    bool isDateColumn(const QString& column) const;
    // Statements sent to the database since the program started: the round trips.
    qint64 statementCount() const { return statements_; }
    // Whether every commit is synced to disk (the main database); the branch's own database
    // runs at synchronous=NORMAL (see connect()).
    void setDurable(bool full) { durable_ = full; }
    bool durable() const { return durable_; }

    // How long an embedded database waits for another writer before it reports busy.
    static int busyTimeoutMs;

    // Tells the statement trace (when it is on) of a statement sent on this connection or one
    // of its readers: `error` null or invalid when it succeeded, `rows` -1 for a selection.
    void traceStatement(const QString& sql, const QVariantList& binds, const QSqlError* error, int rows, qint64 startedNs) const;

    // Changes with every connect, so cached procedure bodies are read again.
    int generation() const { return generation_; }

private:
    void loadSqliteSchema();
    // The embedded file's column kinds, read at the first question about them after a connect:
    // a connection that runs nothing (the shell's main connection in `--once`) reads none.
    const QHash<QString, ColumnKind>& kinds() const;
    // A text in the embedded dialect, its date and text columns told by the kinds.
    QString sqliteText(const QString& sql, bool viaOdbc) const;
    void dropReaders();

    QString name_;
    ConnectionSettings settings_;
    QString home_;
    Backend backend_ = Backend::Sqlite;
    bool viaOdbc_ = false;
    bool hasTsqlAdd_ = false;
    QString target_; // SQLite file or ODBC string
    bool inTransaction_ = false;
    bool batchOpen_ = false; // the open transaction is a failed batch's
    int generation_ = 0;
    QHash<QString, ColumnKind> kinds_;
    bool kindsPending_ = false;
    struct Shape {
        Bindable bindable;
        std::optional<QSqlQuery> query;
    };
    QHash<QString, std::shared_ptr<Shape>> cache_; // prepared statements by their text
    // The embedded file opened by QSQLITE: writes run on its handle, their statements
    // prepared once a text, without Qt's per-value and per-row layers.
    sqlite3* handle_ = nullptr;
    QHash<QString, sqlite3_stmt*> native_;
    QHash<QString, QString> translated_; // execBound's texts as the embedded file reads them
    void dropNative();
    // The statement of `sql` on the handle, prepared once a text; null (`rc` set) when it
    // cannot be prepared.
    sqlite3_stmt* nativeStatement(const QString& sql, int& rc);
    // Binds as QSQLITE binds; the failure as QSQLITE words it, or an invalid error.
    QSqlError bindNative(sqlite3_stmt* st, const QVariantList& binds);
    // The cached shape of a statement, and the values to bind to it.
    std::shared_ptr<Shape> shapeOf(const Statement& st, QVariantList& values);
    enum class Wording { Statement, Commit }; // how a failure is worded, as QSQLITE words it
    int execNative(const QString& sql, const QVariantList& binds, Wording wording = Wording::Statement);
    std::unique_ptr<QSqlQuery> last_;
    QStringList idleReaders_;
    qint64 statements_ = 0;
    bool durable_ = true;
};

} // namespace varid
