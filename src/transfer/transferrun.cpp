#include "transfer/transferrun.h"

#include "data/values.h"

#include <array>

namespace varid {

const char* const kRunStartLead = "-----   Начало передачи ";
const char* const kRunEndLead = "-----   Конец передачи ";
const char* const kConnectionLostLead = "-----   Обрыв связи в ";

QString runLine(const QString& lead, const QDateTime& when)
{
    return lead + dateTimeText(when) + QStringLiteral("  -----");
}

Transfer::Transfer(DM& dm, DM2& dm2, RunState& state, const Clock& clock)
    : dm_(dm), dm2_(dm2), state_(state), clock_(clock), copy_(dm, dm2, state, clock)
{
}

void Transfer::connectionLost()
{
    state_.addLine(runLine(QString::fromUtf8(kConnectionLostLead), clock_.now()));
}

RunOutcome Transfer::run()
{
    outcome_ = RunOutcome{};
    struct Step {
        const char* name;
        void (Transfer::*fn)();
    };
    // The steps before the journal, each with its own failure guard: a failure ends the
    // run at that step with one connection-loss line.
    const std::array<Step, 1> chain{{
        {"Rec_Klient", &Transfer::Rec_Klient},
    }};
    for (const Step& step : chain) {
        try {
            (this->*step.fn)();
        } catch (const DbError& e) {
            connectionLost();
            outcome_.end = RunEnd::ConnectionLost;
            outcome_.failedStep = QString::fromLatin1(step.name);
            outcome_.error = e.message();
            return outcome_;
        } catch (const RunStopped&) {
            outcome_.end = RunEnd::Stopped;
            outcome_.failedStep = QString::fromLatin1(step.name);
            return outcome_;
        }
    }
    outcome_.end = Rec_GL_Book();
    return outcome_;
}

} // namespace varid
