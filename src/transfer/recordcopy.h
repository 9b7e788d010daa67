#pragma once
#include "data/datamodules.h"
#include "transfer/runstate.h"

#include <functional>

namespace varid {

// One step's way of copying its selected rows to the main database by lookup and procedure.
struct CopyRecipe {
    Query* source = nullptr; // the walked selection, already open
    Bar bar = Bar::Klient;
    int barOffset = 0;       // rows of earlier walks sharing the bar
    std::function<QString(const RowSet& row)> lookup;     // SELECT on the main database
    StoredProc* insert = nullptr;                         // lookup found nothing
    StoredProc* update = nullptr;                         // lookup found a row; none: leave it
    bool ensureOpen = true;                               // open the main connection if closed
    std::function<void(StoredProc& proc, const RowSet& row)> fill;
    std::function<QString(const RowSet& row, bool inserting)> failureLine;
    std::function<void(const RowSet& row, const RowSet& found)> onFound; // reverse copies
    std::function<QString(const RowSet& row)> markSent;   // local UPDATE after the row, if any
};

// The pattern every step shares: the walk, the per-row guard, the failure line and the
// send marker.
class RecordCopy {
public:
    RecordCopy(DM& dm, DM2& dm2, RunState& state, const Clock& clock)
        : dm_(dm), dm2_(dm2), state_(state), clock_(clock) {}

    void walk(const CopyRecipe& recipe);

    // Runs `write` inside the per-row guard; on failure rolls back `target`, adds `line()`
    // and sets the error marker. A failing rollback is not absorbed.
    bool guarded(Connection& target, const std::function<void()>& write,
                 const std::function<QString()>& line);

    // Executes a send-marker (or other local) statement through the local query Q1.
    void execLocal(const QString& sql);

    // Open a selection on one of the queries.
    static void openQuery(Query& q, const QString& sql);

private:
    DM& dm_;
    DM2& dm2_;
    RunState& state_;
    const Clock& clock_;
};

// Every parameter from the row's column of the same name, as its typed value or its text form.
enum class Form { Typed, Text };
void fill(StoredProc& proc, const RowSet& row, Form form, const QStringList& skip = {});

// "'" + value + "'" with the value's quotes doubled.
QString quoted(const QString& value);

} // namespace varid
