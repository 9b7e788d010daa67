#pragma once
#include "data/statement.h"
#include "data/storedproc.h"

#include <QVector>

namespace varid {

// Calls of procedures in the order they are added, written as one transaction with one
// commit. On SQL Server one text: the calls between BEGIN TRAN and COMMIT TRAN with
// XACT_ABORT on, ending with a select that proves the commit (one round trip). On the
// embedded file through the ODBC driver the same shape: one text of the bodies with their
// values written in. On the embedded file itself one transaction of prepared statements.
class CallBatch {
public:
    explicit CallBatch(Connection& c) : conn_(c) {}

    // The call of `proc` with the values it has now.
    void add(StoredProc& proc);
    // A statement that returns no rows, in the same transaction.
    void add(const Statement& statement);
    int size() const { return int(calls_.size()); }
    bool isEmpty() const { return calls_.isEmpty(); }
    // The values SQL Server's text binds: a request takes at most 2,100.
    int binds() const { return binds_; }
    void clear();

    // Writes every call in one transaction. A failure leaves the connection in the
    // transaction, to be rolled back: then none of the calls has taken effect.
    void execute();

    // At most this many values in one of SQL Server's requests.
    static constexpr int kMaxBinds = 2000;

private:
    struct Call {
        StoredProc* proc = nullptr; // none: the statement
        QVector<QVariant> values;
        Statement statement;
    };
    Connection& conn_;
    QVector<Call> calls_;
    int binds_ = 0;
};

} // namespace varid
