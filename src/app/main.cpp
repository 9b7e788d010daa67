// Varid: the branch-side data exchange program.
//
//   varid [--home DIR]                 the window
//   varid --check [--home DIR]         start-up and the connect sequence, then the status
//   varid --once [--home DIR] [--period dd.mm.yyyy dd.mm.yyyy | --new] [--terrorist]
//                                      start-up, connect and one transfer run
//   varid --headless [--home DIR]      the schedule without a window, as a service
//   varid --act FROM TO [--pdf FILE | --detail] [--home DIR]
//                                      the reconciliation act without a window
//   varid --repair DAY KIND [--home DIR] one day of one kind sent again
#include "shell/gui/mainwindow.h"
#include "shell/instancelock.h"
#include "shell/station.h"

#include "data/values.h"
#include "reconcile/act.h"
#include "reconcile/detail.h"
#include "reconcile/report.h"
#include "transfer/steps.h"
#include "transfer/texts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QDir>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <optional>

#include <sys/socket.h>
#include <unistd.h>

using namespace varid;

namespace {

enum Exit { Ok = 0, RecordFailed = 1, Broken = 2, Locked = 3, Usage = 64 };

struct Options {
    QString mode; // "", "check", "once", "headless"
    QString home;
    std::optional<QDate> from, to;
    bool forceNew = false;
    bool terrorist = false;
    QString pdf;
    bool detail = false;
    QString repairKind;
    QString error;
    bool exitNow = false; // --help or --version answered
};

Options parse(const QStringList& args)
{
    Options o;
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Varid: the branch-side data exchange of the pawnshop chain."));
    p.addHelpOption();
    p.addVersionOption();
    const QCommandLineOption check(QStringLiteral("check"), QStringLiteral("Connect both databases, print the branch; exit 0 when both answer."));
    const QCommandLineOption once(QStringLiteral("once"), QStringLiteral("Connect and run one transfer, as a scheduled attempt would."));
    const QCommandLineOption headless(QStringLiteral("headless"), QStringLiteral("Run the schedule without a window, as a service."));
    const QCommandLineOption home(QStringLiteral("home"), QStringLiteral("The folder of Path.ini and Logs (default: the program's folder)."), QStringLiteral("DIR"));
    const QCommandLineOption period(QStringLiteral("period"), QStringLiteral("With --once: period mode from FROM to TO (dd.mm.yyyy), given as \"FROM TO\" or twice."), QStringLiteral("FROM TO"));
    const QCommandLineOption forceNew(QStringLiteral("new"), QStringLiteral("With --once: only the new rows, whatever the time of day."));
    const QCommandLineOption terrorist(QStringLiteral("terrorist"), QStringLiteral("With --once: bring the terrorist list down too."));
    const QCommandLineOption actOption(QStringLiteral("act"), QStringLiteral("Build the reconciliation act from FROM to TO (dd.mm.yyyy); exit 0 when every row is OK, 1 when one is not."), QStringLiteral("FROM TO"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("With --act: write the printed act to FILE (.pdf, .html, .txt or .odt) instead of a table on standard output."), QStringLiteral("FILE"));
    const QCommandLineOption detail(QStringLiteral("detail"), QStringLiteral("With --act: print the differing records under each failing row."));
    const QCommandLineOption repair(QStringLiteral("repair"), QStringLiteral("Repair one day of one kind (BILET, BILET_LINE, PRODLENIE, REALIZ, AVANS, AVANS_LINE, OSTATOK, GL_BOOK): send it again, delete what only the main database holds; print the day's new verdict."), QStringLiteral("DAY KIND"));
    p.addOptions({check, once, headless, actOption, repair, home, period, forceNew, terrorist, pdf, detail});

    // --period takes two values: "--period A B" is folded into "--period A --period B".
    QStringList folded;
    for (int i = 0; i < args.size(); ++i) {
        folded << args[i];
        if ((args[i] == QLatin1String("--period") || args[i] == QLatin1String("--act") || args[i] == QLatin1String("--repair")) && i + 2 < args.size() && !args[i + 2].startsWith(QLatin1String("--"))) {
            folded << args[i + 1] << args[i] << args[i + 2];
            i += 2;
        }
    }
    if (!p.parse(folded)) {
        o.error = p.errorText();
        return o;
    }
    if (p.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(p.helpText()), stdout);
        o.exitNow = true;
        return o;
    }
    if (p.isSet(QStringLiteral("version"))) {
        std::printf("varid %s\n", qPrintable(QCoreApplication::applicationVersion()));
        o.exitNow = true;
        return o;
    }
    if (!p.positionalArguments().isEmpty()) {
        o.error = QStringLiteral("unknown argument: ") + p.positionalArguments().first();
        return o;
    }
    int modes = 0;
    for (const auto* m : {&check, &once, &headless, &actOption, &repair})
        if (p.isSet(*m)) {
            o.mode = m->names().first();
            ++modes;
        }
    if (modes > 1) {
        o.error = QStringLiteral("--check, --once, --headless, --act and --repair exclude each other");
        return o;
    }
    o.home = p.value(home);
    o.forceNew = p.isSet(forceNew);
    o.terrorist = p.isSet(terrorist);
    o.pdf = p.value(pdf);
    o.detail = p.isSet(detail);
    if (p.isSet(repair)) {
        const QStringList v = p.values(repair);
        const auto day = v.size() == 2 ? parseDateText(v[0]) : std::nullopt;
        if (!day || kindByTable(v[1]) == RecordKind::Count) {
            o.error = QStringLiteral("--repair takes a day as dd.mm.yyyy and a kind: BILET, BILET_LINE, PRODLENIE, REALIZ, AVANS, AVANS_LINE, OSTATOK or GL_BOOK");
            return o;
        }
        o.from = o.to = day->date();
        o.repairKind = v[1].toUpper();
    }
    if (p.isSet(period) || p.isSet(actOption)) {
        const QStringList v = p.isSet(period) ? p.values(period) : p.values(actOption);
        const auto f = v.size() == 2 ? parseDateText(v[0]) : std::nullopt;
        const auto t = v.size() == 2 ? parseDateText(v[1]) : std::nullopt;
        if (!f || !t) {
            o.error = QStringLiteral("--%1 takes two dates as dd.mm.yyyy").arg(p.isSet(period) ? QStringLiteral("period") : QStringLiteral("act"));
            return o;
        }
        o.from = f->date();
        o.to = t->date();
    }
    if ((!o.pdf.isEmpty() || o.detail) && o.mode != QLatin1String("act"))
        o.error = QStringLiteral("--pdf and --detail go with --act");
    else if ((p.isSet(period) || o.forceNew || o.terrorist) && o.mode != QLatin1String("once"))
        o.error = QStringLiteral("--period, --new and --terrorist go with --once");
    else if (o.from && o.forceNew)
        o.error = QStringLiteral("--period and --new exclude each other");
    return o;
}

void out(const QString& s)
{
    const QByteArray b = s.toUtf8() + '\n';
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fflush(stdout);
}

void err(const QString& s)
{
    const QByteArray b = s.toUtf8() + '\n';
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
}

QString homeDir(const Options& o)
{
    return QDir(o.home.isEmpty() ? QCoreApplication::applicationDirPath() : o.home).absolutePath();
}

void printStatus(const Station& st)
{
    out(QStringLiteral("ГлС:       ") + st.panel.L_Info.text);
    out(QStringLiteral("Локальный: ") + st.panel.L_Info1.text);
    for (const QString& e : st.connectErrors)
        err(e);
}

int check(const Options& o)
{
    QtTimerHost host;
    Station st(homeDir(o), host);
    st.onMessage = err;
    st.formCreate();
    st.connectSequence(Station::Variant::Test);
    printStatus(st);
    out(QStringLiteral("Филиал:    ") + st.panel.L_KTO.text);
    out(QStringLiteral("Заголовок: ") + st.panel.caption);
    out(st.panel.L_Tel.text);
    return st.bothConnected() ? 0 : 1;
}

int once(const Options& o)
{
    QtTimerHost host;
    Station st(homeDir(o), host);
    st.onMessage = err;
    st.onRefusal = err;
    bool logFailed = false;
    st.onLogFailure = [&](const QString& e) { logFailed = true; err(QStringLiteral("the log cannot be written: ") + e); };
    st.formCreate();
    if (!st.ini.usable)
        return Broken;
    const bool up = st.connectSequence(Station::Variant::Timer);
    printStatus(st);
    if (!up)
        return Broken;
    out(QStringLiteral("Филиал:    ") + st.panel.L_KTO.text);
    if (o.from) {
        st.panel.Data_O_C = *o.from;
        st.panel.Data_O_PO = *o.to;
        st.panel.CB_New = false;
    } else if (o.forceNew) {
        st.panel.CB_New = true;
    } else {
        st.applyDayNightRule(); // as a scheduled attempt: at night the five days before today
    }
    if (o.terrorist)
        st.panel.switches[size_t(Switch::Terrorist)] = true;
    st.panel.setPeriodTexts(shortDate(st.panel.Data_O_C), shortDate(st.panel.Data_O_PO));
    st.panel.onLine = [](const QString& line) { out(line); };
    st.arm();
    st.T3Timer();
    st.waitForRun();
    const RunOutcome& r = st.lastOutcome;
    if (r.end != RunEnd::Completed) {
        // No next run start in this process: the lines go to the day log now.
        if (!st.panel.memo.isEmpty() && st.panel.memo != QStringList{QString()})
            st.flushLog();
        err(QStringLiteral("the run broke off in %1: %2").arg(r.failedStep, r.error));
        return Broken;
    }
    // What each step walked, for the operator (the log itself keeps the run's own lines).
    QStringList walked;
    for (const StepDef& step : steps())
        if (st.panel.switchOn(step.sw))
            walked << QString::fromUtf8(step.summary) + QLatin1Char(' ') + QString::number(st.panel.bars[size_t(step.bars[0].bar)].max);
    out(QStringLiteral("Строк:     ") + walked.join(QStringLiteral(", ")));
    out(QStringLiteral("Журнал:    ") + st.runLog.logPath());
    out(QStringLiteral("ГлС:       %1 обращений").arg(r.mainStatements));
    if (!st.panel.errorMarker().isEmpty())
        out(QStringLiteral("Есть ошибки записей: ") + st.runLog.errorsPath());
    return !st.panel.errorMarker().isEmpty() || logFailed ? RecordFailed : Ok;
}

void printRow(const ActRow& r)
{
    out(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
            .arg(r.section, 2).arg(r.title, -24).arg(r.day.isValid() ? shortDate(r.day) : QString(), 10)
            .arg(r.name, -22).arg(r.localCount, 7, 'f', 0).arg(r.localSum, 14, 'f', 2)
            .arg(r.mainCount, 7, 'f', 0).arg(r.mainSum, 14, 'f', 2).arg(r.verdict));
}

void printDiff(const RecordDiff& d)
{
    out(QStringLiteral("      %1: %2, номер %3, %4, филиал %5, ГлС %6")
            .arg(sideText(d.side), d.key, d.number, d.date).arg(d.localAmount, 0, 'f', 2).arg(d.mainAmount, 0, 'f', 2));
}

// Start-up and the connect sequence for a mode without a window; false when a database did
// not answer or Path.ini stopped the start (the messages are on standard error).
bool startAndConnect(Station& st)
{
    st.onMessage = err;
    st.onRefusal = err;
    st.formCreate();
    if (!st.ini.usable)
        return false;
    const bool up = st.connectSequence(Station::Variant::Test);
    printStatus(st);
    return up;
}

// One day of one kind sent again, what only the main database holds of it deleted there,
// then the act of that day for that kind.
int repairMode(const Options& o)
{
    QtTimerHost host;
    Station st(homeDir(o), host);
    if (!startAndConnect(st))
        return Broken;
    const RecordKind kind = kindByTable(o.repairKind);
    st.panel.onLine = [](const QString& line) { out(line); };
    st.repair(*o.from, kind);
    st.waitForRun();
    if (st.lastOutcome.end != RunEnd::Completed) {
        if (!st.panel.memo.isEmpty())
            st.flushLog();
        err(QStringLiteral("the repair broke off in %1: %2").arg(st.lastOutcome.failedStep, st.lastOutcome.error));
        return Broken;
    }
    out(QStringLiteral("Удалено на ГлС: %1").arg(st.repairDeleted));
    st.rebuildAct(ActRequest{*o.from, *o.to, st.panel.L_KTO.text}, {});
    st.waitForRun();
    if (st.lastAct.end != RunEnd::Completed) {
        err(QStringLiteral("the act failed: ") + st.lastAct.error);
        return Broken;
    }
    int failed = 0;
    for (const ActRow& r : Act::printSet(st.dm)) {
        if (r.owner != act::owner || kindOfSection(r.section) != kind)
            continue;
        printRow(r);
        failed += r.verdict != act::ok;
    }
    return failed ? RecordFailed : Ok;
}

// The reconciliation act without a window: the rows in XXX, then a PDF (or HTML, text, ODF)
// through the same layout, or a plain table on standard output.
int actMode(const Options& o)
{
    QtTimerHost host;
    Station st(homeDir(o), host);
    if (!startAndConnect(st))
        return Broken;
    st.panel.Data_O_C = *o.from;
    st.panel.Data_O_PO = *o.to;
    st.B_AktClick();
    st.waitForRun();
    if (st.lastAct.end != RunEnd::Completed) {
        err(QStringLiteral("the act failed: ") + st.lastAct.error);
        return Broken;
    }
    const QVector<ActRow> rows = Act::printSet(st.dm);
    int failed = 0;
    for (const ActRow& r : rows)
        failed += r.owner == act::owner && r.verdict != act::ok;
    try {
        if (!o.pdf.isEmpty()) {
            const ActRequest request{*o.from, *o.to, st.panel.L_KTO.text};
            const QString html = renderAct(loadLayout(st.home()), Act::header(st.dm, request, host.now()), rows);
            saveAct(*actDocument(html), o.pdf);
            out(QStringLiteral("Акт:       ") + o.pdf);
        } else {
            for (const ActRow& r : rows) {
                printRow(r);
                if (o.detail && r.owner == act::owner && r.verdict != act::ok)
                    for (const RecordDiff& d : groupDifferences(st.dm, st.dm2, st.panel.L_KTO.text, r))
                        printDiff(d);
            }
        }
    } catch (const DbError& e) {
        err(QStringLiteral("the act failed: ") + e.message()); // the rows stay in XXX
        return Broken;
    }
    out(QStringLiteral("Строк:     %1, расхождений: %2").arg(rows.size()).arg(failed));
    return failed ? RecordFailed : Ok;
}

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

QString stamp(const Clock& c) { return c.now().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) + QStringLiteral("  "); }

int headless(const Options& o)
{
    QtTimerHost host;
    Station st(homeDir(o), host);
    st.onMessage = err;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        err(QStringLiteral("cannot set up the signal handling"));
        return 2;
    }
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&st] {
        char c;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &c, 1);
        if (st.running())
            st.requestStop(); // the run's ending quits
        else
            QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);

    // What changes is told on standard output: the status labels, attempts, runs.
    struct Seen { QString info, info1, pop; } seen;
    st.panel.onChange = [&] {
        const Panel& p = st.panel;
        if (p.L_Info1.text != seen.info1 && p.L_Info1.text != QStringLiteral("соединение отсутствует"))
            out(stamp(host) + QStringLiteral("Локальный: ") + p.L_Info1.text);
        if (p.L_Info.text != seen.info && p.L_Info.text != QStringLiteral("Соединение")
            && p.L_Info.text != QStringLiteral("соединение отсутствует"))
            out(stamp(host) + QStringLiteral("ГлС: ") + p.L_Info.text);
        if (p.L_Pop.text != seen.pop && p.L_Pop.text != QStringLiteral("0"))
            out(stamp(host) + QStringLiteral("попытка ") + p.L_Pop.text);
        if (st.countdown == 1 && st.T4->enabled() && p.L_Start.text.startsWith(QStringLiteral("передача через")))
            out(stamp(host) + p.L_Start.text); // the first second of each wait
        seen = {p.L_Info.text, p.L_Info1.text, p.L_Pop.text};
    };
    st.panel.onLine = [](const QString& line) { out(line); };
    st.onRefusal = err;
    st.onLogFailure = [](const QString& e) { err(QStringLiteral("the log cannot be written: ") + e); };
    st.onRunEnded = [&](const RunOutcome& r) {
        if (r.end == RunEnd::Completed)
            out(stamp(host) + QStringLiteral("передач: ") + st.panel.L_Kol.text + QStringLiteral(", журнал ") + st.runLog.logPath());
        else if (r.end == RunEnd::Stopped)
            out(stamp(host) + QStringLiteral("передача остановлена в ") + r.failedStep);
        else
            err(QStringLiteral("the run broke off in %1: %2").arg(r.failedStep, r.error));
        if (g_stop)
            QCoreApplication::quit();
    };

    st.formCreate();
    if (!st.T1->enabled()) {
        err(QStringLiteral("the schedule cannot start: see the messages above"));
        return 2;
    }
    out(stamp(host) + QStringLiteral("Varid: запуск через ") + QString::number(st.startThreshold) + QStringLiteral(" сек., интервал ")
        + QString::number(st.panel.intervalTag) + QStringLiteral(" мин., ") + st.home());
    if (st.panel.intervalTag == 0)
        out(stamp(host) + QStringLiteral("Varid: Interval:0, автоматические передачи выключены"));
    const int rc = g_stop ? 0 : QCoreApplication::exec();
    out(stamp(host) + QStringLiteral("Varid: остановлено"));
    return rc;
}

int window(const Options& o)
{
    QApplication::setApplicationName(QStringLiteral("Rozor"));
    QtTimerHost host;
    Station st(homeDir(o), host);
    MainWindow w(st);
    st.onMessage = [&w](const QString& m) { QMessageBox::information(&w, QStringLiteral("Rozor"), m); };
    st.formCreate();
    w.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
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
    // One Varid per home folder: two at once would send the same rows twice.
    std::unique_ptr<QCoreApplication> app;
    if (o.mode.isEmpty()) {
        app = std::make_unique<QApplication>(argc, argv);
    } else if (o.mode == QLatin1String("act")) {
        // The printed act needs fonts and a paint device, not a display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
            && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    InstanceLock lock(homeDir(o));
    if (!lock.acquire()) {
        const QString m = lock.message();
        if (o.mode.isEmpty())
            QMessageBox::warning(nullptr, QStringLiteral("Rozor"), m);
        std::fprintf(stderr, "varid: %s\n", m.toLocal8Bit().constData());
        return Locked;
    }
    if (o.mode.isEmpty())
        return window(o);
    if (o.mode == QLatin1String("headless"))
        return headless(o);
    if (o.mode == QLatin1String("act"))
        return actMode(o);
    if (o.mode == QLatin1String("repair"))
        return repairMode(o);
    return o.mode == QLatin1String("check") ? check(o) : once(o);
}
