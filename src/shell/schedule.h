#pragma once
#include "data/period.h"
#include "shell/timers.h"

#include <QDateTime>

#include <memory>
#include <optional>

namespace varid {

// The night rule: after 23:30 and before 02:00 a scheduled run re-sends the five complete
// days before today; by day it sends only the new rows (no period).
std::optional<Period> nightPeriod(const QDateTime& now);

// When Varid runs: the four timers of the window, the half second between the transfer
// timer's connect and the arming, the start and transfer countdowns and the night rule, all
// on the host's clock. It knows nothing of databases or of the window; the station reacts
// to its ticks (T1Timer ... T4Timer) and tells it what a run's ending asks of the timers.
class Schedule {
public:
    explicit Schedule(TimerHost& host);

    // T1 counts the start delay down, T2 connects at each interval, T3 starts the armed run,
    // T4 counts the seconds to the next transfer.
    std::unique_ptr<Timer> T1, T2, T3, T4;
    std::unique_ptr<Timer> armDelay; // single shot: T2's connect, half a second, the arming
    int countdown = 0;      // seconds counted by T4
    int startCount = 0;     // seconds counted by T1
    int startThreshold = 0; // T1 hands over to T2 when the start count reaches it

    TimerHost& host() const { return host_; }
    QDateTime now() const { return host_.now(); }
    // The night's period at this moment, or none by day.
    std::optional<Period> nightPeriod() const { return varid::nightPeriod(host_.now()); }

    // Path.ini's Interval, in minutes; T2 ticks at it (0: never).
    void setIntervalMinutes(int minutes);
    int intervalMinutes() const { return minutes_; }
    int intervalMs() const;

    // Start-up: the start countdown of `seconds`, then the schedule.
    void beginStart(int seconds);
    // T1 reached its threshold: the interval and the transfer countdown take over.
    void handOver();
    // "Стоп": no start countdown, no connect, no run start, no arming.
    void stop();
    // The act is being built: every timer rests.
    void pauseForAct();
    // Five seconds of start countdown, then the schedule as before.
    void resumeAfterAct();
    // After a completed run (or a lost journal): the cycle from the start, without delay.
    void restartCycle();
    // After a lost connection: the next interval tries again.
    void retryAfterLoss();
    // A run has ended, however: no run start pending, no countdown shown.
    void runEnded();

private:
    TimerHost& host_;
    int minutes_ = 0;
};

} // namespace varid
