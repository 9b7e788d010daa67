// Varid: the branch-side data exchange program.
//
//   varid [--home DIR]                 the window
//   varid --check [--home DIR]         start-up and the connect sequence, then the status
//   varid --once [--home DIR] [--period dd.mm.yyyy dd.mm.yyyy | --new] [--terrorist]
//                                      start-up, connect and one transfer run
//   varid --headless [--home DIR]      the schedule without a window, as a service
//   varid --act FROM TO [--pdf FILE | --detail] [--home DIR]
//                                      the reconciliation act without a window
#include "app/cli.h"
#include "shell/instancelock.h"
#include "shell/station.h"

#include "data/catalogue.h"
#include "transfer/texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QSocketNotifier>

#include <csignal>
#include <functional>
#include <memory>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace varid;
using namespace varid::cli;

namespace {

// SIGTERM and SIGINT: between runs the service ends at once; during a run the run is asked
// to stop and ends at the end of its current step, with its lines in the log.
volatile std::sig_atomic_t g_stop = 0;
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    g_stop = 1;
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
}

// A database file that cannot be paged in any more (made immutable, or its disk gone under
// a mapped page) raises SIGBUS: say so before ending. Every copy is committed on the main
// database before its mark, so the next run's lookup absorbs the break.
void onBus(int)
{
    static const char m[] = "varid: a database file could not be read or written (SIGBUS): the run broke off\n";
    [[maybe_unused]] const auto n = ::write(2, m, sizeof m - 1);
    ::_exit(2);
}

// SIGTERM and SIGINT reach `onStop` on the event loop's thread: a run in progress is asked to
// stop at the end of its current step, so a replaced period is always sent again first.
bool watchStopSignals(QSocketNotifier*& notifier, std::function<void()> onStop)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return false;
    notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onStop] {
        char c;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &c, 1);
        onStop();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    return true;
}

int check(const Options& o)
{
    QtTimerHost host;
    Station st(homeDir(o), host);
    QObject::connect(&st, &Station::message, &st, err);
    st.formCreate();
    st.connectSequence(Station::Variant::Test);
    printStatus(st);
    if (st.session().databaseTaken)
        return Locked;
    out(QStringLiteral("Филиал:    ") + st.branch());
    out(QStringLiteral("Заголовок: ") + st.panel().caption);
    out(st.panel().L_Tel.text);
    if (!st.session().identityProblem.isEmpty())
        return Broken;
    return st.bothConnected() ? 0 : 1;
}

int once(const Options& o)
{
    QtTimerHost host;
    Station st(homeDir(o), host);
    QObject::connect(&st, &Station::message, &st, err);
    QObject::connect(&st, &Station::refusal, &st, err);
    bool logFailed = false;
    QObject::connect(&st, &Station::logFailed, &st, [&](const QString& e) { logFailed = true; err(QStringLiteral("the log cannot be written: ") + e); });
    st.formCreate();
    if (!st.session().ini.usable)
        return Broken;
    if (!st.session().claimDatabase()) {
        err(st.session().databaseLock.message());
        return Locked;
    }
    st.prepareTransfer();
    const bool up = st.connectSequence(Station::Variant::Timer);
    printStatus(st);
    if (st.session().databaseTaken)
        return Locked;
    if (!up)
        return Broken;
    out(QStringLiteral("Филиал:    ") + st.branch());
    if (o.from) {
        st.setPickers(*o.from, *o.to);
        st.setIncremental(false);
    } else if (o.forceNew) {
        st.setIncremental(true);
    } else {
        st.applyDayNightRule(); // as a scheduled attempt: at night the five days before today
    }
    if (o.terrorist)
        st.setSwitch(Switch::Terrorist, true);
    QObject::connect(&st, &Station::lineAdded, &st, [](const QString& line) { out(line); });
    QSocketNotifier* notifier = nullptr;
    watchStopSignals(notifier, [&st] { st.requestStop(); });
    std::unique_ptr<QSocketNotifier> ownNotifier(notifier);
    if (g_stop)
        return Broken; // stopped before the run began
    st.startTransfer(st.request());
    if (g_stop)
        st.requestStop();
    st.waitForRun();
    const RunOutcome& r = st.lastOutcome;
    if (r.end != RunEnd::Completed) {
        // No next run start in this process: the lines go to the day log now.
        if (!st.panel().memo.isEmpty() && st.panel().memo != QStringList{QString()})
            st.flushLog();
        err(QStringLiteral("the run broke off in %1: %2").arg(r.failedStep, r.error));
        return Broken;
    }
    // What each step walked, for the operator (the log itself keeps the run's own lines).
    QStringList walked;
    for (const StepDef& step : steps())
        if (st.panel().switchOn(step.sw))
            walked << QString::fromUtf8(step.summary) + QLatin1Char(' ') + QString::number(st.panel().bars[size_t(step.bars[0].bar)].max);
    out(QStringLiteral("Строк:     ") + walked.join(QStringLiteral(", ")));
    out(QStringLiteral("Журнал:    ") + st.runLog.logPath());
    out(QStringLiteral("ГлС:       %1 обращений").arg(r.mainStatements));
    if (!st.panel().errorMarker().isEmpty())
        out(QStringLiteral("Есть ошибки записей: ") + st.runLog.errorsPath());
    return !st.panel().errorMarker().isEmpty() || logFailed ? RecordFailed : Ok;
}

// One day of one kind sent again, what only the main database holds of it deleted there,
// then the act of that day for that kind.
int repairMode(const Options& o)
{
    QtTimerHost host;
    Station st(homeDir(o), host);
    if (!startAndConnect(st))
        return st.session().databaseTaken ? Locked : Broken;
    const RecordKind kind = kindByTable(o.repairKind);
    QObject::connect(&st, &Station::lineAdded, &st, [](const QString& line) { out(line); });
    QSocketNotifier* notifier = nullptr;
    watchStopSignals(notifier, [&st] { st.requestStop(); });
    std::unique_ptr<QSocketNotifier> ownNotifier(notifier);
    st.repair(*o.from, kind);
    if (g_stop)
        st.requestStop();
    st.waitForRun();
    if (st.lastOutcome.end != RunEnd::Completed) {
        if (!st.panel().memo.isEmpty())
            st.flushLog();
        err(QStringLiteral("the repair broke off in %1: %2").arg(st.lastOutcome.failedStep, st.lastOutcome.error));
        return Broken;
    }
    out(QStringLiteral("Удалено на ГлС: %1").arg(st.repairDeleted));
    st.rebuildAct(ActRequest{*o.from, *o.to, st.branch()}, {});
    st.waitForRun();
    if (st.lastAct.end != RunEnd::Completed) {
        err(QStringLiteral("the act failed: ") + st.lastAct.error);
        return Broken;
    }
    int failed = 0;
    for (const ActRow& r : Act::printSet(st.dm())) {
        if (r.owner != act::owner || kindOfSection(r.section) != kind)
            continue;
        printRow(r);
        failed += r.verdict != act::ok;
    }
    return failed ? RecordFailed : Ok;
}

QString stamp(const Clock& c) { return c.now().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) + QStringLiteral("  "); }

int headless(const Options& o)
{
    QtTimerHost host;
    Station st(homeDir(o), host);
    QObject::connect(&st, &Station::message, &st, err);
    QSocketNotifier* notifier = nullptr;
    if (!watchStopSignals(notifier, [&st] {
            if (st.running())
                st.requestStop(); // the run's ending quits
            else
                QCoreApplication::quit();
        })) {
        err(QStringLiteral("cannot set up the signal handling"));
        return 2;
    }
    std::unique_ptr<QSocketNotifier> ownNotifier(notifier);

    // What changes is told on standard output: the status labels, attempts, runs.
    struct Seen { Link main = Link::Initial, local = Link::Initial; int attempts = 0; } seen;
    QObject::connect(&st, &Station::changed, &st, [&] {
        const Panel& p = st.panel();
        if (p.localLink != seen.local && p.localLink != Link::Initial)
            out(stamp(host) + QStringLiteral("Локальный: ") + p.L_Info1.text);
        if (p.mainLink != seen.main && p.mainLink != Link::Connecting && p.mainLink != Link::Initial)
            out(stamp(host) + QStringLiteral("ГлС: ") + p.L_Info.text);
        if (p.attempts != seen.attempts)
            out(stamp(host) + QStringLiteral("попытка ") + QString::number(p.attempts));
        const Schedule& s = st.schedule();
        if (s.countdown == 1 && s.T4->enabled() && p.L_Start.text.startsWith(QStringLiteral("передача через")))
            out(stamp(host) + p.L_Start.text); // the first second of each wait
        seen = {p.mainLink, p.localLink, p.attempts};
    });
    QObject::connect(&st, &Station::lineAdded, &st, [](const QString& line) { out(line); });
    QObject::connect(&st, &Station::refusal, &st, err);
    QObject::connect(&st, &Station::logFailed, &st, [](const QString& e) { err(QStringLiteral("the log cannot be written: ") + e); });
    QObject::connect(&st, &Station::runEnded, &st, [&](const RunOutcome& r) {
        if (r.end == RunEnd::Completed)
            out(stamp(host) + QStringLiteral("передач: ") + st.panel().L_Kol.text + QStringLiteral(", журнал ") + st.runLog.logPath());
        else if (r.end == RunEnd::Stopped)
            out(stamp(host) + QStringLiteral("передача остановлена в ") + r.failedStep);
        else
            err(QStringLiteral("the run broke off in %1: %2").arg(r.failedStep, r.error));
        if (g_stop)
            QCoreApplication::quit();
    });

    st.formCreate();
    if (!st.session().claimDatabase()) {
        err(st.session().databaseLock.message());
        return Locked;
    }
    if (!st.schedule().T1->enabled()) {
        err(QStringLiteral("the schedule cannot start: see the messages above"));
        return 2;
    }
    out(stamp(host) + QStringLiteral("Varid: запуск через ") + QString::number(st.schedule().startThreshold) + QStringLiteral(" сек., интервал ")
        + QString::number(st.schedule().intervalMinutes()) + QStringLiteral(" мин., ") + st.home());
    if (st.schedule().intervalMinutes() == 0)
        out(stamp(host) + QStringLiteral("Varid: Interval:0, автоматические передачи выключены"));
    const int rc = g_stop ? 0 : QCoreApplication::exec();
    out(stamp(host) + QStringLiteral("Varid: остановлено"));
    return rc;
}

// The folder of this program, where its window module lies; known before any application
// object exists.
QString programDir(const char* argv0)
{
#ifdef _WIN32
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        return QFileInfo(QString::fromWCharArray(path, int(n))).absolutePath();
#else
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!self.isEmpty())
        return QFileInfo(self).absolutePath();
#endif
    return QFileInfo(QString::fromLocal8Bit(argv0)).absolutePath();
}

// The window or the printed act, through the module that carries them.
int withUi(int argc, char** argv, const Options& o)
{
    QLibrary ui(QDir(programDir(argv[0])).filePath(QStringLiteral("varid_ui")));
    const auto entry = reinterpret_cast<UiMain>(ui.resolve(uiEntry));
    if (!entry) {
        std::fprintf(stderr, "varid: the window module cannot be loaded: %s\n", ui.errorString().toLocal8Bit().constData());
        return Broken;
    }
    return entry(&argc, argv, &o);
}

} // namespace

int main(int argc, char** argv)
{
    setUpMemory();
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCoreApplication::setApplicationVersion(QStringLiteral(VARID_VERSION));
    const Options o = parse(args);
    if (o.exitNow)
        return Ok;
    if (!o.error.isEmpty()) {
        std::fprintf(stderr, "varid: %s\nusage: varid [--check | --once [--period dd.mm.yyyy dd.mm.yyyy | --new] [--terrorist] | --headless\n"
                             "              | --act dd.mm.yyyy dd.mm.yyyy [--pdf FILE | --detail] | --repair dd.mm.yyyy KIND] [--home DIR]\n"
                             "       varid --help\n",
                     o.error.toLocal8Bit().constData());
        return Usage;
    }
    if (o.mode.isEmpty() || o.mode == QLatin1String("act"))
        return withUi(argc, argv, o);
    QCoreApplication app(argc, argv);
    if (!openTrace(o))
        return Broken;
    struct sigaction bus {};
    bus.sa_handler = onBus;
    sigemptyset(&bus.sa_mask);
    ::sigaction(SIGBUS, &bus, nullptr);
    // One Varid per home folder: two at once would send the same rows twice.
    InstanceLock lock(homeDir(o));
    if (!lock.acquire()) {
        std::fprintf(stderr, "varid: %s\n", lock.message().toLocal8Bit().constData());
        return Locked;
    }
    if (o.mode == QLatin1String("headless"))
        return headless(o);
    if (o.mode == QLatin1String("repair"))
        return repairMode(o);
    return o.mode == QLatin1String("check") ? check(o) : once(o);
}
