// The general ledger journal goes up, and the run ends here: the export stamp on the
// branch's main KTO row, the end line. At night the branch's entries of the period are
// first deleted on the main database when it holds more of them, or a larger sum.
#include "transfer/transferrun.h"

#include "data/values.h"

namespace varid {

namespace {

QString totalsText(const QString& s, const QString& e, const QString& kto)
{
    return QStringLiteral("SELECT Count(G_NID) as Kol, Sum(G_SUMMA) as G_SUMMA  FROM GL_BOOK Where G_DATA Between'")
        + s + QStringLiteral("' and '") + e + QStringLiteral("' ") + QStringLiteral("and G_KTO='") + kto
        + QStringLiteral("' and G_STATYS='") + QStringLiteral("1") + QStringLiteral("' ");
}

} // namespace

RunEnd Transfer::Rec_GL_Book()
{
    const QString start = shortDate(state_.periodFrom());
    const QString end = shortDate(state_.periodTo());
    state_.setPeriodTexts(start, end);
    const QString kto = sqlValue(state_.branchCode());
    const bool switchedOn = state_.switchOn(Switch::GL_Book);

    try {
        if (switchedOn) {
            Query& sel = dm2_.Q1DM;
            if (state_.incremental()) {
                RecordCopy::openQuery(sel, QStringLiteral("SELECT * FROM GL_BOOK Where G_NEW_OLD='NEW' and G_KTO='") + kto
                    + QStringLiteral("'  ") + QStringLiteral("Order By G_DATA, G_NOMER"));
            } else {
                // Count and sum of the entries in force of the period on both sides.
                RecordCopy::openQuery(dm2_.Q3, totalsText(start, end, kto));
                RecordCopy::openQuery(dm2_.Q4DM, totalsText(start, end, kto));
                const qlonglong mainCount = dm2_.Q3.integer(QStringLiteral("Kol"));
                const qlonglong localCount = dm2_.Q4DM.integer(QStringLiteral("Kol"));
                const double mainSum = dm2_.Q3.number(QStringLiteral("G_SUMMA"));
                const double localSum = dm2_.Q4DM.number(QStringLiteral("G_SUMMA"));
                if (mainCount > localCount || localSum < mainSum) {
                    Connection& main = dm2_.ADOC2;
                    try {
                        main.beginTransaction();
                        dm2_.Del_GL_Book.set(QStringLiteral("@G_KTO"), state_.branchCode());
                        dm2_.Del_GL_Book.set(QStringLiteral("@G_DATA_C"), start);
                        dm2_.Del_GL_Book.set(QStringLiteral("@G_DATA_PO"), end);
                        dm2_.Del_GL_Book.execute();
                        main.commit();
                    } catch (const DbError&) {
                        main.rollback(); // silently; a failing rollback ends the step
                    }
                }
                RecordCopy::openQuery(sel, QStringLiteral("SELECT * FROM GL_BOOK Where G_DATA Between'") + start
                    + QStringLiteral("' and '") + end + QStringLiteral("' ") + QStringLiteral("and G_KTO='") + kto
                    + QStringLiteral("'  ") + QStringLiteral("Order By G_DATA, G_NOMER"));
            }
            state_.setBarMax(Bar::GL_Book, sel.rowCount());

            CopyRecipe r;
            r.source = &sel;
            r.bar = Bar::GL_Book;
            r.ensureOpen = false;
            r.lookup = [](const RowSet& row) {
                return QStringLiteral("Select * From GL_BOOK Where G_NID=") + quoted(row.text(QStringLiteral("G_NID"))) + QStringLiteral(" ");
            };
            r.insert = &dm2_.Ins_GL_Book;
            r.update = &dm2_.Up_GL_Book;
            // @G_NEW_OLD is never assigned: both procedures receive null for it.
            r.fill = [](StoredProc& p, const RowSet& row) { fill(p, row, Form::Typed, {QStringLiteral("G_NEW_OLD")}); };
            r.failureLine = [](const RowSet& row, bool inserting) {
                return (inserting ? QStringLiteral("Ошибка! Записи на ГлС Ж.О. G_DATA=") : QStringLiteral("Ошибка! Изменения на ГлС Ж.О. G_DATA="))
                    + row.text(QStringLiteral("G_DATA")) + QStringLiteral(" and G_NOMER=") + row.text(QStringLiteral("G_NOMER"))
                    + QStringLiteral(" and G_KEY=") + row.text(QStringLiteral("G_KEY"));
            };
            r.markSent = [](const RowSet& row) {
                return QStringLiteral("UpDate GL_BOOK Set G_NEW_OLD='OLD' Where G_NID=") + quoted(row.text(QStringLiteral("G_NID"))) + QStringLiteral(" ");
            };
            copy_.walk(r);
        }

        stampExport();
    } catch (const DbError& e) {
        connectionLost();
        outcome_.failedStep = QStringLiteral("Rec_GL_Book");
        outcome_.error = e.message();
        return RunEnd::JournalLost;
    } catch (const RunStopped&) {
        outcome_.failedStep = QStringLiteral("Rec_GL_Book");
        return RunEnd::Stopped;
    }
    if (switchedOn)
        state_.addLine(runLine(QString::fromUtf8(kRunEndLead), clock_.now()));
    return RunEnd::Completed;
}

// The time of this export goes on the branch's own row of the main KTO table, and on no
// other: without the local "ДА" row, or without a main row of that code, nothing is stamped.
void Transfer::stampExport()
{
    TableCursor& local = dm_.T_KTO;
    local.close();
    local.open();
    const bool own = local.locate(QStringLiteral("KTO_ACTIV"), QStringLiteral("ДА"));
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
        main.set(QStringLiteral("KTO_EXPORT"), clock_.now());
        main.post();
        conn.commit();
    } catch (const DbError&) {
        conn.rollback(); // nothing is logged; a failing rollback ends the step
    }
}

} // namespace varid
