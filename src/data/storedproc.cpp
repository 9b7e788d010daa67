#include "data/storedproc.h"

#include "data/values.h"

namespace varid {

StoredProc::StoredProc(Connection& c, const QString& procName, QVector<ParamDef> params)
    : conn_(&c), name_(procName), params_(std::move(params)), values_(params_.size())
{
}

int StoredProc::indexOf(const QString& param) const
{
    for (int i = 0; i < params_.size(); ++i)
        if (params_[i].name.compare(param, Qt::CaseInsensitive) == 0)
            return i;
    throw DbError(QStringLiteral("Parameter '%1' not found in %2").arg(param, name_));
}

void StoredProc::set(const QString& param, const QVariant& value)
{
    setAt(indexOf(param), value);
}

void StoredProc::setAt(int i, const QVariant& value)
{
    if (value.isNull() || !value.isValid()) {
        values_[i] = QVariant(); // every parameter may be null; a null date stays null
        return;
    }
    if (params_[i].type == ParamType::DateTime && value.typeId() == QMetaType::QString) {
        const QString s = value.toString();
        const auto dt = parseDateText(s);
        if (!dt)
            throw DbError(QStringLiteral("'%1' is not a valid date and time").arg(s));
        values_[i] = *dt;
        return;
    }
    values_[i] = value;
}

const QVector<int>& StoredProc::sourceColumns(const QStringList& columns, const QStringList& skip)
{
    // Equal lists that share their data compare at once: a walk's rows share one.
    if (!sources_.at.isEmpty() && sources_.columns == columns && sources_.skip == skip)
        return sources_.at;
    sources_.columns = columns;
    sources_.skip = skip;
    sources_.at.clear();
    for (const ParamDef& p : params_) {
        const QString name = p.name.mid(1);
        if (!skip.isEmpty() && skip.contains(name, Qt::CaseInsensitive)) {
            sources_.at << -2;
            continue;
        }
        int at = -1; // of two columns of one name, the last, as a row's lookup by name finds
        for (qsizetype c = columns.size() - 1; c >= 0 && at < 0; --c)
            if (columns[c].compare(name, Qt::CaseInsensitive) == 0)
                at = int(c);
        sources_.at << at;
    }
    return sources_.at;
}

QVariant StoredProc::param(const QString& param) const { return values_[indexOf(param)]; }

void StoredProc::clear() { values_ = QVector<QVariant>(params_.size()); }

void StoredProc::loadEmbeddedBody()
{
    if (bodyGeneration_ == conn_->generation() && !body_.empty())
        return;
    body_.clear();
    QString base = name_;
    const int semi = base.indexOf(QLatin1Char(';'));
    if (semi >= 0) base.truncate(semi);
    QSqlQuery q = conn_->run(
        QStringLiteral("SELECT PROC_SQL FROM SYS_PROC WHERE upper(PROC_NAME)=upper(?) ORDER BY PROC_STEP"),
        QVariantList{base});
    QStringList statements;
    while (q.next())
        statements << q.value(0).toString();
    q.finish();
    if (statements.isEmpty())
        throw DbError(QStringLiteral("Could not find stored procedure '%1'").arg(base));
    for (const QString& statement : statements) {
        const PositionalStatement st = positionalParams(statement);
        Compiled c{conn_->prepareNative(st.sql), {}, st};
        for (const QString& p : st.params)
            c.params << indexOf(p);
        body_.push_back(std::move(c));
    }
    bodyGeneration_ = conn_->generation();
}

namespace {
ColumnKind kindOfParam(ParamType t)
{
    switch (t) {
    case ParamType::DateTime: return ColumnKind::Date;
    case ParamType::Text: return ColumnKind::Text;
    case ParamType::Integer: case ParamType::SmallInt: return ColumnKind::Integer;
    default: return ColumnKind::Number;
    }
}

QMetaType metaOf(ParamType t)
{
    switch (t) {
    case ParamType::DateTime: return QMetaType(QMetaType::QDateTime);
    case ParamType::Text: return QMetaType(QMetaType::QString);
    case ParamType::Integer: case ParamType::SmallInt: return QMetaType(QMetaType::Int);
    default: return QMetaType(QMetaType::Double);
    }
}
} // namespace

void StoredProc::execute()
{
    if (conn_->backend() == Backend::Sqlite) {
        loadEmbeddedBody();
        for (Compiled& c : body_)
            conn_->execPrepared(c.query, storageValues(c.params));
        return;
    }
    QStringList names;
    for (const ParamDef& p : params_)
        names << p.name;
    conn_->run(odbcCallText(name_, names), odbcBinds()).finish();
}

QVariantList StoredProc::storageValues(const QVector<int>& params) const
{
    QVariantList values;
    values.reserve(params.size());
    for (int i : params)
        values << conn_->toStorage(values_[i], kindOfParam(params_[i].type));
    return values;
}

void StoredProc::executeInTransaction()
{
    if (!conn_->batchesTransactions()) {
        conn_->beginTransaction();
        execute();
        conn_->commit();
        return;
    }
    if (conn_->backend() == Backend::Odbc) {
        QStringList names;
        for (const ParamDef& p : params_)
            names << p.name;
        conn_->runTransaction(odbcTransactionText(name_, names), odbcBinds());
        return;
    }
    // The embedded file through the ODBC driver: it runs several statements in one call but
    // binds values to the first only, so the values are written into the text as literals.
    conn_->runTransaction(QStringLiteral("BEGIN IMMEDIATE;") + literalBody() + QStringLiteral("\nCOMMIT"));
}

QString StoredProc::literalBody()
{
    loadEmbeddedBody();
    QString body;
    for (const Compiled& c : body_) {
        QString statement = withLiterals(c.text, storageValues(c.params)).trimmed();
        while (statement.endsWith(QLatin1Char(';')))
            statement.chop(1);
        body += QLatin1Char('\n') + statement + QLatin1Char(';');
    }
    return body;
}

QString StoredProc::odbcCall() const
{
    QStringList names;
    for (const ParamDef& p : params_)
        names << p.name;
    return odbcCallText(name_, names);
}

QVariantList StoredProc::odbcBinds() const
{
    QVariantList binds;
    for (int i = 0; i < params_.size(); ++i) {
        QVariant v = conn_->toStorage(values_[i], kindOfParam(params_[i].type));
        if (v.isNull())
            v = QVariant(metaOf(params_[i].type)); // a typed null, so the driver knows the type
        else if (v.metaType() != metaOf(params_[i].type))
            v.convert(metaOf(params_[i].type));   // the declared type, whatever the column gave
        binds << v;
    }
    return binds;
}

} // namespace varid
