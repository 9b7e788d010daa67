#include "data/values.h"
#include "data/period.h"

#include "data/dialect.h"

#include <cmath>


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
// A date's text read field by field: digits only where the format has them, its separators
// where it has them. A hand reader, as both texts are read for every date value that comes
// by, and a pattern would first be compiled at every start.
class DateReader {
public:
    explicit DateReader(QStringView text) : t_(text)
    {
        if (t_.endsWith(u'\n')) // as "$" reads it: before a last line break
            t_.chop(1);
    }
    // `min` to `max` digits: their number, or -1.
    int number(int min, int max)
    {
        int n = 0;
        int digits = 0;
        while (digits < max && at_ < t_.size() && t_[at_] >= u'0' && t_[at_] <= u'9') {
            n = n * 10 + (t_[at_].unicode() - u'0');
            ++at_;
            ++digits;
        }
        return digits >= min ? n : -1;
    }
    bool take(char16_t c)
    {
        if (at_ < t_.size() && t_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool takeAny(char16_t a, char16_t b) { return take(a) || take(b); }
    // Any number of digits: how many there were.
    qsizetype skipDigits()
    {
        const qsizetype from = at_;
        while (at_ < t_.size() && t_[at_] >= u'0' && t_[at_] <= u'9')
            ++at_;
        return at_ - from;
    }
    bool atEnd() const { return at_ == t_.size(); }

private:
    QStringView t_;
    qsizetype at_ = 0;
};

std::optional<QDateTime> dateOf(int year, int month, int day, int hour, int minute, int second)
{
    const QDate d(year, month, day);
    const QTime t(hour, minute, second);
    if (!d.isValid() || !t.isValid())
        return std::nullopt;
    return wallClock(d, t);
}
} // namespace

std::optional<QDateTime> parseDateText(const QString& text)
{
    // d.m.yyyy or dd.mm.yyyy, then perhaps " h:mm:ss".
    DateReader r(text);
    const int day = r.number(1, 2);
    if (day < 0 || !r.take(u'.'))
        return std::nullopt;
    const int month = r.number(1, 2);
    if (month < 0 || !r.take(u'.'))
        return std::nullopt;
    const int year = r.number(4, 4);
    if (year < 0)
        return std::nullopt;
    int hour = 0, minute = 0, second = 0;
    if (r.take(u' ')) {
        hour = r.number(1, 2);
        if (hour < 0 || !r.take(u':') || (minute = r.number(2, 2)) < 0 || !r.take(u':') || (second = r.number(2, 2)) < 0)
            return std::nullopt;
    }
    if (!r.atEnd())
        return std::nullopt;
    return dateOf(year, month, day, hour, minute, second);
}

QString storageText(const QDateTime& dt)
{
    // A walk's rows share few dates: the last one written is kept, per thread.
    thread_local QDateTime lastDate;
    thread_local QString lastText;
    if (dt == lastDate && !lastText.isNull() && dt.timeSpec() == lastDate.timeSpec())
        return lastText;
    const QDate d = dt.date();
    const QTime t = dt.time();
    if (!dt.isValid() || d.year() < 0 || d.year() > 9999) {
        lastText = dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    } else {
        // "yyyy-MM-dd hh:mm:ss" put together digit by digit: the format is not read again
        // for each of a walk's dates.
        char16_t text[19];
        const auto put = [&](int at, int value, int digits) {
            for (int k = digits - 1; k >= 0; --k, value /= 10)
                text[at + k] = char16_t(u'0' + value % 10);
        };
        put(0, d.year(), 4);
        text[4] = u'-';
        put(5, d.month(), 2);
        text[7] = u'-';
        put(8, d.day(), 2);
        text[10] = u' ';
        put(11, t.hour(), 2);
        text[13] = u':';
        put(14, t.minute(), 2);
        text[16] = u':';
        put(17, t.second(), 2);
        lastText = QString(reinterpret_cast<const QChar*>(text), 19);
    }
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
    // yyyy-mm-dd, then perhaps " hh:mm" or "Thh:mm", ":ss" and a fraction of a second.
    lastDate = [&]() -> std::optional<QDateTime> {
        DateReader r(text);
        const int year = r.number(4, 4);
        int month = -1, day = -1;
        if (year < 0 || !r.take(u'-') || (month = r.number(2, 2)) < 0 || !r.take(u'-') || (day = r.number(2, 2)) < 0)
            return std::nullopt;
        int hour = 0, minute = 0, second = 0;
        if (r.takeAny(u' ', u'T')) {
            hour = r.number(2, 2);
            if (hour < 0 || !r.take(u':') || (minute = r.number(2, 2)) < 0)
                return std::nullopt;
            if (r.take(u':') && (second = r.number(2, 2)) < 0)
                return std::nullopt;
            if (r.take(u'.') && r.skipDigits() == 0)
                return std::nullopt;
        }
        if (!r.atEnd())
            return std::nullopt;
        return dateOf(year, month, day, hour, minute, second);
    }();
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
