// Advance reports, then their lines, then the reports' marks. The line selection is taken
// right after the reports', before any report is marked, so that by day the lines of exactly
// the reports sent in this run go out with them. Lines replace the main database's lines of
// their report; a report stays "NEW" until its lines have gone.
#include "transfer/transfer.h"

namespace varid {

void Transfer::Rec_Avans()
{
    const QString kto = quoted(state_.branchCode());
    const QString s = state_.period().startText();
    const QString e = state_.period().endText();
    Query& sel = dm2_.Q1DM;
    RecordCopy::openWalk(sel, state_.incremental()
        ? QStringLiteral("SELECT * FROM AVANS Where AV_NEW_OLD= 'NEW' and AV_KTO=") + kto + QStringLiteral("  ")
              + QStringLiteral("Order By AV_DATA, AV_NOMER ")
        : QStringLiteral("SELECT * FROM AVANS Where AV_DATA Between") + quoted(s) + QStringLiteral(" and ") + quoted(e)
              + QStringLiteral(" ") + QStringLiteral("and AV_KTO=") + kto + QStringLiteral("  ") + QStringLiteral("Order By AV_DATA, AV_NOMER "));

    // The lines, in a row set of their own, read while every report still has its marker.
    Query lines(dm_.ADOC1);
    RecordCopy::openWalk(lines, state_.incremental()
        ? QStringLiteral("SELECT * FROM AVANS_LINE Where  AVL_AV_NID in (Select AV_NID From AVANS Where AV_NEW_OLD='NEW' and AV_KTO=")
              + kto + QStringLiteral(" ) ") + QStringLiteral("Order By AVL_DATA, AVL_NOMER")
        : QStringLiteral("SELECT * FROM AVANS_LINE Where  AVL_AV_NID in (Select AV_NID From AVANS Where AV_DATA Between") + quoted(s)
              + QStringLiteral(" and ") + quoted(e) + QStringLiteral(" ") + QStringLiteral("and AV_KTO=") + kto + QStringLiteral(" ) ")
              + QStringLiteral("Order By AVL_DATA, AVL_NOMER"));
    state_.setBarMax(Bar::Avans, sel.rowCount());

    CopyRecipe r;
    r.source = &sel;
    r.bar = Bar::Avans;
    r.keyColumns = {QStringLiteral("AV_NID")};
    r.ensureOpen = false;
    r.lookup = [](const RowSet& row) {
        return QStringLiteral("Select * From AVANS Where AV_KTO=") + quoted(row.text(QStringLiteral("AV_KTO"))) + QStringLiteral(" ")
            + QStringLiteral("and AV_NID=") + quoted(row.text(QStringLiteral("AV_NID"))) + QStringLiteral(" ")
            + QStringLiteral("and AV_DATA=") + quoted(row.text(QStringLiteral("AV_DATA"))) + QStringLiteral(" ")
            + QStringLiteral("and AV_NOMER=") + quoted(row.text(QStringLiteral("AV_NOMER"))) + QStringLiteral("  ");
    };
    r.insert = &dm2_.Ins_Avans;
    r.update = &dm2_.Up_Avans;
    r.failureLine = [](const RowSet& row, bool inserting) {
        return (inserting ? QStringLiteral("Ошибка! Записи на ГлС АО AV_NID=") : QStringLiteral("Ошибка! Изменения на ГлС АО AV_NID="))
            + row.text(QStringLiteral("AV_NID")) + QStringLiteral(" and AV_DATA=") + row.text(QStringLiteral("AV_DATA"))
            + QStringLiteral(" and AV_NOMER=") + row.text(QStringLiteral("AV_NOMER"));
    };
    r.markSent = [](const RowSet& row) {
        return QStringLiteral("UpDate AVANS Set AV_NEW_OLD='OLD' Where AV_NID=") + quoted(row.text(QStringLiteral("AV_NID"))) + QStringLiteral(" ");
    };
    // A report is marked once its lines have gone.
    QStringList marks;
    r.deferMarks = &marks;
    copy_.walk(r);

    Rec_Avans_Line(lines);
    copy_.markAll(marks);
}

// Every selected line's report loses its main lines, then every selected line goes in.
void Transfer::Rec_Avans_Line(Query& lines)
{
    ChildRecipe c;
    c.bar = Bar::AV_Line;
    c.remove = &dm2_.Del_Avans_Line;
    c.insert = &dm2_.Ins_Avans_Line;
    c.sets << ChildSet{&lines, [](const RowSet& row) {
        return QStringLiteral("Ошибка! Записи на ГлС АО строки AVL_AV_NID=") + row.text(QStringLiteral("AVL_AV_NID"))
            + QStringLiteral(" and AVL_DATA=") + row.text(QStringLiteral("AVL_DATA")) + QStringLiteral(" and AVL_NOMER=")
            + row.text(QStringLiteral("AVL_NOMER"));
    }};
    copy_.replaceChildren(c);
}

} // namespace varid
