// Ticket extensions. At night the main database's extensions of the period are deleted
// first when it holds more of them than the branch, so that extensions removed at the
// branch disappear there too.
#include "transfer/transfer.h"

using namespace Qt::StringLiterals;

namespace varid {

void Transfer::Rec_Prodlenie()
{
    const QString kto = state_.branchCode();
    const Period days = state_.period();
    const QVariantList values{kto, days.start(), days.end()};
    const Statement period(u"SELECT * FROM PRODLENIE Where PRO_DATA Between%2 and %3 and PRO_KTO=%1 Order By PRO_DATA"_s, values);
    Query& sel = dm2_.Q5DM;
    RecordCopy::openWalk(sel, state_.incremental()
        ? Statement(u"SELECT * FROM PRODLENIE Where PRO_NEW_OLD='NEW' and PRO_KTO=%1 Order By PRO_DATA"_s, values)
        : period);
    state_.setBarMax(Bar::Prodlen, sel.rowCount());

    if (!state_.incremental()) {
        const int local = copy_.count(dm_.ADOC1, period);
        const int main = copy_.count(dm2_.ADOC2, period);
        if (local < main && copy_.mayReplace("продления", local, main, periodText())) {
            // A failed deletion is rolled back before the step ends.
            copy_.replacePeriod(dm2_.Del_PROD_ALL, [&](StoredProc& p) {
                p.set(u"@PRO_KTO"_s, kto);
                p.set(u"@PRO_DATA_C"_s, days.start());
                p.set(u"@PRO_DATA_PO"_s, days.end());
            }, false);
        }
    }

    CopyRecipe r;
    r.source = &sel;
    r.bar = Bar::Prodlen;
    r.keyColumns = {u"PRO_NID"_s};
    r.lookup = [](const RowSet& row) {
        return Statement(u"Select * From Prodlenie Where PRO_DATA=%1 and PRO_B_NID=%2 and PRO_KTO=%3 "_s,
                         {row.value(u"PRO_DATA"_s), row.value(u"PRO_B_NID"_s), row.value(u"PRO_KTO"_s)});
    };
    r.insert = &dm2_.Ins_Prodlenie;
    r.update = &dm2_.Up_Prodlenie;
    r.failureLine = [](const RowSet& row, bool inserting) {
        return (inserting ? u"Ошибка! Записи на ГлС продления PRO_B_NID="_s : u"Ошибка! Изменения на ГлС продления PRO_B_NID="_s)
            + row.text(u"PRO_B_NID"_s) + u" and PRO_DATA="_s + row.text(u"PRO_DATA"_s)
            + u" and PRO_SUMMA="_s + row.text(u"PRO_SUMMA"_s);
    };
    r.markSent = [](const RowSet& row) {
        return Statement(u"UpDate PRODLENIE Set PRO_NEW_OLD='OLD' Where PRO_NID=%1 "_s, {row.value(u"PRO_NID"_s)});
    };
    copy_.walk(r);
}

} // namespace varid
