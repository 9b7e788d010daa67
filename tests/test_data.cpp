// Data access on two real embedded databases: what the steps rely on.
#include "data/statement.h"
#include "fixture.h"

#include "data/dialect.h"
#include "data/values.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <random>

using namespace varid;
using varid::testing::TwoDatabases;

TEST(TextForm, ValuesAsDisplayed)
{
    const struct { QVariant v; const char* text; } cases[] = {
        {QVariant(), ""},
        {QVariant(QMetaType(QMetaType::QString)), ""},
        {QDateTime(QDate(2010, 3, 1), QTime(0, 0)), "01.03.2010"},
        {QDateTime(QDate(2010, 3, 1), QTime(9, 5, 7)), "01.03.2010 09:05:07"},
        {qlonglong(42), "42"},
        {-7, "-7"},
        {1234.5, "1234.5"},
        {1000.0, "1000"},
        {0.1 + 0.2, "0.3"},
        {123456789012.34, "123456789012.34"},
        {QStringLiteral("ДА"), "ДА"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textForm(c.v), QString::fromUtf8(c.text)) << c.v.typeName();
}

TEST(TextForm, DateTexts)
{
    EXPECT_EQ(parseDateText(QStringLiteral("05.03.2010"))->date(), QDate(2010, 3, 5));
    EXPECT_EQ(parseDateText(QStringLiteral("05.03.2010 13:14:15"))->time(), QTime(13, 14, 15));
    for (const char* bad : {"2010-03-05", "31.02.2010", "5.3.10", "", "05.03.2010 25:00:00", "x05.03.2010"})
        EXPECT_FALSE(parseDateText(QString::fromLatin1(bad))) << bad;
}

// Both date readers against the patterns they stand for, on the texts a date column may
// hold and on many near misses: the same date, or none, for every one; and the stored form
// written back as its format gives it.
TEST(TextForm, DateReadersReadWhatTheirPatternsMatch)
{
    const auto byPattern = [](const QRegularExpression& re, const QString& text, int y, int m, int d) -> std::optional<QDateTime> {
        const QRegularExpressionMatch k = re.match(text);
        if (!k.hasMatch())
            return std::nullopt;
        const QDate date(k.captured(y).toInt(), k.captured(m).toInt(), k.captured(d).toInt());
        QTime time(0, 0);
        if (k.capturedLength(4) > 0)
            time = QTime(k.captured(4).toInt(), k.captured(5).toInt(), k.captured(6).toInt());
        if (!date.isValid() || !time.isValid())
            return std::nullopt;
        return wallClock(date, time);
    };
    const QRegularExpression shown(QStringLiteral("^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4})(?: (\\d{1,2}):(\\d{2}):(\\d{2}))?$"));
    const QRegularExpression stored(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2}))?(?:\\.\\d+)?)?$"));
    QStringList texts{QStringLiteral("05.03.2010"), QStringLiteral("5.3.2010 7:05:09"), QStringLiteral("29.02.2012"),
                      QStringLiteral("29.02.2011"), QStringLiteral("05.03.2010\n"), QStringLiteral("05.03.2010 24:00:00"),
                      QStringLiteral("2010-03-05 13:14:15"), QStringLiteral("2010-03-05T13:14"), QStringLiteral("2010-03-05 13:14:15.250"),
                      QStringLiteral("2010-03-05 13:14.5"), QStringLiteral("2010-03-05\n"), QStringLiteral("2010-03-05 13:14:15\n"),
                      QStringLiteral("2010-13-05"), QStringLiteral("2010-03-05 13:14:15."), QStringLiteral("٠٥.٠٣.٢٠١٠"),
                      QStringLiteral("2010-03-05 13:14:15.12345678901234567890"), QString(), QStringLiteral(" 05.03.2010")};
    std::mt19937 random(20101);
    const QString alphabet = QStringLiteral("0123456789012345.-: T\n");
    for (int i = 0; i < 20000; ++i) {
        // A valid text with one or two characters changed, dropped or added, or noise.
        QString t = i % 3 == 0 ? QStringLiteral("05.03.2010 13:14:15") : QStringLiteral("2010-03-05 13:14:15.5");
        if (i % 7 == 6) {
            t.clear();
            for (int k = int(random() % 22); k > 0; --k)
                t += alphabet[int(random() % alphabet.size())];
        }
        for (int k = 1 + int(random() % 2); k > 0; --k) {
            const int at = int(random() % (t.size() + 1));
            const QChar c = alphabet[int(random() % alphabet.size())];
            switch (random() % 3) {
            case 0: if (at < t.size()) t[at] = c; break;
            case 1: if (at < t.size()) t.remove(at, 1); break;
            default: t.insert(at, c);
            }
        }
        texts << t;
    }
    int read = 0;
    for (const QString& t : texts) {
        const auto a = parseDateText(t);
        EXPECT_EQ(a, byPattern(shown, t, 3, 2, 1)) << t.toStdString();
        const auto b = parseStorageText(t);
        EXPECT_EQ(b, byPattern(stored, t, 1, 2, 3)) << t.toStdString();
        read += (a ? 1 : 0) + (b ? 1 : 0);
        for (const auto& date : {a, b}) {
            if (date) {
                ASSERT_EQ(storageText(*date), date->toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
            }
        }
    }
    // And written back: the stored form of any date, as the format gives it.
    for (const QDateTime& dt : {wallClock(QDate(1, 1, 1), QTime(0, 0)), wallClock(QDate(999, 12, 31), QTime(23, 59, 59)),
                                wallClock(QDate(9999, 12, 31), QTime(1, 2, 3)), wallClock(QDate(10000, 1, 1), QTime(0, 0)),
                                wallClock(QDate(-5, 3, 1), QTime(0, 0)), QDateTime(), wallClock(QDate(2010, 3, 5), QTime(13, 14, 15, 999))})
        EXPECT_EQ(storageText(dt), dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))) << dt.toString().toStdString();
    EXPECT_GT(read, 1000); // not a comparison of two empty answers
}

TEST(Dialect, DateLiteralsOnlyWhereADateColumnMeetsThem)
{
    const auto isDate = [](const QString& c) { return c.endsWith(QLatin1String("DATA"), Qt::CaseInsensitive); };
    const struct { const char* in; const char* out; } cases[] = {
        {"Where G_NID='01.02.2010' ", "Where G_NID='01.02.2010' "},
        {"Where G_DATA='01.02.2010' and G_NID='01.02.2010'", "Where G_DATA='2010-02-01 00:00:00' and G_NID='01.02.2010'"},
        {"G_DATA Between'01.03.2010' and '05.03.2010'", "G_DATA Between'2010-03-01 00:00:00' and '2010-03-05 00:00:00'"},
        {"B_DATA not Between'01.03.2010' and '05.03.2010'", "B_DATA not Between'2010-03-01 00:00:00' and '2010-03-05 00:00:00'"},
        {"G_NID Between'01.03.2010' and '05.03.2010'", "G_NID Between'01.03.2010' and '05.03.2010'"},
        {"G_DATA<>'01.03.2010'", "G_DATA<>'2010-03-01 00:00:00'"},
        {"X_NAME='01.03.2010' and G_DATA >= '01.03.2010'", "X_NAME='01.03.2010' and G_DATA >= '2010-03-01 00:00:00'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sqliteTranslate(QString::fromUtf8(c.in), isDate), QString::fromUtf8(c.out)) << c.in;
}

TEST(Dialect, SqliteTranslation)
{
    const struct { const char* in; const char* out; } cases[] = {
        {"B_DATA Between'01.03.2010' and '05.03.2010'", "B_DATA Between'2010-03-01 00:00:00' and '2010-03-05 00:00:00'"},
        {"OO_DATA='10.12.2026' ", "OO_DATA='2026-12-10 00:00:00' "},
        {"AV_DATA='05.03.2010 10:15:00'", "AV_DATA='2010-03-05 10:15:00'"},
        {"Set REA_KEY=REA_KTO+REA_NID Where", "Set REA_KEY=tsql_add(REA_KTO,REA_NID) Where"},
        {"Sum(AV_SUM1+AV_SUM2+AV_SUM3)", "Sum(tsql_add(tsql_add(AV_SUM1,AV_SUM2),AV_SUM3))"},
        {"SUM(O_DEBET)+SUM(O_KREDIT)", "SUM(O_DEBET)+SUM(O_KREDIT)"},
        {"K_NID='A+B' and K_FIO='01.02.2003x'", "K_NID='A+B' and K_FIO='01.02.2003x'"},
        {"X_KOL+1", "X_KOL+1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sqliteTranslate(QString::fromUtf8(c.in)), QString::fromUtf8(c.out));
}

TEST(Dialect, OdbcConnectionAndCall)
{
    EXPECT_EQ(odbcConnectionString({QStringLiteral("BRANCH\\SQL"), QStringLiteral("MyTiveron"), {}, {}, true}),
              QStringLiteral("DRIVER={FreeTDS};SERVER=BRANCH\\SQL;DATABASE=MyTiveron;Trusted_Connection=yes;ClientCharset=UTF-8;"));
    EXPECT_EQ(odbcConnectionString({QStringLiteral("10.0.0.5"), QStringLiteral("Main"), QStringLiteral("sa"), QStringLiteral("x;Trusted_Connection=yes"), false}),
              QStringLiteral("DRIVER={FreeTDS};SERVER=10.0.0.5;DATABASE=Main;PORT=1433;UID=sa;PWD={x;Trusted_Connection=yes};ClientCharset=UTF-8;"));
    // A port or an instance goes as given; an address alone gets SQL Server's default port.
    EXPECT_EQ(odbcConnectionString({QStringLiteral("10.0.0.5,1444"), QStringLiteral("Main"), QStringLiteral("sa"), QStringLiteral("a}b;c"), false}),
              QStringLiteral("DRIVER={FreeTDS};SERVER=10.0.0.5,1444;DATABASE=Main;UID=sa;PWD={a}b;c};ClientCharset=UTF-8;"));
    EXPECT_THROW(odbcConnectionString({QStringLiteral("srv"), QStringLiteral("Main"), QStringLiteral("sa"), QStringLiteral("x};y"), false}), DbError);
    EXPECT_EQ(odbcAttributeValue(QStringLiteral("a}b;")), QStringLiteral("{a}}b;}"));
    EXPECT_EQ(odbcCallText(QStringLiteral("Del_GL_BOOK;1"), {QStringLiteral("@G_KTO"), QStringLiteral("@G_DATA_C"), QStringLiteral("@G_DATA_PO")}),
              QStringLiteral("SET NOCOUNT ON; EXEC Del_GL_BOOK;1 @G_KTO=?, @G_DATA_C=?, @G_DATA_PO=?"));
}

TEST(Dialect, ATransactionInOneBatch)
{
    // SQL Server: begin, call and commit in one text, rolled back on the server by XACT_ABORT
    // when the call fails.
    EXPECT_EQ(odbcTransactionText(QStringLiteral("Ins_GL_Book;1"), {QStringLiteral("@G_NID"), QStringLiteral("@G_DATA")}),
              QStringLiteral("SET NOCOUNT ON; SET XACT_ABORT ON; BEGIN TRAN; EXEC Ins_GL_Book;1 @G_NID=?, @G_DATA=?; COMMIT TRAN; SELECT 1 AS COMMITTED"));
    EXPECT_EQ(odbcBatchRollbackText(), QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRAN"));
    // A batch of rows: the calls in walk order in one transaction, one text, one commit.
    EXPECT_EQ(odbcBatchText({odbcCallText(QStringLiteral("Ins_GL_Book;1"), {QStringLiteral("@G_NID")}),
                             odbcCallText(QStringLiteral("Up_GL_Book;1"), {QStringLiteral("@G_NID"), QStringLiteral("@G_SUMMA")}),
                             odbcCallText(QStringLiteral("Ins_GL_Book;1"), {QStringLiteral("@G_NID")})}),
              QStringLiteral("SET NOCOUNT ON; SET XACT_ABORT ON; BEGIN TRAN; EXEC Ins_GL_Book;1 @G_NID=?; "
                             "EXEC Up_GL_Book;1 @G_NID=?, @G_SUMMA=?; EXEC Ins_GL_Book;1 @G_NID=?; COMMIT TRAN; SELECT 1 AS COMMITTED"));
    // The embedded file through ODBC: values written into the text, each as the literal that
    // reads back as itself, whatever it holds.
    const PositionalStatement st = positionalParams(
        QStringLiteral("UPDATE T SET A=@A, B='@not' WHERE C=@C AND (coalesce(@D, '')='' OR D=@D)"));
    ASSERT_EQ(st.params, (QStringList{QStringLiteral("@A"), QStringLiteral("@C"), QStringLiteral("@D"), QStringLiteral("@D")}));
    EXPECT_EQ(withLiterals(st, {QStringLiteral("O'Нил; DROP TABLE T; --"), 42LL, QVariant(), 1.5}),
              QStringLiteral("UPDATE T SET A='O''Нил; DROP TABLE T; --', B='@not' WHERE C=42 AND (coalesce(NULL, '')='' OR D=1.5)"));
    const struct { QVariant value; const char* literal; } cases[] = {
        {QVariant(QMetaType(QMetaType::QString)), "NULL"},
        {QVariant(QMetaType(QMetaType::Double)), "NULL"},
        {QVariant(0.1 + 0.2), "0.30000000000000004"},
        {QVariant(-7), "-7"},
        {QVariant(QStringLiteral("2010-03-05 00:00:00")), "'2010-03-05 00:00:00'"},
        {QVariant(QString()), "NULL"},
        {QVariant(QStringLiteral("")), "''"},
        {QVariant(QByteArray("\x01\xff", 2)), "X'01ff'"},
        {QVariant(QDateTime(QDate(2010, 3, 5), QTime(10, 15))), "'2010-03-05 10:15:00'"},
        {QVariant(QDateTime()), "NULL"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sqliteLiteral(c.value), QString::fromUtf8(c.literal)) << c.literal;
}

TEST(StatementText, ValuesAreWrittenInAsTheStepsWroteThem)
{
    const QDateTime midnight = wallClock(QDate(2010, 3, 1));
    const QDateTime noon = wallClock(QDate(2010, 3, 5), QTime(12, 0, 5));
    const struct { Statement st; const char* text; } cases[] = {
        // A date its text form (the time only where it has one), a text with its quote doubled.
        {Statement(QStringLiteral("SELECT * FROM BILET Where B_DATA Between%2 and %3 and B_KTO=%1 "),
                   {QStringLiteral("O'F"), midnight, noon}),
         "SELECT * FROM BILET Where B_DATA Between'01.03.2010' and '05.03.2010 12:00:05' and B_KTO='O''F' "},
        // A null as the empty literal, a number as its digits, a day's bound with its time.
        {Statement(QStringLiteral("X=%1 and Y=%2 and Z=%3"), {QVariant(), 7, QVariant::fromValue(Stamp{midnight})}),
         "X='' and Y='7' and Z='01.03.2010 00:00:00'"},
        // Marks inside quotes and past the values stay text; a fixed text is as it stands.
        {Statement(QStringLiteral("A='%1' and B=%1 and C=%2"), {QStringLiteral("v")}), "A='%1' and B='v' and C=%2"},
        {Statement(QStringLiteral("LIKE '%1%' or 100%2")), "LIKE '%1%' or 100%2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.st.text(), QString::fromUtf8(c.text));
}

class DataAccess : public TwoDatabases {
protected:
    void SetUp() override
    {
        TwoDatabases::SetUp();
        connectBoth(dm, dm2);
    }
    DM dm;
    DM2 dm2{dm};
};

// What a run may open ahead of its connect sequence: embedded files on their own handles,
// never an ODBC connection (SQL Server, or an embedded file through the ODBC driver).
TEST(EmbeddedNative, OnlyEmbeddedFilesOnTheirOwnHandles)
{
    const struct { const char* database; bool viaOdbc; bool native; } cases[] = {
        {"local.db", false, true},
        {"/srv/branch/LOCAL.DB", false, true},
        {"Lombard", false, false},
        {"local.db", true, false},
    };
    const QByteArray saved = qgetenv("VARID_EMBEDDED_DRIVER");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.database);
        if (c.viaOdbc)
            qputenv("VARID_EMBEDDED_DRIVER", "odbc");
        else
            qunsetenv("VARID_EMBEDDED_DRIVER");
        EXPECT_EQ(Connection::embeddedNative({ConnectionSettings{QString(), QString::fromUtf8(c.database), {}, {}, true}, QStringLiteral("/tmp")}),
                  c.native);
    }
    if (saved.isNull())
        qunsetenv("VARID_EMBEDDED_DRIVER");
    else
        qputenv("VARID_EMBEDDED_DRIVER", saved);
}

TEST_F(DataAccess, MissingEmbeddedFileIsAFailureAndIsNotCreated)
{
    Connection c(QStringLiteral("missing"));
    c.setConnectionString({QString(), QStringLiteral("nothere.db"), {}, {}, true}, home());
    EXPECT_THROW(c.connect(), DbError);
    EXPECT_FALSE(QFile::exists(dir_.filePath(QStringLiteral("nothere.db"))));
}

TEST_F(DataAccess, RowSetIsASnapshotAndSetTextCloses)
{
    local(QStringLiteral("INSERT INTO KLIENT (K_NID, K_FIO) VALUES ('1','Б'),('2','А');"));
    Query& q = dm.Q1;
    q.setSql(QStringLiteral("SELECT * FROM KLIENT Order By K_FIO"));
    q.open();
    ASSERT_EQ(q.rowCount(), 2);
    EXPECT_EQ(q.text(QStringLiteral("K_NID")), QStringLiteral("2"));
    dm.Q2.setSql(QStringLiteral("INSERT INTO KLIENT (K_NID, K_FIO) VALUES ('3','В')"));
    dm.Q2.exec();
    EXPECT_EQ(q.rowCount(), 2); // opened before the write
    int walked = 0;
    for (q.first(); !q.eof(); q.next()) {
        ++walked;
        EXPECT_EQ(q.recNo(), walked);
    }
    EXPECT_EQ(walked, 2);
    q.setSql(QStringLiteral("SELECT * FROM KLIENT"));
    EXPECT_FALSE(q.active());
    q.open();
    EXPECT_EQ(q.rowCount(), 3);

    q.setSql(QStringLiteral("SELECT * FROM KLIENT Where K_NID='none'"));
    q.open();
    EXPECT_TRUE(q.eof());
    EXPECT_EQ(q.text(QStringLiteral("K_FIO")), QString()); // an empty set reads empty
    EXPECT_THROW(q.text(QStringLiteral("NO_SUCH")), DbError);
}

// A reader readied before a run's first walk holds no snapshot: the walk sees what was
// written after it, by this connection and by another program.
TEST_F(DataAccess, AReadiedReaderTakesItsSnapshotAtTheWalk)
{
    local(QStringLiteral("INSERT INTO KLIENT (K_NID, K_FIO) VALUES ('1','Б');"));
    dm.ADOC1.readyReader();
    dm.Q2.setSql(QStringLiteral("INSERT INTO KLIENT (K_NID, K_FIO) VALUES ('2','А')"));
    dm.Q2.exec();
    local(QStringLiteral("INSERT INTO KLIENT (K_NID, K_FIO) VALUES ('3','В');"));
    Query& q = dm.Q1;
    q.setSql(QStringLiteral("SELECT * FROM KLIENT Order By K_FIO"));
    q.openWalk();
    QStringList ids;
    for (q.first(); !q.eof(); q.next())
        ids << q.text(QStringLiteral("K_NID"));
    EXPECT_EQ(ids, (QStringList{QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("3")}));
}

TEST_F(DataAccess, LocateIsExactAndStaysOnFailure)
{
    local(QStringLiteral("INSERT INTO ONOFF (OO_NAME, OO_DATA, OO_KTO, OO_ON) VALUES "
                         "('Ким','2010-03-01 00:00:00','F1','09:00'),('Ким','2010-03-02 00:00:00','F1','10:00'),"
                         "('ким','2010-03-02 00:00:00','F1','11:00');"));
    Query& q = dm.Q1;
    q.setSql(QStringLiteral("SELECT * FROM ONOFF"));
    q.open();
    q.next();
    ASSERT_EQ(q.recNo(), 2);
    EXPECT_FALSE(q.locate(QStringLiteral("OO_NAME; OO_DATA; OO_KTO"),
                          {QStringLiteral("КИМ"), QStringLiteral("02.03.2010"), QStringLiteral("F1")}));
    EXPECT_EQ(q.recNo(), 2);
    EXPECT_FALSE(q.locate(QStringLiteral("OO_NAME"), QStringLiteral("Ки")));
    ASSERT_TRUE(q.locate(QStringLiteral("OO_NAME; OO_DATA; OO_KTO"),
                         {QStringLiteral("ким"), QStringLiteral("02.03.2010"), QStringLiteral("F1")}));
    EXPECT_EQ(q.text(QStringLiteral("OO_ON")), QStringLiteral("11:00"));
    ASSERT_TRUE(q.locate(QStringLiteral("OO_DATA"), QDateTime(QDate(2010, 3, 1), QTime(0, 0))));
    EXPECT_EQ(q.recNo(), 1);
}

TEST_F(DataAccess, TypedValuesOfEachKind)
{
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_NOMER_N, G_SUMMA, G_SODER) VALUES "
                         "('g1','2010-03-05 00:00:00',7,1500.25,NULL),('g2','2010-03-05 14:30:00',NULL,NULL,'x');"));
    Query& q = dm.Q1;
    q.setSql(QStringLiteral("SELECT * FROM GL_BOOK Order By G_NID"));
    q.open();
    EXPECT_EQ(q.value(QStringLiteral("G_DATA")).typeId(), QMetaType::QDateTime);
    EXPECT_EQ(q.text(QStringLiteral("G_DATA")), QStringLiteral("05.03.2010"));
    EXPECT_EQ(q.integer(QStringLiteral("G_NOMER_N")), 7);
    EXPECT_DOUBLE_EQ(q.number(QStringLiteral("G_SUMMA")), 1500.25);
    EXPECT_TRUE(q.value(QStringLiteral("G_SODER")).isNull());
    EXPECT_EQ(q.text(QStringLiteral("G_SODER")), QString());
    q.next();
    EXPECT_EQ(q.text(QStringLiteral("G_DATA")), QStringLiteral("05.03.2010 14:30:00"));
    EXPECT_DOUBLE_EQ(q.number(QStringLiteral("G_SUMMA")), 0.0); // a null reads as 0
    EXPECT_TRUE(q.value(QStringLiteral("g_summa")).isNull());
}

TEST_F(DataAccess, DateLiteralsSelectWhatSqlServerWould)
{
    local(QStringLiteral("INSERT INTO BILET (B_NID, B_DATA) VALUES ('a','2010-02-28 00:00:00'),('b','2010-03-01 00:00:00'),"
                         "('c','2010-03-05 00:00:00'),('d','2010-03-05 10:00:00'),('e','2010-03-06 00:00:00');"));
    Query& q = dm.Q1;
    q.setSql(QStringLiteral("SELECT * FROM BILET Where B_DATA Between'01.03.2010' and '05.03.2010' Order By B_NID"));
    q.open();
    QStringList ids;
    for (q.first(); !q.eof(); q.next()) ids << q.text(QStringLiteral("B_NID"));
    EXPECT_EQ(ids, (QStringList{QStringLiteral("b"), QStringLiteral("c")}));
    q.setSql(QStringLiteral("SELECT * FROM BILET Where B_DATA='05.03.2010 10:00:00' "));
    q.open();
    EXPECT_EQ(q.rowCount(), 1);
}

// The embedded database binds a statement's values as they are: a date as the stored date,
// a key that looks like a date as the text it is; the same text with other values is
// translated and prepared once.
TEST_F(DataAccess, StatementValuesAreBoundByTheirType)
{
    local(QStringLiteral("INSERT INTO BILET (B_NID, B_DATA) VALUES ('01.03.2010','2010-03-01 00:00:00'),('b','2010-03-05 10:00:00'),"
                         "('c','2010-03-06 00:00:00');"));
    const struct { Statement st; const char* ids; } cases[] = {
        {Statement(QStringLiteral("SELECT * FROM BILET Where B_DATA Between%1 and %2 Order By B_NID"),
                   {wallClock(QDate(2010, 3, 1)), wallClock(QDate(2010, 3, 5), QTime(23, 59, 59))}), "01.03.2010,b"},
        {Statement(QStringLiteral("SELECT * FROM BILET Where B_NID=%1 "), {QStringLiteral("01.03.2010")}), "01.03.2010"},
        {Statement(QStringLiteral("SELECT * FROM BILET Where B_NID=%1 "), {QStringLiteral("c")}), "c"},
        {Statement(QStringLiteral("SELECT * FROM BILET Where B_DATA=%1 "), {QVariant::fromValue(Stamp{wallClock(QDate(2010, 3, 6))})}), "c"},
    };
    EXPECT_TRUE(dm.ADOC1.isDateColumn(QStringLiteral("B_DATA"))); // the column kinds are read at the first question
    const qint64 before = dm.ADOC1.statementCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.st.text().toStdString());
        Query& q = dm.Q1;
        q.setSql(c.st);
        q.open();
        QStringList ids;
        for (q.first(); !q.eof(); q.next())
            ids << q.text(QStringLiteral("B_NID"));
        EXPECT_EQ(ids.join(QLatin1Char(',')), QString::fromUtf8(c.ids));
        // The same statement through the driver that SQL Server's path uses: its text.
        EXPECT_EQ(q.sql(), c.st.text());
    }
    EXPECT_EQ(dm.ADOC1.statementCount() - before, 4);
    const Connection::Bindable b = dm.ADOC1.bindable(cases[0].st);
    EXPECT_EQ(b.sql.count(QLatin1Char('?')), 2);
    EXPECT_EQ(b.bind(cases[0].st), (QVariantList{QStringLiteral("2010-03-01 00:00:00"), QStringLiteral("2010-03-05 23:59:59")}));
}

TEST_F(DataAccess, TextPlusConcatenatesNumericPlusAdds)
{
    local(QStringLiteral("INSERT INTO REALIZ (REA_NID, REA_KTO, REA_KEY) VALUES ('17','F1',NULL),('18','F1','KEEP');"
                         "INSERT INTO AVANS (AV_NID, AV_SUM1, AV_SUM2, AV_SUM3) VALUES ('a',1.5,2,3);"));
    dm.Q1.setSql(QStringLiteral("Update REALIZ Set REA_KEY=REA_KTO+REA_NID Where REA_KEY is NULL "));
    dm.Q1.exec();
    EXPECT_EQ(localValue(QStringLiteral("SELECT REA_KEY FROM REALIZ WHERE REA_NID='17'")).toString(), QStringLiteral("F117"));
    EXPECT_EQ(localValue(QStringLiteral("SELECT REA_KEY FROM REALIZ WHERE REA_NID='18'")).toString(), QStringLiteral("KEEP"));
    dm.Q1.setSql(QStringLiteral("Select Sum(AV_SUM1+AV_SUM2+AV_SUM3) as AV_SUMMA From AVANS"));
    dm.Q1.open();
    EXPECT_DOUBLE_EQ(dm.Q1.number(QStringLiteral("AV_SUMMA")), 6.5);
}

TEST_F(DataAccess, ApostropheInAValueIsMatchedAsItStands)
{
    local(QStringLiteral("INSERT INTO KLIENT (K_NID, K_FIO) VALUES ('O''1','О''Нил');"));
    dm.Q1.setSql(QStringLiteral("SELECT * FROM KLIENT Where K_NID='") + sqlValue(QStringLiteral("O'1")) + QStringLiteral("' "));
    dm.Q1.open();
    ASSERT_EQ(dm.Q1.rowCount(), 1);
    EXPECT_EQ(dm.Q1.text(QStringLiteral("K_FIO")), QStringLiteral("О'Нил"));
}

TEST_F(DataAccess, TransactionsAreOneLevel)
{
    Connection& c = dm2.ADOC2;
    EXPECT_THROW(c.commit(), DbError);
    EXPECT_THROW(c.rollback(), DbError);
    c.beginTransaction();
    EXPECT_THROW(c.beginTransaction(), DbError);
    dm2.Q1.setSql(QStringLiteral("INSERT INTO KTO (KTO_KOD) VALUES ('X')"));
    dm2.Q1.exec();
    c.rollback();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM KTO")).toInt(), 0);
    c.beginTransaction();
    dm2.Q1.exec();
    c.commit();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM KTO")).toInt(), 1);
    EXPECT_THROW(c.rollback(), DbError);
}

TEST_F(DataAccess, PostWritesByTheTablesKeyAndFailsWhenTheRowIsGone)
{
    local(QStringLiteral("INSERT INTO TERRORIST (T_NAME, T_IIN, T_NOMER) VALUES ('Двойник','1','a'),('Двойник','1','a');"));
    Query& q = dm.Q1;
    q.setSql(QStringLiteral("SELECT * FROM TERRORIST Where T_IIN='1' and T_NAME='Двойник' "));
    q.open();
    q.next();
    q.edit();
    q.set(QStringLiteral("T_NOMER"), QStringLiteral("b"));
    q.post();
    EXPECT_EQ(q.text(QStringLiteral("T_NOMER")), QStringLiteral("b"));
    // The cursor writes by the table's key (T_IIN, T_NAME): every row holding it.
    EXPECT_EQ(localValue(QStringLiteral("SELECT group_concat(T_NOMER, ',') FROM (SELECT T_NOMER FROM TERRORIST ORDER BY rowid)")).toString(),
              QStringLiteral("b,b"));

    // A row deleted between the read and the post: the post fails instead of writing nothing.
    TableCursor& staff = dm.T_PERSONAL;
    local(QStringLiteral("INSERT INTO PERSONAL (P_NID, P_NAME) VALUES ('P1','Иванов');"));
    staff.open();
    ASSERT_TRUE(staff.locate(QStringLiteral("P_NID"), QStringLiteral("P1")));
    local(QStringLiteral("DELETE FROM PERSONAL;"));
    staff.edit();
    staff.set(QStringLiteral("P_NAME"), QStringLiteral("Петров"));
    EXPECT_THROW(staff.post(), DbError);
    staff.cancel();

    // Insert through a table cursor; a date assigned as text is stored as a date.
    TableCursor& kto = dm.T_KTO;
    kto.open();
    kto.insert();
    kto.set(QStringLiteral("KTO_KOD"), QStringLiteral("F9"));
    kto.set(QStringLiteral("KTO_EXPORT"), QStringLiteral("05.03.2010 10:00:00"));
    kto.post();
    EXPECT_EQ(kto.rowCount(), 1);
    EXPECT_EQ(localValue(QStringLiteral("SELECT KTO_EXPORT FROM KTO")).toString(), QStringLiteral("2010-03-05 10:00:00"));
    EXPECT_THROW(kto.set(QStringLiteral("KTO_KOD"), QStringLiteral("x")), DbError); // not in edit
}

TEST_F(DataAccess, ProceduresByNameInAnyCase)
{
    StoredProc& ins = dm2.Ins_Avans_Line;
    ins.set(QStringLiteral("@avl_av_nid"), QStringLiteral("AV1"));
    ins.set(QStringLiteral("@AVL_DATA"), QStringLiteral("05.03.2010"));
    ins.set(QStringLiteral("@AVL_SUMMA"), 12.5);
    dm2.ADOC2.beginTransaction();
    ins.execute();
    dm2.ADOC2.commit();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT AVL_DATA FROM AVANS_LINE")).toString(), QStringLiteral("2010-03-05 00:00:00"));
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT AVL_OPIS FROM AVANS_LINE")).isNull()); // never set: null

    StoredProc& del = dm2.Del_Avans_Line; // declares @AVl_AV_NID
    del.set(QStringLiteral("@AVL_AV_NID"), QStringLiteral("AV1"));
    del.execute();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM AVANS_LINE")).toInt(), 0);

    EXPECT_THROW(ins.set(QStringLiteral("@AVL_DATA"), QStringLiteral("2010-03-05")), DbError);
    EXPECT_THROW(ins.set(QStringLiteral("@NO_SUCH"), 1), DbError);
    StoredProc missing(dm2.ADOC2, QStringLiteral("No_Such_Proc;1"), {});
    EXPECT_THROW(missing.execute(), DbError);
}

TEST_F(DataAccess, AProcedureInItsOwnTransactionIsWholeOrNothing)
{
    // Two statements; the second refuses a second row with the same key.
    main(QStringLiteral("INSERT INTO SYS_PROC (PROC_NAME, PROC_STEP, PROC_SQL) VALUES "
                        "('Two_Steps', 1, 'INSERT INTO KTO (KTO_KOD, KTO_NAME) VALUES (@KOD, @NAME)'),"
                        "('Two_Steps', 2, 'INSERT INTO KTO (KTO_KOD, KTO_NAME) VALUES (@KOD2, ''second'')');"
                        "CREATE UNIQUE INDEX KTO_ONE ON KTO (KTO_KOD);"));
    Connection& c = dm2.ADOC2;
    StoredProc two(c, QStringLiteral("Two_Steps;1"),
                   {{QStringLiteral("@KOD"), ParamType::Text, 10}, {QStringLiteral("@NAME"), ParamType::Text, 50},
                    {QStringLiteral("@KOD2"), ParamType::Text, 10}});
    two.set(QStringLiteral("@KOD"), QStringLiteral("F1"));
    two.set(QStringLiteral("@NAME"), QStringLiteral("O'Нил"));
    two.set(QStringLiteral("@KOD2"), QStringLiteral("F2"));
    two.executeInTransaction();
    EXPECT_FALSE(c.inTransaction());
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(KTO_NAME, '|') FROM (SELECT KTO_NAME FROM KTO ORDER BY KTO_KOD)")).toString(),
              QStringLiteral("O'Нил|second"));

    // Refused at its second statement: the first is undone with it, and the connection is
    // left in the transaction for the caller's rollback, as after any refused write.
    two.set(QStringLiteral("@KOD"), QStringLiteral("F3"));
    two.set(QStringLiteral("@KOD2"), QStringLiteral("F1"));
    EXPECT_THROW(two.executeInTransaction(), DbError);
    EXPECT_TRUE(c.inTransaction());
    c.rollback();
    EXPECT_FALSE(c.inTransaction());
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM KTO WHERE KTO_KOD='F3'")).toInt(), 0);

    // Refused at its first statement: nothing was begun on the server side to speak of, and
    // the rollback still succeeds; the connection takes the next call.
    two.set(QStringLiteral("@KOD"), QStringLiteral("F1"));
    EXPECT_THROW(two.executeInTransaction(), DbError);
    c.rollback();
    two.set(QStringLiteral("@KOD"), QStringLiteral("F4"));
    two.set(QStringLiteral("@KOD2"), QStringLiteral("F5"));
    const qint64 before = c.statementCount();
    two.executeInTransaction();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM KTO")).toInt(), 4);
    if (c.batchesTransactions()) {
        EXPECT_EQ(c.statementCount() - before, 1); // one round trip: begin, both statements, commit
    }
}

TEST_F(DataAccess, PeriodDeletionProcedureKeepsBoundsAndOtherBranches)
{
    main(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_KTO, G_DATA) VALUES "
                        "('1','F1','2010-03-01 00:00:00'),('2','F1','2010-03-05 00:00:00'),('3','F1','2010-03-06 00:00:00'),"
                        "('4','F2','2010-03-02 00:00:00'),('5','F1','2010-02-28 00:00:00');"));
    StoredProc& del = dm2.Del_GL_Book;
    del.set(QStringLiteral("@G_KTO"), QStringLiteral("F1"));
    del.set(QStringLiteral("@G_DATA_C"), QStringLiteral("01.03.2010"));
    del.set(QStringLiteral("@G_DATA_PO"), QStringLiteral("05.03.2010"));
    del.execute();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(G_NID, ',') FROM (SELECT G_NID FROM GL_BOOK ORDER BY G_NID)")).toString(),
              QStringLiteral("3,4,5"));
}

// Writes on the embedded file's handle store what QSQLITE's binding stores, value by value
// (a null text as NULL, an empty text as '', numbers as numbers, dates as QSQLITE writes
// them), and a refused write fails with QSQLITE's own words and class.
TEST_F(DataAccess, WritesOnTheHandleStoreWhatQtStored)
{
    if (dm.ADOC1.viaOdbc())
        GTEST_SKIP() << "through the ODBC driver the writes are Qt's own";
    const QVariantList values{QVariant(QMetaType(QMetaType::QString)), QString(QLatin1String("")), QStringLiteral("Ключ 'к'"),
                              QVariant(42), QVariant(qlonglong(1) << 40), QVariant(2.25), QVariant(true),
                              QDateTime(QDate(2010, 3, 5), QTime(10, 0, 1)), QDate(2010, 3, 6), QVariant(),
                              QByteArray("\x01\x02", 2), QVariant(7u), QString::fromUtf8("пара \xF0\x9F\x98\x80 суррогатов"),
                              QString(QChar(0xD800)) + QStringLiteral("x"), QString(QChar(0xDC00))};
    for (int i = 0; i < values.size(); ++i)
        local(QStringLiteral("INSERT INTO GL_BOOK (G_NID) VALUES ('q%1'),('n%1');").arg(i));
    QSqlDatabase side = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("qt-binds"));
    side.setDatabaseName(localFile());
    ASSERT_TRUE(side.open());
    QSqlQuery qt(side);
    ASSERT_TRUE(qt.prepare(QStringLiteral("UPDATE GL_BOOK SET G_SODER=? WHERE G_NID=?")));
    for (int i = 0; i < values.size(); ++i) {
        qt.bindValue(0, values[i]);
        qt.bindValue(1, QStringLiteral("q%1").arg(i));
        ASSERT_TRUE(qt.exec()) << i;
        EXPECT_EQ(dm.ADOC1.execBound(QStringLiteral("UPDATE GL_BOOK SET G_SODER=? WHERE G_NID=?"),
                                     {values[i], QStringLiteral("n%1").arg(i)}), 1) << i;
    }
    qt.finish();
    for (int i = 0; i < values.size(); ++i) {
        const auto stored = [&](const char* prefix) {
            return localValue(QStringLiteral("SELECT typeof(G_SODER) || ':' || hex(G_SODER) FROM GL_BOOK WHERE G_NID='%1%2'")
                                  .arg(QLatin1String(prefix)).arg(i)).toString();
        };
        EXPECT_EQ(stored("n"), stored("q")) << i;
    }
    local(QStringLiteral("CREATE TRIGGER no_x BEFORE UPDATE ON GL_BOOK WHEN NEW.G_SODER='x' BEGIN SELECT RAISE(ABORT, 'refused'); END;"));
    QSqlQuery refused(side);
    ASSERT_TRUE(refused.prepare(QStringLiteral("UPDATE GL_BOOK SET G_SODER=? WHERE G_NID=?")));
    refused.bindValue(0, QStringLiteral("x"));
    refused.bindValue(1, QStringLiteral("q0"));
    ASSERT_FALSE(refused.exec());
    const QString qtText = refused.lastError().text().trimmed();
    try {
        dm.ADOC1.execBound(QStringLiteral("UPDATE GL_BOOK SET G_SODER=? WHERE G_NID=?"), {QStringLiteral("x"), QStringLiteral("n0")});
        FAIL() << "the refused write went through";
    } catch (const DbError& e) {
        EXPECT_EQ(e.message(), qtText);
        EXPECT_FALSE(e.unavailable());
    }
    refused.finish();
    side.close();
    side = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("qt-binds"));
}

// A selection read on the embedded file's handle gives each value as the same rows read
// through Qt give it (a table cursor reads through Qt): texts of any script, empty and null
// texts, dates, numbers, typed nulls; a lookup's row tag as an integer; a failing selection
// with Qt's own words.
TEST_F(DataAccess, ReadsOnTheHandleGiveWhatQtGave)
{
    if (dm.ADOC1.viaOdbc())
        GTEST_SKIP() << "through the ODBC driver the reads are Qt's own";
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_NOMER, G_SUMMA, G_KTO, G_SODER, G_NEW_OLD) VALUES "
                         "('r1','2010-03-05 10:00:01','N 1',12.5,'F1','Ключ ''к''','NEW'),"
                         "('r2',NULL,'',0,'F1',NULL,'NEW'),"
                         "('r3','2010-03-06 00:00:00','3',-1e10,NULL,'',NULL);"));
    // A text outside the basic plane, and bytes that are not UTF-8 (written by another program).
    dm.ADOC1.execBound(QStringLiteral("UPDATE GL_BOOK SET G_KTO=? WHERE G_NID='r2'"), {QString::fromUtf8("\xF0\x9F\x98\x80")});
    local(QStringLiteral("UPDATE GL_BOOK SET G_KTO=CAST(X'41C3FF42' AS TEXT) WHERE G_NID='r3';"));
    TableCursor all(dm.ADOC1, QStringLiteral("GL_BOOK"));
    all.open();
    Query q(dm.ADOC1);
    q.setSql(Statement(QStringLiteral("SELECT * FROM GL_BOOK Where G_NID=%1"), {QStringLiteral("r1")}));
    for (const char* nid : {"r1", "r2", "r3"}) {
        q.setSql(Statement(QStringLiteral("SELECT * FROM GL_BOOK Where G_NID=%1"), {QString::fromLatin1(nid)}));
        q.open();
        ASSERT_EQ(q.rowCount(), 1) << nid;
        ASSERT_TRUE(all.locate(QStringLiteral("G_NID"), QString::fromLatin1(nid))) << nid;
        ASSERT_EQ(q.columns(), all.columns());
        for (const QString& c : all.columns()) {
            const QVariant mine = q.value(c), qt = all.value(c);
            EXPECT_EQ(mine.metaType(), qt.metaType()) << nid << " " << qPrintable(c);
            EXPECT_EQ(mine.isNull(), qt.isNull()) << nid << " " << qPrintable(c);
            EXPECT_EQ(mine, qt) << nid << " " << qPrintable(c);
        }
        // Written through like a row read through Qt.
        q.edit();
        q.set(QStringLiteral("G_NOMER"), QStringLiteral("через %1").arg(QString::fromLatin1(nid)));
        q.post();
    }
    EXPECT_EQ(localValue(QStringLiteral("SELECT G_NOMER FROM GL_BOOK WHERE G_NID='r2'")).toString(), QStringLiteral("через r2"));
    q.setSql(Statement(QStringLiteral("SELECT 0 AS X_ROW, * FROM GL_BOOK Where G_NID=%1 UNION ALL "
                                      "SELECT 1 AS X_ROW, * FROM GL_BOOK Where G_NID=%2 Order By X_ROW"),
                       {QStringLiteral("r3"), QStringLiteral("nobody")}));
    q.open();
    ASSERT_EQ(q.rowCount(), 1);
    EXPECT_EQ(q.integer(QStringLiteral("X_ROW")), 0);
    EXPECT_EQ(q.text(QStringLiteral("G_NOMER")), QStringLiteral("через r3"));
    QSqlDatabase side = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("qt-reads"));
    side.setDatabaseName(localFile());
    ASSERT_TRUE(side.open());
    {
        QSqlQuery qt(side);
        ASSERT_FALSE(qt.prepare(QStringLiteral("SELECT * FROM GL_BOOK Where G_NIX=?")));
        const QString qtText = qt.lastError().text().trimmed();
        q.setSql(Statement(QStringLiteral("SELECT * FROM GL_BOOK Where G_NIX=%1"), {QStringLiteral("r1")}));
        try {
            q.open();
            FAIL() << "a selection of a missing column was read";
        } catch (const DbError& e) {
            EXPECT_EQ(e.message(), qtText);
        }
    }
    side.close();
    side = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("qt-reads"));
}
