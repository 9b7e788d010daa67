#include "data/rowset.h"

#include "data/statementtrace.h"

#include "data/values.h"

#include <QRegularExpression>

#include <sqlite3.h>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlError>

namespace varid {

QStringList tableKey(const QString& table)
{
    static const QHash<QString, QStringList> keys{
        {QStringLiteral("KTO"), {QStringLiteral("KTO_KOD")}},
        {QStringLiteral("KLIENT"), {QStringLiteral("K_NID")}},
        {QStringLiteral("PERSONAL"), {QStringLiteral("P_NID")}},
        {QStringLiteral("AUTO"), {QStringLiteral("A_NID")}},
        {QStringLiteral("TERRORIST"), {QStringLiteral("T_IIN"), QStringLiteral("T_NAME")}},
        {QStringLiteral("ONOFF"), {QStringLiteral("OO_NAME"), QStringLiteral("OO_DATA"), QStringLiteral("OO_KTO")}},
        {QStringLiteral("REALIZ"), {QStringLiteral("REA_NID")}},
        {QStringLiteral("BILET"), {QStringLiteral("B_NID")}},
        {QStringLiteral("GL_BOOK"), {QStringLiteral("G_NID")}},
        {QStringLiteral("AVANS"), {QStringLiteral("AV_NID")}},
        {QStringLiteral("PRODLENIE"), {QStringLiteral("PRO_NID")}},
        {QStringLiteral("OSTATOK"), {QStringLiteral("O_NID")}},
    };
    return keys.value(table.toUpper());
}

namespace {
const QString kRowId = QStringLiteral("__VARID_ROWID");

// A plain "SELECT * FROM T ..." may be written through (its table comes back in `table`); on
// SQLite its rows carry their rowid.
QString writableText(const QString& sql, bool sqlite, QString& table)
{
    static const QRegularExpression single(
        QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+([A-Za-z_][A-Za-z0-9_]*)\\s*(where\\b|order\\b|$)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = single.match(sql);
    if (!m.hasMatch())
        return sql;
    table = m.captured(1);
    if (!sqlite)
        return sql;
    const int star = sql.indexOf(QLatin1Char('*'));
    return sql.left(star) + QStringLiteral("rowid AS %1, *").arg(kRowId) + sql.mid(star + 1);
}

// A selection of a walk on the reader's connection: prepared, its values bound, run, and
// told to the statement trace; false (the error in `q`) when it failed.
bool runTraced(const Connection& c, QSqlQuery& q, const QString& sql, const QVariantList& values)
{
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    // The same text on the same query again: only its values change.
    bool ok = q.lastQuery() == sql || q.prepare(sql);
    for (int i = 0; ok && i < values.size(); ++i)
        q.bindValue(i, values[i]);
    ok = ok && q.exec();
    if (StatementTrace::active()) {
        const QSqlError e = ok ? QSqlError() : q.lastError();
        c.traceStatement(sql, values, &e, -1, t0);
    }
    return ok;
}

// A column of the current row as QSQLITE reads it: integers as 64 bits, reals as doubles,
// texts as the file holds them (UTF-8) converted once, a null as an invalid value.
QVariant columnValue(sqlite3_stmt* st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: return QVariant(qlonglong(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT: return QVariant(sqlite3_column_double(st, i));
    case SQLITE_NULL: return QVariant();
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i)));
    default: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        const QByteArrayView bytes(text, sqlite3_column_bytes(st, i));
        if (bytes.isValidUtf8())
            return QVariant(QString::fromUtf8(bytes));
        // What is not UTF-8 (a lone surrogate written from UTF-16) as SQLite translates it.
        return QVariant(QString(reinterpret_cast<const QChar*>(sqlite3_column_text16(st, i)),
                                sqlite3_column_bytes16(st, i) / int(sizeof(QChar))));
    }
    }
}

bool sameValue(const QVariant& a, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    if (isNumeric(a) && isNumeric(b))
        return a.toDouble() == b.toDouble();
    return textForm(a) == textForm(b);
}
} // namespace

void RowSet::close()
{
    if (live_ || keyed_)
        releaseReader(); // the walk is over: its read snapshot on the second connection ends
    keyed_ = false;
    ids_.clear();
    chunk_.clear();
    chunkIds_.clear();
    streaming_ = false;
    active_ = false;
    eof_ = true;
    cur_ = 0;
    rows_.clear();
    rowIds_.clear();
    state_ = State::Browse;
}

void RowSet::copyShapeOf(const RowSet& source)
{
    close();
    table_ = source.table_;
    columns_ = source.columns_;
    kinds_ = source.kinds_;
    index_ = source.index_;
    active_ = true;
}

void RowSet::appendCurrentOf(const RowSet& source)
{
    if (source.rows_.isEmpty())
        return;
    rows_ << source.rows_[source.cur_];
    rowIds_ << source.rowIds_.value(source.cur_);
    eof_ = false;
}

void RowSet::describe(const QSqlQuery& q, const QString& table)
{
    table_ = table;
    columns_.clear();
    index_.clear();
    kinds_.clear();
    idCol_ = -1;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i) {
        const QString name = rec.fieldName(i);
        if (name == kRowId) { idCol_ = i; continue; }
        index_.insert(name.toUpper(), int(columns_.size()));
        columns_ << name;
        kinds_ << conn_->kindOf(name, rec.field(i).metaType());
    }
}

void RowSet::readRow(const QSqlQuery& q)
{
    QVector<QVariant> row;
    row.reserve(columns_.size());
    const int n = int(columns_.size()) + (idCol_ >= 0 ? 1 : 0);
    for (int i = 0; i < n; ++i) {
        if (i == idCol_) { rowIds_ << q.value(i); continue; }
        row << stored(q.value(i), int(row.size()));
    }
    rows_ << row;
}

bool RowSet::describe(sqlite3_stmt* s, bool knownOnly)
{
    QStringList names;
    QVector<ColumnKind> kinds;
    int idCol = -1;
    for (int i = 0; i < sqlite3_column_count(s); ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(s, i));
        if (name == kRowId) { idCol = i; continue; }
        if (name.compare(QLatin1String("X_ROW"), Qt::CaseInsensitive) == 0)
            kinds << ColumnKind::Integer; // a lookup's row tag
        else if (conn_->knowsColumn(name) || !knownOnly)
            kinds << conn_->kindOf(name, QMetaType());
        else
            return false;
        names << name;
    }
    columns_ = names;
    kinds_ = kinds;
    idCol_ = idCol;
    index_.clear();
    for (int i = 0; i < columns_.size(); ++i)
        index_.insert(columns_[i].toUpper(), i);
    return true;
}

void RowSet::readRow(sqlite3_stmt* s)
{
    QVector<QVariant> row;
    row.reserve(columns_.size());
    const int width = int(columns_.size()) + (idCol_ >= 0 ? 1 : 0);
    for (int i = 0; i < width; ++i) {
        if (i == idCol_) { rowIds_ << columnValue(s, i); continue; }
        row << stored(columnValue(s, i), int(row.size()));
    }
    rows_ << row;
}

QVariant RowSet::stored(QVariant v, int c) const
{
    if (v.isNull())
        return Connection::typedNull(kinds_[c]); // a null stays a null of its column's type
    if (kinds_[c] == ColumnKind::Date) {
        if (v.typeId() == QMetaType::QString) {
            if (const auto dt = parseStorageText(v.toString()))
                return *dt;
        } else if (v.typeId() == QMetaType::QDateTime) {
            return wallClock(v.toDateTime());
        }
    }
    return v;
}

void RowSet::load(QSqlQuery& q, const QString& table)
{
    close();
    describe(q, table);
    while (q.next())
        readRow(q);
    q.finish();
    active_ = true;
    first();
}

void RowSet::releaseReader()
{
    live_.reset();
    sqlite3_finalize(chunkStmt_); // before its reader closes
    chunkStmt_ = nullptr;
    conn_->closeReader(reader_);
    reader_.clear();
}

void RowSet::loadChunk()
{
    chunk_.clear();
    chunkIds_.clear();
    chunkPos_ = 0;
    const qsizetype n = std::min<qsizetype>(kChunkRows, ids_.size() - next_);
    if (n <= 0)
        return;
    // A short read of its own: the rows of the next keys, as they stand now. Always as many
    // keys (the last chunk repeats its last key), so the statement is prepared once a walk;
    // read on the reader's handle, each value as QSQLITE would give it.
    static const QString marks = [] {
        QStringList m;
        for (int i = 0; i < kChunkRows; ++i)
            m << QStringLiteral("?");
        return m.join(QLatin1Char(','));
    }();
    // The text is needed to prepare the statement and for the trace only.
    const auto sqlText = [&] { return QStringLiteral("SELECT rowid AS %1, * FROM %2 WHERE rowid IN (%3)").arg(kRowId, table_, marks); };
    const qint64 t0 = StatementTrace::active() ? StatementTrace::now() : 0;
    sqlite3* h = chunkStmt_ ? sqlite3_db_handle(chunkStmt_) : nullptr;
    if (!h) {
        const QVariant handle = QSqlDatabase::database(reader_, false).driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            h = *static_cast<sqlite3* const*>(handle.data());
    }
    if (!h)
        throw DbError(QStringLiteral("The walk's reader is closed"), true);
    const auto fail = [&](int rc) {
        const QString e = QString(reinterpret_cast<const QChar*>(sqlite3_errmsg16(h)));
        if (chunkStmt_)
            sqlite3_reset(chunkStmt_);
        if (StatementTrace::active()) {
            const QSqlError error(QString(), e, QSqlError::StatementError, QString::number(rc));
            conn_->traceStatement(sqlText(), {}, &error, -1, t0);
        }
        return DbError(e);
    };
    if (!chunkStmt_) {
        const int rc = sqlite3_prepare_v3(h, sqlText().toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, &chunkStmt_, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(chunkStmt_);
            chunkStmt_ = nullptr;
            throw fail(rc);
        }
    }
    for (int i = 0; i < kChunkRows; ++i)
        sqlite3_bind_int64(chunkStmt_, i + 1, ids_[next_ + std::min<qsizetype>(i, n - 1)]);
    if (columns_.isEmpty())
        describe(chunkStmt_, false);
    rows_.clear();
    rowIds_.clear();
    int rc;
    while ((rc = sqlite3_step(chunkStmt_)) == SQLITE_ROW)
        readRow(chunkStmt_);
    if (rc != SQLITE_DONE)
        throw fail(rc);
    sqlite3_reset(chunkStmt_);
    if (StatementTrace::active()) {
        QVariantList keys;
        for (qsizetype i = 0; i < kChunkRows; ++i)
            keys << ids_[next_ + std::min(i, n - 1)];
        conn_->traceStatement(sqlText(), keys, nullptr, -1, t0);
    }
    QHash<qint64, int> at;
    for (int i = 0; i < rowIds_.size(); ++i)
        at.insert(rowIds_[i].toLongLong(), i);
    // In the walk's order; a row deleted since the walk began is passed over.
    for (qsizetype i = 0; i < n; ++i) {
        const auto it = at.constFind(ids_[next_ + i]);
        if (it == at.constEnd())
            continue;
        chunk_ << rows_[*it];
        chunkIds_ << rowIds_[*it];
    }
    rows_.clear();
    rowIds_.clear();
    next_ += n;
}

void RowSet::fetch()
{
    rows_.clear();
    rowIds_.clear();
    cur_ = 0;
    if (keyed_) {
        while (chunkPos_ >= chunk_.size() && next_ < ids_.size())
            loadChunk();
        if (chunkPos_ < chunk_.size()) {
            rows_ << chunk_[chunkPos_];
            rowIds_ << chunkIds_[chunkPos_];
            ++chunkPos_;
            ++pos_;
            eof_ = false;
        } else {
            eof_ = true;
        }
        return;
    }
    if (live_->next()) {
        readRow(*live_);
        ++pos_;
        eof_ = false;
    } else {
        eof_ = true;
    }
}

void RowSet::endWalk()
{
    if (keyed_) {
        releaseReader();
        keyed_ = false;
        ids_.clear();
        chunk_.clear();
        chunkIds_.clear();
        rows_.clear();
        rowIds_.clear();
        eof_ = true;
        return;
    }
    if (!live_)
        return;
    // The read snapshot ends as soon as the walk does, so the log can be checkpointed again;
    // the count stays for the steps that add it up.
    releaseReader();
    rows_.clear();
    rowIds_.clear();
    eof_ = true;
}

void RowSet::first()
{
    if (streaming_) {
        if (!live_ && !keyed_)
            throw DbError(QStringLiteral("The walk of this selection has ended"));
        if (pos_ == 1 && !eof_)
            return; // on its first row still: not run again
        if (keyed_) {
            next_ = 0;
            chunk_.clear();
            chunkIds_.clear();
            chunkPos_ = 0;
            pos_ = 0;
            fetch();
            return;
        }
        // Again from the start, inside the same read snapshot.
        live_->finish();
        if (!live_->exec())
            throw DbError(live_->lastError().text());
        pos_ = 0;
        fetch();
        return;
    }
    cur_ = 0;
    eof_ = rows_.isEmpty();
}

void RowSet::next()
{
    if (streaming_) {
        if (!eof_)
            fetch();
        return;
    }
    if (rows_.isEmpty()) { eof_ = true; return; }
    if (cur_ + 1 < rows_.size())
        ++cur_;
    else
        eof_ = true;
}

int RowSet::columnIndex(const QString& column) const
{
    // Column names are mostly written as the table declares them: found without a copy.
    auto it = index_.constFind(column);
    if (it == index_.constEnd())
        it = index_.constFind(column.toUpper());
    if (it == index_.constEnd())
        throw DbError(QStringLiteral("Field '%1' not found").arg(column));
    return *it;
}

bool RowSet::locate(const QString& columns, const QVariantList& values)
{
    if (streaming_)
        throw DbError(QStringLiteral("A walked selection cannot be searched"));
    const QStringList names = columns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (names.size() != values.size())
        throw DbError(QStringLiteral("Locate: %1 columns but %2 values").arg(names.size()).arg(values.size()));
    QVector<int> idx;
    for (const QString& n : names)
        idx << columnIndex(n.trimmed());
    for (int r = 0; r < rows_.size(); ++r) {
        bool all = true;
        for (int k = 0; k < idx.size() && all; ++k)
            all = sameValue(rows_[r][idx[k]], values[k]);
        if (all) {
            cur_ = r;
            eof_ = false;
            return true;
        }
    }
    return false;
}

QVariant RowSet::value(const QString& column) const
{
    const int c = columnIndex(column);
    if (state_ != State::Browse)
        return buffer_[c];
    if (rows_.isEmpty())
        return QVariant();
    return rows_[cur_][c];
}

const QVariant& RowSet::valueAt(int c) const
{
    static const QVariant none;
    if (state_ != State::Browse)
        return buffer_[c];
    if (rows_.isEmpty())
        return none;
    return rows_[cur_][c];
}

QString RowSet::text(const QString& column) const { return textForm(value(column)); }

qlonglong RowSet::integer(const QString& column) const
{
    const QVariant v = value(column);
    if (v.isNull()) return 0;
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok) {
        const double d = v.toDouble(&ok);
        if (!ok) throw DbError(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
        return qlonglong(d);
    }
    return n;
}

double RowSet::number(const QString& column) const
{
    const QVariant v = value(column);
    if (v.isNull()) return 0.0;
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok) throw DbError(QStringLiteral("'%1' is not a valid floating point value").arg(v.toString()));
    return d;
}

void RowSet::edit()
{
    if (!active_) throw DbError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (table_.isEmpty()) throw DbError(QStringLiteral("This row set cannot be written"));
    if (rows_.isEmpty()) throw DbError(QStringLiteral("Cannot edit: the row set is empty"));
    buffer_ = rows_[cur_];
    assigned_ = QVector<bool>(columns_.size(), false);
    state_ = State::Edit;
}

void RowSet::insert()
{
    if (!active_) throw DbError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (table_.isEmpty()) throw DbError(QStringLiteral("This row set cannot be written"));
    buffer_ = QVector<QVariant>(columns_.size());
    assigned_ = QVector<bool>(columns_.size(), false);
    state_ = State::Insert;
}

void RowSet::set(const QString& column, const QVariant& v)
{
    if (state_ == State::Browse)
        throw DbError(QStringLiteral("Dataset not in edit or insert mode"));
    const int c = columnIndex(column);
    buffer_[c] = v;
    assigned_[c] = true;
}

void RowSet::cancel() { state_ = State::Browse; }

void RowSet::post()
{
    if (state_ == State::Browse)
        throw DbError(QStringLiteral("Dataset not in edit or insert mode"));
    QStringList cols;
    QVariantList binds;
    QVector<QVariant> stored = buffer_;
    for (int c = 0; c < columns_.size(); ++c) {
        if (!assigned_[c]) continue;
        const ColumnKind kind = kinds_[c];
        const QVariant v = conn_->toStorage(buffer_[c], kind);
        cols << columns_[c];
        binds << v;
        QVariant shown = v;
        if (kind == ColumnKind::Date && v.typeId() == QMetaType::QString)
            if (const auto dt = parseStorageText(v.toString())) shown = *dt;
        stored[c] = shown;
    }
    const bool sqlite = conn_->backend() == Backend::Sqlite;
    if (state_ == State::Insert) {
        QStringList marks;
        for (int i = 0; i < cols.size(); ++i) marks << QStringLiteral("?");
        const QString sql = cols.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table_)
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table_, cols.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        QSqlQuery q = conn_->run(sql, binds);
        // Only where the driver knows it: elsewhere the call is a warning and no id.
        const QVariant id = q.driver() && q.driver()->hasFeature(QSqlDriver::LastInsertId) ? q.lastInsertId() : QVariant();
        q.finish();
        rows_ << stored;
        rowIds_ << id;
        cur_ = int(rows_.size()) - 1;
        eof_ = false;
    } else if (!cols.isEmpty()) {
        QStringList sets;
        for (const QString& c : cols) sets << c + QStringLiteral("=?");
        QStringList conds;
        const QStringList key = tableKey(table_);
        if (!key.isEmpty() || !sqlite || cur_ >= rowIds_.size()) {
            // The row is the one holding the key as read (every column as read where the
            // table has no key); on SQL Server dates and floats may not compare equal after
            // a round trip, a key does.
            for (int c = 0; c < columns_.size(); ++c) {
                if (!key.isEmpty() && !key.contains(columns_[c], Qt::CaseInsensitive))
                    continue;
                const QVariant& old = rows_[cur_][c];
                if (old.isNull()) {
                    conds << columns_[c] + QStringLiteral(" IS NULL");
                } else {
                    conds << columns_[c] + QStringLiteral("=?");
                    binds << conn_->toStorage(old, kinds_[c]);
                }
            }
        } else {
            conds << QStringLiteral("rowid=?");
            binds << rowIds_[cur_];
        }
        const QString where = conds.join(QStringLiteral(" AND "));
        const QString sql = sqlite || !key.isEmpty()
            ? QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table_, sets.join(QLatin1Char(',')), where)
            : QStringLiteral("UPDATE TOP (1) %1 SET %2 WHERE %3").arg(table_, sets.join(QLatin1Char(',')), where);
        const int affected = conn_->execBound(sql, binds);
        // A row that vanished between the read and the post is a failure, not a success.
        if (affected == 0)
            throw DbError(QStringLiteral("Row cannot be located for updating: it was changed or deleted in %1").arg(table_));
        rows_[cur_] = stored;
    }
    state_ = State::Browse;
}

void Query::setSql(const Statement& sql)
{
    close();
    sql_ = sql;
}

void Query::open()
{
    close();
    QString table;
    const Statement st(writableText(sql_.sql(), connection().backend() == Backend::Sqlite, table), sql_.values());
    // On the embedded file, a selection of the schema's columns (and a lookup's row tag) is
    // read on the handle; any other through Qt, whose reported types then type its values.
    const auto columns = [&](sqlite3_stmt* s) {
        if (!describe(s, true))
            return false;
        table_ = table;
        return true;
    };
    if (connection().selectNative(st, columns, [this](sqlite3_stmt* s) { readRow(s); })) {
        active_ = true;
        first();
        return;
    }
    close();
    QSqlQuery& q = connection().runCached(st);
    load(q, table);
}

void Query::openWalk()
{
    Connection& c = connection();
    if (c.backend() != Backend::Sqlite || c.viaOdbc() || c.durable()) {
        open(); // a client-side snapshot, as on SQL Server and on the main database
        return;
    }
    close();
    QString table;
    const Statement st(writableText(sql_.sql(), true, table), sql_.values());
    // The walk's set is the one a read snapshot of a second connection, taken now, sees: the
    // marks written while walking cannot change it.
    reader_ = c.openReader();
    QSqlDatabase db = QSqlDatabase::database(reader_, false);
    const Connection::Bindable b = c.bindable(st);
    const QVariantList values = b.bind(st);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const auto fail = [&](const QSqlQuery& failed) {
        const QString e = failed.lastError().text();
        c.closeReader(reader_);
        reader_.clear();
        throw DbError(e);
    };
    if (!q.exec(QStringLiteral("BEGIN")))
        fail(q);
    if (!table.isEmpty()) {
        // One table: its rows' keys are read in the snapshot, which then ends, and the rows
        // themselves a few hundred at a time in short reads of their own. No read stays open
        // for the whole walk: the branch's log can be checkpointed while the marks are written.
        QString keysSql = b.sql;
        keysSql.replace(QStringLiteral("rowid AS %1, *").arg(kRowId), QStringLiteral("rowid AS %1").arg(kRowId));
        if (!runTraced(c, q, keysSql, values))
            fail(q);
        while (q.next())
            ids_ << q.value(0).toLongLong();
        q.finish();
        q.exec(QStringLiteral("COMMIT"));
        count_ = int(ids_.size());
        table_ = table;
        active_ = true;
        pos_ = 0;
        if (count_ == 0) {
            c.closeReader(reader_);
            reader_.clear();
            eof_ = true;
            return;
        }
        keyed_ = true;
        streaming_ = true;
        columns_.clear();
        next_ = 0;
        chunkPos_ = 0;
        fetch();
        return;
    }
    // Several tables: the rows are read one at a time inside the snapshot, memory flat.
    const QString counting = QStringLiteral("SELECT COUNT(*) FROM (%1)").arg(b.sql);
    if (!runTraced(c, q, counting, values) || !q.next())
        fail(q);
    count_ = q.value(0).toInt();
    q.finish();
    if (count_ == 0) {
        // Nothing to walk: the selection is not run a second time. The snapshot ends at once.
        c.closeReader(reader_);
        reader_.clear();
        table_ = table;
        active_ = true;
        pos_ = 0;
        eof_ = true;
        return;
    }
    live_ = std::make_unique<QSqlQuery>(db);
    live_->setForwardOnly(true);
    live_->setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    streaming_ = true;
    if (!runTraced(c, *live_, b.sql, values)) {
        const QString e = live_->lastError().text();
        close();
        throw DbError(e);
    }
    describe(*live_, table);
    active_ = true;
    pos_ = 0;
    fetch();
}

void Query::exec()
{
    close();
    connection().execCached(sql_);
}

void TableCursor::open()
{
    const QString sql = connection().backend() == Backend::Sqlite
        ? QStringLiteral("SELECT rowid AS %1, * FROM %2").arg(kRowId, name_)
        : QStringLiteral("SELECT * FROM %1").arg(name_);
    QSqlQuery q = connection().run(sql);
    load(q, name_);
}

} // namespace varid
