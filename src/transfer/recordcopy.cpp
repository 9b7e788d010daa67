#include "transfer/recordcopy.h"

#include "data/dialect.h"
#include "data/values.h"

#include <QElapsedTimer>

#include <cmath>

namespace varid {

RecordCopy::RecordCopy(DM& dm, DM2& dm2, RunState& state, const Clock& clock)
    : dm_(dm), dm2_(dm2), state_(state), clock_(clock),
      mainLookup_(dm2.ADOC2), localLookup_(dm.ADOC1), localMark_(dm.ADOC1), mainExec_(dm2.ADOC2), scratch_(dm.ADOC1)
{
}

void RecordCopy::openQuery(Query& q, const Statement& sql)
{
    q.setSql(sql);
    q.open();
}

void RecordCopy::openWalk(Query& q, const Statement& sql)
{
    q.setSql(sql);
    q.openWalk();
}

void RecordCopy::execLocal(const Statement& sql)
{
    localMark_.setSql(sql);
    localMark_.exec();
}

void RecordCopy::execMain(const Statement& sql)
{
    mainExec_.setSql(sql);
    mainExec_.exec();
}

PeriodTotals RecordCopy::totals(Connection& c, const Statement& sql, const QString& countColumn, const QString& sumColumn)
{
    Query q(c);
    openQuery(q, sql);
    return PeriodTotals{q.integer(countColumn), q.number(sumColumn)};
}

int RecordCopy::count(Connection& c, const Statement& sql)
{
    Query q(c);
    openQuery(q, sql);
    return q.rowCount();
}

void RecordCopy::deletePeriod(const Statement& sql)
{
    if (beforeReplace)
        beforeReplace();
    execMain(sql);
}

bool RecordCopy::mayReplace(const char* kind, qlonglong localCount, qlonglong mainCount, const QString& period)
{
    if (localCount > 0 || mainCount == 0)
        return true;
    refuse(QStringLiteral("Внимание! На ГлС не удалено: %1 %2, в филиале строк нет, на ГлС %3")
               .arg(QString::fromUtf8(kind), period).arg(mainCount));
    return false;
}

void RecordCopy::refuse(const QString& line)
{
    state_.addLine(line);
    state_.setErrorMarker(shortDate(clock_.now().date()));
}

bool RecordCopy::guarded(Connection& target, const std::function<void()>& write, const std::function<QString()>& line)
{
    try {
        write();
        return true;
    } catch (const DbError& e) {
        if (e.unavailable()) {
            if (target.inTransaction()) {
                try { target.rollback(); } catch (const DbError&) {}
            }
            throw; // not a refused row: the step ends, the row stays unsent
        }
        // A write refused inside its transaction is rolled back, and a failing rollback ends
        // the step; a value the procedure could not take failed before any transaction was
        // open and has nothing to undo. A connection that never opened ends the step.
        if (target.inTransaction())
            target.rollback();
        else if (!target.connected())
            throw;
        refuse(line());
        state_.tellRefusal(e.message());
        return false;
    }
}

namespace {
bool keyMissing(const RowSet& row, const QStringList& key)
{
    for (const QString& k : key)
        if (row.text(k).trimmed().isEmpty())
            return true;
    return false;
}
} // namespace

namespace {
// The marks of an upward walk go to the branch's database in groups, one transaction of up to
// kGroupRows rows or kGroupMs: each mark is issued after its row's copy was committed on the
// main database, and a crash loses at most the last group's marks, whose rows stay "NEW" and
// are found by the next run's lookup. One commit a group instead of one a row also keeps the
// branch's log from growing by a commit a row while the walk's read snapshot holds it open.
class MarkGroup {
public:
    static constexpr int kGroupRows = 256;
    static constexpr qint64 kGroupMs = 200;

    MarkGroup(Connection& local, bool on) : local_(local), on_(on && !local.inTransaction()) {}
    ~MarkGroup() { end(); }

    void begin()
    {
        if (!on_ || local_.inTransaction())
            return;
        local_.beginTransaction();
        rows_ = 0;
        age_.start();
    }
    void marked()
    {
        if (on_ && local_.inTransaction() && (++rows_ >= kGroupRows || age_.elapsed() >= kGroupMs))
            local_.commit();
    }
    // What is open is committed; if that fails, it is rolled back and its rows stay "NEW".
    void end() noexcept
    {
        if (!on_ || !local_.inTransaction())
            return;
        try {
            local_.commit();
        } catch (const DbError&) {
            try { local_.rollback(); } catch (const DbError&) {}
        }
    }

private:
    Connection& local_;
    bool on_;
    int rows_ = 0;
    QElapsedTimer age_;
};
} // namespace

void RecordCopy::walk(const CopyRecipe& r)
{
    RowSet& src = *r.source;
    Connection& target = r.direction == Direction::Up ? dm2_.ADOC2 : dm_.ADOC1;
    Query& lookup = lookupOn(target);
    MarkGroup marks(dm_.ADOC1, r.direction == Direction::Up);
    for (src.first(); !src.eof(); src.next()) {
        state_.setBarPos(r.bar, r.barOffset + src.recNo());
        if (keyMissing(src, r.keyColumns)) {
            refuse(r.failureLine(src, true));
            continue;
        }
        openQuery(lookup, r.lookup(src));
        const int found = lookup.rowCount();
        if (r.afterLookup)
            r.afterLookup(src, found);
        if (found > 0 && r.onFound) {
            marks.begin(); // a note coming back is a write on the branch's database too
            r.onFound(src, lookup);
        }
        StoredProc* proc = found > 0 ? r.update : r.insert;
        if (proc && found > 0 && r.updateWhen && !r.updateWhen(lookup))
            proc = nullptr;
        if (proc) {
            guarded(target, [&] {
                if (r.ensureOpen)
                    target.connect();
                fill(*proc, src, r.form, r.skip);
                if (!r.alsoInTransaction) {
                    proc->executeInTransaction(); // one round trip where the link batches
                    return;
                }
                target.beginTransaction();
                proc->execute();
                r.alsoInTransaction(src, found == 0);
                target.commit();
            }, [&] { return r.failureLine(src, found == 0); });
        }
        // Marked whether the copy succeeded or was refused: the night's five-day re-send
        // is the retry for a refused row.
        if (r.deferMarks && r.markSent) {
            r.deferMarks->push_back(r.markSent(src));
        } else if (r.markSent || r.markRow) {
            marks.begin();
            if (r.markSent)
                execLocal(r.markSent(src));
            if (r.markRow)
                r.markRow(src);
        }
        marks.marked();
    }
    marks.end();
    src.endWalk();
}

void RecordCopy::markAll(const QVector<Statement>& statements)
{
    MarkGroup marks(dm_.ADOC1, true);
    for (const Statement& sql : statements) {
        marks.begin();
        execLocal(sql);
        marks.marked();
    }
    marks.end();
}

void RecordCopy::replaceChildren(const ChildRecipe& r)
{
    int total = 0;
    for (const ChildSet& s : r.sets)
        total += s.rows->rowCount();
    state_.setBarMax(r.bar, total);
    if (total > 0 && beforeReplace)
        beforeReplace();
    for (const ChildSet& s : r.sets) {
        for (s.rows->first(); !s.rows->eof(); s.rows->next()) {
            r.remove->clear();
            fill(*r.remove, *s.rows, Form::Typed);
            r.remove->execute();
        }
    }
    Connection& main = dm2_.ADOC2;
    int offset = 0;
    for (const ChildSet& s : r.sets) {
        RowSet& rows = *s.rows;
        for (rows.first(); !rows.eof(); rows.next()) {
            state_.setBarPos(r.bar, offset + rows.recNo());
            guarded(main, [&] {
                if (r.ensureOpen)
                    main.connect();
                fill(*r.insert, rows, Form::Typed);
                r.insert->executeInTransaction();
            }, [&] { return s.failureLine(rows); });
        }
        offset += rows.rowCount();
        rows.endWalk();
    }
}

void RecordCopy::replacePeriod(StoredProc& remove, const std::function<void(StoredProc&)>& params, bool absorbFailure)
{
    Connection& main = dm2_.ADOC2;
    if (beforeReplace)
        beforeReplace();
    try {
        main.connect();
        params(remove);
        remove.executeInTransaction();
    } catch (const DbError& e) {
        if (main.inTransaction())
            main.rollback(); // a failing rollback ends the step
        if (!absorbFailure || e.unavailable())
            throw;
    }
}

void RecordCopy::cursorCopy(Connection& target, const Statement& lookupSql, const RowSet& row, const QStringList& columns)
{
    Query& q = lookupOn(target);
    openQuery(q, lookupSql);
    if (q.rowCount() > 0)
        q.edit();
    else
        q.insert();
    for (const QString& c : columns)
        q.set(c, row.text(c));
    q.post();
}

void RecordCopy::fill(StoredProc& proc, const RowSet& row, Form form, const QStringList& skip)
{
    for (const ParamDef& p : proc.params()) {
        const QString column = p.name.mid(1);
        if (skip.contains(column, Qt::CaseInsensitive))
            continue;
        proc.set(p.name, form == Form::Typed ? row.value(column) : QVariant(row.text(column)));
    }
}

} // namespace varid
