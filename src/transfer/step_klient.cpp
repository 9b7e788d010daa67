// Clients: every client that the branch's new (or, at night, recent) tickets, ledger
// entries and advance reports refer to is put on the main database when missing there;
// a non-empty note that differs on the main database comes back to the branch.
#include "transfer/transfer.h"

using namespace Qt::StringLiterals;

namespace varid {

namespace {

QString selectionIncremental()
{
    return QStringLiteral(
        "SELECT * FROM KLIENT Where K_NID In(SELECT B_K_NID From BILET WHERE B_NEW_OLD='NEW') "
        "or K_NID In(SELECT G_A_DT From GL_BOOK WHERE G_NEW_OLD='NEW') "
        "or K_NID In(SELECT G_A_KT From GL_BOOK WHERE G_NEW_OLD='NEW') "
        "or K_NID In(SELECT AV_PERSON From AVANS WHERE AV_NEW_OLD='NEW') "
        "or K_NID In(SELECT AVL_K_NID From AVANS_LINE WHERE AVL_AV_NID In (SELECT AV_NID From AVANS WHERE AV_NEW_OLD='NEW')) "
        "Order By K_FIO ");
}

Statement selectionPeriod(const Period& p)
{
    return Statement(QStringLiteral(
        "SELECT * FROM KLIENT Where K_NID In(SELECT B_K_NID From BILET WHERE B_DATA Between %1 and %2) "
        "or K_NID In(SELECT B_K_NID From BILET WHERE B_DATA_VIK Between %1 and %2) "
        "or K_NID In(SELECT G_A_DT From GL_BOOK WHERE G_DATA Between %1 and %2) "
        "or K_NID In(SELECT G_A_KT From GL_BOOK WHERE G_DATA Between %1 and %2) "
        "or K_NID In(SELECT AV_PERSON From AVANS WHERE AV_DATA Between %1 and %2) "
        "or K_NID In(SELECT AVL_K_NID From AVANS_LINE WHERE AVL_AV_NID In "
        "(SELECT AV_NID From AVANS WHERE AV_DATA Between %1 and %2)) "
        "Order By K_FIO  "), {p.start(), p.end()});
}

} // namespace

void Transfer::Rec_Klient()
{
    Query& sel = dm_.Q1;
    RecordCopy::openWalk(sel, state_.incremental()
        ? Statement(selectionIncremental())
        : selectionPeriod(state_.period()));
    state_.setBarMax(Bar::Klient, sel.rowCount());

    CopyRecipe r;
    r.source = &sel;
    r.bar = Bar::Klient;
    r.keyColumns = {u"K_NID"_s};
    r.lookup = [](const RowSet& row) {
        return Statement(u"Select * FROM KLIENT Where K_NID=%1 "_s, {row.value(u"K_NID"_s)});
    };
    r.insert = &dm2_.Ins_Klient;
    r.update = nullptr; // a client already on the main database is not changed there
    r.form = Form::Text;
    r.failureLine = [](const RowSet& row, bool) {
        return u"Ошибка! Записи на ГлС Клиента K_NID="_s + row.text(u"K_NID"_s)
            + u" and K_FIO="_s + row.text(u"K_FIO"_s)
            + u" and K_NOMER="_s + row.text(u"K_NOMER"_s);
    };
    // The note travels back: a non-empty main note that differs replaces the local one.
    r.onFound = [this](const RowSet& row, const RowSet& found) {
        const QString note = found.text(u"K_PROCHEE"_s);
        if (note.isEmpty() || note == row.text(u"K_PROCHEE"_s))
            return;
        // One statement on the client's own row: nothing when the branch no longer has it.
        copy_.execLocal(Statement(u"Update KLIENT Set K_PROCHEE=%1 Where K_NID=%2"_s,
                                  {note, row.value(u"K_NID"_s)}));
    };
    copy_.walk(r);
}

} // namespace varid
