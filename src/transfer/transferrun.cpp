#include "transfer/transferrun.h"

#include "data/values.h"
#include "transfer/steps.h"
#include "transfer/texts.h"

namespace varid {

QString runLine(const QString& lead, const QDateTime& when)
{
    return lead + dateTimeText(when) + texts::lineTail;
}

Transfer::Transfer(DM& dm, DM2& dm2, RunState& state, const Clock& clock)
    : dm_(dm), dm2_(dm2), state_(state), clock_(clock), copy_(dm, dm2, state, clock)
{
}

QString Transfer::line(const QString& lead) const
{
    return runLine(lead, clock_.now());
}

RunOutcome Transfer::run()
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
            (this->*step.run)();
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
