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

struct ErrorClassRow {
    const char* name;          // what the row stands for, for tests and traces
    const int* sqliteCodes;    // SQLite primary result codes (the low byte of an extended code)
    const int* serverNumbers;  // SQL Server error numbers
    const char* const* states; // ODBC SQLSTATEs
    const char* const* texts;  // fragments of the message, for drivers that give no code
};

// The table every failure is classed by; anything no row names is a refusal.
const ErrorClassRow* errorClassRows(int* count);

// The row of the table a failure falls in, or null for a refusal.
const ErrorClassRow* unavailableRow(ErrorSource source, const QString& nativeCode, const QString& text);
ErrorClass classify(ErrorSource source, const QString& nativeCode, const QString& text);
ErrorClass classify(ErrorSource source, const QSqlError& e);

} // namespace varid
