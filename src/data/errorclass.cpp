#include "data/errorclass.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QStringList>

namespace varid {

namespace {

struct ErrorClassRow {
    const char* name;          // what the row stands for
    const int* sqliteCodes;    // SQLite primary result codes (the low byte of an extended code)
    const int* serverNumbers;  // SQL Server error numbers
    const char* const* states; // ODBC SQLSTATEs
    const char* const* texts;  // fragments of the message, for drivers that give no code
};

// SQLite: BUSY 5, LOCKED 6, NOMEM 7, READONLY 8, INTERRUPT 9, IOERR 10, CORRUPT 11, FULL 13,
// CANTOPEN 14, PROTOCOL 15, NOTADB 26.
constexpr int kBusySqlite[] = {5, 6, 0};
constexpr int kBusyServer[] = {1205, 1222, 0};
const char* const kBusyStates[] = {"40001", nullptr};
const char* const kBusyTexts[] = {"database is locked", "database table is locked", "database is busy", "deadlock", nullptr};

constexpr int kTimeoutSqlite[] = {9, 0};
constexpr int kTimeoutServer[] = {0};
const char* const kTimeoutStates[] = {"HYT00", "HYT01", nullptr};
const char* const kTimeoutTexts[] = {"timeout expired", "query timeout", "interrupted", nullptr};

constexpr int kLostSqlite[] = {14, 15, 0};
constexpr int kLostServer[] = {233, 10053, 10054, 0};
const char* const kLostStates[] = {"08S01", "08003", "08001", "08007", "08004", nullptr};
const char* const kLostTexts[] = {"Communication link failure", "Connection is closed", "unable to open database file",
                                  "Unable to connect", nullptr};

constexpr int kFullSqlite[] = {13, 0};
constexpr int kFullServer[] = {1101, 1105, 9002, 0};
const char* const kNoStates[] = {nullptr};
const char* const kFullTexts[] = {"database or disk is full", "disk is full", "No space left on device", nullptr};

constexpr int kReadOnlySqlite[] = {8, 0};
constexpr int kReadOnlyServer[] = {3906, 0};
const char* const kReadOnlyTexts[] = {"attempt to write a readonly database", "readonly database", nullptr};

constexpr int kDamageSqlite[] = {10, 11, 26, 0};
constexpr int kDamageServer[] = {605, 823, 824, 0};
const char* const kDamageTexts[] = {"disk I/O error", "database disk image is malformed", "file is not a database", nullptr};

constexpr int kMemorySqlite[] = {7, 0};
constexpr int kMemoryServer[] = {701, 802, 0};
const char* const kMemoryStates[] = {"HY001", nullptr};
const char* const kMemoryTexts[] = {"out of memory", nullptr};

const ErrorClassRow kRows[] = {
    {"busy, locked or deadlocked", kBusySqlite, kBusyServer, kBusyStates, kBusyTexts},
    {"time-out", kTimeoutSqlite, kTimeoutServer, kTimeoutStates, kTimeoutTexts},
    {"connection lost", kLostSqlite, kLostServer, kLostStates, kLostTexts},
    {"disk or log full", kFullSqlite, kFullServer, kNoStates, kFullTexts},
    {"read-only", kReadOnlySqlite, kReadOnlyServer, kNoStates, kReadOnlyTexts},
    {"I/O error or damage", kDamageSqlite, kDamageServer, kNoStates, kDamageTexts},
    {"out of memory", kMemorySqlite, kMemoryServer, kMemoryStates, kMemoryTexts},
};

bool listed(const int* list, int n)
{
    for (; *list; ++list)
        if (*list == n)
            return true;
    return false;
}

// The row of the table a failure falls in, or null for a refusal.
const ErrorClassRow* unavailableRow(ErrorSource source, const QString& nativeCode, const QString& text)
{
    // A driver joins the codes of several diagnostic records with ';'.
    QList<int> numbers;
    QStringList words;
    for (const QString& part : nativeCode.split(QRegularExpression(QStringLiteral("[;,\\s]+")), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.toInt(&ok);
        if (ok)
            numbers << n;
        else
            words << part;
    }
    for (const ErrorClassRow& row : kRows) {
        for (int n : numbers) {
            // SQLite's extended codes carry the primary code in their low byte; the SQLite ODBC
            // driver passes SQLite's own code on as its native error.
            if (source != ErrorSource::SqlServer && n > 0 && n < 0x10000 && listed(row.sqliteCodes, n & 0xff))
                return &row;
            if (source == ErrorSource::SqlServer && listed(row.serverNumbers, n))
                return &row;
        }
        for (const char* const* st = row.states; *st; ++st) {
            for (const QString& w : words)
                if (w.compare(QLatin1String(*st), Qt::CaseInsensitive) == 0)
                    return &row;
            if (text.contains(QLatin1Char('[') + QLatin1String(*st) + QLatin1Char(']')))
                return &row;
        }
        for (const char* const* t = row.texts; *t; ++t)
            if (text.contains(QLatin1String(*t), Qt::CaseInsensitive))
                return &row;
    }
    return nullptr;
}

} // namespace

ErrorClass classify(ErrorSource source, const QString& nativeCode, const QString& text)
{
    return unavailableRow(source, nativeCode, text) ? ErrorClass::Unavailable : ErrorClass::Refused;
}

ErrorClass classify(ErrorSource source, const QSqlError& e)
{
    return classify(source, e.nativeErrorCode(), e.text());
}

} // namespace varid
