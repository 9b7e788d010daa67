#include "transfer/recordcopy.h"

#include "data/dialect.h"
#include "data/values.h"

namespace varid {

QString quoted(const QString& value)
{
    return QLatin1Char('\'') + sqlValue(value) + QLatin1Char('\'');
}

void RecordCopy::openQuery(Query& q, const QString& sql)
{
    q.setSql(sql);
    q.open();
}

void RecordCopy::execLocal(const QString& sql)
{
    dm_.Q1.setSql(sql);
    dm_.Q1.exec();
}

bool RecordCopy::guarded(Connection& target, const std::function<void()>& write,
                         const std::function<QString()>& line)
{
    try {
        write();
        return true;
    } catch (const DbError&) {
        target.rollback(); // issued unconditionally; its own failure ends the step
        state_.addLine(line());
        state_.setErrorMarker(shortDate(clock_.now().date()));
        return false;
    }
}

void RecordCopy::walk(const CopyRecipe& r)
{
    Query& src = *r.source;
    Connection& main = dm2_.ADOC2;
    for (src.first(); !src.eof(); src.next()) {
        state_.setBarPos(r.bar, r.barOffset + src.recNo());
        openQuery(dm2_.Q1, r.lookup(src));
        const bool found = dm2_.Q1.rowCount() > 0;
        if (found && r.onFound)
            r.onFound(src, dm2_.Q1);
        StoredProc* proc = found ? r.update : r.insert;
        if (proc) {
            guarded(main, [&] {
                if (r.ensureOpen)
                    main.connect();
                main.beginTransaction();
                r.fill(*proc, src);
                proc->execute();
                main.commit();
            }, [&] { return r.failureLine(src, !found); });
        }
        // Marked whether the copy succeeded or not: the night run's five-day re-send is
        // the retry for a row whose copy failed.
        if (r.markSent)
            execLocal(r.markSent(src));
        if (state_.stopRequested())
            throw RunStopped{};
    }
}

void fill(StoredProc& proc, const RowSet& row, Form form, const QStringList& skip)
{
    for (const ParamDef& p : proc.params()) {
        const QString column = p.name.mid(1);
        if (skip.contains(column, Qt::CaseInsensitive))
            continue;
        proc.set(p.name, form == Form::Typed ? row.value(column) : QVariant(row.text(column)));
    }
}

} // namespace varid
