#pragma once
#include "data/datamodules.h"
#include "data/values.h"
#include "transfer/runstate.h"

#include <functional>

namespace varid {

// Which way a row travels: up, from the branch's database to the main one (lookup and
// write on the main database), or down, from the main database to the branch's.
enum class Direction { Up, Down };

// How a procedure's parameters are filled from a row: every parameter from the row's
// column of the same name, as its typed value (a null stays null) or its text form.
enum class Form { Typed, Text };

// The marks a walk keeps until its rows' lines have gone, packed: each shape's text once and
// each value in a few bytes, so a night's hundred thousand tickets hold a few megabytes.
class DeferredMarks {
public:
    void add(const Statement& mark);
    qsizetype size() const { return count_; }
    // The marks in the order they were added, `chunk` at a time.
    void forEach(qsizetype chunk, const std::function<void(const QVector<Statement>&)>& take) const;

private:
    QStringList shapes_;
    QByteArray packed_;
    qsizetype count_ = 0;
};

// One step's way of copying the rows of its selection by lookup and procedure.
struct CopyRecipe {
    RowSet* source = nullptr; // the walked selection, already open
    Direction direction = Direction::Up;
    Bar bar = Bar::Klient;
    int barOffset = 0;        // rows of earlier walks sharing the bar
    // A row whose key column is null or empty cannot be looked up or marked: it gets its
    // failure line and the error marker, and nothing is written.
    QStringList keyColumns;
    std::function<Statement(const RowSet& row)> lookup;        // SELECT on the target database
    StoredProc* insert = nullptr;                            // the lookup found nothing
    StoredProc* update = nullptr;                            // it found a row; none: leave it
    std::function<bool(const RowSet& found)> updateWhen;     // when set, false leaves the row alone
    bool ensureOpen = true;                                  // open the target connection if closed
    Form form = Form::Typed;
    QStringList skip;                                        // parameters never set
    // After the procedure, before the commit; `inserting` tells the insertion from the update.
    std::function<void(const RowSet& row, bool inserting)> alsoInTransaction;
    std::function<QString(const RowSet& row, bool inserting)> failureLine;
    std::function<void(const RowSet& row, const RowSet& found)> onFound; // reverse copies
    std::function<void(const RowSet& row, int found)> afterLookup;       // traces
    std::function<Statement(const RowSet& row)> markSent;      // local UPDATE after the row
    std::function<void(RowSet& row)> markRow;                // or a write through the walked row
    // A parent whose children go in a later pass of its step (ticket lines, report lines):
    // its marks are kept here and written by markAll() once that pass has run, so a break-off
    // or a crash in between leaves the parent "NEW" and the next run sends it and its
    // children again.
    DeferredMarks* deferMarks = nullptr;
};

// Child rows replaced on the main database: a deletion pass over every set, without a
// transaction, then an insertion pass, each row in its own transaction with its failure line.
struct ChildSet {
    RowSet* rows = nullptr;
    std::function<QString(const RowSet& row)> failureLine;
};
struct ChildRecipe {
    QVector<ChildSet> sets;
    Bar bar = Bar::BLine;
    StoredProc* remove = nullptr; // its parameters from the row's typed values
    StoredProc* insert = nullptr;
    bool ensureOpen = true;
};

// Count and sum of a period on one database.
struct PeriodTotals {
    qlonglong count = 0;
    double sum = 0; // a null sum counts as 0
};

// The pattern every step shares: the walk, the per-row guard, the failure line and the
// send marker, in either direction. It owns its lookup and marking queries, so no step can
// close the set it walks.
class RecordCopy {
public:
    RecordCopy(DM& dm, DM2& dm2, RunState& state, const Clock& clock);

    // Upward, the rows go in batches of up to `batchRows` (or what kBatchMs of walking
    // gives): one lookup, one write, then the marks. 1: every row on its own.
    void walk(const CopyRecipe& recipe);
    static int batchRows;
    static constexpr qint64 kBatchMs = 200;
    // The marks a walk deferred, in groups on the branch's database.
    void markAll(const DeferredMarks& marks);
    void replaceChildren(const ChildRecipe& recipe);

    // Deletes the branch's rows of the period on the main database through `remove`, in its
    // transaction. A failure is rolled back; then it is passed over silently when
    // `absorbFailure`, or else ends the step.
    void replacePeriod(StoredProc& remove, const std::function<void(StoredProc&)>& params, bool absorbFailure);

    // Runs `write` inside the per-row guard on `target`: a refused write is rolled back and
    // logged with `line()`, the error marker set, and false returned. A database that could
    // not take the write now (busy, locked, lost) ends the step instead: the row is not
    // counted as refused, so it is not marked and the next attempt sends it.
    bool guarded(Connection& target, const std::function<void()>& write, const std::function<QString()>& line);

    // Copies `columns` of `row` in text form into the row `lookupSql` finds on `target`, or
    // into a new one: the cursor copy of vehicles and the terrorist list. No guard.
    void cursorCopy(Connection& target, const Statement& lookupSql, const RowSet& row, const QStringList& columns);
    // The same for every row of `rows`, their lookups a batch at a time.
    void cursorCopyAll(Connection& target, RowSet& rows, const std::function<Statement(const RowSet&)>& lookupOf,
                       const QStringList& columns);

    // A statement on the branch's database (send markers, key fills) or the main one.
    void execLocal(const Statement& sql);
    void execMain(const Statement& sql);
    // A selection into one of the copy's own scratch queries, for counts and totals.
    PeriodTotals totals(Connection& c, const Statement& sql, const QString& countColumn, const QString& sumColumn);
    int count(Connection& c, const Statement& sql);

    static void openQuery(Query& q, const Statement& sql);
    // A selection the step walks: streamed inside a read snapshot on the embedded database.
    static void openWalk(Query& q, const Statement& sql);
    static void fill(StoredProc& proc, const RowSet& row, Form form, const QStringList& skip = {});

    void refuse(const QString& line); // the failure line and the error marker

    // Called before any deletion of a period's rows on the main database: the step's
    // replacement is journaled (a failure throws, and nothing is deleted).
    std::function<void()> beforeReplace;
    // A deletion on the main database of a period's rows, journaled first.
    void deletePeriod(const Statement& sql);
    // Whether a period's rows on the main database may be deleted: never on the word of a
    // branch database holding none of them. A skipped deletion is told in the day log with
    // the main database's count and makes the run end asking for attention.
    bool mayReplace(const char* kind, qlonglong localCount, qlonglong mainCount, const QString& period);

private:
    Query& lookupOn(Connection& c) { return &c == &dm2_.ADOC2 ? mainLookup_ : localLookup_; }

    DM& dm_;
    DM2& dm2_;
    RunState& state_;
    const Clock& clock_;
    Query mainLookup_, localLookup_, localMark_, mainExec_, scratch_;
};

} // namespace varid
