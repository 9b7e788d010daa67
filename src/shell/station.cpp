#include "shell/station.h"
#include "shell/captions.h"

#include "data/values.h"
#include "reconcile/act.h"
#include "reconcile/detail.h"
#include "data/catalogue.h"
#include "shell/schedule.h"
#include "transfer/texts.h"

#include <QDir>
#include <QEventLoop>

#include <utility>

#include <algorithm>
#include <limits>

namespace varid {


Station::Station(const QString& home, TimerHost& host, const QString& tag)
    : dm(tag), dm2(dm, tag), home_(home), host_(host), tag_(tag)
{
    T1 = host.createTimer(1000);
    T2 = host.createTimer(0);
    T3 = host.createTimer(1000);
    T4 = host.createTimer(1000);
    // The half second between the transfer timer's connect and the run's arming, in which
    // the window stays alive.
    armDelay = host.createTimer(500);
    armDelay->onTick = [this] {
        armDelay->setEnabled(false);
        if (!running())
            armAfterConnect();
    };
    // While a run is in progress no timer is serviced.
    T1->onTick = [this] { if (!running()) T1Timer(); };
    T2->onTick = [this] { if (!running()) T2Timer(); };
    T3->onTick = [this] { if (!running()) T3Timer(); };
    T4->onTick = [this] { if (!running()) T4Timer(); };
}

void Station::formCreate()
{
    panel.L_StartProg.text = QStringLiteral("Включено ") + host_.now().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    countdown = 0;
    ini = PathIni::load(home_);
    auto tell = [this](const QString& m) { if (onMessage) onMessage(m); };
    for (const QString& m : ini.messages)
        tell(m);
    if (!ini.usable) {
        panel.changed();
        return;
    }
    panel.L_GL_IP.text = ini.value(PathIni::GLServerIP);
    panel.L_GL_IP.hint = ini.value(PathIni::GLAliasName);
    panel.L_IP.text = ini.value(PathIni::ServerName);
    panel.L_IP.hint = ini.value(PathIni::LocalAliasName);
    panel.L_Interval.text = QStringLiteral("интервал в мин. ") + ini.value(PathIni::Interval);
    QString message;
    int interval = 0;
    // A negative interval is no value either: it is refused like a word.
    if (!toInteger(ini.value(PathIni::Interval), interval, message) || interval < 0) {
        if (interval < 0)
            message = QStringLiteral("Interval в Path.ini не может быть отрицательным: %1").arg(ini.value(PathIni::Interval));
        tell(message);
        panel.changed();
        return;
    }
    panel.intervalTag = interval;
    panel.L_C.text = QStringLiteral("начало передачи в ") + ini.value(PathIni::TimeOpen);
    panel.L_C.hint = ini.value(PathIni::TimeOpen);
    panel.L_Po.text = QStringLiteral("конец передачи в ") + ini.value(PathIni::TimeClose);
    panel.L_Po.hint = ini.value(PathIni::TimeClose);
    panel.L_Admin.text = ini.value(PathIni::AdminName);
    password = ini.value(PathIni::AdminPass);
    // Shown masked: the window of an unattended branch PC must not show the main password.
    panel.L_Pass.text = password.isEmpty() ? QString() : QStringLiteral("********");
    int start = 0;
    if (!toInteger(ini.value(PathIni::Start), start, message)) {
        tell(message);
        panel.changed();
        return;
    }
    startThreshold = start;
    panel.PB_Start.max = start;
    T1->setEnabled(true);
    panel.Data_O_PO = host_.now().date();
    panel.Data_O_C = panel.Data_O_PO.addDays(-1);
    T2->setInterval(intervalMs());
    panel.changed();
}

int Station::intervalMs() const
{
    const qint64 ms = qint64(panel.intervalTag) * 60 * 1000;
    return int(std::clamp<qint64>(ms, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

bool Station::bothConnected() const
{
    return panel.L_Info.text == texts::connected && panel.L_Info1.text == texts::connected;
}

bool Station::connectSequence(Variant v)
{
    const bool timer = v == Variant::Timer;
    connectErrors.clear();
    if (timer)
        Panel::addTo(panel.L_Pop, 1);
    panel.L_Info.text = texts::connecting;
    ++panel.focusRequests;
    panel.changed();

    try {
        const QString server = panel.L_IP.text;
        const QString database = panel.L_IP.hint;
        dm.ADOC1.disconnect();
        dm.ADOC1.setConnectionString(ConnectionSettings{server, database, QString(), QString(), true}, home_);
        dm.ADOC1.connect();
        if (!claimDatabase() || !databaseLock.held()) {
            connectErrors << QStringLiteral("local: ") + databaseLock.message();
            panel.L_Info1.text = databaseTaken ? texts::databaseTaken : texts::notConnected;
            panel.L_Info1.background = Colour::Maroon;
            ++panel.focusRequests;
            panel.changed();
            return false;
        }
        panel.L_Info1.text = texts::connected;
        panel.L_Info1.background = Colour::Green;
        if (timer)
            panel.L_Info1.foreground = Colour::Maroon;

        // The branch's identity: exactly one KTO row marked "ДА". Without one, or with several,
        // the branch is not known and nothing runs: taking the first row could name another
        // branch (one registered by an incoming sale), whose rows a night run would delete.
        dm.T_KTO.open();
        QStringList active;
        QString name;
        for (dm.T_KTO.first(); !dm.T_KTO.eof(); dm.T_KTO.next()) {
            if (dm.T_KTO.text(QStringLiteral("KTO_ACTIV")).trimmed() != texts::yes)
                continue;
            active << dm.T_KTO.text(QStringLiteral("KTO_KOD"));
            name = dm.T_KTO.text(QStringLiteral("KTO_NAME"));
        }
        dm.T_KTO.close();
        if (active.size() != 1) {
            identityProblem = active.isEmpty()
                ? QStringLiteral("в таблице KTO нет строки филиала с KTO_ACTIV='ДА': филиал не определён, передачи не будет")
                : QStringLiteral("в таблице KTO %1 строк с KTO_ACTIV='ДА' (%2): филиал не определён, передачи не будет")
                      .arg(active.size()).arg(active.join(QStringLiteral(", ")));
            connectErrors << QStringLiteral("local: ") + identityProblem;
            branch_.clear();
            panel.L_KTO.text.clear();
            panel.L_Info1.text = texts::branchUnknown;
            panel.L_Info1.background = Colour::Maroon;
            ++panel.focusRequests;
            panel.changed();
            return false;
        }
        identityProblem.clear();
        branch_ = active.front(); // the branch, read once a connect; L_KTO shows it
        panel.L_KTO.text = branch_;
        panel.caption = (timer ? texts::captionTimer : texts::captionTest) + name;
        dm.T_FIRMA.open();
        dm.T_FIRMA.locate(QStringLiteral("F_NOMER"), 1);
        panel.L_Tel.text = QStringLiteral("тел: ") + dm.T_FIRMA.text(QStringLiteral("F_TEL"));
        panel.L_Tel.visible = true;
        dm.T_FIRMA.close();
    } catch (const DbError& e) {
        connectErrors << QStringLiteral("local: ") + e.message();
        panel.L_Info1.text = texts::notConnected;
        panel.L_Info1.background = Colour::Maroon;
        if (timer)
            panel.L_Info1.foreground = Colour::Black;
        ++panel.focusRequests;
        panel.changed();
        return false;
    }

    try {
        const QString server = panel.L_GL_IP.text;
        const QString database = panel.L_GL_IP.hint;
        const QString user = panel.L_Admin.text;
        dm2.ADOC2.disconnect();
        dm2.ADOC2.setConnectionString(ConnectionSettings{server, database, user, password, false}, home_);
        dm2.ADOC2.connect();
        panel.L_Info.text = texts::connected;
        panel.L_Info.background = Colour::Green;
        panel.L_Info.foreground = Colour::Maroon;
    } catch (const DbError& e) {
        connectErrors << QStringLiteral("main: ") + e.message();
        panel.L_Info.text = texts::notConnected;
        panel.L_Info.background = Colour::Maroon;
        panel.L_Info.foreground = Colour::Black;
        ++panel.focusRequests;
    }
    panel.changed();
    return bothConnected();
}

bool Station::claimDatabase()
{
    if (databaseLock.held() || !ini.usable)
        return true;
    const ConnectionSettings local{panel.L_IP.text, panel.L_IP.hint, QString(), QString(), true};
    if (databaseLock.acquire(local, home_) != DatabaseLock::Result::Taken)
        return true; // held, or SQL Server not reachable now: asked again at the next connect
    databaseTaken = true;
    return false;
}

void Station::B_ConnectClick()
{
    if (running())
        return;
    Panel::addTo(panel.L_Pop, 1);
    if (bothConnected()) {
        for (BarState& b : panel.bars)
            b.pos = 0;
        T2->setEnabled(false);
        arm();
        T3->setEnabled(true);
    }
    panel.changed();
}

void Station::B_StopClick()
{
    T1->setEnabled(false);
    T2->setEnabled(false);
    T3->setEnabled(false);
    armDelay->setEnabled(false);
}

void Station::setSwitch(Switch s, bool on)
{
    bool& box = panel.switches[size_t(s)];
    if (box == on)
        return;
    box = on;
    if (s == Switch::Klient)
        CB_KlientClick();
    panel.changed();
}

void Station::CB_KlientClick()
{
    if (!panel.switches[size_t(Switch::Klient)])
        return;
    for (const StepDef& step : steps())
        if (step.tickedWithClients)
            panel.switches[size_t(step.sw)] = true;
}

void Station::resetBars()
{
    for (const StepDef& step : steps())
        for (const BarDef& b : step.bars)
            if (b.name && b.resetByTimer)
                panel.bars[size_t(b.bar)].pos = 0;
}

void Station::T1Timer()
{
    if (panel.startCount >= startThreshold) {
        T1->setEnabled(false);
        countdown = 0;
        T2->setEnabled(true);
        panel.PB_Start.max = T2->interval() / 1000;
        T4->setEnabled(true);
    }
    ++panel.startCount;
    panel.L_Start.text = QStringLiteral("запуск через ") + QString::number(startThreshold - panel.startCount + 1)
        + QStringLiteral(" сек.");
    panel.PB_Start.pos = panel.startCount;
    panel.changed();
}

void Station::T4Timer()
{
    const double left = T2->interval() / 1000.0 - countdown;
    panel.L_Start.text = QStringLiteral("передача через ") + QString::number(left, 'g', 15) + QStringLiteral(" сек.");
    ++countdown;
    panel.PB_Start.pos = countdown;
    panel.changed();
}

void Station::T2Timer()
{
    if (!connectSequence(Variant::Timer))
        return;
    resetBars(); // PB_Terrorist keeps its position
    T2->setEnabled(false);

    applyDayNightRule();
    for (const StepDef& step : steps())
        if (step.tickedByTimer)
            setSwitch(step.sw, true);
    panel.changed();
    armDelay->setEnabled(true);
}

void Station::armAfterConnect()
{
    arm();
    T3->setEnabled(true);
    T4->setEnabled(true);
    panel.changed();
}

void Station::applyDayNightRule()
{
    if (const std::optional<Period> night = nightPeriod(host_.now())) {
        panel.Data_O_C = night->from;
        panel.Data_O_PO = night->to;
        panel.CB_New = false;
    } else {
        panel.CB_New = true; // by day the pickers stay as they are
    }
}

void Station::cycleRestart()
{
    countdown = 0;
    T2->setEnabled(true);
    T4->setEnabled(true);
    T1->setEnabled(true);
    T2->setInterval(intervalMs());
    startThreshold = 0;
    panel.startCount = 0;
}

bool Station::flushLog()
{
    if (runLog.flush(panel.memo, panel.errorMarker())) {
        panel.logProblem.clear();
        return true;
    }
    panel.logProblem = runLog.lastError();
    if (onLogFailure)
        onLogFailure(runLog.lastError());
    return false;
}

QString Station::journalPath() const
{
    return QDir(home_).filePath(QStringLiteral("Replace.jrn"));
}

void Station::arm()
{
    RunRequest r;
    r.incremental = panel.CB_New;
    r.period = Period{panel.Data_O_C, panel.Data_O_PO};
    r.branch = branch_;
    r.switches = panel.switches;
    r.journal = journalPath();
    armed_ = r;
}

void Station::T3Timer()
{
    if (running())
        return; // running: none is serviced
    T3->setEnabled(false);
    if (!armed_)
        arm();
    const RunRequest request = *armed_;
    armed_.reset();
    openRunLog(texts::runStartLead);
    startJob(request, [](DM& dm, DM2& dm2, RunContext& context, const Clock& clock) {
        return Transfer(dm, dm2, context, clock).run();
    }, [this] { transferEnded(); });
}

void Station::openRunLog(const QString& startLead)
{
    const QDateTime now = host_.now();
    runLog.setPaths(home_, now.date());
    panel.setErrorMarker(QString());
    flushLog(); // what an aborted run left goes first
    panel.addLine(runLine(startLead, now));
}

bool Station::repair(const QDate& day, RecordKind kind, std::function<void()> ended)
{
    if (running() || !bothConnected() || !kind)
        return false; // refused while a run is in progress
    // The day of that kind only: a period run over the day with only its step switched on,
    // after the main database's records of this branch that the branch no longer holds go.
    RunRequest r;
    r.incremental = false;
    r.period = Period{day, day};
    r.branch = branch_;
    r.switches.fill(false);
    r.switches[size_t(stepOf(kind).sw)] = true;
    r.journal = journalPath();
    const QString branch = r.branch;
    repairDeleted = 0;
    int* deleted = &repairDeleted;
    // A repair is no transfer: its own start and end lines naming the day and the kind, and it
    // is not counted among the transfers.
    const QString what = QString::fromUtf8(kind->title) + QStringLiteral(" за ") + shortDate(day);
    openRunLog(texts::repairStartLead.arg(what));
    startJob(r, [branch, kind, day, deleted, what](DM& dm, DM2& dm2, RunContext& context, const Clock& clock) {
        const StepDef& step = stepOf(kind);
        Transfer transfer(dm, dm2, context, clock);
        // What an earlier run or repair left half replaced goes first.
        RunOutcome o = transfer.recoverReplacements();
        if (o.end != RunEnd::Completed)
            return o;
        Resend resend;
        try {
            const QVector<RecordDiff> diffs = dayDifferences(dm, dm2, branch, kind, day);
            resend = heldElsewhere(dm, branch, kind, diffs);
            // Remembered before anything is deleted: the day goes again after any interruption.
            ReplaceJournal(context.journalPath()).record(Replacement{QString::fromLatin1(step.name), branch, day, day});
            *deleted = deleteMainOnly(dm2, branch, kind, day, diffs, resend.keys);
            for (const QString& mark : std::as_const(resend.marks)) {
                Query q(dm.ADOC1);
                q.setSql(mark);
                q.exec();
            }
        } catch (const DbError& e) {
            context.addLine(runLine(texts::connectionLostLead, clock.now()));
            return RunOutcome{RunEnd::ConnectionLost, QStringLiteral("Delete"), e.message()};
        }
        o = transfer.runStepAlone(step, false, Period{day, day});
        // The branch's records whose keys the main database held on another day go again.
        if (o.end == RunEnd::Completed && !resend.marks.isEmpty())
            o = transfer.runStepAlone(step, true, Period{day, day});
        if (o.end == RunEnd::Completed)
            context.addLine(runLine(texts::repairEndLead.arg(what), clock.now()));
        return o;
    }, [this, ended = std::move(ended)] {
        lastOutcome = result_;
        flushLog(); // the repair's lines reach the day log, finished or broken off
        panel.changed();
        if (ended)
            ended();
    });
    return true;
}

void Station::rebuildAct(const ActRequest& request, std::function<void()> ended)
{
    startJob(RunRequest{}, [request](DM& dm, DM2& dm2, RunContext& context, const Clock&) {
        RunOutcome o;
        try {
            Act(dm, dm2, context).build(request);
        } catch (const DbError& e) {
            o.end = RunEnd::ConnectionLost;
            o.failedStep = QStringLiteral("Akt_Sverki");
            o.error = e.message();
        }
        return o;
    }, [this, ended] {
        lastAct = result_;
        if (ended)
            ended();
    });
}

void Station::startJob(const RunRequest& request, Job job, std::function<void()> ended)
{
    // The work goes on on its own thread with its own connections to the same two databases.
    run_ = std::make_shared<RunContext>(request);
    ended_ = std::move(ended);
    run_->onNews = [this] { QMetaObject::invokeMethod(&bridge_, [this] { takeNews(); }, Qt::QueuedConnection); };
    panel.running = true;
    panel.changed();
    const Connection::Target local = dm.ADOC1.target();
    const Connection::Target main = dm2.ADOC2.target();
    std::shared_ptr<RunContext> context = run_;
    TimerHost& clock = host_;
    RunOutcome* result = &result_;
    const QString tag = tag_ + QStringLiteral("-run");
    thread_ = QThread::create([context, local, main, &clock, result, job, tag] {
        DM runDm(tag);
        DM2 runDm2(runDm, tag);
        try {
            runDm.ADOC1.setTarget(local);
            runDm2.ADOC2.setTarget(main);
            runDm.ADOC1.connect();
            runDm2.ADOC2.connect();
        } catch (const DbError& e) {
            context->addLine(runLine(texts::connectionLostLead, clock.now()));
            *result = RunOutcome{RunEnd::ConnectionLost, QString::fromLatin1(steps().front().name), e.message()};
            return;
        }
        *result = job(runDm, runDm2, *context, clock);
        result->mainStatements = runDm2.ADOC2.statementCount();
    });
    QObject::connect(thread_, &QThread::finished, &bridge_, [this] { jobFinished(); }, Qt::QueuedConnection);
    thread_->start();
}

void Station::takeNews()
{
    if (!run_)
        return;
    const RunContext::Outbox out = run_->drain();
    panel.setErrorMarker(out.errorMarker);
    for (const RunContext::Entry& e : out.lines) {
        if (e.refusal) {
            if (onRefusal) onRefusal(e.text);
        } else {
            panel.addLine(e.text);
        }
    }
    for (int b = 0; b < kBarCount; ++b) {
        if (!out.barsTouched[size_t(b)])
            continue;
        panel.bars[size_t(b)] = out.bars[size_t(b)];
        if (panel.onBar) panel.onBar(Bar(b));
    }
}

void Station::jobFinished()
{
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    takeNews();
    run_.reset();
    panel.running = false;
    if (ended_)
        std::exchange(ended_, {})();
}

void Station::transferEnded()
{
    lastOutcome = result_;
    switch (lastOutcome.end) {
    case RunEnd::Completed:
        cycleRestart();
        Panel::addTo(panel.L_Kol, 1);
        flushLog();
        break;
    case RunEnd::JournalLost:
        cycleRestart();
        flushLog();
        break;
    case RunEnd::ConnectionLost:
        countdown = 0;
        T2->setEnabled(true);
        T4->setEnabled(true);
        break;
    case RunEnd::Stopped:
        flushLog(); // the stopped run's lines reach the day log
        break;
    }
    T3->setEnabled(false);
    T4->setEnabled(false);
    panel.changed();
    if (onRunEnded)
        onRunEnded(lastOutcome);
}

void Station::B_AktClick()
{
    if (running() || !bothConnected())
        return; // says nothing, changes nothing
    resetBars();
    T1->setEnabled(false);
    T2->setEnabled(false);
    T3->setEnabled(false);
    T4->setEnabled(false);
    armDelay->setEnabled(false);
    rebuildAct(pickedAct(), [this] {
        if (onActBuilt)
            onActBuilt(lastAct); // the print, or the message naming the failure
        resumeAfterAct();
    });
}

void Station::resumeAfterAct()
{
    // Five seconds of start countdown, then the schedule as before; also after a failed act,
    // so an unattended branch never stops sending because of a missing print layout.
    T1->setEnabled(true);
    T2->setInterval(intervalMs());
    startThreshold = 5;
    panel.startCount = 0;
    panel.changed();
}

void Station::requestStop()
{
    if (run_)
        run_->requestStop();
}

void Station::waitForRun()
{
    QEventLoop loop;
    while (running())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
}

Station::~Station()
{
    if (thread_) {
        requestStop();
        thread_->wait();
        delete thread_;
    }
}

} // namespace varid
