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

    // %1 the branch; %2 and %3 the period's years, %4 and %5 its months.
    const QVariantList values{state_.branchCode(), startYear, endYear, startMonth, endMonth};
    const auto statement = [&values](const QString& sql) { return Statement(sql, values); };
    Query& sel = dm2_.Q1DM;
    const QString order = QStringLiteral("Order By O_MESIC, O_SCHET");
    if (state_.incremental()) {
        RecordCopy::openWalk(sel, statement(QStringLiteral("SELECT * FROM OSTATOK Where O_NEW_OLD='NEW' and O_KTO=%1 ") + order));
    } else {
        const bool oneYear = startYear == endYear;
        const QString range = oneYear ? QStringLiteral("O_GOD=%2 and O_MESIC BETWEEN %4 and %5 ") : QStringLiteral("O_GOD Between%2 and %3 ");
        // Within one year the local texts end the branch code with two blanks, the main ones with one.
        const QString localEnd = oneYear ? QStringLiteral("  ") : QStringLiteral(" ");
        const QString rows = QStringLiteral("SELECT * FROM OSTATOK Where ") + range + QStringLiteral("and O_KTO=%1");
        const QString sums = QStringLiteral("SELECT COUNT(O_NID) as O_KOL, SUM(O_DEBET)+SUM(O_KREDIT) as O_SUMMA FROM OSTATOK Where ")
            + range + QStringLiteral("and O_KTO=%1");
        RecordCopy::openWalk(sel, statement(rows + localEnd + order));
        const int mainRows = copy_.count(dm2_.ADOC2, statement(rows + QStringLiteral(" ") + order));
        const PeriodTotals local = copy_.totals(dm_.ADOC1, statement(sums + localEnd), QStringLiteral("O_KOL"), QStringLiteral("O_SUMMA"));
        const PeriodTotals main = copy_.totals(dm2_.ADOC2, statement(sums + QStringLiteral(" ")), QStringLiteral("O_KOL"), QStringLiteral("O_SUMMA"));
        const Statement deletion = statement(oneYear
            ? QStringLiteral("Delete FROM OSTATOK Where O_KTO=%1 and O_GOD=%2 and O_MESIC BETWEEN %4 and %5 ")
            : QStringLiteral("Delete FROM OSTATOK Where O_KTO=%1 and O_GOD Between%2 and %3 "));
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
        QString text = QStringLiteral("Select * From OSTATOK Where O_KTO=%1 and O_GOD=%2  and O_MESIC=%3 and O_SCHET=%4 ");
        QVariantList values{row.value(QStringLiteral("O_KTO")), row.value(QStringLiteral("O_GOD")), row.value(QStringLiteral("O_MESIC")),
                            row.value(QStringLiteral("O_SCHET"))};
        if (!row.text(QStringLiteral("O_KASSA")).isEmpty()) {
            text += QStringLiteral("and O_KASSA=%5 ");
            values << row.value(QStringLiteral("O_KASSA"));
        }
        return Statement(text, values);
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
        return Statement(QStringLiteral("UpDate OSTATOK Set O_NEW_OLD='OLD' Where O_NID=%1 "), {row.value(QStringLiteral("O_NID"))});
    };
    copy_.walk(r);
}

} // namespace varid
