#include "shell/station.h"
#include "shell/captions.h"

#include "data/catalogue.h"
#include "data/values.h"
#include "reconcile/detail.h"
#include "transfer/texts.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace varid {

namespace {

const QString& linkText(Link link)
{
    switch (link) {
    case Link::Connecting: return texts::connecting;
    case Link::Connected: return texts::connected;
    case Link::NotConnected: return texts::notConnected;
    case Link::Taken: return texts::databaseTaken;
    case Link::BranchUnknown: return texts::branchUnknown;
    case Link::Initial: break;
    }
    return texts::initialStatus;
}

} // namespace

Station::Station(const QString& home, TimerHost& host, const QString& tag)
    : schedule_(host), session_(home, tag),
      launcher_(host, tag, [this](const RunContext::Outbox& out) { takeNews(out); })
{
    // The half second between the transfer timer's connect and the run's arming, in which
    // the window stays alive.
    schedule_.armDelay->onTick = [this] {
        schedule_.armDelay->setEnabled(false);
        if (!running())
            armAfterConnect();
    };
    // While a run is in progress no timer is serviced.
    schedule_.T1->onTick = [this] { if (!running()) T1Timer(); };
    schedule_.T2->onTick = [this] { if (!running()) T2Timer(); };
    schedule_.T3->onTick = [this] { if (!running()) T3Timer(); };
    schedule_.T4->onTick = [this] { if (!running()) T4Timer(); };
}

Station::~Station() = default;

void Station::formCreate()
{
    panel_.L_StartProg.text = u"Включено "_s + host().now().toString(u"dd.MM.yyyy hh:mm:ss"_s);
    schedule_.countdown = 0;
    session_.loadConfiguration();
    const PathIni& ini = session_.ini;
    for (const QString& m : ini.messages)
        Q_EMIT message(m);
    if (!ini.usable) {
        Q_EMIT changed();
        return;
    }
    panel_.L_GL_IP.text = ini.value(PathIni::GLServerIP);
    panel_.L_GL_IP.hint = ini.value(PathIni::GLAliasName);
    panel_.L_IP.text = ini.value(PathIni::ServerName);
    panel_.L_IP.hint = ini.value(PathIni::LocalAliasName);
    panel_.L_Interval.text = u"интервал в мин. "_s + ini.value(PathIni::Interval);
    QString problem;
    int interval = 0;
    // A negative interval is no value either: it is refused like a word.
    if (!toInteger(ini.value(PathIni::Interval), interval, problem) || interval < 0) {
        if (interval < 0)
            problem = u"Interval в Path.ini не может быть отрицательным: %1"_s.arg(ini.value(PathIni::Interval));
        Q_EMIT message(problem);
        Q_EMIT changed();
        return;
    }
    schedule_.setIntervalMinutes(interval);
    panel_.L_C.text = u"начало передачи в "_s + ini.value(PathIni::TimeOpen);
    panel_.L_C.hint = ini.value(PathIni::TimeOpen);
    panel_.L_Po.text = u"конец передачи в "_s + ini.value(PathIni::TimeClose);
    panel_.L_Po.hint = ini.value(PathIni::TimeClose);
    panel_.L_Admin.text = ini.value(PathIni::AdminName);
    // Shown masked: the window of an unattended branch PC must not show the main password.
    panel_.L_Pass.text = session_.password.isEmpty() ? QString() : u"********"_s;
    int start = 0;
    if (!toInteger(ini.value(PathIni::Start), start, problem)) {
        Q_EMIT message(problem);
        Q_EMIT changed();
        return;
    }
    panel_.PB_Start.max = start;
    panel_.Data_O_PO = host().now().date();
    panel_.Data_O_C = panel_.Data_O_PO.addDays(-1);
    schedule_.beginStart(start);
    Q_EMIT changed();
}

bool Station::bothConnected() const
{
    return panel_.mainLink == Link::Connected && panel_.localLink == Link::Connected;
}

void Station::setLink(LabelState& label, Link& link, Link state)
{
    link = state;
    label.text = linkText(state);
    if (state != Link::Connecting)
        label.background = state == Link::Connected ? Colour::Green : Colour::Maroon;
}

bool Station::connectSequence(Variant v)
{
    const bool timer = v == Variant::Timer;
    session_.connectErrors.clear();
    if (timer)
        panel_.countAttempt();
    setLink(panel_.L_Info, panel_.mainLink, Link::Connecting);
    ++panel_.focusRequests;
    Q_EMIT changed();

    switch (session_.connectLocal()) {
    case BranchSession::Local::Connected: {
        setLink(panel_.L_Info1, panel_.localLink, Link::Connected);
        if (timer)
            panel_.L_Info1.foreground = Colour::Maroon;
        const BranchIdentity& who = session_.identity();
        panel_.L_KTO.text = who.code; // shows the branch read at this connect
        panel_.caption = (timer ? texts::captionTimer : texts::captionTest) + who.name;
        panel_.L_Tel.text = u"тел: "_s + who.phone;
        panel_.L_Tel.visible = true;
        break;
    }
    case BranchSession::Local::Taken:
    case BranchSession::Local::Unlocked:
        setLink(panel_.L_Info1, panel_.localLink,
                session_.databaseTaken ? Link::Taken : Link::NotConnected);
        ++panel_.focusRequests;
        Q_EMIT changed();
        return false;
    case BranchSession::Local::BranchUnknown:
        setLink(panel_.L_Info1, panel_.localLink, Link::BranchUnknown);
        if (timer)
            panel_.L_Info1.foreground = Colour::Maroon;
        panel_.L_KTO.text.clear();
        ++panel_.focusRequests;
        Q_EMIT changed();
        return false;
    case BranchSession::Local::Failed:
        setLink(panel_.L_Info1, panel_.localLink, Link::NotConnected);
        if (timer)
            panel_.L_Info1.foreground = Colour::Black;
        ++panel_.focusRequests;
        Q_EMIT changed();
        return false;
    }

    if (session_.connectMain()) {
        setLink(panel_.L_Info, panel_.mainLink, Link::Connected);
    } else {
        setLink(panel_.L_Info, panel_.mainLink, Link::NotConnected);
        ++panel_.focusRequests;
    }
    panel_.L_Info.foreground = panel_.mainLink == Link::Connected ? Colour::Maroon : Colour::Black;
    Q_EMIT changed();
    return bothConnected();
}

void Station::B_ConnectClick()
{
    if (running())
        return;
    panel_.countAttempt();
    if (bothConnected()) {
        for (BarState& b : panel_.bars)
            b.pos = 0;
        schedule_.T2->setEnabled(false);
        arm();
        schedule_.T3->setEnabled(true);
    }
    Q_EMIT changed();
}

void Station::B_StopClick()
{
    schedule_.stop();
}

void Station::setPickers(const QDate& from, const QDate& to)
{
    panel_.Data_O_C = from;
    panel_.Data_O_PO = to;
}

void Station::setIncremental(bool on)
{
    panel_.CB_New = on;
}

void Station::setSwitch(Switch s, bool on)
{
    bool& box = panel_.switches[size_t(s)];
    if (box == on)
        return;
    box = on;
    if (s == Switch::Klient)
        CB_KlientClick();
    Q_EMIT changed();
}

void Station::setSwitches(const std::array<bool, kSwitchCount>& on)
{
    panel_.switches = on;
    Q_EMIT changed();
}

void Station::CB_KlientClick()
{
    if (!panel_.switches[size_t(Switch::Klient)])
        return;
    for (const StepDef& step : steps())
        if (step.tickedWithClients)
            panel_.switches[size_t(step.sw)] = true;
}

void Station::showBar(Bar b, const BarState& state)
{
    panel_.bars[size_t(b)] = state;
    Q_EMIT barMoved(b);
}

void Station::resetBars()
{
    for (const StepDef& step : steps())
        for (const BarDef& b : step.bars)
            if (b.name && b.resetByTimer)
                panel_.bars[size_t(b.bar)].pos = 0;
}

void Station::T1Timer()
{
    Schedule& s = schedule_;
    if (s.startCount >= s.startThreshold) {
        s.handOver();
        panel_.PB_Start.max = s.T2->interval() / 1000;
    }
    ++s.startCount;
    panel_.L_Start.text = u"запуск через "_s + QString::number(s.startThreshold - s.startCount + 1)
        + u" сек."_s;
    panel_.PB_Start.pos = s.startCount;
    Q_EMIT changed();
}

void Station::T4Timer()
{
    Schedule& s = schedule_;
    const double left = s.T2->interval() / 1000.0 - s.countdown;
    panel_.L_Start.text = u"передача через "_s + QString::number(left, 'g', 15) + u" сек."_s;
    ++s.countdown;
    panel_.PB_Start.pos = s.countdown;
    Q_EMIT changed();
}

void Station::T2Timer()
{
    if (!connectSequence(Variant::Timer))
        return;
    resetBars(); // PB_Terrorist keeps its position
    schedule_.T2->setEnabled(false);

    applyDayNightRule();
    for (const StepDef& step : steps())
        if (step.tickedByTimer)
            setSwitch(step.sw, true);
    Q_EMIT changed();
    schedule_.armDelay->setEnabled(true);
}

void Station::armAfterConnect()
{
    arm();
    schedule_.T3->setEnabled(true);
    schedule_.T4->setEnabled(true);
    Q_EMIT changed();
}

void Station::applyDayNightRule()
{
    if (const std::optional<Period> night = schedule_.nightPeriod()) {
        setPickers(night->from, night->to);
        panel_.CB_New = false;
    } else {
        panel_.CB_New = true; // by day the pickers stay as they are
    }
}

bool Station::flushLog()
{
    if (runLog.flush(panel_.memo, panel_.errorMarker())) {
        panel_.logProblem.clear();
        return true;
    }
    panel_.logProblem = runLog.lastError();
    Q_EMIT logFailed(runLog.lastError());
    return false;
}

RunRequest Station::request() const
{
    RunRequest r;
    r.incremental = panel_.CB_New;
    r.period = panel_.period();
    r.branch = branch();
    r.switches = panel_.switches;
    r.journal = journalPath();
    return r;
}

void Station::arm()
{
    armed_ = request();
}

void Station::T3Timer()
{
    if (running())
        return; // running: none is serviced
    schedule_.T3->setEnabled(false);
    startTransfer(armed_ ? *std::exchange(armed_, std::nullopt) : request());
}

void Station::startTransfer(const RunRequest& request)
{
    openRunLog(texts::runStartLead);
    launch(request, [](DM& dm, DM2& dm2, RunContext& context, const Clock& clock) {
        return Transfer(dm, dm2, context, clock).run();
    }, [this] { transferEnded(); });
}

void Station::prepareTransfer()
{
    if (session_.ini.usable)
        launcher_.prepare({session_.localSettings(), home()}, {session_.mainSettings(), home()});
}

void Station::addLine(const QString& line)
{
    for (const QString& part : panel_.addLine(line))
        Q_EMIT lineAdded(part);
}

void Station::openRunLog(const QString& startLead)
{
    const QDateTime now = host().now();
    runLog.setPaths(home(), now.date());
    panel_.setErrorMarker(QString());
    flushLog(); // what an aborted run left goes first
    addLine(runLine(startLead, now));
}

bool Station::repair(const QDate& day, RecordKind kind, std::function<void()> ended)
{
    if (running() || !bothConnected() || !kind)
        return false; // refused while a run is in progress
    // The day of that kind only: a period run over the day with only its step switched on,
    // after the main database's records of this branch that the branch no longer holds go.
    RunRequest r = request();
    r.incremental = false;
    r.period = Period{day, day};
    r.switches.fill(false);
    r.switches[size_t(stepOf(kind).sw)] = true;
    const QString branch = r.branch;
    repairDeleted = 0;
    int* deleted = &repairDeleted;
    // A repair is no transfer: its own start and end lines naming the day and the kind, and it
    // is not counted among the transfers.
    const QString what = QString::fromUtf8(kind->title) + u" за "_s + shortDate(day);
    openRunLog(texts::repairStartLead.arg(what));
    launch(r, [branch, kind, day, deleted, what](DM& dm, DM2& dm2, RunContext& context, const Clock& clock) {
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
            for (const Statement& mark : std::as_const(resend.marks)) {
                Query q(dm.ADOC1);
                q.setSql(mark);
                q.exec();
            }
        } catch (const DbError& e) {
            context.addLine(runLine(texts::connectionLostLead, clock.now()));
            return RunOutcome{RunEnd::ConnectionLost, u"Delete"_s, e.message()};
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
        Q_EMIT changed();
        if (ended)
            ended();
    });
    return true;
}

void Station::rebuildAct(const ActRequest& request, std::function<void()> ended)
{
    launch(RunRequest{}, [request](DM& dm, DM2& dm2, RunContext& context, const Clock&) {
        RunOutcome o;
        try {
            Act(dm, dm2, context).build(request);
        } catch (const DbError& e) {
            o.end = RunEnd::ConnectionLost;
            o.failedStep = u"Akt_Sverki"_s;
            o.error = e.message();
        }
        return o;
    }, [this, ended = std::move(ended)] {
        lastAct = result_;
        if (ended)
            ended();
    });
}

void Station::launch(const RunRequest& request, RunLauncher::Job job, std::function<void()> ended)
{
    panel_.running = true;
    Q_EMIT changed();
    launcher_.start(request, session_.dm.ADOC1.target(), session_.dm2.ADOC2.target(), std::move(job),
                    [this, ended = std::move(ended)](const RunOutcome& outcome) {
                        result_ = outcome;
                        panel_.running = false;
                        if (ended)
                            ended();
                    });
}

void Station::takeNews(const RunContext::Outbox& out)
{
    panel_.setErrorMarker(out.errorMarker);
    for (const RunContext::Entry& e : out.lines) {
        if (e.refusal)
            Q_EMIT refusal(e.text);
        else
            addLine(e.text);
    }
    for (int b = 0; b < kBarCount; ++b)
        if (out.barsTouched[size_t(b)])
            showBar(Bar(b), out.bars[size_t(b)]);
}

void Station::transferEnded()
{
    lastOutcome = result_;
    switch (lastOutcome.end) {
    case RunEnd::Completed:
        schedule_.restartCycle();
        panel_.countTransfer();
        flushLog();
        break;
    case RunEnd::JournalLost:
        schedule_.restartCycle();
        flushLog();
        break;
    case RunEnd::ConnectionLost:
        schedule_.retryAfterLoss();
        break;
    case RunEnd::Stopped:
        flushLog(); // the stopped run's lines reach the day log
        break;
    }
    schedule_.runEnded();
    Q_EMIT changed();
    Q_EMIT runEnded(lastOutcome);
}

void Station::B_AktClick()
{
    if (running() || !bothConnected())
        return; // says nothing, changes nothing
    resetBars();
    schedule_.pauseForAct();
    rebuildAct(pickedAct(), [this] {
        Q_EMIT actBuilt(lastAct); // the print, or the message naming the failure
        resumeAfterAct();
    });
}

void Station::resumeAfterAct()
{
    // Five seconds of start countdown, then the schedule as before; also after a failed act,
    // so an unattended branch never stops sending because of a missing print layout.
    schedule_.resumeAfterAct();
    Q_EMIT changed();
}

} // namespace varid
