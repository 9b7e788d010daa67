#pragma once
#include <QString>
#include <QVariantList>

#include <atomic>

class QSqlError;

namespace varid {

// A file that receives every statement sent to either database, in order, one a line, for
// the branch's IT: the time, the connection ("ГлС" or "Локальный"), the text, its bound
// values in text form, its outcome (rows, or the error's text) and its time in
// milliseconds. UTF-8, so grep and less serve. Off unless opened: then each statement costs
// one relaxed load.
class StatementTrace {
public:
    // Opens (appends to) `file`; false, with the reason in `error`, when it cannot.
    static bool open(const QString& file, QString* error = nullptr);
    static bool active() { return active_.load(std::memory_order_relaxed); }
    static qint64 now(); // a monotonic clock in nanoseconds

    // One statement: `error` null or invalid when it succeeded; `rows` the rows it changed,
    // or -1 for a selection.
    static void record(const QString& connection, const QString& sql, const QVariantList& binds, const QSqlError* error,
                       int rows, qint64 startedNs);
    // The line as the file holds it.
    static QString line(const QString& connection, const QString& sql, const QVariantList& binds, const QString& outcome,
                        double ms);
    static QString valueText(const QVariant& v);

private:
    static std::atomic<bool> active_;
};

} // namespace varid
