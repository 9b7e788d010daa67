// Transfer runs on two embedded databases: clients, the ledger journal, the end of a run.
#include "transfer_fixture.h"

#include <QRegularExpression>

using namespace varid;
using varid::testing::Branch;

namespace {
const char* kClients =
    "INSERT INTO KLIENT (K_NID, K_FIO, K_NOMER, K_KOGDA, K_KEM, K_PROCHEE, K_KTO, K_STATYS) VALUES "
    "('K1','Ахметов','111','01.02.2005','МВД РК','',  'F1','1'),"
    "('K2','Беляева','222',NULL,'МЮ РК','местная','F1','1'),"
    "('K3','Волков','333',NULL,NULL,NULL,'F1','1'),"
    "('O''4','О''Нил','444',NULL,NULL,NULL,'F1','1');";

QString ledger(const char* nid, const char* date, double sum, const char* status, const char* marker,
               const char* kto = "F1", const char* client = "K1")
{
    return QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_NOMER, G_SUMMA, G_KTO, G_STATYS, G_NEW_OLD, G_A_DT, G_KEY, G_OTKYDA) "
                          "VALUES ('%1','%2','N-%1',%3,'%4','%5','%6','%7','KEY-%1','KASSA');")
        .arg(QString::fromLatin1(nid).replace(QLatin1Char('\''), QStringLiteral("''")), QString::fromLatin1(date)).arg(sum)
        .arg(QString::fromLatin1(kto), QString::fromLatin1(status), QString::fromLatin1(marker),
             QString::fromLatin1(client).replace(QLatin1Char('\''), QStringLiteral("''")));
}
} // namespace

TEST_F(Branch, IncrementalRunSendsReferredClientsAndNewEntries)
{
    local(QString::fromUtf8(kClients));
    local(QStringLiteral("INSERT INTO BILET (B_NID, B_K_NID, B_NEW_OLD, B_KTO) VALUES ('B1','K2','NEW','F1'),('B0','K3','OLD','F1');"));
    local(ledger("G1", "2010-03-04 00:00:00", 100, "1", "NEW") + ledger("G2", "2010-03-05 10:30:00", 50.5, "1", "NEW", "F1", "O'4")
          + ledger("G0", "2010-03-01 00:00:00", 7, "1", "OLD") + ledger("G'3", "2010-03-05 00:00:00", 3, "1", "NEW"));

    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_TRUE(failureLines().isEmpty());

    // Clients referred to by new rows, once each, with the document issuer.
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(K_NID, ',') FROM (SELECT K_NID FROM KLIENT ORDER BY K_NID)")).toString(),
              QStringLiteral("K1,K2,O'4"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT K_KEM FROM KLIENT WHERE K_NID='K1'")).toString(), QStringLiteral("МВД РК"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT K_KOGDA FROM KLIENT WHERE K_NID='K1'")).toString(), QStringLiteral("01.02.2005"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT K_SERIA FROM KLIENT WHERE K_NID='K1'")).toString(), QString()); // null arrives empty
    EXPECT_FALSE(mainValue(QStringLiteral("SELECT K_SERIA FROM KLIENT WHERE K_NID='K1'")).isNull());

    // New entries go up with their typed values and a null marker; all are marked sent.
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(G_NID, ',') FROM (SELECT G_NID FROM GL_BOOK ORDER BY G_NID)")).toString(),
              QStringLiteral("G'3,G1,G2"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT G_DATA FROM GL_BOOK WHERE G_NID='G2'")).toString(), QStringLiteral("2010-03-05 10:30:00"));
    EXPECT_DOUBLE_EQ(mainValue(QStringLiteral("SELECT G_SUMMA FROM GL_BOOK WHERE G_NID='G2'")).toDouble(), 50.5);
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT G_NEW_OLD FROM GL_BOOK WHERE G_NID='G1'")).isNull());
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK WHERE G_NEW_OLD='NEW'")).toInt(), 0);

    // The end of the run: the stamp on this branch's row only, the counter, the log.
    EXPECT_EQ(mainValue(QStringLiteral("SELECT KTO_EXPORT FROM KTO WHERE KTO_KOD='F1'")).toString(), QStringLiteral("2010-03-05 12:00:00"));
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT KTO_EXPORT FROM KTO WHERE KTO_KOD='F2'")).isNull());
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("1"));
    EXPECT_EQ(st->panel().bars[size_t(Bar::Klient)].max, 3);
    EXPECT_EQ(st->panel().bars[size_t(Bar::GL_Book)].pos, 3);
    EXPECT_TRUE(st->schedule().T1->enabled());
    EXPECT_TRUE(st->schedule().T2->enabled());
    EXPECT_FALSE(st->schedule().T3->enabled());
    EXPECT_FALSE(st->schedule().T4->enabled());
    EXPECT_EQ(st->schedule().startThreshold, 0);
    EXPECT_EQ(logText(), QStringLiteral("\r\n-----   Начало передачи 05.03.2010 12:00:00  -----\r\n"
                                        "-----   Конец передачи 05.03.2010 12:00:00  -----\r\n"));
    EXPECT_FALSE(QFile::exists(dir_.filePath(QStringLiteral("Logs/Errors.txt"))));

    // A second run sends nothing new.
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM KLIENT")).toInt(), 3);
    EXPECT_EQ(st->panel().bars[size_t(Bar::GL_Book)].max, 0);
    EXPECT_TRUE(failureLines().isEmpty());
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("2"));
}

TEST_F(Branch, NotesComeBackOnlyWhenTheMainOneIsSetAndDiffers)
{
    local(QString::fromUtf8(kClients));
    local(QStringLiteral("INSERT INTO BILET (B_NID, B_K_NID, B_NEW_OLD, B_KTO) VALUES ('B1','K1','NEW','F1'),('B2','K2','NEW','F1'),('B3','K3','NEW','F1');"));
    main(QStringLiteral("INSERT INTO KLIENT (K_NID, K_FIO, K_PROCHEE) VALUES ('K1','Ахметов','VIP'),('K2','Беляева',''),('K3','Волков',NULL);"));
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(localValue(QStringLiteral("SELECT K_PROCHEE FROM KLIENT WHERE K_NID='K1'")).toString(), QStringLiteral("VIP"));
    EXPECT_EQ(localValue(QStringLiteral("SELECT K_PROCHEE FROM KLIENT WHERE K_NID='K2'")).toString(), QStringLiteral("местная"));
    EXPECT_TRUE(localValue(QStringLiteral("SELECT K_PROCHEE FROM KLIENT WHERE K_NID='K3'")).isNull());
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM KLIENT")).toInt(), 3); // nothing inserted, nothing changed there
    EXPECT_EQ(mainValue(QStringLiteral("SELECT K_PROCHEE FROM KLIENT WHERE K_NID='K2'")).toString(), QString());
}

TEST_F(Branch, AFailedRecordIsLoggedMarkedAndTheNextOneSent)
{
    local(QString::fromUtf8(kClients));
    local(ledger("G1", "2010-03-04 00:00:00", 100, "1", "NEW") + ledger("G2", "2010-03-04 00:00:00", 5, "1", "NEW", "F1", "K3")
          + ledger("G3", "2010-03-05 00:00:00", 6, "1", "NEW"));
    main(QStringLiteral("CREATE TRIGGER refuse_g2 BEFORE INSERT ON GL_BOOK WHEN NEW.G_NID='G2' BEGIN SELECT RAISE(ABORT,'refused'); END;"
                        "CREATE TRIGGER refuse_k3 BEFORE INSERT ON KLIENT WHEN NEW.K_NID='K3' BEGIN SELECT RAISE(ABORT,'refused'); END;"));
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(failureLines(), (QStringList{
        QStringLiteral("Ошибка! Записи на ГлС Клиента K_NID=K3 and K_FIO=Волков and K_NOMER=333"),
        QStringLiteral("Ошибка! Записи на ГлС Ж.О. G_DATA=04.03.2010 and G_NOMER=N-G2 and G_KEY=KEY-G2")}));
    EXPECT_EQ(st->panel().errorMarker(), QStringLiteral("05.03.2010"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(G_NID, ',') FROM (SELECT G_NID FROM GL_BOOK ORDER BY G_NID)")).toString(),
              QStringLiteral("G1,G3"));
    EXPECT_EQ(localValue(QStringLiteral("SELECT G_NEW_OLD FROM GL_BOOK WHERE G_NID='G2'")).toString(), QStringLiteral("OLD"));
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("1"));
    QFile errors(dir_.filePath(QStringLiteral("Logs/Errors.txt")));
    ASSERT_TRUE(errors.open(QIODevice::ReadOnly));
    EXPECT_EQ(errors.readAll(), QByteArray("05.03.2010\r\n"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Ошибка! Записи на ГлС Ж.О. G_DATA=04.03.2010")));

    // An update that fails names the update.
    main(QStringLiteral("DROP TRIGGER refuse_g2; CREATE TRIGGER refuse_up BEFORE UPDATE ON GL_BOOK BEGIN SELECT RAISE(ABORT,'no'); END;"));
    local(QStringLiteral("UPDATE GL_BOOK SET G_NEW_OLD='NEW' WHERE G_NID='G1';"));
    run();
    EXPECT_EQ(failureLines().last(), QStringLiteral("Ошибка! Изменения на ГлС Ж.О. G_DATA=04.03.2010 and G_NOMER=N-G1 and G_KEY=KEY-G1"));
}

TEST_F(Branch, ConnectionLossInAStepEndsTheRunAndIsLoggedAtTheNextStart)
{
    local(QString::fromUtf8(kClients));
    local(QStringLiteral("INSERT INTO BILET (B_NID, B_K_NID, B_NEW_OLD, B_KTO) VALUES ('B1','K1','NEW','F1');") + ledger("G1", "2010-03-04 00:00:00", 1, "1", "NEW"));
    main(QStringLiteral("ALTER TABLE KLIENT RENAME TO KLIENT_AWAY;")); // the lookup fails
    EXPECT_EQ(run(), RunEnd::ConnectionLost);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), QStringLiteral("-----   Обрыв связи в 05.03.2010 12:00:00  -----"));
    EXPECT_EQ(lines.filter(QStringLiteral("Конец передачи")).size(), 0);
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("0"));
    EXPECT_TRUE(st->schedule().T2->enabled());
    EXPECT_FALSE(st->schedule().T1->enabled());
    EXPECT_FALSE(st->schedule().T4->enabled());
    EXPECT_EQ(localValue(QStringLiteral("SELECT G_NEW_OLD FROM GL_BOOK")).toString(), QStringLiteral("NEW")); // the journal did not run
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT KTO_EXPORT FROM KTO WHERE KTO_KOD='F1'")).isNull());
    EXPECT_EQ(logText(), QStringLiteral("\r\n")); // only the start-of-run flush so far

    main(QStringLiteral("ALTER TABLE KLIENT_AWAY RENAME TO KLIENT;"));
    host.advance(60000);
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(logText(), QStringLiteral("\r\n-----   Начало передачи 05.03.2010 12:00:00  -----\r\n"
                                        "-----   Обрыв связи в 05.03.2010 12:00:00  -----\r\n"
                                        "-----   Начало передачи 05.03.2010 12:01:00  -----\r\n"
                                        "-----   Конец передачи 05.03.2010 12:01:00  -----\r\n"));
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("1"));
}

TEST_F(Branch, JournalFailureRestartsTheCycleAndFlushesWithoutCounting)
{
    local(ledger("G1", "2010-03-04 00:00:00", 1, "1", "NEW")
          + QStringLiteral("CREATE TRIGGER no_mark BEFORE UPDATE ON GL_BOOK BEGIN SELECT RAISE(ABORT,'locked'); END;"));
    EXPECT_EQ(run(), RunEnd::JournalLost);
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("0"));
    EXPECT_TRUE(st->schedule().T1->enabled());
    EXPECT_TRUE(st->schedule().T2->enabled());
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT KTO_EXPORT FROM KTO WHERE KTO_KOD='F1'")).isNull());
    EXPECT_EQ(logText(), QStringLiteral("\r\n-----   Начало передачи 05.03.2010 12:00:00  -----\r\n"
                                        "-----   Обрыв связи в 05.03.2010 12:00:00  -----\r\n"));
    EXPECT_TRUE(st->panel().memo.isEmpty());
}

TEST_F(Branch, JournalSwitchedOffStillEndsTheRun)
{
    local(ledger("G1", "2010-03-04 00:00:00", 1, "1", "NEW"));
    st->setSwitches({});
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK")).toInt(), 0);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT KTO_EXPORT FROM KTO WHERE KTO_KOD='F1'")).toString(), QStringLiteral("2010-03-05 12:00:00"));
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("1"));
    EXPECT_EQ(logText(), QStringLiteral("\r\n-----   Начало передачи 05.03.2010 12:00:00  -----\r\n")); // no end line
}

TEST_F(Branch, TheStampNeverGoesToAnotherBranch)
{
    // The main database does not know this branch: nothing is stamped.
    main(QStringLiteral("DELETE FROM KTO WHERE KTO_KOD='F1';"));
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM KTO WHERE KTO_EXPORT IS NOT NULL")).toInt(), 0);
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("1"));
}

TEST_F(Branch, NightPeriodDeletesOnTheMainDatabaseOnlyWhenItHoldsMore)
{
    // Local: two entries in force of the period, sum 300, and a deleted one that does not count.
    const QString localRows = ledger("L1", "2010-03-01 00:00:00", 100, "1", "OLD") + ledger("L2", "2010-03-04 00:00:00", 200, "1", "OLD")
        + ledger("L3", "2010-03-04 00:00:00", 999, "0", "OLD");
    const struct { const char* name; const char* mainRows; bool deletes; } cases[] = {
        {"main holds more entries", "('L1',100,'1'),('L2',200,'1'),('M1',0,'1')", true},
        {"main holds a larger sum", "('M1',301,'1')", true},
        {"local at least equal in both", "('M1',300,'1'),('M2',0,'0'),('M3',0,'0')", false},
        {"local more entries, smaller sum", "('M1',250,'1'),('M2',60,'1')", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        local(QStringLiteral("DELETE FROM GL_BOOK;") + localRows);
        main(QStringLiteral("DELETE FROM GL_BOOK;"));
        QString ins;
        for (const QString& v : QString::fromLatin1(c.mainRows).split(QStringLiteral("),(")))
            ins += QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_SUMMA, G_STATYS, G_KTO, G_DATA) VALUES (%1,'F1','2010-03-02 00:00:00');")
                       .arg(QString(v).remove(QLatin1Char('(')).remove(QLatin1Char(')')));
        // Other branches' and other days' entries are never deleted.
        ins += QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_SUMMA, G_STATYS, G_KTO, G_DATA) VALUES ('X2',5,'1','F2','2010-03-02 00:00:00'),"
                              "('X1',5,'1','F1','2010-02-20 00:00:00');");
        main(ins);
        EXPECT_EQ(run(false, QDate(2010, 3, 1), QDate(2010, 3, 4)), RunEnd::Completed);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK WHERE G_NID='M1'")).toInt(), c.deletes ? 0 : 1);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK WHERE G_NID IN ('X1','X2')")).toInt(), 2);
        // Every local entry of the period is there afterwards, the deleted one included.
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK WHERE G_NID IN ('L1','L2','L3')")).toInt(), 3);
        EXPECT_DOUBLE_EQ(mainValue(QStringLiteral("SELECT G_SUMMA FROM GL_BOOK WHERE G_NID='L1'")).toDouble(), 100);
        EXPECT_TRUE(failureLines().isEmpty());
    }
}

TEST_F(Branch, PeriodRunSelectsClientsByTheDatesOfTheirRecords)
{
    local(QString::fromUtf8(kClients));
    local(QStringLiteral("INSERT INTO BILET (B_NID, B_K_NID, B_DATA, B_DATA_VIK, B_NEW_OLD, B_KTO) VALUES "
                         "('B1','K1','2010-02-01 00:00:00','2010-03-02 00:00:00','OLD','F1'),"
                         "('B2','K2','2010-03-06 00:00:00',NULL,'NEW','F1');"
                         "INSERT INTO AVANS (AV_NID, AV_DATA, AV_PERSON, AV_KTO, AV_NEW_OLD) VALUES ('A1','2010-03-03 00:00:00','K3','F1','OLD');"));
    EXPECT_EQ(run(false, QDate(2010, 3, 1), QDate(2010, 3, 4)), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(K_NID, ',') FROM (SELECT K_NID FROM KLIENT ORDER BY K_NID)")).toString(),
              QStringLiteral("K1,K3"));
}

// Kept marks come back as they went in, in order, whatever their values: texts of any
// script, nulls of a type, dates and numbers, and shapes that come and go again.
TEST(KeptMarks, ComeBackAsTheyWentIn)
{
    const QString a = QStringLiteral("UpDate BILET Set B_NEW_OLD='OLD' Where B_NID=%1 ");
    const QString b = QStringLiteral("UpDate AVANS Set AV_NEW_OLD='OLD' Where AV_NID=%1 and AV_DATA=%2");
    QVector<Statement> in;
    for (int i = 0; i < 450; ++i) {
        if (i % 7 == 3)
            in << Statement(b, {QVariant(QMetaType(QMetaType::QString)), QDateTime(QDate(2010, 3, 1 + i % 28), QTime(0, 0))});
        else if (i % 11 == 5)
            in << Statement(b, {QStringLiteral("Ключ «%1» ").arg(i) + QString(200, QChar(0x4e2d)), 12.5 + i});
        else
            in << Statement(a, {i == 9 ? QVariant() : QVariant(QStringLiteral("b%1").arg(i))});
    }
    in << Statement(QStringLiteral("UpDate BILET Set B_NEW_OLD='OLD' Where B_KTO='F1'"));
    DeferredMarks kept;
    for (const Statement& s : in)
        kept.add(s);
    EXPECT_EQ(kept.size(), in.size());
    QVector<Statement> out;
    QVector<qsizetype> chunks;
    kept.forEach(200, [&](const QVector<Statement>& part) {
        chunks << part.size();
        out << part;
    });
    EXPECT_EQ(chunks, (QVector<qsizetype>{200, 200, 51}));
    ASSERT_EQ(out.size(), in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        EXPECT_EQ(out[i].sql(), in[i].sql()) << i;
        ASSERT_EQ(out[i].values().size(), in[i].values().size()) << i;
        for (qsizetype k = 0; k < in[i].values().size(); ++k) {
            const QVariant &x = in[i].values()[k], &y = out[i].values()[k];
            EXPECT_EQ(y.isValid(), x.isValid()) << i;
            EXPECT_EQ(y.isNull(), x.isNull()) << i;
            EXPECT_EQ(y.metaType(), x.metaType()) << i;
            EXPECT_EQ(y, x) << i;
        }
    }
}

// The window's thread is woken for the first news; while it holds, more news only fills the
// outbox; a drain that takes something keeps the hold, an empty one ends it.
TEST(RunNews, AHeldReceiverIsWokenOnceAndLosesNothing)
{
    RunContext run{RunRequest{}};
    int wakes = 0;
    run.onNews = [&] { ++wakes; };
    run.setBarMax(Bar::Klient, 100);
    EXPECT_EQ(wakes, 1);
    RunContext::Outbox out = run.drain(true);
    EXPECT_TRUE(out.barsTouched[size_t(Bar::Klient)]);
    for (int i = 1; i <= 50; ++i)
        run.setBarPos(Bar::Klient, i);
    run.addLine(QStringLiteral("одна строка\nи вторая"));
    EXPECT_EQ(wakes, 1) << "held: the rows fill the outbox without waking the receiver";
    out = run.drain(true);
    EXPECT_EQ(out.bars[size_t(Bar::Klient)].pos, 50);
    ASSERT_EQ(out.lines.size(), 2);
    EXPECT_EQ(out.lines[1].text, QStringLiteral("и вторая"));
    out = run.drain(true); // the hold ends with nothing new: the next news wakes at once
    EXPECT_TRUE(out.lines.isEmpty());
    run.tellRefusal(QStringLiteral("refused"));
    EXPECT_EQ(wakes, 2);
    // A drain without a hold lets every news wake, as before.
    out = run.drain();
    run.setBarPos(Bar::Klient, 60);
    EXPECT_EQ(wakes, 3);
}
