#include "shell/branchsession.h"

#include "transfer/texts.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace varid {

BranchSession::BranchSession(const QString& home, const QString& tag) : dm(tag), dm2(dm, tag), home_(home) {}

void BranchSession::loadConfiguration()
{
    ini = PathIni::load(home_);
    password = ini.value(PathIni::AdminPass);
}

ConnectionSettings BranchSession::localSettings() const
{
    return ConnectionSettings{ini.value(PathIni::ServerName), ini.value(PathIni::LocalAliasName), QString(), QString(), true};
}

ConnectionSettings BranchSession::mainSettings() const
{
    return ConnectionSettings{ini.value(PathIni::GLServerIP), ini.value(PathIni::GLAliasName), ini.value(PathIni::AdminName),
                              password, false};
}

QString BranchSession::journalPath() const
{
    return QDir(home_).filePath(u"Replace.jrn"_s);
}

bool BranchSession::claimDatabase()
{
    if (databaseLock.held() || !ini.usable)
        return true;
    if (databaseLock.acquire(localSettings(), home_) != DatabaseLock::Result::Taken)
        return true; // held, or SQL Server not reachable now: asked again at the next connect
    databaseTaken = true;
    return false;
}

BranchSession::Local BranchSession::connectLocal()
{
    try {
        dm.ADOC1.disconnect();
        dm.ADOC1.setConnectionString(localSettings(), home_);
        dm.ADOC1.connect();
        if (!claimDatabase() || !databaseLock.held()) {
            connectErrors << u"local: "_s + databaseLock.message();
            return databaseTaken ? Local::Taken : Local::Unlocked;
        }
        return readIdentity() ? Local::Connected : Local::BranchUnknown;
    } catch (const DbError& e) {
        connectErrors << u"local: "_s + e.message();
        return Local::Failed;
    }
}

bool BranchSession::readIdentity()
{
    // Exactly one KTO row marked "ДА". Without one, or with several, the branch is not
    // known and nothing runs: taking the first row could name another branch (one
    // registered by an incoming sale), whose rows a night run would delete.
    dm.T_KTO.open();
    QStringList active;
    QString name;
    for (dm.T_KTO.first(); !dm.T_KTO.eof(); dm.T_KTO.next()) {
        if (dm.T_KTO.text(u"KTO_ACTIV"_s).trimmed() != texts::yes)
            continue;
        active << dm.T_KTO.text(u"KTO_KOD"_s);
        name = dm.T_KTO.text(u"KTO_NAME"_s);
    }
    dm.T_KTO.close();
    if (active.size() != 1) {
        identityProblem = active.isEmpty()
            ? u"в таблице KTO нет строки филиала с KTO_ACTIV='ДА': филиал не определён, передачи не будет"_s
            : u"в таблице KTO %1 строк с KTO_ACTIV='ДА' (%2): филиал не определён, передачи не будет"_s
                  .arg(active.size()).arg(active.join(u", "_s));
        connectErrors << u"local: "_s + identityProblem;
        identity_ = BranchIdentity{QString(), QString(), QString()};
        return false;
    }
    identityProblem.clear();
    dm.T_FIRMA.open();
    dm.T_FIRMA.locate(u"F_NOMER"_s, 1);
    const QString phone = dm.T_FIRMA.text(u"F_TEL"_s);
    dm.T_FIRMA.close();
    identity_ = BranchIdentity{active.front(), name, phone};
    return true;
}

bool BranchSession::connectMain()
{
    try {
        dm2.ADOC2.disconnect();
        dm2.ADOC2.setConnectionString(mainSettings(), home_);
        dm2.ADOC2.connect();
        return true;
    } catch (const DbError& e) {
        connectErrors << u"main: "_s + e.message();
        return false;
    }
}

} // namespace varid
