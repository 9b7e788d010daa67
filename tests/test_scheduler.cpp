// The four timers on a simulated clock: the start countdown, the transfer timer with its
// day and night rule, the transfer countdown and the manual controls.
#include <QEventLoop>
#include <QTimer>
#include "transfer_fixture.h"
#include "shell/runlauncher.h"

using namespace varid;
using varid::testing::Branch;

class Scheduling : public Branch {
protected:
    // A fresh start of the program with these two values, at `when`.
    void restart(const char* interval, const char* start, const QDateTime& when = QDateTime(QDate(2010, 3, 5), QTime(12, 0)))
    {
        varid::testing::writePathIni(home(), interval, start);
        st.reset();
        host.setNow(when);
        st = std::make_unique<Station>(home(), host);
        QObject::connect(st.get(), &Station::lineAdded, st.get(), [this](const QString& l) { lines << l; });
        QObject::connect(st.get(), &Station::runEnded, st.get(), [this](const RunOutcome&) { ++runs; });
        st->formCreate();
    }
    const QString& label() const { return st->panel().L_Start.text; }
    int runs = 0;
};

TEST_F(Scheduling, StartCountdownHandsOverOnTheTickAfterTheThreshold)
{
    restart("30", "60");
    host.advance(1000);
    EXPECT_EQ(label(), QStringLiteral("запуск через 60 сек."));
    host.advance(59000);
    EXPECT_EQ(label(), QStringLiteral("запуск через 1 сек."));
    EXPECT_TRUE(st->schedule().T1->enabled());
    EXPECT_FALSE(st->schedule().T2->enabled());
    host.advance(1000); // the 61st tick
    EXPECT_EQ(label(), QStringLiteral("запуск через 0 сек."));
    EXPECT_FALSE(st->schedule().T1->enabled());
    EXPECT_TRUE(st->schedule().T2->enabled());
    EXPECT_TRUE(st->schedule().T4->enabled());
    EXPECT_EQ(st->panel().PB_Start.max, 1800);
    host.advance(1000);
    EXPECT_EQ(label(), QStringLiteral("передача через 1800 сек."));
    host.advance(1000);
    EXPECT_EQ(label(), QStringLiteral("передача через 1799 сек."));
    EXPECT_EQ(st->panel().PB_Start.pos, 2);
}

TEST_F(Scheduling, StartZeroHandsOverAtOnce)
{
    restart("30", "0");
    host.advance(1000);
    EXPECT_EQ(label(), QStringLiteral("запуск через 0 сек."));
    EXPECT_FALSE(st->schedule().T1->enabled());
    EXPECT_TRUE(st->schedule().T2->enabled());
}

TEST_F(Scheduling, FirstAttemptComesOneIntervalAfterTheHandOver)
{
    restart("1", "2");
    host.advance(3000); // hand-over on the third tick
    EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("0"));
    host.advance(59999);
    EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("0"));
    host.advance(1);
    EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("1")); // connected
    EXPECT_FALSE(st->schedule().T2->enabled());
    EXPECT_FALSE(st->schedule().T3->enabled()); // half a second passes before the run is armed
    host.advance(499);
    EXPECT_FALSE(st->schedule().T3->enabled());
    host.advance(1);
    EXPECT_TRUE(st->schedule().T3->enabled());
    EXPECT_EQ(runs, 0);
    host.advance(999);
    EXPECT_EQ(runs, 0);
    host.advance(1); // the run timer's first tick
    st->waitForRun();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(st->lastOutcome.end, RunEnd::Completed);
}

// The window lives through the half second before the arming: "Стоп" clicked in it cancels
// the run, and the window's timers keep ticking meanwhile.
TEST_F(Scheduling, AStopBetweenTheConnectAndTheArmingCancelsTheRun)
{
    restart("1", "2");
    host.advance(3000 + 60000);
    ASSERT_EQ(st->panel().L_Pop.text, QStringLiteral("1"));
    const int countdown = st->schedule().countdown;
    host.advance(250);
    st->B_StopClick();
    host.advance(5000);
    EXPECT_FALSE(st->schedule().T3->enabled());
    EXPECT_EQ(runs, 0);
    EXPECT_GT(st->schedule().countdown, countdown);
}

TEST_F(Scheduling, ZeroIntervalNeverAttempts)
{
    restart("0", "0");
    host.advance(1000);
    EXPECT_TRUE(st->schedule().T2->enabled());
    host.advance(3600 * 1000);
    EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("0"));
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(label(), QStringLiteral("передача через -3599 сек."));
}

TEST_F(Scheduling, DayAndNightRuleAtItsBoundaries)
{
    const struct { QTime at; bool night; QDate from, to; } cases[] = {
        {QTime(23, 30, 0), false, {}, {}},
        {QTime(23, 30, 1), true, QDate(2010, 3, 5), QDate(2010, 3, 9)},
        {QTime(1, 59, 59), true, QDate(2010, 3, 5), QDate(2010, 3, 9)},
        {QTime(2, 0, 0), false, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at.toString().toStdString());
        restart("30", "60", QDateTime(QDate(2010, 3, 10), c.at));
        st->setIncremental(!c.night);                // the opposite of what the rule sets
        st->setSwitches({});
        st->setPickers(QDate(2010, 1, 1), QDate(2010, 1, 2));
        st->T2Timer();
        host.advance(500); // the run is armed half a second after the connect
        EXPECT_EQ(st->panel().CB_New, !c.night);
        const QDate from = c.night ? c.from : QDate(2010, 1, 1);
        const QDate to = c.night ? c.to : QDate(2010, 1, 2); // by day the pickers stay
        EXPECT_EQ(st->panel().period(), (Period{from, to}));
        EXPECT_TRUE(st->schedule().T3->enabled());
        for (int s = 0; s < kSwitchCount; ++s)
            EXPECT_EQ(st->panel().switches[s], Switch(s) != Switch::Terrorist) << s;
    }
}

TEST_F(Scheduling, NightRunAtQuarterToMidnightSendsTheFiveDaysBefore)
{
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES "
                         "('in1','2010-03-05 00:00:00','F1','1',1,'OLD'),('in2','2010-03-09 00:00:00','F1','1',1,'OLD'),"
                         "('out1','2010-03-04 00:00:00','F1','1',1,'OLD'),('out2','2010-03-10 00:00:00','F1','1',1,'OLD');"));
    restart("30", "0", QDateTime(QDate(2010, 3, 10), QTime(23, 14, 0)));
    host.advance(1000 + 30 * 60 * 1000 + 1500); // hand-over, one interval, the half-second wait, the run timer
    ASSERT_EQ(runs, 1);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(G_NID, ',') FROM (SELECT G_NID FROM GL_BOOK ORDER BY G_NID)")).toString(),
              QStringLiteral("in1,in2"));
}

TEST_F(Scheduling, ADatabaseDownAtTheAttemptWaitsOneMoreInterval)
{
    for (const char* which : {"local.db", "main.db"}) {
        SCOPED_TRACE(which);
        restart("1", "0");
        const QString file = dir_.filePath(QString::fromLatin1(which));
        QFile::rename(file, file + QStringLiteral(".away"));
        host.advance(1000 + 60000);
        EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("1"));
        EXPECT_TRUE(st->schedule().T2->enabled());
        EXPECT_FALSE(st->schedule().T3->enabled());
        host.advance(5000);
        EXPECT_TRUE(label().startsWith(QStringLiteral("передача через -"))) << label().toStdString(); // on below zero
        host.advance(55000);
        EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("2"));
        QFile::rename(file + QStringLiteral(".away"), file);
        host.advance(60000 + 1500);
        EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("3"));
        EXPECT_EQ(runs, 1);
        runs = 0;
    }
}

TEST_F(Scheduling, StopThenManualRunThenTheScheduleResumes)
{
    restart("1", "0");
    host.advance(1000);
    ASSERT_TRUE(st->connectSequence(Station::Variant::Test));
    st->B_StopClick();
    host.advance(10 * 60000);
    EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("0"));
    EXPECT_TRUE(st->schedule().T4->enabled()); // the label keeps counting
    st->B_ConnectClick();
    EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("1"));
    EXPECT_TRUE(st->schedule().T3->enabled());
    host.advance(1000);
    EXPECT_EQ(runs, 1);
    // Cycle restart: T1 hands over on its next tick, the next attempt one interval later.
    host.advance(1000);
    EXPECT_TRUE(st->schedule().T2->enabled());
    host.advance(59000 - 1);
    EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("1"));
    host.advance(1);
    EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("2"));
    host.advance(1499); // the run starts a second after the half-second wait
    EXPECT_EQ(runs, 1);
    host.advance(1);
    EXPECT_EQ(runs, 2);
}

TEST_F(Scheduling, ManualStartNeedsBothConnections)
{
    restart("30", "60");
    st->B_ConnectClick();
    EXPECT_EQ(st->panel().L_Pop.text, QStringLiteral("1"));
    EXPECT_FALSE(st->schedule().T3->enabled());
    EXPECT_TRUE(st->schedule().T1->enabled());
}

TEST_F(Scheduling, TickingClientsTicksTheDependentSwitches)
{
    restart("30", "60");
    st->setSwitches({});
    st->setSwitch(Switch::Klient, true);
    for (Switch s : {Switch::Bilet, Switch::Prodlenie, Switch::Realiz, Switch::Avans, Switch::Ostatok, Switch::GL_Book})
        EXPECT_TRUE(st->panel().switchOn(s));
    EXPECT_FALSE(st->panel().switchOn(Switch::Personal));
    EXPECT_FALSE(st->panel().switchOn(Switch::Terrorist));
    st->setSwitch(Switch::Klient, false);
    EXPECT_TRUE(st->panel().switchOn(Switch::Bilet)); // unticking changes nothing else
}

TEST_F(Scheduling, AStoppedRunWritesItsLinesAndTheStopLine)
{
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES "
                         "('g1','2010-03-05 00:00:00','F1','1',1,'NEW');"));
    restart("30", "60");
    ASSERT_TRUE(st->connectSequence(Station::Variant::Timer));
    st->arm();
    st->T3Timer();
    EXPECT_TRUE(st->running());
    st->requestStop(); // asked for before the first step begins
    st->waitForRun();
    EXPECT_EQ(st->lastOutcome.end, RunEnd::Stopped);
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK")).toInt(), 0);
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("-----   Начало передачи 05.03.2010 12:00:00  -----")));
    EXPECT_TRUE(log.contains(QStringLiteral("-----   Передача остановлена в 05.03.2010 12:00:00  -----"))) << log.toStdString();
    EXPECT_TRUE(st->panel().memo.isEmpty());
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("0"));
}

// `--once` opens the run's connections while its connect sequence runs. The run that follows
// takes them; a station that ends without a run closes them, and the next one starts clean.
TEST_F(Scheduling, APreparedRunServesTheTransferThatFollows)
{
    local(QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES "
                         "('g1','2010-03-05 00:00:00','F1','1',1,'NEW');"));
    restart("30", "60");
    st->prepareTransfer();
    ASSERT_TRUE(st->connectSequence(Station::Variant::Timer));
    st->setIncremental(true);
    st->startTransfer(st->request());
    st->waitForRun();
    EXPECT_EQ(st->lastOutcome.end, RunEnd::Completed) << st->lastOutcome.error.toStdString();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK")).toInt(), 1);
    EXPECT_EQ(localValue(QStringLiteral("SELECT G_NEW_OLD FROM GL_BOOK")).toString(), QStringLiteral("OLD"));

    st->prepareTransfer();
    restart("30", "60"); // the prepared run never came
    local(QStringLiteral("UPDATE GL_BOOK SET G_NEW_OLD='NEW', G_SUMMA=2;"));
    EXPECT_EQ(run(), RunEnd::Completed) << st->lastOutcome.error.toStdString();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT G_SUMMA FROM GL_BOOK")).toInt(), 2);
}

// The launcher itself: a run on other databases than the prepared ones opens its own, and a
// prepared connect that failed ends the run as a lost connection before any work.
TEST_F(Scheduling, APreparedRunIsTakenOnlyForItsOwnDatabases)
{
    ASSERT_TRUE(QFile::copy(QDir(home()).filePath(QStringLiteral("local.db")), QDir(home()).filePath(QStringLiteral("other.db"))));
    const BranchSession& s = st->session();
    auto target = [&](const QString& database, const ConnectionSettings& like) {
        ConnectionSettings c = like;
        c.database = database;
        return Connection::Target{c, home()};
    };
    const Connection::Target local = target(QStringLiteral("local.db"), s.localSettings());
    const Connection::Target other = target(QStringLiteral("other.db"), s.localSettings());
    const Connection::Target missing = target(QStringLiteral("missing.db"), s.localSettings());
    const Connection::Target main = target(QStringLiteral("main.db"), s.mainSettings());

    struct Case {
        const char* what;
        Connection::Target prepared, started;
        RunEnd end;
        QString ranOn; // the local database the work saw, when it ran
    };
    const std::vector<Case> cases{
        {"the same databases", local, local, RunEnd::Completed, QStringLiteral("local.db")},
        {"another local database", local, other, RunEnd::Completed, QStringLiteral("other.db")},
        {"a prepared connect that failed", missing, missing, RunEnd::ConnectionLost, QString()},
        {"a failed prepared connect, then good databases", missing, local, RunEnd::Completed, QStringLiteral("local.db")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList news;
        RunLauncher launcher(host, QStringLiteral("prepared"), [&](const RunContext::Outbox& out) {
            for (const RunContext::Entry& e : out.lines)
                news << e.text;
        });
        launcher.prepare(c.prepared, main);
        QString ranOn;
        RunOutcome outcome;
        launcher.start(RunRequest{}, c.started, main,
                       [&](DM& dm, DM2& dm2, RunContext&, const Clock&) {
                           ranOn = QFileInfo(dm.ADOC1.target().settings.database).fileName();
                           EXPECT_TRUE(dm.ADOC1.connected());
                           EXPECT_TRUE(dm2.ADOC2.connected());
                           return RunOutcome{};
                       },
                       [&](const RunOutcome& o) { outcome = o; });
        launcher.waitForRun();
        EXPECT_EQ(outcome.end, c.end) << outcome.error.toStdString();
        EXPECT_EQ(ranOn, c.ranOn);
        if (c.end == RunEnd::ConnectionLost) {
            EXPECT_TRUE(outcome.error.contains(QStringLiteral("missing.db"))) << outcome.error.toStdString();
            ASSERT_EQ(news.size(), 1);
            EXPECT_TRUE(news.front().startsWith(QStringLiteral("-----   Обрыв связи в "))) << news.front().toStdString();
        }
    }
}

// The program's own timer (a real QTimer) at Interval:0 never fires under a running event
// loop: no attempt every turn of the loop.
TEST(QtTimers, AnIntervalOfZeroNeverFires)
{
    varid::testing::app();
    QtTimerHost host;
    auto t = host.createTimer(0);
    int ticks = 0;
    t->onTick = [&] { ++ticks; };
    t->setEnabled(true);
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(ticks, 0);
    // Given an interval, it ticks.
    t->setInterval(10);
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_GT(ticks, 0);
}
