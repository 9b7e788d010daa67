// Pawn tickets with their item lines and pledged vehicles. By day the new tickets; at
// night the tickets opened, redeemed or extended in the period, and the lines of the
// opened and the redeemed ones. Vehicles go first, by a cursor copy on the main database.
#include "transfer/transfer.h"

using namespace Qt::StringLiterals;

namespace varid {

namespace {
const QStringList kAutoColumns{u"A_NID"_s, u"A_KTO"_s, u"A_MARKA"_s,
                               u"A_MODEL"_s, u"A_GOSNOMER"_s, u"A_DVIGAT"_s,
                               u"A_KUZOV"_s, u"A_NOMER_TC"_s, u"A_COLOR"_s,
                               u"A_GOD"_s, u"A_DATA_TC"_s};

// "B_DATA Between'start' and 'end'": the period's days are the values %2 and %3.
QString between(const char* column)
{
    return QString::fromLatin1(column) + u" Between%2 and %3"_s;
}

struct Walk {
    const char* insertLead;
    const char* updateLead;
    const char* insertMiddle;
    const char* updateMiddle;
};
// The opened, redeemed and extended walks' failure lines; only the extended walk's update
// line has an apostrophe before " and B_DATA=".
const Walk kWalks[] = {
    {"Ошибка! Записи на ГлС отк. билета B_NID=", "Ошибка! Изменения на отк. ГлС билета B_NID=", " and B_DATA=", " and B_DATA="},
    {"Ошибка! Записи на ГлС вык. билета B_NID=", "Ошибка! Изменения на ГлС вык. билета B_NID=", " and B_DATA=", " and B_DATA="},
    {"Ошибка! Записи на ГлС прод. билета B_NID=", "Ошибка! Изменения на ГлС прод. билета B_NID=", " and B_DATA=", "' and B_DATA="},
};
} // namespace

void Transfer::Rec_Bilet()
{
    const bool incremental = state_.incremental();
    // Every selection's values: %1 the branch, %2 and %3 the period's days.
    const QVariantList values{state_.branchCode(), state_.period().start(), state_.period().end()};
    const auto select = [&values](Query& q, const QString& sql) { RecordCopy::openWalk(q, Statement(sql, values)); };
    const QString opened = incremental ? u"B_NEW_OLD='NEW' and B_KTO=%1"_s
                                       : between("B_DATA") + u" and B_KTO=%1"_s;

    // Vehicles of the lines of the opened (or new) tickets: edited or appended as text.
    Query& sel = dm2_.Q1DM;
    select(sel, u"SELECT * FROM AUTO Where A_NID in (SELECT BL_I_NID FROM BILET_LINE Where BL_B_NID in (Select B_NID From BILET Where "_s
        + opened + u"))  Order By A_MARKA, A_MODEL "_s);
    copy_.cursorCopyAll(dm2_.ADOC2, sel, [](const RowSet& row) {
        return Statement(u"Select * From AUTO Where A_NID=%1 "_s, {row.value(u"A_NID"_s)});
    }, kAutoColumns);

    // The ticket and line sets, all read before the first ticket is written.
    const QString order = u"Order By B_DATA, B_NOMER"_s;
    select(sel, u"SELECT * FROM BILET Where "_s + opened + u"  "_s + order);
    Query& redeemed = dm2_.Q2DM;
    Query& extended = dm2_.Q6DM;
    Query& lines = dm2_.Q3DM;
    Query& redeemedLines = dm2_.Q4DM;
    const QString lineOrder = u"Order By BL_DATA, BL_NOMER"_s;
    if (incremental) {
        select(lines, u"SELECT * FROM BILET_LINE Where  BL_B_NID in (Select B_NID From BILET Where B_NEW_OLD='NEW' and B_KTO=%1 ) "_s
            + lineOrder);
    } else {
        select(redeemed, u"SELECT * FROM BILET Where "_s + between("B_DATA_VIK") + u" and B_KTO=%1  "_s + order);
        select(lines, u"SELECT * FROM BILET_LINE Where  BL_B_NID in (Select B_NID From BILET Where "_s + opened
            + u" ) "_s + lineOrder);
        select(redeemedLines, u"SELECT * FROM BILET_LINE Where  BL_B_NID in (Select B_NID From BILET Where ("_s
            + between("B_DATA_VIK") + u") and ("_s + between("B_DATA not") + u") and B_KTO=%1 ) "_s + lineOrder);
        // Bounded by the extensions' branch code only.
        select(extended, u"SELECT * FROM BILET Where B_NID in  (SELECT PRO_B_NID FROM PRODLENIE Where "_s
            + between("PRO_DATA") + u" and PRO_KTO=%1) Order By B_DATA"_s);
    }

    QVector<Query*> walks{&sel};
    if (!incremental)
        walks << &redeemed << &extended;
    int total = 0;
    for (Query* q : walks)
        total += q->rowCount();
    state_.setBarMax(Bar::Bilet, total);

    // A ticket is marked once its lines have gone: the lines pass below comes first.
    DeferredMarks marks;
    int offset = 0;
    for (int w = 0; w < walks.size(); ++w) {
        const Walk& walk = kWalks[w];
        CopyRecipe r;
        r.source = walks[w];
        r.bar = Bar::Bilet;
        r.barOffset = offset;
        r.keyColumns = {u"B_NID"_s};
        r.lookup = [](const RowSet& row) {
            return Statement(u"Select * From BILET Where B_NID=%1 "_s, {row.value(u"B_NID"_s)});
        };
        r.insert = &dm2_.Ins_Bilet;
        r.update = &dm2_.Up_Bilet;
        r.failureLine = [walk](const RowSet& row, bool inserting) {
            return QString::fromUtf8(inserting ? walk.insertLead : walk.updateLead) + row.text(u"B_NID"_s)
                + QString::fromUtf8(inserting ? walk.insertMiddle : walk.updateMiddle) + row.text(u"B_DATA"_s) + u" and B_NOMER="_s
                + row.text(u"B_NOMER"_s);
        };
        r.markSent = [](const RowSet& row) {
            return Statement(u"UpDate BILET Set B_NEW_OLD='OLD' Where B_NID=%1 "_s, {row.value(u"B_NID"_s)});
        };
        r.deferMarks = &marks;
        copy_.walk(r);
        offset += walks[w]->rowCount();
    }

    // Lines: the main database's copies of the selected lines deleted, then inserted again.
    ChildRecipe c;
    c.bar = Bar::BLine;
    c.remove = &dm2_.Del_BLine;
    c.insert = &dm2_.Ins_BLine;
    auto lineFailure = [](const char* lead) {
        return [lead](const RowSet& row) {
            return QString::fromUtf8(lead) + row.text(u"BL_B_NID"_s) + u" and BL_DATA="_s
                + row.text(u"BL_DATA"_s) + u" and BL_NOMER="_s + row.text(u"BL_NOMER"_s);
        };
    };
    c.sets << ChildSet{&lines, lineFailure("Ошибка! Записи на ГлС строк билета B_NID=")};
    if (!incremental)
        c.sets << ChildSet{&redeemedLines, lineFailure("Ошибка! Записи на ГлС строк вык. билета B_NID=")};
    copy_.replaceChildren(c);
    copy_.markAll(marks);
}

} // namespace varid
