#pragma once
#include "data/datamodules.h"
#include "shell/config.h"
#include "shell/databaselock.h"
#include "shell/panel.h"
#include "shell/runlog.h"
#include "shell/timers.h"
#include "reconcile/act.h"
#include "reconcile/detail.h"
#include "transfer/runcontext.h"
#include "transfer/transfer.h"

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>

namespace varid {

// The program without its window: start-up, the connect sequence, the four timers and
// their counters, the manual controls and the run start. The window and the headless
// service both drive it.
class Station {
public:
    // `tag` tells apart the connections of several stations in one process (tests of a chain).
    Station(const QString& home, TimerHost& host, const QString& tag = {});

    enum class Variant { Test, Timer };

    // FormCreate: reads Path.ini and arms T1; touches no database.
    void formCreate();
    // Both variants of the connect sequence; true when both status labels read connected.
    bool connectSequence(Variant v);
    bool bothConnected() const;

    void B_TestClick() { if (!running()) connectSequence(Variant::Test); }
    void B_ConnectClick();
    void B_StopClick();
    // The reconciliation act, built off the window's thread; onActBuilt prints it.
    void B_AktClick();
    void resumeAfterAct();
    // The act over the pickers' period for this branch.
    ActRequest pickedAct() const { return ActRequest{panel.Data_O_C, panel.Data_O_PO, branch_}; }
    // The branch's code, from its KTO row marked "ДА" at the last connect of the local database.
    const QString& branch() const { return branch_; }
    // The act over a period, built off the window's thread, then `ended`.
    void rebuildAct(const ActRequest& request, std::function<void()> ended);
    // Sends one day of one kind again and deletes there what only the main database holds
    // of it; false (and nothing done) while a run is in progress or a database is down.
    bool repair(const QDate& day, RecordKind kind, std::function<void()> ended = {});
    int repairDeleted = 0; // main-only records the last repair deleted
    void setSwitch(Switch s, bool on); // CB_KlientClick runs when the clients box changes

    void T1Timer();
    void T2Timer();
    void T3Timer(); // the run start: the run goes on on its own thread
    void T4Timer();

    // Takes the run's request (mode, period, branch, switches) from the panel: arming.
    void arm();
    bool running() const { return bool(run_); }
    // The run in progress ends at the end of its current step.
    void requestStop();
    // Turns the event loop until the run in progress has ended (at once when none is).
    void waitForRun();
    ~Station();

    // By day the new rows; at night (after 23:30, before 02:00) the five days before today.
    void applyDayNightRule();

    // Re-arms the schedule after run completion or the journal step's failure.
    void cycleRestart();

    QString home() const { return home_; }
    // The file that remembers a period replacement until its re-send has completed.
    QString journalPath() const;
    TimerHost& host() { return host_; }

    Panel panel;
    DM dm;
    DM2 dm2;
    RunLog runLog;
    std::unique_ptr<Timer> T1, T2, T3, T4;
    std::unique_ptr<Timer> armDelay; // single shot: T2Timer's connect, half a second, the arming
    int countdown = 0;      // seconds counted by T4
    int startThreshold = 0; // T1 hands over when the start count reaches it
    PathIni ini;
    QString password;       // the main login's password, as read (L_Pass shows it masked)
    QStringList connectErrors; // the client's messages of the last connect sequence
    QString identityProblem;   // no KTO row marked "ДА", or several: nothing runs
    // One Varid per branch database: taken at start where it can be, else at the first
    // connect; `databaseTaken` once another program holds it (nothing runs then).
    DatabaseLock databaseLock;
    bool databaseTaken = false;
    // The local database's lock, as Path.ini names the database; false when another holds it.
    bool claimDatabase();
    RunOutcome lastOutcome;

    std::function<void(const QString&)> onMessage;     // a message box
    std::function<void(const RunOutcome&)> onRunEnded;
    std::function<void(const QString&)> onRefusal; // the database's message for a refused row
    std::function<void(const RunOutcome&)> onActBuilt; // Completed, or the failure's message
    RunOutcome lastAct;
    std::function<void(const QString&)> onLogFailure; // a log file that could not be written

    // Writes the run log buffer and the error marker out; tells onLogFailure when it failed.
    bool flushLog();

private:
    void CB_KlientClick();
    void armAfterConnect();
    // Every bar the transfer timer sets to 0 before an automatic run.
    void resetBars();
    int intervalMs() const;
    using Job = std::function<RunOutcome(DM&, DM2&, RunContext&, const Clock&)>;
    void startJob(const RunRequest& request, Job job, std::function<void()> ended);
    // The day's log files, what an aborted run left written out, and the start line.
    void openRunLog(const QString& startLead);
    void takeNews();
    void jobFinished();
    void transferEnded();

    QString home_;
    TimerHost& host_;
    QString tag_;
    QString branch_ = QStringLiteral("FIL_4"); // until the local database names it
    std::optional<RunRequest> armed_;
    std::shared_ptr<RunContext> run_;
    QThread* thread_ = nullptr;
    RunOutcome result_;
    std::function<void()> ended_;
    QObject bridge_; // lives on the window's thread: the run's news is delivered to it
};

} // namespace varid
