#pragma once
#include <QString>

class QSqlError;

namespace varid {

// Which client speaks: SQLite in process, SQLite through its ODBC driver (the embedded file on
// the production path), or SQL Server through ODBC.
enum class ErrorSource { Sqlite, SqliteOdbc, SqlServer };

// What a database failure means for the row being written.
//  Refused: the database refused this row (a constraint, a check, a trigger's error, a value
//  the column cannot take, a missing procedure): the row's failure line, and it is marked.
//  Unavailable: the database cannot take writes now (busy, locked, a time-out, a deadlock, a
//  lost connection, a full disk or log, a read-only or damaged file, no memory): the step
//  breaks off and the row stays "NEW" for the next attempt.
enum class ErrorClass { Refused, Unavailable };

// Classes a failure by the data layer's one table of error classes (errorclass.cpp): by
// SQLite's result code, SQL Server's error number, the ODBC SQLSTATE, or the message where a
// driver gives no code. Anything the table does not name is a refusal.
ErrorClass classify(ErrorSource source, const QString& nativeCode, const QString& text);
ErrorClass classify(ErrorSource source, const QSqlError& e);

} // namespace varid
