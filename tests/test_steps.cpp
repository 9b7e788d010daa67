// The record kinds' own behaviour on two embedded databases: tickets with lines and
// vehicles, extensions, sales both ways, advance reports with lines, balances, staff with
// the on/off journal, and the terrorist list.
#include "transfer_fixture.h"

#include "transfer/runcontext.h"
#include "data/catalogue.h"
#include "transfer/transfer.h"

using namespace varid;
using varid::testing::Branch;

namespace {

class Kinds : public Branch {
protected:
    QString mainList(const QString& sql) { return mainValue(QStringLiteral("SELECT group_concat(v, ',') FROM (%1)").arg(sql)).toString(); }
    QString localList(const QString& sql) { return localValue(QStringLiteral("SELECT group_concat(v, ',') FROM (%1)").arg(sql)).toString(); }
    RunEnd period(const QDate& from, const QDate& to) { return run(false, from, to); }
};

QString ticket(const char* nid, const char* opened, const char* redeemed = nullptr, const char* marker = "NEW", const char* kto = "F1")
{
    return QStringLiteral("INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_DATA_VIK, B_KTO, B_NEW_OLD, B_SUMMA, B_KOL_DAY) "
                          "VALUES ('%1', 7, '%2', %3, '%4', '%5', 100.5, 30);")
        .arg(QString::fromLatin1(nid), QString::fromLatin1(opened),
             redeemed ? QStringLiteral("'%1'").arg(QString::fromLatin1(redeemed)) : QStringLiteral("NULL"),
             QString::fromLatin1(kto), QString::fromLatin1(marker));
}

QString ticketLine(const char* ticketId, int nomer, const char* date, const char* item = "I1")
{
    return QStringLiteral("INSERT INTO BILET_LINE (BL_NID, BL_NOMER, BL_DATA, BL_B_NID, BL_I_NID, BL_SUMMA, BL_KOL) "
                          "VALUES ('%1.%2', %2, '%3', '%1', '%4', 10, 1);")
        .arg(QString::fromLatin1(ticketId)).arg(nomer).arg(QString::fromLatin1(date), QString::fromLatin1(item));
}

QString extension(const char* nid, const char* ticketId, const char* date, double sum, const char* marker = "NEW")
{
    return QStringLiteral("INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO, PRO_NEW_OLD, PRO_KOL_DAY) "
                          "VALUES ('%1', '%2', '%3', %4, 'F1', '%5', 10);")
        .arg(QString::fromLatin1(nid), QString::fromLatin1(ticketId), QString::fromLatin1(date)).arg(sum).arg(QString::fromLatin1(marker));
}

} // namespace

// ---- Tickets, lines, vehicles -------------------------------------------------------

TEST_F(Kinds, NewTicketGoesWithItsLinesAndVehicleAndASentOneIsUpdatedInPlace)
{
    local(ticket("B1", "2010-03-05 00:00:00") + ticketLine("B1", 1, "2010-03-05 00:00:00", "A1") + ticketLine("B1", 2, "2010-03-05 00:00:00")
          + ticket("B2", "2010-03-04 00:00:00") + ticket("B9", "2010-03-05 00:00:00", nullptr, "NEW", "F2")
          + QStringLiteral("INSERT INTO AUTO (A_NID, A_KTO, A_MARKA, A_MODEL, A_GOD, A_DATA_TC) VALUES ('A1','F1','Toyota','Camry','2015','2009-05-01 00:00:00');"));
    main(QStringLiteral("INSERT INTO BILET (B_NID, B_NOMER, B_SUMMA, B_KTO) VALUES ('B2', 1, 1, 'F1');"
                        "INSERT INTO AUTO (A_NID, A_MARKA) VALUES ('A1', 'старая марка');"));
    only({Switch::Bilet});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_TRUE(failureLines().isEmpty()) << failureLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(mainList(QStringLiteral("SELECT B_NID v FROM BILET ORDER BY B_NID")), QStringLiteral("B1,B2"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT B_NEW_OLD FROM BILET WHERE B_NID='B1'")).toString(), QStringLiteral("NEW")); // as read
    EXPECT_DOUBLE_EQ(mainValue(QStringLiteral("SELECT B_SUMMA FROM BILET WHERE B_NID='B2'")).toDouble(), 100.5);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM BILET WHERE B_NID='B2'")).toInt(), 1);
    EXPECT_EQ(mainList(QStringLiteral("SELECT CAST(BL_NOMER AS INT) v FROM BILET_LINE ORDER BY BL_NOMER")), QStringLiteral("1,2"));
    // The vehicle: updated in place, its columns copied as text.
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM AUTO")).toInt(), 1);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT A_MARKA || ' ' || A_MODEL FROM AUTO")).toString(), QStringLiteral("Toyota Camry"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT A_DATA_TC FROM AUTO")).toString(), QStringLiteral("2009-05-01 00:00:00"));
    EXPECT_EQ(localList(QStringLiteral("SELECT B_NEW_OLD v FROM BILET ORDER BY B_NID")), QStringLiteral("OLD,OLD,NEW"));
    EXPECT_EQ(st->panel().bars[size_t(Bar::Bilet)].max, 2);
    EXPECT_EQ(st->panel().bars[size_t(Bar::BLine)].pos, 2);
    // A second run sends the lines of nothing again: no duplicates.
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM BILET_LINE")).toInt(), 2);
}

TEST_F(Kinds, PeriodWritesOpenedRedeemedAndExtendedTicketsWithTheRightLines)
{
    // B1 opened before the period and redeemed in it; B2 opened and redeemed in it; B3 only
    // extended in it. A line of B3 stays away; the lines of B1 come from the redeemed lines.
    local(ticket("B1", "2010-02-01 00:00:00", "2010-03-03 00:00:00", "OLD") + ticketLine("B1", 1, "2010-02-01 00:00:00")
          + ticket("B2", "2010-03-02 00:00:00", "2010-03-04 00:00:00", "OLD") + ticketLine("B2", 1, "2010-03-02 00:00:00")
          + ticket("B3", "2010-01-10 00:00:00", nullptr, "OLD") + ticketLine("B3", 1, "2010-01-10 00:00:00")
          + extension("P3", "B3", "2010-03-03 00:00:00", 5, "OLD"));
    main(ticketLine("B2", 1, "2010-03-02 00:00:00")); // already there: replaced, not doubled
    only({Switch::Bilet});
    ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
    EXPECT_TRUE(failureLines().isEmpty());
    EXPECT_EQ(mainList(QStringLiteral("SELECT B_NID v FROM BILET ORDER BY B_NID")), QStringLiteral("B1,B2,B3"));
    EXPECT_EQ(mainList(QStringLiteral("SELECT BL_B_NID v FROM BILET_LINE ORDER BY BL_B_NID")), QStringLiteral("B1,B2"));
    EXPECT_EQ(st->panel().bars[size_t(Bar::Bilet)].max, 4); // opened 1 + redeemed 2 + extended 1
    EXPECT_EQ(st->panel().bars[size_t(Bar::BLine)].max, 2);
}

TEST_F(Kinds, TicketFailureLinesNameTheirWalk)
{
    local(ticket("B3", "2010-01-10 00:00:00", nullptr, "OLD") + extension("P3", "B3", "2010-03-03 00:00:00", 5, "OLD")
          + ticket("B4", "2010-03-02 00:00:00", nullptr, "OLD") + ticket("B5", "2010-01-11 00:00:00", nullptr, "OLD")
          + extension("P5", "B5", "2010-03-03 00:00:00", 5, "OLD"));
    main(QStringLiteral("INSERT INTO BILET (B_NID, B_KTO) VALUES ('B3', 'F1');"
                        "CREATE TRIGGER refuse BEFORE UPDATE ON BILET BEGIN SELECT RAISE(ABORT, 'no'); END;"
                        "CREATE TRIGGER refuse2 BEFORE INSERT ON BILET WHEN NEW.B_NID IN ('B4','B5') BEGIN SELECT RAISE(ABORT, 'no'); END;"));
    only({Switch::Bilet});
    ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
    // Only the extended walk's update line has the apostrophe; its insertion line has none.
    EXPECT_EQ(failureLines(), (QStringList{
        QStringLiteral("Ошибка! Записи на ГлС отк. билета B_NID=B4 and B_DATA=02.03.2010 and B_NOMER=7"),
        QStringLiteral("Ошибка! Изменения на ГлС прод. билета B_NID=B3' and B_DATA=10.01.2010 and B_NOMER=7"),
        QStringLiteral("Ошибка! Записи на ГлС прод. билета B_NID=B5 and B_DATA=11.01.2010 and B_NOMER=7")}));
    EXPECT_EQ(localValue(QStringLiteral("SELECT B_NEW_OLD FROM BILET WHERE B_NID='B4'")).toString(), QStringLiteral("OLD"));
}

// ---- Extensions ---------------------------------------------------------------------

TEST_F(Kinds, ExtensionsPeriodIsReplacedOnlyWhenTheMainDatabaseHoldsMore)
{
    const struct { int mainRows; bool deleted; } cases[] = {{3, true}, {2, false}, {1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mainRows);
        SetUp();
        local(extension("P1", "B1", "2010-03-02 00:00:00", 5, "OLD") + extension("P2", "B2", "2010-03-03 00:00:00", 6, "OLD"));
        for (int i = 1; i <= c.mainRows; ++i)
            main(QStringLiteral("INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES ('m%1', 'B%1', '2010-03-0%2 00:00:00', 1, 'F1');")
                     .arg(i).arg(i + 1));
        main(QStringLiteral("INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES ('other', 'X', '2010-03-02 00:00:00', 1, 'F2');"));
        only({Switch::Prodlenie});
        ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM PRODLENIE WHERE PRO_KTO='F1'")).toInt(), c.deleted ? 2 : std::max(2, c.mainRows));
        EXPECT_EQ(mainValue(QStringLiteral("SELECT SUM(PRO_SUMMA) FROM PRODLENIE WHERE PRO_KTO='F1' AND PRO_B_NID IN ('B1','B2')")).toDouble(), 11.0);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM PRODLENIE WHERE PRO_KTO='F2'")).toInt(), 1); // another branch's stay
    }
}

TEST_F(Kinds, TwoExtensionsWithOneTripleTheSecondUpdates)
{
    local(extension("P1", "B1", "2010-03-02 00:00:00", 5) + extension("P2", "B1", "2010-03-02 00:00:00", 7));
    only({Switch::Prodlenie});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(mainList(QStringLiteral("SELECT PRO_SUMMA v FROM PRODLENIE")), QStringLiteral("7"));
    EXPECT_EQ(localList(QStringLiteral("SELECT PRO_NEW_OLD v FROM PRODLENIE")), QStringLiteral("OLD,OLD"));
}

TEST_F(Kinds, AFailedExtensionsDeletionIsRolledBackAndEndsTheStep)
{
    local(extension("P1", "B1", "2010-03-02 00:00:00", 5, "OLD"));
    main(QStringLiteral("INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES ('m1','B1','2010-03-02 00:00:00',1,'F1'),('m2','B2','2010-03-03 00:00:00',1,'F1');"
                        "CREATE TRIGGER refuse BEFORE DELETE ON PRODLENIE WHEN OLD.PRO_NID='m2' BEGIN SELECT RAISE(ABORT, 'no'); END;"));
    only({Switch::Prodlenie});
    EXPECT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::ConnectionLost);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM PRODLENIE")).toInt(), 2); // nothing half deleted
    // The main connection is usable again: the next run does not trip over an open transaction.
    main(QStringLiteral("DROP TRIGGER refuse;"));
    EXPECT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
}

// ---- Sales ----------------------------------------------------------------------------

namespace {
QString sale(const char* nid, const char* kto, const char* key, const char* marker = "NEW", const char* sold = nullptr,
             const char* import = nullptr, const char* date = "2010-03-03 00:00:00")
{
    auto q = [](const char* v) { return v ? QStringLiteral("'%1'").arg(QString::fromUtf8(v)) : QStringLiteral("NULL"); };
    return QStringLiteral("INSERT INTO REALIZ (REA_NID, REA_DATA, REA_NOMER, REA_KTO, REA_KEY, REA_NEW_OLD, REA_DATA_REAL, REA_IMPORT, REA_CENA) "
                          "VALUES (%1, '%2', 1, %3, %4, %5, %6, %7, 10);")
        .arg(q(nid), QString::fromLatin1(date), q(kto), q(key), q(marker), q(sold), q(import));
}
} // namespace

TEST_F(Kinds, OwnSalesGetTheirKeysAreTracedAndMarked)
{
    local(sale("R1", "F1", nullptr) + sale("R2", "F1", "OLDKEY") + sale("R3", "F1", nullptr));
    main(sale("OLDKEY", "F1", "OLDKEY", "ДА") + QStringLiteral("UPDATE REALIZ SET REA_CENA=1;"));
    only({Switch::Realiz});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(localList(QStringLiteral("SELECT REA_KEY v FROM REALIZ ORDER BY REA_NID")), QStringLiteral("F1R1,OLDKEY,F1R3"));
    EXPECT_EQ(localList(QStringLiteral("SELECT REA_NEW_OLD v FROM REALIZ")), QStringLiteral("OLD,OLD,OLD"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT REA_CENA FROM REALIZ WHERE REA_KEY='OLDKEY'")).toDouble(), 1.0); // "ДА" is left alone
    EXPECT_EQ(mainList(QStringLiteral("SELECT REA_KEY v FROM REALIZ ORDER BY REA_KEY")), QStringLiteral("F1R1,F1R3,OLDKEY"));
    // The trace of each own sale's lookup, two lines a sale, right after the start line.
    EXPECT_EQ(lines.mid(1, 6), (QStringList{
        QStringLiteral("1  F1R1   Select * From REALIZ Where REA_KEY='F1R1'  "), QStringLiteral(" statys 0"),
        QStringLiteral("2  OLDKEY   Select * From REALIZ Where REA_KEY='OLDKEY'  "), QStringLiteral(" statys 1"),
        QStringLiteral("3  F1R3   Select * From REALIZ Where REA_KEY='F1R3'  "), QStringLiteral(" statys 0")}));
    // Nothing after them: with the journal's switch off, the run writes no end line.
    EXPECT_EQ(lines.size(), 7) << lines.join(QLatin1Char('|')).toStdString();
}

TEST_F(Kinds, IncomingSalesComeDownAndRegisterTheirBranchOnce)
{
    main(QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_NAME, KTO_ACTIV) VALUES ('F9', 'Девятый', 'ДА');")
         + sale("S1", "F9", "F9S1", "NEW", nullptr, "F1") + sale("S2", "F9", "F9S2", "NEW", "2010-03-04 00:00:00", "F1")
         + sale("S3", "F9", "F9S3", "NEW", nullptr, "F2") + sale("S4", "F8", "F8S4", "NEW", nullptr, "F1"));
    local(sale("F9S2", "F9", "F9S2", "NEW", nullptr, "F1")); // a local copy still unsold: left alone
    only({Switch::Realiz});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(localList(QStringLiteral("SELECT REA_KEY v FROM REALIZ ORDER BY REA_KEY")), QStringLiteral("F8S4,F9S1,F9S2"));
    EXPECT_TRUE(localValue(QStringLiteral("SELECT REA_DATA_REAL FROM REALIZ WHERE REA_KEY='F9S2'")).isNull());
    EXPECT_EQ(localList(QStringLiteral("SELECT KTO_KOD || ':' || KTO_ACTIV v FROM KTO ORDER BY KTO_KOD")), QStringLiteral("F1:ДА,F2:НЕТ,F9:НЕТ"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT REA_NEW_OLD FROM REALIZ WHERE REA_KEY='F9S1'")).toString(), QStringLiteral("NEW"));
    // Again: nothing more registered, nothing doubled.
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM KTO WHERE KTO_KOD='F9'")).toInt(), 1);
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM REALIZ")).toInt(), 3);
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM KTO WHERE KTO_KOD='' OR KTO_KOD IS NULL")).toInt(), 0);
}

// The registration of a sending branch belongs to the insertion only: a sale already here
// that is updated registers nothing, and a registration that would fail cannot undo it.
TEST_F(Kinds, AnUpdatedIncomingSaleRegistersNoBranch)
{
    main(QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_NAME) VALUES ('F9', 'Девятый');")
         + sale("S1", "F9", "F9S1", "NEW", "2010-03-04 00:00:00", "F1"));
    local(sale("F9S1", "F9", "F9S1", "OLD", "2010-03-01 00:00:00", "F1")
          + QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON KTO BEGIN SELECT RAISE(ABORT, 'no'); END;"));
    only({Switch::Realiz});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_TRUE(failureLines().isEmpty()) << failureLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(localValue(QStringLiteral("SELECT REA_DATA_REAL FROM REALIZ WHERE REA_KEY='F9S1'")).toString(), QStringLiteral("2010-03-04 00:00:00"));
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM KTO WHERE KTO_KOD='F9'")).toInt(), 0);
}

TEST_F(Kinds, AFailingRegistrationUndoesTheIncomingSale)
{
    main(QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_NAME) VALUES ('F9', 'Девятый');") + sale("S1", "F9", "F9S1", "NEW", nullptr, "F1"));
    local(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON KTO BEGIN SELECT RAISE(ABORT, 'no'); END;"));
    only({Switch::Realiz});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(failureLines(), QStringList{QStringLiteral("Ошибка! Записи на ГлС Реализации REA_KEY=F9S1 and REA_DATA=03.03.2010 and REA_NOMER=1")});
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM REALIZ")).toInt(), 0);
}

TEST_F(Kinds, SalesPeriodIsDeletedOnlyWhenTheMainDatabaseHoldsMore)
{
    // The branch holds two own sales of the period; the main database some of its own: more
    // than two, and they are replaced by the branch's two; as many or fewer, and the branch's
    // two join them.
    const struct { int mainRows; int after; } cases[] = {{3, 2}, {2, 4}, {1, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mainRows);
        SetUp();
        local(sale("R1", "F1", "F1R1", "OLD") + sale("R2", "F1", "F1R2", "OLD", "2010-03-04 00:00:00", nullptr, "2010-02-01 00:00:00"));
        for (int i = 1; i <= c.mainRows; ++i)
            main(sale(QStringLiteral("M%1").arg(i).toLatin1().constData(), "F1", QStringLiteral("F1M%1").arg(i).toLatin1().constData(), "OLD"));
        main(sale("Z1", "F2", "F2Z1", "OLD"));
        only({Switch::Realiz});
        ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM REALIZ WHERE REA_KTO='F1'")).toInt(), c.after);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM REALIZ WHERE REA_KTO='F1' AND REA_KEY IN ('F1R1','F1R2')")).toInt(), 2);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM REALIZ WHERE REA_KTO='F2'")).toInt(), 1);
    }
}

// ---- Advance reports and lines -----------------------------------------------------------

namespace {
QString report(const char* nid, const char* date, int nomer, const char* marker = "NEW")
{
    return QStringLiteral("INSERT INTO AVANS (AV_NID, AV_DATA, AV_NOMER, AV_KTO, AV_NEW_OLD, AV_SUM1) VALUES ('%1', '%2', %3, 'F1', '%4', 10);")
        .arg(QString::fromLatin1(nid), QString::fromLatin1(date)).arg(nomer).arg(QString::fromLatin1(marker));
}
QString reportLine(const char* report, int nomer, const char* date)
{
    return QStringLiteral("INSERT INTO AVANS_LINE (AVL_NID, AVL_DATA, AVL_NOMER, AVL_AV_NID, AVL_SUMMA) VALUES ('%1.%2', '%3', %2, '%1', 5);")
        .arg(QString::fromLatin1(report)).arg(nomer).arg(QString::fromLatin1(date));
}
} // namespace

TEST_F(Kinds, TwoNewReportsGoWithAllTheirLinesAndAMainOnlyLineDisappears)
{
    local(report("AV1", "2010-03-05 10:15:00", 1) + reportLine("AV1", 1, "2010-03-05 00:00:00") + reportLine("AV1", 2, "2010-03-05 00:00:00")
          + report("AV2", "2010-03-04 00:00:00", 2) + reportLine("AV2", 1, "2010-01-01 00:00:00"));
    main(reportLine("AV1", 9, "2010-03-05 00:00:00")); // removed at the branch
    only({Switch::Avans});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_TRUE(failureLines().isEmpty());
    EXPECT_EQ(mainList(QStringLiteral("SELECT AV_NID v FROM AVANS ORDER BY AV_NID")), QStringLiteral("AV1,AV2"));
    EXPECT_EQ(mainList(QStringLiteral("SELECT AVL_AV_NID || '.' || AVL_NOMER v FROM AVANS_LINE ORDER BY 1")), QStringLiteral("AV1.1,AV1.2,AV2.1"));
    EXPECT_EQ(localList(QStringLiteral("SELECT AV_NEW_OLD v FROM AVANS")), QStringLiteral("OLD,OLD"));
    EXPECT_EQ(st->panel().bars[size_t(Bar::AV_Line)].max, 3);
}

TEST_F(Kinds, AReportWhoseDateChangedArrivesAsAFurtherReport)
{
    local(report("AV1", "2010-03-05 10:15:00", 1, "OLD"));
    main(report("AV1", "2010-03-04 00:00:00", 1, "OLD"));
    only({Switch::Avans});
    ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 6)), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM AVANS WHERE AV_NID='AV1'")).toInt(), 2);
    ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 6)), RunEnd::Completed); // found with its time: updated
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM AVANS WHERE AV_NID='AV1'")).toInt(), 2);
}

TEST_F(Kinds, ReportsUntickedSendNoLinesEither)
{
    local(report("AV1", "2010-03-05 00:00:00", 1) + reportLine("AV1", 1, "2010-03-05 00:00:00"));
    only({});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM AVANS_LINE")).toInt(), 0);
    EXPECT_EQ(localValue(QStringLiteral("SELECT AV_NEW_OLD FROM AVANS")).toString(), QStringLiteral("NEW"));
}

// ---- Balances ---------------------------------------------------------------------------

namespace {
QString balance(const char* nid, const char* account, int month, int year, double debet, double kredit, const char* kassa = "",
                const char* kto = "F1", const char* marker = "OLD")
{
    return QStringLiteral("INSERT INTO OSTATOK (O_NID, O_SCHET, O_MESIC, O_GOD, O_DEBET, O_KREDIT, O_KTO, O_NEW_OLD, O_KASSA) "
                          "VALUES ('%1', '%2', %3, %4, %5, %6, '%7', '%8', '%9');")
        .arg(QString::fromLatin1(nid), QString::fromLatin1(account)).arg(month).arg(year).arg(debet).arg(kredit)
        .arg(QString::fromLatin1(kto), QString::fromLatin1(marker), QString::fromLatin1(kassa));
}
} // namespace

TEST_F(Kinds, BalancesReplaceAMonthRangeOnlyWhenItDiffers)
{
    // Local: 1010 of March with 0.1 + 0.2. Main variants against it.
    const struct { const char* name; QString mainRows; bool replaced; } cases[] = {
        {"more rows on main", balance("m1", "1010", 3, 2010, 0.3, 0) + balance("m2", "9999", 3, 2010, 1, 1), true},
        {"same rows, same totals at four places", balance("m1", "1010", 3, 2010, 0.1 + 0.2, 0), false},
        {"same rows, other totals", balance("m1", "1010", 3, 2010, 0.5, 0), true},
        {"fewer rows on main", QString(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        local(balance("l1", "1010", 3, 2010, 0.1, 0.2));
        main(c.mainRows + balance("x", "1010", 3, 2010, 7, 7, "", "F2") + balance("y", "5555", 1, 2010, 7, 7));
        only({Switch::Ostatok});
        ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM OSTATOK WHERE O_SCHET='9999'")).toInt(), 0 + (!c.replaced && c.mainRows.contains(QLatin1String("9999"))));
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM OSTATOK WHERE O_KTO='F1' AND O_SCHET='1010'")).toInt(), 1);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM OSTATOK WHERE O_NID='m1'")).toInt(), c.replaced || c.mainRows.isEmpty() ? 0 : 1);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM OSTATOK WHERE O_KTO='F2'")).toInt(), 1); // another branch's stay
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM OSTATOK WHERE O_SCHET='5555'")).toInt(), 1); // outside the months
    }
}

TEST_F(Kinds, BalancesAcrossYearsTakeBothWholeYearsAndLeaveYearsInThePeriodTexts)
{
    local(balance("a", "1010", 12, 2009, 1, 1) + balance("b", "1010", 1, 2010, 2, 2) + balance("c", "1010", 6, 2010, 3, 3)
          + balance("d", "1010", 6, 2008, 4, 4));
    only({Switch::Ostatok});
    ASSERT_EQ(period(QDate(2009, 12, 25), QDate(2010, 1, 5)), RunEnd::Completed);
    EXPECT_EQ(mainList(QStringLiteral("SELECT O_GOD || '-' || O_MESIC v FROM OSTATOK ORDER BY O_GOD, O_MESIC")), QStringLiteral("2009-12,2010-1,2010-6"));
    EXPECT_EQ(st->panel().bars[size_t(Bar::Ostatok)].max, 3);
}

// The balances take the period's years and months; the steps after them still send the
// period's days, and the run's period is the one armed.
TEST_F(Kinds, TheStepsAfterTheBalancesSendThePeriodsDays)
{
    local(balance("a", "1010", 12, 2009, 1, 1) + balance("b", "1010", 1, 2010, 2, 2)
          + QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES "
                           "('g1','2009-12-28 00:00:00','F1','1',5,'OLD'),('g2','2010-01-04 00:00:00','F1','1',6,'OLD'),"
                           "('g3','2010-01-06 00:00:00','F1','1',7,'OLD');"));
    only({Switch::Ostatok, Switch::GL_Book});
    ASSERT_EQ(period(QDate(2009, 12, 25), QDate(2010, 1, 5)), RunEnd::Completed);
    EXPECT_EQ(mainList(QStringLiteral("SELECT O_GOD || '-' || O_MESIC v FROM OSTATOK ORDER BY O_GOD, O_MESIC")), QStringLiteral("2009-12,2010-1"));
    EXPECT_EQ(mainList(QStringLiteral("SELECT G_NID v FROM GL_BOOK ORDER BY G_NID")), QStringLiteral("g1,g2"));
    EXPECT_EQ(st->panel().period(), (Period{QDate(2009, 12, 25), QDate(2010, 1, 5)}));
}

TEST_F(Kinds, ABalanceWithoutKassaMatchesAnyKassa)
{
    local(balance("l1", "1010", 3, 2010, 5, 5, "", "F1", "NEW") + balance("l2", "1020", 3, 2010, 5, 5, "K2", "F1", "NEW"));
    main(balance("m1", "1010", 3, 2010, 1, 1, "KASSA-7") + balance("m2", "1020", 3, 2010, 1, 1, "K1"));
    only({Switch::Ostatok});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT O_DEBET FROM OSTATOK WHERE O_NID='m1'")).toDouble(), 5.0);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM OSTATOK WHERE O_SCHET='1020'")).toInt(), 2);
}

// ---- Staff and the on/off journal ---------------------------------------------------------

TEST_F(Kinds, StaffAgreeOnBothSidesAndTheMainDatabaseWins)
{
    local(QStringLiteral("INSERT INTO PERSONAL (P_NID, P_NAME, P_KTO) VALUES ('P1','Местное имя','F1'),('P3','Только здесь','F1');"));
    main(QStringLiteral("INSERT INTO PERSONAL (P_NID, P_NAME, P_LOGIN, P_KTO) VALUES ('P1','Главное имя','l1','F1'),('P2','Только там','l2','F9');"));
    only({Switch::Personal});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(localList(QStringLiteral("SELECT P_NID || ':' || P_NAME v FROM PERSONAL ORDER BY P_NID")),
              QStringLiteral("P1:Главное имя,P2:Только там,P3:Только здесь"));
    EXPECT_EQ(mainList(QStringLiteral("SELECT P_NID || ':' || P_NAME v FROM PERSONAL ORDER BY P_NID")),
              QStringLiteral("P1:Главное имя,P2:Только там,P3:Только здесь"));
    EXPECT_EQ(localValue(QStringLiteral("SELECT P_LOGIN FROM PERSONAL WHERE P_NID='P2'")).toString(), QStringLiteral("l2"));
}

TEST_F(Kinds, AFailedLocalStaffInsertNamesTheMemberAndTheWalkGoesOn)
{
    main(QStringLiteral("INSERT INTO PERSONAL (P_NID, P_NAME) VALUES ('P1','Первый'),('P2','Второй');"));
    local(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON PERSONAL WHEN NEW.P_NID='P1' BEGIN SELECT RAISE(ABORT, 'no'); END;"));
    only({Switch::Personal});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(failureLines(), QStringList{QStringLiteral("Ошибка! Записи с ГлС Сотрудника P_NID=P1 and P_NAME=Первый")});
    EXPECT_EQ(localList(QStringLiteral("SELECT P_NID v FROM PERSONAL")), QStringLiteral("P2"));
}

// A member without an identifier, on either side, gets its failure line and is never copied.
TEST_F(Kinds, AStaffMemberWithoutAnIdentifierIsNeverCopied)
{
    main(QStringLiteral("INSERT INTO PERSONAL (P_NID, P_NAME) VALUES (NULL,'Без номера ГлС'),('','Пустой ГлС'),('P1','Первый');"));
    local(QStringLiteral("INSERT INTO PERSONAL (P_NID, P_NAME) VALUES (NULL,'Без номера филиала');"));
    only({Switch::Personal});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(failureLines(), (QStringList{QStringLiteral("Ошибка! Записи с ГлС Сотрудника P_NID= and P_NAME=Без номера ГлС"),
                                           QStringLiteral("Ошибка! Записи с ГлС Сотрудника P_NID= and P_NAME=Пустой ГлС"),
                                           QStringLiteral("Ошибка! Записи на ГлС Сотрудника P_NID= and P_NAME=Без номера филиала")}));
    EXPECT_EQ(localList(QStringLiteral("SELECT coalesce(P_NID,'null') || ':' || P_NAME v FROM PERSONAL ORDER BY P_NAME")),
              QStringLiteral("null:Без номера филиала,P1:Первый"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM PERSONAL")).toInt(), 3);
    EXPECT_FALSE(st->panel().errorMarker().isEmpty());
}

TEST_F(Kinds, OnOffRowsOfTodayGoUpAndARowOnTheMainDatabaseIsRewritten)
{
    local(QStringLiteral("INSERT INTO ONOFF (OO_NAME, OO_DATA, OO_KTO, OO_ON, OO_OFF) VALUES "
                         "('Иванов','2010-03-05 00:00:00','F1','09:00','18:00'),('Петров','2010-03-05 00:00:00','F1','09:30',NULL),"
                         "('Сидоров','2010-03-04 00:00:00','F1','09:00','18:00'),('Чужой','2010-03-05 00:00:00','F2','09:00',NULL);"));
    main(QStringLiteral("INSERT INTO ONOFF (OO_NAME, OO_DATA, OO_KTO, OO_ON, OO_OFF) VALUES ('Иванов','2010-03-05 00:00:00','F1','09:00',NULL);"));
    only({Switch::Personal});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(mainList(QStringLiteral("SELECT OO_NAME || ':' || coalesce(OO_OFF,'-') v FROM ONOFF ORDER BY OO_NAME")),
              QStringLiteral("Иванов:18:00,Петров:"));
    ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM ONOFF")).toInt(), 3);
}

// A failed on/off write is rolled back and leaves no transaction open: the next step's rows
// go up as usual.
TEST_F(Kinds, AFailedOnOffWriteLeavesNoTransactionOpen)
{
    local(QStringLiteral("INSERT INTO ONOFF (OO_NAME, OO_DATA, OO_KTO, OO_ON, OO_OFF) VALUES ('Иванов','2010-03-05 00:00:00','F1','09:00',NULL);")
          + ticket("B1", "2010-03-05 00:00:00"));
    main(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON ONOFF BEGIN SELECT RAISE(ABORT, 'no'); END;"));
    only({Switch::Personal, Switch::Bilet});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM ONOFF")).toInt(), 0);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM BILET WHERE B_NID='B1'")).toInt(), 1);
    EXPECT_EQ(localValue(QStringLiteral("SELECT B_NEW_OLD FROM BILET WHERE B_NID='B1'")).toString(), QStringLiteral("OLD"));
    runSqliteScript(mainFile(), QStringLiteral("BEGIN IMMEDIATE; COMMIT;")); // nobody holds the main database
}

// ---- Terrorist list ---------------------------------------------------------------------

TEST_F(Kinds, TheTerroristListComesDownOnlyWhenTicked)
{
    main(QStringLiteral("INSERT INTO TERRORIST (T_NAME, T_IIN, T_NOMER) VALUES ('Оба','1','главный'),('Только там','2','m');"));
    local(QStringLiteral("INSERT INTO TERRORIST (T_NAME, T_IIN, T_NOMER) VALUES ('Оба','1','a'),('Оба','1','b'),('Только здесь','3','l');"));
    only({});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM TERRORIST")).toInt(), 3);
    only({Switch::Terrorist});
    ASSERT_EQ(run(), RunEnd::Completed);
    // Both entries with the pair take the main values (the cursor writes by the pair).
    EXPECT_EQ(localList(QStringLiteral("SELECT T_NAME || ':' || T_NOMER v FROM TERRORIST ORDER BY T_IIN, rowid")),
              QStringLiteral("Оба:главный,Оба:главный,Только там:m,Только здесь:l"));
    EXPECT_EQ(st->panel().bars[size_t(Bar::Terrorist)].max, 2);
    main(QStringLiteral("DELETE FROM TERRORIST;"));
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM TERRORIST")).toInt(), 4);
    EXPECT_EQ(st->panel().bars[size_t(Bar::Terrorist)].max, 0);
}

// ---- Behaviours held by no test before ----------------------------------------------

// A vehicle without a registration date arrives with a null date, not a failure.
TEST_F(Kinds, AVehicleWithoutARegistrationDateArrivesWithANullDate)
{
    local(ticket("B1", "2010-03-05 00:00:00") + ticketLine("B1", 1, "2010-03-05 00:00:00", "A1")
          + QStringLiteral("INSERT INTO AUTO (A_NID, A_KTO, A_MARKA, A_MODEL, A_GOD, A_DATA_TC) VALUES ('A1','F1','Lada','Niva','2001',NULL);"));
    only({Switch::Bilet});
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_TRUE(failureLines().isEmpty()) << failureLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT A_MARKA FROM AUTO WHERE A_NID='A1'")).toString(), QStringLiteral("Lada"));
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT A_DATA_TC FROM AUTO WHERE A_NID='A1'")).isNull()
                || mainValue(QStringLiteral("SELECT A_DATA_TC FROM AUTO WHERE A_NID='A1'")).toString().isEmpty());
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM BILET WHERE B_NID='B1'")).toInt(), 1);
}

// A night run brings down only the sales addressed to this branch: a sale between two other
// branches stays on the main database.
TEST_F(Kinds, ANightRunBringsDownOnlySalesAddressedHere)
{
    main(QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_NAME) VALUES ('F9', 'Девятый'), ('F8', 'Восьмой');")
         + sale("S1", "F9", "F9S1", "NEW", nullptr, "F1") + sale("S2", "F9", "F9S2", "NEW", nullptr, "F8"));
    only({Switch::Realiz});
    ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
    EXPECT_EQ(localList(QStringLiteral("SELECT REA_KEY v FROM REALIZ ORDER BY REA_KEY")), QStringLiteral("F9S1"));
}

// The main database refusing the night's ledger or sales deletion: every local row of the
// period is still sent, and no transaction stays open for what follows.
TEST_F(Kinds, ARefusedNightDeletionStillSendsThePeriod)
{
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES "
                         "('g1','2010-03-03 00:00:00','F1','1',1,'OLD'),('g2','2010-03-03 00:00:00','F1','1',1,'OLD');")
          + sale("S1", "F1", nullptr, "OLD") + sale("S2", "F1", nullptr, "OLD"));
    main(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA) VALUES "
                        "('g1','2010-03-03 00:00:00','F1','1',1),('gx','2010-03-03 00:00:00','F1','1',1),('gy','2010-03-03 00:00:00','F1','1',1);"
                        "INSERT INTO REALIZ (REA_NID, REA_KEY, REA_DATA, REA_NOMER, REA_KTO) VALUES "
                        "('x1','F1x1','2010-03-03 00:00:00',1,'F1'),('x2','F1x2','2010-03-03 00:00:00',1,'F1'),('x3','F1x3','2010-03-03 00:00:00',1,'F1');"
                        "CREATE TRIGGER nodelgl BEFORE DELETE ON GL_BOOK BEGIN SELECT RAISE(ABORT, 'no'); END;"
                        "CREATE TRIGGER nodelrea BEFORE DELETE ON REALIZ BEGIN SELECT RAISE(ABORT, 'no'); END;"));
    only({Switch::Realiz, Switch::GL_Book});
    ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
    EXPECT_EQ(mainList(QStringLiteral("SELECT G_NID v FROM GL_BOOK ORDER BY G_NID")), QStringLiteral("g1,g2,gx,gy"));
    EXPECT_EQ(mainList(QStringLiteral("SELECT REA_KEY v FROM REALIZ ORDER BY REA_KEY")), QStringLiteral("F1S1,F1S2,F1x1,F1x2,F1x3"));
    // Nothing left open: another writer takes the main database at once.
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK")).toInt(), 4);
    runSqliteScript(mainFile(), QStringLiteral("BEGIN IMMEDIATE; COMMIT;"));
}

// The night's deletion boundary: as many rows on the main database as at the branch delete
// nothing; one more deletes the period's main rows before they are sent again.
TEST_F(Kinds, TheNightDeletionBoundary)
{
    for (const bool oneMore : {false, true}) {
        SCOPED_TRACE(oneMore);
        SetUp();
        local(extension("P1", "B1", "2010-03-03 00:00:00", 5, "OLD") + extension("P2", "B2", "2010-03-03 00:00:00", 5, "OLD"));
        main(QStringLiteral("INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES "
                            "('P1','B1','2010-03-03 00:00:00',5,'F1'),('Q2','Q2','2010-03-03 00:00:00',5,'F1');")
             + (oneMore ? QStringLiteral("INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES ('Q3','Q3','2010-03-03 00:00:00',5,'F1');")
                        : QString()));
        only({Switch::Prodlenie});
        ASSERT_EQ(period(QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
        EXPECT_EQ(mainList(QStringLiteral("SELECT PRO_B_NID v FROM PRODLENIE ORDER BY PRO_B_NID")),
                  oneMore ? QStringLiteral("B1,B2") : QStringLiteral("B1,B2,Q2"));
    }
}
