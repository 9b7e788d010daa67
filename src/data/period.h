#pragma once
#include <QDate>
#include <QString>
#include <QVariant>

namespace varid {

// The period a run or an act covers, from the date pickers: the night's five days, or the
// days the user chose. It is fixed when the run is armed; the steps take the forms they need.
struct Period {
    QDate from, to;

    // "01.03.2010" and "05.03.2010": the texts the period's SQL texts compare with.
    QString startText() const;
    QString endText() const;
    // The balances are kept by month: "2010" and "03".
    QString startYear() const { return startText().mid(6); }
    QString endYear() const { return endText().mid(6); }
    QString startMonth() const { return startText().mid(3, 2); }
    QString endMonth() const { return endText().mid(3, 2); }
    // The two dates as a statement's values (midnight of each day).
    QVariant start() const;
    QVariant end() const;
    // "с 01.03.2010 по 05.03.2010", for the lines that name it.
    QString text() const;

    bool operator==(const Period&) const = default;
};

} // namespace varid
