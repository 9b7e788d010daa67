#pragma once
#include "data/datamodules.h"
#include "transfer/recordcopy.h"
#include "transfer/replacejournal.h"
#include "transfer/runstate.h"

namespace varid {


// How a run ended; the shell does what each ending asks of the timers and counters.
enum class RunEnd {
    Completed,      // run completion after the journal step (switched on or off)
    ConnectionLost, // a step before the journal failed outside its per-row guard
    JournalLost,    // the journal step failed outside its per-row guard
    Stopped,        // a stop was asked for; the run ended between two steps
};

struct RunOutcome {
    RunEnd end = RunEnd::Completed;
    QString failedStep; // the step that broke off or before which the run stopped
    QString error;      // the client's message of that failure
    qint64 mainStatements = 0; // statements sent to the main database: its round trips
};

// One pass along the transfer chain, as the catalogue orders it. Each step is a file of
// its own: its SQL texts, parameters and order; the copy pattern carries the rest.
class Transfer {
public:
    Transfer(DM& dm, DM2& dm2, RunState& state, const Clock& clock);

    // A journaled replacement left unfinished first, then the steps.
    RunOutcome run();
    // The two halves of run(), for a repair that deletes in between.
    RunOutcome recoverReplacements();
    RunOutcome runSteps();

    // One step alone, in the mode and over the period given, before or after a run's own
    // work: a journaled replacement sent again, a repair's records of other days. It never
    // completes the run (no export stamp, no end line).
    RunOutcome runStepAlone(const StepDef& step, bool incremental, const Period& period);

    // The steps, in chain order, one a line of the catalogue: Rec_Klient to Rec_GL_Book,
    // each defined in its own file (step_<name>.cpp). The journal step completes the run.
#define VARID_STEP_MEMBER(name, bar) void Rec_##name();
    VARID_KINDS(VARID_STEP_MEMBER, VARID_KIND_NONE)
#undef VARID_STEP_MEMBER

private:
    // The step inside its guard, its period replacement journaled before any deletion and
    // forgotten once the step has completed.
    void runStep(const StepDef& step);
    Replacement replacementOf(const StepDef& step) const;

    void Rec_Avans_Line(Query& lines); // the report lines, which have no switch of their own
    RunOutcome lostAt(const StepDef& step, const DbError& e);
    void stampExport();
    void registerBranch(const QString& code);
    QString line(const QString& lead) const;
    // "с 01.03.2010 по 05.03.2010": the run's period, for the lines that name it.
    QString periodText() const;

    DM& dm_;
    DM2& dm2_;
    RunState& state_;
    const Clock& clock_;
    RecordCopy copy_;
    ReplaceJournal journal_;
    bool completesRun_ = true;
};

// lead + date and time + "  -----": the run's fixed lines.
QString runLine(const QString& lead, const QDateTime& when);

} // namespace varid
