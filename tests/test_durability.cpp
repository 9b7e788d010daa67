// Nothing lost at the seams between rows: a parent and its children, a period's deletion and
// its re-send, a database that cannot take writes now, two programs on one branch database.
#include "transfer_fixture.h"

#include "data/errorclass.h"
#include "reconcile/detail.h"
#include "shell/databaselock.h"
#include "transfer/replacejournal.h"
#include "transfer/runcontext.h"
#include "data/catalogue.h"
#include "transfer/transfer.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include <optional>

using namespace varid;
using varid::testing::Branch;
using varid::testing::TakeMainAt;

namespace {

class Durability : public Branch {
protected:
    void SetUp() override
    {
        Branch::SetUp();
        Connection::busyTimeoutMs = 50;
    }
    void TearDown() override { Connection::busyTimeoutMs = 10000; }

    QString journalFile() const { return QDir(home()).filePath(QStringLiteral("Replace.jrn")); }

    RunRequest request(bool incremental, Switch only) const
    {
        RunRequest r;
        r.branch = QStringLiteral("F1");
        r.incremental = incremental;
        r.period = Period{QDate(2010, 3, 1), QDate(2010, 3, 5)};
        r.switches.fill(false);
        if (only != Switch::Count)
            r.switches[size_t(only)] = true;
        r.journal = journalFile();
        return r;
    }
    // One run of the engine on its own connections, broken off where `context` says.
    RunOutcome runWith(RunContext& context)
    {
        DM dm(QStringLiteral("-d"));
        DM2 dm2(dm, QStringLiteral("-d"));
        connectBoth(dm, dm2);
        return Transfer(dm, dm2, context, host).run();
    }
    QStringList linesOf(RunContext& c)
    {
        QStringList out;
        for (const RunContext::Entry& e : c.drain().lines)
            if (!e.refusal)
                out << e.text;
        return out;
    }
};

} // namespace

// A ticket and an advance report are marked only after their lines have gone: a break-off in
// the line pass leaves the parent "NEW", and the next run sends it and every line again.
TEST_F(Durability, AParentStaysNewUntilItsLinesAreSent)
{
    struct Case {
        Switch sw;
        Bar lineBar;
        const char* parent;
        const char* lines;
        const char* marker;
        const char* lineTable;
        const char* lineParent;
    } cases[] = {
        {Switch::Bilet, Bar::BLine,
         "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_KTO, B_NEW_OLD) VALUES ('p1', 1, '2010-03-05 00:00:00', 'F1', 'NEW');",
         "INSERT INTO BILET_LINE (BL_NID, BL_B_NID, BL_NOMER, BL_DATA, BL_SUMMA) VALUES "
         "('l1','p1',1,'2010-03-05 00:00:00',1),('l2','p1',2,'2010-03-05 00:00:00',2),('l3','p1',3,'2010-03-05 00:00:00',3);",
         "SELECT B_NEW_OLD FROM BILET WHERE B_NID='p1'", "BILET_LINE", "BL_B_NID"},
        {Switch::Avans, Bar::AV_Line,
         "INSERT INTO AVANS (AV_NID, AV_DATA, AV_NOMER, AV_KTO, AV_NEW_OLD) VALUES ('p1', '2010-03-05 00:00:00', 1, 'F1', 'NEW');",
         "INSERT INTO AVANS_LINE (AVL_NID, AVL_AV_NID, AVL_NOMER, AVL_DATA, AVL_SUMMA) VALUES "
         "('l1','p1',1,'2010-03-05 00:00:00',1),('l2','p1',2,'2010-03-05 00:00:00',2),('l3','p1',3,'2010-03-05 00:00:00',3);",
         "SELECT AV_NEW_OLD FROM AVANS WHERE AV_NID='p1'", "AVANS_LINE", "AVL_AV_NID"},
    };
    // Row by row the main database is taken after the first line; in batches, as the batch of
    // lines begins, and none of them goes.
    for (const bool batched : {false, true})
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lineTable);
        SCOPED_TRACE(batched ? "in batches" : "row by row");
        SetUp();
        std::optional<varid::testing::RowByRow> single;
        if (!batched)
            single.emplace();
        local(QString::fromUtf8(c.parent) + QString::fromUtf8(c.lines));
        const QString mainLines = QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2='p1'")
                                      .arg(QString::fromLatin1(c.lineTable), QString::fromLatin1(c.lineParent));
        {
            TakeMainAt broken(request(true, c.sw), mainFile(), c.lineBar, batched ? 1 : 2);
            EXPECT_EQ(runWith(broken).end, RunEnd::ConnectionLost);
        }
        EXPECT_EQ(mainValue(mainLines).toInt(), batched ? 0 : 1); // what went before the break
        EXPECT_EQ(localValue(QString::fromUtf8(c.marker)).toString(), QStringLiteral("NEW"));
        {
            RunContext next(request(true, c.sw));
            EXPECT_EQ(runWith(next).end, RunEnd::Completed);
        }
        EXPECT_EQ(mainValue(mainLines).toInt(), 3);
        EXPECT_EQ(localValue(QString::fromUtf8(c.marker)).toString(), QStringLiteral("OLD"));
    }
}

// A period replacement is journaled before its deletion: a run that breaks off after the
// deletion leaves the journal, and the next run (a day run, which would not send these "OLD"
// rows) sends that kind's period again first, says so, and forgets the entry.
TEST_F(Durability, ABrokenPeriodReplacementIsSentAgainByTheNextRun)
{
    const varid::testing::RowByRow seams; // broken off after the first row; batches have their own test
    struct Case {
        Switch sw;
        Bar bar;
        const char* summary;
        const char* rows;     // %1 id, on both databases
        const char* mainOnly; // the row that makes the main database hold more
        const char* count;    // the branch's rows on the main database
    } cases[] = {
        {Switch::GL_Book, Bar::GL_Book, "главная книга",
         "INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES ('%1', '2010-03-03 00:00:00', 'F1', '1', 1, 'OLD');",
         "INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA) VALUES ('gx', '2010-03-03 00:00:00', 'F1', '1', 1);",
         "SELECT COUNT(*) FROM GL_BOOK WHERE G_KTO='F1'"},
        {Switch::Prodlenie, Bar::Prodlen, "продления",
         "INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO, PRO_NEW_OLD) VALUES ('%1', '%1', '2010-03-03 00:00:00', 5, 'F1', 'OLD');",
         "INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES ('px', 'px', '2010-03-03 00:00:00', 5, 'F1');",
         "SELECT COUNT(*) FROM PRODLENIE WHERE PRO_KTO='F1'"},
        {Switch::Realiz, Bar::Real, "реализация",
         "INSERT INTO REALIZ (REA_NID, REA_KEY, REA_DATA, REA_NOMER, REA_KTO, REA_NEW_OLD) VALUES ('%1', 'F1%1', '2010-03-03 00:00:00', 1, 'F1', 'OLD');",
         "INSERT INTO REALIZ (REA_NID, REA_KEY, REA_DATA, REA_NOMER, REA_KTO) VALUES ('rx', 'F1rx', '2010-03-03 00:00:00', 1, 'F1');",
         "SELECT COUNT(*) FROM REALIZ WHERE REA_KTO='F1'"},
        {Switch::Bilet, Bar::BLine, "билеты",
         "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_KTO, B_NEW_OLD) VALUES ('t-%1', 1, '2010-03-03 00:00:00', 'F1', 'OLD');"
         "INSERT INTO BILET_LINE (BL_NID, BL_B_NID, BL_NOMER, BL_DATA, BL_SUMMA) VALUES ('%1', 't-%1', 1, '2010-03-03 00:00:00', 1);",
         "SELECT 1",
         "SELECT COUNT(*) FROM BILET_LINE"},
        {Switch::Ostatok, Bar::Ostatok, "остатки",
         "INSERT INTO OSTATOK (O_NID, O_SCHET, O_MESIC, O_GOD, O_KTO, O_NEW_OLD, O_DEBET, O_KREDIT) VALUES ('%1', '%1', 3, 2010, 'F1', 'OLD', 1, 2);",
         "INSERT INTO OSTATOK (O_NID, O_SCHET, O_MESIC, O_GOD, O_KTO, O_DEBET, O_KREDIT) VALUES ('ox', 'ox', 3, 2010, 'F1', 1, 2);",
         "SELECT COUNT(*) FROM OSTATOK WHERE O_KTO='F1'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        SetUp();
        for (const char* id : {"a1", "a2", "a3"}) {
            local(QString::fromUtf8(c.rows).arg(QString::fromLatin1(id)));
            main(QString::fromUtf8(c.rows).arg(QString::fromLatin1(id)));
        }
        main(QString::fromUtf8(c.mainOnly));
        {
            TakeMainAt broken(request(false, c.sw), mainFile(), c.bar, 2);
            EXPECT_NE(runWith(broken).end, RunEnd::Completed);
        }
        EXPECT_LT(mainValue(QString::fromUtf8(c.count)).toInt(), 3); // deleted, partly sent
        const QVector<Replacement> left = ReplaceJournal(journalFile()).entries();
        ASSERT_EQ(left.size(), 1);
        EXPECT_EQ(left[0].branch, QStringLiteral("F1"));
        EXPECT_EQ(left[0].from, QDate(2010, 3, 1));
        EXPECT_EQ(left[0].to, QDate(2010, 3, 5));

        RunContext next(request(true, Switch::Count)); // a day run with nothing new
        EXPECT_EQ(runWith(next).end, RunEnd::Completed);
        const QStringList lines = linesOf(next);
        EXPECT_TRUE(lines.contains(QStringLiteral("-----   Повторная передача прерванной замены: ") + QString::fromUtf8(c.summary)
                                   + QStringLiteral(" с 01.03.2010 по 05.03.2010")))
            << lines.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(mainValue(QString::fromUtf8(c.count)).toInt(), 3); // the branch's rows, the main-only one gone
        EXPECT_FALSE(QFile::exists(journalFile()));
    }
}

// A deletion that would empty a branch's period on the main database on the word of a branch
// database holding nothing of it is skipped, said in the log with the main database's count,
// and the run asks for attention; a branch holding some rows still has its period replaced.
TEST_F(Durability, AnEmptyBranchPeriodNeverEmptiesTheMainDatabase)
{
    main(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA) VALUES "
                        "('g1', '2010-03-03 00:00:00', 'F1', '1', 1), ('g2', '2010-03-03 00:00:00', 'F1', '1', 1);"));
    EXPECT_EQ(run(false, QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK")).toInt(), 2);
    EXPECT_TRUE(lines.contains(QStringLiteral("Внимание! На ГлС не удалено: главная книга с 01.03.2010 по 05.03.2010, в филиале строк нет, на ГлС 2")))
        << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(st->panel().errorMarker().isEmpty());
    // One entry at the branch: the main database's other one goes.
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES ('g1', '2010-03-03 00:00:00', 'F1', '1', 1, 'OLD');"));
    EXPECT_EQ(run(false, QDate(2010, 3, 1), QDate(2010, 3, 5)), RunEnd::Completed);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(G_NID) FROM GL_BOOK")).toString(), QStringLiteral("g1"));
}

// What says the database cannot take writes now is no refused row, on either path: a full
// database, a read-only one and a damaged index end the step, mark nothing without its copy
// and write no failure line; the next run, with the fault gone, sends every row.
TEST_F(Durability, AFullOrReadOnlyMainDatabaseIsNoRefusal)
{
    const char* faults[] = {"full", "readonly", "damaged"};
    for (const char* fault : faults) {
        SCOPED_TRACE(fault);
        SetUp();
        for (int i = 1; i <= 5; ++i)
            local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD, G_SODER) VALUES "
                                 "('g%1', '2010-03-05 00:00:00', 'F1', '1', 1, 'NEW', '%2');").arg(i).arg(QString(3000, QLatin1Char('x'))));
        QByteArray intact;
        if (qstrcmp(fault, "damaged") == 0) {
            // A damaged page: the root of the main ledger's key index overwritten.
            const int root = mainValue(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name='IX_G_NID'")).toInt();
            const int size = mainValue(QStringLiteral("PRAGMA page_size")).toInt();
            ASSERT_GT(root, 0);
            QFile f(mainFile());
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            intact = f.readAll();
            f.seek(qint64(root - 1) * size);
            f.write(QByteArray(size, '\x5a'));
        }
        RunContext context(request(true, Switch::GL_Book));
        {
            DM dm(QStringLiteral("-f"));
            DM2 dm2(dm, QStringLiteral("-f"));
            connectBoth(dm, dm2);
            if (qstrcmp(fault, "full") == 0) {
                // The main file may not grow by a page: a real SQLITE_FULL.
                QSqlQuery pages = dm2.ADOC2.run(QStringLiteral("PRAGMA page_count"));
                ASSERT_TRUE(pages.next());
                const int n = pages.value(0).toInt();
                pages.finish();
                dm2.ADOC2.run(QStringLiteral("PRAGMA max_page_count=%1").arg(n)).finish();
            } else {
                dm2.ADOC2.run(QStringLiteral("PRAGMA query_only=1")).finish(); // a real SQLITE_READONLY
            }
            const RunOutcome o = Transfer(dm, dm2, context, host).run();
            EXPECT_NE(o.end, RunEnd::Completed) << o.error.toStdString();
        }
        const QStringList lines = linesOf(context);
        EXPECT_TRUE(lines.filter(QStringLiteral("Ошибка!")).isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();
        // Marked only where the copy is on the main database: not one row without it.
        const int copied = intact.isEmpty() ? mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK")).toInt() : 0;
        EXPECT_LT(copied, 5);
        EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK WHERE G_NEW_OLD='OLD'")).toInt(), copied);
        EXPECT_TRUE(context.errorMarker().isEmpty());
        if (!intact.isEmpty()) { // the main file restored, as the chain's IT would
            QFile f(mainFile());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(intact);
        }
        RunContext next(request(true, Switch::GL_Book));
        EXPECT_EQ(runWith(next).end, RunEnd::Completed);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK")).toInt(), 5);
    }
}

// The one table of error classes, row by row, as each client reports the failure.
TEST(ErrorClasses, EachFaultIsClassedOnEveryPath)
{
    struct Case {
        ErrorSource source;
        const char* code;
        const char* text;
        ErrorClass expected;
    } cases[] = {
        // refusals: the row is at fault
        {ErrorSource::Sqlite, "1555", "UNIQUE constraint failed: t.a Unable to fetch row", ErrorClass::Refused},
        {ErrorSource::SqliteOdbc, "19", "[SQLite]UNIQUE constraint failed: t.a (19)", ErrorClass::Refused},
        {ErrorSource::Sqlite, "1811", "refused by a trigger", ErrorClass::Refused},
        {ErrorSource::Sqlite, "1", "no such table: X", ErrorClass::Refused},
        {ErrorSource::SqlServer, "2627", "Violation of PRIMARY KEY constraint", ErrorClass::Refused},
        {ErrorSource::SqlServer, "547", "The INSERT statement conflicted with the CHECK constraint", ErrorClass::Refused},
        {ErrorSource::SqlServer, "8152", "String or binary data would be truncated", ErrorClass::Refused},
        {ErrorSource::SqlServer, "2812", "Could not find stored procedure 'Ins_X'", ErrorClass::Refused},
        {ErrorSource::SqlServer, "50000", "raised by a trigger", ErrorClass::Refused},
        // busy, locked, time-outs, deadlocks, lost connections
        {ErrorSource::Sqlite, "5", "database is locked", ErrorClass::Unavailable},
        {ErrorSource::Sqlite, "517", "database is locked", ErrorClass::Unavailable},
        {ErrorSource::SqliteOdbc, "5", "[SQLite]database is locked (5)", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "1205", "chosen as the deadlock victim", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "1222", "Lock request time out period exceeded", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "0", "[Microsoft][ODBC Driver] [HYT00] Query timeout expired", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "08S01", "Communication link failure", ErrorClass::Unavailable},
        // full disks and logs
        {ErrorSource::Sqlite, "13", "database or disk is full", ErrorClass::Unavailable},
        {ErrorSource::SqliteOdbc, "13", "[SQLite]database or disk is full (13)", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "1105", "Could not allocate space for object", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "9002", "The transaction log for database is full", ErrorClass::Unavailable},
        // read-only databases
        {ErrorSource::Sqlite, "8", "attempt to write a readonly database", ErrorClass::Unavailable},
        {ErrorSource::Sqlite, "1032", "attempt to write a readonly database", ErrorClass::Unavailable},
        {ErrorSource::SqliteOdbc, "8", "[SQLite]attempt to write a readonly database (8)", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "3906", "Failed to update database because the database is read-only", ErrorClass::Unavailable},
        // I/O errors and damage
        {ErrorSource::Sqlite, "10", "disk I/O error", ErrorClass::Unavailable},
        {ErrorSource::Sqlite, "266", "disk I/O error", ErrorClass::Unavailable},
        {ErrorSource::Sqlite, "11", "database disk image is malformed", ErrorClass::Unavailable},
        {ErrorSource::SqliteOdbc, "26", "[SQLite]file is not a database (26)", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "823", "The operating system returned error", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "824", "SQL Server detected a logical consistency-based I/O error", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "605", "Attempt to fetch logical page", ErrorClass::Unavailable},
        // memory
        {ErrorSource::Sqlite, "7", "out of memory", ErrorClass::Unavailable},
        {ErrorSource::SqlServer, "701", "There is insufficient system memory", ErrorClass::Unavailable},
    };
    for (const Case& c : cases)
        EXPECT_EQ(classify(c.source, QString::fromLatin1(c.code), QString::fromUtf8(c.text)), c.expected)
            << int(c.source) << " " << c.code << " " << c.text;
}

// A repair deletes inside its day and kind only; a main record whose key the branch holds on
// another day is the branch's record sent again, not a record to delete.
TEST_F(Durability, ARepairDeletesInsideItsDayAndKindOnly)
{
    const QDate day(2010, 3, 3);
    local(QStringLiteral(
        "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_STATYS, B_SUMMA, B_KTO, B_NEW_OLD) VALUES ('tz', 5, '2010-03-04 00:00:00', 'открыт', 5, 'F1', 'OLD');"
        "INSERT INTO OSTATOK (O_NID, O_SCHET, O_MESIC, O_GOD, O_KTO, O_NEW_OLD, O_DEBET, O_KREDIT) VALUES ('o1', '50', 4, 2010, 'F1', 'OLD', 1, 1);"));
    main(QStringLiteral(
        // tickets: one only on the main database that day, one of the next day, another
        // branch's, and the branch's tz under another date
        "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES "
        "('t9', 9, '2010-03-03 00:00:00', 'открыт', 9, 'F1'), ('t8', 8, '2010-03-04 00:00:00', 'открыт', 8, 'F1'),"
        "('x1', 1, '2010-03-03 00:00:00', 'открыт', 1, 'F2'), ('tz', 5, '2010-03-03 00:00:00', 'открыт', 5, 'F1');"
        // balances: the same account in March (only on the main database), April (at the
        // branch too) and in March of another year; and a main-only one without O_KASSA
        "INSERT INTO OSTATOK (O_NID, O_SCHET, O_MESIC, O_GOD, O_KTO, O_DEBET, O_KREDIT, O_KASSA) VALUES "
        "('m3', '50', 3, 2010, 'F1', 1, 1, 'K'), ('m4', '50', 4, 2010, 'F1', 1, 1, NULL), ('y9', '50', 3, 2009, 'F1', 1, 1, 'K'),"
        "('mn', '51', 3, 2010, 'F1', 2, 2, NULL), ('f2', '50', 3, 2010, 'F2', 1, 1, 'K');"));
    ASSERT_TRUE(st->connectSequence(Station::Variant::Test));

    ASSERT_TRUE(st->repair(day, kindByTable(QStringLiteral("BILET"))));
    st->waitForRun();
    ASSERT_EQ(st->lastOutcome.end, RunEnd::Completed) << st->lastOutcome.error.toStdString();
    EXPECT_EQ(st->repairDeleted, 1);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(B_NID) FROM (SELECT B_NID FROM BILET ORDER BY B_NID)")).toString(),
              QStringLiteral("t8,tz,x1"));
    // tz went again with the branch's own date
    EXPECT_EQ(mainValue(QStringLiteral("SELECT B_DATA FROM BILET WHERE B_NID='tz'")).toString(), QStringLiteral("2010-03-04 00:00:00"));
    EXPECT_EQ(localValue(QStringLiteral("SELECT B_NEW_OLD FROM BILET WHERE B_NID='tz'")).toString(), QStringLiteral("OLD"));

    ASSERT_TRUE(st->repair(day, kindByTable(QStringLiteral("OSTATOK"))));
    st->waitForRun();
    ASSERT_EQ(st->lastOutcome.end, RunEnd::Completed) << st->lastOutcome.error.toStdString();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(O_NID) FROM (SELECT O_NID FROM OSTATOK ORDER BY O_NID)")).toString(),
              QStringLiteral("f2,m4,y9")); // March 2010's main-only balances gone, April's, 2009's and F2's kept
    EXPECT_FALSE(QFile::exists(journalFile()));
}

// Every dated kind: the repair of a day deletes the branch's main-only record of that day and
// keeps its main-only record of the next day and another branch's record of that day.
TEST_F(Durability, ARepairOfEachKindStaysInsideItsDayAndBranch)
{
    struct Case {
        RecordKind kind;
        const char* table;
        const char* key;
        const char* insert; // %1 key, %2 day, %3 branch (main database only)
    } cases[] = {
        {kindByTable(QStringLiteral("BILET")), "BILET", "B_NID",
         "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('%1', 1, '%2', 'открыт', 5, '%3');"},
        {kindByTable(QStringLiteral("PRODLENIE")), "PRODLENIE", "PRO_B_NID",
         "INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO) VALUES ('%1', '%1', '%2', 5, '%3');"},
        {kindByTable(QStringLiteral("REALIZ")), "REALIZ", "REA_KEY",
         "INSERT INTO REALIZ (REA_NID, REA_KEY, REA_DATA, REA_NOMER, REA_SSUDA, REA_KTO) VALUES ('%1', '%1', '%2', 1, 5, '%3');"},
        {kindByTable(QStringLiteral("AVANS")), "AVANS", "AV_NID",
         "INSERT INTO AVANS (AV_NID, AV_DATA, AV_NOMER, AV_STATYS, AV_SUM1, AV_KTO) VALUES ('%1', '%2', 1, '1', 5, '%3');"},
        {kindByTable(QStringLiteral("GL_BOOK")), "GL_BOOK", "G_NID",
         "INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA) VALUES ('%1', '%2', '%3', '1', 5);"},
        {kindByTable(QStringLiteral("BILET_LINE")), "BILET_LINE", "BL_NID",
         "INSERT INTO BILET (B_NID, B_KTO, B_DATA) VALUES ('p%1', '%3', '%2');"
         "INSERT INTO BILET_LINE (BL_NID, BL_B_NID, BL_NOMER, BL_DATA, BL_SUMMA) VALUES ('%1', 'p%1', 1, '%2', 5);"},
        {kindByTable(QStringLiteral("AVANS_LINE")), "AVANS_LINE", "AVL_NID",
         "INSERT INTO AVANS (AV_NID, AV_KTO, AV_DATA) VALUES ('p%1', '%3', '%2');"
         "INSERT INTO AVANS_LINE (AVL_NID, AVL_AV_NID, AVL_NOMER, AVL_DATA, AVL_SUMMA) VALUES ('%1', 'p%1', 1, '%2', 5);"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        SetUp();
        auto row = [&](const char* key, const char* day, const char* branch) {
            main(QString::fromUtf8(c.insert).arg(QString::fromLatin1(key), QString::fromLatin1(day), QString::fromLatin1(branch)));
        };
        row("gone", "2010-03-03 00:00:00", "F1");
        row("nextday", "2010-03-04 00:00:00", "F1");
        row("other", "2010-03-03 00:00:00", "F2");
        ASSERT_TRUE(st->connectSequence(Station::Variant::Test));
        ASSERT_TRUE(st->repair(QDate(2010, 3, 3), c.kind));
        st->waitForRun();
        ASSERT_EQ(st->lastOutcome.end, RunEnd::Completed) << st->lastOutcome.error.toStdString();
        EXPECT_EQ(st->repairDeleted, 1);
        EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(%1) FROM (SELECT %1 FROM %2 ORDER BY %1)")
                                .arg(QString::fromLatin1(c.key), QString::fromLatin1(c.table))).toString(),
                  QStringLiteral("nextday,other"));
    }
}

// The journal's file: an entry once, gone when cleared, the file gone with the last one; a
// journal that cannot be written refuses (the deletion it guards does not happen).
TEST_F(Durability, TheJournalKeepsEntriesUntilClearedAndRefusesWhenItCannotWrite)
{
    ReplaceJournal j(journalFile());
    const Replacement a{QStringLiteral("Rec_GL_Book"), QStringLiteral("F1"), QDate(2010, 3, 1), QDate(2010, 3, 5)};
    const Replacement b{QStringLiteral("Rec_Realiz"), QStringLiteral("F1"), QDate(2010, 3, 3), QDate(2010, 3, 3)};
    j.record(a);
    j.record(a);
    j.record(b);
    EXPECT_EQ(j.entries(), (QVector<Replacement>{a, b}));
    j.clear(a);
    EXPECT_EQ(j.entries(), QVector<Replacement>{b});
    j.clear(b);
    EXPECT_FALSE(QFile::exists(journalFile()));

    ASSERT_TRUE(QDir(home()).mkpath(QStringLiteral("blocked/Replace.jrn"))); // a folder where the file should be
    ReplaceJournal blocked(QDir(home()).filePath(QStringLiteral("blocked/Replace.jrn")));
    try {
        blocked.record(a);
        ADD_FAILURE() << "no error";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.unavailable());
    }
}

// One Varid per branch database: a second home whose Path.ini names the same database gets
// nothing run, names the holder, and takes over once the first is gone.
TEST_F(Durability, TwoHomesOnOneBranchDatabase)
{
    QTemporaryDir other;
    QFile ini(QDir(other.path()).filePath(QStringLiteral("Path.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(("GLServerIP:127.0.0.1\r\nServerName:srv\r\nAdminName:sa\r\nAdminPass:secret\r\nInterval:30\r\nTimeOpen:9:00\r\n"
               "TimeClose:19:00\r\nStart:60\r\nGLAliasName:" + mainFile().toUtf8() + "\r\nLocalAliasName:" + localFile().toUtf8() + "\r\n"));
    ini.close();
    ASSERT_TRUE(st->session().claimDatabase());
    EXPECT_TRUE(st->session().databaseLock.held());
    SimTimerHost host2{QDateTime(QDate(2010, 3, 5), QTime(12, 0))};
    auto second = std::make_unique<Station>(other.path(), host2, QStringLiteral("-second"));
    second->formCreate();
    EXPECT_FALSE(second->session().claimDatabase());
    EXPECT_FALSE(second->connectSequence(Station::Variant::Timer));
    EXPECT_EQ(second->panel().L_Info1.text, QStringLiteral("База занята другим Varid"));
    EXPECT_TRUE(second->session().databaseLock.message().startsWith(QStringLiteral("Varid уже работает с базой филиала ")))
        << second->session().databaseLock.message().toStdString();
    EXPECT_TRUE(second->session().databaseLock.message().contains(QString::number(QCoreApplication::applicationPid())));
    st.reset(); // the first ends
    auto third = std::make_unique<Station>(other.path(), host2, QStringLiteral("-third"));
    third->formCreate();
    EXPECT_TRUE(third->session().claimDatabase());
    EXPECT_TRUE(third->connectSequence(Station::Variant::Timer)) << third->session().connectErrors.join(QLatin1Char(';')).toStdString();
}

namespace {
// Every table of an embedded file, its rows sorted: what two runs are compared by.
QString dumpOf(const QString& file)
{
    QString out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dump"));
        db.setDatabaseName(file);
        db.open();
        QSqlQuery tables(db);
        tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' ORDER BY name"));
        while (tables.next()) {
            const QString table = tables.value(0).toString();
            QSqlQuery q(db);
            q.exec(QStringLiteral("SELECT * FROM ") + table);
            QStringList rows;
            while (q.next()) {
                QStringList values;
                for (int i = 0; i < q.record().count(); ++i) {
                    // The main database gives inserted balances and extensions ids of its own.
                    const QString column = q.record().fieldName(i);
                    if (column == QStringLiteral("O_NID") || column == QStringLiteral("PRO_NID"))
                        continue;
                    values << (q.value(i).isNull() ? QStringLiteral("NULL") : q.value(i).toString());
                }
                rows << values.join(QLatin1Char('|'));
            }
            rows.sort();
            out += table + QLatin1Char('\n') + rows.join(QLatin1Char('\n')) + QLatin1Char('\n');
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("dump"));
    return out;
}

// Rows of three kinds, more than two batches of the ledger: refused rows in the middle of a
// batch, a row without a key, a null amount, keys that look like dates, and two extensions
// that the main database would take for one.
void seedBatches(const std::function<void(const QString&)>& local, const std::function<void(const QString&)>& main,
                 const char* marker)
{
    QStringList ledger, extensions, balances;
    for (int i = 1; i <= 250; ++i) {
        const QString id = i == 40 ? QStringLiteral("05.03.2010") : QStringLiteral("g%1").arg(i);
        ledger << QStringLiteral("(%1,'2010-03-0%2 00:00:00',%3,'F1','1',%4,'%5','K%6')")
                      .arg(i == 77 ? QStringLiteral("NULL") : QLatin1Char('\'') + id + QLatin1Char('\''))
                      .arg(1 + i % 5).arg(i).arg(i == 90 ? QStringLiteral("NULL") : QString::number(i) + QStringLiteral(".25"))
                      .arg(QString::fromLatin1(marker)).arg(i);
    }
    for (int i = 1; i <= 130; ++i)
        extensions << QStringLiteral("('p%1','%2','2010-03-0%3 00:00:00',5,'F1','%4')")
                          .arg(i).arg(i == 65 ? QStringLiteral("b60") : QStringLiteral("b%1").arg(i)).arg(1 + i % 5)
                          .arg(QString::fromLatin1(marker));
    for (int i = 1; i <= 120; ++i)
        balances << QStringLiteral("('o%1','%1',3,2010,'F1','%2',%1,2)").arg(i).arg(QString::fromLatin1(marker));
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_NOMER, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD, G_KEY) VALUES ")
          + ledger.join(QLatin1Char(',')) + QStringLiteral(";")
          + QStringLiteral("INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO, PRO_NEW_OLD) VALUES ")
          + extensions.join(QLatin1Char(',')) + QStringLiteral(";")
          + QStringLiteral("INSERT INTO OSTATOK (O_NID, O_SCHET, O_MESIC, O_GOD, O_KTO, O_NEW_OLD, O_DEBET, O_KREDIT) VALUES ")
          + balances.join(QLatin1Char(',')) + QStringLiteral(";"));
    // The main database refuses two ledger entries and one extension; it holds entries and
    // balances of the period that the branch no longer has (a night run deletes them).
    main(QStringLiteral("CREATE TRIGGER refuse_g BEFORE INSERT ON GL_BOOK WHEN NEW.G_NID IN ('g150','g151') "
                        "BEGIN SELECT RAISE(ABORT, 'refused'); END;"
                        "CREATE TRIGGER refuse_p BEFORE INSERT ON PRODLENIE WHEN NEW.PRO_B_NID='b74' "
                        "BEGIN SELECT RAISE(ABORT, 'refused'); END;"
                        "INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA) VALUES ('gone1','2010-03-02 00:00:00','F1','1',1),"
                        "('gone2','2010-03-03 00:00:00','F1','1',1);"
                        "INSERT INTO OSTATOK (O_NID, O_SCHET, O_MESIC, O_GOD, O_KTO, O_DEBET, O_KREDIT) VALUES "
                        "('ox1','x1',3,2010,'F1',1,2),('ox2','x2',3,2010,'F1',1,2);"));
}
} // namespace

// A batch gives what its rows one by one give: the same lines, the same error marker, the
// same marks and the same rows on the main database. By day and at night (across the
// period's deletion), whole, and broken off inside a batch by a main database that stops
// taking writes (then the next run finishes it).
TEST_F(Durability, BatchesLeaveWhatRowsOneByOneLeave)
{
    struct Case {
        const char* name;
        bool incremental;
        Bar takeAt;  // Count: not broken off
        int position;
    } cases[] = {
        {"by day", true, Bar::Count, 0},
        {"by day, broken off in the ledger's second batch", true, Bar::GL_Book, 101},
        {"by day, broken off in the extensions' first batch", true, Bar::Prodlen, 1},
        {"at night", false, Bar::Count, 0},
        {"at night, broken off after the deletion", false, Bar::GL_Book, 101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct Result {
            QVector<RunEnd> ends;
            QStringList lines;
            QString marker, local, main;
        } results[2];
        for (int batched = 0; batched < 2; ++batched) {
            SetUp();
            std::optional<varid::testing::RowByRow> single;
            if (!batched)
                single.emplace();
            seedBatches([this](const QString& sql) { local(sql); }, [this](const QString& sql) { main(sql); },
                        c.incremental ? "NEW" : "OLD");
            RunRequest r = request(c.incremental, Switch::Count);
            for (Switch s : {Switch::Prodlenie, Switch::Ostatok, Switch::GL_Book})
                r.switches[size_t(s)] = true;
            Result& out = results[batched];
            {
                TakeMainAt context(r, mainFile(), c.takeAt == Bar::Count ? Bar::Klient : c.takeAt,
                                   c.takeAt == Bar::Count ? -1 : c.position);
                out.ends << runWith(context).end;
                out.marker = context.errorMarker();
                out.lines = linesOf(context);
            }
            if (c.takeAt != Bar::Count) {
                RunContext next(r); // the next run finishes what the broken one left
                out.ends << runWith(next).end;
                out.lines << linesOf(next);
            }
            out.local = dumpOf(localFile());
            out.main = dumpOf(mainFile());
        }
        EXPECT_EQ(results[1].ends, results[0].ends);
        EXPECT_EQ(results[1].lines, results[0].lines);
        EXPECT_EQ(results[1].marker, results[0].marker);
        EXPECT_EQ(results[1].local, results[0].local);
        EXPECT_EQ(results[1].main, results[0].main);
        EXPECT_EQ(results[1].ends.back(), RunEnd::Completed);
        // Not a comparison of two empty runs: the refusals are there.
        EXPECT_GE(results[1].lines.filter(QStringLiteral("Ошибка! ")).size(), 4) << results[1].lines.join(QLatin1Char('\n')).toStdString();
    }
}
