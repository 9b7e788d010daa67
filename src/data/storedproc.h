#pragma once
#include "data/connection.h"

#include <QVariant>
#include <QVector>

#include <vector>

namespace varid {

enum class ParamType { Integer, SmallInt, Float, Decimal, Text, DateTime };

struct ParamDef {
    QString name; // with its '@'
    ParamType type;
    int size = 0; // text length or numeric precision
};

// A stored procedure component: a name with its group suffix (";1") and its declared
// parameters after @RETURN_VALUE, which is never read.
class StoredProc {
public:
    StoredProc(Connection& c, const QString& procName, QVector<ParamDef> params);

    QString procName() const { return name_; }
    const QVector<ParamDef>& params() const { return params_; }

    // By name in any letter case. A date-time parameter set from text reads
    // "dd.mm.yyyy" or "dd.mm.yyyy hh:mm:ss"; any other text is an error.
    void set(const QString& param, const QVariant& value);
    // The same by the parameter's place in params().
    void setAt(int index, const QVariant& value);
    QVariant param(const QString& param) const;
    // For each parameter, the place in `columns` of the column of its name (without its '@'):
    // -1 where there is none, -2 where the parameter is in `skip`. Worked out once for a
    // shape of row and kept.
    const QVector<int>& sourceColumns(const QStringList& columns, const QStringList& skip);
    void clear(); // every parameter back to null

    // The values as set, to be set again (a batch keeps each call's own).
    const QVector<QVariant>& values() const { return values_; }
    void setValues(const QVector<QVariant>& values) { values_ = values; }
    // The call as SQL Server's batch text writes it, its values bound in odbcBinds() order.
    QString odbcCall() const;
    // The embedded body with the values written in as literals: what the ODBC driver runs
    // of it inside a batch's text.
    QString literalBody();

    void execute();
    // The procedure in a transaction of its own. Where the connection batches transactions,
    // begin, procedure and commit are one round trip; a failure leaves the connection in the
    // transaction, to be rolled back as after execute().
    void executeInTransaction();

    // What an ODBC call binds, in declared order: each value as its declared type (dates as
    // date-times, decimals and floats as doubles, integers as ints, texts as texts), a null
    // as a null of that type.
    QVariantList odbcBinds() const;

private:
    int indexOf(const QString& param) const;
    QVariantList storageValues(const QVector<int>& params) const;
    void loadEmbeddedBody();

    // The body the embedded database holds, compiled once per connect: each statement
    // prepared, with the declared parameter behind each of its marks.
    struct Compiled {
        QSqlQuery query;
        QVector<int> params;
        PositionalStatement text;
    };

    Connection* conn_;
    QString name_;
    QVector<ParamDef> params_;
    QVector<QVariant> values_;
    std::vector<Compiled> body_;
    struct SourceMap {
        QStringList columns, skip;
        QVector<int> at;
    };
    SourceMap sources_;
    int bodyGeneration_ = -1;
};

} // namespace varid
