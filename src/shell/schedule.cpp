#include "shell/schedule.h"

#include <algorithm>
#include <limits>

namespace varid {

std::optional<Period> nightPeriod(const QDateTime& now)
{
    const QTime t = now.time();
    if (t > QTime(23, 30) || t < QTime(2, 0))
        return Period{now.date().addDays(-5), now.date().addDays(-1)};
    return std::nullopt;
}

Schedule::Schedule(TimerHost& host)
    : T1(host.createTimer(1000)), T2(host.createTimer(0)), T3(host.createTimer(1000)), T4(host.createTimer(1000)),
      armDelay(host.createTimer(500)), host_(host)
{
}

void Schedule::setIntervalMinutes(int minutes)
{
    minutes_ = minutes;
}

int Schedule::intervalMs() const
{
    const qint64 ms = qint64(minutes_) * 60 * 1000;
    return int(std::clamp<qint64>(ms, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

void Schedule::beginStart(int seconds)
{
    startThreshold = seconds;
    T1->setEnabled(true);
    T2->setInterval(intervalMs());
}

void Schedule::handOver()
{
    T1->setEnabled(false);
    countdown = 0;
    T2->setEnabled(true);
    T4->setEnabled(true);
}

void Schedule::stop()
{
    T1->setEnabled(false);
    T2->setEnabled(false);
    T3->setEnabled(false);
    armDelay->setEnabled(false);
}

void Schedule::pauseForAct()
{
    stop();
    T4->setEnabled(false);
}

void Schedule::resumeAfterAct()
{
    T1->setEnabled(true);
    T2->setInterval(intervalMs());
    startThreshold = 5;
    startCount = 0;
}

void Schedule::restartCycle()
{
    countdown = 0;
    T2->setEnabled(true);
    T4->setEnabled(true);
    T1->setEnabled(true);
    T2->setInterval(intervalMs());
    startThreshold = 0;
    startCount = 0;
}

void Schedule::retryAfterLoss()
{
    countdown = 0;
    T2->setEnabled(true);
    T4->setEnabled(true);
}

void Schedule::runEnded()
{
    T3->setEnabled(false);
    T4->setEnabled(false);
}

} // namespace varid
