#include "shell/config.h"

#include "shell/runlog.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || out.write(encode1251(defaultLines().join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"))) < 0) {
            ini.messages << QStringLiteral("Не удается создать файл ") + path + QStringLiteral(": ") + out.errorString();
            ini.usable = false;
            for (int i = 0; i < Count; ++i) ini.values << QString();
            return ini;
        }
        out.close();
    }
    QStringList lines;
    bool readOk = file.isOpen() || file.open(QIODevice::ReadOnly);
    if (readOk) {
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            readOk = false;
        QStringDecoder dec("windows-1251");
        QString text = dec.isValid() ? dec.decode(bytes) : QString::fromLatin1(bytes);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        lines = text.split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.back().isEmpty())
            lines.removeLast();
    }
    if (!readOk)
        ini.messages << QStringLiteral("Не удается найти или прочитать фаил запуска \"Path.ini\"");
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
