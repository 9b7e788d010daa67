#pragma once
// The reconciliation act: for a period and the branch, the branch's records of eight kinds
// grouped by day (balances by month) on both databases, one row per local group in the
// local table XXX with both sides' count and sum and a verdict.
#include "data/datamodules.h"
#include "data/catalogue.h"
#include "transfer/runstate.h"

#include <QDateTime>

namespace varid {

struct ActRequest {
    QDate from, to;   // the date pickers
    QString branch;   // L_KTO
};

namespace act {
inline const QString owner = QStringLiteral("CENTR1");
inline const QString ok = QStringLiteral("OK");
inline const QString failed = QStringLiteral("O") + QStringLiteral("шибка"); // a Latin O, then Cyrillic
// Every row of XXX, whoever owns it, in the order the act is printed.
inline const QString printSet = QStringLiteral("Select * FROM XXX ORDER BY X_KOL, X_PRIME, X_DATA1, X_NAME ");
} // namespace act

// One row of the act as it is printed.
struct ActRow {
    QString owner, title;
    int section = 0;
    QDate day;
    QString name;
    bool named = false; // sections 2, 3 and 9 write no second key
    double localCount = 0, localSum = 0, mainCount = 0, mainSum = 0;
    QString verdict;
};

// The printed act's heading: the firm, the branch, the period, when it was printed.
struct ReportHeader {
    QString firm, branch, code;
    QDate from, to;
    QDateTime printed;
};

// Builds the act into XXX (Akt_Sverki). The progress bars of its sections move through
// `progress`; a failure other than the clearing's abandons the act, rows already posted stay.
class Act {
public:
    Act(DM& dm, DM2& dm2, RunState& progress);
    void build(const ActRequest& request);

    // The print set, read from the branch's database.
    static QVector<ActRow> printSet(DM& dm);
    // The heading, from the branch's KTO ("ДА" row) and FIRM (row 1).
    static ReportHeader header(DM& dm, const ActRequest& request, const QDateTime& now);

private:
    void clear();
    void walk(const ActSection& s, Query& local, Query& main, int barOffset, int barMax);
    // The balances: grouped by month of one year, or of two.
    void monthly(const ActSection& section, const Period& period, const QString& branch);
    void balances(const ActSection& s, Query& local, Query& main, int dayOffset, int firstMonth, const QString& year);
    void post(const ActRow& row);

    DM& dm_;
    DM2& dm2_;
    RunState& progress_;
    ActRequest request_;
};

} // namespace varid
