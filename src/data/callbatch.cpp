#include "data/callbatch.h"

#include "data/dialect.h"

namespace varid {

void CallBatch::add(StoredProc& proc)
{
    calls_.push_back(Call{&proc, proc.values(), Statement()});
    binds_ += int(proc.params().size());
}

void CallBatch::add(const Statement& statement)
{
    calls_.push_back(Call{nullptr, {}, statement});
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
            if (!c.proc) {
                conn_.execCached(c.statement);
                continue;
            }
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
            if (!c.proc) {
                texts << c.statement.text(); // as SQL Server reads a statement's values
                continue;
            }
            c.proc->setValues(c.values);
            texts << c.proc->odbcCall();
            binds << c.proc->odbcBinds();
        }
        conn_.runTransaction(odbcBatchText(texts), binds);
        return;
    }
    QString text = QStringLiteral("BEGIN IMMEDIATE;");
    for (const Call& c : std::as_const(calls_)) {
        if (!c.proc) {
            // The statement as the embedded file runs it, its bound values written in.
            const Connection::Bindable b = conn_.bindable(c.statement);
            PositionalStatement st;
            st.pieces = b.sql.split(QLatin1Char('?'));
            for (qsizetype k = 1; k < st.pieces.size(); ++k)
                st.params << QStringLiteral("?");
            text += QLatin1Char('\n') + withLiterals(st, b.bind(c.statement)) + QLatin1Char(';');
            continue;
        }
        c.proc->setValues(c.values);
        text += c.proc->literalBody();
    }
    conn_.runTransaction(text + QStringLiteral("\nCOMMIT"));
}

} // namespace varid
