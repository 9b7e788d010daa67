#pragma once
#include <QStringList>

namespace varid {

// Path.ini: ten positional lines; from each a fixed number of leading characters (its
// key and colon) is dropped, whatever they are.
struct PathIni {
    enum Line { GLServerIP, ServerName, AdminName, AdminPass, Interval, TimeOpen, TimeClose, Start,
                GLAliasName, LocalAliasName, Count };

    QStringList values;     // ten values, empty where a line was missing or short
    QStringList messages;   // what the user is told in message boxes
    bool usable = true;     // false: the file could not even be created; start-up stops

    QString value(Line l) const { return values.value(l); }

    static QStringList defaultLines();
    static int dropped(Line l);
    // Reads HOME/Path.ini, creating it with the default lines when it cannot be opened.
    static PathIni load(const QString& home);
};

// A configuration value as a whole number (blanks around it allowed, decimal, within int);
// the message on failure names the value.
bool toInteger(const QString& text, int& out, QString& message);

} // namespace varid
