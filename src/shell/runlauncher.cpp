#include "shell/runlauncher.h"

#include "data/catalogue.h"
#include "data/values.h"
#include "transfer/texts.h"

#include <QEventLoop>

#include <algorithm>

#include <utility>

namespace varid {

RunLauncher::RunLauncher(const Clock& clock, const QString& tag, News news)
    : clock_(clock), tag_(tag + QStringLiteral("-run")), news_(std::move(news))
{
    hold_.setSingleShot(true);
    hold_.setInterval(kHoldMs);
    QObject::connect(&hold_, &QTimer::timeout, &bridge_, [this] { takeNews(); });
}

void RunLauncher::start(const RunRequest& request, const Connection::Target& local, const Connection::Target& main, Job job,
                        Ended ended)
{
    run_ = std::make_shared<RunContext>(request);
    ended_ = std::move(ended);
    run_->onNews = [this] { QMetaObject::invokeMethod(&bridge_, [this] { takeNews(); }, Qt::QueuedConnection); };
    std::shared_ptr<RunContext> context = run_;
    const Clock& clock = clock_;
    RunOutcome* result = &result_;
    const QString tag = tag_;
    thread_ = QThread::create([context, local, main, &clock, result, job = std::move(job), tag] {
        DM runDm(tag);
        DM2 runDm2(runDm, tag);
        try {
            runDm.ADOC1.setTarget(local);
            runDm2.ADOC2.setTarget(main);
            runDm.ADOC1.connect();
            runDm2.ADOC2.connect();
        } catch (const DbError& e) {
            context->addLine(runLine(texts::connectionLostLead, clock.now()));
            *result = RunOutcome{RunEnd::ConnectionLost, QString::fromLatin1(steps().front().name), e.message()};
            return;
        }
        *result = job(runDm, runDm2, *context, clock);
        result->mainStatements = runDm2.ADOC2.statementCount();
    });
    QObject::connect(thread_, &QThread::finished, &bridge_, [this] { finished(); }, Qt::QueuedConnection);
    thread_->start();
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
    if (thread_) {
        requestStop();
        thread_->wait();
        delete thread_;
    }
}

} // namespace varid
