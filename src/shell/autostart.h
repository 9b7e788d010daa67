#pragma once
#include <QString>

#include <memory>

namespace varid {

// Starting Varid at logon for every user: an XDG autostart entry on Linux, the Run value
// of the machine's registry on Windows. Both name it "VaridTiveron".
class Autostart {
public:
    virtual ~Autostart() = default;
    // Registers `command` (the executable's full path, with its arguments); false with the
    // reason when it cannot be written.
    virtual bool add(const QString& command, QString& error) = 0;
    // Removes the entry; one that is not there is no error.
    virtual void remove() = 0;
    virtual QString where() const = 0;
    // Whether the entry is there now, as the system holds it.
    virtual bool present() const = 0;
    // The command that starts this program with its home, quoted as this system's entry
    // reads it.
    virtual QString command(const QString& executable, const QString& home) const { return commandLine(executable, home); }

    static std::unique_ptr<Autostart> forThisSystem();
    // The command as a desktop entry's Exec key holds it: the program's path, and --home DIR
    // when a home is given, each quoted when it must be.
    static QString commandLine(const QString& executable, const QString& home);
};

// The XDG autostart entry VaridTiveron.desktop in the first folder of $XDG_CONFIG_DIRS
// (by default /etc/xdg): the logon of every user on the machine.
class XdgAutostart : public Autostart {
public:
    bool add(const QString& command, QString& error) override;
    void remove() override;
    QString where() const override;
    bool present() const override;
};

#ifdef Q_OS_WIN
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run, value VaridTiveron.
class RegistryAutostart : public Autostart {
public:
    bool add(const QString& command, QString& error) override;
    void remove() override;
    QString where() const override;
    bool present() const override;
    // "C:\Program Files\Varid\varid.exe" --home "D:\Филиал 7": Windows quoting, backslashes as they are.
    QString command(const QString& executable, const QString& home) const override;
};
#endif

} // namespace varid
