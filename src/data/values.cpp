#include "data/values.h"
#include "data/period.h"

#include "data/dialect.h"

#include <cmath>

#include <QRegularExpression>

namespace varid {

QDateTime wallClock(const QDate& d, const QTime& t)
{
    return QDateTime(d, t, Qt::UTC);
}

QDateTime wallClock(const QDateTime& local)
{
    return QDateTime(local.date(), local.time(), Qt::UTC);
}

QString monthName(int month)
{
    static const char* const names[12] = {"январь", "февраль", "март", "апрель", "май", "июнь",
                                          "июль", "август", "сентябрь", "октябрь", "ноябрь", "декабрь"};
    if (month < 1 || month > 12)
        return QString();
    return QString::fromUtf8(names[month - 1]);
}

QString shortDate(const QDate& d)
{
    return d.toString(QStringLiteral("dd.MM.yyyy"));
}

QString dateTimeText(const QDateTime& dt)
{
    if (dt.time() == QTime(0, 0))
        return shortDate(dt.date());
    return dt.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

bool isNumeric(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Short: case QMetaType::UShort: case QMetaType::Double: case QMetaType::Float:
    case QMetaType::Long: case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

QString textForm(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return QStringLiteral(""); // empty, not null: a text parameter from it is '' on the server
    switch (v.typeId()) {
    case QMetaType::QDateTime:
        return dateTimeText(v.toDateTime());
    case QMetaType::QDate:
        return shortDate(v.toDate());
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::Short: case QMetaType::Long:
        return QString::number(v.toLongLong());
    case QMetaType::UInt: case QMetaType::ULongLong: case QMetaType::UShort: case QMetaType::ULong:
        return QString::number(v.toULongLong());
    case QMetaType::Double: case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return v.toString();
    }
}

namespace {
// The date and time a match names, its parts at the given capture groups.
std::optional<QDateTime> dateFrom(const QRegularExpressionMatch& m, int year, int month, int day, int hour)
{
    if (!m.hasMatch())
        return std::nullopt;
    const QDate d(m.captured(year).toInt(), m.captured(month).toInt(), m.captured(day).toInt());
    QTime t(0, 0);
    if (m.capturedLength(hour) > 0)
        t = QTime(m.captured(hour).toInt(), m.captured(hour + 1).toInt(), m.captured(hour + 2).toInt());
    if (!d.isValid() || !t.isValid())
        return std::nullopt;
    return wallClock(d, t);
}
} // namespace

std::optional<QDateTime> parseDateText(const QString& text)
{
    static const QRegularExpression re(
        QStringLiteral("^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4})(?: (\\d{1,2}):(\\d{2}):(\\d{2}))?$"));
    return dateFrom(re.match(text), 3, 2, 1, 4);
}

QString storageText(const QDateTime& dt)
{
    // A walk's rows share few dates: the last one written is kept, per thread.
    thread_local QDateTime lastDate;
    thread_local QString lastText;
    if (dt == lastDate && !lastText.isNull() && dt.timeSpec() == lastDate.timeSpec())
        return lastText;
    lastText = dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    lastDate = dt;
    return lastText;
}

std::optional<QDateTime> parseStorageText(const QString& text)
{
    // The same for reading: the last text read, and what it gave.
    thread_local QString lastText;
    thread_local std::optional<QDateTime> lastDate;
    if (!lastText.isNull() && text == lastText)
        return lastDate;
    static const QRegularExpression re(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2}))?(?:\\.\\d+)?)?$"));
    lastDate = dateFrom(re.match(text), 1, 2, 3, 4);
    lastText = text;
    return lastDate;
}

QString quoted(const QString& value)
{
    return QLatin1Char('\'') + sqlValue(value) + QLatin1Char('\'');
}

namespace {
qint64 scaled(double v) { return std::llround(v * 10000.0); }
} // namespace

bool sameAmount(double a, double b) { return scaled(a) == scaled(b); }
bool lessAmount(double a, double b) { return scaled(a) < scaled(b); }

} // namespace varid

namespace varid {

QString Period::startText() const { return shortDate(from); }
QString Period::endText() const { return shortDate(to); }
QVariant Period::start() const { return wallClock(from); }
QVariant Period::end() const { return wallClock(to); }
QString Period::text() const { return QStringLiteral("с ") + startText() + QStringLiteral(" по ") + endText(); }

} // namespace varid
