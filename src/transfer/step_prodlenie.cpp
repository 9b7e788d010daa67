// Ticket extensions. At night the main database's extensions of the period are deleted
// first when it holds more of them than the branch, so that extensions removed at the
// branch disappear there too.
#include "transfer/transfer.h"

namespace varid {

void Transfer::Rec_Prodlenie()
{
    const QString kto = state_.branchCode();
    const QString s = state_.period().startText();
    const QString e = state_.period().endText();
    const QString period = QStringLiteral("SELECT * FROM PRODLENIE Where PRO_DATA Between") + quoted(s) + QStringLiteral(" and ")
        + quoted(e) + QStringLiteral(" ") + QStringLiteral("and PRO_KTO=") + quoted(kto) + QStringLiteral(" ")
        + QStringLiteral("Order By PRO_DATA");
    Query& sel = dm2_.Q5DM;
    RecordCopy::openWalk(sel, state_.incremental()
        ? QStringLiteral("SELECT * FROM PRODLENIE Where PRO_NEW_OLD='NEW' and PRO_KTO=") + quoted(kto) + QStringLiteral(" ")
              + QStringLiteral("Order By PRO_DATA")
        : period);
    state_.setBarMax(Bar::Prodlen, sel.rowCount());

    if (!state_.incremental()) {
        const int local = copy_.count(dm_.ADOC1, period);
        const int main = copy_.count(dm2_.ADOC2, period);
        if (local < main && copy_.mayReplace("продления", local, main, periodText())) {
            // A failed deletion is rolled back before the step ends.
            copy_.replacePeriod(dm2_.Del_PROD_ALL, [&](StoredProc& p) {
                p.set(QStringLiteral("@PRO_KTO"), kto);
                p.set(QStringLiteral("@PRO_DATA_C"), s);
                p.set(QStringLiteral("@PRO_DATA_PO"), e);
            }, false);
        }
    }

    CopyRecipe r;
    r.source = &sel;
    r.bar = Bar::Prodlen;
    r.keyColumns = {QStringLiteral("PRO_NID")};
    r.lookup = [](const RowSet& row) {
        return QStringLiteral("Select * From Prodlenie Where PRO_DATA=") + quoted(row.text(QStringLiteral("PRO_DATA"))) + QStringLiteral(" ")
            + QStringLiteral("and PRO_B_NID=") + quoted(row.text(QStringLiteral("PRO_B_NID"))) + QStringLiteral(" ")
            + QStringLiteral("and PRO_KTO=") + quoted(row.text(QStringLiteral("PRO_KTO"))) + QStringLiteral(" ");
    };
    r.insert = &dm2_.Ins_Prodlenie;
    r.update = &dm2_.Up_Prodlenie;
    r.failureLine = [](const RowSet& row, bool inserting) {
        return (inserting ? QStringLiteral("Ошибка! Записи на ГлС продления PRO_B_NID=") : QStringLiteral("Ошибка! Изменения на ГлС продления PRO_B_NID="))
            + row.text(QStringLiteral("PRO_B_NID")) + QStringLiteral(" and PRO_DATA=") + row.text(QStringLiteral("PRO_DATA"))
            + QStringLiteral(" and PRO_SUMMA=") + row.text(QStringLiteral("PRO_SUMMA"));
    };
    r.markSent = [](const RowSet& row) {
        return QStringLiteral("UpDate PRODLENIE Set PRO_NEW_OLD='OLD' Where PRO_NID=") + quoted(row.text(QStringLiteral("PRO_NID"))) + QStringLiteral(" ");
    };
    copy_.walk(r);
}

} // namespace varid
