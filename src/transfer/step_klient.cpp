// Clients: every client that the branch's new (or, at night, recent) tickets, ledger
// entries and advance reports refer to is put on the main database when missing there;
// a non-empty note that differs on the main database comes back to the branch.
#include "transfer/transfer.h"

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

QString selectionPeriod(const QString& start, const QString& end)
{
    const QString s = sqlValue(start);
    const QString e = sqlValue(end);
    return QStringLiteral("SELECT * FROM KLIENT Where K_NID In(SELECT B_K_NID From BILET WHERE B_DATA Between '") + s + QStringLiteral("' and '") + e + QStringLiteral("') ")
        + QStringLiteral("or K_NID In(SELECT B_K_NID From BILET WHERE B_DATA_VIK Between '") + s + QStringLiteral("' and '") + e + QStringLiteral("') ")
        + QStringLiteral("or K_NID In(SELECT G_A_DT From GL_BOOK WHERE G_DATA Between '") + s + QStringLiteral("' and '") + e + QStringLiteral("') ")
        + QStringLiteral("or K_NID In(SELECT G_A_KT From GL_BOOK WHERE G_DATA Between '") + s + QStringLiteral("' and '") + e + QStringLiteral("') ")
        + QStringLiteral("or K_NID In(SELECT AV_PERSON From AVANS WHERE AV_DATA Between '") + s + QStringLiteral("' and '") + e + QStringLiteral("') ")
        + QStringLiteral("or K_NID In(SELECT AVL_K_NID From AVANS_LINE WHERE AVL_AV_NID In ")
        + QStringLiteral("(SELECT AV_NID From AVANS WHERE AV_DATA Between '") + s + QStringLiteral("' and '") + e + QStringLiteral("')) ")
        + QStringLiteral("Order By K_FIO  ");
}

} // namespace

void Transfer::Rec_Klient()
{
    Query& sel = dm_.Q1;
    RecordCopy::openWalk(sel, state_.incremental()
        ? selectionIncremental()
        : selectionPeriod(state_.period().startText(), state_.period().endText()));
    state_.setBarMax(Bar::Klient, sel.rowCount());

    CopyRecipe r;
    r.source = &sel;
    r.bar = Bar::Klient;
    r.keyColumns = {QStringLiteral("K_NID")};
    r.lookup = [](const RowSet& row) {
        return QStringLiteral("Select * FROM KLIENT Where K_NID=") + quoted(row.text(QStringLiteral("K_NID"))) + QStringLiteral(" ");
    };
    r.insert = &dm2_.Ins_Klient;
    r.update = nullptr; // a client already on the main database is not changed there
    r.form = Form::Text;
    r.failureLine = [](const RowSet& row, bool) {
        return QStringLiteral("Ошибка! Записи на ГлС Клиента K_NID=") + row.text(QStringLiteral("K_NID"))
            + QStringLiteral(" and K_FIO=") + row.text(QStringLiteral("K_FIO"))
            + QStringLiteral(" and K_NOMER=") + row.text(QStringLiteral("K_NOMER"));
    };
    // The note travels back: a non-empty main note that differs replaces the local one.
    r.onFound = [this](const RowSet& row, const RowSet& found) {
        const QString note = found.text(QStringLiteral("K_PROCHEE"));
        if (note.isEmpty() || note == row.text(QStringLiteral("K_PROCHEE")))
            return;
        // One statement on the client's own row: nothing when the branch no longer has it.
        copy_.execLocal(QStringLiteral("Update KLIENT Set K_PROCHEE=") + quoted(note)
                        + QStringLiteral(" Where K_NID=") + quoted(row.text(QStringLiteral("K_NID"))));
    };
    copy_.walk(r);
}

} // namespace varid
