#include "shell/runlog.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QFileInfo>

#include <algorithm>

namespace varid {

namespace {
// Windows-1251 from 0x80 to 0xFF. Its one unassigned byte, 0x98, stands for U+0098, as the
// system's converters read and write it. A table of our own: opening a converter costs a
// millisecond at every start, and not every platform's Qt has this code page.
constexpr char16_t kUpper1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};
} // namespace

QByteArray encode1251(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        if (c >= 0x0410 && c <= 0x044F) {
            out.append(char(0xC0 + (c - 0x0410)));
            continue;
        }
        const char16_t* at = std::find(kUpper1251, kUpper1251 + 64, c);
        if (at != kUpper1251 + 64) {
            out.append(char(0x80 + (at - kUpper1251)));
            continue;
        }
        // No such character: 0x1A, one for a pair beyond the basic plane.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        out.append('\x1a');
    }
    return out;
}

QString decode1251(const QByteArray& bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    for (const char b : bytes)
        *to++ = quint8(b) < 0x80 ? char16_t(quint8(b)) : kUpper1251[quint8(b) - 0x80];
    return out;
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
