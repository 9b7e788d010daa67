#pragma once
#include <QString>
#include <stdexcept>

namespace varid {

// A failure of the database client or of a data operation, carrying the client's message.
// `unavailable` marks a database that could not take the work now (busy, locked, a lock
// time-out, a deadlock victim, a lost connection), as opposed to one that refused it.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString& message, bool unavailable = false)
        : std::runtime_error(message.toStdString()), message_(message), unavailable_(unavailable) {}
    QString message() const { return message_; }
    bool unavailable() const { return unavailable_; }

private:
    QString message_;
    bool unavailable_;
};

} // namespace varid
