#pragma once
#include "shell/branchsession.h"
#include "shell/panel.h"
#include "shell/runlauncher.h"
#include "shell/runlog.h"
#include "shell/schedule.h"
#include "reconcile/act.h"
#include "transfer/transfer.h"

#include <QObject>

#include <functional>
#include <optional>

namespace varid {

// The program without its window: it joins the rooms (the schedule, the branch session,
// the run launcher) and keeps the panel, the plain state the window draws. The handlers of
// the window's components (B_ConnectClick, T1Timer, ...) live here, at the edge, named after
// them; the window and the headless service both drive them and listen to the signals.
class Station : public QObject {
    Q_OBJECT
public:
    // `tag` tells apart the connections of several stations in one process (tests of a chain).
    Station(const QString& home, TimerHost& host, const QString& tag = {});
    ~Station() override;

    Schedule& schedule() { return schedule_; }
    const Schedule& schedule() const { return schedule_; }
    BranchSession& session() { return session_; }
    const BranchSession& session() const { return session_; }
    // What the window shows; changed only through the station.
    const Panel& panel() const { return panel_; }

    enum class Variant { Test, Timer };

    // FormCreate: reads Path.ini and arms T1; touches no database.
    void formCreate();
    // Both variants of the connect sequence; true when both databases are connected.
    bool connectSequence(Variant v);
    bool bothConnected() const;

    void B_TestClick() { if (!running()) connectSequence(Variant::Test); }
    void B_ConnectClick();
    void B_StopClick();
    // The reconciliation act, built off the window's thread; `actBuilt` then prints it.
    void B_AktClick();
    void T1Timer();
    void T2Timer();
    void T3Timer(); // the run start: the run goes on on its own thread
    void T4Timer();

    // The user's inputs: the date pickers, "только новые", a switch (the clients' box ticks
    // the boxes that go with it), or all switches as given.
    void setPickers(const QDate& from, const QDate& to);
    void setIncremental(bool on);
    void setSwitch(Switch s, bool on);
    void setSwitches(const std::array<bool, kSwitchCount>& on);
    // A bar as a run left it.
    void showBar(Bar b, const BarState& state);
    // By day the new rows; at night (after 23:30, before 02:00) the five days before today.
    void applyDayNightRule();

    // The transfer the panel asks for now (mode, period, branch, switches).
    RunRequest request() const;
    // Takes the run's request from the panel: arming; T3 starts it.
    void arm();
    // Starts a transfer at once (the run's own log lines first).
    void startTransfer(const RunRequest& request);
    // The next run's connections open on its thread while the connect sequence runs, for a
    // transfer started as soon as that sequence ends (`--once`).
    void prepareTransfer();
    bool running() const { return launcher_.running(); }
    // The run in progress ends at the end of its current step.
    void requestStop() { launcher_.requestStop(); }
    // Turns the event loop until the run in progress has ended (at once when none is).
    void waitForRun() { launcher_.waitForRun(); }

    // The act over the pickers' period for this branch.
    ActRequest pickedAct() const { return ActRequest{panel_.Data_O_C, panel_.Data_O_PO, branch()}; }
    // The act over a period, built off the window's thread, then `ended`.
    void rebuildAct(const ActRequest& request, std::function<void()> ended);
    void resumeAfterAct();
    // Sends one day of one kind again and deletes there what only the main database holds
    // of it; false (and nothing done) while a run is in progress or a database is down.
    bool repair(const QDate& day, RecordKind kind, std::function<void()> ended = {});
    int repairDeleted = 0; // main-only records the last repair deleted

    // The branch's code, from its KTO row marked "ДА" at the last connect.
    const QString& branch() const { return session_.branch(); }
    QString home() const { return session_.home(); }
    QString journalPath() const { return session_.journalPath(); }
    TimerHost& host() const { return schedule_.host(); }
    DM& dm() { return session_.dm; }
    DM2& dm2() { return session_.dm2; }

    RunLog runLog;
    RunOutcome lastOutcome;
    RunOutcome lastAct;

    // Writes the run log buffer and the error marker out; `logFailed` when it failed.
    bool flushLog();

Q_SIGNALS:
    void changed();                              // anything the panel shows
    void lineAdded(const QString& line);         // a line of the run log buffer
    void barMoved(Bar bar);                      // a progress bar
    void message(const QString& text);           // a message box
    void refusal(const QString& text);           // the database's message for a refused row
    void runEnded(const RunOutcome& outcome);    // a transfer ended, however
    void actBuilt(const RunOutcome& outcome);    // Completed, or the failure's message
    void logFailed(const QString& error);        // a log file that could not be written

private:
    void CB_KlientClick();
    void armAfterConnect();
    void resetBars(); // every bar the transfer timer sets to 0 before an automatic run
    void setLink(LabelState& label, Link& link, Link state);
    void addLine(const QString& line);
    void launch(const RunRequest& request, RunLauncher::Job job, std::function<void()> ended);
    // The day's log files, what an aborted run left written out, and the start line.
    void openRunLog(const QString& startLead);
    void takeNews(const RunContext::Outbox& out);
    void transferEnded();

    Schedule schedule_;
    BranchSession session_;
    Panel panel_;
    RunLauncher launcher_;
    std::optional<RunRequest> armed_;
    RunOutcome result_;
};

} // namespace varid
