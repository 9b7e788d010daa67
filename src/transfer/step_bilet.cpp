// Pawn tickets with their item lines and pledged vehicles. By day the new tickets; at
// night the tickets opened, redeemed or extended in the period, and the lines of the
// opened and the redeemed ones. Vehicles go first, by a cursor copy on the main database.
#include "transfer/transfer.h"

namespace varid {

namespace {
const QStringList kAutoColumns{QStringLiteral("A_NID"), QStringLiteral("A_KTO"), QStringLiteral("A_MARKA"),
                               QStringLiteral("A_MODEL"), QStringLiteral("A_GOSNOMER"), QStringLiteral("A_DVIGAT"),
                               QStringLiteral("A_KUZOV"), QStringLiteral("A_NOMER_TC"), QStringLiteral("A_COLOR"),
                               QStringLiteral("A_GOD"), QStringLiteral("A_DATA_TC")};

// "B_DATA Between'start' and 'end'": the period's days are the values %2 and %3.
QString between(const char* column)
{
    return QString::fromLatin1(column) + QStringLiteral(" Between%2 and %3");
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
    const QString opened = incremental ? QStringLiteral("B_NEW_OLD='NEW' and B_KTO=%1")
                                       : between("B_DATA") + QStringLiteral(" and B_KTO=%1");

    // Vehicles of the lines of the opened (or new) tickets: edited or appended as text.
    Query& sel = dm2_.Q1DM;
    select(sel, QStringLiteral("SELECT * FROM AUTO Where A_NID in (SELECT BL_I_NID FROM BILET_LINE Where BL_B_NID in (Select B_NID From BILET Where ")
        + opened + QStringLiteral("))  Order By A_MARKA, A_MODEL "));
    for (sel.first(); !sel.eof(); sel.next())
        copy_.cursorCopy(dm2_.ADOC2, Statement(QStringLiteral("Select * From AUTO Where A_NID=%1 "), {sel.value(QStringLiteral("A_NID"))}),
                         sel, kAutoColumns);

    // The ticket and line sets, all read before the first ticket is written.
    const QString order = QStringLiteral("Order By B_DATA, B_NOMER");
    select(sel, QStringLiteral("SELECT * FROM BILET Where ") + opened + QStringLiteral("  ") + order);
    Query& redeemed = dm2_.Q2DM;
    Query& extended = dm2_.Q6DM;
    Query& lines = dm2_.Q3DM;
    Query& redeemedLines = dm2_.Q4DM;
    const QString lineOrder = QStringLiteral("Order By BL_DATA, BL_NOMER");
    if (incremental) {
        select(lines, QStringLiteral("SELECT * FROM BILET_LINE Where  BL_B_NID in (Select B_NID From BILET Where B_NEW_OLD='NEW' and B_KTO=%1 ) ")
            + lineOrder);
    } else {
        select(redeemed, QStringLiteral("SELECT * FROM BILET Where ") + between("B_DATA_VIK") + QStringLiteral(" and B_KTO=%1  ") + order);
        select(lines, QStringLiteral("SELECT * FROM BILET_LINE Where  BL_B_NID in (Select B_NID From BILET Where ") + opened
            + QStringLiteral(" ) ") + lineOrder);
        select(redeemedLines, QStringLiteral("SELECT * FROM BILET_LINE Where  BL_B_NID in (Select B_NID From BILET Where (")
            + between("B_DATA_VIK") + QStringLiteral(") and (") + between("B_DATA not") + QStringLiteral(") and B_KTO=%1 ) ") + lineOrder);
        // Bounded by the extensions' branch code only.
        select(extended, QStringLiteral("SELECT * FROM BILET Where B_NID in  (SELECT PRO_B_NID FROM PRODLENIE Where ")
            + between("PRO_DATA") + QStringLiteral(" and PRO_KTO=%1) Order By B_DATA"));
    }

    QVector<Query*> walks{&sel};
    if (!incremental)
        walks << &redeemed << &extended;
    int total = 0;
    for (Query* q : walks)
        total += q->rowCount();
    state_.setBarMax(Bar::Bilet, total);

    // A ticket is marked once its lines have gone: the lines pass below comes first.
    QVector<Statement> marks;
    int offset = 0;
    for (int w = 0; w < walks.size(); ++w) {
        const Walk& walk = kWalks[w];
        CopyRecipe r;
        r.source = walks[w];
        r.bar = Bar::Bilet;
        r.barOffset = offset;
        r.keyColumns = {QStringLiteral("B_NID")};
        r.lookup = [](const RowSet& row) {
            return Statement(QStringLiteral("Select * From BILET Where B_NID=%1 "), {row.value(QStringLiteral("B_NID"))});
        };
        r.insert = &dm2_.Ins_Bilet;
        r.update = &dm2_.Up_Bilet;
        r.failureLine = [walk](const RowSet& row, bool inserting) {
            return QString::fromUtf8(inserting ? walk.insertLead : walk.updateLead) + row.text(QStringLiteral("B_NID"))
                + QString::fromUtf8(inserting ? walk.insertMiddle : walk.updateMiddle) + row.text(QStringLiteral("B_DATA")) + QStringLiteral(" and B_NOMER=")
                + row.text(QStringLiteral("B_NOMER"));
        };
        r.markSent = [](const RowSet& row) {
            return Statement(QStringLiteral("UpDate BILET Set B_NEW_OLD='OLD' Where B_NID=%1 "), {row.value(QStringLiteral("B_NID"))});
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
            return QString::fromUtf8(lead) + row.text(QStringLiteral("BL_B_NID")) + QStringLiteral(" and BL_DATA=")
                + row.text(QStringLiteral("BL_DATA")) + QStringLiteral(" and BL_NOMER=") + row.text(QStringLiteral("BL_NOMER"));
        };
    };
    c.sets << ChildSet{&lines, lineFailure("Ошибка! Записи на ГлС строк билета B_NID=")};
    if (!incremental)
        c.sets << ChildSet{&redeemedLines, lineFailure("Ошибка! Записи на ГлС строк вык. билета B_NID=")};
    copy_.replaceChildren(c);
    copy_.markAll(marks);
}

} // namespace varid
