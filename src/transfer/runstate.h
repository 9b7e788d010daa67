#pragma once
#include "data/catalogue.h"
#include "data/clock.h"
#include "data/period.h"

#include <QDate>
#include <QString>

#include <array>

namespace varid {

struct BarState {
    int max = 100;
    int pos = 0;
};

// What a run is asked to do, taken once when it is armed.
struct RunRequest {
    bool incremental = true;   // CB_New ticked
    Period period;             // the date pickers Data_O_C and Data_O_PO
    QString branch;            // L_KTO
    std::array<bool, kSwitchCount> switches{};
    QString journal;           // the replacement journal's file; none when empty
};

// The run state the steps read and write as they go.
class RunState {
public:
    virtual ~RunState() = default;

    virtual bool incremental() const = 0;
    // Taken from the pickers when the run is armed; the same for every step.
    virtual Period period() const = 0;

    virtual QString branchCode() const = 0;
    // Where the run remembers a period replacement until its re-send has completed.
    virtual QString journalPath() const { return {}; }
    virtual bool switchOn(Switch s) const = 0;

    virtual QString errorMarker() const = 0;
    virtual void setErrorMarker(const QString& marker) = 0;
    virtual void addLine(const QString& line) = 0; // to the run log buffer
    // The database's own message for a refused row, for the operator (not for the log).
    virtual void tellRefusal(const QString& message) { (void)message; }

    virtual void setBarMax(Bar b, int max) = 0;
    virtual void setBarPos(Bar b, int pos) = 0;
    virtual int barPos(Bar b) const = 0;

    // A stop was asked for: the run ends between two steps, never inside one.
    virtual bool stopRequested() const { return false; }
};

} // namespace varid
