// The general ledger journal goes up, and the run ends here: the export stamp on the
// branch's main KTO row, the end line. At night the branch's entries of the period are
// first deleted on the main database when it holds more of them, or a larger sum.
#include "transfer/transfer.h"

#include "data/values.h"
#include "transfer/texts.h"

using namespace Qt::StringLiterals;

namespace varid {

namespace {

// The entries in force of the period: %1 the branch, %2 and %3 the period's days.
const QString totalsText = QStringLiteral(
    "SELECT Count(G_NID) as Kol, Sum(G_SUMMA) as G_SUMMA  FROM GL_BOOK Where G_DATA Between%2 and %3 and G_KTO=%1 and G_STATYS='1' ");

} // namespace

void Transfer::Rec_GL_Book()
{
    const Period period = state_.period();
    const QString kto = state_.branchCode();
    const QVariantList values{kto, period.start(), period.end()};
    const bool switchedOn = state_.switchOn(Switch::GL_Book);

    if (switchedOn) {
        Query& sel = dm2_.Q1DM;
        if (state_.incremental()) {
            RecordCopy::openWalk(sel, Statement(u"SELECT * FROM GL_BOOK Where G_NEW_OLD='NEW' and G_KTO=%1  Order By G_DATA, G_NOMER"_s,
                                                values));
        } else {
            // Count and sum of the entries in force of the period on both sides.
            const PeriodTotals main = copy_.totals(dm2_.ADOC2, Statement(totalsText, values), u"Kol"_s, u"G_SUMMA"_s);
            const PeriodTotals local = copy_.totals(dm_.ADOC1, Statement(totalsText, values), u"Kol"_s, u"G_SUMMA"_s);
            // Entries of any status count as the branch's word for the period.
            const auto localRows = [&] {
                return copy_.totals(dm_.ADOC1, Statement(QStringLiteral(
                    "SELECT Count(G_NID) as Kol, Sum(G_SUMMA) as G_SUMMA FROM GL_BOOK Where G_DATA Between%2 and %3 and G_KTO=%1"), values),
                    u"Kol"_s, u"G_SUMMA"_s).count;
            };
            if ((main.count > local.count || lessAmount(local.sum, main.sum))
                && copy_.mayReplace("главная книга", localRows(), main.count, periodText())) {
                copy_.replacePeriod(dm2_.Del_GL_Book, [&](StoredProc& p) {
                    p.set(u"@G_KTO"_s, kto);
                    p.set(u"@G_DATA_C"_s, period.start());
                    p.set(u"@G_DATA_PO"_s, period.end());
                }, true);
            }
            RecordCopy::openWalk(sel, Statement(QStringLiteral(
                "SELECT * FROM GL_BOOK Where G_DATA Between%2 and %3 and G_KTO=%1  Order By G_DATA, G_NOMER"), values));
        }
        state_.setBarMax(Bar::GL_Book, sel.rowCount());

        CopyRecipe r;
        r.source = &sel;
        r.bar = Bar::GL_Book;
        r.keyColumns = {u"G_NID"_s};
        r.ensureOpen = false;
        r.lookup = [](const RowSet& row) {
            return Statement(u"Select * From GL_BOOK Where G_NID=%1 "_s, {row.value(u"G_NID"_s)});
        };
        r.insert = &dm2_.Ins_GL_Book;
        r.update = &dm2_.Up_GL_Book;
        r.skip = {u"G_NEW_OLD"_s}; // never assigned: both procedures receive null for it
        r.failureLine = [](const RowSet& row, bool inserting) {
            return (inserting ? u"Ошибка! Записи на ГлС Ж.О. G_DATA="_s : u"Ошибка! Изменения на ГлС Ж.О. G_DATA="_s)
                + row.text(u"G_DATA"_s) + u" and G_NOMER="_s + row.text(u"G_NOMER"_s)
                + u" and G_KEY="_s + row.text(u"G_KEY"_s);
        };
        r.markSent = [](const RowSet& row) {
            return Statement(u"UpDate GL_BOOK Set G_NEW_OLD='OLD' Where G_NID=%1 "_s, {row.value(u"G_NID"_s)});
        };
        copy_.walk(r);
    }

    // Run completion, whether the journal was switched on or not; not for the step alone.
    if (!completesRun_)
        return;
    stampExport();
    if (switchedOn)
        state_.addLine(line(texts::runEndLead));
}

// The time of this export goes on the branch's own row of the main KTO table, and on no
// other: without the local "ДА" row, or without a main row of that code, nothing is stamped.
void Transfer::stampExport()
{
    TableCursor& local = dm_.T_KTO;
    local.close();
    local.open();
    const bool own = local.locate(u"KTO_ACTIV"_s, texts::yes);
    TableCursor& main = dm2_.T_KTO;
    main.close();
    main.open();
    Connection& conn = dm2_.ADOC2;
    const bool located = own && main.locate(u"KTO_KOD"_s, local.value(u"KTO_KOD"_s));
    if (!located)
        return;
    try {
        conn.beginTransaction();
        main.edit();
        main.set(u"KTO_EXPORT"_s, wallClock(clock_.now()));
        main.post();
        conn.commit();
    } catch (const DbError&) {
        conn.rollback(); // nothing is logged; a failing rollback ends the step
    }
}

} // namespace varid
