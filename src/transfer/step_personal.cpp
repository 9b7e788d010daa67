// Staff both ways, and the on/off journal up. The main database wins for staff present on
// both sides; a member only the branch knows is added to the main database; the day's
// on/off rows go up and are rewritten as times off are entered.
#include "transfer/transfer.h"

#include "data/values.h"

using namespace Qt::StringLiterals;

namespace varid {

namespace {
const QStringList kStaffColumns{u"P_NAME"_s, u"P_LOGIN"_s, u"P_PASS"_s,
                                u"P_KTO"_s, u"P_OGR"_s};
const QStringList kOnOffColumns{u"OO_NAME"_s, u"OO_KTO"_s, u"OO_DATA"_s,
                                u"OO_ON"_s, u"OO_OFF"_s};

void copyColumns(RowSet& to, const RowSet& from, const QStringList& columns)
{
    for (const QString& c : columns)
        to.set(c, from.text(c));
}

// A staff member inserted with all six columns, in its own transaction on `c`.
void insertStaff(Connection& c, TableCursor& staff, const RowSet& from)
{
    c.beginTransaction();
    staff.insert();
    staff.set(u"P_NID"_s, from.text(u"P_NID"_s));
    copyColumns(staff, from, kStaffColumns);
    staff.post();
    c.commit();
}

QString staffLine(const char* lead, const RowSet& row)
{
    return QString::fromUtf8(lead) + row.text(u"P_NID"_s) + u" and P_NAME="_s + row.text(u"P_NAME"_s);
}
} // namespace

void Transfer::Rec_Personal()
{
    const QString staffList = u"Select * From PERSONAL ORDER BY P_NAME "_s;
    const QString kto = state_.branchCode();
    TableCursor& localStaff = dm_.T_PERSONAL;
    localStaff.open();
    Query& mainList = dm2_.Q1;
    Query& localList = dm_.Q1;
    RecordCopy::openQuery(mainList, staffList);
    RecordCopy::openQuery(localList, staffList);
    Query& onOff = dm_.Q2;
    RecordCopy::openQuery(onOff, state_.incremental()
        ? Statement(u"SELECT * FROM ONOFF Where OO_DATA=%1 and OO_KTO=%2  "_s, {wallClock(clock_.now().date()), kto})
        : Statement(u"SELECT * FROM ONOFF Where OO_DATA Between %1 and  %2 and OO_KTO=%3  "_s,
                    {state_.period().start(), state_.period().end(), kto}));
    const int mainCount = mainList.rowCount();
    state_.setBarMax(Bar::Personal, mainCount + onOff.rowCount() + localList.rowCount());

    // Main to local: overwrite or insert, each in its local transaction.
    Connection& local = dm_.ADOC1;
    for (mainList.first(); !mainList.eof(); mainList.next()) {
        state_.setBarPos(Bar::Personal, mainList.recNo());
        const QVariant nid = mainList.value(u"P_NID"_s);
        // A member without an identifier cannot be matched: its failure line, never copied.
        if (mainList.text(u"P_NID"_s).trimmed().isEmpty()) {
            copy_.refuse(staffLine("Ошибка! Записи с ГлС Сотрудника P_NID=", mainList));
            continue;
        }
        if (localStaff.locate(u"P_NID"_s, nid)) {
            copy_.guarded(local, [&] {
                localStaff.close();
                localStaff.open();
                if (!localStaff.locate(u"P_NID"_s, nid))
                    throw DbError(u"Staff member %1 is no longer there"_s.arg(nid.toString()));
                local.beginTransaction();
                localStaff.edit();
                copyColumns(localStaff, mainList, kStaffColumns);
                localStaff.post();
                local.commit();
            }, [&] { return staffLine("Ошибка! Изменения по Сотруднику P_NID=", mainList); });
        } else {
            copy_.guarded(local, [&] { insertStaff(local, localStaff, mainList); },
                          [&] { return staffLine("Ошибка! Записи с ГлС Сотрудника P_NID=", mainList); });
        }
    }

    // Local to main: the members the branch knew before the first pass, missing there.
    TableCursor& mainStaff = dm2_.T_PERSONAL;
    mainStaff.close();
    mainStaff.open();
    Connection& main = dm2_.ADOC2;
    for (localList.first(); !localList.eof(); localList.next()) {
        state_.setBarPos(Bar::Personal, mainCount + localList.recNo());
        if (localList.text(u"P_NID"_s).trimmed().isEmpty()) {
            copy_.refuse(staffLine("Ошибка! Записи на ГлС Сотрудника P_NID=", localList));
            continue;
        }
        if (mainStaff.locate(u"P_NID"_s, localList.value(u"P_NID"_s)))
            continue; // a member on both sides is never changed on the main database
        copy_.guarded(main, [&] { insertStaff(main, mainStaff, localList); },
                      [&] { return staffLine("Ошибка! Записи на ГлС Сотрудника P_NID=", localList); });
    }

    // The on/off journal: inserted, or its row rewritten; a failure is rolled back silently.
    TableCursor& mainOnOff = dm2_.T_ONOFF;
    Query& lookup = dm2_.Q1;
    auto quietly = [&](const std::function<void()>& write) {
        try {
            write();
        } catch (const DbError& e) {
            if (e.unavailable())
                throw;
            main.rollback();
        }
    };
    for (onOff.first(); !onOff.eof(); onOff.next()) {
        state_.setBarPos(Bar::Personal, state_.barPos(Bar::Personal) + onOff.recNo());
        RecordCopy::openQuery(lookup, Statement(u"Select * From ONOFF Where OO_DATA=%1 and OO_KTO=%2  and OO_NAME=%3 "_s,
            {onOff.value(u"OO_DATA"_s), onOff.value(u"OO_KTO"_s), onOff.value(u"OO_NAME"_s)}));
        if (lookup.rowCount() == 0) {
            quietly([&] {
                main.beginTransaction();
                mainOnOff.open();
                mainOnOff.insert();
                copyColumns(mainOnOff, onOff, kOnOffColumns);
                mainOnOff.post();
                main.commit();
            });
        } else {
            mainOnOff.open();
            if (mainOnOff.locate(u"OO_NAME; OO_DATA; OO_KTO"_s,
                                 {onOff.value(u"OO_NAME"_s), onOff.value(u"OO_DATA"_s), onOff.value(u"OO_KTO"_s)})) {
                quietly([&] {
                    main.beginTransaction();
                    mainOnOff.edit();
                    copyColumns(mainOnOff, onOff, kOnOffColumns);
                    mainOnOff.post();
                    main.commit();
                });
            }
        }
    }
}

} // namespace varid
