#pragma once
#include "transfer/runstate.h"

#include <QMutex>
#include <QStringList>

#include <atomic>
#include <functional>

namespace varid {

// The state of one run as the run's own thread sees it: the request taken when the run was
// armed, and an outbox of what the run produced (lines, bar moves) for the window's thread.
class RunContext : public RunState {
public:
    explicit RunContext(const RunRequest& request);

    bool incremental() const override { return request_.incremental; }
    Period period() const override { return request_.period; }
    QString branchCode() const override { return request_.branch; }
    QString journalPath() const override { return request_.journal; }
    bool switchOn(Switch s) const override { return request_.switches[size_t(s)]; }
    QString errorMarker() const override;
    void setErrorMarker(const QString& marker) override;
    void addLine(const QString& line) override;
    void tellRefusal(const QString& message) override;
    void setBarMax(Bar b, int max) override;
    void setBarPos(Bar b, int pos) override;
    int barPos(Bar b) const override;
    bool stopRequested() const override { return stop_; }

    void requestStop() { stop_ = true; }

    // Called on the run's thread when the outbox has news and no earlier call is pending:
    // the receiver then drains it on its own thread.
    std::function<void()> onNews;

    struct Entry {
        QString text;
        bool refusal = false; // the database's message for a refused row, not a log line
    };
    struct Outbox {
        QVector<Entry> lines;
        std::array<BarState, kBarCount> bars{};
        std::array<bool, kBarCount> barsTouched{};
        QString errorMarker;
    };
    // What the run produced since the last drain. `hold`: when something was taken, the next
    // news does not call onNews; the receiver drains again later (a busy run's rows then wake
    // the receiver a few times a second, not once a row), and an empty drain lets it call again.
    Outbox drain(bool hold = false);

private:
    void news(); // with the mutex held

    RunRequest request_;
    mutable QMutex mutex_;
    Outbox out_;
    std::array<BarState, kBarCount> bars_{};
    QString errorMarker_;
    bool pending_ = false;
    std::atomic<bool> stop_{false};
};

} // namespace varid
