#include "shell/runlauncher.h"

#include "data/catalogue.h"
#include "data/values.h"
#include "transfer/texts.h"

#include <QEventLoop>
#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>

#include <algorithm>
#include <optional>

#include <utility>

namespace varid {

RunLauncher::RunLauncher(const Clock& clock, const QString& tag, News news)
    : clock_(clock), tag_(tag + QStringLiteral("-run")), news_(std::move(news))
{
    hold_.setSingleShot(true);
    hold_.setInterval(kHoldMs);
    QObject::connect(&hold_, &QTimer::timeout, &bridge_, [this] { takeNews(); });
}

// What a run's thread waits for once its connections are open: the work and the run's
// context, or no work at all (the prepared thread is dropped).
struct RunLauncher::Handoff {
    QMutex mutex;
    QWaitCondition given;
    bool ready = false;
    Job job;
    std::shared_ptr<RunContext> context;

    void give(Job j, std::shared_ptr<RunContext> c)
    {
        const QMutexLocker lock(&mutex);
        job = std::move(j);
        context = std::move(c);
        ready = true;
        given.wakeOne();
    }
};

QThread* RunLauncher::launch(const Connection::Target& local, const Connection::Target& main, std::shared_ptr<Handoff> handoff)
{
    const Clock& clock = clock_;
    RunOutcome* result = &result_;
    const QString tag = tag_;
    return QThread::create([handoff, local, main, &clock, result, tag] {
        DM runDm(tag);
        DM2 runDm2(runDm, tag);
        std::optional<DbError> failed;
        try {
            runDm.ADOC1.setTarget(local);
            runDm2.ADOC2.setTarget(main);
            runDm.ADOC1.connect();
            runDm2.ADOC2.connect();
            runDm.ADOC1.readyReader(); // the first walk's, while a prepared run still waits
        } catch (const DbError& e) {
            failed = e;
        }
        Job job;
        std::shared_ptr<RunContext> context;
        {
            QMutexLocker lock(&handoff->mutex);
            while (!handoff->ready)
                handoff->given.wait(&handoff->mutex);
            job = std::move(handoff->job);
            context = std::move(handoff->context);
        }
        if (!job)
            return; // dropped: no run came
        if (failed) {
            context->addLine(runLine(texts::connectionLostLead, clock.now()));
            *result = RunOutcome{RunEnd::ConnectionLost, QString::fromLatin1(steps().front().name), failed->message()};
            return;
        }
        *result = job(runDm, runDm2, *context, clock);
        result->mainStatements = runDm2.ADOC2.statementCount();
    });
}

void RunLauncher::prepare(const Connection::Target& local, const Connection::Target& main)
{
    // Only embedded files on their own handles are opened beside the caller's connect:
    // unixODBC does not set up two environments from two threads at once safely (its trace
    // file came out under a garbled name), so an ODBC run connects after it, as it always did.
    if (run_ || !Connection::embeddedNative(local) || !Connection::embeddedNative(main))
        return;
    dropPrepared();
    prepared_ = std::make_shared<Handoff>();
    preparedLocal_ = local;
    preparedMain_ = main;
    thread_ = launch(local, main, prepared_);
    thread_->start();
}

void RunLauncher::dropPrepared()
{
    if (!prepared_)
        return;
    std::exchange(prepared_, {})->give({}, {});
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

void RunLauncher::start(const RunRequest& request, const Connection::Target& local, const Connection::Target& main, Job job,
                        Ended ended)
{
    run_ = std::make_shared<RunContext>(request);
    ended_ = std::move(ended);
    run_->onNews = [this] { QMetaObject::invokeMethod(&bridge_, [this] { takeNews(); }, Qt::QueuedConnection); };
    // The prepared thread's connections serve when they are the run's; otherwise they close.
    const bool takePrepared = prepared_ && local == preparedLocal_ && main == preparedMain_;
    std::shared_ptr<Handoff> handoff;
    if (takePrepared) {
        handoff = std::exchange(prepared_, {});
    } else {
        dropPrepared();
        handoff = std::make_shared<Handoff>();
        thread_ = launch(local, main, handoff);
    }
    QObject::connect(thread_, &QThread::finished, &bridge_, [this] { finished(); }, Qt::QueuedConnection);
    if (!takePrepared)
        thread_->start();
    handoff->give(std::move(job), run_);
}

void RunLauncher::takeNews()
{
    if (!run_)
        return;
    // What came is shown now; what comes in the next moment waits for the hold to end, so a
    // run of many rows does not wake this thread for every bar step. A quiet run's last news
    // is still shown when the hold ends.
    const RunContext::Outbox out = run_->drain(true);
    news_(out);
    const bool any = !out.lines.isEmpty()
                     || std::find(out.barsTouched.begin(), out.barsTouched.end(), true) != out.barsTouched.end();
    if (any)
        hold_.start();
}

void RunLauncher::finished()
{
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    hold_.stop();
    if (run_)
        news_(run_->drain());
    run_.reset();
    if (ended_)
        std::exchange(ended_, {})(result_);
    if (waiting_)
        waiting_->quit();
}

void RunLauncher::requestStop()
{
    if (run_)
        run_->requestStop();
}

void RunLauncher::waitForRun()
{
    // A loop that the run's end quits. Asking for one event at a time instead can sleep
    // through the end: Qt's own dispatcher (without GLib) is not woken by the end's queued
    // call, and waits for the next timer, or for ever when none runs. While the program is
    // quitting (the window closed during a run) a loop will not start: then one event at a
    // time after all.
    QEventLoop loop;
    waiting_ = &loop;
    while (running()) {
        if (loop.exec() < 0)
            loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    waiting_ = nullptr;
}

RunLauncher::~RunLauncher()
{
    dropPrepared();
    if (thread_) {
        requestStop();
        thread_->wait();
        delete thread_;
    }
}

} // namespace varid
