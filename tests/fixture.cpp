#include "fixture.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace varid::testing {

QCoreApplication& app()
{
    // A test binary runs on its own as well as under ctest: headless, with a UTF-8 locale.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("LC_ALL"))
        qputenv("LC_ALL", "C.UTF-8");
    static const bool uncounted = Connection::uncountedMemory(); // as the program runs SQLite
    (void)uncounted;
    static int argc = 1;
    static char name[] = "varid-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* a = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)a;
    return *QCoreApplication::instance();
}

void writePathIni(const QString& home, const char* interval, const char* start)
{
    QFile ini(QDir(home).filePath(QStringLiteral("Path.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QByteArray("GLServerIP:127.0.0.1\r\nServerName:srv\r\nAdminName:sa\r\nAdminPass:secret\r\nInterval:") + interval
              + "\r\nTimeOpen:9:00\r\nTimeClose:19:00\r\nStart:" + start + "\r\nGLAliasName:main.db\r\nLocalAliasName:local.db\r\n");
}

void TwoDatabases::SetUp()
{
    app();
    ASSERT_TRUE(dir_.isValid());
    createEmbeddedDatabase(localFile(), DbRole::Local);
    createEmbeddedDatabase(mainFile(), DbRole::Main);
}

QVariant TwoDatabases::scalar(const QString& file, const QString& sql)
{
    const QString name = QUuid::createUuid().toString();
    QVariant out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        if (!q.exec(sql))
            ADD_FAILURE() << q.lastError().text().toStdString() << " in " << sql.toStdString();
        else if (q.next())
            out = q.value(0);
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

void TwoDatabases::connectBoth(DM& dm, DM2& dm2)
{
    dm.ADOC1.setConnectionString(ConnectionSettings{QString(), QStringLiteral("local.db"), {}, {}, true}, home());
    dm.ADOC1.connect();
    dm2.ADOC2.setConnectionString(ConnectionSettings{QString(), QStringLiteral("main.db"), {}, {}, false}, home());
    dm2.ADOC2.connect();
}

} // namespace varid::testing
