#include "reconcile/detail.h"

#include "data/values.h"

#include <QHash>
#include <QSet>

namespace varid {

namespace {

const KindInfo kKinds[] = {
    {RecordKind::Tickets, "BILET", Switch::Bilet, "Билеты"},
    {RecordKind::TicketLines, "BILET_LINE", Switch::Bilet, "Билеты строки"},
    {RecordKind::Extensions, "PRODLENIE", Switch::Prodlenie, "Продление"},
    {RecordKind::Sales, "REALIZ", Switch::Realiz, "Реализация"},
    {RecordKind::Reports, "AVANS", Switch::Avans, "Авансовые отчеты"},
    {RecordKind::ReportLines, "AVANS_LINE", Switch::Avans, "АО строки"},
    {RecordKind::Balances, "OSTATOK", Switch::Ostatok, "Остатки месяца"},
    {RecordKind::Ledger, "GL_BOOK", Switch::GL_Book, "Главная книга"},
};

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
    switch (k) {
    case RecordKind::Tickets:
        return {QStringLiteral("BILET"), {QStringLiteral("B_NID")}, QStringLiteral("B_NOMER"), QStringLiteral("B_DATA"),
                QStringLiteral("B_SUMMA"), QStringLiteral("B_KTO=%1"), QStringLiteral("BILET")};
    case RecordKind::TicketLines:
        return {QStringLiteral("BILET_LINE"), {QStringLiteral("BL_B_NID"), QStringLiteral("BL_DATA"), QStringLiteral("BL_NOMER")},
                QStringLiteral("BL_NOMER"), QStringLiteral("BL_DATA"), QStringLiteral("BL_SUMMA"),
                QStringLiteral("BL_B_NID in (Select B_NID FROM BILET Where B_KTO=%1)"), QStringLiteral("BILET_LINE")};
    case RecordKind::Extensions:
        return {QStringLiteral("PRODLENIE"), {QStringLiteral("PRO_DATA"), QStringLiteral("PRO_B_NID"), QStringLiteral("PRO_KTO")},
                QStringLiteral("PRO_B_NID"), QStringLiteral("PRO_DATA"), QStringLiteral("PRO_SUMMA"), QStringLiteral("PRO_KTO=%1"),
                QStringLiteral("PRODLENIE")};
    case RecordKind::Sales:
        return {QStringLiteral("REALIZ"), {QStringLiteral("REA_KEY")}, QStringLiteral("REA_NOMER"), QStringLiteral("REA_DATA"),
                QStringLiteral("REA_SSUDA"), QStringLiteral("REA_KTO=%1"), QStringLiteral("REALIZ")};
    case RecordKind::Reports:
        return {QStringLiteral("AVANS"), {QStringLiteral("AV_NID")}, QStringLiteral("AV_NOMER"), QStringLiteral("AV_DATA"),
                QStringLiteral("AV_SUM1+AV_SUM2+AV_SUM3"), QStringLiteral("AV_KTO=%1"), QStringLiteral("AVANS")};
    case RecordKind::ReportLines:
        return {QStringLiteral("AVANS_LINE"), {QStringLiteral("AVL_AV_NID"), QStringLiteral("AVL_NOMER")}, QStringLiteral("AVL_NOMER"),
                QStringLiteral("AVL_DATA"), QStringLiteral("AVL_SUMMA"),
                QStringLiteral("AVL_AV_NID in (Select AV_NID FROM AVANS Where AV_KTO=%1)"), QStringLiteral("AVANS_LINE")};
    case RecordKind::Balances:
        return {QStringLiteral("OSTATOK"), {QStringLiteral("O_SCHET"), QStringLiteral("O_KASSA")}, QStringLiteral("O_SCHET"), QString(),
                QStringLiteral("O_DEBET+O_KREDIT"), QStringLiteral("O_KTO=%1"), QStringLiteral("OSTATOK")};
    case RecordKind::Ledger:
    default:
        return {QStringLiteral("GL_BOOK"), {QStringLiteral("G_NID")}, QStringLiteral("G_NOMER"), QStringLiteral("G_DATA"),
                QStringLiteral("G_SUMMA"), QStringLiteral("G_KTO=%1"), QStringLiteral("GL_BOOK")};
    }
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

const KindInfo& kindInfo(RecordKind k) { return kKinds[int(k)]; }

RecordKind kindByTable(const QString& table)
{
    for (const KindInfo& k : kKinds)
        if (table.compare(QLatin1String(k.table), Qt::CaseInsensitive) == 0)
            return k.kind;
    return RecordKind::Count;
}

RecordKind kindOfSection(int section)
{
    switch (section) {
    case 1: return RecordKind::Tickets;
    case 2: return RecordKind::TicketLines;
    case 3: return RecordKind::Extensions;
    case 7: return RecordKind::Sales;
    case 8: return RecordKind::Reports;
    case 9: return RecordKind::ReportLines;
    case 10: return RecordKind::Balances;
    case 11: return RecordKind::Ledger;
    default: return RecordKind::Count;
    }
}

QString sideText(RecordDiff::Side side)
{
    switch (side) {
    case RecordDiff::OnlyBranch: return QStringLiteral("только в филиале");
    case RecordDiff::OnlyMain: return QStringLiteral("только на ГлС");
    default: return QStringLiteral("другая сумма");
    }
}

QVector<RecordDiff> groupDifferences(DM& dm, DM2& dm2, const QString& branch, const ActRow& g)
{
    const RecordKind kind = kindOfSection(g.section);
    if (kind == RecordKind::Count)
        return {};
    Shape s = shapeOf(kind);
    QString where = s.branch.arg(quoted(branch));
    switch (kind) {
    case RecordKind::Tickets:
        where += QStringLiteral(" and B_STATYS=") + quoted(g.name) + QStringLiteral(" and ") + within(s.date, g.day);
        break;
    case RecordKind::Reports:
        where += QStringLiteral(" and AV_STATYS=") + quoted(g.name) + QStringLiteral(" and ") + within(s.date, g.day);
        break;
    case RecordKind::Sales: {
        const bool sold = g.name.endsWith(QStringLiteral(" продано"));
        const QString type = g.name.left(g.name.lastIndexOf(QLatin1Char(' ')));
        if (sold)
            s.date = QStringLiteral("REA_DATA_REAL");
        where += QStringLiteral(" and REA_TIP=") + quoted(type) + QStringLiteral(" and ") + within(s.date, g.day);
        if (!sold)
            where += QStringLiteral(" and REA_DATA_REAL IS NULL");
        break;
    }
    case RecordKind::Balances: {
        const int month = monthByName(g.name);
        where += QStringLiteral(" and O_MESIC=") + quoted(QString::number(month)) + QStringLiteral(" and O_GOD=")
            + quoted(g.name.section(QLatin1Char(' '), -1));
        break;
    }
    case RecordKind::Ledger:
        s.from = QStringLiteral("GL_BOOK, CHANGE");
        where += QStringLiteral(" and G_OTKYDA=C_KOD and C_NAME=") + quoted(g.name) + QStringLiteral(" and G_STATYS=")
            + quoted(g.title.endsWith(QStringLiteral("удален")) ? QStringLiteral("0") : QStringLiteral("1")) + QStringLiteral(" and ")
            + within(s.date, g.day);
        break;
    default:
        where += QStringLiteral(" and ") + within(s.date, g.day);
        break;
    }
    return compare(dm, dm2, s, where);
}

namespace {
// The records of one kind that belong to one day: balances by their month and year.
QString dayWhere(RecordKind kind, const Shape& s, const QDate& day)
{
    if (kind == RecordKind::Balances)
        return QStringLiteral("O_MESIC=") + quoted(QString::number(day.month())) + QStringLiteral(" and O_GOD=") + quoted(QString::number(day.year()));
    if (kind == RecordKind::Sales)
        return QStringLiteral("(") + within(QStringLiteral("REA_DATA"), day) + QStringLiteral(" or ") + within(QStringLiteral("REA_DATA_REAL"), day)
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
    const QString k = quoted(key.value(0));
    switch (kind) {
    case RecordKind::Tickets: return QStringLiteral("UpDate BILET Set B_NEW_OLD='NEW' Where B_NID=") + k;
    case RecordKind::Sales: return QStringLiteral("UpDate REALIZ Set REA_NEW_OLD='NEW' Where REA_KEY=") + k;
    case RecordKind::Reports: return QStringLiteral("UpDate AVANS Set AV_NEW_OLD='NEW' Where AV_NID=") + k;
    case RecordKind::ReportLines: return QStringLiteral("UpDate AVANS Set AV_NEW_OLD='NEW' Where AV_NID=") + k;
    case RecordKind::Ledger: return QStringLiteral("UpDate GL_BOOK Set G_NEW_OLD='NEW' Where G_NID=") + k;
    default: return {};
    }
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
