#pragma once
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <optional>

namespace varid {

// Stored dates, period dates and the dates of SQL texts are calendar dates and wall-clock
// times with no zone. They are held as QDateTime in UTC, where every wall-clock time
// exists: a local-time QDateTime would turn a time inside a daylight-saving gap invalid.
QDateTime wallClock(const QDate& d, const QTime& t = QTime(0, 0));
// A clock reading ("now") as the same wall-clock time, without its zone.
QDateTime wallClock(const QDateTime& local);

// The month-name table, 1 to 12: "январь" to "декабрь"; empty outside it.
QString monthName(int month);

// The short date of the program: day.month.year, "23.12.2007".
QString shortDate(const QDate& d);

// Date and time as the log lines and text forms show them: "dd.mm.yyyy hh:mm:ss",
// the date alone when the time is exactly midnight.
QString dateTimeText(const QDateTime& dt);

// A column value as displayed: null gives "", a date-time its date text (with the time
// unless midnight), an integer its digits, other numbers their shortest form with at most
// 15 significant digits and a '.' separator, text as it stands.
QString textForm(const QVariant& v);

// "dd.mm.yyyy" or "dd.mm.yyyy hh:mm:ss"; nothing for any other text.
std::optional<QDateTime> parseDateText(const QString& text);

// The embedded databases keep dates as "yyyy-mm-dd hh:mm:ss".
QString storageText(const QDateTime& dt);
std::optional<QDateTime> parseStorageText(const QString& text);

bool isNumeric(const QVariant& v);

// "'" + value + "'" with the value's quotes doubled: every value placed in an SQL text,
// period texts included, goes through here.
QString quoted(const QString& value);

// Money columns have four decimal places: sums are compared at that scale, so the noise of
// adding the same amounts in another order cannot make two equal sums differ.
bool sameAmount(double a, double b);
bool lessAmount(double a, double b);

} // namespace varid
