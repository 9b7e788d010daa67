#include "shell/runlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

namespace varid {

QByteArray encode1251(const QString& text)
{
    QStringEncoder enc("windows-1251");
    if (!enc.isValid())
        return text.toLocal8Bit();
    return enc.encode(text);
}

QString monthName(int month)
{
    static const char* const names[12] = {"январь", "февраль", "март", "апрель", "май", "июнь",
                                          "июль", "август", "сентябрь", "октябрь", "ноябрь", "декабрь"};
    if (month < 1 || month > 12)
        return QString();
    return QString::fromUtf8(names[month - 1]);
}

void RunLog::setPaths(const QString& home, const QDate& day)
{
    const QString logs = QDir(home).filePath(QStringLiteral("Logs"));
    logPath_ = QDir(logs).filePath(QString::number(day.year()) + monthName(day.month())
                                   + QString::number(day.day()) + QStringLiteral(".txt"));
    errorsPath_ = QDir(logs).filePath(QStringLiteral("Errors.txt"));
}

namespace {
// Appends the bytes whole or not at all: a failed write is cut back to the old size, so an
// existing file never loses what it had and never keeps half a flush.
bool appendWhole(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath()); // an unattended install may lack Logs
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const qint64 before = f.size();
    const bool ok = f.write(bytes) == bytes.size() && f.flush();
    if (!ok)
        f.resize(before);
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}
} // namespace

void RunLog::flush(QStringList& buffer, const QString& errorMarker)
{
    QByteArray bytes;
    for (const QString& line : buffer)
        bytes += encode1251(line) + "\r\n";
    if (!appendWhole(logPath_, bytes))
        return;
    buffer.clear();
    writeErrors(errorMarker);
}

void RunLog::writeErrors(const QString& errorMarker)
{
    if (errorMarker.isEmpty())
        return;
    appendWhole(errorsPath_, encode1251(errorMarker) + "\r\n");
}

} // namespace varid
