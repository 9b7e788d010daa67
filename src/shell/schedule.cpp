#include "shell/schedule.h"

namespace varid {

std::optional<Period> nightPeriod(const QDateTime& now)
{
    const QTime t = now.time();
    if (t > QTime(23, 30) || t < QTime(2, 0))
        return Period{now.date().addDays(-5), now.date().addDays(-1)};
    return std::nullopt;
}

} // namespace varid
