#include "app/cli.h"

#include "data/statementtrace.h"
#include "data/values.h"
#include "data/catalogue.h"
#include "data/connection.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace varid::cli {

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
    const QCommandLineOption trace(QStringLiteral("trace"), QStringLiteral("Write every statement sent to either database to FILE (UTF-8, one a line: time, connection, text, values, outcome, milliseconds); the service and the window take VARID_TRACE=FILE."), QStringLiteral("FILE"));
    const QCommandLineOption repair(QStringLiteral("repair"), QStringLiteral("Repair one day of one kind (") + recordTables(QStringLiteral(", ")) + QStringLiteral("): send it again, delete what only the main database holds; print the day's new verdict."), QStringLiteral("DAY KIND"));
    p.addOptions({check, once, headless, actOption, repair, home, period, forceNew, terrorist, pdf, detail, trace});

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
    o.trace = p.isSet(trace) ? p.value(trace) : qEnvironmentVariable("VARID_TRACE");
    if (p.isSet(repair)) {
        const QStringList v = p.values(repair);
        const auto day = v.size() == 2 ? parseDateText(v[0]) : std::nullopt;
        if (!day || !kindByTable(v[1])) {
            o.error = QStringLiteral("--repair takes a day as dd.mm.yyyy and a kind: ") + recordTables(QStringLiteral(" or "));
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
        if (t->date() < f->date()) {
            o.error = QStringLiteral("--%1: the period ends (%2) before it begins (%3)")
                          .arg(p.isSet(period) ? QStringLiteral("period") : QStringLiteral("act"), v[1], v[0]);
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

void setUpMemory()
{
#ifdef __GLIBC__
    // Buffers of a megabyte and more (a long walk's keys, a batch's texts) are mapped and
    // given back when freed, rather than left in the heap that glibc then keeps: a night run
    // of a large branch holds several megabytes less for the rest of the day.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    // A heap gives back all but 128 KB of its free top whenever memory is freed, so every
    // run (on a thread of its own) faulted its page caches in again; a thread's heap also
    // started that small and grew a mprotect call a page. A megabyte of slack, kept and
    // started with, lets a run with nothing new reuse the pages of the run before it; the
    // peak of a large run grows by about as much.
    mallopt(M_TOP_PAD, 1 << 20);
#endif
    Connection::uncountedMemory();
}

bool openTrace(const Options& o)
{
    if (o.trace.isEmpty())
        return true;
    QString error;
    if (StatementTrace::open(o.trace, &error))
        return true;
    err(QStringLiteral("the statement trace cannot be written: ") + error);
    return false;
}

QString homeDir(const Options& o)
{
    return QDir(o.home.isEmpty() ? QCoreApplication::applicationDirPath() : o.home).absolutePath();
}

void printStatus(const Station& st)
{
    out(QStringLiteral("ГлС:       ") + st.panel().L_Info.text);
    out(QStringLiteral("Локальный: ") + st.panel().L_Info1.text);
    for (const QString& e : st.session().connectErrors)
        err(e);
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

bool startAndConnect(Station& st)
{
    QObject::connect(&st, &Station::message, &st, err);
    QObject::connect(&st, &Station::refusal, &st, err);
    st.formCreate();
    if (!st.session().ini.usable)
        return false;
    if (!st.session().claimDatabase()) {
        err(st.session().databaseLock.message());
        return false;
    }
    const bool up = st.connectSequence(Station::Variant::Test);
    printStatus(st);
    return up;
}

} // namespace varid::cli
