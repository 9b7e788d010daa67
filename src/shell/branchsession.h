#pragma once
#include "data/datamodules.h"
#include "shell/config.h"
#include "shell/databaselock.h"

#include <QString>
#include <QStringList>

namespace varid {

// Who this branch is: its KTO row marked "ДА", read once a connect of the local database.
struct BranchIdentity {
    QString code = QStringLiteral("FIL_4"); // until the local database names it
    QString name;
    QString phone;
};

// The branch's side of Varid: its configuration (Path.ini), the two connections of the
// window's thread, the lock on the local database and the branch's identity. It shows
// nothing and schedules nothing; the station tells the window what a connect gave.
class BranchSession {
public:
    BranchSession(const QString& home, const QString& tag);

    // Reads HOME/Path.ini (creating it when missing); its messages are the user's.
    void loadConfiguration();
    ConnectionSettings localSettings() const;
    ConnectionSettings mainSettings() const;

    // The local database's lock, as Path.ini names the database; false when another
    // program holds it (then `databaseTaken`, and nothing runs).
    bool claimDatabase();

    // Unlocked: SQL Server could not be asked for the lock now; the next connect asks again.
    enum class Local { Connected, Taken, Unlocked, BranchUnknown, Failed };
    // Connects the local database, takes its lock, reads the branch's identity. The
    // failure's words go to `connectErrors`.
    Local connectLocal();
    bool connectMain();

    const BranchIdentity& identity() const { return identity_; }
    const QString& branch() const { return identity_.code; }
    QString home() const { return home_; }
    // The file that remembers a period replacement until its re-send has completed.
    QString journalPath() const;

    DM dm;
    DM2 dm2;
    PathIni ini;
    QString password;          // the main login's password, as read (the window masks it)
    QStringList connectErrors; // the client's messages of the last connect sequence
    QString identityProblem;   // no KTO row marked "ДА", or several: nothing runs
    // One Varid per branch database: taken at start where it can be, else at the first
    // connect; `databaseTaken` once another program holds it.
    DatabaseLock databaseLock;
    bool databaseTaken = false;

private:
    bool readIdentity();

    QString home_;
    BranchIdentity identity_;
};

} // namespace varid
