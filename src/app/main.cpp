// Varid: the branch-side data exchange program.
//
//   varid [--home DIR]                 the window
//   varid --check [--home DIR]         start-up and the connect sequence, then the status
//   varid --once [--home DIR] [--period dd.mm.yyyy dd.mm.yyyy]
//                                      start-up, connect and one transfer run
//   varid --headless [--home DIR]      the schedule without a window, as a service
#include "shell/gui/mainwindow.h"
#include "shell/station.h"

#include "data/values.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QTextStream>

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <optional>

#include <sys/socket.h>
#include <unistd.h>

using namespace varid;

namespace {

struct Options {
    QString mode;   // "", "check", "once"
    QString home;
    std::optional<QDate> from, to;
    QString error;
};

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--check") || a == QLatin1String("--once") || a == QLatin1String("--headless")) {
            o.mode = a.mid(2);
        } else if (a == QLatin1String("--home") && i + 1 < argc) {
            o.home = QString::fromLocal8Bit(argv[++i]);
        } else if (a == QLatin1String("--period") && i + 2 < argc) {
            const auto f = parseDateText(QString::fromLocal8Bit(argv[++i]));
            const auto t = parseDateText(QString::fromLocal8Bit(argv[++i]));
            if (!f || !t) {
                o.error = QStringLiteral("--period takes two dates as dd.mm.yyyy");
                return o;
            }
            o.from = f->date();
            o.to = t->date();
        } else {
            o.error = QStringLiteral("unknown argument: ") + a;
            return o;
        }
    }
    if (o.from && o.mode != QLatin1String("once"))
        o.error = QStringLiteral("--period goes with --once");
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
    st.formCreate();
    if (!st.ini.usable)
        return 2;
    const bool up = st.connectSequence(Station::Variant::Timer);
    printStatus(st);
    if (!up)
        return 2;
    out(QStringLiteral("Филиал:    ") + st.panel.L_KTO.text);
    if (o.from) {
        st.panel.Data_O_C = *o.from;
        st.panel.Data_O_PO = *o.to;
        st.panel.CB_New = false;
    } else {
        st.panel.CB_New = true;
    }
    st.panel.setPeriodTexts(shortDate(st.panel.Data_O_C), shortDate(st.panel.Data_O_PO));
    st.panel.onLine = [](const QString& line) { out(line); };
    st.T3Timer();
    const RunOutcome& r = st.lastOutcome;
    if (r.end != RunEnd::Completed) {
        err(QStringLiteral("the run broke off in %1: %2").arg(r.failedStep, r.error));
        return 2;
    }
    // What each step walked, for the operator (the log itself keeps the run's own lines).
    const struct { Bar bar; Switch sw; const char* name; } steps[] = {
        {Bar::Klient, Switch::Klient, "клиенты"}, {Bar::GL_Book, Switch::GL_Book, "главная книга"}};
    QStringList walked;
    for (const auto& s : steps)
        if (st.panel.switchOn(s.sw))
            walked << QString::fromUtf8(s.name) + QLatin1Char(' ') + QString::number(st.panel.bars[size_t(s.bar)].max);
    out(QStringLiteral("Строк:     ") + walked.join(QStringLiteral(", ")));
    out(QStringLiteral("Журнал:    ") + st.runLog.logPath());
    if (!st.panel.errorMarker().isEmpty())
        out(QStringLiteral("Есть ошибки записей: ") + st.runLog.errorsPath());
    return st.panel.errorMarker().isEmpty() ? 0 : 1;
}

// SIGTERM and SIGINT: between runs the service ends at once; during a run the flag is read
// after each row, so the run ends between two rows with its lines in the log.
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
    QObject::connect(&notifier, &QSocketNotifier::activated, [] {
        char c;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &c, 1);
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
    st.panel.stopCheck = [] { return g_stop != 0; };
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
    const int rc = g_stop ? 0 : QCoreApplication::exec();
    out(stamp(host) + QStringLiteral("Varid: остановлено"));
    return rc;
}

int window(const Options& o, int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rozor"));
    QtTimerHost host;
    Station st(homeDir(o), host);
    MainWindow w(st);
    st.onMessage = [&w](const QString& m) { QMessageBox::information(&w, QStringLiteral("Rozor"), m); };
    st.formCreate();
    w.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    if (!o.error.isEmpty()) {
        std::fprintf(stderr, "varid: %s\nusage: varid [--check | --once [--period dd.mm.yyyy dd.mm.yyyy] | --headless] [--home DIR]\n",
                     o.error.toLocal8Bit().constData());
        return 64;
    }
    if (o.mode.isEmpty())
        return window(o, argc, argv);
    QCoreApplication app(argc, argv);
    if (o.mode == QLatin1String("headless"))
        return headless(o);
    return o.mode == QLatin1String("check") ? check(o) : once(o);
}
