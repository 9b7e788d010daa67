// The scheduled attempt of a running Varid, timed in its own process: what a branch PC pays
// every interval once the program is up (the connect sequence, then a run of the new rows
// on the run's own thread and connections, its lines in the day log), without the start of
// a program that `varid --once` pays each time.
//   varid-attempts HOME N      N attempts one after another; prints the mean and the median
//                              of all but the first (which loads the database driver) in ms
#include "app/cli.h"
#include "shell/station.h"
#include "shell/timers.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace varid;

int main(int argc, char** argv)
{
    cli::setUpMemory(); // as the program itself starts
    QCoreApplication app(argc, argv);
    if (argc != 3 || std::atoi(argv[2]) < 2) {
        std::fprintf(stderr, "usage: varid-attempts HOME N (N >= 2)\n");
        return 2;
    }
    const int n = std::atoi(argv[2]);
    QtTimerHost host;
    Station st(QString::fromLocal8Bit(argv[1]), host);
    st.formCreate();
    if (!st.session().ini.usable || !st.session().claimDatabase()) {
        std::fprintf(stderr, "varid-attempts: the home cannot be used\n");
        return 2;
    }
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        QElapsedTimer t;
        t.start();
        // What the interval's timer starts: the connect sequence, then the run.
        if (!st.connectSequence(Station::Variant::Timer)) {
            std::fprintf(stderr, "varid-attempts: the connect sequence failed\n");
            return 1;
        }
        st.setIncremental(true);
        st.startTransfer(st.request());
        st.waitForRun();
        if (st.lastOutcome.end != RunEnd::Completed) {
            std::fprintf(stderr, "varid-attempts: the run broke off: %s\n", qPrintable(st.lastOutcome.error));
            return 1;
        }
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::vector<double> later(ms.begin() + 1, ms.end());
    double sum = 0;
    for (double m : later)
        sum += m;
    std::sort(later.begin(), later.end());
    std::printf("%.2f %.2f\n", sum / later.size(), later[later.size() / 2]);
    return 0;
}
