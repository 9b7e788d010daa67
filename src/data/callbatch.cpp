#include "data/callbatch.h"

#include "data/dialect.h"

namespace varid {

void CallBatch::add(StoredProc& proc)
{
    calls_.push_back(Call{&proc, proc.values()});
    binds_ += int(proc.params().size());
}

void CallBatch::clear()
{
    calls_.clear();
    binds_ = 0;
}

void CallBatch::execute()
{
    if (calls_.isEmpty())
        return;
    if (!conn_.batchesTransactions()) {
        conn_.beginTransaction();
        for (const Call& c : std::as_const(calls_)) {
            c.proc->setValues(c.values);
            c.proc->execute();
        }
        conn_.commit();
        return;
    }
    if (conn_.backend() == Backend::Odbc) {
        QStringList texts;
        QVariantList binds;
        for (const Call& c : std::as_const(calls_)) {
            c.proc->setValues(c.values);
            texts << c.proc->odbcCall();
            binds << c.proc->odbcBinds();
        }
        conn_.runTransaction(odbcBatchText(texts), binds);
        return;
    }
    QString text = QStringLiteral("BEGIN IMMEDIATE;");
    for (const Call& c : std::as_const(calls_)) {
        c.proc->setValues(c.values);
        text += c.proc->literalBody();
    }
    conn_.runTransaction(text + QStringLiteral("\nCOMMIT"));
}

} // namespace varid
