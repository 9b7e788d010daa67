#pragma once
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVariantList>

namespace varid {

// A date-time value that a text writes with its time even at midnight ("01.03.2010
// 00:00:00"), as the bounds of a day are written.
struct Stamp {
    QDateTime at;
    bool operator==(const Stamp&) const = default;
};

// An SQL text in SQL Server's dialect with its values kept apart and typed: "%1", "%2", ...
// outside quotes stand for the values, in any order. The embedded database binds them as
// they are (a date as a date, a key that looks like a date as the text it is) to a statement
// prepared once per text; `text()` writes them in as quoted literals, the form the log shows
// and SQL Server reads, character for character what the steps wrote before.
class Statement {
public:
    Statement() = default;
    // A fixed text, no values (its quoted literals are part of the text).
    Statement(const QString& sql) : sql_(sql) {} // NOLINT: a text is a statement
    Statement(const QString& sql, const QVariantList& values) : sql_(sql), values_(values) {}

    const QString& sql() const { return sql_; }
    const QVariantList& values() const { return values_; }
    bool isEmpty() const { return sql_.isEmpty(); }
    // Every value as a quoted literal of its text form (a null as '').
    QString text() const;

    // The marks of `sql` outside quotes, each given to `mark` with its value's index (from
    // 0); the text around them to `piece`. A mark past the values is left as text.
    template <typename Piece, typename Mark>
    void split(Piece piece, Mark mark) const;

    // The statements one after another with `separator` between them: their values follow
    // one another, their marks numbered again.
    static Statement join(const QVector<Statement>& parts, const QString& separator);

    bool operator==(const Statement&) const = default;

private:
    QString sql_;
    QVariantList values_;
};

template <typename Piece, typename Mark>
void Statement::split(Piece piece, Mark mark) const
{
    const QString& s = sql_;
    qsizetype from = 0;
    bool inQuote = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == QLatin1Char('\'')) {
            inQuote = !inQuote; // a doubled quote leaves and enters again
            continue;
        }
        if (inQuote || c != QLatin1Char('%') || i + 1 >= s.size() || !s[i + 1].isDigit())
            continue;
        qsizetype j = i + 1;
        int n = 0;
        while (j < s.size() && s[j].isDigit())
            n = n * 10 + s[j++].digitValue();
        if (n < 1 || n > values_.size())
            continue;
        piece(QStringView(s).mid(from, i - from));
        mark(n - 1);
        from = j;
        i = j - 1;
    }
    piece(QStringView(s).mid(from));
}

} // namespace varid

Q_DECLARE_METATYPE(varid::Stamp)
