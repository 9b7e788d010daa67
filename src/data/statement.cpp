#include "data/statement.h"

#include "data/values.h"

namespace varid {

QString Statement::text() const
{
    if (values_.isEmpty())
        return sql_;
    QString out;
    out.reserve(sql_.size() + 16 * values_.size());
    split([&out](QStringView piece) { out += piece; }, [&out, this](int i) { out += quoted(textForm(values_[i])); });
    return out;
}

} // namespace varid
