#include "shell/config.h"

#include "shell/runlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace varid {

QStringList PathIni::defaultLines()
{
    return {QStringLiteral("GLServerIP:127.0.0.1"), QStringLiteral("ServerName:Server"),
            QStringLiteral("AdminName:sa"), QStringLiteral("AdminPass:1"),
            QStringLiteral("Interval:30"), QStringLiteral("TimeOpen:9:00"),
            QStringLiteral("TimeClose:19:00"), QStringLiteral("Start:60"),
            QStringLiteral("GLAliasName:MyTiveron"), QStringLiteral("LocalAliasName:MyTiveron")};
}

int PathIni::dropped(Line l)
{
    static const int n[Count] = {11, 11, 10, 10, 9, 9, 10, 6, 12, 15};
    return n[l];
}

PathIni PathIni::load(const QString& home)
{
    PathIni ini;
    const QString path = QDir(home).filePath(QStringLiteral("Path.ini"));
    auto give_up = [&](const QString& message) {
        ini.messages << message;
        ini.usable = false;
        ini.values.clear();
        for (int i = 0; i < Count; ++i) ini.values << QString();
        return ini;
    };
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        // Only a missing file is created with the defaults.
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)
            || out.write(encode1251(defaultLines().join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"))) < 0)
            return give_up(QStringLiteral("Не удается создать файл ") + path + QStringLiteral(": ") + out.errorString());
        out.close();
    }
    // A file that is there but cannot be read is never replaced: the user's settings stay.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return give_up(QStringLiteral("Не удается найти или прочитать фаил запуска \"Path.ini\""));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return give_up(QStringLiteral("Не удается найти или прочитать фаил запуска \"Path.ini\""));
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3)); // saved by an editor as UTF-8 with its mark
    } else {
        text = decode1251(bytes);
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.back().trimmed().isEmpty())
        lines.removeLast();
    // Missing lines read empty; the user is told which file is short.
    if (lines.size() < Count)
        ini.messages << QStringLiteral("Path.ini: %1 строк вместо десяти (%2)").arg(lines.size()).arg(path);
    for (int i = 0; i < Count; ++i)
        ini.values << lines.value(i).mid(dropped(Line(i)));
    return ini;
}

bool toInteger(const QString& text, int& out, QString& message)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok) {
        message = QStringLiteral("'%1' is not a valid integer value").arg(text);
        return false;
    }
    out = v;
    return true;
}

} // namespace varid
