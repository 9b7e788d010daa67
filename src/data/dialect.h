#pragma once
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>

namespace varid {

// A value placed between single quotes in an SQL text: its own single quotes are doubled,
// so "O'Brien" is matched as it stands instead of breaking the statement.
QString sqlValue(const QString& value);

// The fixed SQL texts are SQL Server's dialect. On the embedded SQLite databases:
// - a quoted literal "dd.mm.yyyy" or "dd.mm.yyyy hh:mm:ss" compared with (=, <>, <, >,
//   Between ... and ...) or assigned to a date column is the date it names, in the stored
//   form "yyyy-mm-dd hh:mm:ss"; anywhere else (an identifier that looks like a date) it
//   stays the text it is. Without `isDateColumn` every such literal is taken for a date;
// - "+" between two bare column names known to be text is "||" (REA_KTO+REA_NID); between
//   others it goes through tsql_add(), which concatenates two texts as SQL Server does and
//   adds numbers, or stays "+" where the connection has no tsql_add (the ODBC driver);
// - with `floatSums`, Sum(...) is total(...): the SQLite ODBC driver types a computed column
//   by its first row, so a first group summing to a whole number would truncate the rest.
QString sqliteTranslate(const QString& tsql,
                        const std::function<bool(const QString&)>& isDateColumn = {},
                        const std::function<bool(const QString&)>& isTextColumn = {},
                        bool hasTsqlAdd = true, bool floatSums = false);

// A statement with its quoted values taken out as bound parameters: the same statement
// with other values then has the same text and is prepared once.
struct ParameterizedStatement {
    QString sql;
    QVariantList values;
};
ParameterizedStatement parameterize(const QString& sql);

// A procedure body statement with its @parameters turned into positional '?' marks.
struct PositionalStatement {
    QString sql;
    QStringList params; // in the order of the marks, as written in the body
    QStringList pieces; // the text around the marks: one more than the marks
};
PositionalStatement positionalParams(const QString& body);

// A value written into an embedded statement's text: NULL, a number, or a quoted text.
QString sqliteLiteral(const QVariant& value);
// The statement with its marks replaced by `values` as literals, in mark order.
QString withLiterals(const PositionalStatement& st, const QVariantList& values);

// The parts of a connection as Path.ini gives them.
struct ConnectionSettings {
    QString server;
    QString database;
    QString user;
    QString password;
    bool trusted = false; // Windows (integrated) authentication: the local database
    bool operator==(const ConnectionSettings&) const = default;
};

// The same connection through unixODBC and FreeTDS. A value holding ';' or '}' is wrapped
// in braces, so a password cannot add attributes to the string.
QString odbcConnectionString(const ConnectionSettings& s);
QString odbcAttributeValue(const QString& value);
// A value as FreeTDS reads it in a connection string (braced, a "}" inside as it stands);
// throws DbError for a value holding "};", which FreeTDS cannot take.
QString freetdsAttributeValue(const QString& value);

// QODBC cannot bind by name: a procedure is called with its parameters in declared order.
QString odbcCallText(const QString& procName, const QStringList& paramNames);
// The same call in a transaction of its own, begin, call and commit in one batch: one round
// trip. With XACT_ABORT a failing statement rolls the transaction back on the server and
// ends the batch, so the row it selects last arrives only when the commit has been done.
QString odbcTransactionText(const QString& procName, const QStringList& paramNames);
// Several calls in one transaction, one text: the calls in the order given (each as
// odbcCallText without its SET), ending with the select that proves the commit. With
// XACT_ABORT the first failing call rolls everything back and ends the batch.
QString odbcBatchText(const QStringList& calls);
// What undoes whatever such a batch left open when it failed part-way.
QString odbcBatchRollbackText();

} // namespace varid
