// The general ledger journal goes up, and the run ends here: the export stamp on the
// branch's main KTO row, the end line. At night the branch's entries of the period are
// first deleted on the main database when it holds more of them, or a larger sum.
#include "transfer/transfer.h"

#include "data/values.h"
#include "transfer/texts.h"

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
            RecordCopy::openWalk(sel, Statement(QStringLiteral("SELECT * FROM GL_BOOK Where G_NEW_OLD='NEW' and G_KTO=%1  Order By G_DATA, G_NOMER"),
                                                values));
        } else {
            // Count and sum of the entries in force of the period on both sides.
            const PeriodTotals main = copy_.totals(dm2_.ADOC2, Statement(totalsText, values), QStringLiteral("Kol"), QStringLiteral("G_SUMMA"));
            const PeriodTotals local = copy_.totals(dm_.ADOC1, Statement(totalsText, values), QStringLiteral("Kol"), QStringLiteral("G_SUMMA"));
            // Entries of any status count as the branch's word for the period.
            const auto localRows = [&] {
                return copy_.totals(dm_.ADOC1, Statement(QStringLiteral(
                    "SELECT Count(G_NID) as Kol, Sum(G_SUMMA) as G_SUMMA FROM GL_BOOK Where G_DATA Between%2 and %3 and G_KTO=%1"), values),
                    QStringLiteral("Kol"), QStringLiteral("G_SUMMA")).count;
            };
            if ((main.count > local.count || lessAmount(local.sum, main.sum))
                && copy_.mayReplace("главная книга", localRows(), main.count, periodText())) {
                copy_.replacePeriod(dm2_.Del_GL_Book, [&](StoredProc& p) {
                    p.set(QStringLiteral("@G_KTO"), kto);
                    p.set(QStringLiteral("@G_DATA_C"), period.start());
                    p.set(QStringLiteral("@G_DATA_PO"), period.end());
                }, true);
            }
            RecordCopy::openWalk(sel, Statement(QStringLiteral(
                "SELECT * FROM GL_BOOK Where G_DATA Between%2 and %3 and G_KTO=%1  Order By G_DATA, G_NOMER"), values));
        }
        state_.setBarMax(Bar::GL_Book, sel.rowCount());

        CopyRecipe r;
        r.source = &sel;
        r.bar = Bar::GL_Book;
        r.keyColumns = {QStringLiteral("G_NID")};
        r.ensureOpen = false;
        r.lookup = [](const RowSet& row) {
            return Statement(QStringLiteral("Select * From GL_BOOK Where G_NID=%1 "), {row.value(QStringLiteral("G_NID"))});
        };
        r.insert = &dm2_.Ins_GL_Book;
        r.update = &dm2_.Up_GL_Book;
        r.skip = {QStringLiteral("G_NEW_OLD")}; // never assigned: both procedures receive null for it
        r.failureLine = [](const RowSet& row, bool inserting) {
            return (inserting ? QStringLiteral("Ошибка! Записи на ГлС Ж.О. G_DATA=") : QStringLiteral("Ошибка! Изменения на ГлС Ж.О. G_DATA="))
                + row.text(QStringLiteral("G_DATA")) + QStringLiteral(" and G_NOMER=") + row.text(QStringLiteral("G_NOMER"))
                + QStringLiteral(" and G_KEY=") + row.text(QStringLiteral("G_KEY"));
        };
        r.markSent = [](const RowSet& row) {
            return Statement(QStringLiteral("UpDate GL_BOOK Set G_NEW_OLD='OLD' Where G_NID=%1 "), {row.value(QStringLiteral("G_NID"))});
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
    const bool own = local.locate(QStringLiteral("KTO_ACTIV"), texts::yes);
    TableCursor& main = dm2_.T_KTO;
    main.close();
    main.open();
    Connection& conn = dm2_.ADOC2;
    const bool located = own && main.locate(QStringLiteral("KTO_KOD"), local.value(QStringLiteral("KTO_KOD")));
    if (!located)
        return;
    try {
        conn.beginTransaction();
        main.edit();
        main.set(QStringLiteral("KTO_EXPORT"), wallClock(clock_.now()));
        main.post();
        conn.commit();
    } catch (const DbError&) {
        conn.rollback(); // nothing is logged; a failing rollback ends the step
    }
}

} // namespace varid
