// The window and the printed act: the part of Varid that needs the graphics libraries,
// loaded by the program only for them.
#include "app/cli.h"
#include "shell/gui/mainwindow.h"
#include "shell/gui/translations.h"
#include "shell/instancelock.h"

#include "reconcile/report.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <memory>

using namespace varid;
using namespace varid::cli;

namespace {

// The reconciliation act without a window: the rows in XXX, then a PDF (or HTML, text, ODF)
// through the same layout, or a plain table on standard output.
int actMode(const Options& o)
{
    QtTimerHost host;
    Station st(homeDir(o), host);
    if (!startAndConnect(st))
        return st.session().databaseTaken ? Locked : Broken;
    st.setPickers(*o.from, *o.to);
    st.B_AktClick();
    st.waitForRun();
    if (st.lastAct.end != RunEnd::Completed) {
        err(QStringLiteral("the act failed: ") + st.lastAct.error);
        return Broken;
    }
    const QVector<ActRow> rows = Act::printSet(st.dm());
    int failed = 0;
    for (const ActRow& r : rows)
        failed += r.owner == act::owner && r.verdict != act::ok;
    try {
        if (!o.pdf.isEmpty()) {
            const ActRequest request{*o.from, *o.to, st.branch()};
            const ReportHeader header = Act::header(st.dm(), request, host.now());
            const QString html = renderAct(loadLayout(st.home()), header, rows);
            saveAct(*actDocument(html, layoutPath(st.home())), o.pdf, actText(header, rows));
            out(QStringLiteral("Акт:       ") + o.pdf);
        } else {
            for (const ActRow& r : rows) {
                printRow(r);
                if (o.detail && r.owner == act::owner && r.verdict != act::ok)
                    for (const RecordDiff& d : groupDifferences(st.dm(), st.dm2(), st.branch(), r))
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

int window(const Options& o)
{
    QApplication::setApplicationName(QStringLiteral("Rozor"));
    QtTimerHost host;
    Station st(homeDir(o), host);
    MainWindow w(st);
    QObject::connect(&st, &Station::message, &st, [&w](const QString& m) { QMessageBox::information(&w, QStringLiteral("Rozor"), m); });
    st.formCreate();
    if (!st.session().claimDatabase()) {
        QMessageBox::warning(nullptr, QStringLiteral("Rozor"), st.session().databaseLock.message());
        std::fprintf(stderr, "varid: %s\n", st.session().databaseLock.message().toLocal8Bit().constData());
        return Locked;
    }
    w.show();
    return QApplication::exec();
}

} // namespace

extern "C" Q_DECL_EXPORT int varid_ui_main(int* argc, char** argv, const Options* options)
{
    const Options& o = *options;
    std::unique_ptr<QCoreApplication> app;
    if (o.mode.isEmpty()) {
        app = std::make_unique<QApplication>(*argc, argv);
    } else {
        // The printed act needs fonts and a paint device, not a display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
            && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(*argc, argv);
    }
    if (!openTrace(o))
        return Broken;
    installRussianTranslations(); // the dialogs speak Russian, as the window does
    InstanceLock lock(homeDir(o));
    if (!lock.acquire()) {
        const QString m = lock.message();
        if (o.mode.isEmpty())
            QMessageBox::warning(nullptr, QStringLiteral("Rozor"), m);
        std::fprintf(stderr, "varid: %s\n", m.toLocal8Bit().constData());
        return Locked;
    }
    return o.mode.isEmpty() ? window(o) : actMode(o);
}
