#pragma once
#include "data/datamodules.h"
#include "transfer/recordcopy.h"
#include "transfer/runstate.h"

namespace varid {

// How a run ended; the shell does what each ending asks of the timers and counters.
enum class RunEnd {
    Completed,      // run completion after the journal step (switched on or off)
    ConnectionLost, // a step before the journal failed outside its per-row guard
    JournalLost,    // the journal step failed outside its per-row guard
    Stopped,        // the service was stopped; the run ended between two rows
};


struct RunOutcome {
    RunEnd end = RunEnd::Completed;
    QString failedStep; // the step that broke off, for the operator
    QString error;      // the client's message of that failure
};

// One pass along the transfer chain. Each step is a file of its own.
class Transfer {
public:
    Transfer(DM& dm, DM2& dm2, RunState& state, const Clock& clock);

    RunOutcome run();

    // The steps, in chain order; the journal step ends the run.
    void Rec_Klient();
    RunEnd Rec_GL_Book();

private:
    void connectionLost();
    void stampExport();

    DM& dm_;
    DM2& dm2_;
    RunState& state_;
    const Clock& clock_;
    RecordCopy copy_;
    RunOutcome outcome_;
};

// "-----   Начало передачи " + date and time + "  -----" and its siblings.
QString runLine(const QString& lead, const QDateTime& when);
extern const char* const kRunStartLead;
extern const char* const kRunEndLead;
extern const char* const kConnectionLostLead;

} // namespace varid
