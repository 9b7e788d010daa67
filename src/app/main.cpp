// Varid: the branch-side data exchange program.
//
//   varid [--home DIR]                 the window
//   varid --check [--home DIR]         start-up and the connect sequence, then the status
//   varid --once [--home DIR] [--period dd.mm.yyyy dd.mm.yyyy]
//                                      start-up, connect and one transfer run
#include "shell/gui/mainwindow.h"
#include "shell/station.h"

#include "data/values.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QTextStream>

#include <cstdio>
#include <optional>

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
        if (a == QLatin1String("--check") || a == QLatin1String("--once")) {
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
    out(QStringLiteral("Журнал:    ") + st.runLog.logPath());
    return st.panel.errorMarker().isEmpty() ? 0 : 1;
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
        std::fprintf(stderr, "varid: %s\nusage: varid [--check | --once [--period dd.mm.yyyy dd.mm.yyyy]] [--home DIR]\n",
                     o.error.toLocal8Bit().constData());
        return 64;
    }
    if (o.mode.isEmpty())
        return window(o, argc, argv);
    QCoreApplication app(argc, argv);
    return o.mode == QLatin1String("check") ? check(o) : once(o);
}
