// Sales of forfeited pledges, both ways: the branch's own sales go up, the sales other
// branches address to it come down, and a sending branch it does not know yet is
// registered in its KTO as inactive. Rows are matched by their sales key REA_KEY.
#include "transfer/transfer.h"

#include "transfer/texts.h"

namespace varid {

namespace {
Statement keyLookup(const RowSet& row)
{
    return Statement(QStringLiteral("Select * From REALIZ Where REA_KEY=%1  "), {row.value(QStringLiteral("REA_KEY"))});
}

QString failure(const RowSet& row, bool inserting)
{
    return (inserting ? QStringLiteral("Ошибка! Записи на ГлС Реализации REA_KEY=") : QStringLiteral("Ошибка! Изменения на ГлС Реализации REA_KEY="))
        + row.text(QStringLiteral("REA_KEY")) + QStringLiteral(" and REA_DATA=") + row.text(QStringLiteral("REA_DATA"))
        + QStringLiteral(" and REA_NOMER=") + row.text(QStringLiteral("REA_NOMER"));
}
} // namespace

void Transfer::Rec_Realiz()
{
    const QString kto = state_.branchCode();
    const Period period = state_.period();

    // Every row without a sales key gets one: its branch code followed by its identifier.
    copy_.execLocal(QStringLiteral("Update REALIZ Set REA_KEY=REA_KTO+REA_NID Where REA_KEY is NULL "));

    // %1 the branch; %2 and %3 the period's days.
    const QString order = QStringLiteral("Order By REA_DATA, REA_NOMER ");
    const QString inPeriod = QStringLiteral("(REA_DATA Between%2 and %3 or REA_DATA_REAL Between%2 and %3) ");
    const QVariantList values{kto, period.start(), period.end()};
    const Statement own(state_.incremental()
        ? QStringLiteral("SELECT * FROM REALIZ Where REA_NEW_OLD='NEW' and REA_KTO=%1 ") + order
        : QStringLiteral("SELECT * FROM REALIZ Where ") + inPeriod + QStringLiteral("and REA_KTO=%1 ") + order, values);
    const Statement incoming(state_.incremental()
        ? QStringLiteral("SELECT * FROM REALIZ Where REA_NEW_OLD='NEW' and REA_KTO<>%1 and REA_IMPORT=%1 ") + order
        : QStringLiteral("SELECT * FROM REALIZ Where ") + inPeriod + QStringLiteral("and REA_KTO<>%1 and REA_IMPORT=%1 ") + order, values);
    Query& ownSet = dm2_.Q1DM;
    Query& incomingSet = dm2_.Q2;
    RecordCopy::openWalk(ownSet, own);
    RecordCopy::openWalk(incomingSet, incoming);

    const int mainOwn = state_.incremental() ? 0 : copy_.count(dm2_.ADOC2, own);
    if (!state_.incremental() && mainOwn > ownSet.rowCount() && copy_.mayReplace("реализация", ownSet.rowCount(), mainOwn, periodText())) {
        copy_.replacePeriod(dm2_.Del_Real_All, [&](StoredProc& p) {
            p.set(QStringLiteral("@REA_DATA_C"), period.start());
            p.set(QStringLiteral("@REA_DATA_PO"), period.end());
            p.set(QStringLiteral("@REA_KTO"), state_.branchCode());
        }, true); // rolled back and passed over
    }

    state_.setBarMax(Bar::Real, ownSet.rowCount() + incomingSet.rowCount());
    int trace = 1;

    CopyRecipe up;
    up.source = &ownSet;
    up.bar = Bar::Real;
    up.keyColumns = {QStringLiteral("REA_KEY")};
    up.lookup = keyLookup;
    up.afterLookup = [&](const RowSet& row, int found) {
        state_.addLine(QString::number(trace) + QStringLiteral("  ") + row.text(QStringLiteral("REA_KEY")) + QStringLiteral("   ")
                       + keyLookup(row).text() + QStringLiteral("\n") + QStringLiteral(" statys ") + QString::number(found));
        ++trace;
    };
    up.insert = &dm2_.Ins_Realiz;
    up.update = &dm2_.Up_Realiz;
    up.updateWhen = [](const RowSet& found) { return found.text(QStringLiteral("REA_NEW_OLD")) != texts::yes; };
    up.ensureOpen = false;
    up.failureLine = failure;
    up.markRow = [](RowSet& row) {
        row.edit();
        row.set(QStringLiteral("REA_NEW_OLD"), QStringLiteral("OLD"));
        row.post();
    };
    copy_.walk(up);

    CopyRecipe down;
    down.source = &incomingSet;
    down.direction = Direction::Down;
    down.bar = Bar::Real;
    down.barOffset = ownSet.rowCount();
    down.keyColumns = {QStringLiteral("REA_KEY")};
    down.lookup = keyLookup;
    down.insert = &dm_.Ins_Realiz;
    down.update = &dm_.Up_Realiz;
    // A local copy still unsold is left as it is.
    down.updateWhen = [](const RowSet& found) { return !found.text(QStringLiteral("REA_DATA_REAL")).isEmpty(); };
    down.ensureOpen = false;
    // The sending branch is registered with the sale's insertion only: an update of a sale
    // already here neither registers it nor fails for it.
    down.alsoInTransaction = [this](const RowSet& row, bool inserting) {
        if (inserting)
            registerBranch(row.text(QStringLiteral("REA_KTO")));
    };
    down.failureLine = failure;
    copy_.walk(down);
}

// A branch that first appears in an incoming sale joins the local KTO as inactive, so the
// branch's own row stays the only "ДА" row.
void Transfer::registerBranch(const QString& code)
{
    const QString text = QStringLiteral("KTO Where KTO_KOD=%1 ");
    RecordCopy::openQuery(dm_.Q3, Statement(QStringLiteral("Select * FROM ") + text, {code}));
    if (dm_.Q3.rowCount() > 0)
        return;
    Query& mainRow = dm2_.Q7;
    RecordCopy::openQuery(mainRow, Statement(QStringLiteral("SELECT * FROM ") + text, {code}));
    Query& local = dm2_.Q3DM;
    RecordCopy::openQuery(local, Statement(QStringLiteral("SELECT * FROM ") + text, {code}));
    if (local.rowCount() > 0)
        return;
    // Without a main row there is nothing to register: an empty name and code would be a
    // corrupt row. The incoming sale is kept all the same.
    if (mainRow.rowCount() == 0)
        return;
    local.insert();
    local.set(QStringLiteral("KTO_NAME"), mainRow.text(QStringLiteral("KTO_NAME")));
    local.set(QStringLiteral("KTO_KOD"), mainRow.text(QStringLiteral("KTO_KOD")));
    local.set(QStringLiteral("KTO_ACTIV"), texts::no);
    local.post();
}

} // namespace varid
