#pragma once
// What the program and its window module share: the command line, the exit codes and the
// plain-text output of the modes without a window.
#include "reconcile/act.h"
#include "reconcile/detail.h"
#include "shell/station.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

namespace varid::cli {

enum Exit { Ok = 0, RecordFailed = 1, Broken = 2, Locked = 3, Usage = 64 };

struct Options {
    QString mode; // "", "check", "once", "headless", "act", "repair"
    QString home;
    std::optional<QDate> from, to;
    bool forceNew = false;
    bool terrorist = false;
    QString pdf;
    bool detail = false;
    QString repairKind;
    QString trace; // --trace FILE, else VARID_TRACE: every statement sent, to that file
    QString error;
    bool exitNow = false; // --help or --version answered
};

// The process's memory settings, before anything allocates: how large buffers are taken
// and given back, and SQLite keeping no count of its memory.
void setUpMemory();
Options parse(const QStringList& args);
void out(const QString& s); // a line on standard output, flushed
void err(const QString& s); // a line on standard error
QString homeDir(const Options& o);
// The statement trace, when --trace or VARID_TRACE asks for one; false (said on standard
// error) when its file cannot be opened.
bool openTrace(const Options& o);
void printStatus(const Station& st);
void printRow(const ActRow& r);
void printDiff(const RecordDiff& d);
// Start-up and the connect sequence for a mode without a window; false when a database did
// not answer or Path.ini stopped the start (the messages are on standard error).
bool startAndConnect(Station& st);

// The window and the printed act live in a module of their own (varid_ui), loaded only
// when one of them is asked for: a transfer, a check or the service starts without the
// graphics libraries. It creates the application object and takes the home's lock itself.
using UiMain = int (*)(int* argc, char** argv, const Options* options);
inline constexpr const char* uiEntry = "varid_ui_main";

} // namespace varid::cli
