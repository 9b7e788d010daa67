// Monthly account balances. Balances are kept by month, so at night the period becomes a
// range of years and months; a range whose balances differ between the two databases (more
// rows on the main one, or as many rows with other totals) is replaced there as a whole.
#include "transfer/transfer.h"

#include "data/values.h"

using namespace Qt::StringLiterals;

namespace varid {

void Transfer::Rec_Ostatok()
{
    if (!state_.switchOn(Switch::Ostatok))
        return;
    const Period period = state_.period();
    const QString startYear = period.startYear();
    const QString endYear = period.endYear();
    const QString startMonth = period.startMonth();
    const QString endMonth = period.endMonth();

    // %1 the branch; %2 and %3 the period's years, %4 and %5 its months.
    const QVariantList values{state_.branchCode(), startYear, endYear, startMonth, endMonth};
    const auto statement = [&values](const QString& sql) { return Statement(sql, values); };
    Query& sel = dm2_.Q1DM;
    const QString order = u"Order By O_MESIC, O_SCHET"_s;
    if (state_.incremental()) {
        RecordCopy::openWalk(sel, statement(u"SELECT * FROM OSTATOK Where O_NEW_OLD='NEW' and O_KTO=%1 "_s + order));
    } else {
        const bool oneYear = startYear == endYear;
        const QString range = oneYear ? u"O_GOD=%2 and O_MESIC BETWEEN %4 and %5 "_s : u"O_GOD Between%2 and %3 "_s;
        // Within one year the local texts end the branch code with two blanks, the main ones with one.
        const QString localEnd = oneYear ? u"  "_s : u" "_s;
        const QString rows = u"SELECT * FROM OSTATOK Where "_s + range + u"and O_KTO=%1"_s;
        const QString sums = u"SELECT COUNT(O_NID) as O_KOL, SUM(O_DEBET)+SUM(O_KREDIT) as O_SUMMA FROM OSTATOK Where "_s
            + range + u"and O_KTO=%1"_s;
        RecordCopy::openWalk(sel, statement(rows + localEnd + order));
        const int mainRows = copy_.count(dm2_.ADOC2, statement(rows + u" "_s + order));
        const PeriodTotals local = copy_.totals(dm_.ADOC1, statement(sums + localEnd), u"O_KOL"_s, u"O_SUMMA"_s);
        const PeriodTotals main = copy_.totals(dm2_.ADOC2, statement(sums + u" "_s), u"O_KOL"_s, u"O_SUMMA"_s);
        const Statement deletion = statement(oneYear
            ? u"Delete FROM OSTATOK Where O_KTO=%1 and O_GOD=%2 and O_MESIC BETWEEN %4 and %5 "_s
            : u"Delete FROM OSTATOK Where O_KTO=%1 and O_GOD Between%2 and %3 "_s);
        // Both tests read the totals taken before any deletion; without a transaction.
        if (mainRows > sel.rowCount() && copy_.mayReplace("остатки", sel.rowCount(), mainRows, periodText()))
            copy_.deletePeriod(deletion);
        if (local.count == main.count && !sameAmount(local.sum, main.sum))
            copy_.deletePeriod(deletion);
    }
    state_.setBarMax(Bar::Ostatok, sel.rowCount());

    CopyRecipe r;
    r.source = &sel;
    r.bar = Bar::Ostatok;
    r.keyColumns = {u"O_NID"_s};
    r.ensureOpen = false; // this step does not first open the main connection
    r.lookup = [](const RowSet& row) {
        QString text = u"Select * From OSTATOK Where O_KTO=%1 and O_GOD=%2  and O_MESIC=%3 and O_SCHET=%4 "_s;
        QVariantList values{row.value(u"O_KTO"_s), row.value(u"O_GOD"_s), row.value(u"O_MESIC"_s),
                            row.value(u"O_SCHET"_s)};
        if (!row.text(u"O_KASSA"_s).isEmpty()) {
            text += u"and O_KASSA=%5 "_s;
            values << row.value(u"O_KASSA"_s);
        }
        return Statement(text, values);
    };
    r.insert = &dm2_.Ins_Ostatok;
    r.update = &dm2_.Up_Ostatok;
    r.failureLine = [](const RowSet& row, bool inserting) {
        return (inserting ? u"Ошибка! Записи на ГлС Остатков O_SCHET="_s : u"Ошибка! Изменить на ГлС Остатков O_SCHET="_s)
            + row.text(u"O_SCHET"_s) + u" and O_DEBET="_s + row.text(u"O_DEBET"_s)
            + u" and O_KREDIT="_s + row.text(u"O_KREDIT"_s) + u" and MESIC="_s
            + row.text(u"O_MESIC"_s) + u" and O_GOD="_s + row.text(u"O_GOD"_s);
    };
    r.markSent = [](const RowSet& row) {
        return Statement(u"UpDate OSTATOK Set O_NEW_OLD='OLD' Where O_NID=%1 "_s, {row.value(u"O_NID"_s)});
    };
    copy_.walk(r);
}

} // namespace varid
