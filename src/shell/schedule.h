#pragma once
#include "data/period.h"

#include <QDateTime>

#include <optional>

namespace varid {

// The night rule: after 23:30 and before 02:00 a scheduled run re-sends the five complete
// days before today; by day it sends only the new rows (no period).
std::optional<Period> nightPeriod(const QDateTime& now);

} // namespace varid
