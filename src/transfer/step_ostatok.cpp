// Monthly account balances. Balances are kept by month, so at night the period becomes a
// range of years and months; a range whose balances differ between the two databases (more
// rows on the main one, or as many rows with other totals) is replaced there as a whole.
#include "transfer/transfer.h"

#include "data/values.h"

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

    const QString kto = quoted(state_.branchCode());
    Query& sel = dm2_.Q1DM;
    const QString order = QStringLiteral("Order By O_MESIC, O_SCHET");
    if (state_.incremental()) {
        RecordCopy::openWalk(sel, QStringLiteral("SELECT * FROM OSTATOK Where O_NEW_OLD='NEW' and O_KTO=") + kto + QStringLiteral(" ") + order);
    } else {
        const bool oneYear = startYear == endYear;
        const QString range = oneYear
            ? QStringLiteral("O_GOD=") + quoted(startYear) + QStringLiteral(" and O_MESIC BETWEEN ") + quoted(startMonth)
                  + QStringLiteral(" and ") + quoted(endMonth) + QStringLiteral(" ")
            : QStringLiteral("O_GOD Between") + quoted(startYear) + QStringLiteral(" and ") + quoted(endYear) + QStringLiteral(" ");
        // Within one year the local texts end the branch code with two blanks, the main ones with one.
        const QString localEnd = oneYear ? QStringLiteral("  ") : QStringLiteral(" ");
        const QString rows = QStringLiteral("SELECT * FROM OSTATOK Where ") + range + QStringLiteral("and O_KTO=") + kto;
        const QString sums = QStringLiteral("SELECT COUNT(O_NID) as O_KOL, SUM(O_DEBET)+SUM(O_KREDIT) as O_SUMMA FROM OSTATOK Where ")
            + range + QStringLiteral("and O_KTO=") + kto;
        RecordCopy::openWalk(sel, rows + localEnd + order);
        const int mainRows = copy_.count(dm2_.ADOC2, rows + QStringLiteral(" ") + order);
        const PeriodTotals local = copy_.totals(dm_.ADOC1, sums + localEnd, QStringLiteral("O_KOL"), QStringLiteral("O_SUMMA"));
        const PeriodTotals main = copy_.totals(dm2_.ADOC2, sums + QStringLiteral(" "), QStringLiteral("O_KOL"), QStringLiteral("O_SUMMA"));
        const QString deletion = oneYear
            ? QStringLiteral("Delete FROM OSTATOK Where O_KTO=") + kto + QStringLiteral(" ") + QStringLiteral("and O_GOD=") + quoted(startYear)
                  + QStringLiteral(" and O_MESIC BETWEEN ") + quoted(startMonth) + QStringLiteral(" and ") + quoted(endMonth) + QStringLiteral(" ")
            : QStringLiteral("Delete FROM OSTATOK Where O_KTO=") + kto + QStringLiteral(" ") + QStringLiteral("and O_GOD Between")
                  + quoted(startYear) + QStringLiteral(" and ") + quoted(endYear) + QStringLiteral(" ");
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
    r.keyColumns = {QStringLiteral("O_NID")};
    r.ensureOpen = false; // this step does not first open the main connection
    r.lookup = [](const RowSet& row) {
        QString text = QStringLiteral("Select * From OSTATOK Where O_KTO=") + quoted(row.text(QStringLiteral("O_KTO"))) + QStringLiteral(" ")
            + QStringLiteral("and O_GOD=") + quoted(row.text(QStringLiteral("O_GOD"))) + QStringLiteral("  ")
            + QStringLiteral("and O_MESIC=") + quoted(row.text(QStringLiteral("O_MESIC"))) + QStringLiteral(" ")
            + QStringLiteral("and O_SCHET=") + quoted(row.text(QStringLiteral("O_SCHET"))) + QStringLiteral(" ");
        const QString kassa = row.text(QStringLiteral("O_KASSA"));
        if (!kassa.isEmpty())
            text += QStringLiteral("and O_KASSA=") + quoted(kassa) + QStringLiteral(" ");
        return text;
    };
    r.insert = &dm2_.Ins_Ostatok;
    r.update = &dm2_.Up_Ostatok;
    r.failureLine = [](const RowSet& row, bool inserting) {
        return (inserting ? QStringLiteral("Ошибка! Записи на ГлС Остатков O_SCHET=") : QStringLiteral("Ошибка! Изменить на ГлС Остатков O_SCHET="))
            + row.text(QStringLiteral("O_SCHET")) + QStringLiteral(" and O_DEBET=") + row.text(QStringLiteral("O_DEBET"))
            + QStringLiteral(" and O_KREDIT=") + row.text(QStringLiteral("O_KREDIT")) + QStringLiteral(" and MESIC=")
            + row.text(QStringLiteral("O_MESIC")) + QStringLiteral(" and O_GOD=") + row.text(QStringLiteral("O_GOD"));
    };
    r.markSent = [](const RowSet& row) {
        return QStringLiteral("UpDate OSTATOK Set O_NEW_OLD='OLD' Where O_NID=") + quoted(row.text(QStringLiteral("O_NID"))) + QStringLiteral(" ");
    };
    copy_.walk(r);
}

} // namespace varid
