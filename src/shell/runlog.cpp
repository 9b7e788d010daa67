#include "shell/runlog.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
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


void RunLog::setPaths(const QString& home, const QDate& day)
{
    const QString logs = QDir(home).filePath(QStringLiteral("Logs"));
    logPath_ = QDir(logs).filePath(QString::number(day.year()) + monthName(day.month())
                                   + QString::number(day.day()) + QStringLiteral(".txt"));
    errorsPath_ = QDir(logs).filePath(QStringLiteral("Errors.txt"));
}

namespace {
// Appends the bytes whole or not at all: a failed write is cut back to the old size, so an
// existing file never loses what it had and never keeps half a flush. The file is opened
// unbuffered, so the cut-back does not first try to write what a buffer still holds.
bool appendWhole(const QString& path, const QByteArray& bytes, QString& error)
{
    if (path.isEmpty()) {
        error = QStringLiteral("no log file name");
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath()); // an unattended install may lack Logs
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        error = path + QStringLiteral(": ") + f.errorString();
        return false;
    }
    const qint64 before = f.size();
    const bool ok = f.write(bytes) == bytes.size();
    if (!ok) {
        error = path + QStringLiteral(": ") + f.errorString();
        // A full disk is named as such, with the disk, not as the client's "Unknown error".
        const QStorageInfo disk(QFileInfo(path).absolutePath());
        if (disk.isValid() && disk.bytesAvailable() < bytes.size())
            error = path + QStringLiteral(": нет места на диске %1 (%2)").arg(disk.rootPath(), QString::fromLocal8Bit(disk.device()));
        f.resize(before);
    }
    f.close();
    return ok;
}

// Characters outside Windows-1251 become "?", never the encoder's 0x1A, which older tools
// read as the end of the file.
QByteArray encodeLine(const QString& line)
{
    QByteArray b = encode1251(line);
    b.replace('\x1a', '?');
    return b;
}
} // namespace

RunLog::RunLog() : append(appendWhole) {}

bool RunLog::flush(QStringList& buffer, const QString& errorMarker)
{
    QByteArray bytes;
    for (const QString& line : buffer)
        bytes += encodeLine(line) + "\r\n";
    if (!append(logPath_, bytes, lastError_)) {
        if (!errorMarker.isEmpty() && !waitingMarkers_.contains(errorMarker))
            waitingMarkers_ << errorMarker;
        return false;
    }
    buffer.clear();
    return writeErrors(errorMarker);
}

bool RunLog::writeErrors(const QString& errorMarker)
{
    QStringList markers = waitingMarkers_;
    if (!errorMarker.isEmpty() && !markers.contains(errorMarker))
        markers << errorMarker;
    if (markers.isEmpty())
        return true;
    QByteArray bytes;
    for (const QString& m : markers)
        bytes += encodeLine(m) + "\r\n";
    if (!append(errorsPath_, bytes, lastError_)) {
        waitingMarkers_ = markers;
        return false;
    }
    waitingMarkers_.clear();
    return true;
}

} // namespace varid
