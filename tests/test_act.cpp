// The reconciliation act: each section's grouping and main lookup, the verdicts, the
// balance rows' names, the clearing and the print set; the printed act through its layout.
#include "transfer_fixture.h"

#include "reconcile/act.h"
#include "reconcile/detail.h"
#include "reconcile/report.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QTextDocument>

using namespace varid;
using varid::testing::Branch;

namespace {

class ActTest : public Branch {
protected:
    // Builds the act as the button does, and returns the rows of this act.
    QVector<ActRow> build(const QDate& from, const QDate& to)
    {
        if (!st->connectSequence(Station::Variant::Test))
            ADD_FAILURE() << st->session().connectErrors.join(QLatin1Char(';')).toStdString();
        st->setPickers(from, to);
        st->B_AktClick();
        st->waitForRun();
        EXPECT_EQ(st->lastAct.end, RunEnd::Completed) << st->lastAct.error.toStdString();
        QVector<ActRow> mine;
        for (const ActRow& r : Act::printSet(st->dm()))
            if (r.owner == act::owner)
                mine << r;
        return mine;
    }
    static QString describe(const ActRow& r)
    {
        return QStringLiteral("%1|%2|%3|%4|%5/%6|%7/%8|%9")
            .arg(r.section).arg(r.title, shortDate(r.day), r.name).arg(r.localCount).arg(r.localSum).arg(r.mainCount).arg(r.mainSum)
            .arg(r.verdict);
    }
    QStringList described(const QDate& from, const QDate& to)
    {
        QStringList out;
        for (const ActRow& r : build(from, to))
            out << describe(r);
        return out;
    }
    void both(const QString& sql) { local(sql); main(sql); }
};

const QDate kFrom(2010, 3, 1), kTo(2010, 3, 5);

} // namespace

TEST_F(ActTest, EverySectionGroupsByDayAndFindsItsMainGroup)
{
    both(QStringLiteral(
        "INSERT INTO CHANGE (C_KOD, C_NAME) VALUES ('KASSA','Касса');"
        "INSERT INTO BILET (B_NID, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('b1','2010-03-02 00:00:00','открыт',100,'F1'),('b2','2010-03-02 00:00:00','открыт',50,'F1');"
        "INSERT INTO BILET_LINE (BL_NID, BL_DATA, BL_B_NID, BL_SUMMA) VALUES ('l1','2010-03-02 00:00:00','b1',100);"
        "INSERT INTO PRODLENIE (PRO_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES ('p1','2010-03-03 00:00:00',5,'F1');"
        "INSERT INTO GL_BOOK (G_NID, G_DATA, G_SUMMA, G_KTO, G_STATYS, G_OTKYDA) VALUES "
        "('g1','2010-03-02 00:00:00',10,'F1','1','KASSA'),('g2','2010-03-02 00:00:00',7,'F1','0','KASSA'),('g3','2010-03-02 00:00:00',99,'F1','1','NOWHERE');"
        "INSERT INTO AVANS (AV_NID, AV_DATA, AV_STATYS, AV_SUM1, AV_SUM2, AV_SUM3, AV_KTO) VALUES ('a1','2010-03-04 00:00:00','1',1,2,3,'F1');"
        "INSERT INTO AVANS_LINE (AVL_NID, AVL_DATA, AVL_AV_NID, AVL_SUMMA) VALUES ('al1','2010-03-04 00:00:00','a1',6);"
        "INSERT INTO REALIZ (REA_NID, REA_DATA, REA_DATA_REAL, REA_TIP, REA_SSUDA, REA_KTO) VALUES "
        "('r1','2010-03-01 00:00:00',NULL,'золото',20,'F1'),('r2','2010-02-01 00:00:00','2010-03-05 00:00:00','золото',30,'F1');"
        "INSERT INTO OSTATOK (O_NID, O_MESIC, O_GOD, O_DEBET, O_KREDIT, O_KTO) VALUES ('o1',3,2010,1.5,2.5,'F1');"));
    main(QStringLiteral("UPDATE BILET SET B_SUMMA=60 WHERE B_NID='b2';")); // the tickets of 2 March differ
    const QStringList rows = described(kFrom, kTo);
    EXPECT_EQ(rows, (QStringList{
        QStringLiteral("1|Билеты|02.03.2010|открыт|2/150|2/160|Oшибка"),
        QStringLiteral("2|Билеты строки|02.03.2010||1/100|1/100|OK"),
        QStringLiteral("3|Продление|03.03.2010||1/5|1/5|OK"),
        QStringLiteral("7|Реализация|01.03.2010|золото в наличии|1/20|1/20|OK"),
        QStringLiteral("7|Реализация|05.03.2010|золото продано|1/30|1/30|OK"),
        QStringLiteral("8|Авансовые отчеты|04.03.2010|1|1/6|1/6|OK"),
        QStringLiteral("9|АО строки|04.03.2010||1/6|1/6|OK"),
        QStringLiteral("10|Остатки месяца|02.03.2010|март 2010|1/4|1/4|OK"),
        QStringLiteral("11|Главная книга в работе|02.03.2010|Касса|1/10|1/10|OK"),
        QStringLiteral("11|Главная книга удален|02.03.2010|Касса|1/7|1/7|OK")}))
        << rows.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(act::failed.startsWith(QChar(0x4F)));
}

// Two sections share a bar (the ledger in force and deleted; the sales in stock and sold): its
// maximum is the sum of their groups, set once, also when the first has none.
TEST_F(ActTest, ASharedBarKeepsTheSumOfBothSectionsGroups)
{
    local(QStringLiteral("INSERT INTO CHANGE (C_KOD, C_NAME) VALUES ('K','Касса');"
                         "INSERT INTO GL_BOOK (G_NID, G_DATA, G_SUMMA, G_KTO, G_STATYS, G_OTKYDA) VALUES "
                         "('g1','2010-03-02 00:00:00',1,'F1','0','K'),('g2','2010-03-03 00:00:00',1,'F1','0','K');"
                         "INSERT INTO REALIZ (REA_NID, REA_DATA, REA_DATA_REAL, REA_TIP, REA_SSUDA, REA_KTO) VALUES "
                         "('s1','2010-02-01 00:00:00','2010-03-02 00:00:00','т',1,'F1'),('s2','2010-02-01 00:00:00','2010-03-03 00:00:00','т',1,'F1');"));
    main(QStringLiteral("INSERT INTO CHANGE (C_KOD, C_NAME) VALUES ('K','Касса');"));
    build(QDate(2010, 3, 1), QDate(2010, 3, 5));
    EXPECT_EQ(st->panel().bars[size_t(Bar::GL_Book)].max, 2);
    EXPECT_EQ(st->panel().bars[size_t(Bar::GL_Book)].pos, 2);
    EXPECT_EQ(st->panel().bars[size_t(Bar::Real)].max, 2);
}

// One day with two ticket statuses: one row per status, each with its own figures.
TEST_F(ActTest, ADayWithTwoTicketStatusesGivesARowPerStatus)
{
    const QString tickets = QStringLiteral("INSERT INTO BILET (B_NID, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES "
                                           "('a','2010-03-02 00:00:00','открыт',10,'F1'),('b','2010-03-02 00:00:00','открыт',20,'F1'),"
                                           "('c','2010-03-02 00:00:00','выкуплен',5,'F1');");
    local(tickets);
    main(tickets + QStringLiteral("UPDATE BILET SET B_SUMMA=6 WHERE B_NID='c';"));
    QStringList seen;
    for (const ActRow& r : build(kFrom, kTo))
        if (r.section == 1)
            seen << describe(r);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("1|Билеты|02.03.2010|выкуплен|1/5|1/6|Oшибка"),
                                 QStringLiteral("1|Билеты|02.03.2010|открыт|2/30|2/30|OK")}));
}

// Amounts that differ in the third or fourth decimal place differ in the act.
TEST_F(ActTest, AmountsDifferingInTheFourthPlaceDiffer)
{
    local(QStringLiteral("INSERT INTO PRODLENIE (PRO_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES "
                         "('p','2010-03-02 00:00:00',5.0001,'F1'),('q','2010-03-03 00:00:00',5.001,'F1'),('r','2010-03-04 00:00:00',5.5,'F1');"));
    main(QStringLiteral("INSERT INTO PRODLENIE (PRO_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES "
                        "('p','2010-03-02 00:00:00',5.0002,'F1'),('q','2010-03-03 00:00:00',5.002,'F1'),('r','2010-03-04 00:00:00',5.5,'F1');"));
    QStringList verdicts;
    for (const ActRow& r : build(kFrom, kTo))
        if (r.section == 3)
            verdicts << shortDate(r.day) + QLatin1Char(' ') + r.verdict;
    EXPECT_EQ(verdicts, (QStringList{QStringLiteral("02.03.2010 Oшибка"), QStringLiteral("03.03.2010 Oшибка"), QStringLiteral("04.03.2010 OK")}));
}

// The records behind a ticket-lines group: of a ticket with several lines, the one line that
// differs, and only it.
TEST_F(ActTest, TheRecordsBehindALinesGroupAreTheOneDifferingLine)
{
    const QString lines = QStringLiteral("INSERT INTO BILET (B_NID, B_DATA, B_KTO) VALUES ('t','2010-03-02 00:00:00','F1');"
                                         "INSERT INTO BILET_LINE (BL_NID, BL_B_NID, BL_NOMER, BL_DATA, BL_SUMMA) VALUES "
                                         "('l1','t',1,'2010-03-02 00:00:00',10),('l2','t',2,'2010-03-02 00:00:00',20),('l3','t',3,'2010-03-02 00:00:00',30);");
    local(lines);
    main(lines + QStringLiteral("UPDATE BILET_LINE SET BL_SUMMA=21 WHERE BL_NID='l2';"));
    const QVector<ActRow> rows = build(kFrom, kTo);
    const ActRow* group = nullptr;
    for (const ActRow& r : rows)
        if (r.section == 2 && r.verdict != act::ok)
            group = &r;
    ASSERT_NE(group, nullptr);
    const QVector<RecordDiff> diffs = groupDifferences(st->dm(), st->dm2(), QStringLiteral("F1"), *group);
    ASSERT_EQ(diffs.size(), 1);
    EXPECT_EQ(diffs[0].side, RecordDiff::Different);
    EXPECT_EQ(diffs[0].key, QStringLiteral("t / 02.03.2010 / 2"));
    EXPECT_EQ(diffs[0].localAmount, 20);
    EXPECT_EQ(diffs[0].mainAmount, 21);
}

// Every failing group of every section leads to the one record behind it: each kind's records
// differ in one amount on the main database, and each group's drill-down lists that record.
TEST_F(ActTest, EveryFailingGroupLeadsToItsRecord)
{
    both(QStringLiteral(
        "INSERT INTO CHANGE (C_KOD, C_NAME) VALUES ('KASSA','Касса');"
        "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('b1',1,'2010-03-02 00:00:00','открыт',100,'F1');"
        "INSERT INTO BILET_LINE (BL_NID, BL_NOMER, BL_DATA, BL_B_NID, BL_SUMMA) VALUES ('l1',1,'2010-03-02 00:00:00','b1',100);"
        "INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES ('p1','b1','2010-03-03 00:00:00',5,'F1');"
        "INSERT INTO GL_BOOK (G_NID, G_DATA, G_SUMMA, G_KTO, G_STATYS, G_OTKYDA) VALUES "
        "('g1','2010-03-02 00:00:00',10,'F1','1','KASSA'),('g2','2010-03-02 00:00:00',7,'F1','0','KASSA');"
        "INSERT INTO AVANS (AV_NID, AV_DATA, AV_STATYS, AV_SUM1, AV_SUM2, AV_SUM3, AV_KTO) VALUES ('a1','2010-03-04 00:00:00','1',1,2,3,'F1');"
        "INSERT INTO AVANS_LINE (AVL_NID, AVL_NOMER, AVL_DATA, AVL_AV_NID, AVL_SUMMA) VALUES ('al1',1,'2010-03-04 00:00:00','a1',6);"
        "INSERT INTO REALIZ (REA_NID, REA_KEY, REA_DATA, REA_DATA_REAL, REA_TIP, REA_SSUDA, REA_KTO) VALUES "
        "('r1','k1','2010-03-01 00:00:00',NULL,'золото',20,'F1'),('r2','k2','2010-02-01 00:00:00','2010-03-05 00:00:00','золото',30,'F1');"
        "INSERT INTO OSTATOK (O_NID, O_SCHET, O_KASSA, O_MESIC, O_GOD, O_DEBET, O_KREDIT, O_KTO) VALUES ('o1','1010','K',3,2010,1.5,2.5,'F1');"));
    main(QStringLiteral("UPDATE BILET SET B_SUMMA=101; UPDATE BILET_LINE SET BL_SUMMA=101; UPDATE PRODLENIE SET PRO_SUMMA=6;"
                        "UPDATE GL_BOOK SET G_SUMMA=G_SUMMA+1; UPDATE AVANS SET AV_SUM1=2; UPDATE AVANS_LINE SET AVL_SUMMA=7;"
                        "UPDATE REALIZ SET REA_SSUDA=REA_SSUDA+1; UPDATE OSTATOK SET O_DEBET=2;"));
    QStringList seen;
    for (const ActRow& r : build(kFrom, kTo)) {
        EXPECT_EQ(r.verdict, act::failed) << describe(r).toStdString();
        QStringList keys;
        for (const RecordDiff& d : groupDifferences(st->dm(), st->dm2(), QStringLiteral("F1"), r))
            keys << sideText(d.side) + QLatin1Char(' ') + d.key;
        seen << r.title + QLatin1Char(' ') + r.name + QStringLiteral(": ") + keys.join(QLatin1Char(','));
    }
    seen.sort();
    EXPECT_EQ(seen, (QStringList{
        QStringLiteral("АО строки : другая сумма a1 / 1"),
        QStringLiteral("Авансовые отчеты 1: другая сумма a1"),
        QStringLiteral("Билеты открыт: другая сумма b1"),
        QStringLiteral("Билеты строки : другая сумма b1 / 02.03.2010 / 1"),
        QStringLiteral("Главная книга в работе Касса: другая сумма g1"),
        QStringLiteral("Главная книга удален Касса: другая сумма g2"),
        QStringLiteral("Остатки месяца март 2010: другая сумма 1010 / K"),
        QStringLiteral("Продление : другая сумма 03.03.2010 / b1 / F1"),
        QStringLiteral("Реализация золото в наличии: другая сумма k1"),
        QStringLiteral("Реализация золото продано: другая сумма k2"),
    }));
}

TEST_F(ActTest, VerdictsOfMissingAndDifferentGroups)
{
    local(QStringLiteral(
        "INSERT INTO BILET (B_NID, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('z','2010-03-01 00:00:00','0',0,'F1'),('m','2010-03-02 00:00:00','открыт',5,'F1'),"
        "('c1','2010-03-03 00:00:00','открыт',10,'F1'),('c2','2010-03-03 00:00:00','открыт',0,'F1'),('f','2010-03-04 00:00:00','открыт',0.1,'F1'),('f2','2010-03-04 00:00:00','открыт',0.2,'F1');"
        "INSERT INTO OSTATOK (O_NID, O_MESIC, O_GOD, O_DEBET, O_KREDIT, O_KTO) VALUES ('o1',3,2010,1,1,'F1'),('o2',3,2010,0,0,'F1');"));
    main(QStringLiteral(
        "INSERT INTO BILET (B_NID, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('c1','2010-03-03 00:00:00','открыт',10,'F1'),('f','2010-03-04 00:00:00','открыт',0.3,'F1');"
        "INSERT INTO OSTATOK (O_NID, O_MESIC, O_GOD, O_DEBET, O_KREDIT, O_KTO) VALUES ('o1',3,2010,1,1,'F1');"
        "INSERT INTO BILET (B_NID, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('only','2010-03-05 00:00:00','открыт',1,'F1');"));
    EXPECT_EQ(described(kFrom, kTo), (QStringList{
        QStringLiteral("1|Билеты|01.03.2010|0|1/0|0/0|OK"),          // missing on main, sum 0
        QStringLiteral("1|Билеты|02.03.2010|открыт|1/5|0/0|Oшибка"), // missing on main
        QStringLiteral("1|Билеты|03.03.2010|открыт|2/10|1/10|OK"),   // same sum, other count
        QStringLiteral("1|Билеты|04.03.2010|открыт|2/0.3|1/0.3|OK"), // 0.1 + 0.2 against 0.3
        QStringLiteral("10|Остатки месяца|02.03.2010|март 2010|2/2|1/2|Oшибка")})); // balances count too
}

TEST_F(ActTest, BalanceRowsAreNamedByPositionAcrossYears)
{
    local(QStringLiteral("INSERT INTO OSTATOK (O_NID, O_MESIC, O_GOD, O_DEBET, O_KREDIT, O_KTO) VALUES "
                         "('d',12,2009,1,0,'F1'),('j',1,2010,1,0,'F1'),('f',2,2010,1,0,'F1'),('x',3,2010,1,0,'F1');"));
    QStringList names;
    for (const ActRow& r : build(QDate(2009, 12, 1), QDate(2010, 2, 28)))
        names << shortDate(r.day) + QLatin1Char(' ') + r.name;
    EXPECT_EQ(names, (QStringList{QStringLiteral("02.12.2009 декабрь 2009"), QStringLiteral("03.12.2009 январь 2010"),
                                  QStringLiteral("04.12.2009 февраль 2010")}));

    SetUp();
    local(QStringLiteral("INSERT INTO OSTATOK (O_NID, O_MESIC, O_GOD, O_DEBET, O_KREDIT, O_KTO) VALUES "
                         "('m',3,2010,1,0,'F1'),('y',5,2010,1,0,'F1');"));
    names.clear();
    for (const ActRow& r : build(QDate(2010, 3, 1), QDate(2010, 6, 30)))
        names << r.name;
    EXPECT_EQ(names, (QStringList{QStringLiteral("март 2010"), QStringLiteral("апрель 2010")})); // by position

    // More rows than months remain in the year: the row's own month, never past December.
    SetUp();
    local(QStringLiteral("INSERT INTO OSTATOK (O_NID, O_MESIC, O_GOD, O_DEBET, O_KREDIT, O_KTO) VALUES "
                         "('a',11,2009,1,0,'F1'),('b',12,2009,1,0,'F1'),('c',13,2009,1,0,'F1');"));
    names.clear();
    for (const ActRow& r : build(QDate(2009, 11, 1), QDate(2010, 1, 31)))
        names << r.name;
    ASSERT_EQ(names.size(), 3);
    EXPECT_EQ(names[2], QStringLiteral(" 2009")); // month 13 has no name; nothing is read past the table
}

TEST_F(ActTest, TheActReplacesItsOwnRowsAndPrintsOtherOwnersToo)
{
    local(QStringLiteral("INSERT INTO XXX (X_USER, X_PRIME, X_KOL, X_INID) VALUES ('CENTR1','старый',1,'OK'),('KASSIR','чужой',5,'OK');"
                         "INSERT INTO BILET (B_NID, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('b','2010-03-02 00:00:00','открыт',1,'F1');"));
    build(kFrom, kTo);
    const QVector<ActRow> all = Act::printSet(st->dm());
    QStringList titles;
    for (const ActRow& r : all)
        titles << r.owner + QLatin1Char(':') + r.title;
    EXPECT_EQ(titles, (QStringList{QStringLiteral("CENTR1:Билеты"), QStringLiteral("KASSIR:чужой")}));

    // A clearing that fails is passed over: the earlier rows stay beside the new ones.
    local(QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON XXX BEGIN SELECT RAISE(ABORT, 'no'); END;"));
    build(kFrom, kTo);
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM XXX WHERE X_USER='CENTR1'")).toInt(), 2);
}

TEST_F(ActTest, TheActResumesTheScheduleAfterFiveSecondsEvenWhenPrintingFails)
{
    local(QStringLiteral("INSERT INTO BILET (B_NID, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('b','2010-03-02 00:00:00','открыт',1,'F1');"));
    QStringList told;
    QObject::connect(st.get(), &Station::actBuilt, st.get(), [&](const RunOutcome&) {
        try {
            loadLayout(home()); // no Akt_Sverki.RAV in this home
        } catch (const DbError& e) {
            told << e.message();
        }
    });
    st->schedule().countdown = 42;
    build(kFrom, kTo);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QStringLiteral("Akt_Sverki.RAV"))) << told[0].toStdString();
    EXPECT_TRUE(st->schedule().T1->enabled());
    EXPECT_FALSE(st->schedule().T2->enabled());
    EXPECT_FALSE(st->schedule().T3->enabled());
    EXPECT_FALSE(st->schedule().T4->enabled());
    EXPECT_EQ(st->schedule().startThreshold, 5);
    EXPECT_EQ(st->schedule().startCount, 0);
    EXPECT_EQ(st->schedule().countdown, 42);
    host.advance(6000);
    EXPECT_TRUE(st->schedule().T2->enabled()); // the countdown handed over
}

TEST_F(ActTest, WithADatabaseDownTheButtonDoesNothing)
{
    st->schedule().T1->setEnabled(true);
    st->B_AktClick(); // never connected
    EXPECT_FALSE(st->running());
    EXPECT_TRUE(st->schedule().T1->enabled());
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM XXX")).toInt(), 0);
}

TEST_F(ActTest, ThePrintedActShowsItsSectionsAndVerdicts)
{
    local(QStringLiteral("INSERT INTO BILET (B_NID, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('b','2010-03-02 00:00:00','открыт',1,'F1');"
                         "INSERT INTO PRODLENIE (PRO_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES ('p','2010-03-03 00:00:00',5,'F1');"));
    main(QStringLiteral("INSERT INTO PRODLENIE (PRO_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES ('p','2010-03-03 00:00:00',5,'F1');"));
    const QVector<ActRow> rows = build(kFrom, kTo);
    const ReportHeader h = Act::header(st->dm(), ActRequest{kFrom, kTo, QStringLiteral("F1")}, host.now());
    EXPECT_EQ(h.branch, QStringLiteral("Филиал 1"));
    const QString html = renderAct(defaultLayout(), h, rows);
    EXPECT_THROW(renderAct(QStringLiteral("<html>no blocks</html>"), h, rows), DbError);

    const QString pdf = dir_.filePath(QStringLiteral("act.pdf"));
    saveAct(*actDocument(html), pdf);
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    ASSERT_FALSE(pdftotext.isEmpty()) << "scripts/setup installs poppler-utils";
    QProcess p;
    p.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (const char* expected : {"Акт сверки", "Филиал 1", "01.03.2010", "1. Билеты", "3. Продление", "Oшибка", "OK"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();

    for (const char* ext : {"html", "txt", "odt"}) {
        const QString file = dir_.filePath(QStringLiteral("act.") + QString::fromLatin1(ext));
        saveAct(*actDocument(html), file);
        EXPECT_GT(QFileInfo(file).size(), 100) << ext;
    }
    EXPECT_THROW(saveAct(*actDocument(html), dir_.filePath(QStringLiteral("act.doc"))), DbError);
}

// Amounts as a Russian document writes them: thousands apart by a blank.
TEST(ActFigures, ThousandsApartByABlank)
{
    const struct { double v; bool money; const char* text; } cases[] = {
        {0, true, "0.00"}, {999.5, true, "999.50"}, {1234.5, true, "1 234.50"}, {-1234567.891, true, "-1 234 567.89"},
        {100000, true, "100 000.00"}, {12345, false, "12 345"}, {12, false, "12"}, {-999, false, "-999"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(actFigure(c.v, c.money, QLatin1Char(' ')), QString::fromUtf8(c.text)) << c.v;
}

namespace {
// Many rows in three sections: an act that runs over several pages.
QVector<ActRow> longAct()
{
    QVector<ActRow> rows;
    const char* titles[] = {"Билеты", "Билеты строки", "Продление"};
    for (int s = 0; s < 3; ++s)
        for (int i = 0; i < 70; ++i) {
            ActRow r;
            r.owner = QStringLiteral("X");
            r.section = s + 1;
            r.title = QString::fromUtf8(titles[s]);
            r.day = QDate(2010, 1, 1).addDays(i);
            r.name = i % 2 ? QStringLiteral("открыт") : QString();
            r.localCount = i;
            r.localSum = 1234567.5 + i;
            r.mainCount = i;
            r.mainSum = i % 9 ? 1234567.5 + i : 0;
            r.verdict = i % 9 ? QStringLiteral("OK") : QStringLiteral("Oшибка");
            rows << r;
        }
    return rows;
}

QStringList pdfPages(const QString& pdf)
{
    QStringList pages;
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    EXPECT_FALSE(pdftotext.isEmpty()) << "scripts/setup installs poppler-utils";
    for (int page = 1;; ++page) {
        QProcess p;
        p.start(pdftotext, {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"), QString::number(page), pdf,
                            QStringLiteral("-")});
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            break;
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        if (text.trimmed().isEmpty())
            break;
        pages << text;
    }
    return pages;
}
} // namespace

// The printed act over several pages: a table that runs on repeats its heading and its column
// headings; a heading never stands alone at a page's foot; a figure never touches the verdict;
// amounts carry their thousands blanks. The text export is a table, one row a line.
TEST(PrintedAct, PagesRepeatTheirHeadingsAndCellsKeepApart)
{
    varid::testing::app();
    QTemporaryDir dir;
    const QVector<ActRow> rows = longAct();
    const ReportHeader h{QStringLiteral("ТОО"), QStringLiteral("Филиал 1"), QStringLiteral("F1"), QDate(2010, 1, 1), QDate(2010, 3, 31),
                         QDateTime(QDate(2010, 4, 1), QTime(9, 0))};
    const QString pdf = dir.filePath(QStringLiteral("act.pdf"));
    saveAct(*actDocument(renderAct(defaultLayout(), h, rows)), pdf);
    const QStringList pages = pdfPages(pdf);
    ASSERT_GE(pages.size(), 3);
    const QRegularExpression heading(QStringLiteral("^\\s*\\d+\\. (Билеты|Билеты строки|Продление)\\s*$"));
    for (int i = 0; i < pages.size(); ++i) {
        QStringList lines;
        for (const QString& l : pages[i].split(QLatin1Char('\n')))
            if (!l.trimmed().isEmpty())
                lines << l;
        // The last lines before the page number: a row, never a heading or column headings.
        ASSERT_GE(lines.size(), 3);
        const QString last = lines[lines.size() - 2];
        EXPECT_FALSE(heading.match(last).hasMatch()) << "page " << i + 1 << " ends with " << last.toStdString();
        EXPECT_FALSE(last.contains(QStringLiteral("День")) || last.contains(QStringLiteral("Кол-во"))) << "page " << i + 1;
        if (i > 0) {
            // A page that goes on with a section starts with its heading and column headings.
            EXPECT_TRUE(heading.match(lines[0]).hasMatch()) << "page " << i + 1 << " starts with " << lines[0].toStdString();
            EXPECT_TRUE(lines[1].contains(QStringLiteral("День"))) << lines[1].toStdString();
        }
    }
    const QString all = pages.join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("1 234 567.50"))) << "no thousands blanks";
    EXPECT_FALSE(all.contains(QStringLiteral("0.00Oшибка")));
    EXPECT_FALSE(all.contains(QStringLiteral(".50OK")));

    const QString txt = dir.filePath(QStringLiteral("act.txt"));
    saveAct(*actDocument(renderAct(defaultLayout(), h, rows)), txt, actText(h, rows));
    QFile f(txt);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList text = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    const int first = int(text.indexOf(QStringLiteral("1. Билеты")));
    ASSERT_GE(first, 0);
    EXPECT_TRUE(text[first + 1].startsWith(QStringLiteral("День")));
    // Every row of the section on one line, its verdict in one column.
    const int verdictAt = int(text[first + 2].indexOf(QStringLiteral("Oшибка")));
    ASSERT_GT(verdictAt, 0) << text[first + 2].toStdString();
    for (int i = 0; i < 70; ++i) {
        const QString& line = text[first + 2 + i];
        EXPECT_TRUE(line.startsWith(shortDate(QDate(2010, 1, 1).addDays(i)))) << line.toStdString();
        EXPECT_EQ(line.indexOf(QRegularExpression(QStringLiteral("(OK|Oшибка)$"))), verdictAt) << line.toStdString();
    }
}

int main(int argc, char** argv)
{
    // The printed act needs fonts and a paint device: a GUI application, headless.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
