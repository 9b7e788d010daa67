#pragma once
#include "data/clock.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace varid {

// A window timer: enabling an enabled timer or setting the interval it already has changes
// nothing; enabling a disabled one starts a fresh interval; a zero interval never ticks.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setEnabled(bool on) = 0;
    virtual bool enabled() const = 0;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    std::function<void()> onTick;
};

// Makes timers and tells the time: Qt timers and the wall clock in the program, a
// simulated clock in the tests.
class TimerHost : public Clock {
public:
    virtual std::unique_ptr<Timer> createTimer(int intervalMs) = 0;
};

class QtTimerHost : public TimerHost {
public:
    std::unique_ptr<Timer> createTimer(int intervalMs) override;
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// Simulated time: advance() lets time pass and fires the ticks that fall due, in order.
// A tick that fell due while the thread was busy is handled once.
class SimTimerHost : public TimerHost {
public:
    explicit SimTimerHost(const QDateTime& start) : now_(start) {}
    std::unique_ptr<Timer> createTimer(int intervalMs) override;
    QDateTime now() const override { return now_; }
    void advance(qint64 ms);
    void setNow(const QDateTime& t) { now_ = t; }
    // Called after every tick: tests let a run that a tick started finish here, so that
    // simulated time stands still during a run, as no timer is serviced while one goes on.
    std::function<void()> afterTick;

    struct State;

private:
    QDateTime now_;
    std::vector<std::weak_ptr<State>> timers_;
};

} // namespace varid
