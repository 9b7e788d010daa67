#include "shell/autostart.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>

namespace varid {

namespace {
const QString kName = QStringLiteral("VaridTiveron");

// A value of the desktop entry's Exec key: quoted when it holds a reserved character. Inside
// the quotes '"', '`', '$' and '\\' take a backslash, and the entry's string escaping doubles
// every backslash once more.
QString execArgument(const QString& a)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool plain = !a.isEmpty();
    for (const QChar c : a)
        if (reserved.contains(c))
            plain = false;
    if (plain)
        return QString(a).replace(QLatin1Char('%'), QStringLiteral("%%")); // not a field code
    QString v;
    for (const QChar c : a) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            v += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\\'))
            v += QStringLiteral("\\\\\\");
        v += c;
    }
    v.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + v + QLatin1Char('"');
}
} // namespace

QString Autostart::commandLine(const QString& executable, const QString& home)
{
    QString c = execArgument(executable);
    if (!home.isEmpty())
        c += QStringLiteral(" --home ") + execArgument(home);
    return c;
}

std::unique_ptr<Autostart> Autostart::forThisSystem()
{
#ifdef Q_OS_WIN
    return std::make_unique<RegistryAutostart>();
#else
    return std::make_unique<XdgAutostart>();
#endif
}

QString XdgAutostart::where() const
{
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    const QString first = dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts).value(0, QStringLiteral("/etc/xdg"));
    return QDir(first).filePath(QStringLiteral("autostart/") + kName + QStringLiteral(".desktop"));
}

bool XdgAutostart::add(const QString& command, QString& error)
{
    const QString file = where();
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        error = QStringLiteral("Не удается создать папку %1").arg(QFileInfo(file).absolutePath());
        return false;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        error = file + QStringLiteral(": ") + out.errorString();
        return false;
    }
    out.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Varid\nName[ru]=Rozor данными\n"
                             "Comment=Обмен данными филиала с главной базой\nExec=%1\nTerminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n").arg(command).toUtf8());
    if (!out.commit()) {
        error = file + QStringLiteral(": ") + out.errorString();
        return false;
    }
    return true;
}

void XdgAutostart::remove()
{
    QFile::remove(where()); // a missing entry is no error
}

bool XdgAutostart::present() const
{
    return QFile::exists(where());
}

#ifdef Q_OS_WIN
namespace {
const QString kRunKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}

QString RegistryAutostart::where() const { return kRunKey + QStringLiteral("\\") + kName; }

bool RegistryAutostart::add(const QString& command, QString& error)
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    run.setValue(kName, command);
    run.sync();
    if (run.status() != QSettings::NoError) {
        error = QStringLiteral("Нет доступа к реестру: ") + kRunKey;
        return false;
    }
    return true;
}

void RegistryAutostart::remove()
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    run.remove(kName);
}

bool RegistryAutostart::present() const
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    return run.contains(kName);
}

QString RegistryAutostart::command(const QString& executable, const QString& home) const
{
    auto quoted = [](const QString& a) { return QLatin1Char('"') + QDir::toNativeSeparators(a) + QLatin1Char('"'); };
    QString c = quoted(executable);
    if (!home.isEmpty())
        c += QStringLiteral(" --home ") + quoted(home);
    return c;
}
#endif

} // namespace varid
