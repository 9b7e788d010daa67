// Sales of forfeited pledges, both ways: the branch's own sales go up, the sales other
// branches address to it come down, and a sending branch it does not know yet is
// registered in its KTO as inactive. Rows are matched by their sales key REA_KEY.
#include "transfer/transfer.h"

#include "transfer/texts.h"

using namespace Qt::StringLiterals;

namespace varid {

namespace {
Statement keyLookup(const RowSet& row)
{
    return Statement(u"Select * From REALIZ Where REA_KEY=%1  "_s, {row.value(u"REA_KEY"_s)});
}

QString failure(const RowSet& row, bool inserting)
{
    return (inserting ? u"Ошибка! Записи на ГлС Реализации REA_KEY="_s : u"Ошибка! Изменения на ГлС Реализации REA_KEY="_s)
        + row.text(u"REA_KEY"_s) + u" and REA_DATA="_s + row.text(u"REA_DATA"_s)
        + u" and REA_NOMER="_s + row.text(u"REA_NOMER"_s);
}
} // namespace

void Transfer::Rec_Realiz()
{
    const QString kto = state_.branchCode();
    const Period period = state_.period();

    // Every row without a sales key gets one: its branch code followed by its identifier.
    copy_.execLocal(u"Update REALIZ Set REA_KEY=REA_KTO+REA_NID Where REA_KEY is NULL "_s);

    // %1 the branch; %2 and %3 the period's days.
    const QString order = u"Order By REA_DATA, REA_NOMER "_s;
    const QString inPeriod = u"(REA_DATA Between%2 and %3 or REA_DATA_REAL Between%2 and %3) "_s;
    const QVariantList values{kto, period.start(), period.end()};
    const Statement own(state_.incremental()
        ? u"SELECT * FROM REALIZ Where REA_NEW_OLD='NEW' and REA_KTO=%1 "_s + order
        : u"SELECT * FROM REALIZ Where "_s + inPeriod + u"and REA_KTO=%1 "_s + order, values);
    const Statement incoming(state_.incremental()
        ? u"SELECT * FROM REALIZ Where REA_NEW_OLD='NEW' and REA_KTO<>%1 and REA_IMPORT=%1 "_s + order
        : u"SELECT * FROM REALIZ Where "_s + inPeriod + u"and REA_KTO<>%1 and REA_IMPORT=%1 "_s + order, values);
    Query& ownSet = dm2_.Q1DM;
    Query& incomingSet = dm2_.Q2;
    RecordCopy::openWalk(ownSet, own);
    RecordCopy::openWalk(incomingSet, incoming);

    const int mainOwn = state_.incremental() ? 0 : copy_.count(dm2_.ADOC2, own);
    if (!state_.incremental() && mainOwn > ownSet.rowCount() && copy_.mayReplace("реализация", ownSet.rowCount(), mainOwn, periodText())) {
        copy_.replacePeriod(dm2_.Del_Real_All, [&](StoredProc& p) {
            p.set(u"@REA_DATA_C"_s, period.start());
            p.set(u"@REA_DATA_PO"_s, period.end());
            p.set(u"@REA_KTO"_s, state_.branchCode());
        }, true); // rolled back and passed over
    }

    state_.setBarMax(Bar::Real, ownSet.rowCount() + incomingSet.rowCount());
    int trace = 1;

    CopyRecipe up;
    up.source = &ownSet;
    up.bar = Bar::Real;
    up.keyColumns = {u"REA_KEY"_s};
    up.lookup = keyLookup;
    up.afterLookup = [&](const RowSet& row, int found) {
        state_.addLine(QString::number(trace) + u"  "_s + row.text(u"REA_KEY"_s) + u"   "_s
                       + keyLookup(row).text() + u"\n"_s + u" statys "_s + QString::number(found));
        ++trace;
    };
    up.insert = &dm2_.Ins_Realiz;
    up.update = &dm2_.Up_Realiz;
    up.updateWhen = [](const RowSet& found) { return found.text(u"REA_NEW_OLD"_s) != texts::yes; };
    up.ensureOpen = false;
    up.failureLine = failure;
    up.markRow = [](RowSet& row) {
        row.edit();
        row.set(u"REA_NEW_OLD"_s, u"OLD"_s);
        row.post();
    };
    copy_.walk(up);

    CopyRecipe down;
    down.source = &incomingSet;
    down.direction = Direction::Down;
    down.bar = Bar::Real;
    down.barOffset = ownSet.rowCount();
    down.keyColumns = {u"REA_KEY"_s};
    down.lookup = keyLookup;
    down.insert = &dm_.Ins_Realiz;
    down.update = &dm_.Up_Realiz;
    // A local copy still unsold is left as it is.
    down.updateWhen = [](const RowSet& found) { return !found.text(u"REA_DATA_REAL"_s).isEmpty(); };
    down.ensureOpen = false;
    // The sending branch is registered with the sale's insertion only: an update of a sale
    // already here neither registers it nor fails for it.
    down.alsoInTransaction = [this](const RowSet& row, bool inserting) {
        if (inserting)
            registerBranch(row.text(u"REA_KTO"_s));
    };
    down.failureLine = failure;
    copy_.walk(down);
}

// A branch that first appears in an incoming sale joins the local KTO as inactive, so the
// branch's own row stays the only "ДА" row.
void Transfer::registerBranch(const QString& code)
{
    const QString text = u"KTO Where KTO_KOD=%1 "_s;
    RecordCopy::openQuery(dm_.Q3, Statement(u"Select * FROM "_s + text, {code}));
    if (dm_.Q3.rowCount() > 0)
        return;
    Query& mainRow = dm2_.Q7;
    RecordCopy::openQuery(mainRow, Statement(u"SELECT * FROM "_s + text, {code}));
    Query& local = dm2_.Q3DM;
    RecordCopy::openQuery(local, Statement(u"SELECT * FROM "_s + text, {code}));
    if (local.rowCount() > 0)
        return;
    // Without a main row there is nothing to register: an empty name and code would be a
    // corrupt row. The incoming sale is kept all the same.
    if (mainRow.rowCount() == 0)
        return;
    local.insert();
    local.set(u"KTO_NAME"_s, mainRow.text(u"KTO_NAME"_s));
    local.set(u"KTO_KOD"_s, mainRow.text(u"KTO_KOD"_s));
    local.set(u"KTO_ACTIV"_s, texts::no);
    local.post();
}

} // namespace varid
