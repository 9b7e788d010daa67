#include "data/statement.h"

#include "data/values.h"

namespace varid {

QString Statement::text() const
{
    if (values_.isEmpty())
        return sql_;
    QString out;
    out.reserve(sql_.size() + 16 * values_.size());
    split([&out](QStringView piece) { out += piece; }, [&out, this](int i) {
        const QVariant& v = values_[i];
        out += quoted(v.typeId() == qMetaTypeId<Stamp>() ? v.value<Stamp>().at.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))
                                                          : textForm(v));
    });
    return out;
}

Statement Statement::join(const QVector<Statement>& parts, const QString& separator)
{
    QString sql;
    QVariantList values;
    for (qsizetype k = 0; k < parts.size(); ++k) {
        if (k > 0)
            sql += separator;
        const Statement& p = parts[k];
        p.split([&sql](QStringView piece) { sql += piece; }, [&](int i) {
            values << p.values()[i];
            sql += QLatin1Char('%') + QString::number(values.size());
        });
    }
    return Statement(sql, values);
}

} // namespace varid
