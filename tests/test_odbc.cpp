// The production data path through a real ODBC driver: unixODBC and the SQLite ODBC
// driver on the two fixture databases (VARID_EMBEDDED_DRIVER=odbc, set by main below). The
// dialect stays the embedded one; connection strings, forward-only selections, typed
// binding, transactions, cursors and the driver's error texts are the production code.
#include "transfer_fixture.h"

#include "transfer/runcontext.h"
#include "data/catalogue.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>

using namespace varid;
using varid::testing::Branch;

namespace {

QString traceFile() { return QDir(qEnvironmentVariable("ODBCSYSINI")).filePath(QStringLiteral("trace.log")); }

class Odbc : public Branch {
protected:
};

} // namespace

TEST_F(Odbc, TheConnectionsGoThroughTheOdbcDriver)
{
    DM dm(QStringLiteral("-o"));
    DM2 dm2(dm, QStringLiteral("-o"));
    connectBoth(dm, dm2);
    EXPECT_TRUE(dm.ADOC1.viaOdbc());
    EXPECT_EQ(QSqlDatabase::database(QStringLiteral("ADOC1-o"), false).driverName(), QStringLiteral("QODBC"));
    EXPECT_EQ(QSqlDatabase::database(QStringLiteral("ADOC2-o"), false).driverName(), QStringLiteral("QODBC"));
}

TEST_F(Odbc, NullsDatesAndAmountsArriveExactly)
{
    local(QStringLiteral(
        "INSERT INTO KLIENT (K_NID, K_FIO) VALUES ('K1', NULL);"
        "INSERT INTO BILET (B_NID, B_K_NID, B_KTO, B_NEW_OLD) VALUES ('B1', 'K1', 'F1', 'NEW');" // every typed column null
        "INSERT INTO GL_BOOK (G_NID, G_DATA, G_SUMMA, G_KTO, G_STATYS, G_NEW_OLD, G_NOMER_N) VALUES "
        "('g1','2010-03-05 02:30:00',0.0001,'F1','1','NEW',32767),('g2','2010-03-05 00:00:00',99999999999.9999,'F1','1','NEW',NULL),"
        "('g3',NULL,NULL,'F1','1','NEW',NULL);"));
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_TRUE(failureLines().isEmpty()) << failureLines().join(QLatin1Char('|')).toStdString();
    // Text-form copies keep their empty text; typed copies keep their nulls.
    EXPECT_EQ(mainValue(QStringLiteral("SELECT K_FIO FROM KLIENT")).toString(), QString());
    EXPECT_FALSE(mainValue(QStringLiteral("SELECT K_FIO FROM KLIENT")).isNull());
    for (const char* c : {"B_DATA", "B_SUMMA", "B_NOMER", "B_KOL_DAY", "B_TIP"})
        EXPECT_TRUE(mainValue(QStringLiteral("SELECT %1 FROM BILET").arg(QString::fromLatin1(c))).isNull()) << c;
    EXPECT_EQ(mainValue(QStringLiteral("SELECT G_DATA FROM GL_BOOK WHERE G_NID='g1'")).toString(), QStringLiteral("2010-03-05 02:30:00"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT G_DATA FROM GL_BOOK WHERE G_NID='g2'")).toString(), QStringLiteral("2010-03-05 00:00:00"));
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT G_DATA FROM GL_BOOK WHERE G_NID='g3'")).isNull());
    EXPECT_EQ(mainValue(QStringLiteral("SELECT printf('%.4f', G_SUMMA) FROM GL_BOOK WHERE G_NID='g1'")).toString(), QStringLiteral("0.0001"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT printf('%.4f', G_SUMMA) FROM GL_BOOK WHERE G_NID='g2'")).toString(), QStringLiteral("99999999999.9999"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT G_NOMER_N FROM GL_BOOK WHERE G_NID='g1'")).toInt(), 32767);
}

TEST_F(Odbc, TheDriversOwnMessageReachesTheFailureHandling)
{
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_NOMER, G_SUMMA, G_KTO, G_STATYS, G_NEW_OLD, G_KEY) VALUES "
                         "('g1','2010-03-05 00:00:00','7',1,'F1','1','NEW','K7');"));
    main(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON GL_BOOK BEGIN SELECT RAISE(ABORT, 'the ledger is closed'); END;"));
    only(Switch::GL_Book);
    QStringList refusals;
    QObject::connect(st.get(), &Station::refusal, st.get(), [&](const QString& m) { refusals << m; });
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(failureLines(), QStringList{QStringLiteral("Ошибка! Записи на ГлС Ж.О. G_DATA=05.03.2010 and G_NOMER=7 and G_KEY=K7")});
    ASSERT_EQ(refusals.size(), 1);
    EXPECT_TRUE(refusals[0].contains(QStringLiteral("the ledger is closed"))) << refusals[0].toStdString();
}

namespace {
// Kills the main connection under the run while the ledger walks its first row.
class Kill : public RunContext {
public:
    Kill(const RunRequest& r, QString connection) : RunContext(r), connection_(std::move(connection)) {}
    void setBarPos(Bar b, int pos) override
    {
        RunContext::setBarPos(b, pos);
        if (b == Bar::GL_Book && pos == 1)
            QSqlDatabase::database(connection_, false).close();
    }

private:
    QString connection_;
};
} // namespace

TEST_F(Odbc, ALostConnectionMidRunEndsItWithTheConnectionLossLine)
{
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_SUMMA, G_KTO, G_STATYS, G_NEW_OLD) VALUES "
                         "('g1','2010-03-05 00:00:00',1,'F1','1','NEW'),('g2','2010-03-05 00:00:00',2,'F1','1','NEW');"));
    RunRequest r;
    r.branch = QStringLiteral("F1");
    r.period = Period{QDate(2010, 3, 5), QDate(2010, 3, 5)};
    r.switches.fill(false);
    r.switches[size_t(Switch::GL_Book)] = true;
    DM dm(QStringLiteral("-k"));
    DM2 dm2(dm, QStringLiteral("-k"));
    connectBoth(dm, dm2);
    Kill context(r, QStringLiteral("ADOC2-k"));
    const RunOutcome o = Transfer(dm, dm2, context, host).run();
    EXPECT_EQ(o.end, RunEnd::JournalLost);
    const RunContext::Outbox out = context.drain();
    ASSERT_FALSE(out.lines.isEmpty());
    EXPECT_EQ(out.lines.last().text, QStringLiteral("-----   Обрыв связи в 05.03.2010 12:00:00  -----"));
    EXPECT_TRUE(out.errorMarker.isEmpty()); // not a refused row
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK WHERE G_NEW_OLD='NEW'")).toInt(), 2);
}

TEST_F(Odbc, ProcedureParametersAreBoundInDeclaredOrderWithTheirTypes)
{
    DM dm(QStringLiteral("-p"));
    DM2 dm2(dm, QStringLiteral("-p"));
    connectBoth(dm, dm2);
    StoredProc& p = dm2.Ins_Bilet;
    p.set(QStringLiteral("@B_NID"), QStringLiteral("B1"));
    p.set(QStringLiteral("@B_DATA"), QStringLiteral("05.03.2010 10:15:00"));
    p.set(QStringLiteral("@B_SUMMA"), 12.3456);
    p.set(QStringLiteral("@B_KOL_DAY"), 30);
    const QVariantList binds = p.odbcBinds();
    ASSERT_EQ(binds.size(), p.params().size());
    // What the driver receives for them, read from the driver manager's trace.
    QFile::remove(traceFile());
    QStringList cols, marks;
    for (int i = 0; i < binds.size(); ++i) {
        cols << QStringLiteral("c%1").arg(i);
        marks << QStringLiteral("?");
    }
    main(QStringLiteral("CREATE TABLE PARAMS (%1);").arg(cols.join(QLatin1Char(','))));
    dm2.ADOC2.disconnect();
    dm2.ADOC2.connect(); // a fresh environment reads the trace setting
    dm2.ADOC2.run(QStringLiteral("INSERT INTO PARAMS VALUES (%1)").arg(marks.join(QLatin1Char(','))), binds).finish();
    QFile trace(traceFile());
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly)) << traceFile().toStdString();
    const QString text = QString::fromLatin1(trace.readAll());
    QStringList seen;
    const QRegularExpression cType(QStringLiteral("Param Number = (\\d+)\\s+Param Type = \\d+\\s+C Type = -?\\d+ (SQL_C_\\w+)"));
    for (auto it = cType.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        seen << m.captured(2);
    }
    QStringList expected;
    for (const ParamDef& d : p.params()) {
        switch (d.type) {
        case ParamType::DateTime: expected << QStringLiteral("SQL_C_TIMESTAMP"); break;
        case ParamType::Text: expected << QStringLiteral("SQL_C_WCHAR"); break;
        case ParamType::Integer: case ParamType::SmallInt: expected << QStringLiteral("SQL_C_SLONG"); break;
        default: expected << QStringLiteral("SQL_C_DOUBLE"); break;
        }
    }
    EXPECT_EQ(seen.mid(seen.size() - expected.size()), expected);
    // Values: the date and the amount as set, in their places.
    EXPECT_EQ(mainValue(QStringLiteral("SELECT c0 FROM PARAMS")).toString(), QStringLiteral("B1"));
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT c2 FROM PARAMS")).toString().startsWith(QStringLiteral("2010-03-05 10:15:00")));
    EXPECT_DOUBLE_EQ(mainValue(QStringLiteral("SELECT c6 FROM PARAMS")).toDouble(), 12.3456);
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT c1 FROM PARAMS")).isNull()); // a typed null
    EXPECT_EQ(mainValue(QStringLiteral("SELECT c19 FROM PARAMS")).toInt(), 30);
}

namespace {
// Round trips to the main database in the driver manager's trace: every statement executed on
// a statement handle of the connection opened on main.db, and every transaction call on it.
int mainRoundTrips()
{
    QFile trace(traceFile());
    if (!trace.open(QIODevice::ReadOnly))
        return -1;
    QHash<QString, QString> owner; // statement handle -> its connection
    QSet<QString> mainConnections;
    QString call, connection, input;
    bool entry = false;
    int trips = 0;
    const QRegularExpression head(QStringLiteral("^\\[ODBC\\]\\[\\d+\\]\\[[\\d.]+\\]\\[(\\w+)\\.c\\]"));
    while (!trace.atEnd()) {
        const QString line = QString::fromLatin1(trace.readLine()).trimmed();
        if (const auto m = head.match(line); m.hasMatch()) {
            call = m.captured(1);
            entry = false;
            continue;
        }
        if (line.startsWith(QLatin1String("Entry:"))) { entry = true; continue; }
        if (line.startsWith(QLatin1String("Exit:"))) { entry = false; continue; }
        const QString value = line.section(QLatin1String(" = "), 1).section(QLatin1Char(' '), 0, 0);
        if (call == QLatin1String("SQLAllocHandle")) {
            if (entry && line.startsWith(QLatin1String("Input Handle")))
                input = value;
            else if (!entry && line.startsWith(QLatin1String("Output Handle")))
                owner.insert(value, input);
        } else if (entry && call.startsWith(QLatin1String("SQLDriverConnect"))) {
            if (line.startsWith(QLatin1String("Connection = ")))
                connection = value;
            else if (line.startsWith(QLatin1String("Str In")) && line.contains(QLatin1String("main.db")))
                mainConnections.insert(connection);
        } else if (entry && (call.startsWith(QLatin1String("SQLExecDirect")) || call == QLatin1String("SQLExecute"))
                   && line.startsWith(QLatin1String("Statement = "))) {
            trips += mainConnections.contains(owner.value(value));
        } else if (entry && (call == QLatin1String("SQLEndTran") || call.startsWith(QLatin1String("SQLSetConnectAttr")))
                   && line.startsWith(QLatin1String("Connection = "))) {
            trips += mainConnections.contains(value);
        }
    }
    return trips;
}

QString ledgerRows(int from, int to)
{
    QStringList rows;
    for (int i = from; i < to; ++i)
        rows << QStringLiteral("('g%1','2010-03-05 00:00:00','%1',%1.25,'F1','1','NEW','K%1')").arg(i);
    return QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_NOMER, G_SUMMA, G_KTO, G_STATYS, G_NEW_OLD, G_KEY) VALUES ")
        + rows.join(QLatin1Char(',')) + QLatin1Char(';');
}
} // namespace

// What rows cost on a slow link: a batch is one lookup of all its rows, then begin, the
// procedures and commit as one text; a row on its own (a batch that could not be written
// whole) the same for itself. Counted by the driver manager, not by Varid, over runs that
// differ only in their rows.
TEST_F(Odbc, ABatchIsTwoRoundTripsToTheMainDatabaseAndSoIsARowOnItsOwn)
{
    only(Switch::GL_Book);
    int copied = 0;
    const auto trips = [&](int first, int second) {
        int counted[2] = {};
        for (int round = 0; round < 2; ++round) {
            const int rows = round == 0 ? first : second;
            local(ledgerRows(copied, copied + rows));
            copied += rows;
            QFile::remove(traceFile());
            st->dm2().ADOC2.disconnect(); // fresh connections, so the trace sees them open
            st->dm().ADOC1.disconnect();
            EXPECT_EQ(run(), RunEnd::Completed);
            counted[round] = mainRoundTrips();
            EXPECT_GT(counted[round], 0);
        }
        return counted[1] - counted[0];
    };
    EXPECT_EQ(trips(5, 20), 0);       // one batch either way
    EXPECT_EQ(trips(20, 250), 2 * 2); // three batches against one
    {
        const varid::testing::RowByRow single;
        EXPECT_EQ(trips(5, 20), 2 * (20 - 5));
    }
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK")).toInt(), copied);
    EXPECT_EQ(localValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK WHERE G_NEW_OLD='NEW'")).toInt(), 0);
}

int main(int argc, char** argv)
{
    // Every connection of this binary goes through the SQLite ODBC driver, with the driver
    // manager's trace on, from a driver list of our own.
    static QTemporaryDir sys;
    QFile ini(QDir(sys.path()).filePath(QStringLiteral("odbcinst.ini")));
    if (ini.open(QIODevice::WriteOnly))
        ini.write(QStringLiteral("[ODBC]\nTrace=Yes\nTraceFile=%1\n\n[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=libsqlite3odbc.so\n")
                      .arg(QDir(sys.path()).filePath(QStringLiteral("trace.log"))).toLocal8Bit());
    ini.close();
    qputenv("ODBCSYSINI", sys.path().toLocal8Bit());
    qputenv("VARID_EMBEDDED_DRIVER", "odbc");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
