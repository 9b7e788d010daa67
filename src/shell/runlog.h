#pragma once
#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

namespace varid {

// Text as the program's files hold it: Windows-1251.
QByteArray encode1251(const QString& text);

// The month-name table, 1 to 12.
QString monthName(int month);

// The daily run log (Logs/2010март5.txt) and the error log (Logs/Errors.txt).
class RunLog {
public:
    // Computed at every run start from the home directory and the day.
    void setPaths(const QString& home, const QDate& day);
    QString logPath() const { return logPath_; }
    QString errorsPath() const { return errorsPath_; }

    // Rec_Otchet: appends every buffer line (CR LF after each) to the daily log, empties the
    // buffer and calls Rec_Errors. Never fails towards its caller: on a failure the buffer
    // keeps its lines for the next flush, and the file keeps what it had.
    void flush(QStringList& buffer, const QString& errorMarker);

    // Rec_Errors: appends the error marker, when set, as one line.
    void writeErrors(const QString& errorMarker);

private:
    QString logPath_;
    QString errorsPath_;
};

} // namespace varid
