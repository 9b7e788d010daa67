#include "transfer/transferrun.h"

#include "data/values.h"
#include "transfer/steps.h"
#include "transfer/texts.h"

namespace varid {

QString runLine(const QString& lead, const QDateTime& when)
{
    return lead + dateTimeText(when) + texts::lineTail;
}

namespace {

// The run's state with one step's own mode, period and switch: the step alone, as a
// journaled replacement or a repair asks for it. Lines, bars, the error marker and stops
// are the run's.
class StepAlone : public RunState {
public:
    StepAlone(RunState& run, Switch sw, bool incremental, const QDate& from, const QDate& to)
        : run_(run), sw_(sw), incremental_(incremental), from_(from), to_(to), start_(shortDate(from)), end_(shortDate(to))
    {
    }
    bool incremental() const override { return incremental_; }
    QDate periodFrom() const override { return from_; }
    QDate periodTo() const override { return to_; }
    QString periodStart() const override { return start_; }
    QString periodEnd() const override { return end_; }
    void setPeriodTexts(const QString& start, const QString& end) override { start_ = start; end_ = end; }
    QString branchCode() const override { return run_.branchCode(); }
    QString journalPath() const override { return run_.journalPath(); }
    bool switchOn(Switch s) const override { return s == sw_; }
    QString errorMarker() const override { return run_.errorMarker(); }
    void setErrorMarker(const QString& marker) override { run_.setErrorMarker(marker); }
    void addLine(const QString& line) override { run_.addLine(line); }
    void tellRefusal(const QString& message) override { run_.tellRefusal(message); }
    void setBarMax(Bar b, int max) override { run_.setBarMax(b, max); }
    void setBarPos(Bar b, int pos) override { run_.setBarPos(b, pos); }
    int barPos(Bar b) const override { return run_.barPos(b); }
    bool stopRequested() const override { return run_.stopRequested(); }

private:
    RunState& run_;
    Switch sw_;
    bool incremental_;
    QDate from_, to_;
    QString start_, end_;
};

const StepDef* stepNamed(const QString& name)
{
    for (const StepDef& s : steps())
        if (name == QLatin1String(s.name))
            return &s;
    return nullptr;
}

} // namespace

Transfer::Transfer(DM& dm, DM2& dm2, RunState& state, const Clock& clock)
    : dm_(dm), dm2_(dm2), state_(state), clock_(clock), copy_(dm, dm2, state, clock), journal_(state.journalPath())
{
}

QString Transfer::line(const QString& lead) const
{
    return runLine(lead, clock_.now());
}

QString Transfer::periodText() const
{
    return QStringLiteral("с ") + shortDate(state_.periodFrom()) + QStringLiteral(" по ") + shortDate(state_.periodTo());
}

Replacement Transfer::replacementOf(const StepDef& step) const
{
    return Replacement{QString::fromLatin1(step.name), state_.branchCode(), state_.periodFrom(), state_.periodTo()};
}

void Transfer::runStep(const StepDef& step)
{
    // Only a period run replaces: by day a parent stays "NEW" until its children are sent.
    const bool period = !state_.incremental();
    const Replacement r = replacementOf(step);
    copy_.beforeReplace = [this, period, r] {
        if (period)
            journal_.record(r);
    };
    (this->*step.run)();
    copy_.beforeReplace = {};
    if (period)
        journal_.clear(r);
}

// The replacements an earlier run left unfinished are sent again first.
RunOutcome Transfer::recoverReplacements()
{
    RunOutcome outcome;
    for (const Replacement& r : journal_.entries()) {
        const StepDef* step = stepNamed(r.step);
        if (!step || r.branch != state_.branchCode())
            continue; // another branch's database: its own Varid sends it again
        if (state_.stopRequested()) {
            state_.addLine(line(texts::runStoppedLead));
            return RunOutcome{RunEnd::Stopped, r.step, {}};
        }
        state_.addLine(texts::replacementResentLead + QString::fromUtf8(step->summary) + QStringLiteral(" с ") + shortDate(r.from)
                       + QStringLiteral(" по ") + shortDate(r.to));
        const RunOutcome o = runStepAlone(*step, false, r.from, r.to);
        if (o.end != RunEnd::Completed)
            return o;
    }
    return outcome;
}

RunOutcome Transfer::runStepAlone(const StepDef& step, bool incremental, const QDate& from, const QDate& to)
{
    StepAlone alone(state_, step.sw, incremental, from, to);
    Transfer t(dm_, dm2_, alone, clock_);
    t.completesRun_ = false;
    try {
        t.runStep(step);
    } catch (const DbError& e) {
        state_.addLine(line(texts::connectionLostLead));
        return RunOutcome{step.failure == OnFailure::JournalEnd ? RunEnd::JournalLost : RunEnd::ConnectionLost,
                          QString::fromLatin1(step.name), e.message()};
    }
    return RunOutcome{};
}

RunOutcome Transfer::run()
{
    const RunOutcome recovered = recoverReplacements();
    if (recovered.end != RunEnd::Completed)
        return recovered;
    return runSteps();
}

RunOutcome Transfer::runSteps()
{
    RunOutcome outcome;
    for (const StepDef& step : steps()) {
        // A stop is honoured between steps only: a step that has deleted the main
        // database's rows of a period always re-sends them before the run can end.
        if (state_.stopRequested()) {
            state_.addLine(line(texts::runStoppedLead));
            outcome.end = RunEnd::Stopped;
            outcome.failedStep = QString::fromLatin1(step.name);
            return outcome;
        }
        if (step.gated && !state_.switchOn(step.sw))
            continue;
        try {
            runStep(step);
        } catch (const DbError& e) {
            // One guard per step: exactly one connection-loss line per failed run.
            state_.addLine(line(texts::connectionLostLead));
            outcome.end = step.failure == OnFailure::JournalEnd ? RunEnd::JournalLost : RunEnd::ConnectionLost;
            outcome.failedStep = QString::fromLatin1(step.name);
            outcome.error = e.message();
            return outcome;
        }
    }
    return outcome;
}

} // namespace varid
