#include "reconcile/act.h"

#include "data/values.h"

#include <QHash>

namespace varid {

struct Act::Section {
    int number;
    const char* title;
    const char* dateColumn;
    const char* nameColumn; // null: not written
    const char* suffix;
    const char* countColumn;
    const char* sumColumn;
    QStringList key;        // the main group has the same values in these columns
    Bar bar;
};

Act::Act(DM& dm, DM2& dm2, RunState& progress) : dm_(dm), dm2_(dm2), progress_(progress) {}

namespace {

void open(Query& q, const QString& sql)
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

void Act::walk(const Section& s, Query& local, Query& main, int barOffset, int barMax)
{
    // Two sections share a bar (the ledger in force and deleted, the sales in stock and sold):
    // its maximum is the sum of both, set once before the first; the second passes -1.
    if (barMax >= 0)
        progress_.setBarMax(s.bar, barMax);
    const QHash<QString, int> groups = index(main, s.key);
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
        const auto found = groups.constFind(keyOf(local, s.key));
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

void Act::balances(Query& local, Query& main, int dayOffset, int firstMonth, const QString& year)
{
    progress_.setBarMax(Bar::Ostatok, local.rowCount());
    const QStringList key{QStringLiteral("O_MESIC"), QStringLiteral("O_GOD")};
    const QHash<QString, int> groups = index(main, key);
    auto sum = [](const RowSet& r) { return r.number(QStringLiteral("O_SUMMA")) + r.number(QStringLiteral("O_SUMMA1")); };
    for (local.first(); !local.eof(); local.next()) {
        const int n = local.recNo();
        progress_.setBarPos(Bar::Ostatok, n);
        ActRow r;
        r.owner = act::owner;
        r.title = QStringLiteral("Остатки месяца");
        r.section = 10;
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
    const QString s = shortDate(request.from);
    const QString e = shortDate(request.to);
    const QString startMonth = s.mid(3, 2), startYear = s.mid(6, 4);
    const QString endMonth = e.mid(3, 2), endYear = e.mid(6, 4);
    const QString kto = quoted(request.branch);
    const QString between = QStringLiteral(" Between") + quoted(s) + QStringLiteral(" and ") + quoted(e) + QStringLiteral(" ");
    auto both = [](Query& l, Query& m, const QString& local, const QString& main) {
        open(l, local);
        open(m, main);
    };
    auto same = [&](Query& l, Query& m, const QString& sql) { both(l, m, sql, sql); };

    // The first group queries.
    same(dm_.Q1, dm2_.Q1, QStringLiteral("Select B_DATA, B_STATYS, Count(B_STATYS)as B_STATYS_Kol, Sum(B_SUMMA) as B_SUMMA From BILET Where B_DATA")
             + between + QStringLiteral("and B_KTO=") + kto + QStringLiteral(" ") + QStringLiteral("GROUP By B_STATYS, B_DATA Order By B_STATYS, B_DATA "));
    same(dm_.Q2, dm2_.Q2, QStringLiteral("Select BL_DATA, Count(BL_NID)as BL_NID_Kol, Sum(BL_SUMMA) as BL_SUMMA From BILET_LINE Where BL_DATA")
             + between + QStringLiteral("and BL_B_NID in (Select B_NID FROM BILET Where B_DATA") + between + QStringLiteral("and B_KTO=") + kto
             + QStringLiteral(") ") + QStringLiteral("GROUP By BL_DATA  Order By BL_DATA "));
    same(dm_.Q3, dm2_.Q3, QStringLiteral("Select PRO_DATA, Count(PRO_NID)as PRO_NID_Kol, Sum(PRO_SUMMA) as PRO_SUMMA From PRODLENIE Where PRO_DATA")
             + between + QStringLiteral("and PRO_KTO=") + kto + QStringLiteral(" ") + QStringLiteral("GROUP By PRO_DATA Order By PRO_DATA "));
    auto ledger = [&](const char* status) {
        return QStringLiteral("Select G_DATA, C_NAME, Count(G_NID)as G_NID_Kol, Sum(G_SUMMA) as G_SUMMA From GL_BOOK, CHANGE Where G_OTKYDA=C_KOD and G_DATA")
            + between + QStringLiteral("and G_KTO=") + kto + QStringLiteral(" and G_STATYS=") + quoted(QString::fromLatin1(status))
            + QStringLiteral(" ") + QStringLiteral("GROUP By C_NAME, G_DATA  Order By C_NAME, G_DATA ");
    };
    same(dm_.Q6, dm2_.Q6, ledger("1"));
    same(dm_.Q7, dm2_.Q7, ledger("0"));

    clear();
    dm_.T_XXX.close();
    dm_.T_XXX.open();

    const QStringList ledgerKey{QStringLiteral("G_DATA"), QStringLiteral("C_NAME")};
    const Section tickets{1, "Билеты", "B_DATA", "B_STATYS", "", "B_STATYS_Kol", "B_SUMMA", {QStringLiteral("B_DATA"), QStringLiteral("B_STATYS")}, Bar::Bilet};
    const Section lines{2, "Билеты строки", "BL_DATA", nullptr, "", "BL_NID_Kol", "BL_SUMMA", {QStringLiteral("BL_DATA")}, Bar::BLine};
    const Section extensions{3, "Продление", "PRO_DATA", nullptr, "", "PRO_NID_Kol", "PRO_SUMMA", {QStringLiteral("PRO_DATA")}, Bar::Prodlen};
    const Section inForce{11, "Главная книга в работе", "G_DATA", "C_NAME", "", "G_NID_Kol", "G_SUMMA", ledgerKey, Bar::GL_Book};
    const Section deleted{11, "Главная книга удален", "G_DATA", "C_NAME", "", "G_NID_Kol", "G_SUMMA", ledgerKey, Bar::GL_Book};
    walk(tickets, dm_.Q1, dm2_.Q1, 0, dm_.Q1.rowCount());
    walk(lines, dm_.Q2, dm2_.Q2, 0, dm_.Q2.rowCount());
    walk(extensions, dm_.Q3, dm2_.Q3, 0, dm_.Q3.rowCount());
    walk(inForce, dm_.Q6, dm2_.Q6, 0, dm_.Q6.rowCount() + dm_.Q7.rowCount());
    walk(deleted, dm_.Q7, dm2_.Q7, dm_.Q6.rowCount(), -1);

    // The second group queries.
    same(dm_.Q1, dm2_.Q1, QStringLiteral("Select AV_DATA, AV_STATYS, Count(AV_STATYS)as AV_STATYS_Kol, Sum(AV_SUM1+AV_SUM2+AV_SUM3) as AV_SUMMA From AVANS Where AV_DATA")
             + between + QStringLiteral("and AV_KTO=") + kto + QStringLiteral(" ") + QStringLiteral("GROUP By AV_STATYS, AV_DATA Order By AV_STATYS, AV_DATA "));
    same(dm_.Q2, dm2_.Q2, QStringLiteral("Select AVL_DATA, Count(AVL_NID)as AVL_NID_Kol, Sum(AVL_SUMMA) as AVL_SUMMA From AVANS_LINE Where AVL_DATA")
             + between + QStringLiteral("and AVL_AV_NID in (Select AV_NID FROM AVANS Where AV_DATA") + between + QStringLiteral("and AV_KTO=") + kto
             + QStringLiteral(") ") + QStringLiteral("GROUP By AVL_DATA  Order By AVL_DATA "));
    const QString stock = QStringLiteral("Select REA_DATA, REA_TIP, Count(REA_NID)as REA_NID_Kol, Sum(REA_SSUDA) as REA_SSUDA From REALIZ Where REA_DATA")
        + between.chopped(1) + QStringLiteral(" and REA_DATA_REAL IS NULL ") + QStringLiteral("and REA_KTO=") + kto + QStringLiteral(" ");
    both(dm_.Q3, dm2_.Q3, stock + QStringLiteral("GROUP By REA_DATA, REA_TIP Order By REA_DATA, REA_TIP "),
         stock + QStringLiteral("GROUP By REA_DATA, REA_TIP  Order By REA_DATA, REA_TIP "));
    const QString sold = QStringLiteral("Select REA_DATA_REAL, REA_TIP, Count(REA_NID)as REA_NID_Kol, Sum(REA_SSUDA) as REA_SSUDA From REALIZ Where REA_DATA_REAL")
        + between + QStringLiteral("and REA_KTO=") + kto + QStringLiteral(" ");
    both(dm_.Q4, dm2_.Q4, sold + QStringLiteral("GROUP By REA_DATA_REAL, REA_TIP Order By REA_DATA_REAL, REA_TIP "),
         sold + QStringLiteral("GROUP By REA_DATA_REAL, REA_TIP  Order By REA_DATA_REAL, REA_TIP"));
    const QString balance = QStringLiteral("Select O_MESIC, O_GOD, Count(O_NID)as O_NID_Kol, Sum(O_DEBET) as O_SUMMA, Sum(O_KREDIT) as O_SUMMA1 From OSTATOK Where ");
    const QString balanceTail = QStringLiteral("and O_KTO=") + kto + QStringLiteral(" ") + QStringLiteral("GROUP By O_MESIC, O_GOD  Order By O_MESIC, O_GOD ");
    const bool oneYear = startYear == endYear;
    if (oneYear) {
        same(dm_.Q5, dm2_.Q5, balance + QStringLiteral("O_MESIC BETWEEN ") + quoted(startMonth) + QStringLiteral(" and ") + quoted(endMonth)
                 + QStringLiteral(" and O_GOD=") + quoted(startYear) + QStringLiteral(" ") + balanceTail);
    } else {
        both(dm_.Q5, dm2_.Q5,
             balance + QStringLiteral("O_MESIC>=") + quoted(startMonth) + QStringLiteral("  and O_GOD=") + quoted(startYear) + QStringLiteral(" ") + balanceTail,
             balance + QStringLiteral("O_MESIC>=") + quoted(startMonth) + QStringLiteral(" and O_GOD=") + quoted(startYear) + QStringLiteral(" ") + balanceTail);
        same(dm_.Q6, dm2_.Q6, balance + QStringLiteral("O_MESIC<=") + quoted(endMonth) + QStringLiteral(" and O_GOD=") + quoted(endYear)
                 + QStringLiteral(" ") + balanceTail);
    }

    const Section reports{8, "Авансовые отчеты", "AV_DATA", "AV_STATYS", "", "AV_STATYS_Kol", "AV_SUMMA", {QStringLiteral("AV_DATA"), QStringLiteral("AV_STATYS")}, Bar::Avans};
    const Section reportLines{9, "АО строки", "AVL_DATA", nullptr, "", "AVL_NID_Kol", "AVL_SUMMA", {QStringLiteral("AVL_DATA")}, Bar::AV_Line};
    const Section inStock{7, "Реализация", "REA_DATA", "REA_TIP", " в наличии", "REA_NID_Kol", "REA_SSUDA", {QStringLiteral("REA_DATA"), QStringLiteral("REA_TIP")}, Bar::Real};
    const Section soldOut{7, "Реализация", "REA_DATA_REAL", "REA_TIP", " продано", "REA_NID_Kol", "REA_SSUDA", {QStringLiteral("REA_DATA_REAL"), QStringLiteral("REA_TIP")}, Bar::Real};
    walk(reports, dm_.Q1, dm2_.Q1, 0, dm_.Q1.rowCount());
    walk(reportLines, dm_.Q2, dm2_.Q2, 0, dm_.Q2.rowCount());
    walk(inStock, dm_.Q3, dm2_.Q3, 0, dm_.Q3.rowCount() + dm_.Q4.rowCount());
    walk(soldOut, dm_.Q4, dm2_.Q4, dm_.Q3.rowCount(), -1);
    balances(dm_.Q5, dm2_.Q5, 0, startMonth.toInt(), startYear);
    if (!oneYear)
        balances(dm_.Q6, dm2_.Q6, dm_.Q5.rowCount(), 1, endYear);
}

ReportHeader Act::header(DM& dm, const ActRequest& request, const QDateTime& now)
{
    ReportHeader h{QString(), QString(), request.branch, request.from, request.to, now};
    Query q(dm.ADOC1);
    open(q, QStringLiteral("SELECT * FROM KTO Where KTO_KOD=") + quoted(request.branch) + QStringLiteral(" "));
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
