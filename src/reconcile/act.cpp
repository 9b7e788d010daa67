#include "reconcile/act.h"

#include "data/catalogue.h"
#include "data/values.h"

#include <QHash>

namespace varid {

Act::Act(DM& dm, DM2& dm2, RunState& progress) : dm_(dm), dm2_(dm2), progress_(progress) {}

namespace {

void open(Query& q, const Statement& sql)
{
    q.setSql(sql);
    q.open();
}

// Both sides' groups by the section's key, in text form: one lookup per local group instead
// of a scan of the main set.
QHash<QString, int> index(Query& q, const QStringList& key)
{
    QHash<QString, int> out;
    int row = 0;
    for (q.first(); !q.eof(); q.next(), ++row) {
        QString k;
        for (const QString& c : key)
            k += q.text(c) + QChar(0x1f);
        out.insert(k, row);
    }
    return out;
}

QString keyOf(const RowSet& r, const QStringList& key)
{
    QString k;
    for (const QString& c : key)
        k += r.text(c) + QChar(0x1f);
    return k;
}

void moveTo(Query& q, int row)
{
    q.first();
    for (int i = 0; i < row; ++i)
        q.next();
}

} // namespace

void Act::clear()
{
    Connection& local = dm_.ADOC1;
    try {
        local.beginTransaction();
        dm_.DelXXX.set(QStringLiteral("@User_NID"), act::owner);
        dm_.DelXXX.execute();
        local.commit();
    } catch (const DbError&) {
        if (local.inTransaction())
            local.rollback(); // and the act goes on; the earlier rows stay beside the new ones
    }
}

void Act::post(const ActRow& r)
{
    TableCursor& x = dm_.T_XXX;
    x.insert();
    x.set(QStringLiteral("X_USER"), r.owner);
    x.set(QStringLiteral("X_PRIME"), r.title);
    x.set(QStringLiteral("X_KOL"), r.section);
    x.set(QStringLiteral("X_DATA1"), shortDate(r.day));
    if (r.named)
        x.set(QStringLiteral("X_NAME"), r.name);
    x.set(QStringLiteral("X_OS_DT"), r.localCount);
    x.set(QStringLiteral("X_OS_KT"), r.localSum);
    x.set(QStringLiteral("X_END_DT"), r.mainCount);
    x.set(QStringLiteral("X_END_KT"), r.mainSum);
    x.set(QStringLiteral("X_INID"), r.verdict);
    x.post();
}

void Act::walk(const ActSection& s, Query& local, Query& main, int barOffset, int barMax)
{
    // Two sections share a bar (the ledger in force and deleted, the sales in stock and sold):
    // its maximum is the sum of both, set once before the first; the second passes -1.
    if (barMax >= 0)
        progress_.setBarMax(s.bar, barMax);
    QStringList key{QString::fromLatin1(s.dateColumn)};
    if (s.nameColumn)
        key << QString::fromLatin1(s.nameColumn);
    const QHash<QString, int> groups = index(main, key);
    for (local.first(); !local.eof(); local.next()) {
        progress_.setBarPos(s.bar, barOffset + local.recNo());
        ActRow r;
        r.owner = act::owner;
        r.title = QString::fromUtf8(s.title);
        r.section = s.number;
        r.day = local.value(QString::fromLatin1(s.dateColumn)).toDate();
        if (s.nameColumn) {
            r.name = local.text(QString::fromLatin1(s.nameColumn)) + QString::fromUtf8(s.suffix);
            r.named = true;
        }
        r.localCount = local.number(QString::fromLatin1(s.countColumn));
        r.localSum = local.number(QString::fromLatin1(s.sumColumn));
        const auto found = groups.constFind(keyOf(local, key));
        if (found != groups.constEnd()) {
            moveTo(main, *found);
            r.mainCount = main.number(QString::fromLatin1(s.countColumn));
            r.mainSum = main.number(QString::fromLatin1(s.sumColumn));
        }
        // Only the sums decide here, at the four places of the money columns.
        r.verdict = sameAmount(r.localSum, r.mainSum) ? act::ok : act::failed;
        post(r);
    }
}

void Act::balances(const ActSection& s, Query& local, Query& main, int dayOffset, int firstMonth, const QString& year)
{
    progress_.setBarMax(s.bar, local.rowCount());
    const QStringList key{QStringLiteral("O_MESIC"), QStringLiteral("O_GOD")};
    const QHash<QString, int> groups = index(main, key);
    auto sum = [](const RowSet& r) { return r.number(QStringLiteral("O_SUMMA")) + r.number(QStringLiteral("O_SUMMA1")); };
    for (local.first(); !local.eof(); local.next()) {
        const int n = local.recNo();
        progress_.setBarPos(s.bar, n);
        ActRow r;
        r.owner = act::owner;
        r.title = QString::fromUtf8(s.title);
        r.section = s.number;
        r.day = request_.from.addDays(dayOffset + n); // keeps the months in order
        // Named by position: consecutive months from the first. A set with more rows than
        // months remain in its year takes the row's own month instead of reading past December.
        const int month = firstMonth + n - 1;
        r.named = true;
        r.name = (month <= 12 ? monthName(month) : monthName(int(local.integer(QStringLiteral("O_MESIC"))))) + QLatin1Char(' ') + year;
        r.localCount = double(local.integer(QStringLiteral("O_NID_Kol")));
        r.localSum = sum(local);
        const auto found = groups.constFind(keyOf(local, key));
        if (found != groups.constEnd()) {
            moveTo(main, *found);
            r.mainCount = double(main.integer(QStringLiteral("O_NID_Kol")));
            r.mainSum = sum(main);
        }
        r.verdict = sameAmount(r.localSum, r.mainSum) && r.localCount == r.mainCount ? act::ok : act::failed;
        post(r);
    }
}

void Act::build(const ActRequest& request)
{
    request_ = request;
    const Period period{request.from, request.to};
    // %K the branch, %P the period's days: the values %1, %2 and %3.
    const QVariantList values{request.branch, period.start(), period.end()};
    auto text = [&](const char* sql) {
        return Statement(QString::fromUtf8(sql).replace(QStringLiteral("%P"), QStringLiteral(" Between%2 and %3 "))
                             .replace(QStringLiteral("%K"), QStringLiteral("%1")), values);
    };

    clear();
    dm_.T_XXX.close();
    dm_.T_XXX.open();

    // Every kind's sections in the catalogue's order; two sections of one bar are opened
    // together, so that the bar's maximum is the sum of both.
    for (RecordKind kind : recordKinds()) {
        if (kind->monthly) {
            monthly(kind->sections[0], period, request.branch);
            continue;
        }
        const int count = kind->sectionCount();
        for (int i = 0; i < count; ++i) {
            const ActSection& first = kind->sections[size_t(i)];
            const bool paired = i + 1 < count && kind->sections[size_t(i + 1)].bar == first.bar;
            Query l1(dm_.ADOC1), m1(dm2_.ADOC2), l2(dm_.ADOC1), m2(dm2_.ADOC2);
            auto openSection = [&](const ActSection& s, Query& l, Query& m) {
                open(l, text(s.sql));
                open(m, text(s.mainSql ? s.mainSql : s.sql));
            };
            openSection(first, l1, m1);
            if (!paired) {
                walk(first, l1, m1, 0, l1.rowCount());
                continue;
            }
            const ActSection& second = kind->sections[size_t(++i)];
            openSection(second, l2, m2);
            walk(first, l1, m1, 0, l1.rowCount() + l2.rowCount());
            walk(second, l2, m2, l1.rowCount(), -1);
        }
    }
}

void Act::monthly(const ActSection& section, const Period& period, const QString& branch)
{
    const QString startMonth = period.startMonth(), startYear = period.startYear();
    const QString endMonth = period.endMonth(), endYear = period.endYear();
    Query l1(dm_.ADOC1), m1(dm2_.ADOC2), l2(dm_.ADOC1), m2(dm2_.ADOC2);
    // %1 the branch; %2 and %3 the start's month and year, %4 and %5 the end's.
    const QVariantList values{branch, startMonth, startYear, endMonth, endYear};
    auto both = [&values](Query& l, Query& m, const QString& local, const QString& main) {
        open(l, Statement(local, values));
        open(m, Statement(main, values));
    };
    const QString balance = QStringLiteral("Select O_MESIC, O_GOD, Count(O_NID)as O_NID_Kol, Sum(O_DEBET) as O_SUMMA, Sum(O_KREDIT) as O_SUMMA1 From OSTATOK Where ");
    const QString balanceTail = QStringLiteral("and O_KTO=%1 GROUP By O_MESIC, O_GOD  Order By O_MESIC, O_GOD ");
    const bool oneYear = startYear == endYear;
    if (oneYear) {
        const QString sql = balance + QStringLiteral("O_MESIC BETWEEN %2 and %4 and O_GOD=%3 ") + balanceTail;
        both(l1, m1, sql, sql);
    } else {
        both(l1, m1,
             balance + QStringLiteral("O_MESIC>=%2  and O_GOD=%3 ") + balanceTail,
             balance + QStringLiteral("O_MESIC>=%2 and O_GOD=%3 ") + balanceTail);
        const QString sql = balance + QStringLiteral("O_MESIC<=%4 and O_GOD=%5 ") + balanceTail;
        both(l2, m2, sql, sql);
    }
    balances(section, l1, m1, 0, startMonth.toInt(), startYear);
    if (!oneYear)
        balances(section, l2, m2, l1.rowCount(), 1, endYear);
}

ReportHeader Act::header(DM& dm, const ActRequest& request, const QDateTime& now)
{
    ReportHeader h{QString(), QString(), request.branch, request.from, request.to, now};
    Query q(dm.ADOC1);
    open(q, Statement(QStringLiteral("SELECT * FROM KTO Where KTO_KOD=%1 "), {request.branch}));
    h.branch = q.text(QStringLiteral("KTO_NAME"));
    open(q, QStringLiteral("SELECT * FROM FIRM Where F_NOMER=1 "));
    if (q.hasColumn(QStringLiteral("F_NAME")))
        h.firm = q.text(QStringLiteral("F_NAME"));
    return h;
}

QVector<ActRow> Act::printSet(DM& dm)
{
    Query q(dm.ADOC1);
    open(q, act::printSet);
    QVector<ActRow> out;
    for (q.first(); !q.eof(); q.next()) {
        ActRow r;
        r.owner = q.text(QStringLiteral("X_USER"));
        r.title = q.text(QStringLiteral("X_PRIME"));
        r.section = int(q.integer(QStringLiteral("X_KOL")));
        r.day = q.value(QStringLiteral("X_DATA1")).toDate();
        r.name = q.text(QStringLiteral("X_NAME"));
        r.localCount = q.number(QStringLiteral("X_OS_DT"));
        r.localSum = q.number(QStringLiteral("X_OS_KT"));
        r.mainCount = q.number(QStringLiteral("X_END_DT"));
        r.mainSum = q.number(QStringLiteral("X_END_KT"));
        r.verdict = q.text(QStringLiteral("X_INID"));
        out << r;
    }
    return out;
}

} // namespace varid
