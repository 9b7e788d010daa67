// From a failing row of the act to its records, and the repair of one day of one kind.
#include "transfer_fixture.h"

#include "reconcile/detail.h"

using namespace varid;
using varid::testing::Branch;

namespace {

class Repair : public Branch {
protected:
    void SetUp() override
    {
        Branch::SetUp();
        // Three tickets of 3 March and one of 4 March on both sides, and another branch's.
        const QString tickets = QStringLiteral(
            "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_STATYS, B_SUMMA, B_KTO, B_NEW_OLD) VALUES "
            "('t1',1,'2010-03-03 00:00:00','открыт',100,'F1','OLD'),('t2',2,'2010-03-03 00:00:00','открыт',200,'F1','OLD'),"
            "('t3',3,'2010-03-03 00:00:00','открыт',300,'F1','OLD'),('t4',4,'2010-03-04 00:00:00','открыт',400,'F1','OLD');"
            "INSERT INTO GL_BOOK (G_NID, G_DATA, G_SUMMA, G_KTO, G_STATYS, G_NEW_OLD) VALUES ('g1','2010-03-03 00:00:00',9,'F1','1','OLD');");
        local(tickets);
        main(tickets + QStringLiteral("INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('x1',1,'2010-03-03 00:00:00','открыт',1,'F2');"));
        // The planted differences: t1 missing on the main database, t9 only there, t2 another amount.
        main(QStringLiteral("DELETE FROM BILET WHERE B_NID='t1';"
                            "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('t9',9,'2010-03-03 00:00:00','открыт',900,'F1');"
                            "UPDATE BILET SET B_SUMMA=250 WHERE B_NID='t2';"
                            "UPDATE GL_BOOK SET G_SUMMA=10 WHERE G_NID='g1';")); // another kind differs too
        ASSERT_TRUE(st->connectSequence(Station::Variant::Test));
    }
    QVector<ActRow> act(const QDate& from, const QDate& to)
    {
        st->rebuildAct(ActRequest{from, to, QStringLiteral("F1")}, {});
        st->waitForRun();
        EXPECT_EQ(st->lastAct.end, RunEnd::Completed);
        QVector<ActRow> rows;
        for (const ActRow& r : Act::printSet(st->dm()))
            if (r.section == 1)
                rows << r;
        return rows;
    }
};

const QDate kDay(2010, 3, 3);

} // namespace

TEST_F(Repair, TheDetailListsExactlyTheDifferingRecords)
{
    const QVector<ActRow> rows = act(kDay, QDate(2010, 3, 4));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].verdict, act::failed);
    EXPECT_EQ(rows[1].verdict, act::ok);
    QStringList seen;
    for (const RecordDiff& d : groupDifferences(st->dm(), st->dm2(), QStringLiteral("F1"), rows[0]))
        seen << QStringLiteral("%1 %2 %3/%4 %5").arg(sideText(d.side), d.key).arg(d.localAmount).arg(d.mainAmount).arg(d.date);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("только в филиале t1 100/0 03.03.2010"), QStringLiteral("только на ГлС t9 0/900 03.03.2010"),
                                 QStringLiteral("другая сумма t2 200/250 03.03.2010")}));
}

TEST_F(Repair, ARepairMakesTheDayAgreeAndTouchesNothingElse)
{
    ASSERT_TRUE(st->repair(kDay, kindByTable(QStringLiteral("BILET"))));
    EXPECT_FALSE(st->repair(kDay, kindByTable(QStringLiteral("BILET")))); // refused while the repair runs
    st->waitForRun();
    EXPECT_EQ(st->lastOutcome.end, RunEnd::Completed);
    EXPECT_EQ(st->repairDeleted, 1);
    const QVector<ActRow> rows = act(kDay, kDay);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].verdict, act::ok);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(B_NID) FROM (SELECT B_NID FROM BILET ORDER BY B_NID)")).toString(),
              QStringLiteral("t1,t2,t3,t4,x1")); // the other branch's ticket stays
    EXPECT_EQ(mainValue(QStringLiteral("SELECT G_SUMMA FROM GL_BOOK WHERE G_NID='g1'")).toDouble(), 10.0); // another kind: untouched
    // Its own start and end lines in the day log, naming the kind and the day; no transfer's
    // lines, and it is not counted as a transfer.
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("-----   Начало повторной отправки (Билеты за 03.03.2010) 05.03.2010 12:00:00  -----"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("-----   Конец повторной отправки (Билеты за 03.03.2010) 05.03.2010 12:00:00  -----"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("Начало передачи")));
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("0"));
}

TEST_F(Repair, AKindWhoseSwitchIsOffIsRepairedAloneAndTheSwitchesStay)
{
    st->setSwitches({});
    ASSERT_TRUE(st->repair(kDay, kindByTable(QStringLiteral("GL_BOOK"))));
    st->waitForRun();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT G_SUMMA FROM GL_BOOK WHERE G_NID='g1'")).toDouble(), 9.0);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM BILET WHERE B_NID='t9'")).toInt(), 1); // tickets untouched
    for (bool on : st->panel().switches)
        EXPECT_FALSE(on);
}

// A repair of the ledger stamps no export and writes no run end: only its own lines.
TEST_F(Repair, ALedgerRepairIsNoRunCompletion)
{
    ASSERT_TRUE(st->repair(kDay, kindByTable(QStringLiteral("GL_BOOK"))));
    st->waitForRun();
    ASSERT_EQ(st->lastOutcome.end, RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM KTO WHERE KTO_EXPORT IS NOT NULL")).toInt(), 0);
    const QString log = logText();
    EXPECT_FALSE(log.contains(QStringLiteral("Конец передачи"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("-----   Конец повторной отправки (Главная книга за 03.03.2010) "))) << log.toStdString();
}

// Every kind of the catalogue carries what the act, its drill-down and the repair need, and
// its statements run on both databases: a kind added with a row short of them fails here.
TEST_F(Repair, EveryKindOfTheCatalogueIsWholeForTheActAndTheRepair)
{
    ASSERT_FALSE(recordKinds().empty());
    QSet<int> numbers;
    for (RecordKind k : recordKinds()) {
        SCOPED_TRACE(k->table);
        EXPECT_EQ(kindByTable(QString::fromLatin1(k->table).toLower()), k);
        EXPECT_TRUE(k->title && *k->title);
        EXPECT_GT(k->keyCount(), 0);
        EXPECT_TRUE(k->number && k->amount && k->branch);
        EXPECT_TRUE(k->monthly || k->date) << "a day's records need their date";
        const StepDef& step = stepOf(k);
        EXPECT_TRUE(step.gated || step.sw == Switch::Ostatok || step.sw == Switch::GL_Book);
        ASSERT_GT(k->sectionCount(), 0) << "the act would leave the kind out";
        for (int i = 0; i < k->sectionCount(); ++i) {
            const ActSection& s = k->sections[size_t(i)];
            EXPECT_EQ(kindOfSection(s.number), k) << s.number;
            EXPECT_TRUE(s.title && *s.title);
            EXPECT_NE(s.bar, Bar::Count);
            bool barOfStep = false;
            for (const BarDef& b : step.bars)
                barOfStep = barOfStep || (b.name && b.bar == s.bar);
            EXPECT_TRUE(barOfStep) << "the section's bar is its step's";
            if (!k->monthly) {
                EXPECT_TRUE(s.sql && s.dateColumn && s.countColumn && s.sumColumn);
            }
            // Two sections share a number only inside one kind.
            EXPECT_TRUE(!numbers.contains(s.number) || (i > 0 && k->sections[size_t(i - 1)].number == s.number)) << s.number;
            numbers.insert(s.number);
        }
        // The drill-down's selection and the repair's deletion run on both databases.
        EXPECT_NO_THROW(dayDifferences(st->dm(), st->dm2(), QStringLiteral("F1"), k, QDate(2011, 1, 1)));
        const QVector<RecordDiff> none{RecordDiff{RecordDiff::OnlyMain, QStringLiteral("zz"), {}, {}, 0, 0, {QStringLiteral("zz"), QStringLiteral("zz"), QStringLiteral("zz")}}};
        EXPECT_NO_THROW(heldElsewhere(st->dm(), QStringLiteral("F1"), k, none));
        EXPECT_EQ(deleteMainOnly(st->dm2(), QStringLiteral("F1"), k, QDate(2011, 1, 1), none), 1);
    }
    EXPECT_EQ(kindByTable(QStringLiteral("KLIENT")), nullptr);
    EXPECT_EQ(recordTables(QStringLiteral(" or ")),
              QStringLiteral("BILET, BILET_LINE, PRODLENIE, REALIZ, AVANS, AVANS_LINE, OSTATOK or GL_BOOK"));
}
