// Ticket extensions. At night the main database's extensions of the period are deleted
// first when it holds more of them than the branch, so that extensions removed at the
// branch disappear there too.
#include "transfer/transfer.h"

namespace varid {

void Transfer::Rec_Prodlenie()
{
    const QString kto = state_.branchCode();
    const Period days = state_.period();
    const QVariantList values{kto, days.start(), days.end()};
    const Statement period(QStringLiteral("SELECT * FROM PRODLENIE Where PRO_DATA Between%2 and %3 and PRO_KTO=%1 Order By PRO_DATA"), values);
    Query& sel = dm2_.Q5DM;
    RecordCopy::openWalk(sel, state_.incremental()
        ? Statement(QStringLiteral("SELECT * FROM PRODLENIE Where PRO_NEW_OLD='NEW' and PRO_KTO=%1 Order By PRO_DATA"), values)
        : period);
    state_.setBarMax(Bar::Prodlen, sel.rowCount());

    if (!state_.incremental()) {
        const int local = copy_.count(dm_.ADOC1, period);
        const int main = copy_.count(dm2_.ADOC2, period);
        if (local < main && copy_.mayReplace("продления", local, main, periodText())) {
            // A failed deletion is rolled back before the step ends.
            copy_.replacePeriod(dm2_.Del_PROD_ALL, [&](StoredProc& p) {
                p.set(QStringLiteral("@PRO_KTO"), kto);
                p.set(QStringLiteral("@PRO_DATA_C"), days.start());
                p.set(QStringLiteral("@PRO_DATA_PO"), days.end());
            }, false);
        }
    }

    CopyRecipe r;
    r.source = &sel;
    r.bar = Bar::Prodlen;
    r.keyColumns = {QStringLiteral("PRO_NID")};
    r.lookup = [](const RowSet& row) {
        return Statement(QStringLiteral("Select * From Prodlenie Where PRO_DATA=%1 and PRO_B_NID=%2 and PRO_KTO=%3 "),
                         {row.value(QStringLiteral("PRO_DATA")), row.value(QStringLiteral("PRO_B_NID")), row.value(QStringLiteral("PRO_KTO"))});
    };
    r.insert = &dm2_.Ins_Prodlenie;
    r.update = &dm2_.Up_Prodlenie;
    r.failureLine = [](const RowSet& row, bool inserting) {
        return (inserting ? QStringLiteral("Ошибка! Записи на ГлС продления PRO_B_NID=") : QStringLiteral("Ошибка! Изменения на ГлС продления PRO_B_NID="))
            + row.text(QStringLiteral("PRO_B_NID")) + QStringLiteral(" and PRO_DATA=") + row.text(QStringLiteral("PRO_DATA"))
            + QStringLiteral(" and PRO_SUMMA=") + row.text(QStringLiteral("PRO_SUMMA"));
    };
    r.markSent = [](const RowSet& row) {
        return Statement(QStringLiteral("UpDate PRODLENIE Set PRO_NEW_OLD='OLD' Where PRO_NID=%1 "), {row.value(QStringLiteral("PRO_NID"))});
    };
    copy_.walk(r);
}

} // namespace varid
