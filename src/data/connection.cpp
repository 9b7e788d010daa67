#include "data/connection.h"

#include "data/errorclass.h"
#include "data/statementtrace.h"
#include "data/values.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QStringEncoder>

#include <atomic>

#include <sqlite3.h>

namespace varid {

namespace {

// SQL Server's '+': two texts are concatenated, anything else is added.
void tsqlAdd(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    const int ta = sqlite3_value_type(argv[0]);
    const int tb = sqlite3_value_type(argv[1]);
    if (ta == SQLITE_NULL || tb == SQLITE_NULL) {
        sqlite3_result_null(ctx);
    } else if (ta == SQLITE_TEXT && tb == SQLITE_TEXT) {
        std::string s(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
        s += reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
        sqlite3_result_text(ctx, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
    } else if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) {
        sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]) + sqlite3_value_int64(argv[1]));
    } else {
        sqlite3_result_double(ctx, sqlite3_value_double(argv[0]) + sqlite3_value_double(argv[1]));
    }
}

ColumnKind kindOfDeclared(const QString& declared)
{
    const QString t = declared.toUpper();
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
        return ColumnKind::Date;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("TEXT")))
        return ColumnKind::Text;
    if (t.contains(QLatin1String("INT")))
        return ColumnKind::Integer;
    return ColumnKind::Number;
}

QString errorText(const QSqlError& e)
{
    QString s = e.text().trimmed();
    return s.isEmpty() ? QStringLiteral("unknown database error") : s;
}

bool alreadyRolledBack(const QSqlError& e)
{
    return e.text().contains(QLatin1String("no transaction is active"), Qt::CaseInsensitive);
}

// Every failure is classed by the data layer's one table of error classes (errorclass.h).
DbError dbError(ErrorSource source, const QSqlError& e)
{
    return DbError(errorText(e), classify(source, e) == ErrorClass::Unavailable);
}

} // namespace

int Connection::busyTimeoutMs = 10000;

Connection::Connection(const QString& name) : name_(name) {}

Connection::~Connection()
{
    disconnect();
    if (QSqlDatabase::contains(name_))
        QSqlDatabase::removeDatabase(name_);
}

void Connection::setConnectionString(const ConnectionSettings& s, const QString& home)
{
    settings_ = s;
    home_ = home;
    if (embeddedFile(s.database)) {
        backend_ = Backend::Sqlite;
        target_ = QFileInfo(s.database).isAbsolute() ? s.database : QDir(home).filePath(s.database);
    } else {
        backend_ = Backend::Odbc;
        target_ = odbcConnectionString(s);
    }
}

namespace {
// The production path on an embedded file: QODBC, unixODBC and the SQLite ODBC driver.
bool embeddedViaOdbc()
{
    return qEnvironmentVariable("VARID_EMBEDDED_DRIVER") == QLatin1String("odbc");
}
} // namespace

bool Connection::embeddedFile(const QString& database)
{
    return database.endsWith(QLatin1String(".db"), Qt::CaseInsensitive);
}

bool Connection::embeddedNative(const Target& t)
{
    return embeddedFile(t.settings.database) && !embeddedViaOdbc();
}

bool Connection::isDateColumn(const QString& column) const
{
    const auto it = kinds().constFind(column.toUpper());
    return it != kinds().constEnd() && *it == ColumnKind::Date;
}

QVariant Connection::typedNull(ColumnKind kind)
{
    switch (kind) {
    case ColumnKind::Date: return QVariant(QMetaType(QMetaType::QDateTime));
    case ColumnKind::Integer: return QVariant(QMetaType(QMetaType::LongLong));
    case ColumnKind::Number: return QVariant(QMetaType(QMetaType::Double));
    default: return QVariant(QMetaType(QMetaType::QString));
    }
}

bool Connection::connected() const
{
    return QSqlDatabase::contains(name_) && QSqlDatabase::database(name_, false).isOpen();
}

bool Connection::uncountedMemory()
{
    return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
}

void Connection::connect()
{
    if (connected())
        return;
    cache_.clear();
    last_.reset();
    if (QSqlDatabase::contains(name_))
        QSqlDatabase::removeDatabase(name_);
    inTransaction_ = false;
    batchOpen_ = false;
    dropReaders();
    ++generation_;
    if (backend_ == Backend::Sqlite) {
        // QSQLITE would silently create a missing file; a missing database is a failure.
        if (!QFileInfo(target_).isFile())
            throw DbError(QStringLiteral("Database file not found: ") + target_);
        viaOdbc_ = embeddedViaOdbc();
        hasTsqlAdd_ = false;
        if (viaOdbc_) {
            // The production path on an embedded file: QODBC, unixODBC and the SQLite ODBC
            // driver; only the dialect stays the embedded one.
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name_);
            db.setDatabaseName(QStringLiteral("DRIVER={SQLite3};Database=") + odbcAttributeValue(target_)
                               + QStringLiteral(";Timeout=%1;").arg(busyTimeoutMs));
            if (!db.open())
                throw dbError(errorSource(), db.lastError());
        } else {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
            db.setDatabaseName(target_);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
            if (!db.open())
                throw dbError(errorSource(), db.lastError());
            const QVariant h = db.driver()->handle();
            if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0) {
                sqlite3* handle = *static_cast<sqlite3* const*>(h.data());
                handle_ = handle;
                hasTsqlAdd_ = sqlite3_create_function(handle, "tsql_add", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                                      nullptr, tsqlAdd, nullptr, nullptr) == SQLITE_OK;
            }
        }
        // Write-ahead log: a commit is one append and one sync instead of a rollback journal's
        // several; readers and the writer do not block each other.
        run(QStringLiteral("PRAGMA journal_mode=WAL")).finish();
        // The branch's own database need not sync every commit: in WAL mode a crash of the
        // program loses nothing, and the power failure that could lose the last marks only
        // leaves rows "NEW" whose copies are safe on the main database, which syncs every
        // commit; the next run's lookup finds them and updates instead of adding them twice.
        if (!durable_)
            run(QStringLiteral("PRAGMA synchronous=NORMAL")).finish();
        kinds_.clear();
        kindsPending_ = true;
    } else {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name_);
        db.setDatabaseName(target_);
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15"));
        if (!db.open())
            throw dbError(errorSource(), db.lastError());
        run(QStringLiteral("SET DATEFORMAT dmy"));
    }
}

void Connection::disconnect()
{
    inTransaction_ = false;
    batchOpen_ = false;
    dropReaders();
    cache_.clear();
    last_.reset();
    dropNative();
    translated_.clear();
    handle_ = nullptr;
    if (QSqlDatabase::contains(name_)) {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        db.close();
    }
}

void Connection::loadSqliteSchema()
{
    kinds_.clear();
    // Every table's columns in one statement: a connect costs one read, not one a table.
    const QString sql = QStringLiteral("SELECT c.name, c.type FROM sqlite_master t, pragma_table_info(t.name) c "
                                       "WHERE t.type='table'");
    // On the file's own handle the names and types are read as they are stored: a schema
    // holds a few hundred columns, each of which a Qt query would first wrap in two values.
    const auto text = [](sqlite3_stmt* s, int c) {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
        return QString::fromUtf8(p, sqlite3_column_bytes(s, c));
    };
    if (selectNative(Statement(sql), [](sqlite3_stmt*) { return true; },
                     [&](sqlite3_stmt* s) { kinds_.insert(text(s, 0).toUpper(), kindOfDeclared(text(s, 1))); }))
        return;
    QSqlQuery info = run(sql);
    while (info.next())
        kinds_.insert(info.value(0).toString().toUpper(), kindOfDeclared(info.value(1).toString()));
}

const QHash<QString, ColumnKind>& Connection::kinds() const
{
    if (kindsPending_) {
        // The schema's own statement asks too, while it is read, and finds none: as at a connect.
        Connection& self = const_cast<Connection&>(*this); // a Connection is never a const object
        self.kindsPending_ = false;
        try {
            self.loadSqliteSchema();
        } catch (...) {
            self.kinds_.clear();
            self.kindsPending_ = true; // asked again at the next question
            throw;
        }
    }
    return kinds_;
}

ColumnKind Connection::kindOf(const QString& column, const QMetaType& reported) const
{
    const auto it = kinds().constFind(column.toUpper());
    if (it != kinds().constEnd())
        return *it;
    switch (reported.id()) {
    case QMetaType::QDateTime: case QMetaType::QDate: case QMetaType::QTime:
        return ColumnKind::Date;
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::Short: case QMetaType::UInt:
    case QMetaType::ULongLong: case QMetaType::UShort:
        return ColumnKind::Integer;
    case QMetaType::Double: case QMetaType::Float:
        return ColumnKind::Number;
    default:
        return ColumnKind::Text;
    }
}

QVariant Connection::toStorage(const QVariant& v, ColumnKind kind) const
{
    if (v.isNull() || !v.isValid())
        return typedNull(kind);
    if (kind == ColumnKind::Date) {
        QDateTime dt;
        if (v.typeId() == QMetaType::QDateTime) {
            dt = v.toDateTime();
        } else if (v.typeId() == QMetaType::QDate) {
            dt = wallClock(v.toDate(), QTime(0, 0));
        } else {
            const QString s = v.toString();
            if (s.isEmpty())
                return typedNull(kind);
            if (const auto p = parseDateText(s)) dt = *p;
            else if (const auto q = parseStorageText(s)) dt = *q;
            else throw DbError(QStringLiteral("'%1' is not a valid date").arg(s));
        }
        if (backend_ == Backend::Sqlite)
            return storageText(dt);
        return dt;
    }
    if (kind != ColumnKind::Text && v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        if (s.isEmpty())
            return typedNull(kind);
        bool ok = false;
        if (kind == ColumnKind::Integer) {
            const qlonglong n = s.toLongLong(&ok);
            if (ok) return n;
        }
        const double d = s.toDouble(&ok);
        if (!ok)
            throw DbError(QStringLiteral("'%1' is not a valid number").arg(s));
        return d;
    }
    if (backend_ == Backend::Sqlite && v.typeId() == QMetaType::QDateTime)
        return storageText(v.toDateTime());
    return v;
}

void Connection::beginTransaction()
{
    if (!connected())
        throw DbError(QStringLiteral("Connection is closed"), true);
    if (inTransaction_)
        throw DbError(QStringLiteral("A transaction is already open"));
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    ++statements_;
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    if (backend_ == Backend::Sqlite && !viaOdbc_) {
        // The write lock is taken at the start, waiting for another writer as long as the busy
        // time-out allows. A deferred transaction that reads first (a procedure's body, a
        // cursor) and writes later would get "database is locked" at once, without waiting,
        // whenever another branch wrote in between.
        if (handle_) {
            execNative(QStringLiteral("BEGIN IMMEDIATE"), {}); // prepared once, traced there
            inTransaction_ = true;
            return;
        }
        QSqlQuery begin(db);
        const bool ok = begin.exec(QStringLiteral("BEGIN IMMEDIATE"));
        const QSqlError e = ok ? QSqlError() : begin.lastError();
        traceStatement(QStringLiteral("BEGIN IMMEDIATE"), {}, &e, 0, t0);
        if (!ok)
            throw dbError(errorSource(), e);
    } else {
        const bool ok = db.transaction();
        const QSqlError e = ok ? QSqlError() : db.lastError();
        traceStatement(QStringLiteral("BEGIN TRANSACTION"), {}, &e, 0, t0);
        if (!ok)
            throw dbError(errorSource(), e);
    }
    inTransaction_ = true;
}

void Connection::commit()
{
    if (!inTransaction_)
        throw DbError(QStringLiteral("No transaction is open"));
    ++statements_;
    if (backend_ == Backend::Sqlite && !viaOdbc_ && handle_) {
        execNative(QStringLiteral("COMMIT"), {}, Wording::Commit);
        inTransaction_ = false;
        return;
    }
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    const bool ok = db.commit();
    const QSqlError e = ok ? QSqlError() : db.lastError();
    traceStatement(QStringLiteral("COMMIT"), {}, &e, 0, t0);
    if (!ok)
        throw dbError(errorSource(), e);
    inTransaction_ = false;
}

void Connection::runTransaction(const QString& batch, const QVariantList& binds)
{
    if (!connected())
        throw DbError(QStringLiteral("Connection is closed"), true);
    if (inTransaction_)
        throw DbError(QStringLiteral("A transaction is already open"));
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.setForwardOnly(true);
    inTransaction_ = true;
    batchOpen_ = true;
    ++statements_;
    bool ok = false;
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    if (binds.isEmpty()) {
        ok = q.exec(batch);
    } else if (q.prepare(batch)) {
        for (int i = 0; i < binds.size(); ++i)
            q.bindValue(i, binds[i]);
        ok = q.exec();
    }
    if (StatementTrace::active()) {
        const QSqlError e = ok ? QSqlError() : q.lastError();
        traceStatement(batch, binds, &e, ok ? q.numRowsAffected() : 0, t0);
    }
    if (!ok)
        throw dbError(errorSource(), q.lastError()); // still in the transaction: the caller rolls it back
    if (backend_ == Backend::Odbc) {
        // SQL Server may report an error of a later statement of the batch only with its
        // result: the batch counts as committed when its last row, selected after the
        // commit, has arrived.
        bool committed = false;
        do {
            if (q.isSelect() && q.next()) {
                committed = q.value(0).toInt() == 1;
                break;
            }
        } while (q.nextResult());
        if (!committed) {
            const QSqlError e = q.lastError();
            throw e.isValid() ? dbError(errorSource(), e) : DbError(QStringLiteral("The transaction's batch ended before its commit"));
        }
    }
    q.finish();
    inTransaction_ = false;
    batchOpen_ = false;
}

void Connection::rollback()
{
    if (!inTransaction_)
        throw DbError(QStringLiteral("No transaction is open"));
    inTransaction_ = false;
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (!db.isOpen())
        throw DbError(QStringLiteral("Connection is closed"), true);
    if (batchOpen_) {
        // A failed batch may have stopped before its begin, or the server may have rolled it
        // back already: the rollback is conditional on SQL Server, and SQLite's complaint that
        // nothing is open is no failure.
        batchOpen_ = false;
        QSqlQuery q(db);
        const bool server = backend_ == Backend::Odbc;
        const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
        const bool ok = q.exec(server ? odbcBatchRollbackText() : QStringLiteral("ROLLBACK"));
        const QSqlError traced = ok ? QSqlError() : q.lastError();
        traceStatement(server ? odbcBatchRollbackText() : QStringLiteral("ROLLBACK"), {}, &traced, 0, t0);
        if (!ok) {
            const QSqlError e = q.lastError();
            if (server || !alreadyRolledBack(e))
                throw dbError(errorSource(), e);
        }
        return;
    }
    // SQLite rolls a transaction back itself on a full disk, an I/O error or no memory; its
    // complaint that nothing is open then is no failure.
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    const bool ok = db.rollback();
    const QSqlError e = ok ? QSqlError() : db.lastError();
    traceStatement(QStringLiteral("ROLLBACK"), {}, &e, 0, t0);
    if (!ok && !alreadyRolledBack(e))
        throw dbError(errorSource(), e);
}

QSqlQuery Connection::prepareNative(const QString& sql)
{
    if (!connected())
        throw DbError(QStringLiteral("Connection is closed"), true);
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (!q.prepare(sql))
        throw dbError(errorSource(), q.lastError());
    return q;
}

namespace {
// A value bound as QSQLITE binds it, so the file holds what it always held.
int bindAsQt(sqlite3_stmt* st, int i, const QVariant& v)
{
    bool null = v.isNull() || !v.isValid();
    if (!null) {
        switch (v.typeId()) {
        case QMetaType::QString: null = static_cast<const QString*>(v.constData())->isNull(); break;
        case QMetaType::QByteArray: null = static_cast<const QByteArray*>(v.constData())->isNull(); break;
        case QMetaType::QDateTime: null = !static_cast<const QDateTime*>(v.constData())->isValid(); break;
        case QMetaType::QDate: null = !static_cast<const QDate*>(v.constData())->isValid(); break;
        case QMetaType::QTime: null = !static_cast<const QTime*>(v.constData())->isValid(); break;
        default: break;
        }
    }
    if (null)
        return sqlite3_bind_null(st, i);
    switch (v.typeId()) {
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        return sqlite3_bind_blob(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    }
    case QMetaType::Int:
    case QMetaType::Bool:
        return sqlite3_bind_int(st, i, v.toInt());
    case QMetaType::Double:
        return sqlite3_bind_double(st, i, v.toDouble());
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(st, i, v.toLongLong());
    case QMetaType::QString: {
        // As UTF-8, the file's own encoding, so SQLite need not translate it; a text with a
        // broken surrogate pair goes as UTF-16, for SQLite to translate it as it always did.
        const QString* s = static_cast<const QString*>(v.constData());
        if (!s->isValidUtf16())
            return sqlite3_bind_text16(st, i, s->utf16(), int(s->size() * sizeof(QChar)), SQLITE_TRANSIENT);
        // Encoded straight into a buffer that SQLite then owns: no copy of a copy.
        QStringEncoder utf8(QStringEncoder::Utf8);
        char* const buffer = static_cast<char*>(sqlite3_malloc64(sqlite3_uint64(utf8.requiredSpace(s->size())) + 1));
        if (!buffer)
            return SQLITE_NOMEM;
        char* const end = utf8.appendToBuffer(buffer, *s);
        return sqlite3_bind_text64(st, i, buffer, sqlite3_uint64(end - buffer), sqlite3_free, SQLITE_UTF8);
    }
    case QMetaType::QDateTime: {
        const QByteArray s = v.toDateTime().toString(Qt::ISODateWithMs).toLatin1();
        return sqlite3_bind_text(st, i, s.constData(), int(s.size()), SQLITE_TRANSIENT);
    }
    case QMetaType::QTime: {
        const QString s = v.toTime().toString(u"hh:mm:ss.zzz");
        return sqlite3_bind_text16(st, i, s.utf16(), int(s.size() * sizeof(QChar)), SQLITE_TRANSIENT);
    }
    default: {
        const QString s = v.toString();
        return sqlite3_bind_text16(st, i, s.utf16(), int(s.size() * sizeof(QChar)), SQLITE_TRANSIENT);
    }
    }
}

// The failure as QSQLITE reports it: its class and its text stay what they were.
QSqlError nativeError(sqlite3* h, const char* what, QSqlError::ErrorType type, int code)
{
    return QSqlError(QCoreApplication::translate("QSQLiteResult", what),
                     QString(reinterpret_cast<const QChar*>(sqlite3_errmsg16(h))), type, QString::number(code));
}
} // namespace

void Connection::dropNative()
{
    for (sqlite3_stmt* st : std::as_const(native_))
        sqlite3_finalize(st);
    native_.clear();
}

sqlite3_stmt* Connection::nativeStatement(const QString& sql, int& rc)
{
    sqlite3_stmt* st = native_.value(sql);
    if (st)
        return st;
    if (native_.size() >= 256)
        dropNative();
    rc = sqlite3_prepare_v3(handle_, sql.toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        return nullptr;
    }
    native_.insert(sql, st);
    return st;
}

QSqlError Connection::bindNative(sqlite3_stmt* st, const QVariantList& binds)
{
    if (sqlite3_bind_parameter_count(st) != binds.size())
        return QSqlError(QCoreApplication::translate("QSQLiteResult", "Parameter count mismatch"), QString(),
                         QSqlError::StatementError);
    for (int i = 0; i < binds.size(); ++i) {
        const int rc = bindAsQt(st, i + 1, binds[i]);
        if (rc != SQLITE_OK) {
            sqlite3_reset(st);
            return nativeError(handle_, "Unable to bind parameters", QSqlError::StatementError, rc);
        }
    }
    return QSqlError();
}

std::shared_ptr<Connection::Shape> Connection::shapeOf(const Statement& st, QVariantList& values)
{
    // The same statement with other values (a lookup, a send marker) is translated once: its
    // values are bound to the cached shape. A text with its values written in is translated
    // each time and cached by its translated text.
    std::optional<Bindable> literal;
    if (st.values().isEmpty())
        literal = bindable(st);
    const QString& key = literal ? literal->sql : st.sql();
    auto it = cache_.find(key);
    if (it == cache_.end()) {
        if (cache_.size() >= 256)
            cache_.clear();
        auto shape = std::make_shared<Shape>();
        shape->bindable = literal ? *literal : bindable(st);
        it = cache_.insert(key, shape);
    }
    values = literal ? literal->fixed : (*it)->bindable.bind(st);
    return *it;
}

int Connection::execNative(const QString& sql, const QVariantList& binds, Wording wording)
{
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    const auto fail = [&](const QSqlError& e) {
        traceStatement(sql, binds, &e, 0, t0);
        return dbError(errorSource(), e);
    };
    int prepared = SQLITE_OK;
    sqlite3_stmt* st = nativeStatement(sql, prepared);
    if (!st)
        throw fail(nativeError(handle_, "Unable to execute statement", QSqlError::StatementError, prepared));
    if (const QSqlError e = bindNative(st, binds); e.isValid())
        throw fail(e);
    const int totalBefore = sqlite3_total_changes(handle_);
    int rc = sqlite3_step(st);
    while (rc == SQLITE_ROW) // a write that returns rows: they are not read
        rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) {
        // As QSQLITE words it: a commit without a code, any other statement with one.
        const QSqlError e = wording == Wording::Commit
            ? QSqlError(QCoreApplication::translate("QSQLiteDriver", "Unable to commit transaction"),
                        QString(reinterpret_cast<const QChar*>(sqlite3_errmsg16(handle_))), QSqlError::TransactionError)
            : nativeError(handle_, "Unable to fetch row", QSqlError::ConnectionError,
                          rc == SQLITE_ERROR ? sqlite3_reset(st) : rc);
        sqlite3_reset(st);
        throw fail(e);
    }
    // A statement that changed nothing (a transaction's BEGIN, a write that found no row)
    // says 0, not the count of the last write that did.
    const int rows = sqlite3_total_changes(handle_) != totalBefore ? sqlite3_changes(handle_) : 0;
    sqlite3_reset(st);
    if (StatementTrace::active())
        traceStatement(sql, binds, nullptr, rows, t0);
    return rows;
}

int Connection::execBound(const QString& sql, const QVariantList& binds)
{
    if (backend_ != Backend::Sqlite || viaOdbc_ || !handle_) {
        QSqlQuery q = run(sql, binds);
        const int rows = q.numRowsAffected();
        q.finish();
        return rows;
    }
    if (!connected())
        throw DbError(QStringLiteral("Connection is closed"), true);
    ++statements_;
    auto it = translated_.constFind(sql);
    if (it == translated_.constEnd()) {
        if (translated_.size() >= 256)
            translated_.clear();
        it = translated_.insert(sql, translate(sql));
    }
    return execNative(*it, binds);
}

int Connection::execCached(const Statement& st)
{
    if (backend_ != Backend::Sqlite || viaOdbc_ || !handle_) {
        QSqlQuery& q = runCached(st);
        const int rows = q.isSelect() ? -1 : q.numRowsAffected();
        q.finish();
        return rows;
    }
    if (!connected())
        throw DbError(QStringLiteral("Connection is closed"), true);
    ++statements_;
    if (st.values().isEmpty()) {
        const Bindable b = bindable(st);
        return execNative(b.sql, b.fixed);
    }
    QVariantList values;
    const std::shared_ptr<Shape> shape = shapeOf(st, values);
    return execNative(shape->bindable.sql, values);
}

bool Connection::selectNative(const Statement& st, const std::function<bool(sqlite3_stmt*)>& columns,
                              const std::function<void(sqlite3_stmt*)>& row)
{
    if (backend_ != Backend::Sqlite || viaOdbc_ || !handle_)
        return false;
    if (!connected())
        throw DbError(QStringLiteral("Connection is closed"), true);
    QVariantList values;
    const std::shared_ptr<Shape> shape = shapeOf(st, values);
    const QString& sql = shape->bindable.sql;
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    const auto fail = [&](const QSqlError& e) {
        traceStatement(sql, values, &e, 0, t0);
        return dbError(errorSource(), e);
    };
    int prepared = SQLITE_OK;
    sqlite3_stmt* s = nativeStatement(sql, prepared);
    if (!s) {
        ++statements_;
        throw fail(nativeError(handle_, "Unable to execute statement", QSqlError::StatementError, prepared));
    }
    if (!columns(s))
        return false;
    ++statements_;
    if (const QSqlError e = bindNative(s, values); e.isValid())
        throw fail(e);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW)
        row(s);
    if (rc != SQLITE_DONE) {
        const QSqlError e = nativeError(handle_, "Unable to fetch row", QSqlError::ConnectionError,
                                        rc == SQLITE_ERROR ? sqlite3_reset(s) : rc);
        sqlite3_reset(s);
        throw fail(e);
    }
    sqlite3_reset(s);
    if (StatementTrace::active())
        traceStatement(sql, values, nullptr, -1, t0);
    return true;
}

void Connection::execPrepared(QSqlQuery& q, const QVariantList& binds)
{
    if (!connected())
        throw DbError(QStringLiteral("Connection is closed"), true);
    if (handle_ && !viaOdbc_) {
        ++statements_;
        execNative(q.lastQuery(), binds);
        return;
    }
    ++statements_;
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, binds[i]);
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    const bool ok = q.exec();
    const QSqlError error = ok ? QSqlError() : q.lastError();
    if (StatementTrace::active())
        traceStatement(q.lastQuery(), binds, &error, ok && !q.isSelect() ? q.numRowsAffected() : -1, t0);
    q.finish();
    if (!ok)
        throw dbError(errorSource(), error);
}

QSqlQuery Connection::run(const QString& sql, const QVariantList& binds)
{
    if (!connected())
        throw DbError(QStringLiteral("Connection is closed"), true);
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    const QString text = backend_ == Backend::Sqlite ? sqliteText(sql, viaOdbc_) : sql;
    ++statements_;
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    bool ok = false;
    if (binds.isEmpty()) {
        ok = q.exec(text);
    } else if (q.prepare(text)) {
        for (const QVariant& b : binds)
            q.addBindValue(b);
        ok = q.exec();
    }
    if (StatementTrace::active()) {
        const QSqlError e = ok ? QSqlError() : q.lastError();
        traceStatement(text, binds, &e, ok && !q.isSelect() ? q.numRowsAffected() : -1, t0);
    }
    if (!ok)
        throw dbError(errorSource(), q.lastError());
    return q;
}

QString Connection::translate(const QString& sql) const
{
    if (backend_ != Backend::Sqlite)
        return sql;
    return sqliteText(sql, viaOdbc_);
}

QString Connection::sqliteText(const QString& sql, bool viaOdbc) const
{
    return sqliteTranslate(sql, [this](const QString& c) { return isDateColumn(c); },
                           [this](const QString& c) { return kinds().value(c.toUpper(), ColumnKind::Number) == ColumnKind::Text; },
                           hasTsqlAdd_, viaOdbc);
}

QString Connection::openReader()
{
    // A reader that an earlier walk of this connection finished is taken again: opening the
    // file, its log and its functions costs more than a walk with nothing new.
    if (!idleReaders_.isEmpty()) {
        const QString name = idleReaders_.takeLast();
        if (QSqlDatabase::database(name, false).isOpen())
            return name;
        QSqlDatabase::removeDatabase(name);
    }
    static std::atomic<int> counter{0};
    const QString name = name_ + QStringLiteral("-reader-") + QString::number(++counter);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(target_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_READONLY").arg(busyTimeoutMs));
    if (!db.open()) {
        const QSqlError e = db.lastError();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw dbError(errorSource(), e);
    }
    const QVariant h = db.driver()->handle();
    if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
        sqlite3_create_function(*static_cast<sqlite3* const*>(h.data()), "tsql_add", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                nullptr, tsqlAdd, nullptr, nullptr);
    return name;
}

void Connection::readyReader()
{
    if (backend_ != Backend::Sqlite || viaOdbc_ || durable_ || !handle_ || !idleReaders_.isEmpty() || !connected())
        return;
    try {
        const QString name = openReader();
        {
            QSqlQuery schema(QSqlDatabase::database(name, false));
            schema.exec(QStringLiteral("SELECT 1 FROM sqlite_master LIMIT 1"));
        }
        closeReader(name);
    } catch (const DbError&) {
    }
}

void Connection::closeReader(const QString& name)
{
    bool reusable = false;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen()) {
            // The walk's read snapshot ends here, so the log can be checkpointed again.
            QSqlQuery end(db);
            end.exec(QStringLiteral("COMMIT"));
            reusable = connected();
        }
        if (!reusable)
            db.close();
    }
    if (reusable)
        idleReaders_ << name;
    else
        QSqlDatabase::removeDatabase(name);
}

void Connection::dropReaders()
{
    for (const QString& name : std::as_const(idleReaders_)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    idleReaders_.clear();
}

Connection::Bindable Connection::bindable(const Statement& st) const
{
    // Each value's place gets a quoted stand-in that no translation rule touches; the
    // translated text's quoted literals then become the bound parameters, the stand-ins
    // taking the statement's values and the text's own literals their text.
    static const QChar tag(0x1);
    QString marked;
    marked.reserve(st.sql().size() + 8 * st.values().size());
    st.split([&marked](QStringView piece) { marked += piece; },
             [&marked](int i) { marked += QLatin1Char('\'') + tag + QString::number(i) + QLatin1Char('\''); });
    const ParameterizedStatement p = parameterize(sqliteText(marked, false));
    Bindable b;
    b.sql = p.sql;
    for (const QVariant& v : p.values) {
        const QString text = v.toString();
        if (text.startsWith(tag)) {
            b.slots << text.mid(1).toInt();
            b.fixed << QVariant();
        } else {
            b.slots << -1;
            b.fixed << v;
        }
    }
    return b;
}

QVariantList Connection::Bindable::bind(const Statement& st) const
{
    QVariantList out;
    out.reserve(slots.size());
    for (qsizetype k = 0; k < slots.size(); ++k) {
        if (slots[k] < 0) {
            out << fixed[k];
            continue;
        }
        // As stored: a date in the embedded form, a null as the empty text it was as a literal.
        const QVariant& v = st.values()[slots[k]];
        if (v.isNull() || !v.isValid())
            out << QVariant(QString(QLatin1String("")));
        else if (v.typeId() == QMetaType::QDateTime)
            out << QVariant(storageText(v.toDateTime()));
        else if (v.typeId() == qMetaTypeId<Stamp>())
            out << QVariant(storageText(v.value<Stamp>().at));
        else if (v.typeId() == QMetaType::QDate)
            out << QVariant(storageText(wallClock(v.toDate())));
        else
            out << v;
    }
    return out;
}

QSqlQuery& Connection::runCached(const Statement& st)
{
    if (backend_ != Backend::Sqlite || viaOdbc_) {
        last_ = std::make_unique<QSqlQuery>(run(st.text()));
        return *last_;
    }
    if (!connected())
        throw DbError(QStringLiteral("Connection is closed"), true);
    ++statements_;
    QVariantList values;
    const std::shared_ptr<Shape> found = shapeOf(st, values);
    Shape& shape = *found;
    if (!shape.query) { // prepared through Qt once a text, on its first use here
        std::optional<QSqlQuery> prepared;
        prepared.emplace(QSqlDatabase::database(name_, false));
        prepared->setForwardOnly(true);
        prepared->setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (!prepared->prepare(shape.bindable.sql))
            throw dbError(errorSource(), prepared->lastError());
        shape.query = std::move(prepared);
    }
    QSqlQuery& q = *shape.query;
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values[i]);
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    if (!q.exec()) {
        const QSqlError e = q.lastError();
        traceStatement(shape.bindable.sql, values, &e, 0, t0);
        q.finish();
        throw dbError(errorSource(), e);
    }
    if (StatementTrace::active())
        traceStatement(shape.bindable.sql, values, nullptr, q.isSelect() ? -1 : q.numRowsAffected(), t0);
    return q;
}

void Connection::traceStatement(const QString& sql, const QVariantList& binds, const QSqlError* error, int rows, qint64 startedNs) const
{
    if (!StatementTrace::active())
        return;
    // The main database's connections are ADOC2 and its run's copies; the rest are the branch's.
    static const QString mainLabel = QStringLiteral("ГлС"), localLabel = QStringLiteral("Локальный");
    StatementTrace::record(name_.startsWith(QLatin1String("ADOC2")) ? mainLabel : localLabel, sql, binds, error, rows, startedNs);
}

} // namespace varid
