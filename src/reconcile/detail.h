#pragma once
#include "data/statement.h"
// From a failing row of the act to the records behind it, and the repair of one day of one
// kind: the branch's records of that day sent again, the main database's records of this
// branch that the branch no longer holds deleted there.
#include "reconcile/act.h"
#include "data/catalogue.h"

#include <QSet>

namespace varid {

struct RecordDiff {
    enum Side { OnlyBranch, OnlyMain, Different } side = OnlyBranch;
    QString key;        // the record's key, its parts joined by " / "
    QString number;
    QString date;       // text form, with the time where it has one
    double localAmount = 0, mainAmount = 0;
    QVariantList keyValues; // each key column's value, for the deletion on the main database
};
QString sideText(RecordDiff::Side side);

// The records behind one group of the act (its section, day and second key), on both
// databases: two keyed selections and one merge, no per-record round trip.
QVector<RecordDiff> groupDifferences(DM& dm, DM2& dm2, const QString& branch, const ActRow& group);
// Every differing record of one kind on one day, whatever its second key.
QVector<RecordDiff> dayDifferences(DM& dm, DM2& dm2, const QString& branch, RecordKind kind, const QDate& day);
// The main database's records of a day whose keys the branch holds on another day: they are
// not only on the main database. The marks set "NEW" on the branch's records (or on their
// reports) so that they go again; the keys are left out of the deletion.
struct Resend {
    QVector<Statement> marks;
    QSet<QString> keys;
};
Resend heldElsewhere(DM& dm, const QString& branch, RecordKind kind, const QVector<RecordDiff>& diffs);
// Deletes the main database's records of that day that only it holds, but `keep` (one
// transaction), each bounded by the branch, the kind and the day, never by key alone;
// returns how many.
int deleteMainOnly(DM2& dm2, const QString& branch, RecordKind kind, const QDate& day, const QVector<RecordDiff>& diffs,
                   const QSet<QString>& keep = {});

} // namespace varid
