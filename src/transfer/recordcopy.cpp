#include "transfer/recordcopy.h"

#include "data/callbatch.h"
#include "data/dialect.h"
#include "data/values.h"

#include <QDataStream>
#include <QIODevice>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>

#include <cmath>

using namespace Qt::StringLiterals;

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
    // Counted by the database, not read: a selection's order does not change its count (and
    // SQL Server takes no order in a derived table).
    static const QRegularExpression order(u"\\s+order\\s+by\\s+[^()']*$"_s, QRegularExpression::CaseInsensitiveOption);
    QString inner = sql.sql();
    inner.remove(order);
    Query q(c);
    openQuery(q, Statement(u"SELECT COUNT(*) AS X_COUNT FROM ("_s + inner + u") X_ROWS"_s, sql.values()));
    return int(q.integer(u"X_COUNT"_s));
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

namespace {
// Which row on the target a lookup finds: two rows of one batch must not name the same one,
// or the second would be looked up before the first was written. Values compare as SQL
// Server compares them (letter case and trailing blanks aside). By the values alone: a
// walk's lookups share one text, and where two texts met the same values, the batch would
// only end a row early.
QString lookupTarget(const Statement& st)
{
    QString t;
    for (const QVariant& v : st.values()) {
        t += textForm(v).trimmed().toLower();
        t += QLatin1Char('\x1f');
    }
    return t;
}

// "Select * From X Where ..." as the part of a batch's lookup that tags its rows with the
// batch row they belong to; empty for a lookup of another shape.
Statement taggedLookup(const Statement& st, int row)
{
    // A walk's lookups share one text: it is read once.
    thread_local QString lastText;
    thread_local qsizetype lastStar = -1;
    if (st.sql() != lastText) {
        static const QRegularExpression selectAll(u"^\\s*select\\s+\\*\\s+from\\s"_s, QRegularExpression::CaseInsensitiveOption);
        lastText = st.sql();
        lastStar = selectAll.match(lastText).hasMatch() ? lastText.indexOf(QLatin1Char('*')) : -1;
    }
    if (lastStar < 0)
        return Statement();
    const QString& sql = st.sql();
    QString tagged;
    tagged.reserve(sql.size() + 16);
    tagged.append(QStringView(sql).left(lastStar)).append(QString::number(row)).append(u" AS X_ROW, *")
        .append(QStringView(sql).mid(lastStar + 1));
    return Statement(tagged, st.values());
}
} // namespace

int RecordCopy::batchRows = 100;

namespace {
// Marks of one shape ("… Where G_NID=%1") as one statement a hundred rows ("… Where G_NID
// IN (%1, …)"); a mark of any other shape as it stands. The rows marked are the same.
QVector<Statement> grouped(const QVector<Statement>& marks)
{
    static const QRegularExpression oneKey(u"^(.*\\bWhere\\s+)([A-Za-z_][A-Za-z0-9_]*)=%1\\s*$"_s,
                                           QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QVector<Statement> out;
    QString shape;
    QString lead;
    QVariantList keys;
    const auto flush = [&] {
        if (keys.isEmpty())
            return;
        QStringList places;
        for (int i = 1; i <= keys.size(); ++i)
            places << QLatin1Char('%') + QString::number(i);
        out << Statement(lead + u" IN ("_s + places.join(u", "_s) + u") "_s, keys);
        keys.clear();
    };
    for (const Statement& m : marks) {
        const QRegularExpressionMatch match = m.values().size() == 1 ? oneKey.match(m.sql()) : QRegularExpressionMatch();
        if (!match.hasMatch()) {
            flush();
            shape.clear();
            out << m;
            continue;
        }
        if (m.sql() != shape || keys.size() >= 100) {
            flush();
            shape = m.sql();
            lead = match.captured(1) + match.captured(2);
        }
        keys << m.values().front();
    }
    flush();
    return out;
}
} // namespace

void RecordCopy::walk(const CopyRecipe& r)
{
    RowSet& src = *r.source;
    Connection& target = r.direction == Direction::Up ? dm2_.ADOC2 : dm_.ADOC1;
    Query& lookup = lookupOn(target);
    MarkGroup marks(dm_.ADOC1, r.direction == Direction::Up);

    // A row's mark, after its copy was committed or refused.
    const auto mark = [&](RowSet& row) {
        // Marked whether the copy succeeded or was refused: the night's five-day re-send
        // is the retry for a refused row.
        if (r.deferMarks && r.markSent) {
            r.deferMarks->add(r.markSent(row));
        } else if (r.markSent || r.markRow) {
            marks.begin();
            if (r.markSent)
                execLocal(r.markSent(row));
            if (r.markRow)
                r.markRow(row);
        }
        marks.marked();
    };

    // One row on its own: its lookup, its write in a transaction of its own, its mark.
    const auto one = [&](RowSet& row, int position) {
        state_.setBarPos(r.bar, r.barOffset + position);
        if (keyMissing(row, r.keyColumns)) {
            refuse(r.failureLine(row, true));
            return;
        }
        openQuery(lookup, r.lookup(row));
        const int found = lookup.rowCount();
        if (r.afterLookup)
            r.afterLookup(row, found);
        if (found > 0 && r.onFound) {
            marks.begin(); // a note coming back is a write on the branch's database too
            r.onFound(row, lookup);
        }
        StoredProc* proc = found > 0 ? r.update : r.insert;
        if (proc && found > 0 && r.updateWhen && !r.updateWhen(lookup))
            proc = nullptr;
        if (proc) {
            guarded(target, [&] {
                if (r.ensureOpen)
                    target.connect();
                fill(*proc, row, r.form, r.skip);
                if (!r.alsoInTransaction) {
                    proc->executeInTransaction(); // one round trip where the link batches
                    return;
                }
                target.beginTransaction();
                proc->execute();
                r.alsoInTransaction(row, found == 0);
                target.commit();
            }, [&] { return r.failureLine(row, found == 0); });
        }
        mark(row);
    };

    // A batch: one lookup of all its rows, one write of all their copies in one transaction,
    // then their marks. False when it could not be written as one, with nothing of it
    // written: its rows then go one by one, as above, each with its own line and mark.
    const auto many = [&](RowSet& batch, const QVector<Statement>& lookups, const QVector<int>& positions) {
        state_.setBarPos(r.bar, r.barOffset + positions.front()); // the bar moves by batch
        QVector<Statement> tagged;
        for (int i = 0; i < lookups.size(); ++i) {
            tagged << taggedLookup(lookups[i], i);
            if (tagged.back().isEmpty())
                return false;
        }
        const Statement all = Statement::join(tagged, u" UNION ALL "_s);
        try {
            openQuery(lookup, Statement(all.sql() + u" Order By X_ROW"_s, all.values()));
        } catch (const DbError& e) {
            if (e.unavailable())
                throw; // the step ends here, as a row's lookup would end it
            return false;
        }
        QVector<int> found(lookups.size());
        for (lookup.first(); !lookup.eof(); lookup.next()) {
            const qlonglong i = lookup.integer(u"X_ROW"_s);
            if (i >= 0 && i < found.size())
                ++found[int(i)];
        }
        CallBatch calls(target);
        try {
            int i = 0;
            for (batch.first(); !batch.eof(); batch.next(), ++i) {
                StoredProc* proc = found[i] > 0 ? r.update : r.insert;
                if (proc && found[i] > 0 && r.updateWhen && lookup.locate(u"X_ROW"_s, i) && !r.updateWhen(lookup))
                    proc = nullptr;
                if (!proc)
                    continue;
                fill(*proc, batch, r.form, r.skip);
                calls.add(*proc);
            }
            if (!calls.isEmpty()) {
                if (r.ensureOpen)
                    target.connect();
                calls.execute();
            }
        } catch (const DbError&) {
            if (target.inTransaction()) {
                try { target.rollback(); } catch (const DbError&) {} // the rows' own writes will tell
            }
            return false;
        }
        // Committed on the main database: now what each row's lookup asked for, and the marks
        // (those of one shape as one statement).
        QVector<Statement> sent;
        int i = 0;
        for (batch.first(); !batch.eof(); batch.next(), ++i) {
            if (r.afterLookup)
                r.afterLookup(batch, found[i]);
            if (found[i] > 0 && r.onFound && lookup.locate(u"X_ROW"_s, i)) {
                marks.begin();
                r.onFound(batch, lookup);
            }
            if (r.markSent && !r.deferMarks && !r.markRow)
                sent << r.markSent(batch);
            else
                mark(batch);
        }
        if (!sent.isEmpty()) {
            marks.begin();
            for (const Statement& m : grouped(sent))
                execLocal(m);
            for (qsizetype k = 0; k < sent.size(); ++k)
                marks.marked();
        }
        state_.setBarPos(r.bar, r.barOffset + positions.back());
        return true;
    };

    // Rows go in batches upward, where nothing but the copy is written in the row's
    // transaction; downward and with an extra write, one by one.
    int limit = r.direction == Direction::Up && !r.alsoInTransaction ? batchRows : 1;
    int params = 1;
    for (const StoredProc* p : {r.insert, r.update})
        if (p)
            params = std::max(params, int(p->params().size()));
    limit = std::min(limit, CallBatch::kMaxBinds / params);
    if (limit <= 1) {
        for (src.first(); !src.eof(); src.next())
            one(src, src.recNo());
    } else {
        RowSet batch(src.connection());
        QVector<Statement> lookups;
        QVector<int> positions;
        QSet<QString> targets;
        src.first();
        while (!src.eof()) {
            batch.copyShapeOf(src);
            lookups.clear();
            positions.clear();
            targets.clear();
            QElapsedTimer age;
            age.start();
            while (!src.eof() && positions.size() < limit && age.elapsed() < kBatchMs) {
                if (keyMissing(src, r.keyColumns)) {
                    if (!positions.isEmpty())
                        break; // the batch before it goes first, so the lines keep their order
                    one(src, src.recNo());
                    src.next();
                    continue;
                }
                Statement st = r.lookup(src);
                const QString to = lookupTarget(st);
                if (targets.contains(to))
                    break; // a second row for the same target waits for the next batch
                targets.insert(to);
                lookups << st;
                batch.appendCurrentOf(src);
                positions << src.recNo();
                src.next();
            }
            if (positions.isEmpty())
                continue;
            if (positions.size() == 1 || !many(batch, lookups, positions)) {
                int i = 0;
                for (batch.first(); !batch.eof(); batch.next())
                    one(batch, positions[i++]);
            }
        }
    }
    marks.end();
    src.endWalk();
}

void RecordCopy::markAll(const DeferredMarks& deferred)
{
    MarkGroup marks(dm_.ADOC1, true);
    deferred.forEach(200, [&](const QVector<Statement>& statements) {
        for (const Statement& sql : grouped(statements)) {
            marks.begin();
            execLocal(sql);
            marks.marked();
        }
    });
    marks.end();
}

namespace {
void putCount(QByteArray& out, quint64 n)
{
    while (n >= 0x80) {
        out.append(char(0x80 | (n & 0x7f)));
        n >>= 7;
    }
    out.append(char(n));
}

quint64 takeCount(const QByteArray& in, qsizetype& at)
{
    quint64 n = 0;
    for (int shift = 0;; shift += 7) {
        const quint8 b = quint8(in[at++]);
        n |= quint64(b & 0x7f) << shift;
        if (!(b & 0x80))
            return n;
    }
}

enum : char { kNull = 0, kText = 1, kOther = 2 };
} // namespace

void DeferredMarks::add(const Statement& mark)
{
    qsizetype shape = shapes_.lastIndexOf(mark.sql());
    if (shape < 0) {
        shapes_ << mark.sql();
        shape = shapes_.size() - 1;
    }
    putCount(packed_, quint64(shape));
    putCount(packed_, quint64(mark.values().size()));
    for (const QVariant& v : mark.values()) {
        if (v.isNull() || !v.isValid()) {
            packed_.append(kNull);
            putCount(packed_, quint64(v.isValid() ? v.typeId() : 0));
        } else if (v.typeId() == QMetaType::QString) {
            const QByteArray text = v.toString().toUtf8();
            packed_.append(kText);
            putCount(packed_, quint64(text.size()));
            packed_.append(text);
        } else {
            QByteArray any;
            QDataStream out(&any, QIODevice::WriteOnly);
            out << v;
            packed_.append(kOther);
            putCount(packed_, quint64(any.size()));
            packed_.append(any);
        }
    }
    ++count_;
}

void DeferredMarks::forEach(qsizetype chunk, const std::function<void(const QVector<Statement>&)>& take) const
{
    QVector<Statement> out;
    qsizetype at = 0;
    while (at < packed_.size()) {
        const QString& sql = shapes_[qsizetype(takeCount(packed_, at))];
        QVariantList values;
        for (quint64 n = takeCount(packed_, at); n > 0; --n) {
            const char tag = packed_[at++];
            if (tag == kNull) {
                const int type = int(takeCount(packed_, at));
                values << (type ? QVariant(QMetaType(type)) : QVariant());
                continue;
            }
            const qsizetype size = qsizetype(takeCount(packed_, at));
            const QByteArray bytes = packed_.mid(at, size);
            at += size;
            if (tag == kText) {
                values << QString::fromUtf8(bytes);
            } else {
                QVariant v;
                QDataStream in(bytes);
                in >> v;
                values << v;
            }
        }
        out << Statement(sql, values);
        if (out.size() >= chunk) {
            take(out);
            out.clear();
        }
    }
    if (!out.isEmpty())
        take(out);
}

void RecordCopy::replaceChildren(const ChildRecipe& r)
{
    int total = 0;
    for (const ChildSet& s : r.sets)
        total += s.rows->rowCount();
    state_.setBarMax(r.bar, total);
    if (total > 0 && beforeReplace)
        beforeReplace();
    Connection& main = dm2_.ADOC2;
    const int limit = std::max(1, std::min(batchRows, CallBatch::kMaxBinds / int(std::max(r.remove->params().size(),
                                                                                             r.insert->params().size()))));
    // The deletion pass: in batches, one transaction each; a batch that fails is rolled back
    // and its deletions go one by one, each on its own as always (a failure ends the step).
    for (const ChildSet& s : r.sets) {
        RowSet batch(s.rows->connection());
        s.rows->first();
        while (!s.rows->eof()) {
            batch.copyShapeOf(*s.rows);
            CallBatch calls(main);
            for (int n = 0; n < limit && !s.rows->eof(); ++n, s.rows->next()) {
                batch.appendCurrentOf(*s.rows);
                r.remove->clear();
                fill(*r.remove, *s.rows, Form::Typed);
                calls.add(*r.remove);
            }
            if (calls.size() > 1) {
                try {
                    calls.execute();
                    continue;
                } catch (const DbError& e) {
                    if (main.inTransaction()) {
                        try { main.rollback(); } catch (const DbError&) {}
                    }
                    if (e.unavailable())
                        throw;
                }
            }
            for (batch.first(); !batch.eof(); batch.next()) {
                r.remove->clear();
                fill(*r.remove, batch, Form::Typed);
                r.remove->execute();
            }
        }
    }
    // The insertion pass: in batches; a batch that fails is rolled back and its lines go one
    // by one, each in its own transaction with its failure line.
    int offset = 0;
    for (const ChildSet& s : r.sets) {
        RowSet& rows = *s.rows;
        RowSet batch(rows.connection());
        QVector<int> positions;
        rows.first();
        while (!rows.eof()) {
            batch.copyShapeOf(rows);
            positions.clear();
            CallBatch calls(main);
            bool filled = true;
            for (int n = 0; n < limit && !rows.eof(); ++n, rows.next()) {
                batch.appendCurrentOf(rows);
                positions << rows.recNo();
                if (!filled)
                    continue;
                try {
                    fill(*r.insert, rows, Form::Typed);
                    calls.add(*r.insert);
                } catch (const DbError&) {
                    filled = false; // a value the procedure cannot take: the lines go one by one
                }
            }
            state_.setBarPos(r.bar, offset + positions.front());
            if (filled && calls.size() > 1) {
                try {
                    if (r.ensureOpen)
                        main.connect();
                    calls.execute();
                    state_.setBarPos(r.bar, offset + positions.back());
                    continue;
                } catch (const DbError&) {
                    if (main.inTransaction()) {
                        try { main.rollback(); } catch (const DbError&) {}
                    }
                }
            }
            int i = 0;
            for (batch.first(); !batch.eof(); batch.next()) {
                state_.setBarPos(r.bar, offset + positions[i++]);
                guarded(main, [&] {
                    if (r.ensureOpen)
                        main.connect();
                    fill(*r.insert, batch, Form::Typed);
                    r.insert->executeInTransaction();
                }, [&] { return s.failureLine(batch); });
            }
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

void RecordCopy::cursorCopyAll(Connection& target, RowSet& rows, const std::function<Statement(const RowSet&)>& lookupOf,
                               const QStringList& columns)
{
    // A batch of rows is looked up in one statement; each is then edited or appended as one
    // row on its own would be. A second row for the same target waits for the next batch.
    Query& q = lookupOn(target);
    RowSet batch(rows.connection());
    rows.first();
    while (!rows.eof()) {
        batch.copyShapeOf(rows);
        QVector<Statement> tagged;
        QSet<QString> targets;
        while (!rows.eof() && tagged.size() < batchRows) {
            const Statement st = lookupOf(rows);
            const QString to = lookupTarget(st);
            const Statement one = taggedLookup(st, int(tagged.size()));
            if (targets.contains(to) || one.isEmpty())
                break;
            targets.insert(to);
            tagged << one;
            batch.appendCurrentOf(rows);
            rows.next();
        }
        if (tagged.isEmpty()) { // a lookup of another shape: this row on its own
            cursorCopy(target, lookupOf(rows), rows, columns);
            rows.next();
            continue;
        }
        const Statement all = Statement::join(tagged, u" UNION ALL "_s);
        openQuery(q, Statement(all.sql() + u" Order By X_ROW"_s, all.values()));
        static const QRegularExpression from(u"\\sfrom\\s+([A-Za-z_][A-Za-z0-9_]*)"_s, QRegularExpression::CaseInsensitiveOption);
        // Each row edited by its table's key or appended, all in one transaction with one
        // commit (one text where the link batches); a failure leaves nothing of the batch and
        // ends the step, as a row's did. Dates go as dates, everything else as its text.
        const QString table = from.match(tagged.front().sql()).captured(1);
        const QStringList key = tableKey(table);
        if (key.isEmpty()) { // a table without a key: each row as a cursor writes it
            for (batch.first(); !batch.eof(); batch.next())
                cursorCopy(target, lookupOf(batch), batch, columns);
            continue;
        }
        CallBatch writes(target);
        int i = 0;
        for (batch.first(); !batch.eof(); batch.next(), ++i) {
            QVariantList values;
            QStringList places;
            for (const QString& c : columns) {
                const QVariant v = batch.value(c);
                values << (v.typeId() == QMetaType::QDateTime ? v : QVariant(batch.text(c)));
                places << QLatin1Char('%') + QString::number(values.size());
            }
            if (q.locate(u"X_ROW"_s, i)) {
                QStringList sets, where;
                for (qsizetype k = 0; k < columns.size(); ++k)
                    sets << columns[k] + QLatin1Char('=') + places[k];
                for (const QString& k : key) {
                    values << q.value(k);
                    where << k + u"=%"_s + QString::number(values.size());
                }
                writes.add(Statement(u"UPDATE "_s + table + u" SET "_s + sets.join(u", "_s) + u" WHERE "_s
                                     + where.join(u" AND "_s), values));
            } else {
                writes.add(Statement(u"INSERT INTO "_s + table + u" ("_s + columns.join(u", "_s) + u") VALUES ("_s
                                     + places.join(u", "_s) + u")"_s, values));
            }
        }
        try {
            writes.execute();
        } catch (const DbError&) {
            if (target.inTransaction()) {
                try { target.rollback(); } catch (const DbError&) {}
            }
            throw;
        }
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
    const QVector<int>& at = proc.sourceColumns(row.columns(), skip);
    for (int i = 0; i < at.size(); ++i) {
        if (at[i] == -2)
            continue;
        if (at[i] < 0) {
            row.value(proc.params()[i].name.mid(1)); // no such column: its error
            continue;
        }
        const QVariant& v = row.valueAt(at[i]);
        if (form == Form::Typed)
            proc.setAt(i, v);
        else
            proc.setAt(i, QVariant(textForm(v)));
    }
}

} // namespace varid
