#pragma once
#include "data/connection.h"
#include "data/datamodules.h"
#include "transfer/runcontext.h"
#include "transfer/transfer.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

class QEventLoop;

namespace varid {

// Starts the work of a run on a thread of its own with its own two connections, hands its
// news to the window's thread as it comes, and tells the ending there. Every mode goes
// through one `start`: the scheduled and the manual transfer, `--once`, a repair, the act.
class RunLauncher {
public:
    // The work itself, on the run's thread.
    using Job = std::function<RunOutcome(DM&, DM2&, RunContext&, const Clock&)>;
    // On the window's thread: what the run produced since the last call.
    using News = std::function<void(const RunContext::Outbox&)>;
    using Ended = std::function<void(const RunOutcome&)>;

    RunLauncher(const Clock& clock, const QString& tag, News news);
    ~RunLauncher();
    RunLauncher(const RunLauncher&) = delete;
    RunLauncher& operator=(const RunLauncher&) = delete;

    // `local` and `main` name the databases the run connects to on its thread; `ended` is
    // told on the window's thread after the last news.
    void start(const RunRequest& request, const Connection::Target& local, const Connection::Target& main, Job job,
               Ended ended);
    // Opens a run's two connections on its thread now, while the caller makes its own
    // connect: a run started right after it (`--once`) finds them open instead of opening
    // them after that connect. A run started on other databases, or none, closes them.
    // Embedded files on their own handles only; nothing is prepared for ODBC.
    void prepare(const Connection::Target& local, const Connection::Target& main);
    bool running() const { return bool(run_); }
    // The run in progress ends at the end of its current step.
    void requestStop();
    // Turns the event loop until the run in progress has ended (at once when none is).
    void waitForRun();

private:
    struct Handoff;
    void takeNews();
    void finished();
    // The thread that connects to `local` and `main`, then waits for its work in `handoff`.
    QThread* launch(const Connection::Target& local, const Connection::Target& main, std::shared_ptr<Handoff> handoff);
    // A prepared thread that was given no work closes its connections and ends.
    void dropPrepared();

    const Clock& clock_;
    QString tag_;
    News news_;
    std::shared_ptr<RunContext> run_;
    QThread* thread_ = nullptr;
    // While a prepared thread waits for its work: where to give it, and what it opened.
    std::shared_ptr<Handoff> prepared_;
    Connection::Target preparedLocal_, preparedMain_;
    RunOutcome result_;
    Ended ended_;
    QObject bridge_; // lives on the window's thread: the run's news is delivered to it
    // After news was shown, the next is taken when this ends.
    static constexpr int kHoldMs = 50;
    QTimer hold_;
    QEventLoop* waiting_ = nullptr; // waitForRun()'s loop, quit when the run has ended
};

} // namespace varid
