// The shared contract of every step that sends records with a send marker, run over each
// row of the catalogue that does so: only the branch's "NEW" rows go by day, a refused
// row is logged and still marked, a busy database ends the step without marking, a failure
// outside the guard ends the run with the connection-loss line, and marking never stops a
// walk early.
#include "transfer_fixture.h"

#include "transfer/runcontext.h"
#include "data/catalogue.h"

#include <QSqlDatabase>
#include <QSqlQuery>

using namespace varid;
using varid::testing::Branch;

namespace {

struct Kind {
    Switch sw;
    const char* table;
    const char* localKey; // where the test's identifier stands locally
    const char* mainKey;  // and where it arrives on the main database
    const char* marker;
    const char* insert;   // %1 identifier, %2 branch, %3 marker
    const char* refusedLead;
    bool keyHasBranch;    // the main key is the branch code followed by the identifier
};

const Kind kKinds[] = {
    {Switch::Bilet, "BILET", "B_NID", "B_NID", "B_NEW_OLD",
     "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_KTO, B_NEW_OLD) VALUES ('%1', 1, '2010-03-05 00:00:00', '%2', '%3');",
     "Ошибка! Записи на ГлС отк. билета B_NID=", false},
    {Switch::Prodlenie, "PRODLENIE", "PRO_NID", "PRO_B_NID", "PRO_NEW_OLD",
     "INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO, PRO_NEW_OLD) VALUES ('%1', '%1', '2010-03-05 00:00:00', 5, '%2', '%3');",
     "Ошибка! Записи на ГлС продления PRO_B_NID=", false},
    {Switch::Realiz, "REALIZ", "REA_NID", "REA_KEY", "REA_NEW_OLD",
     "INSERT INTO REALIZ (REA_NID, REA_DATA, REA_NOMER, REA_KTO, REA_NEW_OLD) VALUES ('%1', '2010-03-05 00:00:00', 1, '%2', '%3');",
     "Ошибка! Записи на ГлС Реализации REA_KEY=", true},
    {Switch::Avans, "AVANS", "AV_NID", "AV_NID", "AV_NEW_OLD",
     "INSERT INTO AVANS (AV_NID, AV_DATA, AV_NOMER, AV_KTO, AV_NEW_OLD) VALUES ('%1', '2010-03-05 00:00:00', 1, '%2', '%3');",
     "Ошибка! Записи на ГлС АО AV_NID=", false},
    {Switch::Ostatok, "OSTATOK", "O_NID", "O_SCHET", "O_NEW_OLD",
     "INSERT INTO OSTATOK (O_NID, O_SCHET, O_MESIC, O_GOD, O_KTO, O_NEW_OLD, O_DEBET, O_KREDIT) VALUES ('%1', '%1', 3, 2010, '%2', '%3', 1, 2);",
     "Ошибка! Записи на ГлС Остатков O_SCHET=", false},
    {Switch::GL_Book, "GL_BOOK", "G_NID", "G_NID", "G_NEW_OLD",
     "INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES ('%1', '2010-03-05 00:00:00', '%2', '1', 1, '%3');",
     "Ошибка! Записи на ГлС Ж.О. G_DATA=", false},
};

class Chain : public Branch {
protected:
    void seed(const Kind& k)
    {
        auto row = [&](const char* id, const char* kto, const char* marker) {
            local(QString::fromUtf8(k.insert).arg(QString::fromLatin1(id), QString::fromLatin1(kto), QString::fromLatin1(marker)));
        };
        row("n1", "F1", "NEW");
        row("n2", "F1", "NEW");
        row("n3", "F1", "NEW");
        row("o1", "F1", "OLD");
        row("x1", "F2", "NEW");
    }
    QString mainId(const Kind& k, const char* id) const
    {
        return (k.keyHasBranch ? QStringLiteral("F1") : QString()) + QString::fromLatin1(id);
    }
    bool onMain(const Kind& k, const char* id)
    {
        return mainValue(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2='%3'")
                             .arg(QString::fromLatin1(k.table), QString::fromLatin1(k.mainKey), mainId(k, id))).toInt() > 0;
    }
    QString markerOf(const Kind& k, const char* id)
    {
        return localValue(QStringLiteral("SELECT %1 FROM %2 WHERE %3='%4'")
                              .arg(QString::fromLatin1(k.marker), QString::fromLatin1(k.table), QString::fromLatin1(k.localKey),
                                   QString::fromLatin1(id))).toString();
    }
};

} // namespace

TEST_F(Chain, OnlyNewRowsOfTheBranchGoAndARefusedRowIsLoggedAndMarked)
{
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.table);
        SetUp(); // fresh databases for each kind
        seed(k);
        main(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 WHEN NEW.%2='%3' BEGIN SELECT RAISE(ABORT, 'refused by trigger'); END;")
                 .arg(QString::fromLatin1(k.table), QString::fromLatin1(k.mainKey), mainId(k, "n2")));
        only(k.sw);
        QStringList refusals;
        QObject::connect(st.get(), &Station::refusal, st.get(), [&](const QString& m) { refusals << m; });
        EXPECT_EQ(run(), RunEnd::Completed);
        EXPECT_TRUE(onMain(k, "n1"));
        EXPECT_FALSE(onMain(k, "n2"));
        EXPECT_TRUE(onMain(k, "n3")); // the walk went on after the refused row and its mark
        EXPECT_FALSE(onMain(k, "o1"));
        EXPECT_FALSE(onMain(k, "x1"));
        for (const char* id : {"n1", "n2", "n3"})
            EXPECT_EQ(markerOf(k, id), QStringLiteral("OLD")) << id;
        EXPECT_EQ(markerOf(k, "x1"), QStringLiteral("NEW"));
        const QStringList failed = failureLines();
        ASSERT_EQ(failed.size(), 1) << failed.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(failed[0].startsWith(QString::fromUtf8(k.refusedLead))) << failed[0].toStdString();
        EXPECT_EQ(st->panel().errorMarker(), QStringLiteral("05.03.2010"));
        ASSERT_EQ(refusals.size(), 1);
        EXPECT_TRUE(refusals[0].contains(QStringLiteral("refused by trigger")));
    }
}

TEST_F(Chain, AFailureOutsideTheGuardEndsTheRunWithTheConnectionLossLine)
{
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.table);
        SetUp();
        seed(k);
        main(QStringLiteral("DROP TABLE %1;").arg(QString::fromLatin1(k.table)));
        only(k.sw);
        const RunEnd end = run();
        EXPECT_EQ(end, k.sw == Switch::GL_Book ? RunEnd::JournalLost : RunEnd::ConnectionLost);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.last(), QStringLiteral("-----   Обрыв связи в 05.03.2010 12:00:00  -----"));
        EXPECT_EQ(lines.filter(QStringLiteral("Обрыв связи")).size(), 1);
        EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("0"));
        EXPECT_EQ(markerOf(k, "n1"), QStringLiteral("NEW"));
    }
}

TEST_F(Chain, ABusyMainDatabaseEndsTheStepAndMarksNothing)
{
    Connection::busyTimeoutMs = 50;
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.table);
        SetUp();
        seed(k);
        only(k.sw);
        // Another writer holds the main database for the whole run.
        const QString name = QStringLiteral("holder");
        {
            QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            holder.setDatabaseName(mainFile());
            ASSERT_TRUE(holder.open());
            QSqlQuery q(holder);
            ASSERT_TRUE(q.exec(QStringLiteral("BEGIN IMMEDIATE")));
            run();
            q.exec(QStringLiteral("ROLLBACK"));
            holder.close();
        }
        QSqlDatabase::removeDatabase(name);
        EXPECT_TRUE(failureLines().isEmpty()) << failureLines().join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(lines.filter(QStringLiteral("Обрыв связи")).size() == 1);
        EXPECT_FALSE(onMain(k, "n1"));
        EXPECT_EQ(markerOf(k, "n1"), QStringLiteral("NEW")); // the next attempt sends it
        EXPECT_TRUE(st->panel().errorMarker().isEmpty());
        // The next run, with the database free again, sends it.
        run();
        EXPECT_TRUE(onMain(k, "n1"));
    }
    Connection::busyTimeoutMs = 10000;
}

// The marks of the rows copied before the main database stopped answering are kept: the
// step ends, but what was sent stays sent, and only the rest waits for the next run. A
// ticket or a report is the exception: its children's pass had not run, so it stays "NEW"
// and goes again with them.
TEST_F(Chain, RowsSentBeforeTheMainDatabaseWentBusyKeepTheirMarks)
{
    const varid::testing::RowByRow seams; // the main database is taken after the first row
    Connection::busyTimeoutMs = 50;
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.table);
        SetUp();
        seed(k);
        RunRequest r;
        r.branch = QStringLiteral("F1");
        r.period = Period{QDate(2010, 3, 5), QDate(2010, 3, 5)};
        r.incremental = true;
        r.switches.fill(false);
        r.switches[size_t(k.sw)] = true;
        DM dm(QStringLiteral("-b"));
        DM2 dm2(dm, QStringLiteral("-b"));
        connectBoth(dm, dm2);
        {
            varid::testing::TakeMainAt context(r, mainFile());
            const RunOutcome o = Transfer(dm, dm2, context, host).run();
            EXPECT_NE(o.end, RunEnd::Completed);
        }
        EXPECT_TRUE(onMain(k, "n1"));
        const bool parent = k.sw == Switch::Bilet || k.sw == Switch::Avans;
        EXPECT_EQ(markerOf(k, "n1"), parent ? QStringLiteral("NEW") : QStringLiteral("OLD"));
        for (const char* id : {"n2", "n3"}) {
            EXPECT_FALSE(onMain(k, id)) << id;
            EXPECT_EQ(markerOf(k, id), QStringLiteral("NEW")) << id;
        }
    }
    Connection::busyTimeoutMs = 10000;
}

TEST_F(Chain, ARowWithoutAKeyIsRefusedAndNothingIsInserted)
{
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES "
                         "(NULL, '2010-03-05 00:00:00', 'F1', '1', 1, 'NEW'), ('', '2010-03-05 00:00:00', 'F1', '1', 2, 'NEW');"));
    only(Switch::GL_Book);
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(failureLines().size(), 2);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK")).toInt(), 0);
    run(); // and again: still nothing inserted twice
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK")).toInt(), 0);
}

TEST_F(Chain, AnIdentifierThatLooksLikeADateStaysAnIdentifier)
{
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES "
                         "('01.02.2010', '2010-03-05 00:00:00', 'F1', '1', 1, 'NEW');"));
    only(Switch::GL_Book);
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(localValue(QStringLiteral("SELECT G_NEW_OLD FROM GL_BOOK")).toString(), QStringLiteral("OLD"));
    run();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(G_NID) FROM GL_BOOK")).toString(), QStringLiteral("01.02.2010"));
}

TEST_F(Chain, TheStepTableDrivesTheChain)
{
    // Every switch has its row, in order, and every bar belongs to exactly one row.
    std::array<int, kBarCount> owners{};
    for (int i = 0; i < kSwitchCount; ++i) {
        const StepDef& s = steps()[size_t(i)];
        EXPECT_EQ(int(s.sw), i);
        for (int b = 0; b < s.barCount(); ++b)
            ++owners[size_t(s.bars[size_t(b)].bar)];
    }
    for (int n : owners)
        EXPECT_EQ(n, 1);
    // With every switch off the journal step still ends the run, which counts.
    only(Switch::Count);
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("1"));
}

namespace {
// A run state that asks for a stop while the named bar moves: inside a step.
class StopInside : public RunContext {
public:
    StopInside(const RunRequest& r, Bar b) : RunContext(r), bar_(b) {}
    void setBarPos(Bar b, int pos) override
    {
        RunContext::setBarPos(b, pos);
        if (b == bar_)
            requestStop();
    }

private:
    Bar bar_;
};
} // namespace

TEST_F(Chain, AStopIsHonouredBetweenStepsNeverInsideOne)
{
    // A night run whose journal period is replaced: asked to stop on the first re-sent
    // entry, it still re-sends the whole period before it ends.
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES "
                         "('g1','2010-03-02 00:00:00','F1','1',1,'OLD'),('g2','2010-03-03 00:00:00','F1','1',1,'OLD');"));
    main(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES "
                        "('g1','2010-03-02 00:00:00','F1','1',1,'OLD'),('g2','2010-03-03 00:00:00','F1','1',1,'OLD'),"
                        "('gx','2010-03-03 00:00:00','F1','1',1,'OLD');"));
    RunRequest request;
    request.incremental = false;
    request.period = Period{QDate(2010, 3, 1), QDate(2010, 3, 5)};
    request.branch = QStringLiteral("F1");
    request.switches.fill(false);
    request.switches[size_t(Switch::Klient)] = true;
    request.switches[size_t(Switch::GL_Book)] = true;
    {
        DM dm(QStringLiteral("-t"));
        DM2 dm2(dm, QStringLiteral("-t"));
        connectBoth(dm, dm2);
        StopInside journal(request, Bar::GL_Book);
        const RunOutcome o = Transfer(dm, dm2, journal, host).run();
        EXPECT_EQ(o.end, RunEnd::Completed); // the journal was the last step: nothing after it to skip
        EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(G_NID) FROM (SELECT G_NID FROM GL_BOOK ORDER BY 1)")).toString(),
                  QStringLiteral("g1,g2"));

        local(QStringLiteral("INSERT INTO KLIENT (K_NID, K_FIO) VALUES ('k1','А'),('k2','Б');"
                             "UPDATE GL_BOOK SET G_A_DT = CASE G_NID WHEN 'g1' THEN 'k1' ELSE 'k2' END;"));
        StopInside clients(request, Bar::Klient);
        const RunOutcome o2 = Transfer(dm, dm2, clients, host).run();
        EXPECT_EQ(o2.end, RunEnd::Stopped);
        EXPECT_EQ(o2.failedStep, QStringLiteral("Rec_Personal"));
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM KLIENT")).toInt(), 2); // the step ended whole
        const RunContext::Outbox out = clients.drain();
        ASSERT_FALSE(out.lines.isEmpty());
        EXPECT_EQ(out.lines.last().text, QStringLiteral("-----   Передача остановлена в 05.03.2010 12:00:00  -----"));
    }
}
