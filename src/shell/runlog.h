#pragma once
#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include "data/values.h"

#include <functional>

namespace varid {

// Text as the program's files hold it: Windows-1251. A character it has not becomes 0x1A.
QByteArray encode1251(const QString& text);
QString decode1251(const QByteArray& bytes);


// The daily run log (Logs/2010март5.txt) and the error log (Logs/Errors.txt).
class RunLog {
public:
    // Computed at every run start from the home directory and the day.
    void setPaths(const QString& home, const QDate& day);
    QString logPath() const { return logPath_; }
    QString errorsPath() const { return errorsPath_; }

    // Rec_Otchet: appends every buffer line (CR LF after each) to the daily log, empties the
    // buffer and calls Rec_Errors. Never throws: on a failure the buffer keeps its lines and
    // the error marker waits for the next flush, the file keeps exactly what it had, and
    // false comes back with the reason in lastError().
    bool flush(QStringList& buffer, const QString& errorMarker);

    // Rec_Errors: appends the error marker, when set, as one line (after any that waits).
    bool writeErrors(const QString& errorMarker);

    QString lastError() const { return lastError_; }

    // Appends bytes to a file whole or not at all; tests put a failing writer here.
    std::function<bool(const QString& path, const QByteArray& bytes, QString& error)> append;

    RunLog();

private:
    QString logPath_;
    QString errorsPath_;
    QStringList waitingMarkers_;
    QString lastError_;
};

} // namespace varid
