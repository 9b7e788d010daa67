#include "shell/timers.h"

#include <QThread>

namespace varid {

namespace {

class QtTimer final : public Timer {
public:
    explicit QtTimer(int ms) : interval_(ms)
    {
        timer_.setInterval(ms);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { if (onTick) onTick(); });
    }
    void setEnabled(bool on) override
    {
        if (on == enabled_)
            return;
        enabled_ = on;
        sync();
    }
    bool enabled() const override { return enabled_; }
    void setInterval(int ms) override
    {
        if (ms == interval_)
            return;
        interval_ = ms;
        timer_.stop();
        if (ms > 0)
            timer_.setInterval(ms);
        sync();
    }
    int interval() const override { return interval_; }

private:
    void sync()
    {
        if (enabled_ && interval_ > 0) {
            if (!timer_.isActive())
                timer_.start();
        } else {
            timer_.stop();
        }
    }
    QTimer timer_;
    int interval_;
    bool enabled_ = false;
};

} // namespace

std::unique_ptr<Timer> QtTimerHost::createTimer(int intervalMs) { return std::make_unique<QtTimer>(intervalMs); }


struct SimTimerHost::State {
    SimTimerHost* host = nullptr;
    Timer* timer = nullptr;
    bool enabled = false;
    int interval = 0;
    QDateTime due;
    int order = 0;
};

namespace {

class SimTimer final : public Timer {
public:
    explicit SimTimer(std::shared_ptr<SimTimerHost::State> s) : s_(std::move(s)) { s_->timer = this; }
    void setEnabled(bool on) override
    {
        if (on == s_->enabled)
            return;
        s_->enabled = on;
        if (on)
            s_->due = s_->host->now().addMSecs(s_->interval);
    }
    bool enabled() const override { return s_->enabled; }
    void setInterval(int ms) override
    {
        if (ms == s_->interval)
            return;
        s_->interval = ms;
        s_->due = s_->host->now().addMSecs(ms);
    }
    int interval() const override { return s_->interval; }

private:
    std::shared_ptr<SimTimerHost::State> s_;
};

} // namespace

std::unique_ptr<Timer> SimTimerHost::createTimer(int intervalMs)
{
    auto s = std::make_shared<State>();
    s->host = this;
    s->interval = intervalMs;
    s->order = int(timers_.size());
    timers_.push_back(s);
    return std::make_unique<SimTimer>(s); // the timer owns its state; the host watches it
}

void SimTimerHost::advance(qint64 ms)
{
    const QDateTime target = now_.addMSecs(ms);
    for (;;) {
        std::shared_ptr<State> next;
        for (const auto& w : timers_) {
            auto s = w.lock();
            if (!s || !s->enabled || s->interval <= 0)
                continue;
            if (s->due > target)
                continue;
            if (!next || s->due < next->due || (s->due == next->due && s->order < next->order))
                next = s;
        }
        if (!next)
            break;
        if (next->due > now_)
            now_ = next->due;
        next->due = now_.addMSecs(next->interval);
        if (next->timer && next->timer->onTick)
            next->timer->onTick();
        if (afterTick)
            afterTick();
    }
    if (target > now_)
        now_ = target;
}

} // namespace varid
