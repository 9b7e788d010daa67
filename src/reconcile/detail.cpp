#include "reconcile/detail.h"

#include "data/statement.h"

#include "data/values.h"

#include <QHash>
#include <QSet>

using namespace Qt::StringLiterals;

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

// A condition built piece by piece, each piece's marks %1, %2, ... standing for its own
// values; the pieces' values follow one another.
class Condition {
public:
    Condition& add(const QString& sql, const QVariantList& values = {})
    {
        Statement(sql, values).split([this](QStringView piece) { sql_ += piece; }, [this, &values](int i) {
            values_ << values[i];
            sql_ += QLatin1Char('%') + QString::number(values_.size());
        });
        return *this;
    }
    Condition& add(const Condition& other)
    {
        return add(other.sql_, other.values_);
    }
    // The statement `lead` followed by the condition.
    Statement after(const QString& lead) const { return Statement(lead + sql_, values_); }

private:
    QString sql_;
    QVariantList values_;
};

// The day's bounds, written with their times.
Condition within(const QString& column, const QDate& day)
{
    return Condition().add(column + u" Between %1 and %2"_s,
                           {QVariant::fromValue(Stamp{wallClock(day, QTime(0, 0))}),
                            QVariant::fromValue(Stamp{wallClock(day, QTime(23, 59, 59))})});
}

int monthByName(const QString& name)
{
    for (int m = 1; m <= 12; ++m)
        if (name.startsWith(monthName(m) + QLatin1Char(' ')))
            return m;
    return 0;
}

struct Record {
    QVariantList keyValues;
    QString number, date;
    double amount = 0;
};

QHash<QString, Record> read(Connection& c, const Statement& sql, const Shape& s)
{
    Query q(c);
    q.setSql(sql);
    q.open();
    QHash<QString, Record> out;
    for (q.first(); !q.eof(); q.next()) {
        Record r;
        QStringList key;
        for (const QString& k : s.key) {
            r.keyValues << q.value(k);
            key << q.text(k);
        }
        r.number = q.text(u"X_NUMBER"_s);
        if (q.hasColumn(u"X_DATE"_s)) {
            // The alias has no declared type: the embedded database gives the stored text.
            const QVariant v = q.value(u"X_DATE"_s);
            const auto stored = v.typeId() == QMetaType::QString ? parseStorageText(v.toString()) : std::nullopt;
            r.date = stored ? dateTimeText(*stored) : textForm(v);
        }
        r.amount = q.number(u"X_AMOUNT"_s);
        out.insert(key.join(u" / "_s), r);
    }
    return out;
}

// The same selection on both databases, merged by the record key.
QVector<RecordDiff> compare(DM& dm, DM2& dm2, const Shape& s, const Condition& where)
{
    QString lead = u"SELECT "_s + s.key.join(u", "_s) + u", "_s + s.number + u" as X_NUMBER, "_s;
    if (!s.date.isEmpty())
        lead += s.date + u" as X_DATE, "_s;
    lead += s.amount + u" as X_AMOUNT FROM "_s + s.from + u" Where "_s;
    const Statement sql = where.after(lead);
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
    case RecordDiff::OnlyBranch: return u"только в филиале"_s;
    case RecordDiff::OnlyMain: return u"только на ГлС"_s;
    default: return u"другая сумма"_s;
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
    Condition where;
    where.add(s.branch, {branch});
    if (kind->monthly) {
        const int month = monthByName(g.name);
        where.add(u" and O_MESIC=%1 and O_GOD=%2"_s, {QString::number(month), g.name.section(QLatin1Char(' '), -1)});
        return compare(dm, dm2, s, where);
    }
    if (section->from)
        s.from = QString::fromLatin1(section->from);
    s.date = QString::fromLatin1(section->dateColumn);
    where.add(QString::fromUtf8(section->beforeName));
    if (section->nameColumn)
        where.add(u" and "_s + QString::fromLatin1(section->nameColumn) + u"=%1"_s,
                  {g.name.chopped(int(QString::fromUtf8(section->suffix).size()))});
    where.add(QString::fromUtf8(section->afterName) + u" and "_s).add(within(s.date, g.day))
        .add(QString::fromUtf8(section->afterDay));
    return compare(dm, dm2, s, where);
}

namespace {
// The records of one kind that belong to one day: balances by their month and year.
Condition dayWhere(RecordKind kind, const Shape& s, const QDate& day)
{
    if (kind->monthly)
        return Condition().add(u"O_MESIC=%1 and O_GOD=%2"_s, {QString::number(day.month()), QString::number(day.year())});
    if (kind->alsoDated)
        return Condition().add(u"("_s).add(within(s.date, day)).add(u" or "_s)
            .add(within(QString::fromLatin1(kind->alsoDated), day)).add(u")"_s);
    return within(s.date, day);
}

// The record's key, matched column by column; an empty text form stands for a null as well
// as an empty value.
Condition keyWhere(const Shape& s, const QVariantList& values)
{
    Condition c;
    for (int i = 0; i < s.key.size(); ++i) {
        const QVariant v = values.value(i);
        if (textForm(v).isEmpty())
            c.add(u" and ("_s + s.key[i] + u" IS NULL or "_s + s.key[i] + u"='')"_s);
        else
            c.add(u" and "_s + s.key[i] + u"=%1"_s, {v});
    }
    return c;
}

// Where the branch holds a record of this key on another day, the record to mark "NEW" so
// that it goes again; empty for kinds whose key holds its date (lines, extensions) or month.
Statement resendMark(RecordKind kind, const QVariantList& key)
{
    return kind->resend ? Statement(QString::fromLatin1(kind->resend), {key.value(0)}) : Statement();
}
} // namespace

QVector<RecordDiff> dayDifferences(DM& dm, DM2& dm2, const QString& branch, RecordKind kind, const QDate& day)
{
    const Shape s = shapeOf(kind);
    return compare(dm, dm2, s, Condition().add(s.branch, {branch}).add(u" and "_s).add(dayWhere(kind, s, day)));
}

Resend heldElsewhere(DM& dm, const QString& branch, RecordKind kind, const QVector<RecordDiff>& diffs)
{
    const Shape s = shapeOf(kind);
    Resend out;
    Query q(dm.ADOC1);
    for (const RecordDiff& d : diffs) {
        if (d.side != RecordDiff::OnlyMain)
            continue;
        const Statement mark = resendMark(kind, d.keyValues);
        if (mark.isEmpty())
            continue;
        q.setSql(Condition().add(s.branch, {branch}).add(keyWhere(s, d.keyValues))
                     .after(u"SELECT "_s + s.key.join(u", "_s) + u" FROM "_s + s.from + u" Where "_s));
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
            q.setSql(Condition().add(s.branch, {branch}).add(u" and "_s).add(dayWhere(kind, s, day)).add(keyWhere(s, d.keyValues))
                         .after(u"Delete FROM "_s + s.mainTable + u" Where "_s));
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
