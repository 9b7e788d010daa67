// Start-up, Path.ini, the connect sequence and the two logs.
#include "fixture.h"

#include "shell/station.h"

#include <QDir>
#include <QStringDecoder>
#include <QStringEncoder>

#include <csignal>
#include <limits>

#include <sys/resource.h>
#include <QFile>

using namespace varid;
using varid::testing::TwoDatabases;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray cp1251(const char* utf8) { return encode1251(QString::fromUtf8(utf8)); }

const QDateTime kNoon(QDate(2010, 3, 5), QTime(12, 0));

} // namespace

class StartUp : public ::testing::Test {
protected:
    void SetUp() override { varid::testing::app(); ASSERT_TRUE(dir.isValid()); }
    QString ini() const { return dir.filePath(QStringLiteral("Path.ini")); }
    QTemporaryDir dir;
    SimTimerHost host{kNoon};
    QStringList messages;
    std::unique_ptr<Station> start()
    {
        auto st = std::make_unique<Station>(dir.path(), host);
        QObject::connect(st.get(), &Station::message, st.get(), [this](const QString& m) { messages << m; });
        st->formCreate();
        return st;
    }
};

TEST_F(StartUp, FirstStartWritesTheDefaultsAndReadsThemBack)
{
    auto st = start();
    EXPECT_EQ(readAll(ini()), QByteArray("GLServerIP:127.0.0.1\r\nServerName:Server\r\nAdminName:sa\r\nAdminPass:1\r\n"
                                         "Interval:30\r\nTimeOpen:9:00\r\nTimeClose:19:00\r\nStart:60\r\n"
                                         "GLAliasName:MyTiveron\r\nLocalAliasName:MyTiveron\r\n"));
    EXPECT_TRUE(messages.isEmpty());
    const Panel& p = st->panel();
    EXPECT_EQ(p.L_GL_IP.text, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(p.L_GL_IP.hint, QStringLiteral("MyTiveron"));
    EXPECT_EQ(p.L_IP.text, QStringLiteral("Server"));
    EXPECT_EQ(p.L_Interval.text, QStringLiteral("интервал в мин. 30"));
    EXPECT_EQ(p.L_C.text, QStringLiteral("начало передачи в 9:00"));
    EXPECT_EQ(p.L_Po.hint, QStringLiteral("19:00"));
    EXPECT_EQ(p.L_Admin.text, QStringLiteral("sa"));
    EXPECT_EQ(p.L_Pass.text, QStringLiteral("********")); // never the password in clear
    EXPECT_EQ(st->session().password, QStringLiteral("1"));
    EXPECT_EQ(st->schedule().T2->interval(), 1800000);
    EXPECT_EQ(p.PB_Start.max, 60);
    EXPECT_EQ(st->schedule().startThreshold, 60);
    EXPECT_TRUE(st->schedule().T1->enabled());
    EXPECT_EQ(p.Data_O_PO, QDate(2010, 3, 5));
    EXPECT_EQ(p.Data_O_C, QDate(2010, 3, 4));
    EXPECT_EQ(p.L_StartProg.text, QStringLiteral("Включено 05.03.2010 12:00:00"));
}

// Nine lines, the last one missing: reported short, naming the file.
TEST_F(StartUp, ANineLinePathIniIsReportedShort)
{
    writeFile(ini(), QByteArray("GLServerIP:10.1.0.5\r\nServerName:s\r\nAdminName:sa\r\nAdminPass:p\r\nInterval:30\r\n"
                                "TimeOpen:9:00\r\nTimeClose:19:00\r\nStart:60\r\nGLAliasName:m\r\n"));
    auto st = start();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Path.ini: 9 строк вместо десяти"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Path.ini"))) << messages[0].toStdString();
}

TEST_F(StartUp, LinesAreReadByPositionNotByKey)
{
    writeFile(ini(), cp1251("XXXXXXXXXXX10.1.1.1\r\nserverName:Филиал\r\nAdm\r\n\r\nInterval:5\r\n123456789\r\n1234567890\r\nSTART:7\r\n"));
    auto st = start();
    ASSERT_EQ(messages.size(), 1); // the file is short: it says so, and goes on
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Path.ini: 8 строк вместо десяти"))) << messages[0].toStdString();
    EXPECT_EQ(st->panel().L_GL_IP.text, QStringLiteral("10.1.1.1"));
    EXPECT_EQ(st->panel().L_IP.text, QStringLiteral("Филиал"));
    EXPECT_EQ(st->panel().L_Admin.text, QString()); // shorter than its key
    EXPECT_EQ(st->panel().L_C.text, QStringLiteral("начало передачи в "));
    EXPECT_EQ(st->panel().L_IP.hint, QString()); // missing lines read empty
    EXPECT_EQ(st->schedule().T2->interval(), 5 * 60000);
    EXPECT_EQ(st->schedule().startThreshold, 7);
}

TEST_F(StartUp, NonIntegerValuesStopStartUpWithoutTimers)
{
    const struct { const char* interval; const char* start; const char* bad; } cases[] = {
        {"Interval:abc", "Start:60", "abc"},
        {"Interval:30", "Start:1.5", "1.5"},
        {"Interval:", "Start:60", ""},
    };
    for (const auto& c : cases) {
        messages.clear();
        writeFile(ini(), QByteArray("a\r\nb\r\nc\r\nd\r\n") + c.interval + "\r\nf\r\ng\r\n" + c.start + "\r\ni\r\nj\r\n");
        auto st = start();
        ASSERT_EQ(messages.size(), 1) << c.interval;
        EXPECT_EQ(messages[0], QStringLiteral("'%1' is not a valid integer value").arg(QString::fromLatin1(c.bad)));
        EXPECT_FALSE(st->schedule().T1->enabled());
        EXPECT_EQ(st->schedule().T2->interval(), 0);
        host.advance(120000);
        EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("0"));
    }
}

TEST_F(StartUp, UncreatableConfigurationIsShownAndNothingRuns)
{
    QDir(dir.path()).mkdir(QStringLiteral("Path.ini")); // a directory in its place
    auto st = start();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Path.ini")));
    EXPECT_FALSE(st->schedule().T1->enabled());
}

// The connect sequence on the two embedded databases.
class Connect : public TwoDatabases {
protected:
    void SetUp() override
    {
        TwoDatabases::SetUp();
        varid::testing::writePathIni(home());
        local(QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_NAME, KTO_ACTIV) VALUES ('F0001','Первый','НЕТ'),('F0007','Седьмой','ДА');"
                             "INSERT INTO FIRM (F_NOMER, F_TEL) VALUES (2,'000'),(1,'250-15-07');"));
        st = std::make_unique<Station>(home(), host);
        st->formCreate();
    }
    SimTimerHost host{kNoon};
    std::unique_ptr<Station> st;
};

TEST_F(Connect, TestVariantReadsTheBranchAndConnectsBoth)
{
    EXPECT_TRUE(st->connectSequence(Station::Variant::Test));
    const Panel& p = st->panel();
    EXPECT_EQ(p.L_Info.text, QStringLiteral("Есть соединение"));
    EXPECT_EQ(p.L_Info.background, Colour::Green);
    EXPECT_EQ(p.L_Info.foreground, Colour::Maroon);
    EXPECT_EQ(p.L_Info1.text, QStringLiteral("Есть соединение"));
    EXPECT_EQ(p.L_Info1.foreground, Colour::Default);
    EXPECT_EQ(p.L_KTO.text, QStringLiteral("F0007"));
    EXPECT_EQ(p.caption, QStringLiteral("Rozor данными между серверами. Программа Тиверон. v 12.0.0  Седьмой"));
    EXPECT_EQ(p.L_Tel.text, QStringLiteral("тел: 250-15-07"));
    EXPECT_TRUE(p.L_Tel.visible);
    EXPECT_EQ(p.L_Pop.text, QStringLiteral("0")); // the button does not count attempts
}

TEST_F(Connect, TimerVariantCountsTheAttemptAndDropsTheVersion)
{
    EXPECT_TRUE(st->connectSequence(Station::Variant::Timer));
    EXPECT_EQ(st->panel().caption, QStringLiteral("Rozor данными между серверами. Программа Тиверон.  Седьмой"));
    EXPECT_EQ(st->panel().L_Info1.foreground, Colour::Maroon);
    EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("1"));
}

// The branch is the one KTO row marked "ДА". None, or several, and the branch is unknown:
// the status says so, the message names the rows, and nothing can run (the first row may be
// another branch registered by an incoming sale, whose rows a night run would delete).
TEST_F(Connect, WithoutExactlyOneActiveRowTheBranchIsUnknownAndNothingRuns)
{
    struct Case {
        const char* script;
        const char* message;
    } cases[] = {
        {"UPDATE KTO SET KTO_ACTIV='НЕТ';", "local: в таблице KTO нет строки филиала с KTO_ACTIV='ДА': филиал не определён, передачи не будет"},
        {"INSERT INTO KTO (KTO_KOD, KTO_NAME, KTO_ACTIV) VALUES ('F0009','Девятый','ДА');",
         "local: в таблице KTO 2 строк с KTO_ACTIV='ДА' (F0007, F0009): филиал не определён, передачи не будет"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        SetUp();
        local(QString::fromUtf8(c.script));
        EXPECT_FALSE(st->connectSequence(Station::Variant::Timer));
        EXPECT_EQ(st->panel().L_Info1.text, QStringLiteral("Филиал не определён"));
        EXPECT_TRUE(st->panel().L_KTO.text.isEmpty());
        EXPECT_TRUE(st->branch().isEmpty());
        EXPECT_EQ(st->session().connectErrors, QStringList{QString::fromUtf8(c.message)});
        EXPECT_FALSE(st->bothConnected());
        // Put right, the next attempt knows the branch.
        local(QStringLiteral("UPDATE KTO SET KTO_ACTIV=CASE WHEN KTO_KOD='F0007' THEN 'ДА' ELSE 'НЕТ' END;"));
        EXPECT_TRUE(st->connectSequence(Station::Variant::Timer));
        EXPECT_EQ(st->panel().L_KTO.text, QStringLiteral("F0007"));
        EXPECT_EQ(st->branch(), QStringLiteral("F0007"));
    }
}

TEST_F(Connect, LocalDownLeavesTheMainUntried)
{
    QFile::remove(localFile());
    EXPECT_FALSE(st->connectSequence(Station::Variant::Timer));
    EXPECT_EQ(st->panel().L_Info1.text, QStringLiteral("Cоединение отсутствует"));
    EXPECT_EQ(st->panel().L_Info1.text.at(0), QLatin1Char('C')); // the Latin letter
    EXPECT_EQ(st->panel().L_Info1.background, Colour::Maroon);
    EXPECT_EQ(st->panel().L_Info1.foreground, Colour::Black);
    EXPECT_EQ(st->panel().L_Info.text, QStringLiteral("Соединение"));
    EXPECT_FALSE(st->dm2().ADOC2.connected());
    EXPECT_EQ(st->panel().L_KTO.text, QStringLiteral("FIL_4"));
}

TEST_F(Connect, MainDownAfterTheLocal)
{
    QFile::remove(mainFile());
    EXPECT_FALSE(st->connectSequence(Station::Variant::Test));
    EXPECT_EQ(st->panel().L_Info1.text, QStringLiteral("Есть соединение"));
    EXPECT_EQ(st->panel().L_Info.text, QStringLiteral("Cоединение отсутствует"));
    EXPECT_EQ(st->panel().L_Info.foreground, Colour::Black);
    ASSERT_EQ(st->session().connectErrors.size(), 1);
    EXPECT_TRUE(st->session().connectErrors[0].contains(QStringLiteral("main.db")));
}

// The run log and the error log.
class Logs : public ::testing::Test {
protected:
    void SetUp() override { varid::testing::app(); log.setPaths(dir.path(), QDate(2010, 3, 5)); }
    QTemporaryDir dir;
    RunLog log;
};

TEST_F(Logs, DailyFileInWindows1251WithCrLf)
{
    EXPECT_EQ(log.logPath(), dir.filePath(QStringLiteral("Logs/2010март5.txt")));
    QStringList buffer{QString(), QStringLiteral("-----   Начало передачи 05.03.2010 12:00:00  -----")};
    log.flush(buffer, QString()); // the Logs directory is made when missing
    EXPECT_TRUE(buffer.isEmpty());
    buffer << QStringLiteral("Ошибка! x");
    log.flush(buffer, QString());
    EXPECT_EQ(readAll(log.logPath()), QByteArray("\r\n") + cp1251("-----   Начало передачи 05.03.2010 12:00:00  -----") + "\r\n"
                                          + cp1251("Ошибка! x") + "\r\n");
    EXPECT_FALSE(QFile::exists(log.errorsPath())); // no record failed
    log.flush(buffer, QStringLiteral("05.03.2010"));
    log.flush(buffer, QStringLiteral("05.03.2010"));
    EXPECT_EQ(readAll(log.errorsPath()), QByteArray("05.03.2010\r\n05.03.2010\r\n"));
}

// The program's own Windows-1251 table gives what the system's converter gives: every byte
// read, every character of the basic plane written (0x1A where the code page has none), and
// one 0x1A for a pair beyond it.
TEST(CodePage, Windows1251AsTheSystemConverterHasIt)
{
    QStringDecoder decoder("windows-1251");
    QStringEncoder encoder("windows-1251");
    if (!decoder.isValid() || !encoder.isValid())
        GTEST_SKIP() << "no windows-1251 converter on this system";
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    EXPECT_EQ(decode1251(bytes), decoder.decode(bytes));
    // Character by character; where the converter writes nothing at all (the invisible
    // characters it drops: joiners, marks of direction, variation selectors), ours writes
    // 0x1A, which the log shows as "?".
    int dropped = 0;
    for (int c = 0; c < 0x10000; ++c) {
        if (QChar::isSurrogate(char32_t(c)))
            continue;
        const QString one{QChar(char16_t(c))};
        QByteArray system = QStringEncoder("windows-1251").encode(one);
        if (system.isEmpty()) {
            system = "\x1a";
            ++dropped;
        }
        ASSERT_EQ(encode1251(one), system) << "U+" << QString::number(c, 16).toStdString();
    }
    EXPECT_LT(dropped, 100);
    const QString beyond = QString::fromUtf16(u"a\U0001F600b") + QChar(char16_t(0xDC00)) + QLatin1Char('c');
    EXPECT_EQ(encode1251(beyond), QStringEncoder("windows-1251").encode(beyond));
    EXPECT_EQ(decode1251(encode1251(QStringLiteral("Начало передачи №5 «Ёлка» — €"))),
              QStringLiteral("Начало передачи №5 «Ёлка» — €"));
}

TEST_F(Logs, AFailedFlushKeepsTheBufferTheMarkerAndTheFile)
{
    QStringList buffer{QStringLiteral("a"), QStringLiteral("b")};
    int attempts = 0;
    log.append = [&](const QString&, const QByteArray&, QString& error) {
        ++attempts;
        error = QStringLiteral("No space left on device");
        return false;
    };
    EXPECT_FALSE(log.flush(buffer, QStringLiteral("04.03.2010")));
    EXPECT_EQ(log.lastError(), QStringLiteral("No space left on device"));
    EXPECT_EQ(buffer.size(), 2);
    EXPECT_FALSE(QFile::exists(log.errorsPath()));
    // The disk has room again: the kept lines and the kept error date both arrive.
    log.append = RunLog().append;
    buffer << QStringLiteral("c");
    EXPECT_TRUE(log.flush(buffer, QStringLiteral("05.03.2010")));
    EXPECT_TRUE(buffer.isEmpty());
    EXPECT_EQ(readAll(log.logPath()), QByteArray("a\r\nb\r\nc\r\n"));
    EXPECT_EQ(readAll(log.errorsPath()), QByteArray("04.03.2010\r\n05.03.2010\r\n"));
    // Errors.txt alone failing keeps its date for the next flush as well.
    log.append = [](const QString& path, const QByteArray& bytes, QString& error) {
        return path.endsWith(QLatin1String("Errors.txt")) ? false : RunLog().append(path, bytes, error);
    };
    QStringList more{QStringLiteral("d")};
    EXPECT_FALSE(log.flush(more, QStringLiteral("06.03.2010")));
    log.append = RunLog().append;
    EXPECT_TRUE(log.writeErrors(QString()));
    EXPECT_EQ(readAll(log.errorsPath()), QByteArray("04.03.2010\r\n05.03.2010\r\n06.03.2010\r\n"));
}

TEST_F(Logs, AWriteThatFailsHalfwayIsCutBackToTheOldSize)
{
    QDir(dir.path()).mkpath(QStringLiteral("Logs"));
    writeFile(log.logPath(), "earlier\r\n");
    // The file may not grow past 64 bytes: a real write that fails after writing part.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QStringList buffer{QString(100, QLatin1Char('x'))};
    const bool ok = log.flush(buffer, QString());
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
    EXPECT_EQ(readAll(log.logPath()), QByteArray("earlier\r\n"));
    EXPECT_EQ(buffer.size(), 1);
}

TEST_F(Logs, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    QStringList buffer{QStringLiteral("Ошибка! K_FIO=李 ✓")};
    ASSERT_TRUE(log.flush(buffer, QString()));
    const QByteArray bytes = readAll(log.logPath());
    EXPECT_FALSE(bytes.contains('\x1a'));
    EXPECT_TRUE(bytes.endsWith("=? ?\r\n")) << bytes.toStdString();
}

TEST_F(StartUp, AnUnreadableOrShortConfigurationIsNeverReplaced)
{
    // Unreadable: a directory can stand for a file no one can read, root included.
    const struct { const char* name; QByteArray bytes; const char* says; } cases[] = {
        {"short", QByteArray("GLServerIP:1\r\nServerName:2\r\n"), "Path.ini: 2 строк"},
    };
    for (const auto& c : cases) {
        messages.clear();
        writeFile(ini(), c.bytes);
        auto st = start();
        ASSERT_EQ(messages.size(), 2) << c.name; // the line count, then the missing interval
        EXPECT_TRUE(messages[0].startsWith(QString::fromUtf8(c.says))) << messages[0].toStdString();
        EXPECT_EQ(messages[1], QStringLiteral("'' is not a valid integer value"));
        EXPECT_FALSE(st->schedule().T1->enabled());
        EXPECT_EQ(readAll(ini()), c.bytes);
    }
    // A Path.ini that is there but cannot be read (a folder in its place cannot be read as a
    // file by anyone, root included): the message, and nothing written over it.
    QFile::remove(ini());
    ASSERT_TRUE(QDir().mkpath(ini()));
    {
        messages.clear();
        auto st = start();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0], QStringLiteral("Не удается найти или прочитать фаил запуска \"Path.ini\""));
        EXPECT_FALSE(st->schedule().T1->enabled());
    }
    EXPECT_TRUE(QFileInfo(ini()).isDir());
    QDir(ini()).removeRecursively();
    // A file without read permission, where the machine enforces it: the same.
    writeFile(ini(), "GLServerIP:keep me\r\n");
    ASSERT_TRUE(QFile::setPermissions(ini(), QFileDevice::Permissions()));
    if (!QFile(ini()).open(QIODevice::ReadOnly)) {
        messages.clear();
        auto st = start();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_FALSE(st->schedule().T1->enabled());
    }
    QFile::setPermissions(ini(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(readAll(ini()), QByteArray("GLServerIP:keep me\r\n"));
}

TEST_F(StartUp, AByteOrderMarkIsSkippedAndANegativeIntervalRefused)
{
    writeFile(ini(), QByteArray("\xEF\xBB\xBFGLServerIP:10.1.0.5\r\nServerName:s\r\nAdminName:sa\r\nAdminPass:p\r\nInterval:-5\r\n"
                                "TimeOpen:9:00\r\nTimeClose:19:00\r\nStart:60\r\nGLAliasName:m\r\nLocalAliasName:l\r\n"));
    auto st = start();
    EXPECT_EQ(st->panel().L_GL_IP.text, QStringLiteral("10.1.0.5"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QStringLiteral("Interval в Path.ini не может быть отрицательным: -5"));
    EXPECT_FALSE(st->schedule().T1->enabled());
}

TEST_F(StartUp, AHugeIntervalIsClampedNotOverflowed)
{
    writeFile(ini(), QByteArray("a:1\r\nb:2\r\nc:3\r\nd:4\r\nInterval:2000000000\r\nf\r\ng\r\nStart:0\r\ni\r\nj\r\n"));
    auto st = start();
    EXPECT_EQ(st->schedule().T2->interval(), std::numeric_limits<int>::max());
}
