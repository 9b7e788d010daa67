#include "transfer/transfer.h"

#include "data/values.h"
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
    StepAlone(RunState& run, Switch sw, bool incremental, const Period& period)
        : run_(run), sw_(sw), incremental_(incremental), period_(period)
    {
    }
    bool incremental() const override { return incremental_; }
    Period period() const override { return period_; }
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
    Period period_;
};

const StepDef* stepNamed(const QString& name)
{
    for (const StepDef& s : steps())
        if (name == QLatin1String(s.name))
            return &s;
    return nullptr;
}

// The run's step members, in the catalogue's order.
#define VARID_STEP_RUN(name, bar) &Transfer::Rec_##name,
constexpr void (Transfer::*kRun[])() = {VARID_KINDS(VARID_STEP_RUN, VARID_KIND_NONE)};
#undef VARID_STEP_RUN

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
    return state_.period().text();
}

RunOutcome Transfer::lostAt(const StepDef& step, const DbError& e)
{
    // One guard per step: exactly one connection-loss line per failed run.
    state_.addLine(line(texts::connectionLostLead));
    return RunOutcome{step.failure == OnFailure::JournalEnd ? RunEnd::JournalLost : RunEnd::ConnectionLost,
                      QString::fromLatin1(step.name), e.message()};
}

Replacement Transfer::replacementOf(const StepDef& step) const
{
    return Replacement{QString::fromLatin1(step.name), state_.branchCode(), state_.period().from, state_.period().to};
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
    (this->*kRun[size_t(step.sw)])();
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
        const Period period{r.from, r.to};
        state_.addLine(texts::replacementResentLead + QString::fromUtf8(step->summary) + QLatin1Char(' ') + period.text());
        const RunOutcome o = runStepAlone(*step, false, period);
        if (o.end != RunEnd::Completed)
            return o;
    }
    return outcome;
}

RunOutcome Transfer::runStepAlone(const StepDef& step, bool incremental, const Period& period)
{
    StepAlone alone(state_, step.sw, incremental, period);
    Transfer t(dm_, dm2_, alone, clock_);
    t.completesRun_ = false;
    try {
        t.runStep(step);
    } catch (const DbError& e) {
        return lostAt(step, e);
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
            return lostAt(step, e);
        }
    }
    return outcome;
}

} // namespace varid
