// The command line as an operator meets it: the program itself, run as a process on a
// demo branch made by varid-demo.
#include "fixture.h"

#include "shell/instancelock.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QFileInfo>
#include <QStringDecoder>

using namespace varid;

namespace {

struct Result {
    int code = -1;
    QString out, err;
};

Result runVarid(const QStringList& args, int timeoutMs = 60000, const QString& program = QStringLiteral(VARID_BIN))
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(timeoutMs);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        varid::testing::app();
        ASSERT_TRUE(dir.isValid());
        QProcess demo;
        demo.start(QStringLiteral(VARID_DEMO_BIN), {home(), QStringLiteral("--rows"), QStringLiteral("12"), QStringLiteral("--today"),
                                                   QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))});
        ASSERT_TRUE(demo.waitForFinished(60000));
        ASSERT_EQ(demo.exitCode(), 0) << demo.readAllStandardError().toStdString();
    }
    QString home() const { return dir.filePath(QStringLiteral("branch")); }
    // A second home whose Path.ini names the first home's two databases.
    QString otherHome()
    {
        const QString other = dir.filePath(QStringLiteral("other"));
        EXPECT_TRUE(QDir().mkpath(other));
        QFile in(QDir(home()).filePath(QStringLiteral("Path.ini")));
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        QByteArray ini = in.readAll();
        ini.replace("LocalAliasName:local.db", "LocalAliasName:" + QDir(home()).filePath(QStringLiteral("local.db")).toUtf8());
        ini.replace("GLAliasName:main.db", "GLAliasName:" + QDir(home()).filePath(QStringLiteral("main.db")).toUtf8());
        QFile out(QDir(other).filePath(QStringLiteral("Path.ini")));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(ini);
        return other;
    }
    QTemporaryDir dir;
};

} // namespace

TEST(CommandLine, HelpVersionAndUsageErrors)
{
    varid::testing::app();
    const Result help = runVarid({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    for (const char* option : {"--check", "--once", "--headless", "--home", "--period", "--new", "--terrorist"})
        EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;
    EXPECT_EQ(runVarid({QStringLiteral("--version")}).out.trimmed(), QStringLiteral("varid 12.0.0"));
    const struct { QStringList args; const char* says; } bad[] = {
        {{QStringLiteral("--bogus")}, "bogus"},
        {{QStringLiteral("--once"), QStringLiteral("--period"), QStringLiteral("1.1.2010"), QStringLiteral("x")}, "--period"},
        {{QStringLiteral("--check"), QStringLiteral("--once")}, "exclude"},
        {{QStringLiteral("--terrorist")}, "--once"},
        {{QStringLiteral("stray")}, "stray"},
        // a reversed period is no act with no differences, and no empty run
        {{QStringLiteral("--act"), QStringLiteral("05.03.2010"), QStringLiteral("01.03.2010")}, "ends (01.03.2010) before it begins (05.03.2010)"},
        {{QStringLiteral("--once"), QStringLiteral("--period"), QStringLiteral("05.03.2010"), QStringLiteral("01.03.2010")}, "--period: the period ends"},
    };
    for (const auto& b : bad) {
        const Result r = runVarid(b.args);
        EXPECT_EQ(r.code, 64) << b.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(b.says))) << r.err.toStdString();
    }
}

TEST_F(Cli, OnceSendsEverythingAndASecondRunSendsNothingNew)
{
    Result r = runVarid({QStringLiteral("--once"), QStringLiteral("--new"), QStringLiteral("--home"), home()});
    ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("-----   Конец передачи ")));
    r = runVarid({QStringLiteral("--once"), QStringLiteral("--new"), QStringLiteral("--home"), home()});
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("билеты 0"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("главная книга 0")));
}

TEST_F(Cli, ASecondInstanceOnOneHomeIsTurnedAway)
{
    QLockFile held(QDir(home()).filePath(QStringLiteral("varid.lock")));
    ASSERT_TRUE(held.tryLock(0));
    const Result r = runVarid({QStringLiteral("--once"), QStringLiteral("--home"), home()});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains(QString::number(QCoreApplication::applicationPid()))) << r.err.toStdString();
    // The act takes the same lock, in the window module.
    const Result act = runVarid({QStringLiteral("--act"), QStringLiteral("01.03.2010"), QStringLiteral("05.03.2010"), QStringLiteral("--home"), home()});
    EXPECT_EQ(act.code, 3) << act.err.toStdString();
    held.unlock();
    EXPECT_EQ(runVarid({QStringLiteral("--check"), QStringLiteral("--home"), home()}).code, 0);
}

// The program alone, without its window module beside it: the transfer and the check need
// nothing more; the act says what is missing instead of failing silently.
TEST_F(Cli, TheTransferNeedsNoWindowModule)
{
    const QString alone = dir.filePath(QStringLiteral("bin/varid"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("bin"))));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VARID_BIN), alone));
    Result r = runVarid({QStringLiteral("--once"), QStringLiteral("--new"), QStringLiteral("--home"), home()}, 60000, alone);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("-----   Конец передачи ")));
    r = runVarid({QStringLiteral("--act"), QStringLiteral("01.03.2010"), QStringLiteral("05.03.2010"), QStringLiteral("--home"), home()}, 60000, alone);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("the window module cannot be loaded"))) << r.err.toStdString();
}

TEST_F(Cli, ARunThatBreaksOffWritesItsLinesBeforeTheProcessEnds)
{
    // The main database loses its tickets table: the tickets step breaks off.
    runSqliteScript(QDir(home()).filePath(QStringLiteral("main.db")), QStringLiteral("DROP TABLE BILET;"));
    const Result r = runVarid({QStringLiteral("--once"), QStringLiteral("--new"), QStringLiteral("--home"), home()});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Rec_Bilet"))) << r.err.toStdString();
    QDir logs(QDir(home()).filePath(QStringLiteral("Logs")));
    const QStringList files = logs.entryList({QStringLiteral("*.txt")});
    ASSERT_FALSE(files.isEmpty());
    QFile f(logs.filePath(files.first()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QStringDecoder dec("windows-1251");
    const QString log = dec.decode(f.readAll());
    EXPECT_TRUE(log.contains(QStringLiteral("-----   Обрыв связи в "))) << log.toStdString();
}

TEST_F(Cli, ARefusedRowsMessageGoesToStandardError)
{
    runSqliteScript(QDir(home()).filePath(QStringLiteral("main.db")),
                    QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON GL_BOOK BEGIN SELECT RAISE(ABORT, 'the ledger is closed'); END;"));
    const Result r = runVarid({QStringLiteral("--once"), QStringLiteral("--new"), QStringLiteral("--home"), home()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Ошибка! Записи на ГлС Ж.О.")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("the ledger is closed")));
}

// Two homes whose Path.ini name the same branch database: the second is turned away (exit 3)
// in every mode, naming the holder, whatever the home's own lock says.
TEST_F(Cli, ASecondHomeOnTheSameBranchDatabaseIsTurnedAway)
{
    const QString other = otherHome();
    QLockFile held(QDir(home()).filePath(QStringLiteral("local.db")) + QStringLiteral(".varid.lock"));
    ASSERT_TRUE(held.tryLock(0));
    for (const QStringList& mode : {QStringList{QStringLiteral("--once")}, QStringList{QStringLiteral("--check")},
                                    QStringList{QStringLiteral("--repair"), QStringLiteral("03.03.2010"), QStringLiteral("GL_BOOK")}}) {
        const Result r = runVarid(mode + QStringList{QStringLiteral("--home"), other});
        EXPECT_EQ(r.code, 3) << mode.join(QLatin1Char(' ')).toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Varid уже работает с базой филиала"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::number(QCoreApplication::applicationPid()))) << r.err.toStdString();
    }
    held.unlock();
    EXPECT_EQ(runVarid({QStringLiteral("--check"), QStringLiteral("--home"), other}).code, 0);
}

// Both locks are the system's: while a program holds them a second one is turned away and
// told the holder's process, from the same home or from another on the same database; once
// the holder is killed, the files it leaves lock nothing.
TEST_F(Cli, TheLocksOfAKilledProgramLockNothing)
{
    QProcess held;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    held.setProcessEnvironment(env);
    held.start(QStringLiteral(VARID_BIN), {QStringLiteral("--headless"), QStringLiteral("--home"), home()});
    ASSERT_TRUE(held.waitForStarted());
    QByteArray seen; // the start countdown's line: both locks are taken by then
    while (!seen.contains("запуск через") && held.waitForReadyRead(20000))
        seen += held.readAllStandardOutput();
    ASSERT_TRUE(QString::fromUtf8(seen).contains(QStringLiteral("запуск через"))) << seen.toStdString();
    const QString pid = QString::number(held.processId());
    const QString other = otherHome();
    for (const QString& h : {home(), other}) {
        const Result r = runVarid({QStringLiteral("--check"), QStringLiteral("--home"), h});
        EXPECT_EQ(r.code, 3) << h.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("процесс ") + pid)) << r.err.toStdString();
    }
    held.kill();
    ASSERT_TRUE(held.waitForFinished());
    EXPECT_TRUE(QFile::exists(QDir(home()).filePath(QStringLiteral("varid.lock"))));
    for (const QString& h : {home(), other}) {
        const Result r = runVarid({QStringLiteral("--check"), QStringLiteral("--home"), h});
        EXPECT_EQ(r.code, 0) << h.toStdString() << r.err.toStdString();
    }
}

// SIGTERM to --once: the run stops at the end of its current step, writes its lines and
// exits 2; it is not killed in the middle of a replaced period.
TEST_F(Cli, OnceStopsBetweenStepsOnSigterm)
{
    // A branch big enough that the run is still going when the signal comes.
    QProcess demo;
    const QString big = dir.filePath(QStringLiteral("big"));
    demo.start(QStringLiteral(VARID_DEMO_BIN), {big, QStringLiteral("--rows"), QStringLiteral("3000")});
    ASSERT_TRUE(demo.waitForFinished(120000));
    ASSERT_EQ(demo.exitCode(), 0);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VARID_BIN), {QStringLiteral("--once"), QStringLiteral("--period"), QStringLiteral("01.01.2000"),
                                        QStringLiteral("31.12.2030"), QStringLiteral("--home"), big});
    ASSERT_TRUE(p.waitForStarted());
    // As soon as the run has begun.
    QByteArray seen;
    while (!seen.contains("Начало передачи") && p.waitForReadyRead(10000))
        seen += p.readAllStandardOutput();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(60000));
    seen += p.readAllStandardOutput();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit); // not killed by the signal
    const int code = p.exitCode();
    const QString out = QString::fromUtf8(seen);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(out.contains(QStringLiteral("-----   Передача остановлена в "))) << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("Конец передачи")));
    // Whatever the step had deleted of a period, it sent again before it stopped.
    EXPECT_FALSE(QFile::exists(QDir(big).filePath(QStringLiteral("Replace.jrn"))));
}

// A layout the report engine renders blank is an error naming the file, not a blank act.
TEST_F(Cli, ALayoutRenderedBlankIsAnError)
{
    QFile layout(QDir(home()).filePath(QStringLiteral("Akt_Sverki.RAV")));
    ASSERT_TRUE(layout.open(QIODevice::WriteOnly));
    layout.write("<html><head><link rel=\"stylesheet\" href=\"a.css\"></head><body><!--SECTION--><!--ROW--><!--/ROW--><!--/SECTION--></body></html>");
    layout.close();
    const QString pdf = dir.filePath(QStringLiteral("act.pdf"));
    const Result r = runVarid({QStringLiteral("--act"), QStringLiteral("01.03.2010"), QStringLiteral("05.03.2010"), QStringLiteral("--pdf"), pdf,
                               QStringLiteral("--home"), home()});
    EXPECT_EQ(r.code, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Akt_Sverki.RAV"))) << r.err.toStdString();
}

// The statement trace: every statement of the run, in order, one a line, with its connection,
// values, outcome and time; the main login's password never in it. VARID_TRACE does the same
// for a mode without the option.
TEST_F(Cli, TheTraceHoldsEveryStatementAndNoPassword)
{
    QFile ini(QDir(home()).filePath(QStringLiteral("Path.ini")));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    QByteArray text = ini.readAll();
    ini.close();
    text.replace("AdminPass:1\r\n", "AdminPass:Qw7-secret-pw\r\n");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(text);
    ini.close();
    const QString file = dir.filePath(QStringLiteral("trace.txt"));
    const Result r = runVarid({QStringLiteral("--once"), QStringLiteral("--new"), QStringLiteral("--home"), home(), QStringLiteral("--trace"), file});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_FALSE(bytes.contains("Qw7-secret-pw"));
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    int main = 0;
    for (const QString& l : lines) {
        const QStringList fields = l.split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 6) << l.toStdString();
        EXPECT_TRUE(fields[1] == QStringLiteral("ГлС") || fields[1] == QStringLiteral("Локальный")) << l.toStdString();
        EXPECT_TRUE(fields[2].size() > 0);
        EXPECT_TRUE(fields[3].startsWith(QLatin1Char('[')) && fields[3].endsWith(QLatin1Char(']')));
        EXPECT_TRUE(fields[5].endsWith(QStringLiteral(" ms")));
        main += fields[1] == QStringLiteral("ГлС");
    }
    // At least the run's own statements to the main database, as --once counts them.
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("ГлС: +(\\d+) обращений")).match(r.out);
    ASSERT_TRUE(m.hasMatch()) << r.out.toStdString();
    EXPECT_GE(main, m.captured(1).toInt());
    // A ledger entry's insertion with its values, and the mark at the branch after it.
    const QStringList inserted = lines.filter(QStringLiteral("INSERT INTO GL_BOOK"));
    ASSERT_FALSE(inserted.isEmpty());
    EXPECT_TRUE(inserted.first().contains(QStringLiteral("строк: 1")));
    EXPECT_TRUE(inserted.first().contains(QStringLiteral("'F0007'"))) << inserted.first().toStdString();
    const QStringList marks = lines.filter(QStringLiteral("GL_BOOK Set G_NEW_OLD="), Qt::CaseInsensitive);
    ASSERT_FALSE(marks.isEmpty());
    EXPECT_TRUE(marks.first().contains(QStringLiteral("'OLD'"))) << marks.first().toStdString();
    EXPECT_LT(lines.indexOf(inserted.first()), lines.indexOf(marks.first())); // the copy before its mark

    qputenv("VARID_TRACE", dir.filePath(QStringLiteral("env.txt")).toUtf8());
    const Result again = runVarid({QStringLiteral("--check"), QStringLiteral("--home"), home()});
    qunsetenv("VARID_TRACE");
    EXPECT_EQ(again.code, 0);
    EXPECT_GT(QFileInfo(dir.filePath(QStringLiteral("env.txt"))).size(), 0);
}

TEST(InstanceLockTest, TheHolderIsNamed)
{
    varid::testing::app();
    QTemporaryDir d;
    InstanceLock first(d.path());
    ASSERT_TRUE(first.acquire());
    InstanceLock second(d.path());
    EXPECT_FALSE(second.acquire());
    EXPECT_TRUE(second.message().contains(QString::number(QCoreApplication::applicationPid())));
}
