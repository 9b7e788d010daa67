#include "reconcile/detail.h"

#include "data/values.h"

#include <QHash>
#include <QSet>

namespace varid {

namespace {

// How one kind's records are selected, keyed and weighed.
struct Shape {
    QString from;          // FROM clause
    QStringList key;       // the record key's columns
    QString number, date, amount;
    QString branch;        // WHERE part that keeps this branch's records (%1: the quoted code)
    QString mainTable;     // the table deletions go to
};

Shape shapeOf(RecordKind k)
{
    Shape s;
    s.from = s.mainTable = QString::fromLatin1(k->table);
    for (int i = 0; i < k->keyCount(); ++i)
        s.key << QString::fromLatin1(k->key[size_t(i)]);
    s.number = QString::fromLatin1(k->number);
    s.date = QString::fromLatin1(k->date);
    s.amount = QString::fromLatin1(k->amount);
    s.branch = QString::fromLatin1(k->branch);
    return s;
}

QString within(const QString& column, const QDate& day)
{
    return column + QStringLiteral(" Between ") + quoted(shortDate(day) + QStringLiteral(" 00:00:00")) + QStringLiteral(" and ")
        + quoted(shortDate(day) + QStringLiteral(" 23:59:59"));
}

int monthByName(const QString& name)
{
    for (int m = 1; m <= 12; ++m)
        if (name.startsWith(monthName(m) + QLatin1Char(' ')))
            return m;
    return 0;
}

struct Record {
    QStringList keyValues;
    QString number, date;
    double amount = 0;
};

QHash<QString, Record> read(Connection& c, const QString& sql, const Shape& s)
{
    Query q(c);
    q.setSql(sql);
    q.open();
    QHash<QString, Record> out;
    for (q.first(); !q.eof(); q.next()) {
        Record r;
        for (const QString& k : s.key)
            r.keyValues << q.text(k);
        r.number = q.text(QStringLiteral("X_NUMBER"));
        if (q.hasColumn(QStringLiteral("X_DATE"))) {
            // The alias has no declared type: the embedded database gives the stored text.
            const QVariant v = q.value(QStringLiteral("X_DATE"));
            const auto stored = v.typeId() == QMetaType::QString ? parseStorageText(v.toString()) : std::nullopt;
            r.date = stored ? dateTimeText(*stored) : textForm(v);
        }
        r.amount = q.number(QStringLiteral("X_AMOUNT"));
        out.insert(r.keyValues.join(QStringLiteral(" / ")), r);
    }
    return out;
}

// The same selection on both databases, merged by the record key.
QVector<RecordDiff> compare(DM& dm, DM2& dm2, const Shape& s, const QString& where)
{
    QString sql = QStringLiteral("SELECT ") + s.key.join(QStringLiteral(", ")) + QStringLiteral(", ") + s.number + QStringLiteral(" as X_NUMBER, ");
    if (!s.date.isEmpty())
        sql += s.date + QStringLiteral(" as X_DATE, ");
    sql += s.amount + QStringLiteral(" as X_AMOUNT FROM ") + s.from + QStringLiteral(" Where ") + where;
    const QHash<QString, Record> local = read(dm.ADOC1, sql, s);
    const QHash<QString, Record> main = read(dm2.ADOC2, sql, s);
    QVector<RecordDiff> out;
    for (auto it = local.cbegin(); it != local.cend(); ++it) {
        const auto m = main.constFind(it.key());
        if (m == main.cend())
            out.push_back({RecordDiff::OnlyBranch, it.key(), it->number, it->date, it->amount, 0, it->keyValues});
        else if (!sameAmount(it->amount, m->amount))
            out.push_back({RecordDiff::Different, it.key(), it->number, it->date, it->amount, m->amount, it->keyValues});
    }
    for (auto it = main.cbegin(); it != main.cend(); ++it)
        if (!local.contains(it.key()))
            out.push_back({RecordDiff::OnlyMain, it.key(), it->number, it->date, 0, it->amount, it->keyValues});
    std::sort(out.begin(), out.end(), [](const RecordDiff& a, const RecordDiff& b) {
        return std::tie(a.side, a.key) < std::tie(b.side, b.key);
    });
    return out;
}

} // namespace

QString sideText(RecordDiff::Side side)
{
    switch (side) {
    case RecordDiff::OnlyBranch: return QStringLiteral("только в филиале");
    case RecordDiff::OnlyMain: return QStringLiteral("только на ГлС");
    default: return QStringLiteral("другая сумма");
    }
}

namespace {
// The section of a kind that wrote an act row: by its number and title, and where two share
// those (the sales in stock and sold), by the suffix of its second key.
const ActSection* sectionOf(RecordKind kind, const ActRow& g)
{
    for (const ActSection& s : kind->sections)
        if (s.number == g.section && g.title == QString::fromUtf8(s.title)
            && (!*s.suffix || g.name.endsWith(QString::fromUtf8(s.suffix))))
            return &s;
    return nullptr;
}
} // namespace

QVector<RecordDiff> groupDifferences(DM& dm, DM2& dm2, const QString& branch, const ActRow& g)
{
    const RecordKind kind = kindOfSection(g.section);
    const ActSection* section = kind ? sectionOf(kind, g) : nullptr;
    if (!section)
        return {};
    Shape s = shapeOf(kind);
    QString where = s.branch.arg(quoted(branch));
    if (kind->monthly) {
        const int month = monthByName(g.name);
        where += QStringLiteral(" and O_MESIC=") + quoted(QString::number(month)) + QStringLiteral(" and O_GOD=")
            + quoted(g.name.section(QLatin1Char(' '), -1));
        return compare(dm, dm2, s, where);
    }
    if (section->from)
        s.from = QString::fromLatin1(section->from);
    s.date = QString::fromLatin1(section->dateColumn);
    where += QString::fromUtf8(section->beforeName);
    if (section->nameColumn)
        where += QStringLiteral(" and ") + QString::fromLatin1(section->nameColumn) + QStringLiteral("=")
            + quoted(g.name.chopped(int(QString::fromUtf8(section->suffix).size())));
    where += QString::fromUtf8(section->afterName) + QStringLiteral(" and ") + within(s.date, g.day)
        + QString::fromUtf8(section->afterDay);
    return compare(dm, dm2, s, where);
}

namespace {
// The records of one kind that belong to one day: balances by their month and year.
QString dayWhere(RecordKind kind, const Shape& s, const QDate& day)
{
    if (kind->monthly)
        return QStringLiteral("O_MESIC=") + quoted(QString::number(day.month())) + QStringLiteral(" and O_GOD=") + quoted(QString::number(day.year()));
    if (kind->alsoDated)
        return QStringLiteral("(") + within(s.date, day) + QStringLiteral(" or ") + within(QString::fromLatin1(kind->alsoDated), day)
            + QStringLiteral(")");
    return within(s.date, day);
}

// The record's key, matched column by column; an empty text form stands for a null as well
// as an empty value.
QString keyWhere(const Shape& s, const QStringList& values)
{
    QString sql;
    for (int i = 0; i < s.key.size(); ++i) {
        const QString v = values.value(i);
        sql += v.isEmpty() ? QStringLiteral(" and (%1 IS NULL or %1='')").arg(s.key[i])
                           : QStringLiteral(" and ") + s.key[i] + QStringLiteral("=") + quoted(v);
    }
    return sql;
}

// Where the branch holds a record of this key on another day, the record to mark "NEW" so
// that it goes again; empty for kinds whose key holds its date (lines, extensions) or month.
QString resendMark(RecordKind kind, const QStringList& key)
{
    return kind->resend ? QString::fromLatin1(kind->resend).arg(quoted(key.value(0))) : QString();
}
} // namespace

QVector<RecordDiff> dayDifferences(DM& dm, DM2& dm2, const QString& branch, RecordKind kind, const QDate& day)
{
    const Shape s = shapeOf(kind);
    return compare(dm, dm2, s, s.branch.arg(quoted(branch)) + QStringLiteral(" and ") + dayWhere(kind, s, day));
}

Resend heldElsewhere(DM& dm, const QString& branch, RecordKind kind, const QVector<RecordDiff>& diffs)
{
    const Shape s = shapeOf(kind);
    Resend out;
    Query q(dm.ADOC1);
    for (const RecordDiff& d : diffs) {
        if (d.side != RecordDiff::OnlyMain)
            continue;
        const QString mark = resendMark(kind, d.keyValues);
        if (mark.isEmpty())
            continue;
        q.setSql(QStringLiteral("SELECT ") + s.key.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") + s.from + QStringLiteral(" Where ")
                 + s.branch.arg(quoted(branch)) + keyWhere(s, d.keyValues));
        q.open();
        if (q.rowCount() == 0)
            continue;
        out.keys.insert(d.key);
        if (!out.marks.contains(mark))
            out.marks << mark;
    }
    return out;
}

int deleteMainOnly(DM2& dm2, const QString& branch, RecordKind kind, const QDate& day, const QVector<RecordDiff>& diffs,
                   const QSet<QString>& keep)
{
    const Shape s = shapeOf(kind);
    Connection& main = dm2.ADOC2;
    Query q(main);
    int deleted = 0;
    main.beginTransaction();
    try {
        for (const RecordDiff& d : diffs) {
            if (d.side != RecordDiff::OnlyMain || keep.contains(d.key))
                continue;
            // Inside the branch, the kind and the day of the main record, never by key alone.
            q.setSql(QStringLiteral("Delete FROM ") + s.mainTable + QStringLiteral(" Where ") + s.branch.arg(quoted(branch))
                     + QStringLiteral(" and ") + dayWhere(kind, s, day) + keyWhere(s, d.keyValues));
            q.exec();
            ++deleted;
        }
        main.commit();
    } catch (const DbError&) {
        main.rollback();
        throw;
    }
    return deleted;
}

} // namespace varid
