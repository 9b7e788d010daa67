#include "transfer/runcontext.h"

#include <QMutexLocker>

#include <algorithm>

namespace varid {

RunContext::RunContext(const RunRequest& request) : request_(request) {}

QString RunContext::errorMarker() const
{
    QMutexLocker lock(&mutex_);
    return errorMarker_;
}

void RunContext::setErrorMarker(const QString& marker)
{
    QMutexLocker lock(&mutex_);
    errorMarker_ = marker;
    out_.errorMarker = marker;
}

void RunContext::addLine(const QString& line)
{
    QMutexLocker lock(&mutex_);
    // A line break inside an entry makes two buffer lines.
    for (const QString& part : line.split(QLatin1Char('\n')))
        out_.lines.push_back(Entry{part, false});
    news();
}

void RunContext::tellRefusal(const QString& message)
{
    QMutexLocker lock(&mutex_);
    out_.lines.push_back(Entry{message, true});
    news();
}

void RunContext::setBarMax(Bar b, int max)
{
    QMutexLocker lock(&mutex_);
    bars_[size_t(b)].max = max;
    out_.bars[size_t(b)] = bars_[size_t(b)];
    out_.barsTouched[size_t(b)] = true;
    news();
}

void RunContext::setBarPos(Bar b, int pos)
{
    QMutexLocker lock(&mutex_);
    BarState& s = bars_[size_t(b)];
    s.pos = pos < 0 ? 0 : (pos < s.max ? pos : s.max); // a bar stops at its maximum
    out_.bars[size_t(b)] = s;
    out_.barsTouched[size_t(b)] = true;
    news();
}

int RunContext::barPos(Bar b) const
{
    QMutexLocker lock(&mutex_);
    return bars_[size_t(b)].pos;
}

void RunContext::news()
{
    if (pending_ || !onNews)
        return;
    pending_ = true;
    onNews();
}

RunContext::Outbox RunContext::drain(bool hold)
{
    QMutexLocker lock(&mutex_);
    Outbox o = out_;
    const bool taken = !out_.lines.isEmpty() || std::find(out_.barsTouched.begin(), out_.barsTouched.end(), true) != out_.barsTouched.end();
    out_.lines.clear();
    out_.barsTouched.fill(false);
    pending_ = hold && taken;
    return o;
}

} // namespace varid
