#include "transfer/replacejournal.h"

#include "data/dberror.h"
#include "data/values.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace varid {

QString ReplaceJournal::line(const Replacement& r)
{
    return r.step + QLatin1Char(';') + r.branch + QLatin1Char(';') + shortDate(r.from) + QLatin1Char(';') + shortDate(r.to);
}

bool ReplaceJournal::parse(const QString& line, Replacement& r)
{
    const QStringList parts = line.trimmed().split(QLatin1Char(';'));
    if (parts.size() != 4 || parts[0].isEmpty())
        return false;
    r.step = parts[0];
    r.branch = parts[1];
    r.from = QDate::fromString(parts[2], QStringLiteral("dd.MM.yyyy"));
    r.to = QDate::fromString(parts[3], QStringLiteral("dd.MM.yyyy"));
    return r.from.isValid() && r.to.isValid();
}

QVector<Replacement> ReplaceJournal::entries() const
{
    QVector<Replacement> out;
    if (!enabled())
        return out;
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        Replacement r;
        if (parse(QString::fromUtf8(raw), r) && !out.contains(r))
            out << r;
    }
    return out;
}

void ReplaceJournal::record(const Replacement& r)
{
    if (!enabled())
        return;
    QVector<Replacement> all = entries();
    if (all.contains(r))
        return;
    all << r;
    write(all);
}

void ReplaceJournal::clear(const Replacement& r)
{
    if (!enabled())
        return;
    QVector<Replacement> all = entries();
    if (!all.removeAll(r))
        return;
    try {
        write(all);
    } catch (const DbError&) {
        // left in place: the next run sends the period once more, which loses nothing
    }
}

void ReplaceJournal::write(const QVector<Replacement>& all)
{
    const auto fail = [this](const QString& why) {
        return DbError(QStringLiteral("the replacement journal %1 cannot be written: %2").arg(QDir::toNativeSeparators(path_), why), true);
    };
    if (all.isEmpty()) {
        if (QFile::exists(path_) && !QFile::remove(path_))
            throw fail(QStringLiteral("it cannot be removed"));
    } else {
        QSaveFile f(path_);
        if (!f.open(QIODevice::WriteOnly))
            throw fail(f.errorString());
        QByteArray text;
        for (const Replacement& r : all)
            text += line(r).toUtf8() + "\n";
        if (f.write(text) != text.size())
            throw fail(f.errorString());
        if (!f.commit()) // flushed and synced, then renamed over the old file
            throw fail(f.errorString());
    }
#ifndef _WIN32
    // The rename (or removal) itself lasts a power cut only once its folder is synced.
    const int dir = ::open(QFile::encodeName(QFileInfo(path_).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
#endif
}

} // namespace varid
