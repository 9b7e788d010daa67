#pragma once
#include <QDateTime>

namespace varid {

// Where the time comes from: the wall clock in the program, a simulated one in the tests.
// It is read from the run's thread as well as the window's.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

} // namespace varid
