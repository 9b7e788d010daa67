// Advance reports, then their lines, then the reports' marks. The line selection is taken
// right after the reports', before any report is marked, so that by day the lines of exactly
// the reports sent in this run go out with them. Lines replace the main database's lines of
// their report; a report stays "NEW" until its lines have gone.
#include "transfer/transfer.h"

using namespace Qt::StringLiterals;

namespace varid {

void Transfer::Rec_Avans()
{
    // %1 the branch; %2 and %3 the period's days.
    const QVariantList values{state_.branchCode(), state_.period().start(), state_.period().end()};
    Query& sel = dm2_.Q1DM;
    RecordCopy::openWalk(sel, Statement(state_.incremental()
        ? u"SELECT * FROM AVANS Where AV_NEW_OLD= 'NEW' and AV_KTO=%1  Order By AV_DATA, AV_NOMER "_s
        : u"SELECT * FROM AVANS Where AV_DATA Between%2 and %3 and AV_KTO=%1  Order By AV_DATA, AV_NOMER "_s, values));

    // The lines, in a row set of their own, read while every report still has its marker.
    Query lines(dm_.ADOC1);
    RecordCopy::openWalk(lines, Statement(state_.incremental()
        ? QStringLiteral("SELECT * FROM AVANS_LINE Where  AVL_AV_NID in (Select AV_NID From AVANS Where AV_NEW_OLD='NEW' and AV_KTO=%1 ) "
                         "Order By AVL_DATA, AVL_NOMER")
        : QStringLiteral("SELECT * FROM AVANS_LINE Where  AVL_AV_NID in (Select AV_NID From AVANS Where AV_DATA Between%2 and %3 "
                         "and AV_KTO=%1 ) Order By AVL_DATA, AVL_NOMER"), values));
    state_.setBarMax(Bar::Avans, sel.rowCount());

    CopyRecipe r;
    r.source = &sel;
    r.bar = Bar::Avans;
    r.keyColumns = {u"AV_NID"_s};
    r.ensureOpen = false;
    r.lookup = [](const RowSet& row) {
        return Statement(u"Select * From AVANS Where AV_KTO=%1 and AV_NID=%2 and AV_DATA=%3 and AV_NOMER=%4  "_s,
                         {row.value(u"AV_KTO"_s), row.value(u"AV_NID"_s), row.value(u"AV_DATA"_s),
                          row.value(u"AV_NOMER"_s)});
    };
    r.insert = &dm2_.Ins_Avans;
    r.update = &dm2_.Up_Avans;
    r.failureLine = [](const RowSet& row, bool inserting) {
        return (inserting ? u"Ошибка! Записи на ГлС АО AV_NID="_s : u"Ошибка! Изменения на ГлС АО AV_NID="_s)
            + row.text(u"AV_NID"_s) + u" and AV_DATA="_s + row.text(u"AV_DATA"_s)
            + u" and AV_NOMER="_s + row.text(u"AV_NOMER"_s);
    };
    r.markSent = [](const RowSet& row) {
        return Statement(u"UpDate AVANS Set AV_NEW_OLD='OLD' Where AV_NID=%1 "_s, {row.value(u"AV_NID"_s)});
    };
    // A report is marked once its lines have gone.
    DeferredMarks marks;
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
        return u"Ошибка! Записи на ГлС АО строки AVL_AV_NID="_s + row.text(u"AVL_AV_NID"_s)
            + u" and AVL_DATA="_s + row.text(u"AVL_DATA"_s) + u" and AVL_NOMER="_s
            + row.text(u"AVL_NOMER"_s);
    }};
    copy_.replaceChildren(c);
}

} // namespace varid
