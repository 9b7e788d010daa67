#pragma once
#include "data/connection.h"
#include "data/statement.h"

#include <QHash>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

namespace varid {

// The columns that identify a row of the table, by which a cursor writes it back.
QStringList tableKey(const QString& table);

// A row set: the rows a query or table cursor read when it was opened (a snapshot that
// later writes do not change), walked by first/next/end of data, searched by locate, and
// written through by edit/insert/post where the rows come from one table.
class RowSet {
public:
    explicit RowSet(Connection& c) : conn_(&c) {}
    RowSet(const RowSet&) = delete;
    RowSet& operator=(const RowSet&) = delete;
    virtual ~RowSet() { close(); }

    bool active() const { return active_; }
    virtual void close();

    void first();
    void next();
    // A walked selection will not be walked again: its read snapshot ends (its count stays).
    void endWalk();
    bool eof() const { return eof_; }
    int rowCount() const { return streaming_ ? count_ : int(rows_.size()); }
    int recNo() const { return streaming_ ? pos_ : (rows_.isEmpty() ? 0 : cur_ + 1); }

    // One column, or several as "A; B; C" with one value each. Exact and case-sensitive;
    // the cursor stays where it was when no row matches.
    bool locate(const QString& columns, const QVariantList& values);
    bool locate(const QString& column, const QVariant& value) { return locate(column, QVariantList{value}); }

    bool hasColumn(const QString& column) const { return index_.contains(column.toUpper()); }
    QVariant value(const QString& column) const; // typed value; null stays null
    // The same by the column's place in columns(), without a copy.
    const QVariant& valueAt(int column) const;
    const QStringList& columns() const { return columns_; }
    QString text(const QString& column) const;   // text form
    qlonglong integer(const QString& column) const;
    double number(const QString& column) const;  // a null reads as 0

    void edit();
    void insert();
    void set(const QString& column, const QVariant& value);
    void post(); // writes exactly this row
    void cancel();

    Connection& connection() const { return *conn_; }

    // The rows of a batch, copied from a set as it is walked: `copyShapeOf` takes the
    // source's columns and table and drops any rows; `appendCurrentOf` adds the source's
    // current row. The copies are written through like the source's own rows.
    void copyShapeOf(const RowSet& source);
    void appendCurrentOf(const RowSet& source);

protected:
    void load(QSqlQuery& q, const QString& table);
    void describe(const QSqlQuery& q, const QString& table);
    void readRow(const QSqlQuery& q);
    // The same for a statement on the SQLite handle. `knownOnly`: false, and nothing
    // changed, when a column is not the schema's (nor a lookup's row tag).
    bool describe(sqlite3_stmt* s, bool knownOnly);
    void readRow(sqlite3_stmt* s);
    void fetch();
    int columnIndex(const QString& column) const;

    Connection* conn_;
    QString table_; // set when the rows come from one table and may be written through
    bool active_ = false;
    bool eof_ = true;
    int cur_ = 0;
    QStringList columns_;
    QVector<ColumnKind> kinds_;
    QHash<QString, int> index_;
    QVector<QVector<QVariant>> rows_;
    QVector<QVariant> rowIds_; // SQLite rowid of each row, for writing through

    enum class State { Browse, Edit, Insert } state_ = State::Browse;

    // A walked selection read as it goes (embedded databases): only the current row is held.
    bool streaming_ = false;
    std::unique_ptr<QSqlQuery> live_;
    QString reader_;
    int count_ = 0;
    int pos_ = 0;
    int idCol_ = -1;
    QVector<QVariant> buffer_;
    QVector<bool> assigned_;

    // A walk of one table by its keys: the keys read in the walk's snapshot, the rows a
    // chunk at a time.
    void loadChunk();
    static constexpr int kChunkRows = 256;
    bool keyed_ = false;
    QVector<qint64> ids_;
    qsizetype next_ = 0;
    QVector<QVector<QVariant>> chunk_;
    QVector<QVariant> chunkIds_;
    qsizetype chunkPos_ = 0;
    sqlite3_stmt* chunkStmt_ = nullptr; // on the reader, prepared once a walk
    // The walk's statements on the reader finished, then the reader closed.
    void releaseReader();
    // A value as read, as the row holds it: a null typed by its column, a date as a date.
    QVariant stored(QVariant v, int column) const;
};

// A query component (Q1, Q1DM, ...): its text is replaced before each use.
class Query : public RowSet {
public:
    using RowSet::RowSet;
    void setSql(const Statement& sql); // closes the query
    // The text as the log shows it, its values written in.
    QString sql() const { return sql_.text(); }
    const Statement& statement() const { return sql_; }
    void open();
    // A selection to walk from its first row to its end (twice at most, from first()): on
    // the embedded database streamed inside a read snapshot taken now; elsewhere as open().
    void openWalk();
    void exec(); // a statement that returns no rows

private:
    Statement sql_;
};

// A table cursor (T_KTO, T_KLIENT, ...): all rows of one table.
class TableCursor : public RowSet {
public:
    TableCursor(Connection& c, const QString& table) : RowSet(c), name_(table) {}
    void open();
    QString tableName() const { return name_; }

private:
    QString name_;
};

} // namespace varid
