#pragma once
#include <QString>
#include <stdexcept>

namespace varid {

// A failure of the database client or of a data operation, carrying the client's message.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    QString message() const { return message_; }

private:
    QString message_;
};

} // namespace varid
